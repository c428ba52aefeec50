#include "kernels/fourier.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

void TIEFtImage::Clear() {
  TPlane().swap(FRed);
  TPlane().swap(FGreen);
  TPlane().swap(FBlue);
  TPlane().swap(FGray);
}

void TIEFtImage::Assign(TIEFtImage* Source) {
  if (!Source || Source == this) return;
  Clear();
  FSize = Source->FSize;
  if (FSize >= 4) BuildTables(FSize);
  FOffsetX = Source->FOffsetX;
  FOffsetY = Source->FOffsetY;
  FImageWidth = Source->FImageWidth;
  FImageHeight = Source->FImageHeight;
  OnProgress = Source->OnProgress;
  FChannelMode = Source->FChannelMode;
  FRed = Source->FRed;
  FGreen = Source->FGreen;
  FBlue = Source->FBlue;
  FGray = Source->FGray;
}

void TIEFtImage::CalcReducedSize(int32_t A, int32_t B, int32_t& NewA, int32_t& NewB) {
  if (B < A) {
    NewA = std::max(A / 3, 128);
    NewB = A != 0 ? int32_t(int64_t(B) * NewA / A) : 0;
  } else {
    NewB = std::max(B / 3, 128);
    NewA = B != 0 ? int32_t(int64_t(A) * NewB / B) : 0;
  }
}

void TIEFtImage::CalcPow2Size(int32_t A, int32_t B, int32_t& N) {
  const int64_t M = std::max(A, B);
  int64_t P = 1;
  while (P < M) P <<= 1;
  N = int32_t(std::min<int64_t>(P, INT32_MAX / 2 + 1));
}

void TIEFtImage::BuildTables(int32_t N) {
  FTableSize = N;
  FLog2N = int32_t(std::trunc(std::log(double(N)) / std::log(2.0) + 0.5));
  FSine.resize(size_t(N));
  for (int32_t i = 0; i < N; ++i) FSine[i] = std::sin(2 * kPi * i / N);
  FBitReverse.resize(size_t(N));
  for (int32_t i = 0; i < N; ++i) {
    int32_t R = 0;
    for (int32_t b = 0; b < FLog2N; ++b)
      if (i & (1 << b)) R |= 1 << (FLog2N - 1 - b);
    FBitReverse[i] = R;
  }
}

// Unitary DFT of one row, X[k] = 1/sqrt(N) sum (x + iy) exp(Sign 2 pi i k n / N):
// bit-reversed order, then butterflies of growing length.
void TIEFtImage::Transform1D(float* Re, float* Im, float Sign) const {
  const int32_t N = FTableSize;
  for (int32_t i = 0; i < N; ++i) {
    const int32_t j = FBitReverse[i];
    if (i < j) {
      std::swap(Re[i], Re[j]);
      std::swap(Im[i], Im[j]);
    }
  }
  for (int32_t Len = 2; Len <= N; Len <<= 1) {
    const int32_t Half = Len / 2, Step = N / Len;
    for (int32_t k = 0; k < Half; ++k) {
      const int32_t Idx = k * Step;
      const float c = float(FSine[(Idx + N / 4) % N]);
      const float d = Sign * float(FSine[Idx]);
      for (int32_t i = k; i < N; i += Len) {
        const int32_t j = i + Half;
        const float u = Re[j] * c - Im[j] * d;
        const float v = Re[j] * d + Im[j] * c;
        Re[j] = Re[i] - u;
        Im[j] = Im[i] - v;
        Re[i] += u;
        Im[i] += v;
      }
    }
  }
  const float Scale = float(1.0 / std::sqrt(double(N)));
  for (int32_t i = 0; i < N; ++i) {
    Re[i] *= Scale;
    Im[i] *= Scale;
  }
}

void TIEFtImage::Transform2D(TPlane& P, float Sign, TJob& Job) {
  const int32_t N = FSize;
  if (FTableSize != N) BuildTables(N);
  if (Sign != 1.0f) Sign = -1.0f;
  for (int32_t r = 0; r < N; ++r) {
    float* Row = &P[size_t(r) * 2 * N];
    Transform1D(Row, Row + N, Sign);
  }
  std::vector<float> Scratch(size_t(2) * N);
  const double Step = 100.0 / (double(Job.Planes) * N);
  for (int32_t j = 0; j < N; ++j) {
    for (int32_t r = 0; r < N; ++r) {
      Scratch[r] = P[size_t(r) * 2 * N + j];
      Scratch[size_t(N) + r] = P[size_t(r) * 2 * N + N + j];
    }
    Transform1D(Scratch.data(), Scratch.data() + N, Sign);
    for (int32_t r = 0; r < N; ++r) {
      P[size_t(r) * 2 * N + j] = Scratch[r];
      P[size_t(r) * 2 * N + N + j] = Scratch[size_t(N) + r];
    }
    if (OnProgress) OnProgress(this, int32_t(Step * j + Step * Job.Done * N));
  }
  ++Job.Done;
}

