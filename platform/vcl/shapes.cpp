#include "platform/vcl/shapes.h"

#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/form_properties.h"

namespace {
void FillParent(TGraphicControl* Control, TCanvas* C, TColor Own) {
  TBitmap* B = Control->GetFrontBuffer();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(Control->GetParent() ? Control->GetParent()->GetColor() : Own);
  C->FillRect(Rect(0, 0, B->GetWidth(), B->GetHeight()));
}
}  // namespace

// ------------------------------------------------------------ TBevel
TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle |= csReplicatable;
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape Value) {
  FShape = Value;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle Value) {
  FStyle = Value;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas* C = GetCanvas();
  FillParent(this, C, FColor);
  TColor Color1 = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor Color2 = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
  TPen* Pen = C->GetPen();
  Pen->SetWidth(1);
  Pen->SetStyle(psSolid);
  auto Line = [&](TColor Color, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    Pen->SetColor(Color);
    C->MoveTo(X1, Y1);
    C->LineTo(X2, Y2);
  };
  // The top and left edges in Color1, the bottom and right ones in Color2.
  auto Box = [&](const TRect& R) {
    Pen->SetColor(Color1);
    const TPoint TopLeft[] = {{R.Left, R.Bottom}, {R.Left, R.Top}, {R.Right, R.Top}};
    C->Polyline(TopLeft, 3);
    Pen->SetColor(Color2);
    const TPoint BottomRight[] = {{R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}};
    C->Polyline(BottomRight, 3);
  };
  const int32_t W = FWidth, H = FHeight;
  switch (FShape) {
    case bsBox:
      Box(Rect(0, 0, W - 1, H - 1));
      break;
    case bsFrame: {
      const TColor Keep = Color1;
      Color1 = Color2;
      Box(Rect(1, 1, W - 1, H - 1));
      Color2 = Keep;
      Color1 = Keep;
      Box(Rect(0, 0, W - 2, H - 2));
      break;
    }
    case bsTopLine:
      Line(Color1, 0, 0, W, 0);
      Line(Color2, 0, 1, W, 1);
      break;
    case bsBottomLine:
      Line(Color1, 0, H - 2, W, H - 2);
      Line(Color2, 0, H - 1, W, H - 1);
      break;
    case bsLeftLine:
      Line(Color1, 0, 0, 0, H);
      Line(Color2, 1, 0, 1, H);
      break;
    case bsRightLine:
      Line(Color1, W - 2, 0, W - 2, H);
      Line(Color2, W - 1, 0, W - 1, H);
      break;
    case bsSpacer:
      break;
  }
}

const TFormPropertyTable& TBevel::FormProperties() const {
  static const TFormEnumNames ShapeNames = {"bsBox",       "bsFrame",     "bsTopLine", "bsBottomLine",
                                            "bsLeftLine",  "bsRightLine", "bsSpacer"};
  static const TFormEnumNames StyleNames = {"bsLowered", "bsRaised"};
  static const TFormPropertyTable Table = TFormProperties<TBevel>("TBevel", &TGraphicControl::FormProperties())
                                              .Enum("Shape", ShapeNames, &TBevel::GetShape, &TBevel::SetShape)
                                              .Enum("Style", StyleNames, &TBevel::GetStyle, &TBevel::SetStyle)
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ TShape
TShape::TShape(TComponent* AOwner)
    : TGraphicControl(AOwner), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  FControlStyle |= csReplicatable;
  FPen->OnChange = [this](TObject*) { Invalidate(); };
  FBrush->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(0, 0, 65, 65);
}

TShape::~TShape() {
  FPen->OnChange = nullptr;
  FBrush->OnChange = nullptr;
}

void TShape::SetShape(TShapeType Value) {
  FShape = Value;
  Invalidate();
}

void TShape::SetPen(TPen* Value) { FPen->Assign(Value); }
void TShape::SetBrush(TBrush* Value) { FBrush->Assign(Value); }

void TShape::Paint() {
  TCanvas* C = GetCanvas();
  FillParent(this, C, FColor);
  C->SetPen(FPen.get());
  C->SetBrush(FBrush.get());
  const int32_t PW = FPen->GetWidth();
  int32_t X = PW / 2, Y = X;
  int32_t W = FWidth - PW + 1, H = FHeight - PW + 1;
  if (PW == 0) {
    --W;
    --H;
  }
  const int32_t S = std::min(W, H);
  if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) {
    X += (W - S) / 2;
    Y += (H - S) / 2;
    W = S;
    H = S;
  }
  switch (FShape) {
    case stRectangle:
    case stSquare:
      C->Rectangle(X, Y, X + W, Y + H);
      break;
    case stRoundRect:
    case stRoundSquare:
      C->RoundRect(X, Y, X + W, Y + H, S / 4, S / 4);
      break;
    case stEllipse:
    case stCircle:
      C->Ellipse(X, Y, X + W, Y + H);
      break;
  }
}

const TFormPropertyTable& TShape::FormProperties() const {
  static const TFormEnumNames ShapeNames = {"stRectangle", "stSquare",  "stRoundRect",
                                            "stRoundSquare", "stEllipse", "stCircle"};
  static const TFormPropertyTable Table =
      TFormProperties<TShape>("TShape", &TGraphicControl::FormProperties())
          .Nested("Brush", [](const TShape& S) { return S.GetBrush(); }, BrushFormProperties())
          .Nested("Pen", [](const TShape& S) { return S.GetPen(); }, PenFormProperties())
          .Enum("Shape", ShapeNames, &TShape::GetShape, &TShape::SetShape)
          .Build();
  return Table;
}
