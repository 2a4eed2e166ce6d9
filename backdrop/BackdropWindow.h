// The application object: the backdrop window's behaviour, its settings and its tracker.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Arrange.h"
#include "CloseRule.h"
#include "RecentWindows.h"
#include "SettingsKey.h"
#include "WindowTracker.h"

// Window menu items carry this plus the window's position in the tracker's list.
constexpr UINT kFirstWindowCommand = 1000;

// Menu commands and dialog templates, shared with the resource script.
#include "../resources/ResourceIds.h"

class BackdropWindow {
 public:
  BackdropWindow();
  virtual ~BackdropWindow();
  BackdropWindow(const BackdropWindow&) = delete;
  BackdropWindow& operator=(const BackdropWindow&) = delete;

  LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Scrolling: the bars' ranges follow the adopted windows; a scroll moves them.
  void UpdateScrollRanges(HWND window);
  void ScrollAdopted(HWND window, int dx, int dy);
  // Scrolls every adopted window together until this one stands in the client area.
  void ScrollIntoView(HWND window, HWND adopted);
  // Check marks of the Edit menu, the snap setting for the hook, and the Window menu.
  void RefreshMenus(HWND window);
  // The same, once the notices already queued are handled: a burst of notices costs one
  // refresh, not one registry read and menu rebuild each, while GIMP waits on every notice.
  void RefreshMenusSoon(HWND window);
  // Greys Cascade and Tile without an image, GIMP layout without a window to arrange, when the
  // popup about to drop down is the Window menu.
  void GreyArrangements(HWND window, HMENU popup);
  // "More windows...": every listed window in the menu's order; raises the one picked.
  void ChooseWindow(HWND window);
  // Raises a window the Window menu listed at this position of menuWindows, as a pick does.
  void PickListed(HWND window, size_t position);
  void RaiseListed(HWND window, HWND picked);
  // Keys: the accelerators handed to the hook, one pressed in GIMP's window, and their commands.
  void TakeKeys();
  void OnKey(HWND window, WORD key, HWND active);
  void StepRecent(HWND window, bool back);
  void EndWalk(HWND window);
  void CloseActiveImage(HWND window);
  // The shown image windows of GIMP's that the backdrop holds.
  std::vector<HWND> ImageWindows(HWND window) const;
  // The Window menu's Cascade, Tile and GIMP layout commands.
  void Arrange(HWND window, UINT command);
  // The window's normal rectangle and show state, kept in the settings.
  void RestorePlacement(HWND window);
  void SavePlacement(HWND window);

  SettingsKey settings;
  WindowTracker tracker;
  HINSTANCE instance = nullptr;
  int autoClose = 0;
  // The GIMPs this backdrop serves: the one whose plug-in started it, and any started while it
  // stood, whose copy stood aside for it. None when started by hand.
  struct ServedGimp {
    DWORD id;
    HANDLE process;
  };
  std::vector<ServedGimp> gimps;
  void Serve(DWORD processId);
  bool GimpRuns();
  bool IsServedGimp(DWORD processId) const;
  bool menusDue = false;
  RECT lastWindowRect;
  int hScrollPos = 0;
  int vScrollPos = 0;
  // The windows the Window menu's items name, at command kFirstWindowCommand + index, as its
  // last rebuild listed them: a pick raises the window it showed, whatever the list did since.
  std::vector<HWND> menuWindows;
  std::vector<std::string> menuTitles;
  // Ctrl+F6's order of GIMP's windows, from their activations.
  RecentWindows<HWND> recent;
  HACCEL accelerators = nullptr;
  // The active window of GIMP's thread where the key being handled was pressed; null for a key
  // of the backdrop's own frame.
  HWND keyWindow = nullptr;
  // The close under way, while GIMP closes its windows one by one and asks the user.
  ClosePass closing;

  // Called on a failure of the process: every adopted window back to the desktop.
  static void GiveBackOnFailure(HWND window);
  // Whether this backdrop still serves a GIMP: its GIMP runs, or it holds windows.
  bool ServesGimp();

 private:
  LRESULT OnCreate(HWND window, WPARAM wParam, LPARAM lParam);
  void OnDestroy(HWND window);
  void OnMove(HWND window);
  void OnSize(HWND window, WPARAM wParam);
  void OnPaint(HWND window);
  void OnClose(HWND window);
  void StepClose(HWND window);
  void EndClose(HWND window);
  // The adopted top-level windows of GIMP's main process; *minor gets its version.
  std::vector<GimpWindowFacts> GimpWindows(HWND window, int* minor) const;
  // Those of them an arrangement may move: shown, not minimised, no dialog.
  std::vector<ArrangedWindow> ArrangeableWindows(HWND window) const;
  void OnEraseBackground(HWND window, HDC dc);
  LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam);
  void OnScroll(HWND window, int bar, WPARAM wParam);
  void ChooseBackgroundColor(HWND window);
  void Toggle(HWND window, const DwordSetting& setting);
  void ReleaseAdopted(HWND window);
  static void GiveBackChildren(HWND window);
  static POINT NormalClientOrigin(HWND window);
  // Minimising hides the shown adopted windows and marks them; restoring shows the marked ones
  // alone, so a window that GIMP itself had hidden stays hidden. The mark is on the window, where
  // the failure path reads it without touching the program's own data.
  void ShowHiddenByMinimise(HWND window, int show);
  static void ShowMarkedByMinimise(HWND adopted, int show);
};

// The one application object of the process, built before WinMain runs.
extern BackdropWindow g_backdrop;

// From here on an unhandled exception in any thread, or abort(), gives this backdrop's windows
// back to the desktop before the process ends.
void GuardAgainstFailure(HWND window);
// True once that has begun: the window procedure then does nothing of its own.
bool BackdropFailing();
// Called by the window thread before each step over GIMP's windows: once the process fails it
// stops there for good, answering only what is sent to it.
void StopIfFailing();

// Asks the backdrop to refresh its menus (posted to itself).
constexpr UINT kRefreshMenusMessage = WM_APP + 20;
// Sent by a starting copy to a backdrop that stands, with the copy's GIMP's process id as the
// wParam: nonzero while it serves a GIMP, and it then serves that one too.
constexpr UINT kServingMessage = WM_APP + 21;

// Steps a close while GIMP works through it.
constexpr UINT_PTR kCloseTimer = 2;
// Watches for Ctrl's release during a Ctrl+F6 walk.
constexpr UINT_PTR kWalkTimer = 3;

// Marks a window rectangle that was never placed.
constexpr LONG kUnplaced = -32767;

// Set by the backdrop once its window exists; the plug-in-mode launcher waits for it.
constexpr const char* kStartupEventName = "GIMPVellamyEvent";
void SignalStarted();
// The plug-in hands GIMP's process id to the backdrop it starts in this environment variable.
constexpr const char* kGimpProcessVariable = "VELLAMY_GIMP_PROCESS";
// GIMP's main window: this class, with the title stored in "GimpName".
constexpr const char* kGimpMainClass = "gdkWindowToplevel";
