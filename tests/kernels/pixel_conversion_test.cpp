// Pixel-format conversion between the eleven formats: every pair on a small
// image of known colours, lossless round trips, the exact rules that readers
// and writers rely on, dither and threshold results, and the cases where the
// conversion must leave images intact.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "kernels/pixel_conversion.h"
#include "foundations/settings.h"
#include "foundations/pixel_utils.h"

namespace {

const TIEPixelFormat kFormats[] = {ie1g,  ie8p,   ie8g,    ie16g,    ie24RGB,
                                   ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};

std::string Name(TIEPixelFormat F) {
  static const char* names[] = {"none",  "1g",   "8p",    "8g",    "16g",  "24RGB",
                                "32f",   "CMYK", "RGB48", "CIELab", "32RGB"};
  return names[F];
}

// The dither matrix as published for the 8 x 8 ordered dither, [x & 7][y & 7].
const int kMatrix[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                           {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                           {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                           {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

// Known colours, gray levels well apart so that every format keeps them apart.
const TRGB kColours[] = {IECreateRGB(0, 0, 0),       IECreateRGB(255, 255, 255),
                         IECreateRGB(128, 128, 128), IECreateRGB(200, 60, 40),
                         IECreateRGB(40, 180, 90),   IECreateRGB(30, 50, 210),
                         IECreateRGB(240, 230, 220), IECreateRGB(20, 30, 10)};
constexpr int kCount = 8;

std::unique_ptr<TIEBitmap> MakeColours() {
  auto bmp = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(bmp->Allocate(kCount, 2, ie24RGB));
  for (int y = 0; y < 2; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bmp->GetScanline(y));
    for (int x = 0; x < kCount; ++x) row[x] = kColours[(x + y) % kCount];
  }
  return bmp;
}

std::unique_ptr<TIEBitmap> Make8g(int W, int H, const std::vector<uint8_t>& Values) {
  auto bmp = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(bmp->Allocate(W, H, ie8g));
  for (int y = 0; y < H; ++y) std::memcpy(bmp->GetScanline(y), &Values[size_t(y) * W], size_t(W));
  return bmp;
}

std::unique_ptr<TIEBitmap> Copy(TIEBitmap* Source) {
  auto bmp = std::make_unique<TIEBitmap>();
  bmp->Assign(Source);
  return bmp;
}

bool BitAt(TIEBitmap* B, int X, int Y) { return B->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7)); }

int Gray(const TRGB& C) { return IERGBToGray(C); }

bool ColourFormat(TIEPixelFormat F) {
  return F == ie8p || F == ie24RGB || F == ieCMYK || F == ieRGB48 || F == ieCIELab ||
         F == ie32RGB;
}

// Every source format (made from the known colours) into every destination
// format: the size and format come out right, black and white survive every
// path, gray levels stay close and colour paths keep the colours.
TEST(PixelConversion, EveryPairKeepsKnownColours) {
  auto base = MakeColours();
  for (TIEPixelFormat s : kFormats) {
    auto src = Copy(base.get());
    ASSERT_TRUE(IEConvertToPixelFormat(src.get(), s)) << Name(s);
    ASSERT_EQ(src->GetPixelFormat(), s);
    for (TIEPixelFormat d : kFormats) {
      SCOPED_TRACE(Name(s) + " -> " + Name(d));
      auto img = Copy(src.get());
      ASSERT_TRUE(IEConvertToPixelFormat(img.get(), d));
      ASSERT_EQ(img->GetPixelFormat(), d);
      ASSERT_EQ(img->GetWidth(), kCount);
      ASSERT_EQ(img->GetHeight(), 2);
      const bool lab = s == ieCIELab || d == ieCIELab;
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < kCount; ++x) {
          const TRGB want = kColours[(x + y) % kCount];
          const TRGB got = img->GetPixelRGB(x, y);
          if (s == ie1g || d == ie1g) {
            // Only black and white are certain after a threshold at the mean.
            if (Gray(want) == 0) {
              EXPECT_EQ(Gray(got), 0) << x;
            }
            if (Gray(want) == 255) {
              EXPECT_GE(Gray(got), 250) << x;
            }
            continue;
          }
          EXPECT_NEAR(Gray(got), Gray(want), lab ? 10 : 6) << x;
          if (ColourFormat(s) && ColourFormat(d)) {
            const int tol = lab ? 16 : 3;
            EXPECT_NEAR(got.r, want.r, tol) << x;
            EXPECT_NEAR(got.g, want.g, tol) << x;
            EXPECT_NEAR(got.b, want.b, tol) << x;
          }
        }
    }
  }
}

TEST(PixelConversion, LosslessRoundTrips) {
  auto colours = MakeColours();
  for (TIEPixelFormat via : {ie32RGB, ieRGB48, ie8p}) {
    auto img = Copy(colours.get());
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), via));
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), ie24RGB));
    for (int y = 0; y < 2; ++y)
      EXPECT_EQ(std::memcmp(img->GetScanline(y), colours->GetScanline(y), kCount * 3), 0)
          << Name(via) << " row " << y;
  }
  std::vector<uint8_t> ramp(256);
  for (int i = 0; i < 256; ++i) ramp[i] = uint8_t(i);
  auto gray = Make8g(16, 16, ramp);
  for (TIEPixelFormat via : {ie8p, ie16g, ie24RGB, ie32RGB, ieRGB48}) {
    auto img = Copy(gray.get());
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), via));
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), ie8g));
    for (int y = 0; y < 16; ++y)
      EXPECT_EQ(std::memcmp(img->GetScanline(y), gray->GetScanline(y), 16), 0)
          << Name(via) << " row " << y;
  }
  // 1-bit through every format and back by threshold keeps the bits.
  auto bits = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(bits->Allocate(13, 3, ie1g));
  const uint8_t pattern[3][2] = {{0xA5, 0x38}, {0x0F, 0xF0}, {0x81, 0x08}};
  for (int y = 0; y < 3; ++y) std::memcpy(bits->GetScanline(y), pattern[y], 2);
  for (TIEPixelFormat via : kFormats) {
    auto img = Copy(bits.get());
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), via));
    img->SetMonoConversion(1);
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), ie1g));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) EXPECT_EQ(BitAt(img.get(), x, y), BitAt(bits.get(), x, y)) << Name(via);
  }
}

