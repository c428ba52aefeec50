// Rendering into a 24-bit bitmap: clipping (halves to even), index tables,
// the kernels of every source format with and without alpha, display range,
// contrast and offsets, render operations, row reuse, the filtered pre-pass
// through the resampler hooks, and bounds safety of tables handed in.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundations/bitmap_render.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/types.h"

namespace {

std::unique_ptr<TIEBitmap> Mem(int32_t W, int32_t H, TIEPixelFormat F) {
  auto B = std::make_unique<TIEBitmap>();
  B->SetLocation(ieMemory);
  EXPECT_TRUE(B->Allocate(W, H, F));
  return B;
}

// A destination filled with one colour.
std::unique_ptr<TIEBitmap> Dest(int32_t W, int32_t H, uint8_t V = 0) {
  auto D = Mem(W, H, ie24RGB);
  for (int32_t Y = 0; Y < H; ++Y) std::memset(D->GetScanline(Y), V, size_t(D->GetRowLen()));
  return D;
}

// A 24-bit source whose pixel (x, y) is (b = x, g = y, r = 7).
std::unique_ptr<TIEBitmap> Coded(int32_t W, int32_t H) {
  auto S = Mem(W, H, ie24RGB);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) S->SetPixel24(X, Y, TRGB{uint8_t(X), uint8_t(Y), 7});
  return S;
}

TEST(RenderToTIEBitmap, NegativeOriginDrawsTheRightHalf) {
  auto S = Coded(100, 100);
  auto D = Dest(100, 100);
  S->RenderToTIEBitmapSimple(D.get(), -50, 0, 100, 100, 0, 0, 100, 100);
  EXPECT_EQ(D->GetPixel24(0, 3), (TRGB{50, 3, 7}));
  EXPECT_EQ(D->GetPixel24(49, 3), (TRGB{99, 3, 7}));
  EXPECT_EQ(D->GetPixel24(50, 3), (TRGB{0, 0, 0}));
}

TEST(RenderToTIEBitmap, ClippingRoundsHalvesToEvenAndTablesTruncate) {
  // 3 source columns over 6 destination columns (scale 0.5): one column cut
  // off on the left moves the source by round(0.5) = 0, three by round(1.5) = 2.
  auto S = Coded(3, 1);
  auto D = Dest(10, 1);
  S->RenderToTIEBitmapSimple(D.get(), -1, 0, 6, 1, 0, 0, 3, 1);
  const uint8_t Expect1[] = {0, 0, 1, 1, 2};
  for (int32_t X = 0; X < 5; ++X) EXPECT_EQ(D->GetPixel24(X, 0).b, Expect1[X]) << X;
  auto D3 = Dest(10, 1);
  S->RenderToTIEBitmapSimple(D3.get(), -3, 0, 6, 1, 0, 0, 3, 1);
  EXPECT_EQ(D3->GetPixel24(0, 0).b, 2);
  EXPECT_EQ(D3->GetPixel24(2, 0).b, 2);
  // 7 columns over 3: Trunc(x x 7/3).
  auto S7 = Coded(7, 1);
  auto D7 = Dest(3, 1);
  S7->RenderToTIEBitmapSimple(D7.get(), 0, 0, 3, 1, 0, 0, 7, 1);
  EXPECT_EQ(D7->GetPixel24(0, 0).b, 0);
  EXPECT_EQ(D7->GetPixel24(1, 0).b, 2);
  EXPECT_EQ(D7->GetPixel24(2, 0).b, 4);
}

TEST(RenderToTIEBitmap, ClipRectLimitsTheWrittenSquare) {
  auto S = Mem(50, 50, ie24RGB);
  S->Fill(double(0xFFFFFF));
  auto D = Dest(50, 50);
  TRect Clip{10, 10, 19, 19};
  S->RenderToTIEBitmap(D.get(), nullptr, nullptr, nullptr, &Clip, 0, 0, 50, 50, 0, 0, 50, 50,
                       true, false, 255, rfNone, true, 0);
  int Changed = 0;
  for (int32_t Y = 0; Y < 50; ++Y)
    for (int32_t X = 0; X < 50; ++X) Changed += D->GetPixel24(X, Y).r != 0;
  EXPECT_EQ(Changed, 100);
  EXPECT_EQ(D->GetPixel24(10, 10).r, 255);
  EXPECT_EQ(D->GetPixel24(19, 19).r, 255);
}

