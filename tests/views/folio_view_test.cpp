// The page view: zoom, scrolling, coordinate conversion and what lands on
// screen, on a fax-sized page.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "foundations/selection_mask.h"
#include "views/folio_vect.h"
#include "views/folio_view.h"
#include "io/folio_io.h"
#include "processing/folio_proc.h"

namespace {

constexpr int32_t kFaxW = 1728, kFaxH = 2289;

// Black where (x / 8 + y / 3) is odd: columns and rows both matter, and
// the pattern never repeats at the zoom steps used here.
bool FaxBlack(int32_t x, int32_t y) { return ((x / 8) + (y / 3) + (x * 7 + y * 3) / 97) % 2 == 1; }

// A 1-bit page of Height rows, black where Black(x, y) says.
template <typename F>
std::unique_ptr<TIEBitmap> MonoPage(int32_t Height, F Black) {
  auto B = std::make_unique<TIEBitmap>(kFaxW, Height, ie1g);
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int32_t x = 0; x < kFaxW; ++x)
      if (Black(x, y))
        Row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
      else
        Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return B;
}

std::unique_ptr<TIEBitmap> FaxPage(int32_t Height = kFaxH) { return MonoPage(Height, FaxBlack); }

class PageViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 900, 700);
    V = new TFolioVect(Form.get());
    V->SetParent(Form.get());
    V->SetBorderStyle(bsNone);
    V->SetBounds(0, 0, 800, 600);
    V->SetBackground(clGray);
    V->HandleNeeded();
  }
  void LoadFax() {
    auto B = FaxPage();
    V->SetIEBitmap(B.get());
  }
  void PaintNow() { V->PaintNow(); }
  TColor Pixel(int32_t X, int32_t Y) { return V->GetFrontBuffer()->GetPixelColor(X, Y) & 0xFFFFFF; }
  // Every sampled client pixel over the image shows the bitmap pixel the
  // view converts it to; pixels beside the image show the background.
  void ExpectScreenMatchesBitmap() {
    PaintNow();
    int32_t Checked = 0;
    for (int32_t y = 0; y < V->GetClientHeight(); y += 7)
      for (int32_t x = 0; x < V->GetClientWidth(); x += 5) {
        const int32_t bx = V->ScreenToBitmapX(x), by = V->ScreenToBitmapY(y);
        const bool OnImage = x >= V->GetOffsetX() && x < V->GetOffsetX() + V->GetCoveredWidth() &&
                             y >= V->GetOffsetY() && y < V->GetOffsetY() + V->GetCoveredHeight();
        const TColor Want = !OnImage ? ColorToRGB(clGray) : FaxBlack(bx, by) ? clBlack : clWhite;
        ASSERT_EQ(Pixel(x, y), Want) << "client " << x << "," << y << " bitmap " << bx << "," << by << " zoom "
                                     << V->GetZoom();
        ++Checked;
      }
    EXPECT_GT(Checked, 1000);
  }
  std::unique_ptr<TForm> Form;
  TFolioVect* V = nullptr;  // owned by the form
};

TEST_F(PageViewTest, FaxPageShowsPixelForPixelAtFitHundredAndFourHundred) {
  LoadFax();
  ASSERT_EQ(V->GetIEBitmap()->GetPixelFormat(), ie1g);
  // 100 %: scroll bars appear, the top-left of the page is at the client origin.
  V->SetZoom(100);
  EXPECT_EQ(V->GetOffsetX(), 0);
  EXPECT_TRUE(V->IsScrollable());
  ExpectScreenMatchesBitmap();
  V->ScrollTo(333, 1200);
  EXPECT_EQ(V->ScreenToBitmapX(0), 333);
  EXPECT_EQ(V->ScreenToBitmapY(0), 1200);
  ExpectScreenMatchesBitmap();

  // 400 %: every bitmap pixel covers 4 x 4 client pixels, starting on a
  // pixel boundary.
  V->SetZoom(400);
  V->ScrollTo(4003, 5001);
  EXPECT_EQ(V->GetViewX() >= 4000, true);
  EXPECT_EQ(V->BitmapToScreenX(V->ScreenToBitmapX(10)) % 4, 0);
  ExpectScreenMatchesBitmap();
  EXPECT_EQ(V->ScreenToBitmapX(0) + 1, V->ScreenToBitmapX(4));

  // Fit: the whole page in the client, centred horizontally, gray beside it.
  V->Fit();
  EXPECT_FALSE(V->IsScrollable());
  EXPECT_NEAR(V->GetZoom(), 600.0 / (kFaxH / 100.0), 1e-9);
  EXPECT_GT(V->GetOffsetX(), 100);
  EXPECT_EQ(V->GetOffsetY(), 0);
  ExpectScreenMatchesBitmap();
  EXPECT_EQ(Pixel(5, 300), ColorToRGB(clGray));
}

