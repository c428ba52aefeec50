#pragma once
// Helpers of the PNG picture tests: a tiny PNG file builder (so damaged
// files can be made byte by byte) and libpng's decode of a file as the
// reference.
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pictures/png_picture.h"
#include "platform/rtl/streams.h"

namespace pngtest {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 24));
  b.push_back(uint8_t(v >> 16));
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}

// One chunk: length, type, data, CRC (spoilt on request).
inline Bytes ChunkBytes(const std::string& Type, const Bytes& Data, bool BadCrc = false) {
  Bytes b;
  Put32(b, uint32_t(Data.size()));
  b.insert(b.end(), Type.begin(), Type.end());
  b.insert(b.end(), Data.begin(), Data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(Type.data()), 4);
  if (!Data.empty()) crc = crc32(crc, Data.data(), uInt(Data.size()));
  Put32(b, uint32_t(crc) ^ (BadCrc ? 1u : 0u));
  return b;
}

inline Bytes HeaderData(uint32_t W, uint32_t H, uint8_t Depth, uint8_t ColorType, uint8_t Interlace = 0,
                        uint8_t Compression = 0) {
  Bytes b;
  Put32(b, W);
  Put32(b, H);
  b.insert(b.end(), {Depth, ColorType, Compression, 0, Interlace});
  return b;
}

inline Bytes Deflate(const Bytes& Raw) {
  uLongf size = compressBound(uLong(Raw.size()));
  Bytes out(size);
  compress2(out.data(), &size, Raw.data(), uLong(Raw.size()), 9);
  out.resize(size);
  return out;
}

inline const Bytes& Signature() {
  static const Bytes s = {137, 80, 78, 71, 13, 10, 26, 10};
  return s;
}

// A PNG of the given chunks: signature, then each (type, data).
inline Bytes PngOf(const std::vector<std::pair<std::string, Bytes>>& Chunks) {
  Bytes b = Signature();
  for (const auto& [type, data] : Chunks) {
    Bytes c = ChunkBytes(type, data);
    b.insert(b.end(), c.begin(), c.end());
  }
  return b;
}

// A plain PNG whose raw rows (filter byte first) are Raw, with Extra chunks
// between the header and the image data.
inline Bytes SimplePng(uint32_t W, uint32_t H, uint8_t Depth, uint8_t ColorType, const Bytes& Raw,
                       const std::vector<std::pair<std::string, Bytes>>& Extra = {}, uint8_t Interlace = 0) {
  std::vector<std::pair<std::string, Bytes>> chunks = {{"IHDR", HeaderData(W, H, Depth, ColorType, Interlace)}};
  chunks.insert(chunks.end(), Extra.begin(), Extra.end());
  chunks.push_back({"IDAT", Deflate(Raw)});
  chunks.push_back({"IEND", {}});
  return PngOf(chunks);
}

inline std::unique_ptr<TPNGObject> Load(const Bytes& File) {
  auto png = std::make_unique<TPNGObject>();
  TCustomMemoryStream s(const_cast<uint8_t*>(File.data()), int64_t(File.size()));
  png->LoadFromStream(&s);
  return png;
}

inline Bytes Save(TPNGObject& Png) {
  TMemoryStream m;
  Png.SaveToStream(&m);
  Bytes out(size_t(m.GetSize()));
  m.SetPosition(0);
  m.ReadBuffer(out.data(), int64_t(out.size()));
  return out;
}

// The chunk types of a file in order.
inline std::vector<std::string> ChunkTypes(const Bytes& File) {
  std::vector<std::string> types;
  size_t p = 8;
  while (p + 8 <= File.size()) {
    const uint32_t len = (uint32_t(File[p]) << 24) | (uint32_t(File[p + 1]) << 16) | (uint32_t(File[p + 2]) << 8) |
                         File[p + 3];
    types.emplace_back(reinterpret_cast<const char*>(&File[p + 4]), 4);
    p += 12 + size_t(len);
  }
  return types;
}

// What libpng reads from a file, without transforms except one byte per
// sample below 8 bits.
struct RefImage {
  bool Ok = false;
  std::string Error;
  uint32_t Width = 0, Height = 0;
  int ColorType = 0, BitDepth = 0, Interlace = 0;
  std::vector<Bytes> Rows;
  std::vector<png_color> Palette;
  Bytes TrnsAlpha;
  bool HasTrns = false;
  png_color_16 TrnsColor{};
  bool HasGamma = false;
  uint32_t Gamma = 0;
  std::vector<std::pair<std::string, std::string>> Texts;  // tEXt and zTXt
};

inline RefImage LibpngDecode(const Bytes& File) {
  RefImage ref;
  struct Reader {
    const Bytes* Data;
    size_t Pos;
  } reader{&File, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rowPointers;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    ref.Ok = false;
    ref.Error = "libpng error";
    return ref;
  }
  png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(p));
    if (r->Pos + n > r->Data->size()) png_error(p, "short");
    std::memcpy(out, r->Data->data() + r->Pos, n);
    r->Pos += n;
  });
  png_read_info(png, info);
  ref.Width = png_get_image_width(png, info);
  ref.Height = png_get_image_height(png, info);
  ref.ColorType = png_get_color_type(png, info);
  ref.BitDepth = png_get_bit_depth(png, info);
  ref.Interlace = png_get_interlace_type(png, info);
  if (ref.BitDepth < 8) png_set_packing(png);
  png_set_interlace_handling(png);
  png_colorp pal = nullptr;
  int npal = 0;
  if (png_get_PLTE(png, info, &pal, &npal)) ref.Palette.assign(pal, pal + npal);
  png_bytep alpha = nullptr;
  int nalpha = 0;
  png_color_16p tcolor = nullptr;
  if (png_get_tRNS(png, info, &alpha, &nalpha, &tcolor)) {
    ref.HasTrns = true;
    if (alpha && ref.ColorType == 3) ref.TrnsAlpha.assign(alpha, alpha + nalpha);
    if (tcolor) ref.TrnsColor = *tcolor;
  }
  png_fixed_point g = 0;
  if (png_get_gAMA_fixed(png, info, &g)) {
    ref.HasGamma = true;
    ref.Gamma = uint32_t(g);
  }
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  ref.Rows.assign(ref.Height, Bytes(rowBytes));
  for (auto& r : ref.Rows) rowPointers.push_back(r.data());
  png_read_image(png, rowPointers.data());
  png_read_end(png, info);
  png_textp text = nullptr;
  int ntext = 0;
  png_get_text(png, info, &text, &ntext);
  for (int i = 0; i < ntext; ++i)
    if (text[i].compression == PNG_TEXT_COMPRESSION_NONE || text[i].compression == PNG_TEXT_COMPRESSION_zTXt)
      ref.Texts.emplace_back(text[i].key, std::string(text[i].text, text[i].text_length));
  png_destroy_read_struct(&png, &info, nullptr);
  ref.Ok = true;
  return ref;
}

}  // namespace pngtest
