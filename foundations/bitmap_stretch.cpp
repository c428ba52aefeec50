// Stretching with the alpha plane, printing in strips through packed DIBs,
// and the DrawDib-style helpers.
#include "foundations/bitmap_stretch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "foundations/bit_helpers.h"
#include "foundations/bitmap_render.h"
#include "foundations/ie_canvas.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/dib.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"

std::function<TIEPackedDIB(TIEBitmap*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t)>
    IECopyBitmapToDIBExHook;
std::function<void(TIEPackedDIB&, double)> IEDIBGammaCorrectHook;

namespace {

// Appends a line to the I/O debug log when one is named.
void DebugLog(const std::string& Line) {
  if (IEDebugLogFileName.empty()) return;
  std::ofstream F(IEDebugLogFileName, std::ios::app);
  if (F) F << Line << "\n";
}

template <typename T>
void Put(uint8_t* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

// 24-bit gamma table: clamp(round((i / 255)^(1 / Gamma) x 255)).
std::array<uint8_t, 256> GammaTable(double Gamma) {
  std::array<uint8_t, 256> T{};
  for (int32_t I = 0; I < 256; ++I)
    T[size_t(I)] = uint8_t(std::clamp(IERound(std::pow(I / 255.0, 1 / Gamma) * 255), 0, 255));
  return T;
}

}  // namespace

// ---------------------------------------------------------------------------
// Packed DIBs

TIEPackedDIB _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                int32_t DpiX, int32_t DpiY) {
  if (IECopyBitmapToDIBExHook) return IECopyBitmapToDIBExHook(Bitmap, X1, Y1, X2, Y2, DpiX, DpiY);
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return {};
  if (X2 == 0) X2 = Bitmap->GetWidth();
  if (Y2 == 0) Y2 = Bitmap->GetHeight();
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Bitmap->GetWidth());
  Y2 = std::min(Y2, Bitmap->GetHeight());
  const int32_t W = X2 - X1, H = Y2 - Y1;
  if (W <= 0 || H <= 0) return {};
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  const int32_t Bits = F == ie1g ? 1 : (F == ie8g || F == ie8p) ? 8 : 24;
  const int32_t Colors = Bits == 1 ? 2 : Bits == 8 ? 256 : 0;
  const int64_t RowLen = IEBitmapRowLen(W, Bits, 32);
  const int64_t Head = 40 + 4 * int64_t(Colors);
  if (RowLen <= 0 || RowLen > (std::numeric_limits<int32_t>::max() - Head) / H) return {};
  TIEPackedDIB DIB;
  try {
    DIB.assign(size_t(Head + RowLen * H), 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  uint8_t* P = DIB.data();
  Put<uint32_t>(P, 40);
  Put<int32_t>(P + 4, W);
  Put<int32_t>(P + 8, H);
  Put<uint16_t>(P + 12, 1);
  Put<uint16_t>(P + 14, uint16_t(Bits));
  Put<uint32_t>(P + 20, uint32_t(RowLen * H));
  Put<int32_t>(P + 24, int32_t(DpiX * 39.3700787));
  Put<int32_t>(P + 28, int32_t(DpiY * 39.3700787));
  for (int32_t I = 0; I < Colors; ++I) {
    uint8_t* Q = P + 40 + 4 * I;
    uint8_t Level = Bits == 1 ? uint8_t(I * 255) : uint8_t(I);
    TRGB C = F == ie8p ? Bitmap->GetPaletteColor(I) : TRGB{Level, Level, Level};
    Q[0] = C.b, Q[1] = C.g, Q[2] = C.r;
  }
  uint8_t* Rows = P + Head;
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* D = Rows + RowLen * (H - 1 - Y);
    if (Bits == 24 && F != ie24RGB) {
      for (int32_t X = 0; X < W; ++X) {
        TRGB C = Bitmap->GetPixelRGB(X1 + X, Y1 + Y);
        std::memcpy(D + 3 * X, &C, 3);
      }
      continue;
    }
    const uint8_t* S = Bitmap->GetScanline(Y1 + Y);
    if (S == nullptr) continue;
    if (Bits == 1) {
      for (int32_t X = 0; X < W; ++X)
        if ((S[(X1 + X) >> 3] >> (7 - ((X1 + X) & 7))) & 1) D[X >> 3] |= uint8_t(0x80 >> (X & 7));
    } else {
      std::memcpy(D, S + int64_t(X1) * (Bits / 8), size_t(W) * size_t(Bits / 8));
    }
  }
  return DIB;
}

