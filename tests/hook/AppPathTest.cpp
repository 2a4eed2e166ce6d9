#include <gtest/gtest.h>

#include <string>

#include "AppPath.h"

namespace {

TEST(AppPath, AnExecutableMatchesWhenItsLowerCasedPathStartsWithTheAppPath) {
  const char* app = "c:\\program files\\gimp 2\\";
  EXPECT_TRUE(IsUnderAppPath("c:\\program files\\gimp 2\\bin\\gimp-2.10.exe", app));
  EXPECT_TRUE(IsUnderAppPath("c:\\program files\\gimp 2\\lib\\gimp\\2.0\\plug-ins\\x.exe", app));
  EXPECT_TRUE(IsUnderAppPath("c:\\program files\\gimp 2\\", app));  // the folder itself
  EXPECT_FALSE(IsUnderAppPath("c:\\program files\\gimp 3\\bin\\gimp.exe", app));
  EXPECT_FALSE(IsUnderAppPath("c:\\windows\\notepad.exe", app));
  EXPECT_FALSE(IsUnderAppPath("c:\\program files\\gimp", app));  // shorter than the app path
}

TEST(AppPath, EmptyPathsAndUpperCaseAppPathsMatchNothing) {
  EXPECT_FALSE(IsUnderAppPath("c:\\gimp\\bin\\gimp.exe", ""));
  EXPECT_FALSE(IsUnderAppPath("", "c:\\gimp\\"));
  EXPECT_FALSE(IsUnderAppPath("", ""));
  // The executable path is lower-cased before the test; the stored app path is not.
  char exe[] = "C:\\GIMP\\bin\\gimp.exe";
  LowerAscii(exe);
  EXPECT_STREQ("c:\\gimp\\bin\\gimp.exe", exe);
  EXPECT_TRUE(IsUnderAppPath(exe, "c:\\gimp\\"));
  EXPECT_FALSE(IsUnderAppPath(exe, "C:\\GIMP\\"));
}

TEST(AppPath, LowerCasingChangesOnlyAToZ) {
  char text[] = "AZaz09[\\]@`\xC4\xD6\xDC{|}";
  LowerAscii(text);
  EXPECT_STREQ("azaz09[\\]@`\xC4\xD6\xDC{|}", text);
}

TEST(AppPath, TheProgramPathIsCutBeforeTheFirstLib) {
  char plugIn[] = "C:\\Program Files\\GIMP 2\\lib\\gimp\\2.0\\plug-ins\\vellamy.exe";
  CutAppPath(plugIn);
  EXPECT_STREQ("c:\\program files\\gimp 2\\", plugIn);
  // An earlier "lib", inside a folder name, wins.
  char library[] = "D:\\Library\\GIMP\\lib\\gimp\\2.0\\plug-ins\\vellamy.exe";
  CutAppPath(library);
  EXPECT_STREQ("d:\\", library);
  // Without "lib" the whole lower-cased path stays, file name included.
  char plain[] = "C:\\Tools\\Vellamy.exe";
  CutAppPath(plain);
  EXPECT_STREQ("c:\\tools\\vellamy.exe", plain);
}

}  // namespace
