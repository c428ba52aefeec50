// TFolioView: layer operations and the layer stream.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/io_params.h"
#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/value_helpers.h"
#include "foundations/zlib_streams.h"
#include "io/folio_io.h"
#include "kernels/resample_engine.h"
#include "kernels/rotate_kernels.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "views/folio_view.h"
#include "views/layers.h"

namespace {

// zlib cannot expand data by more than about 1032 to 1: a longer inflated
// image means the stream is damaged.
constexpr int64_t MaxInflateRatio = 1032;
// Longest name or user-data block in a layer record.
constexpr int32_t MaxLayerText = 1 << 24;

void FillWith(TIEBitmap* B, TColor Color) {
  if (B == nullptr || B->IsEmpty()) return;
  const TColor C = ColorToRGB(Color);
  if (B->GetPixelFormat() == ie1g) {
    const int32_t R = C & 0xFF, G = (C >> 8) & 0xFF, Bl = (C >> 16) & 0xFF;
    B->Fill((R * 21 + G * 71 + Bl * 8) / 100 > 127 ? 1 : 0);
  } else {
    B->Fill(double(C));
  }
}

// One record as read, before it replaces anything.
struct TLayerRead {
  std::unique_ptr<TIELayer> Layer;
  int64_t ImagePos = 0;
};

}  // namespace

// ===================================================================== access
TIELayer* TFolioView::GetLayer(int32_t Index) const {
  return Index >= 0 && Index < int32_t(FLayers.size()) ? FLayers[size_t(Index)].get() : nullptr;
}

TIEBitmap* TFolioView::GetLayerBitmap(int32_t Index) {
  TIELayer* L = GetLayer(Index);
  return L ? L->GetBitmap() : nullptr;
}

int32_t TFolioView::FindLayerById(const uint8_t* Id16) {
  for (size_t i = 0; i < FLayers.size(); ++i)
    if (std::memcmp(FLayers[i]->GetId().data(), Id16, 16) == 0) return int32_t(i);
  return -1;
}

void TFolioView::SaveLayerRecord(int32_t Index, TStream& Stream, bool WithBitmap) {
  if (TIELayer* L = GetLayer(Index)) L->SaveToStream(Stream, WithBitmap);
}

void TFolioView::LoadLayerRecord(int32_t Index, TStream& Stream) {
  if (TIELayer* L = GetLayer(Index)) {
    L->LoadFromStream(Stream);
    Update();
  }
}

// ===================================================================== current layer
void TFolioView::SetCurrentLayer(int32_t Index) {
  if (Index < 0 || Index >= int32_t(FLayers.size()) || Index == FLayersCurrent) return;
  FLayers[size_t(FLayersCurrent)]->SetBitmap(FIEBitmap, FLayers[size_t(FLayersCurrent)]->GetOwnsBitmap());
  const bool HadSelection = FHasSelection;
  if (HadSelection) SaveSelection();
  while (FLayersRestrict && Index != 0 && !FLayers[size_t(Index)]->Selectable) --Index;
  FLayersCurrent = Index;
  FIEBitmap = FLayers[size_t(Index)]->GetBitmap();
  FBitmap = FLegacyBitmap && FIEBitmap->GetLocation() == ieTBitmap ? FIEBitmap->GetTBitmap() : nullptr;
  if (HadSelection) RestoreSelection(true, 2);
  CallBitmapChangeEvents();
  Update();
}

int32_t TFolioView::AddLayer() {
  auto L = std::make_unique<TIELayer>(this, false, FIEBitmap);
  FillWith(L->GetBitmap(), FBackground);
  FLayers.push_back(std::move(L));
  SetCurrentLayer(int32_t(FLayers.size()) - 1);
  return int32_t(FLayers.size()) - 1;
}

int32_t TFolioView::AddLayer(TIEBitmap* Bitmap, bool Share) {
  std::unique_ptr<TIELayer> L;
  if (Share) {
    L = std::make_unique<TIELayer>(this, true, Bitmap);
  } else {
    L = std::make_unique<TIELayer>(this, false, nullptr);
    if (Bitmap) L->GetBitmap()->Assign(Bitmap);
  }
  FLayers.push_back(std::move(L));
  const int32_t Index = int32_t(FLayers.size()) - 1;
  SetCurrentLayer(Index);
  return Index;
}

