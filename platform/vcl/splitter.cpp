#include "platform/vcl/splitter.h"

#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/form_properties.h"

TSplitter::TSplitter(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle &= ~csClickEvents;
  FAlign = alLeft;
  SetBounds(0, 0, 3, 100);
  SetCursor(crHSplit);
}

void TSplitter::SetBeveled(bool Value) {
  FBeveled = Value;
  Invalidate();
}

void TSplitter::UpdateCursor() { SetCursor(FAlign == alTop || FAlign == alBottom ? crVSplit : crHSplit); }

TControl* TSplitter::FindResizeControl() const {
  if (!FParent) return nullptr;
  for (int32_t I = 0; I < FParent->GetControlCount(); ++I) {
    TControl* C = FParent->GetControls(I);
    if (C == this || !C->GetVisible() || C->GetAlign() != FAlign) continue;
    const bool Beside = (FAlign == alLeft && C->GetLeft() + C->GetWidth() == FLeft) ||
                        (FAlign == alRight && C->GetLeft() == FLeft + FWidth) ||
                        (FAlign == alTop && C->GetTop() + C->GetHeight() == FTop) ||
                        (FAlign == alBottom && C->GetTop() == FTop + FHeight);
    if (Beside) return C;
  }
  return nullptr;
}

void TSplitter::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  UpdateCursor();
  FControl = FindResizeControl();
  if (!FControl) return;
  FDownAt = TPoint{FLeft + X, FTop + Y};
  FStartSize = FAlign == alLeft || FAlign == alRight ? FControl->GetWidth() : FControl->GetHeight();
}

void TSplitter::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FControl || !FParent) return;
  const TPoint At{FLeft + X, FTop + Y};
  int32_t Delta = 0;
  switch (FAlign) {
    case alLeft: Delta = At.X - FDownAt.X; break;
    case alRight: Delta = FDownAt.X - At.X; break;
    case alTop: Delta = At.Y - FDownAt.Y; break;
    case alBottom: Delta = FDownAt.Y - At.Y; break;
    default: return;
  }
  // The room of the parent's client along the splitter's axis that the
  // control and what lies beyond it may share.
  const bool Horizontal = FAlign == alLeft || FAlign == alRight;
  const TRect Client = FParent->GetClientRect();
  int32_t Others = 0;
  for (int32_t I = 0; I < FParent->GetControlCount(); ++I) {
    TControl* C = FParent->GetControls(I);
    if (C == FControl || !C->GetVisible()) continue;
    const TAlign A = C->GetAlign();
    if (Horizontal && (A == alLeft || A == alRight)) Others += C->GetWidth();
    if (!Horizontal && (A == alTop || A == alBottom)) Others += C->GetHeight();
  }
  const int32_t Room = (Horizontal ? Client.Width() : Client.Height()) - Others;
  int32_t NewSize = std::clamp(FStartSize + Delta, FMinSize, std::max(FMinSize, Room - FMinSize));
  bool Accept = true;
  if (OnCanResize) OnCanResize(this, NewSize, Accept);
  if (!Accept || NewSize == (Horizontal ? FControl->GetWidth() : FControl->GetHeight())) return;
  if (Horizontal) {
    FControl->SetWidth(NewSize);
  } else {
    FControl->SetHeight(NewSize);
  }
}

void TSplitter::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !FControl) return;
  FControl = nullptr;
  if (OnMoved) OnMoved(this);
}

void TSplitter::Paint() {
  TCanvas* C = GetCanvas();
  TBitmap* B = GetFrontBuffer();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(FParent ? FParent->GetColor() : clBtnFace);
  TRect R = Rect(0, 0, B->GetWidth(), B->GetHeight());
  C->FillRect(R);
  if (FBeveled) DrawEdge(C, R, BDR_RAISEDINNER, BF_RECT);
}

const TFormPropertyTable& TSplitter::FormProperties() const {
  static const TFormEnumNames StyleNames = {"rsNone", "rsLine", "rsUpdate", "rsPattern"};
  using S = TSplitter;
  static const TFormPropertyTable Table = TFormProperties<S>("TSplitter", &TGraphicControl::FormProperties())
                                              .Bool("AutoSnap", &S::GetAutoSnap, &S::SetAutoSnap)
                                              .Bool("Beveled", &S::GetBeveled, &S::SetBeveled)
                                              .Integer("MinSize", &S::GetMinSize, &S::SetMinSize)
                                              .Enum("ResizeStyle", StyleNames, &S::GetResizeStyle, &S::SetResizeStyle)
                                              .Event("OnCanResize", &S::OnCanResize)
                                              .Event("OnMoved", &S::OnMoved)
                                              .Build();
  return Table;
}
