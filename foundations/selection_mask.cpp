#include "foundations/selection_mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"
#include "foundations/bit_rows.h"

namespace {

// Mask rows are padded to 32 bits.
inline int64_t RowLenOf(int64_t Width, int32_t Bpp) { return IEBitmapRowLen(Width, Bpp, 32); }

// Sets or clears bits X1..X2 of a 1-bit row, whole bytes at a time.
void FillBitRun(uint8_t* Row, int32_t X1, int32_t X2, bool On) {
  int32_t x = X1;
  while (x <= X2 && (x & 7)) IESetBit(Row, x++, On);
  const int32_t bytes = (X2 + 1 - x) / 8;
  if (bytes > 0) {
    std::memset(Row + (x >> 3), On ? 0xFF : 0, size_t(bytes));
    x += bytes * 8;
  }
  while (x <= X2) IESetBit(Row, x++, On);
}

}  // namespace

TIEMask::TIEMask() = default;

TIEMask::~TIEMask() { FreeBits(); }

bool TIEMask::AllocateBits(int32_t Width, int32_t Height, int32_t BitsPerPixel) {
  FreeBits();
  FX1 = FY1 = INT32_MAX;
  FX2 = FY2 = 0;
  FFull = false;
  if (Width < 1 || Height < 1 || (BitsPerPixel != 1 && BitsPerPixel != 8)) return false;
  const int64_t rowLen = RowLenOf(Width, BitsPerPixel);
  const int64_t size = rowLen * Height;
  if (rowLen > INT32_MAX || size > (int64_t(1) << 40)) return false;
  try {
    FBits.assign(size_t(size), 0);
  } catch (const std::bad_alloc&) {
    FBits.clear();
    return false;
  }
  FWidth = Width;
  FHeight = Height;
  FBitsPerPixel = BitsPerPixel;
  FRowLen = int32_t(rowLen);
  return true;
}

void TIEMask::FreeBits() {
  std::vector<uint8_t>().swap(FScaled);
  FScaledWidth = FScaledHeight = FScaledRowLen = 0;
  std::vector<uint8_t>().swap(FBits);
  FWidth = FHeight = FBitsPerPixel = FRowLen = 0;
}

uint8_t* TIEMask::GetScanline(int32_t Row) {
  if (FBits.empty() || Row < 0 || Row >= FHeight) return nullptr;
  return FBits.data() + size_t(FRowLen) * size_t(FHeight - Row - 1);
}

void TIEMask::Resize(int32_t NewWidth, int32_t NewHeight) {
  if (FBits.empty() || NewWidth < 1 || NewHeight < 1) return;
  const int64_t newRowLen = RowLenOf(NewWidth, FBitsPerPixel);
  std::vector<uint8_t> bits;
  try {
    bits.assign(size_t(newRowLen * NewHeight), 0);
  } catch (const std::bad_alloc&) {
    return;
  }
  const int32_t rows = std::min(FHeight, NewHeight);
  const int32_t copyW = std::min(FWidth, NewWidth);
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* src = GetScanline(y);
    uint8_t* dst = bits.data() + size_t(newRowLen) * size_t(NewHeight - y - 1);
    if (FBitsPerPixel == 8) {
      std::memcpy(dst, src, size_t(copyW));
    } else {
      // Whole bytes, then the last bits up to the narrower width only, so no
      // stale value lies beyond the new width.
      std::memcpy(dst, src, size_t(copyW / 8));
      for (int32_t x = copyW / 8 * 8; x < copyW; ++x) IESetBit(dst, x, IEGetBit(src, x));
    }
  }
  FBits.swap(bits);
  FWidth = NewWidth;
  FHeight = NewHeight;
  FRowLen = int32_t(newRowLen);
  std::vector<uint8_t>().swap(FScaled);
  FScaledWidth = FScaledHeight = FScaledRowLen = 0;
  if (!IsEmpty()) ClampBox();
}