// Every source format, opaque and blended at transparency 128 over black.
TEST(RenderToTIEBitmap, EveryFormatOpaqueAndBlended) {
  struct Case {
    TIEPixelFormat F;
    std::function<void(TIEBitmap&)> Set;
    TRGB Expect;
  } Cases[] = {
      {ie1g, [](TIEBitmap& B) { B.GetScanline(0)[0] = 0x80; }, {255, 255, 255}},
      {ie8g, [](TIEBitmap& B) { B.GetScanline(0)[0] = 200; }, {200, 200, 200}},
      {ie8p,
       [](TIEBitmap& B) {
         B.SetPaletteColor(5, TRGB{10, 20, 30});
         B.GetScanline(0)[0] = 5;
       },
       {10, 20, 30}},
      {ie16g, [](TIEBitmap& B) { B.SetPixel16(0, 0, 0xAB12); }, {0xAB, 0xAB, 0xAB}},
      {ie24RGB, [](TIEBitmap& B) { B.SetPixel24(0, 0, TRGB{1, 2, 200}); }, {1, 2, 200}},
      {ie32RGB, [](TIEBitmap& B) { std::memcpy(B.GetScanline(0), "\x01\x02\xC8\x00", 4); }, {1, 2, 200}},
      {ie32f, [](TIEBitmap& B) { B.SetPixelFloat(0, 0, 0.5f); }, {127, 127, 127}},
      {ieCMYK, [](TIEBitmap& B) { B.SetPixel32(0, 0, TCMYK{255, 255, 255, 255}); }, {255, 255, 255}},
      {ieRGB48, [](TIEBitmap& B) { B.SetPixel48(0, 0, TRGB48{0xC812, 0x0200, 0x01FF}); }, {1, 2, 200}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.F));
    auto S = Mem(1, 1, C.F);
    C.Set(*S);
    auto D = Dest(2, 2);
    S->RenderToTIEBitmapSimple(D.get(), 0, 0, 2, 2, 0, 0, 1, 1);
    EXPECT_EQ(D->GetPixel24(1, 1), C.Expect);
    auto H = Dest(1, 1);
    S->RenderToTIEBitmapSimple(H.get(), 0, 0, 1, 1, 0, 0, 1, 1, 128);
    // d + (128 x (v - d)) >> 8 over d = 0: v / 2 rounded down.
    TRGB Half{uint8_t(C.Expect.b * 128 >> 8), uint8_t(C.Expect.g * 128 >> 8),
              uint8_t(C.Expect.r * 128 >> 8)};
    EXPECT_EQ(H->GetPixel24(0, 0), Half);
  }
}

TEST(RenderToTIEBitmap, AlphaPlaneBlendsAndAFullPlaneIsIgnored) {
  for (TIEPixelFormat F : {ie1g, ie8g, ie24RGB, ie32RGB}) {
    SCOPED_TRACE(int(F));
    auto S = Mem(4, 1, F);
    S->Fill(F == ie1g || F == ie8g ? 255.0 : double(0xFFFFFF));
    S->GetAlphaChannel()->SetFull(true);
    S->GetAlphaChannel()->GetScanline(0)[1] = 0;  // ignored while full
    auto D = Dest(4, 1, 10);
    S->RenderToTIEBitmapSimple(D.get(), 0, 0, 4, 1, 0, 0, 4, 1);
    EXPECT_EQ(D->GetPixel24(1, 0).g, 255);
    S->SetAlpha(1, 0, 0);
    S->SetAlpha(2, 0, 128);
    S->GetAlphaChannel()->SetFull(false);
    auto D2 = Dest(4, 1, 10);
    S->RenderToTIEBitmapSimple(D2.get(), 0, 0, 4, 1, 0, 0, 4, 1);
    EXPECT_EQ(D2->GetPixel24(1, 0).g, 10);
    EXPECT_EQ(D2->GetPixel24(2, 0).g, 10 + (128 * 245 >> 8));
    // alpha 255 still goes through the blend: 10 + 255 x 245 / 256.
    EXPECT_EQ(D2->GetPixel24(0, 0).g, 10 + (255 * 245 >> 8));
    // Transparency caps the plane.
    auto D3 = Dest(4, 1, 0);
    S->RenderToTIEBitmapSimple(D3.get(), 0, 0, 4, 1, 0, 0, 4, 1, 128);
    EXPECT_EQ(D3->GetPixel24(0, 0).g, 127);
  }
}

