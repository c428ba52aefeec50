// The three-state picture button, read from a form resource whose pictures
// are PNG data, painted on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <cstdio>

#include "pictures/png_button.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "pictures/png_test_helpers.h"

namespace {

using namespace pngtest;

// Our own drawing: an RGBA square of Colour with a clear two-pixel border
// and a half-transparent top-left pixel inside the border.
Bytes SquarePicture(int Size, uint8_t R, uint8_t G, uint8_t B) {
  Bytes raw;
  for (int y = 0; y < Size; ++y) {
    raw.push_back(0);
    for (int x = 0; x < Size; ++x) {
      const bool inside = x >= 2 && y >= 2 && x < Size - 2 && y < Size - 2;
      const uint8_t a = !inside ? 0 : (x == 2 && y == 2) ? 128 : 255;
      raw.insert(raw.end(), {R, G, B, a});
    }
  }
  return SimplePng(uint32_t(Size), uint32_t(Size), 8, 6, raw);
}

// Picture data as a form resource holds it: { hex } of the class name as a
// short string and the PNG stream, in lines.
std::string FormData(const Bytes& Png) {
  Bytes data = {10};
  const std::string name = "TPNGObject";
  data.insert(data.end(), name.begin(), name.end());
  data.insert(data.end(), Png.begin(), Png.end());
  std::string text = "{";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 32 == 0) text += "\n      ";
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", data[i]);
    text += hex;
  }
  return text + "}";
}

std::string FormText() {
  return "object F: TForm\n"
         "  Color = clWhite\n"
         "  object Tool: TPNGButton\n"
         "    Left = 10\n    Top = 10\n"
         "    AutoSize = False\n    Width = 60\n    Height = 40\n"
         "    CaptionDefault = 'Go'\n"
         "    CaptionAlignment = tp_Center_Bottom\n"
         "    PictureAlignment = tp_Center_Top\n"
         "    FontDefault.Color = clBlack\n    FontHot.Color = clBlack\n    FontPress.Color = clBlack\n"
         "    PictureDefault.Data = " +
         FormData(SquarePicture(16, 200, 0, 0)) +
         "\n"
         "    PictureHot.Data = " +
         FormData(SquarePicture(16, 0, 200, 0)) +
         "\n"
         "    PicturePress.Data = " +
         FormData(SquarePicture(16, 0, 0, 200)) +
         "\n"
         "    OnClick = ToolClick\n"
         "    OnMouseEnter = ToolEnter\n"
         "  end\n"
         "  object Plain: TPNGButton\n"
         "    Left = 100\n"
         "    PictureDefault.Data = " +
         FormData(SquarePicture(32, 10, 20, 30)) +
         "\n"
         "  end\n"
         "end\n";
}

class PngButtonTest : public ::testing::Test {
 protected:
  PngButtonTest() {
    RegisterPNGButton();
    F.BindHandlerFn("ToolClick", TNotifyEvent([this](TObject*) { ++Clicks; }));
    F.BindHandlerFn("ToolEnter", TNotifyEvent([this](TObject*) { ++Enters; }));
    F.ReadFormResourceText(FormText(), "buttons");
    Tool = F.Find<TPNGButton>("Tool");
    Plain = F.Find<TPNGButton>("Plain");
  }

  TColor Pixel(TPNGButton* B, int X, int Y) {
    B->Repaint();
    return B->GetFrontBuffer()->GetPixelColor(X, Y);
  }
  // Pixels of the band of rows [Top, Bottom) of B that Test accepts.
  template <typename F>
  int Count(TPNGButton* B, int Top, int Bottom, F Test) {
    B->Repaint();
    int n = 0;
    for (int y = Top; y < Bottom; ++y)
      for (int x = 0; x < B->GetWidth(); ++x) n += Test(uint32_t(B->GetFrontBuffer()->GetPixelColor(x, y)));
    return n;
  }
  // Text is smoothed: dark pixels are the black caption's, light gray ones
  // the silver caption's.
  static bool Dark(uint32_t C) { return GetRValue(C) < 0x60 && GetGValue(C) < 0x60 && GetBValue(C) < 0x60; }
  static bool Silver(uint32_t C) {
    return C != uint32_t(clWhite) && GetRValue(C) >= 0xC0 && GetRValue(C) == GetGValue(C) &&
           GetGValue(C) == GetBValue(C);
  }

  TForm F{nullptr};
  TPNGButton* Tool = nullptr;
  TPNGButton* Plain = nullptr;
  int Clicks = 0, Enters = 0;
};

