// The tracker with real windows of this process; fake handles only where nothing asks the
// platform about them.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "AppPath.h"
#include "TestProcess.h"
#include "WindowTracker.h"
#include "vellamyhook.h"

namespace {

HWND Fake(UINT_PTR n) { return reinterpret_cast<HWND>(n); }
bool AcceptAll(HWND, HWND, const char*) { return true; }
LPARAM L(HWND window) { return reinterpret_cast<LPARAM>(window); }

std::vector<HWND> List(const WindowTracker& tracker) {
  return {tracker.Windows().begin(), tracker.Windows().end()};
}

HWND RealWindow() {
  return CreateWindowExA(0, "STATIC", "w", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                         nullptr);
}

TEST(WindowTracker, AdoptedWindowsStandNewestFirstAndEveryEntryOfARemovedHandleGoes) {
  WindowTracker tracker;
  tracker.SetAdoptionTest(AcceptAll);
  BOOL handled = FALSE;
  const HWND a = Fake(0x10), b = Fake(0x20), c = Fake(0x30);
  for (HWND w : {a, b, c}) {
    handled = FALSE;
    EXPECT_EQ(0, tracker.PreTranslate(UM_ADOPT, 0, L(w), &handled));
    EXPECT_TRUE(handled);
  }
  EXPECT_EQ((std::vector<HWND>{c, b, a}), List(tracker));

  tracker.PreTranslate(UM_ADOPT, 0, L(a), &handled);  // not looked up first
  EXPECT_EQ((std::vector<HWND>{a, c, b, a}), List(tracker));
  tracker.PreTranslate(UM_TOOL_DESTROYED, 0, L(a), &handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ((std::vector<HWND>{c, b}), List(tracker));
  tracker.PreTranslate(UM_TOOL_DESTROYED, 0, L(Fake(0x99)), &handled);  // unlisted
  EXPECT_EQ((std::vector<HWND>{c, b}), List(tracker));
}

TEST(WindowTracker, ActivationsAndClicksAreHandledOtherMessagesAreNot) {
  WindowTracker tracker;
  tracker.SetAdoptionTest(AcceptAll);
  for (UINT msg :
       {UM_ACTIVATE_GIMP, UM_ACTIVATE_ALT, UM_ACTIVATE_OTHER, static_cast<UINT>(WM_LBUTTONDOWN)}) {
    BOOL handled = FALSE;
    tracker.PreTranslate(msg, 0, L(Fake(0x10)), &handled);
    EXPECT_TRUE(handled) << msg;
  }
  for (UINT msg : {UINT{WM_USER}, UINT{WM_USER + 6}, UINT{WM_PAINT}, 0u}) {
    BOOL handled = TRUE;
    tracker.PreTranslate(msg, 0, L(Fake(0x10)), &handled);
    EXPECT_FALSE(handled) << msg;
  }
  EXPECT_TRUE(tracker.Windows().empty());
}

TEST(WindowTracker, RaiseMovesAListedWindowToTheFrontAndTopOnly) {
  WindowTracker tracker;
  tracker.SetAdoptionTest(AcceptAll);
  HWND a = RealWindow(), b = RealWindow(), c = RealWindow();
  BOOL handled = FALSE;
  for (HWND w : {a, b, c}) tracker.PreTranslate(UM_ADOPT, 0, L(w), &handled);
  tracker.Raise(a);
  EXPECT_EQ((std::vector<HWND>{a, c, b}), List(tracker));
  // a now stands above c and b in the Z order.
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == a) break;
    EXPECT_TRUE(w != b && w != c) << "a raised window is above its siblings";
  }
  tracker.PreTranslate(UM_ADOPT, 0, L(c), &handled);
  tracker.Raise(c);  // two entries become one, at the front
  EXPECT_EQ((std::vector<HWND>{c, a, b}), List(tracker));
  HWND outsider = RealWindow();
  SetWindowPos(outsider, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  auto zOrder = [&] {
    std::vector<HWND> order;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
      if (w == a || w == b || w == c || w == outsider) order.push_back(w);
    }
    return order;
  };
  const std::vector<HWND> before = zOrder();
  tracker.Raise(outsider);  // unlisted: nothing changes, in the list or on the screen
  EXPECT_EQ((std::vector<HWND>{c, a, b}), List(tracker));
  EXPECT_EQ(before, zOrder());
  EXPECT_NE(outsider, before.front()) << "the check needs the outsider below another window";
  for (HWND w : {a, b, c, outsider}) DestroyWindow(w);
}

