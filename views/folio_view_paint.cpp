// TFolioView: the back buffer, background styles, layer composition and the
// transfer to the control's front buffer.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/value_helpers.h"
#include "foundations/view_geometry.h"
#include "kernels/resample_engine.h"
#include "kernels/rotate_kernels.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphics.h"
#include "views/folio_view.h"
#include "views/hint_boxes.h"
#include "views/layers.h"

namespace {

TColor Inverse(TColor C) { return (~ColorToRGB(C)) & 0xFFFFFF; }

void SolidFill(TCanvas* Canvas, const TRect& R, TColor Color, TBrushStyle Style = bsSolid) {
  Canvas->GetBrush()->SetStyle(Style);
  Canvas->GetBrush()->SetColor(Color);
  if (Style != bsSolid) {
    // Hatched brushes draw their lines over the background colour.
    Canvas->GetBrush()->SetStyle(bsSolid);
    Canvas->GetBrush()->SetColor(clWhite);
    Canvas->FillRect(R);
    Canvas->GetBrush()->SetStyle(Style);
    Canvas->GetBrush()->SetColor(Color);
  }
  Canvas->FillRect(R);
  Canvas->GetBrush()->SetStyle(bsSolid);
}

void Chessboard(TCanvas* Canvas, TBitmap* Target, const TRect& Area, int32_t Size, TBrushStyle Style, TColor C1) {
  Size = std::max(1, Size);
  const TColor A = ColorToRGB(C1), B = Inverse(C1);
  const bool Direct = Target != nullptr && Style == bsSolid &&
                      (Target->GetPixelFormat() == pf24bit || Target->GetPixelFormat() == pf32bit);
  if (Direct) {
    const int32_t Bpp = Target->GetPixelFormat() == pf24bit ? 3 : 4;
    const int32_t x1 = std::max(0, Area.Left), y1 = std::max(0, Area.Top);
    const int32_t x2 = std::min(Target->GetWidth(), Area.Right), y2 = std::min(Target->GetHeight(), Area.Bottom);
    for (int32_t y = y1; y < y2; ++y) {
      uint8_t* Row = static_cast<uint8_t*>(Target->GetScanLine(y));
      const bool RowFirst = ((y - Area.Top) / Size) % 2 == 0;
      for (int32_t x = x1; x < x2; ++x) {
        const bool First = (((x - Area.Left) / Size) % 2 == 0) == RowFirst;
        const TColor C = First ? A : B;
        uint8_t* P = Row + int64_t(x) * Bpp;
        P[0] = uint8_t((C >> 16) & 0xFF);
        P[1] = uint8_t((C >> 8) & 0xFF);
        P[2] = uint8_t(C & 0xFF);
      }
    }
    return;
  }
  for (int32_t y = Area.Top, r = 0; y < Area.Bottom; y += Size, ++r)
    for (int32_t x = Area.Left, c = 0; x < Area.Right; x += Size, ++c)
      SolidFill(Canvas, TRect{x, y, std::min(x + Size, Area.Right), std::min(y + Size, Area.Bottom)},
                (r + c) % 2 == 0 ? A : B, Style);
}

}  // namespace

