// Redirects one imported function of the test program itself, so a test can count the calls
// that code linked into it makes to the system. The original is put back on destruction.
#pragma once

#include <windows.h>

class IatPatch {
 public:
  IatPatch(const char* dll, const char* function, void* replacement);
  ~IatPatch();
  IatPatch(const IatPatch&) = delete;
  IatPatch& operator=(const IatPatch&) = delete;

  bool Patched() const { return slot != nullptr; }
  void* Original() const { return original; }

 private:
  void** slot = nullptr;
  void* original = nullptr;
};
