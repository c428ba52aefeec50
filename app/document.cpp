// The document model: opening a file into the page list, choosing a page,
// showing it in the page view, zoom and the magnifier.
#include <algorithm>
#include <cmath>

#include "app/app_settings.h"
#include "app/file_choice.h"
#include "app/main_form.h"
#include "foundations/image_buffer.h"
#include "foundations/view_geometry.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/status_bar.h"
#include "processing/folio_proc.h"
#include "views/folio_view.h"
#include "views/layers.h"
#include "views/multi_view.h"

namespace {

const char* const KOpenFilter =
    "All graphics|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.gif;*.jpg;*.jpeg;*.jpe;*.pcx;*.bmp;*.dib;*.rle;*.ico;*.cur;"
    "*.png;*.wmf;*.emf;*.tga;*.targa;*.vda;*.icb;*.vst;*.pix;*.pxm;*.ppm;*.pgm;*.pbm;*.jp2;*.j2k;*.jpc;*.j2c;"
    "*.wbmp;*.dcx|TIFF Bitmap (TIF;TIFF;FAX;G3N;G3F)|*.tif;*.tiff;*.fax;*.g3n;*.g3f|Compuserve Bitmap "
    "(GIF)|*.gif|JPEG Bitmap (JPG;JPEG;JPE)|*.jpg;*.jpeg;*.jpe|PaintBrush (PCX)|*.pcx|Windows Bitmap "
    "(BMP;DIB;RLE)|*.bmp;*.dib;*.rle|Windows Icon (ICO)|*.ico|Windows Cursor (CUR)|*.cur|Portable Network "
    "Graphics (PNG)|*.png|Windows Metafile (WMF)|*.wmf|Enhanced Windows Metafile (EMF)|*.emf|Targa Bitmap "
    "(TGA;TARGA;VDA;ICB;VST;PIX)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix|Portable Pixmap, GreyMap, BitMap "
    "(PXM;PPM;PGM;PBM)|*.pxm;*.ppm;*.pgm;*.pbm|JPEG2000 (JP2)|*.jp2|JPEG2000 Code Stream "
    "(J2K;JPC;J2C)|*.j2k;*.jpc;*.j2c|Wireless Bitmap (WBMP)|*.wbmp|Multipage PCX (DCX)|*.dcx";

std::string NameOf(TObject* Sender) {
  auto* C = dynamic_cast<TComponent*>(Sender);
  return C ? C->GetName() : std::string();
}

// The zoom with its fraction cut off.
std::string ZoomText(double Zoom) { return std::to_string(static_cast<int64_t>(std::trunc(Zoom))); }

}  // namespace

bool Tform_multipage::ConfirmDiscard() {
  if (!FModified || PageCount() == 0) return true;
  const std::string Name = DocumentName == KUntitled ? KUntitled : ExtractFileName(DocumentName);
  const TModalResult R = MessageDlg("The document \"" + Name + "\" has been changed.\r\nDo you want to save the changes?",
                                    mtConfirmation, mbYesNoCancel, 0);
  if (R == mrYes) {
    Save(nullptr);
    return !FModified;
  }
  return R == mrNo;
}

