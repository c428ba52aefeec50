#include "widgets/hot_track.h"

#include "platform/rtl/sysutils.h"

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

bool TOxHotTrackOptions::ReadOption(const std::string& Name, const TFormValue& Value) {
  if (SameText(Name, "Enabled")) {
    SetEnabled(Value.AsBoolean());
  } else if (SameText(Name, "Color")) {
    SetColor(Value.AsColor());
  } else if (SameText(Name, "FrameVisible")) {
    SetFrameVisible(Value.AsBoolean());
  } else if (SameText(Name, "FrameColor")) {
    SetFrameColor(Value.AsColor());
  } else {
    return false;
  }
  return true;
}

const std::vector<std::string>& TrackFontOptionNames() {
  static const std::vector<std::string> Names = {"hoFollowFont",    "hoPreserveCharSet", "hoPreserveColor",
                                                 "hoPreserveHeight", "hoPreserveName",    "hoPreservePitch",
                                                 "hoPreserveStyle"};
  return Names;
}

bool ReadFontOption(TFont* Font, const std::string& Name, const TFormValue& Value) {
  if (SameText(Name, "Name")) {
    Font->SetName(Value.AsString());
  } else if (SameText(Name, "Height")) {
    Font->SetHeight(Value.AsCoordinate());
  } else if (SameText(Name, "Size")) {
    Font->SetSize(Value.AsCoordinate());
  } else if (SameText(Name, "Color")) {
    Font->SetColor(Value.AsColor());
  } else if (SameText(Name, "Style")) {
    Font->SetStyle(static_cast<TFontStyles>(Value.AsSet({"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"})));
  } else if (SameText(Name, "Charset")) {
    // Charsets other than the default are only meaningful to 8-bit text
    // boundaries; the font keeps its own.
  } else {
    return false;
  }
  return true;
}
