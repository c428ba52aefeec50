// The open dialog's preview: loading in the background, the labels, the
// zoom, playing and the full-size window.
#include <QApplication>
#include <QScreen>
#include <algorithm>

#include "dialogs/image_file_dialogs.h"
#include "dialogs/preview_loader.h"
#include "dialogs/word_tables.h"
#include "foundations/file_utils.h"
#include "foundations/image_buffer.h"
#include "foundations/view_geometry.h"
#include "io/multi_io.h"
#include "platform/vcl/application.h"
#include "platform/vcl/combo_box.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/file_dialog.h"
#include "platform/vcl/stdctrls.h"
#include "views/folio_vect.h"
#include "views/multi_view.h"
#include "widgets/progress_bar.h"
#include "widgets/speed_button.h"

namespace {

// The first name in double quotes of a multi-selection text, with the folder
// before it; "" when the text does not begin with a quote.
std::string FirstQuotedName(const std::string& Typed) {
  const size_t Slash = Typed.find_last_of("/\\", Typed.find('"'));
  const std::string Folder = Slash == std::string::npos ? std::string() : Typed.substr(0, Slash + 1);
  const std::string Rest = Typed.substr(Folder.size());
  if (Rest.empty() || Rest[0] != '"') return std::string();
  const size_t Close = Rest.find('"', 1);
  return Folder + Rest.substr(1, Close == std::string::npos ? std::string::npos : Close - 1);
}

std::string SizeText(int64_t Bytes, TMsgLanguage L) {
  if (Bytes >= 1024) return std::to_string(Bytes / 1024) + " " + IEWordLookup(144, L);
  return std::to_string(Bytes) + " " + IEWordLookup(142, L);
}

std::string TrimBlanks(const std::string& S) {
  const size_t B = S.find_first_not_of(' ');
  if (B == std::string::npos) return std::string();
  return S.substr(B, S.find_last_not_of(' ') - B + 1);
}

}  // namespace

int64_t TOpenFolioDialog::MemoryNeed(int32_t Width, int32_t Height, int32_t Samples, int32_t Bits) {
  const int64_t B = (Samples == 1 && Bits == 1) ? 1 : 24;
  const int64_t W = std::max<int64_t>(0, Width), H = std::max<int64_t>(0, Height);
  return H * (((W * B) + 31) / 32 * 4);
}

bool TOpenFolioDialog::GetPreviewBusy() const { return FLoader->GetBusy(); }

void TOpenFolioDialog::WaitPreview() { FLoader->WaitIdle(); }

void TOpenFolioDialog::ShowFileInfo(const TIOParamsVals* Params) {
  if (!Params) {
    for (TLabel* L : {FInfoLabel1, FInfoLabel2, FPicLabel1, FPicLabel2, FPicLabel3}) L->SetCaption("");
    return;
  }
  const TMsgLanguage L = GetMsgLanguage();
  const int32_t W = Params->StoredWidth > 0 ? Params->StoredWidth : Params->Width;
  const int32_t H = Params->StoredHeight > 0 ? Params->StoredHeight : Params->Height;
  std::string P1;
  if (W > 0 && H > 0) P1 = std::to_string(W) + " x " + std::to_string(H) + " " + IEWordLookup(139, L);
  if (FFrameCount > 1) P1 += "   " + std::to_string(FFrameCount) + " " + IEWordLookup(140, L);
  FPicLabel1->SetCaption(TrimBlanks(P1));
  FPicLabel3->SetCaption(std::to_string(Params->DpiX) + " x " + std::to_string(Params->DpiY) + " " +
                         IEWordLookup(143, L));
  const int32_t S = Params->SamplesPerPixel, B = Params->BitsPerSample;
  const int64_t Bits = static_cast<int64_t>(S) * B;
  std::string Colors;
  if (S == 4 && B == 8)
    Colors = "16777216";
  else if (Bits >= 1 && Bits <= 32)
    Colors = std::to_string(int64_t{1} << Bits);
  else
    Colors = "2^" + std::to_string(Bits);
  FPicLabel2->SetCaption(Colors + " " + IEWordLookup(58, L) + " (" + std::to_string(Bits) + " " +
                         IEWordLookup(141, L) + ")");
  FInfoLabel2->SetCaption(IEWordLookup(126, L) + ": " + SizeText(FFileSize, L) + "   " +
                          IEWordLookup(127, L) + ": " + SizeText(MemoryNeed(W, H, S, B), L));
  FInfoLabel1->SetCaption(IEDescribeFileParams(Params));
}

void TOpenFolioDialog::EmptyPreview() {
  ShowFileInfo(nullptr);
  FPreviewButton->SetEnabled(false);
  FZoomCombo->SetEnabled(false);
  FPlayButton->SetEnabled(false);
  FFolioView->Blank();
  FFolioMView->SetPlaying(false);
  FFolioMView->Clear();
  FProgressBar->SetVisible(false);
}