bool Tform_multipage::LoadDocument(const std::string& FileName) {
  // Unsaved edits are offered for saving first; otherwise replacing pages is
  // confirmed.
  if (FModified && PageCount() > 0) {
    if (!ConfirmDiscard()) return false;
  } else if (PageCount() > 0) {
    if (MessageDlg("All images will be deleted. Are you sure?", mtConfirmation, mbYes | mbNo, 0) != mrYes)
      return false;
  }

  const TIEFileFormat Format = IEDetectFileFormat(FileName, false);
  int32_t CacheSize = 5;
  if (Format == ioTIFF)
    CacheSize = std::max(1, IETiffFileImageCount(FileName));
  else if (Format == ioGIF)
    CacheSize = std::max(1, IEFileImageCount(FileName, ioGIF));

  // The file is read beside the document first when there is a document to
  // keep; an empty document takes the pages directly.
  const bool Direct = PageCount() == 0;
  if (!Direct && !FLoadView) {
    FLoadView = new TFolioMView(this);
    FLoadView->SetName("DocumentLoader");
    FLoadMIO = new TFolioMIO(this);
    FLoadMIO->SetName("DocumentLoaderIO");
    FLoadMIO->SetAttachedMView(FLoadView);
  }
  TFolioMView* View = Direct ? FolioMView1 : FLoadView;
  TFolioMIO* MIO = Direct ? FolioMIO1 : FLoadMIO;

  FLoading = true;
  bool Failed = false;
  std::string Reason;
  try {
    View->Clear();
    View->SetImageCacheSize(CacheSize);
    View->SetImageCacheMemory(KPageCacheBudget);
    MIO->SetAborting(false);
    // Pages keep the pixels, size and both resolutions they were read with
    // (the view shows unequal resolutions at their true shape); only an
    // orientation the file states is applied, so pages come in upright.
    MIO->SetAutoAdjustDPI(false);
    MIO->SetApplyOrientation(true);
    MIO->LoadFile(FileName);
    Failed = MIO->GetAborting();
  } catch (const Exception& E) {
    Failed = true;
    Reason = E.Message;
  }
  FLoading = false;

  const int32_t Read = View->GetImageCount();
  if (Read == 0) {
    if (!Direct) View->Clear();
    std::string Text = "The file \"" + FileName + "\" contains no page that can be read.";
    if (!Reason.empty()) Text += "\r\n" + Reason;
    if (!Direct) Text += "\r\nThe open document is kept.";
    MessageDlg(Text, mtInformation, mbOK, 0);
    UpdateControls();
    return false;
  }

  if (!Direct) {
    // Replace the document with the pages just read.
    FLoading = true;
    FolioMView1->LockPaint();
    try {
      FolioMView1->Clear();
      if (PageView) PageView->Blank();
      FolioMView1->SetImageCacheSize(CacheSize);
      FolioMView1->SetImageCacheMemory(KPageCacheBudget);
      for (int32_t i = 0; i < Read; ++i) {
        const int32_t Index = FolioMView1->AppendImage();
        FolioMView1->SetIEBitmap(Index, View->GetIEBitmap(i));
        View->ReleaseBitmap(i);
        if (TIOParamsVals* P = FolioMIO1->ParamsOf(Index)) P->Assign(FLoadMIO->ParamsOf(i));
      }
    } catch (...) {
      FolioMView1->UnlockPaint();
      FLoading = false;
      View->Clear();
      throw;
    }
    FolioMView1->UnlockPaint();
    View->Clear();
    FLoading = false;
  }

  DocumentName = FileName;
  FModified = false;
  FIncomplete = Failed;
  CurrentPage = -1;
  FLoading = true;
  FolioMView1->SetSelectedImage(0);
  FLoading = false;
  ShowPage(0);
  CurrentPage = 0;
  // The first page opens filling the window's width, not at its top-left
  // corner at 100 %.
  if (PageView) {
    PageView->FitToWidth();
    ZoomPercent = PageView->GetZoom();
    PageView->SetViewY(0);
    ShowZoomText();
  }
  if (FolioMView1->CanFocus()) FolioMView1->SetFocus();
  ClearUndoRedo();
  UpdateControls();

  if (Failed) {
    // What was read is offered; "Save" will not write it over the file.
    MessageDlg("The file \"" + FileName + "\" could not be read completely: " + std::to_string(Read) +
                   (Read == 1 ? " page was" : " pages were") +
                   " read.\r\nSaving asks for a new file name, so the original stays as it is.",
               mtWarning, mbOK, 0);
  }
  return true;
}

void Tform_multipage::btnOpenClick(TObject* Sender) {
  TFileChoiceRequest R;
  R.Title = "Open";
  R.Filter = KOpenFilter;
  R.FilterIndex = 1;
  const std::string Name = ChooseFile(R);
  if (!Name.empty()) LoadDocument(Name);
  UpdateControls();
}

void Tform_multipage::FolioMView1ImageSelect(TObject* Sender, int32_t Index) {
  if (FLoading) return;
  if (Index != CurrentPage) ClearUndoRedo();
  if (PageCount() > 0 && Index >= 0 && Index < PageCount()) {
    if (PageView && PageView->GetHasSelection()) PageView->Deselect();
    CurrentPage = Index;
    ShowPage(Index);
    const bool Mono = PageIsMono();
    if (auto* BW = Find<TControl>("ColorSelect_BW")) BW->SetVisible(Mono);
    if (auto* Col = Find<TControl>("ColorSelect_Color")) Col->SetVisible(!Mono);
    if (auto* ColorPanel = Find<TControl>("ColorPanel")) ColorPanel->SetColor(clBlack);
  }
  UpdateControls();
}

double Tform_multipage::PageAspect(int32_t Index) const {
  const TIOParamsVals* P = FolioMIO1 ? FolioMIO1->ParamsOf(Index) : nullptr;
  return P ? IEPixelAspect(P->DpiX, P->DpiY) : 1;
}

