// A module of GDK's file name for the benchmark: one window move as GDK makes it, through its
// own import of user32's SetWindowPos, which the hook library takes over in GIMP's processes.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL BenchGdkMove(HWND window, int x, int y) {
  return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER);
}
