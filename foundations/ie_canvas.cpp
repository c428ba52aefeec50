#include "foundations/ie_canvas.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundations/geometry_colour.h"
#include "foundations/settings.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"
#include "foundations/pixel_utils.h"

namespace {
int32_t GUsers = 0;

QColor ArgbColor(TColor Color, int32_t Alpha) {
  uint32_t V = IEColorToARGB(Color, uint8_t(std::clamp(Alpha, 0, 255)));
  return QColor::fromRgba(V);
}

// Pixel (X, Y)'s centre in the smooth renderer's coordinates.
QPointF Centre(int32_t X, int32_t Y) { return QPointF(X + 0.5, Y + 0.5); }

// Bounds of a list of points, widened by the pen.
QRectF PointBounds(const TPoint* P, int32_t N, double Pad) {
  double L = P[0].X, T = P[0].Y, R = L, B = T;
  for (int32_t I = 1; I < N; ++I) {
    L = std::min<double>(L, P[I].X);
    R = std::max<double>(R, P[I].X);
    T = std::min<double>(T, P[I].Y);
    B = std::max<double>(B, P[I].Y);
  }
  return QRectF(L - Pad, T - Pad, R - L + 1 + 2 * Pad, B - T + 1 + 2 * Pad);
}
}  // namespace

bool IEGDIPLoaded() { return true; }
bool IEGDIPEnabled() { return IEUseGDIPlus && IEGDIPLoaded(); }
void IEGDIPLoad() { ++GUsers; }
void IEGDIPUnload() {
  if (GUsers > 0) --GUsers;
}
int32_t IEGDIPUserCount() { return GUsers; }

// ---------------------------------------------------------------------------

TIEPen::TIEPen(TPen* Pen)
    : FPen(Pen),
      FColor(Pen != nullptr ? Pen->GetColor() : clBlack),
      FWidth(Pen != nullptr ? float(Pen->GetWidth()) : 1.0f),
      FStyle(Pen != nullptr ? Pen->GetStyle() : psSolid),
      FMode(Pen != nullptr ? Pen->GetMode() : pmCopy) {}

void TIEPen::SetColor(TColor Value) {
  FColor = Value;
  if (FPen != nullptr) FPen->SetColor(Value);
}

void TIEPen::SetWidth(float Value) {
  FWidth = Value;
  if (FPen != nullptr) FPen->SetWidth(int32_t(Value));
}

void TIEPen::SetStyle(TPenStyle Value) {
  FStyle = Value;
  if (FPen != nullptr) FPen->SetStyle(Value);
}

void TIEPen::SetMode(TPenMode Value) {
  FMode = Value;
  if (FPen != nullptr) FPen->SetMode(Value);
}

QPen TIEPen::ToQPen() const {
  if (FStyle == psClear || FAlpha <= 0) return QPen(Qt::NoPen);
  QPen P(ArgbColor(FColor, FAlpha));
  P.setWidthF(FWidth > 0 ? double(FWidth) : 1.0);
  switch (FStyle) {
    case psDash: P.setStyle(Qt::DashLine); break;
    case psDot: P.setStyle(Qt::DotLine); break;
    case psDashDot: P.setStyle(Qt::DashDotLine); break;
    case psDashDotDot: P.setStyle(Qt::DashDotDotLine); break;
    default: P.setStyle(Qt::SolidLine); break;
  }
  static const Qt::PenJoinStyle Joins[] = {Qt::MiterJoin, Qt::BevelJoin, Qt::RoundJoin,
                                           Qt::SvgMiterJoin};
  P.setJoinStyle(Joins[FLineJoin < 4 ? FLineJoin : 2]);
  P.setCapStyle(Qt::FlatCap);
  return P;
}

// ---------------------------------------------------------------------------

TIEBrush::TIEBrush(TBrush* Brush)
    : FBrush(Brush),
      FColor(Brush != nullptr ? Brush->GetColor() : clWhite),
      FStyle(Brush != nullptr ? Brush->GetStyle() : bsSolid) {}

