#pragma once
// Speed buttons that show a colour: a swatch over the face (a square at the
// left or right, or the whole face), or a bar under the glyph when the
// button has one. The colour cells of the office colour panel, its
// "Automatic" button and the main half of the office colour button are
// such buttons.
#include <cstdint>

#include "widgets/speed_button.h"

class TOxColorSpeedButton : public TOxSpeedButton {
 public:
  explicit TOxColorSpeedButton(TComponent* AOwner) : TOxSpeedButton(AOwner) {}

#define OX_SWATCH_PROP(Type, Name)           \
  Type Get##Name() const { return F##Name; } \
  void Set##Name(Type Value) {               \
    if (Value == F##Name) return;            \
    F##Name = Value;                         \
    Invalidate();                            \
  }
  OX_SWATCH_PROP(TColor, DrawColor)
  OX_SWATCH_PROP(TColor, DisabledDrawColor)
  OX_SWATCH_PROP(bool, DrawBorder)
  OX_SWATCH_PROP(bool, BarUnderGlyph)
  OX_SWATCH_PROP(bool, ShowSwatch)
  OX_SWATCH_PROP(uint8_t, SwatchPlacement)
  OX_SWATCH_PROP(int32_t, SwatchEdgeWidth)
#undef OX_SWATCH_PROP

  // The margin between border and swatch (Height / 5 when negative).
  virtual int32_t GetSwatchEdge() const { return GetHeight() / 5; }
  // The rectangle the swatch fills for the current placement; empty when
  // the placement draws none.
  TRect SwatchRect() const;
  // Shows or hides the button (the panel's one way to do either).
  void SetShown(bool Value);

  TNotifyEvent OnEnabledChange;

 protected:
  void Paint() override;
  void DoEnabledChange() override;

 private:
  TColor FDrawColor = clDefault;
  TColor FDisabledDrawColor = clGray;
  bool FDrawBorder = false;
  bool FBarUnderGlyph = true;
  bool FShowSwatch = true;
  uint8_t FSwatchPlacement = 3;
  int32_t FSwatchEdgeWidth = 4;
};

class TOxOfficeColorDrawer : public TOxColorSpeedButton {
 public:
  explicit TOxOfficeColorDrawer(TComponent* AOwner) : TOxColorSpeedButton(AOwner) { SetBarUnderGlyph(true); }
};

// The "Automatic" button: its hint names the colour while the pointer is
// over the swatch.
class TOxDefaultColorSpeendButton : public TOxColorSpeedButton {
 public:
  using TOxColorSpeedButton::TOxColorSpeedButton;

 protected:
  bool DoHintShow(THintInfo& HintInfo) override;
};
