#include "widgets/speed_button.h"

#include <algorithm>
#include <cwctype>

#include "platform/vcl/form_properties.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "widgets/theming.h"

// ------------------------------------------------------------ colours and frames
namespace {

TColor ShiftChannels(TColor Color, int32_t Delta) {
  const uint32_t C = ColorToRGB(Color);
  auto Ch = [Delta](uint32_t V) { return static_cast<uint32_t>(std::clamp<int32_t>(int32_t(V) + Delta, 0, 255)); };
  return static_cast<TColor>(Ch(C & 0xFF) | (Ch((C >> 8) & 0xFF) << 8) | (Ch((C >> 16) & 0xFF) << 16));
}

bool SameRGB(TColor A, TColor B) { return ColorToRGB(A) == ColorToRGB(B); }

// The light-on-face picture of a disabled single-image glyph: the darker half
// of the glyph's pixels in the shadow colour, the lighter half in the
// highlight colour, the transparent ones left transparent.
std::unique_ptr<TBitmap> MakeNewStyleDisabled(TBitmap* Source, int32_t W, int32_t H, TColor Transparent) {
  auto Result = std::make_unique<TBitmap>();
  Result->SetPixelFormat(pf24bit);
  Result->SetSize(W, H);
  for (int32_t Y = 0; Y < H; ++Y) {
    for (int32_t X = 0; X < W; ++X) {
      const TColor C = Source->GetPixelColor(X, Y);
      if (SameRGB(C, Transparent)) {
        Result->GetCanvas()->SetPixel(X, Y, Transparent);
        continue;
      }
      const uint32_t V = ColorToRGB(C);
      const uint32_t G = (77 * (V & 0xFF) + 150 * ((V >> 8) & 0xFF) + 29 * ((V >> 16) & 0xFF)) >> 8;
      Result->GetCanvas()->SetPixel(X, Y, G < 192 ? clBtnShadow : clBtnHighlight);
    }
  }
  return Result;
}

std::unique_ptr<TOxGlyphCache> GSharedGlyphCache;

}  // namespace

TColor LighterColor(TColor Color) { return ShiftChannels(Color, 64); }
TColor DarkerColor(TColor Color) { return ShiftChannels(Color, -64); }

void Frame3DOnce(TCanvas* Canvas, TRect& Rect, TColor TopLeft, TColor BottomRight) {
  if (Rect.Right <= Rect.Left || Rect.Bottom <= Rect.Top) return;
  TPen* Pen = Canvas->GetPen();
  const TColor Old = Pen->GetColor();
  Pen->SetWidth(1);
  Pen->SetColor(TopLeft);
  Canvas->MoveTo(Rect.Left, Rect.Bottom - 1);
  Canvas->LineTo(Rect.Left, Rect.Top);
  Canvas->LineTo(Rect.Right - 1, Rect.Top);
  Pen->SetColor(BottomRight);
  Canvas->MoveTo(Rect.Right - 1, Rect.Top);
  Canvas->LineTo(Rect.Right - 1, Rect.Bottom - 1);
  Canvas->LineTo(Rect.Left - 1, Rect.Bottom - 1);
  Pen->SetColor(Old);
  Rect.Left += 1;
  Rect.Top += 1;
  Rect.Right -= 1;
  Rect.Bottom -= 1;
}

TRect DrawBevelFrame(TCanvas* Canvas, const TRect& Client, bool IsDown, bool IsFlat, TButtonStyle Style,
                     TColor Face) {
  TRect R = Client;
  const TColor Highlight = LighterColor(Face);
  const TColor Shadow = DarkerColor(Face);
  const bool NewStyle = Style != bsWin31;
  if (IsDown) {
    if (NewStyle && !IsFlat) {
      Frame3DOnce(Canvas, R, clWindowFrame, Highlight);
      Frame3DOnce(Canvas, R, Shadow, Face);
    } else if (NewStyle) {
      Frame3DOnce(Canvas, R, Shadow, Highlight);
    } else if (!IsFlat) {
      Frame3DOnce(Canvas, R, clWindowFrame, clWindowFrame);
      TPen* Pen = Canvas->GetPen();
      const TColor Old = Pen->GetColor();
      Pen->SetColor(clBtnShadow);
      Canvas->MoveTo(R.Left, R.Bottom - 1);
      Canvas->LineTo(R.Left, R.Top);
      Canvas->LineTo(R.Right, R.Top);
      Pen->SetColor(Old);
    } else {
      Frame3DOnce(Canvas, R, clWindowFrame, Highlight);
    }
  } else {
    if (NewStyle && !IsFlat) {
      Frame3DOnce(Canvas, R, Highlight, clWindowFrame);
      Frame3DOnce(Canvas, R, Face, Shadow);
    } else if (NewStyle) {
      Frame3DOnce(Canvas, R, Highlight, Shadow);
    } else if (!IsFlat) {
      Frame3DOnce(Canvas, R, clWindowFrame, clWindowFrame);
      Frame3DOnce(Canvas, R, Highlight, Shadow);
    } else {
      Frame3DOnce(Canvas, R, Highlight, clWindowFrame);
    }
  }
  R.Left += 1;
  R.Top += 1;
  R.Right -= 1;
  R.Bottom -= 1;
  return R;
}

// ------------------------------------------------------------ glyph lists
int32_t TOxGlyphList::AcquireSlot() {
  for (size_t I = 0; I < FUsedSlots.size(); ++I) {
    if (!FUsedSlots[I]) {
      FUsedSlots[I] = true;
      return static_cast<int32_t>(I);
    }
  }
  FImages.push_back(std::make_unique<TBitmap>());
  FMasks.push_back(clNone);
  FUsedSlots.resize(FImages.size(), false);
  FUsedSlots.back() = true;
  return static_cast<int32_t>(FImages.size()) - 1;
}

