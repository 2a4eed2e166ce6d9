// The shared set-up of the end-to-end tests: helpers, the session of one run, the fixture.
#include "ProgramFixture.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

std::string g_prefix, g_pluginFolder, g_log;

DWORD ReadDword(const char* name, DWORD fallback) {
  DWORD value = fallback, size = sizeof(value);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return fallback;
  }
  return value;
}

void WriteDword(const char* name, DWORD value) {
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, name, REG_DWORD, &value, sizeof(value));
}

void WriteString(const char* name, const char* text) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueA(key, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
}

std::string ReadLog() {
  std::ifstream in(g_log);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsChildOf(HWND window, HWND parent) { return GetAncestor(window, GA_PARENT) == parent; }

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) all.push_back(w);
  return all;
}

std::string ClassOf(HWND w) {
  char name[64] = {};
  GetClassNameA(w, name, sizeof(name));
  return name;
}

void PostKey(HWND window, UINT vk) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageA(window, WM_KEYDOWN, vk, scan | 1);
  PostMessageA(window, WM_KEYUP, vk, scan | 1 | (3u << 30));
}

RECT ClientRectIn(HWND window, HWND parent) {
  RECT r;
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

long long LastTime(const TestProcess& gimp, const std::string& what) {
  long long ms = -1;
  for (const std::string& line : gimp.SoFar().Lines()) {
    if (line.rfind(what + " ms=", 0) == 0) ms = std::atoll(line.c_str() + what.size() + 4);
  }
  return ms;
}

VellamyWatch::VellamyWatch() {
  InitializeCriticalSection(&lock);
  Look(true);
  stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

VellamyWatch::~VellamyWatch() {
  SetEvent(stop);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(stop);
  for (Seen& s : seen) CloseHandle(s.handle);
  DeleteCriticalSection(&lock);
}

DWORD WINAPI VellamyWatch::Run(void* self) {
  auto* watch = static_cast<VellamyWatch*>(self);
  // Often enough to hold a backdrop that dies at once after its start.
  while (WaitForSingleObject(watch->stop, 10) == WAIT_TIMEOUT) watch->Look(false);
  return 0;
}

void VellamyWatch::Look(bool first) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::map<DWORD, std::string> names;
  std::vector<PROCESSENTRY32> found;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    names[entry.th32ProcessID] = entry.szExeFile;
    if (_stricmp(entry.szExeFile, "vellamy.exe") == 0) found.push_back(entry);
  }
  CloseHandle(snapshot);
  EnterCriticalSection(&lock);
  for (const PROCESSENTRY32& p : found) {
    bool known = false;
    for (const Seen& s : seen) known = known || s.pid == p.th32ProcessID;
    if (known) continue;
    Seen s;
    s.pid = p.th32ProcessID;
    s.parent = p.th32ParentProcessID;
    s.parentName = names.count(s.parent) ? names[s.parent] : "gone";
    s.handle =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, s.pid);
    s.at = GetTickCount64();
    s.before = first;
    if (s.handle) seen.push_back(s);
  }
  LeaveCriticalSection(&lock);
}

std::vector<VellamyWatch::Seen> VellamyWatch::SoFar() {
  EnterCriticalSection(&lock);
  std::vector<Seen> copy = seen;
  LeaveCriticalSection(&lock);
  return copy;
}

namespace {

std::string LastLines(const std::string& output, size_t count) {
  size_t at = output.size();
  for (size_t n = 0; n <= count && at != std::string::npos && at > 0; ++n) {
    at = output.rfind('\n', at - 1);
  }
  return at == std::string::npos || at == 0 ? output : output.substr(at + 1);
}

std::string Describe(HWND w) {
  char name[64] = {}, title[128] = {};
  GetClassNameA(w, name, sizeof(name));
  GetWindowTextA(w, title, sizeof(title));
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char text[320];
  std::snprintf(text, sizeof(text), "%s %s \"%s\" pid=%lu%s", HandleText(w).c_str(), name, title,
                pid, IsWindowVisible(w) ? "" : " hidden");
  return text;
}

}  // namespace

