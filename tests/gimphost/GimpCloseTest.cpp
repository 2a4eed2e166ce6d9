// The real GIMP 2.10 and the backdrop's close and end: GIMP's own questions answered, images
// closed however long GIMP takes, a restart, and a fault of the backdrop's process.
#include <fstream>

#include "GimpHostFixture.h"

namespace {

constexpr unsigned kGrey = 0x808080;

// GIMP's "Close ...?" for an image with unsaved changes: a shown window in the backdrop.
HWND Question(const Session& run) {
  for (HWND w : Children(run.backdrop)) {
    if (TitleOf(w).rfind("Close ", 0) == 0 && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

}  // namespace

std::vector<HWND> GimpHostTest::StartWithImages(Session& run, const std::vector<std::string>& names,
                                                bool change) {
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(profile + name);
  Start(run, paths);
  std::vector<HWND> images(names.size());
  EXPECT_TRUE(PumpUntil(
      [&] {
        for (size_t i = 0; i < names.size(); ++i)
          if (!(images[i] = Titled(run, names[i].c_str()))) return false;
        return true;
      },
      180000))
      << run.Explain() << Answers(run.backdrop);
  for (HWND image : images) {
    if (!change || !image) continue;
    PostCtrlKey(image, 'A');
    PostKey(image, VK_DELETE);
    EXPECT_TRUE(PumpUntil([&] { return TitleOf(image).rfind("*", 0) == 0; }, 30000))
        << TitleOf(image);
  }
  return images;
}

namespace {

// GIMP opening three images from its command line, as from Explorer, each of a few hundred
// pixels: every image window gets its title.
TEST_F(GimpHostTest, ThreeImagesAtStartAreEachTitledInTheBackdrop) {
  const int sizes[][2] = {{300, 200}, {200, 150}, {250, 250}};
  const std::vector<std::string> names = {"one.xcf", "two.xcf", "three.xcf"};
  for (size_t i = 0; i < names.size(); ++i)
    WriteXcf(profile + names[i], sizes[i][0], sizes[i][1], kGrey, kGrey);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {profile + names[0], profile + names[1], profile + names[2]}));
  for (const std::string& name : names) {
    EXPECT_TRUE(PumpUntil([&] { return Titled(run, name.c_str()) != nullptr; }, 180000))
        << name << "\n"
        << run.Explain() << Answers(run.backdrop);
  }
  CloseAndWait(run);
}

// Two large images, both changed, so that GIMP takes seconds to close each after its question.
// Cancel keeps everything, and the image closed by hand later quits nothing else; the next
// close, answered "Discard Changes", quits GIMP however long it takes, and the backdrop follows.
TEST_F(GimpHostTest, DiscardQuitsGimpHoweverLongItTakesAndCancelKeepsIt) {
  for (const char* name : {"first.xcf", "second.xcf"})
    WriteXcf(profile + name, 4000, 3000, 0xC02020, 0x2040C0);
  Session run;
  const std::vector<HWND> images = StartWithImages(run, {"first.xcf", "second.xcf"}, true);
  ASSERT_FALSE(HasFailure());
  const std::vector<HWND> before = Children(run.backdrop);

  HWND question = nullptr;
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return (question = Question(run)) != nullptr; }, 30000))
      << run.Explain();
  PostKey(question, VK_ESCAPE);  // Cancel
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(question); }, 10000));
  PumpFor(5000);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 0)) << "GIMP quit";
  for (HWND w : before) {
    EXPECT_TRUE(IsWindow(w) && IsChildOf(w, run.backdrop) && IsWindowVisible(w)) << TitleOf(w);
  }
  // By hand, later: the image asks again and goes on Discard, and nothing else closes.
  PostMessageA(images[1], WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return (question = Question(run)) != nullptr; }, 30000));
  PostCtrlKey(question, 'D');  // Discard Changes
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(images[1]); }, 60000));
  PumpFor(6000);
  EXPECT_TRUE(IsWindow(images[0]) && IsWindow(run.main)) << run.Explain();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 0)) << "GIMP quit";

  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return (question = Question(run)) != nullptr; }, 30000));
  const ULONGLONG answered = GetTickCount64();
  PostCtrlKey(question, 'D');
  EXPECT_TRUE(PumpUntil([&] { return TitleOf(images[0]).rfind("*", 0) != 0; }, 60000));
  std::printf("the image window was emptied %llu ms after Discard\n", GetTickCount64() - answered);
  EXPECT_EQ(0u, run.gimp->Wait(120000).exitCode) << run.Explain();
  EXPECT_EQ(0u, run.BackdropExit()) << run.Explain();
}

