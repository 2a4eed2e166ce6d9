// The Window menu's arrangements as rules on rectangles: cascade, the image grid, the largest
// free area, GIMP's layout, and which window takes which part.
#include <gtest/gtest.h>

#include <vector>

#include "Arrange.h"

// At global scope, where lookup for RECT finds them.
static bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

TEST(Arrange, CascadeGridFreeAreaAndGimpLayoutPlaceAsTheTablesSay) {
  const RECT area = {0, 0, 1000, 700};
  // Cascade: one caption a step, each at its own size unless it would leave the area; the 19th
  // window starts at the corner again, as a 19th step would leave less than half the height.
  const std::vector<RECT> cascade = Cascade(area, {{400, 300}, {400, 300}, {990, 690}}, 20);
  EXPECT_EQ((std::vector<RECT>{{0, 0, 400, 300}, {20, 20, 420, 320}, {40, 40, 1000, 700}}),
            cascade);
  const std::vector<RECT> many = Cascade(area, std::vector<SIZE>(19, SIZE{300, 200}), 20);
  EXPECT_EQ((RECT{340, 340, 640, 540}), many[17]);
  EXPECT_EQ((RECT{0, 0, 300, 200}), many[18]);

  // The grid of 1 to 7 images: its columns, the rows in each, and cells that cover the area
  // without overlapping.
  const std::vector<std::vector<int>> rows = {{1},       {1, 1},    {1, 2},   {2, 2},
                                              {1, 2, 2}, {2, 2, 2}, {2, 2, 3}};
  const RECT wide = {10, 20, 1210, 620};
  for (int n = 1; n <= 7; ++n) {
    const std::vector<RECT> cells = Grid(wide, n);
    ASSERT_EQ(static_cast<size_t>(n), cells.size());
    std::vector<int> perColumn;
    long long covered = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i == 0 || cells[i].left != cells[i - 1].left) perColumn.push_back(0);
      ++perColumn.back();
      covered += static_cast<long long>(WidthOf(cells[i])) * HeightOf(cells[i]);
      EXPECT_EQ(1200 / static_cast<LONG>(rows[n - 1].size()), WidthOf(cells[i])) << n;
      for (size_t j = 0; j < i; ++j) {
        RECT both;
        EXPECT_FALSE(IntersectRect(&both, &cells[i], &cells[j])) << n << ": " << i << " " << j;
      }
    }
    EXPECT_EQ(rows[n - 1], perColumn) << n;
    EXPECT_EQ(1200LL * 600, covered) << n;
  }
  EXPECT_EQ((RECT{410, 320, 810, 620}), Grid(wide, 5)[2]);

  // The largest free area beside the toolbox and docks, or the whole area without one.
  const struct {
    std::vector<RECT> aside;
    RECT free;
  } frees[] = {
      {{}, area},
      {{{0, 0, 200, 700}, {750, 0, 1000, 700}}, {200, 0, 750, 700}},
      {{{400, 100, 600, 300}}, {0, 300, 1000, 700}},
      {{{0, 0, 950, 700}}, area},  // 50 pixels left: no room
  };
  for (const auto& f : frees) EXPECT_EQ(f.free, LargestFreeArea(area, f.aside));

  // GIMP's layout with 0, 1 and 3 docks: full height, widths kept up to a third of the area.
  const RECT screen = {0, 0, 1200, 800};
  const SIZE toolbox = {250, 500};
  const struct {
    bool toolbox;
    std::vector<SIZE> docks;
    std::vector<RECT> docksAt;
    std::vector<RECT> imagesAt;  // two images
  } layouts[] = {
      {true, {}, {}, {{250, 0, 725, 800}, {725, 0, 1200, 800}}},
      {true, {{300, 400}}, {{900, 0, 1200, 800}}, {{250, 0, 575, 800}, {575, 0, 900, 800}}},
      {false,
       {{300, 100}, {500, 100}, {200, 900}},
       {{900, 0, 1200, 266}, {800, 266, 1200, 533}, {1000, 533, 1200, 800}},
       {{0, 0, 400, 800}, {400, 0, 800, 800}}},
  };
  for (const auto& l : layouts) {
    const GimpLayoutPlaces places = GimpLayout(screen, l.toolbox ? &toolbox : nullptr, l.docks, 2);
    if (l.toolbox) {
      EXPECT_EQ((RECT{0, 0, 250, 800}), places.toolbox);
    }
    EXPECT_EQ(l.docksAt, places.docks);
    EXPECT_EQ(l.imagesAt, places.images);
  }
}

// Where the hook read GIMP's role, it decides; otherwise the style and, before GIMP 2.6, which
// window came first.
TEST(Arrange, TheRoleDecidesAndWithoutItTheStyleAndTheFirstWindow) {
  const auto H = [](int n) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(n)); };
  const WindowKind U = WindowKind::Unknown;
  const ArrangeRole T = ArrangeRole::Toolbox, D = ArrangeRole::Dock, I = ArrangeRole::Image,
                    X = ArrangeRole::Untouched;
  const struct {
    int minor;
    std::vector<GimpWindowFacts> windows;
    std::vector<ArrangeRole> roles;
  } cases[] = {
      // Roles, whatever the style: docks with the Normal hint, a dialog.
      {10,
       {{H(1), 5, false, true, WindowKind::Toolbox},
        {H(2), 1, false, true, WindowKind::Dock},
        {H(3), 2, false, true, WindowKind::Image},
        {H(4), 3, false, false, WindowKind::Other}},
       {T, D, I, X}},
      // 2.10 without roles: the first utility window is the toolbox.
      {10,
       {{H(1), 3, true, false, U},
        {H(2), 2, true, false, U},
        {H(3), 1, false, true, U},
        {H(4), 4, false, false, U}},
       {D, T, I, X}},
      // 2.2 without roles: the first normal window is the toolbox, a dialog stays.
      {2,
       {{H(1), 2, false, true, U}, {H(2), 1, false, true, U}, {H(3), 3, false, false, U}},
       {I, T, X}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.roles, ArrangeRoles(c.windows, c.minor)) << c.minor;
}

}  // namespace
