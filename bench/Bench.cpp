// What the hook costs every program on the desktop, and what the backdrop's work costs.
// Run without arguments: it starts copies of itself as the measured processes, one outside
// and one under the app path, and prints a table of medians and spreads.
//   vellamy_bench.exe [runs]
// The measured processes are copies of vellamy_bench_child.exe.
#include <windows.h>

#include "Clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AppPath.h"
#include "BackdropWindow.h"
#include "vellamyhook.h"

extern "C" __declspec(dllimport) int NoopHookInstall();
extern "C" __declspec(dllimport) void NoopHookUninstall();

namespace {

LRESULT CALLBACK QuietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= UM_ADOPT && message <= UM_TOOL_DESTROYED) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* className, DWORD style, WNDPROC proc) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, className, "bench", style, 0, 0, 200, 150, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

struct Stats {
  double median, low, high;
};

Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front(), v.back()};
}

// Runs a copy of this program as a measured process, pumping this thread's messages meanwhile
// (the notices of the hook arrive here).
double RunChild(const std::string& exe, const char* what, int count) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readPipe = nullptr, writePipe = nullptr;
  CreatePipe(&readPipe, &writePipe, &inherit, 0);
  SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writePipe;
  startup.hStdError = writePipe;
  PROCESS_INFORMATION info = {};
  std::string commandLine = "\"" + exe + "\" " + what + " " + std::to_string(count);
  if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return -1;
  }
  CloseHandle(writePipe);
  while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT) !=
         WAIT_OBJECT_0) {
    Pump();
  }
  Pump();
  char text[64] = {};
  DWORD got = 0;
  ReadFile(readPipe, text, sizeof(text) - 1, &got, nullptr);
  CloseHandle(readPipe);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return std::atof(text);
}

void Row(const char* name, const Stats& s, double baseline) {
  std::printf("%-58s %10.0f %10.0f %10.0f %8.2f\n", name, s.median, s.low, s.high,
              baseline > 0 ? s.median / baseline : 1.0);
}

std::string Machine() {
  char cpu[128] = "unknown processor";
  DWORD size = sizeof(cpu);
  RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
               "ProcessorNameString", RRF_RT_REG_SZ, nullptr, cpu, &size);
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  using WineVersion = const char*(CDECL*)();
  auto wine = reinterpret_cast<WineVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  return std::string(cpu) + ", " + std::to_string(info.dwNumberOfProcessors) + " processors" +
         (wine ? std::string(", Wine ") + wine() : std::string(", Windows"));
}

LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return g_backdrop.WindowProc(window, message, wParam, lParam);
}

