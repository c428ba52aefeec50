// The main window end to end in this process: start-up, the command-line
// document, pages, zoom, status bar, the magnifier and the window setting.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "app/app_fixture.h"
#include "app/app_settings.h"
#include "app/main_form.h"
#include "foundations/image_buffer.h"
#include "foundations/library_startup.h"
#include "foundations/settings.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "pictures/png_button.h"
#include "platform/gdi/graphics.h"
#include "platform/vcl/inifiles.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/status_bar.h"
#include "processing/folio_proc.h"
#include "views/folio_view.h"
#include "views/layers.h"
#include "views/multi_view.h"

using namespace apptest;

namespace {

TEST(LibraryStartup, ProgramStepsInstallHooksRegistryAndDefaults) {
  GifLzwDecodeHook = nullptr;
  TiffLzwDecodeHook = nullptr;
  TiffLzwEncodeHook = nullptr;
  IEGrayWeightRed = 0;
  IEDefaultDpiX = 0;
  TAppWindow W;  // the program's start-up
  EXPECT_NE(GifLzwDecodeHook, nullptr);
  EXPECT_NE(GifLzwEncodeHook, nullptr);
  EXPECT_NE(TiffLzwDecodeHook, nullptr);
  EXPECT_NE(TiffLzwEncodeHook, nullptr);
  EXPECT_EQ(IEGrayWeightRed, 21);
  EXPECT_EQ(IEDefaultDpiX, 300);
  EXPECT_NE(IEFindFormatById(ioTIFF), nullptr);
  EXPECT_NE(IEFindFormatById(ioPDF), nullptr);
}

TEST(MainWindow, StartsEmptyWithItsComponentsAndGreyedCommands) {
  TBoxes Boxes;
  TAppWindow W;
  Tform_multipage* F = W.Form;
  EXPECT_EQ(F->GetCaption(), "Folivra 2.2.1");
  for (const char* Name : {"PageView", "FolioMView1", "FolioMIO1", "IEn", "IEnIO", "MView", "StatusBar1", "Gauge1",
                           "MainMenu1", "PopupMenu1", "Panel4", "Panel7", "FramesPanel", "OxPanel1"})
    EXPECT_NE(F->FindComponent(Name), nullptr) << Name;
  EXPECT_EQ(F->FolioMIO1->GetAttachedMView(), F->FolioMView1);
  EXPECT_EQ(F->FolioMView1->GetThumbWidth(), 110);
  EXPECT_EQ(F->FolioMView1->GetThumbHeight(), 120);
  EXPECT_EQ(F->FolioMView1->GetGridWidth(), 1);
  EXPECT_EQ(F->DocumentName, "Untitled");
  EXPECT_EQ(F->CurrentPage, -1);
  EXPECT_EQ(F->ZoomPercent, 100.0);
  EXPECT_EQ(F->PageView->GetProc()->GetUndoLimit(), 10);
  // No page: the toolbar shows the greyed twins; open and scan stay.
  for (const char* Name : {"btnSave", "btnPrint", "btnUndo", "btnRedo", "btnCopy", "btnPasteNewObject",
                           "btnZoom_Reduce", "btnZoom_Actual", "btnZoom_Enlarge", "btnRotateLeft", "btnRotateRight",
                           "btnFlipHor", "btnFlipVert", "btnImageSize", "btnCrop"})
    EXPECT_FALSE(W.PairShowsEnabled(Name)) << Name;
  EXPECT_TRUE(F->Find<TControl>("btnOpen")->GetVisible());
  EXPECT_FALSE(W.IsEnabled("Save2"));
  EXPECT_FALSE(W.IsEnabled("Enlarge1"));
  EXPECT_TRUE(W.IsEnabled("Open1"));
  // Buttons and twins carry pictures of the same size.
  auto* Open = F->Find<TPNGButton>("btnOpen");
  auto* SaveTwin = F->Find<TPNGButton>("btnSave2");
  ASSERT_TRUE(Open && SaveTwin);
  EXPECT_EQ(Open->GetPictureDefault()->GetWidth(), 32);
  EXPECT_EQ(SaveTwin->GetPictureDefault()->GetWidth(), 32);
  EXPECT_EQ(F->Find<TControl>("btnSave2")->GetTop(), 6);
  EXPECT_TRUE(Boxes.Seen.empty());

  // The menu bar shows what is greyed: whole menus, and entries of a menu
  // (submenus too) once it opens.
  auto* Bar = F->GetWidget()->findChild<QMenuBar*>();
  ASSERT_NE(Bar, nullptr);
  std::map<std::string, QAction*> Top;
  for (QAction* A : Bar->actions()) Top[A->text().toStdString()] = A;
  EXPECT_TRUE(Top["File"]->isEnabled());
  EXPECT_TRUE(Top["View"]->isEnabled());
  for (const char* Name : {"Edit", "Tools", "Color", "Help", "Feedback"}) EXPECT_FALSE(Top[Name]->isEnabled()) << Name;
  QMenu* File = Top["File"]->menu();
  ASSERT_NE(File, nullptr);
  emit File->aboutToShow();
  std::map<std::string, bool> Entries;
  for (QAction* A : File->actions()) Entries[A->text().toStdString()] = A->isEnabled();
  EXPECT_TRUE(Entries["Open"]);
  EXPECT_FALSE(Entries["Save all page as..."]);  // no page yet
  EXPECT_FALSE(Entries["Acquire..."]);           // not built
  EXPECT_FALSE(Entries["Print"]);
}

TEST(MainWindow, OpensTheCommandLineFaxAndMovesThroughPagesAndZoom) {
  testsupport::TempDir Dir;
  const std::string Fax = Dir.file("fax.tif");
  if (!MakeFax(Fax, 3)) GTEST_SKIP() << "ImageMagick is missing";
  TBoxes Boxes;
  // A second parameter is ignored.
  TAppWindow W({Fax, Dir.file("other.tif")});
  Tform_multipage* F = W.Form;
  ASSERT_EQ(F->PageCount(), 3);
  EXPECT_EQ(F->DocumentName, Fax);
  EXPECT_EQ(F->CurrentPage, 0);
  EXPECT_EQ(F->FolioMView1->GetSelectedImage(), 0);
  EXPECT_EQ(F->FolioMView1->GetImageCacheSize(), 3);
  EXPECT_EQ(F->StatusText(0), "Page: 1/3");
  // The 204 x 98 DPI page arrives as stored, and is shown at its true shape:
  // fitted to the window's width, rows drawn 204/98 times as high.
  EXPECT_EQ(F->StatusText(1), "Size: 1728x1100");
  EXPECT_EQ(F->FolioMIO1->ParamsOf(0)->DpiX, 204);
  EXPECT_EQ(F->FolioMIO1->ParamsOf(0)->DpiY, 98);
  TIEBitmap* Page = F->PageView->GetIEBitmap();
  EXPECT_EQ(Page->GetWidth(), 1728);
  EXPECT_EQ(Page->GetHeight(), 1100);
  EXPECT_EQ(Page->GetPixelFormat(), ie1g);
  const double Fit = F->PageView->GetZoom();
  EXPECT_LT(Fit, 100.0);
  EXPECT_EQ(F->ZoomPercent, Fit);
  EXPECT_NEAR(F->PageView->GetExtentX(), F->PageView->GetViewWidth(), 1);
  EXPECT_DOUBLE_EQ(F->PageView->GetZoomY(), Fit * 204 / 98);
  EXPECT_EQ(F->StatusText(2), " Zoom: " + std::to_string(int(Fit)) + "%");
  EXPECT_EQ(F->PageView->GetViewY(), 0);
  EXPECT_TRUE(Boxes.Seen.empty()) << Boxes.Seen.front().Text;

  // Thumbnails: one column, every page painted from the store.
  QApplication::processEvents();
  F->FolioMView1->Update();
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(F->FolioMView1->HasImage(i)) << i;
  EXPECT_EQ(F->FolioMView1->GetColumnCount(), 1);

  // A page chosen in the list is shown; its undo history starts empty.
  F->PageView->GetProc()->PushUndo(ieuImage);
  ASSERT_TRUE(F->PageView->GetProc()->CanUndo());
  W.ChoosePage(2);
  EXPECT_EQ(F->CurrentPage, 2);
  EXPECT_EQ(F->StatusText(0), "Page: 3/3");
  // 204 x 196 DPI: kept too, at the same horizontal zoom.
  EXPECT_EQ(F->StatusText(1), "Size: 1728x2200");
  EXPECT_FALSE(F->PageView->GetProc()->CanUndo());
  EXPECT_EQ(F->PageView->GetIEBitmap()->GetWidth(), 1728);
  EXPECT_EQ(F->PageView->GetZoom(), Fit);
  EXPECT_DOUBLE_EQ(F->PageView->GetZoomY(), Fit * 204 / 196);
  // Page moves and conversions do nothing yet: greyed whatever the page.
  EXPECT_FALSE(W.IsEnabled("btDown"));
  EXPECT_FALSE(W.PairShowsEnabled("btUp"));
  EXPECT_FALSE(W.IsEnabled("ConvertTo24bit"));
  EXPECT_FALSE(W.IsEnabled("ConvertToBW"));

  // Zoom in from 100: 200 .. 1600, then disabled; the vertical zoom keeps
  // the page's shape.
  W.Click("ActualSize1");
  EXPECT_EQ(F->ZoomPercent, 100.0);
  for (double Z : {200.0, 400.0, 800.0, 1600.0}) {
    ASSERT_TRUE(W.IsEnabled("Enlarge1"));
    W.Click("btnZoom_Enlarge");
    EXPECT_EQ(F->ZoomPercent, Z);
    EXPECT_DOUBLE_EQ(F->PageView->GetZoom(), Z);
    EXPECT_DOUBLE_EQ(F->PageView->GetZoomY(), Z * 204 / 196);
  }
  EXPECT_FALSE(W.IsEnabled("Enlarge1"));
  EXPECT_FALSE(W.PairShowsEnabled("btnZoom_Enlarge"));
  W.Click("ActualSize1");
  EXPECT_EQ(F->StatusText(2), " Zoom: 100%");
  // Zoom out: 50, 25, 12.5 (shown as 12), 6.25 (6), then disabled.
  for (const char* Text : {" Zoom: 50%", " Zoom: 25%", " Zoom: 12%", " Zoom: 6%"}) {
    ASSERT_TRUE(W.IsEnabled("Reduce1"));
    W.Click("Reduce1");
    EXPECT_EQ(F->StatusText(2), Text);
  }
  EXPECT_FALSE(W.IsEnabled("Reduce1"));
  // Fit to width: the zoom follows the view.
  W.Click("Zoom_FitPageWidth");
  EXPECT_GT(F->ZoomPercent, 6.25);
  EXPECT_DOUBLE_EQ(F->ZoomPercent, F->PageView->GetZoom());

  // Looking changes nothing: the window closes without a question.
  EXPECT_FALSE(F->GetModified());
  EXPECT_EQ(F->GetCaption(), "Folivra 2.2.1 - fax.tif");
  bool CanClose = false;
  F->FormCloseQuery(F, CanClose);
  EXPECT_TRUE(CanClose);
  EXPECT_TRUE(Boxes.Seen.empty());

  // An edit written back marks the caption until the document is saved.
  F->WriteBackPage(2);
  F->UpdateControls();
  EXPECT_EQ(F->GetCaption(), "Folivra 2.2.1 - fax.tif*");
  W.Click("Save2");
  EXPECT_EQ(F->GetCaption(), "Folivra 2.2.1 - fax.tif");
}

TEST(MainWindow, CommandLineFileThatCannotBeOpenedIsSaidAndTheWindowOpensEmpty) {
  testsupport::TempDir Dir;
  const std::string Txt = Dir.file("notes.txt");
  testsupport::WriteFileBytes(Txt, {'h', 'e', 'l', 'l', 'o', '\n'});
  for (const std::string& Name : {Txt, Dir.file("missing.tif")}) {
    TBoxes Boxes;
    TAppWindow W({Name});
    EXPECT_EQ(W.Form->PageCount(), 0);
    EXPECT_EQ(W.Form->DocumentName, "Untitled");
    ASSERT_EQ(Boxes.Seen.size(), 1u) << Name;
    EXPECT_NE(Boxes.Seen[0].Text.find("\"" + Name + "\""), std::string::npos) << Boxes.Seen[0].Text;
    EXPECT_NE(Boxes.Seen[0].Text.find(Name == Txt ? "cannot be read" : "does not exist"), std::string::npos)
        << Boxes.Seen[0].Text;
    EXPECT_EQ(W.Form->GetCaption(), "Folivra 2.2.1");
  }
}

TEST(MainWindow, MagnifierIsALayerThatCommandsNeverEdit) {
  testsupport::TempDir Dir;
  const std::string Fax = Dir.file("fax.tif");
  if (!MakeFax(Fax, 2)) GTEST_SKIP() << "ImageMagick is missing";
  TAppWindow W({Fax});
  Tform_multipage* F = W.Form;
  W.Click("Magnifier");
  EXPECT_TRUE(F->Find<TMenuItem>("Magnifier")->GetChecked());
  EXPECT_TRUE(F->Find<TMenuItem>("Magnifier1")->GetChecked());
  ASSERT_EQ(F->PageView->GetLayerCount(), 2);
  EXPECT_TRUE(F->PageView->GetLayer(1)->Magnify);
  EXPECT_EQ(F->PageView->GetCurrentLayerIndex(), 0);
  // Square on screen, where the 204 x 98 DPI page's rows stand 204/98 high.
  EXPECT_EQ(F->PageView->GetLayer(1)->GetWidth(), 75);
  EXPECT_EQ(F->PageView->GetLayer(1)->GetHeight(), 36);
  // The page stays layer 0 across page switches.
  W.ChoosePage(1);
  EXPECT_EQ(F->CurrentPage, 1);
  EXPECT_EQ(F->PageView->GetLayerCount(), 2);
  EXPECT_EQ(F->PageView->GetCurrentLayerIndex(), 0);
  EXPECT_EQ(F->PageView->GetIEBitmap()->GetWidth(), 1728);
  EXPECT_EQ(F->PageView->GetLayer(1)->GetHeight(), 72);  // 204 x 196 DPI
  W.Click("Magnifier1");
  EXPECT_FALSE(F->Find<TMenuItem>("Magnifier")->GetChecked());
  EXPECT_EQ(F->PageView->GetLayerCount(), 1);
  EXPECT_EQ(F->PageView->GetMouseInteract(), 0);
}

TEST(MainWindow, KeepsTheMaximisedStateBetweenRuns) {
  {
    TRegistryIniFile Ini(KMainWindowKey);
    Ini.EraseSection(KOptionsSection);
  }
  {
    TAppWindow W;
    EXPECT_EQ(W.Form->GetWindowState(), wsNormal);
    W.Form->SetWindowState(wsMaximized);
    W.Form->Close();
  }
  EXPECT_TRUE(ReadStateMax());
  EXPECT_TRUE(std::filesystem::exists(VclRegistryKeyPath(KMainWindowKey)));
  {
    TAppWindow W;
    EXPECT_EQ(W.Form->GetWindowState(), wsMaximized);
    W.Form->SetWindowState(wsNormal);
    W.Form->Close();
  }
  EXPECT_FALSE(ReadStateMax());
}

}  // namespace

