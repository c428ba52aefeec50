#include "platform/vcl/page_control.h"

#include <QTabBar>
#include <algorithm>

#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"

// ------------------------------------------------------------ tab sheet
TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle |= csAcceptsControls;
  FParentColor = true;
  FColor = clBtnFace;
  FVisible = false;
  if (FWidget) FWidget->setVisible(false);
}

TTabSheet::~TTabSheet() {
  if (TPageControl* P = GetPageControl()) P->RemovePage(this);
}

TPageControl* TTabSheet::GetPageControl() const { return dynamic_cast<TPageControl*>(FParent); }

void TTabSheet::SetPageControl(TPageControl* Value) { SetParent(Value); }

void TTabSheet::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (TPageControl* Old = GetPageControl()) Old->RemovePage(this);
  TWinControl::SetParent(AParent);
  if (TPageControl* New = GetPageControl()) New->InsertPage(this);
}

int32_t TTabSheet::GetPageIndex() const {
  TPageControl* P = GetPageControl();
  if (!P) return -1;
  auto It = std::find(P->FPages.begin(), P->FPages.end(), this);
  return It == P->FPages.end() ? -1 : static_cast<int32_t>(It - P->FPages.begin());
}

void TTabSheet::SetPageIndex(int32_t Value) {
  if (TPageControl* P = GetPageControl()) P->MovePage(this, Value);
}

int32_t TTabSheet::GetTabIndex() const {
  TPageControl* P = GetPageControl();
  if (!P || !FTabVisible) return -1;
  int32_t Index = 0;
  for (TTabSheet* S : P->FPages) {
    if (S == this) return Index;
    if (S->FTabVisible) ++Index;
  }
  return -1;
}

void TTabSheet::SetTabVisible(bool Value) {
  if (Value == FTabVisible) return;
  FTabVisible = Value;
  if (TPageControl* P = GetPageControl()) P->UpdateTabs();
}

void TTabSheet::SetText(const std::string& Value) {
  TWinControl::SetText(Value);
  if (TPageControl* P = GetPageControl()) P->UpdateTabs();
}

const TFormPropertyTable& TTabSheet::FormProperties() const {
  using S = TTabSheet;
  static const TFormPropertyTable Table =
      TFormProperties<S>("TTabSheet", &TWinControl::FormProperties())
          .Integer("ImageIndex", &S::GetImageIndex, &S::SetImageIndex)
          .Bool("TabVisible", &S::GetTabVisible, &S::SetTabVisible)
          // The page order is the order of the resource; which page shows is
          // the page control's.
          .Custom("PageIndex", [](S& Sheet, const TFormValue& V, TFormReadContext&) { Sheet.SetPageIndex(V.AsInteger()); })
          .Ignored({"Visible"})
          .Reference<TPageControl>("PageControl", &S::GetPageControl, &S::SetPageControl)
          .StoredWhen([](const S&) { return false; })
          .Event("OnHide", &S::OnHide)
          .Event("OnShow", &S::OnShow)
          .Build();
  return Table;
}

// ------------------------------------------------------------ page control
TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle |= csAcceptsControls | csDoubleClicks;
  FColor = clBtnFace;
  auto* Bar = new QTabBar(FWidget);
  Bar->setDrawBase(true);
  Bar->setExpanding(false);
  Bar->setFocusPolicy(Qt::NoFocus);
  FTabBar = Bar;
  QObject::connect(Bar, &QTabBar::currentChanged, Bar, [this](int Index) { TabBarChanged(Index); });
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl() {
  // The sheets go with the control's children.
  FPages.clear();
  FActivePage = nullptr;
}