TEST_F(PageViewTest, ReducedFaxWithFilterShowsGrayAverages) {
  // A filtered reduction averages black and white into gray levels.
  auto B = std::make_unique<TIEBitmap>(kFaxW, kFaxH, ie1g);
  for (int32_t y = 0; y < kFaxH; ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int32_t i = 0; i < kFaxW / 8; ++i) Row[i] = 0xAA;  // alternate columns
  }
  V->SetIEBitmap(B.get());
  V->SetZoomFilter(rfFastLinear);
  V->Fit();
  PaintNow();
  const TColor C = Pixel(400, 300);
  const int32_t r = C & 0xFF;
  EXPECT_GT(r, 60);
  EXPECT_LT(r, 200);
  EXPECT_EQ(r, (C >> 8) & 0xFF);
  // An edit followed by the update cycle shows at the next paint.
  V->GetIEBitmap()->Fill(0);
  V->Update();
  PaintNow();
  EXPECT_EQ(Pixel(400, 300), TColor(0));
}

TEST_F(PageViewTest, MaximumScrollFollowsTheExtraColumnRule) {
  auto B = std::make_unique<TIEBitmap>(1000, 400, ie24RGB);
  V->SetIEBitmap(B.get());
  for (auto [Width, MaxX] : {std::tuple{995, 5}, std::tuple{900, 101}}) {
    V->SetBounds(0, 0, Width, 500);
    V->Update();
    int32_t mx = 0, my = 0;
    V->GetMaxViewXY(mx, my);
    EXPECT_EQ(mx, MaxX) << Width;
  }
}

TEST_F(PageViewTest, ScrollToClampsAndReportsTheRequestedValues) {
  LoadFax();
  V->SetZoom(100);
  std::vector<std::pair<int32_t, double>> Changing;
  int32_t Changes = 0;
  V->OnViewChanging = [&](TObject*, int32_t C, double v) { Changing.push_back({C, v}); };
  V->OnViewChange = [&](TObject*, int32_t C) { Changes += C == 0; };
  V->ScrollTo(-5, 1000000000);
  int32_t mx = 0, my = 0;
  V->GetMaxViewXY(mx, my);
  EXPECT_EQ(V->GetViewX(), 0);
  EXPECT_EQ(V->GetViewY(), my);
  ASSERT_GE(Changing.size(), 2u);
  EXPECT_EQ(Changing[0], (std::pair<int32_t, double>{0, -5}));
  EXPECT_EQ(Changing[1], (std::pair<int32_t, double>{1, 1e9}));
  EXPECT_EQ(Changes, 1);
}

TEST_F(PageViewTest, ScrollBarsStepAndThumbReachesTheEnd) {
  LoadFax();
  V->SetZoom(100);
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(V->GetViewY(), 1);
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
  EXPECT_EQ(V->GetViewY(), 1 + V->GetClientHeight());
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 65535), 0);
  int32_t mx = 0, my = 0;
  V->GetMaxViewXY(mx, my);
  EXPECT_EQ(V->GetViewY(), my);
  V->Perform(WM_HSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  EXPECT_EQ(V->GetViewX(), mx);
  V->Perform(WM_HSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  EXPECT_EQ(V->GetViewX(), 0);
  // At 400 % a line is four client pixels (one bitmap pixel).
  V->SetZoom(400);
  const int32_t y0 = V->GetViewY();
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
  EXPECT_EQ(V->GetViewY(), y0 - 4);
}

TEST_F(PageViewTest, WheelZoomsByNotchesAndTouchpadStepsAddUp) {
  LoadFax();
  V->SetZoom(100);
  QWidget* W = V->GetWidget();
  SendWheel(W, QPoint(100, 100), -120);  // toward the user: in
  EXPECT_DOUBLE_EQ(V->GetZoom(), 108);
  SendWheel(W, QPoint(100, 100), 120);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 108 - 9);
  // Four small touchpad steps make one notch.
  for (int k = 0; k < 3; ++k) SendWheel(W, QPoint(100, 100), -30);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 99);
  SendWheel(W, QPoint(100, 100), -30);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 107);
  // The minimum step is 1.
  V->SetZoom(10);
  SendWheel(W, QPoint(100, 100), 120);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 9);
  // OnZoomIn may change the new zoom.
  V->OnZoomIn = [](TObject*, double& Z) { Z = 250; };
  SendWheel(W, QPoint(100, 100), -120);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 250);
}

