#include "foundations/settings.h"

#include <cmath>
#include <numbers>

#include "foundations/system_info.h"

namespace {

std::array<int32_t, 256> MakeCosineRamp() {
  std::array<int32_t, 256> ramp{};
  IEFillCosineRamp(ramp);
  return ramp;
}

}  // namespace

bool IEUseGDIPlus = true;

int32_t IEGrayWeightRed = 21;
int32_t IEGrayWeightGreen = 71;
int32_t IEGrayWeightBlue = 8;
uint8_t IEPreviewBackgroundStyle = 0;

uint8_t IEOSVersion = IEGetOSVersion();
bool IEUnicodePlatform = true;
TIEPlaceDialogProc IEPlaceDialogHook = nullptr;
int64_t IETempFileThreshold = -1;
bool IEAllowTempFileFallback = true;
bool IEAllowSegmentedMemory = true;
std::array<int32_t, 256> IECosineRamp = MakeCosineRamp();

bool IEUseFileExists = false;
TGifLzwDecodeProc GifLzwDecodeHook = nullptr;
TGifLzwEncodeProc GifLzwEncodeHook = nullptr;
TTiffLzwDecodeProc TiffLzwDecodeHook = nullptr;
TTiffLzwEncodeProc TiffLzwEncodeHook = nullptr;
std::string IETempFolder;
std::string IETwainLogFileName;
std::string IEDebugLogFileName;
TIEColorConvertProc IEColorConvertHook = nullptr;
bool IEColorManagement = false;
bool IEUseCMYKProfile = true;
int32_t IEColorReductionAlgorithm = -1;
int32_t IEColorReductionQuality = -1;
bool IEBufferedReadRelative = false;
int32_t IEMaxMetafileSide = 8000;
std::vector<TIEIOPlugin*> IEIOPlugins;
TIEICC* IECmykProfile = nullptr;
TIEICC* IESrgbProfile = nullptr;

int32_t IEScreenBitsPerPixel = 24;
int32_t IEScreenDpiX = 96;
int32_t IEScreenDpiY = 96;
int32_t IEDefaultDpiX = 300;
int32_t IEDefaultDpiY = 300;
bool IERemoteSession = false;
bool IEMMXAvailable = IEHasMMX();
int32_t IESystemEdgeX = 2;
int32_t IESystemEdgeY = 2;
int32_t IESystemBorderX = 1;
int32_t IESystemBorderY = 1;

void IEFillCosineRamp(std::array<int32_t, 256>& Ramp) {
  for (int i = 0; i < 256; ++i) {
    // nearbyint in the default rounding mode sends halves to the even neighbour.
    const double v = 64.0 - 64.0 * std::cos(i * std::numbers::pi / 255.0);
    Ramp[i] = static_cast<int32_t>(std::nearbyint(v));
  }
}

void IEGDIPSettingsInitialize() { IEUseGDIPlus = true; }

void IEDefsSettingsInitialize() {
  IEGrayWeightRed = 21;
  IEGrayWeightGreen = 71;
  IEGrayWeightBlue = 8;
  IEPreviewBackgroundStyle = 0;
}

void IEUtilsSettingsInitialize() {
  IEOSVersion = IEGetOSVersion();
  IEUnicodePlatform = IEOSVersion > 2;
  IEPlaceDialogHook = nullptr;
  IETempFileThreshold = -1;
  IEAllowTempFileFallback = true;
  IEAllowSegmentedMemory = true;
  IEFillCosineRamp(IECosineRamp);
}

void IEIOSettingsInitialize() {
  IEUseFileExists = false;
  IETempFolder.clear();
  IETwainLogFileName.clear();
  IEDebugLogFileName.clear();
  IEColorManagement = false;
  IEIOPlugins.clear();
  IEColorReductionAlgorithm = -1;
  IEColorReductionQuality = -1;
  IEBufferedReadRelative = false;
  IEUseCMYKProfile = true;
  IEMaxMetafileSide = 8000;
}

void IEViewSettingsInitialize() {
  IEScreenBitsPerPixel = 24;
  IERemoteSession = false;
  IEScreenDpiX = 96;
  IEScreenDpiY = 96;
  IEDefaultDpiX = 300;
  IEDefaultDpiY = 300;
  IEMMXAvailable = IEHasMMX();
  IESystemEdgeX = 2;
  IESystemEdgeY = 2;
  IESystemBorderX = 1;
  IESystemBorderY = 1;
}

void IEInitializeSettings() {
  IEGDIPSettingsInitialize();
  IEDefsSettingsInitialize();
  IEUtilsSettingsInitialize();
  IEIOSettingsInitialize();
  IEViewSettingsInitialize();
}
