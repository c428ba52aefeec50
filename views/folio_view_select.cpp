// TFolioView: selections, mouse and keyboard interaction, cursors and the
// marching-ants animation.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/value_helpers.h"
#include "foundations/view_geometry.h"
#include "kernels/magic_wand.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/application.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/image_control.h"
#include "platform/vcl/keys.h"
#include "views/folio_view.h"
#include "views/layers.h"

// ===================================================================== polygon record
void TIESelectionPolygon::Add(int32_t X, int32_t Y) {
  Points.push_back(TPoint{X, Y});
  UpdateBox();
}

void TIESelectionPolygon::UpdateBox() {
  bool First = true;
  for (const TPoint& P : Points) {
    if (P.X == IESelBreak) continue;
    if (First) {
      X1 = X2 = P.X;
      Y1 = Y2 = P.Y;
      First = false;
    } else {
      X1 = std::min(X1, P.X);
      Y1 = std::min(Y1, P.Y);
      X2 = std::max(X2, P.X);
      Y2 = std::max(Y2, P.Y);
    }
  }
  if (First) X1 = Y1 = X2 = Y2 = 0;
}

bool TIESelectionPolygon::IsRectangle() const {
  if (Points.size() != 4) return false;
  const TPoint* P = Points.data();
  return (P[0].Y == P[1].Y && P[1].X == P[2].X && P[2].Y == P[3].Y && P[3].X == P[0].X) ||
         (P[0].X == P[1].X && P[1].Y == P[2].Y && P[2].X == P[3].X && P[3].Y == P[0].Y);
}

// ===================================================================== options
void TFolioView::SetMouseInteract(TIEMouseInteract Value) {
  if (Value == FMouseInteract) return;
  // A polygon being drawn is finished first.
  if (FPolyDrawing && (FMouseInteract & IEMI(miSelectPolygon))) {
    if (!FPolygon.Points.empty()) FPolygon.Points.pop_back();
    FPolygon.UpdateBox();
    FMask->Clear();
    EndSelect();
    FPolyDrawing = false;
  }
  const TIEMouseInteract Added = Value & ~FMouseInteract;
  const TIEMouseInteract Moving = IEMI(miMovingScroll);
  auto Keep = [&](TIEMouseInteract K) { Value &= TIEMouseInteract(K | Moving | Added); };
  if (Added & IEMI(miScroll))
    Keep(IEMI(miZoom) | IEMI(miScroll));
  else if (Added & (IEMI(miSelect) | IEMI(miSelectCircle) | IEMI(miSelectLasso) | IEMI(miSelectZoom)))
    Keep(IEMI(miZoom) | (Added & (IEMI(miSelect) | IEMI(miSelectCircle) | IEMI(miSelectLasso) | IEMI(miSelectZoom))));
  else if (Added & (IEMI(miSelectPolygon) | IEMI(miSelectMagicWand)))
    Keep(Added & (IEMI(miSelectPolygon) | IEMI(miSelectMagicWand)));
  else if (Added & IEMI(miZoom))
    Keep(IEMI(miZoom) | IEMI(miScroll) | IEMI(miSelect) | IEMI(miSelectCircle) | IEMI(miSelectZoom) |
         IEMI(miSelectLasso));
  if (Value & IEMI(miRotateLayers))
    Value &= TIEMouseInteract(~IEMI(miResizeLayers));
  else if (Value & IEMI(miResizeLayers))
    Value &= TIEMouseInteract(~IEMI(miRotateLayers));
  FMouseInteract = Value;
  if (!(Value & IEMI(miRotateLayers))) BakeLayerRotations();
  Update();
}

void TFolioView::SetSelectionOptions(TIESelectionOptions Value) {
  FSelectionOptions = Value;
  FPolygon.Animated = Value & IESO(iesoAnimated);
  FPolygon.Sizeable = Value & IESO(iesoSizeable);
  FUpdateReason = 3;
  Update();
}

void TFolioView::SetSelectionGripStyle(TColor PenColor, TColor BrushColor, TBrushStyle BrushStyle, int32_t Size,
                                       bool ExtendedGrips, int32_t Shape) {
  FGripPenColor = PenColor;
  FGripBrushColor = BrushColor;
  FGripBrushStyle = BrushStyle;
  FGripSize = Size;
  FExtendedGrips = ExtendedGrips;
  FGripShape = Shape;
  Invalidate();
}

void TFolioView::SetSelectionAspectRatio(double Value) {
  if (Value == FSelectionAspectRatio) return;
  FSelectionAspectRatio = Value;
  if (Value != 0)
    FSelectionOptions |= IESO(iesoSizeable);
  else
    FSelectionOptions &= TIESelectionOptions(~IESO(iesoSizeable));
  FPolygon.Sizeable = FSelectionOptions & IESO(iesoSizeable);
}

// ===================================================================== cursors
void TFolioView::SetCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(this, Value);
  FBaseCursor = Value;
  FShownCursor = Value;
  TIEView::SetCursor(Value);
}

void TFolioView::SetTempCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(this, Value);
  if (GetOwner() == nullptr || FShownCursor == Value) return;
  FShownCursor = Value;
  FCursor = Value;
  ApplyCursor();
}

void TFolioView::RestoreCursor() { SetTempCursor(FBaseCursor); }

// ===================================================================== selecting
void TFolioView::Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Op) {
  if (x1 == x2 || y1 == y2) return;
  const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
  if (W < 1 || H < 1) return;
  if (FSelectionBase == iesbClientArea) {
    TIELayer* L = GetCurrentLayer();
    x1 = L->ScreenToLayerX(x1);
    y1 = L->ScreenToLayerY(y1);
    x2 = L->ScreenToLayerX(x2);
    y2 = L->ScreenToLayerY(y2);
  }
  FHasSelection = true;
  if (Op == 1 && FPolygon.Count() > 0) {
    FPolygon.AddBreak();
  } else {
    FPolygon.Clear();
  }
  if (Op == 0) FMask->Clear();
  // Aspect: a square (constrain with no fixed ratio), or the fixed ratio.
  if (FConstrain && FSelectionAspectRatio == -1) {
    const int32_t s = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    x2 = x1 + (x2 >= x1 ? s : -s);
    y2 = y1 + (y2 >= y1 ? s : -s);
  } else if (FSelectionAspectRatio > 0) {
    y2 = y1 + IERound((x2 - x1) * FSelectionAspectRatio);
    if (y2 > H || y2 < 0) {
      y2 = std::clamp(y2, 0, H);
      x2 = x1 + IERound((y2 - y1) / FSelectionAspectRatio);
    }
  }
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (!(FSelectionOptions & IESO(iesoSizeable)) && FSelectionAspectRatio == 0) {
    // Fixed-size selections are shifted inside, not clipped.
    if (x2 > W) { x1 -= x2 - W; x2 = W; }
    if (y2 > H) { y1 -= y2 - H; y2 = H; }
    if (x1 < 0) { x2 -= x1; x1 = 0; }
    if (y1 < 0) { y2 -= y1; y1 = 0; }
  }
  x1 = std::clamp(x1, 0, W - 1);
  y1 = std::clamp(y1, 0, H - 1);
  x2 = std::clamp(x2, 0, W);
  y2 = std::clamp(y2, 0, H);
  FPolygon.Add(x1, y1);
  FPolygon.Add(x2, y1);
  FPolygon.Add(x2, y2);
  FPolygon.Add(x1, y2);
  FPolygon.Visible = true;
  if (Op == 0) FMask->Clear();
  EndSelect();
  FBackBufferDirty = true;
  Invalidate();
  UpdateAnimationTimer();
}

