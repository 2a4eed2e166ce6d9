// Runs other Windows programs from a test and collects what they print, while the test's own
// thread keeps pumping messages (a backdrop window in the test must stay responsive).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

struct ProcessResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  std::string output;
  std::vector<std::string> Lines() const;
  // The value after "key=" on the first line that has it, or "" when none has.
  std::string Field(const std::string& line, const std::string& key) const;
};

class TestProcess {
 public:
  // Starts program with the given arguments (each quoted), its standard output on a pipe.
  TestProcess(const std::string& program, const std::vector<std::string>& args);
  ~TestProcess();
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  bool Started() const { return process != nullptr; }
  DWORD Id() const { return processId; }
  HANDLE Handle() const { return process; }
  // Pumps this thread's messages until the process ends or timeoutMs pass; then kills it.
  ProcessResult Wait(DWORD timeoutMs = 30000);
  // Pumps messages until a line starting with prefix has been printed, or timeoutMs pass.
  bool WaitForLine(const std::string& prefix, DWORD timeoutMs = 30000);
  const std::string& OutputSoFar() const { return output; }
  // What it printed so far, to read fields from.
  ProcessResult SoFar() const {
    ProcessResult r;
    r.started = process != nullptr;
    r.output = output;
    return r;
  }

 private:
  void ReadAvailable();
  HANDLE process = nullptr;
  HANDLE readPipe = nullptr;
  DWORD processId = 0;
  std::string output;
};

// Handles every message waiting for this thread, sent and posted.
void PumpMessages();
// Pumps messages for the given time.
void PumpFor(DWORD ms);
// Pumps messages until done() is true or timeoutMs pass; returns done().
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done() && GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
  return done();
}

// A user's key press or release, through the system's input: it goes where the keyboard is.
void Key(WORD virtualKey, bool down);
// Presses and releases each key in turn while the `held` keys (modifiers) are held down.
void PressKeys(std::initializer_list<WORD> keys, std::initializer_list<WORD> held = {});

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();
// Deletes a folder and everything in it.
void RemoveTree(const std::string& folder);
// A new empty folder under the temporary folder, with a trailing backslash.
std::string MakeTempFolder(const std::string& name);
// Formats a window handle the way the helper programs print it.
std::string HandleText(HWND window);
HWND HandleFromText(const std::string& text);
