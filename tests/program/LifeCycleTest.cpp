// vellamy end to end with the stand-in GIMP: start-up, adoption, the close request (granted or
// declined) and exit, and what the program file holds.
#include "ProgramFixture.h"

#include <algorithm>

namespace {

TEST_F(ProgramTest, TheWholeLifeCycleStartAdoptCloseAndExit) {
  SetEnvironmentVariableA("VELLAMY_GIMP_MAIN_RESULT", "7");
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));

  // The plug-in process handed over only once the backdrop stood, with every argument, and
  // exited with gimp_main's result.
  EXPECT_EQ("7", run.gimp->SoFar().Field("plugin", "exit"));
  const std::string log = ReadLog();
  EXPECT_NE(std::string::npos, log.find("gimp_main argc=6 info=set backdrop=1\n")) << log;
  EXPECT_NE(std::string::npos, log.find("vellamy.exe\nargv[1]=-gimp\nargv[2]=3\nargv[3]=4\n"
                                        "argv[4]=-query\nargv[5]=0\n"))
      << log;
  EXPECT_EQ(1u, static_cast<size_t>(std::count(log.begin(), log.end(), '[') / 6))
      << "gimp_main is called once, by the launcher only";

  // GIMP's bordered windows are the backdrop's children; its popup is not.
  for (HWND w : run.Adopted()) EXPECT_TRUE(IsChildOf(w, run.backdrop));
  EXPECT_TRUE(IsChildOf(run.popup, GetDesktopWindow()));

  // Closing the backdrop asks GIMP to close; once its windows are gone the backdrop follows.
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ProcessResult gimp = run.gimp->Wait();
  EXPECT_EQ(0u, gimp.exitCode);
  const std::vector<std::string> lines = gimp.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("main got WM_CLOSE", lines[lines.size() - 2]);
  EXPECT_EQ("closed", lines.back());
  EXPECT_EQ(0u, run.BackdropExit());
  EXPECT_EQ(600u, ReadDword("WindowW")) << "the placement was saved";
}

TEST_F(ProgramTest, OnlyTheExactArgumentMinusGimpStartsThePlugInMode) {
  {
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run, {"-Gimp", "-gimp1"}));
    // Started by hand, the backdrop closes at once: no GIMP window is found.
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
    EXPECT_EQ(0u, run.vellamy->Wait().exitCode);
    EXPECT_EQ("", ReadLog()) << "gimp_main is not called in standalone mode";
  }
  {
    SetEnvironmentVariableA("VELLAMY_GIMP_MAIN_RESULT", "5");
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run, {"x", "-gimp"}));
    ProcessResult launcher = run.vellamy->Wait();
    EXPECT_EQ(5u, launcher.exitCode);
    EXPECT_NE(std::string::npos, ReadLog().find("argv[1]=x\nargv[2]=-gimp\n")) << ReadLog();
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.BackdropExit());
  }
}

