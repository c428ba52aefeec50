// Content detection: files made by peer tools, hand-made headers of the
// formats no peer writes, the order of the tests, the size thresholds of the
// header magics, position restoring and hostile input.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "io/format_detection.h"
#include "io/format_registry.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/pcx/pcx_dcx.h"
#include "formats/tiff/tiff_reader.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

using testsupport::HaveTool;
using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

using Bytes = std::vector<uint8_t>;

void Fill(TMemoryStream& s, const Bytes& b) {
  s.Clear();
  if (!b.empty()) s.Write(b.data(), int64_t(b.size()));
  s.SetPosition(0);
}

// Detects B from position 0 and checks the position comes back.
TIEFileFormat Detect(const Bytes& b) {
  TMemoryStream s;
  Fill(s, b);
  const TIEFileFormat f = IEDetectStreamFormat(&s);
  EXPECT_EQ(s.GetPosition(), 0);
  return f;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Padded(Bytes b, size_t n, uint8_t v = 0) {
  if (b.size() < n) b.resize(n, v);
  return b;
}
void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, uint16_t(v));
  Put16(b, at + 2, uint16_t(v >> 16));
}

// Hand-made headers of formats that no peer tool here writes, or whose probe
// needs a particular case.
Bytes Dicom() {
  Bytes b(128, 0);
  const Bytes tag = Text("DICM");
  b.insert(b.end(), tag.begin(), tag.end());
  b.resize(300, 0);
  return b;
}
Bytes Avi() {
  Bytes b = Text("RIFF");
  Put32(b, 4, 56);
  const Bytes rest = Text("AVI LIST");
  b.insert(b.end(), rest.begin(), rest.end());
  b.resize(64, 0);
  return b;
}
Bytes Wmf(bool Placeable) {
  Bytes b;
  if (Placeable) {
    b.resize(22, 0);
    Put32(b, 0, 0x9AC6CDD7u);
  }
  const size_t h = b.size();
  Put16(b, h, 1);       // type: memory metafile
  Put16(b, h + 2, 9);   // header size in words
  Put16(b, h + 4, 0x300);
  Put32(b, h + 6, 100);
  Put16(b, h + 10, 0);
  Put32(b, h + 12, 10);
  Put16(b, h + 16, 0);  // no parameters
  b.resize(h + 60, 0);
  return b;
}
Bytes Emf() {
  Bytes b(108, 0);
  Put32(b, 0, 1);
  Put32(b, 4, 108);
  Put32(b, 40, 0x464D4520u);
  return b;
}
Bytes Tga(uint8_t Type, uint8_t Depth) {
  Bytes b(18 + 4 * 4, 0);
  b[2] = Type;
  Put16(b, 12, 2);
  Put16(b, 14, 2);
  b[16] = Depth;
  return b;
}
Bytes Psd() {
  Bytes b = Text("8BPS");
  b.insert(b.end(), {0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 4, 0, 8, 0, 3});
  b.resize(64, 0);
  return b;
}
Bytes Jp2() {
  Bytes b = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  b.resize(40, 0);
  return b;
}
Bytes J2k() {
  Bytes b = {0xFF, 0x4F, 0xFF, 0x51};
  b.resize(40, 0);
  return b;
}
Bytes ObjectStream(char Version) {
  Bytes b = Text(std::string("IEV") + Version);
  b.resize(32, 0);
  return b;
}
Bytes Layers() {
  Bytes b = Text("FOLIOLAYERS");
  b.resize(13, 0);
  Put32(b, 13, 6);
  Put32(b, 17, uint32_t(-1));
  Put32(b, 21, 1);
  b.resize(60, 0);
  return b;
}
Bytes LayersAndObjects(uint32_t OffsetDelta = 0) {
  Bytes b(4, 0);
  const Bytes l = Layers();
  b.insert(b.end(), l.begin(), l.end());
  Put32(b, 0, uint32_t(b.size()) + OffsetDelta);
  const Bytes o = ObjectStream('R');
  b.insert(b.end(), o.begin(), o.end());
  return b;
}
Bytes IcoDir(uint16_t Type, uint32_t Offset = 22) {
  Bytes b(6, 0);
  Put16(b, 2, Type);
  Put16(b, 4, 1);
  b.resize(22, 0);
  b[6] = 16;
  b[7] = 16;
  Put32(b, 14, 40);
  Put32(b, 18, Offset);
  b.resize(22 + 40, 0);
  return b;
}

