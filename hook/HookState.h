// The record that every process mapping the hook library shares, and the library's internals.
#pragma once

#include <windows.h>

// The one compiler-specific spot: a data section whose bytes all processes share.
#if defined(__GNUC__)
#define VMY_SHARED_SECTION __attribute__((section(".VMYHook"), shared))
#define VMY_SHARED_SECTION_PREFIX
#else
#pragma section(".VMYHook", read, write, shared)
#define VMY_SHARED_SECTION
#define VMY_SHARED_SECTION_PREFIX __declspec(allocate(".VMYHook"))
#endif

constexpr int kMaxTakenKeys = 8;

// Plain data only: each field is an aligned word read and written whole by many processes
// without a lock; appPath is written only by HookInstall, before the new hook is set.
struct HookState {
  LONG installed;
  HHOOK hook;
  HWND backdrop;
  LONG snap;
  DWORD ownerProcessId;
  char appPath[MAX_PATH];
  // The backdrop's keys that GIMP's windows hand over (HookTakeKeys), and the hook that sees them.
  LONG keyCount;
  LONG keys[kMaxTakenKeys];
  HHOOK keyHook;
};

#if defined(_WIN64)
static_assert(sizeof(HookState) == 336, "the shared section's size is checked after the build");
#else
static_assert(sizeof(HookState) == 320, "the shared section's size is checked after the build");
#endif

extern HookState g_hookState;
extern HINSTANCE g_module;

// Reads a field that another process may have written since this process last looked.
inline LONG ReadShared(const LONG& field) { return *static_cast<const volatile LONG*>(&field); }
// Writes a field so that other processes see the writes in program order.
inline void WriteShared(LONG& field, LONG value) { *static_cast<volatile LONG*>(&field) = value; }

// True when the calling process is not the owner and its executable lies under the app path.
bool IsGimpProcess();

// The process that started this one (GIMP, for a plug-in); 0 when it cannot be read.
DWORD StartedBy();

// The atom naming a window property, made once per process.
ATOM PropAtom(const char* name);

// In a GTK 2 program, puts this library between GDK's module and the system's window calls
// whose meaning depends on the window's parent, so that adopted windows stay top-level windows
// to GDK. Once per process; the library then stays loaded for the life of the process.
void InterceptGdk();

// Tags a held window of a GTK 2 program with kGimpKindProp, once, from its GTK role.
void NoteGimpKind(HWND window);

LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK KeyProc(int code, WPARAM wParam, LPARAM lParam);
