#include "widgets/panels.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/rtl/sysutils.h"
#include "widgets/draw_helpers.h"
#include "widgets/speed_button.h"
#include "widgets/theming.h"

// ------------------------------------------------------------ panel
const TFormPropertyTable& TOxCustomPanel::FormProperties() const {
  // Retired properties of older resources: read and applied, never written.
  static const TFormPropertyTable Table =
      TFormProperties<TOxCustomPanel>("", &TOxExCustomPanel::FormProperties())
          .Custom("Ctl3D", [](TOxCustomPanel& P, const TFormValue& V, TFormReadContext&) { P.SetCtl3D(V.AsBoolean()); })
          .Custom("ParentCtl3D",
                  [](TOxCustomPanel& P, const TFormValue& V, TFormReadContext&) { P.SetParentCtl3D(V.AsBoolean()); })
          .Build();
  return Table;
}

void TOxCustomPanel::PaintPanelContent(const TRect& Rect) {
  if (OnContentPaint) OnContentPaint(this, GetCanvas(), Rect);
}

void TOxCustomPanel::Paint() {
  TOxExCustomPanel::Paint();
  PaintPanelContent(GetClientRect());
}

// ------------------------------------------------------------ arrange settings
void TOxArrangeSettings::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TOxArrangeSettings*>(Source);
  if (!S) {
    TOxPersistentProperty::Assign(Source);
    return;
  }
  TOxChangeBracket Bracket(this);
  SetAutoArrange(S->GetAutoArrange());
  SetAutoSize(S->GetAutoSize());
  SetWrapControls(S->GetWrapControls());
  SetBorderLeft(S->GetBorderLeft());
  SetBorderTop(S->GetBorderTop());
  SetDistanceVertical(S->GetDistanceVertical());
  SetDistanceHorizontal(S->GetDistanceHorizontal());
  FShowNotVisibleAtDesignTime = S->GetShowNotVisibleAtDesignTime();
  SetMaxWidth(S->GetMaxWidth());
  SetMaxControlsPerLine(S->GetMaxControlsPerLine());
  SetVerticalAlignment(S->GetVerticalAlignment());
  SetHorizontalAlignment(S->GetHorizontalAlignment());
  SetHorizontalAlignLines(S->GetHorizontalAlignLines());
}

const TFormPropertyTable& TOxArrangeSettings::FormProperties() {
  static const TFormEnumNames AutoSizeNames = {"asNone", "asWidth", "asHeight", "asBoth"};
  static const TFormEnumNames VNames = {"asTop", "asVCenter", "asBottom"};
  static const TFormEnumNames HNames = {"asLeft", "asCenter", "asRight"};
  using A = TOxArrangeSettings;
  static const TFormPropertyTable Table =
      TFormProperties<A>("", nullptr)
          .Bool("AutoArrange", &A::GetAutoArrange, &A::SetAutoArrange)
          .Enum("AutoSize", AutoSizeNames, &A::GetAutoSize, &A::SetAutoSize)
          .Coordinate("BorderLeft", &A::GetBorderLeft, &A::SetBorderLeft)
          .Coordinate("BorderTop", &A::GetBorderTop, &A::SetBorderTop)
          .Coordinate("DistanceHorizontal", &A::GetDistanceHorizontal, &A::SetDistanceHorizontal)
          .Coordinate("DistanceVertical", &A::GetDistanceVertical, &A::SetDistanceVertical)
          .Bool("HorizontalAlignLines", &A::GetHorizontalAlignLines, &A::SetHorizontalAlignLines)
          .Enum("HorizontalAlignment", HNames, &A::GetHorizontalAlignment, &A::SetHorizontalAlignment)
          .Integer("MaxControlsPerLine", &A::GetMaxControlsPerLine, &A::SetMaxControlsPerLine)
          .Coordinate("MaxWidth", &A::GetMaxWidth, &A::SetMaxWidth)
          .Bool("ShowNotVisibleAtDesignTime", &A::GetShowNotVisibleAtDesignTime, &A::SetShowNotVisibleAtDesignTime)
          .Enum("VerticalAlignment", VNames, &A::GetVerticalAlignment, &A::SetVerticalAlignment)
          .Bool("WrapControls", &A::GetWrapControls, &A::SetWrapControls)
          .Build();
  return Table;
}

