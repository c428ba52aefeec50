// The save flows end to end: what the window writes is read back by the
// peers (libtiff's tools, qpdf, pdfinfo, Ghostscript, ImageMagick), and the
// faults around saving and opening stay mended.
#include <gtest/gtest.h>

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QObject>
#include <QWidget>
#include <filesystem>

#include "app/app_fixture.h"
#include "app/app_settings.h"
#include "app/main_form.h"
#include "foundations/image_buffer.h"
#include "io/multi_io.h"
#include "views/folio_view.h"
#include "views/multi_view.h"
#include "platform/vcl/status_bar.h"
#include "widgets/progress_bar.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

int Count(const std::string& Text, const std::string& Part) {
  int N = 0;
  for (size_t P = Text.find(Part); P != std::string::npos; P = Text.find(Part, P + 1)) ++N;
  return N;
}

class SaveFlows : public TPeerDocumentTest {
 protected:
  std::vector<std::string> Peers() const override {
    return {"convert", "identify", "tiffinfo", "tiffcmp", "qpdf", "pdfinfo", "gs"};
  }
};

TEST_F(SaveFlows, MultipageFileInEveryFormatReadsBackInThePeers) {
  const std::string Fax = Dir.file("fax.tif");
  ASSERT_TRUE(MakeFax(Fax, 3));
  TAppWindow W({Fax});
  ASSERT_EQ(W.Form->PageCount(), 3);

  // The pages as the document holds them: as they were read.
  std::string Sizes;
  for (int32_t i = 0; i < 3; ++i)
    Sizes += std::to_string(W.Form->FolioMView1->GetImageWidth(i)) + " " +
             std::to_string(W.Form->FolioMView1->GetImageHeight(i)) + "\n";
  EXPECT_EQ(Sizes, "1728 1100\n1728 2200\n1728 2200\n");

  // TIFF: three Group 4 pages of those sizes and resolutions, one sample of
  // one bit.
  const std::string Tif = Dir.file("all.tif");
  Choices.Answers = {Tif};
  W.Click("multipagefile1");
  ASSERT_EQ(Choices.Seen.size(), 1u);
  EXPECT_EQ(Choices.Seen[0].DefaultExt, ".tif");
  const std::string Info = Shell("tiffinfo " + Quote(Tif) + " 2>&1");
  EXPECT_EQ(Count(Info, "CCITT Group 4"), 3) << Info;
  EXPECT_EQ(Count(Info, "Image Width: 1728 Image Length: 1100"), 1) << Info;
  EXPECT_EQ(Count(Info, "Image Width: 1728 Image Length: 2200"), 2) << Info;
  EXPECT_EQ(Count(Info, "Resolution: 204, 98 pixels/inch"), 1) << Info;
  EXPECT_EQ(Count(Info, "Resolution: 204, 196 pixels/inch"), 2) << Info;
  EXPECT_EQ(Count(Info, "Bits/Sample: 1"), 3) << Info;

  // PDF: a valid file of three pages.
  const std::string Pdf = Dir.file("all.pdf");
  Choices.Answers = {Pdf};
  W.Click("multipagefile1");
  int Status = -1;
  Shell("qpdf --check " + Quote(Pdf) + " >/dev/null 2>&1", &Status);
  EXPECT_EQ(Status, 0);
  EXPECT_NE(Shell("pdfinfo " + Quote(Pdf)).find("Pages:           3"), std::string::npos);

  // PostScript: Ghostscript renders three pages.
  const std::string Ps = Dir.file("all.ps");
  Choices.Answers = {Ps};
  W.Click("multipagefile1");
  Shell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r20 -o " + Quote(Dir.file("ps%d.pbm")) + " " + Quote(Ps) +
          " >/dev/null 2>&1",
      &Status);
  EXPECT_EQ(Status, 0);
  EXPECT_TRUE(fs::exists(Dir.file("ps3.pbm")));
  EXPECT_FALSE(fs::exists(Dir.file("ps4.pbm")));

  // DCX and GIF: ImageMagick sees three images of the page size.
  for (const char* Ext : {".dcx", ".gif"}) {
    const std::string Out = Dir.file(std::string("all") + Ext);
    Choices.Answers = {Out};
    W.Click("multipagefile1");
    const std::string Id = Shell("identify -format '%w %h\\n' " + Quote(Out) + " 2>/dev/null");
    EXPECT_EQ(Id, Sizes) << Ext;
  }

  // ".tiff" means TIFF; an extension nobody writes is refused with a message.
  const std::string Tiff = Dir.file("all.tiff");
  Choices.Answers = {Tiff};
  W.Click("multipagefile1");
  EXPECT_EQ(Count(Shell("tiffinfo " + Quote(Tiff) + " 2>&1"), "CCITT Group 4"), 3);
  Choices.Answers = {Dir.file("all.xyz")};
  W.Click("multipagefile1");
  EXPECT_FALSE(fs::exists(Dir.file("all.xyz")));
  EXPECT_TRUE(Boxes.SawText("extension \".xyz\""));
}

