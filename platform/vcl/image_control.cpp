#include "platform/vcl/image_control.h"

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/graphics.h"
#include "platform/vcl/form_properties.h"

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FControlStyle |= csReplicatable;
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() { FPicture->OnChange = nullptr; }

void TImage::SetPicture(TPicture* Value) { FPicture->Assign(Value); }

TCanvas* TImage::GetCanvas() {
  if (!FPicture->GetGraphic()) {
    TBitmap* B = FPicture->GetBitmap();
    B->SetPixelFormat(pf24bit);
    B->SetSize(FWidth, FHeight);
    B->GetCanvas()->GetBrush()->SetColor(clWhite);
    B->GetCanvas()->FillRect(Rect(0, 0, FWidth, FHeight));
  }
  auto* B = dynamic_cast<TBitmap*>(FPicture->GetGraphic());
  if (!B) throw EInvalidOperation("Can only modify an image if it contains a bitmap");
  return B->GetCanvas();
}

void TImage::PictureChanged() {
  if (TGraphic* G = FPicture->GetGraphic()) {
    if (G->GetTransparent() != FTransparent) G->SetTransparent(FTransparent);
    if (FAutoSize && G->GetWidth() > 0 && G->GetHeight() > 0) SetBounds(FLeft, FTop, G->GetWidth(), G->GetHeight());
  }
  Invalidate();
}

void TImage::SetAutoSize(bool Value) {
  FAutoSize = Value;
  if (Value) PictureChanged();
}

void TImage::SetCenter(bool Value) {
  FCenter = Value;
  Invalidate();
}

void TImage::SetProportional(bool Value) {
  FProportional = Value;
  Invalidate();
}

void TImage::SetStretch(bool Value) {
  FStretch = Value;
  Invalidate();
}

void TImage::SetTransparent(bool Value) {
  FTransparent = Value;
  PictureChanged();
}

TRect TImage::DestRect() const {
  int32_t W = FPicture->GetWidth(), H = FPicture->GetHeight();
  const int32_t CW = FWidth, CH = FHeight;
  if (FStretch || (FProportional && (W > CW || H > CH))) {
    if (FProportional && W > 0 && H > 0) {
      const double Aspect = double(W) / double(H);
      if (W > H) {
        W = CW;
        H = int32_t(CW / Aspect);
        if (H > CH) {
          H = CH;
          W = int32_t(CH * Aspect);
        }
      } else {
        H = CH;
        W = int32_t(CH * Aspect);
        if (W > CW) {
          W = CW;
          H = int32_t(CW / Aspect);
        }
      }
    } else {
      W = CW;
      H = CH;
    }
  }
  int32_t X = 0, Y = 0;
  if (FCenter) {
    X = (CW - W) / 2;
    Y = (CH - H) / 2;
  }
  return Bounds(X, Y, W, H);
}

void TImage::Paint() {
  TCanvas* C = TGraphicControl::GetCanvas();
  TBitmap* Buffer = GetFrontBuffer();
  C->GetBrush()->SetColor(FParent ? FParent->GetColor() : FColor);
  C->FillRect(Rect(0, 0, Buffer->GetWidth(), Buffer->GetHeight()));
  TGraphic* G = FPicture->GetGraphic();
  if (G && !G->GetEmpty()) C->StretchDraw(DestRect(), G);
}

const TFormPropertyTable& TImage::FormProperties() const {
  using I = TImage;
  static const TFormPropertyTable Table = TFormProperties<I>("TImage", &TGraphicControl::FormProperties())
                                              .Bool("AutoSize", &I::GetAutoSize, &I::SetAutoSize)
                                              .Bool("Center", &I::GetCenter, &I::SetCenter)
                                              .Bool("IncrementalDisplay", &I::GetIncrementalDisplay,
                                                    &I::SetIncrementalDisplay)
                                              .Picture("Picture.Data", &I::GetPicture)
                                              .Bool("Proportional", &I::GetProportional, &I::SetProportional)
                                              .Bool("Stretch", &I::GetStretch, &I::SetStretch)
                                              .Bool("Transparent", &I::GetTransparent, &I::SetTransparent)
                                              // Pictures load at once here: no progress to report.
                                              .Ignored({"OnProgress"})
                                              .Build();
  return Table;
}
