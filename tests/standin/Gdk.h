// How GTK 2.24's Windows backend (GDK) creates, styles, places and shows a top-level window,
// for the stand-in GIMP. It lives in a DLL of GDK's own name and imports its window calls from
// user32 as GDK does, so the stand-in crosses the same module boundary as GIMP. GDK works in
// screen coordinates throughout and takes a window whose parent is not the desktop for a child.
#pragma once

#include <windows.h>

#include <string>

#ifdef GDK_STANDIN_BUILD
#define GDK_API __declspec(dllexport)
#else
#define GDK_API __declspec(dllimport)
#endif

enum class GdkHint { Normal, Utility, Dialog, Splash };

struct GdkWindow {
  HWND hwnd = nullptr;
  std::string
      role;         // the stand-in's: "toolbox", "dock", "image", "dialog", ...; GDK never reads it
  RECT asked = {};  // GTK's request: the frame's corner on the screen and the client size
  POINT meant = {};  // where GDK last placed the frame's corner, in screen coordinates
  RECT learnt = {};  // what GDK last learnt from WM_WINDOWPOSCHANGED: the client area on the screen
  POINT initial = {};    // where CW_USEDEFAULT put the frame, as GDK read it after creation
  bool userPos = false;  // GTK set a position (a session restore): showing keeps it
  bool focusOnMap = false;
  bool splash = false;  // centred on the monitor at its first show
  bool mapped = false;
  HWND transientFor = nullptr;
};

// CreateWindowExW at CW_USEDEFAULT with the desktop as parent, hidden, with the outer size for
// the asked client size; then the initial position is read, and the frame is moved to the asked
// position when GTK gave one.
GDK_API bool GdkCreate(GdkWindow& window, const wchar_t* title, HINSTANCE instance);
// The style bits of a type hint, ending with the SetWindowPos(SWP_FRAMECHANGED) that passes
// the window's screen rectangle.
GDK_API void GdkSetHint(GdkWindow& window, GdkHint hint);
// gtk_window_move and gtk_window_resize, reaching GDK as one move_resize: the frame's corner in
// screen coordinates and the outer size for the client size while the parent is the desktop;
// with any other parent, GDK's child path passes both through unchanged.
GDK_API void GdkMoveResize(GdkWindow& window, int x, int y, int width, int height);
// SetWindowLongPtr(GWLP_HWNDPARENT), as gdk_window_set_transient_for.
GDK_API void GdkSetTransientFor(GdkWindow& window, HWND owner);
// Shows the window. At a map (the first show, and every show after a hide): unless GTK set a
// position, the initial place (centred on a shown transient owner, or on the monitor for the
// splash); then, only if the frame sticks out of the monitor's work area, one move that pulls
// it in.
GDK_API void GdkShow(GdkWindow& window);
// Hides the window: the next show maps it again.
GDK_API void GdkHide(GdkWindow& window);
// What GDK learns at WM_WINDOWPOSCHANGED: GetClientRect and ClientToScreen.
GDK_API void GdkLearn(GdkWindow& window);
