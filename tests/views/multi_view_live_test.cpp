// The page list as users see it: layout, scrolling, painting, selection by
// mouse and keys, entries loaded from files, playback.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "formats/io_params.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "foundations/progress.h"
#include "io/folio_io.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "support/test_support.h"
#include "views/multi_view.h"

namespace {

constexpr int32_t kPageW = 400, kPageH = 600;

// A G4 fax of Pages pages written by our TIFF writer: even pages are black
// in their left half, odd pages in their right half.
void WriteFax(const std::string& File, int32_t Pages) {
  TFileStream S(File, fmCreate);
  std::atomic<bool> Aborting{false};
  TIEProgressRec Progress;
  Progress.Aborting = &Aborting;
  for (int32_t k = 0; k < Pages; ++k) {
    TIEBitmap Page(kPageW, kPageH, ie1g);
    Page.Fill(1);
    if (k % 2 == 0)
      Page.FillRect(0, 0, kPageW / 2 - 1, kPageH - 1, 0);
    else
      Page.FillRect(kPageW / 2, 0, kPageW - 1, kPageH - 1, 0);
    TIOParamsVals Params(nullptr);
    Params.TiffCompression = ietcG4Fax;
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
    Params.SetImageIndex(k);
    S.SetPosition(0);
    ASSERT_EQ(TiffWriteStream(&S, k > 0, &Page, Params, Progress), k + 1);
    ASSERT_FALSE(Aborting);
    ASSERT_EQ(Params.TiffCompression, ietcG4Fax);  // written as a fax
  }
}

std::unique_ptr<TIEBitmap> Solid(int32_t W, int32_t H, uint8_t R, uint8_t G, uint8_t B) {
  auto Bm = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) Bm->SetPixel24(x, y, TRGB{B, G, R});
  return Bm;
}

int Red(TColor C) { return int(C & 0xFF); }
int Green(TColor C) { return int((C >> 8) & 0xFF); }
int Blue(TColor C) { return int((C >> 16) & 0xFF); }

// A view without border on a form, with a window, Width x Height.
class LiveViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 700, 700);
    V = new TFolioMView(Form.get());
    V->SetParent(Form.get());
    V->SetBorderStyle(bsNone);
    V->SetBounds(0, 0, 130, 340);
    V->SetScrollBars(ssVertical);
    V->HandleNeeded();
  }
  void Fill(int32_t Count, int32_t W = 20, int32_t H = 20) {
    for (int32_t i = 0; i < Count; ++i) {
      V->InsertImageNoSelect(i);
      auto B = Solid(W, H, uint8_t(10 * (i + 1)), 100, 200);
      V->SetIEBitmap(i, B.get());
    }
  }
  void Geometry(int32_t TW, int32_t TH, int32_t Border, int32_t Grid) {
    V->SetThumbWidth(TW);
    V->SetThumbHeight(TH);
    V->SetHorizBorder(Border);
    V->SetVertBorder(Border);
    V->SetGridWidth(Grid);
  }
  void PaintNow() {
    V->Invalidate();
    V->TCustomControl::Update();
  }
  TColor Pixel(int32_t X, int32_t Y) { return V->GetFrontBuffer()->GetPixelColor(X, Y); }
  QWidget* W() { return V->GetWidget(); }

  testsupport::TempDir Dir;
  std::unique_ptr<TForm> Form;
  TFolioMView* V = nullptr;  // owned by the form
};

// ------------------------------------------------------------ layout, scroll
TEST_F(LiveViewTest, CellsAndExtentFollowTheGrid) {
  Geometry(110, 120, 4, 1);
  Fill(5);
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(V->GetCellRect(i).Top, 4 + 124 * i);
    EXPECT_EQ(V->GetCellRect(i).Left, 4);
  }
  EXPECT_EQ(V->GetExtentX(), 118);
  EXPECT_EQ(V->GetExtentY(), 624);

  V->SetGridWidth(0);  // one row that never wraps
  EXPECT_EQ(V->GetImageGridRow(4), 0);
  EXPECT_EQ(V->GetCellRect(4).Left, 4 + 4 * 114);

  // -1: as many columns as fit the client width.
  V->SetScrollBars(ssNone);
  V->SetGridWidth(-1);
  for (auto [Width, Columns] : {std::tuple{232, 2}, std::tuple{231, 1}}) {
    V->SetWidth(Width);
    ASSERT_EQ(V->GetClientWidth(), Width);
    EXPECT_EQ(V->GetColumnCount(), Columns) << Width;
    EXPECT_EQ(V->GetImageGridColumn(1), Columns == 2 ? 1 : 0) << Width;
  }

  // Single display puts every entry in the one cell at the corner.
  V->SetDisplayMode(mdSingle);
  EXPECT_EQ(V->GetCellRect(3).Left, 0);
  EXPECT_EQ(V->GetCellRect(3).Top, 0);
}

