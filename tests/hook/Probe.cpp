// A helper program for the hook tests: it creates, moves, activates and destroys the windows
// its arguments ask for, one argument a step, and prints what it saw on its standard output.
// Copied under the test's app path it stands for a GIMP process; copied elsewhere, for any
// other program.
#include <windows.h>

#include <ole2.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND g_host = nullptr;  // hidden borderless parent for the child windows asked for
std::vector<HWND> g_windows;

struct Kind {
  const char* name;
  DWORD style;
  DWORD exStyle;
  bool child;
};

const Kind kKinds[] = {
    {"bordered", WS_OVERLAPPEDWINDOW, 0, false},
    {"borderless", WS_POPUP, WS_EX_TOOLWINDOW, false},
    {"tool", WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW, false},
    {"child", WS_CHILD | WS_BORDER, 0, true},
    {"plainchild", WS_CHILD, 0, true},
    {"captionchild", WS_CHILD | WS_CAPTION, 0, true},
    {"childtool", WS_CHILD | WS_CAPTION, WS_EX_TOOLWINDOW, true},
    {"borderlesschildtool", WS_CHILD, WS_EX_TOOLWINDOW, true},
    {"overlappedtool", WS_OVERLAPPEDWINDOW, WS_EX_TOOLWINDOW, false},
};

std::string g_keys;  // the key presses and releases the probe's windows got: "d75,u75,..."

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_KEYUP)
    g_keys += (message == WM_KEYDOWN ? "d" : "u") + std::to_string(wParam) + ",";
  return DefWindowProcA(window, message, wParam, lParam);
}

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}

unsigned long long Hex(HWND window) {
  return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window));
}

