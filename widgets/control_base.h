#pragma once
// The base of every control of the widget library. Each control derives from
// a thin wrapper over one control class of the platform (TOxExCustomControl
// over TCustomControl, TOxExGraphicControl over TGraphicControl ...). The
// wrapper keeps the behaviour of its platform class and adds:
// - the platform's component notifications (CM_ messages) as overridable
//   operations (DoEnabledChange, DoMouseEnter ...) whose default passes the
//   message on to the platform class unchanged, so a descendant overrides a
//   method instead of writing a message handler;
// - mouse enter and leave events with a pointer-inside flag;
// - a per-control hint colour;
// - on windowed members, an optional two-pixel focus and hover frame.
// A descendant that still wants a message handler overrides Dispatch: the
// default operations reach it through the platform class's WndProc.
//
// The file also holds the non-visual bases (TOxComponent, TOxPersistent and
// the change-reporting option object TOxPersistentProperty), the form bases
// TOxExForm and TOxForm, TStructPtrMessage and the library's exception.
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/gdi/canvas.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/components.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/application.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/keys.h"
#include "platform/vcl/messages.h"

// The library's exception and the base of its data exceptions.
class EOXCLException : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EOXCLException"; }
};

// Notifications the platform layer does not number itself.
enum : uint32_t {
  CM_BORDERCHANGED = CM_BASE + 59,
  // Asks whether a control is an arranging panel (answer 1); nothing sends it.
  CM_OXMARKERQUERY = 0xB7D0,
};

// Design-time about information; no behaviour.
enum TOXCLAboutInfo : uint8_t { OXCLAbout };

// What a control wants of the dialog keys, a set of flags.
using TDialogKeyCodes = uint8_t;
constexpr TDialogKeyCodes dkWantAllKeys = 1 << 0;
constexpr TDialogKeyCodes dkWantArrows = 1 << 1;
constexpr TDialogKeyCodes dkWantChars = 1 << 2;
constexpr TDialogKeyCodes dkButton = 1 << 3;
constexpr TDialogKeyCodes dkHasSetSel = 1 << 4;
constexpr TDialogKeyCodes dkWantTab = 1 << 5;
// Keep the platform's own answer.
constexpr TDialogKeyCodes dkNative = 1 << 6;

// The six platform dialog bits to the set (other bits are dropped) and back
// (dkNative contributes nothing).
TDialogKeyCodes DialogCodesFromDlgc(uint32_t Dlgc);
uint32_t DlgcFromDialogCodes(TDialogKeyCodes Codes);
// Shift 0x08000000, Ctrl 0x10000000, Alt 0x20000000, or-ed: key data as the
// dialog-character message carries it.
int32_t ShiftToKeyFlags(TShiftState Shift);

// What a hint is about to show; CM_HINTSHOW carries its address as LParam.
struct THintInfo {
  TControl* HintControl = nullptr;
  TColor HintColor = clInfoBk;
  std::string HintStr;
  TPoint CursorPos;
  TRect CursorRect;
  int32_t HintMaxWidth = 0;
  int32_t ReshowTimeout = 0;
  int32_t HideTimeout = 0;
  // The hint window class by name; empty for the application's.
  std::string HintWindowClass;
};

// clNone takes the application's hint colour; clDefault asks the parent (a
// copy of HintInfo goes to it as CM_HINTSHOW and its colour is taken; without
// parent HintInfo stays); any other colour is used as it is.
void ResolveHintColor(THintInfo& HintInfo, TControl* Control, TColor Color);

// A message whose LParam points at a record of the caller.
class TStructPtrMessage : public TObject {
 public:
  TStructPtrMessage(uint32_t Msg, WPARAM WParam, void* Record);
  TMessage Message;
};

// The two-pixel highlight frame: Rect framed in the focused colour when Hot,
// else in gray with the inner ring in Color.
constexpr TColor HighlightFocusedColor = static_cast<TColor>(0x00733800);
constexpr TColor HighlightUnfocusedColor = static_cast<TColor>(0x00808080);
void DrawHighlightFrame(TCanvas* DC, TRect Rect, TColor Color, bool Hot);

// ------------------------------------------------------------ the wrapper
// One wrapper for every platform class; TBase is the platform class.
// Windowed members (TBase derives from TWinControl) get the whole set of
// notifications and the highlight frame; the graphic member the subset its
// platform class can receive.
template <class TBase>
class TOxExControl : public TBase {
 public:
  static constexpr bool Windowed = std::is_base_of_v<TWinControl, TBase>;

