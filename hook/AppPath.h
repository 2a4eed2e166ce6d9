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
// before the last folder named "lib", so ...\gimp 2\lib\gimp\2.0\plug-ins\vellamy.exe gives
// ...\gimp 2\. Only a whole folder name counts, and the last one, because the folders above
// GIMP's may hold "lib" too (c:\users\alibek\appdata\local\programs\gimp 2\ for a per-user
// install). A path without such a folder is kept whole.
inline void CutAppPath(char* path) {
  LowerAscii(path);
  char* cut = nullptr;
  for (char* p = path; *p; ++p) {
    if (p[0] == '\\' && p[1] == 'l' && p[2] == 'i' && p[3] == 'b' && p[4] == '\\') cut = p + 1;
  }
  if (cut) *cut = '\0';
}
