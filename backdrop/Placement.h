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
  // Stored values are not range-checked: add as 32-bit two's complement, without overflow.
  auto add = [](LONG a, LONG b) {
    return static_cast<LONG>(static_cast<DWORD>(a) + static_cast<DWORD>(b));
  };
  placement.rcNormalPosition = {stored.x, stored.y, add(stored.x, stored.width),
                                add(stored.y, stored.height)};
  return placement;
}

inline StoredPlacement FromPlacement(const WINDOWPLACEMENT& placement) {
  const RECT& r = placement.rcNormalPosition;
  auto sub = [](LONG a, LONG b) {
    return static_cast<LONG>(static_cast<DWORD>(a) - static_cast<DWORD>(b));
  };
  return {r.left, r.top, sub(r.right, r.left), sub(r.bottom, r.top), placement.showCmd};
}

static_assert(sizeof(WINDOWPLACEMENT) == 44, "the placement record the settings mirror");
