// Cleaning 1-bit pages: isolated pixels by their 3 x 3 count and the k-fill
// filter's passes, on small pictures drawn from strings, and a text page
// rendered by Pillow with specks sprinkled on it, whose connected components
// are counted by Leptonica before and after.
#include "kernels/despeckle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <utility>
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

// The k-fill filter written plainly, one pixel at a time over a byte plane of
// fill levels, as the yardstick for the fast kernel: 0 black, 255 white, the
// frame black; a black fill writes the low level and a white fill the high
// one, so pixels filled in the running pass still read as their old colour.
void PlainKFill(TIEBitmap* B, bool CheckConnectivity, bool StrictBlackFill, int32_t Iterations, bool Invert) {
  if (Iterations < 1) return;
  const int32_t W = B->GetWidth(), H = B->GetHeight();
  static constexpr int32_t Dx[8] = {-1, 0, 1, 1, 1, 0, -1, -1}, Dy[8] = {-1, -1, -1, 0, 1, 1, 1, 0};
  bool Table[2][256];
  for (int32_t Mode = 0; Mode < 2; ++Mode)
    for (int32_t P = 0; P < 256; ++P) {
      const auto On = [P](int32_t i) { return ((P >> (i % 8)) & 1) != 0; };
      int32_t q = 0, r = 0, Set = 0;
      for (int32_t i = 1; i < 8; i += 2) q += !On(i) && On(i + 2);
      for (int32_t c = 0; c < 8; c += 2) {
        r += On(c);
        q += On(c) && !On(c + 7) && !On(c + 1);
      }
      for (int32_t i = 0; i < 8; ++i) Set += On(i);
      const int32_t n = Mode == 1 ? Set : 8 - Set;
      if (CheckConnectivity && q > 1)
        Table[Mode][P] = false;
      else if (Mode == 1 || !StrictBlackFill)
        Table[Mode][P] = n > 5 || (n == 5 && r == 2);
      else
        Table[Mode][P] = n == 8 || (n == 5 && r == 2);
    }
  std::vector<int32_t> V(size_t(W) * size_t(H));
  const auto At = [&](int32_t x, int32_t y) -> int32_t& { return V[size_t(y) * size_t(W) + size_t(x)]; };
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const bool Set = (B->GetScanline(y)[x >> 3] & (0x80 >> (x & 7))) != 0;
      At(x, y) = (x == 0 || y == 0 || x == W - 1 || y == H - 1) ? 0 : (Set != Invert ? 255 : 0);
    }
  int32_t Low = 1, High = 254;
  const auto Step = [&](int32_t x, int32_t y, int32_t Mode) {
    int32_t Pattern = 0;
    for (int32_t i = 0; i < 8; ++i) {
      const int32_t v = At(x + Dx[i], y + Dy[i]);
      Pattern |= int32_t(Mode == 0 ? v >= Low : v > High) << i;
    }
    int32_t& v = At(x, y);
    if (Mode == 0 ? v <= Low : v >= High) return false;
    if (!Table[Mode][Pattern]) return false;
    v = Mode == 0 ? Low : High;
    return true;
  };
  std::vector<std::vector<std::pair<int32_t, int32_t>>> Runs(size_t(std::max(H, 0)));
  bool Last = false, BeforeLast = true;
  for (int32_t y = 1; y < H - 1; ++y) {
    auto& R = Runs[size_t(y)];
    bool PrevWhite = false;
    for (int32_t x = 1; x < W - 1; ++x) {
      const bool White = At(x, y) > Low;
      if (White && !PrevWhite) {
        if (!R.empty() && x - R.back().second < 5)
          R.back().second = -1;
        else
          R.push_back({x, -1});
      } else if (!White && PrevWhite) {
        R.back().second = x - 1;
      }
      PrevWhite = White;
      Last |= Step(x, y, 0);
    }
    if (!R.empty() && R.back().second < 0) R.back().second = W - 1;
  }
  int32_t Mode = 1, Passes = 1;
  --High;
  while (Passes < Iterations && (Last || BeforeLast)) {
    bool Changed = false;
    for (int32_t y = 1; y < H - 1; ++y) {
      int32_t Next = 1;
      for (const auto& [A, E] : Runs[size_t(y)]) {
        const int32_t To = std::min(E + 1, W - 2);
        for (int32_t x = std::max({A - 1, Next, 1}); x <= To; ++x) Changed |= Step(x, y, Mode);
        Next = std::max(Next, To + 1);
      }
    }
    ++Passes;
    if (Mode == 1)
      ++Low;
    else
      --High;
    if (Last) Mode = 1 - Mode;
    BeforeLast = Last;
    Last = Changed;
  }
  for (int32_t y = 1; y < H - 1; ++y)
    for (int32_t x = 1; x < W - 1; ++x) {
      uint8_t& Byte = B->GetScanline(y)[x >> 3];
      const uint8_t Mask = uint8_t(0x80 >> (x & 7));
      const int32_t v = At(x, y);
      if (v <= Low)
        Byte = uint8_t(Invert ? Byte | Mask : Byte & ~Mask);
      else if (v >= High)
        Byte = uint8_t(Invert ? Byte & ~Mask : Byte | Mask);
    }
}

