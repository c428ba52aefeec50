// TIELayer and its undo record.
#include "views/layers.h"

#include <cmath>
#include <cstring>
#include <random>

#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "views/folio_view.h"

const char IELayersSignature[IELayersSignatureSize] = {'F', 'O', 'L', 'I', 'O', 'L', 'A', 'Y', 'E', 'R', 'S', 0, 0};

namespace {

// Longest name or user-data block a record may carry: they are short texts
// and small blocks, so a larger length means the record is damaged.
constexpr int32_t MaxRecordText = 1 << 20;

void PutBool(TStream& S, bool V) { StreamWriteValue<uint8_t>(S, V ? 1 : 0); }
bool GetBool(TStream& S) { return StreamReadValue<uint8_t>(S) != 0; }

}  // namespace

TIELayer::TIELayer(TFolioView* Owner, bool Share, TIEBitmap* Bitmap) : View(Owner) {
  if (Share) {
    FBitmap = Bitmap;
    FOwnsBitmap = false;
  } else {
    FBitmap = new TIEBitmap();
    FOwnsBitmap = true;
    if (Bitmap != nullptr) {
      FBitmap->SetLocation(Bitmap->GetLocation());
      if (!Bitmap->IsEmpty()) FBitmap->Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), Bitmap->GetPixelFormat());
    }
  }
  NewId();
  SetDefaults();
}

TIELayer::~TIELayer() {
  if (FOwnsBitmap) delete FBitmap;
}

void TIELayer::NewId() {
  std::random_device R;
  for (size_t i = 0; i < FId.size(); i += 4) {
    const uint32_t V = R();
    std::memcpy(FId.data() + i, &V, 4);
  }
}

void TIELayer::SetDefaults() {
  FDisplayWidth = FDisplayHeight = 0;
  FRotate = 0;
  Visible = true;
  VisibleBox = true;
  Transparency = 255;
  PosX = PosY = 0;
  ClientRect = TRect{0, 0, 0, 0};
  Cropped = false;
  Locked = false;
  Selectable = true;
  Magnify = false;
  MagnifyRate = 2.0;
  MagnifyShape = 0;
  MagnifySource = 1;
  BlendMode = 0;
  UserData.clear();
  UserPointer = nullptr;
  ResampleFilter = rfNone;
  UseResampleFilter = false;
  Name.clear();
  IsMask = false;
  Highlight = false;
  DrawDX = DrawDY = DrawDW = DrawDH = DrawSX = DrawSY = DrawSW = DrawSH = 0;
  RotatedCorners = {};
  RotateCenterX = RotateCenterY = 0.5;
}

void TIELayer::CopyFrom(TIELayer* S) {
  if (S == nullptr || S == this) return;
  FDisplayWidth = S->FDisplayWidth;
  FDisplayHeight = S->FDisplayHeight;
  if (FBitmap && S->FBitmap) FBitmap->Assign(S->FBitmap);
  Visible = S->Visible;
  VisibleBox = S->VisibleBox;
  Selectable = S->Selectable;
  Transparency = S->Transparency;
  PosX = S->PosX;
  PosY = S->PosY;
  ClientRect = S->ClientRect;
  Cropped = S->Cropped;
  Locked = S->Locked;
  Magnify = S->Magnify;
  MagnifyRate = S->MagnifyRate;
  MagnifyShape = S->MagnifyShape;
  MagnifySource = S->MagnifySource;
  BlendMode = S->BlendMode;
  UserPointer = S->UserPointer;
  ResampleFilter = S->ResampleFilter;
  UseResampleFilter = S->UseResampleFilter;
  Name = S->Name;
  IsMask = S->IsMask;
  Highlight = S->Highlight;
}

void TIELayer::SetBitmap(TIEBitmap* Bitmap, bool Owns) {
  if (Bitmap == FBitmap) {
    FOwnsBitmap = Owns;
    return;
  }
  if (FOwnsBitmap) delete FBitmap;
  FBitmap = Bitmap;
  FOwnsBitmap = Owns;
}

TIEBitmap* TIELayer::ReleaseBitmap() {
  TIEBitmap* B = FBitmap;
  FBitmap = nullptr;
  FOwnsBitmap = false;
  return B;
}

int32_t TIELayer::GetWidth() const {
  if (FDisplayWidth != 0 || FBitmap == nullptr) return FDisplayWidth;
  return FBitmap->GetWidth();
}

