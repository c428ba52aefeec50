#pragma once
// The scroll box: a container whose controls may reach beyond its client
// area; window scroll bars (shown when needed) move them into view. With
// AutoScroll the range is what the controls need; without it each bar's
// Range says it.
#include <cstdint>
#include <memory>

#include "platform/vcl/controls.h"

class TScrollBox;

// One scroll bar of a scroll box.
class TControlScrollBar : public TPersistent {
 public:
  TControlScrollBar(TScrollBox* Owner, int32_t Kind) : FOwner(Owner), FKind(Kind) {}
  // SB_HORZ or SB_VERT.
  int32_t GetKind() const { return FKind; }
  int32_t GetRange() const { return FRange; }
  void SetRange(int32_t Value);
  int32_t GetPosition() const { return FPosition; }
  // Scrolls the box (kept within 0 .. Range - client size).
  void SetPosition(int32_t Value);
  int32_t GetIncrement() const { return FIncrement; }
  void SetIncrement(int32_t Value) { FIncrement = Value < 1 ? 1 : Value; }
  bool GetVisible() const { return FVisible; }
  void SetVisible(bool Value);
  bool GetTracking() const { return FTracking; }
  void SetTracking(bool Value) { FTracking = Value; }

 private:
  TScrollBox* FOwner;
  int32_t FKind;
  int32_t FRange = 0;
  int32_t FPosition = 0;
  int32_t FIncrement = 8;
  bool FVisible = true;
  bool FTracking = false;
  friend class TScrollBox;
};

class TScrollBox : public TCustomControl {
 public:
  explicit TScrollBox(TComponent* AOwner);
  ~TScrollBox() override;

  TControlScrollBar* GetHorzScrollBar() const { return FHorz.get(); }
  TControlScrollBar* GetVertScrollBar() const { return FVert.get(); }
  bool GetAutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool Value);
  TBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  // Scrolls so that Control lies inside the client area.
  void ScrollInView(TControl* Control);
  // Moves every child by (DeltaX, DeltaY).
  void ScrollBy(int32_t DeltaX, int32_t DeltaY);
  // Works out the ranges and shows or hides the bars.
  void UpdateScrollBars();

  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void AlignControls(TControl* AControl, TRect& Rect) override;

 private:
  void ScrollTo(TControlScrollBar& Bar, int32_t Position);
  int32_t ContentExtent(int32_t Kind) const;
  std::unique_ptr<TControlScrollBar> FHorz, FVert;
  bool FAutoScroll = true;
  TBorderStyle FBorderStyle = bsSingle;
  bool FUpdating = false;
  friend class TControlScrollBar;
};
