// The image buffer: every pixel format at every location, the allocation
// rules, row access, alpha plane, copying, filling and resizing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include "foundations/image_buffer.h"
#include "foundations/pixel_types.h"
#include "foundations/settings.h"
#include "foundations/system_probes.h"
#include "foundations/colour_conversion.h"
#include "platform/gdi/bitmap.h"
#include "foundations/pixel_utils.h"

namespace {

// Restores the library-wide allocation settings a test changes.
struct SettingsGuard {
  int64_t Threshold = IETempFileThreshold;
  int64_t Limit = IELargeBlockLimit;
  bool Segments = IEAllowSegmentedMemory;
  bool Fallback = IEAllowTempFileFallback;
  ~SettingsGuard() {
    IETempFileThreshold = Threshold;
    IELargeBlockLimit = Limit;
    IEAllowSegmentedMemory = Segments;
    IEAllowTempFileFallback = Fallback;
  }
};

const TIEPixelFormat AllFormats[] = {ie1g,  ie8p,   ie8g,    ie16g,    ie24RGB,
                                     ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};

std::string FormatName(TIEPixelFormat F) {
  static const char* Names[] = {"NoFormat", "1g",   "8p",    "8g",    "16g",   "24RGB",
                                "32f",      "CMYK", "RGB48", "CIELab", "32RGB"};
  return Names[F];
}

// The stored bits of pixel (X, Y), as an integer.
uint64_t PixelValue(TIEBitmap& B, int32_t X, int32_t Y) {
  const uint8_t* Row = B.GetScanline(Y);
  int32_t Bits = B.GetBitCount();
  if (Bits == 1) return (Row[X >> 3] >> (7 - (X & 7))) & 1;
  uint64_t V = 0;
  std::memcpy(&V, Row + int64_t(X) * (Bits / 8), size_t(Bits / 8));
  return V;
}

void SetPixelValue(TIEBitmap& B, int32_t X, int32_t Y, uint64_t V) {
  uint8_t* Row = B.GetScanline(Y);
  int32_t Bits = B.GetBitCount();
  if (Bits == 1) {
    uint8_t M = uint8_t(0x80 >> (X & 7));
    Row[X >> 3] = V ? (Row[X >> 3] | M) : (Row[X >> 3] & ~M);
    return;
  }
  std::memcpy(Row + int64_t(X) * (Bits / 8), &V, size_t(Bits / 8));
}

// A value for every pixel that differs from its neighbours; float pixels get
// valid samples in 0..1.
uint64_t Pattern(TIEPixelFormat F, int32_t X, int32_t Y, uint32_t Seed) {
  uint32_t H = uint32_t(X) * 2654435761u ^ uint32_t(Y) * 40503u ^ Seed * 97u;
  H ^= H >> 13;
  H *= 0x5bd1e995u;
  H ^= H >> 15;
  if (F == ie1g) return H & 1;
  if (F == ie32f) {
    float S = float(H % 256) / 255.0f;
    uint32_t Bits;
    std::memcpy(&Bits, &S, 4);
    return Bits;
  }
  uint64_t V = (uint64_t(H) << 32) | (H * 2246822519u);
  int32_t Bits = IEBitCountOf(F);
  return Bits >= 64 ? V : (V & ((uint64_t(1) << Bits) - 1));
}

void FillPattern(TIEBitmap& B, uint32_t Seed) {
  TIEPixelFormat F = B.GetPixelFormat();
  for (int32_t Y = 0; Y < B.GetHeight(); ++Y)
    for (int32_t X = 0; X < B.GetWidth(); ++X) SetPixelValue(B, X, Y, Pattern(F, X, Y, Seed));
}

// Pixel (X, Y) of B holds the pattern's pixel (X + DX, Y + DY).
::testing::AssertionResult HasPattern(TIEBitmap& B, uint32_t Seed, int32_t X1, int32_t Y1,
                                      int32_t X2, int32_t Y2, int32_t DX = 0, int32_t DY = 0) {
  TIEPixelFormat F = B.GetPixelFormat();
  for (int32_t Y = Y1; Y <= Y2; ++Y)
    for (int32_t X = X1; X <= X2; ++X)
      if (PixelValue(B, X, Y) != Pattern(F, X + DX, Y + DY, Seed))
        return ::testing::AssertionFailure() << "pixel (" << X << ", " << Y << ") differs";
  return ::testing::AssertionSuccess();
}

// The stored value a Fill with Value leaves in one pixel of format F.
uint64_t FilledValue(TIEPixelFormat F, double Value) {
  TIEBitmap One;
  One.SetMemoryThreshold(INT64_MAX);
  One.Allocate(1, 1, F);
  One.Fill(Value);
  return PixelValue(One, 0, 0);
}

class FormatAtLocation
    : public ::testing::TestWithParam<std::tuple<TIEPixelFormat, TIELocation>> {
 protected:
  TIEPixelFormat F = std::get<0>(GetParam());
  TIELocation L = std::get<1>(GetParam());
  SettingsGuard Guard;
  // New bitmaps land in memory or in a temporary file as the parameter says.
  void SetUp() override { IETempFileThreshold = L == ieFile ? 0 : -1; }
  TIELocation Other() const { return L == ieFile ? ieMemory : ieFile; }
  std::unique_ptr<TIEBitmap> MakeAt(TIELocation Where, int32_t W, int32_t H) {
    auto B = std::make_unique<TIEBitmap>();
    B->SetMemoryThreshold(Where == ieFile ? 0 : INT64_MAX);
    EXPECT_TRUE(B->Allocate(W, H, F));
    EXPECT_EQ(B->GetLocation(), Where);
    return B;
  }
};

TEST_P(FormatAtLocation, AllocatesWhereAskedAndKeepsEveryPixel) {
  TIEBitmap B;
  ASSERT_TRUE(B.Allocate(37, 23, F));
  EXPECT_EQ(B.GetLocation(), L);
  EXPECT_EQ(B.GetPixelFormat(), F);
  EXPECT_EQ(B.GetRowLen(), ((37 * IEBitCountOf(F) + 31) / 32) * 4);
  EXPECT_EQ(B.GetPaletteLen(), F == ie8p ? 256 : 0);
  EXPECT_FALSE(B.IsEmpty());
  FillPattern(B, 1);
  EXPECT_TRUE(HasPattern(B, 1, 0, 0, 36, 22));
  // The same size and format again keeps the pixels; SetReAllocate forces a
  // new buffer.
  ASSERT_TRUE(B.Allocate(37, 23, F));
  EXPECT_TRUE(HasPattern(B, 1, 0, 0, 36, 22));
}

TEST_P(FormatAtLocation, PixelAccessorsReadAndWriteTheRow) {
  auto B = MakeAt(L, 9, 5);
  B->Fill(0);
  switch (F) {
    case ie8p:
    case ie8g:
      B->SetPixel8(3, 4, 77);
      EXPECT_EQ(B->GetPixel8(3, 4), 77);
      break;
    case ie16g:
      B->SetPixel16(3, 4, 0xBEEF);
      EXPECT_EQ(B->GetPixel16(3, 4), 0xBEEF);
      EXPECT_EQ(B->GetPixelRGB(3, 4).r, 0xBE);
      break;
    case ie32f:
      B->SetPixelFloat(3, 4, 0.25f);
      EXPECT_EQ(B->GetPixelFloat(3, 4), 0.25f);
      break;
    case ieCMYK:
      B->SetPixel32(3, 4, IECreateCMYK(1, 2, 3, 4));
      EXPECT_EQ(B->GetPixel32(3, 4), IECreateCMYK(1, 2, 3, 4));
      break;
    case ie24RGB:
      B->SetPixel24(3, 4, IECreateRGB(10, 20, 30));
      EXPECT_EQ(B->GetPixel24(3, 4), IECreateRGB(10, 20, 30));
      EXPECT_EQ(B->GetPixelRGB(3, 4), IECreateRGB(10, 20, 30));
      break;
    case ieRGB48: {
      TRGB48 W;
      W.r = 0x1234;
      W.g = 0x5678;
      W.b = 0x9ABC;
      B->SetPixel48(3, 4, W);
      EXPECT_EQ(B->GetPixel48(3, 4), W);
      EXPECT_EQ(B->GetPixelRGB(3, 4), IECreateRGB(0x12, 0x56, 0x9A));
      break;
    }
    default:
      break;
  }
  // Outside the image nothing is read or written.
  B->SetPixel8(-1, 0, 1);
  B->SetPixel8(9, 0, 1);
  EXPECT_EQ(B->GetPixel8(0, 5), 0);
  EXPECT_EQ(B->GetPixel48(8, 0), TRGB48());  // would run past a narrow row
}

TEST_P(FormatAtLocation, CopyRectToAnotherLocationCopiesTheClippedRectangle) {
  auto Src = MakeAt(L, 40, 30);
  FillPattern(*Src, 2);
  auto Dst = MakeAt(Other(), 25, 20);
  Dst->Fill(0);
  uint64_t Zero = PixelValue(*Dst, 0, 0);
  // Source (5, 3) to destination (7, 2), 30 x 30 asked: clipped to 18 x 18.
  Src->CopyRectTo(Dst.get(), 5, 3, 7, 2, 30, 30);
  EXPECT_TRUE(HasPattern(*Dst, 2, 7, 2, 24, 19, -2, 1));
  for (int32_t X = 0; X < 7; ++X) EXPECT_EQ(PixelValue(*Dst, X, 5), Zero);
  for (int32_t X = 0; X < 25; ++X) EXPECT_EQ(PixelValue(*Dst, X, 1), Zero);
}

TEST_P(FormatAtLocation, AssignCopiesPixelsPaletteAndAlphaToAnyLocation) {
  auto Src = MakeAt(L, 33, 17);
  FillPattern(*Src, 3);
  Src->SetMonoConversion(0);
  if (F == ie8p) {
    for (int I = 0; I < 256; ++I) Src->SetPaletteColor(I, IECreateRGB(uint8_t(I), 7, uint8_t(255 - I)));
  }
  Src->SetAlpha(5, 6, 99);
  TIEBitmap Dst;
  Dst.SetMemoryThreshold(Other() == ieFile ? 0 : INT64_MAX);
  Dst.Allocate(3, 3, ie24RGB);
  Dst.Assign(Src.get());
  EXPECT_EQ(Dst.GetLocation(), Other());
  EXPECT_EQ(Dst.GetPixelFormat(), F);
  EXPECT_TRUE(HasPattern(Dst, 3, 0, 0, 32, 16));
  ASSERT_TRUE(Dst.HasAlphaChannel());
  EXPECT_EQ(Dst.GetAlpha(5, 6), 99);
  EXPECT_EQ(Dst.GetAlpha(6, 6), 255);
  EXPECT_EQ(Dst.GetMonoConversion(), 0);
  EXPECT_EQ(Dst.GetPaletteLen(), F == ie8p ? 256 : 0);
  if (F == ie8p) {
    EXPECT_EQ(Dst.GetPaletteColor(200), IECreateRGB(200, 7, 55));
  }
  EXPECT_TRUE(IEBitmapsEqual(Src.get(), &Dst));
  // A source without alpha removes the destination's plane.
  TIEBitmap Plain(4, 4, F);
  Dst.Assign(&Plain);
  EXPECT_FALSE(Dst.HasAlphaChannel());
}

TEST_P(FormatAtLocation, ResizePlacesTheOldContentAndFillsTheNewArea) {
  auto B = MakeAt(L, 20, 10);
  FillPattern(*B, 4);
  B->GetAlphaChannel();
  const double Background = F == ie32f ? 1.0 : (F == ie1g ? 1 : 0x00336699);
  B->Resize(31, 14, Background, 17, 2, 1);  // right, centre
  ASSERT_EQ(B->GetWidth(), 31);
  ASSERT_EQ(B->GetHeight(), 14);
  // Old content at x 11..30, y 2..11.
  EXPECT_TRUE(HasPattern(*B, 4, 11, 2, 30, 11, -11, -2));
  // Fills leave the fourth byte of ie32RGB pixels alone.
  const uint64_t Mask = F == ie32RGB ? 0xFFFFFF : ~uint64_t(0);
  uint64_t Fill = FilledValue(F, Background) & Mask;
  for (int32_t X = 0; X < 11; ++X) EXPECT_EQ(PixelValue(*B, X, 5) & Mask, Fill) << X;
  for (int32_t X = 0; X < 31; ++X) EXPECT_EQ(PixelValue(*B, X, 13) & Mask, Fill) << X;
  EXPECT_EQ(B->GetAlpha(3, 3), 17);
  EXPECT_EQ(B->GetAlpha(20, 5), 255);
  // Shrinking keeps the centre.
  B->Resize(11, 6, Background, 0, 1, 1);
  ASSERT_EQ(B->GetWidth(), 11);
  // New (x, y) = old (x + 10, y + 4), which held the pattern's (x - 1, y + 2).
  EXPECT_TRUE(HasPattern(*B, 4, 1, 0, 10, 5, -1, 2));
  EXPECT_EQ(PixelValue(*B, 0, 3) & Mask, Fill);
  EXPECT_EQ(B->GetAlphaChannel()->GetWidth(), 11);
}

TEST_P(FormatAtLocation, LocationChangesKeepPixelsPaletteAndAlpha) {
  auto B = MakeAt(L, 50, 21);
  FillPattern(*B, 5);
  if (F == ie8p) B->SetPaletteColor(9, IECreateRGB(1, 2, 3));
  B->SetAlpha(1, 1, 5);
  B->SetMemoryThreshold(Other() == ieFile ? 0 : INT64_MAX);
  B->SetLocation(Other());
  EXPECT_EQ(B->GetLocation(), Other());
  EXPECT_TRUE(HasPattern(*B, 5, 0, 0, 49, 20));
  EXPECT_EQ(B->GetAlpha(1, 1), 5);
  if (F == ie8p) {
    EXPECT_EQ(B->GetPaletteColor(9), IECreateRGB(1, 2, 3));
  }
  // The size rule sends a preference back when the threshold says so.
  B->SetLocation(L);
  EXPECT_EQ(B->GetLocation(), Other());
  EXPECT_TRUE(HasPattern(*B, 5, 0, 0, 49, 20));
}

TEST_P(FormatAtLocation, WidthAndHeightKeepTheTopLeftContent) {
  auto B = MakeAt(L, 21, 13);
  FillPattern(*B, 6);
  B->SetWidth(30);
  B->SetHeight(9);
  EXPECT_EQ(B->GetWidth(), 30);
  EXPECT_EQ(B->GetHeight(), 9);
  EXPECT_TRUE(HasPattern(*B, 6, 0, 0, 20, 8));
  EXPECT_FALSE(B->GetFull());
}

INSTANTIATE_TEST_SUITE_P(AllFormats, FormatAtLocation,
                         ::testing::Combine(::testing::ValuesIn(AllFormats),
                                            ::testing::Values(ieMemory, ieFile)),
                         [](const auto& Info) {
                           return FormatName(std::get<0>(Info.param)) +
                                  (std::get<1>(Info.param) == ieFile ? "_File" : "_Memory");
                         });

// ---------------------------------------------------------------------------
// Platform bitmaps

class FormatAtTBitmap : public ::testing::TestWithParam<TIEPixelFormat> {};

TEST_P(FormatAtTBitmap, PixelsLiveInThePlatformBitmapAndSurviveMoves) {
  const TIEPixelFormat F = GetParam();
  TIEBitmap B;
  B.SetLocation(ieTBitmap);
  ASSERT_TRUE(B.Allocate(29, 11, F));
  EXPECT_EQ(B.GetLocation(), ieTBitmap);
  EXPECT_EQ(B.GetPixelFormat(), F);
  FillPattern(B, 7);
  TBitmap* T = B.GetTBitmap();
  ASSERT_NE(T, nullptr);
  EXPECT_EQ(T->GetWidth(), 29);
  EXPECT_EQ(T->GetHeight(), 11);
  // The buffer's rows are the platform bitmap's rows.
  EXPECT_EQ(B.GetScanline(4), T->GetScanLine(4));
  if (F == ie24RGB) {
    TRGB P = B.GetPixel24(6, 3);
    TColor C = T->GetPixelColor(6, 3);
    EXPECT_EQ(C, RGB(P.r, P.g, P.b));
  }
  if (F == ie1g) {
    bool White = B.GetPixelRGB(2, 2).r == 255;
    EXPECT_EQ(T->GetPixelColor(2, 2), White ? clWhite : clBlack);
  }
  B.SetMemoryThreshold(INT64_MAX);
  B.SetLocation(ieMemory);
  EXPECT_EQ(B.GetLocation(), ieMemory);
  EXPECT_EQ(B.GetPixelFormat(), F);
  EXPECT_TRUE(HasPattern(B, 7, 0, 0, 28, 10));
  B.SetLocation(ieTBitmap);
  EXPECT_EQ(B.GetPixelFormat(), F);
  EXPECT_TRUE(HasPattern(B, 7, 0, 0, 28, 10));
  // Drawing on the platform bitmap behind the buffer's back is seen.
  B.GetTBitmap()->SetSize(40, 12);
  EXPECT_EQ(B.GetWidth(), 40);
  EXPECT_TRUE(HasPattern(B, 7, 0, 0, 28, 10));
}

TEST_P(FormatAtTBitmap, AssignIntoAPlatformBitmapCopiesRows) {
  const TIEPixelFormat F = GetParam();
  TIEBitmap Src;
  Src.SetMemoryThreshold(INT64_MAX);
  Src.Allocate(17, 9, F);
  FillPattern(Src, 8);
  if (F == ie8p) Src.SetPaletteColor(3, IECreateRGB(9, 8, 7));
  TIEBitmap Dst;
  Dst.SetLocation(ieTBitmap);
  Dst.Assign(&Src);
  EXPECT_EQ(Dst.GetLocation(), ieTBitmap);
  EXPECT_EQ(Dst.GetPixelFormat(), F);
  EXPECT_TRUE(HasPattern(Dst, 8, 0, 0, 16, 8));
  if (F == ie8p) {
    EXPECT_EQ(Dst.GetPaletteColor(3), IECreateRGB(9, 8, 7));
    TRGBQuad Q = Dst.GetTBitmap()->GetColorTableEntry(3);
    EXPECT_EQ(Q.rgbRed, 9);
    EXPECT_EQ(Q.rgbBlue, 7);
  }
}

TEST_P(FormatAtTBitmap, CopyRectAndResizeWorkOnThePlatformRows) {
  const TIEPixelFormat F = GetParam();
  TIEBitmap B;
  B.SetLocation(ieTBitmap);
  ASSERT_TRUE(B.Allocate(20, 10, F));
  FillPattern(B, 12);
  TIEBitmap M;
  M.SetMemoryThreshold(INT64_MAX);
  ASSERT_TRUE(M.Allocate(20, 10, F));
  B.CopyRectTo(&M, 3, 2, 0, 0, 20, 20);
  EXPECT_TRUE(HasPattern(M, 12, 0, 0, 16, 7, 3, 2));
  M.CopyRectTo(&B, 0, 0, 10, 5, 4, 4);
  EXPECT_TRUE(HasPattern(B, 12, 10, 5, 13, 8, -7, -3));
  FillPattern(B, 13);
  const double Background = F == ie1g ? 0 : 0x00112233;
  B.Resize(26, 13, Background, 255, 1, 2);  // centre, bottom
  EXPECT_EQ(B.GetLocation(), ieTBitmap);
  ASSERT_EQ(B.GetWidth(), 26);
  ASSERT_EQ(B.GetHeight(), 13);
  EXPECT_EQ(B.GetTBitmap()->GetWidth(), 26);
  EXPECT_TRUE(HasPattern(B, 13, 3, 3, 22, 12, -3, -3));
  const uint64_t Mask = F == ie32RGB ? 0xFFFFFF : ~uint64_t(0);
  uint64_t Fill = FilledValue(F, Background) & Mask;
  EXPECT_EQ(PixelValue(B, 0, 5) & Mask, Fill);
  EXPECT_EQ(PixelValue(B, 25, 5) & Mask, Fill);
  EXPECT_EQ(PixelValue(B, 10, 0) & Mask, Fill);
}

INSTANTIATE_TEST_SUITE_P(FittingFormats, FormatAtTBitmap,
                         ::testing::Values(ie1g, ie8p, ie8g, ie24RGB, ie32RGB),
                         [](const auto& Info) { return FormatName(Info.param); });

TEST(ImageBufferTBitmap, FormatsAPlatformBitmapCannotHold) {
  TIEBitmap B;
  B.SetLocation(ieTBitmap);
  // 16-bit gray is kept as 8-bit gray; the others are refused.
  ASSERT_TRUE(B.Allocate(8, 8, ie16g));
  EXPECT_EQ(B.GetPixelFormat(), ie8g);
  for (TIEPixelFormat F : {ie32f, ieCMYK, ieRGB48, ieCIELab}) {
    EXPECT_FALSE(B.Allocate(8, 8, F)) << FormatName(F);
    EXPECT_EQ(B.GetWidth(), 0);
    EXPECT_EQ(B.GetHeight(), 0);
    EXPECT_TRUE(B.IsEmpty());
  }
}

TEST(ImageBufferTBitmap, MovingAForeignFormatThereConvertsIt) {
  SettingsGuard Guard;
  IETempFileThreshold = -1;
  struct Case {
    TIEPixelFormat From, To;
  };
  for (Case C : {Case{ie16g, ie8g}, Case{ie32f, ie8g}, Case{ieCMYK, ie24RGB},
                 Case{ieRGB48, ie24RGB}, Case{ieCIELab, ie24RGB}}) {
    TIEBitmap B(6, 4, C.From);
    B.Fill(C.From == ie32f ? 0.5 : 0x00204080);
    if (C.From == ie16g) B.Fill(0x8123);
    B.SetAlpha(1, 1, 44);
    TRGB Before = B.GetPixelRGB(2, 2);
    B.SetLocation(ieTBitmap);
    EXPECT_EQ(B.GetLocation(), ieTBitmap) << FormatName(C.From);
    EXPECT_EQ(B.GetPixelFormat(), C.To) << FormatName(C.From);
    EXPECT_EQ(B.GetPixelRGB(2, 2), Before) << FormatName(C.From);
    EXPECT_EQ(B.GetAlpha(1, 1), 44);
  }
  // Scaled, not byte-copied: 0x8123 becomes 0x81.
  TIEBitmap G(3, 3, ie16g);
  G.Fill(0x8123);
  TIEBitmap T;
  T.SetLocation(ieTBitmap);
  T.Assign(&G);
  EXPECT_EQ(T.GetPixelFormat(), ie8g);
  EXPECT_EQ(T.GetPixel8(1, 1), 0x81);
}

TEST(ImageBufferTBitmap, AttachAndImportPlatformBitmaps) {
  TBitmap T;
  T.SetPixelFormat(pf24bit);
  T.SetSize(5, 3);
  TIEBitmap B;
  B.AttachTBitmap(&T, true);
  EXPECT_EQ(B.GetLocation(), ieTBitmap);
  EXPECT_EQ(B.GetPixelFormat(), ie24RGB);
  B.SetPixel24(1, 2, IECreateRGB(200, 100, 50));
  EXPECT_EQ(T.GetPixelColor(1, 2), RGB(200, 100, 50));
  B.FreeImage(true);  // the caller's bitmap survives
  EXPECT_EQ(T.GetWidth(), 5);

  // An attached 8-bit bitmap reads as gray or as palette from its colour
  // table, and follows changes the caller makes to it.
  TBitmap Ramp;
  Ramp.SetPixelFormat(pf8bit);
  Ramp.SetSize(4, 4);
  std::vector<TRGBQuad> Gray(256);
  for (int32_t I = 0; I < 256; ++I) Gray[size_t(I)].rgbRed = Gray[size_t(I)].rgbGreen = Gray[size_t(I)].rgbBlue = uint8_t(I);
  Ramp.SetColorTable(Gray);
  TIEBitmap G;
  G.AttachTBitmap(&Ramp, false);
  EXPECT_EQ(G.GetPixelFormat(), ie8g);
  TRGBQuad Red;
  Red.rgbRed = 255;
  Ramp.SetColorTableEntry(7, Red);
  EXPECT_EQ(G.GetPixelFormat(), ie8p);
  Ramp.SetColorTable(Gray);
  EXPECT_EQ(G.GetPixelFormat(), ie8g);
  // Read-only queries through a const reference follow the caller's changes too.
  const TIEBitmap& ConstG = G;
  Ramp.SetSize(6, 2);
  EXPECT_EQ(ConstG.GetWidth(), 6);
  EXPECT_EQ(ConstG.GetHeight(), 2);
  EXPECT_EQ(ConstG.GetRowLen(), 8);
  EXPECT_FALSE(ConstG.IsEmpty());
  G.FreeImage(true);

  // Imports: 1-bit black/white, 8-bit with its table, 16-bit 565.
  TBitmap Mono;
  Mono.SetPixelFormat(pf1bit);
  Mono.SetSize(10, 2);
  Mono.GetScanLine(1)[0] = 0x0F;
  TIEBitmap M;
  M.Assign(&Mono);
  EXPECT_EQ(M.GetPixelFormat(), ie1g);
  EXPECT_EQ(M.GetPixelRGB(3, 1).r, 0);
  EXPECT_EQ(M.GetPixelRGB(4, 1).r, 255);

  TBitmap Pal;
  Pal.SetPixelFormat(pf8bit);
  Pal.SetSize(4, 4);
  TRGBQuad Q;
  Q.rgbRed = 10;
  Q.rgbGreen = 20;
  Q.rgbBlue = 30;
  Pal.SetColorTableEntry(5, Q);
  Pal.GetScanLine(2)[3] = 5;
  TIEBitmap P;
  P.Assign(&Pal);
  EXPECT_EQ(P.GetPixelFormat(), ie8p);
  EXPECT_EQ(P.GetPixelRGB(3, 2), IECreateRGB(10, 20, 30));

  TBitmap Hi;
  Hi.SetPixelFormat(pf16bit);
  Hi.SetSize(2, 2);
  Hi.GetScanLine(0)[0] = 0xFF;
  Hi.GetScanLine(0)[1] = 0xFF;
  TIEBitmap H;
  H.AssignTBitmap(&Hi);
  EXPECT_EQ(H.GetPixelFormat(), ie24RGB);
  // The 5- and 6-bit fields are widened by repeating their top bits: white
  // stays white.
  EXPECT_EQ(H.GetPixelRGB(0, 0), IECreateRGB(255, 255, 255));
}

// ---------------------------------------------------------------------------
// Allocation rules

TEST(ImageBufferAllocation, LocationFollowsTheSizeRule) {
  SettingsGuard Guard;
  IETempFileThreshold = -1;
  TIEBitmap B;
  EXPECT_EQ(B.GetLocation(), ieFile);
  EXPECT_TRUE(B.IsEmpty());
  ASSERT_TRUE(B.Allocate(100, 100, ie24RGB));
  EXPECT_EQ(B.GetLocation(), ieMemory);
  // Row 0 of one contiguous block is its last row.
  EXPECT_EQ(B.GetScanline(0) - B.GetScanline(1), B.GetRowLen());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(B.GetScanline(99)) % 64, 0u);

