// The close rule: which of GIMP's windows a close of the backdrop asks to close, and how a close
// goes on as GIMP answers.
#include <gtest/gtest.h>

#include <algorithm>

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
  const WindowKind U = WindowKind::Unknown;
  const std::vector<GimpWindowFacts> v210 = {{H(1), 1, true, false, U},   // toolbox
                                             {H(2), 2, true, false, U},   // dock
                                             {H(3), 4, false, true, U},   // image 1
                                             {H(4), 5, false, false, U},  // Preferences
                                             {H(5), 7, false, true, U},   // image 2, newest
                                             {H(6), 6, false, true, U},   // image 3
                                             {H(9), 8, true, false, U}};  // a dock opened later
  EXPECT_EQ(H(5), CloseTarget(v210, QuitRule::ImageWindows));
  EXPECT_EQ(nullptr, CloseTarget({v210[0], v210[1], v210[3]}, QuitRule::ImageWindows));
  // GIMP 2.2: nothing is a utility window; the toolbox is the first window GIMP made.
  const std::vector<GimpWindowFacts> v22 = {{H(7), 9, false, true, U},
                                            {H(8), 3, false, true, U},  // toolbox
                                            {H(9), 4, false, true, U}};
  EXPECT_EQ(H(8), CloseTarget(v22, QuitRule::Toolbox));
  EXPECT_EQ(nullptr, CloseTarget({}, QuitRule::Toolbox));
}

struct Pass {
  ClosePass pass;
  bool came = false;  // a window came and went since the last post
  Pass(QuitRule rule, size_t windows) {
    pass.active = true;
    pass.rule = rule;
    pass.before.assign(windows, nullptr);
  }
  CloseStep Step(DWORD now, HWND next, bool stands = true, bool question = false,
                 bool retitled = false, bool answers = true) {
    const CloseStep step =
        AdvanceClose(pass, {now, question, came, stands, retitled, next, answers});
    if (step == CloseStep::Post) came = false;
    return step;
  }
  // One step as the backdrop takes it: the shown windows new since the last post, then the rule.
  // A null window is one that came and went between two steps.
  CloseStep Step(DWORD now, HWND next, bool stands, std::vector<NewWindow> shown) {
    came = came || std::any_of(shown.begin(), shown.end(), [](NewWindow w) { return !w.window; });
    shown.erase(std::remove_if(shown.begin(), shown.end(), [](NewWindow w) { return !w.window; }),
                shown.end());
    return Step(now, next, stands, NoteQuestions(pass, shown));
  }
};

