#include "widgets/draw_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/rtl/streams.h"

namespace {

TEST(DrawHelpers, TextHelpers) {
  struct Case {
    const char* In;
    char Dec, Thou;
    const char* Out;
  } Cases[] = {
      {"1.234,5", ',', '.', "1234,5"}, {"  abc ", '.', ',', "0"},  {" - ", '.', ',', "-0"},
      {"1,5", '.', ' ', "1.5"},        {"+12 EUR", '.', ',', "+12"},
  };
  for (const Case& C : Cases) EXPECT_EQ(ToNumericText(C.In, C.Dec, C.Thou), C.Out) << C.In;
  EXPECT_EQ(ReplaceAllText("aaa", "a", "aa"), "aaaaaa") << "replaced text is not scanned again";
  EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
  EXPECT_EQ(MakeCharString('x', -1), "");
  TByteCharSet Set{};
  Set['A' / 8] |= 1 << ('A' % 8);
  EXPECT_TRUE(CharInByteSet('A', Set));
  EXPECT_FALSE(CharInByteSet('B', Set));

  TBitmap B;
  B.SetSize(10, 10);
  EXPECT_EQ(FitTextWithEllipsis("Hello world", B.GetCanvas(), 0), "...");
  const std::string Fitted = FitTextWithEllipsis("Hello world", B.GetCanvas(), B.GetCanvas()->TextWidth("Hello..."));
  EXPECT_EQ(Fitted, "Hello...");

  TStringList L;
  L.SetText("a\n  \nb\n a \n");
  DeleteMatchingLines(&L, {"a"});
  DeleteEmptyLines(&L);
  EXPECT_EQ(L.GetCount(), 1);
  EXPECT_EQ(L.Get(0), "b");
}

TEST(DrawHelpers, ColourNamesAndRectangles) {
  EXPECT_EQ(ColorDisplayName(RGB(153, 51, 0)), "Brown");
  EXPECT_EQ(ColorDisplayName(clBlack), "Black");
  EXPECT_EQ(ColorDisplayName(clBtnFace), "Button face");
  EXPECT_EQ(ColorDisplayName(RGB(1, 2, 3)), ColorToString(RGB(1, 2, 3)));

  TRect R{10, 0, 20, 4};
  EXPECT_TRUE(CenterSquareInRect(R, -1));
  EXPECT_EQ(R.Left, 13);
  EXPECT_EQ(R.Width(), 4);
  EXPECT_EQ(R.Height(), 4);
  TRect Empty{0, 0, 0, 5};
  EXPECT_FALSE(CenterSquareInRect(Empty, -1));
  TRect Small{0, 0, 10, 10};
  EXPECT_FALSE(CenterSquareInRect(Small, 3));
  TRect Flipped{5, 6, 1, 2};
  NormalizeRect(Flipped);
  EXPECT_EQ(Flipped.Left, 1);
  EXPECT_EQ(Flipped.Bottom, 6);
  EXPECT_EQ(TextAlignFlags(2, false), DT_END_ELLIPSIS | DT_CENTER | DT_SINGLELINE);
  EXPECT_EQ(TextAlignFlags(1, true), DT_END_ELLIPSIS | DT_RIGHT | DT_WORDBREAK);
}

std::vector<uint8_t> Pixels(TBitmap& B) {
  std::vector<uint8_t> V;
  for (int32_t Y = 0; Y < B.GetHeight(); ++Y) {
    const uint8_t* P = B.GetScanLine(Y);
    V.insert(V.end(), P, P + 3 * B.GetWidth());
  }
  return V;
}

TEST(DrawHelpers, GradientBitmapBandsAreExactAndTheScatterRepeats) {
  TBitmap Untouched;
  Untouched.SetSize(3, 3);
  MakeGradientBitmap(0, 10, clWhite, clBlack, 64, 1, true, &Untouched);
  EXPECT_EQ(Untouched.GetWidth(), 3);

  // 64 rows, 64 steps: row i holds step i exactly.
  TBitmap B;
  MakeGradientBitmap(40, 64, RGB(255, 255, 255), RGB(0, 0, 0), 64, 1, false, &B);
  ASSERT_EQ(B.GetPixelFormat(), pf24bit);
  for (int32_t Y : {0, 1, 31, 63}) {
    const uint8_t Level = static_cast<uint8_t>(255 + IERound(Y * -255.0 / 63));
    EXPECT_EQ(B.GetPixelColor(17, Y), RGB(Level, Level, Level)) << Y;
  }
  // Style 3 runs the other way.
  MakeGradientBitmap(8, 64, RGB(255, 255, 255), RGB(0, 0, 0), 64, 3, false, &B);
  EXPECT_EQ(B.GetPixelColor(0, 0), RGB(0, 0, 0));

  // The dither is the same for the same arguments.
  TBitmap D1, D2;
  MakeGradientBitmap(73, 21, RGB(255, 255, 255), RGB(0xEF, 0xEB, 0xE7), 64, 1, true, &D1);
  MakeGradientBitmap(73, 21, RGB(255, 255, 255), RGB(0xEF, 0xEB, 0xE7), 64, 1, true, &D2);
  EXPECT_EQ(Pixels(D1), Pixels(D2));
  // Columns repeat every 16.
  for (int32_t Y = 0; Y < 21; ++Y) EXPECT_EQ(D1.GetPixelColor(3, Y), D1.GetPixelColor(3 + 16, Y));

  // Fewer than two colours: a plain bitmap of the first colour, no division.
  for (uint8_t Colors : {0, 1}) {
    TBitmap Plain;
    MakeGradientBitmap(5, 5, clRed, clBlue, Colors, 0, true, &Plain);
    EXPECT_EQ(Plain.GetPixelColor(4, 4), clRed);
  }
}

TEST(DrawHelpers, GradientFillRectBands) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(10, 10);
  TCanvas* C = B.GetCanvas();
  GradientFillRect(C, Rect(0, 0, 10, 10), clRed, clBlue, 0, 1);
  EXPECT_EQ(B.GetPixelColor(5, 9), clRed) << "one colour fills with the start colour";
  // Direction 1 starts with the end colour at the top; 3 bands over 10 rows
  // leave one row for the end colour.
  GradientFillRect(C, Rect(0, 0, 10, 10), RGB(0, 0, 0), RGB(200, 0, 0), 1, 3);
  EXPECT_EQ(B.GetPixelColor(0, 0), RGB(200, 0, 0));
  EXPECT_EQ(B.GetPixelColor(0, 3), RGB(100, 0, 0));
  EXPECT_EQ(B.GetPixelColor(0, 6), RGB(0, 0, 0));
  EXPECT_EQ(B.GetPixelColor(0, 9), RGB(0, 0, 0)) << "the rest takes the end colour (after the swap)";
  GradientFillRect(C, Rect(0, 0, 10, 10), RGB(0, 0, 0), RGB(0, 90, 0), 2, 255);
  EXPECT_EQ(B.GetPixelColor(0, 4), RGB(0, 0, 0));
  EXPECT_EQ(B.GetPixelColor(9, 4), RGB(0, 90, 0));
  EXPECT_EQ(B.GetPixelColor(3, 4), RGB(0, 30, 0));
}

