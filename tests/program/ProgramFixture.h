// What the end-to-end tests share: the stand-in GIMP installed in a GIMP-like folder, one run
// of it with the backdrop, and the registry of the test's Wine prefix.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "StandinGimp.h"
#include "TestProcess.h"

constexpr const char* kKey = "SOFTWARE\\GIMPVellamy";
constexpr DWORD kLong = 30000;
// The stand-in under a name no GIMP has: a program of GIMP's folder whose windows are adopted
// but that is not GIMP (as a plug-in's own process is).
constexpr const char* kNotGimp = "gimp-helper.exe";

// The stand-in GIMP's installation folder, its plug-in folder and the file gimp_main writes.
extern std::string g_prefix, g_pluginFolder, g_log;

DWORD ReadDword(const char* name, DWORD fallback = 0xDEADBEEF);
void WriteDword(const char* name, DWORD value);
void WriteString(const char* name, const char* text);
std::string ReadLog();
bool IsChildOf(HWND window, HWND parent);
// The children of parent, topmost first, and a window's class name.
std::vector<HWND> Children(HWND parent);
std::string ClassOf(HWND w);
// A key as the keyboard gives it, posted to a window (as to one of GTK's).
void PostKey(HWND window, UINT vk);
// A window's outer rectangle in the client coordinates of parent.
RECT ClientRectIn(HWND window, HWND parent);
// The last "what ms=N" that the stand-in GIMP printed, or -1.
long long LastTime(const TestProcess& gimp, const std::string& what);

// One "place" line of a GIMP-like program: the frame's corner on the screen and the client
// size, as it asked for them (asked) and as the window has them (got).
struct Place {
  HWND hwnd = nullptr;
  int asked[4] = {}, got[4] = {};
};
// The last place line of each window key printed after the last occurrence of from (after
// the start of output when from is empty).
std::map<std::string, Place> PlacesAfter(const std::string& output, const std::string& from);
// "x,y wxh", for messages that show both rectangles.
std::string Text(const int (&r)[4]);

// Every vellamy.exe process that runs while it lives, each held open from the moment it is
// seen, so that the exit code of one that ended stays readable.
class VellamyWatch {
 public:
  struct Seen {
    DWORD pid = 0, parent = 0;
    std::string parentName;
    HANDLE handle = nullptr;
    ULONGLONG at = 0;     // when first seen
    bool before = false;  // already running when the watch began
  };
  VellamyWatch();
  ~VellamyWatch();
  VellamyWatch(const VellamyWatch&) = delete;
  VellamyWatch& operator=(const VellamyWatch&) = delete;
  std::vector<Seen> SoFar();

 private:
  static DWORD WINAPI Run(void* self);
  void Look(bool first);
  CRITICAL_SECTION lock;
  HANDLE stop = nullptr, thread = nullptr;
  std::vector<Seen> seen;
};

// One run of the stand-in GIMP with its plug-in, or of the backdrop alone.
struct Session {
  VellamyWatch watch;
  ULONGLONG started = GetTickCount64();
  // When each backdrop window first failed to answer, while the test looked for one.
  std::map<HWND, ULONGLONG> unanswered;
  std::unique_ptr<TestProcess> gimp;
  std::unique_ptr<TestProcess> vellamy;  // when started directly
  HWND backdrop = nullptr;
  HANDLE backdropProcess = nullptr;
  HWND main = nullptr, dock = nullptr, popup = nullptr;
  std::vector<HWND> images;

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();
  // GIMP's bordered windows that stood when it was ready.
  std::vector<HWND> Adopted() const;
  // The windows of one kind ("image", "dock", ...) the stand-in GIMP has reported so far,
  // oldest first.
  std::vector<HWND> WindowsSoFar(const std::string& kind) const;
  std::vector<HWND> ImagesSoFar() const { return WindowsSoFar("image"); }
  bool FindBackdrop();
  // What a person needs when the backdrop or a report of GIMP's did not come: each vellamy
  // process (alive, or its exit code), each backdrop window (visible, answering, adopted
  // windows) and the last lines GIMP and the backdrop printed.
  std::string Explain();
  // Waits for the backdrop's process to end and gives its exit code (or 0xFFFF on time-out).
  DWORD BackdropExit(DWORD timeoutMs = kLong);
};

// Faults the backdrop's process on a thread of its own (not its window thread), waits for the
// process to end and gives its exit code (0xFFFF when it did not end).
DWORD FaultBackdrop(HWND backdrop);

// A settings key that cannot be opened (see ProgramFixture.cpp), and its removal.
extern const char* const kVolatileParent;
bool MakeRefusingKey(HKEY root);
void DeleteRefusingKey(HKEY root);

class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  // A test that stopped half-way must not leave the key unopenable for the next ones.
  void TearDown() override;

  // Starts the stand-in GIMP, which starts the plug-in, and waits until its windows stand. Its
  // executable is named as GIMP names it for the --version asked for (gimp-2.10.exe for 2.10),
  // or exe: kNotGimp runs it as another program of GIMP's folder, without the plug-in, beside a
  // backdrop started by hand.
  static void StartGimp(Session& run, const std::vector<std::string>& args = {},
                        const std::string& exe = "");
  // Starts the backdrop alone, as when started by hand.
  static void StartBackdrop(Session& run, const std::vector<std::string>& args = {});
};
