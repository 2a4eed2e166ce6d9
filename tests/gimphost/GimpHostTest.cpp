// vellamy with the real GIMP 2.10, built from source: GIMP started as a user starts it, the
// backdrop started by GIMP from plug-ins\vellamy\ through the real libgimp, a fresh GIMP profile
// in multi-window mode for each test.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ProgramFixture.h"

namespace {

constexpr DWORD kGimpStart = 240000;  // a first start under Wine builds GIMP's font cache

std::string g_gimp;  // GIMP's installation folder, with a trailing backslash

// The toolbox, a dock and the empty image window side by side. Their dockables are ones
// without a scrolled list: under Wine, GDK's ScrollDC on a window adopted by another process
// can wait for ever, and a list that scrolls while GIMP starts hangs it there (README).
constexpr const char* kSessionrc = R"((session-info "toplevel"
    (factory-entry "gimp-toolbox-window")
    (position 10 10)
    (size 200 520)
    (open-on-exit)
    (gimp-toolbox
        (side left)))
(session-info "toplevel"
    (factory-entry "gimp-empty-image-window")
    (position 230 10)
    (size 320 400)
    (open-on-exit))
(session-info "toplevel"
    (factory-entry "gimp-dock-window")
    (position 570 10)
    (size 220 520)
    (open-on-exit)
    (gimp-dock
        (book
            (current-page 0)
            (dockable "gimp-cursor-view"
                (tab-style automatic)))))
(hide-docks no)
(single-window-mode no)
)";

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) all.push_back(w);
  return all;
}

std::string ClassOf(HWND w) {
  char name[64] = {};
  GetClassNameA(w, name, sizeof(name));
  return name;
}

std::string TitleOf(HWND w) {
  char title[256] = {};
  GetWindowTextA(w, title, sizeof(title));
  return title;
}

DWORD ProcessOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A 1x1 RGB image of one layer in XCF's first version: GIMP opens it without any plug-in.
void WriteTinyXcf(const std::string& path) {
  const unsigned words[] = {1, 1, 0,  0, 0, 46, 0, 0,   1, 1, 0, 2,   0x78000000,
                            0, 0, 80, 0, 1, 1,  3, 100, 0, 1, 1, 116, 0};
  std::string data = "gimp xcf file";
  data += '\0';
  for (unsigned w : words) {
    // The name's two bytes ("x" and its terminator) sit where a word would.
    if (w == 0x78000000) {
      data += "x";
      data += '\0';
      continue;
    }
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((w >> shift) & 0xFF);
  }
  data += std::string("\x80\x80\x80", 3);
  std::ofstream(path, std::ios::binary) << data;
}

// A key as the keyboard gives it, posted to one of GTK's windows.
void PostKey(HWND window, UINT vk) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageA(window, WM_KEYDOWN, vk, scan | 1);
  PostMessageA(window, WM_KEYUP, vk, scan | 1 | (3u << 30));
}

// The key with Ctrl held: GDK reads the modifiers from the keyboard state, which a posted key
// does not change, so the state shared by attached input queues holds Ctrl meanwhile.
void PostCtrlKey(HWND window, UINT vk) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
  SetKeyboardState(keys);
  PostKey(window, vk);
  PumpFor(1000);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
  SetKeyboardState(keys);
  AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
}

// Whether each adopted window's thread still handles messages.
std::string Answers(HWND backdrop) {
  std::string out;
  for (HWND w : Children(backdrop)) {
    DWORD_PTR reply = 0;
    const bool answers = SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &reply);
    out += HandleText(w) + (answers ? " answers\n" : " does not answer\n");
  }
  return out;
}

class GimpHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char prefix[MAX_PATH] = {};
    ASSERT_TRUE(GetEnvironmentVariableA("VELLAMY_GIMP2_PREFIX", prefix, MAX_PATH)) << "no GIMP";
    g_gimp = std::string(prefix) + "\\";
    // The layout of a plug-in in a folder of its own, whose hook library GIMP then leaves alone.
    const std::string folder = g_gimp + "lib\\gimp\\2.0\\plug-ins\\vellamy\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    // vmyprobe.exe stands for a plug-in's dialog: GIMP runs only vellamy.exe from this folder.
    for (const char* file : {"vellamy.exe", "vellamyhook.dll", "vmyprobe.exe"}) {
      ASSERT_TRUE(CopyFileA((ProgramFolder() + file).c_str(), (folder + file).c_str(), FALSE));
    }
    // GIMP gives its plug-ins its bin folder through SetDllDirectory, which Wine's child
    // processes do not inherit: the PATH stands in for it.
    char path[8192] = {};
    GetEnvironmentVariableA("PATH", path, sizeof(path));
    SetEnvironmentVariableA("PATH", (g_gimp + "bin;" + path).c_str());
  }
  // The shared GIMP prefix is left as it was found, for GIMP's other users.
  static void TearDownTestSuite() {
    const std::string folder = g_gimp + "lib\\gimp\\2.0\\plug-ins\\vellamy\\";
    for (const char* file : {"vellamy.exe", "vellamyhook.dll", "vmyprobe.exe"})
      DeleteFileA((folder + file).c_str());
    RemoveDirectoryA(folder.c_str());
  }
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    profile = MakeTempFolder("vmygimp");
    std::ofstream(profile + "sessionrc") << kSessionrc;
    SetEnvironmentVariableA("GIMP2_DIRECTORY", profile.c_str());
  }

  // GIMP as a user starts it; returns once its toolbox stands in the backdrop.
  void Start(Session& run, const std::vector<std::string>& args = {}) {
    const ULONGLONG began = GetTickCount64();
    run.gimp = std::make_unique<TestProcess>(g_gimp + "bin\\gimp-2.10.exe", args);
    ASSERT_TRUE(run.gimp->Started());
    ASSERT_TRUE(PumpUntil([&] { return run.FindBackdrop(); }, kGimpStart)) << run.Explain();
    ASSERT_TRUE(PumpUntil([&] { return (run.main = Toolbox(run)) != nullptr; }, 120000))
        << run.Explain() << Answers(run.backdrop);
    std::printf("GIMP's toolbox adopted %llu ms after GIMP's start\n", GetTickCount64() - began);
  }

  static HWND Toolbox(const Session& run) { return Titled(run, "Toolbox"); }

  // The first shown window in the backdrop whose title begins with title.
  static HWND Titled(const Session& run, const char* title) {
    for (HWND w : Children(run.backdrop)) {
      if (TitleOf(w).rfind(title, 0) == 0 && IsWindowVisible(w)) return w;
    }
    return nullptr;
  }

  // The plug-in GIMP started: the vellamy.exe whose parent is GIMP.
  static HANDLE PlugIn(Session& run) {
    for (const VellamyWatch::Seen& seen : run.watch.SoFar()) {
      if (seen.parent == run.gimp->Id()) return seen.handle;
    }
    return nullptr;
  }

  // Closing the backdrop closes GIMP, which saves its session and ends.
  static void CloseAndWait(Session& run) {
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.gimp->Wait(120000).exitCode) << run.Explain();
    EXPECT_EQ(0u, run.BackdropExit()) << run.Explain();
  }

  std::string profile;
};

// Where GIMP's sessionrc puts one factory entry's window: x, y, width, height.
std::vector<int> SessionPlace(const std::string& sessionrc, const std::string& entry) {
  const size_t at = sessionrc.find("(factory-entry \"" + entry + "\")");
  if (at == std::string::npos) return {};
  int x = 0, y = 0, w = 0, h = 0;
  const size_t position = sessionrc.find("(position ", at), size = sessionrc.find("(size ", at);
  if (position == std::string::npos || size == std::string::npos) return {};
  std::sscanf(sessionrc.c_str() + position, "(position %d %d)", &x, &y);
  std::sscanf(sessionrc.c_str() + size, "(size %d %d)", &w, &h);
  return {x, y, w, h};
}

