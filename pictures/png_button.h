#pragma once
// TPNGButton: a window-less button drawn from three pictures (normal, hot,
// pressed), each state with its own caption and font. Clicks reach the
// program through the inherited OnClick.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/graphics.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/form_reader.h"

enum TPNGButtonState : uint8_t { pbsNormal, pbsHot, pbsPressed };

// Placement inside the button: horizontal word first, then vertical.
enum TObjectAlignment : uint8_t {
  tp_Left_Top,
  tp_Left_Middle,
  tp_Left_Bottom,
  tp_Center_Top,
  tp_Center_Middle,
  tp_Center_Bottom,
  tp_Right_Top,
  tp_Right_Middle,
  tp_Right_Bottom
};

class TPNGButton : public TGraphicControl {
 public:
  explicit TPNGButton(TComponent* AOwner);
  ~TPNGButton() override;
  std::string ClassName() const override { return "TPNGButton"; }

  TPicture* GetPictureDefault() const { return FPictureDefault.get(); }
  TPicture* GetPictureHot() const { return FPictureHot.get(); }
  TPicture* GetPicturePress() const { return FPicturePress.get(); }
  // Copies the picture; with AutoSize the button takes its size.
  void SetPictureDefault(TPersistent* Value);
  void SetPictureHot(TPersistent* Value);
  void SetPicturePress(TPersistent* Value);

  std::string GetCaptionDefault() const { return FCaptionDefault; }
  void SetCaptionDefault(const std::string& Value);
  std::string GetCaptionHot() const { return FCaptionHot; }
  void SetCaptionHot(const std::string& Value) { FCaptionHot = Value; }
  std::string GetCaptionPress() const { return FCaptionPress; }
  void SetCaptionPress(const std::string& Value) { FCaptionPress = Value; }

  TFont* GetFontDefault() const { return FFontDefault.get(); }
  void SetFontDefault(TFont* Value) { FFontDefault->Assign(Value); }
  TFont* GetFontHot() const { return FFontHot.get(); }
  void SetFontHot(TFont* Value) { FFontHot->Assign(Value); }
  TFont* GetFontPress() const { return FFontPress.get(); }
  void SetFontPress(TFont* Value) { FFontPress->Assign(Value); }

  std::string GetInfo() const { return FInfo; }
  // Informational only: every value is ignored.
  void SetInfo(const std::string&) {}

  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool GetStretch() const { return FStretch; }
  void SetStretch(bool Value);
  TObjectAlignment GetCaptionAlignment() const { return FCaptionAlignment; }
  void SetCaptionAlignment(TObjectAlignment Value);
  TObjectAlignment GetPictureAlignment() const { return FPictureAlignment; }
  void SetPictureAlignment(TObjectAlignment Value);
  TPNGButtonState GetButtonState() const { return FButtonState; }

  const TFormPropertyTable& FormProperties() const override;
  void Dispatch(TMessage& Message) override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  virtual void CMMouseEnter(TMessage& Message);
  virtual void CMMouseLeave(TMessage& Message);

 private:
  bool Designing() const { return (GetComponentState() & csDesigning) != 0; }
  void SizeToPicture();

  std::unique_ptr<TPicture> FPictureDefault, FPictureHot, FPicturePress;
  std::string FCaptionDefault, FCaptionHot, FCaptionPress;
  std::unique_ptr<TFont> FFontDefault, FFontHot, FFontPress;
  std::string FInfo;
  bool FAutoSize = true;
  bool FTransparent = true;
  bool FStretch = false;
  TPNGButtonState FButtonState = pbsNormal;
  TObjectAlignment FCaptionAlignment = tp_Center_Middle;
  TObjectAlignment FPictureAlignment = tp_Center_Middle;
};

// Registers TPNGButton with the form class registry and the PNG picture
// class with the picture registry; call before the first form holding PNG
// picture buttons is read.
void RegisterPNGButton();
