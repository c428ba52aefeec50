#include "processing/effects_launcher.h"

#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/application.h"
#include "platform/vcl/clipboard.h"
#include "processing/folio_proc.h"
#include "views/view_base.h"

namespace {

TIEEffectsDialogRunner& Runner() {
  static TIEEffectsDialogRunner R;
  return R;
}

uint32_t RawFormat = 0;

}  // namespace

TIPDialogParams::TIPDialogParams() : FFFTData(std::make_unique<TMemoryStream>()) { Reset(); }

TIPDialogParams::~TIPDialogParams() = default;

void TIPDialogParams::Reset() {
  SetFFTSelX1(-1);
  SetFFTSelY1(-1);
  SetFFTSelX2(-1);
  SetFFTSelY2(-1);
  Contrast = Brightness = 0;
  HSVHue = HSVSat = HSVVal = 0;
  HSLHue = HSLSat = HSLLum = 0;
  RGBRed = RGBGreen = RGBBlue = 0;
  UserFilter = TIEFilterKernel3x3{};
  UserFilter.Values[1][1] = 1;
  const TRGB Black = IECreateRGB(0, 0, 0), White = IECreateRGB(255, 255, 255);
  EqualizeLow1 = Black;
  EqualizeHigh1 = White;
  EqualizeLow2 = Black;
  EqualizeHigh2 = White;
  EqualizeButton = 0;
  BumpX = BumpY = 0;
  BumpWidth = BumpHeight = 150;
  BumpColor = White;
  BumpMix = 0;
  BumpFirstTime = true;
  LensX = LensY = 0;
  LensWidth = LensHeight = 150;
  LensRef = 1.7;
  LensFirstTime = true;
  WaveAmplitude = 10;
  WaveWaveLength = 10;
  WavePhase = 0;
  WaveReflective = 0;
  MorphFilter = 0;
  MorphWinSize = 1;
  RotateAngle = 0.0;
  GammaValue = 1.0;
  SharpenAmount = 1;
  SharpenSize = 4;
  FFTGrayScale = true;
  FFFTData->Clear();
}

void TIPDialogParams::SetFFTSelX1(int32_t Value) {
  FFFTSelX1 = Value;
  FFFTData->Clear();
}
void TIPDialogParams::SetFFTSelY1(int32_t Value) {
  FFFTSelY1 = Value;
  FFFTData->Clear();
}
void TIPDialogParams::SetFFTSelX2(int32_t Value) {
  FFFTSelX2 = Value;
  FFFTData->Clear();
}
void TIPDialogParams::SetFFTSelY2(int32_t Value) {
  FFFTSelY2 = Value;
  FFFTData->Clear();
}

void IESetEffectsDialogRunner(TIEEffectsDialogRunner R) { Runner() = std::move(R); }
const TIEEffectsDialogRunner& IEGetEffectsDialogRunner() { return Runner(); }

void IEFolioProcInit() {
  // The 1-bit expansion table and the preset filters are constant tables;
  // only the clipboard format needs registering.
  RawFormat = RegisterClipboardFormat("FOLIO RAW FORMAT");
}

void IEFolioProcFinal() {}

uint32_t IEFolioRawClipboardFormat() {
  // Registered on first use too, so the format exists before the library's
  // start-up has run.
  if (RawFormat == 0) RawFormat = RegisterClipboardFormat("FOLIO RAW FORMAT");
  return RawFormat;
}

TIPDialogParams* TFolioProc::GetIPDialogParams() {
  if (!FIPDialogParams) FIPDialogParams = std::make_unique<TIPDialogParams>();
  return FIPDialogParams.get();
}

