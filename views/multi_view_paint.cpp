// Layout, scrolling and painting of the multi-image view.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "foundations/value_helpers.h"
#include "kernels/dib_stretch.h"
#include "kernels/resample_engine.h"
#include "kernels/resample_fast.h"
#include "platform/gdi/bitmap.h"
#include "kernels/gamma_blur_shadow.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/messages.h"
#include "views/multi_view.h"
#include "views/window_helpers.h"

namespace {

struct TLockScope {
  explicit TLockScope(TCriticalSection& L) : Lock(L) { Lock.Enter(); }
  ~TLockScope() { Lock.Leave(); }
  TCriticalSection& Lock;
};

// Copies Source (any format) at (X, Y) into a 32-bit platform bitmap,
// clipped to it; with Blend, pixels are mixed with what lies beneath by the
// source's alpha plane.
void BlitToBitmap(TIEBitmap* Source, TBitmap* Dest, int32_t X, int32_t Y, bool Blend) {
  if (!Source || Source->IsEmpty() || Dest->GetPixelFormat() != pf32bit) return;
  TIEBitmap Converted;
  TIEBitmap* Src = Source;
  if (Source->GetPixelFormat() != ie24RGB) {
    Converted.Assign(Source);
    Converted.SetPixelFormat(ie24RGB);
    Src = &Converted;
  }
  TIEBitmap* Alpha = nullptr;
  if (Blend && Source->HasAlphaChannel() && !Source->GetAlphaChannel()->GetFull())
    Alpha = Source->GetAlphaChannel();
  const int32_t w = Src->GetWidth(), h = Src->GetHeight();
  const int32_t x0 = std::max(0, -X), x1 = std::min(w, Dest->GetWidth() - X);
  const int32_t y0 = std::max(0, -Y), y1 = std::min(h, Dest->GetHeight() - Y);
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<uint8_t> AlphaRow;
  for (int32_t y = y0; y < y1; ++y) {
    const uint8_t* s = Src->GetScanline(y);
    uint8_t* d = Dest->GetScanLine(Y + y) + int64_t(X) * 4;
    if (Alpha && y < Alpha->GetHeight()) {
      const uint8_t* a = Alpha->GetScanline(y);
      AlphaRow.assign(a, a + std::min(w, Alpha->GetWidth()));
      AlphaRow.resize(size_t(w), 0);
      for (int32_t x = x0; x < x1; ++x) {
        const uint32_t k = AlphaRow[size_t(x)];
        for (int c = 0; c < 3; ++c)
          d[x * 4 + c] = uint8_t((s[x * 3 + c] * k + d[x * 4 + c] * (255 - k) + 127) / 255);
      }
    } else {
      for (int32_t x = x0; x < x1; ++x) {
        d[x * 4 + 0] = s[x * 3 + 0];
        d[x * 4 + 1] = s[x * 3 + 1];
        d[x * 4 + 2] = s[x * 3 + 2];
      }
    }
  }
}

// Source scaled to Width x Height: 1-bit pages being reduced turn to 24-bit
// gray by averaging, everything else goes through the resampler with the
// view's filter (rfNone: a plain stretch) in its own format; the alpha plane
// follows.
std::unique_ptr<TIEBitmap> ScaleForCell(TIEBitmap* Source, int32_t Width, int32_t Height,
                                        TResampleFilter Filter) {
  const TIEPixelFormat Format = Source->GetPixelFormat();
  const bool Reducing = Width < Source->GetWidth() || Height < Source->GetHeight();
  const bool Gray1 = Format == ie1g && Reducing;
  auto Result = std::make_unique<TIEBitmap>();
  if (!Result->Allocate(Width, Height, Gray1 ? ie24RGB : Format)) return nullptr;
  if (!Gray1) {
    IEResampleBitmap(Source, Result.get(), Filter);
    if (Source->HasAlphaChannel() && Result->HasAlphaChannel())
      Result->GetAlphaChannel()->SetFull(Source->GetAlphaChannel()->GetFull());
    return Result;
  }
  IEResample1BitBoxGray(Source, 0, 0, Source->GetWidth() - 1, Source->GetHeight() - 1, Result.get());
  if (Source->HasAlphaChannel()) {
    TIEBitmap* DstAlpha = Result->GetAlphaChannel();
    if (DstAlpha && DstAlpha->GetWidth() == Width && DstAlpha->GetHeight() == Height) {
      _IEBmpStretchEx(Source->GetAlphaChannel(), DstAlpha);
      DstAlpha->SetFull(Source->GetAlphaChannel()->GetFull());
    }
  }
  return Result;
}

// Makes the pixels outside four quarter curves at the corners transparent:
// each corner is cut along a cubic Bezier curve through the corner's two
// tangent points, sampled at CornerWidth + CornerHeight points, and every
// pixel between a sample and the corner gets alpha 0.
void RoundThumbnailCorners(TIEBitmap* Bitmap, int32_t CornerWidth, int32_t CornerHeight) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0 || CornerWidth <= 0 || CornerHeight <= 0) return;
  const int32_t N = CornerWidth + CornerHeight;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  auto Clear = [&](int32_t X, int32_t Y) {
    Bitmap->SetAlpha(X, Y, 0);
    Bitmap->SetAlpha(W - 1 - X, Y, 0);
  };
  // Point of the cubic curve P0, P1, P2, P3 at t.
  auto Bezier = [](double t, double P0, double P1, double P2, double P3) {
    const double u = 1.0 - t;
    return u * u * u * P0 + 3 * u * u * t * P1 + 3 * u * t * t * P2 + t * t * t * P3;
  };
  for (int32_t i = 1; i <= N; ++i) {
    const double t = double(i) / N;
    // top corners: from (0, CornerHeight) over (0, 0) to (CornerWidth, 0)
    int32_t px = IERound(Bezier(t, 0, 0, CornerWidth, CornerWidth));
    int32_t py = IERound(Bezier(t, CornerHeight, 0, 0, 0));
    px = std::clamp(px, 0, W - 1);
    py = std::clamp(py, 0, H - 1);
    for (int32_t y = 0; y <= py; ++y)
      for (int32_t x = 0; x <= px; ++x) Clear(x, y);
    // bottom corners: from (W, H - CornerHeight) over (W, H) to (W - CornerWidth, H)
    px = IERound(Bezier(t, W, W, W - CornerWidth, W - CornerWidth));
    py = IERound(Bezier(t, H - CornerHeight, H, H, H));
    px = std::clamp(px, 0, W);
    py = std::clamp(py, 0, H);
    for (int32_t y = py; y <= H - 1; ++y)
      for (int32_t x = px; x <= W - 1; ++x) Clear(x, y);
  }
  Alpha->UpdateFullFlag();
}

