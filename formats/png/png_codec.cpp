#include "formats/png/png_codec.h"

#include <atomic>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/codec_table.h"
#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "kernels/quantizer.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// Deflate expands a row by at most about 1032 times; a header asking for more
// pixels than the rest of the stream could hold at that rate is damage, and
// nothing is allocated for it.
constexpr int64_t kMaxInflateRatio = 1040;
constexpr int64_t kInflateSlack = 1 << 20;

// libpng state of one read: the stream, and where the error message went.
struct TPngReadIo {
  TStream* Stream = nullptr;
};

void ReadData(png_structp Png, png_bytep Data, size_t Length) {
  auto* io = static_cast<TPngReadIo*>(png_get_io_ptr(Png));
  int64_t got = 0;
  try {
    got = io->Stream->Read(Data, int64_t(Length));
  } catch (...) {
    got = -1;
  }
  if (got != int64_t(Length)) png_error(Png, "short read");
}

void ReadError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

struct TPngWriteIo {
  TStream* Stream = nullptr;
  std::atomic<bool>* Aborting = nullptr;
};

void WriteData(png_structp Png, png_bytep Data, size_t Length) {
  auto* io = static_cast<TPngWriteIo*>(png_get_io_ptr(Png));
  int64_t put = 0;
  try {
    put = io->Stream->Write(Data, int64_t(Length));
  } catch (...) {
    put = -1;
  }
  if (put != int64_t(Length) && io->Aborting) *io->Aborting = true;
}
void FlushData(png_structp) {}
void WriteError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }

void ReportRow(TIEProgressRec& Progress, int32_t Counter, double Per, int32_t& Last) {
  if (!Progress.fOnProgress) return;
  const int32_t p = int32_t(Counter * Per);
  if (p != Last) {
    Last = p;
    Progress.Report(p);
  }
}

// Everything one read keeps across libpng's long jump back to the reader.
struct TPngReadState {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TPngReadIo Io;
  std::vector<uint8_t> Rows;  // one row, or the whole image when interlaced
  bool Decoded = false;
};