void IEDrawBackground(bool Designing, TCanvas* Canvas, TBitmap* Target, TIEBackgroundStyle Style, TColor Color,
                      int32_t Left, int32_t Top, int32_t Width, int32_t Height, const TRect& ImageRect,
                      int32_t ChessboardSize, TBrushStyle ChessboardBrushStyle, TColor GradientEndColor,
                      TPicture* WallPaper, TIEWallPaperStyle WallPaperStyle) {
  if (Canvas == nullptr || Width <= 0 || Height <= 0) return;
  const TRect Area{Left, Top, Left + Width, Top + Height};
  const bool HasImage = ImageRect.Width() >= 2 && ImageRect.Height() >= 2;
  if (Designing && (Style == iebsCropped || Style == iebsCropShadow || Style == iebsSoftShadow)) Style = iebsSolid;
  switch (Style) {
    case iebsSolid: SolidFill(Canvas, Area, Color); break;
    case iebsHorizontal: SolidFill(Canvas, Area, Color, bsHorizontal); break;
    case iebsVertical: SolidFill(Canvas, Area, Color, bsVertical); break;
    case iebsFDiagonal: SolidFill(Canvas, Area, Color, bsFDiagonal); break;
    case iebsBDiagonal: SolidFill(Canvas, Area, Color, bsBDiagonal); break;
    case iebsCross: SolidFill(Canvas, Area, Color, bsCross); break;
    case iebsDiagCross: SolidFill(Canvas, Area, Color, bsDiagCross); break;
    case iebsChessboard: Chessboard(Canvas, Target, Area, ChessboardSize, ChessboardBrushStyle, Color); break;
    case iebsDiagonals:
      SolidFill(Canvas, Area, Color);
      Canvas->GetPen()->SetColor(Inverse(Color));
      Canvas->GetPen()->SetStyle(psSolid);
      Canvas->GetPen()->SetMode(pmCopy);
      Canvas->MoveTo(Area.Left, Area.Top);
      Canvas->LineTo(Area.Right, Area.Bottom);
      Canvas->MoveTo(Area.Right - 1, Area.Top);
      Canvas->LineTo(Area.Left - 1, Area.Bottom);
      break;
    case iebsCropped:
      SolidFill(Canvas, Area, clBtnFace);
      if (HasImage) {
        const TRect R{ImageRect.Left - 2, ImageRect.Top - 2, ImageRect.Right + 2, ImageRect.Bottom + 2};
        // A sunken edge: dark top-left, light bottom-right, two pixels.
        Canvas->GetPen()->SetMode(pmCopy);
        Canvas->GetPen()->SetStyle(psSolid);
        for (int32_t k = 0; k < 2; ++k) {
          Canvas->GetPen()->SetColor(k == 0 ? clBtnShadow : cl3DDkShadow);
          Canvas->MoveTo(R.Left + k, R.Bottom - 1 - k);
          Canvas->LineTo(R.Left + k, R.Top + k);
          Canvas->LineTo(R.Right - k, R.Top + k);
          Canvas->GetPen()->SetColor(k == 0 ? clBtnHighlight : cl3DLight);
          Canvas->MoveTo(R.Left + k, R.Bottom - 1 - k);
          Canvas->LineTo(R.Right - 1 - k, R.Bottom - 1 - k);
          Canvas->LineTo(R.Right - 1 - k, R.Top + k - 1);
        }
      }
      break;
    case iebsCropShadow:
      SolidFill(Canvas, Area, Color);
      if (HasImage) {
        IEDrawRightShadow(Canvas, Target, ImageRect.Right, ImageRect.Top, ImageRect.Right + 4, ImageRect.Bottom, 2);
        IEDrawBottomShadow(Canvas, Target, ImageRect.Left, ImageRect.Bottom, ImageRect.Right, ImageRect.Bottom + 4, 2);
      }
      break;
    case iebsGradient: {
      const TColor A = ColorToRGB(Color), B = ColorToRGB(GradientEndColor);
      for (int32_t y = Area.Top; y < Area.Bottom; ++y) {
        const double t = Height > 1 ? double(y - Area.Top) / (Height - 1) : 0;
        auto Mix = [t](int32_t a, int32_t b) { return std::clamp(IERound(a + (b - a) * t), 0, 255); };
        const TColor C = RGB(Mix(A & 0xFF, B & 0xFF), Mix((A >> 8) & 0xFF, (B >> 8) & 0xFF),
                             Mix((A >> 16) & 0xFF, (B >> 16) & 0xFF));
        SolidFill(Canvas, TRect{Area.Left, y, Area.Right, y + 1}, C);
      }
      break;
    }
    case iebsSoftShadow:
      SolidFill(Canvas, Area, Color);
      if (Target != nullptr && HasImage)
        IEDrawSoftShadow(Target, ImageRect.Left, ImageRect.Top, ImageRect.Right, ImageRect.Bottom);
      break;
    case iebsPhotoLike:
      SolidFill(Canvas, Area, TColor(0xB0B0B0));
      if (HasImage) {
        Canvas->GetBrush()->SetStyle(bsClear);
        Canvas->GetPen()->SetColor(clBlack);
        Canvas->GetPen()->SetMode(pmCopy);
        Canvas->GetPen()->SetStyle(psSolid);
        Canvas->Rectangle(ImageRect.Left - 1, ImageRect.Top - 1, ImageRect.Right + 1, ImageRect.Bottom + 1);
        Canvas->GetBrush()->SetStyle(bsSolid);
        Chessboard(Canvas, Target, ImageRect, ChessboardSize, bsSolid, clWhite);
      }
      break;
  }
  if (WallPaper != nullptr && WallPaper->GetGraphic() != nullptr && !WallPaper->GetGraphic()->GetEmpty()) {
    TGraphic* G = WallPaper->GetGraphic();
    switch (WallPaperStyle) {
      case iewoNormal: Canvas->Draw(Left, Top, G); break;
      case iewoStretch: Canvas->StretchDraw(Area, G); break;
      case iewoTile: {
        const int32_t gw = std::max(1, G->GetWidth()), gh = std::max(1, G->GetHeight());
        for (int32_t y = Top; y < Top + Height; y += gh)
          for (int32_t x = Left; x < Left + Width; x += gw) Canvas->Draw(x, y, G);
        break;
      }
    }
  }
}

// ===================================================================== properties
void TFolioView::SetZoomFilter(TResampleFilter Value) {
  if (Value == FZoomFilter) return;
  FFilterCache.Picture.reset();
  FZoomFilter = Value;
  Update();
}