// Every probe under test, for the table that checks position restoring.
struct NamedProbe {
  const char* Name;
  std::function<bool(TStream*)> Fn;
};
const std::vector<NamedProbe>& AllProbes() {
  static const std::vector<NamedProbe> probes = {
      {"Png", PngIsStream},
      {"Dicom", DicomIsStream},
      {"Ico", IcoIsStream},
      {"Cur", CurIsStream},
      {"Tga", TgaIsStream},
      {"Pnm", PnmIsStream},
      {"Jp2", Jp2IsStream},
      {"J2k", J2kIsStream},
      {"Wmf", WmfIsStream},
      {"Emf", EmfIsStream},
      {"Psd", PsdIsStream},
      {"Object", IEIsObjectStream},
      {"Layers", IEIsLayersStream},
      {"LayersAndObjects", IEIsLayersAndObjectsStream},
      {"Avi", IEIsAviStream},
      {"Tiff", TiffIsStream},
      {"TiffRaw", TiffIsRawStream},
      {"Hdp", HdpIsStream},
      {"Dcx", DcxIsStream},
      {"Jpeg", [](TStream* s) { return JpegIsStream(s, true) >= 0; }},
      {"Detect", [](TStream* s) { return IEDetectStreamFormat(s) != 0; }},
  };
  return probes;
}

struct Fixture {
  const char* Name;
  Bytes Data;
  TIEFileFormat Format;
};

std::vector<Fixture> HandMade() {
  return {
      {"dicom", Dicom(), ioDICOM},
      {"avi", Avi(), ioAVI},
      {"wmf", Wmf(false), ioWMF},
      {"placeable wmf", Wmf(true), ioWMF},
      {"emf", Emf(), ioEMF},
      {"tga 2/24", Tga(2, 24), ioTGA},
      {"tga 11/8", Tga(11, 8), ioTGA},
      {"psd", Psd(), ioPSD},
      {"jp2", Jp2(), ioJP2},
      {"j2k", J2k(), ioJ2K},
      {"objects 1", ObjectStream('1'), ioIEV},
      {"objects R", ObjectStream('R'), ioIEV},
      {"layers", Layers(), ioLYR},
      {"layers and objects", LayersAndObjects(), ioALL},
      {"icon", IcoDir(1), ioICO},
      {"cursor", IcoDir(2), ioCUR},
      {"pbm plain", Text("P1\n# made by hand\n3 2\n0 1 0\n1 0 1\n"), ioPXM},
      {"ppm comment first", Text("# leading comment\nP6 1 1 255\nabc"), ioPXM},
      {"png signature", Padded({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 40), ioPNG},
      {"jpeg stream header", Padded(Text("JFIF"), 13), ioJPEG},
      {"pcx stream header", Padded(Text("PCX2"), 13), ioPCX},
      {"old pcx stream header", Padded(Text("PCX"), 5), ioPCX},
      {"tiff stream header", Padded(Text("TIFF"), 13), ioTIFF},
      {"gif", Padded(Text("GIF"), 14, 0xFF), ioGIF},
      {"bmp", Padded(Text("BM"), 15), ioBMP},
      {"pcx file", Padded({0x0A, 5, 1, 1}, 129), ioPCX},
      {"jpeg late start", [] { Bytes b(149, 0x20); b.insert(b.end(), {0xFF, 0xD8, 0xFF, 0xE0}); b.resize(200, 0); return b; }(), ioJPEG},
  };
}

TEST(FormatDetection, HandMadeHeaders) {
  for (const Fixture& f : HandMade()) EXPECT_EQ(Detect(f.Data), f.Format) << f.Name;
}

TEST(FormatDetection, NearMissesAreRefused) {
  struct Case {
    const char* Name;
    Bytes Data;
  } cases[] = {
      {"wmf header size 8", [] { Bytes b = Wmf(false); Put16(b, 2, 8); return b; }()},
      {"wmf with parameters", [] { Bytes b = Wmf(false); Put16(b, 16, 1); return b; }()},
      {"emf first record 2", [] { Bytes b = Emf(); Put32(b, 0, 2); return b; }()},
      {"tga type 4", Tga(4, 24)},
      {"tga depth 15", Tga(2, 15)},
      {"tga colour-map type 2", [] { Bytes b = Tga(2, 24); b[1] = 2; return b; }()},
      {"tga zero width", [] { Bytes b = Tga(2, 24); Put16(b, 12, 0); return b; }()},
      {"psd version 2", [] { Bytes b = Psd(); b[5] = 2; return b; }()},
      {"psd 25 channels", [] { Bytes b = Psd(); b[13] = 25; return b; }()},
      {"psd depth 17", [] { Bytes b = Psd(); b[23] = 17; return b; }()},
      {"psd mode 10", [] { Bytes b = Psd(); b[25] = 10; return b; }()},
      {"objects S", ObjectStream('S')},
      {"objects 0", ObjectStream('0')},
      {"layers version 0", [] { Bytes b = Layers(); Put32(b, 13, 0); return b; }()},
      {"layers and objects, offset past the end", LayersAndObjects(1000)},
      {"icon image inside its directory", IcoDir(1, 21)},
      {"icon of 22 bytes", [] { Bytes b = IcoDir(1); b.resize(22); return b; }()},
      {"icon type 3", IcoDir(3)},
      {"pnm P7", Text("P7 3 2 255\n")},
      {"pnm zero width", Text("P5 0 2 255\n")},
      {"pnm no height", Text("P4 12\n")},
      {"pnm magic in a longer word", Text("P12 3 4 255\n")},
      {"png signature of 8 bytes", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}},
      {"jpeg past 150 bytes", [] { Bytes b(151, 0x20); b.insert(b.end(), {0xFF, 0xD8, 0xFF, 0xE0}); return b; }()},
      {"dicom without preamble", [] { Bytes b = Text("DICM"); b.resize(300, 0); return b; }()},
      {"pcx file version 6", Padded({0x0A, 6, 1, 1}, 129)},
  };
  for (const Case& c : cases) EXPECT_EQ(Detect(c.Data), 0) << c.Name;
}

