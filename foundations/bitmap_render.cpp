// TIEBitmap::RenderToTIEBitmap: clipping, the filtered pre-pass, the index
// tables and the twenty row kernels, and the render operations.
//
// Steps are 14-bit fixed point (16384 = 1:1) and only decide whether the
// 1:1 copy applies; source positions come from per-column and per-row index
// tables, so the inner loops do one lookup per pixel.  Every table entry a
// kernel uses is checked against the source before the kernel runs, so the
// kernels never read outside the source.
#include "foundations/bitmap_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "foundations/colour_conversion.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"
#include "foundations/pixel_utils.h"

std::function<void(TIEBitmap*, TIEBitmap*, TResampleFilter)> IEResampleExHook;
std::function<void(TIEBitmap*, TIEBitmap*, TResampleFilter)> IEResample1BitExHook;
std::function<void(TIEBitmap*, TIEBitmap*, TResampleFilter)> IEResample8BitHook;
std::function<void(TIEBitmap*, int32_t, int32_t, int32_t, int32_t, TIEBitmap*)>
    IEResample1BitBoxGrayHook;
std::function<void(TIEBitmap*, TIEBitmap*)> IEBmpStretchExHook;

// ---------------------------------------------------------------------------
// Resampler calls and the nearest-neighbour stand-in

void IERenderStretchNearest(TIEBitmap* Source, TIEBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->IsEmpty() || Dest->IsEmpty())
    return;
  int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  TIEPixelFormat SF = Source->GetPixelFormat(), DF = Dest->GetPixelFormat();
  std::vector<int32_t> Cols(static_cast<size_t>(DW));
  for (int32_t X = 0; X < DW; ++X) Cols[size_t(X)] = int32_t(int64_t(X) * SW / DW);
  int32_t Bpp = IEBitCountOf(SF) / 8;
  for (int32_t Y = 0; Y < DH; ++Y) {
    int32_t SY = int32_t(int64_t(Y) * SH / DH);
    // The source row is held through a lease: at ieFile it stays mapped
    // while Dest's row and the pixel reads below map rows of their own.
    const TIERowLease SourceRow(Source, SY);
    const uint8_t* Row = SourceRow.Get();
    if (Row == nullptr) continue;
    uint8_t* D = Dest->GetScanline(Y);
    if (D == nullptr) continue;
    for (int32_t X = 0; X < DW; ++X) {
      int32_t C = Cols[size_t(X)];
      if (SF == DF && SF == ie1g) {
        bool Bit = (Row[size_t(C >> 3)] >> (7 - (C & 7))) & 1;
        uint8_t M = uint8_t(0x80 >> (X & 7));
        D[X >> 3] = Bit ? uint8_t(D[X >> 3] | M) : uint8_t(D[X >> 3] & ~M);
      } else if (SF == DF) {
        std::memcpy(D + int64_t(X) * Bpp, Row + int64_t(C) * Bpp, size_t(Bpp));
      } else if (DF == ie24RGB) {
        TRGB P;
        if (SF == ie1g) {
          uint8_t V = (Row[size_t(C >> 3)] >> (7 - (C & 7))) & 1 ? 255 : 0;
          P = TRGB{V, V, V};
        } else {
          P = Source->GetPixelRGB(C, SY);
          D = Dest->GetScanline(Y);
        }
        std::memcpy(D + 3 * int64_t(X), &P, 3);
      }
    }
  }
}

namespace {
TIERenderResamplers& InstalledResamplers() {
  static TIERenderResamplers Resamplers;
  return Resamplers;
}
}  // namespace

void IEInstallRenderResamplers(const TIERenderResamplers& Resamplers) { InstalledResamplers() = Resamplers; }

const TIERenderResamplers& IEInstalledRenderResamplers() { return InstalledResamplers(); }

void IERenderResample(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (IEResampleExHook)
    IEResampleExHook(Source, Dest, Filter);
  else if (auto Installed = InstalledResamplers().ResampleEx)
    Installed(Source, Dest, Filter);
  else
    IERenderStretchNearest(Source, Dest);
}

void IERenderResample1Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (IEResample1BitExHook)
    IEResample1BitExHook(Source, Dest, Filter);
  else
    IERenderStretchNearest(Source, Dest);
}

void IERenderResample8Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (IEResample8BitHook)
    IEResample8BitHook(Source, Dest, Filter);
  else
    IERenderStretchNearest(Source, Dest);
}

void IERenderResample1BitBoxGray(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                 TIEBitmap* Dest) {
  if (IEResample1BitBoxGrayHook) {
    IEResample1BitBoxGrayHook(Source, X1, Y1, X2, Y2, Dest);
    return;
  }
  if (auto Installed = InstalledResamplers().Resample1BitBoxGray) {
    Installed(Source, X1, Y1, X2, Y2, Dest);
    return;
  }
  TIEBitmap Part;
  Part.SetLocation(ieMemory);
  if (!Part.Allocate(X2 - X1 + 1, Y2 - Y1 + 1, ie1g)) return;
  Source->CopyRectTo(&Part, X1, Y1, 0, 0, X2 - X1 + 1, Y2 - Y1 + 1);
  IERenderStretchNearest(&Part, Dest);
}

void IERenderBmpStretch(TIEBitmap* Source, TIEBitmap* Dest) {
  if (IEBmpStretchExHook)
    IEBmpStretchExHook(Source, Dest);
  else if (auto Installed = InstalledResamplers().BmpStretch)
    Installed(Source, Dest);
  else
    IERenderStretchNearest(Source, Dest);
}

// ---------------------------------------------------------------------------
// Render operations

