#include "kernels/flip_negative.h"

#include <cstring>

#include "foundations/colour_conversion.h"
#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/kernel_progress.h"

namespace {

inline void InvertBytes(uint8_t* P, size_t N) {
  for (size_t i = 0; i < N; ++i) P[i] = uint8_t(~P[i]);
}

// Toggles bits X1 .. X2 - 1 of a 1-bit row: whole bytes in one run, the
// partial bytes at either end through masks.
void ToggleBits(uint8_t* Row, int32_t X1, int32_t X2) {
  int32_t First = X1 >> 3;
  const int32_t Last = (X2 - 1) >> 3;
  const uint8_t HeadMask = uint8_t(0xFFu >> (X1 & 7));
  const uint8_t TailMask = uint8_t(0xFFu << (7 - ((X2 - 1) & 7)));
  if (First == Last) {
    Row[First] ^= uint8_t(HeadMask & TailMask);
    return;
  }
  Row[First] ^= HeadMask;
  Row[Last] ^= TailMask;
  ++First;
  if (Last > First) InvertBytes(Row + First, size_t(Last - First));
}

}  // namespace

void IENegative(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  X2 = IEMinInt(X2, Bitmap->GetWidth());
  Y2 = IEMinInt(Y2, Bitmap->GetHeight());
  X1 = IEMaxInt(X1, 0);
  Y1 = IEMaxInt(Y1, 0);
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  if (F == ie8p) {
    for (int32_t i = 0; i < Bitmap->GetPaletteLen(); ++i) {
      TRGB C = Bitmap->GetPaletteColor(i);
      Bitmap->SetPaletteColor(i, IECreateRGB(uint8_t(255 - C.r), uint8_t(255 - C.g), uint8_t(255 - C.b)));
    }
  }
  if (X1 >= X2 || Y1 >= Y2) return;
  const TIERowProgress Progress(OnProgress, Sender, Y1, Y2);
  const size_t N = size_t(X2 - X1);
  for (int32_t y = Y1; y < Y2; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    switch (F) {
      case ie1g:
        ToggleBits(Row, X1, X2);
        break;
      case ie8g:
        InvertBytes(Row + X1, N);
        break;
      case ie16g:
        InvertBytes(Row + size_t(X1) * 2, N * 2);
        break;
      case ie24RGB:
        InvertBytes(Row + size_t(X1) * 3, N * 3);
        break;
      case ieRGB48:
        InvertBytes(Row + size_t(X1) * 6, N * 6);
        break;
      case ie32f: {
        float* P = reinterpret_cast<float*>(Row) + X1;
        for (size_t i = 0; i < N; ++i) P[i] = 1.0f - P[i];
        break;
      }
      case ieCMYK: {
        TCMYK* P = reinterpret_cast<TCMYK*>(Row) + X1;
        for (size_t i = 0; i < N; ++i) {
          TRGB C = IECmykToRgb(P[i]);
          C = IECreateRGB(uint8_t(255 - C.r), uint8_t(255 - C.g), uint8_t(255 - C.b));
          P[i] = IERgbToCmykPixel(C);
        }
        break;
      }
      case ieCIELab: {
        uint8_t* P = Row + size_t(X1) * 3;
        for (size_t i = 0; i < N; ++i, P += 3) {
          TCIELab L;
          std::memcpy(&L, P, 3);
          TRGB C = IECIELabToRGB(L);
          C = IECreateRGB(uint8_t(255 - C.r), uint8_t(255 - C.g), uint8_t(255 - C.b));
          L = IERGBToCIELab(C);
          std::memcpy(P, &L, 3);
        }
        break;
      }
      case ie32RGB: {
        uint8_t* P = Row + size_t(X1) * 4;
        for (size_t i = 0; i < N; ++i, P += 4) InvertBytes(P, 3);
        break;
      }
      default:
        return;
    }
    Progress.Row(y);
  }
}

void IEInvertBuffer(void* Buffer, int64_t Length) {
  if (Buffer && Length > 0) InvertBytes(static_cast<uint8_t*>(Buffer), size_t(Length));
}

void IEInvertBitmap(TIEBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  for (int32_t y = 0; y < Bitmap->GetHeight(); ++y)
    InvertBytes(Bitmap->GetScanline(y), size_t(Bitmap->GetRowLen()));
}

TIEAlphaExtent IEGetAlphaExtent(TIEBitmap* Bitmap) {
  TIEAlphaExtent R;
  if (!Bitmap) return R;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  R.Right = W - 1;
  R.Bottom = H - 1;
  if (!Bitmap->HasAlphaChannel()) return R;
  TIEBitmap* A = Bitmap->GetAlphaChannel();
  auto RowClear = [&](int32_t y) {
    const uint8_t* P = A->GetScanline(y);
    for (int32_t x = 0; x < W; ++x)
      if (P[x]) return false;
    return true;
  };
  auto ColClear = [&](int32_t x) {
    for (int32_t y = 0; y < H; ++y)
      if (A->GetScanline(y)[x]) return false;
    return true;
  };
  while (R.Left < W && ColClear(R.Left)) ++R.Left;
  while (R.Right >= 0 && ColClear(R.Right)) --R.Right;
  while (R.Top < H && RowClear(R.Top)) ++R.Top;
  while (R.Bottom >= 0 && RowClear(R.Bottom)) --R.Bottom;
  return R;
}