// Caption text shortened with "..." until it fits Width: Side 0 keeps the
// start, 1 the end; other sides never shorten.
std::string FitCaption(TCanvas* C, const std::string& Text, int32_t Width, uint8_t Side) {
  if (Side > 1) return Text;
  std::string Kept = Text;
  std::string Shown = Text;
  while (C->TextWidth(Shown) > Width && Kept.size() >= 2) {
    if (Side == 0) {
      Kept.pop_back();
      Shown = Kept + "...";
    } else {
      Kept.erase(0, 1);
      Shown = "..." + Kept;
    }
  }
  return Shown;
}

}  // namespace

// ----------------------------------------------------------------- geometry
int32_t TFolioMView::GetColumnCount() const {
  if (FGridWidth >= 0) return FGridWidth;
  return std::max(0, (GetClientWidth() - FHorizBorder) / std::max(1, FHorizBorder + FThumbWidth));
}

void TFolioMView::ComputeCellPositions() {
  const int32_t Count = GetImageCount();
  const int32_t Columns = GetColumnCount();
  int32_t MaxLeft = -1, MaxTop = -1;
  for (int32_t i = 0; i < Count; ++i) {
    TIEMViewEntry* E = FEntries[size_t(i)].get();
    if (FDisplayMode == mdSingle) {
      E->GridRow = E->GridColumn = 0;
      E->CellLeft = E->CellTop = 0;
    } else {
      E->GridRow = Columns > 0 ? i / Columns : 0;
      E->GridColumn = Columns > 0 ? i % Columns : i;
      E->CellLeft = FHorizBorder + E->GridColumn * (FThumbWidth + FHorizBorder);
      E->CellTop = FVertBorder + E->GridRow * (FThumbHeight + FVertBorder);
    }
    MaxLeft = std::max(MaxLeft, E->CellLeft);
    MaxTop = std::max(MaxTop, E->CellTop);
  }
  FExtentX = Count > 0 ? MaxLeft + FThumbWidth + FHorizBorder : 0;
  FExtentY = Count > 0 ? MaxTop + FThumbHeight + FVertBorder : 0;
}

