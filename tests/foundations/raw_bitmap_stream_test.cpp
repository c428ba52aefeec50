// The raw form of an image buffer: sizes, round trips of every pixel format
// with its options and alpha plane, memory blocks, other row alignments and
// locations, and damaged records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"

namespace {

const TIEPixelFormat AllFormats[] = {ie1g,  ie8p,   ie8g,    ie16g,    ie24RGB,
                                     ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};

// Fills every byte of the image's pixels (not the padding) with a pattern.
void Pattern(TIEBitmap& B, int Seed) {
  int64_t Bytes = (int64_t(B.GetWidth()) * B.GetBitCount() + 7) / 8;
  for (int32_t Y = 0; Y < B.GetHeight(); ++Y) {
    uint8_t* R = B.GetScanline(Y);
    for (int64_t X = 0; X < Bytes; ++X) R[X] = uint8_t(X * 7 + Y * 13 + Seed);
    if (B.GetPixelFormat() == ie32f)
      for (int32_t X = 0; X < B.GetWidth(); ++X)
        reinterpret_cast<float*>(R)[X] = float(X + Y) / 64.0f;
  }
}

bool SamePixels(TIEBitmap& A, TIEBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() ||
      A.GetPixelFormat() != B.GetPixelFormat())
    return false;
  int64_t Bytes = (int64_t(A.GetWidth()) * A.GetBitCount() + 7) / 8;
  for (int32_t Y = 0; Y < A.GetHeight(); ++Y) {
    std::vector<uint8_t> RowA(A.GetScanline(Y), A.GetScanline(Y) + Bytes);
    if (std::memcmp(RowA.data(), B.GetScanline(Y), size_t(Bytes)) != 0) return false;
  }
  return true;
}

TEST(RawBitmapStream, SizesFollowTheLayout) {
  TIEBitmap B(10, 10, ie24RGB);
  EXPECT_EQ(B.GetRawSize(), 396);
  TMemoryStream S;
  B.SaveRawToStream(nullptr, &S);
  EXPECT_EQ(S.GetSize(), 396);
  B.GetAlphaChannel();
  EXPECT_EQ(B.GetRawSize(), 517);
  TMemoryStream S2;
  B.SaveRawToStream(nullptr, &S2);
  EXPECT_EQ(S2.GetSize(), 517);
}

TEST(RawBitmapStream, EveryFormatRoundTripsWithOptionsAndAlpha) {
  for (TIEPixelFormat F : AllFormats) {
    for (bool WithAlpha : {false, true}) {
      SCOPED_TRACE(int(F) * 10 + WithAlpha);
      TIEBitmap Src;
      Src.SetLocation(ieMemory);
      ASSERT_TRUE(Src.Allocate(13, 5, F));
      Pattern(Src, int(F));
      if (F == ie8p) Src.SetPaletteColor(200, TRGB{1, 2, 3});
      Src.SetRangeLow(0.25);
      Src.SetRangeHigh(4095);
      Src.SetChannelOffset(0, -7);
      Src.SetChannelOffset(2, 9);
      Src.SetAdjust(1);
      Src.SetContrast(-12);
      Src.SetPaletteUsed(17);
      if (WithAlpha) {
        Src.SetAlpha(3, 2, 77);
        Src.GetAlphaChannel()->SetFull(false);
      }
      TMemoryStream S;
      Src.SaveRawToStream(nullptr, &S);
      EXPECT_EQ(S.GetSize(), Src.GetRawSize());
      S.SetPosition(0);
      TIEBitmap Dst;
      Dst.SetLocation(ieMemory);
      if (!WithAlpha) Dst.GetAlphaChannel();  // a plane the record removes
      ASSERT_TRUE(Dst.LoadRawFromStream(nullptr, &S));
      EXPECT_EQ(S.GetPosition(), S.GetSize());
      EXPECT_TRUE(SamePixels(Src, Dst));
      EXPECT_EQ(Dst.GetPaletteLen(), Src.GetPaletteLen());
      if (F == ie8p) {
        EXPECT_EQ(Dst.GetPaletteColor(200), (TRGB{1, 2, 3}));
      }
      EXPECT_EQ(Dst.GetRangeLow(), 0.25);
      EXPECT_EQ(Dst.GetRangeHigh(), 4095);
      EXPECT_EQ(Dst.GetChannelOffset(0), -7);
      EXPECT_EQ(Dst.GetChannelOffset(2), 9);
      EXPECT_EQ(Dst.GetAdjust(), 1);
      EXPECT_EQ(Dst.GetContrast(), -12);
      EXPECT_EQ(Dst.GetPaletteUsed(), 17);
      ASSERT_EQ(Dst.HasAlphaChannel(), WithAlpha);
      if (WithAlpha) {
        EXPECT_EQ(Dst.GetAlpha(3, 2), 77);
        EXPECT_EQ(Dst.GetAlpha(4, 2), 255);
        EXPECT_FALSE(Dst.GetAlphaChannel()->GetFull());
      }
    }
  }
}

