// The About and Setup dialogs, run modally from the backdrop's menu.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Edits "GimpApp" and "GimpName" through stores of its own, one per message that needs one.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
