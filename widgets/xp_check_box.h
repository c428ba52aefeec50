#pragma once
// The XP-style check box: a two- or three-state box with a gradient face, a
// coloured ring when hot and a check mark (or a solid square when grayed)
// in the colours of its theme.
#include <cstdint>
#include <memory>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/stdctrls.h"
#include "widgets/draw_helpers.h"
#include "widgets/xp_core.h"

class TOxXPCustomCheckControl : public TOxXPCustomStyleControl {
 public:
  explicit TOxXPCustomCheckControl(TComponent* AOwner);
  ~TOxXPCustomCheckControl() override;

  TOxXPBoundLines GetBoundLines() const { return FBoundLines; }
  virtual void SetBoundLines(TOxXPBoundLines Value);
  bool GetChecked() const { return FChecked; }
  virtual void SetChecked(bool Value);
  uint8_t GetSpacing() const { return FSpacing; }
  virtual void SetSpacing(uint8_t Value);
  uint8_t GetCheckSize() const { return FCheckSize; }

  void XPResized() override;
  const TFormPropertyTable& FormProperties() const override;

  TBitmap* FaceBitmap() const { return FFace.get(); }
  TBitmap* PressedBitmap() const { return FPressed.get(); }
  TBitmap* HotBitmap() const { return FHot.get(); }

 protected:
  virtual void DrawCheckSymbol(const TRect& R) = 0;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;

  std::unique_ptr<TBitmap> FFace;
  TOxXPBoundLines FBoundLines = 0;
  bool FChecked = false;
  uint8_t FCheckSize = 13;
  std::unique_ptr<TBitmap> FPressed;
  std::unique_ptr<TBitmap> FHot;
  uint8_t FSpacing = 3;
};

class TOxXPCheckbox : public TOxXPCustomCheckControl {
 public:
  explicit TOxXPCheckbox(TComponent* AOwner) : TOxXPCustomCheckControl(AOwner) {}
  TCheckBoxState GetState() const { return FState; }
  void SetState(TCheckBoxState Value);
  bool GetAllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value);
  void SetChecked(bool Value) override;
  void Click() override;
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void DrawCheckSymbol(const TRect& R) override;

 private:
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
};

// The 7 x 7 mark pictures: the check mark in black on silver, and a black
// square for the grayed state.
std::unique_ptr<TBitmap> MakeCheckMarkBitmap(bool Grayed);