TEST(PixelConversion, ExactRules) {
  // White from 24-bit: 255 gray, 65535 words, 1.0 float.
  auto white = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(white->Allocate(1, 1, ie24RGB));
  *reinterpret_cast<TRGB*>(white->GetScanline(0)) = IECreateRGB(255, 255, 255);
  auto w8 = Copy(white.get());
  ASSERT_TRUE(IEConvertToPixelFormat(w8.get(), ie8g));
  EXPECT_EQ(w8->GetScanline(0)[0], 255);
  auto w16 = Copy(white.get());
  ASSERT_TRUE(IEConvertToPixelFormat(w16.get(), ie16g));
  EXPECT_EQ(reinterpret_cast<uint16_t*>(w16->GetScanline(0))[0], 65535);
  auto wf = Copy(white.get());
  ASSERT_TRUE(IEConvertToPixelFormat(wf.get(), ie32f));
  EXPECT_EQ(reinterpret_cast<float*>(wf->GetScanline(0))[0], 1.0f);

  // 48-bit to 24-bit: red word's high byte into byte 2, blue's into byte 0.
  auto rgb48 = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(rgb48->Allocate(1, 1, ieRGB48));
  uint16_t* w = reinterpret_cast<uint16_t*>(rgb48->GetScanline(0));
  w[0] = 0x1234;
  w[1] = 0x5678;
  w[2] = 0x9ABC;
  ASSERT_TRUE(IEConvertToPixelFormat(rgb48.get(), ie24RGB));
  const uint8_t* p = rgb48->GetScanline(0);
  EXPECT_EQ(p[0], 0x9A);
  EXPECT_EQ(p[1], 0x56);
  EXPECT_EQ(p[2], 0x12);

  // 16-bit gray with a display range: clipped and scaled; no range: high byte.
  struct RangeCase {
    double Low, High;
    uint16_t Sample;
    uint8_t Expected;
  } ranges[] = {{1000, 2000, 500, 0},   {1000, 2000, 1500, 127}, {1000, 2000, 3000, 255},
                {0, 0, 0x3456, 0x34},   {0, 0, 65535, 255}};
  for (const RangeCase& c : ranges) {
    auto g16 = std::make_unique<TIEBitmap>();
    ASSERT_TRUE(g16->Allocate(1, 1, ie16g));
    reinterpret_cast<uint16_t*>(g16->GetScanline(0))[0] = c.Sample;
    g16->SetRangeLow(c.Low);
    g16->SetRangeHigh(c.High);
    ASSERT_TRUE(IEConvertToPixelFormat(g16.get(), ie24RGB));
    const uint8_t* q = g16->GetScanline(0);
    EXPECT_EQ(q[0], c.Expected) << c.Sample;
    EXPECT_EQ(q[1], c.Expected);
    EXPECT_EQ(q[2], c.Expected);
  }

  // Float samples outside 0..1 saturate instead of wrapping; NaN reads as 0.
  auto f = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(f->Allocate(4, 1, ie32f));
  float* fs = reinterpret_cast<float*>(f->GetScanline(0));
  fs[0] = -0.5f;
  fs[1] = 1.5f;
  fs[2] = std::numeric_limits<float>::quiet_NaN();
  fs[3] = 0.5f;
  for (TIEPixelFormat d : {ie8g, ie16g}) {
    auto img = std::make_unique<TIEBitmap>();
    ASSERT_TRUE(img->Allocate(4, 1, d));
    IEConvertFrom(img.get(), f.get());
    if (d == ie8g) {
      const uint8_t* r = img->GetScanline(0);
      EXPECT_EQ(r[0], 0);
      EXPECT_EQ(r[1], 255);
      EXPECT_EQ(r[2], 0);
      EXPECT_EQ(r[3], 127);
    } else {
      const uint16_t* r = reinterpret_cast<const uint16_t*>(img->GetScanline(0));
      EXPECT_EQ(r[0], 0);
      EXPECT_EQ(r[1], 65535);
      EXPECT_EQ(r[2], 0);
      EXPECT_EQ(r[3], 32767);
    }
  }
}

