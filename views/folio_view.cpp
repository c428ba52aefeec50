// TFolioView: image, zoom, scrolling, coordinate conversion and the update
// cycle.
#include "views/folio_view.h"

#include <algorithm>
#include <cmath>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "foundations/value_helpers.h"
#include "io/folio_io.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/application.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "processing/folio_proc.h"
#include "views/cursors.h"
#include "views/layers.h"

namespace {

constexpr uintptr_t SmoothScrollTimerId = 0x4E52;

// Fills a bitmap of any format with a colour (ie1g: white when the colour is
// light).
void FillWithColor(TIEBitmap* B, TColor Color) {
  if (B == nullptr || B->IsEmpty()) return;
  const TColor C = ColorToRGB(Color);
  const int32_t R = C & 0xFF, G = (C >> 8) & 0xFF, Bl = (C >> 16) & 0xFF;
  switch (B->GetPixelFormat()) {
    case ie1g: B->Fill((R * 21 + G * 71 + Bl * 8) / 100 > 127 ? 1 : 0); break;
    case ie8g:
    case ie16g: B->Fill(double((R * 21 + G * 71 + Bl * 8) / 100) * (B->GetPixelFormat() == ie16g ? 257 : 1)); break;
    case ie32f: B->Fill((R * 21 + G * 71 + Bl * 8) / 100 / 255.0); break;
    default: B->Fill(double(C)); break;
  }
}

}  // namespace

// ===================================================================== life
TFolioView::TFolioView(TComponent* AOwner) : TIEView(AOwner) {
  ++FUpdateLock;
  auto* Own = new TIEBitmap();
  if (FLegacyBitmap) Own->SetLocation(ieTBitmap);
  Own->Allocate(1, 1, ie24RGB);
  FillWithColor(Own, clWhite);
  FLayers.push_back(std::make_unique<TIELayer>(this, true, Own));
  FLayers[0]->SetOwnsBitmap(true);
  FLayers[0]->VisibleBox = false;
  FLayers[0]->Locked = true;
  FIEBitmap = Own;
  FBitmap = Own->GetLocation() == ieTBitmap ? Own->GetTBitmap() : nullptr;
  IELoadViewCursors();
  FCursor = IECursorDefault;
  FBaseCursor = IECursorDefault;
  SetBounds(FLeft, FTop, 105, 105);
  FDpiX = 300;
  FDpiY = 300;
  FMask = std::make_unique<TIEMask>();
  FMask->AllocateBits(1, 1, 1);
  FWallPaper = std::make_unique<TPicture>();
  FBackBuffer = std::make_unique<TIEBitmap>();
  FBackBuffer->SetLocation(ieTBitmap);
  FBackBuffer->Allocate(10, 10, ie24RGB);
  --FUpdateLock;
  Update();
}

TFolioView::~TFolioView() {
  FDestroying = true;
  if (FNavigator) SetNavigator(nullptr);
  if (FNavigated) {
    FNavigated->FNavigator = nullptr;
    FNavigated = nullptr;
  }
  if (HandleAllocated()) {
    StopWindowTimer(SmoothScrollTimerId);
    StopWindowTimer(IEAnimationTimerId);
  }
  FProc.reset();
  FIO.reset();
  FSavedSelections.clear();
  FLayers.clear();
  FIEBitmap = nullptr;
  FBitmap = nullptr;
}

void TFolioView::Loaded() {
  TIEView::Loaded();
  Update();
}

void TFolioView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FNavigator) FNavigator = nullptr;
}

void TFolioView::SetNavigator(TFolioView* Navigator, uint8_t Options) {
  if (FNavigator) {
    TFolioView* Old = FNavigator;
    FNavigator = nullptr;
    Old->OnSelectionChanging = nullptr;
    Old->OnMouseWheel = nullptr;
    Old->FNavigated = nullptr;
    Old->FNavigatorOptions = 0;
    Old->SetExternalBitmap(nullptr);
    Old->RemoveFreeNotification(this);
  }
  if (Navigator == nullptr || Navigator == this) return;
  FNavigator = Navigator;
  Navigator->FNavigated = this;
  Navigator->FNavigatorOptions = Options;
  Navigator->SetEnableAlphaChannel(FEnableAlphaChannel);
  Navigator->SetAutoFit(true);
  Navigator->SetMouseInteract(IEMI(miSelect));
  Navigator->SetSelectionBase(iesbBitmap);
  Navigator->SetSelectionOptions(IESO(iesoMoveable) | IESO(iesoCanScroll));
  Navigator->SetExternalBitmap(FIEBitmap);
  Navigator->OnSelectionChanging = [this](TObject*) {
    if (FNavigatorInside || !FNavigator) return;
    FNavigatorInside = true;
    try {
      ScrollTo(IERound(FNavigator->GetSelectionLeft() * FZoomX / 100.0),
               IERound(FNavigator->GetSelectionTop() * FZoomY / 100.0));
    } catch (...) {
      FNavigatorInside = false;
      throw;
    }
    FNavigatorInside = false;
  };
  if (Options & 1) {
    Navigator->OnMouseWheel = [this](TObject*, TShiftState Shift, int32_t WheelDelta, TPoint MousePos, bool& Handled) {
      if (!FNavigator) return;
      TIEMouseWheelParams P = FNavigator->GetMouseWheelParams();
      P.Action = 2;
      const TPoint C = FNavigator->ScreenToClient(MousePos);
      // The point under the mouse in the navigator, as a point of this view.
      const TPoint Here{BitmapToScreenX(FNavigator->ScreenToBitmapX(C.X)),
                        BitmapToScreenY(FNavigator->ScreenToBitmapY(C.Y))};
      RunWheel(Shift, WheelDelta, Here, P);
      Handled = true;
    };
  }
  Navigator->FreeNotification(this);
  SyncNavigator();
}

void TFolioView::SyncNavigator() {
  if (!FNavigator || FNavigatorInside || FPaintLock > 0 || FUpdateLock > 0) return;
  FNavigatorInside = true;
  try {
    const int32_t x1 = ScreenToBitmapX(FOffsetX), y1 = ScreenToBitmapY(FOffsetY);
    const int32_t x2 = ScreenToBitmapX(FOffsetX + FDrawnW), y2 = ScreenToBitmapY(FOffsetY + FDrawnH);
    // The navigator always shows this view's current image.
    if (FNavigator->GetIEBitmap() != FIEBitmap) FNavigator->SetExternalBitmap(FIEBitmap);
    FNavigator->Update();
    FNavigator->SetSelectionAspectRatio(0);
    const TIESelectionBase Base = FNavigator->GetSelectionBase();
    FNavigator->SetSelectionBase(iesbBitmap);
    FNavigator->Select(x1, y1, x2, y2, 0);
    FNavigator->SetSelectionBase(Base);
  } catch (...) {
    FNavigatorInside = false;
    throw;
  }
  FNavigatorInside = false;
}