HWND RealParent(HWND window) {
  HWND parent = GetAncestor(window, GA_PARENT);
  return parent == GetDesktopWindow() ? nullptr : parent;
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void Create(const Kind& kind) {
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HWND window =
      CreateWindowExA(kind.exStyle, "VellamyProbe", kind.name, kind.style, 10, 20, 200, 150,
                      kind.child ? g_host : nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  QueryPerformanceCounter(&end);
  const long long ms = (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
  g_windows.push_back(window);
  Say("created %s index=%u hwnd=%llx parent=%llx exstyle=%lx ms=%lld", kind.name,
      static_cast<unsigned>(g_windows.size() - 1), Hex(window), Hex(RealParent(window)),
      static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), ms);
}

HWND At(const char* text) {
  size_t index = std::strtoul(text, nullptr, 10);
  return index < g_windows.size() ? g_windows[index] : nullptr;
}

void Step(const std::string& step) {
  const size_t eq = step.find('=');
  const std::string verb = step.substr(0, eq);
  const std::string arg = eq == std::string::npos ? "" : step.substr(eq + 1);
  for (const Kind& kind : kKinds) {
    if (verb == kind.name) return Create(kind);
  }
  if (verb == "messageonly" || verb == "ole") {
    // A message-only window with a caption; "ole" has COM make its own, as GTK's start-up does.
    HWND window = nullptr;
    if (verb == "ole") {
      OleInitialize(nullptr);
      window = FindWindowExA(HWND_MESSAGE, nullptr, "OleMainThreadWndClass", nullptr);
    } else {
      window = CreateWindowExA(0, "VellamyProbe", "messageonly", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                               100, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    g_windows.push_back(window);
    Say("created %s hwnd=%llx parent=%llx style=%lx", verb.c_str(), Hex(window),
        Hex(RealParent(window)), static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
  } else if (verb == "wait") {
    // Tell the test this process is ready, then wait for its go.
    HANDLE go = CreateEventA(nullptr, FALSE, FALSE, arg.c_str());
    Say("waiting");
    WaitForSingleObject(go, 20000);
    CloseHandle(go);
  } else if (verb == "destroy") {
    HWND window = At(arg.c_str());
    Say("destroyed index=%s ok=%d", arg.c_str(), DestroyWindow(window) ? 1 : 0);
  } else if (verb == "activate") {
    // activate=index:wParam:lParam, both numbers in hex; sent straight to the window.
    char* rest = nullptr;
    HWND window = At(arg.c_str());
    std::strtoul(arg.c_str(), &rest, 10);
    WPARAM wParam = static_cast<WPARAM>(std::strtoull(rest + 1, &rest, 16));
    LPARAM lParam = static_cast<LPARAM>(std::strtoull(rest + 1, &rest, 16));
    const ULONGLONG start = GetTickCount64();
    SendMessageA(window, WM_ACTIVATE, wParam, lParam);
    Say("activated hwnd=%llx ms=%llu", Hex(window), GetTickCount64() - start);
  } else if (verb == "move") {
    // move=index:x:y:width:height in the coordinates of the window's parent.
    long v[5] = {};
    const char* p = arg.c_str();
    for (long& value : v) {
      char* next = nullptr;
      value = std::strtol(p, &next, 10);
      p = *next ? next + 1 : next;
    }
    HWND window = At(arg.c_str());
    MoveWindow(window, v[1], v[2], v[3], v[4], TRUE);
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
    Say("moved index=%ld left=%ld top=%ld right=%ld bottom=%ld", v[0], r.left, r.top, r.right,
        r.bottom);
  } else if (verb == "pumpwait") {
    // As "wait", but handling messages meanwhile, as a GIMP thread does.
    HANDLE go = CreateEventA(nullptr, FALSE, FALSE, arg.c_str());
    Say("waiting");
    const ULONGLONG end = GetTickCount64() + 20000;
    while (GetTickCount64() < end &&
           MsgWaitForMultipleObjects(1, &go, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
      Pump();
    }
    CloseHandle(go);
  } else if (verb == "setparent") {
    // setparent=index:parent, the parent's handle in hex.
    char* rest = nullptr;
    HWND window = At(arg.c_str());
    std::strtoul(arg.c_str(), &rest, 10);
    HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(rest + 1, &rest, 16)));
    SetParent(window, parent);
    Say("setparent index=%s parent=%llx", arg.c_str(), Hex(RealParent(window)));
  } else if (verb == "report") {
    HWND window = At(arg.c_str());
    Say("report index=%s exists=%d parent=%llx", arg.c_str(), IsWindow(window) ? 1 : 0,
        Hex(RealParent(window)));
  } else if (verb == "keys") {
    // keys=index: that window takes the keyboard, and a user's key presses come through the
    // system's input: Ctrl+F6, F5, Shift+F5.
    HWND window = At(arg.c_str());
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    const WORD keys[][2] = {{VK_CONTROL, 0}, {VK_F6, 0},   {VK_F6, 1},    {VK_CONTROL, 1},
                            {VK_F5, 0},      {VK_F5, 1},   {VK_SHIFT, 0}, {VK_F5, 0},
                            {VK_F5, 1},      {VK_SHIFT, 1}};
    for (const auto& key : keys) {
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = key[0];
      input.ki.dwFlags = key[1] ? KEYEVENTF_KEYUP : 0;
      SendInput(1, &input, sizeof(input));
    }
    const ULONGLONG end = GetTickCount64() + 1000;
    while (GetTickCount64() < end) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      Pump();
    }
    Say("keys focus=%d got=%s", GetFocus() == window ? 1 : 0, g_keys.c_str());
  } else if (verb == "sleep") {
    Sleep(static_cast<DWORD>(std::strtoul(arg.c_str(), nullptr, 10)));
  } else {
    Say("unknown step %s", step.c_str());
  }
  Pump();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProbeProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "VellamyProbe";
  RegisterClassA(&windowClass);
  g_host = CreateWindowExA(0, "VellamyProbe", "host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           instance, nullptr);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  Say("started pid=%lu host=%llx path=%s", GetCurrentProcessId(), Hex(g_host), path);
  for (int i = 1; i < __argc; ++i) Step(__argv[i]);
  Say("done");
  return 0;
}
