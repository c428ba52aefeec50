#include "formats/gif/gif_codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "formats/checked_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "kernels/quantizer.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"

namespace {

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kComment = 0xFE;
constexpr uint8_t kApplication = 0xFF;

uint16_t Le16(const uint8_t* P) { return IEGetWord(P, false); }
void PutLe16(uint8_t* P, int32_t V) { IEPutWord(P, uint32_t(V), false); }

bool AtEnd(TStream* Stream) { return Stream->GetPosition() >= Stream->GetSize(); }

// One byte; at the end of the stream the trailer, so that every walk ends.
uint8_t ReadBlockByte(TStream* Stream) {
  uint8_t b = 0;
  return Stream->Read(&b, 1) == 1 ? b : kTrailer;
}

// Skips data sub-blocks up to the terminator; false when the data run past the
// end of the stream.
bool SkipSubBlocks(TStream* Stream) {
  const int64_t size = Stream->GetSize();
  for (;;) {
    uint8_t len = 0;
    if (Stream->Read(&len, 1) != 1) return false;
    if (len == 0) return true;
    const int64_t pos = Stream->GetPosition() + len;
    if (pos > size) {
      Stream->Seek(size, soBeginning);
      return false;
    }
    Stream->Seek(pos, soBeginning);
  }
}

// Reads Count table entries (file order red, green, blue) into memory order.
bool ReadColorTable(TStream* Stream, int32_t Count, std::vector<TRGB>& Table) {
  std::vector<uint8_t> raw(size_t(Count) * 3);
  if (Stream->Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) return false;
  Table.resize(size_t(Count));
  for (int32_t i = 0; i < Count; ++i) {
    Table[size_t(i)].r = raw[size_t(i) * 3];
    Table[size_t(i)].g = raw[size_t(i) * 3 + 1];
    Table[size_t(i)].b = raw[size_t(i) * 3 + 2];
  }
  return true;
}

bool IsBlackWhite(const std::vector<TRGB>& Map) {
  return Map.size() == 2 && Map[0] == TRGB{0, 0, 0} && Map[1] == TRGB{255, 255, 255};
}

}  // namespace

int64_t GifCopyBytes(TStream* Dest, TStream* Source, int64_t Count) {
  const int64_t left = Source->GetSize() - Source->GetPosition();
  const int64_t n = std::min(Count, left);
  if (n <= 0) return 0;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(n, 1 << 16)));
  int64_t done = 0;
  while (done < n) {
    const int64_t chunk = std::min<int64_t>(n - done, int64_t(buf.size()));
    const int64_t got = Source->Read(buf.data(), chunk);
    if (got <= 0) break;
    Dest->Write(buf.data(), got);
    done += got;
  }
  return done;
}

// ---------------------------------------------------------------------------
// Reading