int32_t TOxGlyphList::StoreMaskedImage(TBitmap* Image, TColor MaskColor) {
  const int32_t Slot = AcquireSlot();
  FImages[Slot]->Assign(Image);
  FMasks[Slot] = MaskColor;
  ++FUsedCount;
  return Slot;
}

void TOxGlyphList::FreeSlot(int32_t Index) {
  if (Index < 0 || Index >= static_cast<int32_t>(FUsedSlots.size()) || !FUsedSlots[Index]) return;
  FUsedSlots[Index] = false;
  --FUsedCount;
}

void TOxGlyphList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index) const {
  if (Index < 0 || Index >= static_cast<int32_t>(FImages.size())) return;
  DrawBitmapMasked(Canvas, X, Y, FImages[Index].get(), FMasks[Index]);
}

TOxGlyphList* TOxGlyphCache::ListForSize(int32_t Width, int32_t Height) {
  for (auto It = FLists.rbegin(); It != FLists.rend(); ++It)
    if ((*It)->GetWidth() == Width && (*It)->GetHeight() == Height) return It->get();
  FLists.push_back(std::make_unique<TOxGlyphList>(Width, Height));
  return FLists.back().get();
}

void TOxGlyphCache::ReleaseList(TOxGlyphList* List) {
  if (!List || List->GetUsedCount() != 0) return;
  std::erase_if(FLists, [List](const auto& L) { return L.get() == List; });
}

TOxGlyphCache* SharedGlyphCache() { return GSharedGlyphCache.get(); }

// ------------------------------------------------------------ glyph object
TOxxButtonGlyph::TOxxButtonGlyph() : FSourceBitmap(std::make_unique<TBitmap>()) {
  FSourceBitmap->OnChange = [this](TGraphic*) { SourceChanged(); };
}

TOxxButtonGlyph::~TOxxButtonGlyph() {
  FSourceBitmap->OnChange = nullptr;
  ReleaseImages();
  if (GSharedGlyphCache && GSharedGlyphCache->IsEmpty()) GSharedGlyphCache.reset();
}

void TOxxButtonGlyph::SetGlyph(TBitmap* Value) {
  ReleaseImages();
  if (Value) {
    FSourceBitmap->Assign(Value);
  } else {
    FSourceBitmap->SetSize(0, 0);
  }
  SourceChanged();
}

void TOxxButtonGlyph::SetNumGlyphs(uint8_t Value) {
  Value = std::min<uint8_t>(Value, 5);
  if (Value == 0 || Value == FNumGlyphs) return;
  ReleaseImages();
  FNumGlyphs = Value;
  if (OnChange) OnChange(nullptr);
}

void TOxxButtonGlyph::SetGrayNewStyle(bool Value) {
  if (Value == FGrayNewStyle) return;
  ReleaseImages();
  FGrayNewStyle = Value;
  if (OnChange) OnChange(nullptr);
}

void TOxxButtonGlyph::SourceChanged() {
  ReleaseImages();
  const int32_t W = FSourceBitmap->GetWidth(), H = FSourceBitmap->GetHeight();
  if (H > 0) {
    FTransparentColor = static_cast<TColor>(FSourceBitmap->GetTransparentColor() & ~0x02000000);
    if (W % H == 0) {
      const int32_t N = W / H;
      if (N > 5) {
        FNumGlyphs = 1;
      } else if (N > 0) {
        FNumGlyphs = static_cast<uint8_t>(N);
      }
    }
  }
  if (OnChange) OnChange(nullptr);
}

bool TOxxButtonGlyph::Usable() const {
  return FSourceBitmap->GetWidth() > 0 && FSourceBitmap->GetHeight() > 0 && !FSourceBitmap->GetEmpty();
}

void TOxxButtonGlyph::ReleaseImages() {
  for (int32_t& Slot : FStateImages) {
    if (Slot >= 0 && FSharedList) FSharedList->FreeSlot(Slot);
    Slot = -1;
  }
  if (FSharedList) {
    if (GSharedGlyphCache) GSharedGlyphCache->ReleaseList(FSharedList);
    FSharedList = nullptr;
  }
}

TColor TOxxButtonGlyph::GrayPixel(TColor Color) const {
  if (Color == FTransparentColor || SameRGB(Color, clBtnFace)) return Color;
  const uint32_t V = ColorToRGB(Color);
  const uint32_t G = (77 * (V & 0xFF) + 150 * ((V >> 8) & 0xFF) + 29 * ((V >> 16) & 0xFF)) >> 8;
  return static_cast<TColor>(G | (G << 8) | (G << 16));
}