  IETempFileThreshold = 0;
  TIEBitmap F;
  EXPECT_EQ(F.GetMemoryThreshold(), 0);
  ASSERT_TRUE(F.Allocate(100, 100, ie24RGB));
  EXPECT_EQ(F.GetLocation(), ieFile);
  // A threshold equal to the size keeps the location.
  TIEBitmap E;
  E.SetMemoryThreshold(300 * 100);
  ASSERT_TRUE(E.Allocate(100, 100, ie24RGB));
  EXPECT_EQ(E.GetLocation(), ieFile);
}

TEST(ImageBufferAllocation, FileRowsAreMappedOneAtATime) {
  SettingsGuard Guard;
  IETempFileThreshold = 0;
  TIEBitmap B(16, 4, ie8g);
  ASSERT_EQ(B.GetLocation(), ieFile);
  uint8_t* R0 = B.GetScanline(0);
  std::memset(R0, 0xAA, 16);
  uint8_t* R1 = B.GetScanline(1);  // row 0 goes back to the file now
  std::memset(R1, 0x55, 16);
  EXPECT_EQ(B.GetScanline(0)[15], 0xAA);
  EXPECT_EQ(B.GetScanline(1)[0], 0x55);
  // Without the write bit a mapped row is not written back.
  B.SetAccess(iedRead);
  B.GetScanline(2)[0] = 0x77;
  B.GetScanline(3);
  B.SetAccess(iedReadWrite);
  EXPECT_EQ(B.GetScanline(2)[0], 0);
  // Locked rows stay valid together.
  uint8_t* L0 = B.LockScanline(0);
  uint8_t* L3 = B.LockScanline(3);
  L3[1] = L0[1];
  B.GetScanline(2);
  L0[2] = 9;
  B.UnlockScanline(3);
  B.UnlockScanline(0);
  EXPECT_EQ(B.GetScanline(3)[1], 0xAA);
  EXPECT_EQ(B.GetScanline(0)[2], 9);
}

