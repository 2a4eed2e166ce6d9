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

// One bar's range, in the scrolled area's coordinates. The scrolled area spans the client area,
// the place it had at position 0, and every shown adopted window, on both sides (low and high are
// the edges of the client area and the windows on this axis, in client coordinates): position 0
// stays in reach, so the bar always scrolls home, and the position always lies in the range, so
// a bar disappears (minimum equal to maximum) only at home with nothing out of view on its axis.
struct ScrollRange {
  int min, max;
};
inline ScrollRange ScrollRangeOf(LONG low, LONG high, int position, LONG clientEnd) {
  const int start = static_cast<int>(low + position),
            end = static_cast<int>(high + position - clientEnd);
  return {start < 0 ? start : 0, end > 0 ? end : 0};
}

// A thumb position. While the user drags, the bar's own 32-bit tracking position (its low 16
// bits are the message's); otherwise the message's 16 bits are all there is, read as the value
// with those low bits that lies in the range, or next to it: a negative position, or one past
// 32,767, then comes whole instead of wrapping about 65,000 pixels away.
inline int ThumbPosition(unsigned thumb16, int tracking, int min, int max) {
  thumb16 &= 0xFFFF;
  if ((static_cast<unsigned>(tracking) & 0xFFFF) == thumb16) return tracking;
  // The first value at or above the minimum with those low bits, or the one 65536 below it.
  const long long above =
      min + static_cast<long long>((thumb16 - static_cast<unsigned>(min)) & 0xFFFF);
  if (above <= max || above - max < min - (above - 65536)) return static_cast<int>(above);
  return static_cast<int>(above - 65536);
}
