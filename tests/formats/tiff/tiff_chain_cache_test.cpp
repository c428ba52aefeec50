// Remembered directory chains: a file read again unchanged answers from its
// remembered chain, a changed file is walked again, and the walk straight from
// the file finds the same pages as the walk through a memory stream.
#include <atomic>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <string>

#include "formats/io_params.h"
#include "formats/tiff/tiff_chain_cache.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"

namespace {

// Appends a Width x 8 bilevel page to the TIFF in S.
void AddPage(TStream& S, int32_t Width, int32_t Index) {
  TIEBitmap page(Width, 8, ie1g);
  page.Fill(1);
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.TiffCompression = ietcG4Fax;
  p.TiffPageIndex = Index;
  S.SetPosition(0);
  ASSERT_EQ(TiffWriteStream(&S, Index > 0, &page, p, progress), Index + 1);
}

// Moves the file's modification time a minute back, so that its chain may be
// remembered.
void Age(const std::string& Name) {
  struct timespec t[2];
  clock_gettime(CLOCK_REALTIME, &t[0]);
  t[0].tv_sec -= 60;
  t[1] = t[0];
  ASSERT_EQ(utimensat(AT_FDCWD, Name.c_str(), t, 0), 0);
}

// The width of page Index read through a read buffer over the file, as the
// I/O component reads; -1 when the page cannot be read.
int32_t WidthOf(const std::string& Name, int32_t Index, int32_t& Pages) {
  TFileStream f(Name, fmOpenRead);
  TIEBufferedReadStream s(&f, 8192, false);
  TIEBitmap b;
  TIOParamsVals p;
  p.TiffPageIndex = Index;
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  std::unique_ptr<TIEMask> mask;
  TiffReadStream(&b, &s, Pages, &p, progress, mask);
  return aborting || b.IsEmpty() ? -1 : b.GetWidth();
}

TEST(TiffChainCache, UnchangedFilesAnswerFromTheirChainChangedFilesWalkAgain) {
  testsupport::TempDir dir;
  const std::string name = dir.file("doc.tif");
  TiffForgetChains();
  {
    TFileStream s(name, fmCreate);
    for (int32_t i = 0; i < 3; ++i) AddPage(s, 16 + 8 * i, i);
  }
  Age(name);
  int32_t pages = 0;
  EXPECT_EQ(WidthOf(name, 2, pages), 32);
  EXPECT_EQ(pages, 3);
  {
    // The chain is remembered after the first read.
    TFileStream f(name, fmOpenRead);
    uint8_t h[8];
    ASSERT_EQ(f.Read(h, 8), 8);
    const int64_t first = h[4] | (h[5] << 8) | (h[6] << 16) | (int64_t(h[7]) << 24);
    std::vector<int64_t> offsets;
    bool cut = true;
    ASSERT_TRUE(TiffRecalledChain(&f, 0, first, offsets, cut));
    EXPECT_EQ(offsets.size(), 3u);
    EXPECT_FALSE(cut);
    EXPECT_FALSE(TiffRecalledChain(&f, 0, first + 2, offsets, cut)) << "another first directory";
  }
  // Read again: every page through the remembered chain.
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(WidthOf(name, i, pages), 16 + 8 * i);
  EXPECT_EQ(pages, 3);

  // A page appended in place (kept aged, so that only size and change time
  // tell): walked again.
  {
    TFileStream s(name, fmOpenReadWrite);
    AddPage(s, 48, 3);
  }
  Age(name);
  EXPECT_EQ(WidthOf(name, 3, pages), 48);
  EXPECT_EQ(pages, 4);
  TiffForgetChains();
}

TEST(TiffChainCache, FileAndMemoryWalksAgree) {
  testsupport::TempDir dir;
  const std::string name = dir.file("doc.tif");
  TMemoryStream m;
  for (int32_t i = 0; i < 40; ++i) AddPage(m, 8 + i, i);
  m.SaveToFile(name);
  for (int32_t i : {0, 17, 39}) {
    int32_t pages = 0;
    EXPECT_EQ(WidthOf(name, i, pages), 8 + i);
    EXPECT_EQ(pages, 40);
  }
  // A chain that runs past the end of a cut file ends where the file does.
  TFileStream f(name, fmOpenReadWrite);
  f.SetSize(f.GetSize() / 2);
  TTiffChain chain;
  f.SetPosition(0);
  ASSERT_TRUE(TiffScanChain(&f, false, chain));
  EXPECT_GT(chain.Offsets.size(), 0u);
  EXPECT_LT(chain.Offsets.size(), 40u);
}

}  // namespace
