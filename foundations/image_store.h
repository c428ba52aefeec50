#pragma once
// TIEVirtualImageList: many images in one backing buffer.
//
// Every stored image occupies one contiguous block of a TIEFileBuffer (a
// delete-on-close temporary file, or a memory stream).  Blocks freed by a
// deletion or by a write-back that changed an image's layout are reused first
// fit.  Only a bounded number of blocks are mapped (copied into memory) at a
// time, in least-recently-used order, so a store of many pages costs file
// space rather than memory.  An image can also be handed out as a
// reference-counted TIEBitmap whose changes go back into its block on release.
//
// Layout of a block (every byte accounted for):
//   1. the pixel rows, each ((width x bits per pixel + 31) / 32) x 4 bytes,
//      LAST row first (the layout of a TIEBitmap held in one memory block);
//   2. for ie8p only: 256 palette entries of three bytes (blue, green, red);
//   3. with an alpha plane: one byte, non-zero when every alpha value is 255
//      (the plane is then treated as absent), followed by the alpha rows,
//      each ((width x 8 + 31) / 32) x 4 bytes, last row first.
//
// The store has no lock: its owner serialises every call.  Image records are
// opaque handles that live from AddBitmap/AddEmpty to Delete (or the store's
// destruction); a handle the store does not know is ignored.
//
// Failures are reported by a null or false answer, never by storing into
// nowhere: when the temporary file cannot be created the store keeps its
// blocks in memory instead (IsFileBacked answers false); sizes that cannot be
// held are refused.  Read and write errors of the temporary file pass through
// as the stream's exceptions.
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundations/pixel_types.h"
#include "platform/rtl/object.h"

class TIEBaseBitmap;
class TIEBitmap;
class TIEFileBuffer;
struct TIEVirtualBitmapRef;

// One stored image (an opaque handle for the store's users).
class TIEVirtualImageInfo {
 public:
  // Start of the block in the buffer and its length in bytes.
  int64_t GetOffset() const { return FOffset; }
  int64_t GetSize() const { return FSize; }
  // Whether the block is mapped now, and the mode of the current or last
  // mapping (IEFB_READ / IEFB_WRITE bits of the file buffer).
  bool IsMapped() const { return FMapped != nullptr; }
  uint8_t GetMapMode() const { return FMapMode; }
  // True while a TIEBitmap of this image is handed out.
  bool IsViewed() const { return FViewed; }
  bool GetHasAlpha() const { return FHasAlpha; }

 private:
  friend class TIEVirtualImageList;
  TIEVirtualImageInfo() = default;

  int64_t FOffset = 0;
  int64_t FSize = 0;
  void* FMapped = nullptr;  // the mapped copy of the block, null when unmapped
  bool FViewed = false;
  int32_t FSourceWidth = 0;
  int32_t FSourceHeight = 0;
  bool FHasAlpha = false;
  uint8_t FMapMode = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitsPerPixel = 0;
  TIEPixelFormat FPixelFormat = ieNoFormat;

  TIEVirtualBitmapRef* FRef = nullptr;  // the handed-out bitmap, while viewed
  std::list<std::unique_ptr<TIEVirtualImageInfo>>::iterator FSelf;
  std::list<TIEVirtualImageInfo*>::iterator FLRUPos;
};

// A reusable stretch of the buffer.
struct TIEVirtualFreeBlock {
  int64_t Offset = 0;
  int64_t Size = 0;
};

// A bitmap handed out by GetBitmap.  Info is null once its image was deleted
// while the bitmap was still held: the bitmap then lives on until its last
// release, which writes nothing back.
struct TIEVirtualBitmapRef {
  TIEVirtualImageInfo* Info = nullptr;
  std::unique_ptr<TIEBitmap> Bitmap;
  int32_t RefCount = 1;
};

class TIEVirtualImageList : public TObject {
 public:
  // Name prefixes the temporary file ("ILIST", "ICACHE"); UseFile chooses a
  // temporary file (true) or a memory stream (false) as the buffer.
  TIEVirtualImageList(const std::string& Name, bool UseFile);
  // Frees every record and every handed-out bitmap (still held or not) and
  // deletes the temporary file.
  ~TIEVirtualImageList() override;
  TIEVirtualImageList(const TIEVirtualImageList&) = delete;
  TIEVirtualImageList& operator=(const TIEVirtualImageList&) = delete;

  // Growth step of a new store and the first capacity of its buffer.
  static constexpr int64_t DefaultGrowthStep = 262144;
  // Maximum mapped of a new store.
  static constexpr int32_t DefaultMaximumMapped = 10;

