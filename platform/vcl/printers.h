#pragma once
// The printer object over Qt's print support (which reaches CUPS): the
// installed printers and the chosen one, its resolution and page, and the
// print job. A job draws each page on the printer's canvas, a bitmap of the
// printable area at the printer's resolution; the page goes to the printer
// when the next one starts or the job ends. Instead of a printer, a job may
// go to a PDF file (SetOutputFileName), which also serves when no printer is
// installed.
//
// Sizes are device pixels at the printer's resolution: the paper, and the
// printable area within it (the page the canvas covers).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/rtl/object.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

class QPainter;
class QPrinter;
class TBitmap;
class TCanvas;
class TStrings;
class TStringList;

class EPrinter : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EPrinter"; }
};

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;

  // The installed printers' names, read again on each call (empty without).
  TStrings* GetPrinters();
  // The chosen printer in GetPrinters (the default printer until one is
  // chosen); -1 without printers.
  int32_t GetPrinterIndex();
  // -1 chooses the default printer; EPrinter "Printer index out of range"
  // for an index outside the list.
  void SetPrinterIndex(int32_t Value);
  std::string GetPrinterName();
  // A job goes to this PDF file instead of the printer ("" for the printer).
  const std::string& GetOutputFileName() const { return FOutputFileName; }
  void SetOutputFileName(const std::string& Value);
  // True when a job can start: a printer or an output file.
  bool HasDevice();

  TPrinterOrientation GetOrientation() const { return FOrientation; }
  void SetOrientation(TPrinterOrientation Value);
  int32_t GetCopies() const { return FCopies; }
  void SetCopies(int32_t Value);
  bool GetCollate() const { return FCollate; }
  void SetCollate(bool Value);
  // The job's name in the printer's queue.
  const std::string& GetTitle() const { return FTitle; }
  void SetTitle(const std::string& Value);
  // Dots per inch; the queue's default resolution unless set (0 returns to
  // it). 0 without a device.
  int32_t GetResolution();
  void SetResolution(int32_t Value);

  // The printable area's size (0 without a device).
  int32_t GetPageWidth();
  int32_t GetPageHeight();
  // The paper, and the printable area within it.
  TRect GetPaperRect();
  TRect GetPageRect();
  // Device facts as GetDeviceCaps answers them for the printer's canvas:
  // HORZRES, VERTRES, LOGPIXELSX/Y, PHYSICALWIDTH/HEIGHT, PHYSICALOFFSETX/Y,
  // HORZSIZE, VERTSIZE (mm), BITSPIXEL, PLANES, RASTERCAPS.
  int32_t GetDeviceCaps(int32_t Index);

  // Starts a job: EPrinter "There is no default printer currently selected"
  // without a device, "Printing in progress" during a job, "Printer
  // selected is not valid" when the device refuses.
  void BeginDoc();
  // Sends the page and starts the next one.
  void NewPage();
  // Sends the last page and ends the job.
  void EndDoc();
  // Ends the job without sending what is left (a PDF file is removed).
  void Abort();
  bool GetPrinting() const { return FPrinting; }
  bool GetAborted() const { return FAborted; }
  // The page being drawn (1 for the first); 0 outside a job.
  int32_t GetPageNumber() const { return FPrinting ? FPageNumber : 0; }
  // The canvas of the page being drawn; EPrinter "Printer is not currently
  // printing" outside a job.
  TCanvas* GetCanvas();

  // The Qt printer behind the object, set up for the current choice (for the
  // print dialogs); nullptr without a device.
  QPrinter* GetQPrinter();
  // Takes over the printer, copies and orientation that a print dialog chose
  // on GetQPrinter().
  void TakeQPrinterSettings();

 private:
  void Invalidate();
  void FlushPage();
  void NewPageBitmap();
  std::unique_ptr<QPrinter> FDevice;
  std::unique_ptr<QPainter> FPainter;
  std::unique_ptr<TBitmap> FPage;
  std::unique_ptr<TStringList> FPrinters;
  std::string FPrinterName;  // the chosen printer ("": the default)
  std::string FOutputFileName;
  std::string FTitle;
  TPrinterOrientation FOrientation = poPortrait;
  int32_t FCopies = 1;
  bool FCollate = false;
  int32_t FResolution = 0;
  bool FPrinting = false;
  bool FAborted = false;
  int32_t FPageNumber = 0;
};

// The application's printer object (made on first use).
TPrinter* Printer();
// Replaces the application's printer object (taking ownership); answers the
// previous one, which the caller now owns.
TPrinter* SetPrinter(TPrinter* NewPrinter);
