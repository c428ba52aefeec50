// The format registry: its rows and texts, extension lookups, plug-in
// entries, the GIF adjustment and the reconciliation of content and
// extension in file detection.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/codec_table.h"
#include "foundations/settings.h"
#include "io/format_registry.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"

using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

// Every test starts from the built-in registry and leaves it that way.
class FormatRegistry : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    GifLzwDecodeHook = FSavedDecoder;
    GifLzwEncodeHook = FSavedEncoder;
    // The overrides the tests make go back to what the codec table offers.
    for (TIEFileFormat Id : {ioGIF, ioPS, ioCUR, ioHDP}) {
      const TIECodec* Codec = IEFindCodec(Id);
      IESetBuiltInFormatSupport(Id, Codec && Codec->Read, Codec && Codec->Write);
    }
    Reset();
  }
  static void Reset() {
    IEFreeFormatRegistry();
    IEBuildFormatRegistry();
  }
  TGifLzwDecodeProc FSavedDecoder = GifLzwDecodeHook;
  TGifLzwEncodeProc FSavedEncoder = GifLzwEncodeHook;
};

struct Row {
  TIEFileFormat Id;
  const char* Description;
  const char* Extensions;
  TIEParamsPages Pages;
  bool Read, Write;  // what this build offers
};

// The codecs over optional libraries are in this build when their library is.
#ifdef FOLIVRA_HAVE_OPENJP2
constexpr bool kJ2k = true;
#else
constexpr bool kJ2k = false;
#endif
#ifdef FOLIVRA_HAVE_LIBRAW
constexpr bool kCameraRaw = true;
#else
constexpr bool kCameraRaw = false;
#endif
#ifdef FOLIVRA_HAVE_JXR
constexpr bool kHdPhoto = true;
#else
constexpr bool kHdPhoto = false;
#endif