std::unique_ptr<TIEMask> TIEMask::CreateResized(int32_t NewWidth, int32_t NewHeight) {
  auto result = std::make_unique<TIEMask>();
  if (FBits.empty() || !result->AllocateBits(NewWidth, NewHeight, FBitsPerPixel)) return result;
  const double rx = double(FWidth) / NewWidth, ry = double(FHeight) / NewHeight;
  std::vector<int32_t> srcX(NewWidth);
  for (int32_t x = 0; x < NewWidth; ++x) srcX[x] = std::min(int32_t(std::trunc(x * rx)), FWidth - 1);
  for (int32_t y = 0; y < NewHeight; ++y) {
    const uint8_t* src = GetScanline(std::min(int32_t(std::trunc(y * ry)), FHeight - 1));
    uint8_t* dst = result->GetScanline(y);
    if (FBitsPerPixel == 8) {
      for (int32_t x = 0; x < NewWidth; ++x) dst[x] = src[srcX[x]];
    } else {
      for (int32_t x = 0; x < NewWidth; ++x)
        if (IEGetBit(src, srcX[x])) IESetBit(dst, x, true);
    }
  }
  if (!IsEmpty()) {
    result->FX1 = int32_t(std::trunc(FX1 / rx));
    result->FY1 = int32_t(std::trunc(FY1 / ry));
    result->FX2 = int32_t(std::trunc(FX2 / rx));
    result->FY2 = int32_t(std::trunc(FY2 / ry));
    result->ClampBox();
  }
  result->FFull = FFull;
  return result;
}

int32_t TIEMask::GetPixel(int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || FBits.empty()) return 0;
  const uint8_t* row = GetScanline(Y);
  return FBitsPerPixel == 8 ? row[X] : (IEGetBit(row, X) ? 1 : 0);
}

void TIEMask::SetPixel(int32_t X, int32_t Y, int32_t Value) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || FBits.empty()) return;
  if (Value != 0) ExtendBox(X, Y);
  if (FFull && !(FBitsPerPixel == 8 ? (Value & 0xFF) == 255 : Value != 0)) FFull = false;
  uint8_t* row = GetScanline(Y);
  if (FBitsPerPixel == 8)
    row[X] = uint8_t(Value);
  else
    IESetBit(row, X, Value != 0);
}

int32_t TIEMask::FillSpan(int32_t Value, int32_t X1, int32_t X2, int32_t Y) {
  if (FBits.empty() || Y < 0 || Y >= FHeight) return 0;
  X1 = std::max(X1, 0);
  X2 = std::min(X2, FWidth - 1);
  if (X2 < X1) return 0;
  if (FFull && !(FBitsPerPixel == 8 ? (Value & 0xFF) == 255 : Value != 0)) FFull = false;
  uint8_t* row = GetScanline(Y);
  if (FBitsPerPixel == 8)
    std::memset(row + X1, uint8_t(Value), size_t(X2 - X1 + 1));
  else
    FillBitRun(row, X1, X2, Value != 0);
  return X2 - X1 + 1;
}

void TIEMask::Fill(int32_t Value) {
  if (!FBits.empty()) {
    const uint8_t b = FBitsPerPixel == 1 ? (Value != 0 ? 0xFF : 0) : uint8_t(Value);
    std::memset(FBits.data(), b, FBits.size());
  }
  FFull = FBitsPerPixel == 1 ? Value != 0 : (Value & 0xFF) == 255;
}

void TIEMask::Clear() {
  Fill(0);
  FX1 = FY1 = INT32_MAX;
  FX2 = FY2 = 0;
}

void TIEMask::SetBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  FX1 = X1;
  FY1 = Y1;
  FX2 = X2;
  FY2 = Y2;
  if (!IsEmpty()) ClampBox();
}

void TIEMask::ExtendBox(int32_t X, int32_t Y) {
  FX1 = std::min(FX1, X);
  FY1 = std::min(FY1, Y);
  FX2 = std::max(FX2, X);
  FY2 = std::max(FY2, Y);
  ClampBox();
}

void TIEMask::ClampBox() {
  const int32_t mx = std::max(FWidth - 1, 0), my = std::max(FHeight - 1, 0);
  FX1 = std::clamp(FX1, 0, mx);
  FY1 = std::clamp(FY1, 0, my);
  FX2 = std::clamp(FX2, 0, mx);
  FY2 = std::clamp(FY2, 0, my);
}

