#include "io/folio_io.h"

#include <cstring>
#include <vector>

#include "formats/media/direct_show.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "kernels/dib_stretch.h"
#include "kernels/resample_engine.h"
#include "platform/gdi/bitmap.h"
#include "platform/devices/video_reader.h"
#include "platform/rtl/sysutils.h"
#include "views/view_base.h"

namespace {

// Hooks through which a parameter set reaches its owning component.
bool OwnerImageSize(TFolioIO* Owner, int32_t& Width, int32_t& Height) {
  TIEBitmap* B = Owner ? Owner->GetIEBitmap() : nullptr;
  if (!B) return false;
  Width = B->GetWidth();
  Height = B->GetHeight();
  return true;
}

void OwnerSetViewDpi(TFolioIO* Owner, bool Horizontal, int32_t Value) {
  TIEView* View = Owner ? Owner->GetAttachedFolio() : nullptr;
  if (!View) return;
  View->LockPaint();
  if (Horizontal)
    View->SetDpiX(Value);
  else
    View->SetDpiY(Value);
  View->UnlockPaintNoUpdate();
}

// Once per process: components are made while other components' workers read
// the hooks, so later constructions must not write them again.
void InstallOwnerHooks() {
  static const bool Installed = [] {
    IEParamsOwnerHooks.GetImageSize = &OwnerImageSize;
    IEParamsOwnerHooks.SetViewDpi = &OwnerSetViewDpi;
    return true;
  }();
  (void)Installed;
}
}  // namespace

// ---------------------------------------------------------------------------
// Construction and attachment

TFolioIO::TFolioIO(TComponent* AOwner) : TComponent(AOwner) {
  InstallOwnerHooks();
  FParams = std::make_unique<TIOParamsVals>(this);
  NewOwnImage();
}

std::unique_ptr<TFolioIO> TFolioIO::CreateFromBitmap(TIEBitmap* Bitmap) {
  auto IO = std::make_unique<TFolioIO>(nullptr);
  IO->AttachBitmap(Bitmap);
  return IO;
}

TFolioIO::~TFolioIO() {
  WaitThreads(false);
  UnregisterFromView();
  if (FAttachedFolio) FAttachedFolio->RemoveFreeNotification(this);
  FAttachedFolio = nullptr;
  FParams.reset();
  FOwnBitmap.reset();
  FIEBitmap = nullptr;
}

void TFolioIO::NewOwnImage() {
  FOwnBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnBitmap.get();
  FGuiLink = nullptr;
}

void TFolioIO::UnregisterFromView() {
  if (FAttachedFolio && FChangeCallback) FAttachedFolio->UnregisterChangeCallback(FChangeCallback);
  FChangeCallback = nullptr;
}

void TFolioIO::SetAttachedFolio(TIEView* Value) {
  UnregisterFromView();
  if (FAttachedFolio && FAttachedFolio != Value) FAttachedFolio->RemoveFreeNotification(this);
  FAttachedFolio = Value;
  if (!Value) {
    // an image owned until now is freed first
    FOwnBitmap.reset();
    NewOwnImage();
    return;
  }
  FOwnBitmap.reset();
  FIEBitmap = nullptr;
  FGuiLink = nullptr;
  if (TIEBitmap* B = Value->GetViewIEBitmap()) {
    FIEBitmap = B;
  } else {
    NewOwnImage();
    FGuiLink = Value->GetViewBitmap();
  }
  Value->FreeNotification(this);
  FChangeCallback = Value->RegisterChangeCallback(
      [this](TIEView*, int32_t Code) { ViewChanged(Code == 1); }, this);
}

void TFolioIO::ReplaceBitmap(TIEBitmap* Bitmap) {
  FGuiLink = nullptr;
  FOwnBitmap.reset();
  FIEBitmap = Bitmap;
}

void TFolioIO::AttachBitmap(TIEBitmap* Bitmap) {
  UnregisterFromView();
  if (!Bitmap && FAttachedFolio) return;
  ReplaceBitmap(Bitmap);
  if (Bitmap && FAttachedFolio) {
    FAttachedFolio->RemoveFreeNotification(this);
    FAttachedFolio = nullptr;
  }
}

TBitmap* TFolioIO::GetTBitmap() {
  if (FIEBitmap && FIEBitmap->GetLocation() == ieTBitmap) return FIEBitmap->GetTBitmap();
  return FGuiLink;
}

