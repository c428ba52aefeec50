#include "formats/ico/ico_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/io_params.h"
#include "formats/bmp/bmp_reader.h"
#include "formats/png/png_codec.h"
#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/pixel_utils.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int32_t kDirHeader = 6;
constexpr int32_t kDirEntry = 16;
constexpr int32_t kInfoHeader = 40;

uint16_t Le16(const uint8_t* P) { return IEGetWord(P, false); }
uint32_t Le32(const uint8_t* P) { return IEGetDWord(P, false); }

struct TIcoEntry {
  int32_t Width = 0;   // 0 = 256
  int32_t Height = 0;
  int32_t ColorCount = 0;
  int32_t Planes = 0;    // cursor: hot spot x
  int32_t BitCount = 0;  // cursor: hot spot y
  uint32_t Size = 0;
  uint32_t Offset = 0;
};

TIcoEntry ParseEntry(const uint8_t* B) {
  TIcoEntry e;
  e.Width = B[0];
  e.Height = B[1];
  e.ColorCount = B[2];
  e.Planes = Le16(B + 4);
  e.BitCount = Le16(B + 6);
  e.Size = Le32(B + 8);
  e.Offset = Le32(B + 12);
  return e;
}

bool IsDirectory(TStream* Stream, uint16_t Type) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->GetPosition();
  bool ok = false;
  try {
    uint8_t h[kDirHeader];
    if (Stream->GetSize() - start >= 23 && Stream->Read(h, kDirHeader) == kDirHeader && Le16(h) == 0 &&
        Le16(h + 2) == Type && Le16(h + 4) != 0) {
      ok = true;
      const int32_t count = Le16(h + 4);
      for (int32_t i = 0; i < count && ok; ++i) {
        uint8_t b[kDirEntry];
        if (Stream->Read(b, kDirEntry) != kDirEntry) {
          ok = false;
          break;
        }
        const TIcoEntry e = ParseEntry(b);
        ok = b[3] == 0 && e.Size != 0 && int64_t(e.Offset) >= kDirHeader + int64_t(i + 1) * kDirEntry;
      }
    }
  } catch (...) {
    ok = false;
  }
  Stream->Seek(start, soBeginning);
  return ok;
}

// One bitmap body: info header, colour table, XOR rows, AND rows.
struct TBody {
  int32_t HeaderWidth = 0;
  int32_t HeaderHeight = 0;  // the image's, half the header's
  int32_t BitCount = 0;
  int32_t DpiX = 0;
  int32_t DpiY = 0;
};

