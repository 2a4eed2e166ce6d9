// A helper program for the hook tests: a second process that installs the hook for a backdrop
// window of its own, takes it over from the test, and gives it up again when told to.
// Arguments: app path, name of the event it sets when installed, name of the event that ends it,
// and optionally the name of an event to wait for before installing (so a slow start can be
// got out of the way early).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "vellamyhook.h"

namespace {

int g_adopted = 0;
int g_toolsDestroyed = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == UM_ADOPT) {
    ++g_adopted;
    return 0;
  }
  if (message == UM_TOOL_DESTROYED) {
    ++g_toolsDestroyed;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 4) return 2;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = OwnerProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "VellamyOwner";
  RegisterClassA(&windowClass);
  HWND backdrop = CreateWindowExA(0, "VellamyOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                  nullptr, nullptr, instance, nullptr);
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, __argv[3]);
  if (__argc > 4) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, __argv[4]);
    std::printf("waiting\n");
    std::fflush(stdout);
    WaitForSingleObject(go, 600000);
    CloseHandle(go);
  }
  const int installed = HookInstall(backdrop, __argv[1]);
  std::printf("installed result=%d backdrop=%llx pid=%lu\n", installed,
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(backdrop)),
              GetCurrentProcessId());
  std::fflush(stdout);
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, __argv[2]);
  if (ready) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  const ULONGLONG end = GetTickCount64() + 120000;
  while (GetTickCount64() < end &&
         MsgWaitForMultipleObjects(1, &done, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  std::printf("adopted count=%d\n", g_adopted);
  std::printf("tooldestroyed count=%d\n", g_toolsDestroyed);
  const int first = HookUninstall(backdrop);
  const int second = HookUninstall(backdrop);
  std::printf("uninstalled first=%d second=%d\n", first, second);
  std::fflush(stdout);
  CloseHandle(done);
  DestroyWindow(backdrop);
  return 0;
}
