#pragma once
// A combo box over the platform's: a drop-down list (csDropDownList, the
// default) or a drop-down with an edit box (csDropDown); items with an
// integer value each, the selected index, the text and a change event.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/vcl/controls.h"

enum TComboBoxStyle : uint8_t { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);

  TComboBoxStyle GetStyle() const { return FStyle; }
  // csDropDown and csSimple have an edit box; the others are lists.
  void SetStyle(TComboBoxStyle Value);
  // The edit box's text, or the selected item's.
  std::string GetText() const override;
  void SetText(const std::string& Value) override;
  int32_t GetDropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int32_t Value);
  // The item texts, one a line.
  std::vector<std::string> GetItemTexts() const;
  void SetItemTexts(const std::vector<std::string>& Texts);

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

  const TFormPropertyTable& FormProperties() const override;

  // Fires when the user picks an item or (with an edit box) edits the text.
  TNotifyEvent OnChange;

 private:
  TComboBoxStyle FStyle = csDropDownList;
  int32_t FDropDownCount = 8;
  struct Item {
    std::string Text;
    intptr_t Value;
  };
  std::vector<Item> FItems;
  int32_t FItemIndex = -1;
  bool FSyncing = false;
};

// A drop-down list of the screen's font families (from Qt's font database),
// sorted; FontName is the chosen family.
class TFontComboBox : public TComboBox {
 public:
  explicit TFontComboBox(TComponent* AOwner);
  // "" when none is chosen.
  std::string GetFontName() const;
  // Chooses the family (case ignored); an unknown name chooses none.
  void SetFontName(const std::string& Value);
  // Reads the families again.
  void Reload();
  const TFormPropertyTable& FormProperties() const override;
};
