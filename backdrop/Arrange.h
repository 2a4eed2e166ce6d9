// Arranging GIMP's windows from the Window menu: pure rules on frame rectangles in the backdrop's
// client coordinates, so tests use them directly.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "CloseRule.h"

// What an arrangement does with a window.
enum class ArrangeRole { Toolbox, Dock, Image, Untouched };

// The role each of GIMP's windows takes, by what GIMP made it for where the hook could read that.
// Where it could not (no GTK role): a utility window is a dock, the first of them the toolbox;
// a window with a minimise or maximise box is an image, except that before 2.6, which has no
// utility hint, the toolbox is the first window GIMP makes after its splash; anything else is
// a dialog and stays where it is.
inline std::vector<ArrangeRole> ArrangeRoles(const std::vector<GimpWindowFacts>& windows,
                                             int minor) {
  const bool oldGimp = QuitRuleFor(minor) == QuitRule::Toolbox;
  const GimpWindowFacts* first = nullptr;  // the toolbox where no role says otherwise
  for (const GimpWindowFacts& w : windows) {
    if (w.kind != WindowKind::Unknown || !(oldGimp ? w.normalHint && !w.toolWindow : w.toolWindow))
      continue;
    if (!first || w.order < first->order) first = &w;
  }
  std::vector<ArrangeRole> roles;
  for (const GimpWindowFacts& w : windows) {
    ArrangeRole role = ArrangeRole::Untouched;
    switch (w.kind) {
      case WindowKind::Toolbox:
        role = ArrangeRole::Toolbox;
        break;
      case WindowKind::Dock:
        role = ArrangeRole::Dock;
        break;
      case WindowKind::Image:
        role = ArrangeRole::Image;
        break;
      case WindowKind::Other:
        break;
      case WindowKind::Unknown:
        if (&w == first) {
          role = ArrangeRole::Toolbox;
        } else if (w.toolWindow) {
          role = ArrangeRole::Dock;
        } else if (w.normalHint) {
          role = ArrangeRole::Image;
        }
        break;
    }
    roles.push_back(role);
  }
  return roles;
}

// One of GIMP's windows an arrangement may move, with its frame in the backdrop's client area.
struct ArrangedWindow {
  HWND window;
  ArrangeRole role;
  RECT frame;
  int depth;            // its place in the backdrop's Z order, 0 on top
  unsigned long order;  // adoption order: the order GIMP opened its windows
};

inline LONG WidthOf(const RECT& r) { return r.right - r.left; }
inline LONG HeightOf(const RECT& r) { return r.bottom - r.top; }

// Cascade: each window one step further right and down from the area's top-left corner, at its
// own size, made smaller where it would leave the area. Once the next step would leave less
// than half the area's width or height to a window, the next one starts at the corner again.
// The last window stands furthest down, fully in view: the caller passes the top one last.
inline std::vector<RECT> Cascade(const RECT& area, const std::vector<SIZE>& sizes, LONG step) {
  step = std::max<LONG>(step, 1);
  const LONG steps = std::max<LONG>(1, std::min(WidthOf(area) / 2, HeightOf(area) / 2) / step + 1);
  std::vector<RECT> placed;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const LONG offset = static_cast<LONG>(i % static_cast<size_t>(steps)) * step;
    const LONG x = area.left + offset, y = area.top + offset;
    placed.push_back({x, y, x + std::max<LONG>(0, std::min(sizes[i].cx, area.right - x)),
                      y + std::max<LONG>(0, std::min(sizes[i].cy, area.bottom - y))});
  }
  return placed;
}

// A grid of count near-equal cells filling the area, columns first: as many columns as the
// square root of count rounded up, the rows shared among them, the columns to the right taking
// one more where they do not share evenly. Cells go down each column, then on to the next.
inline std::vector<RECT> Grid(const RECT& area, int count) {
  std::vector<RECT> cells;
  if (count <= 0) return cells;
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  const LONG width = WidthOf(area), height = HeightOf(area);
  for (int c = 0; c < columns; ++c) {
    const int rows = count / columns + (c >= columns - count % columns ? 1 : 0);
    const LONG left = area.left + width * c / columns,
               right = area.left + width * (c + 1) / columns;
    for (int r = 0; r < rows; ++r) {
      cells.push_back(
          {left, area.top + height * r / rows, right, area.top + height * (r + 1) / rows});
    }
  }
  return cells;
}

// A free area smaller than this either way is no room for images: they tile the whole area.
constexpr LONG kMinTileSpace = 100;

// The largest rectangle of the area that none of the obstacles covers (the first of equal ones
// found, from the left and top), or the whole area when that leaves no room.
inline RECT LargestFreeArea(const RECT& area, const std::vector<RECT>& obstacles) {
  std::vector<LONG> xs = {area.left, area.right}, ys = {area.top, area.bottom};
  for (const RECT& o : obstacles) {
    for (LONG x : {o.left, o.right}) {
      if (x > area.left && x < area.right) xs.push_back(x);
    }
    for (LONG y : {o.top, o.bottom}) {
      if (y > area.top && y < area.bottom) ys.push_back(y);
    }
  }
  std::sort(xs.begin(), xs.end());
  std::sort(ys.begin(), ys.end());
  RECT best = {};
  long long bestArea = 0;
  for (size_t l = 0; l < xs.size(); ++l) {
    for (size_t r = l + 1; r < xs.size(); ++r) {
      for (size_t t = 0; t < ys.size(); ++t) {
        for (size_t b = t + 1; b < ys.size(); ++b) {
          const RECT c = {xs[l], ys[t], xs[r], ys[b]};
          const long long size = static_cast<long long>(WidthOf(c)) * HeightOf(c);
          if (size <= bestArea) continue;
          const bool free = std::none_of(obstacles.begin(), obstacles.end(), [&](const RECT& o) {
            return o.left < c.right && c.left < o.right && o.top < c.bottom && c.top < o.bottom;
          });
          if (free) {
            best = c;
            bestArea = size;
          }
        }
      }
    }
  }
  return WidthOf(best) < kMinTileSpace || HeightOf(best) < kMinTileSpace ? area : best;
}

// GIMP's own layout: the toolbox at the area's left edge and the docks stacked at its right
// edge, full height between them, each keeping its width unless that is more than a third of
// the area's; the images in a grid in the space between.
struct GimpLayoutPlaces {
  RECT toolbox;
  std::vector<RECT> docks;
  std::vector<RECT> images;
};

inline GimpLayoutPlaces GimpLayout(const RECT& area, const SIZE* toolbox,
                                   const std::vector<SIZE>& docks, int images) {
  GimpLayoutPlaces places = {};
  const LONG most = WidthOf(area) / 3;
  RECT between = area;
  if (toolbox) {
    places.toolbox = {area.left, area.top, area.left + std::min(toolbox->cx, most), area.bottom};
    between.left = places.toolbox.right;
  }
  const LONG count = static_cast<LONG>(docks.size());
  for (LONG i = 0; i < count; ++i) {
    const LONG width = std::min(docks[static_cast<size_t>(i)].cx, most);
    places.docks.push_back({area.right - width, area.top + HeightOf(area) * i / count, area.right,
                            area.top + HeightOf(area) * (i + 1) / count});
    between.right = std::min(between.right, area.right - width);
  }
  places.images = Grid(between, images);
  return places;
}
