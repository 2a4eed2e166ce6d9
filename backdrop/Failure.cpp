// When the backdrop's own process fails. GIMP's windows are the backdrop's children, and a child
// window ends with its parent whatever process it belongs to: every one goes back to the desktop
// before the process ends, so that GIMP runs on and unsaved work can be saved.
//
// A thread made at start does it, which a failing thread only wakes: the failing one may have
// no stack left (an overflow), and a second one may fail meanwhile. The window thread, when it
// is not the one that failed, first stops at its next step over GIMP's windows, so that nothing
// of the backdrop's moves, hides or shows a window once it is back; stopped, it goes on
// answering what is sent to it, as the system's calls on GIMP's windows may send to the
// backdrop (Wine's re-parenting activates, and tells the window that was active). No allocation
// and no lock of the program's own: the heap may be what failed.
#include <csignal>

#include "BackdropWindow.h"
#include "vellamyhook.h"

namespace {

// A window being adopted when the hook went: the hook's notice waits at most 50 ms before the
// window is re-parented, so one more look after this finds it.
constexpr DWORD kAdoptionsInFlightMs = 250;
// However the give-back goes, the process ends within this.
constexpr DWORD kRescueLimitMs = 20000;
// The window thread stops once its call in progress returns; one stuck longer is not waited for.
constexpr DWORD kStopWaitMs = 3000;

HWND g_guarded = nullptr;
DWORD g_windowThreadId = 0;
HANDLE g_wake = nullptr;
volatile LONG g_failingThread = 0;
volatile LONG g_exitCode = 3;
volatile LONG g_windowThreadStopped = 0;

// Until the process ends: the window thread handles the messages sent to it, which the window
// procedure answers with the defaults while the backdrop fails; any other thread sleeps.
[[noreturn]] void WaitForTheEnd(UINT code) {
  const bool windowThread = GetCurrentThreadId() == g_windowThreadId;
  if (windowThread) InterlockedExchange(&g_windowThreadStopped, 1);
  const ULONGLONG until = GetTickCount64() + kRescueLimitMs;
  for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
    const DWORD left = static_cast<DWORD>(until - now);
    if (!windowThread || code == EXCEPTION_STACK_OVERFLOW) {
      Sleep(left);
      continue;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_SENDMESSAGE);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  TerminateProcess(GetCurrentProcess(), code);
  for (;;) Sleep(INFINITE);
}

DWORD WINAPI Rescue(void*) {
  WaitForSingleObject(g_wake, INFINITE);
  HookUninstall(g_guarded);  // no new window of GIMP's goes into a dying backdrop
  if (static_cast<DWORD>(g_failingThread) != g_windowThreadId) {
    PostMessageA(g_guarded, WM_NULL, 0, 0);  // wakes a window thread that waits for messages
    for (DWORD waited = 0; !g_windowThreadStopped && waited < kStopWaitMs; waited += 10) Sleep(10);
  }
  if (IsWindow(g_guarded)) {
    BackdropWindow::GiveBackOnFailure(g_guarded);
    Sleep(kAdoptionsInFlightMs);
    BackdropWindow::GiveBackOnFailure(g_guarded);
  }
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_exitCode));
  return 0;
}

[[noreturn]] void GiveBackAndEnd(UINT code) {
  const LONG self = static_cast<LONG>(GetCurrentThreadId());
  const LONG first = InterlockedCompareExchange(&g_failingThread, self, 0);
  // The same thread failing again, in what follows, ends the process at once.
  if (first == self) TerminateProcess(GetCurrentProcess(), code);
  if (first == 0) {
    g_exitCode = static_cast<LONG>(code);
    if (g_wake) {
      SetEvent(g_wake);
    } else if (g_guarded && IsWindow(g_guarded)) {  // no thread could be made at start
      HookUninstall(g_guarded);
      BackdropWindow::GiveBackOnFailure(g_guarded);
      TerminateProcess(GetCurrentProcess(), code);
    }
  }
  WaitForTheEnd(code);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  GiveBackAndEnd(info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 3);
}

// abort(): the C runtime's own failures (and std::terminate) end there.
void OnAbort(int) { GiveBackAndEnd(3); }

}  // namespace

void GuardAgainstFailure(HWND window) {
  g_guarded = window;
  g_windowThreadId = GetCurrentThreadId();
  g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (g_wake) {
    HANDLE rescue = CreateThread(nullptr, 0, Rescue, nullptr, 0, nullptr);
    if (rescue) {
      CloseHandle(rescue);
    } else {
      CloseHandle(g_wake);
      g_wake = nullptr;
    }
  }
  SetUnhandledExceptionFilter(OnUnhandledException);
  std::signal(SIGABRT, OnAbort);
}

bool BackdropFailing() { return g_failingThread != 0; }

void StopIfFailing() {
  if (g_failingThread && GetCurrentThreadId() == g_windowThreadId)
    WaitForTheEnd(static_cast<UINT>(g_exitCode));
}

void BackdropWindow::GiveBackOnFailure(HWND window) { GiveBackChildren(window); }
