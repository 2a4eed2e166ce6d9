// Where GIMP's windows stand inside the backdrop: GDK places them in screen coordinates, and
// they must land exactly there, start after start; a Window menu pick shows the window picked.
#include "ProgramFixture.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

void ExpectLandedAsAsked(const std::map<std::string, Place>& places) {
  for (const auto& [key, p] : places) {
    EXPECT_EQ(Text(p.asked), Text(p.got)) << key;
  }
}

RECT ScreenRect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ProgramTest, GdkPlacesEveryWindowWhereGtkAskedAndShowsItAgainThere) {
  for (const char* version : {"2.2", "2.10", "2.10-single"}) {
    SCOPED_TRACE(version);
    SetUp();
    const bool v22 = std::string(version) == "2.2";
    // 2.2 quits with its toolbox; 2.10 with its empty image window, which takes Tab too.
    if (!v22) WriteString("GimpName", "GNU Image Manipulation Program");
    Session run;
    ASSERT_NO_FATAL_FAILURE(
        StartGimp(run, {std::string("--version=") + version, v22 ? "--images=1" : "--images=0"}));
    const std::string out = run.gimp->OutputSoFar();
    // The splash (made before the hook), toolbox, docks and image windows, to the pixel.
    std::map<std::string, Place> places = PlacesAfter(out, "gimp version");
    ASSERT_GE(places.size(), 2u) << out;
    ExpectLandedAsAsked(places);
    for (const auto& [key, p] : places) {
      if (key == "splash") continue;
      EXPECT_TRUE(IsChildOf(p.hwnd, run.backdrop)) << key;
    }

    // The Preferences dialog, centred on its owner by GDK and then moved into the work area,
    // stays a child of the backdrop.
    PostMessageA(run.main, kPreferences, 0, 0);
    ASSERT_TRUE(run.gimp->WaitForLine("preferences shown", 10000));
    PumpFor(200);
    const Place prefs = PlacesAfter(run.gimp->OutputSoFar(), "preferences shown")["dialog"];
    ExpectLandedAsAsked({{"dialog", prefs}});
    EXPECT_TRUE(IsChildOf(prefs.hwnd, run.backdrop));
    const RECT owner = ScreenRect(run.main), dialog = ScreenRect(prefs.hwnd);
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG centredLeft = (owner.left + owner.right - (dialog.right - dialog.left)) / 2;
    EXPECT_EQ(std::max(work.left, centredLeft), dialog.left);
    EXPECT_NEAR((owner.top + owner.bottom) / 2, (dialog.top + dialog.bottom) / 2, 1);

    // Closed and opened again, it comes back where it was.
    PostMessageA(prefs.hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(run.gimp->WaitForLine("preferences hidden", 5000));
    PostMessageA(run.main, kPreferences, 0, 0);
    PumpUntil([&] { return IsWindowVisible(prefs.hwnd); }, 5000);
    PumpFor(200);
    EXPECT_TRUE(SameRect(dialog, ScreenRect(prefs.hwnd)));

    // Tab in an image window hides the toolbox and docks; Tab again shows them in place.
    if (std::string(version) != "2.10-single") {
      std::vector<std::pair<HWND, RECT>> docks;
      for (const auto& [key, p] : places) {
        if (key == "toolbox" || key.rfind("dock", 0) == 0) {
          docks.push_back({p.hwnd, ScreenRect(p.hwnd)});
        }
      }
      ASSERT_EQ(3u, docks.size());
      const HWND image = v22 ? run.images.front() : run.WindowsSoFar("empty").front();
      PostMessageA(image, WM_KEYDOWN, VK_TAB, 0);
      ASSERT_TRUE(run.gimp->WaitForLine("docks hidden", 5000));
      PostMessageA(image, WM_KEYDOWN, VK_TAB, 0);
      ASSERT_TRUE(run.gimp->WaitForLine("docks shown", 5000));
      PumpFor(200);
      for (const auto& [w, was] : docks) {
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_TRUE(SameRect(was, ScreenRect(w)));
      }
    }
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, run.gimp->Wait().exitCode);
    EXPECT_EQ(0u, run.BackdropExit());
  }
}