int32_t TOxxButtonGlyph::BuildStateImage(TOxSpeedButtonState State) {
  if (State == sbsDown && FNumGlyphs < 3) State = sbsUp;
  if (FStateImages[State] >= 0) return FStateImages[State];
  if (!Usable()) return -1;
  const int32_t W = FSourceBitmap->GetWidth() / FNumGlyphs, H = FSourceBitmap->GetHeight();
  if (W <= 0) return -1;
  if (!FSharedList) {
    if (!GSharedGlyphCache) GSharedGlyphCache = std::make_unique<TOxGlyphCache>();
    FSharedList = GSharedGlyphCache->ListForSize(W, H);
  }
  TBitmap Scratch;
  Scratch.SetPixelFormat(pf24bit);
  Scratch.SetSize(W, H);
  Scratch.GetCanvas()->GetBrush()->SetColor(clBtnFace);
  Scratch.GetCanvas()->FillRect(Rect(0, 0, W, H));
  const int32_t Index = State < FNumGlyphs ? State : 0;
  auto CopyImage = [&](int32_t I) {
    Scratch.GetCanvas()->CopyRect(Rect(0, 0, W, H), FSourceBitmap->GetCanvas(), Rect(I * W, 0, I * W + W, H));
    return FSharedList->StoreMaskedImage(&Scratch, FTransparentColor);
  };
  int32_t Slot = -1;
  switch (State) {
    case sbsUp:
    case sbsDown:
    case sbsExclusive: Slot = CopyImage(Index); break;
    case sbsDisabled:
      if (FNumGlyphs >= 2) {
        Slot = CopyImage(Index);
      } else if (FGrayNewStyle) {
        auto Img = MakeNewStyleDisabled(FSourceBitmap.get(), W, H, FTransparentColor);
        Slot = FSharedList->StoreMaskedImage(Img.get(), FTransparentColor);
      } else {
        Scratch.GetCanvas()->CopyRect(Rect(0, 0, W, H), FSourceBitmap->GetCanvas(), Rect(0, 0, W, H));
        auto Img = MakeEmbossedBitmap(&Scratch, FTransparentColor);
        Slot = FSharedList->StoreMaskedImage(Img.get(), static_cast<TColor>(ColorToRGB(clBtnFace)));
      }
      break;
    case sbsInactive:
      if (FNumGlyphs == 5) {
        Slot = CopyImage(Index);
      } else {
        for (int32_t Y = 0; Y < H; ++Y)
          for (int32_t X = 0; X < W; ++X) Scratch.GetCanvas()->SetPixel(X, Y, GrayPixel(FSourceBitmap->GetPixelColor(X, Y)));
        Slot = FSharedList->StoreMaskedImage(&Scratch, FTransparentColor);
      }
      break;
  }
  FStateImages[State] = Slot;
  return Slot;
}

TSize TOxxButtonGlyph::DrawStateImage(TCanvas* Canvas, int32_t X, int32_t Y, TOxSpeedButtonState State) {
  if (!Usable()) return TSize{0, 0};
  const int32_t Slot = BuildStateImage(State);
  if (Slot < 0 || !FSharedList) return TSize{0, 0};
  FSharedList->Draw(Canvas, X, Y, Slot);
  return TSize{FSharedList->GetWidth(), FSharedList->GetHeight()};
}

void TOxxButtonGlyph::ShortenCaption(TCanvas* Canvas, std::string& Caption, int32_t MaxWidth) const {
  if (FWordWrap || Caption.empty()) return;
  std::string Result;
  size_t Start = 0;
  while (true) {
    const size_t End = Caption.find('\n', Start);
    std::string Line = Caption.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (!Result.empty()) Result += "\n";
    Result += Canvas->TextWidth(Line) > MaxWidth ? FitTextWithEllipsis(Line, Canvas, MaxWidth) : Line;
    if (End == std::string::npos) break;
    Start = End + 1;
  }
  Caption = TrimTrailingSpaces(Result);
}

void TOxxButtonGlyph::ComputeLayout(TCanvas* Canvas, const TRect& Client, TPoint Offset, std::string& Caption,
                                    TButtonLayout Layout, int32_t Margin, int32_t Spacing, bool PopupMark,
                                    uint32_t TextFlags, TPoint& GlyphPos, TRect& TextBounds) {
  const int32_t CW = Client.Right - Client.Left, CH = Client.Bottom - Client.Top;
  int32_t GW = 0, GH = 0;
  if (Usable() && FNumGlyphs > 0) {
    GW = FSourceBitmap->GetWidth() / FNumGlyphs;
    GH = FSourceBitmap->GetHeight();
  }
  const bool Horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  int32_t TWMax, THMax;
  if (Horizontal) {
    TWMax = CW - GW - (Margin != -1 ? Margin : 0) - (Spacing != -1 ? Spacing : 0) - (PopupMark ? 9 : 0);
    THMax = CH;
  } else {
    TWMax = CW;
    THMax = CH - GH - (Margin != -1 ? Margin : 0) - (Spacing != -1 ? Spacing : 0);
  }
  TWMax = std::max(TWMax, 0);
  THMax = std::max(THMax, 0);
  ShortenCaption(Canvas, Caption, TWMax);
  TRect T{0, 0, 0, 0};
  if (!Caption.empty()) {
    T = Rect(0, 0, TWMax, 0);
    CanvasDrawText(Canvas, Caption, -1, T,
                   DT_CALCRECT | DT_VCENTER | (FWordWrap ? DT_WORDBREAK : 0) | TextFlags);
    T.Bottom = T.Top + std::clamp(T.Bottom - T.Top, 0, THMax);
    T.Right = T.Left + std::clamp(T.Right - T.Left, 0, TWMax);
  }
  int32_t TW = T.Right - T.Left, TH = T.Bottom - T.Top;
  if (PopupMark) {
    if (GW == 0 || GH == 0 || Layout == blGlyphLeft) {
      TW += 9;
    } else if (GW > 0) {
      GW += 6;
    }
  }
  TPoint G{0, 0}, TP{0, 0};
  if (Horizontal) {
    G.Y = (CH - GH) / 2;
    TP.Y = (CH - TH) / 2;
  } else {
    G.X = (CW - GW) / 2;
    TP.X = (CW - TW) / 2;
  }
  if (!(TextFlags & kDTCenter)) {
    if (TextFlags & kDTRight) {
      if (Horizontal) G.X = CW - GW - TW;
      TP.X = CW - TW;
    } else {
      if (Horizontal) {
        G.X = 0;
        TP.X = GW;
      } else {
        TP.X = 0;
      }
    }
  }
  if (TW == 0 || GW == 0) Spacing = 0;
  if (Margin == -1 && Spacing == -1) {
    Margin = Horizontal ? (CW - (GW + TW)) / 3 : (CH - (GH + TH)) / 3;
    Spacing = Margin;
  } else if (Margin == -1) {
    if (Horizontal) {
      if (TextFlags & kDTCenter) {
        Margin = CW / 2 - (GW + Spacing + TW) / 2;
      } else if (Layout == blGlyphRight) {
        Margin = (TextFlags & kDTRight) ? 0 : CW - TW - GW;
      } else {
        Margin = G.X;
      }
    } else {
      Margin = CH / 2 - (GH + Spacing + TH) / 2;
    }
  } else if (Spacing == -1) {
    Spacing = Horizontal ? (CW - (Margin + GW)) / 2 - TW / 2 : (CH - (Margin + GH)) / 2 - TH / 2;
  }
  switch (Layout) {
    case blGlyphLeft:
      G.X = Margin;
      TP.X = G.X + GW + Spacing;
      break;
    case blGlyphRight:
      G.X = CW - Margin - GW;
      TP.X = G.X - Spacing - TW;
      break;
    case blGlyphTop:
      G.Y = Margin;
      TP.Y = G.Y + GH + Spacing;
      break;
    case blGlyphBottom:
      G.Y = CH - Margin - GH;
      TP.Y = G.Y - Spacing - TH;
      break;
  }
  GlyphPos = TPoint{Client.Left + G.X + Offset.X, Client.Top + G.Y + Offset.Y};
  const int32_t Left = Client.Left + TP.X + Offset.X, Top = Client.Top + TP.Y + Offset.Y;
  TextBounds = Rect(Left, Top, Left + (T.Right - T.Left), Top + (T.Bottom - T.Top));
}