  explicit TOxExControl(TComponent* AOwner) : TBase(AOwner) { FHintColor = clDefault; }

  TOXCLAboutInfo GetAboutOXCL() const { return OXCLAbout; }
  void SetAboutOXCL(TOXCLAboutInfo) {}
  TColor GetHintColor() const { return FHintColor; }
  void SetHintColor(TColor Value) { FHintColor = Value; }
  // True between a mouse-enter and the next mouse-leave notification.
  bool GetPointerInside() const { return FPointerInside; }
  // Replaces the hint window class of every hint this control shows (empty:
  // keep the hint system's).
  std::string HintWindowClassOverride;
  bool GetDotNetHighlighting() const { return FDotNetHighlighting; }
  void SetDotNetHighlighting(bool Value) {
    if (Value == FDotNetHighlighting) return;
    FDotNetHighlighting = Value;
    this->Invalidate();
  }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnParentColorChange;

  void WndProc(TMessage& Message) override;

  const TFormPropertyTable& FormProperties() const override {
    // The about marker and how a drag starts (the platform drags no
    // controls) are read and left alone.
    static const TFormPropertyTable Table = [this] {
      TFormProperties<TOxExControl> P("", &this->TBase::FormProperties());
      P.Color("HintColor", &TOxExControl::GetHintColor, &TOxExControl::SetHintColor);
      if constexpr (Windowed)
        P.Bool("DotNetHighlighting", &TOxExControl::GetDotNetHighlighting, &TOxExControl::SetDotNetHighlighting);
      P.Ignored({"AboutOXCL", "DragKind"})
          .Event("OnMouseEnter", &TOxExControl::OnMouseEnter)
          .Event("OnMouseLeave", &TOxExControl::OnMouseLeave)
          .Event("OnParentColorChange", &TOxExControl::OnParentColorChange);
      return P.Build();
    }();
    return Table;
  }

  // Passes a message to the platform class's window procedure (the one this
  // wrapper replaces) and answers its Result.
  LRESULT InheritedMessage(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
    TMessage M;
    M.Msg = Msg;
    M.WParam = WParam;
    M.LParam = LParam;
    TBase::WndProc(M);
    return M.Result;
  }
  LRESULT InheritedMessage(uint32_t Msg, WPARAM WParam, TControl* Control) {
    return InheritedMessage(Msg, WParam, reinterpret_cast<LPARAM>(Control));
  }
  // The same with the address of the caller's record as LParam.
  template <typename TRecord>
  LRESULT InheritedStructMessage(uint32_t Msg, WPARAM WParam, TRecord& Record) {
    TStructPtrMessage M(Msg, WParam, &Record);
    TBase::WndProc(M.Message);
    return M.Message.Result;
  }