TEST(PixelConversion, PaletteTargets) {
  // 1-bit to palette: entry 0 black, entry 1 white, the rest zeroed even when
  // the destination held other colours before; indices are the bits.
  auto bits = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(bits->Allocate(8, 1, ie1g));
  bits->GetScanline(0)[0] = 0x5A;
  auto pal = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(pal->Allocate(8, 1, ie8p));
  for (int i = 0; i < pal->GetPaletteLen(); ++i) pal->SetPaletteColor(i, IECreateRGB(9, 9, 9));
  IEConvertFrom(pal.get(), bits.get());
  ASSERT_EQ(pal->GetPaletteLen(), 256);
  EXPECT_EQ(pal->GetPaletteColor(0), IECreateRGB(0, 0, 0));
  EXPECT_EQ(pal->GetPaletteColor(1), IECreateRGB(255, 255, 255));
  for (int i = 2; i < 256; ++i) EXPECT_EQ(pal->GetPaletteColor(i), IECreateRGB(0, 0, 0)) << i;
  for (int x = 0; x < 8; ++x) EXPECT_EQ(pal->GetScanline(0)[x], (0x5A >> (7 - x)) & 1);
  // And back with threshold gives the same bits.
  pal->SetMonoConversion(1);
  ASSERT_TRUE(IEConvertToPixelFormat(pal.get(), ie1g));
  EXPECT_EQ(pal->GetScanline(0)[0], 0x5A);

  // Gray sources get a gray ramp; 16-bit indices are the high byte.
  auto g16 = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(g16->Allocate(2, 1, ie16g));
  reinterpret_cast<uint16_t*>(g16->GetScanline(0))[0] = 0x80FF;
  reinterpret_cast<uint16_t*>(g16->GetScanline(0))[1] = 0x0100;
  ASSERT_TRUE(IEConvertToPixelFormat(g16.get(), ie8p));
  EXPECT_EQ(g16->GetScanline(0)[0], 0x80);
  EXPECT_EQ(g16->GetScanline(0)[1], 0x01);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(g16->GetPaletteColor(i), IECreateRGB(uint8_t(i), uint8_t(i), uint8_t(i)));

  // A colour image with few colours gets exactly its colours.
  auto colours = MakeColours();
  ASSERT_TRUE(IEConvertToPixelFormat(colours.get(), ie8p));
  for (int x = 0; x < kCount; ++x)
    EXPECT_EQ(colours->GetPaletteColor(colours->GetScanline(0)[x]), kColours[x]);
}