// The rows in registration order, with what the codecs of this build can do.
const Row kBuiltInRows[] = {
    {1, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", 8, true, true},
    {2, "CompuServe Bitmap", "GIF", 16, true, true},
    {3, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", 4, true, true},
    {4, "PaintBrush", "PCX", 64, true, true},
    {5, "Windows Bitmap", "BMP;DIB;RLE", 32, true, true},
    {21, "Raw Bitmap", "", 0, true, false},
    {6, "Windows Icon", "ICO", 0, true, true},
    {7, "Windows Cursor", "CUR", 0, true, false},
    {8, "Portable Network Graphics", "PNG", 128, true, true},
    {28, "DICOM Bitmap", "DCM;DIC;DICOM;V2", 0, true, false},
    {9, "Windows Metafile", "WMF", 0, false, false},
    {10, "Enhanced Windows Metafile", "EMF", 0, false, false},
    {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", 256, true, true},
    {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
    {16, "Wireless Bitmap", "WBMP", 0, true, true},
    {13, "JPEG2000", "JP2", 512, kJ2k, kJ2k},
    {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", 512, kJ2k, kJ2k},
    {17, "PostScript Level 2", "PS;EPS", 0, false, true},
    {18, "Adobe PDF", "PDF", 0, false, true},
    {19, "Multipage PCX", "DCX", 0, true, true},
    {20, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, kCameraRaw, false},
    {24, "Photoshop PSD", "PSD", 0, true, true},
    {25, "Vectorial objects", "IEV", 0, false, false},
    {26, "Layers", "LYR", 0, false, false},
    {27, "Layers and objects", "ALL", 0, false, false},
};

// The HD Photo row exists only where its codec does, after all the others.
std::vector<Row> ExpectedRows() {
  std::vector<Row> rows(std::begin(kBuiltInRows), std::end(kBuiltInRows));
  if (kHdPhoto) rows.push_back({29, "Microsoft HD Photo", "WDP;HDP", 0, true, true});
  return rows;
}

TEST_F(FormatRegistry, BuiltInRowsInRegistrationOrder) {
  IEBuildFormatRegistry();  // a second start-up adds nothing
  auto& list = IEFileFormats();
  const std::vector<Row> expected = ExpectedRows();
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const Row& r = expected[i];
    const TIEFileFormatInfo& e = *list[i];
    SCOPED_TRACE(r.Description);
    EXPECT_EQ(e.FormatId, r.Id);
    EXPECT_EQ(e.FileType(), r.Id);
    EXPECT_EQ(e.Description, r.Description);
    EXPECT_EQ(e.Extensions, r.Extensions);
    EXPECT_EQ(e.ParamsPages, r.Pages);
    EXPECT_TRUE(e.BuiltIn);
    EXPECT_EQ(static_cast<bool>(e.ReadProc), r.Read);
    EXPECT_EQ(static_cast<bool>(e.WriteProc), r.Write);
    ASSERT_TRUE(static_cast<bool>(e.ProbeProc));
    TMemoryStream s;
    s.Write("II*\0", 4);
    EXPECT_FALSE(e.ProbeProc(&s, e.FormatId));  // the placeholder never claims content
    EXPECT_EQ(IEFindFormatById(r.Id), &e);
  }
  EXPECT_EQ(IEFindFormatById(ioHDP) != nullptr, kHdPhoto);
  EXPECT_EQ(IEFindFormatById(ioAVI), nullptr);
  EXPECT_EQ(IEFindFormatById(0), nullptr);
}

TEST_F(FormatRegistry, ExtensionLookups) {
  struct Case {
    const char* Ext;
    TIEFileFormat Id;  // 0 = no entry
  } cases[] = {
      {"tif", 1},  {"TIF", 1},  {".tif", 1}, {".TiF", 1},  {"tiff", 1}, {"g3f", 1},  {"xif", 1},
      {"rle", 5},  {"pix", 11}, {"jpe", 3},  {".JIF", 3},  {"v2", 28},  {"sr2", 20}, {"dcx", 19},
      {"all", 27}, {"avi", 0},  {"", 0},     {".", 0},     {"..tif", 0}, {"ti", 0},  {"tif ", 0},
      {"tif;tiff", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Ext);
    const TIEFileFormatInfo* e = IEFindFormatByExtension(c.Ext);
    if (c.Id == 0) {
      EXPECT_EQ(e, nullptr);
    } else {
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->FormatId, c.Id);
    }
  }
  EXPECT_EQ(IEFindFormatByExtension("rle")->Description, "Windows Bitmap");
  EXPECT_EQ(IEFindFormatByExtension("pix")->Description, "Targa Bitmap");
}

TEST_F(FormatRegistry, ExtensionItemsAndCounts) {
  struct Case {
    TIEFileFormat Id;
    int32_t N;
    const char* Ext;
  } items[] = {{3, 0, "JPG"}, {3, 1, "JPEG"}, {3, 3, "JIF"}, {3, 4, ""},  {3, -1, ""},
               {1, 5, "XIF"}, {21, 0, ""},    {20, 12, "SR2"}, {99, 0, ""},
               {ioHDP, 0, kHdPhoto ? "WDP" : ""}};
  for (const auto& c : items) EXPECT_EQ(IEFormatExtension(c.Id, c.N), c.Ext) << c.Id << "/" << c.N;
  struct Count {
    TIEFileFormat Id;
    int32_t N;
  } counts[] = {{1, 6}, {3, 4}, {21, 0}, {20, 13}, {28, 4}, {99, 0}};
  for (const auto& c : counts) EXPECT_EQ(IEFormatExtensionCount(c.Id), c.N) << c.Id;
}

TEST_F(FormatRegistry, PlugInEntriesAndListSplitting) {
  // An empty item ends the list for counting and lookups; items keep their
  // blanks.
  auto* e = new TIEFileFormatInfo;
  e->FormatId = 200;
  e->Description = "Test plug-in";
  e->Extensions = "ab; cd;;ef";
  int reads = 0;
  e->ReadProc = [&](TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&, bool) { ++reads; };
  IEAddFileFormat(e);
  EXPECT_EQ(IEFileFormats().back().get(), e);
  EXPECT_EQ(IEFormatExtensionCount(200), 2);
  EXPECT_EQ(IEFormatExtension(200, 1), " cd");
  EXPECT_EQ(IEFormatExtension(200, 2), "");
  EXPECT_EQ(IEFormatExtension(200, 3), "ef");  // an item past the gap is still addressable
  EXPECT_EQ(IEFindFormatByExtension(".AB"), e);
  EXPECT_EQ(IEFindFormatByExtension(" cd"), e);
  EXPECT_EQ(IEFindFormatByExtension("cd"), nullptr);
  EXPECT_EQ(IEFindFormatByExtension("ef"), nullptr);

  // A later entry with an extension already taken never wins.
  auto second = std::make_unique<TIEFileFormatInfo>();
  second->FormatId = 201;
  second->Extensions = "TIF;AB";
  IEAddFileFormat(std::move(second));
  EXPECT_EQ(IEFindFormatByExtension("tif")->FormatId, 1);
  EXPECT_EQ(IEFindFormatByExtension("ab")->FormatId, 200);

  EXPECT_TRUE(IEIsReadableFileName("/x/y/picture.AB"));
  EXPECT_FALSE(IEIsReadableFileName("picture.tif.ab2"));

  IERemoveFileFormat(200);
  EXPECT_EQ(IEFindFormatById(200), nullptr);
  EXPECT_EQ(IEFindFormatByExtension("ab")->FormatId, 201);
  IERemoveFileFormat(200);  // nothing left with that id: no change
  EXPECT_EQ(IEFileFormats().size(), ExpectedRows().size() + 1);
  EXPECT_EQ(reads, 0);
}

TEST_F(FormatRegistry, ReadableFileNames) {
  struct Case {
    const char* Name;
    bool Readable;
  } cases[] = {{"page.tif", true}, {"/a.b/page.FAX", true}, {"scan.jpeg", true}, {"doc.dcx", true},
               {"pic.png", true},   {"pic.bmp", true},   {"pic.wmf", false},  // metafiles are only recognised
               {"doc.ps", false},   // written only
               {"noext", false},    {"dir.tif/file", false}, {"", false}};
  for (const Case& c : cases) EXPECT_EQ(IEIsReadableFileName(c.Name), c.Readable) << c.Name;
}

void DummyDecode(TStream*, int32_t, int32_t, bool, uint8_t*) {}
void DummyEncode(TStream*, int32_t, int32_t, bool, const uint8_t*, int32_t) {}

TEST_F(FormatRegistry, GifProceduresFollowCodecAndHooks) {
  struct Case {
    bool Codec, Decoder, Encoder, Read, Write;
  } cases[] = {
      {false, true, true, false, false},  // hooks alone never fake a GIF codec
      {true, false, false, false, false}, {true, true, false, true, false},
      {true, false, true, false, true},   {true, true, true, true, true},
  };
  for (const Case& c : cases) {
    IESetBuiltInFormatSupport(ioGIF, c.Codec, c.Codec);
    GifLzwDecodeHook = c.Decoder ? DummyDecode : nullptr;
    GifLzwEncodeHook = c.Encoder ? DummyEncode : nullptr;
    IEUpdateGifCallbacks();
    const TIEFileFormatInfo* gif = IEFindFormatById(ioGIF);
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(static_cast<bool>(gif->ReadProc), c.Read);
    EXPECT_EQ(static_cast<bool>(gif->WriteProc), c.Write);
  }
}

TEST_F(FormatRegistry, SupportOfBuiltInFormats) {
  // A format written only never gains a read procedure; one read only never
  // gains a write procedure.
  IESetBuiltInFormatSupport(ioPS, true, true);
  IESetBuiltInFormatSupport(ioCUR, true, true);
  EXPECT_FALSE(static_cast<bool>(IEFindFormatById(ioPS)->ReadProc));
  EXPECT_TRUE(static_cast<bool>(IEFindFormatById(ioPS)->WriteProc));
  EXPECT_TRUE(static_cast<bool>(IEFindFormatById(ioCUR)->ReadProc));
  EXPECT_FALSE(static_cast<bool>(IEFindFormatById(ioCUR)->WriteProc));
  IESetBuiltInFormatSupport(ioPS, false, false);
  IESetBuiltInFormatSupport(ioCUR, false, false);
  EXPECT_FALSE(static_cast<bool>(IEFindFormatById(ioPS)->WriteProc));

  // HD Photo gets its row (last) once its codec is there.
  IESetBuiltInFormatSupport(ioHDP, true, true);
  const TIEFileFormatInfo* hdp = IEFindFormatById(ioHDP);
  ASSERT_NE(hdp, nullptr);
  EXPECT_EQ(IEFileFormats().back().get(), hdp);
  EXPECT_EQ(hdp->Description, "Microsoft HD Photo");
  EXPECT_EQ(hdp->Extensions, "WDP;HDP");
  EXPECT_EQ(IEFindFormatByExtension("hdp"), hdp);
}

TEST_F(FormatRegistry, FormatNamesReachTheParameterDescription) {
  TIOParamsVals p;
  p.FileFormat = ioPCX;
  EXPECT_EQ(IEDescribeFileParams(&p).rfind("PaintBrush (PCX)", 0), 0u);
  p.FileFormat = ioJPEG;
  EXPECT_EQ(IEDescribeFileParams(&p).rfind("JPEG Bitmap (JPG)", 0), 0u);
  std::string name, ext;
  ASSERT_NE(IEFormatNameHook, nullptr);
  EXPECT_FALSE(IEFormatNameHook(ioAVI, name, ext));
  IEFreeFormatRegistry();
  EXPECT_EQ(IEFormatNameHook, nullptr);
}

// ---------------------------------------------------------------------------
// File detection: content against extension.

std::vector<uint8_t> Bytes(const char* s, size_t n) { return std::vector<uint8_t>(s, s + n); }

// A minimal little-endian TIFF page: one 8 x 8 uncompressed bilevel strip.
std::vector<uint8_t> TinyTiff() {
  std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  struct E {
    uint16_t Tag, Type;
    uint32_t Count, Value;
  } entries[] = {{256, 3, 1, 8}, {257, 3, 1, 8}, {258, 3, 1, 1}, {259, 3, 1, 1},
                 {262, 3, 1, 0}, {273, 4, 1, 0}, {277, 3, 1, 1}, {278, 3, 1, 8}, {279, 4, 1, 8}};
  const uint32_t n = std::size(entries);
  const uint32_t data = 8 + 2 + n * 12 + 4;
  auto put16 = [&](uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
  put16(n);
  for (const E& e : entries) {
    put16(e.Tag);
    put16(e.Type);
    put32(e.Count);
    put32(e.Tag == 273 ? data : e.Value);
  }
  put32(0);
  b.insert(b.end(), 8, 0x55);
  return b;
}

// A one-entry cursor directory (type 2) with a 40-byte image after it.
std::vector<uint8_t> TinyCursor() {
  std::vector<uint8_t> b = {0, 0, 2, 0, 1, 0,  // reserved, type, count
                            16, 16, 0, 0, 1, 0, 1, 0,  // size, colours, reserved, hot spot
                            40, 0, 0, 0, 22, 0, 0, 0};  // bytes, offset
  b.resize(22 + 40, 0);
  return b;
}

std::vector<uint8_t> TinyJpeg() {
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
  b.resize(64, 0);
  return b;
}

// A little-endian TIFF directory with the HD Photo tags.
std::vector<uint8_t> TinyHdPhoto() {
  std::vector<uint8_t> b = {'I', 'I', 0xBC, 0x01, 8, 0, 0, 0};
  const uint16_t tags[] = {48129, 48256, 48257, 48320, 48321};
  b.push_back(5);
  b.push_back(0);
  for (uint16_t t : tags) {
    const uint8_t e[12] = {uint8_t(t), uint8_t(t >> 8), 4, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    b.insert(b.end(), e, e + 12);
  }
  b.insert(b.end(), 4, 0);
  b.resize(128, 0);
  return b;
}

TEST_F(FormatRegistry, FileDetectionReconcilesContentAndExtension) {
  TempDir dir;
  const std::vector<uint8_t> tiff = TinyTiff(), cur = TinyCursor(), jpeg = TinyJpeg(), hdp = TinyHdPhoto();
  std::vector<uint8_t> ico = cur;
  ico[2] = 1;
  struct Case {
    const char* Name;
    const std::vector<uint8_t>* Content;
    TIEFileFormat Verified, Unverified;
  } cases[] = {
      {"page.tif", &tiff, 1, 1},
      {"page.FAX", &tiff, 1, 1},
      {"Seite \xC3\xBC.TIF", &tiff, 1, 1},
      {"camera.nef", &tiff, 20, 20},  // TIFF-structured raw: the extension decides
      {"page.jpg", &tiff, 0, 1},
      {"page", &tiff, 0, 1},          // no extension: nothing to agree with
      {"page.xyz", &tiff, 0, 1},
      {"cursor.ico", &cur, 6, 7},     // between icon and cursor the extension decides
      {"cursor.cur", &cur, 7, 7},
      {"icon.cur", &ico, 7, 6},
      {"icon.jpg", &ico, 0, 6},       // but no other extension turns an icon into it
      {"photo.png", &jpeg, 0, 3},
      {"photo.jpeg", &jpeg, 3, 3},
      {"photo.wdp", &hdp, kHdPhoto ? 29 : 0, 29},  // the entry exists with its codec
      {"photo.tif", &hdp, 0, 29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.file(c.Name);
    WriteFileBytes(path, *c.Content);
    EXPECT_EQ(IEDetectFileFormat(path, true), c.Verified);
    EXPECT_EQ(IEDetectFileFormat(path, false), c.Unverified);
  }

  // Unrecognised content: 0 either way, also for a known extension.
  WriteFileBytes(dir.file("text.tif"), Bytes("hello, world, this is text", 26));
  EXPECT_EQ(IEDetectFileFormat(dir.file("text.tif"), true), 0);
  EXPECT_EQ(IEDetectFileFormat(dir.file("text.tif"), false), 0);
  // No name, no file, a folder.
  EXPECT_EQ(IEDetectFileFormat("", false), 0);
  EXPECT_EQ(IEDetectFileFormat(dir.file("missing.tif"), false), 0);
  EXPECT_EQ(IEDetectFileFormat(dir.path(), false), 0);

  // A plug-in's extension wins over whatever the content says.
  auto plug = std::make_unique<TIEFileFormatInfo>();
  plug->FormatId = 300;
  plug->Extensions = "PLG";
  IEAddFileFormat(std::move(plug));
  WriteFileBytes(dir.file("page.plg"), tiff);
  EXPECT_EQ(IEDetectFileFormat(dir.file("page.plg"), true), 300);
  EXPECT_EQ(IEDetectFileFormat(dir.file("page.plg"), false), 300);
}

}  // namespace