TEST(RenderToTIEBitmap, DisplayRangeContrastAndOffsets) {
  auto G = Mem(2, 1, ie16g);
  G->SetPixel16(0, 0, 4095);
  G->SetPixel16(1, 0, 2048);
  G->SetRangeLow(0);
  G->SetRangeHigh(4095);
  auto D = Dest(2, 1);
  G->RenderToTIEBitmapSimple(D.get(), 0, 0, 2, 1, 0, 0, 2, 1);
  EXPECT_EQ(D->GetPixel24(0, 0).r, 255);
  EXPECT_EQ(D->GetPixel24(1, 0).r, 127);

  // Contrast 10 doubles the distance from 128; offsets move red, green, blue.
  auto S = Mem(1, 1, ie24RGB);
  S->SetPixel24(0, 0, TRGB{100, 100, 200});
  S->SetContrast(10);
  auto D2 = Dest(1, 1);
  S->RenderToTIEBitmapSimple(D2.get(), 0, 0, 1, 1, 0, 0, 1, 1);
  EXPECT_EQ(D2->GetPixel24(0, 0), (TRGB{72, 72, 255}));
  S->SetContrast(0);
  S->SetAdjust(1);
  S->SetChannelOffset(0, -50);
  S->SetChannelOffset(2, 5);
  S->RenderToTIEBitmapSimple(D2.get(), 0, 0, 1, 1, 0, 0, 1, 1);
  EXPECT_EQ(D2->GetPixel24(0, 0), (TRGB{105, 100, 150}));
  // Negative contrast: K = Trunc((1 - sqrt(4) / 10) x 65536) = 52428.
  S->SetAdjust(0);
  S->SetChannelOffset(0, 0);
  S->SetChannelOffset(2, 0);
  S->SetContrast(-4);
  S->RenderToTIEBitmapSimple(D2.get(), 0, 0, 1, 1, 0, 0, 1, 1);
  EXPECT_EQ(D2->GetPixel24(0, 0).r, 52428 * 72 / 65536 + 128);
  EXPECT_EQ(D2->GetPixel24(0, 0).b, 52428 * -28 / 65536 + 128);
}

TEST(RenderOperations, ArithmeticOfTheTable) {
  const TRGB S{200, 100, 30}, D{50, 150, 240};
  struct Case {
    uint8_t Op;
    TRGB Expect;
  } Cases[] = {
      {1, {250, 250, 255}},
      {2, {150, 50, 210}},
      {3, {0, 1, 8}},
      {4, {39, 58, 28}},
      {8, {200, 150, 240}},
      {10, {125, 125, 135}},
      {11, {210, 191, 241}},
      // 13: (d + s - s x d / 128) % 256.
      {13, {172, 133, 214}},
      // 14 (overlay by d): d < 128 -> s x d >> 7, else 255 - (255-d)(255-s) >> 7.
      {14, {78, 128, 229}},
      {18, {232, 247, 255}},
      {28, {0, 0, 14}},
      {31, {50, 150, 30}},
      {39, {200, 100, 240}},
      {41, {200, 100, 30}},
      {42, {50, 150, 240}},
      {99, {50, 150, 240}},
  };
  for (const Case& C : Cases) EXPECT_EQ(IERenderCombine(C.Op, S, D, 0), C.Expect) << int(C.Op);
  EXPECT_EQ(IERenderCombine(42, S, D, 1), S);
  // 16, soft light, from its formula for one channel pair (s 200, d 50).
  double Cs = 200 / 255.0, E = 50 / 255.0;
  EXPECT_EQ(IERenderCombine(16, S, D, 0).b, uint8_t(255 * (std::sqrt(E) * (2 * Cs - 1) + 2 * E * (1 - Cs))));
  // 38: red from the gray of d, green and blue from the gray of s.
  TRGB A = IERenderCombine(38, S, D, 0);
  EXPECT_EQ(A.r, (240 * 21 + 150 * 71 + 50 * 8) / 100);
  EXPECT_EQ(A.g, (30 * 21 + 100 * 71 + 200 * 8) / 100);
  // 34: hue of s with saturation and lightness of d; a gray d stays gray.
  EXPECT_EQ(IERenderCombine(34, S, TRGB{90, 90, 90}, 0), (TRGB{90, 90, 90}));
  // HSL round trip.
  double Hh, Ss, Ll;
  IERenderRGBToHSL(TRGB{10, 200, 30}, Hh, Ss, Ll);
  EXPECT_EQ(IERenderHSLToRGB(Hh, Ss, Ll), (TRGB{10, 200, 30}));
}

