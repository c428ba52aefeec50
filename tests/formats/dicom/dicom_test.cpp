// DICOM: dcmtk makes the files (img2dcm, dump2dcm, dcmconv, dcmcrle,
// dcmcjpeg) and decodes the reference (dcm2pnm); hand-built data sets pin the
// element walk, the transfer syntaxes without a decoder, the window, the
// palettes, packed 12-bit frames and damaged input.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "formats/dicom/dicom_dictionary.h"
#include "formats/dicom/dicom_reader.h"
#include "formats/dicom/lossless_jpeg.h"
#include "formats/jpeg2000/jpeg2000_codec.h"
#include "foundations/image_buffer.h"
#include "foundations/xmp_dicom_tags.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/dicom_data_set.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

struct TRead {
  std::atomic<bool> Aborted{false};
  TIEBitmap Bitmap;
  TIOParamsVals Params;
};

std::unique_ptr<TRead> ReadBytes(const std::vector<uint8_t>& Bytes, int32_t Frame = 0) {
  auto r = std::make_unique<TRead>();
  TMemoryStream ms;
  if (!Bytes.empty()) ms.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
  ms.SetPosition(0);
  TIEProgressRec p;
  p.Aborting = &r->Aborted;
  r->Params.ImageIndex = Frame;
  DicomReadStream(&ms, r->Params, &r->Bitmap, p, false);
  return r;
}


std::vector<uint8_t> Bytes16(const std::vector<uint16_t>& V) {
  std::vector<uint8_t> b;
  for (uint16_t v : V) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
  return b;
}

std::vector<uint8_t> Plane(TIEBitmap& B) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y)
    for (int32_t x = 0; x < B.GetWidth(); ++x) v.push_back(B.GetScanline(y)[x]);
  return v;
}
std::vector<uint16_t> Plane16(TIEBitmap& B) {
  std::vector<uint16_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y)
    for (int32_t x = 0; x < B.GetWidth(); ++x) {
      uint16_t s;
      std::memcpy(&s, B.GetScanline(y) + 2 * x, 2);
      v.push_back(s);
    }
  return v;
}
std::vector<uint8_t> Rgb(TIEBitmap& B) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y)
    for (int32_t x = 0; x < B.GetWidth(); ++x) {
      const uint8_t* p = B.GetScanline(y) + 3 * x;
      v.insert(v.end(), {p[2], p[1], p[0]});
    }
  return v;
}

std::vector<uint16_t> AsciiPgm(const std::string& File) {
  std::ifstream in(File);
  std::string magic;
  int w = 0, h = 0, maxv = 0;
  in >> magic >> w >> h >> maxv;
  std::vector<uint16_t> v;
  int s;
  while (in >> s) v.push_back(uint16_t(s));
  return v;
}

bool HaveDcmtk() { return HaveTool("img2dcm") && HaveTool("dcm2pnm") && HaveTool("dump2dcm"); }

}  // namespace