TEST_F(SaveFlows, SaveWritesBackPixelForPixelAndReplacesTheBackup) {
  const std::string Fax = Dir.file("doc.tif");
  ASSERT_TRUE(MakeSquareFax(Fax, 2));
  const std::string Original = Dir.file("original.tif");
  fs::copy_file(Fax, Original);
  // An old backup is replaced by the file as it was before this save.
  testsupport::WriteFileBytes(Dir.file("doc.bak"), {'o', 'l', 'd'});
  TAppWindow W({Fax});
  ASSERT_EQ(W.Form->PageCount(), 2);
  W.Click("Save2");
  EXPECT_TRUE(Boxes.Seen.empty());
  EXPECT_TRUE(Choices.Seen.empty()) << "a TIFF document is saved in place";
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.file("doc.bak")), testsupport::ReadFileBytes(Original));
  int Status = -1;
  const std::string Diff = Shell("tiffcmp " + Quote(Original) + " " + Quote(Fax) + " 2>&1", &Status);
  EXPECT_EQ(Status, 0) << Diff;
  EXPECT_EQ(Count(Shell("tiffinfo " + Quote(Fax) + " 2>&1"), "CCITT Group 4"), 2);
}

TEST_F(SaveFlows, ColourPagesStayColourWhenABlackAndWhitePageIsShown) {
  const std::string Doc = Dir.file("mixed.tif");
  ASSERT_TRUE(MakeMixedTiff(Doc));
  TAppWindow W({Doc});
  ASSERT_EQ(W.Form->PageCount(), 2);
  ASSERT_EQ(W.Form->PageView->GetIEBitmap()->GetPixelFormat(), ie1g);
  W.Click("Save2");
  const std::string Info = Shell("tiffinfo " + Quote(Doc) + " 2>&1");
  EXPECT_EQ(Count(Info, "CCITT Group 4"), 1) << Info;
  EXPECT_EQ(Count(Info, "Samples/Pixel: 3"), 1) << Info;
  // The colour page reads back as colour in ImageMagick.
  const std::string Type = Shell("identify -format '%[type]\\n' " + Quote(Doc) + "'[1]' 2>/dev/null");
  EXPECT_EQ(Type.find("Bilevel"), std::string::npos) << Type;
}

