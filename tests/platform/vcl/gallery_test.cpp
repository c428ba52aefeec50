// The control gallery: one form resource (resources/forms/control_gallery.dfm)
// that holds every control the windows of the program are built from, read
// by the form reader and driven by component name as a user drives it. A
// picture of it is kept (artefacts/control_gallery.png under the test's
// working folder, or under FOLIVRA_ARTEFACT_DIR).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/graphics.h"
#include "platform/vcl/buttons.h"
#include "platform/vcl/combo_box.h"
#include "platform/vcl/common_dialogs.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/form_writer.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/group_controls.h"
#include "platform/vcl/image_control.h"
#include "platform/vcl/image_list.h"
#include "platform/vcl/page_control.h"
#include "platform/vcl/print_dialogs.h"
#include "platform/vcl/scroll_box.h"
#include "platform/vcl/shapes.h"
#include "platform/vcl/shell_views.h"
#include "platform/vcl/splitter.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/track_bar.h"
#include "platform/vcl/up_down.h"
#include "platform/vcl/vcl_test_helpers.h"

namespace {

class TGalleryForm : public TForm {
 public:
  explicit TGalleryForm(TComponent* Owner, const std::string& Text = std::string()) : TForm(Owner) {
    BindHandler("FormCreate", &TGalleryForm::Note);
    BindHandler("PageControl1Change", &TGalleryForm::Note);
    BindHandler("PageControl1Changing", &TGalleryForm::PageControl1Changing);
    BindHandler("TrackBar1Change", &TGalleryForm::Note);
    BindHandler("UpDown1Click", &TGalleryForm::UpDown1Click);
    BindHandler("RadioButton1Click", &TGalleryForm::Note);
    BindHandler("RadioGroup1Click", &TGalleryForm::Note);
    BindHandler("SpeedButtonClick", &TGalleryForm::Note);
    BindHandler("BitBtn1Click", &TGalleryForm::Note);
    BindHandler("Splitter1Moved", &TGalleryForm::Note);
    BindHandler("FontComboBox1Change", &TGalleryForm::Note);
    BindHandler("ShellTreeView1Change", &TGalleryForm::Note);
    BindHandler("ShellListView1Change", &TGalleryForm::Note);
    BindHandler("ColorButtonClick", &TGalleryForm::ColorButtonClick);
    BindHandler("FontButtonClick", &TGalleryForm::FontButtonClick);
    if (Text.empty()) {
      ReadFormResource("control_gallery");
    } else {
      ReadFormResourceText(Text, "written gallery");
    }
  }

  template <typename T>
  T* Get(const std::string& Name) const {
    T* C = Find<T>(Name);
    EXPECT_NE(C, nullptr) << Name;
    return C;
  }

  // Each event as "Sender" or "Sender detail".
  std::vector<std::string> Events;
  bool AllowPageChange = true;

 private:
  void Note(TObject* Sender) {
    auto* C = dynamic_cast<TComponent*>(Sender);
    Events.push_back(C ? C->GetName() : "?");
  }
  void PageControl1Changing(TObject*, bool& Allow) {
    Events.push_back("PageControl1 changing");
    Allow = AllowPageChange;
  }
  void UpDown1Click(TObject*, TUDBtnType Button) {
    Events.push_back(Button == btNext ? "UpDown1 next" : "UpDown1 prev");
  }
  void ColorButtonClick(TObject*) {
    auto* D = Get<TColorDialog>("ColorDialog1");
    if (D->Execute()) Get<TShape>("Shape1")->GetBrush()->SetColor(D->GetColor());
  }
  void FontButtonClick(TObject*) {
    auto* D = Get<TFontDialog>("FontDialog1");
    if (D->Execute()) Get<TEdit>("Edit1")->SetFont(D->GetFont());
  }
};

// Answers the common dialogs through Fn while it lives.
class TDialogHook {
 public:
  explicit TDialogHook(TCommonDialogHook Fn) { FPrevious = SetCommonDialogHook(std::move(Fn)); }
  ~TDialogHook() { SetCommonDialogHook(FPrevious); }

 private:
  TCommonDialogHook FPrevious;
};

class Gallery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SetFormResourceFolder(std::string(FOLIO_TEST_DATA) + "/../../resources/forms"); }
  static void TearDownTestSuite() { SetFormResourceFolder(""); }
  void SetUp() override {
    F = std::make_unique<TGalleryForm>(nullptr);
    F->Show();
    QApplication::processEvents();
    F->Events.clear();
  }
  std::unique_ptr<TGalleryForm> F;
};