void TIEMask::UpdateBoundingBox() {
  FX1 = FY1 = INT32_MAX;
  FX2 = FY2 = 0;
  for (int32_t y = 0; y < FHeight; ++y) {
    const uint8_t* row = GetScanline(y);
    int32_t first = -1, last = -1;
    if (FBitsPerPixel == 8) {
      for (int32_t x = 0; x < FWidth; ++x)
        if (row[x]) {
          if (first < 0) first = x;
          last = x;
        }
    } else {
      for (int32_t x = 0; x < FWidth; ++x) {
        if ((x & 7) == 0 && row[x >> 3] == 0) {
          x += 7;
          continue;
        }
        if (IEGetBit(row, x)) {
          if (first < 0) first = x;
          last = x;
        }
      }
    }
    if (first >= 0) {
      ExtendBox(first, y);
      ExtendBox(last, y);
    }
  }
}

void TIEMask::UpdateFullFlag() {
  FFull = !FBits.empty();
  for (int32_t y = 0; y < FHeight && FFull; ++y) {
    const uint8_t* row = GetScanline(y);
    if (FBitsPerPixel == 8) {
      for (int32_t x = 0; x < FWidth; ++x)
        if (row[x] != 255) {
          FFull = false;
          break;
        }
    } else {
      const int32_t whole = FWidth / 8;
      for (int32_t i = 0; i < whole && FFull; ++i)
        if (row[i] != 255) FFull = false;
      for (int32_t x = whole * 8; x < FWidth && FFull; ++x)
        if (!IEGetBit(row, x)) FFull = false;
    }
  }
}

// ---------------------------------------------------------------------------
// Polygons

namespace {

struct TEdge {
  int32_t UpperY, LowerY;
  int64_t UpperX, DX, DY;
  // x at row UpperY + K, stepping dx / dy per row with a doubled error term
  // that moves one more pixel whenever it leaves -dy .. dy.
  // 128-bit arithmetic: with coordinates anywhere in the 32-bit range the
  // error term reaches 2^65.
  int64_t XAt(int64_t K) const {
    const __int128 q = DX / DY, r = DX % DY;
    __int128 x = UpperX + K * q;
    const __int128 e = 2 * K * r;  // accumulated error before corrections
    if (r > 0 && e > DY) x += (e + DY - 1) / (2 * DY);
    else if (r < 0 && -e > DY) x -= (-e + DY - 1) / (2 * DY);
    return int64_t(x);
  }
};

}  // namespace

void TIEMask::FillPolygon(int32_t Value, const TPoint* Points, int32_t Count) {
  if (!Points || Count < 1 || FBits.empty()) return;
  const int32_t oldX1 = FX1, oldY1 = FY1, oldX2 = FX2, oldY2 = FY2;
  if (Value != 0) {
    for (int32_t i = 0; i < Count; ++i) {
      FX1 = std::min(FX1, Points[i].X);
      FY1 = std::min(FY1, Points[i].Y);
      if (Points[i].X > FX2) FX2 = Points[i].X - 1;
      if (Points[i].Y > FY2) FY2 = Points[i].Y - 1;
    }
    ClampBox();
  }
  std::vector<TEdge> edges;
  int32_t minY = INT32_MAX, maxY = INT32_MIN;
  for (int32_t i = 0; i < Count; ++i) {
    const TPoint& a = Points[i];
    const TPoint& b = Points[(i + 1) % Count];
    minY = std::min(minY, a.Y);
    maxY = std::max(maxY, a.Y);
    if (a.Y == b.Y) continue;
    const TPoint& up = a.Y < b.Y ? a : b;
    const TPoint& lo = a.Y < b.Y ? b : a;
    edges.push_back(TEdge{up.Y, lo.Y, up.X, int64_t(lo.X) - up.X, int64_t(lo.Y) - up.Y});
  }
  std::sort(edges.begin(), edges.end(),
            [](const TEdge& l, const TEdge& r) { return l.UpperY < r.UpperY; });
  int64_t written = 0;
  // Rows outside the mask cannot receive anything: start at the first row
  // inside; the edges' positions there are computed directly.
  const int32_t firstRow = std::max(minY, 0);
  const int32_t endRow = std::min(maxY, FHeight);  // the last vertex row is never filled
  std::vector<const TEdge*> active;
  std::vector<std::pair<int64_t, const TEdge*>> xs;
  size_t next = 0;
  for (int32_t y = firstRow; y < endRow; ++y) {
    active.erase(std::remove_if(active.begin(), active.end(),
                                [y](const TEdge* e) { return e->LowerY <= y; }),
                 active.end());
    while (next < edges.size() && edges[next].UpperY <= y) {
      if (edges[next].LowerY > y) active.push_back(&edges[next]);
      ++next;
    }
    xs.clear();
    for (const TEdge* e : active) xs.emplace_back(e->XAt(int64_t(y) - e->UpperY), e);
    std::sort(xs.begin(), xs.end(), [](const auto& l, const auto& r) {
      if (l.first != r.first) return l.first < r.first;
      return __int128(l.second->DX) * r.second->DY < __int128(r.second->DX) * l.second->DY;
    });
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const int64_t x1 = std::max<int64_t>(xs[i].first, INT32_MIN);
      const int64_t x2 = std::min<int64_t>(xs[i + 1].first - 1, INT32_MAX);
      if (x2 >= x1) written += FillSpan(Value, int32_t(x1), int32_t(x2), y);
    }
  }
  if (written == 0) {
    // A polygon that covers no pixel leaves the selection's box as it was.
    FX1 = oldX1;
    FY1 = oldY1;
    FX2 = oldX2;
    FY2 = oldY2;
  }
}