void TFolioView::SelectEllipse(int32_t CenterX, int32_t CenterY, int32_t Width, int32_t Height, int32_t Op) {
  const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
  if (Width < 1 || Height < 1 || W < 1 || H < 1) return;
  if (Op == 1 && FPolygon.Count() > 0) {
    FPolygon.AddBreak();
  } else {
    FPolygon.Clear();
    FMask->Clear();
  }
  const double rx = Width / 2.0, ry = Height / 2.0;
  const int32_t N =
      std::max(50, int32_t(std::trunc(std::min(rx * 100 / FZoomX, ry * 100 / FZoomY) * 2 * std::numbers::pi)));
  for (int32_t k = 0; k < N; ++k) {
    const double a = 2 * std::numbers::pi * k / N;
    FPolygon.Add(std::clamp(IERound(CenterX + rx * std::cos(a)), 0, W), std::clamp(IERound(CenterY + ry * std::sin(a)), 0, H));
  }
  FPolygon.Visible = true;
  FHasSelection = true;
  EndSelect();
  FBackBufferDirty = true;
  Invalidate();
  UpdateAnimationTimer();
}

void TFolioView::AddSelectPoint(int32_t x, int32_t y) {
  if (FSelectionBase == iesbClientArea) {
    TIELayer* L = GetCurrentLayer();
    x = std::clamp(L->ScreenToLayerX(x), 0, FIEBitmap->GetWidth());
    y = std::clamp(L->ScreenToLayerY(y), 0, FIEBitmap->GetHeight());
  }
  FPolygon.Add(x, y);
  FPolygon.Visible = true;
  FHasSelection = true;
  Invalidate();
  UpdateAnimationTimer();
}

void TFolioView::EndSelect() {
  if (FMask->GetWidth() != FIEBitmap->GetWidth() || FMask->GetHeight() != FIEBitmap->GetHeight())
    FMask->AllocateBits(std::max(1, FIEBitmap->GetWidth()), std::max(1, FIEBitmap->GetHeight()),
                        std::max(1, FMask->GetBitsPerPixel()));
  const int32_t Value = FMask->GetBitsPerPixel() == 8 ? 255 : 1;
  if (FPolygon.Count() > 0) FMask->FillPolygons(Value, FPolygon.Points.data(), FPolygon.Count());
  if (FMask->IsEmpty()) {
    FHasSelection = false;
    FPolygon.Clear();
    FPolygon.Visible = false;
  } else {
    FHasSelection = true;
  }
  FSelectionChanged = true;
}

void TFolioView::Deselect() {
  FHasSelection = false;
  FPolygon.Clear();
  FPolygon.Visible = false;
  FMask->Clear();
  FDrag = dNone;
  FPolyDrawing = false;
  FSelectionChanged = true;
  FUpdateReason = 3;
  Update();
  UpdateAnimationTimer();
}

void TFolioView::InvertSelection() {
  FMask->UpdateFullFlag();
  if (FMask->GetFull()) {
    Deselect();
    return;
  }
  FPolygon.Clear();
  FMask->Invert(FMask->GetBitsPerPixel() == 8 ? 255 : 1);
  FHasSelection = !FMask->IsEmpty();
  FBackBufferDirty = true;
  Invalidate();
  UpdateAnimationTimer();
}

int32_t TFolioView::GetSelectionLeft() {
  if (FDrag == dRect || FDrag == dCircle || FDrag == dGrip || FDrag == dMoveSel || FPolyDrawing) return FPolygon.X1;
  return FMask->IsEmpty() ? 0 : FMask->GetX1();
}
int32_t TFolioView::GetSelectionTop() {
  if (FDrag == dRect || FDrag == dCircle || FDrag == dGrip || FDrag == dMoveSel || FPolyDrawing) return FPolygon.Y1;
  return FMask->IsEmpty() ? 0 : FMask->GetY1();
}
int32_t TFolioView::GetSelectionRight() {
  if (FDrag == dRect || FDrag == dCircle || FDrag == dGrip || FDrag == dMoveSel || FPolyDrawing) return FPolygon.X2 - 1;
  return FMask->IsEmpty() ? 0 : FMask->GetX2();
}
int32_t TFolioView::GetSelectionBottom() {
  if (FDrag == dRect || FDrag == dCircle || FDrag == dGrip || FDrag == dMoveSel || FPolyDrawing) return FPolygon.Y2 - 1;
  return FMask->IsEmpty() ? 0 : FMask->GetY2();
}

const TPoint* TFolioView::GetPolySelectionPoints() const { return FPolygon.Points.data(); }
int32_t TFolioView::GetPolySelectionCount() const { return FPolygon.Count(); }

void TFolioView::CopySelectionToIEBitmap(TIEBitmap* Dest, bool FillBackground) {
  if (Dest == nullptr) return;
  if (FPolyDrawing) {
    EndSelect();
    FPolyDrawing = false;
  }
  if (!FHasSelection || FMask->IsEmpty()) {
    Dest->Assign(FIEBitmap);
    return;
  }
  if (FillBackground)
    FIEBitmap->CopyMaskedFilledTo(Dest, FMask.get(), int32_t(ColorToRGB(FBackground)));
  else
    FIEBitmap->CopyMaskedTo(Dest, FMask.get());
}

void TFolioView::CopySelectionTo(TObject* Dest) {
  if (auto* V = dynamic_cast<TFolioView*>(Dest)) {
    CopySelectionToIEBitmap(V->GetIEBitmap(), true);
    V->SetBackground(FBackground);
    V->SetDpi(FDpiX, FDpiY);
    V->Update();
    V->DoImageChange();
  } else if (auto* B = dynamic_cast<TBitmap*>(Dest)) {
    TIEBitmap Tmp;
    CopySelectionToIEBitmap(&Tmp, true);
    if (Tmp.GetPixelFormat() != ie1g && Tmp.GetPixelFormat() != ie24RGB) Tmp.SetPixelFormat(ie24RGB);
    TBitmap* Out = Tmp.GetTBitmap();
    if (Out) B->Assign(Out);
  } else if (auto* I = dynamic_cast<TImage*>(Dest)) {
    // A picture control receives it in its picture's bitmap.
    CopySelectionTo(I->GetPicture()->GetBitmap());
  }
}

