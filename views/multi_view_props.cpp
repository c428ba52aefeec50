// Published properties of the multi-image view and how a form resource sets
// them.
#include "platform/rtl/sysutils.h"
#include "foundations/image_buffer.h"
#include "views/multi_view.h"

namespace {
// Stores Value into Field; answers whether it changed.
template <typename T>
bool Change(T& Field, T Value) {
  if (Field == Value) return false;
  Field = Value;
  return true;
}
}  // namespace

void TFolioMView::SetVisibleSelection(bool Value) {
  if (Change(FVisibleSelection, Value)) Update();
}
void TFolioMView::SetSelectionWidth(int32_t Value) {
  if (Change(FSelectionWidth, Value)) Update();
}
void TFolioMView::SetSelectionColor(TColor Value) {
  if (Change(FSelectionColor, Value)) Update();
}
void TFolioMView::SetSelectionStyle(TIESStyle Value) {
  if (Change(FSelectionStyle, Value)) Update();
}
void TFolioMView::SetMouseInteract(TIEMMouseInteract Value) { Change(FMouseInteract, Value); }
void TFolioMView::SetKeyInteract(TIEMKeyInteract Value) { Change(FKeyInteract, Value); }
void TFolioMView::SetDrawTexts(bool Value) {
  if (Change(FDrawTexts, Value)) Update();
}
void TFolioMView::SetSelectionWidthUnfocused(int32_t Value) {
  if (Change(FSelectionWidthUnfocused, Value)) Update();
}
void TFolioMView::SetSelectionRounded(bool Value) {
  if (Change(FSelectionRounded, Value)) Update();
}
void TFolioMView::SetHighlightBackColor(TColor Value) {
  if (Change(FHighlightBackColor, Value)) Update();
}
void TFolioMView::SetHighlightTextColor(TColor Value) {
  if (Change(FHighlightTextColor, Value)) Update();
}
void TFolioMView::SetFillThumbnail(bool Value) {
  if (Change(FFillThumbnail, Value)) Update();
}
void TFolioMView::SetCornerDivisor(int32_t Value) {
  if (Change(FCornerDivisor, Value)) Update();
}
void TFolioMView::SetCellFrame(TIEBitmap* Normal, TIEBitmap* Selected, const TRect& Inner) {
  auto CopyOf = [](TIEBitmap* B) -> std::unique_ptr<TIEBitmap> {
    if (!B) return nullptr;
    auto Copy = std::make_unique<TIEBitmap>();
    Copy->Assign(B);
    return Copy;
  };
  FCellFrame = CopyOf(Normal);
  FCellFrameSelected = CopyOf(Selected);
  FCellFrameInner = Inner;
  Update();
}
void TFolioMView::SetThumbnailsBackground(TColor Value) {
  if (Change(FThumbnailsBackground, Value)) Update();
}
void TFolioMView::SetThumbnailsBorderWidth(int32_t Value) {
  if (Change(FThumbnailsBorderWidth, Value)) Update();
}
void TFolioMView::SetThumbnailsBorderColor(TColor Value) {
  if (Change(FThumbnailsBorderColor, Value)) Update();
}
void TFolioMView::SetThumbnailsInternalBorder(bool Value) {
  if (Change(FThumbnailsInternalBorder, Value)) Update();
}
void TFolioMView::SetThumbnailsInternalBorderColor(TColor Value) {
  if (Change(FThumbnailsInternalBorderColor, Value)) Update();
}
void TFolioMView::SetRemoveCorrupted(bool Value) {
  if (Change(FRemoveCorrupted, Value)) Update();
}
void TFolioMView::SetDrawImageBackground(bool Value) {
  if (Change(FDrawImageBackground, Value)) Update();
}
void TFolioMView::SetEnableAlphaChannel(bool Value) {
  if (Change(FEnableAlphaChannel, Value)) Update();
}

