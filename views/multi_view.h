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
#include "foundations/render_types.h"
#include "kernels/resample_engine.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/threads.h"
#include "platform/rtl/types.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/form_reader.h"
#include "views/view_base.h"
#include "views/window_helpers.h"

class TBitmap;
class TCanvas;
class TIEBaseBitmap;
class TIEBitmap;
class TFolioIO;
class TFolioMIO;
class TFolioMView;
class TIEVirtualImageList;
class TIEVirtualImageInfo;
class TIEMViewLoadJob;
struct TIEMViewFrameReader;
struct TIEMViewEntry;

// Posted to the view by a background load that has finished.
inline constexpr uint32_t IEM_MVIEWLOADED = 8030;

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
using TIEMProgressEvent = std::function<void(TObject* Sender, int32_t per, int32_t idx)>;
using TIEImageDrawEvent =
    std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top, TCanvas* Canvas)>;
using TIEImageDraw2Event = std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top,
                                              const TRect& ImageRect, TCanvas* Canvas)>;
using TIEPlayFrameEvent = std::function<void(TObject* Sender, int32_t frameIndex)>;
using TIEWrongImageEvent =
    std::function<void(TObject* Sender, TIEBitmap* OutBitmap, int32_t idx, bool& Handled)>;
// Before a cell's picture is drawn: ThumbRect starts as (0, 0, w, h) of the
// cell (or of the cell frame's inner part) and narrows where the picture goes.
using TIEImageDrawExEvent = std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top,
                                               TBitmap* Dest, TRect& ThumbRect)>;
// The shape of an entry's pixels on paper: Aspect (1 on entry) becomes the
// height of one pixel over its width, the horizontal resolution over the
// vertical one, so a page of unequal resolutions is drawn at its true shape.
using TIEImagePixelAspectEvent = std::function<void(TObject* Sender, int32_t idx, double& Aspect)>;
// Image requests for entries named by an image ID: the handler sets Bitmap to
// an image it keeps owning (the view stores a copy); nullptr stores nothing.
using TIEImageIDRequestEvent = std::function<void(TObject* Sender, int32_t ID, TBitmap*& Bitmap)>;
using TIEImageIDRequestExEvent = std::function<void(TObject* Sender, int32_t ID, TIEBitmap*& Bitmap)>;