TEST(DrawHelpers, MaskedBitmapsAndGrayOut) {
  TBitmap Glyph;
  Glyph.SetPixelFormat(pf24bit);
  Glyph.SetSize(3, 3);
  Glyph.GetCanvas()->GetBrush()->SetColor(clLime);
  Glyph.GetCanvas()->FillRect(Rect(0, 0, 3, 3));
  Glyph.GetCanvas()->SetPixel(1, 1, clRed);
  TBitmap Dest;
  Dest.SetPixelFormat(pf24bit);
  Dest.SetSize(5, 5);
  Dest.GetCanvas()->GetBrush()->SetColor(clBlue);
  Dest.GetCanvas()->FillRect(Rect(0, 0, 5, 5));
  DrawBitmapMasked(Dest.GetCanvas(), 1, 1, &Glyph, clDefault);
  EXPECT_EQ(Dest.GetPixelColor(1, 1), clBlue) << "the bottom-left colour is transparent";
  EXPECT_EQ(Dest.GetPixelColor(2, 2), clRed);
  DrawBitmapMasked(Dest.GetCanvas(), 1, 1, &Glyph, clNone);
  EXPECT_EQ(Dest.GetPixelColor(1, 1), clLime);

  GrayOutBitmap(&Glyph);
  EXPECT_EQ(Glyph.GetPixelColor(1, 1), RGB(185, 185, 185));  // 255 / 3 = 85, + 100
  EXPECT_EQ(Glyph.GetPixelColor(0, 0), RGB(185, 185, 185));

  auto Checker = MakeCheckerPattern(clWhite, clBlack);
  EXPECT_EQ(Checker->GetPixelColor(0, 0), clBlack);
  EXPECT_EQ(Checker->GetPixelColor(1, 0), clWhite);
  EXPECT_EQ(Checker->GetPixelColor(1, 1), clBlack);
}

