#include "widgets/office_color_panel.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "widgets/draw_helpers.h"

namespace {

TOxColorChooser& Chooser() {
  static TOxColorChooser C;
  return C;
}

constexpr int32_t kMaxCells = 64;

bool IsLoadingChain(TComponent* C) {
  for (; C; C = C->GetOwner())
    if (C->GetComponentState() & (csLoading | csReading)) return true;
  return false;
}

}  // namespace

TOxColorChooser SetOxColorChooser(TOxColorChooser NewChooser) {
  TOxColorChooser Old = std::move(Chooser());
  Chooser() = std::move(NewChooser);
  return Old;
}

// ------------------------------------------------------------ divider
TOxOfficePanelDividerLine::TOxOfficePanelDividerLine(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 50, 2);
}

void TOxOfficePanelDividerLine::Paint() {
  TCanvas* C = GetCanvas();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(GetParent() ? GetParent()->GetColor() : clBtnFace);
  C->FillRect(Rect(0, 0, GetWidth(), GetHeight()));
  C->GetPen()->SetColor(clBtnShadow);
  C->MoveTo(0, 0);
  C->LineTo(GetWidth(), 0);
  C->GetPen()->SetColor(clBtnHighlight);
  C->MoveTo(0, 1);
  C->LineTo(GetWidth(), 1);
}

// ------------------------------------------------------------ properties
TOxOfficeColorPanelProperties::TOxOfficeColorPanelProperties(TPersistent* AOwner)
    : TOxPersistentProperty(AOwner),
      FCustomColorFont(std::make_unique<TFont>()),
      FDefaultColorFont(std::make_unique<TFont>()),
      FNoneColorFont(std::make_unique<TFont>()) {
  FCustomColorFont->OnChange = [this](TObject*) { DoAfterPropertyChange("CustomColorFont"); };
  FDefaultColorFont->OnChange = [this](TObject*) { DoAfterPropertyChange("DefaultColorFont"); };
  FNoneColorFont->OnChange = [this](TObject*) { DoAfterPropertyChange("NoneColorFont"); };
}

void TOxOfficeColorPanelProperties::LoadDefaultTexts() {
  TOxChangeBracket Bracket(this);
  SetNoneColorCaption("No Color");
  SetNoneColorHint("No Color");
  SetDefaultColorCaption("Automatic");
  SetDefaultColorHint("Automatic");
  SetCustomColorCaption("Other Colors...");
  SetCustomColorHint("Other Colors...");
}

void TOxOfficeColorPanelProperties::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TOxOfficeColorPanelProperties*>(Source);
  if (!S) {
    TOxPersistentProperty::Assign(Source);
    return;
  }
  TOxChangeBracket Bracket(this);
  SetShowNoneColor(S->GetShowNoneColor());
  SetShowDefaultColor(S->GetShowDefaultColor());
  SetShowCustomColor(S->GetShowCustomColor());
  SetShowColorsHint(S->GetShowColorsHint());
  SetShowAddInHint(S->GetShowAddInHint());
  SetRightClickSelect(S->GetRightClickSelect());
  SetSelectIfPopup(S->GetSelectIfPopup());
  SetShowStandardColors(S->GetShowStandardColors());
  SetShowSystemColors(S->GetShowSystemColors());
  SetShowUserColors(S->GetShowUserColors());
  SetHoldCustomColor(S->GetHoldCustomColor());
  SetTopMargin(S->GetTopMargin());
  SetColorSpaceBottom(S->GetColorSpaceBottom());
  SetHorizontalMargin(S->GetHorizontalMargin());
  SetColorSpace(S->GetColorSpace());
  SetColorSpaceTop(S->GetColorSpaceTop());
  SetButtonHeight(S->GetButtonHeight());
  SetColorSize(S->GetColorSize());
  SetBottomMargin(S->GetBottomMargin());
  SetDefaultColorCaption(S->GetDefaultColorCaption());
  SetCustomColorCaption(S->GetCustomColorCaption());
  SetNoneColorCaption(S->GetNoneColorCaption());
  SetDefaultColorHint(S->GetDefaultColorHint());
  SetCustomColorHint(S->GetCustomColorHint());
  SetNoneColorHint(S->GetNoneColorHint());
  SetDefaultColorColor(S->GetDefaultColorColor());
  SetNoneColorColor(S->GetNoneColorColor());
  FCustomColorFont->Assign(S->GetCustomColorFont());
  FDefaultColorFont->Assign(S->GetDefaultColorFont());
  FNoneColorFont->Assign(S->GetNoneColorFont());
}

