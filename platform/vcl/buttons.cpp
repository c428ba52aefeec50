#include "platform/vcl/buttons.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/forms.h"

// ------------------------------------------------------------ glyph
TButtonGlyph::TButtonGlyph() : FGlyph(std::make_unique<TBitmap>()) {}
TButtonGlyph::~TButtonGlyph() = default;

void TButtonGlyph::SetGlyph(TBitmap* Value) {
  if (Value && !Value->GetEmpty()) {
    FGlyph->Assign(Value);
  } else {
    FGlyph = std::make_unique<TBitmap>();
  }
}

void TButtonGlyph::SetNumGlyphs(int32_t Value) {
  if (Value >= 1 && Value <= 4) FNumGlyphs = Value;
}

bool TButtonGlyph::GetEmpty() const { return FGlyph->GetEmpty() || FGlyph->GetWidth() < FNumGlyphs; }

TSize TButtonGlyph::FrameSize() const {
  if (GetEmpty()) return TSize{0, 0};
  return TSize{FGlyph->GetWidth() / FNumGlyphs, FGlyph->GetHeight()};
}

QImage TButtonGlyph::Frame(TButtonState State) const {
  if (GetEmpty()) return QImage();
  const QImage& Src = FGlyph->GetImage();
  const TSize S = FrameSize();
  // A state without its own frame shows the up frame (greyed when disabled).
  const int32_t Index = State < FNumGlyphs ? State : 0;
  const bool Grey = State == bsDisabled && FNumGlyphs < 2;
  const QRgb Clear = Src.pixel(0, Src.height() - 1) & 0xFFFFFF;
  QImage F = Src.copy(Index * S.cx, 0, S.cx, S.cy).convertToFormat(QImage::Format_ARGB32);
  if (!Grey) {
    for (int Y = 0; Y < F.height(); ++Y) {
      auto* Row = reinterpret_cast<QRgb*>(F.scanLine(Y));
      for (int X = 0; X < F.width(); ++X)
        if ((Row[X] & 0xFFFFFF) == Clear) Row[X] = 0;
    }
    return F;
  }
  // Greyed: the darker pixels embossed, a highlight one pixel down-right
  // under a shadow.
  QImage Out(F.size(), QImage::Format_ARGB32);
  Out.fill(0);
  const QRgb Light = VclQColor(clBtnHighlight).rgb(), Dark = VclQColor(clBtnShadow).rgb();
  for (int Pass = 0; Pass < 2; ++Pass) {
    const int D = Pass == 0 ? 1 : 0;
    for (int Y = 0; Y < F.height(); ++Y) {
      const auto* Row = reinterpret_cast<const QRgb*>(F.constScanLine(Y));
      for (int X = 0; X < F.width(); ++X) {
        const QRgb P = Row[X];
        if ((P & 0xFFFFFF) == Clear || qGray(P) >= 192) continue;
        if (X + D < Out.width() && Y + D < Out.height())
          reinterpret_cast<QRgb*>(Out.scanLine(Y + D))[X + D] = Pass == 0 ? Light : Dark;
      }
    }
  }
  return Out;
}

void TButtonGlyph::Layout(const TRect& Client, TSize Glyph, TSize Text, TButtonLayout Layout, int32_t Margin,
                          int32_t Spacing, TPoint& GlyphPos, TRect& TextRect) {
  const bool Horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  const int32_t Room = Horizontal ? Client.Width() : Client.Height();
  const int32_t GlyphLen = Horizontal ? Glyph.cx : Glyph.cy;
  const int32_t TextLen = Horizontal ? Text.cx : Text.cy;
  if (GlyphLen == 0 || TextLen == 0) Spacing = 0;
  if (Margin == -1) {
    if (Spacing == -1) {
      const int32_t Total = GlyphLen + TextLen;
      Margin = (Room - Total) / 3;
      Spacing = Margin;
    } else {
      Margin = (Room - GlyphLen - Spacing - TextLen) / 2;
    }
  } else if (Spacing == -1) {
    Spacing = (Room - Margin - GlyphLen - TextLen) / 2;
  }
  Margin = std::max(0, Margin);
  // Positions along the layout's axis, from its start.
  int32_t GlyphAt, TextAt;
  if (Layout == blGlyphLeft || Layout == blGlyphTop) {
    GlyphAt = Margin;
    TextAt = Margin + GlyphLen + Spacing;
  } else {
    GlyphAt = Room - Margin - GlyphLen;
    TextAt = GlyphAt - Spacing - TextLen;
  }
  if (Horizontal) {
    GlyphPos = TPoint{Client.Left + GlyphAt, Client.Top + (Client.Height() - Glyph.cy) / 2};
    TextRect = Bounds(Client.Left + TextAt, Client.Top + (Client.Height() - Text.cy) / 2, Text.cx, Text.cy);
  } else {
    GlyphPos = TPoint{Client.Left + (Client.Width() - Glyph.cx) / 2, Client.Top + GlyphAt};
    TextRect = Bounds(Client.Left + (Client.Width() - Text.cx) / 2, Client.Top + TextAt, Text.cx, Text.cy);
  }
}

