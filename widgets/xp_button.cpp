#include "widgets/xp_button.h"

#include <algorithm>
#include <vector>

#include "platform/vcl/form_properties.h"
#include "platform/vcl/forms.h"

namespace {
// The colour under a glyph picture that is not a bitmap.
constexpr TColor kGlyphKeyColor = RGB(1, 254, 3);

// Copies the bitmap's top-left W x H (no more than it has) to (X, Y).
void CopyBitmap(TCanvas* Canvas, TBitmap* B, int32_t X, int32_t Y, int32_t W, int32_t H) {
  if (!B || B->GetEmpty()) return;
  W = std::min(W, B->GetWidth());
  H = std::min(H, B->GetHeight());
  if (W <= 0 || H <= 0) return;
  BitBlt(Canvas, X, Y, W, H, B->GetCanvas(), 0, 0, SRCCOPY);
}

void BroadcastFocusChanged(TControl* C, TControl* Active) {
  C->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Active));
  if (auto* W = dynamic_cast<TWinControl*>(C))
    for (int32_t I = 0; I < W->GetControlCount(); ++I) BroadcastFocusChanged(W->GetControls(I), Active);
}
}  // namespace

TOxXPCustomButton::TOxXPCustomButton(TComponent* AOwner)
    : TOxXPCustomStyleControl(AOwner),
      FFace(std::make_unique<TBitmap>()),
      FPressedFace(std::make_unique<TBitmap>()),
      FFocusFrame(std::make_unique<TBitmap>()),
      FGlyph(std::make_unique<TOxPicture>()),
      FHotFrame(std::make_unique<TBitmap>()) {
  SetControlStyle(GetControlStyle() & ~csDoubleClicks);
  FGlyph->OnChange = [this](TObject*) { RedrawForProperty(); };
  SetBounds(GetLeft(), GetTop(), 73, 21);
  SetTabStop(true);
}

TOxXPCustomButton::~TOxXPCustomButton() { FGlyph->OnChange = nullptr; }

