#include "formats/dicom/dicom_reader.h"

#include <atomic>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_table.h"
#include "formats/dicom/dicom_dictionary.h"
#include "formats/dicom/lossless_jpeg.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg2000/jpeg2000_codec.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/xmp_dicom_tags.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

const std::string kImplicitLE = "1.2.840.10008.1.2";
const std::string kExplicitLE = "1.2.840.10008.1.2.1";
const std::string kExplicitBE = "1.2.840.10008.1.2.2";
const std::string kRle = "1.2.840.10008.1.2.5";
const std::string kJpegBaseline = "1.2.840.10008.1.2.4.50";
const std::string kJpegExtended = "1.2.840.10008.1.2.4.51";
const std::string kJpegLossless = "1.2.840.10008.1.2.4.57";
const std::string kJpegLosslessSV1 = "1.2.840.10008.1.2.4.70";
const std::string kJ2kLossless = "1.2.840.10008.1.2.4.90";
const std::string kJ2k = "1.2.840.10008.1.2.4.91";

// Explicit representations whose length is 32 bits after two reserved bytes.
bool LongLengthVR(const char* V) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* l : kLong)
    if (V[0] == l[0] && V[1] == l[1]) return true;
  return false;
}

std::string Trimmed(const uint8_t* D, int64_t N) {
  std::string s(reinterpret_cast<const char*>(D), size_t(N));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  size_t a = 0;
  while (a < s.size() && s[a] == ' ') ++a;
  return s.substr(a);
}

// The first value of a decimal-string element; Default when it holds none.
double DecimalValue(const std::string& S, double Default) {
  const std::string first = S.substr(0, S.find('\\'));
  char* end = nullptr;
  const double v = std::strtod(first.c_str(), &end);
  return end == first.c_str() || !std::isfinite(v) ? Default : v;
}

struct TPalette {
  int32_t Entries = 0;  // 0 = none
  int32_t First = 0;
  int32_t Bits = 16;
  std::vector<uint16_t> Table[3];
  bool Valid() const {
    return Entries > 0 && int32_t(Table[0].size()) >= Entries && int32_t(Table[1].size()) >= Entries &&
           int32_t(Table[2].size()) >= Entries;
  }
  // The 16-bit entry of channel C for stored value V: values before the
  // first mapped one take entry 0, values after the table its last entry.
  uint16_t At(int32_t C, int32_t V) const {
    const int32_t i = std::clamp(V - First, 0, Entries - 1);
    return Table[C][size_t(i)];
  }
};

struct TDicomContext {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  bool Little = true;
  std::string TransferSyntax;
  int32_t SamplesPerPixel = 1;
  std::string Photometric;
  int32_t Planar = 0;
  int32_t Frames = 1;
  int32_t PixelRepresentation = 0;
  int32_t Columns = 0, Rows = 0;
  int32_t BitsAllocated = 0, BitsStored = 0;
  double WindowCentre = -1, WindowWidth = -1;
  double Intercept = 0, Slope = 1;
  int32_t Descriptor[3][3] = {};
  bool HaveDescriptor[3] = {};
  std::vector<uint8_t> PaletteData[3];
  int64_t PixelPos = -1;
  bool PixelWords = false;  // pixel data given as OW
  uint32_t PixelLength = 0;
};

uint16_t Rd16(const TDicomContext& C, int64_t P, bool Little) {
  const uint8_t* d = C.Data + P;
  return Little ? uint16_t(d[0] | d[1] << 8) : uint16_t(d[0] << 8 | d[1]);
}
uint32_t Rd32(const TDicomContext& C, int64_t P, bool Little) {
  const uint8_t* d = C.Data + P;
  return Little ? uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24
                : uint32_t(d[0]) << 24 | uint32_t(d[1]) << 16 | uint32_t(d[2]) << 8 | uint32_t(d[3]);
}

class TDicomReader {
 public:
  TDicomReader(TDicomContext& C, TIOParamsVals& P, TIEProgressRec& Pr) : Ctx(C), Params(P), Progress(Pr) {}
  bool Walk();
  bool Decode(TIEBitmap* Bitmap);

