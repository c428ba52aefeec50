#pragma once
// TFolioView: the control that shows one image (the page being edited, a
// dialog's preview).
//
// The image is a stack of layers (views/layers.h); layer 0 wraps the view's
// own TIEBitmap and the view's image is always the current layer's bitmap.
// The view zooms (percent per axis), scrolls in extent pixels (pixels of the
// zoomed image), centres an image smaller than its client area, and converts
// client and bitmap coordinates into each other through zoom tables, so what
// is painted and what the mouse hits agree pixel for pixel.
//
// The sources are split by topic: folio_view.cpp (image, zoom, scrolling,
// update cycle), folio_view_paint.cpp (back buffer, background, layer
// composition), folio_view_select.cpp (selections, mouse, keys, animation),
// folio_view_layers.cpp (layer operations and the layer stream).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundations/progress.h"
#include "foundations/render_types.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"
#include "views/view_base.h"
#include "views/window_helpers.h"

class TFolioIO;
class TFolioProc;
class TIELayer;
class TIEMask;
class TPicture;
class TFolioView;

// Change 0 scroll, 1 zoom.
using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
// Change 0 horizontal scroll, 1 vertical scroll, 2 zoom, with the value asked.
using TViewChangingEvent = std::function<void(TObject* Sender, int32_t Change, double newValue)>;
using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TIESpecialKeyEvent = std::function<void(TObject* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;
using TIEVirtualKeyEvent = std::function<void(TObject* Sender, uint16_t VirtualKey, uint32_t KeyData, bool KeyDown)>;
using TIEOnDrawCanvas = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect)>;
using TIEOnDrawBackground = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;

enum TIEBackgroundStyle : uint8_t {
  iebsSolid, iebsHorizontal, iebsVertical, iebsFDiagonal, iebsBDiagonal, iebsCross, iebsDiagCross,
  iebsChessboard, iebsDiagonals, iebsCropped, iebsCropShadow, iebsGradient, iebsSoftShadow, iebsPhotoLike
};
enum TIEWallPaperStyle : uint8_t { iewoNormal, iewoStretch, iewoTile };

// Mouse interaction items, bit n for the n-th value.
enum TIEMouseInteractItems : uint8_t {
  miZoom, miScroll, miSelect, miSelectPolygon, miSelectCircle, miSelectZoom, miSelectMagicWand,
  miSelectLasso, miMoveLayers, miResizeLayers, miRotateLayers, miMovingScroll
};
using TIEMouseInteract = uint16_t;
constexpr TIEMouseInteract IEMI(TIEMouseInteractItems Item) { return TIEMouseInteract(1u << Item); }

// Selection options, bit n for the n-th value.
enum TIESelectionOption : uint8_t {
  iesoAnimated, iesoSizeable, iesoMoveable, iesoFilled, iesoCutBorders, iesoMarkOuter, iesoCanScroll,
  iesoSelectTranspLayers, iesoRightButtonSelectLayers, iesoRightButtonTerminatePolySelect
};
using TIESelectionOptions = uint16_t;
constexpr TIESelectionOptions IESO(TIESelectionOption Option) { return TIESelectionOptions(1u << Option); }
constexpr TIESelectionOptions IEDefaultSelectionOptions = 71;

enum TIESelectionBase : uint8_t { iesbClientArea, iesbBitmap };
enum TIEGrip : uint8_t {
  ieNone, ieTopLeft, ieTopRight, ieBottomRight, ieBottomLeft, ieLeftSide, ieRightSide, ieTopSide, ieBottomSide,
  ieRotationCenter
};
enum TIELayerEvent : uint8_t {
  ielSelected, ielMoved, ielResized, ielMoving, ielResizing, ielRotating, ielRotated, ielBeginResizing,
  ielBeginMoving
};
using TIELayerNotify = std::function<void(TObject* Sender, int32_t layer, TIELayerEvent event)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIESetCursorEvent = std::function<void(TObject* Sender, TCursor& Cursor)>;

