#include "widgets/office_color_button.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/application.h"
#include "platform/vcl/messages.h"
#include "widgets/draw_helpers.h"
#include "widgets/theming.h"

TRect MonitorWorkAreaAt(TPoint P) { return Screen ? Screen->GetMonitorWorkAreaAt(P) : Rect(0, 0, 0, 0); }

// ------------------------------------------------------------ parts
void TOxColorArrowButton::SetArrowColors(TColor Enabled, TColor Disabled) {
  if (Enabled == FArrowColor && Disabled == FDisabledArrowColor) return;
  FArrowColor = Enabled;
  FDisabledArrowColor = Disabled;
  Invalidate();
}

void TOxColorArrowButton::SetArrowDirection(uint8_t Value) {
  if (Value == FArrowDirection) return;
  FArrowDirection = Value;
  Invalidate();
}

void TOxColorArrowButton::Paint() {
  TOxSpeedButton::Paint();
  TRect R = Rect(ThemesEnabled() ? 2 : 3, 0, GetWidth() - 3, GetHeight());
  DrawArrowTriangle(GetCanvas(), R, GetEnabled() ? FArrowColor : FDisabledArrowColor, 0, FArrowDirection);
}

// ------------------------------------------------------------ properties
TOxOfficeColorButtonProperties::TOxOfficeColorButtonProperties(TPersistent* AOwner)
    : TOxOfficeColorPanelProperties(AOwner) {}

void TOxOfficeColorButtonProperties::LoadDefaultTexts() {
  TOxChangeBracket Bracket(this);
  TOxOfficeColorPanelProperties::LoadDefaultTexts();
  SetDragBarHint("Drag to float");
  SetFloatWindowCaption("Color Window");
}

void TOxOfficeColorButtonProperties::Assign(TPersistent* Source) {
  TOxChangeBracket Bracket(this);
  TOxOfficeColorPanelProperties::Assign(Source);
  if (auto* S = dynamic_cast<TOxOfficeColorButtonProperties*>(Source)) {
    SetShowDragBar(S->GetShowDragBar());
    SetFloatWindowCaption(S->GetFloatWindowCaption());
    SetEdgeWidth(S->GetEdgeWidth());
    SetArrowWidth(S->GetArrowWidth());
    SetDragBarHeight(S->GetDragBarHeight());
    SetDragBarHint(S->GetDragBarHint());
    SetDragBarSpace(S->GetDragBarSpace());
  }
}

const TFormPropertyTable& TOxOfficeColorButtonProperties::FormProperties() {
  using P = TOxOfficeColorButtonProperties;
  static const TFormPropertyTable Table =
      TFormProperties<P>("", &TOxOfficeColorPanelProperties::FormProperties())
          .Coordinate("ArrowWidth", &P::GetArrowWidth, &P::SetArrowWidth)
          .Coordinate("DragBarHeight", &P::GetDragBarHeight, &P::SetDragBarHeight)
          .String("DragBarHint", &P::GetDragBarHint, &P::SetDragBarHint)
          .Coordinate("DragBarSpace", &P::GetDragBarSpace, &P::SetDragBarSpace)
          .Coordinate("EdgeWidth", &P::GetEdgeWidth, &P::SetEdgeWidth)
          .String("FloatWindowCaption", &P::GetFloatWindowCaption, &P::SetFloatWindowCaption)
          .Bool("ShowDragBar", &P::GetShowDragBar, &P::SetShowDragBar)
          .Retired("DragCaption", "FloatWindowCaption")
          .Build();
  return Table;
}

