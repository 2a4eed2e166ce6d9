#include <algorithm>

#include "BackdropWindow.h"
#include "MenuOrder.h"

namespace {
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
  const std::vector<ArrangedWindow> arrangeable = ArrangeableWindows(window);
  const bool images =
      std::any_of(arrangeable.begin(), arrangeable.end(),
                  [](const ArrangedWindow& w) { return w.role == ArrangeRole::Image; });
  const UINT imageState = MF_BYCOMMAND | (images ? MF_ENABLED : MF_GRAYED);
  EnableMenuItem(windowMenu, IDM_CASCADE, imageState);
  EnableMenuItem(windowMenu, IDM_TILE, imageState);
  EnableMenuItem(windowMenu, IDM_GIMPLAYOUT,
                 MF_BYCOMMAND | (arrangeable.empty() ? MF_GRAYED : MF_ENABLED));
  while (DeleteMenu(windowMenu, kArrangeItems, MF_BYPOSITION)) {
  }
  // Each window once: a notice handled twice lists its window twice in the tracker.
  menuWindows = tracker.Distinct();
  if (!menuWindows.empty()) AppendMenuA(windowMenu, MF_SEPARATOR, 0, nullptr);
  UINT command = kFirstWindowCommand;
  for (HWND adopted : menuWindows) {
    char title[kTextSize] = {};
    GetWindowTextA(adopted, title, kTextSize);
    title[kTextSize - 1] = '\0';
    InsertSorted(windowMenu, kArrangeItems + 1, command++, title);
  }
}

void BackdropWindow::RefreshMenusSoon(HWND window) {
  if (!menusDue) menusDue = PostMessageA(window, kRefreshMenusMessage, 0, 0) != 0;
}

void BackdropWindow::InsertSorted(HMENU menu, int first, UINT command, const char* text) {
  for (int position = first; position < GetMenuItemCount(menu); ++position) {
    char item[kTextSize] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), item, kTextSize, MF_BYPOSITION);
    if (TitleSortsAfter(item, text)) {
      InsertMenuA(menu, static_cast<UINT>(position), MF_BYPOSITION | MF_STRING, command, text);
      return;
    }
  }
  AppendMenuA(menu, MF_STRING, command, text);
}