// ------------------------------------------------------------ arrange panel
TOxCustomArrangePanel::TOxCustomArrangePanel(TComponent* AOwner)
    : TOxCustomPanel(AOwner), FHotTrackFont(std::make_unique<TFont>()) {
  AddThemeStyle(this, csNeedsBorderPaint | csParentBackground);
  FHotTrackOptions = new TOxPanelHotTrackOptions(this);
  FArrangeSettings = new TOxArrangeSettings(this);
  FArrangeSettings->OnAfterPropertyChange = [this](TObject* S, const std::string& N) { ArrangeSettingsChanged(S, N); };
}

TOxCustomArrangePanel::~TOxCustomArrangePanel() { FArrangeSettings->OnAfterPropertyChange = nullptr; }

void TOxCustomArrangePanel::SetArrangeSettings(TOxArrangeSettings* Value) {
  if (Value && Value != FArrangeSettings) FArrangeSettings->Assign(Value);
}

void TOxCustomArrangePanel::SetHotTrackFont(TFont* Value) {
  if (Value && Value != FHotTrackFont.get()) FHotTrackFont->Assign(Value);
}

void TOxCustomArrangePanel::SetHotTrackFontOptions(TOxTrackFontOptions Value) {
  if (Value == FHotTrackFontOptions) return;
  FHotTrackFontOptions = Value;
  SyncTrackFont(FHotTrackFont.get(), GetFont(), FHotTrackFontOptions);
}

void TOxCustomArrangePanel::SetHotTrackOptions(TOxHotTrackOptions* Value) {
  if (Value && Value != FHotTrackOptions) FHotTrackOptions->Assign(Value);
}

void TOxCustomArrangePanel::SetSizeable(bool Value) {
  if (Value == FSizeable) return;
  FSizeable = Value;
  Invalidate();
}

void TOxCustomArrangePanel::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  TControlStyle S = GetControlStyle();
  SetControlStyle(Value ? (S & ~csOpaque) : (S | csOpaque));
  Invalidate();
}

void TOxCustomArrangePanel::SetMultiLine(bool Value) {
  if (Value == FMultiLine) return;
  FMultiLine = Value;
  Invalidate();
}

void TOxCustomArrangePanel::SetFlatBorder(bool Value) {
  if (Value == FFlatBorder) return;
  FFlatBorder = Value;
  Invalidate();
}

void TOxCustomArrangePanel::SetFlatBorderColor(TColor Value) {
  if (Value == FFlatBorderColor) return;
  FFlatBorderColor = Value;
  Invalidate();
}

void TOxCustomArrangePanel::SuspendArrange() {
  ++FSuspendCount;
  DisableAlign();
}

void TOxCustomArrangePanel::ResumeArrange() {
  EnableAlign();
  if (FSuspendCount > 0) --FSuspendCount;
}

void TOxCustomArrangePanel::ArrangeIfAuto(TOxCustomArrangePanel* Panel) {
  if (Panel && Panel->FArrangeSettings->GetAutoArrange() && !Panel->Loading()) Panel->ArrangeChildren();
}

void TOxCustomArrangePanel::ArrangeSettingsChanged(TObject*, const std::string& PropName) {
  if (SameText(PropName, "AutoArrange")) {
    if (FArrangeSettings->GetAutoArrange()) ArrangeIfAuto(this);
  } else if (SameText(PropName, "AutoSize")) {
    if (FArrangeSettings->GetAutoSize() != asNone) ArrangeIfAuto(this);
  } else {
    ArrangeIfAuto(this);
  }
}

