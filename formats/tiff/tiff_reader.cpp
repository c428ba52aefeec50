#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_tags.h"

#include <atomic>
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <unistd.h>

#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/icc_profile.h"
#include "foundations/imaging_annotations.h"
#include "foundations/iptc.h"
#include "formats/jpeg/exif_block.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_chain_cache.h"
#include "formats/tiff/tiff_lzw.h"
#include "formats/tiff/tiff_strips.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

int32_t TiffTypeSize(uint16_t Type) {
  // 13 is the IFD type (a 4-byte offset) of SubIFDs and EXIF pointers.
  static const int32_t sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return Type < 14 ? sizes[Type] : 0;
}

// ---------------------------------------------------------------------------
// TiffDirectory

void TiffDirectory::Bind(TStream* AStream, bool ALittleEndian, int64_t ABase) {
  Stream = AStream;
  LittleEndian = ALittleEndian;
  Base = ABase;
  StreamSize = AStream ? AStream->GetSize() : 0;
  Entries.clear();
}

uint16_t TiffDirectory::Get16(const uint8_t* P) const {
  return LittleEndian ? uint16_t(P[0] | (P[1] << 8)) : uint16_t((P[0] << 8) | P[1]);
}

uint32_t TiffDirectory::Get32(const uint8_t* P) const {
  return LittleEndian ? uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) |
                            (uint32_t(P[3]) << 24)
                      : (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) |
                            uint32_t(P[3]);
}

bool TiffDirectory::ReadAt(int64_t Offset, void* Buffer, int64_t Count) const {
  if (!Stream || Offset < 0 || Count < 0) return false;
  const int64_t at = Base + Offset;
  if (at < 0 || at > StreamSize || Count > StreamSize - at) return false;
  if (Count == 0) return true;
  if (Stream->Seek(at, soBeginning) != at) return false;
  return Stream->Read(Buffer, Count) == Count;
}

int32_t TiffDirectory::FindTag(uint16_t Tag) const {
  for (size_t i = 0; i < Entries.size(); ++i)
    if (Entries[i].Tag == Tag) return int32_t(i);
  return -1;
}

uint32_t TiffDirectory::ValueField(const TiffEntry& E) const { return Get32(E.Raw); }

bool TiffDirectory::DataLocation(const TiffEntry& E, int64_t& Offset, int64_t& Size,
                                 bool& Inline) const {
  const int32_t ts = TiffTypeSize(E.Type);
  Size = int64_t(E.Count) * (ts ? ts : 1);
  Inline = Size <= 4;
  Offset = Inline ? 0 : int64_t(ValueField(E));
  if (Inline) return true;
  const int64_t at = Base + Offset;
  return at >= 0 && at <= StreamSize && Size <= StreamSize - at;
}

int64_t TiffDirectory::GetInteger(uint16_t Tag, int64_t Default) const {
  const int32_t i = FindTag(Tag);
  if (i < 0) return Default;
  const TiffEntry& e = Entries[size_t(i)];
  if (e.Count == 0) return Default;
  switch (e.Type) {
    case TiffType::Byte:
    case TiffType::SByte:
    case TiffType::Undefined:
      return e.Raw[0];
    case TiffType::Short:
    case TiffType::SShort:
      return Get16(e.Raw);
    default:
      return ValueField(e);
  }
}

int64_t TiffDirectory::GetIntegerAt(uint16_t Tag, int32_t Index, int64_t Default) const {
  const int32_t i = FindTag(Tag);
  if (i < 0 || Index < 0) return Default;
  const TiffEntry& e = Entries[size_t(i)];
  if (uint32_t(Index) >= e.Count) return Default;
  int64_t off, size;
  bool inl;
  if (e.Type == 3) {
    if (e.Count <= 2) return Get16(e.Raw + 2 * Index);
    if (!DataLocation(e, off, size, inl)) return Default;
    uint8_t b[2];
    if (!ReadAt(off + int64_t(Index) * 2, b, 2)) return Default;
    return Get16(b);
  }
  if (e.Type == 4 || e.Type == 9 || e.Type == 13) {
    if (e.Count == 1) return ValueField(e);
    if (!DataLocation(e, off, size, inl)) return Default;
    uint8_t b[4];
    if (!ReadAt(off + int64_t(Index) * 4, b, 4)) return Default;
    return Get32(b);
  }
  if (e.Type == 1 && e.Count <= 4) return e.Raw[Index];
  return Default;
}

double TiffDirectory::GetRationalAt(uint16_t Tag, int32_t Index, double Default) const {
  const int32_t i = FindTag(Tag);
  if (i < 0 || Index < 0) return Default;
  const TiffEntry& e = Entries[size_t(i)];
  if (uint32_t(Index) >= e.Count || (e.Type != 5 && e.Type != 10)) return Default;
  int64_t off, size;
  bool inl;
  if (!DataLocation(e, off, size, inl)) return Default;
  uint8_t b[8];
  if (!ReadAt(off + int64_t(Index) * 8, b, 8)) return Default;
  if (e.Type == 5) {
    const double n = Get32(b);
    double d = Get32(b + 4);
    if (d == 0) d = 1;
    return n / d;
  }
  const double n = int32_t(Get32(b));
  double d = int32_t(Get32(b + 4));
  if (d == 0) d = 1;
  return n / d;
}

