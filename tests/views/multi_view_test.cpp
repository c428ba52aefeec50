#include "views/multi_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "io/folio_io.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "support/test_support.h"

namespace {

// A 6 x 4 24-bit image filled with one colour whose red byte is Tag.
std::unique_ptr<TIEBitmap> Tagged(uint8_t Tag) {
  auto B = std::make_unique<TIEBitmap>(6, 4, ie24RGB);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x) B->SetPixel24(x, y, TRGB{7, 9, Tag});
  return B;
}

// The red byte of pixel (2, 1) of the entry, read back through a copy; -1
// when the entry holds no image.
int TagOf(TFolioMView& V, int32_t Index) {
  TIEBitmap Out;
  V.CopyToIEBitmap(Index, &Out);
  if (Out.IsEmpty()) return -1;
  return Out.GetPixel24(2, 1).r;
}

std::vector<int> Tags(TFolioMView& V) {
  std::vector<int> R;
  for (int32_t i = 0; i < V.GetImageCount(); ++i) R.push_back(TagOf(V, i));
  return R;
}

// Change records as the callbacks see them.
struct TSeen {
  int32_t Kind, Index, NewIndex;
  bool operator==(const TSeen& O) const {
    return Kind == O.Kind && Index == O.Index && NewIndex == O.NewIndex;
  }
};

class MultiViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    V = std::make_unique<TFolioMView>(nullptr);
    V->RegisterChangeCallback([this](TIEView* Sender, int32_t Code) {
      // Code 1 arrives from the base destructor, when the view is no longer
      // a multi-image view.
      if (Code != 0) return;
      auto* M = static_cast<TFolioMView*>(Sender);
      Seen.push_back({M->GetLastChangeKind(), M->GetLastChangeIndex(), M->GetLastChangeNewIndex()});
    });
  }
  // Count entries tagged 10, 20, 30 ...
  void Fill(int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
      V->InsertImageNoSelect(i);
      auto B = Tagged(uint8_t(10 * (i + 1)));
      V->SetIEBitmap(i, B.get());
    }
    Seen.clear();
  }
  // The structural records seen (kind 0 records of selection changes left out).
  std::vector<TSeen> Structural() const {
    std::vector<TSeen> R;
    for (const TSeen& S : Seen)
      if (S.Kind != 0) R.push_back(S);
    return R;
  }
  std::unique_ptr<TFolioMView> V;
  std::vector<TSeen> Seen;
};

TEST_F(MultiViewTest, InsertDeleteMoveClearKeepImagesWithTheirEntries) {
  Fill(4);
  EXPECT_EQ(Tags(*V), (std::vector<int>{10, 20, 30, 40}));
  V->InsertImageNoSelect(1);  // an empty entry
  EXPECT_EQ(Tags(*V), (std::vector<int>{10, -1, 20, 30, 40}));
  V->MoveImage(0, 3);
  EXPECT_EQ(Tags(*V), (std::vector<int>{-1, 20, 30, 10, 40}));
  V->MoveImage(4, 0);
  EXPECT_EQ(Tags(*V), (std::vector<int>{40, -1, 20, 30, 10}));
  V->DeleteImage(1);
  V->DeleteImage(3);
  EXPECT_EQ(Tags(*V), (std::vector<int>{40, 20, 30}));
  // Storing again replaces the image and its store block.
  auto B = Tagged(99);
  V->SetIEBitmap(1, B.get());
  EXPECT_EQ(Tags(*V), (std::vector<int>{40, 99, 30}));
  EXPECT_EQ(V->GetImageList()->GetImageCount(), 3);
  V->Clear();
  EXPECT_EQ(V->GetImageCount(), 0);
  EXPECT_EQ(V->GetSelectedImage(), -1);
  EXPECT_EQ(V->GetImageList()->GetImageCount(), 0);
  Fill(2);  // the fresh stores work
  EXPECT_EQ(Tags(*V), (std::vector<int>{10, 20}));
}

