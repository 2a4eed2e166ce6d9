// Between GTK 2's Windows backend (GDK) and the system, in GIMP's processes only.
//
// GDK works in screen coordinates, and treats a window whose parent is not the desktop as a
// child widget: it then passes its screen coordinates as the parent's client coordinates and
// the client size as the outer size. To GDK an adopted window must stay a top-level window of
// the desktop, so the calls of GDK's own module whose meaning depends on the parent are
// answered here as they would be for a top-level window. Nothing else passes through this
// boundary: the user's drags, the system's moves and the backdrop's calls keep their meaning.
#include "HookState.h"

#include <cstring>

#include "RoleRules.h"
#include "vellamyhook.h"

namespace {

// The same file name in every GTK 2 release that GIMP 2.x ships with.
constexpr char kGdkModule[] = "libgdk-win32-2.0-0.dll";

LONG g_intercepted = 0;  // this process's own: the import table is rewritten once

// The backdrop, when it holds this window as a top-level window: no WS_CHILD, and the backdrop
// as its parent. Released windows and windows never adopted are not held.
HWND Holder(HWND window) {
  HWND backdrop = *static_cast<HWND volatile*>(&g_hookState.backdrop);
  if (!backdrop || !window) return nullptr;
  if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) return nullptr;
  return GetAncestor(window, GA_PARENT) == backdrop ? backdrop : nullptr;
}

HWND WINAPI GdkGetAncestor(HWND window, UINT flags) {
  if (flags == GA_PARENT && Holder(window)) return GetDesktopWindow();
  if (flags == GA_ROOT) {
    // The adopted window that holds this one (or this one itself) is the root GDK knows.
    HWND root = GetAncestor(window, GA_ROOT);
    HWND backdrop = *static_cast<HWND volatile*>(&g_hookState.backdrop);
    if (root != backdrop || !backdrop) return root;
    for (HWND w = window; w; w = GetAncestor(w, GA_PARENT)) {
      if (GetAncestor(w, GA_PARENT) == backdrop) return w;
    }
  }
  return GetAncestor(window, flags);
}

// Screen coordinates to the holder's client coordinates, as the system reads them for a child.
void ToHolder(HWND holder, int& x, int& y) {
  POINT at = {x, y};
  ScreenToClient(holder, &at);
  x = at.x;
  y = at.y;
}

BOOL WINAPI GdkSetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags) {
  if (!(flags & SWP_NOMOVE)) {
    if (HWND holder = Holder(window)) ToHolder(holder, x, y);
  }
  return SetWindowPos(window, after, x, y, cx, cy, flags);
}

BOOL WINAPI GdkMoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  if (HWND holder = Holder(window)) ToHolder(holder, x, y);
  return MoveWindow(window, x, y, width, height, repaint);
}

// GDK makes a dialog transient for its owner through GWLP_HWNDPARENT. The system takes that as
// the owner only for a window whose parent is the desktop; for any other it changes the parent,
// which would put the dialog inside its owner, clipped to it. A held window keeps the backdrop,
// and the owner it asked for is kept in a property: the hook keeps the dialog above it.
bool KeepsHolder(HWND window, int index, LONG_PTR owner) {
  if (index != GWLP_HWNDPARENT || !Holder(window)) return false;
  static const ATOM transientFor = PropAtom(kTransientForProp);
  if (owner) {
    SetPropA(window, MAKEINTATOM(transientFor), reinterpret_cast<HANDLE>(owner));
  } else {
    RemovePropA(window, MAKEINTATOM(transientFor));
  }
  SetLastError(0);
  return true;
}

#if defined(_WIN64)
LONG_PTR WINAPI GdkSetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  if (KeepsHolder(window, index, value)) return 0;
  return SetWindowLongPtrA(window, index, value);
}
LONG_PTR WINAPI GdkSetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  if (KeepsHolder(window, index, value)) return 0;
  return SetWindowLongPtrW(window, index, value);
}
#else
LONG WINAPI GdkSetWindowLongA(HWND window, int index, LONG value) {
  if (KeepsHolder(window, index, value)) return 0;
  return SetWindowLongA(window, index, value);
}
LONG WINAPI GdkSetWindowLongW(HWND window, int index, LONG value) {
  if (KeepsHolder(window, index, value)) return 0;
  return SetWindowLongW(window, index, value);
}
#endif

// GDK pulls every window it maps inside the work area of the window's monitor (MonitorFromWindow,
// then GetMonitorInfo). For a held window the backdrop's client area is the part of the screen
// it can be seen in: its top and left edges stand in for the work area's, so a window that GIMP
// saved near the screen's top or left edge comes up with its caption below the backdrop's
// caption and menu bar instead of under them. The right and bottom edges stay the monitor's:
// what reaches past the client area there is reached by the backdrop's scroll bars, and a small
// backdrop does not squeeze GIMP's layout. GDK's own calls at each map do it, before the window
// shows, so GDK and GIMP learn the place as any other and GIMP saves it: the next start asks for
// the same place and nothing moves again.
HWND g_askedFor = nullptr;  // the held window whose monitor GDK asked for last; GDK's thread only

HMONITOR WINAPI GdkMonitorFromWindow(HWND window, DWORD flags) {
  g_askedFor = Holder(window) ? window : nullptr;
  return MonitorFromWindow(window, flags);
}

void FitWorkAreaToHolder(HWND window, HMONITOR monitor, MONITORINFO* info) {
  HWND holder = Holder(window);
  // A minimised backdrop has no client area on the screen to stand in for anything.
  if (!holder || IsIconic(holder) || MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST) != monitor)
    return;
  POINT origin = {0, 0};
  ClientToScreen(holder, &origin);
  info->rcWork.left = origin.x;
  info->rcWork.top = origin.y;
}