// The view cursors: numbers of the screen's cursor table.
constexpr TCursor IECursorFirst = 1778;
constexpr TCursor IECursorLast = 1814;
constexpr TCursor IECursorDefault = 1785;
// Window timer of the selection animation.
constexpr uintptr_t IEAnimationTimerId = 0x4E53;

// One selection polygon, in bitmap coordinates; a point (IESelBreak,
// IESelBreak) separates sub-polygons.
constexpr int32_t IESelBreak = 0xFFFFF;
struct TIESelectionPolygon {
  std::vector<TPoint> Points;
  TColor Color1 = 0;
  TColor Color2 = 0xFFFFFF;
  bool Animated = true;
  int32_t Phase = 0;
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool Visible = false;
  bool Sizeable = true;
  int32_t Count() const { return int32_t(Points.size()); }
  void Add(int32_t X, int32_t Y);
  void AddBreak() { Points.push_back(TPoint{IESelBreak, IESelBreak}); }
  void Clear() { Points.clear(); X1 = Y1 = X2 = Y2 = 0; }
  void UpdateBox();
  // Four points forming an axis-parallel rectangle.
  bool IsRectangle() const;
};

// The free background painter shared by the image views: Style over the
// area (Left, Top, Width, Height) of Canvas (Target: the canvas's 24- or
// 32-bit bitmap when there is one), around the image rectangle ImageRect
// (empty when there is no image), then the wallpaper.
void IEDrawBackground(bool Designing, TCanvas* Canvas, TBitmap* Target, TIEBackgroundStyle Style, TColor Color,
                      int32_t Left, int32_t Top, int32_t Width, int32_t Height, const TRect& ImageRect,
                      int32_t ChessboardSize, TBrushStyle ChessboardBrushStyle, TColor GradientEndColor,
                      TPicture* WallPaper, TIEWallPaperStyle WallPaperStyle);

class TFolioView : public TIEView {
 public:
  explicit TFolioView(TComponent* AOwner);
  ~TFolioView() override;

  // ================================================= image
  TIEBitmap* GetIEBitmap() const { return FIEBitmap; }
  // Copies Bitmap into the view's image (nothing for nullptr), then updates.
  void SetIEBitmap(TIEBitmap* Bitmap);
  // The legacy platform bitmap (nullptr when LegacyBitmap is off).
  TBitmap* GetBitmap() const { return FBitmap; }
  TBitmap* GetViewBitmap() override { return FBitmap; }
  TIEBitmap* GetViewIEBitmap() override { return FIEBitmap; }
  // nullptr: Clear; another view: its image, Background and resolutions; a
  // platform bitmap: its pixels (converted to 24-bit unless 1- or 24-bit).
  void Assign(TPersistent* Source) override;
  void Assign(TFolioView* Source);
  void Assign(TBitmap* Source);
  void Assign(TIEBitmap* Source) { SetIEBitmap(Source); }
  void Clear();
  void Blank();
  virtual bool IsEmptyImage();
  virtual void DoImageChange() override;
  TFolioIO* GetIO();
  TFolioProc* GetProc();
  bool HasIO() const { return FIO != nullptr; }
  bool HasProc() const { return FProc != nullptr; }
  // The image size every geometry uses (layer 0's bitmap).
  int32_t GetIEBitmapWidth() const { return FBitmapWidth; }
  int32_t GetIEBitmapHeight() const { return FBitmapHeight; }

  // ---- TIEView
  TIEBitmap* GetAlphaChannel() override;
  bool GetHasAlphaChannel() override;
  void RemoveAlphaChannel(bool Merge) override;
  void LockPaint() override;
  int32_t UnlockPaint() override;
  int32_t UnlockPaintNoUpdate() override;
  int32_t GetPaintLock() const { return FPaintLock; }
  void SetBackground(TColor Value) override;
  void SetDpiX(int32_t Value) override;
  void SetDpiY(int32_t Value) override;

