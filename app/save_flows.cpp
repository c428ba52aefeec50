// The save flows: "Save" back over the document's file, "Save page", every
// page to numbered files, the whole document as one multi-page file, and the
// image strips.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/app_settings.h"
#include "app/file_choice.h"
#include "app/main_form.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "platform/vcl/application.h"
#include "platform/vcl/status_bar.h"
#include "processing/folio_proc.h"
#include "views/folio_view.h"
#include "views/multi_view.h"
#include "widgets/progress_bar.h"

#include <QWidget>

namespace {

const char* const KSaveImageFilter =
    "Windows Bitmap (BMP)|*.bmp|JPEG Bitmap (JPG)|*.jpg|CompuServe Bitmap (GIF)|*.gif|TIFF Bitmap (TIF)|*.tif|"
    "PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|Targa Bitmap (TGA)|*.tga|JPEG2000 "
    "(JP2)|*.jp2|PostScript Level 2 (PS)|*.ps|Adobe PSD|*.psd|Adobe PDF|*.pdf|Wireless Bitmap (WBMP)|*.wbmp";
const char* const KMultiSaveFilter =
    "TIFF files|*.tif|PDF files|*.pdf|DCX files|*.dcx|PS files|*.ps|GIF files|*.gif";

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

bool IsMono(TIEBitmap* B) { return B && B->GetPixelFormat() == ie1g; }

}  // namespace

void Tform_multipage::SetFaxParams(TIOParamsVals* Params) {
  if (!Params) return;
  Params->TiffCompression = ietcG4Fax;
  Params->BitsPerSample = 1;
  Params->SamplesPerPixel = 1;
}

void Tform_multipage::SetFaxParamsOfMonoPages() {
  // Group 4 suits black-and-white pages only: a colour page keeps its own
  // parameters even when a black-and-white page is shown.
  for (int32_t i = 0; i < PageCount(); ++i) {
    TIEBitmap* B = FolioMView1->GetIEBitmap(i);
    const bool Mono = IsMono(B);
    FolioMView1->ReleaseBitmap(i);
    if (Mono) SetFaxParams(FolioMIO1->ParamsOf(i));
  }
}

bool Tform_multipage::ConfirmReplace(const std::string& FileName) {
  if (!FileExists(FileName)) return true;
  return MessageDlg(FileName + " already exists.\r\nDo you want to replace it?", mtConfirmation, mbYes | mbNo, 0) ==
         mrYes;
}

void Tform_multipage::ReportWriteFailure(const std::string& FileName) {
  MessageDlg("The file \"" + FileName + "\" could not be written." +
                 (FileExists(FileName) ? " The file on disk was left as it was." : ""),
             mtError, mbOK, 0);
}

void Tform_multipage::RepaintWindow() {
  // Paints the whole window now, so a dialog that has just closed leaves
  // nothing behind while a long command runs without serving events.
  if (QWidget* W = GetWidget()) W->repaint();
}

void Tform_multipage::BeginWriting() {
  RepaintWindow();
  Screen->SetCursor(crHourGlass);
  if (Gauge1) {
    Gauge1->SetMax(100);
    Gauge1->SetPosition(0);
    Gauge1->SetVisible(true);
  }
  SetStatus(4, "");
  if (StatusBar1) StatusBar1->Repaint();
}

void Tform_multipage::ShowWriteProgress(int32_t Percent) {
  if (!Gauge1 || Percent == Gauge1->GetPosition()) return;
  Gauge1->SetPosition(Percent);
  // Painted at once: no events are served while pages are written.
  if (StatusBar1) StatusBar1->Repaint();
}

void Tform_multipage::EndWriting(const std::string& FileName, bool Written) {
  if (Gauge1) {
    Gauge1->SetPosition(0);
    Gauge1->SetVisible(false);
  }
  Screen->SetCursor(crDefault);
  if (Written) SetStatus(4, "Saved " + FileName);
  if (StatusBar1) StatusBar1->Repaint();
}

bool Tform_multipage::SaveTo(const std::string& FileName, int32_t Format) {
  FolioMIO1->SetAborting(false);
  BeginWriting();
  FolioMIO1->OnProgress = [this](TObject*, int32_t Percent) { ShowWriteProgress(Percent); };
  try {
    switch (Format) {
      case ioTIFF:
        SetFaxParamsOfMonoPages();
        FolioMIO1->SaveTiffFile(FileName, false);
        break;
      case ioGIF:
        FolioMIO1->SaveGifFile(FileName);
        break;
      case ioDCX:
        FolioMIO1->SaveDcxFile(FileName);
        break;
      case ioPDF:
        FolioMIO1->SavePdfFile(FileName);
        break;
      case ioPS:
        FolioMIO1->SavePsFile(FileName);
        break;
      default:
        return false;
    }
  } catch (const Exception&) {
    FolioMIO1->SetAborting(true);
  }
  FolioMIO1->OnProgress = nullptr;
  const bool Written = !FolioMIO1->GetAborting();
  EndWriting(FileName, Written);
  if (!Written) {
    ReportWriteFailure(FileName);
    return false;
  }
  return true;
}

