// The plug-in's wait for its standalone copy, when the copy does not signal in time. The test
// starts the plug-in as GIMP would, but as its debugger: the copy is held suspended from its
// first instruction, so that no timing of the machine decides whether it comes up in time.
#include "ProgramFixture.h"

namespace {

struct HeldStart {
  HANDLE launcher = nullptr, copy = nullptr, copyThread = nullptr;
  ULONGLONG heldAt = 0;  // when the copy was created and suspended

  HeldStart() = default;
  HeldStart(const HeldStart&) = delete;
  HeldStart& operator=(const HeldStart&) = delete;
  ~HeldStart() {
    for (HANDLE process : {copy, launcher}) {
      if (process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
    }
    for (HANDLE h : {copy, copyThread, launcher}) {
      if (h) CloseHandle(h);
    }
  }
};

HANDLE Duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return copy;
}

// Runs on its own thread: a debugger's events come only to the thread that started the process,
// and it must detach from that same thread.
DWORD WINAPI StartAndHoldTheCopy(void* param) {
  auto* held = static_cast<HeldStart*>(param);
  std::string command = "\"" + g_pluginFolder + "vellamy.exe\" -gimp 3 4 -run 0";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION launcher = {};
  // DEBUG_PROCESS, not DEBUG_ONLY_THIS_PROCESS: the processes the launcher starts are debugged
  // too, so the copy's creation is reported here before it runs.
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr,
                      nullptr, &startup, &launcher)) {
    return 0;
  }
  DebugSetProcessKillOnExit(FALSE);
  held->launcher = launcher.hProcess;  // the debugger calls close only the handles they gave
  DWORD copyId = 0;
  const ULONGLONG end = GetTickCount64() + kLong;
  while (!copyId && GetTickCount64() < end) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, 200)) continue;
    DWORD status = DBG_CONTINUE;
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
      const CREATE_PROCESS_DEBUG_INFO& info = event.u.CreateProcessInfo;
      if (info.hFile) CloseHandle(info.hFile);
      if (event.dwProcessId != launcher.dwProcessId) {
        SuspendThread(info.hThread);
        held->copy = Duplicate(info.hProcess);
        held->copyThread = Duplicate(info.hThread);
        held->heldAt = GetTickCount64();
        copyId = event.dwProcessId;
      }
    } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
      if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
    } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
               event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
      status = DBG_EXCEPTION_NOT_HANDLED;  // the program's own exceptions are its business
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  DebugActiveProcessStop(launcher.dwProcessId);
  if (copyId) DebugActiveProcessStop(copyId);
  CloseHandle(launcher.hThread);
  return 0;
}

HWND FindMessageBox(DWORD processId) {
  for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", "Gimp Vellamy"); w;
       w = FindWindowExA(nullptr, w, "#32770", "Gimp Vellamy")) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == processId && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

TEST_F(ProgramTest, ACopyThatNeverSignalsGetsTheErrorBoxAfterThirtySecondsThenGimpMainRuns) {
  SetEnvironmentVariableA("VELLAMY_GIMP_MAIN_RESULT", "6");
  HeldStart held;
  HANDLE debugger = CreateThread(nullptr, 0, StartAndHoldTheCopy, &held, 0, nullptr);
  ASSERT_NE(nullptr, debugger);
  WaitForSingleObject(debugger, INFINITE);
  CloseHandle(debugger);
  ASSERT_NE(nullptr, held.launcher);
  ASSERT_NE(nullptr, held.copy) << "the launcher started no copy of itself";

  const DWORD launcherId = GetProcessId(held.launcher);
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = FindMessageBox(launcherId)) != nullptr; }, 45000));
  const ULONGLONG waited = GetTickCount64() - held.heldAt;
  EXPECT_GE(waited, 29500u) << "the box came before the 30 s wait was over";
  EXPECT_LT(waited, 40000u);
  EXPECT_NE(nullptr, FindWindowExA(box, nullptr, nullptr, "Error Starting Vellamy"));

  // While the box stands, GIMP has not been handed over to.
  PumpFor(1000);
  EXPECT_EQ("", ReadLog());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(held.launcher, 0));

  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(held.launcher, kLong));
  DWORD exitCode = 0;
  GetExitCodeProcess(held.launcher, &exitCode);
  EXPECT_EQ(6u, exitCode) << "the launcher exits with gimp_main's result";
  EXPECT_NE(std::string::npos, ReadLog().find("gimp_main argc=6 ")) << ReadLog();

  // The copy was held all along: no backdrop stood. It was not stopped either: let go of, it still
  // comes up, and closes as one started by hand.
  const DWORD copyId = GetProcessId(held.copy);
  for (HWND w = FindWindowA("VELLAMY", nullptr); w;
       w = FindWindowExA(nullptr, w, "VELLAMY", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    EXPECT_NE(copyId, owner);
  }
  ResumeThread(held.copyThread);
  Session run;
  ASSERT_TRUE(run.FindBackdrop()) << run.Explain();
  DWORD backdropId = 0;
  GetWindowThreadProcessId(run.backdrop, &backdropId);
  EXPECT_EQ(copyId, backdropId);
  PostMessageA(run.backdrop, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, run.BackdropExit());
}

