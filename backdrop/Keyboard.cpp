// The keyboard of Windows' multi-document programs: Ctrl+F6 and Ctrl+Shift+F6 walk GIMP's images
// in the order of their use, Ctrl+F4 closes the active one, and the backdrop's accelerators work
// from GIMP's windows, where the user's keyboard is, as well as from its own frame.
#include <algorithm>

#include "BackdropWindow.h"
#include "vellamyhook.h"

namespace {
constexpr UINT kWalkPollMs = 50;
}  // namespace

void BackdropWindow::TakeKeys() {
  ACCEL table[16] = {};
  const int count = CopyAcceleratorTableA(accelerators, table, 16);
  std::vector<WORD> keys;
  for (int i = 0; i < count; ++i) {
    // Character codes (Alt+?) come as WM_CHAR after GIMP's own translation: left to GIMP.
    if (table[i].fVirt & FVIRTKEY)
      keys.push_back(TakenKey(static_cast<BYTE>(table[i].key), table[i].fVirt));
  }
  tracker.TakeKeys(keys.data(), static_cast<int>(keys.size()));
}

void BackdropWindow::OnKey(HWND window, WORD key, HWND active) {
  if (key == TakenKey(VK_CONTROL, 0)) {
    EndWalk(window);
    return;
  }
  ACCEL table[16] = {};
  const int count = CopyAcceleratorTableA(accelerators, table, 16);
  for (int i = 0; i < count; ++i) {
    if (!(table[i].fVirt & FVIRTKEY) ||
        TakenKey(static_cast<BYTE>(table[i].key), table[i].fVirt) != key)
      continue;
    // Any program can post the notice: only a window the backdrop holds counts as GIMP's.
    keyWindow = active && GetAncestor(active, GA_PARENT) == window ? active : nullptr;
    OnCommand(window, MAKEWPARAM(table[i].cmd, 1), 0);
    keyWindow = nullptr;
    return;
  }
}

std::vector<HWND> BackdropWindow::ImageWindows(HWND window) const {
  std::vector<HWND> images;
  for (HWND adopted : tracker.Distinct()) {
    if (GetAncestor(adopted, GA_PARENT) == window &&
        (GetWindowLongPtrA(adopted, GWL_STYLE) & WS_VISIBLE) &&
        reinterpret_cast<INT_PTR>(GetPropA(adopted, kGimpKindProp)) == kKindImage)
      images.push_back(adopted);
  }
  return images;
}

void BackdropWindow::StepRecent(HWND window, bool back) {
  const HWND next = recent.Step(ImageWindows(window), keyWindow ? keyWindow : recent.Front(), back);
  if (!next) return;
  tracker.Raise(next);
  // Its process let this one take the foreground when it handed the key over.
  SetForegroundWindow(next);
  ScrollIntoView(window, next);
  SetTimer(window, kWalkTimer, kWalkPollMs, nullptr);
}

void BackdropWindow::EndWalk(HWND window) {
  KillTimer(window, kWalkTimer);
  if (!recent.Walking()) return;
  recent.Release();
  RefreshMenusSoon(window);  // the check mark follows the image walked to
}

void BackdropWindow::CloseActiveImage(HWND window) {
  const std::vector<HWND> images = ImageWindows(window);
  const bool inImage = std::find(images.begin(), images.end(), keyWindow) != images.end();
  // From a dock, the toolbox or the frame: the image last worked on, as GIMP's own image menu
  // takes it. A dialog's or question's Ctrl+F4 closes no image behind it.
  const INT_PTR kind =
      keyWindow ? reinterpret_cast<INT_PTR>(GetPropA(keyWindow, kGimpKindProp)) : 0;
  if (!inImage && keyWindow && kind != kKindDock && kind != kKindToolbox) return;
  const HWND target = inImage ? keyWindow : recent.MostRecentOf(images);
  // GIMP asks about unsaved work as at a click on the window's close button.
  if (target) PostMessageA(target, WM_CLOSE, 0, 0);
}
