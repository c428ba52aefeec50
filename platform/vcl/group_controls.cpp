#include "platform/vcl/group_controls.h"

#include <QFontMetrics>
#include <QRadioButton>
#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/lists.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

// ------------------------------------------------------------ group box
TCustomGroupBox::TCustomGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle |= csAcceptsControls | csSetCaption | csDoubleClicks;
  FParentColor = true;
  FColor = clBtnFace;
  SetBounds(0, 0, 185, 105);
}

void TCustomGroupBox::SetText(const std::string& Value) {
  TCustomControl::SetText(Value);
  Realign();
  Invalidate();
}

int32_t TCustomGroupBox::CaptionHeight() const { return QFontMetrics(VclQFont(GetFont())).height(); }

void TCustomGroupBox::AlignControls(TControl* AControl, TRect& Rect) {
  Rect.Top += CaptionHeight();
  Rect.Left += 2;
  Rect.Right -= 2;
  Rect.Bottom -= 2;
  TCustomControl::AlignControls(AControl, Rect);
}

void TCustomGroupBox::Paint() {
  TCanvas* C = GetCanvas();
  TBitmap* B = GetFrontBuffer();
  const TColor Back = FParentColor && FParent ? FParent->GetColor() : FColor;
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(Back);
  C->FillRect(Rect(0, 0, B->GetWidth(), B->GetHeight()));
  const int32_t H = CaptionHeight();
  TRect Frame = Rect(0, H / 2, B->GetWidth(), B->GetHeight());
  DrawEdge(C, Frame, EDGE_ETCHED, BF_RECT);
  if (!FText.empty()) {
    C->SetFont(GetFont());
    if (!FEnabled) C->GetFont()->SetColor(clGrayText);
    const std::string Caption = FText;
    const int32_t W = C->TextWidth(Caption);
    C->GetBrush()->SetColor(Back);
    C->FillRect(Rect(6, 0, 8 + W + 2, H));
    C->SetBkMode(TRANSPARENT);
    C->TextOut(8, 0, Caption);
  }
}

const TFormPropertyTable& TGroupBox::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TGroupBox>("TGroupBox", &TCustomControl::FormProperties()).Build();
  return Table;
}

// ------------------------------------------------------------ radio button
TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks);
  auto* W = new TVclWidgetT<QRadioButton>(true);
  W->setAutoExclusive(false);
  AttachWidget(W);
  // The user's click checks the button; a checked radio button stays so.
  QObject::connect(W, &QRadioButton::clicked, W, [this] {
    if (FSyncing) return;
    if (FChecked) {
      if (auto* B = qobject_cast<QRadioButton*>(FWidget.data())) {
        FSyncing = true;
        B->setChecked(true);
        FSyncing = false;
      }
      return;
    }
    VclDeliverCall(this, [this] { SetChecked(true); });
  });
  SetTabStop(false);
  SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  if (auto* B = qobject_cast<QRadioButton*>(FWidget.data())) {
    FSyncing = true;
    B->setChecked(Value);
    FSyncing = false;
  }
  SetTabStop(Value);
  if (!Value) return;
  if (FParent)
    for (int32_t I = 0; I < FParent->GetControlCount(); ++I)
      if (auto* R = dynamic_cast<TRadioButton*>(FParent->GetControls(I)); R && R != this) R->SetChecked(false);
  if ((GetComponentState() & csLoading) == 0) Click();
}