// ------------------------------------------------------------ speed button
TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  // Clicks come from MouseUp, after the down state changed.
  FControlStyle &= ~csClickEvents;
  FControlStyle |= csCaptureMouse | csDoubleClicks;
  FParentColor = true;
  SetBounds(0, 0, 23, 22);
}

TSpeedButton::~TSpeedButton() = default;

template <typename F>
void TSpeedButton::ForGroup(F Fn) {
  if (!FParent || FGroupIndex == 0) return;
  for (int32_t I = 0; I < FParent->GetControlCount(); ++I) {
    auto* B = dynamic_cast<TSpeedButton*>(FParent->GetControls(I));
    if (B && B != this && B->FGroupIndex == FGroupIndex) Fn(B);
  }
}

void TSpeedButton::SetAllowAllUp(bool Value) {
  FAllowAllUp = Value;
  ForGroup([Value](TSpeedButton* B) { B->FAllowAllUp = Value; });
}

void TSpeedButton::SetGroupIndex(int32_t Value) {
  FGroupIndex = Value;
  if (Value == 0 && FDown) {
    FDown = false;
    UpdateState();
  }
}

void TSpeedButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  if (FDown && !FAllowAllUp && !(GetComponentState() & csLoading)) {
    // Only another button of the group puts a down button up.
    bool OtherDown = false;
    ForGroup([&OtherDown](TSpeedButton* B) { OtherDown = OtherDown || B->FDown; });
    if (!OtherDown) return;
  }
  FDown = Value;
  if (Value)
    ForGroup([](TSpeedButton* B) {
      if (B->FDown) {
        B->FDown = false;
        B->UpdateState();
      }
    });
  UpdateState();
}

void TSpeedButton::SetFlat(bool Value) {
  FFlat = Value;
  Invalidate();
}

void TSpeedButton::SetGlyph(TBitmap* Value) {
  FGlyph.SetGlyph(Value);
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(int32_t Value) {
  FGlyph.SetNumGlyphs(Value);
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout Value) {
  FLayout = Value;
  Invalidate();
}

void TSpeedButton::SetMargin(int32_t Value) {
  FMargin = std::max(-1, Value);
  Invalidate();
}

void TSpeedButton::SetSpacing(int32_t Value) {
  FSpacing = std::max(-1, Value);
  Invalidate();
}

void TSpeedButton::SetTransparent(bool Value) {
  FTransparent = Value;
  Invalidate();
}

void TSpeedButton::SetText(const std::string& Value) {
  TGraphicControl::SetText(Value);
  Invalidate();
}

void TSpeedButton::SetEnabled(bool Value) {
  TGraphicControl::SetEnabled(Value);
  UpdateState();
}

void TSpeedButton::UpdateState() {
  FState = !FEnabled ? bsDisabled : FDown ? bsExclusive : FDragging ? bsDown : bsUp;
  Invalidate();
}

void TSpeedButton::Click() {
  if (FGroupIndex != 0) {
    if (!FDown) {
      SetDown(true);
    } else if (FAllowAllUp) {
      SetDown(false);
    }
  }
  TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft && FEnabled) {
    FDragging = true;
    UpdateState();
  }
  TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TSpeedButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FDragging) {
    const bool Inside = X >= 0 && Y >= 0 && X < FWidth && Y < FHeight;
    const TButtonState Want = FDown ? bsExclusive : Inside ? bsDown : bsUp;
    if (Want != FState) {
      FState = Want;
      Invalidate();
    }
  }
  TGraphicControl::MouseMove(Shift, X, Y);
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  const bool WasDragging = FDragging && Button == mbLeft;
  if (WasDragging) FDragging = false;
  const bool Inside = X >= 0 && Y >= 0 && X < FWidth && Y < FHeight;
  if (WasDragging) UpdateState();
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (WasDragging && Inside) Click();
}