void TOxCustomArrangePanel::ArrangeChildren() {
  if (!ArrangeAllowed() || FArrangeInProgress || GetControlCount() == 0 || Loading()) return;
  FArrangeInProgress = true;
  struct Guard {
    bool& Flag;
    ~Guard() { Flag = false; }
  } ResetFlag{FArrangeInProgress};

  const TOxArrangeSettings& S = *FArrangeSettings;
  const int32_t BL = S.GetBorderLeft(), BT = S.GetBorderTop();
  const bool SizeW = S.GetAutoSize() == asWidth || S.GetAutoSize() == asBoth;
  const bool SizeH = S.GetAutoSize() == asHeight || S.GetAutoSize() == asBoth;
  const int32_t W0 = GetWidth(), H0 = GetHeight();
  int32_t AW = W0, NH = H0, Y = BT, X = BL, LH = -1;
  int32_t CR = SizeW ? W0 - 2 * BL : -1;
  int32_t CB = SizeH ? H0 - 2 * BT : -1;
  const bool Designing = (GetComponentState() & csDesigning) != 0;

  std::vector<TWinControl*> Windowed;
  for (int32_t I = 0; I < GetControlCount(); ++I)
    if (auto* W = dynamic_cast<TWinControl*>(GetControls(I))) Windowed.push_back(W);
  for (TWinControl* C : Windowed) {
    if (auto* P = dynamic_cast<TOxCustomArrangePanel*>(C)) ArrangeIfAuto(P);
    AW = std::max(AW, C->GetWidth() + 2 * BL);
  }
  if (S.GetMaxWidth() > 0 && S.GetMaxWidth() < AW) AW = S.GetMaxWidth();

  struct Placement {
    TWinControl* Control = nullptr;
    TRect R;
    bool RowStart = false;
  };
  std::vector<Placement> Placed;
  int32_t InRow = 0;
  // Tab order decides the sequence; children the platform left without a
  // tab order follow in child order.
  std::vector<TWinControl*> Sequence = Windowed;
  std::stable_sort(Sequence.begin(), Sequence.end(), [](TWinControl* A, TWinControl* B) {
    auto Key = [](TWinControl* C) { return C->GetTabOrder() < 0 ? INT32_MAX : C->GetTabOrder(); };
    return Key(A) < Key(B);
  });
  for (TWinControl* C : Sequence) {
    if (!(C->GetVisible() || (Designing && S.GetShowNotVisibleAtDesignTime()))) continue;
    const int32_t NeededRight = X + C->GetWidth() + S.GetDistanceHorizontal() + BL;
    const bool RoomInRow = S.GetMaxControlsPerLine() <= 0 || InRow < S.GetMaxControlsPerLine();
    const bool Fits = (NeededRight <= AW || SizeW) && (NeededRight <= S.GetMaxWidth() || S.GetMaxWidth() <= 0);
    Placement P;
    P.Control = C;
    if (RoomInRow && (Fits || X <= BL || !S.GetWrapControls())) {
      ++InRow;
    } else {
      X = BL;
      Y = Y + LH + S.GetDistanceVertical();
      LH = -1;
      InRow = 1;
      P.RowStart = true;
    }
    P.R = Rect(X, Y, X + C->GetWidth(), Y + C->GetHeight());
    if (Placed.empty()) P.RowStart = true;
    X += C->GetWidth();
    CR = std::max(CR, X);
    X += S.GetDistanceHorizontal();
    LH = std::max(LH, C->GetHeight());
    CB = Y + LH;
    Placed.push_back(P);
  }

  int32_t DY = 0, DX = 0;
  if (!SizeH) {
    if (S.GetVerticalAlignment() == asVCenter) DY = (GetClientHeight() - CB) / 2;
    if (S.GetVerticalAlignment() == asBottom) DY = GetClientHeight() - CB;
  }
  if (!SizeW) {
    if (S.GetHorizontalAlignment() == asCenter) DX = (GetClientWidth() - CR) / 2;
    if (S.GetHorizontalAlignment() == asRight) DX = GetClientWidth() - CR;
  }
  std::vector<int32_t> RowOffset(Placed.size(), 0);
  if (S.GetHorizontalAlignLines()) {
    size_t Start = 0;
    while (Start < Placed.size()) {
      size_t End = Start + 1;
      while (End < Placed.size() && !Placed[End].RowStart) ++End;
      const int32_t L = Placed[Start].R.Left, R = Placed[End - 1].R.Right;
      for (size_t I = Start; I < End; ++I) RowOffset[I] = (CR - (R - L)) / 2;
      Start = End;
    }
  }
  for (size_t I = 0; I < Placed.size(); ++I) {
    TRect R = Placed[I].R;
    const int32_t OX = DX + RowOffset[I];
    Placed[I].Control->SetBounds(R.Left + OX, R.Top + DY, R.Width(), R.Height());
  }

  if (!Loading()) {
    int32_t NW;
    if (SizeW) {
      NW = CR < 0 ? 0 : (S.GetMaxWidth() > 0 && S.GetMaxWidth() <= CR ? S.GetMaxWidth() : BL + CR);
    } else {
      NW = AW;
    }
    if (SizeH) NH = CB < 0 ? 0 : BT + CB;
    SetBounds(GetLeft(), GetTop(), NW, GetHeight());
    SetBounds(GetLeft(), GetTop(), GetWidth(), NH);
  }
}