TEST_F(PngButtonTest, FormResourceLoadsThePngPictures) {
  ASSERT_TRUE(Tool && Plain);
  for (TPicture* p : {Tool->GetPictureDefault(), Tool->GetPictureHot(), Tool->GetPicturePress()}) {
    ASSERT_TRUE(dynamic_cast<TPNGObject*>(p->GetGraphic()));
    EXPECT_EQ(p->GetWidth(), 16);
  }
  EXPECT_EQ(Tool->GetWidth(), 60);
  EXPECT_EQ(Tool->GetCaptionDefault(), "Go");
  // AutoSize (the default) sizes the button to its picture.
  EXPECT_EQ(Plain->GetWidth(), 32);
  EXPECT_EQ(Plain->GetHeight(), 32);
}

TEST_F(PngButtonTest, ShowsEachStatesPictureAndTheCaption) {
  // The picture sits centred at the top: (22, 0) to (38, 16).
  EXPECT_EQ(Pixel(Tool, 30, 8), RGB(200, 0, 0));
  EXPECT_EQ(Pixel(Tool, 23, 1), clWhite);  // the clear border shows the form
  EXPECT_EQ(Pixel(Tool, 24, 2), RGB((200 * 128 + 255 + 127 * 255) / 256, 127, 127));
  // The caption is drawn in black in the bottom band.
  const int th = Tool->GetCanvas()->TextHeight("Go");
  EXPECT_GT(Count(Tool, 40 - th, 40, Dark), 5);
  EXPECT_EQ(Count(Tool, 0, 40 - th, Dark), 0);

  Tool->Perform(CM_MOUSEENTER, 0, 0);
  EXPECT_EQ(Tool->GetButtonState(), pbsHot);
  EXPECT_EQ(Enters, 1);
  EXPECT_EQ(Pixel(Tool, 30, 8), RGB(0, 200, 0));
  EXPECT_GT(Count(Tool, 40 - th, 40, Dark), 5);

  QWidget* w = Tool->GetWidget();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(30, 8), QPointF(w->mapToGlobal(QPoint(30, 8))), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  EXPECT_EQ(Tool->GetButtonState(), pbsPressed);
  EXPECT_EQ(Pixel(Tool, 30, 8), RGB(0, 0, 200));
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(30, 8), QPointF(w->mapToGlobal(QPoint(30, 8))),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
  // Released over the button: hot again, and the click reached the form.
  EXPECT_EQ(Tool->GetButtonState(), pbsHot);
  EXPECT_EQ(Pixel(Tool, 30, 8), RGB(0, 200, 0));
  EXPECT_EQ(Clicks, 1);

  Tool->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(Pixel(Tool, 30, 8), RGB(200, 0, 0));

  // Disabled: the caption turns silver, the picture stays.
  Tool->SetEnabled(false);
  EXPECT_EQ(Count(Tool, 40 - th, 40, Dark), 0);
  EXPECT_GT(Count(Tool, 40 - th, 40, Silver), 5);
  EXPECT_EQ(Pixel(Tool, 30, 8), RGB(200, 0, 0));
}

TEST_F(PngButtonTest, FallbacksPlacementAndInfo) {
  // Only a default picture: every state shows it.
  Plain->Perform(CM_MOUSEENTER, 0, 0);
  EXPECT_EQ(Pixel(Plain, 16, 16), RGB(10, 20, 30));
  Plain->Perform(WM_LBUTTONDOWN, 0, 0);
  EXPECT_EQ(Plain->GetButtonState(), pbsPressed);
  EXPECT_EQ(Pixel(Plain, 16, 16), RGB(10, 20, 30));
  // A 32 x 32 picture centred on a 40 x 30 button starts at (4, -1).
  Plain->SetAutoSize(false);
  Plain->SetBounds(100, 0, 40, 30);
  Plain->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(Pixel(Plain, 7, 1), RGB(10, 20, 30));
  EXPECT_EQ(Pixel(Plain, 5, 10), clWhite);
  EXPECT_EQ(Pixel(Plain, 7, 0), clWhite);
  // Stretched, the picture fills the button.
  Plain->SetStretch(true);
  EXPECT_EQ(Pixel(Plain, 20, 15), RGB(10, 20, 30));
  // Writing the info text changes nothing.
  const std::string info = Plain->GetInfo();
  Plain->SetInfo("other");
  EXPECT_EQ(Plain->GetInfo(), info);
  EXPECT_FALSE(info.empty());
  // Setting the default picture with AutoSize resizes the button.
  Plain->SetAutoSize(true);
  TPicture picture;
  picture.SetGraphic(Load(SquarePicture(12, 1, 2, 3)));
  Plain->SetPictureDefault(&picture);
  EXPECT_EQ(Plain->GetWidth(), 12);
}

}  // namespace