void TFolioView::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
  if ((GetComponentState() & (csReading | csLoading | csDesigning)) && FIEBitmap && AWidth > 0 && AHeight > 0) {
    FIEBitmap->Allocate(AWidth, AHeight, FIEBitmap->GetPixelFormat() == ieNoFormat ? ie24RGB : FIEBitmap->GetPixelFormat());
    FillWithColor(FIEBitmap, FBackground);
  }
}

// ===================================================================== image
void TFolioView::SetIEBitmap(TIEBitmap* Bitmap) {
  if (Bitmap == nullptr || Bitmap == FIEBitmap) return;
  FIEBitmap->Assign(Bitmap);
  Update();
  DoImageChange();
}

void TFolioView::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
  } else if (auto* V = dynamic_cast<TFolioView*>(Source)) {
    Assign(V);
  } else if (auto* B = dynamic_cast<TBitmap*>(Source)) {
    Assign(B);
  } else {
    TIEView::Assign(Source);
  }
}

void TFolioView::Assign(TFolioView* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (Source == this) return;
  FIEBitmap->Assign(Source->GetIEBitmap());
  FBackground = Source->GetBackground();
  SetDpi(Source->GetDpiX(), Source->GetDpiY());
  Update();
  DoImageChange();
}

void TFolioView::Assign(TBitmap* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  FIEBitmap->Assign(Source);
  const TIEPixelFormat F = FIEBitmap->GetPixelFormat();
  if (F != ie1g && F != ie24RGB && !FIEBitmap->IsEmpty()) FIEBitmap->SetPixelFormat(ie24RGB);
  Update();
  DoImageChange();
}

void TFolioView::Clear() {
  FillWithColor(FIEBitmap, FBackground);
  FIEBitmap->RemoveAlphaChannel(false);
  Update();
}

void TFolioView::Blank() {
  FIEBitmap->Allocate(1, 1, FIEBitmap->GetPixelFormat() == ieNoFormat ? ie24RGB : FIEBitmap->GetPixelFormat());
  Clear();
}

bool TFolioView::IsEmptyImage() { return FIEBitmap->GetWidth() < 2 && FIEBitmap->GetHeight() < 2; }

void TFolioView::DoImageChange() {
  if (OnImageChange) OnImageChange(this);
}

TFolioIO* TFolioView::GetIO() {
  if (!FIO) {
    FIO = std::make_unique<TFolioIO>(nullptr);
    FIO->SetAttachedFolio(this);
    FIO->OnProgress = FOnProgress;
    FIO->OnFinishWork = FOnFinishWork;
  }
  return FIO.get();
}

TFolioProc* TFolioView::GetProc() {
  if (!FProc) {
    FProc = std::make_unique<TFolioProc>(nullptr);
    FProc->SetAttachedFolio(this);
    FProc->OnProgress = FOnProgress;
    FProc->OnFinishWork = FOnFinishWork;
  }
  return FProc.get();
}

void TFolioView::SetOnProgress(TIEProgressEvent Value) {
  FOnProgress = Value;
  if (FIO) FIO->OnProgress = Value;
  if (FProc) FProc->OnProgress = Value;
}

void TFolioView::SetOnFinishWork(TNotifyEvent Value) {
  FOnFinishWork = Value;
  if (FIO) FIO->OnFinishWork = Value;
  if (FProc) FProc->OnFinishWork = Value;
}

TIEBitmap* TFolioView::GetAlphaChannel() { return FIEBitmap->GetAlphaChannel(); }

bool TFolioView::GetHasAlphaChannel() { return FIEBitmap->HasAlphaChannel(); }

void TFolioView::RemoveAlphaChannel(bool Merge) {
  FIEBitmap->RemoveAlphaChannel(Merge, ColorToRGB(FBackground));
  Update();
}

void TFolioView::LockPaint() { ++FPaintLock; }

int32_t TFolioView::UnlockPaint() {
  if (FPaintLock > 0) --FPaintLock;
  if (FPaintLock == 0) Update();
  return FPaintLock;
}

int32_t TFolioView::UnlockPaintNoUpdate() {
  if (FPaintLock > 0) --FPaintLock;
  return FPaintLock;
}

void TFolioView::SetBackground(TColor Value) {
  TIEView::SetBackground(Value);
  if (GetComponentState() & csDesigning) FillWithColor(FIEBitmap, Value);
  FUpdateReason = 4;
  Update();
  DoImageChange();
}

void TFolioView::SetDpiX(int32_t Value) { TIEView::SetDpiX(Value); }
void TFolioView::SetDpiY(int32_t Value) { TIEView::SetDpiY(Value); }

// ===================================================================== geometry
int32_t TFolioView::GetViewWidth() { return HasParentWindow() && HandleAllocated() ? GetClientWidth() : 50; }
int32_t TFolioView::GetViewHeight() { return HasParentWindow() && HandleAllocated() ? GetClientHeight() : 50; }
bool TFolioView::HasParentWindow() { return GetParent() != nullptr || GetParentWindow() != 0; }

void TFolioView::SetZoomFactors() {
  FZoomD100X = FZoomX / 100.0;
  FZoomD100Y = FZoomY / 100.0;
  FZoom100X = 100.0 / FZoomX;
  FZoom100Y = 100.0 / FZoomY;
}

int32_t TFolioView::SnappedViewX() {
  if (!FS2BX.empty() && FViewX >= 0 && FViewX < FExtentX && size_t(FViewX) < FS2BX.size()) {
    const int32_t b = FS2BX[size_t(FViewX)];
    if (b >= 0 && size_t(b) < FB2SX.size()) return FB2SX[size_t(b)];
  }
  return FViewX;
}

int32_t TFolioView::SnappedViewY() {
  if (!FS2BY.empty() && FViewY >= 0 && FViewY < FExtentY && size_t(FViewY) < FS2BY.size()) {
    const int32_t b = FS2BY[size_t(FViewY)];
    if (b >= 0 && size_t(b) < FB2SY.size()) return FB2SY[size_t(b)];
  }
  return FViewY;
}