TEST_F(MultiViewTest, CallbacksSeeTheChangeRecordWhichIsResetAfterwards) {
  Fill(4);
  struct Case {
    const char* Name;
    std::function<void(TFolioMView&)> Op;
    std::vector<TSeen> Expected;
  };
  const std::vector<Case> Cases = {
      {"insert", [](TFolioMView& M) { M.InsertImage(1); }, {{1, 1, 0}}},
      {"insert beyond end", [](TFolioMView& M) { M.InsertImage(100); }, {{1, 5, 0}}},
      {"insert no select beyond end", [](TFolioMView& M) { M.InsertImageNoSelect(100); }, {{1, 6, 0}}},
      {"append", [](TFolioMView& M) { M.AppendImage(); }, {{1, 7, 0}}},
      {"delete", [](TFolioMView& M) { M.DeleteImage(2); }, {{2, 2, 0}}},
      {"move", [](TFolioMView& M) { M.MoveImage(0, 2); }, {{3, 0, 2}}},
      {"move beyond end", [](TFolioMView& M) { M.MoveImage(1, 100); }, {{3, 1, 6}}},
      {"move to itself", [](TFolioMView& M) { M.MoveImage(2, 2); }, {}},
      {"move last beyond end", [](TFolioMView& M) { M.MoveImage(6, 50); }, {}},
      {"move from outside", [](TFolioMView& M) { M.MoveImage(7, 0); }, {}},
      {"delete outside", [](TFolioMView& M) { M.DeleteImage(7); }, {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Seen.clear();
    C.Op(*V);
    EXPECT_EQ(Structural(), C.Expected);
    EXPECT_EQ(V->GetLastChangeKind(), 0);
  }
  // Selecting another entry is told with kind 0.
  Seen.clear();
  V->SetSelectedImage(0);
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0].Kind, 0);
}

TEST_F(MultiViewTest, ChangeKindIsResetWhenACallbackFails) {
  Fill(1);
  V->RegisterChangeCallback([](TIEView*, int32_t Code) {
    if (Code == 0) throw EInvalidOperation("callback failed");
  });
  EXPECT_THROW(V->InsertImageNoSelect(0), EInvalidOperation);
  EXPECT_EQ(V->GetLastChangeKind(), 0);
}

TEST_F(MultiViewTest, InsertingSelectsTheNewEntryAndClampsToTheEnd) {
  Fill(3);
  V->InsertImage(100);
  EXPECT_EQ(V->GetImageCount(), 4);
  EXPECT_EQ(V->GetSelectedImage(), 3);
  EXPECT_EQ(Tags(*V), (std::vector<int>{10, 20, 30, -1}));
  V->InsertImageNoSelect(0);
  EXPECT_EQ(V->GetSelectedImage(), 3);  // numbers stay; no selection change
  EXPECT_THROW(V->InsertImage(-1), EListError);
  EXPECT_EQ(V->GetImageCount(), 5);
}

TEST_F(MultiViewTest, DeletingMovesTheSelectionToTheRightEntry) {
  struct Case {
    int32_t Count, Selected, Deleted, ExpectSelected;
  };
  const Case Cases[] = {
      {5, 3, 2, 2},   // the same image, one place up
      {5, 1, 3, 1},   // after the selection: unchanged
      {5, 2, 2, 2},   // the selected one: the following entry
      {5, 4, 4, 3},   // the selected last: the new last
      {1, 0, 0, -1},  // the only entry: nothing
      {3, -1, 1, -1}, // nothing selected stays so
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Count << "/" << C.Selected << "/" << C.Deleted);
    V->Clear();
    Fill(C.Count);
    if (C.Selected >= 0) V->SetSelectedImage(C.Selected);
    const int ExpectTag = C.ExpectSelected < 0 ? 0 : TagOf(*V, C.ExpectSelected + (C.ExpectSelected >= C.Deleted));
    V->DeleteImage(C.Deleted);
    EXPECT_EQ(V->GetSelectedImage(), C.ExpectSelected);
    if (C.ExpectSelected >= 0) {
      TIEBitmap* Shown = V->GetViewIEBitmap();
      ASSERT_NE(Shown, nullptr);
      EXPECT_EQ(Shown->GetPixel24(2, 1).r, ExpectTag);
    } else {
      EXPECT_EQ(V->GetViewIEBitmap(), nullptr);
    }
  }
  EXPECT_FALSE(V->DeleteImageInternal(V->GetImageCount()));
  EXPECT_THROW(V->DeleteImageInternal(-1), EListError);
}