// ===================================================================== selection stream
bool TFolioView::SaveSelectionToStream(TStream& S) {
  StreamWriteValue<int32_t>(S, FMask->GetWidth());
  StreamWriteValue<int32_t>(S, FMask->GetHeight());
  StreamWriteValue<int32_t>(S, FPolygon.Count());
  for (const TPoint& P : FPolygon.Points) {
    StreamWriteValue<int32_t>(S, P.X);
    StreamWriteValue<int32_t>(S, P.Y);
  }
  StreamWriteValue<int32_t>(S, FPolygon.X1);
  StreamWriteValue<int32_t>(S, FPolygon.Y1);
  StreamWriteValue<int32_t>(S, FPolygon.X2);
  StreamWriteValue<int32_t>(S, FPolygon.Y2);
  StreamWriteValue<uint8_t>(S, FHasSelection ? 1 : 0);
  TIELayer* L = GetCurrentLayer();
  StreamWriteValue<int32_t>(S, L->PosX);
  StreamWriteValue<int32_t>(S, L->PosY);
  StreamWriteValue<int32_t>(S, FMask->GetBitsPerPixel());
  StreamWriteValue<int32_t>(S, FMask->GetX1());
  StreamWriteValue<int32_t>(S, FMask->GetY1());
  StreamWriteValue<int32_t>(S, FMask->GetX2());
  StreamWriteValue<int32_t>(S, FMask->GetY2());
  StreamWriteValue<uint8_t>(S, FMask->GetFull() ? 1 : 0);
  const int64_t Bytes = int64_t(FMask->GetHeight()) * FMask->GetRowLen();
  if (Bytes > 0 && FMask->GetBits()) S.WriteBuffer(FMask->GetBits(), Bytes);
  return true;
}

void TFolioView::LoadSelectionFromStream(TStream& S, int32_t Mode) {
  const int64_t Size = S.GetSize();
  LockUpdate();
  try {
    const int32_t mw = StreamReadValue<int32_t>(S), mh = StreamReadValue<int32_t>(S), n = StreamReadValue<int32_t>(S);
    if (mw < 0 || mh < 0 || n < 0 || int64_t(n) * 8 > Size - S.GetPosition()) throw EReadError("Stream read error");
    std::vector<TPoint> Pts;
    Pts.resize(size_t(n));
    for (auto& P : Pts) {
      P.X = StreamReadValue<int32_t>(S);
      P.Y = StreamReadValue<int32_t>(S);
    }
    for (int k = 0; k < 4; ++k) (void)StreamReadValue<int32_t>(S);
    const bool Has = StreamReadValue<uint8_t>(S) != 0;
    const int32_t lx = StreamReadValue<int32_t>(S), ly = StreamReadValue<int32_t>(S);
    const int32_t bpp = StreamReadValue<int32_t>(S);
    for (int k = 0; k < 4; ++k) (void)StreamReadValue<int32_t>(S);
    (void)StreamReadValue<uint8_t>(S);
    auto M = std::make_unique<TIEMask>();
    if (mw > 0 && mh > 0) {
      if ((bpp != 1 && bpp != 8) || int64_t(mh) * ((int64_t(mw) * bpp + 31) / 32 * 4) > Size - S.GetPosition() + 4 * int64_t(mh))
        throw EReadError("Stream read error");
      if (!M->AllocateBits(mw, mh, bpp)) throw EReadError("Stream read error");
      const int64_t Bytes = int64_t(mh) * M->GetRowLen();
      if (Bytes > Size - S.GetPosition()) throw EReadError("Stream read error");
      S.ReadBuffer(M->GetBits(), Bytes);
      M->UpdateBoundingBox();
    }
    FMask = std::move(M);
    FPolygon.Points = std::move(Pts);
    FPolygon.UpdateBox();
    const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
    TIELayer* L = GetCurrentLayer();
    if (Mode == 2) {
      int32_t dx = lx - L->PosX, dy = ly - L->PosY;
      if ((dx != 0 || dy != 0) && !FMask->IsEmpty()) FMask->Translate(dx, dy, true);
      for (auto& P : FPolygon.Points)
        if (P.X != IESelBreak) P = TPoint{std::clamp(P.X + dx, 0, W), std::clamp(P.Y + dy, 0, H)};
    }
    if (FMask->GetWidth() != W || FMask->GetHeight() != H) {
      if (FMask->IsEmpty()) {
        FMask->AllocateBits(std::max(1, W), std::max(1, H), std::max(1, FMask->GetBitsPerPixel()));
      } else {
        if (Mode == 1) {
          int32_t dx = std::min(0, W - 1 - FMask->GetX2()), dy = std::min(0, H - 1 - FMask->GetY2());
          if (dx != 0 || dy != 0) FMask->Translate(dx, dy, true);
        }
        FMask->Resize(std::max(1, W), std::max(1, H));
        FMask->UpdateBoundingBox();
        FMask->UpdateFullFlag();
      }
    }
    FPolygon.UpdateBox();
    if (FMask->IsEmpty() || !Has) {
      FHasSelection = false;
      FPolygon.Clear();
      FPolygon.Visible = false;
    } else {
      FHasSelection = true;
      FPolygon.Visible = true;
    }
  } catch (...) {
    UnlockUpdate();
    throw;
  }
  UnlockUpdate();
  UpdateAnimationTimer();
}

void TFolioView::SaveSelection() {
  auto M = std::make_unique<TMemoryStream>();
  SaveSelectionToStream(*M);
  FSavedSelections.push_back(std::move(M));
}

bool TFolioView::RestoreSelection(bool Drop, int32_t Mode) {
  if (FSavedSelections.empty()) return false;
  TMemoryStream* M = FSavedSelections.back().get();
  M->SetPosition(0);
  LoadSelectionFromStream(*M, Mode);
  if (Drop) FSavedSelections.pop_back();
  return true;
}

void TFolioView::ShiftSelectionPoints(int32_t dx, int32_t dy) {
  FLastPoint.X -= dx;
  FLastPoint.Y -= dy;
  FPrevPoint.X -= dx;
  FPrevPoint.Y -= dy;
  FDownRaw.X -= dx;
  FDownRaw.Y -= dy;
  FDownClamped.X -= dx;
  FDownClamped.Y -= dy;
}

bool TFolioView::AutoScrollWhileDragging() {
  TPoint P{0, 0};
  if (!GetCursorPos(P)) return false;
  P = ScreenToClient(P);
  bool Any = false;
  for (int Guard = 0; Guard < 64; ++Guard) {
    int32_t ox = 0, oy = 0;
    const int32_t l = FOffsetX, t = FOffsetY, r = FOffsetX + FVisSW, b = FOffsetY + FVisSH;
    if (P.X < l) ox = P.X - l; else if (P.X >= r) ox = P.X - r + 1;
    if (P.Y < t) oy = P.Y - t; else if (P.Y >= b) oy = P.Y - b + 1;
    if (ox == 0 && oy == 0) break;
    const int32_t vx = FViewX, vy = FViewY;
    ScrollTo(FViewX + ox, FViewY + oy);
    const int32_t dx = FViewX - vx, dy = FViewY - vy;
    if (dx == 0 && dy == 0) break;
    ShiftSelectionPoints(dx, dy);
    Any = true;
    P.X -= dx;
    P.Y -= dy;
  }
  return Any;
}

void TFolioView::PaintGrid(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (FGridLines < 2) return;
  TCanvas* C = GetCanvas();
  C->GetPen()->SetColor(TColor(0xA0A0A0));
  C->GetPen()->SetMode(pmCopy);
  C->GetPen()->SetStyle(psSolid);
  for (int32_t k = 1; k < FGridLines; ++k) {
    const int32_t x = x1 + int32_t(std::trunc(double(k) * (x2 - x1) / FGridLines));
    const int32_t y = y1 + int32_t(std::trunc(double(k) * (y2 - y1) / FGridLines));
    C->MoveTo(x, y1);
    C->LineTo(x, y2);
    C->MoveTo(x1, y);
    C->LineTo(x2, y);
  }
}