void TFolioView::ComputeExtents() {
  FExtentX = IERound(FBitmapWidth * FZoomD100X);
  FExtentY = IERound(FBitmapHeight * FZoomD100Y);
  FOffsetX = 0;
  FOffsetY = 0;
  const bool Designing = GetComponentState() & csDesigning;
  const int32_t VW = Designing ? GetWidth() : GetViewWidth(), VH = Designing ? GetHeight() : GetViewHeight();
  FDrawnW = std::min(FExtentX, VW);
  FDrawnH = std::min(FExtentY, VH);
  if (FCenter) {
    if (FDrawnW < VW) FOffsetX = (VW - FDrawnW) / 2;
    if (FDrawnH < VH) FOffsetY = (VH - FDrawnH) / 2;
  }
}

void TFolioView::ComputeVisibleArea() {
  // One axis: snapped offset, image size, extent, drawn size and factor in;
  // origin, size and covered size out.
  auto Axis = [](int32_t Snapped, int32_t Img, int32_t Ext, int32_t Drawn, double Zoom, double Factor,
                     int32_t& o, int32_t& w, int32_t& s) {
    if (Ext == 0) return;
    o = IERound(double(Snapped) * Img / Ext);
    w = IERound(double(Img) / Ext * Drawn);
    if (o + w > Img) --w;
    s = Drawn;
    if (Zoom > 100) {
      s = int32_t(std::trunc(w * Factor));
      if (s < Drawn && o + w + 1 <= Img) {
        ++w;
        s = int32_t(std::trunc(w * Factor));
      }
    }
  };
  Axis(SnappedViewX(), FBitmapWidth, FExtentX, FDrawnW, FZoomX, FZoomD100X, FVisOX, FVisOW, FVisSW);
  Axis(SnappedViewY(), FBitmapHeight, FExtentY, FDrawnH, FZoomY, FZoomD100Y, FVisOY, FVisOH, FVisSH);
}

void TFolioView::PrepareZoomTables() {
  auto Build = [](std::vector<int32_t>& S2B, std::vector<int32_t>& B2S, double Zoom, int32_t Ext, int32_t Covered,
                  int32_t Img) {
    const int64_t E = int64_t(Ext) + Covered;
    const int64_t K = int64_t(std::trunc((E + 1) * 100.0 / Zoom));
    S2B.assign(size_t(E + 2), 0);
    B2S.assign(size_t(K + 2), 0);
    const int32_t Last = std::max(Img - 1, 0);
    if (Zoom > 100) {
      for (int64_t j = E; j >= 0; --j) {
        const int64_t b = int64_t(std::trunc(j * 100.0 / Zoom));
        if (b < int64_t(B2S.size())) B2S[size_t(b)] = int32_t(j);
        S2B[size_t(j)] = int32_t(std::min<int64_t>(b, Last));
      }
    } else {
      for (int64_t k = K; k >= 0; --k) {
        const int64_t c = int64_t(std::trunc(k * Zoom / 100.0));
        B2S[size_t(k)] = int32_t(c);
        if (c < int64_t(S2B.size())) S2B[size_t(c)] = int32_t(std::min<int64_t>(k, Last));
      }
    }
  };
  if (FVisSW == 0 || FVisSH == 0 || FBitmapWidth == 0 || FBitmapHeight == 0) {
    FS2BX.clear();
    FS2BY.clear();
    FB2SX.clear();
    FB2SY.clear();
    FTabZoomX = FTabZoomY = -1;
  } else if (FTabZoomX != FZoomX || FTabZoomY != FZoomY || FTabSW != FVisSW || FTabSH != FVisSH ||
             FTabImgW != FBitmapWidth || FTabImgH != FBitmapHeight || FS2BX.empty()) {
    Build(FS2BX, FB2SX, FZoomX, FExtentX, FVisSW, FBitmapWidth);
    Build(FS2BY, FB2SY, FZoomY, FExtentY, FVisSH, FBitmapHeight);
    FTabZoomX = FZoomX;
    FTabZoomY = FZoomY;
    FTabSW = FVisSW;
    FTabSH = FVisSH;
    FTabImgW = FBitmapWidth;
    FTabImgH = FBitmapHeight;
  }
  // The working windows follow the scroll position.
  FS2BXOrg = SnappedViewX();
  FS2BYOrg = SnappedViewY();
  auto At = [](const std::vector<int32_t>& T, int32_t i) { return i >= 0 && size_t(i) < T.size() ? T[size_t(i)] : 0; };
  FB2SXOrg = std::max(0, At(FS2BX, FS2BXOrg) - FVisOX);
  FB2SYOrg = std::max(0, At(FS2BY, FS2BYOrg) - FVisOY);
}

int32_t TFolioView::ScreenToBitmapX(int32_t x) {
  const int32_t u = x - FOffsetX;
  if (u >= 0 && u < FVisSW && !FS2BX.empty() && size_t(FS2BXOrg + u) < FS2BX.size()) return FS2BX[size_t(FS2BXOrg + u)];
  return int32_t(std::trunc(u * 100.0 / FZoomX + FVisOX));
}

int32_t TFolioView::ScreenToBitmapY(int32_t y) {
  const int32_t u = y - FOffsetY;
  if (u >= 0 && u < FVisSH && !FS2BY.empty() && size_t(FS2BYOrg + u) < FS2BY.size()) return FS2BY[size_t(FS2BYOrg + u)];
  return int32_t(std::trunc(u * 100.0 / FZoomY + FVisOY));
}

int32_t TFolioView::BitmapToScreenX(int32_t x) {
  if (x >= 0 && size_t(x) < FB2SX.size()) return FB2SX[size_t(x)] - SnappedViewX() + FOffsetX;
  return IERound((IERound(-SnappedViewX() * 100.0 / FZoomX) + x) * FZoomX / 100.0 + FOffsetX);
}

int32_t TFolioView::BitmapToScreenY(int32_t y) {
  if (y >= 0 && size_t(y) < FB2SY.size()) return FB2SY[size_t(y)] - SnappedViewY() + FOffsetY;
  return IERound((IERound(-SnappedViewY() * 100.0 / FZoomY) + y) * FZoomY / 100.0 + FOffsetY);
}

