#pragma once
// TFolioMView: the multi-image view.
//
// An ordered list of entries, each owning at most one image, shown as a grid
// of thumbnail cells.  In the application it is the page list: every page of
// the document is one entry and the selected entry is the page being edited.
//
// The entries' images live in the "ILIST" image store; the cell-size copies
// made while painting live in a second store, "ICACHE".  Components attached
// to the view (the multi-image I/O component keeps one parameter set per
// entry) hear of every structural change through the change callbacks: before
// the callbacks run the view records the change (kind 1 insert, 2 delete,
// 3 move, with the index and the new index), and the kind goes back to 0 once
// they have run.  Kind 0 during a callback means the selection or the
// selected image changed.
//
// Positions beyond the end clamp to the end: inserting or moving to an index
// past the last entry lands on the last position, and the recorded change
// names the position the entry really has, so parallel lists kept by the
// callbacks stay in step and the selection stays in range.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/threads.h"
#include "platform/rtl/types.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/form_reader.h"
#include "views/view_base.h"

class TBitmap;
class TIEBaseBitmap;
class TIEBitmap;
class TFolioIO;
class TFolioMIO;
class TFolioMView;
class TIEVirtualImageList;
class TIEVirtualImageInfo;

// Resampling filters of the image processing layer.  Defined here until that
// layer has a header of its own; the guard lets the two meet in one unit.
#ifndef FOLIVRA_TRESAMPLEFILTER_DEFINED
#define FOLIVRA_TRESAMPLEFILTER_DEFINED
enum TResampleFilter : uint8_t {
  rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell,
  rfNearest, rfLinear, rfFastLinear, rfBilinear, rfBicubic, rfProjectBW, rfProjectWB
};
#endif

// How images are kept: unchanged, or reduced to the thumbnail size.
enum TIEStoreType : uint8_t { ietNormal, ietThumb };
enum TIEMDisplayMode : uint8_t { mdGrid, mdSingle };
enum TIEMStyle : uint8_t { iemsFlat, iemsACD };
enum TIESStyle : uint8_t { iessAround, iessACD };

using TIEMMouseInteract = uint8_t;
enum : TIEMMouseInteract { mmiScroll = 1, mmiSelect = 2 };
using TIEMKeyInteract = uint8_t;
enum : TIEMKeyInteract { mkiMoveSelected = 1 };
using TIEMultiSelectionOptions = uint8_t;
enum : TIEMultiSelectionOptions { iemoRegion = 1, iemoSelectOnMouseUp = 2, iemoLeaveOneSelected = 4 };

// Index events of the view (select, deselect).
using TIEImageSelectEvent = std::function<void(TObject* Sender, int32_t idx)>;
using TIEViewChangeEventM = std::function<void(TObject* Sender, int32_t Change)>;

// One caption of an entry (0 top, 1 bottom, 2 info).
class TIEMText : public TObject {
 public:
  TIEMText(TIEView* Owner, uint8_t Position);
  ~TIEMText() override;
  const std::string& GetCaption() const { return FCaption; }
  // Raises the owning multi-image view's text gap to fit the caption's
  // height (never lowers it), then stores the text.
  void SetCaption(const std::string& Text);
  TFont* GetFont() const { return FFont.get(); }
  TColor GetBackground() const { return FBackground; }
  void SetBackground(TColor Value) { FBackground = Value; }
  TBrushStyle GetBackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TBrushStyle Value) { FBackgroundStyle = Value; }
  uint8_t GetPosition() const { return FPosition; }
  // 0 shorten at the end, 1 at the start, other never.
  uint8_t GetTruncSide() const { return FTruncSide; }
  void SetTruncSide(uint8_t Value) { FTruncSide = Value; }

 private:
  std::string FCaption;
  std::unique_ptr<TFont> FFont;
  TColor FBackground;
  TBrushStyle FBackgroundStyle = bsSolid;
  TIEView* FOwner;
  uint8_t FPosition;
  uint8_t FTruncSide = 1;
};

