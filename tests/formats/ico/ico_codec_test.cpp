// Icons and cursors: bodies of every bit count, PNG entries and
// multi-size files from ImageMagick read as Pillow and ImageMagick decode
// them; icons written here read right in Pillow with their transparency;
// directory faults and damaged bodies fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/ico/ico_reader.h"
#include "formats/ico/ico_writer.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

struct IcoOut {
  std::unique_ptr<ReadOut> R;
  std::unique_ptr<TIEMask> Mask;
};

IcoOut ReadIco(const Bytes& File, int32_t Index = 0, bool Cursor = false, bool Native = false) {
  IcoOut o;
  o.R = ReadWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    if (Cursor) CurReadStream(S, B, P, R, false, o.Mask, false);
    else IcoReadStream(S, B, P, R, false, o.Mask, false);
  }, File, [&](TIOParamsVals& P) {
    P.IcoImageIndex = Index;
    P.CurImageIndex = Index;
    P.NativePixelFormat = Native;
  });
  return o;
}

void Put16(Bytes& B, uint32_t V) { B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)}); }
void Put32(Bytes& B, uint32_t V) {
  Put16(B, V);
  Put16(B, V >> 16);
}

// A one-entry icon (or cursor) with a bitmap body of Bits bits: indices or
// colours from a pattern, a transparent top-left corner in the AND rows.
Bytes MakeIcon(int32_t Bits, int32_t W, int32_t H, bool Cursor = false, bool WithAnd = true) {
  Bytes body;
  Put32(body, 40);
  Put32(body, uint32_t(W));
  Put32(body, uint32_t(2 * H));
  Put16(body, 1);
  Put16(body, uint32_t(Bits));
  for (int i = 0; i < 6; ++i) Put32(body, 0);
  if (Bits <= 8)
    for (int32_t i = 0; i < (1 << Bits); ++i) body.insert(body.end(), {uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 90), 0});
  const int32_t xorRow = ((W * Bits + 31) / 32) * 4, andRow = ((W + 31) / 32) * 4;
  for (int32_t y = H - 1; y >= 0; --y) {
    Bytes row(size_t(xorRow), 0);
    for (int32_t x = 0; x < W; ++x) {
      const uint32_t v = uint32_t(x * 7 + y * 3);
      switch (Bits) {
        case 1: case 2: case 4: {
          const int32_t per = 8 / Bits, shift = 8 - Bits * (x % per + 1);
          row[size_t(x / per)] |= uint8_t((v % (1u << Bits)) << shift);
          break;
        }
        case 8: row[size_t(x)] = uint8_t(v); break;
        case 16: row[size_t(2 * x)] = uint8_t(v * 5), row[size_t(2 * x + 1)] = uint8_t((v / 3) & 0x7F); break;
        default:
          for (int32_t c = 0; c < Bits / 8; ++c) row[size_t(x * (Bits / 8) + c)] = uint8_t(v * (c + 1) + (c == 3 ? 100 : 0));
      }
    }
    body.insert(body.end(), row.begin(), row.end());
  }
  if (WithAnd)
    for (int32_t y = H - 1; y >= 0; --y) {
      Bytes row(size_t(andRow), 0);
      for (int32_t x = 0; x < W; ++x)
        if (x < 4 && y < 3) row[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
      body.insert(body.end(), row.begin(), row.end());
    }
  Bytes f;
  Put16(f, 0);
  Put16(f, Cursor ? 2 : 1);
  Put16(f, 1);
  f.insert(f.end(), {uint8_t(W & 255), uint8_t(H & 255), uint8_t(Bits < 8 ? 1 << Bits : 0), 0});
  Put16(f, Cursor ? 3 : 1);
  Put16(f, Cursor ? 5 : uint32_t(Bits));
  Put32(f, uint32_t(body.size()));
  Put32(f, 22);
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

// RGB of the opaque pixels only (transparent ones are zeroed in both).
Bytes OpaqueRgb(const Bytes& Rgb, const Bytes& Alpha) {
  Bytes out = Rgb;
  for (size_t i = 0; i < Alpha.size() && 3 * i + 2 < out.size(); ++i)
    if (Alpha[i] == 0) out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = 0;
  return out;
}

TEST(IcoCodec, BodiesOfEveryBitCountReadAsPillowDecodes) {
  TempDir dir;
  for (int32_t bits : {1, 2, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const Bytes file = MakeIcon(bits, 21, 13);
    auto o = ReadIco(file);
    ASSERT_FALSE(o.R->Aborting);
    ASSERT_EQ(o.R->Bitmap->GetWidth(), 21);
    const Bytes ours = Rgb(o.R->Bitmap.get());
    const Bytes alpha = o.Mask ? MaskBytes(o.Mask.get()) : Bytes(21 * 13, 255);
    const Bytes peerAlpha = PeerAlpha(dir, file, "ico");
    if (bits == 2) {
      // Neither Pillow nor ImageMagick reads 2-bit bodies: the pixels are
      // checked against the table entries the file was built with.
      Bytes want;
      for (int32_t y = 0; y < 13; ++y)
        for (int32_t x = 0; x < 21; ++x) {
          const int32_t i = (x * 7 + y * 3) % 4;
          want.insert(want.end(), {uint8_t(i * 90), uint8_t(255 - i * 11), uint8_t(i * 37)});
        }
      EXPECT_EQ(OpaqueRgb(ours, alpha), OpaqueRgb(want, alpha));
      EXPECT_EQ(alpha[0], 0);
      continue;
    }
    EXPECT_EQ(alpha, peerAlpha);
    if (bits == 1) {
      // 1-bit bodies are taken as black and white, whatever their table.
      continue;
    }
    EXPECT_LE(MaxDiff(OpaqueRgb(ours, alpha), OpaqueRgb(PeerRgb(dir, "pil", file, "ico"), alpha)), bits == 16 ? 1 : 0);
  }
  // Transparent pixels of palette bodies take the fill colour (white); with
  // NativePixelFormat the indices stay and only the mask tells.
  auto o = ReadIco(MakeIcon(4, 16, 16));
  EXPECT_TRUE(o.R->Bitmap->GetPixelRGB(0, 0) == (TRGB{255, 255, 255}));
  ASSERT_TRUE(o.Mask != nullptr);
  EXPECT_EQ(o.Mask->GetPixel(0, 0), 0);
  EXPECT_EQ(o.Mask->GetPixel(5, 5), 255);
  auto n = ReadIco(MakeIcon(4, 16, 16), 0, false, true);
  ASSERT_EQ(n.R->Bitmap->GetPixelFormat(), ie8p);
  EXPECT_EQ(n.R->Bitmap->GetPixel8(1, 0), 7);
  // A 32-bit body with all alpha bytes 0 takes its transparency from the AND
  // rows; a fully opaque icon has no mask.
  auto opaque = ReadIco(MakeIcon(24, 8, 8, false, false));
  EXPECT_FALSE(opaque.R->Aborting);
  EXPECT_TRUE(opaque.Mask == nullptr);
}

TEST(IcoCodec, MultiSizeFilesFromImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  auto pic = ColourPicture(64, 64);
  const std::string ppm = WritePpm(dir, "p.ppm", pic.get());
  ASSERT_EQ(RunCommand("convert '" + ppm + "' -define icon:auto-resize=256,48,16 '" + dir.file("m.ico") + "'"), 0);
  const Bytes file = ReadFileBytes(dir.file("m.ico"));
  int32_t widths[3] = {};
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    auto o = ReadIco(file, i);
    ASSERT_FALSE(o.R->Aborting);
    widths[i] = o.R->Bitmap->GetWidth();
    WriteFileBytes(dir.file("one.ico"), file);
    ASSERT_EQ(RunCommand("convert '" + dir.file("one.ico") + "[" + std::to_string(i) + "]' -alpha off -depth 8 '" +
                         dir.file("one.ppm") + "'"), 0);
    const testsupport::PnmImage peer = testsupport::ParsePnm(ReadFileBytes(dir.file("one.ppm")));
    EXPECT_EQ(peer.Width, widths[i]);
    EXPECT_EQ(Rgb(o.R->Bitmap.get()), peer.Data);
  }
  // The 256-pixel entry (width byte 0) is the one its index names.
  EXPECT_EQ(widths[0], 256);
  EXPECT_EQ(widths[1], 48);
  EXPECT_EQ(widths[2], 16);
  auto p = ReadIco(file, 2);
  EXPECT_EQ(p.R->Params->IcoWriteSizes[0].cx, 256);
  EXPECT_EQ(p.R->Params->IcoWriteSizes[2].cx, 16);
}

TEST(IcoCodec, CursorsKeepHotSpotAndMask) {
  const Bytes file = MakeIcon(1, 32, 32, true);
  auto o = ReadIco(file, 0, true);
  ASSERT_FALSE(o.R->Aborting);
  EXPECT_EQ(o.R->Params->CurHotSpotX, 3);
  EXPECT_EQ(o.R->Params->CurHotSpotY, 5);
  ASSERT_TRUE(o.Mask != nullptr);
  EXPECT_EQ(o.Mask->GetPixel(0, 0), 0);
  // A 256-wide cursor (width byte 0).
  auto w = ReadIco(MakeIcon(8, 256, 4, true), 0, true);
  ASSERT_FALSE(w.R->Aborting);
  EXPECT_EQ(w.R->Bitmap->GetWidth(), 256);
  TempDir dir;
  EXPECT_EQ(OpaqueRgb(Rgb(w.R->Bitmap.get()), MaskBytes(w.Mask.get())),
            OpaqueRgb(PeerRgb(dir, "pil", MakeIcon(8, 256, 4, true), "cur"), MaskBytes(w.Mask.get())));
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  s.SetPosition(0);
  EXPECT_TRUE(IETryCur(&s));
  EXPECT_FALSE(IETryIco(&s));
  EXPECT_EQ(s.GetPosition(), 0);
}

TEST(IcoCodec, WrittenIconsReadRightInPillow) {
  TempDir dir;
  auto pic = ColourPicture(32, 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) {
      uint8_t* q = pic->GetScanline(y) + 3 * x;
      q[0] = uint8_t(q[0] & 0xC0), q[1] = uint8_t(q[1] & 0x80), q[2] = uint8_t(q[2] & 0x80);  // 16 colours
      pic->SetAlpha(x, y, (x < 5 && y < 6) ? 0 : 255);
    }
  TIOParamsVals p;
  const std::vector<TSize> sizes = {{32, 32}, {32, 32}, {32, 32}, {32, 32}, {32, 32}};
  const std::vector<int32_t> bits = {24, 32, 8, 4, 1};
  const Bytes file = WriteWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    IcoWriteStream(S, B, P, R, sizes, bits);
  }, pic.get(), p);
  WriteFileBytes(dir.file("ours.ico"), file);
  // Directory: 256-colour entries say 0 colours, 16-colour ones 16; every
  // image's size counts its padded AND rows.
  for (size_t i = 0; i < sizes.size(); ++i) {
    const uint8_t* e = file.data() + 6 + 16 * i;
    EXPECT_EQ(e[2], bits[i] == 4 ? 16 : bits[i] == 1 ? 2 : 0) << i;
    EXPECT_EQ(e[6], bits[i]) << i;
    const uint32_t offset = uint32_t(e[12] | e[13] << 8 | e[14] << 16);
    const uint32_t imageSize = uint32_t(file[offset + 20] | file[offset + 21] << 8 | file[offset + 22] << 16);
    const uint32_t xorRow = ((32 * uint32_t(bits[i]) + 31) / 32) * 4;
    EXPECT_EQ(imageSize, (xorRow + 4) * 32) << i;
    // The top-left pixel is transparent: its colour bytes are black.
    if (bits[i] == 24) {
      const uint32_t rowTop = offset + 40 + 31 * xorRow;
      EXPECT_EQ(file[rowTop] | file[rowTop + 1] | file[rowTop + 2], 0);
    }
  }
  Bytes wantAlpha = Alpha(pic.get());
  for (size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE(bits[i]);
    std::string out;
    ASSERT_TRUE(Python(dir, "from PIL import IcoImagePlugin\nim = Image.open('ours.ico')\ne = im.ico.entry[" +
                                std::to_string(i) + "]\nimg = im.ico.frame(" + std::to_string(i) +
                                ").convert('RGBA')\nimg.save('f.png')\nprint(img.size)", &out));
    auto back = ReadIco(file, int32_t(i));
    ASSERT_FALSE(back.R->Aborting);
    const Bytes peerA = PeerAlpha(dir, ReadFileBytes(dir.file("f.png")), "png");
    EXPECT_EQ(peerA, wantAlpha);
    const Bytes peerRgb = PeerRgb(dir, "pil", ReadFileBytes(dir.file("f.png")), "png");
    const Bytes backAlpha = back.Mask ? MaskBytes(back.Mask.get()) : Bytes(32 * 32, 255);
    EXPECT_EQ(backAlpha, wantAlpha);
    if (bits[i] >= 4) {
      EXPECT_EQ(OpaqueRgb(peerRgb, wantAlpha), OpaqueRgb(Rgb(pic.get()), wantAlpha));
    }
  }
  // The default parameters give one 64 x 64 8-bit image.
  TIOParamsVals d;
  const Bytes def = WriteWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    IcoWriteStream(S, B, P, R, {P.IcoWriteSizes[0]}, {P.IcoWriteBitDepths[0]});
  }, pic.get(), d);
  auto back = ReadIco(def);
  EXPECT_EQ(back.R->Bitmap->GetWidth(), 64);
  EXPECT_EQ(back.R->Params->BitsPerSample, 8);
}