void TOpenFolioDialog::UpdatePreview() {
  if (FInUpdatePreview) return;
  if (!FShowPreview) {
    if (OnSelectionChange) OnSelectionChange(this);
    return;
  }
  FInUpdatePreview = true;
  struct Guard {
    TOpenFolioDialog* D;
    ~Guard() { D->FInUpdatePreview = false; }
  } G{this};
  // Whatever was loading belongs to the previous selection.
  FLoader->Cancel();
  std::string Name;
  if (FOptions & ofAllowMultiSelect) Name = FirstQuotedName(GetTypedFileName());
  // The file just selected: a click in the list names it before the name box
  // follows, so the box would still hold the one selected before.
  if (Name.empty() && FForm) Name = FForm->GetSelectedPath();
  if (Name.empty()) Name = GetFileNameW();
  try {
    if (!IEFileExistsW(Name)) {
      EmptyPreview();
    } else {
      FFileSize = std::max<int64_t>(0, IEGetFileSize(Name));
      TIEPreviewRequest Req;
      Req.FileName = Name;
      Req.ShowAllFrames = FShowAllFrames;
      Req.AutoAdjustDPI = FAutoAdjustDPI;
      Req.FilteredAdjustDPI = FFilteredAdjustDPI;
      Req.ParamsOnly = !FPreviewCheck->GetChecked();
      if (!Req.ParamsOnly) {
        FFolioView->SetBackground(clBtnFace);
        FFolioMView->SetBackground(clBtnFace);
        FFolioMView->SetPlaying(false);
        FFolioView->Blank();
        FFolioMView->Clear();
        FPlayButton->SetDown(false);
        Req.WantedWidth = FFolioView->GetClientWidth();
        Req.WantedHeight = FFolioView->GetClientHeight();
        FFolioView->RemoveAllObjects();
        FFolioView->ClearLayers();
        FProgressBar->SetPosition(0);
        FProgressBar->SetVisible(true);
        FProgressBar->BringToFront();
      }
      if (OnPreviewFile) {
        // The caller loads the preview itself, here and now.
        OnPreviewFile(this, FFolioView, Name, Req.ParamsOnly);
        FFrameCount = 1;
        FProgressBar->SetVisible(false);
        FPreviewButton->SetEnabled(!Req.ParamsOnly);
        FZoomCombo->SetEnabled(!Req.ParamsOnly);
        ApplyPreviewZoom();
      } else {
        FLoader->Start(
            Req,
            [this, ParamsOnly = Req.ParamsOnly](TIEPreviewResult& R) {
              VclGuardedCall(this, [&] {
                if (ParamsOnly) {
                  FFrameCount = 1;
                  FProgressBar->SetVisible(false);
                  ShowFileInfo(R.Params && R.Params->FileFormat != ioUnknown ? R.Params.get() : nullptr);
                } else {
                  PreviewDone(R);
                }
              });
            },
            [this](int32_t Percent) { PreviewProgress(this, Percent); });
      }
    }
  } catch (...) {
    EmptyPreview();
  }
  if (OnSelectionChange) OnSelectionChange(this);
}

void TOpenFolioDialog::PreviewDone(TIEPreviewResult& R) {
  FProgressBar->SetVisible(false);
  if (R.Aborted && !R.Loaded && !(R.MultiFrame && FShowAllFrames)) {
    EmptyPreview();
    return;
  }
  if (R.MultiFrame && FShowAllFrames) {
    FFolioMView->SetThumbWidth(175);
    FFolioMView->SetThumbHeight(189);
    FFolioMView->SetHorizBorder(4);
    FFolioMView->SetVertBorder(4);
    FPlayButton->SetEnabled(true);
    FZoomCombo->SetEnabled(false);
    FFolioView->SetVisible(false);
    FFolioMView->SetVisible(true);
    TFolioMIO* MIO = FFolioMView->GetMIO();
    MIO->SetAutoAdjustDPI(FAutoAdjustDPI);
    MIO->SetFilteredAdjustDPI(FFilteredAdjustDPI);
    FFolioMView->FillFromFileFrames(R.FileName);
    FFrameCount = FFolioMView->GetImageCount();
    if (FFrameCount <= 0) FFrameCount = R.FrameCount;
    if (FFolioMView->GetImageCount() > 0) FFolioMView->SetSelectedImage(0);
    FPreviewButton->SetEnabled(true);
    if (FFrameCount > 0) ShowFileInfo(R.Params.get());
    const std::string Ext = IEExtractFileExt(R.FileName, true);
    const TIEFileFormatInfo* Gif = IEFindFormatById(ioGIF);
    if (FAlwaysAnimate && (Ext == ".avi" || (Ext == ".gif" && Gif && Gif->ReadProc))) {
      FPlayButton->SetDown(true);
      PlayButtonClick(FPlayButton);
    }
  } else if (R.Loaded) {
    FPlayButton->SetEnabled(false);
    FZoomCombo->SetEnabled(true);
    FFolioMView->SetVisible(false);
    FFolioView->SetVisible(true);
    FFolioView->SetIEBitmap(R.Bitmap.get());
    FFolioView->SetDpi(R.Params->DpiX, R.Params->DpiY);
    // At its true shape, also when its two resolutions differ.
    FFolioView->SetPixelAspect(IEPixelAspect(R.Params->DpiX, R.Params->DpiY));
    FFolioView->Update();
    FFrameCount = R.FrameCount;
    ShowFileInfo(R.Params.get());
    FPreviewButton->SetEnabled(true);
  } else {
    EmptyPreview();
    return;
  }
  ApplyPreviewZoom();
}