// The backdrop's own work with n adopted windows: one notice in a burst (the repaint asked; the
// menus are rebuilt once after the burst), one menu rebuild, the Window menu's greying as it drops
// down, and one scroll step of every window.
void BackdropRows(int runs) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = BackdropProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
  windowClass.lpszClassName = "BenchBackdrop";
  RegisterClassA(&windowClass);
  g_backdrop.instance = GetModuleHandleA(nullptr);
  // Windows of this process stand in for GIMP's: the tracker's process check is not measured.
  g_backdrop.tracker.SetAdoptionTest([](HWND, HWND, const char*) { return true; });
  HWND backdrop =
      CreateWindowExA(0, "BenchBackdrop", "The GIMP",
                      WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL | WS_CLIPCHILDREN, 0, 0, 1000,
                      800, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HookUninstall(backdrop);  // the hook is measured above, not here
  std::vector<HWND> adopted;
  double notice1 = 0;
  double menus1 = 0;
  double grey1 = 0;
  double scroll1 = 0;
  for (int n : {1, 10, 100}) {
    while (static_cast<int>(adopted.size()) < n) {
      const std::string title = "Image " + std::to_string(adopted.size()) + " - GIMP";
      HWND w = CreateWindowExA(0, "BenchChild", title.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 200,
                               150, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
      SetParent(w, backdrop);
      SendMessageA(backdrop, UM_ADOPT, 0, reinterpret_cast<LPARAM>(w));
      adopted.push_back(w);
    }
    std::vector<double> notice, menus, grey, scroll;
    HMENU windowMenu = GetSubMenu(GetMenu(backdrop), 2);
    for (int r = 0; r < runs; ++r) {
      const int count = 200;
      double start = Now();
      for (int i = 0; i < count; ++i) {
        SendMessageA(backdrop, UM_ACTIVATE_GIMP, 0, reinterpret_cast<LPARAM>(adopted[0]));
      }
      notice.push_back((Now() - start) / count);
      Pump();
      start = Now();
      for (int i = 0; i < 20; ++i) SendMessageA(backdrop, kRefreshMenusMessage, 0, 0);
      menus.push_back((Now() - start) / 20);
      start = Now();
      for (int i = 0; i < 20; ++i)
        SendMessageA(backdrop, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(windowMenu), 2);
      grey.push_back((Now() - start) / 20);
      start = Now();
      for (int i = 0; i < 20; ++i) g_backdrop.ScrollAdopted(backdrop, (i % 2) ? 1 : -1, 0);
      scroll.push_back((Now() - start) / 20);
      Pump();
    }
    const Stats sn = Summarise(notice), sm = Summarise(menus), sg = Summarise(grey),
                ss = Summarise(scroll);
    if (n == 1) {
      notice1 = sn.median;
      menus1 = sm.median;
      grey1 = sg.median;
      scroll1 = ss.median;
    }
    Row(("backdrop: one notice, " + std::to_string(n) + " adopted (ratio to 1)").c_str(), sn,
        notice1);
    Row(("backdrop: menu rebuild, " + std::to_string(n) + " adopted (ratio to 1)").c_str(), sm,
        menus1);
    Row(("backdrop: Window menu drop-down (greying), " + std::to_string(n) +
         " adopted (ratio to 1)")
            .c_str(),
        sg, grey1);
    Row(("backdrop: scroll every window, " + std::to_string(n) + " adopted (ratio to 1)").c_str(),
        ss, scroll1);
  }
  DestroyWindow(backdrop);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 7;

  // Two copies of this program: one under an app path (a "GIMP" process), one outside it.
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string child(self);
  child = child.substr(0, child.find_last_of('\\') + 1) + "vellamy_bench_child.exe";
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string root = std::string(temp) + "vmybench\\";
  const std::string gimpFolder = root + "gimp\\bin\\", otherFolder = root + "other\\";
  for (const std::string& f : {root, root + "gimp\\", gimpFolder, otherFolder}) {
    CreateDirectoryA(f.c_str(), nullptr);
  }
  const std::string gimpExe = gimpFolder + "vellamy_bench_child.exe";
  const std::string otherExe = otherFolder + "vellamy_bench_child.exe";
  CopyFileA(child.c_str(), gimpExe.c_str(), FALSE);
  CopyFileA(child.c_str(), otherExe.c_str(), FALSE);
  const std::string gdk = child.substr(0, child.find_last_of('\\') + 1) + "vellamy_bench_gdk.dll";
  CopyFileA(gdk.c_str(), (gimpFolder + "libgdk-win32-2.0-0.dll").c_str(), FALSE);
  std::string appPath = root + "gimp\\";
  LowerAscii(&appPath[0]);

  HWND target = MakeWindow("BenchTarget", WS_OVERLAPPEDWINDOW, QuietProc);
  MakeWindow("BenchChild", WS_OVERLAPPEDWINDOW, QuietProc);  // the class of the adopted stand-ins
  std::printf("vellamy benchmark, %d runs each, on %s\n", runs, Machine().c_str());
  std::printf("%-58s %10s %10s %10s %8s\n", "nanoseconds per operation", "median", "min", "max",
              "ratio");

  enum Hook { kNone, kNoop, kVellamy };
  auto measure = [&](Hook hook, const std::string& exe, const char* what, int count) {
    if (hook == kNoop) NoopHookInstall();
    if (hook == kVellamy) HookInstall(target, appPath.c_str());
    std::vector<double> v;
    for (int r = 0; r < runs; ++r) v.push_back(RunChild(exe, what, count));
    if (hook == kNoop) NoopHookUninstall();
    if (hook == kVellamy) HookUninstall(target);
    return Summarise(v);
  };

  const Stats none = measure(kNone, otherExe, "unhandled", 20000);
  const Stats noop = measure(kNoop, otherExe, "unhandled", 20000);
  const Stats vellamy = measure(kVellamy, otherExe, "unhandled", 20000);
  Row("unhandled sent message, outside GIMP: no hook", none, none.median);
  Row("unhandled sent message, outside GIMP: no-op global hook", noop, none.median);
  Row("unhandled sent message, outside GIMP: vellamyhook (ratio to no-op)", vellamy, noop.median);

  const Stats noopActivate = measure(kNoop, otherExe, "activate", 2000);
  const Stats otherActivate = measure(kVellamy, otherExe, "activate", 2000);
  const Stats gimpActivate = measure(kVellamy, gimpExe, "activate", 2000);
  Row("activation, outside GIMP: no-op global hook", noopActivate, noopActivate.median);
  Row("activation, outside GIMP: vellamyhook (ratio to no-op)", otherActivate, noopActivate.median);
  Row("activation, GIMP process: vellamyhook (ratio to no-op)", gimpActivate, noopActivate.median);

  const Stats createBare = measure(kNone, gimpExe, "create", 200);
  const Stats createHooked = measure(kVellamy, gimpExe, "create", 200);
  Row("bordered window created and destroyed, GIMP process: no hook", createBare,
      createBare.median);
  Row("... with vellamyhook adopting it (ratio to no hook)", createHooked, createBare.median);

  const Stats gdkMoveBare = measure(kNone, gimpExe, "gdkmove", 2000);
  const Stats gdkMove = measure(kVellamy, gimpExe, "gdkmove", 2000);
  const Stats directMove = measure(kVellamy, gimpExe, "directmove", 2000);
  Row("GDK's SetWindowPos, GIMP process: no hook, on the desktop", gdkMoveBare, gdkMoveBare.median);
  Row("... adopted: the system's SetWindowPos called directly", directMove, directMove.median);
  Row("... adopted: through vellamyhook's GDK boundary (ratio to direct)", gdkMove,
      directMove.median);

  DestroyWindow(target);
  BackdropRows(runs);
  return 0;
}
