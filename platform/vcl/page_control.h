#pragma once
// The page control: a row of tabs over a set of pages (tab sheets), one of
// which shows at a time. A tab sheet is put on the control by making the
// control its parent (as a form resource does); its caption is its tab's
// text, and a sheet whose TabVisible is off keeps its page but shows no tab.
// A tab chosen by the user asks OnChanging first (which may refuse), then
// shows its page and fires OnChange; choosing a page by program fires
// neither.
#include <QPointer>
#include <QTabBar>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/vcl/controls.h"

class TPageControl;

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;

  // The page control the sheet lies on (nullptr when none).
  TPageControl* GetPageControl() const;
  void SetPageControl(TPageControl* Value);
  // The sheet's position among the control's pages.
  int32_t GetPageIndex() const;
  void SetPageIndex(int32_t Value);
  // The position of its tab among the shown tabs (-1 when it shows none).
  int32_t GetTabIndex() const;
  bool GetTabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);
  int32_t GetImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t Value) { FImageIndex = Value; }

  void SetParent(TWinControl* AParent) override;
  void SetText(const std::string& Value) override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 private:
  bool FTabVisible = true;
  int32_t FImageIndex = -1;
  friend class TPageControl;
};

enum TTabPosition : uint8_t { tpTop, tpBottom, tpLeft, tpRight };
enum TTabStyle : uint8_t { tsTabs, tsButtons, tsFlatButtons };

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;

  int32_t GetPageCount() const { return static_cast<int32_t>(FPages.size()); }
  // Page Index (nullptr outside 0 .. count - 1).
  TTabSheet* GetPage(int32_t Index) const;
  TTabSheet* GetActivePage() const { return FActivePage; }
  void SetActivePage(TTabSheet* Value);
  int32_t GetActivePageIndex() const;
  void SetActivePageIndex(int32_t Value);
  // The number of shown tabs, and the active page's tab among them.
  int32_t GetTabCount() const;
  int32_t GetTabIndex() const;
  void SetTabIndex(int32_t Value);
  // The page whose tab is Index among the shown tabs (nullptr when none).
  TTabSheet* PageOfTab(int32_t Index) const;
  // The next (or previous) page with a shown tab after the active one,
  // round the end; as the user's choice (OnChanging, OnChange).
  void SelectNextPage(bool GoForward);
  // Chooses the page of tab Index as the user does by clicking it; false
  // when OnChanging refused or there is no such tab.
  bool SelectTab(int32_t Index);

  bool GetMultiLine() const { return FMultiLine; }
  void SetMultiLine(bool Value);
  TTabPosition GetTabPosition() const { return FTabPosition; }
  void SetTabPosition(TTabPosition Value);
  TTabStyle GetStyle() const { return FStyle; }
  void SetStyle(TTabStyle Value) { FStyle = Value; }
  bool GetHotTrack() const { return FHotTrack; }
  void SetHotTrack(bool Value) { FHotTrack = Value; }
  int32_t GetTabHeight() const { return FTabHeight; }
  void SetTabHeight(int32_t Value);
  int32_t GetTabWidth() const { return FTabWidth; }
  void SetTabWidth(int32_t Value) { FTabWidth = Value; }
  // Where the pages lie, in client coordinates.
  TRect GetDisplayRect() const;
  // The tab row's widget, for tests that click it.
  QTabBar* GetTabBar() const { return FTabBar.data(); }

  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void BoundsChanged(bool Moved, bool Sized) override;
  virtual bool CanChange();
  virtual void Change();

 private:
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void MovePage(TTabSheet* Page, int32_t Index);
  // Rebuilds the tab row from the pages and shows the active page.
  void UpdateTabs();
  void TabBarChanged(int Index);

  std::vector<TTabSheet*> FPages;
  TTabSheet* FActivePage = nullptr;
  QPointer<QTabBar> FTabBar;
  bool FSyncing = false;
  bool FMultiLine = false;
  bool FHotTrack = false;
  TTabPosition FTabPosition = tpTop;
  TTabStyle FStyle = tsTabs;
  int32_t FTabHeight = 0;
  int32_t FTabWidth = 0;
  friend class TTabSheet;
};