// One entry of the view.
struct TIEMViewEntry {
  TFolioMView* Owner = nullptr;
  TIEVirtualImageInfo* Image = nullptr;         // in "ILIST"; null = not loaded
  TIEVirtualImageInfo* DisplayCopy = nullptr;   // in "ICACHE"
  int32_t CellLeft = 0, CellTop = 0;
  int32_t GridRow = 0, GridColumn = 0;
  TColor Background = 0;
  std::string DeferredFileName;                 // empty = none
  int32_t ImageID = -1;
  int32_t Delay = 0;
  std::unique_ptr<TIEMText> TopText, BottomText, InfoText;
  TRect ImageRect{0, 0, 0, 0};
};

class TFolioMView : public TIEView {
 public:
  explicit TFolioMView(TComponent* AOwner);
  ~TFolioMView() override;
  TFolioMView(const TFolioMView&) = delete;
  TFolioMView& operator=(const TFolioMView&) = delete;

  std::string ClassName() const override { return "TFolioMView"; }

  // ---- entries
  int32_t GetImageCount() const { return static_cast<int32_t>(FEntries.size()); }
  // Inserts an empty entry at Index (appends at or beyond the end) and selects it.
  void InsertImage(int32_t Index);
  // As InsertImage without selecting.
  void InsertImageNoSelect(int32_t Index);
  // Appends and selects an entry; answers its index.
  int32_t AppendImage();
  void DeleteImage(int32_t Index);
  // False when Index >= count; a negative Index raises EListError.
  bool DeleteImageInternal(int32_t Index);
  // Moves entry Index to NewIndex (beyond the end: to the last position).
  void MoveImage(int32_t Index, int32_t NewIndex);
  void Clear();

  // ---- images
  // Stores a copy of Bitmap into the entry (nothing for nullptr).
  void SetIEBitmap(int32_t Index, TIEBitmap* Bitmap);
  void SetImage(int32_t Index, TBitmap* Bitmap);
  // The storing core: no layout, no repaint.
  void StoreImageBitmap(int32_t Index, TIEBaseBitmap* Bitmap);
  // Bitmap = the entry's image (loaded on demand first); unchanged when the
  // entry has none.  These four raise EListError for an index outside the list.
  void CopyToIEBitmap(int32_t Index, TIEBitmap* Bitmap);
  // A shared bitmap of the store (nullptr when no image); pair every call
  // with one ReleaseBitmap.
  TIEBitmap* GetIEBitmap(int32_t Index);
  TBitmap* GetBitmap(int32_t Index);
  void ReleaseBitmap(int32_t Index);
  int32_t GetImageWidth(int32_t Index);
  int32_t GetImageHeight(int32_t Index);
  int32_t GetImageSourceWidth(int32_t Index);
  int32_t GetImageSourceHeight(int32_t Index);
  void SetImageSourceWidth(int32_t Index, int32_t Value);
  void SetImageSourceHeight(int32_t Index, int32_t Value);
  void SetImageBackground(int32_t Index, TColor Colour);
  TColor GetImageBackground(int32_t Index) const;
  void SetImageDelayTime(int32_t Index, int32_t Milliseconds);
  int32_t GetImageDelayTime(int32_t Index) const;
  void SetDeferredFileName(int32_t Index, const std::string& FileName);
  std::string GetDeferredFileName(int32_t Index) const;
  int32_t GetImageID(int32_t Index) const;
  int32_t GetImageGridRow(int32_t Index) const;
  int32_t GetImageGridColumn(int32_t Index) const;
  bool ReserveImageSpace(int32_t Width, int32_t Height, int32_t BitsPerPixel, int32_t Count);
  int32_t GetImageCacheSize() const { return FImageCacheSize; }
  void SetImageCacheSize(int32_t Value);
  TIEMText* GetImageTopText(int32_t Index) const;
  TIEMText* GetImageBottomText(int32_t Index) const;
  TIEMText* GetImageInfoText(int32_t Index) const;
  // Whether the entry holds an image / a display copy now.
  bool HasImage(int32_t Index) const;
  bool HasDisplayCopy(int32_t Index) const;

