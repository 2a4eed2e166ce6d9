// The close rule: which of GIMP's windows a close of the backdrop asks to close, and how a close
// goes on as GIMP answers.
#include <gtest/gtest.h>

#include "CloseRule.h"

namespace {

HWND H(int n) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(n)); }

TEST(CloseRule, GimpsVersionComesFromItsExecutablesNameAlone) {
  EXPECT_EQ(10, GimpMinorFromExeName("gimp-2.10.exe"));
  EXPECT_EQ(2, GimpMinorFromExeName("GIMP-2.2.EXE"));
  EXPECT_EQ(0, GimpMinorFromExeName("gimp-2.0.exe"));
  for (const char* other : {"gimp.exe", "gimp-2.exe", "gimp-2.10", "gimp-2.10.exe.bak",
                            "gimp-2.x.exe", "gimp-console-2.10.exe", "gimptool-2.0.exe",
                            "gimp-2.-1.exe", "gimp-2.999.exe", "gimp-helper.exe", ""}) {
    EXPECT_EQ(-1, GimpMinorFromExeName(other)) << other;
  }
  EXPECT_EQ(QuitRule::Toolbox, QuitRuleFor(0));
  EXPECT_EQ(QuitRule::Toolbox, QuitRuleFor(4));
  EXPECT_EQ(QuitRule::ImageWindows, QuitRuleFor(6));
  EXPECT_EQ(QuitRule::ImageWindows, QuitRuleFor(10));
  EXPECT_EQ(QuitRule::ImageWindows, QuitRuleFor(-1)) << "never a dock for a GIMP not known";
}

TEST(CloseRule, OldGimpClosesItsToolboxNewGimpItsNewestImageWindowNeverADockOrDialog) {
  // GIMP 2.10 multi-window: toolbox and docks are utility windows, image windows normal ones,
  // Preferences a dialog (no boxes).
  const std::vector<GimpWindowFacts> v210 = {{H(1), 1, true, false},   // toolbox
                                             {H(2), 2, true, false},   // dock
                                             {H(3), 4, false, true},   // image 1
                                             {H(4), 5, false, false},  // Preferences
                                             {H(5), 7, false, true},   // image 2, newest
                                             {H(6), 6, false, true},   // image 3
                                             {H(9), 8, true, false}};  // a dock opened later
  EXPECT_EQ(H(5), CloseTarget(v210, QuitRule::ImageWindows));
  EXPECT_EQ(nullptr, CloseTarget({v210[0], v210[1], v210[3]}, QuitRule::ImageWindows));
  // GIMP 2.2: nothing is a utility window; the toolbox is the first window GIMP made.
  const std::vector<GimpWindowFacts> v22 = {{H(7), 9, false, true},
                                            {H(8), 3, false, true},  // toolbox
                                            {H(9), 4, false, true}};
  EXPECT_EQ(H(8), CloseTarget(v22, QuitRule::Toolbox));
  EXPECT_EQ(nullptr, CloseTarget({}, QuitRule::Toolbox));
}

struct Pass {
  ClosePass pass;
  Pass(QuitRule rule, size_t windows) {
    pass.active = true;
    pass.rule = rule;
    pass.before.assign(windows, nullptr);
  }
  CloseStep Step(DWORD now, HWND next, bool stands = true, bool question = false,
                 bool retitled = false) {
    return AdvanceClose(pass, {now, question, stands, retitled, next});
  }
};

TEST(CloseRule, ImagesCloseOneByOneAndTheEmptyWindowLeftQuits) {
  Pass p(QuitRule::ImageWindows, 4);
  ASSERT_EQ(CloseStep::Post, p.Step(1000, H(3)));
  EXPECT_EQ(H(3), p.pass.target);
  EXPECT_EQ(CloseStep::Wait, p.Step(1200, H(3)));         // GIMP has not acted yet
  ASSERT_EQ(CloseStep::Post, p.Step(1400, H(2), false));  // closed: on to the next
  EXPECT_EQ(H(2), p.pass.target);
  // The last image's window becomes the empty image window: its title changes, and it is
  // asked again, which quits GIMP.
  ASSERT_EQ(CloseStep::Post, p.Step(1600, H(2), true, false, true));
  EXPECT_EQ(H(2), p.pass.target);
  EXPECT_EQ(3, p.pass.posts);
  // GIMP quits: the window goes, nothing is left to close.
  EXPECT_EQ(CloseStep::Stop, p.Step(1800, nullptr, false));
}

TEST(CloseRule, TheUsersCancelOrGimpsSilenceEndsTheCloseAndItsDiscardGoesOn) {
  Pass cancel(QuitRule::ImageWindows, 3);
  ASSERT_EQ(CloseStep::Post, cancel.Step(1000, H(3)));
  EXPECT_EQ(CloseStep::Wait, cancel.Step(1200, H(3), true, true));   // "Close ...?" shows
  EXPECT_EQ(CloseStep::Wait, cancel.Step(60000, H(3), true, true));  // for as long as it takes
  EXPECT_EQ(CloseStep::Wait, cancel.Step(60200, H(3)));  // gone: the window may follow yet
  EXPECT_EQ(CloseStep::Wait, cancel.Step(61000, H(3)));
  EXPECT_EQ(CloseStep::Stop, cancel.Step(61200, H(3)));  // it stayed: the user said Cancel
  EXPECT_EQ(1, cancel.pass.posts);

  Pass discard(QuitRule::ImageWindows, 3);
  ASSERT_EQ(CloseStep::Post, discard.Step(1000, H(3)));
  EXPECT_EQ(CloseStep::Wait, discard.Step(1200, H(3), true, true));
  EXPECT_EQ(CloseStep::Wait, discard.Step(1400, H(3)));         // the question went first
  EXPECT_EQ(CloseStep::Post, discard.Step(1600, H(2), false));  // then the image

  Pass ignored(QuitRule::ImageWindows, 3);  // a modal dialog holds GIMP's grab
  ASSERT_EQ(CloseStep::Post, ignored.Step(1000, H(3)));
  EXPECT_EQ(CloseStep::Wait, ignored.Step(1000 + kIgnoredAfterMs - 1, H(3)));
  EXPECT_EQ(CloseStep::Stop, ignored.Step(1000 + kIgnoredAfterMs, H(3)));

  // Closing the toolbox of GIMP 2.2 quits: once it has gone, no other window is closed.
  Pass toolbox(QuitRule::Toolbox, 3);
  ASSERT_EQ(CloseStep::Post, toolbox.Step(1000, H(1)));
  EXPECT_EQ(CloseStep::Stop, toolbox.Step(1200, H(2), false));
}

TEST(CloseRule, AWindowThatKeepsChangingItsTitleIsNotAskedForever) {
  Pass p(QuitRule::ImageWindows, 2);
  int posts = 0;
  for (DWORD now = 1000; now < 3000 && p.Step(now, H(1), true, false, true) == CloseStep::Post;
       now += 200) {
    ++posts;
  }
  EXPECT_EQ(4, posts);
}

}  // namespace
