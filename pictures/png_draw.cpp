#include "pictures/png_draw.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pictures/png_decode.h"
#include "pictures/png_picture.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"

QImage PngDibImage(const TChunkIHDR* Header) {
  const TChunkIHDR* h = Header;
  if (!h || h->ImageData.empty()) return QImage();
  const int w = int(h->Width), ht = int(h->Height);
  const int bits = h->BitmapInfo.bmiHeader.biBitCount;
  QImage::Format format = bits == 1 ? QImage::Format_Mono
                          : bits == 24 ? QImage::Format_BGR888
                                       : QImage::Format_Indexed8;
  QImage img(w, ht, format);
  if (img.isNull()) return img;
  if (bits <= 8) {
    QList<QRgb> table;
    for (int i = 0; i < (1 << bits); ++i) {
      const TRGBQuad& q = h->BitmapInfo.bmiColors[i];
      table.push_back(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    img.setColorTable(table);
  }
  for (int y = 0; y < ht; ++y) {
    const uint8_t* src = h->ImageData.data() + h->BytesPerRow * (int64_t(ht) - 1 - y);
    uint8_t* dst = img.scanLine(y);
    if (bits == 4) {
      for (int x = 0; x < w; ++x) dst[x] = (x & 1) ? (src[x >> 1] & 0xF) : (src[x >> 1] >> 4);
    } else {
      std::memcpy(dst, src, size_t(std::min<int64_t>(h->BytesPerRow, img.bytesPerLine())));
    }
  }
  return img;
}

// ------------------------------------------------------------ transparency
TPNGTransparencyKind TPNGObject::TransparencyKind() const {
  const TChunkIHDR* h = HeaderChunk();
  const TChunktRNS* t = FChunkList.FindChunk<TChunktRNS>();
  switch (h->ColorType) {
    case 0:
    case 2:
      return t ? tkColorKey : tkOpaque;
    case 3:
      if (!t) return tkOpaque;
      return t->ColorKeyOnly ? tkColorKey : tkAlpha;
    case 4:
    case 6:
      return tkAlpha;
    default:
      return tkOpaque;
  }
}

bool TPNGObject::GetTransparent() const { return HeaderPresent() && TransparencyKind() != tkOpaque; }

TColor TPNGObject::KeyColor() const {
  const TChunkIHDR* h = HeaderChunk();
  const TChunktRNS* t = FChunkList.FindChunk<TChunktRNS>();
  if (!t) return 0;
  const auto& a = t->AlphaTable;
  switch (h->ColorType) {
    case 0: {
      // The key sample as the image holds it: 16-bit samples by their high
      // byte, 2-bit samples scaled to the 4-bit values they are kept as.
      const uint32_t sample = (uint32_t(a[0]) << 8) | a[1];
      uint32_t index;
      if (h->BitDepth == 16)
        index = sample >> 8;
      else if (h->BitDepth == 2)
        index = (sample & 3) * 5;
      else
        index = sample & ((1u << h->BitDepth) - 1);
      const uint8_t v = h->BitmapInfo.bmiColors[index & 0xFF].rgbRed;
      return RGB(v, v, v);
    }
    case 2: {
      const int k = h->BitDepth == 16 ? 0 : 1;
      return RGB(FGammaLut[a[size_t(k)]], FGammaLut[a[size_t(2 + k)]], FGammaLut[a[size_t(4 + k)]]);
    }
    case 3: {
      const TChunkPLTE* p = FChunkList.FindChunk<TChunkPLTE>();
      const uint32_t count = t->GetPayloadSize();
      for (uint32_t i = 0; i < count && i < 256; ++i)
        if (a[i] == 0) return (p && int32_t(i) < p->Count) ? PaletteEntry(int32_t(i)) : TColor(0);
      return 0;
    }
    default:
      return 0;
  }
}

TColor TPNGObject::PaletteEntry(int32_t Index) const {
  const TChunkIHDR* h = HeaderChunk();
  const TChunkPLTE* p = FChunkList.FindChunk<TChunkPLTE>();
  if (!p || Index < 0 || Index >= p->Count || Index > 255) throw EPngError(kPngNoPaletteEntry);
  const TRGBQuad& q = h->BitmapInfo.bmiColors[Index];
  return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

std::vector<TRGBQuad> TPNGObject::GetPalette() const {
  const TChunkIHDR* h = HeaderChunk();
  if (!h->HasPalette) return {};
  const uint32_t n = std::min<uint32_t>(h->BitmapInfo.bmiHeader.biClrUsed, 256);
  return std::vector<TRGBQuad>(h->BitmapInfo.bmiColors, h->BitmapInfo.bmiColors + n);
}

void TPNGObject::AdoptPalette(const std::vector<TRGBQuad>& Palette, bool Copy) {
  TChunkIHDR* h = HeaderChunk();
  if (!h->HasPalette || !Copy) return;
  const size_t n = std::min<size_t>(Palette.size(), 256);
  std::copy(Palette.begin(), Palette.begin() + ptrdiff_t(n), h->BitmapInfo.bmiColors);
  // Entries past the palette stay black: an index beyond it draws black.
  const size_t tableSize = size_t(1) << h->BitmapInfo.bmiHeader.biBitCount;
  for (size_t i = n; i < tableSize && i < 256; ++i) h->BitmapInfo.bmiColors[i] = TRGBQuad{};
}

// ------------------------------------------------------------ rows and pixels
uint8_t* TPNGObject::RowPointer(int32_t Y) const {
  TChunkIHDR* h = HeaderChunk();
  return h->ImageData.data() + h->BytesPerRow * (int64_t(h->Height) - 1 - Y);
}

uint8_t* TPNGObject::AlphaRowPointer(int32_t Y) const {
  TChunkIHDR* h = HeaderChunk();
  if (h->ImageAlpha.empty()) return nullptr;
  return h->ImageAlpha.data() + int64_t(h->Width) * Y;
}

uint8_t* TPNGObject::LowByteRowPointer(int32_t Y) const {
  TChunkIHDR* h = HeaderChunk();
  if (h->ExtraImageData.empty()) return nullptr;
  return h->ExtraImageData.data() + h->BytesPerRow * (int64_t(h->Height) - 1 - Y);
}

namespace {

int FieldOf(const uint8_t* Row, int64_t X, int Bits) {
  if (Bits == 8) return Row[X];
  const int64_t bit = X * Bits;
  return (Row[bit >> 3] >> (8 - Bits - (bit & 7))) & ((1 << Bits) - 1);
}

}  // namespace

TColor TPNGObject::GetPixel(int32_t X, int32_t Y) const {
  const TChunkIHDR* h = HeaderChunk();
  if (X < 0 || Y < 0 || uint32_t(X) >= h->Width || uint32_t(Y) >= h->Height) return 0;
  const uint8_t* row = RowPointer(Y);
  const int k = h->BitmapInfo.bmiHeader.biBitCount;
  switch (h->ColorType) {
    case 0: {
      const int n = FieldOf(row, X, k);
      const uint8_t v = FGammaLut[size_t(n * 255 / ((1 << k) - 1))];
      return RGB(v, v, v);
    }
    case 3: {
      const TColor c = PaletteEntry(FieldOf(row, X, k));
      return RGB(FGammaLut[GetRValue(c)], FGammaLut[GetGValue(c)], FGammaLut[GetBValue(c)]);
    }
    case 4:
      return RGB(row[X], row[X], row[X]);
    case 2:
    case 6:
      return RGB(row[3 * X + 2], row[3 * X + 1], row[3 * X]);
    default:
      return 0;
  }
}

void TPNGObject::SetPixel(int32_t X, int32_t Y, TColor Color) {
  TChunkIHDR* h = HeaderChunk();
  if (X < 0 || Y < 0 || uint32_t(X) >= h->Width || uint32_t(Y) >= h->Height) return;
  uint8_t* row = RowPointer(Y);
  const int k = h->BitmapInfo.bmiHeader.biBitCount;
  switch (h->ColorType) {
    case 0:
    case 3: {
      const uint32_t rgb = ColorToRGB(Color);
      int32_t entries = 1 << k;
      if (h->ColorType == 3) {
        const TChunkPLTE* p = FChunkList.FindChunk<TChunkPLTE>();
        entries = p ? std::min(p->Count, entries) : 0;
      }
      if (entries <= 0) return;
      int32_t best = 0;
      int64_t bestDistance = INT64_MAX;
      for (int32_t i = 0; i < entries; ++i) {
        const TRGBQuad& q = h->BitmapInfo.bmiColors[i];
        const int64_t dr = int64_t(q.rgbRed) - GetRValue(rgb), dg = int64_t(q.rgbGreen) - GetGValue(rgb),
                      db = int64_t(q.rgbBlue) - GetBValue(rgb);
        const int64_t d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
          bestDistance = d;
          best = i;
        }
      }
      if (k == 8) {
        row[X] = uint8_t(best);
      } else {
        const int64_t bit = int64_t(X) * k;
        const int shift = 8 - k - int(bit & 7);
        const int mask = ((1 << k) - 1) << shift;
        row[bit >> 3] = uint8_t((row[bit >> 3] & ~mask) | (best << shift));
      }
      return;
    }
    case 4:
      row[X] = GetRValue(ColorToRGB(Color));
      return;
    case 2:
    case 6:
      row[3 * X + 2] = GetRValue(uint32_t(Color));
      row[3 * X + 1] = GetGValue(uint32_t(Color));
      row[3 * X] = GetBValue(uint32_t(Color));
      return;
    default:
      return;
  }
}

// ------------------------------------------------------------ resizing
void TPNGObject::Resize(int32_t W2, int32_t H2) {
  if (W2 < 1 || H2 < 1) throw EPNGInvalidNewSize();
  TChunkIHDR* h = HeaderChunk();
  if (W2 > 65535 || H2 > 65535) throw EPNGInvalidNewSize();
  const int bits = h->BitmapInfo.bmiHeader.biBitCount;
  const int64_t oldW = h->Width, oldH = h->Height, oldStride = h->BytesPerRow;
  const int64_t newStride = ((int64_t(bits) * W2 + 31) / 32) * 4;
  const int64_t keptRows = std::min<int64_t>(H2, oldH);
  const int64_t keptCols = std::min<int64_t>(W2, oldW);
  // The bits of the kept columns; everything else of the new image is clear.
  const int64_t keptBits = keptCols * bits;
  auto copyRows = [&](const std::vector<uint8_t>& from, std::vector<uint8_t>& to) {
    to.assign(size_t(newStride * H2), 0);
    for (int64_t y = 0; y < keptRows; ++y) {
      const uint8_t* s = from.data() + oldStride * (oldH - 1 - y);
      uint8_t* d = to.data() + newStride * (int64_t(H2) - 1 - y);
      std::memcpy(d, s, size_t(keptBits / 8));
      if (keptBits % 8) {
        const uint8_t mask = uint8_t(0xFF << (8 - keptBits % 8));
        d[keptBits / 8] = uint8_t(s[keptBits / 8] & mask);
      }
    }
  };
  auto copyPlane = [&](const std::vector<uint8_t>& from, std::vector<uint8_t>& to) {
    to.assign(size_t(int64_t(W2) * H2), 255);
    for (int64_t y = 0; y < keptRows; ++y)
      std::memcpy(to.data() + y * W2, from.data() + y * oldW, size_t(keptCols));
  };
  std::vector<uint8_t> data, low, alpha, alphaLow;
  try {
    copyRows(h->ImageData, data);
    if (!h->ExtraImageData.empty()) copyRows(h->ExtraImageData, low);
    if (!h->ImageAlpha.empty()) copyPlane(h->ImageAlpha, alpha);
    if (!h->ExtraImageAlpha.empty()) copyPlane(h->ExtraImageAlpha, alphaLow);
  } catch (const std::bad_alloc&) {
    throw EPNGOutMemory();
  }
  h->ImageData.swap(data);
  h->ExtraImageData.swap(low);
  h->ImageAlpha.swap(alpha);
  h->ExtraImageAlpha.swap(alphaLow);
  h->BytesPerRow = newStride;
  h->Width = uint32_t(W2);
  h->Height = uint32_t(H2);
  h->BitmapInfo.bmiHeader.biWidth = W2;
  h->BitmapInfo.bmiHeader.biHeight = H2;
  Changed();
}

// ------------------------------------------------------------ drawing
void TPNGObject::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (GetEmpty() || !HeaderPresent() || !ACanvas) return;
  TChunkIHDR* h = HeaderChunk();
  switch (TransparencyKind()) {
    case tkColorKey:
      DrawDibWithColorKey(ACanvas, TColor(ColorToRGB(KeyColor())), Rect);
      return;
    case tkAlpha:
      DrawWithAlpha(ACanvas, Rect);
      return;
    default: {
      const QImage img = PngDibImage(h);
      SetStretchBltMode(ACanvas, COLORONCOLOR);
      ACanvas->StretchFromImage(img, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), 0, 0, int32_t(h->Width),
                                int32_t(h->Height), SRCCOPY);
      return;
    }
  }
}

