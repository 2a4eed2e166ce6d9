// Stand-in for GIMP's libgimp-2.0-0.dll: gimp_main records what it received and returns the
// code a test chose. VELLAMY_TEST_LOG names the file it appends to; VELLAMY_GIMP_MAIN_RESULT
// holds the code (0 when unset).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

extern "C" __declspec(dllexport) int gimp_main(const void* info, int argc, char* argv[]) {
  char log[MAX_PATH] = {};
  char result[32] = {};
  GetEnvironmentVariableA("VELLAMY_TEST_LOG", log, MAX_PATH);
  GetEnvironmentVariableA("VELLAMY_GIMP_MAIN_RESULT", result, sizeof(result));
  if (log[0]) {
    if (FILE* out = std::fopen(log, "a")) {
      // Whether the backdrop already stood when the launcher handed over.
      const bool backdrop = FindWindowA("VELLAMY", nullptr) != nullptr;
      std::fprintf(out, "gimp_main argc=%d info=%s backdrop=%d\n", argc, info ? "set" : "null",
                   backdrop ? 1 : 0);
      for (int i = 0; i < argc; ++i) std::fprintf(out, "argv[%d]=%s\n", i, argv[i]);
      std::fclose(out);
    }
  }
  return std::atoi(result);
}
