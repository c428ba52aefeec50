// The printer object: without printers it answers cleanly; a job into a PDF
// file keeps its pages and paper; against a private CUPS server with two
// cups-pdf queues (300 and 600 dpi) it reports the resolution lpoptions
// reports and the page and printable area Qt and the queue's PPD give.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/screen.h"
#include "platform/rtl/lists.h"
#include "platform/vcl/print_dialogs.h"
#include "platform/vcl/printers.h"

namespace {

const char* kPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";

// Runs Program with Args; its standard output, or "" when it failed.
QString RunTool(const QString& Program, const QStringList& Args) {
  QProcess P;
  P.start(Program, Args);
  if (!P.waitForFinished(30000) || P.exitCode() != 0) return QString();
  return QString::fromUtf8(P.readAllStandardOutput());
}

// A CUPS server of the test's own: its configuration in a temporary folder,
// listening on a free local port, in the foreground, stopped by its process.
class TPrivateCups {
 public:
  bool Start() {
    if (!QFileInfo::exists("/usr/sbin/cupsd") || !QFileInfo::exists(kPdfPpd) || !FDir.isValid()) return false;
    FPort = FreePort();
    if (FPort == 0) return false;
    const QString Root = FDir.path();
    for (const char* Sub : {"spool/tmp", "cache", "state", "log", "ppd"}) QDir(Root).mkpath(Sub);
    Write("cupsd.conf", QString("Listen 127.0.0.1:%1\nServerAlias *\nLogLevel warn\nBrowsing No\n"
                                "DefaultAuthType None\nWebInterface No\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n"
                                "  </Limit>\n</Policy>\n")
                            .arg(FPort));
    Write("cups-files.conf", QString("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                                     "CacheDir %1/cache\nStateDir %1/state\nErrorLog %1/log/error_log\n"
                                     "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                                     "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n")
                                 .arg(Root));
    FServer.start("/usr/sbin/cupsd", {"-f", "-c", Root + "/cupsd.conf", "-s", Root + "/cups-files.conf"});
    if (!FServer.waitForStarted(10000)) return false;
    qputenv("CUPS_SERVER", QString("127.0.0.1:%1").arg(FPort).toUtf8());
    // Ready once it answers.
    for (int I = 0; I < 100; ++I) {
      if (!RunTool("lpstat", {"-r"}).contains("not running")) return true;
      QThread::msleep(100);
    }
    return false;
  }

  // A cups-pdf queue whose PPD defaults to Dpi.
  bool AddPdfQueue(const QString& Name, int Dpi) {
    QFile In(kPdfPpd);
    if (!In.open(QIODevice::ReadOnly)) return false;
    QString Ppd = QString::fromLatin1(In.readAll());
    Ppd.replace("*DefaultResolution: 300dpi", QString("*DefaultResolution: %1dpi").arg(Dpi));
    const QString Path = FDir.path() + "/" + Name + ".ppd";
    Write(Name + ".ppd", Ppd);
    QProcess P;
    P.start("lpadmin", {"-p", Name, "-E", "-v", "cups-pdf:/", "-P", Path});
    return P.waitForFinished(30000) && P.exitCode() == 0;
  }

  ~TPrivateCups() {
    if (FServer.state() != QProcess::NotRunning) {
      FServer.terminate();
      if (!FServer.waitForFinished(10000)) {
        FServer.kill();
        FServer.waitForFinished(5000);
      }
    }
  }

 private:
  // A local TCP port nobody listens on now.
  static quint16 FreePort() {
    const int S = socket(AF_INET, SOCK_STREAM, 0);
    if (S < 0) return 0;
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t L = sizeof A;
    quint16 Port = 0;
    if (bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 &&
        getsockname(S, reinterpret_cast<sockaddr*>(&A), &L) == 0)
      Port = ntohs(A.sin_port);
    close(S);
    return Port;
  }
  void Write(const QString& Name, const QString& Text) {
    QFile F(FDir.path() + "/" + Name);
    if (F.open(QIODevice::WriteOnly)) F.write(Text.toUtf8());
  }
  QTemporaryDir FDir;
  QProcess FServer;
  quint16 FPort = 0;
};

// A fresh printer object for each test (the application's one is replaced).
class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override { delete SetPrinter(new TPrinter()); }
  void TearDown() override { delete SetPrinter(nullptr); }
};

TEST_F(PrinterTest, WithoutPrinterEverythingAnswersCleanly) {
  // A server that is not there: no printers.
  QTemporaryDir Dir;
  qputenv("CUPS_SERVER", (Dir.path() + "/no-server.sock").toUtf8());
  TPrinter* P = Printer();
  EXPECT_EQ(P->GetPrinters()->GetCount(), 0);
  EXPECT_EQ(P->GetPrinterIndex(), -1);
  EXPECT_EQ(P->GetPrinterName(), "");
  EXPECT_FALSE(P->HasDevice());
  EXPECT_EQ(P->GetResolution(), 0);
  EXPECT_EQ(P->GetPageWidth(), 0);
  EXPECT_EQ(P->GetDeviceCaps(LOGPIXELSX), 0);
  EXPECT_EQ(P->GetQPrinter(), nullptr);
  try {
    P->BeginDoc();
    FAIL() << "a job started without a printer";
  } catch (const EPrinter& E) {
    EXPECT_EQ(E.Message, "There is no default printer currently selected");
  }
  EXPECT_FALSE(P->GetPrinting());
  EXPECT_THROW(P->GetCanvas(), EPrinter);
  EXPECT_THROW(P->SetPrinterIndex(0), EPrinter);
  // The dialogs have nothing to show and answer Cancel.
  TPrintDialog Dialog(nullptr);
  EXPECT_FALSE(Dialog.Execute());
}

TEST_F(PrinterTest, JobIntoAPdfFileKeepsItsPagesAndPaper) {
  QTemporaryDir Dir;
  qputenv("CUPS_SERVER", (Dir.path() + "/no-server.sock").toUtf8());
  const QString Pdf = Dir.path() + "/job.pdf";
  TPrinter* P = Printer();
  P->SetOutputFileName(Pdf.toStdString());
  P->SetResolution(150);
  P->SetTitle("Two pages");
  ASSERT_TRUE(P->HasDevice());
  EXPECT_EQ(P->GetResolution(), 150);
  P->BeginDoc();
  EXPECT_EQ(P->GetPageNumber(), 1);
  TCanvas* C = P->GetCanvas();
  // The canvas is the printable area at the printer's resolution.
  EXPECT_EQ(GetDeviceCaps(C, LOGPIXELSX), 150);
  EXPECT_EQ(GetDeviceCaps(C, HORZRES), P->GetPageWidth());
  EXPECT_EQ(GetDeviceCaps(C, PHYSICALWIDTH), P->GetPaperRect().Width());
  EXPECT_EQ(GetDeviceCaps(C, PHYSICALOFFSETX), P->GetPageRect().Left);
  C->GetBrush()->SetColor(clBlack);
  C->FillRect(Rect(0, 0, 150, 150));
  P->NewPage();
  EXPECT_EQ(P->GetPageNumber(), 2);
  P->EndDoc();
  EXPECT_FALSE(P->GetPrinting());
  // pdfinfo reads two pages of the printer's paper.
  const QString Info = RunTool("pdfinfo", {Pdf});
  ASSERT_FALSE(Info.isEmpty()) << "pdfinfo failed on " << Pdf.toStdString();
  EXPECT_TRUE(Info.contains(QRegularExpression("Pages:\\s+2\\n"))) << Info.toStdString();
  const QRegularExpressionMatch M = QRegularExpression("Page size:\\s+([0-9.]+) x ([0-9.]+) pts").match(Info);
  ASSERT_TRUE(M.hasMatch()) << Info.toStdString();
  EXPECT_NEAR(M.captured(1).toDouble(), P->GetPaperRect().Width() * 72.0 / 150, 1.0);
  EXPECT_NEAR(M.captured(2).toDouble(), P->GetPaperRect().Height() * 72.0 / 150, 1.0);

  // An aborted job leaves no file.
  P->BeginDoc();
  P->Abort();
  EXPECT_TRUE(P->GetAborted());
  EXPECT_FALSE(QFile::exists(Pdf));
}

TEST_F(PrinterTest, PdfQueuesAt300And600DpiReportWhatLpoptionsAndQtReport) {
  TPrivateCups Cups;
  if (!Cups.Start()) GTEST_SKIP() << "cupsd or cups-pdf is missing (scripts/setup installs them)";
  ASSERT_TRUE(Cups.AddPdfQueue("PDF300", 300));
  ASSERT_TRUE(Cups.AddPdfQueue("PDF600", 600));
  TPrinter* P = Printer();
  TStrings* Names = P->GetPrinters();
  ASSERT_EQ(Names->GetCount(), 2);
  for (const int Dpi : {300, 600}) {
    const QString Queue = QString("PDF%1").arg(Dpi);
    P->SetPrinterIndex(Names->IndexOf(Queue.toStdString()));
    EXPECT_EQ(P->GetPrinterName(), Queue.toStdString());
    // lpoptions: the queue's default resolution and paper.
    const QString Options = RunTool("lpoptions", {"-p", Queue, "-l"});
    const QRegularExpressionMatch R = QRegularExpression("Resolution/[^:]*:.*\\*(\\d+)dpi").match(Options);
    ASSERT_TRUE(R.hasMatch()) << Options.toStdString();
    EXPECT_EQ(P->GetResolution(), R.captured(1).toInt());
    EXPECT_EQ(P->GetDeviceCaps(LOGPIXELSY), Dpi);
    ASSERT_TRUE(Options.contains("*A4")) << "the queue's paper is A4";
    // The PPD's A4: 595 x 842 points, all of it printable.
    EXPECT_NEAR(P->GetPaperRect().Width(), 595.0 * Dpi / 72, 1.0);
    EXPECT_NEAR(P->GetPaperRect().Height(), 842.0 * Dpi / 72, 1.0);
    // Qt's own printer on the queue gives the same page and printable area.
    QPrinter Q(QPrinter::HighResolution);
    Q.setPrinterName(Queue);
    Q.setResolution(Dpi);
    const QRect Paint = Q.pageLayout().paintRectPixels(Dpi);
    EXPECT_EQ(P->GetPageRect(), Rect(Paint.left(), Paint.top(), Paint.left() + Paint.width(),
                                     Paint.top() + Paint.height()));
    EXPECT_EQ(P->GetPageWidth(), Paint.width());
    EXPECT_EQ(P->GetDeviceCaps(PHYSICALOFFSETX), Paint.left());
  }
}

}  // namespace