void TRadioButton::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  if (FWidget) FWidget->setLayoutDirection(Value == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TRadioButton::SetText(const std::string& Value) {
  TWinControl::SetText(Value);
  if (auto* B = qobject_cast<QRadioButton*>(FWidget.data())) B->setText(QString::fromStdString(Value));
}

const TFormPropertyTable& TRadioButton::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TRadioButton>("TRadioButton", &TWinControl::FormProperties())
          .Enum("Alignment", AlignmentNames(), &TRadioButton::GetAlignment, &TRadioButton::SetAlignment)
          .Bool("Checked", &TRadioButton::GetChecked, &TRadioButton::SetChecked)
          // The platform's radio button places its text itself.
          .Ignored({"WordWrap"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ radio group
TCustomRadioGroup::TCustomRadioGroup(TComponent* AOwner)
    : TCustomGroupBox(AOwner), FItems(std::make_unique<TStringList>()) {
  FControlStyle &= ~csAcceptsControls;
  FItems->OnChange = [this](TObject*) { ItemsChanged(); };
}

TCustomRadioGroup::~TCustomRadioGroup() {
  FItems->OnChange = nullptr;
  Destroying();
  DestroyComponents();
}

TStrings* TCustomRadioGroup::GetItems() const { return FItems.get(); }
void TCustomRadioGroup::SetItems(TStrings* Value) { FItems->Assign(Value); }

TRadioButton* TCustomRadioGroup::GetButton(int32_t Index) const {
  return Index >= 0 && Index < static_cast<int32_t>(FButtons.size()) ? FButtons[static_cast<size_t>(Index)]
                                                                     : nullptr;
}

void TCustomRadioGroup::ItemsChanged() {
  const int32_t N = FItems->GetCount();
  while (static_cast<int32_t>(FButtons.size()) > N) {
    delete FButtons.back();
    FButtons.pop_back();
  }
  while (static_cast<int32_t>(FButtons.size()) < N) {
    auto* B = new TRadioButton(this);
    B->SetParent(this);
    B->OnClick = [this](TObject* Sender) { ButtonClicked(static_cast<TRadioButton*>(Sender)); };
    FButtons.push_back(B);
  }
  FUpdating = true;
  for (int32_t I = 0; I < N; ++I) {
    TRadioButton* B = FButtons[static_cast<size_t>(I)];
    B->SetText(FItems->Get(I));
    B->SetEnabled(FEnabled);
    B->SetChecked(I == FItemIndex);
  }
  FUpdating = false;
  if (FItemIndex >= N) FItemIndex = -1;
  ArrangeButtons();
}

void TCustomRadioGroup::ArrangeButtons() {
  const int32_t N = static_cast<int32_t>(FButtons.size());
  if (N == 0) return;
  const int32_t Text = CaptionHeight();
  const int32_t PerColumn = (N + FColumns - 1) / FColumns;
  const int32_t ButtonWidth = (FWidth - 10) / FColumns;
  const int32_t Room = FHeight - Text - 5;
  const int32_t ButtonHeight = Room / PerColumn;
  const int32_t TopMargin = Text + 1 + (Room % PerColumn) / 2;
  for (int32_t I = 0; I < N; ++I)
    FButtons[static_cast<size_t>(I)]->SetBounds((I / PerColumn) * ButtonWidth + 8,
                                                (I % PerColumn) * ButtonHeight + TopMargin, ButtonWidth,
                                                ButtonHeight);
}

void TCustomRadioGroup::ButtonClicked(TRadioButton* Button) {
  if (FUpdating) return;
  const auto It = std::find(FButtons.begin(), FButtons.end(), Button);
  if (It == FButtons.end() || !Button->GetChecked()) return;
  const int32_t Index = static_cast<int32_t>(It - FButtons.begin());
  if (Index == FItemIndex) return;
  FItemIndex = Index;
  if ((GetComponentState() & csLoading) == 0) Click();
}

void TCustomRadioGroup::SetItemIndex(int32_t Value) {
  if (GetComponentState() & csLoading) {
    // Items may come later in the resource: the index is kept as read.
    FItemIndex = Value;
    return;
  }
  if (Value < -1 || Value >= FItems->GetCount()) Value = -1;
  if (Value == FItemIndex) return;
  if (Value < 0) {
    FUpdating = true;
    if (TRadioButton* B = GetButton(FItemIndex)) B->SetChecked(false);
    FUpdating = false;
    FItemIndex = -1;
    return;
  }
  // Checking the button reports the choice through ButtonClicked.
  GetButton(Value)->SetChecked(true);
}

void TCustomRadioGroup::SetColumns(int32_t Value) {
  FColumns = std::clamp(Value, 1, 16);
  ArrangeButtons();
}

void TCustomRadioGroup::SetEnabled(bool Value) {
  TCustomGroupBox::SetEnabled(Value);
  for (TRadioButton* B : FButtons) B->SetEnabled(Value);
}

void TCustomRadioGroup::Loaded() {
  TCustomGroupBox::Loaded();
  if (FItemIndex < -1 || FItemIndex >= FItems->GetCount()) FItemIndex = -1;
  ItemsChanged();
}

void TCustomRadioGroup::BoundsChanged(bool Moved, bool Sized) {
  TCustomGroupBox::BoundsChanged(Moved, Sized);
  if (Sized) ArrangeButtons();
}

const TFormPropertyTable& TCustomRadioGroup::FormProperties() const {
  using G = TCustomRadioGroup;
  static const TFormPropertyTable Table = TFormProperties<G>("TRadioGroup", &TCustomControl::FormProperties())
                                              .Integer("Columns", &G::GetColumns, &G::SetColumns)
                                              .Strings("Items.Strings", &G::GetItems)
                                              .Integer("ItemIndex", &G::GetItemIndex, &G::SetItemIndex)
                                              .Build();
  return Table;
}
