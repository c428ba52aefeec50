#include "platform/vcl/up_down.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"

namespace {
// Steps the up-down on the arrow keys pressed in its associated control.
class TArrowKeyFilter : public QObject {
 public:
  explicit TArrowKeyFilter(TUpDown* UpDown) : FUpDown(UpDown) {}
  bool eventFilter(QObject* Watched, QEvent* E) override {
    if (E->type() != QEvent::KeyPress || !FUpDown->GetArrowKeys()) return false;
    const int Key = static_cast<QKeyEvent*>(E)->key();
    const bool Vertical = FUpDown->GetOrientation() == udVertical;
    const int Next = Vertical ? Qt::Key_Up : Qt::Key_Right, Prev = Vertical ? Qt::Key_Down : Qt::Key_Left;
    if (Key != Next && Key != Prev) return false;
    VclDeliverCall(FUpDown, [this, Key, Next] { FUpDown->Step(Key == Next ? btNext : btPrev); });
    return true;
  }

 private:
  TUpDown* FUpDown;
};

std::string WithThousands(int32_t Value) {
  std::string Digits = std::to_string(Value < 0 ? -int64_t(Value) : int64_t(Value));
  for (int I = static_cast<int>(Digits.size()) - 3; I > 0; I -= 3) Digits.insert(size_t(I), ",");
  return Value < 0 ? "-" + Digits : Digits;
}
}  // namespace

TUpDown::TUpDown(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks | csAcceptsControls);
  FControlStyle |= csCaptureMouse;
  FColor = clBtnFace;
  SetBounds(0, 0, 17, 25);
}

TUpDown::~TUpDown() {
  if (FAssociate && FKeyFilter && FAssociate->GetWidget()) FAssociate->GetWidget()->removeEventFilter(FKeyFilter);
  delete FKeyFilter.data();
  if (QTimer* T = FRepeat.release()) {
    T->stop();
    T->disconnect();
    VclDisposeQObject(T);
  }
}

void TUpDown::SetMin(int32_t Value) {
  FMin = Value;
  if (!(GetComponentState() & csLoading)) SetPosition(FPosition);
}

void TUpDown::SetMax(int32_t Value) {
  FMax = Value;
  if (!(GetComponentState() & csLoading)) SetPosition(FPosition);
}

void TUpDown::SetPosition(int32_t Value) {
  if (!(GetComponentState() & csLoading)) Value = std::clamp(Value, std::min(FMin, FMax), std::max(FMin, FMax));
  FPosition = Value;
  ShowPosition();
}

void TUpDown::SetThousands(bool Value) {
  FThousands = Value;
  ShowPosition();
}

void TUpDown::SetOrientation(TUDOrientation Value) {
  FOrientation = Value;
  Invalidate();
}

void TUpDown::SetAssociate(TWinControl* Value) {
  if (Value == FAssociate) return;
  if (FAssociate) {
    if (FKeyFilter && FAssociate->GetWidget()) FAssociate->GetWidget()->removeEventFilter(FKeyFilter);
    FAssociate->RemoveFreeNotification(this);
  }
  FAssociate = Value;
  if (Value) {
    Value->FreeNotification(this);
    if (!FKeyFilter) FKeyFilter = new TArrowKeyFilter(this);
    if (Value->GetWidget()) Value->GetWidget()->installEventFilter(FKeyFilter);
    ShowPosition();
  }
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAssociate) FAssociate = nullptr;
}

void TUpDown::Loaded() {
  TCustomControl::Loaded();
  FPosition = std::clamp(FPosition, std::min(FMin, FMax), std::max(FMin, FMax));
  ShowPosition();
}

void TUpDown::ShowPosition() {
  if (!FAssociate || (GetComponentState() & csLoading)) return;
  FAssociate->SetText(FThousands ? WithThousands(FPosition) : std::to_string(FPosition));
}

void TUpDown::TakeAssociateText() {
  if (!FAssociate) return;
  std::string Text = Trim(FAssociate->GetText());
  Text.erase(std::remove(Text.begin(), Text.end(), ','), Text.end());
  int32_t V = 0;
  if (TryStrToInt(Text, V) && V >= std::min(FMin, FMax) && V <= std::max(FMin, FMax)) FPosition = V;
}

bool TUpDown::CanChange() {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  return Allow;
}

void TUpDown::DoClick(TUDBtnType Button) {
  if (OnClick) OnClick(this, Button);
}

