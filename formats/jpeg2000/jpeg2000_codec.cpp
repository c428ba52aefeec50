#include "formats/jpeg2000/jpeg2000_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/codec_table.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

#ifdef FOLIVRA_HAVE_OPENJP2
#include <openjpeg.h>
#endif

namespace {

bool PeekBytes(TStream* Stream, uint8_t* Buf, int64_t N) {
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  const bool ok = Stream->Read(Buf, N) == N;
  Stream->Seek(pos, soBeginning);
  return ok;
}

TJ2kYCbCrTables BuildTables() {
  TJ2kYCbCrTables t{};
  const float wr = 0.299f, wg = 0.587f, wb = 0.114f;
  const float a = 2 - 2 * wr;
  const float b = wr * a / wg;
  const float c = 2 - 2 * wb;
  const float d = wb * c / wg;
  for (int32_t i = 0; i < 256; ++i) {
    const int32_t r = i - 128;
    t.CrToR[i] = int32_t(std::nearbyint(double(a) * r));
    t.CbToB[i] = int32_t(std::nearbyint(double(c) * r));
    t.CrToG[i] = -int32_t(std::nearbyint(double(b) * r));
    t.CbToG[i] = -int32_t(std::nearbyint(double(d) * r));
  }
  return t;
}

}  // namespace

const TJ2kYCbCrTables& J2kYCbCrTables() {
  static const TJ2kYCbCrTables tables = BuildTables();
  return tables;
}

