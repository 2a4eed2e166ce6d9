// The backdrop draws nothing that scrolls: its scroll bars move the adopted windows.
#include "BackdropWindow.h"

#include <algorithm>

#include "ScrollMath.h"

void BackdropWindow::UpdateScrollRanges(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  // By hand, not UnionRect, which drops an empty rectangle: a client area shrunk to nothing
  // still stands at the origin.
  RECT reach = client;
  for (HWND adopted : tracker.Distinct()) {
    // A window GIMP keeps hidden (docks hidden with Tab, a dialog kept for later) shows nothing
    // to scroll to; the window's own visibility bit, as minimising keeps the backdrop's set.
    if (!(GetWindowLongPtrA(adopted, GWL_STYLE) & WS_VISIBLE)) continue;
    if (GetAncestor(adopted, GA_PARENT) != window) continue;  // moves with the window holding it
    RECT r;
    GetWindowRect(adopted, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    reach = {std::min(reach.left, r.left), std::min(reach.top, r.top),
             std::max(reach.right, r.right), std::max(reach.bottom, r.bottom)};
  }
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  // The position with the range: a range set alone lets the system move the thumb off it.
  info.fMask = SIF_RANGE | SIF_POS;
  const ScrollRange across = ScrollRangeOf(reach.left, reach.right, hScrollPos, client.right);
  info.nMin = across.min;
  info.nMax = across.max;
  info.nPos = hScrollPos;
  SetScrollInfo(window, SB_HORZ, &info, FALSE);
  const ScrollRange down = ScrollRangeOf(reach.top, reach.bottom, vScrollPos, client.bottom);
  info.nMin = down.min;
  info.nMax = down.max;
  info.nPos = vScrollPos;
  SetScrollInfo(window, SB_VERT, &info, FALSE);
}

void BackdropWindow::OnScroll(HWND window, int bar, WPARAM wParam) {
  int& position = bar == SB_HORZ ? hScrollPos : vScrollPos;
  const int old = position;
  int min = 0, max = 0;
  GetScrollRange(window, bar, &min, &max);
  // The message carries 16 bits of the thumb's place; the bar keeps all 32 while it is dragged.
  SCROLLINFO tracking = {};
  tracking.cbSize = sizeof(tracking);
  tracking.fMask = SIF_TRACKPOS;
  GetScrollInfo(window, bar, &tracking);
  const int thumb = ThumbPosition(HIWORD(wParam), tracking.nTrackPos, min, max);
  const int now = NewScrollPosition(LOWORD(wParam), thumb, old, min, max);
  SetScrollPos(window, bar, now, TRUE);
  position = now;
  const int moved = old - now;
  if (bar == SB_HORZ) {
    ScrollAdopted(window, moved, 0);
  } else {
    ScrollAdopted(window, 0, moved);
  }
}

void BackdropWindow::ScrollAdopted(HWND window, int dx, int dy) {
  // Snapping is for the user's moves: a scroll that leaves an edge a few pixels off the client
  // edge must not pull that window out of step with the rest. Each move below is carried out
  // before SetWindowPos returns, so the pause covers exactly these moves.
  tracker.SetSnap(0);
  for (HWND adopted : tracker.Distinct()) {
    StopIfFailing();
    // A window standing inside another adopted window (Wine re-parents GDK's transient
    // dialogs into their owner) moves with that one.
    if (GetAncestor(adopted, GA_PARENT) != window) continue;
    RECT r;
    GetWindowRect(adopted, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    // Moving must not activate: each activation would raise a window and reorder the list.
    SetWindowPos(adopted, nullptr, r.left + dx, r.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  tracker.SetSnap(static_cast<int>(settings.Get(kSnap)));
}

void BackdropWindow::ScrollIntoView(HWND window, HWND adopted) {
  RECT client, r;
  GetClientRect(window, &client);
  GetWindowRect(adopted, &r);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
  const POINT move = IntoView(client, r);
  if (!move.x && !move.y) return;
  ScrollAdopted(window, move.x, move.y);
  // The bars follow as if the user had scrolled by that much.
  hScrollPos -= move.x;
  vScrollPos -= move.y;
  UpdateScrollRanges(window);
  SetScrollPos(window, SB_HORZ, hScrollPos, TRUE);
  SetScrollPos(window, SB_VERT, vScrollPos, TRUE);
}

static_assert(sizeof(SCROLLINFO) == 28, "the scroll bar record");