TEST(ImageBufferAllocation, RowLeasesHoldFileRowsUntilTheyEnd) {
  SettingsGuard Guard;
  IETempFileThreshold = 0;
  TIEBitmap B;
  ASSERT_TRUE(B.Allocate(8, 4, ie8g));
  ASSERT_EQ(B.GetLocation(), ieFile);
  {
    TIERowLease Row0(&B, 0);
    TIERowLease Moved;
    {
      TIERowLease Row3(&B, 3);
      Moved = std::move(Row3);
      EXPECT_FALSE(Row3);  // the moved-from lease gives nothing back twice
    }
    ASSERT_TRUE(Row0 && Moved);
    EXPECT_EQ(Moved.GetRow(), 3);
    B.GetScanline(2)[0] = 1;  // other rows come and go meanwhile
    Row0.Get()[1] = 7;
    Moved.Get()[1] = uint8_t(Row0.Get()[1] + 1);
    EXPECT_FALSE(TIERowLease(&B, 4));  // outside the bitmap: an empty lease
  }
  // Both rows went back to the file when their leases ended.
  EXPECT_EQ(B.GetScanline(0)[1], 7);
  EXPECT_EQ(B.GetScanline(3)[1], 8);
  EXPECT_EQ(B.GetScanline(2)[0], 1);
}

