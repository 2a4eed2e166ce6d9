// The hook library's shared record, entry point and exports.
#include "HookState.h"
#include "AppPath.h"
#include "vellamyhook.h"

#include <tlhelp32.h>

#include <cstring>

VMY_SHARED_SECTION_PREFIX HookState g_hookState VMY_SHARED_SECTION = {0, nullptr, nullptr, 0, 0, {},
                                                                      0, {},      nullptr};
HINSTANCE g_module = nullptr;

BOOL WINAPI DllMain(HINSTANCE module, DWORD /*reason*/, LPVOID /*reserved*/) {
  // Nothing else here: this runs in every process on the desktop that maps the library.
  g_module = module;
  DisableThreadLibraryCalls(module);
  return TRUE;
}

namespace {
// This process's executable, lower-cased, read once: the hook asks at every move of every window.
char g_exePath[MAX_PATH];
LONG g_exePathRead = 0;
}  // namespace

// One atom per process for each property: a property named by a string takes a reference on
// its atom at every SetProp, which nothing would give back.
ATOM PropAtom(const char* name) {
  ATOM atom = GlobalFindAtomA(name);
  return atom ? atom : GlobalAddAtomA(name);
}

namespace {
volatile LONG g_startedBy = 0;
volatile LONG g_startedByRead = 0;
}  // namespace

// Read once per process, at its first window: a snapshot of the processes costs milliseconds.
DWORD StartedBy() {
  if (!g_startedByRead) {
    DWORD parent = 0;
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
      PROCESSENTRY32 entry = {};
      entry.dwSize = sizeof(entry);
      for (BOOL more = Process32First(snapshot, &entry); more && !parent;
           more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
      }
      CloseHandle(snapshot);
    }
    InterlockedExchange(&g_startedBy, static_cast<LONG>(parent));
    InterlockedExchange(&g_startedByRead, 1);
  }
  return static_cast<DWORD>(g_startedBy);
}

bool IsGimpProcess() {
  if (GetCurrentProcessId() == g_hookState.ownerProcessId) return false;
  if (!*static_cast<volatile LONG*>(&g_exePathRead)) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[MAX_PATH - 1] = '\0';
    LowerAscii(path);
    // Threads racing here all write the same bytes.
    memcpy(g_exePath, path, MAX_PATH);
    InterlockedExchange(&g_exePathRead, 1);
  }
  return IsUnderAppPath(g_exePath, g_hookState.appPath);
}

namespace {

void RemoveRecordedHook() {
  UnhookWindowsHookEx(g_hookState.hook);
  g_hookState.hook = nullptr;
  if (g_hookState.keyHook) UnhookWindowsHookEx(g_hookState.keyHook);
  g_hookState.keyHook = nullptr;
  WriteShared(g_hookState.installed, 0);
}

}  // namespace

int HookInstall(HWND backdrop, const char* appPath) {
  g_hookState.ownerProcessId = GetCurrentProcessId();
  if (appPath) {
    strncpy(g_hookState.appPath, appPath, MAX_PATH);
    g_hookState.appPath[MAX_PATH - 1] = '\0';
  }
  // A newer backdrop takes over whatever hook is recorded.
  if (ReadShared(g_hookState.installed) == 1) RemoveRecordedHook();
  // Another process may have installed between the removal above and here.
  if (ReadShared(g_hookState.installed) != 0) return 0;
  g_hookState.hook = SetWindowsHookExA(WH_CALLWNDPROCRET, HookProc, g_module, 0);
  if (!g_hookState.hook) return 0;
  // Only a key the backdrop takes goes further than the hook's first test (KeyProc).
  g_hookState.keyHook = SetWindowsHookExA(WH_KEYBOARD, KeyProc, g_module, 0);
  // The backdrop first: a process that sees the hook installed must find its backdrop.
  *static_cast<HWND volatile*>(&g_hookState.backdrop) = backdrop;
  WriteShared(g_hookState.installed, 1);
  return 1;
}

int HookUninstall(HWND window) {
  if (ReadShared(g_hookState.installed) != 1) return 0;
  // A backdrop that ends must not take away the hook of another one that still stands.
  HWND recorded = *static_cast<HWND volatile*>(&g_hookState.backdrop);
  if (window && recorded && recorded != window && IsWindow(recorded)) return 0;
  RemoveRecordedHook();
  return 1;
}

int HookSnapWindows() { return ReadShared(g_hookState.snap); }

void HookSnapWindows(int on) { WriteShared(g_hookState.snap, on); }

void HookSetAppPath(const char* /*path*/) {}

void HookTakeKeys(const WORD* keys, int count) {
  if (count < 0) count = 0;
  if (count > kMaxTakenKeys) count = kMaxTakenKeys;
  // Fewer first: a hook reading meanwhile never reads an entry not yet written.
  WriteShared(g_hookState.keyCount, 0);
  for (int i = 0; i < count; ++i) WriteShared(g_hookState.keys[i], keys[i]);
  WriteShared(g_hookState.keyCount, count);
}