namespace {

TEST(MainWindow, DroppedFilesOpenOnlyTheFirstAndSkipWhatIsNoImage) {
  testsupport::TempDir Dir;
  const std::string Fax = Dir.file("fax.tif"), Other = Dir.file("other.tif");
  if (!MakeFax(Fax, 3) || !MakeFax(Other, 2)) GTEST_SKIP() << "ImageMagick is missing";
  TBoxes Boxes;
  TAppWindow W;
  W.Form->DropFiles({Dir.file("missing.tif"), Fax});
  EXPECT_EQ(W.Form->PageCount(), 0) << "only the first file counts, and it does not exist";
  W.Form->DropFiles({Fax, Other, Dir.file("missing.tif")});
  EXPECT_EQ(W.Form->PageCount(), 3);
  EXPECT_EQ(W.Form->DocumentName, Fax);
  // Dropping while pages exist asks first; No keeps the document.
  Boxes.Answers = {mrNo};
  W.Form->DropFiles({Other});
  EXPECT_TRUE(Boxes.SawText("All images will be deleted. Are you sure?"));
  EXPECT_EQ(W.Form->PageCount(), 3);
  EXPECT_EQ(W.Form->DocumentName, Fax);
  W.Form->DropFiles({Other});
  EXPECT_EQ(W.Form->PageCount(), 2);
  EXPECT_EQ(W.Form->DocumentName, Other);
  EXPECT_EQ(W.Form->StatusText(0), "Page: 1/2");
}

}  // namespace

