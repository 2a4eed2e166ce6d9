// The keyboard of Windows' multi-document programs in the real GIMP: keys pressed as a user
// presses them, through the system's input, wherever GIMP's keyboard focus is.
#include <algorithm>

#include "GimpHostFixture.h"

namespace {

// The window the keyboard's input goes to, and the window holding it.
HWND KeyboardWindow() {
  GUITHREADINFO keyboard = {};
  keyboard.cbSize = sizeof(keyboard);
  GetGUIThreadInfo(0, &keyboard);
  return keyboard.hwndFocus;
}

bool HasKeyboard(HWND w) {
  const HWND focus = KeyboardWindow();
  return focus && (focus == w || IsChild(w, focus));
}

// Activates a window as a click on it would, and waits for it to have the keyboard.
bool Activate(HWND w) {
  SetForegroundWindow(w);
  return PumpUntil([&] { return HasKeyboard(w); }, 10000);
}

// The shown windows of GIMP's process that the backdrop does not hold: GIMP's popups.
size_t Popups(DWORD gimp, HWND backdrop) {
  size_t count = 0;
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (IsWindowVisible(w) && ProcessOf(w) == gimp && w != backdrop) ++count;
  }
  return count;
}

// Three images used a, b, c: Ctrl+F6 in c goes to b, with Ctrl still held on to a,
// Ctrl+Shift+F6 back to b; Shift+F5 in the toolbox cascades; Ctrl+F4 closes the active image,
// or from the toolbox the image used last.
// GIMP's own keys stay its own: Ctrl+Tab opens its layer switcher, Tab hides the docks.
TEST_F(GimpHostTest, CtrlF6WalksImagesByLastUseAndTheBackdropsKeysWorkFromGimpsWindows) {
  for (const char* name : {"a.xcf", "b.xcf", "c.xcf"}) WriteTinyXcf(profile + name);
  Session run;
  const std::vector<HWND> images = StartWithImages(run, {"a.xcf", "b.xcf", "c.xcf"}, false);
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(Settled(run.backdrop));
  for (HWND image : images) ASSERT_TRUE(Activate(image)) << TitleOf(image);
  const HWND a = images[0], b = images[1], c = images[2];
  auto onTop = [&](HWND w) {
    return PumpUntil([&] { return HasKeyboard(w) && Children(run.backdrop)[0] == w; }, 10000);
  };

  Key(VK_CONTROL, true);
  PressKeys({VK_F6});
  EXPECT_TRUE(onTop(b)) << "the image used before c; keyboard in " << TitleOf(KeyboardWindow());
  PressKeys({VK_F6});
  EXPECT_TRUE(onTop(a)) << "Ctrl held: on to the third";
  PressKeys({VK_F6}, {VK_SHIFT});
  EXPECT_TRUE(onTop(b)) << "Ctrl+Shift+F6 walks back";
  Key(VK_CONTROL, false);
  PumpFor(500);
  // The release made b the most recent: a quick Ctrl+F6 now goes back to c.
  PressKeys({VK_F6}, {VK_CONTROL});
  EXPECT_TRUE(onTop(c)) << "keyboard in " << TitleOf(KeyboardWindow());

  // GIMP's own keys in an image window: Ctrl+Tab's layer switcher stands while Ctrl is held.
  const size_t popups = Popups(run.gimp->Id(), run.backdrop);
  Key(VK_CONTROL, true);
  PressKeys({VK_TAB});
  EXPECT_TRUE(PumpUntil([&] { return Popups(run.gimp->Id(), run.backdrop) > popups; }, 10000))
      << "GIMP's layer switcher";
  Key(VK_CONTROL, false);
  EXPECT_TRUE(PumpUntil([&] { return Popups(run.gimp->Id(), run.backdrop) == popups; }, 10000));
  ASSERT_TRUE(Activate(c));
  PressKeys({VK_TAB});
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(run.main); }, 10000)) << "Tab hides docks";
  PressKeys({VK_TAB});
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(run.main) != FALSE; }, 10000));

  // Shift+F5 in the toolbox: the images cascade from the client area's corner, a caption apart.
  ASSERT_TRUE(Activate(run.main));
  PressKeys({VK_F5}, {VK_SHIFT});
  const int step = GetSystemMetrics(SM_CYCAPTION);
  auto cascaded = [&] {
    std::vector<std::vector<int>> corners;
    for (HWND image : images) {
      std::vector<int> place = PlaceOf(image, run.backdrop);
      corners.push_back({place[0], place[1]});
    }
    std::sort(corners.begin(), corners.end());
    return corners == std::vector<std::vector<int>>{{0, 0}, {step, step}, {2 * step, 2 * step}};
  };
  EXPECT_TRUE(PumpUntil(cascaded, 10000)) << run.Explain();

  // Ctrl+F4 closes the image that has the keyboard, also in the middle of a walk (where c is
  // still the most recent), and the walk goes on past it; from the toolbox, the image used last.
  ASSERT_TRUE(Activate(c));
  Key(VK_CONTROL, true);
  PressKeys({VK_F6});
  EXPECT_TRUE(onTop(b));
  PressKeys({VK_F4});
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(b); }, 30000)) << run.Explain();
  PressKeys({VK_F6});
  EXPECT_TRUE(onTop(a)) << "keyboard in " << TitleOf(KeyboardWindow());
  Key(VK_CONTROL, false);
  ASSERT_TRUE(Activate(run.main));
  PressKeys({VK_F4}, {VK_CONTROL});
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(a); }, 30000)) << run.Explain();
  EXPECT_TRUE(IsWindow(c));
  CloseAndWait(run);
}

}  // namespace