void TIEBrush::SetColor(TColor Value) {
  FColor = Value;
  if (FBrush != nullptr) FBrush->SetColor(Value);
  // Setting a colour on the canvas brush makes a clear one solid: follow it.
  if (FBrush != nullptr) FStyle = FBrush->GetStyle();
}

void TIEBrush::SetStyle(TBrushStyle Value) {
  FStyle = Value;
  if (FBrush != nullptr) FBrush->SetStyle(Value);
}

QBrush TIEBrush::ToQBrush() const {
  QColor C = ArgbColor(FColor, FStyle == bsClear ? 0 : FAlpha);
  switch (FStyle) {
    case bsSolid:
    case bsClear: return C.alpha() == 0 ? QBrush(Qt::NoBrush) : QBrush(C);
    case bsHorizontal: return QBrush(C, Qt::HorPattern);
    case bsVertical: return QBrush(C, Qt::VerPattern);
    case bsFDiagonal: return QBrush(C, Qt::FDiagPattern);
    case bsBDiagonal: return QBrush(C, Qt::BDiagPattern);
    case bsCross: return QBrush(C, Qt::CrossPattern);
    case bsDiagCross: return QBrush(C, Qt::DiagCrossPattern);
    default: return QBrush(Qt::NoBrush);
  }
}

bool TIEBrush::HasHatchBackground() const {
  return FStyle >= bsHorizontal && FStyle <= bsDiagCross && FBackAlpha > 0;
}

QBrush TIEBrush::BackgroundQBrush() const { return QBrush(ArgbColor(FBackColor, FBackAlpha)); }

// ---------------------------------------------------------------------------

TIECanvas::TIECanvas(TCanvas* Canvas, bool AntiAlias, bool UseGDIPlus)
    : FCanvas(Canvas), FAntiAlias(AntiAlias) {
  FPen = std::make_unique<TIEPen>(Canvas != nullptr ? Canvas->GetPen() : nullptr);
  FBrush = std::make_unique<TIEBrush>(Canvas != nullptr ? Canvas->GetBrush() : nullptr);
  FUseGDIPlus = UseGDIPlus && IEGDIPEnabled();
  if (FUseGDIPlus && (Canvas == nullptr || Canvas->GetTarget() == nullptr)) {
    FBrush.reset();
    FPen.reset();
    throw Exception("Cannot create TIECanvas. GdipCreateFromHDC failed.");
  }
  if (Canvas != nullptr) FPenPos = Canvas->GetPenPos();
}

TIECanvas::~TIECanvas() = default;

void TIECanvas::MoveTo(int32_t X, int32_t Y) {
  FPenPos = TPoint{X, Y};
  if (!FUseGDIPlus && FCanvas != nullptr) FCanvas->MoveTo(X, Y);
}

void TIECanvas::LineTo(int32_t X, int32_t Y) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    FCanvas->LineTo(X, Y);
    FPenPos = TPoint{X, Y};
    return;
  }
  QPen P = FPen->ToQPen();
  const TPoint From = FPenPos;
  FPenPos = TPoint{X, Y};
  if (P.style() == Qt::NoPen || (From.X == X && From.Y == Y)) return;
  // The segment between pixel centres moved back by half a pixel along its
  // direction, with flat ends: it covers the first pixel and stops before
  // the last one.
  QPointF A = Centre(From.X, From.Y), B = Centre(X, Y);
  QPointF D = B - A;
  double Len = std::hypot(D.x(), D.y());
  QPointF U = D / Len * 0.5;
  QLineF Line(A - U, B - U);
  double Pad = P.widthF() + 2;
  QRectF Bounds = QRectF(Line.p1(), Line.p2()).normalized().adjusted(-Pad, -Pad, Pad, Pad);
  FCanvas->PaintSmooth(Bounds, FAntiAlias, [&](QPainter& G) {
    G.setPen(P);
    G.drawLine(Line);
  });
}

void TIECanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    TPoint Pts[2] = {{X1, Y1}, {X2, Y2}};
    FCanvas->Polygon(Pts, 2);
    return;
  }
  QPen P = FPen->ToQPen();
  if (P.style() == Qt::NoPen) return;
  P.setCapStyle(Qt::SquareCap);
  QLineF Line(Centre(X1, Y1), Centre(X2, Y2));
  double Pad = P.widthF() + 2;
  FCanvas->PaintSmooth(QRectF(Line.p1(), Line.p2()).normalized().adjusted(-Pad, -Pad, Pad, Pad),
                       FAntiAlias, [&](QPainter& G) {
                         G.setPen(P);
                         G.drawLine(Line);
                       });
}

void TIECanvas::FillRect(const TRect& Rect) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    FCanvas->FillRect(Rect);
    return;
  }
  int32_t L = Rect.Left, T = Rect.Top, R = Rect.Right, B = Rect.Bottom;
  IEOrderRect(L, T, R, B);
  QRectF Box(L, T, R - L, B - T);
  if (Box.isEmpty()) return;
  FCanvas->PaintSmooth(Box, FAntiAlias, [&](QPainter& G) {
    G.setPen(Qt::NoPen);
    if (FBrush->HasHatchBackground()) G.fillRect(Box, FBrush->BackgroundQBrush());
    G.fillRect(Box, FBrush->ToQBrush());
  });
}

void TIECanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    FCanvas->Rectangle(X1, Y1, X2, Y2);
    return;
  }
  IEOrderRect(X1, Y1, X2, Y2);
  QRectF Box(X1, Y1, X2 - X1, Y2 - Y1);
  if (Box.isEmpty()) return;
  QPen P = FPen->ToQPen();
  double Pad = P.widthF() + 2;
  FCanvas->PaintSmooth(Box.adjusted(-Pad, -Pad, Pad, Pad), FAntiAlias, [&](QPainter& G) {
    G.setPen(Qt::NoPen);
    if (FBrush->HasHatchBackground()) G.fillRect(Box, FBrush->BackgroundQBrush());
    G.fillRect(Box, FBrush->ToQBrush());
    if (P.style() == Qt::NoPen) return;
    const QRectF Line = Box.adjusted(0.5, 0.5, -0.5, -0.5);
    if (P.style() != Qt::SolidLine) {
      P.setJoinStyle(Qt::MiterJoin);
      G.setPen(P);
      G.setBrush(Qt::NoBrush);
      G.drawRect(Line);
      return;
    }
    // A solid outline is the band of the pen's width around the border
    // pixels' centres, square at the corners.
    const double H = P.widthF() / 2;
    QPainterPath Band;
    Band.setFillRule(Qt::OddEvenFill);
    Band.addRect(Line.adjusted(-H, -H, H, H));
    if (Line.width() > 2 * H && Line.height() > 2 * H) Band.addRect(Line.adjusted(H, H, -H, -H));
    G.fillPath(Band, P.brush());
  });
}

void TIECanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    FCanvas->Ellipse(X1, Y1, X2, Y2);
    return;
  }
  QPen P = FPen->ToQPen();
  int32_t L = X1, T = Y1, R = X2, B = Y2;
  if (FPen->GetWidth() != 1 && P.style() != Qt::NoPen) {
    // Boxes smaller than a thick pen are moved so the outline stays centred.
    const int32_t E = IERound(FPen->GetWidth() / 2.0);
    auto Axis = [E](int32_t& Lo, int32_t& Hi) {
      if (Lo > Hi) Lo += E;
      if (Lo <= Hi && E >= Hi - Lo - 1) Hi = Lo + E;
      if (Lo > Hi && E >= Lo - Hi - 1) Hi = Lo - E;
    };
    Axis(L, R);
    Axis(T, B);
    if (L == R - E) L -= E;
    if (T == B - E) T -= E;
    if (L == R) L -= E + 1, R -= E + 1;
    if (T == B) T -= E + 1, B -= E + 1;
    if (L > R) L -= E, R -= E - 1;
  }
  IEOrderRect(L, T, R, B);
  QRectF Box(L, T, R - L, B - T);
  if (Box.isEmpty()) return;
  double Pad = P.widthF() + 2;
  FCanvas->PaintSmooth(Box.adjusted(-Pad, -Pad, Pad, Pad), FAntiAlias, [&](QPainter& G) {
    G.setPen(Qt::NoPen);
    if (FBrush->HasHatchBackground()) {
      G.setBrush(FBrush->BackgroundQBrush());
      G.drawEllipse(Box);
    }
    G.setBrush(FBrush->ToQBrush());
    G.drawEllipse(Box);
    if (P.style() == Qt::NoPen) return;
    G.setPen(P);
    G.setBrush(Qt::NoBrush);
    G.drawEllipse(Box.adjusted(0.5, 0.5, -0.5, -0.5));
  });
}

void TIECanvas::Polygon(const TPoint* Points, int32_t High) {
  if (FCanvas == nullptr || Points == nullptr || High < 0) return;
  if (!FUseGDIPlus) {
    FCanvas->Polygon(Points, High + 1);
    return;
  }
  QPolygonF Poly;
  for (int32_t I = 0; I <= High; ++I) Poly << Centre(Points[I].X, Points[I].Y);
  QPen P = FPen->ToQPen();
  FCanvas->PaintSmooth(PointBounds(Points, High + 1, P.widthF() + 2), FAntiAlias, [&](QPainter& G) {
    if (P.style() != Qt::NoPen) {
      G.setPen(P);
      G.setBrush(Qt::NoBrush);
      G.drawPolygon(Poly, Qt::OddEvenFill);
    }
    G.setPen(Qt::NoPen);
    if (FBrush->HasHatchBackground()) {
      G.setBrush(FBrush->BackgroundQBrush());
      G.drawPolygon(Poly, Qt::OddEvenFill);
    }
    G.setBrush(FBrush->ToQBrush());
    G.drawPolygon(Poly, Qt::OddEvenFill);
  });
}

void TIECanvas::Polyline(const TPoint* Points, int32_t High) {
  if (FCanvas == nullptr || Points == nullptr || High < 0) return;
  if (!FUseGDIPlus) {
    FCanvas->Polyline(Points, High + 1);
    return;
  }
  QPen P = FPen->ToQPen();
  if (P.style() == Qt::NoPen) return;
  QPolygonF Line;
  for (int32_t I = 0; I <= High; ++I) Line << Centre(Points[I].X, Points[I].Y);
  FCanvas->PaintSmooth(PointBounds(Points, High + 1, P.widthF() + 2), FAntiAlias, [&](QPainter& G) {
    G.setPen(P);
    G.drawPolyline(Line);
  });
}

void TIECanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3,
                    int32_t X4, int32_t Y4) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  QPen P = FPen->ToQPen();
  if (P.style() == Qt::NoPen) return;
  const int32_t CX = (X1 + X2) / 2, CY = (Y1 + Y2) / 2;
  const double ToDeg = 180 / std::numbers::pi;
  // From the end point clockwise round to the start point: the same arc as
  // counter-clockwise from start to end.
  const double Start = IELineAngle(CX, CY, X4, Y4) * ToDeg;
  const double Sweep = IEVertexAngle(X3, Y3, CX, CY, X4, Y4) * ToDeg;
  QRectF Box(X1 + 0.5, Y1 + 0.5, X2 - X1 + 1, Y2 - Y1 + 1);
  double Pad = P.widthF() + 2;
  FCanvas->PaintSmooth(Box.normalized().adjusted(-Pad, -Pad, Pad, Pad), FAntiAlias,
                       [&](QPainter& G) {
                         QPainterPath Path;
                         Path.arcMoveTo(Box, Start);
                         Path.arcTo(Box, Start, -Sweep);
                         G.setPen(P);
                         G.setBrush(Qt::NoBrush);
                         G.drawPath(Path);
                       });
}

void TIECanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t CornerWidth,
                          int32_t CornerHeight) {
  if (FCanvas == nullptr) return;
  if (!FUseGDIPlus) {
    FCanvas->RoundRect(X1, Y1, X2, Y2, CornerWidth, CornerHeight);
    return;
  }
  IEOrderRect(X1, Y1, X2, Y2);
  const int32_t W = X2 - X1, H = Y2 - Y1;
  if (W <= 0 || H <= 0) return;
  const double CW = std::clamp(CornerWidth, 0, W), CH = std::clamp(CornerHeight, 0, H);
  // Four quarter arcs in the order top-left, top-right, bottom-right,
  // bottom-left; Inset 0.5 gives the outline through the border pixels.
  auto Build = [&](double Inset) {
    QRectF Box(X1 + Inset, Y1 + Inset, W - 2 * Inset, H - 2 * Inset);
    const double cw = std::min(CW, Box.width()), ch = std::min(CH, Box.height());
    QPainterPath Path;
    Path.setFillRule(Qt::OddEvenFill);
    if (cw <= 0 || ch <= 0) {
      Path.addRect(Box);
      return Path;
    }
    const double L = Box.left(), T = Box.top(), R = Box.right(), B = Box.bottom();
    Path.arcMoveTo(QRectF(L, T, cw, ch), 180);
    Path.arcTo(QRectF(L, T, cw, ch), 180, -90);
    Path.arcTo(QRectF(R - cw, T, cw, ch), 90, -90);
    Path.arcTo(QRectF(R - cw, B - ch, cw, ch), 0, -90);
    Path.arcTo(QRectF(L, B - ch, cw, ch), 270, -90);
    Path.closeSubpath();
    return Path;
  };
  QPen P = FPen->ToQPen();
  double Pad = P.widthF() + 2;
  FCanvas->PaintSmooth(QRectF(X1, Y1, W, H).adjusted(-Pad, -Pad, Pad, Pad), FAntiAlias,
                       [&](QPainter& G) {
                         QPainterPath Fill = Build(0);
                         G.setPen(Qt::NoPen);
                         if (FBrush->HasHatchBackground()) G.fillPath(Fill, FBrush->BackgroundQBrush());
                         G.fillPath(Fill, FBrush->ToQBrush());
                         if (P.style() == Qt::NoPen) return;
                         G.setPen(P);
                         G.setBrush(Qt::NoBrush);
                         G.drawPath(Build(0.5));
                       });
}

int32_t TIECanvas::TextWidth(const std::string& Text) {
  return FCanvas != nullptr ? FCanvas->TextWidth(Text) : 0;
}
int32_t TIECanvas::TextHeight(const std::string& Text) {
  return FCanvas != nullptr ? FCanvas->TextHeight(Text) : 0;
}
TSize TIECanvas::TextExtent(const std::string& Text) {
  return FCanvas != nullptr ? FCanvas->TextExtent(Text) : TSize{};
}
void TIECanvas::TextOut(int32_t X, int32_t Y, const std::string& Text) {
  if (FCanvas != nullptr) FCanvas->TextOut(X, Y, Text);
}
void TIECanvas::TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text) {
  if (FCanvas != nullptr) FCanvas->TextRect(Rect, X, Y, Text);
}
TFont* TIECanvas::GetFont() { return FCanvas != nullptr ? FCanvas->GetFont() : nullptr; }
void TIECanvas::ClippedTextOut(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text) {
  if (FCanvas == nullptr) return;
  int32_t Mode = FCanvas->GetBkMode();
  FCanvas->SetBkMode(TRANSPARENT);
  FCanvas->ExtTextOut(X, Y, (uint32_t(FCanvas->GetTextFlags()) & ~ETO_OPAQUE) | ETO_CLIPPED, &Rect, Text);
  FCanvas->SetBkMode(Mode);
}
