#include "formats/pcx/pcx_dcx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/settings.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "platform/rtl/streams.h"
#include "foundations/pixel_utils.h"
#include "kernels/dib_stretch.h"
#include "kernels/quantizer.h"

namespace {

constexpr int32_t kHeaderSize = 128;

struct TPcxHeader {
  uint8_t Manufacturer = 10;
  uint8_t Version = 5;
  uint8_t Encoding = 1;
  uint8_t BitsPerPixel = 8;
  uint16_t XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  uint16_t HDpi = 0, VDpi = 0;
  uint8_t Palette[48] = {0};  // red, green, blue per entry
  uint8_t Planes = 1;
  uint16_t BytesPerLine = 0;
  uint16_t PaletteInfo = 1;
};


void ParseHeader(const uint8_t* B, TPcxHeader& H) {
  H.Manufacturer = B[0];
  H.Version = B[1];
  H.Encoding = B[2];
  H.BitsPerPixel = B[3];
  H.XMin = IEGetWord(B + 4, false);
  H.YMin = IEGetWord(B + 6, false);
  H.XMax = IEGetWord(B + 8, false);
  H.YMax = IEGetWord(B + 10, false);
  H.HDpi = IEGetWord(B + 12, false);
  H.VDpi = IEGetWord(B + 14, false);
  std::memcpy(H.Palette, B + 16, 48);
  H.Planes = B[65];
  H.BytesPerLine = IEGetWord(B + 66, false);
  H.PaletteInfo = IEGetWord(B + 68, false);
}

void FormatHeader(const TPcxHeader& H, uint8_t* B) {
  std::memset(B, 0, kHeaderSize);
  B[0] = H.Manufacturer;
  B[1] = H.Version;
  B[2] = H.Encoding;
  B[3] = H.BitsPerPixel;
  IEPutWord(B + 4, H.XMin, false);
  IEPutWord(B + 6, H.YMin, false);
  IEPutWord(B + 8, H.XMax, false);
  IEPutWord(B + 10, H.YMax, false);
  IEPutWord(B + 12, H.HDpi, false);
  IEPutWord(B + 14, H.VDpi, false);
  std::memcpy(B + 16, H.Palette, 48);
  B[65] = H.Planes;
  IEPutWord(B + 66, H.BytesPerLine, false);
  IEPutWord(B + 68, H.PaletteInfo, false);
}

// Writes Count bytes; a short write sets the abort flag.
bool WriteChecked(TStream* Stream, const void* Data, int64_t Count, TIEProgressRec& Progress) {
  if (Count <= 0) return true;
  if (Stream->Write(Data, Count) != Count) {
    Progress.SetAborting();
    return false;
  }
  return true;
}

void ReportRow(TIEProgressRec& Progress, int32_t Row, int32_t Height) {
  if (!Progress.fOnProgress || Height <= 0) return;
  const int32_t p = int32_t(int64_t(Row) * 100 / Height);
  if (p != Progress.last) {
    Progress.last = p;
    Progress.Report(p);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Run-length coding

bool TPcxLineDecoder::PcxDecodeScanLine(uint8_t* Line, int32_t BytesPerLine) {
  int32_t n = 0;
  if (FEncoding == 0) {
    const int64_t k = std::min<int64_t>(BytesPerLine, FSize - FPos);
    if (k > 0) std::memcpy(Line, FData + FPos, size_t(k));
    FPos += std::max<int64_t>(k, 0);
    if (k < BytesPerLine) {
      std::memset(Line + std::max<int64_t>(k, 0), 0, size_t(BytesPerLine - std::max<int64_t>(k, 0)));
      return false;
    }
    return true;
  }
  while (n < BytesPerLine) {
    if (FPendingCount > 0) {
      const int32_t k = std::min(FPendingCount, BytesPerLine - n);
      std::memset(Line + n, FPendingValue, size_t(k));
      n += k;
      FPendingCount -= k;
      continue;
    }
    if (FPos >= FSize) {
      std::memset(Line + n, 0, size_t(BytesPerLine - n));
      return false;
    }
    const uint8_t b = FData[FPos++];
    if (b < 192) {
      Line[n++] = b;
      continue;
    }
    if (FPos >= FSize) {
      std::memset(Line + n, 0, size_t(BytesPerLine - n));
      return false;
    }
    FPendingCount = b & 63;
    FPendingValue = FData[FPos++];
  }
  return true;
}

int32_t PcxEncodeRle(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t Stride,
                     int32_t Offset) {
  int32_t out = 0;
  int32_t i = 0;
  while (i < Count) {
    const uint8_t v = Source[Offset + int64_t(Stride) * i];
    int32_t run = 1;
    while (i + run < Count && run < 63 && Source[Offset + int64_t(Stride) * (i + run)] == v) ++run;
    if (run > 1 || v >= 192) {
      Dest[out++] = uint8_t(192 + run);
      Dest[out++] = v;
    } else {
      Dest[out++] = v;
    }
    i += run;
  }
  if (Count % 2) Dest[out++] = 0;
  return out;
}

// ---------------------------------------------------------------------------
// PCX

void PcxReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int64_t Size,
                   TIEProgressRec& Progress, bool ParamsOnly) {
  try {
    const int64_t start = Stream->GetPosition();
    const int64_t available = Stream->GetSize() - start;
    Size = std::min(Size, available);
    uint8_t raw[kHeaderSize];
    if (Size < kHeaderSize || Stream->Read(raw, kHeaderSize) != kHeaderSize) {
      Progress.SetAborting();
      return;
    }
    TPcxHeader h;
    ParseHeader(raw, h);
    // Only what this reader can decode, with a size the header can hold.
    const int32_t width = int32_t(h.XMax) - int32_t(h.XMin) + 1;
    const int32_t height = int32_t(h.YMax) - int32_t(h.YMin) + 1;
    if (h.Manufacturer != 10 || h.BitsPerPixel > 8 || h.BitsPerPixel == 0 || h.Encoding > 1 ||
        h.Planes == 0 || width <= 0 || height <= 0 ||
        // A scan line shorter than the width needs would make every row read
        // into the next one.
        int64_t(h.BytesPerLine) * 8 < int64_t(width) * h.BitsPerPixel) {
      Progress.SetAborting();
      return;
    }
    // Resolution (the default when the header gives none).
    Params.SetImageCount(1);
    if (h.HDpi == 0 || h.VDpi == 0) {
      Params.SetDpiX(IEDefaultDpiX);
      Params.SetDpiY(IEDefaultDpiY);
    } else {
      Params.SetDpiX(h.HDpi);
      Params.SetDpiY(h.VDpi);
    }
    // Palettes as blue, green, red.
    TRGB pal16[16], pal256[256];
    for (int i = 0; i < 16; ++i) pal16[i] = IECreateRGB(h.Palette[3 * i], h.Palette[3 * i + 1], h.Palette[3 * i + 2]);
    const bool trailing = h.Planes == 1 && h.BitsPerPixel > 4;
    if (trailing) {
      uint8_t p[768];
      if (Size < kHeaderSize + 769) {
        Progress.SetAborting();
        return;
      }
      Stream->SetPosition(start + Size - 768);
      if (Stream->Read(p, 768) != 768) {
        Progress.SetAborting();
        return;
      }
      for (int i = 0; i < 256; ++i) pal256[i] = IECreateRGB(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
      Stream->SetPosition(start + kHeaderSize);
    }
    // What the file holds, into the parameter set.
    Params.BitsPerSample = h.BitsPerPixel;
    Params.SamplesPerPixel = h.Planes;
    Params.Width = width;
    Params.Height = height;
    Params.StoredWidth = width;
    Params.StoredHeight = height;
    Params.PcxVersion = h.Version;
    Params.FreeColorMap();
    if (h.BitsPerPixel == 8 && h.Planes == 1) {
      Params.ColorMap.reset(new TRGB[256]);
      std::copy(pal256, pal256 + 256, Params.ColorMap.get());
      Params.ColorMapCount = 256;
    } else if (h.BitsPerPixel == 1 && h.Planes == 4) {
      Params.ColorMap.reset(new TRGB[16]);
      std::copy(pal16, pal16 + 16, Params.ColorMap.get());
      Params.ColorMapCount = 16;
      Params.BitsPerSample = 4;
      Params.SamplesPerPixel = 1;
    } else if (h.BitsPerPixel < 8) {
      // Up to 16 colours come from the header, more from the trailing
      // palette (which files of 5 to 7 bits per pixel carry).
      const int32_t n = 1 << h.BitsPerPixel;
      Params.ColorMap.reset(new TRGB[size_t(n)]);
      const TRGB* from = n <= 16 ? pal16 : pal256;
      std::copy(from, from + n, Params.ColorMap.get());
      Params.ColorMapCount = n;
    }
    if (ParamsOnly) return;
    // Pixels are decoded for these layouts only; any other would leave the
    // page undecoded, so it fails instead of passing for a picture.
    const bool decodable = (h.Planes == 1 && (h.BitsPerPixel == 1 || h.BitsPerPixel == 4 || h.BitsPerPixel == 8)) ||
                           (h.Planes == 3 && h.BitsPerPixel == 8) || (h.Planes == 4 && h.BitsPerPixel == 1);
    if (!decodable) {
      Progress.SetAborting();
      return;
    }
    // The coded data; a run codes at most 63 bytes in 2, so an image the
    // data could never fill is refused before anything is allocated.
    const int64_t dataSize = Size - kHeaderSize - (trailing ? 769 : 0);
    const int64_t lineBytes = int64_t(h.BytesPerLine) * h.Planes;
    if (dataSize <= 0 || lineBytes * height > dataSize * 32 + 4096) {
      Progress.SetAborting();
      return;
    }
    std::vector<uint8_t> data(size_t(dataSize) + 8, 0);
    const int64_t got = Stream->Read(data.data(), dataSize);
    TPcxLineDecoder dec(data.data(), std::max<int64_t>(got, 0), h.Encoding);
    // The image: 1-bit for monochrome files, 24-bit colour otherwise.
    const bool mono = h.BitsPerPixel == 1 && h.Planes == 1;
    if (!Bitmap->Allocate(width, height, mono ? ie1g : ie24RGB)) {
      Progress.SetAborting();
      return;
    }
    std::vector<uint8_t> lines(size_t(lineBytes), 0);
    for (int32_t y = 0; y < height; ++y) {
      ReportRow(Progress, y, height);
      if (Progress.IsAborting()) break;
      bool full = true;
      for (int32_t pl = 0; pl < h.Planes; ++pl)
        full = dec.PcxDecodeScanLine(&lines[size_t(pl) * h.BytesPerLine], h.BytesPerLine) && full;
      uint8_t* row = Bitmap->GetScanline(y);
      const uint8_t* l = lines.data();
      const int32_t bpl = h.BytesPerLine;
      if (h.Planes == 1 && h.BitsPerPixel == 8) {
        for (int32_t x = 0; x < width; ++x) reinterpret_cast<TRGB*>(row)[x] = pal256[l[x]];
      } else if (h.Planes == 1 && h.BitsPerPixel == 4) {
        for (int32_t x = 0; x < width; ++x)
          reinterpret_cast<TRGB*>(row)[x] = pal16[(x & 1) ? (l[x >> 1] & 15) : (l[x >> 1] >> 4)];
      } else if (mono) {
        std::memcpy(row, l, size_t((width + 7) / 8));
      } else if (h.Planes == 3 && h.BitsPerPixel == 8) {
        for (int32_t x = 0; x < width; ++x) {
          row[3 * x + 2] = l[x];
          row[3 * x + 1] = l[bpl + x];
          row[3 * x] = l[2 * bpl + x];
        }
      } else if (h.Planes == 4 && h.BitsPerPixel == 1) {
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t mask = uint8_t(0x80 >> (x & 7));
          int32_t idx = 0;
          for (int32_t pl = 0; pl < 4; ++pl)
            if (l[pl * bpl + (x >> 3)] & mask) idx |= 1 << pl;
          reinterpret_cast<TRGB*>(row)[x] = pal16[idx];
        }
      }
      if (!full) {
        // The data ended: the rows below keep their allocated content.
        Progress.SetAborting();
        break;
      }
    }
  } catch (...) {
    Progress.SetAborting();
  }
}

void PcxWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TIEProgressRec& Progress) {
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    Progress.SetAborting();
    return;
  }
  // The depth written: 1, 4, 8 or 24 bits; other images go through a 24-bit copy.
  const int32_t samples = std::min(Params.SamplesPerPixel, 3);
  int32_t depth = Params.BitsPerSample * samples;
  if (depth != 1 && depth != 4 && depth != 8) depth = 24;
  std::unique_ptr<TIEBitmap> work;
  TIEBitmap* bmp = Bitmap;
  TPcxHeader h;
  h.Version = uint8_t(Params.PcxVersion);
  h.Encoding = Params.PcxCompression != 0 ? 1 : 0;
  h.XMax = uint16_t(width - 1);
  h.YMax = uint16_t(height - 1);
  h.HDpi = uint16_t(std::clamp(Params.DpiX, 0, 65535));
  h.VDpi = uint16_t(std::clamp(Params.DpiY, 0, 65535));
  h.PaletteInfo = 1;
  if (depth == 1) {
    // 0 black and 1 white unless the two colours of the image say otherwise.
    TRGB c0 = IECreateRGB(0, 0, 0), c1 = IECreateRGB(255, 255, 255);
    if (bmp->GetPixelFormat() != ie1g) {
      work = IEConvertTwoColorTo1Bit(bmp, c0, c1);
      if (!work) {
        c0 = IECreateRGB(0, 0, 0);
        c1 = IECreateRGB(255, 255, 255);
        work = TIEBitmap::CreateSized(width, height, ie1g);
        work->ConvertFrom(bmp);
      }
      bmp = work.get();
    }
    h.Palette[0] = c0.r, h.Palette[1] = c0.g, h.Palette[2] = c0.b;
    h.Palette[3] = c1.r, h.Palette[4] = c1.g, h.Palette[5] = c1.b;
  } else if (bmp->GetPixelFormat() != ie24RGB) {
    work = TIEBitmap::CreateSized(width, height, ie24RGB);
    work->ConvertFrom(bmp);
    bmp = work.get();
  }
  if (bmp->IsEmpty()) {
    Progress.SetAborting();
    return;
  }
  // The header and palette of that depth.
  std::vector<TRGB> palette;
  std::unique_ptr<TIEQuantizer> quantizer;
  int32_t pixelBytes = 0;  // bytes of pixel data per scan line
  switch (depth) {
    case 1:
      h.BitsPerPixel = 1;
      h.Planes = 1;
      pixelBytes = (width + 7) / 8;
      break;
    case 4:
      h.BitsPerPixel = 4;
      h.Planes = 1;
      pixelBytes = (width + 1) / 2;
      palette.assign(16, TRGB());
      quantizer = std::make_unique<TIEQuantizer>(bmp, palette, 16);
      for (int i = 0; i < 16; ++i) {
        h.Palette[3 * i] = palette[size_t(i)].r;
        h.Palette[3 * i + 1] = palette[size_t(i)].g;
        h.Palette[3 * i + 2] = palette[size_t(i)].b;
      }
      break;
    case 8:
      h.BitsPerPixel = 8;
      h.Planes = 1;
      pixelBytes = width;
      palette.assign(256, TRGB());
      quantizer = std::make_unique<TIEQuantizer>(bmp, palette, 256);
      break;
    default:
      h.BitsPerPixel = 8;
      h.Planes = 3;
      pixelBytes = width;
      h.PaletteInfo = 0;
      break;
  }
  h.BytesPerLine = uint16_t(pixelBytes + (pixelBytes & 1));
  uint8_t raw[kHeaderSize];
  FormatHeader(h, raw);
  if (!WriteChecked(Stream, raw, kHeaderSize, Progress)) return;
  // The rows, run-length coded plane by plane.
  std::vector<uint8_t> pixels(size_t(h.BytesPerLine) + 1, 0);
  std::vector<uint8_t> coded(size_t(h.BytesPerLine) * 2 + 2, 0);
  auto index = [&](const TRGB& c) { return uint8_t(std::max(0, quantizer->ColorToIndex(c))); };
  for (int32_t y = 0; y < height; ++y) {
    ReportRow(Progress, y, height);
    if (Progress.IsAborting()) return;
    const uint8_t* row = bmp->GetScanline(y);
    const TRGB* rgb = reinterpret_cast<const TRGB*>(row);
    for (int32_t plane = 0; plane < h.Planes; ++plane) {
      std::fill(pixels.begin(), pixels.end(), 0);
      switch (depth) {
        case 1: std::memcpy(pixels.data(), row, size_t(pixelBytes)); break;
        case 4:
          for (int32_t x = 0; x < width; ++x)
            pixels[size_t(x >> 1)] |= uint8_t((index(rgb[x]) & 15) << ((x & 1) ? 0 : 4));
          break;
        case 8:
          for (int32_t x = 0; x < width; ++x) pixels[size_t(x)] = index(rgb[x]);
          break;
        default:
          // Red, green and blue planes from blue, green, red pixels.
          for (int32_t x = 0; x < width; ++x) pixels[size_t(x)] = row[3 * x + 2 - plane];
          break;
      }
      if (h.Encoding == 1) {
        const int32_t n = PcxEncodeRle(coded.data(), pixels.data(), pixelBytes, 1, 0);
        if (!WriteChecked(Stream, coded.data(), n, Progress)) return;
      } else if (!WriteChecked(Stream, pixels.data(), h.BytesPerLine, Progress)) {
        return;
      }
    }
  }
  // The 256-colour palette after the data of an 8-bit file.
  if (depth == 8 && !Progress.IsAborting()) {
    uint8_t p[769];
    p[0] = 12;
    for (int i = 0; i < 256; ++i) {
      p[1 + 3 * i] = palette[size_t(i)].r;
      p[2 + 3 * i] = palette[size_t(i)].g;
      p[3 + 3 * i] = palette[size_t(i)].b;
    }
    WriteChecked(Stream, p, 769, Progress);
  }
}