void GifReadStream(TStream* Stream, TIEBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& Mask,
                   bool IgnoreTransparency) {
  FrameCount = 0;
  Progress.Report(0);
  if (Progress.IsAborting()) return;
  if (Bitmap == nullptr) ParamsOnly = true;

  uint8_t header[13];
  if (Stream->Read(header, 13) != 13 || std::memcmp(header, "GIF", 3) != 0) {
    Progress.SetAborting();
    return;
  }
  Params.GifVersion.assign(reinterpret_cast<const char*>(header), 6);
  Params.GifScreenWidth = Le16(header + 6);
  Params.GifScreenHeight = Le16(header + 8);
  Params.GifPixelAspect = header[12];
  Params.SetDpiX(IEDefaultDpiX);
  Params.SetDpiY(IEDefaultDpiY);
  Params.SamplesPerPixel = 1;

  std::vector<TRGB> globalTable;
  int32_t globalBits = 0;
  if (header[10] & 0x80) {
    globalBits = (header[10] & 7) + 1;
    if (!ReadColorTable(Stream, 1 << globalBits, globalTable)) {
      Progress.SetAborting();
      return;
    }
    // A background index outside the table leaves the colour alone.
    if (header[11] < globalTable.size()) Params.GifBackgroundColor = globalTable[header[11]];
  }
  if (AtEnd(Stream)) {
    Progress.SetAborting();
    return;
  }

  const int32_t wanted = Params.GifImageIndex;
  uint8_t gcPacked = 0, gcTransparent = 0;
  int32_t gcDelay = 0;
  int32_t frame = 0;
  bool done = false;
  while (!done && !Progress.IsAborting()) {
    switch (ReadBlockByte(Stream)) {
      case kExtension: {
        const uint8_t label = ReadBlockByte(Stream);
        if (label == kGraphicControl && frame == wanted) {
          // The first sub-block holds the values (four bytes, or more from
          // generous writers); the rest of the extension is skipped.
          uint8_t len = 0;
          if (Stream->Read(&len, 1) == 1 && len > 0) {
            uint8_t gce[255];
            const int64_t got = Stream->Read(gce, len);
            if (got >= 4) {
              gcPacked = gce[0];
              gcDelay = Le16(gce + 1);
              gcTransparent = gce[3];
            }
            SkipSubBlocks(Stream);
          }
        } else if (label == kComment) {
          // One comment per extension, its sub-blocks joined.
          std::string text;
          for (;;) {
            uint8_t len = 0;
            if (Stream->Read(&len, 1) != 1 || len == 0) break;
            char block[256];
            const int64_t got = Stream->Read(block, len);
            text.append(block, size_t(got));
            if (got < len) break;
          }
          const size_t zero = text.find('\0');
          if (zero != std::string::npos) text.resize(zero);
          if (!text.empty()) Params.GifCommentTexts->Add(text);
        } else {
          SkipSubBlocks(Stream);
        }
        break;
      }
      case kImage: {
        uint8_t desc[9];
        if (Stream->Read(desc, 9) != 9) {
          if (frame == wanted) Progress.SetAborting();
          done = true;
          break;
        }
        std::vector<TRGB> localTable;
        int32_t localBits = 0;
        if (desc[8] & 0x80) {
          localBits = (desc[8] & 7) + 1;
          if (!ReadColorTable(Stream, 1 << localBits, localTable)) {
            if (frame == wanted) Progress.SetAborting();
            done = true;
            break;
          }
        }
        if (frame != wanted) {
          Stream->Seek(1, soCurrent);  // code-size byte
          if (!SkipSubBlocks(Stream)) done = true;
          ++frame;
          break;
        }
        Progress.Report(30);
        if (Progress.IsAborting()) break;
        const int32_t width = Le16(desc + 4), height = Le16(desc + 6);
        // A frame without a local table uses the global one with its own size;
        // a file with neither gets a gray ramp.
        std::vector<TRGB> map;
        int32_t bits;
        if (localBits > 0) {
          map = localTable;
          bits = localBits;
        } else if (globalBits > 0) {
          map = globalTable;
          bits = globalBits;
        } else {
          bits = 8;
          map.resize(256);
          for (int32_t i = 0; i < 256; ++i) map[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
        }
        const int32_t mapCount = int32_t(map.size());
        const bool transparent = (gcPacked & 1) != 0 && gcTransparent < mapCount;
        Params.GifTransparentColor = gcTransparent < mapCount ? map[gcTransparent] : TRGB{};
        Params.GifFrameLeft = Le16(desc);
        Params.GifFrameTop = Le16(desc + 2);
        Params.Width = Params.StoredWidth = width;
        Params.Height = Params.StoredHeight = height;
        Params.GifDelay = gcDelay;
        Params.GifTransparent = transparent;
        Params.GifInterlaced = (desc[8] & 0x40) != 0;
        Params.GifDisposalMethod = uint8_t((gcPacked >> 2) & 7);
        Params.BitsPerSample = bits;
        Params.FreeColorMap();
        Params.ColorMap.reset(new TRGB[size_t(mapCount)]);
        std::copy(map.begin(), map.end(), Params.ColorMap.get());
        Params.ColorMapCount = mapCount;

        if (width == 0 || height == 0) {
          Progress.SetAborting();
          break;
        }
        if (ParamsOnly) {
          Stream->Seek(1, soCurrent);
          if (!SkipSubBlocks(Stream)) done = true;
          ++frame;
          break;
        }
        // LZW turns at most 12 bits into 4096 pixels: a frame larger than the
        // data left could ever describe is refused before anything is allocated.
        const int64_t pixels = int64_t(width) * height;
        const int64_t left = Stream->GetSize() - Stream->GetPosition();
        if (pixels > (left + 1) * 4096) {
          Progress.SetAborting();
          break;
        }
        std::unique_ptr<uint8_t[]> indices(new (std::nothrow) uint8_t[size_t(pixels)]);
        if (!indices) {
          done = true;
          break;
        }
        std::memset(indices.get(), 0, size_t(pixels));
        TGifLzwDecodeProc decoder = Params.GifLzwDecoder ? Params.GifLzwDecoder : GifLzwDecodeHook;
        if (decoder == nullptr) {
          Progress.SetAborting();
          break;
        }
        const int64_t before = Stream->GetPosition();
        decoder(Stream, height, width, Params.GifInterlaced, indices.get());
        if (Stream->GetPosition() == before) {
          Progress.SetAborting();
          break;
        }
        Progress.Report(70);
        if (Progress.IsAborting()) break;
        // Indices beyond the table are taken as entry 0.
        for (int64_t i = 0; i < pixels; ++i)
          if (indices[size_t(i)] >= mapCount) indices[size_t(i)] = 0;

        const TIEPixelFormat format =
            (bits == 1 && IsBlackWhite(map)) ? ie1g : (Params.NativePixelFormat ? ie8p : ie24RGB);
        if (!Bitmap->Allocate(width, height, format)) {
          Progress.SetAborting();
          break;
        }
        TIEMask* mask = nullptr;
        if (!IgnoreTransparency && transparent) {
          if (!Mask) Mask = std::make_unique<TIEMask>();
          Mask->AllocateBits(width, height, 8);
          Mask->Fill(255);
          mask = Mask.get();
        }
        if (format == ie8p) {
          for (int32_t i = 0; i < 256; ++i)
            Bitmap->SetPaletteColor(i, i < mapCount ? map[size_t(i)] : TRGB{});
        }
        for (int32_t y = 0; y < height; ++y) {
          const uint8_t* src = indices.get() + int64_t(y) * width;
          uint8_t* row = Bitmap->GetScanline(y);
          if (format == ie1g) {
            std::memset(row, 0, size_t((width + 7) / 8));
            for (int32_t x = 0; x < width; ++x)
              if (src[x]) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
          } else if (format == ie8p) {
            std::memcpy(row, src, size_t(width));
          } else {
            TRGB* px = reinterpret_cast<TRGB*>(row);
            for (int32_t x = 0; x < width; ++x) px[x] = map[src[x]];
          }
          if (mask) {
            uint8_t* mrow = mask->GetScanline(y);
            for (int32_t x = 0; x < width; ++x)
              if (src[x] == gcTransparent) mrow[x] = 0;
          }
        }
        if (mask) {
          mask->UpdateFullFlag();
          if (mask->GetFull()) Mask.reset();
        }
        ++frame;
        break;
      }
      case kTrailer:
        done = true;
        break;
      default:
        break;
    }
  }
  FrameCount = frame;
  Params.SetImageCount(frame);
  if (!Progress.IsAborting()) Progress.Report(100);
}

// ---------------------------------------------------------------------------
// Writing

namespace {

// One frame ready for the file: indices, table and the values of its blocks.
struct TGifFrame {
  int32_t Width = 0, Height = 0;
  int32_t Bits = 1;              // table size 2^Bits
  std::vector<TRGB> Table;       // 2^Bits entries
  std::vector<uint8_t> Indices;  // Width x Height
  int32_t TransparentIndex = 0;
  int32_t BackgroundIndex = 0;
};

int32_t NearestIndex(const std::vector<TRGB>& Table, int32_t Count, const TRGB& C) {
  return IEFindNearestColorIndex(Table.data(), Count, C);
}

// Builds the frame's indices and table; false (abort flag set) when the bitmap
// cannot be written.
bool BuildFrame(TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, TGifFrame& F) {
  const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
    Progress.SetAborting();
    return false;
  }
  // Bits per sample beyond what a GIF table holds are clamped to 8.
  const int32_t b = std::clamp(Params.BitsPerSample, 1, 8);
  const bool alpha = Bitmap->HasAlphaChannel();
  TIEBitmap* work = Bitmap;
  std::unique_ptr<TIEBitmap> temp;
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  // Rows are read as 1-bit (one bit per sample), palette or 3-byte colour
  // pixels; any other format is converted to colour first, and a 1-bit page
  // written with more bits becomes a colour image of its black and white.
  const bool keep = (b == 1) ? (pf == ie1g || pf == ie24RGB) : (pf == ie8p || pf == ie24RGB);
  if (!keep) {
    temp = std::make_unique<TIEBitmap>();
    temp->Assign(Bitmap);
    temp->ConvertToPixelFormat(ie24RGB);
    work = temp.get();
  }
  int32_t n = 1 << b;
  if (alpha) {
    n -= 1;
    Params.GifTransparent = true;
  }
  F.Width = w;
  F.Height = h;
  F.Bits = b;
  F.Table.assign(size_t(1) << b, TRGB{});
  F.Indices.resize(size_t(w) * size_t(h));

  if (work->GetPixelFormat() == ie1g) {
    F.Table[0] = TRGB{0, 0, 0};
    F.Table[1] = TRGB{255, 255, 255};
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = work->GetScanline(y);
      uint8_t* dst = F.Indices.data() + size_t(y) * w;
      for (int32_t x = 0; x < w; ++x) dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    // With an alpha plane one bit leaves a single opaque colour (black):
    // transparent pixels take index 1 below.
    if (alpha)
      for (auto& v : F.Indices) v = 0;
  } else if (b == 1 && work->GetPixelFormat() == ie24RGB) {
    // Two colours kept as they are; more are reduced by the bitmap's own
    // 1-bit conversion.
    TIEQuantizer q(work, F.Table.data(), n, n);
    if (q.HasExactPalette()) {
      for (int32_t y = 0; y < h; ++y) {
        const TRGB* px = reinterpret_cast<const TRGB*>(work->GetScanline(y));
        uint8_t* dst = F.Indices.data() + size_t(y) * w;
        for (int32_t x = 0; x < w; ++x) {
          int32_t i = q.ColorToIndex(px[x]);
          dst[x] = uint8_t(i < 0 ? NearestIndex(F.Table, n, px[x]) : i);
        }
      }
    } else {
      TIEBitmap mono;
      mono.Assign(work);
      mono.ConvertToPixelFormat(ie1g);
      F.Table[0] = TRGB{0, 0, 0};
      if (n > 1) F.Table[1] = TRGB{255, 255, 255};
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = mono.GetScanline(y);
        uint8_t* dst = F.Indices.data() + size_t(y) * w;
        for (int32_t x = 0; x < w; ++x) dst[x] = uint8_t(std::min((row[x >> 3] >> (7 - (x & 7))) & 1, n - 1));
      }
    }
  } else if (work->GetPixelFormat() == ie8p && work->GetPaletteLen() <= n) {
    for (int32_t i = 0; i < work->GetPaletteLen(); ++i) F.Table[size_t(i)] = work->GetPaletteColor(i);
    const int32_t len = std::max(1, work->GetPaletteLen());
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = work->GetScanline(y);
      uint8_t* dst = F.Indices.data() + size_t(y) * w;
      for (int32_t x = 0; x < w; ++x) dst[x] = uint8_t(row[x] < len ? row[x] : 0);
    }
  } else {
    TIEQuantizer q(work, F.Table.data(), n, n);
    auto index = [&](const TRGB& c) {
      const int32_t i = q.ColorToIndex(c);
      return uint8_t(i < 0 || i >= n ? NearestIndex(F.Table, n, c) : i);
    };
    if (work->GetPixelFormat() == ie8p) {
      std::array<uint8_t, 256> lut{};
      for (int32_t i = 0; i < 256 && i < work->GetPaletteLen(); ++i)
        lut[size_t(i)] = index(work->GetPaletteColor(i));
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = work->GetScanline(y);
        uint8_t* dst = F.Indices.data() + size_t(y) * w;
        for (int32_t x = 0; x < w; ++x) dst[x] = lut[row[x]];
      }
    } else {
      for (int32_t y = 0; y < h; ++y) {
        const TRGB* px = reinterpret_cast<const TRGB*>(work->GetScanline(y));
        uint8_t* dst = F.Indices.data() + size_t(y) * w;
        for (int32_t x = 0; x < w; ++x) dst[x] = index(px[x]);
      }
    }
  }
  if (alpha) {
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* dst = F.Indices.data() + size_t(y) * w;
      for (int32_t x = 0; x < w; ++x)
        if (Bitmap->GetAlpha(x, y) < 255) dst[x] = uint8_t(n);
    }
    F.TransparentIndex = n;
  } else {
    F.TransparentIndex = Params.GifTransparent ? NearestIndex(F.Table, n, Params.GifTransparentColor) : 0;
  }
  F.BackgroundIndex = NearestIndex(F.Table, n, Params.GifBackgroundColor);
  return true;
}