void TOxXPCustomButton::SetAutoGray(bool Value) {
  if (Value == FAutoGray) return;
  FAutoGray = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetDefault(bool Value) {
  if (Value == FDefault) return;
  FDefault = Value;
  if (TCustomForm* Form = GetParentForm()) BroadcastFocusChanged(Form, Form->GetActiveControl());
  RedrawForProperty();
}

void TOxXPCustomButton::SetGlyph(TPicture* Value) {
  if (Value != FGlyph.get()) FGlyph->Assign(Value);
  RedrawForProperty();
}

void TOxXPCustomButton::SetLayout(TOxXPLayout Value) {
  if (Value == FLayout) return;
  FLayout = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetShowAccelChar(bool Value) {
  if (Value == FShowAccelChar) return;
  FShowAccelChar = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetShowFocusRect(bool Value) {
  if (Value == FShowFocusRect) return;
  FShowFocusRect = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetSmoothEdges(bool Value) {
  if (Value == FSmoothEdges) return;
  FSmoothEdges = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetSpacing(uint8_t Value) {
  if (Value == FSpacing) return;
  FSpacing = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetWordWrap(bool Value) {
  if (Value == FWordWrap) return;
  FWordWrap = Value;
  RedrawForProperty();
}

void TOxXPCustomButton::SetDown(bool Value) {
  if (Value == FDown) return;
  FDown = Value;
  RedrawForProperty();
}

bool TOxXPCustomButton::ShowsFrame(bool Restricted) const {
  bool Result;
  if ((FXPState & xsPressed) || FDown) {
    // Held, but the pointer has left it.
    Result = !(FXPState & xsHot) && !FDown;
  } else {
    Result = (FXPState & (xsHot | xsFocused)) != 0;
  }
  if (!Restricted && FDefault && CanFocus() && !FXPActiveOnForm) Result = true;
  return Result;
}

void TOxXPCustomButton::RebuildGradients() {
  const int32_t W = GetWidth(), H = GetHeight();
  const int32_t A = ShowsFrame(true) ? 6 : 2;
  MakeGradientBitmap(W - A, H - A, static_cast<TColor>(0xFFFFFF), static_cast<TColor>(0xE7EBEF), 64, 1, true,
                     FFace.get());
  MakeGradientBitmap(W - 2, H - 2, static_cast<TColor>(0xC6CFD6), static_cast<TColor>(0xEBF3F7), 64, 1, true,
                     FPressedFace.get());
  MakeGradientBitmap(W - 2, H - 2, static_cast<TColor>(0xFFE7CE), static_cast<TColor>(0xEF846D), 64, 1, true,
                     FFocusFrame.get());
  MakeGradientBitmap(W - 2, H - 2, static_cast<TColor>(0xCEF3FF), static_cast<TColor>(0x0096E7), 64, 1, true,
                     FHotFrame.get());
}

void TOxXPCustomButton::XPResized() {
  TOxXPCustomStyleControl::XPResized();
  if (!FFace) return;  // still under construction
  RebuildGradients();
  RedrawForProperty();
}

void TOxXPCustomButton::Paint() {
  TCanvas* C = GetCanvas();
  const int32_t W = GetWidth(), H = GetHeight();
  const bool Enabled = GetEnabled();
  const TRect Client = GetClientRect();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(GetColor());
  C->FillRect(Client);

  const bool Framed = ShowsFrame(false);
  if (Framed) {
    TBitmap* Ring = (FXPState & xsHot) ? FHotFrame.get() : FFocusFrame.get();
    CopyBitmap(C, Ring, 1, 1, W, H);
  }
  const bool PressedLook = FDown || ((FXPState & xsHot) && (FXPState & xsPressed));
  if (PressedLook) {
    CopyBitmap(C, FPressedFace.get(), 1, 1, W, H);
  } else {
    const int32_t S = Framed ? 1 : 0;
    const int32_t F = 2 * S + 1, F2 = 2 * S;
    CopyBitmap(C, FFace.get(), F, F, W - 3 * F2, H - 3 * F2);
  }

  // The rounded border and its softened corners.
  C->GetPen()->SetStyle(psSolid);
  C->GetPen()->SetWidth(1);
  C->GetPen()->SetColor(Enabled ? kXPButtonBorder : kXPButtonDisabledBorder);
  C->GetBrush()->SetStyle(bsClear);
  C->RoundRect(0, 0, W, H, 5, 5);
  if (FSmoothEdges) {
    C->GetPen()->SetColor(Enabled ? kXPButtonCorner : kXPButtonDisabledBorder);
    LineBetween(C, 0, 1, 2, 0);
    LineBetween(C, W - 2, 0, W, 2);
    LineBetween(C, 0, H - 2, 2, H);
    LineBetween(C, W - 3, H, W, H - 3);
  }

  uint32_t Flags = DT_END_ELLIPSIS;
  if (FWordWrap) Flags |= DT_WORDBREAK;

  // The glyph, grayed for a disabled button.
  // A bitmap glyph is transparent where its bottom-left colour is; another
  // kind of picture (a PNG with its own transparency) is drawn over a key
  // colour it does not use.
  TBitmap Glyph;
  TColor GlyphKey = clDefault;
  if (TGraphic* Graphic = FGlyph->GetGraphic(); Graphic && !Graphic->GetEmpty()) {
    if (auto* Source = dynamic_cast<TBitmap*>(Graphic)) {
      Glyph.Assign(Source);
    } else {
      GlyphKey = kGlyphKeyColor;
      Glyph.SetPixelFormat(pf24bit);
      Glyph.SetSize(Graphic->GetWidth(), Graphic->GetHeight());
      Glyph.GetCanvas()->GetBrush()->SetColor(GlyphKey);
      Glyph.GetCanvas()->FillRect(Rect(0, 0, Glyph.GetWidth(), Glyph.GetHeight()));
      Glyph.GetCanvas()->Draw(0, 0, Graphic);
    }
    if (FAutoGray && !Enabled) {
      // The key stays the key: only the picture grays.
      std::vector<TPoint> KeyPixels;
      if (GlyphKey != clDefault)
        for (int32_t Y = 0; Y < Glyph.GetHeight(); ++Y)
          for (int32_t X = 0; X < Glyph.GetWidth(); ++X)
            if (Glyph.GetPixelColor(X, Y) == GlyphKey) KeyPixels.push_back(TPoint{X, Y});
      GrayOutBitmap(&Glyph);
      for (const TPoint& P : KeyPixels) Glyph.GetCanvas()->SetPixel(P.X, P.Y, GlyphKey);
    }
  }
  const bool HasGlyph = !Glyph.GetEmpty();
  const int32_t GW = HasGlyph ? Glyph.GetWidth() : 0, GH = HasGlyph ? Glyph.GetHeight() : 0;

  C->SetFont(GetFont());
  const std::string Caption = GetText();
  TRect T = Client;
  if (HasGlyph && !Caption.empty()) {
    switch (FLayout) {
      case blGlyphLeft: T.Left += GW + FSpacing; break;
      case blGlyphRight:
        T.Left -= GW + FSpacing;
        T.Right -= 2 * (GW + FSpacing);
        Flags |= DT_RIGHT;
        break;
      case blGlyphTop: T.Top += GH + FSpacing; break;
      case blGlyphBottom: T.Top -= GH + FSpacing; break;
    }
  }
  if (!Caption.empty()) {
    DrawStyledText(this, C, Caption, GetFont(), Enabled, FShowAccelChar, T, Flags | DT_CALCRECT);
    OffsetRect(T, (W - T.Right) / 2, (H - T.Bottom) / 2);
  }
  const int32_t P = PressedLook ? 1 : 0;
  OffsetRect(T, P, P);

  if (HasGlyph) {
    int32_t X, Y;
    if (Caption.empty()) {
      X = P + (W - GW) / 2;
      Y = P + (H - GH) / 2;
    } else {
      switch (FLayout) {
        case blGlyphLeft:
          X = T.Left - GW - FSpacing;
          Y = P + (H - GH) / 2;
          break;
        case blGlyphRight:
          X = T.Right + FSpacing;
          Y = P + (H - GH) / 2;
          break;
        case blGlyphTop:
          X = P + (W - GW) / 2;
          Y = T.Top - GH - FSpacing;
          break;
        default:
          X = P + (W - GW) / 2;
          Y = T.Bottom + FSpacing;
          break;
      }
    }
    DrawBitmapMasked(C, X, Y, &Glyph, GlyphKey);
  }

  if ((FXPState & xsFocused) && FShowFocusRect) {
    C->GetBrush()->SetStyle(bsSolid);
    C->DrawFocusRect(Rect(3, 3, W - 3, H - 3));
  }

  C->SetBkMode(TRANSPARENT);
  C->GetBrush()->SetStyle(bsClear);
  if (!Caption.empty()) DrawStyledText(this, C, Caption, GetFont(), Enabled, FShowAccelChar, T, Flags);
}

void TOxXPCustomButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_SPACE && !(Shift & (ssShift | ssCtrl | ssAlt))) {
    FXPState |= xsHot;
    XPMouseDown();
  }
  TOxXPCustomStyleControl::KeyDown(Key, Shift);
}

void TOxXPCustomButton::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (FXPState & xsPressed) {
    if (!GetMouseInClient()) FXPState &= ~xsHot;
    FXPState &= ~xsPressed;
    RedrawForProperty();
    Click();
  }
  TOxXPCustomStyleControl::KeyUp(Key, Shift);
}

void TOxXPCustomButton::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_DIALOGKEY) {
    const auto Key = static_cast<uint16_t>(Message.WParam);
    const TShiftState Shift = KeyDataToShiftState(Message.LParam);
    const bool Enter = Key == VK_RETURN && (Focused() || (FDefault && !FXPActiveOnForm));
    const bool Escape = Key == VK_ESCAPE && FCancel && !(Shift & (ssShift | ssCtrl | ssAlt));
    if ((Enter || Escape) && CanFocus()) {
      Click();
      Message.Result = 1;
      return;
    }
  }
  TOxXPCustomStyleControl::Dispatch(Message);
}

const TFormPropertyTable& TOxXPCustomButton::FormProperties() const {
  using B = TOxXPCustomButton;
  static const TFormPropertyTable Table =
      TFormProperties<B>("", &TOxXPCustomStyleControl::FormProperties())
          .Bool("AutoGray", &B::GetAutoGray, &B::SetAutoGray)
          .Bool("Cancel", &B::GetCancel, &B::SetCancel)
          .Bool("Default", &B::GetDefault, &B::SetDefault)
          .Bool("Down", &B::GetDown, &B::SetDown)
          .Custom("Glyph.Data",
                  [](B& Button, const TFormValue& V, TFormReadContext&) {
                    if (V.Kind != TFormValue::vkBinary) throw EReadError("Invalid property value");
                    Button.FGlyph->ReadStoredData(V.Binary);
                    Button.RedrawForProperty();
                  },
                  [](const B& Button, TFormValue& V) { return FormPropertyDetail::WritePicture(Button.GetGlyph(), V); })
          .Enum("Layout", ButtonLayoutNames(), &B::GetLayout, &B::SetLayout)
          .Bool("ShowAccelChar", &B::GetShowAccelChar, &B::SetShowAccelChar)
          .Bool("ShowFocusRect", &B::GetShowFocusRect, &B::SetShowFocusRect)
          .Bool("SmoothEdges", &B::GetSmoothEdges, &B::SetSmoothEdges)
          .Value<TFormByteKind>("Spacing", &B::GetSpacing, &B::SetSpacing)
          .Bool("WordWrap", &B::GetWordWrap, &B::SetWordWrap)
          .Build();
  return Table;
}
