#pragma once
// Two small pixel buffers beside TIEBitmap:
//   TIEDibbitmap  a buffer whose pixels live in a platform bitmap with its own
//                 canvas, so platform drawing (video frames, rendered
//                 metafiles, placeholder thumbnails) can go straight into it;
//                 the result is then copied into a TIEBitmap with
//                 TIEBitmap::AssignTIEDibbitmap.
//   TIEWorkBitmap a bare row buffer (no format, no palette) for intermediate
//                 rows of bytes or single-precision floats.
#include <cstdint>
#include <memory>

#include "foundations/image_buffer.h"

class TBitmap;
class TCanvas;

class TIEDibbitmap : public TIEBaseBitmap {
 public:
  TIEDibbitmap();
  ~TIEDibbitmap() override;

  // Any bit count the platform bitmap holds (1, 8, 15, 16, 24, 32); 1-bit
  // buffers have the colour table black, white.  False (and an empty buffer)
  // for a zero or negative size, another bit count or when the pixels cannot
  // be had.
  bool AllocateBits(int32_t Width, int32_t Height, int32_t BitCount);
  void FreeBits();
  // The drawing surface over the pixels (null when empty).
  TCanvas* GetCanvas();
  TBitmap* GetBitmap() { return FBitmap.get(); }

  // ---- TIEBaseBitmap ----
  uint8_t* GetScanline(int32_t Row) override;
  int32_t GetBitCount() const override { return FBitCount; }
  int32_t GetHeight() const override { return FHeight; }
  int32_t GetWidth() const override { return FWidth; }
  // ie1g for 1 bit, ie24RGB for 24, ieNoFormat otherwise.
  TIEPixelFormat GetPixelFormat() const override;
  int64_t GetRowLen() const override { return FRowLen; }
  TRGB* GetPalette() override { return nullptr; }
  TRGB GetPaletteColor(int32_t) const override { return TRGB{}; }
  void SetPaletteColor(int32_t, const TRGB&) override {}
  int32_t GetPaletteLen() const override { return 0; }
  // ie1g (1 bit) and ie24RGB (24 bits) only.
  bool Allocate(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) override;
  // Copies another TIEDibbitmap; other classes are ignored.
  void Assign(TObject* Source) override;
  void CopyPaletteTo(TIEBaseBitmap*) override {}

 private:
  std::unique_ptr<TBitmap> FBitmap;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int64_t FRowLen = 0;
};

class TIEWorkBitmap : public TObject {
 public:
  // Allocates when Width and Height are positive.
  TIEWorkBitmap(int32_t Width = 0, int32_t Height = 0, int32_t BitsPerPixel = 8);
  ~TIEWorkBitmap() override;
  TIEWorkBitmap(const TIEWorkBitmap&) = delete;
  TIEWorkBitmap& operator=(const TIEWorkBitmap&) = delete;

  // Keeps the block (and its contents) when nothing changes; otherwise frees
  // and allocates rows of IEBitmapRowLen(Width, BitsPerPixel, 32) bytes.
  // False, and an empty buffer, when the block cannot be had or the sizes
  // are not valid.
  bool Allocate(int32_t Width, int32_t Height, int32_t BitsPerPixel);
  void Free();

  // Rows are stored last row first.  Null outside the buffer.
  uint8_t* GetScanline(int32_t Row);
  uint8_t* GetBytePtr(int32_t Row, int32_t X);
  float* GetSinglePtr(int32_t Row, int32_t X);

  int32_t GetWidth() const { return FWidth; }
  int32_t GetHeight() const { return FHeight; }
  int32_t GetBitsPerPixel() const { return FBitsPerPixel; }
  int64_t GetRowLen() const { return FRowLen; }
  const uint8_t* GetBits() const { return FBits; }

 private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitsPerPixel = 0;
  int64_t FRowLen = 0;
  uint8_t* FBits = nullptr;
};