TEST_F(LiveViewTest, ScrollingClampsAndTheBarFollowsOnASixteenBitScale) {
  Geometry(110, 120, 4, 1);
  Fill(5);
  // 624 high in 340: the vertical bar shows and narrows the client area.
  EXPECT_EQ(V->GetClientWidth(), 130 - VclScrollBarSize);
  EXPECT_EQ(V->GetMaxScrollY(), 624 - 340);
  TScrollInfo Info;
  Info.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(V->GetHandle(), SB_VERT, Info));
  const double Scale = (340.0 + 284 - 1) / 65536;
  EXPECT_EQ(Info.nMax, 65535);
  EXPECT_EQ(Info.nPage, uint32_t(340 / Scale));

  V->SetScrollY(100000);
  EXPECT_EQ(V->GetScrollY(), 284);
  // The bar's own limit: its largest thumb position.
  EXPECT_EQ(GetScrollPos(V->GetHandle(), SB_VERT), std::min(int32_t(284 / Scale), 65535 - int32_t(Info.nPage) + 1));
  V->SetScrollY(-5);
  EXPECT_EQ(V->GetScrollY(), 0);

  // Scroll messages: a line is one cell, a page the client height.
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(V->GetScrollY(), 124);
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
  EXPECT_EQ(V->GetScrollY(), 284);
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  EXPECT_EQ(V->GetScrollY(), 0);
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 20000), 0);
  EXPECT_EQ(V->GetScrollY(), int32_t(20000 * Scale));
  V->GetVScrollBarParams().Tracking = false;
  V->Perform(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0), 0);
  EXPECT_EQ(V->GetScrollY(), int32_t(20000 * Scale));

  // The wheel: towards the user moves down one cell.
  V->SetScrollY(0);
  SendWheel(W(), QPoint(10, 10), -120);
  EXPECT_EQ(V->GetScrollY(), 124);
  SendWheel(W(), QPoint(10, 10), 120);
  EXPECT_EQ(V->GetScrollY(), 0);

  // Fewer entries: the bar goes and the client area is whole again.
  for (int32_t i = 4; i >= 2; --i) V->DeleteImage(i);
  EXPECT_EQ(V->GetClientWidth(), 130);
  EXPECT_EQ(V->GetMaxScrollY(), 0);
}

TEST_F(LiveViewTest, VisibilityOfCells) {
  V->SetScrollBars(ssNone);
  Geometry(110, 120, 4, 1);
  Fill(5);
  EXPECT_EQ(V->ImageVisibility(0), 2);
  EXPECT_EQ(V->ImageVisibility(2), 1);  // 252..372 in 340
  EXPECT_EQ(V->ImageVisibility(3), 0);
  EXPECT_EQ(V->ImageVisibility(9), 0);
  EXPECT_TRUE(V->IsEntryOnScreen(2));
  EXPECT_FALSE(V->IsEntryOnScreen(3));
  V->SetScrollY(284);
  EXPECT_EQ(V->ImageVisibility(4), 2);
  EXPECT_EQ(V->ImageVisibility(0), 0);
}

