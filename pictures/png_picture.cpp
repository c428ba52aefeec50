#include "pictures/png_picture.h"

#include <cstring>
#include <mutex>

#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"

namespace {

const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

void IdentityTables(std::array<uint8_t, 256>& A, std::array<uint8_t, 256>& B) {
  for (int i = 0; i < 256; ++i) A[size_t(i)] = B[size_t(i)] = uint8_t(i);
}

}  // namespace

TPNGObject::TPNGObject() { IdentityTables(FGammaLut, FInverseGammaLut); }

TPNGObject::~TPNGObject() { Clear(); }

void TPNGObject::Clear() {
  IdentityTables(FGammaLut, FInverseGammaLut);
  FChunkList.Clear();
}

bool TPNGObject::HeaderPresent() const {
  return dynamic_cast<TChunkIHDR*>(FChunkList.GetItem(0)) != nullptr;
}

TChunkIHDR* TPNGObject::HeaderChunk() const {
  auto* h = dynamic_cast<TChunkIHDR*>(FChunkList.GetItem(0));
  if (!h) throw EPNGHeaderNotPresent();
  return h;
}

int32_t TPNGObject::GetWidth() const { return HeaderPresent() ? int32_t(HeaderChunk()->Width) : 0; }
int32_t TPNGObject::GetHeight() const { return HeaderPresent() ? int32_t(HeaderChunk()->Height) : 0; }
void TPNGObject::SetWidth(int32_t Value) { Resize(Value, GetHeight()); }
void TPNGObject::SetHeight(int32_t Value) { Resize(GetWidth(), Value); }

int64_t TPNGObject::RowBytesFor(int64_t Pixels, uint8_t ColorType, uint8_t BitDepth) {
  const int64_t n = Pixels * BitDepth;
  switch (ColorType) {
    case 0:
    case 3:
      return (n + 7) / 8;
    case 2:
      return n * 3 / 8;
    case 4:
      return n * 2 / 8;
    case 6:
      return n * 4 / 8;
    default:
      return 0;
  }
}

void TPNGObject::RowLayout(int64_t& RowBytes, int32_t& FilterDistance) const {
  RowBytes = 0;
  FilterDistance = 0;
  if (!HeaderPresent()) return;
  const TChunkIHDR* h = HeaderChunk();
  RowBytes = RowBytesFor(h->Width, h->ColorType, h->BitDepth);
  switch (h->ColorType) {
    case 0:
      FilterDistance = h->BitDepth == 16 ? 2 : 1;
      break;
    case 3:
      FilterDistance = 1;
      break;
    case 2:
      FilterDistance = h->BitDepth * 3 / 8;
      break;
    case 4:
      FilterDistance = h->BitDepth / 4;
      break;
    case 6:
      FilterDistance = h->BitDepth / 2;
      break;
    default:
      break;
  }
  if (FilterDistance < 1 && (h->ColorType <= 6)) FilterDistance = 1;
}

void TPNGObject::LoadFromStream(TStream* Stream) {
  Clear();
  uint8_t signature[8];
  if (Stream->Read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
    throw EPNGInvalidFileHeader();
  bool imageDataSeen = false;
  for (int32_t n = 1;; ++n) {
    uint8_t head[8];
    // A stream that ends where the next chunk should start, or inside its
    // length and type, is cut short.
    if (Stream->Read(head, 8) != 8) throw EPngUnexpectedEnd();
    const uint32_t length = PngLoad32(head);
    const std::string type(reinterpret_cast<const char*>(head + 4), 4);
    if (n == 1 && type != "IHDR") throw EPNGIHDRNotFirst();
    // One image per stream: a second header would prepare another image.
    if (n > 1 && type == "IHDR") throw EPngInvalidIHDR();
    // The payload and its CRC must be in the stream before anything is
    // allocated for them.
    const int64_t remaining = Stream->GetSize() - Stream->GetPosition();
    if (length > 0x7FFFFFFFu || int64_t(length) + 4 > remaining) throw EPngUnexpectedEnd();
    if ((type == "IDAT" && imageDataSeen) || type == "cHRM") {
      --n;
      Stream->Seek(int64_t(length) + 4, soCurrent);
      continue;
    }
    if (type == "IDAT") imageDataSeen = true;
    std::unique_ptr<TChunk> chunk = NewChunkForType(this, type);
    // Compared through a reference: typeid of a dereferenced pointer is an
    // evaluated expression (Clang warns).
    const auto& chunkRef = *chunk;
    if (typeid(chunkRef) == typeid(TChunk) && (head[4] & 32) == 0) throw EPNGUnknownCriticalChunk();
    TChunk* added = chunk.get();
    FChunkList.Add(std::move(chunk));
    if (!added->ReadChunk(Stream, type, length)) break;
    if (type == "IEND") break;
  }
  if (!imageDataSeen) throw EPNGNoImageData();
}

void TPNGObject::SaveToStream(TStream* Stream) {
  Stream->WriteBuffer(kSignature, 8);
  for (int32_t i = 0; i < FChunkList.GetCount(); ++i) FChunkList.GetItem(i)->WriteChunk(Stream);
}

void TPNGObject::CopyFrom(const TPNGObject* Source) {
  if (Source == this) return;
  FInterlacing = Source->FInterlacing;
  SetIdatLimit(Source->FIdatLimit);
  FDeflateLevel = Source->FDeflateLevel;
  FFilterSet = Source->FFilterSet;
  Clear();
  // The gamma tables travel with the image so that saving the copy writes
  // the samples the source would write.
  FGammaLut = Source->FGammaLut;
  FInverseGammaLut = Source->FInverseGammaLut;
  for (int32_t i = 0; i < Source->FChunkList.GetCount(); ++i) {
    TChunk* s = Source->FChunkList.GetItem(i);
    std::unique_ptr<TChunk> c = s->NewOfSameClass(this);
    TChunk* added = c.get();
    FChunkList.Add(std::move(c));
    added->CopyChunk(s);
  }
}

void TPNGObject::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    Changed();
    return;
  }
  if (auto* png = dynamic_cast<TPNGObject*>(Source)) {
    CopyFrom(png);
    Changed();
    return;
  }
  if (auto* bmp = dynamic_cast<TBitmap*>(Source)) {
    AssignFromBitmap(bmp, bmp->GetTransparent(), bmp->GetTransparentColor());
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

void TPNGObject::AssignTo(TPersistent* Dest) {
  if (auto* png = dynamic_cast<TPNGObject*>(Dest)) {
    png->CopyFrom(this);
    return;
  }
  if (auto* bmp = dynamic_cast<TBitmap*>(Dest); bmp && HeaderPresent()) {
    AssignToBitmap(bmp);
    return;
  }
  TGraphic::AssignTo(Dest);
}

// ------------------------------------------------------------ registration
void RegisterPNGPicture() {
  TPicture::RegisterFileFormat("PNG", "Portable Network Graphics",
                               [] { return std::unique_ptr<TGraphic>(new TPNGObject()); });
}

void UnregisterPNGPicture() { TPicture::UnregisterFileFormat("PNG"); }