int32_t TIELayer::GetHeight() const {
  if (FDisplayHeight != 0 || FBitmap == nullptr) return FDisplayHeight;
  return FBitmap->GetHeight();
}

bool TIELayer::HasOwnSize() const {
  return FBitmap != nullptr && ((FDisplayWidth != 0 && FDisplayWidth != FBitmap->GetWidth()) ||
                                (FDisplayHeight != 0 && FDisplayHeight != FBitmap->GetHeight()));
}

void TIELayer::SetRotate(double Value) { FRotate = std::fmod(Value, 360.0) == 0 ? 0 : Value; }

int32_t TIELayer::ScreenToLayerX(int32_t x) const {
  const int32_t w = GetWidth();
  if (w == 0 || View == nullptr || FBitmap == nullptr) return 0;
  const int32_t b = View->ScreenToBitmapX(x - int32_t(std::trunc(PosX * View->GetZoomX() / 100.0)));
  return int32_t(std::trunc(double(b) / w * FBitmap->GetWidth()));
}

int32_t TIELayer::ScreenToLayerY(int32_t y) const {
  const int32_t h = GetHeight();
  if (h == 0 || View == nullptr || FBitmap == nullptr) return 0;
  const int32_t b = View->ScreenToBitmapY(y - int32_t(std::trunc(PosY * View->GetZoomY() / 100.0)));
  return int32_t(std::trunc(double(b) / h * FBitmap->GetHeight()));
}

int32_t TIELayer::LayerToScreenX(int32_t bx) const {
  if (View == nullptr || FBitmap == nullptr || FBitmap->GetWidth() == 0) return 0;
  return View->BitmapToScreenX(int32_t(std::trunc(double(bx) / FBitmap->GetWidth() * GetWidth()))) +
         int32_t(std::trunc(PosX * View->GetZoomX() / 100.0));
}

int32_t TIELayer::LayerToScreenY(int32_t by) const {
  if (View == nullptr || FBitmap == nullptr || FBitmap->GetHeight() == 0) return 0;
  return View->BitmapToScreenY(int32_t(std::trunc(double(by) / FBitmap->GetHeight() * GetHeight()))) +
         int32_t(std::trunc(PosY * View->GetZoomY() / 100.0));
}

// The undo record: length (written last), identifier, display size, flags,
// opacity, position, client rectangle, the 24-byte magnifier block, blend
// mode, a 4-byte slot where a reference once stood (always 0: no address is
// ever stored), filter fields, name, mask and highlight flags, rotation and
// its centre, then the bitmap in its raw form when included.
void TIELayer::SaveToStream(TStream& S, bool WithBitmap) {
  const int64_t Start = S.GetPosition();
  StreamWriteValue<int32_t>(S, 0);
  S.WriteBuffer(FId.data(), 16);
  StreamWriteValue<int32_t>(S, FDisplayWidth);
  StreamWriteValue<int32_t>(S, FDisplayHeight);
  PutBool(S, Visible);
  PutBool(S, VisibleBox);
  PutBool(S, Selectable);
  StreamWriteValue<int32_t>(S, Transparency);
  StreamWriteValue<int32_t>(S, PosX);
  StreamWriteValue<int32_t>(S, PosY);
  StreamWriteValue<int32_t>(S, ClientRect.Left);
  StreamWriteValue<int32_t>(S, ClientRect.Top);
  StreamWriteValue<int32_t>(S, ClientRect.Right);
  StreamWriteValue<int32_t>(S, ClientRect.Bottom);
  PutBool(S, Cropped);
  PutBool(S, Locked);
  uint8_t Mag[24] = {};
  Mag[0] = Magnify ? 1 : 0;
  std::memcpy(Mag + 8, &MagnifyRate, 8);
  Mag[16] = MagnifyShape;
  Mag[17] = MagnifySource;
  S.WriteBuffer(Mag, 24);
  StreamWriteValue<uint8_t>(S, BlendMode);
  StreamWriteValue<int32_t>(S, 0);
  StreamWriteValue<uint8_t>(S, uint8_t(ResampleFilter));
  PutBool(S, UseResampleFilter);
  StreamWriteValue<int32_t>(S, int32_t(Name.size()));
  if (!Name.empty()) S.WriteBuffer(Name.data(), int64_t(Name.size()));
  PutBool(S, IsMask);
  PutBool(S, Highlight);
  StreamWriteValue<double>(S, FRotate);
  StreamWriteValue<double>(S, RotateCenterX);
  StreamWriteValue<double>(S, RotateCenterY);
  const bool Include = WithBitmap && FBitmap != nullptr;
  PutBool(S, Include);
  if (Include) FBitmap->SaveRawToStream(nullptr, &S);
  const int64_t End = S.GetPosition();
  const int64_t Len = End - Start;
  if (Len > INT32_MAX) throw EWriteError("Stream write error");
  S.SetPosition(Start);
  StreamWriteValue<int32_t>(S, int32_t(Len));
  S.SetPosition(End);
}