// Where the role GIMP gives a window is known, it decides; the style alone misleads with
// GIMP's "Normal window" hint for docks (boxes, no tool-window style) and with a full-screen
// image (a popup without boxes).
TEST(CloseRule, TheRoleDecidesWhatIsAnImageWindowWhateverItsStyle) {
  const WindowKind I = WindowKind::Image, D = WindowKind::Dock;
  struct Case {
    const char* what;
    std::vector<GimpWindowFacts> windows;
    HWND target;
  } cases[] = {
      {"docks with the Normal hint, newer than the image",
       {{H(1), 1, false, true, D}, {H(2), 2, false, true, I}, {H(3), 3, false, true, D}},
       H(2)},
      {"the toolbox and a dock alone, Normal hint",
       {{H(1), 1, false, true, D}, {H(3), 3, false, true, D}},
       nullptr},
      {"a full-screen image", {{H(1), 1, true, false, D}, {H(2), 2, false, false, I}}, H(2)},
      {"a dialog's role",
       {{H(2), 2, false, true, I}, {H(4), 4, false, true, WindowKind::Other}},
       H(2)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.target, CloseTarget(c.windows, QuitRule::ImageWindows)) << c.what;
}

// Only GIMP's answer to this close holds the pass: a window the user opens while GIMP asks
// neither keeps it waiting after the answer nor lets it go on later; a second close while GIMP
// works or asks changes nothing, one after the answer starts again.
TEST(CloseRule, OnlyGimpsAnswerHoldsTheCloseAndASecondCloseActsOnlyOnceItIsAnswered) {
  const HWND image = H(3), question = H(20), save = H(21), user = H(22);
  struct Row {
    DWORD now;
    bool stands;  // the image asked about
    std::vector<NewWindow> shown;
    CloseStep step;
    bool restarts;
  };
  struct Case {
    const char* what;
    std::vector<Row> rows;
  } cases[] = {
      {"a window opened while GIMP asks, then Discard",
       {{1200, true, {}, CloseStep::Wait, false},  // a second close before GIMP asked
        {1400, true, {{question, image, true}}, CloseStep::Wait, false},
        {1600, true, {{question, image, true}, {user, nullptr, false}}, CloseStep::Wait, false},
        {1800, false, {{user, nullptr, false}}, CloseStep::Post, false}}},
      {"a window opened while GIMP asks, then Cancel",
       {{1400, true, {{question, image, true}}, CloseStep::Wait, false},
        {1600, true, {{question, image, true}, {user, nullptr, false}}, CloseStep::Wait, false},
        {1800, true, {{user, nullptr, false}}, CloseStep::Wait, true},
        {2800, true, {{user, nullptr, false}}, CloseStep::Stop, true}}},
      {"Save opens a dialog for the image after the question",
       {{1400, true, {{question, image, true}}, CloseStep::Wait, false},
        {1600, true, {{save, image, false}}, CloseStep::Wait, false},
        {60000, false, {}, CloseStep::Post, false}}},
      {"a question asked and answered Cancel between two steps",
       {{1200, true, {{nullptr, nullptr, true}}, CloseStep::Wait, true},
        {2200, true, {}, CloseStep::Stop, true}}},
      {"a window the user opens before GIMP acts, then the image closes",
       {{1200, true, {{user, nullptr, false}}, CloseStep::Wait, false},
        {1400, false, {{user, nullptr, false}}, CloseStep::Post, false}}},
      {"an ownerless question (Quit GIMP)",
       {{1400, true, {{question, nullptr, true}}, CloseStep::Wait, false},
        {1600, true, {{question, nullptr, true}, {user, question, false}}, CloseStep::Wait, false},
        {1800, false, {}, CloseStep::Post, false}}},
  };
  for (const Case& c : cases) {
    Pass p(QuitRule::ImageWindows, 3);
    ASSERT_EQ(CloseStep::Post, p.Step(1000, image));
    for (const Row& r : c.rows) {
      EXPECT_EQ(r.step, p.Step(r.now, r.stands ? image : H(2), r.stands, r.shown))
          << c.what << " at " << r.now;
      EXPECT_EQ(r.restarts, CloseRestarts(p.pass)) << c.what << " at " << r.now;
    }
  }
}

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

TEST(CloseRule, CancelOrAnIgnoredCloseEndsThePassAndDiscardOrASlowCloseGoesOnHoweverLong) {
  Pass cancel(QuitRule::ImageWindows, 3);
  ASSERT_EQ(CloseStep::Post, cancel.Step(1000, H(3)));
  EXPECT_EQ(CloseStep::Wait, cancel.Step(1200, H(3), true, true));   // "Close ...?" shows
  EXPECT_EQ(CloseStep::Wait, cancel.Step(60000, H(3), true, true));  // for as long as it takes
  EXPECT_EQ(CloseStep::Wait, cancel.Step(60200, H(3)));  // gone: the window may follow yet
  EXPECT_EQ(CloseStep::Wait, cancel.Step(61000, H(3)));
  EXPECT_EQ(CloseStep::Stop, cancel.Step(61200, H(3)));  // it stayed: the user said Cancel
  EXPECT_EQ(1, cancel.pass.posts);

  // Discard or Save: the question goes first, then GIMP works on the image without answering,
  // for as long as that takes, and answers for a moment from a nested loop meanwhile.
  Pass discard(QuitRule::ImageWindows, 3);
  ASSERT_EQ(CloseStep::Post, discard.Step(1000, H(3)));
  EXPECT_EQ(CloseStep::Wait, discard.Step(1200, H(3), true, true));
  EXPECT_EQ(CloseStep::Wait, discard.Step(1400, H(3)));
  for (DWORD now = 1600; now < 30000; now += 200)
    EXPECT_EQ(CloseStep::Wait, discard.Step(now, H(3), true, false, false, now % 5000 == 0));
  EXPECT_EQ(CloseStep::Post, discard.Step(30000, H(2), false));  // then the image went

  // A clean image's close: GIMP, busy, takes it up only seconds later.
  Pass slow(QuitRule::ImageWindows, 3);
  ASSERT_EQ(CloseStep::Post, slow.Step(1000, H(3)));
  for (DWORD now = 1200; now < 20000; now += 200)
    EXPECT_EQ(CloseStep::Wait, slow.Step(now, H(3), true, false, false, false));
  EXPECT_EQ(CloseStep::Post, slow.Step(20000, H(2), false));

  Pass ignored(QuitRule::ImageWindows, 3);  // a modal dialog holds GIMP's grab
  ASSERT_EQ(CloseStep::Post, ignored.Step(1000, H(3)));
  EXPECT_EQ(CloseStep::Wait, ignored.Step(1200, H(3), true, false, false, false));  // busy
  EXPECT_EQ(CloseStep::Wait, ignored.Step(1400, H(3)));
  EXPECT_EQ(CloseStep::Wait, ignored.Step(1400 + kIgnoredAfterMs - 1, H(3)));
  EXPECT_EQ(CloseStep::Stop, ignored.Step(1400 + kIgnoredAfterMs, H(3)));

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