TEST_F(Gallery, PageControlShowsTheTabsOfTheVisibleSheetsAndAsksBeforeChanging) {
  auto* Pages = F->Get<TPageControl>("PageControl1");
  ASSERT_EQ(Pages->GetPageCount(), 3);
  EXPECT_EQ(Pages->GetTabCount(), 2) << "the hidden sheet shows no tab";
  EXPECT_EQ(Pages->GetActivePage()->GetName(), "TabSheet1");
  EXPECT_TRUE(F->Get<TTrackBar>("TrackBar1")->GetWidget()->isVisible());

  // The user clicks the second tab: asked, then changed.
  Pages->GetTabBar()->setCurrentIndex(1);
  QApplication::processEvents();
  EXPECT_EQ(Pages->GetActivePage()->GetName(), "TabSheet2");
  EXPECT_EQ(F->Events, (std::vector<std::string>{"PageControl1 changing", "PageControl1"}));
  EXPECT_FALSE(F->Get<TTrackBar>("TrackBar1")->GetWidget()->isVisible());
  EXPECT_TRUE(F->Get<TRadioGroup>("RadioGroup1")->GetWidget()->isVisible());

  // A refusal keeps the page and the tab.
  F->AllowPageChange = false;
  F->Events.clear();
  Pages->GetTabBar()->setCurrentIndex(0);
  QApplication::processEvents();
  EXPECT_EQ(Pages->GetActivePage()->GetName(), "TabSheet2");
  EXPECT_EQ(Pages->GetTabBar()->currentIndex(), 1);
  EXPECT_EQ(F->Events, (std::vector<std::string>{"PageControl1 changing"}));

  // Tabs come and go with TabVisible; the page of a tab that goes gives way.
  F->Get<TTabSheet>("TabSheet3")->SetTabVisible(true);
  EXPECT_EQ(Pages->GetTabBar()->count(), 3);
  EXPECT_EQ(Pages->PageOfTab(2)->GetName(), "TabSheet3");
  F->Get<TTabSheet>("TabSheet2")->SetTabVisible(false);
  EXPECT_EQ(Pages->GetTabCount(), 2);
  EXPECT_NE(Pages->GetActivePage()->GetName(), "TabSheet2");
  // Choosing by program asks nothing.
  F->Events.clear();
  Pages->SetActivePage(F->Get<TTabSheet>("TabSheet1"));
  EXPECT_TRUE(F->Events.empty());
}

TEST_F(Gallery, TrackBarAndUpDownStepTheirValues) {
  auto* Track = F->Get<TTrackBar>("TrackBar1");
  EXPECT_EQ(Track->GetPosition(), 128);
  EXPECT_EQ(Track->GetFrequency(), 20);
  auto* Slider = qobject_cast<QSlider*>(Track->GetWidget());
  ASSERT_NE(Slider, nullptr);
  EXPECT_EQ(Slider->tickInterval(), 20);
  Slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
  QApplication::processEvents();
  EXPECT_EQ(Track->GetPosition(), 130);
  EXPECT_EQ(F->Events, (std::vector<std::string>{"TrackBar1"}));
  Track->SetPosition(999);
  EXPECT_EQ(Track->GetPosition(), 255) << "kept within the range";
  EXPECT_EQ(F->Get<TTrackBar>("TrackBar2")->GetOrientation(), trVertical);

  // Typing into the associated edit, then the up arrow: the typed value steps.
  auto* Edit = F->Get<TEdit>("Edit1");
  auto* Up = F->Get<TUpDown>("UpDown1");
  Edit->SetText("7");
  F->Events.clear();
  SendClick(Up->GetWidget(), QPoint(8, 3));
  QApplication::processEvents();
  EXPECT_EQ(Up->GetPosition(), 8);
  EXPECT_EQ(Edit->GetText(), "8");
  EXPECT_EQ(F->Events, (std::vector<std::string>{"UpDown1 next"}));
  // The lower half steps down; the range's ends hold (no wrap).
  Up->SetPosition(1);
  SendClick(Up->GetWidget(), QPoint(8, 18));
  EXPECT_EQ(Up->GetPosition(), 1);
  EXPECT_EQ(Edit->GetText(), "1");
  // The arrow keys in the edit step too.
  SendKey(Edit->GetWidget(), Qt::Key_Up, Qt::NoModifier);
  QApplication::processEvents();
  EXPECT_EQ(Edit->GetText(), "2");
}

