// GIMP's plug-ins, each a process of its own whose dialogs have no owner on Windows, driven
// through Script-Fu commands on GIMP's command line (-b) as a user's menu picks would run them.
#include <algorithm>
#include <cstdio>

#include "GimpHostFixture.h"

namespace {

// Script-Fu's text for the first image GIMP holds, given to body as image and drawable.
std::string OnFirstImage(const std::string& body) {
  return "(let* ((image (vector-ref (cadr (gimp-image-list)) 0))"
         " (drawable (car (gimp-image-get-active-drawable image)))) " +
         body + ")";
}

// Whether upper stands above each of lower among the backdrop's children.
bool Above(HWND backdrop, HWND upper, const std::vector<HWND>& lower) {
  const std::vector<HWND> stack = Children(backdrop);  // top first
  const auto at = std::find(stack.begin(), stack.end(), upper);
  return at != stack.end() && std::none_of(lower.begin(), lower.end(), [&](HWND w) {
           return std::find(stack.begin(), at, w) != at;
         });
}

// File > Export As > PNG: file-png's options dialog comes up inside the backdrop, in view, with
// the keyboard and above the image, stays above it whatever raises the image, and its Export
// writes the file.
TEST_F(GimpHostTest, ThePngExportDialogComesUpWithTheKeyboardStaysAboveItsImageAndWritesTheFile) {
  std::string png = profile + "one.png";
  std::replace(png.begin(), png.end(), '\\', '/');
  Session run;
  HWND image = nullptr, dialog = nullptr;
  ASSERT_TRUE(StartWithDialog(run,
                              OnFirstImage("(file-png-save RUN-INTERACTIVE image drawable \"" +
                                           png + "\" \"one.png\" 0 9 0 0 0 0 0)"),
                              "Export Image as PNG", &image, &dialog))
      << run.Explain() << Answers(run.backdrop);
  EXPECT_NE(ProcessOf(dialog), ProcessOf(image)) << "the dialog is the plug-in's";
  RECT client, place = ClientRectIn(dialog, run.backdrop);
  GetClientRect(run.backdrop, &client);
  EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.right <= client.right &&
              place.bottom <= client.bottom)
      << place.left << "," << place.top << " " << place.right << "," << place.bottom;
  const std::vector<HWND> gimp = {image, run.main};
  EXPECT_TRUE(PumpUntil([&] { return Above(run.backdrop, dialog, gimp); }, 10000));
  GUITHREADINFO keyboard = {};
  keyboard.cbSize = sizeof(keyboard);
  EXPECT_TRUE(PumpUntil(
      [&] {
        GetGUIThreadInfo(0, &keyboard);  // the thread the keyboard's input goes to
        return keyboard.hwndFocus == dialog || IsChild(dialog, keyboard.hwndFocus);
      },
      10000))
      << "the keyboard is in " << TitleOf(GetAncestor(keyboard.hwndFocus, GA_ROOT)) << " "
      << TitleOf(GetForegroundWindow());

  // A click's raise of the image (the system's), then each of the Window menu's picks.
  SetWindowPos(image, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_TRUE(PumpUntil([&] { return Above(run.backdrop, dialog, gimp); }, 10000))
      << "after a click on the image";
  const size_t listed = Children(run.backdrop).size();
  DWORD_PTR reply = 0;
  for (size_t i = 0; i < listed; ++i) {
    SendMessageTimeoutA(run.backdrop, WM_COMMAND, 1000 + i, 0, SMTO_NORMAL, 10000, &reply);
    EXPECT_TRUE(PumpUntil([&] { return Above(run.backdrop, dialog, gimp); }, 10000))
        << "after the Window menu's pick " << i << " of " << listed;
  }

  // Its Export (the dialog's default button) writes the whole PNG, to its end chunk. GIMP
  // ends a plug-in still at work when it quits, so the close waits for that.
  PostKey(dialog, VK_RETURN);
  std::string written;
  EXPECT_TRUE(PumpUntil(
      [&] {
        written = ReadFile(profile + "one.png");
        return !IsWindow(dialog) && written.size() > 20 &&
               written.compare(written.size() - 8, 4, "IEND") == 0;
      },
      60000))
      << run.Explain() << written.size() << " bytes";
  EXPECT_EQ(0u, written.rfind("\x89PNG", 0));
  CloseAndWait(run);
}

// Script-Fu's Console (Filters > Script-Fu > Console) goes and comes with the backdrop, still
// above the image; the close then quits GIMP, which ends its running plug-ins itself (asking
// only about unsaved images, as without vellamy). A script's name called from Script-Fu runs
// its Scheme function, never its dialog, so the Console stands for a Script-Fu dialog.
TEST_F(GimpHostTest, AScriptFuDialogGoesAndComesWithTheBackdropAndTheCloseQuitsGimp) {
  Session run;
  HWND image = nullptr, dialog = nullptr;
  ASSERT_TRUE(StartWithDialog(run, "(plug-in-script-fu-console RUN-INTERACTIVE)",
                              "Script-Fu Console", &image, &dialog))
      << run.Explain() << Answers(run.backdrop);
  const DWORD plugIn = ProcessOf(dialog);
  EXPECT_TRUE(PumpUntil([&] { return Above(run.backdrop, dialog, {image, run.main}); }, 10000));

  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(run.backdrop) && !IsWindowVisible(dialog); }, 10000));
  PostMessageA(run.backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil(
      [&] {
        return IsWindowVisible(dialog) && Above(run.backdrop, dialog, {image, run.main});
      },
      10000));

  CloseAndWait(run);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, plugIn);
  EXPECT_TRUE(!process || WaitForSingleObject(process, 10000) == WAIT_OBJECT_0)
      << "GIMP ended its plug-in";
  if (process) CloseHandle(process);
}

}  // namespace