void TFolioView::RemoveLayer(int32_t Index) {
  if (FLayers.size() < 2 || Index < 0 || Index >= int32_t(FLayers.size())) return;
  // Keep the current layer's bitmap stored before the list changes.
  FLayers[size_t(FLayersCurrent)]->SetBitmap(FIEBitmap, FLayers[size_t(FLayersCurrent)]->GetOwnsBitmap());
  int32_t Current = FLayersCurrent;
  auto Erase = [&](int32_t i) {
    if (FLayers.size() < 2 || i == 0) return;
    FLayers.erase(FLayers.begin() + i);
    if (i < Current)
      --Current;
    else if (i == Current)
      Current = std::min(i, int32_t(FLayers.size()) - 1);
  };
  if (Index + 1 < int32_t(FLayers.size()) && FLayers[size_t(Index + 1)]->IsMask) Erase(Index + 1);
  Erase(Index);
  if (Index == 0) return;
  Current = std::clamp(Current, 0, int32_t(FLayers.size()) - 1);
  FLayersCurrent = Current;
  FIEBitmap = FLayers[size_t(Current)]->GetBitmap();
  FBitmap = FLegacyBitmap && FIEBitmap->GetLocation() == ieTBitmap ? FIEBitmap->GetTBitmap() : nullptr;
  CallBitmapChangeEvents();
  Update();
}

void TFolioView::ClearLayers() {
  FLayers[size_t(FLayersCurrent)]->SetBitmap(FIEBitmap, FLayers[size_t(FLayersCurrent)]->GetOwnsBitmap());
  FLayers.resize(1);
  FLayersCurrent = 0;
  TIELayer* L = FLayers[0].get();
  L->SetDefaults();
  L->VisibleBox = false;
  L->Locked = true;
  FIEBitmap = L->GetBitmap();
  FBitmap = FLegacyBitmap && FIEBitmap->GetLocation() == ieTBitmap ? FIEBitmap->GetTBitmap() : nullptr;
  FillWith(FIEBitmap, FBackground);
  CallBitmapChangeEvents();
  Update();
}

void TFolioView::SyncLayerBitmaps() {
  if (FLegacyBitmap && FIEBitmap->GetLocation() == ieTBitmap) {
    FIEBitmap->SyncWithTBitmap();
    FBitmap = FIEBitmap->GetTBitmap();
  }
  TIELayer* Cur = FLayers[size_t(FLayersCurrent)].get();
  if (Cur->GetBitmap() != FIEBitmap) Cur->SetBitmap(FIEBitmap, Cur->GetOwnsBitmap());
  TIEBitmap* B0 = FLayers[0]->GetBitmap();
  FBitmapWidth = B0 ? B0->GetWidth() : 0;
  FBitmapHeight = B0 ? B0->GetHeight() : 0;
  if (FLayersSync && FLayers.size() > 1) {
    for (auto& L : FLayers) {
      FBitmapWidth = std::max(FBitmapWidth, L->GetBitmap()->GetWidth());
      FBitmapHeight = std::max(FBitmapHeight, L->GetBitmap()->GetHeight());
    }
    const TColor C = ColorToRGB(FBackground);
    for (auto& L : FLayers) {
      TIEBitmap* B = L->GetBitmap();
      if (B->GetWidth() != FBitmapWidth || B->GetHeight() != FBitmapHeight)
        B->Resize(FBitmapWidth, FBitmapHeight, double(C), 0, 0, 0);
    }
  }
}

void TFolioView::SetLayersSync(bool Value) {
  if (Value == FLayersSync) return;
  FLayersSync = Value;
  if (Value) SyncLayerBitmaps();
}

void TFolioView::SetExternalBitmap(TIEBitmap* Bitmap) {
  TIELayer* L = GetCurrentLayer();
  if (L == nullptr) return;
  if (Bitmap == nullptr) {
    // The view gets a new empty image of its own, stored into the layer at
    // once so nothing keeps pointing at the external one.
    auto* Own = new TIEBitmap();
    L->SetBitmap(Own, true);
    FIEBitmap = Own;
    FBitmap = nullptr;
  } else {
    L->SetBitmap(Bitmap, false);
    FIEBitmap = Bitmap;
    FBitmap = Bitmap->GetLocation() == ieTBitmap ? Bitmap->GetTBitmap() : nullptr;
  }
  CallBitmapChangeEvents();
  Update();
}