TEST_F(PageViewTest, WheelZoomAtTheCursorKeepsThePointUnderIt) {
  LoadFax();
  V->SetZoom(100);
  V->ScrollTo(300, 400);
  V->GetMouseWheelParams().ZoomAtCursor = true;
  const int32_t bx = V->ScreenToBitmapX(250), by = V->ScreenToBitmapY(170);
  SendWheel(V->GetWidget(), QPoint(250, 170), -120);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 108);
  EXPECT_NEAR(V->ScreenToBitmapX(250), bx, 1);
  EXPECT_NEAR(V->ScreenToBitmapY(170), by, 1);
  // Wheel scrolling instead of zooming: a notch moves 8 % of the view.
  V->GetMouseWheelParams().Action = 1;
  const int32_t y0 = V->GetViewY();
  SendWheel(V->GetWidget(), QPoint(250, 170), -120);
  EXPECT_EQ(V->GetViewY(), y0 + int32_t(std::nearbyint(V->GetClientHeight() * 0.08)));
}

TEST_F(PageViewTest, PixelAspectShowsAStandardFaxPageAtItsTrueShape) {
  // A standard-mode fax page, 1728 x 1078 at 204 x 98 DPI: on paper a row is
  // 204/98 times as high as a column is wide.
  auto B = FaxPage(1078);
  V->SetIEBitmap(B.get());
  const double A = 204.0 / 98;
  V->SetPixelAspect(A);
  V->SetZoom(50);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 50);
  EXPECT_DOUBLE_EQ(V->GetZoomY(), 50 * A);
  EXPECT_EQ(V->GetExtentY(), int32_t(std::nearbyint(1078 * 0.5 * A)));
  // What is painted and what the mouse hits agree on both axes.
  V->ScrollTo(200, 300);
  ExpectScreenMatchesBitmap();

  // The fits measure the page as shown.
  V->FitToWidth();
  EXPECT_EQ(V->GetExtentX(), V->GetClientWidth());
  EXPECT_DOUBLE_EQ(V->GetZoomY(), V->GetZoom() * A);
  V->FitToHeight();
  EXPECT_NEAR(V->GetExtentY(), V->GetClientHeight(), 1);
  EXPECT_DOUBLE_EQ(V->GetZoomY(), V->GetZoom() * A);
  V->Fit();
  EXPECT_FALSE(V->IsScrollable());
  EXPECT_LE(V->GetExtentX(), V->GetClientWidth());
  EXPECT_LE(V->GetExtentY(), V->GetClientHeight());
  EXPECT_TRUE(std::abs(V->GetExtentX() - V->GetClientWidth()) <= 1 ||
              std::abs(V->GetExtentY() - V->GetClientHeight()) <= 1);
  ExpectScreenMatchesBitmap();

  // The wheel zooms at the cursor on both axes, keeping the shape and the
  // point under the mouse.
  V->SetZoom(60);
  V->ScrollTo(300, 400);
  V->GetMouseWheelParams().ZoomAtCursor = true;
  const int32_t bx = V->ScreenToBitmapX(250), by = V->ScreenToBitmapY(170);
  SendWheel(V->GetWidget(), QPoint(250, 170), -120);
  EXPECT_DOUBLE_EQ(V->GetZoomY(), V->GetZoom() * A);
  EXPECT_GT(V->GetZoom(), 60);
  EXPECT_NEAR(V->ScreenToBitmapX(250), bx, 1);
  EXPECT_NEAR(V->ScreenToBitmapY(170), by, 1);

  // Square pixels again: both zooms equal.
  V->SetPixelAspect(1);
  EXPECT_DOUBLE_EQ(V->GetZoomY(), V->GetZoom());
}

TEST_F(PageViewTest, ACircleOnAStandardFaxPageLooksRound) {
  // A circle of one inch radius on paper: 204 columns wide, 98 rows high.
  auto B = MonoPage(1078, [](int32_t x, int32_t y) {
    const double dx = (x + 0.5 - 864) / 204.0, dy = (y + 0.5 - 539) / 98.0;
    return dx * dx + dy * dy <= 1;
  });
  V->SetIEBitmap(B.get());
  V->SetPixelAspect(204.0 / 98);
  for (double Zoom : {25.0, 37.5, 100.0}) {
    V->SetZoom(Zoom);
    V->ScrollTo(V->BitmapToScreenX(864) - 400 + V->GetViewX(), V->BitmapToScreenY(539) - 300 + V->GetViewY());
    PaintNow();
    int32_t L = 1 << 30, R = -1, T = 1 << 30, Bo = -1;
    for (int32_t y = 0; y < V->GetClientHeight(); ++y)
      for (int32_t x = 0; x < V->GetClientWidth(); ++x)
        if (Pixel(x, y) == clBlack) {
          L = std::min(L, x), R = std::max(R, x), T = std::min(T, y), Bo = std::max(Bo, y);
        }
    ASSERT_GT(R, L) << Zoom;
    const double W = R - L + 1, H = Bo - T + 1;
    EXPECT_NEAR(W / H, 1.0, 0.02) << "zoom " << Zoom << ": " << W << " x " << H;
    EXPECT_NEAR(W, 2 * 204 * Zoom / 100, 3) << Zoom;
  }
}