TEST_F(ProgramTest, TheBackdropWindowAndItsResources) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
  char text[100] = {};
  GetClassNameA(run.backdrop, text, sizeof(text));
  EXPECT_STREQ("VELLAMY", text);
  GetWindowTextA(run.backdrop, text, sizeof(text));
  EXPECT_STREQ("The GIMP", text);
  // Created with both scroll bars; the platform takes WS_HSCROLL and WS_VSCROLL off the style
  // again while a bar's range is empty, as it is without adopted windows.
  const LONG style = GetWindowLongA(run.backdrop, GWL_STYLE);
  const LONG want = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  EXPECT_EQ(want, style & want);
  EXPECT_EQ(0, style & (WS_POPUP | WS_CHILD));
  EXPECT_EQ(static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW),
            GetClassLongPtrA(run.backdrop, GCL_STYLE));
  EXPECT_NE(nullptr, GetMenu(run.backdrop));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());

  // The resources, read from the program file itself (another process's menu cannot be read).
  HMODULE module =
      LoadLibraryExA((g_pluginFolder + "vellamy.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module);
  LoadStringA(module, 103, text, sizeof(text));
  EXPECT_STREQ("The GIMP", text);
  LoadStringA(module, 109, text, sizeof(text));
  EXPECT_STREQ("VELLAMY", text);

  HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(109));
  ASSERT_NE(nullptr, menu);
  struct Item {
    int popup;
    UINT id;
    const char* text;
  };
  const Item items[] = {{0, 105, "E&xit"},
                        {1, 129, "Background &Color"},
                        {1, 130, "&Snap Gimp Windows"},
                        {1, 137, "&Move Windows with Background"},
                        {1, 134, "Set&up"},
                        {2, 140, "&Cascade images\tShift+F5"},
                        {2, 141, "&Tile images\tShift+F4"},
                        {2, 142, "&GIMP layout"},
                        {3, 104, "&About ..."}};
  const char* popups[] = {"&File", "&Edit", "&Window", "&Help"};
  ASSERT_EQ(4, GetMenuItemCount(menu));
  for (int i = 0; i < 4; ++i) {
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(popups[i], text);
  }
  int position[4] = {};
  for (const Item& item : items) {
    HMENU popup = GetSubMenu(menu, item.popup);
    const UINT at = static_cast<UINT>(position[item.popup]++);
    EXPECT_EQ(item.id, GetMenuItemID(popup, static_cast<int>(at)));
    GetMenuStringA(popup, at, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(item.text, text);
    EXPECT_EQ(0u, GetMenuState(popup, at, MF_BYPOSITION) & (MF_CHECKED | MF_GRAYED));
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(position[i], GetMenuItemCount(GetSubMenu(menu, i)));
  DestroyMenu(menu);

  // Alt with the characters "?" and "/", both giving the About command; Shift+F5 cascades,
  // Shift+F4 tiles; Ctrl+F6, Ctrl+Shift+F6 and Ctrl+F4: next, previous and close image.
  HACCEL table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(109));
  ACCEL accel[8] = {};
  ASSERT_EQ(7, CopyAcceleratorTableA(table, accel, 8));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(FALT, accel[i].fVirt & ~0x80) << "a character code, not a virtual key";
    EXPECT_EQ(104, accel[i].cmd);
  }
  EXPECT_EQ('?', accel[0].key);
  EXPECT_EQ('/', accel[1].key);
  const ACCEL arrange[] = {{FVIRTKEY | FSHIFT, VK_F5, 140},
                           {FVIRTKEY | FSHIFT, VK_F4, 141},
                           {FVIRTKEY | FCONTROL, VK_F6, 143},
                           {FVIRTKEY | FCONTROL | FSHIFT, VK_F6, 144},
                           {FVIRTKEY | FCONTROL, VK_F4, 145}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(arrange[i].fVirt, accel[2 + i].fVirt & ~0x80) << i;
    EXPECT_EQ(arrange[i].key, accel[2 + i].key) << i;
    EXPECT_EQ(arrange[i].cmd, accel[2 + i].cmd) << i;
  }

  // Both icon groups hold 16 and 32 pixels at 4, 8 and 32 bits, and 48 at 8 and 32.
  for (int group : {107, 108}) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(group), MAKEINTRESOURCEA(14));
    ASSERT_NE(nullptr, found) << group;
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    ASSERT_EQ(8, count);
    std::vector<std::pair<int, int>> formats;
    for (int i = 0; i < count; ++i) {
      const BYTE* entry = dir + 6 + 14 * i;
      formats.push_back({entry[0], *reinterpret_cast<const WORD*>(entry + 6)});
    }
    const std::vector<std::pair<int, int>> eight = {{16, 4}, {16, 8},  {16, 32}, {32, 4},
                                                    {32, 8}, {32, 32}, {48, 8},  {48, 32}};
    EXPECT_EQ(eight, formats) << group;
  }
  for (int dialog : {103, 133}) {
    EXPECT_NE(nullptr, FindResourceA(module, MAKEINTRESOURCEA(dialog), MAKEINTRESOURCEA(5)))
        << dialog;
  }
  FreeLibrary(module);
}

TEST_F(ProgramTest, AGimpKilledAbruptlyLeavesNoEntryAndTheBackdropCloses) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  PostMessageA(run.main, kDie, 0, 0);
  EXPECT_EQ(3u, run.gimp->Wait().exitCode);
  EXPECT_EQ(0u, run.BackdropExit());
  EXPECT_EQ(3u, ReadDword("MinState")) << "the placement was saved";
}

