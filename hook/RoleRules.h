// What GIMP made a window for, from the role it gives the window: a pure rule shared by the hook
// procedure and its tests.
#pragma once

#include <cstring>

#include "vellamyhook.h"

// GIMP names its windows' roles "gimp-image-window", "gimp-toolbox" and "gimp-dock", from 2.8 on
// with "-N" after them (gimpimagewindow.c, dialogs-constructors.c). Other windows' roles merely
// begin alike, such as the toolbox's colour dialog, "gimp-toolbox-color-dialog": a name counts
// only when nothing but digits follow its dash.
inline bool IsRoleNamed(const char* role, const char* name) {
  const size_t length = std::strlen(name);
  if (std::strncmp(role, name, length) != 0) return false;
  const char* rest = role + length;
  if (!*rest) return true;
  if (*rest++ != '-' || !*rest) return false;
  for (; *rest; ++rest) {
    if (*rest < '0' || *rest > '9') return false;
  }
  return true;
}

inline GimpKind GimpKindOfRole(const char* role) {
  if (IsRoleNamed(role, "gimp-image-window")) return kKindImage;
  if (IsRoleNamed(role, "gimp-toolbox")) return kKindToolbox;
  if (IsRoleNamed(role, "gimp-dock")) return kKindDock;
  if (std::strcmp(role, "gimp-message-dialog") == 0) return kKindQuestion;
  return kKindOther;
}
