// vellamy with the real GTK 2.24, built from source: a GIMP-like GTK program (gimplike.c) and
// GTK's own testgtk, under the app path, with the backdrop started from the plug-in folder.
#include "ProgramFixture.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

constexpr UINT kGtkPreferences = WM_APP + 7, kGtkReport = WM_APP + 8, kGtkDiscard = WM_APP + 9,
               kGtkToggleDocks = WM_APP + 10;

class GtkHostTest : public ProgramTest {
 protected:
  static void SetUpTestSuite() {
    ProgramTest::SetUpTestSuite();
    // The toolkit's DLLs beside the programs, as a GIMP installation has them in its bin.
    char gtk[MAX_PATH] = {};
    ASSERT_TRUE(GetEnvironmentVariableA("VELLAMY_GTK2_BIN", gtk, MAX_PATH)) << "no toolkit";
    const std::string from = std::string(gtk) + "\\";
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((from + "*.*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
      const std::string name = found.cFileName;
      if (name.size() > 4 && (name.substr(name.size() - 4) == ".dll" || name == "testgtk.exe")) {
        CopyFileA((from + name).c_str(), (g_prefix + "bin\\" + name).c_str(), FALSE);
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    // Under its own name it is a GTK program of GIMP's folder; under GIMP 2.10's it is GIMP.
    for (const char* name : {"gimplike.exe", "gimp-2.10.exe"}) {
      ASSERT_TRUE(CopyFileA((ProgramFolder() + "gimplike.exe").c_str(),
                            (g_prefix + "bin\\" + name).c_str(), FALSE));
    }
  }
  void SetUp() override {
    ProgramTest::SetUp();
    WriteString("GimpName", "GNU Image Manipulation Program");
  }

  // The backdrop from the plug-in folder, then the GTK program from GIMP's bin folder.
  static void Start(Session& run, const char* program = "gimplike.exe",
                    const std::vector<std::string>& args = {}) {
    ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
    run.gimp = std::make_unique<TestProcess>(g_prefix + "bin\\" + program, args);
    if (std::string(program) != "testgtk.exe") {
      ASSERT_TRUE(run.gimp->WaitForLine("reported", 60000)) << run.Explain();
      run.main = HandleFromText(run.gimp->SoFar().Field("window main", "hwnd"));
    }
  }
};

// The process's windows that GDK made, top-level or adopted, by class.
std::multimap<std::string, HWND> GdkWindowsOf(DWORD pid, HWND backdrop) {
  std::multimap<std::string, HWND> found;
  auto add = [&](HWND w) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid && ClassOf(w).rfind("gdkWindow", 0) == 0) found.emplace(ClassOf(w), w);
  };
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) add(w);
  for (HWND w : Children(backdrop)) add(w);
  return found;
}

// The places GTK reports for the managed windows, after asking for them.
std::map<std::string, Place> Report(Session& run) {
  const size_t before = run.gimp->OutputSoFar().size();
  PostMessageA(run.main, kGtkReport, 0, 0);
  PumpUntil(
      [&] {
        run.gimp->WaitForLine("\x01", 20);  // reads what it printed meanwhile
        return run.gimp->OutputSoFar().find("reported", before) != std::string::npos;
      },
      5000);
  return PlacesAfter(run.gimp->OutputSoFar().substr(before), "");
}

