// The PNG picture class on hand-made files: damaged streams, the corners of
// the decoder, transparency, drawing, resizing, pixel access and the
// encoder's settings.
#include <gtest/gtest.h>

#include <QImage>
#include <random>

#include "pictures/png_decode.h"
#include "pictures/png_draw.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "pictures/png_test_helpers.h"

namespace {

using namespace pngtest;

// Raw rows of an 8-bit RGB image W x H (filter byte 0), pixel (x, y) =
// (x * 40, y * 60, x + y).
Bytes RgbRows(uint32_t W, uint32_t H, uint8_t Filter = 0) {
  Bytes raw;
  for (uint32_t y = 0; y < H; ++y) {
    raw.push_back(Filter);
    for (uint32_t x = 0; x < W; ++x) raw.insert(raw.end(), {uint8_t(x * 40), uint8_t(y * 60), uint8_t(x + y)});
  }
  return raw;
}

Bytes SmallRgb() { return SimplePng(4, 3, 8, 2, RgbRows(4, 3)); }

std::string ExceptionOf(const Bytes& File, std::string* Message = nullptr) {
  try {
    Load(File);
  } catch (const Exception& e) {
    if (Message) *Message = e.Message;
    return e.ClassName();
  }
  return "none";
}

Bytes Concat(std::initializer_list<Bytes> Parts) {
  Bytes out;
  for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(PngDamaged, EachFaultRaisesItsException) {
  const Bytes header = ChunkBytes("IHDR", HeaderData(4, 3, 8, 2));
  const Bytes idat = ChunkBytes("IDAT", Deflate(RgbRows(4, 3)));
  const Bytes iend = ChunkBytes("IEND", {});
  const Bytes sig = Signature();
  const Bytes compressed = Deflate(RgbRows(4, 3));
  const Bytes firstHalf(compressed.begin(), compressed.begin() + long(compressed.size() / 2));
  const Bytes secondHalf(compressed.begin() + long(compressed.size() / 2), compressed.end());
  Bytes badFilter = RgbRows(4, 3);
  badFilter[1 + 4 * 3] = 5;  // the second row's filter type
  Bytes badSignature = SmallRgb();
  badSignature[1] = 'Q';
  const Bytes palHeader = ChunkBytes("IHDR", HeaderData(4, 3, 8, 3));
  const Bytes palIdat = ChunkBytes("IDAT", Deflate(Bytes(3 * 5, 0)));
  Bytes hugeLength = Concat({sig, header});
  Put32(hugeLength, 0xFFFFFFF0u);
  hugeLength.insert(hugeLength.end(), {'t', 'E', 'X', 't', 'a', 0, 'b'});
  const struct {
    const char* Name;
    Bytes File;
    const char* Expected;
  } cases[] = {
      {"signature", badSignature, "EPNGInvalidFileHeader"},
      {"empty stream", {}, "EPNGInvalidFileHeader"},
      {"palette first", Concat({sig, ChunkBytes("PLTE", Bytes(6, 0)), header, idat, iend}), "EPNGIHDRNotFirst"},
      {"header CRC", Concat({sig, ChunkBytes("IHDR", HeaderData(4, 3, 8, 2), true), idat, iend}), "EPngInvalidCRC"},
      {"short header", Concat({sig, ChunkBytes("IHDR", Bytes(12, 1)), idat, iend}), "EPngInvalidIHDR"},
      {"width 65536", Concat({sig, ChunkBytes("IHDR", HeaderData(65536, 3, 8, 2)), idat, iend}), "EPNGSizeExceeds"},
      {"width 0", Concat({sig, ChunkBytes("IHDR", HeaderData(0, 3, 8, 2)), idat, iend}), "EPngInvalidIHDR"},
      {"RGB at 4 bits", Concat({sig, ChunkBytes("IHDR", HeaderData(4, 3, 4, 2)), idat, iend}), "EPngInvalidIHDR"},
      {"colour type 5", Concat({sig, ChunkBytes("IHDR", HeaderData(4, 3, 8, 5)), idat, iend}), "EPngInvalidIHDR"},
      {"palette at 16 bits", Concat({sig, ChunkBytes("IHDR", HeaderData(4, 3, 16, 3)), idat, iend}),
       "EPngInvalidIHDR"},
      {"compression 1", Concat({sig, ChunkBytes("IHDR", HeaderData(4, 3, 8, 2, 0, 1)), idat, iend}),
       "EPNGUnknownCompression"},
      {"interlace 2", Concat({sig, ChunkBytes("IHDR", HeaderData(4, 3, 8, 2, 2)), idat, iend}),
       "EPNGUnknownInterlace"},
      {"huge image in a tiny file", Concat({sig, ChunkBytes("IHDR", HeaderData(65535, 65535, 16, 6)), idat, iend}),
       "EPngUnexpectedEnd"},
      {"chunk longer than the file", hugeLength, "EPngUnexpectedEnd"},
      {"unknown critical chunk", Concat({sig, header, ChunkBytes("ABCD", {1, 2}), idat, iend}),
       "EPNGUnknownCriticalChunk"},
      {"tRNS of 257 bytes", Concat({sig, palHeader, ChunkBytes("PLTE", Bytes(6, 0)), ChunkBytes("tRNS", Bytes(257, 0)),
                                    palIdat, iend}),
       "EPNGInvalidPalette"},
      {"PLTE of 770 bytes", Concat({sig, palHeader, ChunkBytes("PLTE", Bytes(770, 0)), palIdat, iend}),
       "EPNGInvalidPalette"},
      {"no image data", Concat({sig, header, iend}), "EPNGNoImageData"},
      {"second header", Concat({sig, header, header, idat, iend}), "EPngInvalidIHDR"},
      {"not zlib", Concat({sig, header, ChunkBytes("IDAT", Bytes(40, 0x55)), iend}), "EPNGZLIBError"},
      {"image data cut short", Concat({sig, header, ChunkBytes("IDAT", firstHalf), iend}), "EPNGMissingMultipleIDAT"},
      {"zlib stream ends early", Concat({sig, header, ChunkBytes("IDAT", Deflate(Bytes(13, 0))), iend}),
       "EPNGMissingMultipleIDAT"},
      {"filter type 5", Concat({sig, header, ChunkBytes("IDAT", Deflate(badFilter)), iend}), "EPNGUnknownCompression"},
      {"second IDAT CRC",
       Concat({sig, header, ChunkBytes("IDAT", firstHalf), ChunkBytes("IDAT", secondHalf, true), iend}),
       "EPngInvalidCRC"},
      {"last IDAT CRC", Concat({sig, header, ChunkBytes("IDAT", compressed, true), iend}), "EPngInvalidCRC"},
      {"no IEND", Concat({sig, header, idat}), "EPngUnexpectedEnd"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExceptionOf(c.File), c.Expected) << c.Name;
  std::string message;
  ExceptionOf(Concat({sig, header, ChunkBytes("IDAT", Bytes(40, 0x55)), iend}), &message);
  EXPECT_EQ(message,
            "Could not decompress the image because it contains invalid compressed data.\r\n Description: data error "
            "(-3)");
}

TEST(PngDamaged, EveryTruncationAndCorruptionFailsCleanly) {
  // An interlaced image with alpha and text, cut at every length.
  const uint32_t w = 9, h = 7;
  auto png = std::make_unique<TPNGObject>();
  {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(int32_t(w), int32_t(h));
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) bmp.GetCanvas()->SetPixel(int32_t(x), int32_t(y), RGB(x * 20, y * 30, 99));
    png->Assign(&bmp);
  }
  png->SetInterlacing(1);
  auto text = MakeChunk<TChunkzTXt>(png.get());
  text->Keyword = "Comment";
  text->Text = "some text";
  png->GetChunkList().Insert(1, std::move(text));
  const Bytes full = Save(*png);
  ASSERT_NO_THROW(Load(full));
  for (size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + long(n));
    EXPECT_NE(ExceptionOf(cut), "none") << "cut at " << n;
  }
  // Corrupted image data with a correct CRC: loads or raises, never more.
  const auto types = ChunkTypes(full);
  size_t p = 8, idatStart = 0, idatLength = 0;
  for (const auto& t : types) {
    const uint32_t len = (uint32_t(full[p]) << 24) | (uint32_t(full[p + 1]) << 16) | (uint32_t(full[p + 2]) << 8) |
                         full[p + 3];
    if (t == "IDAT") {
      idatStart = p + 8;
      idatLength = len;
    }
    p += 12 + len;
  }
  ASSERT_GT(idatLength, 10u);
  std::mt19937 rng(7);
  for (int i = 0; i < 400; ++i) {
    Bytes payload(full.begin() + long(idatStart), full.begin() + long(idatStart + idatLength));
    for (int k = 0; k < 1 + i % 4; ++k) payload[rng() % payload.size()] ^= uint8_t(1 + rng() % 255);
    const Bytes damaged = Concat({Bytes(full.begin(), full.begin() + long(idatStart - 8)), ChunkBytes("IDAT", payload),
                                  Bytes(full.begin() + long(idatStart + idatLength + 4), full.end())});
    const std::string result = ExceptionOf(damaged);
    EXPECT_TRUE(result == "none" || result.rfind("EPNG", 0) == 0 || result.rfind("EPng", 0) == 0) << result;
  }
}

TEST(PngDamaged, RandomImageDataOfEveryLayoutReadsOrFailsCleanly) {
  // Random filtered rows of the right length for each colour type, bit depth
  // and interlace: every filter and sample path sees garbage.
  const std::pair<uint8_t, uint8_t> layouts[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                                 {3, 2}, {3, 4},  {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  std::mt19937 rng(5);
  for (const auto& [ct, depth] : layouts)
    for (uint8_t interlace : {0, 1})
      for (int round = 0; round < 6; ++round) {
        const uint32_t w = 1 + rng() % 23, h = 1 + rng() % 19;
        int64_t size = 0;
        if (interlace == 0) {
          size = (TPNGObject::RowBytesFor(w, ct, depth) + 1) * h;
        } else {
          for (const TAdam7Pass& p : kAdam7Passes) {
            if (uint32_t(p.StartColumn) >= w || uint32_t(p.StartRow) >= h) continue;
            const int64_t pixels = (int64_t(w) + p.ColumnStep - p.StartColumn - 1) / p.ColumnStep;
            const int64_t rows = (int64_t(h) + p.RowStep - p.StartRow - 1) / p.RowStep;
            size += (TPNGObject::RowBytesFor(pixels, ct, depth) + 1) * rows;
          }
        }
        Bytes raw(static_cast<size_t>(size));
        for (auto& b : raw) b = uint8_t(rng());
        // Mostly valid filter types, now and then a bad one.
        if (round < 5 && interlace == 0) {
          const int64_t stride = TPNGObject::RowBytesFor(w, ct, depth) + 1;
          for (int64_t i = 0; i < size; i += stride) raw[size_t(i)] = uint8_t(raw[size_t(i)] % 5);
        }
        std::vector<std::pair<std::string, Bytes>> extra;
        if (ct == 3) extra = {{"PLTE", Bytes(3 * (1 + rng() % 5), 77)}, {"tRNS", {0, 128}}};
        const std::string result = ExceptionOf(SimplePng(w, h, depth, ct, raw, extra, interlace));
        EXPECT_TRUE(result == "none" || result == "EPNGUnknownCompression") << result;
        if (result == "none") {
          auto png = Load(SimplePng(w, h, depth, ct, raw, extra, interlace));
          QImage target(8, 8, QImage::Format_RGB32);
          TCanvas canvas(&target);
          EXPECT_NO_THROW(canvas.StretchDraw(Rect(0, 0, 8, 8), png.get()));
          EXPECT_NO_THROW(Save(*png));
        }
      }
}

TEST(PngDecoding, ImageDataSplitAnyWayReadsTheSame) {
  const Bytes compressed = Deflate(RgbRows(4, 3));
  std::vector<std::pair<std::string, Bytes>> bytewise = {{"IHDR", HeaderData(4, 3, 8, 2)}};
  for (uint8_t b : compressed) bytewise.push_back({"IDAT", {b}});
  bytewise.push_back({"IEND", {}});
  // The last IDAT holds only the zlib trailer; a cHRM and an unknown
  // ancillary chunk sit between.
  const Bytes body(compressed.begin(), compressed.end() - 4), trailer(compressed.end() - 4, compressed.end());
  const Bytes trailerSplit = PngOf({{"IHDR", HeaderData(4, 3, 8, 2)},
                                    {"cHRM", Bytes(32, 0)},
                                    {"abCd", {1, 2, 3}},
                                    {"IDAT", body},
                                    {"IDAT", trailer},
                                    {"IEND", {}}});
  const auto reference = Load(SmallRgb());
  for (const Bytes& file : {PngOf(bytewise), trailerSplit}) {
    const auto png = Load(file);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(png->GetPixel(x, y), reference->GetPixel(x, y));
    EXPECT_EQ(png->GetPixel(3, 2), RGB(120, 120, 5));
  }
  // Skipped chunks are gone; the unknown ancillary one is kept and written.
  const auto png = Load(trailerSplit);
  EXPECT_EQ(ChunkTypes(Save(*png)), (std::vector<std::string>{"IHDR", "abCd", "IDAT", "IEND"}));
}

TEST(PngDecoding, TwoBitGrayAndSmallInterlacedImages) {
  // Samples 0, 1, 2, 3 in one byte, plain and interlaced (4 x 1: the pixels
  // fall in passes 1, 6, 4, 6).
  for (uint8_t interlace : {0, 1}) {
    Bytes raw;
    if (interlace == 0) {
      raw = {0, 0x1B};
    } else {
      raw = {0, 0x00, /*pass 4*/ 0, 0x80, /*pass 6*/ 0, 0x70};
    }
    const auto png = Load(SimplePng(4, 1, 2, 0, raw, {}, interlace));
    EXPECT_EQ(png->GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(png->GetPixel(1, 0), RGB(85, 85, 85));
    EXPECT_EQ(png->GetPixel(2, 0), RGB(170, 170, 170));
    EXPECT_EQ(png->GetPixel(3, 0), RGB(255, 255, 255));
  }
  // 1 x 1 Adam7: one row in the first pass only.
  EXPECT_EQ(Load(SimplePng(1, 1, 8, 2, {0, 10, 20, 30}, {}, 1))->GetPixel(0, 0), RGB(10, 20, 30));
  // 3 x 3 Adam7 gray: pass 1 (0,0); pass 4 (2,0); pass 5 (0,2),(2,2); pass 6
  // (1,0),(1,2); pass 7 rows 1. Pass 5's first row uses Up over zeros.
  const Bytes raw = {0, 1, /*p4*/ 0, 3, /*p5*/ 2, 7, 9, /*p6*/ 0, 2, 0, 8, /*p7*/ 0, 4, 5, 6};
  const auto png = Load(SimplePng(3, 3, 8, 0, raw, {}, 1));
  const int expected[3][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(png->RowPointer(y)[x], expected[y][x]) << x << "," << y;
}

TEST(PngDecoding, GammaAndTextChunks) {
  auto gamma = [](uint32_t v) {
    Bytes b;
    Put32(b, v);
    return b;
  };
  const auto g = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3), {{"gAMA", gamma(45455)}}));
  EXPECT_EQ(g->GammaLut()[0], 0);
  EXPECT_EQ(g->GammaLut()[255], 255);
  const auto g2 = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3), {{"gAMA", gamma(100000)}}));
  EXPECT_GT(g2->GammaLut()[128], 128);
  EXPECT_EQ(g2->GetPixel(1, 0), RGB(g2->GammaLut()[40], 0, g2->GammaLut()[1]));
  const auto g0 = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3), {{"gAMA", gamma(0)}}));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(g0->GammaLut()[size_t(i)], i);
  // A compressed text that would inflate past the limit loads with an empty
  // text; a good one inflates.
  Bytes bomb = {'B', 0, 0};
  const Bytes zeros = Deflate(Bytes(TChunkzTXt::kMaxInflatedText + 1000, 0));
  bomb.insert(bomb.end(), zeros.begin(), zeros.end());
  Bytes good = {'G', 0, 0};
  const Bytes hello = Deflate(Bytes{'h', 'e', 'l', 'l', 'o'});
  good.insert(good.end(), hello.begin(), hello.end());
  const auto t = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3),
                                {{"zTXt", bomb}, {"zTXt", good}, {"tEXt", {'K', 0, 'v', 'a', 'l'}}}));
  std::vector<std::string> texts;
  for (int32_t i = 0; i < t->GetChunkList().GetCount(); ++i)
    if (auto* c = dynamic_cast<TChunktEXt*>(t->GetChunkList().GetItem(i))) texts.push_back(c->Keyword + "=" + c->Text);
  EXPECT_EQ(texts, (std::vector<std::string>{"B=", "G=hello", "K=val"}));
  EXPECT_TRUE(t->GetChunkList().FindChunk<TChunktEXt>() != nullptr);
}

