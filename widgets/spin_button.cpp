#include "widgets/spin_button.h"

#include <algorithm>
#include <tuple>

#include "platform/vcl/form_properties.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/messages.h"
#include "widgets/draw_helpers.h"
#include "widgets/theming.h"

namespace {

TSpinButtonBitmapsManager* GManager = nullptr;

void Line(TCanvas* C, TColor Color, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  C->GetPen()->SetColor(Color);
  C->MoveTo(X1, Y1);
  C->LineTo(X2, Y2);
}

// Draws a picture leaving out its white pixels; a disabled picture is
// embossed first (its black glyph pixels become the embossed ones).
void DrawArrow(TCanvas* C, TBitmap* Pic, int32_t X, int32_t Y, bool Enabled) {
  if (!Pic || Pic->GetEmpty()) return;
  if (Enabled) {
    DrawBitmapMasked(C, X, Y, Pic, clWhite);
    return;
  }
  auto E = MakeEmbossedBitmap(Pic, clWhite);
  DrawBitmapMasked(C, X, Y, E.get(), static_cast<TColor>(ColorToRGB(clBtnFace)));
}

}  // namespace

std::unique_ptr<TBitmap> MakeSpinArrow(bool Up, bool Classic) {
  static const char* const kUp[6] = {"..##..", ".####.", "######", "..##..", "..##..", "..##.."};
  static const char* const kDown[6] = {"..##..", "..##..", "..##..", "######", ".####.", "..##.."};
  static const char* const kUpPole[4] = {"...#...", "..###..", ".#####.", "#######"};
  static const char* const kDownPole[4] = {"#######", ".#####.", "..###..", "...#..."};
  const char* const* Rows = Classic ? (Up ? kUpPole : kDownPole) : (Up ? kUp : kDown);
  const int32_t W = Classic ? 7 : 6, H = Classic ? 4 : 6;
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) B->GetCanvas()->SetPixel(X, Y, Rows[Y][X] == '#' ? clBlack : clWhite);
  return B;
}

// ------------------------------------------------------------ faces
TSpinButtonBitmaps::TSpinButtonBitmaps(TSpinButtonBitmapsManager* Manager, int32_t Width, int32_t Height,
                                       TOxSpinButtonStyle Style, bool CustomGlyphs)
    : FManager(Manager),
      FHeight(Height),
      FWidth(Width),
      FStyle(Style),
      FUpperPressed(std::make_unique<TBitmap>()),
      FLowerPressed(std::make_unique<TBitmap>()),
      FNormal(std::make_unique<TBitmap>()),
      FDisabled(std::make_unique<TBitmap>()),
      FCustomGlyphs(CustomGlyphs),
      FUpperHot(std::make_unique<TBitmap>()),
      FLowerHot(std::make_unique<TBitmap>()) {
  RenderAllFaces();
}

TSpinButtonBitmaps::~TSpinButtonBitmaps() {
  if (FManager) FManager->ForgetFaces(this);
}

void TSpinButtonBitmaps::ReleaseReference() {
  if (--FRefCount <= 0) delete this;
}

void TSpinButtonBitmaps::RenderAllFaces() {
  // The faces are drawn in the plain look; the themed push-button and spin
  // parts are not available to this platform's theme services.
  FIsThemed = false;
  RenderFace(FUpperPressed.get(), spUpper, true);
  RenderFace(FLowerPressed.get(), spLower, true);
  RenderFace(FNormal.get(), spNone, true);
  RenderFace(FDisabled.get(), spNone, false);
  ++FRenderCount;
}

