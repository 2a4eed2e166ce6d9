#include "TestProcess.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

std::vector<std::string> ProcessResult::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string ProcessResult::Field(const std::string& line, const std::string& key) const {
  for (const std::string& l : Lines()) {
    if (l.rfind(line, 0) != 0) continue;
    const std::string tag = " " + key + "=";
    size_t at = l.find(tag);
    if (at == std::string::npos) continue;
    at += tag.size();
    return l.substr(at, l.find(' ', at) - at);
  }
  return "";
}

namespace {

// Quotes one argument the way the runtime's parser splits it again: backslashes are literal
// except before a quote, so those before the closing quote are doubled.
std::string Quote(const std::string& arg) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
    } else {
      if (c == '"') quoted.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    quoted += c;
  }
  quoted.append(backslashes, '\\');
  return quoted + "\"";
}

}  // namespace

TestProcess::TestProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string commandLine = Quote(program);
  for (const std::string& a : args) commandLine += " " + Quote(a);

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE writePipe = nullptr;
  if (!CreatePipe(&readPipe, &writePipe, &inherit, 0)) return;
  SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writePipe;
  startup.hStdError = writePipe;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &info)) {
    CloseHandle(info.hThread);
    process = info.hProcess;
    processId = info.dwProcessId;
  }
  CloseHandle(writePipe);
}

TestProcess::~TestProcess() {
  if (process) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
    CloseHandle(process);
  }
  if (readPipe) CloseHandle(readPipe);
}

void TestProcess::ReadAvailable() {
  DWORD available = 0;
  while (readPipe && PeekNamedPipe(readPipe, nullptr, 0, nullptr, &available, nullptr) &&
         available > 0) {
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(readPipe, buffer, sizeof(buffer), &got, nullptr) || got == 0) break;
    output.append(buffer, got);
  }
}

ProcessResult TestProcess::Wait(DWORD timeoutMs) {
  ProcessResult result;
  result.started = process != nullptr;
  if (!process) return result;
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT);
    PumpMessages();
    ReadAvailable();
    if (wait == WAIT_OBJECT_0) break;
    if (GetTickCount64() >= end) {
      result.timedOut = true;
      TerminateProcess(process, 99);
      WaitForSingleObject(process, 5000);
      break;
    }
  }
  // Notices that the process posted before it ended are still in this thread's queue.
  PumpMessages();
  ReadAvailable();
  GetExitCodeProcess(process, &result.exitCode);
  result.output = output;
  return result;
}

bool TestProcess::WaitForLine(const std::string& prefix, DWORD timeoutMs) {
  auto printed = [&] {
    ReadAvailable();
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  };
  return PumpUntil(printed, timeoutMs);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Key(WORD virtualKey, bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof(input));
}

void PressKeys(std::initializer_list<WORD> keys, std::initializer_list<WORD> held) {
  for (WORD key : held) Key(key, true);
  for (WORD key : keys) {
    Key(key, true);
    Key(key, false);
  }
  for (auto key = held.end(); key != held.begin();) Key(*--key, false);
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

std::string MakeTempFolder(const std::string& name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + name;
  RemoveTree(folder);  // a leftover of an earlier run
  // An earlier run's hook library can stay mapped in the processes it was loaded into, and
  // its file cannot be removed or replaced then: a new folder beside it.
  for (int n = 2; GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
    folder = std::string(temp) + name + "-" + std::to_string(n);
    RemoveTree(folder);
  }
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

std::string HandleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof(text), "%llx",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  return text;
}

HWND HandleFromText(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text.c_str(), nullptr, 16)));
}