void TFolioView::SetBackgroundStyle(TIEBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Invalidate();
  FUpdateReason = 4;
  Update();
}

void TFolioView::SetWallPaper(TPicture* Value) {
  FWallPaper->Assign(Value);
  Update();
}

void TFolioView::SetWallPaperStyle(TIEWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  Update();
}

void TFolioView::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  Update();
}

void TFolioView::SetDrawVersion(bool Value) {
  FDrawVersion = Value;
  Invalidate();
}

void TFolioView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle) {
  FChessboardSize = Size;
  FChessboardBrushStyle = BrushStyle;
  Update();
}

void TFolioView::SetInteractionHint(const std::string& Text, int32_t x, const std::string& Text2, int32_t y) {
  FHintText = Text;
  FHintText2 = Text2;
  FHintX = x;
  FHintY = y;
}

void TFolioView::InvalidateRectangle(const TRect& R) {
  FBackBufferDirty = true;
  Invalidate();
}

TBitmap* TFolioView::GetBackBufferBitmap() { return FBackBuffer->GetTBitmap(); }

void TFolioView::DrawBackgroundTo(TCanvas* Canvas) {
  IEDrawBackground(GetComponentState() & csDesigning, Canvas, nullptr, FBackgroundStyle, FBackground, 0, 0, GetWidth(),
                   GetHeight(), TRect{0, 0, 0, 0}, FChessboardSize, FChessboardBrushStyle, FGradientEndColor,
                   FWallPaper.get(), FWallPaperStyle);
}

// ===================================================================== paint
void TFolioView::PaintNow() {
  Invalidate();
  TCustomControl::Update();
}

void TFolioView::Paint() {
  if (!HandleAllocated() || !HasParentWindow() || GetViewWidth() <= 0 || GetViewHeight() <= 0) return;
  TCanvas* C = GetCanvas();
  if (C == nullptr) return;
  if (GetComponentState() & csDesigning) {
    DrawBackgroundTo(C);
    return;
  }
  try {
    if (FPaintLock == 0) {
      const TRect All{0, 0, GetViewWidth(), GetViewHeight()};
      DrawBackBuffer(All);
      if (OnDrawCanvas) OnDrawCanvas(this, C, All);
    }
    FWholeArea = false;
    if (FDrag != dRect && FDrag != dCircle && FDrag != dGrip && FDrag != dMoveSel) DrawSelectionPolygons(false);
    if (OnPaint) OnPaint(this);
  } catch (...) {
    // A failing paint leaves the rest of the frame to draw.
  }
  if (FDrawVersion) {
    TFont* F = C->GetFont();
    F->SetName("Arial");
    F->SetHeight(13);
    F->SetColor(clBlack);
    C->GetBrush()->SetStyle(bsSolid);
    C->GetBrush()->SetColor(clWhite);
    const std::string Text = "Folio Version 3.1.2 - 5/9/2010";
    C->TextOut(GetViewWidth() - C->TextWidth(Text), GetViewHeight() - C->TextHeight(Text), Text);
  }
  if (!FHintText.empty() && FEnableInteractionHints) {
    int32_t x = FHintX, y = FHintY;
    IEDrawTranslucentTextBox(C, x, y, FHintText, FHintText2);
  }
  if (!FFirstPaintDone && GetOwner() != nullptr) {
    FFirstPaintDone = true;
    ApplyCursor();
  }
}

void TFolioView::DrawBackBuffer(const TRect& R) {
  if (!HasParentWindow()) return;
  const int32_t VW = GetViewWidth(), VH = GetViewHeight();
  if (VW <= 0 || VH <= 0) return;
  if (FBackBuffer->GetWidth() != VW || FBackBuffer->GetHeight() != VH) {
    FBackBuffer->Allocate(VW, VH, ie24RGB);
    FPaintRows.clear();
    FBackBufferDirty = true;
  }
  if (FBackBufferDirty) {
    PaintToBitmap(FBackBuffer.get(), true, true, nullptr);
    if (OnDrawBackBuffer) OnDrawBackBuffer(this);
    FBackBufferDirty = false;
  }
  // Transfer the rectangle into the 32-bit front buffer.
  TBitmap* Front = GetFrontBuffer();
  if (Front == nullptr) return;
  const int32_t x1 = std::max(0, R.Left), y1 = std::max(0, R.Top);
  const int32_t x2 = std::min({R.Right, VW, Front->GetWidth()}), y2 = std::min({R.Bottom, VH, Front->GetHeight()});
  for (int32_t y = y1; y < y2; ++y) {
    const uint8_t* S = FBackBuffer->GetScanline(y) + int64_t(x1) * 3;
    uint8_t* D = static_cast<uint8_t*>(Front->GetScanLine(y)) + int64_t(x1) * 4;
    for (int32_t x = x1; x < x2; ++x, S += 3, D += 4) {
      D[0] = S[0];
      D[1] = S[1];
      D[2] = S[2];
      D[3] = 0xFF;
    }
  }
  // A navigator that darkens what lies outside its selection.
  if ((FNavigatorOptions & 2) && FNavigated != nullptr && FHasSelection) {
    const TRect Inner{BitmapToScreenX(FPolygon.X1), BitmapToScreenY(FPolygon.Y1), BitmapToScreenX(FPolygon.X2),
                      BitmapToScreenY(FPolygon.Y2)};
    IEDimOutsideRect(GetCanvas(), TRect{0, 0, VW, VH}, Inner);
  }
  // The rubber line of a polygon being drawn.
  if (FPolyDrawing && !FLasso && FPolygon.Count() > 0 && FRubberShown) {
    const TPoint& P = FPolygon.Points.back();
    if (P.X != IESelBreak) {
      TCanvas* C = GetCanvas();
      C->GetPen()->SetMode(pmNot);
      C->GetPen()->SetStyle(psSolid);
      C->MoveTo(BitmapToScreenX(P.X), BitmapToScreenY(P.Y));
      C->LineTo(FRubberEnd.X, FRubberEnd.Y);
      C->GetPen()->SetMode(pmCopy);
    }
  }
}

