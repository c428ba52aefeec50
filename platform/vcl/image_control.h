#pragma once
// The picture control: shows a picture (any registered graphic) at its size,
// centred, stretched or scaled down to fit with its proportions, optionally
// with the bitmap's transparent colour left out. Other components attach to
// its picture's bitmap (GetPicture()->GetBitmap()); every change of the
// picture or of the bitmap's pixels shows at once.
#include <cstdint>
#include <memory>

#include "platform/vcl/controls.h"

class TPicture;

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  TPicture* GetPicture() const { return FPicture.get(); }
  // Copies Value's graphic.
  void SetPicture(TPicture* Value);
  // The canvas of the picture's bitmap, made the control's size when the
  // picture is empty; EInvalidOperation "Can only modify an image if it
  // contains a bitmap" when the picture holds another graphic.
  TCanvas* GetCanvas();

  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool GetCenter() const { return FCenter; }
  void SetCenter(bool Value);
  bool GetProportional() const { return FProportional; }
  void SetProportional(bool Value);
  bool GetStretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool GetIncrementalDisplay() const { return FIncrementalDisplay; }
  void SetIncrementalDisplay(bool Value) { FIncrementalDisplay = Value; }

  // Where the picture is drawn, in client coordinates: its own size at the
  // top left; the client with Stretch; scaled to fit keeping its
  // proportions with Proportional (larger pictures only, unless Stretch);
  // centred with Center.
  TRect DestRect() const;

  const TFormPropertyTable& FormProperties() const override;

 protected:
  void Paint() override;

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> FPicture;
  bool FAutoSize = false;
  bool FCenter = false;
  bool FProportional = false;
  bool FStretch = false;
  bool FTransparent = false;
  bool FIncrementalDisplay = false;
};
