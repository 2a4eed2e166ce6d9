#include "Dialogs.h"

#include "../resources/ResourceIds.h"
#include "SettingsKey.h"

namespace {
constexpr int kTextSize = 1024;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    SettingsKey store(kSettingsPath);
    SetDlgItemTextA(dialog, IDC_GIMP_APP, store.Get(kGimpApp).c_str());
    SetDlgItemTextA(dialog, IDC_GIMP_NAME, store.Get(kGimpName).c_str());
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK: {
      // Both texts as the fields hold them, changed or not, empty included.
      {
        SettingsKey store(kSettingsPath);
        char text[kTextSize] = {};
        GetDlgItemTextA(dialog, IDC_GIMP_APP, text, kTextSize);
        store.SetString(kGimpApp.name, text);
        GetDlgItemTextA(dialog, IDC_GIMP_NAME, text, kTextSize);
        store.SetString(kGimpName.name, text);
      }
      EndDialog(dialog, IDOK);
      return TRUE;
    }
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}
