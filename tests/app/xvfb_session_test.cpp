// The real program in a real X server: Xvfb runs the display, xdotool plays
// the user (open a fax through the File menu and the file dialog, go to the
// next page, zoom in, save the document as PDF through the menus), and a
// screenshot of the session is kept as an artefact (artefacts/ under the test's
// working folder, or FOLIVRA_ARTEFACT_DIR).
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QRect>
#include <cmath>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/app_fixture.h"

extern char** environ;

using namespace apptest;
namespace fs = std::filesystem;

namespace {

// A child process started with a given environment, ended by its id.
class TChild {
 public:
  TChild(const std::vector<std::string>& Args, const std::vector<std::string>& Env) {
    std::vector<char*> Argv, Envp;
    for (const auto& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    for (const auto& E : Env) Envp.push_back(const_cast<char*>(E.c_str()));
    Envp.push_back(nullptr);
    if (posix_spawn(&FPid, Args[0].c_str(), nullptr, nullptr, Argv.data(), Envp.data()) != 0) FPid = -1;
  }
  ~TChild() { Stop(); }
  bool Running() {
    if (FPid <= 0) return false;
    int Status = 0;
    if (waitpid(FPid, &Status, WNOHANG) == FPid) {
      FPid = -1;
      return false;
    }
    return true;
  }
  void Stop() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    int Status = 0;
    waitpid(FPid, &Status, 0);
    FPid = -1;
  }
  pid_t Pid() const { return FPid; }

 private:
  pid_t FPid = -1;
};

// Waits (at most about Limit) until Ready answers true. Not a speed check: the
// limit only keeps a broken session from hanging the test.
template <typename F>
bool WaitFor(F Ready, std::chrono::seconds Limit = std::chrono::seconds(30)) {
  const auto End = std::chrono::steady_clock::now() + Limit;
  while (std::chrono::steady_clock::now() < End) {
    if (Ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return Ready();
}

class XvfbSession : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::HaveTool("Xvfb") || !testsupport::HaveTool("xdotool") || !testsupport::HaveTool("xwd"))
      GTEST_SKIP() << "Xvfb, xdotool or xwd is missing";
    // A display number of our own.
    for (int N = 90 + getpid() % 100; N < 400; ++N)
      if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(N)) && !fs::exists("/tmp/.X" + std::to_string(N) + "-lock")) {
        Display = ":" + std::to_string(N);
        Socket = "/tmp/.X11-unix/X" + std::to_string(N);
        break;
      }
    if (Display.empty()) GTEST_SKIP() << "no free display number";
    Server = std::make_unique<TChild>(
        std::vector<std::string>{"/usr/bin/Xvfb", Display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
        std::vector<std::string>{"PATH=/usr/bin:/bin"});
    if (!WaitFor([&] { return fs::exists(Socket) || !Server->Running(); }) || !Server->Running())
      GTEST_SKIP() << "Xvfb did not start";
  }
  void TearDown() override {
    Program.reset();
    Server.reset();
  }

  std::string X(const std::string& Args) { return Shell("DISPLAY=" + Display + " xdotool " + Args + " 2>&1"); }
  // The screen as a picture. A window mapped or unmapped while xwd reads the
  // screen makes it fail (BadMatch on GetImage): then it is read again.
  QImage Shot(const std::string& Path) {
    QImage Image;
    for (int Try = 0; Try < 10 && Image.isNull(); ++Try) {
      if (Try > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::remove(Path.c_str());
      Shell("DISPLAY=" + Display + " xwd -root -silent > " + Quote(Path + ".xwd") + " 2>/dev/null && convert " +
            Quote(Path + ".xwd") + " " + Quote(Path) + " 2>/dev/null");
      std::remove((Path + ".xwd").c_str());
      Image = QImage(QString::fromStdString(Path));
    }
    return Image;
  }

  std::string Display, Socket;
  std::unique_ptr<TChild> Server, Program;
  testsupport::TempDir Dir;
};

