// Camera raw: a small DNG built here is identified and decoded through the
// decoder library, the parameters describe the bitmap made, and the heap
// container walk is pinned on hand-built files.
#include <atomic>
#include <gtest/gtest.h>

#include "foundations/tag_directory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/raw/camera_raw.h"
#include "formats/raw/raw_embedded_info.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/dng_builder.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

struct TRead {
  std::atomic<bool> Aborted{false};
  TIEBitmap Bitmap;
  TIOParamsVals Params;
};

std::unique_ptr<TRead> ReadRaw(const std::vector<uint8_t>& F, bool Native, bool Half = false, bool ParamsOnly = false) {
  auto r = std::make_unique<TRead>();
  TMemoryStream ms;
  ms.WriteBuffer(F.data(), int64_t(F.size()));
  ms.SetPosition(0);
  r->Params.NativePixelFormat = Native;
  r->Params.RawHalfSize = Half;
  TIEProgressRec p;
  p.Aborting = &r->Aborted;
  RawReadStream(&ms, &r->Bitmap, r->Params, ParamsOnly, p);
  return r;
}

// A heap container: header, then one heap whose table lies at its end.
struct THeap {
  std::vector<uint8_t> Data;
  struct TRec {
    uint16_t Type;
    std::vector<uint8_t> Value;
  };
  std::vector<TRec> Recs;
  int64_t TableOverride = -1;
  std::vector<uint8_t> build() const {
    std::vector<uint8_t> heap;
    std::vector<std::pair<uint32_t, uint32_t>> where;
    for (const auto& r : Recs) {
      where.push_back({uint32_t(heap.size()), uint32_t(r.Value.size())});
      heap.insert(heap.end(), r.Value.begin(), r.Value.end());
    }
    const uint32_t table = uint32_t(heap.size());
    auto put16 = [&](uint32_t v) { heap.insert(heap.end(), {uint8_t(v), uint8_t(v >> 8)}); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    put16(uint32_t(Recs.size()));
    for (size_t i = 0; i < Recs.size(); ++i) {
      put16(Recs[i].Type);
      put32(where[i].second);
      put32(where[i].first);
    }
    put32(TableOverride >= 0 ? uint32_t(TableOverride) : table);
    return heap;
  }
};

std::vector<uint8_t> Ciff(const std::vector<uint8_t>& Heap) {
  std::vector<uint8_t> f = {'I', 'I', 26, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'};
  f.resize(26, 0);
  f.insert(f.end(), Heap.begin(), Heap.end());
  return f;
}

std::vector<uint8_t> MakeJpeg(const TempDir& Dir, const std::string& Size) {
  const std::string f = Dir.file("p" + Size + ".jpg");
  RunCommand("convert -size " + Size + " gradient:red-blue " + f);
  return ReadFileBytes(f);
}

}  // namespace

TEST(CameraRaw, SmallDngDecodesAndParametersDescribeTheBitmap) {
  if (!CameraRawAvailable()) GTEST_SKIP() << "LibRaw missing";
  const std::vector<uint8_t> dng = MakeDng(64, 48);
  TMemoryStream ms;
  ms.WriteBuffer(dng.data(), int64_t(dng.size()));
  ms.SetPosition(0);
  ASSERT_TRUE(IETryCameraRaw(&ms));
  EXPECT_EQ(ms.GetPosition(), 0);

  auto p = ReadRaw(dng, false, false, true);
  ASSERT_FALSE(p->Aborted);
  EXPECT_TRUE(p->Bitmap.IsEmpty());
  EXPECT_EQ(p->Params.RawCamera.rfind("Folivra", 0), 0u);

  auto r = ReadRaw(dng, false);
  ASSERT_FALSE(r->Aborted);
  ASSERT_EQ(r->Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(r->Params.Width, r->Bitmap.GetWidth());
  EXPECT_EQ(r->Params.Height, r->Bitmap.GetHeight());
  EXPECT_EQ(p->Params.Width, r->Bitmap.GetWidth());
  EXPECT_NEAR(r->Bitmap.GetWidth(), 64, 4);
  // The bright half is brighter than the dark half.
  const TRGB left = r->Bitmap.GetPixel24(10, 24), right = r->Bitmap.GetPixel24(r->Bitmap.GetWidth() - 10, 24);
  EXPECT_GT(left.g, right.g + 50);

  auto n = ReadRaw(dng, true);
  ASSERT_FALSE(n->Aborted);
  EXPECT_EQ(n->Bitmap.GetPixelFormat(), ieRGB48);
  EXPECT_EQ(n->Params.BitsPerSample, 16);

  auto h = ReadRaw(dng, false, true);
  ASSERT_FALSE(h->Aborted);
  EXPECT_EQ(h->Bitmap.GetWidth(), 32);
  EXPECT_EQ(h->Params.Width, 32);
}

// Matching the preview's levels maps the decode onto the preview's tones: a
// flat preview makes a flat picture of its colour.
TEST(CameraRaw, MatchingThePreviewTakesItsTones) {
  if (!CameraRawAvailable()) GTEST_SKIP() << "LibRaw missing";
  const std::vector<uint8_t> dng = MakeDng(64, 48);
  TRead r;
  TMemoryStream ms;
  ms.WriteBuffer(dng.data(), int64_t(dng.size()));
  ms.SetPosition(0);
  r.Params.RawMatchPreviewLevels = true;
  r.Params.ExifThumbnail = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(r.Params.ExifThumbnail->Allocate(16, 12, ie24RGB));
  for (int32_t y = 0; y < 12; ++y) std::memset(r.Params.ExifThumbnail->GetScanline(y), 40, 3 * 16);
  TIEProgressRec p;
  p.Aborting = &r.Aborted;
  RawReadStream(&ms, &r.Bitmap, r.Params, false, p);
  ASSERT_FALSE(r.Aborted);
  ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB);
  // Every level but the darkest one (which the matching keeps at 0) takes the
  // preview's.
  int64_t taken = 0, other = 0;
  for (int32_t y = 0; y < r.Bitmap.GetHeight(); ++y)
    for (int32_t x = 0; x < 3 * r.Bitmap.GetWidth(); ++x) {
      const uint8_t v = r.Bitmap.GetScanline(y)[x];
      taken += v == 40;
      other += v != 40 && v != 0;
    }
  EXPECT_GT(taken, 0);
  EXPECT_EQ(other, 0);
}

TEST(CameraRaw, DamagedFilesFailCleanly) {
  if (!CameraRawAvailable()) GTEST_SKIP() << "LibRaw missing";
  const std::vector<uint8_t> dng = MakeDng(64, 48);
  for (size_t n : {size_t(0), size_t(8), size_t(100), size_t(300)}) {
    auto r = ReadRaw(std::vector<uint8_t>(dng.begin(), dng.begin() + int64_t(n)), false);
    EXPECT_TRUE(r->Aborted) << n;
  }
  for (size_t i = 8; i < 400 && i < dng.size(); i += 9) {
    std::vector<uint8_t> bad = dng;
    bad[i] ^= 0x77;
    ReadRaw(bad, false);
  }
  std::vector<uint8_t> text(2000, 'a');
  TMemoryStream ms;
  ms.WriteBuffer(text.data(), int64_t(text.size()));
  ms.SetPosition(0);
  EXPECT_FALSE(IETryCameraRaw(&ms));
}

TEST(RawEmbeddedInfo, StringsTagsAndTheSmallestPreview) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  THeap sub;
  sub.Recs.push_back({0x080A, {'C', 'a', 'n', 'o', 'n', 0, 'E', 'O', 'S', 0}});
  sub.Recs.push_back({0x102A, {1, 0, 2, 0, 3, 0}});  // 6 bytes: 3 values
  sub.Recs.push_back({0x102D, {9, 0}});               // 1 value
  sub.Recs.push_back({0x2007, MakeJpeg(dir, "64x48")});
  sub.Recs.push_back({0x2008, MakeJpeg(dir, "16x12")});
  THeap root;
  root.Recs.push_back({0x0805, {'d', 'e', 's', 'c', 0}});
  root.Recs.push_back({0x300A, sub.build()});
  TIOParamsVals p;
  std::vector<TRawMakerTag> tags;
  const std::vector<uint8_t> f = Ciff(root.build());
  ASSERT_TRUE(RawReadEmbeddedInfo(f.data(), int64_t(f.size()), p, &tags));
  EXPECT_EQ(p.ExifImageDescription, "desc");
  EXPECT_EQ(p.ExifMake, "Canon");
  EXPECT_EQ(p.ExifModel, "EOS");
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].Values, (std::vector<uint16_t>{1, 2, 3}));
  // The maker tags land in the maker-note directory, in the order met.
  ASSERT_TRUE(p.ExifMakerNote);
  ASSERT_EQ(p.ExifMakerNote->GetEntriesCount(), 2);
  const TIETagEntry& e4 = p.ExifMakerNote->GetEntry(0);
  EXPECT_EQ(e4.Tag, 4);
  EXPECT_EQ(e4.Type, 3);
  EXPECT_EQ(e4.Count, 3u);
  int64_t n = 0;
  const uint8_t* v = p.ExifMakerNote->GetEntryData(0, n);
  ASSERT_EQ(n, 6);
  EXPECT_EQ(std::vector<uint8_t>(v, v + n), (std::vector<uint8_t>{1, 0, 2, 0, 3, 0}));
  const TIETagEntry& e1 = p.ExifMakerNote->GetEntry(1);
  EXPECT_EQ(e1.Tag, 1);
  EXPECT_EQ(e1.Count, 1u);
  v = p.ExifMakerNote->GetEntryData(1, n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(v[0], 9);
  ASSERT_TRUE(p.ExifThumbnail);
  EXPECT_EQ(p.ExifThumbnail->GetWidth(), 16);
}

