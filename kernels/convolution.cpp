#include "kernels/convolution.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/streams.h"

namespace {

// Convolves Channels interleaved bytes per pixel; rows are read from a copy
// so the output never feeds back into its own neighbourhood.
template <int Channels>
void Convolve(TIEBitmap* Bitmap, const TIEFilterKernel3x3& Filter, int32_t X1, int32_t Y1, int32_t X2,
              int32_t Y2, const TIEProgressEvent& OnProgress, TObject* Sender) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  X2 = IEMinInt(X2, W);
  Y2 = IEMinInt(Y2, H);
  X1 = IEMaxInt(X1, 0);
  Y1 = IEMaxInt(Y1, 0);
  if (X1 >= X2 || Y1 >= Y2) return;
  const int32_t Div = Filter.Divisor == 0 ? 1 : Filter.Divisor;
  // Coefficient x value tables, one per kernel cell.
  int32_t T[9][256];
  for (int32_t k = 0; k < 9; ++k)
    for (int32_t v = 0; v < 256; ++v) T[k][v] = Filter.Values[k / 3][k % 3] * v;
  // The source rows Y1 - 1 .. Y2 (limited to the image) as they were.
  const int32_t R0 = IEMaxInt(Y1 - 1, 0), R1 = IEMinInt(Y2, H - 1);
  const size_t RowBytes = size_t(W) * Channels;
  std::vector<uint8_t> Copy(size_t(R1 - R0 + 1) * RowBytes);
  for (int32_t y = R0; y <= R1; ++y) {
    std::memcpy(Copy.data() + size_t(y - R0) * RowBytes, Bitmap->LockScanline(y), RowBytes);
    Bitmap->UnlockScanline(y);
  }
  auto Row = [&](int32_t y) { return Copy.data() + size_t(y - R0) * RowBytes; };
  const double Scale = 100.0 / (double(Y2) - Y1 - 1 + 0.5);
  int32_t Last = -1;
  for (int32_t y = Y1; y < Y2; ++y) {
    const uint8_t* Rows[3] = {Row(IEClampInt(y - 1, 0, H - 1)), Row(y), Row(IEClampInt(y + 1, 0, H - 1))};
    uint8_t* D = Bitmap->LockScanline(y);
    for (int32_t x = X1; x < X2; ++x) {
      const int32_t Cols[3] = {IEMaxInt(x - 1, 0) * Channels, x * Channels,
                               IEMinInt(x + 1, W - 1) * Channels};
      for (int32_t c = 0; c < Channels; ++c) {
        int32_t s = 0;
        for (int32_t r = 0; r < 3; ++r)
          for (int32_t k = 0; k < 3; ++k) s += T[r * 3 + k][Rows[r][Cols[k] + c]];
        D[x * Channels + c] = uint8_t(IEClampByte(std::abs(s) / Div));
      }
    }
    Bitmap->UnlockScanline(y);
    if (OnProgress) {
      const int32_t Per = int32_t((y - Y1 + 1) * Scale);
      if (Per != Last) {
        Last = Per;
        OnProgress(Sender, Per);
      }
    }
  }
}

struct TPreset {
  const char* Name;
  TIEFilterKernel3x3 Filter;
};

const TPreset Presets[IEPresetFilterCount] = {
    {"None", {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0}},
    {"Blur", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}},
    {"Edges", {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1}},
    {"Emboss", {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}},
    {"High Pass 1", {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}},
    {"High Pass 2", {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}},
    {"High Pass 3", {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}},
    {"Low Pass 1", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10}},
    {"Low Pass 2", {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}},
};

void PutLE32(uint8_t* P, int32_t V) {
  const uint32_t U = uint32_t(V);
  for (int i = 0; i < 4; ++i) P[i] = uint8_t(U >> (8 * i));
}
int32_t GetLE32(const uint8_t* P) {
  uint32_t U = 0;
  for (int i = 0; i < 4; ++i) U |= uint32_t(P[i]) << (8 * i);
  return int32_t(U);
}

}  // namespace

void IEConvolve3x3(TIEBitmap* Bitmap, const TIEFilterKernel3x3& Filter, int32_t X1, int32_t Y1, int32_t X2,
                   int32_t Y2, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  Convolve<3>(Bitmap, Filter, X1, Y1, X2, Y2, OnProgress, Sender);
}

void IEConvolve3x3Gray(TIEBitmap* Bitmap, const TIEFilterKernel3x3& Filter, int32_t X1, int32_t Y1,
                       int32_t X2, int32_t Y2) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie8g || Bitmap->IsEmpty()) return;
  Convolve<1>(Bitmap, Filter, X1, Y1, X2, Y2, nullptr, nullptr);
}

bool IELoadFilterFromFile(const std::string& FileName, TIEFilterKernel3x3& Filter) {
  TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
  uint8_t Buf[43];
  if (S.Read(Buf, 3) != 3 || Buf[0] != 1 || Buf[1] != 3 || Buf[2] != 3) return false;
  // A record cut short leaves the filter as it was.
  if (S.Read(Buf + 3, 40) != 40) return false;
  for (int32_t k = 0; k < 9; ++k) Filter.Values[k / 3][k % 3] = GetLE32(Buf + 3 + 4 * k);
  Filter.Divisor = GetLE32(Buf + 39);
  return true;
}

void IESaveFilterToFile(const std::string& FileName, const TIEFilterKernel3x3& Filter) {
  uint8_t Buf[43] = {1, 3, 3};
  for (int32_t k = 0; k < 9; ++k) PutLE32(Buf + 3 + 4 * k, Filter.Values[k / 3][k % 3]);
  PutLE32(Buf + 39, Filter.Divisor);
  TFileStream S(FileName, fmCreate);
  S.WriteBuffer(Buf, sizeof Buf);
}

std::string IEFilterToString(const TIEFilterKernel3x3& Filter) {
  std::string S;
  for (int32_t k = 0; k < 9; ++k)
    S += std::to_string(Filter.Values[k / 3][k % 3]) + "/" + std::to_string(Filter.Divisor);
  return S;
}

const TIEFilterKernel3x3& IEGetPresetFilter(int32_t Index) {
  return Presets[Index >= 0 && Index < IEPresetFilterCount ? Index : 0].Filter;
}

std::string IEGetPresetFilterName(int32_t Index) {
  return Presets[Index >= 0 && Index < IEPresetFilterCount ? Index : 0].Name;
}