void TOxxButtonGlyph::DrawCaption(TCanvas* Canvas, const std::string& Caption, TRect TextBounds,
                                  TOxSpeedButtonState State, uint32_t TextFlags) {
  if (Caption.empty()) return;
  Canvas->GetBrush()->SetStyle(bsClear);
  const uint32_t Flags = TextFlags | DT_VCENTER | (FWordWrap ? DT_WORDBREAK : 0);
  const TColor Own = Canvas->GetFont()->GetColor();
  if (State == sbsDisabled) {
    TRect R = TextBounds;
    R.Left += 1;
    R.Top += 1;
    R.Right += 1;
    R.Bottom += 1;
    Canvas->GetFont()->SetColor(clBtnHighlight);
    CanvasDrawText(Canvas, Caption, -1, R, Flags);
    Canvas->GetFont()->SetColor(clBtnShadow);
    CanvasDrawText(Canvas, Caption, -1, TextBounds, Flags);
    Canvas->GetFont()->SetColor(Own);
  } else {
    CanvasDrawText(Canvas, Caption, -1, TextBounds, Flags);
  }
}

void TOxxButtonGlyph::DrawDropArrow(TCanvas* Canvas, int32_t X, int32_t Y, TOxSpeedButtonState State) {
  auto Arrow = [Canvas](int32_t AX, int32_t AY, TColor C) {
    for (int32_t I = 0; I <= 6; ++I) Canvas->SetPixel(AX + I, AY - 1, C);
    for (int32_t I = 1; I <= 5; ++I) Canvas->SetPixel(AX + I, AY, C);
    for (int32_t I = 2; I <= 4; ++I) Canvas->SetPixel(AX + I, AY + 1, C);
    Canvas->SetPixel(AX + 3, AY + 2, C);
  };
  if (State == sbsDisabled) {
    Arrow(X + 1, Y + 1, clBtnHighlight);
    Arrow(X, Y, clBtnShadow);
  } else {
    Arrow(X, Y, clBtnText);
  }
}

TRect TOxxButtonGlyph::Render(TCanvas* Canvas, const TRect& Client, TPoint Offset, std::string Caption,
                              TButtonLayout Layout, int32_t Margin, int32_t Spacing, bool PopupMark,
                              TOxSpeedButtonState State, uint32_t TextFlags) {
  TPoint GlyphPos;
  TRect TextBounds;
  ComputeLayout(Canvas, Client, Offset, Caption, Layout, Margin, Spacing, PopupMark, TextFlags, GlyphPos,
                TextBounds);
  const TSize Drawn = DrawStateImage(Canvas, GlyphPos.X, GlyphPos.Y, State);
  DrawCaption(Canvas, Caption, TextBounds, State, TextFlags);
  if (PopupMark) {
    int32_t X, Y;
    if (Layout != blGlyphLeft && (FSourceBitmap->GetWidth() > 0 || Drawn.cx > 0)) {
      X = GlyphPos.X + Drawn.cx + 1;
      Y = GlyphPos.Y + Drawn.cy / 2;
    } else {
      X = !Caption.empty() ? TextBounds.Right + 3 : (Client.Left + Client.Right - 7) / 2;
      Y = TextBounds.Top + (TextBounds.Bottom - TextBounds.Top) / 2;
    }
    DrawDropArrow(Canvas, X, Y, State);
  }
  return TextBounds;
}

// ------------------------------------------------------------ the button
TOxCustomSpeedButton::TOxCustomSpeedButton(TComponent* AOwner)
    : TOxExGraphicControl(AOwner),
      FGlyph(std::make_unique<TOxxButtonGlyph>()),
      FHotTrackFont(std::make_unique<TFont>()) {
  FHotTrackOptions = new TOxHotTrackOptions(this);
  FGlyph->OnChange = [this](TObject*) { Invalidate(); };
  SetParentColor(false);
  SetColor(clBtnFace);
  SetParentFont(true);
  SetParentShowHint(false);
  SetShowHint(true);
  SetBounds(0, 0, 25, 25);
  SetControlStyle(csCaptureMouse | csOpaque | csDoubleClicks);
  SyncTrackFont(FHotTrackFont.get(), GetFont(), FHotTrackFontOptions);
}

TOxCustomSpeedButton::~TOxCustomSpeedButton() {
  FGlyph->OnChange = nullptr;
  if (FRepeatTimer) FRepeatTimer->OnTimer = nullptr;
}

void TOxCustomSpeedButton::SetAllowAllUp(bool Value) {
  FAllowAllUp = Value;
  NotifyGroup();
}

