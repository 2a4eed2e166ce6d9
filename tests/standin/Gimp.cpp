// A stand-in for GIMP 2.x on Windows, as far as vellamy can see it: it lives in
// <prefix>\bin\gimp-2.0.exe, starts <prefix>\lib\gimp\2.0\plug-ins\vellamy.exe with "-gimp"
// and GIMP's protocol arguments, waits for that query run as GIMP does, and then opens a main
// window ("gdkWindowToplevel", "The GIMP"), a dock (a bordered tool window owned by a hidden
// "gdkWindowTemp" window), image windows and borderless popups. WM_CLOSE on the main window
// closes every window and ends the program. Posted messages let a test open and close windows
// or tool windows, or kill the program abruptly. Everything it does is printed on its standard
// output.
//
// Arguments: --images=N (default 2), --title=TEXT (the main window's title),
//            --no-plugin (do not start the plug-in), --far (two more image windows, beyond
//            a 1280 x 1024 screen, so the backdrop's scroll bars have a range).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "StandinGimp.h"

namespace {

HWND g_main = nullptr;
HWND g_owner = nullptr;
std::vector<HWND> g_images;
std::vector<HWND> g_others;  // dock and popups
std::vector<HWND> g_tools;
int g_imageCount = 0;

void Say(const char* kind, HWND window) {
  std::printf("window %s hwnd=%llx\n", kind,
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  std::fflush(stdout);
}

void SayTime(const char* what, ULONGLONG start) {
  std::printf("%s ms=%llu\n", what, GetTickCount64() - start);
  std::fflush(stdout);
}

HWND OpenImage() {
  const ULONGLONG start = GetTickCount64();
  const std::string title = "Untitled-" + std::to_string(++g_imageCount) + " - GIMP";
  HWND image =
      CreateWindowExA(0, "gdkWindowToplevel", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                      100 + 40 * g_imageCount, 80 + 30 * g_imageCount, 320, 240, nullptr, nullptr,
                      GetModuleHandleA(nullptr), nullptr);
  SayTime("created image", start);  // creation includes the hook's notice to the backdrop
  g_images.push_back(image);
  Say("image", image);
  return image;
}

HWND OpenTool() {
  // A child-styled tool window: the hook reports the end only of windows whose parent (not
  // owner) is the backdrop.
  HWND tool = CreateWindowExA(WS_EX_TOOLWINDOW, "gdkWindowToplevel", "Tool Options",
                              WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 60, 360, 200, 150,
                              g_owner, nullptr, GetModuleHandleA(nullptr), nullptr);
  g_tools.push_back(tool);
  Say("tool", tool);
  return tool;
}

HWND OpenPopup() {
  HWND popup =
      CreateWindowExA(WS_EX_TOOLWINDOW, "gdkWindowTempShadow", "", WS_POPUP | WS_VISIBLE, 300, 300,
                      120, 20, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  g_others.push_back(popup);
  Say("popup", popup);
  return popup;
}

void CloseEverything() {
  for (HWND w : g_images) DestroyWindow(w);
  for (HWND w : g_others) DestroyWindow(w);
  for (HWND w : g_tools) DestroyWindow(w);
  g_images.clear();
  g_others.clear();
  g_tools.clear();
  DestroyWindow(g_main);
  DestroyWindow(g_owner);
}

LRESULT CALLBACK GimpProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == g_main) {
    switch (message) {
      case WM_CLOSE:
        std::printf("main got WM_CLOSE\n");
        std::fflush(stdout);
        CloseEverything();
        PostQuitMessage(0);
        return 0;
      case kOpenImage:
        OpenImage();
        return 0;
      case kCloseImage:
        if (!g_images.empty()) {
          DestroyWindow(g_images.back());
          g_images.pop_back();
        }
        return 0;
      case kOpenPopup:
        OpenPopup();
        return 0;
      case kOpenTool:
        OpenTool();
        return 0;
      case kCloseTool:
        if (!g_tools.empty()) {
          DestroyWindow(g_tools.back());
          g_tools.pop_back();
          std::printf("tool closed\n");
          std::fflush(stdout);
        }
        return 0;
      case kDie:
        std::printf("dying\n");
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Register(const char* name) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = GimpProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  RegisterClassA(&windowClass);
}

// Runs the plug-in as GIMP does at start-up: "-query", waiting until it is done.
void QueryPlugin() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string prefix(path);
  prefix = prefix.substr(0, prefix.find_last_of('\\'));  // ...\bin
  const std::string bin = prefix;
  prefix = prefix.substr(0, prefix.find_last_of('\\') + 1);
  const std::string plugin = prefix + "lib\\gimp\\2.0\\plug-ins\\vellamy.exe";
  // GIMP's plug-ins find libgimp in GIMP's bin folder.
  char oldPath[8192] = {};
  GetEnvironmentVariableA("PATH", oldPath, sizeof(oldPath));
  SetEnvironmentVariableA("PATH", (bin + ";" + oldPath).c_str());
  std::string commandLine = "\"" + plugin + "\" -gimp 3 4 -query 0";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(plugin.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("plugin not started error=%lu\n", GetLastError());
    std::fflush(stdout);
    return;
  }
  // GIMP waits for the query however long it takes; under emulation that is minutes.
  WaitForSingleObject(process.hProcess, 600000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("plugin exit=%lu\n", code);
  std::fflush(stdout);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int images = 2;
  std::string title = "The GIMP";
  bool plugin = true;
  bool farImage = false;
  for (int i = 1; i < __argc; ++i) {
    if (std::strncmp(__argv[i], "--images=", 9) == 0) images = std::atoi(__argv[i] + 9);
    if (std::strncmp(__argv[i], "--title=", 8) == 0) title = __argv[i] + 8;
    if (std::strcmp(__argv[i], "--no-plugin") == 0) plugin = false;
    if (std::strcmp(__argv[i], "--far") == 0) farImage = true;
  }
  if (plugin) QueryPlugin();

  Register("gdkWindowToplevel");
  Register("gdkWindowTemp");
  Register("gdkWindowTempShadow");
  // Docks and the toolbox skip the taskbar: GDK has them owned by a hidden 1 x 1 window.
  g_owner = CreateWindowExA(0, "gdkWindowTemp", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                            instance, nullptr);
  g_main = CreateWindowExA(0, "gdkWindowToplevel", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           40, 40, 400, 300, nullptr, nullptr, instance, nullptr);
  Say("main", g_main);
  HWND dock = CreateWindowExA(WS_EX_TOOLWINDOW, "gdkWindowToplevel", "Layers",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 40, 200, 400, g_owner, nullptr,
                              instance, nullptr);
  g_others.push_back(dock);
  Say("dock", dock);
  for (int i = 0; i < images; ++i) OpenImage();
  if (farImage) {
    // Right of and below a 1280 x 1024 screen, clear of the backdrop's scroll bars.
    const POINT places[] = {{1320, 100}, {100, 1060}};
    for (const POINT& at : places) {
      HWND image =
          CreateWindowExA(0, "gdkWindowToplevel", at.x > 1000 ? "Right - GIMP" : "Below - GIMP",
                          WS_OVERLAPPEDWINDOW | WS_VISIBLE, at.x, at.y, 300, 300, nullptr, nullptr,
                          instance, nullptr);
      g_images.push_back(image);
      Say("image", image);
    }
  }
  OpenPopup();
  std::printf("ready\n");
  std::fflush(stdout);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  std::printf("closed\n");
  std::fflush(stdout);
  return 0;
}
