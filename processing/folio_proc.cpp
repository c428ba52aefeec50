#include "processing/folio_proc.h"

#include <algorithm>
#include <cmath>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "kernels/gamma_blur_shadow.h"
#include "processing/effects_launcher.h"
#include "foundations/pixel_utils.h"
#include "views/view_base.h"

namespace {

// Conversion candidates of each current format, best first.
const std::vector<TIEPixelFormat>& Preferences(TIEPixelFormat F) {
  static const std::vector<TIEPixelFormat> Rows[IEPixelFormatCount] = {
      {},                                                     // ieNoFormat
      {ie8g, ie16g, ie32f, ie24RGB},                          // ie1g
      {ie24RGB, ieCMYK, ieRGB48, ieCIELab},                   // ie8p
      {ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48},               // ie8g
      {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK},                // ie16g
      {ieCMYK, ieCIELab, ieRGB48, ie8p, ie16g, ie8g},         // ie24RGB
      {ie16g, ie8g, ie24RGB, ieRGB48, ieCIELab},              // ie32f
      {ie24RGB, ieRGB48, ieCIELab, ie8g},                     // ieCMYK
      {ie24RGB, ieCMYK, ieCIELab, ie16g},                     // ieRGB48
      {ie24RGB, ieCMYK, ieRGB48, ie8g},                       // ieCIELab
      {ie24RGB, ieCMYK, ieRGB48, ie8g},                       // ie32RGB
  };
  static const std::vector<TIEPixelFormat> None;
  return uint8_t(F) < IEPixelFormatCount ? Rows[F] : None;
}

bool InSet(TIEPixelFormatSet S, TIEPixelFormat F) { return uint8_t(F) < 16 && (S >> F) & 1; }

}  // namespace

TFolioProc::TFolioProc(TComponent* AOwner) : TComponent(AOwner), FAutoUndo(AOwner != nullptr) { UseOwnBitmap(); }

std::unique_ptr<TFolioProc> TFolioProc::CreateFromBitmap(TIEBitmap* Bitmap) {
  auto P = std::make_unique<TFolioProc>(nullptr);
  P->FAutoUndo = false;
  P->SetAttachedBitmap(Bitmap);
  return P;
}

TFolioProc::~TFolioProc() {
  Unregister();
  DropAllUndo();
  DropAllRedo();
}

void TFolioProc::UseOwnBitmap() {
  FOwnBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnBitmap.get();
}

void TFolioProc::Unregister() {
  if (FAttachedFolio && FCallbackHandle) {
    FAttachedFolio->UnregisterChangeCallback(static_cast<TIEChangeCallbackHandle>(FCallbackHandle));
    FAttachedFolio->RemoveFreeNotification(this);
  }
  FCallbackHandle = nullptr;
}

void TFolioProc::SetAttachedFolio(TIEView* View) {
  Unregister();
  FAttachedFolio = View;
  if (!View) {
    UseOwnBitmap();
    return;
  }
  TIEBitmap* Shown = View->GetViewIEBitmap();
  if (Shown) {
    FOwnBitmap.reset();
    FIEBitmap = Shown;
  } else {
    UseOwnBitmap();
  }
  View->FreeNotification(this);
  FCallbackHandle = View->RegisterChangeCallback([this](TIEView* Sender, int32_t Code) { ViewChanged(Sender, Code); },
                                                 this);
}

void TFolioProc::SetAttachedBitmap(TIEBitmap* Bitmap) {
  if (!Bitmap && FAttachedFolio) return;
  Unregister();
  FAttachedFolio = nullptr;
  FOwnBitmap.reset();
  FIEBitmap = Bitmap;
}

void TFolioProc::ViewChanged(TIEView* Sender, int32_t Code) {
  if (Code == 1) {
    // The view is going: its callback record is freed by the view itself.
    FCallbackHandle = nullptr;
    FAttachedFolio = nullptr;
    UseOwnBitmap();
  } else if (Code == 0 && FAttachedFolio) {
    if (TIEBitmap* Shown = FAttachedFolio->GetViewIEBitmap()) {
      FOwnBitmap.reset();
      FIEBitmap = Shown;
    }
  }
}

void TFolioProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAttachedFolio) {
    Unregister();
    FAttachedFolio = nullptr;
    UseOwnBitmap();
  }
}

TColor TFolioProc::GetBackground() const { return FAttachedFolio ? FAttachedFolio->GetBackground() : FBackground; }

void TFolioProc::SetBackground(TColor Value) {
  if (FAttachedFolio)
    FAttachedFolio->SetBackground(Value);
  else
    FBackground = Value;
}

int32_t TFolioProc::GetDpiX() const { return FAttachedFolio ? FAttachedFolio->GetDpiX() : IEDefaultDpiX; }
int32_t TFolioProc::GetDpiY() const { return FAttachedFolio ? FAttachedFolio->GetDpiY() : IEDefaultDpiY; }

bool TFolioProc::TargetFormat(TIEPixelFormatSet Allowed, TIEPixelFormat& Target) const {
  if (!FIEBitmap) return false;
  const TIEPixelFormat Cur = FIEBitmap->GetPixelFormat();
  Target = Cur;
  if (Allowed == 0 || InSet(Allowed, Cur)) return true;
  if (!FAutoConvertFormat) return false;
  for (TIEPixelFormat F : Preferences(Cur))
    if (InSet(Allowed, F)) {
      Target = F;
      return true;
    }
  for (int32_t F = ie32RGB; F >= ieNoFormat; --F)
    if (InSet(Allowed, TIEPixelFormat(F))) {
      Target = TIEPixelFormat(F);
      return true;
    }
  return false;
}

bool TFolioProc::EnsurePixelFormat(TIEPixelFormatSet Allowed) {
  TIEPixelFormat Target;
  if (!TargetFormat(Allowed, Target)) return false;
  if (Target != FIEBitmap->GetPixelFormat()) FIEBitmap->SetPixelFormat(Target);
  return true;
}

bool TFolioProc::GetSelectionArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, TIEMask*& Mask) {
  X1 = Y1 = 0;
  X2 = FIEBitmap ? FIEBitmap->GetWidth() : 0;
  Y2 = FIEBitmap ? FIEBitmap->GetHeight() : 0;
  Mask = nullptr;
  if (!FAttachedFolio) return false;
  Mask = FAttachedFolio->GetSelectionMask();
  if (!Mask || !FAttachedFolio->GetHasSelection()) return false;
  if (!Mask->IsEmpty()) {
    X1 = Mask->GetX1();
    Y1 = Mask->GetY1();
    X2 = Mask->GetX2() + 1;
    Y2 = Mask->GetY2() + 1;
  }
  return true;
}

bool TFolioProc::BeginOperation(TIEPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                                const std::string& Caption, TIEBitmap*& Work, TIEMask*& Mask) {
  Work = nullptr;
  Mask = nullptr;
  // A refused format is found before anything is saved, so it leaves no undo
  // entry behind.
  TIEPixelFormat Target;
  if (!TargetFormat(Allowed, Target)) return false;
  // The snapshot comes before the conversion: undo restores the old format.
  if (FAutoUndo) PushUndoWithCaption(Caption, ieuImage);
  if (!EnsurePixelFormat(Allowed)) return false;
  // A mask left over while no selection is in force does not limit the work.
  if (!GetSelectionArea(X1, Y1, X2, Y2, Mask)) Mask = nullptr;
  if (!Mask || Mask->IsEmpty()) {
    Work = FIEBitmap;
    return true;
  }
  const int32_t MX = Mask->GetX1(), MY = Mask->GetY1();
  const int32_t W = Mask->GetX2() - MX + 1, H = Mask->GetY2() - MY + 1;
  FWorkCopy = std::make_unique<TIEBitmap>(W, H, FIEBitmap->GetPixelFormat());
  if (FIEBitmap->GetPixelFormat() == ie8p) FIEBitmap->CopyPaletteTo(FWorkCopy.get());
  FIEBitmap->CopyRectTo(FWorkCopy.get(), MX, MY, 0, 0, W, H);
  if (FIEBitmap->HasAlphaChannel())
    FIEBitmap->GetAlphaChannel()->CopyRectTo(FWorkCopy->GetAlphaChannel(), MX, MY, 0, 0, W, H);
  Work = FWorkCopy.get();
  X1 = Y1 = 0;
  X2 = W;
  Y2 = H;
  return true;
}