// Draws Png at (0, 0) on a white canvas W x H and answers the canvas.
QImage DrawOnWhite(TPNGObject& Png, int W, int H, TColor Background = clWhite) {
  QImage target(W, H, QImage::Format_RGB32);
  TCanvas canvas(&target);
  canvas.GetBrush()->SetColor(Background);
  canvas.FillRect(Rect(0, 0, W, H));
  canvas.StretchDraw(Rect(0, 0, W, H), &Png);
  return target;
}

TColor At(const QImage& Img, int X, int Y) {
  const QRgb c = Img.pixel(X, Y);
  return RGB(uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)));
}

TEST(PngTransparency, KeyColoursOfTwoBitAndSixteenBitImages) {
  auto key16 = [](uint16_t v) { return Bytes{uint8_t(v >> 8), uint8_t(v)}; };
  // 2-bit gray, samples 0..3, key sample 2: the key is the held level 170.
  const auto g2 = Load(SimplePng(4, 1, 2, 0, {0, 0x1B}, {{"tRNS", key16(2)}}));
  EXPECT_EQ(g2->TransparencyKind(), tkColorKey);
  EXPECT_EQ(g2->KeyColor(), RGB(170, 170, 170));
  QImage img = DrawOnWhite(*g2, 4, 1, clRed);
  EXPECT_EQ(At(img, 1, 0), RGB(85, 85, 85));
  EXPECT_EQ(At(img, 2, 0), clRed);
  // 16-bit gray: the key goes by the high byte.
  const auto g16 = Load(SimplePng(2, 1, 16, 0, {0, 0x12, 0x34, 0x80, 0x00}, {{"tRNS", key16(0x1234)}}));
  EXPECT_EQ(g16->KeyColor(), RGB(0x12, 0x12, 0x12));
  img = DrawOnWhite(*g16, 2, 1, clRed);
  EXPECT_EQ(At(img, 0, 0), clRed);
  EXPECT_EQ(At(img, 1, 0), RGB(0x80, 0x80, 0x80));
  // 16-bit RGB.
  Bytes rgbKey = Concat({key16(0x1020), key16(0x3040), key16(0x5060)});
  const auto c16 = Load(SimplePng(2, 1, 16, 2, {0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 1, 0, 2, 0, 3, 0},
                                  {{"tRNS", rgbKey}}));
  EXPECT_EQ(c16->KeyColor(), RGB(0x10, 0x30, 0x50));
  img = DrawOnWhite(*c16, 2, 1, clRed);
  EXPECT_EQ(At(img, 0, 0), clRed);
  EXPECT_EQ(At(img, 1, 0), RGB(1, 2, 3));
  // A saved 2-bit gray image is 4-bit, its key scaled along.
  const Bytes saved = Save(*g2);
  const RefImage back = LibpngDecode(saved);
  EXPECT_EQ(back.BitDepth, 4);
  EXPECT_EQ(back.TrnsColor.gray, 10);
  EXPECT_EQ(Load(saved)->KeyColor(), RGB(170, 170, 170));
}