// ---------------------------------------------------------------------------
// DCX

namespace {

// The signature and the raw table (up to the terminating 0 or 1023 entries);
// false without the signature.
bool ReadTable(TStream* Stream, std::vector<uint32_t>& Offsets) {
  Offsets.clear();
  const int64_t keep = Stream->GetPosition();
  bool ok = false;
  try {
    Stream->SetPosition(0);
    uint8_t b[4];
    if (Stream->Read(b, 4) == 4 &&
        (uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24) ==
            DcxSignature) {
      ok = true;
      uint8_t table[4 * DcxMaxTableEntries];
      const int64_t n = std::max<int64_t>(Stream->Read(table, sizeof(table)), 0) / 4;
      for (int64_t i = 0; i < n && i < DcxMaxTableEntries - 1; ++i) {
        const uint8_t* p = table + 4 * i;
        const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        if (v == 0) break;
        Offsets.push_back(v);
      }
    }
  } catch (...) {
    ok = false;
  }
  Stream->SetPosition(keep);
  return ok;
}


}  // namespace

bool DcxIsStream(TStream* Stream) {
  std::vector<uint32_t> offsets;
  if (!ReadTable(Stream, offsets)) return false;
  const int64_t size = Stream->GetSize();
  for (uint32_t o : offsets)
    if (o < 8 || int64_t(o) >= size) return false;
  return true;
}

