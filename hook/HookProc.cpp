// The hook procedures: one runs after every sent message of every hooked thread on the desktop,
// the other at every key press and release.
#include "HookState.h"
#include "SnapRules.h"
#include "StackRule.h"
#include "vellamyhook.h"

namespace {

// A busy or hung backdrop holds a hooked thread up by at most this long per notice.
constexpr UINT kSendTimeoutMs = 50;

void NotifyBackdrop(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND backdrop = g_hookState.backdrop;
  // Not yet known (the hook runs before HookInstall records it): posting to no window would
  // drop a thread message into whatever program was hooked.
  if (!backdrop) return;
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutA(backdrop, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs,
                           &reply)) {
    PostMessageA(backdrop, message, wParam, lParam);
  }
}

void OnCreate(HWND window) {
  // The styles first: every control any program creates ends here, and reading the
  // process's path costs more.
  LONG style = GetWindowLongA(window, GWL_STYLE);
  if (!(style & WS_BORDER)) return;  // menus, tooltips and other popups stay where they are
  // GIMP's own windows are top-level; a bordered control (a list box of a native print
  // dialog) belongs in its dialog.
  if (style & WS_CHILD) return;
  // Top-level windows of the desktop only: COM's apartment window in every GTK program is a
  // message-only window whose default style carries a caption.
  if (GetAncestor(window, GA_PARENT) != GetDesktopWindow()) return;
  if (!IsGimpProcess()) return;
  HWND backdrop = g_hookState.backdrop;
  if (window == backdrop) return;
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  NotifyBackdrop(UM_ADOPT, 0, reinterpret_cast<LPARAM>(window));
  static const ATOM startedBy = PropAtom(kStartedByProp);
  SetPropA(window, MAKEINTATOM(startedBy), reinterpret_cast<HANDLE>(UINT_PTR{StartedBy()}));
  InterceptGdk();  // before GDK's first call on this window, which follows its creation
  SetWindowLongA(window, GWL_EXSTYLE, exStyle | WS_EX_NOPARENTNOTIFY);
  SetWindowLongA(window, GWL_STYLE, style);
  SetParent(window, backdrop);
}

void OnDestroy(HWND window) {
  if (!IsGimpProcess()) return;
  HWND backdrop = g_hookState.backdrop;
  if (window == backdrop) return;
  // The parent itself: GetParent names the owner of a window without WS_CHILD, as GIMP's are.
  if (GetAncestor(window, GA_PARENT) != backdrop) return;
  LONG style = GetWindowLongA(window, GWL_STYLE);
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  if ((style & WS_BORDER) && (exStyle & WS_EX_TOOLWINDOW)) {
    NotifyBackdrop(UM_TOOL_DESTROYED, 0, reinterpret_cast<LPARAM>(window));
  }
}

void OnActivate(HWND window, WPARAM wParam, LPARAM lParam) {
  // The whole value: a nonzero high word means the window is minimised.
  if (wParam != WA_ACTIVE && wParam != WA_CLICKACTIVE) return;
  NotifyBackdrop(IsGimpProcess() ? UM_ACTIVATE_GIMP : UM_ACTIVATE_OTHER,
                 static_cast<WPARAM>(lParam), reinterpret_cast<LPARAM>(window));
}

// Windows that belong to another stay above it, as owned windows stay above their owner: after
// a window came up in the Z order (a click, a raise from the Window menu, an arrangement), each
// shown one below it that belongs to it goes right above it. GIMP's dialogs belong to the
// window GDK made them transient for; a plug-in's windows to every window of its GIMP.
void KeepDialogsAbove(HWND window) {
  HWND backdrop = g_hookState.backdrop;
  if (!backdrop || GetAncestor(window, GA_PARENT) != backdrop) return;
  static const ATOM startedBy = PropAtom(kStartedByProp);
  const StackFacts lower = {window, GetCurrentProcessId(), 0, nullptr};
  for (HWND below = GetWindow(window, GW_HWNDNEXT); below;) {
    HWND next = GetWindow(below, GW_HWNDNEXT);
    if (IsWindowVisible(below)) {
      DWORD process = 0;
      const DWORD thread = GetWindowThreadProcessId(below, &process);
      const StackFacts upper = {
          below, process,
          static_cast<DWORD>(reinterpret_cast<UINT_PTR>(GetPropA(below, MAKEINTATOM(startedBy)))),
          TransientOwnerOf(below)};
      if (StaysAbove(upper, lower)) {
        HWND above = GetWindow(window, GW_HWNDPREV);
        // A plug-in's window belongs to a thread that may wait on this one: never wait on it.
        const UINT async = thread == GetCurrentThreadId() ? 0 : SWP_ASYNCWINDOWPOS;
        SetWindowPos(below, above ? above : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | async);
      }
    }
    below = next;
  }
}

