#include "foundations/image_store.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "foundations/system_probes.h"
#include "foundations/temp_file.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int64_t PaletteBytes = 768;

int64_t StoredRowLen(int32_t Width, int32_t BitsPerPixel) {
  return IEBitmapRowLen(Width, BitsPerPixel, 32);
}

// A whole block is copied into memory while mapped, so no block may be larger
// than the machine's memory.
int64_t MaxBlockSize() {
  int64_t Memory = IEGetPhysicalMemory(false);
  return Memory > 0 ? Memory : INT64_MAX;
}

// Bytes the file system of a temporary file can still take; -1 when unknown
// (a memory stream, or the query failed).
int64_t FreeSpaceOf(TStream* Stream) {
  auto* Handle = dynamic_cast<THandleStream*>(Stream);
  struct statvfs Info;
  if (Handle == nullptr || ::fstatvfs(Handle->GetHandle(), &Info) != 0) return -1;
  unsigned __int128 Bytes = (unsigned __int128)Info.f_bavail * Info.f_frsize;
  return Bytes > (unsigned __int128)INT64_MAX ? INT64_MAX : int64_t(Bytes);
}

// Sets a bitmap's access mode for a while (rows of a bitmap held in a
// temporary file are then only read, or only written).
class AccessScope {
 public:
  AccessScope(TIEBaseBitmap* Bitmap, TIEDataAccessSet Mode)
      : FBitmap(Bitmap), FSaved(Bitmap->GetAccess()) {
    Bitmap->SetAccess(Mode);
  }
  ~AccessScope() { FBitmap->SetAccess(FSaved); }
  AccessScope(const AccessScope&) = delete;
  AccessScope& operator=(const AccessScope&) = delete;

 private:
  TIEBaseBitmap* FBitmap;
  TIEDataAccessSet FSaved;
};

// Copies Height rows of Source into Dest, bottom row first, RowLen bytes per
// row: the shorter of the two rows is copied and the rest zeroed, so a source
// with another row alignment (or missing rows) never reads or leaves garbage.
void RowsToBlock(TIEBaseBitmap* Source, int32_t Height, uint8_t* Dest, int64_t RowLen) {
  AccessScope Access(Source, iedRead);
  const int64_t N = std::clamp<int64_t>(Source->GetRowLen(), 0, RowLen);
  for (int32_t I = 0; I < Height; ++I) {
    uint8_t* D = Dest + int64_t(I) * RowLen;
    const uint8_t* S = Source->GetScanline(Height - 1 - I);
    int64_t Copied = S != nullptr ? N : 0;
    if (Copied > 0) std::memcpy(D, S, size_t(Copied));
    if (Copied < RowLen) std::memset(D + Copied, 0, size_t(RowLen - Copied));
  }
}

// The reverse: Height rows of RowLen bytes, bottom row first, into Dest.
void BlockToRows(const uint8_t* Source, int64_t RowLen, int32_t Height, TIEBitmap* Dest) {
  AccessScope Access(Dest, iedWrite);
  const int64_t DestLen = Dest->GetRowLen();
  const int64_t N = std::clamp<int64_t>(DestLen, 0, RowLen);
  for (int32_t I = 0; I < Height; ++I) {
    uint8_t* D = Dest->GetScanline(Height - 1 - I);
    if (D == nullptr) continue;
    std::memcpy(D, Source + int64_t(I) * RowLen, size_t(N));
    if (N < DestLen) std::memset(D + N, 0, size_t(DestLen - N));
  }
}