int32_t DcxPageCount(TStream* Stream) {
  std::vector<uint32_t> offsets;
  ReadTable(Stream, offsets);
  return int32_t(offsets.size());
}

std::vector<uint32_t> DcxReadOffsets(TStream* Stream, int32_t& Count) {
  std::vector<uint32_t> offsets;
  ReadTable(Stream, offsets);
  Count = int32_t(offsets.size());
  return offsets;
}

std::vector<int64_t> DcxPageSizes(TStream* Stream, const std::vector<uint32_t>& Offsets,
                                  int32_t Count) {
  const int64_t size = Stream->GetSize();
  std::vector<int64_t> sizes(size_t(std::max(Count, 0)), 0);
  for (int32_t i = 0; i < Count; ++i) {
    int64_t next = size;
    for (int32_t j = 0; j < Count; ++j)
      if (Offsets[size_t(j)] > Offsets[size_t(i)]) next = std::min<int64_t>(next, Offsets[size_t(j)]);
    sizes[size_t(i)] = std::max<int64_t>(next - Offsets[size_t(i)], 0);
  }
  return sizes;
}

void DcxReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool ParamsOnly) {
  try {
    if (!DcxIsStream(Stream)) {
      Progress.SetAborting();
      return;
    }
    int32_t count = 0;
    const std::vector<uint32_t> offsets = DcxReadOffsets(Stream, count);
    if (count == 0) {
      Progress.SetAborting();
      return;
    }
    const std::vector<int64_t> sizes = DcxPageSizes(Stream, offsets, count);
    const int32_t index = std::clamp(Params.DcxPageIndex, 0, count - 1);
    Params.SetImageIndex(index);
    Stream->SetPosition(offsets[size_t(index)]);
    PcxReadStream(Stream, Bitmap, Params, sizes[size_t(index)], Progress, ParamsOnly);
    Params.SetImageCount(count);
  } catch (...) {
    Progress.SetAborting();
  }
}

void DcxInsertPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   TIEProgressRec& Progress) {
  int32_t count = 0;
  std::vector<uint32_t> offsets;
  std::vector<int64_t> sizes;
  // The pages there are (an empty stream starts a new document).
  if (Stream->GetSize() > 0) {
    if (!DcxIsStream(Stream)) {
      Progress.SetAborting();
      return;
    }
    offsets = DcxReadOffsets(Stream, count);
    sizes = DcxPageSizes(Stream, offsets, count);
  }
  if (count + 1 > DcxMaxTableEntries - 1) {
    // The table has no room for another page.
    Progress.SetAborting();
    return;
  }
  // An index past the end appends instead of losing the page.
  const int32_t at = std::clamp(Params.DcxPageIndex, 0, count);
  // The new document in memory: signature, page table, then the pages.
  TMemoryStream out;
  std::vector<uint8_t> table(size_t(4 * (count + 2)), 0);
  uint8_t sig[4];
  IEPutDWord(sig, DcxSignature, false);
  out.WriteBuffer(sig, 4);
  out.WriteBuffer(table.data(), int64_t(table.size()));
  std::vector<uint32_t> newOffsets;
  for (int32_t k = 0; k <= count; ++k) {
    if (k == at) {
      newOffsets.push_back(uint32_t(out.GetPosition()));
      PcxWriteStream(&out, Bitmap, Params, Progress);
      if (Progress.IsAborting()) return;
    }
    if (k < count) {
      newOffsets.push_back(uint32_t(out.GetPosition()));
      Stream->SetPosition(offsets[size_t(k)]);
      IECopyFromStream(&out, Stream, sizes[size_t(k)]);
    }
  }
  // The finished page table, then the whole document replaces the stream.
  for (size_t i = 0; i < newOffsets.size(); ++i) IEPutDWord(&table[4 * i], newOffsets[i], false);
  out.SetPosition(4);
  out.WriteBuffer(table.data(), int64_t(table.size()));
  Stream->SetSize(0);
  Stream->SetPosition(0);
  out.SetPosition(0);
  IECopyFromStream(Stream, &out, out.GetSize());
}

