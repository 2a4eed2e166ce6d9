#include <algorithm>

#include "BackdropWindow.h"
#include "MenuOrder.h"

namespace {

// The More windows dialog's list: titles in the menu's order, each with its place in the list
// of windows the menu names. Ends with that place plus one, or 0 for Cancel.
struct WindowChoice {
  const std::vector<std::string>* titles;
  std::vector<size_t> order;
};

INT_PTR CALLBACK WindowChoiceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND list = GetDlgItem(dialog, IDC_WINDOWLIST);
  switch (message) {
    case WM_INITDIALOG: {
      const auto* choice = reinterpret_cast<const WindowChoice*>(lParam);
      for (size_t at : choice->order) {
        const LRESULT item = SendMessageA(list, LB_ADDSTRING, 0,
                                          reinterpret_cast<LPARAM>((*choice->titles)[at].c_str()));
        SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(at));
      }
      SendMessageA(list, LB_SETCURSEL, 0, 0);
      return TRUE;
    }
    case WM_COMMAND: {
      const bool picked = LOWORD(wParam) == IDOK ||
                          (LOWORD(wParam) == IDC_WINDOWLIST && HIWORD(wParam) == LBN_DBLCLK);
      if (picked) {
        const LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
        EndDialog(dialog, item == LB_ERR ? 0 : SendMessageA(list, LB_GETITEMDATA, item, 0) + 1);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

constexpr int kEditMenu = 1;
constexpr int kWindowMenu = 2;
constexpr int kArrangeItems = 3;  // the Window menu's commands above its list of windows
constexpr int kTextSize = 1024;
}  // namespace

void BackdropWindow::RefreshMenus(HWND window) {
  HMENU bar = GetMenu(window);
  const DWORD snap = settings.Get(kSnap);
  const DWORD move = settings.Get(kMoveWindows);
  tracker.SetSnap(static_cast<int>(snap));  // unchanged: any nonzero value is on

  HMENU edit = GetSubMenu(bar, kEditMenu);
  CheckMenuItem(edit, IDM_SNAP, MF_BYCOMMAND | (snap ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(edit, IDM_MOVEWINDOWS, MF_BYCOMMAND | (move ? MF_CHECKED : MF_UNCHECKED));

  HMENU windowMenu = GetSubMenu(bar, kWindowMenu);
  while (DeleteMenu(windowMenu, kArrangeItems, MF_BYPOSITION)) {
  }
  // Each window once: a notice handled twice lists its window twice in the tracker.
  menuWindows = tracker.Distinct();
  menuTitles.clear();
  for (HWND adopted : menuWindows) {
    char title[kTextSize] = {};
    GetWindowTextA(adopted, title, kTextSize);
    title[kTextSize - 1] = '\0';
    menuTitles.emplace_back(title);
  }
  if (!menuWindows.empty()) AppendMenuA(windowMenu, MF_SEPARATOR, 0, nullptr);
  const std::vector<size_t> order = TitleOrder(menuTitles);
  const HWND active = recent.Front();
  for (size_t i = 0; i < order.size() && i < kNumberedWindows; ++i) {
    const size_t at = order[i];
    AppendMenuA(windowMenu, MF_STRING | (menuWindows[at] == active ? MF_CHECKED : MF_UNCHECKED),
                kFirstWindowCommand + at, NumberedItem(i + 1, menuTitles[at]).c_str());
  }
  if (order.size() > kNumberedWindows)
    AppendMenuA(windowMenu, MF_STRING, IDM_MOREWINDOWS, "&More windows...");
}

// Cascade and Tile need an image, GIMP layout any window it arranges. Read only as the Window
// menu drops down (or an accelerator looks at it): the facts of every window cost more than the
// rest of a refresh, which follows every notice.
void BackdropWindow::GreyArrangements(HWND window, HMENU popup) {
  HMENU windowMenu = GetSubMenu(GetMenu(window), kWindowMenu);
  if (popup != windowMenu) return;
  const std::vector<ArrangedWindow> arrangeable = ArrangeableWindows(window);
  const bool images =
      std::any_of(arrangeable.begin(), arrangeable.end(),
                  [](const ArrangedWindow& w) { return w.role == ArrangeRole::Image; });
  const UINT imageState = MF_BYCOMMAND | (images ? MF_ENABLED : MF_GRAYED);
  EnableMenuItem(windowMenu, IDM_CASCADE, imageState);
  EnableMenuItem(windowMenu, IDM_TILE, imageState);
  EnableMenuItem(windowMenu, IDM_GIMPLAYOUT,
                 MF_BYCOMMAND | (arrangeable.empty() ? MF_GRAYED : MF_ENABLED));
}

void BackdropWindow::RefreshMenusSoon(HWND window) {
  if (!menusDue) menusDue = PostMessageA(window, kRefreshMenusMessage, 0, 0) != 0;
}

void BackdropWindow::ChooseWindow(HWND window) {
  RefreshMenus(window);  // the windows as they are now
  // A copy: the menu is rebuilt by notices that come while the dialog is open.
  const std::vector<std::string> titles = menuTitles;
  const std::vector<HWND> windows = menuWindows;
  const WindowChoice choice = {&titles, TitleOrder(titles)};
  const INT_PTR picked = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MOREWINDOWS), window,
                                         WindowChoiceProc, reinterpret_cast<LPARAM>(&choice));
  if (picked <= 0 || static_cast<size_t>(picked) > windows.size()) return;
  RaiseListed(window, windows[static_cast<size_t>(picked - 1)]);
}
