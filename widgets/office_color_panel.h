#pragma once
// The office colour panel: a self-sizing panel of colour choices ("No
// Color", "Automatic", 40 standard colours, optional system and user
// colours, "Other Colors..." with a square showing the last custom colour).
// Every choice is a flat swatch button of one exclusive group, so the
// selected colour shows as the button that is down.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/lists.h"
#include "widgets/color_swatch.h"
#include "widgets/panels.h"

// A thin sunken line between the sections of the panel.
class TOxOfficePanelDividerLine : public TGraphicControl {
 public:
  explicit TOxOfficePanelDividerLine(TComponent* AOwner);

 protected:
  void Paint() override;
};

class TOxOfficeColorPanelProperties : public TOxPersistentProperty {
 public:
  explicit TOxOfficeColorPanelProperties(TPersistent* AOwner);

#define OX_PANEL_PROP(Type, Name, Default)                              \
 public:                                                                \
  Type Get##Name() const { return F##Name; }                            \
  void Set##Name(Type Value) { ChangeProperty(F##Name, Value, #Name); } \
                                                                        \
 private:                                                               \
  Type F##Name = Default;
#define OX_PANEL_MIN_PROP(Name, Default, Minimum)                                         \
 public:                                                                                  \
  int32_t Get##Name() const { return F##Name; }                                           \
  void Set##Name(int32_t Value) { ChangeProperty(F##Name, std::max(Value, Minimum), #Name); } \
                                                                                          \
 private:                                                                                 \
  int32_t F##Name = Default;

  OX_PANEL_PROP(bool, ShowNoneColor, false)
  OX_PANEL_PROP(bool, ShowDefaultColor, true)
  OX_PANEL_PROP(bool, ShowCustomColor, true)
  OX_PANEL_PROP(TColor, DefaultColorColor, clDefault)
  OX_PANEL_PROP(TColor, NoneColorColor, clNone)
  OX_PANEL_PROP(bool, ShowColorsHint, true)
  OX_PANEL_PROP(bool, ShowAddInHint, true)
  OX_PANEL_PROP(std::string, DefaultColorCaption, "")
  OX_PANEL_PROP(std::string, CustomColorCaption, "")
  OX_PANEL_PROP(std::string, NoneColorCaption, "")
  OX_PANEL_PROP(std::string, DefaultColorHint, "")
  OX_PANEL_PROP(std::string, CustomColorHint, "")
  OX_PANEL_PROP(std::string, NoneColorHint, "")
  OX_PANEL_MIN_PROP(TopMargin, 4, 4)
  OX_PANEL_MIN_PROP(ColorSpaceBottom, 4, 4)
  OX_PANEL_MIN_PROP(HorizontalMargin, 4, 4)
  OX_PANEL_MIN_PROP(ColorSpace, 0, 0)
  OX_PANEL_MIN_PROP(ColorSpaceTop, 4, 4)
  OX_PANEL_MIN_PROP(ButtonHeight, 25, 25)
  OX_PANEL_MIN_PROP(ColorSize, 18, 18)
  OX_PANEL_MIN_PROP(BottomMargin, 4, 4)
  OX_PANEL_PROP(bool, RightClickSelect, false)
  OX_PANEL_PROP(bool, SelectIfPopup, false)
  OX_PANEL_PROP(bool, ShowStandardColors, true)
  OX_PANEL_PROP(bool, ShowSystemColors, false)
  OX_PANEL_PROP(bool, ShowUserColors, false)
  OX_PANEL_PROP(bool, HoldCustomColor, false)
#undef OX_PANEL_PROP
#undef OX_PANEL_MIN_PROP

 public:
  TFont* GetCustomColorFont() const { return FCustomColorFont.get(); }
  TFont* GetDefaultColorFont() const { return FDefaultColorFont.get(); }
  TFont* GetNoneColorFont() const { return FNoneColorFont.get(); }
  void Assign(TPersistent* Source) override;
  virtual void LoadDefaultTexts();
  // The form properties (retired names included).
  static const TFormPropertyTable& FormProperties();

 private:
  std::unique_ptr<TFont> FCustomColorFont, FDefaultColorFont, FNoneColorFont;
};