void TSpinButtonBitmaps::RenderFace(TBitmap* Face, TOxSpinPart Part, bool Enabled) {
  const int32_t W = FWidth, H = FHeight;
  Face->SetPixelFormat(pf24bit);
  Face->SetSize(W, H);
  TCanvas* C = Face->GetCanvas();
  C->GetPen()->SetWidth(1);
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(clBtnFace);
  C->FillRect(Rect(0, 0, W, H));
  if (FStyle == sbsDefault) {
    TRect R = Rect(0, 0, W, H);
    TColor K1 = clBtnShadow, K2 = clBtnHighlight, K3 = cl3DDkShadow;
    uint32_t UpperEdge = EDGE_RAISED, LowerEdge = EDGE_RAISED;
    if (Part == spUpper) {
      K1 = clBtnFace;
      K3 = clBtnHighlight;
      UpperEdge = EDGE_SUNKEN;
    } else if (Part == spLower) {
      K2 = clWindowFrame;
      K3 = clBtnShadow;
      LowerEdge = EDGE_SUNKEN;
    }
    TRect E1 = R, E2 = R;
    DrawEdge(C, E1, UpperEdge, BF_LEFT | BF_TOP | BF_SOFT);
    DrawEdge(C, E2, LowerEdge, BF_RIGHT | BF_BOTTOM | BF_SOFT);
    R = Rect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
    Line(C, K1, R.Left, R.Bottom - 2, R.Right - 1, R.Top - 1);
    Line(C, K3, R.Right - 1, R.Top, R.Left, R.Bottom - 1);
    Line(C, K2, R.Left + 1, R.Bottom - 1, R.Right, R.Top);
    if (!FCustomGlyphs) {
      auto Up = MakeSpinArrow(true, false), Down = MakeSpinArrow(false, false);
      PaintGlyphs(C, Part, Enabled, Up.get(), Down.get());
    }
  } else {
    TRect U = Rect(0, 0, W, H / 2 + (Part != spUpper ? 1 : 0));
    TRect D = Rect(0, H / 2, W, H);
    DrawEdge(C, U, Part == spUpper ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST);
    DrawEdge(C, D, Part == spLower ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST);
    if (!FCustomGlyphs) {
      auto Up = MakeSpinArrow(true, true), Down = MakeSpinArrow(false, true);
      PaintGlyphs(C, Part, Enabled, Up.get(), Down.get());
    }
  }
}

void TSpinButtonBitmaps::PaintGlyphs(TCanvas* C, TOxSpinPart Pressed, bool Enabled, TBitmap* UpGlyph,
                                     TBitmap* DownGlyph) {
  const int32_t W = FWidth, H = FHeight;
  if (FStyle == sbsDefault) {
    const int32_t D = Pressed == spUpper ? 2 : 1;
    if (UpGlyph && !UpGlyph->GetEmpty()) {
      const long double GW = UpGlyph->GetWidth(), GH = UpGlyph->GetHeight();
      DrawArrow(C, UpGlyph, IERound(W / 4.0L - GW / 2) + D, IERound(H / 4.0L - GH / 2) + D, Enabled);
    }
    if (DownGlyph && !DownGlyph->GetEmpty()) {
      const long double GW = DownGlyph->GetWidth(), GH = DownGlyph->GetHeight();
      DrawArrow(C, DownGlyph, IERound(3.0L * W / 4 - GW / 2) - 1, IERound(3.0L * H / 4 - GH / 2) - 1, Enabled);
    }
    return;
  }
  TRect R1 = Rect(0, 0, W, H / 2 + (Pressed != spUpper ? 1 : 0));
  TRect R2 = Rect(0, H / 2, W, H);
  const int32_t H1 = R1.Height() - 1;
  if (UpGlyph && !UpGlyph->GetEmpty()) {
    const int32_t GH = UpGlyph->GetHeight();
    const int32_t Y = GH > H - H / 2 - 1 ? 0 : (H / 2 - GH) / 2;
    DrawArrow(C, UpGlyph, (W - UpGlyph->GetWidth()) / 2, Y, Enabled);
  }
  if (DownGlyph && !DownGlyph->GetEmpty()) {
    if (Pressed == spUpper) {
      R2.Top += 1;
      R2.Bottom += 1;
    }
    R2.Bottom = R2.Top + H1;
    const int32_t GH = DownGlyph->GetHeight();
    int32_t Y = R2.Top + (H1 - GH) / 2;
    if (GH > H1) {
      R2.Top -= 1;
      Y = R2.Bottom - GH;
    }
    DrawArrow(C, DownGlyph, (W - DownGlyph->GetWidth()) / 2, Y, Enabled);
  }
}

