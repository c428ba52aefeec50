#pragma once
// The XP-style push button: a rounded, gradient-filled face with a coloured
// ring when hot, focused or default, an optional glyph and a word-wrapped,
// centred caption that is embossed when disabled. Space presses it, Enter
// clicks the focused or default button, Escape the cancel button, and the
// caption's accelerator works with Alt.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/buttons.h"
#include "widgets/draw_helpers.h"
#include "widgets/xp_core.h"

// Where the glyph lies: the platform's button layout.
using TOxXPLayout = TButtonLayout;

class TOxXPCustomButton : public TOxXPCustomStyleControl {
 public:
  explicit TOxXPCustomButton(TComponent* AOwner);
  ~TOxXPCustomButton() override;

  bool GetAutoGray() const { return FAutoGray; }
  virtual void SetAutoGray(bool Value);
  bool GetCancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  bool GetDefault() const { return FDefault; }
  // Tells every control of the form, so each re-evaluates its frame.
  virtual void SetDefault(bool Value);
  TOxPicture* GetGlyph() const { return FGlyph.get(); }
  // Copies the given picture into the button's own.
  virtual void SetGlyph(TPicture* Value);
  TOxXPLayout GetLayout() const { return FLayout; }
  virtual void SetLayout(TOxXPLayout Value);
  bool GetShowAccelChar() const { return FShowAccelChar; }
  virtual void SetShowAccelChar(bool Value);
  bool GetShowFocusRect() const { return FShowFocusRect; }
  virtual void SetShowFocusRect(bool Value);
  bool GetSmoothEdges() const { return FSmoothEdges; }
  virtual void SetSmoothEdges(bool Value);
  uint8_t GetSpacing() const { return FSpacing; }
  virtual void SetSpacing(uint8_t Value);
  bool GetWordWrap() const { return FWordWrap; }
  virtual void SetWordWrap(bool Value);
  bool GetDown() const { return FDown; }
  void SetDown(bool Value);
  int32_t GetImageIndex() const { return FImageIndex; }

  // Whether the coloured ring shows; Restricted answers for pointer and
  // focus only (a default button's ring left out).
  bool ShowsFrame(bool Restricted) const;

  void XPResized() override;
  const TFormPropertyTable& FormProperties() const override;

  // The gradient pictures, rebuilt at every resize (for tests and painting).
  TBitmap* FaceBitmap() const { return FFace.get(); }
  TBitmap* PressedFaceBitmap() const { return FPressedFace.get(); }
  TBitmap* FocusFrameBitmap() const { return FFocusFrame.get(); }
  TBitmap* HotFrameBitmap() const { return FHotFrame.get(); }

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;

 private:
  void RebuildGradients();

  bool FAutoGray = true;
  std::unique_ptr<TBitmap> FFace;
  bool FCancel = false;
  std::unique_ptr<TBitmap> FPressedFace;
  bool FDefault = false;
  std::unique_ptr<TBitmap> FFocusFrame;
  std::unique_ptr<TOxPicture> FGlyph;
  std::unique_ptr<TBitmap> FHotFrame;
  int32_t FImageIndex = -1;
  TOxXPLayout FLayout = blGlyphLeft;
  bool FShowAccelChar = true;
  bool FShowFocusRect = false;
  bool FSmoothEdges = true;
  uint8_t FSpacing = 3;
  bool FWordWrap = true;
  bool FDown = false;
};

class TOxXPButton : public TOxXPCustomButton {
 public:
  using TOxXPCustomButton::TOxXPCustomButton;
};

// Colours of the button ($BBGGRR).
constexpr TColor kXPButtonBorder = static_cast<TColor>(0x733800);
constexpr TColor kXPButtonDisabledBorder = static_cast<TColor>(0xBDC7CE);
constexpr TColor kXPButtonCorner = static_cast<TColor>(0xAD9E7B);