// Elements across the groups, retired ones, repeating groups (curves 50xx,
// overlays 60xx, variable pixel data 7Fxx), element ranges and group
// lengths; private groups and tags outside the registry answer "xs".
TEST(DicomDictionary, AnswersTheRepresentationOfEveryKindOfElement) {
  struct TCase {
    uint16_t Group, Element;
    const char* VR;
  };
  const TCase cases[] = {
      // Elements the reader interprets.
      {0x0002, 0x0010, "UI"}, {0x0028, 0x0010, "US"}, {0x0028, 0x1053, "DS"}, {0x0028, 0x1201, "OW"},
      {0x0028, 0x0008, "IS"}, {0x0028, 0x0004, "CS"},
      // File meta, directory records and elements across the registry.
      {0x0002, 0x0000, "UL"}, {0x0002, 0x0001, "OB"}, {0x0002, 0x0102, "OB"}, {0x0004, 0x1220, "SQ"},
      {0x0004, 0x1430, "CS"}, {0x0008, 0x0005, "CS"}, {0x0010, 0x0010, "PN"}, {0x0018, 0x1242, "IS"},
      {0x0018, 0x9073, "FD"}, {0x0040, 0xA040, "CS"}, {0x0040, 0xA730, "SQ"}, {0x0054, 0x0081, "US"},
      {0x300A, 0x0002, "SH"}, {0x3006, 0x0050, "DS"}, {0x0072, 0x006D, "UN"}, {0x7FE0, 0x0008, "OF"},
      {0xFFFA, 0xFFFA, "SQ"}, {0xFFFC, 0xFFFC, "OB"},
      // Retired elements.
      {0x0008, 0x0001, "UL"}, {0x0018, 0x1800, "CS"}, {0x0028, 0x0040, "CS"},
      // Several representations possible: the file has to tell.
      {0x0028, 0x0106, "xs"}, {0x0028, 0x1101, "xs"}, {0x0028, 0x1200, "xs"}, {0x0028, 0x3006, "xs"},
      {0x7FE0, 0x0010, "xs"},
      // Items and delimiters.
      {0xFFFE, 0xE000, "!!"}, {0xFFFE, 0xE00D, "!!"}, {0xFFFE, 0xE0DD, "!!"},
      // Overlays in any of their groups.
      {0x6000, 0x0010, "US"}, {0x6002, 0x0010, "US"}, {0x6002, 0x0050, "SS"}, {0x6002, 0x0022, "LO"},
      {0x601E, 0x3000, "xs"}, {0x6010, 0x1302, "DS"},
      // Curves, variable pixel data and element ranges; (0028,0400) is a
      // fixed element of its own inside the range (0028,04x0).
      {0x5000, 0x0005, "US"}, {0x5004, 0x0022, "LO"}, {0x5002, 0x2006, "UL"}, {0x501E, 0x3000, "xs"},
      {0x7F02, 0x0010, "xs"}, {0x7F04, 0x0011, "US"}, {0x0028, 0x0400, "LO"}, {0x0028, 0x0410, "US"},
      {0x0028, 0x04F3, "AT"}, {0x0028, 0x0832, "US"}, {0x0020, 0x3105, "CS"}, {0x1000, 0x0125, "US"},
      {0x1010, 0x1234, "US"},
      // Group lengths.
      {0x0008, 0x0000, "UL"}, {0x0028, 0x0000, "UL"}, {0x6002, 0x0000, "UL"}, {0x7FE0, 0x0000, "UL"},
      // Private tags and tags outside the registry.
      {0x0009, 0x0010, "xs"}, {0x0029, 0x1010, "xs"}, {0x6001, 0x0010, "xs"}, {0x5001, 0x0005, "xs"},
      {0x7FE1, 0x0010, "xs"}, {0x0009, 0x0000, "xs"}, {0x0028, 0x0414, "xs"}, {0x0008, 0xFFFF, "xs"},
      {0xFFFE, 0x0000, "xs"}, {0xFFFF, 0xFFFF, "xs"}, {0x0000, 0x0001, "xs"},
  };
  for (const auto& c : cases)
    EXPECT_STREQ(DicomLookupVR(c.Group, c.Element), c.VR) << std::hex << c.Group << "," << c.Element;
  EXPECT_GT(DicomDictionarySize(), 4000);
}

