#include "platform/gdi/graphic_objects.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/screen.h"
#include "platform/rtl/sysutils.h"

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ------------------------------------------------------------------- pen

TPen::TPen() = default;

void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    if (p == this) return;
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    FMode = p->FMode;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TPen::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}

void TPen::SetWidth(int32_t Value) {
  Value = std::max(Value, 1);
  if (FWidth == Value) return;
  FWidth = Value;
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

void TPen::SetMode(TPenMode Value) {
  if (FMode == Value) return;
  FMode = Value;
  Changed();
}

// ----------------------------------------------------------------- brush

TBrush::TBrush() = default;
TBrush::~TBrush() = default;

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    if (b == this) return;
    FColor = b->FColor;
    FStyle = b->FStyle;
    std::unique_ptr<TBitmap> copy;
    if (b->FBitmap) {
      copy = std::make_unique<TBitmap>();
      copy->Assign(b->FBitmap.get());
    }
    FBitmap = std::move(copy);
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::SetColor(TColor Value) {
  if (FColor == Value && FStyle != bsClear) return;
  FColor = Value;
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

TBitmap* TBrush::GetBitmap() const { return FBitmap.get(); }

void TBrush::SetBitmap(TBitmap* Value) {
  std::unique_ptr<TBitmap> copy;
  if (Value && !Value->GetEmpty()) {
    copy = std::make_unique<TBitmap>();
    copy->Assign(Value);
  }
  FBitmap = std::move(copy);
  Changed();
}

// ------------------------------------------------------------------ font

TFont::TFont() : FPixelsPerInch(ScreenLogPixelsY()) { FHeight = -MulDiv(8, FPixelsPerInch, 72); }

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    if (f == this) return;
    FName = f->FName;
    FHeight = f->FHeight;
    FColor = f->FColor;
    FStyle = f->FStyle;
    FCharset = f->FCharset;
    FPitch = f->FPitch;
    FOrientation = f->FOrientation;
    FQuality = f->FQuality;
    FWidth = f->FWidth;
    // Keep the point size when the two fonts measure in different units.
    if (f->FPixelsPerInch != FPixelsPerInch && f->FPixelsPerInch > 0)
      FHeight = MulDiv(f->FHeight, FPixelsPerInch, f->FPixelsPerInch);
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TFont::SetName(const std::string& Value) {
  if (Value.empty() || FName == Value) return;
  FName = Value;
  Changed();
}

int32_t TFont::GetSize() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t Value) { SetHeight(-MulDiv(Value, FPixelsPerInch, 72)); }

void TFont::SetHeight(int32_t Value) {
  if (FHeight == Value) return;
  FHeight = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

void TFont::SetCharset(TFontCharset Value) {
  if (FCharset == Value) return;
  FCharset = Value;
  Changed();
}

void TFont::SetPitch(TFontPitch Value) {
  if (FPitch == Value) return;
  FPitch = Value;
  Changed();
}

void TFont::SetOrientation(int32_t Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  Changed();
}

void TFont::SetQuality(uint8_t Value) {
  if (FQuality == Value) return;
  FQuality = Value;
  Changed();
}

void TFont::SetPixelsPerInch(int32_t Value) {
  if (Value <= 0 || Value == FPixelsPerInch) return;
  FPixelsPerInch = Value;
  Changed();
}

void TFont::GetLogFont(LOGFONT& Out) const {
  Out = LOGFONT{};
  Out.lfHeight = FHeight;
  Out.lfWidth = FWidth;
  Out.lfEscapement = FOrientation;
  Out.lfOrientation = FOrientation;
  Out.lfWeight = (FStyle & FontStyleBit(fsBold)) ? FW_BOLD : FW_NORMAL;
  Out.lfItalic = (FStyle & FontStyleBit(fsItalic)) ? 1 : 0;
  Out.lfUnderline = (FStyle & FontStyleBit(fsUnderline)) ? 1 : 0;
  Out.lfStrikeOut = (FStyle & FontStyleBit(fsStrikeOut)) ? 1 : 0;
  Out.lfCharSet = FCharset;
  Out.lfQuality = FQuality;
  Out.lfPitchAndFamily =
      FPitch == fpFixed ? FIXED_PITCH : FPitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  const size_t n = std::min(FName.size(), static_cast<size_t>(LF_FACESIZE - 1));
  std::memcpy(Out.lfFaceName, FName.data(), n);
}

LOGFONT TFont::GetLogFont() const {
  LOGFONT lf;
  GetLogFont(lf);
  return lf;
}

void TFont::SetLogFont(const LOGFONT& Value) {
  // The face name need not be terminated inside the record.
  size_t n = 0;
  while (n < static_cast<size_t>(LF_FACESIZE) && Value.lfFaceName[n]) ++n;
  if (n > 0) FName.assign(Value.lfFaceName, n);
  FHeight = Value.lfHeight;
  FWidth = Value.lfWidth;
  FOrientation = Value.lfEscapement;
  TFontStyles s = 0;
  if (Value.lfWeight >= FW_BOLD) s |= FontStyleBit(fsBold);
  if (Value.lfItalic) s |= FontStyleBit(fsItalic);
  if (Value.lfUnderline) s |= FontStyleBit(fsUnderline);
  if (Value.lfStrikeOut) s |= FontStyleBit(fsStrikeOut);
  FStyle = s;
  FCharset = Value.lfCharSet;
  FQuality = Value.lfQuality;
  switch (Value.lfPitchAndFamily & 3) {
    case FIXED_PITCH:
      FPitch = fpFixed;
      break;
    case VARIABLE_PITCH:
      FPitch = fpVariable;
      break;
    default:
      FPitch = fpDefault;
  }
  Changed();
}
