#pragma once
// Pens, brushes and fonts: the drawing tools a canvas holds. Each one tells
// its owner about changes through OnChange.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"

class TBitmap;

enum TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame,
  psUserStyle,
  psAlternate
};

// Binary raster operations of a pen (P = pen colour, D = destination).
enum TPenMode : uint8_t {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};

enum TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

// Font styles, a set: bit (1 << ordinal).
using TFontStyles = uint8_t;
enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
constexpr TFontStyles FontStyleBit(TFontStyle S) { return static_cast<TFontStyles>(1u << S); }

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
using TFontCharset = uint8_t;

constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset SHIFTJIS_CHARSET = 128;
constexpr TFontCharset HANGEUL_CHARSET = 129;
constexpr TFontCharset GB2312_CHARSET = 134;
constexpr TFontCharset CHINESEBIG5_CHARSET = 136;
constexpr TFontCharset GREEK_CHARSET = 161;
constexpr TFontCharset TURKISH_CHARSET = 162;
constexpr TFontCharset HEBREW_CHARSET = 177;
constexpr TFontCharset ARABIC_CHARSET = 178;
constexpr TFontCharset BALTIC_CHARSET = 186;
constexpr TFontCharset RUSSIAN_CHARSET = 204;
constexpr TFontCharset THAI_CHARSET = 222;
constexpr TFontCharset EASTEUROPE_CHARSET = 238;
constexpr TFontCharset OEM_CHARSET = 255;

// Font weights and qualities of the LOGFONT record.
constexpr int32_t FW_DONTCARE = 0;
constexpr int32_t FW_THIN = 100;
constexpr int32_t FW_LIGHT = 300;
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_MEDIUM = 500;
constexpr int32_t FW_SEMIBOLD = 600;
constexpr int32_t FW_BOLD = 700;
constexpr int32_t FW_HEAVY = 900;
constexpr uint8_t DEFAULT_QUALITY = 0;
constexpr uint8_t DRAFT_QUALITY = 1;
constexpr uint8_t PROOF_QUALITY = 2;
constexpr uint8_t NONANTIALIASED_QUALITY = 3;
constexpr uint8_t ANTIALIASED_QUALITY = 4;
constexpr uint8_t CLEARTYPE_QUALITY = 5;
constexpr uint8_t CLEARTYPE_NATURAL_QUALITY = 6;
constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;
constexpr int LF_FACESIZE = 32;

// The 60-byte font record, as stored in files (little-endian, no padding).
// Heights below 0 are character heights, above 0 cell heights (pixels);
// escapement and orientation are in tenths of a degree, counter-clockwise.
struct LOGFONT {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};
static_assert(sizeof(LOGFONT) == 60, "LOGFONT must be 60 bytes");
using TLogFont = LOGFONT;

// Base of pens, brushes and fonts.
class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
};

class TPen : public TGraphicsObject {
 public:
  TPen();
  void Assign(TPersistent* Source) override;

  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  int32_t GetWidth() const { return FWidth; }
  // Widths below 1 draw as 1.
  void SetWidth(int32_t Value);
  TPenStyle GetStyle() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode GetMode() const { return FMode; }
  void SetMode(TPenMode Value);

 private:
  TColor FColor = clBlack;
  int32_t FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
};

class TBrush : public TGraphicsObject {
 public:
  TBrush();
  ~TBrush() override;
  void Assign(TPersistent* Source) override;

  TColor GetColor() const { return FColor; }
  // Setting a colour on a clear brush makes it solid.
  void SetColor(TColor Value);
  TBrushStyle GetStyle() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  // A pattern bitmap tiled from the device origin; the brush keeps its own
  // copy, so the caller may free Value afterwards. nullptr removes it.
  TBitmap* GetBitmap() const;
  void SetBitmap(TBitmap* Value);

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  std::unique_ptr<TBitmap> FBitmap;  // its own copy
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  void Assign(TPersistent* Source) override;

  std::string GetName() const { return FName; }
  void SetName(const std::string& Value);
  // Points at the font's pixels per inch: -MulDiv(Height, 72, PixelsPerInch).
  int32_t GetSize() const;
  void SetSize(int32_t Value);
  int32_t GetHeight() const { return FHeight; }
  void SetHeight(int32_t Value);
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles GetStyle() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TFontCharset GetCharset() const { return FCharset; }
  void SetCharset(TFontCharset Value);
  TFontPitch GetPitch() const { return FPitch; }
  void SetPitch(TFontPitch Value);
  // Escapement of the text in tenths of a degree, counter-clockwise.
  int32_t GetOrientation() const { return FOrientation; }
  void SetOrientation(int32_t Value);
  uint8_t GetQuality() const { return FQuality; }
  void SetQuality(uint8_t Value);
  int32_t GetPixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t Value);

  // The font as a LOGFONT record and back. A record's weight >= FW_BOLD gives
  // fsBold; its escapement becomes the orientation.
  void GetLogFont(LOGFONT& Out) const;
  LOGFONT GetLogFont() const;
  void SetLogFont(const LOGFONT& Value);

 private:
  std::string FName = "Tahoma";
  int32_t FHeight = -11;
  TColor FColor = clWindowText;
  TFontStyles FStyle = 0;
  TFontCharset FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = fpDefault;
  int32_t FOrientation = 0;
  uint8_t FQuality = DEFAULT_QUALITY;
  int32_t FWidth = 0;  // average character width from a LOGFONT, 0 = natural
  int32_t FPixelsPerInch = 96;
};
