#pragma once
// TIEFtImage: the two-dimensional discrete Fourier transform of an image, as
// three planes (red, green, blue) or one (gray) on a square whose side N is a
// power of two, with the zero frequency moved to the centre (N/2, N/2).  It
// renders the spectrum as a picture, lets a caller overwrite coefficients
// under a mask (the way frequencies are removed) and transforms back to an
// image of the size that was transformed.
//
// A plane is N rows of 2N single-precision floats: real parts in 0 .. N-1,
// imaginary parts in N .. 2N-1 of each row.  The transform is the unitary one
// (scaled by 1 / sqrt(N) per direction), computed by our own radix-2 code in
// single precision: the sizes are the small previews of the effects dialog,
// and the transform's exact scaling and row layout are part of the contract.
// Caller's thread.
#include <cstdint>
#include <vector>

#include "foundations/progress.h"
#include "platform/rtl/object.h"

class TIEBitmap;
class TIEMask;

// 1: red, green and blue planes; 2: one gray plane.
using TIEFFTChannelMode = uint8_t;
inline constexpr TIEFFTChannelMode iefftRGB = 1;
inline constexpr TIEFFTChannelMode iefftGray = 2;

class TIEFtImage : public TObject {
 public:
  using TPlane = std::vector<float>;  // N x 2N, empty when absent

  TIEFtImage() = default;
  ~TIEFtImage() override = default;
  TIEFtImage(const TIEFtImage&) = delete;
  TIEFtImage& operator=(const TIEFtImage&) = delete;

  // Frees the planes.
  void Clear();
  // Copies size, offsets, image size, mode, progress handler and planes.
  void Assign(TIEFtImage* Source);

  // Working size of a preview whose longer side is a third of A x B, but at
  // least 128 (integer divisions).
  static void CalcReducedSize(int32_t A, int32_t B, int32_t& NewA, int32_t& NewB);
  // The smallest power of two not below max(A, B).
  static void CalcPow2Size(int32_t A, int32_t B, int32_t& N);

  // Forward transform of Bitmap (read as ie24RGB; other formats through a
  // converted copy), centred in the N x N square on black.  False, with no
  // planes, for an empty bitmap, a square below 4 x 4, an unknown mode or
  // memory that cannot be had.
  bool BuildFFT(TIEBitmap* Bitmap, TIEFFTChannelMode Mode);
  // Bitmap := the N x N ie24RGB picture of the log spectrum.  Nothing without
  // planes.
  void GetSpectrumImage(TIEBitmap* Bitmap);
  // Bitmap := the inverse transform, ie24RGB of the transformed size,
  // stretched to 0 .. 255.  Nothing without planes.
  void GetInverseImage(TIEBitmap* Bitmap);
  // Coefficients under the mask's non-zero values (mask coordinates are those
  // of the spectrum picture) become (Re, Im) in every plane; the mask's box is
  // clipped to the square.
  void ClearZone(TIEMask* Mask, float Re, float Im);

  int32_t GetSize() const { return FSize; }
  TIEFFTChannelMode GetChannelMode() const { return FChannelMode; }
  int32_t GetImageWidth() const { return FImageWidth; }
  int32_t GetImageHeight() const { return FImageHeight; }
  int32_t GetOffsetX() const { return FOffsetX; }
  int32_t GetOffsetY() const { return FOffsetY; }
  bool HasPlanes() const { return !FRed.empty() || !FGray.empty(); }
  // Coefficient (real, imaginary) at Row, Col of a plane: 0 red, 1 green,
  // 2 blue, 3 gray.  Zero for an absent plane or a cell outside it.
  float GetRe(int32_t Plane, int32_t Row, int32_t Col) const;
  float GetIm(int32_t Plane, int32_t Row, int32_t Col) const;

  // (Sender, percent), with this object as Sender.
  TIEProgressEvent OnProgress;

 private:
  struct TJob {
    int32_t Planes = 1;
    int32_t Done = 0;
  };
  void BuildTables(int32_t N);
  void Transform1D(float* Re, float* Im, float Sign) const;
  void Transform2D(TPlane& P, float Sign, TJob& Job);
  const TPlane* PlaneAt(int32_t Index) const;

  int32_t FSize = 0;
  TIEFFTChannelMode FChannelMode = iefftRGB;
  TPlane FRed, FGreen, FBlue, FGray;
  int32_t FImageWidth = 0, FImageHeight = 0;
  int32_t FOffsetX = 0, FOffsetY = 0;
  // Tables of the current N.
  int32_t FTableSize = 0;
  int32_t FLog2N = 0;
  std::vector<double> FSine;
  std::vector<int32_t> FBitReverse;
};