TEST(ImageBufferAllocation, FallsBackToSegmentsThenToAFile) {
  SettingsGuard Guard;
  IETempFileThreshold = -1;
  IELargeBlockLimit = 4096;  // no single block above 4 KB
  TIEBitmap S;
  ASSERT_TRUE(S.Allocate(100, 90, ie24RGB));
  EXPECT_EQ(S.GetLocation(), ieMemory);
  EXPECT_TRUE(S.IsSegmented());
  // Segments hold the rows first row first.
  EXPECT_EQ(S.GetScanline(1) - S.GetScanline(0), S.GetRowLen());
  FillPattern(S, 9);
  EXPECT_TRUE(HasPattern(S, 9, 0, 0, 99, 89));
  TIEBitmap Copy;
  Copy.Assign(&S);
  EXPECT_TRUE(HasPattern(Copy, 9, 0, 0, 99, 89));

  IEAllowSegmentedMemory = false;
  TIEBitmap F;
  ASSERT_TRUE(F.Allocate(100, 90, ie24RGB));
  EXPECT_EQ(F.GetLocation(), ieFile);
  IEAllowTempFileFallback = false;
  TIEBitmap N;
  EXPECT_FALSE(N.Allocate(100, 90, ie24RGB));
  EXPECT_TRUE(N.IsEmpty());
}

