// The image save dialog.
#include <algorithm>

#include "dialogs/image_file_dialogs.h"
#include "dialogs/word_tables.h"
#include "foundations/file_utils.h"
#include "foundations/image_buffer.h"
#include "foundations/view_geometry.h"
#include "io/folio_io.h"
#include "io/multi_io.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/combo_box.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/file_dialog.h"
#include "platform/vcl/stdctrls.h"
#include "views/folio_view.h"
#include "views/folio_vect.h"
#include "views/multi_view.h"
#include "widgets/progress_bar.h"
#include "widgets/speed_button.h"

TSaveFolioDialog::TSaveFolioDialog(TComponent* AOwner) : TOpenFolioDialog(AOwner) {
  FShowPreview = true;
  const TIEFileFormatInfo* Gif = IEFindFormatById(ioGIF);
  std::string F = "JPEG Bitmap (JPG)|*.jpg";
  if (Gif && Gif->WriteProc) F += "|CompuServe Bitmap (GIF)|*.gif";
  F += "|TIFF Bitmap (TIF)|*.tif|PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png"
       "|Windows Bitmap (BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp|Targa Bitmap (TGA)|*.tga"
       "|Portable PixMap (PXM)|*.pxm|Portable PixMap (PPM)|*.ppm|Portable GreyMap (PGM)|*.pgm"
       "|Portable Bitmap (PBM)|*.pbm|JPEG2000 (JP2)|*.jp2|JPEG2000 Code Stream (J2K)|*.j2k"
       "|Multipage PCX (DCX)|*.dcx";
  SetFilter(F);
  FTimer = new TTimer(this);
  FTimer->SetName("AdvancedTimer");
  FTimer->SetEnabled(false);
  FTimer->SetInterval(100);
  FTimer->OnTimer = [this](TObject*) { UpdateAdvancedButton(); };
  FAdvancedButton->OnClick = [this](TObject* S) { AdvancedButtonClick(S); };
}

TSaveFolioDialog::~TSaveFolioDialog() {
  if (FAttached) FAttached->RemoveFreeNotification(this);
}

void TSaveFolioDialog::SetAttachedFolioIO(TComponent* Value) {
  auto* IO = dynamic_cast<TFolioIO*>(Value);
  auto* MIO = dynamic_cast<TFolioMIO*>(Value);
  auto* MView = dynamic_cast<TFolioMView*>(Value);
  auto* View = dynamic_cast<TFolioView*>(Value);
  if (!IO && !MIO && !MView && !View) return;
  if (FAttached) FAttached->RemoveFreeNotification(this);
  FAttached = Value;
  FAttached->FreeNotification(this);
  if (IO) SetMsgLanguage(IO->GetMsgLanguage());
  if (MIO) SetMsgLanguage(MIO->GetMsgLanguage());
}

void TSaveFolioDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TOpenFolioDialog::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAttached) FAttached = nullptr;
}

std::vector<TIOParamsVals*> TSaveFolioDialog::AttachedParams() const {
  std::vector<TIOParamsVals*> List;
  TFolioMIO* MIO = dynamic_cast<TFolioMIO*>(FAttached);
  if (auto* MView = dynamic_cast<TFolioMView*>(FAttached)) MIO = MView->GetMIO();
  if (MIO) {
    for (int32_t i = 0; i < MIO->GetImageCount(); ++i)
      if (TIOParamsVals* P = MIO->ParamsOf(i)) List.push_back(P);
  } else if (auto* IO = dynamic_cast<TFolioIO*>(FAttached)) {
    List.push_back(IO->GetParams());
  } else if (auto* View = dynamic_cast<TFolioView*>(FAttached)) {
    List.push_back(View->GetIO()->GetParams());
  }
  return List;
}

