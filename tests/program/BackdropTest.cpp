// The backdrop's own behaviour with GIMP's windows in it: minimising, moving, the Edit
// menu's toggles and the saved placement.
#include "ProgramFixture.h"

#include <algorithm>

namespace {

TEST_F(ProgramTest, MinimisingHidesEveryAdoptedWindowAndRestoringShowsThem) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  const std::vector<HWND> adopted = run.Adopted();
  auto allVisible = [&](bool visible) {
    for (HWND w : adopted) {
      if ((IsWindowVisible(w) != FALSE) != visible) return false;
    }
    return true;
  };
  ASSERT_TRUE(allVisible(true));
  ASSERT_TRUE(IsWindowVisible(run.popup));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) && allVisible(false); }, 5000));
  EXPECT_TRUE(IsWindowVisible(run.popup)) << "a popup of GIMP's is not hidden with the backdrop";
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsIconic(run.backdrop) && allVisible(true); }, 5000));
  EXPECT_TRUE(IsWindowVisible(run.popup)) << "nor shown again by it";
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

// A plug-in's dialog has no owner on Windows: it stays above GIMP's windows as an owned one
// would, whatever raises them, and goes and comes with the backdrop.
TEST_F(ProgramTest, APlugInsDialogStaysAboveGimpsWindowsThroughRaisesArrangementsAndMinimise) {
  constexpr UINT kCascade = 140, kTile = 141, kGimpLayout = 142;
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10"}));
  const std::vector<HWND> gimp = run.Adopted();
  PostMessageA(run.main, kRunPlugIn, 0, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        dialog = FindWindowExW(run.backdrop, nullptr, nullptr, L"Export Image as PNG");
        return dialog && IsWindowVisible(dialog);
      },
      kLong))
      << run.Explain();
  auto aboveGimp = [&] {
    const std::vector<HWND> stack = Children(run.backdrop);  // top first
    const auto at = std::find(stack.begin(), stack.end(), dialog);
    return at != stack.end() && std::none_of(gimp.begin(), gimp.end(), [&](HWND w) {
             return std::find(stack.begin(), at, w) != at;
           });
  };
  EXPECT_TRUE(PumpUntil(aboveGimp, 5000)) << "when it comes";
  DWORD_PTR reply = 0;
  const struct {
    const char* what;
    HWND raised;  // a click's raise, as the system does it
    UINT command;
  } steps[] = {{"a click on an image window", run.images.back(), 0},
               {"a click on the toolbox", run.main, 0},
               {"the Window menu's first pick", nullptr, 1000},
               {"the Window menu's last pick", nullptr,
                static_cast<UINT>(1000 + Children(run.backdrop).size() - 1)},
               {"Cascade", nullptr, kCascade},
               {"Tile", nullptr, kTile},
               {"GIMP layout", nullptr, kGimpLayout}};
  for (const auto& step : steps) {
    if (step.raised) {
      SetWindowPos(step.raised, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else {
      SendMessageTimeoutA(run.backdrop, WM_COMMAND, step.command, 0, SMTO_NORMAL, 5000, &reply);
    }
    EXPECT_TRUE(PumpUntil(aboveGimp, 5000)) << step.what;
  }

  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) && !IsWindowVisible(dialog); }, 5000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(dialog) && aboveGimp(); }, 5000));
  // Its Cancel ends the plug-in, and its window goes.
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, kLong));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

