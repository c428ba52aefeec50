#include "formats/metafile/raw_samples.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/codec_table.h"
#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// Sequential reading through an 8 KB buffer.
class TSampleInput {
 public:
  explicit TSampleInput(TStream* S) : FStream(S) {}
  // -1 at the end of the data.
  int32_t Next() {
    if (FPos == FLen) {
      FLen = FStream->Read(FBuf, sizeof(FBuf));
      FPos = 0;
      if (FLen <= 0) {
        FLen = 0;
        return -1;
      }
    }
    return FBuf[FPos++];
  }
  int64_t Read(uint8_t* Dest, int64_t N) {
    int64_t got = 0;
    while (got < N) {
      const int32_t b = Next();
      if (b < 0) break;
      Dest[got++] = uint8_t(b);
    }
    return got;
  }
  void Skip(int64_t N) {
    while (N-- > 0 && Next() >= 0) {
    }
  }
  void Back() {
    if (FPos > 0) --FPos;
  }

 private:
  TStream* FStream;
  uint8_t FBuf[8192];
  int64_t FPos = 0;
  int64_t FLen = 0;
};

enum TSampleKind { skByte, skWord, skFloat };

bool IsDecimal(int32_t C) { return C >= '0' && C <= '9'; }
bool IsHex(int32_t C) { return IsDecimal(C) || (C >= 'A' && C <= 'F'); }

// The next text sample: digits up to 34 of them, value saturated; false at
// the end of the data.
bool NextNumber(TSampleInput& In, bool Hex, double& Value) {
  int32_t c;
  do {
    c = In.Next();
    if (c < 0) return false;
  } while (!(Hex ? IsHex(c) : IsDecimal(c)));
  double v = 0;
  int32_t digits = 0;
  while (c >= 0 && (Hex ? IsHex(c) : IsDecimal(c))) {
    if (digits < 34) {
      const int32_t d = IsDecimal(c) ? c - '0' : c - 'A' + 10;
      v = v * (Hex ? 16 : 10) + d;
      ++digits;
    }
    c = In.Next();
  }
  if (c >= 0) In.Back();
  Value = v;
  return true;
}

// Reads Count samples of one row into Buffer (ByteCount bytes for binary
// data).  Answers false when the data ended first.
bool ReadSamples(TSampleInput& In, uint8_t* Buffer, int64_t Count, int64_t ByteCount, TSampleKind Kind,
                 uint8_t Encoding, bool Bits) {
  if (Encoding == ioRAW_BINARY) return In.Read(Buffer, ByteCount) == ByteCount;
  const bool hex = Encoding == ioRAW_HEX_TEXT;
  if (hex && Kind == skFloat) throw Exception("Format unsupported");
  if (Bits) std::memset(Buffer, 0, size_t((Count + 7) / 8));
  for (int64_t i = 0; i < Count; ++i) {
    double v;
    if (!NextNumber(In, hex, v)) return false;
    if (Bits) {
      if (v != 0) Buffer[i >> 3] |= uint8_t(0x80 >> (i & 7));
    } else if (Kind == skByte) {
      Buffer[i] = uint8_t(std::min(v, 255.0));
    } else if (Kind == skWord) {
      const uint16_t w = uint16_t(std::min(v, 65535.0));
      std::memcpy(Buffer + 2 * i, &w, 2);
    } else {
      const float f = float(std::min(v, 3.4e38));
      std::memcpy(Buffer + 4 * i, &f, 4);
    }
  }
  return true;
}

}  // namespace

void RawBitmapReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    Progress.SetAborting();
    return;
  }
  TSampleInput in(Stream);
  in.Skip(std::max(0, Params.RawPixelsSkipBytes));
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const TSampleKind kind = pf == ie16g || pf == ieRGB48 ? skWord : pf == ie32f ? skFloat : skByte;
  const int32_t sampleBits = kind == skWord ? 16 : kind == skFloat ? 32 : 8;
  const int32_t align = std::max(1, Params.RawPixelsRowAlignBits);
  const uint8_t enc = Params.RawPixelsEncoding;
  const bool planar = Params.RawPixelsPlanar == ioRAW_PLANAR && (pf == ie24RGB || pf == ieCMYK || pf == ieRGB48);
  const double factor = 100.0 / h;
  int32_t last = -1;
  auto report = [&](int32_t Per) {
    if (Per != last) {
      last = Per;
      Progress.Report(Per);
    }
  };

  if (!(pf == ie1g || pf == ie8p || pf == ie8g || pf == ie16g || pf == ie32f || pf == ie24RGB || pf == ieCMYK ||
        pf == ieRGB48))
    return;
  const int32_t channels = Bitmap->GetChannelCount();
  if (!planar) {
    const int64_t fileRow = IEBitmapRowLen(w, Bitmap->GetBitCount(), align);
    const int64_t bitmapRow = pf == ie1g ? (int64_t(w) + 7) / 8 : int64_t(w) * Bitmap->GetBitCount() / 8;
    std::vector<uint8_t> scratch(size_t(std::max(fileRow, bitmapRow)));
    for (int32_t y = 0; y < h; ++y) {
      const int64_t n = std::min(fileRow, bitmapRow);
      bool ok;
      if (enc == ioRAW_BINARY) {
        ok = in.Read(scratch.data(), n) == n;
        if (ok) std::memcpy(Bitmap->GetScanline(y), scratch.data(), size_t(n));
        if (ok && fileRow > bitmapRow) in.Skip(fileRow - bitmapRow);
      } else {
        ok = ReadSamples(in, scratch.data(), int64_t(w) * (pf == ie1g ? 1 : channels), 0, kind, enc, pf == ie1g);
        if (ok) std::memcpy(Bitmap->GetScanline(y), scratch.data(), size_t(bitmapRow));
      }
      if (!ok) break;
      report(int32_t(factor * y));
    }
  } else {
    const int32_t bytesPerSample = sampleBits / 8;
    const int64_t planeRow = IEBitmapRowLen(w, sampleBits, align);
    std::vector<uint8_t> scratch(size_t(std::max<int64_t>(planeRow, int64_t(w) * bytesPerSample)));
    bool ok = true;
    for (int32_t c = 0; c < channels && ok; ++c) {
      report(100 * c / channels);
      for (int32_t y = 0; y < h; ++y) {
        ok = ReadSamples(in, scratch.data(), w, planeRow, kind, enc, false);
        if (!ok) break;
        uint8_t* row = Bitmap->GetScanline(y);
        for (int32_t x = 0; x < w; ++x)
          std::memcpy(row + (int64_t(x) * channels + c) * bytesPerSample, scratch.data() + int64_t(x) * bytesPerSample,
                      size_t(bytesPerSample));
      }
    }
  }
  // Samples stored red first land in the blue-first memory order.
  if (!Params.RawPixelsRgbOrder && (pf == ie24RGB || pf == ieRGB48)) {
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = Bitmap->GetScanline(y);
      for (int32_t x = 0; x < w; ++x) {
        if (pf == ie24RGB) {
          std::swap(row[3 * x], row[3 * x + 2]);
        } else {
          uint16_t* p = reinterpret_cast<uint16_t*>(row + 6 * x);
          std::swap(p[0], p[2]);
        }
      }
    }
  }
  report(100);
}

void IEReadRawBitmapStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                           bool ParamsOnly) {
  if (ParamsOnly) return;
  RawBitmapReadStream(Stream, Bitmap, Params, Progress);
}

namespace {

// Headerless samples have no signature to probe for: the format is always
// named by the caller, and the image to fill is the caller's current one.
TIECodec MakeRawBitmapCodec() {
  TIECodec C;
  C.Format = ioBMPRAW;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    IEReadRawBitmapStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress,
                          Request.ParamsOnly);
  };
  // The samples carry no resolution and the image keeps the one it has.
  C.FixDpi = false;
  C.SyncDpi = false;
  return C;
}

const bool Registered = IERegisterCodec(MakeRawBitmapCodec());

}  // namespace
