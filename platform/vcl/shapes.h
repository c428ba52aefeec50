#pragma once
// Drawn decorations: the bevel (a sunken or raised box, frame or line) and
// the shape (a rectangle, square, rounded rectangle or square, ellipse or
// circle drawn with a pen and a brush). Both paint over their parent's
// colour.
#include <cstdint>
#include <memory>

#include "platform/vcl/controls.h"

class TPen;
class TBrush;

enum TBevelShape : uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle : uint8_t { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* AOwner);
  TBevelShape GetShape() const { return FShape; }
  void SetShape(TBevelShape Value);
  TBevelStyle GetStyle() const { return FStyle; }
  void SetStyle(TBevelStyle Value);
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void Paint() override;

 private:
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLowered;
};

enum TShapeType : uint8_t { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TShape : public TGraphicControl {
 public:
  explicit TShape(TComponent* AOwner);
  ~TShape() override;
  TShapeType GetShape() const { return FShape; }
  void SetShape(TShapeType Value);
  // The pen and brush; changing them repaints the shape.
  TPen* GetPen() const { return FPen.get(); }
  void SetPen(TPen* Value);
  TBrush* GetBrush() const { return FBrush.get(); }
  void SetBrush(TBrush* Value);
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void Paint() override;

 private:
  TShapeType FShape = stRectangle;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
};
