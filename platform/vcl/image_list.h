#pragma once
// The image list: pictures of one size (Width x Height) kept by index, each
// with a mask of its transparent pixels, drawn onto a canvas by index. A
// picture wider than Width adds one picture per Width-wide piece. A form
// resource keeps the pictures in the "Bitmap" property: the number of
// pictures (4 bytes), then the pictures side by side as a stored bitmap,
// then their masks side by side as a stored one-bit bitmap (white:
// transparent).
#include <QImage>
#include <cstdint>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"
#include "platform/vcl/form_reader.h"

class TBitmap;
class TCanvas;

enum TDrawingStyle : uint8_t { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType : uint8_t { itImage, itMask };

class TCustomImageList : public TComponent, public IFormPropertyTarget {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  ~TCustomImageList() override;

  int32_t GetWidth() const { return FWidth; }
  // 1 .. 4096; a new size empties the list.
  void SetWidth(int32_t Value);
  int32_t GetHeight() const { return FHeight; }
  void SetHeight(int32_t Value);
  // The colour under transparent pixels in GetBitmap (clNone: white).
  TColor GetBkColor() const { return FBkColor; }
  void SetBkColor(TColor Value) { FBkColor = Value; }
  TColor GetBlendColor() const { return FBlendColor; }
  void SetBlendColor(TColor Value) { FBlendColor = Value; }
  // Without Masked every pixel is drawn.
  bool GetMasked() const { return FMasked; }
  void SetMasked(bool Value);
  TDrawingStyle GetDrawingStyle() const { return FDrawingStyle; }
  void SetDrawingStyle(TDrawingStyle Value) { FDrawingStyle = Value; }
  TImageType GetImageType() const { return FImageType; }
  void SetImageType(TImageType Value) { FImageType = Value; }
  int32_t GetAllocBy() const { return FAllocBy; }
  void SetAllocBy(int32_t Value) { FAllocBy = Value; }

  int32_t GetCount() const { return static_cast<int32_t>(FImages.size()); }
  // Adds Image's pictures with Mask's (white or a set bit: transparent;
  // nullptr: none transparent); answers the index of the first, -1 when
  // Image is empty.
  int32_t Add(TBitmap* Image, TBitmap* Mask);
  // Adds Image's pictures; their pixels of MaskColor are transparent.
  int32_t AddMasked(TBitmap* Image, TColor MaskColor);
  // Replaces picture Index; false outside the list.
  bool Replace(int32_t Index, TBitmap* Image, TBitmap* Mask);
  void Delete(int32_t Index);
  void Move(int32_t CurIndex, int32_t NewIndex);
  void Clear();
  // Picture Index into Image (24-bit, Width x Height, transparent pixels in
  // BkColor); false outside the list.
  bool GetBitmap(int32_t Index, TBitmap* Image) const;
  // The mask of Index into Mask (1-bit, white transparent).
  bool GetMask(int32_t Index, TBitmap* Mask) const;
  // Draws picture Index with its top-left corner at (X, Y); transparent
  // pixels leave the canvas as it was; a disabled picture is greyed.
  void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled = true) const;
  // The picture with its mask as transparency (for widgets).
  QImage Picture(int32_t Index) const;

  const TFormPropertyTable& FormProperties() const override;
  // The pictures as the "Bitmap" property stores them (empty without
  // pictures), and back; ReadData raises EReadError for bad data.
  std::vector<uint8_t> WriteData() const;
  void ReadData(const std::vector<uint8_t>& Data);

  TNotifyEvent OnChange;

 protected:
  virtual void Change();

 private:
  std::vector<QImage> Split(TBitmap* Image, TBitmap* Mask, TColor MaskColor, bool ByColor) const;
  int32_t FWidth = 16, FHeight = 16;
  TColor FBkColor = clNone, FBlendColor = clNone;
  bool FMasked = true;
  TDrawingStyle FDrawingStyle = dsNormal;
  TImageType FImageType = itImage;
  int32_t FAllocBy = 4;
  std::vector<QImage> FImages;  // ARGB32; alpha 0 marks the mask
};

class TImageList : public TCustomImageList {
 public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
};
