// Every stored setting with its registry name and default. The names are permanent: users'
// registries already hold them.
#pragma once

#include <windows.h>

constexpr const char* kSettingsPath = "SOFTWARE\\GIMPVellamy";  // below HKEY_LOCAL_MACHINE

struct DwordSetting {
  const char* name;
  DWORD fallback;
};

struct StringSetting {
  const char* name;
  const char* fallback;
};

// Normal (restored) rectangle and show command of the backdrop window.
constexpr DwordSetting kWindowX{"WindowX", 0};
constexpr DwordSetting kWindowY{"WindowY", 0};
constexpr DwordSetting kWindowW{"WindowW", 600};
constexpr DwordSetting kWindowH{"WindowH", 600};
constexpr DwordSetting kMinState{"MinState", SW_SHOWMAXIMIZED};
// Toggles: nonzero is on.
constexpr DwordSetting kSnap{"Snap", 0};
constexpr DwordSetting kMoveWindows{"MoveWindows", 0};
// COLORREF of the backdrop's background: mid grey.
constexpr DwordSetting kBgColor{"BgColor", 0x808080};
// Title of GIMP's main window, asked to close when the backdrop is closed.
constexpr StringSetting kGimpName{"GimpName", "The GIMP"};
// GIMP's executable name as the user entered it; informational.
constexpr StringSetting kGimpApp{"GimpApp", "gimp-2.0.exe"};
