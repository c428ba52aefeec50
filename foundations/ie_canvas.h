#pragma once
// TIECanvas: the drawing surface of the views, vector objects and text
// control.  It wraps a TCanvas and draws its shapes either through the
// canvas's own pixel rules or smoothly: antialiased when asked, with
// translucent pens and brushes.  The smooth renderer is always present here
// (IEGDIPLoaded is true), so IEUseGDIPlus alone decides whether it may be
// used.  Smooth shapes cover the same pixels as the plain ones: a
// rectangle or ellipse from (L, T) to (R, B) covers L..R-1 and T..B-1, its
// outline lies on that box's border pixels.  Text is always drawn by the
// canvas.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/object.h"
#include "platform/rtl/types.h"

class TCanvas;
class TFont;
class QPen;
class QBrush;

// The smooth renderer's user count: every single-image view loads it at
// creation and unloads it at destruction.
bool IEGDIPLoaded();
bool IEGDIPEnabled();
void IEGDIPLoad();
void IEGDIPUnload();
int32_t IEGDIPUserCount();

class TIEPen : public TObject {
 public:
  // Copies colour, width, style and mode of the canvas pen.
  explicit TIEPen(TPen* Pen);
  TColor GetColor() const { return FColor; }
  // Also sets the canvas pen's colour.
  void SetColor(TColor Value);
  int32_t GetAlpha() const { return FAlpha; }
  // Smooth drawing only; the canvas pen is not affected.
  void SetAlpha(int32_t Value) { FAlpha = Value; }
  float GetWidth() const { return FWidth; }
  // The canvas pen gets the width truncated.
  void SetWidth(float Value);
  TPenStyle GetStyle() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode GetMode() const { return FMode; }
  // The canvas pen only.
  void SetMode(TPenMode Value);
  // 0 miter, 1 bevel, 2 round (default), 3 clipped miter.
  uint8_t GetLineJoin() const { return FLineJoin; }
  void SetLineJoin(uint8_t Value) { FLineJoin = Value; }
  TPen* GetPen() const { return FPen; }
  // The smooth pen; NoPen for a clear style or alpha 0.
  QPen ToQPen() const;

 private:
  TPen* FPen;
  TColor FColor;
  int32_t FAlpha = 255;
  float FWidth;
  TPenStyle FStyle;
  TPenMode FMode;
  uint8_t FLineJoin = 2;
};

class TIEBrush : public TObject {
 public:
  explicit TIEBrush(TBrush* Brush);
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  int32_t GetAlpha() const { return FAlpha; }
  void SetAlpha(int32_t Value) { FAlpha = Value; }
  TColor GetBackColor() const { return FBackColor; }
  void SetBackColor(TColor Value) { FBackColor = Value; }
  int32_t GetBackAlpha() const { return FBackAlpha; }
  void SetBackAlpha(int32_t Value) { FBackAlpha = Value; }
  TBrushStyle GetStyle() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  TBrush* GetBrush() const { return FBrush; }
  // The smooth brush (hatched ones without their background) and whether a
  // hatched brush has a background to paint first.
  QBrush ToQBrush() const;
  bool HasHatchBackground() const;
  QBrush BackgroundQBrush() const;

 private:
  TBrush* FBrush;
  TColor FColor;
  int32_t FAlpha = 255;
  TColor FBackColor = 0;
  int32_t FBackAlpha = 0;
  TBrushStyle FStyle;
};

class TIECanvas : public TObject {
 public:
  // Draws smoothly when UseGDIPlus and IEGDIPEnabled.  A null canvas raises
  // Exception "Cannot create TIECanvas. GdipCreateFromHDC failed." when
  // smooth drawing was asked for.
  TIECanvas(TCanvas* Canvas, bool AntiAlias = true, bool UseGDIPlus = true);
  ~TIECanvas() override;
  TIECanvas(const TIECanvas&) = delete;
  TIECanvas& operator=(const TIECanvas&) = delete;

  TCanvas* GetCanvas() const { return FCanvas; }
  TCanvas* GetHandle() const { return FCanvas; }
  TIEPen* GetPen() const { return FPen.get(); }
  TIEBrush* GetBrush() const { return FBrush.get(); }
  bool GetUseGDIPlus() const { return FUseGDIPlus; }
  bool GetAntiAlias() const { return FAntiAlias; }
  TPoint GetPenPos() const { return FPenPos; }

  void MoveTo(int32_t X, int32_t Y);
  // Leaves out the last pixel, as the canvas does.
  void LineTo(int32_t X, int32_t Y);
  // Both end pixels included.
  void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void FillRect(const TRect& Rect);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void EllipseRect(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  // Points[0..High]: the outline first, then the fill (alternate) over it.
  void Polygon(const TPoint* Points, int32_t High);
  void Polyline(const TPoint* Points, int32_t High);
  // The canvas's Arc: bounding box, start point, end point, counter-clockwise.
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
           int32_t Y4);
  // Corner sizes larger than the box are cut to the box.
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t CornerWidth,
                 int32_t CornerHeight);

  int32_t TextWidth(const std::string& Text);
  int32_t TextHeight(const std::string& Text);
  TSize TextExtent(const std::string& Text);
  void TextOut(int32_t X, int32_t Y, const std::string& Text);
  void TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text);
  TFont* GetFont();
  // Text clipped to Rect, no background.
  void ClippedTextOut(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text);

 private:
  TCanvas* FCanvas;
  std::unique_ptr<TIEPen> FPen;
  std::unique_ptr<TIEBrush> FBrush;
  TPoint FPenPos;
  bool FUseGDIPlus = false;
  bool FAntiAlias = true;
};