// ===================================================================== magic wand
void TFolioView::MagicWandAt(int32_t x, int32_t y, bool Add) {
  TIELayer* L = GetCurrentLayer();
  const int32_t bx = L->ScreenToLayerX(x), by = L->ScreenToLayerY(y);
  const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
  if (bx < 0 || by < 0 || bx >= W || by >= H) return;
  const bool Widen = FMagicWandTolMode != 0;
  const int32_t Value = FMask->GetBitsPerPixel() == 8 ? 255 : 1;
  if (FMask->GetWidth() != W || FMask->GetHeight() != H) FMask->AllocateBits(W, H, std::max(1, FMask->GetBitsPerPixel()));
  if (FMagicWandMode == 0) {
    std::vector<TPoint> Pts = IEMagicWandPolygon(FIEBitmap, bx, by, Widen, FMagicWandTolerance);
    if (Pts.empty()) return;
    if (Add && FPolygon.Count() > 0) {
      FPolygon.AddBreak();
    } else {
      FPolygon.Clear();
      FMask->Clear();
    }
    for (const TPoint& P : Pts) FPolygon.Points.push_back(TPoint{std::clamp(P.X, 0, W), std::clamp(P.Y, 0, H)});
    FPolygon.UpdateBox();
    FPolygon.Visible = true;
    if (!Add) FMask->Clear();
    FHasSelection = true;
    EndSelect();
  } else {
    if (!Add) {
      FPolygon.Clear();
      FMask->Clear();
    }
    if (FMagicWandMode == 1)
      IEMagicWandFill(FIEBitmap, bx, by, Widen, FMagicWandTolerance, FMask.get(), Value);
    else
      IESelectSimilarColors(FIEBitmap, bx, by, FMagicWandTolerance, FMask.get(), Value);
    FMask->UpdateBoundingBox();
    FHasSelection = !FMask->IsEmpty();
    FPolygon.Visible = FHasSelection;
  }
  FSelectionChanged = true;
  FBackBufferDirty = true;
  Invalidate();
  UpdateAnimationTimer();
}

// ===================================================================== mouse
namespace {

// Grip G (1-4 the corners from the top left clockwise, 5-8 the left, right,
// top and bottom edges) dragged to (X, Y) moves the box's edges it holds.
void MoveGripEdges(int32_t G, int32_t X, int32_t Y, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  if (G == 1 || G == 4 || G == 5) X1 = X;
  if (G == 2 || G == 3 || G == 6) X2 = X;
  if (G == 1 || G == 2 || G == 7) Y1 = Y;
  if (G == 3 || G == 4 || G == 8) Y2 = Y;
}

// The client point clamped to the current layer's drawn rectangle.
TPoint ClampTo(const TRect& R, int32_t x, int32_t y) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return TPoint{x, y};
  return TPoint{std::clamp(x, R.Left, R.Right), std::clamp(y, R.Top, R.Bottom)};
}
}  // namespace

