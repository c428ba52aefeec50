#include "widgets/theming.h"

#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/messages.h"

namespace {
bool GThemesEnabled = true;
}

bool ThemesEnabled() { return GThemesEnabled; }
void SetThemesEnabled(bool Value) { GThemesEnabled = Value; }

bool IsNoRect(const TRect& R) {
  return R.Left == kNoRectCoordinate && R.Top == kNoRectCoordinate && R.Right == kNoRectCoordinate &&
         R.Bottom == kNoRectCoordinate;
}

void PaintControlBackground(TControl* Control, TCanvas* Canvas, const TRect& Rect, bool NeedsParentBackground,
                            TColor Color) {
  if (!Control || !Canvas) return;
  TWinControl* Parent = Control->GetParent();
  const bool Plain = !ThemesEnabled() || !Parent ||
                     (Color != Parent->GetColor() && ColorToRGB(Color) != ColorToRGB(Parent->GetColor())) ||
                     (NeedsParentBackground && !(Control->GetControlStyle() & csParentBackground));
  if (Plain) {
    TBrush* Brush = Canvas->GetBrush();
    const TColor Saved = Brush->GetColor();
    if (Saved != Color) Brush->SetColor(Color);
    Canvas->FillRect(Rect);
    if (Saved != Color) Brush->SetColor(Saved);
    return;
  }
  EraseWithParentBackground(Control, Canvas, TPoint{Control->GetLeft(), Control->GetTop()}, Rect);
}

void PaintControlBackground(TControl* Control, TCanvas* Canvas, const TRect& Rect, bool NeedsParentBackground) {
  if (!Canvas) return;
  PaintControlBackground(Control, Canvas, Rect, NeedsParentBackground, Canvas->GetBrush()->GetColor());
}

void EraseWithParentBackground(TControl* Control, TCanvas* DC, TPoint Offset, const TRect& Rect) {
  if (!Control || !DC || !Control->GetParent()) return;
  TWinControl* Parent = Control->GetParent();
  const TPoint SavedOrigin = DC->GetViewportOrg();
  const bool Moved = Offset.X != 0 || Offset.Y != 0;
  const std::optional<QRegion> SavedClip = DC->GetClip();
  const bool Clipped = !IsNoRect(Rect);
  auto Restore = [&] {
    if (Moved) DC->SetViewportOrg(SavedOrigin);
    if (Clipped) DC->SetClip(SavedClip);
  };
  try {
    // The parent's point (Left, Top) lands on the control's (0, 0).
    if (Moved) DC->SetViewportOrg(TPoint{SavedOrigin.X - Offset.X, SavedOrigin.Y - Offset.Y});
    if (Clipped) {
      const TPoint O = SavedOrigin;
      DC->SetClip(QRegion(Rect.Left + O.X, Rect.Top + O.Y, Rect.Width(), Rect.Height()));
    }
    const LRESULT Done = Parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), reinterpret_cast<LPARAM>(DC));
    if (!Done) {
      // A parent that only erases its own buffer: its background is its colour.
      TBrush* Brush = DC->GetBrush();
      const TColor SavedColor = Brush->GetColor();
      const TBrushStyle SavedStyle = Brush->GetStyle();
      Brush->SetStyle(bsSolid);
      Brush->SetColor(Parent->GetColor());
      const TRect Area = Clipped ? TRect{Rect.Left + Offset.X, Rect.Top + Offset.Y, Rect.Right + Offset.X,
                                         Rect.Bottom + Offset.Y}
                                 : Parent->GetClientRect();
      DC->FillRect(Area);
      Brush->SetColor(SavedColor);
      Brush->SetStyle(SavedStyle);
    }
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
}

void EraseWithParentBackground(TControl* Control, TCanvas* DC, TPoint Offset) {
  EraseWithParentBackground(Control, DC, Offset, NoRect());
}

void EraseWithParentBackground(TControl* Control, TCanvas* DC) {
  if (!Control) return;
  EraseWithParentBackground(Control, DC, TPoint{Control->GetLeft(), Control->GetTop()}, NoRect());
}

void EraseWithParentBackground(TControl* Control, TCanvas* DC, const TRect& Rect) {
  if (!Control) return;
  EraseWithParentBackground(Control, DC, TPoint{Control->GetLeft(), Control->GetTop()}, Rect);
}

void AddThemeStyle(TControl* Control, TControlStyle Style) {
  if (!Control) return;
  Control->SetControlStyle(Control->GetControlStyle() | (Style & (csNeedsBorderPaint | csParentBackground)));
}

TControlStyle ThemeStyleOf(TControl* Control) {
  return Control ? Control->GetControlStyle() & (csNeedsBorderPaint | csParentBackground) : 0;
}

void DrawCaptionText(TCanvas* DC, const std::string& Text, TRect Rect, uint32_t Format) {
  DrawText(DC, Text, -1, Rect, Format);
}
