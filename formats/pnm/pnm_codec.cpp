#include "formats/pnm/pnm_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/codec_table.h"
#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/pixel_utils.h"
#include "foundations/progress.h"
#include "foundations/settings.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"

namespace {

// Reads the stream through a block buffer; the header tokens and the ASCII
// samples are taken byte by byte, which would be slow straight from a file.
class TPnmInput {
 public:
  explicit TPnmInput(TStream* Stream) : FStream(Stream) {}
  // -1 at the end of the stream.
  int Get() {
    if (FPos == FLen && !Fill()) return -1;
    return FBuf[FPos++];
  }
  // Copies Count bytes; false when the stream ended first.
  bool Read(uint8_t* Dest, int64_t Count) {
    while (Count > 0) {
      if (FPos == FLen && !Fill()) return false;
      const int64_t n = std::min<int64_t>(Count, FLen - FPos);
      std::memcpy(Dest, FBuf + FPos, size_t(n));
      FPos += n;
      Dest += n;
      Count -= n;
    }
    return true;
  }
  // Bytes consumed so far counted from where the input began.
  int64_t Consumed() const { return FBase + FPos; }

 private:
  bool Fill() {
    FBase += FLen;
    FPos = 0;
    const int64_t got = FStream->Read(FBuf, sizeof(FBuf));
    FLen = got > 0 ? got : 0;
    return FLen > 0;
  }
  TStream* FStream;
  uint8_t FBuf[65536];
  int64_t FPos = 0;
  int64_t FLen = 0;
  int64_t FBase = 0;
};

bool IsTokenByte(int c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A run of letters and digits, or "#" and the trimmed comment; "" at the end.
std::string ReadToken(TPnmInput& In) {
  for (;;) {
    int c = In.Get();
    if (c < 0) return std::string();
    if (c == '#') {
      std::string text;
      while ((c = In.Get()) >= 0 && c != '\n' && c != '\r') text.push_back(char(c));
      return "#" + IETrim(text);
    }
    if (!IsTokenByte(c)) continue;
    std::string token(1, char(c));
    while ((c = In.Get()) >= 0 && IsTokenByte(c)) {
      // A token longer than any number of interest is kept short; it can
      // only be refused anyway.
      if (token.size() < 32) token.push_back(char(c));
    }
    return token;
  }
}

// A decimal token as a number; -1 when it is not one or exceeds Limit.
int64_t TokenNumber(const std::string& Token, int64_t Limit) {
  if (Token.empty() || Token.size() > 18) return -1;
  int64_t v = 0;
  for (char c : Token) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v > Limit ? -1 : v;
}

// The next ASCII sample, clamped to MaxVal; -1 at the end of the stream.
// Comments between samples are skipped.
int64_t ReadAsciiSample(TPnmInput& In, int64_t MaxVal) {
  for (;;) {
    const std::string t = ReadToken(In);
    if (t.empty()) return -1;
    if (t[0] == '#') continue;
    int64_t v = 0;
    for (char c : t) v = (c >= '0' && c <= '9') ? std::min<int64_t>(v * 10 + (c - '0'), MaxVal) : v;
    return std::min(v, MaxVal);
  }
}

struct TPnmHeader {
  char Kind = 0;  // '1'..'6'
  int64_t Width = -1;
  int64_t Height = -1;
  int64_t MaxVal = -1;
};

// Reads the header tokens; comments go to Comments when it is given.
bool ReadHeader(TPnmInput& In, TPnmHeader& H, TStringList* Comments) {
  int32_t field = 0;
  for (int32_t guard = 0; guard < 100000; ++guard) {
    const std::string t = ReadToken(In);
    if (t.empty()) return false;
    if (t[0] == '#') {
      if (Comments) Comments->Add(t.substr(1));
      continue;
    }
    switch (field++) {
      case 0:
        if (t.size() != 2 || t[0] != 'P' || t[1] < '1' || t[1] > '6') return false;
        H.Kind = t[1];
        if (H.Kind == '1' || H.Kind == '4') H.MaxVal = 1;
        break;
      case 1:
        H.Width = TokenNumber(t, 0x7FFFFFFF);
        break;
      case 2:
        H.Height = TokenNumber(t, 0x7FFFFFFF);
        if (H.MaxVal == 1) return true;
        break;
      default:
        H.MaxVal = TokenNumber(t, 0x7FFFFFFF);
        return true;
    }
  }
  return false;
}

void WriteChecked(TStream* Stream, const void* Data, int64_t Count, TIEProgressRec& Progress) {
  if (Count > 0 && Stream->Write(Data, Count) != Count) Progress.SetAborting();
}

void ReportRow(TIEProgressRec& Progress, int32_t Done, int32_t Height) {
  if (Progress.fOnProgress) Progress.Report(int32_t(int64_t(Done) * 100 / Height));
}

}  // namespace

bool IETryPnm(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->GetPosition();
  bool ok = false;
  try {
    auto in = std::make_unique<TPnmInput>(Stream);
    TPnmHeader h;
    ok = ReadHeader(*in, h, nullptr) && h.Width > 0 && h.Height > 0;
  } catch (...) {
    ok = false;
  }
  Stream->Seek(start, soBeginning);
  return ok;
}

void PnmReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly) {
  if (Params.PnmComments) Params.PnmComments->Clear();
  const int64_t start = Stream->GetPosition();
  const int64_t size = Stream->GetSize();
  auto in = std::make_unique<TPnmInput>(Stream);
  TPnmHeader h;
  const bool headerOk = ReadHeader(*in, h, Params.PnmComments.get());
  // A maxval of 0 gives no sample range and one above 65535 no sample size.
  if (!headerOk || h.Width <= 0 || h.Height <= 0 || h.MaxVal <= 0 || h.MaxVal > 65535) {
    Stream->Seek(start + in->Consumed(), soBeginning);
    Progress.SetAborting();
    return;
  }
  const int32_t width = int32_t(h.Width), height = int32_t(h.Height);
  const int64_t maxVal = h.MaxVal;
  const bool wide = maxVal > 255;
  const bool colour = h.Kind == '3' || h.Kind == '6';
  const int32_t spp = colour ? 3 : 1;
  Params.FreeColorMap();
  Params.Width = Params.StoredWidth = width;
  Params.Height = Params.StoredHeight = height;
  Params.SetDpiX(IEDefaultDpiX);
  Params.SetDpiY(IEDefaultDpiY);
  Params.SamplesPerPixel = spp;
  Params.BitsPerSample = (h.Kind == '1' || h.Kind == '4') ? 1 : (wide && h.Kind >= '5' ? 16 : 8);
  if (ParamsOnly || Bitmap == nullptr) {
    Stream->Seek(start + in->Consumed(), soBeginning);
    return;
  }

  // The least the data can take for this size: a byte per ASCII bitmap
  // pixel, a digit and a separator per ASCII sample, the packed rows of the
  // binary forms.  A header asking for more than the stream holds is refused
  // before anything is allocated.
  const int64_t pixels = h.Width * h.Height;
  const int64_t sampleBytes = wide ? 2 : 1;
  const int64_t binaryRow = h.Kind == '4' ? (h.Width + 7) / 8 : h.Width * spp * sampleBytes;
  int64_t least = 0;
  switch (h.Kind) {
    case '1': least = pixels; break;
    case '2': case '3': least = pixels * spp * 2 - 1; break;
    default: least = binaryRow * h.Height; break;
  }
  const int64_t left = size - (start + in->Consumed());
  if (left < least) {
    Stream->Seek(start + in->Consumed(), soBeginning);
    Progress.SetAborting();
    return;
  }

  TIEPixelFormat format = ie24RGB;
  if (h.Kind == '1' || h.Kind == '4') format = ie1g;
  else if (wide && Params.NativePixelFormat && h.Kind == '5') format = ie16g;
  else if (wide && Params.NativePixelFormat && h.Kind == '6') format = ieRGB48;
  if (!Bitmap->Allocate(width, height, format)) {
    Stream->Seek(start + in->Consumed(), soBeginning);
    Progress.SetAborting();
    return;
  }
  // Eight-bit results scale v to trunc(v x 255 / maxval); sixteen-bit ones to
  // trunc(v x 65535 / maxval).  Both are exact integer quotients.
  auto to8 = [maxVal](int64_t v) { return uint8_t(std::min(v, maxVal) * 255 / maxVal); };
  auto to16 = [maxVal](int64_t v) { return uint16_t(std::min(v, maxVal) * 65535 / maxVal); };

  std::vector<uint8_t> row(size_t(std::max<int64_t>(binaryRow, 1)));
  bool ended = false;
  for (int32_t y = 0; y < height && !ended && !Progress.IsAborting(); ++y) {
    uint8_t* dst = Bitmap->GetScanline(y);
    switch (h.Kind) {
      case '1': {
        std::memset(dst, 0, size_t(Bitmap->GetRowLen()));
        for (int32_t x = 0; x < width;) {
          const int c = in->Get();
          if (c < 0) { ended = true; break; }
          if (c == '#') {
            int d;
            while ((d = in->Get()) >= 0 && d != '\n' && d != '\r') {}
            continue;
          }
          if (c != '0' && c != '1') continue;
          if (c == '0') dst[x >> 3] |= uint8_t(0x80 >> (x & 7));  // 0 is white
          ++x;
        }
        break;
      }
      case '2':
      case '3':
        for (int32_t x = 0; x < width && !ended; ++x) {
          uint8_t rgb[3];
          for (int32_t s = 0; s < spp; ++s) {
            const int64_t v = ReadAsciiSample(*in, maxVal);
            if (v < 0) { ended = true; break; }
            rgb[s] = to8(v);
          }
          if (ended) break;
          if (spp == 1) rgb[1] = rgb[2] = rgb[0];
          dst[3 * x] = rgb[2];
          dst[3 * x + 1] = rgb[1];
          dst[3 * x + 2] = rgb[0];
        }
        break;
      case '4':
        if (!in->Read(dst, binaryRow)) { ended = true; break; }
        for (int64_t i = 0; i < binaryRow; ++i) dst[i] = uint8_t(~dst[i]);
        break;
      default: {
        if (!in->Read(row.data(), binaryRow)) { ended = true; break; }
        const int64_t samples = int64_t(width) * spp;
        auto sample = [&](int64_t i) -> int64_t {
          return wide ? (int64_t(row[2 * i]) << 8 | row[2 * i + 1]) : int64_t(row[i]);
        };
        if (format == ie16g) {
          auto* d16 = reinterpret_cast<uint16_t*>(dst);
          for (int64_t i = 0; i < samples; ++i) d16[i] = to16(sample(i));
        } else if (format == ieRGB48) {
          auto* d16 = reinterpret_cast<uint16_t*>(dst);
          for (int64_t i = 0; i < samples; ++i) d16[i] = to16(sample(i));  // red first, as stored
        } else if (spp == 1) {
          for (int32_t x = 0; x < width; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = to8(sample(x));
        } else {
          for (int32_t x = 0; x < width; ++x) {
            dst[3 * x + 2] = to8(sample(3 * int64_t(x)));
            dst[3 * x + 1] = to8(sample(3 * int64_t(x) + 1));
            dst[3 * x] = to8(sample(3 * int64_t(x) + 2));
          }
        }
        break;
      }
    }
    ReportRow(Progress, y + 1, height);
  }
  Stream->Seek(start + in->Consumed(), soBeginning);
  // Data that ends before the last row is damage: the rows read stay, the
  // caller learns of it through the abort flag.
  if (ended) Progress.SetAborting();
}

void PnmWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
    Progress.SetAborting();
    return;
  }
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  const int32_t bps = Params.BitsPerSample, spp = Params.SamplesPerPixel;

  // The source in one of the three formats the rows are built from.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  auto convertedTo = [&](TIEPixelFormat F) {
    if (src->GetPixelFormat() == F) return;
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->ConvertToPixelFormat(F);
    src = copy.get();
  };

  enum { kP4, kP5, kP5Wide, kP6Wide, kP6 } kind;
  if ((bps == 1 && spp == 1) || pf == ie1g) {
    kind = kP4;
    convertedTo(ie1g);
  } else if (bps == 8 && spp == 1) {
    kind = kP5;
    convertedTo(ie24RGB);
  } else if (bps == 16 && spp == 1) {
    kind = kP5Wide;
    if (pf != ie16g) convertedTo(ie24RGB);
  } else if (pf == ieRGB48 || (bps == 16 && spp == 3)) {
    kind = kP6Wide;
    if (pf != ieRGB48) convertedTo(ie24RGB);
  } else {
    kind = kP6;
    convertedTo(ie24RGB);
  }
  if (src->GetWidth() != width || src->GetHeight() != height) {
    Progress.SetAborting();
    return;
  }

  std::string comments;
  if (Params.PnmComments)
    for (int32_t i = 0; i < Params.PnmComments->GetCount(); ++i)
      comments += "\n# " + Params.PnmComments->Get(i) + "\n";
  static const char* const kMagic[] = {"P4", "P5", "P5", "P6", "P6"};
  std::string head = std::string(kMagic[kind]) + " " + comments + std::to_string(width) + " " +
                     std::to_string(height);
  if (kind == kP5 || kind == kP6) head += " 255";
  if (kind == kP5Wide || kind == kP6Wide) head += " 65535";
  head += "\n";
  WriteChecked(Stream, head.data(), int64_t(head.size()), Progress);

  const int32_t samples = kind == kP4 ? 0 : ((kind == kP5 || kind == kP5Wide) ? 1 : 3);
  const int64_t rowBytes = kind == kP4 ? (int64_t(width) + 7) / 8
                                       : int64_t(width) * samples * ((kind == kP5Wide || kind == kP6Wide) ? 2 : 1);
  std::vector<uint8_t> out(static_cast<size_t>(rowBytes));
  for (int32_t y = 0; y < height && !Progress.IsAborting(); ++y) {
    const uint8_t* s = src->GetScanline(y);
    uint8_t* o = out.data();
    switch (kind) {
      case kP4:
        for (int64_t i = 0; i < rowBytes; ++i) o[i] = uint8_t(~s[i]);
        if (width & 7) o[rowBytes - 1] &= uint8_t(0xFF00 >> (width & 7));
        break;
      case kP5:
        for (int32_t x = 0; x < width; ++x)
          o[x] = uint8_t(IEClampByte(IERGBToGray(reinterpret_cast<const TRGB*>(s)[x])));
        break;
      case kP5Wide:
        for (int32_t x = 0; x < width; ++x) {
          const uint16_t v = src->GetPixelFormat() == ie16g
                                 ? reinterpret_cast<const uint16_t*>(s)[x]
                                 : uint16_t(IEClampByte(IERGBToGray(reinterpret_cast<const TRGB*>(s)[x])) * 257);
          o[2 * x] = uint8_t(v >> 8);
          o[2 * x + 1] = uint8_t(v);
        }
        break;
      case kP6Wide:
        for (int32_t x = 0; x < width; ++x)
          for (int32_t c = 0; c < 3; ++c) {
            const uint16_t v = src->GetPixelFormat() == ieRGB48
                                   ? reinterpret_cast<const uint16_t*>(s)[3 * x + c]
                                   : uint16_t(s[3 * x + 2 - c] * 257);
            o[6 * x + 2 * c] = uint8_t(v >> 8);
            o[6 * x + 2 * c + 1] = uint8_t(v);
          }
        break;
      case kP6:
        for (int32_t x = 0; x < width; ++x) {
          o[3 * x] = s[3 * x + 2];
          o[3 * x + 1] = s[3 * x + 1];
          o[3 * x + 2] = s[3 * x];
        }
        break;
    }
    WriteChecked(Stream, out.data(), rowBytes, Progress);
    ReportRow(Progress, y + 1, height);
  }
}

namespace {

TIECodec MakePnmCodec() {
  TIECodec C;
  C.Format = ioPXM;
  C.Probe = IETryPnm;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    PnmReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    PnmWriteStream(Stream, Bitmap, Params, Progress);
    return true;
  };
  return C;
}

const bool Registered = IERegisterCodec(MakePnmCodec());

}  // namespace
