#include "platform/vcl/controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

// ------------------------------------------------------------ helpers
QColor VclQColor(TColor Color) {
  uint32_t C = ColorToRGB(Color);
  return QColor(GetRValue(C), GetGValue(C), GetBValue(C));
}

QFont VclQFont(const TFont* Font) {
  QFont F;
  if (!Font) return F;
  F.setFamily(QString::fromStdString(Font->GetName()));
  const int32_t H = Font->GetHeight();
  if (H != 0) F.setPixelSize(std::max(1, std::abs(H)));
  const TFontStyles S = Font->GetStyle();
  F.setBold(S & FontStyleBit(fsBold));
  F.setItalic(S & FontStyleBit(fsItalic));
  F.setUnderline(S & FontStyleBit(fsUnderline));
  F.setStrikeOut(S & FontStyleBit(fsStrikeOut));
  return F;
}

int GVclDeliverDepth = 0;

namespace {

// Deletes a widget now, or once the event being handled is over when any
// event of ours is running (the widget or one of its parents may be the one
// handling it).
void DisposeWidget(QWidget* W) {
  if (!W) return;
  if (auto* Link = dynamic_cast<TVclWidgetLink*>(W)) Link->Control = nullptr;
  if (GVclDeliverDepth > 0) {
    W->hide();
    W->deleteLater();
  } else {
    delete W;
  }
}

// A timer may be stopped from its own tick: Qt must be done with it first.
void DisposeTimer(QTimer* T) {
  if (!T) return;
  T->stop();
  T->disconnect();
  VclDisposeQObject(T);
}

}  // namespace

void VclDeliverCall(TObject* Sender, const std::function<void()>& Fn) {
  ++GVclDeliverDepth;
  VclGuardedCall(Sender, Fn);
  --GVclDeliverDepth;
}

void VclDisposeQObject(QObject* Object) {
  if (!Object) return;
  if (GVclDeliverDepth > 0) {
    Object->deleteLater();
  } else {
    delete Object;
  }
}

// ------------------------------------------------------------ TControl
TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
  FFont->OnChange = [this](TObject*) {
    if (!FFontFromParent) FParentFont = false;
    FontChanged();
  };
}

void TControl::SetFont(TFont* Value) {
  if (Value) FFont->Assign(Value);
}

void TControl::SetParentFont(bool Value) {
  FParentFont = Value;
  if (Value && FParent) {
    FFontFromParent = true;
    FFont->Assign(FParent->GetFont());
    FFontFromParent = false;
  }
}

void TControl::FontChanged() {
  if (FWidget) FWidget->setFont(VclQFont(FFont.get()));
  Perform(CM_FONTCHANGED, 0, 0);
  Invalidate();
  if (auto* W = dynamic_cast<TWinControl*>(this)) {
    for (TControl* C : W->FControls) {
      if (C->FParentFont) {
        C->FFontFromParent = true;
        C->FFont->Assign(FFont.get());
        C->FFontFromParent = false;
        C->Perform(CM_PARENTFONTCHANGED, 0, 0);
      }
    }
  }
}

TControl::~TControl() {
  if (GetMouseCapture()) SetMouseCapture(false);
  if (FParent) FParent->RemoveControl(this);
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  QWidget* W = FWidget.data();
  FWidget.clear();
  DisposeWidget(W);
}

TControl* TControl::FromWidget(const QWidget* Widget) {
  auto* Link = dynamic_cast<const TVclWidgetLink*>(Widget);
  return Link ? Link->Control : nullptr;
}

void TControl::AttachWidget(QWidget* Widget) {
  QWidget* Old = FWidget.data();
  FWidget = Widget;
  if (auto* Link = dynamic_cast<TVclWidgetLink*>(Widget)) Link->Control = this;
  Widget->setObjectName(QString::fromStdString(GetName()));
  Widget->setAttribute(Qt::WA_NoMousePropagation, false);
  if (Old) {
    // Move the children widgets over to the new one.
    for (QObject* Child : Old->children()) {
      if (auto* CW = qobject_cast<QWidget*>(Child)) {
        if (FromWidget(CW)) CW->setParent(Widget);
      }
    }
    DisposeWidget(Old);
  }
  if (FParent && FParent->GetWidget()) Widget->setParent(FParent->GetWidget());
  Widget->setEnabled(FEnabled);
  Widget->setFont(VclQFont(FFont.get()));
  UpdateWidgetGeometry();
  if (FParent) Widget->setVisible(FVisible);
  ApplyCursor();
}

void TControl::SetName(const std::string& NewName) {
  const std::string OldName = GetName();
  TComponent::SetName(NewName);
  if (FWidget) FWidget->setObjectName(QString::fromStdString(GetName()));
  // A control whose caption is still its name follows a new name.
  if ((FControlStyle & csSetCaption) && (GetComponentState() & csLoading) == 0 && FText == OldName)
    SetText(GetName());
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (FWidget) FWidget->setObjectName(QString::fromStdString(GetName()));
}

TCustomForm* TControl::GetParentForm() const { return ::GetParentForm(const_cast<TControl*>(this)); }

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  bool Moved = ALeft != FLeft || ATop != FTop;
  bool Sized = AWidth != FWidth || AHeight != FHeight;
  if (!Moved && !Sized) return;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  UpdateWidgetGeometry();
  BoundsChanged(Moved, Sized);
}

void TControl::UpdateWidgetGeometry() {
  if (!FWidget) return;
  if (FParent) {
    TPoint O = FParent->ClientOffset();
    FWidget->setGeometry(O.X + FLeft, O.Y + FTop, FWidth, FHeight);
  } else {
    FWidget->setGeometry(FLeft, FTop, std::max(FWidth, 1), std::max(FHeight, 1));
  }
}

void TControl::BoundsChanged(bool Moved, bool Sized) {
  if (Sized) Resize();
  if (FParent && FAlign != alNone && (Sized || Moved)) FParent->Realign();
}

TRect TControl::GetClientRect() const { return Rect(0, 0, FWidth, FHeight); }

void TControl::SetClientWidth(int32_t Value) {
  SetWidth(FWidth - GetClientWidth() + Value);
}

void TControl::SetClientHeight(int32_t Value) {
  SetHeight(FHeight - GetClientHeight() + Value);
}

