#include "app/app_fixture.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "app/library_steps.h"
#include "app/main_form.h"
#include "foundations/library_startup.h"
#include "platform/vcl/application.h"
#include "platform/vcl/menus.h"
#include "views/folio_view.h"
#include "views/multi_view.h"

#include <QMouseEvent>
#include <QWidget>

namespace {

// The offscreen screen is smaller than the main window: the tests get a
// larger one before the test program creates its application.
struct TScreenSetup {
  TScreenSetup() {
    const std::string Path = std::string(P_tmpdir) + "/folivra-app-screens-" + std::to_string(getpid()) + ".json";
    std::ofstream(Path) << R"({"screens":[{"name":"s","x":0,"y":0,"width":1600,"height":1200,)"
                        << R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + Path).c_str(), 1);
  }
} GScreenSetup;

}  // namespace

namespace apptest {

std::string Quote(const std::string& S) {
  std::string R = "'";
  for (char C : S) R += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return R + "'";
}

std::string Shell(const std::string& Command, int* Status) {
  std::string Out;
  const int S = testsupport::RunCommand(Command, &Out);
  if (Status) *Status = S;
  return Out;
}

// Peer-made documents are kept in a shared folder, so the test programs make
// each of them once; a copy is handed out (written aside, then renamed, so
// programs running side by side never see half a file).
bool Cached(const std::string& Key, const std::string& Path, const std::function<bool(const std::string&)>& Make) {
  namespace fs = std::filesystem;
  const fs::path Folder = fs::temp_directory_path() / ("folivra-app-fixtures-" + std::to_string(getuid()));
  std::error_code Ec;
  fs::create_directories(Folder, Ec);
  const fs::path Stored = Folder / (Key + ".tif");
  if (!fs::exists(Stored)) {
    const std::string Aside = (Folder / (Key + "-" + std::to_string(getpid()) + ".tif")).string();
    if (!Make(Aside)) return false;
    fs::rename(Aside, Stored, Ec);
    if (Ec) return false;
  }
  fs::copy_file(Stored, Path, fs::copy_options::overwrite_existing, Ec);
  return !Ec;
}

bool MakeFaxUncached(const std::string& Path, int Pages);
bool MakeSquareFaxUncached(const std::string& Path, int Pages);
bool MakeMixedTiffUncached(const std::string& Path);

bool MakeFax(const std::string& Path, int Pages) {
  return Cached("fax" + std::to_string(Pages), Path, [&](const std::string& P) { return MakeFaxUncached(P, Pages); });
}

bool MakeSquareFax(const std::string& Path, int Pages) {
  return Cached("square" + std::to_string(Pages), Path,
                [&](const std::string& P) { return MakeSquareFaxUncached(P, Pages); });
}

bool MakeMixedTiff(const std::string& Path) {
  return Cached("mixed", Path, [&](const std::string& P) { return MakeMixedTiffUncached(P); });
}

bool MakeGhostscriptFax(const std::string& Path, const std::string& Mode, int Pages) {
  return Cached("gs-" + Mode + std::to_string(Pages), Path, [&](const std::string& P) {
    if (!testsupport::HaveTool("gs") || !testsupport::HaveTool("tiffcp")) return false;
    const std::string Ps = P + ".ps";
    {
      std::ofstream F(Ps);
      F << "%!PS\n/Helvetica findfont 28 scalefont setfont\n";
      for (int i = 1; i <= Pages; ++i)
        F << "72 700 moveto (Fax page " << i << ") show\n"
          << "newpath 60 60 moveto 552 60 lineto 552 732 lineto 60 732 lineto closepath 3 setlinewidth stroke\n"
          << "newpath 306 400 " << 60 + 20 * i << " 0 360 arc fill\nshowpage\n";
    }
    const bool Fine = Mode != "standard";
    const std::string Gs = Mode == "g3" ? P + ".g4.tif" : P;
    int S1 = 0, S2 = 0;
    Shell(std::string("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=") + (Fine ? "tiffg4 -r204x196 -g1728x2156" : "tiffg3 -r204x98 -g1728x1078") +
              " -sOutputFile=" + Quote(Gs) + " " + Quote(Ps) + " >/dev/null 2>&1",
          &S1);
    if (Mode == "g3") {
      Shell("tiffcp -c g3 " + Quote(Gs) + " " + Quote(P) + " 2>&1", &S2);
      std::remove(Gs.c_str());
    }
    std::remove(Ps.c_str());
    return S1 == 0 && S2 == 0;
  });
}

bool MakeCircleFax(const std::string& Path) {
  return Cached("circle", Path, [&](const std::string& P) {
    if (!testsupport::HaveTool("convert")) return false;
    int S = 0;
    Shell("convert -size 1728x2244 xc:white -fill black -draw 'circle 864,900 864,1600' -resize '1728x1078!' "
          "-density 204x98 -units PixelsPerInch -monochrome -compress Group4 " + Quote(P),
          &S);
    return S == 0;
  });
}

bool MakeFaxUncached(const std::string& Path, int Pages) {
  if (!testsupport::HaveTool("convert")) return false;
  const std::string P1 = Path + ".p1.tif", P2 = Path + ".p2.tif";
  int S1 = 0, S2 = 0, S3 = 0;
  Shell("convert -size 1728x1100 xc:white -fill black -draw 'rectangle 100,100 600,300' "
      "-draw 'circle 900,600 900,800' -density 204x98 -units PixelsPerInch -monochrome " + Quote(P1),
      &S1);
  Shell("convert -size 1728x2200 xc:white -fill black -draw 'rectangle 200,1000 1600,1100' "
      "-density 204x196 -units PixelsPerInch -monochrome " + Quote(P2),
      &S2);
  std::string List = Quote(P1);
  for (int i = 1; i < Pages; ++i) List += " " + Quote(P2);
  Shell("convert " + List + " -compress Group4 " + Quote(Path), &S3);
  std::remove(P1.c_str());
  std::remove(P2.c_str());
  return S1 == 0 && S2 == 0 && S3 == 0;
}

bool MakeSquareFaxUncached(const std::string& Path, int Pages) {
  if (!testsupport::HaveTool("convert")) return false;
  std::string List;
  for (int i = 0; i < Pages; ++i)
    List += " \\( -size 1728x1200 xc:white -fill black -draw 'rectangle " + std::to_string(100 + 50 * i) +
            ",100 900,400' \\)";
  int S = 0;
  Shell("convert" + List + " -density 204x204 -units PixelsPerInch -monochrome -compress Group4 " + Quote(Path), &S);
  return S == 0;
}

bool MakeMixedTiffUncached(const std::string& Path) {
  if (!testsupport::HaveTool("convert") || !testsupport::HaveTool("tiffcp")) return false;
  const std::string Bw = Path + ".bw.tif", Col = Path + ".col.tif";
  int S1 = 0, S2 = 0, S3 = 0;
  Shell("convert -size 400x300 xc:white -fill black -draw 'rectangle 50,50 200,100' -density 200 -units "
      "PixelsPerInch -monochrome -compress Group4 " + Quote(Bw),
      &S1);
  Shell("convert -size 400x300 gradient:red-blue -density 200 -units PixelsPerInch -type TrueColor -depth 8 "
      "-compress LZW " + Quote(Col),
      &S2);
  Shell("tiffcp " + Quote(Bw) + " " + Quote(Col) + " " + Quote(Path), &S3);
  std::remove(Bw.c_str());
  std::remove(Col.c_str());
  return S1 == 0 && S2 == 0 && S3 == 0;
}

std::vector<std::string> PageLines(const std::string& File) {
  std::istringstream In(Shell("tiffinfo " + Quote(File) + " 2>/dev/null"));
  std::vector<std::string> Lines;
  for (std::string L; std::getline(In, L);)
    if (L.find("Image Width:") != std::string::npos || L.find("Resolution:") != std::string::npos)
      Lines.push_back(L);
  return Lines;
}

std::vector<TPdfImage> PdfImages(const std::string& File) {
  std::istringstream In(Shell("pdfimages -list " + Quote(File) + " 2>/dev/null"));
  std::vector<TPdfImage> Images;
  std::string L;
  std::getline(In, L);  // heading
  std::getline(In, L);  // rule
  while (std::getline(In, L)) {
    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
    std::istringstream F(L);
    std::string Page, Num, Type, Color, Comp, Bpc, Enc, Interp, Object, Id;
    TPdfImage I;
    if (F >> Page >> Num >> Type >> I.Width >> I.Height >> Color >> Comp >> Bpc >> Enc >> Interp >> Object >> Id >>
        I.XPpi >> I.YPpi)
      Images.push_back(I);
  }
  return Images;
}

TBoxes::TBoxes() {
  FOld = SetMessageBoxHook([this](const TMessageBoxRequest& R) -> TModalResult {
    Seen.push_back(R);
    if (!Answers.empty()) {
      const TModalResult A = Answers.front();
      Answers.erase(Answers.begin());
      return A;
    }
    for (TModalResult B : R.Buttons)
      if (B == mrYes) return mrYes;
    return R.Buttons.empty() ? mrOk : R.Buttons.front();
  });
}

TBoxes::~TBoxes() { SetMessageBoxHook(FOld); }

bool TBoxes::SawText(const std::string& Part) const {
  for (const auto& R : Seen)
    if (R.Text.find(Part) != std::string::npos) return true;
  return false;
}

TChoices::TChoices() {
  FOld = SetFileChoiceHook([this](const TFileChoiceRequest& R) -> std::string {
    Seen.push_back(R);
    if (Answers.empty()) return "";
    const std::string A = Answers.front();
    Answers.erase(Answers.begin());
    return A;
  });
}

TChoices::~TChoices() { SetFileChoiceHook(FOld); }

TAppWindow::TAppWindow(const std::vector<std::string>& Args) {
  ProgramArguments() = {"folivra"};
  for (const auto& A : Args) ProgramArguments().push_back(A);
  FolivraInstallLibrarySteps();
  IEStaticInitialize();
  Form = new Tform_multipage(Application);
  Form->Show();
  QApplication::processEvents();
}

TAppWindow::~TAppWindow() {
  if (Form) {
    Form->SetModified(false);
    delete Form;
  }
  QApplication::processEvents();
  // Widgets the window handed to Qt for later deletion go now.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  IEStaticFinalize();
}

TFolioView* TAppWindow::PageView() const { return Form->PageView; }

void TAppWindow::ChoosePage(int32_t Index) {
  TFolioMView* List = Form->FolioMView1;
  const TRect R = List->GetCellRect(Index);
  QWidget* W = List->GetWidget();
  ASSERT_NE(W, nullptr);
  const QPoint P((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
  for (QEvent::Type T : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent E(T, QPointF(P), QPointF(W->mapToGlobal(P)), Qt::LeftButton,
                  T == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(W, &E);
  }
  QApplication::processEvents();
}

void TAppWindow::Click(const std::string& Name) {
  if (auto* M = Form->Find<TMenuItem>(Name)) {
    M->Click();
    return;
  }
  if (auto* C = Form->Find<TControl>(Name)) {
    if (C->OnClick) C->OnClick(C);
    return;
  }
  ADD_FAILURE() << "no component " << Name;
}

bool TAppWindow::IsEnabled(const std::string& Name) const {
  if (auto* M = Form->Find<TMenuItem>(Name)) return M->GetEnabled();
  if (auto* C = Form->Find<TControl>(Name)) return C->GetEnabled() && C->GetVisible();
  ADD_FAILURE() << "no component " << Name;
  return false;
}

bool TAppWindow::PairShowsEnabled(const std::string& Name) const {
  auto* B = Form->Find<TControl>(Name);
  auto* T = Form->Find<TControl>(Name + "2");
  EXPECT_TRUE(B && T) << Name;
  if (!B || !T) return false;
  EXPECT_NE(B->GetVisible(), T->GetVisible()) << Name;
  return B->GetVisible();
}

}  // namespace apptest
