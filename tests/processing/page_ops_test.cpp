// Page operations of the processing component: what they change, what they
// leave alone (format, undo stack) and how a selection limits them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "kernels/histogram.h"
#include "processing/effects_launcher.h"
#include "processing/folio_proc.h"
#include "views/view_base.h"

namespace {

// A view with an image and a selection mask.
class TSelView : public TIEView {
 public:
  TSelView() : TIEView(nullptr) { Mask.AllocateBits(1, 1, 1); }
  TIEBitmap Image;
  TIEMask Mask;
  bool HasSel = false;
  int32_t Paints = 0;
  // Selects the rectangle, or the ellipse inscribed in it.
  void Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Ellipse = false) {
    Mask.AllocateBits(Image.GetWidth(), Image.GetHeight(), 1);
    Mask.Clear();
    const double cx = (X1 + X2) / 2.0, cy = (Y1 + Y2) / 2.0, rx = (X2 - X1) / 2.0 + 0.5,
                 ry = (Y2 - Y1) / 2.0 + 0.5;
    for (int32_t y = Y1; y <= Y2; ++y)
      for (int32_t x = X1; x <= X2; ++x)
        if (!Ellipse || ((x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry) <= 1))
          Mask.SetPixel(x, y, 1);
    Mask.UpdateBoundingBox();
    HasSel = true;
  }
  TIEBitmap* GetViewIEBitmap() override { return &Image; }
  TIEBitmap* GetAlphaChannel() override { return Image.GetAlphaChannel(); }
  bool GetHasAlphaChannel() override { return Image.HasAlphaChannel(); }
  void RemoveAlphaChannel(bool) override {}
  void LockPaint() override { ++Paints; }
  int32_t UnlockPaint() override { return --Paints; }
  int32_t UnlockPaintNoUpdate() override { return --Paints; }
  TIEMask* GetSelectionMask() override { return &Mask; }
  bool GetHasSelection() override { return HasSel; }
};

TColor Rgb(uint8_t R, uint8_t G, uint8_t B) { return IERGBToColor(IECreateRGB(R, G, B)); }

void Paint(TIEBitmap& B, int32_t W, int32_t H) {
  B.Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B.SetPixel24(x, y, TRGB{uint8_t(x * 9 + y), uint8_t(y * 13), uint8_t(x * y)});
}

void FaxPage(TIEBitmap& B, int32_t W, int32_t H) {
  B.Allocate(W, H, ie1g);
  B.Fill(1);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if ((x + 2 * y) % 5 == 0) B.GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
}

std::unique_ptr<TFolioProc> UndoingProc(TIEBitmap& B) {
  auto P = TFolioProc::CreateFromBitmap(&B);
  P->SetAutoUndo(true);
  P->SetUndoLimit(10);
  P->SetUndoLocation(ieMemory);
  return P;
}

TEST(ColourOps, HistogramOfAFaxPageLeavesItOneBit) {
  TIEBitmap B;
  FaxPage(B, 20, 10);
  auto P = UndoingProc(B);
  TIEHistogram H;
  P->ComputeHistogram(H);
  EXPECT_EQ(B.GetPixelFormat(), ie1g);
  EXPECT_EQ(P->UndoCount(), 0);
  EXPECT_EQ(H[0].gray + H[255].gray, 200u);
  EXPECT_EQ(H[0].gray, 40u);
}

TEST(ColourOps, HistogramAndGrayFollowTheSelection) {
  TSelView V;
  V.Image.Allocate(10, 10, ie24RGB);
  V.Image.Fill(double(uint32_t(Rgb(200, 10, 10))));
  V.Select(2, 2, 5, 5, true);
  TFolioProc P(nullptr);
  P.SetAttachedFolio(&V);
  TIEHistogram H;
  P.ComputeHistogram(H);
  uint32_t InMask = 0;
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) InMask += V.Mask.IsPointInside(x, y);
  EXPECT_EQ(H[200].r, InMask);
  P.ConvertToGray();
  const int32_t G = IERGBToGray(IECreateRGB(200, 10, 10));
  EXPECT_EQ(V.Image.GetPixel24(3, 3).g, G);
  EXPECT_EQ(V.Image.GetPixel24(2, 2).g, V.Mask.IsPointInside(2, 2) ? G : 10);
  EXPECT_EQ(V.Image.GetPixel24(8, 8).g, 10);
}

