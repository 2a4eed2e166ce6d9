// The app path rule: which executables count as GIMP's. Pure, so tests use it directly.
#pragma once

#include <cstddef>

// Lower-cases A to Z in place and leaves every other byte alone, whatever the locale.
inline void LowerAscii(char* text) {
  for (; *text; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
  }
}

// True when the lower-cased executable path starts with the app path. The app path is compared
// as stored, so one holding an upper-case letter matches nothing; an empty one matches nothing.
inline bool IsUnderAppPath(const char* lowerExePath, const char* appPath) {
  if (!lowerExePath[0] || !appPath[0]) return false;
  std::size_t i = 0;
  for (; appPath[i]; ++i) {
    if (lowerExePath[i] != appPath[i]) return false;  // also stops at the path's end
  }
  return true;
}

// The app path of a program stored under GIMP's folder: its own path, lower-cased and cut
// before the first "lib", so ...\gimp 2\lib\gimp\2.0\plug-ins\vellamy.exe gives ...\gimp 2\.
// A path without "lib" is kept whole.
inline void CutAppPath(char* path) {
  LowerAscii(path);
  for (char* p = path; *p; ++p) {
    if (p[0] == 'l' && p[1] == 'i' && p[2] == 'b') {
      *p = '\0';
      return;
    }
  }
}