  // ---- display copies
  // Makes (or keeps) the entry's cell-size copy in "ICACHE" from its image;
  // answers whether one exists afterwards.
  bool MakeDisplayCopy(int32_t Index);
  // Drops the entry's display copy; EListError outside the list.
  void ClearImageCache(int32_t Index);
  void ClearAllImageCaches();

  // ---- change record, read by callbacks
  int32_t GetLastChangeKind() const { return FLastChangeKind; }
  int32_t GetLastChangeIndex() const { return FLastChangeIndex; }
  int32_t GetLastChangeNewIndex() const { return FLastChangeNewIndex; }
  // The inherited walk, then the change kind back to 0.
  void CallBitmapChangeEvents() override;

  // ---- selection
  int32_t GetSelectedImage() const { return FSelectedIndex; }
  void SetSelectedImage(int32_t Index);
  void Deselect();
  void DeselectInternal();
  int32_t GetMultiSelectedCount() const { return static_cast<int32_t>(FMultiSelected.size()); }
  int32_t GetMultiSelectedImage(int32_t n) const;
  bool IsSelected(int32_t Index) const;
  bool GetEnableMultiSelect() const { return FEnableMultiSelect; }
  void SetEnableMultiSelect(bool Value);
  // While on, selecting adds to or toggles in the multi-selection.
  bool GetMultiSelecting() const { return FMultiSelecting; }
  void SetMultiSelecting(bool Value) { FMultiSelecting = Value; }
  TIEMultiSelectionOptions GetMultiSelectionOptions() const { return FMultiSelectionOptions; }
  void SetMultiSelectionOptions(TIEMultiSelectionOptions Value) { FMultiSelectionOptions = Value; }
  virtual void DoImageSelect(int32_t Index);
  virtual void DoImageDeselect(int32_t Index);
  virtual void DoViewChange(int32_t Change);

  // ---- layout and painting
  void Update();
  void UpdateLayout(bool DropDisplayCopies = false);
  void LockPaint() override { ++FPaintLock; }
  int32_t UnlockPaint() override;
  int32_t UnlockPaintNoUpdate() override;
  int32_t GetPaintLock() const { return FPaintLock; }

  // ---- loading and playback hooks
  // Fills the entry's image from its deferred file name; false when that load
  // failed or there is nothing to load from.
  bool LoadImageOnDemand(int32_t Index);
  // Loads image ImageIndex of a file (or of Stream when given) into entry
  // Index through the view's own I/O component and copies the parameters read
  // into the entry's record of GetMIO.  False when Index is outside the list
  // or the load failed (the entry then holds the placeholder of DoWrongImage).
  bool LoadImageIntoEntry(int32_t Index, TStream* Stream, const std::string& FileName, int32_t ImageIndex);
  bool SetImageFromFile(int32_t Index, const std::string& FileName, int32_t ImageIndex);
  // Draws the placeholder of an entry whose file cannot be read.
  virtual void DoWrongImage(TIEBitmap* Bitmap, int32_t Index);
  // The view's own multi-image I/O component: created on first call, owned
  // by and attached to this view, with the view's progress and finish events.
  virtual TFolioMIO* GetMIO();
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void ClearLoadQueues();
  void CancelImageLoad(int32_t Index);
  bool GetPlaying() const { return FPlaying; }
  void SetPlaying(bool Value);

