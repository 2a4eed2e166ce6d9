// The backdrop with GIMP as it runs on real Windows installations: windows GIMP hides itself,
// and GIMP installed for one user below an account folder.
#include "ProgramFixture.h"

namespace {

bool ShownItself(HWND window) { return (GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) != 0; }

TEST_F(ProgramTest, AWindowGimpHidItselfStaysHiddenThroughRestoreAndRelease) {
  Session run;
  // Released only when no GIMP runs: the stand-in runs as another program of GIMP's folder.
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {}, kNotGimp));
  ASSERT_GE(run.images.size(), 2u);
  HWND hidden = run.images[0];
  std::vector<HWND> others = run.Adopted();
  others.erase(others.begin());
  ShowWindow(hidden, SW_HIDE);  // as GIMP hides a dock or dialog it keeps for later
  auto othersShown = [&](bool shown) {
    for (HWND w : others) {
      if (ShownItself(w) != shown) return false;
    }
    return true;
  };
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) && othersShown(false); }, 5000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsIconic(run.backdrop) && othersShown(true); }, 5000));
  EXPECT_FALSE(ShownItself(hidden));
  // A plain resize shows nothing either.
  SetWindowPos(run.backdrop, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
  PumpFor(300);
  EXPECT_FALSE(ShownItself(hidden));

  // Closed while minimised with no GIMP running, the backdrop gives the windows back to the
  // desktop: those it hid are shown again, the one the program hid is not.
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) && othersShown(false); }, 5000));
  WriteString("GimpName", "no such window");
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
  EXPECT_TRUE(othersShown(true));
  EXPECT_FALSE(ShownItself(hidden));
  EXPECT_EQ(GetDesktopWindow(), GetAncestor(hidden, GA_PARENT));
  PostMessageA(run.main, WM_CLOSE, 0, 0);
  run.gimp->Wait();
}

