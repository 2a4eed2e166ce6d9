// The one function of GIMP's plug-in library that this program calls.
#pragma once

extern "C" {

// GIMP's plug-in description: four callbacks, all of which may be null.
struct GimpPlugInInfo {
  void (*init_proc)();
  void (*quit_proc)();
  void (*query_proc)();
  void (*run_proc)(const char* name, int paramCount, const void* params, int* returnCount,
                   void** returnValues);
};

__declspec(dllimport) int gimp_main(const GimpPlugInInfo* info, int argc, char* argv[]);
}