void TFolioView::GetRenderRectangles(int32_t& xDst, int32_t& yDst, int32_t& dxDst, int32_t& dyDst, int32_t& xSrc,
                                     int32_t& ySrc, int32_t& dxSrc, int32_t& dySrc) {
  SyncLayerBitmaps();
  ComputeVisibleArea();
  PrepareZoomTables();
  xDst = FOffsetX;
  yDst = FOffsetY;
  dxDst = FVisSW;
  dyDst = FVisSH;
  xSrc = FVisOX;
  ySrc = FVisOY;
  dxSrc = FVisOW;
  dySrc = FVisOH;
}

void TFolioView::GetMaxViewXY(int32_t& MaxX, int32_t& MaxY) {
  int32_t eW = int32_t(std::trunc(FBitmapWidth * FZoomD100X));
  int32_t eH = int32_t(std::trunc(FBitmapHeight * FZoomD100Y));
  const int32_t VW = GetViewWidth(), VH = GetViewHeight();
  // One more bitmap pixel lets the last column and row scroll fully into view.
  if (FZoomX != FZoomY) {
    if (eW - VW > 10) eW = int32_t(std::trunc((FBitmapWidth + 1) * FZoomD100X));
    if (eH - VH > 10) eH = int32_t(std::trunc((FBitmapHeight + 1) * FZoomD100Y));
  } else if ((eW - VW > 10 || eH - VH > 10) && FScrollBars != ssNone) {
    eW = int32_t(std::trunc((FBitmapWidth + 1) * FZoomD100X));
    eH = int32_t(std::trunc((FBitmapHeight + 1) * FZoomD100Y));
  }
  MaxX = 0;
  MaxY = 0;
  if (eW < 1 || eH < 1) return;
  MaxX = std::max(0, eW - VW);
  MaxY = std::max(0, eH - VH);
  if (MaxX > 0 && ScreenToBitmapX(MaxX) == 0) MaxX = 0;
  if (MaxY > 0 && ScreenToBitmapY(MaxY) == 0) MaxY = 0;
  if (FZoomX != FZoomY) {
    if (eW <= GetWidth()) MaxX = 0;
    if (eH <= GetHeight()) MaxY = 0;
  } else if (eW <= GetWidth() && eH <= GetHeight()) {
    MaxX = 0;
    MaxY = 0;
  }
}

bool TFolioView::IsScrollable() {
  int32_t mx = 0, my = 0;
  GetMaxViewXY(mx, my);
  return mx > 0 || my > 0;
}

// ===================================================================== update
void TFolioView::UnlockUpdate() {
  if (FUpdateLock > 0) --FUpdateLock;
  if (FUpdateLock == 0) Update();
}

void TFolioView::Update() {
  if (FUpdateLock > 0 || FDestroying) return;
  const TComponentState S = GetComponentState();
  if (S & (csLoading | csReading | csWriting | csDestroying | csDesigning)) return;
  if (FUpdating) return;
  FUpdating = true;
  try {
    // Display caches go; the layer bitmaps are synchronised.
    for (size_t i = 0; i < FLayers.size(); ++i)
      if (FLayersFreeCacheIndex < 0 || int32_t(i) == FLayersFreeCacheIndex) FLayers[i]->DisplayCache.reset();
    FLayersFreeCacheIndex = -1;
    FFilterCache.Picture.reset();
    SyncLayerBitmaps();
    if ((FAutoFit || FAutoStretch || FAutoShrink) && FBitmapWidth > 0 && FBitmapHeight > 0) AutoZoom();
    if (FBitmapWidth != FLastBitmapWidth || FBitmapHeight != FLastBitmapHeight) {
      if (FBitmapWidth > 0 && FBitmapHeight > 0) {
        if (!FMask->IsEmpty()) {
          FMask->Resize(FBitmapWidth, FBitmapHeight);
          FMask->UpdateBoundingBox();
          FMask->UpdateFullFlag();
        } else {
          FMask->AllocateBits(FBitmapWidth, FBitmapHeight, FMask->GetBitsPerPixel() > 0 ? FMask->GetBitsPerPixel() : 1);
        }
      }
      FLastBitmapWidth = FBitmapWidth;
      FLastBitmapHeight = FBitmapHeight;
    }
    // An alpha plane of another size is rebuilt opaque at the image size.
    if (FIEBitmap->HasAlphaChannel()) {
      TIEBitmap* A = FIEBitmap->GetAlphaChannel();
      if (A->GetWidth() != FIEBitmap->GetWidth() || A->GetHeight() != FIEBitmap->GetHeight()) {
        FIEBitmap->AttachAlphaChannel(
            TIEBitmap::CreateAlphaPlane(FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), ieMemory));
      }
    }
    if (HandleAllocated()) {
      UpdateScrollBarsState();
      ComputeExtents();
      ComputeVisibleArea();
      PrepareZoomTables();
      FBackBufferDirty = true;
      FWholeArea = true;
      TIEView::Invalidate();
    }
    FUpdating = false;
    SyncNavigator();
  } catch (...) {
    FUpdating = false;
    FUpdateReason = 0;
    throw;
  }
  FUpdateReason = 0;
  FUpdating = false;
}

void TFolioView::AutoZoom() {
  DoViewChanging(2, FZoomX);
  const int32_t d = FrameMargin((GetWidth() - GetViewWidth()) / 2);
  const int32_t e = FrameMargin((GetHeight() - GetViewHeight()) / 2);
  double Z = 100;
  if (FBitmapWidth > 1 || FBitmapHeight > 1) {
    const int32_t aw = GetViewWidth() - 2 * d, ah = GetViewHeight() - 2 * e;
    const bool Shrink = FAutoShrink || FAutoFit, Stretch = FAutoStretch || FAutoFit;
    if (aw > 0 && ah > 0) {
      const double ShownHeight = FBitmapHeight * FPixelAspect;
      const bool Horizontal = double(FBitmapWidth) / aw > ShownHeight / ah;
      const bool Exceeds = Horizontal ? FBitmapWidth > aw : ShownHeight > ah;
      if (Exceeds)
        Z = Shrink ? GetFitZoom() : 100;
      else
        Z = Stretch ? GetFitZoom() : 100;
    }
  }
  FZoomX = std::max(1.0, Z);
  FZoomY = std::max(1.0, Z * FPixelAspect);
  SetZoomFactors();
  ComputeExtents();
  ComputeVisibleArea();
  PrepareZoomTables();
  DoViewChange(1);
  FDelayCountdown = 0;
  FOutlineCountdown = 0;
}