bool WriteTable(TIECheckedWriter& W, const std::vector<TRGB>& Table) {
  std::vector<uint8_t> raw(Table.size() * 3);
  for (size_t i = 0; i < Table.size(); ++i) {
    raw[i * 3] = Table[i].r;
    raw[i * 3 + 1] = Table[i].g;
    raw[i * 3 + 2] = Table[i].b;
  }
  return W.Write(raw.data(), int64_t(raw.size()));
}

bool WriteGraphicControl(TIECheckedWriter& W, const TIOParamsVals& Params, const TGifFrame& F) {
  uint8_t gce[8] = {kExtension, kGraphicControl, 4, 0, 0, 0, 0, 0};
  gce[3] = uint8_t(((Params.GifDisposalMethod & 7) << 2) | (Params.GifTransparent ? 1 : 0));
  PutLe16(gce + 4, std::clamp(Params.GifDelay, 0, 65535));
  gce[6] = uint8_t(F.TransparentIndex);
  return W.Write(gce, 8);
}

bool WriteImage(TIECheckedWriter& W, TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress,
                const TGifFrame& F, bool LocalTable) {
  uint8_t desc[10] = {kImage};
  PutLe16(desc + 1, std::clamp(Params.GifFrameLeft, 0, 65535));
  PutLe16(desc + 3, std::clamp(Params.GifFrameTop, 0, 65535));
  PutLe16(desc + 5, F.Width);
  PutLe16(desc + 7, F.Height);
  desc[9] = uint8_t((Params.GifInterlaced ? 0x40 : 0) | (LocalTable ? 0x80 | (F.Bits - 1) : 0));
  if (!W.Write(desc, 10)) return false;
  if (LocalTable && !WriteTable(W, F.Table)) return false;
  TGifLzwEncodeProc encoder = Params.GifLzwEncoder ? Params.GifLzwEncoder : GifLzwEncodeHook;
  if (encoder == nullptr) {
    Progress.SetAborting();
    return false;
  }
  const int64_t before = Stream->GetPosition();
  encoder(Stream, F.Height, F.Width, Params.GifInterlaced, F.Indices.data(), F.Bits);
  if (Stream->GetPosition() <= before) {
    Progress.SetAborting();
    return false;
  }
  return true;
}

