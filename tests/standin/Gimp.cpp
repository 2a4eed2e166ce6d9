// A stand-in for GIMP 2.x on Windows as vellamy meets it: GTK 2.24's Windows backend (GDK)
// creates, styles, places and shows the windows (Gdk.cpp), GIMP decides what they are and
// what closing them does. It lives in <prefix>\bin\gimp-2.0.exe, shows its splash, runs
// <prefix>\lib\gimp\2.0\plug-ins\vellamy.exe with "-query" as GIMP does at start-up and waits
// for it, then opens the toolbox, docks and image windows, hidden first and then shown. It
// keeps the windows' places in a session file beside itself, saved at quit and restored at the
// next start. Everything it does is printed on its standard output:
//   window <role> hwnd=<handle>     role: main, dock, image, empty, dialog, quit and close (its
//                                   questions), popup, tip (a tooltip), splash, tool
//   quit released=N docks-closed=M  at quit: its windows standing on the desktop, docks that
//                                   closes had destroyed before
//   place <role> hwnd=... asked=x,y,w,h got=x,y,w,h   x,y: the frame's corner on the screen,
//                                   w,h: the client size; asked is where GDK put the frame
//                                   and the size GTK asked for, got what the window has
//
// Arguments: --version=2.2 | 2.10 | 2.10-single   the GIMP to be (default 2.2)
//            --images=N     images opened at start (default 2)
//            --no-plugin    do not run the plug-in
//            --end-early    (tests) end right after the plug-in's query, before any window
//            --dirty        the first image has unsaved changes: quitting first asks in a "Quit
//                           GIMP" dialog ("window quit"), closing its window in a "Close ...?"
//                           one ("window close"); closing either is its Cancel ("quit declined",
//                           "close declined"), kDiscardChanges posted to it its Discard
//            --lang=fr      translated titles, as a French GIMP has them
//            --far          (tests) two more image windows beyond a 1280 x 1024 screen
//            --report=FILE  also append the "place" lines to FILE
//            --slow-moves   (tests) each move of a window prints "moved hwnd=... held=0|1"
//                           (held: its parent is not the desktop); a held one's takes 300 ms
//            --plug-in      be a plug-in that GIMP runs: its dialog alone, until it is closed
// "main" is the toolbox, or the one window in single-window mode; posted commands
// (StandinGimp.h) work on every top-level window.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Gdk.h"
#include "Paint.h"
#include "StandinGimp.h"