int32_t TFolioMView::GetMaxScrollX() const { return std::max(0, FExtentX - GetClientWidth()); }
int32_t TFolioMView::GetMaxScrollY() const { return std::max(0, FExtentY - GetClientHeight()); }

TRect TFolioMView::GetCellRect(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  if (!E) return TRect{0, 0, 0, 0};
  return TRect{E->CellLeft, E->CellTop, E->CellLeft + FThumbWidth, E->CellTop + FThumbHeight};
}

int32_t TFolioMView::ImageVisibility(int32_t Index) const {
  if (!Entry(Index)) return 0;
  TRect R = GetCellRect(Index);
  R = TRect{R.Left - FViewX, R.Top - FViewY, R.Right - FViewX, R.Bottom - FViewY};
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  if (R.Left >= 0 && R.Top >= 0 && R.Right <= cw && R.Bottom <= ch) return 2;
  if (R.Left < cw && R.Right > 0 && R.Top < ch && R.Bottom > 0) return 1;
  return 0;
}

bool TFolioMView::IsEntryOnScreen(int32_t Index) const {
  if (!Entry(Index)) return false;
  const TRect R = GetCellRect(Index);
  const int32_t l = R.Left - FViewX, t = R.Top - FViewY;
  // Overlap with (0, 0, width - 1, height - 1), edges included.
  return l <= GetWidth() - 1 && l + FThumbWidth >= 0 && t <= GetHeight() - 1 && t + FThumbHeight >= 0;
}

// ---------------------------------------------------------------- scrolling
void TFolioMView::SetScrollX(int32_t X) { SetScrollXY(X, FViewY); }
void TFolioMView::SetScrollY(int32_t Y) { SetScrollXY(FViewX, Y); }

void TFolioMView::SetScrollXY(int32_t X, int32_t Y) {
  X = std::clamp(X, 0, GetMaxScrollX());
  Y = std::clamp(Y, 0, GetMaxScrollY());
  if (X == FViewX && Y == FViewY) return;
  const bool MovedX = X != FViewX, MovedY = Y != FViewY;
  FViewX = X;
  FViewY = Y;
  Invalidate();
  if (!HandleAllocated()) return;
  const HWND h = GetHandle();
  if (MovedX && (FScrollBars == ssHorizontal || FScrollBars == ssBoth))
    SetScrollPos(h, SB_HORZ, int32_t(FViewX / FHSVScale), true);
  if (MovedY && (FScrollBars == ssVertical || FScrollBars == ssBoth))
    SetScrollPos(h, SB_VERT, int32_t(FViewY / FVSVScale), true);
}

void TFolioMView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (HandleAllocated()) {
    const HWND h = GetHandle();
    if (Value != ssVertical && Value != ssBoth) ShowScrollBar(h, SB_VERT, false);
    if (Value != ssHorizontal && Value != ssBoth) ShowScrollBar(h, SB_HORZ, false);
  }
  UpdateLayout(false);
}

void TFolioMView::UpdateScrollBars() {
  const HWND h = GetHandle();
  for (int Pass = 0; Pass < 9; ++Pass) {
    const int32_t cw = GetClientWidth(), ch = GetClientHeight();
    const int32_t X = std::clamp(FViewX, 0, GetMaxScrollX()), Y = std::clamp(FViewY, 0, GetMaxScrollY());
    if (X != FViewX || Y != FViewY) {
      FViewX = X;
      FViewY = Y;
      DoViewChange(0);
    }
    auto Place = [&](int32_t Bar, int32_t Client, int32_t MaxScroll, int32_t Pos, double& Scale) {
      try {
        if (MaxScroll < 1) {
          ShowScrollBar(h, Bar, false);
          return;
        }
        Scale = double(Client + MaxScroll - 1) / 65536.0;
        TScrollInfo Info;
        Info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        Info.nMin = 0;
        Info.nMax = 65535;
        Info.nPage = uint32_t(std::max(0.0, std::trunc(Client / Scale)));
        Info.nPos = int32_t(Pos / Scale);
        SetScrollInfo(h, Bar, Info, true);
        EnableScrollBar(h, Bar, ESB_ENABLE_BOTH);
        ShowScrollBar(h, Bar, true);
      } catch (const Exception&) {
        // A failing bar leaves the layout as it is.
      }
    };
    if (FScrollBars == ssVertical || FScrollBars == ssBoth) Place(SB_VERT, ch, GetMaxScrollY(), FViewY, FVSVScale);
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) Place(SB_HORZ, cw, GetMaxScrollX(), FViewX, FHSVScale);
    if (GetClientWidth() == cw && GetClientHeight() == ch) break;
  }
}

