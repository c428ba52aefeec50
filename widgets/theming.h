#pragma once
// Backgrounds that look right with and without the platform's visual styles:
// fill with the control's colour, or let the parent paint its own background
// behind a control that should look transparent. Every control paints into
// its own front buffer, so "the parent paints into the control's DC" means:
// the parent receives WM_ERASEBKGND with the control's canvas, shifted so the
// parent's coordinates land where the control lies.
#include <cstdint>
#include <string>

#include "platform/gdi/canvas.h"
#include "platform/vcl/controls.h"

// Whether the platform draws with visual styles. On by default; tests and
// the plain look switch it off.
bool ThemesEnabled();
void SetThemesEnabled(bool Value);

// A rectangle that stands for "no rectangle".
constexpr int32_t kNoRectCoordinate = 2147483647;
constexpr TRect NoRect() { return TRect{kNoRectCoordinate, kNoRectCoordinate, kNoRectCoordinate, kNoRectCoordinate}; }
bool IsNoRect(const TRect& R);

// Fills Rect with Color, or paints the parent's background there when themes
// are on, the control has a parent of the same colour (as value or as RGB)
// and, with NeedsParentBackground, the control asks for it
// (csParentBackground). The canvas brush colour is left as it was.
void PaintControlBackground(TControl* Control, TCanvas* Canvas, const TRect& Rect, bool NeedsParentBackground,
                            TColor Color);
// The same with the canvas's current brush colour.
void PaintControlBackground(TControl* Control, TCanvas* Canvas, const TRect& Rect, bool NeedsParentBackground);

// The parent paints its background into DC (the control's canvas), shifted by
// Offset and clipped to Rect (NoRect: no clip). Origin and clip of DC are
// restored on every path.
void EraseWithParentBackground(TControl* Control, TCanvas* DC, TPoint Offset, const TRect& Rect);
void EraseWithParentBackground(TControl* Control, TCanvas* DC, TPoint Offset);
void EraseWithParentBackground(TControl* Control, TCanvas* DC);
void EraseWithParentBackground(TControl* Control, TCanvas* DC, const TRect& Rect);

// Adds the elements csNeedsBorderPaint and csParentBackground of Style to the
// control's style (others are ignored); ThemeStyleOf reads them back.
void AddThemeStyle(TControl* Control, TControlStyle Style);
TControlStyle ThemeStyleOf(TControl* Control);

// Desktop composition and glass: never here.
inline bool CompositionActive() { return false; }
inline bool ControlOnGlass(TControl*) { return false; }

// DrawText of the whole text with Format.
void DrawCaptionText(TCanvas* DC, const std::string& Text, TRect Rect, uint32_t Format);