namespace {

struct Version {
  const char* name;
  const wchar_t* toolbox;      // the toolbox's title (2.10's is translated)
  bool toolboxQuits;           // closing the toolbox quits GIMP (2.0 to 2.4)
  bool utilityHint;            // toolbox and docks carry the utility hint (2.6 on)
  bool emptyImageWindow;       // with no image open, an empty image window stands (2.6 on)
  bool singleWindow;           // docks and toolbox inside the one image window
  const wchar_t* imageFormat;  // %d: image id, then width and height
};

const Version kVersions[] = {
    {"2.2", L"The GIMP", true, false, false, false, L"Untitled-%d.0 (RGB, 1 layer) %dx%d"},
    {"2.10", L"Toolbox", false, true, true, false,
     L"[Untitled]-%d.0 (RGB color 8-bit gamma integer, GIMP built-in sRGB, 1 layer) %dx%d "
     L"\u2013 GIMP"},
    {"2.10-single", L"Toolbox", false, true, true, true,
     L"[Untitled]-%d.0 (RGB color 8-bit gamma integer, GIMP built-in sRGB, 1 layer) %dx%d "
     L"\u2013 GIMP"},
};
const wchar_t* g_emptyTitle = L"GNU Image Manipulation Program";
bool g_french = false;

const Version* g_version = &kVersions[0];
HINSTANCE g_instance = nullptr;
std::vector<std::unique_ptr<GdkWindow>> g_windows;  // every GDK top-level, in creation order
GdkWindow* g_prefs = nullptr;
GdkWindow* g_quitDialog = nullptr;
bool g_dirty = false;  // the first image opened has unsaved changes
bool g_slowMoves = false;
std::vector<HWND> g_unsaved;           // image windows with unsaved changes
std::map<HWND, HWND> g_closeQuestion;  // "Close ...?" dialog -> the image window it asks about
int g_docksClosed = 0;
std::vector<HWND> g_temps;  // menus and tooltips
std::vector<HWND> g_tools;
std::vector<HWND> g_panes;  // single-window mode: the docks inside the window
int g_imageCount = 0;       // images opened so far
int g_openImages = 0;       // single-window mode: images in the one window
bool g_docksHidden = false;
std::map<std::string, RECT> g_session;  // "toolbox", "dock1", ...: client rectangles
std::string g_sessionFile, g_reportFile;

void Say(const char* kind, HWND window) {
  std::printf("window %s hwnd=%llx\n", kind,
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  std::fflush(stdout);
}

GdkWindow* Find(HWND hwnd) {
  for (auto& w : g_windows) {
    if (w->hwnd == hwnd) return w.get();
  }
  return nullptr;
}

// Paints a window of GIMP's, or one of the panes inside the single window.
void Paint(HWND hwnd, HDC dc, const GdkWindow* w) {
  std::string role = w ? w->role : "image";
  if (GetWindowLongPtrW(hwnd, GWLP_USERDATA) == 2)
    role = GetWindowLongPtrW(hwnd, 0) ? "toolbox" : "dock";
  if (role == "quit" || role == "close") role = "dialog";
  if (role == "single") role = g_openImages > 0 ? "canvas" : "empty";
  PaintGimpWindow(hwnd, dc, role, g_version->utilityHint);
}

std::string Key(const GdkWindow& w) {
  if (w.role != "dock") return w.role;
  int n = 0;
  for (auto& other : g_windows) {
    if (other->role == "dock") ++n;
    if (other.get() == &w) break;
  }
  return "dock" + std::to_string(n);
}

void LoadSession() {
  std::ifstream in(g_sessionFile);
  std::string key;
  RECT r;
  while (in >> key >> r.left >> r.top >> r.right >> r.bottom) g_session[key] = r;
}

// The frame's corner on the screen and the client size, as GTK reads them
// (gtk_window_get_position and gtk_window_get_size).
RECT PlaceOf(HWND hwnd) {
  RECT frame, client;
  GetWindowRect(hwnd, &frame);
  GetClientRect(hwnd, &client);
  return {frame.left, frame.top, frame.left + client.right, frame.top + client.bottom};
}

// GIMP's sessionrc: the places and sizes of the toolbox, the docks and the single window.
void SaveSession() {
  std::ofstream out(g_sessionFile, std::ios::trunc);
  for (auto& w : g_windows) {
    if (w->role != "toolbox" && w->role != "dock" && w->role != "single") continue;
    const RECT r = PlaceOf(w->hwnd);
    out << Key(*w) << ' ' << r.left << ' ' << r.top << ' ' << r.right << ' ' << r.bottom << '\n';
  }
}

std::string PlaceLine(const GdkWindow& w) {
  const RECT g = PlaceOf(w.hwnd);
  const RECT& a = w.asked;
  char line[256];
  std::snprintf(line, sizeof(line),
                "place %s hwnd=%llx asked=%ld,%ld,%ld,%ld got=%ld,%ld,%ld,%ld\n", Key(w).c_str(),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(w.hwnd)), w.meant.x,
                w.meant.y, a.right - a.left, a.bottom - a.top, g.left, g.top, g.right - g.left,
                g.bottom - g.top);
  return line;
}

void Report() {
  std::string lines;
  for (auto& w : g_windows) {
    if (!IsWindow(w->hwnd) || w->role == "splash" || w->role == "gone") continue;
    lines += PlaceLine(*w);
  }
  std::fputs(lines.c_str(), stdout);
  std::fflush(stdout);
  if (!g_reportFile.empty()) {
    std::ofstream(g_reportFile, std::ios::app) << lines;
  }
}

// Creates a GDK top-level as GTK realizes a GtkWindow: hidden, styled by its hint, placed.
GdkWindow* Open(const std::string& role, const std::wstring& title, RECT asked, bool userPos,
                GdkHint hint) {
  auto window = std::make_unique<GdkWindow>();
  window->role = role;
  window->asked = asked;
  window->userPos = userPos;
  window->focusOnMap = role == "dialog" || role == "splash";
  if (!GdkCreate(*window, title.c_str(), g_instance)) return nullptr;
  SetWindowLongPtrW(window->hwnd, GWLP_USERDATA, 1);  // GDK knows the handle only from here on
  g_windows.push_back(std::move(window));
  GdkWindow* w = g_windows.back().get();
  if (hint != GdkHint::Normal) GdkSetHint(*w, hint);
  return w;
}

// A session-managed window: GIMP moves it to its saved (or default) place before showing it.
GdkWindow* OpenManaged(const std::string& role, const std::string& key, const std::wstring& title,
                       RECT fallback, GdkHint hint) {
  const auto saved = g_session.find(key);
  const RECT r = saved != g_session.end() ? saved->second : fallback;
  GdkWindow* w = Open(role, title, r, true, hint);
  if (!w) return nullptr;
  GdkMoveResize(*w, r.left, r.top, r.right - r.left, r.bottom - r.top);
  GdkShow(*w);
  return w;
}

std::wstring ImageTitle(int id, int width, int height) {
  wchar_t title[256];
  std::swprintf(title, 256, g_version->imageFormat, id, width, height);
  return title;
}

bool Unsaved(HWND image) {
  return std::find(g_unsaved.begin(), g_unsaved.end(), image) != g_unsaved.end();
}

bool AnyUnsaved() {
  if (g_version->singleWindow) return g_dirty && g_openImages > 0;
  for (HWND image : g_unsaved) {
    const GdkWindow* w = Find(image);
    if (w && w->role == "image" && IsWindow(image)) return true;
  }
  return false;
}

GdkWindow* EmptyWindow() {
  for (auto& w : g_windows) {
    if (w->role == "empty" && IsWindow(w->hwnd)) return w.get();
  }
  return nullptr;
}

void OpenImage() {
  const ULONGLONG start = GetTickCount64();
  const int id = ++g_imageCount;
  const int width = 560 - 40 * (id % 3), height = 420 - 30 * (id % 3);
  if (g_version->singleWindow) {
    ++g_openImages;
    SetWindowTextW(g_windows.front()->hwnd, ImageTitle(id, width, height).c_str());
    InvalidateRect(g_windows.front()->hwnd, nullptr, TRUE);
    std::printf("image opened n=%d\n", g_openImages);
    std::fflush(stdout);
    return;
  }
  if (GdkWindow* empty = EmptyWindow()) {  // GIMP shows the first image in the empty window
    empty->role = "image";
    if (g_dirty && id == 1) g_unsaved.push_back(empty->hwnd);
    SetWindowTextW(empty->hwnd, ImageTitle(id, width, height).c_str());
    InvalidateRect(empty->hwnd, nullptr, TRUE);
    Say("image", empty->hwnd);
    return;
  }
  const int x = 240 + 36 * (id % 6), y = 80 + 30 * (id % 6);
  GdkWindow* w = Open("image", ImageTitle(id, width, height), {x, y, x + width, y + height}, false,
                      GdkHint::Normal);
  std::printf("created image ms=%llu\n", GetTickCount64() - start);  // the hook's notices included
  if (!w) return;
  if (g_dirty && id == 1) g_unsaved.push_back(w->hwnd);
  // Windows cascades windows made at CW_USEDEFAULT, so GIMP's image windows come down and to
  // the right, clear of the toolbox; Wine puts every one at the same corner, over it. Here a
  // cascade stands in for the system's.
  w->initial = {x, y};
  GdkShow(*w);
  Say("image", w->hwnd);
}

void BecomeEmpty(GdkWindow& w) {
  w.role = "empty";
  SetWindowTextW(w.hwnd, g_emptyTitle);
  InvalidateRect(w.hwnd, nullptr, TRUE);
  Say("empty", w.hwnd);
}

void CloseImageWindow(GdkWindow& w) {
  g_unsaved.erase(std::remove(g_unsaved.begin(), g_unsaved.end(), w.hwnd), g_unsaved.end());
  int images = 0;
  for (auto& other : g_windows) {
    if (other->role == "image" && IsWindow(other->hwnd)) ++images;
  }
  if (g_version->emptyImageWindow && images == 1) {
    BecomeEmpty(w);
  } else {
    DestroyWindow(w.hwnd);
  }
}

void CloseNewestImage() {
  if (g_version->singleWindow) {
    if (g_openImages == 0) return;
    if (--g_openImages == 0) SetWindowTextW(g_windows.front()->hwnd, g_emptyTitle);
    return;
  }
  for (auto it = g_windows.rbegin(); it != g_windows.rend(); ++it) {
    if ((*it)->role == "image" && IsWindow((*it)->hwnd)) {
      CloseImageWindow(**it);
      return;
    }
  }
}

HWND OpenTemp(const wchar_t* className, RECT r) {
  HWND temp =
      CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, className, L"",
                      WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, r.left, r.top, r.right - r.left,
                      r.bottom - r.top, nullptr, nullptr, g_instance, nullptr);
  ShowWindow(temp, SW_SHOWNOACTIVATE);
  g_temps.push_back(temp);
  return temp;
}