TEST(RawEmbeddedInfo, SignatureTablesBeyondTheDataAndSelfNestingHeaps) {
  // Not a heap container: nothing touched.
  std::vector<uint8_t> other = {'I', 'I', 26, 0, 0, 0, 'H', 'E', 'A', 'P', 'X', 'X', 'X', 'X'};
  other.resize(64, 0);
  TIOParamsVals p;
  p.ExifMake = "kept";
  EXPECT_FALSE(RawReadEmbeddedInfo(other.data(), int64_t(other.size()), p));
  EXPECT_EQ(p.ExifMake, "kept");
  EXPECT_FALSE(p.ExifThumbnail);
  // A table offset far beyond the heap ends the walk quietly.
  THeap far;
  far.Recs.push_back({0x0805, {'x', 0}});
  far.TableOverride = 0x7FFFFFF0;
  std::vector<uint8_t> f = Ciff(far.build());
  TIOParamsVals q;
  EXPECT_TRUE(RawReadEmbeddedInfo(f.data(), int64_t(f.size()), q));
  EXPECT_TRUE(q.ExifImageDescription.empty());
  // A sub-heap record that points at its own heap: the depth bound ends it.
  THeap loop;
  loop.Recs.push_back({0x0805, {'y', 0}});
  std::vector<uint8_t> heap = loop.build();
  // Add a record of type 0x300A spanning the whole heap (offset 0).
  THeap self;
  self.Recs.push_back({0x0805, {'y', 0}});
  self.Recs.push_back({0x300A, {}});
  std::vector<uint8_t> h = self.build();
  // Make the sub-heap record cover the heap itself: length = heap size, offset 0.
  const size_t table = h.size() - 4 - 2 - 20;
  const size_t rec = table + 2 + 10;
  const uint32_t len = uint32_t(h.size());
  for (int k = 0; k < 4; ++k) {
    h[rec + 2 + k] = uint8_t(len >> (8 * k));
    h[rec + 6 + k] = 0;
  }
  std::vector<uint8_t> g = Ciff(h);
  TIOParamsVals s;
  EXPECT_TRUE(RawReadEmbeddedInfo(g.data(), int64_t(g.size()), s));
  EXPECT_EQ(s.ExifImageDescription, "y");
  (void)heap;
}
