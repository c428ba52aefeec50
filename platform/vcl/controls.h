#pragma once
// Controls over QWidget. Every control is a QWidget; the control keeps its
// own bounds, client area (border and window scroll bars taken off) and
// state, and the widget follows. Input from the window system becomes window
// messages (mouse and key messages with virtual-key codes, wheel notches of
// 120, focus, size, paint) that go through the control's WndProc and
// Dispatch to the usual handlers and events, so descendants can override at
// the message level as well as at the event level.
//
// A custom control (TCustomControl, TGraphicControl) paints into its own front
// buffer, an RGB32 bitmap of its client size: Invalidate marks it for a full
// repaint through Paint; code that draws on the canvas between paints asks
// for the touched rectangle to be shown (FlushCanvas) without repainting.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"
#include "platform/rtl/types.h"
#include "platform/vcl/application.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/keys.h"
#include "platform/vcl/messages.h"

class TBitmap;
class TCanvas;
class TFont;
class TWinControl;
class TCustomForm;
class TPopupMenu;
class QScrollBar;

enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TBorderStyle : uint8_t { bsNone, bsSingle };
enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// Anchors, a set of flags.
using TAnchors = uint8_t;
constexpr TAnchors akLeft = 0x1;
constexpr TAnchors akTop = 0x2;
constexpr TAnchors akRight = 0x4;
constexpr TAnchors akBottom = 0x8;

// Control style, a set of flags.
using TControlStyle = uint32_t;
constexpr TControlStyle csAcceptsControls = 0x0001;
constexpr TControlStyle csCaptureMouse = 0x0002;
constexpr TControlStyle csDesignInteractive = 0x0004;
constexpr TControlStyle csClickEvents = 0x0008;
constexpr TControlStyle csFramed = 0x0010;
constexpr TControlStyle csSetCaption = 0x0020;
constexpr TControlStyle csOpaque = 0x0040;
constexpr TControlStyle csDoubleClicks = 0x0080;
constexpr TControlStyle csFixedWidth = 0x0100;
constexpr TControlStyle csFixedHeight = 0x0200;
constexpr TControlStyle csNoDesignVisible = 0x0400;
constexpr TControlStyle csReplicatable = 0x0800;
constexpr TControlStyle csNoStdEvents = 0x1000;
constexpr TControlStyle csDisplayDragImage = 0x2000;
constexpr TControlStyle csReflector = 0x4000;
constexpr TControlStyle csActionClient = 0x8000;
constexpr TControlStyle csMenuEvents = 0x10000;
constexpr TControlStyle csNeedsBorderPaint = 0x20000;
constexpr TControlStyle csParentBackground = 0x40000;

// Controls have the look of the newer window system (client edges rather
// than plain borders).
inline bool NewStyleControls = true;

// Control state, a set of flags.
using TControlState = uint32_t;
constexpr TControlState csLButtonDown = 0x01;
constexpr TControlState csClicked = 0x02;
constexpr TControlState csPalette = 0x04;
constexpr TControlState csReadingState = 0x08;
constexpr TControlState csAlignmentNeeded = 0x10;
constexpr TControlState csFocusing = 0x20;
constexpr TControlState csCreating = 0x40;
constexpr TControlState csPaintCopy = 0x80;
constexpr TControlState csCustomPaint = 0x100;
constexpr TControlState csDestroyingHandle = 0x200;
constexpr TControlState csDocking = 0x400;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char16_t& Key)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int32_t WheelDelta, TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;

// Window creation parameters a control may adjust (CreateParams): the border
// styles decide the non-client frame (WS_BORDER one pixel, WS_EX_CLIENTEDGE
// two pixels).
struct TCreateParams {
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  struct {
    uint32_t style = 0;
  } WindowClass;
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

class TControl : public TComponent, public IFormPropertyTarget {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // -- parent and bounds
  TWinControl* GetParent() const { return FParent; }
  bool HasParent() const { return FParent != nullptr; }
  virtual void SetParent(TWinControl* AParent);
  // The form the control lies on (itself for a form), nullptr when none.
  TCustomForm* GetParentForm() const;