// A window's outer rectangle in the backdrop: x, y, width, height.
std::vector<int> PlaceOf(HWND w, HWND backdrop) {
  const RECT r = ClientRectIn(w, backdrop);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

TEST_F(GimpHostTest, GimpStartsTheBackdropAtEachStartAndThePlugInEndsWithZero) {
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(Start(run));
    EXPECT_TRUE(IsChildOf(run.main, run.backdrop));
    // The plug-in hands over to GIMP once the backdrop stands, so it has ended by now.
    const HANDLE plugIn = PlugIn(run);
    ASSERT_NE(nullptr, plugIn) << run.Explain();
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(plugIn, &code) && code == 0) << code << run.Explain();
    // How long GIMP's start waited on the plug-in: the backdrop's start and GIMP's query.
    FILETIME created, ended, kernel, user;
    if (GetProcessTimes(plugIn, &created, &ended, &kernel, &user)) {
      const auto ticks = [](FILETIME t) {
        return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime;
      };
      std::printf("the plug-in ran %llu ms\n", (ticks(ended) - ticks(created)) / 10000);
    }
    // Registering nothing, the plug-in is left out of pluginrc and so queried again next time.
    const std::string pluginrc = ReadFile(profile + "pluginrc");
    EXPECT_NE(std::string::npos, pluginrc.find("protocol-version")) << pluginrc;
    EXPECT_EQ(std::string::npos, pluginrc.find("vellamy")) << pluginrc;
    CloseAndWait(run);
  }
}

// With an image opened from GIMP's command line: the toolbox, the dock and the image window
// stand in the backdrop, and nothing else of GIMP's does. Closing the backdrop with the
// image open still ends GIMP, which has nothing to save.
TEST_F(GimpHostTest, ToolboxDockAndImageWindowAreAdoptedAndNoHelperWindowIs) {
  const std::string image = profile + "tiny.xcf";
  WriteTinyXcf(image);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {image}));
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") && Titled(run, "tiny.xcf"); }, 60000))
      << run.Explain();
  PumpFor(3000);  // what GIMP shows after its windows, such as tips, has its time to come
  for (HWND w : Children(run.backdrop)) {
    EXPECT_EQ("gdkWindowToplevel", ClassOf(w)) << TitleOf(w);
    EXPECT_EQ(run.gimp->Id(), ProcessOf(w)) << TitleOf(w);
  }
  EXPECT_EQ(3u, Children(run.backdrop).size()) << run.Explain();
  // F10 opens the image window's first menu: a borderless popup, which stays on the desktop.
  PostKey(Titled(run, "tiny.xcf"), VK_F10);
  HWND menu = nullptr;
  EXPECT_TRUE(PumpUntil(
      [&] {
        for (HWND w = GetTopWindow(nullptr); w && !menu; w = GetWindow(w, GW_HWNDNEXT)) {
          if (ProcessOf(w) == run.gimp->Id() && IsWindowVisible(w) &&
              ClassOf(w).rfind("gdkWindowTemp", 0) == 0)
            menu = w;
        }
        return menu != nullptr;
      },
      10000))
      << run.Explain();
  EXPECT_EQ(3u, Children(run.backdrop).size()) << run.Explain();
  PostKey(Titled(run, "tiny.xcf"), VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(menu); }, 10000)) << "the menu stays open";
  const HWND proxy = FindWindowA("GimpWin32UniqueHandler", "GimpProxy");
  EXPECT_TRUE(proxy && GetAncestor(proxy, GA_PARENT) == GetDesktopWindow());
  CloseAndWait(run);
}