void OpenTool() {
  // A bordered tool window that takes WS_CHILD once adopted, as no GDK window does: the hook
  // adopts top-level windows only, and reports the end only of windows whose parent (not
  // owner) is the backdrop, which GetParent gives for a WS_CHILD window alone.
  HWND tool = CreateWindowExW(WS_EX_TOOLWINDOW, L"gdkWindowToplevel", L"Tool Options",
                              WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 60, 360, 200, 150, nullptr,
                              nullptr, g_instance, nullptr);
  SetWindowLongW(tool, GWL_STYLE, GetWindowLongW(tool, GWL_STYLE) | WS_CHILD);
  g_tools.push_back(tool);
  Say("tool", tool);
}

void ShowPreferences() {
  if (!g_prefs) {
    GdkWindow* toolbox = nullptr;
    for (auto& w : g_windows) {
      if ((w->role == "toolbox" || w->role == "single") && IsWindow(w->hwnd)) toolbox = w.get();
    }
    g_prefs = Open("dialog", L"Preferences", {300, 200, 900, 650}, false, GdkHint::Dialog);
    if (!g_prefs) return;
    if (toolbox) GdkSetTransientFor(*g_prefs, toolbox->hwnd);
    Say("dialog", g_prefs->hwnd);
  }
  GdkShow(*g_prefs);
  std::printf("preferences shown\n%s", PlaceLine(*g_prefs).c_str());
  std::fflush(stdout);
}