TEST(RenderToTIEBitmap, OperationsApplyAndRowReuseKeepsRowParity) {
  auto S = Mem(2, 2, ie24RGB);
  S->Fill(double(0xFFFFFF));
  for (bool Reuse : {false, true}) {
    auto D = Dest(4, 8, 0);
    S->RenderToTIEBitmap(D.get(), nullptr, nullptr, nullptr, nullptr, 0, 0, 4, 8, 0, 0, 2, 2, true,
                         Reuse, 255, rfNone, true, 41);
    for (int32_t Y = 0; Y < 8; ++Y) EXPECT_EQ(D->GetPixel24(1, Y).r, Y % 2 == 0 ? 255 : 0) << Y;
  }
  // Row reuse copies only the written span, never pixels beside the clip.
  auto D = Dest(4, 4, 0);
  D->SetPixel24(0, 1, TRGB{9, 9, 9});
  TRect Clip{1, 0, 3, 3};
  S->RenderToTIEBitmap(D.get(), nullptr, nullptr, nullptr, &Clip, 0, 0, 4, 4, 0, 0, 2, 2, true, true,
                       255, rfNone, true, 0);
  EXPECT_EQ(D->GetPixel24(0, 1), (TRGB{9, 9, 9}));
  EXPECT_EQ(D->GetPixel24(3, 3).r, 255);
}

TEST(RenderToTIEBitmap, TablesHandedInAreCheckedAndReused) {
  auto S = Coded(4, 4);
  auto D = Dest(8, 8);
  std::vector<uint8_t*> Rows;
  std::vector<int32_t> XT, YT;
  S->RenderToTIEBitmap(D.get(), &Rows, &XT, &YT, nullptr, 0, 0, 8, 8, 0, 0, 4, 4, true, true, 255,
                       rfNone, false, 0);
  ASSERT_EQ(XT.size(), 8u);
  EXPECT_EQ(XT[7], 3);
  EXPECT_EQ(Rows.size(), 8u);
  // Damaged tables: entries beyond the source, negative ones, too short.
  for (auto Damage : {std::vector<int32_t>{0, 1, 2, 3, 99, 99, 99, 99}, std::vector<int32_t>{0, -5, 1},
                      std::vector<int32_t>{2147483647, 1}}) {
    XT = Damage;
    YT = Damage;
    auto D2 = Dest(8, 8);
    S->RenderToTIEBitmap(D2.get(), &Rows, &XT, &YT, nullptr, 0, 0, 8, 8, 0, 0, 4, 4, true, false,
                         255, rfNone, false, 0);
    for (int32_t X = 0; X < 8; ++X) EXPECT_LT(D2->GetPixel24(X, X).b, 4);
  }
  // A row table from another bitmap is rebuilt, not written through.
  auto Other = Dest(8, 8);
  std::vector<uint8_t*> Stale(8);
  for (int32_t Y = 0; Y < 8; ++Y) Stale[size_t(Y)] = Other->GetScanline(Y);
  auto D3 = Dest(8, 8);
  S->RenderToTIEBitmap(D3.get(), &Stale, nullptr, nullptr, nullptr, 0, 0, 8, 8, 0, 0, 4, 4, true,
                       false, 255, rfNone, true, 0);
  EXPECT_EQ(Other->GetPixel24(7, 7).r, 0);
  EXPECT_EQ(D3->GetPixel24(7, 7).r, 7);
}

TEST(RenderToTIEBitmap, DestinationsThatCannotTakeRowsAreLeftAlone) {
  auto S = Coded(4, 4);
  TIEBitmap FileDest;
  FileDest.SetLocation(ieFile);
  ASSERT_TRUE(FileDest.Allocate(4, 4, ie24RGB));
  FileDest.Fill(0);
  if (FileDest.GetLocation() == ieFile) {
    S->RenderToTIEBitmapSimple(&FileDest, 0, 0, 4, 4, 0, 0, 4, 4);
    EXPECT_EQ(FileDest.GetPixel24(1, 1).r, 0);
  }
  auto Gray = Mem(4, 4, ie8g);
  S->RenderToTIEBitmapSimple(Gray.get(), 0, 0, 4, 4, 0, 0, 4, 4);  // not 24-bit: nothing
  // A source at ieFile is read one row at a time.
  TIEBitmap FileSrc;
  FileSrc.SetLocation(ieFile);
  FileSrc.Assign(S.get());
  auto D = Dest(8, 8);
  FileSrc.RenderToTIEBitmapSimple(D.get(), 0, 0, 8, 8, 0, 0, 4, 4);
  EXPECT_EQ(D->GetPixel24(7, 5), (TRGB{3, 2, 7}));
  // Degenerate sizes draw nothing.
  S->RenderToTIEBitmapSimple(D.get(), 0, 0, 0, 8, 0, 0, 4, 4);
  S->RenderToTIEBitmapSimple(D.get(), 0, 0, -3, 8, 0, 0, 4, 4);
  S->RenderToTIEBitmapSimple(D.get(), 9, 0, 8, 8, 0, 0, 4, 4);
}

