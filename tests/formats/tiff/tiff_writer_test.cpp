// The TIFF writer: pages in every compression it offers read in libtiff
// exactly as they were written, pages are inserted and appended, the strip
// layout covers every row, and the parameter set travels through the reader.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "platform/rtl/streams.h"
#include "support/bitmap_bytes.h"
#include "support/mini_tiff.h"
#include "support/peer_fixture.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::RunCommand;

Bytes StreamBytes(TMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.GetMemory());
  return Bytes(p, p + S.GetSize());
}

// A page of the given format with edges, gradients and noise.
std::unique_ptr<TIEBitmap> MakeBitmap(TIEPixelFormat F, int32_t W, int32_t H, uint32_t Seed) {
  auto b = std::make_unique<TIEBitmap>(W, H, F);
  std::mt19937 rng(Seed);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b->GetScanline(y);
    const int64_t n = b->GetRowLen();
    for (int64_t i = 0; i < n; ++i) {
      uint8_t v = uint8_t(i * 5 + y * 3);
      if (((i / 7) + (y / 4)) % 3 == 0) v = uint8_t(rng());
      if (F == ie1g) v = ((i + y / 8) % 5 == 0) ? uint8_t(rng()) : (y % 11 < 6 ? 0xFF : 0x0F);
      r[i] = v;
    }
  }
  if (F == ie8p)
    for (int i = 0; i < 256; ++i) b->SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
  return b;
}

Bytes Canonical(TIEBitmap* B) { return testsupport::CanonicalPixels(B); }

// libtiff's plain samples of a page in the same canonical form.
Bytes Expected(const minitiff::Page& P) {
  Bytes raw;
  for (const auto& s : P.Strips) raw.insert(raw.end(), s.begin(), s.end());
  const size_t rb = P.RowBytes();
  raw.resize(rb * P.Height);
  Bytes out;
  for (uint32_t y = 0; y < P.Height; ++y) {
    const uint8_t* r = raw.data() + y * rb;
    if (P.BitsPerSample == 1) {
      for (size_t i = 0; i < rb; ++i) out.push_back(P.Photometric == 0 ? uint8_t(~r[i]) : r[i]);
      if (P.Width & 7) out.back() &= uint8_t(0xFF00 >> (P.Width & 7));
    } else if (P.SamplesPerPixel == 1) {
      out.insert(out.end(), r, r + rb);
    } else {
      for (size_t i = 0; i < P.Width; ++i) {
        const uint8_t* p = r + i * P.SamplesPerPixel;
        out.push_back(p[2]);
        out.push_back(p[1]);
        out.push_back(p[0]);
      }
    }
  }
  return out;
}

int32_t Write(TStream& S, bool Append, TIEBitmap* B, TIOParamsVals& P, std::atomic<bool>* Aborting) {
  TIEProgressRec progress;
  progress.Aborting = Aborting;
  return TiffWriteStream(&S, Append, B, P, progress);
}

struct Read {
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  TIOParamsVals Params;
  int32_t Pages = 0;
  std::atomic<bool> Aborting{false};
};

std::unique_ptr<Read> ReadPage(const Bytes& File, int32_t Page) {
  auto r = std::make_unique<Read>();
  TMemoryStream s;
  s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  r->Params.TiffPageIndex = Page;
  r->Params.NativePixelFormat = true;
  TIEProgressRec progress;
  progress.Aborting = &r->Aborting;
  std::unique_ptr<TIEMask> mask;
  TTiffReadOptions options;
  options.RelativeOffsets = false;
  options.IgnoreAlpha = true;
  TiffReadStream(r->Bitmap.get(), &s, r->Pages, &r->Params, progress, mask, options);
  return r;
}

using TiffWriterPeers = testsupport::PeerToolTest;

