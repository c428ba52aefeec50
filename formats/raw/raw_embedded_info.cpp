#include "formats/raw/raw_embedded_info.h"

#include <atomic>
#include <algorithm>
#include <cstring>
#include <string>

#include "formats/io_params.h"
#include "formats/jpeg/jpeg_codec.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/tag_directory.h"

namespace {

constexpr int32_t kMaxDepth = 8;

class THeapWalk {
 public:
  THeapWalk(const uint8_t* D, int64_t N, bool Big, TIOParamsVals& P) : FData(D), FSize(N), FBig(Big), Params(P) {}

  void Walk(int64_t O, int64_t L, int32_t Depth) {
    if (Depth > kMaxDepth || O < 0 || L < 4 || O + L > FSize) return;
    const int64_t table = O + U32(O + L - 4);
    if (table < O || table + 2 > O + L) return;
    const int64_t room = (O + L - table - 2) / 10;
    const int64_t count = std::min<int64_t>({U16(table), 256, room});
    for (int64_t i = 0; i < count; ++i) {
      const int64_t r = table + 2 + 10 * i;
      const uint16_t type = U16(r);
      int64_t pos, len;
      if ((type & 0xC000) == 0x4000) {
        pos = r + 2;  // the data sit in the record itself
        len = 8;
      } else {
        len = U32(r + 2);
        pos = O + U32(r + 6);
      }
      if (pos < O || len < 0 || pos + len > O + L) continue;
      Record(type & 0x3FFF, pos, len, Depth);
    }
  }

  int64_t BestPos = -1, BestLen = 0;
  // The maker tags in the order met.
  std::vector<TRawMakerTag> Tags;

 private:
  uint16_t U16(int64_t P) const {
    const uint8_t* d = FData + P;
    return FBig ? uint16_t(d[0] << 8 | d[1]) : uint16_t(d[0] | d[1] << 8);
  }
  uint32_t U32(int64_t P) const {
    const uint8_t* d = FData + P;
    return FBig ? uint32_t(d[0]) << 24 | uint32_t(d[1]) << 16 | uint32_t(d[2]) << 8 | d[3]
                : uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
  }
  // Text up to a zero byte, at most Len bytes.
  std::string Text(int64_t& P, int64_t End) const {
    std::string s;
    while (P < End && FData[P] != 0) s.push_back(char(FData[P++]));
    if (P < End) ++P;
    return s;
  }

  void Record(uint16_t Type, int64_t Pos, int64_t Len, int32_t Depth) {
    const int64_t end = Pos + Len;
    switch (Type) {
      case 0x0805: Params.ExifImageDescription = Text(Pos, end); break;
      case 0x080A:
        Params.ExifMake = Text(Pos, end);
        Params.ExifModel = Text(Pos, end);
        break;
      case 0x080B: Params.ExifSoftware = Text(Pos, end); break;
      case 0x102A:
      case 0x102D: {
        // The record's length counts bytes: half as many 16-bit values.
        TRawMakerTag t;
        t.Id = Type == 0x102A ? 4 : 1;
        for (int64_t i = 0; i + 1 < Len; i += 2) t.Values.push_back(U16(Pos + i));
        Tags.push_back(std::move(t));
        break;
      }
      case 0x1810:
        if (Len >= 8) {
          Params.SetExifPixelXDimension(int32_t(U32(Pos)));
          Params.SetExifPixelYDimension(int32_t(U32(Pos + 4)));
        }
        break;
      case 0x2007:
      case 0x2008: Consider(Pos, Len); break;
      case 0x2800:
      case 0x2807:
      case 0x3000:
      case 0x3002:
      case 0x3003:
      case 0x3004:
      case 0x300A:
      case 0x300B: Walk(Pos, Len, Depth + 1); break;
      default: break;
    }
  }