TEST(PngTransparency, PaletteIndexBeyondThePaletteDrawsBlack) {
  // Two palette entries; the image uses indices 0, 1 and 3.
  const Bytes plte = {200, 0, 0, 0, 200, 0};
  const Bytes raw = {0, 0x1C};  // 2-bit indices 0, 1, 3, 0
  const auto opaque = Load(SimplePng(4, 1, 2, 3, raw, {{"PLTE", plte}}));
  EXPECT_EQ(opaque->TransparencyKind(), tkOpaque);
  QImage img = DrawOnWhite(*opaque, 4, 1);
  EXPECT_EQ(At(img, 0, 0), RGB(200, 0, 0));
  EXPECT_EQ(At(img, 2, 0), RGB(0, 0, 0));
  // Per-entry alpha: the blended path, entry 1 half transparent.
  const auto alpha = Load(SimplePng(4, 1, 2, 3, raw, {{"PLTE", plte}, {"tRNS", {255, 128}}}));
  EXPECT_EQ(alpha->TransparencyKind(), tkAlpha);
  EXPECT_NO_THROW(img = DrawOnWhite(*alpha, 4, 1));
  EXPECT_EQ(At(img, 0, 0), RGB(200, 0, 0));
  EXPECT_EQ(At(img, 1, 0), RGB((255 + 127 * 255) / 256, (200 * 128 + 255 + 127 * 255) / 256, (255 + 127 * 255) / 256));
  EXPECT_EQ(At(img, 2, 0), RGB(0, 0, 0));
  EXPECT_THROW(alpha->PaletteEntry(2), EPngError);
  // One entry of alpha 0 makes a colour key; a single partly transparent
  // entry is blended, not keyed.
  EXPECT_EQ(Load(SimplePng(4, 1, 2, 3, raw, {{"PLTE", plte}, {"tRNS", {128}}}))->TransparencyKind(), tkAlpha);
  const auto key = Load(SimplePng(4, 1, 2, 3, raw, {{"PLTE", plte}, {"tRNS", {255, 0}}}));
  EXPECT_EQ(key->TransparencyKind(), tkColorKey);
  EXPECT_EQ(key->KeyColor(), RGB(0, 200, 0));
}