TPoint TControl::GetClientOrigin() const {
  if (!FWidget) return TPoint{FLeft, FTop};
  TPoint O = ClientOffset();
  QPoint G = FWidget->mapToGlobal(QPoint(O.X, O.Y));
  return TPoint{G.x(), G.y()};
}

TPoint TControl::ClientToScreen(const TPoint& P) const {
  TPoint O = GetClientOrigin();
  return TPoint{P.X + O.X, P.Y + O.Y};
}

TPoint TControl::ScreenToClient(const TPoint& P) const {
  TPoint O = GetClientOrigin();
  return TPoint{P.X - O.X, P.Y - O.Y};
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (FWidget && FParent) FWidget->setVisible(Value);
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  if (FParent && FAlign != alNone) FParent->Realign();
}

bool TControl::GetShowing() const { return FWidget && FWidget->isVisible(); }

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (FWidget) FWidget->setEnabled(Value);
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  FParentColor = false;
  Perform(CM_COLORCHANGED, 0, 0);
  Invalidate();
  if (auto* W = dynamic_cast<TWinControl*>(this)) {
    for (TControl* C : W->FControls) {
      if (C->FParentColor) {
        C->FColor = Value;
        C->Perform(CM_PARENTCOLORCHANGED, 0, 0);
        C->Invalidate();
      }
    }
  }
}

void TControl::SetParentColor(bool Value) {
  FParentColor = Value;
  if (Value && FParent) {
    FColor = FParent->GetColor();
    Invalidate();
  }
}

void TControl::SetHint(const std::string& Value) {
  FHint = Value;
  if (FWidget) FWidget->setToolTip(FShowHint ? QString::fromStdString(Value) : QString());
}

void TControl::SetShowHint(bool Value) {
  FShowHint = Value;
  FParentShowHint = false;
  SetHint(FHint);
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  ApplyCursor();
  Perform(CM_CURSORCHANGED, 0, 0);
}

void TControl::ApplyCursor() {
  if (!FWidget) return;
  if (FCursor == crDefault) {
    FWidget->unsetCursor();
  } else if (Screen) {
    FWidget->setCursor(Screen->GetQCursor(FCursor));
  }
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = Value;
  if (Value) Value->FreeNotification(this);
}

bool TControl::GetMouseCapture() const {
  return FWidget && QWidget::mouseGrabber() == FWidget.data();
}

void TControl::SetMouseCapture(bool Value) {
  if (!FWidget) return;
  if (Value) {
    if (FWidget->isVisible()) FWidget->grabMouse();
  } else if (QWidget::mouseGrabber() == FWidget.data()) {
    FWidget->releaseMouse();
  }
}

void TControl::Invalidate() {
  if (FWidget) FWidget->update();
}

void TControl::Update() {
  if (FWidget && FWidget->isVisible()) FWidget->repaint();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (FWidget) FWidget->raise();
  if (FParent) {
    auto& L = FParent->FControls;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    L.push_back(this);
  }
}

void TControl::SendToBack() {
  if (FWidget) FWidget->lower();
  if (FParent) {
    auto& L = FParent->FControls;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    L.insert(L.begin(), this);
  }
}

// -- messages
void TControl::WndProc(TMessage& Message) { Dispatch(Message); }

LRESULT TControl::Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TMessage M;
  M.Msg = Msg;
  M.WParam = WParam;
  M.LParam = LParam;
  WndProc(M);
  return M.Result;
}

void TControl::VclDeliver(TMessage& Message) {
  VclDeliverCall(this, [&] { WndProc(Message); });
}

void TControl::DefaultHandler(TMessage& Message) { Message.Result = 0; }

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      HandleMouseMessage(Message);
      return;
    case WM_MOUSEWHEEL:
      HandleWheelMessage(Message);
      return;
    case WM_CONTEXTMENU: {
      TPoint Screen{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      bool Handled = false;
      DoContextPopup(ScreenToClient(Screen), Handled);
      if (!Handled && FPopupMenu) {
        FPopupMenu->SetPopupComponent(this);
        FPopupMenu->Popup(Screen.X, Screen.Y);
        Handled = true;
      }
      Message.Result = Handled ? 1 : 0;
      return;
    }
    case CM_MOUSEENTER:
      FMouseInClient = true;
      return;
    case CM_MOUSELEAVE:
      FMouseInClient = false;
      return;
    default:
      DefaultHandler(Message);
  }
}

void TControl::HandleMouseMessage(TMessage& Message) {
  const int32_t X = GET_X_LPARAM(Message.LParam);
  const int32_t Y = GET_Y_LPARAM(Message.LParam);
  TShiftState Shift = KeysToShiftState(static_cast<uint32_t>(Message.WParam));
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      MouseMove(Shift, X, Y);
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      bool Double = Message.Msg == WM_LBUTTONDBLCLK && (FControlStyle & csDoubleClicks);
      if (FControlStyle & csCaptureMouse) SetMouseCapture(true);
      // The second press of a double click gives DblClick, not another Click.
      if ((FControlStyle & csClickEvents) && !Double) FControlState |= csClicked;
      FControlState |= csLButtonDown;
      if (Double) DblClick();
      MouseDown(mbLeft, Shift | (Double ? ssDouble : 0), X, Y);
      return;
    }
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: {
      bool Double = Message.Msg == WM_RBUTTONDBLCLK && (FControlStyle & csDoubleClicks);
      MouseDown(mbRight, Shift | (Double ? ssDouble : 0), X, Y);
      return;
    }
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: {
      bool Double = Message.Msg == WM_MBUTTONDBLCLK && (FControlStyle & csDoubleClicks);
      MouseDown(mbMiddle, Shift | (Double ? ssDouble : 0), X, Y);
      return;
    }
    case WM_LBUTTONUP: {
      FControlState &= ~csLButtonDown;
      if (FControlStyle & csCaptureMouse) SetMouseCapture(false);
      bool Clicked = (FControlState & csClicked) != 0;
      FControlState &= ~csClicked;
      if (Clicked && PtInRect(GetClientRect(), TPoint{X, Y})) Click();
      MouseUp(mbLeft, Shift, X, Y);
      return;
    }
    case WM_RBUTTONUP:
      MouseUp(mbRight, Shift, X, Y);
      return;
    case WM_MBUTTONUP:
      MouseUp(mbMiddle, Shift, X, Y);
      return;
    default:
      return;
  }
}

