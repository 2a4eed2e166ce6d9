#include "Gdk.h"

namespace {

constexpr DWORD kToplevelStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr UINT kPlace = SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER;

// The outer size for a client size, with the window's present styles.
SIZE OuterSize(HWND window, LONG width, LONG height) {
  RECT outer = {0, 0, width, height};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  return {outer.right - outer.left, outer.bottom - outer.top};
}

void Place(GdkWindow& window, int x, int y) {
  window.meant = {x, y};
  SetWindowPos(window.hwnd, nullptr, x, y, 0, 0, kPlace);
}

}  // namespace

bool GdkCreate(GdkWindow& window, const wchar_t* title, HINSTANCE instance) {
  RECT outer = {0, 0, window.asked.right - window.asked.left,
                window.asked.bottom - window.asked.top};
  AdjustWindowRectEx(&outer, kToplevelStyle, FALSE, 0);
  window.hwnd = CreateWindowExW(0, L"gdkWindowToplevel", title, kToplevelStyle, CW_USEDEFAULT, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, instance, nullptr);
  if (!window.hwnd) return false;
  RECT now;
  GetWindowRect(window.hwnd, &now);
  window.initial = window.meant = {now.left, now.top};
  if (window.userPos) Place(window, window.asked.left, window.asked.top);
  return true;
}

void GdkSetHint(GdkWindow& window, GdkHint hint) {
  const HWND hwnd = window.hwnd;
  const LONG oldStyle = GetWindowLongW(hwnd, GWL_STYLE);
  const LONG oldExStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
  LONG style = oldStyle, exStyle = oldExStyle;
  switch (hint) {
    case GdkHint::Utility:
      exStyle |= WS_EX_TOOLWINDOW;
      style &= ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
      break;
    case GdkHint::Dialog:
      style &= ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
      break;
    case GdkHint::Splash:  // no decorations
      style &= ~(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
      window.splash = true;
      break;
    case GdkHint::Normal:
      break;
  }
  SetWindowLongW(hwnd, GWL_STYLE, style);
  SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle);
  // Keep the client area where it was: the frame changes around it, in screen coordinates.
  RECT client, before, after;
  GetClientRect(hwnd, &client);
  before = after = client;
  AdjustWindowRectEx(&before, static_cast<DWORD>(oldStyle), FALSE, static_cast<DWORD>(oldExStyle));
  AdjustWindowRectEx(&after, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(exStyle));
  RECT rect;
  GetWindowRect(hwnd, &rect);
  rect.left += after.left - before.left;
  rect.top += after.top - before.top;
  rect.right += after.right - before.right;
  rect.bottom += after.bottom - before.bottom;
  window.meant = {rect.left, rect.top};
  SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER);
}

void GdkMoveResize(GdkWindow& window, int x, int y, int width, int height) {
  const HWND hwnd = window.hwnd;
  window.meant = {x, y};
  if (GetAncestor(hwnd, GA_PARENT) != GetDesktopWindow()) {  // GDK's child path
    SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOACTIVATE | SWP_NOZORDER);
    return;
  }
  const SIZE outer = OuterSize(hwnd, width, height);
  SetWindowPos(hwnd, nullptr, x, y, outer.cx, outer.cy, SWP_NOACTIVATE | SWP_NOZORDER);
}

void GdkSetTransientFor(GdkWindow& window, HWND owner) {
  window.transientFor = owner;
  SetWindowLongPtrA(window.hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
}

void GdkShow(GdkWindow& window) {
  const HWND hwnd = window.hwnd;
  if (!window.mapped) {
    window.mapped = true;
    if (!window.userPos) {
      POINT at = window.initial;
      RECT self;
      GetClientRect(hwnd, &self);
      const SIZE outer = OuterSize(hwnd, self.right, self.bottom);
      RECT center = {};
      bool centred = false;
      if (window.splash) {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
        center = monitor.rcMonitor;
        centred = true;
      } else if (window.transientFor && IsWindowVisible(window.transientFor)) {
        // The owner's client area as GDK knows it, grown by the owner's frame.
        GetClientRect(window.transientFor, &center);
        MapWindowPoints(window.transientFor, nullptr, reinterpret_cast<POINT*>(&center), 2);
        AdjustWindowRectEx(
            &center, static_cast<DWORD>(GetWindowLongW(window.transientFor, GWL_STYLE)), FALSE,
            static_cast<DWORD>(GetWindowLongW(window.transientFor, GWL_EXSTYLE)));
        centred = true;
      }
      if (centred) {
        at.x = center.left + (center.right - center.left - outer.cx) / 2;
        at.y = center.top + (center.bottom - center.top - outer.cy) / 2;
      }
      Place(window, at.x, at.y);
    }
    // Never off the screen: moved into the nearest monitor's work area, only when it sticks out.
    RECT rect;
    GetWindowRect(hwnd, &rect);
    const POINT was = {rect.left, rect.top};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    if (rect.right > work.right) OffsetRect(&rect, work.right - rect.right, 0);
    if (rect.bottom > work.bottom) OffsetRect(&rect, 0, work.bottom - rect.bottom);
    if (rect.left < work.left) OffsetRect(&rect, work.left - rect.left, 0);
    if (rect.top < work.top) OffsetRect(&rect, 0, work.top - rect.top);
    if (rect.left != was.x || rect.top != was.y) Place(window, rect.left, rect.top);
  }
  ShowWindow(hwnd, window.focusOnMap ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
  GdkLearn(window);
}

void GdkHide(GdkWindow& window) {
  window.mapped = false;
  ShowWindow(window.hwnd, SW_HIDE);
}

void GdkLearn(GdkWindow& window) {
  RECT client;
  GetClientRect(window.hwnd, &client);
  POINT origin = {0, 0};
  ClientToScreen(window.hwnd, &origin);
  window.learnt = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}