TEST(PngDrawing, AlphaBlendingAndScaling) {
  // 2 x 2 RGBA: black alpha 128, red alpha 255, green alpha 0, blue alpha 64.
  const Bytes raw = {0, 0, 0, 0, 128, 255, 0, 0, 255, /*row 1*/ 0, 0, 255, 0, 0, 0, 0, 255, 64};
  const auto png = Load(SimplePng(2, 2, 8, 6, raw));
  QImage img = DrawOnWhite(*png, 2, 2);
  EXPECT_EQ(At(img, 0, 0), RGB(127, 127, 127));
  EXPECT_EQ(At(img, 1, 0), RGB(255, 0, 0));
  EXPECT_EQ(At(img, 0, 1), clWhite);
  const int b = (255 * 64 + 255 + 191 * 255) / 256, o = (255 + 191 * 255) / 256;
  EXPECT_EQ(At(img, 1, 1), RGB(o, o, b));
  // Twice the size repeats each pixel twice in each direction.
  img = DrawOnWhite(*png, 4, 4);
  EXPECT_EQ(At(img, 2, 0), RGB(255, 0, 0));
  EXPECT_EQ(At(img, 3, 1), RGB(255, 0, 0));
  EXPECT_EQ(At(img, 1, 3), clWhite);
  // Drawing at an offset leaves the rest of the canvas alone.
  QImage target(6, 6, QImage::Format_RGB32);
  target.fill(Qt::white);
  TCanvas canvas(&target);
  canvas.Draw(3, 2, png.get());
  EXPECT_EQ(At(target, 4, 2), RGB(255, 0, 0));
  EXPECT_EQ(At(target, 2, 2), clWhite);
  EXPECT_EQ(At(target, 3, 2), RGB(127, 127, 127));
  // Partly off the canvas, and stretched far beyond it: only the part on the
  // canvas is blended.
  target.fill(Qt::white);
  canvas.Draw(-1, -1, png.get());
  EXPECT_EQ(At(target, 0, 0), RGB(o, o, b));
  EXPECT_EQ(At(target, 1, 1), clWhite);
  canvas.StretchDraw(Rect(0, 0, 60000, 60000), png.get());
  EXPECT_EQ(At(target, 5, 5), RGB(127, 127, 127));
}