TEST_F(GtkHostTest, GtkWindowsAreAdoptedAloneAndStandWhereGtkPutsThemStartAfterStart) {
  std::map<std::string, Place> first;
  for (int start = 1; start <= 10; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(Start(run));
    std::map<std::string, Place> places = PlacesAfter(run.gimp->OutputSoFar(), "ready");
    ASSERT_EQ(4u, places.size()) << run.Explain();
    // At every start exactly GTK's four bordered top-levels: no COM window, menu or tooltip
    // (an adopted COM window that ends arms the backdrop's close while GIMP starts).
    std::vector<HWND> children = Children(run.backdrop);
    for (HWND w : children) EXPECT_EQ("gdkWindowToplevel", ClassOf(w)) << w;
    EXPECT_EQ(4u, children.size());
    for (const auto& [key, p] : places) EXPECT_TRUE(IsChildOf(p.hwnd, run.backdrop)) << key;
    if (start == 1) first = places;
    // The session's windows at the place and size asked, to the pixel; the image window at
    // its asked size; nothing drifts from start to start.
    for (const auto& [key, p] : places) {
      if (key == "image") {
        EXPECT_EQ(p.asked[2], p.got[2]);
        EXPECT_EQ(p.asked[3], p.got[3]);
      } else {
        EXPECT_EQ(Text(p.asked), Text(p.got)) << key;
      }
      EXPECT_EQ(Text(first[key].got), Text(p.got)) << key << " drifted";
    }
    if (start == 1) {
      // Preferences, transient for the toolbox, stays a child of the backdrop; hidden and
      // shown again it comes back in place. So do the docks after Tab twice.
      PostMessageA(run.main, kGtkPreferences, 0, 0);
      ASSERT_TRUE(run.gimp->WaitForLine("preferences shown", 5000));
      const HWND dialog = HandleFromText(run.gimp->SoFar().Field("window dialog", "hwnd"));
      PumpFor(300);
      EXPECT_TRUE(IsChildOf(dialog, run.backdrop));
      RECT shown;
      GetWindowRect(dialog, &shown);
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(dialog); }, 5000));
      PostMessageA(run.main, kGtkPreferences, 0, 0);
      ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(dialog); }, 5000));
      PumpFor(300);
      RECT again;
      GetWindowRect(dialog, &again);
      EXPECT_TRUE(EqualRect(&shown, &again));
      PostMessageA(run.main, kGtkToggleDocks, 0, 0);
      ASSERT_TRUE(run.gimp->WaitForLine("docks hidden", 5000));
      PostMessageA(run.main, kGtkToggleDocks, 0, 0);
      ASSERT_TRUE(run.gimp->WaitForLine("docks shown", 5000));
      PumpFor(300);
      std::map<std::string, Place> now = Report(run);
      now.erase("dialog");
      EXPECT_EQ(4u, now.size());
      for (const auto& [key, p] : now) EXPECT_EQ(Text(first[key].got), Text(p.got)) << key;
    }
    // Closing the backdrop asks GIMP's main window to close: it saves its session and quits.
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    ASSERT_EQ(0u, run.gimp->Wait().exitCode);
    ASSERT_EQ(0u, run.BackdropExit());
  }
}

TEST_F(GtkHostTest, MinimiseRestoreWindowMenuAndReleaseLeaveGtkRunningAndAnswering) {
  WriteString("GimpName", "no such window");  // the close then releases GIMP's windows
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  const std::map<std::string, Place> places = PlacesAfter(run.gimp->OutputSoFar(), "ready");
  std::vector<HWND> gtk;
  for (const auto& [key, p] : places) gtk.push_back(p.hwnd);
  ASSERT_EQ(4u, gtk.size());

  // Tab hides the docks; minimise and restore bring back only what GTK had shown. (GTK also
  // hides again a window shown behind its back, so this holds on GTK's side too; the stand-in's
  // test is the one that catches the backdrop showing it.)
  PostMessageA(run.main, kGtkToggleDocks, 0, 0);
  ASSERT_TRUE(run.gimp->WaitForLine("docks hidden", 5000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(
      PumpUntil([&] { return IsIconic(run.backdrop) && !IsWindowVisible(run.main); }, 5000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(run.main); }, 5000));
  PumpFor(300);
  for (const auto& [key, p] : places) {
    EXPECT_EQ(key == "image", IsWindowVisible(p.hwnd) != FALSE) << key;
  }
  PostMessageA(run.main, kGtkToggleDocks, 0, 0);
  ASSERT_TRUE(run.gimp->WaitForLine("docks shown", 5000));

  // The Window menu's last entry raises each of GTK's windows in turn.
  std::vector<HWND> raised;
  for (size_t i = 0; i < gtk.size(); ++i) {
    PostMessageA(run.backdrop, WM_COMMAND, static_cast<WPARAM>(1000 + gtk.size() - 1), 0);
    PumpFor(300);
    raised.push_back(GetWindow(run.backdrop, GW_CHILD));
  }
  std::sort(raised.begin(), raised.end());
  std::sort(gtk.begin(), gtk.end());
  EXPECT_EQ(gtk, raised);

  // Closed with no main window found: the windows go back to the desktop, GTK goes on.
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
  for (HWND w : gtk) EXPECT_TRUE(IsChildOf(w, GetDesktopWindow()));
  DWORD_PTR reply = 0;
  EXPECT_TRUE(SendMessageTimeoutA(run.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &reply));
  const std::map<std::string, Place> after = Report(run);
  EXPECT_EQ(4u, after.size());
  for (const auto& [key, p] : after) {
    if (key != "image") {
      EXPECT_EQ(Text(p.asked), Text(p.got)) << key;
    }
  }
  PostMessageA(run.main, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.gimp->Wait().exitCode);
}

// GIMP 2.10's close on the real toolkit, with "GimpName" as a new user leaves it: three images,
// the first unsaved. The clean ones close, GTK asks about the other, Discard Changes leaves the
// empty image window, whose close quits: no window given back, no dock lost.
TEST_F(GtkHostTest, ClosingTheBackdropWithImagesOpenQuitsGimp210) {
  WriteString("GimpName", "The GIMP");
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, "gimp-2.10.exe", {"--images=3", "--dirty"}));
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  ASSERT_TRUE(run.gimp->WaitForLine("window close", 15000)) << run.Explain();
  const HWND question = HandleFromText(run.gimp->SoFar().Field("window close", "hwnd"));
  EXPECT_TRUE(PumpUntil([&] { return IsChildOf(question, run.backdrop); }, 5000));
  PostMessageA(question, kGtkDiscard, 0, 0);
  const ProcessResult out = run.gimp->Wait();
  EXPECT_EQ(0u, out.exitCode);
  EXPECT_NE(std::string::npos, out.output.find("quitting released=0 docks-closed=0")) << out.output;
  EXPECT_EQ(0u, run.BackdropExit());
}