TEST(PixelConversion, OrderedDitherMatchesMatrix) {
  struct Case {
    TIEPixelFormat Format;
    double Sample;
    int Level;
  } cases[] = {
      {ie8g, 128, 32},      {ie8g, 255, 63},  {ie8g, 0, 0},       {ie16g, 32768, 32},
      {ie24RGB, 128, 32},   {ieRGB48, 128 * 257, 32},
      // Float samples dither like 8-bit levels: Trunc(0.5 x 255) shr 2 = 31.
      {ie32f, 0.5, 31},     {ie32f, 1.0, 63},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Name(c.Format) + " " + std::to_string(c.Sample));
    auto img = std::make_unique<TIEBitmap>();
    ASSERT_TRUE(img->Allocate(16, 16, c.Format));
    for (int y = 0; y < 16; ++y) {
      uint8_t* row = img->GetScanline(y);
      for (int x = 0; x < 16; ++x) {
        switch (c.Format) {
          case ie8g: row[x] = uint8_t(c.Sample); break;
          case ie16g: reinterpret_cast<uint16_t*>(row)[x] = uint16_t(c.Sample); break;
          case ie24RGB: std::memset(row + x * 3, int(c.Sample), 3); break;
          case ieRGB48:
            for (int k = 0; k < 3; ++k) reinterpret_cast<uint16_t*>(row)[x * 3 + k] = uint16_t(c.Sample);
            break;
          case ie32f: reinterpret_cast<float*>(row)[x] = float(c.Sample); break;
          default: break;
        }
      }
    }
    img->SetMonoConversion(0);
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), ie1g));
    int white = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool want = kMatrix[x & 7][y & 7] < c.Level;
        EXPECT_EQ(BitAt(img.get(), x, y), want) << x << "," << y;
        white += want;
      }
    EXPECT_EQ(white, 4 * c.Level);  // each 8 x 8 cell holds every level once
  }

  // A gradient: pixel (x, y) of level x + 8y is white where the matrix is
  // below that level.
  std::vector<uint8_t> values(64);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) values[y * 8 + x] = uint8_t((x + 8 * y) * 4);
  auto grad = Make8g(8, 8, values);
  grad->SetMonoConversion(0);
  ASSERT_TRUE(IEConvertToPixelFormat(grad.get(), ie1g));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(BitAt(grad.get(), x, y), kMatrix[x][y] < x + 8 * y) << x << "," << y;
}

TEST(PixelConversion, ThresholdAtMeanGray) {
  // Levels 0, 17, ..., 255: mean 127, so levels from 136 on are white.
  std::vector<uint8_t> values(16);
  for (int i = 0; i < 16; ++i) values[i] = uint8_t(i * 17);
  auto img = Make8g(16, 1, values);
  img->SetMonoConversion(1);
  ASSERT_TRUE(IEConvertToPixelFormat(img.get(), ie1g));
  for (int x = 0; x < 16; ++x) EXPECT_EQ(BitAt(img.get(), x, 0), x >= 8) << x;
}

