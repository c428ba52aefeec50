#include "platform/vcl/combo_box.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <algorithm>
#include <QLineEdit>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"

#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks);
  auto* W = new TVclWidgetT<QComboBox>(true);
  AttachWidget(W);
  QObject::connect(W, qOverload<int>(&QComboBox::activated), W, [this](int Index) {
    if (FSyncing) return;
    FItemIndex = Index;
    VclDeliverCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  QObject::connect(W, &QComboBox::editTextChanged, W, [this](const QString& T) {
    if (FSyncing || !(FStyle == csDropDown || FStyle == csSimple)) return;
    FText = T.toStdString();
    VclDeliverCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
}

void TComboBox::SetStyle(TComboBoxStyle Value) {
  FStyle = Value;
  if (auto* B = qobject_cast<QComboBox*>(FWidget.data())) {
    FSyncing = true;
    B->setEditable(Value == csDropDown || Value == csSimple);
    if (B->isEditable()) B->setEditText(QString::fromStdString(FText));
    FSyncing = false;
  }
}

std::string TComboBox::GetText() const {
  if (FStyle == csDropDown || FStyle == csSimple) return FText;
  return GetItemText(FItemIndex);
}

void TComboBox::SetText(const std::string& Value) {
  if (FStyle == csDropDown || FStyle == csSimple) {
    FText = Value;
    if (auto* B = qobject_cast<QComboBox*>(FWidget.data())) {
      FSyncing = true;
      B->setEditText(QString::fromStdString(Value));
      FSyncing = false;
    }
    return;
  }
  // A list shows only its items: the text selects the item that has it.
  for (int32_t I = 0; I < GetItemCount(); ++I)
    if (FItems[static_cast<size_t>(I)].Text == Value) SetItemIndex(I);
}

void TComboBox::SetDropDownCount(int32_t Value) {
  FDropDownCount = std::max(1, Value);
  if (auto* B = qobject_cast<QComboBox*>(FWidget.data())) B->setMaxVisibleItems(FDropDownCount);
}

std::vector<std::string> TComboBox::GetItemTexts() const {
  std::vector<std::string> R;
  for (const Item& I : FItems) R.push_back(I.Text);
  return R;
}

void TComboBox::SetItemTexts(const std::vector<std::string>& Texts) {
  const std::string Keep = FText;
  Clear();
  for (const std::string& T : Texts) AddItem(T);
  if (FStyle == csDropDown || FStyle == csSimple) SetText(Keep);
}

const TFormPropertyTable& TComboBox::FormProperties() const {
  static const TFormEnumNames StyleNames = {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
                                            "csOwnerDrawVariable"};
  static const TFormPropertyTable Table =
      TFormProperties<TComboBox>("TComboBox", &TWinControl::FormProperties())
          .Enum("Style", StyleNames, &TComboBox::GetStyle, &TComboBox::SetStyle)
          .Integer("DropDownCount", &TComboBox::GetDropDownCount, &TComboBox::SetDropDownCount)
          .Custom("Items.Strings",
                  [](TComboBox& B, const TFormValue& V, TFormReadContext&) {
                    if (V.Kind != TFormValue::vkList) throw EReadError("Invalid property value");
                    std::vector<std::string> Texts;
                    for (const TFormValue& Item : V.List) Texts.push_back(Item.AsString());
                    B.SetItemTexts(Texts);
                  },
                  [](const TComboBox& B, TFormValue& V) {
                    std::vector<TFormValue> Items;
                    for (const std::string& T : B.GetItemTexts()) Items.push_back(TFormValue::OfString(T));
                    V = TFormValue::OfList(std::move(Items));
                    return B.GetItemCount() > 0;
                  })
          .Integer("ItemIndex", &TComboBox::GetItemIndex, &TComboBox::SetItemIndex)
          .String("Text", &TComboBox::GetText, &TComboBox::SetText)
          .StoredWhen([](const TComboBox& B) { return B.GetStyle() == csDropDown || B.GetStyle() == csSimple; })
          .Retired("Caption", "Text")
          .Event("OnChange", &TComboBox::OnChange)
          // Behaviour the platform's combo box has on its own.
          .Ignored({"AutoComplete", "AutoDropDown", "CharCase", "ItemHeight", "MaxLength", "Sorted", "BevelKind"})
          .Build();
  return Table;
}

int32_t TComboBox::AddItem(const std::string& Text, intptr_t Value) {
  FItems.push_back({Text, Value});
  if (auto* B = qobject_cast<QComboBox*>(FWidget.data())) {
    FSyncing = true;
    B->addItem(QString::fromStdString(Text));
    B->setCurrentIndex(FItemIndex);
    FSyncing = false;
  }
  return GetItemCount() - 1;
}

void TComboBox::Clear() {
  FItems.clear();
  FItemIndex = -1;
  if (auto* B = qobject_cast<QComboBox*>(FWidget.data())) {
    FSyncing = true;
    B->clear();
    FSyncing = false;
  }
}

std::string TComboBox::GetItemText(int32_t Index) const {
  return Index >= 0 && Index < GetItemCount() ? FItems[static_cast<size_t>(Index)].Text : std::string();
}

intptr_t TComboBox::GetItemValue(int32_t Index) const {
  return Index >= 0 && Index < GetItemCount() ? FItems[static_cast<size_t>(Index)].Value : 0;
}

void TComboBox::SetItemIndex(int32_t Value) {
  if (Value < -1 || Value >= GetItemCount()) Value = -1;
  FItemIndex = Value;
  if (Value >= 0 && (FStyle == csDropDown || FStyle == csSimple)) FText = FItems[static_cast<size_t>(Value)].Text;
  if (auto* B = qobject_cast<QComboBox*>(FWidget.data())) {
    FSyncing = true;
    B->setCurrentIndex(Value);
    FSyncing = false;
  }
}

void TComboBox::SelectByUser(int32_t Index) {
  SetItemIndex(Index);
  if (OnChange) OnChange(this);
}

// ------------------------------------------------------------ font names
TFontComboBox::TFontComboBox(TComponent* AOwner) : TComboBox(AOwner) { Reload(); }

void TFontComboBox::Reload() {
  const std::string Keep = GetFontName();
  Clear();
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  QStringList Families = QFontDatabase::families();
  Families.sort(Qt::CaseInsensitive);
  for (const QString& F : Families) AddItem(F.toStdString());
  SetFontName(Keep);
}

std::string TFontComboBox::GetFontName() const { return GetItemText(GetItemIndex()); }

void TFontComboBox::SetFontName(const std::string& Value) {
  int32_t Found = -1;
  for (int32_t I = 0; I < GetItemCount() && Found < 0; ++I)
    if (SameText(GetItemText(I), Value)) Found = I;
  SetItemIndex(Found);
}

const TFormPropertyTable& TFontComboBox::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TFontComboBox>("TFontComboBox", &TComboBox::FormProperties())
          .String("FontName", &TFontComboBox::GetFontName, &TFontComboBox::SetFontName)
          // The list is the screen's families, not the resource's.
          .Custom("Items.Strings", [](TFontComboBox&, const TFormValue&, TFormReadContext&) {})
          .Build();
  return Table;
}