TEST(FormatDetection, HeaderMagicsNeedTheirSizes) {
  // Each magic holds only when the stream is longer than its threshold.
  struct Case {
    Bytes Head;
    size_t Threshold;
    TIEFileFormat Format;
  } cases[] = {
      {Text("JFIF"), 12, ioJPEG}, {Text("GIF"), 13, ioGIF},   {Text("PCX2"), 12, ioPCX},
      {Text("PCX"), 4, ioPCX},    {Text("BM"), 14, ioBMP},    {{0x0A, 0}, 128, ioPCX},
      {Text("TIFF"), 12, ioTIFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Head.begin(), c.Head.end()));
    EXPECT_EQ(Detect(Padded(c.Head, c.Threshold)), 0);
    EXPECT_EQ(Detect(Padded(c.Head, c.Threshold + 1)), c.Format);
  }
  // The stream-header texts end at the first zero: a longer word is no match.
  EXPECT_EQ(Detect(Padded(Text("JFIFX"), 20)), 0);
  EXPECT_EQ(Detect(Padded(Text("TIFFX"), 20)), 0);
}

// A little-endian TIFF directory with the given (tag, type, count, value).
Bytes TiffWith(const std::vector<std::array<uint32_t, 4>>& Entries, const uint8_t Magic[4]) {
  Bytes b(Magic, Magic + 4);
  Put32(b, 4, 8);
  Put16(b, 8, uint16_t(Entries.size()));
  size_t at = 10;
  for (const auto& e : Entries) {
    Put16(b, at, uint16_t(e[0]));
    Put16(b, at + 2, uint16_t(e[1]));
    Put32(b, at + 4, e[2]);
    Put32(b, at + 8, e[3]);
    at += 12;
  }
  Put32(b, at, 0);
  b.resize(at + 4 + 64, 0);
  return b;
}