void TControl::HandleWheelMessage(TMessage& Message) {
  TShiftState Shift = KeysToShiftState(GET_KEYSTATE_WPARAM(Message.WParam));
  int32_t Delta = GET_WHEEL_DELTA_WPARAM(Message.WParam);
  TPoint Pos{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
  Message.Result = DoMouseWheel(Shift, Delta, Pos) ? 1 : 0;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

bool TControl::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, Handled);
  if (!Handled) {
    // Every notch gets its own up or down event.
    int32_t Notches = WheelDelta / WHEEL_DELTA;
    if (Notches == 0) Notches = WheelDelta < 0 ? -1 : 1;
    for (int32_t I = 0; I < std::abs(Notches) && !Handled; ++I)
      Handled = Notches < 0 ? DoMouseWheelDown(Shift, MousePos) : DoMouseWheelUp(Shift, MousePos);
  }
  return Handled;
}

bool TControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, Handled);
  return Handled;
}

bool TControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, Handled);
  return Handled;
}

void TControl::DoContextPopup(TPoint MousePos, bool& Handled) {
  if (OnContextPopup) OnContextPopup(this, MousePos, Handled);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ------------------------------------------------------------ TWinControl
TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FColor = clBtnFace;
  AttachWidget(new TVclWidget());
}

TWinControl::~TWinControl() {
  Destroying();
  for (auto& T : FTimers) DisposeTimer(T.second.release());
  FTimers.clear();
  // The children go with their parent window.
  while (!FControls.empty()) {
    TControl* C = FControls.back();
    delete C;
  }
  for (auto& S : FScrollBars) S.Bar = nullptr;  // owned by the widget
  if (FHandle) {
    VclUnregisterHandle(FHandle);
    FHandle = 0;
  }
}

HWND TWinControl::GetHandle() {
  if (FHandle) return FHandle;
  bool TopLevel = dynamic_cast<TCustomForm*>(this) != nullptr;
  if (!TopLevel && !FParent && !FParentWindow)
    throw EInvalidOperation(Format("Control '%s' has no parent window", GetName().c_str()));
  FHandle = VclRegisterHandle(this);
  // The window takes its styles from the control's class now that it is
  // fully built.
  CreateWnd();
  for (TControl* C : FControls)
    if (auto* W = dynamic_cast<TWinControl*>(C)) W->HandleNeeded();
  return FHandle;
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FControlStyle & csAcceptsControls) Params.Style |= WS_CLIPCHILDREN;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
}

void TWinControl::CreateWnd() {
  TCreateParams P;
  CreateParams(P);
  FWindowStyle = P.Style;
  FWindowExStyle = P.ExStyle;
  // Scroll-bar styles show the bars from the start.
  bool BarsChanged = false;
  if ((P.Style & WS_VSCROLL) && !FScrollBars[SB_VERT].Visible) BarsChanged = FScrollBars[SB_VERT].Visible = true;
  if ((P.Style & WS_HSCROLL) && !FScrollBars[SB_HORZ].Visible) BarsChanged = FScrollBars[SB_HORZ].Visible = true;
  int32_t Border = 0;
  if (P.ExStyle & WS_EX_CLIENTEDGE) {
    Border = 2;
  } else if (P.ExStyle & WS_EX_STATICEDGE) {
    Border = 1;
  } else if (P.Style & WS_BORDER) {
    Border = 1;
  }
  if (Border != FBorderSize || BarsChanged) {
    FBorderSize = Border;
    LayoutScrollBars();
    for (TControl* C : FControls) C->UpdateWidgetGeometry();
    ClientSizeChanged();
  }
}

void TWinControl::DestroyWnd() {}

void TWinControl::RecreateWnd() {
  if (!FHandle) return;
  DestroyWnd();
  CreateWnd();
  Invalidate();
}

void TWinControl::SetParentWindow(HWND Value) {
  FParentWindow = Value;
  if (Value) HandleNeeded();
}

TControl* TWinControl::GetControls(int32_t Index) const {
  if (Index < 0 || Index >= GetControlCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FControls[static_cast<size_t>(Index)];
}

bool TWinControl::ContainsControl(TControl* Control) const {
  for (TControl* P = Control; P; P = P->GetParent())
    if (P == this) return true;
  return false;
}

TControl* TWinControl::FindChildControl(const std::string& ControlName) const {
  for (TControl* C : FControls)
    if (SameText(C->GetName(), ControlName)) return C;
  return nullptr;
}

void TWinControl::InsertControl(TControl* Control) {
  if (!Control || Control->FParent == this) return;
  if (Control == this || (dynamic_cast<TWinControl*>(Control) &&
                          static_cast<TWinControl*>(Control)->ContainsControl(this)))
    throw EInvalidOperation("A control cannot be the parent of its own parent");
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(Control), 1);
  FControls.push_back(Control);
  Control->FParent = this;
  if (QWidget* W = Control->GetWidget()) {
    W->setParent(FWidget.data());
    Control->UpdateWidgetGeometry();
    W->setVisible(Control->GetVisible());
  }
  if (Control->FParentColor) Control->FColor = FColor;
  if (Control->FParentFont) Control->SetParentFont(true);
  if (auto* WC = dynamic_cast<TWinControl*>(Control)) {
    if (HandleAllocated() || FParentWindow || dynamic_cast<TCustomForm*>(this)) WC->HandleNeeded();
  }
  Perform(CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(Control), 1);
  if (Control->GetAlign() != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* Control) {
  auto It = std::find(FControls.begin(), FControls.end(), Control);
  if (It == FControls.end()) return;
  const bool Destroying = (GetComponentState() & csDestroying) != 0;
  if (!Destroying) Perform(CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(Control), 0);
  FControls.erase(It);
  Control->FParent = nullptr;
  if (QWidget* W = Control->GetWidget()) {
    if (!Destroying || GVclDeliverDepth == 0) {
      W->hide();
      W->setParent(nullptr);
    }
  }
  if (!Destroying) {
    Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(Control), 0);
    if (Control->GetAlign() != alNone) Realign();
  }
}

void TWinControl::Loaded() {
  TControl::Loaded();
  // The resource placed the children for the size it gave this control.
  const TRect C = GetClientRect();
  FAnchorClient = TSize{C.Width(), C.Height()};
  Realign();
}

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0) Realign();
}