// ------------------------------------------------------------ button
TOxCustomOfficeColorButton::TOxCustomOfficeColorButton(TComponent* AOwner) : TOxCustomPanel(AOwner) {
  SetTabStop(true);
  SetControlStyle((GetControlStyle() & ~(csAcceptsControls | csSetCaption)) | csOpaque);
  SetBevelOuter(bvNone);
  FMainButton = new TOxColorMainButton(this);
  FMainButton->SetParent(this);
  FMainButton->SetDrawColor(clBlack);
  FMainButton->SetTag(43);
  FMainButton->OnClick = [this](TObject*) {
    if (OnClick) OnClick(this);
  };
  FArrowButton = new TOxColorArrowButton(this);
  FArrowButton->SetParent(this);
  FArrowButton->SetGroupIndex(2);
  FArrowButton->SetAllowAllUp(true);
  FArrowButton->SetTag(44);
  FArrowButton->OnClick = [this](TObject* S) { ArrowClick(S); };
  FColorForm = new TOxOfficeColorForm(this);
  FColorForm->SetIsFocusable(false);
  FColorForm->SetFormStyle(fsStayOnTop);
  FColorForm->SetFloating(false);
  FColorForm->OnShowingChange = [this](TObject* S) { FormShowingChange(S); };
  FColorForm->OnFloatingChange = [this](TObject* S) { FormFloatingChange(S); };
  TOxOfficeColorPanel* Panel = FColorForm->GetColorPanel();
  Panel->OnColorChange = [this](TObject* S) { PanelColorChange(S); };
  Panel->OnColorButtonClick = [this](TObject* S) { PanelButtonClick(S); };
  FProperties = new TOxOfficeColorButtonProperties(this);
  FProperties->Assign(Panel->GetProperties());
  FProperties->OnAfterPropertyChange = [this](TObject* S, const std::string& N) { PropertiesChanged(S, N); };
  FProperties->LoadDefaultTexts();
  FMainButton->SetFlat(true);
  FArrowButton->SetFlat(true);
  FInitialized = true;
  SetBounds(GetLeft(), GetTop(), 35, 22);
}

TOxCustomOfficeColorButton::~TOxCustomOfficeColorButton() {
  FProperties->OnAfterPropertyChange = nullptr;
  FColorForm->OnShowingChange = nullptr;
  FColorForm->OnFloatingChange = nullptr;
  FColorForm->GetColorPanel()->OnColorChange = nullptr;
  FColorForm->GetColorPanel()->OnColorButtonClick = nullptr;
  if (FColorForm->GetVisible()) FColorForm->Hide();
}

TColor TOxCustomOfficeColorButton::GetSelectedColor() const { return GetColorPanel()->GetSelectedColor(); }

void TOxCustomOfficeColorButton::SetSelectedColor(TColor Value) {
  if (Value != GetSelectedColor()) GetColorPanel()->SetSelectedColor(Value);
}

TColor TOxCustomOfficeColorButton::GetBackColor() const { return FArrowButton->GetColor(); }

void TOxCustomOfficeColorButton::SetBackColor(TColor Value) {
  if (Value == GetBackColor()) return;
  SetColor(Value);
  FMainButton->SetColor(Value);
  FArrowButton->SetColor(Value);
}

void TOxCustomOfficeColorButton::SetFlat(bool Value) {
  FFlat = Value;
  FMainButton->SetFlat(Value);
  FArrowButton->SetFlat(Value);
  FColorForm->SetFlat(Value);
}

void TOxCustomOfficeColorButton::SetEnabled(bool Value) {
  TOxCustomPanel::SetEnabled(Value);
  FMainButton->SetEnabled(Value);
  FArrowButton->SetEnabled(Value);
  GetColorPanel()->SetEnabled(Value);
}

void TOxCustomOfficeColorButton::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (FInitialized && !FAdjusting) {
    FAdjusting = true;
    if (FProperties->GetArrowWidth() < 13) FProperties->SetArrowWidth(13);
    FAdjusting = false;
    const int32_t AW = FProperties->GetArrowWidth();
    AWidth = std::max(AWidth, AW + 22);
    AHeight = std::max(AHeight, 22);
    TOxCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
    FMainButton->SetBounds(0, 0, AWidth - AW, AHeight);
    FArrowButton->SetBounds(AWidth - AW, 0, AW, AHeight);
    return;
  }
  TOxCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TOxCustomOfficeColorButton::AdjustColorButtons() {
  GetColorPanel()->AdjustColorButtons();
  SetBounds(GetLeft(), GetTop(), GetWidth(), GetHeight());
}

void TOxCustomOfficeColorButton::Loaded() {
  TOxCustomPanel::Loaded();
  GetColorPanel()->AdjustColorButtons();
  FColorForm->AdjustFormSize();
}