  // Bytes of the block of an image (see the layout above); -1 for negative
  // sizes or a size that does not fit 64 bits.
  static int64_t BlockSize(int32_t Width, int32_t Height, int32_t BitsPerPixel,
                           TIEPixelFormat PixelFormat, bool HasAlpha);

  // ---- storing and deleting ----
  // Stores a copy of Bitmap (pixels, palette of ie8p, and the alpha plane of a
  // TIEBitmap that has one; no plane is created by asking).  Null for a null
  // bitmap or when the block cannot be had.
  TIEVirtualImageInfo* AddBitmap(TIEBaseBitmap* Bitmap);
  // A record with a zero-filled block for an image of this layout.  Null when
  // BitsPerPixel does not belong to PixelFormat, a side is negative, or the
  // block cannot be had.
  TIEVirtualImageInfo* AddEmpty(int32_t Width, int32_t Height, int32_t BitsPerPixel,
                                TIEPixelFormat PixelFormat, bool HasAlpha);
  // Returns the block to the free list and forgets the record.  A bitmap of
  // the image still held stays valid until its last ReleaseBitmap.  Deleting
  // the last image shrinks the buffer back to one growth step.
  void Delete(TIEVirtualImageInfo* Info);
  // Grows the buffer by room for Count images of this size (pixel rows only)
  // before they are added.  False, nothing changed, when that cannot be had.
  bool ReserveSpace(int32_t Width, int32_t Height, int32_t BitsPerPixel, int32_t Count);

  // ---- reading and handing out ----
  // Bitmap = the image (from the handed-out bitmap while one is out, as that
  // holds the newest pixels).  False when the block cannot be mapped (an
  // empty image: Bitmap unchanged) or Bitmap cannot take the image.
  bool CopyToBitmap(TIEVirtualImageInfo* Info, TIEBitmap* Bitmap);
  // The image as a shared TIEBitmap owned by the store: the same bitmap while
  // one is out, its reference count raised.  Null for an empty image.  Pair
  // every call with one ReleaseBitmap.
  TIEBitmap* GetBitmap(TIEVirtualImageInfo* Info);
  // Drops one reference of a bitmap from GetBitmap; with WriteBack its pixels
  // (also a changed size, format or alpha plane) are stored now, on every
  // release with the flag.  The last release frees the bitmap.  Null and
  // foreign bitmaps are ignored.
  void ReleaseBitmap(TIEBitmap* Bitmap, bool WriteBack);
  // ReleaseBitmap for the bitmap handed out for Info, if any.
  void ReleaseEntryBitmap(TIEVirtualImageInfo* Info, bool WriteBack);

  // ---- what is stored (from the handed-out bitmap while one is out) ----
  int32_t GetImageWidth(TIEVirtualImageInfo* Info);
  int32_t GetImageHeight(TIEVirtualImageInfo* Info);
  TIEPixelFormat GetPixelFormat(TIEVirtualImageInfo* Info);
  int32_t GetImageBitCount(TIEVirtualImageInfo* Info);
  // Size of the image before any reduction to thumbnail size; the owner sets
  // it, it starts as the stored size.
  int32_t GetSourceWidth(TIEVirtualImageInfo* Info) const;
  int32_t GetSourceHeight(TIEVirtualImageInfo* Info) const;
  void SetSourceWidth(TIEVirtualImageInfo* Info, int32_t Value);
  void SetSourceHeight(TIEVirtualImageInfo* Info, int32_t Value);

  // ---- raw access for drawing ----
  // The pointers stay valid only until the next call into the store that is
  // not one of these three.  Rows come bottom row first, 32-bit padded, as in
  // a block; while a bitmap is out they come from that bitmap (copied when
  // its rows do not lie that way in memory).
  // The pixel rows; null for an empty image.
  uint8_t* GetImageBits(TIEVirtualImageInfo* Info);
  // The 256 palette entries of an ie8p image; null for any other format.
  TRGB* GetImagePalette(TIEVirtualImageInfo* Info);
  // The alpha rows; null without alpha plane or when it is fully opaque.
  uint8_t* GetAlphaBits(TIEVirtualImageInfo* Info);

  // ---- cache ----
  // Blocks beyond this are unmapped, least recently used first, before one
  // more is mapped: at most maximum mapped + 1 blocks are mapped at a time
  // (at least one, the block being read).  Lowering it unmaps the least
  // recently used blocks beyond that bound at once (their write-back may
  // raise the stream's errors).
  int32_t GetMaximumMapped() const { return FMaxMapped; }
  void SetMaximumMapped(int32_t Value);
  int32_t GetMappedCount() const { return FMappedCount; }
  // A second bound, in bytes: before a block is mapped, the least recently
  // used ones are unmapped until the mapped blocks and the new one fit in it
  // (the block being read is mapped even when it alone is larger).  0, the
  // default, sets no byte bound.  Lowering it unmaps at once, as above.
  int64_t GetMaximumMappedBytes() const { return FMaxMappedBytes; }
  void SetMaximumMappedBytes(int64_t Value);
  // Bytes of the blocks mapped now.
  int64_t GetMappedBytes() const { return FMappedBytes; }
  // The mapped images, least recently used first.
  std::vector<TIEVirtualImageInfo*> GetMappedImages() const;