void TFolioView::UpdateScrollBarsState() {
  if (!HandleAllocated() || (GetComponentState() & csDesigning) || !HasParentWindow()) return;
  const HWND h = GetHandle();
  const int32_t VW0 = GetViewWidth(), VH0 = GetViewHeight();
  ComputeExtents();
  int32_t MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  bool Clamped = false;
  if (FViewX > MaxX) {
    DoViewChanging(0, MaxX);
    FViewX = MaxX;
    Clamped = true;
  }
  if (FViewY > MaxY) {
    DoViewChanging(1, MaxY);
    FViewY = MaxY;
    Clamped = true;
  }
  if (Clamped) DoViewChange(0);
  auto Place = [&](int32_t Bar, int32_t View, int32_t Max, int32_t Offset, double& Scale, bool& Shown) {
    try {
      if (Max < 1) {
        if (Shown) IEShowScrollBar(h, Bar, false, FFlatScrollBars);
        Shown = false;
        return;
      }
      Scale = double(View + Max) / 65536.0;
      IESetScrollInfo(h, Bar, 0, 65535, int32_t(std::trunc(View / Scale)), int32_t(std::trunc(Offset / Scale)), true,
                      FFlatScrollBars);
      IEShowScrollBar(h, Bar, true, FFlatScrollBars);
      IEEnableScrollBar(h, Bar, ESB_ENABLE_BOTH, FFlatScrollBars);
      Shown = true;
    } catch (const Exception&) {
      // A failing bar leaves the cycle going.
    }
  };
  if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
    Place(SB_HORZ, GetViewWidth(), MaxX, FViewX, FHSVScale, FHSBVisible);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth)
    Place(SB_VERT, GetViewHeight(), MaxY, FViewY, FVSVScale, FVSBVisible);
  // Bars that came or went changed the client size: once more, not deeper.
  if ((GetViewWidth() != VW0 || GetViewHeight() != VH0) && FUpdateDepth < 2) {
    ++FUpdateDepth;
    UpdateScrollBarsState();
    --FUpdateDepth;
  }
}

// ===================================================================== zoom
void TFolioView::ArmCountdowns(bool ZoomWasNot100) {
  if (FDelayZoomFilter && FZoomFilter != rfNone && ZoomWasNot100) FDelayCountdown = 4;
  FOutlineCountdown = 2;
  UpdateAnimationTimer();
}

// Zooms the axes given about the centre of the view: the bitmap point under
// the centre stays there, and the view origin is clamped to the new extent.
void TFolioView::ApplyZoomAxes(std::optional<double> ZoomX, std::optional<double> ZoomY) {
  const int32_t VW = GetViewWidth(), VH = GetViewHeight();
  const int32_t bx = IERound((VW / 2 + FViewX - FOffsetX) * 100.0 / FZoomX);
  const int32_t by = IERound((VH / 2 + FViewY - FOffsetY) * 100.0 / FZoomY);
  if (ZoomX) FZoomX = *ZoomX;
  if (ZoomY) FZoomY = *ZoomY;
  SetZoomFactors();
  if (ZoomX) FViewX = int32_t(std::trunc(bx * *ZoomX / 100.0 - VW / 2));
  if (ZoomY) FViewY = int32_t(std::trunc(by * *ZoomY / 100.0 - VH / 2));
  int32_t MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  if (ZoomX) FViewX = std::clamp(FViewX, 0, MaxX);
  if (ZoomY) FViewY = std::clamp(FViewY, 0, MaxY);
}

void TFolioView::ApplyZoom(double Zoom) { ApplyZoomAxes(Zoom, Zoom); }

void TFolioView::ApplyZoomX(double Zoom) { ApplyZoomAxes(Zoom, std::nullopt); }

void TFolioView::ApplyZoomY(double Zoom) { ApplyZoomAxes(std::nullopt, Zoom); }

void TFolioView::SetZoom(double Value) {
  StopSmoothScroll();
  DoViewChanging(2, Value);
  if (Value <= 0 || (Value == FZoomX && Value * FPixelAspect == FZoomY)) return;
  ArmCountdowns(FZoomX != 100 || FZoomY != 100);
  LockPaint();
  if (FPixelAspect == 1)
    ApplyZoom(Value);
  else
    ApplyZoomAxes(Value, Value * FPixelAspect);
  FUpdateReason = 2;
  Update();
  FUpdateReason = 2;
  Update();
  ComputeVisibleArea();
  PrepareZoomTables();
  UnlockPaintNoUpdate();
  Invalidate();
  DoViewChange(1);
}

void TFolioView::SetPixelAspect(double Value) {
  if (!(Value > 0) || !std::isfinite(Value) || Value == FPixelAspect) return;
  FPixelAspect = Value;
  // The vertical zoom follows the horizontal one at the new shape.
  SetZoomY(FZoomX * FPixelAspect);
}

void TFolioView::SetZoomX(double Value) { SetAxisZoom(Value, FZoomX, &TFolioView::ApplyZoomX); }

void TFolioView::SetZoomY(double Value) { SetAxisZoom(Value, FZoomY, &TFolioView::ApplyZoomY); }

// One axis's zoom: the same update cycle as the common zoom, with that
// axis's own apply step.
void TFolioView::SetAxisZoom(double Value, double Current, void (TFolioView::*Apply)(double)) {
  StopSmoothScroll();
  DoViewChanging(2, Value);
  if (Value <= 0 || Value == Current) return;
  ArmCountdowns(Current != 100);
  LockPaint();
  (this->*Apply)(Value);
  Update();
  Update();
  ComputeVisibleArea();
  PrepareZoomTables();
  UnlockPaintNoUpdate();
  Invalidate();
  DoViewChange(1);
}

void TFolioView::ZoomAt(int32_t x, int32_t y, double ZoomVal, bool Center) {
  DoViewChanging(2, x);
  DoViewChanging(2, y);
  LockPaint();
  const int32_t bx = ScreenToBitmapX(x), by = ScreenToBitmapY(y);
  SetZoom(ZoomVal);
  const double f = FZoomX / 100.0, fy = FZoomY / 100.0;
  if (Center)
    ScrollTo(int32_t(std::trunc(bx * f - GetViewWidth() / 2)), int32_t(std::trunc(by * fy - GetViewHeight() / 2)));
  else
    ScrollTo(int32_t(std::trunc(bx * f - x + f)), int32_t(std::trunc(by * fy - y + fy)));
  UnlockPaint();
  ComputeVisibleArea();
  PrepareZoomTables();
}

