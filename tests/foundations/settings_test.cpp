// Library settings: start values, what each start-up step resets, and the
// cosine ramp.
#include <gtest/gtest.h>

#include <array>

#include "foundations/settings.h"

namespace {

uint8_t* FakeTiffDecode(const uint8_t*, int64_t, int32_t, void*&, int32_t) { return nullptr; }
void FakeColorConvert(const void*, uint8_t, void*, uint8_t, int32_t, TIOParamsVals*) {}
bool FakePlace(QWidget*) { return true; }

void ExpectStartValues() {
  EXPECT_TRUE(IEUseGDIPlus);
  EXPECT_EQ(IEGrayWeightRed, 21);
  EXPECT_EQ(IEGrayWeightGreen, 71);
  EXPECT_EQ(IEGrayWeightBlue, 8);
  EXPECT_EQ(IEPreviewBackgroundStyle, 0);
  EXPECT_EQ(IEOSVersion, 9);
  EXPECT_TRUE(IEUnicodePlatform);
  EXPECT_EQ(IEPlaceDialogHook, nullptr);
  EXPECT_EQ(IETempFileThreshold, -1);
  EXPECT_TRUE(IEAllowTempFileFallback);
  EXPECT_TRUE(IEAllowSegmentedMemory);
  EXPECT_FALSE(IEUseFileExists);
  EXPECT_TRUE(IETempFolder.empty());
  EXPECT_TRUE(IETwainLogFileName.empty());
  EXPECT_TRUE(IEDebugLogFileName.empty());
  EXPECT_FALSE(IEColorManagement);
  EXPECT_TRUE(IEUseCMYKProfile);
  EXPECT_EQ(IEColorReductionAlgorithm, -1);
  EXPECT_EQ(IEColorReductionQuality, -1);
  EXPECT_FALSE(IEBufferedReadRelative);
  EXPECT_EQ(IEMaxMetafileSide, 8000);
  EXPECT_TRUE(IEIOPlugins.empty());
  EXPECT_EQ(IEDefaultDpiX, 300);
  EXPECT_EQ(IEDefaultDpiY, 300);
  EXPECT_GT(IEScreenBitsPerPixel, 0);
  EXPECT_GT(IEScreenDpiX, 0);
  EXPECT_GT(IEScreenDpiY, 0);
}

TEST(Settings, StaticValuesAreTheStartValues) {
  // Nothing in this program has run a start-up step yet.
  ExpectStartValues();
  std::array<int32_t, 256> ramp{};
  IEFillCosineRamp(ramp);
  EXPECT_EQ(IECosineRamp, ramp);
}

TEST(Settings, StartUpRestoresEverySettingButTheInstalledHooks) {
  IEUseGDIPlus = false;
  IEGrayWeightRed = 30;
  IEGrayWeightGreen = 59;
  IEGrayWeightBlue = 11;
  IEPreviewBackgroundStyle = 2;
  IEOSVersion = 1;
  IEUnicodePlatform = false;
  IEPlaceDialogHook = FakePlace;
  IETempFileThreshold = 1 << 20;
  IEAllowTempFileFallback = false;
  IEAllowSegmentedMemory = false;
  IECosineRamp.fill(7);
  IEUseFileExists = true;
  IETempFolder = "/somewhere/";
  IETwainLogFileName = "twain.log";
  IEDebugLogFileName = "io.log";
  IEColorManagement = true;
  IEUseCMYKProfile = false;
  IEColorReductionAlgorithm = 1;
  IEColorReductionQuality = 4;
  IEBufferedReadRelative = true;
  IEMaxMetafileSide = 10;
  IEIOPlugins.push_back(nullptr);
  IEDefaultDpiX = 72;
  IEDefaultDpiY = 96;
  // Installed by the I/O start-up itself: the settings step leaves them.
  TiffLzwDecodeHook = FakeTiffDecode;
  IEColorConvertHook = FakeColorConvert;

  IEInitializeSettings();
  ExpectStartValues();
  EXPECT_EQ(IECosineRamp[0], 0);
  EXPECT_EQ(IECosineRamp[255], 128);
  EXPECT_EQ(TiffLzwDecodeHook, FakeTiffDecode);
  EXPECT_EQ(IEColorConvertHook, FakeColorConvert);
  TiffLzwDecodeHook = nullptr;
  IEColorConvertHook = nullptr;
}

TEST(Settings, HookNamesShareOneVariable) {
  EXPECT_EQ(&TiffLzwDecoderHook, &TiffLzwDecodeHook);
  EXPECT_EQ(&TiffLzwEncoderHook, &TiffLzwEncodeHook);
  EXPECT_EQ(&GifLzwDecoderHook, &GifLzwDecodeHook);
  EXPECT_EQ(&GifLzwEncoderHook, &GifLzwEncodeHook);
}

TEST(Settings, CosineRampRisesFromZeroTo128) {
  std::array<int32_t, 256> ramp{};
  IEFillCosineRamp(ramp);
  EXPECT_EQ(ramp[0], 0);
  EXPECT_EQ(ramp[255], 128);
  for (int i = 1; i < 256; ++i) EXPECT_LE(ramp[i - 1], ramp[i]) << i;
  // Worked by hand: cos(pi/3) = 1/2 gives 32, cos(2 pi/3) gives 96; the middle
  // 64 - 64 cos(127 pi/255) = 64 - 0.394 rounds to 64 and 128 - 64.394 to 64.
  const std::pair<int, int32_t> points[] = {{1, 0},    {16, 1},   {85, 32},   {127, 64},
                                            {128, 64}, {170, 96}, {239, 127}, {254, 128}};
  for (const auto& [i, v] : points) EXPECT_EQ(ramp[size_t(i)], v) << i;
  // Symmetric about the middle: ramp[i] + ramp[255 - i] = 128.
  for (int i = 0; i < 256; ++i) EXPECT_EQ(ramp[size_t(i)] + ramp[size_t(255 - i)], 128) << i;
}

}  // namespace
