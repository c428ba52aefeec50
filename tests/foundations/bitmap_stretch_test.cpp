// Stretching with the alpha plane, packed DIBs, printing onto a canvas in
// strips with gamma, and the DrawDib helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundations/bitmap_render.h"
#include "foundations/bitmap_stretch.h"
#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/dib.h"

namespace {

std::unique_ptr<TIEBitmap> Mem(int32_t W, int32_t H, TIEPixelFormat F) {
  auto B = std::make_unique<TIEBitmap>();
  B->SetLocation(ieMemory);
  EXPECT_TRUE(B->Allocate(W, H, F));
  return B;
}

std::unique_ptr<TBitmap> Canvas24(int32_t W, int32_t H) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t Y = 0; Y < H; ++Y) std::memset(B->GetScanLine(Y), 0, size_t(3 * W));
  return B;
}

TEST(StretchRectTo, AlphaRectangleAndPixels) {
  auto S = Mem(4, 4, ie24RGB);
  for (int32_t Y = 0; Y < 4; ++Y)
    for (int32_t X = 0; X < 4; ++X) S->SetPixel24(X, Y, TRGB{uint8_t(X), uint8_t(Y), 9});
  auto D = Mem(10, 10, ie24RGB);
  D->Fill(0);
  S->StretchRectTo(D.get(), 1, 1, 8, 8, 0, 0, 4, 4, rfNone, 200);
  EXPECT_EQ(D->GetAlpha(1, 1), 200);
  EXPECT_EQ(D->GetAlpha(8, 8), 200);
  EXPECT_EQ(D->GetAlpha(0, 0), 255);
  EXPECT_EQ(D->GetPixel24(8, 8), (TRGB{3, 3, 9}));  // column 1 + (7 x 8192 >> 14) = 3
  EXPECT_EQ(D->GetPixel24(2, 3), (TRGB{0, 1, 9}));
  // A source plane is copied and capped by the transparency.
  S->SetAlpha(0, 0, 50);
  S->SetAlpha(1, 0, 250);
  S->GetAlphaChannel()->SetFull(false);
  auto D2 = Mem(4, 4, ie24RGB);
  S->StretchRectTo(D2.get(), 0, 0, 4, 4, 0, 0, 4, 4, rfNone, 200);
  EXPECT_EQ(D2->GetAlpha(0, 0), 50);
  EXPECT_EQ(D2->GetAlpha(1, 0), 200);
}

TEST(StretchRectTo, EveryFormatItAcceptsDraws) {
  // 1-bit gives black and white; other formats are converted, not skipped.
  auto One = Mem(2, 1, ie1g);
  One->GetScanline(0)[0] = 0x40;
  auto D = Mem(2, 1, ie24RGB);
  One->StretchRectTo(D.get(), 0, 0, 2, 1, 0, 0, 2, 1, rfNone, 255);
  EXPECT_EQ(D->GetPixel24(0, 0).r, 0);
  EXPECT_EQ(D->GetPixel24(1, 0).r, 255);
  for (TIEPixelFormat F : {ie8g, ie8p, ie16g, ie32RGB, ieRGB48, ieCMYK}) {
    SCOPED_TRACE(int(F));
    auto S = Mem(3, 2, F);
    S->Fill(F == ie8p ? 0.0 : F == ie8g || F == ie16g ? 65535.0 : double(0xFFFFFF));
    if (F == ie8p) S->SetPaletteColor(0, TRGB{255, 255, 255});
    if (F == ieCMYK) S->SetPixel32(1, 1, TCMYK{255, 255, 255, 255});
    auto D2 = Mem(3, 2, ie24RGB);
    D2->Fill(0);
    S->StretchRectTo(D2.get(), 0, 0, 3, 2, 0, 0, 3, 2, rfNone, 255);
    EXPECT_EQ(D2->GetPixel24(1, 1), (TRGB{255, 255, 255}));
  }
  // A destination that is not 24-bit is refused.
  auto G = Mem(3, 2, ie8g);
  G->Fill(0);
  One->StretchRectTo(G.get(), 0, 0, 2, 1, 0, 0, 2, 1, rfNone, 255);
  EXPECT_EQ(G->GetPixel8(1, 0), 0);
}

TEST(StretchRectTo, FilteredPathsUseTheResamplers) {
  std::vector<std::string> Calls;
  IEResample1BitBoxGrayHook = [&](TIEBitmap*, int32_t, int32_t, int32_t, int32_t, TIEBitmap* D) {
    Calls.push_back("box");
    D->Fill(double(0x808080));
  };
  IEResampleExHook = [&](TIEBitmap*, TIEBitmap* D, TResampleFilter) {
    Calls.push_back("ex");
    D->Fill(double(0x101010));
  };
  auto Page = Mem(20, 20, ie1g);
  auto D = Mem(5, 5, ie24RGB);
  Page->StretchRectTo(D.get(), 0, 0, 5, 5, 0, 0, 20, 20, rfFastLinear, 255);
  EXPECT_EQ(D->GetPixel24(2, 2).r, 0x80);
  auto Rgb = Mem(20, 20, ie24RGB);
  Rgb->StretchRectTo(D.get(), 0, 0, 5, 5, 0, 0, 20, 20, rfBicubic, 255);
  EXPECT_EQ(D->GetPixel24(2, 2).r, 0x10);
  EXPECT_EQ(Calls, (std::vector<std::string>{"box", "ex"}));
  IEResample1BitBoxGrayHook = nullptr;
  IEResampleExHook = nullptr;
}

