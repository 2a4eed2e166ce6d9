// A measured process for the benchmark: it times one kind of operation on a window of its
// own and prints nanoseconds per operation. It imports nothing but the system, so copies of it
// run from any folder.
//   vellamy_bench_child.exe unhandled|activate|create|gdkmove|directmove COUNT
// gdkmove and directmove move a bordered window (adopted when the hook is set) to screen
// places: through a module of GDK's name beside the program, or by calling the system itself.
#include <windows.h>

#include "Clock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 100) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int count = std::atoi(argv[2]);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ChildProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "BenchChild";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "BenchChild", "bench", WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  const double start = Now();
  if (std::strcmp(argv[1], "unhandled") == 0) {
    for (int i = 0; i < count; ++i) SendMessageA(window, WM_USER + 100, 0, 0);
  } else if (std::strcmp(argv[1], "activate") == 0) {
    for (int i = 0; i < count; ++i) SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
  } else if (std::strcmp(argv[1], "create") == 0) {
    for (int i = 0; i < count; ++i) {
      HWND w = CreateWindowExA(0, "BenchChild", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
      DestroyWindow(w);
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
  } else if (std::strcmp(argv[1], "gdkmove") == 0 || std::strcmp(argv[1], "directmove") == 0) {
    // GDK is loaded before its first window, as in GIMP.
    using Move = BOOL(__cdecl*)(HWND, int, int);
    auto gdkMove = reinterpret_cast<Move>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryA("libgdk-win32-2.0-0.dll"), "BenchGdkMove")));
    HWND w = CreateWindowExA(0, "BenchChild", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!gdkMove || !w) return 3;
    const bool direct = argv[1][0] == 'd';
    const double moves = Now();
    for (int i = 0; i < count; ++i) {
      if (direct) {
        SetWindowPos(w, nullptr, 100 + (i & 1), 100, 0, 0,
                     SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER);
      } else {
        gdkMove(w, 100 + (i & 1), 100);
      }
    }
    std::printf("%.0f\n", (Now() - moves) / count);
    return 0;
  } else {
    return 2;
  }
  std::printf("%.0f\n", (Now() - start) / count);
  return 0;
}