TEST(PngPixels, ReadWriteAndResize) {
  auto png = Load(SmallRgb());
  EXPECT_EQ(png->GetPixel(-1, 0), 0);
  EXPECT_EQ(png->GetPixel(2, 1), RGB(80, 60, 3));
  png->SetPixel(4, 0, clRed);
  png->SetPixel(1, 1, RGB(1, 2, 3));
  EXPECT_EQ(png->GetPixel(1, 1), RGB(1, 2, 3));
  EXPECT_THROW(png->Resize(0, 5), EPNGInvalidNewSize);
  // 1-bit gray whose rows carry set spare bits: enlarging shows black, not
  // the spare bits.
  auto mono = Load(SimplePng(3, 2, 1, 0, {0, 0xFF, 0, 0xFF}));
  EXPECT_EQ(mono->GetPixel(2, 0), clWhite);
  mono->Resize(12, 3);
  EXPECT_EQ(mono->GetPixel(2, 1), clWhite);
  for (int x = 3; x < 12; ++x) EXPECT_EQ(mono->GetPixel(x, 0), 0) << x;
  EXPECT_EQ(mono->GetPixel(0, 2), 0);
  // RGBA 32 x 32 to 40 x 20: the kept corner stays, new columns are opaque
  // black.
  Bytes raw;
  for (int y = 0; y < 32; ++y) {
    raw.push_back(0);
    for (int x = 0; x < 32; ++x) raw.insert(raw.end(), {uint8_t(x * 8), uint8_t(y * 8), 7, uint8_t(x + y)});
  }
  auto rgba = Load(SimplePng(32, 32, 8, 6, raw));
  rgba->Resize(40, 20);
  EXPECT_EQ(rgba->GetWidth(), 40);
  EXPECT_EQ(rgba->GetPixel(31, 19), RGB(248, 152, 7));
  EXPECT_EQ(rgba->AlphaRowPointer(19)[31], 50);
  EXPECT_EQ(rgba->GetPixel(35, 5), 0);
  EXPECT_EQ(rgba->AlphaRowPointer(5)[35], 255);
  // The resized image saves and reads back.
  const RefImage back = LibpngDecode(Save(*rgba));
  ASSERT_TRUE(back.Ok);
  EXPECT_EQ(back.Width, 40u);
  EXPECT_EQ(back.Rows[19][31 * 4], 248);
}

