#pragma once
// Drawing and text helpers shared by the widget library's controls: string
// clean-up and number text, rectangle arithmetic, text and bit-block
// wrappers, transparent and disabled-looking bitmaps, gradient fills, the
// drop-down arrow, the XP look's gradient bitmaps and embossed text, the
// colour-name tables and the picture class that reads an older stored glyph
// format (TOxPicture).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/components.h"
#include "platform/rtl/lists.h"
#include "platform/vcl/application.h"
#include "platform/vcl/controls.h"

// ------------------------------------------------------------ text and strings
// Count copies of Ch; empty when Count is 0 or less.
std::string MakeCharString(char Ch, int32_t Count);
// A set of 256 characters: bit c of byte c / 8.
using TByteCharSet = std::array<uint8_t, 32>;
bool CharInByteSet(char Ch, const TByteCharSet& Chars);
std::string RemoveChar(const std::string& S, char Ch);
// Every occurrence of Search replaced, left to right, without rescanning the
// replaced text; case-sensitive; S unchanged when Search is empty.
std::string ReplaceAllText(const std::string& S, const std::string& Search, const std::string& Replace);
// Only the blank " " counts.
std::string TrimLeadingSpaces(const std::string& S);
std::string TrimTrailingSpaces(const std::string& S);
std::string TrimSpaces(const std::string& S);
// Deletes every line whose trimmed text equals a trimmed value (case-sensitive).
void DeleteMatchingLines(TStrings* List, const std::vector<std::string>& Values);
void DeleteEmptyLines(TStrings* List);
// Number text: trimmed, thousand separators removed, "." and "," read as the
// decimal separator where neither separator is one of them, only signs,
// digits and separators kept; "" becomes "0" and "-" becomes "-0".
std::string ToNumericText(const std::string& S, char DecimalSeparator = '.', char ThousandSeparator = ',');
// Text, or its start with "..." so that it fits MaxWidth on Canvas; "..." at
// the least.
std::string FitTextWithEllipsis(const std::string& Text, TCanvas* Canvas, int32_t MaxWidth);

// ------------------------------------------------------------ colour names
struct TDefColorItem {
  TColor Value;
  const char* Name;
  const char* Description;
};
extern const std::array<TDefColorItem, 20> StandardColorNames;
extern const std::array<TDefColorItem, 30> SystemColorNames;
extern const std::array<TDefColorItem, 40> OfficeColorNames;
// The description of the first row with that value (standard, then office,
// then system colours), else the platform's colour text.
std::string ColorDisplayName(TColor Color);

// A globally unique identifier.
struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0, D3 = 0;
  std::array<uint8_t, 8> D4{};
};
bool SameGUID(const TGUID& G1, const TGUID& G2);

// The library's drag cursors: 368, 370 and 371 look like the multi-drag
// cursor, 369 like the drag cursor. Registered with the screen's cursor
// table at start-up (nothing happens without a screen; failures are
// ignored).
constexpr TCursor crOxMultiDragA = 368;
constexpr TCursor crOxDrag = 369;
constexpr TCursor crOxMultiDragB = 370;
constexpr TCursor crOxMultiDragC = 371;
void RegisterOxCursors();

// ------------------------------------------------------------ rectangles
int32_t AbsRectWidth(const TRect& R);
int32_t AbsRectHeight(const TRect& R);
void NormalizeRect(TRect& R);
bool IsSquareRect(const TRect& R);
// Makes Rect the centred square of its smaller side (at most MaxSize unless
// MaxSize is -1); false (Rect unchanged) when Rect is empty or MaxSize is
// below 4 and not -1.
bool CenterSquareInRect(TRect& Rect, int32_t MaxSize);

// ------------------------------------------------------------ drawing wrappers
int32_t CanvasDrawText(TCanvas* Canvas, const std::string& Text, int32_t Count, TRect& Rect, uint32_t Format);
int32_t DCDrawText(TCanvas* DC, const std::string& Text, int32_t Count, TRect& Rect, uint32_t Format);
int32_t CanvasDrawTextBuffer(TCanvas* Canvas, const char* Text, int32_t Count, TRect& Rect, uint32_t Format);
bool CopyBits(TCanvas* DestDC, int32_t X, int32_t Y, int32_t Width, int32_t Height, TCanvas* SrcDC, int32_t XSrc,
              int32_t YSrc, uint32_t Rop);