TEST(PixelConversion, SourceStaysUntouchedAndAlphaIsKept) {
  // Conversions that pass through 24-bit colour work on a copy.
  std::vector<uint8_t> values = {0, 64, 128, 255};
  auto gray = Make8g(4, 1, values);
  auto cmyk = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(cmyk->Allocate(4, 1, ieCMYK));
  IEConvertFrom(cmyk.get(), gray.get());
  EXPECT_EQ(gray->GetPixelFormat(), ie8g);
  EXPECT_EQ(std::memcmp(gray->GetScanline(0), values.data(), 4), 0);
  EXPECT_EQ(cmyk->GetPixelRGB(2, 0), IECreateRGB(128, 128, 128));

  // 1-bit to CIELab equals 1-bit to 24-bit to CIELab.
  auto bits = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(bits->Allocate(8, 1, ie1g));
  bits->GetScanline(0)[0] = 0xC3;
  auto direct = Copy(bits.get());
  ASSERT_TRUE(IEConvertToPixelFormat(direct.get(), ieCIELab));
  auto staged = Copy(bits.get());
  ASSERT_TRUE(IEConvertToPixelFormat(staged.get(), ie24RGB));
  ASSERT_TRUE(IEConvertToPixelFormat(staged.get(), ieCIELab));
  EXPECT_EQ(std::memcmp(direct->GetScanline(0), staged->GetScanline(0), 24), 0);

  // The alpha plane survives an in-place conversion unchanged.
  auto img = MakeColours();
  for (int x = 0; x < kCount; ++x) img->SetAlpha(x, 1, uint8_t(x * 30));
  ASSERT_TRUE(IEConvertToPixelFormat(img.get(), ie8g));
  ASSERT_TRUE(img->HasAlphaChannel());
  for (int x = 0; x < kCount; ++x) {
    EXPECT_EQ(img->GetAlpha(x, 0), 255);
    EXPECT_EQ(img->GetAlpha(x, 1), x * 30);
  }

  // Equal formats copy the pixels; the same format in place changes nothing.
  auto again = MakeColours();
  auto dest = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(dest->Allocate(kCount, 2, ie24RGB));
  IEConvertFrom(dest.get(), again.get());
  EXPECT_EQ(std::memcmp(dest->GetScanline(1), again->GetScanline(1), kCount * 3), 0);
  ASSERT_TRUE(IEConvertToPixelFormat(again.get(), ie24RGB));
  EXPECT_EQ(std::memcmp(dest->GetScanline(1), again->GetScanline(1), kCount * 3), 0);

  // Different sizes: nothing is written.
  auto small = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(small->Allocate(2, 2, ie8g));
  small->Fill(7);
  IEConvertFrom(small.get(), again.get());
  EXPECT_EQ(small->GetScanline(0)[0], 7);
}