void IEDIBGammaCorrect(void* DIB, size_t DIBSize, double Gamma) {
  if (DIB == nullptr || !(Gamma > 0) || !std::isfinite(Gamma)) return;
  uint8_t* Bytes = static_cast<uint8_t*>(DIB);
  TDIBLayout L;
  if (!ReadPackedDIBLayout(Bytes, DIBSize, L) || L.Header.biBitCount != 24 || L.Header.biCompression != BI_RGB)
    return;
  std::array<uint8_t, 256> T = GammaTable(Gamma);
  int64_t H = std::abs(int64_t(L.Header.biHeight));
  int64_t RowBytes = 3 * int64_t(L.Header.biWidth);
  for (int64_t Y = 0; Y < H; ++Y) {
    uint8_t* R = Bytes + L.BitsOffset + L.RowLength * Y;
    for (int64_t I = 0; I < RowBytes; ++I) R[I] = T[R[I]];
  }
}

void IEDIBGammaCorrect(TIEPackedDIB& DIB, double Gamma) {
  if (IEDIBGammaCorrectHook) {
    IEDIBGammaCorrectHook(DIB, Gamma);
    return;
  }
  IEDIBGammaCorrect(DIB.data(), DIB.size(), Gamma);
}

void _DIBDrawTo(TCanvas* Canvas, const TIEPackedDIB& DIB, int32_t XSrc, int32_t YSrc,
                int32_t SrcWidth, int32_t SrcHeight, int32_t XDst, int32_t YDst, int32_t DstWidth,
                int32_t DstHeight) {
  if (Canvas == nullptr || DIB.empty()) return;
  TDIBLayout L;
  if (!ReadPackedDIBLayout(DIB.data(), DIB.size(), L)) return;
  int32_t Old = SetStretchBltMode(Canvas, COLORONCOLOR);
  StretchDIBits(Canvas, XDst, YDst, DstWidth, DstHeight, XSrc, YSrc, SrcWidth, SrcHeight,
                DIB.data() + L.BitsOffset, DIB.data(), DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(Canvas, Old);
}

void PrintPict(TCanvas* Canvas, int32_t XDst, int32_t YDst, TIEBitmap* Bitmap, int32_t SrcX,
               int32_t SrcY, int32_t Width, int32_t Height) {
  DebugLog("PrintPict: calling _CopyBitmaptoDIBEx");
  TIEPackedDIB DIB =
      _CopyBitmaptoDIBEx(Bitmap, SrcX, SrcY, SrcX + Width, SrcY + Height, 200, 200);
  DebugLog("PrintPict: calling _DIBDrawTo");
  _DIBDrawTo(Canvas, DIB, 0, 0, Width, Height, XDst, YDst, Width, Height);
  DebugLog("PrintPict: calling GlobalFree");
}

// ---------------------------------------------------------------------------
// Stretch with alpha

void TIEBitmap::StretchRectTo(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth,
                              int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                              int32_t SrcHeight, TResampleFilter Filter, int32_t Transparency) {
  if (Dest == nullptr || Dest == this || IsEmpty() || Dest->IsEmpty()) return;
  if (Dest->GetPixelFormat() != ie24RGB) return;
  if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return;
  Transparency = std::clamp(Transparency, 0, 255);
  const bool HasAlpha = HasAlphaChannel();
  const bool Direct = FPixelFormat == ie1g || FPixelFormat == ie24RGB;
  const bool Resize = Filter != rfNone && (SrcWidth != DstWidth || SrcHeight != DstHeight);
  if (Resize || !Direct) {
    // The source rectangle on its own, converted to 24 bits when the
    // pixel loops cannot read its format.
    int64_t SX = std::max(SrcX, 0), SY = std::max(SrcY, 0);
    int64_t SW = std::min<int64_t>(int64_t(SrcX) + SrcWidth, FWidth) - SX;
    int64_t SH = std::min<int64_t>(int64_t(SrcY) + SrcHeight, FHeight) - SY;
    if (SW <= 0 || SH <= 0) return;
    const bool OneBitShrink = Resize && Direct && SrcWidth >= DstWidth && FPixelFormat == ie1g &&
                              !HasAlpha;
    if (OneBitShrink) {
      TIEBitmap Gray;
      Gray.SetLocation(ieMemory);
      if (!Gray.Allocate(DstWidth, DstHeight, ie24RGB)) return;
      IERenderResample1BitBoxGray(this, int32_t(SX), int32_t(SY), int32_t(SX + SW - 1),
                                  int32_t(SY + SH - 1), &Gray);
      Gray.StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone,
                         Transparency);
      return;
    }
    TIEBitmap A;
    A.SetLocation(ieMemory);
    if (!A.Allocate(int32_t(SW), int32_t(SH), FPixelFormat)) return;
    CopyPaletteTo(&A);
    if (FPixelFormat == ie1g || FPixelFormat == ie24RGB) {
      CopyRectTo(&A, int32_t(SX), int32_t(SY), 0, 0, int32_t(SW), int32_t(SH));
    } else {
      for (int32_t Y = 0; Y < SH; ++Y)
        std::memcpy(A.GetScanline(Y), GetScanline(int32_t(SY + Y)) + SX * FBitCount / 8,
                    size_t(SW * FBitCount / 8));
      A.SetRangeLow(FRangeLow);
      A.SetRangeHigh(FRangeHigh);
      A.ConvertToPixelFormat(ie24RGB);
      if (A.GetPixelFormat() != ie24RGB) return;
    }
    if (HasAlpha) {
      TIEBitmap* AA = A.GetAlphaChannel();
      if (AA != nullptr) {
        FAlphaChannel->CopyRectTo(AA, int32_t(SX), int32_t(SY), 0, 0, int32_t(SW), int32_t(SH));
        AA->SetFull(FAlphaChannel->GetFull());
      }
    }
    if (!Resize) {
      A.StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, int32_t(SrcX - SX), int32_t(SrcY - SY),
                      SrcWidth, SrcHeight, rfNone, Transparency);
      return;
    }
    TIEBitmap B;
    B.SetLocation(ieMemory);
    const bool Projection = Filter == rfProjectBW || Filter == rfProjectWB;
    if (!B.Allocate(DstWidth, DstHeight, A.GetPixelFormat() == ie1g && Projection ? ie1g : ie24RGB))
      return;
    if (A.GetPixelFormat() == ie1g)
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
    B.StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone,
                    Transparency);
    return;
  }

  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  const int32_t X1 = std::max(DstX, 0), Y1 = std::max(DstY, 0);
  const int32_t X2 = int32_t(std::min<int64_t>(int64_t(DstX) + DstWidth - 1, DW - 1));
  const int32_t Y2 = int32_t(std::min<int64_t>(int64_t(DstY) + DstHeight - 1, DH - 1));
  if (X1 > X2 || Y1 > Y2) return;
  const int64_t XStep = int64_t(double(SrcWidth) / DstWidth * 16384);
  const int64_t YStep = int64_t(double(SrcHeight) / DstHeight * 16384);
  // Source column and row of every destination column and row; positions
  // outside the source are left alone.
  std::vector<int32_t> Cols(size_t(X2 - X1 + 1)), RowsOf(size_t(Y2 - Y1 + 1));
  for (int32_t X = X1; X <= X2; ++X) {
    int64_t C = SrcX + ((int64_t(X) - DstX) * XStep >> 14);
    Cols[size_t(X - X1)] = C >= 0 && C < FWidth ? int32_t(C) : -1;
  }
  for (int32_t Y = Y1; Y <= Y2; ++Y) {
    int64_t R = SrcY + ((int64_t(Y) - DstY) * YStep >> 14);
    RowsOf[size_t(Y - Y1)] = R >= 0 && R < FHeight ? int32_t(R) : -1;
  }
  TIEBitmap* DA = Dest->GetAlphaChannel();
  if (HasAlpha && !FAlphaChannel->GetFull()) {
    for (int32_t Y = Y1; Y <= Y2 && DA != nullptr; ++Y) {
      int32_t R = RowsOf[size_t(Y - Y1)];
      if (R < 0) continue;
      const uint8_t* S = FAlphaChannel->GetScanline(R);
      uint8_t* D = DA->GetScanline(Y);
      if (S == nullptr || D == nullptr) continue;
      for (int32_t X = X1; X <= X2; ++X) {
        int32_t C = Cols[size_t(X - X1)];
        if (C >= 0) D[X] = uint8_t(std::min<int32_t>(Transparency, S[C]));
      }
    }
    if (DA != nullptr) DA->SetFull(false);
  } else if (DA != nullptr) {
    DA->FillRect(X1, Y1, X2, Y2, Transparency);
    if (Transparency < 255) DA->SetFull(false);
  }
  std::vector<uint8_t> Row(static_cast<size_t>(FRowLen));
  for (int32_t Y = Y1; Y <= Y2; ++Y) {
    int32_t R = RowsOf[size_t(Y - Y1)];
    if (R < 0) continue;
    const uint8_t* S = GetScanline(R);
    if (S == nullptr) continue;
    // Dest may share this bitmap's temporary-file mapping rules: keep the
    // source row while the destination row is mapped.
    std::memcpy(Row.data(), S, Row.size());
    uint8_t* D = Dest->GetScanline(Y);
    if (D == nullptr) continue;
    for (int32_t X = X1; X <= X2; ++X) {
      int32_t C = Cols[size_t(X - X1)];
      if (C < 0) continue;
      uint8_t* P = D + 3 * int64_t(X);
      if (FPixelFormat == ie1g) {
        uint8_t V = (Row[size_t(C >> 3)] >> (7 - (C & 7))) & 1 ? 255 : 0;
        P[0] = P[1] = P[2] = V;
      } else {
        std::memcpy(P, Row.data() + 3 * int64_t(C), 3);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Printing

void TIEBitmap::RenderToCanvas(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                               TResampleFilter Filter, double Gamma) {
  DebugLog("TIEBitmap.RenderToCanvas: begin");
  if (Canvas == nullptr || IsEmpty() || Width <= 0 || Height <= 0) return;
  const bool ApplyGamma = Gamma > 0 && Gamma != 1 && std::isfinite(Gamma);
  if (Filter == rfNone) {
    DebugLog("TIEBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0");
    TIEPackedDIB DIB = _CopyBitmaptoDIBEx(this, 0, 0, 0, 0, 200, 200);
    if (ApplyGamma) IEDIBGammaCorrect(DIB, Gamma);
    DebugLog("TIEBitmap.RenderToCanvas: calling _DIBDrawTo");
    _DIBDrawTo(Canvas, DIB, 0, 0, FWidth, FHeight, X, Y, Width, Height);
    return;
  }
  const int64_t R = IEBitmapRowLen(Width, 24, FRowAlignment);
  if (R <= 0) return;
  int64_t S = std::max<int64_t>(1, std::min<int64_t>(Height, (FMemoryThreshold / 4) / R));
  while (S > 1 && S * R > 41943040) --S;
  DebugLog("TIEBitmap.RenderToCanvas: stripHeight=" + std::to_string(S));
  DebugLog("TIEBitmap.RenderToCanvas: allocating " + std::to_string(Width) + "x" +
           std::to_string(Height));
  const bool Projection = Filter == rfProjectBW || Filter == rfProjectWB;
  const TIEPixelFormat RF = FPixelFormat == ie1g ? (Projection ? ie1g : ie24RGB)
                            : FPixelFormat == ie24RGB ? ie24RGB
                                                      : FPixelFormat;
  auto Scale = [&](TIEBitmap* Source, TIEBitmap* Dest) {
    if (FPixelFormat == ie1g) {
      DebugLog("TIEBitmap.RenderToCanvas: _Resample1BitEx");
      IERenderResample1Bit(Source, Dest, Filter);
    } else if (FPixelFormat == ie24RGB) {
      DebugLog("TIEBitmap.RenderToCanvas: _ResampleEx");
      IERenderResample(Source, Dest, Filter);
    } else {
      DebugLog("TIEBitmap.RenderToCanvas: _IEBmpStretchEx");
      Source->CopyPaletteTo(Dest);
      IERenderBmpStretch(Source, Dest);
    }
  };
  std::array<uint8_t, 256> T{};
  if (ApplyGamma) T = GammaTable(Gamma);
  auto Correct = [&](TIEBitmap* B) {
    if (B->GetPixelFormat() != ie24RGB || !ApplyGamma) return;
    DebugLog("TIEBitmap.RenderToCanvas: gamma");
    for (int32_t Row = 0; Row < B->GetHeight(); ++Row) {
      uint8_t* P = B->GetScanline(Row);
      for (int64_t I = 0; I < 3 * int64_t(B->GetWidth()); ++I) P[I] = T[P[I]];
    }
  };
  Canvas->SetCopyMode(cmSrcCopy);
  if (S >= Height) {
    // The whole scaled copy fits the strip bounds.
    TIEBitmap Result;
    if (!Result.Allocate(Width, Height, RF)) return;
    Scale(this, &Result);
    Correct(&Result);
    DebugLog("TIEBitmap.RenderToCanvas: PrintPict y=0");
    PrintPict(Canvas, X, Y, &Result, 0, 0, Width, Height);
  } else {
    // Each strip is scaled from its own band of source rows (with two rows
    // of context on either side for the filter), so the scaled copy stays
    // within the strip bounds too.
    const double Fy = double(Height) / FHeight;
    for (int64_t Row = 0; Row < Height; Row += S) {
      const int64_t Strip = std::min<int64_t>(S, Height - Row);
      const int64_t S0 = std::max<int64_t>(0, int64_t(std::floor(Row / Fy)) - 2);
      const int64_t S1 = std::min<int64_t>(FHeight, int64_t(std::ceil((Row + Strip) / Fy)) + 2);
      const int64_t Top = int64_t(std::floor(S0 * Fy));
      const int64_t BandH = std::max<int64_t>(1, int64_t(std::ceil(S1 * Fy)) - Top);
      TIEBitmap Band, Scaled, Out;
      Band.SetLocation(ieMemory);
      if (!Band.Allocate(FWidth, int32_t(S1 - S0), FPixelFormat)) return;
      CopyPaletteTo(&Band);
      for (int64_t I = 0; I < S1 - S0; ++I)
        std::memcpy(Band.GetScanline(int32_t(I)), GetScanline(int32_t(S0 + I)),
                    size_t(std::min(Band.GetRowLen(), FRowLen)));
      if (!Scaled.Allocate(Width, int32_t(BandH), RF) || !Out.Allocate(Width, int32_t(Strip), RF))
        return;
      Scale(&Band, &Scaled);
      Scaled.CopyPaletteTo(&Out);
      for (int64_t I = 0; I < Strip; ++I) {
        int64_t From = std::clamp<int64_t>(Row + I - Top, 0, BandH - 1);
        std::memcpy(Out.GetScanline(int32_t(I)), Scaled.GetScanline(int32_t(From)),
                    size_t(std::min(Out.GetRowLen(), Scaled.GetRowLen())));
      }
      Correct(&Out);
      DebugLog("TIEBitmap.RenderToCanvas: PrintPict y=" + std::to_string(Row));
      PrintPict(Canvas, X, int32_t(Y + Row), &Out, 0, 0, Width, int32_t(Strip));
    }
  }
  DebugLog("TIEBitmap.RenderToCanvas: end");
}

// ---------------------------------------------------------------------------
// DrawDib

TIEDrawDibHandle IEDrawDibOpen() { return std::make_unique<TIEDrawDibState>(); }

bool IEDrawDibClose(TIEDrawDibHandle Handle) { return Handle != nullptr; }

bool IEDrawDibDraw(TIEDrawDibState* Handle, TCanvas* DC, int32_t XDst, int32_t YDst, int32_t DstWidth,
                   int32_t DstHeight, const TBitmapInfoHeader* Header, const void* Bits,
                   int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, uint32_t Flags) {
  if (Handle == nullptr || DC == nullptr || Header == nullptr || Bits == nullptr) return false;
  if (SrcWidth < 0) SrcWidth = Header->biWidth;
  if (SrcHeight < 0) SrcHeight = std::abs(Header->biHeight);
  if (DstWidth < 0) DstWidth = SrcWidth;
  if (DstHeight < 0) DstHeight = SrcHeight;
  ++Handle->Draws;
  return StretchDIBits(DC, XDst, YDst, DstWidth, DstHeight, XSrc, YSrc, SrcWidth, SrcHeight, Bits,
                       Header, DIB_RGB_COLORS, SRCCOPY) > 0;
}

uint32_t IEDrawDibRealize(TIEDrawDibState*, TCanvas*, bool) { return 0; }