void LineBetween(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The colour as RGB marked palette-relative (bit 0x02000000).
uint32_t PaletteRGBOf(TColor Color);
// True when the active window belongs to the calling thread (every window
// lives in the GUI thread).
bool ActiveWindowInThisThread();
// The component itself without owner, else its owner's top owner.
TComponent* TopOwner(TComponent* Component);
// Moves Receiver's free notification from Field to NewValue and stores it;
// false when nothing changes or Receiver is nullptr.
bool ReplaceComponentReference(TComponent* Receiver, TComponent* NewValue, TComponent*& Field);
template <typename T>
bool ReplaceComponentReference(TComponent* Receiver, T* NewValue, T*& Field) {
  TComponent* F = Field;
  const bool Changed = ReplaceComponentReference(Receiver, static_cast<TComponent*>(NewValue), F);
  Field = static_cast<T*>(F);
  return Changed;
}

// What a hot-track font takes over from its control's font, a set of flags.
using TOxTrackFontOptions = uint8_t;
constexpr TOxTrackFontOptions hoFollowFont = 1 << 0;
constexpr TOxTrackFontOptions hoPreserveCharSet = 1 << 1;
constexpr TOxTrackFontOptions hoPreserveColor = 1 << 2;
constexpr TOxTrackFontOptions hoPreserveHeight = 1 << 3;
constexpr TOxTrackFontOptions hoPreserveName = 1 << 4;
constexpr TOxTrackFontOptions hoPreservePitch = 1 << 5;
constexpr TOxTrackFontOptions hoPreserveStyle = 1 << 6;
// With hoFollowFont, copies each font attribute not preserved.
void SyncTrackFont(TFont* TrackFont, TFont* Font, TOxTrackFontOptions Options);

// ------------------------------------------------------------ bitmaps
// Stretches the bitmap onto the canvas leaving the canvas where the bitmap
// has TransparentColor (clNone: plain copy; clDefault: the bottom-left
// pixel's colour, white for a monochrome bitmap). Sizes below 1 take the
// bitmap's.
void StretchBitmapMasked(TCanvas* Canvas, TBitmap* Bitmap, TColor TransparentColor, int32_t DstX, int32_t DstY,
                         int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH);
void DrawBitmapMasked(TCanvas* Canvas, int32_t X, int32_t Y, TBitmap* Bitmap, TColor TransparentColor);
// A BackColor bitmap with the glyph (the pixels not of TransparentColor)
// embossed: HighlightColor one pixel down-right (when DrawHighlight), then
// ShadowColor in place.
std::unique_ptr<TBitmap> MakeEmbossedBitmapEx(TBitmap* Bitmap, TColor TransparentColor, TColor BackColor,
                                              TColor HighlightColor, TColor ShadowColor, bool DrawHighlight);
std::unique_ptr<TBitmap> MakeEmbossedBitmap(TBitmap* Bitmap, TColor TransparentColor);
// The same with BackColor as the glyph's transparent colour and the button
// highlight and shadow colours.
std::unique_ptr<TBitmap> MakeEmbossedBitmapFlat(TBitmap* Bitmap, TColor BackColor);
// 8 x 8 of Color1 with Color2 where x and y are both even or both odd.
std::unique_ptr<TBitmap> MakeCheckerPattern(TColor Color1, TColor Color2);
// Bands of solid colour from StartColor to EndColor: direction 0 top to
// bottom, 1 bottom to top, 2 left to right, 3 right to left; Colors bands at
// most. Colors below 2 or equal colours fill with the start colour.
void GradientFillRect(TCanvas* Canvas, TRect Rect, TColor StartColor, TColor EndColor, int32_t Direction,
                      uint8_t Colors);
// A filled triangle of lines in Color pointing left (0), up (1), right (2) or
// down (3).
void DrawArrowTriangle(TCanvas* Canvas, TRect Rect, TColor Color, int32_t Inset, int32_t Direction);

// ------------------------------------------------------------ the XP look
// Sides of a rectangle, a set of flags.
using TOxXPBoundLines = uint8_t;
constexpr TOxXPBoundLines blLeft = 1 << 0;
constexpr TOxXPBoundLines blTop = 1 << 1;
constexpr TOxXPBoundLines blRight = 1 << 2;
constexpr TOxXPBoundLines blBottom = 1 << 3;

// A Width x Height 24-bit gradient of Colors steps from FromColor to ToColor:
// Style 0 left to right, 1 top to bottom, 2 and 3 the same reversed;
// Dithered scatters pixels of the previous step into each band's start. The
// scatter is the same on every call for the same arguments. Nothing happens
// for an empty size; Colors below 2 gives a plain FromColor bitmap.
void MakeGradientBitmap(int32_t Width, int32_t Height, TColor FromColor, TColor ToColor, uint8_t Colors,
                        int32_t Style, bool Dithered, TBitmap* Bitmap);
void DrawBoundLines(TCanvas* Canvas, TOxXPBoundLines Lines, TColor Color, const TRect& Rect);
// Every pixel to a light gray level: g = (r + g + b) / 3, plus 100 below 156,
// else 255.
void GrayOutBitmap(TBitmap* Bitmap);
// Every black pixel becomes Color.
void RecolorBlack(TBitmap* Bitmap, TColor Color);
// Alignment 0 left, 1 right, 2 centre: end ellipsis, the alignment, and word
// break or single line.
uint32_t TextAlignFlags(int32_t Alignment, bool WordWrap);
// Draws (or with DT_CALCRECT measures) Text in Font; a disabled text is drawn
// embossed (highlight one pixel down-right, then shadow).
void DrawStyledText(TControl* Control, TCanvas* Canvas, std::string Text, TFont* Font, bool Enabled,
                    bool ShowAccelChar, TRect& Rect, uint32_t Flags);
// Measures, then draws Text aligned in Rect and centred vertically.
void DrawAlignedText(TControl* Control, TCanvas* Canvas, const std::string& Text, TFont* Font, bool Enabled,
                     bool ShowAccelChar, int32_t Alignment, bool WordWrap, TRect& Rect);

// ------------------------------------------------------------ pictures
// A picture that also reads the older stored glyph form: binary data whose
// first byte is above "?" is a bitmap file. Other data is the usual stored
// form (class name, then the graphic's own data).
class TOxPicture : public TPicture {
 public:
  using TPicture::TPicture;
  // Reads the binary value of a "Data" property of a form resource.
  void ReadStoredData(const std::vector<uint8_t>& Data);
};