bool TUpDown::Step(TUDBtnType Button) {
  TakeAssociateText();
  if (!CanChange()) return false;
  const int32_t Low = std::min(FMin, FMax), High = std::max(FMin, FMax);
  // A range given high to low steps the other way.
  const int32_t Delta = (Button == btNext ? FIncrement : -FIncrement) * (FMin <= FMax ? 1 : -1);
  int64_t Next = int64_t(FPosition) + Delta;
  if (Next > High) Next = FWrap ? Low : High;
  if (Next < Low) Next = FWrap ? High : Low;
  FPosition = static_cast<int32_t>(Next);
  ShowPosition();
  DoClick(Button);
  return true;
}

TUDBtnType TUpDown::ButtonAt(int32_t X, int32_t Y) const {
  if (FOrientation == udVertical) return Y < FHeight / 2 ? btNext : btPrev;
  return X >= FWidth / 2 ? btNext : btPrev;
}

void TUpDown::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !FEnabled) return;
  FPressed = ButtonAt(X, Y);
  Invalidate();
  Step(static_cast<TUDBtnType>(FPressed));
  if (!FRepeat) {
    FRepeat = std::make_unique<QTimer>();
    QObject::connect(FRepeat.get(), &QTimer::timeout, FRepeat.get(), [this] { VclDeliverCall(this, [this] { Repeat(); }); });
  }
  FRepeat->start(400);
}

void TUpDown::Repeat() {
  if (FPressed < 0) return;
  FRepeat->start(100);
  Step(static_cast<TUDBtnType>(FPressed));
}

void TUpDown::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (FRepeat) FRepeat->stop();
  if (FPressed >= 0) {
    FPressed = -1;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TUpDown::Paint() {
  TCanvas* C = GetCanvas();
  TBitmap* B = GetFrontBuffer();
  const int32_t W = B->GetWidth(), H = B->GetHeight();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(clBtnFace);
  C->FillRect(Rect(0, 0, W, H));
  const bool Vertical = FOrientation == udVertical;
  for (int32_t Part = 0; Part < 2; ++Part) {
    // Part 0 is the next button: the upper or the right half.
    TRect R = Vertical ? (Part == 0 ? Rect(0, 0, W, H / 2) : Rect(0, H / 2, W, H))
                       : (Part == 0 ? Rect(W / 2, 0, W, H) : Rect(0, 0, W / 2, H));
    DrawEdge(C, R, FPressed == Part ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
    const int32_t CX = (R.Left + R.Right) / 2, CY = (R.Top + R.Bottom) / 2;
    const int32_t S = std::max(1, std::min(R.Width(), R.Height()) / 4);
    const int32_t D = FPressed == Part ? 1 : 0;
    TPoint Arrow[3];
    if (Vertical) {
      const int32_t Tip = Part == 0 ? -S : S;
      Arrow[0] = {CX + D - S, CY + D - Tip / 2};
      Arrow[1] = {CX + D + S, CY + D - Tip / 2};
      Arrow[2] = {CX + D, CY + D + Tip / 2};
    } else {
      const int32_t Tip = Part == 0 ? S : -S;
      Arrow[0] = {CX + D - Tip / 2, CY + D - S};
      Arrow[1] = {CX + D - Tip / 2, CY + D + S};
      Arrow[2] = {CX + D + Tip / 2, CY + D};
    }
    const TColor Ink = FEnabled ? clBtnText : clGrayText;
    C->GetPen()->SetColor(Ink);
    C->GetBrush()->SetColor(Ink);
    C->Polygon(Arrow, 3);
  }
}

const TFormPropertyTable& TUpDown::FormProperties() const {
  static const TFormEnumNames OrientationNames = {"udHorizontal", "udVertical"};
  static const TFormEnumNames AlignNames = {"udLeft", "udRight"};
  using U = TUpDown;
  static const TFormPropertyTable Table =
      TFormProperties<U>("TUpDown", &TCustomControl::FormProperties())
          .Enum("AlignButton", AlignNames, &U::GetAlignButton, &U::SetAlignButton)
          .Bool("ArrowKeys", &U::GetArrowKeys, &U::SetArrowKeys)
          .Reference<TWinControl>("Associate", &U::GetAssociate, &U::SetAssociate)
          .Integer("Increment", &U::GetIncrement, &U::SetIncrement)
          .Integer("Max", &U::GetMax, &U::SetMax)
          .Integer("Min", &U::GetMin, &U::SetMin)
          .Enum("Orientation", OrientationNames, &U::GetOrientation, &U::SetOrientation)
          .Integer("Position", &U::GetPosition, &U::SetPosition)
          .Bool("Thousands", &U::GetThousands, &U::SetThousands)
          .Bool("Wrap", &U::GetWrap, &U::SetWrap)
          .Event("OnChanging", &U::OnChanging)
          .Event("OnClick", &U::OnClick)
          .Build();
  return Table;
}