bool WriteComments(TIECheckedWriter& W, const TIOParamsVals& Params) {
  if (!W.Byte(kExtension) || !W.Byte(kComment)) return false;
  const TStringList& list = *Params.GifCommentTexts;
  for (int32_t i = 0; i < list.GetCount(); ++i) {
    const std::string s = list.Get(i);
    for (size_t p = 0; p < s.size(); p += 255) {
      const size_t len = std::min<size_t>(255, s.size() - p);
      if (!W.Byte(uint8_t(len)) || !W.Write(s.data() + p, int64_t(len))) return false;
    }
  }
  return W.Byte(0);
}

}  // namespace

void GifWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  Progress.Report(0);
  if (Progress.IsAborting()) return;
  TGifFrame f;
  if (!BuildFrame(Bitmap, Params, Progress, f)) return;
  Progress.Report(30);
  if (Progress.IsAborting()) return;
  TIECheckedWriter w(Stream, Progress);
  uint8_t header[13];
  std::string version = Params.GifVersion;
  if (version.size() < 6 || version.compare(0, 3, "GIF") != 0) version = "GIF89a";
  std::memcpy(header, version.data(), 6);
  PutLe16(header + 6, f.Width);
  PutLe16(header + 8, f.Height);
  header[10] = uint8_t(0x80 | ((f.Bits - 1) << 4) | (f.Bits - 1));
  header[11] = uint8_t(f.BackgroundIndex);
  header[12] = 0;
  if (!w.Write(header, 13) || !WriteTable(w, f.Table) || !WriteGraphicControl(w, Params, f)) return;
  Progress.Report(70);
  if (Progress.IsAborting()) return;
  if (!WriteImage(w, Stream, Params, Progress, f, false)) return;
  if (!WriteComments(w, Params) || !w.Byte(kTrailer)) return;
  Progress.Report(100);
}