void TIEMask::FillPolygons(int32_t Value, const TPoint* Points, int32_t Count) {
  if (!Points) return;
  int32_t start = 0;
  for (int32_t i = 0; i <= Count; ++i) {
    if (i == Count || Points[i].X == IEPolygonSeparator) {
      if (i > start) FillPolygon(Value, Points + start, i - start);
      start = i + 1;
    }
  }
  UpdateFullFlag();
}

// ---------------------------------------------------------------------------
// Moving, inverting, intersecting

void TIEMask::Translate(int32_t& DX, int32_t& DY, bool CutBorders) {
  if (FBits.empty()) return;
  if (IsEmpty()) UpdateBoundingBox();
  if (IsEmpty()) return;
  int32_t x1 = FX1, y1 = FY1, x2 = FX2, y2 = FY2;
  if (CutBorders) {
    if (DX == 0 && DY == 0) return;
    const int64_t cx1 = std::max<int64_t>(x1, -int64_t(DX));
    const int64_t cy1 = std::max<int64_t>(y1, -int64_t(DY));
    const int64_t cx2 = std::min<int64_t>(x2, int64_t(FWidth) - 1 - DX);
    const int64_t cy2 = std::min<int64_t>(y2, int64_t(FHeight) - 1 - DY);
    if (cx1 > cx2 || cy1 > cy2) {
      // Everything moves out of the mask.
      Clear();
      return;
    }
    x1 = int32_t(cx1);
    y1 = int32_t(cy1);
    x2 = int32_t(cx2);
    y2 = int32_t(cy2);
  } else {
    if (int64_t(x1) + DX < 0) DX = -x1;
    if (int64_t(x2) + DX > FWidth - 1) DX = FWidth - 1 - x2;
    if (int64_t(y1) + DY < 0) DY = -y1;
    if (int64_t(y2) + DY > FHeight - 1) DY = FHeight - 1 - y2;
    if (DX == 0 && DY == 0) return;
  }
  const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
  if (FBitsPerPixel == 1) {
    const int64_t pieceRow = (int64_t(w) + 7) / 8;
    std::vector<uint8_t> piece(size_t(pieceRow * h), 0);
    for (int32_t y = 0; y < h; ++y)
      IECopyBits(piece.data() + pieceRow * y, GetScanline(y1 + y), 0, x1, w, FRowLen);
    std::fill(FBits.begin(), FBits.end(), 0);
    for (int32_t y = 0; y < h; ++y)
      IECopyBits(GetScanline(y1 + y + DY), piece.data() + pieceRow * y, int64_t(x1) + DX, 0, w,
                 pieceRow);
  } else {
    std::vector<uint8_t> copy(FBits);
    std::fill(FBits.begin(), FBits.end(), 0);
    for (int32_t y = y1; y <= y2; ++y) {
      const uint8_t* src = copy.data() + size_t(FRowLen) * size_t(FHeight - y - 1);
      std::memcpy(GetScanline(y + DY) + x1 + DX, src + x1, size_t(w));
    }
  }
  FX1 = x1 + DX;
  FY1 = y1 + DY;
  FX2 = x2 + DX;
  FY2 = y2 + DY;
  ClampBox();
  FFull = false;
}