TEST(PackedDIB, CopyAndDrawBackOneToOne) {
  auto S = Mem(5, 3, ie24RGB);
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 5; ++X) S->SetPixel24(X, Y, TRGB{uint8_t(10 * X), uint8_t(50 * Y), 7});
  TIEPackedDIB DIB = _CopyBitmaptoDIBEx(S.get(), 1, 0, 0, 0, 200, 200);
  TDIBLayout L;
  ASSERT_TRUE(ReadPackedDIBLayout(DIB.data(), DIB.size(), L));
  EXPECT_EQ(L.Header.biWidth, 4);
  EXPECT_EQ(L.Header.biHeight, 3);
  EXPECT_EQ(L.Header.biXPelsPerMeter, 7874);
  auto C = Canvas24(6, 4);
  PrintPict(C->GetCanvas(), 1, 1, S.get(), 1, 1, 3, 2);
  const uint8_t* R = C->GetScanLine(2) + 3 * 2;  // canvas (2, 2) = source (2, 2)
  EXPECT_EQ(R[0], 20);
  EXPECT_EQ(R[1], 100);
  EXPECT_EQ(C->GetScanLine(0)[0], 0);
  // 1-bit keeps its bits with the table black, white.
  auto One = Mem(9, 1, ie1g);
  One->GetScanline(0)[0] = 0x81;
  One->GetScanline(0)[1] = 0x80;
  TIEPackedDIB D1 = _CopyBitmaptoDIBEx(One.get(), 0, 0, 0, 0, 300, 300);
  ASSERT_TRUE(ReadPackedDIBLayout(D1.data(), D1.size(), L));
  EXPECT_EQ(L.Header.biBitCount, 1);
  EXPECT_EQ(D1[L.BitsOffset], 0x81);
  EXPECT_EQ(D1[L.BitsOffset + 1], 0x80);
  // A damaged DIB draws nothing.
  TIEPackedDIB Bad(DIB.begin(), DIB.begin() + 60);
  _DIBDrawTo(C->GetCanvas(), Bad, 0, 0, 4, 3, 0, 0, 4, 3);
}

TEST(RenderToCanvas, GammaOnlyWhenAboveZeroAndNotOne) {
  auto S = Mem(2, 2, ie24RGB);
  S->Fill(double(0x808080));
  struct Case {
    TResampleFilter F;
    double Gamma;
    uint8_t Expect;
  } Cases[] = {{rfNone, 1, 128},      {rfNone, 2.2, 186},     {rfNone, 0, 128},
               {rfNone, -2.2, 128},   {rfFastLinear, 2.2, 186}, {rfFastLinear, -1, 128}};
  for (const Case& K : Cases) {
    auto C = Canvas24(4, 4);
    S->RenderToCanvas(C->GetCanvas(), 0, 0, 4, 4, K.F, K.Gamma);
    EXPECT_EQ(C->GetScanLine(3)[9], K.Expect) << int(K.F) << " " << K.Gamma;
  }
}

TEST(RenderToCanvas, StripsGiveTheSamePictureAsOnePass) {
  auto S = Mem(30, 40, ie24RGB);
  for (int32_t Y = 0; Y < 40; ++Y)
    for (int32_t X = 0; X < 30; ++X) S->SetPixel24(X, Y, TRGB{uint8_t(X), uint8_t(Y), uint8_t(X ^ Y)});
  auto Whole = Canvas24(60, 80);
  S->RenderToCanvas(Whole->GetCanvas(), 0, 0, 60, 80, rfFastLinear, 1);
  // A small memory threshold forces strips of a few rows.
  S->SetMemoryThreshold(4 * 180 * 7);
  auto Strips = Canvas24(60, 80);
  S->RenderToCanvas(Strips->GetCanvas(), 0, 0, 60, 80, rfFastLinear, 1);
  for (int32_t Y = 0; Y < 80; ++Y)
    ASSERT_EQ(std::memcmp(Whole->GetScanLine(Y), Strips->GetScanLine(Y), 180), 0) << Y;
  EXPECT_EQ(Whole->GetScanLine(79)[3 * 59 + 1], 39);
}

TEST(DrawDib, DrawsBitsThroughAHandle) {
  auto S = Mem(2, 2, ie24RGB);
  S->Fill(double(0x0000FF));
  TIEPackedDIB DIB = _CopyBitmaptoDIBEx(S.get(), 0, 0, 0, 0, 96, 96);
  TDIBLayout L;
  ASSERT_TRUE(ReadPackedDIBLayout(DIB.data(), DIB.size(), L));
  auto H = IEDrawDibOpen();
  auto C = Canvas24(4, 4);
  EXPECT_TRUE(IEDrawDibDraw(H.get(), C->GetCanvas(), 0, 0, 4, 4,
                            reinterpret_cast<const TBitmapInfoHeader*>(DIB.data()),
                            DIB.data() + L.BitsOffset, 0, 0, 2, 2, 0));
  EXPECT_EQ(C->GetScanLine(3)[3 * 3 + 2], 255);
  EXPECT_TRUE(IEDrawDibClose(std::move(H)));
}

}  // namespace