  // ================================================= zoom
  double GetZoom() const { return FZoomX; }
  double GetZoomX() const { return FZoomX; }
  double GetZoomY() const { return FZoomY; }
  void SetZoom(double Value);
  void SetZoomX(double Value);
  void SetZoomY(double Value);
  // The shape of one image pixel on paper: its height over its width, which
  // is the horizontal resolution over the vertical one (2.08 for a 204 x 98
  // DPI fax page).  Every zoom that names one value (SetZoom, ZoomAt, the
  // fits, the wheel, zoom clicks) sets the horizontal zoom to it and the
  // vertical zoom to it times this, so the image is shown at its true shape.
  // 1, the default, is square pixels; values of 0 or less are ignored.
  double GetPixelAspect() const { return FPixelAspect; }
  void SetPixelAspect(double Value);
  void ZoomAt(int32_t x, int32_t y, double ZoomVal, bool Center = false);
  // The zoom for the next step up or down: +-100 at 100 % and above (200 %
  // for down), else the steps 2, 5, 10, 25, 33, 50, 75, 100.
  static double ZoomInStep(double Zoom);
  static double ZoomOutStep(double Zoom);
  // One step in or out keeping the view centre (OnZoomIn/OnZoomOut may change
  // the new zoom).
  void ZoomIn();
  void ZoomOut();
  double GetFitZoom();
  void GetFitZoomXY(double& ZoomX, double& ZoomY);
  void Fit();
  void FitToWidth();
  void FitToHeight();
  void ZoomSelection();

  // ================================================= scrolling
  int32_t GetViewX() const { return FViewX; }
  int32_t GetViewY() const { return FViewY; }
  void SetViewX(int32_t Value) { ScrollToX(Value); }
  void SetViewY(int32_t Value) { ScrollToY(Value); }
  void ScrollTo(int32_t x, int32_t y);
  void ScrollToX(int32_t Value);
  void ScrollToY(int32_t Value);
  void GetMaxViewXY(int32_t& MaxX, int32_t& MaxY);
  bool IsScrollable();
  void SmoothScrollTo(int32_t x, int32_t y);
  bool IsSmoothScrolling() const { return FSmoothTimer; }
  // Links an overview view that shows this view's image small with the
  // visible part selected; dragging that selection scrolls this view.
  // Options bit 0: the navigator's wheel zooms this view; bit 1: the
  // navigator darkens what lies outside its selection.  nullptr unlinks.
  void SetNavigator(TFolioView* Navigator, uint8_t Options = 0);
  TFolioView* GetNavigator() const { return FNavigator; }
  int32_t GetOffsetX() const { return FOffsetX; }
  int32_t GetOffsetY() const { return FOffsetY; }
  int32_t GetExtentX() const { return FExtentX; }
  int32_t GetExtentY() const { return FExtentY; }
  // The view size: the client size with a parent and a window, else 50.
  virtual int32_t GetViewWidth();
  virtual int32_t GetViewHeight();
  virtual bool HasParentWindow();

  // ================================================= coordinates
  int32_t BitmapToScreenX(int32_t x);
  int32_t BitmapToScreenY(int32_t y);
  int32_t ScreenToBitmapX(int32_t x);
  int32_t ScreenToBitmapY(int32_t y);
  void GetRenderRectangles(int32_t& xDst, int32_t& yDst, int32_t& dxDst, int32_t& dyDst, int32_t& xSrc,
                           int32_t& ySrc, int32_t& dxSrc, int32_t& dySrc);
  // The visible area: first visible bitmap column/row, its size in bitmap
  // pixels, and the size it covers on screen.
  int32_t GetVisibleOriginX() const { return FVisOX; }
  int32_t GetVisibleOriginY() const { return FVisOY; }
  int32_t GetVisibleWidth() const { return FVisOW; }
  int32_t GetVisibleHeight() const { return FVisOH; }
  int32_t GetCoveredWidth() const { return FVisSW; }
  int32_t GetCoveredHeight() const { return FVisSH; }

  // ================================================= update
  void Update() override;
  void LockUpdate() { ++FUpdateLock; }
  void UnlockUpdate();
  void ReleaseUpdateLock() {
    if (FUpdateLock > 0) --FUpdateLock;
  }
  int32_t GetUpdateReason() const { return FUpdateReason; }