void IERenderRGBToHSL(const TRGB& Pixel, double& Hue, double& Saturation, double& Lightness) {
  double R = Pixel.r / 255.0, G = Pixel.g / 255.0, B = Pixel.b / 255.0;
  double Max = std::max({R, G, B}), Min = std::min({R, G, B});
  Lightness = (Max + Min) / 2;
  if (Max == Min) {
    Hue = Saturation = 0;
    return;
  }
  double D = Max - Min;
  Saturation = Lightness > 0.5 ? D / (2 - Max - Min) : D / (Max + Min);
  if (Max == R)
    Hue = (G - B) / D + (G < B ? 6 : 0);
  else if (Max == G)
    Hue = (B - R) / D + 2;
  else
    Hue = (R - G) / D + 4;
  Hue /= 6;
  Hue -= std::floor(Hue);
}

TRGB IERenderHSLToRGB(double Hue, double Saturation, double Lightness) {
  if (!std::isfinite(Hue)) Hue = 0;
  Hue -= std::floor(Hue);
  Saturation = std::clamp(std::isfinite(Saturation) ? Saturation : 0.0, 0.0, 1.0);
  Lightness = std::clamp(std::isfinite(Lightness) ? Lightness : 0.0, 0.0, 1.0);
  auto Byte = [](double V) { return uint8_t(IEClampByte(IERound(V * 255))); };
  if (Saturation == 0) {
    uint8_t L = Byte(Lightness);
    return TRGB{L, L, L};
  }
  double Q = Lightness < 0.5 ? Lightness * (1 + Saturation)
                             : Lightness + Saturation - Lightness * Saturation;
  double P = 2 * Lightness - Q;
  auto Channel = [&](double T) {
    if (T < 0) T += 1;
    if (T > 1) T -= 1;
    if (T < 1.0 / 6) return P + (Q - P) * 6 * T;
    if (T < 0.5) return Q;
    if (T < 2.0 / 3) return P + (Q - P) * (2.0 / 3 - T) * 6;
    return P;
  };
  return IECreateRGB(Byte(Channel(Hue + 1.0 / 3)), Byte(Channel(Hue)), Byte(Channel(Hue - 1.0 / 3)));
}

namespace {

inline int32_t ClampB(int32_t V) { return V < 0 ? 0 : (V > 255 ? 255 : V); }

// One channel of the per-channel operations.
inline int32_t ChannelOp(TIERenderOperation Op, int32_t S, int32_t D) {
  switch (Op) {
    case 1: return std::min(D + S, 255);
    case 2: return std::abs(D - S);
    case 3: return D / std::max(S, 1);
    case 4: return (S * D) >> 8;
    case 5: return D | S;
    case 6: return D & S;
    case 7: return D ^ S;
    case 8: return std::max(D, S);
    case 9: return std::min(D, S);
    case 10: return (D + S) >> 1;
    case 11: return int32_t(255 - (255 - D) * (255 - S) / 255.0);
    case 12: return 255 - std::abs(255 - S - D);
    case 13: return ClampB((D + S - (S * D) / 128) % 256);
    case 14: return D >= 128 ? 255 - (((255 - D) * (255 - S)) >> 7) : (S * D) >> 7;
    case 15: return S >= 128 ? 255 - (((255 - D) * (255 - S)) >> 7) : (S * D) >> 7;
    case 16: {
      double C = S / 255.0, E = D / 255.0;
      double V = C >= 0.5 ? std::sqrt(E) * (2 * C - 1) + 2 * E * (1 - C)
                          : E * E * (1 - 2 * C) + 2 * C * E;
      return int32_t(255 * V);
    }
    case 17: {
      int32_t M = (S * D) >> 8;
      int32_t K = 255 - (((255 - D) * (255 - S)) >> 8) - M;
      return M + ((D * K) >> 8);
    }
    case 18: return S == 255 ? 255 : std::min(D * 256 / (255 - S), 255);
    case 19: return S == 0 ? 0 : std::max(255 - ((255 - D) << 8) / S, 0);
    case 20: return D == 255 ? 255 : std::min(S * 256 / (255 - D), 255);
    case 21: return D == 0 ? 0 : std::max(255 - ((255 - S) << 8) / D, 0);
    case 22:
      if (S + D < 256) return S == 255 ? 255 : std::min(D * 128 / (255 - S), 255);
      return std::max(255 - ((255 - S) << 7) / D, 0);
    case 23:
      if (S + D < 256) return D == 255 ? 255 : std::min(S * 128 / (255 - D), 255);
      return std::max(255 - ((255 - D) << 7) / S, 0);
    case 24: return S == 255 ? 255 : std::min(D * D / (255 - S), 255);
    case 25: return D == 255 ? 255 : std::min(S * S / (255 - D), 255);
    case 26: return S == 0 ? 0 : std::max(255 - (255 - D) * (255 - D) / S, 0);
    case 27: return D == 0 ? 0 : std::max(255 - (255 - S) * (255 - S) / D, 0);
    case 28: return D + S - 256;
    case 29: return std::min(IECosineRamp[size_t(S)] + IECosineRamp[size_t(D)], 255);
    case 30: return D + 2 * S - 256;
    default: return D;
  }
}

}  // namespace

