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

TEST(AppPath, TheProgramPathIsCutBeforeTheLastFolderNamedLib) {
  char plugIn[] = "C:\\Program Files\\GIMP 2\\lib\\gimp\\2.0\\plug-ins\\vellamy.exe";
  CutAppPath(plugIn);
  EXPECT_STREQ("c:\\program files\\gimp 2\\", plugIn);
  // A per-user install whose account name holds "lib", and folders named lib above GIMP's.
  char perUser[] =
      "C:\\Users\\Alibek\\AppData\\Local\\Programs\\GIMP 2\\lib\\gimp\\2.0\\plug-ins\\v.exe";
  CutAppPath(perUser);
  EXPECT_STREQ("c:\\users\\alibek\\appdata\\local\\programs\\gimp 2\\", perUser);
  char nested[] = "D:\\Lib\\Library\\GIMP\\LIB\\gimp\\2.0\\plug-ins\\vellamy.exe";
  CutAppPath(nested);
  EXPECT_STREQ("d:\\lib\\library\\gimp\\", nested);
  // Without a folder named lib the whole lower-cased path stays, file name included.
  char plain[] = "C:\\Tools\\Libraries\\Vellamy.exe";
  CutAppPath(plain);
  EXPECT_STREQ("c:\\tools\\libraries\\vellamy.exe", plain);
}

}  // namespace