void TFolioMView::UpdateLayout(bool DropDisplayCopies) {
  if (DropDisplayCopies) ClearAllImageCaches();
  if (FPaintLock > 0 || FInLayout || FDestroying) return;
  FInLayout = true;
  try {
    ComputeCellPositions();
    // The scroll bars and the change callbacks belong to a view on a window.
    if (HandleAllocated()) {
      UpdateScrollBars();
      // The grid may have changed with the client size.
      ComputeCellPositions();
    }
  } catch (...) {
    FInLayout = false;
    throw;
  }
  FInLayout = false;
  if (HandleAllocated()) CallBitmapChangeEvents();
  Invalidate();
}

void TFolioMView::HandleScroll(bool Vertical, int32_t Code, int32_t ThumbPos) {
  const TIEScrollBarParams& P = Vertical ? FVScrollBarParams : FHScrollBarParams;
  const int32_t Pos = Vertical ? FViewY : FViewX;
  const int32_t Line = P.LineStep >= 0 ? P.LineStep : Vertical ? FThumbHeight + FVertBorder : FThumbWidth + FHorizBorder;
  const int32_t Page = P.PageStep >= 0 ? P.PageStep : Vertical ? GetClientHeight() : GetClientWidth();
  const double Scale = Vertical ? FVSVScale : FHSVScale;
  int32_t New = Pos;
  switch (Code) {
    case SB_LINEUP: New = Pos - Line; break;
    case SB_LINEDOWN: New = Pos + Line; break;
    case SB_PAGEUP: New = Pos - Page; break;
    case SB_PAGEDOWN: New = Pos + Page; break;
    case SB_TOP: New = 0; break;
    case SB_BOTTOM: New = Vertical ? GetMaxScrollY() : GetMaxScrollX(); break;
    case SB_THUMBPOSITION: New = int32_t(ThumbPos * Scale); break;
    case SB_THUMBTRACK:
      if (P.Tracking) New = int32_t(ThumbPos * Scale);
      break;
    default: break;
  }
  if (Vertical)
    SetScrollY(New);
  else
    SetScrollX(New);
  DoViewChange(0);
}

// ----------------------------------------------------------------- painting
void TFolioMView::Paint() {
  if (FPaintLock > 0 || GetClientWidth() <= 0 || GetClientHeight() <= 0) return;
  TBitmap* Buffer = GetFrontBuffer();
  if (!Buffer) return;
  PaintBackground(Buffer);
  if (FLayoutAfterPaint) {
    // Entries removed while painting: the scroll bars follow the new extent.
    FLayoutAfterPaint = false;
    if (HandleAllocated() && !FInLayout) {
      FInLayout = true;
      UpdateScrollBars();
      FInLayout = false;
    }
  }
}

