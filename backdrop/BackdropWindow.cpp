#include "BackdropWindow.h"

#include <commdlg.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "AppPath.h"
#include "Dialogs.h"
#include "Placement.h"
#include "vellamyhook.h"

BackdropWindow g_backdrop;

namespace {
constexpr UINT_PTR kPruneTimer = 1;
constexpr UINT kPruneIntervalMs = 500;
constexpr const char* kHiddenByMinimiseProp = "VellamyHiddenByMinimise";
}  // namespace

BackdropWindow::BackdropWindow() : settings(kSettingsPath) {
  lastWindowRect = {kUnplaced, 0, 0, 0};
}

BackdropWindow::~BackdropWindow() = default;

void SignalStarted() {
  if (HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, kStartupEventName)) {
    SetEvent(event);
    CloseHandle(event);
  }
}

void BackdropWindow::Serve(DWORD processId) {
  if (!processId || IsServedGimp(processId)) return;
  if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId))
    gimps.push_back({processId, process});
}

bool BackdropWindow::GimpRuns() {
  for (const ServedGimp& gimp : gimps) {
    if (WaitForSingleObject(gimp.process, 0) == WAIT_TIMEOUT) return true;
  }
  return false;
}

bool BackdropWindow::IsServedGimp(DWORD processId) const {
  for (const ServedGimp& gimp : gimps) {
    if (gimp.id == processId) return true;
  }
  return false;
}

// Started by hand, a backdrop serves whatever GIMP comes while it stands.
bool BackdropWindow::ServesGimp() {
  if (!tracker.PruneDead()) return true;
  return gimps.empty() || GimpRuns();
}