TEST(PngEncoding, SixteenBitSamplesKeepTheirLowBytes) {
  Bytes raw = {0};
  for (int x = 0; x < 3; ++x) raw.insert(raw.end(), {0x12, uint8_t(0x34 + x), 0xAB, 0xCD, 0x00, 0x01, 0xFF, 0xFE});
  for (uint8_t interlace : {0, 1}) {
    auto png = Load(SimplePng(3, 1, 16, 6, raw));
    png->SetInterlacing(interlace);
    const RefImage back = LibpngDecode(Save(*png));
    ASSERT_TRUE(back.Ok);
    EXPECT_EQ(back.Rows[0], Bytes(raw.begin() + 1, raw.end()));
  }
}

TEST(PngEncoding, FiltersChunksAndCopies) {
  auto png = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3)));
  // The IDAT data of a saved file, inflated: the filter byte of each row.
  auto filterBytes = [](const Bytes& File, int64_t RowBytes) {
    Bytes data;
    size_t p = 8;
    while (p + 8 <= File.size()) {
      const uint32_t len = (uint32_t(File[p]) << 24) | (uint32_t(File[p + 1]) << 16) |
                           (uint32_t(File[p + 2]) << 8) | File[p + 3];
      if (std::string(reinterpret_cast<const char*>(&File[p + 4]), 4) == "IDAT")
        data.insert(data.end(), File.begin() + long(p + 8), File.begin() + long(p + 8 + len));
      p += 12 + len;
    }
    Bytes raw(1 << 20);
    uLongf size = raw.size();
    uncompress(raw.data(), &size, data.data(), uLong(data.size()));
    Bytes types;
    for (uLongf i = 0; i < size; i += uLongf(RowBytes + 1)) types.push_back(raw[i]);
    return types;
  };
  EXPECT_EQ(filterBytes(Save(*png), 12), (Bytes{1, 1, 1}));
  // A row of identical bytes with every filter: None is the first to score
  // highest.
  auto flat = Load(SimplePng(6, 1, 8, 0, {0, 9, 9, 9, 9, 9, 9}));
  flat->SetFilterSet(0x1F);
  EXPECT_EQ(filterBytes(Save(*flat), 6), (Bytes{0}));
  // Rows of two bytes score nothing: written unfiltered.
  auto tiny = Load(SimplePng(2, 1, 8, 0, {0, 1, 2}));
  tiny->SetFilterSet(PngFilterBit(pfUp) | PngFilterBit(pfPaeth));
  EXPECT_EQ(filterBytes(Save(*tiny), 2), (Bytes{0}));

  // Chunks of at most the limit, all but the last exactly the limit.
  auto noisy = std::make_unique<TPNGObject>();
  {
    Bytes raw;
    std::mt19937 rng(3);
    for (int y = 0; y < 200; ++y) {
      raw.push_back(0);
      for (int x = 0; x < 600; ++x) raw.push_back(uint8_t(rng()));
    }
    noisy = Load(SimplePng(200, 200, 8, 2, raw));
  }
  noisy->SetIdatLimit(1000);
  EXPECT_EQ(noisy->GetIdatLimit(), 65535);
  const Bytes saved = Save(*noisy);
  std::vector<uint32_t> lengths;
  for (size_t p = 8; p + 8 <= saved.size();) {
    const uint32_t len = (uint32_t(saved[p]) << 24) | (uint32_t(saved[p + 1]) << 16) | (uint32_t(saved[p + 2]) << 8) |
                         saved[p + 3];
    if (std::string(reinterpret_cast<const char*>(&saved[p + 4]), 4) == "IDAT") lengths.push_back(len);
    p += 12 + len;
  }
  ASSERT_GE(lengths.size(), 2u);
  for (size_t i = 0; i + 1 < lengths.size(); ++i) EXPECT_EQ(lengths[i], 65535u);
  EXPECT_LE(lengths.back(), 65535u);

  // The suggested palette of an RGB image is written back as read.
  auto suggested = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3), {{"PLTE", {1, 2, 3, 4, 5, 6}}}));
  const RefImage withPalette = LibpngDecode(Save(*suggested));
  ASSERT_EQ(withPalette.Palette.size(), 2u);
  EXPECT_EQ(withPalette.Palette[1].blue, 6);

  // Copying gives the same chunk classes in order and the same pixels.
  auto source = Load(SimplePng(4, 3, 8, 2, RgbRows(4, 3), {{"tEXt", {'a', 0, 'b'}}, {"pHYs", Bytes(9, 1)}}));
  TPNGObject copy;
  copy.Assign(source.get());
  ASSERT_EQ(copy.GetChunkList().GetCount(), source->GetChunkList().GetCount());
  for (int32_t i = 0; i < copy.GetChunkList().GetCount(); ++i)
    EXPECT_EQ(typeid(*copy.GetChunkList().GetItem(i)), typeid(*source->GetChunkList().GetItem(i)));
  EXPECT_EQ(Save(copy), Save(*source));
}