TEST(WindowTracker, PruneDeadDropsEveryGoneWindowInOneCallAndKeepsTheOrder) {
  WindowTracker tracker;
  tracker.SetAdoptionTest(AcceptAll);
  EXPECT_TRUE(tracker.PruneDead());
  HWND a = RealWindow(), b = RealWindow(), c = RealWindow(), d = RealWindow();
  BOOL handled = FALSE;
  for (HWND w : {a, b, c, b, d}) tracker.PreTranslate(UM_ADOPT, 0, L(w), &handled);
  DestroyWindow(b);
  DestroyWindow(d);
  EXPECT_FALSE(tracker.PruneDead());
  EXPECT_EQ((std::vector<HWND>{c, a}), List(tracker));
  DestroyWindow(a);
  DestroyWindow(c);
  EXPECT_TRUE(tracker.PruneDead());
  EXPECT_TRUE(tracker.Windows().empty());
}

TEST(WindowTracker, NoticesArrivingDuringADispatchWaitAndFollowInArrivalOrder) {
  WindowTracker tracker;
  tracker.SetAdoptionTest(AcceptAll);
  const HWND a = Fake(0x10), b = Fake(0x20), c = Fake(0x30);
  BOOL handled = TRUE;
  // As if the backdrop's thread were re-entered while a dispatch runs.
  WindowTracker::dispatching = 1;
  tracker.PreTranslate(UM_ADOPT, 0, L(a), &handled);
  EXPECT_FALSE(handled) << "a nested notice is left to the default handling";
  handled = TRUE;
  tracker.PreTranslate(WM_LBUTTONDOWN, 0, 0, &handled);  // neither handled nor queued
  EXPECT_FALSE(handled);
  tracker.PreTranslate(WM_USER + 6, 0, L(Fake(0x77)), &handled);  // not a notice: not queued
  tracker.PreTranslate(UM_ADOPT, 0, L(b), &handled);
  tracker.PreTranslate(UM_TOOL_DESTROYED, 0, L(a), &handled);
  tracker.PreTranslate(UM_ADOPT, 0, L(c), &handled);
  EXPECT_TRUE(tracker.Windows().empty()) << "nothing is dispatched while nested";
  WindowTracker::dispatching = 0;

  // The next outer call handles its own message, then the queue in arrival order: adopt a,
  // adopt b, remove a, adopt c. It reports handled although its own message is unknown.
  handled = FALSE;
  tracker.PreTranslate(WM_PAINT, 0, 0, &handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ((std::vector<HWND>{c, b}), List(tracker));
  EXPECT_EQ(0, WindowTracker::dispatching);
  // The queue is empty again: an unknown message is now unhandled.
  tracker.PreTranslate(WM_PAINT, 0, 0, &handled);
  EXPECT_FALSE(handled);
}

// A backdrop-like window whose procedure asks the tracker first, as the real one does, and a
// window whose destruction sends it notices: DestroyWindow runs WM_DESTROY before it returns,
// so those notices re-enter the tracker while it is still dispatching.
struct DestroyScene {
  WindowTracker* tracker = nullptr;
  HWND backdrop = nullptr, victim = nullptr;
  HWND b = Fake(0x20), c = Fake(0x30);
  int nested = 0, nestedHandled = 0;
  size_t listedDuringDestroy = 99;
};
DestroyScene g_scene;

LRESULT CALLBACK SceneBackdropProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_scene.tracker && msg >= UM_ADOPT && msg <= UM_TOOL_DESTROYED) {
    BOOL handled = FALSE;
    const bool inner = WindowTracker::dispatching != 0;
    g_scene.tracker->PreTranslate(msg, wParam, lParam, &handled);
    if (inner) {
      ++g_scene.nested;
      if (handled) ++g_scene.nestedHandled;
    }
    if (handled) return 0;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

LRESULT CALLBACK SceneVictimProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    SendMessageA(g_scene.backdrop, UM_ADOPT, 0, L(g_scene.b));
    SendMessageA(g_scene.backdrop, UM_ADOPT, 0, L(g_scene.c));
    SendMessageA(g_scene.backdrop, UM_TOOL_DESTROYED, 0, L(g_scene.b));
    g_scene.listedDuringDestroy = g_scene.tracker->Windows().size();
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

// The outer dispatch destroys a window, as handling a notice may.
bool DestroyVictimThenAccept(HWND window, HWND, const char*) {
  if (window == g_scene.victim) DestroyWindow(g_scene.victim);
  return true;
}

TEST(WindowTracker, NoticesSentFromInsideDestroyWindowAreDeferredAndHandledAfterwards) {
  WindowTracker tracker;
  tracker.SetAdoptionTest(DestroyVictimThenAccept);
  struct Cleanup {
    ~Cleanup() {
      g_scene.tracker = nullptr;
      DestroyWindow(g_scene.backdrop);
      DestroyWindow(g_scene.victim);
      UnregisterClassA("VmySceneBackdrop", GetModuleHandleA(nullptr));
      UnregisterClassA("VmySceneVictim", GetModuleHandleA(nullptr));
      g_scene = DestroyScene();
    }
  } cleanup;
  WNDCLASSA classes[2] = {};
  classes[0].lpfnWndProc = SceneBackdropProc;
  classes[0].lpszClassName = "VmySceneBackdrop";
  classes[1].lpfnWndProc = SceneVictimProc;
  classes[1].lpszClassName = "VmySceneVictim";
  for (WNDCLASSA& windowClass : classes) {
    windowClass.hInstance = GetModuleHandleA(nullptr);
    ASSERT_NE(0, RegisterClassA(&windowClass));
  }
  g_scene.tracker = &tracker;
  g_scene.backdrop = CreateWindowExA(0, "VmySceneBackdrop", "b", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                                     nullptr, nullptr, nullptr, nullptr);
  g_scene.victim = CreateWindowExA(0, "VmySceneVictim", "v", WS_POPUP, 0, 0, 50, 50, nullptr,
                                   nullptr, nullptr, nullptr);
  ASSERT_TRUE(g_scene.backdrop && g_scene.victim);

  SendMessageA(g_scene.backdrop, UM_ADOPT, 0, L(g_scene.victim));
  EXPECT_FALSE(IsWindow(g_scene.victim)) << "the window was destroyed inside the dispatch";
  EXPECT_EQ(3, g_scene.nested) << "all three notices re-entered the tracker";
  EXPECT_EQ(0, g_scene.nestedHandled) << "a nested notice is left to the default handling";
  EXPECT_EQ(0u, g_scene.listedDuringDestroy) << "nothing was dispatched inside DestroyWindow";
  // Afterwards, in arrival order: the outer adoption, adopt b, adopt c, remove b.
  EXPECT_EQ((std::vector<HWND>{g_scene.c, g_scene.victim}), List(tracker));
  EXPECT_EQ(0, WindowTracker::dispatching);
}

TEST(WindowTracker, AdoptsOnlyLiveWindowsOfOtherProcessesUnderTheAppPath) {
  // Another process's window under this folder, and this process's own window there too.
  TestProcess other(ProgramFolder() + "vmyprobe.exe", {"bordered", "wait=VellamyTrackerGo"});
  ASSERT_TRUE(other.WaitForLine("waiting"));
  const HWND theirs = HandleFromText(other.SoFar().Field("created bordered", "hwnd"));
  std::string appPath = ProgramFolder();
  LowerAscii(&appPath[0]);
  HWND own = RealWindow();
  HWND dead = RealWindow();
  DestroyWindow(dead);
  BOOL handled = FALSE;
  HWND backdrop = RealWindow();
  {
    WindowTracker tracker;  // with the program's own check
    ASSERT_EQ(1, tracker.InstallHook(backdrop, appPath.c_str()));
    for (HWND w :
         {own, dead, Fake(0x12345), GetDesktopWindow(), static_cast<HWND>(nullptr), theirs}) {
      tracker.PreTranslate(UM_ADOPT, 0, L(w), &handled);
      EXPECT_TRUE(handled);
    }
    EXPECT_EQ(std::vector<HWND>{theirs}, List(tracker));
    tracker.UninstallHook();
  }
  // The check itself, beside each refusal a window that passes.
  EXPECT_TRUE(IsGimpWindow(theirs, own, appPath.c_str()));
  EXPECT_FALSE(IsGimpWindow(own, nullptr, appPath.c_str())) << "this process's own window";
  EXPECT_FALSE(IsGimpWindow(theirs, theirs, appPath.c_str())) << "the backdrop itself";
  EXPECT_FALSE(IsGimpWindow(theirs, own, "c:\\no gimp\\")) << "outside the app path";
  EXPECT_FALSE(IsGimpWindow(dead, own, appPath.c_str()));
  DestroyWindow(own);
  DestroyWindow(backdrop);
  HANDLE go = OpenEventA(EVENT_MODIFY_STATE, FALSE, "VellamyTrackerGo");
  SetEvent(go);
  CloseHandle(go);
  other.Wait();
}

int g_marked = 0;  // activation notices that carry the test's marker
constexpr LPARAM kMarker = 0x5151;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == UM_ACTIVATE_OTHER && wParam == static_cast<WPARAM>(kMarker)) ++g_marked;
  return DefWindowProcA(window, message, wParam, lParam);
}

