#include "views/hint_boxes.h"

#include <algorithm>

#include "foundations/ie_canvas.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "views/window_helpers.h"

void IEDrawTextBoxSavingBackground(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Text,
                                   TFont* Font, TBrush* Brush, std::unique_ptr<TBitmap>& Saved,
                                   int32_t CanvasWidth, int32_t CanvasHeight, int32_t TopLeftColor,
                                   int32_t BottomRightColor) {
  if (Canvas == nullptr) return;
  if (Font != nullptr) Canvas->SetFont(Font);
  if (Brush != nullptr) Canvas->SetBrush(Brush);
  const int32_t W = Canvas->TextWidth(Text) + 12, H = Canvas->TextHeight(Text) + 12;
  X = std::max(std::min(X, CanvasWidth - W - 1), 0);
  Y = std::max(std::min(Y, CanvasHeight - H - 1), 0);
  Saved = std::make_unique<TBitmap>();
  Saved->SetPixelFormat(pf24bit);
  Saved->SetSize(W, H);
  Saved->GetCanvas()->SetCopyMode(cmSrcCopy);
  Saved->GetCanvas()->CopyRect(TRect{0, 0, W, H}, Canvas, TRect{X, Y, X + W, Y + H});
  Canvas->FillRect(TRect{X + 6, Y + 6, X + W, Y + H});
  IEDraw3DFrame(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, TopLeftColor, BottomRightColor);
  Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDrawTranslucentTextBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Text,
                              const std::string& WidthText) {
  if (Canvas == nullptr || Canvas->GetTarget() == nullptr) return;
  TIECanvas C(Canvas);
  TFont* Font = Canvas->GetFont();
  Font->SetName("Arial");
  Font->SetSize(9);
  Font->SetColor(clBlack);
  C.GetBrush()->SetColor(TColor(0x0060FFFF));
  C.GetBrush()->SetStyle(bsSolid);
  C.GetBrush()->SetAlpha(128);
  const int32_t W = std::max(C.TextWidth(Text), C.TextWidth(WidthText)) + 12;
  const int32_t H = C.TextHeight(Text) + 12;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  C.FillRect(TRect{X + 6, Y + 6, X + W, Y + H});
  // Gray top and left edges, white bottom and right edges.
  C.GetPen()->SetStyle(psSolid);
  C.GetPen()->SetWidth(1);
  C.GetPen()->SetColor(RGB(128, 128, 128));
  C.MoveTo(X + 6, Y + H - 1);
  C.LineTo(X + 6, Y + 6);
  C.LineTo(X + W - 1, Y + 6);
  C.GetPen()->SetColor(clWhite);
  C.MoveTo(X + 6, Y + H - 1);
  C.LineTo(X + W - 1, Y + H - 1);
  C.LineTo(X + W - 1, Y + 5);
  C.GetBrush()->SetStyle(bsClear);
  int32_t Mode = Canvas->GetBkMode();
  Canvas->SetBkMode(TRANSPARENT);
  C.TextOut(X + 9, Y + 9, Text);
  Canvas->SetBkMode(Mode);
}
