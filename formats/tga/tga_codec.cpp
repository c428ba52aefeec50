#include "formats/tga/tga_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/codec_table.h"
#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/pixel_utils.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "kernels/quantizer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int32_t kHeaderSize = 18;
constexpr int32_t kFooterSize = 26;
constexpr int32_t kExtensionSize = 495;
const char kSignature[] = "TRUEVISION-XFILE.";

struct TTgaHeader {
  uint8_t IdLength = 0;
  uint8_t ColorMapType = 0;
  uint8_t ImageType = 0;
  uint16_t MapFirst = 0;
  uint16_t MapLength = 0;
  uint8_t MapEntrySize = 0;
  uint16_t XOrigin = 0;
  uint16_t YOrigin = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint8_t Depth = 0;
  uint8_t Descriptor = 0;
};

uint16_t Le16(const uint8_t* P) { return IEGetWord(P, false); }
uint32_t Le32(const uint8_t* P) { return IEGetDWord(P, false); }
void Put16(uint8_t* P, uint32_t V) { IEPutWord(P, V, false); }
void Put32(uint8_t* P, uint32_t V) { IEPutDWord(P, V, false); }

TTgaHeader ParseHeader(const uint8_t* B) {
  TTgaHeader h;
  h.IdLength = B[0];
  h.ColorMapType = B[1];
  h.ImageType = B[2];
  h.MapFirst = Le16(B + 3);
  h.MapLength = Le16(B + 5);
  h.MapEntrySize = B[7];
  h.XOrigin = Le16(B + 8);
  h.YOrigin = Le16(B + 10);
  h.Width = Le16(B + 12);
  h.Height = Le16(B + 14);
  h.Depth = B[16];
  h.Descriptor = B[17];
  return h;
}

bool TypeAndDepthOk(const TTgaHeader& H) {
  const bool type = H.ImageType == 1 || H.ImageType == 2 || H.ImageType == 3 || H.ImageType == 9 ||
                    H.ImageType == 10 || H.ImageType == 11;
  const bool depth = H.Depth == 1 || H.Depth == 4 || H.Depth == 8 || H.Depth == 16 || H.Depth == 24 || H.Depth == 32;
  return type && depth;
}

// The stream through an 8 KB buffer.
class TTgaInput {
 public:
  explicit TTgaInput(TStream* Stream) : FStream(Stream) {}
  bool Read(uint8_t* Dest, int64_t Count) {
    while (Count > 0) {
      if (FPos == FLen) {
        FPos = 0;
        const int64_t got = FStream->Read(FBuf, sizeof(FBuf));
        FLen = got > 0 ? got : 0;
        if (FLen == 0) return false;
      }
      const int64_t n = std::min(Count, FLen - FPos);
      std::memcpy(Dest, FBuf + FPos, size_t(n));
      FPos += n;
      Dest += n;
      Count -= n;
    }
    return true;
  }
  bool Skip(int64_t Count) {
    uint8_t tmp[256];
    while (Count > 0) {
      const int64_t n = std::min<int64_t>(Count, sizeof(tmp));
      if (!Read(tmp, n)) return false;
      Count -= n;
    }
    return true;
  }

 private:
  TStream* FStream;
  uint8_t FBuf[8192];
  int64_t FPos = 0;
  int64_t FLen = 0;
};

// Decodes one row; a run-length packet cut at the row's end carries over to
// the next row.
class TTgaRowDecoder {
 public:
  TTgaRowDecoder(TTgaInput& In, const TTgaHeader& H, const TRGB* Palette, const uint8_t* PaletteAlpha,
                 bool PaletteHasAlpha)
      : FIn(In), FH(H), FPalette(Palette), FPaletteAlpha(PaletteAlpha), FPaletteHasAlpha(PaletteHasAlpha) {
    FBytes = (H.Depth + 7) / 8;
  }
  // Row: width x 3 bytes (1-bit: packed); Alpha: width bytes or null.
  bool DecodeRow(uint8_t* Row, uint8_t* Alpha) {
    const int32_t width = FH.Width;
    if (FH.Depth == 1) return FIn.Read(Row, (width + 7) / 8);
    const bool rle = FH.ImageType >= 9;
    for (int32_t x = 0; x < width;) {
      if (!rle) {
        if (!ReadPixel()) return false;
        Put(Row, Alpha, x++);
        continue;
      }
      if (FLeft == 0) {
        uint8_t head = 0;
        if (!FIn.Read(&head, 1)) return false;
        FLeft = (head & 127) + 1;
        FRun = (head & 0x80) != 0;
        if (FRun && !ReadPixel()) return false;
      }
      while (FLeft > 0 && x < width) {
        if (!FRun && !ReadPixel()) return false;
        Put(Row, Alpha, x++);
        --FLeft;
      }
    }
    return true;
  }

