#pragma once
// The tracker: a self-drawn track bar whose thumb shows the current value.
// The left mouse button drags the thumb; every change made by the mouse
// fires OnChangedValue.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/gdi/bitmap.h"
#include "widgets/control_base.h"

enum TjtbOrientation : uint8_t { jtbHorizontal, jtbVertical };
using TOnChangedValue = std::function<void(TObject* Sender, int32_t NewValue)>;

class TOxTracker : public TOxExCustomControl {
 public:
  explicit TOxTracker(TComponent* AOwner);
  ~TOxTracker() override;

  int32_t GetValue() const { return FValue; }
  // Does not fire OnChangedValue; values outside the range are ignored.
  void SetValue(int32_t Value);
  int32_t GetMinimum() const { return FMinimum; }
  void SetMinimum(int32_t Value);
  int32_t GetMaximum() const { return FMaximum; }
  void SetMaximum(int32_t Value);
  int32_t GetThumbWidth() const { return FThumbWidth; }
  void SetThumbWidth(int32_t Value);
  int32_t GetThumbHeight() const { return FThumbHeight; }
  void SetThumbHeight(int32_t Value);
  int32_t GetTrackHeight() const { return FTrackHeight; }
  void SetTrackHeight(int32_t Value);
  TjtbOrientation GetOrientation() const { return FOrientation; }
  void SetOrientation(TjtbOrientation Value);
  TBitmap* GetBackBitmap() const { return FBackBitmap.get(); }
  void SetBackBitmap(TBitmap* Value) { FBackBitmap->Assign(Value); }

#define OX_TRACKER_PROP(Type, Name)          \
  Type Get##Name() const { return F##Name; } \
  void Set##Name(Type Value) {               \
    if (Value == F##Name) return;            \
    F##Name = Value;                         \
    Invalidate();                            \
  }
  OX_TRACKER_PROP(TColor, TrackColor)
  OX_TRACKER_PROP(TColor, ThumbColor)
  OX_TRACKER_PROP(TColor, BackColor)
  OX_TRACKER_PROP(TColor, CaptionColor)
  OX_TRACKER_PROP(TColor, BorderColor)
  OX_TRACKER_PROP(bool, ShowCaption)
  OX_TRACKER_PROP(bool, TrackBorder)
  OX_TRACKER_PROP(bool, ThumbBorder)
  OX_TRACKER_PROP(bool, BackBorder)
  OX_TRACKER_PROP(bool, CaptionBold)
  OX_TRACKER_PROP(bool, TrackPositionColored)
#undef OX_TRACKER_PROP

  // Geometry, for tests and painting.
  int32_t TrackStart() const { return FTrackStart; }
  int32_t TrackEnd() const { return FTrackEnd; }
  int32_t ThumbPosition() const { return FThumbPos; }
  TRect ThumbRect() const { return FThumbRect; }
  TRect TrackRect() const { return FTrackRect; }
  TRect HitRect() const { return FHitRect; }
  bool GetDragging() const { return FDragging; }

  const TFormPropertyTable& FormProperties() const override;
  void Loaded() override;

  TOnChangedValue OnChangedValue;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoBoundsChange() override;
  bool DoBackgroundErase(TCanvas* Canvas, LPARAM Param) override { return true; }

 private:
  bool Horizontal() const { return FOrientation == jtbHorizontal; }
  int32_t Along() const { return Horizontal() ? GetWidth() : GetHeight(); }
  int32_t Across() const { return Horizontal() ? GetHeight() : GetWidth(); }
  // A rectangle given along/across the track, turned for the orientation.
  TRect Oriented(int32_t A1, int32_t C1, int32_t A2, int32_t C2) const;
  void ComputeTrackRange();
  void ComputeTrackRect();
  void ComputeThumbRect();
  void ThumbFromValue();
  void ValueFromThumb();
  void DragTo(int32_t X, int32_t Y, bool Clamp);

  TRect FHitRect, FTrackRect, FThumbRect;
  int32_t FThumbPos = 0, FTrackStart = 0, FTrackEnd = 0;
  int32_t FValue = 0, FMinimum = 0, FMaximum = 100;
  TColor FTrackColor = static_cast<TColor>(0x808080);
  TColor FThumbColor = static_cast<TColor>(0xC0C0C0);
  TColor FBackColor = static_cast<TColor>(0xC0C0C0);
  int32_t FThumbWidth = 20, FThumbHeight = 16, FTrackHeight = 6;
  bool FShowCaption = true;
  TColor FCaptionColor = clBlack;
  bool FTrackBorder = true, FThumbBorder = false, FBackBorder = false, FCaptionBold = false;
  TjtbOrientation FOrientation = jtbHorizontal;
  std::unique_ptr<TBitmap> FBackBitmap;
  bool FDragging = false;
  TColor FBorderColor = clBlack;
  bool FTrackPositionColored = false;
};

// The thumb position of a value and the value of a thumb position (halves to
// even); a track without length gives its start and keeps the value.
int32_t TrackerThumbOfValue(int32_t Value, int32_t Minimum, int32_t Maximum, int32_t Start, int32_t End);
int32_t TrackerValueOfThumb(int32_t Thumb, int32_t Minimum, int32_t Maximum, int32_t Start, int32_t End,
                            int32_t Current);