TRGB IERenderCombine(TIERenderOperation Op, const TRGB& S, const TRGB& D, int32_t Row) {
  if (Op == 0) return S;
  if (Op <= 30) {
    return IECreateRGB(uint8_t(ClampB(ChannelOp(Op, S.r, D.r))),
                       uint8_t(ClampB(ChannelOp(Op, S.g, D.g))),
                       uint8_t(ClampB(ChannelOp(Op, S.b, D.b))));
  }
  TRGB R = D;
  switch (Op) {
    case 31: R.r = S.r; break;
    case 32: R.g = S.g; break;
    case 33: R.b = S.b; break;
    case 34:
    case 35:
    case 36:
    case 37: {
      double Sh, Ss, Sl, Dh, Ds, Dl;
      IERenderRGBToHSL(S, Sh, Ss, Sl);
      IERenderRGBToHSL(D, Dh, Ds, Dl);
      if (Op == 34) R = IERenderHSLToRGB(Sh, Ds, Dl);
      if (Op == 35) R = IERenderHSLToRGB(Dh, Ss, Dl);
      if (Op == 36) R = IERenderHSLToRGB(Sh, Ss, Dl);
      if (Op == 37) R = IERenderHSLToRGB(Sh, Ds, Sl);
      break;
    }
    case 38: {
      R.r = uint8_t(ClampB(IERGBToGray(D)));
      R.g = R.b = uint8_t(ClampB(IERGBToGray(S)));
      break;
    }
    case 39: R.g = S.g, R.b = S.b; break;
    case 40: {
      double DR = D.r, DG = D.g, DB = D.b, SR = S.r, SG = S.g, SB = S.b;
      double Red = 0.4561 * DR + 0.500484 * DG + 0.176381 * DB - 0.0434706 * SR -
                   0.0879388 * SG - 0.00155529 * SB;
      double Green = -0.0400822 * DR - 0.0378246 * DG - 0.0157589 * DB + 0.378476 * SR +
                     0.73364 * SG - 0.0184503 * SB;
      double Blue = -0.0152161 * DR - 0.0205971 * DG - 0.00546856 * DB - 0.0721527 * SR -
                    0.112961 * SG + 1.2264 * SB;
      R = IECreateRGB(uint8_t(ClampB(IERound(Red))), uint8_t(ClampB(IERound(Green))),
                      uint8_t(ClampB(IERound(Blue))));
      break;
    }
    case 41:
      if ((Row & 1) == 0) R = S;
      break;
    case 42:
      if ((Row & 1) == 1) R = S;
      break;
    default: break;
  }
  return R;
}

// ---------------------------------------------------------------------------
// The kernels

struct TIEBitmap::TIERenderRows {
  uint8_t* const* RowTable = nullptr;  // Dest's rows
  TIEBitmap* Dest = nullptr;
  int32_t XStep = 16384, YStep = 16384;
  int32_t Y1 = 0, Y2 = -1, X1 = 0, X2 = -1;  // written span, inclusive
  int32_t DX = 0, DY = 0, SX = 0, SY = 0;    // destination and source origin
  const int32_t* XTable = nullptr;           // [x - X1]; null at 1:1 copy
  const int32_t* YTable = nullptr;           // [y - Y1]
  TIERenderOperation RenderOperation = 0;
  bool RowReuse = false;
  bool UseAlpha = false;
  int32_t Transparency = 255;
};

namespace {

using Rows = const void*;

// What the RGB kernels do to a source pixel before combining: contrast and
// channel offsets, then (24-bit opaque kernel) the display range.
struct Adjuster {
  bool Active = false;
  int64_t K = 65536;
  int32_t Off[3] = {0, 0, 0};  // red, green, blue
  bool Range = false;
  int32_t Lo = 0, Hi = 0;
  double Span = 1;
  inline uint8_t Channel(int32_t C, int32_t Offset) const {
    int64_t V = K * (C + Offset - 128) / 65536 + 128;
    return uint8_t(V < 0 ? 0 : (V > 255 ? 255 : V));
  }
  inline uint8_t MapRange(int32_t V) const {
    int32_t C = IEClampInt(V, Lo, Hi);
    double R = (C - Lo) / Span * 255;
    return uint8_t(R <= 0 ? 0 : (R >= 255 ? 255 : int32_t(R)));
  }
  inline TRGB Apply(TRGB P) const {
    P.r = Channel(P.r, Off[0]);
    P.g = Channel(P.g, Off[1]);
    P.b = Channel(P.b, Off[2]);
    if (Range) {
      P.r = MapRange(P.r);
      P.g = MapRange(P.g);
      P.b = MapRange(P.b);
    }
    return P;
  }
};

double ContrastFactor(int32_t Contrast) {
  return Contrast < 0 ? 1 - std::sqrt(double(-Contrast)) / 10 : Contrast / 10.0 + 1;
}

// The display range of gray values: truncated bounds, the span from the
// values themselves.
struct GrayRange {
  bool Active = false;
  int32_t Lo = 0, Hi = 0;
  double Low = 0, Span = 1;
  explicit GrayRange(TIEBitmap* B) {
    double L = B->GetRangeLow(), H = B->GetRangeHigh();
    Active = H - L != 0 && std::isfinite(H - L);
    if (!Active) return;
    auto Trunc32 = [](double V) {
      return int32_t(std::clamp(V, -2147483648.0, 2147483647.0));
    };
    Lo = Trunc32(L);
    Hi = Trunc32(H);
    Low = L;
    Span = H - L;
  }
  inline uint8_t Map(int32_t V) const {
    double R = (IEClampInt(V, Lo, Hi) - Lo) / Span * 255;
    return uint8_t(R <= 0 ? 0 : (R >= 255 ? 255 : int32_t(R)));
  }
};

// Runs the rows of one kernel.  Read(row, column) gives the source pixel as
// (B, G, R); WithOp combines it with the destination by the render
// operation; Blend mixes by min(Transparency, alpha).
template <bool Blend, bool WithOp, class Reader>
void RunRows(TIEBitmap* Source, const TIEBitmap::TIERenderRows& A, TIEBitmap* AlphaPlane,
             Reader&& Read) {
  const int32_t Count = A.X2 - A.X1 + 1;
  // Only a result that depends on nothing but the source row may be copied
  // from the row above.
  const bool Reuse = A.RowReuse && !Blend && (!WithOp || A.RenderOperation == 0);
  int32_t Prev = -1;
  const int32_t T = A.Transparency;
  for (int32_t Y = A.Y1; Y <= A.Y2; ++Y) {
    const int32_t R = A.YTable[Y - A.Y1];
    uint8_t* D = A.RowTable[Y] + 3 * int64_t(A.X1);
    if (Reuse && R == Prev) {
      std::memcpy(D, A.RowTable[Y - 1] + 3 * int64_t(A.X1), size_t(3) * size_t(Count));
      continue;
    }
    Prev = R;
    const uint8_t* S = Source->GetScanline(R);
    const uint8_t* Al = nullptr;
    if constexpr (Blend) {
      if (AlphaPlane != nullptr) Al = AlphaPlane->GetScanline(R);
    }
    if (S == nullptr) continue;
    const int32_t* XT = A.XTable;
    for (int32_t I = 0; I < Count; ++I, D += 3) {
      const int32_t C = XT[I];
      TRGB V = Read(S, C);
      if constexpr (WithOp) {
        if (A.RenderOperation != 0) {
          TRGB Dp{D[0], D[1], D[2]};
          V = IERenderCombine(A.RenderOperation, V, Dp, Y);
        }
      }
      if constexpr (Blend) {
        int32_t Alpha = Al != nullptr ? std::min<int32_t>(T, Al[C]) : T;
        D[0] = uint8_t(D[0] + ((Alpha * (int32_t(V.b) - D[0])) >> 8));
        D[1] = uint8_t(D[1] + ((Alpha * (int32_t(V.g) - D[1])) >> 8));
        D[2] = uint8_t(D[2] + ((Alpha * (int32_t(V.r) - D[2])) >> 8));
      } else {
        D[0] = V.b;
        D[1] = V.g;
        D[2] = V.r;
      }
    }
  }
}

template <class Reader>
void Dispatch(TIEBitmap* Source, const TIEBitmap::TIERenderRows& A, bool Blend, bool WithOp,
              Reader&& Read) {
  TIEBitmap* Alpha = A.UseAlpha ? Source->GetAlphaChannel() : nullptr;
  if (Blend) {
    if (WithOp)
      RunRows<true, true>(Source, A, Alpha, Read);
    else
      RunRows<true, false>(Source, A, Alpha, Read);
  } else {
    if (WithOp)
      RunRows<false, true>(Source, A, Alpha, Read);
    else
      RunRows<false, false>(Source, A, Alpha, Read);
  }
}

Adjuster MakeAdjuster(TIEBitmap* B, bool WithRange) {
  Adjuster Adj;
  int32_t Contrast = B->GetContrast();
  Adj.K = int64_t(ContrastFactor(Contrast) * 65536);
  for (int I = 0; I < 3; ++I) Adj.Off[I] = B->GetChannelOffset(I);
  GrayRange Range(B);
  Adj.Range = WithRange && Range.Active;
  Adj.Lo = Range.Lo;
  Adj.Hi = Range.Hi;
  Adj.Span = Range.Span;
  return Adj;
}

inline TRGB Gray(uint8_t V) { return TRGB{V, V, V}; }

}  // namespace

