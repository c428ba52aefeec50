#pragma once
// The hot-track settings shared by the library's hot-tracking controls
// (panels, speed buttons, the office colour controls): the option object
// that says whether and how the control highlights itself under the
// pointer, and the interface through which controls exchange the whole set
// (switch, font, font options, options).
#include <cstdint>
#include <string>

#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/form_reader.h"
#include "widgets/control_base.h"
#include "widgets/draw_helpers.h"

class TOxHotTrackOptions : public TOxPersistentProperty {
 public:
  explicit TOxHotTrackOptions(TPersistent* AOwner);

  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value) { ChangeProperty(FEnabled, Value, "Enabled"); }
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value) { ChangeProperty(FColor, Value, "Color"); }
  bool GetFrameVisible() const { return FFrameVisible; }
  void SetFrameVisible(bool Value) { ChangeProperty(FFrameVisible, Value, "FrameVisible"); }
  TColor GetFrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor Value) { ChangeProperty(FFrameColor, Value, "FrameColor"); }

  // From another option object: one change bracket around the four setters.
  void Assign(TPersistent* Source) override;
  // The options' form properties (under the owner's prefix).
  static const TFormPropertyTable& FormProperties();

 protected:
  bool FEnabled = false;
  bool FFrameVisible = false;
  TColor FColor = static_cast<TColor>(0xD2BDB6);
  TColor FFrameColor = static_cast<TColor>(0x6A240A);
};

// The panels' options: the highlight is the button face unless told otherwise.
class TOxPanelHotTrackOptions : public TOxHotTrackOptions {
 public:
  explicit TOxPanelHotTrackOptions(TPersistent* AOwner) : TOxHotTrackOptions(AOwner) { FColor = clBtnFace; }
};

// The hot-track set of a control, read and written as a whole.
class IOxHotTrackSettings {
 public:
  virtual ~IOxHotTrackSettings() = default;
  virtual bool GetHotTrack() const = 0;
  virtual TFont* GetHotTrackFont() const = 0;
  virtual TOxTrackFontOptions GetHotTrackFontOptions() const = 0;
  virtual TOxHotTrackOptions* GetHotTrackOptions() const = 0;
  virtual void SetHotTrack(bool Value) = 0;
  virtual void SetHotTrackFont(TFont* Value) = 0;
  virtual void SetHotTrackFontOptions(TOxTrackFontOptions Value) = 0;
  virtual void SetHotTrackOptions(TOxHotTrackOptions* Value) = 0;
  // Copies the four values of Source; nothing when Source is absent or this.
  void AssignHotTrack(IOxHotTrackSettings* Source) {
    if (!Source || Source == this) return;
    SetHotTrack(Source->GetHotTrack());
    SetHotTrackFont(Source->GetHotTrackFont());
    SetHotTrackFontOptions(Source->GetHotTrackFontOptions());
    SetHotTrackOptions(Source->GetHotTrackOptions());
  }
};

// The names of the font-following options, in bit order, for form resources.
const std::vector<std::string>& TrackFontOptionNames();