void TFolioProc::EndOperation(TIEBitmap* Work, TIEMask* Mask) {
  if (Work && Work != FIEBitmap && Mask) {
    Mask->CopyBitmap(FIEBitmap, Work, false, true, false);
    if (Work->HasAlphaChannel() && !Work->GetAlphaChannel()->GetFull()) {
      Mask->CopyBitmap(FIEBitmap->GetAlphaChannel(), Work->GetAlphaChannel(), false, true, false);
      FIEBitmap->GetAlphaChannel()->SetFull(false);
    }
  }
  if (Work == FWorkCopy.get()) FWorkCopy.reset();
  Refresh();
}

bool TFolioProc::BeginAnalysis(TIEPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                               TIEBitmap*& Work, TIEMask*& Mask) {
  Work = nullptr;
  Mask = nullptr;
  TIEPixelFormat Target;
  if (!TargetFormat(Allowed, Target)) return false;
  if (!GetSelectionArea(X1, Y1, X2, Y2, Mask)) Mask = nullptr;
  const bool Boxed = Mask && !Mask->IsEmpty();
  if (!Boxed && Target == FIEBitmap->GetPixelFormat()) {
    Work = FIEBitmap;
    return true;
  }
  // A copy of the box (or of the whole image), converted when the analysis
  // wants another format: the document itself is never converted.
  const int32_t MX = Boxed ? Mask->GetX1() : 0, MY = Boxed ? Mask->GetY1() : 0;
  const int32_t W = Boxed ? Mask->GetX2() - MX + 1 : FIEBitmap->GetWidth();
  const int32_t H = Boxed ? Mask->GetY2() - MY + 1 : FIEBitmap->GetHeight();
  auto Box = std::make_unique<TIEBitmap>(W, H, FIEBitmap->GetPixelFormat());
  if (FIEBitmap->GetPixelFormat() == ie8p) FIEBitmap->CopyPaletteTo(Box.get());
  FIEBitmap->CopyRectTo(Box.get(), MX, MY, 0, 0, W, H);
  if (Target != Box->GetPixelFormat()) Box->SetPixelFormat(Target);
  FWorkCopy = std::move(Box);
  Work = FWorkCopy.get();
  if (Boxed) {
    X1 = Y1 = 0;
    X2 = W;
    Y2 = H;
  }
  return true;
}

void TFolioProc::EndAnalysis(TIEBitmap* Work) {
  if (Work && Work == FWorkCopy.get()) FWorkCopy.reset();
}

void TFolioProc::Refresh() {
  if (FAttachedFolio) {
    FAttachedFolio->Update();
    FAttachedFolio->DoImageChange();
  }
}

void TFolioProc::DoProgress(int32_t Per) {
  if (OnProgress) OnProgress(this, std::clamp(Per, 0, 100));
}

TIEProgressEvent TFolioProc::ProgressHandler() {
  if (!OnProgress) return nullptr;
  return [this](TObject*, int32_t Per) { DoProgress(Per); };
}

void TFolioProc::NotifyFinishWork() {
  DoProgress(100);
  if (OnFinishWork) OnFinishWork(this);
}

void TFolioProc::GammaCorrect(double Gamma, int32_t Channels) {
  if (!(Gamma > 0) || !std::isfinite(Gamma)) return;
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginOperation(IEPixelFormatSetOf({ie24RGB, ieRGB48}), X1, Y1, X2, Y2, "GammaCorrect", Work, Mask)) return;
  IEGammaCorrect(Work, Gamma, Channels, X1, Y1, X2, Y2, ProgressHandler(), this);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}

void TFolioProc::AddSoftShadow(double Radius, int32_t OffsetX, int32_t OffsetY, bool AdaptSize, TColor ShadowColor,
                               int32_t Intensity) {
  if (!EnsurePixelFormat(0)) return;
  if (FAutoUndo) PushUndoWithCaption("AddSoftShadow", ieuImage);
  IEAddSoftShadow(FIEBitmap, OffsetX, OffsetY, Radius, Intensity, AdaptSize, IEColorToRGB(ShadowColor),
                  ProgressHandler(), this);
  Refresh();
  NotifyFinishWork();
}