void TOxCustomOfficeColorButton::PositionForm(int32_t X, int32_t Y) {
  const TPoint Origin = (X == 0 && Y == 0) ? FMainButton->ClientToScreen(TPoint{0, 0}) : TPoint{X, Y};
  // The monitor holding the button, not the primary one, decides the room.
  const TRect Work = MonitorWorkAreaAt(Origin);
  const int32_t W = FColorForm->GetWidth(), H = FColorForm->GetHeight();
  int32_t Left = Origin.X;
  if (Left + W > Work.Right) Left = Work.Right - W;
  if (Left < Work.Left) Left = Work.Left;
  int32_t Top = Origin.Y + GetHeight();
  if (Top + H > Work.Bottom) Top = Origin.Y - H;
  if (Top < Work.Top) Top = Work.Top;
  FColorForm->SetBounds(Left, Top, W, H);
}

void TOxCustomOfficeColorButton::DropDown(int32_t X, int32_t Y) {
  PositionForm(X, Y);
  FColorForm->ShowWithoutActivating(true);
  FDroppedDown = true;
}

void TOxCustomOfficeColorButton::CloseUp() {
  if (FColorForm->GetVisible()) FColorForm->Hide();
  FDroppedDown = false;
  FArrowButton->SetDown(false);
}

void TOxCustomOfficeColorButton::ArrowClick(TObject* Sender) {
  if (CanFocus()) SetFocus();
  if (Sender == FArrowButton) {
    if (FColorForm->GetVisible() || FDroppedDown) {
      CloseUp();
    } else {
      if (OnDropDown) OnDropDown(this);
      DropDown(0, 0);
      FDroppedDown = true;
    }
  } else if (auto* B = dynamic_cast<TOxColorSpeedButton*>(Sender)) {
    B->SetDown(true);
    SetSelectedColor(B->GetDrawColor());
  }
  if (OnArrowClick) OnArrowClick(this);
}

void TOxCustomOfficeColorButton::PanelButtonClick(TObject* Sender) {
  FPickedButton = Sender;
  if (OnColorButtonClick) OnColorButtonClick(Sender);
  TOxOfficeColorPanel* Panel = GetColorPanel();
  if (Sender == Panel->GetCustomColorButton() && OnShowOwnerColorDialog) {
    Panel->OnShowOwnerColorDialog = OnShowOwnerColorDialog;
  } else {
    Panel->OnShowOwnerColorDialog = nullptr;
  }
  if (!FColorForm->GetFloating()) {
    FColorForm->Hide();
    FColorForm->SetFloating(false);
    FArrowButton->SetDown(false);
    FDroppedDown = false;
  } else if (Sender == Panel->GetCustomColorButton()) {
    FColorForm->SetFormStyle(fsNormal);
  }
}

void TOxCustomOfficeColorButton::PanelColorChange(TObject*) {
  FMainButton->SetDrawColor(GetColorPanel()->GetSelectedColor());
  if (FColorForm->GetFloating() && FColorForm->GetFormStyle() != fsStayOnTop) FColorForm->SetFormStyle(fsStayOnTop);
  if (FPickedButton == GetColorPanel()->GetCustomColorButton()) GetColorPanel()->OnShowOwnerColorDialog = nullptr;
  FPickedButton = nullptr;
  if (OnColorChange) OnColorChange(this);
}

void TOxCustomOfficeColorButton::FormShowingChange(TObject*) {
  if (FColorForm->GetVisible() || (GetComponentState() & csDesigning)) return;
  // Hidden for any reason (a pick, Escape, closing): the button is closed,
  // so the next arrow click opens the drop-down again.
  FArrowButton->SetDown(false);
  FDroppedDown = false;
  FMainButton->Perform(CM_MOUSELEAVE, 0, LPARAM(0));
  FArrowButton->Perform(CM_MOUSELEAVE, 0, LPARAM(0));
}

void TOxCustomOfficeColorButton::FormFloatingChange(TObject*) {
  if (GetComponentState() & csDesigning) return;
  if (FColorForm->GetFloating()) {
    FArrowButton->SetDown(false);
    FColorForm->SetColor(FFloatingBgColor);
    GetColorPanel()->SetBackColor(FFloatingBgColor);
  } else {
    FColorForm->SetColor(FDropingBgColor);
    GetColorPanel()->SetBackColor(FDropingBgColor);
  }
}

bool TOxCustomOfficeColorButton::InsideDropDown(TControl* C) const {
  for (; C; C = C->GetParent())
    if (C == this || C == FColorForm) return true;
  return false;
}

void TOxCustomOfficeColorButton::DoFocusLost(HWND NextWnd) {
  TOxCustomPanel::DoFocusLost(NextWnd);
  if (FColorForm->GetVisible() && !FColorForm->GetFloating()) PostMessage(GetHandle(), CM_OXDEFERREDCLOSEUP, 0, 0);
}