 protected:
  // -- the operations, each defaulting to the platform's handling
  virtual void DoTextChange() { InheritedMessage(CM_TEXTCHANGED, 0, LPARAM(0)); }
  virtual bool AcceptsKey(int32_t Key, TShiftState Shift, const std::u16string& KeyText) {
    return InheritedMessage(CM_DIALOGCHAR, Key & 0xFFFF, LPARAM(ShiftToKeyFlags(Shift))) != 0;
  }
  virtual bool IsHit(int32_t X, int32_t Y) { return InheritedMessage(CM_HITTEST, 0, MAKELPARAM(X, Y)) != 0; }
  virtual void DoBoundsChange() {}
  virtual void AdjustDialogCodes(TDialogKeyCodes& Codes) {}
  virtual void DoFocusReceived(HWND PreviousWnd) {
    InheritedMessage(WM_SETFOCUS, static_cast<WPARAM>(PreviousWnd), LPARAM(0));
  }
  virtual void DoFocusLost(HWND NextWnd) { InheritedMessage(WM_KILLFOCUS, static_cast<WPARAM>(NextWnd), LPARAM(0)); }
  virtual bool DoBackgroundErase(TCanvas* Canvas, LPARAM Param) {
    return InheritedMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(Canvas), Param) != 0;
  }
  virtual void DoFocusChange(TControl* Control) { InheritedMessage(CM_FOCUSCHANGED, 0, Control); }
  virtual void DoVisibleChange() { InheritedMessage(CM_VISIBLECHANGED, 0, LPARAM(0)); }
  virtual void DoEnabledChange() { InheritedMessage(CM_ENABLEDCHANGED, 0, LPARAM(0)); }
  virtual void DoControlColorChange() { InheritedMessage(CM_COLORCHANGED, 0, LPARAM(0)); }
  virtual void DoFontChange() { InheritedMessage(CM_FONTCHANGED, 0, LPARAM(0)); }
  virtual void DoParentFontChange() { InheritedMessage(CM_PARENTFONTCHANGED, 0, LPARAM(0)); }
  virtual void DoParentColorChange() {
    InheritedMessage(CM_PARENTCOLORCHANGED, 0, LPARAM(0));
    if (OnParentColorChange) OnParentColorChange(this);
  }
  virtual void DoParentShowHintChange() { InheritedMessage(CM_PARENTSHOWHINTCHANGED, 0, LPARAM(0)); }
  virtual bool DoHintShow(THintInfo& HintInfo) {
    ResolveHintColor(HintInfo, this, FHintColor);
    if (!HintWindowClassOverride.empty()) HintInfo.HintWindowClass = HintWindowClassOverride;
    return InheritedStructMessage(CM_HINTSHOW, 0, HintInfo) != 0;
  }
  // The user's handler sees the enter before the platform does, and the
  // leave after it.
  virtual void DoMouseEnter(TControl* Control) {
    FPointerInside = true;
    if (OnMouseEnter) OnMouseEnter(this);
    InheritedMessage(CM_MOUSEENTER, 0, Control);
  }
  virtual void DoMouseLeave(TControl* Control) {
    FPointerInside = false;
    InheritedMessage(CM_MOUSELEAVE, 0, Control);
    if (OnMouseLeave) OnMouseLeave(this);
  }
  virtual void DoCursorChange() { InheritedMessage(CM_CURSORCHANGED, 0, LPARAM(0)); }
  virtual void DoShowingChange() { InheritedMessage(CM_SHOWINGCHANGED, 0, LPARAM(0)); }
  virtual void DoShowHintChange() { InheritedMessage(CM_SHOWHINTCHANGED, 0, LPARAM(0)); }
  // The platform sends the list-change message before an insertion and after
  // a removal, the control-change message after an insertion and before a
  // removal.
  virtual void DoControlsChanging(TControl* Control, bool Inserting) {
    InheritedMessage(Inserting ? CM_CONTROLLISTCHANGE : CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(Control),
                     LPARAM(Inserting ? 1 : 0));
  }
  virtual void DoControlsChanged(TControl* Control, bool Inserting) {
    InheritedMessage(Inserting ? CM_CONTROLCHANGE : CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(Control),
                     LPARAM(Inserting ? 1 : 0));
  }
  // Answers whether the class is an arranging panel (CM_OXMARKERQUERY).
  virtual bool IsArrangeMarker() const { return false; }

  // Draws the highlight frame on the control's front buffer.
  void PaintHighlightFrame();

  TColor FHintColor = clDefault;
  bool FPointerInside = false;
  bool FDotNetHighlighting = false;

 private:
  void HandleHighlightMessage(uint32_t Msg);
};

