#include "platform/vcl/stdctrls.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

namespace {
bool HaveGuiApp() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }
}  // namespace

// ------------------------------------------------------------ TLabel
TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FParentColor = true;
  SetBounds(0, 0, 65, 17);
}

void TLabel::SetAutoSize(bool Value) {
  FAutoSize = Value;
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout Value) {
  FLayout = Value;
  Invalidate();
}

void TLabel::SetTransparent(bool Value) {
  FTransparent = Value;
  Invalidate();
}

void TLabel::SetWordWrap(bool Value) {
  FWordWrap = Value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetText(const std::string& Value) {
  TGraphicControl::SetText(Value);
  AdjustBounds();
  Invalidate();
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!FAutoSize || (GetComponentState() & csLoading) || !HaveGuiApp() || !FWidget) return;
  QFontMetrics M(VclQFont(GetFont()));
  const QString T = QString::fromStdString(FText);
  QRect R = FWordWrap ? M.boundingRect(QRect(0, 0, std::max(FWidth, 1), 100000), Qt::TextWordWrap, T)
                      : M.boundingRect(QRect(0, 0, 100000, 100000), 0, T);
  int32_t W = FWordWrap ? FWidth : R.width();
  int32_t H = std::max(R.height(), M.height());
  int32_t L = FLeft;
  if (!FWordWrap && FAlignment == taRightJustify) L = FLeft + FWidth - W;
  if (!FWordWrap && FAlignment == taCenter) L = FLeft + (FWidth - W) / 2;
  SetBounds(L, FTop, W, H);
}

void TLabel::Paint() {
  TBitmap* B = GetFrontBuffer();
  QPainter P(&B->GetImage());
  const QRect R(0, 0, B->GetWidth(), B->GetHeight());
  TColor Back = FParentColor && FParent ? FParent->GetColor() : FColor;
  P.fillRect(R, VclQColor(Back));
  P.setFont(VclQFont(GetFont()));
  P.setPen(VclQColor(FEnabled ? GetFont()->GetColor() : clGrayText));
  int Flags = FAlignment == taCenter ? Qt::AlignHCenter : FAlignment == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
  Flags |= FLayout == tlCenter ? Qt::AlignVCenter : FLayout == tlBottom ? Qt::AlignBottom : Qt::AlignTop;
  if (FWordWrap) Flags |= Qt::TextWordWrap;
  P.drawText(R, Flags, QString::fromStdString(FText));
}

const TFormPropertyTable& TLabel::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TLabel>("TLabel", &TGraphicControl::FormProperties())
          .Enum("Alignment", AlignmentNames(), &TLabel::GetAlignment, &TLabel::SetAlignment)
          .Bool("AutoSize", &TLabel::GetAutoSize, &TLabel::SetAutoSize)
          .Reference<TWinControl>("FocusControl", &TLabel::GetFocusControl, &TLabel::SetFocusControl)
          .Enum("Layout", TextLayoutNames(), &TLabel::GetLayout, &TLabel::SetLayout)
          .Bool("Transparent", &TLabel::GetTransparent, &TLabel::SetTransparent)
          .Bool("WordWrap", &TLabel::GetWordWrap, &TLabel::SetWordWrap)
          // Accelerator underlines are the platform's business.
          .Ignored({"ShowAccelChar"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ TButton
TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
  // The native button reports its clicks itself (mouse and keyboard).
  FControlStyle &= ~csClickEvents;
  auto* W = new TVclWidgetT<QPushButton>(true);
  AttachWidget(W);
  QObject::connect(W, &QPushButton::clicked, W, [this] {
    VclDeliverCall(this, [this] { Click(); });
  });
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
}

void TButton::SetText(const std::string& Value) {
  TWinControl::SetText(Value);
  if (auto* B = qobject_cast<QPushButton*>(FWidget.data())) B->setText(QString::fromStdString(Value));
}

void TButton::SetDefault(bool Value) {
  FDefault = Value;
  if (auto* B = qobject_cast<QPushButton*>(FWidget.data())) B->setDefault(Value);
}

void TButton::Click() {
  if (FModalResult != mrNone) {
    if (TCustomForm* F = GetParentForm()) F->SetModalResult(FModalResult);
  }
  TWinControl::Click();
}

const TFormPropertyTable& TButton::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TButton>("TButton", &TWinControl::FormProperties())
          .Bool("Cancel", &TButton::GetCancel, &TButton::SetCancel)
          .Bool("Default", &TButton::GetDefault, &TButton::SetDefault)
          .Custom("ModalResult", [](TButton& B, const TFormValue& V,
                                    TFormReadContext&) { B.SetModalResult(ReadModalResult(V)); },
                  [](const TButton& B, TFormValue& V) {
                    V = TFormValue::OfEnum(B.GetModalResult(), ModalResultNames());
                    return true;
                  })
          .Build();
  return Table;
}

// ------------------------------------------------------------ TEdit
TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csSetCaption | csDoubleClicks);
  FColor = clWindow;
  auto* W = new TVclWidgetT<QLineEdit>(true);
  AttachWidget(W);
  QObject::connect(W, &QLineEdit::textChanged, W, [this](const QString& T) {
    FText = T.toStdString();
    VclDeliverCall(this, [this] { Change(); });
  });
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
}