bool TSaveFolioDialog::Execute() {
  if (!FAttached) throw EInOutError("Cannot execute TSaveFolioDialog with AttachedFolioIO empty.");
  if (OnCreateCustomControls) OnCreateCustomControls(this);
  struct Finally {
    TSaveFolioDialog* D;
    ~Finally() {
      D->FSavedParams.clear();
      if (D->OnDestroyCustomControls) D->OnDestroyCustomControls(D);
    }
  } F{this};
  FShowPreview = (FExOptions & sdShowPreview) != 0;
  FTemplateName = FShowPreview ? "IDD_IETEMPLATE" : "IDD_IETEMPLATE1";
  if (GetAutoSetFilter()) SetFilter(BuildFilter(true));
  ApplyLanguage();
  FAdvancedButton->SetVisible((FExOptions & sdShowAdvanced) != 0);
  FAdvancedButton->SetBounds(GetShowPlacesBar() ? 474 : 333, 0, 75, 23);
  FPreviewCheck->SetVisible(FShowPreview);
  // A copy of every parameter set the advanced button may change, so that
  // Cancel puts all of them back (every page of a multi-image component).
  const std::vector<TIOParamsVals*> Params = AttachedParams();
  if (Params.empty()) return false;
  FSavedParams.clear();
  for (TIOParamsVals* P : Params) {
    auto Copy = std::make_unique<TIOParamsVals>();
    Copy->Assign(P);
    FSavedParams.push_back(std::move(Copy));
  }
  UpdateAdvancedButton();
  int32_t R = 0;
  try {
    R = RunFileDialog(true);
  } catch (...) {
    FTimer->SetEnabled(false);
    throw;
  }
  FTimer->SetEnabled(false);
  if (R == 0) {
    // Cancelled: the parameters the advanced button changed are undone. The
    // page list may have changed meanwhile only through the dialog, which
    // adds and removes no pages.
    const std::vector<TIOParamsVals*> Now = AttachedParams();
    for (size_t i = 0; i < Now.size() && i < FSavedParams.size(); ++i) Now[i]->Assign(FSavedParams[i].get());
  }
  const std::string Name = GetFileName();
  if (!Name.empty() && IEExtractFileExt(Name, false).empty()) {
    const std::string Ext = PatternExtension(
        GetCurrentPattern().empty() ? FilterPattern(GetFilter(), GetFilterIndex()) : GetCurrentPattern());
    SetFileName(Name + Ext);
  }
  return R != 0;
}

void TSaveFolioDialog::CurrentFormat(TIEParamsPages& Pages, TIEFileFormat& FileType) const {
  Pages = 0;
  FileType = ioUnknown;
  const std::string Name = GetFileNameW();
  const std::string Ext = IEExtractFileExt(Name, true);
  const TIEFileFormatInfo* Info = nullptr;
  if (!Ext.empty())
    Info = IEFindFormatByExtension(Ext);
  else if (!GetDefaultExt().empty())
    Info = IEFindFormatByExtension(GetDefaultExt());
  if (!Info) {
    const std::string Pattern =
        GetCurrentPattern().empty() ? FilterPattern(GetFilter(), GetFilterIndex()) : GetCurrentPattern();
    const size_t Dot = Pattern.rfind('.');
    // Only when the name gave nothing: a name with an unknown extension
    // keeps the button disabled.
    if (Ext.empty() && Dot != std::string::npos) Info = IEFindFormatByExtension(Pattern.substr(Dot + 1));
  }
  if (Info) {
    Pages = Info->ParamsPages;
    FileType = Info->FileType();
  }
}

void TSaveFolioDialog::UpdateAdvancedButton() {
  TIEParamsPages Pages;
  TIEFileFormat FileType;
  CurrentFormat(Pages, FileType);
  if (auto* IO = dynamic_cast<TFolioIO*>(FAttached)) IO->GetParams()->FileFormat = FileType;
  FAdvancedButton->SetEnabled(Pages != 0);
}

void TSaveFolioDialog::AdvancedButtonClick(TObject*) {
  TIEParamsPages Pages;
  TIEFileFormat FileType;
  CurrentFormat(Pages, FileType);
  if (Pages == 0) return;
  if (auto* IO = dynamic_cast<TFolioIO*>(FAttached)) {
    IO->GetParams()->FileFormat = FileType;
    IO->DoPreviews(Pages);
  } else if (auto* MIO = dynamic_cast<TFolioMIO*>(FAttached)) {
    MIO->ShowParamsPreviews(-1, Pages);
  } else if (auto* MView = dynamic_cast<TFolioMView*>(FAttached)) {
    if (TFolioMIO* M = MView->GetMIO()) M->ShowParamsPreviews(-1, Pages);
  } else if (auto* View = dynamic_cast<TFolioView*>(FAttached)) {
    View->GetIO()->GetParams()->FileFormat = FileType;
    View->GetIO()->DoPreviews(Pages);
  }
}

