// Reliability under bad input, faults and load: floods of notices, GIMP or the backdrop killed,
// a hung backdrop, bad or unopenable settings, notices during modal loops.
#include "ProgramFixture.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

TEST_F(ProgramTest, AFloodOfNoticesWithAnyHandlesLeavesExactlyGimpsWindowsAdopted) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VellamyFlooder";
  RegisterClassA(&windowClass);
  HWND mine = CreateWindowExA(0, "VellamyFlooder", "mine", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HWND dead = CreateWindowExA(0, "VellamyFlooder", "dead", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  DestroyWindow(dead);
  // Live, dead and made-up handles, none of them GIMP's: a forged UM_TOOL_DESTROYED naming a
  // live GIMP window cannot be told from the real one, which arrives while it still exists.
  const HWND handles[] = {mine, dead, run.backdrop, GetDesktopWindow(), mine, dead};
  const UINT messages[] = {1024, 1025, 1026, 1027, 1028, 1029, 1030, WM_LBUTTONDOWN};
  unsigned seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int sent = 0, answered = 0;
  for (int i = 0; i < 100000; ++i) {
    const UINT message = messages[next() % 8];
    const unsigned pick = next() % 8;
    const LPARAM handle = pick < 6 ? reinterpret_cast<LPARAM>(handles[pick])
                                   : static_cast<LPARAM>(next());  // any number at all
    if (i % 20 == 0) {
      DWORD_PTR reply = 0;
      ++sent;
      if (SendMessageTimeoutA(run.backdrop, message, 0, handle, SMTO_NORMAL, 2000, &reply)) {
        ++answered;
      }
    } else {
      PostMessageA(run.backdrop, message, 0, handle);
    }
    if (i % 10000 == 0) PostMessageA(run.main, i % 20000 ? kCloseImage : kOpenImage, 0, 0);
    if (i % 1000 == 0) PumpMessages();
  }
  EXPECT_EQ(sent, answered) << "the backdrop answered every sent notice";
  // Responsive once the queue is drained.
  DWORD_PTR reply = 0;
  EXPECT_NE(0, SendMessageTimeoutA(run.backdrop, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &reply));

  // Minimising hides what is adopted: GIMP's windows, and not this process's window.
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  // Sent messages come before posted ones: the posted flood may still be queued.
  EXPECT_TRUE(
      PumpUntil([&] { return IsIconic(run.backdrop) && !IsWindowVisible(run.main); }, 120000));
  PumpFor(300);
  EXPECT_TRUE(IsWindowVisible(mine)) << "a window outside GIMP was adopted";
  for (HWND w : run.Adopted()) {
    if (IsWindow(w)) {
      EXPECT_FALSE(IsWindowVisible(w));
    }
  }
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  PumpFor(300);

  // It still closes when GIMP does.
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait(60000).exitCode);
  EXPECT_EQ(0u, run.BackdropExit(60000));
  DestroyWindow(mine);
}

TEST_F(ProgramTest, GimpKilledAtRandomPointsNeverLeavesTheBackdropBehind) {
  unsigned seed = 777;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    SetUp();
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartGimp(run));
    seed = seed * 1103515245u + 12345u;
    // Open and close some windows first, then die without closing anything.
    const unsigned steps = (seed >> 8) % 6;
    for (unsigned i = 0; i < steps; ++i) {
      PostMessageA(run.main, i % 2 ? kCloseImage : kOpenImage, 0, 0);
      if (i % 3 == 2) PostMessageA(run.main, kOpenPopup, 0, 0);
    }
    PumpFor((seed >> 4) % 300);
    PostMessageA(run.main, kDie, 0, 0);
    EXPECT_EQ(3u, run.gimp->Wait().exitCode);
    EXPECT_EQ(0u, run.BackdropExit());
    EXPECT_EQ(3u, ReadDword("MinState")) << "the placement was saved";
  }
}

// Once the backdrop is killed no code of its own runs; what is left is the hook in GIMP's process.
// Where GIMP's next window lands cannot be judged under Wine 8: the killed process lingers with
// its window, and the hook, as with a hung backdrop, hands the window to it (on Windows the
// window is gone with the process). Wine also fails a send to the killed thread at once, so a
// hook that waited without a time-out would pass here as well: this records GIMP's side only.
TEST_F(ProgramTest, ABackdropKilledAbruptlyLeavesGimpRunningOpeningAndClosingWindows) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  TerminateProcess(run.backdropProcess, 9);
  // Seen under Wine 8: the killed process may not end for a long time; recorded, not judged.
  const bool ended = WaitForSingleObject(run.backdropProcess, 10000) == WAIT_OBJECT_0;
  std::printf("the killed backdrop's process %s within 10 s, its window %s\n",
              ended ? "ended" : "did not end", IsWindow(run.backdrop) ? "still exists" : "is gone");
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 0));
  DWORD_PTR reply = 0;
  ASSERT_NE(0, SendMessageTimeoutA(run.main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &reply))
      << "GIMP answers";
  PostMessageA(run.main, kOpenImage, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return run.ImagesSoFar().size() == run.images.size() + 1; }, 5000))
      << run.Explain();
  EXPECT_LT(LastTime(*run.gimp, "created image"), 1000) << "GIMP waited for the dead backdrop";
  const HWND image = run.ImagesSoFar().back();
  std::printf("the window opened afterwards is %s\n",
              IsChildOf(image, GetDesktopWindow()) ? "top-level" : "in the dead backdrop");
  PostMessageA(run.main, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait().exitCode) << "GIMP still closes normally";
}

