// The Window menu's picks and the scroll bars: the two ways the backdrop brings one of GIMP's
// windows into view.
#include "ProgramFixture.h"

#include <algorithm>

namespace {

TEST_F(ProgramTest, AWindowMenuCommandRaisesTheWindowAtThatListPosition) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run, {"--images=2"}));
  // The list holds every adopted window, newest first; under Wine that includes windows the
  // platform makes in GIMP's process, so the test goes by the backdrop's children. Raising
  // the last entry again and again brings each window to the front once.
  std::vector<HWND> children;
  for (HWND w = GetWindow(run.backdrop, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    children.push_back(w);
  }
  ASSERT_GE(children.size(), run.Adopted().size());
  const UINT last = static_cast<UINT>(1000 + children.size() - 1);
  auto top = [&] { return GetWindow(run.backdrop, GW_CHILD); };
  std::vector<HWND> raised;
  for (size_t i = 0; i < children.size(); ++i) {
    const HWND before = top();
    PostMessageA(run.backdrop, WM_COMMAND, last, 0);
    PumpUntil([&] { return top() != before; }, 3000);
    raised.push_back(top());
  }
  std::sort(raised.begin(), raised.end());
  std::sort(children.begin(), children.end());
  EXPECT_EQ(children, raised) << "each window raised exactly once";
  const HWND before = top();
  PostMessageA(run.backdrop, WM_COMMAND, last + 1, 0);  // past the end: nothing is raised
  PumpFor(300);
  EXPECT_EQ(before, top());
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

// The menu's items name windows, not places in a list that changes under them: a window that
// ended after the menu was built shifts no pick onto another.
TEST_F(ProgramTest, AWindowMenuPickRaisesTheWindowItNamedAfterANewerOneEnded) {
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
  const std::string probe = g_prefix + "bin\\vmyprobe.exe";  // a program of GIMP's folder
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "vmyprobe.exe").c_str(), probe.c_str(), FALSE));
  PumpFor(1000);  // no notice of the backdrop's own start may rebuild the menu later on
  // Three hidden windows, each adopted in turn; the menu then names the newest at 1000 and the
  // oldest at 1002. The middle one ends with no notice, so the menu stays as it was built.
  TestProcess gimp(probe, {"bordered", "bordered", "bordered", "pumpwait=vmymenu1", "destroy=1",
                           "pumpwait=vmymenu2"});
  ASSERT_TRUE(gimp.WaitForLine("waiting", 10000)) << gimp.OutputSoFar();
  PumpFor(500);  // the menu is rebuilt once the adoption notices are handled
  const HANDLE go1 = CreateEventA(nullptr, FALSE, FALSE, "vmymenu1");
  const HANDLE go2 = CreateEventA(nullptr, FALSE, FALSE, "vmymenu2");
  SetEvent(go1);
  ASSERT_TRUE(gimp.WaitForLine("destroyed", 10000)) << gimp.OutputSoFar();
  const size_t at = gimp.OutputSoFar().find("created bordered index=0 hwnd=");
  const HWND oldest = HandleFromText(gimp.OutputSoFar().substr(at + 30, 20));
  EXPECT_NE(oldest, GetWindow(run.backdrop, GW_CHILD));
  PostMessageA(run.backdrop, WM_COMMAND, 1002, 0);
  EXPECT_TRUE(PumpUntil([&] { return GetWindow(run.backdrop, GW_CHILD) == oldest; }, 3000))
      << HandleText(GetWindow(run.backdrop, GW_CHILD)) << " on top\n"
      << run.Explain();
  SetEvent(go2);
  gimp.Wait();
  CloseHandle(go1);
  CloseHandle(go2);
  EXPECT_EQ(0u, run.BackdropExit());  // GIMP's windows all gone
}

