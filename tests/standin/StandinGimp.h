// Messages a test posts to any of the stand-in GIMP's top-level windows.
#pragma once

#include <windows.h>

constexpr UINT kOpenImage = WM_APP + 1;   // opens an image, in a new image window as a rule
constexpr UINT kCloseImage = WM_APP + 2;  // closes the newest image
constexpr UINT kOpenPopup = WM_APP + 3;   // a menu popup
// What GIMP never does, for the tests alone:
constexpr UINT kDie = WM_APP + 4;        // ends the process at once, as a crash would
constexpr UINT kOpenTool = WM_APP + 5;   // a child-styled bordered tool window, "Tool Options"
constexpr UINT kCloseTool = WM_APP + 6;  // the newest tool window
// GIMP's own behaviour, started by the test:
constexpr UINT kPreferences = WM_APP + 7;  // Edit > Preferences: the dialog, made once, shown
constexpr UINT kReport = WM_APP + 8;       // prints "place ..." lines: what GTK asked and learnt
// The "Quit GIMP" dialog's "Discard Changes" (closing the dialog is its Cancel):
constexpr UINT kDiscardChanges = WM_APP + 9;
// A plug-in run from a menu (File > Export As): a process of its own, started by GIMP, whose
// dialog "Export Image as PNG" has no owner on Windows.
constexpr UINT kRunPlugIn = WM_APP + 10;
