#include "platform/vcl/list_box.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/messages.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

namespace {

// Lines are as wide as the horizontal extent, so a line scrolled into view is
// drawn whole instead of cut at the visible width.
class TExtentDelegate : public QStyledItemDelegate {
 public:
  // The list owns its delegate through Parent.
  TExtentDelegate(const int32_t* Extent, QObject* Parent) : QStyledItemDelegate(Parent), FExtent(Extent) {}
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QSize S = QStyledItemDelegate::sizeHint(Option, Index);
    S.setWidth(std::max(S.width(), *FExtent));
    return S;
  }

 private:
  const int32_t* FExtent;
};

// The list widget with the classic horizontal extent: its sideways scroll
// range is the extent less the visible width, whatever its items measure.
class TVclListWidget : public TVclWidgetT<QListWidget> {
 public:
  TVclListWidget() : TVclWidgetT<QListWidget>(true) {
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setTextElideMode(Qt::ElideNone);
    setItemDelegate(new TExtentDelegate(&Extent, this));
  }
  int32_t Extent = 0;

  void SetExtent(int32_t Value) {
    Extent = Value;
    doItemsLayout();
    ApplyExtent();
  }

  void ApplyExtent() {
    QScrollBar* Bar = horizontalScrollBar();
    const int32_t Range = std::max(0, Extent - viewport()->width());
    Bar->setRange(0, Range);
    Bar->setPageStep(viewport()->width());
    setHorizontalScrollBarPolicy(Range > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  }

 protected:
  void updateGeometries() override {
    QListWidget::updateGeometries();
    ApplyExtent();
  }
};

TVclListWidget* ListOf(const QPointer<QWidget>& W) { return dynamic_cast<TVclListWidget*>(W.data()); }

const std::string* StringOf(LPARAM LParam) { return reinterpret_cast<const std::string*>(LParam); }

}  // namespace

// ------------------------------------------------------------ TListBoxStrings
int32_t TListBoxStrings::GetCount() const { return int32_t(FListBox->Perform(LB_GETCOUNT, 0, 0)); }

std::string TListBoxStrings::Get(int32_t Index) const {
  std::string S;
  if (FListBox->Perform(LB_GETTEXT, WPARAM(Index), reinterpret_cast<LPARAM>(&S)) == LB_ERR)
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
  return S;
}

void TListBoxStrings::Insert(int32_t Index, const std::string& S) {
  if (FListBox->Perform(LB_INSERTSTRING, WPARAM(Index), reinterpret_cast<LPARAM>(&S)) < 0)
    throw EOutOfMemory("Insufficient memory for this operation");
}

int32_t TListBoxStrings::Add(const std::string& S) {
  const LRESULT R = FListBox->Perform(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(&S));
  if (R < 0) throw EOutOfMemory("Insufficient memory for this operation");
  return int32_t(R);
}

void TListBoxStrings::Delete(int32_t Index) { FListBox->Perform(LB_DELETESTRING, WPARAM(Index), 0); }

void TListBoxStrings::Clear() { FListBox->Perform(LB_RESETCONTENT, 0, 0); }

// ------------------------------------------------------------ TCustomListBox
TCustomListBox::TCustomListBox(TComponent* AOwner)
    : TWinControl(AOwner), FItems(std::make_unique<TListBoxStrings>(this)) {
  FColor = clWindow;
  auto* W = new TVclListWidget;
  AttachWidget(W);
  QObject::connect(W, &QListWidget::currentRowChanged, W, [this](int) { VclDeliverCall(this, [this] { Click(); }); });
  QObject::connect(W, &QListWidget::itemDoubleClicked, W,
                   [this](QListWidgetItem*) { VclDeliverCall(this, [this] { DblClick(); }); });
  ApplySelectionMode();
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
}

TCustomListBox::~TCustomListBox() = default;

void TCustomListBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_FONTCHANGED:
      // The platform's font change reaches the list as the classic message,
      // so descendants re-measure in one place.
      if (auto* L = ListOf(FWidget)) L->setFont(VclQFont(GetFont()));
      Perform(WM_SETFONT, 0, 0);
      TWinControl::Dispatch(Message);
      return;
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_DELETESTRING:
    case LB_RESETCONTENT:
    case LB_SETCURSEL:
    case LB_GETCURSEL:
    case LB_GETTEXT:
    case LB_GETCOUNT:
    case LB_GETHORIZONTALEXTENT:
    case LB_SETHORIZONTALEXTENT:
    case WM_SETFONT:
      DefaultHandler(Message);
      return;
    case WM_HSCROLL:
      if (LOWORD(Message.WParam) == SB_LEFT) SetHorizontalPosition(0);
      DefaultHandler(Message);
      return;
    default:
      TWinControl::Dispatch(Message);
  }
}