  int32_t GetLeft() const { return FLeft; }
  int32_t GetTop() const { return FTop; }
  int32_t GetWidth() const { return FWidth; }
  int32_t GetHeight() const { return FHeight; }
  void SetLeft(int32_t Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int32_t Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int32_t Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int32_t Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  TRect GetBoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }

  // The client area: the control less its border and window scroll bars.
  virtual TRect GetClientRect() const;
  int32_t GetClientWidth() const { return GetClientRect().Width(); }
  int32_t GetClientHeight() const { return GetClientRect().Height(); }
  void SetClientWidth(int32_t Value);
  void SetClientHeight(int32_t Value);
  // Screen position of the client area's top-left corner.
  TPoint GetClientOrigin() const;
  // Where the client area starts inside the control (its border, a menu bar).
  TPoint GetClientOffset() const { return ClientOffset(); }
  TPoint ClientToScreen(const TPoint& P) const;
  TPoint ScreenToClient(const TPoint& P) const;

  TAlign GetAlign() const { return FAlign; }
  void SetAlign(TAlign Value);
  TAnchors GetAnchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value) { FAnchors = Value; }

  // -- state
  bool GetVisible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // True when the control and all its parents are visible and the form shows.
  bool GetShowing() const;
  bool GetEnabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  std::string GetCaption() const { return GetText(); }
  void SetCaption(const std::string& Value) { SetText(Value); }
  virtual std::string GetText() const { return FText; }
  virtual void SetText(const std::string& Value);
  TColor GetColor() const { return FColor; }
  virtual void SetColor(TColor Value);
  // The control's font; changing it (or assigning another) tells the control
  // (CM_FONTCHANGED) and the children that follow their parent's font.
  TFont* GetFont() const { return FFont.get(); }
  void SetFont(TFont* Value);
  bool GetParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  bool GetParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  std::string GetHint() const { return FHint; }
  void SetHint(const std::string& Value);
  bool GetShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool GetParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value) { FParentShowHint = Value; }
  TCursor GetCursor() const { return FCursor; }
  virtual void SetCursor(TCursor Value);
  TPopupMenu* GetPopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value);
  TControlStyle GetControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }
  TControlState GetControlState() const { return FControlState; }
  void SetControlState(TControlState Value) { FControlState = Value; }
  bool GetMouseCapture() const;
  void SetMouseCapture(bool Value);
  // True when the mouse is over the control (between enter and leave).
  bool GetMouseInClient() const { return FMouseInClient; }

  // -- painting
  virtual void Invalidate();
  // Paints what is invalid now.
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // -- messages
  virtual void WndProc(TMessage& Message);
  // Sends the message straight to WndProc and answers its Result.
  LRESULT Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam);
  // The message handlers; descendants add theirs and call the inherited one
  // for messages they do not handle.
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // The widget that shows the control.
  QWidget* GetWidget() const { return FWidget.data(); }
  // The control a widget shows, nullptr when none.
  static TControl* FromWidget(const QWidget* Widget);

  // -- form resources: the class's property table.
  const TFormPropertyTable& FormProperties() const override;

  void SetName(const std::string& NewName) override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TNotifyEvent OnResize;
  TContextPopupEvent OnContextPopup;

  // The bridge from the window system calls this for every input event it
  // turns into a message; not for other callers.
  void VclDeliver(TMessage& Message);

 protected:
  // For descendants that show themselves through another kind of widget:
  // called once by the constructor chain through AttachWidget.
  void AttachWidget(QWidget* Widget);
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
  virtual void DoContextPopup(TPoint MousePos, bool& Handled);
  virtual void Resize();
  // The offset of the client area inside the widget (the border).
  virtual TPoint ClientOffset() const { return TPoint{0, 0}; }
  // Places the widget after a change of bounds or parent.
  virtual void UpdateWidgetGeometry();
  // Called after the bounds changed (sends WM_SIZE/WM_MOVE, realigns).
  virtual void BoundsChanged(bool Moved, bool Sized);
  void ApplyCursor();

  // Message handlers of the base.
  void HandleMouseMessage(TMessage& Message);
  void HandleWheelMessage(TMessage& Message);

  QPointer<QWidget> FWidget;
  TWinControl* FParent = nullptr;
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  TAnchors FAnchors = akLeft | akTop;
  bool FVisible = true;
  bool FEnabled = true;
  std::string FText;
  TColor FColor = clWindow;
  bool FParentColor = false;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TCursor FCursor = crDefault;
  TPopupMenu* FPopupMenu = nullptr;
  TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  TControlState FControlState = 0;
  bool FMouseInClient = false;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  bool FFontFromParent = false;

  void FontChanged();

  friend class TWinControl;
  friend class TCustomForm;
};