TEST_F(XvfbSession, OpenNextPageZoomAndSaveAsAUserWould) {
  // A standard-mode fax from Ghostscript's tiffg3 device: 1728 x 1078 pages
  // at 204 x 98 DPI.
  const std::string Fax = Dir.file("fax.tif");
  ASSERT_TRUE(MakeGhostscriptFax(Fax, "standard"));
  const std::string Original = Dir.file("as-made.tif");
  fs::copy_file(Fax, Original);
  const std::string Config = Dir.file("config");
  Program = std::make_unique<TChild>(
      std::vector<std::string>{FOLIVRA_BINARY},
      std::vector<std::string>{"DISPLAY=" + Display, "QT_QPA_PLATFORM=xcb", "FOLIVRA_CONFIG_DIR=" + Config,
                               "FOLIVRA_RESOURCE_DIR=" FOLIVRA_RESOURCES, "HOME=" + Dir.path(),
                               "XDG_RUNTIME_DIR=" + Dir.path(), "PATH=/usr/bin:/bin"});
  std::string Window;
  ASSERT_TRUE(WaitFor([&] {
    Window = X("search --onlyvisible --name 'Folivra 2.2.1'");
    return !Window.empty() && std::isdigit(static_cast<unsigned char>(Window[0])) && Program->Running();
  })) << "the main window did not appear: " << Window;
  Window = Window.substr(0, Window.find('\n'));
  X("windowmove " + Window + " 0 0");
  X("windowfocus --sync " + Window);
  const std::string Geometry = X("getwindowgeometry " + Window);

  // File > Open, then the file dialog: type the name.
  X("mousemove --window " + Window + " 20 10 click 1");
  X("sleep 0.5 key Down Return");
  std::string Dialog;
  ASSERT_TRUE(WaitFor([&] {
    Dialog = X("search --onlyvisible --name '^Open$'");
    return !Dialog.empty() && std::isdigit(static_cast<unsigned char>(Dialog[0]));
  })) << "the open dialog did not appear";
  Dialog = Dialog.substr(0, Dialog.find('\n'));
  X("windowfocus --sync " + Dialog);
  X("sleep 1 type --delay 5 " + Quote(Fax));
  QImage Before = Shot(Dir.file("before.png"));
  ASSERT_FALSE(Before.isNull()) << "the screen could not be read";
  X("sleep 0.3 key Return");
  // The page list shows the pages once the file has loaded: the dialog is
  // gone and the window changed from its empty look.
  ASSERT_TRUE(WaitFor([&] {
    if (!X("search --onlyvisible --name '^Open$'").empty()) return false;
    QImage Now = Shot(Dir.file("loaded.png"));
    return !Now.isNull() && !Before.isNull() && Now != Before;
  })) << Geometry;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  QImage Loaded = Shot(Dir.file("loaded.png"));

  // Next page: the page list has the keyboard; Down selects page 2.
  X("key Down");
  ASSERT_TRUE(WaitFor([&] { return Shot(Dir.file("page2.png")) != Loaded; })) << "the page did not change";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  QImage Page2 = Shot(Dir.file("page2.png"));

  // Zoom in with the toolbar button (toolbar below the menu bar).
  const int MenuBar = 25;
  X("mousemove --window " + Window + " " + std::to_string(404 + 16) + " " + std::to_string(MenuBar + 6 + 16) +
    " click 1");
  ASSERT_TRUE(WaitFor([&] { return Shot(Dir.file("zoom.png")) != Page2; })) << "the zoom did not change the view";

  // File > Save, no edit made: the file is written again over itself, with
  // the same pages, pixels, sizes and resolutions.
  X("mousemove --window " + Window + " 20 10 click 1");
  X("sleep 0.5 key Down Down Return");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(Dir.file("fax.bak")); })) << "File > Save wrote nothing";
  ASSERT_TRUE(WaitFor([&] { return PageLines(Fax) == PageLines(Original); }))
      << Shell("tiffinfo " + Quote(Fax) + " 2>&1");
  int Status = -1;
  const std::string Diff = Shell("tiffcmp -t " + Quote(Original) + " " + Quote(Fax) + " 2>&1", &Status);
  EXPECT_EQ(Status, 0) << Diff;

  // File > Save all page as... > multipage file, then the save dialog.
  const std::string Pdf = Dir.file("saved.pdf");
  X("mousemove --window " + Window + " 20 10 click 1");
  X("sleep 0.5 key Down Down Down Down Right Down Return");
  std::string SaveDialog;
  ASSERT_TRUE(WaitFor([&] {
    SaveDialog = X("search --onlyvisible --name 'multipage'");
    return !SaveDialog.empty() && std::isdigit(static_cast<unsigned char>(SaveDialog[0]));
  })) << "the save dialog did not appear";
  SaveDialog = SaveDialog.substr(0, SaveDialog.find('\n'));
  X("windowfocus --sync " + SaveDialog);
  X("sleep 1 key ctrl+a");
  X("type --delay 5 " + Quote(Pdf));
  X("sleep 0.3 key Return");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(Pdf) && fs::file_size(Pdf) > 0; })) << "nothing was saved";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  if (testsupport::HaveTool("pdfinfo")) {
    EXPECT_NE(Shell("pdfinfo " + Quote(Pdf)).find("Pages:           3"), std::string::npos);
  }
  // 1728-wide images placed at the pages' true shape.
  const std::vector<TPdfImage> Images = PdfImages(Pdf);
  ASSERT_EQ(Images.size(), 3u);
  for (const TPdfImage& I : Images) {
    EXPECT_EQ(I.Width, 1728);
    EXPECT_NEAR(I.XPpi / I.YPpi, 204.0 / 98, 0.01 * 204 / 98) << I.XPpi << " x " << I.YPpi;
  }

  // The session's picture as an artefact.
  const char* Env = std::getenv("FOLIVRA_ARTEFACT_DIR");
  const QString ArtDir = Env && *Env ? QString::fromUtf8(Env) : QDir::current().filePath("artefacts");
  QDir().mkpath(ArtDir);
  const std::string Art = QDir(ArtDir).filePath("folivra_xvfb.png").toStdString();
  QImage Final = Shot(Art);
  ASSERT_FALSE(Final.isNull()) << Art;
  std::printf("screenshot: %s\n", Art.c_str());
  EXPECT_TRUE(Program->Running()) << "the program ended during the session";
}

