// Messages a test posts to the stand-in GIMP's main window.
#pragma once

#include <windows.h>

constexpr UINT kOpenImage = WM_APP + 1;
constexpr UINT kCloseImage = WM_APP + 2;  // the newest image window
constexpr UINT kOpenPopup = WM_APP + 3;
constexpr UINT kDie = WM_APP + 4;        // ends the process at once, as a crash would
constexpr UINT kOpenTool = WM_APP + 5;   // a bordered tool window, "Tool Options"
constexpr UINT kCloseTool = WM_APP + 6;  // the newest tool window
