#pragma once
// The spin button: a window-less two-part button (up and down), split along
// the rising diagonal or across the middle. A press steps at once and then
// repeats while the left button stays down on the same part. Its faces are
// drawn once per size, style and glyph kind and shared by every spin button
// through a process-wide cache.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/extctrls.h"
#include "widgets/control_base.h"

enum TOxSpinButtonStyle : uint8_t { sbsDefault, sbsClassic };
enum TOxSpinPart : uint8_t { spNone, spUpper, spLower };

class TSpinButtonBitmapsManager;

// The faces of one (width, height, style, glyph kind).
class TSpinButtonBitmaps {
 public:
  TSpinButtonBitmaps(TSpinButtonBitmapsManager* Manager, int32_t Width, int32_t Height, TOxSpinButtonStyle Style,
                     bool CustomGlyphs);
  ~TSpinButtonBitmaps();
  void AddReference() { ++FRefCount; }
  // Frees the faces when the last user lets go.
  void ReleaseReference();
  int32_t RefCount() const { return FRefCount; }
  void PaintFace(TCanvas* Canvas, TOxSpinPart Pressed, bool HotUpper, bool HotLower, bool Enabled);
  void PaintGlyphs(TCanvas* Canvas, TOxSpinPart Pressed, bool Enabled, TBitmap* UpGlyph, TBitmap* DownGlyph);
  // Renders all faces again at the next paint (after a system colour change).
  void RequestRedraw() { FRedrawPending = true; }
  int32_t RenderCount() const { return FRenderCount; }
  int32_t GetWidth() const { return FWidth; }
  int32_t GetHeight() const { return FHeight; }
  TOxSpinButtonStyle GetStyle() const { return FStyle; }
  bool GetCustomGlyphs() const { return FCustomGlyphs; }

 private:
  void RenderAllFaces();
  void RenderFace(TBitmap* Face, TOxSpinPart Part, bool Enabled);

  TSpinButtonBitmapsManager* FManager;
  int32_t FHeight, FWidth;
  TOxSpinButtonStyle FStyle;
  int32_t FRefCount = 0;
  std::unique_ptr<TBitmap> FUpperPressed, FLowerPressed, FNormal, FDisabled;
  bool FCustomGlyphs;
  bool FRedrawPending = false;
  std::unique_ptr<TBitmap> FUpperHot, FLowerHot;
  bool FIsThemed = false;
  int32_t FRenderCount = 0;
};

class TSpinButtonBitmapsManager {
 public:
  ~TSpinButtonBitmapsManager();
  TSpinButtonBitmaps* AcquireFaces(int32_t Width, int32_t Height, TOxSpinButtonStyle Style, bool CustomGlyphs);
  void ForgetFaces(TSpinButtonBitmaps* Faces);
  int32_t FaceCount() const { return static_cast<int32_t>(FList.size()); }
  static void RegisterUser();
  static void UnregisterUser();

 private:
  // Found, or the insertion index, by halving the sorted list.
  bool FindFaces(int32_t Width, int32_t Height, TOxSpinButtonStyle Style, bool CustomGlyphs, size_t& Index) const;
  std::vector<TSpinButtonBitmaps*> FList;
  int32_t FUsers = 0;
  friend TSpinButtonBitmapsManager* SpinFacesManager();
};
// The cache while any spin button exists, else nullptr.
TSpinButtonBitmapsManager* SpinFacesManager();
TSpinButtonBitmapsManager* SpinFacesManagerIfAny();

class TOxSpinButton : public TOxExGraphicControl {
 public:
  explicit TOxSpinButton(TComponent* AOwner);
  ~TOxSpinButton() override;

  TOxSpinButtonStyle GetButtonStyle() const { return FButtonStyle; }
  void SetButtonStyle(TOxSpinButtonStyle Value);
  TBitmap* GetUpGlyph() const { return FUpGlyph.get(); }
  void SetUpGlyph(TBitmap* Value);
  TBitmap* GetDownGlyph() const { return FDownGlyph.get(); }
  void SetDownGlyph(TBitmap* Value);
  TWinControl* GetFocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value);
  int32_t GetInitRepeatPause() const { return FInitRepeatPause; }
  void SetInitRepeatPause(int32_t Value) { FInitRepeatPause = Value; }
  int32_t GetRepeatPause() const { return FRepeatPause; }
  void SetRepeatPause(int32_t Value) { FRepeatPause = Value; }
  TOxSpinPart GetPressedPart() const { return FPressedPart; }
  TTimer* GetRepeatTimer() const { return FRepeatTimer.get(); }
  TSpinButtonBitmaps* GetButtonFaces() const { return FButtonFaces; }

  bool InLowerPart(TPoint P) const;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnTopClick;
  TNotifyEvent OnBottomClick;

 protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseEnter(TControl* Control) override;
  void DoMouseLeave(TControl* Control) override;
  void DoEnabledChange() override;

 private:
  void FireTopClick();
  void FireBottomClick();
  void RepeatTimerTick(TObject* Sender);
  // Ends a press: nothing pressed, no repeat.
  void EndPress();
  void EnsureButtonFaces();
  void ReleaseButtonFaces();
  void GlyphBitmapChanged();
  bool CustomGlyphs() const { return !FUpGlyph->GetEmpty() || !FDownGlyph->GetEmpty(); }

  TOxSpinButtonStyle FButtonStyle = sbsDefault;
  std::unique_ptr<TBitmap> FUpGlyph, FDownGlyph;
  TWinControl* FFocusControl = nullptr;
  int32_t FInitRepeatPause = 400, FRepeatPause = 100;
  TOxSpinPart FPressedPart = spNone, FLastPressedPart = spNone;
  bool FPressTracking = false;
  bool FHotUpper = false, FHotLower = false;
  std::unique_ptr<TTimer> FRepeatTimer;
  TSpinButtonBitmaps* FButtonFaces = nullptr;
};

// The built-in arrow pictures: up and down for the diagonal style, the wide
// ones for the classic style; black on white.
std::unique_ptr<TBitmap> MakeSpinArrow(bool Up, bool Classic);