TEST_F(PageViewTest, QuarterTurnsSwapTheResolutionsAndUndoPutsThemBack) {
  auto B = FaxPage(1078);
  V->SetIEBitmap(B.get());
  V->SetDpi(204, 98);
  TFolioProc* P = V->GetProc();
  P->SetAutoUndo(true);
  P->Rotate(90);
  EXPECT_EQ(V->GetIEBitmap()->GetWidth(), 1078);
  EXPECT_EQ(V->GetDpiX(), 98);
  EXPECT_EQ(V->GetDpiY(), 204);
  // A half turn keeps them; three quarters swap them again.
  P->Rotate(180);
  EXPECT_EQ(V->GetDpiX(), 98);
  P->Rotate(-270);
  EXPECT_EQ(V->GetDpiX(), 204);
  EXPECT_EQ(V->GetDpiY(), 98);
  // Undo brings back each step's pixels with its resolutions.
  P->Undo(true);
  EXPECT_EQ(V->GetIEBitmap()->GetWidth(), 1078);
  EXPECT_EQ(V->GetDpiX(), 98);
  EXPECT_EQ(V->GetDpiY(), 204);
  P->Redo();
  EXPECT_EQ(V->GetIEBitmap()->GetWidth(), kFaxW);
  EXPECT_EQ(V->GetDpiX(), 204);
  EXPECT_EQ(V->GetDpiY(), 98);
}

TEST_F(PageViewTest, SmallImagesAreCentredAndAutoFitKeepsOnePixelAtHundred) {
  auto B = std::make_unique<TIEBitmap>(100, 50, ie24RGB);
  V->SetIEBitmap(B.get());
  V->SetZoom(100);
  EXPECT_EQ(V->GetOffsetX(), 350);
  EXPECT_EQ(V->GetOffsetY(), 275);
  EXPECT_FALSE(V->IsScrollable());
  V->Blank();
  V->SetAutoFit(true);
  EXPECT_DOUBLE_EQ(V->GetZoom(), 100);
  V->SetAutoFit(false);
  auto Empty = std::make_unique<TIEBitmap>();
  V->FitToWidth();  // 1 x 1: no harm
  V->SetIEBitmap(B.get());
  V->FitToWidth();
  EXPECT_EQ(V->GetExtentX(), V->GetClientWidth());
}

TEST_F(PageViewTest, SmoothScrollReachesItsTargetInSteps) {
  LoadFax();
  V->SetZoom(100);
  V->SmoothScrollTo(400, 800);
  ASSERT_TRUE(V->IsSmoothScrolling());
  EXPECT_EQ(V->GetViewX(), 50);  // one eighth at once
  for (int k = 0; k < 200 && V->IsSmoothScrolling(); ++k) V->Perform(WM_TIMER, 0x4E52, 0);
  EXPECT_FALSE(V->IsSmoothScrolling());
  EXPECT_NEAR(V->GetViewX(), 400, 4);
  EXPECT_NEAR(V->GetViewY(), 800, 4);
  // A zoom change stops it.
  V->SmoothScrollTo(0, 0);
  V->SetZoom(50);
  EXPECT_FALSE(V->IsSmoothScrolling());
}

TEST_F(PageViewTest, ComponentsWorkOnTheShownImageAndLegacyBitmapFollows) {
  LoadFax();
  TFolioIO* IO = V->GetIO();
  EXPECT_EQ(IO, V->GetIO());
  TFolioProc* Proc = V->GetProc();
  EXPECT_EQ(Proc, V->GetProc());
  // The legacy platform bitmap is the image's own storage.
  ASSERT_NE(V->GetBitmap(), nullptr);
  EXPECT_EQ(V->GetBitmap()->GetWidth(), kFaxW);
  V->SetLegacyBitmap(false);
  EXPECT_EQ(V->GetBitmap(), nullptr);
  EXPECT_EQ(V->GetIEBitmap()->GetWidth(), kFaxW);
  EXPECT_TRUE(FaxBlack(9, 0) == (V->GetIEBitmap()->GetPixelRGB(9, 0).r == 0));
  V->SetLegacyBitmap(true);
  ASSERT_NE(V->GetBitmap(), nullptr);
  // Clear keeps size and format.
  V->Clear();
  // A mid-gray background clears a 1-bit page to its nearer level, white.
  EXPECT_EQ(V->GetIEBitmap()->GetPixelRGB(9, 0).r, 255);
  EXPECT_EQ(V->GetIEBitmap()->GetPixelFormat(), ie1g);
}

