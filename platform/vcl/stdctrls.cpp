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
#include "platform/vcl/form_reader.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

namespace {
const std::vector<std::string> kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};
const std::vector<std::string> kLayoutNames = {"tlTop", "tlCenter", "tlBottom"};

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

bool TLabel::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  if (SameText(Name, "AutoSize")) {
    SetAutoSize(Value.AsBoolean());
  } else if (SameText(Name, "Alignment")) {
    SetAlignment(static_cast<TAlignment>(Value.AsEnum(kAlignmentNames)));
  } else if (SameText(Name, "Layout")) {
    SetLayout(static_cast<TTextLayout>(Value.AsEnum(kLayoutNames)));
  } else if (SameText(Name, "Transparent")) {
    SetTransparent(Value.AsBoolean());
  } else if (SameText(Name, "WordWrap")) {
    SetWordWrap(Value.AsBoolean());
  } else if (SameText(Name, "FocusControl")) {
    Context.AddFixup(Value, [this](TComponent* C) { FFocusControl = dynamic_cast<TWinControl*>(C); });
  } else if (SameText(Name, "ShowAccelChar")) {
    // Accelerator underlines are the platform's business.
  } else {
    return TGraphicControl::SetFormProperty(Name, Value, Context);
  }
  return true;
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

bool TButton::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  static const std::vector<std::string> ResultNames = {"mrNone",  "mrOk", "mrCancel", "mrAbort",   "mrRetry",   "mrIgnore",
                                                       "mrYes",   "mrNo", "mrAll",    "mrNoToAll", "mrYesToAll"};
  if (SameText(Name, "ModalResult")) {
    SetModalResult(Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : Value.AsEnum(ResultNames));
  } else if (SameText(Name, "Default")) {
    SetDefault(Value.AsBoolean());
  } else if (SameText(Name, "Cancel")) {
    SetCancel(Value.AsBoolean());
  } else {
    return TWinControl::SetFormProperty(Name, Value, Context);
  }
  return true;
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

bool TEdit::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  if (SameText(Name, "ReadOnly")) {
    SetReadOnly(Value.AsBoolean());
  } else if (SameText(Name, "MaxLength")) {
    SetMaxLength(Value.AsInteger());
  } else if (SameText(Name, "OnChange")) {
    OnChange = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "AutoSelect") || SameText(Name, "AutoSize") || SameText(Name, "BorderStyle") ||
             SameText(Name, "CharCase") || SameText(Name, "HideSelection") || SameText(Name, "OEMConvert")) {
    // Behaviour the platform's line edit has on its own.
  } else {
    return TWinControl::SetFormProperty(Name, Value, Context);
  }
  return true;
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

bool TCheckBox::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  static const std::vector<std::string> StateNames = {"cbUnchecked", "cbChecked", "cbGrayed"};
  if (SameText(Name, "Checked")) {
    SetChecked(Value.AsBoolean());
  } else if (SameText(Name, "State")) {
    SetState(static_cast<TCheckBoxState>(Value.AsEnum(StateNames)));
  } else if (SameText(Name, "AllowGrayed")) {
    SetAllowGrayed(Value.AsBoolean());
  } else if (SameText(Name, "Alignment") || SameText(Name, "WordWrap")) {
    // The platform's check box places its text itself.
  } else {
    return TWinControl::SetFormProperty(Name, Value, Context);
  }
  return true;
}