void TCustomListBox::DefaultHandler(TMessage& Message) {
  TVclListWidget* L = ListOf(FWidget);
  const auto Count = int32_t(FLines.size());
  switch (Message.Msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      const std::string& S = *StringOf(Message.LParam);
      int32_t Index;
      if (Message.Msg == LB_ADDSTRING && FSorted) {
        auto It = std::upper_bound(FLines.begin(), FLines.end(), S,
                                   [](const std::string& A, const std::string& B) { return CompareText(A, B) < 0; });
        Index = int32_t(It - FLines.begin());
      } else if (Message.Msg == LB_ADDSTRING) {
        Index = Count;
      } else {
        Index = int32_t(int64_t(Message.WParam));
        if (Index == -1) Index = Count;
        if (Index < 0 || Index > Count) {
          Message.Result = LB_ERR;
          return;
        }
      }
      FLines.insert(FLines.begin() + Index, S);
      if (L) L->insertItem(Index, QString::fromStdString(S));
      Message.Result = Index;
      return;
    }
    case LB_DELETESTRING: {
      const auto Index = int32_t(int64_t(Message.WParam));
      if (Index < 0 || Index >= Count) {
        Message.Result = LB_ERR;
        return;
      }
      FLines.erase(FLines.begin() + Index);
      if (L) delete L->takeItem(Index);
      Message.Result = Count - 1;
      return;
    }
    case LB_RESETCONTENT:
      FLines.clear();
      if (L) L->clear();
      Message.Result = 0;
      return;
    case LB_GETCOUNT:
      Message.Result = Count;
      return;
    case LB_GETTEXT: {
      const auto Index = int32_t(int64_t(Message.WParam));
      if (Index < 0 || Index >= Count) {
        Message.Result = LB_ERR;
        return;
      }
      *reinterpret_cast<std::string*>(Message.LParam) = FLines[size_t(Index)];
      Message.Result = LRESULT(FLines[size_t(Index)].size());
      return;
    }
    case LB_SETCURSEL: {
      const auto Index = int32_t(int64_t(Message.WParam));
      if (L) L->setCurrentRow(Index >= 0 && Index < Count ? Index : -1);
      Message.Result = Index >= 0 && Index < Count ? Index : LB_ERR;
      return;
    }
    case LB_GETCURSEL:
      Message.Result = L ? L->currentRow() : LB_ERR;
      return;
    case LB_GETHORIZONTALEXTENT:
      Message.Result = FHorizontalExtent;
      return;
    case LB_SETHORIZONTALEXTENT:
      FHorizontalExtent = std::max<int32_t>(0, int32_t(Message.WParam));
      if (L) L->SetExtent(FHorizontalExtent);
      Message.Result = 0;
      return;
    default:
      TWinControl::DefaultHandler(Message);
  }
}

int32_t TCustomListBox::GetItemIndex() const {
  return int32_t(const_cast<TCustomListBox*>(this)->Perform(LB_GETCURSEL, 0, 0));
}

void TCustomListBox::SetItemIndex(int32_t Value) { Perform(LB_SETCURSEL, WPARAM(Value), 0); }

void TCustomListBox::SetSorted(bool Value) {
  if (FSorted == Value) return;
  FSorted = Value;
  if (FSorted) Reinsert();
}

// Re-adds every line so a sorted list puts them in order.
void TCustomListBox::Reinsert() {
  std::vector<std::string> Lines = FLines;
  Perform(LB_RESETCONTENT, 0, 0);
  for (const std::string& S : Lines) Perform(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(&S));
}

void TCustomListBox::SetMultiSelect(bool Value) {
  FMultiSelect = Value;
  ApplySelectionMode();
}

void TCustomListBox::SetExtendedSelect(bool Value) {
  FExtendedSelect = Value;
  ApplySelectionMode();
}

void TCustomListBox::ApplySelectionMode() {
  if (auto* L = ListOf(FWidget)) {
    L->setSelectionMode(!FMultiSelect    ? QAbstractItemView::SingleSelection
                        : FExtendedSelect ? QAbstractItemView::ExtendedSelection
                                          : QAbstractItemView::MultiSelection);
  }
}

int32_t TCustomListBox::GetItemHeight() const {
  if (FItemHeight > 0) return FItemHeight;
  return QFontMetrics(VclQFont(GetFont())).height();
}

void TCustomListBox::SetItemHeight(int32_t Value) {
  FItemHeight = std::max<int32_t>(0, Value);
  if (auto* L = ListOf(FWidget)) {
    L->setUniformItemSizes(FItemHeight > 0);
    if (FItemHeight > 0) {
      for (int I = 0; I < L->count(); ++I) L->item(I)->setSizeHint(QSize(-1, FItemHeight));
    }
  }
}

int32_t TCustomListBox::GetHorizontalPosition() const {
  auto* L = ListOf(FWidget);
  return L ? L->horizontalScrollBar()->value() : 0;
}

void TCustomListBox::SetHorizontalPosition(int32_t Value) {
  if (auto* L = ListOf(FWidget)) L->horizontalScrollBar()->setValue(Value);
}

int32_t TCustomListBox::GetHorizontalRange() const {
  auto* L = ListOf(FWidget);
  return L ? L->horizontalScrollBar()->maximum() : 0;
}

const TFormPropertyTable& TCustomListBox::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TCustomListBox>("TListBox", &TWinControl::FormProperties())
          .Bool("ExtendedSelect", &TCustomListBox::GetExtendedSelect, &TCustomListBox::SetExtendedSelect)
          .Bool("IntegralHeight", &TCustomListBox::GetIntegralHeight, &TCustomListBox::SetIntegralHeight)
          .Integer("ItemHeight", &TCustomListBox::GetItemHeight, &TCustomListBox::SetItemHeight)
          .Strings("Items.Strings", &TCustomListBox::GetItems)
          .Bool("MultiSelect", &TCustomListBox::GetMultiSelect, &TCustomListBox::SetMultiSelect)
          .Bool("Sorted", &TCustomListBox::GetSorted, &TCustomListBox::SetSorted)
          .Integer("TabWidth", &TCustomListBox::GetTabWidth, &TCustomListBox::SetTabWidth)
          .Integer("ItemIndex", &TCustomListBox::GetItemIndex, &TCustomListBox::SetItemIndex)
          // Behaviour the platform's list widget has on its own.
          .Ignored({"BorderStyle", "Columns", "Style"})
          .Build();
  return Table;
}
