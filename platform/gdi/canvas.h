#pragma once
// TCanvas: drawing on a bitmap (any QImage) with GDI's pixel rules:
// - Rectangle, Ellipse and RoundRect cover Left..Right-1 and Top..Bottom-1
//   (with a clear pen the figure is one pixel smaller, its fill only);
// - a line leaves out its last pixel; Polygon and Polyline draw the points;
// - pen modes (copy, XOR, NOT, ...) touch every pixel of a figure once, so
//   XOR twice restores the picture;
// - 1-pixel pens are exact; dashed pens fill their gaps with the background
//   colour while the brush is solid (opaque background mode);
// - on 1-bit and 8-bit images every written colour is mapped to the nearest
//   colour of the image's table, so a fax page stays black and white.
// Coordinates are logical: the viewport origin is added to reach the image.
#include <QImage>
#include <QRegion>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/components.h"
#include "platform/rtl/types.h"

class QPainter;
class QRectF;
class TGraphic;
class TRegion;

// Ternary raster operations (P = brush, S = source, D = destination).
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t NOTSRCERASE = 0x001100A6;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t MERGEPAINT = 0x00BB0226;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATPAINT = 0x00FB0A09;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmDstInvert = DSTINVERT;
constexpr TCopyMode cmMergeCopy = MERGECOPY;
constexpr TCopyMode cmMergePaint = MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
constexpr TCopyMode cmPatCopy = PATCOPY;
constexpr TCopyMode cmPatInvert = PATINVERT;
constexpr TCopyMode cmPatPaint = PATPAINT;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcErase = SRCERASE;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmWhiteness = WHITENESS;

// Stretch modes: how pixels are dropped or merged when a blit shrinks.
constexpr int32_t BLACKONWHITE = 1;
constexpr int32_t WHITEONBLACK = 2;
constexpr int32_t COLORONCOLOR = 3;
constexpr int32_t HALFTONE = 4;
constexpr int32_t STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int32_t STRETCH_ORSCANS = WHITEONBLACK;
constexpr int32_t STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int32_t STRETCH_HALFTONE = HALFTONE;

// Polygon fill modes.
constexpr int32_t ALTERNATE = 1;
constexpr int32_t WINDING = 2;

// Background modes.
constexpr int32_t TRANSPARENT = 1;
constexpr int32_t OPAQUE = 2;

// Text alignment: where the reference point of TextOut lies on the text.
constexpr uint32_t TA_NOUPDATECP = 0;
constexpr uint32_t TA_UPDATECP = 1;
constexpr uint32_t TA_LEFT = 0;
constexpr uint32_t TA_RIGHT = 2;
constexpr uint32_t TA_CENTER = 6;
constexpr uint32_t TA_TOP = 0;
constexpr uint32_t TA_BOTTOM = 8;
constexpr uint32_t TA_BASELINE = 24;

// DrawEdge edges and flags.
constexpr uint32_t BDR_RAISEDOUTER = 0x1;
constexpr uint32_t BDR_SUNKENOUTER = 0x2;
constexpr uint32_t BDR_RAISEDINNER = 0x4;
constexpr uint32_t BDR_SUNKENINNER = 0x8;
constexpr uint32_t EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr uint32_t EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr uint32_t BF_LEFT = 0x1;
constexpr uint32_t BF_TOP = 0x2;
constexpr uint32_t BF_RIGHT = 0x4;
constexpr uint32_t BF_BOTTOM = 0x8;
constexpr uint32_t BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr uint32_t BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr uint32_t BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr uint32_t BF_MIDDLE = 0x800;
constexpr uint32_t BF_SOFT = 0x1000;
constexpr uint32_t BF_ADJUST = 0x2000;
constexpr uint32_t BF_FLAT = 0x4000;
constexpr uint32_t BF_MONO = 0x8000;

// Text output options.
constexpr uint32_t ETO_OPAQUE = 0x0002;
constexpr uint32_t ETO_CLIPPED = 0x0004;
constexpr uint32_t ETO_RTLREADING = 0x0080;