TEST(FormatDetection, TestOrder) {
  const uint8_t tiffMagic[4] = {'I', 'I', 42, 0};
  const uint8_t hdpMagic[4] = {'I', 'I', 0xBC, 1};
  struct Case {
    const char* Name;
    Bytes Data;
    TIEFileFormat Format;
  } cases[] = {
      // Header magics come before every probe.
      {"GIF before a TGA header", [] { Bytes b = Tga(2, 24); b[0] = 'G'; b[1] = 'I'; b[2] = 'F'; return b; }(), ioGIF},
      // HD Photo before TIFF, and a raw-marked TIFF is no TIFF.
      {"hd photo", TiffWith({{48129, 4, 1, 0}, {48256, 4, 1, 8}, {48257, 4, 1, 8}, {48320, 4, 1, 0}, {48321, 4, 1, 0}}, hdpMagic), ioHDP},
      {"tiff", TiffWith({{256, 3, 1, 8}, {257, 3, 1, 8}}, tiffMagic), ioTIFF},
      {"dng-marked tiff", TiffWith({{256, 3, 1, 8}, {257, 3, 1, 8}, {50706, 1, 4, 0x01010000}}, tiffMagic), 0},
      // PNG before DICOM, DICOM before TGA, TGA before the JPEG scan.
      {"png with DICM at 128", [] { Bytes b = Dicom(); const uint8_t s[4] = {0x89, 'P', 'N', 'G'}; std::memcpy(b.data(), s, 4); return b; }(), ioPNG},
      {"tga with DICM at 128", [] { Bytes b = Dicom(); const Bytes t = Tga(2, 24); std::copy(t.begin(), t.begin() + 18, b.begin()); return b; }(), ioDICOM},
      {"tga holding a jpeg start", [] { Bytes b = Tga(2, 24); b[18] = 0xFF; b[19] = 0xD8; b[20] = 0xFF; return b; }(), ioTGA},
      // A layers-and-objects stream whose offset points at its own start is
      // no object stream.
      {"layers and objects at offset 0", [] { Bytes b = LayersAndObjects(); Put32(b, 0, 0); return b; }(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Detect(c.Data), c.Format) << c.Name;
}

TEST(FormatDetection, PlugInProbesComeAfterEveryBuiltInTest) {
  IEFreeFormatRegistry();
  IEBuildFormatRegistry();
  auto plug = std::make_unique<TIEFileFormatInfo>();
  plug->FormatId = 400;
  std::vector<int64_t> seen;
  // A careless probe that moves the stream: detection puts it back for the
  // next test and on return.
  plug->ProbeProc = [&](TStream* s, TIEFileFormat id) {
    seen.push_back(s->GetPosition());
    s->Seek(3, soCurrent);
    return id == 400;
  };
  IEAddFileFormat(std::move(plug));
  TMemoryStream s;
  Fill(s, Text("..some bytes no format claims.."));
  s.SetPosition(2);
  EXPECT_EQ(IEDetectStreamFormat(&s), 400);
  EXPECT_EQ(s.GetPosition(), 2);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], 2);
  EXPECT_EQ(Detect(Tga(2, 24)), ioTGA);
  EXPECT_EQ(Detect(J2k()), ioJ2K);

  // A probe that throws ends detection with 0, position restored.
  IERemoveFileFormat(400);
  auto bad = std::make_unique<TIEFileFormatInfo>();
  bad->FormatId = 401;
  bad->ProbeProc = [](TStream* s, TIEFileFormat) -> bool {
    s->Seek(5, soBeginning);
    throw EReadError("probe failed");
  };
  IEAddFileFormat(std::move(bad));
  s.SetPosition(1);
  EXPECT_EQ(IEDetectStreamFormat(&s), 0);
  EXPECT_EQ(s.GetPosition(), 1);
  IEFreeFormatRegistry();
  IEBuildFormatRegistry();
}

TEST(FormatDetection, ProbesReadFromThePosition) {
  // The content probes look at the bytes from the position, not from 0.
  const Bytes prefix = Text("0123456");
  for (const Fixture& f : HandMade()) {
    if (f.Format == ioICO || f.Format == ioCUR || f.Format == ioALL) continue;  // offsets are absolute
    if (std::string(f.Name).find("stream header") != std::string::npos) continue;
    if (f.Format == ioGIF || f.Format == ioBMP || f.Format == ioPCX) continue;
    Bytes b = prefix;
    b.insert(b.end(), f.Data.begin(), f.Data.end());
    TMemoryStream s;
    Fill(s, b);
    s.SetPosition(int64_t(prefix.size()));
    EXPECT_EQ(IEDetectStreamFormat(&s), f.Format) << f.Name;
    EXPECT_EQ(s.GetPosition(), int64_t(prefix.size()));
  }
}