TEST(ImageBufferAllocation, BadAndHugeSizesFailCleanly) {
  SettingsGuard Guard;
  IETempFileThreshold = -1;
  struct Case {
    int32_t W, H;
    TIEPixelFormat F;
  };
  const Case Cases[] = {
      {0, 10, ie8g},
      {10, 0, ie8g},
      {-5, 10, ie24RGB},
      {10, 10, ieNoFormat},
      {10, 10, TIEPixelFormat(99)},
      {INT32_MAX, INT32_MAX, ieRGB48},  // does not fit 64 bits
      {INT32_MAX, 3, ieRGB48},          // a row beyond 2 GB
      {1 << 30, 1 << 30, ie24RGB},      // a row beyond 2 GB
      {1 << 24, 1 << 24, ie1g},         // 32 TB: more than memory and disk
      {1 << 28, 1 << 22, ie8g},
  };
  for (const Case& C : Cases) {
    for (TIELocation L : {ieMemory, ieFile, ieTBitmap}) {
      TIEBitmap B;
      B.SetLocation(L);
      bool Ok = true;
      EXPECT_NO_THROW(Ok = B.Allocate(C.W, C.H, C.F));
      EXPECT_FALSE(Ok) << C.W << " x " << C.H;
      EXPECT_TRUE(B.IsEmpty());
      EXPECT_EQ(B.GetWidth(), 0);
      EXPECT_EQ(B.GetScanline(0), nullptr);
    }
  }
  // A failed re-allocation empties the buffer, and it stays usable.
  TIEBitmap B(10, 10, ie8g);
  EXPECT_FALSE(B.Allocate(1 << 30, 1 << 30, ie24RGB));
  EXPECT_TRUE(B.IsEmpty());
  EXPECT_TRUE(B.Allocate(3, 3, ie8g));
}