namespace {

// Walks the blocks after the header and global table.  Calls OnFrame with the
// frame counter and the position where that frame's blocks begin (its graphic
// control extension, or its descriptor when it has none); answers the number
// of frames and leaves TrailerPos at the trailer (or the end of the data).
template <typename F>
int32_t WalkFrames(TStream* Stream, F&& OnFrame, int64_t& TrailerPos) {
  int32_t frames = 0;
  int64_t pendingControl = -1;
  for (;;) {
    const int64_t pos = Stream->GetPosition();
    uint8_t b = 0;
    if (Stream->Read(&b, 1) != 1) {
      TrailerPos = pos;
      return frames;
    }
    if (b == kExtension) {
      uint8_t label = 0;
      if (Stream->Read(&label, 1) != 1) {
        TrailerPos = pos;
        return frames;
      }
      if (label == kGraphicControl && pendingControl < 0) pendingControl = pos;
      if (!SkipSubBlocks(Stream)) {
        TrailerPos = pos;
        return frames;
      }
    } else if (b == kImage) {
      if (!OnFrame(frames, pendingControl >= 0 ? pendingControl : pos)) return frames;
      uint8_t desc[9];
      if (Stream->Read(desc, 9) != 9) {
        TrailerPos = pos;
        return frames;
      }
      if (desc[8] & 0x80) Stream->Seek(3 * (1 << ((desc[8] & 7) + 1)), soCurrent);
      Stream->Seek(1, soCurrent);
      if (!SkipSubBlocks(Stream)) {
        TrailerPos = pos;
        return frames;
      }
      ++frames;
      pendingControl = -1;
    } else if (b == kTrailer) {
      TrailerPos = pos;
      return frames;
    }
  }
}

// Reads the header at the position; false when it is not a GIF.  Leaves the
// stream after the global table.
bool ReadHeader(TStream* Stream, uint8_t* Header) {
  if (Stream->Read(Header, 13) != 13 || std::memcmp(Header, "GIF", 3) != 0) return false;
  if (Header[10] & 0x80) Stream->Seek(3 * (1 << ((Header[10] & 7) + 1)), soCurrent);
  return true;
}

}  // namespace

