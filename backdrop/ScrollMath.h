// Scroll arithmetic of the backdrop: pure, so tests check it without windows.
#pragma once

#include <windows.h>

// A line and a page are both this many pixels.
constexpr int kScrollStep = 10;

// The new position for a scroll bar request. Line and page steps stay within [min, max];
// thumb positions are taken as they come; SB_ENDSCROLL and unknown codes keep the position.
inline int NewScrollPosition(int code, int thumb, int old, int min, int max) {
  switch (code) {
    case SB_LINEUP:
    case SB_PAGEUP:
      return old - kScrollStep < min ? min : old - kScrollStep;
    case SB_LINEDOWN:
    case SB_PAGEDOWN:
      return old + kScrollStep > max ? max : old + kScrollStep;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      return thumb;
    case SB_TOP:
      return min;
    case SB_BOTTOM:
      return max;
    default:
      return old;
  }
}

// How far to move all adopted windows so that one of them (its rectangle in the client area's
// coordinates) stands inside the client area: 0 on an axis where it already does. A window
// larger than the area shows its left or top edge.
inline POINT IntoView(const RECT& client, const RECT& window) {
  auto axis = [](LONG low, LONG high, LONG from, LONG to) -> LONG {
    if (from >= low && to <= high) return 0;
    if (from < low || to - from > high - low) return low - from;
    return high - to;
  };
  return {axis(client.left, client.right, window.left, window.right),
          axis(client.top, client.bottom, window.top, window.bottom)};
}

// The bar's minimum: 0, or the position when a scroll into view went above or left of it.
inline int ScrollMinimum(int position) { return position < 0 ? position : 0; }

// The bar's maximum: how far the adopted windows reach past the client area, in the scrolled
// area's coordinates. Negative when they all end inside it.
inline int ScrollMaximum(LONG unionFarEdge, int position, LONG clientFarEdge) {
  return static_cast<int>(unionFarEdge + position - clientFarEdge);
}
