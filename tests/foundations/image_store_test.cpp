// The image store: pixels that come back exactly as stored (through the
// temporary file and through memory), first-fit block reuse at exact offsets,
// the bounded LRU of mapped blocks, shared bitmaps written back on release,
// and clean refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "foundations/settings.h"
#include "foundations/temp_file.h"
#include "platform/gdi/bitmap.h"
#include "support/test_support.h"

namespace {

// Bytes of a row that carry pixels (rows are compared over these).
int64_t UsedRowBytes(TIEBitmap* B) { return IEBitmapRowLen(B->GetWidth(), B->GetBitCount(), 8); }

std::unique_ptr<TIEBitmap> MakeImage(int32_t W, int32_t H, TIEPixelFormat PF, uint8_t Seed,
                                     bool Alpha = false) {
  auto B = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(B->Allocate(W, H, PF));
  const int64_t Len = UsedRowBytes(B.get());
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* Row = B->GetScanline(Y);
    for (int64_t X = 0; X < Len; ++X) Row[X] = uint8_t(X * 7 + Y * 13 + Seed);
    // ie32f rows must hold valid numbers in 0..1; any bytes do for the store,
    // but keep them sane for readers.
    if (PF == ie32f)
      for (int32_t X = 0; X < W; ++X) reinterpret_cast<float*>(Row)[X] = float((X + Y + Seed) % 97) / 96.0f;
  }
  if (PF == ie8p)
    for (int32_t I = 0; I < 256; ++I)
      B->SetPaletteColor(I, TRGB{uint8_t(I), uint8_t(255 - I), uint8_t(I * 3 + Seed)});
  if (Alpha) {
    TIEBitmap* A = B->GetAlphaChannel();
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X) A->SetPixel8(X, Y, uint8_t(X * 5 + Y + Seed));
  }
  return B;
}

// Same size, format, pixels, palette and alpha plane.
void ExpectSameImage(TIEBitmap* Want, TIEBitmap* Got) {
  ASSERT_EQ(Got->GetWidth(), Want->GetWidth());
  ASSERT_EQ(Got->GetHeight(), Want->GetHeight());
  ASSERT_EQ(Got->GetPixelFormat(), Want->GetPixelFormat());
  const int64_t Len = UsedRowBytes(Want);
  for (int32_t Y = 0; Y < Want->GetHeight(); ++Y) {
    std::vector<uint8_t> W(Want->GetScanline(Y), Want->GetScanline(Y) + Len);
    std::vector<uint8_t> G(Got->GetScanline(Y), Got->GetScanline(Y) + Len);
    ASSERT_EQ(W, G) << "row " << Y;
  }
  if (Want->GetPixelFormat() == ie8p) {
    for (int32_t I = 0; I < 256; ++I) ASSERT_TRUE(Got->GetPaletteColor(I) == Want->GetPaletteColor(I));
  }
  ASSERT_EQ(Got->HasAlphaChannel(), Want->HasAlphaChannel());
  if (Want->HasAlphaChannel()) ExpectSameImage(Want->GetAlphaChannel(), Got->GetAlphaChannel());
}

// Points the library's temporary folder elsewhere for one test.
class TempFolderScope {
 public:
  explicit TempFolderScope(const std::string& Folder) : FSaved(IETempFolder) { IETempFolder = Folder; }
  ~TempFolderScope() { IETempFolder = FSaved; }

 private:
  std::string FSaved;
};

std::vector<int64_t> Offsets(const std::vector<TIEVirtualFreeBlock>& Blocks) {
  std::vector<int64_t> R;
  for (const auto& B : Blocks) R.push_back(B.Offset);
  return R;
}

// An ie8g image of W x H bytes (rows of 100 pixels need no padding).
TIEVirtualImageInfo* AddGray(TIEVirtualImageList& L, int32_t H, uint8_t Seed = 0) {
  auto B = MakeImage(100, H, ie8g, Seed);
  return L.AddBitmap(B.get());
}

