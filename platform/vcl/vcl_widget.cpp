#include "platform/vcl/vcl_widget.h"

#include <QApplication>
#include <cstdlib>

#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/keys.h"
#include "platform/vcl/vcl_internal.h"

namespace VclBridge {
namespace {

TShiftState ModifierState(Qt::KeyboardModifiers M) {
  TShiftState S = 0;
  if (M & Qt::ShiftModifier) S |= ssShift;
  if (M & Qt::ControlModifier) S |= ssCtrl;
  if (M & Qt::AltModifier) S |= ssAlt;
  return S;
}

TShiftState ButtonState(Qt::MouseButtons B) {
  TShiftState S = 0;
  if (B & Qt::LeftButton) S |= ssLeft;
  if (B & Qt::RightButton) S |= ssRight;
  if (B & Qt::MiddleButton) S |= ssMiddle;
  return S;
}

WPARAM MouseKeys(Qt::KeyboardModifiers M, Qt::MouseButtons B) {
  return static_cast<WPARAM>(ShiftStateToKeys(ModifierState(M) | ButtonState(B)));
}

TPoint ClientPoint(TControl* C, QWidget* W, const QPointF& Local) {
  const TPoint O = C->GetClientOffset();
  return TPoint{static_cast<int32_t>(Local.x()) - O.X, static_cast<int32_t>(Local.y()) - O.Y};
}

void Send(TControl* C, uint32_t Msg, WPARAM WParam, LPARAM LParam, LRESULT* Result = nullptr) {
  TMessage M;
  M.Msg = Msg;
  M.WParam = WParam;
  M.LParam = LParam;
  C->VclDeliver(M);
  if (Result) *Result = M.Result;
}

// A mouse message with the event's keys and client position.
void SendMouse(TControl* C, QWidget* W, QMouseEvent* E, uint32_t Msg) {
  VclSetInputState(ModifierState(E->modifiers()), ButtonState(E->buttons()));
  const TPoint P = ClientPoint(C, W, E->position());
  Send(C, Msg, MouseKeys(E->modifiers(), E->buttons()), MAKELPARAM(P.X, P.Y));
}

}  // namespace

void MousePress(TVclWidgetLink* L, QWidget* W, QMouseEvent* E, bool Double) {
  TControl* C = L->Control;
  if (!C || !C->GetEnabled()) return;
  uint32_t Msg;
  switch (E->button()) {
    case Qt::LeftButton: Msg = Double ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN; break;
    case Qt::RightButton: Msg = Double ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN; break;
    case Qt::MiddleButton: Msg = Double ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN; break;
    default: return;
  }
  SendMouse(C, W, E, Msg);
  E->accept();
}

// A release reaches a control disabled since the press, so it lets go.
void MouseRelease(TVclWidgetLink* L, QWidget* W, QMouseEvent* E) {
  TControl* C = L->Control;
  if (!C) return;
  uint32_t Msg;
  switch (E->button()) {
    case Qt::LeftButton: Msg = WM_LBUTTONUP; break;
    case Qt::RightButton: Msg = WM_RBUTTONUP; break;
    case Qt::MiddleButton: Msg = WM_MBUTTONUP; break;
    default: return;
  }
  SendMouse(C, W, E, Msg);
  E->accept();
}

void MouseMove(TVclWidgetLink* L, QWidget* W, QMouseEvent* E) {
  TControl* C = L->Control;
  if (!C || !C->GetEnabled()) return;
  SendMouse(C, W, E, WM_MOUSEMOVE);
}

void Wheel(TVclWidgetLink* L, QWidget* W, QWheelEvent* E) {
  TControl* C = L->Control;
  if (!C || !C->GetEnabled()) {
    E->ignore();
    return;
  }
  VclSetInputState(ModifierState(E->modifiers()), ButtonState(E->buttons()));
  const QPoint Angle = E->angleDelta();
  const bool Horizontal = Angle.y() == 0 && Angle.x() != 0;
  int32_t& Acc = Horizontal ? L->HWheelAccumulator : L->WheelAccumulator;
  Acc += Horizontal ? Angle.x() : Angle.y();
  // Whole notches of 120 go out; the rest waits for more movement.
  const int32_t Notches = Acc / WHEEL_DELTA;
  if (Notches == 0) {
    E->accept();
    return;
  }
  const int32_t Delta = Notches * WHEEL_DELTA;
  Acc -= Delta;
  const QPointF G = E->globalPosition();
  LRESULT Result = 0;
  Send(C, Horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL,
       MAKEWPARAM(static_cast<int32_t>(MouseKeys(E->modifiers(), E->buttons())), Delta),
       MAKELPARAM(static_cast<int32_t>(G.x()), static_cast<int32_t>(G.y())), &Result);
  // Unhandled wheel movement goes on to the parent window.
  if (Result) {
    E->accept();
  } else {
    E->ignore();
  }
}

uint16_t VirtualKeyOf(int K, Qt::KeyboardModifiers Mods) {
  if (K >= Qt::Key_A && K <= Qt::Key_Z) return static_cast<uint16_t>(K);
  if (K >= Qt::Key_0 && K <= Qt::Key_9) {
    if (Mods & Qt::KeypadModifier) return static_cast<uint16_t>(VK_NUMPAD0 + (K - Qt::Key_0));
    return static_cast<uint16_t>(K);
  }
  if (K >= Qt::Key_F1 && K <= Qt::Key_F24) return static_cast<uint16_t>(VK_F1 + (K - Qt::Key_F1));
  switch (K) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Clear: return VK_CLEAR;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Select: return VK_SELECT;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_Meta: return VK_LWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Asterisk: return (Mods & Qt::KeypadModifier) ? uint16_t(VK_MULTIPLY) : uint16_t('8');
    case Qt::Key_Plus: return (Mods & Qt::KeypadModifier) ? uint16_t(VK_ADD) : uint16_t(VK_OEM_PLUS);
    case Qt::Key_Minus: return (Mods & Qt::KeypadModifier) ? uint16_t(VK_SUBTRACT) : uint16_t(VK_OEM_MINUS);
    case Qt::Key_Period: return (Mods & Qt::KeypadModifier) ? uint16_t(VK_DECIMAL) : uint16_t(VK_OEM_PERIOD);
    case Qt::Key_Slash: return (Mods & Qt::KeypadModifier) ? uint16_t(VK_DIVIDE) : uint16_t(VK_OEM_2);
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Comma:
    case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return VK_OEM_7;
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: return 0;
  }
}