TEST(FormatDetection, EveryProbeRestoresThePosition) {
  // Every probe, on every fixture, whole and truncated, from several starting
  // positions (beyond the end included).
  std::vector<Bytes> inputs;
  for (const Fixture& f : HandMade()) {
    inputs.push_back(f.Data);
    for (size_t cut : {size_t(0), size_t(1), size_t(3), size_t(11), size_t(17), f.Data.size() / 2})
      if (cut < f.Data.size()) inputs.emplace_back(f.Data.begin(), f.Data.begin() + int64_t(cut));
  }
  for (const Bytes& in : inputs) {
    TMemoryStream s;
    Fill(s, in);
    for (int64_t start : {int64_t(0), int64_t(1), int64_t(in.size()), int64_t(in.size()) + 10}) {
      for (const NamedProbe& p : AllProbes()) {
        s.SetPosition(start);
        p.Fn(&s);
        EXPECT_EQ(s.GetPosition(), start) << p.Name << " size " << in.size() << " from " << start;
      }
    }
  }
}

TEST(FormatDetection, EmptyTinyAndRandomInputAreUnknown) {
  EXPECT_EQ(IEDetectStreamFormat(nullptr), 0);
  for (const Fixture& f : HandMade())
    for (size_t n = 0; n <= 3; ++n) EXPECT_EQ(Detect(Bytes(f.Data.begin(), f.Data.begin() + int64_t(n))), 0) << f.Name << n;
  std::mt19937 rng(20261210);
  for (size_t size : {1, 2, 5, 12, 13, 15, 24, 129, 200, 1000, 5000, 70000}) {
    for (int round = 0; round < 20; ++round) {
      Bytes b(size);
      for (auto& v : b) v = uint8_t(rng());
      EXPECT_EQ(Detect(b), 0) << size << "/" << round;
    }
    EXPECT_EQ(Detect(Bytes(size, 0x00)), 0) << size;
    EXPECT_EQ(Detect(Bytes(size, 0xFF)), 0) << size;
    EXPECT_EQ(Detect(Bytes(size, ' ')), 0) << size;
  }
}

TEST(FormatDetection, PnmTokens) {
  TMemoryStream s;
  Fill(s, Text("  P6\t# a comment \r\n12,abc #\nxyz#"));
  EXPECT_EQ(PnmReadToken(&s), "P6");
  EXPECT_EQ(PnmReadToken(&s), "#a comment");
  EXPECT_EQ(PnmReadToken(&s), "12");
  EXPECT_EQ(PnmReadToken(&s), "abc");
  EXPECT_EQ(PnmReadToken(&s), "#");
  EXPECT_EQ(PnmReadToken(&s), "xyz");  // the "#" that ends it is consumed
  EXPECT_EQ(PnmReadToken(&s), "");
  // The probe reads at most 501 tokens, comments included.
  std::string many;
  for (int i = 0; i < 498; ++i) many += "#c\n";
  EXPECT_EQ(Detect(Text(many + "P4 8 2\n..")), ioPXM);
  EXPECT_EQ(Detect(Text("#c\n" + many + "P4 8 2\n..")), 0);
  EXPECT_EQ(Detect(Text(many + "P5 2 2 255\n....")), 0);  // the maxval is the 502nd
  EXPECT_EQ(Detect(Text(many.substr(3) + "P5 2 2 255\n....")), ioPXM);
}

// A large sparse file: the size is taken in 64 bits, so a file beyond 2 GiB
// and 4 GiB is detected, not refused for a negative or wrapped size.
TEST(FormatDetection, FilesBeyondTwoGigabytes) {
  TempDir dir;
  struct Case {
    const char* Name;
    Bytes Head;
    int64_t Size;
    TIEFileFormat Format;
  } cases[] = {
      {"big.bmp", Text("BM"), (int64_t(1) << 31) + 10, ioBMP},
      {"big.tif", TiffWith({{256, 3, 1, 8}, {257, 3, 1, 8}}, (const uint8_t*)"II*\0"), (int64_t(1) << 32) + 10, ioTIFF},
      {"zeros.bin", {}, (int64_t(3) << 30), 0},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.Name);
    WriteFileBytes(path, c.Head);
    if (truncate(path.c_str(), c.Size) != 0) GTEST_SKIP() << "no sparse files here";
    EXPECT_EQ(IEDetectFileFormat(path, false), c.Format) << c.Name;
  }
}