const TFormPropertyTable& TOxOfficeColorPanelProperties::FormProperties() {
  using P = TOxOfficeColorPanelProperties;
  static const TFormPropertyTable Table =
      TFormProperties<P>("", nullptr)
          .Coordinate("BottomMargin", &P::GetBottomMargin, &P::SetBottomMargin)
          .Coordinate("ButtonHeight", &P::GetButtonHeight, &P::SetButtonHeight)
          .Coordinate("ColorSize", &P::GetColorSize, &P::SetColorSize)
          .Coordinate("ColorSpace", &P::GetColorSpace, &P::SetColorSpace)
          .Coordinate("ColorSpaceBottom", &P::GetColorSpaceBottom, &P::SetColorSpaceBottom)
          .Coordinate("ColorSpaceTop", &P::GetColorSpaceTop, &P::SetColorSpaceTop)
          .String("CustomColorCaption", &P::GetCustomColorCaption, &P::SetCustomColorCaption)
          .Font("CustomColorFont", [](const P& Props) { return Props.GetCustomColorFont(); })
          .String("CustomColorHint", &P::GetCustomColorHint, &P::SetCustomColorHint)
          .String("DefaultColorCaption", &P::GetDefaultColorCaption, &P::SetDefaultColorCaption)
          .Color("DefaultColorColor", &P::GetDefaultColorColor, &P::SetDefaultColorColor)
          .Font("DefaultColorFont", [](const P& Props) { return Props.GetDefaultColorFont(); })
          .String("DefaultColorHint", &P::GetDefaultColorHint, &P::SetDefaultColorHint)
          .Bool("HoldCustomColor", &P::GetHoldCustomColor, &P::SetHoldCustomColor)
          .Coordinate("HorizontalMargin", &P::GetHorizontalMargin, &P::SetHorizontalMargin)
          .String("NoneColorCaption", &P::GetNoneColorCaption, &P::SetNoneColorCaption)
          .Color("NoneColorColor", &P::GetNoneColorColor, &P::SetNoneColorColor)
          .Font("NoneColorFont", [](const P& Props) { return Props.GetNoneColorFont(); })
          .String("NoneColorHint", &P::GetNoneColorHint, &P::SetNoneColorHint)
          .Bool("RightClickSelect", &P::GetRightClickSelect, &P::SetRightClickSelect)
          .Bool("SelectIfPopup", &P::GetSelectIfPopup, &P::SetSelectIfPopup)
          .Bool("ShowAddInHint", &P::GetShowAddInHint, &P::SetShowAddInHint)
          .Bool("ShowColorsHint", &P::GetShowColorsHint, &P::SetShowColorsHint)
          .Bool("ShowCustomColor", &P::GetShowCustomColor, &P::SetShowCustomColor)
          .Bool("ShowDefaultColor", &P::GetShowDefaultColor, &P::SetShowDefaultColor)
          .Bool("ShowNoneColor", &P::GetShowNoneColor, &P::SetShowNoneColor)
          .Bool("ShowStandardColors", &P::GetShowStandardColors, &P::SetShowStandardColors)
          .Bool("ShowSystemColors", &P::GetShowSystemColors, &P::SetShowSystemColors)
          .Bool("ShowUserColors", &P::GetShowUserColors, &P::SetShowUserColors)
          .Coordinate("TopMargin", &P::GetTopMargin, &P::SetTopMargin)
          // Names of older resources.
          .Retired("AutoCaption", "DefaultColorCaption")
          .Retired("AutoHint", "DefaultColorHint")
          .Retired("OtherCaption", "CustomColorCaption")
          .Retired("OtherHint", "CustomColorHint")
          .Retired("ShowAutoButton", "ShowDefaultColor")
          .Retired("ShowColorHint", "ShowColorsHint")
          .Retired("ShowOtherButton", "ShowCustomColor")
          .Build();
  return Table;
}