// Windows runs the hook of programs of the other bitness on the thread that installed it, so a
// thread that only handles messages holds it, not the caller. That waiting cannot be shown
// under Wine (no programs of the other bitness here, and Wine keeps a hook after its thread
// ends): this shows which thread holds the hook, that it takes messages, that the hook works
// from it, and that the thread ends at removal. Its start is held up (a new thread takes the
// loader's lock before it runs) past any fixed wait, as on an emulated or loaded system.
TEST(WindowTracker, TheHookLivesOnAThreadOfItsOwnUntilUninstalledHoweverLateItStarts) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto lockLoader = reinterpret_cast<LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*)>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
  const auto unlockLoader = reinterpret_cast<LONG(WINAPI*)(ULONG, ULONG_PTR)>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  ASSERT_TRUE(lockLoader && unlockLoader);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.lpszClassName = "VellamyCountingBackdrop";
  RegisterClassA(&windowClass);
  HWND backdrop = CreateWindowExA(0, "VellamyCountingBackdrop", "b", WS_POPUP, 0, 0, 50, 50,
                                  nullptr, nullptr, nullptr, nullptr);
  HWND own = RealWindow();
  WindowTracker tracker;
  int installed = 0;
  DWORD callerId = 0;
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread caller([&] {
    callerId = GetCurrentThreadId();
    WaitForSingleObject(go, INFINITE);
    installed = tracker.InstallHook(backdrop, "c:\\no gimp\\");
  });
  ULONG_PTR cookie = 0;
  const LONG locked = lockLoader(0, nullptr, &cookie);
  SetEvent(go);
  if (locked == 0) {
    Sleep(12000);
    unlockLoader(0, cookie);
  }
  caller.join();  // before any check that ends the test
  EXPECT_EQ(0, locked) << "the loader's lock was not taken: the start was not held up";
  CloseHandle(go);
  EXPECT_EQ(1, installed);
  const DWORD holder = tracker.HookThreadId();
  EXPECT_NE(0u, holder);
  EXPECT_NE(callerId, holder);
  EXPECT_NE(GetCurrentThreadId(), holder);
  EXPECT_TRUE(PostThreadMessageA(holder, WM_NULL, 0, 0)) << "it has a message queue";
  // Wine learns of another thread's new hook at the next message this thread takes.
  MSG message;
  PostMessageA(own, WM_NULL, 0, 0);
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  SendMessageA(own, WM_ACTIVATE, WA_ACTIVE, kMarker);  // reported as another program's
  EXPECT_EQ(1, g_marked);
  EXPECT_EQ(1, tracker.UninstallHook());
  EXPECT_EQ(0, tracker.UninstallHook());
  EXPECT_FALSE(PostThreadMessageA(holder, WM_NULL, 0, 0)) << "it has ended";
  PostMessageA(own, WM_NULL, 0, 0);
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  SendMessageA(own, WM_ACTIVATE, WA_ACTIVE, kMarker);
  EXPECT_EQ(1, g_marked);
  DestroyWindow(own);
  DestroyWindow(backdrop);
}

}  // namespace
