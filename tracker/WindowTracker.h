// The backdrop's list of adopted GIMP windows, kept from the hook library's notices. It sees
// every backdrop message first, and is the only caller of the hook library.
#pragma once

#include <windows.h>

#include <deque>
#include <list>
#include <map>
#include <string>
#include <vector>

// Decides whether a window named by a UM_ADOPT notice may be adopted.
using AdoptionTest = bool (*)(HWND window, HWND backdrop, const char* appPath);

// True for an existing window, not the backdrop, of another process whose executable lies
// under the app path: any program can send the notice, with any handle.
bool IsGimpWindow(HWND window, HWND backdrop, const char* appPath);

class WindowTracker {
 public:
  WindowTracker();
  virtual ~WindowTracker();
  WindowTracker(const WindowTracker&) = delete;
  WindowTracker& operator=(const WindowTracker&) = delete;

  // Acts on the notices 1025 to 1029 and on WM_LBUTTONDOWN, setting *handled; everything else
  // comes back unhandled. A notice that arrives while another is being dispatched (the
  // backdrop's thread re-entered) is queued and dispatched afterwards, in arrival order.
  LRESULT PreTranslate(UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled);
  void Adopt(HWND window);
  void Remove(HWND window);
  // Moves a listed window to the front of the list and to the top of the Z order.
  void Raise(HWND window);
  // Drops windows that no longer exist; true when the list is then empty.
  bool PruneDead();

  // The hook is installed and removed on a thread of its own that does nothing but handle
  // messages: the system runs the hook of programs of the other bitness on the installing
  // thread, and they must not wait while the backdrop's thread is busy.
  int InstallHook(HWND backdropWindow, const char* path);
  int UninstallHook();
  void SetSnap(int snap);
  // The keys GIMP's windows hand to the backdrop.
  void TakeKeys(const WORD* keys, int count);

  // The adopted windows, front (newest adopted or raised) first.
  const std::list<HWND>& Windows() const { return windows; }
  // The same, each window once (its front-most entry): for the walks that move, hide, show or
  // release windows, since a notice handled twice lists its window twice.
  std::vector<HWND> Distinct() const;
  // When a listed window was first adopted, counting from 1 (0 for one not listed): GDK makes
  // GIMP's windows in a known order, and the close rule relies on it.
  unsigned long AdoptionOrder(HWND window) const;
  // Adoptions so far, counting every notice: tells that a window came, even one gone since.
  unsigned long Adoptions() const { return adoptions; }
  HWND Backdrop() const { return backdrop; }
  // The thread that holds the hook, 0 while none does.
  DWORD HookThreadId() const { return hookThreadId; }
  // Tests that adopt stand-in handles replace the check; the program keeps IsGimpWindow.
  void SetAdoptionTest(AdoptionTest test) { adoptionTest = test; }

  // Set while PreTranslate dispatches or drains the queue; shared by every tracker.
  static LONG dispatching;

 private:
  struct Pending {
    LPARAM lParam;
    UINT msg;
  };
  void Dispatch(UINT msg, LPARAM lParam, BOOL* handled);

  std::list<HWND> windows;
  std::map<HWND, unsigned long> adoptedAt;
  unsigned long adoptions = 0;
  HWND backdrop = nullptr;
  CRITICAL_SECTION lock;
  std::deque<Pending> pending;
  std::string appPath;
  AdoptionTest adoptionTest = IsGimpWindow;

  static DWORD WINAPI HookThread(void* tracker);
  HANDLE hookThread = nullptr;
  DWORD hookThreadId = 0;
  HANDLE hookReply = nullptr;      // set by the hook thread when a request is done
  const char* hookPath = nullptr;  // the install request's app path, while it runs
  int hookResult = 0;
};