TEST(PngBitmaps, ImportAndExport) {
  // An 8-bit bitmap whose transparent colour is entry 5.
  TBitmap bmp;
  bmp.SetPixelFormat(pf8bit);
  bmp.SetSize(4, 2);
  std::vector<TRGBQuad> table(16);
  for (int i = 0; i < 16; ++i) table[size_t(i)] = TRGBQuad{uint8_t(i * 10), uint8_t(i * 5), uint8_t(i * 3), 0};
  bmp.SetColorTable(table);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) bmp.GetScanLine(y)[x] = uint8_t(x + y * 4);
  bmp.SetTransparentMode(tmFixed);
  bmp.SetTransparentColor(RGB(15, 25, 50));  // entry 5: red 15, green 25, blue 50
  bmp.SetTransparent(true);
  TPNGObject png;
  png.Assign(&bmp);
  const TChunktRNS* t = png.GetChunkList().FindChunk<TChunktRNS>();
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetPayloadSize(), 6u);
  EXPECT_EQ(png.TransparencyKind(), tkColorKey);
  EXPECT_EQ(png.GetPixel(2, 0), RGB(6, 10, 20));
  // It saves as a valid palette file.
  const RefImage back = LibpngDecode(Save(png));
  ASSERT_TRUE(back.Ok);
  EXPECT_EQ(back.ColorType, 3);
  EXPECT_EQ(back.TrnsAlpha, (Bytes{255, 255, 255, 255, 255, 0}));
  EXPECT_EQ(back.Rows[1][1], 5);
  // And converts back to a bitmap with its key.
  TBitmap out;
  png.AssignToBitmap(&out);
  EXPECT_EQ(out.GetWidth(), 4);
  EXPECT_EQ(out.GetPixelColor(3, 1), RGB(21, 35, 70));
  EXPECT_TRUE(out.GetTransparent());
  EXPECT_EQ(out.GetTransparentColor(), RGB(15, 25, 50));
}