bool TFolioMView::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  static const std::vector<std::string> ScrollNames = {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"};
  static const std::vector<std::string> StoreNames = {"ietNormal", "ietThumb"};
  static const std::vector<std::string> ModeNames = {"mdGrid", "mdSingle"};
  static const std::vector<std::string> StyleNames = {"iemsFlat", "iemsACD"};
  static const std::vector<std::string> SStyleNames = {"iessAround", "iessACD"};
  static const std::vector<std::string> MouseNames = {"mmiScroll", "mmiSelect"};
  static const std::vector<std::string> KeyNames = {"mkiMoveSelected"};
  static const std::vector<std::string> MultiNames = {"iemoRegion", "iemoSelectOnMouseUp", "iemoLeaveOneSelected"};
  auto Is = [&](const char* N) { return SameText(Name, N); };
  if (Is("ScrollBars")) {
    SetScrollBars(static_cast<TScrollStyle>(Value.AsEnum(ScrollNames)));
  } else if (Is("StoreType")) {
    SetStoreType(static_cast<TIEStoreType>(Value.AsEnum(StoreNames)));
  } else if (Is("ThumbWidth")) {
    SetThumbWidth(Value.AsCoordinate());
  } else if (Is("ThumbHeight")) {
    SetThumbHeight(Value.AsCoordinate());
  } else if (Is("HorizBorder")) {
    SetHorizBorder(Value.AsCoordinate());
  } else if (Is("VertBorder")) {
    SetVertBorder(Value.AsCoordinate());
  } else if (Is("BottomGap")) {
    SetBottomGap(Value.AsCoordinate());
  } else if (Is("UpperGap")) {
    SetUpperGap(Value.AsCoordinate());
  } else if (Is("VisibleSelection")) {
    SetVisibleSelection(Value.AsBoolean());
  } else if (Is("MouseInteract")) {
    SetMouseInteract(static_cast<TIEMMouseInteract>(Value.AsSet(MouseNames)));
  } else if (Is("KeyInteract")) {
    SetKeyInteract(static_cast<TIEMKeyInteract>(Value.AsSet(KeyNames)));
  } else if (Is("DisplayMode")) {
    SetDisplayMode(static_cast<TIEMDisplayMode>(Value.AsEnum(ModeNames)));
  } else if (Is("GridWidth")) {
    SetGridWidth(Value.AsCoordinate());
  } else if (Is("SelectionWidth")) {
    SetSelectionWidth(Value.AsCoordinate());
  } else if (Is("SelectionColor")) {
    SetSelectionColor(Value.AsColor());
  } else if (Is("RemoveCorrupted")) {
    SetRemoveCorrupted(Value.AsBoolean());
  } else if (Is("DrawImageBackground")) {
    SetDrawImageBackground(Value.AsBoolean());
  } else if (Is("ImageCacheSize")) {
    SetImageCacheSize(Value.AsInteger());
  } else if (Is("TransitionEffect")) {
    SetTransitionEffect(Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : 0);
  } else if (Is("TransitionDuration")) {
    SetTransitionDuration(Value.AsInteger());
  } else if (Is("Style")) {
    SetStyle(static_cast<TIEMStyle>(Value.AsEnum(StyleNames)));
  } else if (Is("SelectionStyle")) {
    SetSelectionStyle(static_cast<TIESStyle>(Value.AsEnum(SStyleNames)));
  } else if (Is("ThumbnailsBackground")) {
    SetThumbnailsBackground(Value.AsColor());
  } else if (Is("EnableMultiSelect")) {
    SetEnableMultiSelect(Value.AsBoolean());
  } else if (Is("MultiSelectionOptions")) {
    SetMultiSelectionOptions(static_cast<TIEMultiSelectionOptions>(Value.AsSet(MultiNames)));
  } else if (Is("ThumbnailsBorderWidth")) {
    SetThumbnailsBorderWidth(Value.AsCoordinate());
  } else if (Is("ThumbnailsBorderColor")) {
    SetThumbnailsBorderColor(Value.AsColor());
  } else if (Is("ThumbnailsInternalBorder")) {
    SetThumbnailsInternalBorder(Value.AsBoolean());
  } else if (Is("ThumbnailsInternalBorderColor")) {
    SetThumbnailsInternalBorderColor(Value.AsColor());
  } else if (Is("ThreadPoolSize")) {
    SetThreadPoolSize(Value.AsInteger());
  } else if (Is("EnableAlphaChannel")) {
    SetEnableAlphaChannel(Value.AsBoolean());
  } else if (Is("FlatScrollBars")) {
    SetFlatScrollBars(Value.AsBoolean());
  } else if (Is("FolioVersion") || Is("WallPaperStyle") || Is("BackgroundStyle") ||
             Is("ThumbnailsBackgroundStyle")) {
    // read-only, or drawing styles kept by the painting code
  } else if (Is("OnImageSelect")) {
    OnImageSelect = Context.Handler<TIEImageSelectEvent>(Value);
  } else if (Is("OnImageDeselect")) {
    OnImageDeselect = Context.Handler<TIEImageSelectEvent>(Value);
  } else if (Is("OnProgress")) {
    SetOnProgress(Context.Handler<TIEProgressEvent>(Value));
  } else if (Is("OnFinishWork")) {
    SetOnFinishWork(Context.Handler<TNotifyEvent>(Value));
  } else if (Is("OnViewChange")) {
    OnViewChange = Context.Handler<TIEViewChangeEventM>(Value);
  } else {
    return TIEView::SetFormProperty(Name, Value, Context);
  }
  return true;
}

void IERegisterFolioMViewClass() { RegisterComponentClass<TFolioMView>("TFolioMView"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioMViewClass(), true);
}  // namespace
