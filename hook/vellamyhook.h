// The interface of the hook library: its exports and the notifications it sends to the
// backdrop window. Both sides include this header, so the numbers live in one place.
#pragma once

#include <windows.h>

#ifdef VELLAMYHOOK_BUILD
#define VELLAMYHOOK_API __declspec(dllexport)
#else
#define VELLAMYHOOK_API __declspec(dllimport)
#endif

// Notifications to the backdrop window. The window concerned is always the lParam.
constexpr UINT UM_ADOPT = WM_USER + 1;           // wParam 0: a GIMP window about to be adopted
constexpr UINT UM_ACTIVATE_GIMP = WM_USER + 2;   // wParam: the window being deactivated
constexpr UINT UM_ACTIVATE_ALT = WM_USER + 3;    // never sent; accepted like an activation
constexpr UINT UM_ACTIVATE_OTHER = WM_USER + 4;  // wParam: the window being deactivated
constexpr UINT UM_TOOL_DESTROYED = WM_USER + 5;  // wParam 0: an adopted tool window ends
// Posted: one of the backdrop's keys was pressed in a window of GIMP's, which never saw it.
// wParam: the key as HookTakeKeys lists it; lParam: the active window of GIMP's thread. Also
// posted, with wParam TakenKey(VK_CONTROL, 0), when Ctrl is released after such a key.
constexpr UINT UM_KEY = WM_USER + 6;

// A key the backdrop takes: the virtual key in the low byte, the accelerator table's FSHIFT,
// FCONTROL and FALT flags in the high byte.
constexpr WORD TakenKey(BYTE virtualKey, BYTE modifiers) {
  return static_cast<WORD>(virtualKey | (modifiers & (FSHIFT | FCONTROL | FALT)) << 8);
}

// Properties the hook sets on adopted windows inside GIMP's processes, for the backdrop to read.
// The window GDK made this one transient for (a dialog's parent window): held windows have the
// backdrop as parent, so the system keeps no owner for them.
constexpr const char* kTransientForProp = "VellamyTransientFor";
inline HWND TransientOwnerOf(HWND window) {
  return static_cast<HWND>(GetPropA(window, kTransientForProp));
}
// The process that started the window's process: GIMP's, for a plug-in's window.
constexpr const char* kStartedByProp = "VellamyStartedBy";
// What GIMP made the window for, from the role it gives each window (the same in every
// language, whatever window-type hint the user chose); absent when not known.
constexpr const char* kGimpKindProp = "VellamyGimpKind";
enum GimpKind : int {
  kKindUnknown = 0,
  kKindImage = 1,
  kKindDock = 2,
  kKindOther = 3,
  kKindToolbox = 4,
  kKindQuestion = 5,  // GIMP's message dialogs: "Close ...?", "Quit GIMP" and its other messages
};

// Records this process as the owner, stores the app path (lower case, cut to 259 characters;
// null keeps the previous one) and installs the global hook for this backdrop window.
// Returns 1 when installed, 0 otherwise.
VELLAMYHOOK_API int HookInstall(HWND backdrop, const char* appPath);
// Removes the recorded hook, whichever process installed it, unless it serves another backdrop
// than window that still exists (null removes it whatever it serves). Returns 1 if a hook was
// removed, 0 if none was.
VELLAMYHOOK_API int HookUninstall(HWND window);
// The snap setting as last stored.
VELLAMYHOOK_API int HookSnapWindows();
// Stores the snap setting unchanged; nonzero pulls adopted windows onto the backdrop's edges.
VELLAMYHOOK_API void HookSnapWindows(int on);
// The keys that GIMP's windows hand to the backdrop instead of handling them (at most 8; more
// are ignored): its accelerators, which a user working in GIMP presses in GIMP's windows.
VELLAMYHOOK_API void HookTakeKeys(const WORD* keys, int count);
// Kept for callers of older versions: the app path changes only through HookInstall.
VELLAMYHOOK_API void HookSetAppPath(const char* path);