// Reads the image; false on any libpng error (the state says how far it got).
bool ReadPng(TPngReadState& S, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
             bool ParamsOnly, int64_t StreamLeft) {
  png_structp png = S.Png;
  png_infop info = S.Info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &S.Io, ReadData);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);

  if (Params.PngTextKeywords) Params.PngTextKeywords->Clear();
  if (Params.PngTexts) Params.PngTexts->Clear();
  png_textp texts = nullptr;
  int textCount = 0;
  png_get_text(png, info, &texts, &textCount);
  for (int i = 0; i < textCount; ++i) {
    if (Params.PngTextKeywords) Params.PngTextKeywords->Add(texts[i].key ? texts[i].key : "");
    if (Params.PngTexts)
      Params.PngTexts->Add(texts[i].text ? std::string(texts[i].text, texts[i].text_length) : std::string());
  }

  // The background keeps its colour at every depth: 16-bit components give
  // their high byte, gray levels below 8 bits are stretched to 0..255, and
  // libpng fills a palette background's components from its entry.
  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(png, info, &bkgd) && bkgd != nullptr) {
    auto scale = [bitDepth](uint32_t v) -> uint8_t {
      if (bitDepth == 16) return uint8_t(v >> 8);
      if (bitDepth == 8) return uint8_t(v);
      const uint32_t top = (1u << bitDepth) - 1;
      return uint8_t(std::min(v, top) * 255 / top);
    };
    TRGB c;
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
      c.r = c.g = c.b = scale(bkgd->gray);
    } else if (colorType == PNG_COLOR_TYPE_PALETTE) {
      c.r = uint8_t(bkgd->red);
      c.g = uint8_t(bkgd->green);
      c.b = uint8_t(bkgd->blue);
    } else {
      c.r = scale(bkgd->red);
      c.g = scale(bkgd->green);
      c.b = scale(bkgd->blue);
    }
    Params.PngBackgroundColor = c;
  }

  const bool native = Params.NativePixelFormat && (bitDepth == 8 || bitDepth == 16) &&
                      (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_PALETTE);
  const bool bilevel = bitDepth == 1 && colorType == PNG_COLOR_TYPE_GRAY;
  if (native) {
    if (bitDepth == 16) png_set_swap(png);
  } else if (!bilevel) {
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if (bitDepth < 8) png_set_packing(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_tRNS_to_alpha(png);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  Params.SetImageCount(1);
  Params.Width = Params.StoredWidth = int32_t(width);
  Params.Height = Params.StoredHeight = int32_t(height);
  Params.BitsPerSample = bitDepth;
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: Params.SamplesPerPixel = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: Params.SamplesPerPixel = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: Params.SamplesPerPixel = 4; break;
    default: Params.SamplesPerPixel = 1; break;
  }
  const int32_t dpiX = IERound(double(png_get_x_pixels_per_meter(png, info)) / 100.0 * 2.54);
  const int32_t dpiY = IERound(double(png_get_y_pixels_per_meter(png, info)) / 100.0 * 2.54);
  Params.SetDpiX(dpiX > 0 ? dpiX : IEDefaultDpiX);
  Params.SetDpiY(dpiY > 0 ? dpiY : IEDefaultDpiY);
  Params.FreeColorMap();
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) && count > 0) {
      Params.ColorMapCount = count;
      Params.ColorMap = std::make_unique<TRGB[]>(size_t(count));
      for (int i = 0; i < count; ++i) {
        Params.ColorMap[i].r = palette[i].red;
        Params.ColorMap[i].g = palette[i].green;
        Params.ColorMap[i].b = palette[i].blue;
      }
    }
  }
  Params.PngInterlaced = interlace != PNG_INTERLACE_NONE;
  if (ParamsOnly || Bitmap == nullptr) return true;

  const int64_t rowBytes = int64_t(png_get_rowbytes(png, info));
  const int channels = png_get_channels(png, info);
  if (int64_t(height) * (rowBytes + 1) > StreamLeft * kMaxInflateRatio + kInflateSlack) png_error(png, "size");

  TIEPixelFormat format = ie24RGB;
  if (bilevel) format = ie1g;
  else if (native && colorType == PNG_COLOR_TYPE_PALETTE) format = ie8p;
  else if (native) format = bitDepth == 16 ? ie16g : ie8g;
  Bitmap->RemoveAlphaChannel();
  if (!Bitmap->Allocate(int32_t(width), int32_t(height), format)) png_error(png, "memory");
  if (format == ie8p) {
    const int32_t used = 1 << Params.BitsPerSample;
    Bitmap->SetPaletteUsed(std::min(used, 256));
    for (int32_t i = 0; i < Params.ColorMapCount && i < 256; ++i) Bitmap->SetPaletteColor(i, Params.ColorMap[i]);
  }
  TIEBitmap* alpha = nullptr;
  if (channels == 4 && !native) {
    alpha = Bitmap->GetAlphaChannel();
    alpha->SetFull(false);
  }
  // Interlaced rows are refined pass by pass, so the earlier passes' pixels
  // must stay: the whole image is kept then.
  const bool whole = passes > 1;
  const bool direct = !whole && !(channels == 4 && !native) && rowBytes <= Bitmap->GetRowLen();
  if (!direct) S.Rows.assign(size_t(rowBytes * (whole ? int64_t(height) : 1)), 0);
  Progress.per1 = 100.0 / (double(height) * passes);
  int32_t counter = 0, last = -1;
  const int64_t copyBytes = std::min<int64_t>(rowBytes, Bitmap->GetRowLen());
  for (int pass = 0; pass < passes; ++pass) {
    last = -1;
    for (png_uint_32 y = 0; y < height && !Progress.IsAborting(); ++y) {
      uint8_t* dst = Bitmap->GetScanline(int32_t(y));
      // Rows that need no splitting go straight into the bitmap.
      if (direct) {
        png_read_rows(png, &dst, nullptr, 1);
        ReportRow(Progress, ++counter, Progress.per1, last);
        continue;
      }
      uint8_t* row = S.Rows.data() + (whole ? int64_t(y) * rowBytes : 0);
      png_read_rows(png, &row, nullptr, 1);
      if (channels == 4 && !native) {
        uint8_t* a = alpha->GetScanline(int32_t(y));
        for (png_uint_32 x = 0; x < width; ++x) {
          dst[3 * x] = row[4 * x];
          dst[3 * x + 1] = row[4 * x + 1];
          dst[3 * x + 2] = row[4 * x + 2];
          a[x] = row[4 * x + 3];
        }
      } else {
        std::memcpy(dst, row, size_t(copyBytes));
      }
      ReportRow(Progress, ++counter, Progress.per1, last);
    }
  }
  if (!Progress.IsAborting()) png_read_end(png, nullptr);
  S.Decoded = true;
  return true;
}

