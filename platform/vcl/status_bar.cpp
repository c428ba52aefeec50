#include "platform/vcl/status_bar.h"

#include <algorithm>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/form_properties.h"

void TStatusPanel::SetWidth(int32_t Value) {
  if (Value < 0) Value = 0;
  if (FWidth == Value) return;
  FWidth = Value;
  FOwner->Invalidate();
}

void TStatusPanel::SetText(const std::string& Value) {
  if (FText == Value) return;
  FText = Value;
  FOwner->Invalidate();
}

void TStatusPanel::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  FOwner->Invalidate();
}

TStatusBar::TStatusBar(TComponent* AOwner) : TCustomControl(AOwner) {
  SetColor(clBtnFace);
  SetHeight(19);
  SetAlign(alBottom);
}

TStatusBar::~TStatusBar() = default;

TStatusPanel* TStatusBar::GetPanel(int32_t Index) const {
  if (Index < 0 || Index >= GetPanelCount()) return nullptr;
  return FPanels[static_cast<size_t>(Index)].get();
}

TStatusPanel* TStatusBar::AddPanel() {
  FPanels.push_back(std::make_unique<TStatusPanel>(this));
  Invalidate();
  return FPanels.back().get();
}

void TStatusBar::ClearPanels() {
  FPanels.clear();
  Invalidate();
}

void TStatusBar::SetSimplePanel(bool Value) {
  FSimplePanel = Value;
  Invalidate();
}

void TStatusBar::SetSimpleText(const std::string& Value) {
  FSimpleText = Value;
  Invalidate();
}

TRect TStatusBar::PanelRect(int32_t Index) const {
  if (Index < 0 || Index >= GetPanelCount()) return TRect{0, 0, 0, 0};
  int32_t Left = 0;
  for (int32_t i = 0; i < Index; ++i) Left += FPanels[static_cast<size_t>(i)]->GetWidth();
  // The last panel reaches the right edge.
  const int32_t Right =
      Index == GetPanelCount() - 1 ? std::max(Left, GetClientWidth()) : Left + FPanels[static_cast<size_t>(Index)]->GetWidth();
  return TRect{Left, 0, Right, GetClientHeight()};
}

int32_t TStatusBar::PanelAt(int32_t X) const {
  for (int32_t i = 0; i < GetPanelCount(); ++i) {
    const TRect R = PanelRect(i);
    if (X >= R.Left && X < R.Right) return i;
  }
  return -1;
}

void TStatusBar::Paint() {
  TCanvas* C = GetCanvas();
  const TRect Client = GetClientRect();
  C->GetBrush()->SetColor(GetColor());
  C->GetBrush()->SetStyle(bsSolid);
  C->FillRect(Client);
  C->GetFont()->Assign(GetFont());
  C->GetBrush()->SetStyle(bsClear);
  const int32_t TextH = C->TextHeight("Ag");
  const int32_t Y = (Client.Height() - TextH) / 2;
  if (FSimplePanel) {
    C->TextOut(3, Y, FSimpleText);
    return;
  }
  for (int32_t i = 0; i < GetPanelCount(); ++i) {
    TRect R = PanelRect(i);
    if (R.Right <= R.Left) continue;
    // A sunken frame one pixel inside, as status panels look.
    TRect Frame{R.Left, R.Top + 1, R.Right - 2, R.Bottom};
    if (Frame.Right > Frame.Left) DrawEdge(C, Frame, BDR_SUNKENOUTER, BF_RECT);
    const TStatusPanel* P = FPanels[static_cast<size_t>(i)].get();
    const int32_t W = C->TextWidth(P->GetText());
    int32_t X = R.Left + 3;
    if (P->GetAlignment() == taCenter)
      X = R.Left + (R.Width() - 2 - W) / 2;
    else if (P->GetAlignment() == taRightJustify)
      X = R.Right - 5 - W;
    const TRect Clip{R.Left + 1, R.Top + 2, R.Right - 3, R.Bottom - 1};
    C->TextRect(Clip, X, Y, P->GetText());
  }
}

namespace {
const TFormPropertyTable& StatusPanelProperties() {
  static const TFormPropertyTable Table =
      TFormProperties<TStatusPanel>("", nullptr)
          .Enum("Alignment", AlignmentNames(), &TStatusPanel::GetAlignment, &TStatusPanel::SetAlignment)
          .String("Text", &TStatusPanel::GetText, &TStatusPanel::SetText)
          .Coordinate("Width", &TStatusPanel::GetWidth, &TStatusPanel::SetWidth)
          .Build();
  return Table;
}
}  // namespace

const TFormPropertyTable& TStatusBar::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TStatusBar>("TStatusBar", &TCustomControl::FormProperties())
          .Collection(
              "Panels", StatusPanelProperties(), [](TStatusBar& B) { B.ClearPanels(); },
              [](TStatusBar& B) -> TObject* { return B.AddPanel(); },
              [](const TStatusBar& B) { return B.GetPanelCount(); },
              [](const TStatusBar& B, int32_t I) -> const TObject* { return B.GetPanel(I); })
          .Bool("SimplePanel", &TStatusBar::GetSimplePanel, &TStatusBar::SetSimplePanel)
          .String("SimpleText", &TStatusBar::GetSimpleText, &TStatusBar::SetSimpleText)
          .Bool("SizeGrip", &TStatusBar::GetSizeGrip, &TStatusBar::SetSizeGrip)
          .Build();
  return Table;
}