void TWinControl::Realign() {
  if (FAlignLevel > 0 || FAligning) return;
  if (GetComponentState() & (csLoading | csDestroying)) return;
  FAligning = true;
  try {
    ApplyAnchors();
    TRect R = GetClientRect();
    AlignControls(nullptr, R);
  } catch (...) {
    FAligning = false;
    throw;
  }
  FAligning = false;
}

void TWinControl::ApplyAnchors() {
  const TRect C = GetClientRect();
  const TSize Now{C.Width(), C.Height()};
  if (FAnchorClient.cx < 0) {
    FAnchorClient = Now;
    return;
  }
  const int32_t DX = Now.cx - FAnchorClient.cx;
  const int32_t DY = Now.cy - FAnchorClient.cy;
  FAnchorClient = Now;
  if (DX == 0 && DY == 0) return;
  // Children keep their distance to the anchored edges.
  for (TControl* Ch : std::vector<TControl*>(FControls)) {
    if (Ch->GetAlign() != alNone) continue;
    const TAnchors A = Ch->GetAnchors();
    int32_t L = Ch->GetLeft(), T = Ch->GetTop(), W = Ch->GetWidth(), H = Ch->GetHeight();
    if (A & akRight) {
      if (A & akLeft) {
        W += DX;
      } else {
        L += DX;
      }
    }
    if (A & akBottom) {
      if (A & akTop) {
        H += DY;
      } else {
        T += DY;
      }
    }
    Ch->SetBounds(L, T, W, H);
  }
}

void TWinControl::AlignControls(TControl* AControl, TRect& R) {
  auto Pass = [&](TAlign A) {
    std::vector<TControl*> List;
    for (TControl* C : FControls)
      if (C->GetAlign() == A && C->GetVisible()) List.push_back(C);
    std::stable_sort(List.begin(), List.end(), [A](TControl* L, TControl* M) {
      switch (A) {
        case alTop: return L->GetTop() < M->GetTop();
        case alBottom: return L->GetTop() + L->GetHeight() > M->GetTop() + M->GetHeight();
        case alLeft: return L->GetLeft() < M->GetLeft();
        case alRight: return L->GetLeft() + L->GetWidth() > M->GetLeft() + M->GetWidth();
        default: return false;
      }
    });
    for (TControl* C : List) {
      switch (A) {
        case alTop:
          C->SetBounds(R.Left, R.Top, R.Width(), C->GetHeight());
          R.Top += C->GetHeight();
          break;
        case alBottom:
          C->SetBounds(R.Left, R.Bottom - C->GetHeight(), R.Width(), C->GetHeight());
          R.Bottom -= C->GetHeight();
          break;
        case alLeft:
          C->SetBounds(R.Left, R.Top, C->GetWidth(), R.Height());
          R.Left += C->GetWidth();
          break;
        case alRight:
          C->SetBounds(R.Right - C->GetWidth(), R.Top, C->GetWidth(), R.Height());
          R.Right -= C->GetWidth();
          break;
        case alClient:
          C->SetBounds(R.Left, R.Top, std::max(0, R.Width()), std::max(0, R.Height()));
          break;
        default:
          break;
      }
    }
  };
  for (TAlign A : {alTop, alBottom, alLeft, alRight, alClient}) Pass(A);
}

bool TWinControl::CanFocus() const {
  for (const TControl* C = this; C; C = C->GetParent())
    if (!C->GetVisible() || !C->GetEnabled()) return false;
  return true;
}

bool TWinControl::Focused() const {
  return FWidget && FWidget->hasFocus();
}

void TWinControl::SetFocus() {
  if (!FWidget) return;
  if (TCustomForm* F = GetParentForm()) F->SetActiveControl(this);
  if (FWidget->focusPolicy() == Qt::NoFocus) FWidget->setFocusPolicy(Qt::ClickFocus);
  FWidget->setFocus(Qt::OtherFocusReason);
}

void TWinControl::SetTabStop(bool Value) {
  FTabStop = Value;
  if (FWidget) FWidget->setFocusPolicy(Value ? Qt::StrongFocus : Qt::ClickFocus);
  Perform(CM_TABSTOPCHANGED, 0, 0);
}

void TWinControl::SetCtl3D(bool Value) {
  if (Value == FCtl3D) return;
  FCtl3D = Value;
  FParentCtl3D = false;
  Perform(CM_CTL3DCHANGED, 0, 0);
}

TPoint TWinControl::ClientOffset() const { return TPoint{FBorderSize, FBorderSize}; }

TRect TWinControl::GetClientRect() const {
  int32_t W = FWidth - 2 * FBorderSize - (FScrollBars[SB_VERT].Visible ? VclScrollBarSize : 0);
  int32_t H = FHeight - 2 * FBorderSize - (FScrollBars[SB_HORZ].Visible ? VclScrollBarSize : 0);
  return Rect(0, 0, std::max(0, W), std::max(0, H));
}

void TWinControl::BoundsChanged(bool Moved, bool Sized) {
  if (Sized) LayoutScrollBars();
  if (Moved) Perform(WM_MOVE, 0, MAKELPARAM(FLeft, FTop));
  if (Sized) {
    TRect C = GetClientRect();
    Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(C.Width(), C.Height()));
  }
  if (FParent && FAlign != alNone && (Sized || Moved)) FParent->Realign();
}

void TWinControl::ClientSizeChanged() {
  TRect C = GetClientRect();
  Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(C.Width(), C.Height()));
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      Realign();
      Resize();
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
      if (DoKey(Message)) {
        Message.Result = 1;
      } else {
        DefaultHandler(Message);
      }
      return;
    case WM_SETFOCUS:
      DoEnter();
      return;
    case WM_KILLFOCUS:
      DoExit();
      return;
    case WM_TIMER:
      DefaultHandler(Message);
      return;
    case WM_SYSCHAR:
      // An Alt+character nobody took may be a control's accelerator.
      if (TCustomForm* Form = GetParentForm()) {
        Message.Result = Form->Perform(CM_DIALOGCHAR, Message.WParam, Message.LParam);
      } else {
        DefaultHandler(Message);
      }
      return;
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
      // Offered to the children in turn until one takes it.
      for (size_t I = 0; I < FControls.size() && Message.Result == 0; ++I)
        Message.Result = FControls[I]->Perform(Message.Msg, Message.WParam, Message.LParam);
      return;
    default:
      TControl::Dispatch(Message);
  }
}

