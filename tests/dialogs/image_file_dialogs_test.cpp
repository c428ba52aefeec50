// The image open and save dialogs, driven on the offscreen platform through
// the file-dialog hook and their controls' names.
#include "dialogs/image_file_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QAbstractProxyModel>
#include <QListView>
#include <QMouseEvent>
#include <QTimer>
#include <cstdlib>

#include "dialogs/word_tables.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/multi_io.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/combo_box.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/file_dialog.h"
#include "platform/vcl/stdctrls.h"
#include "support/test_support.h"
#include "views/folio_vect.h"
#include "views/folio_view.h"
#include "views/multi_view.h"

using testsupport::TempDir;

namespace {

// Writes a W x H image: 1-bit Group 4 TIFF for .tif, else by extension.
void WriteImage(const std::string& Path, int32_t W, int32_t H, bool Mono, int32_t Dpi = 0) {
  TIEBitmap B;
  B.Allocate(W, H, Mono ? ie1g : ie24RGB);
  B.Fill(Mono ? 1.0 : static_cast<double>(0x3366CC));
  auto IO = TFolioIO::CreateFromBitmap(&B);
  if (Mono) {
    IO->GetParams()->TiffCompression = ietcG4Fax;
    IO->GetParams()->BitsPerSample = 1;
    IO->GetParams()->SamplesPerPixel = 1;
  }
  if (Dpi > 0) {
    IO->GetParams()->SetDpiX(Dpi);
    IO->GetParams()->SetDpiY(Dpi);
  }
  IO->SaveToFile(Path);
  ASSERT_FALSE(IO->GetAborting()) << Path;
}

// Runs Fn inside the dialog once it is shown; the hook is removed after.
class HookScope {
 public:
  explicit HookScope(std::function<void(TVclFileDialogForm&)> Fn) { SetFileDialogHook(std::move(Fn)); }
  ~HookScope() { SetFileDialogHook(nullptr); }
};

template <typename T>
T* Named(TComponent* Owner, const char* Name) {
  return dynamic_cast<T*>(Owner->FindComponent(Name));
}

std::string Caption(TComponent* Owner, const char* Name) {
  return Named<TControl>(Owner, Name)->GetCaption();
}

class DialogsTest : public ::testing::Test {
 protected:
  TempDir Dir;
};

}  // namespace

TEST(FileDialogFilters, OpenListStartsWithCommonAndAllFilesSaveListOnlyWritable) {
  TOpenFolioDialog Open(nullptr);
  Open.SetMsgLanguage(msEnglish);
  const std::string F = Open.BuildFilter(false);
  EXPECT_EQ(F.rfind("Common Graphic Files (*.tif;", 0), 0u) << F;
  EXPECT_NE(F.find("|All Files (*.*)|*.*|TIFF Bitmap (*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif)|"
                   "*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif|"),
            std::string::npos)
      << F;
  EXPECT_NE(F.find("|Mpeg (*.mpeg;*.mpg)|*.mpeg;*.mpg|Windows Media Video (*.wmv)|*.wmv"), std::string::npos);
  const std::string S = Open.BuildFilter(true);
  EXPECT_EQ(S.rfind("TIFF Bitmap (", 0), 0u) << S;
  EXPECT_EQ(S.find("All Files"), std::string::npos);
  EXPECT_EQ(S.find("Mpeg"), std::string::npos);
  // Every pair of the save list names a format that can be written.
  const std::string Parts = "|" + S;
  EXPECT_EQ(std::count(Parts.begin(), Parts.end(), '|') % 2, 0);
}

TEST(FileDialogFilters, ExtensionsMatchWholePatternItems) {
  const std::string F = "Scans with *.pcx inside|*.pcx|TIFF (*.tiff)|*.tiff|TIF (*.tif)|*.tif|All (*.*)|*.*";
  const struct {
    const char* Ext;
    int32_t Index;
  } Cases[] = {{".pcx", 1}, {".tiff", 2}, {".tif", 3}, {".TIF", 3}, {".png", 0}, {"", 0}};
  for (const auto& C : Cases) EXPECT_EQ(TOpenFolioDialog::FilterIndexOfExtension(F, C.Ext), C.Index) << C.Ext;
  EXPECT_EQ(TOpenFolioDialog::FilterPattern(F, 2), "*.tiff");
  EXPECT_EQ(TOpenFolioDialog::FilterPattern(F, 9), "");
  const struct {
    const char* Pattern;
    const char* Ext;
  } Exts[] = {{"*.tif;*.tiff", ".tif"}, {"*.*", ""}, {"*", ""}, {"*.j2k", ".j2k"}, {"", ""}};
  for (const auto& C : Exts) EXPECT_EQ(TOpenFolioDialog::PatternExtension(C.Pattern), C.Ext) << C.Pattern;
}