TEST_F(TiffWriterPeers, EveryCompressionReadsInLibtiffAsWritten) {
  if (!testsupport::HaveTool("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  struct Kind {
    const char* Name;
    TIEPixelFormat Format;
    int32_t Bits, Samples;
    std::vector<TIETIFFCompression> Compressions;
  } kinds[] = {
      {"bilevel", ie1g, 1, 1,
       {ietcNone, ietcHuffman, ietcG3Fax1D, ietcG3Fax2D, ietcG4Fax, ietcLZW, ietcPackBits, ietcZIP, ietcDeflate}},
      {"gray", ie8g, 8, 1, {ietcNone, ietcLZW, ietcPackBits, ietcZIP}},
      {"rgb", ie24RGB, 8, 3, {ietcNone, ietcLZW, ietcPackBits, ietcZIP}},
  };
  for (const Kind& k : kinds) {
    for (int32_t width : {1, 203, 1728}) {
      auto src = MakeBitmap(k.Format, width, 57, uint32_t(width));
      for (TIETIFFCompression c : k.Compressions) {
        for (int32_t fill : {1, 2}) {
          if (fill == 2 && k.Format != ie1g) continue;
          const std::string what = std::string(k.Name) + " width " + std::to_string(width) + " compression " +
                                   std::to_string(int(c)) + " fill " + std::to_string(fill);
          TIOParamsVals p;
          p.BitsPerSample = k.Bits;
          p.SamplesPerPixel = k.Samples;
          p.TiffCompression = c;
          p.TiffFillOrder = fill;
          TMemoryStream s;
          std::atomic<bool> aborting{false};
          EXPECT_EQ(Write(s, false, src.get(), p, &aborting), 1) << what;
          ASSERT_FALSE(aborting) << what;
          const Bytes file = StreamBytes(s);
          testsupport::WriteFileBytes(File("ours.tif"), file);
          Run("tiffcp -s -L -p contig -c none -f msb2lsb " + File("ours.tif") + " " + File("plain.tif"));
          const auto pages = minitiff::ReadTiff(testsupport::ReadFileBytes(File("plain.tif")));
          ASSERT_EQ(pages.size(), 1u) << what;
          EXPECT_EQ(Expected(pages[0]), Canonical(src.get())) << what;
          // And here.
          auto back = ReadPage(file, 0);
          EXPECT_FALSE(back->Aborting) << what;
          EXPECT_EQ(Canonical(back->Bitmap.get()), Canonical(src.get())) << what;
          EXPECT_EQ(back->Params.TiffCompression, c == ietcDeflate ? ietcZIP : c) << what;
        }
      }
    }
  }
}

TEST_F(TiffWriterPeers, PalettePagesShowTheirColoursInImageMagick) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  // A colour picture of 12 colours, written with 4 and 8 bits per index.
  auto src = std::make_unique<TIEBitmap>(37, 9, ie24RGB);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 37; ++x) {
      const int32_t c = (x / 3 + y) % 12;
      src->SetPixel24(x, y, TRGB{uint8_t(c * 20), uint8_t(255 - c * 7), uint8_t(c & 1 ? 200 : 30)});
    }
  for (int32_t bits : {4, 8}) {
    for (TIETIFFCompression c : {ietcNone, ietcLZW, ietcPackBits}) {
      TIOParamsVals p;
      p.BitsPerSample = bits;
      p.SamplesPerPixel = 1;
      p.TiffCompression = c;
      TMemoryStream s;
      std::atomic<bool> aborting{false};
      ASSERT_EQ(Write(s, false, src.get(), p, &aborting), 1);
      testsupport::WriteFileBytes(File("pal.tif"), StreamBytes(s));
      Run("convert " + File("pal.tif") + " -depth 8 rgb:" + File("pal.rgb"));
      const Bytes rgb = testsupport::ReadFileBytes(File("pal.rgb"));
      ASSERT_EQ(rgb.size(), size_t(37 * 9 * 3));
      Bytes want;
      for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x) {
          const TRGB px = src->GetPixel24(x, y);
          want.insert(want.end(), {px.r, px.g, px.b});
        }
      EXPECT_EQ(rgb, want) << bits << " bits, compression " << int(c);
    }
  }
}