void TFolioMView::PaintBackground(TBitmap* Bitmap) {
  TCanvas* C = Bitmap->GetCanvas();
  const TRect Client{0, 0, Bitmap->GetWidth(), Bitmap->GetHeight()};
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(GetBackground());
  C->FillRect(Client);

  for (;;) {
    const int32_t Count = GetImageCount();
    const int32_t n = (FDisplayMode == mdSingle && Count > 0) ? 1 : Count;
    const int32_t First = (FDisplayMode == mdSingle || FPlaying) && Count > 0 ? std::clamp(FFrameIndex, 0, Count - 1) : 0;
    bool PrevAll = FAllDisplayed;
    FAllDisplayed = true;
    int32_t FirstVisible = -1, LastVisible = Count - 1, Drawn = 0;
    bool Restart = false;
    for (int32_t k = 0; k < n; ++k) {
      const int32_t Index = (First + k) % Count;
      if (OnDrawProgress && n > 1) OnDrawProgress(this, int32_t(int64_t(k) * 100 / n), Index);
      TIEMViewEntry* E = FEntries[size_t(Index)].get();
      if (IsEntryOnScreen(Index)) {
        if (FirstVisible == -1) FirstVisible = Index;
        if (!E->Image && !E->DisplayCopy) {
          PrevAll = false;
          bool Loaded = true;
          if (Index == FSelectedIndex || FThreadPoolSize == 0 || !QueueImageLoad(Index, Drawn))
            Loaded = LoadImageOnDemand(Index);
          if (!Loaded && FRemoveCorrupted) {
            DeleteImageInternal(Index);
            // The cells after the removed one move up: lay them out again
            // before the pass starts over.
            ComputeCellPositions();
            FLayoutAfterPaint = true;
            C->GetBrush()->SetStyle(bsSolid);
            C->GetBrush()->SetColor(GetBackground());
            C->FillRect(Client);
            Restart = true;
            break;
          }
        }
        const bool Selected =
            (Index == FSelectedIndex || (FEnableMultiSelect && IsSelected(Index))) && FVisibleSelection &&
            FDisplayMode == mdGrid;
        DrawThumbnail(Bitmap, E, Index, Selected);
        ++Drawn;
        if (!E->Image && !E->DisplayCopy) FAllDisplayed = false;
      } else if (FirstVisible != -1 && LastVisible == Count - 1) {
        LastVisible = Index - 1;
      }
    }
    if (Restart) continue;

    // Look-ahead: the next entries below the visible ones wait at the end of
    // the queue.
    if (FPreloadCount > 0 && FThreadPoolSize > 0 && LastVisible + 1 < Count) {
      FLookAhead.clear();
      for (int32_t i = LastVisible + 1; i < Count && i <= LastVisible + FPreloadCount; ++i) {
        TIEMViewEntry* E = FEntries[size_t(i)].get();
        if (E->Image || E->DisplayCopy) continue;
        FLookAhead.push_back(E);
        QueueImageLoad(i, -1);
      }
    }

    // Entries far from the visible ones give their images back to the
    // store when they can be had again; an image whose bitmap is held (the
    // selected page being edited) stays, or its edits would be lost.
    if (FUnloadMargin >= 0 && FirstVisible >= 0) {
      const int32_t m = std::max(FPreloadCount, FUnloadMargin);
      TLockScope Lock(FLock);
      for (int32_t i = 0; i < Count; ++i) {
        TIEMViewEntry* E = FEntries[size_t(i)].get();
        if ((i < FirstVisible - m || i > LastVisible + m) && E->Image && CanReload(E) && !E->Image->IsViewed()) {
          FImageList->Delete(E->Image);
          E->Image = nullptr;
        }
      }
    }
    if (OnDrawProgress && n > 1) OnDrawProgress(this, 100, 0);
    if (FAllDisplayed && !PrevAll && OnAllDisplayed) OnAllDisplayed(this);
    break;
  }
}