int32_t TiffDirectory::ReadArray(uint16_t Tag, std::vector<uint32_t>& Values) const {
  Values.clear();
  const int32_t i = FindTag(Tag);
  if (i < 0) return 0;
  const TiffEntry& e = Entries[size_t(i)];
  if (e.Type != 1 && e.Type != 3 && e.Type != 4 && e.Type != 13) return 0;
  int64_t off, size;
  bool inl;
  if (e.Count == 0 || !DataLocation(e, off, size, inl)) return 0;
  std::vector<uint8_t> raw(static_cast<size_t>(size));
  if (inl)
    std::memcpy(raw.data(), e.Raw, size_t(size));
  else if (!ReadAt(off, raw.data(), size))
    return 0;
  Values.resize(e.Count);
  const int32_t ts = TiffTypeSize(e.Type);
  for (uint32_t k = 0; k < e.Count; ++k) {
    const uint8_t* p = raw.data() + size_t(k) * ts;
    Values[k] = e.Type == 1 ? *p : e.Type == 3 ? Get16(p) : Get32(p);
  }
  return int32_t(e.Count);
}

bool TiffDirectory::ReadBlock(uint16_t Tag, std::vector<uint8_t>& Data, int64_t MaxBytes) const {
  Data.clear();
  const int32_t i = FindTag(Tag);
  if (i < 0) return false;
  int64_t off, size;
  bool inl;
  const TiffEntry& e = Entries[size_t(i)];
  if (!DataLocation(e, off, size, inl) || size > MaxBytes) return false;
  Data.resize(size_t(size));
  if (size == 0) return true;
  if (inl) {
    std::memcpy(Data.data(), e.Raw, size_t(size));
    return true;
  }
  if (!ReadAt(off, Data.data(), size)) {
    Data.clear();
    return false;
  }
  return true;
}

std::string TiffDirectory::ReadString(uint16_t Tag, bool CutAtNul) const {
  const int32_t i = FindTag(Tag);
  if (i < 0 || Entries[size_t(i)].Count > 0xFFFFF) return {};
  std::vector<uint8_t> data;
  if (!ReadBlock(Tag, data)) return {};
  std::string s(data.begin(), data.end());
  if (CutAtNul) {
    const size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
  }
  return s;
}

std::string TiffDirectory::ReadWideString(uint16_t Tag) const {
  const int32_t i = FindTag(Tag);
  if (i < 0 || Entries[size_t(i)].Count > 0xFFFFF) return {};
  std::vector<uint8_t> data;
  if (!ReadBlock(Tag, data)) return {};
  // UTF-16LE as written by Windows, whatever the file's byte order.
  std::vector<uint16_t> units(data.size() / 2);
  for (size_t k = 0; k < units.size(); ++k) units[k] = uint16_t(data[2 * k] | (data[2 * k + 1] << 8));
  return TiffUtf16ToUtf8(units);
}