TEST_F(MultiViewTest, MovingRemapsTheMultiSelectionAndKeepsItInRange) {
  Fill(4);
  V->SetEnableMultiSelect(true);
  V->SetSelectedImage(0);
  V->SetMultiSelecting(true);
  V->SetSelectedImage(3);
  V->SetMultiSelecting(false);
  ASSERT_EQ(V->GetMultiSelectedCount(), 2);
  V->MoveImage(0, 2);
  EXPECT_EQ(V->GetMultiSelectedImage(0), 2);
  EXPECT_EQ(V->GetMultiSelectedImage(1), 3);
  EXPECT_EQ(V->GetSelectedImage(), 2);
  // The view's image follows the selection: entry 2 is the old entry 0.
  ASSERT_NE(V->GetViewIEBitmap(), nullptr);
  EXPECT_EQ(V->GetViewIEBitmap()->GetPixel24(2, 1).r, 10);

  // Beyond the end: to the last place, the selection naming entries that exist.
  V->MoveImage(2, 1000);
  EXPECT_EQ(Tags(*V), (std::vector<int>{20, 30, 40, 10}));
  EXPECT_EQ(V->GetMultiSelectedImage(0), 3);
  EXPECT_EQ(V->GetMultiSelectedImage(1), 2);
  EXPECT_EQ(V->GetSelectedImage(), 3);
}

TEST_F(MultiViewTest, MovingWithoutMultiSelectionKeepsThePositionNumber) {
  Fill(4);
  V->SetSelectedImage(1);
  V->MoveImage(1, 100);
  EXPECT_EQ(V->GetSelectedImage(), 1);
  EXPECT_EQ(Tags(*V), (std::vector<int>{10, 30, 40, 20}));
  ASSERT_NE(V->GetViewIEBitmap(), nullptr);
  EXPECT_EQ(V->GetViewIEBitmap()->GetPixel24(2, 1).r, 30);
}

TEST_F(MultiViewTest, EditsOfTheSelectedImageReachTheStoreWhenTheSelectionMoves) {
  Fill(2);
  V->SetSelectedImage(0);
  TIEBitmap* Shown = V->GetViewIEBitmap();
  ASSERT_NE(Shown, nullptr);
  EXPECT_EQ(V->GetViewIEBitmap(), Shown);  // held, not fetched again
  Shown->SetPixel24(2, 1, TRGB{0, 0, 77});
  V->SetSelectedImage(1);
  EXPECT_EQ(TagOf(*V, 0), 77);
  // A new image stored into the selected entry is announced (kind 0) and
  // becomes the view's image.
  Seen.clear();
  auto B = Tagged(55);
  V->SetIEBitmap(1, B.get());
  ASSERT_FALSE(Seen.empty());
  EXPECT_EQ(Seen.back().Kind, 0);
  ASSERT_NE(V->GetViewIEBitmap(), nullptr);
  EXPECT_EQ(V->GetViewIEBitmap()->GetPixel24(2, 1).r, 55);
  EXPECT_NE(V->GetViewBitmap(), nullptr);
}

TEST_F(MultiViewTest, PlatformBitmapsAreStoredAsCopies) {
  Fill(1);
  auto Source = Tagged(44);
  TBitmap* Platform = Source->GetTBitmap();
  ASSERT_NE(Platform, nullptr);
  V->SetImage(0, Platform);
  V->SetImage(0, nullptr);  // nothing stored, nothing lost
  Source->SetPixel24(2, 1, TRGB{0, 0, 1});
  EXPECT_EQ(TagOf(*V, 0), 44);
  EXPECT_EQ(V->GetImageWidth(0), 6);
}