// An implicit-VR file written by dcmtk with rare, retired, overlay and curve
// elements and group lengths: the representations the dictionary gives
// are the ones dcmtk writes into the same file in explicit VR.
TEST(DicomPeer, ImplicitFilesGetTheRepresentationsOfRareElements) {
  if (!HaveDcmtk() || !HaveTool("dcmodify") || !HaveTool("convert")) GTEST_SKIP() << "dcmtk or ImageMagick missing";
  TempDir dir;
  auto f = [&](const std::string& n) { return dir.file(n); };
  ASSERT_EQ(RunCommand("convert -size 8x6 gradient:white-black -depth 8 -colorspace gray " + f("g.jpg") +
                       " && img2dcm " + f("g.jpg") + " " + f("j.dcm") + " && dcmdjpeg " + f("j.dcm") + " " +
                       f("a.dcm") + " >/dev/null 2>&1"),
            0);
  struct TRare {
    uint16_t Group, Element;
    const char* Value;
  };
  const TRare rare[] = {
      {0x0008, 0x0001, "12"},    {0x0018, 0x1242, "33"},   {0x0018, 0x1800, "N"},     {0x0018, 0x9073, "1.5"},
      {0x0028, 0x0410, "3"},     {0x0040, 0xA040, "TEXT"}, {0x0054, 0x0081, "1"},     {0x1010, 0x0004, "7"},
      {0x300A, 0x0002, "Plan"},  {0x5000, 0x0005, "2"},    {0x5000, 0x0022, "Curve"}, {0x6002, 0x0010, "6"},
      {0x6002, 0x0022, "Marks"}, {0x6002, 0x0040, "G"},    {0x6002, 0x0050, "1\\1"},
  };
  std::string modify = "dcmodify -nb";
  for (const auto& e : rare) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " -i '(%04X,%04X)=%s'", e.Group, e.Element, e.Value);
    modify += buf;
  }
  ASSERT_EQ(RunCommand(modify + " " + f("a.dcm") + " >/dev/null 2>&1"), 0);
  ASSERT_EQ(RunCommand("dcmconv +ti +g " + f("a.dcm") + " " + f("ti.dcm") + " && dcmconv +te +g " + f("a.dcm") +
                       " " + f("te.dcm") + " >/dev/null 2>&1"),
            0);
  auto ti = ReadBytes(ReadFileBytes(f("ti.dcm")));
  auto te = ReadBytes(ReadFileBytes(f("te.dcm")));
  ASSERT_FALSE(ti->Aborted);
  ASSERT_FALSE(te->Aborted);
  EXPECT_EQ(Plane(ti->Bitmap), Plane(te->Bitmap));
  const TIEDICOMTags& implicitTags = *ti->Params.DicomElements;
  const TIEDICOMTags& explicitTags = *te->Params.DicomElements;
  ASSERT_EQ(implicitTags.GetCount(), explicitTags.GetCount());
  auto vrOf = [](const TIEDICOMTagRec* T) { return std::string(T->VR, 2); };
  int32_t groupLengths = 0, rareSeen = 0;
  for (int32_t i = 0; i < implicitTags.GetCount(); ++i) {
    const TIEDICOMTagRec* a = implicitTags.GetTag(i);
    const TIEDICOMTagRec* b = explicitTags.GetTag(i);
    ASSERT_EQ(a->Group, b->Group);
    ASSERT_EQ(a->Element, b->Element);
    SCOPED_TRACE(testing::Message() << std::hex << a->Group << "," << a->Element);
    if (a->Group == 0x0002) continue;  // the meta group is explicit in both files
    EXPECT_EQ(a->Length, b->Length);
    const bool isRare = std::any_of(std::begin(rare), std::end(rare), [&](const TRare& r) {
      return r.Group == a->Group && r.Element == a->Element;
    });
    rareSeen += isRare;
    groupLengths += a->Element == 0;
    if (vrOf(a) == "xs") {
      EXPECT_FALSE(isRare);
      EXPECT_EQ(a->Group, 0x7FE0);  // only the pixel data admit several representations here
    } else {
      EXPECT_EQ(vrOf(a), vrOf(b));
    }
  }
  EXPECT_EQ(rareSeen, int32_t(std::size(rare)));
  EXPECT_GE(groupLengths, 5);
}

