#pragma once
// Shared pieces of the program's tests: fax documents made by ImageMagick, the
// main window started as the program starts it, and hooks that answer its
// message boxes and file dialogs.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/file_choice.h"
#include "platform/vcl/dialogs.h"
#include "support/test_support.h"

class Tform_multipage;
class TFolioView;

namespace apptest {

// Builds a multi-page Group 4 fax with ImageMagick: page 0 1728 x 1100 at
// 204 x 98 DPI, then Pages - 1 pages of 1728 x 2200 at 204 x 196 DPI.
// Answers false when the peer is missing.
bool MakeFax(const std::string& Path, int Pages = 3);
// A fax of Pages pages of 1728 x 1200 at 204 x 204 DPI (square pixels, so the
// pages arrive as stored).
bool MakeSquareFax(const std::string& Path, int Pages = 2);
// A two-page TIFF: a black-and-white Group 4 page, then a 24-bit colour page.
bool MakeMixedTiff(const std::string& Path);
// A fax of Pages pages made the way fax software makes them: Ghostscript's
// fax devices render a letter page (a heading, a frame, a circle).  Mode
// "fine": tiffg4, 1728 x 2156 at 204 x 196 DPI; "standard": tiffg3, 1728 x
// 1078 at 204 x 98 DPI; "g3": the fine fax recompressed by tiffcp -c g3.
// Answers false when a peer is missing.
bool MakeGhostscriptFax(const std::string& Path, const std::string& Mode, int Pages = 3);
// A one-page standard-mode fax (1728 x 1078 at 204 x 98 DPI, Group 4) made by
// ImageMagick from a drawing with square pixels: a filled circle 1400 pixels
// across at (864, 900) of a 1728 x 2244 canvas, so on paper it is round and
// 1400/204 inches across.
bool MakeCircleFax(const std::string& Path);

// Records the message boxes and answers them from a queue (default: the
// box's default button... Yes for questions).
class TBoxes {
 public:
  TBoxes();
  ~TBoxes();
  std::vector<TMessageBoxRequest> Seen;
  std::vector<TModalResult> Answers;  // used first to last; then Yes/OK
  bool SawText(const std::string& Part) const;

 private:
  TMessageBoxHook FOld;
};

// Answers file dialogs from a queue of names ("" = Cancel) and records the
// requests.
class TChoices {
 public:
  TChoices();
  ~TChoices();
  std::vector<TFileChoiceRequest> Seen;
  std::vector<std::string> Answers;

 private:
  TFileChoiceHook FOld;
};

// A test of documents that peer tools make and read: skipped when one of
// Peers() is missing; a temporary folder, and hooks answering message boxes
// and file dialogs.
class TPeerDocumentTest : public ::testing::Test {
 protected:
  virtual std::vector<std::string> Peers() const = 0;
  void SetUp() override {
    for (const std::string& T : Peers())
      if (!testsupport::HaveTool(T)) GTEST_SKIP() << T << " is missing";
  }
  testsupport::TempDir Dir;
  TBoxes Boxes;
  TChoices Choices;
};

// The main window as the program makes it: library started, command line
// set, window created and shown (which opens a command-line file).
class TAppWindow {
 public:
  explicit TAppWindow(const std::vector<std::string>& Args = {});
  ~TAppWindow();
  Tform_multipage* Form = nullptr;
  TFolioView* PageView() const;
  // Chooses a page in the page list as the user does: a click on its cell.
  void ChoosePage(int32_t Index);
  // Clicks the named menu item or button.
  void Click(const std::string& Name);
  bool IsEnabled(const std::string& Name) const;
  // A paired command shows as enabled: the button visible, its twin hidden.
  bool PairShowsEnabled(const std::string& Name) const;
};

// The lines of tiffinfo's report that describe each page's size and
// resolution, in page order.
std::vector<std::string> PageLines(const std::string& File);
// One image of `pdfimages -list`.
struct TPdfImage {
  int Width = 0, Height = 0;
  double XPpi = 0, YPpi = 0;
};
std::vector<TPdfImage> PdfImages(const std::string& File);

// Runs a shell command; answers its output (and its status in Status).
std::string Shell(const std::string& Command, int* Status = nullptr);
std::string Quote(const std::string& S);

}  // namespace apptest
