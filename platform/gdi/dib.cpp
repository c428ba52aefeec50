#include "platform/gdi/dib.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/canvas.h"

namespace {

uint16_t Rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Rd32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Wr16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Wr32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Reads the layout fields; with checkRows also that the rows follow in Size.
bool ReadLayoutHeader(const uint8_t* Data, size_t Size, TDIBLayout& L, bool checkRows) {
  if (!Data || Size < 12) return false;
  const int64_t info = PackedDIBInfoSize(Data, Size);
  if (info < 0 || uint64_t(info) > Size) return false;
  const uint32_t hs = Rd32(Data);
  TBitmapInfoHeader& h = L.Header;
  h = TBitmapInfoHeader{};
  if (hs == 12) {
    h.biSize = 12;
    h.biWidth = Rd16(Data + 4);
    h.biHeight = int16_t(Rd16(Data + 6));
    h.biPlanes = Rd16(Data + 8);
    h.biBitCount = Rd16(Data + 10);
  } else {
    h.biSize = hs;
    h.biWidth = int32_t(Rd32(Data + 4));
    h.biHeight = int32_t(Rd32(Data + 8));
    h.biPlanes = Rd16(Data + 12);
    h.biBitCount = Rd16(Data + 14);
    h.biCompression = Rd32(Data + 16);
    h.biSizeImage = Rd32(Data + 20);
    h.biXPelsPerMeter = int32_t(Rd32(Data + 24));
    h.biYPelsPerMeter = int32_t(Rd32(Data + 28));
    h.biClrUsed = Rd32(Data + 32);
    h.biClrImportant = Rd32(Data + 36);
  }
  const int bc = h.biBitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return false;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  if (h.biCompression == BI_BITFIELDS) {
    if (bc != 16 && bc != 32) return false;
    // Inside a long header, else right after it.
    const uint8_t* m = Data + (hs >= 52 ? 40 : hs);
    for (int i = 0; i < 3; ++i) L.Masks[i] = Rd32(m + 4 * i);
  } else if (h.biCompression == BI_RGB) {
    if (bc == 16) {
      L.Masks[0] = 0x7C00;
      L.Masks[1] = 0x03E0;
      L.Masks[2] = 0x001F;
    } else if (bc == 32) {
      L.Masks[0] = 0xFF0000;
      L.Masks[1] = 0xFF00;
      L.Masks[2] = 0xFF;
    }
  } else {
    return false;  // run-length compressed bits are not read here
  }
  L.Colors.clear();
  if (bc <= 8) {
    // The table ends the info block (bit fields never come with one).
    const size_t entryBytes = hs == 12 ? 3 : 4;
    const size_t n = (size_t(info) - hs) / entryBytes;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* e = Data + hs + i * entryBytes;
      L.Colors.push_back(TRGBQuad{e[0], e[1], e[2], 0});
    }
  }
  L.BitsOffset = size_t(info);
  L.BottomUp = h.biHeight > 0;
  L.RowLength = DIBRowLength(h.biWidth, bc);
  if (L.RowLength < 0) return false;
  if (checkRows) {
    const int64_t rows = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    const int64_t need = L.RowLength * rows;
    if (need < 0 || uint64_t(need) > uint64_t(Size - L.BitsOffset)) return false;
  }
  return true;
}

// Shift and width of a contiguous bit mask.
void MaskShape(uint32_t m, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (!m) return;
  while (!((m >> shift) & 1)) ++shift;
  while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
}

int Expand(uint32_t v, uint32_t mask) {
  int shift, bits;
  MaskShape(mask, shift, bits);
  if (bits == 0) return 0;
  const uint32_t x = (v & mask) >> shift;
  if (bits >= 8) return int(x >> (bits - 8));
  // Scale so that the largest value becomes 255.
  const uint32_t max = (1u << bits) - 1;
  return int((x * 255 + max / 2) / max);
}

