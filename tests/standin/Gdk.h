// How GTK 2.24's Windows backend (GDK) creates, styles, places and shows a top-level window,
// for the stand-in GIMP. GDK works in screen coordinates throughout; once a window's parent is
// not the desktop, several of these calls land somewhere else, and that is the point.
#pragma once

#include <windows.h>

#include <string>

enum class GdkHint { Normal, Utility, Dialog, Splash };

struct GdkWindow {
  HWND hwnd = nullptr;
  std::string role;      // "toolbox", "dock", "image", "empty", "dialog", "splash", "single"
  RECT asked = {};       // the client rectangle GTK asked for, in screen coordinates
  RECT learnt = {};      // what GDK last learnt from WM_WINDOWPOSCHANGED, screen coordinates
  POINT initial = {};    // where CW_USEDEFAULT put the window
  bool userPos = false;  // GIMP placed it (session): the first show keeps the place
  bool mapped = false;
  HWND transientFor = nullptr;
};

// CreateWindowExW at CW_USEDEFAULT with the desktop as parent, hidden, with the outer size for
// the asked client size; then the initial position is read and the window is moved to the
// asked position in screen coordinates.
bool GdkCreate(GdkWindow& window, const wchar_t* title, HINSTANCE instance);
// The style bits of a type hint, ending with the SetWindowPos(SWP_FRAMECHANGED) that passes
// the window's screen rectangle.
void GdkSetHint(GdkWindow& window, GdkHint hint);
// gtk_window_move/resize: the client rectangle in screen coordinates through the frame when
// the parent is the desktop; with any other parent, GTK's screen coordinates go through as the
// parent's client coordinates and the client size as the outer size.
void GdkMoveResize(GdkWindow& window, int x, int y, int width, int height);
// Shows the window; the first time, GDK's initial placement (unless GIMP placed it) and the
// clamp into the monitor's work area come first.
void GdkShow(GdkWindow& window);
// What GDK learns at WM_WINDOWPOSCHANGED: GetClientRect and ClientToScreen.
void GdkLearn(GdkWindow& window);