// ------------------------------------------------------------------ painting
TEST_F(LiveViewTest, AFaxShowsItsFirstScreenOfThumbnails) {
  const std::string File = Dir.file("fax.tif");
  WriteFax(File, 12);
  Geometry(100, 150, 4, 1);
  V->SetStyle(iemsFlat);
  V->SetThumbnailsBackground(clWhite);
  int AllDisplayed = 0;
  V->OnAllDisplayed = [&](TObject*) { ++AllDisplayed; };
  V->FillFromFileFrames(File);
  ASSERT_EQ(V->GetImageCount(), 12);
  EXPECT_EQ(V->GetDeferredFileName(11), File + "::11");
  for (int32_t i = 0; i < 12; ++i) EXPECT_FALSE(V->HasImage(i)) << i;

  PaintNow();
  // Cells at 4, 158 and 312 are on screen in 340 rows; the rest is not read.
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(V->HasImage(i) || V->HasDisplayCopy(i)) << i;
  for (int32_t i = 3; i < 12; ++i) EXPECT_FALSE(V->HasImage(i) || V->HasDisplayCopy(i)) << i;
  EXPECT_EQ(AllDisplayed, 1);
  EXPECT_EQ(V->GetFrameReaderCount(), 1);

  // The page fits the cell exactly (400 x 600 into 100 x 150): page 0 black
  // on the left, page 1 on the right, reduced to gray levels.
  auto Dark = [&](int32_t X, int32_t Y) { return Red(Pixel(X, Y)) < 64; };
  auto Light = [&](int32_t X, int32_t Y) { return Red(Pixel(X, Y)) > 192; };
  EXPECT_TRUE(Dark(4 + 20, 4 + 75));
  EXPECT_TRUE(Light(4 + 80, 4 + 75));
  EXPECT_TRUE(Light(4 + 20, 158 + 75));
  EXPECT_TRUE(Dark(4 + 80, 158 + 75));
  EXPECT_EQ(Red(Pixel(4 + 20, 4 + 75)), Green(Pixel(4 + 20, 4 + 75)));  // gray

  // Scrolled to the end the last pages are read and painted in place.
  V->SetScrollY(V->GetMaxScrollY());
  PaintNow();
  EXPECT_TRUE(V->HasImage(11) || V->HasDisplayCopy(11));
  const int32_t Top11 = V->GetCellRect(11).Top - V->GetScrollY();
  EXPECT_TRUE(Dark(4 + 80, Top11 + 75));
  EXPECT_TRUE(Light(4 + 20, Top11 + 75));
}

TEST_F(LiveViewTest, CellsPaintBackgroundPictureAndSelectionFrame) {
  V->SetBounds(0, 0, 200, 200);
  Geometry(40, 40, 6, 2);
  V->SetStyle(iemsFlat);
  V->SetBackground(TColor(0x00102030));
  V->SetThumbnailsBackground(TColor(0x00405060));
  V->SetSelectionRounded(false);
  V->SetSelectionColor(TColor(0x000000FF));
  V->SetSelectionWidthUnfocused(2);
  Fill(3, 20, 10);  // 20 x 10 pictures, enlarged to 40 x 20 in the cell
  V->SetSelectedImage(1);
  PaintNow();
  // Entry 0 at (6, 6): background between cells, cell fill above and below
  // the picture, the picture in the middle.
  EXPECT_EQ(Pixel(3, 3), TColor(0x00102030));
  EXPECT_EQ(Pixel(6 + 20, 6 + 2), TColor(0x00405060));
  EXPECT_EQ(Red(Pixel(6 + 20, 6 + 20)), 10);
  EXPECT_EQ(Green(Pixel(6 + 20, 6 + 20)), 100);
  EXPECT_EQ(Blue(Pixel(6 + 20, 6 + 20)), 200);
  EXPECT_EQ(Pixel(6 + 20, 6 + 38), TColor(0x00405060));
  // Entry 1 at (52, 6) is selected: two 1-pixel outlines outside its cell.
  EXPECT_EQ(Pixel(52 - 1, 6 + 20), TColor(0x000000FF));
  EXPECT_EQ(Pixel(52 - 2, 6 + 20), TColor(0x000000FF));
  EXPECT_EQ(Pixel(52 - 3, 6 + 20), TColor(0x00102030));
  EXPECT_EQ(Pixel(52 + 40, 6 + 20), TColor(0x000000FF));
  EXPECT_EQ(Pixel(6 - 1, 6 + 20), TColor(0x00102030));  // entry 0 not selected
  EXPECT_EQ(Red(Pixel(52 + 20, 6 + 20)), 20);
  // Display copies were left for the next paints.
  EXPECT_TRUE(V->HasDisplayCopy(0));
  EXPECT_TRUE(V->HasDisplayCopy(2));

  // The ACD style frames the picture: top-left gray, bottom-right white.
  V->SetStyle(iemsACD);
  PaintNow();
  EXPECT_EQ(Pixel(6, 6 + 10), TColor(8421504));
  EXPECT_EQ(Pixel(6 + 39, 6 + 29), clWhite);
}