// Decodes the rows of a checked layout, the first stored row at Bits, into a
// top-down QImage.
QImage Decode(const uint8_t* Bits, const TDIBLayout& L) {
  const TBitmapInfoHeader& h = L.Header;
  const int w = h.biWidth;
  const int hgt = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const int bc = h.biBitCount;
  QImage out;
  QList<QRgb> table;
  for (const TRGBQuad& q : L.Colors) table.push_back(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
  bool std16 = false;
  switch (bc) {
    case 1:
      out = QImage(w, hgt, QImage::Format_Mono);
      while (table.size() < 2) table.push_back(qRgb(0, 0, 0));
      out.setColorTable(table);
      break;
    case 4:
    case 8:
      out = QImage(w, hgt, QImage::Format_Indexed8);
      while (table.size() < (1 << bc)) table.push_back(qRgb(0, 0, 0));
      out.setColorTable(table);
      break;
    case 16:
      if (L.Masks[0] == 0xF800 && L.Masks[1] == 0x07E0 && L.Masks[2] == 0x001F) {
        out = QImage(w, hgt, QImage::Format_RGB16);
        std16 = true;
      } else if (L.Masks[0] == 0x7C00 && L.Masks[1] == 0x03E0 && L.Masks[2] == 0x001F) {
        out = QImage(w, hgt, QImage::Format_RGB555);
        std16 = true;
      } else {
        out = QImage(w, hgt, QImage::Format_RGB32);
      }
      break;
    case 24:
      out = QImage(w, hgt, QImage::Format_BGR888);
      break;
    case 32:
      out = QImage(w, hgt, QImage::Format_RGB32);
      break;
  }
  if (out.isNull()) return out;
  const bool std32 = bc == 32 && L.Masks[0] == 0xFF0000 && L.Masks[1] == 0xFF00 && L.Masks[2] == 0xFF;
  for (int y = 0; y < hgt; ++y) {
    const int srcRow = L.BottomUp ? hgt - 1 - y : y;
    const uint8_t* s = Bits + size_t(L.RowLength) * size_t(srcRow);
    uchar* d = out.scanLine(y);
    if (bc == 1 || bc == 8 || bc == 24 || (bc == 16 && std16)) {
      // Indices beyond a short table read the black entries added above.
      std::memcpy(d, s, size_t(std::min<int64_t>(L.RowLength, out.bytesPerLine())));
    } else if (bc == 4) {
      for (int x = 0; x < w; ++x) d[x] = uchar((x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4));
    } else if (bc == 32 && std32) {
      uint32_t* o = reinterpret_cast<uint32_t*>(d);
      for (int x = 0; x < w; ++x) o[x] = 0xFF000000u | (Rd32(s + 4 * x) & 0xFFFFFF);
    } else {
      uint32_t* o = reinterpret_cast<uint32_t*>(d);
      for (int x = 0; x < w; ++x) {
        const uint32_t v = bc == 16 ? Rd16(s + 2 * x) : Rd32(s + 4 * x);
        o[x] = qRgb(Expand(v, L.Masks[0]), Expand(v, L.Masks[1]), Expand(v, L.Masks[2]));
      }
    }
  }
  if (h.biXPelsPerMeter > 0) out.setDotsPerMeterX(h.biXPelsPerMeter);
  if (h.biYPelsPerMeter > 0) out.setDotsPerMeterY(h.biYPelsPerMeter);
  return out;
}

}  // namespace

QImage ThresholdToMono(const QImage& Image) {
  QImage out(Image.width(), Image.height(), QImage::Format_Mono);
  if (out.isNull()) return out;
  out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  out.fill(0u);
  const QImage rgb = Image.convertToFormat(QImage::Format_RGB32);
  if (rgb.isNull()) return QImage();
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* s = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* d = out.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      const int luma = (qRed(s[x]) * 77 + qGreen(s[x]) * 150 + qBlue(s[x]) * 29) >> 8;
      if (luma >= 128) d[x >> 3] |= uchar(0x80 >> (x & 7));
    }
  }
  out.setDotsPerMeterX(Image.dotsPerMeterX());
  out.setDotsPerMeterY(Image.dotsPerMeterY());
  return out;
}