 private:
  void Interpret(uint16_t Group, uint16_t Element, const uint8_t* V, int64_t N);
  bool FrameData(int64_t& Start, int64_t& Length, std::vector<uint8_t>& Joined);
  bool DecodeNative(TIEBitmap* B, int64_t Start);
  bool DecodeRle(TIEBitmap* B, const uint8_t* D, int64_t N);
  bool GrayFromSamples(TIEBitmap* B, const std::vector<int32_t>& Values, bool Wide);
  TPalette Palette() const;
  void Report(int32_t Done, int32_t Total) {
    const int32_t per = Total > 0 ? int32_t(int64_t(Done) * 100 / Total) : 100;
    if (per != Progress.last) {
      Progress.last = per;
      Progress.Report(per);
    }
  }

  TDicomContext& Ctx;
  TIOParamsVals& Params;
  TIEProgressRec& Progress;
};

void TDicomReader::Interpret(uint16_t Group, uint16_t Element, const uint8_t* V, int64_t N) {
  auto us = [&]() -> int32_t { return N >= 2 ? Rd16(Ctx, V - Ctx.Data, Ctx.Little) : 0; };
  if (Group == 0x0002 && Element == 0x0010) {
    Ctx.TransferSyntax = Trimmed(V, N);
    if (Ctx.TransferSyntax == kExplicitBE) Ctx.Little = false;
    return;
  }
  if (Group != 0x0028) return;
  const std::string text = Trimmed(V, N);
  switch (Element) {
    case 0x0002: Ctx.SamplesPerPixel = us(); break;
    case 0x0004: {
      Ctx.Photometric = text;
      for (char& c : Ctx.Photometric) c = char(std::toupper(uint8_t(c)));
      break;
    }
    case 0x0006: Ctx.Planar = us(); break;
    case 0x0008: Ctx.Frames = std::max(1, int32_t(DecimalValue(text, 1))); break;
    case 0x0010: Ctx.Rows = us(); break;
    case 0x0011: Ctx.Columns = us(); break;
    case 0x0100: Ctx.BitsAllocated = us(); break;
    case 0x0101: Ctx.BitsStored = us(); break;
    case 0x0103: Ctx.PixelRepresentation = us(); break;
    case 0x1050: Ctx.WindowCentre = DecimalValue(text, -1); break;
    case 0x1051: Ctx.WindowWidth = DecimalValue(text, -1); break;
    case 0x1052: Ctx.Intercept = DecimalValue(text, 0); break;
    case 0x1053: Ctx.Slope = DecimalValue(text, 1); break;
    case 0x1101:
    case 0x1102:
    case 0x1103:
      if (N >= 6) {
        const int32_t k = Element - 0x1101;
        const int64_t at = V - Ctx.Data;
        Ctx.Descriptor[k][0] = Rd16(Ctx, at, Ctx.Little);
        Ctx.Descriptor[k][1] = Rd16(Ctx, at + 2, Ctx.Little);
        Ctx.Descriptor[k][2] = Rd16(Ctx, at + 4, Ctx.Little);
        Ctx.HaveDescriptor[k] = true;
      }
      break;
    case 0x1201:
    case 0x1202:
    case 0x1203: Ctx.PaletteData[Element - 0x1201].assign(V, V + N); break;
    default: break;
  }
}

TPalette TDicomReader::Palette() const {
  TPalette p;
  if (!Ctx.HaveDescriptor[0]) return p;
  // Each table follows its own descriptor: entry count (0 = 65536), first
  // mapped value, bits per entry.
  for (int32_t c = 0; c < 3; ++c) {
    const int32_t entries = Ctx.Descriptor[c][0] == 0 ? 65536 : Ctx.Descriptor[c][0];
    const int32_t bits = Ctx.Descriptor[c][2];
    const std::vector<uint8_t>& raw = Ctx.PaletteData[c];
    std::vector<uint16_t>& t = p.Table[c];
    if (bits <= 8 && int64_t(raw.size()) < int64_t(entries) * 2 && int64_t(raw.size()) >= entries) {
      for (int32_t i = 0; i < entries; ++i) t.push_back(uint16_t(raw[size_t(i)] * 257));
    } else {
      const int64_t n = std::min<int64_t>(entries, int64_t(raw.size()) / 2);
      for (int64_t i = 0; i < n; ++i) {
        uint16_t v = Ctx.Little ? uint16_t(raw[size_t(2 * i)] | raw[size_t(2 * i + 1)] << 8)
                                : uint16_t(raw[size_t(2 * i)] << 8 | raw[size_t(2 * i + 1)]);
        if (bits <= 8) v = uint16_t(std::min<int32_t>(v, 255) * 257);
        t.push_back(v);
      }
    }
  }
  p.Entries = Ctx.Descriptor[0][0] == 0 ? 65536 : Ctx.Descriptor[0][0];
  p.First = Ctx.Descriptor[0][1];
  if (Ctx.PixelRepresentation == 1) p.First = int16_t(p.First);
  return p;
}