void TSpinButtonBitmaps::PaintFace(TCanvas* Canvas, TOxSpinPart Pressed, bool HotUpper, bool HotLower,
                                   bool Enabled) {
  if (FRedrawPending) {
    RenderAllFaces();
    FRedrawPending = false;
  }
  TBitmap* Face = FNormal.get();
  if (!Enabled) {
    Face = FDisabled.get();
  } else if (Pressed == spUpper) {
    Face = FUpperPressed.get();
  } else if (Pressed == spLower) {
    Face = FLowerPressed.get();
  } else if (FIsThemed && HotUpper) {
    Face = FUpperHot.get();
  } else if (FIsThemed && HotLower) {
    Face = FLowerHot.get();
  }
  Canvas->Draw(0, 0, Face);
}

// ------------------------------------------------------------ manager
TSpinButtonBitmapsManager::~TSpinButtonBitmapsManager() {
  auto List = std::move(FList);
  for (TSpinButtonBitmaps* F : List) {
    // Detached first, so its destructor does not edit the list being freed.
    delete F;
  }
}

bool TSpinButtonBitmapsManager::FindFaces(int32_t Width, int32_t Height, TOxSpinButtonStyle Style,
                                          bool CustomGlyphs, size_t& Index) const {
  const auto Key = std::make_tuple(Width, Height, static_cast<int32_t>(Style), CustomGlyphs ? 1 : 0);
  size_t Lo = 0, Hi = FList.size();
  while (Lo < Hi) {
    const size_t Mid = (Lo + Hi) / 2;
    const TSpinButtonBitmaps* F = FList[Mid];
    const auto K = std::make_tuple(F->GetWidth(), F->GetHeight(), static_cast<int32_t>(F->GetStyle()),
                                   F->GetCustomGlyphs() ? 1 : 0);
    if (K == Key) {
      Index = Mid;
      return true;
    }
    if (K < Key) {
      Lo = Mid + 1;
    } else {
      Hi = Mid;
    }
  }
  Index = Lo;
  return false;
}

TSpinButtonBitmaps* TSpinButtonBitmapsManager::AcquireFaces(int32_t Width, int32_t Height, TOxSpinButtonStyle Style,
                                                            bool CustomGlyphs) {
  size_t Index;
  if (FindFaces(Width, Height, Style, CustomGlyphs, Index)) return FList[Index];
  auto* F = new TSpinButtonBitmaps(this, Width, Height, Style, CustomGlyphs);
  FList.insert(FList.begin() + static_cast<std::ptrdiff_t>(Index), F);
  return F;
}

void TSpinButtonBitmapsManager::ForgetFaces(TSpinButtonBitmaps* Faces) { std::erase(FList, Faces); }

TSpinButtonBitmapsManager* SpinFacesManager() {
  if (!GManager) GManager = new TSpinButtonBitmapsManager();
  return GManager;
}

TSpinButtonBitmapsManager* SpinFacesManagerIfAny() { return GManager; }

void TSpinButtonBitmapsManager::RegisterUser() { ++SpinFacesManager()->FUsers; }

void TSpinButtonBitmapsManager::UnregisterUser() {
  if (!GManager) return;
  if (--GManager->FUsers <= 0) {
    TSpinButtonBitmapsManager* M = GManager;
    GManager = nullptr;
    delete M;
  }
}

// ------------------------------------------------------------ button
TOxSpinButton::TOxSpinButton(TComponent* AOwner)
    : TOxExGraphicControl(AOwner), FUpGlyph(std::make_unique<TBitmap>()), FDownGlyph(std::make_unique<TBitmap>()) {
  FUpGlyph->OnChange = [this](TGraphic*) { GlyphBitmapChanged(); };
  FDownGlyph->OnChange = [this](TGraphic*) { GlyphBitmapChanged(); };
  SetBounds(GetLeft(), GetTop(), 20, 20);
  TSpinButtonBitmapsManager::RegisterUser();
}

TOxSpinButton::~TOxSpinButton() {
  FUpGlyph->OnChange = nullptr;
  FDownGlyph->OnChange = nullptr;
  ReleaseButtonFaces();
  TSpinButtonBitmapsManager::UnregisterUser();
  if (FRepeatTimer) FRepeatTimer->OnTimer = nullptr;
}