// Past nine windows the menu ends in "More windows...": a dialog listing every window in the
// menu's order, where the user's keys pick one and raise it.
TEST_F(ProgramTest, MoreWindowsListsEveryWindowInTitleOrderAndRaisesTheOnePickedByKeys) {
  constexpr UINT kMoreWindows = 146;
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartBackdrop(run));
  const std::string probe = g_prefix + "bin\\vmyprobe.exe";  // a program of GIMP's folder
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "vmyprobe.exe").c_str(), probe.c_str(), FALSE));
  std::vector<std::string> steps(12, "bordered");
  steps.push_back("pumpwait=vmymore");
  TestProcess gimp(probe, steps);
  ASSERT_TRUE(gimp.WaitForLine("waiting", 10000)) << gimp.OutputSoFar();
  // Titles out of their list order: twelve, then one to eleven.
  std::vector<HWND> windows;
  for (int i = 0; i < 12; ++i) {
    const std::string field = "created bordered index=" + std::to_string(i) + " hwnd=";
    const size_t at = gimp.OutputSoFar().find(field);
    ASSERT_NE(std::string::npos, at);
    windows.push_back(HandleFromText(gimp.OutputSoFar().substr(at + field.size(), 20)));
    char title[16];
    std::snprintf(title, sizeof(title), "image %02d", (i + 11) % 12 + 1);
    SetWindowTextA(windows.back(), title);
  }
  ASSERT_TRUE(PumpUntil(
      [&] {
        return std::all_of(windows.begin(), windows.end(),
                           [&](HWND w) { return GetAncestor(w, GA_PARENT) == run.backdrop; });
      },
      10000));
  PostMessageA(run.backdrop, WM_COMMAND, kMoreWindows, 0);
  HWND dialog = nullptr, list = nullptr;
  // Found once the dialog has filled its list.
  ASSERT_TRUE(PumpUntil(
      [&] {
        dialog = FindWindowA(nullptr, "Select Window");
        list = dialog ? FindWindowExA(dialog, nullptr, "ListBox", nullptr) : nullptr;
        return list && SendMessageA(list, LB_GETCOUNT, 0, 0) == 12;
      },
      5000));
  for (int i = 0; i < 12; ++i) {
    wchar_t text[64] = {};  // a list box of another process answers in its own characters
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    wchar_t want[16];
    swprintf(want, 16, L"image %02d", i + 1);
    EXPECT_STREQ(want, text) << i;
  }
  // The third entry, "image 03", is the fourth window made.
  SetForegroundWindow(dialog);
  ASSERT_TRUE(PumpUntil(
      [&] {
        GUITHREADINFO keyboard = {};
        keyboard.cbSize = sizeof(keyboard);
        return GetGUIThreadInfo(0, &keyboard) && keyboard.hwndFocus == list;
      },
      5000))
      << "the list has the keyboard";
  PressKeys({VK_DOWN, VK_DOWN, VK_RETURN});
  EXPECT_TRUE(PumpUntil([&] { return GetWindow(run.backdrop, GW_CHILD) == windows[3]; }, 5000))
      << HandleText(GetWindow(run.backdrop, GW_CHILD)) << " on top";
  EXPECT_FALSE(IsWindow(dialog));
  const HANDLE go = CreateEventA(nullptr, FALSE, FALSE, "vmymore");
  SetEvent(go);
  gimp.Wait();
  CloseHandle(go);
  EXPECT_EQ(0u, run.BackdropExit());
}