bool TWinControl::IsMenuKey(uint16_t Key, TShiftState Shift) {
  for (TControl* C = this; C; C = C->GetParent()) {
    TPopupMenu* M = C->GetPopupMenu();
    if (M && M->GetOwner() && M->IsShortCut(Key, Shift)) return true;
  }
  TCustomForm* Form = GetParentForm();
  return Form && Form->IsShortCut(Key, Shift);
}

bool TWinControl::DoKey(TMessage& Message) {
  const bool Down = Message.Msg == WM_KEYDOWN || Message.Msg == WM_SYSKEYDOWN;
  const bool Char = Message.Msg == WM_CHAR;
  uint16_t Key = static_cast<uint16_t>(Message.WParam);
  const TShiftState Shift = KeyDataToShiftState(Message.LParam);
  if (Down && IsMenuKey(Key, Shift)) return true;
  // Enter and Escape that the control does not want go to the form's
  // controls first (default and cancel buttons).
  if (Down && (Key == VK_RETURN || Key == VK_ESCAPE)) {
    TCustomForm* KeyForm = GetParentForm();
    if (KeyForm && !(Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS) &&
        KeyForm->Perform(CM_DIALOGKEY, Key, Message.LParam) != 0)
      return true;
  }
  auto Handle = [&](TWinControl* Target) {
    if (Char) {
      char16_t C = static_cast<char16_t>(Key);
      Target->KeyPress(C);
      Key = static_cast<uint16_t>(C);
    } else if (Down) {
      Target->KeyDown(Key, Shift);
    } else {
      Target->KeyUp(Key, Shift);
    }
  };
  // A form that previews keys sees them first; a handler that clears the key
  // has taken it.
  TCustomForm* Form = GetParentForm();
  if (Form && Form != this && Form->GetKeyPreview()) {
    Handle(Form);
    if (Key == 0) return true;
  }
  Handle(this);
  Message.WParam = Key;
  return Key == 0;
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char16_t& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

const TFormPropertyTable& TWinControl::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TWinControl>("", &TControl::FormProperties())
          .Bool("Ctl3D", &TWinControl::GetCtl3D, &TWinControl::SetCtl3D)
          .Bool("ParentCtl3D", &TWinControl::GetParentCtl3D, &TWinControl::SetParentCtl3D)
          .Bool("DoubleBuffered", &TWinControl::GetDoubleBuffered, &TWinControl::SetDoubleBuffered)
          .Integer("TabOrder", &TWinControl::GetTabOrder, &TWinControl::SetTabOrder)
          .Bool("TabStop", &TWinControl::GetTabStop, &TWinControl::SetTabStop)
          .Event("OnEnter", &TWinControl::OnEnter)
          .Event("OnExit", &TWinControl::OnExit)
          .Event("OnKeyDown", &TWinControl::OnKeyDown)
          .Event("OnKeyPress", &TWinControl::OnKeyPress)
          .Event("OnKeyUp", &TWinControl::OnKeyUp)
          .Build();
  return Table;
}

// -- timers
void TWinControl::StartWindowTimer(uintptr_t IDEvent, uint32_t Elapse) {
  auto& T = FTimers[IDEvent];
  if (!T) {
    T = std::make_unique<QTimer>();
    QTimer* Q = T.get();
    QObject::connect(Q, &QTimer::timeout, Q, [this, IDEvent] {
      TMessage M;
      M.Msg = WM_TIMER;
      M.WParam = static_cast<WPARAM>(IDEvent);
      VclDeliver(M);
    });
  }
  T->start(static_cast<int>(std::max<uint32_t>(Elapse, 1)));
}

bool TWinControl::StopWindowTimer(uintptr_t IDEvent) {
  auto It = FTimers.find(IDEvent);
  if (It == FTimers.end()) return false;
  // A timer may be killed from its own tick: let Qt finish with it first.
  DisposeTimer(It->second.release());
  FTimers.erase(It);
  return true;
}

// -- scroll bars
TVclScrollBarState& TWinControl::ScrollBarState(int32_t Bar) {
  return FScrollBars[Bar == SB_VERT ? SB_VERT : SB_HORZ];
}

namespace {
int64_t ScrollRange(const TVclScrollBarState& S) {
  return S.Max < S.Min ? 0 : static_cast<int64_t>(S.Max) - S.Min + 1;
}
int32_t MaxThumbPos(const TVclScrollBarState& S) {
  int64_t M = S.Page ? static_cast<int64_t>(S.Max) - S.Page + 1 : S.Max;
  if (M < S.Min) M = S.Min;
  return static_cast<int32_t>(M);
}
}  // namespace

int32_t TWinControl::VclSetScrollInfo(int32_t Bar, const TScrollInfo& Info) {
  if (Bar != SB_HORZ && Bar != SB_VERT) return 0;
  TVclScrollBarState& S = FScrollBars[Bar];
  if (Info.fMask & SIF_RANGE) {
    S.Min = Info.nMin;
    S.Max = Info.nMax;
  }
  if (Info.fMask & SIF_PAGE) S.Page = Info.nPage;
  int64_t Range = ScrollRange(S);
  if (S.Page > Range) S.Page = static_cast<uint32_t>(Range);
  if (Info.fMask & SIF_POS) S.Pos = Info.nPos;
  S.Pos = std::clamp(S.Pos, S.Min, MaxThumbPos(S));
  if (Info.fMask & (SIF_RANGE | SIF_PAGE)) {
    bool CanScroll = S.Page ? Range > static_cast<int64_t>(S.Page) : S.Max > S.Min;
    if (!CanScroll && (Info.fMask & SIF_DISABLENOSCROLL)) {
      S.Enabled = false;
    } else {
      if (CanScroll) S.Enabled = true;
      VclShowScrollBar(Bar, CanScroll);
    }
  }
  LayoutScrollBars();
  return S.Pos;
}

bool TWinControl::VclGetScrollInfo(int32_t Bar, TScrollInfo& Info) {
  if (Bar != SB_HORZ && Bar != SB_VERT) return false;
  const TVclScrollBarState& S = FScrollBars[Bar];
  if (Info.fMask & SIF_RANGE) {
    Info.nMin = S.Min;
    Info.nMax = S.Max;
  }
  if (Info.fMask & SIF_PAGE) Info.nPage = S.Page;
  if (Info.fMask & SIF_POS) Info.nPos = S.Pos;
  if (Info.fMask & SIF_TRACKPOS) Info.nTrackPos = S.Tracking ? S.TrackPos : S.Pos;
  return true;
}

