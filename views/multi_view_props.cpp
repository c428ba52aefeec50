// Published properties of the multi-image view and how a form resource sets
// them.
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
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

const TFormPropertyTable& TFolioMView::FormProperties() const {
  static const TFormEnumNames StoreNames = {"ietNormal", "ietThumb"};
  static const TFormEnumNames ModeNames = {"mdGrid", "mdSingle"};
  static const TFormEnumNames StyleNames = {"iemsFlat", "iemsACD"};
  static const TFormEnumNames SStyleNames = {"iessAround", "iessACD"};
  static const TFormEnumNames MouseNames = {"mmiScroll", "mmiSelect"};
  static const TFormEnumNames KeyNames = {"mkiMoveSelected"};
  static const TFormEnumNames MultiNames = {"iemoRegion", "iemoSelectOnMouseUp", "iemoLeaveOneSelected"};
  using V = TFolioMView;
  static const TFormPropertyTable Table =
      TFormProperties<V>("TFolioMView", &TIEView::FormProperties())
          .Enum("ScrollBars", ScrollStyleNames(), &V::GetScrollBars, &V::SetScrollBars)
          .Enum("StoreType", StoreNames, &V::GetStoreType, &V::SetStoreType)
          .Coordinate("ThumbWidth", &V::GetThumbWidth, &V::SetThumbWidth)
          .Coordinate("ThumbHeight", &V::GetThumbHeight, &V::SetThumbHeight)
          .Coordinate("HorizBorder", &V::GetHorizBorder, &V::SetHorizBorder)
          .Coordinate("VertBorder", &V::GetVertBorder, &V::SetVertBorder)
          .Coordinate("BottomGap", &V::GetBottomGap, &V::SetBottomGap)
          .Coordinate("UpperGap", &V::GetUpperGap, &V::SetUpperGap)
          .Bool("VisibleSelection", &V::GetVisibleSelection, &V::SetVisibleSelection)
          .Set("MouseInteract", MouseNames, &V::GetMouseInteract, &V::SetMouseInteract)
          .Set("KeyInteract", KeyNames, &V::GetKeyInteract, &V::SetKeyInteract)
          .Enum("DisplayMode", ModeNames, &V::GetDisplayMode, &V::SetDisplayMode)
          .Coordinate("GridWidth", &V::GetGridWidth, &V::SetGridWidth)
          .Coordinate("SelectionWidth", &V::GetSelectionWidth, &V::SetSelectionWidth)
          .Color("SelectionColor", &V::GetSelectionColor, &V::SetSelectionColor)
          .Bool("RemoveCorrupted", &V::GetRemoveCorrupted, &V::SetRemoveCorrupted)
          .Bool("DrawImageBackground", &V::GetDrawImageBackground, &V::SetDrawImageBackground)
          .Integer("ImageCacheSize", &V::GetImageCacheSize, &V::SetImageCacheSize)
          .Custom("TransitionEffect",
                  [](V& M, const TFormValue& Value, TFormReadContext&) {
                    M.SetTransitionEffect(Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : 0);
                  },
                  [](const V& M, TFormValue& Value) {
                    Value = TFormValue::OfInteger(M.GetTransitionEffect());
                    return true;
                  })
          .Integer("TransitionDuration", &V::GetTransitionDuration, &V::SetTransitionDuration)
          .Enum("Style", StyleNames, &V::GetStyle, &V::SetStyle)
          .Enum("SelectionStyle", SStyleNames, &V::GetSelectionStyle, &V::SetSelectionStyle)
          .Color("ThumbnailsBackground", &V::GetThumbnailsBackground, &V::SetThumbnailsBackground)
          .Bool("EnableMultiSelect", &V::GetEnableMultiSelect, &V::SetEnableMultiSelect)
          .Set("MultiSelectionOptions", MultiNames, &V::GetMultiSelectionOptions, &V::SetMultiSelectionOptions)
          .Coordinate("ThumbnailsBorderWidth", &V::GetThumbnailsBorderWidth, &V::SetThumbnailsBorderWidth)
          .Color("ThumbnailsBorderColor", &V::GetThumbnailsBorderColor, &V::SetThumbnailsBorderColor)
          .Bool("ThumbnailsInternalBorder", &V::GetThumbnailsInternalBorder, &V::SetThumbnailsInternalBorder)
          .Color("ThumbnailsInternalBorderColor", &V::GetThumbnailsInternalBorderColor,
                 &V::SetThumbnailsInternalBorderColor)
          .Integer("ThreadPoolSize", &V::GetThreadPoolSize, &V::SetThreadPoolSize)
          .Bool("EnableAlphaChannel", &V::GetEnableAlphaChannel, &V::SetEnableAlphaChannel)
          .Bool("FlatScrollBars", &V::GetFlatScrollBars, &V::SetFlatScrollBars)
          // Read only, or drawing styles kept by the painting code.
          .Ignored({"FolioVersion", "WallPaperStyle", "BackgroundStyle", "ThumbnailsBackgroundStyle"})
          .Event<TNotifyEvent>("OnFinishWork", &V::GetOnFinishWork, &V::SetOnFinishWork)
          .Event("OnImageDeselect", &V::OnImageDeselect)
          .Event("OnImageSelect", &V::OnImageSelect)
          .Event<TIEProgressEvent>("OnProgress", &V::GetOnProgress, &V::SetOnProgress)
          .Event("OnViewChange", &V::OnViewChange)
          .Build();
  return Table;
}

void IERegisterFolioMViewClass() { RegisterComponentClass<TFolioMView>("TFolioMView"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioMViewClass(), true);
}  // namespace
