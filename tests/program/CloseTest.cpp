// Closing the backdrop quits GIMP in GIMP's own way, for each version's close rules, in any
// language and with images open; GIMP's questions are left to the user.
#include <algorithm>

#include "ProgramFixture.h"

namespace {

const char* const kProfiles[] = {"2.2", "2.10", "2.10-single"};
// The windows left after a Cancel, of three images with the first unsaved: 2.2 asked before
// closing anything (toolbox, two docks, three images); 2.10 closed the two clean images first;
// the single window is all there is.
const size_t kLeftAfterCancel[] = {6, 4, 1};

// GIMP's questions so far ("Quit GIMP" and "Close ...?"), oldest first.
std::vector<HWND> Questions(const Session& run) {
  std::vector<HWND> all = run.WindowsSoFar("quit");
  for (HWND w : run.WindowsSoFar("close")) all.push_back(w);
  return all;
}

// The question GIMP asks after the first `seen`, once it stands in the backdrop.
HWND NextQuestion(const Session& run, size_t seen, DWORD timeoutMs = 10000) {
  HWND question = nullptr;
  PumpUntil(
      [&] {
        const std::vector<HWND> all = Questions(run);
        question = all.size() > seen ? all.back() : nullptr;
        return question && IsChildOf(question, run.backdrop);
      },
      timeoutMs);
  return question;
}

// GIMP quit with every window still in the backdrop and every dock kept; the backdrop followed.
void ExpectCleanQuit(Session& run) {
  const ProcessResult out = run.gimp->Wait();
  EXPECT_EQ(0u, out.exitCode);
  EXPECT_NE(std::string::npos, out.output.find("quit released=0 docks-closed=0")) << out.output;
  EXPECT_EQ(0u, run.BackdropExit());
}

TEST_F(ProgramTest, EachGimpQuitsWithNoImageWithImagesOpenAndWithAnUnsavedOneDiscarded) {
  for (const char* version : kProfiles) {
    for (const char* images : {"--images=0", "--images=3", "--dirty"}) {
      SCOPED_TRACE(std::string(version) + " " + images);
      SetUp();
      WriteString("GimpName", "no such window");  // GIMP's own way, not the title, closes it
      Session run;
      const bool dirty = std::string(images) == "--dirty";
      std::vector<std::string> args = {std::string("--version=") + version, images};
      if (dirty) args = {args[0], "--images=3", images};  // the first of three is unsaved
      ASSERT_NO_FATAL_FAILURE(StartGimp(run, args));
      PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
      if (dirty) {
        const HWND question = NextQuestion(run, 0);
        ASSERT_TRUE(question) << run.Explain();
        PostMessageA(question, kDiscardChanges, 0, 0);
      }
      ExpectCleanQuit(run);
    }
  }
}

TEST_F(ProgramTest, CancelKeepsGimpAndItsWindowsInTheBackdropAndASecondCloseQuits) {
  for (size_t profile = 0; profile < 3; ++profile) {
    const char* version = kProfiles[profile];
    SCOPED_TRACE(version);
    SetUp();
    Session run;
    ASSERT_NO_FATAL_FAILURE(
        StartGimp(run, {std::string("--version=") + version, "--images=3", "--dirty"}));
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    const HWND question = NextQuestion(run, 0);
    ASSERT_TRUE(question) << run.Explain();
    PostMessageA(question, WM_CLOSE, 0, 0);  // the question's Cancel
    // GIMP 2.10 asks about the image; 2.2 and the single window about quitting.
    const bool multi210 = std::string(version) == "2.10";
    ASSERT_TRUE(run.gimp->WaitForLine(multi210 ? "close declined" : "quit declined", 5000))
        << run.Explain();
    EXPECT_EQ(0xFFFFu, run.BackdropExit(2500)) << "the backdrop closed with GIMP running";
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 0));
    size_t standing = 0;
    for (HWND w : run.Adopted()) {
      if (!IsWindow(w)) continue;  // a clean image GIMP closed before it asked
      ++standing;
      EXPECT_TRUE(IsChildOf(w, run.backdrop));
    }
    EXPECT_EQ(kLeftAfterCancel[profile], standing);
    EXPECT_EQ(nullptr, NextQuestion(run, 1, 1000)) << "asked again without a second close";

    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    const HWND again = NextQuestion(run, 1);
    ASSERT_TRUE(again) << run.Explain();
    PostMessageA(again, kDiscardChanges, 0, 0);
    ExpectCleanQuit(run);
  }
}

// Closed from the taskbar while minimised: GIMP's question must be seen, so the backdrop comes
// back as soon as GIMP asks.
TEST_F(ProgramTest, AQuestionAskedWhileTheBackdropIsMinimisedRestoresIt) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=1", "--dirty"}));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) != FALSE; }, 5000));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  const HWND question = NextQuestion(run, 0);
  ASSERT_TRUE(question) << run.Explain();
  EXPECT_TRUE(
      PumpUntil([&] { return !IsIconic(run.backdrop) && IsWindowVisible(question); }, 5000));
  PostMessageA(question, kDiscardChanges, 0, 0);
  ExpectCleanQuit(run);
}

// GIMP's "Close ...?" is not modal: the user may open Preferences while it stands. That window
// must not hold the close once the question is answered; raising the image window keeps its
// question above it.
TEST_F(ProgramTest, AWindowOpenedWhileGimpAsksDoesNotHoldTheCloseAndTheQuestionStaysOnTop) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=1", "--dirty"}));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  const HWND question = NextQuestion(run, 0);
  ASSERT_TRUE(question) << run.Explain();
  PostMessageA(run.main, kPreferences, 0, 0);
  ASSERT_TRUE(run.gimp->WaitForLine("preferences shown", 5000)) << run.Explain();
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);  // while GIMP asks: changes nothing
  const HWND image = run.images.at(0);
  SetWindowPos(image, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  const std::vector<HWND> order = Children(run.backdrop);  // topmost first
  const auto at = [&](HWND w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
  EXPECT_LT(at(question), at(image)) << "the question sank below its image window";
  PostMessageA(question, kDiscardChanges, 0, 0);
  ExpectCleanQuit(run);
  EXPECT_EQ(1u, Questions(run).size()) << "the second close asked again";
}

TEST_F(ProgramTest, ATranslatedGimpQuitsWithGimpNameLeftAsItIs) {
  for (const char* images : {"--images=0", "--images=1"}) {
    SCOPED_TRACE(images);
    SetUp();
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--lang=fr", images}));
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    ExpectCleanQuit(run);
  }
}

TEST_F(ProgramTest, AWindowTitledAsGimpNameGetsTheCloseAlone) {
  WriteString("GimpName", "Toolbox");  // GIMP 2.10's toolbox: closing it only loses it
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=3"}));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(run.gimp->WaitForLine("dock closed", 5000)) << run.Explain();
  EXPECT_FALSE(IsWindow(run.main));
  EXPECT_EQ(0xFFFFu, run.BackdropExit(2500));
  ASSERT_EQ(3u, run.images.size());
  for (HWND w : run.images) EXPECT_TRUE(IsChildOf(w, run.backdrop));
  PostMessageA(run.images[0], kDie, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
}

TEST_F(ProgramTest, AKilledGimpsBackdropClosesAndLeavesNothing) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=2"}));
  PostMessageA(run.main, kDie, 0, 0);
  ASSERT_EQ(3u, run.gimp->Wait().exitCode);
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
  for (HWND w : run.Adopted()) EXPECT_FALSE(IsWindow(w));
}

}  // namespace
