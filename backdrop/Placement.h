// The saved placement of the backdrop window: pure conversions between the five stored values
// and the platform's placement record.
#pragma once

#include <windows.h>

struct StoredPlacement {
  LONG x, y, width, height;  // the normal (restored) rectangle
  UINT showCommand;          // 1 normal, 2 minimised, 3 maximised
};

inline WINDOWPLACEMENT ToPlacement(const StoredPlacement& stored) {
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  placement.showCmd = stored.showCommand;
  placement.rcNormalPosition = {stored.x, stored.y, stored.x + stored.width,
                                stored.y + stored.height};
  return placement;
}

inline StoredPlacement FromPlacement(const WINDOWPLACEMENT& placement) {
  const RECT& r = placement.rcNormalPosition;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top, placement.showCmd};
}

static_assert(sizeof(WINDOWPLACEMENT) == 44, "the placement record the settings mirror");
