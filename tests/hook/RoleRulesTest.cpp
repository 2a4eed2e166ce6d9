#include <gtest/gtest.h>

#include "RoleRules.h"

namespace {

// GIMP's roles for its toolbox, docks and image windows, with or without their number; roles
// that only begin alike belong to other windows.
TEST(RoleRules, OnlyGimpsOwnWindowRolesNameAToolboxDockOrImageWindow) {
  const struct {
    const char* role;
    GimpKind kind;
  } cases[] = {
      {"gimp-image-window", kKindImage},
      {"gimp-image-window-12", kKindImage},
      {"gimp-toolbox", kKindToolbox},
      {"gimp-toolbox-1", kKindToolbox},
      {"gimp-dock", kKindDock},
      {"gimp-dock-3", kKindDock},
      {"gimp-toolbox-color-dialog", kKindOther},
      {"gimp-dockable-dialog", kKindOther},
      {"gimp-dock-", kKindOther},
      {"gimp-image-window-1x", kKindOther},
      {"gimp-file-open", kKindOther},
      {"gimp-message-dialog", kKindQuestion},
      {"gimp-message-dialog-1", kKindOther},
      {"", kKindOther},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kind, GimpKindOfRole(c.role)) << c.role;
}

}  // namespace