// ------------------------------------------------------------ panel
TOxCustomOfficeColorPanel::TOxCustomOfficeColorPanel(TComponent* AOwner)
    : TOxCustomArrangePanel(AOwner),
      FStandardColors(std::make_unique<TStringList>()),
      FSystemColors(std::make_unique<TStringList>()),
      FUserColors(std::make_unique<TStringList>()) {
  SetControlStyle(GetControlStyle() & ~csAcceptsControls);
  GetHotTrackOptions()->OnAfterChange = [this](TObject*) { HotTrackOptionsChanged(); };
  FProperties = new TOxOfficeColorPanelProperties(this);
  FProperties->OnAfterPropertyChange = [this](TObject* S, const std::string& N) { PropertiesChanged(S, N); };
  FSelectedColor = FProperties->GetDefaultColorColor();

  FNoneColorButton = new TOxColorSpeedButton(this);
  FNoneColorButton->SetDrawColor(FProperties->GetNoneColorColor());
  FNoneColorButton->SetShowSwatch(false);
  FNoneColorButton->SetBarUnderGlyph(false);
  FDefaultColorButton = new TOxDefaultColorSpeendButton(this);
  FDefaultColorButton->SetDrawColor(FProperties->GetDefaultColorColor());
  FDefaultColorButton->SetSwatchPlacement(1);
  FDefaultColorButton->SetDrawBorder(true);
  FDefaultColorButton->SetBarUnderGlyph(false);
  FCustomColorButton = new TOxColorSpeedButton(this);
  FCustomColorButton->SetShowSwatch(false);
  FCustomColorButton->SetBarUnderGlyph(false);
  FCustomColorButton->SetDrawBorder(true);
  FCustomColorDrawer = new TOxOfficeColorDrawer(this);
  FCustomColorDrawer->SetHint(ColorToString(clDefault));
  FCustomColorDrawer->SetBarUnderGlyph(false);
  int32_t Tag = 1;
  for (TOxColorSpeedButton* B :
       {FNoneColorButton, static_cast<TOxColorSpeedButton*>(FDefaultColorButton), FCustomColorButton,
        static_cast<TOxColorSpeedButton*>(FCustomColorDrawer)}) {
    B->SetParent(this);
    PrepareButton(B);
    B->SetTag(Tag++);
    FAddedControls.push_back(B);
  }
  FDefaultColorButton->SetDown(true);
  FLastDownButton = FDefaultColorButton;
  for (auto** D : {&FSystemDivider, &FUserDivider, &FCustomDivider}) {
    *D = new TOxOfficePanelDividerLine(this);
    (*D)->SetParent(this);
    (*D)->SetVisible(false);
  }
  for (const auto& Item : OfficeColorNames)
    FStandardColors->Add(ColorToString(Item.Value) + "=" + Item.Description);
  for (const auto& Item : SystemColorNames)
    FSystemColors->Add(ColorToString(Item.Value) + "=" + Item.Description);
  if (!IsLoadingChain(this)) FProperties->LoadDefaultTexts();
  BuildColorButtons(FStandardButtons, FStandardColors.get(), FProperties->GetShowStandardColors());
  BuildColorButtons(FSystemButtons, FSystemColors.get(), FProperties->GetShowSystemColors());
  FInitialized = true;
}

TOxCustomOfficeColorPanel::~TOxCustomOfficeColorPanel() {
  FProperties->OnAfterPropertyChange = nullptr;
  GetHotTrackOptions()->OnAfterChange = nullptr;
  FInitialized = false;
}

void TOxCustomOfficeColorPanel::PrepareButton(TOxColorSpeedButton* B) {
  B->SetGroupIndex(1);
  B->SetFlat(true);
  B->OnClick = [this](TObject* S) { ColorButtonClick(S); };
  B->OnEnabledChange = [this](TObject* S) {
    if (auto* Sw = dynamic_cast<TOxColorSpeedButton*>(S)) Sw->SetDisabledDrawColor(FBackColor);
  };
  B->OnMouseUp = [this](TObject* S, TMouseButton Btn, TShiftState Sh, int32_t X, int32_t Y) {
    ColorButtonMouseUp(S, Btn, Sh, X, Y);
  };
}

