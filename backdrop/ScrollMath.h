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

// The bar's maximum: how far the adopted windows reach past the client area, in the scrolled
// area's coordinates. Negative when they all end inside it.
inline int ScrollMaximum(LONG unionFarEdge, int position, LONG clientFarEdge) {
  return static_cast<int>(unionFarEdge + position - clientFarEdge);
}