// The shape of the largest dark blob in a rectangle of a screenshot: its
// width over its height from the second moments of its darkness (sub-pixel
// exact, so a thumbnail-sized circle is measured as well as a large one),
// and its bounding box.
struct TBlob {
  double Ratio = 0;
  int Width = 0, Height = 0;
};

TBlob MeasureBlob(const QImage& Shot, QRect Area) {
  Area = Area.intersected(Shot.rect());
  auto Lum = [&](int X, int Y) { return qGray(Shot.pixel(X, Y)); };
  std::vector<int> Seen(size_t(Area.width()) * Area.height(), 0);
  auto Index = [&](int X, int Y) { return size_t(Y - Area.top()) * Area.width() + (X - Area.left()); };
  int BestCount = 0;
  QRect Best;
  for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
    for (int X = Area.left(); X <= Area.right(); ++X) {
      if (Seen[Index(X, Y)] || Lum(X, Y) >= 128) continue;
      // One dark component, four-connected.
      std::vector<QPoint> Stack{QPoint(X, Y)};
      Seen[Index(X, Y)] = 1;
      int Count = 0;
      QRect Box(X, Y, 1, 1);
      while (!Stack.empty()) {
        const QPoint P = Stack.back();
        Stack.pop_back();
        ++Count;
        Box = Box.united(QRect(P, QSize(1, 1)));
        for (const QPoint D : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
          const QPoint N = P + D;
          if (!Area.contains(N) || Seen[Index(N.x(), N.y())] || Lum(N.x(), N.y()) >= 128) continue;
          Seen[Index(N.x(), N.y())] = 1;
          Stack.push_back(N);
        }
      }
      if (Count > BestCount) BestCount = Count, Best = Box;
    }
  TBlob B;
  if (BestCount == 0) return B;
  B.Width = Best.width();
  B.Height = Best.height();
  double Sum = 0, SX = 0, SY = 0, SXX = 0, SYY = 0;
  const QRect Around = Best.adjusted(-3, -3, 3, 3).intersected(Area);
  for (int Y = Around.top(); Y <= Around.bottom(); ++Y)
    for (int X = Around.left(); X <= Around.right(); ++X) {
      const double W = (255 - Lum(X, Y)) / 255.0;
      Sum += W, SX += W * X, SY += W * Y, SXX += W * X * X, SYY += W * Y * Y;
    }
  const double VarX = SXX / Sum - (SX / Sum) * (SX / Sum), VarY = SYY / Sum - (SY / Sum) * (SY / Sum);
  B.Ratio = std::sqrt(VarX / VarY);
  return B;
}