void TFolioView::PaintBackgroundInto(TIEBitmap* Dest, const TRect* Clip, bool Forced) {
  TCanvas* C = Dest->GetLocation() == ieTBitmap ? Dest->GetCanvas() : nullptr;
  if (C == nullptr) return;
  const TRect All{0, 0, Dest->GetWidth(), Dest->GetHeight()};
  bool Handled = false;
  if (OnDrawBackground) OnDrawBackground(this, C, All, Handled);
  if (Handled) return;
  const TRect Img{FOffsetX, FOffsetY, FOffsetX + FVisSW, FOffsetY + FVisSH};
  if (FBackgroundStyle == iebsSolid && Dest->GetPixelFormat() == ie24RGB &&
      (FWallPaper->GetGraphic() == nullptr || FWallPaper->GetGraphic()->GetEmpty())) {
    // A plain colour is written straight into the rows; an opaque image
    // leaves its own rectangle to the image.
    const TColor C = ColorToRGB(FBackground);
    const uint8_t Px[3] = {uint8_t((C >> 16) & 0xFF), uint8_t((C >> 8) & 0xFF), uint8_t(C & 0xFF)};
    const int32_t W = Dest->GetWidth(), H = Dest->GetHeight();
    std::vector<uint8_t> Line(size_t(W) * 3);
    for (int32_t x = 0; x < W; ++x) std::memcpy(&Line[size_t(x) * 3], Px, 3);
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = Dest->GetScanline(y);
      if (Forced || !FBackgroundSkipImage || y < Img.Top || y >= Img.Bottom) {
        std::memcpy(Row, Line.data(), Line.size());
      } else {
        const int32_t l = std::clamp(Img.Left, 0, W), r = std::clamp(Img.Right, 0, W);
        std::memcpy(Row, Line.data(), size_t(l) * 3);
        std::memcpy(Row + size_t(r) * 3, Line.data(), size_t(W - r) * 3);
      }
    }
    return;
  }
  IEDrawBackground(false, C, Dest->GetTBitmap(), FBackgroundStyle, FBackground, 0, 0, All.Width(), All.Height(), Img,
                   FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(), FWallPaperStyle);
}