namespace {

// What a user can see change after a command: the pages, the view, the
// menus' checkmarks, a dialog or message, the files, the clipboard, the
// window itself.
struct TLook {
  int32_t Pages = 0, Current = 0, Selected = 0, Layers = 0, ViewX = 0, ViewY = 0;
  double ZoomX = 0, ZoomY = 0;
  bool Magnifier = false, Visible = false;
  size_t Dialogs = 0, Boxes = 0;
  std::string Files, Clipboard;
  bool operator==(const TLook&) const = default;
};

std::string FolderText(const std::string& Folder) {
  std::string Text;
  for (const auto& E : std::filesystem::directory_iterator(Folder))
    Text += E.path().filename().string() + " " + std::to_string(E.file_size()) + " " +
            std::to_string(E.last_write_time().time_since_epoch().count()) + "\n";
  return Text;
}

// The "What it does not do" section of the README.
std::string NotDoneSection() {
  std::ifstream In(std::string(FOLIVRA_RESOURCES) + "/../README.md");
  std::stringstream S;
  S << In.rdbuf();
  const std::string Text = S.str();
  const size_t Start = Text.find("## What it does not do");
  if (Start == std::string::npos) return "";
  const size_t End = Text.find("\n## ", Start + 1);
  std::string Section = Text.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
  // Lines are wrapped: one line of words.
  for (char& C : Section)
    if (C == '\n') C = ' ';
  std::string Joined;
  for (char C : Section)
    if (!(C == ' ' && !Joined.empty() && Joined.back() == ' ')) Joined += C;
  return Joined;
}

TEST(MainWindow, EveryLiveControlDoesSomethingAndEveryGreyedOneIsSaidInTheReadme) {
  testsupport::TempDir Dir;
  const std::string Fax = Dir.file("fax.tif");
  if (!MakeFax(Fax, 3)) GTEST_SKIP() << "ImageMagick is missing";
  const std::string NotDone = NotDoneSection();
  ASSERT_FALSE(NotDone.empty());
  TBoxes Boxes;
  TChoices Choices;
  TAppWindow W({Fax});
  Tform_multipage* F = W.Form;
  ASSERT_EQ(F->PageCount(), 3);
  // Everything a command may need is there: pages, a picture on the
  // clipboard, a selection.
  QGuiApplication::clipboard()->setImage(QImage(16, 16, QImage::Format_RGB32));

  auto Look = [&] {
    TLook L;
    L.Pages = F->PageCount();
    L.Current = F->CurrentPage;
    L.Selected = F->FolioMView1->GetSelectedImage();
    L.Layers = F->PageView->GetLayerCount();
    L.ViewX = F->PageView->GetViewX();
    L.ViewY = F->PageView->GetViewY();
    L.ZoomX = F->PageView->GetZoomX();
    L.ZoomY = F->PageView->GetZoomY();
    L.Magnifier = F->Find<TMenuItem>("Magnifier")->GetChecked();
    L.Visible = F->GetVisible();
    L.Dialogs = Choices.Seen.size();
    L.Boxes = Boxes.Seen.size();
    L.Files = FolderText(Dir.path());
    const QMimeData* D = QGuiApplication::clipboard()->mimeData();
    if (D) L.Clipboard = D->formats().join(",").toStdString() + std::to_string(D->hasImage());
    return L;
  };
  // Each command starts from the same odd view, so a zoom or fit changes it.
  auto Reset = [&] {
    F->ZoomPercent = 37;
    F->PageView->SetZoom(37);
    F->PageView->ScrollTo(5, 7);
    F->PageView->Select(10, 10, 200, 200);
    F->UpdateControls();
  };

  std::vector<std::string> Greyed, Live;
  auto CheckGreyed = [&](const std::string& Name, const std::string& Said) {
    Greyed.push_back(Name);
    std::string Text = Said;
    while (!Text.empty() && Text.back() == ' ') Text.pop_back();
    EXPECT_NE(NotDone.find(Text), std::string::npos) << Name << " (\"" << Text << "\") is greyed but not in the README";
  };
  auto CheckLive = [&](const std::string& Name) {
    Live.push_back(Name);
    const TLook Before = Look();
    W.Click(Name);
    QApplication::processEvents();
    EXPECT_FALSE(Look() == Before) << Name << " is live but changes nothing";
  };

  // Menus: a greyed item is said in the README by its own caption or by the
  // caption of the greyed menu it is in.
  std::function<void(TMenuItem*)> Walk = [&](TMenuItem* Parent) {
    for (int32_t i = 0; i < Parent->GetCount(); ++i) {
      TMenuItem* M = Parent->GetItem(i);
      if (M->GetCaption() == "-" || M->GetName() == "Exit1") continue;
      Reset();
      if (!M->GetEnabled()) {
        CheckGreyed(M->GetName(), M->GetCaption());
      } else if (M->GetCount() > 0) {
        Walk(M);
      } else {
        CheckLive(M->GetName());
      }
    }
  };
  Walk(F->MainMenu1->GetItems());
  Walk(F->PopupMenu1->GetItems());

  // The toolbar, the page column and the tool buttons: a greyed button is
  // said by its tooltip, which stays as it is.
  for (int32_t i = 0; i < F->GetComponentCount(); ++i) {
    auto* B = dynamic_cast<TPNGButton*>(F->GetComponent(i));
    if (!B) continue;
    const std::string Name = B->GetName();
    if (Name.back() == '2' && F->Find<TControl>(Name.substr(0, Name.size() - 1))) continue;  // a twin
    Reset();
    EXPECT_FALSE(B->GetHint().empty()) << Name;
    if (W.IsEnabled(Name))
      CheckLive(Name);
    else
      CheckGreyed(Name, B->GetHint());
  }
  // Exit closes the window.
  W.Click("Exit1");
  EXPECT_FALSE(F->GetVisible());

  for (const char* Name : {"Open1", "Save2", "Saveselectedimage1", "separatefiles1", "multipagefile1", "VerticalStrip",
                           "HorizontalStrip", "Enlarge1", "Reduce1", "Zoom_FitPageWidth", "Zoom_FitPageHeight",
                           "ActualSize1", "Magnifier", "Magnifier1", "btnOpen", "btnSave", "btnZoom_Reduce",
                           "btnZoom_Actual", "btnZoom_Enlarge"})
    EXPECT_NE(std::find(Live.begin(), Live.end(), Name), Live.end()) << Name << " should be live";
  for (const char* Name : {"Edit1", "Tools1", "Color1", "Help1", "Feedback1", "TextImport1", "Print1", "btnPrint",
                           "btnScan", "btnInsertPage", "btRemove", "btnSelect"})
    EXPECT_NE(std::find(Greyed.begin(), Greyed.end(), Name), Greyed.end()) << Name << " should be greyed";
}

}  // namespace
