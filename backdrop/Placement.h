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

// Where a released window goes: its place moved by the smallest amount that puts it inside
// area (a monitor's work area), or at area's top-left corner where it is larger than area.
inline POINT KeptInside(const RECT& window, const RECT& area) {
  const LONG width = window.right - window.left, height = window.bottom - window.top;
  POINT at = {window.left, window.top};
  if (at.x + width > area.right) at.x = area.right - width;
  if (at.y + height > area.bottom) at.y = area.bottom - height;
  if (at.x < area.left) at.x = area.left;
  if (at.y < area.top) at.y = area.top;
  return at;
}

static_assert(sizeof(WINDOWPLACEMENT) == 44, "the placement record the settings mirror");