TTabSheet* TPageControl::GetPage(int32_t Index) const {
  return Index >= 0 && Index < GetPageCount() ? FPages[static_cast<size_t>(Index)] : nullptr;
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FPages.push_back(Page);
  if (!FActivePage && !(GetComponentState() & csLoading)) FActivePage = Page;
  UpdateTabs();
  Realign();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto It = std::find(FPages.begin(), FPages.end(), Page);
  if (It == FPages.end()) return;
  const int32_t Index = static_cast<int32_t>(It - FPages.begin());
  FPages.erase(It);
  if (FActivePage == Page) {
    FActivePage = nullptr;
    // The next shown page takes its place.
    for (int32_t I = Index; I < GetPageCount() && !FActivePage; ++I)
      if (FPages[size_t(I)]->FTabVisible) FActivePage = FPages[size_t(I)];
    for (int32_t I = Index - 1; I >= 0 && !FActivePage; --I)
      if (FPages[size_t(I)]->FTabVisible) FActivePage = FPages[size_t(I)];
  }
  UpdateTabs();
}

void TPageControl::MovePage(TTabSheet* Page, int32_t Index) {
  auto It = std::find(FPages.begin(), FPages.end(), Page);
  if (It == FPages.end()) return;
  FPages.erase(It);
  Index = std::clamp(Index, 0, GetPageCount());
  FPages.insert(FPages.begin() + Index, Page);
  UpdateTabs();
}

int32_t TPageControl::GetActivePageIndex() const { return FActivePage ? FActivePage->GetPageIndex() : -1; }

void TPageControl::SetActivePageIndex(int32_t Value) { SetActivePage(GetPage(Value)); }

void TPageControl::SetActivePage(TTabSheet* Value) {
  if (Value && Value->GetPageControl() != this) return;
  if (Value == FActivePage) return;
  TTabSheet* Old = FActivePage;
  FActivePage = Value;
  UpdateTabs();
  if (GetComponentState() & csLoading) return;
  if (Old && Old->OnHide) Old->OnHide(Old);
  if (Value && Value->OnShow) Value->OnShow(Value);
}

int32_t TPageControl::GetTabCount() const {
  return static_cast<int32_t>(std::count_if(FPages.begin(), FPages.end(), [](TTabSheet* S) { return S->FTabVisible; }));
}

int32_t TPageControl::GetTabIndex() const { return FActivePage ? FActivePage->GetTabIndex() : -1; }

void TPageControl::SetTabIndex(int32_t Value) {
  if (TTabSheet* S = PageOfTab(Value)) SetActivePage(S);
}

TTabSheet* TPageControl::PageOfTab(int32_t Index) const {
  if (Index < 0) return nullptr;
  for (TTabSheet* S : FPages)
    if (S->FTabVisible && Index-- == 0) return S;
  return nullptr;
}

bool TPageControl::CanChange() {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  return Allow;
}

void TPageControl::Change() {
  if (OnChange) OnChange(this);
}

bool TPageControl::SelectTab(int32_t Index) {
  TTabSheet* S = PageOfTab(Index);
  if (!S) return false;
  if (S == FActivePage) return true;
  if (!CanChange()) {
    UpdateTabs();
    return false;
  }
  SetActivePage(S);
  Change();
  return true;
}

void TPageControl::SelectNextPage(bool GoForward) {
  const int32_t N = GetTabCount();
  if (N == 0) return;
  const int32_t At = GetTabIndex();
  const int32_t Next = At < 0 ? 0 : (At + (GoForward ? 1 : N - 1)) % N;
  SelectTab(Next);
}

void TPageControl::TabBarChanged(int Index) {
  if (FSyncing) return;
  VclDeliverCall(this, [this, Index] { SelectTab(Index); });
}