// Two colours exactly: a 1-bit copy whose lighter colour is white; null
// otherwise.
std::unique_ptr<TIEBitmap> TwoColourTo1Bit(TIEBitmap* Source) {
  if (Source->GetPixelFormat() != ie24RGB) return nullptr;
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

std::unique_ptr<TIEBitmap> ConvertedCopy(TIEBitmap* Source, TIEPixelFormat Format) {
  auto copy = std::make_unique<TIEBitmap>();
  copy->Assign(Source);
  copy->RemoveAlphaChannel();
  copy->ConvertToPixelFormat(Format);
  return copy;
}

// Everything one write keeps across libpng's long jump back to the writer.
struct TPngWriteState {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TPngWriteIo Io;
  TIEBitmap* Source = nullptr;
  TIEMask* Alpha = nullptr;
  TIEQuantizer* Quantizer = nullptr;
  int ColorType = PNG_COLOR_TYPE_RGB;
  int Depth = 8;
  bool ShiftedPalette = false;  // index 0 is the transparent entry
  std::vector<png_color> Palette;
  std::vector<png_text> Texts;
  std::vector<std::string> TextStore;
  std::vector<uint8_t> Row;
  png_color_16 Background{};
};

bool WritePng(TPngWriteState& S, TIOParamsVals& Params, TIEProgressRec& Progress) {
  png_structp png = S.Png;
  png_infop info = S.Info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &S.Io, WriteData, FlushData);
  TIEBitmap* src = S.Source;
  const int32_t width = src->GetWidth(), height = src->GetHeight();
  if (!S.Palette.empty()) png_set_PLTE(png, info, S.Palette.data(), int(S.Palette.size()));
  if (S.ShiftedPalette) {
    png_byte transparent = 0;
    png_set_tRNS(png, info, &transparent, 1, nullptr);
  }
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), S.Depth, S.ColorType,
               Params.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, png_uint_32(std::max(0, IERound(Params.DpiX * 100 / 2.54))),
               png_uint_32(std::max(0, IERound(Params.DpiY * 100 / 2.54))), PNG_RESOLUTION_METER);
  switch (Params.PngFilter) {
    case ioPNG_FILTER_NONE: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case ioPNG_FILTER_SUB: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case ioPNG_FILTER_PAETH: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;
  }
  png_set_bKGD(png, info, &S.Background);
  png_set_compression_level(png, std::clamp(Params.PngDeflateLevel, 0, 9));
  png_set_bgr(png);
  if (!S.Texts.empty()) png_set_text(png, info, S.Texts.data(), int(S.Texts.size()));
  png_write_info(png, info);
  if (S.Depth == 16) png_set_swap(png);  // rows are built little-endian
  const int passes = png_set_interlace_handling(png);
  Progress.per1 = 100.0 / (double(height) * passes);
  int32_t counter = 0, last = -1;
  const bool gray16Source = src->GetPixelFormat() == ie16g;
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t y = 0; y < height && !Progress.IsAborting(); ++y) {
      const uint8_t* s = src->GetScanline(y);
      uint8_t* o = S.Row.data();
      const TRGB* rgb = reinterpret_cast<const TRGB*>(s);
      switch (S.ColorType) {
        case PNG_COLOR_TYPE_PALETTE:
          if (src->GetPixelFormat() == ie8p) {
            std::memcpy(o, s, size_t(width));
          } else if (S.ShiftedPalette) {
            const uint8_t* a = S.Alpha->GetScanline(y);
            for (int32_t x = 0; x < width; ++x)
              o[x] = a[x] == 255 ? uint8_t(std::clamp(S.Quantizer->ColorToIndex(rgb[x]), 0, 254) + 1) : 0;
          } else {
            for (int32_t x = 0; x < width; ++x) o[x] = uint8_t(std::clamp(S.Quantizer->ColorToIndex(rgb[x]), 0, 255));
          }
          break;
        case PNG_COLOR_TYPE_RGB_ALPHA: {
          const uint8_t* a = S.Alpha->GetScanline(y);
          for (int32_t x = 0; x < width; ++x) {
            o[4 * x] = rgb[x].b;
            o[4 * x + 1] = rgb[x].g;
            o[4 * x + 2] = rgb[x].r;
            o[4 * x + 3] = a[x];
          }
          break;
        }
        case PNG_COLOR_TYPE_RGB:
          std::memcpy(o, s, size_t(width) * 3);
          break;
        default:  // gray
          if (S.Depth == 1) {
            std::memcpy(o, s, size_t((width + 7) / 8));
          } else if (S.Depth == 16) {
            auto* o16 = reinterpret_cast<uint16_t*>(o);
            if (gray16Source) std::memcpy(o16, s, size_t(width) * 2);  // every bit of each sample
            else if (src->GetPixelFormat() == ie8g)
              for (int32_t x = 0; x < width; ++x) o16[x] = uint16_t(s[x] * 257);
            else
              for (int32_t x = 0; x < width; ++x) o16[x] = uint16_t(rgb[x].g * 257);
          } else {
            if (gray16Source)
              for (int32_t x = 0; x < width; ++x) o[x] = uint8_t(reinterpret_cast<const uint16_t*>(s)[x] >> 8);
            else if (src->GetPixelFormat() == ie8g) std::memcpy(o, s, size_t(width));
            else
              for (int32_t x = 0; x < width; ++x) o[x] = rgb[x].g;
          }
          break;
      }
      png_write_rows(png, &o, 1);
      ReportRow(Progress, ++counter, Progress.per1, last);
    }
  }
  if (!Progress.IsAborting()) png_write_end(png, info);
  return true;
}

}  // namespace

