// Entry point: as a plug-in, start the backdrop as a second copy of this program and hand
// over to GIMP; on its own, create the backdrop window and run its message loop.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

#include "BackdropWindow.h"
#include "DpiHosting.h"
#include "GimpMain.h"
#include "Launcher.h"
#include "LaunchMode.h"

namespace {

constexpr DWORD kStartupTimeoutMs = 30000;
constexpr int kStartAttempts = 3;
constexpr DWORD kRetryPauseMs = 500;
constexpr int kTextSize = 100;
constexpr DWORD kServingWaitMs = 5000;

char g_title[kTextSize];
char g_className[kTextSize];
// Registers nothing with GIMP: a plug-in without procedures is queried again at every GIMP
// start, which is what starts the backdrop with GIMP each time.
const GimpPlugInInfo g_plugInInfo = {};

// The process that started this one, or 0: for the plug-in, GIMP.
DWORD ParentProcessId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && !parent;
       more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

LRESULT CALLBACK ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return g_backdrop.WindowProc(window, message, wParam, lParam);
}

int RunPlugin(int argc, char** argv) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = '\0';  // older systems leave a path that fills the buffer unterminated
  HANDLE started = CreateEventA(nullptr, FALSE, FALSE, kStartupEventName);
  // The backdrop closes once GIMP has ended, whether or not it ever held a window of GIMP's.
  // GIMP waits for this plug-in meanwhile, so the number names GIMP while the copy opens it.
  char gimp[16] = {};
  std::snprintf(gimp, sizeof(gimp), "%lu", ParentProcessId());
  SetEnvironmentVariableA(kGimpProcessVariable, gimp);
  bool up = false;
  // A start that fails at once (a busy system can refuse one) is tried again; one that started
  // gets its 30 s, and is never doubled.
  for (int attempt = 0; started && attempt < kStartAttempts && !up; ++attempt) {
    if (attempt > 0) Sleep(kRetryPauseMs);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // No command line: the copy sees no "-gimp" and runs the backdrop.
    if (!CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
      continue;
    }
    CloseHandle(process.hThread);
    // A copy that ends before it signals (its window could not be made) is said at once.
    const HANDLE either[] = {started, process.hProcess};
    up = WaitForMultipleObjects(2, either, FALSE, kStartupTimeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process.hProcess);
    break;
  }
  // Said, not hidden: otherwise GIMP starts and the backdrop silently does not.
  if (!up) MessageBoxA(nullptr, "Error Starting Vellamy", "Gimp Vellamy", MB_OK);
  if (started) CloseHandle(started);
  return gimp_main(&g_plugInInfo, argc, argv);
}

// One backdrop per desktop: the hook's shared record serves one. A backdrop that still serves
// a GIMP (or does not answer) keeps it, serves this copy's GIMP too, and the windows of GIMP's
// installation go to it; one whose GIMP has ended is about to close, and is waited for. True
// when this copy goes on to make its own.
bool MakeWay(DWORD gimp) {
  for (HWND other = FindWindowExA(nullptr, nullptr, g_className, nullptr); other;
       other = FindWindowExA(nullptr, other, g_className, nullptr)) {
    DWORD id = 0;
    GetWindowThreadProcessId(other, &id);
    HANDLE process = id ? OpenProcess(SYNCHRONIZE, FALSE, id) : nullptr;
    // A window can outlive its ended process for a moment.
    if (!process || WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
      if (process) CloseHandle(process);
      continue;
    }
    DWORD_PTR serving = 1;
    const bool answered = SendMessageTimeoutA(other, kServingMessage, gimp, 0, SMTO_ABORTIFHUNG,
                                              kServingWaitMs, &serving) != 0;
    // One that said no closes at its next message: its hook gives way to this copy's, ended or
    // not by the time the wait is over, so that this GIMP is never left without a backdrop.
    if (answered && !serving) WaitForSingleObject(process, kServingWaitMs);
    CloseHandle(process);
    if (!answered || serving) return false;
  }
  return true;
}

int RunStandalone(HINSTANCE instance, int show) {
  g_backdrop.instance = instance;
  LoadStringA(instance, IDS_TITLE, g_title, kTextSize);
  LoadStringA(instance, IDS_CLASS, g_className, kTextSize);
  char gimp[16] = {};
  DWORD gimpId = 0;
  if (GetEnvironmentVariableA(kGimpProcessVariable, gimp, sizeof(gimp)) && std::atol(gimp) > 0)
    gimpId = static_cast<DWORD>(std::strtoul(gimp, nullptr, 10));
  if (!MakeWay(gimpId)) {
    SignalStarted();  // GIMP's start goes on, served by the backdrop that stands
    return 0;
  }
  g_backdrop.Serve(gimpId);
  RegisterBackdropClass(instance);
  if (!CreateBackdropWindow(instance, show)) return 0;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    StopIfFailing();
    if (!TranslateAcceleratorA(message.hwnd, g_backdrop.accelerators, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

void RegisterBackdropClass(HINSTANCE instance) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = ClassWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LARGE));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
  windowClass.lpszClassName = g_className;
  windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
  RegisterClassExA(&windowClass);
}

int CreateBackdropWindow(HINSTANCE instance, int show) {
  HWND window = nullptr;
  {
    MixedDpiHosting mixed(MixedDpiHosting::Lookup());
    window = CreateWindowExA(
        0, g_className, g_title, WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL | WS_CLIPCHILDREN,
        CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  }
  if (!window) return 0;
  // The saved placement decides how the window first shows: the start-up command would undo
  // it (the launcher passes none, so it is always the default), and placing a window while it
  // is still being created loses a maximised state's normal rectangle on some platforms (Wine).
  g_backdrop.RestorePlacement(window);
  // A stored show command that hides the window (a failed save stores 0) would leave the
  // backdrop invisible for good.
  if (!IsWindowVisible(window)) ShowWindow(window, show);
  UpdateWindow(window);
  return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  if (IsPluginMode(__argc, __argv)) return RunPlugin(__argc, __argv);
  return RunStandalone(instance, show);
}

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "the start-up record of the backdrop's process");
static_assert(sizeof(WNDCLASSEXA) == 48, "the backdrop's class record");
#endif