template <class TBase>
void TOxExControl<TBase>::WndProc(TMessage& Message) {
  auto Ctl = [](LPARAM L) { return reinterpret_cast<TControl*>(L); };
  const uint32_t Msg = Message.Msg;
  bool Handled = true;
  switch (Msg) {
    // Rows both kinds receive.
    case CM_DIALOGCHAR: {
      const char16_t Ch = static_cast<char16_t>(Message.WParam);
      Message.Result = AcceptsKey(static_cast<int32_t>(Message.WParam), KeyDataToShiftState(Message.LParam),
                                  std::u16string(1, Ch))
                           ? 1
                           : 0;
      break;
    }
    case CM_FOCUSCHANGED: DoFocusChange(Ctl(Message.LParam)); break;
    case CM_PARENTFONTCHANGED: DoParentFontChange(); break;
    case CM_PARENTCOLORCHANGED: DoParentColorChange(); break;
    case CM_HITTEST:
      Message.Result = IsHit(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)) ? 1 : 0;
      break;
    case CM_VISIBLECHANGED: DoVisibleChange(); break;
    case CM_ENABLEDCHANGED: DoEnabledChange(); break;
    case CM_COLORCHANGED: DoControlColorChange(); break;
    case CM_FONTCHANGED: DoFontChange(); break;
    case CM_TEXTCHANGED: DoTextChange(); break;
    case CM_MOUSEENTER: DoMouseEnter(Ctl(Message.LParam)); break;
    case CM_MOUSELEAVE: DoMouseLeave(Ctl(Message.LParam)); break;
    case CM_PARENTSHOWHINTCHANGED: DoParentShowHintChange(); break;
    case CM_HINTSHOW:
      Message.Result = Message.LParam && DoHintShow(*reinterpret_cast<THintInfo*>(Message.LParam)) ? 1 : 0;
      break;
    case CM_OXMARKERQUERY: Message.Result = IsArrangeMarker() ? 1 : 0; break;
    default: Handled = false;
  }
  if (!Handled && Windowed) {
    Handled = true;
    switch (Msg) {
      case WM_MOVE:
      case WM_SIZE:
        TBase::WndProc(Message);
        DoBoundsChange();
        break;
      case WM_SETFOCUS: DoFocusReceived(static_cast<HWND>(Message.WParam)); break;
      case WM_KILLFOCUS: DoFocusLost(static_cast<HWND>(Message.WParam)); break;
      case WM_ERASEBKGND:
        if (Message.WParam == 0) {
          TBase::WndProc(Message);
        } else {
          // The device context is a canvas; its state is the same afterwards.
          auto* DC = reinterpret_cast<TCanvas*>(Message.WParam);
          const int32_t Saved = SaveDC(DC);
          try {
            Message.Result = DoBackgroundErase(DC, Message.LParam) ? 1 : 0;
          } catch (...) {
            RestoreDC(DC, Saved);
            throw;
          }
          RestoreDC(DC, Saved);
        }
        break;
      case WM_GETDLGCODE: {
        TBase::WndProc(Message);
        TDialogKeyCodes Codes = DialogCodesFromDlgc(static_cast<uint32_t>(Message.Result)) | dkNative;
        AdjustDialogCodes(Codes);
        if (!(Codes & dkNative)) Message.Result = DlgcFromDialogCodes(Codes);
        break;
      }
      case WM_PRINT:
      case WM_PRINTCLIENT: {
        auto* DC = reinterpret_cast<TCanvas*>(Message.WParam);
        const int32_t Saved = DC ? SaveDC(DC) : 0;
        try {
          TBase::WndProc(Message);
        } catch (...) {
          if (DC) RestoreDC(DC, Saved);
          throw;
        }
        if (DC) RestoreDC(DC, Saved);
        break;
      }
      case CM_CURSORCHANGED: DoCursorChange(); break;
      case CM_SHOWINGCHANGED: DoShowingChange(); break;
      case CM_SHOWHINTCHANGED: DoShowHintChange(); break;
      case CM_CONTROLLISTCHANGE:
        if (Message.LParam != 0) {
          DoControlsChanging(reinterpret_cast<TControl*>(Message.WParam), true);
        } else {
          DoControlsChanged(reinterpret_cast<TControl*>(Message.WParam), false);
        }
        break;
      case CM_CONTROLCHANGE:
        if (Message.LParam == 0) {
          DoControlsChanging(reinterpret_cast<TControl*>(Message.WParam), false);
        } else {
          DoControlsChanged(reinterpret_cast<TControl*>(Message.WParam), true);
        }
        break;
      default: Handled = false;
    }
  }
  if (!Handled) TBase::WndProc(Message);
  // The frame lives outside the painted face: it is drawn again after every
  // paint (where the platform would paint the non-client area) and whenever
  // focus or pointer change.
  if constexpr (Windowed) {
    if (FDotNetHighlighting && !(this->GetComponentState() & csDesigning) &&
        (Msg == WM_SETFOCUS || Msg == WM_KILLFOCUS || Msg == WM_PAINT || Msg == WM_NCPAINT ||
         Msg == CM_MOUSEENTER || Msg == CM_MOUSELEAVE))
      HandleHighlightMessage(Msg);
  }
}

template <class TBase>
void TOxExControl<TBase>::PaintHighlightFrame() {
  TVclFrontBuffer* Buffer = TVclPaintBridge::BufferOf(this);
  if (!Buffer) return;
  bool Hot = FPointerInside;
  if constexpr (Windowed) Hot = Hot || this->Focused();
  DrawHighlightFrame(Buffer->Canvas(), Rect(0, 0, this->GetWidth(), this->GetHeight()), this->GetColor(), Hot);
}