TEST(DicomPeer, DcmtkFilesReadAsDcmtkDecodesThem) {
  if (!HaveDcmtk() || !HaveTool("convert")) GTEST_SKIP() << "dcmtk or ImageMagick missing";
  TempDir dir;
  auto f = [&](const std::string& n) { return dir.file(n); };
  ASSERT_EQ(RunCommand("convert -size 37x19 gradient:white-black -fx 'p+0.2*sin(i)' -depth 8 -colorspace gray " +
                       f("g.jpg") + " && img2dcm " + f("g.jpg") + " " + f("g_jpeg.dcm") + " && dcmdjpeg " +
                       f("g_jpeg.dcm") + " " + f("g.dcm") + " >/dev/null 2>&1"),
            0);
  ASSERT_EQ(RunCommand("convert -size 29x13 gradient:red-blue -fx 'p+0.2*sin(i*j)' -type TrueColor BMP3:" +
                       f("c.bmp") + " && img2dcm -i BMP " + f("c.bmp") + " " + f("c.dcm") + " >/dev/null 2>&1"),
            0);
  const std::string conversions[][2] = {
      {"dcmconv +ti", "ti"}, {"dcmconv +tb", "tb"}, {"dcmcrle", "rle"}, {"dcmcjpeg +e1", "ll1"},
      {"dcmcjpeg +el +sv 4", "ll4"}, {"dcmcjpeg +e2 +ri 5", "llri"},
  };
  for (const char* base : {"g", "c"}) {
    const bool gray = std::string(base) == "g";
    std::string ref;
    RunCommand("dcm2pnm +op " + f(std::string(base) + ".dcm") + " " + f("ref.pnm") + " >/dev/null 2>&1");
    const PnmImage want = ParsePnm(ReadFileBytes(f("ref.pnm")));
    ASSERT_GT(want.Width, 0);
    std::vector<std::string> files = {std::string(base) + ".dcm"};
    for (const auto& c : conversions) {
      const std::string out = std::string(base) + "_" + c[1] + ".dcm";
      if (RunCommand(c[0] + " " + f(std::string(base) + ".dcm") + " " + f(out) + " >/dev/null 2>&1") == 0)
        files.push_back(out);
    }
    EXPECT_GE(files.size(), 6u);
    for (const auto& file : files) {
      SCOPED_TRACE(file);
      auto r = ReadBytes(ReadFileBytes(f(file)));
      ASSERT_FALSE(r->Aborted);
      ASSERT_EQ(r->Bitmap.GetPixelFormat(), gray ? ie8g : ie24RGB);
      EXPECT_EQ(gray ? Plane(r->Bitmap) : Rgb(r->Bitmap), want.Data);
    }
  }
  // Baseline JPEG in the file: within the decoders' rounding of the same data.
  auto r = ReadBytes(ReadFileBytes(f("g_jpeg.dcm")));
  ASSERT_FALSE(r->Aborted);
  if (!HaveTool("dcmj2pnm")) return;
  RunCommand("dcmj2pnm +op " + f("g_jpeg.dcm") + " " + f("jref.pgm") + " >/dev/null 2>&1");
  const PnmImage jref = ParsePnm(ReadFileBytes(f("jref.pgm")));
  const auto mine = Plane(r->Bitmap);
  ASSERT_EQ(mine.size(), jref.Data.size());
  for (size_t i = 0; i < mine.size(); ++i) EXPECT_LE(std::abs(int(mine[i]) - int(jref.Data[i])), 2) << i;
  // The tag list holds the elements met, the transfer syntax among them.
  bool sawSyntax = false;
  for (int32_t i = 0; i < r->Params.DicomElements->GetCount(); ++i) {
    const TIEDICOMTagRec* t = r->Params.DicomElements->GetTag(i);
    sawSyntax |= t->Group == 2 && t->Element == 0x10 && std::string(reinterpret_cast<char*>(t->Data.get())) ==
                                                             "1.2.840.10008.1.2.4.50";
  }
  EXPECT_TRUE(sawSyntax);
}