void TOxCustomOfficeColorPanel::BuildColorButtons(std::vector<TOxOfficeColorDrawer*>& Buttons, TStringList* Colors,
                                                  bool Show) {
  DeleteEmptyLines(Colors);
  if (Colors->GetCount() == 0) return;
  const int32_t N = std::min(Colors->GetCount(), kMaxCells);
  for (size_t I = N; I < Buttons.size(); ++I) Buttons[I]->SetShown(false);
  while (static_cast<int32_t>(Buttons.size()) < N) {
    auto* B = new TOxOfficeColorDrawer(this);
    B->SetBarUnderGlyph(false);
    Buttons.push_back(B);
  }
  for (int32_t I = 0; I < N; ++I) {
    TOxOfficeColorDrawer* B = Buttons[I];
    B->SetParent(this);
    PrepareButton(B);
    B->SetTag(I);
    TColor C;
    const std::string Ident = TrimSpaces(Colors->GetName(I));
    std::string Description = Colors->GetValueFromIndex(I);
    if (TryStringToColor(Ident, C)) {
      B->SetDrawColor(C);
      B->SetEnabled(true);
      B->SetShown(Show);
    } else {
      B->SetDrawColor(clDefault);
      B->SetDisabledDrawColor(FBackColor);
      B->SetEnabled(false);
      B->SetShown(false);
    }
    if (SameText(Description, "($)")) Description = ColorDisplayName(B->GetDrawColor());
    B->SetHint(Description);
    B->SetShowHint(FProperties->GetShowColorsHint());
    B->SetTransparent(false);
    B->SetColor(FBackColor);
    B->SetDisabledDrawColor(FBackColor);
    B->SetHotTrack(GetHotTrack());
    B->SetHotTrackFont(GetHotTrackFont());
    B->SetHotTrackFontOptions(GetHotTrackFontOptions());
    B->SetHotTrackOptions(GetHotTrackOptions());
  }
}

void TOxCustomOfficeColorPanel::ForEachCell(const std::function<void(TOxOfficeColorDrawer*)>& Fn) {
  for (auto* List : {&FStandardButtons, &FSystemButtons, &FUserButtons})
    for (TOxOfficeColorDrawer* B : *List) Fn(B);
}

