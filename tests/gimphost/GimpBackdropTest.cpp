// The backdrop's own controls on the real GIMP's windows, and the backdrop's end with GIMP's.
#include <algorithm>
#include <fstream>
#include <functional>

#include "GimpHostFixture.h"

namespace {

TEST_F(GimpHostTest, MinimisingTheBackdropHidesGimpsWindowsAndRestoringShowsThem) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") != nullptr; }, 60000));
  const std::vector<HWND> windows = Children(run.backdrop);
  auto shown = [&] {
    int n = 0;
    for (HWND w : windows) n += IsWindowVisible(w) ? 1 : 0;
    return n;
  };
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return shown() == 0; }, 10000)) << run.Explain();
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return shown() == static_cast<int>(windows.size()); }, 10000))
      << run.Explain();
  CloseAndWait(run);
}

// Each entry of the Window menu brings its window to the front: the last entry, picked again
// and again, raises each of GIMP's windows once.
TEST_F(GimpHostTest, TheWindowMenuRaisesEachOfGimpsWindows) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") != nullptr; }, 60000));
  std::vector<HWND> windows = Children(run.backdrop), raised;
  const UINT last = static_cast<UINT>(1000 + windows.size() - 1);
  auto top = [&] { return GetWindow(run.backdrop, GW_CHILD); };
  for (size_t i = 0; i < windows.size(); ++i) {
    const HWND before = top();
    PostMessageA(run.backdrop, WM_COMMAND, last, 0);
    PumpUntil([&] { return top() != before; }, 5000);
    raised.push_back(top());
  }
  std::sort(windows.begin(), windows.end());
  std::sort(raised.begin(), raised.end());
  EXPECT_EQ(windows, raised) << run.Explain();
  CloseAndWait(run);
}

// The Window menu's arrangements on the real GIMP's toolbox, dock and two image windows: GIMP
// layout puts the toolbox at the left edge and the dock at the right, full height, the images
// side by side between them; Cascade stacks the images a caption apart, the top one furthest;
// Tile puts them back between the toolbox and the dock. GIMP saves the toolbox's and dock's new
// places at its quit, and the next start brings them back to the pixel.
TEST_F(GimpHostTest, TheWindowMenuArrangesGimpsWindowsAndGimpKeepsTheLayout) {
  constexpr UINT kCascade = 140, kTile = 141, kGimpLayout = 142;
  for (const char* name : {"one.xcf", "two.xcf"}) WriteTinyXcf(profile + name);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {profile + "one.xcf", profile + "two.xcf"}));
  HWND dock = nullptr, one = nullptr, two = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        return (dock = Titled(run, "Pointer")) && (one = Titled(run, "one.xcf")) &&
               (two = Titled(run, "two.xcf"));
      },
      60000))
      << run.Explain();
  EXPECT_TRUE(Settled(run.backdrop)) << run.Explain();
  RECT client;
  GetClientRect(run.backdrop, &client);
  auto at = [&](HWND w) { return ClientRectIn(w, run.backdrop); };
  auto arrange = [&](UINT command, const std::function<bool()>& done) {
    PostMessageA(run.backdrop, WM_COMMAND, command, 0);
    EXPECT_TRUE(PumpUntil(done, 10000)) << command << "\n" << run.Explain();
    EXPECT_TRUE(Settled(run.backdrop));
  };

  arrange(kGimpLayout, [&] { return at(run.main).left == 0 && at(dock).right == client.right; });
  const RECT toolbox = at(run.main), docked = at(dock);
  EXPECT_EQ((std::vector<LONG>{0, 0, client.bottom}),
            (std::vector<LONG>{toolbox.left, toolbox.top, toolbox.bottom}));
  EXPECT_EQ((std::vector<LONG>{client.right, 0, client.bottom}),
            (std::vector<LONG>{docked.right, docked.top, docked.bottom}));
  // Side by side between them: each image at its cell's corner (GIMP may keep one wider than
  // its cell, when its menu bar asks for more).
  const LONG cell = (docked.left - toolbox.right) / 2;
  auto besideEachOther = [&] {
    return at(one).left == toolbox.right && at(two).left == toolbox.right + cell &&
           at(one).top == 0 && at(two).top == 0;
  };
  EXPECT_TRUE(besideEachOther()) << at(one).left << " " << at(two).left << " " << cell;

  const LONG step = GetSystemMetrics(SM_CYCAPTION);
  arrange(kCascade, [&] { return at(one).left < toolbox.right || at(two).left < toolbox.right; });
  const std::vector<HWND> stack = Children(run.backdrop);  // top first
  HWND below = one, above = two;
  if (std::find(stack.begin(), stack.end(), one) < std::find(stack.begin(), stack.end(), two))
    std::swap(below, above);
  EXPECT_EQ((std::vector<LONG>{0, 0, step, step}),
            (std::vector<LONG>{at(below).left, at(below).top, at(above).left, at(above).top}));

  arrange(kTile, besideEachOther);
  EXPECT_EQ(toolbox.right, at(run.main).right) << "Tile moves the images alone";
  const std::vector<int> laidOut[] = {SavedPlaceOf(run.main), SavedPlaceOf(dock)};
  CloseAndWait(run);

  Session next;
  ASSERT_NO_FATAL_FAILURE(Start(next));
  ASSERT_TRUE(PumpUntil([&] { return (dock = Titled(next, "Pointer")) != nullptr; }, 60000));
  EXPECT_TRUE(Settled(next.backdrop));
  EXPECT_EQ(laidOut[0], SavedPlaceOf(next.main)) << "the toolbox";
  EXPECT_EQ(laidOut[1], SavedPlaceOf(dock)) << "the dock";
  CloseAndWait(next);
}