TEST_F(SaveFlows, PagesAsSeparateFilesAndTheShownPage) {
  const std::string Fax = Dir.file("report.tif");
  ASSERT_TRUE(MakeFax(Fax, 3));
  TAppWindow W({Fax});
  // An existing second file stays when its question is answered No.
  testsupport::WriteFileBytes(Dir.file("report[2].png"), {'x'});
  Choices.Answers = {Dir.file("report.png")};
  Boxes.Answers = {mrNo};
  W.Click("separatefiles1");
  EXPECT_TRUE(Boxes.SawText("report[2].png already exists."));
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.file("report[2].png")).size(), 1u);
  // (Qt reads them: ImageMagick takes "[1]" in a name for a frame number.)
  const QImage P1(QString::fromStdString(Dir.file("report[1].png")));
  const QImage P3(QString::fromStdString(Dir.file("report[3].png")));
  EXPECT_EQ(P1.width(), 1728);
  EXPECT_EQ(P3.size(), QSize(1728, 2200));

  // "Save page" writes the shown page by the chosen extension.
  W.ChoosePage(1);
  Choices.Answers = {Dir.file("page.tif")};
  W.Click("Saveselectedimage1");
  ASSERT_GE(Choices.Seen.size(), 2u);
  EXPECT_EQ(Choices.Seen.back().FileName, "report");
  const std::string Info = Shell("tiffinfo " + Quote(Dir.file("page.tif")) + " 2>&1");
  EXPECT_EQ(Count(Info, "CCITT Group 4"), 1) << Info;
}

TEST_F(SaveFlows, FailedWriteIsReportedAndUnwritableFormatsOfferSaveAs) {
  const std::string Fax = Dir.file("fax.tif");
  ASSERT_TRUE(MakeFax(Fax, 2));
  TAppWindow W({Fax});
  Choices.Answers = {Dir.file("no-such-folder/out.pdf")};
  W.Click("multipagefile1");
  EXPECT_TRUE(Boxes.SawText("could not be written"));
  EXPECT_FALSE(fs::exists(Dir.file("no-such-folder/out.pdf")));

  // A single-image document is not rewritten by "Save": it offers a new name.
  const std::string Png = Dir.file("one.png");
  ASSERT_EQ(system(("convert -size 64x48 xc:red " + Quote(Png)).c_str()), 0);
  const auto Before = testsupport::ReadFileBytes(Png);
  Boxes.Seen.clear();
  Boxes.Answers = {mrNo};  // do not save the fax before opening the picture
  W.Form->SetModified(true);
  ASSERT_TRUE(W.Form->LoadDocument(Png));
  const size_t Asked = Choices.Seen.size();
  Choices.Answers = {""};
  W.Click("Save2");
  EXPECT_TRUE(Boxes.SawText("cannot be written back"));
  EXPECT_EQ(Choices.Seen.size(), Asked + 1);
  EXPECT_EQ(Choices.Seen.back().DefaultExt, ".tif");
  EXPECT_EQ(testsupport::ReadFileBytes(Png), Before);
  EXPECT_FALSE(fs::exists(Dir.file("one.bak")));
}

TEST_F(SaveFlows, OpeningKeepsTheDocumentUntilTheNewFileHasPages) {
  const std::string Fax = Dir.file("fax.tif");
  ASSERT_TRUE(MakeFax(Fax, 3));
  TAppWindow W({Fax});
  ASSERT_EQ(W.Form->PageCount(), 3);

  // A file without pages: the document stays and the user is told.
  const std::string Bad = Dir.file("broken.tif");
  testsupport::WriteFileBytes(Bad, {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});
  Boxes.Seen.clear();
  EXPECT_FALSE(W.Form->LoadDocument(Bad));
  EXPECT_TRUE(Boxes.SawText("All images will be deleted. Are you sure?"));
  EXPECT_TRUE(Boxes.SawText("contains no page that can be read"));
  EXPECT_EQ(W.Form->PageCount(), 3);
  EXPECT_EQ(W.Form->DocumentName, Fax);

  // Answering No keeps everything.
  Boxes.Answers = {mrNo};
  EXPECT_FALSE(W.Form->LoadDocument(Fax));
  EXPECT_EQ(W.Form->PageCount(), 3);

  // A file cut short before its last page's directory: the two pages read
  // are offered, and "Save" never writes over the file.
  const std::string Info = Shell("tiffinfo " + Quote(Fax) + " 2>/dev/null");
  const size_t At = Info.rfind("TIFF Directory at offset");
  ASSERT_NE(At, std::string::npos);
  const size_t Open = Info.find('(', At);
  const long LastDirectory = std::stol(Info.substr(Open + 1));
  auto Bytes = testsupport::ReadFileBytes(Fax);
  ASSERT_LT(LastDirectory, static_cast<long>(Bytes.size()));
  const std::string Cut = Dir.file("cut.tif");
  testsupport::WriteFileBytes(Cut, std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + LastDirectory));
  Boxes.Seen.clear();
  ASSERT_TRUE(W.Form->LoadDocument(Cut));
  EXPECT_EQ(W.Form->PageCount(), 2);
  EXPECT_EQ(W.Form->DocumentName, Cut);
  EXPECT_TRUE(Boxes.SawText("could not be read completely: 2 pages were read"));
  const auto Before = testsupport::ReadFileBytes(Cut);
  Choices.Answers = {""};
  W.Click("Save2");
  EXPECT_TRUE(Boxes.SawText("was not read completely"));
  ASSERT_FALSE(Choices.Seen.empty());
  EXPECT_EQ(Choices.Seen.back().DefaultExt, ".tif");
  EXPECT_EQ(testsupport::ReadFileBytes(Cut), Before);
  EXPECT_FALSE(fs::exists(Dir.file("cut.bak")));
}