// DrawText formats.
constexpr uint32_t DT_TOP = 0x0;
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_VCENTER = 0x4;
constexpr uint32_t DT_BOTTOM = 0x8;
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_SINGLELINE = 0x20;
constexpr uint32_t DT_EXPANDTABS = 0x40;
constexpr uint32_t DT_TABSTOP = 0x80;
constexpr uint32_t DT_NOCLIP = 0x100;
constexpr uint32_t DT_EXTERNALLEADING = 0x200;
constexpr uint32_t DT_CALCRECT = 0x400;
constexpr uint32_t DT_NOPREFIX = 0x800;
constexpr uint32_t DT_INTERNAL = 0x1000;
constexpr uint32_t DT_EDITCONTROL = 0x2000;
constexpr uint32_t DT_PATH_ELLIPSIS = 0x4000;
constexpr uint32_t DT_END_ELLIPSIS = 0x8000;
constexpr uint32_t DT_MODIFYSTRING = 0x10000;
constexpr uint32_t DT_RTLREADING = 0x20000;
constexpr uint32_t DT_WORD_ELLIPSIS = 0x40000;
constexpr uint32_t DT_HIDEPREFIX = 0x100000;
constexpr uint32_t DT_PREFIXONLY = 0x200000;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  // Draws on Target, which the canvas does not own (nullptr: draws nothing).
  explicit TCanvas(QImage* Target);
  ~TCanvas() override;

  QImage* GetTarget() const { return FTarget; }
  void SetTarget(QImage* Target);
  bool HandleAllocated() const { return FTarget != nullptr; }

  TPen* GetPen() const { return FPen.get(); }
  void SetPen(TPen* Value) { FPen->Assign(Value); }
  TBrush* GetBrush() const { return FBrush.get(); }
  void SetBrush(TBrush* Value) { FBrush->Assign(Value); }
  TFont* GetFont() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }

  TPoint GetPenPos() const { return FPenPos; }
  void SetPenPos(const TPoint& Value) { FPenPos = Value; }
  TCopyMode GetCopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
  int32_t GetTextFlags() const { return FTextFlags; }
  // TA_* values; TA_LEFT | TA_TOP by default.
  uint32_t GetTextAlign() const { return FTextAlign; }
  void SetTextAlign(uint32_t Value) { FTextAlign = Value; }
  void SetTextFlags(int32_t Value) { FTextFlags = Value; }
  // The part of the canvas drawing can reach, in logical coordinates.
  TRect GetClipRect() const;

  // Pixels: the colour at (X, Y); -1 outside the canvas or its clip.
  TColor GetPixel(int32_t X, int32_t Y) const;
  // Sets one pixel (pen mode ignored); nothing outside the clip.
  void SetPixel(int32_t X, int32_t Y, TColor Color);

  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  // Fills with the brush only (no pen, pen mode ignored).
  void FillRect(const TRect& R);
  // A one-pixel frame in the brush colour.
  void FrameRect(const TRect& R);
  // A dotted XOR frame; drawing it twice removes it.
  void DrawFocusRect(const TRect& R);
  void InvertRect(const TRect& R);
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  // The part of the ellipse in (X1,Y1)-(X2,Y2) from the ray towards (X3,Y3)
  // counter-clockwise to the ray towards (X4,Y4).
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
           int32_t Y4);
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
  void Polygon(const TPoint* Points, int32_t Count);
  void Polygon(const std::vector<TPoint>& Points) {
    Polygon(Points.data(), static_cast<int32_t>(Points.size()));
  }
  // Lines through the points; the last point is left out, the pen position
  // ends there.
  void Polyline(const TPoint* Points, int32_t Count);
  void Polyline(const std::vector<TPoint>& Points) {
    Polyline(Points.data(), static_cast<int32_t>(Points.size()));
  }

  // Text is UTF-8. The reference point (X, Y) is the top-left corner of the
  // text cell, turned about itself by the font's orientation.
  void TextOut(int32_t X, int32_t Y, const std::string& Text);
  // Draws inside R only; fills R with the brush first unless it is clear.
  void TextRect(const TRect& R, int32_t X, int32_t Y, const std::string& Text);
  TSize TextExtent(const std::string& Text) const;
  int32_t TextWidth(const std::string& Text) const { return TextExtent(Text).cx; }
  int32_t TextHeight(const std::string& Text) const { return TextExtent(Text).cy; }
  // Text with the text colour; Options ETO_OPAQUE (fill R with the
  // background colour) and ETO_CLIPPED (clip to R).
  void ExtTextOut(int32_t X, int32_t Y, uint32_t Options, const TRect* R,
                  const std::string& Text);
  // Ascent, descent and internal leading of the current font in pixels.
  void GetTextMetrics(int32_t& Ascent, int32_t& Descent, int32_t& InternalLeading,
                      int32_t& AveCharWidth) const;

  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  // Copies Source of Canvas into Dest of this canvas with the copy mode,
  // stretching as needed.
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);

  void Lock();
  void Unlock();
  bool TryLock();
  int32_t GetLockCount() const { return FLockCount; }
  void Refresh() {}

  // Device-context state.
  int32_t GetPolyFillMode() const { return FPolyFillMode; }
  void SetPolyFillMode(int32_t Value) { FPolyFillMode = Value; }
  int32_t GetStretchBltMode() const { return FStretchBltMode; }
  void SetStretchBltMode(int32_t Value) { FStretchBltMode = Value; }
  int32_t GetBkMode() const { return FBkMode; }
  void SetBkMode(int32_t Value) { FBkMode = Value; }
  // Follow the font colour and the brush colour until set here.
  TColor GetTextColor() const { return FTextColor; }
  void SetTextColor(TColor Value) { FTextColor = Value; }
  TColor GetBkColor() const { return FBkColor; }
  void SetBkColor(TColor Value) { FBkColor = Value; }
  TPoint GetViewportOrg() const { return FOrigin; }
  void SetViewportOrg(const TPoint& Value) { FOrigin = Value; }
  int32_t GetPixelsPerInchX() const { return FPixelsPerInchX; }
  int32_t GetPixelsPerInchY() const { return FPixelsPerInchY; }
  void SetPixelsPerInch(int32_t X, int32_t Y);
  // The device the canvas stands for, when it is more than its bitmap (a
  // printer's page): GetDeviceCaps asks Caps first; Caps answers false for
  // what the bitmap tells.
  using TDeviceCaps = std::function<bool(int32_t Index, int32_t& Value)>;
  void SetDeviceCaps(TDeviceCaps Caps) { FDeviceCaps = std::move(Caps); }
  const TDeviceCaps& GetDeviceCapsHook() const { return FDeviceCaps; }
  // A monochrome device bitmap maps to colour through the text colour (0)
  // and background colour (1), and colour maps to it by "equals background
  // colour"; a monochrome DIB uses its colour table both ways.
  bool GetMonochromeDevice() const { return FMonochromeDevice; }
  void SetMonochromeDevice(bool Value) { FMonochromeDevice = Value; }
  // Clip in device coordinates; nullopt = none.
  const std::optional<QRegion>& GetClip() const { return FClip; }
  void SetClip(const std::optional<QRegion>& Clip) { FClip = Clip; }
  // Saves clip, origin and modes; RestoreDC(-1) restores the last saved.
  int32_t SaveDC();
  bool RestoreDC(int32_t SavedDC);

  // Stretches (XSrc, YSrc, WSrc, HSrc) of Src into (X, Y, W, H) of this
  // canvas (logical coordinates) with the ternary raster operation Rop and
  // the stretch mode. Negative sizes mirror. SrcMonoDevice: Src is a
  // monochrome device bitmap (see SetMonochromeDevice), SrcBkColor is the
  // source side's background colour. Pixels of colour Transparent (not
  // clNone) are skipped.
  void StretchFromImage(const QImage& Src, int32_t X, int32_t Y, int32_t W, int32_t H,
                        int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc, uint32_t Rop,
                        bool SrcMonoDevice = false, TColor SrcBkColor = clWhite,
                        TColor Transparent = clNone);
  // Antialiased, alpha-aware drawing with a QPainter whose coordinates are
  // this canvas's logical ones (a pixel covers x..x+1), clipped like the
  // canvas.  Bounds (logical) holds everything Paint touches.  Images
  // QPainter cannot paint on (1-bit, 8-bit) get the drawing in an RGB32 copy
  // of Bounds, whose changed pixels go back as the nearest colour of their
  // table (canvas_smooth.cpp).
  void PaintSmooth(const QRectF& Bounds, bool AntiAlias, const std::function<void(QPainter&)>& Paint);
  // A raster operation without source over (X, Y, W, H).
  void PatternBlt(int32_t X, int32_t Y, int32_t W, int32_t H, uint32_t Rop);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changing();
  virtual void Changed();

 private:
  struct SavedState {
    std::optional<QRegion> Clip;
    TPoint Origin;
    int32_t PolyFillMode, StretchBltMode, BkMode;
    uint32_t TextAlign;
    TColor TextColor, BkColor;
  };
  friend class TCanvasPainter;

  void FontChanged(TObject* Sender);
  void BrushChanged(TObject* Sender);

  QImage* FTarget = nullptr;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TFont> FFont;
  TPoint FPenPos;
  TCopyMode FCopyMode = cmSrcCopy;
  int32_t FTextFlags = 0;
  uint32_t FTextAlign = 0;
  int32_t FPolyFillMode = ALTERNATE;
  int32_t FStretchBltMode = BLACKONWHITE;
  int32_t FBkMode = OPAQUE;
  TColor FTextColor = clWindowText;
  TColor FBkColor = clWhite;
  TPoint FOrigin;
  TDeviceCaps FDeviceCaps;
  int32_t FPixelsPerInchX = 96;
  int32_t FPixelsPerInchY = 96;
  bool FMonochromeDevice = false;
  std::optional<QRegion> FClip;
  std::vector<SavedState> FSaved;
  int32_t FDashPhase = 0;
  std::recursive_mutex FLock;
  int32_t FLockCount = 0;
};

