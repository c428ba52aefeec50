// Writing a Fourier-transform image's spectrum or inverse into the processed
// bitmap.
#include "foundations/image_buffer.h"
#include "kernels/fourier.h"
#include "processing/folio_proc.h"

void TFolioProc::FFTSpectrumToImage(TIEFtImage* FT) {
  if (!FT || !FT->HasPlanes() || !EnsurePixelFormat(0)) return;
  FT->GetSpectrumImage(FIEBitmap);
  Refresh();
  NotifyFinishWork();
}

void TFolioProc::InverseFFTToImage(TIEFtImage* FT) {
  if (!FT || !FT->HasPlanes() || !EnsurePixelFormat(0)) return;
  FT->GetInverseImage(FIEBitmap);
  Refresh();
  NotifyFinishWork();
}
