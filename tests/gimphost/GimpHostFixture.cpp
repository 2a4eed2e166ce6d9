#include "GimpHostFixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// An RGB image of one layer in XCF's first version, uncompressed in 64x64 tiles: GIMP opens it
// without any plug-in. Its left half in one colour, its right half in another (0xRRGGBB).
void WriteXcf(const std::string& path, int width, int height, unsigned left, unsigned right) {
  std::string data = "gimp xcf file";
  data += '\0';
  auto word = [&](size_t w) {
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((w >> shift) & 0xFF);
  };
  const int across = (width + 63) / 64, down = (height + 63) / 64;
  const size_t level = 100, tiles = level + 8 + 4 * (static_cast<size_t>(across) * down + 1);
  word(width), word(height), word(0), word(0), word(0);  // RGB, no image properties
  word(46), word(0), word(0);                            // one layer, no channel
  word(width), word(height), word(0), word(2);           // the layer: RGB, named "x"
  data += "x";
  data += '\0';
  word(0), word(0), word(80), word(0);                       // no properties, no mask
  word(width), word(height), word(3), word(level), word(0);  // hierarchy: 3 bytes a pixel
  word(width), word(height);
  std::string pixels;
  for (int ty = 0; ty < down; ++ty) {
    for (int tx = 0; tx < across; ++tx) {
      word(tiles + pixels.size());
      for (int y = ty * 64; y < std::min(height, ty * 64 + 64); ++y) {
        for (int x = tx * 64; x < std::min(width, tx * 64 + 64); ++x) {
          const unsigned colour = x < width / 2 ? left : right;
          for (int shift = 16; shift >= 0; shift -= 8)
            pixels += static_cast<char>((colour >> shift) & 0xFF);
        }
      }
    }
  }
  word(0);
  std::ofstream(path, std::ios::binary) << data << pixels;
}

void WriteTinyXcf(const std::string& path) { WriteXcf(path, 1, 1, 0x808080, 0x808080); }

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

bool AllAnswer(HWND backdrop) {
  const std::string answers = Answers(backdrop);
  return !answers.empty() && answers.find("does not") == std::string::npos;
}

bool Settled(HWND backdrop) {
  auto places = [&] {
    std::vector<std::vector<int>> all;
    for (HWND w : Children(backdrop)) all.push_back(PlaceOf(w, backdrop));
    return all;
  };
  std::vector<std::vector<int>> last = places();
  ULONGLONG since = GetTickCount64();
  return PumpUntil(
      [&] {
        std::vector<std::vector<int>> now = places();
        if (now != last) {
          last = now;
          since = GetTickCount64();
        }
        return GetTickCount64() - since >= 1000;
      },
      20000);
}

std::vector<DWORD> PixelsOnScreen(HWND w) {
  RECT r, shown;
  GetClientRect(w, &r);
  MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const HWND parent = GetAncestor(w, GA_PARENT);
  GetClientRect(parent, &shown);
  MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&shown), 2);
  IntersectRect(&r, &r, &shown);
  // The part on the screen: Wine copies nothing at all from a rectangle that leaves it.
  const RECT desktop = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  IntersectRect(&r, &r, &desktop);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return {};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, shot);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const auto* first = static_cast<const DWORD*>(bits);
  std::vector<DWORD> pixels(first, first + static_cast<size_t>(width) * height);
  SelectObject(memory, old);
  DeleteObject(shot);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

size_t ColoursOnScreen(HWND w) {
  const std::vector<DWORD> pixels = PixelsOnScreen(w);
  return std::set<DWORD>(pixels.begin(), pixels.end()).size();
}

size_t CountColour(const std::vector<DWORD>& pixels, unsigned colour) {
  // Near the colour: GIMP's display conversion may round a channel by a step or two.
  return std::count_if(pixels.begin(), pixels.end(), [&](DWORD p) {
    for (int shift = 0; shift <= 16; shift += 8) {
      if (std::abs(static_cast<int>((p >> shift) & 0xFF) -
                   static_cast<int>((colour >> shift) & 0xFF)) > 3)
        return false;
    }
    return true;
  });
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

std::vector<int> SavedPlaceOf(HWND w) {
  RECT frame, client;
  GetWindowRect(w, &frame);
  GetClientRect(w, &client);
  return {frame.left, frame.top, client.right, client.bottom};
}