std::string TSaveFolioDialog::ReplaceExtension(const std::string& Name, const std::string& Ext) {
  std::string Base = IEExtractFileNameW(Name);
  const size_t Dot = Base.rfind('.');
  if (Dot != std::string::npos && Dot > 0) {
    // Only a known extension is replaced: "scan.2024.01.png" keeps its inner
    // dots, and "scan.2024.01" is a name without extension.
    const std::string Old = Base.substr(Dot + 1);
    if (IEFindFormatByExtension(Old) || SameText(Old, "avi") || SameText(Old, "mpg") ||
        SameText(Old, "mpeg") || SameText(Old, "wmv"))
      Base.erase(Dot);
  }
  return Base + Ext;
}

void TSaveFolioDialog::UpdateExtension() {
  if (!FForm) return;
  const std::string Spec = GetFileSpecW();
  if (Spec.empty()) return;
  FForm->SetFileNameText(ReplaceExtension(Spec, PatternExtension(GetCurrentPattern())));
}

bool TSaveFolioDialog::ShowSavedImage() {
  if (!FShowPreview || !FPreviewCheck->GetChecked()) return false;
  TIEBitmap Page;
  const TIOParamsVals* Params = nullptr;
  // The page a multi-image component writes first: the selected one, or 0.
  auto FromList = [&](TFolioMView* View, TFolioMIO* MIO) {
    if (!View || View->GetImageCount() == 0) return;
    const int32_t Index = std::max(0, View->GetSelectedImage());
    View->CopyToIEBitmap(Index, &Page);
    if (MIO) Params = MIO->ParamsOf(Index);
  };
  if (auto* MIO = dynamic_cast<TFolioMIO*>(FAttached)) {
    FromList(MIO->GetAttachedMView(), MIO);
  } else if (auto* MView = dynamic_cast<TFolioMView*>(FAttached)) {
    FromList(MView, MView->GetMIO());
  } else if (auto* IO = dynamic_cast<TFolioIO*>(FAttached)) {
    if (IO->GetIEBitmap()) Page.Assign(IO->GetIEBitmap());
    Params = IO->GetParams();
  } else if (auto* View = dynamic_cast<TFolioView*>(FAttached)) {
    Page.Assign(View->GetIEBitmap());
    Params = View->GetIO()->GetParams();
  }
  if (Page.GetWidth() < 2 && Page.GetHeight() < 2) return false;
  FFolioMView->SetPlaying(false);
  FFolioMView->SetVisible(false);
  FFolioView->SetVisible(true);
  FProgressBar->SetVisible(false);
  FFolioView->SetIEBitmap(&Page);
  if (Params) {
    FFolioView->SetDpi(Params->DpiX, Params->DpiY);
    FFolioView->SetPixelAspect(IEPixelAspect(Params->DpiX, Params->DpiY));
  }
  FFolioView->Update();
  // The labels describe the page as it is now.
  TIOParamsVals Shown;
  if (Params) Shown.Assign(Params);
  Shown.Width = Page.GetWidth();
  Shown.Height = Page.GetHeight();
  Shown.StoredWidth = Shown.StoredHeight = 0;
  const int32_t Bits = Page.GetBitCount();
  Shown.SamplesPerPixel = Bits == 32 ? 4 : Bits >= 24 ? 3 : 1;
  Shown.BitsPerSample = Bits / Shown.SamplesPerPixel;
  ShowFileInfo(&Shown);
  FPreviewButton->SetEnabled(true);
  FPlayButton->SetEnabled(false);
  FZoomCombo->SetEnabled(true);
  ApplyPreviewZoom();
  return true;
}

void TSaveFolioDialog::UpdatePreview() {
  if (ShowSavedImage()) {
    if (OnSelectionChange) OnSelectionChange(this);
    return;
  }
  TOpenFolioDialog::UpdatePreview();
}

void TSaveFolioDialog::DoShow() {
  TOpenFolioDialog::DoShow();
  ShowSavedImage();
}

void TSaveFolioDialog::DoTypeChange() {
  UpdateExtension();
  UpdateAdvancedButton();
  TOpenFolioDialog::DoTypeChange();
}