  // ---- state ----
  int32_t GetImageCount() const { return int32_t(FImages.size()); }
  bool Contains(const TIEVirtualImageInfo* Info) const;
  // Size the buffer is set to; first byte after the highest block taken from
  // the end; the amount by which the capacity grows.
  int64_t GetCapacity() const { return FCapacity; }
  int64_t GetEnd() const { return FEnd; }
  int64_t GetGrowthStep() const { return FGrowthStep; }
  // Reusable blocks, in the order in which they were freed.
  const std::vector<TIEVirtualFreeBlock>& GetFreeBlocks() const { return FFreeBlocks; }
  // The store was asked for a temporary file.
  bool GetUseFile() const { return FUseFile; }
  // The blocks do live in a temporary file now (false after the fallback to
  // memory, or while no buffer could be had at all).
  bool IsFileBacked() const;
  // A buffer exists (a temporary file or a memory stream).
  bool IsAllocated() const;
  const std::string& GetName() const { return FName; }

 private:
  void Init();
  void Done();
  void ResetAll();
  void RecreateBuffer();
  // Creates the buffer at the capacity: the temporary file when asked for,
  // else (or when the file cannot be made) a memory stream.
  void CreateBuffer();
  // A buffer exists afterwards, or false.
  bool EnsureBuffer();
  // Sets the capacity to NewCapacity and the buffer to it; false, with the
  // old capacity kept, when the buffer cannot grow that far.
  bool GrowCapacity(int64_t NewCapacity);

  // The LRU of mapped blocks.
  uint8_t* MapEntry(TIEVirtualImageInfo* Info, uint8_t Mode);
  void UnmapEntry(TIEVirtualImageInfo* Info);
  void UnmapOldest();
  void UnmapAll();
  // Unmaps least recently used blocks until both bounds leave room for one
  // more block of Size bytes.
  void MakeRoom(int64_t Size);

  bool AllocateBlock(TIEVirtualImageInfo* Info, int32_t Width, int32_t Height,
                     int32_t BitsPerPixel, TIEPixelFormat PixelFormat, bool HasAlpha);
  void MergeFreeBlocks();
  void FreeBlock(int64_t Offset, int64_t Size);

  TIEVirtualImageInfo* NewRecord(int32_t Width, int32_t Height, int32_t BitsPerPixel,
                                 TIEPixelFormat PixelFormat, bool HasAlpha);
  void FreeRecord(TIEVirtualImageInfo* Info);
  bool FillViewBitmap(TIEVirtualImageInfo* Info, TIEBitmap* Bitmap);
  bool WriteBack(TIEVirtualImageInfo* Info, TIEBitmap* Bitmap);
  // Writes Source into the mapped block of Info (layout of Info).
  void WriteImage(TIEVirtualImageInfo* Info, uint8_t* Block, TIEBaseBitmap* Source);
  TIEVirtualBitmapRef* FindRef(const TIEBitmap* Bitmap) const;
  void DropScratch();

  std::unique_ptr<TIEFileBuffer> FBuffer;
  bool FUseFile = true;
  bool FFileBacked = false;
  int64_t FCapacity = DefaultGrowthStep;
  std::list<std::unique_ptr<TIEVirtualImageInfo>> FImages;
  std::unordered_set<const TIEVirtualImageInfo*> FKnown;
  std::list<TIEVirtualImageInfo*> FLRU;
  std::vector<TIEVirtualFreeBlock> FFreeBlocks;
  int64_t FEnd = 0;
  int64_t FGrowthStep = DefaultGrowthStep;
  int32_t FMaxMapped = DefaultMaximumMapped;
  int32_t FMappedCount = 0;
  int64_t FMaxMappedBytes = 0;
  int64_t FMappedBytes = 0;
  std::vector<std::unique_ptr<TIEVirtualBitmapRef>> FBitmapRefs;
  int64_t FLastSize = 0;
  std::string FName;
  // Contiguous copies of a handed-out bitmap's rows for the raw accessors.
  std::vector<uint8_t> FPixelScratch;
  std::vector<uint8_t> FAlphaScratch;
};