bool IETryJP2(TStream* Stream) {
  uint8_t h[12];
  static const uint8_t sig[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  return PeekBytes(Stream, h, 12) && std::memcmp(h, sig, 12) == 0;
}

bool IETryJ2K(TStream* Stream) {
  uint8_t h[4];
  return PeekBytes(Stream, h, 4) && h[0] == 0xFF && h[1] == 0x4F && h[2] == 0xFF && h[3] == 0x51;
}

#ifdef FOLIVRA_HAVE_OPENJP2

namespace {

// The code stream in memory, as OpenJPEG's stream callbacks see it.
struct TMemSource {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  int64_t Pos = 0;
};

OPJ_SIZE_T SourceRead(void* Buffer, OPJ_SIZE_T N, void* User) {
  auto* s = static_cast<TMemSource*>(User);
  const int64_t left = s->Size - s->Pos;
  if (left <= 0) return OPJ_SIZE_T(-1);
  const int64_t n = std::min<int64_t>(left, int64_t(N));
  std::memcpy(Buffer, s->Data + s->Pos, size_t(n));
  s->Pos += n;
  return OPJ_SIZE_T(n);
}
OPJ_OFF_T SourceSkip(OPJ_OFF_T N, void* User) {
  auto* s = static_cast<TMemSource*>(User);
  const int64_t to = std::clamp<int64_t>(s->Pos + N, 0, s->Size);
  const int64_t moved = to - s->Pos;
  s->Pos = to;
  return moved;
}
OPJ_BOOL SourceSeek(OPJ_OFF_T P, void* User) {
  auto* s = static_cast<TMemSource*>(User);
  if (P < 0 || P > s->Size) return OPJ_FALSE;
  s->Pos = P;
  return OPJ_TRUE;
}

// The encoder goes back to fill in box lengths: the sink is a seekable
// block that grows as it is written.
struct TMemSink {
  std::vector<uint8_t> Data;
  size_t Pos = 0;
};
OPJ_SIZE_T SinkWrite(void* Buffer, OPJ_SIZE_T N, void* User) {
  auto* s = static_cast<TMemSink*>(User);
  if (s->Pos + N > s->Data.size()) s->Data.resize(s->Pos + N);
  std::memcpy(s->Data.data() + s->Pos, Buffer, N);
  s->Pos += N;
  return N;
}
OPJ_OFF_T SinkSkip(OPJ_OFF_T N, void* User) {
  auto* s = static_cast<TMemSink*>(User);
  if (N < 0 && size_t(-N) > s->Pos) return -1;
  s->Pos = size_t(OPJ_OFF_T(s->Pos) + N);
  if (s->Pos > s->Data.size()) s->Data.resize(s->Pos);
  return N;
}
OPJ_BOOL SinkSeek(OPJ_OFF_T P, void* User) {
  auto* s = static_cast<TMemSink*>(User);
  if (P < 0) return OPJ_FALSE;
  s->Pos = size_t(P);
  if (s->Pos > s->Data.size()) s->Data.resize(s->Pos);
  return OPJ_TRUE;
}

// The library's messages are never shown.
void Quiet(const char*, void*) {}

struct TCodecHolder {
  opj_codec_t* Codec = nullptr;
  opj_stream_t* Stream = nullptr;
  opj_image_t* Image = nullptr;
  ~TCodecHolder() {
    if (Image) opj_image_destroy(Image);
    if (Stream) opj_stream_destroy(Stream);
    if (Codec) opj_destroy_codec(Codec);
  }
};

// A component's sample as an unsigned value of its precision, reduced to its
// top 8 bits (a sample of fewer bits is shifted up: 4-bit 15 gives 240).
inline uint8_t Top8(int32_t V, const opj_image_comp_t& C) {
  const uint32_t prec = std::clamp<uint32_t>(C.prec, 1, 31);
  int64_t u = V;
  if (C.sgnd) u += int64_t(1) << (prec - 1);
  u = std::clamp<int64_t>(u, 0, (int64_t(1) << prec) - 1);
  return prec >= 8 ? uint8_t(u >> (prec - 8)) : uint8_t(u << (8 - prec));
}

}  // namespace

bool J2kAvailable() { return true; }

void J2kReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly) {
  const bool jp2 = IETryJP2(Stream);
  if (!jp2 && !IETryJ2K(Stream)) {
    Progress.SetAborting();
    return;
  }
  try {
    const int64_t start = Stream->GetPosition();
    const int64_t size = Stream->GetSize() - start;
    if (size <= 0) {
      Progress.SetAborting();
      return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size));
    data.resize(size_t(std::max<int64_t>(0, Stream->Read(data.data(), size))));
    TMemSource src{data.data(), int64_t(data.size()), 0};

    TCodecHolder h;
    h.Codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_set_error_handler(h.Codec, Quiet, nullptr);
    opj_set_warning_handler(h.Codec, Quiet, nullptr);
    opj_set_info_handler(h.Codec, Quiet, nullptr);
    opj_dparameters_t dp;
    opj_set_default_decoder_parameters(&dp);
    h.Stream = opj_stream_create(1 << 16, OPJ_TRUE);
    opj_stream_set_read_function(h.Stream, SourceRead);
    opj_stream_set_skip_function(h.Stream, SourceSkip);
    opj_stream_set_seek_function(h.Stream, SourceSeek);
    opj_stream_set_user_data(h.Stream, &src, nullptr);
    opj_stream_set_user_data_length(h.Stream, OPJ_UINT64(src.Size));
    if (!opj_setup_decoder(h.Codec, &dp) || !opj_read_header(h.Stream, h.Codec, &h.Image) || !h.Image ||
        h.Image->numcomps == 0) {
      Progress.SetAborting();
      return;
    }
    opj_image_t* img = h.Image;
    const int64_t w = int64_t(img->x1) - img->x0;
    const int64_t hgt = int64_t(img->y1) - img->y0;
    // A code stream can describe a huge canvas in a few bytes: refuse sizes
    // a bitmap cannot hold before the decoder allocates its planes.
    if (w <= 0 || hgt <= 0 || w > 1000000 || hgt > 1000000 || w * hgt * img->numcomps > (int64_t(1) << 32)) {
      Progress.SetAborting();
      return;
    }

    // Colour model: the file's own, or from the component count when it
    // does not say (bare code streams).
    uint32_t colourComps = img->numcomps;
    int32_t alphaComp = -1;
    for (uint32_t i = 0; i < img->numcomps; ++i)
      if (img->comps[i].alpha) alphaComp = int32_t(i);
    OPJ_COLOR_SPACE cs = img->color_space;
    if (cs == OPJ_CLRSPC_UNKNOWN || cs == OPJ_CLRSPC_UNSPECIFIED)
      cs = img->numcomps <= 2 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB;
    if (cs == OPJ_CLRSPC_GRAY) {
      colourComps = 1;
      if (alphaComp < 0 && img->numcomps == 2) alphaComp = 1;
    } else if (cs == OPJ_CLRSPC_SRGB || cs == OPJ_CLRSPC_SYCC) {
      if (img->numcomps < 3) {
        Progress.SetAborting();
        return;
      }
      colourComps = 3;
      if (alphaComp < 0 && img->numcomps >= 4) alphaComp = 3;
    } else {
      Progress.SetAborting();
      return;
    }
    if (alphaComp >= 0 && uint32_t(alphaComp) < colourComps) alphaComp = -1;

    Params.SetImageCount(1);
    Params.BitsPerSample = int32_t(img->comps[0].prec);
    Params.SamplesPerPixel = int32_t(colourComps) + (alphaComp >= 0 ? 1 : 0);
    Params.FreeColorMap();
    Params.Width = int32_t(w);
    Params.Height = int32_t(hgt);
    Params.StoredWidth = int32_t(w);
    Params.StoredHeight = int32_t(hgt);
    Params.SetDpiX(96);
    Params.SetDpiY(96);
    if (ParamsOnly || !Bitmap) return;

    if (!opj_decode(h.Codec, h.Stream, img) || !opj_end_decompress(h.Codec, h.Stream)) {
      Progress.SetAborting();
      return;
    }
    for (uint32_t i = 0; i < img->numcomps; ++i)
      if (!img->comps[i].data || img->comps[i].w == 0 || img->comps[i].h == 0) {
        Progress.SetAborting();
        return;
      }

    const bool bilevel = colourComps == 1 && img->comps[0].prec == 1 && alphaComp < 0;
    if (!Bitmap->Allocate(int32_t(w), int32_t(hgt), bilevel ? ie1g : ie24RGB)) {
      Progress.SetAborting();
      return;
    }
    Bitmap->RemoveAlphaChannel();
    TIEBitmap* alpha = alphaComp >= 0 ? Bitmap->GetAlphaChannel() : nullptr;

    // Coordinate maps of the used components (subsampled components map
    // several pixels to one sample).
    const uint32_t used[4] = {0, colourComps > 1 ? 1u : 0u, colourComps > 2 ? 2u : 0u,
                              uint32_t(std::max(alphaComp, 0))};
    std::vector<int32_t> colMap[4], rowMap[4];
    for (int32_t k = 0; k < 4; ++k) {
      const opj_image_comp_t& c = img->comps[used[k]];
      colMap[k].resize(size_t(w));
      rowMap[k].resize(size_t(hgt));
      for (int64_t x = 0; x < w; ++x) {
        const int64_t m = (x + img->x0 - int64_t(c.x0) * c.dx) / std::max<uint32_t>(c.dx, 1);
        colMap[k][size_t(x)] = m < 0 || m >= c.w ? 0 : int32_t(m);
      }
      for (int64_t y = 0; y < hgt; ++y) {
        const int64_t m = (y + img->y0 - int64_t(c.y0) * c.dy) / std::max<uint32_t>(c.dy, 1);
        rowMap[k][size_t(y)] = m < 0 || m >= c.h ? 0 : int32_t(m);
      }
    }
    auto sample = [&](int32_t k, int64_t x, int64_t y) {
      const opj_image_comp_t& c = img->comps[used[k]];
      return Top8(c.data[size_t(rowMap[k][size_t(y)]) * c.w + size_t(colMap[k][size_t(x)])], c);
    };
    const TJ2kYCbCrTables& t = J2kYCbCrTables();
    const double step = 100.0 / double(hgt);
    for (int64_t y = 0; y < hgt; ++y) {
      uint8_t* row = Bitmap->GetScanline(int32_t(y));
      if (bilevel) {
        std::memset(row, 0, size_t((w + 7) / 8));
        for (int64_t x = 0; x < w; ++x)
          if (img->comps[0].data[size_t(rowMap[0][size_t(y)]) * img->comps[0].w + size_t(colMap[0][size_t(x)])])
            row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        for (int64_t x = 0; x < w; ++x) {
          uint8_t* p = row + 3 * x;
          if (colourComps == 1) {
            p[0] = p[1] = p[2] = sample(0, x, y);
          } else if (cs == OPJ_CLRSPC_SYCC) {
            const int32_t Y = sample(0, x, y), cb = sample(1, x, y), cr = sample(2, x, y);
            p[2] = uint8_t(std::clamp(Y + t.CrToR[cr], 0, 255));
            p[1] = uint8_t(std::clamp(Y + t.CbToG[cb] + t.CrToG[cr], 0, 255));
            p[0] = uint8_t(std::clamp(Y + t.CbToB[cb], 0, 255));
          } else {
            p[2] = sample(0, x, y);
            p[1] = sample(1, x, y);
            p[0] = sample(2, x, y);
          }
        }
      }
      if (alpha) {
        uint8_t* a = alpha->GetScanline(int32_t(y));
        for (int64_t x = 0; x < w; ++x) a[x] = sample(3, x, y);
      }
      Progress.Report(int32_t(double(y) * step));
      if (Progress.IsAborting()) return;
    }
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  } catch (const Exception&) {
    Progress.SetAborting();
  }
}