TEST_F(SaveFlows, UnsavedChangesAreOfferedForSavingBeforeTheyAreLost) {
  const std::string Fax = Dir.file("fax.tif");
  ASSERT_TRUE(MakeFax(Fax, 2));
  TAppWindow W({Fax});
  ASSERT_FALSE(W.Form->GetModified());
  // A page removed is a change of the document...
  W.Form->FolioMView1->DeleteImage(1);
  EXPECT_TRUE(W.Form->GetModified());
  W.Form->SetModified(false);
  // ...and so is an edit written back into page 0.
  W.Form->PageView->GetIEBitmap()->Fill(0);
  W.Form->WriteBackPage(0);
  ASSERT_TRUE(W.Form->GetModified());

  // Cancel keeps the window open and the document as it is.
  Boxes.Answers = {mrCancel};
  bool CanClose = true;
  W.Form->FormCloseQuery(W.Form, CanClose);
  EXPECT_FALSE(CanClose);
  ASSERT_FALSE(Boxes.Seen.empty());
  EXPECT_EQ(Boxes.Seen.back().Buttons.size(), 3u);
  EXPECT_TRUE(Boxes.SawText("has been changed"));

  // Cancel on opening another file keeps the pages.
  Boxes.Answers = {mrCancel};
  EXPECT_FALSE(W.Form->LoadDocument(Fax));
  EXPECT_TRUE(W.Form->GetModified());

  // Yes saves the document in place, then the window may close.
  Boxes.Answers = {mrYes};
  W.Form->FormCloseQuery(W.Form, CanClose);
  EXPECT_TRUE(CanClose);
  EXPECT_FALSE(W.Form->GetModified());
  EXPECT_TRUE(fs::exists(Dir.file("fax.bak")));
  // The blackened page is what the file holds now.
  const std::string Mean = Shell("convert " + Quote(Fax) + "'[0]' -format '%[fx:mean]' info: 2>/dev/null");
  EXPECT_EQ(Mean.substr(0, 1), "0") << Mean;
}

}  // namespace