// GTK's own test program, unmodified. Its main window is a list of buttons, each opening a
// demo window: Tab and Space, as a keyboard user would, open the first eleven (with the main
// window, a dozen). Opening the twelfth, with demo windows covering the list, left testgtk
// blocked under Wine in a ScrollDC (winex11 waiting for an expose event that never came):
// reported, not tested here.
TEST_F(GtkHostTest, GtksOwnTestProgramsWindowsAreAdoptedItsPopupsAreNotAndAllAreGivenBack) {
  WriteString("GimpName", "no such window");
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, "testgtk.exe"));
  HWND main = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (HWND w : Children(run.backdrop)) {
          if (IsWindowVisible(w)) main = w;
        }
        return main != nullptr;
      },
      30000));
  PumpFor(3000);  // keys posted before GTK has settled in are lost
  for (int i = 0; i < 11; ++i) {
    // Each demo window takes the activation: without it back, the next Tab is lost.
    SetForegroundWindow(main);
    PumpFor(200);
    PostKey(main, VK_TAB);
    PumpFor(300);
    PostKey(main, VK_SPACE);
    PumpFor(1000);
  }

  std::multimap<std::string, HWND> gdk = GdkWindowsOf(run.gimp->Id(), run.backdrop);
  size_t shown = 0, popups = 0;
  for (const auto& [kind, w] : gdk) {
    if (kind == "gdkWindowTemp") {
      ++popups;  // GTK's menus, tooltips and drag icons, shown or not
      EXPECT_TRUE(IsChildOf(w, GetDesktopWindow())) << w;
    } else if (IsWindowVisible(w)) {
      ++shown;
      EXPECT_TRUE(IsChildOf(w, run.backdrop)) << kind << " " << w;
    }
  }
  std::printf("testgtk: %zu windows shown and adopted, %zu popup windows left alone\n", shown,
              popups);
  EXPECT_EQ(12u, shown);
  EXPECT_GE(popups, 1u);

  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
  for (const auto& [kind, w] : gdk) {
    if (IsWindow(w)) {
      EXPECT_TRUE(IsChildOf(w, GetDesktopWindow())) << kind << " " << w;
    }
  }
  DWORD_PTR reply = 0;
  EXPECT_TRUE(SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &reply));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 0));
  TerminateProcess(run.gimp->Handle(), 0);
}

}  // namespace
