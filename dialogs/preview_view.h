#pragma once
// The still-image view of the dialogs' previews: shows one TIEBitmap it owns,
// fitted to the control or at a zoom, centred on a solid or chessboard
// background, with an optional one-pixel frame.
#include <cstdint>
#include <memory>

#include "foundations/render_types.h"
#include "views/view_base.h"

class TIEBitmap;

class TIEPreviewView : public TIEView {
 public:
  explicit TIEPreviewView(TComponent* AOwner);
  ~TIEPreviewView() override;

  std::string ClassName() const override { return "TIEPreviewView"; }

  // The shown image (never nullptr; 1 x 1 after Blank).
  TIEBitmap* GetIEBitmap() const { return FBitmap.get(); }
  TIEBitmap* GetViewIEBitmap() override { return FBitmap.get(); }
  // Takes the image over and shows it.
  void SetImage(std::unique_ptr<TIEBitmap> Bitmap);
  // Copies Source into the view's image and shows it.
  void AssignImage(TIEBitmap* Source);
  // An empty 1 x 1 image.
  void Blank();
  bool IsBlank() const { return FBlank; }

  bool GetAutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value);
  // Zoom in percent while not fitting.
  double GetZoom() const { return FZoom; }
  void SetZoom(double Value);
  // The zoom the image is shown at now (the fitting one while fitting).
  double GetShownZoom();
  bool GetChessboard() const { return FChessboard; }
  void SetChessboard(bool Value);
  TResampleFilter GetZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value) { FZoomFilter = Value; }
  void Update() override;

  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool GetHasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  void LockPaint() override { ++FPaintLock; }
  int32_t UnlockPaint() override;
  int32_t UnlockPaintNoUpdate() override { return FPaintLock > 0 ? --FPaintLock : 0; }

 protected:
  void Paint() override;

 private:
  std::unique_ptr<TIEBitmap> FBitmap;
  bool FBlank = true;
  bool FAutoFit = true;
  double FZoom = 100;
  bool FChessboard = false;
  TResampleFilter FZoomFilter = rfFastLinear;
  int32_t FPaintLock = 0;
};
