// The program's pure rules: start mode, placement conversions, scroll arithmetic, menu order.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "DpiHosting.h"
#include "LaunchMode.h"
#include "MenuOrder.h"
#include "RecentWindows.h"
#include "Placement.h"
#include "ScrollMath.h"

namespace {

bool Plugin(std::vector<const char*> args) {
  return IsPluginMode(static_cast<int>(args.size()), const_cast<char* const*>(args.data()));
}

TEST(LaunchMode, OnlyTheExactArgumentMinusGimpSelectsPluginModeInAnyPosition) {
  EXPECT_TRUE(Plugin({"vellamy.exe", "-gimp", "3", "4", "-query", "0"}));
  EXPECT_TRUE(Plugin({"vellamy.exe", "3", "4", "-gimp"}));
  EXPECT_TRUE(Plugin({"-gimp"}));  // even as the program path
  EXPECT_FALSE(Plugin({"vellamy.exe"}));
  EXPECT_FALSE(Plugin({}));
  for (const char* almost :
       {"-Gimp", "-GIMP", "--gimp", "-gimp1", "-gimp ", " -gimp", "gimp", "-gim", ""}) {
    EXPECT_FALSE(Plugin({"vellamy.exe", almost})) << "'" << almost << "'";
  }
}

// The thread's hosting behaviour as a fake SetThreadDpiHostingBehavior keeps it.
int g_hosting = MixedDpiHosting::kDefault;
int WINAPI FakeSetHosting(int value) {
  const int previous = g_hosting;
  g_hosting = value < -1 || value > 1 ? MixedDpiHosting::kInvalid : value;
  return previous;
}

TEST(DpiHosting, MixedOnlyWhileTheBackdropIsCreatedThenWhatTheThreadHadAndNothingWithoutTheCall) {
  for (int before : {MixedDpiHosting::kDefault, MixedDpiHosting::kMixed}) {
    g_hosting = before;
    {
      MixedDpiHosting mixed(FakeSetHosting);
      EXPECT_EQ(MixedDpiHosting::kMixed, g_hosting);
    }
    EXPECT_EQ(before, g_hosting);
  }
  g_hosting = MixedDpiHosting::kInvalid;  // a previous call that failed: back to the default
  { MixedDpiHosting mixed(FakeSetHosting); }
  EXPECT_EQ(MixedDpiHosting::kDefault, g_hosting);
  { MixedDpiHosting absent(nullptr); }  // older systems, and Wine
  // Where the system has the call (Windows 10 1803 on; not Wine 8), the real one too.
  if (MixedDpiHosting::SetFn real = MixedDpiHosting::Lookup()) {
    { MixedDpiHosting mixed(real); }
    EXPECT_EQ(MixedDpiHosting::kDefault, real(MixedDpiHosting::kDefault)) << "put back";
  }
}

TEST(Placement, StoredValuesBecomeTheNormalRectangleAndComeBackUnchanged) {
  const StoredPlacement defaults = {0, 0, 600, 600, SW_SHOWMAXIMIZED};
  WINDOWPLACEMENT p = ToPlacement(defaults);
  EXPECT_EQ(44u, p.length);
  EXPECT_EQ(0u, p.flags);
  EXPECT_EQ(static_cast<UINT>(SW_SHOWMAXIMIZED), p.showCmd);
  EXPECT_EQ(0, p.rcNormalPosition.left);
  EXPECT_EQ(600, p.rcNormalPosition.right);
  EXPECT_EQ(600, p.rcNormalPosition.bottom);
  EXPECT_EQ(0, p.ptMaxPosition.x);
  EXPECT_EQ(0, p.ptMinPosition.y);

  // A monitor left of and above the primary one: negative edges survive as two's complement.
  const StoredPlacement left = {static_cast<LONG>(static_cast<DWORD>(-1280)), -40, 800, 500,
                                SW_SHOWMINIMIZED};
  p = ToPlacement(left);
  EXPECT_EQ(-1280, p.rcNormalPosition.left);
  EXPECT_EQ(-480, p.rcNormalPosition.right);
  EXPECT_EQ(460, p.rcNormalPosition.bottom);
  const StoredPlacement back = FromPlacement(p);
  EXPECT_EQ(-1280, back.x);
  EXPECT_EQ(-40, back.y);
  EXPECT_EQ(800, back.width);
  EXPECT_EQ(500, back.height);
  EXPECT_EQ(static_cast<UINT>(SW_SHOWMINIMIZED), back.showCommand);

  // Values are not range-checked: extreme ones wrap as 32-bit values and come back unchanged.
  const StoredPlacement extreme = {0x7FFFFFFF, 0, 10, 10, SW_SHOWNORMAL};
  p = ToPlacement(extreme);
  EXPECT_EQ(static_cast<LONG>(0x80000009u), p.rcNormalPosition.right);
  EXPECT_EQ(10, FromPlacement(p).width);
}

TEST(ScrollMath, LineAndPageStepsOfTenStayInTheRangeThumbPositionsDoNot) {
  EXPECT_EQ(10, NewScrollPosition(SB_LINERIGHT, 0, 0, 0, 100));
  EXPECT_EQ(10, NewScrollPosition(SB_PAGERIGHT, 0, 0, 0, 100));
  EXPECT_EQ(100, NewScrollPosition(SB_LINEDOWN, 0, 95, 0, 100));
  EXPECT_EQ(0, NewScrollPosition(SB_LINELEFT, 0, 5, 0, 100));
  EXPECT_EQ(0, NewScrollPosition(SB_PAGEUP, 0, 0, 0, 100));
  EXPECT_EQ(-20, NewScrollPosition(SB_LINEUP, 0, -10, -20, 100));
  EXPECT_EQ(-20, NewScrollPosition(SB_TOP, 0, 50, -20, 100));
  EXPECT_EQ(100, NewScrollPosition(SB_BOTTOM, 0, 50, -20, 100));
  EXPECT_EQ(65535, NewScrollPosition(SB_THUMBTRACK, 65535, 0, 0, 100));  // not clamped
  EXPECT_EQ(7, NewScrollPosition(SB_THUMBPOSITION, 7, 50, 10, 100));
  EXPECT_EQ(42, NewScrollPosition(SB_ENDSCROLL, 9, 42, 0, 100));
  EXPECT_EQ(42, NewScrollPosition(99, 9, 42, 0, 100));
  // A failed range read leaves both ends at 0.
  EXPECT_EQ(0, NewScrollPosition(SB_LINERIGHT, 0, 0, 0, 0));
  EXPECT_EQ(0, NewScrollPosition(SB_LINELEFT, 0, 0, 0, 0));
}

TEST(ScrollMath, IntoViewMovesOnlyAWindowNotWhollyInsideAndShowsTheStartOfALargeOne) {
  const RECT client = {0, 0, 800, 600};
  auto move = [&](RECT w) {
    const POINT p = IntoView(client, w);
    return std::make_pair(p.x, p.y);
  };
  EXPECT_EQ(std::make_pair(0L, 0L), move({0, 0, 800, 600}));         // exactly inside
  EXPECT_EQ(std::make_pair(-150L, 0L), move({700, 10, 950, 100}));   // right edge comes in
  EXPECT_EQ(std::make_pair(0L, -460L), move({10, 900, 100, 1060}));  // bottom edge comes in
  EXPECT_EQ(std::make_pair(30L, 5L), move({-30, -5, 100, 100}));     // left and top come in
  EXPECT_EQ(std::make_pair(-900L, 0L), move({900, 0, 1800, 100}));   // wider: its left edge
  EXPECT_EQ(std::make_pair(0L, 50L), move({0, -50, 100, 700}));      // taller: its top edge
}

// The range spans the client area, its place at home and the windows on both sides; low and
// high are the edges of the client area and the windows on one axis in client coordinates, the
// client area running from 0 to 400.
TEST(ScrollMath, TheRangeReachesWindowsOnBothSidesAndAlwaysHoldsHomeAndThePosition) {
  const struct {
    LONG low, high;
    int position;
    int min, max;
  } cases[] = {
      {0, 400, 0, 0, 0},            // everything inside, at home: no bar
      {0, 400, 70, 0, 70},          // everything inside, scrolled: the bar still goes home
      {0, 900, 0, 0, 500},          // a window reaching 500 past the right edge
      {0, 890, 10, 0, 500},         // a line later: the same range
      {-300, 400, 0, -300, 0},      // a window above or left of the origin
      {-300, 900, -20, -320, 480},  // both sides, after a scroll the other way
  };
  for (const auto& c : cases) {
    const ScrollRange r = ScrollRangeOf(c.low, c.high, c.position, 400);
    EXPECT_EQ(c.min, r.min) << c.low << ".." << c.high << " at " << c.position;
    EXPECT_EQ(c.max, r.max) << c.low << ".." << c.high << " at " << c.position;
    EXPECT_TRUE(r.min <= c.position && c.position <= r.max && r.min <= 0 && 0 <= r.max);
  }
}

// A drag's 32-bit position wins; a message's 16 bits alone are read in the range, so a negative
// place or one past 32,767 comes whole.
TEST(ScrollMath, AThumbPositionComesWholeInANegativeRangeAndPast32767) {
  const struct {
    unsigned thumb16;
    int tracking, min, max, want;
  } cases[] = {
      {65486, -50, -100, 200, -50},     // a drag to -50
      {65486, 0, -100, 200, -50},       // the same sent by a program: no drag under way
      {40000, 40000, 0, 70000, 40000},  // past 32,767
      {4464, 70000, 0, 90000, 70000},   // past 65,535: the drag's 32 bits
      {4464, 0, 0, 90000, 4464},        // a program's 16 bits: the first match in the range
      {7, 50, 10, 100, 7},              // just below the range: not clamped
      {65535, 0, 0, 100, -1},           // 16 bits of -1, next to the range
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.want, ThumbPosition(c.thumb16, c.tracking, c.min, c.max)) << c.thumb16;
  }
}