// ---------------------------------------------------------------------------
// Files made by the peer tools.

struct PeerCase {
  std::string File;
  TIEFileFormat Format;
  TIEFileFormat Verified = -1;  // with the extension checked, when it differs
};

void CheckPeerFiles(const TempDir& dir, const std::vector<PeerCase>& cases) {
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.File);
    const std::string path = dir.file(c.File);
    const Bytes data = ReadFileBytes(path);
    ASSERT_FALSE(data.empty()) << "the tool made no file";
    EXPECT_EQ(IEDetectFileFormat(path, false), c.Format);
    EXPECT_EQ(IEDetectFileFormat(path, true), c.Verified < 0 ? c.Format : c.Verified);
    // The same bytes in a memory stream: the position comes back.
    TMemoryStream s;
    Fill(s, data);
    s.SetPosition(0);
    EXPECT_EQ(IEDetectStreamFormat(&s), c.Format);
    EXPECT_EQ(s.GetPosition(), 0);
  }
}

TEST(FormatDetection, ImageMagickFiles) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  const std::string src = dir.file("src.ppm");
  ASSERT_EQ(RunCommand("convert -size 48x32 gradient:white-navy -fill black -draw 'rectangle 4,4 20,20' '" + src + "'"), 0);
  // ImageMagick writes its cursors with the icon type: the content is an
  // icon and only the checked extension makes it a cursor.
  const std::vector<PeerCase> cases = {
      {"a.tif", ioTIFF}, {"b.tif", ioTIFF}, {"a.gif", ioGIF},  {"a.jpg", ioJPEG}, {"a.pcx", ioPCX},
      {"a.bmp", ioBMP},  {"a.png", ioPNG},  {"a.ico", ioICO},  {"a.cur", ioICO, ioCUR},  {"a.tga", ioTGA},
      {"a.ppm", ioPXM},  {"a.pgm", ioPXM},  {"a.pbm", ioPXM},  {"p.pbm", ioPXM},  {"a.psd", ioPSD},
      {"a.dcx", ioDCX},  {"a.jp2", ioJP2},  {"a.j2k", ioJ2K},
  };
  const std::string opts[] = {"",      "-compress lzw -endian MSB", "", "", "", "", "", "", "", "-compress RLE",
                              "",      "-colorspace gray",          "-monochrome", "-monochrome -compress none", "",
                              "",      "",                          ""};
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string out = dir.file(cases[i].File);
    if (RunCommand("convert '" + src + "' " + opts[i] + " '" + out + "' 2>/dev/null") != 0)
      ADD_FAILURE() << "convert could not write " << cases[i].File;
  }
  CheckPeerFiles(dir, cases);
}

TEST(FormatDetection, GhostscriptFiles) {
  if (!HaveTool("gs")) GTEST_SKIP() << "Ghostscript missing";
  TempDir dir;
  const std::string ps = dir.file("page.ps");
  WriteFileBytes(ps, Text("%!PS\n0 setgray 4 setlinewidth 10 10 moveto 150 90 lineto stroke\n"
                          "20 60 40 20 rectfill showpage\n"));
  struct Device {
    const char* Name;
    PeerCase Case;
  } devices[] = {
      {"tiffg4", {"g4.tif", ioTIFF}},  {"tiffg3", {"g3.tif", ioTIFF}},   {"tiff24nc", {"rgb.tif", ioTIFF}},
      {"pcxmono", {"m.pcx", ioPCX}},   {"pcx24b", {"c.pcx", ioPCX}},      {"bmpmono", {"m.bmp", ioBMP}},
      {"pngmono", {"m.png", ioPNG}},   {"jpeg", {"c.jpg", ioJPEG}},       {"pbmraw", {"m.pbm", ioPXM}},
      {"pgmraw", {"g.pgm", ioPXM}},    {"ppm", {"c.ppm", ioPXM}},         {"psdcmyk", {"c.psd", ioPSD}},
  };
  std::vector<PeerCase> cases;
  for (const Device& d : devices) {
    const std::string out = dir.file(d.Case.File);
    if (RunCommand(std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -g160x100 -r72 -sDEVICE=") + d.Name +
                   " -sOutputFile='" + out + "' '" + ps + "' >/dev/null 2>&1") != 0)
      continue;  // a device this Ghostscript lacks
    cases.push_back(d.Case);
  }
  ASSERT_GE(cases.size(), 6u);
  CheckPeerFiles(dir, cases);
}