TEST_F(LiveViewTest, CaptionsAreShortenedToTheCell) {
  V->SetBounds(0, 0, 200, 200);
  Geometry(60, 80, 4, 1);
  Fill(1);
  TIEMText* T = V->GetImageBottomText(0);
  T->SetCaption("a very long caption that cannot fit");
  T->GetFont()->SetColor(clBlack);
  T->SetBackground(clWhite);
  PaintNow();
  // The band at the cell's foot is painted in the caption's background.
  const int32_t Bottom = 4 + 80 - 1;
  EXPECT_EQ(Pixel(4 + 1, Bottom), clWhite);
  bool Ink = false;
  for (int32_t y = 4 + 60; y < 4 + 80; ++y)
    for (int32_t x = 4; x < 64; ++x) Ink = Ink || Pixel(x, y) == clBlack;
  EXPECT_TRUE(Ink);
  // Nothing spills past the cell.
  for (int32_t y = 4 + 60; y < 4 + 80; ++y) EXPECT_NE(Pixel(64 + 2, y), clBlack);
}

TEST_F(LiveViewTest, UnloadingKeepsTheHeldImageOfTheSelectedPage) {
  const std::string File = Dir.file("fax.tif");
  WriteFax(File, 30);
  Geometry(100, 150, 4, 1);
  V->SetUnloadMargin(0);
  V->FillFromFileFrames(File);
  V->SetSelectedImage(0);
  PaintNow();
  ASSERT_TRUE(V->HasImage(1));
  // The selected page is being edited through its held bitmap.
  TIEBitmap* Held = V->GetViewIEBitmap();
  ASSERT_NE(Held, nullptr);
  Held->SetPixel24(0, 0, TRGB{1, 2, 3});
  V->SetScrollY(V->GetMaxScrollY());
  PaintNow();
  EXPECT_FALSE(V->HasImage(1));  // far away and can be read again
  EXPECT_TRUE(V->HasImage(0));   // held: stays, with its edit
  V->Deselect();
  TIEBitmap Out;
  V->CopyToIEBitmap(0, &Out);
  EXPECT_EQ(Out.GetPixel24(0, 0).r, 3);
}

TEST_F(LiveViewTest, CorruptedEntriesGoAndTheRestMovesUpInTheSamePaint) {
  const std::string File = Dir.file("fax.tif");
  WriteFax(File, 2);
  Geometry(100, 150, 4, 1);
  V->SetBounds(0, 0, 130, 500);
  V->SetRemoveCorrupted(true);
  V->SetThreadPoolSize(0);  // loaded while painting
  for (int32_t i = 0; i < 3; ++i) V->InsertImageNoSelect(i);
  V->SetDeferredFileName(0, File + "::0");
  V->SetDeferredFileName(1, Dir.file("missing.tif"));
  V->SetDeferredFileName(2, File + "::1");
  PaintNow();
  ASSERT_EQ(V->GetImageCount(), 2);
  EXPECT_EQ(V->GetDeferredFileName(1), File + "::1");
  EXPECT_EQ(V->GetCellRect(1).Top, 158);
  EXPECT_EQ(V->GetExtentY(), 158 + 150 + 4);
  // Page 1 (black on the right) is drawn in the second cell.
  EXPECT_LT(Red(Pixel(4 + 80, 158 + 75)), 64);
  EXPECT_GT(Red(Pixel(4 + 20, 158 + 75)), 192);
}