// One window scroll bar of a windowed control.
struct TVclScrollBarState {
  int32_t Min = 0;
  int32_t Max = 100;
  uint32_t Page = 0;
  int32_t Pos = 0;
  int32_t TrackPos = 0;
  bool Visible = false;
  bool Enabled = true;
  bool Tracking = false;
  QScrollBar* Bar = nullptr;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window handle; created on first request. A control that is not on
  // a parent window cannot have one: EInvalidOperation "Control '%s' has no
  // parent window".
  HWND GetHandle();
  bool HandleAllocated() const { return FHandle != 0; }
  void HandleNeeded() { GetHandle(); }
  // Re-reads CreateParams (border and styles) keeping the handle.
  void RecreateWnd();
  // A window that is not a control's child: the control then has a window
  // without a parent control.
  void SetParentWindow(HWND Value);
  HWND GetParentWindow() const { return FParentWindow; }

  int32_t GetControlCount() const { return static_cast<int32_t>(FControls.size()); }
  TControl* GetControls(int32_t Index) const;
  bool ContainsControl(TControl* Control) const;
  TControl* FindChildControl(const std::string& ControlName) const;
  void InsertControl(TControl* Control);
  void RemoveControl(TControl* Control);
  // Places the children that have an Align.
  void Realign();
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();

  bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();
  bool GetTabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  int32_t GetTabOrder() const { return FTabOrder; }
  void SetTabOrder(int32_t Value) { FTabOrder = Value; }
  bool GetCtl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value);
  bool GetParentCtl3D() const { return FParentCtl3D; }
  void SetParentCtl3D(bool Value) { FParentCtl3D = Value; }
  bool GetDoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }

  TRect GetClientRect() const override;
  // The window scroll bar's state (SB_HORZ or SB_VERT).
  TVclScrollBarState& ScrollBarState(int32_t Bar);
  // The border width on each side, from CreateParams.
  int32_t GetBorderSize() const { return FBorderSize; }

  // Window timers of this control (see SetTimer).
  void StartWindowTimer(uintptr_t IDEvent, uint32_t Elapse);
  bool StopWindowTimer(uintptr_t IDEvent);

  void Dispatch(TMessage& Message) override;
  const TFormPropertyTable& FormProperties() const override;
  void Loaded() override;

  // Scroll bar calls behind the window functions of messages.h.
  int32_t VclSetScrollInfo(int32_t Bar, const TScrollInfo& Info);
  bool VclGetScrollInfo(int32_t Bar, TScrollInfo& Info);
  bool VclShowScrollBar(int32_t Bar, bool Show);
  bool VclEnableScrollBar(int32_t Bar, uint32_t Arrows);

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;

 protected:
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char16_t& Key);
  virtual void DoEnter();
  virtual void DoExit();
  TPoint ClientOffset() const override;
  void BoundsChanged(bool Moved, bool Sized) override;
  // The client size changed without the bounds changing (a scroll bar came
  // or went, the border changed): resizes buffers, realigns, sends WM_SIZE.
  virtual void ClientSizeChanged();
  void LayoutScrollBars();
  // Handles a user action on a window scroll bar as the system would.
  void ScrollBarAction(int32_t Bar, int action);

  // A shortcut of a popup menu on the way up, or of the form's menu.
  bool IsMenuKey(uint16_t Key, TShiftState Shift);
  // A key message (down, up or character) through the menus' shortcuts, the
  // form's key preview and the control's handlers; true when one took it.
  bool DoKey(TMessage& Message);

  HWND FHandle = 0;
  HWND FParentWindow = 0;
  std::vector<TControl*> FControls;
  bool FTabStop = false;
  int32_t FTabOrder = -1;
  bool FCtl3D = true;
  bool FParentCtl3D = true;
  bool FDoubleBuffered = false;
  int32_t FAlignLevel = 0;
  bool FAligning = false;
  // The client size the anchored children were last placed for (-1: none yet).
  TSize FAnchorClient{-1, -1};
  void ApplyAnchors();
  int32_t FBorderSize = 0;
  uint32_t FWindowStyle = 0;
  uint32_t FWindowExStyle = 0;
  TVclScrollBarState FScrollBars[2];
  std::map<uintptr_t, std::unique_ptr<class QTimer>> FTimers;

  friend class TControl;
  friend class TCustomForm;
  friend class TVclPaintBridge;
};