bool Tform_multipage::WriteDocumentAs(const std::string& FileName) {
  const std::string Ext = Lower(ExtractFileExt(FileName));
  int32_t Format = ioUnknown;
  if (Ext == ".tif" || Ext == ".tiff")
    Format = ioTIFF;
  else if (Ext == ".pdf")
    Format = ioPDF;
  else if (Ext == ".ps")
    Format = ioPS;
  else if (Ext == ".dcx")
    Format = ioDCX;
  else if (Ext == ".gif")
    Format = ioGIF;
  if (Format == ioUnknown) {
    MessageDlg("A multi-page file cannot be written with the extension \"" + Ext +
                   "\".\r\nUse .tif, .pdf, .ps, .dcx or .gif.",
               mtInformation, mbOK, 0);
    return false;
  }
  const bool Ok = SaveTo(FileName, Format);
  if (Ok) FModified = false;
  return Ok;
}

void Tform_multipage::Save(TObject* Sender) {
  if (PageCount() == 0) return;
  const bool HasFile = DocumentName != KUntitled && FileExists(DocumentName);
  if (!HasFile) {
    // A document of one page is saved as a picture; more pages need a
    // multi-page file, or all but the shown page would be lost.
    if (PageCount() > 1)
      SaveMultipage(Sender);
    else
      SaveOne(Sender);
    return;
  }
  if (FIncomplete) {
    MessageDlg("\"" + DocumentName +
                   "\" was not read completely; saving over it would lose its other pages.\r\nChoose a new name.",
               mtInformation, mbOK, 0);
    SaveMultipage(Sender);
    return;
  }
  const TIEFileFormat Format = IEDetectFileFormat(DocumentName, false);
  if (Format != ioTIFF && Format != ioGIF && Format != ioDCX) {
    MessageDlg("\"" + DocumentName + "\" cannot be written back in its format.\r\nChoose a name to save the document as.",
               mtInformation, mbOK, 0);
    SaveMultipage(Sender);
    return;
  }
  // A fresh backup of the file as it was, replacing an older one.
  const std::string Backup = ChangeFileExt(DocumentName, ".bak");
  std::error_code Ec;
  std::filesystem::copy_file(DocumentName, Backup, std::filesystem::copy_options::overwrite_existing, Ec);
  if (Ec) {
    MessageDlg("The backup \"" + Backup + "\" could not be made: " + Ec.message() + ".\r\nThe document was not saved.",
               mtError, mbOK, 0);
    return;
  }
  if (SaveTo(DocumentName, Format)) {
    FModified = false;
    ClearUndoRedo();
  }
  UpdateControls();
}

void Tform_multipage::SaveOne(TObject* Sender) {
  if (PageCount() == 0 || !PageView) return;
  TFileChoiceRequest R;
  R.Save = true;
  R.Title = "Save page";
  R.AttachedIO = FolioMIO1;
  R.Filter = KSaveImageFilter;
  R.DefaultExt = ".bmp";
  if (DocumentName != KUntitled) R.FileName = ChangeFileExt(ExtractFileName(DocumentName), "");
  const std::string Name = ChooseFile(R);
  if (Name.empty()) return;
  TFolioIO* IO = PageView->GetIO();
  // The page's own parameters (and what the save dialog set in them).
  if (CurrentPage >= 0)
    if (TIOParamsVals* P = FolioMIO1->ParamsOf(CurrentPage)) IO->GetParams()->Assign(P);
  if (PageIsMono()) SetFaxParams(IO->GetParams());
  if (ConfirmReplace(Name)) {
    IO->SetAborting(false);
    bool Failed = false;
    BeginWriting();
    try {
      IO->SaveToFile(Name);
      Failed = IO->GetAborting();
    } catch (const Exception&) {
      Failed = true;
    }
    EndWriting(Name, !Failed);
    if (Failed) ReportWriteFailure(Name);
  }
  ClearUndoRedo();
  UpdateControls();
}

void Tform_multipage::SaveAllSepat(TObject* Sender) {
  if (PageCount() == 0 || !IEn) return;
  TFileChoiceRequest R;
  R.Save = true;
  R.Title = "Save all pages";
  R.AttachedIO = FolioMIO1;
  R.Filter = KSaveImageFilter;
  R.FilterIndex = 1;
  R.DefaultExt = ".bmp";
  R.FileName = ChangeFileExt(DocumentName, ".bmp");
  const std::string Name = ChooseFile(R);
  if (Name.empty()) return;
  const std::string Folder = ExtractFilePath(Name);
  const std::string Ext = Lower(ExtractFileExt(Name));
  std::string Base = ExtractFileName(Name);
  Base = Base.substr(0, Base.size() - Ext.size());
  TFolioIO* IO = IEn->GetIO();
  for (int32_t i = 0; i < PageCount(); ++i) {
    Application->ProcessMessages();
    FolioMView1->CopyToIEBitmap(i, IEn->GetIEBitmap());
    IEn->Update();
    // Each page is written with its own parameters; only black-and-white
    // pages get the facsimile ones.
    if (TIOParamsVals* P = FolioMIO1->ParamsOf(i)) IO->GetParams()->Assign(P);
    if (IsMono(IEn->GetIEBitmap())) SetFaxParams(IO->GetParams());
    const std::string Target = Folder + Base + "[" + std::to_string(i + 1) + "]" + Ext;
    if (!ConfirmReplace(Target)) continue;
    IO->SetAborting(false);
    bool Failed = false;
    try {
      IO->SaveToFile(Target);
      Failed = IO->GetAborting();
    } catch (const Exception&) {
      Failed = true;
    }
    if (Failed) {
      ReportWriteFailure(Target);
      break;
    }
  }
  UpdateControls();
}