std::string TiffUtf16ToUtf8(const std::vector<uint16_t>& Units) {
  std::string out;
  for (size_t i = 0; i < Units.size(); ++i) {
    uint32_t c = Units[i];
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < Units.size() && Units[i + 1] >= 0xDC00 && Units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (Units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Directory chain

namespace {

// Reads the entry table of the directory at Offset; false when it does not
// fit in the stream.
bool LoadEntries(TiffDirectory& D, int64_t Offset, uint32_t N) {
  std::vector<uint8_t> raw(size_t(N) * 12);
  if (!D.ReadAt(Offset + 2, raw.data(), int64_t(raw.size()))) return false;
  D.Entries.resize(N);
  for (uint32_t k = 0; k < N; ++k) {
    const uint8_t* p = raw.data() + size_t(k) * 12;
    TiffEntry& e = D.Entries[k];
    e.Tag = D.Get16(p);
    e.Type = D.Get16(p + 2);
    e.Count = D.Get32(p + 4);
    std::memcpy(e.Raw, p + 8, 4);
  }
  return true;
}

bool ReadHeader(TStream* Stream, int64_t Base, bool& Little, int64_t& First) {
  uint8_t h[8];
  if (!Stream || Stream->Seek(Base, soBeginning) != Base || Stream->Read(h, 8) != 8) return false;
  if (h[0] == 'I' && h[1] == 'I')
    Little = true;
  else if (h[0] == 'M' && h[1] == 'M')
    Little = false;
  else
    return false;
  // BigTIFF (version 43) has 64-bit offsets and another directory layout:
  // it fails instead of being taken for a 32-bit directory.  Classic TIFF
  // (42) and the forms that share its layout (HD Photo's 0x01BC) are read.
  const uint32_t version = Little ? (uint32_t(h[2]) | (uint32_t(h[3]) << 8)) : ((uint32_t(h[2]) << 8) | uint32_t(h[3]));
  if (version == 43) return false;
  First = Little ? int64_t(uint32_t(h[4]) | (uint32_t(h[5]) << 8) | (uint32_t(h[6]) << 16) |
                           (uint32_t(h[7]) << 24))
                 : int64_t((uint32_t(h[4]) << 24) | (uint32_t(h[5]) << 16) | (uint32_t(h[6]) << 8) |
                           uint32_t(h[7]));
  return true;
}

}  // namespace

bool TiffLoadIfdAt(int64_t Offset, TiffDirectory& Directory) {
  Directory.Entries.clear();
  if (Offset < 8) return false;
  uint8_t b[2];
  if (!Directory.ReadAt(Offset, b, 2)) return false;
  const uint32_t n = Directory.Get16(b);
  return n > 0 && LoadEntries(Directory, Offset, n);
}

namespace {

// Reads the small fields of the chain (entry counts and next offsets): one
// read of a small window per directory, straight from the file where the
// stream is one (no seek and no refill of a read buffer), through the stream
// otherwise.  The same bounds as TiffDirectory::ReadAt.
class TChainReader {
 public:
  explicit TChainReader(const TiffDirectory& D) : FD(D) {
    FFile = TiffStreamFile(D.Stream, FHandle, FFileOffset);
  }
  // Reads Count bytes at Offset, from the window of the last read when it
  // holds them.
  bool ReadAt(int64_t Offset, void* Buffer, int64_t Count) {
    if (Offset >= FWindowAt && Offset + Count <= FWindowAt + FWindowLen) {
      std::memcpy(Buffer, FWindow + (Offset - FWindowAt), size_t(Count));
      return true;
    }
    if (!FFile) return FD.ReadAt(Offset, Buffer, Count);
    const int64_t at = FD.Base + Offset;
    if (Offset < 0 || at < 0 || at > FD.StreamSize || Count > FD.StreamSize - at) return false;
    const int64_t len = std::min<int64_t>(int64_t(sizeof FWindow), FD.StreamSize - at);
    const ssize_t got = pread(FHandle, FWindow, size_t(len), off_t(FFileOffset + at));
    if (got < Count) {
      FWindowLen = 0;
      return false;
    }
    FWindowAt = Offset;
    FWindowLen = got;
    std::memcpy(Buffer, FWindow, size_t(Count));
    return true;
  }

 private:
  const TiffDirectory& FD;
  bool FFile = false;
  int FHandle = -1;
  int64_t FFileOffset = 0;
  uint8_t FWindow[512];
  int64_t FWindowAt = 0;
  int64_t FWindowLen = 0;
};

}  // namespace

bool TiffReadIfd(int32_t PageIndex, int64_t FirstOffset, TiffDirectory& Directory, int32_t& Count,
                 std::vector<int64_t>* Offsets, bool* Cut) {
  Directory.Entries.clear();
  Count = 0;
  int64_t offset = FirstOffset;
  std::unordered_set<int64_t> seen;
  const int64_t size = Directory.StreamSize - Directory.Base;
  bool cut = false;
  TChainReader reader(Directory);
  while (offset != 0) {
    if (!seen.insert(offset).second) break;
    uint8_t b[4];
    if (!reader.ReadAt(offset, b, 2)) {
      cut = true;
      break;
    }
    const uint32_t n = Directory.Get16(b);
    if (n == 0) break;
    // The entry table and the next offset must lie inside the stream.
    if (offset + 2 + int64_t(n) * 12 >= size) {
      cut = true;
      break;
    }
    if (Count == PageIndex && !LoadEntries(Directory, offset, n)) break;
    if (!reader.ReadAt(offset + 2 + int64_t(n) * 12, b, 4)) {
      cut = true;
      break;
    }
    int64_t next = Directory.Get32(b);
    if (next >= size) cut = true;
    if (next == offset || next < 8 || next >= size) next = 0;
    if (Offsets) Offsets->push_back(offset);
    ++Count;
    offset = next;
  }
  if (Cut) *Cut = cut;
  return !Directory.Entries.empty();
}

bool TiffScanChain(TStream* Stream, bool RelativeOffsets, TTiffChain& Chain) {
  Chain = TTiffChain();
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  const int64_t base = RelativeOffsets ? pos : 0;
  bool little = true;
  int64_t first = 0;
  const bool ok = ReadHeader(Stream, base, little, first);
  if (ok) {
    TiffDirectory d;
    d.Bind(Stream, little, base);
    int32_t count = 0;
    if (first != 0) TiffReadIfd(-1, first, d, count, &Chain.Offsets, &Chain.Cut);
    Chain.Stream = Stream;
    Chain.Base = base;
    Chain.StreamSize = d.StreamSize;
    Chain.LittleEndian = little;
    Chain.Valid = true;
  }
  Stream->Seek(pos, soBeginning);
  return ok;
}

// ---------------------------------------------------------------------------
// Page reading

int64_t TiffDecodedSizeLimit(int64_t DataBytes) {
  // Fax and Deflate data compress blank areas enormously, so a floor lets any
  // real page through (a blank 1200 dpi A3 fax page codes 35 MB of pixels in
  // a few KB); beyond it the data must be able to justify the size.  The
  // floor itself grows with the data: a file of a few hundred bytes cannot
  // justify hundreds of megabytes.
  const int64_t floor = std::min<int64_t>(int64_t(256) << 20, std::max<int64_t>(DataBytes, 0) << 16);
  if (DataBytes > (int64_t(1) << 40)) return INT64_MAX;
  return floor + DataBytes * 4096;
}

namespace {

void ReadVars(TTiffPageInfo& Info, const TTiffPageRequest& Request, TIEProgressRec& Progress,
              bool& Ok) {
  const TiffDirectory& d = Info.Page;
  TTIFFVars& v = Info.Vars;
  Ok = true;
  int64_t w, h;
  if (Request.TileIndex < 0) {
    w = d.GetInteger(TiffTag::ImageWidth, 0);
    h = d.GetInteger(TiffTag::ImageLength, 0);
  } else {
    w = d.GetInteger(TiffTag::TileWidth, -1);
    h = d.GetInteger(TiffTag::TileLength, -1);
  }
  if (w < 0 || h < 0 || w > INT32_MAX || h > INT32_MAX) {
    w = 0;
    h = 0;
  }
  v.ImageWidth = int32_t(Request.TileIndex < 0 ? w : d.GetInteger(TiffTag::ImageWidth, 0) & 0x7FFFFFFF);
  v.ImageHeight = int32_t(Request.TileIndex < 0 ? h : d.GetInteger(TiffTag::ImageLength, 0) & 0x7FFFFFFF);
  v.SamplesPerPixel = int32_t(std::clamp<int64_t>(d.GetInteger(TiffTag::SamplesPerPixel, 1), 0, 0xFFFF));
  std::vector<uint32_t> bits;
  if (d.ReadArray(TiffTag::BitsPerSample, bits) == 0) {
    v.BitsPerSample = d.HasTag(TiffTag::BitsPerSample) ? int32_t(d.GetInteger(TiffTag::BitsPerSample, 1)) : 1;
  } else {
    for (uint32_t b : bits)
      if (b != bits[0]) {
        Progress.SetAborting();
        Ok = false;
        return;
      }
    v.BitsPerSample = int32_t(std::min<uint32_t>(bits[0], 64));
  }
  const int64_t rps = d.GetInteger(TiffTag::RowsPerStrip, h);
  v.RowsPerStrip = int32_t(std::clamp<int64_t>(std::min<int64_t>(rps, h), 0, INT32_MAX));
  if (v.RowsPerStrip <= 0) v.RowsPerStrip = int32_t(h);
  v.Photometric = uint16_t(d.GetInteger(TiffTag::Photometric, TiffPhotometric::Rgb));
  v.PlanarConfig = uint16_t(d.GetInteger(TiffTag::PlanarConfig, TiffPlanarConfig::Contig));
  v.Orientation = uint16_t(d.GetInteger(TiffTag::Orientation, 1));
  v.Compression = uint16_t(d.GetInteger(TiffTag::Compression, TiffCompression::None));
  v.Predictor = int32_t(d.GetInteger(TiffTag::Predictor, TiffPredictor::None));
  v.ResolutionUnit = int32_t(d.GetInteger(TiffTag::ResolutionUnit, TiffResolutionUnit::Inch));
  v.XResolution = d.GetRational(TiffTag::XResolution, 0);
  v.YResolution = d.GetRational(TiffTag::YResolution, 0);
  v.T4Options = uint32_t(d.GetInteger(TiffTag::T4Options, 0));
  v.T6Options = uint32_t(d.GetInteger(TiffTag::T6Options, 0));
  v.FillOrder = int32_t(d.GetInteger(TiffTag::FillOrder, TiffFillOrder::Msb2Lsb));
  if (v.FillOrder != TiffFillOrder::Msb2Lsb && v.FillOrder != TiffFillOrder::Lsb2Msb)
    v.FillOrder = TiffFillOrder::Msb2Lsb;
  v.XPosition = d.GetRational(TiffTag::XPosition, 0);
  v.YPosition = d.GetRational(TiffTag::YPosition, 0);
  v.DocumentName = d.ReadString(TiffTag::DocumentName, true);
  v.ImageDescription = d.ReadString(TiffTag::ImageDescription, true);
  v.PageName = d.ReadString(TiffTag::PageName, true);
  v.Software = d.ReadString(TiffTag::Software, true);
  v.Artist = d.ReadString(TiffTag::Artist, true);
  v.TwelveBitSoftware = v.Software.rfind("Look@Molli v1.1", 0) == 0;
  v.PageNumber = int32_t(d.GetIntegerAt(TiffTag::PageNumber, 0, 0));
  v.PageTotal = int32_t(d.GetIntegerAt(TiffTag::PageNumber, 1, 0));
  v.InkSet = int32_t(d.GetInteger(TiffTag::InkSet, 1));
  v.NumberOfInks = int32_t(d.GetInteger(TiffTag::NumberOfInks, 4));
  v.JpegProc = int32_t(d.GetInteger(TiffTag::JpegProc, 0));
  v.JpegInterchangeFormat = d.GetInteger(TiffTag::JpegInterchangeFormat, 0);
  v.JpegInterchangeFormatLength = d.GetInteger(TiffTag::JpegInterchangeFormatLength, 0);
  v.JpegRestartInterval = int32_t(d.GetInteger(TiffTag::JpegRestartInterval, 0));
  std::vector<uint32_t> extra;
  d.ReadArray(TiffTag::ExtraSamples, extra);
  v.ExtraSamples = extra.empty() ? 0 : int32_t(extra[0]);
  v.ExtraSamplesCount = int32_t(std::min<size_t>(extra.size(), 10));
  for (int32_t k = 0; k < v.ExtraSamplesCount; ++k) v.ExtraSamplesValues[k] = int32_t(extra[size_t(k)]);
  v.YCbCrSubsampling[0] = int32_t(d.GetIntegerAt(TiffTag::YCbCrSubsampling, 0, 2));
  v.YCbCrSubsampling[1] = int32_t(d.GetIntegerAt(TiffTag::YCbCrSubsampling, 1, 2));
  if (v.YCbCrSubsampling[0] == 0) v.YCbCrSubsampling[0] = 2;
  if (v.YCbCrSubsampling[1] == 0) v.YCbCrSubsampling[1] = 2;
  d.ReadArray(TiffTag::StripOffsets, v.StripOffsets);
  d.ReadArray(TiffTag::StripByteCounts, v.StripByteCounts);
  d.ReadArray(TiffTag::TileOffsets, v.TileOffsets);
  d.ReadArray(TiffTag::TileByteCounts, v.TileByteCounts);
  v.TileWidth = int32_t(std::clamp<int64_t>(d.GetInteger(TiffTag::TileWidth, 0), 0, INT32_MAX));
  v.TileLength = int32_t(std::clamp<int64_t>(d.GetInteger(TiffTag::TileLength, 0), 0, INT32_MAX));
  d.ReadBlock(TiffTag::JpegTables, v.JpegTables);
  // A bilevel page without a usable photometric value (absent, or RGB) is
  // white-is-zero, whatever its compression.
  if (v.SamplesPerPixel == 1 && v.BitsPerSample == 1 && v.Photometric == TiffPhotometric::Rgb)
    v.Photometric = TiffPhotometric::MinIsWhite;
  // Colour map: all reds, then greens, then blues; 16-bit values unless every
  // value is below 256.
  std::vector<uint32_t> map;
  if (v.BitsPerSample >= 1 && v.BitsPerSample <= 16 && d.ReadArray(TiffTag::ColorMap, map) > 0) {
    const int64_t entries = int64_t(1) << v.BitsPerSample;
    if (int64_t(map.size()) >= 3 * entries) {
      uint32_t largest = 0;
      for (int64_t k = 0; k < 3 * entries; ++k) largest = std::max(largest, map[size_t(k)]);
      const int32_t shift = largest < 256 ? 0 : 8;
      const int64_t kept = std::min<int64_t>(entries, 256);
      v.ColorMap.resize(size_t(kept) * 3);
      for (int64_t k = 0; k < kept; ++k) {
        v.ColorMap[size_t(k) * 3 + 2] = uint8_t(map[size_t(k)] >> shift);
        v.ColorMap[size_t(k) * 3 + 1] = uint8_t(map[size_t(entries + k)] >> shift);
        v.ColorMap[size_t(k) * 3 + 0] = uint8_t(map[size_t(2 * entries + k)] >> shift);
      }
      v.ColorMapCount = int32_t(kept);
    }
  }
  v.LittleEndian = d.LittleEndian;
  v.TileIndex = Request.TileIndex;
}

void FillWhite(TIEBitmap* Bitmap, uint8_t Value) {
  const int32_t h = Bitmap->GetHeight();
  const int64_t len = Bitmap->GetRowLen();
  for (int32_t y = 0; y < h; ++y) std::memset(Bitmap->GetScanline(y), Value, size_t(len));
}

}  // namespace

void TiffReadPage(TIEBitmap* Bitmap, TStream* Stream, const TTiffPageRequest& Request,
                  TTiffPageInfo& Info, TIEProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask) {
  const bool IgnoreAlpha = Request.IgnoreAlpha;
  const TTiffChain* Chain = Request.Chain;
  Info = TTiffPageInfo();
  if (!Stream) {
    Progress.SetAborting();
    return;
  }
  const int64_t base = Request.RelativeOffsets ? Stream->GetPosition() : 0;
  bool little = true;
  int64_t first = 0;
  if (!ReadHeader(Stream, base, little, first)) {
    Progress.SetAborting();
    return;
  }
  // A file without a single readable directory gives no image: a request for
  // a page fails (a page count alone, PageIndex -1, does not).  A page beyond
  // the last of a good file answers the count only, as callers counting
  // pages expect.
  const bool wantsPage = Request.PageIndex >= 0;
  if (first == 0) {
    if (wantsPage) Progress.SetAborting();
    return;
  }
  Info.Page.Bind(Stream, little, base);
  Info.Exif.Bind(Stream, little, base);
  Info.Gps.Bind(Stream, little, base);
  TiffDirectory& page = Info.Page;
  if (Chain && Chain->Valid && Chain->Stream == Stream && Chain->Base == base &&
      Chain->StreamSize == page.StreamSize) {
    Info.PageCount = int32_t(Chain->Offsets.size());
    if (Request.PageIndex >= 0 && Request.PageIndex < Info.PageCount)
      TiffLoadIfdAt(Chain->Offsets[size_t(Request.PageIndex)], page);
  } else {
    // A file read before and unchanged since answers from its remembered
    // chain; any other walks it once and remembers it.
    std::vector<int64_t> offsets;
    bool cut = false;
    if (!TiffRecalledChain(Stream, base, first, offsets, cut)) {
      TiffReadIfd(-1, first, page, Info.PageCount, &offsets, &cut);
      TiffRememberChain(Stream, base, offsets, cut);
    }
    Info.PageCount = int32_t(offsets.size());
    if (Request.PageIndex >= 0 && Request.PageIndex < Info.PageCount)
      TiffLoadIfdAt(offsets[size_t(Request.PageIndex)], page);
  }
  if (page.Entries.empty()) {
    if (wantsPage && Info.PageCount <= 0) Progress.SetAborting();
    return;
  }
  Info.PageFound = true;
  if (Request.SubIfdIndex >= 0) {
    const int64_t sub = page.GetIntegerAt(TiffTag::SubIfds, Request.SubIfdIndex, 0);
    if (sub != 0) {
      TiffDirectory subDir;
      subDir.Bind(Stream, little, base);
      if (TiffLoadIfdAt(sub, subDir)) page.Entries = std::move(subDir.Entries);
    }
  }
  const int64_t exif = page.GetInteger(TiffTag::ExifIfd, 0);
  if (exif != 0 && TiffLoadIfdAt(exif, Info.Exif)) Info.ExifPresent = true;
  const int64_t gps = page.GetInteger(TiffTag::GpsIfd, 0);
  if (gps != 0 && TiffLoadIfdAt(gps, Info.Gps)) Info.GpsPresent = true;

  bool ok = true;
  ReadVars(Info, Request, Progress, ok);
  if (!ok) return;
  TTIFFVars& v = Info.Vars;
  v.LzwDecoder = Request.LzwDecoder ? Request.LzwDecoder
                                    : (TiffLzwDecodeHook ? TiffLzwDecodeHook : TiffLzwDecode);
  v.IgnoreAlpha = IgnoreAlpha;

  const double factor = v.ResolutionUnit == TiffResolutionUnit::Centimetre ? 2.54 : 1.0;
  Info.ExactDpiX = v.XResolution * factor;
  Info.ExactDpiY = v.YResolution * factor;
  Info.DpiX = Info.ExactDpiX > 0 && Info.ExactDpiX < 1e9 ? IERound(Info.ExactDpiX) : 0;
  Info.DpiY = Info.ExactDpiY > 0 && Info.ExactDpiY < 1e9 ? IERound(Info.ExactDpiY) : 0;
  Info.PixelXPosition = int32_t(std::clamp(v.XPosition * factor, -2e9, 2e9));
  Info.PixelYPosition = int32_t(std::clamp(v.YPosition * factor, -2e9, 2e9));
  if (Request.OnParams) Request.OnParams(Info);

  const int32_t width = Request.TileIndex < 0 ? v.ImageWidth : v.TileWidth;
  const int32_t height = Request.TileIndex < 0 ? v.ImageHeight : v.TileLength;
  if ((width <= 0 || height <= 0) && !Request.SmallOnly) {
    Progress.SetAborting();
    return;
  }
  if (Request.ParamsOnly) return;

  const int32_t spp = v.SamplesPerPixel;
  const int64_t limit = TiffDecodedSizeLimit(page.StreamSize);
  if (Request.SmallOnly && (width > 400 || height > 400)) {
    Progress.SetAborting();
    return;
  }
  if (!Bitmap) return;
  // Rows cost time and memory even where no data reaches them: a page may
  // have no more rows than its data can code (a fax row takes at least one
  // bit, a row of the other codings at least one byte in 4096), beyond a
  // floor that any real page passes.
  {
    const int64_t perByte = (v.Compression >= TiffCompression::CcittRle && v.Compression <= TiffCompression::CcittT6) || v.Compression == TiffCompression::None ? 8 : 4096;
    const int64_t dataBytes = std::max<int64_t>(page.StreamSize - base, 0);
    if (height > std::max<int64_t>(int64_t(1) << 16, dataBytes * perByte)) {
      Progress.SetAborting();
      return;
    }
    // Uncompressed samples are stored one for one: a file holding less than
    // a sixteenth of them (beyond a small floor) is not such a page.
    const int64_t storedRow = (int64_t(width) * std::max(spp, 1) * std::max(v.BitsPerSample, 1) + 7) / 8;
    if (v.Compression == TiffCompression::None && storedRow > 0 &&
        height > std::max<int64_t>(int64_t(1) << 20, dataBytes * 16) / storedRow) {
      Progress.SetAborting();
      return;
    }
  }
  // The alpha mask, once the page's size is known to be acceptable: one byte
  // per pixel, within the same limit as the page.
  auto allocateMask = [&]() {
    if (!IgnoreAlpha) {
      const bool hasAlpha = (spp == 4 && v.ExtraSamples == 2) || (spp > 3 && v.ExtraSamplesCount > 0) ||
                            (spp == 2 && v.BitsPerSample == 8) ||
                            (spp > 1 && v.ExtraSamplesCount > 0 && v.ExtraSamples == 1) ||
                            (spp == 4 && v.Photometric == TiffPhotometric::Rgb) ||
                            (spp == 2 && v.BitsPerSample == 16 && v.Photometric <= TiffPhotometric::MinIsBlack);
      if (hasAlpha && !AlphaMask) AlphaMask = std::make_unique<TIEMask>();
    }
    if (AlphaMask && !IgnoreAlpha && width > 0 && height > 0 && int64_t(width) * height <= limit) {
      if (AlphaMask->AllocateBits(width, height, 8)) {
        AlphaMask->Fill(255);
        v.AlphaMask = AlphaMask.get();
        return;
      }
    }
    v.IgnoreAlpha = true;
    v.AlphaMask = nullptr;
  };
  // The older JPEG form.
  if ((v.Compression == TiffCompression::OldJpeg ||
       (v.JpegInterchangeFormat != 0 && !TiffCompressionSupported(v.Compression))) &&
      v.JpegProc < 2) {
    // Compared by division: the product of a row near 2^33 bytes and a
    // height near 2^31 does not fit 64 bits.
    if (width <= 0 || height <= 0 || IEBitmapRowLen(width, 24, 32) > limit / height ||
        !Bitmap->Allocate(width, height, ie24RGB)) {
      Progress.SetAborting();
      return;
    }
    const TIEDataAccessSet access = Bitmap->GetAccess();
    Bitmap->SetAccess(iedWrite);
    FillWhite(Bitmap, 0xFF);
    allocateMask();
    TiffReadOldJpeg(page, v, Bitmap, Progress);
    Bitmap->SetAccess(access);
    return;
  }
  if (v.Compression == TiffCompression::OldJpeg) {  // lossless JPEG processes are not decoded
    Progress.SetAborting();
    return;
  }
  if (width <= 0 || height <= 0 || !TiffCompressionSupported(v.Compression)) {
    Progress.SetAborting();
    return;
  }
  TIEPixelFormat format = ie24RGB;
  const int32_t bps = v.BitsPerSample;
  if (bps == 1 && spp == 1 && v.Photometric != TiffPhotometric::Palette) {
    format = ie1g;
  } else if (Request.NativePixelFormat) {
    if (bps == 8 && spp == 1 && v.Photometric == TiffPhotometric::Palette)
      format = ie8p;
    else if (bps == 8 && spp == 1 && v.Photometric <= TiffPhotometric::MinIsBlack)
      format = ie8g;
    else if (bps == 16 && spp == 1 && v.Photometric <= TiffPhotometric::MinIsBlack)
      format = ie16g;
    else if ((bps == 8 && spp >= 4 && v.Photometric == TiffPhotometric::Separated) ||
             (bps == 16 && spp == 4 && v.Photometric == TiffPhotometric::Separated))
      format = ieCMYK;
    else if (bps == 16 && spp == 3 && v.Photometric == TiffPhotometric::Rgb)
      format = ieRGB48;
  }
  // JPEG pages decode to 24-bit colour (gray, RGB, YCbCr and CMYK pages alike).
  if (v.Compression == TiffCompression::Jpeg)
    format = (v.Photometric <= TiffPhotometric::Rgb || v.Photometric == TiffPhotometric::Separated ||
              v.Photometric == TiffPhotometric::YCbCr) &&
                     v.BitsPerSample == 8 && v.PlanarConfig != TiffPlanarConfig::Separate
                 ? ie24RGB
                 : ieNoFormat;
  if (v.Compression == TiffCompression::Jpeg ? format == ieNoFormat : !TiffLayoutSupported(v, format)) {
    Progress.SetAborting();
    return;
  }
  // The work rows hold every sample of a strip or tile row: they, the tiles
  // and the page must all stay within what the file can justify.
  const bool tiled = v.TileWidth > 0 || v.TileLength > 0;
  const int64_t decodeWidth = std::max<int64_t>(width, tiled ? v.TileWidth : 0);
  const int64_t sampleRow = decodeWidth * spp * std::max(bps, 8) / 8 * 2 + 64;
  const int64_t rowBytes = IEBitmapRowLen(width, IEBitCountOf(format), 32);
  if (spp > 32 || sampleRow > limit || (tiled && int64_t(v.TileWidth) * v.TileLength * 8 > limit) ||
      rowBytes <= 0 || rowBytes > limit / height) {
    Progress.SetAborting();
    return;
  }
  allocateMask();
  const TIEDataAccessSet access = Bitmap->GetAccess();
  if (!Bitmap->Allocate(width, height, format)) {
    Progress.SetAborting();
    return;
  }
  Bitmap->SetAccess(iedWrite);
  if (format == ie8p) {
    for (int32_t k = 0; k < v.ColorMapCount; ++k) {
      TRGB c;
      std::memcpy(&c, v.ColorMap.data() + size_t(k) * 3, 3);
      Bitmap->SetPaletteColor(k, c);
    }
  }
  // Rows the data does not reach stay white: strips fill them themselves,
  // after decoding, so that the rows they store are written only once.
  const uint8_t fill = Request.SmallOnly ? 0 : (format == ie8p ? 0 : 0xFF);
  Progress.per1 = 100.0 / height;
  if (v.TileWidth > 0 || v.TileLength > 0) {
    FillWhite(Bitmap, fill);
    if (v.TileOffsets.empty() && !v.StripOffsets.empty()) {
      v.TileOffsets = v.StripOffsets;
      v.TileByteCounts = v.StripByteCounts;
    }
    if (!v.TileOffsets.empty()) TiffReadTiles(page, v, Bitmap, Progress);
  } else if (!v.StripOffsets.empty()) {
    TiffReadStrips(page, v, Bitmap, Progress, fill);
  } else {
    FillWhite(Bitmap, fill);
    Progress.SetAborting();
  }
  Bitmap->SetAccess(access);
}

// ---------------------------------------------------------------------------
// The parameter-set entry points

namespace {

TIETIFFCompression CompressionOf(int32_t Tag, uint32_t T4Options) {
  switch (Tag) {
    case TiffCompression::None:
      return ietcNone;
    case TiffCompression::CcittRle:
      return ietcHuffman;
    case TiffCompression::CcittT4:
      return (T4Options & TiffT4Option::TwoDimensional) ? ietcG3Fax2D : ietcG3Fax1D;
    case TiffCompression::CcittT6:
      return ietcG4Fax;
    case TiffCompression::Lzw:
      return ietcLZW;
    case TiffCompression::OldJpeg:
      return ietcOldJPEG;
    case TiffCompression::Jpeg:
      return ietcJPEG;
    case TiffCompression::AdobeDeflate:
      return ietcDeflate;
    case TiffCompression::PackBits:
      return ietcPackBits;
    case TiffCompression::Deflate:
      return ietcZIP;
    default: return ietcUnknown;
  }
}

void FillParams(TIOParamsVals* P, TTiffPageInfo& Info) {
  const TTIFFVars& v = Info.Vars;
  const TiffDirectory& d = Info.Page;
  // The EXIF and GPS fields first (they include texts and resolution); the
  // page's own values below take precedence.
  IEReadExifDirectories(d, Info.ExifPresent ? &Info.Exif : nullptr, Info.GpsPresent ? &Info.Gps : nullptr,
                        *P);
  P->BitsPerSample = v.BitsPerSample;
  P->SamplesPerPixel = v.SamplesPerPixel;
  const bool tile = P->TiffTileIndex >= 0;
  P->Width = tile ? v.TileWidth : v.ImageWidth;
  P->Height = tile ? v.TileLength : v.ImageHeight;
  P->StoredWidth = P->Width;
  P->StoredHeight = P->Height;
  P->TiffLittleEndian = v.LittleEndian;
  P->SetImageCount(Info.PageCount);
  P->SetTiffOrientation(v.Orientation);
  P->TiffCompression = CompressionOf(v.Compression, v.T4Options);
  if (v.Photometric <= TiffPhotometric::YCbCr)
    P->TiffPhotometric = TIETIFFPhotometric(v.Photometric);
  else if (v.Photometric == TiffPhotometric::CieLab)
    P->TiffPhotometric = ietpCIELab;
  P->TiffPlanarConfig = v.PlanarConfig;
  P->TiffDocumentName = v.DocumentName;
  P->TiffImageDescription = v.ImageDescription;
  P->TiffPageName = v.PageName;
  P->TiffPageNumber = v.PageNumber;
  P->TiffPageTotal = v.PageTotal;
  P->TiffFillOrder = v.FillOrder;
  P->ExifImageDescription = v.ImageDescription;
  P->ExifMake = d.ReadString(TiffTag::Make, true);
  P->ExifModel = d.ReadString(TiffTag::Model, true);
  P->ExifDateTime = d.ReadString(TiffTag::DateTime, true);
  P->ExifSoftware = v.Software;
  P->ExifArtist = v.Artist;
  P->ExifCopyright = d.ReadString(TiffTag::Copyright, true);
  P->ExifResolutionUnit = v.ResolutionUnit;
  P->ExifRating = int32_t(d.GetInteger(TiffTag::Rating, -1));
  P->ExifPresent = Info.ExifPresent;
  // Metadata blocks.
  std::vector<uint8_t> block;
  P->XmpPacket.clear();
  if (d.ReadBlock(TiffTag::Xmp, block)) P->XmpPacket.assign(block.begin(), block.end());
  if (d.ReadBlock(TiffTag::IccProfile, block) && !block.empty())
    P->GetInputIccProfile()->LoadFromBuffer(block.data(), int32_t(block.size()));
  if (d.ReadBlock(TiffTag::ImagingAnnotations, block) && !block.empty())
    P->GetImagingAnnot()->LoadFromTagData(block.data(), int32_t(block.size()));
  if (P->IptcRecords) {
    P->IptcRecords->Clear();
    if (d.ReadBlock(TiffTag::Iptc, block) && !block.empty())
      P->IptcRecords->LoadFromBuffer(block.data(), int32_t(block.size()));
  }
  P->FreeColorMap();
  if (v.ColorMapCount > 0) {
    P->ColorMap.reset(new TRGB[size_t(v.ColorMapCount)]);
    std::memcpy(P->ColorMap.get(), v.ColorMap.data(), size_t(v.ColorMapCount) * 3);
    P->ColorMapCount = v.ColorMapCount;
  }
  P->SetDpiX(Info.DpiX > 0 ? Info.DpiX : IEDefaultDpiX);
  P->SetDpiY(Info.DpiY > 0 ? Info.DpiY : IEDefaultDpiY);
  if (Info.ExactDpiX > 0) P->ExifXResolution = Info.ExactDpiX;
  if (Info.ExactDpiY > 0) P->ExifYResolution = Info.ExactDpiY;
  P->TiffXPosition = Info.PixelXPosition;
  P->TiffYPosition = Info.PixelYPosition;
}

}  // namespace

void TiffReadStream(TIEBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals* Params,
                    TIEProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask,
                    const TTiffReadOptions& Options) {
  const bool ParamsOnly = Options.ParamsOnly;
  TTiffPageRequest req;
  static_cast<TTiffReadOptions&>(req) = Options;
  if (Params) {
    req.PageIndex = Params->TiffPageIndex;
    req.SubIfdIndex = Params->TiffSubIfdIndex;
    req.TileIndex = Params->TiffTileIndex;
    req.NativePixelFormat = Params->NativePixelFormat;
    req.LzwDecoder = Params->TiffLzwDecoder;
  } else {
    req.PageIndex = -1;
  }
  TTiffPageInfo info;
  req.OnParams = [Params](TTiffPageInfo& I) {
    if (!Params) return;
    FillParams(Params, I);
    I.Vars.Params = Params;
  };
  TiffReadPage(ParamsOnly ? nullptr : Bitmap, Stream, req, info, Progress, AlphaMask);
  PageCount = info.PageCount;
  if (Params && Params->TiffApplyOrientation && Bitmap && !ParamsOnly && info.PageFound &&
      !Progress.IsAborting() && !Bitmap->IsEmpty() && info.Vars.Orientation > 1 &&
      info.Vars.Orientation <= 8) {
    IEApplyEXIFOrientation(Bitmap, info.Vars.Orientation);
    Params->Width = Bitmap->GetWidth();
    Params->Height = Bitmap->GetHeight();
    Params->SetTiffOrientation(1);
  }
  if (Params && Params->InputIccProfile && Params->InputIccProfile->HasTransform())
    Params->InputIccProfile->FreeTransform();
}

int32_t TiffPageCount(TStream* Stream) {
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  int32_t count = 0;
  std::unique_ptr<TIEMask> mask;
  TTiffReadOptions options;
  options.ParamsOnly = true;
  options.IgnoreAlpha = true;
  TiffReadStream(nullptr, Stream, count, nullptr, progress, mask, options);
  return count;
}

namespace {

// Header and first directory of Stream at position 0; the position is
// restored.
bool FirstDirectory(TStream* Stream, TiffDirectory& D, bool& Little, int64_t& First) {
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  bool ok = Stream->GetSize() > 8 && ReadHeader(Stream, 0, Little, First);
  if (ok) {
    D.Bind(Stream, Little, 0);
    // Only the first directory: probing a long document must not walk its
    // whole chain.
    ok = TiffLoadIfdAt(First, D);
  }
  Stream->Seek(pos, soBeginning);
  return ok;
}

}  // namespace

bool TiffIsStream(TStream* Stream) {
  TiffDirectory d;
  bool little = true;
  int64_t first = 0;
  if (!FirstDirectory(Stream, d, little, first)) return false;
  if (first >= d.StreamSize) return false;
  if (!little) {
    // Byte 8 of 0xBA marks another format that shares the big-endian header.
    uint8_t b = 0;
    const int64_t pos = Stream->GetPosition();
    const bool read = d.ReadAt(8, &b, 1);
    Stream->Seek(pos, soBeginning);
    if (read && b == 0xBA) return false;
  }
  return d.HasTag(TiffTag::ImageWidth) && d.HasTag(TiffTag::ImageLength);
}

bool TiffIsRawStream(TStream* Stream) {
  TiffDirectory d;
  bool little = true;
  int64_t first = 0;
  if (!FirstDirectory(Stream, d, little, first)) return false;
  const int64_t pos = Stream->GetPosition();
  bool result = false;
  const int32_t dng = d.FindTag(TiffTag::DngVersion);
  if (dng >= 0 && d.Entries[size_t(dng)].Type == 1 && d.Entries[size_t(dng)].Count == 4) result = true;
  const int32_t ph = d.FindTag(TiffTag::Photometric);
  if (!result && ph >= 0 && d.Entries[size_t(ph)].Count == 1) {
    const int64_t v = d.GetInteger(TiffTag::Photometric, TiffPhotometric::MinIsWhite);
    result = v == TiffPhotometric::Cfa || v == TiffPhotometric::LinearRaw;
  }
  if (!result && d.HasTag(TiffTag::SubIfds) && d.HasTag(TiffTag::TiffEpStandardId))
    result = d.GetInteger(TiffTag::ImageWidth, 0) < 200 && d.GetInteger(TiffTag::ImageLength, 0) < 200;
  Stream->Seek(pos, soBeginning);
  return result;
}

bool HdpIsStream(TStream* Stream) {
  TiffDirectory d;
  bool little = true;
  int64_t first = 0;
  if (!FirstDirectory(Stream, d, little, first) || !little) return false;
  for (uint16_t tag : {48256, 48257, 48129, 48320, 48321})
    if (!d.HasTag(tag)) return false;
  return true;
}