void TPNGObject::DrawDibWithColorKey(TCanvas* DC, TColor Key, const TRect& Rect) {
  const TChunkIHDR* h = HeaderChunk();
  const QImage img = PngDibImage(h);
  DC->StretchFromImage(img, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), 0, 0, int32_t(h->Width),
                       int32_t(h->Height), SRCCOPY, false, clWhite, Key);
}

void TPNGObject::DrawWithAlpha(TCanvas* DC, const TRect& Rect) {
  if (Rect.Left == Rect.Right || Rect.Top == Rect.Bottom) return;
  const int32_t left = std::min(Rect.Left, Rect.Right), right = std::max(Rect.Left, Rect.Right);
  const int32_t top = std::min(Rect.Top, Rect.Bottom), bottom = std::max(Rect.Top, Rect.Bottom);
  const int64_t w = int64_t(right) - left, hgt = int64_t(bottom) - top;
  const TChunkIHDR* h = HeaderChunk();
  const int64_t W = h->Width, H = h->Height;
  // Only the part of the rectangle that lands on the target is blended, so
  // a huge stretch costs no more than the target's size.
  const QImage* target = DC->GetTarget();
  if (!target || target->isNull()) return;
  const TPoint origin = DC->GetViewportOrg();
  const int64_t visLeft = std::max<int64_t>(left, -int64_t(origin.X));
  const int64_t visTop = std::max<int64_t>(top, -int64_t(origin.Y));
  const int64_t visRight = std::min<int64_t>(right, int64_t(target->width()) - origin.X);
  const int64_t visBottom = std::min<int64_t>(bottom, int64_t(target->height()) - origin.Y);
  if (visLeft >= visRight || visTop >= visBottom) return;
  const int64_t bw = visRight - visLeft, bh = visBottom - visTop;
  QImage buffer(int(bw), int(bh), QImage::Format_RGB32);
  if (buffer.isNull()) throw EPNGOutMemory();
  buffer.fill(0);
  {
    TCanvas bufferCanvas(&buffer);
    BitBlt(&bufferCanvas, 0, 0, int32_t(bw), int32_t(bh), DC, int32_t(visLeft), int32_t(visTop), SRCCOPY);
  }
  const bool scaling = w != W || hgt != H;
  const double fx = double(w) / double(W), fy = double(hgt) / double(H);
  std::vector<int64_t> sourceColumn(static_cast<size_t>(bw));
  for (int64_t i = 0; i < bw; ++i) {
    const int64_t di = i + visLeft - left;
    sourceColumn[size_t(i)] = std::min<int64_t>(scaling ? int64_t(double(di) / fx) : di, W - 1);
  }
  const int bits = h->BitmapInfo.bmiHeader.biBitCount;
  const TChunktRNS* trns = FChunkList.FindChunk<TChunktRNS>();
  const TChunkPLTE* plte = FChunkList.FindChunk<TChunkPLTE>();
  // Palette colours once; an index beyond the palette blends as black.
  uint8_t palette[256][3] = {};
  if (h->ColorType == 3 && plte)
    for (int32_t i = 0; i < plte->Count && i < 256; ++i) {
      palette[i][0] = h->BitmapInfo.bmiColors[i].rgbBlue;
      palette[i][1] = h->BitmapInfo.bmiColors[i].rgbGreen;
      palette[i][2] = h->BitmapInfo.bmiColors[i].rgbRed;
    }
  auto blend = [](uint8_t* d, int s, int a) { *d = uint8_t((s * a + 255 + (255 - a) * *d) >> 8); };
  for (int64_t j = 0; j < bh; ++j) {
    const int64_t dj = j + visTop - top;
    const int64_t sy = std::min<int64_t>(scaling ? int64_t(double(dj) / fy) : dj, H - 1);
    const uint8_t* src = h->ImageData.data() + h->BytesPerRow * (H - 1 - sy);
    const uint8_t* alpha = h->ImageAlpha.empty() ? nullptr : h->ImageAlpha.data() + W * sy;
    uint8_t* d = buffer.scanLine(int(j));
    for (int64_t i = 0; i < bw; ++i, d += 4) {
      const int64_t sx = sourceColumn[size_t(i)];
      if (bits == 24) {
        const int a = alpha[sx];
        if (a == 0) continue;
        const uint8_t* s = src + 3 * sx;
        if (a == 255) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        } else {
          blend(d, s[0], a);
          blend(d + 1, s[1], a);
          blend(d + 2, s[2], a);
        }
      } else if (h->ColorType == 4) {
        const int a = alpha[sx], v = src[sx];
        blend(d, v, a);
        blend(d + 1, v, a);
        blend(d + 2, v, a);
      } else {
        const int n = FieldOf(src, sx, bits);
        const int a = trns ? trns->AlphaTable[size_t(n)] : 255;
        blend(d, palette[n][0], a);
        blend(d + 1, palette[n][1], a);
        blend(d + 2, palette[n][2], a);
      }
    }
  }
  DC->StretchFromImage(buffer, int32_t(visLeft), int32_t(visTop), int32_t(bw), int32_t(bh), 0, 0, int32_t(bw),
                       int32_t(bh), SRCCOPY);
}