TEST_F(ProgramTest, AHungBackdropHoldsGimpUpBrieflyAndCatchesUpWhenItWakes) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--images=0"}));
  // A control: what creating a window costs GIMP with the backdrop answering.
  PostMessageA(run.main, kOpenImage, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return run.ImagesSoFar().size() == 1; }, 10000));
  const long long answered = LastTime(*run.gimp, "created image");
  const DWORD thread = GetWindowThreadProcessId(run.backdrop, nullptr);
  HANDLE backdropThread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread);
  ASSERT_NE(nullptr, backdropThread);
  ASSERT_NE(static_cast<DWORD>(-1), SuspendThread(backdropThread));
  const ULONGLONG hungAt = GetTickCount64();

  // A new bordered window: each notice the hook sends about it gives up after 50 ms and is
  // posted instead. Creating an image window sends two (the count cannot be read from outside
  // the backdrop; with time-outs of 50 and 100 ms creation took two of them longer), so a longer
  // time-out shows beyond the margin of the answered control.
  // The fastest of three: a busy machine slows a creation now and then, rarely all three.
  long long creation = -1;
  for (size_t images = 2; images <= 4; ++images) {
    PostMessageA(run.main, kOpenImage, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return run.ImagesSoFar().size() == images; }, 2500))
        << run.Explain();
    const long long took = LastTime(*run.gimp, "created image");
    if (took >= 0 && (creation < 0 || took < creation)) creation = took;
  }
  EXPECT_GE(creation, 0);
  // The margin stays below what a 100 ms time-out adds (2 x 50 ms).
  EXPECT_LT(creation, 2 * 50 + answered + 60) << "GIMP's thread waited for the hung backdrop";
  std::printf("creating a window took GIMP %lld ms answered, %lld ms hung\n", answered, creation);
  PumpFor(static_cast<DWORD>(3000 - std::min<ULONGLONG>(3000, GetTickCount64() - hungAt)));
  ResumeThread(backdropThread);
  const ULONGLONG hang = GetTickCount64() - hungAt;
  CloseHandle(backdropThread);
  std::printf("backdrop hung %llu ms\n", hang);

  // Once awake the backdrop handles what was posted: the window is listed, so it hides with it.
  const HWND image = run.ImagesSoFar().back();
  EXPECT_TRUE(PumpUntil([&] { return IsChildOf(image, run.backdrop); }, 10000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) && !IsWindowVisible(image); }, 10000))
      << "the window opened during the hang was adopted";
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait().exitCode);
  EXPECT_EQ(0u, run.BackdropExit());
}

TEST_F(ProgramTest, BadRegistryValuesStartTheProgramOnItsDefaults) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  const char text[] = "not a number";
  const unsigned char eight[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  for (const char* name : {"WindowX", "WindowY", "WindowW", "WindowH"}) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
  }
  RegSetValueExA(key, "MinState", 0, REG_BINARY, eight, sizeof(eight));
  RegSetValueExA(key, "Snap", 0, REG_BINARY, eight, sizeof(eight));
  RegSetValueExA(key, "MoveWindows", 0, REG_QWORD, eight, sizeof(eight));
  RegSetValueExA(key, "BgColor", 0, REG_DWORD, eight, 2);
  const std::string tooLong(2000, 'x');
  RegSetValueA(key, "GimpName", REG_SZ, tooLong.c_str(), static_cast<DWORD>(tooLong.size() + 1));
  RegCloseKey(key);

  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  EXPECT_TRUE(IsZoomed(run.backdrop)) << "MinState read as its default, maximised";
  for (HWND w : run.Adopted()) EXPECT_TRUE(IsChildOf(w, run.backdrop));
  // "GimpName" reads as "The GIMP", so closing finds GIMP's main window and GIMP closes.
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait().exitCode);
  EXPECT_EQ(0u, run.BackdropExit());
  EXPECT_EQ(3u, ReadDword("MinState")) << "and a good placement is stored again";
}

