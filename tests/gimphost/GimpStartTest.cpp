// The real GIMP starting the backdrop, what the backdrop adopts, and where GIMP's windows come
// back.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "GimpHostFixture.h"

namespace {

TEST_F(GimpHostTest, GimpStartsTheBackdropAtEachStartAndThePlugInEndsWithZero) {
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(Start(run));
    EXPECT_TRUE(IsChildOf(run.main, run.backdrop));
    // The plug-in hands over to GIMP once the backdrop stands, so it has ended by now.
    const HANDLE plugIn = PlugIn(run);
    ASSERT_NE(nullptr, plugIn) << run.Explain();
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(plugIn, &code) && code == 0) << code << run.Explain();
    // How long GIMP's start waited on the plug-in: the backdrop's start and GIMP's query.
    FILETIME created, ended, kernel, user;
    if (GetProcessTimes(plugIn, &created, &ended, &kernel, &user)) {
      const auto ticks = [](FILETIME t) {
        return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime;
      };
      std::printf("the plug-in ran %llu ms\n", (ticks(ended) - ticks(created)) / 10000);
    }
    // Registering nothing, the plug-in is left out of pluginrc and so queried again next time.
    const std::string pluginrc = ReadFile(profile + "pluginrc");
    EXPECT_NE(std::string::npos, pluginrc.find("protocol-version")) << pluginrc;
    EXPECT_EQ(std::string::npos, pluginrc.find("vellamy")) << pluginrc;
    CloseAndWait(run);
  }
}

// GIMP 2.10's own default layout, with no sessionrc of the test's: single-window mode with Tool
// Options, Brushes, Fonts and Layers, whose lists scroll as GIMP starts.
TEST_F(GimpHostTest, GimpsOwnDefaultLayoutStartsDrawsAnswersAndQuits) {
  DeleteFileA((profile + "sessionrc").c_str());
  Session run;
  run.gimp =
      std::make_unique<TestProcess>(g_gimp + "bin\\gimp-2.10.exe", std::vector<std::string>{});
  ASSERT_TRUE(PumpUntil([&] { return run.FindBackdrop(); }, kGimpStart)) << run.Explain();
  HWND single = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (single = Titled(run, "GNU Image")) != nullptr; }, 120000))
      << run.Explain() << Answers(run.backdrop);
  // Filling the docks' lists (fonts, brushes) keeps GIMP busy for a while at a first start.
  EXPECT_TRUE(PumpUntil([&] { return AllAnswer(run.backdrop); }, 180000)) << Answers(run.backdrop);
  // GIMP drew: its widgets show on the screen where the backdrop holds its window (a window
  // that draws nothing shows one or two colours there).
  EXPECT_TRUE(PumpUntil([&] { return ColoursOnScreen(single) > 100; }, 10000))
      << ColoursOnScreen(single) << " colours";
  CloseAndWait(run);
}