void TFolioView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TIEView::MouseDown(Button, Shift, X, Y);
  if (CanFocus() && GetParentForm() != nullptr && GetParentForm()->GetVisible()) SetFocus();
  if (Button == mbRight && IEIsPrimaryMouseButtonDown()) return;
  if (Button != mbLeft && !(FMouseInteract & IEMI(miZoom)) &&
      !(Button == mbRight && (FSelectionOptions & IESO(iesoRightButtonSelectLayers)))) {
    if (!(Button == mbRight && FPolyDrawing && (FSelectionOptions & IESO(iesoRightButtonTerminatePolySelect)))) return;
  }
  FSavedSelectionBase = FSelectionBase;
  FSelectionBase = iesbClientArea;
  FSavedZoomFilter = FZoomFilter;
  if (FDelayZoomFilter && !(FMouseInteract & IEMI(miScroll))) FZoomFilter = rfNone;
  FMouseDown = true;
  FDownButton = Button;
  FDownShift = Shift;
  FMoved = false;
  FSelectionChanged = false;
  TIELayer* Cur = GetCurrentLayer();
  FDownRaw = TPoint{X, Y};
  FDownClamped = ClampTo(Cur->ClientRect, X, Y);
  FLastPoint = FPrevPoint = FDownClamped;
  FDownViewX = FViewX;
  FDownViewY = FViewY;
  FDownPolyCount = FPolygon.Count();
  FDownAdd = (Shift & ssShift) && FShiftAdds && FHasSelection;
  // Shift constrains shapes when it does not add to a selection (Alt is often
  // taken by the desktop).
  FConstrain = (Shift & ssAlt) || ((Shift & ssShift) && !FDownAdd);
  const int32_t bx = Cur->ScreenToLayerX(FDownClamped.X), by = Cur->ScreenToLayerY(FDownClamped.Y);
  auto MoveTest = [&]() -> bool {
    if ((Shift & ssShift) || FMask->IsEmpty() || !FHasSelection) return false;
    return (FSelectionOptions & IESO(iesoMoveable)) && FMask->IsPointInside(bx, by);
  };
  auto Before = [&]() {
    BakeLayerRotations();
    if (OnBeforeSelectionChange) OnBeforeSelectionChange(this);
  };
  if (Button == mbLeft) {
    if (FMouseInteract & (IEMI(miSelectPolygon) | IEMI(miSelectLasso))) {
      Before();
      if (!FPolyDrawing && MoveTest()) {
        FDrag = dMoveSel;
        return;
      }
      int32_t px = std::clamp(bx, 0, FIEBitmap->GetWidth()), py = std::clamp(by, 0, FIEBitmap->GetHeight());
      if (FConstrain && FPolyDrawing && FPolygon.Count() > 0 && FPolygon.Points.back().X != IESelBreak)
        IESnapLine(FPolygon.Points.back().X, FPolygon.Points.back().Y, px, py);
      if (!FPolyDrawing) {
        if ((Shift & ssShift) && FShiftAdds && FPolygon.Count() > 0) {
          FPolygon.AddBreak();
        } else {
          FPolygon.Clear();
          FMask->Clear();
          FHasSelection = false;
        }
        FDownPolyCount = FPolygon.Count();
      }
      FPolygon.Add(px, py);
      FPolygon.Visible = true;
      FPolyDrawing = true;
      FLasso = FMouseInteract & IEMI(miSelectLasso);
      FDrag = dPoly;
      FRubberEnd = TPoint{X, Y};
      if (OnSelectionChanging) OnSelectionChanging(this);
      return;
    }
    if (FMouseInteract & IEMI(miSelect)) {
      Before();
      FGrip = 0;
      if (!(Shift & ssShift) && FHasSelection && FPolygon.IsRectangle() && FPolygon.Sizeable && FPolygon.Visible) {
        // Corner grips, then the sides.
        const TPoint* P = FPolygon.Points.data();
        for (int k = 0; k < 4 && FGrip == 0; ++k) {
          const int32_t cx = BitmapToScreenX(P[k].X), cy = BitmapToScreenY(P[k].Y);
          if (std::abs(X - cx) <= FGripSize && std::abs(Y - cy) <= FGripSize) FGrip = k + 1;
        }
        if (FGrip == 0) {
          const int32_t l = BitmapToScreenX(FPolygon.X1), r = BitmapToScreenX(FPolygon.X2);
          const int32_t t = BitmapToScreenY(FPolygon.Y1), b = BitmapToScreenY(FPolygon.Y2);
          if (IEDistancePointToSegment(X, Y, l, t, l, b) < 3) FGrip = 5;
          else if (IEDistancePointToSegment(X, Y, r, t, r, b) < 3) FGrip = 6;
          else if (IEDistancePointToSegment(X, Y, l, t, r, t) < 3) FGrip = 7;
          else if (IEDistancePointToSegment(X, Y, l, b, r, b) < 3) FGrip = 8;
        }
      }
      if (FGrip != 0) {
        FDrag = dGrip;
        FGripBox = TRect{FPolygon.X1, FPolygon.Y1, FPolygon.X2, FPolygon.Y2};
        FGripAspect = FGripBox.Width() > 0 ? double(FGripBox.Height()) / FGripBox.Width() : 1;
        return;
      }
      if (MoveTest()) {
        FDrag = dMoveSel;
        return;
      }
      FDrag = dRect;
      if (FSelectionAspectRatio == 0) {
        Select(bx, by, bx + FFixedSelW, by + FFixedSelH, FDownAdd ? 1 : 0);
      }
      if (OnSelectionChanging) OnSelectionChanging(this);
      return;
    }
    if (FMouseInteract & IEMI(miSelectZoom)) {
      SaveSelection();
      FDrag = dRect;
      if (OnSelectionChanging) OnSelectionChanging(this);
      return;
    }
    if (FMouseInteract & IEMI(miSelectCircle)) {
      Before();
      if (MoveTest()) {
        FDrag = dMoveSel;
        return;
      }
      FDrag = dCircle;
      if (FSelectionAspectRatio == 0) SelectEllipse(bx, by, FFixedSelW, FFixedSelH, FDownAdd ? 1 : 0);
      if (OnSelectionChanging) OnSelectionChanging(this);
      return;
    }
    if (FMouseInteract & IEMI(miSelectMagicWand)) {
      Before();
      if (MoveTest()) FDrag = dMoveSel;
      return;
    }
  }
  const TIEMouseInteract LayerItems = IEMI(miMoveLayers) | IEMI(miResizeLayers) | IEMI(miRotateLayers);
  if ((Button == mbLeft || (Button == mbRight && (FSelectionOptions & IESO(iesoRightButtonSelectLayers)))) &&
      (FMouseInteract & LayerItems)) {
    const int32_t g = GetLayerGripAt(X, Y);
    if (g == 9) {
      FDrag = dLayerCenter;
      return;
    }
    if (g != 0 && (FMouseInteract & IEMI(miResizeLayers))) {
      BakeLayerRotations();
      FGrip = g;
      FLayerBox = TRect{Cur->PosX, Cur->PosY, Cur->PosX + Cur->GetWidth(), Cur->PosY + Cur->GetHeight()};
      FLayerAspect = Cur->GetWidth() > 0 ? double(Cur->GetHeight()) / Cur->GetWidth() : 1;
      FDrag = dLayerResize;
      DoLayerNotify(FLayersCurrent, ielBeginResizing);
      return;
    }
    if ((FMouseInteract & IEMI(miRotateLayers)) && FindLayerAt(X, Y) != FLayersCurrent) {
      FDrag = dLayerRotate;
      FLastPoint = TPoint{X, Y};
      FRotateStart = Cur->GetRotate();
      FRotateAcc = Cur->GetRotate();
      return;
    }
    const int32_t i = FindLayerAt(X, Y);
    if (i >= 0) {
      if (i != FLayersCurrent) SetCurrentLayer(i);
      DoLayerNotify(FLayersCurrent, ielSelected);
      DoLayerNotify(FLayersCurrent, ielBeginMoving);
      if (FMouseInteract & IEMI(miMoveLayers)) {
        FDrag = dLayerMove;
        FLastPoint = TPoint{X, Y};
        if (!GetCurrentLayer()->Locked) SetTempCursor(1790);
      }
      return;
    }
  }
  if (Button == mbLeft && (FMouseInteract & IEMI(miScroll)) && IsScrollable()) {
    FDrag = dScroll;
    SetTempCursor(1782);
  }
}

