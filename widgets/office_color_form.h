#pragma once
// The drop-down window of the office colour button: a borderless window with
// a thin bar across its top. Dragging the bar tears the window off into a
// floating tool window that stays on top. The colour form hosts an office
// colour panel.
#include <cstdint>
#include <string>

#include "widgets/control_base.h"
#include "widgets/office_color_panel.h"

class TOxOfficeDragBarForm;

class TOxOfficePanelDragBar : public TOxExCustomControl {
 public:
  explicit TOxOfficePanelDragBar(TComponent* AOwner);
  TOxOfficeDragBarForm* OwnerForm = nullptr;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseEnter(TControl* Control) override;
  void DoMouseLeave(TControl* Control) override;

 private:
  TPoint FGrab;  // the press point on the bar, in bar coordinates
};

class TOxOfficeDragBarForm : public TOxForm {
 public:
  explicit TOxOfficeDragBarForm(TComponent* AOwner);

  virtual void AdjustFormSize();
  TControl* GetClientControl() const { return FClientControl; }
  void SetClientControl(TControl* Control);
  // Index 9: bar height (at least 7); index 10: space above and below the
  // bar (at least 3).
  void SetDragBarMetric(int32_t Index, int32_t Value);
  int32_t GetDragBarHeight() const { return FDragBarHeight; }
  int32_t GetDragBarSpace() const { return FDragBarSpace; }
  bool GetDefaultBarMetrics() const { return FDefaultBarMetrics; }
  void SetDefaultBarMetrics(bool Value);
  std::string GetDragBarHint() const { return FDragBarHint; }
  void SetDragBarHint(const std::string& Value);
  bool GetFlat() const { return FFlat; }
  void SetFlat(bool Value) { FFlat = Value; }
  bool GetFloating() const { return FFloating; }
  void SetFloating(bool Value);
  bool GetShowDragBar() const { return FShowDragBar; }
  virtual void SetShowDragBar(bool Value);
  bool GetDragStarted() const { return FDragStarted; }
  bool GetMoving() const { return FMoving; }
  TOxOfficePanelDragBar* GetDragBar() const { return FDragBar; }

  TNotifyEvent OnShowingChange;
  TNotifyEvent OnFocusLost;
  TNotifyEvent OnFloatingChange;

 protected:
  void Resize() override;
  void DoVisibleChange() override;
  void DoShowingChange() override;
  void DoFocusLost(HWND NextWnd) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;

  bool FArranging = false;
  bool FConstructed = false;
  bool FDefaultBarMetrics = true;
  TControl* FClientControl = nullptr;
  TOxOfficePanelDragBar* FDragBar = nullptr;
  int32_t FDragBarSpace = 3;
  int32_t FDragBarHeight = 7;
  bool FFlat = false;
  bool FFloating = false;
  bool FShowDragBar = true;
  std::string FDragBarHint;
  bool FDragStarted = false;
  bool FMoving = false;
  bool FMouseDownOnBar = false;
  friend class TOxOfficePanelDragBar;
};

class TOxOfficeColorForm : public TOxOfficeDragBarForm {
 public:
  // The form with a new office colour panel as its client.
  explicit TOxOfficeColorForm(TComponent* AOwner);
  TOxOfficeColorPanel* GetColorPanel() const { return FPanel; }
  void SetShowDragBar(bool Value) override;

 private:
  TOxOfficeColorPanel* FPanel = nullptr;
};