TEST_F(XvfbSession, ACircleOnAStandardModeFaxLooksRoundOnScreenAndInItsThumbnail) {
  // A round circle drawn at 204 x 98 DPI: in the file it is twice as wide as
  // high.  The program is started from another folder without naming its
  // resources: it finds them beside its executable.
  const std::string Fax = Dir.file("circle.tif");
  ASSERT_TRUE(MakeCircleFax(Fax));
  Program = std::make_unique<TChild>(
      std::vector<std::string>{FOLIVRA_BINARY, Fax},
      std::vector<std::string>{"DISPLAY=" + Display, "QT_QPA_PLATFORM=xcb", "FOLIVRA_CONFIG_DIR=" + Dir.file("config"),
                               "HOME=" + Dir.path(), "XDG_RUNTIME_DIR=" + Dir.path(), "PATH=/usr/bin:/bin"});
  std::string Window;
  ASSERT_TRUE(WaitFor([&] {
    Window = X("search --onlyvisible --name 'Folivra 2.2.1 - circle.tif'");
    return !Window.empty() && std::isdigit(static_cast<unsigned char>(Window[0])) && Program->Running();
  })) << "the main window did not show the fax: " << Window;
  Window = Window.substr(0, Window.find('\n'));
  X("windowmove " + Window + " 0 0");
  X("windowfocus --sync " + Window);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  const QImage Opened = Shot(Dir.file("opened.png"));
  // Fitted to the width the page is taller than the view: zoom out once so
  // the whole circle shows.
  X("mousemove --window " + Window + " " + std::to_string(342 + 16) + " " + std::to_string(25 + 6 + 16) +
    " click 1");
  QImage Screen;
  ASSERT_TRUE(WaitFor([&] {
    Screen = Shot(Dir.file("circle.png"));
    return !Screen.isNull() && Screen != Opened;
  })) << "zooming out changed nothing";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Screen = Shot(Dir.file("circle.png"));
  const char* Env = std::getenv("FOLIVRA_ARTEFACT_DIR");
  const QString ArtDir = Env && *Env ? QString::fromUtf8(Env) : QDir::current().filePath("artefacts");
  QDir().mkpath(ArtDir);
  Screen.save(QDir(ArtDir).filePath("folivra_xvfb_circle.png"));

  // The page view (right of the page column, below toolbar and tool area):
  // the circle is round within 2 %.
  // The window (844 x 634 at the screen's origin) on a black screen: only
  // its inside is measured.
  const TBlob Page = MeasureBlob(Screen, QRect(190, 150, 844 - 190 - 20, 634 - 150 - 30));
  EXPECT_GT(Page.Width, 150);
  EXPECT_NEAR(Page.Ratio, 1.0, 0.02) << Page.Width << " x " << Page.Height;
  EXPECT_NEAR(double(Page.Width) / Page.Height, 1.0, 0.02) << Page.Width << " x " << Page.Height;
  // Its thumbnail in the page column likewise.
  const TBlob Thumb = MeasureBlob(Screen, QRect(40, 70, 140, 200));
  EXPECT_GT(Thumb.Width, 40);
  EXPECT_NEAR(Thumb.Ratio, 1.0, 0.02) << Thumb.Width << " x " << Thumb.Height;
  EXPECT_TRUE(Program->Running());
}

}  // namespace
