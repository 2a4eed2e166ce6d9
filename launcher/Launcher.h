// Window class and window creation of the backdrop, for standalone mode.
#pragma once

#include <windows.h>

void RegisterBackdropClass(HINSTANCE instance);
// Creates, shows and paints the backdrop window; 0 when it could not be created.
int CreateBackdropWindow(HINSTANCE instance, int show);