TEST_F(TiffWriterPeers, FaxPagesCompareEqualInTiffcmp) {
  if (!testsupport::HaveTool("tiffcmp") || !testsupport::HaveTool("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  auto src = MakeBitmap(ie1g, 1728, 300, 3);
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.TiffCompression = ietcNone;
  TMemoryStream plain;
  std::atomic<bool> aborting{false};
  Write(plain, false, src.get(), p, &aborting);
  testsupport::WriteFileBytes(File("plain.tif"), StreamBytes(plain));
  // Photometric 0 like the fax pages, as libtiff's own copy.
  Run("tiffcp -c g4 " + File("plain.tif") + " " + File("ref.tif"));
  for (TIETIFFCompression c : {ietcHuffman, ietcG3Fax1D, ietcG3Fax2D, ietcG4Fax}) {
    p.TiffCompression = c;
    TMemoryStream s;
    Write(s, false, src.get(), p, &aborting);
    testsupport::WriteFileBytes(File("ours.tif"), StreamBytes(s));
    Run("tiffcp -c none " + File("ours.tif") + " " + File("ours-plain.tif"));
    Run("tiffcp -c none " + File("ref.tif") + " " + File("ref-plain.tif"));
    EXPECT_EQ(RunCommand("tiffcmp " + File("ours-plain.tif") + " " + File("ref-plain.tif") + " >/dev/null 2>&1"), 0)
        << int(c);
  }
  EXPECT_FALSE(aborting);
}

TEST_F(TiffWriterPeers, JpegPagesReadInLibtiffCloseToTheImage) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  struct Case { const char* Name; TIEPixelFormat Format; uint8_t Space; } cases[] = {
      {"YCbCr", ie24RGB, ioJPEG_YCbCr}, {"RGB", ie24RGB, ioJPEG_RGB}, {"gray", ie8g, ioJPEG_GRAYLEV}};
  for (const Case& c : cases) {
    // A smooth picture: JPEG keeps it close.
    auto src = std::make_unique<TIEBitmap>(150, 70, c.Format);
    for (int32_t y = 0; y < 70; ++y) {
      uint8_t* r = src->GetScanline(y);
      for (int64_t i = 0; i < src->GetRowLen(); ++i) r[i] = uint8_t((i * 2 + y * 3) % 256 / 2 + 40);
    }
    TIOParamsVals p;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = c.Format == ie8g ? 1 : 3;
    p.TiffCompression = ietcJPEG;
    p.TiffJpegColorSpace = c.Space;
    p.TiffJpegQuality = 95;
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    ASSERT_EQ(Write(s, false, src.get(), p, &aborting), 1) << c.Name;
    ASSERT_FALSE(aborting) << c.Name;
    testsupport::WriteFileBytes(File("ours.tif"), StreamBytes(s));
    Run("convert " + File("ours.tif") + " -depth 8 gray:" + File("ref.gray"));
    const Bytes ref = testsupport::ReadFileBytes(File("ref.gray"));
    ASSERT_EQ(ref.size(), size_t(150 * 70)) << c.Name;
    double diff = 0;
    for (int32_t y = 0; y < 70; ++y)
      for (int32_t x = 0; x < 150; ++x) {
        const TRGB px = src->GetPixelRGB(x, y);
        diff += std::abs(int(ref[size_t(y) * 150 + x]) - (c.Format == ie8g ? px.r : (px.r * 21 + px.g * 72 + px.b * 7) / 100));
      }
    EXPECT_LT(diff / (150 * 70), 3.0) << c.Name;
    auto back = ReadPage(StreamBytes(s), 0);
    EXPECT_FALSE(back->Aborting) << c.Name;
    EXPECT_EQ(back->Params.TiffCompression, ietcJPEG) << c.Name;
  }
}

// CMYK JPEG pages: the writer inverts the ink bytes once and the reader
// undoes it once, so colours come back where they were, here and in
// ImageMagick (no double inversion on either side).
TEST_F(TiffWriterPeers, CmykJpegPagesRoundTrip) {
  const int32_t W = 96, H = 40;
  auto src = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      // Four flat colour bands, so JPEG keeps each one close.
      static const TRGB bands[4] = {{200, 40, 30}, {30, 180, 60}, {40, 60, 200}, {230, 230, 230}};
      src->SetPixel24(x, y, bands[x * 4 / W]);
    }
  for (const TIEPixelFormat Format : {ie24RGB, ieCMYK}) {
    TIOParamsVals p;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 4;
    p.TiffCompression = ietcJPEG;
    p.TiffJpegColorSpace = ioJPEG_CMYK;
    p.TiffJpegQuality = 95;
    TIEBitmap page;
    page.Assign(src.get());
    if (Format == ieCMYK) page.ConvertToPixelFormat(ieCMYK);
    ASSERT_EQ(page.GetPixelFormat(), Format);
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    ASSERT_EQ(Write(s, false, &page, p, &aborting), 1);
    ASSERT_FALSE(aborting);
    auto back = ReadPage(StreamBytes(s), 0);
    ASSERT_FALSE(back->Aborting);
    ASSERT_EQ(back->Bitmap->GetWidth(), W);
    auto near = [](const TRGB& a, const TRGB& b) {
      return std::abs(a.r - b.r) <= 24 && std::abs(a.g - b.g) <= 24 && std::abs(a.b - b.b) <= 24;
    };
    for (int32_t x = 6; x < W; x += W / 4) {
      const TRGB want = src->GetPixelRGB(x, H / 2);
      const TRGB got = back->Bitmap->GetPixelRGB(x, H / 2);
      EXPECT_TRUE(near(got, want)) << "format " << int(Format) << ", ours, column " << x << ": " << int(got.r) << "," << int(got.g) << ","
                                   << int(got.b);
    }
    if (!testsupport::HaveTool("convert")) continue;
    testsupport::WriteFileBytes(File("cmyk.tif"), StreamBytes(s));
    Run("convert " + File("cmyk.tif") + " -colorspace sRGB -depth 8 rgb:" + File("ref.rgb"));
    const Bytes ref = testsupport::ReadFileBytes(File("ref.rgb"));
    ASSERT_EQ(ref.size(), size_t(W * H * 3));
    for (int32_t x = 6; x < W; x += W / 4) {
      const TRGB want = src->GetPixelRGB(x, H / 2);
      const uint8_t* q = ref.data() + (size_t(H / 2) * W + x) * 3;
      const TRGB got{q[2], q[1], q[0]};
      EXPECT_TRUE(near(got, want)) << "ImageMagick, column " << x << ": " << int(q[0]) << "," << int(q[1]) << ","
                                   << int(q[2]);
    }
  }
}