// Chooses a colour in place of the platform's colour dialog: gets the
// starting colour, answers false when cancelled. Without a chooser the
// dialog is cancelled.
using TOxColorChooser = std::function<bool(TColor& Color)>;
TOxColorChooser SetOxColorChooser(TOxColorChooser Chooser);

using TOxCustomColorHeldEvent = std::function<void(TObject* Sender, TColor Color)>;

class TOxCustomOfficeColorPanel : public TOxCustomArrangePanel {
 public:
  explicit TOxCustomOfficeColorPanel(TComponent* AOwner);
  ~TOxCustomOfficeColorPanel() override;

  TColor GetSelectedColor() const { return FSelectedColor; }
  void SetSelectedColor(TColor Value);
  TColor GetBackColor() const { return FBackColor; }
  void SetBackColor(TColor Value);
  TOxOfficeColorPanelProperties* GetProperties() const { return FProperties; }
  void SetProperties(TOxOfficeColorPanelProperties* Value);
  TStringList* GetUserColors() const { return FUserColors.get(); }
  TStringList* GetStandardColors() const { return FStandardColors.get(); }
  void SetUserColors(TStrings* Value);
  void SetHotTrack(bool Value) override;
  void SetHotTrackOptions(TOxHotTrackOptions* Value) override;
  void SetEnabled(bool Value) override;

  TOxColorSpeedButton* GetNoneColorButton() const { return FNoneColorButton; }
  TOxDefaultColorSpeendButton* GetDefaultColorButton() const { return FDefaultColorButton; }
  TOxColorSpeedButton* GetCustomColorButton() const { return FCustomColorButton; }
  TOxOfficeColorDrawer* GetCustomColorDrawer() const { return FCustomColorDrawer; }
  TOxSpeedButton* GetLastDownButton() const { return FLastDownButton; }
  const std::vector<TOxOfficeColorDrawer*>& StandardButtons() const { return FStandardButtons; }
  const std::vector<TOxOfficeColorDrawer*>& SystemButtons() const { return FSystemButtons; }
  const std::vector<TOxOfficeColorDrawer*>& UserButtons() const { return FUserButtons; }
  TOxOfficePanelDividerLine* GetCustomDivider() const { return FCustomDivider; }

  void AdjustColorButtons();
  void RebuildColorButtons();
  const TFormPropertyTable& FormProperties() const override;
  void Loaded() override;

  TNotifyEvent OnColorChange;
  TOxCustomColorHeldEvent OnCustomColorHeld;
  TNotifyEvent OnColorButtonClick;
  TNotifyEvent OnShowOwnerColorDialog;

 protected:
  virtual void ColorButtonClick(TObject* Sender);
  virtual void DoColorChange();
  virtual void PropertiesChanged(TObject* Sender, const std::string& PropName);
  void Resize() override;

 private:
  void BuildColorButtons(std::vector<TOxOfficeColorDrawer*>& Buttons, TStringList* Colors, bool Show);
  void PrepareButton(TOxColorSpeedButton* B);
  void ApplyCustomColor(TColor C);
  void ColorButtonMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void HotTrackOptionsChanged();
  void ForEachCell(const std::function<void(TOxOfficeColorDrawer*)>& Fn);

  std::unique_ptr<TStringList> FStandardColors, FSystemColors, FUserColors;
  std::vector<TOxOfficeColorDrawer*> FStandardButtons, FSystemButtons, FUserButtons;
  std::vector<TControl*> FAddedControls;
  TOxColorSpeedButton* FNoneColorButton = nullptr;
  TOxDefaultColorSpeendButton* FDefaultColorButton = nullptr;
  TOxColorSpeedButton* FCustomColorButton = nullptr;
  TOxOfficeColorDrawer* FCustomColorDrawer = nullptr;
  TOxSpeedButton* FLastDownButton = nullptr;
  TOxOfficePanelDividerLine *FSystemDivider = nullptr, *FUserDivider = nullptr, *FCustomDivider = nullptr;
  TOxOfficeColorPanelProperties* FProperties = nullptr;
  TColor FSelectedColor = clDefault;
  TColor FBackColor = clBtnFace;
  bool FInitialized = false;
  bool FSyncButtons = true;
  bool FArranging = false;
  int32_t FClickKind = 5;
};

class TOxOfficeColorPanel : public TOxCustomOfficeColorPanel {
 public:
  using TOxCustomOfficeColorPanel::TOxCustomOfficeColorPanel;
};
