// The real 32-bit programs, run under 32-bit emulation: the 32-bit stand-in GIMP starts the
// 32-bit plug-in, which starts the 32-bit backdrop, and its hook reaches GIMP's 32-bit process.
// This test program itself is 64-bit: it only starts them and looks at their windows. Every
// 32-bit process takes about a minute to start here, so the run is short and does each thing
// once. VELLAMY_BIN32 names the 32-bit build's bin folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "StandinGimp.h"
#include "TestProcess.h"

namespace {

constexpr DWORD kMinutes = 60000;

bool IsChildOf(HWND window, HWND parent) { return GetAncestor(window, GA_PARENT) == parent; }

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The machine field of a PE file's header: 0x14C for 32-bit x86.
unsigned Machine(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[0x40] = {};
  in.read(reinterpret_cast<char*>(header), sizeof(header));
  const unsigned offset = header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 |
                          static_cast<unsigned>(header[0x3F]) << 24;
  in.seekg(offset + 4);
  unsigned char machine[2] = {};
  in.read(reinterpret_cast<char*>(machine), 2);
  return machine[0] | machine[1] << 8u;
}

HANDLE Event(const char* name) { return CreateEventA(nullptr, TRUE, FALSE, name); }

bool PumpUntilSet(HANDLE event, DWORD timeoutMs) {
  return PumpUntil([&] { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

TEST(Smoke32, TheThirtyTwoBitProgramsAdoptReportTheToolWindowAndCloseWithGimp) {
  const char* bin32Value = std::getenv("VELLAMY_BIN32");
  ASSERT_NE(nullptr, bin32Value) << "VELLAMY_BIN32 names the 32-bit build's bin folder";
  const std::string bin32 = std::string(bin32Value) + "\\";
  const std::string prefix = MakeTempFolder("vmysmoke32") + "gimp\\";
  const std::string plugins = prefix + "lib\\gimp\\2.0\\plug-ins\\";
  for (const char* folder :
       {"", "bin", "lib", "lib\\gimp", "lib\\gimp\\2.0", "lib\\gimp\\2.0\\plug-ins"}) {
    CreateDirectoryA((prefix + folder).c_str(), nullptr);
  }
  const std::pair<const char*, std::string> files[] = {{"gimp-2.0.exe", prefix + "bin\\"},
                                                       {"libgimp-2.0-0.dll", prefix + "bin\\"},
                                                       {"libgdk-win32-2.0-0.dll", prefix + "bin\\"},
                                                       {"vellamy.exe", plugins},
                                                       {"vellamyhook.dll", plugins},
                                                       {"vmyowner.exe", plugins}};
  for (const auto& file : files) {
    const std::string to = file.second + file.first;
    ASSERT_TRUE(CopyFileA((bin32 + file.first).c_str(), to.c_str(), FALSE)) << to;
    ASSERT_EQ(0x14Cu, Machine(to)) << to << " is a 32-bit program";
  }

  // A second backdrop of the test's own, 32-bit as well, which installs the hook only when told
  // to. It lies beside the plug-in's DLL: a shared section is shared only by the mappings of
  // one DLL file. Under emulation CreateProcess itself lasts as long as the new process's
  // start, about a minute, so the two are started from two threads at once.
  HANDLE go = Event("VmySmoke32Go"), ready = Event("VmySmoke32Ready"),
         done = Event("VmySmoke32Done");
  const ULONGLONG start = GetTickCount64();
  std::unique_ptr<TestProcess> ownerProcess;
  std::thread starter([&] {
    ownerProcess = std::make_unique<TestProcess>(
        plugins + "vmyowner.exe", std::vector<std::string>{Lower(prefix), "VmySmoke32Ready",
                                                           "VmySmoke32Done", "VmySmoke32Go"});
  });
  TestProcess gimp(prefix + "bin\\gimp-2.0.exe", {"--images=1"});
  starter.join();
  TestProcess& owner = *ownerProcess;
  ASSERT_TRUE(owner.Started() && gimp.Started());

  HWND backdrop = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (backdrop = FindWindowA("VELLAMY", "The GIMP")) != nullptr; },
                        8 * kMinutes))
      << gimp.OutputSoFar();
  std::printf("the 32-bit backdrop stood after %llu s\n", (GetTickCount64() - start) / 1000);
  DWORD backdropId = 0;
  GetWindowThreadProcessId(backdrop, &backdropId);
  HANDLE backdropProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, backdropId);