TEST_F(MultiViewTest, SharedBitmapsAndBadIndices) {
  Fill(2);
  TIEBitmap* B = V->GetIEBitmap(1);
  ASSERT_NE(B, nullptr);
  B->SetPixel24(2, 1, TRGB{0, 0, 5});
  V->ReleaseBitmap(1);
  EXPECT_EQ(TagOf(*V, 1), 5);
  V->InsertImageNoSelect(2);
  EXPECT_EQ(V->GetIEBitmap(2), nullptr);  // no image, nothing to load
  for (int32_t Bad : {-1, 3, 1000}) {
    SCOPED_TRACE(Bad);
    EXPECT_THROW(V->GetIEBitmap(Bad), EListError);
    EXPECT_THROW(V->ReleaseBitmap(Bad), EListError);
    TIEBitmap Out;
    EXPECT_THROW(V->CopyToIEBitmap(Bad, &Out), EListError);
    EXPECT_THROW(V->ClearImageCache(Bad), EListError);
    EXPECT_EQ(V->GetImageWidth(Bad), 0);
    EXPECT_EQ(V->GetDeferredFileName(Bad), "");
    EXPECT_EQ(V->GetImageTopText(Bad), nullptr);
    V->SetImageDelayTime(Bad, 5);
    V->SetIEBitmap(Bad, B);
    V->SetSelectedImage(Bad);
  }
  EXPECT_EQ(V->GetImageCount(), 3);
  EXPECT_EQ(V->GetSelectedImage(), -1);
}

TEST_F(MultiViewTest, ThumbnailStoreReducesAndEnlargesKeepingTheSourceSize) {
  V->SetStoreType(ietThumb);
  struct Case {
    int32_t W, H;
    TIEPixelFormat Format;
    bool Fit;
    int32_t StoredW, StoredH;
    TIEPixelFormat StoredFormat;
  };
  const Case Cases[] = {
      {200, 100, ie1g, true, 100, 50, ie24RGB},   // a page becomes gray
      {50, 40, ie24RGB, true, 100, 80, ie24RGB},  // enlarged
      {50, 40, ie1g, false, 50, 40, ie1g},        // small, kept as it is
      {100, 100, ie1g, true, 100, 100, ie1g},     // already the size
      {300, 150, ie8g, true, 100, 50, ie8g},      // other formats keep theirs
  };
  Fill(1);
  TIEBitmap Empty;  // a bitmap with no pixels is stored as an empty cell
  V->SetIEBitmap(0, &Empty);
  EXPECT_EQ(V->GetImageWidth(0), 100);
  EXPECT_EQ(V->GetImageSourceWidth(0), 0);
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H);
    V->FitSmallImages = C.Fit;
    TIEBitmap B(C.W, C.H, C.Format);
    B.Fill(0);
    V->SetIEBitmap(0, &B);
    EXPECT_EQ(V->GetImageWidth(0), C.StoredW);
    EXPECT_EQ(V->GetImageHeight(0), C.StoredH);
    EXPECT_EQ(V->GetImageSourceWidth(0), C.W);
    EXPECT_EQ(V->GetImageSourceHeight(0), C.H);
    TIEBitmap Out;
    V->CopyToIEBitmap(0, &Out);
    EXPECT_EQ(Out.GetPixelFormat(), C.StoredFormat);
  }
}

TEST_F(MultiViewTest, TransparentPixelsTurnMidGrayBeforeReduction) {
  V->SetStoreType(ietThumb);
  Fill(1);
  TIEBitmap B(200, 100, ie24RGB);
  B.Fill(0);
  TIEBitmap* Alpha = B.GetAlphaChannel();
  Alpha->Fill(0);
  for (int32_t x = 0; x < 100; ++x)
    for (int32_t y = 0; y < 100; ++y) Alpha->SetPixel8(x, y, 255);  // left half opaque
  Alpha->SetFull(false);
  V->SetIEBitmap(0, &B);
  EXPECT_EQ(B.GetPixel24(150, 50).r, 128);  // painted in the caller's bitmap
  EXPECT_EQ(B.GetPixel24(50, 50).r, 0);
  TIEBitmap Out;
  V->CopyToIEBitmap(0, &Out);
  ASSERT_EQ(Out.GetWidth(), 100);
  ASSERT_TRUE(Out.HasAlphaChannel());
  EXPECT_EQ(Out.GetPixel24(80, 25).r, 128);
  EXPECT_EQ(Out.GetAlphaChannel()->GetPixel8(80, 25), 0);
  EXPECT_EQ(Out.GetAlphaChannel()->GetPixel8(10, 25), 255);
}