void TOxCustomOfficeColorButton::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_OXDEFERREDCLOSEUP) {
    TControl* Active = Screen ? Screen->GetActiveControl() : nullptr;
    if (!InsideDropDown(Active) && !FColorForm->GetFloating()) CloseUp();
    return;
  }
  if (Message.Msg == CM_CANCELMODE) {
    auto* From = reinterpret_cast<TControl*>(Message.LParam);
    if (From && !InsideDropDown(From) && !FColorForm->GetFloating()) CloseUp();
  }
  TOxCustomPanel::Dispatch(Message);
}

void TOxCustomOfficeColorButton::PropertiesChanged(TObject*, const std::string& PropName) {
  auto Is = [&](const char* N) { return SameText(PropName, N); };
  const auto& P = *FProperties;
  if (Is("ShowDragBar")) {
    if (P.GetShowDragBar() != FColorForm->GetShowDragBar()) FColorForm->SetShowDragBar(P.GetShowDragBar());
  } else if (Is("FloatWindowCaption")) {
    FColorForm->SetCaption(P.GetFloatWindowCaption());
  } else if (Is("DragBarHeight")) {
    FColorForm->SetDragBarMetric(9, P.GetDragBarHeight());
  } else if (Is("DragBarSpace")) {
    FColorForm->SetDragBarMetric(10, P.GetDragBarSpace());
  } else if (Is("DragBarHint")) {
    FColorForm->SetDragBarHint(P.GetDragBarHint());
  } else if (Is("ArrowWidth")) {
    if (!FAdjusting) SetBounds(GetLeft(), GetTop(), GetWidth(), GetHeight());
  } else if (Is("EdgeWidth")) {
    FMainButton->SetSwatchEdgeWidth(P.GetEdgeWidth());
  } else {
    GetColorPanel()->GetProperties()->Assign(FProperties);
    FColorForm->AdjustFormSize();
  }
}

const TFormPropertyTable& TOxCustomOfficeColorButton::FormProperties() const {
  using B = TOxCustomOfficeColorButton;
  static const TFormPropertyTable Table =
      TFormProperties<B>("", &TOxCustomPanel::FormProperties())
          .Color("BackColor", &B::GetBackColor, &B::SetBackColor)
          .Retired("Color", "BackColor")
          .Color("DropingBgColor", &B::FDropingBgColor, &B::FDropingBgColor)
          .Bool("Flat", &B::GetFlat, &B::SetFlat)
          .Color("FloatingBgColor", &B::FFloatingBgColor, &B::FFloatingBgColor)
          .Bitmap("Glyph.Data", [](const B& Button) { return Button.GetMainButton()->GetGlyph(); },
                  [](B& Button, TBitmap* Glyph) { Button.GetMainButton()->SetGlyph(Glyph); })
          .Custom("HotTrack",
                  [](B& Button, const TFormValue& V, TFormReadContext&) {
                    Button.GetMainButton()->SetHotTrack(V.AsBoolean());
                    Button.GetArrowButton()->SetHotTrack(V.AsBoolean());
                  },
                  [](const B& Button, TFormValue& V) {
                    V = TFormValue::OfBoolean(Button.GetMainButton()->GetHotTrack());
                    return true;
                  })
          .Nested("Properties", [](const B& Button) { return Button.GetProperties(); },
                  TOxOfficeColorButtonProperties::FormProperties())
          // Every colour is applied as read, black included.
          .Color("SelectedColor", &B::GetSelectedColor, &B::SetSelectedColor)
          .Strings("UserColors.Strings", [](const B& Button) { return Button.GetColorPanel()->GetUserColors(); },
                   [](B& Button, TStrings* Colors) { Button.GetColorPanel()->SetUserColors(Colors); })
          // The colour chooser of this platform takes no options or custom list.
          .Ignored({"ColorDialogOptions", "Options", "ColorDlgCustomColors.Strings", "CustomColors.Strings"})
          .Event("OnArrowClick", &B::OnArrowClick)
          .Event("OnColorButtonClick", &B::OnColorButtonClick)
          .Event("OnColorChange", &B::OnColorChange)
          .Event("OnDropDown", &B::OnDropDown)
          .Event("OnShowOwnerColorDialog", &B::OnShowOwnerColorDialog)
          .Build();
  return Table;
}
