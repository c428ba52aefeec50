// Cleaning 1-bit pages: isolated pixels by their 3 x 3 count and the k-fill
// filter's passes, on small pictures drawn from strings, and a text page
// rendered by Pillow with specks sprinkled on it, whose connected components
// are counted by Leptonica before and after.
#include "kernels/despeckle.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "support/peer_fixture.h"
#include "support/pnm_image.h"

#ifdef FOLIVRA_HAVE_LEPT
#include <leptonica/allheaders.h>
#endif

namespace {

// '#' black, '.' white.
std::unique_ptr<TIEBitmap> Picture(const std::vector<std::string>& Rows) {
  const int32_t W = int32_t(Rows[0].size()), H = int32_t(Rows.size());
  auto B = std::make_unique<TIEBitmap>(W, H, ie1g);
  B->Fill(1);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (Rows[y][x] == '#') B->GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  return B;
}

std::vector<std::string> Text(TIEBitmap* B) {
  std::vector<std::string> Out;
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    std::string S;
    for (int32_t x = 0; x < B->GetWidth(); ++x) S += (B->GetScanline(y)[x >> 3] & (0x80 >> (x & 7))) ? '.' : '#';
    Out.push_back(S);
  }
  return Out;
}

TEST(IsolatedPixels, CountsTheThreeByThreeNeighbourhood) {
  const std::vector<std::string> Speck = {".....", ".....", "..#..", ".....", "....."};
  const std::vector<std::string> Pair = {".....", ".....", "..##.", ".....", "....."};
  const std::vector<std::string> White = {".....", ".....", ".....", ".....", "....."};
  struct {
    const char* Name;
    std::vector<std::string> In;
    int32_t Colour, Size;
    std::vector<std::string> Out;
  } Cases[] = {
      {"single black pixel, size 1", Speck, 0, 1, White},
      {"touching pair survives size 1", Pair, 0, 1, Pair},
      {"touching pair goes with size 2", Pair, 0, 2, White},
      {"size 0 changes nothing", Speck, 0, 0, Speck},
      {"white colour leaves black alone", Speck, 255, 1, Speck},
      {"size 9 removes every white pixel", Speck, 1, 9, {"#####", "#####", "#####", "#####", "#####"}},
      {"white hole in black", {"#####", "#####", "##.##", "#####", "#####"}, 1, 1,
       {"#####", "#####", "#####", "#####", "#####"}},
  };
  for (const auto& C : Cases) {
    auto B = Picture(C.In);
    IERemoveIsolatedPixels(B.get(), 0, 0, 5, 5, C.Colour, C.Size);
    EXPECT_EQ(Text(B.get()), C.Out) << C.Name;
  }
}

TEST(IsolatedPixels, StaysInsideTheRectangleAndSeesOnlyIt) {
  // The pair straddles the rectangle's left edge: inside it, the right pixel
  // is alone and goes; the left one is outside and stays.
  auto B = Picture({"......", "..##..", "......"});
  IERemoveIsolatedPixels(B.get(), 3, 0, 6, 3, 0, 1);
  EXPECT_EQ(Text(B.get()), (std::vector<std::string>{"......", "..#...", "......"}));
  // Rectangles past the image are clipped; other formats are left alone.
  IERemoveIsolatedPixels(B.get(), -5, -5, 100, 100, 0, 1);
  EXPECT_EQ(Text(B.get())[1], "......");
  TIEBitmap Gray(4, 4, ie8g);
  Gray.Fill(0);
  IERemoveIsolatedPixels(&Gray, 0, 0, 4, 4, 0, 9);
  EXPECT_EQ(Gray.GetPixel8(1, 1), 0);
}

TEST(KFill, PassesFillSpecksAndKeepStrokes) {
  const std::vector<std::string> Hole = {"#######", "#######", "#######", "###.###", "#######", "#######",
                                         "#######"};
  const std::vector<std::string> Black = {"#######", "#######", "#######", "#######", "#######", "#######",
                                          "#######"};
  const std::vector<std::string> Speck = {".......", ".......", ".......", "...#...", ".......", ".......",
                                          "......."};
  const std::vector<std::string> Clean = {".......", ".......", ".......", ".......", ".......", ".......",
                                          "......."};
  const std::vector<std::string> Line = {".......", ".......", ".......", "#######", ".......", ".......",
                                         "......."};
  struct {
    const char* Name;
    std::vector<std::string> In;
    int32_t Iterations;
    bool Invert;
    std::vector<std::string> Out;
  } Cases[] = {
      {"one pass fills a white hole", Hole, 1, false, Black},
      {"one pass keeps a black speck", Speck, 1, false, Speck},
      {"two passes remove a black speck", Speck, 2, false, Clean},
      {"a one-pixel line is not broken", Line, 4, false, Line},
      {"inverted, the first pass removes a black speck", Speck, 1, true, Clean},
      {"zero iterations change nothing", Speck, 0, false, Speck},
  };
  for (const auto& C : Cases) {
    auto B = Picture(C.In);
    IEKFill(B.get(), true, true, C.Iterations, 3, C.Invert);
    EXPECT_EQ(Text(B.get()), C.Out) << C.Name;
  }
}