int32_t GifFrameCount(TStream* Stream) {
  const int64_t start = Stream->GetPosition();
  uint8_t header[13];
  int32_t count = 0;
  if (ReadHeader(Stream, header)) {
    int64_t trailer = 0;
    count = WalkFrames(
        Stream, [](int32_t, int64_t) { return true; }, trailer);
  }
  Stream->Seek(start, soBeginning);
  return count;
}

int32_t GifAppendFrame(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  Progress.Report(0);
  if (Progress.IsAborting()) return 0;
  const int64_t start = Stream->GetPosition();
  uint8_t header[13];
  if (!ReadHeader(Stream, header)) {
    Stream->Seek(start, soBeginning);
    return 0;
  }
  TGifFrame f;
  if (!BuildFrame(Bitmap, Params, Progress, f)) return 0;
  Progress.Report(30);
  if (Progress.IsAborting()) return 0;

  const int32_t wanted = std::max(0, Params.GifImageIndex);
  int64_t insertAt = -1, trailer = 0;
  const int32_t frames = WalkFrames(
      Stream,
      [&](int32_t Index, int64_t Pos) {
        if (Index == wanted && insertAt < 0) insertAt = Pos;
        return true;
      },
      trailer);
  if (insertAt < 0) insertAt = trailer;

  // Keep what follows the insertion point, write the frame, put it back.
  TMemoryStream tail;
  Stream->Seek(insertAt, soBeginning);
  GifCopyBytes(&tail, Stream, Stream->GetSize() - insertAt);
  Progress.Report(70);
  if (Progress.IsAborting()) return 0;

  Stream->Seek(start + 3, soBeginning);
  TIECheckedWriter w(Stream, Progress);
  if (!w.Write("89a", 3)) return 0;
  Stream->Seek(insertAt, soBeginning);
  if (!WriteGraphicControl(w, Params, f) || !WriteImage(w, Stream, Params, Progress, f, true)) return 0;
  if (tail.GetSize() > 0) {
    if (!w.Write(tail.GetMemory(), tail.GetSize())) return 0;
  } else if (!w.Byte(kTrailer)) {
    return 0;
  }
  const int64_t end = Stream->GetPosition();
  if (Stream->GetSize() > end) Stream->SetSize(end);
  Progress.Report(100);
  return frames + 1;
}

