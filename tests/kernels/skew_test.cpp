// Skew detection: the angle search's precision and range rules, pages with
// nothing to find, and text pages rendered by Pillow at 300 DPI and turned by
// a few degrees, measured here and (when Leptonica is there) by Leptonica's
// own skew finder on the same page.
#include "kernels/skew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "support/peer_fixture.h"
#include "support/pnm_image.h"

#ifdef FOLIVRA_HAVE_LEPT
#include <leptonica/allheaders.h>
#endif

namespace {

using testsupport::PnmImage;

// Black lines falling toward the right by Degrees (y grows with x), one every
// Gap rows, on white.
std::unique_ptr<TIEBitmap> LinedPage(int32_t W, int32_t H, double Degrees, int32_t Gap = 16) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie1g);
  B->Fill(1);
  const double Slope = std::tan(Degrees * 3.14159265358979 / 180);
  for (int32_t y0 = -H; y0 < 2 * H; y0 += Gap)
    for (int32_t x = 0; x < W; ++x) {
      const int32_t y = y0 + int32_t(std::lround(x * Slope));
      if (y >= 0 && y < H) B->GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
    }
  return B;
}

std::unique_ptr<TIEBitmap> FromPbm(const PnmImage& P) {
  auto B = std::make_unique<TIEBitmap>(P.Width, P.Height, ie1g);
  for (int32_t y = 0; y < P.Height; ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int32_t i = 0; i < P.RowBytes(); ++i) Row[i] = uint8_t(~P.Data[size_t(y) * P.RowBytes() + i]);
  }
  return B;
}

double Hough(TIEBitmap* B, int32_t Range, double Precision, bool* Found) {
  TIEProgressRec P;
  return IEHoughSkewAngle(B, P, Range, Precision, Found);
}

TEST(Skew, NothingToFindAnswersZeroAndNotFound) {
  auto Blank = std::make_unique<TIEBitmap>(200, 100, ie1g);
  Blank->Fill(1);
  auto Lined = LinedPage(200, 100, 2);
  auto Colour = std::make_unique<TIEBitmap>(200, 100, ie24RGB);
  struct {
    const char* Name;
    TIEBitmap* B;
    int32_t Range;
    double Precision;
  } Cases[] = {
      {"blank page", Blank.get(), 15, 0.1},     {"zero range", Lined.get(), 0, 0.1},
      {"precision cut to 0", Lined.get(), 15, 0.05}, {"precision above 1", Lined.get(), 15, 1.4},
      {"range above 180", Lined.get(), 181, 0.1}, {"not 1-bit", Colour.get(), 15, 0.1},
      {"NaN precision", Lined.get(), 15, std::nan("")},
  };
  for (const auto& C : Cases) {
    bool Found = true;
    EXPECT_EQ(Hough(C.B, C.Range, C.Precision, &Found), 0.0) << C.Name;
    EXPECT_FALSE(Found) << C.Name;
  }
  // The measurement of a blank page finds nothing either, with or without
  // edge detection.
  bool Found = true;
  EXPECT_EQ(IEDetectSkewAngle(Blank.get(), 0, 15, 0.1, true, nullptr, nullptr, &Found), 0.0);
  EXPECT_FALSE(Found);
  EXPECT_EQ(IEDetectSkewAngle(Blank.get(), 0, 15, 0.1, false, nullptr, nullptr, &Found), 0.0);
  EXPECT_FALSE(Found);
}

TEST(Skew, PrecisionIsCutToOneDecimalAndSetsTheStep) {
  auto Page = LinedPage(600, 400, 2.1);
  struct {
    double Precision;
    double Step;
  } Cases[] = {{0.15, 0.1}, {0.3, 0.2}, {0.4, 0.5}, {0.6, 0.5}, {0.7, 0.5}, {0.8, 1}, {1.0, 1}, {1.05, 1}};
  for (const auto& C : Cases) {
    bool Found = false;
    const double A = Hough(Page.get(), 15, C.Precision, &Found);
    ASSERT_TRUE(Found) << C.Precision;
    EXPECT_NEAR(std::remainder(A, C.Step), 0, 1e-9) << C.Precision << " gave " << A;
    EXPECT_NEAR(A, 2.1, C.Step) << C.Precision;
  }
}