void TOxCustomSpeedButton::SetGroupIndex(int32_t Value) {
  FGroupIndex = Value;
  NotifyGroup();
}

void TOxCustomSpeedButton::SetAllowTimer(bool Value) {
  FAllowTimer = Value;
  if (!Value && FRepeatTimer) {
    FRepeatTimer->SetEnabled(false);
    FRepeatTimer.reset();
  }
}

void TOxCustomSpeedButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  if (FDown && !FAllowAllUp) return;
  FDown = Value;
  if (Value) {
    if (FState == sbsUp) Invalidate();
    FState = sbsExclusive;
  } else {
    FState = sbsUp;
  }
  Repaint();
  if (Value) NotifyGroup();
  Invalidate();
}

void TOxCustomSpeedButton::NotifyGroup() {
  TWinControl* P = GetParent();
  if (FGroupIndex == 0 || !P) return;
  for (int32_t I = 0; I < P->GetControlCount(); ++I) {
    TControl* C = P->GetControls(I);
    if (C != this) C->Perform(CM_OXBUTTONPRESSED, static_cast<WPARAM>(FGroupIndex), reinterpret_cast<LPARAM>(this));
  }
}

void TOxCustomSpeedButton::SetDropDownMenu(TPopupMenu* Value) {
  if (ReplaceComponentReference(this, Value, FDropDownMenu) && FMarkDropDown) Invalidate();
}

void TOxCustomSpeedButton::Notification(TComponent* AComponent, TOperation Operation) {
  TOxExGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDropDownMenu) FDropDownMenu = nullptr;
}

#define OX_STORE_AND_INVALIDATE(Field, Value) \
  if ((Field) != (Value)) {                   \
    (Field) = (Value);                        \
    Invalidate();                             \
  }

void TOxCustomSpeedButton::SetFlat(bool Value) { OX_STORE_AND_INVALIDATE(FFlat, Value) }
void TOxCustomSpeedButton::SetGrayedInactive(bool Value) { OX_STORE_AND_INVALIDATE(FGrayedInactive, Value) }
void TOxCustomSpeedButton::SetLayout(TButtonLayout Value) { OX_STORE_AND_INVALIDATE(FLayout, Value) }
void TOxCustomSpeedButton::SetMarkDropDown(bool Value) { OX_STORE_AND_INVALIDATE(FMarkDropDown, Value) }
void TOxCustomSpeedButton::SetSpacing(int32_t Value) { OX_STORE_AND_INVALIDATE(FSpacing, Value) }
void TOxCustomSpeedButton::SetStyle(TButtonStyle Value) { OX_STORE_AND_INVALIDATE(FStyle, Value) }
void TOxCustomSpeedButton::SetTransparent(bool Value) { OX_STORE_AND_INVALIDATE(FTransparent, Value) }
#undef OX_STORE_AND_INVALIDATE

void TOxCustomSpeedButton::SetMargin(int32_t Value) {
  if (Value == FMargin || Value < -1) return;
  FMargin = Value;
  Invalidate();
}

void TOxCustomSpeedButton::SetAlignment(TAlignment Value) {
  if (Value == FGlyph->GetAlignment()) return;
  FGlyph->SetAlignment(Value);
  Invalidate();
}

void TOxCustomSpeedButton::SetWordWrap(bool Value) {
  if (Value == FGlyph->GetWordWrap()) return;
  FGlyph->SetWordWrap(Value);
  Invalidate();
}

void TOxCustomSpeedButton::SetGrayNewStyle(bool Value) {
  FGlyph->SetGrayNewStyle(Value);
  Invalidate();
}

void TOxCustomSpeedButton::SetHotTrackFont(TFont* Value) {
  if (Value && Value != FHotTrackFont.get()) FHotTrackFont->Assign(Value);
}

void TOxCustomSpeedButton::SetHotTrackFontOptions(TOxTrackFontOptions Value) {
  if (Value == FHotTrackFontOptions) return;
  FHotTrackFontOptions = Value;
  SyncTrackFont(FHotTrackFont.get(), GetFont(), FHotTrackFontOptions);
}

void TOxCustomSpeedButton::SetHotTrackOptions(TOxHotTrackOptions* Value) {
  if (Value && Value != FHotTrackOptions) FHotTrackOptions->Assign(Value);
}

uint32_t TOxCustomSpeedButton::TextFlags() const {
  switch (FGlyph->GetAlignment()) {
    case taLeftJustify: return kDTLeft;
    case taRightJustify: return kDTRight;
    default: return kDTCenter;
  }
}

bool TOxCustomSpeedButton::InsideClient(int32_t X, int32_t Y) const {
  // The bottom row counts as inside, as it always has for these buttons.
  return X >= 0 && X < GetClientWidth() && Y >= 0 && Y <= GetClientHeight();
}

TPoint TOxCustomSpeedButton::DropDownPoint() const {
  if (!FDropDownMenu) return TPoint{0, 0};
  // The platform's popup menus open left-aligned at their point.
  if (FMenuPosition == dmpBottom) return TPoint{-1, GetHeight()};
  return TPoint{GetWidth(), -1};
}

bool TOxCustomSpeedButton::ShowDropDownMenu(TPoint Point, bool Forced) {
  if ((GetComponentState() & csDesigning) || !FDropDownMenu) return false;
  if (TCustomForm* Form = GetParentForm()) Form->Perform(CM_CANCELMODE, 0, LPARAM(0));
  FDropDownMenu->SetPopupComponent(this);
  const TPoint S = ClientToScreen(Point);
  FDropDownMenu->Popup(S.X, S.Y);
  return true;
}

void TOxCustomSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (FMenuTracking) return;
  TOxExGraphicControl::MouseDown(Button, Shift, X, Y);
  if (!FPointerInside && GetEnabled()) {
    FPointerInside = true;
    Invalidate();
  }
  if (Button != mbLeft || !GetEnabled()) return;
  if (!FDown) {
    FState = sbsDown;
    Invalidate();
  }
  FDragging = true;
  // While the menu tracks, the press that opened it ends without a click.
  FMenuTracking = true;
  try {
    if (ShowDropDownMenu(DropDownPoint(), false)) FinishPress(Button, Shift, X, Y);
  } catch (...) {
    FMenuTracking = false;
    throw;
  }
  FMenuTracking = false;
  if (FAllowTimer) {
    if (!FRepeatTimer) FRepeatTimer = std::make_unique<TTimer>(nullptr);
    FRepeatTimer->SetInterval(FInitPause);
    FRepeatTimer->OnTimer = [this](TObject* S) { RepeatTimerFired(S); };
    FRepeatTimer->SetEnabled(true);
  }
}

void TOxCustomSpeedButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TOxExGraphicControl::MouseMove(Shift, X, Y);
  if (!FDragging) return;
  TOxSpeedButtonState NewState = FDown ? sbsExclusive : (InsideClient(X, Y) ? sbsDown : sbsUp);
  if (NewState != FState) {
    FState = NewState;
    Repaint();
  }
}

void TOxCustomSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExGraphicControl::MouseUp(Button, Shift, X, Y);
  FinishPress(Button, Shift, X, Y);
  StopRepeat();
}

void TOxCustomSpeedButton::StopRepeat() {
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
}

void TOxCustomSpeedButton::FinishPress(TMouseButton Button, TShiftState, int32_t X, int32_t Y) {
  if (!FDragging || Button != mbLeft) return;
  FDragging = false;
  const bool Inside = InsideClient(X, Y);
  if (FGroupIndex == 0) {
    FState = sbsUp;
    DoMouseLeave(nullptr);
    Perform(CM_MOUSELEAVE, 0, LPARAM(0));
    Invalidate();
  } else if (Inside) {
    SetDown(!FDown);
    if (FDown) Repaint();
  } else {
    if (FDown) FState = sbsExclusive;
    Repaint();
  }
  if (Inside && !FMenuTracking) Click();
  UpdateHotState();
}

void TOxCustomSpeedButton::RepeatTimerFired(TObject*) {
  // A press whose release never reached the button (the capture went with a
  // focus change or another window) ends here instead of repeating forever.
  if (!FDragging || !GetMouseCapture()) {
    FRepeatTimer->SetEnabled(false);
    if (FDragging) {
      FDragging = false;
      FState = FDown ? sbsExclusive : sbsUp;
      Invalidate();
    }
    return;
  }
  FRepeatTimer->SetInterval(FRepeatInterval);
  if (FState == sbsDown && GetMouseCapture()) {
    try {
      Click();
    } catch (...) {
      FRepeatTimer->SetEnabled(false);
      throw;
    }
  }
}

void TOxCustomSpeedButton::Click() {
  if (TCustomForm* Form = GetParentForm(); Form && FModalResult != mrNone) Form->SetModalResult(FModalResult);
  TOxExGraphicControl::Click();
}

void TOxCustomSpeedButton::UpdateHotState() {
  bool Over = false;
  TPoint P;
  if (GetEnabled() && GetShowing() && GetCursorPos(P) && ActiveWindowInThisThread()) {
    const TPoint C = ScreenToClient(P);
    Over = C.X >= 0 && C.Y >= 0 && C.X < GetWidth() && C.Y < GetHeight();
  }
  if (Over != FPointerInside) Perform(Over ? CM_MOUSEENTER : CM_MOUSELEAVE, 0, LPARAM(0));
}

bool TOxCustomSpeedButton::HotRepaintWanted(bool Leaving) const {
  const bool FlatPart = FFlat && GetEnabled() &&
                        (Leaving ? !FDragging : GetCapture() == 0);
  return ThemesEnabled() || FHotTrack || FlatPart;
}

void TOxCustomSpeedButton::DoMouseEnter(TControl* Control) {
  if ((GetComponentState() & csDesigning) || FPointerInside || !GetEnabled()) return;
  const bool Wanted = HotRepaintWanted(false);
  TOxExGraphicControl::DoMouseEnter(Control);
  if (Wanted) Invalidate();
}

void TOxCustomSpeedButton::DoMouseLeave(TControl* Control) {
  if (!FPointerInside || !GetEnabled()) return;
  const bool Wanted = HotRepaintWanted(true);
  TOxExGraphicControl::DoMouseLeave(Control);
  if (Wanted) Invalidate();
}

void TOxCustomSpeedButton::PrebuildStateImage() {
  FGlyph->BuildStateImage(!GetEnabled() ? sbsDisabled : FFlat ? sbsInactive : sbsUp);
}

void TOxCustomSpeedButton::Loaded() {
  TOxExGraphicControl::Loaded();
  PrebuildStateImage();
}

void TOxCustomSpeedButton::DoEnabledChange() {
  TOxExGraphicControl::DoEnabledChange();
  if (!GetEnabled()) {
    // A button disabled while held forgets the press and its repeat.
    FDragging = false;
    StopRepeat();
  }
  PrebuildStateImage();
  UpdateHotState();
  Repaint();
}

void TOxCustomSpeedButton::DoFontChange() {
  TOxExGraphicControl::DoFontChange();
  SyncTrackFont(FHotTrackFont.get(), GetFont(), FHotTrackFontOptions);
  Invalidate();
}

void TOxCustomSpeedButton::DoVisibleChange() {
  TOxExGraphicControl::DoVisibleChange();
  if (GetVisible()) UpdateHotState();
}

void TOxCustomSpeedButton::DoTextChange() {
  TOxExGraphicControl::DoTextChange();
  Invalidate();
}

