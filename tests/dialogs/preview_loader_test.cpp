// The preview's background loader: only the newest request is answered, a
// cancelled or replaced load never reports, and the loader joins its workers.
#include "dialogs/preview_loader.h"

#include <gtest/gtest.h>

#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "support/test_support.h"

namespace {

void WritePng(const std::string& Path, int32_t W, int32_t H) {
  TIEBitmap B;
  B.Allocate(W, H, ie24RGB);
  B.Fill(static_cast<double>(0x808080));
  auto IO = TFolioIO::CreateFromBitmap(&B);
  IO->SaveToFile(Path);
  ASSERT_FALSE(IO->GetAborting());
}

}  // namespace

TEST(PreviewLoader, OnlyTheNewestRequestIsAnsweredAndCancelSilencesIt) {
  testsupport::TempDir Dir;
  const std::string Big = Dir.file("big.png"), Small = Dir.file("small.png");
  WritePng(Big, 2500, 2500);
  WritePng(Small, 7, 5);
  std::vector<std::string> Answers;
  int32_t Width = 0;
  {
    TIEPreviewLoader L;
    TIEPreviewRequest R;
    auto Done = [&](TIEPreviewResult& Res) {
      Answers.push_back(Res.FileName);
      if (Res.Bitmap) Width = Res.Bitmap->GetWidth();
    };
    R.FileName = Big;
    L.Start(R, Done);
    R.FileName = Small;
    L.Start(R, Done);
    EXPECT_TRUE(L.GetBusy());
    L.WaitIdle();
    EXPECT_EQ(Answers, std::vector<std::string>{Small});
    EXPECT_EQ(Width, 7);
    // Cancelled at once: no answer at all, and the loader is idle.
    R.FileName = Big;
    L.Start(R, Done);
    L.Cancel();
    EXPECT_FALSE(L.GetBusy());
    // A load still running when the loader goes is aborted and joined.
    L.Start(R, Done);
  }
  EXPECT_EQ(Answers.size(), 1u);
  // Unreadable input answers cleanly, without pixels.
  testsupport::WriteFileBytes(Dir.file("bad.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
  TIEPreviewResult Res;
  TIEPreviewRequest R;
  R.FileName = Dir.file("bad.png");
  TIEPreviewLoader::Run(
      R, Res, [] { return false; }, nullptr);
  EXPECT_FALSE(Res.Loaded);
  EXPECT_EQ(Res.Bitmap, nullptr);
}
