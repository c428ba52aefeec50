#pragma once
// Tiny hand-made video files for tests (no encoder needed):
//   MakeAvi     an uncompressed AVI: one 'vids' stream of 24-bit BI_RGB frames
//               stored bottom-up, a 'movi' list of '00db' chunks and an idx1
//               index;
//   MakeY4mGray a YUV4MPEG2 stream in the 'mono' colour space (one 8-bit
//               luma plane per frame).
// Frames are given top row first: TVideoFrames::Pixels[k] holds Width x Height
// pixels as bytes blue, green, red (no row padding).  MakeTestFrames fills
// frame k with the colour red 10k, green 255-10k, blue 40 and a white 3 x 3
// marker square whose left column is x = k (top row y = 1), so order, content
// and orientation of every frame can be checked.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct TVideoFrames {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<std::vector<uint8_t>> Pixels;  // per frame, BGR, top row first
};

inline TVideoFrames MakeTestFrames(int32_t Width, int32_t Height, int32_t Count) {
  TVideoFrames v;
  v.Width = Width;
  v.Height = Height;
  for (int32_t k = 0; k < Count; ++k) {
    std::vector<uint8_t> f(size_t(Width) * Height * 3);
    for (int32_t y = 0; y < Height; ++y)
      for (int32_t x = 0; x < Width; ++x) {
        uint8_t* p = &f[(size_t(y) * Width + x) * 3];
        const bool marker = x >= k && x < k + 3 && y >= 1 && y < 4;
        p[0] = marker ? 255 : 40;
        p[1] = marker ? 255 : uint8_t(255 - 10 * k);
        p[2] = marker ? 255 : uint8_t(10 * k);
      }
    v.Pixels.push_back(std::move(f));
  }
  return v;
}

namespace aviwriter_detail {
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void PutTag(std::vector<uint8_t>& b, const char* t) { b.insert(b.end(), t, t + 4); }
inline void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
// Starts a chunk or list; answers where its size goes.
inline size_t Open(std::vector<uint8_t>& b, const char* id, const char* listType = nullptr) {
  PutTag(b, id);
  const size_t at = b.size();
  Put32(b, 0);
  if (listType) PutTag(b, listType);
  return at;
}
inline void Close(std::vector<uint8_t>& b, size_t at) {
  Set32(b, at, uint32_t(b.size() - at - 4));
  if (b.size() & 1) b.push_back(0);
}
}  // namespace aviwriter_detail

// Rate / Scale frames per second go into the stream header as written (a
// damaged header, e.g. Rate 0, is produced as asked).  An empty Pixels[k]
// becomes a zero-length chunk: a dropped frame, which players show as the
// frame before it.  Without WithIndex the idx1 chunk is left out.
inline std::vector<uint8_t> MakeAvi(const TVideoFrames& v, uint32_t Rate, uint32_t Scale,
                                    bool WithIndex = true) {
  using namespace aviwriter_detail;
  const uint32_t stride = (uint32_t(v.Width) * 3 + 3) & ~3u;
  const uint32_t frameBytes = stride * uint32_t(v.Height);
  const uint32_t n = uint32_t(v.Pixels.size());
  std::vector<uint8_t> b;
  const size_t riff = Open(b, "RIFF", "AVI ");
  const size_t hdrl = Open(b, "LIST", "hdrl");
  const size_t avih = Open(b, "avih");
  Put32(b, Rate ? uint32_t(uint64_t(Scale) * 1000000 / Rate) : 0);  // microseconds per frame
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, WithIndex ? 0x10 : 0);  // has index
  Put32(b, n);
  Put32(b, 0);
  Put32(b, 1);  // streams
  Put32(b, frameBytes);
  Put32(b, uint32_t(v.Width));
  Put32(b, uint32_t(v.Height));
  for (int i = 0; i < 4; ++i) Put32(b, 0);
  Close(b, avih);
  const size_t strl = Open(b, "LIST", "strl");
  const size_t strh = Open(b, "strh");
  PutTag(b, "vids");
  PutTag(b, "DIB ");
  Put32(b, 0);  // flags
  Put16(b, 0);  // priority
  Put16(b, 0);  // language
  Put32(b, 0);  // initial frames
  Put32(b, Scale);
  Put32(b, Rate);
  Put32(b, 0);  // start
  Put32(b, n);  // length
  Put32(b, frameBytes);
  Put32(b, 0xFFFFFFFFu);  // quality
  Put32(b, 0);            // sample size
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, uint16_t(v.Width));
  Put16(b, uint16_t(v.Height));
  Close(b, strh);
  const size_t strf = Open(b, "strf");
  Put32(b, 40);
  Put32(b, uint32_t(v.Width));
  Put32(b, uint32_t(v.Height));  // positive: bottom-up rows
  Put16(b, 1);
  Put16(b, 24);
  Put32(b, 0);  // BI_RGB
  Put32(b, frameBytes);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, 0);
  Put32(b, 0);
  Close(b, strf);
  Close(b, strl);
  Close(b, hdrl);
  const size_t movi = Open(b, "LIST", "movi");
  const size_t moviTag = movi + 4;  // index offsets count from the 'movi' tag
  std::vector<uint32_t> offsets;
  for (const auto& f : v.Pixels) {
    offsets.push_back(uint32_t(b.size() - moviTag));
    const size_t c = Open(b, "00db");
    for (int32_t y = f.empty() ? -1 : v.Height - 1; y >= 0; --y) {
      const uint8_t* row = &f[size_t(y) * v.Width * 3];
      b.insert(b.end(), row, row + size_t(v.Width) * 3);
      b.resize(b.size() + (stride - uint32_t(v.Width) * 3), 0);
    }
    Close(b, c);
  }
  Close(b, movi);
  if (WithIndex) {
    const size_t idx = Open(b, "idx1");
    for (uint32_t k = 0; k < n; ++k) {
      const bool dropped = v.Pixels[k].empty();
      PutTag(b, "00db");
      Put32(b, dropped ? 0 : 0x10);  // key frame
      Put32(b, offsets[k]);
      Put32(b, dropped ? 0 : frameBytes);
    }
    Close(b, idx);
  }
  Close(b, riff);
  return b;
}

// Frames[k] holds Width x Height luma bytes, top row first.
inline std::vector<uint8_t> MakeY4mGray(int32_t Width, int32_t Height, uint32_t FpsNum,
                                        uint32_t FpsDen,
                                        const std::vector<std::vector<uint8_t>>& Frames) {
  const std::string head = "YUV4MPEG2 W" + std::to_string(Width) + " H" + std::to_string(Height) +
                           " F" + std::to_string(FpsNum) + ":" + std::to_string(FpsDen) +
                           " Ip A1:1 Cmono\n";
  std::vector<uint8_t> b(head.begin(), head.end());
  for (const auto& f : Frames) {
    static const char kFrame[] = "FRAME\n";
    b.insert(b.end(), kFrame, kFrame + 6);
    b.insert(b.end(), f.begin(), f.end());
  }
  return b;
}

}  // namespace testsupport