void TOxCustomOfficeColorPanel::AdjustColorButtons() {
  if (!FInitialized || !GetParent() || FArranging) return;
  FArranging = true;
  DisableAlign();
  struct Done {
    TOxCustomOfficeColorPanel* P;
    ~Done() {
      P->EnableAlign();
      P->FArranging = false;
    }
  } Guard{this};
  const TOxOfficeColorPanelProperties& P = *FProperties;
  const int32_t W = P.GetColorSize() * 8 + P.GetColorSpace() * 7;
  const int32_t B = GetBorderWidth();
  const int32_t X = P.GetHorizontalMargin() + B;
  int32_t Below = B, Y0 = 0;
  TControl* Last = nullptr;
  auto Bottom = [](TControl* C) { return C->GetTop() + C->GetHeight(); };

  FNoneColorButton->SetShown(P.GetShowNoneColor());
  if (P.GetShowNoneColor()) {
    FNoneColorButton->SetCaption(P.GetNoneColorCaption());
    FNoneColorButton->SetBounds(X, P.GetTopMargin() + B, W, P.GetButtonHeight());
    Below = Bottom(FNoneColorButton);
    Y0 = P.GetTopMargin() + B + FNoneColorButton->GetHeight();
    Last = FNoneColorButton;
  }
  FDefaultColorButton->SetShown(P.GetShowDefaultColor());
  if (P.GetShowDefaultColor()) {
    FDefaultColorButton->SetCaption(P.GetDefaultColorCaption());
    FDefaultColorButton->SetBounds(X, P.GetTopMargin() + Y0, W, P.GetButtonHeight());
    Below = Bottom(FDefaultColorButton);
    Last = FDefaultColorButton;
  }
  const int32_t Step = P.GetColorSpace() + P.GetColorSize();
  auto Grid = [&](std::vector<TOxOfficeColorDrawer*>& Buttons, TStringList* Colors, bool Show, int32_t Top) {
    const int32_t N = std::min(Colors->GetCount(), kMaxCells);
    if (N > static_cast<int32_t>(Buttons.size())) BuildColorButtons(Buttons, Colors, Show);
    for (size_t I = N; I < Buttons.size(); ++I) Buttons[I]->SetShown(false);
    for (int32_t I = 0; I < N && I < static_cast<int32_t>(Buttons.size()); ++I) {
      TOxOfficeColorDrawer* C = Buttons[I];
      // A line whose identifier is no colour keeps its cell hidden.
      TColor Unused;
      C->SetShown(Show && TryStringToColor(TrimSpaces(Colors->GetName(I)), Unused));
      if (!Show) continue;
      C->SetBounds(X + Step * (I % 8), Top + P.GetColorSpaceTop() + Step * (I / 8), P.GetColorSize(),
                   P.GetColorSize());
      if (C->GetVisible()) Last = C;
    }
  };
  Grid(FStandardButtons, FStandardColors.get(), P.GetShowStandardColors(), Below);
  int32_t T = (P.GetShowStandardColors() && Last) ? Bottom(Last) : Below;
  const bool SysDivider = P.GetShowSystemColors() && FSystemColors->GetCount() > 0 && P.GetShowStandardColors();
  FSystemDivider->SetVisible(SysDivider);
  if (SysDivider) {
    FSystemDivider->SetBounds(X, T + P.GetColorSpaceBottom(), W, FSystemDivider->GetHeight());
    T = Bottom(FSystemDivider);
  }
  Grid(FSystemButtons, FSystemColors.get(), P.GetShowSystemColors(), T);
  if (P.GetShowSystemColors() && Last) T = Bottom(Last);
  const bool UsrDivider = P.GetShowUserColors() && FUserColors->GetCount() > 0 &&
                          (P.GetShowSystemColors() || P.GetShowStandardColors());
  FUserDivider->SetVisible(UsrDivider);
  if (UsrDivider) {
    FUserDivider->SetBounds(X, T + P.GetColorSpaceBottom(), W, FUserDivider->GetHeight());
    T = Bottom(FUserDivider);
  }
  Grid(FUserButtons, FUserColors.get(), P.GetShowUserColors(), T);

  auto NextY = [&] { return Last ? Bottom(Last) + P.GetColorSpaceBottom() : P.GetTopMargin(); };
  int32_t Y = NextY();
  const bool AnyGrid = P.GetShowStandardColors() || P.GetShowSystemColors() || P.GetShowUserColors();
  FCustomDivider->SetVisible(P.GetShowCustomColor() && AnyGrid);
  if (FCustomDivider->GetVisible()) {
    FCustomDivider->SetBounds(X, Y, W, FCustomDivider->GetHeight());
    Last = FCustomDivider;
    Y = NextY();
  }
  FCustomColorDrawer->SetShown(P.GetShowCustomColor());
  FCustomColorButton->SetShown(P.GetShowCustomColor());
  if (P.GetShowCustomColor()) {
    FCustomColorDrawer->SetBounds(X + W - P.GetButtonHeight(), Y, P.GetButtonHeight(), P.GetButtonHeight());
    FCustomColorButton->SetCaption(P.GetCustomColorCaption());
    FCustomColorButton->SetBounds(X, Y, W - FCustomColorDrawer->GetWidth() - P.GetColorSpace(), P.GetButtonHeight());
    Last = FCustomColorButton;
  }
  for (size_t I = 4; I < FAddedControls.size(); ++I) {
    TControl* C = FAddedControls[I];
    if (!C->GetVisible()) continue;
    Y = NextY();
    C->SetParent(this);
    C->SetBounds(X, Y, W, C->GetHeight());
    Last = C;
  }
  const int32_t NewW = (P.GetHorizontalMargin() + B) * 2 + P.GetColorSize() * 8 + P.GetColorSpace() * 7;
  const int32_t NewH = Last ? Bottom(Last) + P.GetBottomMargin() + B : 0;
  SetBounds(GetLeft(), GetTop(), NewW, NewH);
}

void TOxCustomOfficeColorPanel::Resize() {
  TOxCustomArrangePanel::Resize();
  if (!FArranging) AdjustColorButtons();
}