TEST(Skew, SyntheticLinesAndTheSearchBand) {
  struct {
    double Degrees;
    int32_t Range;
    double Lo, Hi;
  } Cases[] = {{0, 15, -0.05, 0.05},  {3, 15, 2.9, 3.1},   {-3, 15, -3.1, -2.9},
               {7, 15, 6.9, 7.1},     {12, 15, -7.5, 7.3}, {12, 30, 11.9, 12.1}};
  for (const auto& C : Cases) {
    auto Page = LinedPage(500, 500, C.Degrees);
    bool Found = false;
    const double A = Hough(Page.get(), C.Range, 0.1, &Found);
    EXPECT_TRUE(Found);
    EXPECT_GE(A, C.Lo) << C.Degrees;
    EXPECT_LE(A, C.Hi) << C.Degrees;
  }
}

TEST(Skew, MeasuringLeavesThePageAsItWas) {
  auto Page = LinedPage(640, 480, 2);
  TIEBitmap Before;
  Before.Assign(Page.get());
  for (bool Edge : {false, true})
    for (int32_t Width : {0, 300}) {
      bool Found = false;
      const double A = IEDetectSkewAngle(Page.get(), Width, 15, 0.1, Edge, nullptr, nullptr, &Found);
      EXPECT_TRUE(Found) << Width << " " << Edge;
      EXPECT_NEAR(A, 2, 0.35) << Width << " " << Edge;
      ASSERT_EQ(Page->GetPixelFormat(), ie1g);
      for (int32_t y = 0; y < 480; ++y)
        ASSERT_EQ(0, std::memcmp(Page->GetScanline(y), Before.GetScanline(y), 80)) << y;
    }
  // A gray page is measured through its edges without becoming anything else.
  auto Gray = std::make_unique<TIEBitmap>();
  Gray->Assign(Page.get());
  Gray->SetPixelFormat(ie8g);
  bool Found = false;
  EXPECT_NEAR(IEDetectSkewAngle(Gray.get(), 0, 15, 0.1, true, nullptr, nullptr, &Found), 2, 0.35);
  EXPECT_TRUE(Found);
  EXPECT_EQ(Gray->GetPixelFormat(), ie8g);
  // Reduced without edge detection a colour page is not measured.
  Gray->SetPixelFormat(ie24RGB);
  EXPECT_EQ(IEDetectSkewAngle(Gray.get(), 300, 15, 0.1, false, nullptr, nullptr, &Found), 0.0);
  EXPECT_FALSE(Found);
}

TEST(Skew, ProgressRunsFromZeroUpToBelowHundred) {
  auto Page = LinedPage(100, 50, 1);
  int32_t Calls = 0, Last = -1;
  bool Rising = true;
  TIEProgressRec P;
  P.fOnProgress = [&](TObject*, int32_t Per) {
    Rising = Rising && Per >= Last;
    Last = Per;
    ++Calls;
  };
  IEHoughSkewAngle(Page.get(), P, 15, 0.1);
  EXPECT_EQ(Calls, 50);
  EXPECT_TRUE(Rising);
  EXPECT_EQ(Last, 98);
}

TEST(Skew, ShearRotationStraightensThePage) {
  for (double Degrees : {2.5, -4.0}) {
    auto Page = LinedPage(800, 600, Degrees);
    // Lines falling to the right are turned back counter-clockwise.
    ASSERT_TRUE(IERotate1BitShear(Page.get(), Degrees));
    EXPECT_EQ(Page->GetWidth(), 800);
    EXPECT_EQ(Page->GetHeight(), 600);
    bool Found = false;
    EXPECT_NEAR(IEDetectSkewAngle(Page.get(), 0, 15, 0.1, false, nullptr, nullptr, &Found), 0, 0.15) << Degrees;
    EXPECT_TRUE(Found);
  }
  // A single black pixel at the centre stays there; 0 degrees changes nothing.
  TIEBitmap Dot(101, 51, ie1g);
  Dot.Fill(1);
  Dot.GetScanline(25)[50 >> 3] &= uint8_t(~(0x80 >> (50 & 7)));
  ASSERT_TRUE(IERotate1BitShear(&Dot, 30));
  EXPECT_EQ(Dot.GetPixelRGB(50, 25).r, 0);
  TIEBitmap Gray(10, 10, ie8g);
  EXPECT_FALSE(IERotate1BitShear(&Gray, 3));
  EXPECT_FALSE(IERotate1BitShear(&Dot, 46));
}