TEST(RawBitmapStream, MemoryBlockAlignmentsAndLocationsAgree) {
  TIEBitmap Src;
  Src.SetLocation(ieMemory);
  Src.SetRowAlignment(8);
  ASSERT_TRUE(Src.Allocate(7, 4, ie24RGB));
  Pattern(Src, 3);
  std::vector<uint8_t> Block(size_t(Src.GetRawSize()));
  EXPECT_EQ(Block.size(), size_t(76 + 21 * 4));
  Src.SaveRawToStream(Block.data(), nullptr);
  // The same record into bitmaps that keep their pixels elsewhere (a file
  // and a platform bitmap keep their own row length).
  for (TIELocation L : {ieMemory, ieFile, ieTBitmap}) {
    SCOPED_TRACE(int(L));
    TIEBitmap Dst;
    Dst.SetLocation(L);
    ASSERT_TRUE(Dst.LoadRawFromStream(Block.data(), nullptr, int64_t(Block.size())));
    EXPECT_TRUE(SamePixels(Src, Dst));
    TMemoryStream S;
    Dst.SaveRawToStream(nullptr, &S);
    TIEBitmap Again;
    S.SetPosition(0);
    ASSERT_TRUE(Again.LoadRawFromStream(nullptr, &S));
    EXPECT_TRUE(SamePixels(Src, Again));
  }
}

TEST(RawBitmapStream, DamagedRecordsFailCleanly) {
  TIEBitmap Src(9, 6, ie8p);
  Pattern(Src, 1);
  Src.GetAlphaChannel();
  TMemoryStream Good;
  Src.SaveRawToStream(nullptr, &Good);
  const uint8_t* G = static_cast<const uint8_t*>(Good.GetMemory());
  std::vector<uint8_t> Bytes(G, G + Good.GetSize());
  const size_t PalEnd = 20 + 3 * 256;

  auto Patch = [&](size_t At, std::vector<uint8_t> Value) {
    std::vector<uint8_t> B = Bytes;
    std::memcpy(&B[At], Value.data(), Value.size());
    return B;
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
  } Cases[] = {
      {"signature", Patch(3, {'X'})},
      {"negative version", Patch(12, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"palette too long", Patch(16, {0x01, 0x10, 0, 0})},
      {"negative width", Patch(PalEnd, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"huge height", Patch(PalEnd + 4, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"unknown format", Patch(PalEnd + 8, {42})},
      {"odd alignment", Patch(PalEnd + 51, {12, 0, 0, 0})},
      {"cut in the rows", std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + long(PalEnd + 100))},
      {"cut in the alpha", std::vector<uint8_t>(Bytes.begin(), Bytes.end() - 20)},
      {"bad alpha flag", Patch(Bytes.size() - 1 - 12 * 6 - 1, {7})},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TMemoryStream S;
    S.WriteBuffer(C.Data.data(), int64_t(C.Data.size()));
    S.SetPosition(0);
    TIEBitmap Dst(3, 3, ie24RGB);
    EXPECT_FALSE(Dst.LoadRawFromStream(nullptr, &S));
    if (std::string(C.Name).rfind("cut", 0) == 0) {
      EXPECT_EQ(S.GetPosition(), S.GetSize());
      EXPECT_TRUE(Dst.IsEmpty() || Dst.GetWidth() == 3);
    }
    // The same bytes from a memory block of known size.
    TIEBitmap FromBlock;
    EXPECT_FALSE(FromBlock.LoadRawFromStream(C.Data.data(), nullptr, int64_t(C.Data.size())));
  }
}

TEST(RawBitmapStream, RecordsFollowEachOtherInOneStream) {
  TIEBitmap A(5, 5, ie1g), B(3, 2, ie32RGB);
  Pattern(A, 1);
  Pattern(B, 2);
  TMemoryStream S;
  A.SaveRawToStream(nullptr, &S);
  B.SaveRawToStream(nullptr, &S);
  S.SetPosition(0);
  TIEBitmap A2, B2;
  ASSERT_TRUE(A2.LoadRawFromStream(nullptr, &S));
  EXPECT_EQ(S.GetPosition(), A.GetRawSize());
  ASSERT_TRUE(B2.LoadRawFromStream(nullptr, &S));
  EXPECT_TRUE(SamePixels(A, A2));
  EXPECT_TRUE(SamePixels(B, B2));
}

}  // namespace
