#pragma once
// Window-less progress bars: the base (range, position, orientation,
// stepping, a plain painter), the two-colour base and the XP-style bar with a
// rounded gray frame and green gradient blocks.
#include <cstdint>
#include <string>

#include "platform/vcl/controls.h"
#include "platform/vcl/form_reader.h"

enum TProgressBarOrientation : uint8_t { pbHorizontal, pbVertical };

class TOxBaseProgressBar : public TGraphicControl {
 public:
  explicit TOxBaseProgressBar(TComponent* AOwner);

  int32_t GetBlockSize() const { return FBlockSize; }
  void SetBlockSize(int32_t Value);
  bool GetSmooth() const { return FSmooth; }
  void SetSmooth(bool Value);
  int32_t GetPosition() const { return FPosition; }
  // Clamped to Max, then to Min; a change notifies and repaints.
  void SetPosition(int32_t Value);
  int32_t GetMin() const { return FMin; }
  // Above Max becomes Max; a Position below it is raised silently.
  void SetMin(int32_t Value);
  int32_t GetMax() const { return FMax; }
  // Below Min becomes Min; a Position above it is lowered silently.
  void SetMax(int32_t Value);
  TProgressBarOrientation GetOrientation() const { return FOrientation; }
  // Keeps the size: a vertical bar grows from the bottom.
  void SetOrientation(TProgressBarOrientation Value);
  TColor GetBarColor() const { return FBarColor; }
  void SetBarColor(TColor Value);
  int32_t GetStep() const { return FStep; }
  // 0 or less stores 1.
  void SetStep(int32_t Value);

  virtual int32_t FullBarLength() const;
  virtual void NotifyChange();
  virtual void AdvanceOneStep();
  virtual void AdvanceBy(int32_t Delta);

  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  virtual void PaintBar(TCanvas* Canvas, int32_t BarLength);

  int32_t FBlockSize = 10;
  bool FSmooth = false;
  int32_t FPosition = 0;
  int32_t FMin = 0;
  int32_t FMax = 100;
  TProgressBarOrientation FOrientation = pbHorizontal;
  TColor FBarColor = clHighlight;
  int32_t FStep = 10;
};

class TOxBaseGradientProgressBar : public TOxBaseProgressBar {
 public:
  using TOxBaseProgressBar::TOxBaseProgressBar;
  TColor GetBarColorFrom() const { return FBarColorFrom; }
  void SetBarColorFrom(TColor Value);
  TColor GetBarColorTo() const { return FBarColorTo; }
  void SetBarColorTo(TColor Value);
  const TFormPropertyTable& FormProperties() const override;

 protected:
  TColor FBarColorFrom = clHighlight;
  TColor FBarColorTo = clHighlight;
};

// Colours of the XP bar's frame ($BBGGRR).
constexpr TColor kXPBarDark = static_cast<TColor>(0x686868);
constexpr TColor kXPBarMiddle = static_cast<TColor>(0xBEBEBE);
constexpr TColor kXPBarLight = static_cast<TColor>(0xEFEFEF);

class TOxCustomXPProgressBar : public TOxBaseGradientProgressBar {
 public:
  explicit TOxCustomXPProgressBar(TComponent* AOwner);

 protected:
  void PaintBar(TCanvas* Canvas, int32_t BarLength) override;
};

class TOxXPProgressBar : public TOxCustomXPProgressBar {
 public:
  using TOxCustomXPProgressBar::TOxCustomXPProgressBar;
};