bool TDicomReader::Walk() {
  int64_t pos = 0;
  if (Ctx.Size >= 132 && std::memcmp(Ctx.Data + 128, "DICM", 4) == 0) pos = 132;
  int32_t depth = 0;  // nesting inside sequences and items of undefined length
  std::vector<uint8_t> dummy;
  while (pos + 8 <= Ctx.Size) {
    const bool meta = Rd16(Ctx, pos, true) == 0x0002;
    const bool little = meta || Ctx.Little;
    const uint16_t group = Rd16(Ctx, pos, little);
    const uint16_t element = Rd16(Ctx, pos + 2, little);
    const char* dictVR = DicomLookupVR(group, element);
    char vr[3] = {dictVR[0], dictVR[1], 0};
    uint32_t length;
    int64_t header;
    const uint8_t b0 = Ctx.Data[pos + 4], b1 = Ctx.Data[pos + 5];
    if (group == 0xFFFE) {
      length = Rd32(Ctx, pos + 4, little);
      header = 8;
    } else if (meta || (std::isupper(b0) && std::isupper(b1))) {
      vr[0] = char(b0);
      vr[1] = char(b1);
      if (LongLengthVR(vr)) {
        if (pos + 12 > Ctx.Size) return false;
        length = Rd32(Ctx, pos + 8, little);
        header = 12;
      } else {
        length = Rd16(Ctx, pos + 6, little);
        header = 8;
      }
    } else {
      length = Rd32(Ctx, pos + 4, little);
      header = 8;
    }
    pos += header;
    if (group == 0xFFFE) {
      if (element == 0xE000 && length == 0xFFFFFFFFu) ++depth;
      if ((element == 0xE00D || element == 0xE0DD) && depth > 0) --depth;
      if (element != 0xE000 || length == 0xFFFFFFFFu) continue;
    }
    if (group == 0x7FE0 && element == 0x0010 && depth == 0) {
      Ctx.PixelPos = pos;
      Ctx.PixelLength = length;
      Ctx.PixelWords = vr[0] == 'O' && vr[1] == 'W';
      Params.DicomElements->AddTag(group, element, vr, nullptr, -1);
      return true;
    }
    if (length == 0xFFFFFFFFu) {
      // A sequence of undefined length: its items follow as elements.
      ++depth;
      Params.DicomElements->AddTag(group, element, vr, nullptr, -1);
      continue;
    }
    if (int64_t(length) > Ctx.Size - pos) {
      Params.DicomElements->AddTag(group, element, vr, nullptr, -1);
      return false;
    }
    auto block = std::make_unique<uint8_t[]>(size_t(length) + 1);
    std::memcpy(block.get(), Ctx.Data + pos, length);
    block[length] = 0;
    Params.DicomElements->AddTag(group, element, vr, std::move(block), int32_t(length));
    if (depth == 0) Interpret(group, element, Ctx.Data + pos, length);
    pos += length;
  }
  return true;
}