// Shared by the two painted control kinds: the front buffer and its canvas.
class TVclFrontBuffer {
 public:
  TVclFrontBuffer();
  ~TVclFrontBuffer();
  TBitmap* Bitmap() const { return FBitmap.get(); }
  TCanvas* Canvas() const;
  // Sizes the buffer (pf32bit) to W x H; answers true when it changed.
  bool EnsureSize(int32_t W, int32_t H);
  // Paints all of the buffer in one colour (the background).
  void Fill(TColor Color);
  bool Dirty = true;

 private:
  std::unique_ptr<TBitmap> FBitmap;
};

class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;

  // The canvas of the front buffer.
  TCanvas* GetCanvas() const;
  // The front buffer itself (pf32bit, client size).
  TBitmap* GetFrontBuffer() const;
  // Shows the given client rectangle of the front buffer as it is now (after
  // drawing on the canvas outside Paint); nullptr shows all of it.
  void FlushCanvas(const TRect* Rect = nullptr);
  void Invalidate() override;
  // Runs Paint now when the buffer is invalid, then shows it.
  void Update() override;

  void Dispatch(TMessage& Message) override;

 protected:
  // Draws the control into the canvas; called when the buffer is invalid.
  virtual void Paint();
  virtual void PaintWindow();
  void ClientSizeChanged() override;

 private:
  TVclFrontBuffer FBuffer;
  friend class TVclPaintBridge;
};

// A control without a window of its own in the original model: it cannot
// hold children nor take the focus, but it paints itself like a custom
// control.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;

  TCanvas* GetCanvas() const;
  TBitmap* GetFrontBuffer() const;
  void FlushCanvas(const TRect* Rect = nullptr);
  void Invalidate() override;
  void Update() override;
  void Dispatch(TMessage& Message) override;

 protected:
  virtual void Paint();
  void BoundsChanged(bool Moved, bool Sized) override;

 private:
  TVclFrontBuffer FBuffer;
  friend class TVclPaintBridge;
};

// Colour to a Qt colour, resolving system colours.
QColor VclQColor(TColor Color);
// The Qt font of a TFont (face, pixel height, styles).
QFont VclQFont(const TFont* Font);
// Paints the front buffer of a control on its widget (border, buffer,
// scroll-bar corner), repainting it first when it is invalid. For widgets.
class TVclPaintBridge {
 public:
  static void Paint(TControl* Control, QWidget* Widget, const QRect& Region);
  // Runs the control's Paint into its front buffer when the buffer is invalid.
  static void PaintBuffer(TControl* Control);
  static TVclFrontBuffer* BufferOf(TControl* Control);
};