// ---------------------------------------------------------------------------

TEST(ImageStore, BlockSizesFollowTheLayout) {
  struct Case {
    int32_t W, H;
    TIEPixelFormat PF;
    bool Alpha;
    int64_t Size;
  } Cases[] = {
      {10, 10, ie8p, true, 12 * 10 + 768 + 12 * 10 + 1},  // 1009
      {10, 10, ie8p, false, 120 + 768},
      {33, 2, ie1g, false, 8 * 2},
      {33, 2, ie1g, true, 8 * 2 + 36 * 2 + 1},
      {5, 3, ie24RGB, false, 16 * 3},
      {5, 3, ieRGB48, false, 32 * 3},
      {0, 0, ieNoFormat, false, 0},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(TIEVirtualImageList::BlockSize(C.W, C.H, IEBitCountOf(C.PF), C.PF, C.Alpha), C.Size)
        << C.W << "x" << C.H << " format " << int(C.PF);
  EXPECT_EQ(TIEVirtualImageList::BlockSize(-1, 5, 8, ie8g, false), -1);
  EXPECT_EQ(TIEVirtualImageList::BlockSize(INT32_MAX, INT32_MAX, 48, ieRGB48, true), -1);
}

TEST(ImageStore, EveryFormatComesBackExactlyThroughFileAndMemory) {
  struct Case {
    int32_t W, H;
    TIEPixelFormat PF;
    bool Alpha;
  } Cases[] = {
      {37, 11, ie1g, false},   {13, 7, ie8p, true},   {13, 7, ie8p, false}, {9, 4, ie8g, true},
      {5, 6, ie16g, false},    {31, 9, ie24RGB, true}, {7, 3, ie32f, false}, {6, 5, ieCMYK, false},
      {11, 4, ieRGB48, false}, {3, 8, ieCIELab, false}, {4, 4, ie32RGB, true}, {1, 1, ie1g, true},
  };
  for (bool UseFile : {true, false}) {
    SCOPED_TRACE(UseFile ? "file" : "memory");
    TIEVirtualImageList L("ILIST", UseFile);
    EXPECT_EQ(L.IsFileBacked(), UseFile);
    L.SetMaximumMapped(0);  // every block goes through the buffer
    std::vector<std::unique_ptr<TIEBitmap>> Sources;
    std::vector<TIEVirtualImageInfo*> Infos;
    uint8_t Seed = 1;
    for (const Case& C : Cases) {
      Sources.push_back(MakeImage(C.W, C.H, C.PF, Seed++, C.Alpha));
      Infos.push_back(L.AddBitmap(Sources.back().get()));
      ASSERT_NE(Infos.back(), nullptr);
      EXPECT_EQ(Infos.back()->GetSize(),
                TIEVirtualImageList::BlockSize(C.W, C.H, IEBitCountOf(C.PF), C.PF, C.Alpha));
    }
    for (size_t I = 0; I < Infos.size(); ++I) {
      SCOPED_TRACE(I);
      TIEBitmap Copy;
      ASSERT_TRUE(L.CopyToBitmap(Infos[I], &Copy));
      ExpectSameImage(Sources[I].get(), &Copy);
      TIEBitmap* Shared = L.GetBitmap(Infos[I]);
      ASSERT_NE(Shared, nullptr);
      ExpectSameImage(Sources[I].get(), Shared);
      EXPECT_EQ(L.GetImageWidth(Infos[I]), Cases[I].W);
      EXPECT_EQ(L.GetPixelFormat(Infos[I]), Cases[I].PF);
      L.ReleaseBitmap(Shared, false);
      EXPECT_LE(L.GetMappedCount(), 1);
    }
  }
}

TEST(ImageStore, RawAccessShowsTheStoredLayout) {
  TIEVirtualImageList L("ICACHE", true);
  auto Src = MakeImage(10, 10, ie8p, 3, true);
  TIEVirtualImageInfo* Info = L.AddBitmap(Src.get());
  ASSERT_NE(Info, nullptr);
  EXPECT_EQ(Info->GetSize(), 1009);
  const uint8_t* Bits = L.GetImageBits(Info);
  ASSERT_NE(Bits, nullptr);
  for (int32_t I = 0; I < 10; ++I)  // bottom row first, 12-byte rows
    EXPECT_EQ(std::memcmp(Bits + I * 12, Src->GetScanline(9 - I), 10), 0) << I;
  const TRGB* Pal = L.GetImagePalette(Info);
  ASSERT_EQ(reinterpret_cast<const uint8_t*>(Pal), Bits + 120);
  EXPECT_TRUE(Pal[200] == Src->GetPaletteColor(200));
  const uint8_t* Alpha = L.GetAlphaBits(Info);
  ASSERT_EQ(Alpha, Bits + 120 + 768 + 1);
  EXPECT_EQ(Alpha[12 * 9 + 4], Src->GetAlphaChannel()->GetPixel8(4, 0));

  // A palette is only found where there is one.
  auto Rgb = MakeImage(4, 4, ie24RGB, 1);
  EXPECT_EQ(L.GetImagePalette(L.AddBitmap(Rgb.get())), nullptr);

  // A fully opaque plane is stored as such and comes back as no plane.
  auto Opaque = MakeImage(6, 2, ie24RGB, 2);
  Opaque->GetAlphaChannel();  // all 255, full
  TIEVirtualImageInfo* OpaqueInfo = L.AddBitmap(Opaque.get());
  EXPECT_TRUE(OpaqueInfo->GetHasAlpha());
  EXPECT_EQ(L.GetAlphaBits(OpaqueInfo), nullptr);
  TIEBitmap Back;
  Back.GetAlphaChannel();  // a plane it had before goes
  ASSERT_TRUE(L.CopyToBitmap(OpaqueInfo, &Back));
  EXPECT_FALSE(Back.HasAlphaChannel());

  // A stale "full" hint on a plane with transparent pixels loses nothing.
  auto Stale = MakeImage(6, 2, ie24RGB, 2);
  TIEBitmap* Plane = Stale->GetAlphaChannel();
  Plane->GetScanline(1)[3] = 0;  // raw write: the hint stays set
  ASSERT_TRUE(Plane->GetFull());
  TIEVirtualImageInfo* StaleInfo = L.AddBitmap(Stale.get());
  ASSERT_NE(L.GetAlphaBits(StaleInfo), nullptr);
  ASSERT_TRUE(L.CopyToBitmap(StaleInfo, &Back));
  ASSERT_TRUE(Back.HasAlphaChannel());
  EXPECT_EQ(Back.GetAlphaChannel()->GetPixel8(3, 1), 0);
}

TEST(ImageStore, FirstFitReusesFreedBlocksAtExactOffsets) {
  TIEVirtualImageList L("ILIST", true);
  TIEVirtualImageInfo* A = AddGray(L, 100);  // 10000 bytes at 0
  TIEVirtualImageInfo* B = AddGray(L, 100);  // at 10000
  TIEVirtualImageInfo* C = AddGray(L, 100, 9);  // at 20000, stays
  ASSERT_TRUE(A && B && C);
  EXPECT_EQ(B->GetOffset(), 10000);
  EXPECT_EQ(C->GetOffset(), 20000);
  EXPECT_EQ(L.GetEnd(), 30000);

  // A then B: list neighbours that touch are joined, and the joined block
  // takes an image of both sizes at A's offset.
  L.Delete(A);
  L.Delete(B);
  TIEVirtualImageInfo* D = AddGray(L, 200);
  EXPECT_EQ(D->GetOffset(), 0);
  EXPECT_TRUE(L.GetFreeBlocks().empty());
  EXPECT_EQ(L.GetEnd(), 30000);

  // A smaller image takes the front of a block, an exact one removes it.
  L.Delete(D);
  TIEVirtualImageInfo* E = AddGray(L, 50);
  EXPECT_EQ(E->GetOffset(), 0);
  ASSERT_EQ(L.GetFreeBlocks().size(), 1u);
  EXPECT_EQ(L.GetFreeBlocks()[0].Offset, 5000);
  EXPECT_EQ(L.GetFreeBlocks()[0].Size, 15000);
  TIEVirtualImageInfo* F = AddGray(L, 150);
  EXPECT_EQ(F->GetOffset(), 5000);
  EXPECT_TRUE(L.GetFreeBlocks().empty());

  // Freed B-then-A order: the list is (B, A), nothing joins, and the combined
  // size goes to the end.
  L.Delete(F);  // (5000, 15000)
  L.Delete(E);  // (0, 5000) after it in the list
  EXPECT_EQ(Offsets(L.GetFreeBlocks()), (std::vector<int64_t>{5000, 0}));
  TIEVirtualImageInfo* G = AddGray(L, 200);
  EXPECT_EQ(G->GetOffset(), 30000);
  EXPECT_EQ(L.GetEnd(), 50000);
  // The stored pixels of C were never touched by all this.
  auto Want = MakeImage(100, 100, ie8g, 9);
  TIEBitmap Got;
  ASSERT_TRUE(L.CopyToBitmap(C, &Got));
  ExpectSameImage(Want.get(), &Got);
}

TEST(ImageStore, GrowthKeepsFreeBlocksAndEmptyingStartsOver) {
  TIEVirtualImageList L("ILIST", true);
  EXPECT_EQ(L.GetCapacity(), 262144);
  // A first image larger than the growth step sets the step to its size and
  // grows the capacity by it once.
  auto Big = MakeImage(400, 300, ie24RGB, 1);  // 1200 x 300 = 360000 bytes
  TIEVirtualImageInfo* First = L.AddBitmap(Big.get());
  ASSERT_NE(First, nullptr);
  EXPECT_EQ(L.GetGrowthStep(), 360000);
  EXPECT_EQ(L.GetCapacity(), 262144 + 360000);

  TIEVirtualImageInfo* A = AddGray(L, 100, 1);  // at 360000
  TIEVirtualImageInfo* B = AddGray(L, 100, 2);
  L.Delete(A);
  // Growth (by another large image, and by a reservation) keeps the free
  // block, which a later image of its size reuses.
  TIEVirtualImageInfo* Second = L.AddBitmap(Big.get());
  ASSERT_NE(Second, nullptr);
  const int64_t Grown = L.GetCapacity();
  EXPECT_GT(Grown, 262144 + 360000);
  ASSERT_TRUE(L.ReserveSpace(100, 100, 8, 3));
  EXPECT_EQ(L.GetCapacity(), Grown + 30000);
  ASSERT_EQ(Offsets(L.GetFreeBlocks()), (std::vector<int64_t>{360000}));
  TIEVirtualImageInfo* C = AddGray(L, 100, 3);
  EXPECT_EQ(C->GetOffset(), 360000);

  auto WantB = MakeImage(100, 100, ie8g, 2);
  TIEBitmap Got;
  ASSERT_TRUE(L.CopyToBitmap(B, &Got));
  ExpectSameImage(WantB.get(), &Got);
  ASSERT_TRUE(L.CopyToBitmap(Second, &Got));
  ExpectSameImage(Big.get(), &Got);

  // Deleting the last image empties the free list and shrinks to one step.
  for (TIEVirtualImageInfo* I : {First, C, B}) L.Delete(I);
  EXPECT_FALSE(L.GetFreeBlocks().empty());
  L.Delete(Second);
  EXPECT_EQ(L.GetImageCount(), 0);
  EXPECT_TRUE(L.GetFreeBlocks().empty());
  EXPECT_EQ(L.GetEnd(), 0);
  EXPECT_EQ(L.GetCapacity(), L.GetGrowthStep());
  EXPECT_TRUE(L.IsFileBacked());
  EXPECT_EQ(AddGray(L, 10)->GetOffset(), 0);
}

TEST(ImageStore, LeastRecentlyUsedBlocksAreUnmappedFirst) {
  TIEVirtualImageList L("ILIST", true);
  std::vector<TIEVirtualImageInfo*> Images;
  for (int I = 0; I < 20; ++I) Images.push_back(AddGray(L, 10, uint8_t(I)));
  // Read each image in turn: the last eleven stay mapped, oldest first.
  for (TIEVirtualImageInfo* I : Images) ASSERT_NE(L.GetImageBits(I), nullptr);
  EXPECT_EQ(L.GetMappedImages(), std::vector<TIEVirtualImageInfo*>(Images.begin() + 9, Images.end()));
  EXPECT_EQ(L.GetMappedCount(), 11);
  // Reading a mapped one again only moves it to the recent end.
  L.GetImageBits(Images[12]);
  std::vector<TIEVirtualImageInfo*> Want(Images.begin() + 9, Images.end());
  Want.erase(Want.begin() + 3);
  Want.push_back(Images[12]);
  EXPECT_EQ(L.GetMappedImages(), Want);
  // The next new one pushes out the least recently used (image 9).
  L.GetImageBits(Images[0]);
  EXPECT_FALSE(Images[9]->IsMapped());
  EXPECT_TRUE(Images[0]->IsMapped());

  // Under any mix of calls the mapped set stays within the bound, and what
  // comes back is what went in.
  // Lowering the bound trims the least recent ones at once.
  L.SetMaximumMapped(2);
  EXPECT_EQ(L.GetMappedImages(), (std::vector<TIEVirtualImageInfo*>{Images[19], Images[12], Images[0]}));

  std::mt19937 Rng(7);
  for (int32_t Max : {0, 1, 3}) {
    L.SetMaximumMapped(Max);
    for (int Step = 0; Step < 300; ++Step) {
      const size_t Index = Rng() % Images.size();
      TIEVirtualImageInfo* I = Images[Index];
      switch (Rng() % 4) {
        case 0: L.GetImageBits(I); break;
        case 1: L.GetAlphaBits(I); break;
        case 2: L.ReleaseBitmap(L.GetBitmap(I), Rng() % 2 == 0); break;
        default: {
          TIEBitmap Copy;
          ASSERT_TRUE(L.CopyToBitmap(I, &Copy));
          ASSERT_EQ(Copy.GetPixel8(3, 4), uint8_t(3 * 7 + 4 * 13 + Index));
        }
      }
      ASSERT_LE(L.GetMappedCount(), Max + 1);
      ASSERT_EQ(size_t(L.GetMappedCount()), L.GetMappedImages().size());
    }
  }
}

TEST(ImageStore, AByteBudgetBoundsWhatIsMappedWhateverTheCount) {
  TIEVirtualImageList L("ILIST", true);
  L.SetMaximumMapped(1000);
  std::vector<TIEVirtualImageInfo*> Images;
  for (int I = 0; I < 40; ++I) Images.push_back(AddGray(L, 10, uint8_t(I)));
  const int64_t Block = Images[0]->GetSize();
  EXPECT_EQ(L.GetMappedCount(), 40);
  EXPECT_EQ(L.GetMappedBytes(), 40 * Block);
  // Lowering the budget unmaps the least recently used at once.
  L.SetMaximumMappedBytes(5 * Block);
  EXPECT_EQ(L.GetMappedImages(), std::vector<TIEVirtualImageInfo*>(Images.end() - 5, Images.end()));
  // Mapping one more first makes room for it within the budget.
  ASSERT_NE(L.GetImageBits(Images[0]), nullptr);
  EXPECT_EQ(L.GetMappedCount(), 5);
  EXPECT_FALSE(Images[35]->IsMapped());
  // Images added and read in any order stay within it, and read back right.
  for (int I = 40; I < 80; ++I) Images.push_back(AddGray(L, 10, uint8_t(I)));
  std::mt19937 Rng(3);
  for (int Step = 0; Step < 300; ++Step) {
    const size_t Index = Rng() % Images.size();
    TIEBitmap Copy;
    ASSERT_TRUE(L.CopyToBitmap(Images[Index], &Copy));
    ASSERT_EQ(Copy.GetPixel8(3, 4), uint8_t(3 * 7 + 4 * 13 + Index));
    ASSERT_LE(L.GetMappedBytes(), 5 * Block);
  }
  // A block larger than the budget is still mapped while it is read.
  TIEVirtualImageInfo* Big = AddGray(L, 60, 1);
  EXPECT_TRUE(Big->IsMapped());
  EXPECT_EQ(L.GetMappedCount(), 1);
  // 0 takes the byte bound away: the count alone bounds again.
  L.SetMaximumMappedBytes(0);
  for (TIEVirtualImageInfo* I : Images) L.GetImageBits(I);
  EXPECT_EQ(L.GetMappedCount(), 81);
}

TEST(ImageStore, SharedBitmapsAreWrittenBackOnRelease) {
  TIEVirtualImageList L("ILIST", true);
  L.SetMaximumMapped(0);
  auto Src = MakeImage(20, 10, ie24RGB, 4);
  TIEVirtualImageInfo* Info = L.AddBitmap(Src.get());
  TIEVirtualImageInfo* Other = AddGray(L, 10);
  TIEBitmap* B = L.GetBitmap(Info);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(L.GetBitmap(Info), B);  // the same bitmap, two references
  EXPECT_TRUE(Info->IsViewed());

  B->SetPixel24(1, 2, TRGB{1, 2, 3});
  L.ReleaseBitmap(B, true);  // stored now, though one reference is left
  EXPECT_TRUE(Info->IsViewed());
  B->SetPixel24(1, 2, TRGB{9, 9, 9});  // the last release does not store this
  L.ReleaseBitmap(B, false);
  EXPECT_FALSE(Info->IsViewed());
  L.GetImageBits(Other);  // the block has left memory and comes back from the file
  TIEBitmap Got;
  ASSERT_TRUE(L.CopyToBitmap(Info, &Got));
  EXPECT_TRUE(Got.GetPixel24(1, 2) == (TRGB{1, 2, 3}));
  Src->SetPixel24(1, 2, TRGB{1, 2, 3});
  ExpectSameImage(Src.get(), &Got);

  // Null, foreign and already freed bitmaps are ignored.
  TIEBitmap Foreign;
  L.ReleaseBitmap(nullptr, true);
  L.ReleaseBitmap(&Foreign, true);
  L.ReleaseBitmap(B, true);
  L.ReleaseEntryBitmap(Info, true);
  EXPECT_EQ(L.GetImageWidth(Info), 20);
}

TEST(ImageStore, ChangedLayoutMovesToANewBlockAndFreesTheOld) {
  TIEVirtualImageList L("ILIST", true);
  TIEVirtualImageInfo* A = AddGray(L, 100, 5);  // ie8g, 10000 bytes at 0
  TIEVirtualImageInfo* Keep = AddGray(L, 100, 6);
  TIEBitmap* B = L.GetBitmap(A);
  B->SetPixelFormat(ie8p);  // same bits per pixel, now with a palette
  ASSERT_EQ(B->GetPixelFormat(), ie8p);
  B->SetPaletteColor(7, TRGB{7, 70, 170});
  TIEBitmap Want;
  Want.Assign(B);
  // While out, the accessors answer from the bitmap.
  EXPECT_EQ(L.GetPixelFormat(A), ie8p);
  L.ReleaseBitmap(B, true);
  EXPECT_EQ(A->GetOffset(), 20000);
  EXPECT_EQ(A->GetSize(), 10000 + 768);
  EXPECT_EQ(L.GetPixelFormat(A), ie8p);
  ASSERT_EQ(Offsets(L.GetFreeBlocks()), (std::vector<int64_t>{0}));
  TIEBitmap Got;
  ASSERT_TRUE(L.CopyToBitmap(A, &Got));
  ExpectSameImage(&Want, &Got);

  // The freed block is taken by the next image that fits.
  EXPECT_EQ(AddGray(L, 100)->GetOffset(), 0);

  // A bitmap that grows an alpha plane and shrinks also moves.
  B = L.GetBitmap(Keep);
  B->SetHeight(40);
  B->SetAlpha(2, 3, 17);
  Want.Assign(B);
  L.ReleaseEntryBitmap(Keep, true);
  EXPECT_TRUE(Keep->GetHasAlpha());
  ASSERT_TRUE(L.CopyToBitmap(Keep, &Got));
  ExpectSameImage(&Want, &Got);
}

TEST(ImageStore, PlatformBitmapsAreSyncedAndReadBottomUp) {
  TIEVirtualImageList L("ILIST", true);
  auto Src = MakeImage(8, 6, ie24RGB, 2);
  TIEVirtualImageInfo* Info = L.AddBitmap(Src.get());
  TIEBitmap* B = L.GetBitmap(Info);
  TBitmap* Platform = B->GetTBitmap();  // rows now run top down in a QImage
  ASSERT_NE(Platform, nullptr);
  // The raw pointer still gives bottom-up rows, not a view past the image.
  const uint8_t* Bits = L.GetImageBits(Info);
  ASSERT_NE(Bits, nullptr);
  for (int32_t I = 0; I < 6; ++I)
    EXPECT_EQ(std::memcmp(Bits + I * 24, Src->GetScanline(5 - I), 24), 0) << I;
  // A caller resizes the platform bitmap; the release stores the new size.
  Platform->SetSize(5, 9);
  L.ReleaseBitmap(B, true);
  EXPECT_EQ(L.GetImageWidth(Info), 5);
  EXPECT_EQ(L.GetImageHeight(Info), 9);
  EXPECT_EQ(Info->GetSize(), 16 * 9);
}

TEST(ImageStore, DeletingAHeldImageKeepsTheBitmapAlive) {
  TIEVirtualImageList L("ILIST", true);
  auto Src = MakeImage(100, 100, ie8g, 8);
  TIEVirtualImageInfo* A = L.AddBitmap(Src.get());
  TIEBitmap* Held = L.GetBitmap(A);
  ASSERT_EQ(L.GetBitmap(A), Held);
  TIEVirtualImageInfo* Keep = AddGray(L, 10);
  L.Delete(A);
  EXPECT_FALSE(L.Contains(A));
  ExpectSameImage(Src.get(), Held);  // still there for its holders
  // Its block goes to a new image; releasing the old bitmap with write-back
  // must not touch it.
  auto NewImage = MakeImage(100, 100, ie8g, 77);
  TIEVirtualImageInfo* C = L.AddBitmap(NewImage.get());
  EXPECT_EQ(C->GetOffset(), 0);
  Held->Fill(0);
  L.ReleaseBitmap(Held, true);
  L.ReleaseBitmap(Held, true);
  L.ReleaseBitmap(Held, true);  // freed by now: ignored
  TIEBitmap Got;
  ASSERT_TRUE(L.CopyToBitmap(C, &Got));
  ExpectSameImage(NewImage.get(), &Got);
  // Deleted and foreign handles are ignored everywhere.
  TIEVirtualImageList Other("ILIST", false);
  TIEVirtualImageInfo* Foreign = AddGray(Other, 10);
  for (TIEVirtualImageInfo* Bad : {A, Foreign, static_cast<TIEVirtualImageInfo*>(nullptr)}) {
    L.Delete(Bad);
    EXPECT_EQ(L.GetBitmap(Bad), nullptr);
    EXPECT_FALSE(L.CopyToBitmap(Bad, &Got));
    EXPECT_EQ(L.GetImageBits(Bad), nullptr);
    EXPECT_EQ(L.GetImageWidth(Bad), 0);
  }
  EXPECT_EQ(L.GetImageCount(), 2);
  EXPECT_TRUE(L.Contains(Keep));
}

TEST(ImageStore, WithoutATemporaryFileImagesStayInMemory) {
  testsupport::TempDir Dir;
  std::unique_ptr<TIEVirtualImageList> Store;
  std::vector<std::unique_ptr<TIEBitmap>> Sources;
  std::vector<TIEVirtualImageInfo*> Infos;
  {
    TempFolderScope Missing(Dir.file("no/such/folder"));
    Store = std::make_unique<TIEVirtualImageList>("ILIST", true);
    EXPECT_TRUE(Store->IsAllocated());
    EXPECT_FALSE(Store->IsFileBacked());
    Store->SetMaximumMapped(1);
    for (uint8_t I = 0; I < 12; ++I) {
      Sources.push_back(MakeImage(64, 50 + I, ie24RGB, I, I % 3 == 0));
      Infos.push_back(Store->AddBitmap(Sources.back().get()));
      ASSERT_NE(Infos.back(), nullptr);
    }
    for (size_t I = 0; I < Infos.size(); ++I) {
      TIEBitmap Got;
      ASSERT_TRUE(Store->CopyToBitmap(Infos[I], &Got));
      ExpectSameImage(Sources[I].get(), &Got);
    }
  }
  // Once empty, the store tries its temporary file again.
  TempFolderScope Good(Dir.path());
  for (TIEVirtualImageInfo* I : Infos) Store->Delete(I);
  EXPECT_TRUE(Store->IsFileBacked());
}

TEST(ImageStore, ImpossibleSizesAreRefusedCleanly) {
  for (bool UseFile : {true, false}) {
    TIEVirtualImageList L("ILIST", UseFile);
    TIEVirtualImageInfo* Small = AddGray(L, 10, 3);
    const int64_t Capacity = L.GetCapacity();
    // Larger than any memory, overflowing 64 bits, negative, inconsistent.
    EXPECT_EQ(L.AddEmpty(2000000000, 1000000, 48, ieRGB48, true), nullptr);
    EXPECT_EQ(L.AddEmpty(INT32_MAX, INT32_MAX, 48, ieRGB48, true), nullptr);
    EXPECT_EQ(L.AddEmpty(-1, 10, 8, ie8g, false), nullptr);
    EXPECT_EQ(L.AddEmpty(10, 10, 24, ie8g, false), nullptr);
    EXPECT_EQ(L.AddEmpty(10, 10, 8, TIEPixelFormat(99), false), nullptr);
    EXPECT_EQ(L.AddBitmap(nullptr), nullptr);
    EXPECT_FALSE(L.ReserveSpace(INT32_MAX, INT32_MAX, 48, INT32_MAX));
    EXPECT_FALSE(L.ReserveSpace(1000000, 1000000, 48, 1000000));
    EXPECT_FALSE(L.ReserveSpace(10, 10, 8, -1));
    EXPECT_EQ(L.GetCapacity(), Capacity);
    EXPECT_EQ(L.GetImageCount(), 1);
    // The store goes on working.
    auto Want = MakeImage(100, 10, ie8g, 3);
    TIEBitmap Got;
    ASSERT_TRUE(L.CopyToBitmap(Small, &Got));
    ExpectSameImage(Want.get(), &Got);

    // An empty image is stored but has nothing to map or hand out.
    TIEVirtualImageInfo* Empty = L.AddEmpty(0, 0, 0, ieNoFormat, false);
    ASSERT_NE(Empty, nullptr);
    EXPECT_EQ(Empty->GetSize(), 0);
    EXPECT_EQ(L.GetBitmap(Empty), nullptr);
    EXPECT_FALSE(L.CopyToBitmap(Empty, &Got));
    EXPECT_EQ(Got.GetWidth(), 100);
    // A new empty block reads as zeros.
    TIEVirtualImageInfo* Zero = L.AddEmpty(3, 2, 16, ie16g, false);
    ASSERT_TRUE(L.CopyToBitmap(Zero, &Got));
    EXPECT_TRUE(Got.IsAllZero());
  }
}

}  // namespace