int64_t PackedDIBInfoSize(const uint8_t* Header, size_t Available) {
  if (!Header || Available < 12) return -1;
  const uint32_t hs = Rd32(Header);
  if (hs == 12) {
    const uint16_t bc = Rd16(Header + 10);
    return 12 + (bc <= 8 ? int64_t(3) << bc : 0);
  }
  if (hs < 40 || hs > 4096 || Available < hs) return -1;
  const uint16_t bc = Rd16(Header + 14);
  const uint32_t comp = Rd32(Header + 16), used = Rd32(Header + 32);
  int64_t size = hs;
  if (comp == BI_BITFIELDS && hs < 52) size += 12;
  if (bc <= 8) {
    const uint32_t full = 1u << bc;
    size += int64_t(used != 0 && used < full ? used : full) * 4;
  }
  return size;
}

int64_t DIBRowLength(int64_t Width, int32_t BitCount) {
  if (Width < 0 || BitCount <= 0) return -1;
  const int64_t r = ((Width * BitCount + 31) / 32) * 4;
  return r > INT32_MAX ? -1 : r;
}

bool ReadPackedDIBLayout(const uint8_t* Data, size_t Size, TDIBLayout& Layout, bool RowsFollow) {
  return ReadLayoutHeader(Data, Size, Layout, RowsFollow);
}

bool ParsePackedDIB(const uint8_t* Data, size_t Size, QImage& Out) {
  TDIBLayout l;
  if (!ReadLayoutHeader(Data, Size, l, true)) return false;
  QImage img = Decode(Data + l.BitsOffset, l);
  if (img.isNull()) return false;
  Out = img;
  return true;
}