double TFolioView::ZoomInStep(double Zoom) {
  if (Zoom >= 100) return Zoom + 100;
  for (double s : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
    if (s > Zoom) return s;
  return 100;
}

double TFolioView::ZoomOutStep(double Zoom) {
  if (Zoom >= 200) return Zoom - 100;
  double r = 2;
  for (double s : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
    if (s < Zoom) r = s;
  return r;
}

void TFolioView::ZoomIn() {
  double z = ZoomInStep(FZoomX);
  if (OnZoomIn) OnZoomIn(this, z);
  SetZoom(z);
}

void TFolioView::ZoomOut() {
  double z = ZoomOutStep(FZoomX);
  if (OnZoomOut) OnZoomOut(this, z);
  SetZoom(z);
}

void TFolioView::GetFitZoomXY(double& ZoomX, double& ZoomY) {
  const int32_t mx = FrameMargin(GetBorderSize()), my = mx;
  ZoomX = FBitmapWidth > 0 ? (GetWidth() - 2 * mx) / (FBitmapWidth / 100.0) : 100;
  ZoomY = FBitmapHeight > 0 ? (GetHeight() - 2 * my) / (FBitmapHeight / 100.0) : 100;
}

double TFolioView::GetFitZoom() {
  double zx = 100, zy = 100;
  GetFitZoomXY(zx, zy);
  // A horizontal zoom: the vertical one is the pixel aspect times it.
  return std::min(zx, zy / FPixelAspect);
}

void TFolioView::Fit() {
  if (FBitmapWidth == 0 || FBitmapHeight == 0) return;
  if (HandleAllocated()) {
    IEShowScrollBar(GetHandle(), SB_BOTH, false, FFlatScrollBars);
    FHSBVisible = FVSBVisible = false;
  }
  SetZoom(GetFitZoom());
}

// The frame the background style draws around the image; other styles
// leave Otherwise.
int32_t TFolioView::FrameMargin(int32_t Otherwise) const {
  switch (FBackgroundStyle) {
    case iebsCropped: return 2;
    case iebsCropShadow: return 5;
    case iebsSoftShadow: return 9;
    default: return Otherwise;
  }
}

// Zooms so that one side of the image fills the view: first against the
// whole control less the frame, then again against the view that is left
// once the scroll bars have settled.
void TFolioView::FitSide(bool Width) {
  if (FBitmapWidth == 0 || FBitmapHeight == 0) return;
  auto Outer = [&] { return Width ? GetWidth() : GetHeight(); };
  auto View = [&] { return Width ? GetViewWidth() : GetViewHeight(); };
  // The height as it is shown: rows are the pixel aspect high.
  const double Side = (Width ? FBitmapWidth : FBitmapHeight * FPixelAspect) / 100.0;
  const int32_t Margin = FrameMargin((Outer() - View()) / 2);
  LockPaint();
  SetZoom((Outer() - 2 * Margin) / Side);
  SetZoom(View() / Side);
  UnlockPaint();
}

void TFolioView::FitToWidth() { FitSide(true); }

void TFolioView::FitToHeight() { FitSide(false); }

// ===================================================================== scrolling
void TFolioView::ScrollTo(int32_t x, int32_t y) {
  DoViewChanging(0, x);
  DoViewChanging(1, y);
  if (x == FViewX && y == FViewY) return;
  int32_t MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  x = std::clamp(x, 0, MaxX);
  y = std::clamp(y, 0, MaxY);
  if (x == FViewX && y == FViewY) return;
  ArmCountdowns(FZoomX != 100 || FZoomY != 100);
  FViewX = x;
  FViewY = y;
  FBackBufferDirty = true;
  FWholeArea = true;
  ComputeVisibleArea();
  PrepareZoomTables();
  Invalidate();
  DoViewChange(0);
  if (HandleAllocated()) {
    const HWND h = GetHandle();
    if ((FScrollBars == ssHorizontal || FScrollBars == ssBoth) && FHSBVisible)
      IESetScrollPos(h, SB_HORZ, int32_t(std::trunc(FViewX / FHSVScale)), true, FFlatScrollBars);
    if ((FScrollBars == ssVertical || FScrollBars == ssBoth) && FVSBVisible)
      IESetScrollPos(h, SB_VERT, int32_t(std::trunc(FViewY / FVSVScale)), true, FFlatScrollBars);
  }
}

void TFolioView::ScrollToX(int32_t Value) { ScrollTo(Value, FViewY); }
void TFolioView::ScrollToY(int32_t Value) { ScrollTo(FViewX, Value); }

void TFolioView::HandleScroll(bool Vertical, int32_t Code, int32_t ThumbPos) {
  const TIEScrollBarParams& P = Vertical ? FVScrollBarParams : FHScrollBarParams;
  const int32_t Pos = Vertical ? FViewY : FViewX;
  const double Factor = Vertical ? FZoomD100Y : FZoomD100X;
  const int32_t Unit = std::max(1, int32_t(std::trunc(Factor)));
  const int32_t Line = P.LineStep == -1 ? Unit : Unit * P.LineStep;
  const int32_t Page = P.PageStep == -1 ? (Vertical ? GetViewHeight() : GetViewWidth()) : Unit * P.PageStep;
  const double Scale = Vertical ? FVSVScale : FHSVScale;
  int32_t MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  int32_t New = Pos;
  switch (Code) {
    case SB_LINEUP: New = Pos - Line; break;
    case SB_LINEDOWN: New = Pos + Line; break;
    case SB_PAGEUP: New = Pos - Page; break;
    case SB_PAGEDOWN: New = Pos + Page; break;
    case SB_TOP: New = 0; break;
    case SB_BOTTOM: New = Vertical ? MaxY : MaxX; break;
    case SB_THUMBTRACK:
      if (!P.Tracking) return;
      New = IERound(uint16_t(ThumbPos) * Scale);
      break;
    case SB_THUMBPOSITION: New = IERound(uint16_t(ThumbPos) * Scale); break;
    default: return;
  }
  if (Vertical)
    ScrollToY(New);
  else
    ScrollToX(New);
}

void TFolioView::SmoothScrollTo(int32_t x, int32_t y) {
  FSmoothTargetX = x;
  FSmoothTargetY = y;
  if (!FSmoothTimer) {
    if (HandleAllocated()) {
      StartWindowTimer(SmoothScrollTimerId, 30);
      FSmoothTimer = true;
    }
    SmoothScrollStep();
  }
}

void TFolioView::SmoothScrollStep() {
  const int32_t OldX = FViewX, OldY = FViewY;
  ScrollTo(IERound(FViewX - (FViewX - FSmoothTargetX) / 8.0), IERound(FViewY - (FViewY - FSmoothTargetY) / 8.0));
  if ((FViewX == OldX && FViewY == OldY) || IEIsPrimaryMouseButtonDown()) StopSmoothScroll();
}

void TFolioView::StopSmoothScroll() {
  if (!FSmoothTimer) return;
  FSmoothTimer = false;
  if (HandleAllocated()) StopWindowTimer(SmoothScrollTimerId);
}

// ===================================================================== events
void TFolioView::DoViewChange(int32_t Change) {
  if (OnViewChange) OnViewChange(this, Change);
  SyncNavigator();
}

void TFolioView::DoViewChanging(int32_t Change, double newValue) {
  if (OnViewChanging) OnViewChanging(this, Change, newValue);
}

// ===================================================================== properties
void TFolioView::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  FUpdateReason = 1;
  Update();
}

void TFolioView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (HandleAllocated()) {
    const HWND h = GetHandle();
    if (Value != ssVertical && Value != ssBoth) {
      IEShowScrollBar(h, SB_VERT, false, FFlatScrollBars);
      FVSBVisible = false;
    }
    if (Value != ssHorizontal && Value != ssBoth) {
      IEShowScrollBar(h, SB_HORZ, false, FFlatScrollBars);
      FHSBVisible = false;
    }
  }
  Update();
}

