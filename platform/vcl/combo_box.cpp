#include "platform/vcl/combo_box.h"

#include <QComboBox>

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
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
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