void TOxCustomArrangePanel::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  const int32_t OldW = GetWidth(), OldH = GetHeight();
  TOxCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FTransparent) Invalidate();
  auto* ParentPanel = dynamic_cast<TOxCustomArrangePanel*>(GetParent());
  if (GetWidth() != OldW) {
    if (OnChangedWidth) OnChangedWidth(this, GetWidth());
    if (OnResizeParent) {
      OnResizeParent(this, GetLeft(), GetTop(), GetWidth(), GetHeight());
    } else if (ParentPanel) {
      ArrangeIfAuto(ParentPanel);
    }
  }
  if (GetHeight() != OldH) {
    if (OnChangedHeight) OnChangedHeight(this, GetHeight());
    if (OnResizeParent) {
      OnResizeParent(this, GetLeft(), GetTop(), GetWidth(), GetHeight());
    } else if (ParentPanel) {
      ArrangeIfAuto(ParentPanel);
    }
  }
}

void TOxCustomArrangePanel::Loaded() {
  TOxCustomPanel::Loaded();
  ArrangeIfAuto(this);
}

void TOxCustomArrangePanel::AlignControls(TControl* AControl, TRect& Rect) {
  TOxCustomPanel::AlignControls(AControl, Rect);
  ArrangeIfAuto(this);
}

void TOxCustomArrangePanel::Resize() {
  ArrangeIfAuto(this);
  TOxCustomPanel::Resize();
}

void TOxCustomArrangePanel::DoTextChange() {
  TOxCustomPanel::DoTextChange();
  Invalidate();
}

bool TOxCustomArrangePanel::DoBackgroundErase(TCanvas* Canvas, LPARAM Param) {
  if (FTransparent) return true;
  return TOxCustomPanel::DoBackgroundErase(Canvas, Param);
}

void TOxCustomArrangePanel::DoParentColorChange() {
  Invalidate();
  TOxCustomPanel::DoParentColorChange();
}

void TOxCustomArrangePanel::DoMouseEnter(TControl* Control) {
  if (GetComponentState() & csDesigning) return;
  if (FPointerInside || !GetEnabled() || Control) {
    TOxCustomPanel::DoMouseEnter(Control);
    return;
  }
  const bool Repaint = !FTransparent && FHotTrack && !FSizeDragging;
  TOxCustomPanel::DoMouseEnter(Control);
  if (Repaint) Invalidate();
}

void TOxCustomArrangePanel::DoMouseLeave(TControl* Control) {
  if (GetComponentState() & csDesigning) return;
  if (!FPointerInside || !GetEnabled() || Control) {
    TOxCustomPanel::DoMouseLeave(Control);
    return;
  }
  const bool Repaint = !FTransparent && FHotTrack;
  TOxCustomPanel::DoMouseLeave(Control);
  if (FSizeable) HideSizeCursor();
  if (Repaint) Invalidate();
}

void TOxCustomArrangePanel::ShowSizeCursor() {
  if (FSizeCursorShown) return;
  FSavedCursor = GetCursor();
  FSizeCursorShown = true;
  SetCursor(crSizeNWSE);
}

void TOxCustomArrangePanel::HideSizeCursor() {
  if (!FSizeCursorShown) return;
  FSizeCursorShown = false;
  SetCursor(FSavedCursor);
}

bool TOxCustomArrangePanel::CanStartMove(int32_t X, int32_t Y) {
  bool Allow = true;
  if (OnBeforeMove) OnBeforeMove(this, X, Y, Allow);
  return Allow;
}

void TOxCustomArrangePanel::MoveFinished() {
  if (OnAfterMove) OnAfterMove(this);
}

void TOxCustomArrangePanel::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  const bool Designing = (GetComponentState() & csDesigning) != 0;
  if (FSizeable && Button == mbLeft && InGripZone(X, Y)) {
    FSizeDragging = true;
    FSizeDragPoint = TPoint{X, Y};
    SetMouseCapture(true);
    ShowSizeCursor();
    return;
  }
  // The interior away from the 5-pixel edge moves the panel like a caption.
  if (FMovable && !Designing && Button == mbLeft && X > 5 && X < GetWidth() - 5 && Y > 5 &&
      Y < GetHeight() - 5 && CanStartMove(X, Y)) {
    FMoveDragging = true;
    FMoveDragPoint = TPoint{X, Y};
    SetMouseCapture(true);
  }
  TOxCustomPanel::MouseDown(Button, Shift, X, Y);
}