// GIMP 2.10's default docks in multi-window mode and a large image at 1:1, its left half red
// and its right half blue. The canvas and the Brushes list scroll (GDK scrolls by copying within
// a window another process holds), then the backdrop scrolls and is resized: GIMP answers
// throughout, and the screen shows the image's colours where its window stands, the canvas
// scrolled along.
TEST_F(GimpHostTest, DefaultDocksAndALargeImageScrollAndDrawInTheBackdrop) {
  constexpr unsigned kRed = 0xC02020, kBlue = 0x2040C0;
  std::ofstream(profile + "sessionrc") << kDefaultDocksSessionrc;
  std::ofstream(profile + "gimprc") << "(initial-zoom-to-fit no)\n";
  const std::string image = profile + "large.xcf";
  WriteXcf(image, 2400, 600, kRed, kBlue);
  WriteDword("MinState", SW_SHOWNORMAL);  // smaller than the layout, so the backdrop scrolls
  WriteDword("WindowW", 1000);
  WriteDword("WindowH", 700);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {image}));
  HWND canvas = nullptr, dock = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] { return (canvas = Titled(run, "large.xcf")) && (dock = Titled(run, "Brushes")); },
      60000))
      << run.Explain();
  auto answering = [&] { return AllAnswer(run.backdrop); };
  EXPECT_TRUE(PumpUntil(answering, 180000)) << Answers(run.backdrop);
  // The image's colours cover most of what the backdrop shows of the window's client area
  // (rulers, menu, status bar and scroll bars take the rest), as a user sees it: nothing is
  // asked to repaint first.
  auto shows = [&](unsigned colour) { return CountColour(PixelsOnScreen(canvas), colour); };
  auto drawn = [&] { return 2 * (shows(kRed) + shows(kBlue)) > PixelsOnScreen(canvas).size(); };
  ASSERT_TRUE(PumpUntil([&] { return drawn() && shows(kRed) > 0; }, 30000))
      << shows(kRed) << " red, " << shows(kBlue) << " blue of " << PixelsOnScreen(canvas).size();

  // The wheel, as GDK reads it: the widget under the message's screen point, once the pointer
  // has entered the window; the point in the part of the window the backdrop shows.
  auto wheel = [&](HWND w, UINT message, int notches) {
    RECT r, shown;
    GetWindowRect(w, &r);
    GetClientRect(run.backdrop, &shown);
    MapWindowPoints(run.backdrop, nullptr, reinterpret_cast<POINT*>(&shown), 2);
    IntersectRect(&r, &r, &shown);
    const int x = (r.left + r.right) / 2, y = r.top + (r.bottom - r.top) / 3;
    SetCursorPos(x, y);
    PumpFor(500);
    for (int i = 0; i < std::abs(notches); ++i) {
      PostMessageA(w, message, MAKEWPARAM(0, notches > 0 ? WHEEL_DELTA : -WHEEL_DELTA),
                   MAKELPARAM(x, y));
    }
  };
  const size_t red = shows(kRed);
  wheel(canvas, WM_MOUSEHWHEEL, 6);  // towards the blue half
  EXPECT_TRUE(PumpUntil([&] { return shows(kRed) < red / 2; }, 30000))
      << red << " red before, " << shows(kRed) << " after";
  // The Brushes list, whose pixels change with or without the wheel, so only GIMP's answer is
  // read: the way it failed was a scroll that never returned.
  wheel(dock, WM_MOUSEWHEEL, -4);
  EXPECT_TRUE(PumpUntil(answering, 30000)) << Answers(run.backdrop);

  const std::vector<int> before = PlaceOf(canvas, run.backdrop);
  SendMessageA(run.backdrop, WM_HSCROLL, SB_PAGERIGHT, 0);
  SendMessageA(run.backdrop, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_NE(before, PlaceOf(canvas, run.backdrop));
  EXPECT_TRUE(PumpUntil(drawn, 10000))
      << shows(kRed) << " red, " << shows(kBlue) << " blue of " << PixelsOnScreen(canvas).size()
      << " after the backdrop's scroll";
  // After a resize of the backdrop the user still sees GIMP's image where its window stands.
  RECT frame;
  GetWindowRect(run.backdrop, &frame);
  SetWindowPos(run.backdrop, nullptr, 0, 0, frame.right - frame.left - 60,
               frame.bottom - frame.top - 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(1000);
  EXPECT_TRUE(drawn()) << shows(kRed) << " red, " << shows(kBlue) << " blue of "
                       << PixelsOnScreen(canvas).size() << " after the backdrop's resize";
  EXPECT_TRUE(PumpUntil(answering, 30000)) << Answers(run.backdrop);
  CloseAndWait(run);
}

// With an image opened from GIMP's command line: the toolbox, the dock and the image window
// stand in the backdrop, and nothing else of GIMP's does. Closing the backdrop with the
// image open still ends GIMP, which has nothing to save.
TEST_F(GimpHostTest, ToolboxDockAndImageWindowAreAdoptedAndNoHelperWindowIs) {
  const std::string image = profile + "tiny.xcf";
  WriteTinyXcf(image);
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run, {image}));
  ASSERT_TRUE(PumpUntil([&] { return Titled(run, "Pointer") && Titled(run, "tiny.xcf"); }, 60000))
      << run.Explain();
  PumpFor(3000);  // what GIMP shows after its windows, such as tips, has its time to come
  for (HWND w : Children(run.backdrop)) {
    EXPECT_EQ("gdkWindowToplevel", ClassOf(w)) << TitleOf(w);
    EXPECT_EQ(run.gimp->Id(), ProcessOf(w)) << TitleOf(w);
  }
  EXPECT_EQ(3u, Children(run.backdrop).size()) << run.Explain();
  // F10 opens the image window's first menu: a borderless popup, which stays on the desktop.
  PostKey(Titled(run, "tiny.xcf"), VK_F10);
  HWND menu = nullptr;
  EXPECT_TRUE(PumpUntil(
      [&] {
        for (HWND w = GetTopWindow(nullptr); w && !menu; w = GetWindow(w, GW_HWNDNEXT)) {
          if (ProcessOf(w) == run.gimp->Id() && IsWindowVisible(w) &&
              ClassOf(w).rfind("gdkWindowTemp", 0) == 0)
            menu = w;
        }
        return menu != nullptr;
      },
      10000))
      << run.Explain();
  EXPECT_EQ(3u, Children(run.backdrop).size()) << run.Explain();
  PostKey(Titled(run, "tiny.xcf"), VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(menu); }, 10000)) << "the menu stays open";
  const HWND proxy = FindWindowA("GimpWin32UniqueHandler", "GimpProxy");
  EXPECT_TRUE(proxy && GetAncestor(proxy, GA_PARENT) == GetDesktopWindow());
  CloseAndWait(run);
}