bool TFolioProc::ShowEffectsDialog(uint16_t Effects, bool Resizable, int32_t Width, int32_t Height,
                                   int32_t Left, int32_t Top) {
  // The view does not repaint while the dialog is up; the end of work is
  // reported whatever happens.
  struct TPaintLock {
    TFolioProc* P;
    TIEView* View;
    ~TPaintLock() {
      if (View) View->UnlockPaint();
      P->NotifyFinishWork();
    }
  } Lock{this, FAttachedFolio};
  if (FAttachedFolio) FAttachedFolio->LockPaint();

  if (!EnsurePixelFormat(0) || FIEBitmap->IsEmpty() ||
      (FIEBitmap->GetWidth() < 2 && FIEBitmap->GetHeight() < 2))
    return false;
  const TIEEffectsDialogRunner& Run = IEGetEffectsDialogRunner();
  if (!Run) return false;
  int32_t X1, Y1, X2, Y2;
  TIEMask* Mask;
  if (!GetSelectionArea(X1, Y1, X2, Y2, Mask)) Mask = nullptr;
  const int32_t W = X2 - X1, H = Y2 - Y1;
  if (W < 1 || H < 1) return false;

  // The dialog's image: the rectangle in 24-bit colour, with its alpha.
  auto Image = std::make_unique<TIEBitmap>(W, H, FIEBitmap->GetPixelFormat());
  if (FIEBitmap->GetPixelFormat() == ie8p) FIEBitmap->CopyPaletteTo(Image.get());
  FIEBitmap->CopyRectTo(Image.get(), X1, Y1, 0, 0, W, H);
  if (Image->GetPixelFormat() != ie24RGB) Image->SetPixelFormat(ie24RGB);
  if (FIEBitmap->HasAlphaChannel()) {
    FIEBitmap->GetAlphaChannel()->CopyRectTo(Image->GetAlphaChannel(), X1, Y1, 0, 0, W, H);
    Image->GetAlphaChannel()->SetFull(FIEBitmap->GetAlphaChannel()->GetFull());
  }
  // What the dialog started from: a result equal to it changes nothing.
  TIEBitmap Original;
  Original.Assign(Image.get());

  TIEEffectsDialogRequest R;
  R.Image = Image.get();
  R.Params = GetIPDialogParams();
  R.Effects = Effects;
  R.Resizable = Resizable;
  const int32_t Ppi = Screen ? Screen->GetPixelsPerInch() : 96;
  R.Width = Width >= 1 ? Width : int32_t(Ppi / 96.0 * 536);
  R.Height = Height >= 1 ? Height : int32_t(Ppi / 96.0 * 421);
  R.Centred = Left < 0 && Top < 0;
  R.Left = Left;
  R.Top = Top;
  R.Background = GetBackground();
  R.LockPreview = (FPreviewsParams & prppDefaultLockPreview) != 0;
  R.ShowResetButton = (FPreviewsParams & prppShowResetButton) != 0;
  R.HardReset = (FPreviewsParams & prppHardReset) != 0;
  R.KeepSelectedTab = (FPreviewsParams & prppResetSelectedTab) == 0;
  R.OnProgress = ProgressHandler();
  R.Sender = this;
  if (OnPreview) R.OnShow = [this](TObject* Dialog) { OnPreview(this, Dialog); };
  if (!Run(R)) return false;

  FPreviewsParams = uint8_t(R.LockPreview ? FPreviewsParams | prppDefaultLockPreview
                                          : FPreviewsParams & ~prppDefaultLockPreview);
  // Confirming without any effect leaves the page as it is, in its own
  // format and without an undo entry.
  if (IEBitmapsEqual(Image.get(), &Original)) return true;
  if (FAutoUndo) PushUndoWithCaption(R.Caption, ieuImage);
  EnsurePixelFormat(IEPixelFormatSetOf({ie24RGB}));
  const bool Whole = !Mask || Mask->IsEmpty() ||
                     (X1 <= 0 && Y1 <= 0 && X2 > FIEBitmap->GetWidth() && Y2 > FIEBitmap->GetHeight());
  if (Whole) {
    // An effect such as rotation may have changed the size.
    const int32_t NW = X1 + Image->GetWidth(), NH = Y1 + Image->GetHeight();
    if (X1 == 0 && Y1 == 0) {
      FIEBitmap->SetWidth(Image->GetWidth());
      FIEBitmap->SetHeight(Image->GetHeight());
    } else {
      if (NW > FIEBitmap->GetWidth()) FIEBitmap->SetWidth(NW);
      if (NH > FIEBitmap->GetHeight()) FIEBitmap->SetHeight(NH);
    }
    Image->CopyRectTo(FIEBitmap, 0, 0, X1, Y1, Image->GetWidth(), Image->GetHeight());
    if (Image->HasAlphaChannel())
      Image->GetAlphaChannel()->CopyRectTo(FIEBitmap->GetAlphaChannel(), 0, 0, X1, Y1, Image->GetWidth(),
                                           Image->GetHeight());
  } else {
    Mask->CopyBitmap(FIEBitmap, Image.get(), false, true, false);
  }
  Refresh();
  return true;
}