TEST(IcoCodec, DamagedFilesFailCleanly) {
  const Bytes good = MakeIcon(8, 16, 16);
  std::vector<std::pair<std::string, Bytes>> cases;
  cases.push_back({"header only", Bytes(good.begin(), good.begin() + 6)});
  cases.push_back({"colour rows cut", Bytes(good.begin(), good.begin() + 22 + 40 + 1024 + 100)});
  Bytes offset = good;
  offset[18] = 0xFF, offset[19] = 0xFF, offset[20] = 0xFF;
  cases.push_back({"offset beyond the stream", offset});
  Bytes wide = good;
  wide[22 + 4] = 0xFF, wide[22 + 5] = 0xFF, wide[22 + 6] = 0xFF, wide[22 + 7] = 0x7F;
  wide[22 + 8] = 0xFF, wide[22 + 9] = 0xFF, wide[22 + 10] = 0xFF, wide[22 + 11] = 0x7F;
  wide[6] = 0, wide[7] = 0;
  cases.push_back({"huge header size", wide});
  Bytes odd = good;
  odd[22 + 14] = 3;
  cases.push_back({"3-bit body", odd});
  for (auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    auto o = ReadIco(bytes);
    EXPECT_TRUE(o.R->Aborting);
    EXPECT_LE(int64_t(o.R->Bitmap->GetWidth()) * o.R->Bitmap->GetHeight(), 256);
  }
  // An index outside the directory is a failure, not an empty success.
  auto o = ReadIco(good, 1);
  EXPECT_TRUE(o.R->Aborting);
  EXPECT_TRUE(ReadIco(good, -1).R->Aborting);
  // Missing AND rows: the image reads opaque.
  auto noAnd = ReadIco(MakeIcon(8, 16, 16, false, false));
  EXPECT_FALSE(noAnd.R->Aborting);
  EXPECT_TRUE(noAnd.Mask == nullptr);
}

}  // namespace