// GIMP saves where its toolbox and dock stand at each quit (the frame's corner on the screen
// and the client size) and puts them there at the next start: over three starts the places
// GIMP saves, and the places the windows take, must not move by a pixel.
TEST_F(GimpHostTest, ToolboxAndDockComeBackToTheSamePlaceOverThreeStarts) {
  std::vector<int> first;
  for (int start = 1; start <= 3; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(Start(run));
    HWND dock = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dock = Titled(run, "Pointer")) != nullptr; }, 60000));
    EXPECT_TRUE(Settled(run.backdrop)) << run.Explain();
    std::vector<int> shown = SavedPlaceOf(run.main), dockShown = SavedPlaceOf(dock);
    shown.insert(shown.end(), dockShown.begin(), dockShown.end());
    CloseAndWait(run);
    const std::string sessionrc = ReadFile(profile + "sessionrc");
    std::vector<int> saved = SessionPlace(sessionrc, "gimp-toolbox-window"),
                     dockSaved = SessionPlace(sessionrc, "gimp-dock-window");
    saved.insert(saved.end(), dockSaved.begin(), dockSaved.end());
    EXPECT_EQ(saved, shown) << sessionrc;
    if (start == 1) first = saved;
    EXPECT_EQ(first, saved);
  }
}

// GIMP stores a place above the screen as 0, so windows near the screen's top edge are saved at
// y = 0, under the maximised backdrop's caption and menu bar. Each comes up inside the client
// area, the next start brings it back to that same place, and GIMP's question about an unsaved
// image, centred on an image window near the top, comes up inside too.
TEST_F(GimpHostTest, WindowsSavedAtTheScreensTopEdgeComeUpInsideTheBackdropAndStayThere) {
  std::string session = kSessionrc;
  for (const auto& [was, now] : {std::pair<std::string, std::string>{"10 10", "0 0"},
                                 {"230 10", "230 0"},
                                 {"570 10", "1060 0"}}) {  // the dock at the screen's right edge
    session.replace(session.find("(position " + was), 10 + was.size(), "(position " + now);
  }
  // The image window shorter than GIMP's question, which GDK centres on it: the question's top
  // then lies above the image window's.
  session.replace(session.find("(size 320 400)"), 14, "(size 320 80)");
  std::ofstream(profile + "sessionrc") << session;
  const std::string image = profile + "tiny.xcf";
  WriteTinyXcf(image);
  auto expectInside = [](const Session& run, HWND w) {
    const std::vector<int> at = PlaceOf(w, run.backdrop);
    std::printf("%.30s: frame at %d,%d in the client area\n", TitleOf(w).c_str(), at[0], at[1]);
    EXPECT_TRUE(at[0] >= 0 && at[1] >= 0) << TitleOf(w) << " at " << at[0] << "," << at[1];
  };
  std::vector<int> first;
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE(start);
    Session run;
    ASSERT_NO_FATAL_FAILURE(
        Start(run, start == 2 ? std::vector<std::string>{image} : std::vector<std::string>{}));
    HWND dock = nullptr, shown = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
          dock = Titled(run, "Pointer");
          shown = Titled(run, start == 1 ? "GNU Image" : "tiny.xcf");
          return dock && shown;
        },
        60000))
        << run.Explain();
    EXPECT_TRUE(Settled(run.backdrop)) << run.Explain();
    EXPECT_EQ(3u, Children(run.backdrop).size()) << run.Explain();
    for (HWND w : Children(run.backdrop)) expectInside(run, w);
    std::vector<int> places = PlaceOf(run.main, run.backdrop),
                     dockPlace = PlaceOf(dock, run.backdrop);
    places.insert(places.end(), dockPlace.begin(), dockPlace.end());
    if (start == 1) {
      first = places;
      CloseAndWait(run);
      continue;
    }
    EXPECT_EQ(first, places);
    // Select All makes the image unsaved; closing its window asks first.
    PostCtrlKey(shown, 'A');
    PostMessageA(shown, WM_CLOSE, 0, 0);
    HWND question = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (question = Titled(run, "Close")) != nullptr; }, 30000))
        << run.Explain();
    if (question) expectInside(run, question);
    TerminateProcess(run.gimp->Handle(), 9);  // nothing of this start is saved
    EXPECT_EQ(0u, run.BackdropExit()) << run.Explain();
  }
}

