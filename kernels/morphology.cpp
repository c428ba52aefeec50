#include "kernels/morphology.h"

#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"

void IEMorphFilter(TIEBitmap* Bitmap, int32_t WindowSize, int32_t Operation, int32_t X1, int32_t Y1,
                   int32_t X2, int32_t Y2, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Operation < 0 || Operation > 3) return;
  X2 = IEMinInt(X2, Bitmap->GetWidth());
  Y2 = IEMinInt(Y2, Bitmap->GetHeight());
  X1 = IEMaxInt(X1, 0);
  Y1 = IEMaxInt(Y1, 0);
  const int32_t Rows = Y2 - Y1, Cols = X2 - X1;
  if (Rows <= 0 || Cols <= 0) return;
  // Passes: true takes the brightest pixel.
  bool Passes[2];
  int32_t PassCount = 1;
  switch (Operation) {
    case 0:
      Passes[0] = true;
      break;
    case 1:
      Passes[0] = false;
      break;
    case 2:
      Passes[0] = false, Passes[1] = true, PassCount = 2;
      break;
    default:
      Passes[0] = true, Passes[1] = false, PassCount = 2;
      break;
  }
  double f = 100.0 / ((Rows - 1) + 0.5);
  if (PassCount == 2) f /= 2;
  std::vector<uint8_t> Gray(size_t(Rows) * Cols);
  std::vector<TRGB> Colour(size_t(Rows) * Cols);
  // A window wider than the rectangle only repeats its borders, and visits
  // the distinct pixels in the same order: limit it so huge sizes cost no
  // more than the rectangle.
  const int32_t n = IEMinInt(WindowSize, IEMaxInt(Rows, Cols));
  for (int32_t Pass = 0; Pass < PassCount; ++Pass) {
    const bool Brightest = Passes[Pass];
    for (int32_t r = 0; r < Rows; ++r) {
      const TRGB* P = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(Y1 + r)) + X1;
      for (int32_t c = 0; c < Cols; ++c) {
        Colour[size_t(r) * Cols + c] = P[c];
        Gray[size_t(r) * Cols + c] = uint8_t(IEClampByte(IERGBToGray(P[c])));
      }
    }
    for (int32_t r = 0; r < Rows; ++r) {
      TRGB* D = reinterpret_cast<TRGB*>(Bitmap->GetScanline(Y1 + r)) + X1;
      for (int32_t c = 0; c < Cols; ++c) {
        int32_t Best = Brightest ? 0 : 255;
        size_t BestAt = size_t(r) * Cols + c;
        for (int32_t wr = r - n; wr <= r + n; ++wr) {
          const size_t RowAt = size_t(IEClampInt(wr, 0, Rows - 1)) * Cols;
          for (int32_t wc = c - n; wc <= c + n; ++wc) {
            const size_t At = RowAt + size_t(IEClampInt(wc, 0, Cols - 1));
            const int32_t g = Gray[At];
            if (Brightest ? g > Best : g < Best) {
              Best = g;
              BestAt = At;
            }
          }
        }
        D[c] = Colour[BestAt];
      }
      if (OnProgress) OnProgress(Sender, int32_t((r + 1 + Pass * Rows) * f));
    }
  }
}