// Signed 12-bit CT-like samples with a rescale: the window maps linearly and
// clamps (values beyond it never wrap); without a window the frame's range
// is stretched.  dcm2pnm's 16-bit output is the reference within its
// rounding.
TEST(DicomPeer, RescaleAndWindowAgreeWithDcmtk) {
  if (!HaveDcmtk()) GTEST_SKIP() << "dcmtk missing";
  TempDir dir;
  std::ostringstream pix;
  const int32_t W = 16, H = 8;
  for (int32_t i = 0; i < W * H; ++i) {
    const int32_t v = (i * 61) % 4096;  // all of the 12-bit range, signed
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v);
    pix << (i ? "\\" : "") << buf;
  }
  for (bool window : {true, false}) {
    SCOPED_TRACE(window);
    std::ostringstream dump;
    dump << "(0008,0016) UI =SecondaryCaptureImageStorage\n(0008,0018) UI [1.2.3.4]\n"
         << "(0028,0002) US 1\n(0028,0004) CS [MONOCHROME2]\n(0028,0010) US " << H << "\n(0028,0011) US " << W
         << "\n(0028,0100) US 16\n(0028,0101) US 12\n(0028,0102) US 11\n(0028,0103) US 1\n"
         << (window ? "(0028,1050) DS [40]\n(0028,1051) DS [400]\n" : "")
         << "(0028,1052) DS [-1024]\n(0028,1053) DS [1]\n(7fe0,0010) OW " << pix.str() << "\n";
    const std::string d = dir.file("t.dump"), dcm = dir.file("t.dcm"), pgm = dir.file("t.pgm");
    std::ofstream(d) << dump.str();
    ASSERT_EQ(RunCommand("dump2dcm +te " + d + " " + dcm + " >/dev/null 2>&1"), 0);
    ASSERT_EQ(RunCommand("dcm2pnm " + std::string(window ? "+Wi 1" : "+Wm") + " +opw " + dcm + " " + pgm +
                         " >/dev/null 2>&1"),
              0);
    const auto want = AsciiPgm(pgm);
    auto r = ReadBytes(ReadFileBytes(dcm));
    ASSERT_FALSE(r->Aborted);
    ASSERT_EQ(r->Bitmap.GetPixelFormat(), ie16g);
    const auto mine = Plane16(r->Bitmap);
    ASSERT_EQ(mine.size(), want.size());
    for (size_t i = 0; i < mine.size(); ++i) EXPECT_LE(std::abs(int(mine[i]) - int(want[i])), 200) << i;
    if (window) {
      // Modality values up to -160 are black, from 239 on white.
      EXPECT_EQ(*std::min_element(mine.begin(), mine.end()), 0);
      EXPECT_EQ(*std::max_element(mine.begin(), mine.end()), 65535);
    }
  }
}

