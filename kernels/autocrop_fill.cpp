#include "kernels/autocrop_fill.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/types.h"

namespace {

inline int32_t Brightness(const TRGB& P) { return (int32_t(P.r) + P.g + P.b) / 3; }

// First index from Start stepping by Dir (Count - 1 steps at most) where the
// value and its next neighbour in that direction are both typical; -1 when
// none.
int32_t FirstTypicalPair(const std::vector<int64_t>& Profile, double Mean, double Tolerance, bool Forward) {
  const int32_t N = int32_t(Profile.size());
  const auto Typical = [&](int32_t i) { return std::fabs(double(Profile[i]) - Mean) < Mean / Tolerance; };
  if (Forward) {
    for (int32_t c = 0; c <= N - 2; ++c)
      if (Typical(c) && Typical(c + 1)) return c;
  } else {
    for (int32_t c = N - 1; c >= 1; --c)
      if (Typical(c) && Typical(c - 1)) return c;
  }
  return -1;
}

// Scan-line fill of the 4-connected region of pixels similar to the seed;
// Visit is called once for every pixel of the region.
template <typename TVisit>
void RegionFill(TIEBitmap* B, int32_t X, int32_t Y, int32_t Tolerance, TVisit Visit) {
  const int32_t W = B->GetWidth(), H = B->GetHeight();
  const TRGB Seed = B->GetPixelRGB(X, Y);
  std::vector<uint8_t> Visited(size_t(W) * size_t(H), 0);
  // One colour row at a time, read through the pixel reader of any format.
  std::vector<TRGB> Row(static_cast<size_t>(W));
  int32_t RowY = -1;
  const auto Similar = [&](int32_t x, int32_t y) {
    if (y != RowY) {
      for (int32_t i = 0; i < W; ++i) Row[i] = B->GetPixelRGB(i, y);
      RowY = y;
    }
    const TRGB& P = Row[x];
    return std::abs(int32_t(P.r) - Seed.r) <= Tolerance && std::abs(int32_t(P.g) - Seed.g) <= Tolerance &&
           std::abs(int32_t(P.b) - Seed.b) <= Tolerance;
  };
  struct TSpan {
    int32_t Y, X1, X2;
  };
  std::vector<TSpan> Stack;
  Stack.push_back({Y, X, X});
  while (!Stack.empty()) {
    const TSpan S = Stack.back();
    Stack.pop_back();
    const size_t Base = size_t(S.Y) * W;
    for (int32_t x = S.X1; x <= S.X2; ++x) {
      if (Visited[Base + x] || !Similar(x, S.Y)) continue;
      // Widen to the whole run of similar, unvisited pixels.
      int32_t L = x, R = x;
      while (L > 0 && !Visited[Base + L - 1] && Similar(L - 1, S.Y)) --L;
      while (R < W - 1 && !Visited[Base + R + 1] && Similar(R + 1, S.Y)) ++R;
      for (int32_t i = L; i <= R; ++i) {
        Visited[Base + i] = 1;
        Visit(i, S.Y);
      }
      if (S.Y > 0) Stack.push_back({S.Y - 1, L, R});
      if (S.Y < H - 1) Stack.push_back({S.Y + 1, L, R});
      x = R;
    }
  }
}

}  // namespace