// GIMP saves where its toolbox and dock stand at each quit (the frame's corner on the screen
// and the client size) and puts them there at the next start: over three starts the places
// GIMP saves, and the places the windows take, must not move by a pixel.
TEST_F(GimpHostTest, ToolboxAndDockComeBackToTheSamePlaceOverThreeStarts) {
  auto place = [](HWND w) {
    RECT frame, client;
    GetWindowRect(w, &frame);
    GetClientRect(w, &client);
    return std::vector<int>{frame.left, frame.top, client.right, client.bottom};
  };
  std::vector<int> first;
  for (int start = 1; start <= 3; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(Start(run));
    HWND dock = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dock = Titled(run, "Pointer")) != nullptr; }, 60000));
    PumpFor(2000);  // GIMP's last moves of its windows as they come up
    std::vector<int> shown = place(run.main), dockShown = place(dock);
    shown.insert(shown.end(), dockShown.begin(), dockShown.end());
    CloseAndWait(run);
    const std::string sessionrc = ReadFile(profile + "sessionrc");
    std::vector<int> saved = SessionPlace(sessionrc, "gimp-toolbox-window"),
                     dockSaved = SessionPlace(sessionrc, "gimp-dock-window");
    saved.insert(saved.end(), dockSaved.begin(), dockSaved.end());
    EXPECT_EQ(saved, shown) << sessionrc;
    if (start == 1) first = saved;
    EXPECT_EQ(first, saved);
  }
}

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
  PumpFor(1000);
  SendMessageA(run.backdrop, WM_HSCROLL, SB_PAGERIGHT, 0);
  SendMessageA(run.backdrop, WM_VSCROLL, SB_LINEDOWN, 0);
  for (size_t i = 0; i < windows.size(); ++i) {
    const std::vector<int> now = PlaceOf(windows[i], run.backdrop);
    EXPECT_EQ(before[i][0] - 10, now[0]) << TitleOf(windows[i]);
    EXPECT_EQ(before[i][1] - 10, now[1]) << TitleOf(windows[i]);
  }
  PumpFor(2000);
  EXPECT_EQ(std::string::npos, Answers(run.backdrop).find("does not answer"))
      << Answers(run.backdrop);
  CloseAndWait(run);
}

// A plug-in's dialog comes from another process in GIMP's folder, and is adopted; the same
// program started from outside that folder is any other program's, and is left alone.
TEST_F(GimpHostTest, ADialogOfAProgramInGimpsFolderIsAdoptedAndOneFromElsewhereIsNot) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  const std::string outside = profile + "vmyprobe.exe";
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "vmyprobe.exe").c_str(), outside.c_str(), FALSE));
  const HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "vmygimphostgo");
  auto dialog = [&](const std::string& program) {
    auto probe = std::make_unique<TestProcess>(
        program, std::vector<std::string>{"tool", "pumpwait=vmygimphostgo"});
    EXPECT_TRUE(probe->WaitForLine("waiting", 30000)) << probe->OutputSoFar();
    const std::string& out = probe->OutputSoFar();
    const size_t at = out.find("hwnd=");
    const HWND w = at == std::string::npos
                       ? nullptr
                       : reinterpret_cast<HWND>(std::strtoull(out.c_str() + at + 5, nullptr, 16));
    return std::make_pair(std::move(probe), w);
  };
  auto inside = dialog(g_gimp + "lib\\gimp\\2.0\\plug-ins\\vellamy\\vmyprobe.exe");
  auto other = dialog(outside);
  EXPECT_TRUE(IsChildOf(inside.second, run.backdrop)) << inside.first->OutputSoFar();
  EXPECT_EQ(GetDesktopWindow(), GetAncestor(other.second, GA_PARENT)) << other.first->OutputSoFar();
  SetEvent(go);
  inside.first->Wait();
  other.first->Wait();
  CloseHandle(go);
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

TEST_F(GimpHostTest, KilledGimpClosesTheBackdrop) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  TerminateProcess(run.gimp->Handle(), 9);
  EXPECT_EQ(0u, run.BackdropExit()) << run.Explain();
}

}  // namespace