// A copy that ends before it signals (its window could not be made) is said at once, not
// after the whole wait.
TEST_F(ProgramTest, ACopyThatEndsBeforeItSignalsGetsTheErrorBoxAtOnce) {
  HeldStart held;
  HANDLE debugger = CreateThread(nullptr, 0, StartAndHoldTheCopy, &held, 0, nullptr);
  ASSERT_NE(nullptr, debugger);
  WaitForSingleObject(debugger, INFINITE);
  CloseHandle(debugger);
  ASSERT_NE(nullptr, held.copy) << "the launcher started no copy of itself";
  TerminateProcess(held.copy, 1);
  HWND box = nullptr;
  EXPECT_TRUE(PumpUntil(
      [&] { return (box = FindMessageBox(GetProcessId(held.launcher))) != nullptr; }, 15000))
      << "no box before the 30 s wait was over";
  if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(held.launcher, kLong));
}

}  // namespace

namespace {

// A copy that cannot be started is tried again, and then the plug-in says so in its box, as
// after the time-out, instead of handing over to GIMP in silence. The plug-in is started
// suspended and its file renamed before it runs: the copy's start finds no file.
TEST_F(ProgramTest, ACopyThatCannotBeStartedGetsTheErrorBoxThenGimpMainRuns) {
  const std::string folder = MakeTempFolder("vmyrefused");
  const std::string bin = ProgramFolder();
  for (const char* file : {"vellamy.exe", "vellamyhook.dll"}) {
    ASSERT_TRUE(CopyFileA((bin + file).c_str(), (folder + file).c_str(), FALSE));
  }
  std::string command = "\"" + folder + "vellamy.exe\" -gimp 3 4 -run 0";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION launcher = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                             nullptr, nullptr, &startup, &launcher));
  const bool renamed =
      MoveFileA((folder + "vellamy.exe").c_str(), (folder + "vellamy-moved.exe").c_str()) != 0;
  ResumeThread(launcher.hThread);
  CloseHandle(launcher.hThread);
  Session run;  // ends what is left of this start
  ASSERT_TRUE(renamed);

  HWND box = nullptr;
  EXPECT_TRUE(
      PumpUntil([&] { return (box = FindMessageBox(launcher.dwProcessId)) != nullptr; }, kLong))
      << run.Explain();
  EXPECT_EQ(nullptr, FindWindowA("VELLAMY", nullptr));
  EXPECT_EQ("", ReadLog()) << "GIMP was handed over to before the box was answered";
  if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(launcher.hProcess, kLong));
  EXPECT_NE(std::string::npos, ReadLog().find("gimp_main argc=6 ")) << ReadLog();
  if (WaitForSingleObject(launcher.hProcess, 0) == WAIT_TIMEOUT)
    TerminateProcess(launcher.hProcess, 99);
  CloseHandle(launcher.hProcess);
}

}  // namespace