TEST(ImageBufferAllocation, ReAllocationIsForcedAfterAssignAndLocationChanges) {
  TIEBitmap B(5, 5, ie8g);
  EXPECT_FALSE(B.GetReAllocate());
  TIEBitmap Other(5, 5, ie8g);
  B.Assign(&Other);
  EXPECT_TRUE(B.GetReAllocate());
  B.Allocate(5, 5, ie8g);
  EXPECT_FALSE(B.GetReAllocate());
  B.SetLocation(B.GetLocation() == ieFile ? ieMemory : ieFile);
  EXPECT_TRUE(B.GetReAllocate());
}

TEST(ImageBufferAllocation, MoveContentLeavesTheSourceEmptyAndUsable) {
  SettingsGuard Guard;
  for (int64_t Threshold : {int64_t(-1), int64_t(0)}) {
    IETempFileThreshold = Threshold;
    TIEBitmap A(12, 7, ie24RGB);
    FillPattern(A, 10);
    A.SetAlpha(2, 2, 3);
    TIEBitmap B;
    A.MoveContentTo(&B);
    EXPECT_TRUE(A.IsEmpty());
    EXPECT_FALSE(A.HasAlphaChannel());
    EXPECT_TRUE(HasPattern(B, 10, 0, 0, 11, 6));
    EXPECT_EQ(B.GetAlpha(2, 2), 3);
    ASSERT_TRUE(A.Allocate(4, 4, ie8g));
    A.Fill(7);
    EXPECT_EQ(A.GetPixel8(3, 3), 7);
  }
}

TEST(ImageBufferAllocation, AttachedMemoryBelongsToTheCaller) {
  // 3 x 2 ie8g, rows padded to 4 bytes.
  uint8_t Block[8] = {1, 2, 3, 0, 4, 5, 6, 0};
  TIEBitmap B;
  B.AttachMemory(Block, 3, 2, ie8g, true, 0);  // last row first
  EXPECT_EQ(B.GetPixel8(0, 0), 4);
  EXPECT_EQ(B.GetPixel8(2, 1), 3);
  B.AttachMemory(Block, 3, 2, ie8g, true, 1);  // first row first
  EXPECT_EQ(B.GetPixel8(0, 0), 1);
  B.SetPixel8(1, 1, 50);
  EXPECT_EQ(Block[5], 50);
  B.FreeImage(true);
  EXPECT_TRUE(B.IsEmpty());
  EXPECT_EQ(Block[0], 1);  // nothing freed or touched
}

TEST(ImageBufferAllocation, RowAlignmentAppliesOnlyInMemory) {
  SettingsGuard Guard;
  IETempFileThreshold = -1;
  TIEBitmap M(3, 5, ie24RGB);
  FillPattern(M, 11);
  M.SetRowAlignment(8);
  EXPECT_EQ(M.GetRowLen(), 9);
  EXPECT_TRUE(HasPattern(M, 11, 0, 0, 2, 4));
  IETempFileThreshold = 0;
  TIEBitmap F(3, 5, ie24RGB);
  F.SetRowAlignment(8);
  EXPECT_EQ(F.GetRowLen(), 12);
  // A fresh bitmap keeps the alignment for its first allocation, wherever it
  // lands.
  TIEBitmap Fresh;
  Fresh.SetRowAlignment(8);
  ASSERT_TRUE(Fresh.Allocate(3, 5, ie24RGB));
  EXPECT_EQ(Fresh.GetLocation(), ieFile);
  EXPECT_EQ(Fresh.GetRowLen(), 9);
  FillPattern(Fresh, 14);
  EXPECT_TRUE(HasPattern(Fresh, 14, 0, 0, 2, 4));
}

// ---------------------------------------------------------------------------
// Alpha plane