// ------------------------------------------------------------ bitmaps
void TPNGObject::AssignToBitmap(TBitmap* Dest) const {
  const TChunkIHDR* h = HeaderChunk();
  const TPNGTransparencyKind kind = TransparencyKind();
  if (kind == tkAlpha) {
    Dest->SetPixelFormat(pf24bit);
    Dest->SetSize(int32_t(h->Width), int32_t(h->Height));
    Dest->GetCanvas()->Draw(0, 0, const_cast<TPNGObject*>(this));
  } else {
    QImage img = PngDibImage(h);
    if ((h->BitDepth == 8 || h->BitDepth == 16) && h->ColorType != 3)
      img = img.convertToFormat(QImage::Format_BGR888);
    Dest->SetImage(img);
    if (kind == tkColorKey) {
      Dest->SetTransparentColor(KeyColor());
      Dest->SetTransparent(true);
    }
  }
  Dest->Changed();
}

void TPNGObject::AssignFromBitmap(const TBitmap* Source, bool Transparent, TColor TransparentColor) {
  Clear();
  const int32_t w = Source->GetWidth(), ht = Source->GetHeight();
  if (w < 1 || ht < 1) return;
  if (w > 65535 || ht > 65535) throw EPNGSizeExceeds();
  const TPixelFormat pf = Source->GetPixelFormat();
  const bool palette = pf == pf1bit || pf == pf8bit;
  auto header = MakeChunk<TChunkIHDR>(this);
  TChunkIHDR* h = header.get();
  h->Width = uint32_t(w);
  h->Height = uint32_t(ht);
  h->ColorType = palette ? 3 : 2;
  h->BitDepth = pf == pf1bit ? 1 : 8;
  FChunkList.Add(std::move(header));
  h->PrepareImageData();
  QImage img = palette ? Source->GetImage() : Source->GetImage().convertToFormat(QImage::Format_BGR888);
  for (int32_t y = 0; y < ht; ++y)
    std::memcpy(RowPointer(y), img.constScanLine(y), size_t(std::min<int64_t>(h->BytesPerRow, img.bytesPerLine())));
  if (palette) {
    std::vector<TRGBQuad> table = Source->GetColorTable();
    auto plte = MakeChunk<TChunkPLTE>(this);
    plte->Count = 1 << h->BitDepth;
    table.resize(size_t(plte->Count));
    FChunkList.Add(std::move(plte));
    AdoptPalette(table, true);
  }
  if (Transparent) {
    auto trns = MakeChunk<TChunktRNS>(this);
    trns->SetTransparentColor(TransparentColor);
    // A palette without the transparent colour makes nothing transparent.
    if (trns->GetPayloadSize() > 0) FChunkList.Add(std::move(trns));
  }
  FChunkList.Add(MakeChunk<TChunkIDAT>(this));
  FChunkList.Add(MakeChunk<TChunkIEND>(this));
}