std::string TEdit::GetText() const { return FText; }

void TEdit::SetText(const std::string& Value) {
  auto* E = qobject_cast<QLineEdit*>(FWidget.data());
  if (!E) {
    TWinControl::SetText(Value);
    return;
  }
  // The line edit reports the change (and OnChange fires) when it differs.
  E->setText(QString::fromStdString(Value));
  FText = E->text().toStdString();
}

void TEdit::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (auto* E = qobject_cast<QLineEdit*>(FWidget.data())) E->setReadOnly(Value);
}

void TEdit::SetMaxLength(int32_t Value) {
  FMaxLength = std::max(0, Value);
  if (auto* E = qobject_cast<QLineEdit*>(FWidget.data())) E->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
}

void TEdit::SelectAll() {
  if (auto* E = qobject_cast<QLineEdit*>(FWidget.data())) E->selectAll();
}

int32_t TEdit::GetSelStart() const {
  auto* E = qobject_cast<QLineEdit*>(FWidget.data());
  if (!E) return 0;
  return E->hasSelectedText() ? E->selectionStart() : E->cursorPosition();
}

void TEdit::SetSelStart(int32_t Value) {
  auto* E = qobject_cast<QLineEdit*>(FWidget.data());
  if (!E) return;
  E->deselect();
  E->setCursorPosition(std::clamp<int32_t>(Value, 0, static_cast<int32_t>(E->text().size())));
}

int32_t TEdit::GetSelLength() const {
  auto* E = qobject_cast<QLineEdit*>(FWidget.data());
  return E ? static_cast<int32_t>(E->selectionLength()) : 0;
}

void TEdit::SetSelLength(int32_t Value) {
  auto* E = qobject_cast<QLineEdit*>(FWidget.data());
  if (!E) return;
  const int32_t Start = GetSelStart();
  const int32_t Length = std::clamp<int32_t>(Value, 0, static_cast<int32_t>(E->text().size()) - Start);
  if (Length == 0) {
    SetSelStart(Start);
  } else {
    E->setSelection(Start, Length);
  }
}

void TEdit::Change() {
  Perform(CM_TEXTCHANGED, 0, 0);
  if (OnChange) OnChange(this);
}

const TFormPropertyTable& TEdit::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TEdit>("TEdit", &TWinControl::FormProperties())
          .Integer("MaxLength", &TEdit::GetMaxLength, &TEdit::SetMaxLength)
          .Bool("ReadOnly", &TEdit::GetReadOnly, &TEdit::SetReadOnly)
          .String("Text", &TEdit::GetText, &TEdit::SetText)
          .Retired("Caption", "Text")
          .Event("OnChange", &TEdit::OnChange)
          // Behaviour the platform's line edit has on its own.
          .Ignored({"AutoSelect", "AutoSize", "BorderStyle", "CharCase", "HideSelection", "OEMConvert"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ TCheckBox
TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks);
  auto* W = new TVclWidgetT<QCheckBox>(true);
  AttachWidget(W);
  QObject::connect(W, &QCheckBox::stateChanged, W, [this](int S) {
    if (FSyncing) return;
    FState = S == Qt::Checked ? cbChecked : S == Qt::PartiallyChecked ? cbGrayed : cbUnchecked;
    VclDeliverCall(this, [this] { Click(); });
  });
  SetTabStop(true);
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetState(TCheckBoxState Value) {
  if (Value == cbGrayed && !FAllowGrayed) Value = cbUnchecked;
  if (Value == FState) return;
  FState = Value;
  if (auto* B = qobject_cast<QCheckBox*>(FWidget.data())) {
    FSyncing = true;
    B->setCheckState(Value == cbChecked ? Qt::Checked : Value == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
    FSyncing = false;
  }
  // Not while the form is read: the stored state is not a user's click.
  if ((GetComponentState() & csLoading) == 0) Click();
}

void TCheckBox::SetAllowGrayed(bool Value) {
  FAllowGrayed = Value;
  if (auto* B = qobject_cast<QCheckBox*>(FWidget.data())) B->setTristate(Value);
  if (!Value && FState == cbGrayed) SetState(cbUnchecked);
}

void TCheckBox::SetText(const std::string& Value) {
  TWinControl::SetText(Value);
  if (auto* B = qobject_cast<QCheckBox*>(FWidget.data())) B->setText(QString::fromStdString(Value));
}

const TFormPropertyTable& TCheckBox::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TCheckBox>("TCheckBox", &TWinControl::FormProperties())
          .Bool("AllowGrayed", &TCheckBox::GetAllowGrayed, &TCheckBox::SetAllowGrayed)
          .Enum("State", CheckBoxStateNames(), &TCheckBox::GetState, &TCheckBox::SetState)
          .Custom("Checked", [](TCheckBox& B, const TFormValue& V, TFormReadContext&) { B.SetChecked(V.AsBoolean()); })
          // The platform's check box places its text itself.
          .Ignored({"Alignment", "WordWrap"})
          .Build();
  return Table;
}