bool IETryPng(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->GetPosition();
  uint8_t sig[8] = {};
  bool ok = false;
  try {
    ok = Stream->Read(sig, 8) == 8 && png_sig_cmp(sig, 0, 4) == 0;
  } catch (...) {
    ok = false;
  }
  Stream->Seek(start, soBeginning);
  return ok;
}

void PngReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly) {
  auto state = std::make_unique<TPngReadState>();
  state->Io.Stream = Stream;
  state->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ReadError, IgnoreWarning);
  if (state->Png != nullptr) state->Info = png_create_info_struct(state->Png);
  if (state->Png == nullptr || state->Info == nullptr) {
    png_destroy_read_struct(state->Png ? &state->Png : nullptr, nullptr, nullptr);
    Progress.SetAborting();
    return;
  }
  const int64_t left = std::max<int64_t>(0, Stream->GetSize() - Stream->GetPosition());
  if (!ReadPng(*state, Bitmap, Params, Progress, ParamsOnly, left)) Progress.SetAborting();
  png_destroy_read_struct(&state->Png, &state->Info, nullptr);
}

void PngWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    TIEMask* AlphaMask) {
  auto fail = [] { throw EInvalidGraphic("Error on creating PNG"); };
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) fail();
  auto state = std::make_unique<TPngWriteState>();
  TPngWriteState& S = *state;
  S.Io.Stream = Stream;
  S.Io.Aborting = Progress.Aborting;

  // Single-sample output has 1, 8 or 16 bits; other depths become 8.
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample != 1 && Params.BitsPerSample != 8 &&
      Params.BitsPerSample != 16)
    Params.BitsPerSample = 8;
  const bool single = Params.SamplesPerPixel == 1;
  const bool hasAlpha = AlphaMask != nullptr && !AlphaMask->GetFull() && AlphaMask->GetBitsPerPixel() == 8 &&
                        AlphaMask->GetWidth() == Bitmap->GetWidth() && AlphaMask->GetHeight() == Bitmap->GetHeight();

  // The source in a format the rows are built from: bilevel for 1 bit, the
  // bitmap's own palette or gray for single-sample output without alpha,
  // 24-bit colour otherwise.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  if (single && Params.BitsPerSample == 1) {
    if (pf != ie1g) {
      copy = TwoColourTo1Bit(Bitmap);
      if (!copy) copy = ConvertedCopy(Bitmap, ie1g);
    }
  } else if (!(pf == ie24RGB || (single && !hasAlpha && (pf == ie8p || pf == ie8g || pf == ie16g)))) {
    copy = ConvertedCopy(Bitmap, ie24RGB);
  }
  if (copy) src = copy.get();
  S.Source = src;
  S.Alpha = hasAlpha ? AlphaMask : nullptr;
  const TIEPixelFormat spf = src->GetPixelFormat();

  std::unique_ptr<TIEQuantizer> quantizer;
  std::vector<TRGB> qPalette(256);
  S.Background = png_color_16{};
  const TRGB bk = Params.PngBackgroundColor;
  if (!single) {
    S.ColorType = hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    S.Depth = 8;
    S.Background.red = bk.r;
    S.Background.green = bk.g;
    S.Background.blue = bk.b;
  } else if (spf == ie1g) {
    S.ColorType = PNG_COLOR_TYPE_GRAY;
    S.Depth = 1;
    S.Background.gray = IERGBToGray(bk) >= 128 ? 1 : 0;
  } else if (spf == ie8g || spf == ie16g) {
    S.ColorType = PNG_COLOR_TYPE_GRAY;
    S.Depth = Params.BitsPerSample == 16 ? 16 : 8;
    S.Background.gray = png_uint_16(IEClampByte(IERGBToGray(bk)) * (S.Depth == 16 ? 257 : 1));
  } else if (spf == ie8p) {
    S.ColorType = PNG_COLOR_TYPE_PALETTE;
    S.Depth = 8;
    for (int32_t i = 0; i < 256; ++i) {
      const TRGB c = src->GetPaletteColor(i);
      S.Palette.push_back(png_color{c.r, c.g, c.b});
    }
    S.Background.index = png_byte(IEFindNearestColorIndex(src->GetPalette(), 256, bk));
  } else if (hasAlpha) {
    // Entry 0 is the transparent background; the image's colours follow.
    S.ColorType = PNG_COLOR_TYPE_PALETTE;
    S.Depth = 8;
    Params.BitsPerSample = 8;
    quantizer = std::make_unique<TIEQuantizer>(src, qPalette, 255);
    S.ShiftedPalette = true;
    S.Palette.push_back(png_color{bk.r, bk.g, bk.b});
    for (int32_t i = 0; i < 255; ++i) S.Palette.push_back(png_color{qPalette[i].r, qPalette[i].g, qPalette[i].b});
    S.Background.index = 0;
  } else {
    quantizer = std::make_unique<TIEQuantizer>(src, qPalette, 256);
    if (quantizer->GetIsGray()) {
      S.ColorType = PNG_COLOR_TYPE_GRAY;
      S.Depth = Params.BitsPerSample == 16 ? 16 : 8;
      S.Background.gray = png_uint_16(IEClampByte(IERGBToGray(bk)) * (S.Depth == 16 ? 257 : 1));
    } else {
      // A single-sample colour image has no 16-bit form: it is written as an
      // 8-bit palette image.
      S.ColorType = PNG_COLOR_TYPE_PALETTE;
      S.Depth = 8;
      Params.BitsPerSample = 8;
      for (const TRGB& c : qPalette) S.Palette.push_back(png_color{c.r, c.g, c.b});
      S.Background.index = png_byte(std::clamp(quantizer->ColorToIndex(bk), 0, 255));
      if (quantizer->ColorToIndex(bk) < 0)
        S.Background.index = png_byte(IEFindNearestColorIndex(qPalette.data(), 256, bk));
    }
  }
  S.Quantizer = quantizer.get();

  const int32_t width = src->GetWidth();
  int64_t rowBytes = 0;
  switch (S.ColorType) {
    case PNG_COLOR_TYPE_RGB_ALPHA: rowBytes = int64_t(width) * 4; break;
    case PNG_COLOR_TYPE_RGB: rowBytes = int64_t(width) * 3; break;
    default: rowBytes = S.Depth == 1 ? (int64_t(width) + 7) / 8 : int64_t(width) * (S.Depth / 8); break;
  }
  S.Row.assign(size_t(rowBytes), 0);

  if (Params.PngTextKeywords && Params.PngTexts) {
    const int32_t n = std::min(Params.PngTextKeywords->GetCount(), Params.PngTexts->GetCount());
    S.TextStore.reserve(size_t(2 * n));
    for (int32_t i = 0; i < n; ++i) {
      S.TextStore.push_back(Params.PngTextKeywords->Get(i));
      S.TextStore.push_back(Params.PngTexts->Get(i));
    }
    for (int32_t i = 0; i < n; ++i) {
      png_text t{};
      t.compression = PNG_TEXT_COMPRESSION_NONE;
      t.key = S.TextStore[size_t(2 * i)].data();
      t.text = S.TextStore[size_t(2 * i + 1)].data();
      t.text_length = S.TextStore[size_t(2 * i + 1)].size();
      S.Texts.push_back(t);
    }
  }

  S.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, WriteError, IgnoreWarning);
  if (S.Png == nullptr) fail();
  S.Info = png_create_info_struct(S.Png);
  if (S.Info == nullptr) {
    png_destroy_write_struct(&S.Png, nullptr);
    fail();
  }
  const bool ok = WritePng(S, Params, Progress);
  png_destroy_write_struct(&S.Png, &S.Info);
  if (!ok) fail();
}

namespace {

// The writer takes the bitmap's alpha plane as its transparency.
TIECodec MakePngCodec() {
  TIECodec C;
  C.Format = ioPNG;
  C.Probe = IETryPng;
  // The reader puts the transparency straight into the bitmap's alpha plane.
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    PngReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    std::unique_ptr<TIEMask> mask;
    if (Bitmap != nullptr && Bitmap->HasAlphaChannel()) {
      mask = std::make_unique<TIEMask>();
      Bitmap->GetAlphaChannel()->CopyToTIEMask(mask.get());
      mask->UpdateFullFlag();
    }
    PngWriteStream(Stream, Bitmap, Params, Progress, mask.get());
    return true;
  };
  return C;
}

const bool Registered = IERegisterCodec(MakePngCodec());

}  // namespace