void TFolioView::DoLayerNotify(int32_t layer, TIELayerEvent event) {
  if (!OnLayerNotify) return;
  const TIESelectionBase Save = FSelectionBase;
  FSelectionBase = FSavedSelectionBase;
  OnLayerNotify(this, layer, event);
  FSelectionBase = Save;
}

// ===================================================================== flattening
void TFolioView::RenderLayersToBitmap(TIEBitmap* Dest) {
  SyncLayerBitmaps();
  TIELayer* L0 = FLayers[0].get();
  int32_t Left = L0->PosX, Top = L0->PosY, Right = L0->PosX + L0->GetWidth(), Bottom = L0->PosY + L0->GetHeight();
  for (auto& L : FLayers) {
    if (L->Cropped) continue;
    Left = std::min(Left, L->PosX);
    Top = std::min(Top, L->PosY);
    Right = std::max(Right, L->PosX + L->GetWidth());
    Bottom = std::max(Bottom, L->PosY + L->GetHeight());
  }
  const int32_t OffX = std::max(0, -Left), OffY = std::max(0, -Top);
  const int32_t W = Right + OffX, H = Bottom + OffY;
  if (W <= 0 || H <= 0) return;
  Dest->SetLocation(ieMemory);
  if (!Dest->Allocate(W, H, ie24RGB)) return;
  FillWith(Dest, FBackground);
  const double SZX = FZoomX, SZY = FZoomY;
  const int32_t SVX = FViewX, SVY = FViewY, SOX = FOffsetX, SOY = FOffsetY;
  FZoomX = FZoomY = 100;
  SetZoomFactors();
  FViewX = FViewY = 0;
  // Drawn with the union's offset; the tables cover the whole union.
  FExtentX = W;
  FExtentY = H;
  FOffsetX = OffX;
  FOffsetY = OffY;
  FDrawnW = L0->GetWidth();
  FDrawnH = L0->GetHeight();
  FS2BX.clear();
  FB2SX.clear();
  FS2BY.clear();
  FB2SY.clear();
  {
    // Compose without the view geometry recomputing the offsets.
    const bool SaveCenter = FCenter;
    const int32_t SaveLock = FUpdateLock;
    FUpdateLock = 1;
    FVisOX = FVisOY = 0;
    FVisOW = FVisSW = FBitmapWidth;
    FVisOH = FVisSH = FBitmapHeight;
    FCenter = false;
    // The view path needs the visible area fixed at the whole image.
    std::vector<int32_t> X(size_t(W) + 2), Y(size_t(H) + 2);
    for (size_t i = 0; i < X.size(); ++i) X[i] = int32_t(i);
    for (size_t i = 0; i < Y.size(); ++i) Y[i] = int32_t(i);
    FS2BX = X;
    FB2SX = X;
    FS2BY = Y;
    FB2SY = Y;
    FTabZoomX = FTabZoomY = 100;
    FTabSW = FBitmapWidth;
    FTabSH = FBitmapHeight;
    FTabImgW = FBitmapWidth;
    FTabImgH = FBitmapHeight;
    // PaintToBitmap recomputes the visible area; keep the offsets by
    // composing through the same steps with the tables above.
    const int32_t KeepOffX = FOffsetX, KeepOffY = FOffsetY;
    for (auto& L : FLayers) L->ClientRect = TRect{0, 0, 0, 0};
    FOffsetX = KeepOffX;
    FOffsetY = KeepOffY;
    FRenderingLayers = true;
    PaintToBitmap(Dest, false, false, nullptr);
    FRenderingLayers = false;
    FCenter = SaveCenter;
    FUpdateLock = SaveLock;
  }
  FZoomX = SZX;
  FZoomY = SZY;
  SetZoomFactors();
  FViewX = SVX;
  FViewY = SVY;
  FOffsetX = SOX;
  FOffsetY = SOY;
  FTabZoomX = FTabZoomY = -1;
  ComputeExtents();
  ComputeVisibleArea();
  PrepareZoomTables();
  FBackBufferDirty = true;
}

