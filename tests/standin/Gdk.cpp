#include "Gdk.h"

namespace {

constexpr DWORD kToplevelStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

RECT OuterFor(const RECT& client, HWND window) {
  RECT outer = client;
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  return outer;
}

}  // namespace

bool GdkCreate(GdkWindow& window, const wchar_t* title, HINSTANCE instance) {
  RECT outer = window.asked;
  AdjustWindowRectEx(&outer, kToplevelStyle, FALSE, 0);
  window.hwnd = CreateWindowExW(0, L"gdkWindowToplevel", title, kToplevelStyle, CW_USEDEFAULT, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, instance, nullptr);
  if (!window.hwnd) return false;
  RECT now;
  GetWindowRect(window.hwnd, &now);
  window.initial = {now.left, now.top};
  SetWindowPos(window.hwnd, nullptr, outer.left, outer.top, 0, 0,
               SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER);
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
  SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER);
}

void GdkMoveResize(GdkWindow& window, int x, int y, int width, int height) {
  const HWND hwnd = window.hwnd;
  if (GetAncestor(hwnd, GA_PARENT) != GetDesktopWindow()) {
    SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOACTIVATE | SWP_NOZORDER);
    return;
  }
  const RECT outer = OuterFor({x, y, x + width, y + height}, hwnd);
  SetWindowPos(hwnd, nullptr, outer.left, outer.top, outer.right - outer.left,
               outer.bottom - outer.top, SWP_NOACTIVATE | SWP_NOZORDER);
}

void GdkShow(GdkWindow& window) {
  const HWND hwnd = window.hwnd;
  if (!window.mapped) {
    window.mapped = true;
    if (!window.userPos) {
      POINT at = window.initial;
      RECT owner, self;
      if (window.transientFor && IsWindowVisible(window.transientFor) &&
          GetWindowRect(window.transientFor, &owner) && GetWindowRect(hwnd, &self)) {
        at.x = (owner.left + owner.right - (self.right - self.left)) / 2;
        at.y = (owner.top + owner.bottom - (self.bottom - self.top)) / 2;
      }
      SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER);
    }
    // Never off the screen: clamped into the nearest monitor's work area.
    RECT rect;
    GetWindowRect(hwnd, &rect);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    if (rect.right > work.right) OffsetRect(&rect, work.right - rect.right, 0);
    if (rect.bottom > work.bottom) OffsetRect(&rect, 0, work.bottom - rect.bottom);
    if (rect.left < work.left) OffsetRect(&rect, work.left - rect.left, 0);
    if (rect.top < work.top) OffsetRect(&rect, 0, work.top - rect.top);
    SetWindowPos(hwnd, nullptr, rect.left, rect.top, 0, 0,
                 SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER);
  }
  ShowWindow(
      hwnd, window.role == "dialog" || window.role == "splash" ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
  GdkLearn(window);
}

void GdkLearn(GdkWindow& window) {
  RECT client;
  GetClientRect(window.hwnd, &client);
  POINT origin = {0, 0};
  ClientToScreen(window.hwnd, &origin);
  window.learnt = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}