// Locates the frame's bytes.  Native data: Start only.  Encapsulated data:
// the frame's fragment (all fragments of a single-frame image, joined).
bool TDicomReader::FrameData(int64_t& Start, int64_t& Length, std::vector<uint8_t>& Joined) {
  const int32_t f = std::min(Params.ImageIndex, Ctx.Frames - 1);
  Params.SetImageIndex(std::max(0, f));
  int64_t p = Ctx.PixelPos;
  auto itemAt = [&](int64_t At) {
    return At + 8 <= Ctx.Size && Rd16(Ctx, At, Ctx.Little) == 0xFFFE && Rd16(Ctx, At + 2, Ctx.Little) == 0xE000;
  };
  if (Ctx.PixelLength != 0xFFFFFFFFu && !itemAt(p)) {
    Start = p;
    Length = Ctx.PixelLength;
    return true;
  }
  if (!itemAt(p)) return false;
  const int64_t tableLen = Rd32(Ctx, p + 4, Ctx.Little);
  p += 8;
  if (tableLen > Ctx.Size - p) return false;
  const int64_t firstItem = p + tableLen;
  if (tableLen >= 4 * (int64_t(f) + 1)) {
    p = firstItem + Rd32(Ctx, p + 4 * int64_t(f), Ctx.Little);
  } else {
    p = firstItem;
    for (int32_t i = 0; i < f; ++i) {
      if (!itemAt(p)) return false;
      const int64_t n = Rd32(Ctx, p + 4, Ctx.Little);
      if (n > Ctx.Size - p - 8) return false;
      p += 8 + n;
    }
  }
  if (!itemAt(p)) return false;
  Length = Rd32(Ctx, p + 4, Ctx.Little);
  Start = p + 8;
  if (Length > Ctx.Size - Start) return false;
  if (Ctx.Frames == 1) {
    // A single frame may be split over several fragments.
    int64_t q = Start + Length;
    if (itemAt(q)) {
      Joined.assign(Ctx.Data + Start, Ctx.Data + Start + Length);
      while (itemAt(q)) {
        const int64_t n = Rd32(Ctx, q + 4, Ctx.Little);
        if (n > Ctx.Size - q - 8) return false;
        Joined.insert(Joined.end(), Ctx.Data + q + 8, Ctx.Data + q + 8 + n);
        q += 8 + n;
      }
    }
  }
  return true;
}