BOOL WINAPI GdkGetMonitorInfoA(HMONITOR monitor, MONITORINFO* info) {
  HWND asked = g_askedFor;
  g_askedFor = nullptr;
  if (!GetMonitorInfoA(monitor, info)) return FALSE;
  FitWorkAreaToHolder(asked, monitor, info);
  return TRUE;
}

BOOL WINAPI GdkGetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
  HWND asked = g_askedFor;
  g_askedFor = nullptr;
  if (!GetMonitorInfoW(monitor, info)) return FALSE;
  FitWorkAreaToHolder(asked, monitor, info);
  return TRUE;
}

struct Replacement {
  const char* name;
  void* function;
};

const Replacement kReplacements[] = {
    {"GetAncestor", reinterpret_cast<void*>(&GdkGetAncestor)},
    {"SetWindowPos", reinterpret_cast<void*>(&GdkSetWindowPos)},
    {"MoveWindow", reinterpret_cast<void*>(&GdkMoveWindow)},
    {"MonitorFromWindow", reinterpret_cast<void*>(&GdkMonitorFromWindow)},
    {"GetMonitorInfoA", reinterpret_cast<void*>(&GdkGetMonitorInfoA)},
    {"GetMonitorInfoW", reinterpret_cast<void*>(&GdkGetMonitorInfoW)},
#if defined(_WIN64)
    {"SetWindowLongPtrA", reinterpret_cast<void*>(&GdkSetWindowLongPtrA)},
    {"SetWindowLongPtrW", reinterpret_cast<void*>(&GdkSetWindowLongPtrW)},
#else
    {"SetWindowLongA", reinterpret_cast<void*>(&GdkSetWindowLongA)},
    {"SetWindowLongW", reinterpret_cast<void*>(&GdkSetWindowLongW)},
#endif
};

void* ReplacementFor(const char* name) {
  for (const Replacement& r : kReplacements) {
    if (std::strcmp(r.name, name) == 0) return r.function;
  }
  return nullptr;
}

void WriteSlot(void** slot, void* value) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return;
  *static_cast<void* volatile*>(slot) = value;  // one aligned word: a concurrent call sees either
  VirtualProtect(slot, sizeof(void*), old, &old);
}

// Rewrites the module's import entries for user32's calls named above; returns how many.
int RewriteImports(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return 0;
  int rewritten = 0;
  for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       desc->Name; ++desc) {
    if (_stricmp(reinterpret_cast<char*>(base + desc->Name), "user32.dll") != 0) continue;
    if (!desc->OriginalFirstThunk) continue;  // no names left to read
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      void* replacement = ReplacementFor(reinterpret_cast<char*>(byName->Name));
      if (!replacement) continue;
      WriteSlot(reinterpret_cast<void**>(&slots->u1.Function), replacement);
      ++rewritten;
    }
  }
  return rewritten;
}

}  // namespace

namespace {

// GTK 2's own calls, the same in every release GIMP 2.x ships with.
struct GtkCalls {
  void* (*lookup)(HWND);            // gdk_win32_handle_table_lookup
  void (*userData)(void*, void**);  // gdk_window_get_user_data
  size_t (*windowType)();           // gtk_window_get_type
  int (*isA)(void*, size_t);        // g_type_check_instance_is_a
  const char* (*role)(void*);       // gtk_window_get_role
};

template <typename F>
void Resolve(F& function, const char* module, const char* name) {
  HMODULE loaded = GetModuleHandleA(module);
  function =
      loaded ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(loaded, name))) : nullptr;
}

}  // namespace

// Called on the window's own thread, GTK's: GTK is not to be called from any other.
void NoteGimpKind(HWND window) {
  // Every program on the desktop runs this at each show: held windows only, before anything
  // else (the atom too).
  if (!Holder(window)) return;
  static const ATOM kind = PropAtom(kGimpKindProp);
  if (GetPropA(window, MAKEINTATOM(kind))) return;
  GtkCalls gtk = {};
  Resolve(gtk.lookup, kGdkModule, "gdk_win32_handle_table_lookup");
  Resolve(gtk.userData, kGdkModule, "gdk_window_get_user_data");
  Resolve(gtk.windowType, "libgtk-win32-2.0-0.dll", "gtk_window_get_type");
  Resolve(gtk.role, "libgtk-win32-2.0-0.dll", "gtk_window_get_role");
  Resolve(gtk.isA, "libgobject-2.0-0.dll", "g_type_check_instance_is_a");
  if (!gtk.lookup || !gtk.userData || !gtk.windowType || !gtk.role || !gtk.isA) return;
  void* gdkWindow = gtk.lookup(window);
  void* widget = nullptr;
  if (gdkWindow) gtk.userData(gdkWindow, &widget);
  if (!widget || !gtk.isA(widget, gtk.windowType())) return;
  const char* role = gtk.role(widget);
  if (!role) return;  // GTK knows the window, but GIMP gave it no role yet
  const INT_PTR found = GimpKindOfRole(role);
  SetPropA(window, MAKEINTATOM(kind), reinterpret_cast<HANDLE>(found));
}

void InterceptGdk() {
  if (*static_cast<volatile LONG*>(&g_intercepted)) return;
  HMODULE gdk = GetModuleHandleA(kGdkModule);
  if (!gdk) return;  // not a GTK 2 program, or GDK not loaded yet: tried again at the next window
  // GDK calls into this library for the rest of the process's life, long after the hook is
  // removed or its backdrop gone: the library must never be unloaded from this process.
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&InterceptGdk), &self)) {
    return;
  }
  if (InterlockedExchange(&g_intercepted, 1)) return;
  RewriteImports(gdk);
}