// 24-bit: a straight row-piece copy at 1:1 without adjustment, else the
// adjusting path when anything asks for it.
void TIEBitmap::DrawRows24RGB(const TIERenderRows& A) {
  if (A.XTable == nullptr) {
    // 1:1: destination row y shows source row y + sy - dy from column
    // x1 + sx - dx, clipped to the source.
    int64_t SC = int64_t(A.X1) + A.SX - A.DX;
    int64_t N = std::min<int64_t>(A.X2 - A.X1 + 1, int64_t(FWidth) - SC);
    if (SC < 0 || N <= 0) return;
    for (int32_t Y = A.Y1; Y <= A.Y2; ++Y) {
      int64_t R = int64_t(Y) + A.SY - A.DY;
      if (R < 0 || R >= FHeight) continue;
      const uint8_t* S = GetScanline(int32_t(R));
      if (S != nullptr) std::memcpy(A.RowTable[Y] + 3 * int64_t(A.X1), S + 3 * SC, size_t(3 * N));
    }
    return;
  }
  GrayRange Range(this);
  bool Adjusting = FAdjust != 0 || FContrast != 0 || A.RenderOperation != 0 || Range.Active;
  if (!Adjusting) {
    Dispatch(this, A, false, false, [](const uint8_t* S, int32_t C) {
      const uint8_t* P = S + 3 * int64_t(C);
      return TRGB{P[0], P[1], P[2]};
    });
    return;
  }
  Adjuster Adj = MakeAdjuster(this, true);
  Dispatch(this, A, false, true, [&Adj](const uint8_t* S, int32_t C) {
    const uint8_t* P = S + 3 * int64_t(C);
    return Adj.Apply(TRGB{P[0], P[1], P[2]});
  });
}

void TIEBitmap::DrawRows24RGBAlpha(const TIERenderRows& A) {
  bool Adjusting = FAdjust != 0 || FContrast != 0 || A.RenderOperation != 0;
  Adjuster Adj = MakeAdjuster(this, false);
  Dispatch(this, A, true, Adjusting, [&Adj, Adjusting](const uint8_t* S, int32_t C) {
    const uint8_t* P = S + 3 * int64_t(C);
    TRGB V{P[0], P[1], P[2]};
    return Adjusting ? Adj.Apply(V) : V;
  });
}

void TIEBitmap::DrawRows32RGB(const TIERenderRows& A) {
  Adjuster Adj = MakeAdjuster(this, false);
  Dispatch(this, A, false, true, [&Adj](const uint8_t* S, int32_t C) {
    const uint8_t* P = S + 4 * int64_t(C);
    return Adj.Apply(TRGB{P[0], P[1], P[2]});
  });
}

void TIEBitmap::DrawRows32RGBAlpha(const TIERenderRows& A) {
  bool Adjusting = FAdjust != 0 || FContrast != 0 || A.RenderOperation != 0;
  Adjuster Adj = MakeAdjuster(this, false);
  Dispatch(this, A, true, Adjusting, [&Adj, Adjusting](const uint8_t* S, int32_t C) {
    const uint8_t* P = S + 4 * int64_t(C);
    TRGB V{P[0], P[1], P[2]};
    return Adjusting ? Adj.Apply(V) : V;
  });
}

namespace {
// Branch-free: fax pages are too irregular for a predicted branch per pixel.
inline TRGB Bit1(const uint8_t* S, int32_t C) {
  return Gray(uint8_t(0u - ((uint32_t(S[C >> 3]) >> (7 - (C & 7))) & 1u)));
}
}  // namespace

