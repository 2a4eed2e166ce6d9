// vellamy with GIMP as it really is: the stand-in GIMP's version profiles, whose windows GDK
// creates hidden, styles and places itself, with "GimpName" set as the README tells users.
#include "ProgramFixture.h"

#include <algorithm>
#include <cstdio>

namespace {

struct Profile {
  const char* version;
  const char* gimpName;  // what the README says to enter in Setup
  size_t toplevels;      // GDK top-levels with no image open
};

// Every bordered GDK top-level the stand-in reported: toolbox (or the one window), docks,
// image windows and GIMP 2.10's empty image window.
std::vector<HWND> GdkToplevels(const Session& run) {
  std::vector<HWND> all;
  for (const char* kind : {"main", "dock", "image", "empty"}) {
    for (HWND w : run.WindowsSoFar(kind)) {
      if (std::find(all.begin(), all.end(), w) == all.end()) all.push_back(w);
    }
  }
  return all;
}

HWND TopChild(HWND parent) { return GetWindow(parent, GW_CHILD); }

TEST_F(ProgramTest, EachGimpVersionIsAdoptedMinimisedScrolledRaisedAndClosedAsTheReadmeSays) {
  // 2.2: toolbox and two docks; 2.10: also the empty image window; single-window: one window.
  const Profile profiles[] = {{"2.2", nullptr, 3},
                              {"2.10", "GNU Image Manipulation Program", 4},
                              {"2.10-single", "GNU Image Manipulation Program", 1}};
  for (const Profile& p : profiles) {
    SCOPED_TRACE(p.version);
    SetUp();
    if (p.gimpName) WriteString("GimpName", p.gimpName);
    Session run;
    // No image open: only then does a 2.10 window carry the title that quits GIMP.
    ASSERT_NO_FATAL_FAILURE(StartGimp(run, {std::string("--version=") + p.version, "--images=0"}));

    // Every bordered top-level is adopted, the dialog GIMP opens later too; menus and
    // tooltips are not.
    PostMessageA(run.main, kPreferences, 0, 0);
    ASSERT_TRUE(run.gimp->WaitForLine("preferences shown", 10000)) << run.Explain();
    std::vector<HWND> gimp = GdkToplevels(run);
    ASSERT_EQ(p.toplevels, gimp.size());
    for (HWND w : gimp) EXPECT_TRUE(IsChildOf(w, run.backdrop));
    const std::vector<HWND> dialogs = run.WindowsSoFar("dialog");
    ASSERT_EQ(1u, dialogs.size());
    // Inside the backdrop. GDK makes it transient for the toolbox through GWLP_HWNDPARENT, which
    // the system takes as a new parent for a window whose parent is not the desktop; the hook
    // library keeps the backdrop as its parent (checked in PlacementTest).
    EXPECT_EQ(run.backdrop, GetAncestor(dialogs[0], GA_ROOT));
    std::printf("%s: the Preferences dialog's parent is %s\n", p.version,
                IsChildOf(dialogs[0], run.backdrop) ? "the backdrop" : "GIMP's toolbox");
    gimp.push_back(dialogs[0]);
    for (HWND w : run.WindowsSoFar("popup")) EXPECT_TRUE(IsChildOf(w, GetDesktopWindow()));
    for (HWND w : run.WindowsSoFar("tip")) EXPECT_TRUE(IsChildOf(w, GetDesktopWindow()));

    // Minimising hides GIMP's windows; restoring brings them back.
    PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(PumpUntil(
        [&] {
          return IsIconic(run.backdrop) &&
                 std::none_of(gimp.begin(), gimp.end(), [](HWND w) { return IsWindowVisible(w); });
        },
        5000));
    PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(
        PumpUntil([&] { return !IsIconic(run.backdrop) && IsWindowVisible(run.main); }, 5000));

    // A window dragged below the backdrop's client area gives the vertical bar a range; a line
    // down moves every adopted window 10 pixels up.
    RECT client;
    GetClientRect(run.backdrop, &client);
    SetWindowPos(run.main, nullptr, 40, client.bottom - 60, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpFor(200);
    InvalidateRect(run.backdrop, nullptr, TRUE);  // the ranges follow at the next paint
    PumpFor(300);
    std::vector<RECT> before;
    for (HWND w : gimp) before.push_back(ClientRectIn(w, run.backdrop));
    DWORD_PTR reply = 0;
    SendMessageTimeoutA(run.backdrop, WM_VSCROLL, SB_LINEDOWN, 0, SMTO_NORMAL, 5000, &reply);
    for (size_t i = 0; i < gimp.size(); ++i) {
      if (!IsChildOf(gimp[i], run.backdrop)) continue;  // inside the toolbox: moves with it
      const RECT now = ClientRectIn(gimp[i], run.backdrop);
      EXPECT_EQ(before[i].top - 10, now.top) << i;
      EXPECT_EQ(before[i].left, now.left) << i;
    }

    // Picking the Window menu's last entry again and again raises each window once: the list
    // holds them all, and a raised window moves to its front. A window inside the toolbox is
    // raised there, not among the backdrop's children. The dialog is closed (GIMP hides it)
    // first: the hook puts a shown dialog back above the window it belongs to, so the top
    // would not tell which of the two a pick raised.
    PostMessageA(dialogs[0], WM_CLOSE, 0, 0);
    ASSERT_TRUE(run.gimp->WaitForLine("preferences hidden", 10000)) << run.Explain();
    std::vector<HWND> children, raised;
    for (HWND w = TopChild(run.backdrop); w; w = GetWindow(w, GW_HWNDNEXT)) children.push_back(w);
    const size_t listed =
        children.size() + static_cast<size_t>(std::count_if(gimp.begin(), gimp.end(), [&](HWND w) {
          return !IsChildOf(w, run.backdrop);
        }));
    for (size_t i = 0; i < listed; ++i) {
      const HWND top = TopChild(run.backdrop);
      PostMessageA(run.backdrop, WM_COMMAND, static_cast<WPARAM>(1000 + listed - 1), 0);
      PumpUntil([&] { return TopChild(run.backdrop) != top; }, 5000);
      raised.push_back(TopChild(run.backdrop));
    }
    std::sort(children.begin(), children.end());
    std::sort(raised.begin(), raised.end());
    raised.erase(std::unique(raised.begin(), raised.end()), raised.end());
    EXPECT_EQ(children, raised);
    for (HWND w : gimp) {
      if (IsChildOf(w, run.backdrop)) {
        EXPECT_TRUE(std::binary_search(children.begin(), children.end(), w));
      }
    }

    // Closing the backdrop asks the window with that title to close: GIMP quits, and the
    // backdrop follows.
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    const ProcessResult out = run.gimp->Wait();
    EXPECT_NE(std::string::npos, out.output.find("main got WM_CLOSE")) << out.output;
    EXPECT_EQ(0u, out.exitCode);
    EXPECT_EQ(0u, run.BackdropExit());
  }
}

}  // namespace