bool TOxCustomSpeedButton::AcceptsKey(int32_t Key, TShiftState Shift, const std::u16string& KeyText) {
  const char16_t Accel = AcceleratorOf(GetCaption());
  if (Accel != 0 && GetEnabled() && (Shift & ssAlt) && !KeyText.empty() &&
      std::towlower(KeyText[0]) == std::towlower(Accel)) {
    Click();
    return true;
  }
  return TOxExGraphicControl::AcceptsKey(Key, Shift, KeyText);
}

void TOxCustomSpeedButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_OXBUTTONPRESSED: {
      auto* Sender = reinterpret_cast<TControl*>(Message.LParam);
      auto* Other = dynamic_cast<TOxCustomSpeedButton*>(Sender);
      if (static_cast<int32_t>(Message.WParam) == FGroupIndex && Other && Other != this && GetParent()) {
        if (Other->FDown && FDown) {
          FDown = false;
          FState = sbsUp;
          Repaint();
        }
        FAllowAllUp = Other->FAllowAllUp;
      }
      return;
    }
    case CM_SYSCOLORCHANGE:
      FGlyph->ReleaseImages();
      Invalidate();
      return;
    case WM_LBUTTONDBLCLK:
      if (FMenuTracking) return;
      TOxExGraphicControl::Dispatch(Message);
      return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      TOxExGraphicControl::Dispatch(Message);
      UpdateHotState();
      return;
    case CM_CANCELMODE:
    case WM_CANCELMODE:
      // Losing the mouse ends a press and its repeat.
      StopRepeat();
      TOxExGraphicControl::Dispatch(Message);
      return;
    default: TOxExGraphicControl::Dispatch(Message);
  }
}

void TOxCustomSpeedButton::Paint() {
  TCanvas* Canvas = GetCanvas();
  if (!GetEnabled()) {
    FState = sbsDisabled;
    FDragging = false;
  } else if (FState == sbsDisabled) {
    FState = (FDown && FGroupIndex != 0) ? sbsExclusive : sbsUp;
  }
  const bool Designing = (GetComponentState() & csDesigning) != 0;
  const TOxSpeedButtonState Display = (FFlat && !FPointerInside && !Designing) ? sbsInactive : FState;
  const TOxSpeedButtonState ImageState = (FState == sbsDisabled || !FGrayedInactive) ? FState : Display;
  const bool Mark = FMarkDropDown && FDropDownMenu;
  const TRect Client = Rect(0, 0, GetWidth(), GetHeight());
  TRect R = Client;
  Canvas->GetFont()->Assign(GetFont());
  if (FTransparent) {
    EraseWithParentBackground(this, Canvas, TPoint{GetLeft(), GetTop()});
  } else {
    TColor Fill = GetColor();
    if (FFlat && GetParent()) Fill = GetParent()->GetColor();
    Canvas->GetBrush()->SetStyle(bsSolid);
    Canvas->GetBrush()->SetColor(Fill);
    Canvas->FillRect(Client);
  }
  if (Display != sbsInactive || FState == sbsExclusive) {
    R = DrawBevelFrame(Canvas, Client, FState == sbsDown || FState == sbsExclusive, FFlat, FStyle, GetColor());
  } else if (FFlat) {
    R = Rect(2, 2, Client.Right - 2, Client.Bottom - 2);
  }
  if (FState == sbsExclusive && !FTransparent && (!FFlat || Display == sbsInactive)) {
    auto Checker = MakeCheckerPattern(clBtnFace, clBtnHighlight);
    TRect G = Rect(R.Left - 1, R.Top - 1, R.Right + 1, R.Bottom + 1);
    for (int32_t Y = G.Top; Y < G.Bottom; ++Y)
      for (int32_t X = G.Left; X < G.Right; ++X) Canvas->SetPixel(X, Y, Checker->GetPixelColor(X & 7, Y & 7));
  }
  const TPoint Offset = (FState == sbsDown || FState == sbsExclusive) ? TPoint{1, 1} : TPoint{0, 0};
  if (((FHotTrackOptions->GetEnabled() && FDown) || FPointerInside || FDragging) && FHotTrack) {
    Canvas->GetFont()->Assign(FHotTrackFont.get());
    if (FHotTrackOptions->GetEnabled()) {
      std::unique_ptr<TBitmap> Checker;
      if (FDown) Checker = MakeCheckerPattern(FHotTrackOptions->GetColor(), clWindow);
      auto Fill = [&](const TRect& F) {
        for (int32_t Y = F.Top; Y < F.Bottom; ++Y)
          for (int32_t X = F.Left; X < F.Right; ++X)
            Canvas->SetPixel(X, Y, Checker ? Checker->GetPixelColor(X & 7, Y & 7) : FHotTrackOptions->GetColor());
      };
      if (FHotTrackOptions->GetFrameVisible()) {
        Fill(Client);
        TPen* Pen = Canvas->GetPen();
        const TColor Old = Pen->GetColor();
        Pen->SetColor(FHotTrackOptions->GetFrameColor());
        Canvas->GetBrush()->SetStyle(bsClear);
        Canvas->Rectangle(Client);
        Pen->SetColor(Old);
      } else {
        R = Rect(Client.Left + 1, Client.Top + (FFlat ? 1 : 2), Client.Right - 1, Client.Bottom - (FFlat ? 1 : 2));
        Fill(R);
      }
    }
  }
  DrawContent(Canvas, R, Offset, ImageState, Mark);
}

