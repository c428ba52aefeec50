#pragma once
// A small Bayer DNG built byte by byte: what the camera raw decoder needs to
// identify and decode a file, nothing more.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A little-endian TIFF directory with typed values, enough for a DNG.
struct TDng {
  struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count;
    std::vector<uint8_t> Data;
  };
  std::vector<TEntry> Entries;
  void add(uint16_t Tag, uint16_t Type, uint32_t Count, std::vector<uint8_t> Data) {
    Entries.push_back({Tag, Type, Count, std::move(Data)});
  }
  static std::vector<uint8_t> le16(std::initializer_list<uint32_t> V) {
    std::vector<uint8_t> b;
    for (uint32_t v : V) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    return b;
  }
  static std::vector<uint8_t> le32(std::initializer_list<int64_t> V) {
    std::vector<uint8_t> b;
    for (int64_t v : V) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    return b;
  }
  void shorts(uint16_t Tag, std::initializer_list<uint32_t> V) { add(Tag, 3, uint32_t(V.size()), le16(V)); }
  void longs(uint16_t Tag, std::initializer_list<int64_t> V) { add(Tag, 4, uint32_t(V.size()), le32(V)); }
  void ascii(uint16_t Tag, const std::string& S) {
    std::vector<uint8_t> b(S.begin(), S.end());
    b.push_back(0);
    add(Tag, 2, uint32_t(b.size()), b);
  }
  std::vector<uint8_t> build(const std::vector<uint8_t>& Strip, size_t StripTagIndex) {
    std::sort(Entries.begin(), Entries.end(), [](const TEntry& a, const TEntry& b) { return a.Tag < b.Tag; });
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const size_t dirSize = 2 + 12 * Entries.size() + 4;
    size_t extra = 8 + dirSize;
    std::vector<uint8_t> tail;
    std::vector<uint8_t> dir = le16({uint32_t(Entries.size())});
    for (auto& e : Entries) {
      std::vector<uint8_t> v = e.Data;
      if (e.Tag == 273) v = le32({int64_t(0)});  // patched below
      auto ent = le16({e.Tag, e.Type});
      auto cnt = le32({e.Count});
      ent.insert(ent.end(), cnt.begin(), cnt.end());
      if (v.size() <= 4) {
        v.resize(4, 0);
        ent.insert(ent.end(), v.begin(), v.end());
      } else {
        auto off = le32({int64_t(extra + tail.size())});
        ent.insert(ent.end(), off.begin(), off.end());
        tail.insert(tail.end(), v.begin(), v.end());
        if (tail.size() & 1) tail.push_back(0);
      }
      dir.insert(dir.end(), ent.begin(), ent.end());
    }
    auto next = le32({int64_t(0)});
    dir.insert(dir.end(), next.begin(), next.end());
    f.insert(f.end(), dir.begin(), dir.end());
    f.insert(f.end(), tail.begin(), tail.end());
    const size_t stripAt = f.size();
    f.insert(f.end(), Strip.begin(), Strip.end());
    // Patch the strip offset in its entry.
    for (size_t i = 0; i < Entries.size(); ++i)
      if (Entries[i].Tag == 273) {
        const size_t at = 8 + 2 + 12 * i + 8;
        for (int k = 0; k < 4; ++k) f[at + k] = uint8_t(stripAt >> (8 * k));
      }
    (void)StripTagIndex;
    return f;
  }
};

// A Bayer DNG of W x H 16-bit samples: the left half bright, the right dark.
inline std::vector<uint8_t> MakeDng(int32_t W, int32_t H) {
  std::vector<uint8_t> strip;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const uint16_t v = x < W / 2 ? 40000 : 4000;
      strip.push_back(uint8_t(v));
      strip.push_back(uint8_t(v >> 8));
    }
  TDng d;
  d.longs(254, {0});
  d.longs(256, {W});
  d.longs(257, {H});
  d.shorts(258, {16});
  d.shorts(259, {1});
  d.shorts(262, {32803});
  d.ascii(271, "Folivra");
  d.ascii(272, "Test Camera");
  d.longs(273, {0});
  d.shorts(274, {1});
  d.shorts(277, {1});
  d.longs(278, {H});
  d.longs(279, {int64_t(strip.size())});
  d.shorts(284, {1});
  d.shorts(33421, {2, 2});
  d.add(33422, 1, 4, {0, 1, 1, 2});
  d.add(50706, 1, 4, {1, 4, 0, 0});
  d.ascii(50708, "Folivra Test Camera");
  d.longs(50717, {65535});
  // Colour matrix 1: identity as signed rationals.
  std::vector<uint8_t> m;
  for (int i = 0; i < 9; ++i) {
    auto r = TDng::le32({i % 4 == 0 ? 1 : 0, 1});
    m.insert(m.end(), r.begin(), r.end());
  }
  d.add(50721, 10, 9, m);
  d.shorts(50778, {21});
  std::vector<uint8_t> neutral;
  for (int i = 0; i < 3; ++i) {
    auto r = TDng::le32({1, 1});
    neutral.insert(neutral.end(), r.begin(), r.end());
  }
  d.add(50728, 5, 3, neutral);
  return d.build(strip, 0);
}

}  // namespace testsupport