bool TWinControl::VclShowScrollBar(int32_t Bar, bool Show) {
  if (Bar == SB_BOTH) {
    // One size change for both bars.
    bool Changed = FScrollBars[SB_HORZ].Visible != Show || FScrollBars[SB_VERT].Visible != Show;
    FScrollBars[SB_HORZ].Visible = Show;
    FScrollBars[SB_VERT].Visible = Show;
    LayoutScrollBars();
    if (Changed) ClientSizeChanged();
    return true;
  }
  if (Bar != SB_HORZ && Bar != SB_VERT) return false;
  if (FScrollBars[Bar].Visible == Show) return true;
  FScrollBars[Bar].Visible = Show;
  LayoutScrollBars();
  ClientSizeChanged();
  return true;
}

bool TWinControl::VclEnableScrollBar(int32_t Bar, uint32_t Arrows) {
  auto Apply = [&](int32_t B) {
    FScrollBars[B].Enabled = Arrows != ESB_DISABLE_BOTH;
  };
  if (Bar == SB_BOTH) {
    Apply(SB_HORZ);
    Apply(SB_VERT);
  } else if (Bar == SB_HORZ || Bar == SB_VERT) {
    Apply(Bar);
  } else {
    return false;
  }
  LayoutScrollBars();
  return true;
}

void TWinControl::LayoutScrollBars() {
  if (!FWidget) return;
  const int32_t B = FBorderSize;
  for (int32_t Bar : {SB_HORZ, SB_VERT}) {
    TVclScrollBarState& S = FScrollBars[Bar];
    if (!S.Visible) {
      if (S.Bar) S.Bar->hide();
      continue;
    }
    if (!S.Bar) {
      S.Bar = new QScrollBar(Bar == SB_VERT ? Qt::Vertical : Qt::Horizontal, FWidget.data());
      QScrollBar* Q = S.Bar;
      QObject::connect(Q, &QAbstractSlider::actionTriggered, Q, [this, Bar](int Action) { ScrollBarAction(Bar, Action); });
      QObject::connect(Q, &QAbstractSlider::sliderReleased, Q, [this, Bar] { ScrollBarAction(Bar, -1); });
    }
    QScrollBar* Q = S.Bar;
    const bool Other = FScrollBars[Bar == SB_VERT ? SB_HORZ : SB_VERT].Visible;
    if (Bar == SB_VERT) {
      Q->setGeometry(FWidth - B - VclScrollBarSize, B, VclScrollBarSize,
                     std::max(0, FHeight - 2 * B - (Other ? VclScrollBarSize : 0)));
    } else {
      Q->setGeometry(B, FHeight - B - VclScrollBarSize, std::max(0, FWidth - 2 * B - (Other ? VclScrollBarSize : 0)),
                     VclScrollBarSize);
    }
    if (!S.Tracking) {
      const QSignalBlocker Block(Q);
      Q->setRange(S.Min, MaxThumbPos(S));
      Q->setPageStep(static_cast<int>(std::min<uint32_t>(S.Page, INT32_MAX)));
      Q->setValue(S.Pos);
    }
    Q->setEnabled(S.Enabled);
    Q->show();
    Q->raise();
  }
}

void TWinControl::ScrollBarAction(int32_t Bar, int Action) {
  TVclScrollBarState& S = FScrollBars[Bar];
  QScrollBar* Q = S.Bar;
  if (!Q) return;
  const uint32_t Msg = Bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  auto Send = [&](int32_t Code, int32_t Pos) {
    TMessage M;
    M.Msg = Msg;
    M.WParam = MAKEWPARAM(Code, Pos);
    VclDeliver(M);
  };
  if (Action == -1) {
    // The thumb was let go.
    if (!S.Tracking) return;
    int32_t Pos = S.TrackPos;
    S.Tracking = false;
    Send(SB_THUMBPOSITION, Pos);
    Send(SB_ENDSCROLL, 0);
    LayoutScrollBars();
    return;
  }
  int32_t Code = -1;
  switch (Action) {
    case QAbstractSlider::SliderSingleStepAdd: Code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: Code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: Code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: Code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: Code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: Code = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove:
      S.Tracking = true;
      S.TrackPos = Q->sliderPosition();
      Send(SB_THUMBTRACK, S.TrackPos);
      if (!Q->isSliderDown()) {
        // Moved without a drag (keyboard, or a program): ends at once.
        int32_t Pos = S.TrackPos;
        S.Tracking = false;
        Send(SB_THUMBPOSITION, Pos);
        Send(SB_ENDSCROLL, 0);
        LayoutScrollBars();
      }
      return;
    default: return;
  }
  // The thumb moves only when the program sets the position.
  Q->setSliderPosition(S.Pos);
  Send(Code, 0);
  Send(SB_ENDSCROLL, 0);
}

// ------------------------------------------------------------ front buffer
TVclFrontBuffer::TVclFrontBuffer() : FBitmap(std::make_unique<TBitmap>()) {
  FBitmap->SetPixelFormat(pf32bit);
}

TVclFrontBuffer::~TVclFrontBuffer() = default;

TCanvas* TVclFrontBuffer::Canvas() const { return FBitmap->GetCanvas(); }

bool TVclFrontBuffer::EnsureSize(int32_t W, int32_t H) {
  W = std::max(W, 0);
  H = std::max(H, 0);
  if (FBitmap->GetWidth() == W && FBitmap->GetHeight() == H && FBitmap->GetPixelFormat() == pf32bit) return false;
  if (FBitmap->GetPixelFormat() != pf32bit) FBitmap->SetPixelFormat(pf32bit);
  FBitmap->SetSize(W, H);
  Dirty = true;
  return true;
}

void TVclFrontBuffer::Fill(TColor Color) { FBitmap->GetImage().fill(VclQColor(Color)); }

