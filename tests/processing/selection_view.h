#pragma once
// A view with an image and a selection mask, enough to stand in for the
// single-image view behind the view base's virtuals in the processing tests.
#include <cstdint>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "views/view_base.h"

namespace proctest {

class TSelectionView : public TIEView {
 public:
  explicit TSelectionView(int32_t W = 16, int32_t H = 12, TIEPixelFormat F = ie24RGB) : TIEView(nullptr) {
    Image.Allocate(W, H, F);
    Mask.AllocateBits(W, H, 1);
  }
  TIEBitmap Image;
  TIEMask Mask;
  bool HasSel = false;

  // A rectangle (inclusive) or, with Ellipse, the ellipse inside it.
  void Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Ellipse = false) {
    Mask.AllocateBits(Image.GetWidth(), Image.GetHeight(), 1);
    HasSel = true;
    const double CX = (X1 + X2) / 2.0, CY = (Y1 + Y2) / 2.0, RX = (X2 - X1 + 1) / 2.0, RY = (Y2 - Y1 + 1) / 2.0;
    for (int32_t y = Y1; y <= Y2; ++y)
      for (int32_t x = X1; x <= X2; ++x) {
        const double DX = (x - CX) / RX, DY = (y - CY) / RY;
        if (!Ellipse || DX * DX + DY * DY <= 1.0) Mask.SetPixel(x, y, 1);
      }
  }
  void Deselect() {
    Mask.Clear();
    HasSel = false;
  }

  TIEBitmap* GetViewIEBitmap() override { return &Image; }
  TIEBitmap* GetAlphaChannel() override { return Image.GetAlphaChannel(); }
  bool GetHasAlphaChannel() override { return Image.HasAlphaChannel(); }
  void RemoveAlphaChannel(bool) override {}
  void LockPaint() override {}
  int32_t UnlockPaint() override { return 0; }
  int32_t UnlockPaintNoUpdate() override { return 0; }
  TIEMask* GetSelectionMask() override { return &Mask; }
  bool GetHasSelection() override { return HasSel; }
};

}  // namespace proctest