void OnWindowPosChanged(HWND window, const WINDOWPOS* pos) {
  // GIMP's processes alone, before the record is read: the system calls the hook for programs
  // of the other bitness on the backdrop's own thread, where their pointer need not be valid.
  if (!pos || !IsGimpProcess()) return;
  if (!(pos->flags & SWP_NOZORDER)) KeepDialogsAbove(window);
  if (pos->flags & SWP_SHOWWINDOW) NoteGimpKind(window);
  if (!ReadShared(g_hookState.snap)) return;
  // Moves only: a window being resized along an edge, or resized by GDK, keeps its other edges.
  if ((pos->flags & SWP_NOMOVE) || !(pos->flags & SWP_NOSIZE)) return;
  HWND backdrop = g_hookState.backdrop;
  if (window == backdrop) return;
  // The parent itself: for a window without WS_CHILD, as all of GIMP's are, GetParent names
  // its owner or nothing.
  if (GetAncestor(window, GA_PARENT) != backdrop) return;
  // A maximised window's frame lies just outside the client area by design, within reach.
  if (IsZoomed(window) || IsIconic(window)) return;
  RECT client;
  GetClientRect(backdrop, &client);
  MapWindowPoints(backdrop, nullptr, reinterpret_cast<POINT*>(&client), 2);
  RECT rect;
  GetWindowRect(window, &rect);
  if (!SnapToEdges(client, rect)) return;
  // MoveWindow takes the coordinates of the window's own parent, not the screen's.
  MapWindowPoints(nullptr, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&rect), 2);
  MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

// The key as the backdrop lists it, if it lists it: a few compares of the key alone first, so
// that every other key of every program passes at once.
WORD Taken(WPARAM virtualKey) {
  const LONG count = ReadShared(g_hookState.keyCount);
  bool listed = false;
  for (LONG i = 0; i < count && i < kMaxTakenKeys && !listed; ++i)
    listed = (ReadShared(g_hookState.keys[i]) & 0xFF) == static_cast<LONG>(virtualKey);
  if (!listed || !IsGimpProcess()) return 0;
  // This thread's key state, as it stood when the key came: GIMP's own view of the modifiers.
  BYTE modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= FSHIFT;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= FCONTROL;
  if (GetKeyState(VK_MENU) < 0) modifiers |= FALT;
  const WORD key = TakenKey(static_cast<BYTE>(virtualKey), modifiers);
  for (LONG i = 0; i < count && i < kMaxTakenKeys; ++i) {
    if (ReadShared(g_hookState.keys[i]) == key) return key;
  }
  return 0;
}

// The keys whose press went to the backdrop: their release goes nowhere either. This process's
// own, one flag per virtual key.
bool g_heldKeys[256];
// A key taken with Ctrl held: Ctrl's release then ends the backdrop's Ctrl+F6 walk, told in
// order with the keys (a poll of the keyboard can miss a quick release and press).
bool g_takenWithCtrl = false;

}  // namespace

// The backdrop's keys pressed in GIMP's windows go to the backdrop, as its accelerators; GIMP
// binds none of them by default.
LRESULT CALLBACK KeyProc(int code, WPARAM wParam, LPARAM lParam) {
  // HC_NOREMOVE: a look at the queue; the same key comes again when it is taken off.
  if (code == HC_ACTION) {
    const bool released = (lParam & 0x80000000) != 0;
    const size_t vk = wParam & 0xFF;
    HWND backdrop = g_hookState.backdrop;
    if (released && vk == VK_CONTROL && g_takenWithCtrl) {
      g_takenWithCtrl = false;
      if (backdrop) PostMessageA(backdrop, UM_KEY, TakenKey(VK_CONTROL, 0), 0);
    }
    if (released && g_heldKeys[vk]) {
      g_heldKeys[vk] = false;
      return 1;
    }
    if (!released) {
      // A fresh press that GIMP gets: its release is GIMP's too.
      if (!(lParam & 0x40000000)) g_heldKeys[vk] = false;
      if (const WORD key = backdrop ? Taken(wParam) : 0) {
        g_heldKeys[vk] = true;
        if (key & (FCONTROL << 8)) g_takenWithCtrl = true;
        // The backdrop raises the window the key asks for: this process has the foreground
        // (its thread has the keyboard), and lets the backdrop's take it.
        AllowSetForegroundWindow(g_hookState.ownerProcessId);
        PostMessageA(backdrop, UM_KEY, key, reinterpret_cast<LPARAM>(GetActiveWindow()));
        return 1;
      }
    }
  }
  return CallNextHookEx(g_hookState.keyHook, code, wParam, lParam);
}

LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && call) {
    switch (call->message) {
      case WM_CREATE:
        OnCreate(call->hwnd);
        break;
      case WM_DESTROY:
        OnDestroy(call->hwnd);
        break;
      case WM_ACTIVATE:
        OnActivate(call->hwnd, call->wParam, call->lParam);
        break;
      case WM_WINDOWPOSCHANGED:
        OnWindowPosChanged(call->hwnd, reinterpret_cast<const WINDOWPOS*>(call->lParam));
        break;
      case WM_SHOWWINDOW:
        if (call->wParam) NoteGimpKind(call->hwnd);
        break;
      default:
        break;
    }
  }
  return CallNextHookEx(g_hookState.hook, code, wParam, lParam);
}