void ToggleDocks() {
  g_docksHidden = !g_docksHidden;
  for (auto& w : g_windows) {
    if ((w->role == "toolbox" || w->role == "dock") && IsWindow(w->hwnd)) {
      if (g_docksHidden) {
        GdkHide(*w);
      } else {
        GdkShow(*w);
      }
    }
  }
  std::printf(g_docksHidden ? "docks hidden\n" : "docks shown\n");
  std::fflush(stdout);
}

void Quit() {
  // What the tests check of a quit: how many of GIMP's windows stood on the desktop (given
  // back) rather than in the backdrop, and how many docks a close had destroyed before.
  int released = 0;
  for (auto& w : g_windows) {
    if (IsWindow(w->hwnd) && GetAncestor(w->hwnd, GA_PARENT) == GetDesktopWindow()) ++released;
  }
  std::printf("quit released=%d docks-closed=%d\nmain got WM_CLOSE\n", released, g_docksClosed);
  std::fflush(stdout);
  SaveSession();
  for (HWND w : g_tools) DestroyWindow(w);
  for (HWND w : g_temps) DestroyWindow(w);
  for (auto it = g_windows.rbegin(); it != g_windows.rend(); ++it) DestroyWindow((*it)->hwnd);
  PostQuitMessage(0);
}

// GIMP asks before it quits with unsaved changes: a dialog listing the images, with Cancel and
// Discard Changes, made with no parent window.
void AskBeforeQuit() {
  if (g_quitDialog) return;  // already asking
  g_quitDialog = Open("quit",
                      g_version->toolboxQuits ? L"Quit The GIMP"
                      : g_french              ? L"Quitter GIMP"
                                              : L"Quit GIMP",
                      {400, 300, 800, 520}, false, GdkHint::Dialog);
  if (!g_quitDialog) return;
  GdkShow(*g_quitDialog);
  Say("quit", g_quitDialog->hwnd);
}

void AnswerQuit(bool discard) {
  if (!g_quitDialog) return;
  DestroyWindow(g_quitDialog->hwnd);  // GIMP destroys the dialog at any response
  g_quitDialog->role = "gone";
  g_quitDialog = nullptr;
  if (discard) {
    g_dirty = false;
    Quit();
  } else {
    std::printf("quit declined\n");
    std::fflush(stdout);
  }
}

