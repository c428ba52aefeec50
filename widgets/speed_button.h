#pragma once
// The speed button: a window-less push button with a glyph and a caption.
// It can be flat with hot tracking, latch down as one of a group of buttons
// (same GroupIndex on one parent), repeat its click while held and drop
// down a popup menu. The glyph object lays out image and caption and builds
// the per-state images (disabled, grayed inactive) once, keeping them in
// image lists shared by every glyph of the same image size.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/menus.h"
#include "widgets/control_base.h"
#include "widgets/hot_track.h"
#include "widgets/xp_button.h"

// The drawing state; the values index the glyph's state images and the
// side-by-side images of a glyph bitmap.
enum TOxSpeedButtonState : uint8_t { sbsUp, sbsDisabled, sbsDown, sbsExclusive, sbsInactive };
enum TButtonStyle : uint8_t { bsAutoDetect, bsWin31, bsNew };
enum TOxDropDownMenuPos : uint8_t { dmpBottom, dmpRight };

// The notification a button sends its siblings when it goes down in a group.
constexpr uint32_t CM_OXBUTTONPRESSED = 0xB201;

// DrawText alignment flags.
constexpr uint32_t kDTLeft = 0x0, kDTCenter = 0x1, kDTRight = 0x2;

// Each RGB channel of Color raised (lowered) by 64, within 0..255.
TColor LighterColor(TColor Color);
TColor DarkerColor(TColor Color);
// One-pixel 3-D frame: TopLeft on the top and left side, BottomRight on the
// others; the rectangle shrinks by 1.
void Frame3DOnce(TCanvas* Canvas, TRect& Rect, TColor TopLeft, TColor BottomRight);
// The bevel of a button face; answers the rectangle inside it.
TRect DrawBevelFrame(TCanvas* Canvas, const TRect& Client, bool IsDown, bool IsFlat, TButtonStyle Style, TColor Face);

// Same-size images with their mask colours; slots are reused after release.
class TOxGlyphList {
 public:
  TOxGlyphList(int32_t AWidth, int32_t AHeight) : FWidth(AWidth), FHeight(AHeight) {}
  int32_t GetWidth() const { return FWidth; }
  int32_t GetHeight() const { return FHeight; }
  int32_t GetUsedCount() const { return FUsedCount; }
  int32_t GetCount() const { return static_cast<int32_t>(FImages.size()); }
  int32_t AcquireSlot();
  int32_t StoreMaskedImage(TBitmap* Image, TColor MaskColor);
  void FreeSlot(int32_t Index);
  void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index) const;

 private:
  int32_t FWidth, FHeight;
  std::vector<bool> FUsedSlots;
  int32_t FUsedCount = 0;
  std::vector<std::unique_ptr<TBitmap>> FImages;
  std::vector<TColor> FMasks;
};

class TOxGlyphCache {
 public:
  TOxGlyphList* ListForSize(int32_t Width, int32_t Height);
  // Frees List when nothing uses it any more.
  void ReleaseList(TOxGlyphList* List);
  bool IsEmpty() const { return FLists.empty(); }
  int32_t ListCount() const { return static_cast<int32_t>(FLists.size()); }

 private:
  std::vector<std::unique_ptr<TOxGlyphList>> FLists;
};
// The process-wide cache (GUI thread only); nullptr while no glyph needs it.
TOxGlyphCache* SharedGlyphCache();

class TOxxButtonGlyph {
 public:
  TOxxButtonGlyph();
  ~TOxxButtonGlyph();

