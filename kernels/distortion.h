#pragma once
// Distortion effects of the effects dialog on ie24RGB images: a bump map lit
// by a coloured light, a lens refracting the image through an ellipsoid, and
// concentric sine waves around the centre.  Other pixel formats are left
// alone.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// Lights the rectangle (X2, Y2 exclusive) by the gray relief of the image;
// the light sits at LightX, LightY with the given size.  Mix is the per cent
// of the unlit image kept (100 leaves the image as it is).  Nothing when a
// light size is 0.
void IEBumpMap(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t LightX,
               int32_t LightY, int32_t LightWidth, int32_t LightHeight, const TRGB& LightColor, int32_t Mix,
               const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Refracts the ellipse of Width x Height around the centre; nothing when
// |Refraction| < 1.  Pixels outside the ellipse stay as they are.
void IELens(TIEBitmap* Bitmap, int32_t CentreX, int32_t CentreY, int32_t Width, int32_t Height,
            double Refraction, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Refracted offsets of the point (X, Y) from the lens centre (Y upwards) for
// the semi-axes B (horizontal) and A (vertical) and the index N; the point
// itself where the geometry has no answer.
void IELensRefract(double X, double Y, double B, double A, double N, double& XOut, double& YOut);
// Sine ripples of the given amplitude, wavelength and phase (degrees); the
// reflective form scales the offset from the centre instead of shifting.
// Nothing when Amplitude or WaveLength is 0.
void IEWave(TIEBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
            TIEProgressRec* Progress = nullptr);