  // ---- TIEView
  TBitmap* GetViewBitmap() override;
  TIEBitmap* GetViewIEBitmap() override;
  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool GetHasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool Merge) override {}
  void SetBackground(TColor Value) override;

  // ---- properties
  TIEStoreType GetStoreType() const { return FStoreType; }
  void SetStoreType(TIEStoreType Value) { FStoreType = Value; }
  int32_t GetThumbWidth() const { return FThumbWidth; }
  void SetThumbWidth(int32_t Value);
  int32_t GetThumbHeight() const { return FThumbHeight; }
  void SetThumbHeight(int32_t Value);
  int32_t GetHorizBorder() const { return FHorizBorder; }
  void SetHorizBorder(int32_t Value);
  int32_t GetVertBorder() const { return FVertBorder; }
  void SetVertBorder(int32_t Value);
  int32_t GetUpperGap() const { return FUpperGap; }
  void SetUpperGap(int32_t Value);
  int32_t GetBottomGap() const { return FBottomGap; }
  void SetBottomGap(int32_t Value);
  int32_t GetGridWidth() const { return FGridWidth; }
  void SetGridWidth(int32_t Value);
  TIEMDisplayMode GetDisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TIEMDisplayMode Value);
  TIEMStyle GetStyle() const { return FStyle; }
  void SetStyle(TIEMStyle Value);
  bool GetVisibleSelection() const { return FVisibleSelection; }
  void SetVisibleSelection(bool Value);
  int32_t GetSelectionWidth() const { return FSelectionWidth; }
  void SetSelectionWidth(int32_t Value);
  TColor GetSelectionColor() const { return FSelectionColor; }
  void SetSelectionColor(TColor Value);
  TIESStyle GetSelectionStyle() const { return FSelectionStyle; }
  void SetSelectionStyle(TIESStyle Value);
  TIEMMouseInteract GetMouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TIEMMouseInteract Value);
  TIEMKeyInteract GetKeyInteract() const { return FKeyInteract; }
  virtual void SetKeyInteract(TIEMKeyInteract Value);
  TScrollStyle GetScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool GetFlatScrollBars() const { return FFlatScrollBars; }
  void SetFlatScrollBars(bool Value) { FFlatScrollBars = Value; }
  TColor GetThumbnailsBackground() const { return FThumbnailsBackground; }
  void SetThumbnailsBackground(TColor Value);
  int32_t GetThumbnailsBorderWidth() const { return FThumbnailsBorderWidth; }
  void SetThumbnailsBorderWidth(int32_t Value);
  TColor GetThumbnailsBorderColor() const { return FThumbnailsBorderColor; }
  void SetThumbnailsBorderColor(TColor Value);
  bool GetThumbnailsInternalBorder() const { return FThumbnailsInternalBorder; }
  void SetThumbnailsInternalBorder(bool Value);
  TColor GetThumbnailsInternalBorderColor() const { return FThumbnailsInternalBorderColor; }
  void SetThumbnailsInternalBorderColor(TColor Value);
  bool GetRemoveCorrupted() const { return FRemoveCorrupted; }
  void SetRemoveCorrupted(bool Value);
  bool GetDrawImageBackground() const { return FDrawImageBackground; }
  void SetDrawImageBackground(bool Value);
  bool GetEnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  int32_t GetThreadPoolSize() const { return FThreadPoolSize; }
  void SetThreadPoolSize(int32_t Value) { FThreadPoolSize = Value; }
  // Stored only: the view never starts a transition itself.
  int32_t GetTransitionEffect() const { return FTransitionEffect; }
  void SetTransitionEffect(int32_t Value) { FTransitionEffect = Value; }
  int32_t GetTransitionDuration() const { return FTransitionDuration; }
  void SetTransitionDuration(int32_t Value) { FTransitionDuration = Value; }
  // The library version; writing it does nothing.
  std::string GetFolioVersion() const { return "3.1.2"; }
  void SetFolioVersion(const std::string&) {}

  // Published properties and events read from a form resource.
  bool SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) override;

  TResampleFilter StoreFilter = rfFastLinear;
  TResampleFilter DrawFilter = rfNone;
  bool FitSmallImages = true;
  bool KeepDisplayCopies = true;

  // The stores (for painting code and tests).
  TIEVirtualImageList* GetImageList() const { return FImageList.get(); }
  TIEVirtualImageList* GetCacheList() const { return FCacheList.get(); }
  TCriticalSection& GetLock() { return FLock; }

  // ---- events
  // Progress and finish events, handed on to the components the view creates.
  virtual void SetOnProgress(TIEProgressEvent Value) { FOnProgress = std::move(Value); }
  virtual const TIEProgressEvent& GetOnProgress() const { return FOnProgress; }
  virtual void SetOnFinishWork(TNotifyEvent Value) { FOnFinishWork = std::move(Value); }
  virtual const TNotifyEvent& GetOnFinishWork() const { return FOnFinishWork; }
  TIEImageSelectEvent OnImageSelect;
  TIEImageSelectEvent OnImageDeselect;
  TIEViewChangeEventM OnViewChange;

 protected:
  // Set while a mouse, keyboard, wheel or scroll-bar handler runs: the
  // select, deselect and view-change events fire only then.
  bool FUserAction = false;

 private:
  TIEMViewEntry* Entry(int32_t Index) const;
  // Raises EListError unless 0 <= Index < count.
  TIEMViewEntry* CheckedEntry(int32_t Index) const;
  std::unique_ptr<TIEMViewEntry> NewEntry();
  void FreeEntryImages(TIEMViewEntry* E);
  void InsertEntry(int32_t Index, bool Select);
  void StoreUnderLock(TIEMViewEntry* E, int32_t Index, TIEBaseBitmap* Bitmap, bool Selected);
  void SelectImageInternal(int32_t Index);
  void SetLastChange(int32_t Kind, int32_t Index, int32_t NewIndex);
  void ReleaseHeldBitmap();
  void CreateStores();

  TCriticalSection FLock;
  TIEProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;
  std::vector<std::unique_ptr<TIEMViewEntry>> FEntries;
  std::unique_ptr<TIEVirtualImageList> FImageList;
  std::unique_ptr<TIEVirtualImageList> FCacheList;
  std::unique_ptr<TFolioIO> FIO;
  TFolioMIO* FMIO = nullptr;  // owned as a component; forgotten on its removal
  std::vector<int32_t> FMultiSelected;
  int32_t FSelectedIndex = -1;
  TIEBitmap* FSelectedBitmap = nullptr;  // held from the store while selected
  int32_t FLastChangeKind = 0;
  int32_t FLastChangeIndex = 0;
  int32_t FLastChangeNewIndex = 0;
  int32_t FPaintLock = 0;
  bool FDestroying = false;
  bool FPlaying = false;
  bool FMultiSelecting = false;
  bool FKeepSelection = false;
  bool FEnableMultiSelect = false;
  TIEMultiSelectionOptions FMultiSelectionOptions = 0;
  bool FUseFile = true;

  TIEStoreType FStoreType = ietNormal;
  int32_t FThumbWidth = 100;
  int32_t FThumbHeight = 100;
  int32_t FHorizBorder = 4;
  int32_t FVertBorder = 4;
  int32_t FUpperGap = 0;
  int32_t FBottomGap = 0;
  int32_t FGridWidth = 0;
  int32_t FImageCacheSize = 10;
  TIEMDisplayMode FDisplayMode = mdGrid;
  TIEMStyle FStyle = iemsACD;
  bool FVisibleSelection = true;
  int32_t FSelectionWidth = 2;
  TColor FSelectionColor = 16752800;
  TIESStyle FSelectionStyle = iessAround;
  TIEMMouseInteract FMouseInteract = mmiSelect;
  TIEMKeyInteract FKeyInteract = mkiMoveSelected;
  TScrollStyle FScrollBars = ssBoth;
  bool FFlatScrollBars = false;
  TColor FThumbnailsBackground = clBtnFace;
  int32_t FThumbnailsBorderWidth = 0;
  TColor FThumbnailsBorderColor = clBtnFace;
  bool FThumbnailsInternalBorder = false;
  TColor FThumbnailsInternalBorderColor = clBlack;
  bool FRemoveCorrupted = false;
  bool FDrawImageBackground = false;
  bool FEnableAlphaChannel = true;
  int32_t FThreadPoolSize = 5;
  int32_t FTransitionEffect = 0;
  int32_t FTransitionDuration = 1000;

  std::unique_ptr<TFont> FDefaultTopTextFont, FDefaultBottomTextFont, FDefaultInfoTextFont;
  friend class TIEMText;
};

// Makes "TFolioMView" creatable by form resources (also done when the unit is
// linked in).
void IERegisterFolioMViewClass();