TEST_F(TiffWriterPeers, ExifDataTravelsWithThePage) {
  auto page = MakeBitmap(ie24RGB, 40, 30, 4);
  TIOParamsVals p;
  p.ExifPresent = true;
  p.ExifMake = "Folicam";
  p.ExifModel = "FX-1";
  p.SetExifExposureTime(1.0 / 60);
  p.SetExifXResolution(300);
  p.SetExifYResolution(300);
  p.GpsVersionID = "2.2.0.0";
  p.GpsLatitudeRef = "N";
  p.TiffCompression = ietcLZW;
  TMemoryStream s;
  std::atomic<bool> aborting{false};
  ASSERT_EQ(Write(s, false, page.get(), p, &aborting), 1);
  const Bytes file = StreamBytes(s);
  auto r = ReadPage(file, 0);
  ASSERT_FALSE(r->Aborting);
  EXPECT_TRUE(r->Params.ExifPresent);
  EXPECT_EQ(r->Params.ExifMake, "Folicam");
  EXPECT_EQ(r->Params.ExifModel, "FX-1");
  EXPECT_NEAR(r->Params.ExifExposureTime, 1.0 / 60, 1e-9);
  EXPECT_EQ(r->Params.GpsLatitudeRef, "N");
  EXPECT_EQ(r->Params.DpiX, 300);
  EXPECT_EQ(Canonical(r->Bitmap.get()), Canonical(page.get()));
  if (!testsupport::HaveTool("tiffinfo")) return;
  testsupport::WriteFileBytes(File("exif.tif"), file);
  std::string out;
  EXPECT_EQ(RunCommand("tiffinfo " + File("exif.tif") + " 2>&1", &out), 0);
  EXPECT_NE(out.find("Folicam"), std::string::npos) << out;
  EXPECT_EQ(out.find("rror"), std::string::npos) << out;
}