void TOxCustomArrangePanel::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FSizeDragging) {
    int32_t NW = GetWidth() + X - FSizeDragPoint.X;
    if (NW > 1) {
      int32_t NH = GetHeight() + Y - FSizeDragPoint.Y;
      if (NH > 1) {
        // The platform's controls carry no size constraints to apply here.
        const bool WChanged = NW != GetWidth(), HChanged = NH != GetHeight();
        if (WChanged) FSizeDragPoint.X = X;
        if (HChanged) FSizeDragPoint.Y = Y;
        if (WChanged || HChanged) {
          SetBounds(GetLeft(), GetTop(), NW, NH);
          Update();
        }
      }
    }
  } else if (FMoveDragging) {
    SetBounds(GetLeft() + X - FMoveDragPoint.X, GetTop() + Y - FMoveDragPoint.Y, GetWidth(), GetHeight());
  } else {
    TOxCustomPanel::MouseMove(Shift, X, Y);
  }
  if (FSizeable) {
    if (InGripZone(X, Y)) {
      ShowSizeCursor();
    } else if (!FSizeDragging) {
      HideSizeCursor();
    }
  }
}

void TOxCustomArrangePanel::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (FSizeDragging) {
    FSizeDragging = false;
    SetMouseCapture(false);
    HideSizeCursor();
    Invalidate();
    return;
  }
  if (FMoveDragging) {
    FMoveDragging = false;
    SetMouseCapture(false);
    MoveFinished();
  }
  TOxCustomPanel::MouseUp(Button, Shift, X, Y);
}

void TOxCustomArrangePanel::PaintBorders() {
  TCanvas* C = GetCanvas();
  TRect R = GetClientRect();
  auto Bevel = [&](TBevelCut Cut) {
    if (Cut == bvNone) return;
    const TColor TL = Cut == bvLowered ? clBtnShadow : clBtnHighlight;
    const TColor BR = Cut == bvLowered ? clBtnHighlight : clBtnShadow;
    for (int32_t I = 0; I < GetBevelWidth(); ++I) Frame3DOnce(C, R, TL, BR);
  };
  Bevel(GetBevelOuter());
  for (int32_t I = 0; I < GetBorderWidth(); ++I) Frame3DOnce(C, R, GetColor(), GetColor());
  Bevel(GetBevelInner());
}

void TOxCustomArrangePanel::PaintCaptionOn(TCanvas* Canvas) {
  const std::string Text = GetCaption();
  if (Text.empty()) return;
  Canvas->GetFont()->Assign(((FPointerInside || FSizeDragging) && FHotTrack) ? FHotTrackFont.get() : GetFont());
  Canvas->GetBrush()->SetStyle(bsClear);
  int32_t Bevels = 0;
  if (GetBevelOuter() != bvNone) Bevels += GetBevelWidth();
  if (GetBevelInner() != bvNone) Bevels += GetBevelWidth();
  TRect R = GetClientRect();
  const int32_t Inset = GetBorderWidth() + Bevels;
  R = Rect(R.Left + Inset, R.Top + Inset, R.Right - Inset, R.Bottom - Inset);
  uint32_t Flags = (FMultiLine ? DT_WORDBREAK : DT_SINGLELINE) | DT_EXPANDTABS;
  Flags |= GetAlignment() == taLeftJustify ? DT_LEFT : GetAlignment() == taRightJustify ? DT_RIGHT : DT_CENTER;
  TRect M = R;
  CanvasDrawText(Canvas, Text, -1, M, Flags | DT_CALCRECT);
  const int32_t TW = M.Width(), TH = M.Height();
  const int32_t Top = (GetHeight() - TH) / 2;
  int32_t Left = M.Left;
  if (GetAlignment() == taRightJustify) Left = GetWidth() - GetBorderWidth() - Bevels - TW;
  if (GetAlignment() == taCenter) Left = (GetWidth() - TW) / 2;
  TRect T = Rect(Left, Top, Left + TW, Top + TH);
  const TColor Own = Canvas->GetFont()->GetColor();
  if (!GetEnabled()) Canvas->GetFont()->SetColor(clGrayText);
  DCDrawText(Canvas, Text, -1, T, Flags);
  Canvas->GetFont()->SetColor(Own);
}