// GIMP asks before it closes an image with unsaved changes, in a dialog transient for it: Save,
// Cancel and Discard Changes. Asked again while it shows, GIMP only brings it forward.
void AskBeforeClose(GdkWindow& image) {
  for (const auto& [question, asked] : g_closeQuestion) {
    if (asked == image.hwnd) {
      SetForegroundWindow(question);
      return;
    }
  }
  GdkWindow* question = Open("close", g_french ? L"Fermer Untitled ?" : L"Close Untitled?",
                             {420, 320, 800, 480}, false, GdkHint::Dialog);
  if (!question) return;
  GdkSetTransientFor(*question, image.hwnd);
  g_closeQuestion[question->hwnd] = image.hwnd;
  GdkShow(*question);
  Say("close", question->hwnd);
}

void AnswerClose(GdkWindow& question, bool discard) {
  const HWND image = g_closeQuestion[question.hwnd];
  g_closeQuestion.erase(question.hwnd);
  DestroyWindow(question.hwnd);  // GIMP destroys the dialog first, then closes the image
  question.role = "gone";
  GdkWindow* w = Find(image);
  if (discard && w && IsWindow(image)) {
    CloseImageWindow(*w);
    std::printf("changes discarded\n");
  } else {
    std::printf("close declined\n");
  }
  std::fflush(stdout);
}

// What GIMP does when the window manager asks a window to close.
void OnClose(GdkWindow& w) {
  if (w.role == "quit") {
    AnswerQuit(false);
  } else if (w.role == "close") {
    AnswerClose(w, false);
  } else if (w.role == "plug-in") {
    DestroyWindow(w.hwnd);
    w.role = "gone";
    PostQuitMessage(0);
  } else if (w.role == "dialog") {
    GdkHide(w);  // kept for the next time
    std::printf("preferences hidden\n");
    std::fflush(stdout);
  } else if (w.role == "single" || w.role == "empty" ||
             (w.role == "toolbox" && g_version->toolboxQuits)) {
    if (AnyUnsaved()) {
      AskBeforeQuit();
    } else {
      Quit();
    }
  } else if (w.role == "image") {
    if (Unsaved(w.hwnd)) {
      AskBeforeClose(w);
    } else {
      CloseImageWindow(w);
    }
  } else {
    if (w.role == "toolbox" || w.role == "dock") ++g_docksClosed;
    DestroyWindow(w.hwnd);  // a dock (the toolbox is one from 2.8 on): GIMP runs on without it
    w.role = "gone";
    std::printf("dock closed\n");
    std::fflush(stdout);
  }
}

// GIMP starts a plug-in's executable directly, as a process of its own.
void RunPlugIn() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string commandLine = std::string("\"") + path + "\" --plug-in";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