TEST_F(ProgramTest, WithTheSettingsKeyNotOpenableAnywhereTheProgramRunsOnItsDefaults) {
  RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  ASSERT_TRUE(MakeRefusingKey(HKEY_LOCAL_MACHINE));
  ASSERT_TRUE(MakeRefusingKey(HKEY_CURRENT_USER));
  {
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartGimp(run));
    EXPECT_TRUE(IsZoomed(run.backdrop)) << "the default placement, maximised";
    for (HWND w : run.Adopted()) EXPECT_TRUE(IsChildOf(w, run.backdrop));
    // "GimpName" reads as "The GIMP": closing finds GIMP's main window and GIMP closes.
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.gimp->Wait().exitCode);
    EXPECT_EQ(0u, run.BackdropExit());
  }
  // Nothing landed where the links point, nor anywhere else.
  HKEY key = nullptr;
  DWORD subkeys = 99;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVolatileParent, 0, KEY_READ, &key));
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  EXPECT_EQ(0u, subkeys);
  DeleteRefusingKey(HKEY_LOCAL_MACHINE);
  DeleteRefusingKey(HKEY_CURRENT_USER);
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key));
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key));
}

// A fault on a thread of the backdrop's process that is not the window thread, while the window
// thread is busy tiling GIMP's windows (each move in the backdrop takes GIMP 300 ms, one on the
// desktop none): once a window is back on the desktop nothing of the backdrop's moves it again,
// and a window GIMP opens meanwhile stands on the desktop after the backdrop's end.
TEST_F(ProgramTest, AFaultWhileTheBackdropArrangesStopsItBeforeTheWindowsGoBack) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=5", "--slow-moves"}));
  // The images lowest, so that they go back first while the tiling still has them to move.
  for (HWND w : run.images)
    SetWindowPos(w, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  PostMessageA(run.backdrop, WM_COMMAND, 141, 0);  // Tile images
  ASSERT_TRUE(run.gimp->WaitForLine("moved", 10000)) << run.Explain();
  PostMessageA(run.main, kOpenImage, 0, 0);
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), FaultBackdrop(run.backdrop));
  ASSERT_TRUE(PumpUntil([&] { return run.ImagesSoFar().size() == 6; }, 10000)) << run.Explain();
  PumpFor(1000);
  std::map<std::string, int> movesOnTheDesktop;
  for (const std::string& line : run.gimp->SoFar().Lines()) {
    if (line.rfind("moved ", 0) == 0 && line.find("held=0") != std::string::npos)
      ++movesOnTheDesktop[line.substr(0, line.find(" held"))];
  }
  for (const auto& [window, moves] : movesOnTheDesktop)
    EXPECT_GE(2, moves) << window << ": only the give-back moves it (SetParent, then its place)";
  for (HWND w : run.ImagesSoFar()) {
    EXPECT_TRUE(IsWindow(w) && GetAncestor(w, GA_PARENT) == GetDesktopWindow() &&
                IsWindowVisible(w))
        << HandleText(w);
  }
  PostMessageA(run.main, kDie, 0, 0);
  run.gimp->Wait();
}

TEST_F(ProgramTest, NoticesArrivingWhileADialogRunsItsModalLoopAreHandled) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--images=0"}));
  struct Dialog {
    UINT command;
    const char* title;
  };
  const Dialog dialogs[] = {{104, "About"}, {134, "GIMP Vellamy Settings"}, {129, "Color"}};
  size_t opened = 0;
  for (const Dialog& d : dialogs) {
    SCOPED_TRACE(d.title);
    PostMessageA(run.backdrop, WM_COMMAND, d.command, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(
        PumpUntil([&] { return (dialog = FindWindowA(nullptr, d.title)) != nullptr; }, 10000));
    // GIMP opens a window while the backdrop's thread sits in the dialog's modal loop.
    PostMessageA(run.main, kOpenImage, 0, 0);
    ++opened;
    ASSERT_TRUE(PumpUntil([&] { return run.ImagesSoFar().size() == opened; }, 10000));
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(PumpUntil([&] { return FindWindowA(nullptr, d.title) == nullptr; }, 10000));
  }
  // Every window opened meanwhile was adopted: a child of the backdrop that hides with it.
  const std::vector<HWND> images = run.ImagesSoFar();
  ASSERT_EQ(3u, images.size());
  for (HWND w : images) EXPECT_TRUE(IsChildOf(w, run.backdrop));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil(
      [&] {
        for (HWND w : images) {
          if (IsWindowVisible(w)) return false;
        }
        return IsIconic(run.backdrop) != FALSE;
      },
      10000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait().exitCode);
  EXPECT_EQ(0u, run.BackdropExit());
}

}  // namespace