void TIEMask::Invert(int32_t Value) {
  if (IsEmpty() || FBits.empty()) return;
  FFull = false;
  for (int32_t y = 0; y < FHeight; ++y) {
    uint8_t* row = GetScanline(y);
    if (FBitsPerPixel == 8) {
      for (int32_t x = 0; x < FWidth; ++x) row[x] = row[x] ? 0 : uint8_t(Value);
    } else if (Value != 0) {
      for (int32_t i = 0; i < FRowLen; ++i) row[i] = uint8_t(~row[i]);
    } else {
      std::memset(row, 0, size_t(FRowLen));
    }
  }
  if (FBitsPerPixel == 1 && FWidth % 32 != 0) {
    // Keep the row padding clear.
    for (int32_t y = 0; y < FHeight; ++y) {
      uint8_t* row = GetScanline(y);
      for (int32_t x = FWidth; x < FRowLen * 8; ++x) IESetBit(row, x, false);
    }
  }
  UpdateBoundingBox();
}

void TIEMask::IntersectBitmap(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool RecalcBox) {
  if (!Bitmap || FBits.empty() || Bitmap->IsEmpty()) return;
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  if (pf != ie8g && pf != ie8p) return;
  const int32_t bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
  for (int32_t by = 0; by < bh; ++by) {
    const int64_t my = int64_t(Y) + by;
    if (my < 0 || my >= FHeight) continue;
    const uint8_t* src = Bitmap->GetScanline(by);
    uint8_t* row = GetScanline(int32_t(my));
    for (int32_t bx = 0; bx < bw; ++bx) {
      const int64_t mx = int64_t(X) + bx;
      if (mx < 0 || mx >= FWidth) continue;
      if (FBitsPerPixel == 1) {
        if (src[bx] == 0) IESetBit(row, int32_t(mx), false);
      } else {
        row[mx] = std::min(row[mx], src[bx]);
      }
    }
  }
  if (RecalcBox) UpdateBoundingBox();
  UpdateFullFlag();
}

// ---------------------------------------------------------------------------
// Applying the mask to images

namespace {

int32_t CopyBytesPerPixel(TIEPixelFormat F) {
  switch (F) {
    case ie8g:
    case ie8p: return 1;
    case ie16g: return 2;
    case ie24RGB:
    case ieCIELab: return 3;
    case ie32f:
    case ieCMYK: return 4;
    case ieRGB48: return 6;
    default: return 0;  // ie1g is handled bit by bit; other formats are not copied
  }
}

}  // namespace

void TIEMask::CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBoxOrigin,
                         bool SourceAtBoxOrigin, bool CopyAlpha) {
  if (!Dest || !Source || Dest == Source || IsEmpty() || FBits.empty()) return;
  if (Dest->IsEmpty() || Source->IsEmpty()) return;
  const int32_t sx = SourceAtBoxOrigin ? FX1 : 0, sy = SourceAtBoxOrigin ? FY1 : 0;
  const int32_t dx = DestAtBoxOrigin ? FX1 : 0, dy = DestAtBoxOrigin ? FY1 : 0;
  const TIEPixelFormat sf = Source->GetPixelFormat(), df = Dest->GetPixelFormat();
  const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
  const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sf == df) {
    const int32_t bpp = CopyBytesPerPixel(sf);
    const bool oneBit = sf == ie1g;
    const bool blend = FBitsPerPixel == 8;
    const bool canBlend = sf == ie24RGB || sf == ie8g || sf == ie8p;
    if (oneBit || (!blend && bpp > 0) || (blend && canBlend)) {
      for (int32_t y = FY1; y <= FY2; ++y) {
        const int32_t srow = y - sy, drow = y - dy;
        if (srow < 0 || srow >= sh || drow < 0 || drow >= dh) continue;
        const uint8_t* m = GetScanline(y);
        const uint8_t* s = Source->GetScanline(srow);
        uint8_t* d = Dest->GetScanline(drow);
        for (int32_t x = FX1; x <= FX2; ++x) {
          const int32_t scol = x - sx, dcol = x - dx;
          if (scol < 0 || scol >= sw || dcol < 0 || dcol >= dw) continue;
          const int32_t mv = FBitsPerPixel == 8 ? m[x] : (IEGetBit(m, x) ? 255 : 0);
          if (mv == 0) continue;
          if (oneBit) {
            IESetBit(d, dcol, IEGetBit(s, scol));
          } else if (!blend) {
            std::memcpy(d + size_t(dcol) * bpp, s + size_t(scol) * bpp, size_t(bpp));
          } else {
            for (int32_t c = 0; c < bpp; ++c) {
              const int32_t sv = s[size_t(scol) * bpp + c];
              uint8_t& dv = d[size_t(dcol) * bpp + c];
              dv = uint8_t(dv + (((sv - dv) * mv) >> 8));
            }
          }
        }
      }
    }
  }
  if (CopyAlpha) this->CopyAlpha(Dest, Source, DestAtBoxOrigin, SourceAtBoxOrigin);
}

