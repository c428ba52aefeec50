#pragma once
// Small helpers for the drawing tests: bitmaps of each pixel format and
// readers of what was drawn.
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"

namespace gditest {

inline std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat pf, int w, int h) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf);
  b->SetSize(w, h);
  return b;
}

// Columns/rows of the pixels that differ from Background, as "x,y" list.
inline std::vector<std::pair<int, int>> Inked(const TBitmap& b, TColor Background) {
  std::vector<std::pair<int, int>> out;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      if (b.GetPixelColor(x, y) != Background) out.emplace_back(x, y);
  return out;
}

struct Box {
  int Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;  // inclusive
  bool Empty() const { return Right < Left; }
  int Width() const { return Empty() ? 0 : Right - Left + 1; }
  int Height() const { return Empty() ? 0 : Bottom - Top + 1; }
};

inline Box InkBox(const TBitmap& b, TColor Background) {
  Box r;
  for (auto [x, y] : Inked(b, Background)) {
    r.Left = std::min(r.Left, x);
    r.Right = std::max(r.Right, x);
    r.Top = std::min(r.Top, y);
    r.Bottom = std::max(r.Bottom, y);
  }
  return r;
}

// The bitmap's pixels as one string per row ('#' = not Background).
inline std::vector<std::string> Picture(const TBitmap& b, TColor Background) {
  std::vector<std::string> rows;
  for (int y = 0; y < b.GetHeight(); ++y) {
    std::string r;
    for (int x = 0; x < b.GetWidth(); ++x) r += b.GetPixelColor(x, y) == Background ? '.' : '#';
    rows.push_back(r);
  }
  return rows;
}

inline const char* FormatName(TPixelFormat pf) {
  switch (pf) {
    case pf1bit: return "pf1bit";
    case pf8bit: return "pf8bit";
    case pf24bit: return "pf24bit";
    case pf32bit: return "pf32bit";
    default: return "other";
  }
}

}  // namespace gditest