// Elements whose explicit representation carries a 32-bit length (UT, UC,
// OD, SV ... after two reserved bytes) are stepped over whole, whatever
// their size; the image after them reads.
TEST(DicomReader, LongLengthRepresentationsAreWalkedRight) {
  TDataSet ds;
  ds.syntax("1.2.840.10008.1.2.1");
  std::vector<uint8_t> big(70000, 'x');  // longer than a 16-bit length
  for (const char* vr : {"UT", "UC", "UR", "OD", "OF", "OL", "OV", "SV", "UV", "UN", "OB"})
    ds.el(0x0009, 0x1000, vr, std::vector<uint8_t>(big.begin(), big.begin() + (vr[0] == 'U' && vr[1] == 'T' ? 70000 : 24)));
  ds.image(3, 2, 8, 8, "MONOCHROME2");
  ds.el(0x7FE0, 0x0010, "OB", {10, 20, 30, 40, 50, 60});
  auto r = ReadBytes(ds.D);
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(Plane(r->Bitmap), (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
  // Without preamble the same data set reads the same.
  std::vector<uint8_t> bare(ds.D.begin() + 132, ds.D.end());
  auto b = ReadBytes(bare);
  ASSERT_FALSE(b->Aborted);
  EXPECT_EQ(Plane(b->Bitmap), Plane(r->Bitmap));
  TMemoryStream ms;
  ms.WriteBuffer(bare.data(), int64_t(bare.size()));
  ms.SetPosition(0);
  EXPECT_FALSE(IETryDICOM(&ms));
}

TEST(DicomReader, TransferSyntaxesWithoutADecoderAbort) {
  for (const char* ts : {"1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.100", "1.2.840.10008.1.2.1.99",
                         "1.2.840.10008.1.2.4.201"}) {
    SCOPED_TRACE(ts);
    TDataSet ds;
    ds.syntax(ts);
    ds.image(3, 2, 8, 8, "MONOCHROME2");
    ds.el(0x7FE0, 0x0010, "OB", {1, 2, 3, 4, 5, 6});
    auto r = ReadBytes(ds.D);
    EXPECT_TRUE(r->Aborted);
  }
}

TEST(DicomReader, PackedTwelveBitFramesFlatFramesAndPalettes) {
  // Two frames of 2 x 2 packed 12-bit samples: 6 bytes each.
  TDataSet ds;
  ds.syntax("1.2.840.10008.1.2.1");
  ds.image(2, 2, 12, 12, "MONOCHROME2", 2);
  ds.el(0x7FE0, 0x0010, "OW",
        {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,     // frame 0: 0, 0, 0xFFF, 0xFFF
         0x00, 0x08, 0x80, 0x00, 0x00, 0x00});   // frame 1: 0x800, 0x800, 0, 0
  auto f1 = ReadBytes(ds.D, 1);
  ASSERT_FALSE(f1->Aborted);
  EXPECT_EQ(f1->Params.ImageCount, 2);
  EXPECT_EQ(Plane16(f1->Bitmap), (std::vector<uint16_t>{65535, 65535, 0, 0}));
  auto f9 = ReadBytes(ds.D, 9);  // beyond the last frame: the last one
  EXPECT_EQ(f9->Params.ImageIndex, 1);

  // A flat 16-bit frame: no division by zero, its clamped value.
  TDataSet flat;
  flat.image(2, 2, 16, 16, "MONOCHROME2");
  flat.el(0x7FE0, 0x0010, "OW", Bytes16({500, 500, 500, 500}));
  auto fr = ReadBytes(flat.D);
  ASSERT_FALSE(fr->Aborted);
  EXPECT_EQ(Plane16(fr->Bitmap), (std::vector<uint16_t>{500, 500, 500, 500}));

  // A palette of 3 entries starting at value 100, 8-bit entries in words.
  TDataSet pal;
  pal.image(4, 1, 8, 8, "PALETTE COLOR");
  for (uint16_t e = 0x1101; e <= 0x1103; ++e) pal.el(0x0028, e, "US", Bytes16({3, 100, 8}));
  pal.el(0x0028, 0x1201, "OW", Bytes16({10, 20, 30}));
  pal.el(0x0028, 0x1202, "OW", Bytes16({40, 50, 60}));
  pal.el(0x0028, 0x1203, "OW", Bytes16({70, 80, 90}));
  pal.el(0x7FE0, 0x0010, "OW", {99, 100, 101, 250});
  auto pr = ReadBytes(pal.D);
  ASSERT_FALSE(pr->Aborted);
  EXPECT_EQ(Rgb(pr->Bitmap), (std::vector<uint8_t>{10, 40, 70, 10, 40, 70, 20, 50, 80, 30, 60, 90}));
}

TEST(DicomReader, LosslessJpegFrameMustMatchTheImage) {
  // A minimal SOF3 stream claiming 64 x 64 where the file says 4 x 4.
  std::vector<uint8_t> j = {0xFF, 0xD8, 0xFF, 0xC3, 0, 11, 8, 0, 64, 0, 64, 1, 1, 0x11, 0,
                            0xFF, 0xC4, 0, 20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0xFF, 0xDA, 0, 8, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0xFF, 0xD9};
  std::vector<uint16_t> out;
  int32_t precision = 0;
  EXPECT_FALSE(LosslessJpegDecode(j.data(), int64_t(j.size()), 4, 4, 1, out, precision));
  EXPECT_TRUE(out.empty());
  // The right size over coded data that cannot hold 4096 samples fails too.
  EXPECT_FALSE(LosslessJpegDecode(j.data(), int64_t(j.size()), 64, 64, 1, out, precision));
  // 4 x 4: every difference 0 from the initial prediction gives 128.
  j[8] = 4;
  j[10] = 4;
  std::vector<uint8_t> k = j;
  k.insert(k.end() - 2, {0, 0});
  EXPECT_TRUE(LosslessJpegDecode(k.data(), int64_t(k.size()), 4, 4, 1, out, precision));
  ASSERT_EQ(out.size(), 16u);
  EXPECT_EQ(out[15], 128);
}

TEST(DicomReader, DamagedFilesFailCleanly) {
  TDataSet ds;
  ds.syntax("1.2.840.10008.1.2.1");
  ds.image(64, 64, 16, 16, "MONOCHROME2");
  std::vector<uint16_t> px(64 * 64);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint16_t(i * 7);
  ds.el(0x7FE0, 0x0010, "OW", Bytes16(px));
  for (size_t n : {size_t(0), size_t(100), size_t(140), size_t(200), ds.D.size() - 2}) {
    auto r = ReadBytes(std::vector<uint8_t>(ds.D.begin(), ds.D.begin() + int64_t(n)));
    EXPECT_TRUE(r->Aborted) << n;
  }
  for (size_t i = 132; i < 300; i += 3) {
    std::vector<uint8_t> bad = ds.D;
    bad[i] ^= 0xFF;
    ReadBytes(bad);
  }
  // Rows and columns of 65535 over a small pixel value.
  TDataSet huge;
  huge.image(65535, 65535, 16, 16, "MONOCHROME2");
  huge.el(0x7FE0, 0x0010, "OW", Bytes16({1, 2, 3, 4}));
  auto h = ReadBytes(huge.D);
  EXPECT_TRUE(h->Aborted);
  EXPECT_TRUE(h->Bitmap.IsEmpty());
}

// Encapsulated JPEG 2000 frames without an offset table: frame 1 is the
// second fragment after the empty table item.
TEST(DicomReader, EncapsulatedJpeg2000FramesWithoutOffsetTable) {
  if (!J2kAvailable()) GTEST_SKIP() << "OpenJPEG missing";
  std::vector<std::vector<uint8_t>> frames;
  for (uint8_t level : {40, 200}) {
    TIEBitmap g(8, 8, ie24RGB);
    for (int32_t y = 0; y < 8; ++y) std::memset(g.GetScanline(y), level, 24);
    TMemoryStream ms;
    TIOParamsVals p;
    p.J2kColorSpace = ioJ2K_GRAYLEV;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    J2kWriteStream(&ms, &g, p, pr, J2K_FORMAT_J2K);
    ASSERT_FALSE(abort);
    const auto* m = static_cast<const uint8_t*>(ms.GetMemory());
    std::vector<uint8_t> f(m, m + ms.GetSize());
    if (f.size() % 2) f.push_back(0);
    frames.push_back(f);
  }
  TDataSet ds;
  ds.syntax("1.2.840.10008.1.2.4.90");
  ds.image(8, 8, 8, 8, "MONOCHROME2", 2);
  ds.u16(0x7FE0);
  ds.u16(0x0010);
  ds.D.insert(ds.D.end(), {'O', 'B', 0, 0});
  ds.u32(0xFFFFFFFFu);
  ds.u16(0xFFFE);
  ds.u16(0xE000);
  ds.u32(0);  // empty offset table
  for (const auto& f : frames) {
    ds.u16(0xFFFE);
    ds.u16(0xE000);
    ds.u32(uint32_t(f.size()));
    ds.D.insert(ds.D.end(), f.begin(), f.end());
  }
  ds.u16(0xFFFE);
  ds.u16(0xE0DD);
  ds.u32(0);
  auto f0 = ReadBytes(ds.D, 0);
  auto f1 = ReadBytes(ds.D, 1);
  ASSERT_FALSE(f0->Aborted);
  ASSERT_FALSE(f1->Aborted);
  EXPECT_EQ(f0->Bitmap.GetScanline(3)[3], 40);
  EXPECT_EQ(f1->Bitmap.GetScanline(3)[3], 200);
  EXPECT_EQ(f1->Params.ImageCount, 2);
}