bool IEAutoCropRect(TIEBitmap* Bitmap, TRect& Rect, double Tolerance) {
  if (!Bitmap || !(Tolerance > 0)) return false;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W < 1 || H < 1 || Bitmap->GetPixelFormat() == ieNoFormat) return false;
  std::vector<int64_t> Rows(size_t(H), 0), Cols(size_t(W), 0);
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  for (int32_t y = 0; y < H; ++y) {
    int64_t Sum = 0;
    if (F == ie1g) {
      const uint8_t* Row = Bitmap->GetScanline(y);
      for (int32_t x = 0; x < W; ++x) {
        const int32_t v = (Row[x >> 3] & (0x80u >> (x & 7))) ? 255 : 0;
        Sum += v;
        Cols[x] += v;
      }
    } else if (F == ie24RGB) {
      const TRGB* Row = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(y));
      for (int32_t x = 0; x < W; ++x) {
        const int32_t v = Brightness(Row[x]);
        Sum += v;
        Cols[x] += v;
      }
    } else {
      for (int32_t x = 0; x < W; ++x) {
        const int32_t v = Brightness(Bitmap->GetPixelRGB(x, y));
        Sum += v;
        Cols[x] += v;
      }
    }
    Rows[y] = Sum;
  }
  double Total = 0;
  for (int64_t v : Rows) Total += double(v);
  const double MeanRow = Total / H, MeanCol = Total / W;
  const int32_t Left = FirstTypicalPair(Cols, MeanCol, Tolerance, true);
  const int32_t Right = FirstTypicalPair(Cols, MeanCol, Tolerance, false);
  const int32_t Top = FirstTypicalPair(Rows, MeanRow, Tolerance, true);
  const int32_t Bottom = FirstTypicalPair(Rows, MeanRow, Tolerance, false);
  // No typical pair on a side, or sides that cross: there is no content
  // rectangle to offer.
  if (Left < 0 || Right < 0 || Top < 0 || Bottom < 0 || Left > Right || Top > Bottom) return false;
  Rect.Left = Left;
  Rect.Top = Top;
  Rect.Right = Right;
  Rect.Bottom = Bottom;
  return true;
}

void IEFillRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TRGB Colour,
                const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Bitmap->GetWidth());
  Y2 = std::min(Y2, Bitmap->GetHeight());
  if (X1 >= X2 || Y1 >= Y2) return;
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  if (F != ie1g && F != ie8g && F != ie24RGB) {
    Bitmap->FillRect(X1, Y1, X2 - 1, Y2 - 1, double(IERGBToColor(Colour)));
    return;
  }
  const int32_t LastRow = Y2 - 1;
  const double Per = 100.0 / (LastRow - Y1 + 0.5);
  const uint8_t Gray = uint8_t(IERGBToGray(Colour));
  for (int32_t y = Y1; y < Y2; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    if (F == ie1g) {
      for (int32_t x = X1; x < X2; ++x) {
        const uint8_t Mask = uint8_t(0x80u >> (x & 7));
        if (Colour.r != 0)
          Row[x >> 3] |= Mask;
        else
          Row[x >> 3] &= uint8_t(~Mask);
      }
    } else if (F == ie8g) {
      std::fill(Row + X1, Row + X2, Gray);
    } else {
      TRGB* P = reinterpret_cast<TRGB*>(Row);
      std::fill(P + X1, P + X2, Colour);
    }
    if (OnProgress) OnProgress(Sender, int32_t(Per * (y - Y1 + 1)));
  }
}

void IECastColor(TIEBitmap* Bitmap, int32_t X, int32_t Y, TRGB Colour, int32_t Tolerance,
                 const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || X < 0 || Y < 0 || X >= Bitmap->GetWidth() || Y >= Bitmap->GetHeight()) return;
  if (Bitmap->GetPixelFormat() != ie24RGB) return;
  const int32_t W = Bitmap->GetWidth();
  std::vector<uint8_t> Region(size_t(W) * size_t(Bitmap->GetHeight()), 0);
  int32_t Top = INT32_MAX, Bottom = -1, Left = INT32_MAX, Right = -1;
  RegionFill(Bitmap, X, Y, Tolerance, [&](int32_t x, int32_t y) {
    Region[size_t(y) * W + x] = 1;
    Top = std::min(Top, y);
    Bottom = std::max(Bottom, y);
    Left = std::min(Left, x);
    Right = std::max(Right, x);
  });
  if (Bottom < 0) return;
  const double Per = 100.0 / (Bottom - Top + 1);
  for (int32_t y = Top; y <= Bottom; ++y) {
    TRGB* Row = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    const uint8_t* M = &Region[size_t(y) * W];
    for (int32_t x = Left; x <= Right; ++x)
      if (M[x]) Row[x] = Colour;
    if (OnProgress) OnProgress(Sender, int32_t((y - Top) * Per));
  }
}