void TFolioView::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TIEView::MouseMove(Shift, X, Y);
  TIELayer* Cur = GetCurrentLayer();
  const TPoint P = ClampTo(Cur->ClientRect, X, Y);
  if (FMouseDown) {
    if (P.X != FDownClamped.X || P.Y != FDownClamped.Y || X != FDownRaw.X || Y != FDownRaw.Y) FMoved = true;
    switch (FDrag) {
      case dScroll:
        ScrollTo(FDownViewX - int32_t(std::trunc((X - FDownRaw.X) * FMouseScrollRate)),
                 FDownViewY - int32_t(std::trunc((Y - FDownRaw.Y) * FMouseScrollRate)));
        break;
      case dRect: {
        if (FDownAdd && FPolygon.Count() > FDownPolyCount) {
          // Drop the sub-polygon added since the press.
          FPolygon.Points.resize(size_t(FDownPolyCount));
          if (!FPolygon.Points.empty() && FPolygon.Points.back().X == IESelBreak) FPolygon.Points.pop_back();
          FPolygon.UpdateBox();
        }
        const bool Keep = FSelectionAspectRatio == 0;
        if (Keep) {
          const int32_t bx = Cur->ScreenToLayerX(P.X), by = Cur->ScreenToLayerY(P.Y);
          FSelectionBase = iesbBitmap;
          Select(bx - FFixedSelW / 2, by - FFixedSelH / 2, bx - FFixedSelW / 2 + FFixedSelW,
                 by - FFixedSelH / 2 + FFixedSelH, FDownAdd ? 1 : 0);
          FSelectionBase = iesbClientArea;
        } else {
          Select(FDownClamped.X, FDownClamped.Y, P.X, P.Y, FDownAdd ? 1 : 0);
        }
        if (OnSelectionChanging) OnSelectionChanging(this);
        break;
      }
      case dCircle: {
        const int32_t ax = Cur->ScreenToLayerX(FDownClamped.X), ay = Cur->ScreenToLayerY(FDownClamped.Y);
        const int32_t px = Cur->ScreenToLayerX(P.X), py = Cur->ScreenToLayerY(P.Y);
        int32_t rx = std::abs(ax - px), ry = std::abs(ay - py);
        if (FConstrain && FSelectionAspectRatio == -1) rx = ry = std::max(rx, ry);
        if (FSelectionAspectRatio > 0) {
          rx = std::max(rx, ry);
          ry = IERound(rx * FSelectionAspectRatio);
        }
        if (FDownAdd && FPolygon.Count() > FDownPolyCount) {
          FPolygon.Points.resize(size_t(FDownPolyCount));
          if (!FPolygon.Points.empty() && FPolygon.Points.back().X == IESelBreak) FPolygon.Points.pop_back();
        }
        if (rx > 0 && ry > 0) SelectEllipse(ax, ay, 2 * rx, 2 * ry, FDownAdd ? 1 : 0);
        if (OnSelectionChanging) OnSelectionChanging(this);
        break;
      }
      case dPoly:
        if (FLasso) {
          AutoScrollWhileDragging();
          const int32_t px = std::clamp(Cur->ScreenToLayerX(P.X), 0, FIEBitmap->GetWidth());
          const int32_t py = std::clamp(Cur->ScreenToLayerY(P.Y), 0, FIEBitmap->GetHeight());
          if (FPolygon.Points.empty() || FPolygon.Points.back().X != px || FPolygon.Points.back().Y != py) FPolygon.Add(px, py);
          Invalidate();
          if (OnSelectionChanging) OnSelectionChanging(this);
        }
        break;
      case dMoveSel: {
        if (FSelectionOptions & IESO(iesoCanScroll)) AutoScrollWhileDragging();
        int32_t dx = Cur->ScreenToLayerX(P.X) - Cur->ScreenToLayerX(FLastPoint.X);
        int32_t dy = Cur->ScreenToLayerY(P.Y) - Cur->ScreenToLayerY(FLastPoint.Y);
        if (dx == 0 && dy == 0) break;
        const bool Cut = FSelectionOptions & IESO(iesoCutBorders);
        const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
        if (!Cut) {
          dx = std::clamp(dx, -FPolygon.X1, W - FPolygon.X2);
          dy = std::clamp(dy, -FPolygon.Y1, H - FPolygon.Y2);
        }
        if (FPolygon.IsRectangle()) {
          FMask->Clear();
        } else {
          FMask->Translate(dx, dy, Cut);
        }
        for (auto& Q : FPolygon.Points)
          if (Q.X != IESelBreak) Q = TPoint{std::clamp(Q.X + dx, 0, W), std::clamp(Q.Y + dy, 0, H)};
        FPolygon.UpdateBox();
        FLastPoint = P;
        FBackBufferDirty = true;
        Invalidate();
        if (OnSelectionChanging) OnSelectionChanging(this);
        break;
      }
      case dGrip: {
        AutoScrollWhileDragging();
        int32_t x1 = FGripBox.Left, y1 = FGripBox.Top, x2 = FGripBox.Right, y2 = FGripBox.Bottom;
        const int32_t px = Cur->ScreenToLayerX(P.X), py = Cur->ScreenToLayerY(P.Y);
        const bool Aspect = FConstrain || FSelectionAspectRatio > 0;
        const double A = FSelectionAspectRatio > 0 ? FSelectionAspectRatio : FGripAspect;
        int32_t g = FGrip;
        if (Aspect && g >= 5) g = (g == 5 || g == 7) ? 1 : 3;
        MoveGripEdges(g, px, py, x1, y1, x2, y2);
        if (Aspect && g <= 4) {
          const int32_t h = IERound(std::abs(x2 - x1) * A);
          if (g == 1 || g == 2) y1 = y2 - h; else y2 = y1 + h;
        }
        FSelectionBase = iesbBitmap;
        Select(x1, y1, x2, y2, 0);
        FSelectionBase = iesbClientArea;
        if (OnSelectionChanging) OnSelectionChanging(this);
        break;
      }
      case dLayerMove: {
        // Layers follow the pointer itself, not clamped to their own box.
        if (Cur->Locked) break;
        AutoScrollWhileDragging();
        const int32_t dx = ScreenToBitmapX(X) - ScreenToBitmapX(FLastPoint.X);
        const int32_t dy = ScreenToBitmapY(Y) - ScreenToBitmapY(FLastPoint.Y);
        // Move by whole bitmap pixels; the remainder waits for more movement.
        if (dx == 0 && dy == 0) break;
        Cur->PosX += dx;
        Cur->PosY += dy;
        FLastPoint = TPoint{X, Y};
        SetInteractionHint("X=" + std::to_string(Cur->PosX) + " Y=" + std::to_string(Cur->PosY), X,
                           "X=000 Y=000", Y);
        FLayersFreeCacheIndex = FLayersCurrent;
        Update();
        DoLayerNotify(FLayersCurrent, ielMoving);
        break;
      }
      case dLayerCenter: {
        TIEBitmap* B = Cur->GetBitmap();
        if (B->GetWidth() > 0 && B->GetHeight() > 0) {
          Cur->RotateCenterX = double(Cur->ScreenToLayerX(X)) / B->GetWidth();
          Cur->RotateCenterY = double(Cur->ScreenToLayerY(Y)) / B->GetHeight();
          SetInteractionHint("X=" + std::to_string(IERound(Cur->RotateCenterX * B->GetWidth())) +
                                 " Y=" + std::to_string(IERound(Cur->RotateCenterY * B->GetHeight())),
                             X, "X=000 Y=000", Y);
          Update();
        }
        break;
      }
      case dLayerRotate: {
        if (Cur->Locked) break;
        TIEBitmap* B = Cur->GetBitmap();
        const int32_t cx = Cur->LayerToScreenX(IERound(Cur->RotateCenterX * B->GetWidth()));
        const int32_t cy = Cur->LayerToScreenY(IERound(Cur->RotateCenterY * B->GetHeight()));
        const double dx = (ScreenToBitmapX(X) - ScreenToBitmapX(FLastPoint.X)) / 4.0;
        const double dy = (ScreenToBitmapY(Y) - ScreenToBitmapY(FLastPoint.Y)) / 4.0;
        FRotateAcc += (Y < cy ? -dx : dx) + (X > cx ? -dy : dy);
        FLastPoint = TPoint{X, Y};
        const double Applied = (Shift & ssShift) ? std::trunc(FRotateAcc / 45) * 45 : FRotateAcc;
        Cur->SetRotate(Applied);
        SetInteractionHint(FloatToStrF(Cur->GetRotate(), ffFixed, 7, 1) + "\xC2\xB0", X, "0000\xC2\xB0", Y);
        Update();
        DoLayerNotify(FLayersCurrent, ielRotating);
        break;
      }
      case dLayerResize: {
        if (Cur->Locked) break;
        AutoScrollWhileDragging();
        const int32_t px = ScreenToBitmapX(X), py = ScreenToBitmapY(Y);
        int32_t x1 = FLayerBox.Left, y1 = FLayerBox.Top, x2 = FLayerBox.Right, y2 = FLayerBox.Bottom;
        int32_t g = FGrip;
        const bool Corner = g <= 4;
        const bool Aspect = FLayersResizeAspect == 2 || (FLayersResizeAspect == 3 && Corner) ||
                            (FLayersResizeAspect == 1 && ((Shift & ssAlt) || (Shift & ssShift)));
        if (Aspect && g >= 5) g = (g == 5 || g == 7) ? 1 : 3;
        MoveGripEdges(g, px, py, x1, y1, x2, y2);
        if (x2 - x1 < 1) {
          if (g == 1 || g == 4 || g == 5) x1 = x2 - 1; else x2 = x1 + 1;
        }
        if (Aspect) {
          const int32_t h = std::max(1, IERound((x2 - x1) * FLayerAspect));
          if (g == 1 || g == 2) y1 = y2 - h; else y2 = y1 + h;
        }
        if (y2 - y1 < 1) {
          if (g == 1 || g == 2 || g == 7) y1 = y2 - 1; else y2 = y1 + 1;
        }
        Cur->PosX = x1;
        Cur->PosY = y1;
        Cur->SetWidth(x2 - x1);
        Cur->SetHeight(y2 - y1);
        SetInteractionHint(std::to_string(x2 - x1) + " x " + std::to_string(y2 - y1), X, "0000 x 0000", Y);
        Update();
        DoLayerNotify(FLayersCurrent, ielResizing);
        break;
      }
      default: break;
    }
  } else {
    if (FPolyDrawing && !FLasso) {
      FRubberEnd = TPoint{X, Y};
      FRubberShown = true;
      Invalidate();
      if (OnSelectionChanging) OnSelectionChanging(this);
    }
    const TIEMouseInteract SelItems = IEMI(miSelect) | IEMI(miSelectCircle) | IEMI(miSelectPolygon) |
                                      IEMI(miSelectLasso) | IEMI(miSelectMagicWand);
    if (FMouseInteract & SelItems) {
      TCursor C = FBaseCursor;
      const int32_t bx = Cur->ScreenToLayerX(X), by = Cur->ScreenToLayerY(Y);
      if (FHasSelection && (FSelectionOptions & IESO(iesoMoveable)) && FMask->IsPointInside(bx, by))
        C = 1790;
      else if ((Shift & ssShift) && FShiftAdds)
        C = FBaseCursor == 1785 ? 1791 : FBaseCursor == 1793 ? 1794 : FBaseCursor;
      SetTempCursor(C);
    } else if (FMouseInteract & IEMI(miRotateLayers)) {
      const int32_t i = FindLayerAt(X, Y);
      if (i == FLayersCurrent) {
        SetTempCursor(FBaseCursor);
      } else {
        TIEBitmap* B = Cur->GetBitmap();
        const int32_t cx = Cur->LayerToScreenX(IERound(Cur->RotateCenterX * B->GetWidth()));
        const int32_t cy = Cur->LayerToScreenY(IERound(Cur->RotateCenterY * B->GetHeight()));
        SetTempCursor(X < cx ? (Y < cy ? 1814 : 1811) : (Y < cy ? 1812 : 1813));
      }
    } else if (FMouseInteract & (IEMI(miResizeLayers) | IEMI(miMoveLayers))) {
      const int32_t g = GetLayerGripAt(X, Y);
      TCursor C = FBaseCursor;
      if (g == 2 || g == 4) C = 1788;
      else if (g == 1 || g == 3) C = 1786;
      else if (g == 5 || g == 6) C = 1789;
      else if (g == 7 || g == 8) C = 1787;
      else if (FMouseInteract & IEMI(miMoveLayers)) {
        const int32_t i = FindLayerAt(X, Y);
        if (i >= 0 && !FLayers[size_t(i)]->Locked) C = 1790;
      }
      SetTempCursor(C);
    }
    if (FMouseInteract & IEMI(miMovingScroll)) {
      int32_t MaxX = 0, MaxY = 0;
      GetMaxViewXY(MaxX, MaxY);
      const double xx = std::clamp(X, 0, GetViewWidth()), yy = std::clamp(Y, 0, GetViewHeight());
      SmoothScrollTo(int32_t(std::trunc((xx / std::max(1, GetViewWidth()) - 0.02) * 1.05 * MaxX)),
                     int32_t(std::trunc((yy / std::max(1, GetViewHeight()) - 0.02) * 1.05 * MaxY)));
    }
  }
  if (OnMouseInSel && FHasSelection && FMask->IsPointInside(Cur->ScreenToLayerX(X), Cur->ScreenToLayerY(Y)))
    OnMouseInSel(this);
}