void TOxSpinButton::ReleaseButtonFaces() {
  if (!FButtonFaces) return;
  TSpinButtonBitmaps* F = FButtonFaces;
  FButtonFaces = nullptr;
  F->ReleaseReference();
}

void TOxSpinButton::EnsureButtonFaces() {
  if (FButtonFaces && (FButtonFaces->GetWidth() != GetWidth() || FButtonFaces->GetHeight() != GetHeight()))
    ReleaseButtonFaces();
  if (!FButtonFaces) {
    FButtonFaces = SpinFacesManager()->AcquireFaces(GetWidth(), GetHeight(), FButtonStyle, CustomGlyphs());
    FButtonFaces->AddReference();
  }
}

void TOxSpinButton::GlyphBitmapChanged() {
  FUpGlyph->SetTransparent(true);
  FDownGlyph->SetTransparent(true);
  ReleaseButtonFaces();
  Invalidate();
}

void TOxSpinButton::SetButtonStyle(TOxSpinButtonStyle Value) {
  if (Value == FButtonStyle) return;
  FButtonStyle = Value;
  ReleaseButtonFaces();
  Invalidate();
}

void TOxSpinButton::SetUpGlyph(TBitmap* Value) {
  if (Value) {
    FUpGlyph->Assign(Value);
  } else {
    FUpGlyph->SetSize(0, 0);
  }
  GlyphBitmapChanged();
}

void TOxSpinButton::SetDownGlyph(TBitmap* Value) {
  if (Value) {
    FDownGlyph->Assign(Value);
  } else {
    FDownGlyph->SetSize(0, 0);
  }
  GlyphBitmapChanged();
}

void TOxSpinButton::SetFocusControl(TWinControl* Value) { ReplaceComponentReference(this, Value, FFocusControl); }

void TOxSpinButton::Notification(TComponent* AComponent, TOperation Operation) {
  TOxExGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

bool TOxSpinButton::InLowerPart(TPoint P) const {
  const int32_t W = GetWidth(), H = GetHeight();
  if (FButtonStyle == sbsClassic) return P.Y > H / 2;
  if (W <= 0) return P.Y > H / 2;
  return P.Y > H - (static_cast<long double>(H) / W) * P.X;
}

void TOxSpinButton::FireTopClick() {
  if (!OnTopClick) return;
  OnTopClick(this);
  if (!GetMouseCapture()) FPressedPart = spNone;
}

void TOxSpinButton::FireBottomClick() {
  if (!OnBottomClick) return;
  OnBottomClick(this);
  if (!GetMouseCapture()) FPressedPart = spNone;
}

void TOxSpinButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !GetEnabled()) return;
  if (FFocusControl && FFocusControl->GetTabStop() && FFocusControl->CanFocus() && !FFocusControl->Focused())
    FFocusControl->SetFocus();
  if (FPressedPart == spNone) {
    FLastPressedPart = spNone;
    if (InLowerPart(TPoint{X, Y})) {
      FPressedPart = spLower;
      FireBottomClick();
    } else {
      FPressedPart = spUpper;
      FireTopClick();
    }
    if (FPressedPart != FLastPressedPart) {
      FLastPressedPart = FPressedPart;
      Repaint();
    }
    if (!FRepeatTimer) FRepeatTimer = std::make_unique<TTimer>(nullptr);
    FRepeatTimer->OnTimer = [this](TObject* S) { RepeatTimerTick(S); };
    FRepeatTimer->SetInterval(static_cast<uint32_t>(std::max(FInitRepeatPause, 1)));
    FRepeatTimer->SetEnabled(true);
  }
  FPressTracking = true;
}

void TOxSpinButton::EndPress() {
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
  FPressTracking = false;
  if (FPressedPart != spNone || FLastPressedPart != spNone) {
    FPressedPart = spNone;
    FLastPressedPart = spNone;
    Invalidate();
  }
}

void TOxSpinButton::RepeatTimerTick(TObject*) {
  // A press whose release went elsewhere (another window took the mouse or
  // the form lost the focus) ends here instead of stepping on.
  if (!GetMouseCapture() || !FPressTracking) {
    EndPress();
    return;
  }
  FRepeatTimer->SetInterval(static_cast<uint32_t>(std::max(FRepeatPause, 1)));
  if (FPressedPart == spNone) return;
  try {
    if (FPressedPart == spLower) {
      FireBottomClick();
    } else {
      FireTopClick();
    }
  } catch (...) {
    FRepeatTimer->SetEnabled(false);
    throw;
  }
}

void TOxSpinButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TOxExGraphicControl::MouseMove(Shift, X, Y);
  if (FPressTracking) {
    const TOxSpinPart Old = FPressedPart;
    if (X >= 0 && X <= GetWidth() && Y >= 0 && Y <= GetHeight()) {
      if (InLowerPart(TPoint{X, Y})) {
        FPressedPart = FLastPressedPart == spLower ? spLower : spNone;
      } else {
        FPressedPart = FLastPressedPart == spUpper ? spUpper : spNone;
      }
    } else {
      FPressedPart = spNone;
    }
    if (FPressedPart != Old) Repaint();
  } else if ((FHotUpper || FHotLower) && ThemesEnabled()) {
    const bool Lower = InLowerPart(TPoint{X, Y});
    if (Lower != FHotLower) {
      FHotLower = Lower;
      FHotUpper = !Lower;
      Repaint();
    }
  }
}

void TOxSpinButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExGraphicControl::MouseUp(Button, Shift, X, Y);
  // Any release ends the press, inside or outside the button.
  if (FPressTracking || (FRepeatTimer && FRepeatTimer->GetEnabled())) EndPress();
}

void TOxSpinButton::DoMouseEnter(TControl* Control) {
  if (!(GetComponentState() & csDesigning) && !FHotUpper && !FHotLower) {
    TPoint P;
    if (GetCursorPos(P)) {
      const bool Lower = InLowerPart(ScreenToClient(P));
      FHotLower = Lower;
      FHotUpper = !Lower;
      if (ThemesEnabled()) Invalidate();
    }
  }
  TOxExGraphicControl::DoMouseEnter(Control);
}

void TOxSpinButton::DoMouseLeave(TControl* Control) {
  if (!(GetComponentState() & csDesigning) && (FHotUpper || FHotLower)) {
    FHotUpper = FHotLower = false;
    if (ThemesEnabled()) Invalidate();
  }
  TOxExGraphicControl::DoMouseLeave(Control);
}

void TOxSpinButton::DoEnabledChange() {
  TOxExGraphicControl::DoEnabledChange();
  if (!GetEnabled()) EndPress();
  Invalidate();
}

void TOxSpinButton::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_SYSCOLORCHANGE) {
    if (FButtonFaces) FButtonFaces->RequestRedraw();
    Invalidate();
    return;
  }
  if (Message.Msg == CM_CANCELMODE || Message.Msg == WM_CANCELMODE) EndPress();
  TOxExGraphicControl::Dispatch(Message);
}

void TOxSpinButton::Paint() {
  EnsureButtonFaces();
  if (!GetEnabled() && !(GetComponentState() & csDesigning)) FPressTracking = false;
  TCanvas* C = GetCanvas();
  FButtonFaces->PaintFace(C, FPressedPart, FHotUpper, FHotLower, GetEnabled());
  if (CustomGlyphs()) FButtonFaces->PaintGlyphs(C, FPressedPart, GetEnabled(), FUpGlyph.get(), FDownGlyph.get());
}

const TFormPropertyTable& TOxSpinButton::FormProperties() const {
  static const TFormEnumNames StyleNames = {"sbsDefault", "sbsClassic"};
  using B = TOxSpinButton;
  static const TFormPropertyTable Table =
      TFormProperties<B>("TOxSpinButton", &TOxExGraphicControl::FormProperties())
          .Enum("ButtonStyle", StyleNames, &B::GetButtonStyle, &B::SetButtonStyle)
          .Reference<TWinControl>("FocusControl", &B::GetFocusControl, &B::SetFocusControl)
          .Integer("InitRepeatPause", &B::GetInitRepeatPause, &B::SetInitRepeatPause)
          .Integer("RepeatPause", &B::GetRepeatPause, &B::SetRepeatPause)
          .Event("OnBottomClick", &B::OnBottomClick)
          .Event("OnTopClick", &B::OnTopClick)
          .Build();
  return Table;
}