// A line and a page are 10 pixels, a thumb request takes its position from the high word (read
// in the bar's range), and the bars end where the windows' edges meet the client area's, on
// both sides: the range they take from the windows' places. Every child of the backdrop moves,
// and only the bar's way.
TEST_F(ProgramTest, ScrollBarsMoveTheWindowsByStepsThumbAndEndsWithinTheirReach) {
  WriteDword("MinState", SW_SHOWNORMAL);
  WriteDword("WindowW", 300);  // small, so GIMP's windows reach past the right and the bottom
  WriteDword("WindowH", 200);
  WriteDword("Snap", 1);  // snapping is for the user's moves, never for a scroll's
  Session run;
  ASSERT_NO_FATAL_FAILURE(StartGimp(run));
  std::vector<HWND> children;
  for (HWND w = GetWindow(run.backdrop, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    children.push_back(w);
  }
  ASSERT_GE(children.size(), run.Adopted().size());
  const auto shown = std::find_if(children.begin(), children.end(), IsWindowVisible);
  ASSERT_NE(children.end(), shown);
  // 13 pixels in: a line's scroll leaves it 3 pixels off the client edges, within snapping reach.
  SetWindowPos(*shown, nullptr, 13, 13, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(200);
  auto places = [&] {
    std::vector<RECT> all;
    for (HWND w : children) all.push_back(ClientRectIn(w, run.backdrop));
    return all;
  };
  auto reach = [&] {
    RECT all = {};
    for (const RECT& r : places()) UnionRect(&all, &all, &r);
    return all;
  };
  std::vector<RECT> start = places();
  auto scrolledBy = [&](int x, int y) {
    const std::vector<RECT> now = places();
    for (size_t i = 0; i < now.size(); ++i) {
      if (now[i].left != start[i].left - x || now[i].top != start[i].top - y) return false;
    }
    return true;
  };
  auto send = [&](UINT bar, int code, int thumb = 0) {
    SendMessageA(run.backdrop, bar, MAKEWPARAM(code, thumb), 0);
  };
  // The ranges are set when the backdrop paints.
  InvalidateRect(run.backdrop, nullptr, TRUE);
  ASSERT_TRUE(PumpUntil([&] { return !GetUpdateRect(run.backdrop, nullptr, FALSE); }, 5000));
  RECT client;
  GetClientRect(run.backdrop, &client);
  ASSERT_GT(reach().right, client.right);
  ASSERT_GT(reach().bottom, client.bottom);

  send(WM_HSCROLL, SB_LINELEFT);
  send(WM_VSCROLL, SB_PAGEUP);
  EXPECT_TRUE(scrolledBy(0, 0)) << "nothing before the start";
  send(WM_HSCROLL, SB_LINERIGHT);
  send(WM_HSCROLL, SB_PAGERIGHT);
  EXPECT_TRUE(scrolledBy(20, 0));
  send(WM_HSCROLL, SB_LINELEFT);
  EXPECT_TRUE(scrolledBy(10, 0));
  send(WM_VSCROLL, SB_PAGEDOWN);
  send(WM_VSCROLL, SB_LINEDOWN);
  send(WM_VSCROLL, SB_LINEUP);
  EXPECT_TRUE(scrolledBy(10, 10));
  send(WM_HSCROLL, SB_PAGELEFT);
  send(WM_VSCROLL, SB_PAGEUP);
  EXPECT_TRUE(scrolledBy(0, 0));
  send(WM_HSCROLL, SB_THUMBTRACK, 37);
  send(WM_VSCROLL, SB_THUMBPOSITION, 23);
  EXPECT_TRUE(scrolledBy(37, 23)) << "thumb";
  send(WM_HSCROLL, SB_RIGHT);
  send(WM_VSCROLL, SB_BOTTOM);
  EXPECT_EQ(client.right, reach().right);
  EXPECT_EQ(client.bottom, reach().bottom);
  send(WM_HSCROLL, SB_LINERIGHT);
  send(WM_VSCROLL, SB_PAGEDOWN);
  EXPECT_EQ(client.right, reach().right) << "nothing past the end";
  EXPECT_EQ(client.bottom, reach().bottom);
  send(WM_HSCROLL, SB_LEFT);
  send(WM_VSCROLL, SB_TOP);
  EXPECT_TRUE(scrolledBy(0, 0)) << "home";

  // A window dragged above and left of the client area widens each range on that side, and a
  // thumb dragged there (16 bits of -50 and -30 in the messages) moves the windows by the drag.
  const size_t dragged = static_cast<size_t>(shown - children.begin());
  SetWindowPos(*shown, nullptr, -100, -60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  start[dragged] = ClientRectIn(*shown, run.backdrop);
  InvalidateRect(run.backdrop, nullptr, TRUE);
  ASSERT_TRUE(PumpUntil([&] { return !GetUpdateRect(run.backdrop, nullptr, FALSE); }, 5000));
  send(WM_HSCROLL, SB_LEFT);
  send(WM_VSCROLL, SB_TOP);
  EXPECT_TRUE(scrolledBy(-100, -60)) << "the start is the dragged window's edge";
  send(WM_HSCROLL, SB_THUMBTRACK, -50);
  send(WM_VSCROLL, SB_THUMBPOSITION, -30);
  EXPECT_TRUE(scrolledBy(-50, -30)) << "thumb before the origin";
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
}

}  // namespace