void TFolioView::FlattenLayers() {
  auto Flat = std::make_unique<TIEBitmap>();
  RenderLayersToBitmap(Flat.get());
  if (Flat->IsEmpty()) return;
  FLayers[size_t(FLayersCurrent)]->SetBitmap(FIEBitmap, FLayers[size_t(FLayersCurrent)]->GetOwnsBitmap());
  FLayers.resize(1);
  FLayersCurrent = 0;
  TIELayer* L = FLayers[0].get();
  L->PosX = L->PosY = 0;
  L->SetWidth(0);
  L->SetHeight(0);
  L->SetRotate(0);
  FIEBitmap = L->GetBitmap();
  FIEBitmap->Assign(Flat.get());
  FBitmap = FLegacyBitmap && FIEBitmap->GetLocation() == ieTBitmap ? FIEBitmap->GetTBitmap() : nullptr;
  CallBitmapChangeEvents();
  Update();
}

// ===================================================================== hit tests
int32_t TFolioView::FindLayerAt(int32_t x, int32_t y, bool SelectableOnly) {
  for (int32_t i = int32_t(FLayers.size()) - 1; i >= 0; --i) {
    TIELayer* L = FLayers[size_t(i)].get();
    if (!L->Visible) continue;
    if (SelectableOnly && FLayersRestrict && !L->Selectable) continue;
    bool Inside = false;
    if (L->GetRotate() != 0) {
      Inside = IEPointInPolygon(x, y, L->RotatedCorners.data(), 4);
    } else {
      const TRect& R = L->ClientRect;
      Inside = x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom;
    }
    if (!Inside) continue;
    TIEBitmap* B = L->GetBitmap();
    if (L->GetRotate() == 0 && B->HasAlphaChannel() && !(FSelectionOptions & IESO(iesoSelectTranspLayers))) {
      const int32_t lx = L->ScreenToLayerX(x), ly = L->ScreenToLayerY(y);
      if (B->GetAlpha(lx, ly) == 0) continue;
    }
    return i;
  }
  return -1;
}

int32_t TFolioView::GetLayerGripAt(int32_t x, int32_t y) {
  TIELayer* L = GetCurrentLayer();
  if (L == nullptr || !L->VisibleBox) return 0;
  if (FMouseInteract & IEMI(miRotateLayers)) {
    const TRect R = LayerGripRect(L, 8);
    if (x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom) return 9;
  }
  if (!(FMouseInteract & IEMI(miResizeLayers)) || L->Locked) return 0;
  for (int32_t g = 0; g < 8; ++g) {
    const TRect R = LayerGripRect(L, g);
    if (x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom) return g + 1;
  }
  return 0;
}

void TFolioView::BakeLayerRotations(int32_t Index) {
  bool Changed = false;
  for (int32_t i = 0; i < int32_t(FLayers.size()); ++i) {
    if (Index >= 0 && i != Index) continue;
    TIELayer* L = FLayers[size_t(i)].get();
    if (L->GetRotate() == 0) continue;
    TIEBitmap* B = L->GetBitmap();
    if (L->HasOwnSize()) {
      TIEBitmap Sized;
      Sized.SetLocation(ieMemory);
      Sized.Allocate(L->GetWidth(), L->GetHeight(), B->GetPixelFormat() == ie1g ? ie24RGB : B->GetPixelFormat());
      IEResampleBitmap(B, &Sized, L->UseResampleFilter ? L->ResampleFilter : FZoomFilter);
      B->Assign(&Sized);
    }
    L->SetWidth(0);
    L->SetHeight(0);
    TPoint C[4] = {{0, 0}, {B->GetWidth(), 0}, {B->GetWidth(), B->GetHeight()}, {0, B->GetHeight()}};
    IERotatePoints(C, 4, IERound(L->RotateCenterX * B->GetWidth()), IERound(L->RotateCenterY * B->GetHeight()),
                   -L->GetRotate());
    int32_t mx = C[0].X, my = C[0].Y;
    for (const TPoint& P : C) {
      mx = std::min(mx, P.X);
      my = std::min(my, P.Y);
    }
    L->PosX += mx;
    L->PosY += my;
    B->GetAlphaChannel();
    IERotateGeneric(B, double(ColorToRGB(FBackground)), L->GetRotate());
    L->SetRotate(0);
    Changed = true;
  }
  if (Changed) Update();
}