std::string Session::Explain() {
  std::ostringstream out;
  const ULONGLONG now = GetTickCount64();
  out << "\n--- what the test saw, " << (now - started) << " ms after the session began\n";
  if (gimp) {
    gimp->WaitForLine("\x01", 50);  // reads what it printed meanwhile
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(gimp->Handle(), &code);
    out << "GIMP pid=" << gimp->Id();
    if (code == STILL_ACTIVE)
      out << " running\n";
    else
      out << " ended, exit code 0x" << std::hex << code << std::dec << "\n";
  }
  for (const VellamyWatch::Seen& s : watch.SoFar()) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(s.handle, &code);
    out << "vellamy.exe pid=" << s.pid << " started by " << s.parentName << " (pid " << s.parent
        << ")" << (s.before ? ", already running before this session" : "") << ": ";
    if (code == STILL_ACTIVE)
      out << "running\n";
    else
      out << "ended, exit code 0x" << std::hex << code << std::dec << "\n";
  }
  int windows = 0;
  for (HWND w = FindWindowExA(nullptr, nullptr, "VELLAMY", nullptr); w;
       w = FindWindowExA(nullptr, w, "VELLAMY", nullptr), ++windows) {
    DWORD_PTR reply = 0;
    const bool answers = SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &reply) != 0;
    out << "backdrop window " << Describe(w) << (IsIconic(w) ? " minimised" : "") << ": ";
    if (answers) {
      out << "answers\n";
    } else {
      out << "does not answer";
      if (unanswered.count(w)) out << " (since " << (now - unanswered[w]) << " ms)";
      out << (IsHungAppWindow(w) ? ", reported hung" : "") << "\n";
    }
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      out << "  adopted " << Describe(c) << "\n";
    }
  }
  if (windows == 0) out << "no backdrop window (class VELLAMY) exists\n";
  for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", "Gimp Vellamy"); box;
       box = FindWindowExA(nullptr, box, "#32770", "Gimp Vellamy")) {
    out << "the plug-in's error box stands: " << Describe(box) << "\n";
  }
  // What gimp_main recorded at the hand-over: whether a backdrop stood by then.
  const std::string handOver = ReadLog();
  out << "gimp_main's record: "
      << (handOver.empty() ? "none\n" : handOver.substr(0, handOver.find("argv")));
  if (gimp) out << "GIMP's lines:\n" << LastLines(gimp->OutputSoFar(), 40);
  if (vellamy) out << "the backdrop's last lines:\n" << LastLines(vellamy->OutputSoFar(), 12);
  return out.str();
}

// Ends the processes parent started that still run: GIMP ends its plug-ins at quit, but not when
// a test ends it, and one left running would hold the output pipe the test runner reads.
static void EndChildrenOf(DWORD parent) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID != parent) continue;
    if (HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)) {
      TerminateProcess(child, 99);
      CloseHandle(child);
    }
  }
  CloseHandle(snapshot);
}