namespace {
// The buffer's canvas draws between paints too: what it changes is copied to
// the screen with the next paint, without running Paint again.
void HookBuffer(TVclFrontBuffer& Buffer, TControl* Control) {
  Buffer.Bitmap()->OnChange = [Control](TGraphic*) {
    QWidget* W = Control->GetWidget();
    auto* Link = dynamic_cast<TVclWidgetLink*>(W);
    if (W && Link && !Link->InPaint) W->update();
  };
}

// Shows a client rectangle of the buffer (all of it for nullptr) as it is now.
void ShowBufferRect(TControl* Control, const TRect* R) {
  QWidget* W = Control->GetWidget();
  if (!W) return;
  if (R) {
    const TPoint O = Control->GetClientOffset();
    W->update(R->Left + O.X, R->Top + O.Y, R->Width(), R->Height());
  } else {
    W->update();
  }
}
}  // namespace

// A WM_ERASEBKGND that names a canvas (another control's, painting this one's
// background behind itself) is answered on that canvas, not on the buffer.
namespace {
void EraseInto(TCanvas* DC, const TRect& R, TColor Color) {
  TBrush* Brush = DC->GetBrush();
  const TColor SavedColor = Brush->GetColor();
  const TBrushStyle SavedStyle = Brush->GetStyle();
  Brush->SetStyle(bsSolid);
  Brush->SetColor(Color);
  DC->FillRect(R);
  Brush->SetColor(SavedColor);
  Brush->SetStyle(SavedStyle);
}
}  // namespace

// ------------------------------------------------------------ TCustomControl
TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {
  HookBuffer(FBuffer, this);
  FBuffer.EnsureSize(GetClientWidth(), GetClientHeight());
}

TCustomControl::~TCustomControl() { FBuffer.Bitmap()->OnChange = nullptr; }

TCanvas* TCustomControl::GetCanvas() const { return FBuffer.Canvas(); }
TBitmap* TCustomControl::GetFrontBuffer() const { return FBuffer.Bitmap(); }

void TCustomControl::FlushCanvas(const TRect* R) { ShowBufferRect(this, R); }

void TCustomControl::Invalidate() {
  FBuffer.Dirty = true;
  TWinControl::Invalidate();
}

void TCustomControl::Update() {
  // The buffer is brought up to date even where nothing is on a screen, so
  // code that reads pixels back sees what Paint drew.
  TVclPaintBridge::PaintBuffer(this);
  TWinControl::Update();
}

void TCustomControl::ClientSizeChanged() {
  FBuffer.EnsureSize(GetClientWidth(), GetClientHeight());
  TWinControl::ClientSizeChanged();
  Invalidate();
}

void TCustomControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      FBuffer.EnsureSize(GetClientWidth(), GetClientHeight());
      TWinControl::Dispatch(Message);
      return;
    case WM_ERASEBKGND:
      if (Message.WParam) {
        EraseInto(reinterpret_cast<TCanvas*>(Message.WParam), GetClientRect(), FColor);
      } else if (!(FControlStyle & csOpaque)) {
        FBuffer.Fill(FColor);
      }
      Message.Result = 1;
      return;
    case WM_PAINT:
      PaintWindow();
      return;
    default:
      TWinControl::Dispatch(Message);
  }
}

void TCustomControl::PaintWindow() { Paint(); }

void TCustomControl::Paint() {}

// ------------------------------------------------------------ TGraphicControl
TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {
  FControlStyle |= csOpaque;
  FColor = clBtnFace;
  AttachWidget(new TVclWidget());
  FWidget->setFocusPolicy(Qt::NoFocus);
  HookBuffer(FBuffer, this);
}

TGraphicControl::~TGraphicControl() { FBuffer.Bitmap()->OnChange = nullptr; }

TCanvas* TGraphicControl::GetCanvas() const { return FBuffer.Canvas(); }
TBitmap* TGraphicControl::GetFrontBuffer() const { return FBuffer.Bitmap(); }

void TGraphicControl::FlushCanvas(const TRect* R) { ShowBufferRect(this, R); }

void TGraphicControl::Invalidate() {
  FBuffer.Dirty = true;
  TControl::Invalidate();
}

void TGraphicControl::Update() {
  TVclPaintBridge::PaintBuffer(this);
  TControl::Update();
}

void TGraphicControl::BoundsChanged(bool Moved, bool Sized) {
  if (Sized) FBuffer.EnsureSize(FWidth, FHeight);
  TControl::BoundsChanged(Moved, Sized);
}

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    Paint();
    return;
  }
  if (Message.Msg == WM_ERASEBKGND && Message.WParam) {
    EraseInto(reinterpret_cast<TCanvas*>(Message.WParam), Rect(0, 0, FWidth, FHeight), FColor);
    Message.Result = 1;
    return;
  }
  if (Message.Msg == WM_ERASEBKGND) {
    FBuffer.Fill(FParent ? FParent->GetColor() : FColor);
    Message.Result = 1;
    return;
  }
  TControl::Dispatch(Message);
}

void TGraphicControl::Paint() {}

// ------------------------------------------------------------ painting
// The buffer of a painted control, nullptr for other controls.
TVclFrontBuffer* TVclPaintBridge::BufferOf(TControl* Control) {
  if (auto* CC = dynamic_cast<TCustomControl*>(Control)) return &CC->FBuffer;
  if (auto* GC = dynamic_cast<TGraphicControl*>(Control)) return &GC->FBuffer;
  return nullptr;
}

void TVclPaintBridge::PaintBuffer(TControl* Control) {
  TVclFrontBuffer* Buffer = BufferOf(Control);
  if (!Buffer) return;
  const TRect Client = Control->GetClientRect();
  Buffer->EnsureSize(Client.Width(), Client.Height());
  if (!Buffer->Dirty) return;
  Buffer->Dirty = false;
  QPointer<QWidget> Widget(Control->GetWidget());
  auto* Link = dynamic_cast<TVclWidgetLink*>(Widget.data());
  if (Link) Link->InPaint = true;
  TMessage Erase;
  Erase.Msg = WM_ERASEBKGND;
  Control->VclDeliver(Erase);
  TMessage PaintMsg;
  PaintMsg.Msg = WM_PAINT;
  Control->VclDeliver(PaintMsg);
  if (Widget && Link) Link->InPaint = false;
}