// ------------------------------------------------------------------ loading
TEST(MultiViewFrames, OnlyAFinalDoubleColonWithDigitsNamesAFrame) {
  struct TCase {
    const char* Name;
    const char* File;
    int32_t Frame;
    bool Framed;
  };
  for (const TCase& C : {TCase{"a.tif::3", "a.tif", 3, true}, TCase{"a::b.tif::12", "a::b.tif", 12, true},
                         TCase{"dir::x/a.tif", "dir::x/a.tif", 0, false}, TCase{"a.tif::", "a.tif::", 0, false},
                         TCase{"a.tif::x", "a.tif::x", 0, false}, TCase{"plain.tif", "plain.tif", 0, false}}) {
    std::string File;
    int32_t Frame = -1;
    EXPECT_EQ(TFolioMView::SplitFrameName(C.Name, File, Frame), C.Framed) << C.Name;
    EXPECT_EQ(File, C.File) << C.Name;
    EXPECT_EQ(Frame, C.Frame) << C.Name;
  }
}

TEST_F(LiveViewTest, DeferredNamesLoadFilesFramesAndPlaceholders) {
  // A file whose own name contains "::" loads as a whole file.
  const std::string Odd = Dir.file("scan::2.pcx");
  {
    auto B = Solid(6, 4, 66, 0, 0);
    auto IO = TFolioIO::CreateFromBitmap(B.get());
    IO->SaveToFile(Odd);
    ASSERT_FALSE(IO->GetAborting());
  }
  const std::string Fax = Dir.file("fax.tif");
  WriteFax(Fax, 3);
  for (int32_t i = 0; i < 4; ++i) V->InsertImageNoSelect(i);
  V->SetDeferredFileName(0, Odd);
  V->SetDeferredFileName(1, Fax + "::1");
  V->SetDeferredFileName(2, Fax + "::2");
  V->SetDeferredFileName(3, Dir.file("missing.tif"));
  EXPECT_TRUE(V->LoadImageOnDemand(0));
  TIEBitmap Out;
  V->CopyToIEBitmap(0, &Out);
  EXPECT_EQ(Out.GetPixel24(2, 1).r, 66);
  EXPECT_EQ(V->GetFrameReaderCount(), 0);

  // Frames in any order through one reader per file.
  EXPECT_TRUE(V->LoadImageOnDemand(2));
  EXPECT_TRUE(V->LoadImageOnDemand(1));
  EXPECT_EQ(V->GetFrameReaderCount(), 1);
  V->CopyToIEBitmap(1, &Out);
  EXPECT_EQ(Out.GetWidth(), kPageW);
  EXPECT_EQ(Out.GetPixelRGB(kPageW - 10, 10).r, 0);  // frame 1: black on the right
  EXPECT_EQ(Out.GetPixelRGB(10, 10).r, 255);

  // An unreadable file gives the white cell with the question mark.
  EXPECT_FALSE(V->LoadImageOnDemand(3));
  ASSERT_TRUE(V->HasImage(3));
  V->CopyToIEBitmap(3, &Out);
  EXPECT_EQ(Out.GetWidth(), V->GetThumbWidth());
  const TRGB Corner = Out.GetPixel24(0, 0);
  EXPECT_EQ(int(Corner.r) + Corner.g + Corner.b, 3 * 255);
  bool BlueInk = false;
  for (int32_t y = 0; y < Out.GetHeight(); ++y)
    for (int32_t x = 0; x < Out.GetWidth(); ++x) {
      const TRGB P = Out.GetPixel24(x, y);
      BlueInk = BlueInk || (P.b > 200 && P.r < 60 && P.g < 60);
    }
  EXPECT_TRUE(BlueInk);

  // The event replaces the placeholder when it handles it.
  V->InsertImageNoSelect(4);
  V->SetDeferredFileName(4, Dir.file("missing2.tif"));
  V->OnWrongImage = [](TObject*, TIEBitmap* B, int32_t, bool& Handled) {
    B->Fill(0);
    Handled = true;
  };
  EXPECT_FALSE(V->LoadImageOnDemand(4));
  V->CopyToIEBitmap(4, &Out);
  EXPECT_EQ(Out.GetPixel24(5, 5).r, 0);

  V->Clear();
  EXPECT_EQ(V->GetFrameReaderCount(), 0);
}