  TBitmap* GetGlyph() const { return FSourceBitmap.get(); }
  void SetGlyph(TBitmap* Value);
  uint8_t GetNumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(uint8_t Value);
  bool GetGrayNewStyle() const { return FGrayNewStyle; }
  void SetGrayNewStyle(bool Value);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value) { FAlignment = Value; }
  bool GetWordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value) { FWordWrap = Value; }
  TColor GetTransparentColor() const { return FTransparentColor; }

  // Draws image, caption and drop-down mark into Client shifted by Offset;
  // answers the caption rectangle.
  TRect Render(TCanvas* Canvas, const TRect& Client, TPoint Offset, std::string Caption, TButtonLayout Layout,
               int32_t Margin, int32_t Spacing, bool PopupMark, TOxSpeedButtonState State, uint32_t TextFlags);
  // Image position, caption rectangle and shortened caption of a layout.
  void ComputeLayout(TCanvas* Canvas, const TRect& Client, TPoint Offset, std::string& Caption,
                     TButtonLayout Layout, int32_t Margin, int32_t Spacing, bool PopupMark, uint32_t TextFlags,
                     TPoint& GlyphPos, TRect& TextBounds);
  // The slot of the state's image in the shared list, built on first need;
  // -1 without a usable glyph.
  int32_t BuildStateImage(TOxSpeedButtonState State);
  void ReleaseImages();
  TColor GrayPixel(TColor Color) const;
  void ShortenCaption(TCanvas* Canvas, std::string& Caption, int32_t MaxWidth) const;
  static void DrawDropArrow(TCanvas* Canvas, int32_t X, int32_t Y, TOxSpeedButtonState State);
  TOxGlyphList* SharedList() const { return FSharedList; }
  int32_t StateImage(TOxSpeedButtonState State) const { return FStateImages[State]; }

  TNotifyEvent OnChange;

 private:
  bool Usable() const;
  TSize DrawStateImage(TCanvas* Canvas, int32_t X, int32_t Y, TOxSpeedButtonState State);
  void DrawCaption(TCanvas* Canvas, const std::string& Caption, TRect TextBounds, TOxSpeedButtonState State,
                   uint32_t TextFlags);
  void SourceChanged();

  TAlignment FAlignment = taCenter;
  TOxGlyphList* FSharedList = nullptr;
  bool FGrayNewStyle = true;
  int32_t FStateImages[5] = {-1, -1, -1, -1, -1};
  uint8_t FNumGlyphs = 1;
  std::unique_ptr<TBitmap> FSourceBitmap;
  TColor FTransparentColor = clFuchsia;
  bool FWordWrap = false;
};

class TOxCustomSpeedButton : public TOxExGraphicControl, public IOxHotTrackSettings {
 public:
  explicit TOxCustomSpeedButton(TComponent* AOwner);
  ~TOxCustomSpeedButton() override;