TEST(FileDialogFilters, InitialDirMemoryNeedAndExtensionReplacement) {
  TOpenFolioDialog D(nullptr);
  for (auto [In, Out] : std::initializer_list<std::pair<const char*, const char*>>{
           {"C:\\Images\\", "C:\\Images"}, {"C:\\", "C:\\"}, {"/tmp/x/", "/tmp/x"}, {"/", "/"}}) {
    D.SetInitialDir(In);
    EXPECT_EQ(D.GetInitialDir(), Out) << In;
  }
  EXPECT_EQ(TOpenFolioDialog::MemoryNeed(1728, 2200, 1, 1), 475200);
  EXPECT_EQ(TOpenFolioDialog::MemoryNeed(100, 10, 3, 8), 3000);
  // Beyond 32 bits: 60000 x 60000 at 24 bits is about 10 GB.
  EXPECT_EQ(TOpenFolioDialog::MemoryNeed(60000, 60000, 3, 8), int64_t{60000} * 180000);
  for (auto [In, Out] :
       std::initializer_list<std::pair<const char*, const char*>>{{"report", "report.tif"},
                                                                  {"report.final.png", "report.final.tif"},
                                                                  {"scan.2024.01.png", "scan.2024.01.tif"},
                                                                  {"scan.2024.01", "scan.2024.01.tif"},
                                                                  {"/a/b/page.jpg", "page.tif"}})
    EXPECT_EQ(TSaveFolioDialog::ReplaceExtension(In, ".tif"), Out) << In;
}