Session::~Session() {
  if (gimp) EndChildrenOf(gimp->Id());
  if (backdropProcess) {
    if (WaitForSingleObject(backdropProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(backdropProcess, 99);
    }
    CloseHandle(backdropProcess);
  }
  // A backdrop this run started but never found must not be taken for the next run's.
  for (const VellamyWatch::Seen& s : watch.SoFar()) {
    if (!s.before && WaitForSingleObject(s.handle, 0) == WAIT_TIMEOUT)
      TerminateProcess(s.handle, 99);
  }
}

std::vector<HWND> Session::Adopted() const {
  std::vector<HWND> all = images;
  for (HWND w : WindowsSoFar("dock")) all.push_back(w);
  all.push_back(main);
  return all;
}

std::vector<HWND> Session::WindowsSoFar(const std::string& kind) const {
  gimp->WaitForLine("\x01", 50);  // reads what it printed meanwhile
  std::vector<HWND> found;
  const std::string prefix = "window " + kind + " ";
  for (const std::string& line : gimp->SoFar().Lines()) {
    if (line.rfind(prefix, 0) == 0)
      found.push_back(HandleFromText(line.substr(line.find('=') + 1)));
  }
  return found;
}

bool Session::FindBackdrop() {
  // The backdrop that answers: a killed one's window can outlive its process for a while
  // under Wine, and must not be taken for this run's. A sent message is answered only once
  // creation and placement are over and the message loop runs.
  auto answering = [&] {
    for (HWND w = FindWindowExA(nullptr, nullptr, "VELLAMY", "The GIMP"); w;
         w = FindWindowExA(nullptr, w, "VELLAMY", "The GIMP")) {
      DWORD_PTR reply = 0;
      if (SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &reply)) {
        backdrop = w;
        return true;
      }
      unanswered.emplace(w, GetTickCount64());
    }
    return false;
  };
  if (!PumpUntil(answering, kLong)) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(backdrop, &pid);
  backdropProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  return backdropProcess != nullptr;
}

DWORD FaultBackdrop(HWND backdrop) {
  DWORD id = 0;
  GetWindowThreadProcessId(backdrop, &id);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
  HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(16), nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
  DWORD code = 0xFFFF;
  if (thread && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

DWORD Session::BackdropExit(DWORD timeoutMs) {
  if (WaitForSingleObject(backdropProcess, timeoutMs) != WAIT_OBJECT_0) return 0xFFFF;
  DWORD code = 0;
  GetExitCodeProcess(backdropProcess, &code);
  return code;
}

// A settings key that cannot be opened. On Windows an ordinary user meets one below
// HKEY_LOCAL_MACHINE; Wine enforces no access lists on keys, so the key is made a symbolic link
// to a key that the registry refuses to create: a lasting key below a volatile one.
const char* const kVolatileParent = "SOFTWARE\\VmyVolatileTarget";

bool MakeRefusingKey(HKEY root) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVolatileParent, 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  if (RegCreateKeyExA(root, kKey, 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const wchar_t target[] = L"\\Registry\\Machine\\Software\\VmyVolatileTarget\\Settings";
  const LONG linked =
      RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target),
                     sizeof(target) - sizeof(wchar_t));
  RegCloseKey(key);
  HKEY probe = nullptr;
  const LONG opened = RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                      nullptr, &probe, nullptr);
  if (probe) RegCloseKey(probe);
  return linked == ERROR_SUCCESS && opened != ERROR_SUCCESS;
}

// Removes the link itself, not what it points at.
void DeleteRefusingKey(HKEY root) {
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  auto ntDeleteKey = reinterpret_cast<NtDeleteKeyFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
  HKEY link = nullptr;
  if (ntDeleteKey &&
      RegOpenKeyExA(root, kKey, REG_OPTION_OPEN_LINK, DELETE, &link) == ERROR_SUCCESS) {
    ntDeleteKey(link);
    RegCloseKey(link);
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVolatileParent);
}

void ProgramTest::SetUpTestSuite() {
  const std::string root = MakeTempFolder("vmyprog");
  g_prefix = root + "gimp\\";
  g_pluginFolder = g_prefix + "lib\\gimp\\2.0\\plug-ins\\";
  for (const char* folder :
       {"", "bin", "lib", "lib\\gimp", "lib\\gimp\\2.0", "lib\\gimp\\2.0\\plug-ins"}) {
    CreateDirectoryA((g_prefix + folder).c_str(), nullptr);
  }
  const std::string bin = ProgramFolder();
  for (const char* file : {"gimp-2.0.exe", "libgimp-2.0-0.dll", "libgdk-win32-2.0-0.dll"}) {
    CopyFileA((bin + file).c_str(), (g_prefix + "bin\\" + file).c_str(), FALSE);
  }
  for (const char* name : {"gimp-2.10.exe", kNotGimp}) {
    CopyFileA((bin + "gimp-2.0.exe").c_str(), (g_prefix + "bin\\" + name).c_str(), FALSE);
  }
  CopyFileA((bin + "vellamy.exe").c_str(), (g_pluginFolder + "vellamy.exe").c_str(), FALSE);
  CopyFileA((bin + "vellamyhook.dll").c_str(), (g_pluginFolder + "vellamyhook.dll").c_str(), FALSE);
  // As GIMP's own plug-ins do, the backdrop started by hand finds libgimp on the PATH.
  char path[8192] = {};
  GetEnvironmentVariableA("PATH", path, sizeof(path));
  SetEnvironmentVariableA("PATH", (g_prefix + "bin;" + path).c_str());
  g_log = root + "gimp_main.log";
  SetEnvironmentVariableA("VELLAMY_TEST_LOG", g_log.c_str());
}

