#include "kernels/sharpen_threshold.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/sysutils.h"

void IESharpen(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Amount,
               int32_t WindowSize, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  X2 = IEMinInt(X2, W);
  Y2 = IEMinInt(Y2, H);
  X1 = IEMaxInt(X1, 0);
  Y1 = IEMaxInt(Y1, 0);
  if (X1 >= X2 || Y1 >= Y2) return;
  const int32_t hw = IEMaxInt(WindowSize / 2, 0);
  const double k = Amount / 10.0;
  // Summed-area table of the rows the windows reach, per channel: the window
  // sum without the centre row and column is the box minus the row segment
  // minus the column segment plus the centre.
  const int32_t R0 = IEMaxInt(Y1 - hw, 0), R1 = IEMinInt(Y2 - 1 + hw, H - 1);
  const int32_t NR = R1 - R0 + 1;
  const size_t Stride = size_t(W + 1) * 3;
  std::vector<int64_t> S(size_t(NR + 1) * Stride, 0);
  for (int32_t r = 0; r < NR; ++r) {
    const uint8_t* P = Bitmap->LockScanline(R0 + r);
    int64_t* Prev = S.data() + size_t(r) * Stride;
    int64_t* Cur = Prev + Stride;
    int64_t Run[3] = {0, 0, 0};
    for (int32_t x = 0; x < W; ++x)
      for (int32_t c = 0; c < 3; ++c) {
        Run[c] += P[x * 3 + c];
        Cur[size_t(x + 1) * 3 + c] = Prev[size_t(x + 1) * 3 + c] + Run[c];
      }
    Bitmap->UnlockScanline(R0 + r);
  }
  // Box sum over rows ya..yb and columns xa..xb (inclusive, image rows).
  auto Box = [&](int32_t ya, int32_t yb, int32_t xa, int32_t xb, int32_t c) {
    const int64_t* A = S.data() + size_t(ya - R0) * Stride;
    const int64_t* B = S.data() + size_t(yb - R0 + 1) * Stride;
    return B[size_t(xb + 1) * 3 + c] - B[size_t(xa) * 3 + c] - A[size_t(xb + 1) * 3 + c] +
           A[size_t(xa) * 3 + c];
  };
  const int32_t LastRow = IEMinInt(Y2, H) - 1;
  const double F = 100.0 / (LastRow - Y1 + 0.5);
  std::vector<uint8_t> Out(size_t(X2 - X1) * 3);
  for (int32_t y = Y1; y < Y2; ++y) {
    const int32_t ya = IEMaxInt(y - hw, 0), yb = IEMinInt(y + hw, H - 1);
    const uint8_t* P = Bitmap->LockScanline(y);
    for (int32_t x = X1; x < X2; ++x) {
      const int32_t xa = IEMaxInt(x - hw, 0), xb = IEMinInt(x + hw, W - 1);
      const int64_t Count = int64_t(yb - ya) * (xb - xa);
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t v = P[x * 3 + c];
        int64_t Mean = v;
        if (Count > 0)
          Mean = (Box(ya, yb, xa, xb, c) - Box(y, y, xa, xb, c) - Box(ya, yb, x, x, c) + v) / Count;
        const double N = v + (v - double(Mean)) * k;
        Out[size_t(x - X1) * 3 + c] = uint8_t(IEClampByte(int32_t(std::clamp(std::trunc(N), -1.0, 256.0))));
      }
    }
    Bitmap->UnlockScanline(y);
    // The box sums of later rows read the table, never the image, so the
    // row can be written at once.
    std::copy(Out.begin(), Out.end(), Bitmap->LockScanline(y) + size_t(X1) * 3);
    Bitmap->UnlockScanline(y);
    if (OnProgress) OnProgress(Sender, int32_t(F * (y - Y1 + 1)));
  }
}

void IERoundCorners(TIEBitmap* Bitmap, int32_t CornerWidth, int32_t CornerHeight) {
  if (!Bitmap || Bitmap->IsEmpty() || CornerWidth < 1 || CornerHeight < 1) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (!Alpha) return;
  // Corners larger than the image are taken as the image's size.
  CornerWidth = IEMinInt(CornerWidth, W);
  CornerHeight = IEMinInt(CornerHeight, H);
  const int64_t N = int64_t(CornerWidth) + CornerHeight;
  auto Bezier = [](double t, double p0, double p1, double p2, double p3) {
    const double u = 1 - t;
    return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
  };
  auto Clear = [&](int32_t xa, int32_t xb, int32_t ya, int32_t yb) {
    for (int32_t y = IEMaxInt(ya, 0); y <= IEMinInt(yb, H - 1); ++y) {
      uint8_t* A = Alpha->GetScanline(y);
      for (int32_t x = IEMaxInt(xa, 0); x <= IEMinInt(xb, W - 1); ++x) {
        A[x] = 0;
        A[W - 1 - x] = 0;
      }
    }
  };
  for (int64_t s = 1; s <= N; ++s) {
    const double t = double(s) / double(N);
    // Top corners: from (0, CornerHeight) to (CornerWidth, 0).
    int32_t px = IERound(Bezier(t, 0, 0, CornerWidth, CornerWidth));
    int32_t py = IERound(Bezier(t, CornerHeight, 0, 0, 0));
    Clear(0, IEMinInt(px, W - 1), 0, IEMinInt(py, H - 1));
    // Bottom corners: from (W, H - CornerHeight) to (W - CornerWidth, H).
    px = IERound(Bezier(t, W, W, W - CornerWidth, W - CornerWidth));
    py = IERound(Bezier(t, H - CornerHeight, H, H, H));
    Clear(IEMaxInt(px, 0), W - 1, IEMaxInt(py, 0), H - 1);
  }
  Alpha->UpdateFullFlag();
}