TEST(TiffWriter, ExifIsInjectedIntoOnePageOfAFile) {
  auto a = MakeBitmap(ie8g, 20, 10, 1), b = MakeBitmap(ie8g, 30, 12, 2);
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  p.TiffCompression = ietcLZW;
  TMemoryStream s;
  std::atomic<bool> aborting{false};
  Write(s, false, a.get(), p, &aborting);
  p.TiffPageIndex = 1;
  s.SetPosition(0);
  Write(s, true, b.get(), p, &aborting);
  ASSERT_FALSE(aborting);
  TIOParamsVals exif;
  exif.ExifMake = "Injected";
  exif.SetExifFNumber(2.8);
  s.SetPosition(0);
  EXPECT_TRUE(TiffInjectExif(&s, &s, "", &exif, 1, ""));
  const Bytes file = StreamBytes(s);
  auto first = ReadPage(file, 0), second = ReadPage(file, 1);
  EXPECT_EQ(first->Params.ExifMake, "");
  EXPECT_EQ(second->Params.ExifMake, "Injected");
  EXPECT_NEAR(second->Params.ExifFNumber, 2.8, 1e-6);
  EXPECT_TRUE(second->Params.ExifPresent);
  EXPECT_EQ(Canonical(first->Bitmap.get()), Canonical(a.get()));
  EXPECT_EQ(Canonical(second->Bitmap.get()), Canonical(b.get()));
}

TEST(TiffWriter, PagesAreInsertedAndAppended) {
  TMemoryStream s;
  std::atomic<bool> aborting{false};
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  p.TiffCompression = ietcLZW;
  auto page = [](uint8_t V) {
    auto b = std::make_unique<TIEBitmap>(5, 3, ie8g);
    b->Fill(V);
    return b;
  };
  EXPECT_EQ(Write(s, false, page(10).get(), p, &aborting), 1);
  for (int32_t i = 1; i < 3; ++i) {
    p.TiffPageIndex = i;
    s.SetPosition(0);
    EXPECT_EQ(Write(s, true, page(uint8_t(10 + i)).get(), p, &aborting), i + 1);
  }
  p.TiffPageIndex = 0;  // a new first page
  s.SetPosition(0);
  EXPECT_EQ(Write(s, true, page(9).get(), p, &aborting), 4);
  p.TiffPageIndex = 2;  // between the second and the third
  s.SetPosition(0);
  EXPECT_EQ(Write(s, true, page(99).get(), p, &aborting), 5);
  ASSERT_FALSE(aborting);
  const Bytes file = StreamBytes(s);
  const uint8_t want[] = {9, 10, 99, 11, 12};
  for (int32_t i = 0; i < 5; ++i) {
    auto r = ReadPage(file, i);
    EXPECT_EQ(r->Pages, 5);
    EXPECT_EQ(r->Bitmap->GetScanline(2)[4], want[i]) << i;
  }
  // A big-endian file is not extended.
  Bytes mm = {'M', 'M', 0, 42, 0, 0, 0, 0};
  TMemoryStream big;
  big.WriteBuffer(mm.data(), 8);
  big.SetPosition(0);
  EXPECT_EQ(Write(big, true, page(1).get(), p, &aborting), 0);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(big.GetSize(), 8);
}

// A memory stream that takes only Limit bytes in all.
class TFullStream : public TMemoryStream {
 public:
  explicit TFullStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t room = std::max<int64_t>(0, FLimit - GetPosition());
    return TMemoryStream::Write(Buffer, std::min(Count, room));
  }

 private:
  int64_t FLimit;
};