// Gray output from modality values: the window as a fixed linear map clamped
// to the range, or without one the frame's own range stretched (a flat frame
// keeps its clamped value).  MONOCHROME1 is inverted.
bool TDicomReader::GrayFromSamples(TIEBitmap* B, const std::vector<int32_t>& Values, bool Wide) {
  const int32_t w = Ctx.Columns, h = Ctx.Rows;
  if (!B->Allocate(w, h, Wide ? ie16g : ie8g)) return false;
  const double M = Wide ? 65535 : 255;
  const bool window = Ctx.WindowCentre != -1 && Ctx.WindowWidth != -1 && Ctx.WindowWidth >= 1;
  const bool identity = Ctx.Slope == 1 && Ctx.Intercept == 0 && Ctx.PixelRepresentation == 0 && !Wide;
  double lo = 0, hi = 0;
  if (!window && !identity) {
    lo = 1e300;
    hi = -1e300;
    for (int32_t s : Values) {
      const double v = s * Ctx.Slope + Ctx.Intercept;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  const double c = Ctx.WindowCentre - 0.5, ww = std::max(Ctx.WindowWidth - 1, 1.0);
  const bool invert = Ctx.Photometric == "MONOCHROME1";
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = B->GetScanline(y);
    for (int32_t x = 0; x < w; ++x) {
      const double v = Values[size_t(y) * w + x] * Ctx.Slope + Ctx.Intercept;
      double o;
      if (window) {
        o = ((v - c) / ww + 0.5) * M;
      } else if (identity) {
        o = v;
      } else if (hi > lo) {
        o = (v - lo) / (hi - lo) * M;
      } else {
        o = v;
      }
      const int32_t q = int32_t(std::clamp(std::trunc(o), 0.0, M));
      const int32_t out = invert ? int32_t(M) - q : q;
      if (Wide) {
        const uint16_t u = uint16_t(out);
        std::memcpy(row + 2 * x, &u, 2);
      } else {
        row[x] = uint8_t(out);
      }
    }
    Report(y + 1, h);
  }
  return true;
}

int32_t SignedSample(uint32_t V, int32_t Bits, bool Signed) {
  V &= Bits >= 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
  if (Signed && Bits > 0 && (V >> (Bits - 1)) & 1) return int32_t(V) - (1 << Bits);
  return int32_t(V);
}

bool TDicomReader::DecodeNative(TIEBitmap* B, int64_t Start) {
  const int64_t pixels = int64_t(Ctx.Columns) * Ctx.Rows;
  const int32_t f = Params.ImageIndex;
  const int32_t spp = Ctx.SamplesPerPixel;
  const bool palette = Ctx.Photometric == "PALETTE COLOR";
  const bool packed12 = spp == 1 && Ctx.BitsAllocated == 12 && Ctx.BitsStored == 12;
  // Bytes of one frame: packed 12-bit samples take a byte and a half each.
  const int64_t frameBytes = packed12 ? (pixels * 3 + 1) / 2 : pixels * spp * ((Ctx.BitsAllocated + 7) / 8);
  const int64_t at = Start + int64_t(f) * frameBytes;
  if (frameBytes <= 0 || at + frameBytes > Ctx.Size) return false;
  const uint8_t* d = Ctx.Data + at;
  const bool sgn = Ctx.PixelRepresentation == 1;
  const int32_t stored = std::clamp(Ctx.BitsStored, 1, 16);

  if (spp == 1) {
    std::vector<int32_t> values(static_cast<size_t>(pixels));
    for (int64_t i = 0; i < pixels; ++i) {
      uint32_t v;
      if (packed12) {
        const uint8_t* t = d + (i / 2) * 3;
        v = i % 2 == 0 ? uint32_t((t[1] & 0x0F) << 8 | t[0]) : uint32_t(t[1] >> 4 | t[2] << 4);
      } else if (Ctx.BitsAllocated > 8) {
        v = Rd16(Ctx, at + 2 * i, Ctx.Little);
      } else {
        // Bytes in words of a big-endian file come swapped in pairs.
        v = d[!Ctx.Little && Ctx.PixelWords ? (i ^ 1) : i];
      }
      values[size_t(i)] = SignedSample(v, stored, sgn);
    }
    if (palette) {
      const TPalette p = Palette();
      if (!p.Valid()) return false;
      const bool wide = Ctx.BitsStored > 8;
      if (!B->Allocate(Ctx.Columns, Ctx.Rows, wide ? ieRGB48 : ie24RGB)) return false;
      for (int32_t y = 0; y < Ctx.Rows; ++y) {
        uint8_t* row = B->GetScanline(y);
        for (int32_t x = 0; x < Ctx.Columns; ++x) {
          const int32_t v = values[size_t(y) * Ctx.Columns + x];
          if (wide) {
            const uint16_t rgb[3] = {p.At(0, v), p.At(1, v), p.At(2, v)};
            std::memcpy(row + 6 * x, rgb, 6);
          } else {
            row[3 * x + 2] = uint8_t(p.At(0, v) / 257);
            row[3 * x + 1] = uint8_t(p.At(1, v) / 257);
            row[3 * x] = uint8_t(p.At(2, v) / 257);
          }
        }
      }
      return true;
    }
    if (Ctx.BitsStored <= 8 && !sgn) {
      // 8-bit samples with fewer bits stored fill the byte from the top.
      for (int32_t& v : values) v <<= (8 - stored);
    }
    return GrayFromSamples(B, values, Ctx.BitsStored > 8);
  }
  if (spp != 3 || Ctx.BitsAllocated != 8) return false;
  if (!B->Allocate(Ctx.Columns, Ctx.Rows, ie24RGB)) return false;
  const int32_t shift = 8 - std::clamp(Ctx.BitsStored, 1, 8);
  const bool ybr = Ctx.Photometric.rfind("YBR_FULL", 0) == 0;
  const TJ2kYCbCrTables& t = J2kYCbCrTables();
  for (int32_t y = 0; y < Ctx.Rows; ++y) {
    uint8_t* row = B->GetScanline(y);
    for (int32_t x = 0; x < Ctx.Columns; ++x) {
      const int64_t i = int64_t(y) * Ctx.Columns + x;
      uint8_t s[3];
      const int64_t swap = !Ctx.Little && Ctx.PixelWords ? 1 : 0;
      for (int32_t c = 0; c < 3; ++c)
        s[c] = uint8_t((Ctx.Planar == 1 ? d[(c * pixels + i) ^ swap] : d[(3 * i + c) ^ swap]) << shift);
      if (ybr) {
        const int32_t Y = s[0], cb = s[1], cr = s[2];
        s[0] = uint8_t(std::clamp(Y + t.CrToR[cr], 0, 255));
        s[1] = uint8_t(std::clamp(Y + t.CbToG[cb] + t.CrToG[cr], 0, 255));
        s[2] = uint8_t(std::clamp(Y + t.CbToB[cb], 0, 255));
      }
      row[3 * x + 2] = s[0];
      row[3 * x + 1] = s[1];
      row[3 * x] = s[2];
    }
    Report(y + 1, Ctx.Rows);
  }
  return true;
}

bool TDicomReader::DecodeRle(TIEBitmap* B, const uint8_t* D, int64_t N) {
  if (N < 64) return false;
  auto le32 = [&](int64_t o) { return uint32_t(D[o]) | uint32_t(D[o + 1]) << 8 | uint32_t(D[o + 2]) << 16 | uint32_t(D[o + 3]) << 24; };
  const uint32_t segments = le32(0);
  const int64_t pixels = int64_t(Ctx.Columns) * Ctx.Rows;
  const int32_t bytesPerSample = Ctx.BitsAllocated > 8 ? 2 : 1;
  if (segments < 1 || segments > 15 || int64_t(segments) != int64_t(Ctx.SamplesPerPixel) * bytesPerSample) return false;
  // A packet of two bytes gives at most 128: a segment set cannot describe
  // more pixels than that.
  if (pixels * segments > N * 64) return false;
  std::vector<std::vector<uint8_t>> seg(segments, std::vector<uint8_t>(size_t(pixels)));
  for (uint32_t k = 0; k < segments; ++k) {
    const int64_t from = le32(4 + 4 * k);
    const int64_t to = k + 1 < segments ? int64_t(le32(4 + 4 * (k + 1))) : N;
    if (from < 64 || from > N || to > N || to < from) return false;
    DicomRleDecode(D + from, to - from, seg[k].data(), pixels);
  }
  if (Ctx.SamplesPerPixel == 1) {
    std::vector<int32_t> values(static_cast<size_t>(pixels));
    const bool sgn = Ctx.PixelRepresentation == 1;
    for (int64_t i = 0; i < pixels; ++i) {
      const uint32_t v = bytesPerSample == 2 ? uint32_t(seg[0][size_t(i)] << 8 | seg[1][size_t(i)]) : seg[0][size_t(i)];
      values[size_t(i)] = SignedSample(v, std::clamp(Ctx.BitsStored, 1, 16), sgn);
    }
    if (Ctx.Photometric == "PALETTE COLOR") {
      const TPalette p = Palette();
      if (!p.Valid() || !B->Allocate(Ctx.Columns, Ctx.Rows, ie24RGB)) return false;
      for (int64_t i = 0; i < pixels; ++i) {
        uint8_t* px = B->GetScanline(int32_t(i / Ctx.Columns)) + 3 * (i % Ctx.Columns);
        const int32_t v = values[size_t(i)];
        px[2] = uint8_t(p.At(0, v) / 257);
        px[1] = uint8_t(p.At(1, v) / 257);
        px[0] = uint8_t(p.At(2, v) / 257);
      }
      return true;
    }
    return GrayFromSamples(B, values, bytesPerSample == 2);
  }
  if (Ctx.SamplesPerPixel != 3 || bytesPerSample != 1 || !B->Allocate(Ctx.Columns, Ctx.Rows, ie24RGB)) return false;
  for (int64_t i = 0; i < pixels; ++i) {
    uint8_t* px = B->GetScanline(int32_t(i / Ctx.Columns)) + 3 * (i % Ctx.Columns);
    px[2] = seg[0][size_t(i)];
    px[1] = seg[1][size_t(i)];
    px[0] = seg[2][size_t(i)];
  }
  return true;
}

bool TDicomReader::Decode(TIEBitmap* Bitmap) {
  const std::string& ts = Ctx.TransferSyntax;
  int64_t start = 0, length = 0;
  std::vector<uint8_t> joined;
  if (!FrameData(start, length, joined)) return false;
  const uint8_t* d = joined.empty() ? Ctx.Data + start : joined.data();
  const int64_t n = joined.empty() ? length : int64_t(joined.size());
  const bool native = ts.empty() || ts == kImplicitLE || ts == kExplicitLE || ts == kExplicitBE;
  if (native) return DecodeNative(Bitmap, start);
  if (ts == kRle) return DecodeRle(Bitmap, d, n);
  if (ts == kJpegLossless || ts == kJpegLosslessSV1) {
    std::vector<uint16_t> samples;
    int32_t precision = 0;
    if (!LosslessJpegDecode(d, n, Ctx.Columns, Ctx.Rows, Ctx.SamplesPerPixel, samples, precision)) return false;
    if (Ctx.SamplesPerPixel == 1) {
      std::vector<int32_t> values(samples.size());
      for (size_t i = 0; i < samples.size(); ++i)
        values[i] = SignedSample(samples[i], std::clamp(Ctx.BitsStored, 1, 16), Ctx.PixelRepresentation == 1);
      return GrayFromSamples(Bitmap, values, precision > 8);
    }
    if (Ctx.SamplesPerPixel != 3 || precision > 8 || !Bitmap->Allocate(Ctx.Columns, Ctx.Rows, ie24RGB)) return false;
    for (int32_t y = 0; y < Ctx.Rows; ++y) {
      uint8_t* row = Bitmap->GetScanline(y);
      for (int32_t x = 0; x < Ctx.Columns; ++x)
        for (int32_t c = 0; c < 3; ++c) row[3 * x + 2 - c] = uint8_t(samples[(size_t(y) * Ctx.Columns + x) * 3 + c]);
    }
    return true;
  }
  if (ts == kJpegBaseline || ts == kJpegExtended || ts == kJ2k || ts == kJ2kLossless) {
    std::vector<uint8_t> copy(d, d + n);
    TIEMemStream ms(copy.data(), int64_t(copy.size()));
    TIOParamsVals tmp;
    std::atomic<bool> abort{false};
    TIEProgressRec p;
    p.Aborting = &abort;
    TIEBitmap decoded;
    if (ts == kJ2k || ts == kJ2kLossless)
      J2kReadStream(&ms, &decoded, tmp, p, false);
    else
      JpegReadStream(&ms, &decoded, tmp, p, {.InvertCmyk = true, .NativePixelFormat = true});
    if (abort || decoded.IsEmpty() || decoded.GetWidth() != Ctx.Columns || decoded.GetHeight() != Ctx.Rows)
      return false;
    if (Ctx.SamplesPerPixel == 1 && decoded.GetPixelFormat() != ie1g) {
      decoded.SetPixelFormat(ie8g);
      std::vector<int32_t> values(size_t(Ctx.Columns) * Ctx.Rows);
      for (int32_t y = 0; y < Ctx.Rows; ++y)
        for (int32_t x = 0; x < Ctx.Columns; ++x) values[size_t(y) * Ctx.Columns + x] = decoded.GetScanline(y)[x];
      const int32_t pr = Ctx.PixelRepresentation;
      Ctx.PixelRepresentation = 0;
      const bool ok = GrayFromSamples(Bitmap, values, false);
      Ctx.PixelRepresentation = pr;
      return ok;
    }
    Bitmap->Assign(&decoded);
    return true;
  }
  // Deflated, JPEG-LS, JPIP, MPEG and the rest: no decoder here.
  return false;
}

}  // namespace