// Three clean images: GIMP closes them one by one, taking its time, then quits.
TEST_F(GimpHostTest, TheCloseQuitsGimpWithThreeCleanImages) {
  for (const char* name : {"a.xcf", "b.xcf", "c.xcf"}) WriteTinyXcf(profile + name);
  Session run;
  StartWithImages(run, {"a.xcf", "b.xcf", "c.xcf"}, false);
  ASSERT_FALSE(HasFailure());
  CloseAndWait(run);
}

// GIMP quit, and started again at once: its second run has a backdrop, and only one stands.
TEST_F(GimpHostTest, AGimpStartedWhileTheLastQuitsHasOneBackdrop) {
  Session first;
  ASSERT_NO_FATAL_FAILURE(Start(first));
  PostCtrlKey(first.main, 'Q');
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(first.main); }, 60000)) << first.Explain();
  Session second;
  // A second GIMP hands its files to a running one unless told not to.
  second.gimp = std::make_unique<TestProcess>(g_gimp + "bin\\gimp-2.10.exe",
                                              std::vector<std::string>{"--new-instance"});
  EXPECT_EQ(0u, first.gimp->Wait(60000).exitCode);
  // Its toolbox inside the one backdrop that stands, whichever process made it.
  auto backdrops = [] {
    std::vector<HWND> found;
    for (HWND w = FindWindowExA(nullptr, nullptr, "VELLAMY", nullptr); w;
         w = FindWindowExA(nullptr, w, "VELLAMY", nullptr))
      found.push_back(w);
    return found;
  };
  ASSERT_TRUE(PumpUntil(
      [&] {
        const std::vector<HWND> standing = backdrops();
        if (standing.size() != 1) return false;
        second.backdrop = standing[0];
        return (second.main = Toolbox(second)) != nullptr;
      },
      kGimpStart))
      << backdrops().size() << " backdrops\n"
      << second.Explain();
  PumpFor(2000);
  EXPECT_EQ(1u, backdrops().size());
  ASSERT_TRUE(second.FindBackdrop());
  EXPECT_TRUE(IsChildOf(second.main, second.backdrop));
  CloseAndWait(second);
}

// A fault of the backdrop's process while GIMP asks "Close ...?": on the desktop the question
// stands above its image window, owned by it, and answers; Cancel keeps GIMP, every window
// shown. Then a fault while the backdrop is minimised: every window comes back shown.
TEST_F(GimpHostTest, AFaultGivesTheWindowsBackAsTheUserLeftThem) {
  WriteTinyXcf(profile + "tiny.xcf");
  Session run;
  const std::vector<HWND> images = StartWithImages(run, {"tiny.xcf"}, true);
  ASSERT_FALSE(HasFailure());
  const std::vector<HWND> windows = Children(run.backdrop);
  HWND question = nullptr;
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return (question = Question(run)) != nullptr; }, 30000))
      << run.Explain();
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), FaultBackdrop(run.backdrop));
  EXPECT_EQ(GetDesktopWindow(), GetAncestor(question, GA_PARENT));
  EXPECT_EQ(images[0], GetWindow(question, GW_OWNER));
  bool above = false;
  for (HWND w = GetWindow(question, GW_HWNDNEXT); w && !above; w = GetWindow(w, GW_HWNDNEXT))
    above = w == images[0];
  EXPECT_TRUE(above) << "the question is below its image window";
  PostKey(question, VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(question); }, 10000)) << "it did not answer";
  for (HWND w : windows) EXPECT_TRUE(IsWindow(w) && IsWindowVisible(w)) << TitleOf(w);
  PostCtrlKey(run.main, 'Q');  // GIMP asks again, as it quits with an unsaved image
  HWND quit = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] { return (quit = FindWindowA("gdkWindowToplevel", "Quit GIMP")) != nullptr; }, 30000));
  PostCtrlKey(quit, 'D');
  EXPECT_EQ(0u, run.gimp->Wait(120000).exitCode);

  Session next;
  ASSERT_NO_FATAL_FAILURE(Start(next));
  ASSERT_TRUE(PumpUntil([&] { return Titled(next, "Pointer") != nullptr; }, 60000));
  const std::vector<HWND> shown = Children(next.backdrop);
  PostMessageA(next.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(next.main); }, 10000));
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), FaultBackdrop(next.backdrop));
  for (HWND w : shown) {
    EXPECT_TRUE(IsWindow(w) && GetAncestor(w, GA_PARENT) == GetDesktopWindow() &&
                IsWindowVisible(w))
        << TitleOf(w);
  }
  PostCtrlKey(next.main, 'Q');
  EXPECT_EQ(0u, next.gimp->Wait(120000).exitCode);
}

}  // namespace
