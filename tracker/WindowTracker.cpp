#include "WindowTracker.h"

#include <psapi.h>

#include <algorithm>

#include "AppPath.h"
#include "vellamyhook.h"

LONG WindowTracker::dispatching = 0;

namespace {

bool IsNotice(UINT msg) { return msg >= UM_ADOPT && msg <= UM_TOOL_DESTROYED; }

// Holds the tracker's critical section for one scope.
class Locked {
 public:
  explicit Locked(CRITICAL_SECTION& held) : section(held) { EnterCriticalSection(&section); }
  ~Locked() { LeaveCriticalSection(&section); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CRITICAL_SECTION& section;
};

}  // namespace

bool IsGimpWindow(HWND window, HWND backdrop, const char* appPath) {
  if (!IsWindow(window) || window == backdrop) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == 0 || processId == GetCurrentProcessId()) return false;
  // The module file name of the process's main module, the very path the hook library tests
  // inside that process: the image name can differ from it through a junction, a SUBST drive
  // or a mapped drive, and then the two sides would disagree about which windows are GIMP's.
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (!process) {
    process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return false;
  }
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameExA(process, nullptr, path, MAX_PATH);
  if (length == 0) {
    // The module list cannot be read (seen with 32-bit programs under emulated Wine): the image
    // name is the same path wherever no junction or substituted drive lies on it.
    length = MAX_PATH;
    if (!QueryFullProcessImageNameA(process, 0, path, &length)) length = 0;
  }
  CloseHandle(process);
  if (length == 0) return false;
  path[MAX_PATH - 1] = '\0';
  LowerAscii(path);
  return IsUnderAppPath(path, appPath);  // the hook library's own test
}

WindowTracker::WindowTracker() {
  InitializeCriticalSection(&lock);
  hookReply = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

WindowTracker::~WindowTracker() {
  // Runs at process exit, where the hook thread no longer runs: nothing to wait for.
  if (hookThread) CloseHandle(hookThread);
  CloseHandle(hookReply);
  DeleteCriticalSection(&lock);
}

LRESULT WindowTracker::PreTranslate(UINT msg, WPARAM /*wParam*/, LPARAM lParam, BOOL* handled) {
  Locked hold(lock);
  if (dispatching) {
    if (IsNotice(msg)) pending.push_back({lParam, msg});
    *handled = FALSE;
    return 0;
  }
  dispatching = 1;
  Dispatch(msg, lParam, handled);
  while (!pending.empty()) {
    const Pending next = pending.front();
    Dispatch(next.msg, next.lParam, handled);
    pending.pop_front();  // only now: a notice queued meanwhile lands behind this one
  }
  dispatching = 0;
  return 0;
}

void WindowTracker::Dispatch(UINT msg, LPARAM lParam, BOOL* handled) {
  *handled = TRUE;
  HWND window = reinterpret_cast<HWND>(lParam);
  switch (msg) {
    case UM_ADOPT:
      if (adoptionTest(window, backdrop, appPath.c_str())) Adopt(window);
      break;
    case UM_TOOL_DESTROYED:
      Remove(window);
      break;
    case WM_LBUTTONDOWN:
    case UM_ACTIVATE_GIMP:
    case UM_ACTIVATE_ALT:
    case UM_ACTIVATE_OTHER:
      break;  // only the repaint and menu refresh that a handled message brings
    default:
      *handled = FALSE;
      break;
  }
}

std::vector<HWND> WindowTracker::Distinct() const {
  std::vector<HWND> once;
  for (HWND window : windows) {
    if (std::find(once.begin(), once.end(), window) == once.end()) once.push_back(window);
  }
  return once;
}

void WindowTracker::Adopt(HWND window) {
  Locked hold(lock);
  windows.push_front(window);
  adoptedAt.emplace(window, ++adoptions);  // a second notice keeps the first place
}

void WindowTracker::Remove(HWND window) {
  Locked hold(lock);
  windows.remove(window);
  adoptedAt.erase(window);
}

unsigned long WindowTracker::AdoptionOrder(HWND window) const {
  const auto found = adoptedAt.find(window);
  return found == adoptedAt.end() ? 0 : found->second;
}

void WindowTracker::Raise(HWND window) {
  if (std::find(windows.begin(), windows.end(), window) == windows.end()) return;
  windows.remove(window);
  windows.push_front(window);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOOWNERZORDER);
}

bool WindowTracker::PruneDead() {
  windows.remove_if([this](HWND window) {
    if (IsWindow(window)) return false;
    // A handle the system gives again to a new window must not keep the old one's place.
    adoptedAt.erase(window);
    return true;
  });
  return windows.empty();
}

namespace {
constexpr UINT kUninstallRequest = WM_APP + 1;  // a thread message to the hook thread
constexpr DWORD kHookReplyMs = 10000;
}  // namespace

DWORD WINAPI WindowTracker::HookThread(void* param) {
  auto* self = static_cast<WindowTracker*>(param);
  MSG message;
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue, before the reply
  self->hookResult = HookInstall(self->backdrop, self->hookPath);
  SetEvent(self->hookReply);
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kUninstallRequest) {
      self->hookResult = HookUninstall(self->backdrop);
      SetEvent(self->hookReply);
      return 0;
    }
    DispatchMessageA(&message);
  }
  return 0;
}

int WindowTracker::InstallHook(HWND backdropWindow, const char* path) {
  if (hookThread) UninstallHook();  // one hook thread at a time
  backdrop = backdropWindow;
  appPath = path ? path : "";
  // The tracker's own copy: the caller's buffer may be gone by the time the thread runs.
  hookPath = path ? appPath.c_str() : nullptr;
  hookResult = 0;
  hookThread = CreateThread(nullptr, 0, HookThread, this, 0, &hookThreadId);
  if (!hookThread) return HookInstall(backdrop, hookPath);  // no thread to spare: install here
  // However long a loaded (or emulated) system takes to start the thread: given up on, it would
  // still install later, after the backdrop had gone on without its hook. Installing waits for
  // no other thread, so the answer or the thread's end comes.
  const HANDLE either[] = {hookReply, hookThread};
  WaitForMultipleObjects(2, either, FALSE, INFINITE);
  hookPath = nullptr;
  return hookResult;
}

int WindowTracker::UninstallHook() {
  if (!hookThread) return HookUninstall(backdrop);
  hookResult = 0;
  if (PostThreadMessageA(hookThreadId, kUninstallRequest, 0, 0)) {
    WaitForSingleObject(hookReply, kHookReplyMs);
  }
  WaitForSingleObject(hookThread, kHookReplyMs);
  CloseHandle(hookThread);
  hookThread = nullptr;
  hookThreadId = 0;
  return hookResult;
}

void WindowTracker::TakeKeys(const WORD* keys, int count) { HookTakeKeys(keys, count); }

void WindowTracker::SetSnap(int snap) { HookSnapWindows(snap); }
