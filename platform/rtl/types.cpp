#include "platform/rtl/types.h"

#include <algorithm>

namespace {
// Edge arithmetic wraps like the 32-bit machine words the callers expect
// instead of overflowing.
int32_t AddWrap(int32_t A, int32_t B) {
  return static_cast<int32_t>(static_cast<uint32_t>(A) + static_cast<uint32_t>(B));
}
int32_t SubWrap(int32_t A, int32_t B) {
  return static_cast<int32_t>(static_cast<uint32_t>(A) - static_cast<uint32_t>(B));
}
}  // namespace

bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

bool PtInRect(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

bool IntersectRect(TRect& Dst, const TRect& A, const TRect& B) {
  TRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
  if (IsRectEmpty(R)) {
    Dst = TRect{};
    return false;
  }
  Dst = R;
  return true;
}

bool UnionRect(TRect& Dst, const TRect& A, const TRect& B) {
  const bool EA = IsRectEmpty(A), EB = IsRectEmpty(B);
  if (EA && EB) {
    Dst = TRect{};
    return false;
  }
  if (EA) {
    Dst = B;
  } else if (EB) {
    Dst = A;
  } else {
    Dst = TRect{std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
                std::max(A.Bottom, B.Bottom)};
  }
  return true;
}

bool OffsetRect(TRect& R, int32_t DX, int32_t DY) {
  R.Left = AddWrap(R.Left, DX);
  R.Right = AddWrap(R.Right, DX);
  R.Top = AddWrap(R.Top, DY);
  R.Bottom = AddWrap(R.Bottom, DY);
  return true;
}

bool InflateRect(TRect& R, int32_t DX, int32_t DY) {
  R.Left = SubWrap(R.Left, DX);
  R.Right = AddWrap(R.Right, DX);
  R.Top = SubWrap(R.Top, DY);
  R.Bottom = AddWrap(R.Bottom, DY);
  return true;
}

bool EqualRect(const TRect& A, const TRect& B) { return A == B; }

bool SetRect(TRect& R, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  R = TRect{Left, Top, Right, Bottom};
  return true;
}

bool SetRectEmpty(TRect& R) {
  R = TRect{};
  return true;
}

TPoint CenterPoint(const TRect& R) {
  const int64_t X = (static_cast<int64_t>(R.Left) + R.Right) / 2;
  const int64_t Y = (static_cast<int64_t>(R.Top) + R.Bottom) / 2;
  return TPoint{static_cast<int32_t>(X), static_cast<int32_t>(Y)};
}
