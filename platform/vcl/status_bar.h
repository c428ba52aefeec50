#pragma once
// The status bar: a row of panels along the bottom of a form, each with a
// width, a text and an alignment; the last panel takes what is left.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/vcl/controls.h"

class TStatusBar;

// A panel of the bar; an object so that form resources can describe it.
class TStatusPanel : public TObject {
 public:
  explicit TStatusPanel(TStatusBar* Owner) : FOwner(Owner) {}
  int32_t GetWidth() const { return FWidth; }
  void SetWidth(int32_t Value);
  std::string GetText() const { return FText; }
  void SetText(const std::string& Value);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);

 private:
  TStatusBar* FOwner;
  int32_t FWidth = 50;
  std::string FText;
  TAlignment FAlignment = taLeftJustify;
};

class TStatusBar : public TCustomControl {
 public:
  explicit TStatusBar(TComponent* AOwner);
  ~TStatusBar() override;

  int32_t GetPanelCount() const { return static_cast<int32_t>(FPanels.size()); }
  // Panel Index; nullptr outside 0 .. count - 1.
  TStatusPanel* GetPanel(int32_t Index) const;
  TStatusPanel* AddPanel();
  void ClearPanels();
  // The text shown across the whole bar while SimplePanel is set.
  bool GetSimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool Value);
  std::string GetSimpleText() const { return FSimpleText; }
  void SetSimpleText(const std::string& Value);
  bool GetSizeGrip() const { return FSizeGrip; }
  void SetSizeGrip(bool Value) { FSizeGrip = Value; }
  // The client rectangle of panel Index (empty outside the bar).
  TRect PanelRect(int32_t Index) const;
  // Index of the panel under the client point X (-1 when none).
  int32_t PanelAt(int32_t X) const;

  const TFormPropertyTable& FormProperties() const override;

 protected:
  void Paint() override;

 private:
  std::vector<std::unique_ptr<TStatusPanel>> FPanels;
  bool FSimplePanel = false;
  std::string FSimpleText;
  bool FSizeGrip = true;
};