  bool GetAllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value);
  bool GetAllowTimer() const { return FAllowTimer; }
  void SetAllowTimer(bool Value);
  bool GetDown() const { return FDown; }
  void SetDown(bool Value);
  bool GetDragging() const { return FDragging; }
  TPopupMenu* GetDropDownMenu() const { return FDropDownMenu; }
  void SetDropDownMenu(TPopupMenu* Value);
  bool GetFlat() const { return FFlat; }
  void SetFlat(bool Value);
  int32_t GetGroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t Value);
  bool GetGrayedInactive() const { return FGrayedInactive; }
  void SetGrayedInactive(bool Value);
  uint16_t GetInitPause() const { return FInitPause; }
  void SetInitPause(uint16_t Value) { FInitPause = Value; }
  TButtonLayout GetLayout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t GetMargin() const { return FMargin; }
  void SetMargin(int32_t Value);
  bool GetMarkDropDown() const { return FMarkDropDown; }
  void SetMarkDropDown(bool Value);
  TOxDropDownMenuPos GetMenuPosition() const { return FMenuPosition; }
  void SetMenuPosition(TOxDropDownMenuPos Value) { FMenuPosition = Value; }
  bool GetMenuTracking() const { return FMenuTracking; }
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  uint16_t GetRepeatInterval() const { return FRepeatInterval; }
  void SetRepeatInterval(uint16_t Value) { FRepeatInterval = Value; }
  TTimer* GetRepeatTimer() const { return FRepeatTimer.get(); }
  int32_t GetSpacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);
  TButtonStyle GetStyle() const { return FStyle; }
  void SetStyle(TButtonStyle Value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool GetDoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }
  TOxSpeedButtonState GetButtonState() const { return FState; }
  TAlignment GetAlignment() const { return FGlyph->GetAlignment(); }
  void SetAlignment(TAlignment Value);
  bool GetWordWrap() const { return FGlyph->GetWordWrap(); }
  void SetWordWrap(bool Value);
  bool GetGrayNewStyle() const { return FGlyph->GetGrayNewStyle(); }
  void SetGrayNewStyle(bool Value);
  TOxxButtonGlyph* GetGlyphObject() const { return FGlyph.get(); }
  bool GetPointerInside() const { return FPointerInside; }

  // The hot-track set.
  bool GetHotTrack() const override { return FHotTrack; }
  TFont* GetHotTrackFont() const override { return FHotTrackFont.get(); }
  TOxTrackFontOptions GetHotTrackFontOptions() const override { return FHotTrackFontOptions; }
  TOxHotTrackOptions* GetHotTrackOptions() const override { return FHotTrackOptions; }
  void SetHotTrack(bool Value) override { FHotTrack = Value; }
  void SetHotTrackFont(TFont* Value) override;
  void SetHotTrackFontOptions(TOxTrackFontOptions Value) override;
  void SetHotTrackOptions(TOxHotTrackOptions* Value) override;

  // The point below or beside the button where the drop-down menu opens.
  TPoint DropDownPoint() const;
  // Pops the menu up at Point (client coordinates); false at design time,
  // without a menu, or when not Forced and the menu does not pop up by itself.
  bool ShowDropDownMenu(TPoint Point, bool Forced);
  // Sends the enter or leave notification when the pointer's place changed.
  void UpdateHotState();

  void Click() override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnDblClick;

 protected:
  // Glyph, caption and drop-down mark into Rect shifted by Offset.
  virtual void DrawContent(TCanvas* Canvas, const TRect& Rect, TPoint Offset, TOxSpeedButtonState State,
                           bool DrawMark) = 0;
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoTextChange() override;
  bool AcceptsKey(int32_t Key, TShiftState Shift, const std::u16string& KeyText) override;
  void DoEnabledChange() override;
  void DoFontChange() override;
  void DoVisibleChange() override;
  void DoMouseEnter(TControl* Control) override;
  void DoMouseLeave(TControl* Control) override;
  // The glyph image of the current state, built ahead of the first paint.
  void PrebuildStateImage();
  uint32_t TextFlags() const;

  std::unique_ptr<TOxxButtonGlyph> FGlyph;

 private:
  void FinishPress(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void RepeatTimerFired(TObject* Sender);
  void NotifyGroup();
  bool InsideClient(int32_t X, int32_t Y) const;
  bool HotRepaintWanted(bool Leaving) const;
  void StopRepeat();

  bool FAllowAllUp = false;
  bool FAllowTimer = false;
  bool FDown = false;
  bool FDragging = false;
  TPopupMenu* FDropDownMenu = nullptr;
  bool FFlat = false;
  int32_t FGroupIndex = 0;
  bool FHotTrack = false;
  std::unique_ptr<TFont> FHotTrackFont;
  TOxTrackFontOptions FHotTrackFontOptions = hoFollowFont | hoPreserveColor | hoPreserveStyle;
  TOxHotTrackOptions* FHotTrackOptions = nullptr;  // owned as a component
  bool FGrayedInactive = true;
  uint16_t FInitPause = 500;
  TButtonLayout FLayout = blGlyphTop;
  int32_t FMargin = -1;
  bool FMarkDropDown = true;
  TOxDropDownMenuPos FMenuPosition = dmpBottom;
  bool FMenuTracking = false;
  TModalResult FModalResult = mrNone;
  uint16_t FRepeatInterval = 100;
  std::unique_ptr<TTimer> FRepeatTimer;
  int32_t FSpacing = 1;
  TButtonStyle FStyle = bsAutoDetect;
  bool FTransparent = false;
  bool FDoubleBuffered = true;
  TOxSpeedButtonState FState = sbsUp;
};

class TOxSpeedButton : public TOxCustomSpeedButton {
 public:
  explicit TOxSpeedButton(TComponent* AOwner);
  ~TOxSpeedButton() override;

  TBitmap* GetGlyph() const { return FGlyph->GetGlyph(); }
  void SetGlyph(TBitmap* Value);
  TBitmap* GetHotTrackGlyph() const { return FHotGlyph->GetGlyph(); }
  void SetHotTrackGlyph(TBitmap* Value);
  uint8_t GetNumGlyphs() const { return FGlyph->GetNumGlyphs(); }
  void SetNumGlyphs(int32_t Value);
  const TFormPropertyTable& FormProperties() const override;

 protected:
  void DrawContent(TCanvas* Canvas, const TRect& Rect, TPoint Offset, TOxSpeedButtonState State,
                   bool DrawMark) override;

 private:
  std::unique_ptr<TOxxButtonGlyph> FHotGlyph;
};

// A bitmap stored in a form resource: the byte count, then the bitmap file.
