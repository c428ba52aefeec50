#include "platform/vcl/printers.h"

#include <QFile>
#include <QPainter>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <mutex>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/screen.h"
#include "platform/rtl/lists.h"

#ifdef FOLIVRA_HAVE_CUPS
#include <cups/cups.h>
#endif

namespace {
// A PDF file without a resolution asked for is written at this one.
constexpr int32_t kFileResolution = 300;

// The resolution a CUPS queue prints at by default (what its PPD says, as
// the server reports it); 0 when it cannot be told. Qt reports its own
// drawing resolution, not the queue's.
int32_t QueueResolution(const std::string& Name) {
#ifdef FOLIVRA_HAVE_CUPS
  cups_dest_t* Dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, Name.c_str(), nullptr);
  if (!Dest) return 0;
  int32_t Dpi = 0;
  if (cups_dinfo_t* Info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, Dest)) {
    if (ipp_attribute_t* A = cupsFindDestDefault(CUPS_HTTP_DEFAULT, Dest, Info, "printer-resolution")) {
      int Y = 0;
      ipp_res_t Units = IPP_RES_PER_INCH;
      const int X = ippGetResolution(A, 0, &Y, &Units);
      Dpi = Units == IPP_RES_PER_CM ? static_cast<int32_t>(X * 2.54 + 0.5) : X;
    }
    cupsFreeDestInfo(Info);
  }
  cupsFreeDests(1, Dest);
  return Dpi > 0 && Dpi <= 9600 ? Dpi : 0;
#else
  (void)Name;
  return 0;
#endif
}
}  // namespace

TPrinter::TPrinter() : FPrinters(std::make_unique<TStringList>()) {}

TPrinter::~TPrinter() {
  if (FPrinting) Abort();
}

TStrings* TPrinter::GetPrinters() {
  FPrinters->Clear();
  for (const QString& Name : QPrinterInfo::availablePrinterNames()) FPrinters->Add(Name.toStdString());
  return FPrinters.get();
}

int32_t TPrinter::GetPrinterIndex() {
  TStrings* L = GetPrinters();
  if (L->GetCount() == 0) return -1;
  std::string Name = FPrinterName.empty() ? QPrinterInfo::defaultPrinterName().toStdString() : FPrinterName;
  const int32_t I = L->IndexOf(Name);
  return I >= 0 ? I : 0;
}

void TPrinter::SetPrinterIndex(int32_t Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  TStrings* L = GetPrinters();
  if (Value < -1 || Value >= L->GetCount()) throw EPrinter("Printer index out of range");
  FPrinterName = Value < 0 ? std::string() : L->Get(Value);
  Invalidate();
}

std::string TPrinter::GetPrinterName() {
  const int32_t I = GetPrinterIndex();
  return I < 0 ? std::string() : FPrinters->Get(I);
}

void TPrinter::SetOutputFileName(const std::string& Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FOutputFileName = Value;
  Invalidate();
}

bool TPrinter::HasDevice() { return GetQPrinter() != nullptr; }

void TPrinter::Invalidate() {
  if (!FPrinting) FDevice.reset();
}

