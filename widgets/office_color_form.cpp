#include "widgets/office_color_form.h"

#include "platform/vcl/keys.h"
#include "platform/vcl/messages.h"

// ------------------------------------------------------------ bar
TOxOfficePanelDragBar::TOxOfficePanelDragBar(TComponent* AOwner) : TOxExCustomControl(AOwner) {
  SetColor(clActiveCaption);
  SetShowHint(true);
}

void TOxOfficePanelDragBar::Paint() {
  TCanvas* C = GetCanvas();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(GetColor());
  C->FillRect(Rect(0, 0, GetWidth(), GetHeight()));
}

void TOxOfficePanelDragBar::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && OwnerForm) {
    OwnerForm->FMouseDownOnBar = true;
    FGrab = TPoint{X, Y};
  }
}

void TOxOfficePanelDragBar::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TOxExCustomControl::MouseMove(Shift, X, Y);
  TOxOfficeDragBarForm* F = OwnerForm;
  if (!F || !(F->FMouseDownOnBar || F->FMoving)) return;
  F->FDragStarted = true;
  // The screen point under the pointer, taken before tearing off changes
  // the window's look.
  const TPoint Screen = ClientToScreen(TPoint{X, Y});
  if (F->FMouseDownOnBar && !F->FFloating) {
    F->SetFloating(true);
    F->AdjustFormSize();
  }
  // The window follows the pointer, keeping the grabbed point under it.
  F->SetBounds(Screen.X - FGrab.X, Screen.Y - FGrab.Y, F->GetWidth(), F->GetHeight());
  F->FMoving = true;
  F->FMouseDownOnBar = false;
}

void TOxOfficePanelDragBar::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft && OwnerForm) {
    OwnerForm->FMouseDownOnBar = false;
    OwnerForm->FMoving = false;
  }
}

void TOxOfficePanelDragBar::DoMouseEnter(TControl* Control) {
  TOxExCustomControl::DoMouseEnter(Control);
  SetColor(clActiveCaption);
  SetCursor(crSizeAll);
  Invalidate();
}

void TOxOfficePanelDragBar::DoMouseLeave(TControl* Control) {
  TOxExCustomControl::DoMouseLeave(Control);
  SetColor(clInactiveCaption);
  SetCursor(crDefault);
  Invalidate();
}

// ------------------------------------------------------------ form
TOxOfficeDragBarForm::TOxOfficeDragBarForm(TComponent* AOwner) : TOxForm(AOwner) {
  SetBorderStyle(bsDialog);
  SetFormStyle(fsStayOnTop);
  SetKeyPreview(true);
  FDragBar = new TOxOfficePanelDragBar(this);
  FDragBar->OwnerForm = this;
  FDragBar->SetParent(this);
  FDragBar->SetHeight(7);
  OnDeactivate = [this](TObject*) {
    FMouseDownOnBar = false;
    FDragStarted = false;
  };
  FConstructed = true;
}

void TOxOfficeDragBarForm::KeyUp(uint16_t& Key, TShiftState Shift) {
  TOxForm::KeyUp(Key, Shift);
  if (Key == VK_ESCAPE) {
    Hide();
    SetModalResult(mrCancel);
  }
}

void TOxOfficeDragBarForm::SetClientControl(TControl* Control) {
  if (FClientControl) FClientControl->SetParent(nullptr);
  FClientControl = Control;
  if (Control) Control->SetParent(this);
  AdjustFormSize();
}

void TOxOfficeDragBarForm::SetDragBarMetric(int32_t Index, int32_t Value) {
  if (Index == 9) {
    if (Value == FDragBarHeight) return;
    FDragBarHeight = std::max(Value, 7);
  } else if (Index == 10) {
    if (Value == FDragBarSpace) return;
    FDragBarSpace = std::max(Value, 3);
  } else {
    return;
  }
  FDefaultBarMetrics = false;
  AdjustFormSize();
}

void TOxOfficeDragBarForm::SetDefaultBarMetrics(bool Value) {
  if (Value == FDefaultBarMetrics) return;
  FDefaultBarMetrics = Value;
  if (Value) {
    FDragBarHeight = 7;
    FDragBarSpace = 3;
    AdjustFormSize();
  }
}

void TOxOfficeDragBarForm::SetDragBarHint(const std::string& Value) {
  if (Value == FDragBarHint) return;
  FDragBarHint = Value;
  FDragBar->SetHint(Value);
}

void TOxOfficeDragBarForm::SetFloating(bool Value) {
  if (FShowDragBar) {
    FFloating = Value;
    SetBorderStyle(Value ? bsToolWindow : bsDialog);
    FDragBar->SetVisible(!Value);
    if (!FMoving) AdjustFormSize();
    if (OnFloatingChange) OnFloatingChange(this);
  } else {
    FFloating = false;
    SetBorderStyle(bsDialog);
    FDragBar->SetVisible(false);
  }
}

void TOxOfficeDragBarForm::SetShowDragBar(bool Value) {
  FShowDragBar = Value;
  AdjustFormSize();
}

void TOxOfficeDragBarForm::AdjustFormSize() {
  if (!FConstructed || FArranging) return;
  FArranging = true;
  const bool Bar = FShowDragBar && !FFloating;
  FDragBar->SetVisible(Bar);
  const int32_t A = Bar ? FDragBarSpace * 2 + FDragBarHeight : 0;
  if (FClientControl) {
    // The client sits one pixel below the band; the window is one pixel
    // taller than band plus client, so the client's last row shows.
    SetClientHeight(FClientControl->GetHeight() + A + 1);
    SetClientWidth(FClientControl->GetWidth());
    if (Bar) FDragBar->SetBounds(0, FDragBarSpace, GetClientWidth(), FDragBarHeight);
    FClientControl->SetBounds(0, A + 1, FClientControl->GetWidth(), FClientControl->GetHeight());
  }
  FArranging = false;
}

void TOxOfficeDragBarForm::Resize() {
  TOxForm::Resize();
  if (FConstructed) AdjustFormSize();
}

void TOxOfficeDragBarForm::DoVisibleChange() {
  TOxForm::DoVisibleChange();
  if (!GetVisible()) {
    if (FFloating) SetFloating(false);
    FMoving = false;
    FMouseDownOnBar = false;
    FDragStarted = false;
  }
}

void TOxOfficeDragBarForm::DoShowingChange() {
  TOxForm::DoShowingChange();
  if (OnShowingChange) OnShowingChange(GetActiveControl());
}

void TOxOfficeDragBarForm::DoFocusLost(HWND NextWnd) {
  TOxForm::DoFocusLost(NextWnd);
  if (!FMoving && OnFocusLost) OnFocusLost(GetActiveControl());
}

// ------------------------------------------------------------ colour form
TOxOfficeColorForm::TOxOfficeColorForm(TComponent* AOwner) : TOxOfficeDragBarForm(AOwner) {
  FPanel = new TOxOfficeColorPanel(this);
  FPanel->SetFlatBorder(true);
  FPanel->SetBorderWidth(0);
  SetClientControl(FPanel);
  FPanel->AdjustColorButtons();
  AdjustFormSize();
}

void TOxOfficeColorForm::SetShowDragBar(bool Value) {
  FShowDragBar = Value;
  if (Value) {
    if (!FDragStarted) FDragBar->SetVisible(true);
  } else if (FDragStarted) {
    SetFloating(false);
  }
  AdjustFormSize();
}