void DcxWriteStream(TStream* Stream, const std::vector<TIEBitmap*>& Pages,
                    const std::vector<TIOParamsVals*>& Params, TIEProgressRec& Progress) {
  const int32_t count = int32_t(std::min(Pages.size(), Params.size()));
  TDcxPageWriter writer(Stream, count, Progress);
  for (int32_t i = 0; i < count && !Progress.IsAborting(); ++i) writer.AddPage(Pages[size_t(i)], *Params[size_t(i)]);
  writer.Finish();
}

TDcxPageWriter::TDcxPageWriter(TStream* Stream, int32_t PageCount, TIEProgressRec& Progress)
    : FStream(Stream), FProgress(Progress) {
  if (PageCount < 0 || PageCount > DcxMaxTableEntries - 1) {
    FProgress.SetAborting();
    return;
  }
  FPageCount = PageCount;
  FStart = Stream->GetPosition();
  FHead.assign(size_t(4 + 4 * (PageCount + 1)), 0);
  IEPutDWord(FHead.data(), DcxSignature, false);
  WriteChecked(Stream, FHead.data(), int64_t(FHead.size()), Progress);
}

void TDcxPageWriter::AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) {
  if (FProgress.IsAborting() || FWritten >= FPageCount) return;
  const int64_t at = FStream->GetPosition() - FStart;
  if (at > int64_t(UINT32_MAX)) {
    // The table holds 32-bit offsets: a page beyond them would be lost.
    FProgress.SetAborting();
    return;
  }
  IEPutDWord(&FHead[size_t(4 + 4 * FWritten)], uint32_t(at), false);
  PcxWriteStream(FStream, Bitmap, Params, FProgress);
  if (!FProgress.IsAborting()) ++FWritten;
}

void TDcxPageWriter::Finish() {
  if (FHead.empty()) return;
  // Entries of pages never written stay 0, which ends the table there.
  for (int32_t i = FWritten; i <= FPageCount; ++i) IEPutDWord(&FHead[size_t(4 + 4 * i)], 0, false);
  const int64_t end = FStream->GetPosition();
  FStream->SetPosition(FStart);
  WriteChecked(FStream, FHead.data(), int64_t(FHead.size()), FProgress);
  FStream->SetPosition(end);
}