TEST(FlipNegativeOps, NegativeOfAPaletteSelectionInvertsOnlyTheSelection) {
  TSelView V;
  V.Image.Allocate(6, 6, ie8p);
  V.Image.SetPaletteColor(0, IECreateRGB(10, 20, 30));
  V.Image.Fill(0);
  V.Select(1, 1, 2, 2);
  TFolioProc P(nullptr);
  P.SetAttachedFolio(&V);
  P.Negative();
  ASSERT_EQ(V.Image.GetPixelFormat(), ie24RGB);
  EXPECT_TRUE(IESameRGB(V.Image.GetPixel24(1, 1), IECreateRGB(245, 235, 225)));
  EXPECT_TRUE(IESameRGB(V.Image.GetPixel24(4, 4), IECreateRGB(10, 20, 30)));
}

TEST(FlipNegativeOps, ClearCropSelAndAlphaExtent) {
  TSelView V;
  Paint(V.Image, 12, 10);
  TFolioProc P(nullptr);
  P.SetAttachedFolio(&V);
  P.SetBackground(Rgb(1, 2, 3));
  // Without a selection CropSel changes nothing but still reports the end.
  int32_t Finished = 0;
  P.OnFinishWork = [&](TObject*) { ++Finished; };
  P.CropSel(false);
  EXPECT_EQ(V.Image.GetWidth(), 12);
  EXPECT_EQ(Finished, 1);
  // An ellipse: its bounding box, corners in the background and transparent.
  V.Select(2, 1, 8, 7, true);
  const TRGB Centre = V.Image.GetPixel24(5, 4);
  P.CropSel(false);
  ASSERT_EQ(V.Image.GetWidth(), 7);
  ASSERT_EQ(V.Image.GetHeight(), 7);
  EXPECT_TRUE(IESameRGB(V.Image.GetPixel24(0, 0), IECreateRGB(1, 2, 3)));
  EXPECT_EQ(V.Image.GetAlpha(0, 0), 0);
  EXPECT_TRUE(IESameRGB(V.Image.GetPixel24(3, 3), Centre));
  EXPECT_EQ(V.Image.GetAlpha(3, 3), 255);
  // Cropping to the opaque part, with no undo entry.
  P.SetAutoUndo(true);
  P.SetUndoLocation(ieMemory);
  const int32_t Before = P.UndoCount();
  P.CropToAlphaExtent();
  EXPECT_EQ(V.Image.GetWidth(), 7);
  V.Image.GetAlphaChannel()->Fill(0);
  V.Image.SetAlpha(2, 3, 255);
  V.Image.SetAlpha(4, 5, 255);
  V.HasSel = false;
  P.CropToAlphaExtent();
  EXPECT_EQ(V.Image.GetWidth(), 3);
  EXPECT_EQ(V.Image.GetHeight(), 3);
  EXPECT_EQ(P.UndoCount(), Before);
  // A rectangle of an opaque page drops the alpha plane.
  TSelView R;
  Paint(R.Image, 8, 8);
  TFolioProc Q(nullptr);
  Q.SetAttachedFolio(&R);
  Q.SetBackground(Rgb(0, 0, 0));
  R.Select(1, 1, 4, 3);
  Q.CropSel(false);
  EXPECT_EQ(R.Image.GetWidth(), 4);
  EXPECT_FALSE(R.Image.HasAlphaChannel());
  Q.Clear();
  EXPECT_TRUE(IESameRGB(R.Image.GetPixel24(2, 2), IECreateRGB(0, 0, 0)));
}

