#include "platform/gdi/region.h"

#include <algorithm>

#include "platform/gdi/canvas.h"
#include "platform/gdi/raster.h"

namespace {

QRect QRectOf(int64_t l, int64_t t, int64_t r, int64_t b) {
  auto c = [](int64_t v) { return int(std::clamp<int64_t>(v, -(1 << 30), 1 << 30)); };
  const int L = c(std::min(l, r)), R = c(std::max(l, r)), T = c(std::min(t, b)), B = c(std::max(t, b));
  if (R <= L || B <= T) return QRect();
  return QRect(QPoint(L, T), QPoint(R - 1, B - 1));
}

// Rows of a figure joined into a region (consecutive equal rows merge).
QRegion FromRows(int32_t top, const std::vector<int32_t>& L, const std::vector<int32_t>& R) {
  QList<QRect> rects;
  size_t i = 0;
  while (i < L.size()) {
    if (L[i] > R[i]) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < L.size() && L[j] == L[i] && R[j] == R[i]) ++j;
    rects.push_back(QRect(QPoint(L[i], top + int(i)), QPoint(R[i], top + int(j) - 1)));
    i = j;
  }
  QRegion rg;
  rg.setRects(rects.constData(), int(rects.size()));
  return rg;
}

// Regions are kept within a range where QRect arithmetic is safe.
constexpr int32_t kLimit = 1 << 30;

}  // namespace

int32_t TRegion::Kind() const {
  if (FRegion.isEmpty()) return NULLREGION;
  return FRegion.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

TRegion CreateRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  const QRect r = QRectOf(Left, Top, Right, Bottom);
  return TRegion(r.isNull() ? QRegion() : QRegion(r));
}

TRegion CreateRectRgnIndirect(const TRect& R) {
  return CreateRectRgn(R.Left, R.Top, R.Right, R.Bottom);
}

TRegion CreateRoundRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                           int32_t CornerWidth, int32_t CornerHeight) {
  const int32_t l = std::clamp(std::min(Left, Right), -kLimit, kLimit);
  const int32_t r = std::clamp(std::max(Left, Right), -kLimit, kLimit);
  const int32_t t = std::clamp(std::min(Top, Bottom), -kLimit, kLimit);
  const int32_t b = std::clamp(std::max(Top, Bottom), -kLimit, kLimit);
  if (r <= l || b <= t) return TRegion();
  // Figures taller than any image are cut to keep the row table small.
  const int32_t y0 = std::max(t, -(1 << 16) * 4), y1 = std::min(b - 1, (1 << 16) * 4);
  if (y1 < y0) return TRegion();
  std::vector<int32_t> L, R;
  gdiraster::ShapeRows(l, t, r, b, std::min(std::abs(CornerWidth), r - l),
                       std::min(std::abs(CornerHeight), b - t), y0, y1, L, R);
  return TRegion(FromRows(y0, L, R));
}

TRegion CreateEllipticRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  const int64_t w = std::llabs(int64_t(Right) - Left), h = std::llabs(int64_t(Bottom) - Top);
  return CreateRoundRectRgn(Left, Top, Right, Bottom, int32_t(std::min<int64_t>(w, kLimit)),
                            int32_t(std::min<int64_t>(h, kLimit)));
}

TRegion CreateEllipticRgnIndirect(const TRect& R) {
  return CreateEllipticRgn(R.Left, R.Top, R.Right, R.Bottom);
}

TRegion CreatePolygonRgn(const TPoint* Points, int32_t Count, int32_t FillMode) {
  if (!Points || Count < 3) return TRegion();
  std::vector<TPoint> pts(Points, Points + Count);
  int32_t minY = INT32_MAX, maxY = INT32_MIN;
  for (auto& p : pts) {
    p.X = std::clamp(p.X, -kLimit, kLimit);
    p.Y = std::clamp(p.Y, -kLimit, kLimit);
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
  }
  minY = std::max(minY, -(1 << 18));
  maxY = std::min(maxY, 1 << 18);
  std::vector<gdiraster::Span> spans;
  gdiraster::PolygonSpans(pts.data(), Count, FillMode, minY, maxY, spans);
  // Spans come row by row, left to right and apart. Touching spans of a row
  // are joined and equal rows stacked, so the region's rectangles are the
  // usual bands (a rectangular polygon is a simple region).
  QList<QRect> rects;
  std::vector<std::pair<int, int>> prev, cur;
  int prevY = 0, bandTop = 0;
  auto flush = [&](int lastY) {
    for (auto& [a, b] : prev) rects.push_back(QRect(QPoint(a, bandTop), QPoint(b, lastY)));
  };
  size_t i = 0;
  bool havePrev = false;
  while (i < spans.size()) {
    const int y = spans[i].Y;
    cur.clear();
    for (; i < spans.size() && spans[i].Y == y; ++i) {
      if (!cur.empty() && spans[i].X0 <= cur.back().second + 1)
        cur.back().second = std::max(cur.back().second, spans[i].X1);
      else
        cur.emplace_back(spans[i].X0, spans[i].X1);
    }
    if (havePrev && y == prevY + 1 && cur == prev) {
      prevY = y;
      continue;
    }
    if (havePrev) flush(prevY);
    prev = cur;
    bandTop = prevY = y;
    havePrev = true;
  }
  if (havePrev) flush(prevY);
  QRegion rg;
  rg.setRects(rects.constData(), int(rects.size()));
  return TRegion(rg);
}