// A plug-in's dialog comes from another process in GIMP's folder, and is adopted; the same
// program started from outside that folder is any other program's, and is left alone.
TEST_F(GimpHostTest, ADialogOfAProgramInGimpsFolderIsAdoptedAndOneFromElsewhereIsNot) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(Start(run));
  const std::string outside = profile + "vmyprobe.exe";
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "vmyprobe.exe").c_str(), outside.c_str(), FALSE));
  const HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "vmygimphostgo");
  auto dialog = [&](const std::string& program) {
    auto probe = std::make_unique<TestProcess>(
        program, std::vector<std::string>{"tool", "pumpwait=vmygimphostgo"});
    EXPECT_TRUE(probe->WaitForLine("waiting", 30000)) << probe->OutputSoFar();
    const std::string& out = probe->OutputSoFar();
    const size_t at = out.find("hwnd=");
    const HWND w = at == std::string::npos
                       ? nullptr
                       : reinterpret_cast<HWND>(std::strtoull(out.c_str() + at + 5, nullptr, 16));
    return std::make_pair(std::move(probe), w);
  };
  auto inside = dialog(g_gimp + "lib\\gimp\\2.0\\plug-ins\\vellamy\\vmyprobe.exe");
  auto other = dialog(outside);
  EXPECT_TRUE(IsChildOf(inside.second, run.backdrop)) << inside.first->OutputSoFar();
  EXPECT_EQ(GetDesktopWindow(), GetAncestor(other.second, GA_PARENT)) << other.first->OutputSoFar();
  SetEvent(go);
  inside.first->Wait();
  other.first->Wait();
  CloseHandle(go);
  CloseAndWait(run);
}

}  // namespace
