#pragma once
// A list box of text lines over the platform's list widget. Its item
// operations travel as list-box messages through the control's WndProc, so a
// descendant can watch additions, deletions and clearing in one place; the
// default handler does the work on the widget. The horizontal extent is the
// width the list can scroll sideways to (0: no sideways scrolling), as the
// classic list box has it: the list widget's own measure of its items does
// not count.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/lists.h"
#include "platform/vcl/controls.h"

// List-box messages. Strings travel as `const std::string*` in LParam; the
// results are the classic ones (index, count, or LB_ERR).
enum : uint32_t {
  WM_SETFONT = 0x0030,
  LB_ADDSTRING = 0x0180,
  LB_INSERTSTRING = 0x0181,
  LB_DELETESTRING = 0x0182,
  LB_RESETCONTENT = 0x0184,
  LB_SETCURSEL = 0x0186,
  LB_GETCURSEL = 0x0188,
  LB_GETTEXT = 0x0189,
  LB_GETCOUNT = 0x018B,
  LB_GETHORIZONTALEXTENT = 0x0193,
  LB_SETHORIZONTALEXTENT = 0x0194,
};
constexpr LRESULT LB_ERR = -1;

class TCustomListBox;

// The list box's Items: every change is a message to the list box.
class TListBoxStrings : public TStrings {
 public:
  explicit TListBoxStrings(TCustomListBox* ListBox) : FListBox(ListBox) {}
  int32_t GetCount() const override;
  std::string Get(int32_t Index) const override;
  void Insert(int32_t Index, const std::string& S) override;
  int32_t Add(const std::string& S) override;
  void Delete(int32_t Index) override;
  void Clear() override;

 private:
  TCustomListBox* FListBox;
};

class TCustomListBox : public TWinControl {
 public:
  explicit TCustomListBox(TComponent* AOwner);
  ~TCustomListBox() override;

  TStrings* GetItems() const { return FItems.get(); }
  void SetItems(TStrings* Value) { FItems->Assign(Value); }
  int32_t GetItemIndex() const;
  void SetItemIndex(int32_t Value);
  bool GetSorted() const { return FSorted; }
  void SetSorted(bool Value);
  bool GetMultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool Value);
  bool GetExtendedSelect() const { return FExtendedSelect; }
  void SetExtendedSelect(bool Value);
  bool GetIntegralHeight() const { return FIntegralHeight; }
  void SetIntegralHeight(bool Value) { FIntegralHeight = Value; }
  int32_t GetItemHeight() const;
  void SetItemHeight(int32_t Value);
  // Tab stop distance in dialog units (a quarter of an average character);
  // 0 uses the platform's default stops.
  int32_t GetTabWidth() const { return FTabWidth; }
  void SetTabWidth(int32_t Value) { FTabWidth = Value; }
  int32_t GetHorizontalExtent() const { return FHorizontalExtent; }
  // The position of the sideways scroll bar (0 at the left end).
  int32_t GetHorizontalPosition() const;
  void SetHorizontalPosition(int32_t Value);
  // The largest value the sideways scroll bar reaches with the current
  // client width.
  int32_t GetHorizontalRange() const;

  const TFormPropertyTable& FormProperties() const override;

 protected:
  void DefaultHandler(TMessage& Message) override;
  void Dispatch(TMessage& Message) override;

 private:
  void ApplySelectionMode();
  void Reinsert();

  std::unique_ptr<TListBoxStrings> FItems;
  std::vector<std::string> FLines;
  bool FSorted = false;
  bool FMultiSelect = false;
  bool FExtendedSelect = true;
  bool FIntegralHeight = false;
  int32_t FTabWidth = 0;
  int32_t FItemHeight = 0;
  int32_t FHorizontalExtent = 0;
};

class TListBox : public TCustomListBox {
 public:
  explicit TListBox(TComponent* AOwner) : TCustomListBox(AOwner) {}
};
