#pragma once
// The library's panels: a panel with a content-painting hook, and the
// arranging panel that lays its windowed children out in rows (in tab
// order), can size itself to them, hot-tracks the pointer, draws a flat
// border, moves when its interior is dragged and resizes by a corner grip.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/vcl/extctrls.h"
#include "widgets/control_base.h"
#include "widgets/hot_track.h"

class TOxCustomPanel : public TOxExCustomPanel {
 public:
  explicit TOxCustomPanel(TComponent* AOwner) : TOxExCustomPanel(AOwner) {}
  const TFormPropertyTable& FormProperties() const override;

  std::function<void(TObject* Sender, TCanvas* Canvas, const TRect& Rect)> OnContentPaint;

 protected:
  virtual void PaintPanelContent(const TRect& Rect);
  void Paint() override;
};

enum TOxAutoSizePanel : uint8_t { asNone, asWidth, asHeight, asBoth };
enum TOxArrangeSettingsVAlignment : uint8_t { asTop, asVCenter, asBottom };
enum TOxArrangeSettingsHAlignment : uint8_t { asLeft, asCenter, asRight };

class TOxArrangeSettings : public TOxPersistentProperty {
 public:
  explicit TOxArrangeSettings(TPersistent* AOwner) : TOxPersistentProperty(AOwner) {}

#define OX_ARRANGE_PROP(Type, Name, Default)                            \
 public:                                                                \
  Type Get##Name() const { return F##Name; }                            \
  void Set##Name(Type Value) { ChangeProperty(F##Name, Value, #Name); } \
                                                                        \
 private:                                                               \
  Type F##Name = Default;

  OX_ARRANGE_PROP(bool, WrapControls, true)
  OX_ARRANGE_PROP(int32_t, BorderLeft, 0)
  OX_ARRANGE_PROP(int32_t, BorderTop, 0)
  OX_ARRANGE_PROP(int32_t, DistanceVertical, 0)
  OX_ARRANGE_PROP(int32_t, DistanceHorizontal, 0)
  OX_ARRANGE_PROP(TOxAutoSizePanel, AutoSize, asNone)
  OX_ARRANGE_PROP(bool, AutoArrange, false)
  OX_ARRANGE_PROP(int32_t, MaxWidth, 0)
  OX_ARRANGE_PROP(int32_t, MaxControlsPerLine, 0)
  OX_ARRANGE_PROP(TOxArrangeSettingsVAlignment, VerticalAlignment, asTop)
  OX_ARRANGE_PROP(TOxArrangeSettingsHAlignment, HorizontalAlignment, asLeft)
  OX_ARRANGE_PROP(bool, HorizontalAlignLines, false)
#undef OX_ARRANGE_PROP

 public:
  bool GetShowNotVisibleAtDesignTime() const { return FShowNotVisibleAtDesignTime; }
  void SetShowNotVisibleAtDesignTime(bool Value) { FShowNotVisibleAtDesignTime = Value; }
  void Assign(TPersistent* Source) override;
  static const TFormPropertyTable& FormProperties();

 private:
  bool FShowNotVisibleAtDesignTime = true;
};

// Lays out children on request.
class IOxChildArranger {
 public:
  virtual ~IOxChildArranger() = default;
  virtual void ArrangeChildren() = 0;
  virtual void SuspendArrange() = 0;
  virtual void ResumeArrange() = 0;
  virtual TOxArrangeSettings* GetArrangeSettings() const = 0;
  virtual void SetArrangeSettings(TOxArrangeSettings* Value) = 0;
};

using TOxPanelMoveEvent = std::function<void(TObject* Sender, int32_t X, int32_t Y, bool& Allow)>;
using TOxPanelResizeParentEvent =
    std::function<void(TObject* Sender, int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight)>;
using TOxPanelChangedSizeEvent = std::function<void(TObject* Sender, int32_t ChangedSize)>;

class TOxCustomArrangePanel : public TOxCustomPanel, public IOxChildArranger, public IOxHotTrackSettings {
 public:
  explicit TOxCustomArrangePanel(TComponent* AOwner);
  ~TOxCustomArrangePanel() override;