void TIELayer::LoadFromStream(TStream& S) {
  const int64_t Start = S.GetPosition();
  const int32_t Len = StreamReadValue<int32_t>(S);
  if (Len < 4 || Len > S.GetSize() - Start) throw EReadError("Stream read error");
  std::array<uint8_t, 16> Id{};
  S.ReadBuffer(Id.data(), 16);
  const int32_t dw = StreamReadValue<int32_t>(S), dh = StreamReadValue<int32_t>(S);
  const bool vis = GetBool(S), box = GetBool(S), sel = GetBool(S);
  const int32_t tr = StreamReadValue<int32_t>(S), px = StreamReadValue<int32_t>(S), py = StreamReadValue<int32_t>(S);
  TRect cr;
  cr.Left = StreamReadValue<int32_t>(S);
  cr.Top = StreamReadValue<int32_t>(S);
  cr.Right = StreamReadValue<int32_t>(S);
  cr.Bottom = StreamReadValue<int32_t>(S);
  const bool crop = GetBool(S), lock = GetBool(S);
  uint8_t Mag[24];
  S.ReadBuffer(Mag, 24);
  const uint8_t blend = StreamReadValue<uint8_t>(S);
  (void)StreamReadValue<int32_t>(S);
  const uint8_t filt = StreamReadValue<uint8_t>(S);
  const bool own = GetBool(S);
  const int32_t nl = StreamReadValue<int32_t>(S);
  if (nl < 0 || nl > MaxRecordText || nl > S.GetSize() - S.GetPosition()) throw EReadError("Stream read error");
  std::string nm(size_t(nl), '\0');
  if (nl > 0) S.ReadBuffer(nm.data(), nl);
  const bool mask = GetBool(S), hi = GetBool(S);
  const double rot = StreamReadValue<double>(S), rcx = StreamReadValue<double>(S), rcy = StreamReadValue<double>(S);
  const bool inc = GetBool(S);
  if (dw < 0 || dh < 0 || filt > rfProjectWB) throw EReadError("Stream read error");
  FId = Id;
  FDisplayWidth = dw;
  FDisplayHeight = dh;
  Visible = vis;
  VisibleBox = box;
  Selectable = sel;
  Transparency = std::clamp(tr, 0, 255);
  PosX = px;
  PosY = py;
  ClientRect = cr;
  Cropped = crop;
  Locked = lock;
  Magnify = Mag[0] != 0;
  std::memcpy(&MagnifyRate, Mag + 8, 8);
  if (!std::isfinite(MagnifyRate)) MagnifyRate = 2.0;
  MagnifyShape = Mag[16];
  MagnifySource = Mag[17];
  BlendMode = blend;
  ResampleFilter = TResampleFilter(filt);
  UseResampleFilter = own;
  Name = nm;
  IsMask = mask;
  Highlight = hi;
  SetRotate(std::isfinite(rot) ? rot : 0);
  RotateCenterX = std::isfinite(rcx) ? rcx : 0.5;
  RotateCenterY = std::isfinite(rcy) ? rcy : 0.5;
  if (inc && FBitmap != nullptr) {
    if (!FBitmap->LoadRawFromStream(nullptr, &S)) throw EReadError("Stream read error");
  }
  S.SetPosition(Start + Len);
}

bool IEIsLayersStream(TStream& Stream) {
  const int64_t Pos = Stream.GetPosition();
  uint8_t H[IELayersHeaderSize];
  bool Ok = false;
  try {
    if (Stream.Read(H, IELayersHeaderSize) == IELayersHeaderSize &&
        std::memcmp(H, IELayersSignature, IELayersSignatureSize) == 0) {
      int32_t Version = 0;
      std::memcpy(&Version, H + 13, 4);
      Ok = Version >= 1 && Version <= IELayersVersion;
    }
  } catch (const Exception&) {
    Ok = false;
  }
  Stream.SetPosition(Pos);
  return Ok;
}