void TIEMask::CopyAlpha(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBoxOrigin,
                        bool SourceAtBoxOrigin) {
  if (!Dest || !Source || Dest == Source || IsEmpty() || FBits.empty()) return;
  TIEBitmap* dalpha = Dest->GetAlphaChannel();
  if (!dalpha || dalpha->IsEmpty()) return;
  TIEBitmap* salpha = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  const int32_t sx = SourceAtBoxOrigin ? FX1 : 0, sy = SourceAtBoxOrigin ? FY1 : 0;
  const int32_t dx = DestAtBoxOrigin ? FX1 : 0, dy = DestAtBoxOrigin ? FY1 : 0;
  const int32_t dw = dalpha->GetWidth(), dh = dalpha->GetHeight();
  const int32_t sw = salpha ? salpha->GetWidth() : 0, sh = salpha ? salpha->GetHeight() : 0;
  for (int32_t y = FY1; y <= FY2; ++y) {
    const int32_t drow = y - dy, srow = y - sy;
    if (drow < 0 || drow >= dh) continue;
    const uint8_t* m = GetScanline(y);
    const uint8_t* s = (salpha && srow >= 0 && srow < sh) ? salpha->GetScanline(srow) : nullptr;
    uint8_t* d = dalpha->GetScanline(drow);
    for (int32_t x = FX1; x <= FX2; ++x) {
      const int32_t dcol = x - dx, scol = x - sx;
      if (dcol < 0 || dcol >= dw) continue;
      const int32_t mv = FBitsPerPixel == 8 ? m[x] : (IEGetBit(m, x) ? 255 : 0);
      int32_t a = 255;
      if (salpha) a = (s && scol >= 0 && scol < sw) ? s[scol] : 0;
      d[dcol] = mv ? uint8_t(std::min(a, mv)) : 0;
    }
  }
  dalpha->SetFull(false);
}

// ---------------------------------------------------------------------------
// Drawing

void IEScaleMaskRect(int32_t BitsPerPixel, uint8_t* Dest, int32_t DestWidth, int32_t DestHeight,
                     const uint8_t* MaskBits, int32_t MaskWidth, int32_t MaskHeight,
                     int32_t BoxX1, int32_t BoxY1, int32_t BoxX2, int32_t BoxY2, int32_t XSrc,
                     int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight) {
  if (!Dest || !MaskBits || DestWidth < 1 || DestHeight < 1 || SrcWidth < 1 || SrcHeight < 1)
    return;
  const int64_t dRowLen = RowLenOf(DestWidth, BitsPerPixel);
  const int64_t mRowLen = RowLenOf(MaskWidth, BitsPerPixel);
  std::memset(Dest, 0, size_t(dRowLen * DestHeight));
  const int64_t stepX = int64_t(std::trunc(double(SrcWidth) / DestWidth * 16384));
  const int64_t stepY = int64_t(std::trunc(double(SrcHeight) / DestHeight * 16384));
  std::vector<int32_t> cols;
  cols.reserve(size_t(DestWidth));
  for (int32_t x = 0; x < DestWidth; ++x) cols.push_back(int32_t(XSrc + ((x * stepX) >> 14)));
  for (int32_t y = 0; y < DestHeight; ++y) {
    const int64_t my = YSrc + ((y * stepY) >> 14);
    if (my < BoxY1 || my > BoxY2 || my < 0 || my >= MaskHeight) continue;
    const uint8_t* src = MaskBits + mRowLen * (MaskHeight - my - 1);
    uint8_t* dst = Dest + dRowLen * (DestHeight - y - 1);
    for (int32_t x = 0; x < DestWidth; ++x) {
      const int32_t mx = cols[x];
      if (mx < BoxX1 || mx > BoxX2 || mx < 0 || mx >= MaskWidth) continue;
      if (BitsPerPixel == 8)
        dst[x] = src[mx];
      else if (IEGetBit(src, mx))
        IESetBit(dst, x, true);
    }
  }
}