void Tform_multipage::SaveMultipage(TObject* Sender) {
  if (PageCount() == 0) return;
  TFileChoiceRequest R;
  R.Save = true;
  R.Title = "Save all pages as multipage file";
  R.AttachedIO = FolioMIO1;
  R.Filter = KMultiSaveFilter;
  R.FilterIndex = 1;
  R.DefaultExt = ".tif";
  R.FileName = ChangeFileExt(DocumentName, ".tif");
  const std::string Name = ChooseFile(R);
  if (Name.empty()) return;
  const std::string Ext = Lower(ExtractFileExt(Name));
  const bool Known = Ext == ".tif" || Ext == ".tiff" || Ext == ".pdf" || Ext == ".ps" || Ext == ".dcx" || Ext == ".gif";
  if (Known && !ConfirmReplace(Name)) return;
  if (WriteDocumentAs(Name)) ClearUndoRedo();
  UpdateControls();
}

void Tform_multipage::BitmapStrip(TObject* Sender) {
  const int32_t N = PageCount();
  if (N == 0 || !IEn || !IEnIO) return;
  auto* C = dynamic_cast<TComponent*>(Sender);
  const bool Horizontal = C && C->GetName() == "HorizontalStrip";
  if (Gauge1) {
    Gauge1->SetMax(N);
    Gauge1->SetPosition(0);
    Gauge1->SetVisible(true);
  }
  int32_t W = 0, H = 0;
  for (int32_t i = 0; i < N; ++i) {
    Application->ProcessMessages();
    W = std::max(W, FolioMView1->GetImageWidth(i));
    H = std::max(H, FolioMView1->GetImageHeight(i));
    if (Gauge1) Gauge1->SetPosition(i + 1);
  }
  TIEBitmap Strip;
  TIEBitmap Page;
  for (int32_t i = 0; i < N; ++i) {
    Application->ProcessMessages();
    FolioMView1->CopyToIEBitmap(i, &Page);
    if (i == 0) {
      Strip.Assign(&Page);
    } else {
      if (Page.GetPixelFormat() != Strip.GetPixelFormat()) {
        // A strip that starts black-and-white stays so; others take colour.
        if (Strip.GetPixelFormat() != ie1g && Strip.GetPixelFormat() != ie24RGB) Strip.ConvertToPixelFormat(ie24RGB);
        Page.ConvertToPixelFormat(Strip.GetPixelFormat());
      }
      const double White = Strip.GetPixelFormat() == ie1g ? 1.0 : 0xFFFFFF;
      if (Horizontal) {
        const int32_t X = Strip.GetWidth();
        Strip.Resize(X + Page.GetWidth(), H, White, 255, 0, 0);
        Page.CopyRectTo(&Strip, 0, 0, X, 0, Page.GetWidth(), Page.GetHeight());
      } else {
        const int32_t Y = Strip.GetHeight();
        Strip.Resize(W, Y + Page.GetHeight(), White, 255, 0, 0);
        Page.CopyRectTo(&Strip, 0, 0, 0, Y, Page.GetWidth(), Page.GetHeight());
      }
    }
    if (Gauge1) Gauge1->SetPosition(i + 1);
    if ((Horizontal ? Strip.GetWidth() : Strip.GetHeight()) > 10000) break;
  }
  IEn->GetIEBitmap()->Assign(&Strip);
  IEn->Update();

  TFileChoiceRequest R;
  R.Save = true;
  R.Title = "Save image strip";
  R.AttachedIO = IEnIO;
  R.Filter = KSaveImageFilter;
  R.DefaultExt = ".bmp";
  R.FileName = ChangeFileExt(DocumentName, ".bmp");
  const std::string Name = ChooseFile(R);
  if (!Name.empty() && ConfirmReplace(Name)) {
    IEnIO->SetAborting(false);
    bool Failed = false;
    try {
      IEnIO->SaveToFile(Name);
      Failed = IEnIO->GetAborting();
    } catch (const Exception&) {
      Failed = true;
    }
    if (Failed) ReportWriteFailure(Name);
  }
  if (Gauge1) {
    Gauge1->SetPosition(0);
    Application->ProcessMessages();
    Gauge1->SetVisible(false);
  }
  ClearUndoRedo();
  UpdateControls();
}