// Text pages at 300 DPI, turned by Pillow (positive = counter-clockwise).
class SkewTextPage : public testsupport::PeerToolTest {
 protected:
  std::unique_ptr<TIEBitmap> Page(double Degrees, const std::string& Name) {
    const std::string Script = File("page.py");
    testsupport::WriteFileBytes(Script, Bytes(R"(import sys, random
from PIL import Image, ImageDraw, ImageFont
random.seed(4)
words = 'the quick brown fox jumps over lazy dog page scan fax document editor image cleaning noise'.split()
img = Image.new('L', (2480, 3508), 255)
d = ImageDraw.Draw(img)
f = ImageFont.truetype('/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf', 46)
for y in range(250, 3200, 70):
    d.text((180, y), ' '.join(random.choice(words) for _ in range(11)), font=f, fill=0)
img = img.rotate(float(sys.argv[1]), resample=Image.BILINEAR, fillcolor=255)
img.point(lambda v: 255 if v >= 128 else 0).convert('1').save(sys.argv[2])
)"));
    Run("/usr/bin/python3 " + Script + " " + std::to_string(Degrees) + " " + File(Name));
    if (HasFatalFailure()) return nullptr;
    const PnmImage P = testsupport::ParsePnm(testsupport::ReadFileBytes(File(Name)));
    EXPECT_EQ(P.Kind, '4');
    return P.Width > 0 ? FromPbm(P) : nullptr;
  }
  static std::vector<uint8_t> Bytes(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }
};

TEST_F(SkewTextPage, FoundWithinATenthOfADegree) {
  if (testsupport::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "no Pillow";
  for (double Turn : {3.0, -3.0, 0.0}) {
    auto P = Page(Turn, "page.pbm");
    ASSERT_TRUE(P);
    // The application's call, and the whole page measured without reduction.
    struct {
      int32_t Width;
      bool Edge;
    } Calls[] = {{300, true}, {0, false}};
    for (const auto& C : Calls) {
      bool Found = false;
      const double A = IEDetectSkewAngle(P.get(), C.Width, 15, 0.1, C.Edge, nullptr, nullptr, &Found);
      EXPECT_TRUE(Found);
      EXPECT_NEAR(A, -Turn, 0.1) << "turn " << Turn << " width " << C.Width << " edges " << C.Edge;
    }
#ifdef FOLIVRA_HAVE_LEPT
    // Leptonica reads the same page (its 1 is black).
    PIX* Pix = pixCreate(P->GetWidth(), P->GetHeight(), 1);
    for (int32_t y = 0; y < P->GetHeight(); ++y) {
      const uint8_t* Row = P->GetScanline(y);
      for (int32_t x = 0; x < P->GetWidth(); ++x)
        if (!(Row[x >> 3] & (0x80 >> (x & 7)))) pixSetPixel(Pix, x, y, 1);
    }
    l_float32 Angle = 0, Conf = 0;
    ASSERT_EQ(pixFindSkew(Pix, &Angle, &Conf), 0);
    pixDestroy(&Pix);
    bool Found = false;
    const double Ours = IEDetectSkewAngle(P.get(), 300, 15, 0.1, true, nullptr, nullptr, &Found);
    // Leptonica answers the angle that deskews the page with its rotation:
    // positive for a page turned counter-clockwise.
    EXPECT_NEAR(Ours, -Angle, 0.15) << "turn " << Turn << " leptonica " << Angle;
#endif
  }
}

}  // namespace