void Tform_multipage::ShowPage(int32_t Index) {
  if (!PageView || Index < 0 || Index >= PageCount()) return;
  // A page whose two resolutions differ is shown at its true shape: the
  // vertical zoom is the horizontal one times the pixel aspect.
  const double Aspect = PageAspect(Index);
  PageView->SetPixelAspect(Aspect);
  if (const TIOParamsVals* P = FolioMIO1->ParamsOf(Index)) PageView->SetDpi(P->DpiX, P->DpiY);
  PageView->SetZoom(ZoomPercent);
  if (FMagnifierOn) {
    PageView->SetLayersSync(false);
    PageView->SetCurrentLayer(0);
    FolioMView1->CopyToIEBitmap(Index, PageView->GetIEBitmap());
    if (PageView->GetLayerCount() == 1) {
      const int32_t L = PageView->AddLayer();
      if (TIELayer* M = PageView->GetLayer(L)) {
        M->SetWidth(75);
        M->Magnify = true;
        M->MagnifySource = 0;
        M->MagnifyRate = 2.0;
        M->MagnifyShape = 0;
        M->VisibleBox = true;
      }
    }
    // The magnifier is as high as wide on screen, where page rows are drawn
    // Aspect times as high as columns are wide.
    if (TIELayer* M = PageView->GetLayer(1))
      M->SetHeight(std::max(1, int32_t(std::lround(M->GetWidth() / Aspect))));
    // Commands edit the page, never the magnifier: the page stays the
    // current layer.
    PageView->SetCurrentLayer(0);
    PageView->SetMouseInteract(IEMI(miMoveLayers) | IEMI(miResizeLayers));
  } else {
    if (PageView->GetLayerCount() > 1) PageView->RemoveLayer(1);
    PageView->SetCurrentLayer(0);
    FolioMView1->CopyToIEBitmap(Index, PageView->GetIEBitmap());
    PageView->Update();
    PageView->SetCursor(crDefault);
    PageView->SetMouseInteract(0);
  }
  PageView->Update();
  FolioMView1->ReleaseBitmap(Index);
  PageView->SetViewY(0);

  SetStatus(0, "Page: " + std::to_string(Index + 1) + "/" + std::to_string(PageCount()));
  SetStatus(1, "Size: " + std::to_string(FolioMView1->GetImageWidth(Index)) + "x" +
                   std::to_string(FolioMView1->GetImageHeight(Index)));
  ShowZoomText();
  if (PageView->GetHasSelection())
    SetStatus(3, " Selected: " +
                     std::to_string(PageView->GetSelectionRight() - PageView->GetSelectionLeft() + 1) + "x" +
                     std::to_string(PageView->GetSelectionBottom() - PageView->GetSelectionTop() + 1));
  else
    SetStatus(3, "");
  CurrentPage = Index;
  UpdateControls();
}

void Tform_multipage::ShowZoomText() { SetStatus(2, " Zoom: " + ZoomText(ZoomPercent) + "%"); }

void Tform_multipage::Zoom(TObject* Sender) {
  if (!PageView) return;
  const std::string Name = NameOf(Sender);
  if (Name == "btnZoom_Enlarge" || Name == "Enlarge1") {
    ZoomPercent *= 2;
  } else if (Name == "btnZoom_Reduce" || Name == "Reduce1") {
    ZoomPercent /= 2;
  } else if (Name == "btnZoom_Actual" || Name == "ActualSize1") {
    ZoomPercent = 100;
  } else if (Name == "Zoom_FitPageWidth") {
    PageView->FitToWidth();
    ZoomPercent = PageView->GetZoom();
  } else if (Name == "Zoom_FitPageHeight") {
    PageView->FitToHeight();
    ZoomPercent = PageView->GetZoom();
  } else {
    return;
  }
  PageView->SetZoom(ZoomPercent);
  ShowZoomText();
  UpdateControls();
}

void Tform_multipage::PageViewMouseWheel(TObject* Sender, TShiftState Shift, int32_t WheelDelta, TPoint MousePos,
                                         bool& Handled) {
  // The view zooms by itself; the window follows its zoom.
  if (PageView) ZoomPercent = PageView->GetZoom();
  ShowZoomText();
  UpdateControls();
}

void Tform_multipage::MagnifierClick(TObject* Sender) {
  if (!PageView) return;
  PageView->SetMouseInteract(0);
  PageView->Deselect();
  auto* ViewItem = Find<TMenuItem>("Magnifier");
  auto* PopupItem = Find<TMenuItem>("Magnifier1");
  FMagnifierOn = !(ViewItem && ViewItem->GetChecked());
  if (ViewItem) ViewItem->SetChecked(FMagnifierOn);
  if (PopupItem) PopupItem->SetChecked(FMagnifierOn);
  if (PageCount() > 0) ShowPage(CurrentPage);
  UpdateControls();
}

void Tform_multipage::WriteBackPage(int32_t Index) {
  if (!PageView || Index < 0 || Index >= PageCount()) return;
  // The page's resolutions go with its pixels (a quarter turn swaps them).
  if (TIOParamsVals* P = FolioMIO1->ParamsOf(Index); P && PageView->GetDpiX() > 0 && PageView->GetDpiY() > 0) {
    P->SetDpiX(PageView->GetDpiX());
    P->SetDpiY(PageView->GetDpiY());
  }
  FolioMView1->SetIEBitmap(Index, PageView->GetIEBitmap());
  if (Index == CurrentPage) PageView->SetPixelAspect(PageAspect(Index));
  FModified = true;
}

void Tform_multipage::ClearUndoRedo() {
  if (!PageView) return;
  TFolioProc* Proc = PageView->GetProc();
  Proc->DropAllUndo();
  Proc->DropAllRedo();
}
