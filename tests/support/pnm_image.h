#pragma once
// Binary netpbm images (P4 bitmaps, P5 gray maps, P6 pixel maps, 8-bit) for
// exchanging pixels with the peer tools in codec tests.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

struct PnmImage {
  char Kind = '6';  // '4', '5' or '6'
  int32_t Width = 0;
  int32_t Height = 0;
  // P4: packed rows, most significant bit first, 1 = black (netpbm's rule);
  // P5: one byte per pixel; P6: red, green, blue per pixel.
  std::vector<uint8_t> Data;
  int32_t RowBytes() const {
    return Kind == '4' ? (Width + 7) / 8 : (Kind == '5' ? Width : Width * 3);
  }
};

// Parses a binary netpbm file; an image of width 0 when it is not one.
inline PnmImage ParsePnm(const std::vector<uint8_t>& F) {
  PnmImage img;
  size_t p = 0;
  auto skipSpace = [&] {
    for (;;) {
      while (p < F.size() && (F[p] == ' ' || F[p] == '\n' || F[p] == '\r' || F[p] == '\t')) ++p;
      if (p < F.size() && F[p] == '#') {
        while (p < F.size() && F[p] != '\n') ++p;
      } else {
        return;
      }
    }
  };
  auto number = [&]() -> int64_t {
    skipSpace();
    int64_t v = 0;
    bool any = false;
    while (p < F.size() && F[p] >= '0' && F[p] <= '9') {
      v = v * 10 + (F[p++] - '0');
      any = true;
      if (v > 1000000) return -1;
    }
    return any ? v : -1;
  };
  if (F.size() < 3 || F[0] != 'P' || (F[1] != '4' && F[1] != '5' && F[1] != '6')) return img;
  img.Kind = char(F[1]);
  p = 2;
  const int64_t w = number(), h = number();
  const int64_t maxval = img.Kind == '4' ? 1 : number();
  if (w <= 0 || h <= 0 || maxval != (img.Kind == '4' ? 1 : 255)) return img;
  ++p;  // the single white-space character before the data
  img.Width = int32_t(w);
  img.Height = int32_t(h);
  const size_t need = size_t(img.RowBytes()) * size_t(h);
  if (F.size() < p + need) {
    img.Width = 0;
    return img;
  }
  img.Data.assign(F.begin() + int64_t(p), F.begin() + int64_t(p + need));
  return img;
}

inline std::vector<uint8_t> FormatPnm(const PnmImage& Img) {
  std::string head = "P" + std::string(1, Img.Kind) + "\n" + std::to_string(Img.Width) + " " +
                     std::to_string(Img.Height) + "\n" + (Img.Kind == '4' ? "" : "255\n");
  std::vector<uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), Img.Data.begin(), Img.Data.end());
  return out;
}

}  // namespace testsupport