void TFolioMView::RenderThumbnail(TIEBitmap* Source, TBitmap* Dest, int32_t X, int32_t Y, int32_t Width,
                                  int32_t Height, int32_t CornerSize, TRect& ImageRect,
                                  std::unique_ptr<TIEBitmap>* Copy) {
  std::unique_ptr<TIEBitmap> Scaled;
  TIEBitmap* Shown = Source;
  const bool Decorated = CornerSize > 0 || FSoftShadow.Enabled;
  if (Source->GetWidth() != Width || Source->GetHeight() != Height) {
    Scaled = ScaleForCell(Source, Width, Height, DrawFilter);
    if (!Scaled) return;
    Shown = Scaled.get();
  } else if (Decorated) {
    // The stored image itself is never changed: decorate a copy.
    Scaled = std::make_unique<TIEBitmap>();
    Scaled->Assign(Source);
    Shown = Scaled.get();
  }
  ImageRect = TRect{0, 0, Width, Height};
  if (CornerSize > 0) RoundThumbnailCorners(Shown, CornerSize, CornerSize);
  if (FSoftShadow.Enabled) {
    // The shadow grows the canvas around the picture; the whole is brought
    // back to the cell's size, so the image itself shrinks inside it.
    if (Shown->GetPixelFormat() != ie24RGB) Shown->ConvertToPixelFormat(ie24RGB);
    IEAddSoftShadow(Shown, FSoftShadow.OffsetX, FSoftShadow.OffsetY, FSoftShadow.Radius, FSoftShadow.Intensity,
                    true, FSoftShadow.ShadowColor);
    const int32_t EW = Shown->GetWidth(), EH = Shown->GetHeight();
    auto Back = std::make_unique<TIEBitmap>();
    if (EW > 0 && EH > 0 && Back->Allocate(Width, Height, ie24RGB)) {
      IEResampleBitmap(Shown, Back.get(), rfTriangle);
      const double sx = double(Width) / EW, sy = double(Height) / EH;
      const int32_t dx = (EW - Width) / 2, dy = (EH - Height) / 2;
      ImageRect = TRect{int32_t(dx * sx), int32_t(dy * sy), int32_t((Width + dx) * sx) + 1,
                        int32_t((Height + dy) * sy) + 1};
      Scaled = std::move(Back);
      Shown = Scaled.get();
    }
  }
  BlitToBitmap(Shown, Dest, X, Y, FEnableAlphaChannel);
  if (Copy) {
    if (!Scaled) {
      Scaled = std::make_unique<TIEBitmap>();
      Scaled->Assign(Source);
    }
    *Copy = std::move(Scaled);
  }
}

void TFolioMView::DrawEntryPicture(TBitmap* Bitmap, TIEMViewEntry* E, int32_t Left, int32_t Top, int32_t w,
                                   int32_t AvailHeight, int32_t UpperGap, int32_t CornerSize, double Aspect,
                                   int32_t& x, int32_t& y, int32_t& m, int32_t& o, bool& Drawn) {
  Drawn = false;
  if (E->Image && !E->DisplayCopy) {
    TIEBitmap* Src = FImageList->GetBitmap(E->Image);
    if (!Src) return;
    const int32_t W = Src->GetWidth();
    // The picture is fitted at its true shape: rows count Aspect pixels high.
    const int32_t H = Aspect == 1 ? Src->GetHeight() : std::max(1, IERound(Src->GetHeight() * Aspect));
    if (W >= 1 && H > 0) {
      const int32_t Avail = std::max(1, AvailHeight), Cell = std::max(1, w);
      if (FitSmallImages || W > Cell || H > Avail)
        IEAspectFit(W, H, Cell, Avail, m, o);
      else
        m = W, o = H;
      m = std::max(1, m);
      o = std::max(1, o);
      x = Left + std::abs(w - m) / 2;
      y = Top + UpperGap + std::abs(AvailHeight - o) / 2;
      std::unique_ptr<TIEBitmap> Copy;
      TRect ImageRect{0, 0, m, o};
      RenderThumbnail(Src, Bitmap, x, y, m, o, CornerSize, ImageRect, KeepDisplayCopies ? &Copy : nullptr);
      if (Copy) {
        E->DisplayCopy = FCacheList->AddBitmap(Copy.get());
        if (E->DisplayCopy) {
          FCacheList->SetSourceWidth(E->DisplayCopy, FImageList->GetSourceWidth(E->Image));
          FCacheList->SetSourceHeight(E->DisplayCopy, FImageList->GetSourceHeight(E->Image));
        }
      }
      E->ImageRect = ImageRect;
      Drawn = true;
    }
    FImageList->ReleaseBitmap(Src, false);
  } else if (E->DisplayCopy) {
    TIEBitmap* Src = FCacheList->GetBitmap(E->DisplayCopy);
    if (!Src) return;
    m = Src->GetWidth();
    o = Src->GetHeight();
    x = Left + std::abs(w - m) / 2;
    y = Top + UpperGap + std::abs(AvailHeight - o) / 2;
    BlitToBitmap(Src, Bitmap, x, y, true);
    FCacheList->ReleaseBitmap(Src, false);
    Drawn = m > 0 && o > 0;
  }
}

