#pragma once
// The track bar over the platform's slider: a range (Min .. Max), a
// position, tick marks every Frequency steps, line and page steps for the
// keyboard, horizontal or vertical (the minimum at the left or top).
// OnChange fires whenever the position changes, by the user or by program
// (not while a resource is read).
#include <cstdint>

#include "platform/vcl/controls.h"

enum TTrackBarOrientation : uint8_t { trHorizontal, trVertical };
enum TTickStyle : uint8_t { tsNone, tsAuto, tsManual };
enum TTickMark : uint8_t { tmBottomRight, tmTopLeft, tmBoth };

class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* AOwner);

  int32_t GetMin() const { return FMin; }
  void SetMin(int32_t Value);
  int32_t GetMax() const { return FMax; }
  void SetMax(int32_t Value);
  int32_t GetPosition() const { return FPosition; }
  // Kept within Min .. Max.
  void SetPosition(int32_t Value);
  int32_t GetFrequency() const { return FFrequency; }
  void SetFrequency(int32_t Value);
  TTrackBarOrientation GetOrientation() const { return FOrientation; }
  void SetOrientation(TTrackBarOrientation Value);
  TTickStyle GetTickStyle() const { return FTickStyle; }
  void SetTickStyle(TTickStyle Value);
  TTickMark GetTickMarks() const { return FTickMarks; }
  void SetTickMarks(TTickMark Value);
  int32_t GetLineSize() const { return FLineSize; }
  void SetLineSize(int32_t Value);
  int32_t GetPageSize() const { return FPageSize; }
  void SetPageSize(int32_t Value);
  // A highlighted part of the range (kept; the platform's slider shows none).
  int32_t GetSelStart() const { return FSelStart; }
  void SetSelStart(int32_t Value) { FSelStart = Value; }
  int32_t GetSelEnd() const { return FSelEnd; }
  void SetSelEnd(int32_t Value) { FSelEnd = Value; }
  bool GetSliderVisible() const { return FSliderVisible; }
  void SetSliderVisible(bool Value);
  int32_t GetThumbLength() const { return FThumbLength; }
  void SetThumbLength(int32_t Value) { FThumbLength = Value; }

  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  void Sync();
  int32_t FMin = 0, FMax = 10, FPosition = 0;
  int32_t FFrequency = 1;
  int32_t FLineSize = 1, FPageSize = 2;
  int32_t FSelStart = 0, FSelEnd = 0;
  int32_t FThumbLength = 20;
  TTrackBarOrientation FOrientation = trHorizontal;
  TTickStyle FTickStyle = tsAuto;
  TTickMark FTickMarks = tmBottomRight;
  bool FSliderVisible = true;
  bool FSyncing = false;
};