// Adopted windows are the backdrop's children and move with it on the screen by themselves;
// with the setting on they must not be carried a second time.
TEST_F(ProgramTest, EitherWayOfMoveWindowsTheWindowsKeepTheirPlacesInTheBackdrop) {
  WriteDword("MinState", SW_SHOWNORMAL);
  WriteDword("WindowX", 20);
  WriteDword("WindowY", 20);
  WriteDword("WindowW", 1000);
  WriteDword("WindowH", 800);
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  const std::vector<HWND> adopted = run.Adopted();
  auto screenPlaces = [&] {
    std::vector<RECT> all;
    for (HWND w : adopted) {
      RECT r;
      GetWindowRect(w, &r);
      all.push_back(r);
    }
    return all;
  };
  auto movedBy = [&](int dx, int dy) {
    const std::vector<RECT> before = screenPlaces();
    RECT r;
    GetWindowRect(run.backdrop, &r);
    SetWindowPos(run.backdrop, nullptr, r.left + dx, r.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpFor(300);
    const std::vector<RECT> now = screenPlaces();
    for (size_t i = 0; i < adopted.size(); ++i) {
      if (now[i].left - before[i].left != dx || now[i].top - before[i].top != dy ||
          now[i].right - now[i].left != before[i].right - before[i].left) {
        return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(movedBy(30, 20)) << "off";
  PostMessageA(run.backdrop, WM_COMMAND, 137, 0);
  ASSERT_TRUE(PumpUntil([] { return ReadDword("MoveWindows") == 1; }, 5000));
  EXPECT_TRUE(movedBy(35, 55)) << "on";
  EXPECT_TRUE(movedBy(-12, 8)) << "on";
  // Minimised and restored, the backdrop is back where it was, and so are the windows.
  const std::vector<RECT> before = screenPlaces();
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PumpUntil([&] { return IsIconic(run.backdrop) != FALSE; }, 5000);
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  PumpUntil([&] { return !IsIconic(run.backdrop); }, 5000);
  PumpFor(300);
  const std::vector<RECT> after = screenPlaces();
  for (size_t i = 0; i < adopted.size(); ++i) {
    EXPECT_EQ(before[i].left, after[i].left) << i;
    EXPECT_EQ(before[i].top, after[i].top) << i;
  }
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

TEST_F(ProgramTest, TheTogglesStoreOneAndZeroAndTheSnapSettingReachesTheHook) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
  // The hook library's shared record, read through the very file the backdrop uses.
  HMODULE hook = LoadLibraryA((g_pluginFolder + "vellamyhook.dll").c_str());
  ASSERT_NE(nullptr, hook);
  auto snapInHook = reinterpret_cast<int (*)()>(
      reinterpret_cast<void*>(GetProcAddress(hook, "_Z15HookSnapWindowsv")));
  ASSERT_NE(nullptr, snapInHook);

  auto toggle = [&](UINT command, const char* name, DWORD want) {
    PostMessageA(run.backdrop, WM_COMMAND, command, 0);
    return PumpUntil([&] { return ReadDword(name) == want; }, 5000);
  };
  EXPECT_TRUE(toggle(130, "Snap", 1));
  EXPECT_TRUE(PumpUntil([&] { return snapInHook() == 1; }, 5000));
  EXPECT_TRUE(toggle(130, "Snap", 0));
  EXPECT_TRUE(PumpUntil([&] { return snapInHook() == 0; }, 5000));
  EXPECT_TRUE(toggle(137, "MoveWindows", 1));
  EXPECT_TRUE(toggle(137, "MoveWindows", 0));
  WriteDword("Snap", 5);
  WriteDword("MoveWindows", 5);
  EXPECT_TRUE(toggle(130, "Snap", 0));
  EXPECT_TRUE(toggle(137, "MoveWindows", 0));
  // A stored 5 is handed to the hook unchanged at the next menu refresh.
  WriteDword("Snap", 5);
  PostMessageA(run.backdrop, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  EXPECT_TRUE(PumpUntil([&] { return snapInHook() == 5; }, 5000));
  FreeLibrary(hook);
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
}

TEST_F(ProgramTest, PlacementIsSavedAtCloseAndRestoredAtStart) {
  auto placementOf = [](HWND window) {
    WINDOWPLACEMENT p = {};
    p.length = sizeof(p);
    GetWindowPlacement(window, &p);
    return p;
  };
  {
    // First start: maximised. Its normal rectangle is applied as (0, 0)-(600, 600), but Wine
    // (no window manager under Xvfb) replaces a maximised window's normal rectangle with the
    // maximised one, so that part is left to the round trips of normal windows below.
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
    const WINDOWPLACEMENT p = placementOf(run.backdrop);
    EXPECT_EQ(static_cast<UINT>(SW_SHOWMAXIMIZED), p.showCmd);
    EXPECT_TRUE(IsZoomed(run.backdrop));
    RECT r;
    GetWindowRect(run.backdrop, &r);
    EXPECT_GT(r.right - r.left, 1000) << "maximised on the 1280 x 1024 screen";
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
    EXPECT_EQ(3u, ReadDword("MinState"));
  }
  {
    // A normal window left of the screen's origin; moved, it stores where it went.
    WriteDword("WindowX", static_cast<DWORD>(-50));
    WriteDword("WindowY", 30);
    WriteDword("WindowW", 700);
    WriteDword("WindowH", 500);
    WriteDword("MinState", SW_SHOWNORMAL);
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
    const WINDOWPLACEMENT p = placementOf(run.backdrop);
    EXPECT_EQ(static_cast<UINT>(SW_SHOWNORMAL), p.showCmd);
    EXPECT_EQ(-50, p.rcNormalPosition.left);
    EXPECT_EQ(30, p.rcNormalPosition.top);
    EXPECT_EQ(650, p.rcNormalPosition.right);
    EXPECT_EQ(530, p.rcNormalPosition.bottom);
    SetWindowPos(run.backdrop, nullptr, -120, 40, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
    PumpFor(200);
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
    EXPECT_EQ(-120, static_cast<int>(ReadDword("WindowX")));
    EXPECT_EQ(40u, ReadDword("WindowY"));
    EXPECT_EQ(640u, ReadDword("WindowW"));
    EXPECT_EQ(480u, ReadDword("WindowH"));
    EXPECT_EQ(1u, ReadDword("MinState"));
  }
  {
    // Maximised at close: the normal rectangle and 3 are stored.
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
    PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(PumpUntil([&] { return IsZoomed(run.backdrop) != FALSE; }, 5000));
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
    EXPECT_EQ(3u, ReadDword("MinState"));
    EXPECT_EQ(-120, static_cast<int>(ReadDword("WindowX")));
    EXPECT_EQ(640u, ReadDword("WindowW"));
  }
  {
    // A stored show command that hides the window (a failed save stores 0) still shows it.
    WriteDword("MinState", SW_HIDE);
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
    EXPECT_TRUE(IsWindowVisible(run.backdrop));
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
  }
  {
    // Minimised at start and at close.
    WriteDword("MinState", SW_SHOWMINIMIZED);
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
    EXPECT_TRUE(IsIconic(run.backdrop));
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
    EXPECT_EQ(2u, ReadDword("MinState"));
  }
}

}  // namespace
