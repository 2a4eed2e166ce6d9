// Which of two windows in the backdrop stays above the other: a pure rule shared by the hook
// procedure and its tests.
#pragma once

#include <windows.h>

// What the rule reads of a window.
struct StackFacts {
  HWND window;
  DWORD process;
  DWORD startedBy;      // the process that started the window's process; 0 when not known
  HWND transientOwner;  // the window GDK made it transient for
};

// True when upper is to stand above lower, as an owned window stands above its owner: a dialog
// above the window GDK made it transient for, and a plug-in's window above every window of the
// GIMP that started the plug-in. libgimpui makes a plug-in's dialog transient for nothing on
// Windows, so no owner keeps it above the image it works on.
inline bool StaysAbove(const StackFacts& upper, const StackFacts& lower) {
  if (upper.transientOwner && upper.transientOwner == lower.window) return true;
  return lower.process && upper.startedBy == lower.process && upper.process != lower.process;
}