void TPrinter::SetOrientation(TPrinterOrientation Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FOrientation = Value;
  if (FDevice) FDevice->setPageOrientation(Value == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TPrinter::SetCopies(int32_t Value) {
  FCopies = std::max(1, Value);
  if (FDevice) FDevice->setCopyCount(FCopies);
}

void TPrinter::SetCollate(bool Value) {
  FCollate = Value;
  if (FDevice) FDevice->setCollateCopies(Value);
}

void TPrinter::SetTitle(const std::string& Value) {
  FTitle = Value;
  if (FDevice) FDevice->setDocName(QString::fromStdString(Value));
}

void TPrinter::SetResolution(int32_t Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FResolution = std::max(0, Value);
  Invalidate();
}

QPrinter* TPrinter::GetQPrinter() {
  if (FDevice) return FDevice.get();
  const bool ToFile = !FOutputFileName.empty();
  const int32_t Index = ToFile ? -1 : GetPrinterIndex();
  if (!ToFile && Index < 0) return nullptr;
  auto P = std::make_unique<QPrinter>(QPrinter::HighResolution);
  if (ToFile) {
    P->setOutputFormat(QPrinter::PdfFormat);
    P->setOutputFileName(QString::fromStdString(FOutputFileName));
    P->setResolution(FResolution > 0 ? FResolution : kFileResolution);
  } else {
    P->setPrinterName(QString::fromStdString(FPrinters->Get(Index)));
    if (!P->isValid()) return nullptr;
    const int32_t Dpi = FResolution > 0 ? FResolution : QueueResolution(FPrinters->Get(Index));
    if (Dpi > 0) P->setResolution(Dpi);
  }
  P->setPageOrientation(FOrientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  P->setCopyCount(FCopies);
  P->setCollateCopies(FCollate);
  P->setDocName(QString::fromStdString(FTitle));
  FDevice = std::move(P);
  return FDevice.get();
}

void TPrinter::TakeQPrinterSettings() {
  if (!FDevice) return;
  if (FDevice->outputFormat() == QPrinter::NativeFormat) FPrinterName = FDevice->printerName().toStdString();
  FCopies = std::max(1, FDevice->copyCount());
  FCollate = FDevice->collateCopies();
  FOrientation = FDevice->pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
}

int32_t TPrinter::GetResolution() {
  QPrinter* P = GetQPrinter();
  return P ? P->resolution() : 0;
}

TRect TPrinter::GetPaperRect() {
  QPrinter* P = GetQPrinter();
  if (!P) return TRect{};
  const QRect R = P->pageLayout().fullRectPixels(P->resolution());
  return Rect(0, 0, R.width(), R.height());
}

TRect TPrinter::GetPageRect() {
  QPrinter* P = GetQPrinter();
  if (!P) return TRect{};
  const QRect R = P->pageLayout().paintRectPixels(P->resolution());
  return Rect(R.left(), R.top(), R.left() + R.width(), R.top() + R.height());
}

int32_t TPrinter::GetPageWidth() { return GetPageRect().Width(); }
int32_t TPrinter::GetPageHeight() { return GetPageRect().Height(); }

int32_t TPrinter::GetDeviceCaps(int32_t Index) {
  if (!GetQPrinter()) return 0;
  const int32_t Dpi = GetResolution();
  const TRect Paper = GetPaperRect(), Page = GetPageRect();
  switch (Index) {
    case HORZRES: return Page.Width();
    case VERTRES: return Page.Height();
    case LOGPIXELSX:
    case LOGPIXELSY: return Dpi;
    case PHYSICALWIDTH: return Paper.Width();
    case PHYSICALHEIGHT: return Paper.Height();
    case PHYSICALOFFSETX: return Page.Left;
    case PHYSICALOFFSETY: return Page.Top;
    case HORZSIZE: return Dpi > 0 ? IERound(Page.Width() * 25.4 / Dpi) : 0;
    case VERTSIZE: return Dpi > 0 ? IERound(Page.Height() * 25.4 / Dpi) : 0;
    case BITSPIXEL: return 24;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DIBTODEV;
    default: return 0;
  }
}

void TPrinter::NewPageBitmap() {
  const TRect Page = GetPageRect();
  const int32_t Dpi = GetResolution();
  FPage = std::make_unique<TBitmap>();
  FPage->SetPixelFormat(pf24bit);
  FPage->SetSize(Page.Width(), Page.Height());
  TCanvas* C = FPage->GetCanvas();
  C->GetBrush()->SetColor(clWhite);
  C->FillRect(Rect(0, 0, Page.Width(), Page.Height()));
  C->SetPixelsPerInch(Dpi, Dpi);
  C->SetDeviceCaps([this](int32_t Index, int32_t& Value) {
    Value = GetDeviceCaps(Index);
    return true;
  });
}

void TPrinter::BeginDoc() {
  if (FPrinting) throw EPrinter("Printing in progress");
  QPrinter* P = GetQPrinter();
  if (!P) throw EPrinter("There is no default printer currently selected");
  auto Painter = std::make_unique<QPainter>();
  if (!Painter->begin(P)) throw EPrinter("Printer selected is not valid");
  FPainter = std::move(Painter);
  FPrinting = true;
  FAborted = false;
  FPageNumber = 1;
  NewPageBitmap();
}

void TPrinter::FlushPage() {
  if (!FPainter || !FPage) return;
  // The painter's origin is the printable area's corner.
  FPainter->drawImage(QPoint(0, 0), FPage->GetImage());
}

void TPrinter::NewPage() {
  if (!FPrinting) throw EPrinter("Printer is not currently printing");
  FlushPage();
  FDevice->newPage();
  ++FPageNumber;
  NewPageBitmap();
}

void TPrinter::EndDoc() {
  if (!FPrinting) throw EPrinter("Printer is not currently printing");
  FlushPage();
  FPainter->end();
  FPainter.reset();
  FPage.reset();
  FPrinting = false;
}

void TPrinter::Abort() {
  if (!FPrinting) return;
  FDevice->abort();
  if (FPainter->isActive()) FPainter->end();
  FPainter.reset();
  FPage.reset();
  FPrinting = false;
  FAborted = true;
  if (!FOutputFileName.empty()) QFile::remove(QString::fromStdString(FOutputFileName));
}

TCanvas* TPrinter::GetCanvas() {
  if (!FPrinting || !FPage) throw EPrinter("Printer is not currently printing");
  return FPage->GetCanvas();
}

namespace {
std::mutex GPrinterLock;
std::unique_ptr<TPrinter>& ThePrinter() {
  static std::unique_ptr<TPrinter> P;
  return P;
}
}  // namespace

TPrinter* Printer() {
  std::lock_guard<std::mutex> Lock(GPrinterLock);
  if (!ThePrinter()) ThePrinter() = std::make_unique<TPrinter>();
  return ThePrinter().get();
}

TPrinter* SetPrinter(TPrinter* NewPrinter) {
  std::lock_guard<std::mutex> Lock(GPrinterLock);
  TPrinter* Old = ThePrinter().release();
  ThePrinter().reset(NewPrinter);
  return Old;
}
