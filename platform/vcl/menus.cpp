#include "platform/vcl/menus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <map>
#include <mutex>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/application.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"

// ------------------------------------------------------------ TMenuItem
TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  for (TMenuItem* Child : FItems) Child->FParentItem = nullptr;
  FItems.clear();
  if (FParentItem) FParentItem->Remove(this);
}

TMenuItem* TMenuItem::GetItem(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(GetCount(), Item); }

void TMenuItem::Insert(int32_t Index, TMenuItem* Item) {
  if (!Item) return;
  for (TMenuItem* P = this; P; P = P->FParentItem)
    if (P == Item) throw EInvalidOperation("A menu item cannot hold itself");
  if (Item->FParentItem) Item->FParentItem->Remove(Item);
  Index = std::clamp(Index, 0, GetCount());
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParentItem = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  if (It == FItems.end()) return;
  FItems.erase(It);
  Item->FParentItem = nullptr;
}

void TMenuItem::Click() {
  if (FEnabled && OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindShortCut(TShortCut Value) {
  if (!FEnabled || !FVisible || Value == scNone) return nullptr;
  if (FShortCut == Value && FItems.empty()) return this;
  for (TMenuItem* Child : FItems)
    if (TMenuItem* Found = Child->FindShortCut(Value)) return Found;
  return nullptr;
}

bool TMenuItem::AddFormChild(TComponent* Child) {
  auto* Item = dynamic_cast<TMenuItem*>(Child);
  if (!Item) return false;
  Add(Item);
  return true;
}

std::vector<TComponent*> TMenuItem::FormChildren() const { return {FItems.begin(), FItems.end()}; }

const TFormPropertyTable& TMenuItem::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TMenuItem>("TMenuItem", &ComponentFormProperties())
          .String("Caption", &TMenuItem::GetCaption, &TMenuItem::SetCaption)
          .Bool("Checked", &TMenuItem::GetChecked, &TMenuItem::SetChecked)
          .Bool("Enabled", &TMenuItem::GetEnabled, &TMenuItem::SetEnabled)
          .Integer("ShortCut", &TMenuItem::GetShortCut, &TMenuItem::SetShortCut)
          .Bool("Visible", &TMenuItem::GetVisible, &TMenuItem::SetVisible)
          .Event("OnClick", &TMenuItem::OnClick)
          // Not shown by this platform's menus.
          .Ignored({"Hint", "ImageIndex", "GroupIndex", "RadioItem"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ TMenu
TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(std::make_unique<TMenuItem>(nullptr)) {}

TMenu::~TMenu() = default;

bool TMenu::AddFormChild(TComponent* Child) { return FItems->AddFormChild(Child); }

bool TMenu::IsShortCut(uint16_t Key, TShiftState Shift) {
  TMenuItem* Item = FItems->FindShortCut(ShortCut(Key, Shift & (ssShift | ssCtrl | ssAlt)));
  if (!Item) return false;
  Item->Click();
  return true;
}

std::vector<TComponent*> TMenu::FormChildren() const { return FItems->FormChildren(); }

const TFormPropertyTable& TMenu::FormProperties() const {
  static const TFormPropertyTable Table = TFormProperties<TMenu>("", &ComponentFormProperties())
                                              .Ignored({"Images", "AutoHotkeys", "AutoPopup"})
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ TPopupMenu
namespace {
std::mutex GPopupLock;
TPopupMenuHook GPopupHook;

void BuildMenu(QMenu* Q, TMenuItem* Item, std::map<QAction*, TMenuItem*>& Map) {
  for (int32_t I = 0; I < Item->GetCount(); ++I) {
    TMenuItem* Child = Item->GetItem(I);
    if (!Child->GetVisible()) continue;
    if (Child->GetCaption() == "-") {
      Q->addSeparator();
      continue;
    }
    QString Text = QString::fromStdString(Child->GetCaption());
    if (Child->GetCount() > 0) {
      QMenu* Sub = Q->addMenu(Text);
      Sub->setEnabled(Child->GetEnabled());
      BuildMenu(Sub, Child, Map);
      continue;
    }
    QAction* A = Q->addAction(Text);
    A->setEnabled(Child->GetEnabled());
    A->setCheckable(Child->GetChecked());
    A->setChecked(Child->GetChecked());
    Map[A] = Child;
  }
}
}  // namespace

namespace {
bool Contains(TMenuItem* Root, TMenuItem* Item) {
  if (Root == Item) return true;
  for (int32_t I = 0; I < Root->GetCount(); ++I)
    if (Contains(Root->GetItem(I), Item)) return true;
  return false;
}

QString ItemText(TMenuItem* Item) { return QString::fromStdString(Item->GetCaption()); }

void AddEntry(QWidget* Menu, TMenuItem* Root, TMenuItem* Child) {
  auto* AsMenu = qobject_cast<QMenu*>(Menu);
  auto* AsBar = qobject_cast<QMenuBar*>(Menu);
  if (Child->GetCaption() == "-") {
    if (AsMenu) AsMenu->addSeparator();
    if (AsBar) AsBar->addSeparator();
    return;
  }
  if (Child->GetCount() > 0) {
    QMenu* Sub = AsMenu ? AsMenu->addMenu(ItemText(Child)) : AsBar->addMenu(ItemText(Child));
    // The submenu's entry follows its item too when the menu above it opens.
    Sub->menuAction()->setData(QVariant::fromValue(reinterpret_cast<quintptr>(Child)));
    Sub->menuAction()->setEnabled(Child->GetEnabled());
    VclFillMenu(Sub, Root, Child);
    return;
  }
  QAction* A = AsMenu ? AsMenu->addAction(ItemText(Child)) : AsBar->addAction(ItemText(Child));
  A->setData(QVariant::fromValue(reinterpret_cast<quintptr>(Child)));
  // An entry of the menu bar itself is never refreshed by a menu opening.
  A->setEnabled(Child->GetEnabled());
  QObject::connect(A, &QAction::triggered, A, [Root, Child] {
    if (!Contains(Root, Child)) return;
    VclDeliverCall(Child, [Child] { Child->Click(); });
  });
}

void Refresh(QMenu* Menu, TMenuItem* Root) {
  for (QAction* A : Menu->actions()) {
    auto* Item = reinterpret_cast<TMenuItem*>(A->data().value<quintptr>());
    if (!Item || !Contains(Root, Item)) continue;
    A->setText(ItemText(Item));
    A->setEnabled(Item->GetEnabled());
    A->setVisible(Item->GetVisible());
    A->setCheckable(Item->GetChecked());
    A->setChecked(Item->GetChecked());
  }
}
}  // namespace

namespace {
// Empties a menu or menu bar before it is built again: clear() drops the
// actions but leaves the submenus it created, which would pile up as
// children with every rebuild.
template <typename TWidget>
void ClearEntries(TWidget* Menu) {
  Menu->clear();
  for (QMenu* Sub : Menu->template findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) Sub->deleteLater();
}
}  // namespace

void VclFillMenu(QMenu* Menu, TMenuItem* Root, TMenuItem* Parent) {
  ClearEntries(Menu);
  // One refresh per menu, however often it is filled.
  QObject::disconnect(Menu, &QMenu::aboutToShow, Menu, nullptr);
  for (int32_t I = 0; I < Parent->GetCount(); ++I) AddEntry(Menu, Root, Parent->GetItem(I));
  QObject::connect(Menu, &QMenu::aboutToShow, Menu, [Menu, Root] { Refresh(Menu, Root); });
}

void VclFillMenuBar(QMenuBar* Bar, TMenuItem* Root) {
  ClearEntries(Bar);
  for (int32_t I = 0; I < Root->GetCount(); ++I) AddEntry(Bar, Root, Root->GetItem(I));
}

TPopupMenuHook SetPopupMenuHook(TPopupMenuHook Hook) {
  std::lock_guard<std::mutex> Lock(GPopupLock);
  TPopupMenuHook Old = std::move(GPopupHook);
  GPopupHook = std::move(Hook);
  return Old;
}

void TPopupMenu::Popup(int32_t X, int32_t Y) {
  FPopupPoint = TPoint{X, Y};
  if (OnPopup) OnPopup(this);
  TPopupMenuHook Hook;
  {
    std::lock_guard<std::mutex> Lock(GPopupLock);
    Hook = GPopupHook;
  }
  if (Hook) {
    if (TMenuItem* Chosen = Hook(this, FPopupPoint)) Chosen->Click();
    return;
  }
  if (VclHeadless()) return;
  QMenu Menu;
  std::map<QAction*, TMenuItem*> Map;
  BuildMenu(&Menu, GetItems(), Map);
  QAction* A = Menu.exec(QPoint(X, Y));
  auto It = Map.find(A);
  if (It != Map.end()) It->second->Click();
}