 private:
  bool ReadPixel() { return FIn.Read(FPixel, FBytes); }
  void Put(uint8_t* Row, uint8_t* Alpha, int32_t X) {
    uint8_t* d = Row + 3 * X;
    switch (FH.Depth) {
      case 8: {
        const TRGB c = FPalette[FPixel[0]];
        d[0] = c.b, d[1] = c.g, d[2] = c.r;
        if (Alpha && FPaletteHasAlpha) Alpha[X] = FPaletteAlpha[FPixel[0]];
        break;
      }
      case 16: {
        const uint16_t v = Le16(FPixel);
        d[0] = uint8_t((v & 31) * 8);
        d[1] = uint8_t(((v >> 5) & 31) * 8);
        d[2] = uint8_t(((v >> 10) & 31) * 8);
        break;
      }
      default:
        d[0] = FPixel[0], d[1] = FPixel[1], d[2] = FPixel[2];
        if (FH.Depth == 32 && Alpha) Alpha[X] = FPixel[3];
        break;
    }
  }

  TTgaInput& FIn;
  const TTgaHeader& FH;
  const TRGB* FPalette;
  const uint8_t* FPaletteAlpha;
  bool FPaletteHasAlpha;
  int32_t FBytes = 0;
  uint8_t FPixel[4] = {};
  int32_t FLeft = 0;
  bool FRun = false;
};

