#include <gtest/gtest.h>

#include "StackRule.h"

namespace {

// GIMP (process 10) started the plug-in (process 20); process 30 is another GIMP's plug-in.
TEST(StackRule, DialogsStayAboveTheirOwnerAndPlugInsAboveEveryWindowOfTheirGimpAlone) {
  const auto H = [](int n) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(n)); };
  const StackFacts gimpImage = {H(1), 10, 1, nullptr}, gimpDock = {H(2), 10, 1, nullptr},
                   toolbox = {H(3), 10, 1, nullptr}, gimpDialog = {H(4), 10, 1, H(1)},
                   plugIn = {H(5), 20, 10, nullptr}, plugInProgress = {H(6), 20, 10, nullptr},
                   otherPlugIn = {H(7), 30, 11, nullptr}, unknownParent = {H(8), 20, 0, nullptr},
                   unreadProcess = {H(9), 0, 0, nullptr};
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
