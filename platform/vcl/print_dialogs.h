#pragma once
// The print dialogs over Qt's print support, on the application's printer
// object: the print dialog (printer, copies, page range), the printer set-up
// dialog (printer, paper and orientation) and the page set-up dialog
// (paper, orientation and margins). On OK the printer object takes the
// printer, copies and orientation chosen. They are common dialogs: the
// common dialog hook answers them in tests.
#include <cstdint>

#include "platform/vcl/common_dialogs.h"

enum TPrintRange : uint8_t { prAllPages, prSelection, prPageNums };

using TPrintDialogOptions = uint8_t;
constexpr TPrintDialogOptions poPrintToFile = 0x01;
constexpr TPrintDialogOptions poPageNums = 0x02;
constexpr TPrintDialogOptions poSelection = 0x04;
constexpr TPrintDialogOptions poWarning = 0x08;
constexpr TPrintDialogOptions poHelp = 0x10;
constexpr TPrintDialogOptions poDisablePrintToFile = 0x20;

class TPrintDialog : public TCommonDialog {
 public:
  explicit TPrintDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  int32_t GetCopies() const { return FCopies; }
  void SetCopies(int32_t Value) { FCopies = Value < 1 ? 1 : Value; }
  bool GetCollate() const { return FCollate; }
  void SetCollate(bool Value) { FCollate = Value; }
  int32_t GetFromPage() const { return FFromPage; }
  void SetFromPage(int32_t Value) { FFromPage = Value; }
  int32_t GetToPage() const { return FToPage; }
  void SetToPage(int32_t Value) { FToPage = Value; }
  int32_t GetMinPage() const { return FMinPage; }
  void SetMinPage(int32_t Value) { FMinPage = Value; }
  int32_t GetMaxPage() const { return FMaxPage; }
  void SetMaxPage(int32_t Value) { FMaxPage = Value; }
  TPrintDialogOptions GetOptions() const { return FOptions; }
  void SetOptions(TPrintDialogOptions Value) { FOptions = Value; }
  TPrintRange GetPrintRange() const { return FPrintRange; }
  void SetPrintRange(TPrintRange Value) { FPrintRange = Value; }
  bool GetPrintToFile() const { return FPrintToFile; }
  void SetPrintToFile(bool Value) { FPrintToFile = Value; }

  const TFormPropertyTable& FormProperties() const override;

 protected:
  bool Run(QWidget* Parent) override;
  void Confirmed() override;

 private:
  int32_t FCopies = 1;
  bool FCollate = false;
  int32_t FFromPage = 0, FToPage = 0, FMinPage = 0, FMaxPage = 0;
  TPrintDialogOptions FOptions = 0;
  TPrintRange FPrintRange = prAllPages;
  bool FPrintToFile = false;
};

class TPrinterSetupDialog : public TCommonDialog {
 public:
  explicit TPrinterSetupDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  const TFormPropertyTable& FormProperties() const override;

 protected:
  bool Run(QWidget* Parent) override;
  void Confirmed() override;
};

enum TPageMeasureUnits : uint8_t { pmDefault, pmMillimeters, pmInches };

class TPageSetupDialog : public TCommonDialog {
 public:
  explicit TPageSetupDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  // Margins in hundredths of a millimetre (pmMillimeters, pmDefault) or
  // thousandths of an inch (pmInches).
  int32_t GetMarginLeft() const { return FMarginLeft; }
  void SetMarginLeft(int32_t Value) { FMarginLeft = Value; }
  int32_t GetMarginTop() const { return FMarginTop; }
  void SetMarginTop(int32_t Value) { FMarginTop = Value; }
  int32_t GetMarginRight() const { return FMarginRight; }
  void SetMarginRight(int32_t Value) { FMarginRight = Value; }
  int32_t GetMarginBottom() const { return FMarginBottom; }
  void SetMarginBottom(int32_t Value) { FMarginBottom = Value; }
  TPageMeasureUnits GetUnits() const { return FUnits; }
  void SetUnits(TPageMeasureUnits Value) { FUnits = Value; }
  // The paper's size in the same units, as the dialog left it.
  int32_t GetPageWidth() const { return FPageWidth; }
  int32_t GetPageHeight() const { return FPageHeight; }

  const TFormPropertyTable& FormProperties() const override;

 protected:
  bool Run(QWidget* Parent) override;
  void Confirmed() override;

 private:
  // Units per millimetre of the margins and sizes.
  double UnitsPerMm() const;
  int32_t FMarginLeft = 0, FMarginTop = 0, FMarginRight = 0, FMarginBottom = 0;
  int32_t FPageWidth = 0, FPageHeight = 0;
  TPageMeasureUnits FUnits = pmDefault;
};