bool TIEFtImage::BuildFFT(TIEBitmap* Bitmap, TIEFFTChannelMode Mode) {
  Clear();
  if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) return false;
  if (Mode != iefftRGB && Mode != iefftGray) return false;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  int32_t N;
  CalcPow2Size(W, H, N);
  // The transform's butterflies need at least four points per row.
  if (N < 4 || int64_t(N) > 32768) return false;
  FChannelMode = Mode;
  FImageWidth = W;
  FImageHeight = H;
  FSize = N;
  FOffsetX = (N - W) / 2;
  FOffsetY = (N - H) / 2;
  // Pixels are read as 3 bytes: other formats go through a 24-bit copy.
  std::unique_ptr<TIEBitmap> Copy;
  TIEBitmap* Src = Bitmap;
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    Copy = std::make_unique<TIEBitmap>();
    Copy->Assign(Bitmap);
    Copy->SetPixelFormat(ie24RGB);
    if (Copy->GetPixelFormat() != ie24RGB) return false;
    Src = Copy.get();
  }
  try {
    const std::vector<int32_t> Channels =
        Mode == iefftRGB ? std::vector<int32_t>{0, 1, 2} : std::vector<int32_t>{3};
    TJob Job;
    Job.Planes = int32_t(Channels.size());
    for (int32_t Ch : Channels) {
      TPlane P(size_t(N) * 2 * N, 0.0f);
      // Extract the channel into the real parts, centred in the square.
      float Max = 1;
      for (int32_t y = 0; y < H; ++y) {
        const TRGB* Row = reinterpret_cast<const TRGB*>(Src->GetScanline(y));
        float* Dst = &P[size_t(y + FOffsetY) * 2 * N + FOffsetX];
        for (int32_t x = 0; x < W; ++x) {
          const TRGB& Px = Row[x];
          const int32_t V = Ch == 0 ? Px.r : Ch == 1 ? Px.g : Ch == 2 ? Px.b : IERGBToGray(Px);
          Dst[x] = float(V);
          Max = std::max(Max, float(V));
        }
      }
      // Normalised input; the checkerboard sign moves the zero frequency to
      // the centre.
      for (int32_t r = 0; r < N; ++r) {
        float* Row = &P[size_t(r) * 2 * N];
        for (int32_t c = 0; c < N; ++c) {
          Row[c] /= Max;
          if ((r + c) & 1) Row[c] = -Row[c];
        }
      }
      Transform2D(P, -1.0f, Job);
      (Ch == 0 ? FRed : Ch == 1 ? FGreen : Ch == 2 ? FBlue : FGray) = std::move(P);
    }
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  return true;
}

void TIEFtImage::GetSpectrumImage(TIEBitmap* Bitmap) {
  if (!Bitmap || !HasPlanes()) return;
  const int32_t N = FSize;
  if (!Bitmap->Allocate(N, N, ie24RGB)) return;
  Bitmap->Fill(0);
  const TPlane* Planes[4] = {&FRed, &FGreen, &FBlue, &FGray};
  std::vector<float> V(size_t(N) * N);
  for (int32_t p = 0; p < 4; ++p) {
    const TPlane& P = *Planes[p];
    if (P.empty()) continue;
    float Lo = 1e20f, Hi = -1e20f;
    for (int32_t r = 0; r < N; ++r)
      for (int32_t c = 0; c < N; ++c) {
        const float Re = P[size_t(r) * 2 * N + c], Im = P[size_t(r) * 2 * N + N + c];
        const float M = std::sqrt(Re * Re + Im * Im);
        const float v = M > 0 ? std::log(std::sqrt(M)) : 0.0f;
        V[size_t(r) * N + c] = v;
        Lo = std::min(Lo, v);
        Hi = std::max(Hi, v);
      }
    if (Lo > -0.00001f && Lo < 0.00001f) Lo = 0;
    const float Scale = Hi != Lo ? 255.0f / (Hi - Lo) : 0.0f;
    for (int32_t r = 0; r < N; ++r) {
      uint8_t* Row = Bitmap->GetScanline(r);
      for (int32_t c = 0; c < N; ++c) {
        const float t = std::trunc((V[size_t(r) * N + c] - Lo) * Scale);
        const uint8_t B = uint8_t(std::clamp(t, 0.0f, 255.0f));
        // Bytes blue, green, red; the gray plane goes into all three.
        if (p == 3) {
          Row[3 * c] = Row[3 * c + 1] = Row[3 * c + 2] = B;
        } else {
          Row[3 * c + (2 - p)] = B;
        }
      }
    }
  }
}

