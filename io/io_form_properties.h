#pragma once
// The published properties the two I/O components share (the single-image
// TFolioIO and the multi-image TFolioMIO), in both classes' property tables.
#include <string>
#include <vector>

#include "foundations/progress.h"
#include "foundations/settings.h"
#include "io/folio_io.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"

// The measure units' names in value order.
inline const TFormEnumNames& DialogsMeasureUnitNames() {
  static const TFormEnumNames Names = {"ieduInches", "ieduCm", "ieduSelectableDefInches", "ieduSelectableDefCm"};
  return Names;
}

// A dialog language: a name of MsgLanguageNames or a number; a number out of
// range is the system's language.
inline TMsgLanguage IEReadMsgLanguage(const TFormValue& Value) {
  const int32_t L = Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : Value.AsEnum(MsgLanguageNames());
  return L >= 0 && L < IELanguageCount ? static_cast<TMsgLanguage>(L) : msSystem;
}

// Adds the shared properties to the table of TComponentIO.
template <typename TComponentIO>
TFormProperties<TComponentIO>& IEAddSharedIOFormProperties(TFormProperties<TComponentIO>& Table) {
  using C = TComponentIO;
  static const TFormEnumNames PreviewNames = {"ioppDefaultLockPreview", "ioppApplyButton"};
  return Table.Bool("AutoAdjustDPI", &C::GetAutoAdjustDPI, &C::SetAutoAdjustDPI)
      .Enum("DialogsMeasureUnit", DialogsMeasureUnitNames(), &C::GetDialogsMeasureUnit, &C::SetDialogsMeasureUnit)
      .Bool("FilteredAdjustDPI", &C::GetFilteredAdjustDPI, &C::SetFilteredAdjustDPI)
      .Custom("MsgLanguage", [](C& IO, const TFormValue& V, TFormReadContext&) { IO.SetMsgLanguage(IEReadMsgLanguage(V)); },
              [](const C& IO, TFormValue& V) {
                V = TFormValue::OfEnum(IO.GetMsgLanguage(), MsgLanguageNames());
                return true;
              })
      .Set("PreviewsParams", PreviewNames, &C::GetPreviewsParams, &C::SetPreviewsParams)
      .Bool("SimplifiedParamsDialogs", &C::GetSimplifiedParamsDialogs, &C::SetSimplifiedParamsDialogs)
      .Event("OnDoPreviews", &C::OnDoPreviews)
      .Event("OnFinishWork", &C::OnFinishWork)
      .Event("OnProgress", &C::OnProgress);
}