void TSpeedButton::Dispatch(TMessage& Message) {
  TGraphicControl::Dispatch(Message);
  if ((Message.Msg == CM_MOUSEENTER || Message.Msg == CM_MOUSELEAVE) && FFlat) Invalidate();
}

void TSpeedButton::Paint() {
  TBitmap* B = GetFrontBuffer();
  TCanvas* C = GetCanvas();
  TRect R = Rect(0, 0, B->GetWidth(), B->GetHeight());
  const TColor Back = FParent && (FTransparent || FFlat) ? FParent->GetColor() : clBtnFace;
  C->GetBrush()->SetColor(Back);
  C->FillRect(R);
  const bool Pressed = FState == bsDown || FState == bsExclusive;
  const bool Hot = GetMouseInClient() && FEnabled;
  if (!FFlat) {
    DrawEdge(C, R, Pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  } else if (Pressed) {
    DrawEdge(C, R, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  } else if (Hot) {
    DrawEdge(C, R, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
  }
  if (FState == bsExclusive && !FDragging) {
    // A latched button shows a light dither.
    QPainter P(&B->GetImage());
    const QRgb Light = VclQColor(clBtnHighlight).rgb();
    for (int32_t Y = R.Top; Y < R.Bottom; ++Y)
      for (int32_t X = R.Left + ((Y + R.Left) & 1); X < R.Right; X += 2) B->GetImage().setPixel(X, Y, Light);
  }
  const int32_t Offset = Pressed ? 1 : 0;
  QPainter P(&B->GetImage());
  const QFont Font = VclQFont(GetFont());
  P.setFont(Font);
  const QFontMetrics M(Font);
  const QString Caption = QString::fromStdString(FText).remove(QLatin1Char('&'));
  const TSize TextSize{Caption.isEmpty() ? 0 : M.horizontalAdvance(Caption), Caption.isEmpty() ? 0 : M.height()};
  TPoint GlyphPos;
  TRect TextRect;
  TButtonGlyph::Layout(R, FGlyph.FrameSize(), TextSize, FLayout, FMargin, FSpacing, GlyphPos, TextRect);
  const QImage Frame = FGlyph.Frame(FState == bsExclusive && FGlyph.GetNumGlyphs() < 4 ? bsDown : FState);
  if (!Frame.isNull()) P.drawImage(QPoint(GlyphPos.X + Offset, GlyphPos.Y + Offset), Frame);
  if (!Caption.isEmpty()) {
    const QRect T(TextRect.Left + Offset, TextRect.Top + Offset, TextRect.Width(), TextRect.Height());
    if (!FEnabled) {
      P.setPen(VclQColor(clBtnHighlight));
      P.drawText(T.translated(1, 1), Qt::AlignCenter, Caption);
      P.setPen(VclQColor(clBtnShadow));
    } else {
      P.setPen(VclQColor(GetFont()->GetColor()));
    }
    P.drawText(T, Qt::AlignCenter, Caption);
  }
}

const TFormPropertyTable& TSpeedButton::FormProperties() const {
  using B = TSpeedButton;
  static const TFormPropertyTable Table =
      TFormProperties<B>("TSpeedButton", &TGraphicControl::FormProperties())
          .Integer("GroupIndex", &B::GetGroupIndex, &B::SetGroupIndex)
          .Bool("AllowAllUp", &B::GetAllowAllUp, &B::SetAllowAllUp)
          .Bool("Down", &B::GetDown, &B::SetDown)
          .Bool("Flat", &B::GetFlat, &B::SetFlat)
          .Bitmap("Glyph.Data", &B::GetGlyph, &B::SetGlyph)
          .Enum("Layout", ButtonLayoutNames(), &B::GetLayout, &B::SetLayout)
          .Integer("Margin", &B::GetMargin, &B::SetMargin)
          .Integer("NumGlyphs", &B::GetNumGlyphs, &B::SetNumGlyphs)
          .Integer("Spacing", &B::GetSpacing, &B::SetSpacing)
          .Bool("Transparent", &B::GetTransparent, &B::SetTransparent)
          .Ignored({"Style"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ bit button
namespace {
struct TKindInfo {
  const char* Caption;
  TModalResult Result;
  QStyle::StandardPixmap Picture;
};
const TKindInfo kKinds[] = {
    {"", mrNone, QStyle::SP_CustomBase},
    {"OK", mrOk, QStyle::SP_DialogOkButton},
    {"Cancel", mrCancel, QStyle::SP_DialogCancelButton},
    {"&Help", mrNone, QStyle::SP_DialogHelpButton},
    {"&Yes", mrYes, QStyle::SP_DialogYesButton},
    {"&No", mrNo, QStyle::SP_DialogNoButton},
    {"&Close", mrNone, QStyle::SP_DialogCloseButton},
    {"Abort", mrAbort, QStyle::SP_DialogAbortButton},
    {"&Retry", mrRetry, QStyle::SP_DialogRetryButton},
    {"&Ignore", mrIgnore, QStyle::SP_DialogIgnoreButton},
    {"&All", mrAll, QStyle::SP_DialogYesToAllButton},
};

const TFormEnumNames& BitBtnKindNames() {
  static const TFormEnumNames Names = {"bkCustom", "bkOK",    "bkCancel", "bkHelp",   "bkYes", "bkNo",
                                       "bkClose",  "bkAbort", "bkRetry",  "bkIgnore", "bkAll"};
  return Names;
}
}  // namespace

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {}
TBitBtn::~TBitBtn() = default;

void TBitBtn::SetKind(TBitBtnKind Value) {
  if (Value == FKind) return;
  FKind = Value;
  if (Value != bkCustom) {
    const TKindInfo& K = kKinds[Value];
    // A caption a resource gave before the kind stays.
    if (!(GetComponentState() & csLoading) || FText.empty()) SetText(K.Caption);
    SetModalResult(K.Result);
    SetDefault(Value == bkOK || Value == bkYes);
    SetCancel(Value == bkCancel || Value == bkNo);
  }
  UpdateIcon();
}

void TBitBtn::SetGlyph(TBitmap* Value) {
  FGlyph.SetGlyph(Value);
  UpdateIcon();
}

void TBitBtn::SetNumGlyphs(int32_t Value) {
  FGlyph.SetNumGlyphs(Value);
  UpdateIcon();
}

void TBitBtn::SetLayout(TButtonLayout Value) {
  FLayout = Value;
  UpdateIcon();
}

void TBitBtn::SetSpacing(int32_t Value) {
  FSpacing = std::max(-1, Value);
  UpdateIcon();
}

void TBitBtn::UpdateIcon() {
  auto* B = qobject_cast<QPushButton*>(FWidget.data());
  if (!B) return;
  QIcon Icon;
  if (!FGlyph.GetEmpty()) {
    Icon.addPixmap(QPixmap::fromImage(FGlyph.Frame(bsUp)), QIcon::Normal);
    Icon.addPixmap(QPixmap::fromImage(FGlyph.Frame(bsDisabled)), QIcon::Disabled);
    if (FGlyph.GetNumGlyphs() >= 3) Icon.addPixmap(QPixmap::fromImage(FGlyph.Frame(bsDown)), QIcon::Active);
    const TSize S = FGlyph.FrameSize();
    B->setIconSize(QSize(S.cx, S.cy));
  } else if (FKind != bkCustom && qobject_cast<QApplication*>(QCoreApplication::instance())) {
    Icon = B->style()->standardIcon(kKinds[FKind].Picture);
    B->setIconSize(QSize(16, 16));
  }
  B->setIcon(Icon);
  // The glyph on the right: the button lays out right to left.
  B->setLayoutDirection(FLayout == blGlyphRight ? Qt::RightToLeft : Qt::LeftToRight);
}

void TBitBtn::Click() {
  if (FKind == bkClose) {
    if (TCustomForm* F = GetParentForm()) {
      F->Close();
      return;
    }
  }
  TButton::Click();
}

const TFormPropertyTable& TBitBtn::FormProperties() const {
  using B = TBitBtn;
  static const TFormPropertyTable Table = TFormProperties<B>("TBitBtn", &TButton::FormProperties())
                                              .Enum("Kind", BitBtnKindNames(), &B::GetKind, &B::SetKind)
                                              .Early()
                                              .Bitmap("Glyph.Data", &B::GetGlyph, &B::SetGlyph)
                                              .Enum("Layout", ButtonLayoutNames(), &B::GetLayout, &B::SetLayout)
                                              .Integer("Margin", &B::GetMargin, &B::SetMargin)
                                              .Integer("NumGlyphs", &B::GetNumGlyphs, &B::SetNumGlyphs)
                                              .Integer("Spacing", &B::GetSpacing, &B::SetSpacing)
                                              .Ignored({"Style"})
                                              .Build();
  return Table;
}