// A page of ragged strokes (bars, one-pixel lines, corners, holes) with
// Density of its pixels flipped at random.
std::unique_ptr<TIEBitmap> NoisyStrokes(int32_t W, int32_t H, double Density, uint32_t Seed) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie1g);
  B->Fill(1);
  std::mt19937 Rng(Seed);
  const auto Flip = [&](int32_t x, int32_t y) { B->GetScanline(y)[x >> 3] ^= uint8_t(0x80 >> (x & 7)); };
  const auto Black = [&](int32_t x, int32_t y) { B->GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7))); };
  for (int32_t i = 0; i < (W * H) / 400 + 1; ++i) {
    const int32_t x0 = int32_t(Rng() % uint32_t(W)), y0 = int32_t(Rng() % uint32_t(H));
    const int32_t Len = 1 + int32_t(Rng() % 40), Thick = 1 + int32_t(Rng() % 4);
    const bool Across = Rng() & 1;
    for (int32_t a = 0; a < Len; ++a)
      for (int32_t t = 0; t < Thick; ++t) {
        const int32_t x = Across ? x0 + a : x0 + t, y = Across ? y0 + t : y0 + a;
        if (x < W && y < H) Black(x, y);
      }
  }
  std::bernoulli_distribution Noise(Density);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (Noise(Rng)) Flip(x, y);
  return B;
}

bool SameBits(TIEBitmap* A, TIEBitmap* B) {
  for (int32_t y = 0; y < A->GetHeight(); ++y)
    for (int32_t x = 0; x < A->GetWidth(); ++x)
      if (((A->GetScanline(y)[x >> 3] ^ B->GetScanline(y)[x >> 3]) & (0x80 >> (x & 7))) != 0) return false;
  return true;
}

TEST(KFill, MatchesThePlainFilterPixelForPixel) {
  struct TPage {
    int32_t W, H;
    double Density;
  };
  // Widths around the 64-pixel word and byte edges, tiny pages, and noise
  // from sparse specks to mostly black.
  const TPage Pages[] = {{1, 1, 0.3},    {2, 5, 0.5},    {3, 3, 0.5},    {5, 4, 0.4},     {9, 7, 0.2},
                         {63, 40, 0.05}, {64, 33, 0.1},  {65, 31, 0.3},  {127, 20, 0.5},  {128, 24, 0.7},
                         {130, 50, 0.02}, {200, 90, 0.0}, {201, 77, 0.95}, {333, 129, 0.15}};
  int32_t Changed = 0;
  uint32_t Seed = 1;
  for (const TPage& P : Pages)
    for (int32_t Flags = 0; Flags < 8; ++Flags)
      for (const int32_t Iterations : {1, 2, 3, 5, 9}) {
        const bool Connectivity = Flags & 1, Strict = Flags & 2, Invert = Flags & 4;
        auto In = NoisyStrokes(P.W, P.H, P.Density, ++Seed);
        TIEBitmap Fast, Plain;
        Fast.Assign(In.get());
        Plain.Assign(In.get());
        IEKFill(&Fast, Connectivity, Strict, Iterations, Iterations % 2 ? 3 : 5, Invert);
        PlainKFill(&Plain, Connectivity, Strict, Iterations, Invert);
        ASSERT_TRUE(SameBits(&Fast, &Plain)) << P.W << " x " << P.H << " density " << P.Density << " flags "
                                             << Flags << " iterations " << Iterations;
        Changed += !SameBits(&Fast, In.get());
      }
  // The table is no trivial one: most runs changed something.
  EXPECT_GT(Changed, 300);
}

TEST(KFill, WorksOnPagesKeptInAFile) {
  auto In = NoisyStrokes(150, 60, 0.1, 99);
  TIEBitmap File, Plain;
  File.SetMemoryThreshold(1);
  File.Assign(In.get());
  File.SetMemoryThreshold(1);
  File.SetLocation(ieFile);
  ASSERT_EQ(File.GetLocation(), ieFile);
  Plain.Assign(In.get());
  IEKFill(&File, true, true, 4, 3, true);
  PlainKFill(&Plain, true, true, 4, true);
  EXPECT_TRUE(SameBits(&File, &Plain));
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
  TIEBitmap Plain;
  Plain.Assign(&Noisy);
  PlainKFill(&Plain, true, true, 2, false);
  EXPECT_TRUE(SameBits(&B, &Plain));
}
#endif

}  // namespace