void TOxCustomOfficeColorPanel::Loaded() {
  TOxCustomArrangePanel::Loaded();
  if (FUserColors->GetCount() > 0) BuildColorButtons(FUserButtons, FUserColors.get(), FProperties->GetShowUserColors());
  // Texts a resource leaves out keep the defaults instead of showing blank.
  TOxOfficeColorPanelProperties Defaults(nullptr);
  Defaults.LoadDefaultTexts();
  TOxOfficeColorPanelProperties& P = *FProperties;
  if (P.GetNoneColorCaption().empty()) P.SetNoneColorCaption(Defaults.GetNoneColorCaption());
  if (P.GetNoneColorHint().empty()) P.SetNoneColorHint(Defaults.GetNoneColorHint());
  if (P.GetDefaultColorCaption().empty()) P.SetDefaultColorCaption(Defaults.GetDefaultColorCaption());
  if (P.GetDefaultColorHint().empty()) P.SetDefaultColorHint(Defaults.GetDefaultColorHint());
  if (P.GetCustomColorCaption().empty()) P.SetCustomColorCaption(Defaults.GetCustomColorCaption());
  if (P.GetCustomColorHint().empty()) P.SetCustomColorHint(Defaults.GetCustomColorHint());
  AdjustColorButtons();
}

void TOxCustomOfficeColorPanel::RebuildColorButtons() {
  if (FArranging) return;
  const auto& P = *FProperties;
  if (P.GetShowStandardColors()) BuildColorButtons(FStandardButtons, FStandardColors.get(), true);
  if (P.GetShowSystemColors()) BuildColorButtons(FSystemButtons, FSystemColors.get(), true);
  if (P.GetShowUserColors()) BuildColorButtons(FUserButtons, FUserColors.get(), true);
  if (P.GetShowStandardColors() || P.GetShowSystemColors() || P.GetShowUserColors()) AdjustColorButtons();
}

void TOxCustomOfficeColorPanel::SetUserColors(TStrings* Value) {
  if (!Value || Value == FUserColors.get()) return;
  FUserColors->Assign(Value);
  RebuildColorButtons();
}

void TOxCustomOfficeColorPanel::SetProperties(TOxOfficeColorPanelProperties* Value) {
  if (Value && Value != FProperties) FProperties->Assign(Value);
}

void TOxCustomOfficeColorPanel::SetBackColor(TColor Value) {
  if (Value == FBackColor) return;
  FBackColor = Value;
  SetColor(Value);
  ForEachCell([Value](TOxOfficeColorDrawer* B) {
    B->SetColor(Value);
    B->SetDisabledDrawColor(Value);
  });
  for (TControl* C : FAddedControls) {
    C->SetColor(Value);
    if (auto* S = dynamic_cast<TOxColorSpeedButton*>(C)) S->SetDisabledDrawColor(Value);
  }
}

void TOxCustomOfficeColorPanel::SetHotTrack(bool Value) {
  TOxCustomArrangePanel::SetHotTrack(Value);
  ForEachCell([Value](TOxOfficeColorDrawer* B) { B->SetHotTrack(Value); });
  for (TControl* C : FAddedControls)
    if (auto* H = dynamic_cast<IOxHotTrackSettings*>(C)) H->SetHotTrack(Value);
}

void TOxCustomOfficeColorPanel::SetHotTrackOptions(TOxHotTrackOptions* Value) {
  TOxCustomArrangePanel::SetHotTrackOptions(Value);
}

void TOxCustomOfficeColorPanel::HotTrackOptionsChanged() {
  TOxHotTrackOptions* O = GetHotTrackOptions();
  if (FDefaultColorButton) FDefaultColorButton->SetDrawBorder(!O->GetEnabled());
  if (FCustomColorButton) FCustomColorButton->SetDrawBorder(!O->GetEnabled());
  ForEachCell([O](TOxOfficeColorDrawer* B) { B->SetHotTrackOptions(O); });
  for (TControl* C : FAddedControls)
    if (auto* H = dynamic_cast<IOxHotTrackSettings*>(C)) H->SetHotTrackOptions(O);
}