// ===================================================================== the layer stream
bool TFolioView::SaveLayersToFile(const std::string& FileName, int32_t Format) {
  TFileStream S(FileName, fmCreate);
  return SaveLayersToStream(S, Format);
}

bool TFolioView::LoadLayersFromFile(const std::string& FileName) {
  try {
    TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadLayersFromStream(S);
  } catch (const Exception&) {
    return false;
  }
}

bool TFolioView::SaveLayersToStream(TStream& S, int32_t Format) {
  if (Format == 1) Format = ioPNG;
  // A layer image cannot itself be a layer stream.
  if (Format == ioLYR || Format == 0 || Format < -2) return false;
  SyncLayerBitmaps();
  S.WriteBuffer(IELayersSignature, IELayersSignatureSize);
  StreamWriteValue<int32_t>(S, IELayersVersion);
  StreamWriteValue<int32_t>(S, Format);
  StreamWriteValue<int32_t>(S, int32_t(FLayers.size()));
  std::vector<int64_t> Slots;
  for (auto& LP : FLayers) {
    TIELayer* L = LP.get();
    StreamWriteValue<uint8_t>(S, L->Visible);
    StreamWriteValue<uint8_t>(S, L->VisibleBox);
    StreamWriteValue<int32_t>(S, L->Transparency);
    StreamWriteValue<int32_t>(S, L->PosX);
    StreamWriteValue<int32_t>(S, L->PosY);
    StreamWriteValue<uint8_t>(S, L->Cropped);
    StreamWriteValue<uint8_t>(S, L->Locked);
    StreamWriteValue<uint8_t>(S, L->Magnify);
    StreamWriteValue<double>(S, L->MagnifyRate);
    StreamWriteValue<uint8_t>(S, L->MagnifyShape);
    StreamWriteValue<uint8_t>(S, L->MagnifySource);
    StreamWriteValue<uint8_t>(S, L->BlendMode);
    StreamWriteValue<int32_t>(S, L->HasOwnSize() ? L->GetWidth() : 0);
    StreamWriteValue<int32_t>(S, L->HasOwnSize() ? L->GetHeight() : 0);
    StreamWriteValue<uint8_t>(S, uint8_t(L->ResampleFilter));
    StreamWriteValue<uint8_t>(S, L->UseResampleFilter);
    StreamWriteValue<int32_t>(S, int32_t(L->Name.size()));
    if (!L->Name.empty()) S.WriteBuffer(L->Name.data(), int64_t(L->Name.size()));
    StreamWriteValue<int32_t>(S, int32_t(L->UserData.size()));
    if (!L->UserData.empty()) S.WriteBuffer(L->UserData.data(), int64_t(L->UserData.size()));
    StreamWriteValue<uint8_t>(S, L->IsMask);
    StreamWriteValue<uint8_t>(S, L->Selectable);
    StreamWriteValue<uint8_t>(S, L->Highlight);
    Slots.push_back(S.GetPosition());
    StreamWriteValue<int64_t>(S, 0);
  }
  for (size_t i = 0; i < FLayers.size(); ++i) {
    TIEBitmap* B = FLayers[i]->GetBitmap();
    const int64_t Pos = S.GetPosition();
    if (Format < 0) {
      TMemoryStream M;
      if (Format == -1) {
        TZCompressionStream Z(&M, zcDefault);
        B->SaveRawToStream(nullptr, &Z);
        Z.Finish();
      } else {
        B->SaveRawToStream(nullptr, &M);
      }
      if (M.GetSize() > INT32_MAX) throw EWriteError("Stream write error");
      StreamWriteValue<int32_t>(S, int32_t(M.GetSize()));
      S.WriteBuffer(M.GetMemory(), M.GetSize());
    } else {
      TFolioIO IO(nullptr);
      IO.AttachBitmap(B);
      TIOParamsVals* P = IO.GetParams();
      if (B->GetPixelFormat() == ie1g) {
        P->BitsPerSample = 1;
        P->SamplesPerPixel = 1;
      } else if (B->GetPixelFormat() == ie8g) {
        P->BitsPerSample = 8;
        P->SamplesPerPixel = 1;
        P->TiffPhotometric = ietpBlackIsZero;
      } else {
        P->BitsPerSample = 8;
        P->SamplesPerPixel = 3;
        P->TiffPhotometric = ietpRGB;
      }
      IO.SaveToStream(&S, Format);
      if (IO.GetAborting()) return false;
    }
    const int64_t End = S.GetSize();
    S.SetPosition(Slots[i]);
    // Absolute position, low half then high half.
    StreamWriteValue<int32_t>(S, int32_t(uint32_t(uint64_t(Pos) & 0xFFFFFFFFu)));
    StreamWriteValue<int32_t>(S, int32_t(uint32_t(uint64_t(Pos) >> 32)));
    S.SetPosition(End);
  }
  return true;
}