bool OnCommand(UINT message) {
  switch (message) {
    case kOpenImage:
      OpenImage();
      return true;
    case kCloseImage:
      CloseNewestImage();
      return true;
    case kOpenPopup:
      Say("popup", OpenTemp(L"gdkWindowTempShadow", {300, 300, 420, 320}));
      return true;
    case kOpenTool:
      OpenTool();
      return true;
    case kCloseTool:
      if (!g_tools.empty()) {
        DestroyWindow(g_tools.back());
        g_tools.pop_back();
        std::printf("tool closed\n");
        std::fflush(stdout);
      }
      return true;
    case kDie:
      std::printf("dying\n");
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
      return true;
    case kPreferences:
      ShowPreferences();
      return true;
    case kRunPlugIn:
      RunPlugIn();
      return true;
    case kReport:
      Report();
      std::printf("reported\n");
      std::fflush(stdout);
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK GimpProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (OnCommand(message)) return 0;
  GdkWindow* w = GetWindowLongPtrW(hwnd, GWLP_USERDATA) ? Find(hwnd) : nullptr;
  if (message == kDiscardChanges) {  // the answer of the question it is posted to
    if (w && w->role == "close") {
      AnswerClose(*w, true);
    } else {
      AnswerQuit(true);
    }
    return 0;
  }
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // no background brush: WM_PAINT paints everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      Paint(hwnd, BeginPaint(hwnd, &paint), w);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(hwnd, reinterpret_cast<HDC>(wParam), w);
      return 0;
    case WM_WINDOWPOSCHANGED:
      if (w) GdkLearn(*w);
      if (w && g_slowMoves && !(reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_NOMOVE)) {
        const bool held = GetAncestor(hwnd, GA_PARENT) != GetDesktopWindow();
        std::printf("moved hwnd=%llx held=%d\n",
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), held);
        std::fflush(stdout);
        if (held) Sleep(300);
      }
      break;
    case WM_SIZE:
      if (w && w->role == "single" && g_panes.size() == 2) {
        const int width = LOWORD(lParam), height = HIWORD(lParam);
        MoveWindow(g_panes[0], 0, 0, 180, height, TRUE);
        MoveWindow(g_panes[1], width - 240, 0, 240, height, TRUE);
      }
      break;
    case WM_KEYDOWN:
      if (wParam == VK_TAB && w && (w->role == "image" || w->role == "empty")) {
        ToggleDocks();
        return 0;
      }
      break;
    case WM_CLOSE:
      if (w) {
        OnClose(*w);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Register(const wchar_t* name) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.cbWndExtra = sizeof(LONG_PTR);
  windowClass.lpfnWndProc = GimpProc;
  windowClass.hInstance = g_instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = name;  // no CS_HREDRAW, CS_VREDRAW or background brush, as GDK
  RegisterClassExW(&windowClass);
}

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Runs the plug-in as GIMP does at start-up: "-query", waiting until it is done.
void QueryPlugin() {
  const std::string bin = OwnFolder();
  const std::string prefix = bin.substr(0, bin.find_last_of('\\', bin.size() - 2) + 1);
  const std::string plugin = prefix + "lib\\gimp\\2.0\\plug-ins\\vellamy.exe";
  // GIMP's plug-ins find libgimp in GIMP's bin folder.
  char oldPath[8192] = {};
  GetEnvironmentVariableA("PATH", oldPath, sizeof(oldPath));
  SetEnvironmentVariableA("PATH", (bin + ";" + oldPath).c_str());
  std::string commandLine = "\"" + plugin + "\" -gimp 3 4 -query 0";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(plugin.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("plugin not started error=%lu\n", GetLastError());
    std::fflush(stdout);
    return;
  }
  // GIMP waits for the query however long it takes (under emulation, minutes), running its
  // main loop meanwhile: the splash keeps painting.
  const ULONGLONG end = GetTickCount64() + 600000;
  while (GetTickCount64() < end && MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100,
                                                             QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("plugin exit=%lu\n", code);
  std::fflush(stdout);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

GdkWindow* ShowSplash() {
  const int width = 400, height = 260;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  GdkWindow* splash = Open("splash", L"Querying new plug-ins", {x, y, x + width, y + height}, false,
                           GdkHint::Splash);
  if (!splash) return nullptr;
  GdkShow(*splash);  // centred on the monitor by GDK
  UpdateWindow(splash->hwnd);
  Say("splash", splash->hwnd);
  std::printf("%s", PlaceLine(*splash).c_str());
  return splash;
}

void OpenWindows(int images) {
  const Version& v = *g_version;
  if (v.singleWindow) {
    GdkWindow* w =
        OpenManaged("single", "single", g_emptyTitle, {100, 80, 1100, 780}, GdkHint::Normal);
    if (!w) return;
    for (int i = 0; i < 2; ++i) {  // the toolbox and a dock, as widgets inside the window
      HWND pane = CreateWindowExW(0, L"gdkWindowChild", L"",
                                  WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE, 0, 0,
                                  10, 10, w->hwnd, nullptr, g_instance, nullptr);
      SetWindowLongPtrW(pane, GWLP_USERDATA, 2);
      SetWindowLongPtrW(pane, 0, i == 0 ? 1 : 0);
      g_panes.push_back(pane);
    }
    RECT c;
    GetClientRect(w->hwnd, &c);
    SendMessageW(w->hwnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    Say("main", w->hwnd);
    for (int i = 0; i < images; ++i) OpenImage();
    return;
  }
  const GdkHint dockHint = v.utilityHint ? GdkHint::Utility : GdkHint::Normal;
  const wchar_t* toolboxTitle = g_french && v.utilityHint ? L"Bo\u00eete \u00e0 outils" : v.toolbox;
  GdkWindow* toolbox =
      OpenManaged("toolbox", "toolbox", toolboxTitle, {20, 60, 220, 600}, dockHint);
  if (!toolbox) return;
  Say("main", toolbox->hwnd);
  const RECT docks[] = {{1010, 60, 1250, 500}, {1010, 560, 1250, 940}};
  const wchar_t* dockTitles[] = {L"Layers, Channels, Paths, Undo", L"Brushes, Patterns, Gradients"};
  if (g_french) {
    dockTitles[0] = L"Calques, Canaux, Chemins, Annulation";
    dockTitles[1] = L"Brosses, Motifs, D\u00e9grad\u00e9s";
  }
  for (int i = 0; i < 2; ++i) {
    GdkWindow* dock =
        OpenManaged("dock", "dock" + std::to_string(i + 1), dockTitles[i], docks[i], dockHint);
    if (dock) Say("dock", dock->hwnd);
  }
  if (v.emptyImageWindow) {
    GdkWindow* empty = Open("empty", g_emptyTitle, {240, 80, 880, 560}, false, GdkHint::Normal);
    if (empty) {
      GdkShow(*empty);
      Say("empty", empty->hwnd);
    }
  }
  for (int i = 0; i < images; ++i) OpenImage();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  int images = 2;
  bool plugin = true;
  bool farImages = false;
  bool endEarly = false;
  bool plugInRun = false;
  for (int i = 1; i < __argc; ++i) {
    const char* arg = __argv[i];
    if (std::strncmp(arg, "--images=", 9) == 0) images = std::atoi(arg + 9);
    if (std::strcmp(arg, "--no-plugin") == 0) plugin = false;
    if (std::strcmp(arg, "--plug-in") == 0) plugInRun = true;
    if (std::strcmp(arg, "--far") == 0) farImages = true;
    if (std::strcmp(arg, "--end-early") == 0) endEarly = true;
    if (std::strcmp(arg, "--dirty") == 0) g_dirty = true;
    if (std::strcmp(arg, "--slow-moves") == 0) g_slowMoves = true;
    if (std::strcmp(arg, "--lang=fr") == 0) g_french = true;
    if (std::strncmp(arg, "--report=", 9) == 0) g_reportFile = arg + 9;
    if (std::strncmp(arg, "--version=", 10) == 0) {
      for (const Version& v : kVersions) {
        if (std::strcmp(arg + 10, v.name) == 0) g_version = &v;
      }
    }
  }
  if (g_french) g_emptyTitle = L"\u00c9diteur d\u2019image GIMP";
  std::printf("gimp version=%s\n", g_version->name);
  std::fflush(stdout);
  g_sessionFile = OwnFolder() + "sessionrc";
  LoadSession();

  Register(L"gdkWindowToplevel");
  Register(L"gdkWindowChild");
  Register(L"gdkWindowTemp");
  Register(L"gdkWindowTempShadow");
  if (plugInRun) {
    GdkWindow* dialog =
        Open("plug-in", L"Export Image as PNG", {400, 300, 760, 560}, false, GdkHint::Dialog);
    if (!dialog) return 5;
    GdkShow(*dialog);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) DispatchMessageW(&message);
    return 0;
  }
  GdkWindow* splash = ShowSplash();
  if (plugin) QueryPlugin();
  if (endEarly) return 4;
  // The next start-up step, on the splash, and a turn of GIMP's main loop. Seen under Wine 8: a
  // thread that made windows before a global hook was set sees the hook only once it has taken
  // a message from its queue; GIMP's main loop takes many between the query and its windows.
  if (splash) {
    SetWindowTextW(splash->hwnd, L"Restoring session");
    InvalidateRect(splash->hwnd, nullptr, FALSE);
    PostMessageW(splash->hwnd, WM_NULL, 0, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

  OpenWindows(images);
  if (splash) {
    DestroyWindow(splash->hwnd);
    splash->role = "gone";
  }
  if (farImages) {
    // Right of and below a 1280 x 1024 screen, clear of the backdrop's scroll bars: placed
    // directly, as no GDK window is, so that nothing clamps them.
    const POINT places[] = {{1320, 100}, {100, 1060}};
    for (const POINT& at : places) {
      HWND image = CreateWindowExW(0, L"gdkWindowToplevel", at.x > 1000 ? L"Right" : L"Below",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE, at.x, at.y, 300, 300, nullptr,
                                   nullptr, instance, nullptr);
      Say("image", image);
    }
  }
  Say("popup", OpenTemp(L"gdkWindowTempShadow", {300, 300, 420, 320}));
  Say("tip", OpenTemp(L"gdkWindowTemp", {60, 640, 200, 660}));
  std::printf("ready\n");
  std::fflush(stdout);
  Report();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  std::printf("closed\n");
  std::fflush(stdout);
  return 0;
}