TEST(ImageBufferAlpha, PlaneIsCreatedOpaqueAndTracksFullness) {
  TIEBitmap B(7, 5, ie24RGB);
  EXPECT_FALSE(B.HasAlphaChannel());
  TIEBitmap* A = B.GetAlphaChannel();
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->GetPixelFormat(), ie8g);
  EXPECT_EQ(A->GetWidth(), 7);
  EXPECT_TRUE(A->GetIsAlphaChannel());
  EXPECT_TRUE(A->GetFull());
  for (int32_t Y = 0; Y < 5; ++Y)
    for (int32_t X = 0; X < 7; ++X) EXPECT_EQ(A->GetPixel8(X, Y), 255);
  EXPECT_EQ(A->GetAlphaChannel(), nullptr);
  B.SetFull(true);
  B.SetAlpha(3, 3, 200);
  EXPECT_FALSE(A->GetFull());
  EXPECT_FALSE(B.GetFull());
  B.SetAlpha(3, 3, 255);
  A->UpdateFullFlag();
  EXPECT_TRUE(A->GetFull());
  // An attached plane replaces the old one; a detached one is the caller's.
  auto Mine = TIEBitmap::CreateAlphaPlane(7, 5, ieTBitmap);
  EXPECT_EQ(Mine->GetLocation(), ieMemory);
  Mine->SetPixel8(0, 0, 1);
  B.AttachAlphaChannel(std::move(Mine));
  EXPECT_EQ(B.GetAlpha(0, 0), 1);
  auto Back = B.DetachAlphaChannel();
  EXPECT_FALSE(B.HasAlphaChannel());
  EXPECT_EQ(Back->GetPixel8(0, 0), 1);
}

TEST(ImageBufferAlpha, MergeBlendsOntoTheBackground) {
  TIEBitmap B(2, 1, ie24RGB);
  B.Fill(0);
  B.SetAlpha(0, 0, 128);
  B.SetAlpha(1, 0, 0);
  B.RemoveAlphaChannel(true, clWhite);
  EXPECT_FALSE(B.HasAlphaChannel());
  EXPECT_EQ(B.GetPixel24(0, 0), IECreateRGB(127, 127, 127));
  EXPECT_EQ(B.GetPixel24(1, 0), IECreateRGB(255, 255, 255));
}

TEST(ImageBufferAlpha, MergeAlphaRectKeepsTheLarger) {
  TIEBitmap S(4, 4, ie8g), D(4, 4, ie8g);
  S.GetAlphaChannel()->Fill(10);
  S.SetAlpha(1, 1, 200);
  D.GetAlphaChannel()->Fill(50);
  S.MergeAlphaRectTo(&D, 0, 0, 1, 1, 4, 4);
  EXPECT_EQ(D.GetAlpha(0, 0), 50);
  EXPECT_EQ(D.GetAlpha(2, 2), 200);
  EXPECT_EQ(D.GetAlpha(3, 3), 50);
}

// ---------------------------------------------------------------------------
// Copying, filling, palette

TEST(ImageBufferCopy, NegativeOriginsMoveTheOtherSide) {
  TIEBitmap S(40, 10, ie8g), D(40, 10, ie8g);
  for (int32_t X = 0; X < 40; ++X) S.SetPixel8(X, 0, uint8_t(X));
  D.Fill(255);
  // A negative destination x copies from SrcX + 10, 10 columns fewer.
  S.CopyRectTo(&D, 5, 0, -10, 0, 20, 1);
  EXPECT_EQ(D.GetPixel8(0, 0), 15);
  EXPECT_EQ(D.GetPixel8(9, 0), 24);
  EXPECT_EQ(D.GetPixel8(10, 0), 255);
  // A negative source x moves the destination with it.
  D.Fill(255);
  S.CopyRectTo(&D, -10, 0, 5, 0, 20, 1);
  EXPECT_EQ(D.GetPixel8(14, 0), 255);
  EXPECT_EQ(D.GetPixel8(15, 0), 0);
  EXPECT_EQ(D.GetPixel8(24, 0), 9);
  EXPECT_EQ(D.GetPixel8(25, 0), 255);
  // A destination origin past the edge copies nothing.
  D.Fill(255);
  S.CopyRectTo(&D, 0, 0, 40, 0, 5, 1);
  EXPECT_EQ(D.GetPixel8(39, 0), 255);
}

TEST(ImageBufferCopy, FormatPairs) {
  TIEBitmap G(8, 1, ie8g), C(8, 1, ie24RGB);
  G.Fill(100);
  C.Fill(0);
  G.CopyRectTo(&C, 0, 0, 0, 0, 8, 1);  // no rule: nothing copied
  EXPECT_EQ(C.GetPixel24(3, 0), IECreateRGB(0, 0, 0));
  TIEBitmap M(8, 1, ie1g);
  M.Fill(0);
  M.GetScanline(0)[0] = 0xA0;  // pixels 0 and 2 white
  M.CopyRectTo(&C, 0, 0, 1, 0, 8, 1);
  EXPECT_EQ(C.GetPixel24(1, 0), IECreateRGB(255, 255, 255));
  EXPECT_EQ(C.GetPixel24(2, 0), IECreateRGB(0, 0, 0));
  EXPECT_EQ(C.GetPixel24(3, 0), IECreateRGB(255, 255, 255));
  // 1-bit runs at odd bit offsets leave the neighbouring bits alone.
  TIEBitmap A(20, 1, ie1g), B(20, 1, ie1g);
  A.Fill(1);
  B.Fill(0);
  A.CopyRectTo(&B, 3, 0, 5, 0, 9, 1);
  for (int32_t X = 0; X < 20; ++X) EXPECT_EQ(B.GetPixelRGB(X, 0).r, (X >= 5 && X < 14) ? 255 : 0);
  // Within one bitmap (even at a file) overlapping copies work.
  SettingsGuard Guard;
  IETempFileThreshold = 0;
  TIEBitmap Same(10, 3, ie8g);
  for (int32_t X = 0; X < 10; ++X) Same.SetPixel8(X, 0, uint8_t(X));
  Same.CopyRectTo(&Same, 0, 0, 2, 1, 10, 1);
  EXPECT_EQ(Same.GetPixel8(2, 1), 0);
  EXPECT_EQ(Same.GetPixel8(9, 1), 7);
}

