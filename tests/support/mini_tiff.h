#pragma once
// Minimal TIFF and PBM files for codec tests and benchmarks: a directory walker
// that hands out the raw strips of every page, a little-endian writer that wraps
// strips made elsewhere, and packed PBM (P4) read and write.  Only what the
// codec tests need: chunky samples of one size, strips (no tiles), no metadata.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace minitiff {

struct Page {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint32_t BitsPerSample = 1;
  uint32_t SamplesPerPixel = 1;
  uint32_t Compression = 1;
  uint32_t Photometric = 0;  // 0: 0 = white; 1: 0 = black
  uint32_t FillOrder = 1;
  uint32_t T4Options = 0;
  uint32_t T6Options = 0;
  uint32_t RowsPerStrip = 0;  // 0 = all rows in one strip
  uint32_t Predictor = 1;
  std::vector<std::vector<uint8_t>> Strips;

  uint32_t StripRows() const { return RowsPerStrip == 0 || RowsPerStrip > Height ? Height : RowsPerStrip; }
  size_t RowBytes() const { return (size_t(Width) * BitsPerSample * SamplesPerPixel + 7) / 8; }
};

namespace detail {

struct Reader {
  const std::vector<uint8_t>& F;
  bool Big = false;
  uint32_t U16(size_t at) const {
    if (at + 2 > F.size()) throw std::runtime_error("TIFF: read past the end");
    return Big ? (uint32_t(F[at]) << 8) | F[at + 1] : F[at] | (uint32_t(F[at + 1]) << 8);
  }
  uint32_t U32(size_t at) const {
    if (at + 4 > F.size()) throw std::runtime_error("TIFF: read past the end");
    return Big ? (uint32_t(F[at]) << 24) | (uint32_t(F[at + 1]) << 16) | (uint32_t(F[at + 2]) << 8) |
                     F[at + 3]
               : F[at] | (uint32_t(F[at + 1]) << 8) | (uint32_t(F[at + 2]) << 16) |
                     (uint32_t(F[at + 3]) << 24);
  }
  // The values of one directory entry (SHORT or LONG).
  std::vector<uint32_t> Values(size_t entry) const {
    const uint32_t type = U16(entry + 2);
    const uint32_t count = U32(entry + 4);
    const uint32_t size = type == 3 ? 2 : type == 4 ? 4 : type == 1 ? 1 : 0;
    if (size == 0) return {};
    if (count > (1u << 24)) throw std::runtime_error("TIFF: too many values");
    size_t at = size_t(count) * size <= 4 ? entry + 8 : U32(entry + 8);
    std::vector<uint32_t> v(count);
    for (uint32_t i = 0; i < count; ++i) {
      if (size == 1) {
        if (at >= F.size()) throw std::runtime_error("TIFF: read past the end");
        v[i] = F[at];
      } else {
        v[i] = size == 2 ? U16(at) : U32(at);
      }
      at += size;
    }
    return v;
  }
};

inline void Put16(std::vector<uint8_t>& F, uint32_t V) {
  F.push_back(uint8_t(V));
  F.push_back(uint8_t(V >> 8));
}
inline void Put32(std::vector<uint8_t>& F, uint32_t V) {
  for (int i = 0; i < 4; ++i) F.push_back(uint8_t(V >> (8 * i)));
}
inline void Patch32(std::vector<uint8_t>& F, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) F[At + i] = uint8_t(V >> (8 * i));
}

}  // namespace detail

// Every page of a TIFF file (either byte order), with its raw strips.
inline std::vector<Page> ReadTiff(const std::vector<uint8_t>& File) {
  if (File.size() < 8) throw std::runtime_error("TIFF: too short");
  detail::Reader r{File};
  if (File[0] == 'M' && File[1] == 'M')
    r.Big = true;
  else if (!(File[0] == 'I' && File[1] == 'I'))
    throw std::runtime_error("TIFF: bad byte order");
  if (r.U16(2) != 42) throw std::runtime_error("TIFF: bad magic");
  std::vector<Page> pages;
  uint32_t ifd = r.U32(4);
  while (ifd != 0 && pages.size() < 10000) {
    Page p;
    std::vector<uint32_t> offsets, counts;
    const uint32_t n = r.U16(ifd);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t e = ifd + 2 + size_t(i) * 12;
      const uint32_t tag = r.U16(e);
      std::vector<uint32_t> v = r.Values(e);
      const uint32_t first = v.empty() ? 0 : v[0];
      switch (tag) {
        case 256: p.Width = first; break;
        case 257: p.Height = first; break;
        case 258: p.BitsPerSample = first; break;
        case 259: p.Compression = first; break;
        case 262: p.Photometric = first; break;
        case 266: p.FillOrder = first; break;
        case 273: offsets = v; break;
        case 277: p.SamplesPerPixel = first; break;
        case 278: p.RowsPerStrip = first; break;
        case 279: counts = v; break;
        case 292: p.T4Options = first; break;
        case 293: p.T6Options = first; break;
        case 317: p.Predictor = first; break;
        default: break;
      }
    }
    if (offsets.size() != counts.size()) throw std::runtime_error("TIFF: strip tables differ");
    for (size_t i = 0; i < offsets.size(); ++i) {
      if (size_t(offsets[i]) + counts[i] > File.size()) throw std::runtime_error("TIFF: strip past the end");
      p.Strips.emplace_back(File.begin() + offsets[i], File.begin() + offsets[i] + counts[i]);
    }
    pages.push_back(std::move(p));
    ifd = r.U32(ifd + 2 + size_t(n) * 12);
  }
  return pages;
}