void TFolioView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TIEView::MouseUp(Button, Shift, X, Y);
  if (!FMouseDown) return;
  FMouseDown = false;
  SetInteractionHint("", 0, "", 0);
  const bool Click = X == FDownRaw.X && Y == FDownRaw.Y;
  const TDrag Drag = FDrag;
  if ((FMouseInteract & IEMI(miZoom)) && Click && !IsEmptyImage() && Drag == dNone) {
    double z = FZoomX;
    if (Button == mbLeft) {
      z = ZoomInStep(FZoomX);
      if (OnZoomIn) OnZoomIn(this, z);
    } else if (Button == mbRight) {
      z = ZoomOutStep(FZoomX);
      if (OnZoomOut) OnZoomOut(this, z);
    }
    if (z != FZoomX) ZoomAt(X, Y, z, false);
  }
  if (Button == mbLeft) {
    switch (Drag) {
      case dScroll: RestoreCursor(); break;
      case dRect:
        if (FMouseInteract & IEMI(miSelectZoom)) {
          ZoomSelection();
          RestoreSelection(true, 0);
        } else if (Click && FSelectionAspectRatio != 0) {
          Deselect();
        } else {
          if (!FDownAdd) FMask->Clear();
          EndSelect();
        }
        break;
      case dGrip:
        FMask->Clear();
        EndSelect();
        break;
      case dCircle:
        if (Click && FSelectionAspectRatio != 0) {
          Deselect();
        } else {
          if (!FDownAdd) FMask->Clear();
          EndSelect();
        }
        break;
      case dPoly:
        if (FLasso) {
          if (Click || FPolygon.Count() - FDownPolyCount < 3) {
            Deselect();
          } else {
            if (!FDownAdd) FMask->Clear();
            EndSelect();
          }
          FPolyDrawing = false;
          FLasso = false;
        }
        break;
      case dMoveSel:
        if (!FMoved) {
          // A click that moved nothing acts as a click of the mode.
          if (FMouseInteract & IEMI(miSelectMagicWand)) {
            SetTempCursor(crHourGlass);
            MagicWandAt(X, Y, (Shift & ssShift) && FShiftAdds);
            RestoreCursor();
          } else if (FMouseInteract & IEMI(miSelect)) {
            Deselect();
          }
        } else if (FPolygon.IsRectangle()) {
          FMask->Clear();
          EndSelect();
        }
        break;
      case dLayerMove:
        if (FMoved) DoLayerNotify(FLayersCurrent, ielMoved);
        RestoreCursor();
        Invalidate();
        break;
      case dLayerRotate:
        if (FMoved) DoLayerNotify(FLayersCurrent, ielRotated);
        break;
      case dLayerResize:
        if (FMoved) DoLayerNotify(FLayersCurrent, ielResized);
        Update();
        break;
      default:
        if ((FMouseInteract & IEMI(miSelectMagicWand)) && Drag == dNone) {
          SetTempCursor(crHourGlass);
          MagicWandAt(X, Y, (Shift & ssShift) && FShiftAdds);
          RestoreCursor();
        } else if ((FMouseInteract & IEMI(miSelect)) && Click && FHasSelection && Drag == dNone) {
          Deselect();
        }
        break;
    }
    if (Drag == dRect || Drag == dGrip || Drag == dMoveSel || Drag == dCircle) FSelectionChanged = true;
  } else if (Button == mbRight && FPolyDrawing && (FSelectionOptions & IESO(iesoRightButtonTerminatePolySelect))) {
    if (!FDownAdd) FMask->Clear();
    EndSelect();
    FPolyDrawing = false;
  }
  if (Drag != dPoly || !FPolyDrawing) FDrag = dNone;
  FZoomFilter = FSavedZoomFilter;
  FSelectionBase = FSavedSelectionBase;
  FBackBufferDirty = true;
  Update();
  UpdateAnimationTimer();
  if (FSelectionChanged && OnSelectionChange) OnSelectionChange(this);
  FSelectionChanged = false;
}