  // Keeps the smallest preview seen.
  void Consider(int64_t Pos, int64_t Len) {
    if (Len < 4) return;
    TIEMemStream ms(const_cast<uint8_t*>(FData + Pos), Len);
    TIOParamsVals p;
    TIEBitmap none;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    JpegReadStream(&ms, &none, p, pr, {.ParamsOnly = true});
    if (abort || p.Width <= 0 || p.Height <= 0) return;
    if (p.Width < FBestW && p.Height < FBestH) {
      FBestW = p.Width;
      FBestH = p.Height;
      BestPos = Pos;
      BestLen = Len;
    }
  }

  const uint8_t* FData;
  int64_t FSize;
  bool FBig;
  TIOParamsVals& Params;
  int32_t FBestW = 0x7FFFFFFE, FBestH = 0x7FFFFFFE;
};

// Writes the maker tags into the parameters' maker-note directory as a
// little-endian directory of 16-bit values: the count, one 12-byte entry per
// tag in the order met, then the values of each tag one after another. Tags
// whose values would not fit a 32-bit offset are left out.
void StoreTags(const std::vector<TRawMakerTag>& Tags, TIOParamsVals& Params) {
  if (!Params.ExifMakerNote) Params.ExifMakerNote = std::make_unique<TIETagsHandler>();
  TIETagsHandler& handler = *Params.ExifMakerNote;
  handler.Clear();
  const size_t count = std::min<size_t>(Tags.size(), 0xFFFF);
  std::vector<uint8_t> out;
  auto put16 = [&out](uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put16(uint32_t(count));
  uint64_t dataPos = 2 + 12 * uint64_t(count);
  for (size_t i = 0; i < count; ++i) {
    const uint64_t bytes = 2 * uint64_t(Tags[i].Values.size());
    put16(Tags[i].Id);
    put16(3);
    put32(uint32_t(Tags[i].Values.size()));
    // Values of up to 4 bytes live in the entry itself.
    if (bytes <= 4) {
      for (size_t k = 0; k < 2; ++k) put16(k < Tags[i].Values.size() ? Tags[i].Values[k] : 0);
    } else {
      put32(uint32_t(dataPos));
      dataPos += bytes;
    }
  }
  for (size_t i = 0; i < count; ++i)
    if (Tags[i].Values.size() > 2)
      for (uint16_t v : Tags[i].Values) put16(v);
  handler.GetData()->WriteBuffer(out.data(), int64_t(out.size()));
  handler.LoadEntryTable();
}

}  // namespace

bool RawReadEmbeddedInfo(const uint8_t* Data, int64_t Size, TIOParamsVals& Params, std::vector<TRawMakerTag>* Tags) {
  if (!Data || Size < 14) return false;
  const bool ii = Data[0] == 'I' && Data[1] == 'I';
  const bool mm = Data[0] == 'M' && Data[1] == 'M';
  if ((!ii && !mm) || std::memcmp(Data + 6, "HEAPCCDR", 8) != 0) return false;
  const int64_t headerLen = mm ? int64_t(uint32_t(Data[2]) << 24 | uint32_t(Data[3]) << 16 | uint32_t(Data[4]) << 8 | Data[5])
                               : int64_t(uint32_t(Data[2]) | uint32_t(Data[3]) << 8 | uint32_t(Data[4]) << 16 |
                                         uint32_t(Data[5]) << 24);
  if (headerLen < 14 || headerLen >= Size) return false;
  THeapWalk walk(Data, Size, mm, Params);
  walk.Walk(headerLen, Size - headerLen, 0);
  StoreTags(walk.Tags, Params);
  if (Tags) *Tags = walk.Tags;
  if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TIEBitmap>();
  Params.ExifThumbnail->FreeImage();
  if (walk.BestPos >= 1) {
    TIEMemStream ms(const_cast<uint8_t*>(Data + walk.BestPos), walk.BestLen);
    TIOParamsVals p;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    JpegReadStream(&ms, Params.ExifThumbnail.get(), p, pr, {.InvertCmyk = true});
    if (abort) Params.ExifThumbnail->FreeImage();
  }
  return true;
}