void TOxCustomOfficeColorPanel::SetEnabled(bool Value) {
  TOxCustomArrangePanel::SetEnabled(Value);
  ForEachCell([Value](TOxOfficeColorDrawer* B) { B->SetEnabled(Value); });
  for (TControl* C : FAddedControls) C->SetEnabled(Value);
}

void TOxCustomOfficeColorPanel::PropertiesChanged(TObject*, const std::string& PropName) {
  const auto& P = *FProperties;
  auto Is = [&](const char* N) { return SameText(PropName, N); };
  if (Is("NoneColorCaption")) {
    FNoneColorButton->SetCaption(P.GetNoneColorCaption());
  } else if (Is("DefaultColorCaption")) {
    FDefaultColorButton->SetCaption(P.GetDefaultColorCaption());
  } else if (Is("CustomColorCaption")) {
    FCustomColorButton->SetCaption(P.GetCustomColorCaption());
  } else if (Is("NoneColorHint")) {
    FNoneColorButton->SetHint(P.GetNoneColorHint());
  } else if (Is("DefaultColorHint")) {
    FDefaultColorButton->SetHint(P.GetDefaultColorHint());
  } else if (Is("CustomColorHint")) {
    FCustomColorButton->SetHint(P.GetCustomColorHint());
  } else if (Is("NoneColorColor")) {
    FNoneColorButton->SetDrawColor(P.GetNoneColorColor());
  } else if (Is("DefaultColorColor")) {
    FDefaultColorButton->SetDrawColor(P.GetDefaultColorColor());
  } else if (Is("NoneColorFont")) {
    FNoneColorButton->SetFont(P.GetNoneColorFont());
  } else if (Is("DefaultColorFont")) {
    FDefaultColorButton->SetFont(P.GetDefaultColorFont());
  } else if (Is("CustomColorFont")) {
    FCustomColorButton->SetFont(P.GetCustomColorFont());
  } else if (Is("ShowAddInHint")) {
    for (TOxSpeedButton* B : {static_cast<TOxSpeedButton*>(FNoneColorButton),
                              static_cast<TOxSpeedButton*>(FDefaultColorButton),
                              static_cast<TOxSpeedButton*>(FCustomColorButton)})
      B->SetShowHint(P.GetShowAddInHint());
  } else if (Is("ShowColorsHint")) {
    ForEachCell([&](TOxOfficeColorDrawer* B) { B->SetShowHint(P.GetShowColorsHint()); });
  } else if (Is("RightClickSelect") || Is("HoldCustomColor")) {
    // Read at the next click.
  } else {
    AdjustColorButtons();
  }
}

void TOxCustomOfficeColorPanel::SetSelectedColor(TColor Value) {
  if (Value == FSelectedColor) return;
  FSelectedColor = Value;
  if (FSyncButtons) {
    if (Value == FDefaultColorButton->GetDrawColor()) {
      FDefaultColorButton->SetDown(true);
      if (!FLastDownButton) FLastDownButton = FDefaultColorButton;
    } else {
      FDefaultColorButton->SetDown(false);
      TOxSpeedButton* Visited = nullptr;
      bool Found = false;
      for (auto* List : {&FStandardButtons, &FSystemButtons, &FUserButtons}) {
        for (TOxOfficeColorDrawer* B : *List) {
          Visited = B;
          B->SetDown(B->GetDrawColor() == Value);
          if (B->GetDown()) {
            Found = true;
            break;
          }
        }
        if (Found) break;
      }
      if (!FLastDownButton) FLastDownButton = Visited;
    }
  }
  DoColorChange();
}

void TOxCustomOfficeColorPanel::DoColorChange() {
  if (OnColorChange) OnColorChange(this);
}

void TOxCustomOfficeColorPanel::ApplyCustomColor(TColor C) {
  if (FClickKind != 3) return;
  if (FCustomColorButton->GetDrawColor() != C) {
    FCustomColorButton->SetDrawColor(C);
    FCustomColorDrawer->SetDrawColor(C);
    FCustomColorDrawer->SetHint(ColorDisplayName(C));
  }
  if (FProperties->GetHoldCustomColor() && FUserColors->IndexOfName(ColorToString(C)) < 0) {
    FUserColors->Add(ColorToString(C) + "=($)");
    BuildColorButtons(FUserButtons, FUserColors.get(), FProperties->GetShowUserColors());
    AdjustColorButtons();
    if (OnCustomColorHeld) OnCustomColorHeld(this, C);
  }
}

