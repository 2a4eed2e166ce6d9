// The backdrop with GIMP as it runs on real Windows installations: windows GIMP hides itself,
// and GIMP installed for one user below an account folder.
#include "ProgramFixture.h"

namespace {

// GIMP installed for one user: C:\Users\<account>\AppData\Local\Programs\GIMP 2, with "lib" in
// the account's name. Another program of that user must keep its windows.
TEST_F(ProgramTest, APerUserGimpUnderAnAccountNamedWithLibAdoptsGimpsWindowsAlone) {
  const std::string root = MakeTempFolder("vmyuser");
  const std::string programs = root + "Alibek\\AppData\\Local\\Programs\\";
  const std::string prefix = programs + "GIMP 2\\";
  const std::string plugins = prefix + "lib\\gimp\\2.0\\plug-ins\\";
  for (const std::string& folder :
       {root + "Alibek", root + "Alibek\\AppData", root + "Alibek\\AppData\\Local", programs,
        programs + "Other", prefix, prefix + "bin", prefix + "lib", prefix + "lib\\gimp",
        prefix + "lib\\gimp\\2.0", plugins}) {
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  const std::string bin = ProgramFolder();
  for (const char* file : {"gimp-2.0.exe", "libgimp-2.0-0.dll"}) {
    ASSERT_TRUE(CopyFileA((bin + file).c_str(), (prefix + "bin\\" + file).c_str(), FALSE));
  }
  for (const char* file : {"vellamy.exe", "vellamyhook.dll"}) {
    ASSERT_TRUE(CopyFileA((bin + file).c_str(), (plugins + file).c_str(), FALSE));
  }
  const std::string other = programs + "Other\\vmyprobe.exe";
  ASSERT_TRUE(CopyFileA((bin + "vmyprobe.exe").c_str(), other.c_str(), FALSE));

  Session run;
  run.gimp =
      std::make_unique<TestProcess>(prefix + "bin\\gimp-2.0.exe", std::vector<std::string>{});
  ASSERT_TRUE(run.gimp->WaitForLine("ready", 60000)) << run.gimp->OutputSoFar();
  run.main = HandleFromText(run.gimp->SoFar().Field("window main", "hwnd"));
  ASSERT_TRUE(run.FindBackdrop()) << run.gimp->OutputSoFar();
  EXPECT_TRUE(IsChildOf(run.main, run.backdrop));
  TestProcess probe(other, {"bordered"});
  ASSERT_TRUE(probe.Started());
  ProcessResult seen = probe.Wait();
  EXPECT_EQ("0", seen.Field("created bordered", "parent")) << seen.output;

  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  run.gimp->Wait();
  EXPECT_EQ(0u, run.BackdropExit());
  RemoveTree(root);
}

}  // namespace