void TFolioView::ZoomSelection() {
  const int32_t w = FPolygon.X2 - FPolygon.X1, h = FPolygon.Y2 - FPolygon.Y1;
  if (w < 2 || h < 2) return;
  double z = std::min(GetHeight() / (h * FPixelAspect / 100.0), GetWidth() / (w / 100.0));
  if (z > FZoomX && OnZoomIn) OnZoomIn(this, z);
  const int32_t cx = FPolygon.X1 + w / 2, cy = FPolygon.Y1 + h / 2;
  Deselect();
  SetZoom(z);
  ScrollTo(int32_t(std::trunc(cx * FZoomX / 100.0 - GetViewWidth() / 2)),
           int32_t(std::trunc(cy * FZoomY / 100.0 - GetViewHeight() / 2)));
}

void TFolioView::KeyDown(uint16_t& Key, TShiftState Shift) {
  TIEView::KeyDown(Key, Shift);
  if (Key == VK_SHIFT && FShiftAdds) {
    if (FShownCursor == 1785) SetTempCursor(1791);
    else if (FShownCursor == 1793) SetTempCursor(1794);
  }
}

void TFolioView::KeyUp(uint16_t& Key, TShiftState Shift) {
  TIEView::KeyUp(Key, Shift);
  if (Key == VK_SHIFT) RestoreCursor();
}

// ===================================================================== double click
// (handled through the message: the second press of a double click)

// ===================================================================== animation
void TFolioView::UpdateAnimationTimer() {
  if (!HandleAllocated()) return;
  const bool Needed = FDelayCountdown > 0 || FOutlineCountdown > 0 ||
                      (FHasSelection && FPolygon.Visible && (FSelectionOptions & IESO(iesoAnimated)));
  if (Needed && !FAnimTimer) {
    StartWindowTimer(IEAnimationTimerId, FAnimInterval);
    FAnimTimer = true;
  } else if (!Needed && FAnimTimer) {
    StopWindowTimer(IEAnimationTimerId);
    FAnimTimer = false;
  }
}

void TFolioView::AnimationTick() {
  if (FDelayCountdown > 0) {
    if (--FDelayCountdown == 0) Update();
  }
  if (FOutlineCountdown > 0) --FOutlineCountdown;
  const auto T0 = std::chrono::steady_clock::now();
  DrawSelectionPolygons(true);
  const auto Ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - T0).count();
  const uint32_t Interval = std::max<uint32_t>(210, uint32_t(Ms * 100 / 20));
  if (Interval != FAnimInterval && FAnimTimer) {
    FAnimInterval = Interval;
    StartWindowTimer(IEAnimationTimerId, FAnimInterval);
  }
  UpdateAnimationTimer();
}

void TFolioView::DrawSelectionPolygons(bool FromTimer) {
  if (!HandleAllocated() || !FPolygon.Visible) return;
  TCanvas* C = GetCanvas();
  if (C == nullptr) return;
  if (FromTimer) {
    if (FDrag == dNone && FPolygon.Animated) FPolygon.Phase = (FPolygon.Phase + 1) % 10;
    ++FAnimCounter;
    // Redraw the frame under the outline, then the outline on top.
    const TRect All{0, 0, GetViewWidth(), GetViewHeight()};
    DrawBackBuffer(All);
  }
  TIELayer* L = GetCurrentLayer();
  if (FHasSelection && !FMask->IsEmpty() && !FPolyDrawing && FDrag == dNone) {
    if (FOutlineCountdown <= 0)
      FMask->DrawOutline(C, TRect{L->DrawDX, L->DrawDY, L->DrawDX + L->DrawDW, L->DrawDY + L->DrawDH},
                         TRect{L->DrawSX, L->DrawSY, L->DrawSX + L->DrawSW, L->DrawSY + L->DrawSH}, FPolygon.Color1,
                         FPolygon.Color2, FAnimCounter);
  } else if (FPolygon.Count() > 0) {
    // Dashes of 4 pixels in each colour along every edge.
    int32_t Counter = FPolygon.Phase;
    auto Edge = [&](TPoint A, TPoint B) {
      const int32_t x0 = BitmapToScreenX(A.X), y0 = BitmapToScreenY(A.Y);
      const int32_t x1 = BitmapToScreenX(B.X), y1 = BitmapToScreenY(B.Y);
      const int32_t n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
      for (int32_t k = 0; k < n; ++k) {
        const int32_t x = x0 + int32_t(int64_t(x1 - x0) * k / std::max(1, n));
        const int32_t y = y0 + int32_t(int64_t(y1 - y0) * k / std::max(1, n));
        C->SetPixel(x, y, (Counter++ % 8) < 4 ? FPolygon.Color1 : FPolygon.Color2);
      }
    };
    size_t Start = 0;
    const auto& Pts = FPolygon.Points;
    for (size_t i = 0; i <= Pts.size(); ++i) {
      if (i == Pts.size() || Pts[i].X == IESelBreak) {
        if (i > Start) {
          for (size_t k = Start + 1; k < i; ++k) Edge(Pts[k - 1], Pts[k]);
          const bool Open = FPolyDrawing && i == Pts.size();
          if (!Open && i - Start > 1) Edge(Pts[i - 1], Pts[Start]);
        }
        Start = i + 1;
      }
    }
  }
  // Grips of a sizeable rectangle and the grid inside it.
  if (FHasSelection && FPolygon.IsRectangle() && FPolygon.Sizeable && (FSelectionOptions & IESO(iesoSizeable))) {
    const int32_t l = BitmapToScreenX(FPolygon.X1), r = BitmapToScreenX(FPolygon.X2);
    const int32_t t = BitmapToScreenY(FPolygon.Y1), b = BitmapToScreenY(FPolygon.Y2);
    C->GetPen()->SetColor(FGripPenColor);
    C->GetPen()->SetMode(pmCopy);
    C->GetPen()->SetStyle(psSolid);
    C->GetBrush()->SetColor(FGripBrushColor);
    C->GetBrush()->SetStyle(FGripBrushStyle);
    auto Grip = [&](int32_t x, int32_t y) {
      const TRect R{x - FGripSize, y - FGripSize, x + FGripSize, y + FGripSize};
      if (FGripShape == 1) C->Ellipse(R); else C->Rectangle(R);
    };
    Grip(l, t);
    Grip(r, t);
    Grip(r, b);
    Grip(l, b);
    if (FExtendedGrips) {
      Grip((l + r) / 2, t);
      Grip((l + r) / 2, b);
      Grip(l, (t + b) / 2);
      Grip(r, (t + b) / 2);
    }
    C->GetBrush()->SetStyle(bsSolid);
    PaintGrid(l, t, r, b);
  }
  if (FromTimer) FlushCanvas();
}