TEST(DrawHelpers, OlderStoredGlyphReadsAsABitmap) {
  TBitmap Src;
  Src.SetPixelFormat(pf24bit);
  Src.SetSize(2, 2);
  Src.GetCanvas()->SetPixel(1, 0, clRed);
  TMemoryStream S;
  Src.SaveToStream(&S);
  std::vector<uint8_t> File(static_cast<size_t>(S.GetSize()));
  S.SetPosition(0);
  S.ReadBuffer(File.data(), static_cast<int64_t>(File.size()));
  TOxPicture P;
  P.ReadStoredData(File);
  ASSERT_EQ(P.GetWidth(), 2);
  EXPECT_EQ(P.GetBitmap()->GetPixelColor(1, 0), clRed);
  // The usual form: class name, length, file.
  const std::string Head("\x07TBitmap\0\0\0\0", 12);
  std::vector<uint8_t> Usual(Head.size() + File.size());
  std::memcpy(Usual.data(), Head.data(), Head.size());
  std::memcpy(Usual.data() + Head.size(), File.data(), File.size());
  TOxPicture Q;
  Q.ReadStoredData(Usual);
  EXPECT_EQ(Q.GetBitmap()->GetPixelColor(1, 0), clRed);
  EXPECT_THROW(Q.ReadStoredData({40, 'T'}), EReadError);
}

}  // namespace

namespace {
TEST(DrawHelpers, ArrowsBoundLinesAndAlignedText) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(20, 20);
  TCanvas* C = B.GetCanvas();
  C->GetBrush()->SetColor(clWhite);
  C->FillRect(Rect(0, 0, 20, 20));
  // A downward arrow in a 12 x 12 square: each row one pixel narrower at
  // both ends than the one above.
  DrawArrowTriangle(C, Rect(0, 0, 12, 12), clBlack, 0, 3);
  auto RowWidth = [&](int32_t Y) {
    int32_t N = 0;
    for (int32_t X = 0; X < 20; ++X) N += B.GetPixelColor(X, Y) == clBlack;
    return N;
  };
  int32_t Top = -1;
  for (int32_t Y = 0; Y < 20 && Top < 0; ++Y)
    if (RowWidth(Y) > 0) Top = Y;
  ASSERT_EQ(Top, 3) << "the top moves down by a quarter of the width";
  EXPECT_EQ(RowWidth(Top), 12);
  EXPECT_EQ(RowWidth(Top + 1), 10);
  EXPECT_EQ(RowWidth(Top + 5), 2);
  EXPECT_EQ(RowWidth(Top + 6), 0);

  C->FillRect(Rect(0, 0, 20, 20));
  DrawBoundLines(C, blLeft | blBottom, clRed, Rect(2, 2, 10, 10));
  EXPECT_EQ(B.GetPixelColor(2, 5), clRed);
  EXPECT_EQ(B.GetPixelColor(6, 9), clRed);
  EXPECT_EQ(B.GetPixelColor(6, 2), clWhite) << "no top line";
  EXPECT_EQ(B.GetPixelColor(9, 5), clWhite) << "no right line";

  // Centred text: equal room on both sides (within a pixel).
  C->FillRect(Rect(0, 0, 20, 20));
  TBitmap Wide;
  Wide.SetPixelFormat(pf24bit);
  Wide.SetSize(200, 40);
  TCanvas* W = Wide.GetCanvas();
  W->GetBrush()->SetColor(clWhite);
  W->FillRect(Rect(0, 0, 200, 40));
  W->SetBkMode(TRANSPARENT);
  TFont Font;
  Font.SetColor(clBlack);
  TRect R = Rect(0, 0, 200, 40);
  DrawAlignedText(nullptr, W, "Centre", &Font, true, true, 2, false, R);
  int32_t Left = 200, Right = -1;
  for (int32_t Y = 0; Y < 40; ++Y)
    for (int32_t X = 0; X < 200; ++X)
      if (Wide.GetPixelColor(X, Y) != clWhite) {
        Left = std::min(Left, X);
        Right = std::max(Right, X);
      }
  ASSERT_GE(Right, 0);
  EXPECT_NEAR(Left, 199 - Right, 3);
  EXPECT_EQ(R.Left, (200 - W->TextWidth("Centre")) / 2);
}
}  // namespace