void TFolioView::PaintToBitmap(TIEBitmap* Dest, bool DrawOverlays, bool DrawBackground, const TRect* Clip) {
  if (!FRenderingLayers) {
    SyncLayerBitmaps();
    ComputeVisibleArea();
    PrepareZoomTables();
  }
  if (GetComponentState() & csDesigning) return;
  if (FBitmapWidth == 0 || FBitmapHeight == 0) {
    if (DrawBackground) PaintBackgroundInto(Dest, Clip, true);
    return;
  }
  bool Drawn = false;
  const int32_t Count = int32_t(FLayers.size());
  for (int32_t i = 0; i < Count; ++i) {
    TIELayer* L = FLayers[size_t(i)].get();
    TIEBitmap* B = L->GetBitmap();
    if (!L->Visible || B == nullptr || (B->GetWidth() < 2 && B->GetHeight() < 2)) continue;
    if (L->IsMask && i > 0) continue;  // drawn as the alpha of the layer below
    const bool LayerPath = !FLayersSync && (Count > 1 || L->HasOwnSize() || L->PosX != 0 || L->PosY != 0);
    if (LayerPath) {
      // A layer of zero size on screen is not drawn.
      if (IERound(L->GetWidth() * FZoomD100X) == 0 || IERound(L->GetHeight() * FZoomD100Y) == 0) continue;
    } else if (FVisSW == 0 || FVisSH == 0) {
      continue;
    }

    // A mask layer above: its gray levels become this layer's alpha, sampled at
    // this layer's pixels; the layers' own data are never changed.
    std::unique_ptr<TIEBitmap> SavedAlpha;
    bool TempAlpha = false;
    TIELayer* MaskL = i + 1 < Count ? FLayers[size_t(i + 1)].get() : nullptr;
    if (MaskL != nullptr && MaskL->IsMask && !L->IsMask && L->GetRotate() == 0 && MaskL->GetBitmap() != nullptr &&
        !MaskL->GetBitmap()->IsEmpty()) {
      if (!MaskL->DisplayCache) {
        TIEBitmap Gray;
        Gray.SetLocation(ieMemory);
        Gray.Assign(MaskL->GetBitmap());
        Gray.RemoveAlphaChannel(false);
        if (Gray.GetPixelFormat() != ie8g) Gray.SetPixelFormat(ie8g);
        auto A = TIEBitmap::CreateAlphaPlane(B->GetWidth(), B->GetHeight(), ieMemory);
        const double lw = L->GetWidth(), lh = L->GetHeight(), mw = MaskL->GetWidth(), mh = MaskL->GetHeight();
        for (int32_t y = 0; y < B->GetHeight(); ++y) {
          uint8_t* Row = A->GetScanline(y);
          const double py = L->PosY + (y + 0.5) * lh / B->GetHeight();
          const int32_t my = int32_t(std::floor((py - MaskL->PosY) / std::max(1.0, mh) * Gray.GetHeight()));
          for (int32_t x = 0; x < B->GetWidth(); ++x) {
            const double px = L->PosX + (x + 0.5) * lw / B->GetWidth();
            const int32_t mx = int32_t(std::floor((px - MaskL->PosX) / std::max(1.0, mw) * Gray.GetWidth()));
            uint8_t m = 0;
            if (mx >= 0 && my >= 0 && mx < Gray.GetWidth() && my < Gray.GetHeight()) m = Gray.GetScanline(my)[mx];
            const uint8_t Own = B->HasAlphaChannel() ? B->GetAlpha(x, y) : 255;
            Row[x] = std::min(Own, m);
          }
        }
        MaskL->DisplayCache = std::move(A);
      }
      if (MaskL->DisplayCache->GetWidth() == B->GetWidth() && MaskL->DisplayCache->GetHeight() == B->GetHeight()) {
        SavedAlpha = B->DetachAlphaChannel();
        auto Copy = std::make_unique<TIEBitmap>();
        Copy->SetLocation(ieMemory);
        Copy->Assign(MaskL->DisplayCache.get());
        B->AttachAlphaChannel(std::move(Copy));
        TempAlpha = true;
      }
    }

    // The background goes under the first drawn layer, unless the image
    // covers the destination opaquely.
    if (!Drawn && DrawBackground) {
      const bool Opaque = !FEnableAlphaChannel || !B->HasAlphaChannel() || B->GetAlphaChannel()->GetFull();
      const bool Covers = FOffsetX == 0 && FOffsetY == 0 && FVisSW >= Dest->GetWidth() && FVisSH >= Dest->GetHeight();
      if (!(Covers && Opaque && L->Transparency == 255 && !LayerPath && i == 0)) {
        FBackgroundSkipImage = Opaque && L->Transparency == 255 && !LayerPath && i == 0 && Count == 1;
        PaintBackgroundInto(Dest, Clip, false);
        FBackgroundSkipImage = false;
      }
    }

    TResampleFilter Filter = rfNone;
    if (FDelayCountdown < 1 && (L->HasOwnSize() || FZoomX != 100 || FZoomY != 100))
      Filter = L->UseResampleFilter ? L->ResampleFilter : FZoomFilter;
    const bool BlendBackground = false;
    (void)BlendBackground;

    if (LayerPath) {
      TIEBitmap* Src = B;
      std::unique_ptr<TIEBitmap> Rotated;
      const int32_t SavePosX = L->PosX, SavePosY = L->PosY, SaveW = L->GetWidth(), SaveH = L->GetHeight();
      const bool SaveOwnSize = L->HasOwnSize();
      if (L->GetRotate() != 0) {
        std::unique_ptr<TIEBitmap> Sized;
        TIEBitmap* R0 = B;
        if (L->HasOwnSize() && (L->GetWidth() != B->GetWidth() || L->GetHeight() != B->GetHeight())) {
          Sized = std::make_unique<TIEBitmap>();
          Sized->SetLocation(ieMemory);
          Sized->Allocate(L->GetWidth(), L->GetHeight(), B->GetPixelFormat() == ie1g ? ie24RGB : B->GetPixelFormat());
          IEResampleBitmap(B, Sized.get(), Filter);
          R0 = Sized.get();
        }
        Rotated = std::make_unique<TIEBitmap>();
        Rotated->SetLocation(ieMemory);
        if (!R0->HasAlphaChannel()) {
          // Corners uncovered by the turned picture stay transparent.
          TIEBitmap Tmp;
          Tmp.SetLocation(ieMemory);
          Tmp.Assign(R0);
          Tmp.GetAlphaChannel();
          IERotateGeneric(&Tmp, 0, L->GetRotate());
          Rotated->Assign(&Tmp);
        } else {
          Rotated->Assign(R0);
          IERotateGeneric(Rotated.get(), 0, L->GetRotate());
        }
        TPoint Corners[4] = {{0, 0}, {R0->GetWidth(), 0}, {R0->GetWidth(), R0->GetHeight()}, {0, R0->GetHeight()}};
        const int32_t cx = IERound(L->RotateCenterX * R0->GetWidth()), cy = IERound(L->RotateCenterY * R0->GetHeight());
        IERotatePoints(Corners, 4, cx, cy, -L->GetRotate());
        int32_t minX = Corners[0].X, minY = Corners[0].Y;
        for (const TPoint& P : Corners) {
          minX = std::min(minX, P.X);
          minY = std::min(minY, P.Y);
        }
        for (int k = 0; k < 4; ++k)
          L->RotatedCorners[size_t(k)] = TPoint{BitmapToScreenX(SavePosX + Corners[k].X),
                                                BitmapToScreenY(SavePosY + Corners[k].Y)};
        L->PosX = SavePosX + minX;
        L->PosY = SavePosY + minY;
        L->SetWidth(Rotated->GetWidth());
        L->SetHeight(Rotated->GetHeight());
        Src = Rotated.get();
      }
      // Magnifier: a magnified copy of what lies under the layer.
      std::unique_ptr<TIEBitmap> Magnified;
      if (i > 0 && L->Magnify && L->MagnifyRate >= 1) {
        Magnified = std::make_unique<TIEBitmap>();
        Magnified->SetLocation(ieMemory);
        const int32_t w = std::max(1, L->GetWidth()), h = std::max(1, L->GetHeight());
        Magnified->Allocate(w, h, ie24RGB);
        const int32_t sw = std::max(1, IERound(w / L->MagnifyRate)), sh = std::max(1, IERound(h / L->MagnifyRate));
        const int32_t sx = L->PosX + (w - sw) / 2, sy = L->PosY + (h - sh) / 2;
        TIEBitmap* L0 = FLayers[0]->GetBitmap();
        if (sx >= 0 && sy >= 0 && sx + sw <= L0->GetWidth() && sy + sh <= L0->GetHeight())
          L0->RenderToTIEBitmap(Magnified.get(), nullptr, nullptr, nullptr, nullptr, 0, 0, w, h, sx, sy, sw, sh, false,
                                false, 255, Filter, true, 0);
        TIEBitmap* A = Magnified->GetAlphaChannel();
        if (L->MagnifyShape == 1) {
          A->Fill(0);
          const double rx = w / 2.0, ry = h / 2.0;
          for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
              const double dx = (x + 0.5 - rx) / rx, dy = (y + 0.5 - ry) / ry;
              if (dx * dx + dy * dy <= 1) A->GetScanline(y)[x] = 255;
            }
          A->SetFull(false);
        }
        Src = Magnified.get();
      }
      // Destination rectangle in client pixels.
      int32_t dx1 = BitmapToScreenX(L->PosX), dx2 = BitmapToScreenX(L->PosX + L->GetWidth());
      int32_t dy1 = BitmapToScreenY(L->PosY), dy2 = BitmapToScreenY(L->PosY + L->GetHeight());
      int32_t sx = 0, sy = 0, sw = Src->GetWidth(), sh = Src->GetHeight();
      if (L->Cropped && i > 0) {
        const int32_t l0 = BitmapToScreenX(0), t0 = BitmapToScreenY(0);
        const int32_t r0 = BitmapToScreenX(FBitmapWidth), b0 = BitmapToScreenY(FBitmapHeight);
        const double fx = dx2 > dx1 ? double(sw) / (dx2 - dx1) : 0, fy = dy2 > dy1 ? double(sh) / (dy2 - dy1) : 0;
        if (dx1 < l0) { sx += IERound((l0 - dx1) * fx); sw -= IERound((l0 - dx1) * fx); dx1 = l0; }
        if (dy1 < t0) { sy += IERound((t0 - dy1) * fy); sh -= IERound((t0 - dy1) * fy); dy1 = t0; }
        if (dx2 > r0) { sw -= IERound((dx2 - r0) * fx); dx2 = r0; }
        if (dy2 > b0) { sh -= IERound((dy2 - b0) * fy); dy2 = b0; }
      }
      L->ClientRect = TRect{dx1, dy1, dx2, dy2};
      if (dx2 > dx1 && dy2 > dy1 && sw > 0 && sh > 0)
        Src->RenderToTIEBitmap(Dest, &FPaintRows, nullptr, nullptr, Clip, dx1, dy1, dx2 - dx1, dy2 - dy1, sx, sy, sw, sh,
                               FEnableAlphaChannel, false, L->Transparency, Filter, true, L->BlendMode);
      L->DrawDX = dx1;
      L->DrawDY = dy1;
      L->DrawDW = dx2 - dx1;
      L->DrawDH = dy2 - dy1;
      L->DrawSX = sx;
      L->DrawSY = sy;
      L->DrawSW = sw;
      L->DrawSH = sh;
      if (L->GetRotate() != 0) {
        L->PosX = SavePosX;
        L->PosY = SavePosY;
        L->SetWidth(SaveOwnSize ? SaveW : 0);
        L->SetHeight(SaveOwnSize ? SaveH : 0);
      } else {
        for (int k = 0; k < 4; ++k) L->RotatedCorners[size_t(k)] = TPoint{0, 0};
      }
    } else {
      // The view path: the zoom tables give the columns and rows, so the
      // pixels match ScreenToBitmapX/Y exactly.
      FPaintXTable.resize(size_t(FVisSW));
      FPaintYTable.resize(size_t(FVisSH));
      const int32_t sxv = SnappedViewX(), syv = SnappedViewY();
      bool Tables = Filter == rfNone;
      for (int32_t u = 0; u < FVisSW && Tables; ++u) {
        const size_t k = size_t(sxv + u);
        if (k >= FS2BX.size()) Tables = false; else FPaintXTable[size_t(u)] = FS2BX[k];
      }
      for (int32_t u = 0; u < FVisSH && Tables; ++u) {
        const size_t k = size_t(syv + u);
        if (k >= FS2BY.size()) Tables = false; else FPaintYTable[size_t(u)] = FS2BY[k];
      }
      // Source rectangle covering every column and row the tables use.
      int32_t sx = FVisOX, sy = FVisOY, sw = std::max(1, FVisOW), sh = std::max(1, FVisOH);
      if (Tables) {
        sx = FPaintXTable.front();
        sy = FPaintYTable.front();
        sw = std::max(1, FPaintXTable.back() - sx + 1);
        sh = std::max(1, FPaintYTable.back() - sy + 1);
      }
      const bool Plain = !Tables && i == 0 && L->Transparency == 255 && L->BlendMode == 0 &&
                         (!FEnableAlphaChannel || !B->HasAlphaChannel() || B->GetAlphaChannel()->GetFull()) &&
                         (B->GetPixelFormat() == ie1g || B->GetPixelFormat() == ie24RGB);
      if (Plain) {
        // A filtered opaque picture is resampled once and kept: repaints
        // that show the same area copy it.
        TFilterCache& K = FFilterCache;
        if (!K.Picture || K.Source != B || K.SrcW != B->GetWidth() || K.SrcH != B->GetHeight() || K.sx != sx ||
            K.sy != sy || K.sw != sw || K.sh != sh || K.dw != FVisSW || K.dh != FVisSH || K.Filter != Filter) {
          K.Picture = std::make_unique<TIEBitmap>();
          K.Picture->SetLocation(ieMemory);
          if (K.Picture->Allocate(FVisSW, FVisSH, ie24RGB)) {
            B->RenderToTIEBitmap(K.Picture.get(), nullptr, nullptr, nullptr, nullptr, 0, 0, FVisSW, FVisSH, sx, sy, sw,
                                 sh, false, false, 255, Filter, true, 0);
            K = TFilterCache{std::move(K.Picture), B, B->GetWidth(), B->GetHeight(), sx, sy, sw, sh, FVisSW, FVisSH,
                             Filter};
          } else {
            K.Picture.reset();
          }
        }
        if (K.Picture)
          K.Picture->RenderToTIEBitmap(Dest, &FPaintRows, nullptr, nullptr, Clip, FOffsetX, FOffsetY, FVisSW, FVisSH, 0,
                                       0, FVisSW, FVisSH, false, false, 255, rfNone, false, 0);
      } else {
        B->RenderToTIEBitmap(Dest, &FPaintRows, Tables ? &FPaintXTable : nullptr, Tables ? &FPaintYTable : nullptr,
                             Clip, FOffsetX, FOffsetY, FVisSW, FVisSH, sx, sy, sw, sh, FEnableAlphaChannel, false,
                             L->Transparency, Filter, false, L->BlendMode);
      }
      L->ClientRect = TRect{FOffsetX, FOffsetY, FOffsetX + FVisSW, FOffsetY + FVisSH};
      L->DrawDX = FOffsetX;
      L->DrawDY = FOffsetY;
      L->DrawDW = FVisSW;
      L->DrawDH = FVisSH;
      L->DrawSX = FVisOX;
      L->DrawSY = FVisOY;
      L->DrawSW = FVisOW;
      L->DrawSH = FVisOH;
    }
    Drawn = true;
    if (DrawOverlays && L->VisibleBox) DrawLayerOverlays(Dest, L, i);
    if (TempAlpha) {
      B->DetachAlphaChannel();
      if (SavedAlpha) B->AttachAlphaChannel(std::move(SavedAlpha));
    }
  }
  if (!Drawn && DrawBackground) PaintBackgroundInto(Dest, Clip, true);
  // Selection overlays.
  if (DrawOverlays && FHasSelection && !FMask->IsEmpty() && Dest->GetLocation() == ieTBitmap) {
    TIELayer* L = GetCurrentLayer();
    if ((FSelectionOptions & IESO(iesoFilled)) && L != nullptr)
      FMask->StretchDrawInvert(Dest->GetCanvas(), L->DrawDX, L->DrawDY, L->DrawDW, L->DrawDH, L->DrawSX, L->DrawSY,
                               L->DrawSW, L->DrawSH);
    if ((FSelectionOptions & IESO(iesoMarkOuter)) && L != nullptr)
      FMask->DrawMarkOuter(Dest->GetTBitmap(), L->DrawDX, L->DrawDY, L->DrawDW, L->DrawDH, L->DrawSX, L->DrawSY,
                           L->DrawSW, L->DrawSH, -1, clWhite);
  }
}