TEST_F(Gallery, RadioButtonsAndRadioGroupKeepOneChoice) {
  F->Get<TPageControl>("PageControl1")->SetActivePage(F->Get<TTabSheet>("TabSheet2"));
  QApplication::processEvents();
  auto* White = F->Get<TRadioButton>("RadioButton1");
  auto* Custom = F->Get<TRadioButton>("RadioButton2");
  EXPECT_TRUE(White->GetChecked());
  SendClick(Custom->GetWidget(), QPoint(6, 8));
  QApplication::processEvents();
  EXPECT_TRUE(Custom->GetChecked());
  EXPECT_FALSE(White->GetChecked());
  EXPECT_FALSE(qobject_cast<QRadioButton*>(White->GetWidget())->isChecked());
  // A click on the checked button leaves it checked.
  SendClick(Custom->GetWidget(), QPoint(6, 8));
  EXPECT_TRUE(Custom->GetChecked());
  EXPECT_EQ(F->Events, (std::vector<std::string>{"RadioButton2"}));

  auto* Group = F->Get<TRadioGroup>("RadioGroup1");
  EXPECT_EQ(Group->GetItemIndex(), 0);
  EXPECT_EQ(Group->GetColumns(), 2);
  ASSERT_NE(Group->GetButton(2), nullptr);
  EXPECT_EQ(Group->GetButton(2)->GetText(), "Gray");
  // Two columns: the third item starts the second column.
  EXPECT_GT(Group->GetButton(2)->GetLeft(), Group->GetButton(0)->GetLeft());
  F->Events.clear();
  SendClick(Group->GetButton(2)->GetWidget(), QPoint(6, Group->GetButton(2)->GetHeight() / 2));
  QApplication::processEvents();
  EXPECT_EQ(Group->GetItemIndex(), 2);
  EXPECT_FALSE(Group->GetButton(0)->GetChecked());
  EXPECT_EQ(F->Events, (std::vector<std::string>{"RadioGroup1"}));
}

TEST_F(Gallery, SpeedButtonsOfAGroupStayDownOneAtATime) {
  auto* Left = F->Get<TSpeedButton>("SpeedButton1");
  auto* Centre = F->Get<TSpeedButton>("SpeedButton2");
  EXPECT_TRUE(Left->GetDown());
  SendClick(Centre->GetWidget(), QPoint(5, 5));
  EXPECT_TRUE(Centre->GetDown());
  EXPECT_FALSE(Left->GetDown());
  // Without AllowAllUp the down button stays down.
  SendClick(Centre->GetWidget(), QPoint(5, 5));
  EXPECT_TRUE(Centre->GetDown());
  Centre->SetAllowAllUp(true);
  EXPECT_TRUE(Left->GetAllowAllUp()) << "the group shares AllowAllUp";
  SendClick(Centre->GetWidget(), QPoint(5, 5));
  EXPECT_FALSE(Centre->GetDown());
  EXPECT_EQ(F->Events, (std::vector<std::string>{"SpeedButton2", "SpeedButton2", "SpeedButton2"}));

  // A glyph of two frames: the button without group springs back.
  auto* Go = F->Get<TSpeedButton>("SpeedButton4");
  EXPECT_EQ(Go->GetNumGlyphs(), 2);
  EXPECT_EQ(Go->GetGlyph()->GetWidth(), 32);
  SendClick(Go->GetWidget(), QPoint(5, 5));
  EXPECT_FALSE(Go->GetDown());
  EXPECT_EQ(F->Events.back(), "SpeedButton4");
}

TEST_F(Gallery, BitButtonsTakeTheirKindAndGlyph) {
  auto* Ok = F->Get<TBitBtn>("BitBtn1");
  EXPECT_EQ(Ok->GetText(), "OK");
  EXPECT_EQ(Ok->GetModalResult(), mrOk);
  EXPECT_TRUE(Ok->GetDefault());
  SendClick(Ok->GetWidget(), QPoint(10, 10));
  QApplication::processEvents();
  EXPECT_EQ(F->GetModalResult(), mrOk);
  EXPECT_EQ(F->Events, (std::vector<std::string>{"BitBtn1"}));
  auto* Next = F->Get<TBitBtn>("BitBtn2");
  EXPECT_EQ(Next->GetNumGlyphs(), 2);
  EXPECT_EQ(Next->GetLayout(), blGlyphRight);
}

