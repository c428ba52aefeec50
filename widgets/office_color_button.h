#pragma once
// The office colour button: a split button whose left part shows the chosen
// colour (and raises OnClick) and whose right part drops an office colour
// panel down in a window that can be torn off.
#include <cstdint>
#include <memory>
#include <string>

#include "widgets/color_swatch.h"
#include "widgets/office_color_form.h"
#include "widgets/panels.h"

class TOxColorMainButton : public TOxColorSpeedButton {
 public:
  using TOxColorSpeedButton::TOxColorSpeedButton;
  int32_t GetSwatchEdge() const override { return GetSwatchEdgeWidth(); }
};

class TOxColorArrowButton : public TOxSpeedButton {
 public:
  explicit TOxColorArrowButton(TComponent* AOwner) : TOxSpeedButton(AOwner) {}
  TColor GetArrowColor() const { return FArrowColor; }
  TColor GetDisabledArrowColor() const { return FDisabledArrowColor; }
  void SetArrowColors(TColor Enabled, TColor Disabled);
  uint8_t GetArrowDirection() const { return FArrowDirection; }
  void SetArrowDirection(uint8_t Value);

 protected:
  void Paint() override;

 private:
  TColor FArrowColor = clBlack;
  TColor FDisabledArrowColor = clBtnShadow;
  uint8_t FArrowDirection = 3;
};

class TOxOfficeColorButtonProperties : public TOxOfficeColorPanelProperties {
 public:
  explicit TOxOfficeColorButtonProperties(TPersistent* AOwner);
#define OX_BUTTON_PROP(Type, Name, Default)                             \
 public:                                                                \
  Type Get##Name() const { return F##Name; }                            \
  void Set##Name(Type Value) { ChangeProperty(F##Name, Value, #Name); } \
                                                                        \
 private:                                                               \
  Type F##Name = Default;
  OX_BUTTON_PROP(bool, ShowDragBar, true)
  OX_BUTTON_PROP(std::string, FloatWindowCaption, "")
  OX_BUTTON_PROP(int32_t, EdgeWidth, 4)
  OX_BUTTON_PROP(int32_t, ArrowWidth, 13)
  OX_BUTTON_PROP(int32_t, DragBarHeight, 7)
  OX_BUTTON_PROP(int32_t, DragBarSpace, 3)
  OX_BUTTON_PROP(std::string, DragBarHint, "Drag to floating")
#undef OX_BUTTON_PROP
 public:
  void LoadDefaultTexts() override;
  void Assign(TPersistent* Source) override;
  static const TFormPropertyTable& FormProperties();
};

// Posted to itself when the button loses the focus to a window outside the
// drop-down.
constexpr uint32_t CM_OXDEFERREDCLOSEUP = 0xB206;

class TOxCustomOfficeColorButton : public TOxCustomPanel {
 public:
  explicit TOxCustomOfficeColorButton(TComponent* AOwner);
  ~TOxCustomOfficeColorButton() override;

  TColor GetSelectedColor() const;
  void SetSelectedColor(TColor Value);
  TColor GetBackColor() const;
  void SetBackColor(TColor Value);
  bool GetFlat() const { return FFlat; }
  void SetFlat(bool Value);
  bool GetDroppedDown() const { return FDroppedDown; }
  TOxColorMainButton* GetMainButton() const { return FMainButton; }
  TOxColorArrowButton* GetArrowButton() const { return FArrowButton; }
  TOxOfficeColorForm* GetColorForm() const { return FColorForm; }
  TOxOfficeColorPanel* GetColorPanel() const { return FColorForm->GetColorPanel(); }
  TOxOfficeColorButtonProperties* GetProperties() const { return FProperties; }
  void SetEnabled(bool Value) override;

  virtual void CloseUp();
  virtual void DropDown(int32_t X, int32_t Y);
  // Places the drop-down under the button (above it without room below),
  // kept inside the work area of the monitor that holds the button.
  void PositionForm(int32_t X, int32_t Y);
  void AdjustColorButtons();

  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnColorChange;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnColorButtonClick;
  TNotifyEvent OnShowOwnerColorDialog;
  TNotifyEvent OnArrowClick;

 protected:
  virtual void PropertiesChanged(TObject* Sender, const std::string& PropName);
  void Dispatch(TMessage& Message) override;
  void DoFocusLost(HWND NextWnd) override;

 private:
  void ArrowClick(TObject* Sender);
  void PanelColorChange(TObject* Sender);
  void PanelButtonClick(TObject* Sender);
  void FormShowingChange(TObject* Sender);
  void FormFloatingChange(TObject* Sender);
  bool InsideDropDown(TControl* C) const;

  TOxColorMainButton* FMainButton = nullptr;
  TOxColorArrowButton* FArrowButton = nullptr;
  TOxOfficeColorForm* FColorForm = nullptr;
  TOxOfficeColorButtonProperties* FProperties = nullptr;
  bool FFlat = true;
  bool FDroppedDown = false;
  TColor FFloatingBgColor = clBtnFace;
  TColor FDropingBgColor = clBtnFace;
  bool FInitialized = false;
  bool FAdjusting = false;
  TObject* FPickedButton = nullptr;
};

class TOxOfficeColorButton : public TOxCustomOfficeColorButton {
 public:
  using TOxCustomOfficeColorButton::TOxCustomOfficeColorButton;
};

// The work area of the monitor holding the screen point (the nearest
// monitor's when none holds it).
TRect MonitorWorkAreaAt(TPoint P);