TRect TFolioView::LayerGripRect(TIELayer* L, int32_t Grip) {
  const TRect& R = L->ClientRect;
  const bool Rot = L->GetRotate() != 0;
  TPoint C[4] = {{R.Left, R.Top}, {R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}};
  if (Rot)
    for (int k = 0; k < 4; ++k) C[k] = L->RotatedCorners[size_t(k)];
  TPoint P{0, 0};
  switch (Grip) {
    case 0: P = C[0]; break;
    case 1: P = C[1]; break;
    case 2: P = C[2]; break;
    case 3: P = C[3]; break;
    case 4: P = TPoint{(C[0].X + C[3].X) / 2, (C[0].Y + C[3].Y) / 2}; break;
    case 5: P = TPoint{(C[1].X + C[2].X) / 2, (C[1].Y + C[2].Y) / 2}; break;
    case 6: P = TPoint{(C[0].X + C[1].X) / 2, (C[0].Y + C[1].Y) / 2}; break;
    case 7: P = TPoint{(C[3].X + C[2].X) / 2, (C[3].Y + C[2].Y) / 2}; break;
    default: {
      const int32_t cx = L->LayerToScreenX(IERound(L->RotateCenterX * L->GetBitmap()->GetWidth()));
      const int32_t cy = L->LayerToScreenY(IERound(L->RotateCenterY * L->GetBitmap()->GetHeight()));
      return TRect{cx - 5, cy - 5, cx + 5, cy + 5};
    }
  }
  return TRect{P.X - 5, P.Y - 5, P.X + 5, P.Y + 5};
}