// At 1:1 a fax row is expanded a byte (eight pixels) at a time.
void TIEBitmap::DrawRows1g(const TIERenderRows& A) {
  const int32_t Count = A.X2 - A.X1 + 1;
  bool Consecutive = A.XTable != nullptr && A.XStep == 16384 && Count >= 64;
  for (int32_t I = 1; Consecutive && I < Count; ++I) Consecutive = A.XTable[I] == A.XTable[0] + I;
  if (!Consecutive) {
    Dispatch(this, A, false, false, [](const uint8_t* S, int32_t C) { return Bit1(S, C); });
    return;
  }
  static const auto Expand = [] {
    std::array<std::array<uint8_t, 24>, 256> T{};
    for (int32_t B = 0; B < 256; ++B)
      for (int32_t J = 0; J < 8; ++J) {
        uint8_t V = (B >> (7 - J)) & 1 ? 255 : 0;
        T[size_t(B)][size_t(3 * J)] = T[size_t(B)][size_t(3 * J + 1)] = T[size_t(B)][size_t(3 * J + 2)] = V;
      }
    return T;
  }();
  const int32_t C0 = A.XTable[0], Sh = C0 & 7;
  const int32_t Groups = Count / 8;
  int32_t Prev = -1;
  for (int32_t Y = A.Y1; Y <= A.Y2; ++Y) {
    const int32_t R = A.YTable[Y - A.Y1];
    uint8_t* D = A.RowTable[Y] + 3 * int64_t(A.X1);
    if (A.RowReuse && R == Prev) {
      std::memcpy(D, A.RowTable[Y - 1] + 3 * int64_t(A.X1), size_t(3) * size_t(Count));
      continue;
    }
    Prev = R;
    const uint8_t* Row = GetScanline(R);
    if (Row == nullptr) continue;
    // The last group's second byte holds the group's last column, so no
    // read goes past the row.
    const uint8_t* S = Row + (C0 >> 3);
    for (int32_t G = 0; G < Groups; ++G) {
      uint8_t B = Sh == 0 ? S[G] : uint8_t((S[G] << Sh) | (S[G + 1] >> (8 - Sh)));
      std::memcpy(D + 24 * int64_t(G), Expand[B].data(), 24);
    }
    for (int32_t I = Groups * 8; I < Count; ++I) {
      TRGB V = Bit1(Row, C0 + I);
      std::memcpy(D + 3 * int64_t(I), &V, 3);
    }
  }
}
void TIEBitmap::DrawRows1gAlpha(const TIERenderRows& A) { Dispatch(this, A, true, false, [](const uint8_t* S, int32_t C) { return Bit1(S, C); }); }

namespace {
void Gray8(TIEBitmap* B, const TIEBitmap::TIERenderRows& A, bool Blend) {
  GrayRange Range(B);
  if (Range.Active)
    Dispatch(B, A, Blend, false, [&Range](const uint8_t* S, int32_t C) { return Gray(Range.Map(S[C])); });
  else
    Dispatch(B, A, Blend, false, [](const uint8_t* S, int32_t C) { return Gray(S[C]); });
}
}  // namespace

void TIEBitmap::DrawRows8g(const TIERenderRows& A) { Gray8(this, A, false); }
void TIEBitmap::DrawRows8gAlpha(const TIERenderRows& A) { Gray8(this, A, true); }

void TIEBitmap::DrawRows8p(const TIERenderRows& A) {
  if (FPalette == nullptr || FPaletteLen <= 0) return;
  const TRGB* Pal = FPalette.get();
  int32_t N = FPaletteLen;
  Dispatch(this, A, false, false,
           [Pal, N](const uint8_t* S, int32_t C) { return S[C] < N ? Pal[S[C]] : TRGB{}; });
}

void TIEBitmap::DrawRows8pAlpha(const TIERenderRows& A) {
  if (FPalette == nullptr || FPaletteLen <= 0) return;
  const TRGB* Pal = FPalette.get();
  int32_t N = FPaletteLen;
  Dispatch(this, A, true, false,
           [Pal, N](const uint8_t* S, int32_t C) { return S[C] < N ? Pal[S[C]] : TRGB{}; });
}