TEST(KFill, BorderPixelsNeverChange) {
  auto B = Picture({"#.....#", ".......", ".......", "...#...", ".......", ".......", "#.....#"});
  IEKFill(B.get(), true, true, 5, 3, false);
  EXPECT_EQ(Text(B.get()),
            (std::vector<std::string>{"#.....#", ".......", ".......", ".......", ".......", ".......", "#.....#"}));
}

#ifdef FOLIVRA_HAVE_LEPT
int32_t Components(TIEBitmap* B) {
  PIX* Pix = pixCreate(B->GetWidth(), B->GetHeight(), 1);
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* Row = B->GetScanline(y);
    for (int32_t x = 0; x < B->GetWidth(); ++x)
      if (!(Row[x >> 3] & (0x80 >> (x & 7)))) pixSetPixel(Pix, x, y, 1);
  }
  l_int32 N = 0;
  pixCountConnComp(Pix, 8, &N);
  pixDestroy(&Pix);
  return N;
}

class DespeckleTextPage : public testsupport::PeerToolTest {};

TEST_F(DespeckleTextPage, StrokesKeepTheirComponentsAndSpecksGo) {
  if (testsupport::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "no Pillow";
  const std::string Script = R"(import sys, random
from PIL import Image, ImageDraw, ImageFont
random.seed(7)
words = 'minimum hill ink jig quiz fax page scan dot line'.split()
img = Image.new('L', (1240, 900), 255)
d = ImageDraw.Draw(img)
f = ImageFont.truetype('/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf', 42)
for y in range(40, 820, 64):
    d.text((40, y), ' '.join(random.choice(words) for _ in range(7)), font=f, fill=0)
img.point(lambda v: 255 if v >= 128 else 0).convert('1').save(sys.argv[1])
)";
  testsupport::WriteFileBytes(File("page.py"), std::vector<uint8_t>(Script.begin(), Script.end()));
  Run("/usr/bin/python3 " + File("page.py") + " " + File("page.pbm"));
  ASSERT_FALSE(HasFatalFailure());
  const auto P = testsupport::ParsePnm(testsupport::ReadFileBytes(File("page.pbm")));
  ASSERT_EQ(P.Kind, '4');
  auto Clean = std::make_unique<TIEBitmap>(P.Width, P.Height, ie1g);
  for (int32_t y = 0; y < P.Height; ++y)
    for (int32_t i = 0; i < P.RowBytes(); ++i)
      Clean->GetScanline(y)[i] = uint8_t(~P.Data[size_t(y) * P.RowBytes() + i]);
  const int32_t Strokes = Components(Clean.get());
  ASSERT_GT(Strokes, 200);
  // Specks of one pixel, each with white all around it.
  TIEBitmap Noisy;
  Noisy.Assign(Clean.get());
  std::mt19937 Rng(11);
  int32_t Specks = 0;
  for (int32_t i = 0; i < 3000 && Specks < 500; ++i) {
    const int32_t x = 2 + int32_t(Rng() % uint32_t(P.Width - 4)), y = 2 + int32_t(Rng() % uint32_t(P.Height - 4));
    bool Free = true;
    for (int32_t dy = -2; dy <= 2 && Free; ++dy)
      for (int32_t dx = -2; dx <= 2; ++dx)
        if (!(Noisy.GetScanline(y + dy)[(x + dx) >> 3] & (0x80 >> ((x + dx) & 7)))) Free = false;
    if (!Free) continue;
    Noisy.GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
    ++Specks;
  }
  ASSERT_EQ(Components(&Noisy), Strokes + Specks);
  TIEBitmap A, B;
  A.Assign(&Noisy);
  IERemoveIsolatedPixels(&A, 0, 0, P.Width, P.Height, 0, 1);
  EXPECT_EQ(Components(&A), Strokes);
  B.Assign(&Noisy);
  IEKFill(&B, true, true, 2, 3, false);
  EXPECT_EQ(Components(&B), Strokes);
}
#endif

}  // namespace
