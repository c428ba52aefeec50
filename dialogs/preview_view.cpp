#include "dialogs/preview_view.h"

#include <algorithm>
#include <cmath>

#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"

TIEPreviewView::TIEPreviewView(TComponent* AOwner)
    : TIEView(AOwner), FBitmap(std::make_unique<TIEBitmap>()) {
  Blank();
}

TIEPreviewView::~TIEPreviewView() = default;

void TIEPreviewView::SetImage(std::unique_ptr<TIEBitmap> Bitmap) {
  if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
    Blank();
    return;
  }
  FBitmap = std::move(Bitmap);
  FBlank = false;
  Update();
}

void TIEPreviewView::AssignImage(TIEBitmap* Source) {
  if (!Source || Source->GetWidth() <= 0 || Source->GetHeight() <= 0) {
    Blank();
    return;
  }
  auto Copy = std::make_unique<TIEBitmap>();
  Copy->AssignImage(Source);
  SetImage(std::move(Copy));
}

void TIEPreviewView::Blank() {
  FBitmap = std::make_unique<TIEBitmap>();
  FBitmap->Allocate(1, 1, ie24RGB);
  FBitmap->Fill(static_cast<double>(0xFFFFFF));
  FBlank = true;
  Update();
}

void TIEPreviewView::SetAutoFit(bool Value) {
  FAutoFit = Value;
  Update();
}

void TIEPreviewView::SetZoom(double Value) {
  if (Value <= 0) return;
  FZoom = Value;
  Update();
}

void TIEPreviewView::SetChessboard(bool Value) {
  FChessboard = Value;
  Update();
}

double TIEPreviewView::GetShownZoom() {
  if (!FAutoFit || FBlank) return FZoom;
  const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
  const int32_t CW = std::max(1, GetClientWidth()), CH = std::max(1, GetClientHeight());
  return std::min(static_cast<double>(CW) / W, static_cast<double>(CH) / H) * 100.0;
}

void TIEPreviewView::Update() {
  if (FPaintLock > 0) return;
  Invalidate();
}

int32_t TIEPreviewView::UnlockPaint() {
  if (FPaintLock > 0) --FPaintLock;
  if (FPaintLock == 0) Update();
  return FPaintLock;
}

void TIEPreviewView::Paint() {
  TCanvas* C = GetCanvas();
  const int32_t CW = GetClientWidth(), CH = GetClientHeight();
  if (CW <= 0 || CH <= 0) return;
  C->GetBrush()->SetColor(FBackground);
  C->FillRect(TRect{0, 0, CW, CH});
  if (FChessboard) {
    // 12-pixel cells in the background colour and a lighter one.
    C->GetBrush()->SetColor(clWhite);
    for (int32_t y = 0; y < CH; y += 12)
      for (int32_t x = ((y / 12) % 2) * 12; x < CW; x += 24) C->FillRect(TRect{x, y, x + 12, y + 12});
  }
  if (FBlank) return;
  const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
  const double Z = GetShownZoom() / 100.0;
  const int32_t DW = std::max(1, static_cast<int32_t>(std::lround(W * Z)));
  const int32_t DH = std::max(1, static_cast<int32_t>(std::lround(H * Z)));
  // Only the part that shows is rendered: a large zoom never allocates more
  // than the client area.
  const int32_t X0 = (CW - DW) / 2, Y0 = (CH - DH) / 2;
  const int32_t VX1 = std::max(0, X0), VY1 = std::max(0, Y0);
  const int32_t VX2 = std::min(CW, X0 + DW), VY2 = std::min(CH, Y0 + DH);
  if (VX2 <= VX1 || VY2 <= VY1) return;
  const int32_t SX = static_cast<int32_t>((VX1 - X0) / Z), SY = static_cast<int32_t>((VY1 - Y0) / Z);
  const int32_t SW = std::clamp(static_cast<int32_t>(std::ceil((VX2 - VX1) / Z)), 1, W - SX);
  const int32_t SH = std::clamp(static_cast<int32_t>(std::ceil((VY2 - VY1) / Z)), 1, H - SY);
  TBitmap Out;
  Out.SetPixelFormat(pf24bit);
  Out.SetSize(VX2 - VX1, VY2 - VY1);
  FBitmap->RenderToTBitmapSimple(&Out, 0, 0, VX2 - VX1, VY2 - VY1, SX, SY, SW, SH, 255, FZoomFilter);
  C->Draw(VX1, VY1, &Out);
}