// Every pair again with every bitmap (temporaries included) kept in a
// temporary file: the results are the same bytes as in memory.
TEST(PixelConversion, TemporaryFileStorageGivesTheSameResult) {
  auto base = MakeColours();
  const int64_t saved = IETempFileThreshold;
  for (TIEPixelFormat s : kFormats) {
    for (TIEPixelFormat d : kFormats) {
      SCOPED_TRACE(Name(s) + " -> " + Name(d));
      IETempFileThreshold = -1;
      auto mem = Copy(base.get());
      ASSERT_TRUE(IEConvertToPixelFormat(mem.get(), s));
      ASSERT_TRUE(IEConvertToPixelFormat(mem.get(), d));
      ASSERT_EQ(mem->GetLocation(), ieMemory);
      IETempFileThreshold = 0;
      auto file = std::make_unique<TIEBitmap>();
      file->Assign(base.get());
      ASSERT_EQ(file->GetLocation(), ieFile);
      ASSERT_TRUE(IEConvertToPixelFormat(file.get(), s));
      ASSERT_TRUE(IEConvertToPixelFormat(file.get(), d));
      ASSERT_EQ(file->GetLocation(), ieFile);
      ASSERT_EQ(file->GetPixelFormat(), d);
      const int64_t used = (int64_t(kCount) * IEBitCountOf(d) + 7) / 8;
      std::vector<uint8_t> a(static_cast<size_t>(used)), b(static_cast<size_t>(used));
      for (int y = 0; y < 2; ++y) {
        std::memcpy(a.data(), mem->GetScanline(y), a.size());
        std::memcpy(b.data(), file->GetScanline(y), b.size());
        EXPECT_EQ(a, b) << "row " << y;
      }
    }
  }
  IETempFileThreshold = saved;
}

// A platform bitmap converts between the formats it can hold and stays a
// platform bitmap; other formats move the image to memory.
TEST(PixelConversion, PlatformBitmapStorage) {
  auto base = MakeColours();
  for (TIEPixelFormat d : {ie1g, ie8p, ie8g, ie32RGB, ie16g, ieCMYK}) {
    SCOPED_TRACE(Name(d));
    auto img = Copy(base.get());
    img->SetLocation(ieTBitmap);
    ASSERT_EQ(img->GetLocation(), ieTBitmap);
    auto ref = Copy(base.get());
    ASSERT_TRUE(IEConvertToPixelFormat(ref.get(), d));
    ASSERT_TRUE(IEConvertToPixelFormat(img.get(), d));
    EXPECT_EQ(img->GetPixelFormat(), d);
    EXPECT_EQ(img->GetLocation(), IEFormatFitsTBitmap(d) ? ieTBitmap : ieMemory);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < kCount; ++x) EXPECT_EQ(img->GetPixelRGB(x, y), ref->GetPixelRGB(x, y)) << x;
  }
  // Back from 1-bit to 24-bit colour.
  auto bits = Copy(base.get());
  bits->SetLocation(ieTBitmap);
  ASSERT_TRUE(IEConvertToPixelFormat(bits.get(), ie1g));
  ASSERT_TRUE(IEConvertToPixelFormat(bits.get(), ie24RGB));
  EXPECT_EQ(bits->GetLocation(), ieTBitmap);
  EXPECT_EQ(bits->GetPixelRGB(0, 0), IECreateRGB(0, 0, 0));
  EXPECT_EQ(bits->GetPixelRGB(1, 0), IECreateRGB(255, 255, 255));
}

TEST(PixelConversion, RefusedConversionKeepsTheImage) {
  // A 1-bit row of 360 million pixels (45 MB) would need rows of more than
  // 2 GB at 48 bits: the allocation is refused and the image stays.
  auto wide = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(wide->Allocate(360000000, 1, ie1g));
  wide->GetScanline(0)[0] = 0xA5;
  wide->GetScanline(0)[44999999] = 0x3C;
  EXPECT_FALSE(IEConvertToPixelFormat(wide.get(), ieRGB48));
  ASSERT_EQ(wide->GetPixelFormat(), ie1g);
  ASSERT_EQ(wide->GetWidth(), 360000000);
  EXPECT_EQ(wide->GetScanline(0)[0], 0xA5);
  EXPECT_EQ(wide->GetScanline(0)[44999999], 0x3C);
  wide.reset();


  auto img = MakeColours();
  EXPECT_FALSE(IEConvertToPixelFormat(img.get(), ieNoFormat));
  EXPECT_FALSE(IEConvertToPixelFormat(img.get(), TIEPixelFormat(42)));
  EXPECT_FALSE(IEConvertToPixelFormat(nullptr, ie8g));
  ASSERT_EQ(img->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(img->GetPixelRGB(3, 0), kColours[3]);
}

}  // namespace