  // Should the backdrop's slow start outlast the plug-in's 30 s wait, the plug-in shows its
  // time-out box; dismissed only now, GIMP's windows still come after the hook.
  bool timeOutBox = false;
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (HWND box = FindWindowA(nullptr, "Gimp Vellamy")) {
          timeOutBox = true;
          PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        return gimp.WaitForLine("ready", 200);
      },
      5 * kMinutes))
      << gimp.OutputSoFar();
  std::printf("GIMP's windows stood after %llu s%s\n", (GetTickCount64() - start) / 1000,
              timeOutBox ? "; the plug-in's start-up time-out box was dismissed" : "");
  const ProcessResult so = gimp.SoFar();
  const HWND main = HandleFromText(so.Field("window main", "hwnd"));
  const HWND image = HandleFromText(so.Field("window image", "hwnd"));
  const HWND popup = HandleFromText(so.Field("window popup", "hwnd"));
  // The hook in GIMP's process found the backdrop and the app path in the shared section
  // that the backdrop's process wrote.
  EXPECT_TRUE(
      PumpUntil([&] { return IsChildOf(image, backdrop) && IsChildOf(main, backdrop); }, kMinutes))
      << "GIMP's bordered windows were adopted";
  EXPECT_FALSE(IsChildOf(popup, backdrop)) << "a borderless popup was not";
  // The hook re-parents by itself; hiding with the minimised backdrop shows that the backdrop
  // also listed them from the hook's notices.
  PostMessageA(backdrop, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil(
      [&] { return IsIconic(backdrop) && !IsWindowVisible(image) && !IsWindowVisible(main); },
      kMinutes))
      << "the 32-bit backdrop hides what it adopted";
  PostMessageA(backdrop, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(image) != FALSE; }, kMinutes));
  // With the time-out box dismissed or not, the plug-in process handed over to gimp_main and
  // ended with its result.
  EXPECT_EQ("0", so.Field("plugin", "exit")) << so.output;

  // The test's backdrop takes the hook over and sees a bordered tool window come and go.
  ASSERT_TRUE(owner.WaitForLine("waiting", 5 * kMinutes)) << owner.OutputSoFar();
  SetEvent(go);
  ASSERT_TRUE(PumpUntilSet(ready, kMinutes)) << owner.OutputSoFar();
  ASSERT_TRUE(owner.WaitForLine("installed", kMinutes)) << owner.OutputSoFar();
  const HWND ownerBackdrop = HandleFromText(owner.SoFar().Field("installed", "backdrop"));
  PostMessageA(main, kOpenTool, 0, 0);
  ASSERT_TRUE(gimp.WaitForLine("window tool", kMinutes)) << gimp.OutputSoFar();
  const HWND tool = HandleFromText(gimp.SoFar().Field("window tool", "hwnd"));
  EXPECT_TRUE(PumpUntil([&] { return IsChildOf(tool, ownerBackdrop); }, kMinutes))
      << "the hook in GIMP's process followed the takeover";
  PostMessageA(main, kCloseTool, 0, 0);
  ASSERT_TRUE(gimp.WaitForLine("tool closed", kMinutes)) << gimp.OutputSoFar();
  PumpFor(1000);
  SetEvent(done);
  const ProcessResult ownerResult = owner.Wait(2 * kMinutes);
  EXPECT_EQ(0u, ownerResult.exitCode);
  EXPECT_EQ("1", ownerResult.Field("installed", "result")) << ownerResult.output;
  // Wine may add a bordered window of its own to GIMP's process meanwhile.
  EXPECT_LE(1, std::atoi(ownerResult.Field("adopted", "count").c_str())) << ownerResult.output;
  EXPECT_EQ("1", ownerResult.Field("tooldestroyed", "count")) << ownerResult.output;
  EXPECT_EQ("1", ownerResult.Field("uninstalled", "first")) << ownerResult.output;
  EXPECT_EQ("0", ownerResult.Field("uninstalled", "second")) << ownerResult.output;

  // Closing the backdrop closes GIMP, and both end with exit code 0.
  PostMessageA(backdrop, WM_CLOSE, 0, 0);
  const ProcessResult gimpResult = gimp.Wait(3 * kMinutes);
  EXPECT_EQ(0u, gimpResult.exitCode) << gimpResult.output;
  EXPECT_NE(std::string::npos, gimpResult.output.find("main got WM_CLOSE")) << gimpResult.output;
  ASSERT_NE(nullptr, backdropProcess);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(backdropProcess, 2 * kMinutes));
  DWORD code = 0xFFFF;
  GetExitCodeProcess(backdropProcess, &code);
  EXPECT_EQ(0u, code) << "the backdrop's exit code";
  CloseHandle(backdropProcess);
  std::printf("everything ended after %llu s\n", (GetTickCount64() - start) / 1000);
  for (HANDLE h : {go, ready, done}) CloseHandle(h);
}

}  // namespace