void TFolioIO::ViewChanged(bool Destroying) {
  if (!FAttachedFolio) return;
  if (Destroying) {
    // the view frees its callback records itself
    FChangeCallback = nullptr;
    FAttachedFolio->RemoveFreeNotification(this);
    FAttachedFolio = nullptr;
    if (!FOwnBitmap) NewOwnImage();
    return;
  }
  if (FIEBitmap && !FOwnBitmap) {
    FIEBitmap = FAttachedFolio->GetViewIEBitmap();
    FGuiLink = nullptr;
    if (!FIEBitmap) {
      NewOwnImage();
      FGuiLink = FAttachedFolio->GetViewBitmap();
    }
  } else if (TIEBitmap* B = FAttachedFolio->GetViewIEBitmap()) {
    FOwnBitmap.reset();
    FIEBitmap = B;
    FGuiLink = nullptr;
  } else if (FGuiLink || !FIEBitmap) {
    if (!FIEBitmap) NewOwnImage();
    FGuiLink = FAttachedFolio->GetViewBitmap();
    if (FGuiLink) FIEBitmap->AssignTBitmap(FGuiLink);
  }
  FParams->SetDpiX(FAttachedFolio->GetDpiX());
  FParams->SetDpiY(FAttachedFolio->GetDpiY());
}

void TFolioIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent && AComponent == static_cast<TComponent*>(FAttachedFolio)) {
    // the view is going: its callback records go with it
    FChangeCallback = nullptr;
    FAttachedFolio = nullptr;
    if (!FOwnBitmap) NewOwnImage();
  }
}

TColor TFolioIO::GetBackground() const {
  return FAttachedFolio ? FAttachedFolio->GetBackground() : FBackground;
}

void TFolioIO::SetBackground(TColor Value) {
  if (!FAttachedFolio) FBackground = Value;
}

// ---------------------------------------------------------------------------
// Helpers

TIEProgressRec TFolioIO::MakeProgress(bool Silent) {
  TIEProgressRec P;
  if (!Silent) P.fOnProgress = [this](TObject* Sender, int32_t per) { DoProgress(Sender, per); };
  P.Sender = this;
  P.Aborting = &FAborting;
  return P;
}

void TFolioIO::DoProgress(TObject* Sender, int32_t per) {
  if (!OnProgress) return;
  if (PostToView(IEM_PROGRESS, per)) return;
  OnProgress(Sender, per);
}

void TFolioIO::DoFinishWork() {
  DoProgress(this, 100);
  if (!OnFinishWork) return;
  if (PostToView(IEM_FINISHWORK, 0)) return;
  OnFinishWork(this);
}

bool TFolioIO::PrepareBitmap(uint32_t Allowed) {
  if (!FIEBitmap) return false;
  if (FGuiLink) FIEBitmap->AssignTBitmap(FGuiLink);
  if (Allowed != 0 && (Allowed & (1u << FIEBitmap->GetPixelFormat())) == 0) return false;
  return true;
}

void TFolioIO::UpdateAttached() {
  if (FGuiLink && FIEBitmap) {
    FIEBitmap->RemoveAlphaChannel(false);
    // the linked GUI bitmap receives the loaded image
    if (!FIEBitmap->IsEmpty()) {
      TIEBitmap Tmp;
      Tmp.SetLocation(ieTBitmap);
      Tmp.AssignImage(FIEBitmap);
      if (TBitmap* B = Tmp.GetTBitmap()) FGuiLink->Assign(B);
    }
  }
  if (FAttachedFolio) {
    if (!InWorkerThread())
      FAttachedFolio->Update();
    else
      PostToView(IEM_UPDATE, 0);
    FAttachedFolio->DoImageChange();
  }
}

void TFolioIO::FixMissingDpi() {
  if (FParams->DpiX < 2) FParams->SetDpiX(IEDefaultDpiX);
  if (FParams->DpiY < 2) FParams->SetDpiY(IEDefaultDpiY);
}

void TFolioIO::SyncViewDPI() {
  if (!FAttachedFolio) return;
  FAttachedFolio->LockPaint();
  FAttachedFolio->SetDpi(FParams->DpiX, FParams->DpiY);
  FAttachedFolio->UnlockPaintNoUpdate();
}

bool TFolioIO::DoPreviews(TIEParamsPages Pages) {
  bool Handled = false;
  if (OnDoPreviews) OnDoPreviews(this, Handled);
  if (Handled) return true;
  // The parameters dialog is not part of this build.
  return false;
}

// ---------------------------------------------------------------------------
// Resolution equalisation