TEST(ImageBufferFill, FullFlagAndPerFormatValues) {
  TIEBitmap M(9, 2, ie1g);
  M.Fill(0);
  EXPECT_FALSE(M.GetFull());
  M.Fill(5);
  EXPECT_TRUE(M.GetFull());
  EXPECT_EQ(M.GetScanline(1)[1], 255);
  TIEBitmap G(3, 3, ie8g);
  G.Fill(255);
  EXPECT_TRUE(G.GetFull());
  G.Fill(256);  // the low byte
  EXPECT_EQ(G.GetPixel8(0, 0), 0);
  TIEBitmap Q(2, 2, ie32RGB);
  Q.GetScanline(1)[3] = 42;
  Q.Fill(RGB(1, 2, 3));
  EXPECT_EQ(Q.GetScanline(1)[3], 42);
  EXPECT_EQ(Q.GetPixelRGB(0, 1), IECreateRGB(1, 2, 3));
  TIEBitmap K(2, 2, ieCMYK);
  K.Fill(clWhite);
  EXPECT_TRUE(K.GetFull());
  EXPECT_EQ(K.GetPixel32(1, 1), IECreateCMYK(255, 255, 255, 255));
  TIEBitmap W(2, 2, ieRGB48);
  W.Fill(RGB(255, 0, 1));
  EXPECT_EQ(W.GetPixel48(0, 0).r, 65535);
  EXPECT_EQ(W.GetPixel48(0, 0).b, 257);
  // Float samples stay within 0..1; FillRect takes whole numbers.
  TIEBitmap F(4, 4, ie32f);
  F.Fill(0.5);
  EXPECT_EQ(F.GetPixelFloat(0, 0), 0.5f);
  F.FillRect(0, 0, 1, 1, 0.5);
  EXPECT_EQ(F.GetPixelFloat(1, 1), 0.0f);
  EXPECT_EQ(F.GetPixelFloat(2, 2), 0.5f);
  F.Fill(7.0);
  EXPECT_EQ(F.GetPixelFloat(3, 3), 1.0f);
  EXPECT_TRUE(F.GetFull());
  F.Fill(-2.0);
  EXPECT_EQ(F.GetPixelFloat(3, 3), 0.0f);
  F.SetPixelFloat(1, 1, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(F.GetPixelFloat(1, 1), 0.0f);
  F.SetPixelFloat(1, 1, 3.0f);
  EXPECT_EQ(F.GetPixelFloat(1, 1), 1.0f);
}

TEST(ImageBufferFill, FillRectClipsBothAxes) {
  TIEBitmap B(10, 10, ie8g);
  B.Fill(0);
  B.FillRect(8, 3, 3, 5, 9);  // X2 < X1: nothing
  B.FillRect(2, 6, 4, 1, 9);  // Y2 < Y1: nothing
  EXPECT_TRUE(B.IsAllZero());
  B.FillRect(-5, 8, 100, 100, 9);
  EXPECT_EQ(B.GetPixel8(0, 8), 9);
  EXPECT_EQ(B.GetPixel8(9, 9), 9);
  EXPECT_EQ(B.GetPixel8(9, 7), 0);
  TIEBitmap M(20, 2, ie1g);
  M.Fill(0);
  M.FillRect(3, 1, 10, 1, 1);
  EXPECT_EQ(M.GetScanline(1)[0], 0x1F);
  EXPECT_EQ(M.GetScanline(1)[1], 0xE0);
  EXPECT_EQ(M.GetScanline(0)[0], 0);
}

TEST(ImageBufferPalette, OutOfRangeIsBlackAndCopiesFollow) {
  TIEBitmap P(2, 2, ie8p);
  P.SetPaletteColor(5, IECreateRGB(1, 2, 3));
  P.SetPaletteColor(300, IECreateRGB(9, 9, 9));  // ignored
  EXPECT_EQ(P.GetPaletteColor(5), IECreateRGB(1, 2, 3));
  EXPECT_EQ(P.GetPaletteColor(-1), TRGB());
  EXPECT_EQ(P.GetPaletteColor(256), TRGB());
  P.SetPaletteUsed(16);
  TIEBitmap D(2, 2, ie24RGB);
  P.CopyPaletteTo(&D);
  EXPECT_EQ(D.GetPaletteLen(), 256);
  EXPECT_EQ(D.GetPaletteUsed(), 16);
  EXPECT_EQ(D.GetPaletteColor(5), IECreateRGB(1, 2, 3));
  TIEBitmap E(2, 2, ie24RGB);
  E.CopyPaletteTo(&P);  // no palette: P's goes
  EXPECT_EQ(P.GetPaletteLen(), 0);
  EXPECT_EQ(P.GetPaletteUsed(), 256);
  EXPECT_EQ(P.GetPaletteColor(5), TRGB());
}

TEST(ImageBufferQueries, GrayscaleAndAllZero) {
  TIEBitmap C(3, 3, ie24RGB);
  C.Fill(RGB(7, 7, 7));
  EXPECT_TRUE(C.IsGrayscale());
  C.SetPixel24(2, 2, IECreateRGB(7, 8, 7));
  EXPECT_FALSE(C.IsGrayscale());
  TIEBitmap P(3, 3, ie8p);
  for (int I = 0; I < 256; ++I) P.SetPaletteColor(I, IECreateRGB(uint8_t(I), uint8_t(I), uint8_t(I)));
  EXPECT_TRUE(P.IsGrayscale());
  P.SetPaletteColor(3, IECreateRGB(1, 0, 0));
  EXPECT_FALSE(P.IsGrayscale());
  TIEBitmap Z(5, 2, ie1g);
  Z.Fill(0);
  EXPECT_TRUE(Z.IsAllZero());
  Z.SetPixel8(0, 1, 1);
  EXPECT_FALSE(Z.IsAllZero());
}

TEST(ImageBufferMoveRect, MovesAndFillsTheSource) {
  TIEBitmap B(10, 1, ie8g);
  for (int32_t X = 0; X < 10; ++X) B.SetPixel8(X, 0, uint8_t(X + 1));
  B.MoveRect(0, 0, 3, 0, 5, 0, 99, true);
  const int Expected[10] = {99, 99, 99, 99, 5, 1, 2, 3, 4, 10};
  for (int32_t X = 0; X < 10; ++X) EXPECT_EQ(B.GetPixel8(X, 0), Expected[X]) << X;
}

}  // namespace