TEST(DepthOps, ConvertToAndItsUndoEntries) {
  TIEBitmap B;
  Paint(B, 40, 30);
  auto P = UndoingProc(B);
  P->ConvertTo(2000, false);
  EXPECT_EQ(P->UndoCount(), 0);
  P->ConvertTo(16, false);
  ASSERT_EQ(P->UndoCount(), 1);
  EXPECT_EQ(P->GetUndoCaption(0), "ConvertTo 16");
  ASSERT_EQ(B.GetPixelFormat(), ie24RGB);
  std::set<uint32_t> Colours;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) Colours.insert(uint32_t(IERGBToColor(B.GetPixel24(x, y))));
  EXPECT_LE(Colours.size(), 16u);
  P->ConvertTo24Bit();  // not 1-bit: nothing
  EXPECT_EQ(P->UndoCount(), 1);
}

TEST(DepthOps, OrderedDitherOfMidGrayAndWhites) {
  TIEBitmap B(16, 16, ie24RGB);
  B.Fill(double(uint32_t(Rgb(128, 128, 128))));
  B.SetPixel24(0, 1, IECreateRGB(251, 251, 251));  // near white stays white
  auto P = TFolioProc::CreateFromBitmap(&B);
  P->ConvertTo(2, false);
  ASSERT_EQ(B.GetPixelFormat(), ie1g);
  int32_t White = 0;
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) White += (B.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1;
  EXPECT_EQ(White, 33);  // the 32 cells below level 32, and the near-white pixel
  P->ConvertTo24Bit();
  EXPECT_EQ(B.GetPixelFormat(), ie24RGB);
  EXPECT_TRUE(IESameRGB(B.GetPixel24(0, 1), IECreateRGB(255, 255, 255)));
  TRGB Pal[4];
  TIEBitmap C;
  Paint(C, 20, 20);
  auto Q = TFolioProc::CreateFromBitmap(&C);
  Q->ConvertToPalette(2, Pal, true);
  EXPECT_EQ(C.GetPixelFormat(), ie1g);
  EXPECT_TRUE(IESameRGB(Pal[1], IECreateRGB(255, 255, 255)));
}

TEST(ResampleOps, SizesProportionsAndRefusals) {
  TIEBitmap B;
  Paint(B, 100, 60);
  auto P = UndoingProc(B);
  TIEBitmap D;
  struct {
    int32_t W, H, EW, EH;
  } Rows[] = {{-1, 30, 50, 30}, {100, -1, 100, 60}, {0, 12, 100, 12}, {-1, 0, 100, 60}, {3, 0, 3, 60}};
  for (auto& R : Rows) {
    ASSERT_TRUE(P->ResampleTo(&D, R.W, R.H, rfTriangle)) << R.W << "," << R.H;
    EXPECT_EQ(D.GetWidth(), R.EW) << R.W << "," << R.H;
    EXPECT_EQ(D.GetHeight(), R.EH) << R.W << "," << R.H;
  }
  for (auto [W, H] : {std::pair{-7, 0}, {-1, -1}, {-2, 10}, {5, -9}, {2000000, 10}, {60000, 60000}})
    EXPECT_FALSE(P->ResampleTo(&D, W, H, rfTriangle)) << W << "," << H;
  // Same size, also through the proportional side: nothing, no undo entry.
  P->Resample(100, 60, rfTriangle);
  P->Resample(-1, 60, rfTriangle);
  P->Resample(-5, 60, rfTriangle);
  EXPECT_EQ(P->UndoCount(), 0);
  P->Resample(50, -1, rfLanczos3);
  EXPECT_EQ(B.GetWidth(), 50);
  EXPECT_EQ(B.GetHeight(), 30);
  EXPECT_EQ(P->GetUndoCaption(0), "Resample 50, -1");
}

TEST(ResampleOps, FaxPagesAndAlphaPlanes) {
  TIEBitmap F;
  FaxPage(F, 64, 40);
  auto P = TFolioProc::CreateFromBitmap(&F);
  P->Resample(32, 20, rfProjectBW);
  EXPECT_EQ(F.GetPixelFormat(), ie1g);
  P->Resample(16, 10, rfTriangle);
  EXPECT_EQ(F.GetPixelFormat(), ie24RGB);
  TIEBitmap A;
  Paint(A, 30, 20);
  A.GetAlphaChannel()->Fill(255);
  auto Q = TFolioProc::CreateFromBitmap(&A);
  Q->Resample(15, 10, rfTriangle);
  ASSERT_TRUE(A.HasAlphaChannel());
  EXPECT_EQ(A.GetAlphaChannel()->GetWidth(), 15);
}

