// The Photoshop, JPEG 2000, DICOM, camera raw, raw sample, HD Photo and
// metafile rows reach the single-image component: a file of each format
// loads through LoadFromFile (or LoadFromFileFormat where the format has no
// extension) with the format's id, its size and, where the coding is
// lossless, its pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/codec_table.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "platform/rtl/streams.h"
#include "support/dicom_data_set.h"
#include "support/dng_builder.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

#ifdef FOLIVRA_HAVE_OPENJP2
constexpr bool kJ2k = true;
#else
constexpr bool kJ2k = false;
#endif
#ifdef FOLIVRA_HAVE_JXR
constexpr bool kHdPhoto = true;
#else
constexpr bool kHdPhoto = false;
#endif

// A 24-bit picture with a different value in every sample.
std::unique_ptr<TIEBitmap> Picture(int32_t W, int32_t H) {
  auto B = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(B->Allocate(W, H, ie24RGB));
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = B->GetScanline(y);
    for (int32_t i = 0; i < W * 3; ++i) r[i] = uint8_t(i * 7 + y * 31);
  }
  return B;
}

std::vector<uint8_t> Pixels(TIEBitmap& B) {
  std::vector<uint8_t> v;
  const int32_t n = B.GetWidth() * B.GetBitCount() / 8;
  for (int32_t y = 0; y < B.GetHeight(); ++y) v.insert(v.end(), B.GetScanline(y), B.GetScanline(y) + n);
  return v;
}

void WriteFile(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  TFileStream f(Name, fmCreate);
  f.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
}

// Loads Name into a fresh component; the result is the component's image.
struct TLoaded {
  TIEBitmap Bitmap;
  TFolioIO IO;
  TLoaded() { IO.AttachBitmap(&Bitmap); }
};

TEST(CodecRows, SavedFilesLoadBackThroughTheirRows) {
  struct Case {
    const char* Ext;
    TIEFileFormat Format;
    bool Built;
  } cases[] = {
      {".psd", ioPSD, true}, {".jp2", ioJP2, kJ2k}, {".j2k", ioJ2K, kJ2k}, {".hdp", ioHDP, kHdPhoto}};
  TempDir dir;
  auto source = Picture(19, 11);
  for (const Case& c : cases) {
    // A codec over a library this build lacks has no row at all.
    ASSERT_EQ(IEFindCodec(c.Format) != nullptr, c.Built) << c.Ext;
    if (!c.Built) continue;
    const std::string name = dir.file(std::string("p") + c.Ext);
    TFolioIO writer;
    writer.AttachBitmap(source.get());
    writer.GetParams()->J2kRate = 1.0;
    writer.GetParams()->HdpLossless = true;
    writer.SaveToFile(name);
    ASSERT_FALSE(writer.GetAborting()) << c.Ext;

    TLoaded r;
    r.IO.LoadFromFile(name);
    ASSERT_FALSE(r.IO.GetAborting()) << c.Ext;
    EXPECT_EQ(r.IO.GetParams()->FileFormat, c.Format) << c.Ext;
    ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB) << c.Ext;
    EXPECT_EQ(Pixels(r.Bitmap), Pixels(*source)) << c.Ext;
  }
}

TEST(CodecRows, DicomFramesAndPageCount) {
  TempDir dir;
  TDataSet d;
  d.syntax("1.2.840.10008.1.2.1");
  d.image(3, 2, 8, 8, "MONOCHROME2", 2);
  // Frame 0 a ramp, frame 1 its reverse; no window, so each frame stretches.
  d.el(0x7FE0, 0x0010, "OB", {0, 50, 100, 150, 200, 250, 250, 200, 150, 100, 50, 0});
  const std::string name = dir.file("f.dcm");
  WriteFile(name, d.D);

  EXPECT_EQ(IEFileImageCount(name, ioDICOM), 2);
  TLoaded r;
  r.IO.GetParams()->ImageIndex = 1;
  r.IO.LoadFromFile(name);
  ASSERT_FALSE(r.IO.GetAborting());
  EXPECT_EQ(r.IO.GetParams()->FileFormat, ioDICOM);
  EXPECT_EQ(r.IO.GetParams()->ImageCount, 2);
  ASSERT_EQ(r.Bitmap.GetWidth(), 3);
  ASSERT_EQ(r.Bitmap.GetHeight(), 2);
  EXPECT_GT(r.Bitmap.GetScanline(0)[0], r.Bitmap.GetScanline(1)[2]) << "the second frame was read";
}

TEST(CodecRows, CameraRawLoadsThroughItsExtension) {
  if (!IEFindCodec(ioRAW)) GTEST_SKIP() << "camera raw library missing";
  TempDir dir;
  const std::string name = dir.file("c.nef");
  WriteFile(name, MakeDng(64, 48));
  TLoaded r;
  r.IO.LoadFromFile(name);
  ASSERT_FALSE(r.IO.GetAborting());
  EXPECT_EQ(r.IO.GetParams()->FileFormat, ioRAW);
  EXPECT_GT(r.Bitmap.GetWidth(), 0);
  EXPECT_GT(r.Bitmap.GetHeight(), 0);
}

TEST(CodecRows, RawSamplesFillTheImageTheCallerSized) {
  TempDir dir;
  const std::vector<uint8_t> samples = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::string name = dir.file("s.bin");
  WriteFile(name, samples);
  TLoaded r;
  ASSERT_TRUE(r.Bitmap.Allocate(2, 2, ie24RGB));
  r.IO.GetParams()->RawPixelsRgbOrder = true;
  r.IO.LoadFromFileFormat(name, ioBMPRAW);
  ASSERT_FALSE(r.IO.GetAborting());
  EXPECT_EQ(r.IO.GetParams()->FileFormat, ioBMPRAW);
  EXPECT_EQ(Pixels(r.Bitmap), samples);
}

TEST(CodecRows, MetafileRowsProbeOnly) {
  std::vector<uint8_t> wmf = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> emf(100, 0);
  emf[0] = 1;
  std::memcpy(&emf[40], " EMF", 4);
  struct Case {
    TIEFileFormat Format;
    std::vector<uint8_t>* Yes;
    std::vector<uint8_t>* No;
  } cases[] = {{ioWMF, &wmf, &emf}, {ioEMF, &emf, &wmf}};
  for (const Case& c : cases) {
    const TIECodec* row = IEFindCodec(c.Format);
    ASSERT_TRUE(row && row->Probe) << int(c.Format);
    EXPECT_FALSE(row->Read);
    EXPECT_FALSE(row->Write);
    TMemoryStream yes, no;
    yes.WriteBuffer(c.Yes->data(), int64_t(c.Yes->size()));
    no.WriteBuffer(c.No->data(), int64_t(c.No->size()));
    yes.SetPosition(0);
    no.SetPosition(0);
    EXPECT_TRUE(row->Probe(&yes));
    EXPECT_EQ(yes.GetPosition(), 0);
    EXPECT_FALSE(row->Probe(&no));
  }
}

}  // namespace