template <class TBase>
void TOxExControl<TBase>::HandleHighlightMessage(uint32_t Msg) {
  PaintHighlightFrame();
  if constexpr (std::is_base_of_v<TCustomControl, TBase>) {
    if (Msg != WM_PAINT) this->FlushCanvas(nullptr);
  }
}

// The members of the family.
using TOxExWinControl = TOxExControl<TWinControl>;
using TOxExCustomControl = TOxExControl<TCustomControl>;
using TOxExCustomPanel = TOxExControl<TCustomPanel>;
using TOxExGraphicControl = TOxExControl<TGraphicControl>;

// ------------------------------------------------------------ forms
// A form with keyboard cues: showing it resets them, Tab, arrows and Alt
// make focus and accelerators visible.
class TOxExForm : public TOxExControl<TForm> {
 public:
  explicit TOxExForm(TComponent* AOwner) : TOxExControl<TForm>(AOwner) {}
  // A form without a resource.
  static TOxExForm* CreateNew(TComponent* AOwner) { return new TOxExForm(AOwner); }

 protected:
  void DoShowingChange() override;
  void Dispatch(TMessage& Message) override;
};

// The floating forms' base: a form that may refuse to take the focus.
class TOxForm : public TOxExForm {
 public:
  explicit TOxForm(TComponent* AOwner);
  bool GetIsFocusable() const { return FIsFocusable; }
  void SetIsFocusable(bool Value);
  // Shows the form on top without activating it; with CallActivate its
  // activation handling (OnActivate) runs first.
  void ShowWithoutActivating(bool CallActivate);
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void Dispatch(TMessage& Message) override;

 private:
  bool FIsFocusable = true;
};

// ------------------------------------------------------------ non-visual bases
// A non-visual component of the library.
class TOxComponent : public TComponent {
 public:
  using TComponent::TComponent;
  TOXCLAboutInfo GetAboutOXCL() const { return OXCLAbout; }
};

// A sub-object that belongs to another object (an option object of a control).
class TOxPersistent : public TComponent {
 public:
  // Owned as a component when AOwner is one; marks itself a sub-component.
  explicit TOxPersistent(TPersistent* AOwner);
  TPersistent* GetPersistentOwner() const { return FPersistentOwner; }
  // The owner's name path + "." + own path when the owner has a path.
  std::string GetNamePath() const override;

 protected:
  TPersistent* FPersistentOwner = nullptr;
};

using TPropertyChangeEvent = std::function<void(TObject* Sender, const std::string& PropName)>;

// An option object that reports its changes. Every setter of a descendant
// follows one sequence (ChangeProperty): nothing when the value is the
// stored one; else before-change, before-property-change (name), store,
// after-property-change (name), after-change. BeginChanges/EndChanges
// bracket several changes so the owner hears one before and one after.
class TOxPersistentProperty : public TOxPersistent {
 public:
  using TOxPersistent::TOxPersistent;
  int32_t GetChangeDepth() const { return FChangeDepth; }
  virtual void BeginChanges();
  virtual void EndChanges();

  TNotifyEvent OnBeforeChange;
  TNotifyEvent OnAfterChange;
  TPropertyChangeEvent OnBeforePropertyChange;
  TPropertyChangeEvent OnAfterPropertyChange;

 protected:
  virtual void DoAfterChange();
  virtual void DoBeforeChange();
  virtual void DoAfterPropertyChange(const std::string& PropName);
  virtual void DoBeforePropertyChange(const std::string& PropName);
  virtual void SetChanging(bool Starting);

  // The setter sequence for one property.
  template <typename T>
  void ChangeProperty(T& Field, const T& Value, const std::string& PropName) {
    if (Field == Value) return;
    DoBeforeChange();
    DoBeforePropertyChange(PropName);
    Field = Value;
    DoAfterPropertyChange(PropName);
    DoAfterChange();
  }

  int32_t FChangeDepth = 0;
};

// Runs EndChanges when it goes out of scope, also when an exception passes.
class TOxChangeBracket {
 public:
  explicit TOxChangeBracket(TOxPersistentProperty* P) : FP(P) { FP->BeginChanges(); }
  ~TOxChangeBracket() { FP->EndChanges(); }
  TOxChangeBracket(const TOxChangeBracket&) = delete;
  TOxChangeBracket& operator=(const TOxChangeBracket&) = delete;

 private:
  TOxPersistentProperty* FP;
};