void J2kWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    int32_t FormatId) {
  if (!Bitmap || Bitmap->IsEmpty() ||
      (Bitmap->GetPixelFormat() != ie1g && Bitmap->GetPixelFormat() != ie24RGB) || Params.J2kColorSpace > 2) {
    Progress.SetAborting();
    return;
  }
  if (Bitmap->GetPixelFormat() == ie1g) {
    Params.BitsPerSample = 1;
    Params.J2kColorSpace = ioJ2K_GRAYLEV;
  }
  const int32_t bits = std::clamp(Params.BitsPerSample, 1, 16);
  const int64_t m = (int64_t(1) << bits) - 1;
  const uint32_t w = uint32_t(Bitmap->GetWidth()), hgt = uint32_t(Bitmap->GetHeight());
  const bool gray = Params.J2kColorSpace == ioJ2K_GRAYLEV;
  const bool withAlpha = !gray && Bitmap->HasAlphaChannel() && !Bitmap->GetAlphaChannel()->GetFull() &&
                         [&] {
                           // A plane that is opaque everywhere adds nothing.
                           TIEBitmap* a = Bitmap->GetAlphaChannel();
                           for (uint32_t y = 0; y < hgt; ++y)
                             for (uint32_t x = 0; x < w; ++x)
                               if (a->GetScanline(int32_t(y))[x] != 255) return true;
                           return false;
                         }();
  const uint32_t n = gray ? 1 : withAlpha ? 4 : 3;
  try {
    opj_image_cmptparm_t cp[4];
    std::memset(cp, 0, sizeof(cp));
    for (uint32_t i = 0; i < n; ++i) {
      cp[i].dx = cp[i].dy = 1;
      cp[i].w = w;
      cp[i].h = hgt;
      cp[i].prec = uint32_t(bits);
      cp[i].sgnd = 0;
    }
    TCodecHolder h;
    h.Image = opj_image_create(n, cp, gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    if (!h.Image) {
      Progress.SetAborting();
      return;
    }
    opj_image_t* img = h.Image;
    img->x0 = img->y0 = 0;
    img->x1 = w;
    img->y1 = hgt;
    if (withAlpha) img->comps[3].alpha = 1;
    const double step = 100.0 / double(hgt);
    for (uint32_t y = 0; y < hgt && !Progress.IsAborting(); ++y) {
      const uint8_t* row = Bitmap->GetScanline(int32_t(y));
      const size_t o = size_t(y) * w;
      for (uint32_t x = 0; x < w; ++x) {
        if (Bitmap->GetPixelFormat() == ie1g) {
          img->comps[0].data[o + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        } else if (gray) {
          const int32_t g = IERGBToGray(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
          img->comps[0].data[o + x] = int32_t(g * m / 255);
        } else {
          img->comps[0].data[o + x] = int32_t(row[3 * x + 2] * m / 255);
          img->comps[1].data[o + x] = int32_t(row[3 * x + 1] * m / 255);
          img->comps[2].data[o + x] = int32_t(row[3 * x] * m / 255);
          if (withAlpha)
            img->comps[3].data[o + x] = int32_t(Bitmap->GetAlphaChannel()->GetScanline(int32_t(y))[x] * m / 255);
        }
      }
      Progress.Report(int32_t(double(y) * step));
    }

    opj_cparameters_t ep;
    opj_set_default_encoder_parameters(&ep);
    ep.tcp_numlayers = 1;
    ep.cp_disto_alloc = 1;
    if (Params.J2kRate >= 1.0 || Params.J2kRate <= 0) {
      ep.tcp_rates[0] = 0;  // lossless
      ep.irreversible = 0;
    } else {
      ep.tcp_rates[0] = float(1.0 / Params.J2kRate);
      ep.irreversible = 1;
    }
    ep.prog_order = Params.J2kProgression == ioJ2KPO_RLCP ? OPJ_RLCP : OPJ_LRCP;
    // Fewer wavelet levels for small images: each level halves the side.
    int32_t levels = 1;
    while (levels < 6 && (std::min(w, hgt) >> levels) >= 1) ++levels;
    ep.numresolution = levels;
    ep.tcp_mct = n >= 3 ? 1 : 0;

    TMemSink out;
    h.Codec = opj_create_compress(FormatId == J2K_FORMAT_J2K ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    opj_set_error_handler(h.Codec, Quiet, nullptr);
    opj_set_warning_handler(h.Codec, Quiet, nullptr);
    opj_set_info_handler(h.Codec, Quiet, nullptr);
    h.Stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_write_function(h.Stream, SinkWrite);
    opj_stream_set_skip_function(h.Stream, SinkSkip);
    opj_stream_set_seek_function(h.Stream, SinkSeek);
    opj_stream_set_user_data(h.Stream, &out, nullptr);
    if (!opj_setup_encoder(h.Codec, &ep, img) || !opj_start_compress(h.Codec, img, h.Stream) ||
        !opj_encode(h.Codec, h.Stream) || !opj_end_compress(h.Codec, h.Stream)) {
      Progress.SetAborting();
      return;
    }
    Stream->WriteBuffer(out.Data.data(), int64_t(out.Data.size()));
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  } catch (const Exception&) {
    Progress.SetAborting();
  }
}

#else

bool J2kAvailable() { return false; }
void J2kReadStream(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec& Progress, bool) { Progress.SetAborting(); }
void J2kWriteStream(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec& Progress, int32_t) {
  Progress.SetAborting();
}

#endif

void IEReadJ2kStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  J2kReadStream(Stream, Bitmap, Params, Progress, ParamsOnly);
}
void IEWriteJp2Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  J2kWriteStream(Stream, Bitmap, Params, Progress, J2K_FORMAT_JP2);
}
void IEWriteJ2kStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  J2kWriteStream(Stream, Bitmap, Params, Progress, J2K_FORMAT_J2K);
}

namespace {

TIECodec MakeJ2kCodec(TIEFileFormat Format) {
  TIECodec C;
  C.Format = Format;
  C.Probe = Format == ioJP2 ? IETryJP2 : IETryJ2K;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    J2kReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
  };
  const int32_t Id = Format == ioJP2 ? J2K_FORMAT_JP2 : J2K_FORMAT_J2K;
  C.Write = [Id](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    J2kWriteStream(Stream, Bitmap, Params, Progress, Id);
    return !Progress.IsAborting();
  };
  // The writer takes 1-bit gray and 24-bit colour only.
  C.SaveAs24 = true;
  return C;
}

// A build without the library has no JPEG 2000 rows at all.
const bool Registered =
    J2kAvailable() && IERegisterCodec(MakeJ2kCodec(ioJP2)) && IERegisterCodec(MakeJ2kCodec(ioJ2K));

}  // namespace
