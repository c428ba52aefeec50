#pragma once
// Buttons with pictures: the speed button (a flat or raised tool button that
// may stay down, alone or as one of a group) and the bit button (a push
// button with a glyph or the stock picture of its kind).
//
// A glyph is a bitmap of NumGlyphs equal frames side by side: up, disabled,
// clicked, down. Its bottom-left pixel's colour is transparent. A glyph of
// one frame is greyed for the disabled state.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/vcl/controls.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/stdctrls.h"

class TBitmap;
class TCanvas;

enum TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState : uint8_t { bsUp, bsDisabled, bsDown, bsExclusive };

// The glyph of a button: the bitmap, its frames and how it is drawn.
class TButtonGlyph {
 public:
  TButtonGlyph();
  ~TButtonGlyph();
  TBitmap* GetGlyph() const { return FGlyph.get(); }
  // Copies Value (nullptr or an empty bitmap clears the glyph).
  void SetGlyph(TBitmap* Value);
  int32_t GetNumGlyphs() const { return FNumGlyphs; }
  // 1 .. 4; other values are ignored.
  void SetNumGlyphs(int32_t Value);
  bool GetEmpty() const;
  // The size of one frame (0 x 0 without glyph).
  TSize FrameSize() const;
  // The frame of State as an image with its transparent pixels clear.
  QImage Frame(TButtonState State) const;
  // Places a glyph and a caption of the given sizes in Client as the layout,
  // margin (-1: centred) and spacing (-1: centred between glyph and edge)
  // say; answers the glyph's top-left corner and the caption's rectangle.
  static void Layout(const TRect& Client, TSize Glyph, TSize Text, TButtonLayout Layout, int32_t Margin,
                     int32_t Spacing, TPoint& GlyphPos, TRect& TextRect);

 private:
  std::unique_ptr<TBitmap> FGlyph;
  int32_t FNumGlyphs = 1;
};

// A tool button that paints itself. With GroupIndex 0 it springs back after
// a click; otherwise it stays down when clicked, and the buttons with the
// same group index on the same parent form a group of which at most one is
// down (with AllowAllUp the down button comes up again when clicked).
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;

  bool GetAllowAllUp() const { return FAllowAllUp; }
  // Shared by the whole group.
  void SetAllowAllUp(bool Value);
  int32_t GetGroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t Value);
  bool GetDown() const { return FDown; }
  // Setting Down puts the group's other button up; a group button cannot go
  // up by itself unless AllowAllUp. Fires no OnClick.
  void SetDown(bool Value);
  bool GetFlat() const { return FFlat; }
  void SetFlat(bool Value);
  TBitmap* GetGlyph() const { return FGlyph.GetGlyph(); }
  void SetGlyph(TBitmap* Value);
  int32_t GetNumGlyphs() const { return FGlyph.GetNumGlyphs(); }
  void SetNumGlyphs(int32_t Value);
  TButtonLayout GetLayout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t GetMargin() const { return FMargin; }
  void SetMargin(int32_t Value);
  int32_t GetSpacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  // The state shown now (up, disabled, pressed or down).
  TButtonState GetState() const { return FState; }

  void SetText(const std::string& Value) override;
  void SetEnabled(bool Value) override;
  // Acts as a click of the user: the down state as described above, then
  // OnClick.
  void Click() override;
  const TFormPropertyTable& FormProperties() const override;
  void Dispatch(TMessage& Message) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

 private:
  void UpdateState();
  // The other buttons of the group on the same parent.
  template <typename F>
  void ForGroup(F Fn);

  TButtonGlyph FGlyph;
  int32_t FGroupIndex = 0;
  bool FDown = false;
  bool FAllowAllUp = false;
  bool FFlat = false;
  bool FTransparent = true;
  bool FDragging = false;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FMargin = -1;
  int32_t FSpacing = 4;
  TButtonState FState = bsUp;
};

enum TBitBtnKind : uint8_t { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

// A push button with a glyph. A kind other than bkCustom gives the caption,
// modal result, default or cancel role and picture of that kind; bkClose
// closes the form when clicked.
class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner);
  ~TBitBtn() override;

  TBitBtnKind GetKind() const { return FKind; }
  void SetKind(TBitBtnKind Value);
  TBitmap* GetGlyph() const { return FGlyph.GetGlyph(); }
  void SetGlyph(TBitmap* Value);
  int32_t GetNumGlyphs() const { return FGlyph.GetNumGlyphs(); }
  void SetNumGlyphs(int32_t Value);
  TButtonLayout GetLayout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t GetMargin() const { return FMargin; }
  void SetMargin(int32_t Value) { FMargin = Value; }
  int32_t GetSpacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);

  void Click() override;
  const TFormPropertyTable& FormProperties() const override;

 private:
  void UpdateIcon();
  TButtonGlyph FGlyph;
  TBitBtnKind FKind = bkCustom;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FMargin = -1;
  int32_t FSpacing = 4;
};