void TFolioMView::DrawThumbnail(TBitmap* Bitmap, TIEMViewEntry* E, int32_t Index, bool Selected) {
  TLockScope Lock(FLock);
  TCanvas* C = Bitmap->GetCanvas();
  int32_t Left = E->CellLeft - FViewX, Top = E->CellTop - FViewY;
  int32_t w = FThumbWidth, h = FThumbHeight;
  if (OnBeforeImageDraw) OnBeforeImageDraw(this, Index, Left, Top, C);
  const bool Framed = FCellFrame && FCellFrameSelected;
  if (Framed) {
    // The frame picture fills the cell; the picture goes into its inner part.
    TIEBitmap* Frame = Selected ? FCellFrameSelected.get() : FCellFrame.get();
    if (!Frame->IsEmpty()) {
      if (Frame->GetWidth() == w && Frame->GetHeight() == h) {
        BlitToBitmap(Frame, Bitmap, Left, Top, FEnableAlphaChannel);
      } else if (auto Stretched = ScaleForCell(Frame, std::max(1, w), std::max(1, h), rfFastLinear)) {
        BlitToBitmap(Stretched.get(), Bitmap, Left, Top, FEnableAlphaChannel);
      }
    }
    w = FCellFrameInner.Right - FCellFrameInner.Left;
    h = FCellFrameInner.Bottom - FCellFrameInner.Top;
    Left += FCellFrameInner.Left;
    Top += FCellFrameInner.Top;
  }
  if (OnBeforeImageDrawEx) {
    TRect ThumbRect{0, 0, w, h};
    OnBeforeImageDrawEx(this, Index, Left, Top, Bitmap, ThumbRect);
    w = ThumbRect.Right - ThumbRect.Left;
    h = ThumbRect.Bottom - ThumbRect.Top;
    Left += ThumbRect.Left;
    Top += ThumbRect.Top;
  }

  const int32_t Upper = FDrawTexts ? FUpperGap : FUserUpperGap;
  const int32_t Bottom = FDrawTexts ? FBottomGap : FUserBottomGap;
  int32_t InfoHeight = 0;
  if (FDrawTexts && !E->InfoText->GetCaption().empty()) {
    C->SetFont(E->InfoText->GetFont());
    InfoHeight = C->TextHeight(E->InfoText->GetCaption());
  }
  const int32_t Avail = h - Upper - Bottom - InfoHeight;
  const TColor Fill = Selected && FSelectionStyle == iessACD ? FHighlightBackColor
                      : FDrawImageBackground                ? E->Background
                                                            : FThumbnailsBackground;
  auto FillBand = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (x2 <= x1 || y2 <= y1) return;
    C->GetBrush()->SetStyle(bsSolid);
    C->GetBrush()->SetColor(Fill);
    C->FillRect(TRect{x1, y1, x2, y2});
  };
  if (FFillThumbnail) FillBand(Left, Top, Left + w, Top + h);

  int32_t x = Left, y = Top, m = 0, o = 0;
  bool Drawn = false;
  const int32_t CornerSize = FCornerDivisor > 0 ? std::min(w, h) / FCornerDivisor : 0;
  DrawEntryPicture(Bitmap, E, Left, Top, w, Avail, Upper, CornerSize, GetImagePixelAspect(Index), x, y, m, o,
                   Drawn);
  if (Drawn) {
    if (FThumbnailsInternalBorder) {
      C->GetPen()->SetStyle(psSolid);
      C->GetPen()->SetMode(pmCopy);
      C->GetPen()->SetWidth(1);
      C->GetPen()->SetColor(FThumbnailsInternalBorderColor);
      C->GetBrush()->SetStyle(bsClear);
      const TRect& R = E->ImageRect;
      C->Rectangle(x + R.Left, y + R.Top, x + R.Right, y + R.Bottom);
    }
    if (FFillThumbnail) {
      FillBand(Left, Top, x, Top + h);
      FillBand(x + m, Top, Left + w, Top + h);
      FillBand(x, Top, x + m, y);
      FillBand(x, y + o, x + m, Top + h);
    }
  }

  // Captions: top, info, bottom.
  int32_t b = 0;
  if (FDrawTexts) {
    auto Prepare = [&](TIEMText* T) {
      C->SetFont(T->GetFont());
      C->GetBrush()->SetStyle(T->GetBackgroundStyle());
      if (Selected && FSelectionStyle == iessACD) {
        C->GetFont()->SetColor(FHighlightTextColor);
        if (T->GetBackgroundStyle() != bsClear) C->GetBrush()->SetColor(FHighlightBackColor);
      } else if (T->GetBackgroundStyle() != bsClear) {
        C->GetBrush()->SetColor(T->GetBackground());
      }
      return FitCaption(C, T->GetCaption(), w, T->GetTruncSide());
    };
    auto Band = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
      const TBrushStyle Style = C->GetBrush()->GetStyle();
      C->FillRect(TRect{x1, y1, x2, y2});
      C->GetBrush()->SetStyle(Style);
    };
    if (!E->TopText->GetCaption().empty()) {
      const std::string S = Prepare(E->TopText.get());
      const int32_t th = C->TextHeight(S);
      if (FStyle == iemsFlat && C->GetBrush()->GetStyle() != bsSolid) Band(Left, Top, Left + w, Top + th);
      C->TextOut(Left + (w - C->TextWidth(S)) / 2, Top, S);
    }
    if (!E->InfoText->GetCaption().empty()) {
      const std::string S = Prepare(E->InfoText.get());
      const int32_t y1 = Top + h - Bottom - InfoHeight;
      if (FStyle == iemsFlat && C->GetBrush()->GetStyle() == bsSolid) Band(Left, y1, Left + w, Top + h - Bottom);
      C->TextOut(Left + (w - C->TextWidth(S)) / 2, y1, S);
    }
    if (!E->BottomText->GetCaption().empty()) {
      const std::string S = Prepare(E->BottomText.get());
      const int32_t th = C->TextHeight(S);
      if (C->GetBrush()->GetStyle() == bsSolid) Band(Left, Top + h - th - 1, Left + w, Top + h);
      C->TextOut(Left + (w - (C->TextWidth(S) + 2)) / 2 + 1, Top + h - th - 1, S);
      b = th + 3;
    }
  }

  if (FStyle == iemsACD) {
    if (Drawn) IEDraw3DFrame(C, x, y, x + m - 1, y + o - 1, TColor(8421504), clWhite);
    if (Upper + Bottom > 0 || (FDrawTexts && !E->InfoText->GetCaption().empty()))
      IEDraw3DFrame(C, Left, Top, Left + w - 1, Top + h - 1 - b, clWhite, clBlack);
    if (FDrawTexts && !E->BottomText->GetCaption().empty())
      IEDraw3DFrame(C, Left, Top + h - b + 2, Left + w - 1, Top + h - 1, TColor(8421504), clWhite);
  }

  if (OnImageDraw) OnImageDraw(this, Index, Left, Top, C);
  if (OnImageDraw2) OnImageDraw2(this, Index, Left, Top, TRect{x, y, x + m, y + o}, C);

  C->GetPen()->SetStyle(psSolid);
  C->GetPen()->SetMode(pmCopy);
  C->GetBrush()->SetStyle(bsClear);
  if (FThumbnailsBorderWidth > 0) {
    C->GetPen()->SetWidth(1);
    C->GetPen()->SetColor(FThumbnailsBorderColor);
    for (int32_t i = 1; i <= FThumbnailsBorderWidth; ++i) {
      if (FCornerDivisor > 0) {
        const int32_t r = std::min(w, h) / FCornerDivisor;
        C->RoundRect(Left - i, Top - i, Left + w + i, Top + h + i, r, r);
      } else {
        C->Rectangle(Left - i, Top - i, Left + w + i, Top + h + i);
      }
    }
  }
  if (Selected && FSelectionStyle != iessACD && !OnBeforeImageDrawEx && !Framed) {
    const int32_t n = Focused() ? FSelectionWidth : FSelectionWidthUnfocused;
    C->GetPen()->SetColor(FSelectionColor);
    if (FSelectionRounded) {
      C->GetPen()->SetWidth(n);
      C->RoundRect(Left - n / 2, Top - n / 2, Left + w + n / 2 - 1, Top + h + n / 2 - 1, 4, 4);
    } else {
      C->GetPen()->SetWidth(1);
      for (int32_t i = 1; i <= n; ++i) C->Rectangle(Left - i, Top - i, Left + w + i, Top + h + i);
    }
    C->GetPen()->SetWidth(1);
  }
}