// ---------------------------------------------------------------- selection
class SelectionTest : public LiveViewTest {
 protected:
  void SetUp() override {
    LiveViewTest::SetUp();
    V->SetBounds(0, 0, 400, 400);
    V->SetScrollBars(ssNone);
    Geometry(40, 40, 10, 3);
    Fill(9);
    V->SetEnableMultiSelect(true);
    V->OnImageSelect = [this](TObject*, int32_t i) { Selects.push_back(i); };
  }
  // The middle of the cell of entry i in widget coordinates.
  QPoint At(int32_t i) {
    const TRect R = V->GetCellRect(i);
    return QPoint(R.Left + 20, R.Top + 20);
  }
  std::vector<int32_t> Multi() {
    std::vector<int32_t> R;
    for (int32_t n = 0; n < V->GetMultiSelectedCount(); ++n) R.push_back(V->GetMultiSelectedImage(n));
    return R;
  }
  std::vector<int32_t> Selects;
};

TEST_F(SelectionTest, ClickShiftAndCtrl) {
  SendClick(W(), At(2));
  SendClick(W(), At(5), Qt::ShiftModifier);
  EXPECT_EQ(Multi(), (std::vector<int32_t>{2, 3, 4, 5}));
  EXPECT_EQ(V->GetSelectedImage(), 5);
  SendClick(W(), At(3), Qt::ControlModifier);
  EXPECT_EQ(Multi(), (std::vector<int32_t>{2, 4, 5}));
  EXPECT_EQ(V->GetSelectedImage(), -1);
  EXPECT_FALSE(Selects.empty());

  // A plain click replaces the multi-selection.
  SendClick(W(), At(7));
  EXPECT_EQ(Multi(), (std::vector<int32_t>{7}));
  EXPECT_EQ(V->GetSelectedImage(), 7);
  // A click between cells selects nothing.
  SendClick(W(), QPoint(5, 5));
  EXPECT_EQ(V->GetSelectedImage(), 7);
}

TEST_F(SelectionTest, RegionLeaveOneAndProgramSelection) {
  V->SetMultiSelectionOptions(iemoRegion);
  SendClick(W(), At(1));
  SendClick(W(), At(8), Qt::ShiftModifier);
  std::vector<int32_t> M = Multi();
  std::sort(M.begin(), M.end());
  EXPECT_EQ(M, (std::vector<int32_t>{1, 2, 4, 5, 7, 8}));

  V->SetMultiSelectionOptions(iemoLeaveOneSelected);
  SendClick(W(), At(4));
  SendClick(W(), At(4), Qt::ControlModifier);
  EXPECT_EQ(Multi(), (std::vector<int32_t>{4}));
  EXPECT_EQ(V->GetSelectedImage(), 4);

  // Program code selects without the user's event.
  Selects.clear();
  V->SetSelectedImage(6);
  EXPECT_EQ(V->GetSelectedImage(), 6);
  EXPECT_TRUE(Selects.empty());
  SendClick(W(), At(0));
  EXPECT_EQ(Selects, (std::vector<int32_t>{0}));
}