void TOxCustomOfficeColorPanel::ColorButtonClick(TObject* Sender) {
  auto* Swatch = dynamic_cast<TOxColorSpeedButton*>(Sender);
  if (!Swatch) {
    FClickKind = 5;
  } else if (Sender == FNoneColorButton) {
    FClickKind = 1;
  } else if (Sender == FDefaultColorButton) {
    FClickKind = 2;
  } else if (Sender == FCustomColorButton) {
    FClickKind = 3;
  } else if (std::find(FAddedControls.begin(), FAddedControls.end(), Swatch) != FAddedControls.end()) {
    FClickKind = 4;
  } else {
    FClickKind = 0;
  }
  FSyncButtons = false;
  struct Restore {
    TOxCustomOfficeColorPanel* P;
    ~Restore() { P->FSyncButtons = true; }
  } Guard{this};
  if (OnColorButtonClick) OnColorButtonClick(Sender);
  if (FClickKind == 0 || FClickKind == 1 || FClickKind == 2 || FClickKind == 4) {
    SetSelectedColor(Swatch->GetDrawColor());
  } else if (FClickKind == 3) {
    if (OnShowOwnerColorDialog) {
      const TColor Before = FSelectedColor;
      OnShowOwnerColorDialog(Sender);
      if (FSelectedColor == Before) {
        if (FLastDownButton) FLastDownButton->SetDown(true);
      } else {
        ApplyCustomColor(FSelectedColor);
      }
    } else {
      TColor C = FSelectedColor;
      if (Chooser() && Chooser()(C)) {
        ApplyCustomColor(C);
        SetSelectedColor(C);
      } else if (FLastDownButton) {
        FLastDownButton->SetDown(true);
      }
    }
    if (FLastDownButton && (!FLastDownButton->GetDown() || FLastDownButton == FCustomColorButton))
      FCustomColorDrawer->SetDown(true);
  }
  if (auto* SB = dynamic_cast<TOxSpeedButton*>(Sender); SB && FLastDownButton && !FLastDownButton->GetDown())
    FLastDownButton = SB;
  FClickKind = 5;
}

void TOxCustomOfficeColorPanel::ColorButtonMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift,
                                                   int32_t X, int32_t Y) {
  if (OnMouseUp) OnMouseUp(Sender, Button, Shift, X, Y);
  for (TControl* C = this; C; C = C->GetParent()) {
    if (C->GetPopupMenu()) {
      if (!FProperties->GetSelectIfPopup()) return;
      break;
    }
  }
  if (FProperties->GetRightClickSelect() && Button == mbRight) ColorButtonClick(Sender);
}

const TFormPropertyTable& TOxCustomOfficeColorPanel::FormProperties() const {
  using P = TOxCustomOfficeColorPanel;
  static const TFormPropertyTable Table =
      TFormProperties<P>("", &TOxCustomArrangePanel::FormProperties())
          .Color("BackColor", &P::GetBackColor, &P::SetBackColor)
          .Bool("Flat", &P::GetFlatBorder, &P::SetFlatBorder)
          .Nested("Properties", [](const P& Panel) { return Panel.GetProperties(); },
                  TOxOfficeColorPanelProperties::FormProperties())
          // Every colour is stored as it is, black included.
          .Color("SelectedColor", &P::GetSelectedColor, &P::SetSelectedColor)
          .Retired("Color", "SelectedColor")
          .Strings("UserColors.Strings", &P::GetUserColors, &P::SetUserColors)
          // The colour chooser of this platform takes no options or custom list.
          .Ignored({"ColorDialogOptions", "Options", "ColorDlgCustomColors.Strings", "CustomColors.Strings"})
          .Event("OnColorButtonClick", &P::OnColorButtonClick)
          .Event("OnColorChange", &P::OnColorChange)
          .Event("OnShowOwnerColorDialog", &P::OnShowOwnerColorDialog)
          .Build();
  return Table;
}