// Hooks that record their calls and fill the result with a marker.
struct HookRecorder {
  std::vector<std::string> Calls;
  HookRecorder() {
    IEResampleExHook = [this](TIEBitmap*, TIEBitmap* D, TResampleFilter) {
      Calls.push_back("ResampleEx");
      D->Fill(double(0x404040));
    };
    IEResample1BitExHook = [this](TIEBitmap* S, TIEBitmap* D, TResampleFilter) {
      Calls.push_back(D->GetPixelFormat() == ie1g ? "1Bit->1g" : "1Bit->24");
      IERenderStretchNearest(S, D);
    };
    IEResample8BitHook = [this](TIEBitmap*, TIEBitmap* D, TResampleFilter) {
      Calls.push_back("8Bit");
      D->Fill(128);
    };
    IEResample1BitBoxGrayHook = [this](TIEBitmap*, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                       TIEBitmap* D) {
      Calls.push_back("BoxGray " + std::to_string(X2 - X1 + 1) + "x" + std::to_string(Y2 - Y1 + 1));
      D->Fill(double(0x7F7F7F));
    };
  }
  ~HookRecorder() {
    IEResampleExHook = nullptr;
    IEResample1BitExHook = nullptr;
    IEResample8BitHook = nullptr;
    IEResample1BitBoxGrayHook = nullptr;
  }
};

TEST(RenderToTIEBitmap, FilteredPathsGoThroughTheResamplers) {
  HookRecorder Hooks;
  auto Page = Mem(40, 40, ie1g);
  Page->Fill(1);
  // Shrinking a 1-bit page: box-averaged grays.
  auto D = Dest(10, 10);
  Page->RenderToTIEBitmapSimple(D.get(), 0, 0, 10, 10, 0, 0, 40, 40, 255, rfFastLinear);
  ASSERT_EQ(Hooks.Calls.size(), 1u);
  EXPECT_EQ(Hooks.Calls[0], "BoxGray 40x40");
  EXPECT_EQ(D->GetPixel24(3, 3).r, 0x7F);
  // With a projection it stays pure black and white.
  Hooks.Calls.clear();
  Page->RenderToTIEBitmapSimple(D.get(), 0, 0, 10, 10, 0, 0, 40, 40, 255, rfProjectBW);
  EXPECT_EQ(Hooks.Calls, std::vector<std::string>{"1Bit->1g"});
  EXPECT_EQ(D->GetPixel24(3, 3).r, 255);
  // Enlarging 1-bit goes to 24-bit gray; a 24-bit source with alpha
  // resamples its plane too.
  Hooks.Calls.clear();
  auto Big = Dest(80, 80);
  Page->RenderToTIEBitmapSimple(Big.get(), 0, 0, 80, 80, 0, 0, 40, 40, 255, rfFastLinear);
  EXPECT_EQ(Hooks.Calls, std::vector<std::string>{"1Bit->24"});
  Hooks.Calls.clear();
  auto Rgb = Coded(20, 20);
  Rgb->SetAlpha(0, 0, 0);
  Rgb->GetAlphaChannel()->SetFull(false);
  auto D2 = Dest(10, 10, 0);
  Rgb->RenderToTIEBitmapSimple(D2.get(), 0, 0, 10, 10, 0, 0, 20, 20, 255, rfLanczos3);
  EXPECT_EQ(Hooks.Calls, (std::vector<std::string>{"ResampleEx", "8Bit"}));
  EXPECT_EQ(D2->GetPixel24(5, 5).r, 0x40 * 128 >> 8);
  // Other formats and equal sizes take the direct path.
  Hooks.Calls.clear();
  auto G = Mem(20, 20, ie8g);
  G->RenderToTIEBitmapSimple(D2.get(), 0, 0, 10, 10, 0, 0, 20, 20, 255, rfLanczos3);
  Rgb->RenderToTIEBitmapSimple(D2.get(), 0, 0, 10, 10, 0, 0, 10, 10, 255, rfLanczos3);
  EXPECT_TRUE(Hooks.Calls.empty());
}