void ProgramTest::SetUp() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
  DeleteFileA(g_log.c_str());
  DeleteFileA((g_prefix + "bin\\sessionrc").c_str());  // each test starts on GIMP's defaults
  SetEnvironmentVariableA("VELLAMY_GIMP_MAIN_RESULT", nullptr);
}

void ProgramTest::TearDown() {
  DeleteRefusingKey(HKEY_LOCAL_MACHINE);
  DeleteRefusingKey(HKEY_CURRENT_USER);
}

void ProgramTest::StartGimp(Session& run, const std::vector<std::string>& args,
                            const std::string& exe) {
  std::string name = exe.empty() ? "gimp-2.0.exe" : exe;  // 2.2's rules are 2.0's
  for (const std::string& arg : args) {
    if (exe.empty() && arg.rfind("--version=2.10", 0) == 0) name = "gimp-2.10.exe";
  }
  std::vector<std::string> gimpArgs = args;
  // Not GIMP: the backdrop started by hand holds its windows, and serves no GIMP.
  if (exe == kNotGimp) {
    StartBackdrop(run);
    gimpArgs.push_back("--no-plugin");
  }
  run.gimp = std::make_unique<TestProcess>(g_prefix + "bin\\" + name, gimpArgs);
  ASSERT_TRUE(run.gimp->WaitForLine("ready", 60000)) << run.Explain();
  ProcessResult out = run.gimp->SoFar();
  run.main = HandleFromText(out.Field("window main", "hwnd"));
  run.dock = HandleFromText(out.Field("window dock", "hwnd"));
  run.popup = HandleFromText(out.Field("window popup", "hwnd"));
  run.images = run.ImagesSoFar();
  // What GIMP printed tells whether the plug-in started and how it ended.
  ASSERT_TRUE(run.FindBackdrop()) << run.Explain();
}

void ProgramTest::StartBackdrop(Session& run, const std::vector<std::string>& args) {
  run.vellamy = std::make_unique<TestProcess>(g_pluginFolder + "vellamy.exe", args);
  ASSERT_TRUE(run.vellamy->Started());
  ASSERT_TRUE(run.FindBackdrop()) << run.Explain();
}

std::map<std::string, Place> PlacesAfter(const std::string& output, const std::string& from) {
  std::map<std::string, Place> places;
  std::istringstream lines(from.empty() ? output : output.substr(output.rfind(from)));
  std::string line;
  while (std::getline(lines, line)) {
    char key[64] = {};
    unsigned long long hwnd = 0;
    Place p;
    if (std::sscanf(line.c_str(), "place %63s hwnd=%llx asked=%d,%d,%d,%d got=%d,%d,%d,%d", key,
                    &hwnd, &p.asked[0], &p.asked[1], &p.asked[2], &p.asked[3], &p.got[0], &p.got[1],
                    &p.got[2], &p.got[3]) != 10) {
      continue;
    }
    p.hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd));
    places[key] = p;
  }
  return places;
}

std::string Text(const int (&r)[4]) {
  char text[64];
  std::snprintf(text, sizeof(text), "%d,%d %dx%d", r[0], r[1], r[2], r[3]);
  return text;
}
