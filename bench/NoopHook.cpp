// The floor for any design built on a global hook: a WH_CALLWNDPROCRET hook that only passes
// every call on.
#include <windows.h>

namespace {
HINSTANCE g_module = nullptr;
HHOOK g_hook = nullptr;  // only the installing process uses it

LRESULT CALLBACK NoopProc(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
  g_module = module;
  DisableThreadLibraryCalls(module);
  return TRUE;
}

extern "C" __declspec(dllexport) int NoopHookInstall() {
  g_hook = SetWindowsHookExA(WH_CALLWNDPROCRET, NoopProc, g_module, 0);
  return g_hook != nullptr;
}

extern "C" __declspec(dllexport) void NoopHookUninstall() {
  if (g_hook) UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
}