bool TIEMask::ScaleInto(int32_t DestWidth, int32_t DestHeight, int32_t XSrc, int32_t YSrc,
                        int32_t SrcWidth, int32_t SrcHeight) {
  if (FBits.empty() || IsEmpty() || DestWidth < 1 || DestHeight < 1 || SrcWidth < 1 ||
      SrcHeight < 1)
    return false;
  const int64_t rowLen = RowLenOf(DestWidth, FBitsPerPixel);
  if (rowLen * DestHeight > (int64_t(1) << 32)) return false;
  if (FScaledWidth != DestWidth || FScaledHeight != DestHeight) {
    try {
      FScaled.assign(size_t(rowLen * DestHeight), 0);
    } catch (const std::bad_alloc&) {
      FScaled.clear();
      FScaledWidth = FScaledHeight = 0;
      return false;
    }
    FScaledWidth = DestWidth;
    FScaledHeight = DestHeight;
    FScaledRowLen = int32_t(rowLen);
  }
  IEScaleMaskRect(FBitsPerPixel, FScaled.data(), DestWidth, DestHeight, FBits.data(), FWidth,
                  FHeight, FX1, FY1, FX2, FY2, XSrc, YSrc, SrcWidth, SrcHeight);
  return true;
}

int32_t TIEMask::ScaledValue(int32_t X, int32_t Y) const {
  const uint8_t* row = FScaled.data() + size_t(FScaledRowLen) * size_t(FScaledHeight - Y - 1);
  return FBitsPerPixel == 8 ? row[X] : (IEGetBit(row, X) ? 1 : 0);
}

void TIEMask::StretchDrawInvert(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth,
                                int32_t DstHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                                int32_t SrcHeight) {
  if (!Canvas || FBitsPerPixel != 1 || IsEmpty() || FBits.empty()) return;
  if (DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1) return;
  for (int32_t y = 0; y < DstHeight; ++y) {
    const int64_t my = YSrc + int64_t(y) * SrcHeight / DstHeight;
    if (my < 0 || my >= FHeight) continue;
    const uint8_t* row = GetScanline(int32_t(my));
    for (int32_t x = 0; x < DstWidth; ++x) {
      const int64_t mx = XSrc + int64_t(x) * SrcWidth / DstWidth;
      if (mx < 0 || mx >= FWidth || !IEGetBit(row, int32_t(mx))) continue;
      const TColor c = Canvas->GetPixel(XDst + x, YDst + y);
      if (c == TColor(-1)) continue;
      Canvas->SetPixel(XDst + x, YDst + y, TColor(uint32_t(c) ^ 0xFFFFFFu));
    }
  }
}