TRegion CreatePolygonRgn(const std::vector<TPoint>& Points, int32_t FillMode) {
  return CreatePolygonRgn(Points.data(), int32_t(Points.size()), FillMode);
}

TRegion ExtCreateRegion(const std::vector<TRect>& Rects) {
  QRegion rg;
  for (const TRect& r : Rects) {
    const QRect q = QRectOf(r.Left, r.Top, r.Right, r.Bottom);
    if (!q.isNull() && r.Right > r.Left && r.Bottom > r.Top) rg += q;
  }
  return TRegion(rg);
}

int32_t CombineRgn(TRegion& Dest, const TRegion& Src1, const TRegion& Src2, int32_t Mode) {
  const QRegion& a = Src1.GetQRegion();
  const QRegion& b = Src2.GetQRegion();
  switch (Mode) {
    case RGN_AND: Dest.SetQRegion(a.intersected(b)); break;
    case RGN_OR: Dest.SetQRegion(a.united(b)); break;
    case RGN_XOR: Dest.SetQRegion(a.xored(b)); break;
    case RGN_DIFF: Dest.SetQRegion(a.subtracted(b)); break;
    case RGN_COPY: Dest.SetQRegion(a); break;
    default: return RGN_ERROR;
  }
  return Dest.Kind();
}

bool PtInRegion(const TRegion& Rgn, int32_t X, int32_t Y) {
  return Rgn.GetQRegion().contains(QPoint(X, Y));
}

bool RectInRegion(const TRegion& Rgn, const TRect& R) {
  const QRect q = QRectOf(R.Left, R.Top, R.Right, R.Bottom);
  return !q.isNull() && Rgn.GetQRegion().intersects(q);
}

int32_t GetRgnBox(const TRegion& Rgn, TRect& Box) {
  const QRect b = Rgn.GetQRegion().boundingRect();
  if (b.isEmpty())
    Box = TRect{};
  else
    Box = TRect{b.left(), b.top(), b.right() + 1, b.bottom() + 1};
  return Rgn.Kind();
}

int32_t OffsetRgn(TRegion& Rgn, int32_t DX, int32_t DY) {
  Rgn.SetQRegion(Rgn.GetQRegion().translated(DX, DY));
  return Rgn.Kind();
}

bool EqualRgn(const TRegion& A, const TRegion& B) { return A == B; }

std::vector<TRect> GetRegionRects(const TRegion& Rgn) {
  std::vector<TRect> out;
  for (const QRect& r : Rgn.GetQRegion()) out.push_back(TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1});
  return out;
}

int32_t SelectClipRgn(TCanvas* DC, const TRegion* Rgn) {
  if (!DC) return RGN_ERROR;
  if (!Rgn) {
    DC->SetClip(std::nullopt);
    return SIMPLEREGION;
  }
  DC->SetClip(Rgn->GetQRegion());
  return Rgn->Kind();
}

int32_t GetClipRgn(TCanvas* DC, TRegion& Rgn) {
  if (!DC || !DC->GetClip()) return 0;
  Rgn.SetQRegion(*DC->GetClip());
  return 1;
}

namespace {

QRegion CurrentClip(TCanvas* DC) {
  if (DC->GetClip()) return *DC->GetClip();
  const QImage* t = DC->GetTarget();
  return t ? QRegion(0, 0, t->width(), t->height()) : QRegion();
}

}  // namespace

int32_t IntersectClipRect(TCanvas* DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (!DC) return RGN_ERROR;
  const TPoint o = DC->GetViewportOrg();
  const QRect r = QRectOf(int64_t(Left) + o.X, int64_t(Top) + o.Y, int64_t(Right) + o.X,
                          int64_t(Bottom) + o.Y);
  const QRegion n = r.isNull() ? QRegion() : CurrentClip(DC).intersected(r);
  DC->SetClip(n);
  return TRegion(n).Kind();
}

int32_t ExcludeClipRect(TCanvas* DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (!DC) return RGN_ERROR;
  const TPoint o = DC->GetViewportOrg();
  const QRect r = QRectOf(int64_t(Left) + o.X, int64_t(Top) + o.Y, int64_t(Right) + o.X,
                          int64_t(Bottom) + o.Y);
  const QRegion n = r.isNull() ? CurrentClip(DC) : CurrentClip(DC).subtracted(r);
  DC->SetClip(n);
  return TRegion(n).Kind();
}
