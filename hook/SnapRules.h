// Edge snapping: pure rules on rectangles, shared by the hook procedure and its tests.
#pragma once

#include <windows.h>

constexpr LONG kSnapDistance = 4;  // pixels, inclusive

// Applies one rule: when the edge lies 1 to kSnapDistance pixels off its target, both edges of
// that axis shift by the distance, so the window keeps its size.
inline bool SnapAxis(LONG distance, LONG& low, LONG& high) {
  if (distance == 0 || distance > kSnapDistance || distance < -kSnapDistance) return false;
  low -= distance;
  high -= distance;
  return true;
}

// Pulls the window's edges onto the client edges they came near, bottom, top, right, left in
// that order, each measuring from what the earlier ones left; so top wins over bottom and left
// over right when both are near. Returns true only when the rectangle ends up different: when
// opposite rules cancel out, the window already stands where snapping puts it, and moving it
// again would only start another pass of the same rules.
inline bool SnapToEdges(const RECT& client, RECT& window) {
  const RECT before = window;
  SnapAxis(window.bottom - client.bottom, window.top, window.bottom);
  SnapAxis(window.top - client.top, window.top, window.bottom);
  SnapAxis(window.right - client.right, window.left, window.right);
  SnapAxis(window.left - client.left, window.left, window.right);
  return window.left != before.left || window.top != before.top || window.right != before.right ||
         window.bottom != before.bottom;
}