bool GetBit(const uint8_t* Row, int32_t X) { return (Row[X >> 3] & (0x80 >> (X & 7))) != 0; }
void SetBit(uint8_t* Row, int32_t X, bool V) {
  if (V) Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
  else Row[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
}

// Everything shared by icons and cursors once the image is located.
struct TBodyRequest {
  bool Cursor = false;
  int32_t EntryWidth = 0;  // 0 = from the header
  int32_t EntryHeight = 0;
  int32_t EntryBitCount = 0;
  int32_t EntryColorCount = 0;
  TRGB Background;
};

void ReadBody(TStream* Stream, int64_t ImageStart, const TBodyRequest& Req, TIEBitmap* Bitmap, TIOParamsVals& Params,
              TIEProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  uint8_t h[kInfoHeader];
  Stream->Seek(ImageStart, soBeginning);
  if (Stream->Read(h, kInfoHeader) != kInfoHeader) {
    Progress.SetAborting();
    return;
  }
  const uint32_t headerSize = Le32(h);
  const int32_t hw = int32_t(Le32(h + 4)), hh2 = int32_t(Le32(h + 8));
  const int32_t headerBits = Le16(h + 14);
  const uint32_t compression = Le32(h + 16);
  const int32_t ppmX = int32_t(Le32(h + 24)), ppmY = int32_t(Le32(h + 28));
  const uint32_t clrUsed = Le32(h + 32);
  if (headerSize < kInfoHeader || headerSize > 1024 || hw <= 0 || hh2 <= 0 || compression != 0) {
    Progress.SetAborting();
    return;
  }
  const int32_t hh = hh2 / 2;

  const int32_t dpiX = ppmX > 0 ? IERound(ppmX / 100.0 * 2.54) : 0;
  const int32_t dpiY = ppmY > 0 ? IERound(ppmY / 100.0 * 2.54) : 0;
  Params.SetDpiX(dpiX > 0 ? dpiX : IEDefaultDpiX);
  Params.SetDpiY(dpiY > 0 ? dpiY : IEDefaultDpiY);

  int32_t bits = headerBits != 0 ? headerBits : Req.EntryBitCount;
  if (bits == 0 && Req.EntryColorCount > 0) bits = IEColorCountToBitCount(Req.EntryColorCount);
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    Progress.SetAborting();
    return;
  }
  if (Req.Cursor) {
    Params.SamplesPerPixel = 1;
    Params.BitsPerSample = bits;
  } else if (bits <= 8) {
    Params.BitsPerSample = bits;
    Params.SamplesPerPixel = 1;
  } else {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = bits == 32 ? 4 : 3;
  }
  // The entry's size holds unless it disagrees with a plausible header.
  int32_t width = Req.EntryWidth > 0 ? Req.EntryWidth : hw;
  int32_t height = Req.EntryHeight > 0 ? Req.EntryHeight : hh;
  if (Req.EntryWidth > 0 && Req.EntryWidth != hw && hw < 2048 && hh < 2048) {
    width = hw;
    height = hh;
  }
  // The rows are laid out by the header: a size beyond it cannot be read.
  width = std::min(width, hw);
  height = std::min(height, hh);
  if (width <= 0 || height <= 0) {
    Progress.SetAborting();
    return;
  }

  const int32_t tableMax = bits <= 8 ? (1 << bits) : 0;
  const int32_t tableLen = bits <= 8 ? (clrUsed > 0 && int64_t(clrUsed) < tableMax ? int32_t(clrUsed) : tableMax) : 0;
  std::vector<TRGB> table(size_t(std::max(tableMax, 1)));  // entries past the table are black
  Stream->Seek(ImageStart + headerSize, soBeginning);
  for (int32_t i = 0; i < tableLen; ++i) {
    uint8_t q[4];
    if (Stream->Read(q, 4) != 4) {
      Progress.SetAborting();
      return;
    }
    table[size_t(i)] = TRGB{q[0], q[1], q[2]};
  }
  Params.FreeColorMap();
  if (tableLen > 0) {
    Params.ColorMapCount = tableLen;
    Params.ColorMap = std::make_unique<TRGB[]>(size_t(tableLen));
    std::copy(table.begin(), table.begin() + tableLen, Params.ColorMap.get());
  }
  Params.Width = Params.StoredWidth = width;
  Params.Height = Params.StoredHeight = height;
  if (ParamsOnly || Bitmap == nullptr) return;

  // Rows of the header's width, bottom-up; the colour rows must all be in the
  // stream before anything is allocated, the AND rows are used when present.
  const int64_t xorRow = IEBitmapRowLen(hw, bits, 32);
  const int64_t andRow = IEBitmapRowLen(hw, 1, 32);
  const int64_t dataStart = Stream->GetPosition();
  const int64_t left = Stream->GetSize() - dataStart;
  if (left < xorRow * hh) {
    Progress.SetAborting();
    return;
  }
  const bool haveAnd = left - xorRow * hh >= andRow * hh;

  TIEPixelFormat format = ie24RGB;
  if (Params.NativePixelFormat && !Req.Cursor) {
    if (bits == 1) format = ie1g;
    else if (bits <= 8) format = ie8p;
    else if (bits == 24 || bits == 32) format = ie24RGB;
    else throw Exception("Unsupported pixel format");
  } else if (bits == 1 && (!Req.Cursor || Req.EntryColorCount == 0 || Req.EntryColorCount == 2)) {
    format = ie1g;
  }
  if (!Bitmap->Allocate(width, height, format)) {
    Progress.SetAborting();
    return;
  }
  if (format == ie8p) {
    Bitmap->SetPaletteUsed(tableMax);
    for (int32_t i = 0; i < tableMax; ++i) Bitmap->SetPaletteColor(i, table[size_t(i)]);
  }
  const bool wantAlpha = !IgnoreAlpha;
  if (wantAlpha) {
    if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
    AlphaMask->AllocateBits(width, height, 8);
    AlphaMask->Fill(255);
    AlphaMask->SetFull(false);
  }

  std::vector<uint8_t> xorRows(size_t(xorRow * hh)), andRows(size_t(andRow * hh), 0);
  if (Stream->Read(xorRows.data(), int64_t(xorRows.size())) != int64_t(xorRows.size())) {
    Progress.SetAborting();
    return;
  }
  if (haveAnd) Stream->Read(andRows.data(), int64_t(andRows.size()));
  const bool whiteBackground = IESameRGB(Req.Background, TRGB{255, 255, 255});
  bool alphaSeen = false;
  if (bits == 32) {
    for (int32_t y = 0; y < height && !alphaSeen; ++y) {
      const uint8_t* s = xorRows.data() + int64_t(hh - 1 - y) * xorRow;
      for (int32_t x = 0; x < width; ++x)
        if (s[4 * x + 3] != 0) {
          alphaSeen = true;
          break;
        }
    }
  }
  for (int32_t y = 0; y < height && !Progress.IsAborting(); ++y) {
    const uint8_t* s = xorRows.data() + int64_t(hh - 1 - y) * xorRow;
    const uint8_t* a = andRows.data() + int64_t(hh - 1 - y) * andRow;
    uint8_t* d = Bitmap->GetScanline(y);
    uint8_t* m = wantAlpha ? AlphaMask->GetScanline(y) : nullptr;
    for (int32_t x = 0; x < width; ++x) {
      const bool transparent = haveAnd && GetBit(a, x);
      bool maskFromAnd = true;
      if (format == ie1g) {
        const bool bit = bits == 1 ? GetBit(s, x) : false;
        SetBit(d, x, transparent ? (bit != whiteBackground) : bit);
      } else if (format == ie8p) {
        int32_t index = 0;
        switch (bits) {
          case 2: index = (s[x >> 2] >> (6 - 2 * (x & 3))) & 3; break;
          case 4: index = (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; break;
          default: index = s[x]; break;
        }
        d[x] = uint8_t(index);
      } else {
        TRGB c;
        switch (bits) {
          case 1: c = table[GetBit(s, x) ? 1 : 0]; break;
          case 2: c = table[size_t((s[x >> 2] >> (6 - 2 * (x & 3))) & 3)]; break;
          case 4: c = table[size_t((s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15)]; break;
          case 8: c = table[s[x]]; break;
          case 16: {
            const uint16_t v = Le16(s + 2 * x);
            c = TRGB{uint8_t(((v & 31) * 255) / 31), uint8_t((((v >> 5) & 31) * 255) / 31),
                     uint8_t((((v >> 10) & 31) * 255) / 31)};
            break;
          }
          default: c = TRGB{s[(bits / 8) * x], s[(bits / 8) * x + 1], s[(bits / 8) * x + 2]}; break;
        }
        if (bits <= 8 && transparent) c = Req.Background;
        reinterpret_cast<TRGB*>(d)[x] = c;
        if (bits == 32 && alphaSeen) {
          maskFromAnd = false;
          if (m) m[x] = s[4 * x + 3];
        }
      }
      if (m && maskFromAnd) m[x] = transparent ? 0 : 255;
    }
    if (Progress.fOnProgress) Progress.Report(int32_t(int64_t(y + 1) * 100 / height));
  }
  if (wantAlpha && !Req.Cursor) {
    AlphaMask->UpdateFullFlag();
    if (AlphaMask->GetFull()) AlphaMask.reset();
  }
}

// Reads the directory and answers the wanted entry; false (abort set) when
// there is none.
bool ReadEntry(TStream* Stream, uint16_t Type, int32_t Index, TIOParamsVals& Params, TIEProgressRec& Progress,
               TIcoEntry& Entry) {
  uint8_t h[kDirHeader];
  if (Stream->Read(h, kDirHeader) != kDirHeader || Le16(h) != 0 || Le16(h + 2) != Type) {
    Progress.SetAborting();
    return false;
  }
  const int32_t count = Le16(h + 4);
  if (Index < 0 || Index >= count) {
    Progress.SetAborting();
    return false;
  }
  std::vector<uint8_t> dir(size_t(count) * kDirEntry);
  if (Stream->Read(dir.data(), int64_t(dir.size())) != int64_t(dir.size())) {
    Progress.SetAborting();
    return false;
  }
  if (Type == 1) {
    for (auto& s : Params.IcoWriteSizes) s = TSize{0, 0};
    for (auto& b : Params.IcoWriteBitDepths) b = 0;
    for (int32_t i = 0; i < std::min(count, 16); ++i) {
      const TIcoEntry e = ParseEntry(dir.data() + size_t(i) * kDirEntry);
      Params.IcoWriteSizes[i] = TSize{e.Width == 0 ? 256 : e.Width, e.Height == 0 ? 256 : e.Height};
      Params.IcoWriteBitDepths[i] =
          e.BitCount != 0 ? e.BitCount : (e.ColorCount != 0 ? IEColorCountToBitCount(e.ColorCount) : 24);
    }
  }
  Params.SetImageCount(count);
  Entry = ParseEntry(dir.data() + size_t(Index) * kDirEntry);
  return true;
}

}  // namespace

bool IETryIco(TStream* Stream) { return IsDirectory(Stream, 1); }
bool IETryCur(TStream* Stream) { return IsDirectory(Stream, 2); }

int32_t IcoImageCount(TStream* Stream) {
  const int64_t start = Stream->GetPosition();
  uint8_t h[kDirHeader] = {};
  const bool ok = Stream->Read(h, kDirHeader) == kDirHeader;
  Stream->Seek(start, soBeginning);
  return ok ? Le16(h + 4) : 0;
}

void IcoReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  const int64_t start = Stream->GetPosition();
  TBodyRequest req;
  req.Background = Params.IcoFillColor;
  int64_t imageStart = start;
  if (Params.FromResource) {
    Params.IcoImageIndex = 0;
  } else {
    uint8_t sig[2] = {};
    Stream->Read(sig, 2);
    Stream->Seek(start, soBeginning);
    if (sig[0] == 'B' && sig[1] == 'M') {
      // A bare bitmap file where an icon was expected (resources often hold
      // one): read it as the bitmap it is.
      BmpReadStream(Stream, Bitmap, static_cast<int32_t>(std::min<int64_t>(Stream->GetSize() - start, INT32_MAX)),
                    Params, Progress, ParamsOnly, false, AlphaMask, IgnoreAlpha);
      return;
    }
    TIcoEntry e;
    if (!ReadEntry(Stream, 1, Params.IcoImageIndex, Params, Progress, e)) return;
    req.EntryWidth = e.Width == 0 ? 256 : e.Width;
    req.EntryHeight = e.Height == 0 ? 256 : e.Height;
    req.EntryBitCount = e.BitCount;
    req.EntryColorCount = e.ColorCount;
    imageStart = start + e.Offset;
    if (imageStart + kInfoHeader > Stream->GetSize()) {
      Progress.SetAborting();
      return;
    }
  }
  uint8_t sig[8] = {};
  Stream->Seek(imageStart, soBeginning);
  Stream->Read(sig, 8);
  static const uint8_t kPng[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  if (std::memcmp(sig, kPng, 8) == 0) {
    Stream->Seek(imageStart, soBeginning);
    PngReadStream(Stream, Bitmap, Params, Progress, ParamsOnly);
    return;
  }
  if (Params.FromResource) {
    req.EntryWidth = 0;
    req.EntryHeight = 0;
  }
  ReadBody(Stream, imageStart, req, Bitmap, Params, Progress, ParamsOnly, AlphaMask, IgnoreAlpha);
  if (Params.FromResource) Params.IcoWriteSizes[0] = TSize{Params.Width, Params.Height};
}

void CurReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  const int64_t start = Stream->GetPosition();
  TBodyRequest req;
  req.Cursor = true;
  req.Background = Params.CurFillColor;
  int64_t imageStart = start;
  if (Params.FromResource) {
    uint8_t hs[4];
    if (Stream->Read(hs, 4) != 4) {
      Progress.SetAborting();
      return;
    }
    Params.CurHotSpotX = Le16(hs);
    Params.CurHotSpotY = Le16(hs + 2);
    imageStart = start + 4;
  } else {
    TIcoEntry e;
    if (!ReadEntry(Stream, 2, Params.CurImageIndex, Params, Progress, e)) return;
    req.EntryWidth = e.Width == 0 ? 256 : e.Width;
    req.EntryHeight = e.Height == 0 ? 256 : e.Height;
    req.EntryColorCount = e.ColorCount == 255 ? 256 : e.ColorCount;
    Params.CurHotSpotX = e.Planes;
    Params.CurHotSpotY = e.BitCount;
    imageStart = start + e.Offset;
  }
  ReadBody(Stream, imageStart, req, Bitmap, Params, Progress, ParamsOnly, AlphaMask, IgnoreAlpha);
}