// The rows of Bitmap as they lie in a block (bottom row first, 32-bit padded):
// the bitmap's own memory when it is laid out that way, else a copy kept in
// Scratch.  Null for an empty bitmap or when the copy cannot be had.
uint8_t* BottomUpRows(TIEBitmap* Bitmap, std::vector<uint8_t>& Scratch) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const int64_t RowLen = StoredRowLen(W, Bitmap->GetBitCount());
  if (W <= 0 || H <= 0 || RowLen <= 0) return nullptr;
  if (Bitmap->GetLocation() == ieMemory && !Bitmap->IsSegmented() && Bitmap->GetRowOrder() == 0 &&
      Bitmap->GetRowLen() == RowLen)
    return Bitmap->GetScanline(H - 1);
  // Other layouts (a temporary file, segments, a platform bitmap whose rows
  // run top down) cannot be read as one bottom-up block.
  int64_t Total;
  if (__builtin_mul_overflow(RowLen, int64_t(H), &Total) || Total > MaxBlockSize()) return nullptr;
  try {
    Scratch.assign(size_t(Total), 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  RowsToBlock(Bitmap, H, Scratch.data(), RowLen);
  return Scratch.data();
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TIEVirtualImageList::TIEVirtualImageList(const std::string& Name, bool UseFile)
    : FUseFile(UseFile), FName(Name) {
  FGrowthStep = DefaultGrowthStep;
  FMaxMapped = DefaultMaximumMapped;
  Init();
}

TIEVirtualImageList::~TIEVirtualImageList() { Done(); }

void TIEVirtualImageList::Init() {
  FBuffer = std::make_unique<TIEFileBuffer>();
  FCapacity = FGrowthStep;
  FEnd = 0;
  FMappedCount = 0;
  FMappedBytes = 0;
  FLastSize = 0;
  RecreateBuffer();
}

void TIEVirtualImageList::Done() {
  ResetAll();
  FBuffer.reset();
}

void TIEVirtualImageList::ResetAll() {
  DropScratch();
  // The blocks die with the buffer: nothing needs to be written back.
  for (auto& Record : FImages) Record->FMapped = nullptr;
  FLRU.clear();
  FMappedCount = 0;
  FMappedBytes = 0;
  FBitmapRefs.clear();
  FImages.clear();
  FKnown.clear();
  FFreeBlocks.clear();
  if (FBuffer) {
    try {
      FBuffer->Close();
    } catch (const std::exception&) {
      // A failed write-back of a block that is being thrown away; the old
      // buffer releases the rest as it goes.
      FBuffer = std::make_unique<TIEFileBuffer>();
    }
  }
  FFileBacked = false;
  FEnd = 0;
}

void TIEVirtualImageList::CreateBuffer() {
  FFileBacked = false;
  if (FUseFile && FBuffer->AllocateFile(FName, true, FCapacity)) {
    FFileBacked = true;
    return;
  }
  // No temporary file (a missing or read-only folder, a full disk): the
  // blocks live in memory instead, so that nothing is ever stored into a
  // buffer that does not exist.
  FBuffer->AllocateFile(FName, false, FCapacity);
}

void TIEVirtualImageList::RecreateBuffer() {
  if (FBuffer->IsAllocated()) {
    UnmapAll();
    FBuffer->SetSize(FCapacity);
  } else {
    // Without a buffer no record can exist (adding needs one), so there is
    // nothing to reset; bitmaps still held after their images were deleted
    // stay valid.
    CreateBuffer();
  }
}

bool TIEVirtualImageList::EnsureBuffer() {
  if (!FBuffer->IsAllocated()) RecreateBuffer();
  return FBuffer->IsAllocated();
}

bool TIEVirtualImageList::GrowCapacity(int64_t NewCapacity) {
  if (NewCapacity <= FCapacity) return true;
  // A sparse file grows at once; refusing here is cleaner than failing on the
  // first write-back of a block the disk cannot hold.
  int64_t Free = FreeSpaceOf(FBuffer->GetStream());
  if (Free >= 0 && NewCapacity - FCapacity > Free) return false;
  UnmapAll();
  const int64_t Old = FCapacity;
  FCapacity = NewCapacity;
  try {
    FBuffer->SetSize(FCapacity);
  } catch (const std::exception&) {
    FCapacity = Old;
    return false;
  }
  return true;
}

bool TIEVirtualImageList::IsAllocated() const { return FBuffer && FBuffer->IsAllocated(); }

bool TIEVirtualImageList::IsFileBacked() const { return IsAllocated() && FFileBacked; }

bool TIEVirtualImageList::Contains(const TIEVirtualImageInfo* Info) const {
  return Info != nullptr && FKnown.count(Info) != 0;
}

int64_t TIEVirtualImageList::BlockSize(int32_t Width, int32_t Height, int32_t BitsPerPixel,
                                       TIEPixelFormat PixelFormat, bool HasAlpha) {
  if (Width < 0 || Height < 0 || BitsPerPixel < 0) return -1;
  const int64_t RowLen = StoredRowLen(Width, BitsPerPixel);
  if (RowLen < 0) return -1;
  int64_t Size;
  if (__builtin_mul_overflow(RowLen, int64_t(Height), &Size)) return -1;
  if (PixelFormat == ie8p && __builtin_add_overflow(Size, PaletteBytes, &Size)) return -1;
  if (HasAlpha) {
    int64_t Alpha;
    if (__builtin_mul_overflow(StoredRowLen(Width, 8), int64_t(Height), &Alpha) ||
        __builtin_add_overflow(Size, Alpha + 1, &Size))
      return -1;
  }
  return Size;
}

// ---------------------------------------------------------------------------
// The LRU of mapped blocks

uint8_t* TIEVirtualImageList::MapEntry(TIEVirtualImageInfo* Info, uint8_t Mode) {
  if (Info->FMapMode != Mode) UnmapEntry(Info);
  if (Info->FMapped == nullptr) {
    MakeRoom(Info->FSize);
    void* Copy = nullptr;
    if (Info->FSize > 0) {
      try {
        Copy = FBuffer->Map(Mode, Info->FOffset, Info->FSize);
      } catch (const EOutOfMemory&) {
        Copy = nullptr;  // reported as "no copy", like an empty block
      }
    }
    if (Copy != nullptr) {
      Info->FMapped = Copy;
      FLRU.push_back(Info);
      Info->FLRUPos = std::prev(FLRU.end());
      ++FMappedCount;
      FMappedBytes += Info->FSize;
    }
    Info->FMapMode = Mode;
  } else {
    FLRU.splice(FLRU.end(), FLRU, Info->FLRUPos);
  }
  return static_cast<uint8_t*>(Info->FMapped);
}

void TIEVirtualImageList::UnmapEntry(TIEVirtualImageInfo* Info) {
  if (Info->FMapped == nullptr) return;
  // The record is unmapped first: the file buffer frees the copy even when
  // its write-back fails, and the store must not keep pointing at it.
  void* Copy = Info->FMapped;
  Info->FMapped = nullptr;
  FLRU.erase(Info->FLRUPos);
  --FMappedCount;
  FMappedBytes -= Info->FSize;
  FBuffer->UnMap(Copy);
}

void TIEVirtualImageList::UnmapOldest() {
  if (!FLRU.empty()) UnmapEntry(FLRU.front());
}

void TIEVirtualImageList::UnmapAll() {
  while (!FLRU.empty()) UnmapEntry(FLRU.front());
}

void TIEVirtualImageList::MakeRoom(int64_t Size) {
  while (!FLRU.empty() &&
         (FMappedCount > FMaxMapped || (FMaxMappedBytes > 0 && FMappedBytes + Size > FMaxMappedBytes)))
    UnmapOldest();
}

void TIEVirtualImageList::SetMaximumMappedBytes(int64_t Value) {
  FMaxMappedBytes = std::max<int64_t>(Value, 0);
  while (FMaxMappedBytes > 0 && FMappedBytes > FMaxMappedBytes && !FLRU.empty()) UnmapOldest();
}

void TIEVirtualImageList::SetMaximumMapped(int32_t Value) {
  FMaxMapped = std::max(Value, 0);
  while (int64_t(FMappedCount) > int64_t(FMaxMapped) + 1 && !FLRU.empty()) UnmapOldest();
}

std::vector<TIEVirtualImageInfo*> TIEVirtualImageList::GetMappedImages() const {
  return std::vector<TIEVirtualImageInfo*>(FLRU.begin(), FLRU.end());
}

// ---------------------------------------------------------------------------
// Blocks

void TIEVirtualImageList::MergeFreeBlocks() {
  // Only neighbours in the list are joined, in list order.
  size_t K = 0;
  while (K + 1 < FFreeBlocks.size()) {
    TIEVirtualFreeBlock& A = FFreeBlocks[K];
    const TIEVirtualFreeBlock& B = FFreeBlocks[K + 1];
    if (A.Offset + A.Size == B.Offset) {
      A.Size += B.Size;
      FFreeBlocks.erase(FFreeBlocks.begin() + ptrdiff_t(K + 1));
    } else {
      ++K;
    }
  }
}

void TIEVirtualImageList::FreeBlock(int64_t Offset, int64_t Size) {
  if (Size > 0) FFreeBlocks.push_back(TIEVirtualFreeBlock{Offset, Size});
}

bool TIEVirtualImageList::AllocateBlock(TIEVirtualImageInfo* Info, int32_t Width, int32_t Height,
                                        int32_t BitsPerPixel, TIEPixelFormat PixelFormat,
                                        bool HasAlpha) {
  const int64_t Size = BlockSize(Width, Height, BitsPerPixel, PixelFormat, HasAlpha);
  if (Size < 0 || Size > MaxBlockSize()) return false;
  // Make room in the LRU before anything changes, so that a failing
  // write-back leaves the store as it was.
  MakeRoom(Size);

  MergeFreeBlocks();
  size_t Fit = FFreeBlocks.size();
  for (size_t I = 0; I < FFreeBlocks.size(); ++I)
    if (FFreeBlocks[I].Size >= Size) {
      Fit = I;
      break;
    }
  int64_t Offset, Saved;
  if (Fit < FFreeBlocks.size()) {
    Offset = FFreeBlocks[Fit].Offset;
    Saved = FEnd;
    if (FFreeBlocks[Fit].Size == Size) {
      FFreeBlocks.erase(FFreeBlocks.begin() + ptrdiff_t(Fit));
    } else {
      FFreeBlocks[Fit].Offset += Size;
      FFreeBlocks[Fit].Size -= Size;
    }
  } else {
    // Taken at the end; the growth step adapts to large images so that a run
    // of them grows the buffer in few steps.
    int64_t Step = FGrowthStep;
    if (Size > FGrowthStep && __builtin_add_overflow(FLastSize, Size, &Step)) return false;
    Offset = FEnd;
    if (__builtin_add_overflow(FEnd, Size, &Saved)) return false;
    if (Saved > FCapacity) {
      int64_t NewCapacity;
      if (__builtin_add_overflow(FCapacity, Step, &NewCapacity)) return false;
      if (!GrowCapacity(std::max(NewCapacity, Saved))) return false;
    }
    FGrowthStep = Step;
    FLastSize = Size;
  }

  const TIEVirtualImageInfo Old = *Info;
  Info->FOffset = Offset;
  Info->FSize = Size;
  Info->FMapped = nullptr;
  Info->FSourceWidth = Width;
  Info->FSourceHeight = Height;
  Info->FHasAlpha = HasAlpha;
  Info->FMapMode = IEFB_WRITE;
  Info->FWidth = Width;
  Info->FHeight = Height;
  Info->FBitsPerPixel = BitsPerPixel;
  Info->FPixelFormat = PixelFormat;
  FEnd = Saved;
  if (MapEntry(Info, IEFB_WRITE) == nullptr && Size > 0) {
    // No memory for the copy: the block goes back and the record stays as it
    // was.
    FreeBlock(Offset, Size);
    *Info = Old;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Adding and deleting

TIEVirtualImageInfo* TIEVirtualImageList::NewRecord(int32_t Width, int32_t Height,
                                                    int32_t BitsPerPixel,
                                                    TIEPixelFormat PixelFormat, bool HasAlpha) {
  if (Width < 0 || Height < 0 || uint8_t(PixelFormat) >= IEPixelFormatCount ||
      BitsPerPixel != IEBitCountOf(PixelFormat))
    return nullptr;
  if (!EnsureBuffer()) return nullptr;
  std::unique_ptr<TIEVirtualImageInfo> Record(new TIEVirtualImageInfo());
  if (!AllocateBlock(Record.get(), Width, Height, BitsPerPixel, PixelFormat, HasAlpha))
    return nullptr;
  TIEVirtualImageInfo* Info = Record.get();
  FImages.push_back(std::move(Record));
  Info->FSelf = std::prev(FImages.end());
  FKnown.insert(Info);
  return Info;
}

void TIEVirtualImageList::FreeRecord(TIEVirtualImageInfo* Info) {
  FKnown.erase(Info);
  FImages.erase(Info->FSelf);
}

TIEVirtualImageInfo* TIEVirtualImageList::AddEmpty(int32_t Width, int32_t Height,
                                                   int32_t BitsPerPixel,
                                                   TIEPixelFormat PixelFormat, bool HasAlpha) {
  DropScratch();
  TIEVirtualImageInfo* Info = NewRecord(Width, Height, BitsPerPixel, PixelFormat, HasAlpha);
  if (Info != nullptr && Info->FMapped != nullptr)
    std::memset(Info->FMapped, 0, size_t(Info->FSize));
  return Info;
}

TIEVirtualImageInfo* TIEVirtualImageList::AddBitmap(TIEBaseBitmap* Bitmap) {
  DropScratch();
  if (Bitmap == nullptr) return nullptr;
  auto* Full = dynamic_cast<TIEBitmap*>(Bitmap);
  const bool HasAlpha = Full != nullptr && Full->HasAlphaChannel();
  TIEVirtualImageInfo* Info = NewRecord(Bitmap->GetWidth(), Bitmap->GetHeight(),
                                        Bitmap->GetBitCount(), Bitmap->GetPixelFormat(), HasAlpha);
  if (Info != nullptr && Info->FMapped != nullptr)
    WriteImage(Info, static_cast<uint8_t*>(Info->FMapped), Bitmap);
  return Info;
}

void TIEVirtualImageList::Delete(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return;
  DropScratch();
  FreeBlock(Info->FOffset, Info->FSize);
  if (Info->FRef != nullptr) {
    // Someone still holds the bitmap: it lives on, detached, until its last
    // release (which writes nothing back: the block may belong to another
    // image by then).
    Info->FRef->Info = nullptr;
    Info->FRef = nullptr;
    Info->FViewed = false;
  }
  try {
    UnmapEntry(Info);
  } catch (const std::exception&) {
    // The write-back of a block that has just been freed: nothing is lost.
  }
  FreeRecord(Info);
  if (FImages.empty()) {
    FCapacity = FGrowthStep;
    FEnd = 0;
    FFreeBlocks.clear();
    // A store that fell back to memory tries its temporary file again.
    if (FUseFile && !FFileBacked) FBuffer->Close();
    RecreateBuffer();
  }
}

bool TIEVirtualImageList::ReserveSpace(int32_t Width, int32_t Height, int32_t BitsPerPixel,
                                       int32_t Count) {
  DropScratch();
  if (Width < 0 || Height < 0 || BitsPerPixel < 0 || Count < 0) return false;
  const int64_t RowLen = StoredRowLen(Width, BitsPerPixel);
  int64_t Extra, NewCapacity;
  if (RowLen < 0 || __builtin_mul_overflow(RowLen, int64_t(Height), &Extra) ||
      __builtin_mul_overflow(Extra, int64_t(Count), &Extra) ||
      __builtin_add_overflow(FCapacity, Extra, &NewCapacity))
    return false;
  if (FBuffer->IsAllocated()) return GrowCapacity(NewCapacity);
  const int64_t Old = FCapacity;
  FCapacity = NewCapacity;
  CreateBuffer();
  if (FBuffer->IsAllocated()) return true;
  FCapacity = Old;
  return false;
}

// ---------------------------------------------------------------------------
// Moving pixels between blocks and bitmaps

void TIEVirtualImageList::WriteImage(TIEVirtualImageInfo* Info, uint8_t* Block,
                                     TIEBaseBitmap* Source) {
  const int32_t W = Info->FWidth, H = Info->FHeight;
  const int64_t RowLen = StoredRowLen(W, Info->FBitsPerPixel);
  uint8_t* P = Block;
  RowsToBlock(Source, H, P, RowLen);
  P += RowLen * H;
  if (Info->FPixelFormat == ie8p) {
    std::memset(P, 0, size_t(PaletteBytes));
    const TRGB* Palette = Source->GetPalette();
    const int32_t Entries = std::clamp(Source->GetPaletteLen(), 0, 256);
    if (Palette != nullptr && Entries > 0) std::memcpy(P, Palette, size_t(Entries) * sizeof(TRGB));
    P += PaletteBytes;
  }
  if (!Info->FHasAlpha) return;
  const int64_t AlphaLen = StoredRowLen(W, 8);
  auto* Full = dynamic_cast<TIEBitmap*>(Source);
  TIEBitmap* Alpha = Full != nullptr && Full->HasAlphaChannel() ? Full->GetAlphaChannel() : nullptr;
  uint8_t* Rows = P + 1;
  if (Alpha != nullptr) {
    RowsToBlock(Alpha, H, Rows, AlphaLen);
  } else {
    std::memset(Rows, 255, size_t(AlphaLen * H));
  }
  // The full flag drops the plane when read back, so it is stored only when
  // it is true: a stale flag on a plane with transparent pixels would lose
  // them.
  bool Opaque = Alpha == nullptr || Alpha->GetFull();
  for (int32_t Y = 0; Opaque && Y < H; ++Y) {
    const uint8_t* R = Rows + int64_t(Y) * AlphaLen;
    Opaque = std::all_of(R, R + W, [](uint8_t V) { return V == 255; });
  }
  *P = Opaque ? 1 : 0;
}

bool TIEVirtualImageList::FillViewBitmap(TIEVirtualImageInfo* Info, TIEBitmap* Bitmap) {
  const uint8_t* Block = MapEntry(Info, IEFB_READ);
  if (Block == nullptr) return false;
  const int32_t W = Info->FWidth, H = Info->FHeight;
  const TIEPixelFormat PF = Info->FPixelFormat;
  if (Bitmap->GetPixelFormat() != PF || Bitmap->GetWidth() != W || Bitmap->GetHeight() != H) {
    // A platform bitmap cannot take every format: then nothing fits.
    if (!Bitmap->Allocate(W, H, PF) || Bitmap->GetPixelFormat() != PF) return false;
  }
  const int64_t RowLen = StoredRowLen(W, Info->FBitsPerPixel);
  BlockToRows(Block, RowLen, H, Bitmap);
  const uint8_t* P = Block + RowLen * H;
  if (PF == ie8p) {
    const TRGB* Palette = reinterpret_cast<const TRGB*>(P);
    for (int32_t I = 0; I < 256; ++I) Bitmap->SetPaletteColor(I, Palette[I]);
    P += PaletteBytes;
  }
  if (!Info->FHasAlpha || *P != 0) {
    Bitmap->RemoveAlphaChannel(false);
    return true;
  }
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (Alpha == nullptr) return true;  // Bitmap is itself an alpha plane
  if (Alpha->GetWidth() != W || Alpha->GetHeight() != H || Alpha->GetPixelFormat() != ie8g)
    Alpha->Allocate(W, H, ie8g);
  BlockToRows(P + 1, StoredRowLen(W, 8), H, Alpha);
  Alpha->SetFull(false);
  return true;
}

bool TIEVirtualImageList::WriteBack(TIEVirtualImageInfo* Info, TIEBitmap* Bitmap) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const int32_t Bpp = Bitmap->GetBitCount();
  const TIEPixelFormat PF = Bitmap->GetPixelFormat();
  const bool HasAlpha = Bitmap->HasAlphaChannel();
  uint8_t* Block;
  if (W == Info->FWidth && H == Info->FHeight && Bpp == Info->FBitsPerPixel &&
      PF == Info->FPixelFormat && HasAlpha == Info->FHasAlpha) {
    // Every byte of the block is rewritten: nothing needs to be read first.
    Block = MapEntry(Info, IEFB_WRITE);
  } else {
    // A new layout needs a new block; the old one is reused by later images.
    const int64_t OldOffset = Info->FOffset, OldSize = Info->FSize;
    UnmapEntry(Info);
    if (!AllocateBlock(Info, W, H, Bpp, PF, HasAlpha)) return false;
    FreeBlock(OldOffset, OldSize);
    Block = static_cast<uint8_t*>(Info->FMapped);
  }
  if (Block == nullptr) return false;
  WriteImage(Info, Block, Bitmap);
  return true;
}

// ---------------------------------------------------------------------------
// Reading and handing out

bool TIEVirtualImageList::CopyToBitmap(TIEVirtualImageInfo* Info, TIEBitmap* Bitmap) {
  if (!Contains(Info) || Bitmap == nullptr) return false;
  DropScratch();
  if (MapEntry(Info, IEFB_READ) == nullptr) return false;
  if (Info->FRef != nullptr) {
    Bitmap->Assign(Info->FRef->Bitmap.get());
    return true;
  }
  return FillViewBitmap(Info, Bitmap);
}

TIEBitmap* TIEVirtualImageList::GetBitmap(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return nullptr;
  DropScratch();
  if (MapEntry(Info, IEFB_READ) == nullptr) return nullptr;
  if (Info->FRef != nullptr) {
    ++Info->FRef->RefCount;
    return Info->FRef->Bitmap.get();
  }
  auto Bitmap = std::make_unique<TIEBitmap>();
  if (!FillViewBitmap(Info, Bitmap.get())) return nullptr;
  auto Ref = std::make_unique<TIEVirtualBitmapRef>();
  Ref->Info = Info;
  Ref->Bitmap = std::move(Bitmap);
  Ref->RefCount = 1;
  Info->FRef = Ref.get();
  Info->FViewed = true;
  FBitmapRefs.push_back(std::move(Ref));
  return Info->FRef->Bitmap.get();
}

TIEVirtualBitmapRef* TIEVirtualImageList::FindRef(const TIEBitmap* Bitmap) const {
  for (const auto& Ref : FBitmapRefs)
    if (Ref->Bitmap.get() == Bitmap) return Ref.get();
  return nullptr;
}

void TIEVirtualImageList::ReleaseBitmap(TIEBitmap* Bitmap, bool WriteBackPixels) {
  if (Bitmap == nullptr) return;
  TIEVirtualBitmapRef* Ref = FindRef(Bitmap);
  if (Ref == nullptr) return;
  DropScratch();
  // A caller may have drawn on or resized the platform bitmap.
  if (Bitmap->GetLocation() == ieTBitmap) Bitmap->SyncWithTBitmap();
  --Ref->RefCount;
  // The last reference goes even when the write-back raises.
  struct LastRelease {
    TIEVirtualImageList* Store;
    TIEVirtualBitmapRef* Ref;
    ~LastRelease() {
      if (Ref->RefCount > 0) return;
      if (Ref->Info != nullptr) {
        Ref->Info->FViewed = false;
        Ref->Info->FRef = nullptr;
      }
      auto& Refs = Store->FBitmapRefs;
      Refs.erase(std::find_if(Refs.begin(), Refs.end(),
                              [this](const auto& R) { return R.get() == Ref; }));
    }
  } Finish{this, Ref};
  if (WriteBackPixels && Ref->Info != nullptr) WriteBack(Ref->Info, Bitmap);
}

void TIEVirtualImageList::ReleaseEntryBitmap(TIEVirtualImageInfo* Info, bool WriteBackPixels) {
  if (!Contains(Info) || Info->FRef == nullptr) return;
  ReleaseBitmap(Info->FRef->Bitmap.get(), WriteBackPixels);
}

// ---------------------------------------------------------------------------
// What is stored

int32_t TIEVirtualImageList::GetImageWidth(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return 0;
  return Info->FRef != nullptr ? Info->FRef->Bitmap->GetWidth() : Info->FWidth;
}

int32_t TIEVirtualImageList::GetImageHeight(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return 0;
  return Info->FRef != nullptr ? Info->FRef->Bitmap->GetHeight() : Info->FHeight;
}

TIEPixelFormat TIEVirtualImageList::GetPixelFormat(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return ieNoFormat;
  return Info->FRef != nullptr ? Info->FRef->Bitmap->GetPixelFormat() : Info->FPixelFormat;
}

int32_t TIEVirtualImageList::GetImageBitCount(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return 0;
  return Info->FRef != nullptr ? Info->FRef->Bitmap->GetBitCount() : Info->FBitsPerPixel;
}

int32_t TIEVirtualImageList::GetSourceWidth(TIEVirtualImageInfo* Info) const {
  return Contains(Info) ? Info->FSourceWidth : 0;
}

int32_t TIEVirtualImageList::GetSourceHeight(TIEVirtualImageInfo* Info) const {
  return Contains(Info) ? Info->FSourceHeight : 0;
}

void TIEVirtualImageList::SetSourceWidth(TIEVirtualImageInfo* Info, int32_t Value) {
  if (Contains(Info)) Info->FSourceWidth = Value;
}

void TIEVirtualImageList::SetSourceHeight(TIEVirtualImageInfo* Info, int32_t Value) {
  if (Contains(Info)) Info->FSourceHeight = Value;
}

// ---------------------------------------------------------------------------
// Raw access

uint8_t* TIEVirtualImageList::GetImageBits(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return nullptr;
  if (Info->FRef != nullptr) return BottomUpRows(Info->FRef->Bitmap.get(), FPixelScratch);
  return MapEntry(Info, IEFB_READ);
}

TRGB* TIEVirtualImageList::GetImagePalette(TIEVirtualImageInfo* Info) {
  if (!Contains(Info)) return nullptr;
  if (Info->FRef != nullptr) {
    TIEBitmap* Bitmap = Info->FRef->Bitmap.get();
    return Bitmap->GetPixelFormat() == ie8p ? Bitmap->GetPalette() : nullptr;
  }
  // Only an ie8p block holds a palette; elsewhere the same place is the alpha
  // flag or lies beyond the block.
  if (Info->FPixelFormat != ie8p) return nullptr;
  uint8_t* Block = MapEntry(Info, IEFB_READ);
  if (Block == nullptr) return nullptr;
  return reinterpret_cast<TRGB*>(Block + StoredRowLen(Info->FWidth, Info->FBitsPerPixel) * Info->FHeight);
}

uint8_t* TIEVirtualImageList::GetAlphaBits(TIEVirtualImageInfo* Info) {
  if (!Contains(Info) || !Info->FHasAlpha) return nullptr;
  if (Info->FRef != nullptr) {
    TIEBitmap* Bitmap = Info->FRef->Bitmap.get();
    if (!Bitmap->HasAlphaChannel()) return nullptr;
    return BottomUpRows(Bitmap->GetAlphaChannel(), FAlphaScratch);
  }
  uint8_t* Block = MapEntry(Info, IEFB_READ);
  if (Block == nullptr) return nullptr;
  uint8_t* Flag = Block + StoredRowLen(Info->FWidth, Info->FBitsPerPixel) * Info->FHeight +
                  (Info->FPixelFormat == ie8p ? PaletteBytes : 0);
  return *Flag == 0 ? Flag + 1 : nullptr;
}

void TIEVirtualImageList::DropScratch() {
  std::vector<uint8_t>().swap(FPixelScratch);
  std::vector<uint8_t>().swap(FAlphaScratch);
}
