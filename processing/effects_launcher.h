#pragma once
// The effects dialog's launcher: the settings of every tab kept between
// openings (TIPDialogParams, one per processing component), the request the
// launcher hands to the dialog, and the processing unit's start-up.
//
// The dialog itself lives in a higher layer: it installs a runner with
// IESetEffectsDialogRunner.  Without one, ShowEffectsDialog answers false.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"
#include "kernels/convolution.h"
#include "platform/gdi/colors.h"
#include "platform/rtl/object.h"

class TIEBitmap;
class TMemoryStream;

// Bits of TFolioProc::PreviewsParams.
constexpr uint8_t prppDefaultLockPreview = 1u << 0;
constexpr uint8_t prppShowResetButton = 1u << 1;
constexpr uint8_t prppHardReset = 1u << 2;
constexpr uint8_t prppResetSelectedTab = 1u << 3;

// Bits of the Effects argument: the tabs the dialog offers.
enum : uint16_t {
  ppeEveryTab = 1u << 0,
  ppeContrast = 1u << 1,
  ppeHSV = 1u << 2,
  ppeHSL = 1u << 3,
  ppeRGB = 1u << 4,
  ppeUserFilter = 1u << 5,
  ppeEqualization = 1u << 6,
  ppeBumpMap = 1u << 7,
  ppeLens = 1u << 8,
  ppeWave = 1u << 9,
  ppeMorph = 1u << 10,
  ppeRotate = 1u << 11,
  ppeFFT = 1u << 12,
  ppeGamma = 1u << 13,
  ppeSharpen = 1u << 14
};

class TIPDialogParams : public TObject {
 public:
  TIPDialogParams();
  ~TIPDialogParams() override;
  TIPDialogParams(const TIPDialogParams&) = delete;
  TIPDialogParams& operator=(const TIPDialogParams&) = delete;

  // Every field back to its first-use value; the saved transform emptied.
  void Reset();
  // The transform's selection; each setter empties the saved transform.
  void SetFFTSelX1(int32_t Value);
  void SetFFTSelY1(int32_t Value);
  void SetFFTSelX2(int32_t Value);
  void SetFFTSelY2(int32_t Value);
  int32_t GetFFTSelX1() const { return FFFTSelX1; }
  int32_t GetFFTSelY1() const { return FFFTSelY1; }
  int32_t GetFFTSelX2() const { return FFFTSelX2; }
  int32_t GetFFTSelY2() const { return FFFTSelY2; }
  TMemoryStream* GetFFTData() const { return FFFTData.get(); }

  int32_t Contrast = 0, Brightness = 0;
  int32_t HSVHue = 0, HSVSat = 0, HSVVal = 0;
  int32_t HSLHue = 0, HSLSat = 0, HSLLum = 0;
  int32_t RGBRed = 0, RGBGreen = 0, RGBBlue = 0;
  TIEFilterKernel3x3 UserFilter;
  TRGB EqualizeLow1, EqualizeHigh1, EqualizeLow2, EqualizeHigh2;
  int32_t EqualizeButton = 0;
  int32_t BumpX = 0, BumpY = 0, BumpWidth = 150, BumpHeight = 150;
  TRGB BumpColor;
  int32_t BumpMix = 0;
  bool BumpFirstTime = true;
  int32_t LensX = 0, LensY = 0, LensWidth = 150, LensHeight = 150;
  double LensRef = 1.7;
  bool LensFirstTime = true;
  int32_t WaveAmplitude = 10, WaveWaveLength = 10, WavePhase = 0, WaveReflective = 0;
  int32_t MorphFilter = 0, MorphWinSize = 1;
  double RotateAngle = 0.0;
  double GammaValue = 1.0;
  int32_t SharpenAmount = 1, SharpenSize = 4;
  bool FFTGrayScale = true;

 private:
  int32_t FFFTSelX1 = -1, FFFTSelY1 = -1, FFFTSelX2 = -1, FFFTSelY2 = -1;
  std::unique_ptr<TMemoryStream> FFFTData;
};

// What the launcher hands to the effects dialog.  The dialog works on Image
// (the image or selection box, already 24-bit, with its alpha plane when the
// page has one) and, on OK, leaves its result there and answers true.
struct TIEEffectsDialogRequest {
  TIEBitmap* Image = nullptr;
  TIPDialogParams* Params = nullptr;
  uint16_t Effects = ppeEveryTab;
  bool Resizable = true;
  int32_t Width = 0, Height = 0;  // the dialog's size
  bool Centred = true;            // else placed at Left, Top
  int32_t Left = 0, Top = 0;
  TColor Background = TColor(0);  // of both preview views
  bool LockPreview = false;       // in: initial state; out: final state
  bool ShowResetButton = true;
  bool HardReset = true;
  bool KeepSelectedTab = true;
  TIEProgressEvent OnProgress;
  TObject* Sender = nullptr;
  std::string FilterFolder;  // initial folder of the filter file dialogs
  // Called with the dialog just before it is shown.
  std::function<void(TObject* Dialog)> OnShow;
  // Out: the caption of the applied effects (the undo caption).
  std::string Caption;
};
using TIEEffectsDialogRunner = std::function<bool(TIEEffectsDialogRequest& Request)>;
// Installed by the dialogs layer; an empty runner removes it.
void IESetEffectsDialogRunner(TIEEffectsDialogRunner Runner);
const TIEEffectsDialogRunner& IEGetEffectsDialogRunner();

// The processing unit's start-up and shut-down, called once by the library's
// start-up: registers the clipboard format of the raw image form.
void IEFolioProcInit();
void IEFolioProcFinal();
// Its identifier (registered on first use; 0 when registering failed).
uint32_t IEFolioRawClipboardFormat();