// GIMP installed for one user: C:\Users\<account>\AppData\Local\Programs\GIMP 2, with "lib" in
// the account's name. Another program of that user must keep its windows.
TEST_F(ProgramTest, APerUserGimpUnderAnAccountNamedWithLibAdoptsGimpsWindowsAlone) {
  const std::string root = MakeTempFolder("vmyuser");
  const std::string programs = root + "Alibek\\AppData\\Local\\Programs\\";
  const std::string prefix = programs + "GIMP 2\\";
  const std::string plugins = prefix + "lib\\gimp\\2.0\\plug-ins\\";
  for (const std::string& folder :
       {root + "Alibek", root + "Alibek\\AppData", root + "Alibek\\AppData\\Local", programs,
        programs + "Other", prefix, prefix + "bin", prefix + "lib", prefix + "lib\\gimp",
        prefix + "lib\\gimp\\2.0", plugins}) {
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  const std::string bin = ProgramFolder();
  for (const char* file : {"gimp-2.0.exe", "libgimp-2.0-0.dll", "libgdk-win32-2.0-0.dll"}) {
    ASSERT_TRUE(CopyFileA((bin + file).c_str(), (prefix + "bin\\" + file).c_str(), FALSE));
  }
  for (const char* file : {"vellamy.exe", "vellamyhook.dll"}) {
    ASSERT_TRUE(CopyFileA((bin + file).c_str(), (plugins + file).c_str(), FALSE));
  }
  const std::string other = programs + "Other\\vmyprobe.exe";
  ASSERT_TRUE(CopyFileA((bin + "vmyprobe.exe").c_str(), other.c_str(), FALSE));

  Session run;
  run.gimp =
      std::make_unique<TestProcess>(prefix + "bin\\gimp-2.0.exe", std::vector<std::string>{});
  ASSERT_TRUE(run.gimp->WaitForLine("ready", 60000)) << run.Explain();
  run.main = HandleFromText(run.gimp->SoFar().Field("window main", "hwnd"));
  ASSERT_TRUE(run.FindBackdrop()) << run.Explain();
  EXPECT_TRUE(IsChildOf(run.main, run.backdrop));
  TestProcess probe(other, {"bordered"});
  ASSERT_TRUE(probe.Started());
  ProcessResult seen = probe.Wait();
  EXPECT_EQ("0", seen.Field("created bordered", "parent")) << seen.output;

  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
  RemoveTree(root);
}

TEST_F(ProgramTest, ACommandFromAControlRaisesNoWindowWhateverItsId) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  auto top = [&] { return GetWindow(run.backdrop, GW_CHILD); };
  const HWND before = top();
  const HWND bottom = GetWindow(before, GW_HWNDLAST);
  ASSERT_NE(before, bottom);
  // The list is newest first, so some id from 1000 on names the bottom window; with a control
  // handle as lParam none of them may raise it.
  const UINT count = static_cast<UINT>(run.Adopted().size()) + 8;
  for (UINT id = 1000; id < 1000 + count; ++id) {
    SendMessageA(run.backdrop, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(run.main));
  }
  PumpFor(300);
  EXPECT_EQ(before, top());
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

// A notice handled twice (its send timed out while the backdrop was handling it, then its post
// arrived) lists the window twice; it must still move once.
TEST_F(ProgramTest, AWindowListedTwiceScrollsOnce) {
  WriteDword("MinState", SW_SHOWNORMAL);
  WriteDword("WindowW", 300);  // small, so GIMP's windows reach past the bottom and can scroll
  WriteDword("WindowH", 200);
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  const std::vector<HWND> adopted = run.Adopted();
  SendMessageA(run.backdrop, WM_USER + 1, 0, reinterpret_cast<LPARAM>(run.main));  // UM_ADOPT
  std::vector<LONG> tops;
  for (HWND w : adopted) tops.push_back(ClientRectIn(w, run.backdrop).top);
  SendMessageA(run.backdrop, WM_VSCROLL, SB_LINEDOWN, 0);
  for (size_t i = 0; i < adopted.size(); ++i) {
    EXPECT_EQ(tops[i] - 10, ClientRectIn(adopted[i], run.backdrop).top) << i;
  }
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

// Closed from the taskbar while minimised, the backdrop gives GIMP's windows back where they
// stood in its restored client area, not near (-32000, -32000).
TEST_F(ProgramTest, WindowsReleasedFromAMinimisedBackdropLandWhereTheyStoodInIt) {
  WriteDword("MinState", SW_SHOWNORMAL);
  WriteDword("WindowX", 100);
  WriteDword("WindowY", 80);
  WriteDword("WindowW", 900);
  WriteDword("WindowH", 700);
  WriteString("GimpName", "no such window");
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {}, kNotGimp));  // no GIMP runs: the close releases
  POINT origin = {0, 0};
  ClientToScreen(run.backdrop, &origin);
  const std::vector<HWND> adopted = run.Adopted();
  std::vector<RECT> places;
  for (HWND w : adopted) places.push_back(ClientRectIn(w, run.backdrop));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) != FALSE; }, 5000));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
  // Where it stood, or, for a window that would reach past the screen (GIMP's docks stand at
  // the right), pulled inside the work area.
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  size_t exact = 0;
  for (size_t i = 0; i < adopted.size(); ++i) {
    RECT r, want = places[i];
    GetWindowRect(adopted[i], &r);
    OffsetRect(&want, origin.x, origin.y);
    EXPECT_TRUE(r.left >= work.left && r.top >= work.top && r.right <= work.right &&
                r.bottom <= work.bottom)
        << i;
    if (want.right <= work.right && want.bottom <= work.bottom) {
      ++exact;
      EXPECT_EQ(want.left, r.left) << i;
      EXPECT_EQ(want.top, r.top) << i;
    }
  }
  EXPECT_GE(exact, 3u) << "the toolbox and the image windows fit where they stood";
  PostMessageA(run.main, WM_CLOSE, 0, 0);
  run.gimp->Wait();
}

// Any window of another process that stands in the backdrop is given back at its close, listed
// or not (a notice the backdrop refused, or a window put there by another program).
TEST_F(ProgramTest, ClosingReleasesEveryChildWindowEvenOneTheListDoesNotHold) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
  TestProcess other(
      ProgramFolder() + "vmyprobe.exe",
      {"bordered", "setparent=0:" + HandleText(run.backdrop), "pumpwait=vmyunlisted", "report=0"});
  ASSERT_TRUE(other.WaitForLine("waiting", 10000)) << other.OutputSoFar();
  HWND stranger = HandleFromText(other.SoFar().Field("created bordered", "hwnd"));
  ASSERT_TRUE(IsChildOf(stranger, run.backdrop)) << other.OutputSoFar();
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
  HANDLE go = OpenEventA(EVENT_MODIFY_STATE, FALSE, "vmyunlisted");
  SetEvent(go);
  CloseHandle(go);
  ProcessResult seen = other.Wait();
  EXPECT_EQ("1", seen.Field("report", "exists")) << seen.output;
  EXPECT_EQ("0", seen.Field("report", "parent")) << seen.output;
}

}  // namespace
