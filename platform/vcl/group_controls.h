#pragma once
// Grouping controls: the group box (a captioned frame around other
// controls), the radio button (one of a set of exclusive choices: checking
// it clears the radio buttons beside it on the same parent) and the radio
// group (a group box that makes one radio button per line of Items, in
// Columns columns, and tells the chosen one by ItemIndex).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/vcl/controls.h"

class TStringList;
class TStrings;

class TCustomGroupBox : public TCustomControl {
 public:
  explicit TCustomGroupBox(TComponent* AOwner);
  void SetText(const std::string& Value) override;

 protected:
  void Paint() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  // The height of the caption's line.
  int32_t CaptionHeight() const;
};

class TGroupBox : public TCustomGroupBox {
 public:
  explicit TGroupBox(TComponent* AOwner) : TCustomGroupBox(AOwner) {}
  const TFormPropertyTable& FormProperties() const override;
};

class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* AOwner);

  bool GetChecked() const { return FChecked; }
  // Checking clears the other radio buttons on the same parent and fires
  // OnClick (not while a resource is read); clearing fires nothing.
  void SetChecked(bool Value);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);

  void SetText(const std::string& Value) override;
  const TFormPropertyTable& FormProperties() const override;

 private:
  bool FChecked = false;
  bool FSyncing = false;
  TAlignment FAlignment = taRightJustify;
};

class TCustomRadioGroup : public TCustomGroupBox {
 public:
  explicit TCustomRadioGroup(TComponent* AOwner);
  ~TCustomRadioGroup() override;

  TStrings* GetItems() const;
  void SetItems(TStrings* Value);
  // -1 when no item is chosen. Setting it checks that item's button and fires
  // OnClick when it changed (not while a resource is read).
  int32_t GetItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t Value);
  int32_t GetColumns() const { return FColumns; }
  // 1 .. 16.
  void SetColumns(int32_t Value);
  // The radio button of item Index (nullptr outside the items).
  TRadioButton* GetButton(int32_t Index) const;

  void SetEnabled(bool Value) override;
  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void BoundsChanged(bool Moved, bool Sized) override;

 private:
  void ItemsChanged();
  void ArrangeButtons();
  void ButtonClicked(TRadioButton* Button);

  std::unique_ptr<TStringList> FItems;
  std::vector<TRadioButton*> FButtons;
  int32_t FItemIndex = -1;
  int32_t FColumns = 1;
  bool FUpdating = false;
};

class TRadioGroup : public TCustomRadioGroup {
 public:
  explicit TRadioGroup(TComponent* AOwner) : TCustomRadioGroup(AOwner) {}
};