TEST(ResampleOps, CanvasSize) {
  TIEBitmap B;
  Paint(B, 4, 4);
  auto P = UndoingProc(B);
  P->SetBackground(Rgb(0, 0, 255));
  P->ImageResize(0, 100, 1, 1);
  P->ImageResize(-8, 8, 1, 1);
  P->ImageResize(4, 4, 1, 1);
  EXPECT_EQ(P->UndoCount(), 0);
  const TRGB Corner = B.GetPixel24(0, 0);
  P->ImageResize(8, 6, 1, 1, 100);
  ASSERT_EQ(B.GetWidth(), 8);
  ASSERT_EQ(B.GetHeight(), 6);
  EXPECT_EQ(P->GetUndoCaption(0), "ImageResize 8,6");
  EXPECT_TRUE(IESameRGB(B.GetPixel24(2, 1), Corner));
  EXPECT_TRUE(IESameRGB(B.GetPixel24(0, 0), IECreateRGB(0, 0, 255)));
  EXPECT_EQ(B.GetAlpha(0, 0), 100);
  EXPECT_EQ(B.GetAlpha(3, 3), 255);
}

TEST(RotateOps, UndoEntriesSizesAndAlpha) {
  TIEBitmap B;
  Paint(B, 30, 20);
  TIEBitmap Ref;
  Ref.Assign(&B);
  auto P = UndoingProc(B);
  P->Rotate(0);
  EXPECT_EQ(P->UndoCount(), 0);
  P->Rotate(360, true, 0, TColor(-1));
  ASSERT_EQ(P->UndoCount(), 1);
  EXPECT_EQ(P->GetUndoCaption(0), "Rotate 360.00");
  EXPECT_TRUE(IEBitmapsEqual(&B, &Ref));
  P->Rotate(90, false);
  EXPECT_EQ(B.GetWidth(), 20);
  P->Rotate(-90, true);
  EXPECT_TRUE(IEBitmapsEqual(&B, &Ref));
  // The alpha plane turns along, its corners transparent.
  B.GetAlphaChannel()->Fill(255);
  for (uint8_t Quality : {0, 2}) {
    TIEBitmap C;
    C.Assign(&B);
    auto Q = TFolioProc::CreateFromBitmap(&C);
    Q->Rotate(25, true, Quality, Rgb(255, 255, 255));
    ASSERT_TRUE(C.HasAlphaChannel()) << int(Quality);
    EXPECT_EQ(C.GetAlphaChannel()->GetWidth(), C.GetWidth());
    EXPECT_EQ(C.GetAlpha(0, 0), 0);
    EXPECT_GE(C.GetAlpha(C.GetWidth() / 2, C.GetHeight() / 2), 250) << int(Quality);
  }
}