void TFolioView::SetFlatScrollBars(bool Value) {
  if (Value == FFlatScrollBars) return;
  FFlatScrollBars = Value;
  Update();
}

void TFolioView::SetAutoFit(bool Value) {
  FAutoFit = Value;
  Update();
}

void TFolioView::SetAutoStretch(bool Value) {
  FAutoStretch = Value;
  Update();
}

void TFolioView::SetAutoShrink(bool Value) {
  FAutoShrink = Value;
  Update();
}

void TFolioView::SetLegacyBitmap(bool Value) {
  if (Value == FLegacyBitmap) return;
  FLegacyBitmap = Value;
  if (Value) {
    FIEBitmap->SetLocation(ieTBitmap);
    FBitmap = FIEBitmap->GetLocation() == ieTBitmap ? FIEBitmap->GetTBitmap() : nullptr;
  } else {
    FBitmap = nullptr;
    FIEBitmap->SetLocation(ieMemory);
  }
  CallBitmapChangeEvents();
  Update();
}

// ===================================================================== messages
bool TFolioView::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  if (TIEView::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  if (FMouseWheelParams.Action == 0 || FAutoFit) return false;
  RunWheel(Shift, WheelDelta, ScreenToClient(MousePos), FMouseWheelParams);
  return true;
}

void TFolioView::RunWheel(TShiftState Shift, int32_t WheelDelta, TPoint P, const TIEMouseWheelParams& W) {
  // The platform hands over whole notches; each one is a step.
  const int32_t Notches = std::max(1, std::abs(WheelDelta) / WHEEL_DELTA);
  int32_t s = WheelDelta > 0 ? -1 : 1;
  if (W.InvertDirection) s = -s;
  for (int32_t n = 0; n < Notches; ++n) {
    if (W.Action == 1) {
      int32_t MaxX = 0, MaxY = 0;
      GetMaxViewXY(MaxX, MaxY);
      const bool Horizontal = (Shift & ssCtrl) || (MaxX > 0 && MaxY == 0);
      const double Factor = Horizontal ? FZoomD100X : FZoomD100Y;
      const int32_t View = Horizontal ? GetViewWidth() : GetViewHeight();
      int32_t Step = 0;
      if (W.Variation == 0)
        Step = s * W.Value * std::max(1, IERound(Factor));
      else if (W.Variation == 1)
        Step = s * std::max(1, IERound(View * W.Value / 100.0));
      else
        return;
      if (Horizontal)
        ScrollToX(FViewX + Step);
      else
        ScrollToY(FViewY + Step);
    } else if (W.Action == 2) {
      double z = FZoomX;
      if (W.Variation == 0)
        z = FZoomX + s * W.Value;
      else if (W.Variation == 1)
        z = FZoomX + s * std::max(1, IERound(W.Value * FZoomX / 100.0));
      if (z > FZoomX && OnZoomIn) OnZoomIn(this, z);
      if (z < FZoomX && OnZoomOut) OnZoomOut(this, z);
      if (W.ZoomAtCursor)
        ZoomAt(P.X, P.Y, z, false);
      else
        SetZoom(z);
    }
  }
}

void TFolioView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_HSCROLL:
    case WM_VSCROLL:
      HandleScroll(Message.Msg == WM_VSCROLL, int32_t(LOWORD(Message.WParam)), int32_t(HIWORD(Message.WParam)));
      return;
    case WM_MOUSEHWHEEL: DefaultHandler(Message); return;
    case WM_LBUTTONDBLCLK:
      TIEView::Dispatch(Message);
      if (FPolyDrawing && !FLasso) {
        // The double click ends the polygon; its second press added the
        // point that is dropped again.
        if (!FPolygon.Points.empty()) FPolygon.Points.pop_back();
        FPolygon.UpdateBox();
        if (!FDownAdd) FMask->Clear();
        EndSelect();
        FPolyDrawing = false;
        FRubberShown = false;
        FDrag = dNone;
        FUpdateReason = 3;
        FBackBufferDirty = true;
        Update();
        UpdateAnimationTimer();
        FSelectionChanged = false;
        if (OnSelectionChange) OnSelectionChange(this);
      }
      return;
    case WM_SIZE:
      TIEView::Dispatch(Message);
      if (!FUpdating) {
        FUpdateReason = 4;
        Update();
      }
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TIEView::Dispatch(Message);
      Invalidate();
      return;
    case WM_ERASEBKGND: Message.Result = 0; return;
    case WM_TIMER:
      if (Message.WParam == SmoothScrollTimerId) {
        SmoothScrollStep();
        return;
      }
      if (Message.WParam == IEAnimationTimerId) {
        AnimationTick();
        return;
      }
      break;
    case IEM_UPDATE: Update(); return;
    case IEM_PROGRESS:
      if (FOnProgress) FOnProgress(this, int32_t(Message.WParam));
      return;
    case IEM_FINISHWORK:
      if (FOnFinishWork) FOnFinishWork(this);
      return;
    case CM_WANTSPECIALKEY: {
      TIEView::Dispatch(Message);
      bool Handled = false;
      if (OnSpecialKey) OnSpecialKey(this, uint16_t(Message.WParam), KeyDataToShiftState(Message.LParam), Handled);
      if (Handled) Message.Result = 1;
      return;
    }
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      TIEView::Dispatch(Message);
      if (OnVirtualKey) OnVirtualKey(this, uint16_t(Message.WParam), uint32_t(Message.LParam), Message.Msg == WM_SYSKEYDOWN);
      return;
    default: break;
  }
  TIEView::Dispatch(Message);
}