const TFormPropertyTable& TOxCustomSpeedButton::FormProperties() const {
  static const TFormEnumNames MenuPositionNames = {"dmpBottom", "dmpRight"};
  static const TFormEnumNames StyleNames = {"bsAutoDetect", "bsWin31", "bsNew"};
  using B = TOxCustomSpeedButton;
  auto Word = [](auto Set) {
    return [Set](B& Button, const TFormValue& V, TFormReadContext&) {
      (Button.*Set)(static_cast<uint16_t>(std::clamp(V.AsInteger(), 0, 65535)));
    };
  };
  static const TFormPropertyTable Table =
      TFormProperties<B>("", &TOxExGraphicControl::FormProperties())
          .Enum("Alignment", AlignmentNames(), &B::GetAlignment, &B::SetAlignment)
          .Bool("AllowAllUp", &B::GetAllowAllUp, &B::SetAllowAllUp)
          .Bool("AllowTimer", &B::GetAllowTimer, &B::SetAllowTimer)
          .Integer("GroupIndex", &B::GetGroupIndex, &B::SetGroupIndex)
          .Bool("Down", &B::GetDown, &B::SetDown)
          .Bool("DoubleBuffered", &B::GetDoubleBuffered, &B::SetDoubleBuffered)
          .Reference<TPopupMenu>("DropDownMenu", &B::GetDropDownMenu, &B::SetDropDownMenu)
          .Bool("Flat", &B::GetFlat, &B::SetFlat)
          .Bool("GrayedInactive", &B::GetGrayedInactive, &B::SetGrayedInactive)
          .Bool("GrayNewStyle", &B::GetGrayNewStyle, &B::SetGrayNewStyle)
          .Bool("HotTrack", &B::GetHotTrack, &B::SetHotTrack)
          .Font("HotTrackFont", [](const B& Button) { return Button.GetHotTrackFont(); })
          .Set("HotTrackFontOptions", TrackFontOptionNames(), &B::GetHotTrackFontOptions, &B::SetHotTrackFontOptions)
          .Nested("HotTrackOptions", [](const B& Button) { return Button.GetHotTrackOptions(); },
                  TOxHotTrackOptions::FormProperties())
          .Custom("InitPause", Word(&B::SetInitPause),
                  [](const B& Button, TFormValue& V) {
                    V = TFormValue::OfInteger(Button.GetInitPause());
                    return true;
                  })
          .Enum("Layout", ButtonLayoutNames(), &B::GetLayout, &B::SetLayout)
          .Integer("Margin", &B::GetMargin, &B::SetMargin)
          .Bool("MarkDropDown", &B::GetMarkDropDown, &B::SetMarkDropDown)
          .Enum("MenuPosition", MenuPositionNames, &B::GetMenuPosition, &B::SetMenuPosition)
          .Integer("ModalResult", &B::GetModalResult, &B::SetModalResult)
          .Custom("RepeatInterval", Word(&B::SetRepeatInterval),
                  [](const B& Button, TFormValue& V) {
                    V = TFormValue::OfInteger(Button.GetRepeatInterval());
                    return true;
                  })
          .Integer("Spacing", &B::GetSpacing, &B::SetSpacing)
          .Enum("Style", StyleNames, &B::GetStyle, &B::SetStyle)
          .Bool("Transparent", &B::GetTransparent, &B::SetTransparent)
          .Bool("WordWrap", &B::GetWordWrap, &B::SetWordWrap)
          .Event("OnDblClick", &B::OnDblClick)
          .Build();
  return Table;
}

// ------------------------------------------------------------ published button
TOxSpeedButton::TOxSpeedButton(TComponent* AOwner)
    : TOxCustomSpeedButton(AOwner), FHotGlyph(std::make_unique<TOxxButtonGlyph>()) {
  FHotGlyph->OnChange = [this](TObject*) { Invalidate(); };
}

TOxSpeedButton::~TOxSpeedButton() { FHotGlyph->OnChange = nullptr; }

void TOxSpeedButton::SetGlyph(TBitmap* Value) {
  FGlyph->SetGlyph(Value);
  Invalidate();
}

void TOxSpeedButton::SetHotTrackGlyph(TBitmap* Value) {
  FHotGlyph->SetGlyph(Value);
  Invalidate();
}

void TOxSpeedButton::SetNumGlyphs(int32_t Value) {
  if (Value <= 0) return;
  FGlyph->SetNumGlyphs(static_cast<uint8_t>(std::min(Value, 5)));
  Invalidate();
}

void TOxSpeedButton::DrawContent(TCanvas* Canvas, const TRect& Rect, TPoint Offset, TOxSpeedButtonState State,
                                 bool DrawMark) {
  TOxxButtonGlyph* G = FGlyph.get();
  if ((GetPointerInside() || GetDragging()) && GetHotTrack() && !FHotGlyph->GetGlyph()->GetEmpty()) {
    auto Saved = std::move(FHotGlyph->OnChange);
    FHotGlyph->OnChange = nullptr;
    FHotGlyph->SetAlignment(FGlyph->GetAlignment());
    FHotGlyph->SetGrayNewStyle(FGlyph->GetGrayNewStyle());
    FHotGlyph->SetNumGlyphs(FGlyph->GetNumGlyphs());
    FHotGlyph->SetWordWrap(FGlyph->GetWordWrap());
    FHotGlyph->OnChange = std::move(Saved);
    G = FHotGlyph.get();
  }
  G->Render(Canvas, Rect, Offset, GetCaption(), GetLayout(), GetMargin(), GetSpacing(), DrawMark, State,
            TextFlags());
}

const TFormPropertyTable& TOxSpeedButton::FormProperties() const {
  using B = TOxSpeedButton;
  static const TFormPropertyTable Table =
      TFormProperties<B>("TOxSpeedButton", &TOxCustomSpeedButton::FormProperties())
          .Bitmap("Glyph.Data", &B::GetGlyph, &B::SetGlyph)
          .Bitmap("HotTrackGlyph.Data", &B::GetHotTrackGlyph, &B::SetHotTrackGlyph)
          .Integer("NumGlyphs", &B::GetNumGlyphs, &B::SetNumGlyphs)
          .Build();
  return Table;
}

