// The real GIMP 2.10 as the backdrop's host: GIMP started as a user starts it, the backdrop
// started by GIMP from plug-ins\vellamy\ through the real libgimp, a fresh GIMP profile in
// multi-window mode for each test.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ProgramFixture.h"

inline constexpr DWORD kGimpStart = 240000;  // a first start under Wine builds GIMP's font cache

inline std::string g_gimp;  // GIMP's installation folder, with a trailing backslash

// The toolbox, a dock and the empty image window side by side; the dock holds one small
// dockable, so GIMP's first start stays short.
inline constexpr const char* kSessionrc = R"((session-info "toplevel"
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

// GIMP 2.10's default docks (its etc/sessionrc) in multi-window mode: Tool Options, Device
// Status, Undo History and Images under the toolbox; Brushes, Patterns, Fonts, Document History
// and Layers, Channels, Paths in a dock. Their lists scroll.
inline constexpr const char* kDefaultDocksSessionrc = R"((session-info "toplevel"
    (factory-entry "gimp-toolbox-window")
    (position 10 10)
    (size 220 700)
    (open-on-exit)
    (gimp-toolbox
        (side left)
        (book
            (position 330)
            (dockable "gimp-tool-options")
            (dockable "gimp-device-status")
            (dockable "gimp-undo-history")
            (dockable "gimp-image-list"))))
(session-info "toplevel"
    (factory-entry "gimp-empty-image-window")
    (position 530 10)
    (size 600 500)
    (open-on-exit))
(session-info "toplevel"
    (factory-entry "gimp-dock-window")
    (position 250 10)
    (size 260 700)
    (open-on-exit)
    (gimp-dock
        (book
            (dockable "gimp-brush-grid")
            (dockable "gimp-pattern-grid")
            (dockable "gimp-font-list")
            (dockable "gimp-document-list"))
        (book
            (position 360)
            (dockable "gimp-layer-list")
            (dockable "gimp-channel-list")
            (dockable "gimp-vectors-list"))))
(hide-docks no)
(single-window-mode no)
)";

std::string TitleOf(HWND w);
DWORD ProcessOf(HWND w);
std::string ReadFile(const std::string& path);
// An RGB image in XCF's first version, which GIMP opens without any plug-in: its left half in
// one colour, its right half in another (0xRRGGBB).
void WriteXcf(const std::string& path, int width, int height, unsigned left, unsigned right);
// A 1x1 grey one.
void WriteTinyXcf(const std::string& path);
// The key with Ctrl held: GDK reads the modifiers from the keyboard state, which a posted key
// does not change, so the state shared by attached input queues holds Ctrl meanwhile.
void PostCtrlKey(HWND window, UINT vk);
// Whether each adopted window's thread still handles messages.
std::string Answers(HWND backdrop);
// Whether the backdrop holds windows and every one's thread handles messages.
bool AllAnswer(HWND backdrop);
// Pumps until the backdrop's windows have kept their places for a second (at most 20 s): GIMP
// moves its windows for a while as they come up. False when they never settled.
bool Settled(HWND backdrop);
// The screen where a window's client area stands, as a screenshot shows it: only the part its
// parent's client area shows, on the screen. Nothing is repainted first: what a user sees.
std::vector<DWORD> PixelsOnScreen(HWND w);
// How many colours it shows there: a window that draws nothing shows one or two.
size_t ColoursOnScreen(HWND w);
// How many of the pixels are in a colour (0xRRGGBB).
size_t CountColour(const std::vector<DWORD>& pixels, unsigned colour);
// Where GIMP's sessionrc puts one factory entry's window: x, y, width, height.
std::vector<int> SessionPlace(const std::string& sessionrc, const std::string& entry);
// A window's outer rectangle in the backdrop: x, y, width, height.
std::vector<int> PlaceOf(HWND w, HWND backdrop);
// A window's place as GIMP saves it: the frame's corner on the screen, the client size.
std::vector<int> SavedPlaceOf(HWND w);

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

  // GIMP started with one red image, one.xcf, and a Script-Fu command (-b) that opens a
  // plug-in's dialog; true once the image and the dialog titled so stand in the backdrop.
  bool StartWithDialog(Session& run, const std::string& command, const char* title, HWND* image,
                       HWND* dialog) {
    WriteXcf(profile + "one.xcf", 300, 200, 0xFF0000, 0xFF0000);
    Start(run, {profile + "one.xcf", "-b", command});
    return !HasFatalFailure() &&
           PumpUntil(
               [&] { return (*image = Titled(run, "one.xcf")) && (*dialog = Titled(run, title)); },
               180000);
  }

  // GIMP started with the images given, each titled in the backdrop; with change, each is
  // changed (select all, clear), which GIMP marks with a '*' before its title.
  std::vector<HWND> StartWithImages(Session& run, const std::vector<std::string>& names,
                                    bool change);

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
