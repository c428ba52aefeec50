// Background loading of the page list: the pool limit, screen order, loads
// that follow their entries, and a view destroyed while loads run.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "support/test_support.h"
#include "views/multi_view.h"

namespace {

class MultiViewLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 700, 700);
    V = new TFolioMView(Form.get());
    V->SetParent(Form.get());
    V->SetBorderStyle(bsNone);
    V->SetBounds(0, 0, 400, 400);
    V->SetScrollBars(ssNone);
    V->SetThumbWidth(40);
    V->SetThumbHeight(40);
    V->SetGridWidth(4);
    V->SetStoreType(ietThumb);
    V->HandleNeeded();
  }
  // Entry i holds only the name of a 30 x 20 PCX file whose red is 10 x (i + 1).
  void AddFiles(int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
      const std::string Name = Dir.file("p" + std::to_string(i) + ".pcx");
      TIEBitmap B(30, 20, ie24RGB);
      for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) B.SetPixel24(x, y, TRGB{200, 100, uint8_t(10 * (i + 1))});
      auto IO = TFolioIO::CreateFromBitmap(&B);
      IO->SaveToFile(Name);
      ASSERT_FALSE(IO->GetAborting());
      const int32_t At = V->GetImageCount();
      V->InsertImageNoSelect(At);
      V->SetDeferredFileName(At, Name);
    }
  }
  void PaintNow() {
    V->Invalidate();
    V->TCustomControl::Update();
  }
  // Paints and delivers finished loads until every entry with a file holds
  // its image (bounded: a hang fails the test instead of the run).
  bool LoadAll() {
    for (int Round = 0; Round < 4000; ++Round) {
      DispatchPostedMessages();
      PaintNow();
      bool All = true;
      for (int32_t i = 0; i < V->GetImageCount(); ++i)
        All = All && (V->GetDeferredFileName(i).empty() || V->HasImage(i));
      if (All && V->GetRunningLoadCount() == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  // The red of entry i's stored image, -1 without one.
  int RedOf(int32_t i) {
    if (!V->HasImage(i)) return -1;
    TIEBitmap Out;
    V->CopyToIEBitmap(i, &Out);
    return Out.IsEmpty() ? -1 : Out.GetPixel24(Out.GetWidth() / 2, Out.GetHeight() / 2).r;
  }
  // The red the entry's own file has.
  int FileRed(int32_t i) {
    const std::string N = V->GetDeferredFileName(i);
    const size_t p = N.rfind("/p");
    return 10 * (std::stoi(N.substr(p + 2)) + 1);
  }

  testsupport::TempDir Dir;
  std::unique_ptr<TForm> Form;
  TFolioMView* V = nullptr;
};

TEST_F(MultiViewLoader, AtMostThePoolRunsAndTheRestWaitsInScreenOrder) {
  V->SetThreadPoolSize(2);
  AddFiles(10);
  PaintNow();
  EXPECT_LE(V->GetRunningLoadCount(), 2);
  for (int32_t i = 2; i < 10; ++i) EXPECT_EQ(V->QueueIndexOf(i), i - 2) << i;
  // Nothing was read in the GUI thread.
  for (int32_t i = 0; i < 10; ++i) EXPECT_FALSE(V->HasImage(i)) << i;
  ASSERT_TRUE(LoadAll());
  for (int32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(RedOf(i), 10 * (i + 1)) << i;
    // Reduced to the cell, the source size kept.
    EXPECT_EQ(V->GetImageWidth(i), 40) << i;
    EXPECT_EQ(V->GetImageSourceWidth(i), 30) << i;
  }
  EXPECT_EQ(V->QueueIndexOf(3), -1);
}

TEST_F(MultiViewLoader, RequestsThatNeedNoLoaderOrAreAnsweredAtOnce) {
  AddFiles(2);
  V->InsertImageNoSelect(2);
  V->SetDeferredFileName(2, Dir.file("p0.pcx") + "::0");
  EXPECT_FALSE(V->QueueImageLoad(2, 0));  // frames are read through the frame readers
  TIEBitmap B(5, 5, ie24RGB);
  V->SetIEBitmap(1, &B);
  EXPECT_TRUE(V->QueueImageLoad(1, 0));  // holds its image already
  EXPECT_EQ(V->QueueIndexOf(1), -1);
  // A position far beyond the queue lands at its end.
  V->SetThreadPoolSize(1);
  EXPECT_TRUE(V->QueueImageLoad(0, 1000));
  ASSERT_TRUE(LoadAll());
  EXPECT_EQ(RedOf(0), 10);
}

TEST_F(MultiViewLoader, LoadsFollowTheirEntriesThroughInsertsMovesAndDeletes) {
  V->SetThreadPoolSize(3);
  AddFiles(12);
  PaintNow();  // queued, some running
  V->InsertImageNoSelect(0);
  V->MoveImage(5, 11);
  V->MoveImage(10, 1);
  V->DeleteImage(4);
  V->InsertImageNoSelect(7);
  ASSERT_TRUE(LoadAll());
  int32_t Checked = 0;
  for (int32_t i = 0; i < V->GetImageCount(); ++i) {
    if (V->GetDeferredFileName(i).empty()) {
      EXPECT_FALSE(V->HasImage(i)) << i;  // the inserted entries got nothing
      continue;
    }
    EXPECT_EQ(RedOf(i), FileRed(i)) << i;
    ++Checked;
  }
  EXPECT_EQ(Checked, 11);
}

TEST_F(MultiViewLoader, AViewDestroyedWhileLoadsRunWaitsForThem) {
  V->SetThreadPoolSize(4);
  AddFiles(16);
  PaintNow();
  EXPECT_GT(V->GetRunningLoadCount() + V->QueueIndexOf(15) + 1, 0);
  Form.reset();  // frees the view with its jobs
  // Messages the workers posted to the dead view are dropped.
  DispatchPostedMessages();
  SUCCEED();
}

TEST_F(MultiViewLoader, ClearingCancelsAndLaterLoadsStillWork) {
  V->SetThreadPoolSize(2);
  AddFiles(8);
  PaintNow();
  V->Clear();
  EXPECT_EQ(V->GetImageCount(), 0);
  AddFiles(3);
  ASSERT_TRUE(LoadAll());
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(RedOf(i), 10 * (i + 1)) << i;
}

}  // namespace