namespace {
inline uint16_t Word(const uint8_t* P) {
  uint16_t W;
  std::memcpy(&W, P, 2);
  return W;
}
void Gray16(TIEBitmap* B, const TIEBitmap::TIERenderRows& A, bool Blend) {
  GrayRange Range(B);
  if (Range.Active)
    Dispatch(B, A, Blend, false, [&Range](const uint8_t* S, int32_t C) {
      return Gray(Range.Map(Word(S + 2 * int64_t(C))));
    });
  else
    Dispatch(B, A, Blend, false,
             [](const uint8_t* S, int32_t C) { return Gray(uint8_t(Word(S + 2 * int64_t(C)) >> 8)); });
}

void Gray32f(TIEBitmap* B, const TIEBitmap::TIERenderRows& A, bool Blend) {
  GrayRange Range(B);
  double Low = B->GetRangeLow(), High = B->GetRangeHigh();
  auto Read = [&](const uint8_t* S, int32_t C) {
    float F;
    std::memcpy(&F, S + 4 * int64_t(C), 4);
    double V = std::isnan(F) ? 0.0 : double(F);
    if (Range.Active) {
      V = std::clamp(V, std::min(Low, High), std::max(Low, High));
      double R = (V - Low) / (High - Low) * 255;
      return Gray(uint8_t(R <= 0 ? 0 : (R >= 255 ? 255 : int32_t(R))));
    }
    // Without a range the value times 255, truncated, keeps its low byte.
    double R = std::clamp(V * 255, -2147483648.0, 2147483647.0);
    return Gray(uint8_t(uint32_t(int32_t(R)) & 255));
  };
  Dispatch(B, A, Blend, false, Read);
}

TRGB ReadCMYK(const uint8_t* S, int32_t C) {
  TCMYK P;
  std::memcpy(&P, S + 4 * int64_t(C), 4);
  return IECmykToRgb(P);
}
TRGB ReadLab(const uint8_t* S, int32_t C) {
  TCIELab P;
  std::memcpy(&P, S + 3 * int64_t(C), 3);
  return IECIELabToRGB(P);
}

void RGB48(TIEBitmap* B, const TIEBitmap::TIERenderRows& A, bool Blend) {
  bool Adjusting = B->GetAdjust() != 0 || B->GetContrast() != 0 || A.RenderOperation != 0;
  if (!Adjusting) {
    Dispatch(B, A, Blend, false, [](const uint8_t* S, int32_t C) {
      const uint8_t* P = S + 6 * int64_t(C);
      return IECreateRGB(uint8_t(Word(P) >> 8), uint8_t(Word(P + 2) >> 8), uint8_t(Word(P + 4) >> 8));
    });
    return;
  }
  double F = ContrastFactor(B->GetContrast());
  int32_t Off[3] = {B->GetChannelOffset(0), B->GetChannelOffset(1), B->GetChannelOffset(2)};
  auto Ch = [F](int32_t W, int32_t O) {
    double V = std::clamp((W + O - 32768) * F + 32768, -2147483648.0, 2147483647.0);
    int32_t T = int32_t(V);
    // A level below zero is black (shifting its bit pattern would make it
    // white).
    return uint8_t(ClampB(T < 0 ? 0 : T >> 8));
  };
  Dispatch(B, A, Blend, true, [&](const uint8_t* S, int32_t C) {
    const uint8_t* P = S + 6 * int64_t(C);
    return IECreateRGB(Ch(Word(P), Off[0]), Ch(Word(P + 2), Off[1]), Ch(Word(P + 4), Off[2]));
  });
}
}  // namespace

void TIEBitmap::DrawRows16g(const TIERenderRows& A) { Gray16(this, A, false); }
void TIEBitmap::DrawRows16gAlpha(const TIERenderRows& A) { Gray16(this, A, true); }
void TIEBitmap::DrawRows32f(const TIERenderRows& A) { Gray32f(this, A, false); }
void TIEBitmap::DrawRows32fAlpha(const TIERenderRows& A) { Gray32f(this, A, true); }
void TIEBitmap::DrawRowsCMYK(const TIERenderRows& A) { Dispatch(this, A, false, false, [](const uint8_t* S, int32_t C) { return ReadCMYK(S, C); }); }
void TIEBitmap::DrawRowsCMYKAlpha(const TIERenderRows& A) { Dispatch(this, A, true, false, [](const uint8_t* S, int32_t C) { return ReadCMYK(S, C); }); }
void TIEBitmap::DrawRowsCIELab(const TIERenderRows& A) { Dispatch(this, A, false, false, [](const uint8_t* S, int32_t C) { return ReadLab(S, C); }); }
void TIEBitmap::DrawRowsCIELabAlpha(const TIERenderRows& A) { Dispatch(this, A, true, false, [](const uint8_t* S, int32_t C) { return ReadLab(S, C); }); }
void TIEBitmap::DrawRowsRGB48(const TIERenderRows& A) { RGB48(this, A, false); }
void TIEBitmap::DrawRowsRGB48Alpha(const TIERenderRows& A) { RGB48(this, A, true); }

// ---------------------------------------------------------------------------
// The renderer

namespace {

// Restores a bitmap's access mode when the call ends.
class AccessGuard {
 public:
  AccessGuard(TIEBitmap* B, TIEDataAccessSet Mode) : FB(B), FOld(B->GetAccess()) { B->SetAccess(Mode); }
  ~AccessGuard() { FB->SetAccess(FOld); }
  AccessGuard(const AccessGuard&) = delete;
  AccessGuard& operator=(const AccessGuard&) = delete;

 private:
  TIEBitmap* FB;
  TIEDataAccessSet FOld;
};

int32_t Clamp64(int64_t V, int64_t Lo, int64_t Hi) { return int32_t(std::clamp(V, Lo, Hi)); }

// Index table for the span First..Last (entries for First - Origin on),
// Trunc((v - Origin) x Scale + Start) clamped to the source.
void BuildTable(std::vector<int32_t>& T, int32_t Origin, int32_t Last, double Scale, int32_t Start,
                int32_t SourceSize) {
  T.resize(size_t(Last - Origin + 1));
  for (int32_t V = Origin; V <= Last; ++V) {
    double E = (V - Origin) * Scale + Start;
    int32_t I = E >= SourceSize ? SourceSize - 1 : (E <= 0 ? 0 : int32_t(E));
    T[size_t(V - Origin)] = std::min(I, SourceSize - 1);
  }
}

// A table handed in: lowers Last while its entry is missing or beyond the
// source, then answers whether every entry from First to Last is usable.
bool CheckTable(const std::vector<int32_t>& T, int32_t Origin, int32_t First, int32_t& Last,
                int32_t SourceSize) {
  while (Last >= First && (int64_t(Last) - Origin >= int64_t(T.size()) ||
                           T[size_t(Last - Origin)] >= SourceSize))
    --Last;
  for (int32_t V = First; V <= Last; ++V) {
    int32_t E = T[size_t(V - Origin)];
    if (E < 0 || E >= SourceSize) return false;
  }
  return true;
}

}  // namespace