void TOxCustomArrangePanel::Paint() {
  if (OnPaint) {
    OnPaint(this);
    return;
  }
  TCanvas* C = GetCanvas();
  const TRect Client = GetClientRect();
  if (FTransparent) EraseWithParentBackground(this, C, TPoint{GetLeft(), GetTop()});
  if (FPointerInside && FHotTrack) {
    C->GetFont()->Assign(FHotTrackFont.get());
    if (FHotTrackOptions->GetEnabled()) {
      C->GetBrush()->SetStyle(bsSolid);
      C->GetBrush()->SetColor(FHotTrackOptions->GetColor());
      if (FHotTrackOptions->GetFrameVisible()) {
        TPen* Pen = C->GetPen();
        const TColor Old = Pen->GetColor();
        Pen->SetColor(FHotTrackOptions->GetFrameColor());
        C->Rectangle(0, 0, GetWidth(), GetHeight());
        Pen->SetColor(Old);
      } else {
        const int32_t B = GetBevelWidth();
        C->FillRect(Rect(Client.Left + B, Client.Top + B, Client.Right - B, Client.Bottom - B));
      }
    }
  } else {
    C->GetFont()->Assign(GetFont());
    C->GetBrush()->SetColor(GetColor());
    if (!FTransparent) {
      C->GetBrush()->SetStyle(bsSolid);
      PaintControlBackground(this, C, Client, true);
    } else {
      C->GetBrush()->SetStyle(bsClear);
    }
    if (FFlatBorder) {
      const int32_t BW = GetBorderWidth();
      if (BW > 0) {
        // A pen BorderWidth wide centred inside the client edge covers the
        // outer BorderWidth pixels; drawn as nested one-pixel frames so the
        // band is exact whatever the pen engine does with wide pens.
        C->GetBrush()->SetStyle(bsSolid);
        C->GetBrush()->SetColor(FFlatBorderColor);
        for (int32_t I = 0; I < BW; ++I)
          C->FrameRect(Rect(Client.Left + I, Client.Top + I, Client.Right - I, Client.Bottom - I));
      }
    } else {
      PaintBorders();
    }
  }
  PaintCaption();
  PaintPanelContent(Client);
  if (FSizeable) {
    // The grip: three diagonal pairs of highlight and shadow lines in the
    // lower right corner.
    const int32_t Edge = GetBevelWidth() + 2;
    const int32_t R = Client.Right - Edge, B = Client.Bottom - Edge;
    TPen* Pen = C->GetPen();
    const TColor Old = Pen->GetColor();
    for (int32_t I = 0; I < 3; ++I) {
      const int32_t D = 3 + 4 * I;
      Pen->SetColor(clBtnHighlight);
      C->MoveTo(R - D - 1, B);
      C->LineTo(R, B - D - 1);
      Pen->SetColor(clBtnShadow);
      C->MoveTo(R - D, B);
      C->LineTo(R, B - D);
      C->MoveTo(R - D + 1, B);
      C->LineTo(R, B - D + 1);
    }
    Pen->SetColor(Old);
  }
}

const TFormPropertyTable& TOxCustomArrangePanel::FormProperties() const {
  using P = TOxCustomArrangePanel;
  static const TFormPropertyTable Table =
      TFormProperties<P>("", &TOxCustomPanel::FormProperties())
          .Nested("ArrangeSettings", [](const P& Panel) { return Panel.GetArrangeSettings(); },
                  TOxArrangeSettings::FormProperties())
          .Bool("FlatBorder", &P::GetFlatBorder, &P::SetFlatBorder)
          .Color("FlatBorderColor", &P::GetFlatBorderColor, &P::SetFlatBorderColor)
          .Bool("HotTrack", &P::GetHotTrack, &P::SetHotTrack)
          .Font("HotTrackFont", [](const P& Panel) { return Panel.GetHotTrackFont(); })
          .Set("HotTrackFontOptions", TrackFontOptionNames(), &P::GetHotTrackFontOptions, &P::SetHotTrackFontOptions)
          .Nested("HotTrackOptions", [](const P& Panel) { return Panel.GetHotTrackOptions(); },
                  TOxHotTrackOptions::FormProperties())
          // Retired: the highlight colour now lives in the hot-track options.
          .Retired("HotColor", "HotTrackOptions.Color")
          .Bool("Movable", &P::GetMovable, &P::SetMovable)
          .Bool("MultiLine", &P::GetMultiLine, &P::SetMultiLine)
          .Bool("Sizeable", &P::GetSizeable, &P::SetSizeable)
          .Bool("Transparent", &P::GetTransparent, &P::SetTransparent)
          .Event("OnAfterMove", &P::OnAfterMove)
          .Event("OnBeforeMove", &P::OnBeforeMove)
          .Event("OnChangedHeight", &P::OnChangedHeight)
          .Event("OnChangedWidth", &P::OnChangedWidth)
          .Event("OnPaint", &P::OnPaint)
          .Event("OnResizeParent", &P::OnResizeParent)
          .Build();
  return Table;
}
