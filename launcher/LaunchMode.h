// How the program was started: by GIMP as a plug-in, or on its own as the backdrop.
#pragma once

#include <cstring>

// GIMP passes "-gimp" among a plug-in's arguments; only that exact argument counts.
inline bool IsPluginMode(int argc, char* const* argv) {
  for (int i = 0; i < argc; ++i) {
    if (argv[i] && std::strcmp(argv[i], "-gimp") == 0) return true;
  }
  return false;
}