LRESULT BackdropWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Messages sent while the failure path waits on GIMP's threads: a close would destroy the
  // windows it is giving back.
  if (BackdropFailing())
    return message == WM_CLOSE ? 0 : DefWindowProcA(window, message, wParam, lParam);
  // Answered before the close below can act: a backdrop that says it serves the copy's GIMP
  // must then stay for it.
  if (message == kServingMessage) {
    if (!ServesGimp()) return 0;
    Serve(static_cast<DWORD>(wParam));
    return 1;
  }
  BOOL handled = FALSE;
  const LRESULT result = tracker.PreTranslate(message, wParam, lParam, &handled);

  // Close once GIMP's windows are all gone and no GIMP it serves runs (one quitting saves its
  // session with no window left, and one started meanwhile may not have shown its first yet);
  // arm at the first message after which a window exists.
  if (autoClose && message != WM_DESTROY) {
    if (tracker.PruneDead() && !GimpRuns()) {
      autoClose = 0;
      DestroyWindow(window);
    }
  } else if (!tracker.PruneDead()) {
    autoClose = 1;
  } else if (message == WM_TIMER && wParam == kPruneTimer && !ServesGimp()) {
    // GIMP ended before any window of its was adopted, which alone arms the close above.
    DestroyWindow(window);
    return 0;
  }

  if (message == UM_ACTIVATE_GIMP) recent.Activated(reinterpret_cast<HWND>(lParam));
  if (handled) {
    InvalidateRect(window, nullptr, TRUE);
    RefreshMenusSoon(window);
    return result;
  }

  switch (message) {
    case WM_CREATE:
      return OnCreate(window, wParam, lParam);
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    case WM_MOVE:
      OnMove(window);
      return 0;
    case WM_SIZE:
      OnSize(window, wParam);
      return 0;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_CLOSE:
      OnClose(window);
      return 0;
    case WM_TIMER:
      if (wParam == kCloseTimer && closing.active) StepClose(window);
      // Ctrl released in the backdrop's frame, or where the hook does not see it.
      if (wParam == kWalkTimer && GetAsyncKeyState(VK_CONTROL) >= 0) EndWalk(window);
      return 0;
    case UM_KEY:
      OnKey(window, static_cast<WORD>(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_INITMENUPOPUP:
      GreyArrangements(window, reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_ERASEBKGND:
      OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_COMMAND:
      return OnCommand(window, wParam, lParam);
    case WM_HSCROLL:
      OnScroll(window, SB_HORZ, wParam);
      return 0;
    case WM_VSCROLL:
      OnScroll(window, SB_VERT, wParam);
      return 0;
    case kRefreshMenusMessage:
      menusDue = false;
      RefreshMenus(window);
      return 0;
    case WM_MENUSELECT:
      // A popup dropping down, or the menu closing (flags 0xFFFF).
      if (HIWORD(wParam) & MF_POPUP) RefreshMenus(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT BackdropWindow::OnCreate(HWND window, WPARAM wParam, LPARAM lParam) {
  GuardAgainstFailure(window);  // before the hook: from then on GIMP's windows come in
  // GIMP's installation folder: this program lives in its lib\gimp\2.0\plug-ins.
  char appPath[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, appPath, MAX_PATH);
  appPath[MAX_PATH - 1] = '\0';  // older systems leave a path that fills the buffer unterminated
  CutAppPath(appPath);
  tracker.InstallHook(window, appPath);
  accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  TakeKeys();

  // Release the plug-in-mode launcher, which waits for this window (absent when started by hand).
  SignalStarted();
  // Every message prunes the list, and auto-close needs one after GIMP's last window has gone;
  // the platform need not send any then (Wine sends none when another process's child ends).
  SetTimer(window, kPruneTimer, kPruneIntervalMs, nullptr);
  return DefWindowProcA(window, WM_CREATE, wParam, lParam);
}

void BackdropWindow::OnDestroy(HWND window) {
  KillTimer(window, kPruneTimer);
  KillTimer(window, kCloseTimer);
  KillTimer(window, kWalkTimer);
  SavePlacement(window);
  ReleaseAdopted(window);
  tracker.UninstallHook();
  PostQuitMessage(0);
}

// Destroying the backdrop would destroy its children, GIMP's windows among them, and GIMP
// could lose unsaved images: give every child back to the desktop. The children themselves,
// not the list, so that no window of another process ends with the backdrop.
void BackdropWindow::ReleaseAdopted(HWND window) {
  ShowHiddenByMinimise(window, SW_SHOWNA);  // before leaving the backdrop, not activated
  GiveBackChildren(window);
}

// Also the failure path's: no allocation, no lock of the program's own. The windows go back as
// the user left them: in their Z order (each SetParent puts its window on top, so the lowest
// goes first), and each dialog owned again by the window GDK made it transient for, which the
// system then keeps it above.
void BackdropWindow::GiveBackChildren(HWND window) {
  HWND children[1024];
  size_t count = 0;
  for (HWND child = GetWindow(window, GW_CHILD); child && count < 1024;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children[count++] = child;
  }
  const POINT origin = NormalClientOrigin(window);
  for (size_t i = count; i-- > 0;) {
    const HWND adopted = children[i];
    if (!IsWindow(adopted) || GetAncestor(adopted, GA_PARENT) != window) continue;
    ShowMarkedByMinimise(adopted, SW_SHOWNA);  // before leaving the backdrop, not activated
    RECT place;
    GetWindowRect(adopted, &place);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
    OffsetRect(&place, origin.x, origin.y);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoA(MonitorFromRect(&place, MONITOR_DEFAULTTONEAREST), &monitor);
    const POINT at = KeptInside(place, monitor.rcWork);
    SetParent(adopted, nullptr);
    SetWindowPos(adopted, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (HWND owner = TransientOwnerOf(adopted))
      SetWindowLongPtrA(adopted, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  }
}

// The screen position of the client area's corner, or where it stands once restored while the
// window is minimised (its client area is then far off the screen).
POINT BackdropWindow::NormalClientOrigin(HWND window) {
  POINT origin = {0, 0};
  if (!IsIconic(window)) {
    ClientToScreen(window, &origin);
    return origin;
  }
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  GetWindowPlacement(window, &placement);
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)),
                     GetMenu(window) != nullptr,
                     static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
  return {placement.rcNormalPosition.left - frame.left, placement.rcNormalPosition.top - frame.top};
}

void BackdropWindow::OnMove(HWND window) {
  if (settings.Get(kMoveWindows) == 0) return;
  // Minimising and restoring take the window off the screen and back: never a move.
  if (lastWindowRect.left == kUnplaced || IsIconic(window)) return;
  GetWindowRect(window, &lastWindowRect);
  // Nothing to move: the adopted windows are the backdrop's children, so they have moved with
  // it and keep their places in its client area, which is what the setting promises. Moving
  // them by the displacement once more would carry them twice.
}

void BackdropWindow::OnSize(HWND window, WPARAM wParam) {
  if (wParam != SIZE_MINIMIZED) {
    ShowHiddenByMinimise(window, SW_SHOWNA);
    // A larger client area can leave nothing out of view on an axis, a smaller one more: the
    // bars follow at once, before the repaint that the resize brings.
    UpdateScrollRanges(window);
    return;
  }
  for (HWND adopted : tracker.Distinct()) {
    StopIfFailing();
    // The window's own visibility bit: the backdrop's, also set while minimised, does not count.
    if (!(GetWindowLongPtrA(adopted, GWL_STYLE) & WS_VISIBLE)) continue;
    SetPropA(adopted, kHiddenByMinimiseProp, reinterpret_cast<HANDLE>(1));
    ShowWindow(adopted, SW_HIDE);
  }
}

void BackdropWindow::ShowHiddenByMinimise(HWND window, int show) {
  for (HWND child = GetWindow(window, GW_CHILD); child;) {
    StopIfFailing();
    const HWND next = GetWindow(child, GW_HWNDNEXT);
    ShowMarkedByMinimise(child, show);
    child = next;
  }
}

void BackdropWindow::ShowMarkedByMinimise(HWND adopted, int show) {
  if (RemovePropA(adopted, kHiddenByMinimiseProp)) ShowWindow(adopted, show);
}

void BackdropWindow::OnPaint(HWND window) {
  UpdateScrollRanges(window);
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);  // the background comes from WM_ERASEBKGND
  EndPaint(window, &paint);
}

void BackdropWindow::OnEraseBackground(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  HBRUSH brush = CreateSolidBrush(settings.Get(kBgColor));
  FillRect(dc, &client, brush);
  DeleteObject(brush);
}

LRESULT BackdropWindow::OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  // Window menu picks come from the menu alone; a control's command, or one sent by another
  // program with a control's handle, raises nothing.
  if (id >= kFirstWindowCommand && lParam == 0) PickListed(window, id - kFirstWindowCommand);
  switch (id) {
    case IDM_ABOUT:
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
      return 0;
    case IDM_EXIT:
      PostMessageA(window, WM_CLOSE, 0, 0);
      return 0;
    case IDM_BGCOLOR:
      ChooseBackgroundColor(window);
      return 0;
    case IDM_SNAP:
      Toggle(window, kSnap);
      return 0;
    case IDM_SETUP:
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), window, SetupDialogProc, 0);
      return 0;
    case IDM_MOVEWINDOWS:
      Toggle(window, kMoveWindows);
      return 0;
    case IDM_NEXTWINDOW:
    case IDM_PREVWINDOW:
      StepRecent(window, id == IDM_PREVWINDOW);
      return 0;
    case IDM_CLOSEWINDOW:
      CloseActiveImage(window);
      return 0;
    case IDM_MOREWINDOWS:
      ChooseWindow(window);
      return 0;
    case IDM_CASCADE:
    case IDM_TILE:
    case IDM_GIMPLAYOUT:
      Arrange(window, id);
      return 0;
    default:
      return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
  }
}

void BackdropWindow::PickListed(HWND window, size_t position) {
  RaiseListed(window, position < menuWindows.size() ? menuWindows[position] : nullptr);
}

void BackdropWindow::RaiseListed(HWND window, HWND picked) {
  const std::list<HWND>& listed = tracker.Windows();
  // A window that ended while the menu was open raises nothing, and no other in its place.
  if (!picked || !IsWindow(picked) ||
      std::find(listed.begin(), listed.end(), picked) == listed.end())
    return;
  // Renumbered in the list's new order, as the next drop-down is; asked for before the
  // raise, whose new Z order another program can see and answer with its next pick.
  RefreshMenusSoon(window);
  tracker.Raise(picked);
  ScrollIntoView(window, picked);  // a pick always shows the window picked
}

void BackdropWindow::Toggle(HWND window, const DwordSetting& setting) {
  settings.SetDword(setting.name, settings.Get(setting) == 0 ? 1 : 0);
  RefreshMenus(window);  // also hands a new snap setting to the hook at once
}

void BackdropWindow::ChooseBackgroundColor(HWND window) {
  COLORREF custom[16] = {};
  CHOOSECOLORA request = {};
  request.lStructSize = sizeof(request);
  request.hwndOwner = window;
  request.rgbResult = settings.Get(kBgColor);
  request.lpCustColors = custom;
  request.Flags = CC_RGBINIT;
  ChooseColorA(&request);
  // After Cancel the request still holds the starting colour, which is stored back.
  settings.SetDword(kBgColor.name, request.rgbResult);
  InvalidateRect(window, nullptr, TRUE);
}

void BackdropWindow::RestorePlacement(HWND window) {
  const StoredPlacement stored = {
      static_cast<LONG>(settings.Get(kWindowX)), static_cast<LONG>(settings.Get(kWindowY)),
      static_cast<LONG>(settings.Get(kWindowW)), static_cast<LONG>(settings.Get(kWindowH)),
      settings.Get(kMinState)};
  const WINDOWPLACEMENT placement = ToPlacement(stored);
  SetWindowPlacement(window, &placement);
  UpdateWindow(window);
  // Only now: the moves that placing the window causes must not carry GIMP's windows along.
  lastWindowRect = placement.rcNormalPosition;
}

void BackdropWindow::SavePlacement(HWND window) {
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  GetWindowPlacement(window, &placement);
  const StoredPlacement stored = FromPlacement(placement);
  settings.SetDword(kWindowX.name, static_cast<DWORD>(stored.x));
  settings.SetDword(kWindowY.name, static_cast<DWORD>(stored.y));
  settings.SetDword(kWindowW.name, static_cast<DWORD>(stored.width));
  settings.SetDword(kWindowH.name, static_cast<DWORD>(stored.height));
  settings.SetDword(kMinState.name, stored.showCommand);
}

#if !defined(_WIN64)
static_assert(sizeof(CHOOSECOLORA) == 36, "the colour chooser's request");
#endif
