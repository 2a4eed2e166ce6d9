// GIMP-like content for the stand-in's windows, so that a picture of them looks like GIMP.
#pragma once

#include <windows.h>

#include <string>

// Paints the client area of a window of the given role ("toolbox", "dock", "image", "empty",
// "dialog", "splash", "canvas"); dark for GIMP 2.10's theme.
void PaintGimpWindow(HWND window, HDC dc, const std::string& role, bool dark);