bool TFolioView::LoadLayersFromStream(TStream& S) {
  // A layer image read through the I/O component could be a layer stream
  // again: such nesting goes no deeper than this.
  if (FLayerStreamDepth >= 2) return false;
  const int64_t Size = S.GetSize();
  std::vector<TLayerRead> Read;
  int32_t Format = 0;
  ++FLayerStreamDepth;
  try {
    uint8_t H[IELayersHeaderSize];
    if (S.Read(H, IELayersHeaderSize) != IELayersHeaderSize ||
        std::memcmp(H, IELayersSignature, IELayersSignatureSize) != 0) {
      --FLayerStreamDepth;
      return false;
    }
    int32_t Version = 0, Count = 0;
    std::memcpy(&Version, H + 13, 4);
    std::memcpy(&Format, H + 17, 4);
    std::memcpy(&Count, H + 21, 4);
    // The smallest record of this version bounds the count by what is left.
    int64_t MinRecord = 43;
    if (Version > 2) MinRecord += 12;
    if (Version > 3) MinRecord += 1;
    if (Version > 5) MinRecord += 1;
    const int64_t Left = Size - S.GetPosition();
    if (Version < 1 || Version > IELayersVersion || Count < 1 || Count > Left / MinRecord || Format == ioLYR ||
        Format == 0 || Format < -2) {
      --FLayerStreamDepth;
      return false;
    }
    for (int32_t i = 0; i < Count; ++i) {
      TLayerRead R;
      R.Layer = std::make_unique<TIELayer>(this, false, nullptr);
      TIELayer* L = R.Layer.get();
      L->Visible = StreamReadValue<uint8_t>(S) != 0;
      L->VisibleBox = StreamReadValue<uint8_t>(S) != 0;
      L->Transparency = std::clamp(StreamReadValue<int32_t>(S), 0, 255);
      L->PosX = StreamReadValue<int32_t>(S);
      L->PosY = StreamReadValue<int32_t>(S);
      L->Cropped = StreamReadValue<uint8_t>(S) != 0;
      L->Locked = StreamReadValue<uint8_t>(S) != 0;
      L->Magnify = StreamReadValue<uint8_t>(S) != 0;
      L->MagnifyRate = StreamReadValue<double>(S);
      if (!std::isfinite(L->MagnifyRate)) throw EReadError("Stream read error");
      L->MagnifyShape = StreamReadValue<uint8_t>(S);
      if (Version > 2) L->MagnifySource = StreamReadValue<uint8_t>(S);
      L->BlendMode = StreamReadValue<uint8_t>(S);
      const int32_t dw = StreamReadValue<int32_t>(S), dh = StreamReadValue<int32_t>(S);
      if (dw < 0 || dh < 0) throw EReadError("Stream read error");
      L->SetWidth(dw);
      L->SetHeight(dh);
      if (Version > 2) {
        const uint8_t F = StreamReadValue<uint8_t>(S);
        if (F > rfProjectWB) throw EReadError("Stream read error");
        L->ResampleFilter = TResampleFilter(F);
        L->UseResampleFilter = StreamReadValue<uint8_t>(S) != 0;
        const int32_t nl = StreamReadValue<int32_t>(S);
        if (nl < 0 || nl > MaxLayerText || nl > Size - S.GetPosition()) throw EReadError("Stream read error");
        L->Name.assign(size_t(nl), '\0');
        if (nl > 0) S.ReadBuffer(L->Name.data(), nl);
        const int32_t ul = StreamReadValue<int32_t>(S);
        if (ul < 0 || ul > MaxLayerText || ul > Size - S.GetPosition()) throw EReadError("Stream read error");
        L->UserData.assign(size_t(ul), 0);
        if (ul > 0) S.ReadBuffer(L->UserData.data(), ul);
        L->IsMask = StreamReadValue<uint8_t>(S) != 0;
      }
      if (Version > 3) L->Selectable = StreamReadValue<uint8_t>(S) != 0;
      if (Version > 5) L->Highlight = StreamReadValue<uint8_t>(S) != 0;
      const uint32_t Lo = uint32_t(StreamReadValue<int32_t>(S)), Hi = uint32_t(StreamReadValue<int32_t>(S));
      R.ImagePos = int64_t((uint64_t(Hi) << 32) | Lo);
      if (R.ImagePos < IELayersHeaderSize || R.ImagePos >= Size) throw EReadError("Stream read error");
      Read.push_back(std::move(R));
    }
    for (auto& R : Read) {
      TIEBitmap* B = R.Layer->GetBitmap();
      S.SetPosition(R.ImagePos);
      if (Format < 0) {
        const int32_t Len = StreamReadValue<int32_t>(S);
        if (Len < 1 || Len > Size - S.GetPosition()) throw EReadError("Stream read error");
        TMemoryStream M;
        M.SetSize(Len);
        S.ReadBuffer(M.GetMemory(), Len);
        M.SetPosition(0);
        bool Ok = false;
        if (Format == -1) {
          TMemoryStream Plain;
          TZDecompressionStream Z(&M);
          uint8_t Buf[65536];
          const int64_t Cap = int64_t(Len) * MaxInflateRatio + 4096;
          for (;;) {
            const int64_t n = Z.Read(Buf, sizeof(Buf));
            if (n <= 0) break;
            if (Plain.GetSize() + n > Cap) throw EReadError("Stream read error");
            Plain.WriteBuffer(Buf, n);
          }
          Plain.SetPosition(0);
          Ok = B->LoadRawFromStream(nullptr, &Plain);
        } else {
          Ok = B->LoadRawFromStream(nullptr, &M);
        }
        if (!Ok || B->IsEmpty()) throw EReadError("Stream read error");
      } else {
        TFolioIO IO(nullptr);
        IO.AttachBitmap(B);
        IO.SetNativePixelFormat(R.Layer->IsMask);
        IO.LoadFromStreamFormat(&S, Format);
        if (IO.GetAborting() || B->IsEmpty()) throw EReadError("Stream read error");
      }
    }
  } catch (const Exception&) {
    --FLayerStreamDepth;
    return false;
  }
  --FLayerStreamDepth;
  // Everything read: the new layers replace the old ones.
  FLayers[size_t(FLayersCurrent)]->SetBitmap(FIEBitmap, FLayers[size_t(FLayersCurrent)]->GetOwnsBitmap());
  // Layer 0 keeps its bitmap object (components attached to the view hold it).
  TIEBitmap* B0 = FLayers[0]->GetBitmap();
  B0->Assign(Read[0].Layer->GetBitmap());
  Read[0].Layer->SetBitmap(B0, FLayers[0]->GetOwnsBitmap());
  FLayers[0]->ReleaseBitmap();
  FLayers.clear();
  for (auto& R : Read) {
    R.Layer->ClientRect = TRect{0, 0, 0, 0};
    FLayers.push_back(std::move(R.Layer));
  }
  FLayersCurrent = int32_t(FLayers.size()) - 1;
  FIEBitmap = FLayers[size_t(FLayersCurrent)]->GetBitmap();
  FBitmap = FLegacyBitmap && FIEBitmap->GetLocation() == ieTBitmap ? FIEBitmap->GetTBitmap() : nullptr;
  if (FIO) {
    TIOParamsVals* P = FIO->GetParams();
    P->Width = P->StoredWidth = B0->GetWidth();
    P->Height = P->StoredHeight = B0->GetHeight();
  }
  CallBitmapChangeEvents();
  Update();
  return true;
}