TEST_F(DialogsTest, OpenDialogPreviewsStillAndMultiPageFilesAndConfirmsTheName) {
  const std::string One = Dir.file("one.png"), Fax = Dir.file("fax.tif"), Three = Dir.file("three.tif");
  WriteImage(One, 40, 30, false, 150);
  WriteImage(Fax, 1728, 2200, true, 200);
  ASSERT_TRUE(testsupport::HaveTool("tiffcp"));
  ASSERT_EQ(testsupport::RunCommand("tiffcp '" + Fax + "' '" + Fax + "' '" + Fax + "' '" + Three + "'"), 0);

  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetInitialDir(Dir.path());
  std::vector<std::string> Log;
  D.OnShow = [&](TObject*) { Log.push_back("show"); };
  D.OnClose = [&](TObject*) { Log.push_back("close"); };
  bool Checked = false;
  HookScope H([&](TVclFileDialogForm& F) {
    // The type list is the registry's, in the dialog's own list.
    auto* Combo = F.GetFileDialog()->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(Combo, nullptr);
    EXPECT_EQ(Combo->count(), F.GetFilterCount());
    EXPECT_EQ(Combo->itemText(1).toStdString(), "All Files (*.*)");
    auto* View = Named<TFolioVect>(&D, "FolioView");
    auto* MView = Named<TFolioMView>(&D, "FolioMView");
    EXPECT_EQ(D.GetPicturePanel()->GetParent(), &F);
    EXPECT_EQ(Named<TComboBox>(&D, "ZoomCombo")->GetItemText(0), "Fit");

    F.SelectFile(One);
    D.WaitPreview();
    EXPECT_TRUE(View->GetVisible());
    EXPECT_FALSE(MView->GetVisible());
    EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 40);
    EXPECT_EQ(Caption(&D, "PicLabel1"), "40 x 30 pixel");
    EXPECT_EQ(Caption(&D, "PicLabel3"), "150 x 150 dpi");
    EXPECT_EQ(Caption(&D, "PicLabel2"), "16777216 Colors (24 bit)");
    EXPECT_NE(Caption(&D, "InfoLabel1").find("PNG"), std::string::npos);
    EXPECT_TRUE(Named<TControl>(&D, "PreviewButton")->GetEnabled());
    EXPECT_FALSE(Named<TControl>(&D, "PlayButton")->GetEnabled());

    F.SelectFile(Fax);
    D.WaitPreview();
    EXPECT_EQ(Caption(&D, "PicLabel1"), "1728 x 2200 pixel");
    EXPECT_EQ(Caption(&D, "PicLabel2"), "2 Colors (1 bit)");
    EXPECT_NE(Caption(&D, "InfoLabel2").find(": 464 KB"), std::string::npos) << Caption(&D, "InfoLabel2");
    // The still preview is a reduced load, never the full fax page.
    EXPECT_EQ(D.GetFrameCount(), 1);

    F.SelectFile(Three);
    D.WaitPreview();
    EXPECT_FALSE(View->GetVisible());
    EXPECT_TRUE(MView->GetVisible());
    EXPECT_EQ(MView->GetImageCount(), 3);
    EXPECT_EQ(D.GetFrameCount(), 3);
    EXPECT_EQ(Caption(&D, "PicLabel1"), "1728 x 2200 pixel   3 frames");
    EXPECT_TRUE(Named<TControl>(&D, "PlayButton")->GetEnabled());
    EXPECT_FALSE(Named<TControl>(&D, "ZoomCombo")->GetEnabled());

    // A name that is no file empties the preview.
    F.SelectFile(Dir.file("missing.tif"));
    D.WaitPreview();
    EXPECT_EQ(Caption(&D, "PicLabel1"), "");
    EXPECT_EQ(Caption(&D, "InfoLabel1"), "");
    EXPECT_FALSE(Named<TControl>(&D, "PreviewButton")->GetEnabled());
    EXPECT_EQ(MView->GetImageCount(), 0);

    F.SelectFile(One);
    D.WaitPreview();
    EXPECT_EQ(D.GetFileName(), One);
    Checked = true;
    F.ClickOk();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_TRUE(Checked);
  EXPECT_EQ(D.GetFileName(), One);
  ASSERT_EQ(D.GetFiles().size(), 1u);
  EXPECT_EQ(D.GetFiles()[0], One);
  EXPECT_EQ(Log, (std::vector<std::string>{"show", "close"}));
  // Closing leaves no image loaded.
  EXPECT_EQ(D.GetPreviewMView()->GetImageCount(), 0);
  EXPECT_TRUE(D.GetPreviewView()->IsEmptyImage());
}

TEST_F(DialogsTest, NewSelectionCancelsTheRunningPreviewAndCancelKeepsTheName) {
  const std::string Big = Dir.file("big.png"), Small = Dir.file("small.png");
  WriteImage(Big, 3000, 3000, false);
  WriteImage(Small, 20, 10, false);
  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetFileName(Dir.file("keep.png"));
  int Selections = 0;
  D.OnSelectionChange = [&](TObject*) { ++Selections; };
  HookScope H([&](TVclFileDialogForm& F) {
    F.SelectFile(Big);
    F.SelectFile(Small);  // at once: the big load's result must never show
    D.WaitPreview();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_EQ(D.GetPreviewView()->GetIEBitmap()->GetWidth(), 20);
    EXPECT_EQ(Caption(&D, "PicLabel1"), "20 x 10 pixel");
    // Unchecking the preview reads the parameters only.
    Named<TCheckBox>(&D, "PreviewCheck")->SetChecked(false);
    EXPECT_TRUE(D.GetPreviewView()->IsEmptyImage());
    F.SelectFile(Big);
    D.WaitPreview();
    EXPECT_TRUE(D.GetPreviewView()->IsEmptyImage());
    EXPECT_EQ(Caption(&D, "PicLabel1"), "3000 x 3000 pixel");
    F.ClickCancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_EQ(Selections, 3);
  EXPECT_EQ(D.GetFileName(), Dir.file("keep.png"));
  EXPECT_TRUE(D.GetFiles().empty());
}

TEST_F(DialogsTest, CanCloseRefusalKeepsTheDialogOpen) {
  const std::string One = Dir.file("a.png");
  WriteImage(One, 4, 4, false);
  TOpenFolioDialog D(nullptr);
  int Asked = 0;
  D.OnCanClose = [&](TObject*, bool& CanClose) { CanClose = ++Asked > 1; };
  HookScope H([&](TVclFileDialogForm& F) {
    F.SelectFile(One);
    F.ClickOk();
    EXPECT_TRUE(F.IsModal());
    F.ClickOk();
  });
  EXPECT_TRUE(D.Execute());
  EXPECT_EQ(Asked, 2);
  EXPECT_EQ(D.GetFileName(), One);
}

namespace {

// A page list of two pages whose save-parameters dialog the test plays.
struct TwoPages {
  TFolioMView View{nullptr};
  TFolioMIO* MIO = View.GetMIO();
  TwoPages() {
    View.AppendImage();
    View.AppendImage();
    for (int i = 0; i < 2; ++i) {
      MIO->ParamsOf(i)->JpegQuality = 80;
      MIO->ParamsOf(i)->TiffCompression = ietcG4Fax;
    }
  }
};

}  // namespace

TEST_F(DialogsTest, SaveDialogFollowsTheTypeAndCancelRestoresEveryPage) {
  TwoPages Doc;
  ASSERT_EQ(Doc.MIO->GetImageCount(), 2);
  int Shown = 0;
  Doc.MIO->OnDoPreviews = [&](TObject*, bool& Handled) {
    // The parameters dialog changes every page, as its OK would.
    ++Shown;
    for (int i = 0; i < 2; ++i) {
      Doc.MIO->ParamsOf(i)->JpegQuality = 20;
      Doc.MIO->ParamsOf(i)->TiffCompression = ietcLZW;
    }
    Handled = true;
  };
  TSaveFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetAttachedFolioIO(Doc.MIO);
  D.SetInitialDir(Dir.path());
  HookScope H([&](TVclFileDialogForm& F) {
    auto* Advanced = Named<TButton>(&D, "AdvancedButton");
    EXPECT_TRUE(Advanced->GetVisible());
    EXPECT_EQ(Advanced->GetCaption(), "Advanced...");
    F.SetFileNameText("scan.2024.01.png");
    const int32_t Tiff = TOpenFolioDialog::FilterIndexOfExtension(D.GetFilter(), ".tif");
    ASSERT_GT(Tiff, 0);
    F.SelectFilterByUser(Tiff);
    EXPECT_EQ(F.GetFileNameText(), "scan.2024.01.tif");
    D.UpdateAdvancedButton();
    EXPECT_TRUE(Advanced->GetEnabled());
    Advanced->Click();
    EXPECT_EQ(Shown, 1);
    EXPECT_EQ(Doc.MIO->ParamsOf(1)->TiffCompression, ietcLZW);
    // A format without parameters disables the button.
    F.SetFileNameText("x.pdf");
    D.UpdateAdvancedButton();
    EXPECT_FALSE(Advanced->GetEnabled());
    F.ClickCancel();
  });
  EXPECT_FALSE(D.Execute());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Doc.MIO->ParamsOf(i)->JpegQuality, 80) << i;
    EXPECT_EQ(Doc.MIO->ParamsOf(i)->TiffCompression, ietcG4Fax) << i;
  }
}

TEST_F(DialogsTest, SaveDialogAddsTheTypesExtensionAndChecksItsAttachment) {
  TSaveFolioDialog D(nullptr);
  try {
    D.Execute();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& E) {
    EXPECT_EQ(E.Message, "Cannot execute TSaveFolioDialog with AttachedFolioIO empty.");
  }
  TwoPages Doc;
  D.SetAttachedFolioIO(Doc.MIO);
  D.SetAttachedFolioIO(nullptr);  // ignored
  EXPECT_EQ(D.GetAttachedFolioIO(), Doc.MIO);
  D.SetInitialDir(Dir.path());
  D.SetExOptions(0);
  HookScope H([&](TVclFileDialogForm& F) {
    EXPECT_FALSE(Named<TButton>(&D, "AdvancedButton")->GetVisible());
    EXPECT_FALSE(D.GetPicturePanel()->GetVisible());
    EXPECT_EQ(F.GetClientWidth(), F.GetStandardRect().Right + 8);
    F.SelectFilterByUser(TOpenFolioDialog::FilterIndexOfExtension(D.GetFilter(), ".tif"));
    F.SetFileNameText("scan");
    F.ClickOk();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(D.GetTemplateName(), "IDD_IETEMPLATE1");
  EXPECT_EQ(D.GetFileName(), Dir.file("scan.tif"));
  {
    // A page list without pages: no dialog at all.
    TFolioMView Empty(nullptr);
    TSaveFolioDialog E(nullptr);
    E.SetAttachedFolioIO(Empty.GetMIO());
    EXPECT_FALSE(E.Execute());
  }
  // Freeing the attached component clears the attachment.
  auto* IO = new TFolioIO(nullptr);
  D.SetAttachedFolioIO(IO);
  delete IO;
  EXPECT_EQ(D.GetAttachedFolioIO(), nullptr);
}

TEST(DialogLanguage, CaptionsFollowTheLanguageWithEnglishFallback) {
  TSaveFolioDialog D(nullptr);
  const struct { TMsgLanguage L; } Cases[] = {{msEnglish}, {msGerman}, {msItalian}};
  std::vector<std::string> Captions;
  for (const auto& C : Cases) {
    D.SetMsgLanguage(C.L);
    D.ApplyLanguage();
    const std::string A = Named<TButton>(&D, "AdvancedButton")->GetCaption();
    EXPECT_EQ(A, IEWordLookup(45, C.L) + "...");
    EXPECT_EQ(Named<TCheckBox>(&D, "PreviewCheck")->GetCaption(), IEWordLookup(0, C.L));
    Captions.push_back(A);
  }
  EXPECT_EQ(Captions[0], "Advanced...");
  EXPECT_NE(Captions[1], Captions[0]);
  EXPECT_NE(Captions[2], Captions[0]);
  // The filter's own words too.
  D.SetMsgLanguage(msGerman);
  const std::string F = D.BuildFilter(false);
  EXPECT_EQ(F.rfind(IEWordLookup(131, msGerman), 0), 0u);
}

TEST_F(DialogsTest, FramesAsStillImageSinglePageDcxAnimationZoomAndFullSizeWindow) {
  const std::string Fax = Dir.file("p.tif"), Three = Dir.file("three.tif"), Dcx = Dir.file("one.dcx"),
                    Gif = Dir.file("anim.gif");
  WriteImage(Fax, 64, 48, true, 200);
  ASSERT_EQ(testsupport::RunCommand("tiffcp '" + Fax + "' '" + Fax + "' '" + Fax + "' '" + Three + "'"), 0);
  {
    TIEBitmap B;
    B.Allocate(30, 20, ie24RGB);
    B.Fill(static_cast<double>(0x00FF00));
    auto IO = TFolioIO::CreateFromBitmap(&B);
    IO->SaveDcxFile(Dcx);
    ASSERT_FALSE(IO->GetAborting());
  }
  const bool HaveGif =
      testsupport::HaveTool("convert") &&
      testsupport::RunCommand("convert -size 12x8 xc:red xc:blue xc:green '" + Gif + "'") == 0;
  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetShowAllFrames(false);
  HookScope H([&](TVclFileDialogForm& F) {
    auto* View = D.GetPreviewView();
    auto* MView = D.GetPreviewMView();
    // Frames as a still image: the first page, and the label still names
    // all three.
    F.SelectFile(Three);
    D.WaitPreview();
    EXPECT_TRUE(View->GetVisible());
    EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 64);
    EXPECT_EQ(Caption(&D, "PicLabel1"), "64 x 48 pixel   3 frames");
    // The zoom list: an entry with a percentage leaves the fitting mode.
    auto* Zoom = Named<TComboBox>(&D, "ZoomCombo");
    Zoom->SelectByUser(8);  // 200%
    EXPECT_FALSE(View->GetAutoFit());
    EXPECT_DOUBLE_EQ(View->GetZoom(), 200.0);
    Zoom->SelectByUser(0);
    EXPECT_TRUE(View->GetAutoFit());
    // The full-size window shows the preview's image at its size.
    bool Seen = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* W : QApplication::topLevelWidgets())
        if (W->objectName() == "PreviewForm" && W->isVisible()) {
          auto* Form = dynamic_cast<TForm*>(TControl::FromWidget(W));
          ASSERT_NE(Form, nullptr);
          auto* Big = Named<TFolioVect>(Form, "FolioView");
          ASSERT_NE(Big, nullptr);
          EXPECT_EQ(Big->GetIEBitmap()->GetWidth(), 64);
          EXPECT_EQ(Form->GetCaption(), Three);
          Seen = true;
          Form->SetModalResult(mrCancel);
        }
    });
    Named<TControl>(&D, "PreviewButton")->Perform(WM_LBUTTONDOWN, 0, 0);
    Named<TControl>(&D, "PreviewButton")->Perform(WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(Seen);

    D.SetShowAllFrames(true);
    // A DCX file is shown as thumbnails even with one page.
    F.SelectFile(Dcx);
    D.WaitPreview();
    EXPECT_TRUE(MView->GetVisible());
    EXPECT_EQ(MView->GetImageCount(), 1);
    if (HaveGif) {
      D.SetAlwaysAnimate(true);
      F.SelectFile(Gif);
      D.WaitPreview();
      EXPECT_EQ(MView->GetImageCount(), 3);
      EXPECT_TRUE(MView->GetPlaying());
      EXPECT_FALSE(Named<TControl>(&D, "PreviewButton")->GetEnabled());
    }
    F.ClickCancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_FALSE(D.GetPreviewMView()->GetPlaying());
}

TEST_F(DialogsTest, OverwriteQuestionAndMissingFileKeepTheDialogOpen) {
  const std::string Existing = Dir.file("old.png");
  WriteImage(Existing, 4, 4, false);
  std::vector<std::string> Asked;
  TModalResult Answer = mrNo;
  auto Old = SetMessageBoxHook([&](const TMessageBoxRequest& R) {
    Asked.push_back(R.Text);
    return Answer;
  });
  {
    TFolioIO IO(nullptr);
    TSaveFolioDialog D(nullptr);
    D.SetAttachedFolioIO(&IO);
    D.SetOptions(D.GetOptions() | ofOverwritePrompt);
    HookScope H([&](TVclFileDialogForm& F) {
      F.SetDirectory(Dir.path());
      F.SetFileNameText("old.png");
      F.ClickOk();  // "No": stays open
      EXPECT_TRUE(F.IsModal());
      Answer = mrYes;
      F.ClickOk();
    });
    EXPECT_TRUE(D.Execute());
    EXPECT_EQ(D.GetFileName(), Existing);
    ASSERT_EQ(Asked.size(), 2u);
    EXPECT_EQ(Asked[0], Existing + " already exists.\nDo you want to replace it?");
  }
  {
    Asked.clear();
    TOpenFolioDialog D(nullptr);
    D.SetOptions(ofFileMustExist);
    HookScope H([&](TVclFileDialogForm& F) {
      F.SetDirectory(Dir.path());
      F.SetFileNameText("nothing.png");
      F.ClickOk();
      EXPECT_TRUE(F.IsModal());
      F.ClickCancel();
    });
    EXPECT_FALSE(D.Execute());
    ASSERT_EQ(Asked.size(), 1u);
    EXPECT_NE(Asked[0].find("File not found."), std::string::npos);
  }
  SetMessageBoxHook(Old);
}

TEST(DialogLanguage, SystemLanguageFollowsTheLocale) {
  const char* Saved = std::getenv("LANG");
  const std::string Keep = Saved ? Saved : "";
  for (const char* Var : {"LC_ALL", "LC_MESSAGES"}) ::unsetenv(Var);
  TOpenFolioDialog D(nullptr);  // msSystem
  const struct {
    const char* Lang;
    TMsgLanguage Expected;
  } Cases[] = {{"de_DE.UTF-8", msGerman}, {"fr_FR.UTF-8", msFrench}, {"C", msEnglish}};
  for (const auto& C : Cases) {
    ::setenv("LANG", C.Lang, 1);
    IEReadSystemLocale();
    D.ApplyLanguage();
    EXPECT_EQ(Named<TCheckBox>(&D, "PreviewCheck")->GetCaption(), IEWordLookup(0, C.Expected)) << C.Lang;
  }
  EXPECT_EQ(Named<TCheckBox>(&D, "PreviewCheck")->GetCaption(), "Preview");
  if (Saved)
    ::setenv("LANG", Keep.c_str(), 1);
  else
    ::unsetenv("LANG");
  IEReadSystemLocale();
}

TEST_F(DialogsTest, ListsFilesByTheRegistryFiltersAndCollectsAMultiSelection) {
  WriteImage(Dir.file("a.tif"), 8, 8, true);
  WriteImage(Dir.file("b.png"), 8, 8, false);
  testsupport::WriteFileBytes(Dir.file("notes.txt"), {'x'});
  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetInitialDir(Dir.path());
  D.SetOptions(D.GetOptions() | ofAllowMultiSelect);
  std::vector<std::string> Listed;
  HookScope H([&](TVclFileDialogForm& F) {
    auto* List = F.GetFileDialog()->findChild<QListView*>("listView");
    ASSERT_NE(List, nullptr);
    auto* Model = qobject_cast<QFileSystemModel*>(List->model());
    ASSERT_NE(Model, nullptr);
    // The file system model fills in the background; serve events until the
    // folder has been read.
    const QModelIndex Root = Model->index(QString::fromStdString(Dir.path()));
    for (int i = 0; i < 2000 && (Model->canFetchMore(Root) || Model->rowCount(Root) < 3); ++i) {
      if (Model->canFetchMore(Root)) Model->fetchMore(Root);
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    for (int r = 0; r < Model->rowCount(Root); ++r) {
      const QModelIndex I = Model->index(r, 0, Root);
      // Rows the name filters hide are disabled or filtered out.
      if (Model->flags(I) & Qt::ItemIsEnabled) Listed.push_back(Model->fileName(I).toStdString());
    }
    F.SetFileNameText("\"a.tif\" \"b.png\"");
    F.ClickOk();
  });
  ASSERT_TRUE(D.Execute());
  std::sort(Listed.begin(), Listed.end());
  EXPECT_EQ(Listed, (std::vector<std::string>{"a.tif", "b.png"}));
  EXPECT_EQ(D.GetFiles(), (std::vector<std::string>{Dir.file("a.tif"), Dir.file("b.png")}));
  EXPECT_EQ(D.GetFileName(), Dir.file("a.tif"));
}

TEST(DialogForms, ResourcesCreateBothDialogsWithTheirProperties) {
  TComponent Root(nullptr);
  auto* IO = new TFolioIO(&Root);
  IO->SetName("IO1");
  ReadComponentResource(&Root,
                        "object Root: TComponent\n"
                        "  object OpenImageEnDialog1: TOpenFolioDialog\n"
                        "    Options = [ofHideReadOnly, ofAllowMultiSelect]\n"
                        "    FilterIndex = 3\n"
                        "    FileEditStyle = fsEdit\n"
                        "    MsgLanguage = msGerman\n"
                        "    ShowAllFrames = False\n"
                        "  end\n"
                        "  object SaveImageEnDialog1: TSaveFolioDialog\n"
                        "    ExOptions = [sdShowAdvanced]\n"
                        "    AttachedFolioIO = IO1\n"
                        "  end\n"
                        "end\n",
                        nullptr, "test");
  auto* Open = dynamic_cast<TOpenFolioDialog*>(Root.FindComponent("OpenImageEnDialog1"));
  auto* Save = dynamic_cast<TSaveFolioDialog*>(Root.FindComponent("SaveImageEnDialog1"));
  ASSERT_NE(Open, nullptr);
  ASSERT_NE(Save, nullptr);
  EXPECT_EQ(Open->GetOptions(), ofHideReadOnly | ofAllowMultiSelect);
  EXPECT_EQ(Open->GetFilterIndex(), 3);
  EXPECT_EQ(Open->GetMsgLanguage(), msGerman);
  EXPECT_FALSE(Open->GetShowAllFrames());
  EXPECT_EQ(Save->GetExOptions(), sdShowAdvanced);
  EXPECT_EQ(Save->GetAttachedFolioIO(), IO);
}

TEST_F(DialogsTest, LongPathsStayWholeAndAllFilesAddsNoExtension) {
  // A folder path well beyond 260 characters.
  std::string Deep = Dir.path();
  for (int i = 0; i < 6; ++i) {
    Deep += "/" + std::string(60, static_cast<char>('a' + i));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Deep)));
  }
  const std::string Long = Deep + "/page.png";
  ASSERT_GT(Long.size(), 380u);
  WriteImage(Long, 5, 5, false);
  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetFileName(Long);
  HookScope H1([&](TVclFileDialogForm& F) {
    EXPECT_EQ(D.GetFileName(), Long);
    F.ClickOk();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(D.GetFileName(), Long);
  // "All Files" is pair 2 of the open list: a typed name keeps no ".*".
  D.SetFilterIndex(2);
  D.SetFileName("");
  D.SetInitialDir(Dir.path());
  HookScope H2([&](TVclFileDialogForm& F) {
    F.SetFileNameText("readme");
    F.ClickOk();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(D.GetFileName(), Dir.file("readme"));
  EXPECT_EQ(D.GetFilterIndex(), 2);
}

TEST_F(DialogsTest, EveryFormatTheLibraryWritesAndReadsIsPreviewed) {
  // One small picture per format of the registry that can be written and
  // read; each is previewed with its size.
  std::vector<std::pair<std::string, std::string>> Files;  // path, format name
  for (const auto& E : IEFileFormats()) {
    if (!E->ReadProc || !E->WriteProc || E->Extensions.empty()) continue;
    const std::string Ext = LowerCase(E->Extensions.substr(0, E->Extensions.find(';')));
    const std::string Path = Dir.file("f" + std::to_string(E->FormatId) + "." + Ext);
    TIEBitmap B;
    B.Allocate(24, 16, ie24RGB);
    B.Fill(static_cast<double>(0x2080C0));
    auto IO = TFolioIO::CreateFromBitmap(&B);
    IO->SaveToFile(Path);
    if (IO->GetAborting()) continue;
    // Icons and cursors are written at the icon sizes, not the image's.
    Files.emplace_back(Path, (E->FormatId == ioICO || E->FormatId == ioCUR) ? "" : E->Description);
  }
  ASSERT_GE(Files.size(), 8u);
  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  HookScope H([&](TVclFileDialogForm& F) {
    for (const auto& [Path, Format] : Files) {
      F.SelectFile(Path);
      D.WaitPreview();
      if (!Format.empty()) {
        EXPECT_EQ(Caption(&D, "PicLabel1").substr(0, 13), "24 x 16 pixel") << Format;
      }
      EXPECT_FALSE(Caption(&D, "InfoLabel1").empty()) << Path;
      const bool Shown = !D.GetPreviewView()->IsEmptyImage() || D.GetPreviewMView()->GetImageCount() > 0;
      EXPECT_TRUE(Shown) << Path;
    }
    F.ClickCancel();
  });
  D.Execute();
}

TEST_F(DialogsTest, SaveDialogOnAViewEditsAndRestoresItsComponentsParameters) {
  TFolioView View(nullptr);
  TIOParamsVals* P = View.GetIO()->GetParams();
  P->JpegQuality = 75;
  int Shown = 0;
  View.GetIO()->OnDoPreviews = [&](TObject*, bool& Handled) {
    ++Shown;
    EXPECT_EQ(P->FileFormat, ioJPEG);
    P->JpegQuality = 10;
    Handled = true;
  };
  TSaveFolioDialog D(nullptr);
  D.SetAttachedFolioIO(&View);
  EXPECT_EQ(D.GetAttachedFolioIO(), &View);
  D.SetInitialDir(Dir.path());
  HookScope H([&](TVclFileDialogForm& F) {
    F.SetFileNameText("photo.jpg");
    D.UpdateAdvancedButton();
    Named<TButton>(&D, "AdvancedButton")->Click();
    EXPECT_EQ(P->JpegQuality, 10);
    F.ClickCancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_EQ(Shown, 1);
  EXPECT_EQ(P->JpegQuality, 75);
}

namespace {

// Waits until the dialog's list shows Count entries of its folder.
QFileSystemModel* ListedFolder(TVclFileDialogForm& F, const std::string& Folder, int Count, QListView*& List) {
  List = F.GetFileDialog()->findChild<QListView*>("listView");
  if (!List) return nullptr;
  auto* Model = qobject_cast<QFileSystemModel*>(List->model());
  if (!Model) return nullptr;
  const QModelIndex Root = Model->index(QString::fromStdString(Folder));
  for (int i = 0; i < 2000 && (Model->canFetchMore(Root) || Model->rowCount(Root) < Count); ++i) {
    if (Model->canFetchMore(Root)) Model->fetchMore(Root);
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return Model;
}

// A press and release of the left button on a file of the list, as a user
// clicks it.
void ClickFile(QListView* List, QFileSystemModel* Model, const std::string& Path) {
  const QModelIndex Source = Model->index(QString::fromStdString(Path));
  QModelIndex I = Source;
  if (auto* Proxy = qobject_cast<QAbstractProxyModel*>(List->model())) I = Proxy->mapFromSource(Source);
  List->scrollTo(I);
  const QPoint P = List->visualRect(I).center();
  for (QEvent::Type T : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent E(T, QPointF(P), QPointF(List->viewport()->mapToGlobal(P)), Qt::LeftButton,
                  T == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(List->viewport(), &E);
  }
}

TEST_F(DialogsTest, OpenDialogPreviewsTheFileJustClicked) {
  const std::string A = Dir.file("a.png"), B = Dir.file("b.png");
  WriteImage(A, 40, 30, false, 150);
  WriteImage(B, 64, 20, false, 150);
  TOpenFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetInitialDir(Dir.path());
  HookScope H([&](TVclFileDialogForm& F) {
    QListView* List = nullptr;
    QFileSystemModel* Model = ListedFolder(F, Dir.path(), 2, List);
    ASSERT_NE(Model, nullptr);
    auto* View = Named<TFolioVect>(&D, "FolioView");
    // Each click shows its own file at once, not the one clicked before.
    for (const auto& [File, Size] : {std::pair{A, "40 x 30 pixel"}, std::pair{B, "64 x 20 pixel"},
                                     std::pair{A, "40 x 30 pixel"}}) {
      ClickFile(List, Model, File);
      QApplication::processEvents();
      D.WaitPreview();
      EXPECT_EQ(Caption(&D, "PicLabel1"), Size) << File;
      EXPECT_EQ(View->GetIEBitmap()->GetWidth(), File == A ? 40 : 64) << File;
    }
    F.ClickCancel();
  });
  EXPECT_FALSE(D.Execute());
}

TEST_F(DialogsTest, SaveDialogPreviewsThePageBeingSavedAtItsTrueShape) {
  // A two-page document whose second page is selected: a 1728 x 1078 page at
  // 204 x 98 DPI.
  TFolioMView Pages(nullptr);
  TFolioMIO* MIO = Pages.GetMIO();
  for (int i = 0; i < 2; ++i) {
    Pages.AppendImage();
    TIEBitmap Page;
    Page.Allocate(i == 0 ? 300 : 1728, i == 0 ? 200 : 1078, ie1g);
    Page.Fill(1);
    Pages.SetIEBitmap(i, &Page);
  }
  MIO->ParamsOf(1)->SetDpiX(204);
  MIO->ParamsOf(1)->SetDpiY(98);
  Pages.SetSelectedImage(1);
  // A file already in the folder: selecting it does not replace the page.
  WriteImage(Dir.file("old.png"), 40, 30, false, 150);
  TSaveFolioDialog D(nullptr);
  D.SetMsgLanguage(msEnglish);
  D.SetAttachedFolioIO(MIO);
  D.SetInitialDir(Dir.path());
  HookScope H([&](TVclFileDialogForm& F) {
    auto* View = Named<TFolioVect>(&D, "FolioView");
    for (int Step = 0; Step < 2; ++Step) {
      EXPECT_TRUE(View->GetVisible()) << Step;
      EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 1728) << Step;
      EXPECT_EQ(View->GetIEBitmap()->GetHeight(), 1078) << Step;
      EXPECT_DOUBLE_EQ(View->GetZoomY(), View->GetZoom() * 204 / 98) << Step;
      EXPECT_EQ(Caption(&D, "PicLabel1"), "1728 x 1078 pixel") << Step;
      EXPECT_EQ(Caption(&D, "PicLabel3"), "204 x 98 dpi") << Step;
      F.SelectFile(Dir.file("old.png"));
      D.WaitPreview();
    }
    F.ClickCancel();
  });
  EXPECT_FALSE(D.Execute());
}

}  // namespace