TEST_F(Gallery, SplitterResizesItsNeighbourAndScrollBoxScrollsToFarControls) {
  auto* Left = F->Get<TPanel>("LeftPanel");
  auto* Split = F->Get<TSplitter>("Splitter1");
  ASSERT_EQ(Split->FindResizeControl(), Left);
  EXPECT_EQ(Left->GetWidth(), 100);
  SendMouse(Split->GetWidget(), QEvent::MouseButtonPress, QPoint(1, 50), Qt::LeftButton, Qt::LeftButton);
  SendMouse(Split->GetWidget(), QEvent::MouseMove, QPoint(31, 50), Qt::NoButton, Qt::LeftButton);
  SendMouse(Split->GetWidget(), QEvent::MouseButtonRelease, QPoint(1, 50), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(Left->GetWidth(), 130);
  EXPECT_EQ(Split->GetLeft(), 131) << "the splitter follows its neighbour";
  EXPECT_EQ(F->Events, (std::vector<std::string>{"Splitter1"}));
  // Never narrower than MinSize.
  SendMouse(Split->GetWidget(), QEvent::MouseButtonPress, QPoint(1, 50), Qt::LeftButton, Qt::LeftButton);
  SendMouse(Split->GetWidget(), QEvent::MouseMove, QPoint(-500, 50), Qt::NoButton, Qt::LeftButton);
  SendMouse(Split->GetWidget(), QEvent::MouseButtonRelease, QPoint(1, 50), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(Left->GetWidth(), 40);

  auto* Box = F->Get<TScrollBox>("ScrollBox1");
  auto* Far = F->Get<TLabel>("FarLabel");
  TScrollInfo Info;
  Info.fMask = SIF_ALL;
  ASSERT_TRUE(Box->VclGetScrollInfo(SB_VERT, Info));
  EXPECT_TRUE(Box->ScrollBarState(SB_VERT).Visible);
  EXPECT_EQ(Info.nMax + 1, Far->GetTop() + Far->GetHeight());
  Box->ScrollInView(Far);
  const TRect Client = Box->GetClientRect();
  EXPECT_LE(Far->GetTop() + Far->GetHeight(), Client.Height());
  EXPECT_GE(Far->GetTop(), 0);
  EXPECT_GT(Box->GetVertScrollBar()->GetPosition(), 0);
}

TEST_F(Gallery, ImageFitsItsPictureAndTheImageListDrawsByIndex) {
  auto* Image = F->Get<TImage>("Image1");
  EXPECT_EQ(Image->GetPicture()->GetWidth(), 48);
  EXPECT_EQ(Image->GetPicture()->GetHeight(), 32);
  // 48 x 32 in 100 x 50, stretched with its proportions and centred.
  EXPECT_EQ(Image->DestRect(), Bounds(12, 0, 75, 50));
  // Another component drawing on the picture's bitmap shows at once.
  TBitmap* B = Image->GetPicture()->GetBitmap();
  B->GetCanvas()->GetBrush()->SetColor(clLime);
  B->GetCanvas()->FillRect(Rect(0, 0, 48, 32));
  QApplication::processEvents();
  const QImage Shown = Image->GetWidget()->grab().toImage();
  EXPECT_EQ(Shown.pixelColor(50, 25).rgb() & 0xFFFFFF, 0x00FF00u);

  auto* List = F->Get<TImageList>("ImageList1");
  ASSERT_EQ(List->GetCount(), 3);
  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(48, 16);
  Target.GetCanvas()->GetBrush()->SetColor(clGray);
  Target.GetCanvas()->FillRect(Rect(0, 0, 48, 16));
  List->Draw(Target.GetCanvas(), 16, 0, 1);
  EXPECT_EQ(Target.GetPixelColor(16 + 8, 8), RGB(0, 160, 0)) << "the disc";
  EXPECT_EQ(Target.GetPixelColor(16 + 1, 1), clGray) << "the mask leaves the canvas alone";
  TBitmap One;
  ASSERT_TRUE(List->GetBitmap(2, &One));
  EXPECT_EQ(One.GetWidth(), 16);
  EXPECT_EQ(One.GetPixelColor(0, 0), RGB(0, 0, 255)) << "the blue cross's corner";
  EXPECT_FALSE(List->GetBitmap(3, &One));
}

TEST_F(Gallery, ShellTreeChoosesAFolderAndTheListItsMatchingFiles) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  QDir(Dir.path()).mkdir("scans");
  const QString Scans = Dir.path() + "/scans";
  for (const char* Name : {"b.png", "a.tif", "notes.txt", ".hidden.tif"}) {
    QFile File(Scans + "/" + Name);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("x");
  }
  auto* Tree = F->Get<TShellTreeView>("ShellTreeView1");
  auto* List = F->Get<TShellListView>("ShellListView1");
  ASSERT_EQ(Tree->GetShellListView(), List);
  EXPECT_FALSE(Tree->SelectFolder((Scans + "/a.tif").toStdString())) << "a file is no folder";
  ASSERT_TRUE(Tree->SelectFolder(Scans.toStdString()));
  EXPECT_EQ(Tree->GetPath(), Scans.toStdString());
  EXPECT_EQ(List->GetPath(), Scans.toStdString());
  for (int I = 0; I < 500 && !(List->GetLoaded() && List->GetItemCount() == 2); ++I) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  ASSERT_EQ(List->GetItemCount(), 2) << "the mask and no hidden files";
  EXPECT_EQ(List->GetItemPath(0), (Scans + "/a.tif").toStdString());
  EXPECT_EQ(List->GetItemPath(1), (Scans + "/b.png").toStdString());
  F->Events.clear();
  EXPECT_EQ(List->SelectPaths({(Scans + "/b.png").toStdString(), (Scans + "/a.tif").toStdString()}), 2);
  EXPECT_EQ(List->GetSelectedPaths(),
            (std::vector<std::string>{(Scans + "/a.tif").toStdString(), (Scans + "/b.png").toStdString()}));
  EXPECT_EQ(F->Events, (std::vector<std::string>{"ShellListView1"}));
  List->SetMultiSelect(false);
  EXPECT_EQ(List->SelectPaths({(Scans + "/b.png").toStdString(), (Scans + "/a.tif").toStdString()}), 1);
  EXPECT_EQ(List->GetSelectedPath(), (Scans + "/b.png").toStdString());
}

TEST_F(Gallery, ColourAndFontDialogsAnsweredByTheHook) {
  std::vector<std::string> Asked;
  TDialogHook Hook([&Asked](TCommonDialog& D) {
    Asked.push_back(D.GetName());
    if (auto* C = dynamic_cast<TColorDialog*>(&D)) {
      EXPECT_EQ(C->GetCustomColor(0), static_cast<TColor>(0x808000));
      C->SetColor(RGB(10, 20, 30));
      C->SetCustomColor(2, RGB(1, 2, 3));
      return true;
    }
    if (auto* Fd = dynamic_cast<TFontDialog*>(&D)) {
      Fd->GetFont()->SetName("DejaVu Serif");
      Fd->GetFont()->SetHeight(-20);
      Fd->GetFont()->SetStyle(FontStyleBit(fsItalic));
      return true;
    }
    return false;
  });
  SendClick(F->Get<TButton>("ColorButton")->GetWidget(), QPoint(10, 10));
  QApplication::processEvents();
  EXPECT_EQ(F->Get<TShape>("Shape1")->GetBrush()->GetColor(), RGB(10, 20, 30));
  auto* Colours = F->Get<TColorDialog>("ColorDialog1");
  EXPECT_EQ(Colours->GetCustomColor(2), RGB(1, 2, 3)) << "custom colours are kept";
  EXPECT_EQ(Colours->GetCustomColor(1), clWhite);

  SendClick(F->Get<TButton>("FontButton")->GetWidget(), QPoint(10, 10));
  QApplication::processEvents();
  TFont* Font = F->Get<TEdit>("Edit1")->GetFont();
  EXPECT_EQ(Font->GetName(), "DejaVu Serif");
  EXPECT_EQ(Font->GetHeight(), -20);
  EXPECT_EQ(Asked, (std::vector<std::string>{"ColorDialog1", "FontDialog1"}));

  // The folder and print dialogs go through the same hook; a cancel answers
  // false and changes nothing.
  auto* Folder = F->Get<TDirectoryDialog>("DirectoryDialog1");
  EXPECT_FALSE(Folder->Execute());
  EXPECT_TRUE(Folder->GetDirectory().empty());
  EXPECT_EQ(F->Get<TPrintDialog>("PrintDialog1")->GetMaxPage(), 9);
  EXPECT_EQ(F->Get<TPageSetupDialog>("PageSetupDialog1")->GetMarginLeft(), 2500);
}

TEST_F(Gallery, DialogsWithoutHookAreCancelledWithoutAScreen) {
  std::string Chosen = "/keep";
  EXPECT_FALSE(SelectDirectory("Folder", "/", Chosen));
  EXPECT_EQ(Chosen, "/keep");
  EXPECT_FALSE(F->Get<TColorDialog>("ColorDialog1")->Execute());
  EXPECT_EQ(F->Get<TColorDialog>("ColorDialog1")->GetColor(), clRed);
}

TEST_F(Gallery, FontComboListsTheScreensFamilies) {
  auto* Fonts = F->Get<TFontComboBox>("FontComboBox1");
  ASSERT_GT(Fonts->GetItemCount(), 0);
  Fonts->SetFontName("dejavu sans");
  EXPECT_EQ(Fonts->GetFontName(), "DejaVu Sans");
  Fonts->SetFontName("No Such Family");
  EXPECT_EQ(Fonts->GetFontName(), "");
  Fonts->SelectByUser(0);
  EXPECT_EQ(F->Events, (std::vector<std::string>{"FontComboBox1"}));
}

TEST_F(Gallery, PictureOfTheGalleryIsKept) {
  F->Get<TPageControl>("PageControl1")->SetActivePage(F->Get<TTabSheet>("TabSheet2"));
  QApplication::processEvents();
  const QImage Shot = F->GetWidget()->grab().toImage();
  ASSERT_FALSE(Shot.isNull());
  const char* Env = std::getenv("FOLIVRA_ARTEFACT_DIR");
  const QString Dir = Env && *Env ? QString::fromUtf8(Env) : QDir::current().filePath("artefacts");
  QDir().mkpath(Dir);
  const QString Path = QDir(Dir).filePath("control_gallery.png");
  ASSERT_TRUE(Shot.save(Path, "PNG")) << Path.toStdString();
  // The shape's yellow fill and the bevel's shadow line are in the picture.
  auto* Shape = F->Get<TShape>("Shape1");
  const QPoint Inside = Shape->GetWidget()->mapTo(F->GetWidget(), QPoint(30, 20));
  EXPECT_EQ(Shot.pixelColor(Inside).rgb() & 0xFFFFFF, 0xFFFF00u);
}

// The writer writes every control of the gallery; what it writes reads back
// to equal values and is written again the same.
TEST_F(Gallery, WriterRoundTripsEveryControl) {
  const std::string First = WriteComponentResource(F.get());
  for (const char* Class : {"TPageControl", "TTabSheet", "TTrackBar", "TUpDown", "TGroupBox", "TRadioButton",
                            "TRadioGroup", "TBevel", "TShape", "TSplitter", "TScrollBox", "TSpeedButton", "TBitBtn",
                            "TImage", "TImageList", "TColorDialog", "TFontDialog", "TFontComboBox", "TPrintDialog",
                            "TPrinterSetupDialog", "TPageSetupDialog", "TDirectoryDialog", "TShellTreeView",
                            "TShellListView"})
    EXPECT_NE(First.find(std::string(": ") + Class + "\n"), std::string::npos) << Class;
  TGalleryForm Again(nullptr, First);
  ASSERT_EQ(Again.GetComponentCount(), F->GetComponentCount());
  for (int32_t I = 0; I < F->GetComponentCount(); ++I) {
    const TComponent* Original = F->GetComponent(I);
    const TComponent* Read = Again.FindComponent(Original->GetName());
    ASSERT_NE(Read, nullptr) << Original->GetName();
    const auto A = StoredFormProperties(Original), B = StoredFormProperties(Read);
    ASSERT_EQ(A.size(), B.size()) << Original->GetName();
    for (size_t P = 0; P < A.size(); ++P) {
      EXPECT_EQ(A[P].first, B[P].first) << Original->GetName();
      EXPECT_EQ(A[P].second.ToText(), B[P].second.ToText()) << Original->GetName() << "." << A[P].first;
    }
  }
  EXPECT_EQ(WriteComponentResource(&Again), First);
}

}  // namespace
