// A helper for the tests that drive vellamy with real input: it prints what the platform knows
// about the backdrop and its adopted windows, for the test to compare before and after.
//   vmyinspect.exe children       the backdrop's children in Z order, top first
//   vmyinspect.exe backdrop       the backdrop's window and client rectangles
//   vmyinspect.exe [--out FILE] find TITLE     whether a top-level window with that title exists
//   vmyinspect.exe fields TITLE   the texts of that window's edit fields: "field id=N text=..."
//   vmyinspect.exe discard TITLE  answers "Discard Changes" to the stand-in GIMP's question of
//                                 that title standing in the backdrop: "discarded=0|1"
//   vmyinspect.exe command ID     picks the backdrop's menu command ID: "posted=0|1"
// Output lines: "child hwnd=... left=... top=... right=... bottom=... snap=0|1 title=..." in the
// backdrop's client coordinates, and "backdrop hwnd=... ...".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int Inspect(int argc, char** argv);

// "--out FILE" first writes everything to FILE, ending with a line "end": a program started on
// a Wine virtual desktop can outlive the pipe a test would otherwise read.
int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--out") == 0) {
    if (!std::freopen(argv[2], "w", stdout)) return 2;
    argc -= 2;
    argv += 2;
  }
  const int result = Inspect(argc, argv);
  std::printf("end\n");
  std::fflush(stdout);
  return result;
}

int Inspect(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "find") == 0) {
    std::printf("found=%d\n", FindWindowA(nullptr, argv[2]) ? 1 : 0);
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "fields") == 0) {
    HWND dialog = FindWindowA(nullptr, argv[2]);
    for (HWND w = dialog ? GetWindow(dialog, GW_CHILD) : nullptr; w;
         w = GetWindow(w, GW_HWNDNEXT)) {
      char name[32] = {}, text[512] = {};
      GetClassNameA(w, name, sizeof(name));
      if (_stricmp(name, "Edit") != 0) continue;
      // Another process's control: only a sent WM_GETTEXT reads what the field holds.
      DWORD_PTR got = 0;
      SendMessageTimeoutA(w, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                          5000, &got);
      std::printf("field id=%d text=%s\n", GetDlgCtrlID(w), text);
    }
    return dialog ? 0 : 1;
  }
  HWND backdrop = FindWindowA("VELLAMY", "The GIMP");
  if (argc > 2 && std::strcmp(argv[1], "discard") == 0) {
    HWND question = backdrop ? FindWindowExA(backdrop, nullptr, nullptr, argv[2]) : nullptr;
    if (question) PostMessageA(question, WM_APP + 9, 0, 0);  // the stand-in's kDiscardChanges
    std::printf("discarded=%d\n", question ? 1 : 0);
    return 0;
  }
  if (!backdrop) {
    std::printf("no backdrop\n");
    return 1;
  }
  if (argc > 2 && std::strcmp(argv[1], "command") == 0) {
    const UINT id = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
    std::printf("posted=%d\n", PostMessageA(backdrop, WM_COMMAND, id, 0) ? 1 : 0);
    return 0;
  }
  const char* what = argc > 1 ? argv[1] : "children";
  if (std::strcmp(what, "backdrop") == 0) {
    RECT window, client;
    GetWindowRect(backdrop, &window);
    GetClientRect(backdrop, &client);
    POINT origin = {0, 0};
    ClientToScreen(backdrop, &origin);
    std::printf(
        "backdrop hwnd=%llx left=%ld top=%ld right=%ld bottom=%ld clientx=%ld "
        "clienty=%ld clientw=%ld clienth=%ld bar=%d\n",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(backdrop)), window.left,
        window.top, window.right, window.bottom, origin.x, origin.y, client.right, client.bottom,
        GetSystemMetrics(SM_CXVSCROLL));
    return 0;
  }
  for (HWND w = GetWindow(backdrop, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, backdrop, reinterpret_cast<POINT*>(&r), 2);
    char title[256] = {};
    GetWindowTextA(w, title, sizeof(title));
    // snap=1 where the hook's snapping reaches the window: the backdrop holds it directly and it
    // is neither maximised nor minimised.
    std::printf("child hwnd=%llx left=%ld top=%ld right=%ld bottom=%ld snap=%d title=%s\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(w)), r.left, r.top,
                r.right, r.bottom,
                GetAncestor(w, GA_PARENT) == backdrop && !IsZoomed(w) && !IsIconic(w) ? 1 : 0,
                title);
  }
  return 0;
}
