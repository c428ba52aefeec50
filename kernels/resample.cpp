#include "kernels/resample.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

// First source cell covered by target cell I of N over a source of S cells,
// and one past the last; every target cell covers at least one source cell.
void CoveredRange(int32_t I, int32_t N, int32_t S, int32_t& From, int32_t& To) {
  From = static_cast<int32_t>(int64_t(I) * S / N);
  To = static_cast<int32_t>(int64_t(I + 1) * S / N);
  if (From >= S) From = S - 1;
  if (To <= From) To = From + 1;
}

}  // namespace

void IEResample1BitBoxGray(TIEBitmap* Source, TIEBitmap* Dest) {
  const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
  const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  std::vector<int32_t> ColumnWhite(static_cast<size_t>(sw));
  std::vector<uint8_t> Row(static_cast<size_t>(Source->GetRowLen()));
  for (int32_t y = 0; y < dh; ++y) {
    int32_t y0, y1;
    CoveredRange(y, dh, sh, y0, y1);
    std::fill(ColumnWhite.begin(), ColumnWhite.end(), 0);
    for (int32_t sy = y0; sy < y1; ++sy) {
      // The mapped row of a file-backed bitmap lives only until the next
      // request: copy it first.
      const uint8_t* Src = Source->GetScanline(sy);
      std::copy(Src, Src + Row.size(), Row.begin());
      for (int32_t sx = 0; sx < sw; ++sx)
        if (Row[size_t(sx >> 3)] & (0x80 >> (sx & 7))) ++ColumnWhite[size_t(sx)];
    }
    uint8_t* Dst = Dest->GetScanline(y);
    for (int32_t x = 0; x < dw; ++x) {
      int32_t x0, x1;
      CoveredRange(x, dw, sw, x0, x1);
      int64_t White = 0;
      for (int32_t sx = x0; sx < x1; ++sx) White += ColumnWhite[size_t(sx)];
      const int64_t Count = int64_t(x1 - x0) * (y1 - y0);
      const uint8_t v = static_cast<uint8_t>((White * 255 + Count / 2) / Count);
      Dst[x * 3] = Dst[x * 3 + 1] = Dst[x * 3 + 2] = v;
    }
  }
}


void IEStretchNearest(TIEBitmap* Source, TIEBitmap* Dest) {
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  Source->CopyPaletteTo(Dest);
  const int32_t Bits = Source->GetBitCount();
  std::vector<int32_t> XMap(static_cast<size_t>(DW));
  for (int32_t X = 0; X < DW; ++X) XMap[X] = static_cast<int32_t>(int64_t(X) * SW / DW);
  const int64_t SrcRowLen = Source->GetRowLen();
  std::vector<uint8_t> Row(static_cast<size_t>(SrcRowLen));
  const int32_t Bpp = Bits / 8;
  for (int32_t Y = 0; Y < DH; ++Y) {
    const int32_t SY = static_cast<int32_t>(int64_t(Y) * SH / DH);
    // a file-backed row stays valid only until the next request: copy it
    std::memcpy(Row.data(), Source->GetScanline(SY), static_cast<size_t>(SrcRowLen));
    uint8_t* D = Dest->GetScanline(Y);
    if (Bits == 1) {
      std::memset(D, 0, static_cast<size_t>((DW + 7) / 8));
      for (int32_t X = 0; X < DW; ++X) {
        const int32_t SX = XMap[X];
        if (Row[SX >> 3] & (0x80 >> (SX & 7))) D[X >> 3] |= uint8_t(0x80 >> (X & 7));
      }
    } else {
      for (int32_t X = 0; X < DW; ++X) std::memcpy(D + int64_t(X) * Bpp, Row.data() + int64_t(XMap[X]) * Bpp, Bpp);
    }
  }
}

void IEStretchLinear24(TIEBitmap* Source, TIEBitmap* Dest) {
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  const int64_t RowLen = Source->GetRowLen();
  std::vector<uint8_t> R0(static_cast<size_t>(RowLen)), R1(static_cast<size_t>(RowLen));
  // source coordinate of a destination pixel centre
  auto Map = [](int32_t D, int32_t SN, int32_t DN, int32_t& I0, int32_t& I1, int32_t& F) {
    const double S = (D + 0.5) * SN / DN - 0.5;
    int32_t I = static_cast<int32_t>(S < 0 ? 0 : S);
    double Frac = S - I;
    if (S < 0) Frac = 0;
    if (I >= SN - 1) {
      I = SN - 1;
      Frac = 0;
    }
    I0 = I;
    I1 = I + 1 < SN ? I + 1 : I;
    F = static_cast<int32_t>(Frac * 256);
  };
  std::vector<int32_t> X0(static_cast<size_t>(DW)), X1(static_cast<size_t>(DW)), FX(static_cast<size_t>(DW));
  for (int32_t X = 0; X < DW; ++X) Map(X, SW, DW, X0[X], X1[X], FX[X]);
  for (int32_t Y = 0; Y < DH; ++Y) {
    int32_t Y0, Y1, FY;
    Map(Y, SH, DH, Y0, Y1, FY);
    std::memcpy(R0.data(), Source->GetScanline(Y0), static_cast<size_t>(RowLen));
    std::memcpy(R1.data(), Source->GetScanline(Y1), static_cast<size_t>(RowLen));
    uint8_t* D = Dest->GetScanline(Y);
    for (int32_t X = 0; X < DW; ++X) {
      for (int32_t C = 0; C < 3; ++C) {
        const int32_t A = R0[X0[X] * 3 + C], B = R0[X1[X] * 3 + C];
        const int32_t Cc = R1[X0[X] * 3 + C], Dd = R1[X1[X] * 3 + C];
        const int32_t Top = A * (256 - FX[X]) + B * FX[X];
        const int32_t Bot = Cc * (256 - FX[X]) + Dd * FX[X];
        D[X * 3 + C] = static_cast<uint8_t>((Top * (256 - FY) + Bot * FY + 32768) >> 16);
      }
    }
  }
}