TEST(TiffWriter, FailedOrAbortedPagesLeaveTheFileAsItWas) {
  auto page = MakeBitmap(ie1g, 300, 200, 5);
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  for (TIETIFFCompression c : {ietcNone, ietcG4Fax, ietcLZW, ietcPackBits, ietcZIP}) {
    p.TiffCompression = c;
    // Aborted from the progress event half-way.
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    ASSERT_EQ(Write(s, false, page.get(), p, &aborting), 1);
    const Bytes before = StreamBytes(s);
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    progress.fOnProgress = [&](TObject*, int32_t Per) {
      if (Per >= 50) aborting = true;
    };
    p.TiffPageIndex = 1;
    s.SetPosition(0);
    EXPECT_EQ(TiffWriteStream(&s, true, page.get(), p, progress), 0) << int(c);
    const Bytes after = StreamBytes(s);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin())) << int(c);  // the chain is untouched
    auto r = ReadPage(after, 0);
    EXPECT_EQ(r->Pages, 1) << int(c);
    // A stream that fills up.
    for (int64_t limit : {int64_t(4), int64_t(40), int64_t(before.size() / 2), int64_t(before.size() - 3)}) {
      TFullStream full(limit);
      std::atomic<bool> failed{false};
      p.TiffPageIndex = 0;
      EXPECT_EQ(Write(full, false, page.get(), p, &failed), 0) << int(c) << " limit " << limit;
      EXPECT_TRUE(failed) << int(c) << " limit " << limit;
    }
  }
}

TEST(TiffWriter, StripsCoverEveryRow) {
  struct Case { int32_t Height; int64_t RowLength; int32_t Rows, Strips; } cases[] = {
      {9921, 21048, 24, 414},  // 7016 x 9921 24-bit
      {3508, 7440, 71, 50},    // 2480 x 3508 24-bit
      {2200, 216, 2200, 1},    // a fax page
      {1, 1 << 30, 1, 1},
  };
  for (const Case& c : cases) {
    int32_t rows = 0, strips = 0;
    TiffStripLayout(c.Height, c.RowLength, rows, strips);
    EXPECT_EQ(rows, c.Rows) << c.Height;
    EXPECT_EQ(strips, c.Strips) << c.Height;
    EXPECT_GE(int64_t(rows) * strips, c.Height);
  }
}

TEST(TiffWriter, PackBitsLiteralsStayWithin128Bytes) {
  Bytes row(700);
  std::mt19937 rng(1);
  for (auto& b : row) b = uint8_t(rng());
  for (size_t i = 300; i < 450; ++i) row[i] = 7;  // a run longer than 128
  Bytes coded;
  TiffPackBitsRow(row.data(), int64_t(row.size()), coded);
  Bytes decoded;
  for (size_t at = 0; at < coded.size();) {
    const int8_t n = int8_t(coded[at++]);
    ASSERT_NE(n, -128);
    if (n >= 0) {
      decoded.insert(decoded.end(), coded.begin() + long(at), coded.begin() + long(at) + n + 1);
      at += size_t(n) + 1;
    } else {
      decoded.insert(decoded.end(), size_t(1 - n), coded[at++]);
    }
  }
  EXPECT_EQ(decoded, row);
}

TEST(TiffWriter, TagsDescribeTheSamplesWritten) {
  // Palette page of 4 bits: 16 colour-map entries per channel; straight
  // alpha as unassociated; photometric always present.
  auto check = [](TIEBitmap* B, TIOParamsVals& P, int32_t Samples, int32_t Photometric, int32_t MapCount,
                  int32_t Extra) {
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    ASSERT_EQ(Write(s, false, B, P, &aborting), 1);
    const Bytes file = StreamBytes(s);
    TMemoryStream in;
    in.WriteBuffer(file.data(), int64_t(file.size()));
    TiffDirectory d;
    d.Bind(&in, true, 0);
    int32_t count = 0;
    ASSERT_TRUE(TiffReadIfd(0, int64_t(file[4] | (file[5] << 8) | (file[6] << 16)), d, count));
    EXPECT_EQ(d.GetInteger(277, -1), Samples);
    EXPECT_EQ(d.GetInteger(262, -1), Photometric);
    std::vector<uint32_t> bits;
    EXPECT_EQ(d.ReadArray(258, bits), Samples);
    std::vector<uint32_t> map;
    EXPECT_EQ(d.ReadArray(320, map), MapCount);
    EXPECT_EQ(d.GetInteger(338, 0), Extra);
  };
  TIOParamsVals p;
  auto pal = std::make_unique<TIEBitmap>(9, 4, ie24RGB);
  for (int32_t x = 0; x < 9; ++x) pal->SetPixel24(x, 1, TRGB{uint8_t(x * 20), 0, uint8_t(200 - x)});
  p.BitsPerSample = 4;
  p.SamplesPerPixel = 1;
  check(pal.get(), p, 1, 3, 48, 0);
  auto rgba = MakeBitmap(ie24RGB, 6, 4, 2);
  rgba->SetAlpha(1, 1, 10);
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
  p.TiffCompression = ietcLZW;
  check(rgba.get(), p, 4, 2, 0, 2);
  auto bw = MakeBitmap(ie1g, 30, 4, 3);
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.TiffCompression = ietcG4Fax;
  check(bw.get(), p, 1, 0, 0, 0);
  p.TiffCompression = ietcLZW;
  check(bw.get(), p, 1, 1, 0, 0);
}