void TIEBitmap::RenderToTIEBitmap(TIEBitmap* Dest, std::vector<uint8_t*>* RowTable,
                                  std::vector<int32_t>* XTable, std::vector<int32_t>* YTable,
                                  const TRect* ClipRect, int32_t DstX, int32_t DstY,
                                  int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY,
                                  int32_t SrcWidth, int32_t SrcHeight, bool EnableAlpha,
                                  bool RowReuse, int32_t Transparency, TResampleFilter Filter,
                                  bool FreeTables, TIERenderOperation RenderOperation) {
  if (Dest == nullptr || Dest == this || IsEmpty() || Dest->IsEmpty()) return;
  // The kernels write several destination rows through the row table.
  if (Dest->GetPixelFormat() != ie24RGB || Dest->GetLocation() == ieFile) return;
  if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return;
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (DstY > DH - 1 || DstX > DW - 1) return;
  const double YScale = double(SrcHeight) / DstHeight, XScale = double(SrcWidth) / DstWidth;
  int64_t DX0 = DstX, DY0 = DstY, DW0 = DstWidth, DH0 = DstHeight;
  int64_t SX0 = SrcX, SY0 = SrcY, SW0 = SrcWidth, SH0 = SrcHeight;
  if (DY0 < 0) {
    int64_t D = -DY0;
    DH0 -= D;
    int64_t K = IERound(std::min<double>(D * YScale, 2e9));
    SY0 += K;
    SH0 -= K;
    DY0 = 0;
  }
  if (DX0 < 0) {
    int64_t D = -DX0;
    DW0 -= D;
    int64_t K = IERound(std::min<double>(D * XScale, 2e9));
    SX0 += K;
    SW0 -= K;
    DX0 = 0;
  }
  if (DY0 + DH0 > DH) {
    SH0 -= int64_t((DY0 + DH0 - DH) * YScale);
    DH0 = DH - DY0;
  }
  if (DX0 + DW0 > DW) {
    SW0 -= int64_t((DX0 + DW0 - DW) * XScale);
    DW0 = DW - DX0;
  }
  const int32_t SWd = FWidth, SHt = FHeight;
  const int32_t dx = Clamp64(DX0, 0, DW - 1), dy = Clamp64(DY0, 0, DH - 1);
  const int32_t dw = Clamp64(DW0, 0, DW), dh = Clamp64(DH0, 0, DH);
  const int32_t sx = Clamp64(SX0, 0, SWd - 1), sy = Clamp64(SY0, 0, SHt - 1);
  const int32_t sw = Clamp64(SW0, 0, SWd), sh = Clamp64(SH0, 0, SHt);
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;

  AccessGuard Guard(this, iedRead);
  const bool HasAlpha = HasAlphaChannel();

  if (Filter != rfNone && (dw != sw || dh != sh) && (FPixelFormat == ie1g || FPixelFormat == ie24RGB)) {
    const bool Projection = Filter == rfProjectBW || Filter == rfProjectWB;
    TIEBitmap B;
    B.SetLocation(ieMemory);
    if (sw < dw || FPixelFormat != ie1g || (EnableAlpha && HasAlpha) || Projection) {
      TIEBitmap A;
      A.SetLocation(ieMemory);
      if (!A.Allocate(sw, sh, FPixelFormat)) return;
      CopyRectTo(&A, sx, sy, 0, 0, sw, sh);
      if (EnableAlpha && HasAlpha) {
        TIEBitmap* SA = FAlphaChannel.get();
        TIEBitmap* AA = A.GetAlphaChannel();
        if (AA != nullptr) {
          SA->CopyRectTo(AA, sx, sy, 0, 0, sw, sh);
          AA->SetFull(SA->GetFull());
        }
      }
      TIEPixelFormat BF = FPixelFormat == ie1g && Projection ? ie1g : ie24RGB;
      if (!B.Allocate(dw, dh, BF)) return;
      if (FPixelFormat == ie1g)
        IERenderResample1Bit(&A, &B, Filter);
      else
        IERenderResample(&A, &B, Filter);
      if (A.HasAlphaChannel()) {
        TIEBitmap* BA = B.GetAlphaChannel();
        if (BA != nullptr) {
          IERenderResample8Bit(A.GetAlphaChannel(), BA, Filter);
          BA->SetFull(A.GetAlphaChannel()->GetFull());
        }
      }
    } else {
      if (!B.Allocate(dw, dh, ie24RGB)) return;
      IERenderResample1BitBoxGray(this, sx, sy, sx + sw - 1, sy + sh - 1, &B);
    }
    for (int I = 0; I < 4; ++I) B.SetChannelOffset(I, GetChannelOffset(I));
    B.SetAdjust(FAdjust);
    B.SetContrast(FContrast);
    B.RenderToTIEBitmap(Dest, RowTable, nullptr, nullptr, ClipRect, dx, dy, dw, dh, 0, 0, dw, dh,
                        EnableAlpha, RowReuse, Transparency, rfNone, FreeTables, RenderOperation);
    return;
  }

  // Destination rows: a table handed in is used when it still describes Dest.
  std::vector<uint8_t*> LocalRows;
  std::vector<uint8_t*>& Rows = RowTable != nullptr ? *RowTable : LocalRows;
  bool RowsBuilt = false;
  if (Rows.size() != size_t(DH) || Rows.front() != Dest->GetScanline(0) ||
      Rows.back() != Dest->GetScanline(DH - 1)) {
    Rows.resize(size_t(DH));
    for (int32_t Y = 0; Y < DH; ++Y) Rows[size_t(Y)] = Dest->GetScanline(Y);
    RowsBuilt = true;
  }
  for (uint8_t* R : {Rows.front(), Rows.back()})
    if (R == nullptr) return;

  const int32_t T = std::clamp(Transparency, 0, 255);
  const int32_t YStep = int32_t(double(sh) / dh * 16384), XStep = int32_t(double(sw) / dw * 16384);
  const int32_t LastRow = std::min(dy + dh - 1, DH - 1), LastCol = std::min(dx + dw - 1, DW - 1);
  int32_t x1 = dx, y1 = dy, x2 = LastCol, y2 = LastRow;
  if (ClipRect != nullptr) {
    x1 = std::max(ClipRect->Left, dx);
    y1 = std::max(ClipRect->Top, dy);
    x2 = std::min(ClipRect->Right, LastCol);
    y2 = std::min(ClipRect->Bottom, LastRow);
  }
  x1 = std::clamp(x1, 0, DW - 1);
  x2 = std::clamp(x2, -1, DW - 1);
  y1 = std::clamp(y1, 0, DH - 1);
  y2 = std::clamp(y2, -1, DH - 1);

  std::vector<int32_t> LocalX, LocalY;
  std::vector<int32_t>& XT = XTable != nullptr ? *XTable : LocalX;
  std::vector<int32_t>& YT = YTable != nullptr ? *YTable : LocalY;
  bool XBuilt = false, YBuilt = false;
  auto Finish = [&]() {
    if (FreeTables) {
      if (XBuilt && XTable != nullptr) XTable->clear();
      if (YBuilt && YTable != nullptr) YTable->clear();
      if (RowsBuilt && RowTable != nullptr) RowTable->clear();
    }
  };
  if (x1 > x2 || y1 > y2) {
    Finish();
    return;
  }

  const bool UseAlpha = EnableAlpha && HasAlpha && !FAlphaChannel->GetFull() &&
                        FAlphaChannel->GetWidth() == FWidth && FAlphaChannel->GetHeight() == FHeight;
  const bool Fast = XStep == 16384 && YStep == 16384 && FPixelFormat == ie24RGB && T == 255 &&
                    !UseAlpha && FAdjust == 0 && FContrast == 0 && RenderOperation == 0 &&
                    FRangeLow == 0 && FRangeHigh == 0;

  TIERenderRows A;
  A.RowTable = Rows.data();
  A.Dest = Dest;
  A.XStep = XStep;
  A.YStep = YStep;
  A.DX = dx;
  A.DY = dy;
  A.SX = sx;
  A.SY = sy;
  A.RenderOperation = RenderOperation;
  A.RowReuse = RowReuse;
  A.UseAlpha = UseAlpha;
  A.Transparency = T;
  if (!Fast) {
    const int32_t SpanX2 = x2, SpanY2 = y2;
    if (XT.empty() || !CheckTable(XT, dx, x1, x2, SWd)) {
      BuildTable(XT, dx, LastCol, XScale, sx, SWd);
      XBuilt = true;
      x2 = SpanX2;
    }
    if (YT.empty() || !CheckTable(YT, dy, y1, y2, SHt)) {
      BuildTable(YT, dy, LastRow, YScale, sy, SHt);
      YBuilt = true;
      y2 = SpanY2;
    }
    if (x1 > x2 || y1 > y2) {
      Finish();
      return;
    }
    A.XTable = XT.data() + (x1 - dx);
    A.YTable = YT.data() + (y1 - dy);
  }
  A.X1 = x1;
  A.X2 = x2;
  A.Y1 = y1;
  A.Y2 = y2;

  const bool Blend = T < 255 || UseAlpha;
  switch (FPixelFormat) {
    case ie24RGB: Blend ? DrawRows24RGBAlpha(A) : DrawRows24RGB(A); break;
    case ie32RGB: Blend ? DrawRows32RGBAlpha(A) : DrawRows32RGB(A); break;
    case ie1g: Blend ? DrawRows1gAlpha(A) : DrawRows1g(A); break;
    case ie8g: Blend ? DrawRows8gAlpha(A) : DrawRows8g(A); break;
    case ie8p: Blend ? DrawRows8pAlpha(A) : DrawRows8p(A); break;
    case ie16g: Blend ? DrawRows16gAlpha(A) : DrawRows16g(A); break;
    case ie32f: Blend ? DrawRows32fAlpha(A) : DrawRows32f(A); break;
    case ieCMYK: Blend ? DrawRowsCMYKAlpha(A) : DrawRowsCMYK(A); break;
    case ieCIELab: Blend ? DrawRowsCIELabAlpha(A) : DrawRowsCIELab(A); break;
    case ieRGB48: Blend ? DrawRowsRGB48Alpha(A) : DrawRowsRGB48(A); break;
    default: break;
  }
  Finish();
}