TEST(FormatDetection, LibtiffFiles) {
  if (!HaveTool("tiffcp") || !HaveTool("ppm2tiff")) GTEST_SKIP() << "libtiff tools missing";
  TempDir dir;
  // A small P6 picture and a bilevel P4 one, written here.
  Bytes ppm = Text("P6\n8 4\n255\n");
  for (int i = 0; i < 8 * 4 * 3; ++i) ppm.push_back(uint8_t(i * 5));
  WriteFileBytes(dir.file("c.ppm"), ppm);
  Bytes pbm = Text("P4\n16 8\n");
  for (int i = 0; i < 16; ++i) pbm.push_back(uint8_t(i & 1 ? 0xF0 : 0x0F));
  WriteFileBytes(dir.file("m.pbm"), pbm);
  const std::string d = dir.path() + "/";
  const char* commands[] = {
      "ppm2tiff '%sc.ppm' '%sc.tif'",
      "ppm2tiff '%sm.pbm' '%sm.tif'",
      "tiffcp -c lzw '%sc.tif' '%slzw.tif'",
      "tiffcp -c packbits '%sc.tif' '%spackbits.tif'",
      "tiffcp -c zip '%sc.tif' '%szip.tif'",
      "tiffcp -B '%sc.tif' '%sbig.tif'",
      "tiffcp -c g4 '%sm.tif' '%sg4.tif'",
      "tiffcp -c g3:2d '%sm.tif' '%sg3.tif'",
      "tiffcp -t -w 16 -l 16 '%sc.tif' '%stiled.tif'",
  };
  std::vector<PeerCase> cases;
  for (const char* cmd : commands) {
    std::string c = cmd;
    std::string out;
    for (size_t p; (p = c.find("%s")) != std::string::npos;) c.replace(p, 2, d);
    const size_t last = c.rfind('\'', c.size() - 2);
    out = c.substr(last + 1, c.size() - last - 2);
    ASSERT_EQ(RunCommand(c + " 2>/dev/null"), 0) << c;
    cases.push_back({out.substr(d.size()), ioTIFF});
  }
  CheckPeerFiles(dir, cases);
}

TEST(FormatDetection, PillowFiles) {
  if (RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "Pillow missing";
  TempDir dir;
  const std::string script =
      "import sys\n"
      "from PIL import Image, ImageDraw\n"
      "d = sys.argv[1]\n"
      "im = Image.new('RGB', (40, 30), (250, 240, 200))\n"
      "ImageDraw.Draw(im).rectangle((5, 5, 20, 20), fill=(10, 20, 200))\n"
      "for name in ['a.tif', 'a.gif', 'a.jpg', 'a.pcx', 'a.bmp', 'a.png', 'a.ico', 'a.tga', 'a.ppm']:\n"
      "    im.save(d + '/' + name)\n"
      "im.convert('1').save(d + '/g4.tif', compression='group4')\n"
      "im.convert('1').save(d + '/m.pbm')\n"
      "im.save(d + '/rle.tga', compression='tga_rle')\n"
      "try:\n"
      "    im.save(d + '/a.jp2')\n"
      "    im.save(d + '/a.j2k')\n"
      "except Exception:\n"
      "    pass\n";
  WriteFileBytes(dir.file("make.py"), Text(script));
  ASSERT_EQ(RunCommand("/usr/bin/python3 '" + dir.file("make.py") + "' '" + dir.path() + "'"), 0);
  std::vector<PeerCase> cases = {{"a.tif", ioTIFF}, {"a.gif", ioGIF}, {"a.jpg", ioJPEG}, {"a.pcx", ioPCX},
                                 {"a.bmp", ioBMP},  {"a.png", ioPNG}, {"a.ico", ioICO},  {"a.tga", ioTGA},
                                 {"a.ppm", ioPXM},  {"g4.tif", ioTIFF}, {"m.pbm", ioPXM},
                                 {"rle.tga", ioTGA}};
  if (!ReadFileBytes(dir.file("a.jp2")).empty()) cases.push_back({"a.jp2", ioJP2});
  if (!ReadFileBytes(dir.file("a.j2k")).empty()) cases.push_back({"a.j2k", ioJ2K});
  CheckPeerFiles(dir, cases);
}

}  // namespace
