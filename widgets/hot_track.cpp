#include "widgets/hot_track.h"

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"

TOxHotTrackOptions::TOxHotTrackOptions(TPersistent* AOwner) : TOxPersistentProperty(AOwner) {}

void TOxHotTrackOptions::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TOxHotTrackOptions*>(Source);
  if (!S) {
    TOxPersistentProperty::Assign(Source);
    return;
  }
  TOxChangeBracket Bracket(this);
  SetEnabled(S->GetEnabled());
  SetColor(S->GetColor());
  SetFrameVisible(S->GetFrameVisible());
  SetFrameColor(S->GetFrameColor());
}

const TFormPropertyTable& TOxHotTrackOptions::FormProperties() {
  static const TFormPropertyTable Table =
      TFormProperties<TOxHotTrackOptions>("", nullptr)
          .Color("Color", &TOxHotTrackOptions::GetColor, &TOxHotTrackOptions::SetColor)
          .Bool("Enabled", &TOxHotTrackOptions::GetEnabled, &TOxHotTrackOptions::SetEnabled)
          .Color("FrameColor", &TOxHotTrackOptions::GetFrameColor, &TOxHotTrackOptions::SetFrameColor)
          .Bool("FrameVisible", &TOxHotTrackOptions::GetFrameVisible, &TOxHotTrackOptions::SetFrameVisible)
          .Build();
  return Table;
}

const std::vector<std::string>& TrackFontOptionNames() {
  static const std::vector<std::string> Names = {"hoFollowFont",    "hoPreserveCharSet", "hoPreserveColor",
                                                 "hoPreserveHeight", "hoPreserveName",    "hoPreservePitch",
                                                 "hoPreserveStyle"};
  return Names;
}