int64_t DicomRleDecode(const uint8_t* Source, int64_t SourceLen, uint8_t* Dest, int64_t Count) {
  int64_t s = 0, d = 0;
  while (s < SourceLen && d < Count) {
    const int32_t n = int8_t(Source[s++]);
    if (n >= 0) {
      const int64_t take = std::min<int64_t>({n + 1, SourceLen - s, Count - d});
      std::memcpy(Dest + d, Source + s, size_t(take));
      s += std::min<int64_t>(n + 1, SourceLen - s);
      d += take;
    } else if (n != -128) {
      if (s >= SourceLen) break;
      const int64_t take = std::min<int64_t>(1 - n, Count - d);
      std::memset(Dest + d, Source[s++], size_t(take));
      d += take;
    }
  }
  if (d < Count) std::memset(Dest + d, 0, size_t(Count - d));
  return s;
}

bool IETryDICOM(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  uint8_t h[132];
  const bool ok = Stream->Read(h, 132) == 132 && std::memcmp(h + 128, "DICM", 4) == 0;
  Stream->Seek(pos, soBeginning);
  return ok;
}

void DicomReadStream(TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  try {
    const int64_t start = Stream->GetPosition();
    const int64_t size = Stream->GetSize() - start;
    if (size < 8) {
      Progress.SetAborting();
      return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (Stream->Read(data.data(), size) != size) {
      Progress.SetAborting();
      return;
    }
    TDicomContext ctx;
    ctx.Data = data.data();
    ctx.Size = size;
    if (!Params.DicomElements) Params.DicomElements = std::make_unique<TIEDICOMTags>();
    Params.DicomElements->Clear();
    TDicomReader reader(ctx, Params, Progress);
    const bool walked = reader.Walk();
    if (ctx.BitsAllocated == 0) ctx.BitsAllocated = ctx.BitsStored;
    if (ctx.BitsStored == 0) ctx.BitsStored = ctx.BitsAllocated;
    if (!walked || ctx.PixelPos < 0 || ctx.Columns <= 0 || ctx.Rows <= 0 || ctx.BitsStored <= 0 ||
        ctx.BitsStored > 16 || ctx.BitsAllocated > 16 || ctx.SamplesPerPixel < 1 || ctx.SamplesPerPixel > 4) {
      Progress.SetAborting();
      return;
    }
    Params.BitsPerSample = ctx.BitsStored;
    Params.SamplesPerPixel = ctx.SamplesPerPixel;
    Params.Width = ctx.Columns;
    Params.Height = ctx.Rows;
    Params.StoredWidth = ctx.Columns;
    Params.StoredHeight = ctx.Rows;
    Params.SetImageCount(ctx.Frames);
    if (ParamsOnly || !Bitmap) return;

    std::unique_ptr<TIEBitmap> separate;
    TIEBitmap* target = Bitmap;
    if (Bitmap->GetLocation() == ieTBitmap) {
      separate = std::make_unique<TIEBitmap>();
      target = separate.get();
    }
    target->RemoveAlphaChannel();
    if (!reader.Decode(target)) {
      Progress.SetAborting();
      return;
    }
    if (separate && !separate->IsEmpty()) {
      if (separate->GetPixelFormat() != ie1g) separate->SetPixelFormat(ie24RGB);
      Bitmap->Assign(separate.get());
    }
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  } catch (const Exception&) {
    Progress.SetAborting();
  }
}

int32_t DicomPageCount(TStream* Stream) {
  const int64_t pos = Stream->GetPosition();
  TIOParamsVals p;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  DicomReadStream(Stream, p, nullptr, pr, true);
  Stream->Seek(pos, soBeginning);
  return abort ? 0 : p.ImageCount;
}

int32_t DicomFilePageCount(const std::string& FileName) {
  try {
    TFileStream fs(FileName, fmOpenRead | fmShareDenyNone);
    return DicomPageCount(&fs);
  } catch (const Exception&) {
    return 0;
  }
}

void IEReadDICOMStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool ParamsOnly) {
  DicomReadStream(Stream, Params, Bitmap, Progress, ParamsOnly);
}