void TPageControl::UpdateTabs() {
  QTabBar* Bar = FTabBar.data();
  if (FActivePage && !FActivePage->FTabVisible && !(GetComponentState() & csLoading)) {
    // A page whose tab went away gives way to the nearest shown one.
    TTabSheet* Keep = nullptr;
    for (TTabSheet* S : FPages)
      if (S->FTabVisible) {
        Keep = S;
        if (S->GetPageIndex() > FActivePage->GetPageIndex()) break;
      }
    FActivePage = Keep;
  }
  if (Bar) {
    FSyncing = true;
    while (Bar->count() > 0) Bar->removeTab(Bar->count() - 1);
    for (TTabSheet* S : FPages)
      if (S->FTabVisible) Bar->addTab(QString::fromStdString(S->GetText()).replace(QLatin1String("&&"), QLatin1String("&")));
    Bar->setCurrentIndex(GetTabIndex());
    FSyncing = false;
  }
  for (TTabSheet* S : FPages) {
    const bool Show = S == FActivePage;
    S->FVisible = Show;
    if (QWidget* W = S->GetWidget()) W->setVisible(Show && (GetComponentState() & csLoading) == 0);
  }
  if (Bar) Bar->setGeometry(0, 0, std::max(0, FWidth), FTabHeight > 0 ? FTabHeight : Bar->sizeHint().height());
}

void TPageControl::SetMultiLine(bool Value) {
  FMultiLine = Value;
  if (FTabBar) FTabBar->setUsesScrollButtons(!Value);
}

void TPageControl::SetTabPosition(TTabPosition Value) { FTabPosition = Value; }

void TPageControl::SetTabHeight(int32_t Value) {
  FTabHeight = std::max(0, Value);
  UpdateTabs();
  Realign();
}

TRect TPageControl::GetDisplayRect() const {
  const int32_t Tabs = FTabBar ? (FTabHeight > 0 ? FTabHeight : FTabBar->sizeHint().height()) : 0;
  TRect R = GetClientRect();
  R.Top += Tabs;
  // The page's frame.
  R.Left += 4;
  R.Top += 4;
  R.Right -= 4;
  R.Bottom -= 4;
  if (R.Right < R.Left) R.Right = R.Left;
  if (R.Bottom < R.Top) R.Bottom = R.Top;
  return R;
}

void TPageControl::AlignControls(TControl* AControl, TRect& Rect) {
  const TRect D = GetDisplayRect();
  for (TTabSheet* S : FPages) S->SetBoundsRect(D);
  Rect = D;
  TWinControl::AlignControls(AControl, Rect);
}

void TPageControl::BoundsChanged(bool Moved, bool Sized) {
  TWinControl::BoundsChanged(Moved, Sized);
  if (Sized) UpdateTabs();
}

void TPageControl::Loaded() {
  TWinControl::Loaded();
  if (!FActivePage) {
    for (TTabSheet* S : FPages)
      if (S->FTabVisible) {
        FActivePage = S;
        break;
      }
  }
  UpdateTabs();
  Realign();
}

const TFormPropertyTable& TPageControl::FormProperties() const {
  static const TFormEnumNames PositionNames = {"tpTop", "tpBottom", "tpLeft", "tpRight"};
  static const TFormEnumNames StyleNames = {"tsTabs", "tsButtons", "tsFlatButtons"};
  using P = TPageControl;
  static const TFormPropertyTable Table =
      TFormProperties<P>("TPageControl", &TWinControl::FormProperties())
          .Reference<TTabSheet>("ActivePage", &P::GetActivePage, &P::SetActivePage)
          .Bool("HotTrack", &P::GetHotTrack, &P::SetHotTrack)
          .Bool("MultiLine", &P::GetMultiLine, &P::SetMultiLine)
          .Enum("Style", StyleNames, &P::GetStyle, &P::SetStyle)
          .Integer("TabHeight", &P::GetTabHeight, &P::SetTabHeight)
          .Enum("TabPosition", PositionNames, &P::GetTabPosition, &P::SetTabPosition)
          .Integer("TabWidth", &P::GetTabWidth, &P::SetTabWidth)
          .Custom("TabIndex", [](P& C, const TFormValue& V, TFormReadContext&) { C.SetTabIndex(V.AsInteger()); })
          // Pictures on tabs and the raggedness of rows are the platform's business.
          .Ignored({"Images", "RaggedRight", "ScrollOpposite", "OwnerDraw"})
          .Event("OnChange", &P::OnChange)
          .Event("OnChanging", &P::OnChanging)
          .Build();
  return Table;
}
