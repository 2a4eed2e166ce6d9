// The backdrop draws nothing that scrolls: its scroll bars move the adopted windows.
#include "BackdropWindow.h"
#include "ScrollMath.h"

void BackdropWindow::UpdateScrollRanges(HWND window) {
  RECT reach = {};  // UnionRect ignores an empty rectangle: the first window replaces it
  for (HWND adopted : tracker.Snapshot()) {
    RECT r;
    GetWindowRect(adopted, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    UnionRect(&reach, &r, &reach);
  }
  RECT client;
  GetClientRect(window, &client);
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE;
  info.nMin = ScrollMinimum(hScrollPos);
  info.nMax = ScrollMaximum(reach.right, hScrollPos, client.right);
  SetScrollInfo(window, SB_HORZ, &info, FALSE);
  info.nMin = ScrollMinimum(vScrollPos);
  info.nMax = ScrollMaximum(reach.bottom, vScrollPos, client.bottom);
  SetScrollInfo(window, SB_VERT, &info, FALSE);
}

void BackdropWindow::OnScroll(HWND window, int bar, WPARAM wParam) {
  int& position = bar == SB_HORZ ? hScrollPos : vScrollPos;
  const int old = position;
  int min = 0, max = 0;
  GetScrollRange(window, bar, &min, &max);
  const int now = NewScrollPosition(LOWORD(wParam), HIWORD(wParam), old, min, max);
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
  for (HWND adopted : tracker.Distinct()) {
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
