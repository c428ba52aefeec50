#pragma once
// Panels and the timer component.
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/vcl/controls.h"
#include "platform/vcl/form_reader.h"

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

// A container with optional bevels and a centred caption.
class TCustomPanel : public TCustomControl {
 public:
  explicit TCustomPanel(TComponent* AOwner);

  TBevelCut GetBevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut GetBevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut Value);
  int32_t GetBevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int32_t Value);
  int32_t GetBorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int32_t Value);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool GetFullRepaint() const { return FFullRepaint; }
  void SetFullRepaint(bool Value) { FFullRepaint = Value; }

  void SetText(const std::string& Value) override;
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void Paint() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;

 private:
  TBevelCut FBevelInner = bvNone;
  TBevelCut FBevelOuter = bvRaised;
  int32_t FBevelWidth = 1;
  int32_t FBorderWidth = 0;
  TAlignment FAlignment = taCenter;
  bool FFullRepaint = true;
};

class TPanel : public TCustomPanel {
 public:
  using TCustomPanel::TCustomPanel;
};

// Fires OnTimer every Interval milliseconds in the GUI thread while Enabled
// (not while its form is being read).
class TTimer : public TComponent, public IFormPropertyTarget {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  uint32_t GetInterval() const { return FInterval; }
  void SetInterval(uint32_t Value);

  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnTimer;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  bool FEnabled = true;
  uint32_t FInterval = 1000;
  std::unique_ptr<QTimer> FTimer;
};

// A surface that its owner paints in OnPaint through the canvas.
class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* AOwner);
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
};