void TIEBitmap::RenderToTIEBitmapSimple(TIEBitmap* Dest, int32_t DstX, int32_t DstY,
                                        int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                                        int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                        int32_t Transparency, TResampleFilter Filter,
                                        TIERenderOperation RenderOperation) {
  RenderToTIEBitmap(Dest, nullptr, nullptr, nullptr, nullptr, DstX, DstY, DstWidth, DstHeight, SrcX,
                    SrcY, SrcWidth, SrcHeight, true, false, Transparency, Filter, true,
                    RenderOperation);
}

void TIEBitmap::RenderToTBitmap(TBitmap* Bitmap, std::vector<uint8_t*>* RowTable,
                                std::vector<int32_t>* XTable, std::vector<int32_t>* YTable,
                                const TRect* ClipRect, int32_t DstX, int32_t DstY, int32_t DstWidth,
                                int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                                int32_t SrcHeight, bool EnableAlpha, bool RowReuse,
                                int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                                TIERenderOperation RenderOperation) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit) return;
  TIEBitmap Wrap;
  Wrap.AttachTBitmap(Bitmap, false);
  RenderToTIEBitmap(&Wrap, RowTable, XTable, YTable, ClipRect, DstX, DstY, DstWidth, DstHeight,
                    SrcX, SrcY, SrcWidth, SrcHeight, EnableAlpha, RowReuse, Transparency, Filter,
                    FreeTables, RenderOperation);
  Bitmap->Changed();
}

void TIEBitmap::RenderToTBitmapSimple(TBitmap* Bitmap, int32_t DstX, int32_t DstY,
                                      int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                                      int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                      int32_t Transparency, TResampleFilter Filter,
                                      TIERenderOperation RenderOperation) {
  RenderToTBitmap(Bitmap, nullptr, nullptr, nullptr, nullptr, DstX, DstY, DstWidth, DstHeight,
                  SrcX, SrcY, SrcWidth, SrcHeight, true, false, Transparency, Filter, true,
                  RenderOperation);
}