std::string FieldText(const uint8_t* P, int32_t Size) {
  int32_t n = 0;
  while (n < Size && P[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(P), size_t(n));
}

void ReadFooter(TStream* Stream, int64_t Start, TIOParamsVals& Params) {
  Params.TgaAuthor.clear();
  Params.TgaJobName.clear();
  Params.TgaDate = Date();
  Params.TgaKeyColor = TRGB{};
  Params.TgaAspectRatio = 1.0;
  Params.TgaGamma = 2.2;
  const int64_t size = Stream->GetSize();
  if (size - Start < kHeaderSize + kFooterSize) return;
  uint8_t foot[kFooterSize];
  Stream->Seek(size - kFooterSize, soBeginning);
  if (Stream->Read(foot, kFooterSize) != kFooterSize) return;
  if (FieldText(foot + 8, 18) != kSignature) return;
  const uint32_t offset = Le32(foot);
  // The extension area must lie between the header and the footer.
  if (offset == 0 || offset < kHeaderSize || int64_t(offset) + kExtensionSize > size - Start - kFooterSize) return;
  uint8_t ext[kExtensionSize];
  Stream->Seek(Start + offset, soBeginning);
  if (Stream->Read(ext, kExtensionSize) != kExtensionSize) return;
  Params.TgaAuthor = FieldText(ext + 2, 41);
  Params.TgaJobName = FieldText(ext + 379, 41);
  const uint16_t month = Le16(ext + 367), day = Le16(ext + 369), year = Le16(ext + 371);
  const uint16_t hour = Le16(ext + 373), minute = Le16(ext + 375), second = Le16(ext + 377);
  if (month != 0 && day != 0 && year != 0 && year < 2500 && month < 13 && day < 32 && hour < 24 && minute < 60 &&
      second < 60) {
    try {
      Params.TgaDate = EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
    } catch (...) {
      // No calendar date (30 February): today's date stays.
    }
  }
  Params.TgaKeyColor.r = ext[471];
  Params.TgaKeyColor.g = ext[472];
  Params.TgaKeyColor.b = ext[473];
  const uint16_t an = Le16(ext + 474), ad = Le16(ext + 476), gn = Le16(ext + 478), gd = Le16(ext + 480);
  if (an != 0 && ad != 0) Params.TgaAspectRatio = double(an) / ad;
  if (gn != 0 && gd != 0) Params.TgaGamma = double(gn) / gd;
}

void WriteChecked(TStream* Stream, const void* Data, int64_t Count, TIEProgressRec& Progress) {
  if (Count > 0 && Stream->Write(Data, Count) != Count) Progress.SetAborting();
}

// Numerator and denominator of a ratio in 16 bits each: over 10000 when it
// fits, otherwise over the largest denominator that keeps the numerator in
// range; negative and non-finite values give 0.
void Ratio16(double Value, uint16_t& Num, uint16_t& Den) {
  if (!std::isfinite(Value) || Value <= 0) {
    Num = 0;
    Den = 10000;
    return;
  }
  double den = 10000;
  if (Value * den > 65535) den = std::max(1.0, std::floor(65535 / Value));
  Num = uint16_t(std::min(65535.0, std::trunc(Value * den)));
  Den = uint16_t(den);
}

// Two colours exactly: a 1-bit copy whose lighter colour is white; null
// otherwise.
std::unique_ptr<TIEBitmap> TwoColourTo1Bit(TIEBitmap* Source) {
  const int32_t w = Source->GetWidth(), h = Source->GetHeight();
  TRGB c[2];
  int32_t n = 0;
  for (int32_t y = 0; y < h; ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(Source->GetScanline(y));
    for (int32_t x = 0; x < w; ++x) {
      if ((n > 0 && row[x] == c[0]) || (n > 1 && row[x] == c[1])) continue;
      if (n == 2) return nullptr;
      c[n++] = row[x];
    }
  }
  if (n != 2) return nullptr;
  const TRGB white = IERGBToGray(c[0]) >= IERGBToGray(c[1]) ? c[0] : c[1];
  auto out = TIEBitmap::CreateSized(w, h, ie1g);
  for (int32_t y = 0; y < h; ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(Source->GetScanline(y));
    uint8_t* d = out->GetScanline(y);
    std::memset(d, 0, size_t(out->GetRowLen()));
    for (int32_t x = 0; x < w; ++x)
      if (row[x] == white) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return out;
}

// Run-length codes N pixels of Size bytes into Out.
void RleEncodeRow(const uint8_t* Row, int32_t N, int32_t Size, std::vector<uint8_t>& Out) {
  Out.clear();
  auto same = [&](int32_t A, int32_t B) { return std::memcmp(Row + A * Size, Row + B * Size, size_t(Size)) == 0; };
  int32_t p = 0;
  while (p < N) {
    const int32_t v = p;
    int32_t k = 1;
    ++p;
    while (p < N && same(p, v) && k < 128) ++p, ++k;
    if (k >= 2) {
      Out.push_back(uint8_t((k - 1) | 0x80));
      Out.insert(Out.end(), Row + v * Size, Row + (v + 1) * Size);
      continue;
    }
    // A raw packet stops before a pixel that equals its successor.
    --p;
    k = 0;
    const int32_t first = p;
    while (p < N - 1 && !same(p, p + 1) && k < 127) ++p, ++k;
    if (p == N - 1) ++p, ++k;
    Out.push_back(uint8_t(k - 1));
    Out.insert(Out.end(), Row + first * Size, Row + (first + k) * Size);
  }
}

}  // namespace

bool IETryTga(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->GetPosition();
  bool ok = false;
  try {
    uint8_t b[kHeaderSize];
    if (Stream->Read(b, kHeaderSize) == kHeaderSize) {
      const TTgaHeader h = ParseHeader(b);
      ok = TypeAndDepthOk(h) && h.ColorMapType <= 1 && h.Width != 0 && h.Height != 0;
    }
  } catch (...) {
    ok = false;
  }
  Stream->Seek(start, soBeginning);
  return ok;
}

void TgaReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  TRGB palette[256];
  uint8_t paletteAlpha[256];
  std::memset(paletteAlpha, 255, sizeof(paletteAlpha));
  bool paletteHasAlpha = false;
  const int64_t start = Stream->GetPosition();
  ReadFooter(Stream, start, Params);
  Stream->Seek(start, soBeginning);
  auto in = std::make_unique<TTgaInput>(Stream);

  uint8_t hb[kHeaderSize];
  if (!in->Read(hb, kHeaderSize)) {
    Progress.SetAborting();
    return;
  }
  const TTgaHeader h = ParseHeader(hb);
  Params.TgaXOrigin = h.XOrigin;
  Params.TgaYOrigin = h.YOrigin;
  // 4-bit pixels have no decoder, run-length 1-bit images neither; colour
  // maps need an entry size that says how their entries are coded.
  const bool mapOk = h.ColorMapType == 0 ||
                     (h.ColorMapType == 1 && (h.MapEntrySize == 15 || h.MapEntrySize == 16 ||
                                              h.MapEntrySize == 24 || h.MapEntrySize == 32));
  if (!TypeAndDepthOk(h) || h.Depth == 4 || (h.Depth == 1 && h.ImageType >= 9) || !mapOk || h.Width == 0 ||
      h.Height == 0 || ((h.ImageType == 1 || h.ImageType == 9) && !(h.Depth == 8 && h.ColorMapType == 1))) {
    Progress.SetAborting();
    return;
  }
  std::string id(h.IdLength, '\0');
  if (!in->Read(reinterpret_cast<uint8_t*>(id.data()), h.IdLength)) {
    Progress.SetAborting();
    return;
  }
  // The zero bytes that end the text are the field's terminator, not text.
  while (!id.empty() && id.back() == '\0') id.pop_back();
  Params.TgaImageId = id;

  for (int32_t i = 0; i < 256; ++i) {
    palette[i].r = uint8_t(32 * (i >> 5) + 28);
    palette[i].g = uint8_t(32 * ((i >> 2) & 7) + 28);
    palette[i].b = uint8_t(64 * (i & 3) + 60);
  }
  Params.FreeColorMap();
  if (h.ColorMapType == 1) {
    const int32_t entryBytes = (h.MapEntrySize + 7) / 8;
    for (int32_t i = 0; i < h.MapLength; ++i) {
      uint8_t e[4] = {};
      if (!in->Read(e, entryBytes)) {
        Progress.SetAborting();
        return;
      }
      // Entries past the 256 an 8-bit index can reach are read over.
      const int32_t index = h.MapFirst + i;
      if (index > 255) continue;
      TRGB& c = palette[index];
      if (entryBytes == 2) {
        const uint16_t v = Le16(e);
        c.r = uint8_t(((v >> 10) & 31) * 8);
        c.g = uint8_t(((v >> 5) & 31) * 8);
        c.b = uint8_t((v & 31) * 8);
      } else {
        c.b = e[0], c.g = e[1], c.r = e[2];
        if (entryBytes == 4) {
          paletteAlpha[index] = e[3];
          paletteHasAlpha = true;
        }
      }
    }
    const int32_t count = std::min<int32_t>(h.MapLength, 256);
    Params.ColorMapCount = count;
    if (count > 0) {
      Params.ColorMap = std::make_unique<TRGB[]>(size_t(count));
      std::copy(palette, palette + count, Params.ColorMap.get());
    }
    Params.TgaGray = false;
  } else if (h.Depth == 8) {
    for (int32_t i = 0; i < 256; ++i) palette[i] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
    Params.TgaGray = true;
  } else if (h.Depth == 1) {
    palette[0] = TRGB{0, 0, 0};
    palette[1] = TRGB{255, 255, 255};
  }
  Params.TgaCompressed = h.ImageType >= 9;
  Params.Width = Params.StoredWidth = h.Width;
  Params.Height = Params.StoredHeight = h.Height;
  Params.SetDpiX(IEDefaultDpiX);
  Params.SetDpiY(IEDefaultDpiY);
  Params.SetImageCount(1);
  switch (h.Depth) {
    case 1: Params.BitsPerSample = 1, Params.SamplesPerPixel = 1; break;
    case 8: Params.BitsPerSample = 8, Params.SamplesPerPixel = 1; break;
    case 16: Params.BitsPerSample = 5, Params.SamplesPerPixel = 3; break;
    case 24: Params.BitsPerSample = 8, Params.SamplesPerPixel = 3; break;
    default: Params.BitsPerSample = 8, Params.SamplesPerPixel = 4; break;
  }
  if (ParamsOnly || Bitmap == nullptr) return;

  // The least the pixel data can take: every pixel stored, or one packet of
  // 128 pixels per header byte and pixel value.  Nothing is allocated for a
  // header that asks for more than the stream holds.
  const int64_t pixels = int64_t(h.Width) * h.Height;
  const int64_t bytes = (h.Depth + 7) / 8;
  const int64_t mapBytes = h.ColorMapType == 1 ? int64_t(h.MapLength) * ((h.MapEntrySize + 7) / 8) : 0;
  const int64_t least = h.Depth == 1 ? (int64_t(h.Width) + 7) / 8 * h.Height
                                     : (h.ImageType >= 9 ? (pixels + 127) / 128 * (1 + bytes) : pixels * bytes);
  if (Stream->GetSize() - start - kHeaderSize - h.IdLength - mapBytes < least) {
    Progress.SetAborting();
    return;
  }
  const int32_t width = h.Width, height = h.Height;
  if (!Bitmap->Allocate(width, height, h.Depth == 1 ? ie1g : ie24RGB)) {
    Progress.SetAborting();
    return;
  }
  const bool wantAlpha = !IgnoreAlpha && (h.Depth == 32 || (h.ColorMapType == 1 && h.MapEntrySize == 32));
  std::vector<uint8_t> alphaRow;
  if (wantAlpha) {
    if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
    AlphaMask->AllocateBits(width, height, 8);
    AlphaMask->Fill(255);
    AlphaMask->SetFull(false);
    alphaRow.assign(size_t(width), 255);
  }
  std::vector<uint8_t> row(h.Depth == 1 ? size_t((width + 7) / 8) : size_t(width) * 3);
  TTgaRowDecoder decoder(*in, h, palette, paletteAlpha, paletteHasAlpha);
  const bool topDown = (h.Descriptor & 0x20) != 0;
  const bool mirrored = (h.Descriptor & 0x10) != 0;
  const double step = 100.0 / height;
  for (int32_t i = 0; i < height && !Progress.IsAborting(); ++i) {
    if (!decoder.DecodeRow(row.data(), wantAlpha ? alphaRow.data() : nullptr)) {
      Progress.SetAborting();
      break;
    }
    // Right-to-left rows are turned round, their alpha with them.
    if (mirrored && h.Depth != 1) {
      TRGB* px = reinterpret_cast<TRGB*>(row.data());
      std::reverse(px, px + width);
      if (wantAlpha) std::reverse(alphaRow.begin(), alphaRow.end());
    } else if (mirrored) {
      std::vector<uint8_t> flipped(row.size(), 0);
      for (int32_t x = 0; x < width; ++x)
        if (row[size_t(x >> 3)] & (0x80 >> (x & 7))) flipped[size_t((width - 1 - x) >> 3)] |= uint8_t(0x80 >> ((width - 1 - x) & 7));
      row.swap(flipped);
    }
    const int32_t y = topDown ? i : height - 1 - i;
    std::memcpy(Bitmap->GetScanline(y), row.data(), row.size());
    if (wantAlpha) std::memcpy(AlphaMask->GetScanline(y), alphaRow.data(), size_t(width));
    if (Progress.fOnProgress) Progress.Report(int32_t((i + 1) * step));
  }
  if (AlphaMask) {
    AlphaMask->UpdateBoundingBox();
    if (AlphaMask->IsEmpty()) AlphaMask.reset();
  }
}

void TgaWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    TIEMask* AlphaMask) {
  if (Bitmap == nullptr || (Bitmap->GetPixelFormat() != ie24RGB && Bitmap->GetPixelFormat() != ie1g)) return;
  const int64_t start = Stream->GetPosition();
  TIEBitmap* src = Bitmap;
  std::unique_ptr<TIEBitmap> copy;
  TRGB palette[256] = {};
  palette[1] = TRGB{255, 255, 255};
  std::unique_ptr<TIEQuantizer> quantizer;
  std::vector<TRGB> qPalette(256);
  int32_t depth = 24;
  int32_t mapLength = 0;
  const bool single = Params.SamplesPerPixel == 1;
  if (single && Params.BitsPerSample == 1) {
    if (src->GetPixelFormat() != ie1g) {
      copy = TwoColourTo1Bit(src);
      if (!copy) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
        copy->RemoveAlphaChannel();
        copy->ConvertToPixelFormat(ie1g);
      }
      src = copy.get();
    }
    depth = 1;
    Params.TgaCompressed = false;
  } else if (single) {
    // Four-bit requests are written as 8-bit colour-mapped images of 16
    // colours: 4-bit Targa files are not read by common readers.
    const int32_t colours = Params.BitsPerSample == 4 ? 16 : 256;
    depth = 8;
    if (Params.BitsPerSample == 4) Params.TgaGray = false;
    if (!Params.TgaGray) {
      mapLength = colours;
      if (src->GetPixelFormat() == ie24RGB) {
        quantizer = std::make_unique<TIEQuantizer>(src, qPalette, colours);
        Params.FreeColorMap();
        Params.ColorMapCount = colours;
        Params.ColorMap = std::make_unique<TRGB[]>(size_t(colours));
        std::copy(qPalette.begin(), qPalette.begin() + colours, Params.ColorMap.get());
        std::copy(qPalette.begin(), qPalette.begin() + colours, palette);
      }
    }
    if (Params.BitsPerSample == 4) Params.TgaCompressed = false;
  } else if (AlphaMask != nullptr) {
    depth = 32;
    Params.TgaCompressed = false;
  }
  const int32_t width = src->GetWidth(), height = src->GetHeight();
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    Progress.SetAborting();
    return;
  }
  if (depth == 32 && (AlphaMask->GetWidth() < width || AlphaMask->GetHeight() < height ||
                      AlphaMask->GetBitsPerPixel() != 8)) {
    Progress.SetAborting();
    return;
  }
  const bool gray8 = depth == 8 && Params.TgaGray;
  const bool compressed = Params.TgaCompressed && (depth == 8 || depth == 24);

  // The description is at most 254 bytes so that it and its terminator fit
  // the one-byte ID length.
  std::string id = Params.TgaImageId;
  if (id.size() > 254) id.resize(254);
  uint8_t hb[kHeaderSize] = {};
  hb[0] = uint8_t(id.size() + 1);
  hb[1] = mapLength > 0 ? 1 : 0;
  switch (depth) {
    case 1: hb[2] = 3; break;
    case 8: hb[2] = gray8 ? (compressed ? 11 : 3) : (compressed ? 9 : 1); break;
    default: hb[2] = compressed ? 10 : 2; break;
  }
  Put16(hb + 5, uint32_t(mapLength));
  hb[7] = mapLength > 0 ? 24 : 0;
  Put16(hb + 8, uint32_t(Params.TgaXOrigin));
  Put16(hb + 10, uint32_t(Params.TgaYOrigin));
  Put16(hb + 12, uint32_t(width));
  Put16(hb + 14, uint32_t(height));
  hb[16] = uint8_t(depth);
  hb[17] = depth == 32 ? 0x28 : 0x20;
  WriteChecked(Stream, hb, kHeaderSize, Progress);
  id.push_back('\0');
  WriteChecked(Stream, id.data(), int64_t(id.size()), Progress);
  if (mapLength > 0) {
    std::vector<uint8_t> map;
    for (int32_t i = 0; i < mapLength; ++i) map.insert(map.end(), {palette[i].b, palette[i].g, palette[i].r});
    WriteChecked(Stream, map.data(), int64_t(map.size()), Progress);
  }

  const int32_t pixelBytes = depth == 1 ? 0 : (depth == 8 ? 1 : (depth == 24 ? 3 : 4));
  std::vector<uint8_t> row(depth == 1 ? size_t((width + 7) / 8) : size_t(width) * size_t(pixelBytes));
  std::vector<uint8_t> packed;
  const bool oneBitSource = src->GetPixelFormat() == ie1g;
  const double step = 100.0 / height;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = src->GetScanline(y);
    auto pixel = [&](int32_t X) -> TRGB {
      if (oneBitSource) return (s[X >> 3] & (0x80 >> (X & 7))) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
      return reinterpret_cast<const TRGB*>(s)[X];
    };
    switch (depth) {
      case 1:
        std::memcpy(row.data(), s, row.size());
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) {
          const TRGB c = pixel(x);
          if (gray8) {
            row[size_t(x)] = uint8_t(IEClampByte(IERGBToGray(c)));
          } else if (quantizer) {
            int32_t i = quantizer->ColorToIndex(c);
            if (i < 0 || i >= mapLength) i = IEFindNearestColorIndex(palette, mapLength, c);
            row[size_t(x)] = uint8_t(i);
          } else {
            row[size_t(x)] = uint8_t(oneBitSource && c.r ? 1 : 0);
          }
        }
        break;
      default:
        for (int32_t x = 0; x < width; ++x) {
          const TRGB c = pixel(x);
          uint8_t* d = row.data() + size_t(x) * size_t(pixelBytes);
          d[0] = c.b, d[1] = c.g, d[2] = c.r;
          if (depth == 32) d[3] = AlphaMask->GetScanline(y)[x];
        }
        break;
    }
    if (compressed) {
      RleEncodeRow(row.data(), width, pixelBytes, packed);
      WriteChecked(Stream, packed.data(), int64_t(packed.size()), Progress);
    } else {
      WriteChecked(Stream, row.data(), int64_t(row.size()), Progress);
    }
    if (Progress.fOnProgress) Progress.Report(int32_t((y + 1) * step));
  }

  uint8_t ext[kExtensionSize] = {};
  const uint32_t extOffset = uint32_t(Stream->GetPosition() - start);
  Put16(ext, kExtensionSize);
  std::memcpy(ext + 2, Params.TgaAuthor.data(), std::min<size_t>(40, Params.TgaAuthor.size()));
  std::memcpy(ext + 379, Params.TgaJobName.data(), std::min<size_t>(40, Params.TgaJobName.size()));
  uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  if (std::isfinite(Params.TgaDate) && Params.TgaDate > -693593 && Params.TgaDate < 2958466) {
    DecodeDate(Params.TgaDate, year, month, day);
    DecodeTime(Params.TgaDate, hour, minute, second, msec);
  }
  Put16(ext + 367, month);
  Put16(ext + 369, day);
  Put16(ext + 371, year);
  Put16(ext + 373, hour);
  Put16(ext + 375, minute);
  Put16(ext + 377, second);
  ext[471] = Params.TgaKeyColor.r;
  ext[472] = Params.TgaKeyColor.g;
  ext[473] = Params.TgaKeyColor.b;
  uint16_t num = 0, den = 0;
  Ratio16(Params.TgaAspectRatio, num, den);
  Put16(ext + 474, num);
  Put16(ext + 476, den);
  Ratio16(Params.TgaGamma, num, den);
  Put16(ext + 478, num);
  Put16(ext + 480, den);
  WriteChecked(Stream, ext, kExtensionSize, Progress);
  uint8_t foot[kFooterSize] = {};
  Put32(foot, extOffset);
  std::memcpy(foot + 8, kSignature, sizeof(kSignature));
  WriteChecked(Stream, foot, kFooterSize, Progress);
}

namespace {

TIECodec MakeTgaCodec() {
  TIECodec C;
  C.Format = ioTGA;
  C.Probe = IETryTga;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
    TgaReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly,
                  Result.AlphaMask, Request.ParamsOnly);
  };
  // Images other than 24-bit and 1-bit are written from a 24-bit copy, so the
  // caller's bitmap stays as it is; the alpha plane is the transparency.
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    if (Bitmap == nullptr) return false;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    if (src->GetPixelFormat() != ie24RGB && src->GetPixelFormat() != ie1g) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      copy->ConvertToPixelFormat(ie24RGB);
      src = copy.get();
    }
    std::unique_ptr<TIEMask> mask;
    if (Bitmap->HasAlphaChannel()) {
      mask = std::make_unique<TIEMask>();
      Bitmap->GetAlphaChannel()->CopyToTIEMask(mask.get());
    }
    TgaWriteStream(Stream, src, Params, Progress, mask.get());
    return true;
  };
  return C;
}

const bool Registered = IERegisterCodec(MakeTgaCodec());

}  // namespace