TEST_F(SelectionTest, DoubleClickAndDragScroll) {
  V->SetEnableMultiSelect(false);
  int DoubleClicks = 0;
  V->OnDblClick = [&](TObject*) { ++DoubleClicks; };
  SendClick(W(), At(0));
  Selects.clear();
  SendDoubleClick(W(), At(0));
  EXPECT_EQ(DoubleClicks, 1);
  EXPECT_EQ(V->GetSelectedImage(), 0);

  // Scrolling only: the content follows the mouse and nothing is selected.
  V->SetBounds(0, 0, 120, 120);
  V->SetMouseInteract(mmiScroll);
  V->SetSelectedImage(0);
  SendMouse(W(), QEvent::MouseButtonPress, QPoint(60, 100), Qt::LeftButton, Qt::LeftButton);
  SendMouse(W(), QEvent::MouseMove, QPoint(55, 60), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(V->GetScrollY(), 40);
  EXPECT_EQ(V->GetScrollX(), 5);
  SendMouse(W(), QEvent::MouseButtonRelease, QPoint(55, 60), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(V->GetSelectedImage(), 0);
}

TEST_F(LiveViewTest, KeysMoveTheSelectionAndScrollItIntoView) {
  V->SetBounds(0, 0, 120, 404);
  V->SetScrollBars(ssNone);
  Geometry(100, 96, 4, 1);  // 4 cells per page
  Fill(10);
  std::vector<int32_t> Selects;
  V->OnImageSelect = [&](TObject*, int32_t i) { Selects.push_back(i); };
  V->SetSelectedImage(0);
  SendKey(W(), Qt::Key_PageDown, Qt::NoModifier);
  EXPECT_EQ(V->GetSelectedImage(), 4);
  EXPECT_EQ(Selects, (std::vector<int32_t>{4}));
  // Entry 4 (top 404) is brought fully in from below.
  EXPECT_EQ(V->ImageVisibility(4), 2);
  EXPECT_EQ(V->GetScrollY(), 404 + 96 + 4 - 404);
  SendKey(W(), Qt::Key_End, Qt::NoModifier);
  EXPECT_EQ(V->GetSelectedImage(), 9);
  SendKey(W(), Qt::Key_Down, Qt::NoModifier);
  EXPECT_EQ(V->GetSelectedImage(), 9);  // nothing below the last
  SendKey(W(), Qt::Key_Up, Qt::NoModifier);
  EXPECT_EQ(V->GetSelectedImage(), 8);
  SendKey(W(), Qt::Key_Home, Qt::NoModifier);
  EXPECT_EQ(V->GetSelectedImage(), 0);
  EXPECT_EQ(V->GetScrollY(), 0);
  SendKey(W(), Qt::Key_PageUp, Qt::NoModifier);
  EXPECT_EQ(V->GetSelectedImage(), 0);
  EXPECT_EQ(V->Perform(CM_WANTSPECIALKEY, VK_DOWN, 0), 1);
  EXPECT_EQ(V->Perform(CM_WANTSPECIALKEY, VK_RETURN, 0), 0);
}

// ------------------------------------------------------------------ playback
TEST_F(LiveViewTest, PlaybackStepsAtEachFramesDelayAndLoops) {
  Fill(3);
  V->SetImageDelayTime(0, 0);
  V->SetImageDelayTime(1, 50);
  V->SetImageDelayTime(2, 200);
  V->SetSelectedImage(1);
  std::vector<int32_t> Frames;
  V->OnPlayFrame = [&](TObject*, int32_t f) { Frames.push_back(f); };
  V->SetPlaying(true);
  EXPECT_EQ(V->GetDisplayMode(), mdSingle);
  EXPECT_EQ(V->GetSelectedImage(), -1);
  std::vector<int32_t> Intervals{V->GetFrameTimerInterval()};
  for (int i = 0; i < 4; ++i) {
    V->Perform(WM_TIMER, 1, 0);
    Intervals.push_back(V->GetFrameTimerInterval());
  }
  EXPECT_EQ(Frames, (std::vector<int32_t>{0, 1, 2, 0, 1}));
  EXPECT_EQ(Intervals, (std::vector<int32_t>{10, 50, 200, 10, 50}));
  // While playing, selection and display mode wait.
  V->SetSelectedImage(2);
  EXPECT_EQ(V->GetSelectedImage(), -1);
  V->SetDisplayMode(mdGrid);
  EXPECT_EQ(V->GetDisplayMode(), mdSingle);
  // The shown frame is the one painted, in the corner cell.
  V->SetPlaying(false);
  EXPECT_EQ(V->GetFrameTimerInterval(), 0);
  EXPECT_EQ(V->GetDisplayMode(), mdGrid);
  EXPECT_EQ(V->GetSelectedImage(), 1);

  // Without looping playback stops after the last frame.
  V->SetLoopPlayback(false);
  Frames.clear();
  V->SetPlaying(true);
  V->Perform(WM_TIMER, 1, 0);
  V->Perform(WM_TIMER, 1, 0);
  V->Perform(WM_TIMER, 1, 0);
  EXPECT_FALSE(V->GetPlaying());
  EXPECT_EQ(V->GetFrameTimerInterval(), 0);
}

TEST_F(LiveViewTest, PlaybackOnAnEmptyViewThenWithEntries) {
  std::vector<int32_t> Frames;
  V->OnPlayFrame = [&](TObject*, int32_t f) { Frames.push_back(f); };
  V->SetPlaying(true);
  EXPECT_TRUE(Frames.empty());
  V->SetPlaying(false);
  Fill(2);
  V->SetPlaying(true);
  V->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(Frames, (std::vector<int32_t>{0, 1}));
  // A structural change stops playback.
  V->InsertImageNoSelect(2);
  EXPECT_FALSE(V->GetPlaying());
}

}  // namespace