bool Key(TVclWidgetLink* L, QWidget* W, QKeyEvent* E, bool Down) {
  TControl* C = L->Control;
  if (!C || !C->GetEnabled()) return false;
  bool Taken = false;
  // The modifiers after this event: a press of Shift holds Shift down.
  Qt::KeyboardModifiers Mods = E->modifiers();
  if (E->key() == Qt::Key_Shift) Mods.setFlag(Qt::ShiftModifier, Down);
  if (E->key() == Qt::Key_Control) Mods.setFlag(Qt::ControlModifier, Down);
  if (E->key() == Qt::Key_Alt) Mods.setFlag(Qt::AltModifier, Down);
  VclSetInputState(ModifierState(Mods), ButtonState(QApplication::mouseButtons()));
  const uint16_t VK = VirtualKeyOf(E->key(), E->modifiers());
  const bool Alt = (Mods & Qt::AltModifier) != 0;
  uint32_t KeyData = 1;
  if (Alt) KeyData |= KF_ALTDOWN_BIT;
  if (E->isAutoRepeat()) KeyData |= KF_REPEAT_BIT;
  if (!Down) KeyData |= KF_REPEAT_BIT | KF_UP_BIT;
  QPointer<QWidget> Guard(W);
  // Tab belongs to the form's focus navigation unless the control asks for it.
  if (VK == VK_TAB && !WantsTab(L, E)) return false;
  if (!Guard || !L->Control) return true;
  C = L->Control;
  if (VK != 0 && Down) {
    switch (VK) {
      case VK_TAB:
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN:
      case VK_RETURN:
      case VK_ESCAPE:
      case VK_CANCEL:
        // The control may claim keys that dialogs use for navigation.
        Send(C, CM_WANTSPECIALKEY, VK, static_cast<LPARAM>(KeyData));
        if (!Guard || !L->Control) return true;
        C = L->Control;
        break;
      default:
        break;
    }
  }
  if (VK != 0) {
    VclSetKeyDown(VK, Down);
    uint32_t Msg = Down ? (Alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (Alt ? WM_SYSKEYUP : WM_KEYUP);
    LRESULT R = 0;
    Send(C, Msg, VK, static_cast<LPARAM>(KeyData), &R);
    Taken = R != 0;
  }
  if (!Guard || !L->Control) return true;
  if (!Down) return Taken;
  // The characters the key typed.
  const QString Text = E->text();
  for (QChar Ch : Text) {
    if (!L->Control) return true;
    LRESULT R = 0;
    Send(L->Control, Alt ? WM_SYSCHAR : WM_CHAR, Ch.unicode(), static_cast<LPARAM>(KeyData), &R);
    Taken = Taken || R != 0;
  }
  E->accept();
  return Taken;
}

namespace {
void Broadcast(TControl* C, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  C->Perform(Msg, WParam, LParam);
  if (auto* W = dynamic_cast<TWinControl*>(C))
    for (int32_t I = 0; I < W->GetControlCount(); ++I) Broadcast(W->GetControls(I), Msg, WParam, LParam);
}
}  // namespace

void Focus(TVclWidgetLink* L, bool In) {
  TControl* C = L->Control;
  if (!C) return;
  Send(C, In ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
  if (!In || !L->Control) return;
  // Every control of the form hears which one has the focus now.
  if (TCustomForm* F = GetParentForm(C)) {
    VclDeliverCall(F, [&] { Broadcast(F, CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(C)); });
  }
}

bool WantsTab(TVclWidgetLink* L, QKeyEvent* E) {
  TControl* C = L->Control;
  if (!C || (E->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
  LRESULT Code = 0;
  Send(C, WM_GETDLGCODE, 0, 0, &Code);
  return (Code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) != 0;
}

void ShowingChanged(TVclWidgetLink* L) {
  if (TControl* C = L->Control) Send(C, CM_SHOWINGCHANGED, 0, 0);
}

void EnterLeave(TVclWidgetLink* L, bool Enter) {
  if (TControl* C = L->Control) Send(C, Enter ? CM_MOUSEENTER : CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(C));
}

void ContextMenu(TVclWidgetLink* L, QWidget* W, QContextMenuEvent* E) {
  TControl* C = L->Control;
  if (!C) return;
  LRESULT Result = 0;
  Send(C, WM_CONTEXTMENU, 0, MAKELPARAM(E->globalPos().x(), E->globalPos().y()), &Result);
  if (Result) {
    E->accept();
  } else {
    E->ignore();
  }
}

void Paint(TVclWidgetLink* L, QWidget* W, QPaintEvent* E) {
  if (TControl* C = L->Control) {
    VclDeliverCall(C, [&] { TVclPaintBridge::Paint(C, W, E->rect()); });
  }
}

void Resize(TVclWidgetLink* L, QWidget* W) {
  TControl* C = L->Control;
  if (!C || C->GetParent()) return;
  // A top-level window resized by the window system.
  if (W->width() != C->GetWidth() || W->height() != C->GetHeight()) {
    VclDeliverCall(C, [&] { C->SetBounds(C->GetLeft(), C->GetTop(), W->width(), W->height()); });
  }
}

bool Close(TVclWidgetLink* L) {
  auto* F = dynamic_cast<TCustomForm*>(L->Control);
  if (!F) return L->Control == nullptr;
  VclDeliverCall(F, [&] { F->VclCloseRequested(); });
  return false;
}

}  // namespace VclBridge
