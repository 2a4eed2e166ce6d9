#include <gtest/gtest.h>

#include "StackRule.h"

namespace {

// GIMP (process 10) started the plug-in (process 20); process 30 is another GIMP's plug-in.
TEST(StackRule, DialogsStayAboveTheirOwnerAndPlugInsAboveEveryWindowOfTheirGimpAlone) {
  const HWND image = reinterpret_cast<HWND>(0x100), otherImage = reinterpret_cast<HWND>(0x101);
  const StackFacts gimpImage = {image, 10, 1, nullptr}, gimpDock = {otherImage, 10, 1, nullptr},
                   toolbox = {reinterpret_cast<HWND>(0x102), 10, 1, nullptr},
                   gimpDialog = {reinterpret_cast<HWND>(0x103), 10, 1, image},
                   plugIn = {reinterpret_cast<HWND>(0x104), 20, 10, nullptr},
                   plugInProgress = {reinterpret_cast<HWND>(0x105), 20, 10, nullptr},
                   otherPlugIn = {reinterpret_cast<HWND>(0x106), 30, 11, nullptr},
                   unknownParent = {reinterpret_cast<HWND>(0x107), 20, 0, nullptr},
                   unreadProcess = {reinterpret_cast<HWND>(0x108), 0, 0, nullptr};
  const struct {
    const char* what;
    StackFacts upper, lower;
    bool above;
  } cases[] = {
      {"GIMP's dialog over the window it is transient for", gimpDialog, gimpImage, true},
      {"GIMP's dialog over another of GIMP's windows", gimpDialog, gimpDock, false},
      {"a plug-in's dialog over GIMP's image window", plugIn, gimpImage, true},
      {"a plug-in's dialog over GIMP's dock", plugIn, gimpDock, true},
      {"a plug-in's dialog over GIMP's toolbox", plugIn, toolbox, true},
      {"a plug-in's dialog over GIMP's own dialog", plugIn, gimpDialog, true},
      {"a plug-in's window over another of its own", plugInProgress, plugIn, false},
      {"GIMP's image window over a plug-in's dialog", gimpImage, plugIn, false},
      {"another GIMP's plug-in over this GIMP's image", otherPlugIn, gimpImage, false},
      {"a window whose starter was not read", unknownParent, gimpImage, false},
      {"over a window whose process was not read", unknownParent, unreadProcess, false},
      {"one image window over another", gimpImage, gimpDock, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.above, StaysAbove(c.upper, c.lower)) << c.what;
}

}  // namespace