TEST_F(PageViewTest, NavigatorFollowsAndDrivesTheView) {
  LoadFax();
  V->SetZoom(400);
  auto* N = new TFolioView(Form.get());
  N->SetParent(Form.get());
  N->SetBorderStyle(bsNone);
  N->SetBounds(810, 0, 80, 106);
  N->HandleNeeded();
  V->SetNavigator(N, 3);
  EXPECT_EQ(N->GetIEBitmap(), V->GetIEBitmap());
  EXPECT_TRUE(N->GetAutoFit());
  // The navigator's selection is the visible part of the page.
  V->ScrollTo(2000, 3000);
  ASSERT_TRUE(N->GetHasSelection());
  EXPECT_NEAR(N->GetSelectionLeft(), V->ScreenToBitmapX(0), 1);
  EXPECT_NEAR(N->GetSelectionTop(), V->ScreenToBitmapY(0), 1);
  // Dragging the selection in the navigator scrolls the view.
  const int32_t x0 = V->GetViewX(), y0 = V->GetViewY();
  const QPoint In(N->BitmapToScreenX(N->GetSelectionLeft() + 20), N->BitmapToScreenY(N->GetSelectionTop() + 20));
  SendMouse(N->GetWidget(), QEvent::MouseButtonPress, In, Qt::LeftButton, Qt::LeftButton);
  SendMouse(N->GetWidget(), QEvent::MouseMove, In + QPoint(5, 8), Qt::NoButton, Qt::LeftButton);
  SendMouse(N->GetWidget(), QEvent::MouseButtonRelease, In + QPoint(5, 8), Qt::LeftButton, Qt::NoButton);
  EXPECT_GT(V->GetViewX(), x0);
  EXPECT_GT(V->GetViewY(), y0);
  // The navigator's wheel zooms the view; freeing the navigator unlinks it.
  const double z = V->GetZoom();
  SendWheel(N->GetWidget(), QPoint(40, 50), -120);
  EXPECT_GT(V->GetZoom(), z);
  N->PaintNow();
  delete N;
  EXPECT_EQ(V->GetNavigator(), nullptr);
  V->ScrollTo(0, 0);
}

TEST(PageViewForm, ClassesComeFromFormResources) {
  IERegisterFolioViewClasses();
  EXPECT_TRUE(IsClassRegistered("TFolioView"));
  EXPECT_TRUE(IsClassRegistered("TFolioVect"));
  TForm Form(nullptr);
  const std::string Text =
      "object Form1: TForm\n"
      "  Left = 0\n  Top = 0\n  Width = 640\n  Height = 480\n"
      "  object PageView: TFolioVect\n"
      "    Left = 10\n    Top = 10\n    Width = 400\n    Height = 300\n"
      "    Background = clWhite\n    ScrollBars = ssVertical\n    ZoomFilter = rfFastLinear\n"
      "    BackgroundStyle = iebsPhotoLike\n    MouseInteract = [miZoom, miScroll]\n"
      "    SelectionOptions = [iesoAnimated, iesoMoveable]\n    AutoShrink = True\n    Center = False\n"
      "  end\n"
      "end\n";
  ReadComponentResource(&Form, Text, nullptr, "test");
  auto* V = dynamic_cast<TFolioVect*>(Form.FindComponent("PageView"));
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->GetWidth(), 400);
  EXPECT_EQ(V->GetScrollBars(), ssVertical);
  EXPECT_EQ(V->GetZoomFilter(), rfFastLinear);
  EXPECT_EQ(V->GetBackgroundStyle(), iebsPhotoLike);
  EXPECT_EQ(V->GetMouseInteract(), IEMI(miZoom) | IEMI(miScroll));
  EXPECT_EQ(V->GetSelectionOptions(), IESO(iesoAnimated) | IESO(iesoMoveable));
  EXPECT_TRUE(V->GetAutoShrink());
  EXPECT_FALSE(V->GetCenter());
}

}  // namespace