namespace {

TEST_F(SaveFlows, ImageStripsJoinThePagesSideBySideOrOneBelowTheOther) {
  // Colour pages of 100 x 200 (red), 300 x 150 (green) and 50 x 400 (blue).
  const std::string Doc = Dir.file("pages.tif");
  std::string List;
  int i = 0;
  for (const char* Page : {"100x200 xc:red", "300x150 xc:lime", "50x400 xc:blue"}) {
    const std::string P = Dir.file("p" + std::to_string(i++) + ".tif");
    ASSERT_EQ(system(("convert -size " + std::string(Page) + " -density 300 -units PixelsPerInch -type TrueColor " +
                      Quote(P)).c_str()),
              0);
    List += " " + Quote(P);
  }
  ASSERT_EQ(system(("tiffcp" + List + " " + Quote(Doc)).c_str()), 0);
  TAppWindow W({Doc});
  ASSERT_EQ(W.Form->PageCount(), 3);
  struct {
    const char* Command;
    const char* Size;
    // A point inside each page, and the colour there.
    std::vector<std::pair<std::string, std::string>> Probes;
  } Cases[] = {
      {"HorizontalStrip", "450 400", {{"50,100", "red"}, {"250,75", "lime"}, {"425,300", "blue"}}},
      {"VerticalStrip", "300 750", {{"50,100", "red"}, {"150,275", "lime"}, {"25,600", "blue"}}},
  };
  for (const auto& C : Cases) {
    const std::string Out = Dir.file(std::string(C.Command) + ".bmp");
    Choices.Answers = {Out};
    W.Click(C.Command);
    EXPECT_EQ(Shell("identify -format '%w %h' " + Quote(Out) + " 2>/dev/null"), C.Size) << C.Command;
    for (const auto& [At, Colour] : C.Probes) {
      const std::string Got = Shell("convert " + Quote(Out) + " -format '%[pixel:p{" + At + "}]' info: 2>/dev/null");
      const std::string Want = Shell("convert xc:" + Colour + " -format '%[pixel:p{0,0}]' info: 2>/dev/null");
      EXPECT_EQ(Got, Want) << C.Command << " at " << At;
    }
  }
}

}  // namespace

namespace {

// Calls Seen for every paint event of a widget.
class TPaintWatch : public QObject {
 public:
  TPaintWatch(QWidget* W, std::function<void()> Seen) : FSeen(std::move(Seen)) { W->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Paint) FSeen();
    return false;
  }

 private:
  std::function<void()> FSeen;
};

TEST_F(SaveFlows, SavingShowsTheBusyCursorAndProgressAndSaysWhereTheFileWent) {
  const std::string Fax = Dir.file("fax.tif");
  ASSERT_TRUE(MakeFax(Fax, 3));
  TAppWindow W({Fax});
  Tform_multipage* F = W.Form;
  int WindowPaints = 0, PaintsAtDialog = -1;
  struct TSeen {
    bool Busy, GaugeShown;
    int32_t Position;
    int WindowPaints;
  };
  std::vector<TSeen> During;
  TPaintWatch Window(F->GetWidget(), [&] { ++WindowPaints; });
  TPaintWatch Status(F->StatusBar1->GetWidget(), [&] {
    const QCursor* C = QGuiApplication::overrideCursor();
    During.push_back({C && C->shape() == Qt::WaitCursor, F->Gauge1->GetVisible(), F->Gauge1->GetPosition(),
                      WindowPaints});
  });
  const std::string Pdf = Dir.file("all.pdf");
  const TFileChoiceHook Old = SetFileChoiceHook([&](const TFileChoiceRequest&) {
    PaintsAtDialog = WindowPaints;
    During.clear();
    return Pdf;
  });
  W.Click("multipagefile1");
  SetFileChoiceHook(Old);
  ASSERT_TRUE(fs::exists(Pdf));
  // While the pages were written: the busy cursor and the progress bar
  // moving, and the window painted again once the dialog had gone.
  ASSERT_GE(During.size(), 3u);
  int32_t Last = -1;
  for (const TSeen& S : During) {
    if (!S.GaugeShown) continue;
    EXPECT_TRUE(S.Busy);
    EXPECT_GE(S.Position, Last);
    Last = S.Position;
    EXPECT_GT(S.WindowPaints, PaintsAtDialog);
  }
  EXPECT_GE(Last, 66);
  // Afterwards: the normal cursor, no progress bar, and where the file went.
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(F->Gauge1->GetVisible());
  EXPECT_EQ(F->StatusText(4), "Saved " + Pdf);
}

}  // namespace