TEST(MenuOrder, TitlesSortByteWiseUpperCaseFirstEqualTitlesKeepTheirOrder) {
  EXPECT_TRUE(TitleSortsAfter("b", "A"));
  EXPECT_TRUE(TitleSortsAfter("a", "A"));
  EXPECT_FALSE(TitleSortsAfter("A", "a"));
  EXPECT_FALSE(TitleSortsAfter("same", "same"));  // a new equal title goes after
  EXPECT_TRUE(TitleSortsAfter("x", ""));          // untitled windows come first
  EXPECT_TRUE(TitleSortsAfter("\xE4", "z"));      // bytes compare unsigned
  // Places in the list, in the menu's order; the numbers are the access keys 1 to 9.
  EXPECT_EQ((std::vector<size_t>{2, 1, 0, 3}), TitleOrder({"b", "A", "", "b"}));
  EXPECT_EQ("&9 Untitled-1.0", NumberedItem(9, "Untitled-1.0"));
}

// Ctrl+F6 on windows 1 to 4, activated 1, 2, 3, 4 (4 most recent, and active). Each row is one
// key press (or a release of Ctrl, or an activation by the user) and the window it goes to.
TEST(RecentWindows, CtrlF6WalksByLastUseAndTheReleaseCommitsTheWindowWalkedTo) {
  enum Act { kNext, kBack, kRelease, kActivate };
  struct Step {
    Act act;
    int window;  // the window pressed in, released over or activated
    int want;    // where the press goes; for others, the most recent afterwards
  };
  const Step steps[] = {
      {kNext, 4, 3},    {kNext, 3, 2},     {kBack, 2, 3},  // Ctrl held: one further each press
      {kRelease, 3, 3},                                    // 3 is now the most recent
      {kNext, 3, 4},    {kRelease, 4, 4},                  // a quick Ctrl+F6 swaps the last two
      {kNext, 4, 3},    {kActivate, 1, 4},                 // the walk's own activations wait
      {kRelease, 3, 3}, {kActivate, 1, 1},                 // the user's count at once
      {kNext, 99, 1},                                      // from a dock: the most recent image
      {kNext, 1, 3},    {kRelease, 1, 3},                  // Ctrl still held: on to 3
      {kBack, 3, 2},    {kRelease, 2, 2},                  // back from the most recent: the oldest
  };
  RecentWindows<int> recent;
  const std::vector<int> images = {1, 2, 3, 4};
  for (int w : images) recent.Activated(w);
  for (const Step& step : steps) {
    int got = 0;
    if (step.act == kNext || step.act == kBack)
      got = recent.Step(images, step.window, step.act == kBack);
    if (step.act == kRelease) recent.Release();
    if (step.act == kActivate) recent.Activated(step.window);
    if (step.act == kRelease || step.act == kActivate) got = recent.Front();
    EXPECT_EQ(step.want, got) << "step " << (&step - steps);
  }
  // Windows that went leave the walk, which goes on from where it stood: at 3 in the walk 2, 3,
  // 1, 4, with 3 closed by Ctrl+F4, the next press goes to 1; then, with only 4 left, to 4.
  EXPECT_EQ(3, recent.Step(images, 2, false));
  EXPECT_EQ(1, recent.Step({1, 2, 4}, 3, false));
  EXPECT_EQ(4, recent.Step({4}, 2, false));
  recent.Release();
  EXPECT_EQ(0, recent.Step({}, 4, false));
  EXPECT_EQ(4, recent.MostRecentOf({1, 3, 4}));
  EXPECT_EQ(7, recent.MostRecentOf({7, 8}));
}

}  // namespace