// A little-endian TIFF holding the pages as given (one sample per pixel).
inline std::vector<uint8_t> WriteTiff(const std::vector<Page>& Pages) {
  using detail::Put16;
  using detail::Put32;
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 0, 0, 0, 0};
  size_t link = 4;  // where the offset of the next directory goes
  for (const Page& p : Pages) {
    std::vector<uint32_t> offsets, counts;
    for (const auto& s : p.Strips) {
      offsets.push_back(uint32_t(f.size()));
      counts.push_back(uint32_t(s.size()));
      f.insert(f.end(), s.begin(), s.end());
      if (f.size() & 1) f.push_back(0);
    }
    // Arrays of more than one strip live outside the directory.
    uint32_t offArray = 0, cntArray = 0;
    if (offsets.size() > 1) {
      offArray = uint32_t(f.size());
      for (uint32_t v : offsets) Put32(f, v);
      cntArray = uint32_t(f.size());
      for (uint32_t v : counts) Put32(f, v);
    }
    struct Entry { uint32_t Tag, Type, Count, Value; };
    std::vector<Entry> e = {{256, 4, 1, p.Width}, {257, 4, 1, p.Height}};
    // BitsPerSample: one value per sample (inline for up to two).
    if (p.SamplesPerPixel <= 2) {
      e.push_back({258, 3, p.SamplesPerPixel, p.SamplesPerPixel == 1 ? p.BitsPerSample
                                                                     : p.BitsPerSample | (p.BitsPerSample << 16)});
    } else {
      const uint32_t at = uint32_t(f.size());
      for (uint32_t i = 0; i < p.SamplesPerPixel; ++i) Put16(f, p.BitsPerSample);
      e.push_back({258, 3, p.SamplesPerPixel, at});
    }
    e.push_back({259, 3, 1, p.Compression});
    e.push_back({262, 3, 1, p.Photometric});
    if (p.FillOrder != 1) e.push_back({266, 3, 1, p.FillOrder});
    const uint32_t ns = uint32_t(offsets.size());
    e.push_back({273, 4, ns, ns == 1 ? offsets[0] : offArray});
    e.push_back({277, 3, 1, p.SamplesPerPixel});
    e.push_back({278, 4, 1, p.RowsPerStrip ? p.RowsPerStrip : p.Height});
    e.push_back({279, 4, ns, ns == 1 ? counts[0] : cntArray});
    if (p.Compression == 3) e.push_back({292, 4, 1, p.T4Options});
    if (p.Compression == 4) e.push_back({293, 4, 1, p.T6Options});
    if (p.Predictor != 1) e.push_back({317, 3, 1, p.Predictor});
    const uint32_t ifd = uint32_t(f.size());
    detail::Patch32(f, link, ifd);
    Put16(f, uint32_t(e.size()));
    for (const Entry& x : e) {
      Put16(f, x.Tag);
      Put16(f, x.Type);
      Put32(f, x.Count);
      if (x.Type == 3 && x.Count == 1) {
        Put16(f, x.Value);
        Put16(f, 0);
      } else {
        Put32(f, x.Value);
      }
    }
    link = f.size();
    Put32(f, 0);
  }
  return f;
}

// Packed 1-bit image rows, most significant bit leftmost.
struct Bitmap {
  uint32_t Width = 0;
  uint32_t Height = 0;
  std::vector<std::vector<uint8_t>> Rows;  // (Width + 7) / 8 bytes each
};

// A P4 PBM (1 = black).
inline std::vector<uint8_t> WritePbm(const Bitmap& B) {
  const std::string head = "P4\n" + std::to_string(B.Width) + " " + std::to_string(B.Height) + "\n";
  std::vector<uint8_t> f(head.begin(), head.end());
  for (const auto& r : B.Rows) f.insert(f.end(), r.begin(), r.end());
  return f;
}

inline Bitmap ReadPbm(const std::vector<uint8_t>& F) {
  size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < F.size()) {
      const char c = char(F[at]);
      if (c == '#') {
        while (at < F.size() && F[at] != '\n') ++at;
      } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
        if (!t.empty()) break;
        ++at;
      } else {
        t += c;
        ++at;
      }
    }
    return t;
  };
  if (token() != "P4") throw std::runtime_error("PBM: not P4");
  Bitmap b;
  b.Width = uint32_t(std::stoul(token()));
  b.Height = uint32_t(std::stoul(token()));
  ++at;  // the single white space after the header
  const size_t rb = (b.Width + 7) / 8;
  if (at + rb * b.Height > F.size()) throw std::runtime_error("PBM: short data");
  for (uint32_t y = 0; y < b.Height; ++y) b.Rows.emplace_back(F.begin() + at + y * rb, F.begin() + at + (y + 1) * rb);
  return b;
}

}  // namespace minitiff