TEST(PngRegistry, PicturesLoadPngFilesAndFormData) {
  RegisterPNGPicture();
  const Bytes file = SmallRgb();
  // Form data: the class name as a short string, then the PNG stream.
  Bytes data = {10};
  const std::string name = "TPNGObject";
  data.insert(data.end(), name.begin(), name.end());
  data.insert(data.end(), file.begin(), file.end());
  TPicture picture;
  picture.LoadFromFormData(data);
  ASSERT_TRUE(dynamic_cast<TPNGObject*>(picture.GetGraphic()));
  EXPECT_EQ(picture.GetWidth(), 4);
  // Copying a picture copies the PNG object.
  TPicture copy;
  copy.Assign(&picture);
  ASSERT_TRUE(dynamic_cast<TPNGObject*>(copy.GetGraphic()));
  EXPECT_EQ(static_cast<TPNGObject*>(copy.GetGraphic())->GetPixel(3, 2), RGB(120, 120, 5));
  // A damaged stream in form data raises the class's exception.
  data.resize(data.size() - 20);
  EXPECT_THROW(picture.LoadFromFormData(data), EPngUnexpectedEnd);
  Bytes unknown = {3, 'T', 'X', 'Y'};
  EXPECT_THROW(picture.LoadFromFormData(unknown), EInvalidGraphic);
  bool found = false;
  for (const auto& [ext, desc] : TPicture::RegisteredFormats())
    if (ext == "png") found = desc == "Portable Network Graphics";
  EXPECT_TRUE(found);
}

}  // namespace