TEST(TiffWriter, CompressionsThePixelsCannotTakeFallBackVisibly) {
  // A fax compression on a colour page and JPEG on a black-and-white page
  // are stored uncompressed, and the parameters say so; a 16-bit gray page
  // keeps its 16 bits.
  struct Case {
    const char* What;
    TIEPixelFormat Format;
    int32_t Bits, Samples;
    TIETIFFCompression Asked, Written;
    int32_t WrittenBits, Tag;
  } cases[] = {
      {"G4 on colour", ie24RGB, 8, 3, ietcG4Fax, ietcNone, 8, 1},
      {"G3 on colour", ie24RGB, 8, 3, ietcG3Fax2D, ietcNone, 8, 1},
      {"JPEG on 1-bit", ie1g, 1, 1, ietcJPEG, ietcNone, 1, 1},
      {"16-bit gray", ie16g, 8, 3, ietcLZW, ietcLZW, 16, 5},
      {"16-bit gray, no compression", ie16g, 16, 1, ietcNone, ietcNone, 16, 1},
  };
  for (const Case& c : cases) {
    auto page = MakeBitmap(c.Format, 40, 12, 9);
    TIOParamsVals p;
    p.BitsPerSample = c.Bits;
    p.SamplesPerPixel = c.Samples;
    p.TiffCompression = c.Asked;
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    ASSERT_EQ(Write(s, false, page.get(), p, &aborting), 1) << c.What;
    EXPECT_EQ(p.TiffCompression, c.Written) << c.What;
    EXPECT_EQ(p.BitsPerSample, c.WrittenBits) << c.What;
    const Bytes file = StreamBytes(s);
    const std::vector<minitiff::Page> pages = minitiff::ReadTiff(file);
    ASSERT_EQ(pages.size(), 1u) << c.What;
    EXPECT_EQ(pages[0].Compression, uint32_t(c.Tag)) << c.What;
    EXPECT_EQ(pages[0].BitsPerSample, uint32_t(c.WrittenBits)) << c.What;
    auto back = ReadPage(file, 0);
    ASSERT_FALSE(back->Aborting) << c.What;
    EXPECT_EQ(Canonical(back->Bitmap.get()), Canonical(page.get())) << c.What;
  }
}

TEST(TiffWriter, AppendingAfterTheLastPageNeedsNoWalkOfTheChain) {
  // Pages appended with the writer's end point land in order; a page
  // inserted before others walks the chain and leaves the end unknown.
  TMemoryStream s;
  TTiffAppendPoint end;
  std::vector<std::unique_ptr<TIEBitmap>> pages;
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  auto add = [&](int32_t Index, int32_t Width) {
    pages.push_back(MakeBitmap(ie1g, Width, 10, uint32_t(Width)));
    TIOParamsVals p;
    p.BitsPerSample = 1;
    p.SamplesPerPixel = 1;
    p.TiffCompression = ietcG4Fax;
    p.TiffPageIndex = Index;
    s.SetPosition(0);
    TTiffWriteRequest r;
    r.Stream = &s;
    r.Append = Index > 0;
    r.Bitmap = pages.back().get();
    r.Params = &p;
    r.Progress = &progress;
    r.AppendPoint = &end;
    return TiffWritePage(r);
  };
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(add(i, 20 + i), i + 1);
  EXPECT_TRUE(end.Known);
  EXPECT_EQ(add(1, 60), 5);  // inserted as the second page
  EXPECT_FALSE(end.Known);
  EXPECT_EQ(add(5, 61), 6);  // the end found by walking again
  const Bytes file = StreamBytes(s);
  const int32_t want[] = {20, 60, 21, 22, 23, 61};
  for (int32_t i = 0; i < 6; ++i) {
    auto r = ReadPage(file, i);
    EXPECT_EQ(r->Pages, 6);
    EXPECT_EQ(r->Bitmap->GetWidth(), want[i]) << i;
  }
}