void TVclPaintBridge::Paint(TControl* Control, QWidget* Widget, const QRect& Region) {
  TVclFrontBuffer* Buffer = BufferOf(Control);
  auto* WC = dynamic_cast<TWinControl*>(Control);
  const int32_t B = WC ? WC->GetBorderSize() : 0;
  const TPoint Origin = Control->GetClientOffset();
  const TRect Client = Control->GetClientRect();
  auto* Link = dynamic_cast<TVclWidgetLink*>(Widget);
  QPointer<QWidget> Guard(Widget);
  PaintBuffer(Control);
  if (!Guard || !Link || Link->Control != Control) return;
  if (!Widget->isVisible()) return;
  QPainter P(Widget);
  P.setClipRect(Region);
  if (B > 0) {
    const QRect R(0, 0, Control->GetWidth(), Control->GetHeight());
    if (B >= 2) {
      P.setPen(VclQColor(clBtnShadow));
      P.drawLine(R.left(), R.top(), R.right(), R.top());
      P.drawLine(R.left(), R.top(), R.left(), R.bottom());
      P.setPen(VclQColor(clBtnHighlight));
      P.drawLine(R.left(), R.bottom(), R.right(), R.bottom());
      P.drawLine(R.right(), R.top(), R.right(), R.bottom());
      P.setPen(VclQColor(cl3DDkShadow));
      P.drawLine(R.left() + 1, R.top() + 1, R.right() - 1, R.top() + 1);
      P.drawLine(R.left() + 1, R.top() + 1, R.left() + 1, R.bottom() - 1);
      P.setPen(VclQColor(cl3DLight));
      P.drawLine(R.left() + 1, R.bottom() - 1, R.right() - 1, R.bottom() - 1);
      P.drawLine(R.right() - 1, R.top() + 1, R.right() - 1, R.bottom() - 1);
    } else {
      P.setPen(VclQColor(clWindowFrame));
      P.drawRect(R.adjusted(0, 0, -1, -1));
    }
  }
  if (Buffer) {
    P.drawImage(QPoint(Origin.X, Origin.Y), Buffer->Bitmap()->GetImage());
    VclPaintCaret(Control, P, Origin);
  } else if (!dynamic_cast<TVclWidgetLink*>(Widget) || !Link->NativePaint) {
    P.fillRect(QRect(Origin.X, Origin.Y, Client.Width(), Client.Height()), VclQColor(Control->GetColor()));
  }
  if (WC && WC->FScrollBars[SB_HORZ].Visible && WC->FScrollBars[SB_VERT].Visible) {
    P.fillRect(QRect(Control->GetWidth() - B - VclScrollBarSize, Control->GetHeight() - B - VclScrollBarSize,
                     VclScrollBarSize, VclScrollBarSize),
               VclQColor(clBtnFace));
  }
}

// ------------------------------------------------------------ form properties
const TFormPropertyTable& TControl::FormProperties() const {
  // The font and colour are stored only where the control does not take its
  // parent's.
  static const TFormPropertyTable Table =
      TFormProperties<TControl>("", nullptr)
          .Coordinate("Left", &TControl::GetLeft, &TControl::SetLeft)
          .Coordinate("Top", &TControl::GetTop, &TControl::SetTop)
          .Coordinate("Width", &TControl::GetWidth, &TControl::SetWidth)
          .Coordinate("Height", &TControl::GetHeight, &TControl::SetHeight)
          .Custom("ClientWidth", [](TControl& C, const TFormValue& V,
                                    TFormReadContext&) { C.SetClientWidth(V.AsCoordinate()); })
          .Custom("ClientHeight", [](TControl& C, const TFormValue& V,
                                     TFormReadContext&) { C.SetClientHeight(V.AsCoordinate()); })
          .Custom("Cursor", [](TControl& C, const TFormValue& V,
                               TFormReadContext&) { C.SetCursor(static_cast<TCursor>(V.AsInteger())); },
                  [](const TControl& C, TFormValue& V) {
                    V = TFormValue::OfInteger(C.GetCursor());
                    return true;
                  })
          .Enum("Align", AlignNames(), &TControl::GetAlign, &TControl::SetAlign)
          .Set("Anchors", AnchorNames(), &TControl::GetAnchors, &TControl::SetAnchors)
          .String("Caption", &TControl::GetText, &TControl::SetText)
          .Retired("Text", "Caption")
          .Bool("ParentColor", &TControl::GetParentColor, &TControl::SetParentColor)
          .Color("Color", &TControl::GetColor, &TControl::SetColor)
          .StoredWhen([](const TControl& C) { return !C.GetParentColor(); })
          .Bool("ParentFont", &TControl::GetParentFont, &TControl::SetParentFont)
          .Font("Font", [](const TControl& C) { return C.GetFont(); },
                [](const TControl& C) { return !C.GetParentFont(); })
          .Bool("Enabled", &TControl::GetEnabled, &TControl::SetEnabled)
          .String("Hint", &TControl::GetHint, &TControl::SetHint)
          .Bool("ParentShowHint", &TControl::GetParentShowHint, &TControl::SetParentShowHint)
          .Bool("ShowHint", &TControl::GetShowHint, &TControl::SetShowHint)
          .Bool("Visible", &TControl::GetVisible, &TControl::SetVisible)
          .Value<TFormInt64Kind>("Tag", &TControl::GetTag, &TControl::SetTag)
          .Reference<TPopupMenu>("PopupMenu", &TControl::GetPopupMenu, &TControl::SetPopupMenu)
          .Event("OnClick", &TControl::OnClick)
          .Event("OnContextPopup", &TControl::OnContextPopup)
          .Event("OnDblClick", &TControl::OnDblClick)
          .Event("OnMouseDown", &TControl::OnMouseDown)
          .Event("OnMouseMove", &TControl::OnMouseMove)
          .Event("OnMouseUp", &TControl::OnMouseUp)
          .Event("OnMouseWheel", &TControl::OnMouseWheel)
          .Event("OnMouseWheelDown", &TControl::OnMouseWheelDown)
          .Event("OnMouseWheelUp", &TControl::OnMouseWheelUp)
          .Event("OnResize", &TControl::OnResize)
          // Looks the platform decides for itself: read and left alone.
          .Ignored({"Constraints.MinWidth", "Constraints.MinHeight", "Constraints.MaxWidth",
                    "Constraints.MaxHeight", "DragCursor", "DragKind", "DragMode", "HelpContext", "HelpType",
                    "HelpKeyword", "BiDiMode", "ParentBiDiMode", "DockSite", "UseDockManager", "DesignSize",
                    "Explicit*"})
          .Build();
  return Table;
}