namespace {

// The frames of one file; the multi-image component puts the position back
// to the start of the file before each one.
class TDicomPageReader : public TIECodecPageReader {
 public:
  explicit TDicomPageReader(TStream* Stream) : FCount(DicomPageCount(Stream)) {}

  int32_t PageCount() override { return FCount; }

  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) override {
    Request.Params->SetImageIndex(Index);
    DicomReadStream(Request.Stream, *Request.Params, Request.Bitmap, *Request.Progress, Request.ParamsOnly);
    Result.PageCount = FCount;
  }

 private:
  int32_t FCount;
};

TIECodec MakeDicomCodec() {
  TIECodec C;
  C.Format = ioDICOM;
  C.Probe = IETryDICOM;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
    DicomReadStream(Request.Stream, *Request.Params, Request.Bitmap, *Request.Progress, Request.ParamsOnly);
    if (!Request.Progress->IsAborting()) Result.PageCount = Request.Params->ImageCount;
  };
  C.PageCount = DicomPageCount;
  C.OpenPages = [](TStream* Stream) { return std::make_unique<TDicomPageReader>(Stream); };
  // The frame keeps the resolution the file states (none: the defaults).
  C.FixDpi = false;
  C.SyncDpi = false;
  return C;
}

const bool Registered = IERegisterCodec(MakeDicomCodec());

}  // namespace