TEST(TiffReaderParams, AFaxPageFillsTheParameterSet) {
  auto bw = MakeBitmap(ie1g, 64, 20, 3);
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.TiffCompression = ietcG3Fax2D;
  p.SetDpiX(204);
  p.SetDpiY(98);
  p.TiffPageName = "first page";
  TMemoryStream s;
  std::atomic<bool> aborting{false};
  Write(s, false, bw.get(), p, &aborting);
  p.TiffPageIndex = 0;
  s.SetPosition(0);
  Write(s, true, bw.get(), p, &aborting);
  auto r = ReadPage(StreamBytes(s), 1);
  EXPECT_FALSE(r->Aborting);
  EXPECT_EQ(r->Pages, 2);
  EXPECT_EQ(r->Params.ImageCount, 2);
  EXPECT_EQ(r->Params.DpiX, 204);
  EXPECT_EQ(r->Params.DpiY, 98);
  EXPECT_EQ(r->Params.TiffCompression, ietcG3Fax2D);
  EXPECT_EQ(r->Params.TiffPhotometric, ietpWhiteIsZero);
  EXPECT_EQ(r->Params.TiffPageName, "first page");
  EXPECT_EQ(r->Params.Width, 64);
  EXPECT_EQ(r->Params.BitsPerSample, 1);
  EXPECT_EQ(Canonical(r->Bitmap.get()), Canonical(bw.get()));
}

TEST(TiffReaderParams, OrientationIsAppliedOnRequest) {
  minitiff::Page page;
  page.Width = 3;
  page.Height = 2;
  page.BitsPerSample = 8;
  page.Photometric = 1;
  page.Predictor = 2;  // an entry to turn into Orientation below
  page.Strips = {{1, 2, 3, 4, 5, 6}};
  Bytes f = minitiff::WriteTiff({page});
  const uint32_t ifd = f[4] | (f[5] << 8) | (f[6] << 16);
  const uint32_t n = f[ifd] | (f[ifd + 1] << 8);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + i * 12;
    if ((f[e] | (f[e + 1] << 8)) == 317) f[e] = 274 & 0xFF, f[e + 1] = 274 >> 8, f[e + 8] = 6;  // turn 90 degrees clockwise
  }
  for (bool apply : {false, true}) {
    TMemoryStream s;
    s.WriteBuffer(f.data(), int64_t(f.size()));
    s.SetPosition(0);
    TIOParamsVals p;
    p.NativePixelFormat = true;
    p.TiffApplyOrientation = apply;
    TIEBitmap b;
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TIEMask> mask;
    int32_t pages = 0;
    TTiffReadOptions options;
    options.RelativeOffsets = false;
    options.IgnoreAlpha = true;
    TiffReadStream(&b, &s, pages, &p, progress, mask, options);
    ASSERT_FALSE(aborting);
    if (!apply) {
      EXPECT_EQ(p.TiffOrientation, 6);
      EXPECT_EQ(b.GetWidth(), 3);
    } else {
      EXPECT_EQ(p.TiffOrientation, 1);
      ASSERT_EQ(b.GetWidth(), 2);
      ASSERT_EQ(b.GetHeight(), 3);
      // Rows 1 2 3 / 4 5 6 turned clockwise: 4 1 / 5 2 / 6 3.
      EXPECT_EQ(b.GetScanline(0)[0], 4);
      EXPECT_EQ(b.GetScanline(0)[1], 1);
      EXPECT_EQ(b.GetScanline(2)[1], 3);
    }
  }
}

}  // namespace