void TOpenFolioDialog::ApplyPreviewZoom() {
  if (!FZoomCombo || !FFolioView) return;
  const int32_t i = FZoomCombo->GetItemIndex();
  if (i < 0) return;
  const intptr_t Z = FZoomCombo->GetItemValue(i);
  if (Z == 0) {
    FFolioView->SetAutoFit(true);
    FFolioView->Update();
  } else {
    FFolioView->SetAutoFit(false);
    FFolioView->SetZoom(static_cast<double>(Z));
  }
}

void TOpenFolioDialog::ZoomComboChange(TObject*) { ApplyPreviewZoom(); }

void TOpenFolioDialog::PreviewProgress(TObject*, int32_t Percent) { FProgressBar->SetPosition(Percent); }

void TOpenFolioDialog::PlayButtonClick(TObject*) {
  const bool Play = FPlayButton->GetDown();
  if (Play) {
    FFolioMView->SetThumbWidth(std::max(1, FFolioMView->GetClientWidth() - 4));
    FFolioMView->SetThumbHeight(std::max(1, FFolioMView->GetClientHeight() - 4));
    FFolioMView->SetHorizBorder(0);
    FFolioMView->SetVertBorder(0);
  }
  FFolioMView->SetPlaying(Play);
  FPreviewButton->SetEnabled(!Play);
}

void TOpenFolioDialog::PreviewCheckClick(TObject*) {
  if (FPreviewCheck->GetChecked()) {
    UpdatePreview();
    return;
  }
  FLoader->Cancel();
  ShowFileInfo(nullptr);
  FFolioView->Blank();
  FFolioView->SetBackground(clBtnFace);
  FFolioView->SetAutoFit(false);
  FFolioView->SetZoom(100);
  FFolioMView->SetPlaying(false);
  FFolioMView->Clear();
  FFolioMView->SetBackground(clBtnFace);
  FFolioMView->SetVisible(false);
  FProgressBar->SetVisible(false);
  FPreviewButton->SetEnabled(false);
  FZoomCombo->SetEnabled(false);
}

void TOpenFolioDialog::FrameSelect(TObject*, int32_t Index) {
  FSelectedFrame = Index < 0 ? 0 : Index;
  if (Index < 0) {
    ShowFileInfo(nullptr);
    return;
  }
  if (Index < FFrameCount) {
    TFolioMIO* MIO = FFolioMView->GetMIO();
    if (const TIOParamsVals* P = MIO ? MIO->ParamsOf(Index) : nullptr)
      if (P->FileFormat != ioUnknown) ShowFileInfo(P);
  }
}

void TOpenFolioDialog::FramesDisplayed(TObject* Sender) {
  if (FFolioMView->GetSelectedImage() >= 0) FrameSelect(Sender, FFolioMView->GetSelectedImage());
}

void TOpenFolioDialog::ShowPreviewWindow(TObject*) {
  TForm Form(nullptr);
  Form.SetName("PreviewForm");
  Form.SetCaption(GetFileNameW());
  Form.SetBorderStyle(bsSizeToolWin);
  Form.SetPosition(poScreenCenter);
  Form.SetKeyPreview(true);
  auto* View = new TFolioVect(&Form);
  View->SetName("FolioView");
  View->SetParent(&Form);
  View->SetAlign(alClient);
  View->SetLegacyBitmap(false);
  View->SetMouseInteract(IEMI(miZoom) | IEMI(miScroll));
  View->SetBackground(clBtnFace);
  View->SetBackgroundStyle(iebsChessboard);
  View->SetEnableAlphaChannel(true);
  View->SetCenter(true);
  View->SetScrollBars(ssBoth);
  if (FFolioView->GetVisible() && !FFolioView->IsEmptyImage()) {
    View->Assign(FFolioView);
  } else if (FFolioMView->GetSelectedImage() >= 0) {
    TIEBitmap Copy;
    FFolioMView->CopyToIEBitmap(FFolioMView->GetSelectedImage(), &Copy);
    View->SetIEBitmap(&Copy);
  }
  Form.OnKeyDown = [&Form](TObject*, uint16_t& Key, TShiftState) {
    if (Key == 27) Form.SetModalResult(mrCancel);
  };
  const int32_t W = View->GetIEBitmap()->GetWidth(), H = View->GetIEBitmap()->GetHeight();
  int32_t SW = 1024, SH = 768;
  if (QScreen* S = QApplication::primaryScreen()) {
    SW = S->availableGeometry().width();
    SH = S->availableGeometry().height();
  }
  if (W <= 100)
    Form.SetWidth(100);
  else if (W < SW)
    Form.SetClientWidth(W);
  else
    Form.SetWidth(SW);
  if (H <= 100)
    Form.SetHeight(100);
  else if (H < SH)
    Form.SetClientHeight(H);
  else
    Form.SetHeight(SH);
  Form.ShowModal();
}
