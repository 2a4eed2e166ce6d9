#include <gtest/gtest.h>

#include "SnapRules.h"

namespace {

const RECT kClient = {100, 200, 900, 800};  // the backdrop's client area on the screen

RECT Shifted(RECT r, LONG dx, LONG dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

::testing::AssertionResult Same(const RECT& want, const RECT& got) {
  if (want.left == got.left && want.top == got.top && want.right == got.right &&
      want.bottom == got.bottom) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "got (" << got.left << "," << got.top << ")-(" << got.right << "," << got.bottom
         << "), want (" << want.left << "," << want.top << ")-(" << want.right << "," << want.bottom
         << ")";
}

TEST(SnapRules, EachEdgeSnapsFromOneToFourPixelsOnEitherSideAndNotFromZeroOrFive) {
  // A window well inside, 200 x 100, then placed near each edge in turn.
  const RECT atBottom = {300, 700, 500, 800};
  const RECT atTop = {300, 200, 500, 300};
  const RECT atRight = {700, 400, 900, 500};
  const RECT atLeft = {100, 400, 300, 500};
  struct Edge {
    RECT snapped;
    LONG dx, dy;
  } edges[] = {{atBottom, 0, 1}, {atTop, 0, 1}, {atRight, 1, 0}, {atLeft, 1, 0}};
  for (const Edge& e : edges) {
    for (LONG d = -5; d <= 5; ++d) {
      RECT w = Shifted(e.snapped, e.dx * d, e.dy * d);
      const RECT before = w;
      const bool moved = SnapToEdges(kClient, w);
      if (d == 0 || d == 5 || d == -5) {
        EXPECT_FALSE(moved) << "distance " << d;
        EXPECT_TRUE(Same(before, w)) << "distance " << d;
      } else {
        EXPECT_TRUE(moved) << "distance " << d;
        EXPECT_TRUE(Same(e.snapped, w)) << "distance " << d;
      }
    }
  }
}

TEST(SnapRules, ACornerSnapsOnBothAxesAndKeepsTheSize) {
  RECT w = {103, 197, 403, 497};  // 3 right of the left edge, 3 above the top
  EXPECT_TRUE(SnapToEdges(kClient, w));
  EXPECT_TRUE(Same({100, 200, 400, 500}, w));
}

TEST(SnapRules, WhenBothOppositeEdgesAreNearTopAndLeftDecide) {
  // 3 pixels shorter than the client area, 1 below its top: the bottom rule moves it down 2,
  // then the top rule moves it up 3.
  RECT w = {300, 201, 500, 798};
  EXPECT_TRUE(SnapToEdges(kClient, w));
  EXPECT_TRUE(Same({300, 200, 500, 797}, w));
  // The same on the other axis: 2 narrower, 1 right of the left edge.
  RECT h = {101, 400, 899, 500};
  EXPECT_TRUE(SnapToEdges(kClient, h));
  EXPECT_TRUE(Same({100, 400, 898, 500}, h));
}

TEST(SnapRules, ASnappedRectangleStaysPutSoTheMoveItCausesEndsThePasses) {
  // The rules applied to what they produced give the same rectangle and ask for no move, also
  // when opposite rules cancel out; otherwise each move would start another pass.
  const RECT cases[] = {{300, 201, 500, 798},
                        {101, 400, 899, 500},
                        {103, 197, 403, 497},
                        {98, 203, 902, 795},
                        {300, 796, 500, 803}};
  for (RECT w : cases) {
    SnapToEdges(kClient, w);
    const RECT once = w;
    EXPECT_FALSE(SnapToEdges(kClient, w));
    EXPECT_TRUE(Same(once, w));
  }
}

TEST(SnapRules, AWindowLargerThanTheClientArea) {
  RECT w = {98, 198, 903, 805};  // left -2, top -2, right +3, bottom +5
  EXPECT_TRUE(SnapToEdges(kClient, w));
  // Bottom is 5 out (no snap); top snaps down 2; right snaps left 3, then left is 5 out.
  EXPECT_TRUE(Same({95, 200, 900, 807}, w));
}

}  // namespace