TEST_F(ProgramTest, SavedSessionPlacesHoldOverTenStartsAndFollowAUserMove) {
  // GIMP 2.10's toolbox and docks, saved at every quit and restored at every start.
  WriteString("GimpName", "GNU Image Manipulation Program");
  std::map<std::string, Place> first;
  constexpr int kDx = 37, kDy = 23;
  for (int start = 1; start <= 10; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=0"}));
    std::map<std::string, Place> places = PlacesAfter(run.gimp->OutputSoFar(), "ready");
    places.erase("empty");  // not session-managed: GDK's default place
    ASSERT_EQ(3u, places.size()) << run.Explain();
    ExpectLandedAsAsked(places);
    if (start == 1) {
      first = places;
    } else {
      for (const auto& [key, p] : places) {
        EXPECT_EQ(Text(first[key].got), Text(p.got)) << key << " drifted";
      }
    }
    if (start == 9) {
      // The user moves the toolbox (the system's move, in the backdrop's client coordinates):
      // it moves by exactly that, and the next start restores it there.
      const RECT was = ClientRectIn(run.main, run.backdrop);
      SetWindowPos(run.main, nullptr, was.left + kDx, was.top + kDy, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      PumpFor(200);
      const RECT now = ScreenRect(run.main);
      EXPECT_EQ(first["toolbox"].got[0] + kDx, now.left);
      EXPECT_EQ(first["toolbox"].got[1] + kDy, now.top);
      first["toolbox"].got[0] += kDx;
      first["toolbox"].got[1] += kDy;
    }
    PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    ASSERT_EQ(0u, run.gimp->Wait().exitCode);
    ASSERT_EQ(0u, run.BackdropExit());
  }
}

// GDK keeps calling into the hook library after the hook is removed or its backdrop gone.
TEST_F(ProgramTest, AfterTheBackdropHasGoneGdkStillPlacesWindowsExactly) {
  // Each way out: the backdrop closed while the windows' program is not GIMP (the windows are
  // released and the hook removed), and the backdrop killed. Wine destroys the adopted windows
  // with a killed backdrop, and keeps its window a while, so GIMP's popup takes the commands.
  WriteString("GimpName", "GNU Image Manipulation Program");
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "closed");
    Session run;
    ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--version=2.10", "--images=1"}, kNotGimp));
    if (killed) {
      TerminateProcess(run.backdropProcess, 9);
    } else {
      PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
    }
    WaitForSingleObject(run.backdropProcess, 10000);
    PumpFor(500);
    const size_t before = run.ImagesSoFar().size();
    PostMessageA(run.popup, kOpenImage, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return run.ImagesSoFar().size() == before + 1; }, 5000));
    PostMessageA(run.popup, kPreferences, 0, 0);
    ASSERT_TRUE(run.gimp->WaitForLine("preferences shown", 5000));
    PostMessageA(run.popup, kReport, 0, 0);
    ASSERT_TRUE(run.gimp->WaitForLine("reported", 5000)) << run.Explain();
    std::map<std::string, Place> places = PlacesAfter(run.gimp->OutputSoFar(), "preferences shown");
    ASSERT_TRUE(places.count("image") && places.count("dialog")) << run.Explain();
    ExpectLandedAsAsked(places);
    if (!killed) {
      for (const auto& [key, p] : places) {
        EXPECT_TRUE(IsChildOf(p.hwnd, GetDesktopWindow())) << key;
      }
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(run.gimp->Handle(), 0)) << "GIMP ended";
  }
}

TEST_F(ProgramTest, AWindowPickedFromTheWindowMenuIsScrolledIntoView) {
  Session run;
  // Two image windows beyond the client area: "Right" (adopted first) and "Below" (last, so the
  // front of the Window menu's list).
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--images=0", "--far"}));
  const std::vector<HWND> images = run.ImagesSoFar();
  ASSERT_EQ(2u, images.size());
  const HWND right = images[0], below = images[1];
  auto inView = [&](HWND w) {
    RECT client;
    GetClientRect(run.backdrop, &client);
    const RECT r = ClientRectIn(w, run.backdrop);
    return r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom;
  };
  ASSERT_FALSE(inView(right));
  ASSERT_FALSE(inView(below));
  const RECT toolboxWas = ClientRectIn(run.main, run.backdrop);
  const RECT belowWas = ClientRectIn(below, run.backdrop);

  PostMessageA(run.backdrop, WM_COMMAND, 1000, 0);  // "Below"
  EXPECT_TRUE(PumpUntil([&] { return inView(below); }, 3000));
  PumpFor(300);  // the backdrop moves the windows one by one
  // Every window moved with it, as the scroll bars move them, and the bar followed.
  const int dy = ClientRectIn(below, run.backdrop).top - belowWas.top;
  EXPECT_LT(dy, 0);
  EXPECT_EQ(toolboxWas.top + dy, ClientRectIn(run.main, run.backdrop).top);
  EXPECT_EQ(toolboxWas.left, ClientRectIn(run.main, run.backdrop).left);

  PostMessageA(run.backdrop, WM_COMMAND, 1001, 0);  // "Right", now second in the list
  EXPECT_TRUE(PumpUntil([&] { return inView(right); }, 3000));
  PumpFor(300);
  const int dx = ClientRectIn(run.main, run.backdrop).left - toolboxWas.left;
  EXPECT_LT(dx, 0);

  // The bars followed: scrolled to their start, every window is back where it stood.
  DWORD_PTR reply = 0;
  SendMessageTimeoutA(run.backdrop, WM_VSCROLL, SB_TOP, 0, SMTO_NORMAL, 5000, &reply);
  SendMessageTimeoutA(run.backdrop, WM_HSCROLL, SB_LEFT, 0, SMTO_NORMAL, 5000, &reply);
  const RECT toolbox = ClientRectIn(run.main, run.backdrop);
  EXPECT_EQ(toolboxWas.left, toolbox.left);
  EXPECT_EQ(toolboxWas.top, toolbox.top);
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
}

}  // namespace
