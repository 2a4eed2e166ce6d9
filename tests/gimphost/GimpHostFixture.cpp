#include "GimpHostFixture.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

std::string TitleOf(HWND w) {
  char title[256] = {};
  GetWindowTextA(w, title, sizeof(title));
  return title;
}

DWORD ProcessOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A 1x1 RGB image of one layer in XCF's first version: GIMP opens it without any plug-in.
void WriteTinyXcf(const std::string& path) {
  const unsigned words[] = {1, 1, 0,  0, 0, 46, 0, 0,   1, 1, 0, 2,   0x78000000,
                            0, 0, 80, 0, 1, 1,  3, 100, 0, 1, 1, 116, 0};
  std::string data = "gimp xcf file";
  data += '\0';
  for (unsigned w : words) {
    // The name's two bytes ("x" and its terminator) sit where a word would.
    if (w == 0x78000000) {
      data += "x";
      data += '\0';
      continue;
    }
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((w >> shift) & 0xFF);
  }
  data += std::string("\x80\x80\x80", 3);
  std::ofstream(path, std::ios::binary) << data;
}

// The key with Ctrl held: GDK reads the modifiers from the keyboard state, which a posted key
// does not change, so the state shared by attached input queues holds Ctrl meanwhile.
void PostCtrlKey(HWND window, UINT vk) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
  SetKeyboardState(keys);
  PostKey(window, vk);
  PumpFor(1000);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
  SetKeyboardState(keys);
  AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
}

// Whether each adopted window's thread still handles messages.
std::string Answers(HWND backdrop) {
  std::string out;
  for (HWND w : Children(backdrop)) {
    DWORD_PTR reply = 0;
    const bool answers = SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &reply);
    out += HandleText(w) + (answers ? " answers\n" : " does not answer\n");
  }
  return out;
}

size_t ColoursOnScreen(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return 0;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, shot);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const auto* pixels = static_cast<const DWORD*>(bits);
  std::set<DWORD> colours(pixels, pixels + static_cast<size_t>(width) * height);
  SelectObject(memory, old);
  DeleteObject(shot);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return colours.size();
}

// Where GIMP's sessionrc puts one factory entry's window: x, y, width, height.
std::vector<int> SessionPlace(const std::string& sessionrc, const std::string& entry) {
  const size_t at = sessionrc.find("(factory-entry \"" + entry + "\")");
  if (at == std::string::npos) return {};
  int x = 0, y = 0, w = 0, h = 0;
  const size_t position = sessionrc.find("(position ", at), size = sessionrc.find("(size ", at);
  if (position == std::string::npos || size == std::string::npos) return {};
  std::sscanf(sessionrc.c_str() + position, "(position %d %d)", &x, &y);
  std::sscanf(sessionrc.c_str() + size, "(size %d %d)", &w, &h);
  return {x, y, w, h};
}

// A window's outer rectangle in the backdrop: x, y, width, height.
std::vector<int> PlaceOf(HWND w, HWND backdrop) {
  const RECT r = ClientRectIn(w, backdrop);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}
