#include "kernels/depth_convert.h"

#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "kernels/quantizer.h"

void IEQuantizeInPlace(TIEBitmap* Bitmap, int32_t Colors, TRGB* Palette, TIEProgressRec* Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty() || Colors < 1) return;
  std::vector<TRGB> Own;
  if (!Palette) {
    Own.resize(size_t(Colors));
    Palette = Own.data();
  }
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  // The quantizer reads the image while it maps, so the result is built in a
  // copy and replaces the pixels at the end.
  TIEBitmap Out(W, H, ie24RGB);
  {
    TIEQuantizer Q(Bitmap, Palette, Colors, Colors);
    const double Step = 100.0 / (H + 0.5);
    for (int32_t y = 0; y < H; ++y) {
      const TRGB* S = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(y));
      std::vector<TRGB> Row(S, S + W);
      for (TRGB& P : Row) {
        const int32_t I = Q.ColorToIndex(P);
        if (I >= 0 && I < Colors) P = Palette[I];
      }
      std::copy(Row.begin(), Row.end(), reinterpret_cast<TRGB*>(Out.GetScanline(y)));
      if (Progress) Progress->Report(int32_t(Step * (y + 1)));
    }
  }
  std::unique_ptr<TIEBitmap> Alpha = Bitmap->DetachAlphaChannel();
  Bitmap->AssignImage(&Out);
  if (Alpha) Bitmap->AttachAlphaChannel(std::move(Alpha));
}