// A backdrop smaller than GIMP's layout scrolls: every window moves the bar's way, and GIMP
// goes on answering.
TEST_F(GimpHostTest, ScrollingTheBackdropMovesGimpsWindowsAndGimpGoesOnAnswering) {
  WriteDword("MinState", SW_SHOWNORMAL);
  WriteDword("WindowW", 400);
  WriteDword("WindowH", 300);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") != nullptr; }, 60000));
  const std::vector<HWND> windows = Children(run.backdrop);
  std::vector<std::vector<int>> before;
  for (HWND w : windows) before.push_back(PlaceOf(w, run.backdrop));
  InvalidateRect(run.backdrop, nullptr, TRUE);  // the bars' ranges are set as it paints
  // Both bars shown: a bar with nothing to scroll is hidden.
  constexpr LONG kBars = WS_HSCROLL | WS_VSCROLL;
  ASSERT_TRUE(
      PumpUntil([&] { return (GetWindowLongA(run.backdrop, GWL_STYLE) & kBars) == kBars; }, 10000));
  SendMessageA(run.backdrop, WM_HSCROLL, SB_PAGERIGHT, 0);
  SendMessageA(run.backdrop, WM_VSCROLL, SB_LINEDOWN, 0);
  for (size_t i = 0; i < windows.size(); ++i) {
    const std::vector<int> now = PlaceOf(windows[i], run.backdrop);
    EXPECT_EQ(before[i][0] - 10, now[0]) << TitleOf(windows[i]);
    EXPECT_EQ(before[i][1] - 10, now[1]) << TitleOf(windows[i]);
  }
  EXPECT_TRUE(PumpUntil([&] { return AllAnswer(run.backdrop); }, 10000)) << Answers(run.backdrop);
  CloseAndWait(run);
}

// Ctrl+Q in the toolbox, as a user quits GIMP: GIMP ends and, its windows gone, so does the
// backdrop.
TEST_F(GimpHostTest, QuittingGimpWithCtrlQClosesTheBackdrop) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  PostCtrlKey(run.main, 'Q');
  EXPECT_EQ(0u, run.gimp->Wait(120000).exitCode) << run.Explain();
  EXPECT_EQ(0u, run.BackdropExit()) << run.Explain();
}

// A fault in any thread of the backdrop's process: GIMP's windows, children of the backdrop,
// would end with it. Each one comes back to the desktop, shown and answering, and GIMP still
// quits as usual.
TEST_F(GimpHostTest, AFaultInTheBackdropGivesGimpsWindowsBackToTheDesktop) {
  const std::string image = profile + "tiny.xcf";
  WriteTinyXcf(image);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {image}));
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") && Titled(run, "tiny.xcf"); }, 60000));
  const std::vector<HWND> windows = Children(run.backdrop);
  ASSERT_EQ(3u, windows.size()) << run.Explain();
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), FaultBackdrop(run.backdrop));
  for (HWND w : windows) {
    DWORD_PTR reply = 0;
    EXPECT_TRUE(IsWindow(w) && GetAncestor(w, GA_PARENT) == GetDesktopWindow() &&
                IsWindowVisible(w) &&
                SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &reply))
        << TitleOf(w);
  }
  PostCtrlKey(run.main, 'Q');
  EXPECT_EQ(0u, run.gimp->Wait(120000).exitCode) << run.Explain();
}

// GIMP's "Normal window" hint gives the toolbox and docks an image window's style, and a
// full-screen image (F11) has a popup's: the close still goes by what each window is. It
// closes the image, then the empty window, and never a dock, so the session GIMP saves at its
// quit keeps the toolbox and the dock.
TEST_F(GimpHostTest, TheCloseQuitsGimpFromAFullScreenImageAndKeepsDocksWithTheNormalHint) {
  std::ofstream(profile + "gimprc") << "(dock-window-hint normal)\n(toolbox-window-hint normal)\n";
  const std::string image = profile + "tiny.xcf";
  WriteTinyXcf(image);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {image}));
  HWND shown = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") && (shown = Titled(run, "tiny.xcf")); },
                        60000));
  ASSERT_TRUE(GetWindowLongA(run.main, GWL_STYLE) & WS_MAXIMIZEBOX) << "not the Normal hint";
  PostKey(shown, VK_F11);
  ASSERT_TRUE(PumpUntil([&] { return (GetWindowLongA(shown, GWL_STYLE) & WS_POPUP) != 0; }, 10000))
      << "not full screen";
  CloseAndWait(run);
  const std::string sessionrc = ReadFile(profile + "sessionrc");
  EXPECT_NE(std::string::npos, sessionrc.find("# GIMP sessionrc")) << "GIMP wrote no session";
  EXPECT_NE(std::string::npos, sessionrc.find("gimp-toolbox-window")) << sessionrc;
  EXPECT_NE(std::string::npos, sessionrc.find("gimp-dock-window")) << sessionrc;
}

TEST_F(GimpHostTest, KilledGimpClosesTheBackdrop) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  TerminateProcess(run.gimp->Handle(), 9);
  EXPECT_EQ(0u, run.BackdropExit()) << run.Explain();
}

}  // namespace
