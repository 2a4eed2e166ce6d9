// When the backdrop's own process fails. GIMP's windows are the backdrop's children, and a child
// window ends with its parent whatever process it belongs to: every one goes back to the desktop
// before the process ends, so that GIMP runs on and unsaved work can be saved. This runs on
// whichever thread failed, with a heap that may be what failed: no allocation, no lock of the
// program's own.
#include <csignal>

#include "BackdropWindow.h"
#include "vellamyhook.h"

namespace {

HWND g_guarded = nullptr;
volatile LONG g_failingThread = 0;

[[noreturn]] void GiveBackAndEnd(UINT code) {
  const LONG self = static_cast<LONG>(GetCurrentThreadId());
  const LONG first = InterlockedCompareExchange(&g_failingThread, self, 0);
  // Another thread failed first and ends the process once the windows are back.
  if (first != 0 && first != self) Sleep(INFINITE);
  // A fault inside this path comes back here: the process then ends at once.
  if (first == 0 && g_guarded && IsWindow(g_guarded)) {
    HookUninstall(g_guarded);  // no new window of GIMP's goes into a dying backdrop
    g_backdrop.GiveBackOnFailure(g_guarded);
  }
  TerminateProcess(GetCurrentProcess(), code);
  for (;;) Sleep(INFINITE);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  GiveBackAndEnd(info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 3);
}

// abort(): the C runtime's own failures (and std::terminate) end there.
void OnAbort(int) { GiveBackAndEnd(3); }

}  // namespace

void GuardAgainstFailure(HWND window) {
  g_guarded = window;
  SetUnhandledExceptionFilter(OnUnhandledException);
  std::signal(SIGABRT, OnAbort);
}

bool BackdropFailing() { return g_failingThread != 0; }

void BackdropWindow::GiveBackOnFailure(HWND window) {
  // Shown as they were: what minimising hid comes back, nothing else.
  const HWND* hidden = hiddenByMinimise.data();
  for (size_t i = 0; i < hiddenByMinimise.size(); ++i) {
    if (IsWindow(hidden[i]) && GetAncestor(hidden[i], GA_PARENT) == window)
      ShowWindow(hidden[i], SW_SHOWNA);
  }
  GiveBackChildren(window);
}