namespace {

// Bare resource images: an icon body without directory, a cursor body after
// its hot spot.
TEST(IcoCodec, ResourceImages) {
  const Bytes file = MakeIcon(8, 12, 10);
  const Bytes body(file.begin() + 22, file.end());
  IcoOut o;
  o.R = ReadWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    IcoReadStream(S, B, P, R, false, o.Mask, false);
  }, body, [](TIOParamsVals& P) { P.FromResource = true; });
  ASSERT_FALSE(o.R->Aborting);
  EXPECT_EQ(o.R->Bitmap->GetWidth(), 12);
  EXPECT_EQ(o.R->Bitmap->GetHeight(), 10);
  EXPECT_EQ(o.R->Params->IcoWriteSizes[0].cx, 12);
  const Bytes viaDirectory = Rgb(ReadIco(file).R->Bitmap.get());
  EXPECT_EQ(Rgb(o.R->Bitmap.get()), viaDirectory);

  Bytes cursor = {7, 0, 9, 0};
  cursor.insert(cursor.end(), body.begin(), body.end());
  IcoOut c;
  c.R = ReadWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    CurReadStream(S, B, P, R, false, c.Mask, false);
  }, cursor, [](TIOParamsVals& P) { P.FromResource = true; });
  ASSERT_FALSE(c.R->Aborting);
  EXPECT_EQ(c.R->Params->CurHotSpotX, 7);
  EXPECT_EQ(c.R->Params->CurHotSpotY, 9);
  EXPECT_EQ(Rgb(c.R->Bitmap.get()), viaDirectory);
}

}  // namespace

namespace {

// A bitmap file handed to the icon reader (resources often hold one where an
// icon is expected) reads as the bitmap Pillow decodes.
TEST(IcoCodec, BitmapFileReadsAsBitmap) {
  TempDir d;
  auto pic = ColourPicture(29, 17);
  const std::string ppm = WritePpm(d, "in.ppm", pic.get());
  ASSERT_TRUE(Python(d, "Image.open('in.ppm').save('out.bmp')"));
  const Bytes bmp = ReadFileBytes(d.file("out.bmp"));
  auto o = ReadIco(bmp);
  ASSERT_FALSE(o.R->Aborting);
  EXPECT_EQ(o.R->Bitmap->GetWidth(), 29);
  EXPECT_EQ(o.R->Bitmap->GetHeight(), 17);
  EXPECT_EQ(Rgb(o.R->Bitmap.get()), PeerRgb(d, "pil", bmp, "bmp"));
  // A bitmap file cut short fails like any damaged bitmap.
  EXPECT_TRUE(ReadIco(Bytes(bmp.begin(), bmp.begin() + 40)).R->Aborting);
}

}  // namespace