std::vector<uint8_t> CreatePackedDIB(const QImage& Image, int32_t BitCount, bool BottomUp) {
  if (Image.isNull()) return {};
  if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 24 && BitCount != 32) return {};
  const int w = Image.width(), h = Image.height();
  const int64_t rowLen = DIBRowLength(w, BitCount);
  if (rowLen < 0) return {};
  const size_t tableN = BitCount <= 8 ? size_t(1) << BitCount : 0;
  const size_t bitsSize = size_t(rowLen) * size_t(h);
  // Pixels in a form that maps directly onto the requested layout.
  QImage src;
  QList<QRgb> table;
  if (BitCount == 1) {
    if (Image.format() == QImage::Format_Mono) {
      src = Image;
    } else if (Image.format() == QImage::Format_MonoLSB) {
      src = Image.convertToFormat(QImage::Format_Mono);
    } else {
      src = ThresholdToMono(Image);
    }
    table = src.colorTable();
  } else if (BitCount == 4 || BitCount == 8) {
    if (Image.format() == QImage::Format_Indexed8 && Image.colorCount() <= int(tableN)) {
      src = Image;
    } else {
      // Qt builds the table from the image's colours (exact up to 256).
      QImage idx = Image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
      if (idx.colorCount() > int(tableN)) {
        // Too many colours for 16 entries: the sixteen standard colours.
        static const QList<QRgb> vga = {
            qRgb(0, 0, 0),     qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),   qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
            qRgb(192, 192, 192), qRgb(255, 0, 0), qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),   qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
        idx = Image.convertToFormat(QImage::Format_Indexed8, vga, Qt::ThresholdDither);
      }
      src = idx;
    }
    table = src.colorTable();
  } else if (BitCount == 24) {
    src = Image.format() == QImage::Format_BGR888 ? Image : Image.convertToFormat(QImage::Format_BGR888);
  } else {
    src = Image.format() == QImage::Format_RGB32 ? Image : Image.convertToFormat(QImage::Format_RGB32);
  }
  if (src.isNull()) return {};
  std::vector<uint8_t> out(40 + tableN * 4 + bitsSize, 0);
  uint8_t* p = out.data();
  Wr32(p, 40);
  Wr32(p + 4, uint32_t(w));
  Wr32(p + 8, uint32_t(BottomUp ? h : -h));
  Wr16(p + 12, 1);
  Wr16(p + 14, uint16_t(BitCount));
  Wr32(p + 16, BI_RGB);
  Wr32(p + 20, uint32_t(bitsSize));
  Wr32(p + 24, uint32_t(std::max(0, Image.dotsPerMeterX())));
  Wr32(p + 28, uint32_t(std::max(0, Image.dotsPerMeterY())));
  Wr32(p + 32, 0);
  Wr32(p + 36, 0);
  for (size_t i = 0; i < tableN && i < size_t(table.size()); ++i) {
    uint8_t* e = p + 40 + i * 4;
    e[0] = uint8_t(qBlue(table[qsizetype(i)]));
    e[1] = uint8_t(qGreen(table[qsizetype(i)]));
    e[2] = uint8_t(qRed(table[qsizetype(i)]));
  }
  uint8_t* bits = p + 40 + tableN * 4;
  for (int y = 0; y < h; ++y) {
    const uchar* s = src.constScanLine(y);
    uint8_t* d = bits + size_t(rowLen) * size_t(BottomUp ? h - 1 - y : y);
    if (BitCount == 4) {
      for (int x = 0; x < w; ++x) d[x >> 1] |= uint8_t((s[x] & 0x0F) << ((x & 1) ? 0 : 4));
    } else if (BitCount == 32) {
      const uint32_t* s32 = reinterpret_cast<const uint32_t*>(s);
      for (int x = 0; x < w; ++x) Wr32(d + 4 * x, s32[x] & 0xFFFFFF);
    } else {
      // Only the pixels' bytes: the padding of a DIB row stays zero.
      const size_t used = (size_t(w) * size_t(BitCount) + 7) / 8;
      std::memcpy(d, s, used);
      if (BitCount == 1 && (w & 7)) d[(w - 1) >> 3] &= uint8_t(0xFF << (7 - ((w - 1) & 7)));
    }
  }
  return out;
}

int32_t StretchDIBits(TCanvas* DC, int32_t XDest, int32_t YDest, int32_t DestWidth,
                      int32_t DestHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                      int32_t SrcHeight, const void* Bits, const void* BitsInfo, uint32_t Usage,
                      uint32_t Rop) {
  if (!DC || !BitsInfo || !Bits) return 0;
  const uint8_t* info = static_cast<const uint8_t*>(BitsInfo);
  // The caller vouches for the header; it tells how long masks and table are.
  const int64_t infoSize = PackedDIBInfoSize(info, SIZE_MAX);
  TDIBLayout l;
  if (infoSize < 0 || !ReadLayoutHeader(info, size_t(infoSize), l, false)) return 0;
  const int64_t h = l.Header.biHeight < 0 ? -int64_t(l.Header.biHeight) : l.Header.biHeight;
  // Source rows of a bottom-up DIB count from its bottom row.
  const int64_t ySrcTop = l.BottomUp ? h - YSrc - SrcHeight : YSrc;
  if (ySrcTop < INT32_MIN || ySrcTop > INT32_MAX) return 0;
  const QImage img = Decode(static_cast<const uint8_t*>(Bits), l);
  if (img.isNull()) return 0;
  DC->StretchFromImage(img, XDest, YDest, DestWidth, DestHeight, XSrc, int32_t(ySrcTop), SrcWidth,
                       SrcHeight, Rop);
  return int32_t(std::min<int64_t>(std::llabs(int64_t(SrcHeight)), INT32_MAX));
}
