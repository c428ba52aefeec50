#pragma once
// Menus: items with captions, shortcuts and click handlers, and the popup
// menu that controls show on a right click.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/components.h"
#include "platform/rtl/types.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/keys.h"

class TMenuItem : public TComponent, public IFormPropertyTarget {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  std::string GetCaption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  bool GetVisible() const { return FVisible; }
  void SetVisible(bool Value) { FVisible = Value; }
  bool GetChecked() const { return FChecked; }
  void SetChecked(bool Value) { FChecked = Value; }
  TShortCut GetShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value) { FShortCut = Value; }

  int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
  TMenuItem* GetItem(int32_t Index) const;
  TMenuItem* GetParentItem() const { return FParentItem; }
  void Add(TMenuItem* Item);
  void Insert(int32_t Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  // Runs OnClick (the user chose the item).
  virtual void Click();
  // The enabled, visible item (this one or below) with the shortcut; nullptr
  // when none.
  TMenuItem* FindShortCut(TShortCut Value);

  const TFormPropertyTable& FormProperties() const override;
  bool AddFormChild(TComponent* Child) override;
  std::vector<TComponent*> FormChildren() const override;

  TNotifyEvent OnClick;

 private:
  std::string FCaption;
  bool FEnabled = true;
  bool FVisible = true;
  bool FChecked = false;
  TShortCut FShortCut = 0;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParentItem = nullptr;
};

class TMenu : public TComponent, public IFormPropertyTarget {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  TMenuItem* GetItems() const { return FItems.get(); }
  // Clicks the item whose shortcut is Key with Shift; false when none has it.
  bool IsShortCut(uint16_t Key, TShiftState Shift);
  const TFormPropertyTable& FormProperties() const override;
  bool AddFormChild(TComponent* Child) override;
  std::vector<TComponent*> FormChildren() const override;

 private:
  std::unique_ptr<TMenuItem> FItems;
};

class TMainMenu : public TMenu {
 public:
  using TMenu::TMenu;
};

// Shown at a screen point: fires OnPopup, then shows the items; a chosen
// item's Click runs. A test hook may choose instead of a person.
class TPopupMenu : public TMenu {
 public:
  using TMenu::TMenu;
  virtual void Popup(int32_t X, int32_t Y);
  TComponent* GetPopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* Value) { FPopupComponent = Value; }
  TPoint GetPopupPoint() const { return FPopupPoint; }

  TNotifyEvent OnPopup;

 private:
  TComponent* FPopupComponent = nullptr;
  TPoint FPopupPoint;
};

// Installs the hook that answers popups (the item to click, or nullptr for
// none); answers the previous hook. Without a hook on a platform without a
// screen, a popup closes without a choice.
using TPopupMenuHook = std::function<TMenuItem*(TPopupMenu* Menu, TPoint At)>;
TPopupMenuHook SetPopupMenuHook(TPopupMenuHook Hook);

class QMenu;
class QMenuBar;
// Fills a Qt menu bar (or menu) with the items under Root. Choosing an entry
// clicks its item, provided the item is still under Root then; opening a
// menu reads captions, checks and enabled states afresh.
void VclFillMenuBar(QMenuBar* Bar, TMenuItem* Root);
void VclFillMenu(QMenu* Menu, TMenuItem* Root, TMenuItem* Parent);