TEST_F(MultiViewTest, OneBitPagesAreAveragedToGray) {
  V->SetStoreType(ietThumb);
  Fill(1);
  // 200 x 100: left half white, right quarter black, third quarter striped
  // (every other column white).
  TIEBitmap Page(200, 100, ie1g);
  Page.Fill(0);
  for (int32_t y = 0; y < 100; ++y) {
    uint8_t* Row = Page.GetScanline(y);
    for (int32_t x = 0; x < 150; ++x)
      if (x < 100 || x % 2 == 0) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  ASSERT_EQ(Page.GetPixelRGB(0, 0).r, 255);
  // Unfiltered storing too: a plain stretch would keep only every other
  // column of the page.
  for (TResampleFilter Filter : {rfFastLinear, rfNone}) {
    SCOPED_TRACE(int(Filter));
    V->StoreFilter = Filter;
    V->SetIEBitmap(0, &Page);
    TIEBitmap Out;
    V->CopyToIEBitmap(0, &Out);
    ASSERT_EQ(Out.GetWidth(), 100);
    ASSERT_EQ(Out.GetPixelFormat(), ie24RGB);
    const struct {
      int32_t X;
      int Level;
    } Expect[] = {{10, 255}, {60, 85}, {90, 0}};
    // A 2:1 block reaches half a step into both neighbours: three columns, of
    // which only the middle one is white in the striped quarter.
    for (const auto& E : Expect) {
      TRGB P = Out.GetPixel24(E.X, 20);
      EXPECT_EQ(P.r, E.Level) << E.X;
      EXPECT_EQ(P.g, P.r);
      EXPECT_EQ(P.b, P.r);
    }
  }
}

TEST_F(MultiViewTest, DisplayCopiesLiveInTheSecondStoreUntilDropped) {
  Fill(3);
  V->SetThumbWidth(4);
  V->SetThumbHeight(4);
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(V->MakeDisplayCopy(i));
  EXPECT_EQ(V->GetCacheList()->GetImageCount(), 3);
  TIEBitmap Copy;
  V->GetCacheList()->CopyToBitmap(V->GetCacheList()->GetMappedImages().front(), &Copy);
  EXPECT_EQ(Copy.GetWidth(), 4);
  EXPECT_EQ(Copy.GetHeight(), 2);
  // A new image, a new background or deleting drop the entry's own copy;
  // layout changes drop them all.
  auto B = Tagged(1);
  V->SetIEBitmap(0, B.get());
  EXPECT_FALSE(V->HasDisplayCopy(0));
  V->SetImageBackground(1, clRed);
  EXPECT_FALSE(V->HasDisplayCopy(1));
  EXPECT_TRUE(V->HasDisplayCopy(2));
  V->DeleteImage(2);
  EXPECT_EQ(V->GetCacheList()->GetImageCount(), 0);
  V->MakeDisplayCopy(0);
  V->SetThumbWidth(8);
  EXPECT_FALSE(V->HasDisplayCopy(0));
  V->InsertImageNoSelect(5);
  EXPECT_FALSE(V->MakeDisplayCopy(2));  // no image to copy
}

TEST_F(MultiViewTest, DeferredFileNamesLoadOnDemand) {
  testsupport::TempDir Dir;
  const std::string Name = Dir.file("page.pcx");
  {
    auto B = Tagged(66);
    auto IO = TFolioIO::CreateFromBitmap(B.get());
    IO->SaveToFile(Name);
    ASSERT_FALSE(IO->GetAborting());
  }
  V->InsertImageNoSelect(0);
  V->InsertImageNoSelect(1);
  V->SetDeferredFileName(0, Name);
  V->SetDeferredFileName(1, Dir.file("missing.pcx"));
  EXPECT_EQ(V->GetDeferredFileName(0), Name);
  EXPECT_EQ(V->GetImageID(0), -1);
  EXPECT_EQ(TagOf(*V, 0), 66);
  EXPECT_TRUE(V->HasImage(0));
  // An unreadable file gives the entry the placeholder, whose corner is white.
  EXPECT_FALSE(V->LoadImageOnDemand(1));
  EXPECT_TRUE(V->HasImage(1));
  EXPECT_EQ(TagOf(*V, 1), 255);
}

TEST_F(MultiViewTest, SelectEventsFireOnlyForTheUser) {
  Fill(2);
  int Events = 0;
  V->OnImageSelect = [&](TObject*, int32_t) { ++Events; };
  V->OnImageDeselect = [&](TObject*, int32_t) { ++Events; };
  V->SetSelectedImage(1);
  V->DeleteImage(0);
  EXPECT_EQ(Events, 0);
  EXPECT_EQ(V->GetSelectedImage(), 0);
}

TEST_F(MultiViewTest, LayoutPlacesCellsInTheGridAndWaitsForThePaintLock) {
  Fill(5);
  V->SetGridWidth(2);
  EXPECT_EQ(V->GetImageGridRow(3), 1);
  EXPECT_EQ(V->GetImageGridColumn(3), 1);
  V->LockPaint();
  V->SetGridWidth(1);
  EXPECT_EQ(V->GetImageGridRow(3), 1);  // not laid out while locked
  EXPECT_EQ(V->UnlockPaint(), 0);
  EXPECT_EQ(V->GetImageGridRow(3), 3);
  EXPECT_EQ(V->GetImageGridColumn(3), 0);
  EXPECT_EQ(V->UnlockPaintNoUpdate(), 0);
}

TEST_F(MultiViewTest, CaptionsRaiseTheTextGapsButNeverLowerThem) {
  Fill(1);
  V->GetImageTopText(0)->SetCaption("Page 1");
  const int32_t Upper = V->GetUpperGap();
  EXPECT_GT(Upper, 2);
  EXPECT_EQ(V->GetImageTopText(0)->GetCaption(), "Page 1");
  V->SetUpperGap(Upper + 10);
  V->GetImageTopText(0)->SetCaption("x");
  EXPECT_EQ(V->GetUpperGap(), Upper + 10);
  V->GetImageBottomText(0)->SetCaption("y");
  EXPECT_EQ(V->GetBottomGap(), Upper + 2);  // iemsACD: text height + 4
}

TEST(MultiViewForm, PageListReadsFromAFormResource) {
  TForm Form(nullptr);
  Form.ReadFormResourceText(
      "object F: TForm\n"
      "  object FolioMView1: TFolioMView\n"
      "    Background = clWindow\n"
      "    ScrollBars = ssVertical\n"
      "    ThumbWidth = 110\n"
      "    ThumbHeight = 120\n"
      "    GridWidth = 1\n"
      "    SelectionColor = clNavy\n"
      "    Style = iemsFlat\n"
      "    ThumbnailsBackground = clWindow\n"
      "    ThumbnailsBorderColor = clBlack\n"
      "    FlatScrollBars = True\n"
      "    MouseInteract = [mmiScroll, mmiSelect]\n"
      "    MultiSelectionOptions = [iemoRegion, iemoLeaveOneSelected]\n"
      "    ImageCacheSize = 3\n"
      "  end\n"
      "end\n");
  auto* V = dynamic_cast<TFolioMView*>(Form.FindComponent("FolioMView1"));
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->GetBackground(), clWindow);
  EXPECT_EQ(V->GetScrollBars(), ssVertical);
  EXPECT_EQ(V->GetThumbWidth(), 110);
  EXPECT_EQ(V->GetThumbHeight(), 120);
  EXPECT_EQ(V->GetGridWidth(), 1);
  EXPECT_EQ(V->GetSelectionColor(), clNavy);
  EXPECT_EQ(V->GetStyle(), iemsFlat);
  EXPECT_EQ(V->GetThumbnailsBorderColor(), clBlack);
  EXPECT_TRUE(V->GetFlatScrollBars());
  EXPECT_EQ(V->GetMouseInteract(), mmiScroll | mmiSelect);
  EXPECT_EQ(V->GetMultiSelectionOptions(), iemoRegion | iemoLeaveOneSelected);
  EXPECT_EQ(V->GetImageList()->GetMaximumMapped(), 3);
  // Defaults the resource leaves alone.
  EXPECT_EQ(V->GetStoreType(), ietNormal);
  EXPECT_EQ(V->GetSelectionWidth(), 2);
  EXPECT_EQ(V->GetHorizBorder(), 4);
  EXPECT_EQ(V->GetFolioVersion(), "3.1.2");
}

}  // namespace
