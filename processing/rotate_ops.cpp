// Rotation of the whole image by any angle, choosing the kernel by
// antialiasing, quality and pixel format; the alpha plane turns alongside.
#include <cmath>
#include <cstdio>
#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/rotate_kernels.h"
#include "kernels/shear_rotate.h"
#include "processing/fill_value.h"
#include "processing/folio_proc.h"
#include "views/view_base.h"

void TFolioProc::Rotate(double Angle, bool Antialias, uint8_t Quality, TColor Background) {
  if (Angle == 0 || !std::isfinite(Angle) || !EnsurePixelFormat(0) || FIEBitmap->IsEmpty()) return;
  char Caption[64];
  std::snprintf(Caption, sizeof Caption, "Rotate %.2f", Angle);
  if (FAutoUndo) PushUndoWithCaption(Caption, ieuImage);
  if (Background == TColor(-1)) Background = GetBackground();
  const TIEProgressEvent Progress = ProgressHandler();
  // The alpha plane is turned apart with a transparent fill, before the
  // image, and put back when its size matches.
  std::unique_ptr<TIEBitmap> Alpha = FIEBitmap->DetachAlphaChannel();
  const TIEPixelFormat F = FIEBitmap->GetPixelFormat();
  if (Antialias && (F == ie24RGB || F == ie1g)) {
    if (Quality != 0 && !IEIsMultipleOf90(Angle) && F == ie24RGB) {
      if (Alpha) IERotateHQ8(Alpha.get(), 0, Quality, Angle);
      IERotateHQ24(FIEBitmap, IEColorToRGB(Background), Quality, Angle, Progress, this);
    } else {
      if (Alpha) {
        if (F == ie1g)
          IERotate8Bit(Alpha.get(), 0, Angle);
        else
          IERotateShear8(Alpha.get(), true, 0, Progress, this, Angle);
      }
      IERotateShear(FIEBitmap, true, Progress, this, IEColorToRGB(Background), Angle);
    }
  } else {
    if (Alpha) IERotateGeneric(Alpha.get(), 0, Angle);
    IERotateGeneric(FIEBitmap, IEFillValueOf(FIEBitmap, Background), Angle, Progress, this);
  }
  if (Alpha && Alpha->GetWidth() == FIEBitmap->GetWidth() && Alpha->GetHeight() == FIEBitmap->GetHeight())
    FIEBitmap->AttachAlphaChannel(std::move(Alpha));
  // A quarter turn makes columns of rows: the two resolutions change places
  // (a 204 x 98 DPI page becomes 98 x 204).
  if (FAttachedFolio && IEIsMultipleOf90(Angle) && std::fmod(std::abs(Angle), 180.0) != 0)
    FAttachedFolio->SetDpi(FAttachedFolio->GetDpiY(), FAttachedFolio->GetDpiX());
  Refresh();
  NotifyFinishWork();
}