namespace {
// The new size and resolution of an equalisation; false when nothing is to be
// done.  The new side is truncated toward zero.
bool ComputeAdjust(int32_t Width, int32_t Height, int32_t DpiX, int32_t DpiY, int32_t& NewWidth,
                   int32_t& NewHeight, int32_t& NewDpi) {
  if (DpiX == DpiY || DpiX <= 0 || DpiY <= 0 || Width <= 0 || Height <= 0) return false;
  // A resolution pair read from a file may ask for a side no image can have:
  // such a page is left as it is.
  const auto Scaled = [](int32_t Side, int32_t From, int32_t To, int32_t& Result) {
    const long double V = static_cast<long double>(Side) / From * To;
    if (!(V < 2147483648.0L)) return false;
    Result = static_cast<int32_t>(V);
    return true;
  };
  NewWidth = Width;
  NewHeight = Height;
  if (Height < Width) {
    if (!Scaled(Height, DpiY, DpiX, NewHeight)) return false;
    NewDpi = DpiX;
  } else {
    if (!Scaled(Width, DpiX, DpiY, NewWidth)) return false;
    NewDpi = DpiY;
  }
  return NewWidth > 0 && NewHeight > 0;
}

std::unique_ptr<TIEBitmap> StretchTo(TIEBitmap* Source, int32_t W, int32_t H, bool Filtered) {
  auto Dest = std::make_unique<TIEBitmap>();
  if (Filtered) {
    std::unique_ptr<TIEBitmap> Tmp;
    TIEBitmap* Src = Source;
    if (Source->GetPixelFormat() != ie24RGB) {
      Tmp = std::make_unique<TIEBitmap>();
      Tmp->Assign(Source);
      Tmp->ConvertToPixelFormat(ie24RGB);
      Src = Tmp.get();
    }
    if (!Dest->Allocate(W, H, ie24RGB)) return nullptr;
    _ResampleEx(Src, Dest.get(), rfFastLinear);
  } else {
    if (!Dest->Allocate(W, H, Source->GetPixelFormat())) return nullptr;
    _IEBmpStretchEx(Source, Dest.get());
  }
  return Dest;
}
}  // namespace

void TFolioIO::AdjustDpi() {
  if (!PrepareBitmap()) return;
  TIOParamsVals& P = *FParams;
  if (FIEBitmap->GetWidth() <= 0 || FIEBitmap->GetHeight() <= 0) return;
  int32_t NW, NH, NDpi;
  if (!ComputeAdjust(P.Width, P.Height, P.DpiX, P.DpiY, NW, NH, NDpi)) return;
  // The fields themselves, not through the setters (the view learns the
  // resolution from SyncViewDPI); the EXIF resolution follows them.
  P.DpiX = P.DpiY = NDpi;
  P.ExifXResolution = P.ExifYResolution = NDpi;
  P.Width = NW;
  P.Height = NH;
  std::unique_ptr<TIEBitmap> Alpha;
  if (FIEBitmap->HasAlphaChannel()) {
    Alpha = std::make_unique<TIEBitmap>();
    Alpha->Assign(FIEBitmap->GetAlphaChannel());
  }
  std::unique_ptr<TIEBitmap> NewImage = StretchTo(FIEBitmap, NW, NH, FFilteredAdjustDPI);
  if (!NewImage) {
    FAborting = true;
    return;
  }
  FIEBitmap->Assign(NewImage.get());
  NewImage.reset();
  if (Alpha) {
    auto NewAlpha = TIEBitmap::CreateAlphaPlane(NW, NH, ieMemory);
    if (NewAlpha && NewAlpha->GetPixelFormat() == Alpha->GetPixelFormat()) {
      _IEBmpStretchEx(Alpha.get(), NewAlpha.get());
      FIEBitmap->AttachAlphaChannel(std::move(NewAlpha));
    }
  }
}

std::unique_ptr<TIEBitmap> IEAdjustBitmapDpi(TIEBitmap* Bitmap, TIOParamsVals& Params, bool Filtered) {
  if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return nullptr;
  int32_t NW, NH, NDpi;
  if (!ComputeAdjust(Params.Width, Params.Height, Params.DpiX, Params.DpiY, NW, NH, NDpi)) return nullptr;
  auto Result = StretchTo(Bitmap, NW, NH, Filtered);
  if (!Result) return nullptr;
  Params.SetDpiX(NDpi);
  Params.SetDpiY(NDpi);
  Params.Width = NW;
  Params.Height = NH;
  return Result;
}
