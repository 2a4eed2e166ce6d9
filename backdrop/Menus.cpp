#include "BackdropWindow.h"
#include "MenuOrder.h"

namespace {
constexpr int kEditMenu = 1;
constexpr int kWindowMenu = 2;
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
  while (DeleteMenu(windowMenu, 0, MF_BYPOSITION)) {
  }
  // Each window once: a notice handled twice lists its window twice in the tracker.
  menuWindows = tracker.Distinct();
  UINT command = kFirstWindowCommand;
  for (HWND adopted : menuWindows) {
    char title[kTextSize] = {};
    GetWindowTextA(adopted, title, kTextSize);
    title[kTextSize - 1] = '\0';
    InsertSorted(windowMenu, command++, title);
  }
}

void BackdropWindow::RefreshMenusSoon(HWND window) {
  if (!menusDue) menusDue = PostMessageA(window, kRefreshMenusMessage, 0, 0) != 0;
}

void BackdropWindow::InsertSorted(HMENU menu, UINT command, const char* text) {
  for (int position = 0; position < GetMenuItemCount(menu); ++position) {
    char item[kTextSize] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), item, kTextSize, MF_BYPOSITION);
    if (TitleSortsAfter(item, text)) {
      InsertMenuA(menu, static_cast<UINT>(position), MF_BYPOSITION | MF_STRING, command, text);
      return;
    }
  }
  AppendMenuA(menu, MF_STRING, command, text);
}