// One backdrop serves one GIMP. One whose GIMP ended before any window came closes, as nothing
// else would close it; a GIMP started while a backdrop serves another is served by that one,
// which stays while either GIMP runs.
TEST_F(ProgramTest, EachGimpIsServedByOneBackdropAndNoBackdropOutlivesItsGimps) {
  {
    Session early;
    early.gimp = std::make_unique<TestProcess>(
        g_prefix + "bin\\gimp-2.10.exe", std::vector<std::string>{"--version=2.10", "--end-early"});
    EXPECT_EQ(4u, early.gimp->Wait().exitCode);
    EXPECT_TRUE(PumpUntil(
        [&] {
          for (const VellamyWatch::Seen& s : early.watch.SoFar()) {
            DWORD code = STILL_ACTIVE;
            if (s.parentName == "vellamy.exe" && GetExitCodeProcess(s.handle, &code) && code == 0)
              return true;
          }
          return false;
        },
        10000))
        << early.Explain();
  }
  Session first, second;
  ASSERT_NO_FATAL_FAILURE(StartGimp(first, {"--version=2.10", "--images=1"}));
  ASSERT_NO_FATAL_FAILURE(StartGimp(second, {"--version=2.10", "--images=1"}));
  EXPECT_EQ(first.backdrop, second.backdrop) << "a second backdrop stood";
  int backdrops = 0;
  for (HWND w = FindWindowExA(nullptr, nullptr, "VELLAMY", nullptr); w;
       w = FindWindowExA(nullptr, w, "VELLAMY", nullptr))
    ++backdrops;
  EXPECT_EQ(1, backdrops);
  EXPECT_TRUE(PumpUntil([&] { return IsChildOf(second.main, first.backdrop); }, 5000));
  PostMessageA(first.main, kDie, 0, 0);
  EXPECT_EQ(3u, first.gimp->Wait().exitCode);
  EXPECT_EQ(0xFFFFu, first.BackdropExit(2000)) << "the backdrop left the second GIMP";
  PostMessageA(first.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, second.gimp->Wait().exitCode) << second.Explain();
  EXPECT_EQ(0u, first.BackdropExit());
}

// GIMP may decline the close: an image has unsaved changes and its "Quit" dialog is cancelled.
// The backdrop then stays with GIMP's windows in it, and follows once GIMP really quits. The
// 2.2 profile: with an image open, no window of GIMP 2.8 or 2.10 carries the title whose
// closing quits, so only there does the close reach a GIMP that can ask.
TEST_F(ProgramTest, AGimpThatDeclinesTheCloseKeepsTheBackdropUntilItReallyQuits) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--dirty"}));
  const std::vector<HWND> adopted = run.Adopted();
  auto quitDialogs = [&] { return run.WindowsSoFar("quit"); };
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return quitDialogs().size() == 1; }, 5000)) << run.Explain();
  const HWND dialog = quitDialogs()[0];
  EXPECT_TRUE(PumpUntil([&] { return IsChildOf(dialog, run.backdrop); }, 5000));
  PostMessageA(dialog, WM_CLOSE, 0, 0);  // the dialog's Cancel
  ASSERT_TRUE(run.gimp->WaitForLine("quit declined", 5000)) << run.Explain();
  EXPECT_EQ(0xFFFFu, run.BackdropExit(1500)) << "the backdrop closed with GIMP still running";
  EXPECT_TRUE(IsWindowVisible(run.backdrop));
  for (HWND w : adopted) {
    EXPECT_TRUE(IsChildOf(w, run.backdrop));
    EXPECT_TRUE(IsWindowVisible(w));
  }
  // Asked again, GIMP quits on "Discard Changes", and the backdrop follows.
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return quitDialogs().size() == 2; }, 5000));
  PostMessageA(quitDialogs()[1], kDiscardChanges, 0, 0);
  const ProcessResult out = run.gimp->Wait();
  EXPECT_NE(std::string::npos, out.output.find("main got WM_CLOSE")) << out.output;
  EXPECT_EQ(0u, out.exitCode);
  EXPECT_EQ(0u, run.BackdropExit());
}

TEST_F(ProgramTest, ClosingTheBackdropWithNoGimpRunningReleasesTheWindowsItHolds) {
  // The windows belong to a program of GIMP's folder that is not GIMP (as a plug-in's are once
  // GIMP has gone), and no window carries the title in "GimpName": the backdrop closes at once.
  WriteString("GimpName", "GNU Image Manipulation Program");
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {}, kNotGimp));
  std::vector<RECT> before;
  for (HWND w : run.Adopted()) {
    ASSERT_TRUE(IsChildOf(w, run.backdrop));
    RECT r;
    GetWindowRect(w, &r);
    before.push_back(r);
  }
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());

  // The program lives on, its windows top-level again where they stood on the screen.
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 500));
  const std::vector<HWND> adopted = run.Adopted();
  for (size_t i = 0; i < adopted.size(); ++i) {
    ASSERT_TRUE(IsWindow(adopted[i]));
    EXPECT_TRUE(IsChildOf(adopted[i], GetDesktopWindow()));
    RECT r;
    GetWindowRect(adopted[i], &r);
    EXPECT_EQ(before[i].left, r.left);
    EXPECT_EQ(before[i].top, r.top);
    EXPECT_EQ(before[i].right - before[i].left, r.right - r.left);
  }
  PostMessageA(run.main, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait().exitCode);
}

}  // namespace