// Device-context style calls on a canvas.
bool BitBlt(TCanvas* DestDC, int32_t X, int32_t Y, int32_t Width, int32_t Height, TCanvas* SrcDC,
            int32_t XSrc, int32_t YSrc, uint32_t Rop);
bool StretchBlt(TCanvas* DestDC, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                TCanvas* SrcDC, int32_t XSrc, int32_t YSrc, int32_t WidthSrc, int32_t HeightSrc,
                uint32_t Rop);
bool PatBlt(TCanvas* DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop);
// Answer the previous value (0 for a nullptr canvas).
int32_t SetStretchBltMode(TCanvas* DC, int32_t Mode);
int32_t GetStretchBltMode(TCanvas* DC);
TColor SetTextColor(TCanvas* DC, TColor Color);
TColor SetBkColor(TCanvas* DC, TColor Color);
int32_t SetBkMode(TCanvas* DC, int32_t Mode);
int32_t SetPolyFillMode(TCanvas* DC, int32_t Mode);
// Moves the viewport origin; the previous one goes to Old when given.
bool SetViewportOrgEx(TCanvas* DC, int32_t X, int32_t Y, TPoint* Old);
int32_t SaveDC(TCanvas* DC);
bool RestoreDC(TCanvas* DC, int32_t SavedDC);
// Lays out Text (the first Count bytes; -1 for all) in Rect by Format and
// draws it with the canvas's font, text colour and background mode.
// DT_CALCRECT only measures: Rect's right and bottom grow or shrink to the
// text. Answers the text height.
int32_t DrawText(TCanvas* DC, const std::string& Text, int32_t Count, TRect& Rect,
                 uint32_t Format);
// Answers the previous alignment.
uint32_t SetTextAlign(TCanvas* DC, uint32_t Align);
// Fills R with colours running linearly from From (top or left edge) to To
// (towards the bottom or right edge), row by row when Vertical.
void GradientFill(TCanvas* DC, const TRect& R, TColor From, TColor To, bool Vertical);
// Three-dimensional edges in the system colours (raised: light top-left,
// shadow bottom-right; sunken the other way). BF_ADJUST shrinks Rect by the
// edges drawn; BF_MIDDLE fills the inside with the button face.
bool DrawEdge(TCanvas* DC, TRect& Rect, uint32_t Edge, uint32_t Flags);
