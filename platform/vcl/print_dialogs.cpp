#include "platform/vcl/print_dialogs.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <cmath>

#include "platform/vcl/form_properties.h"
#include "platform/vcl/printers.h"

// ------------------------------------------------------------ print dialog
bool TPrintDialog::Run(QWidget* Parent) {
  QPrinter* P = Printer()->GetQPrinter();
  if (!P) return false;
  P->setCopyCount(FCopies);
  P->setCollateCopies(FCollate);
  P->setFromTo(FFromPage, FToPage);
  QPrintDialog D(P, Parent);
  QAbstractPrintDialog::PrintDialogOptions O;
  if (FOptions & poPrintToFile) O |= QAbstractPrintDialog::PrintToFile;
  if (FOptions & poPageNums) O |= QAbstractPrintDialog::PrintPageRange;
  if (FOptions & poSelection) O |= QAbstractPrintDialog::PrintSelection;
  O |= QAbstractPrintDialog::PrintCollateCopies;
  D.setOptions(O);
  if (FMaxPage > 0) D.setMinMax(FMinPage, FMaxPage);
  D.setPrintRange(FPrintRange == prPageNums   ? QAbstractPrintDialog::PageRange
                  : FPrintRange == prSelection ? QAbstractPrintDialog::Selection
                                               : QAbstractPrintDialog::AllPages);
  if (D.exec() != QDialog::Accepted) return false;
  FCopies = std::max(1, P->copyCount());
  FCollate = P->collateCopies();
  FFromPage = D.fromPage();
  FToPage = D.toPage();
  FPrintRange = D.printRange() == QAbstractPrintDialog::PageRange  ? prPageNums
                : D.printRange() == QAbstractPrintDialog::Selection ? prSelection
                                                                    : prAllPages;
  FPrintToFile = P->outputFormat() == QPrinter::PdfFormat;
  Printer()->TakeQPrinterSettings();
  return true;
}

void TPrintDialog::Confirmed() {
  Printer()->SetCopies(FCopies);
  Printer()->SetCollate(FCollate);
}

const TFormPropertyTable& TPrintDialog::FormProperties() const {
  static const TFormEnumNames OptionNames = {"poPrintToFile", "poPageNums", "poSelection",
                                             "poWarning",     "poHelp",     "poDisablePrintToFile"};
  static const TFormEnumNames RangeNames = {"prAllPages", "prSelection", "prPageNums"};
  using D = TPrintDialog;
  static const TFormPropertyTable Table = TFormProperties<D>("TPrintDialog", &TCommonDialog::FormProperties())
                                              .Bool("Collate", &D::GetCollate, &D::SetCollate)
                                              .Integer("Copies", &D::GetCopies, &D::SetCopies)
                                              .Integer("MinPage", &D::GetMinPage, &D::SetMinPage)
                                              .Integer("MaxPage", &D::GetMaxPage, &D::SetMaxPage)
                                              .Integer("FromPage", &D::GetFromPage, &D::SetFromPage)
                                              .Integer("ToPage", &D::GetToPage, &D::SetToPage)
                                              .Set("Options", OptionNames, &D::GetOptions, &D::SetOptions)
                                              .Enum("PrintRange", RangeNames, &D::GetPrintRange, &D::SetPrintRange)
                                              .Bool("PrintToFile", &D::GetPrintToFile, &D::SetPrintToFile)
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ printer set-up
bool TPrinterSetupDialog::Run(QWidget* Parent) {
  QPrinter* P = Printer()->GetQPrinter();
  if (!P) return false;
  QPrintDialog D(P, Parent);
  D.setOptions(QAbstractPrintDialog::PrintDialogOptions());
  if (D.exec() != QDialog::Accepted) return false;
  Printer()->TakeQPrinterSettings();
  return true;
}

void TPrinterSetupDialog::Confirmed() {}

const TFormPropertyTable& TPrinterSetupDialog::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TPrinterSetupDialog>("TPrinterSetupDialog", &TCommonDialog::FormProperties()).Build();
  return Table;
}

// ------------------------------------------------------------ page set-up
double TPageSetupDialog::UnitsPerMm() const { return FUnits == pmInches ? 1000.0 / 25.4 : 100.0; }

bool TPageSetupDialog::Run(QWidget* Parent) {
  QPrinter* P = Printer()->GetQPrinter();
  if (!P) return false;
  const double K = UnitsPerMm();
  P->setPageMargins(QMarginsF(FMarginLeft / K, FMarginTop / K, FMarginRight / K, FMarginBottom / K),
                    QPageLayout::Millimeter);
  QPageSetupDialog D(P, Parent);
  if (D.exec() != QDialog::Accepted) return false;
  const QMarginsF M = P->pageLayout().margins(QPageLayout::Millimeter);
  FMarginLeft = int32_t(std::lround(M.left() * K));
  FMarginTop = int32_t(std::lround(M.top() * K));
  FMarginRight = int32_t(std::lround(M.right() * K));
  FMarginBottom = int32_t(std::lround(M.bottom() * K));
  Printer()->TakeQPrinterSettings();
  return true;
}

void TPageSetupDialog::Confirmed() {
  QPrinter* P = Printer()->GetQPrinter();
  if (!P) return;
  const QSizeF S = P->pageLayout().fullRect(QPageLayout::Millimeter).size();
  FPageWidth = int32_t(std::lround(S.width() * UnitsPerMm()));
  FPageHeight = int32_t(std::lround(S.height() * UnitsPerMm()));
}

const TFormPropertyTable& TPageSetupDialog::FormProperties() const {
  static const TFormEnumNames UnitNames = {"pmDefault", "pmMillimeters", "pmInches"};
  using D = TPageSetupDialog;
  static const TFormPropertyTable Table =
      TFormProperties<D>("TPageSetupDialog", &TCommonDialog::FormProperties())
          .Integer("MarginBottom", &D::GetMarginBottom, &D::SetMarginBottom)
          .Integer("MarginLeft", &D::GetMarginLeft, &D::SetMarginLeft)
          .Integer("MarginRight", &D::GetMarginRight, &D::SetMarginRight)
          .Integer("MarginTop", &D::GetMarginTop, &D::SetMarginTop)
          .Enum("Units", UnitNames, &D::GetUnits, &D::SetUnits)
          .Ignored({"Options", "PageWidth", "PageHeight"})
          .Build();
  return Table;
}
