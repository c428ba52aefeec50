#pragma once
// A drop-down list (the platform's combo box in its list style): items with
// an integer value each, the selected index and a change event.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/vcl/controls.h"

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);

  int32_t GetItemCount() const { return static_cast<int32_t>(FItems.size()); }
  // Appends an item with its value; answers its index.
  int32_t AddItem(const std::string& Text, intptr_t Value = 0);
  void Clear();
  std::string GetItemText(int32_t Index) const;
  intptr_t GetItemValue(int32_t Index) const;
  // -1 when nothing is selected. Setting it by program fires no OnChange,
  // as with the platform's list; the user's choice (or SelectByUser) does.
  int32_t GetItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t Value);
  // Chooses an item as the user would: selects it and fires OnChange.
  void SelectByUser(int32_t Index);

  TNotifyEvent OnChange;

 private:
  struct Item {
    std::string Text;
    intptr_t Value;
  };
  std::vector<Item> FItems;
  int32_t FItemIndex = -1;
  bool FSyncing = false;
};