TEST(RotateOps, FaxPageTurnsWithoutLoss) {
  TIEBitmap F;
  FaxPage(F, 21, 9);
  TIEBitmap Ref;
  Ref.Assign(&F);
  auto P = TFolioProc::CreateFromBitmap(&F);
  P->Rotate(-90, true);
  ASSERT_EQ(F.GetPixelFormat(), ie1g);
  ASSERT_EQ(F.GetWidth(), 9);
  P->Rotate(90, true);
  ASSERT_EQ(F.GetWidth(), 21);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 21; ++x)
      ASSERT_EQ((F.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1,
                (Ref.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1)
          << x << "," << y;
  P->Rotate(1.5, true, 0, Rgb(0, 0, 0));
  EXPECT_EQ(F.GetPixelFormat(), ie1g);
  EXPECT_EQ(F.GetScanline(0)[0] & 0x80, 0);  // black corner
}

// The effects dialog stands in as a runner that applies one change.
struct TDialogStub {
  bool Confirm = true;
  bool Change = true;
  int32_t Calls = 0;
  TIEEffectsDialogRequest Seen;
  TDialogStub() {
    IESetEffectsDialogRunner([this](TIEEffectsDialogRequest& R) {
      ++Calls;
      Seen.Width = R.Width, Seen.Height = R.Height, Seen.Centred = R.Centred, Seen.Effects = R.Effects;
      if (Change) {
        R.Image->SetPixel24(0, 0, IECreateRGB(1, 2, 3));
        R.Caption = "Contrast";
      }
      return Confirm;
    });
  }
  ~TDialogStub() { IESetEffectsDialogRunner(nullptr); }
};

TEST(EffectsLauncher, CancelUnchangedAndApplied) {
  TDialogStub Stub;
  TIEBitmap F;
  FaxPage(F, 20, 10);
  auto P = UndoingProc(F);
  Stub.Confirm = false;
  EXPECT_FALSE(P->ShowEffectsDialog(4000, true, 300, 200, 10, -1));
  EXPECT_FALSE(Stub.Seen.Centred);
  EXPECT_EQ(Stub.Seen.Width, 300);
  EXPECT_EQ(Stub.Seen.Effects, 4000);
  EXPECT_EQ(F.GetPixelFormat(), ie1g);
  EXPECT_EQ(P->UndoCount(), 0);
  // OK without any change keeps the fax page as it is.
  Stub.Confirm = true;
  Stub.Change = false;
  EXPECT_TRUE(P->ShowEffectsDialog());
  EXPECT_EQ(F.GetPixelFormat(), ie1g);
  EXPECT_EQ(P->UndoCount(), 0);
  EXPECT_TRUE(Stub.Seen.Centred);
  EXPECT_GT(Stub.Seen.Width, 0);
  Stub.Change = true;
  EXPECT_TRUE(P->ShowEffectsDialog());
  EXPECT_EQ(F.GetPixelFormat(), ie24RGB);
  ASSERT_EQ(P->UndoCount(), 1);
  EXPECT_EQ(P->GetUndoCaption(0), "Contrast");
  EXPECT_TRUE(IESameRGB(F.GetPixel24(0, 0), IECreateRGB(1, 2, 3)));
  // Too small: not even shown.
  TIEBitmap Dot(1, 1, ie24RGB);
  auto D = TFolioProc::CreateFromBitmap(&Dot);
  const int32_t Calls = Stub.Calls;
  EXPECT_FALSE(D->ShowEffectsDialog());
  EXPECT_EQ(Stub.Calls, Calls);
  TIEBitmap Thin(1, 5, ie24RGB);
  auto T = TFolioProc::CreateFromBitmap(&Thin);
  EXPECT_TRUE(T->ShowEffectsDialog());
}

TEST(EffectsLauncher, SelectionReceivesTheResultThroughItsMask) {
  TDialogStub Stub;
  Stub.Change = false;
  TSelView V;
  V.Image.Allocate(10, 10, ie24RGB);
  V.Image.Fill(0);
  V.Select(2, 2, 7, 7, true);
  TFolioProc P(nullptr);
  P.SetAttachedFolio(&V);
  IESetEffectsDialogRunner([](TIEEffectsDialogRequest& R) {
    R.Image->Fill(double(uint32_t(IERGBToColor(IECreateRGB(9, 9, 9)))));
    return true;
  });
  EXPECT_TRUE(P.ShowEffectsDialog());
  EXPECT_EQ(V.Image.GetPixel24(4, 4).g, 9);
  EXPECT_EQ(V.Image.GetPixel24(2, 2).g, V.Mask.IsPointInside(2, 2) ? 9 : 0);
  EXPECT_EQ(V.Image.GetPixel24(0, 0).g, 0);
  EXPECT_EQ(V.Paints, 0);  // the paint lock is released
}

TEST(EffectsLauncher, ParamsReset) {
  TIPDialogParams Params;
  Params.LensRef = 3;
  Params.BumpFirstTime = false;
  Params.SetFFTSelX1(5);
  Params.Reset();
  EXPECT_EQ(Params.LensRef, 1.7);
  EXPECT_TRUE(Params.BumpFirstTime);
  EXPECT_TRUE(Params.LensFirstTime);
  EXPECT_EQ(Params.GetFFTSelX1(), -1);
  EXPECT_EQ(Params.UserFilter.Values[1][1], 1);
  EXPECT_EQ(Params.SharpenSize, 4);
  EXPECT_EQ(Params.MorphWinSize, 1);
}

}  // namespace
