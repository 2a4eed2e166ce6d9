#include "Paint.h"

namespace {

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void Frame(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FrameRect(dc, &r, brush);
  DeleteObject(brush);
}

void Text(HDC dc, int x, int y, const wchar_t* text, COLORREF colour) {
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, x, y, text, lstrlenW(text));
}

void Shape(HDC dc, int kind, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ old = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  switch (kind % 4) {
    case 0:
      Rectangle(dc, r.left, r.top, r.right, r.bottom);
      break;
    case 1:
      Ellipse(dc, r.left, r.top, r.right, r.bottom);
      break;
    case 2: {
      const POINT tri[] = {
          {(r.left + r.right) / 2, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
      Polygon(dc, tri, 3);
      break;
    }
    default:
      RoundRect(dc, r.left, r.top, r.right, r.bottom, 6, 6);
      break;
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, old);
  DeleteObject(brush);
}

// A grid of tool buttons, then the foreground and background colours.
void Toolbox(HDC dc, const RECT& c, COLORREF face, COLORREF ink) {
  const COLORREF tools[] = {RGB(70, 110, 170), RGB(200, 120, 40), RGB(90, 150, 80),
                            RGB(160, 60, 60),  RGB(120, 90, 160), RGB(60, 140, 150)};
  Fill(dc, c, face);
  const int cell = 28, columns = (c.right - 8) / cell;
  for (int i = 0; i < 30 && columns > 0; ++i) {
    const int x = 6 + (i % columns) * cell, y = 8 + (i / columns) * cell;
    const RECT button = {x, y, x + cell - 4, y + cell - 4};
    Frame(dc, button, RGB(150, 150, 150));
    const RECT glyph = {x + 6, y + 6, x + cell - 10, y + cell - 10};
    Shape(dc, i, glyph, tools[i % 6]);
  }
  const int y = 16 + ((30 + columns - 1) / (columns > 0 ? columns : 1)) * cell;
  Fill(dc, {24, y + 14, 56, y + 46}, RGB(255, 255, 255));
  Frame(dc, {24, y + 14, 56, y + 46}, ink);
  Fill(dc, {8, y, 40, y + 32}, RGB(0, 0, 0));
  Text(dc, 8, y + 56, L"Tool Options", ink);
}

// A tab strip and a list of layers, each with its eye and thumbnail.
void Dock(HDC dc, const RECT& c, COLORREF face, COLORREF ink, COLORREF selected) {
  Fill(dc, c, face);
  const wchar_t* tabs[] = {L"Layers", L"Channels", L"Paths", L"Undo"};
  for (int i = 0; i < 4; ++i) {
    const RECT tab = {4 + i * 58, 4, 60 + i * 58, 24};
    Fill(dc, tab, i == 0 ? selected : face);
    Frame(dc, tab, RGB(140, 140, 140));
    Text(dc, tab.left + 5, 7, tabs[i], ink);
  }
  const wchar_t* layers[] = {L"Sun", L"Hills", L"Sky", L"Background"};
  const COLORREF thumbs[] = {RGB(250, 200, 40), RGB(90, 150, 80), RGB(120, 170, 230),
                             RGB(255, 255, 255)};
  for (int i = 0; i < 4; ++i) {
    const int y = 34 + i * 40;
    if (i == 1) Fill(dc, {4, y, c.right - 4, y + 38}, selected);
    Shape(dc, 1, {10, y + 14, 22, y + 24}, ink);
    Fill(dc, {30, y + 4, 60, y + 34}, thumbs[i]);
    Frame(dc, {30, y + 4, 60, y + 34}, RGB(120, 120, 120));
    Text(dc, 70, y + 12, layers[i], ink);
  }
}

// Rulers, the grey surround and a picture on the canvas.
void Image(HDC dc, const RECT& c, COLORREF face, COLORREF ink) {
  Fill(dc, c, face);
  Fill(dc, {0, 0, c.right, 18}, RGB(235, 235, 235));
  Fill(dc, {0, 0, 18, c.bottom}, RGB(235, 235, 235));
  for (int x = 18; x < c.right; x += 10) {
    MoveToEx(dc, x, (x - 18) % 50 ? 12 : 4, nullptr);
    LineTo(dc, x, 18);
  }
  const RECT surround = {18, 18, c.right, c.bottom};
  Fill(dc, surround, RGB(120, 120, 120));
  RECT canvas = {34, 34, c.right - 16, c.bottom - 16};
  if (canvas.right <= canvas.left || canvas.bottom <= canvas.top) return;
  const int h = canvas.bottom - canvas.top;
  for (int i = 0; i < 8; ++i) {  // the sky, lighter towards the horizon
    const RECT band = {canvas.left, canvas.top + i * h / 12, canvas.right,
                       canvas.top + (i + 1) * h / 12};
    Fill(dc, band, RGB(90 + i * 12, 140 + i * 10, 220 + i * 4));
  }
  Fill(dc, {canvas.left, canvas.top + 8 * h / 12, canvas.right, canvas.bottom}, RGB(90, 150, 80));
  const int w = canvas.right - canvas.left;
  Shape(dc, 1,
        {canvas.left + w / 10 - 10, canvas.top + 8 * h / 12 - h / 6, canvas.left + w / 2,
         canvas.top + 8 * h / 12 + h / 6},
        RGB(110, 170, 90));
  Shape(dc, 1,
        {canvas.left + 2 * w / 3, canvas.top + h / 8, canvas.left + 2 * w / 3 + h / 5,
         canvas.top + h / 8 + h / 5},
        RGB(250, 200, 40));
  Frame(dc, canvas, ink);
}

}  // namespace

void PaintGimpWindow(HWND window, HDC dc, const std::string& role, bool dark) {
  RECT c;
  GetClientRect(window, &c);
  const COLORREF face = dark ? RGB(69, 69, 69) : RGB(220, 218, 213);
  const COLORREF ink = dark ? RGB(220, 220, 220) : RGB(0, 0, 0);
  const COLORREF selected = dark ? RGB(90, 100, 120) : RGB(134, 171, 217);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  if (role == "toolbox") {
    Toolbox(dc, c, face, ink);
  } else if (role == "dock") {
    Dock(dc, c, face, ink, selected);
  } else if (role == "image" || role == "canvas") {
    Image(dc, c, dark ? RGB(50, 50, 50) : RGB(200, 200, 200), RGB(0, 0, 0));
  } else if (role == "splash") {
    for (int i = 0; i < 16; ++i) {
      Fill(dc, {c.left, c.top + i * c.bottom / 16, c.right, c.top + (i + 1) * c.bottom / 16},
           RGB(40 + i * 6, 60 + i * 5, 90 + i * 6));
    }
    wchar_t step[64] = {};
    GetWindowTextW(window, step, 64);
    Text(dc, 20, c.bottom - 40, step, RGB(255, 255, 255));
  } else if (role == "dialog") {
    Fill(dc, c, face);
    const wchar_t* pages[] = {L"Environment",       L"Interface",     L"Theme",
                              L"Tool Options",      L"Default Image", L"Display",
                              L"Window Management", L"Folders"};
    Fill(dc, {8, 8, 170, c.bottom - 44}, dark ? RGB(55, 55, 55) : RGB(255, 255, 255));
    for (int i = 0; i < 8; ++i) Text(dc, 16, 14 + i * 20, pages[i], ink);
    Text(dc, 186, 14, L"Window Management", ink);
    Frame(dc, {c.right - 170, c.bottom - 36, c.right - 90, c.bottom - 10}, ink);
    Text(dc, c.right - 150, c.bottom - 30, L"Cancel", ink);
    Frame(dc, {c.right - 84, c.bottom - 36, c.right - 8, c.bottom - 10}, ink);
    Text(dc, c.right - 58, c.bottom - 30, L"OK", ink);
  } else {  // the empty image window
    Fill(dc, c, dark ? RGB(60, 60, 60) : RGB(200, 200, 200));
    Text(dc, c.right / 2 - 90, c.bottom / 2, L"Drop image files here to open them", ink);
  }
  SelectObject(dc, oldFont);
}