// ===================================================================== form properties
const TFormPropertyTable& TFolioView::FormProperties() const {
  static const TFormEnumNames StyleNames = {
      "iebsSolid",      "iebsHorizontal", "iebsVertical", "iebsFDiagonal", "iebsBDiagonal",
      "iebsCross",      "iebsDiagCross",  "iebsChessboard", "iebsDiagonals", "iebsCropped",
      "iebsCropShadow", "iebsGradient",   "iebsSoftShadow", "iebsPhotoLike"};
  static const TFormEnumNames WallNames = {"iewoNormal", "iewoStretch", "iewoTile"};
  static const TFormEnumNames InteractNames = {
      "miZoom",         "miScroll",           "miSelect",     "miSelectPolygon",
      "miSelectCircle", "miSelectZoom",       "miSelectMagicWand", "miSelectLasso",
      "miMoveLayers",   "miResizeLayers",     "miRotateLayers", "miMovingScroll"};
  static const TFormEnumNames OptionNames = {
      "iesoAnimated",  "iesoSizeable", "iesoMoveable", "iesoFilled", "iesoCutBorders", "iesoMarkOuter",
      "iesoCanScroll", "iesoSelectTranspLayers", "iesoRightButtonSelectLayers",
      "iesoRightButtonTerminatePolySelect"};
  static const TFormEnumNames BaseNames = {"iesbClientArea", "iesbBitmap"};
  static const TFormPropertyTable Table =
      TFormProperties<TFolioView>("TFolioView", &TIEView::FormProperties())
          .Bool("AutoFit", &TFolioView::GetAutoFit, &TFolioView::FAutoFit)
          .Bool("AutoShrink", &TFolioView::GetAutoShrink, &TFolioView::FAutoShrink)
          .Bool("AutoStretch", &TFolioView::GetAutoStretch, &TFolioView::FAutoStretch)
          .Enum("BackgroundStyle", StyleNames, &TFolioView::GetBackgroundStyle, &TFolioView::FBackgroundStyle)
          .Bool("Center", &TFolioView::GetCenter, &TFolioView::SetCenter)
          .Bool("DelayZoomFilter", &TFolioView::GetDelayZoomFilter, &TFolioView::FDelayZoomFilter)
          .Bool("DoubleBuffer", &TFolioView::GetDoubleBuffer, &TFolioView::FDoubleBuffer)
          .Bool("DrawVersion", &TFolioView::GetDrawVersion, &TFolioView::FDrawVersion)
          .Bool("EnableAlphaChannel", &TFolioView::GetEnableAlphaChannel, &TFolioView::FEnableAlphaChannel)
          .Bool("EnableInteractionHints", &TFolioView::GetEnableInteractionHints,
                &TFolioView::FEnableInteractionHints)
          .Bool("FlatScrollBars", &TFolioView::GetFlatScrollBars, &TFolioView::SetFlatScrollBars)
          .Bool("LegacyBitmap", &TFolioView::GetLegacyBitmap, &TFolioView::SetLegacyBitmap)
          .Set("MouseInteract", InteractNames, &TFolioView::GetMouseInteract, &TFolioView::SetMouseInteract)
          .Enum("ScrollBars", ScrollStyleNames(), &TFolioView::GetScrollBars, &TFolioView::SetScrollBars)
          .Enum("SelectionBase", BaseNames, &TFolioView::GetSelectionBase, &TFolioView::FSelectionBase)
          .Set("SelectionOptions", OptionNames, &TFolioView::GetSelectionOptions, &TFolioView::SetSelectionOptions)
          .Enum("WallPaperStyle", WallNames, &TFolioView::GetWallPaperStyle, &TFolioView::FWallPaperStyle)
          .Float("Zoom", &TFolioView::GetZoom, [](TFolioView& V, long double Z) { V.SetZoom(double(Z)); })
          .Enum("ZoomFilter", ResampleFilterNames(), &TFolioView::GetZoomFilter, &TFolioView::FZoomFilter)
          // Read only in effect.
          .Ignored({"FolioVersion"})
          .Event("OnBeforeSelectionChange", &TFolioView::OnBeforeSelectionChange)
          .Event("OnDrawBackBuffer", &TFolioView::OnDrawBackBuffer)
          .Event<TNotifyEvent>("OnFinishWork", &TFolioView::GetOnFinishWork, &TFolioView::SetOnFinishWork)
          .Event("OnImageChange", &TFolioView::OnImageChange)
          .Event("OnLayerNotify", &TFolioView::OnLayerNotify)
          .Event("OnMouseInSel", &TFolioView::OnMouseInSel)
          .Event("OnPaint", &TFolioView::OnPaint)
          .Event<TIEProgressEvent>("OnProgress", &TFolioView::GetOnProgress, &TFolioView::SetOnProgress)
          .Event("OnSelectionChange", &TFolioView::OnSelectionChange)
          .Event("OnSelectionChanging", &TFolioView::OnSelectionChanging)
          .Event("OnSpecialKey", &TFolioView::OnSpecialKey)
          .Event("OnViewChange", &TFolioView::OnViewChange)
          .Event("OnViewChanging", &TFolioView::OnViewChanging)
          .Event("OnVirtualKey", &TFolioView::OnVirtualKey)
          .Event("OnZoomIn", &TFolioView::OnZoomIn)
          .Event("OnZoomOut", &TFolioView::OnZoomOut)
          .Build();
  return Table;
}
