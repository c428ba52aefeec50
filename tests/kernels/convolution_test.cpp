// 3 x 3 convolution, filter files and their text form, the preset filters.
#include "kernels/convolution.h"

#include <gtest/gtest.h>

#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

namespace {

std::unique_ptr<TIEBitmap> Photo() {
  auto B = std::make_unique<TIEBitmap>(11, 9, ie24RGB);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 11; ++x)
      B->SetPixel24(x, y, TRGB{uint8_t(x * 23 + y), uint8_t(y * 29), uint8_t(x * y * 7)});
  return B;
}

TIEFilterKernel3x3 Kernel(std::initializer_list<int32_t> V, int32_t Div) {
  TIEFilterKernel3x3 K;
  int32_t i = 0;
  for (int32_t v : V) K.Values[i / 3][i % 3] = v, ++i;
  K.Divisor = Div;
  return K;
}

TEST(Convolve3x3, IdentityAndDivisorZero) {
  auto Ref = Photo(), B = Photo();
  IEConvolve3x3(B.get(), IEGetPresetFilter(0), 0, 0, 99, 99);
  EXPECT_TRUE(IEBitmapsEqual(B.get(), Ref.get()));
  auto D0 = Photo(), D1 = Photo();
  IEConvolve3x3(D0.get(), Kernel({1, 1, 1, 1, 1, 1, 1, 1, 1}, 0), 0, 0, 11, 9);
  IEConvolve3x3(D1.get(), Kernel({1, 1, 1, 1, 1, 1, 1, 1, 1}, 1), 0, 0, 11, 9);
  EXPECT_TRUE(IEBitmapsEqual(D0.get(), D1.get()));
}

TEST(Convolve3x3, NegatedFilterGivesTheSameOutput) {
  auto A = Photo(), B = Photo();
  IEConvolve3x3(A.get(), Kernel({1, 1, 1, 1, -8, 1, 1, 1, 1}, 2), 0, 0, 11, 9);
  IEConvolve3x3(B.get(), Kernel({-1, -1, -1, -1, 8, -1, -1, -1, -1}, 2), 0, 0, 11, 9);
  EXPECT_TRUE(IEBitmapsEqual(A.get(), B.get()));
}

TEST(Convolve3x3, BlurAveragesWithRepeatedBordersInsideTheRectangle) {
  TIEBitmap G(3, 3, ie8g);
  G.Fill(0);
  G.SetPixel8(0, 0, 90);
  IEConvolve3x3Gray(&G, IEGetPresetFilter(1), 0, 0, 2, 2);
  // The corner sees itself four times (edges repeat): 4 x 90 / 9.
  EXPECT_EQ(G.GetPixel8(0, 0), 40);
  EXPECT_EQ(G.GetPixel8(1, 1), 10);
  EXPECT_EQ(G.GetPixel8(2, 2), 0);  // outside the rectangle
}

TEST(FilterFiles, RoundTripTextAndBadFiles) {
  testsupport::TempDir Dir;
  const TIEFilterKernel3x3 K = Kernel({-1, 2, -3, 4, -5, 6, -7, 8, -9}, -16);
  IESaveFilterToFile(Dir.file("k.flt"), K);
  const auto Bytes = testsupport::ReadFileBytes(Dir.file("k.flt"));
  ASSERT_EQ(Bytes.size(), 43u);
  EXPECT_EQ(Bytes[0], 1);
  EXPECT_EQ(Bytes[3], 0xFF);  // -1, little-endian
  TIEFilterKernel3x3 L;
  EXPECT_TRUE(IELoadFilterFromFile(Dir.file("k.flt"), L));
  EXPECT_EQ(IEFilterToString(L), IEFilterToString(K));
  EXPECT_EQ(IEFilterToString(IEGetPresetFilter(0)), "0/00/00/00/01/00/00/00/00/0");
  TIEFilterKernel3x3 Id = IEGetPresetFilter(0);
  Id.Divisor = 1;
  EXPECT_EQ(IEFilterToString(Id), "0/10/10/10/11/10/10/10/10/1");

  // Another head, a record cut short, an empty file: the filter stays.
  struct {
    const char* Name;
    std::vector<uint8_t> Data;
  } Bad[] = {{"head.flt", {1, 3, 4, 5, 0, 0, 0}},
             {"short.flt", std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 20)},
             {"empty.flt", {}}};
  for (auto& F : Bad) {
    testsupport::WriteFileBytes(Dir.file(F.Name), F.Data);
    TIEFilterKernel3x3 M = K;
    EXPECT_FALSE(IELoadFilterFromFile(Dir.file(F.Name), M)) << F.Name;
    EXPECT_EQ(IEFilterToString(M), IEFilterToString(K)) << F.Name;
  }
  TIEFilterKernel3x3 M;
  EXPECT_THROW(IELoadFilterFromFile(Dir.file("missing.flt"), M), Exception);
}

TEST(PresetFilters, NamesAndRecords) {
  EXPECT_EQ(IEPresetFilterCount, 9);
  EXPECT_EQ(IEGetPresetFilterName(3), "Emboss");
  EXPECT_EQ(IEGetPresetFilterName(8), "Low Pass 2");
  EXPECT_EQ(IEGetPresetFilter(8).Divisor, 16);
  EXPECT_EQ(IEGetPresetFilter(2).Values[1][1], -8);
}

}  // namespace