void TFolioView::DrawLayerOverlays(TIEBitmap* Dest, TIELayer* L, int32_t Index) {
  if (Index != FLayersCurrent || Dest->GetLocation() != ieTBitmap) return;
  TCanvas* C = Dest->GetCanvas();
  if (C == nullptr) return;
  const bool Box = FMouseInteract & (IEMI(miMoveLayers) | IEMI(miResizeLayers));
  if (Box) {
    C->GetPen()->SetStyle(psDot);
    C->GetPen()->SetMode(pmNot);
    C->GetPen()->SetWidth(1);
    C->GetBrush()->SetStyle(bsClear);
    if (L->GetRotate() != 0) {
      std::vector<TPoint> P(L->RotatedCorners.begin(), L->RotatedCorners.end());
      C->Polygon(P);
    } else {
      C->Rectangle(L->ClientRect);
    }
    C->GetPen()->SetStyle(psSolid);
    C->GetPen()->SetMode(pmCopy);
    C->GetBrush()->SetStyle(bsSolid);
  }
  auto Grip = [&](int32_t g, bool Ellipse) {
    C->GetPen()->SetColor(clBlack);
    C->GetPen()->SetMode(pmCopy);
    C->GetBrush()->SetColor(TColor(0xBAFFFF));
    C->GetBrush()->SetStyle(bsSolid);
    const TRect R = LayerGripRect(L, g);
    if (Ellipse)
      C->Ellipse(R);
    else
      C->Rectangle(R);
  };
  if ((FMouseInteract & IEMI(miResizeLayers)) && !L->Locked)
    for (int32_t g = 0; g < 8; ++g) Grip(g, true);
  if (FMouseInteract & IEMI(miRotateLayers)) Grip(8, true);
  if (L->Highlight) {
    const TRect& R = L->ClientRect;
    for (int32_t y = 0; y < Dest->GetHeight(); ++y) {
      uint8_t* Row = Dest->GetScanline(y);
      for (int32_t x = (y & 1); x < Dest->GetWidth(); x += 2) {
        if (x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom) continue;
        Row[3 * x] = Row[3 * x + 1] = Row[3 * x + 2] = 97;
      }
    }
  }
}