int32_t GifRemoveFrame(const std::string& FileName, int32_t Index, bool WriteBack) {
  TMemoryStream copy;
  int32_t kept = 0;
  {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    uint8_t header[13];
    if (!ReadHeader(&file, header)) return 0;
    const int64_t afterHeader = file.GetPosition();
    int64_t trailer = 0;
    std::vector<std::pair<int64_t, int64_t>> frames;  // start of each frame's blocks
    const int32_t count = WalkFrames(
        &file,
        [&](int32_t, int64_t Pos) {
          frames.emplace_back(Pos, 0);
          return true;
        },
        trailer);
    kept = (Index >= 0 && Index < count) ? count - 1 : count;
    if (!WriteBack || kept == count) return kept;
    // The frame's blocks run from its start to the start of the next frame
    // (or the trailer).
    const int64_t from = frames[size_t(Index)].first;
    const int64_t to = size_t(Index) + 1 < frames.size() ? frames[size_t(Index) + 1].first : trailer;
    header[3] = '8';
    header[4] = '9';
    header[5] = 'a';
    copy.Write(header, 13);
    file.Seek(13, soBeginning);
    GifCopyBytes(&copy, &file, afterHeader - 13);
    GifCopyBytes(&copy, &file, from - afterHeader);
    file.Seek(to, soBeginning);
    GifCopyBytes(&copy, &file, file.GetSize() - to);
  }
  copy.SaveToFile(FileName);
  return kept;
}

void GifSetLoopStream(TStream* Stream, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight) {
  const int64_t start = Stream->GetPosition();
  uint8_t header[13];
  if (!ReadHeader(Stream, header)) {
    Stream->Seek(start, soBeginning);
    return;
  }
  // Only the block right after the global table is examined: a looping
  // extension there is replaced.
  const int64_t p = Stream->GetPosition();
  int64_t tailFrom = p;
  uint8_t probe[14];
  if (Stream->Read(probe, 14) == 14 && probe[0] == kExtension && probe[1] == kApplication && probe[2] == 11 &&
      std::memcmp(probe + 3, "NETSCAPE2.0", 11) == 0) {
    Stream->Seek(p + 2, soBeginning);
    SkipSubBlocks(Stream);
    tailFrom = Stream->GetPosition();
  }
  TMemoryStream tail;
  Stream->Seek(tailFrom, soBeginning);
  GifCopyBytes(&tail, Stream, Stream->GetSize() - tailFrom);
  std::memcpy(header + 3, "89a", 3);
  PutLe16(header + 6, std::max<int32_t>(Le16(header + 6), std::min(MinWidth, 65535)));
  PutLe16(header + 8, std::max<int32_t>(Le16(header + 8), std::min(MinHeight, 65535)));
  const uint8_t loop[19] = {kExtension,
                            kApplication,
                            11,
                            'N',
                            'E',
                            'T',
                            'S',
                            'C',
                            'A',
                            'P',
                            'E',
                            '2',
                            '.',
                            '0',
                            3,
                            1,
                            uint8_t(LoopCount & 0xFF),
                            uint8_t(LoopCount >> 8),
                            0};
  Stream->Seek(start, soBeginning);
  Stream->WriteBuffer(header, 13);
  Stream->Seek(p, soBeginning);
  Stream->WriteBuffer(loop, 19);
  if (tail.GetSize() > 0) Stream->WriteBuffer(tail.GetMemory(), tail.GetSize());
  const int64_t end = Stream->GetPosition();
  if (Stream->GetSize() > end) Stream->SetSize(end);
}

void GifSetLoop(const std::string& FileName, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight) {
  TFileStream file(FileName, fmOpenReadWrite);
  GifSetLoopStream(&file, LoopCount, MinWidth, MinHeight);
}

// ---------------------------------------------------------------------------
// Common shape and registration

bool IETryGif(TStream* Stream) {
  try {
    const int64_t pos = Stream->GetPosition();
    char sig[4] = {};
    const int64_t got = Stream->Read(sig, 4);
    Stream->Seek(pos, soBeginning);
    return got == 4 && std::memcmp(sig, "GIF8", 4) == 0;
  } catch (...) {
    return false;
  }
}

void IEReadGifStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  std::unique_ptr<TIEMask> mask;
  int32_t frames = 0;
  GifReadStream(Stream, Bitmap, frames, Params, Progress, ParamsOnly, mask, ParamsOnly);
  if (Bitmap && !ParamsOnly && !Progress.IsAborting()) {
    if (mask)
      Bitmap->GetAlphaChannel()->CopyFromTIEMask(mask.get());
    else if (Bitmap->HasAlphaChannel())
      Bitmap->RemoveAlphaChannel();
  }
}

void IEWriteGifStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  GifWriteStream(Stream, Bitmap, Params, Progress);
}
