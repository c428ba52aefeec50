#pragma once
// TBitmap: a device-independent bitmap held in a QImage.
//   pf1bit  = QImage::Format_Mono     (most significant bit is the leftmost pixel)
//   pf8bit  = QImage::Format_Indexed8 (with its colour table)
//   pf15bit = QImage::Format_RGB555, pf16bit = QImage::Format_RGB16
//   pf24bit = QImage::Format_BGR888   (bytes B, G, R)
//   pf32bit = QImage::Format_RGB32    (bytes B, G, R, X)
// Rows are 32-bit aligned, top row first; GetScanLine(y) is the QImage row.
// A new pf1bit bitmap has the table black, white; a new pf8bit one a grey
// ramp (entry i is grey level i) until its table is set.
#include <QImage>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/graphics.h"

class TCanvas;

enum TPixelFormat : uint8_t {
  pfDevice,  // the screen's format: stored as pf32bit
  pf1bit,
  pf4bit,  // not held by this platform: setting it gives pf8bit
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom  // a QImage format adopted through SetImage that has no name above
};

enum TTransparentMode : uint8_t { tmAuto, tmFixed };

// bmDDB marks a device-dependent bitmap: when monochrome, blits map its bits
// through the text and background colours (see TCanvas::SetMonochromeDevice)
// instead of its colour table. The pixels are held the same way for both.
enum TBitmapHandleType : uint8_t { bmDIB, bmDDB };

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int32_t GetWidth() const override;
  int32_t GetHeight() const override;
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  // Resizes keeping the pixels that still fit; new pixels are white (the
  // colour-table entry nearest to white). When the pixels cannot be
  // allocated the bitmap keeps its old size and pixels (callers compare the
  // size to find out).
  void SetSize(int32_t AWidth, int32_t AHeight);
  bool GetEmpty() const override;

  TPixelFormat GetPixelFormat() const;
  // Converts the pixels to the new format. Towards pf1bit, light pixels
  // (luminance >= 128) become index 1 = white with the table black, white;
  // towards pf8bit the table is built from the image's colours (exact when it
  // has at most 256). pfDevice means pf32bit and pf4bit means pf8bit.
  void SetPixelFormat(TPixelFormat Value);
  bool GetMonochrome() const;
  void SetMonochrome(bool Value);

  // Row Row of the pixels (0 = top). Raises EInvalidGraphicOperation
  // "Scan line index out of range" when the row is outside the bitmap.
  uint8_t* GetScanLine(int32_t Row);
  const uint8_t* GetScanLine(int32_t Row) const;
  // Bytes from one row to the next (32-bit aligned).
  int32_t GetBytesPerLine() const;

  // The colour table of pf1bit and pf8bit bitmaps (empty for the others).
  int32_t GetColorTableSize() const;
  std::vector<TRGBQuad> GetColorTable() const;
  void SetColorTable(const std::vector<TRGBQuad>& Table);
  TRGBQuad GetColorTableEntry(int32_t Index) const;
  // A number that changes whenever the pixels, the size, the format or the
  // colour table may have changed: lets callers keep what they derived from
  // the bitmap until then.
  int64_t GetChangeKey() const;
  void SetColorTableEntry(int32_t Index, const TRGBQuad& Entry);

  // The pixels themselves. Writing through GetImage() is allowed; changing
  // its size or format there is not (use SetImage).
  QImage& GetImage();
  const QImage& GetImage() const;
  // Adopts a copy of Image; formats without a pixel-format name are converted
  // to pf32bit (alpha dropped), except that Format_MonoLSB becomes pf1bit.
  void SetImage(const QImage& Image);

  TCanvas* GetCanvas();
  TBitmapHandleType GetHandleType() const { return FHandleType; }
  void SetHandleType(TBitmapHandleType Value);

  // Copies another TBitmap (pixels, table, transparency); nullptr empties.
  void Assign(TPersistent* Source) override;

  bool GetTransparent() const override;
  void SetTransparent(bool Value) override;
  TTransparentMode GetTransparentMode() const;
  void SetTransparentMode(TTransparentMode Value);
  // tmAuto: the colour of the bottom-left pixel; tmFixed: the colour set.
  TColor GetTransparentColor() const;
  void SetTransparentColor(TColor Value);

  // The BMP file format (BITMAPFILEHEADER + packed DIB). Reading accepts 1,
  // 4, 8, 16, 24 and 32 bits, uncompressed or with bit fields, and raises
  // EInvalidGraphic "Bitmap image is not valid" for anything else, for
  // truncated files and for sizes the file cannot hold. Writing stores 1,
  // 8, 24 or 32 bits (15- and 16-bit bitmaps as 24 bits), bottom-up; an
  // empty bitmap writes nothing.
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // As form resources store a bitmap: the byte count of the file, then the
  // file. Reading also takes the file alone.
  void ReadData(TStream* Stream) override;
  void WriteData(TStream* Stream) override;

  // The colour of one pixel as $00BBGGRR (through the table for indexed
  // formats); (0,0) is the top-left pixel. Outside the bitmap: clNone.
  TColor GetPixelColor(int32_t X, int32_t Y) const;

  // Called by the canvas and by the owner after the pixels changed.
  void Changed() override;

 protected:
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;

 private:
  QImage FImage;
  // Format and table kept while the bitmap is empty (a null QImage has none).
  TPixelFormat FPixelFormat = pf32bit;
  QList<QRgb> FEmptyTable;
  std::unique_ptr<TCanvas> FCanvas;
  TBitmapHandleType FHandleType = bmDIB;
  bool FTransparent = false;
  TTransparentMode FTransparentMode = tmAuto;
  TColor FTransparentColor = clDefault;
};

// The QImage format a pixel format is held in (Format_Invalid for pfCustom).
QImage::Format QImageFormatOfPixelFormat(TPixelFormat Format);
// The pixel format of a QImage format (pfCustom when none matches).
TPixelFormat PixelFormatOfQImage(QImage::Format Format);