TEST(RenderToTIEBitmap, WithoutHooksFilteredPathsStillDraw) {
  auto Page = Mem(40, 40, ie1g);
  Page->Fill(0);
  Page->FillRect(0, 0, 19, 39, 1);
  auto D = Dest(10, 10, 50);
  Page->RenderToTIEBitmapSimple(D.get(), 0, 0, 10, 10, 0, 0, 40, 40, 255, rfFastLinear);
  EXPECT_EQ(D->GetPixel24(1, 5).r, 255);
  EXPECT_EQ(D->GetPixel24(8, 5).r, 0);
}

TEST(RenderStretchNearest, FileBackedRowsGiveWhatMemoryGives) {
  // A 1-bit page and a 24-bit picture, stretched once between bitmaps in
  // memory and once between bitmaps in temporary files.
  const int64_t SavedThreshold = IETempFileThreshold;
  struct Restore {
    int64_t Value;
    ~Restore() { IETempFileThreshold = Value; }
  } RestoreThreshold{SavedThreshold};
  auto Page = Mem(13, 9, ie1g);
  Page->Fill(0);
  Page->FillRect(2, 1, 6, 7, 1);
  auto Picture = Coded(13, 9);
  for (TIEBitmap* Source : {Page.get(), Picture.get()}) {
    for (TIEPixelFormat Format : {Source->GetPixelFormat(), ie24RGB}) {
      auto MemDest = Mem(29, 17, Format);
      IERenderStretchNearest(Source, MemDest.get());
      IETempFileThreshold = 0;  // every allocation below goes to a file
      TIEBitmap FileSource, FileDest;
      FileSource.SetLocation(ieFile);
      FileSource.Assign(Source);
      FileDest.SetLocation(ieFile);
      ASSERT_TRUE(FileDest.Allocate(29, 17, Format));
      FileDest.Fill(0);
      if (FileSource.GetLocation() != ieFile || FileDest.GetLocation() != ieFile) GTEST_SKIP();
      IERenderStretchNearest(&FileSource, &FileDest);
      for (int32_t Y = 0; Y < 17; ++Y)
        for (int32_t X = 0; X < 29; ++X)
          ASSERT_EQ(FileDest.GetPixelRGB(X, Y), MemDest->GetPixelRGB(X, Y)) << X << "," << Y;
      IETempFileThreshold = SavedThreshold;
    }
  }
}

TEST(RenderToTBitmap, DrawsIntoAPlatformBitmap) {
  auto S = Coded(4, 4);
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(4, 4);
  S->RenderToTBitmapSimple(&B, 0, 0, 4, 4, 0, 0, 4, 4);
  EXPECT_EQ(B.GetScanLine(2)[3 * 3], 3);
  EXPECT_EQ(B.GetScanLine(2)[3 * 3 + 1], 2);
}

}  // namespace

namespace {

// The 1:1 fax path expands whole bytes: every bit offset and tail length
// must give the same pixels as reading bit by bit.
TEST(RenderToTIEBitmap, OneBitAtOneToOneMatchesBitByBit) {
  auto S = Mem(203, 3, ie1g);
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int64_t X = 0; X < S->GetRowLen(); ++X) S->GetScanline(Y)[X] = uint8_t(X * 73 + Y * 29 + 5);
  for (int32_t SrcX : {0, 1, 3, 7, 8, 13}) {
    for (int32_t W : {64, 71, 190 - SrcX}) {
      SCOPED_TRACE(std::to_string(SrcX) + " " + std::to_string(W));
      auto D = Dest(200, 3, 77);
      S->RenderToTIEBitmapSimple(D.get(), 2, 0, W, 3, SrcX, 0, W, 3);
      for (int32_t Y = 0; Y < 3; ++Y)
        for (int32_t X = 0; X < W && X + 2 < 200; ++X) {
          int32_t C = SrcX + X;
          uint8_t Expect = (S->GetScanline(Y)[C >> 3] >> (7 - (C & 7))) & 1 ? 255 : 0;
          ASSERT_EQ(D->GetPixel24(X + 2, Y).g, Expect) << X << "," << Y;
        }
      EXPECT_EQ(D->GetPixel24(1, 1).g, 77);
    }
  }
}

}  // namespace