// Shadow settings of drawn thumbnails.
struct TIEMViewSoftShadow {
  bool Enabled = false;
  double Radius = 3.0;
  int32_t OffsetX = 3;
  int32_t OffsetY = 3;
  int32_t Intensity = 100;
  TRGB ShadowColor{0, 0, 0};
};


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
  // Where the entry's image lay inside its last drawn picture (the soft
  // shadow takes the rest); EListError outside the list.
  TRect GetImageRect(int32_t Index) const;
  // Names the entry's image by an ID served by OnImageIDRequest(Ex); -1 = none.
  void SetImageID(int32_t Index, int32_t ID);
  int32_t GetImageGridRow(int32_t Index) const;
  int32_t GetImageGridColumn(int32_t Index) const;
  bool ReserveImageSpace(int32_t Width, int32_t Height, int32_t BitsPerPixel, int32_t Count);
  int32_t GetImageCacheSize() const { return FImageCacheSize; }
  void SetImageCacheSize(int32_t Value);
  // Bytes of page images kept mapped at once, beside the count of
  // ImageCacheSize (the rest wait in the store's temporary file); 0, the
  // default, sets no byte bound.
  int64_t GetImageCacheMemory() const { return FImageCacheMemory; }
  void SetImageCacheMemory(int64_t Bytes);
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
  void Update() override;
  void UpdateLayout(bool DropDisplayCopies = false);
  void LockPaint() override { ++FPaintLock; }
  int32_t UnlockPaint() override;
  int32_t UnlockPaintNoUpdate() override;
  int32_t GetPaintLock() const { return FPaintLock; }

  // ---- loading and playback hooks
  // Fills the entry's image from its deferred file name (a name ending in
  // "::" and digits names a frame, read through the file's frame reader).
  // False when the load failed: the entry then holds the placeholder of
  // DoWrongImage.  An entry with nothing to load from stays empty (true).
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

  // True when the entry's image can be had again after it is dropped.
  bool CanReload(const TIEMViewEntry* E) const;
  // Replaces the list by one entry per frame of the file, each naming its
  // frame by a deferred name (file name, "::", frame number); reads no image.
  void FillFromFileFrames(const std::string& FileName);
  // The frame reader of the file part of a deferred name, created on first
  // use; FrameNumber receives the frame named.
  TFolioIO* GetFrameReader(const std::string& Name, int32_t& FrameNumber);
  // Loads frame n of the reader's file into the reader's attached bitmap;
  // DelayMs receives the frame's display time.
  void LoadFrame(TFolioIO* Reader, int32_t n, int32_t& DelayMs);
  void FreeFrameReaders();
  int32_t GetFrameReaderCount() const { return static_cast<int32_t>(FFrameReaders.size()); }
  // Splits a deferred name into file and frame number: only a final "::"
  // followed by decimal digits names a frame, so file names that contain
  // "::" themselves stay whole.  False (File = Name, Frame = 0) otherwise.
  static bool SplitFrameName(const std::string& Name, std::string& File, int32_t& Frame);
  // Asks the background loader to load the entry; false when it cannot
  // (the caller then loads at once).
  virtual bool QueueImageLoad(int32_t Index, int32_t Priority);
  // Position of the entry in the waiting queue, -1 when it is not waiting.
  int32_t QueueIndexOf(int32_t Index);
  // Background loads started and not finished yet.
  int32_t GetRunningLoadCount();
  // Stores the results of finished background loads and starts waiting
  // ones (GUI thread; the finish message runs it).
  void CollectLoadJobs();

  // ---- playback
  // One frame step of playback (also run by the view's timer).
  void PlayNextFrame();
  int32_t GetShownFrame() const { return FFrameIndex; }
  // Milliseconds of the running frame timer, 0 when none runs.
  int32_t GetFrameTimerInterval() const { return FTimerInterval; }
  bool GetLoopPlayback() const { return FLoopPlayback; }
  void SetLoopPlayback(bool Value) { FLoopPlayback = Value; }

  // ---- scrolling and geometry
  int32_t GetScrollX() const { return FViewX; }
  int32_t GetScrollY() const { return FViewY; }
  void SetScrollX(int32_t X);
  void SetScrollY(int32_t Y);
  void SetScrollXY(int32_t X, int32_t Y);
  int32_t GetExtentX() const { return FExtentX; }
  int32_t GetExtentY() const { return FExtentY; }
  int32_t GetMaxScrollX() const;
  int32_t GetMaxScrollY() const;
  // Columns of the grid: GridWidth, or as many as fit for -1; 0 = one row.
  int32_t GetColumnCount() const;
  // The cell of the entry in content coordinates.
  TRect GetCellRect(int32_t Index) const;
  // 2 wholly inside the client area, 1 partly, 0 not at all or no such entry.
  int32_t ImageVisibility(int32_t Index) const;
  bool IsEntryOnScreen(int32_t Index) const;
  // The entry whose cell holds the client point, -1 for none.
  int32_t HitTestImage(int32_t X, int32_t Y) const;
  int32_t IndexOfCell(int32_t Row, int32_t Column) const;
  // Keyboard movement of the selection: 0 left, 1 right, 2 up, 3 down,
  // 4 home, 5 end, 6 page down, 7 page up.
  void MoveSelection(int32_t Direction);
  // Click selection at a client point; answers the multi-select mode before.
  bool SelectAtPos(int32_t X, int32_t Y, TShiftState Shift);
  // Paints the background and every visible cell into Bitmap (client size).
  virtual void PaintBackground(TBitmap* Bitmap);
  // Draws one cell.
  void DrawThumbnail(TBitmap* Bitmap, TIEMViewEntry* E, int32_t Index, bool Selected);
  // Draws Source scaled to Width x Height at (X, Y) of Dest, with rounded
  // corners of CornerSize (0: square) and the soft shadow when enabled;
  // ImageRect receives where the image lies inside the drawn picture, and
  // Copy, when given, the picture itself (the display copy).  The one place a
  // thumbnail's pixels are made: point it at another render path to change
  // how thumbnails look.
  virtual void RenderThumbnail(TIEBitmap* Source, TBitmap* Dest, int32_t X, int32_t Y, int32_t Width,
                               int32_t Height, int32_t CornerSize, TRect& ImageRect,
                               std::unique_ptr<TIEBitmap>* Copy);
  bool GetAllDisplayed() const { return FAllDisplayed; }
  TIEScrollBarParams& GetVScrollBarParams() { return FVScrollBarParams; }
  TIEScrollBarParams& GetHScrollBarParams() { return FHScrollBarParams; }

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
  const TFormPropertyTable& FormProperties() const override;

  bool GetDrawTexts() const { return FDrawTexts; }
  void SetDrawTexts(bool Value);
  int32_t GetUnloadMargin() const { return FUnloadMargin; }
  void SetUnloadMargin(int32_t Value) { FUnloadMargin = Value; }
  int32_t GetPreloadCount() const { return FPreloadCount; }
  void SetPreloadCount(int32_t Value) { FPreloadCount = Value; }
  int32_t GetSelectionWidthUnfocused() const { return FSelectionWidthUnfocused; }
  void SetSelectionWidthUnfocused(int32_t Value);
  bool GetSelectionRounded() const { return FSelectionRounded; }
  void SetSelectionRounded(bool Value);
  TColor GetHighlightBackColor() const { return FHighlightBackColor; }
  void SetHighlightBackColor(TColor Value);
  TColor GetHighlightTextColor() const { return FHighlightTextColor; }
  void SetHighlightTextColor(TColor Value);
  bool GetFillThumbnail() const { return FFillThumbnail; }
  void SetFillThumbnail(bool Value);
  int32_t GetCornerDivisor() const { return FCornerDivisor; }
  // Above 0: drawn pictures get rounded corners of min(w, h) / Value.
  void SetCornerDivisor(int32_t Value);
  // The thumbnails' shadow; call Update after changing it.
  TIEMViewSoftShadow& GetSoftShadow() { return FSoftShadow; }
  // Cell frames: with both set, each cell is drawn on the normal or selected
  // frame stretched to the cell, and its picture goes into Inner (cell
  // coordinates).  Copies are kept; nullptr removes a frame.
  void SetCellFrame(TIEBitmap* Normal, TIEBitmap* Selected, const TRect& Inner);
  TIEBitmap* GetCellFrame() const { return FCellFrame.get(); }
  TIEBitmap* GetCellFrameSelected() const { return FCellFrameSelected.get(); }
  TRect GetCellFrameInner() const { return FCellFrameInner; }
  // Loads rotate and flip images by their orientation tag.
  bool GetAutoOrient() const { return FAutoOrient; }
  void SetAutoOrient(bool Value) { FAutoOrient = Value; }
  // Thumbnail loads of cells up to 200 x 200 may take an embedded preview.
  bool GetPreferEmbeddedThumbs() const { return FPreferEmbeddedThumbs; }
  void SetPreferEmbeddedThumbs(bool Value) { FPreferEmbeddedThumbs = Value; }
  bool GetIconForUnreadable() const { return FIconForUnreadable; }
  void SetIconForUnreadable(bool Value) { FIconForUnreadable = Value; }

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
  TIEMProgressEvent OnDrawProgress;
  TIEImageDrawEvent OnBeforeImageDraw;
  TIEImageDrawExEvent OnBeforeImageDrawEx;
  TIEImageIDRequestEvent OnImageIDRequest;
  TIEImageIDRequestExEvent OnImageIDRequestEx;
  TIEImageDrawEvent OnImageDraw;
  TIEImageDraw2Event OnImageDraw2;
  TNotifyEvent OnAllDisplayed;
  TIEPlayFrameEvent OnPlayFrame;
  TIEWrongImageEvent OnWrongImage;
  // Asked whenever an entry's picture is fitted into its cell; unset, every
  // pixel is square.
  TIEImagePixelAspectEvent OnImagePixelAspect;
  // The aspect OnImagePixelAspect answers for the entry (1 without handler
  // or for an answer that is not a positive number).
  double GetImagePixelAspect(int32_t Index);
  TIEProgressEvent OnIOProgress;

  void Dispatch(TMessage& Message) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;

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
  // Background loading.
  void PruneLoadQueue();
  void StartLoadJobs();
  void FreeLoadJobs();
  int32_t IndexOfEntry(const TIEMViewEntry* E) const;
  void ComputeCellPositions();
  void UpdateScrollBars();
  void HandleScroll(bool Vertical, int32_t Code, int32_t ThumbPos);
  void SelectRangeTo(int32_t X, int32_t Y);
  int32_t ClientRowsPerPage() const;
  // Thumbnail hints of the I/O parameters before a load.
  void PrepareLoadParams(TFolioIO* IO);
  // The stored image or display copy drawn at (x, y): sizes m x o.
  void DrawEntryPicture(TBitmap* Bitmap, TIEMViewEntry* E, int32_t Left, int32_t Top, int32_t w,
                        int32_t AvailHeight, int32_t UpperGap, int32_t CornerSize, double Aspect, int32_t& x,
                        int32_t& y, int32_t& m, int32_t& o, bool& Drawn);
  // Runs a handler with the user-action flag set.
  template <typename F>
  void AsUser(F&& Fn) {
    const bool Was = FUserAction;
    FUserAction = true;
    try {
      Fn();
    } catch (...) {
      FUserAction = Was;
      throw;
    }
    FUserAction = Was;
  }

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

  // Layout and scrolling.
  int32_t FViewX = 0, FViewY = 0;
  int32_t FExtentX = 0, FExtentY = 0;
  double FHSVScale = 1.0, FVSVScale = 1.0;
  bool FInLayout = false;
  bool FAllDisplayed = false;
  bool FLayoutAfterPaint = false;
  TIEScrollBarParams FVScrollBarParams, FHScrollBarParams;
  int32_t FUserUpperGap = 0, FUserBottomGap = 0;
  bool FDrawTexts = true;
  int32_t FUnloadMargin = 15;
  int32_t FPreloadCount = 0;
  int32_t FSelectionWidthUnfocused = 1;
  bool FSelectionRounded = true;
  TColor FHighlightBackColor = clHighlight;
  TColor FHighlightTextColor = clHighlightText;
  bool FFillThumbnail = true;
  int32_t FCornerDivisor = 0;
  bool FIconForUnreadable = false;
  bool FAutoOrient = false;
  bool FPreferEmbeddedThumbs = true;
  TIEMViewSoftShadow FSoftShadow;
  std::unique_ptr<TIEBitmap> FCellFrame, FCellFrameSelected;
  TRect FCellFrameInner{0, 0, 0, 0};

  // Mouse and keyboard state.
  int32_t FAnchor = -1;
  bool FSelectionChanged = false;
  bool FMousePressed = false;
  TPoint FDownPos{0, 0};
  int32_t FDownViewX = 0, FDownViewY = 0;
  int32_t FDownIndex = -1, FLastIndex = -1;
  bool FRangeDone = false;
  bool FDoubleClickPending = false;

  // Playback.
  int32_t FFrameIndex = 0;
  TIEMDisplayMode FSavedDisplayMode = mdGrid;
  int32_t FSavedSelectedIndex = -1;
  int32_t FTimerInterval = 0;
  bool FPlayGuard = false;
  bool FLoopPlayback = true;

  // Background loading: waiting entries (first starts next), running and
  // finished jobs, entries queued ahead of the visible ones.  Entries are
  // named by their records, so a queued load follows its entry through
  // inserts, moves and deletes.
  std::vector<TIEMViewEntry*> FLoadQueue;
  std::vector<std::unique_ptr<TIEMViewLoadJob>> FLoadJobs;
  std::vector<TIEMViewEntry*> FLookAhead;

  // Frame readers of multi-frame files named by deferred names.
  std::vector<std::unique_ptr<TIEMViewFrameReader>> FFrameReaders;

  TIEStoreType FStoreType = ietNormal;
  int32_t FThumbWidth = 100;
  int32_t FThumbHeight = 100;
  int32_t FHorizBorder = 4;
  int32_t FVertBorder = 4;
  int32_t FUpperGap = 0;
  int32_t FBottomGap = 0;
  int32_t FGridWidth = 0;
  int32_t FImageCacheSize = 10;
  int64_t FImageCacheMemory = 0;
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

// A page reduced to Width x Height the way the store reduces it: 1-bit pages
// to 24-bit gray by averaging, 24-bit images filtered (plain stretched with
// rfNone), other formats stretched in their own format.
std::unique_ptr<TIEBitmap> IEMViewMakeReduced(TIEBitmap* Source, int32_t Width, int32_t Height,
                                              TResampleFilter Filter);

// Makes "TFolioMView" creatable by form resources (also done when the unit is
// linked in).
void IERegisterFolioMViewClass();