void TIEFtImage::GetInverseImage(TIEBitmap* Bitmap) {
  if (!Bitmap || !HasPlanes()) return;
  const int32_t N = FSize;
  if (!Bitmap->Allocate(FImageWidth, FImageHeight, ie24RGB)) return;
  Bitmap->Fill(0);
  const TPlane* Planes[4] = {&FRed, &FGreen, &FBlue, &FGray};
  TJob Job;
  Job.Planes = FGray.empty() ? 3 : 1;
  for (int32_t p = 0; p < 4; ++p) {
    if (Planes[p]->empty()) continue;
    TPlane P = *Planes[p];
    Transform2D(P, 1.0f, Job);
    // Absolute values stretched to 0 .. 255 over the whole plane.
    float Lo = 1e30f, Hi = 0;
    for (float& v : P) {
      v = std::fabs(v);
      Lo = std::min(Lo, v);
      Hi = std::max(Hi, v);
    }
    for (float& v : P) v = Hi != Lo ? (v - Lo) * 255.0f / (Hi - Lo) : 0.0f;
    for (int32_t r = 0; r < FImageHeight; ++r) {
      uint8_t* Row = Bitmap->GetScanline(r);
      const float* Src = &P[size_t(r + FOffsetY) * 2 * N + FOffsetX];
      for (int32_t c = 0; c < FImageWidth; ++c) {
        const uint8_t B = uint8_t(std::clamp(std::trunc(Src[c]), 0.0f, 255.0f));
        if (p == 3) {
          Row[3 * c] = Row[3 * c + 1] = Row[3 * c + 2] = B;
        } else {
          Row[3 * c + (2 - p)] = B;
        }
      }
    }
  }
}

void TIEFtImage::ClearZone(TIEMask* Mask, float Re, float Im) {
  if (!Mask || Mask->IsEmpty() || !HasPlanes()) return;
  const int32_t N = FSize;
  const int32_t X1 = std::max(Mask->GetX1(), 0), Y1 = std::max(Mask->GetY1(), 0);
  const int32_t X2 = std::min({Mask->GetX2(), N - 1, Mask->GetWidth() - 1});
  const int32_t Y2 = std::min({Mask->GetY2(), N - 1, Mask->GetHeight() - 1});
  TPlane* Planes[4] = {&FRed, &FGreen, &FBlue, &FGray};
  for (int32_t y = Y1; y <= Y2; ++y)
    for (int32_t x = X1; x <= X2; ++x) {
      if (Mask->GetPixel(x, y) <= 0) continue;
      for (TPlane* P : Planes) {
        if (P->empty()) continue;
        (*P)[size_t(y) * 2 * N + x] = Re;
        (*P)[size_t(y) * 2 * N + N + x] = Im;
      }
    }
}

const TIEFtImage::TPlane* TIEFtImage::PlaneAt(int32_t Index) const {
  switch (Index) {
    case 0: return &FRed;
    case 1: return &FGreen;
    case 2: return &FBlue;
    case 3: return &FGray;
    default: return nullptr;
  }
}

float TIEFtImage::GetRe(int32_t Plane, int32_t Row, int32_t Col) const {
  const TPlane* P = PlaneAt(Plane);
  if (!P || P->empty() || Row < 0 || Col < 0 || Row >= FSize || Col >= FSize) return 0;
  return (*P)[size_t(Row) * 2 * FSize + Col];
}

float TIEFtImage::GetIm(int32_t Plane, int32_t Row, int32_t Col) const {
  const TPlane* P = PlaneAt(Plane);
  if (!P || P->empty() || Row < 0 || Col < 0 || Row >= FSize || Col >= FSize) return 0;
  return (*P)[size_t(Row) * 2 * FSize + FSize + Col];
}