void TIEMask::DrawOutline(TCanvas* Canvas, const TRect& Dest, const TRect& Source, TColor Color1,
                          TColor Color2, int32_t Phase, TRect* InnerRect) {
  if (!Canvas || IsEmpty() || FBits.empty()) return;
  const int32_t dw = Dest.Right - Dest.Left, dh = Dest.Bottom - Dest.Top;
  const int32_t sw = Source.Right - Source.Left, sh = Source.Bottom - Source.Top;
  if (dw < 1 || dh < 1 || sw < 1 || sh < 1) return;
  if (!ScaleInto(dw, dh, Source.Left, Source.Top, sw, sh)) return;
  // The box in scaled coordinates.
  auto toX = [&](int64_t mx) { return int32_t((mx - Source.Left) * dw / sw); };
  auto toY = [&](int64_t my) { return int32_t((my - Source.Top) * dh / sh); };
  const int32_t bx1 = std::clamp(toX(FX1), 0, dw - 1), by1 = std::clamp(toY(FY1), 0, dh - 1);
  const int32_t bx2 = std::clamp(toX(int64_t(FX2) + 1) - 1, 0, dw - 1);
  const int32_t by2 = std::clamp(toY(int64_t(FY2) + 1) - 1, 0, dh - 1);
  // The edges of the scaled copy are the box's own edges only where the view
  // does not cut the box.
  const bool leftEnds = FX1 >= Source.Left, rightEnds = FX2 < Source.Right;
  const bool topEnds = FY1 >= Source.Top, bottomEnds = FY2 < Source.Bottom;
  for (int32_t y = by1; y <= by2; ++y) {
    for (int32_t x = bx1; x <= bx2; ++x) {
      if (!ScaledValue(x, y)) continue;
      bool edge = (x == 0 && leftEnds) || (x == dw - 1 && rightEnds) || (y == 0 && topEnds) ||
                  (y == dh - 1 && bottomEnds);
      for (int32_t ny = y - 1; ny <= y + 1 && !edge; ++ny)
        for (int32_t nx = x - 1; nx <= x + 1 && !edge; ++nx) {
          if (nx < 0 || ny < 0 || nx >= dw || ny >= dh || (nx == x && ny == y)) continue;
          if (!ScaledValue(nx, ny)) edge = true;
        }
      if (!edge) continue;
      const int32_t cx = Dest.Left + x, cy = Dest.Top + y;
      Canvas->SetPixel(cx, cy, ((cx + cy + Phase) & 4) ? Color1 : Color2);
    }
  }
  if (InnerRect)
    *InnerRect = TRect{Dest.Left + bx1 + 1, Dest.Top + by1 + 1, Dest.Left + bx2 - 1,
                       Dest.Top + by2 - 1};
}

void TIEMask::DrawMarkOuter(TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t DstWidth,
                            int32_t DstHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                            int32_t SrcHeight, int32_t Opacity, TColor Color) {
  if (!Bitmap || Bitmap->GetPixelFormat() != pf24bit || FBits.empty()) return;
  if (DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1) return;
  // A destination starting left of or above the bitmap loses that part, and
  // the source the part that maps onto it.
  auto clipStart = [](int32_t& Dst, int32_t& DstLen, int32_t& Src, int32_t& SrcLen) {
    if (Dst >= 0) return;
    const int32_t cut = int32_t(std::min<int64_t>(-int64_t(Dst), DstLen));
    const int32_t srcCut = IERound(double(cut) * SrcLen / DstLen);
    Src += srcCut;
    SrcLen -= srcCut;
    DstLen -= cut;
    Dst = 0;
  };
  clipStart(XDst, DstWidth, XSrc, SrcWidth);
  clipStart(YDst, DstHeight, YSrc, SrcHeight);
  if (DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1) return;
  const bool haveScaled = ScaleInto(DstWidth, DstHeight, XSrc, YSrc, SrcWidth, SrcHeight);
  const int32_t bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
  const uint32_t rgb = uint32_t(Color) & 0xFFFFFF;
  const int32_t cr = rgb & 0xFF, cg = (rgb >> 8) & 0xFF, cb = (rgb >> 16) & 0xFF;
  const double w = Opacity / 255.0;
  for (int32_t y = 0; y < DstHeight; ++y) {
    const int32_t by = YDst + y;
    if (by >= bh) break;
    uint8_t* row = Bitmap->GetScanLine(by);
    for (int32_t x = 0; x < DstWidth; ++x) {
      const int32_t bx = XDst + x;
      if (bx >= bw) break;
      if (haveScaled && ScaledValue(x, y)) continue;
      uint8_t* p = row + size_t(bx) * 3;
      if (Opacity == -1) {
        if ((bx & 1) == (by & 1)) p[0] = p[1] = p[2] = 97;
      } else {
        p[0] = uint8_t(IERound(w * cb + (1 - w) * p[0]));
        p[1] = uint8_t(IERound(w * cg + (1 - w) * p[1]));
        p[2] = uint8_t(IERound(w * cr + (1 - w) * p[2]));
      }
    }
  }
}