  // ================================================= properties
  bool GetCenter() const { return FCenter; }
  void SetCenter(bool Value);
  TScrollStyle GetScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool GetFlatScrollBars() const { return FFlatScrollBars; }
  void SetFlatScrollBars(bool Value);
  bool GetAutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value);
  bool GetAutoStretch() const { return FAutoStretch; }
  void SetAutoStretch(bool Value);
  bool GetAutoShrink() const { return FAutoShrink; }
  void SetAutoShrink(bool Value);
  bool GetLegacyBitmap() const { return FLegacyBitmap; }
  virtual void SetLegacyBitmap(bool Value);
  void SetCursor(TCursor Value) override;
  void SetTempCursor(TCursor Value);
  void RestoreCursor();
  TIEScrollBarParams& GetHScrollBarParams() { return FHScrollBarParams; }
  TIEScrollBarParams& GetVScrollBarParams() { return FVScrollBarParams; }
  TIEMouseWheelParams& GetMouseWheelParams() { return FMouseWheelParams; }
  std::string GetFolioVersion() const { return "3.1.2"; }
  void SetFolioVersion(const std::string&) {}
  TIEProgressEvent GetOnProgress() const { return FOnProgress; }
  virtual void SetOnProgress(TIEProgressEvent Value);
  TNotifyEvent GetOnFinishWork() const { return FOnFinishWork; }
  virtual void SetOnFinishWork(TNotifyEvent Value);
  void SetOnSaveUndo(std::function<void(TObject*, uint8_t)> Value);

  // ================================================= painting
  TResampleFilter GetZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  bool GetDelayZoomFilter() const { return FDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
  TIEBackgroundStyle GetBackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TIEBackgroundStyle Value);
  TPicture* GetWallPaper() const { return FWallPaper.get(); }
  void SetWallPaper(TPicture* Value);
  TIEWallPaperStyle GetWallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TIEWallPaperStyle Value);
  bool GetEnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  bool GetDrawVersion() const { return FDrawVersion; }
  void SetDrawVersion(bool Value);
  bool GetEnableInteractionHints() const { return FEnableInteractionHints; }
  void SetEnableInteractionHints(bool Value) { FEnableInteractionHints = Value; }
  bool GetDoubleBuffer() const { return FDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { FDoubleBuffer = Value; }
  void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
  void SetGradientEndColor(TColor Value) { FGradientEndColor = Value; }
  void SetInteractionHint(const std::string& Text, int32_t x, const std::string& Text2, int32_t y);
  // Composes the view into Dest (ie24RGB, rows addressable).
  virtual void PaintToBitmap(TIEBitmap* Dest, bool DrawOverlays, bool DrawBackground, const TRect* Clip);
  // Recomposes (when dirty) and copies the rectangle of the back buffer to the
  // front buffer.
  void DrawBackBuffer(const TRect& R);
  TBitmap* GetBackBufferBitmap();
  TIEBitmap* GetBackBuffer() const { return FBackBuffer.get(); }
  void DrawBackgroundTo(TCanvas* Canvas);
  void InvalidateRectangle(const TRect& R);
  // Paints the front buffer now (composition when dirty) and shows it.
  void Paint() override;
  void PaintNow();
  // The update cycle, then the paint at once.
  void Repaint() override {
    Update();
    PaintNow();
  }

  // ================================================= layers (folio_view_layers.cpp)
  int32_t GetLayerCount() override { return int32_t(FLayers.size()); }
  TIELayer* GetLayer(int32_t Index) const;
  TIELayer* GetCurrentLayer() const { return GetLayer(FLayersCurrent); }
  int32_t GetCurrentLayerIndex() override { return FLayersCurrent; }
  TIEBitmap* GetLayerBitmap(int32_t Index) override;
  virtual void SetCurrentLayer(int32_t Index);
  int32_t AddLayer();
  int32_t AddLayer(TIEBitmap* Bitmap, bool Share);
  void RemoveLayer(int32_t Index);
  void ClearLayers();
  void SyncLayerBitmaps();
  void FlattenLayers();
  void RenderLayersToBitmap(TIEBitmap* Dest);
  void SetExternalBitmap(TIEBitmap* Bitmap);
  bool GetLayersSync() const { return FLayersSync; }
  void SetLayersSync(bool Value);
  bool GetLayersRestrict() const { return FLayersRestrict; }
  void SetLayersRestrict(bool Value) { FLayersRestrict = Value; }
  virtual void DoLayerNotify(int32_t layer, TIELayerEvent event);
  // The layer stream: Format -1 raw compressed, -2 raw, else a file-format id.
  bool SaveLayersToStream(TStream& Stream, int32_t Format = -1);
  bool LoadLayersFromStream(TStream& Stream);
  bool LoadLayersFromFile(const std::string& FileName);
  bool SaveLayersToFile(const std::string& FileName, int32_t Format = -1);
  void SaveLayerRecord(int32_t Index, TStream& Stream, bool WithBitmap) override;
  void LoadLayerRecord(int32_t Index, TStream& Stream) override;
  int32_t FindLayerById(const uint8_t* Id16) override;
  // The topmost layer under the client point; -1 when none.
  int32_t FindLayerAt(int32_t x, int32_t y, bool SelectableOnly = true);
  void BakeLayerRotations(int32_t Index = -1);
  // The grip (1..9, 0 none) of the current layer under the client point.
  int32_t GetLayerGripAt(int32_t x, int32_t y);
  // Aspect kept while resizing layers: 0 never, 1 with Alt (or Shift), 2
  // always, 3 corner grips only.
  int32_t GetLayersResizeAspect() const { return FLayersResizeAspect; }
  void SetLayersResizeAspect(int32_t Value) { FLayersResizeAspect = Value; }

  // ================================================= selection (folio_view_select.cpp)
  TIEMouseInteract GetMouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TIEMouseInteract Value);
  TIESelectionOptions GetSelectionOptions() const { return FSelectionOptions; }
  void SetSelectionOptions(TIESelectionOptions Value);
  TIESelectionBase GetSelectionBase() const { return FSelectionBase; }
  void SetSelectionBase(TIESelectionBase Value) { FSelectionBase = Value; }
  TIEMask* GetSelectionMask() override { return FMask.get(); }
  bool GetHasSelection() override { return FHasSelection; }
  bool GetSelected() const { return FHasSelection; }
  virtual void Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Op = 0);
  virtual void AddSelectPoint(int32_t x, int32_t y);
  virtual void EndSelect();
  void Deselect();
  void InvertSelection();
  void SelectEllipse(int32_t CenterX, int32_t CenterY, int32_t Width, int32_t Height, int32_t Op = 0);
  int32_t GetSelectionLeft();
  int32_t GetSelectionTop();
  int32_t GetSelectionRight();
  int32_t GetSelectionBottom();
  const TPoint* GetPolySelectionPoints() const;
  int32_t GetPolySelectionCount() const;
  void SetSelectionGripStyle(TColor PenColor, TColor BrushColor, TBrushStyle BrushStyle, int32_t Size,
                             bool ExtendedGrips, int32_t Shape = 1);
  double GetSelectionAspectRatio() const { return FSelectionAspectRatio; }
  void SetSelectionAspectRatio(double Value);
  void SetFixedSelectionSize(int32_t Width, int32_t Height) { FFixedSelW = Width; FFixedSelH = Height; }
  void CopySelectionToIEBitmap(TIEBitmap* Dest, bool FillBackground = true);
  void CopySelectionTo(TObject* Dest);
  bool SaveSelectionToStream(TStream& Stream) override;
  void LoadSelectionFromStream(TStream& Stream, int32_t Mode) override;
  void SaveSelection();
  bool RestoreSelection(bool Drop = true, int32_t Mode = 0);
  int32_t GetSavedSelectionCount() const { return int32_t(FSavedSelections.size()); }
  virtual void ShiftSelectionPoints(int32_t dx, int32_t dy);
  bool AutoScrollWhileDragging();
  virtual void PaintGrid(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void SetGrid(int32_t Value) { FGridLines = Value; }
  // Magic wand: tolerance, tolerance mode and wand mode (0 outline, 1
  // connected fill, 2 all similar colours).
  int32_t GetMagicWandTolerance() const { return FMagicWandTolerance; }
  void SetMagicWandTolerance(int32_t Value) { FMagicWandTolerance = Value; }
  int32_t GetMagicWandMode() const { return FMagicWandMode; }
  void SetMagicWandMode(int32_t Value) { FMagicWandMode = Value; }
  int32_t GetMagicWandToleranceMode() const { return FMagicWandTolMode; }
  void SetMagicWandToleranceMode(int32_t Value) { FMagicWandTolMode = Value; }
  void MagicWandAt(int32_t x, int32_t y, bool Add);
  double GetMouseScrollRate() const { return FMouseScrollRate; }
  void SetMouseScrollRate(double Value) { FMouseScrollRate = Value; }
  bool GetShiftAdds() const { return FShiftAdds; }
  void SetShiftAdds(bool Value) { FShiftAdds = Value; }
  // Draws the selection outlines once (the animation timer's step).
  void DrawSelectionPolygons(bool FromTimer);
  int32_t GetAnimationCounter() const { return FAnimCounter; }
  bool IsAnimationRunning() const { return FAnimTimer; }
  const TIESelectionPolygon& GetMainPolygon() const { return FPolygon; }
  TCursor GetBaseCursor() const { return FBaseCursor; }
  TCursor GetShownCursor() const { return FShownCursor; }

  // ================================================= events
  TViewChangeEvent OnViewChange;
  TViewChangingEvent OnViewChanging;
  TIEZoomEvent OnZoomIn;
  TIEZoomEvent OnZoomOut;
  TNotifyEvent OnImageChange;
  TNotifyEvent OnDShowNewFrame;
  TNotifyEvent OnDShowEvent;
  TIESpecialKeyEvent OnSpecialKey;
  TIEVirtualKeyEvent OnVirtualKey;
  TNotifyEvent OnPaint;
  TNotifyEvent OnDrawBackBuffer;
  TIEOnDrawCanvas OnDrawCanvas;
  TIEOnDrawBackground OnDrawBackground;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnBeforeSelectionChange;
  TNotifyEvent OnMouseInSel;
  TIEMouseInResizingGripEvent OnMouseInResizingGrip;
  TIELayerNotify OnLayerNotify;
  TIESetCursorEvent OnSetCursor;

  void Dispatch(TMessage& Message) override;
  const TFormPropertyTable& FormProperties() const override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  virtual void DoViewChange(int32_t Change);
  virtual void DoViewChanging(int32_t Change, double newValue);
  virtual void PrepareZoomTables();
  virtual void ComputeVisibleArea();
  virtual void ComputeExtents();
  void ApplyZoomAxes(std::optional<double> ZoomX, std::optional<double> ZoomY);
  int32_t FrameMargin(int32_t Otherwise) const;
  void FitSide(bool Width);
  virtual void ApplyZoom(double Zoom);
  virtual void ApplyZoomX(double Zoom);
  virtual void ApplyZoomY(double Zoom);
  void SetAxisZoom(double Value, double Current, void (TFolioView::*Apply)(double));
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;

  // Scroll offset snapped to the first extent column of its bitmap pixel.
  int32_t SnappedViewX();
  int32_t SnappedViewY();
  void SetZoomFactors();
  void UpdateScrollBarsState();
  void HandleScroll(bool Vertical, int32_t Code, int32_t ThumbPos);
  void ArmCountdowns(bool ZoomWasNot100);
  void AutoZoom();
  void SmoothScrollStep();
  void StopSmoothScroll();
  void RunWheel(TShiftState Shift, int32_t WheelDelta, TPoint ClientPos, const TIEMouseWheelParams& P);
  void AnimationTick();
  void UpdateAnimationTimer();
  void DrawLayerOverlays(TIEBitmap* Dest, TIELayer* Layer, int32_t Index);
  TRect LayerGripRect(TIELayer* Layer, int32_t Grip);
  void PaintBackgroundInto(TIEBitmap* Dest, const TRect* Clip, bool Forced);

  // ---- image
  TIEBitmap* FIEBitmap = nullptr;  // the current layer's bitmap
  TBitmap* FBitmap = nullptr;      // its platform bitmap while LegacyBitmap
  std::vector<std::unique_ptr<TIELayer>> FLayers;
  int32_t FLayersCurrent = 0;
  bool FLayersSync = false;
  bool FLayersRestrict = true;
  int32_t FLayersFreeCacheIndex = -1;
  int32_t FLayersResizeAspect = 1;
  bool FLegacyBitmap = true;
  int32_t FBitmapWidth = 0, FBitmapHeight = 0;
  int32_t FLastBitmapWidth = -1, FLastBitmapHeight = -1;
  std::unique_ptr<TFolioIO> FIO;
  std::unique_ptr<TFolioProc> FProc;
  TIEProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;
  std::function<void(TObject*, uint8_t)> FOnSaveUndo;

  // ---- geometry
  double FZoomX = 100, FZoomY = 100;
  double FPixelAspect = 1;
  double FZoomD100X = 1, FZoomD100Y = 1, FZoom100X = 1, FZoom100Y = 1;
  int32_t FViewX = 0, FViewY = 0;
  int32_t FOffsetX = 0, FOffsetY = 0;
  int32_t FExtentX = 0, FExtentY = 0;
  int32_t FDrawnW = 0, FDrawnH = 0;
  int32_t FVisOX = 0, FVisOY = 0, FVisOW = 0, FVisOH = 0, FVisSW = 0, FVisSH = 0;
  // Zoom tables: screen-to-bitmap and bitmap-to-screen per axis, the values
  // they were built for, and the working windows into them.
  std::vector<int32_t> FS2BX, FS2BY, FB2SX, FB2SY;
  double FTabZoomX = -1, FTabZoomY = -1;
  int32_t FTabSW = -1, FTabSH = -1, FTabImgW = -1, FTabImgH = -1;
  int32_t FS2BXOrg = 0, FS2BYOrg = 0, FB2SXOrg = 0, FB2SYOrg = 0;
  int32_t FPaintLock = 0;
  int32_t FUpdateLock = 0;
  int32_t FUpdateReason = 0;
  bool FUpdating = false;
  int32_t FUpdateDepth = 0;
  double FHSVScale = 1, FVSVScale = 1;
  bool FHSBVisible = false, FVSBVisible = false;
  bool FCenter = true;
  TScrollStyle FScrollBars = ssBoth;
  bool FFlatScrollBars = false;
  bool FAutoFit = false, FAutoStretch = false, FAutoShrink = false;
  TIEScrollBarParams FHScrollBarParams, FVScrollBarParams;
  TIEMouseWheelParams FMouseWheelParams;
  bool FSmoothTimer = false;
  int32_t FSmoothTargetX = 0, FSmoothTargetY = 0;

  // ---- painting
  std::unique_ptr<TIEBitmap> FBackBuffer;
  bool FBackBufferDirty = true;
  bool FWholeArea = true;
  std::vector<int32_t> FPaintXTable, FPaintYTable;
  std::vector<uint8_t*> FPaintRows;
  TResampleFilter FZoomFilter = rfNone;
  bool FDelayZoomFilter = false;
  int32_t FDelayCountdown = 0;
  int32_t FOutlineCountdown = 0;
  TIEBackgroundStyle FBackgroundStyle = iebsSolid;
  TColor FGradientEndColor = 0xFF0000;
  int32_t FChessboardSize = 16;
  TBrushStyle FChessboardBrushStyle = bsSolid;
  std::unique_ptr<TPicture> FWallPaper;
  TIEWallPaperStyle FWallPaperStyle = iewoNormal;
  bool FDoubleBuffer = true;
  bool FEnableAlphaChannel = true;
  bool FDrawVersion = false;
  bool FEnableInteractionHints = true;
  std::string FHintText, FHintText2;
  int32_t FHintX = 0, FHintY = 0;
  bool FFirstPaintDone = false;

  // ---- selection and mouse
  TIEMouseInteract FMouseInteract = 0;
  TIESelectionOptions FSelectionOptions = IEDefaultSelectionOptions;
  TIESelectionBase FSelectionBase = iesbClientArea;
  std::unique_ptr<TIEMask> FMask;
  TIESelectionPolygon FPolygon;
  bool FHasSelection = false;
  std::vector<std::unique_ptr<TMemoryStream>> FSavedSelections;
  double FSelectionAspectRatio = -1;
  int32_t FFixedSelW = 100, FFixedSelH = 100;
  TColor FGripPenColor = 0, FGripBrushColor = 0xFFFFBA;
  TBrushStyle FGripBrushStyle = bsSolid;
  int32_t FGripSize = 5;
  bool FExtendedGrips = true;
  int32_t FGripShape = 1;
  int32_t FGridLines = 1;
  bool FShiftAdds = true;
  int32_t FMagicWandTolerance = 15, FMagicWandTolMode = 0, FMagicWandMode = 0;
  double FMouseScrollRate = 1.0;
  TCursor FBaseCursor = IECursorDefault;
  TCursor FShownCursor = IECursorDefault;
  bool FAnimTimer = false;
  int32_t FAnimCounter = 0;
  uint32_t FAnimInterval = 210;
  // Drag state.
  enum TDrag : uint8_t { dNone, dRect, dCircle, dPoly, dGrip, dMoveSel, dScroll, dLayerMove, dLayerResize,
                         dLayerRotate, dLayerCenter };
  TDrag FDrag = dNone;
  bool FPolyDrawing = false;  // a polygon (or lasso) being drawn
  bool FLasso = false;
  bool FMouseDown = false;
  TMouseButton FDownButton = mbLeft;
  TShiftState FDownShift = 0;
  TPoint FDownRaw{0, 0}, FDownClamped{0, 0}, FLastPoint{0, 0}, FPrevPoint{0, 0};
  int32_t FDownViewX = 0, FDownViewY = 0;
  int32_t FDownPolyCount = 0;
  bool FDownAdd = false;
  bool FMoved = false;
  int32_t FGrip = 0;
  TRect FGripBox{0, 0, 0, 0};
  double FGripAspect = 1;
  TResampleFilter FSavedZoomFilter = rfNone;
  TIESelectionBase FSavedSelectionBase = iesbClientArea;
  bool FSelectionChanged = false;
  TPoint FRubberEnd{0, 0};
  bool FRubberShown = false;
  double FRotateStart = 0, FRotateAcc = 0;
  TRect FLayerBox{0, 0, 0, 0};
  double FLayerAspect = 1;
  bool FDestroying = false;
  bool FRenderingLayers = false;
  // Navigator link: the overview this view drives, or the view this one
  // navigates for.
  TFolioView* FNavigator = nullptr;
  TFolioView* FNavigated = nullptr;
  uint8_t FNavigatorOptions = 0;
  bool FNavigatorInside = false;
  void SyncNavigator();
  bool FBackgroundSkipImage = false;
  // The filtered picture of the visible area of layer 0 (view path), kept
  // between paints until the next update cycle or a change of what it shows.
  struct TFilterCache {
    std::unique_ptr<TIEBitmap> Picture;
    TIEBitmap* Source = nullptr;
    int32_t SrcW = 0, SrcH = 0, sx = 0, sy = 0, sw = 0, sh = 0, dw = 0, dh = 0;
    TResampleFilter Filter = rfNone;
  } FFilterCache;
  int32_t FLayerStreamDepth = 0;
  bool FConstrain = false;
};

// Registers TFolioView and TFolioVect with the form reader's class table.
void IERegisterFolioViewClasses();