  // Arranging.
  void ArrangeChildren() override;
  void SuspendArrange() override;
  void ResumeArrange() override;
  bool ArrangeAllowed() const { return FSuspendCount < 1; }
  TOxArrangeSettings* GetArrangeSettings() const override { return FArrangeSettings; }
  void SetArrangeSettings(TOxArrangeSettings* Value) override;
  // Arranges Panel when it arranges automatically and is not being read.
  static void ArrangeIfAuto(TOxCustomArrangePanel* Panel);

  // The hot-track set.
  bool GetHotTrack() const override { return FHotTrack; }
  TFont* GetHotTrackFont() const override { return FHotTrackFont.get(); }
  TOxTrackFontOptions GetHotTrackFontOptions() const override { return FHotTrackFontOptions; }
  TOxHotTrackOptions* GetHotTrackOptions() const override { return FHotTrackOptions; }
  void SetHotTrack(bool Value) override { FHotTrack = Value; }
  void SetHotTrackFont(TFont* Value) override;
  void SetHotTrackFontOptions(TOxTrackFontOptions Value) override;
  void SetHotTrackOptions(TOxHotTrackOptions* Value) override;

  bool GetMovable() const { return FMovable; }
  void SetMovable(bool Value) { FMovable = Value; }
  bool GetSizeable() const { return FSizeable; }
  void SetSizeable(bool Value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool GetMultiLine() const { return FMultiLine; }
  void SetMultiLine(bool Value);
  bool GetFlatBorder() const { return FFlatBorder; }
  void SetFlatBorder(bool Value);
  TColor GetFlatBorderColor() const { return FFlatBorderColor; }
  void SetFlatBorderColor(TColor Value);
  bool GetSizeDragging() const { return FSizeDragging; }
  bool GetMoveDragging() const { return FMoveDragging; }
  bool GetPointerInside() const { return FPointerInside; }

  // Width and height changes tell OnChangedWidth/Height and then either
  // OnResizeParent or an auto-arranging parent panel.
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

  TOxPanelMoveEvent OnBeforeMove;
  TNotifyEvent OnAfterMove;
  TNotifyEvent OnPaint;
  TOxPanelResizeParentEvent OnResizeParent;
  TOxPanelChangedSizeEvent OnChangedWidth;
  TOxPanelChangedSizeEvent OnChangedHeight;

 protected:
  virtual void ArrangeSettingsChanged(TObject* Sender, const std::string& PropName);
  virtual void PaintCaption() { PaintCaptionOn(GetCanvas()); }
  virtual void PaintCaptionOn(TCanvas* Canvas);
  virtual void PaintBorders();
  virtual bool CanStartMove(int32_t X, int32_t Y);
  virtual void MoveFinished();
  void Paint() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void Resize() override;
  void DoTextChange() override;
  bool DoBackgroundErase(TCanvas* Canvas, LPARAM Param) override;
  void DoParentColorChange() override;
  void DoMouseEnter(TControl* Control) override;
  void DoMouseLeave(TControl* Control) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  bool IsArrangeMarker() const override { return true; }
  bool Loading() const { return (GetComponentState() & (csLoading | csReading)) != 0; }

 private:
  bool InGripZone(int32_t X, int32_t Y) const { return GetWidth() - X <= 11 && GetHeight() - Y <= 11; }
  void ShowSizeCursor();
  void HideSizeCursor();

  TOxArrangeSettings* FArrangeSettings = nullptr;    // owned as a component
  TOxHotTrackOptions* FHotTrackOptions = nullptr;    // owned as a component
  std::unique_ptr<TFont> FHotTrackFont;
  TOxTrackFontOptions FHotTrackFontOptions = hoFollowFont | hoPreserveColor | hoPreserveStyle;
  bool FHotTrack = false;
  bool FMovable = false;
  bool FSizeable = false;
  bool FTransparent = false;
  bool FMultiLine = false;
  bool FFlatBorder = false;
  TColor FFlatBorderColor = clBtnShadow;
  int32_t FSuspendCount = 0;
  bool FArrangeInProgress = false;
  bool FSizeDragging = false;
  TPoint FSizeDragPoint;
  bool FMoveDragging = false;
  TPoint FMoveDragPoint;
  TCursor FSavedCursor = crDefault;
  bool FSizeCursorShown = false;
};

class TOxPanel : public TOxCustomArrangePanel {
 public:
  using TOxCustomArrangePanel::TOxCustomArrangePanel;
};
