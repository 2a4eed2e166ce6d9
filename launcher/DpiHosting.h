// Mixed DPI hosting for the backdrop's window: GIMP's windows may come from a process of
// another DPI awareness than this one's. From Windows 10 1803 a parent created while its thread
// has mixed hosting may adopt such children; with the default, re-parenting them is refused or
// rescales their process. The function is looked up at run time, so that older systems (and
// Wine, which lacks it) still start.
#pragma once

#include <windows.h>

// Holds the thread in mixed hosting for one window's creation, then puts back what it had, as
// the documentation asks (the behaviour lasts with the windows created meanwhile).
class MixedDpiHosting {
 public:
  using SetFn = int(WINAPI*)(int);
  static constexpr int kDefault = 0, kMixed = 1, kInvalid = -1;

  explicit MixedDpiHosting(SetFn function) : set(function) {
    if (set) previous = set(kMixed);
  }
  ~MixedDpiHosting() {
    if (set) set(previous == kInvalid ? kDefault : previous);
  }
  MixedDpiHosting(const MixedDpiHosting&) = delete;
  MixedDpiHosting& operator=(const MixedDpiHosting&) = delete;

  static SetFn Lookup() {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (!user32) return nullptr;
    return reinterpret_cast<SetFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetThreadDpiHostingBehavior")));
  }

 private:
  SetFn set;
  int previous = kDefault;
};
