#pragma once
// TIEMask: a per-pixel selection or alpha mask of 1 or 8 bits per pixel with
// the size of an image. Besides the values it keeps a bounding box of its
// non-zero values (empty when its left edge is the largest integer), a "full"
// flag (every value at its maximum) and a cached scaled copy used to draw the
// selection on screen.
//
// Rows are padded to 32 bits and stored bottom-up (row y starts at
// bits + row length x (height - y - 1)); 1-bit rows hold pixel x in bit
// 0x80 >> (x & 7) of byte x / 8. In 1-bit masks every non-zero value
// written means "set".
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/rtl/object.h"
#include "platform/rtl/types.h"

class TIEBitmap;
class TCanvas;
class TBitmap;

// The x value that separates the polygons given to TIEMask::FillPolygons.
inline constexpr int32_t IEPolygonSeparator = 0xFFFFF;

class TIEMask : public TObject {
 public:
  TIEMask();
  ~TIEMask() override;
  TIEMask(const TIEMask&) = delete;
  TIEMask& operator=(const TIEMask&) = delete;

  // Zero-filled values of Width x Height x BitsPerPixel (1 or 8), empty box,
  // full cleared. False (and no bits) for other bit counts, sizes below 1 or
  // memory that cannot be had.
  bool AllocateBits(int32_t Width, int32_t Height, int32_t BitsPerPixel);
  void FreeBits();
  // New size keeping the top-left corner; new areas are zero. The box is
  // clamped to the new size; the full flag is left as it was.
  void Resize(int32_t NewWidth, int32_t NewHeight);
  // A new mask of the same bits per pixel scaled by nearest neighbour.
  std::unique_ptr<TIEMask> CreateResized(int32_t NewWidth, int32_t NewHeight);

  int32_t GetWidth() const { return FWidth; }
  int32_t GetHeight() const { return FHeight; }
  int32_t GetBitsPerPixel() const { return FBitsPerPixel; }
  int32_t GetRowLen() const { return FRowLen; }
  uint8_t* GetBits() { return FBits.empty() ? nullptr : FBits.data(); }
  // Row Row (0 = top); null outside the mask.
  uint8_t* GetScanline(int32_t Row);

  // 8-bit: the byte; 1-bit: 1 for a set bit; 0 outside the mask.
  int32_t GetPixel(int32_t X, int32_t Y);
  bool IsPointInside(int32_t X, int32_t Y) { return GetPixel(X, Y) != 0; }
  // Nothing outside the mask. A non-zero value extends the box.
  void SetPixel(int32_t X, int32_t Y, int32_t Value);
  // Values X1..X2 of row Y = Value, X clamped to the mask; a row outside the
  // mask writes nothing. Answers the number of values written. The box is
  // not changed.
  int32_t FillSpan(int32_t Value, int32_t X1, int32_t X2, int32_t Y);
  // Every value = Value (1-bit: any non-zero sets every bit); full =
  // Value at the maximum. The box is not changed.
  void Fill(int32_t Value);
  // Fill(0) and an empty box.
  void Clear();
  bool IsEmpty() const { return FX1 == INT32_MAX; }
  bool GetFull() const { return FFull; }
  void SetFull(bool Value) { FFull = Value; }
  void UpdateBoundingBox();
  void UpdateFullFlag();
  // Bounding box of the non-zero values, inclusive.
  int32_t GetX1() const { return FX1; }
  int32_t GetY1() const { return FY1; }
  int32_t GetX2() const { return FX2; }
  int32_t GetY2() const { return FY2; }
  void SetBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

  // Fills the polygon (closed from the last point to the first) with Value
  // under the window system's rules: a pixel is inside when its top-left
  // corner is (left and top edges included, right and bottom excluded).
  // The box grows by the vertices when anything was written; a polygon that
  // writes nothing leaves the box as it was.
  void FillPolygon(int32_t Value, const TPoint* Points, int32_t Count);
  // Several polygons separated by a point whose x is IEPolygonSeparator.
  void FillPolygons(int32_t Value, const TPoint* Points, int32_t Count);

