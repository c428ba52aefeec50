// EXIF block: encoding, decoding and the TIFF-structured helpers.
#include "formats/jpeg/exif_block.h"
#include "formats/tiff/tiff_tags.h"

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundations/number_text.h"
#include "kernels/rotate_flip.h"
#include "foundations/ie_lists.h"
#include "foundations/image_buffer.h"
#include "foundations/jpeg_markers.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "foundations/tag_directory.h"
#include "formats/io_params.h"
#include "formats/jpeg/jpeg_codec.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_reader.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

const uint8_t kExifHeader[6] = {0x45, 0x78, 0x69, 0x66, 0x00, 0x00};
// The 8-byte character codes of the user comment.
const char kUnicodeCode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
const char kAsciiCode[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
// Thumbnails larger than this in either direction are refused.
constexpr int32_t kMaxThumbSide = 400;

enum : uint16_t { tBYTE = 1, tASCII = 2, tSHORT = 3, tLONG = 4, tRATIONAL = 5, tUNDEFINED = 7, tSRATIONAL = 10 };

// ---- text ----------------------------------------------------------------

// UTF-8 to UTF-16 code units; bytes that are not UTF-8 are taken as Latin-1.
std::vector<uint16_t> Utf8ToUtf16(const std::string& S) {
  std::vector<uint16_t> out;
  size_t i = 0;
  while (i < S.size()) {
    const uint8_t b = uint8_t(S[i]);
    uint32_t c = b;
    size_t n = 0;
    if (b >= 0xF0 && b < 0xF5) n = 3, c = b & 0x07;
    else if (b >= 0xE0 && b < 0xF0) n = 2, c = b & 0x0F;
    else if (b >= 0xC2 && b < 0xE0) n = 1, c = b & 0x1F;
    bool ok = n > 0;
    if (ok) {
      for (size_t k = 1; k <= n; ++k) {
        if (i + k >= S.size() || (uint8_t(S[i + k]) & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        c = (c << 6) | (uint8_t(S[i + k]) & 0x3F);
      }
    }
    if (!ok) {
      c = b;
      n = 0;
    }
    i += n + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(uint16_t(0xD800 + (c >> 10)));
      out.push_back(uint16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(uint16_t(c));
    }
  }
  return out;
}

// ---- rationals -------------------------------------------------------------

// The closest fraction Num/Den to V with both parts within Limit (continued
// fractions), so that 1/3 and 1/200 are stored exactly.
void ToFraction(double V, uint32_t Limit, uint32_t& Num, uint32_t& Den) {
  if (!std::isfinite(V) || V <= 0) {
    Num = 0;
    Den = 1;
    return;
  }
  if (V >= Limit) {
    Num = Limit;
    Den = 1;
    return;
  }
  // Convergents h/k.
  double hPrev = 1, h = std::floor(V), kPrev = 0, k = 1;
  double x = V - std::floor(V);
  for (int i = 0; i < 40 && x > 1e-12; ++i) {
    x = 1.0 / x;
    const double a = std::floor(x);
    x -= a;
    const double hNext = a * h + hPrev, kNext = a * k + kPrev;
    if (hNext > Limit || kNext > Limit) break;
    hPrev = h, kPrev = k, h = hNext, k = kNext;
    if (std::fabs(h / k - V) <= 1e-12 * V) break;
  }
  if (k == 0) k = 1;
  Num = uint32_t(h);
  Den = uint32_t(k);
}

// ---- the directory builder -------------------------------------------------

struct Entry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  std::vector<uint8_t> Data;  // little-endian value bytes
};

class Ifd {
 public:
  std::vector<Entry> Entries;

  void Add(uint16_t Tag, uint16_t Type, uint32_t Count, std::vector<uint8_t> Data) {
    Entries.push_back({Tag, Type, Count, std::move(Data)});
  }
  void Short(uint16_t Tag, std::initializer_list<uint32_t> Values) {
    std::vector<uint8_t> d;
    for (uint32_t v : Values) d.push_back(uint8_t(v)), d.push_back(uint8_t(v >> 8));
    Add(Tag, tSHORT, uint32_t(Values.size()), std::move(d));
  }
  void Long(uint16_t Tag, uint32_t Value) {
    Add(Tag, tLONG, 1, {uint8_t(Value), uint8_t(Value >> 8), uint8_t(Value >> 16), uint8_t(Value >> 24)});
  }
  void Rationals(uint16_t Tag, const double* Values, int32_t Count, bool Signed = false) {
    std::vector<uint8_t> d;
    for (int32_t i = 0; i < Count; ++i) {
      uint32_t n = 0, den = 1;
      const double v = Values[i];
      if (Signed) {
        ToFraction(std::fabs(v), 0x7FFFFFFF, n, den);
        if (v < 0) n = uint32_t(-int64_t(n));
      } else {
        ToFraction(v, 0xFFFFFFFF, n, den);
      }
      for (uint32_t w : {n, den})
        for (int b = 0; b < 4; ++b) d.push_back(uint8_t(w >> (8 * b)));
    }
    Add(Tag, Signed ? tSRATIONAL : tRATIONAL, uint32_t(Count), std::move(d));
  }
  void Rational(uint16_t Tag, double Value, bool Signed = false) { Rationals(Tag, &Value, 1, Signed); }
  // Text with its terminating 0.
  void Text(uint16_t Tag, const std::string& S) {
    std::vector<uint8_t> d(S.begin(), S.end());
    d.push_back(0);
    const uint32_t n = uint32_t(d.size());
    Add(Tag, tASCII, n, std::move(d));
  }
  void Bytes(uint16_t Tag, uint16_t Type, std::vector<uint8_t> Data) {
    const uint32_t n = uint32_t(Data.size());
    Add(Tag, Type, n, std::move(Data));
  }
  // Windows' XP texts: UTF-16 little-endian with a 0 word, as BYTEs.
  void WideText(uint16_t Tag, const std::string& S) {
    std::vector<uint8_t> d;
    for (uint16_t u : Utf8ToUtf16(S)) d.push_back(uint8_t(u)), d.push_back(uint8_t(u >> 8));
    d.push_back(0);
    d.push_back(0);
    Bytes(Tag, tBYTE, std::move(d));
  }
};

void Put16(std::vector<uint8_t>& B, size_t At, uint32_t V) { IEPutWord(B.data() + At, V, false); }
void Put32(std::vector<uint8_t>& B, size_t At, uint32_t V) { IEPutDWord(B.data() + At, V, false); }

// Appends the directory (entries sorted by tag, data behind it, every block on
// an even offset) and answers its offset.  ValueAt receives, per tag, where its
// value field stands, so that pointers can be patched later; NextAt where the
// next-directory offset stands.
size_t WriteIfd(std::vector<uint8_t>& Out, Ifd& D, std::vector<std::pair<uint16_t, size_t>>& ValueAt,
                size_t& NextAt) {
  if (Out.size() & 1) Out.push_back(0);
  std::stable_sort(D.Entries.begin(), D.Entries.end(),
                   [](const Entry& A, const Entry& B) { return A.Tag < B.Tag; });
  const size_t at = Out.size();
  const size_t n = D.Entries.size();
  Out.resize(at + 2 + 12 * n + 4, 0);
  Put16(Out, at, uint32_t(n));
  for (size_t i = 0; i < n; ++i) {
    const Entry& e = D.Entries[i];
    const size_t p = at + 2 + 12 * i;
    Put16(Out, p, e.Tag);
    Put16(Out, p + 2, e.Type);
    Put32(Out, p + 4, e.Count);
    if (e.Data.size() <= 4) {
      std::copy(e.Data.begin(), e.Data.end(), Out.begin() + ptrdiff_t(p + 8));
    } else {
      if (Out.size() & 1) Out.push_back(0);
      Put32(Out, p + 8, uint32_t(Out.size()));
      Out.insert(Out.end(), e.Data.begin(), e.Data.end());
    }
    ValueAt.emplace_back(e.Tag, p + 8);
  }
  NextAt = at + 2 + 12 * n;
  return at;
}

size_t FindValue(const std::vector<std::pair<uint16_t, size_t>>& ValueAt, uint16_t Tag) {
  for (const auto& v : ValueAt)
    if (v.first == Tag) return v.second;
  return 0;
}

bool Listed(TIOParamsVals& P, int32_t Tag) { return P.IsExifTagPresent(Tag); }

// IFD0's image tags.
void BuildPageTags(TIOParamsVals& P, Ifd& D) {
  if (!P.ExifImageDescription.empty()) D.Text(TiffTag::ImageDescription, P.ExifImageDescription);
  if (P.ExifXResolution != 0) D.Rational(TiffTag::XResolution, P.ExifXResolution);
  if (P.ExifYResolution != 0) D.Rational(TiffTag::YResolution, P.ExifYResolution);
  D.Short(TiffTag::Orientation, {uint32_t(std::clamp(P.TiffOrientation, 0, 65535))});
  D.Short(TiffTag::ResolutionUnit, {2});
  if (!P.ExifSoftware.empty()) D.Text(TiffTag::Software, P.ExifSoftware);
  if (P.ExifRating >= 0) D.Short(TiffTag::Rating, {uint32_t(std::min(P.ExifRating, 65535))});
  const std::string* xp[5] = {&P.ExifXPTitle, &P.ExifXPComment, &P.ExifXPAuthor, &P.ExifXPKeywords,
                              &P.ExifXPSubject};
  for (int i = 0; i < 5; ++i)
    if (!xp[i]->empty()) D.WideText(uint16_t(TiffTag::XpTitle + i), *xp[i]);
  if (!P.ExifArtist.empty()) D.Text(TiffTag::Artist, P.ExifArtist);
  if (!P.ExifMake.empty()) D.Text(TiffTag::Make, P.ExifMake);
  if (!P.ExifModel.empty()) D.Text(TiffTag::Model, P.ExifModel);
  if (!P.ExifDateTime.empty()) D.Text(TiffTag::DateTime, P.ExifDateTime);
  auto anySet = [](const double* V, int N) {
    for (int i = 0; i < N; ++i)
      if (V[i] != -1) return true;
    return false;
  };
  if (anySet(P.ExifWhitePoint, 2)) D.Rationals(TiffTag::WhitePoint, P.ExifWhitePoint, 2);
  if (P.ExifYCbCrPositioning > 0)
    D.Short(TiffTag::YCbCrPositioning, {uint32_t(std::min(P.ExifYCbCrPositioning, 65535))});
  if (anySet(P.ExifPrimaryChromaticities, 6))
    D.Rationals(TiffTag::PrimaryChromaticities, P.ExifPrimaryChromaticities, 6);
  if (anySet(P.ExifYCbCrCoefficients, 3)) D.Rationals(TiffTag::YCbCrCoefficients, P.ExifYCbCrCoefficients, 3);
  if (anySet(P.ExifReferenceBlackWhite, 6))
    D.Rationals(TiffTag::ReferenceBlackWhite, P.ExifReferenceBlackWhite, 6);
  if (!P.ExifCopyright.empty()) D.Text(TiffTag::Copyright, P.ExifCopyright);
}

// A 4-character version text ("0220") as 4 UNDEFINED bytes, padded with '0'.
std::vector<uint8_t> VersionBytes(const std::string& S) {
  std::vector<uint8_t> d(4, '0');
  for (size_t i = 0; i < 4 && i < S.size(); ++i) d[i] = uint8_t(S[i]);
  return d;
}

uint32_t Short16(int32_t V) { return uint32_t(std::clamp(V, 0, 65535)); }

void BuildExifTags(TIOParamsVals& P, Ifd& D) {
  struct R {
    uint16_t Tag;
    const double* Value;
    bool Signed;
  };
  const R rationals[] = {
      {33434, &P.ExifExposureTime, false},    {33437, &P.ExifFNumber, false},
      {37122, &P.ExifCompressedBitsPerPixel, false},
      {37377, &P.ExifShutterSpeedValue, true}, {37378, &P.ExifApertureValue, false},
      {37379, &P.ExifBrightnessValue, true},  {37380, &P.ExifExposureBiasValue, true},
      {37381, &P.ExifMaxApertureValue, false}, {37382, &P.ExifSubjectDistance, false},
      {37386, &P.ExifFocalLength, false},     {41486, &P.ExifFocalPlaneXResolution, false},
      {41487, &P.ExifFocalPlaneYResolution, false}, {41493, &P.ExifExposureIndex, false},
  };
  for (const R& r : rationals)
    if (Listed(P, r.Tag)) D.Rational(r.Tag, *r.Value, r.Signed);
  struct S {
    uint16_t Tag;
    const int32_t* Value;
  };
  const S shorts[] = {{34850, &P.ExifExposureProgram}, {37383, &P.ExifMeteringMode},
                      {37384, &P.ExifLightSource},     {37385, &P.ExifFlash},
                      {40961, &P.ExifColorSpace},      {40962, &P.ExifPixelXDimension},
                      {40963, &P.ExifPixelYDimension}, {41488, &P.ExifFocalPlaneResolutionUnit},
                      {41495, &P.ExifSensingMethod}};
  for (const S& s : shorts)
    if (Listed(P, s.Tag)) D.Short(s.Tag, {Short16(*s.Value)});
  if (Listed(P, 41728)) D.Bytes(TiffTag::FileSource, tUNDEFINED, {uint8_t(P.ExifFileSource)});
  if (Listed(P, 41729)) D.Bytes(TiffTag::SceneType, tUNDEFINED, {uint8_t(P.ExifSceneType)});
  if (P.ExifIsoSpeedRatings[1] != 0)
    D.Short(TiffTag::IsoSpeedRatings, {Short16(P.ExifIsoSpeedRatings[0]), Short16(P.ExifIsoSpeedRatings[1])});
  else if (P.ExifIsoSpeedRatings[0] != 0)
    D.Short(TiffTag::IsoSpeedRatings, {Short16(P.ExifIsoSpeedRatings[0])});
  D.Bytes(TiffTag::ExifVersion, tUNDEFINED,
          VersionBytes(P.ExifVersion.empty() ? std::string("0220") : P.ExifVersion));
  const std::pair<uint16_t, const std::string*> texts[] = {
      {36867, &P.ExifDateTimeOriginal}, {36868, &P.ExifDateTimeDigitized}, {37520, &P.ExifSubsecTime},
      {37521, &P.ExifSubsecTimeOriginal}, {37522, &P.ExifSubsecTimeDigitized},
      {40964, &P.ExifRelatedSoundFile}, {42016, &P.ExifImageUniqueID}};
  for (const auto& t : texts)
    if (!t.second->empty()) D.Text(t.first, *t.second);
  if (!P.ExifFlashPixVersion.empty())
    D.Bytes(TiffTag::FlashpixVersion, tUNDEFINED, VersionBytes(P.ExifFlashPixVersion));
  const S more[] = {{41986, &P.ExifExposureMode}, {41987, &P.ExifWhiteBalance},
                    {41989, &P.ExifFocalLengthIn35mmFilm}, {41990, &P.ExifSceneCaptureType},
                    {41991, &P.ExifGainControl}, {41992, &P.ExifContrast}, {41993, &P.ExifSaturation},
                    {41994, &P.ExifSharpness}, {41996, &P.ExifSubjectDistanceRange}};
  for (const S& s : more)
    if (*s.Value != -1) D.Short(s.Tag, {Short16(*s.Value)});
  if (P.ExifDigitalZoomRatio != -1) D.Rational(TiffTag::DigitalZoomRatio, P.ExifDigitalZoomRatio);
  if (!P.ExifUserComment.empty()) {
    std::string code = P.ExifUserCommentCharset;
    if (code.empty()) code.assign(kUnicodeCode, 8);
    code.resize(8, '\0');
    std::vector<uint8_t> d(code.begin(), code.end());
    if (std::memcmp(code.data(), kUnicodeCode, 8) == 0) {
      for (uint16_t u : Utf8ToUtf16(P.ExifUserComment)) d.push_back(uint8_t(u)), d.push_back(uint8_t(u >> 8));
      d.push_back(0);
      d.push_back(0);
      D.Bytes(TiffTag::UserComment, tUNDEFINED, std::move(d));
    } else if (std::memcmp(code.data(), kAsciiCode, 8) == 0) {
      d.insert(d.end(), P.ExifUserComment.begin(), P.ExifUserComment.end());
      d.push_back(0);
      D.Bytes(TiffTag::UserComment, tUNDEFINED, std::move(d));
    }
  }
  if (P.ExifMakerNote && P.ExifMakerNote->GetEntriesCount() > 0) {
    TMemoryStream ms;
    const int32_t n = P.ExifMakerNote->SaveToStream(&ms);
    if (n > 0) {
      const uint8_t* m = static_cast<const uint8_t*>(ms.GetMemory());
      D.Bytes(TiffTag::MakerNote, tUNDEFINED, std::vector<uint8_t>(m, m + n));
    }
  }
}

void BuildGpsTags(TIOParamsVals& P, Ifd& D) {
  // Tag 0: four bytes from the dotted text.
  std::vector<uint8_t> ver(4, 0);
  {
    size_t k = 0;
    int32_t v = 0;
    bool any = false;
    for (char c : P.GpsVersionID + ".") {
      if (c >= '0' && c <= '9') {
        v = std::min(v * 10 + (c - '0'), 255);
        any = true;
      } else if (c == '.') {
        if (k < 4 && any) ver[k] = uint8_t(v);
        ++k;
        v = 0;
        any = false;
      }
    }
  }
  D.Bytes(0, tBYTE, ver);
  const std::pair<uint16_t, const std::string*> refs[] = {
      {1, &P.GpsLatitudeRef},      {3, &P.GpsLongitudeRef},  {9, &P.GpsStatus},
      {10, &P.GpsMeasureMode},     {12, &P.GpsSpeedRef},     {14, &P.GpsTrackRef},
      {16, &P.GpsImgDirectionRef}, {19, &P.GpsDestLatitudeRef}, {21, &P.GpsDestLongitudeRef},
      {23, &P.GpsDestBearingRef},  {25, &P.GpsDestDistanceRef}};
  for (const auto& r : refs) D.Text(r.first, r.second->substr(0, 1));
  D.Rationals(2, P.GpsLatitude, 3);
  D.Rationals(4, P.GpsLongitude, 3);
  D.Rationals(7, P.GpsTimeStamp, 3);
  D.Rationals(20, P.GpsDestLatitude, 3);
  D.Rationals(22, P.GpsDestLongitude, 3);
  D.Bytes(5, tBYTE, {uint8_t(std::clamp(std::atoi(P.GpsAltitudeRef.c_str()), 0, 255))});
  const std::pair<uint16_t, const double*> rats[] = {{6, &P.GpsAltitude}, {11, &P.GpsDOP},
                                                     {13, &P.GpsSpeed},   {15, &P.GpsTrack},
                                                     {17, &P.GpsImgDirection}, {24, &P.GpsDestBearing},
                                                     {26, &P.GpsDestDistance}};
  for (const auto& r : rats) D.Rational(r.first, *r.second);
  if (!P.GpsSatellites.empty()) D.Text(8, P.GpsSatellites);
  if (!P.GpsMapDatum.empty()) D.Text(18, P.GpsMapDatum);
  if (!P.GpsDateStamp.empty()) D.Text(29, P.GpsDateStamp);
}

// The thumbnail as a JPEG (24-bit colour or 8-bit gray); empty on failure.
std::vector<uint8_t> EncodeThumbnail(TIEBitmap* Thumb) {
  std::vector<uint8_t> out;
  TIEBitmap work;
  TIEBitmap* src = Thumb;
  const TIEPixelFormat f = Thumb->GetPixelFormat();
  if (f != ie24RGB && f != ie8g) {
    work.Assign(Thumb);
    work.SetPixelFormat(ie24RGB);
    if (work.GetPixelFormat() != ie24RGB) return out;
    src = &work;
  }
  TIOParamsVals jp;
  jp.JpegColorSpace = src->GetPixelFormat() == ie8g ? ioJPEG_GRAYLEV : ioJPEG_YCbCr;
  jp.JpegQuality = 80;
  std::atomic<bool> aborting{false};
  TIEProgressRec pr;
  pr.Aborting = &aborting;
  TMemoryStream ms;
  try {
    JpegWriteStream(&ms, src, jp, pr);
  } catch (const Exception&) {
    return out;
  }
  if (aborting || ms.GetSize() <= 0 || ms.GetSize() > 0x7FFFFFFF) return out;
  const uint8_t* m = static_cast<const uint8_t*>(ms.GetMemory());
  out.assign(m, m + ms.GetSize());
  return out;
}

// ---- reading ---------------------------------------------------------------

std::string VersionText(const TiffDirectory& D, uint16_t Tag) {
  const int32_t i = D.FindTag(Tag);
  if (i < 0) return std::string();
  const TiffEntry& e = D.Entries[size_t(i)];
  std::string s;
  for (int k = 0; k < 4 && k < int(e.Count); ++k) s += char(e.Raw[k]);
  return s;
}

int32_t Int(const TiffDirectory& D, uint16_t Tag, int32_t Default) {
  const int32_t i = D.FindTag(Tag);
  if (i < 0) return Default;
  const TiffEntry& e = D.Entries[size_t(i)];
  if (e.Count == 0) return Default;
  if (e.Type == tBYTE || e.Type == tUNDEFINED || e.Type == 6) return e.Raw[0];
  return int32_t(std::clamp<int64_t>(D.GetIntegerAt(Tag, 0, D.GetInteger(Tag, Default)), INT32_MIN, INT32_MAX));
}

double Rat(const TiffDirectory& D, uint16_t Tag, int32_t Index, double Default) {
  const int32_t i = D.FindTag(Tag);
  if (i < 0) return Default;
  const TiffEntry& e = D.Entries[size_t(i)];
  if (e.Type != tRATIONAL && e.Type != tSRATIONAL) {
    if (e.Type == tSHORT || e.Type == tLONG) return double(D.GetIntegerAt(Tag, Index, int64_t(Default)));
    return Default;
  }
  if (uint32_t(Index) >= e.Count) return Default;
  return D.GetRationalAt(Tag, Index, Default);
}

void ReadUserComment(const TiffDirectory& D, TIOParamsVals& P) {
  std::vector<uint8_t> b;
  if (!D.HasTag(TiffTag::UserComment) || !D.ReadBlock(TiffTag::UserComment, b, 1 << 20)) return;
  if (b.size() <= 8) {
    P.ExifUserCommentCharset.assign(kUnicodeCode, 8);
    P.ExifUserComment.clear();
    return;
  }
  P.ExifUserCommentCharset.assign(reinterpret_cast<const char*>(b.data()), 8);
  if (std::memcmp(b.data(), kUnicodeCode, 8) == 0) {
    // UTF-16 in the byte order of the enclosing TIFF structure.
    std::vector<uint16_t> u((b.size() - 8 + 1) / 2);
    for (size_t i = 0; i < u.size(); ++i) {
      const uint8_t lo = b[8 + 2 * i], hi = 8 + 2 * i + 1 < b.size() ? b[8 + 2 * i + 1] : 0;
      u[i] = D.LittleEndian ? uint16_t(lo | (hi << 8)) : uint16_t((lo << 8) | hi);
    }
    P.ExifUserComment = TiffUtf16ToUtf8(u);
  } else {
    std::string s(reinterpret_cast<const char*>(b.data()) + 8, b.size() - 8);
    const size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    P.ExifUserComment = s;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

void IEReadExifDirectories(const TiffDirectory& Page, const TiffDirectory* Exif, const TiffDirectory* Gps,
                           TIOParamsVals& P) {
  const TiffDirectory& d = Page;
  P.TiffImageDescription = d.ReadString(TiffTag::ImageDescription, true);
  P.ExifImageDescription = P.TiffImageDescription;
  P.ExifMake = d.ReadString(TiffTag::Make, true);
  P.ExifModel = d.ReadString(TiffTag::Model, true);
  P.ExifDateTime = d.ReadString(TiffTag::DateTime, true);
  P.ExifSoftware = d.ReadString(TiffTag::Software, true);
  P.ExifArtist = d.ReadString(TiffTag::Artist, true);
  P.ExifCopyright = d.ReadString(TiffTag::Copyright, true);
  P.ExifRating = Int(d, 18246, -1);
  std::string* xp[5] = {&P.ExifXPTitle, &P.ExifXPComment, &P.ExifXPAuthor, &P.ExifXPKeywords, &P.ExifXPSubject};
  for (int i = 0; i < 5; ++i) *xp[i] = d.ReadWideString(uint16_t(40091 + i));
  for (int i = 0; i < 2; ++i) P.ExifWhitePoint[i] = Rat(d, 318, i, -1);
  for (int i = 0; i < 6; ++i) P.ExifPrimaryChromaticities[i] = Rat(d, 319, i, -1);
  for (int i = 0; i < 3; ++i) P.ExifYCbCrCoefficients[i] = Rat(d, 529, i, -1);
  for (int i = 0; i < 6; ++i) P.ExifReferenceBlackWhite[i] = Rat(d, 532, i, -1);
  P.ExifYCbCrPositioning = Int(d, 531, -1);
  int32_t orientation = Int(d, 274, 1);
  P.SetTiffOrientation(orientation);
  const int32_t unit = Int(d, 296, 2);
  P.ExifResolutionUnit = unit;
  const double f = unit == 3 ? 2.54 : 1.0;
  const double xr = Rat(d, 282, 0, 0), yr = Rat(d, 283, 0, 0);
  auto sane = [](double v) { return std::isfinite(v) && v > 0 && v < 1e9; };
  P.SetExifXResolution(sane(xr * f) ? xr * f : double(IEDefaultDpiX));
  P.SetExifYResolution(sane(yr * f) ? yr * f : double(IEDefaultDpiY));

  P.ExifTagsPresent->Clear();
  TiffDirectory none;
  const TiffDirectory& e = Exif ? *Exif : none;
  P.SetExifExposureTime(Rat(e, 33434, 0, -1));
  P.SetExifFNumber(Rat(e, 33437, 0, -1));
  P.SetExifExposureProgram(Int(e, 34850, -1));
  P.SetExifIsoSpeed(0, Int(e, 34855, 0));
  P.SetExifIsoSpeed(
      1, e.HasTag(TiffTag::IsoSpeedRatings) ? int32_t(e.GetIntegerAt(TiffTag::IsoSpeedRatings, 1, 0)) : 0);
  P.ExifVersion = VersionText(e, 36864);
  P.ExifDateTimeOriginal = e.ReadString(TiffTag::DateTimeOriginal, true);
  P.ExifDateTimeDigitized = e.ReadString(TiffTag::DateTimeDigitized, true);
  P.SetExifCompressedBitsPerPixel(Rat(e, 37122, 0, 0));
  P.SetExifShutterSpeedValue(Rat(e, 37377, 0, -1));
  P.SetExifApertureValue(Rat(e, 37378, 0, -1));
  P.SetExifBrightnessValue(Rat(e, 37379, 0, -1000));
  P.SetExifExposureBiasValue(Rat(e, 37380, 0, -1000));
  P.SetExifMaxApertureValue(Rat(e, 37381, 0, -1000));
  P.SetExifSubjectDistance(Rat(e, 37382, 0, -1));
  P.SetExifMeteringMode(Int(e, 37383, -1));
  P.SetExifLightSource(Int(e, 37384, -1));
  P.SetExifFlash(Int(e, 37385, -1));
  P.SetExifFocalLength(Rat(e, 37386, 0, -1));
  P.ExifSubsecTime = e.ReadString(TiffTag::SubSecTime, true);
  P.ExifSubsecTimeOriginal = e.ReadString(TiffTag::SubSecTimeOriginal, true);
  P.ExifSubsecTimeDigitized = e.ReadString(TiffTag::SubSecTimeDigitized, true);
  P.ExifFlashPixVersion = VersionText(e, 40960);
  P.SetExifColorSpace(Int(e, 40961, -1));
  P.SetExifPixelXDimension(Int(e, 40962, 0));
  P.SetExifPixelYDimension(Int(e, 40963, 0));
  P.ExifRelatedSoundFile = e.ReadString(TiffTag::RelatedSoundFile, true);
  P.SetExifFocalPlaneXResolution(Rat(e, 41486, 0, -1));
  P.SetExifFocalPlaneYResolution(Rat(e, 41487, 0, -1));
  P.SetExifFocalPlaneResolutionUnit(Int(e, 41488, -1));
  P.SetExifExposureIndex(Rat(e, 41493, 0, -1));
  P.SetExifSensingMethod(Int(e, 41495, -1));
  P.SetExifFileSource(Int(e, 41728, -1));
  P.SetExifSceneType(Int(e, 41729, -1));
  P.ExifExposureMode = Int(e, 41986, -1);
  P.ExifWhiteBalance = Int(e, 41987, -1);
  P.ExifDigitalZoomRatio = Rat(e, 41988, 0, -1);
  P.ExifFocalLengthIn35mmFilm = Int(e, 41989, -1);
  P.ExifSceneCaptureType = Int(e, 41990, -1);
  P.ExifGainControl = Int(e, 41991, -1);
  P.ExifContrast = Int(e, 41992, -1);
  P.ExifSaturation = Int(e, 41993, -1);
  P.ExifSharpness = Int(e, 41994, -1);
  P.ExifSubjectDistanceRange = Int(e, 41996, -1);
  P.ExifImageUniqueID = e.ReadString(TiffTag::ImageUniqueId, true);
  P.ExifUserComment.clear();
  P.ExifUserCommentCharset.clear();
  if (Exif) ReadUserComment(e, P);
  P.ExifMakerNote->Clear();
  if (Exif) {
    const int32_t i = e.FindTag(TiffTag::MakerNote);
    int64_t off = 0, size = 0;
    bool inl = false;
    if (i >= 0 && e.Entries[size_t(i)].Count > 0 && e.DataLocation(e.Entries[size_t(i)], off, size, inl) &&
        !inl && size > 0 && size < 0x7FFFFFFF) {
      // The handler counts data offsets from the enclosing TIFF's start.
      TMemoryStream whole;
      const int64_t total = e.StreamSize - e.Base;
      if (total > 0 && total < (64 << 20)) {
        whole.SetSize(total);
        if (e.ReadAt(0, whole.GetMemory(), total)) {
          whole.SetPosition(off);
          P.ExifMakerNote->LoadFromStream(&whole, int32_t(size), e.LittleEndian);
        }
      }
    }
  }

  const TiffDirectory& g = Gps ? *Gps : none;
  P.GpsVersionID.clear();
  if (Gps && g.HasTag(0)) {
    const TiffEntry& v = g.Entries[size_t(g.FindTag(0))];
    for (int k = 0; k < 4 && k < int(v.Count); ++k) {
      if (k) P.GpsVersionID += '.';
      P.GpsVersionID += std::to_string(v.Raw[k]);
    }
  }
  auto ref = [&g](uint16_t Tag) { return g.ReadString(Tag, true); };
  P.GpsLatitudeRef = ref(1);
  P.GpsLongitudeRef = ref(3);
  P.GpsAltitudeRef = g.HasTag(5) ? std::to_string(Int(g, 5, 0)) : std::string();
  P.GpsSatellites = ref(8);
  P.GpsStatus = ref(9);
  P.GpsMeasureMode = ref(10);
  P.GpsSpeedRef = ref(12);
  P.GpsTrackRef = ref(14);
  P.GpsImgDirectionRef = ref(16);
  P.GpsMapDatum = ref(18);
  P.GpsDestLatitudeRef = ref(19);
  P.GpsDestLongitudeRef = ref(21);
  P.GpsDestBearingRef = ref(23);
  P.GpsDestDistanceRef = ref(25);
  P.GpsDateStamp = ref(29);
  P.GpsAltitude = Rat(g, 6, 0, 0);
  P.GpsDOP = Rat(g, 11, 0, 0);
  P.GpsSpeed = Rat(g, 13, 0, 0);
  P.GpsTrack = Rat(g, 15, 0, 0);
  P.GpsImgDirection = Rat(g, 17, 0, 0);
  P.GpsDestBearing = Rat(g, 24, 0, 0);
  P.GpsDestDistance = Rat(g, 26, 0, 0);
  for (int i = 0; i < 3; ++i) {
    P.GpsLatitude[i] = Rat(g, 2, i, 0);
    P.GpsLongitude[i] = Rat(g, 4, i, 0);
    P.GpsTimeStamp[i] = Rat(g, 7, i, 0);
    P.GpsDestLatitude[i] = Rat(g, 20, i, 0);
    P.GpsDestLongitude[i] = Rat(g, 22, i, 0);
  }
}

void IECopyExifFields(TIOParamsVals* Source, TIOParamsVals* Dest) {
  if (!Source || !Dest || Source == Dest) return;
  TIOParamsVals& s = *Source;
  TIOParamsVals& d = *Dest;
  d.ExifTagsPresent->Assign(s.ExifTagsPresent.get());
  d.ExifImageDescription = s.TiffImageDescription;
  d.ExifMake = s.ExifMake;
  d.ExifModel = s.ExifModel;
  d.SetOrientation(s.ExifOrientation);
  d.SetExifXResolution(s.ExifXResolution);
  d.SetExifYResolution(s.ExifYResolution);
  d.ExifResolutionUnit = s.ExifResolutionUnit;
  d.ExifSoftware = s.ExifSoftware;
  d.ExifArtist = s.ExifArtist;
  d.ExifDateTime = s.ExifDateTime;
  d.ExifCopyright = s.ExifCopyright;
  d.ExifRating = s.ExifRating;
  d.ExifXPTitle = s.ExifXPTitle;
  d.ExifXPComment = s.ExifXPComment;
  d.ExifXPAuthor = s.ExifXPAuthor;
  d.ExifXPKeywords = s.ExifXPKeywords;
  d.ExifXPSubject = s.ExifXPSubject;
  for (int i = 0; i < 2; ++i) d.SetExifWhitePoint(i, s.GetExifWhitePoint(i));
  d.ExifYCbCrPositioning = s.ExifYCbCrPositioning;
  for (int i = 0; i < 6; ++i) d.SetExifPrimaryChromaticities(i, s.GetExifPrimaryChromaticities(i));
  for (int i = 0; i < 3; ++i) d.SetExifYCbCrCoefficients(i, s.GetExifYCbCrCoefficients(i));
  for (int i = 0; i < 6; ++i) d.SetExifReferenceBlackWhite(i, s.GetExifReferenceBlackWhite(i));
  d.SetExifExposureTime(s.ExifExposureTime);
  d.SetExifFNumber(s.ExifFNumber);
  d.SetExifExposureProgram(s.ExifExposureProgram);
  for (int i = 0; i < 2; ++i) d.SetExifIsoSpeed(i, s.GetExifIsoSpeed(i));
  d.ExifVersion = s.ExifVersion;
  d.ExifDateTimeOriginal = s.ExifDateTimeOriginal;
  d.ExifDateTimeDigitized = s.ExifDateTimeDigitized;
  d.SetExifCompressedBitsPerPixel(s.ExifCompressedBitsPerPixel);
  d.SetExifShutterSpeedValue(s.ExifShutterSpeedValue);
  d.SetExifApertureValue(s.ExifApertureValue);
  d.SetExifBrightnessValue(s.ExifBrightnessValue);
  d.SetExifExposureBiasValue(s.ExifExposureBiasValue);
  d.SetExifMaxApertureValue(s.ExifMaxApertureValue);
  d.SetExifSubjectDistance(s.ExifSubjectDistance);
  d.SetExifMeteringMode(s.ExifMeteringMode);
  d.SetExifLightSource(s.ExifLightSource);
  d.SetExifFlash(s.ExifFlash);
  d.SetExifFocalLength(s.ExifFocalLength);
  d.ExifSubsecTime = s.ExifSubsecTime;
  d.ExifSubsecTimeOriginal = s.ExifSubsecTimeOriginal;
  d.ExifSubsecTimeDigitized = s.ExifSubsecTimeDigitized;
  d.ExifFlashPixVersion = s.ExifFlashPixVersion;
  d.SetExifColorSpace(s.ExifColorSpace);
  d.SetExifPixelXDimension(s.ExifPixelXDimension);
  d.SetExifPixelYDimension(s.ExifPixelYDimension);
  d.ExifRelatedSoundFile = s.ExifRelatedSoundFile;
  d.SetExifFocalPlaneXResolution(s.ExifFocalPlaneXResolution);
  d.SetExifFocalPlaneYResolution(s.ExifFocalPlaneYResolution);
  d.SetExifFocalPlaneResolutionUnit(s.ExifFocalPlaneResolutionUnit);
  d.SetExifExposureIndex(s.ExifExposureIndex);
  d.SetExifSensingMethod(s.ExifSensingMethod);
  d.SetExifFileSource(s.ExifFileSource);
  d.SetExifSceneType(s.ExifSceneType);
  d.ExifUserComment = s.ExifUserComment;
  d.ExifUserCommentCharset = s.ExifUserCommentCharset;
  d.ExifExposureMode = s.ExifExposureMode;
  d.ExifWhiteBalance = s.ExifWhiteBalance;
  d.ExifDigitalZoomRatio = s.ExifDigitalZoomRatio;
  d.ExifFocalLengthIn35mmFilm = s.ExifFocalLengthIn35mmFilm;
  d.ExifSceneCaptureType = s.ExifSceneCaptureType;
  d.ExifGainControl = s.ExifGainControl;
  d.ExifContrast = s.ExifContrast;
  d.ExifSaturation = s.ExifSaturation;
  d.ExifSharpness = s.ExifSharpness;
  d.ExifSubjectDistanceRange = s.ExifSubjectDistanceRange;
  d.ExifImageUniqueID = s.ExifImageUniqueID;
  d.AssignGpsFields(s);
  d.ExifMakerNote->Assign(s.ExifMakerNote.get());
}

namespace {

// The block as bare TIFF structure, with the thumbnail when WithThumbnail.
std::vector<uint8_t> BuildBlock(TIOParamsVals& p, bool WithThumbnail) {
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  std::vector<std::pair<uint16_t, size_t>> v0, vx, vg, v1;
  size_t next0 = 0, nx = 0, ng = 0, n1 = 0;

  Ifd ifd0;
  BuildPageTags(p, ifd0);
  Ifd exif;
  BuildExifTags(p, exif);
  ifd0.Long(TiffTag::ExifIfd, 0);
  const bool gps = !p.GpsVersionID.empty();
  if (gps) ifd0.Long(TiffTag::GpsIfd, 0);
  WriteIfd(out, ifd0, v0, next0);
  Put32(out, FindValue(v0, 34665), uint32_t(WriteIfd(out, exif, vx, nx)));
  if (gps) {
    Ifd g;
    BuildGpsTags(p, g);
    Put32(out, FindValue(v0, 34853), uint32_t(WriteIfd(out, g, vg, ng)));
  }

  if (WithThumbnail && p.ExifThumbnail && !p.ExifThumbnail->IsEmpty()) {
    const std::vector<uint8_t> jpeg = EncodeThumbnail(p.ExifThumbnail.get());
    if (!jpeg.empty()) {
      Ifd ifd1;
      ifd1.Long(TiffTag::ImageWidth, uint32_t(p.ExifThumbnail->GetWidth()));
      ifd1.Long(TiffTag::ImageLength, uint32_t(p.ExifThumbnail->GetHeight()));
      ifd1.Short(TiffTag::Compression, {6});
      ifd1.Rational(TiffTag::XResolution, 72);
      ifd1.Rational(TiffTag::YResolution, 72);
      ifd1.Short(TiffTag::ResolutionUnit, {2});
      ifd1.Long(TiffTag::JpegInterchangeFormat, 0);
      ifd1.Long(TiffTag::JpegInterchangeFormatLength, uint32_t(jpeg.size()));
      Put32(out, next0, uint32_t(WriteIfd(out, ifd1, v1, n1)));
      if (out.size() & 1) out.push_back(0);
      Put32(out, FindValue(v1, 513), uint32_t(out.size()));
      out.insert(out.end(), jpeg.begin(), jpeg.end());
    }
  }
  return out;
}

// Largest payload of a JPEG marker (its length field counts itself).
constexpr size_t kMaxApp1Payload = 65533;

}  // namespace

void IEEncodeExifBlock(TIOParamsVals* Params, std::unique_ptr<uint8_t[]>& Buffer, int32_t& Size, bool ExifHeader) {
  Buffer.reset();
  Size = 0;
  if (!Params) return;
  std::vector<uint8_t> out = BuildBlock(*Params, true);
  // A block for an APP1 marker that the thumbnail makes too large for one
  // marker would be cut short by the JPEG writer: it goes without thumbnail.
  if (ExifHeader && out.size() + 6 > kMaxApp1Payload) out = BuildBlock(*Params, false);
  const size_t total = out.size() + (ExifHeader ? 6 : 0);
  if (total > 0x7FFFFFFF) return;
  Buffer = std::make_unique<uint8_t[]>(total);
  size_t at = 0;
  if (ExifHeader) {
    std::memcpy(Buffer.get(), kExifHeader, 6);
    at = 6;
  }
  std::memcpy(Buffer.get() + at, out.data(), out.size());
  Size = int32_t(total);
}

namespace {

// Reads the parameters (with EXIF and GPS) of page PageIndex of a
// TIFF-structured stream at its position into P.  False when the structure is
// damaged: no TIFF header, no such page, or an EXIF or GPS directory that does
// not lie inside the stream.
bool ReadPageExif(TStream* Stream, int32_t PageIndex, TIOParamsVals& P) {
  std::atomic<bool> aborting{false};
  TIEProgressRec pr;
  pr.Aborting = &aborting;
  TTiffPageRequest req;
  req.PageIndex = PageIndex;
  req.ParamsOnly = true;
  req.IgnoreAlpha = true;
  TTiffPageInfo info;
  std::unique_ptr<TIEMask> mask;
  bool damaged = false;
  bool read = false;
  req.OnParams = [&](TTiffPageInfo& I) {
    if ((I.Page.GetInteger(TiffTag::ExifIfd, 0) != 0 && !I.ExifPresent) ||
        (I.Page.GetInteger(TiffTag::GpsIfd, 0) != 0 && !I.GpsPresent)) {
      damaged = true;
      return;
    }
    IEReadExifDirectories(I.Page, I.ExifPresent ? &I.Exif : nullptr, I.GpsPresent ? &I.Gps : nullptr, P);
    read = true;
  };
  TiffReadPage(nullptr, Stream, req, info, pr, mask);
  return read && !damaged && info.PageFound;
}

// Decodes the thumbnail of IFD1 into Thumb (empty when there is none or it
// cannot be read).  A JPEG thumbnail (compression 6, or JPEG interchange
// tags) goes straight to the JPEG codec; other compressions through the TIFF
// reader.
void ReadThumbnail(TStream* Stream, TIEBitmap* Thumb) {
  Thumb->FreeImage(true);
  // Directory reads move the stream: every read below starts from here.
  const int64_t start = Stream->GetPosition();
  TTiffChain chain;
  if (!TiffScanChain(Stream, true, chain) || chain.Offsets.size() < 2) return;
  TiffDirectory d;
  d.Bind(Stream, chain.LittleEndian, chain.Base);
  if (!TiffLoadIfdAt(chain.Offsets[1], d)) return;
  const int64_t w = d.GetInteger(TiffTag::ImageWidth, 0), h = d.GetInteger(TiffTag::ImageLength, 0);
  if (w > kMaxThumbSide || h > kMaxThumbSide) return;
  const int64_t jOff = d.GetInteger(TiffTag::JpegInterchangeFormat, 0),
                jLen = d.GetInteger(TiffTag::JpegInterchangeFormatLength, 0);
  std::atomic<bool> aborting{false};
  TIEProgressRec pr;
  pr.Aborting = &aborting;
  if (d.GetInteger(TiffTag::Compression, 1) == 6 || (jOff > 0 && jLen > 0)) {
    // The thumbnail must lie inside the block before anything is allocated
    // for it: a damaged length would otherwise claim up to 2 GB.
    const int64_t room = d.StreamSize - d.Base;
    if (jOff <= 0 || jLen <= 0 || jLen > 0x7FFFFFFF || jOff > room || jLen > room - jOff) return;
    std::vector<uint8_t> jpeg(static_cast<size_t>(jLen));
    if (!d.ReadAt(jOff, jpeg.data(), jLen)) return;
    TCustomMemoryStream js;
    js.SetPointer(jpeg.data(), jLen);
    TIOParamsVals tp;
    try {
      JpegReadStream(&js, Thumb, tp, pr);
    } catch (const Exception&) {
      aborting = true;
    }
  } else {
    TIOParamsVals tp;
    tp.SetImageIndex(1);
    int32_t count = 0;
    std::unique_ptr<TIEMask> mask;
    Stream->SetPosition(start);
    TTiffReadOptions options;
    options.IgnoreAlpha = true;
    options.SmallOnly = true;
    options.Chain = &chain;
    TiffReadStream(Thumb, Stream, count, &tp, pr, mask, options);
  }
  if (aborting || Thumb->GetWidth() > kMaxThumbSide || Thumb->GetHeight() > kMaxThumbSide)
    Thumb->FreeImage(true);
  Stream->SetPosition(start);
}

}  // namespace

bool IEDecodeExifBlock(const void* Data, int32_t Length, TIOParamsVals* Params) {
  if (!Data || !Params || Length < 6 + 8 || !IEIsExifHeader(Data, Length)) return false;
  const uint8_t* b = static_cast<const uint8_t*>(Data);
  if (b[5] != 0) return false;
  const bool ii = b[6] == 'I' && b[7] == 'I' && b[8] == 42 && b[9] == 0;
  const bool mm = b[6] == 'M' && b[7] == 'M' && b[8] == 0 && b[9] == 42;
  if (!ii && !mm) return false;
  TCustomMemoryStream ms;
  ms.SetPointer(const_cast<uint8_t*>(b + 6), Length - 6);
  ms.SetPosition(0);
  TIOParamsVals temp(Params->Owner);
  if (!ReadPageExif(&ms, 0, temp)) return false;
  IECopyExifFields(&temp, Params);
  Params->ExifPresent = true;
  if (!Params->ExifThumbnail) Params->ExifThumbnail = std::make_unique<TIEBitmap>();
  ms.SetPosition(0);
  ReadThumbnail(&ms, Params->ExifThumbnail.get());
  if (!Params->ExifThumbnail->IsEmpty())
    IEApplyEXIFOrientation(Params->ExifThumbnail.get(), Params->TiffOrientation);
  return true;
}

int64_t IEFindTiffHeader(TStream* Stream) {
  if (!Stream) return -1;
  const int64_t start = Stream->GetPosition();
  const int64_t size = Stream->GetSize();
  std::vector<uint8_t> w(0x20000);
  const int64_t got = std::max<int64_t>(0, Stream->Read(w.data(), int64_t(w.size())));
  Stream->SetPosition(start);
  for (int64_t i = 0; i + 8 <= got; ++i) {
    const uint8_t* p = &w[size_t(i)];
    uint32_t magic = 0, off = 0;
    if (p[0] == 'I' && p[1] == 'I') {
      magic = uint32_t(p[2] | (p[3] << 8));
      off = uint32_t(p[4]) | (uint32_t(p[5]) << 8) | (uint32_t(p[6]) << 16) | (uint32_t(p[7]) << 24);
    } else if (p[0] == 'M' && p[1] == 'M') {
      magic = uint32_t((p[2] << 8) | p[3]);
      off = (uint32_t(p[4]) << 24) | (uint32_t(p[5]) << 16) | (uint32_t(p[6]) << 8) | uint32_t(p[7]);
    } else {
      continue;
    }
    if (int64_t(off) >= size) continue;
    if (magic == 42 || magic == 0x4F52 || magic == 0x5352) return i;
  }
  return -1;
}

bool IEReadTiffPreviewAndExif(TStream* Stream, TIOParamsVals* Params) {
  if (!Stream || !Params) return true;
  const int64_t start = Stream->GetPosition();
  if (!Params->ExifThumbnail) Params->ExifThumbnail = std::make_unique<TIEBitmap>();
  Params->ExifThumbnail->FreeImage(true);
  try {
    TIOParamsVals temp(Params->Owner);
    if (ReadPageExif(Stream, 0, temp)) {
      IECopyExifFields(&temp, Params);
      Params->ExifPresent = true;
    }
    TIEBitmap b[2];
    for (int32_t page = 0; page < 2; ++page) {
      Stream->SetPosition(start);
      TIOParamsVals tp(Params->Owner);
      tp.SetImageIndex(page);
      std::atomic<bool> aborting{false};
      TIEProgressRec pr;
      pr.Aborting = &aborting;
      int32_t count = 0;
      std::unique_ptr<TIEMask> mask;
      TTiffReadOptions options;
      options.IgnoreAlpha = true;
      options.SmallOnly = true;
      TiffReadStream(&b[page], Stream, count, &tp, pr, mask, options);
      if (aborting) b[page].FreeImage(true);
    }
    // An all-black page is no preview: it does not compete.  Of the others
    // the narrower is kept; with equal widths neither.
    int32_t w[2];
    for (int i = 0; i < 2; ++i) w[i] = b[i].IsEmpty() || b[i].IsAllZero() ? 0 : b[i].GetWidth();
    if (w[0] > 0 && (w[0] < w[1] || w[1] == 0))
      Params->ExifThumbnail->Assign(&b[0]);
    else if (w[1] > 0 && (w[1] < w[0] || w[0] == 0))
      Params->ExifThumbnail->Assign(&b[1]);
  } catch (...) {
    Stream->SetPosition(start);
    throw;
  }
  Stream->SetPosition(start);
  return true;
}

bool IEReadTiffExifParams(TStream* Stream, TIOParamsVals* Params) {
  if (!Stream || !Params) return true;
  const int64_t start = Stream->GetPosition();
  if (!Params->ExifThumbnail) Params->ExifThumbnail = std::make_unique<TIEBitmap>();
  Params->ExifThumbnail->FreeImage(true);
  std::atomic<bool> aborting{false};
  TIEProgressRec pr;
  pr.Aborting = &aborting;
  int32_t count = 0;
  std::unique_ptr<TIEMask> mask;
  TTiffReadOptions options;
  options.ParamsOnly = true;
  options.IgnoreAlpha = true;
  TiffReadStream(Params->ExifThumbnail.get(), Stream, count, Params, pr, mask, options);
  Stream->SetPosition(start);
  // The reader decides ExifPresent (an EXIF directory was there); the fields
  // come complete from the page and its sub-directories.
  TIOParamsVals temp(Params->Owner);
  if (ReadPageExif(Stream, 0, temp)) IECopyExifFields(&temp, Params);
  Stream->SetPosition(start);
  return true;
}