  // Moves the set content by (DX, DY). With CutBorders what leaves the mask is
  // lost; without it the move is reduced (and returned) to keep the box inside.
  void Translate(int32_t& DX, int32_t& DY, bool CutBorders);
  // Set values become 0 and unset ones Value; the box is rebuilt. Nothing for
  // an empty box.
  void Invert(int32_t Value);
  // Narrows the mask by an ie8g/ie8p bitmap placed at (X, Y): a zero bitmap
  // value clears a 1-bit value, an 8-bit value keeps min(mask, bitmap). Parts
  // of the bitmap outside the mask are ignored.
  void IntersectBitmap(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool RecalcBox);
  // Copies Source into Dest through the mask over the box (see the .cpp);
  // positions outside either bitmap are skipped.
  void CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBoxOrigin, bool SourceAtBoxOrigin,
                  bool CopyAlpha);
  void CopyAlpha(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBoxOrigin, bool SourceAtBoxOrigin);

  // ---- drawing ----
  // Inverts the canvas where a (1-bit) mask is set, the mask rectangle
  // (XSrc, YSrc, SrcWidth, SrcHeight) stretched onto (XDst, YDst, DstWidth, DstHeight).
  void StretchDrawInvert(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth,
                         int32_t DstHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                         int32_t SrcHeight);
  // The dashed, moving outline of the selection: mask rectangle Source shown at
  // canvas rectangle Dest; pixels alternate Color1/Color2 by bit 2 of
  // (x + y + Phase). InnerRect, when given, receives the scaled box shrunk by 1.
  void DrawOutline(TCanvas* Canvas, const TRect& Dest, const TRect& Source, TColor Color1,
                   TColor Color2, int32_t Phase, TRect* InnerRect = nullptr);
  // Shades everything outside the selection on a 24-bit platform bitmap:
  // Opacity -1 is a 50 % stipple of gray (97, 97, 97), otherwise a blend with
  // Color of weight Opacity / 255.
  void DrawMarkOuter(TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t DstWidth,
                     int32_t DstHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                     int32_t SrcHeight, int32_t Opacity, TColor Color);

 private:
  void ExtendBox(int32_t X, int32_t Y);
  void ClampBox();
  // Scales the mask part covering the source rectangle into the cached copy
  // (bottom-up, DestWidth x DestHeight, FBitsPerPixel); false when empty.
  bool ScaleInto(int32_t DestWidth, int32_t DestHeight, int32_t XSrc, int32_t YSrc,
                 int32_t SrcWidth, int32_t SrcHeight);
  int32_t ScaledValue(int32_t X, int32_t Y) const;

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitsPerPixel = 0;
  int32_t FRowLen = 0;
  std::vector<uint8_t> FBits;
  int32_t FX1 = INT32_MAX;
  int32_t FY1 = INT32_MAX;
  int32_t FX2 = 0;
  int32_t FY2 = 0;
  bool FFull = false;
  // Cached scaled copy for drawing.
  std::vector<uint8_t> FScaled;
  int32_t FScaledWidth = 0;
  int32_t FScaledHeight = 0;
  int32_t FScaledRowLen = 0;
};

// Nearest-neighbour copy of the part of a mask covering the source rectangle
// (XSrc, YSrc, SrcWidth, SrcHeight) into Dest (DestWidth x DestHeight, same
// bits per pixel, rows bottom-up and 32-bit padded, zero-filled first); only
// the rows and columns that the box maps to are filled. Steps are 14-bit
// fixed point.
void IEScaleMaskRect(int32_t BitsPerPixel, uint8_t* Dest, int32_t DestWidth, int32_t DestHeight,
                     const uint8_t* MaskBits, int32_t MaskWidth, int32_t MaskHeight,
                     int32_t BoxX1, int32_t BoxY1, int32_t BoxX2, int32_t BoxY2, int32_t XSrc,
                     int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight);
