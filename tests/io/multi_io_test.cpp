#include "io/multi_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "formats/io_params.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "support/avi_writer.h"
#include "support/http_test_server.h"
#include "support/test_support.h"
#include "views/multi_view.h"

namespace {

using namespace testsupport;

constexpr int32_t kW = 40, kH = 30;

// Page k of the fixture: white with a black square whose side and place
// depend on k, so pages cannot be mistaken for one another.
bool FixtureBlack(int32_t k, int32_t x, int32_t y) {
  const int32_t X0 = 3 + 7 * k, Y0 = 2 + 3 * k, Side = 6 + 2 * k;
  return x >= X0 && x < X0 + Side && y >= Y0 && y < Y0 + Side;
}

// A binary PBM of page k (1 = black).
void WritePbm(const std::string& Path, int32_t k) {
  std::string Head = "P4\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n";
  std::vector<uint8_t> Data(Head.begin(), Head.end());
  const int32_t RowBytes = (kW + 7) / 8;
  for (int32_t y = 0; y < kH; ++y) {
    std::vector<uint8_t> Row(static_cast<size_t>(RowBytes), 0);
    for (int32_t x = 0; x < kW; ++x)
      if (FixtureBlack(k, x, y)) Row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    Data.insert(Data.end(), Row.begin(), Row.end());
  }
  WriteFileBytes(Path, Data);
}

// A three-page Group 4 TIFF made by ImageMagick, at 200 x 100 dpi.
std::string MakeG4(const TempDir& Dir) {
  std::string Cmd = "convert";
  for (int32_t k = 0; k < 3; ++k) {
    const std::string P = Dir.file("p" + std::to_string(k) + ".pbm");
    WritePbm(P, k);
    Cmd += " " + P;
  }
  const std::string Out = Dir.file("doc.tif");
  Cmd += " -units PixelsPerInch -density 200x100 -compress Group4 " + Out;
  EXPECT_EQ(RunCommand(Cmd), 0);
  return Out;
}

// Black is 0 in a 1-bit page; any other format is read as its gray level.
bool IsBlack(TIEBitmap& B, int32_t x, int32_t y) {
  if (B.GetPixelFormat() == ie1g) return ((B.GetScanline(y)[x / 8] >> (7 - x % 8)) & 1) == 0;
  if (B.GetPixelFormat() == ie24RGB) return B.GetPixel24(x, y).g < 128;
  return B.GetPixel8(x, y) < 128;
}

void ExpectPage(TFolioMView& V, int32_t Entry, int32_t k) {
  TIEBitmap B;
  V.CopyToIEBitmap(Entry, &B);
  ASSERT_EQ(B.GetWidth(), kW);
  ASSERT_EQ(B.GetHeight(), kH);
  int32_t Wrong = 0;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) Wrong += IsBlack(B, x, y) != FixtureBlack(k, x, y);
  EXPECT_EQ(Wrong, 0) << "entry " << Entry << " page " << k;
}

// Temporary files a save may leave beside the document (hidden names; the
// fixtures themselves are never hidden).
int32_t CountSavingLeftovers(const TempDir& Dir) {
  int32_t n = 0;
  for (const auto& E : std::filesystem::directory_iterator(Dir.path())) {
    if (E.path().filename().string().rfind('.', 0) == 0) ++n;
  }
  return n;
}

struct MultiIOTest : ::testing::Test {
  void SetUp() override {
    V = std::make_unique<TFolioMView>(nullptr);
    M = std::make_unique<TFolioMIO>(nullptr);
    M->SetAttachedMView(V.get());
  }
  std::unique_ptr<TFolioMView> V;
  std::unique_ptr<TFolioMIO> M;
  TempDir Dir;
};

TEST_F(MultiIOTest, LoadsEveryPageWithItsParameters) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string File = MakeG4(Dir);
  int32_t Finished = 0;
  M->OnFinishWork = [&](TObject*) { ++Finished; };
  M->LoadTiffFile(File);
  EXPECT_FALSE(M->GetAborting());
  EXPECT_EQ(Finished, 1);
  ASSERT_EQ(V->GetImageCount(), 3);
  ASSERT_EQ(M->GetImageCount(), 3);
  for (int32_t k = 0; k < 3; ++k) {
    ExpectPage(*V, k, k);
    TIOParamsVals* P = M->ParamsOf(k);
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(P->ImageIndex, k);
    EXPECT_EQ(P->FileFormat, ioTIFF);
    EXPECT_EQ(P->FileName, File);
    EXPECT_EQ(P->DpiX, 200);
    EXPECT_EQ(P->DpiY, 100);
    EXPECT_EQ(P->TiffCompression, ietcG4Fax);
    EXPECT_EQ(V->GetImageDelayTime(k), 100);
  }
  EXPECT_EQ(M->ParamsOf(3), nullptr);
  EXPECT_EQ(M->ParamsOf(-1), nullptr);

  // A second load with entry 1 selected goes in before it.
  V->SetSelectedImage(1);
  M->LoadTiffFile(File);
  ASSERT_EQ(V->GetImageCount(), 6);
  ASSERT_EQ(M->GetImageCount(), 6);
  const int32_t Expected[6] = {0, 0, 1, 2, 1, 2};
  for (int32_t e = 0; e < 6; ++e) ExpectPage(*V, e, Expected[e]);
  EXPECT_EQ(M->ParamsOf(1)->ImageIndex, 1);
  EXPECT_EQ(M->ParamsOf(3)->ImageIndex, 3);
}

TEST_F(MultiIOTest, PagesWithoutResolutionGetTheDefault) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  WritePbm(Dir.file("n.pbm"), 1);
  const std::string File = Dir.file("nores.tif");
  ASSERT_EQ(RunCommand("convert " + Dir.file("n.pbm") + " " + Dir.file("n.pbm") + " -compress Group4 " + File), 0);
  M->LoadTiffFile(File);
  ASSERT_EQ(M->GetImageCount(), 2);
  for (int32_t k = 0; k < 2; ++k) {
    ExpectPage(*V, k, 1);
    EXPECT_EQ(M->ParamsOf(k)->DpiX, 300);
    EXPECT_EQ(M->ParamsOf(k)->DpiY, 300);
  }
}

TEST_F(MultiIOTest, BrokenPageStopsTheLoadKeepingEarlierPages) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string File = MakeG4(Dir);
  // Give the third page a compression scheme that cannot be decoded.
  std::vector<uint8_t> Bytes = ReadFileBytes(File);
  ASSERT_GE(Bytes.size(), 8u);
  ASSERT_EQ(Bytes[0], 'I');  // ImageMagick writes little-endian files
  auto U16 = [&](size_t o) { return static_cast<uint32_t>(Bytes.at(o) | (Bytes.at(o + 1) << 8)); };
  auto U32 = [&](size_t o) { return U16(o) | (U16(o + 2) << 16); };
  size_t Ifd = U32(4);
  for (int32_t k = 0; k < 2; ++k) Ifd = U32(Ifd + 2 + 12 * U16(Ifd));
  bool Patched = false;
  for (uint32_t e = 0; e < U16(Ifd); ++e) {
    const size_t At = Ifd + 2 + 12 * e;
    if (U16(At) == 259) {  // compression: a scheme nobody knows
      Bytes[At + 8] = 0x60;
      Bytes[At + 9] = 0xEA;
      Patched = true;
    }
  }
  ASSERT_TRUE(Patched);
  WriteFileBytes(Dir.file("bad.tif"), Bytes);
  M->LoadTiffFile(Dir.file("bad.tif"));
  EXPECT_TRUE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), 2);
  ASSERT_EQ(M->GetImageCount(), 2);
  for (int32_t e = 0; e < 2; ++e) ExpectPage(*V, e, e);

  // A chain that points past the end of the file (a file cut off): the
  // pages before the cut are kept, and the loss is reported.
  {
    std::vector<uint8_t> Cut = ReadFileBytes(File);
    size_t Second = U32(4);
    Second = U32(Second + 2 + 12 * U16(Second));
    const size_t NextAt = Second + 2 + 12 * U16(Second);
    const uint32_t Beyond = static_cast<uint32_t>(Cut.size() + 4096);
    for (int32_t b = 0; b < 4; ++b) Cut[NextAt + b] = static_cast<uint8_t>(Beyond >> (8 * b));
    WriteFileBytes(Dir.file("cut.tif"), Cut);
    TFolioMView V2(nullptr);
    TFolioMIO M2(nullptr);
    M2.SetAttachedMView(&V2);
    M2.LoadTiffFile(Dir.file("cut.tif"));
    EXPECT_TRUE(M2.GetAborting());
    ASSERT_EQ(V2.GetImageCount(), 2);
    for (int32_t e = 0; e < 2; ++e) ExpectPage(V2, e, e);
  }

  // A header whose first directory lies beyond the end, and garbage: no
  // page, and the failure is reported.
  for (std::vector<uint8_t> Junk : {std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 12),
                                    std::vector<uint8_t>(100, 0x5A)}) {
    WriteFileBytes(Dir.file("junk.tif"), Junk);
    TFolioMView V2(nullptr);
    TFolioMIO M2(nullptr);
    M2.SetAttachedMView(&V2);
    M2.LoadTiffFile(Dir.file("junk.tif"));
    EXPECT_TRUE(M2.GetAborting());
    EXPECT_EQ(V2.GetImageCount(), 0);
    EXPECT_EQ(M2.GetImageCount(), 0);
  }
}

TEST_F(MultiIOTest, RecordsFollowInsertDeleteMoveAndAttach) {
  for (int32_t i = 0; i < 4; ++i) V->InsertImage(i);
  ASSERT_EQ(M->GetImageCount(), 4);
  for (int32_t i = 0; i < 4; ++i) M->ParamsOf(i)->FileName = std::string(1, static_cast<char>('a' + i));
  auto Names = [&] {
    std::string S;
    for (int32_t i = 0; i < M->GetImageCount(); ++i) S += M->ParamsOf(i)->FileName;
    return S;
  };
  V->DeleteImage(1);
  EXPECT_EQ(Names(), "acd");
  V->MoveImage(0, 2);
  EXPECT_EQ(Names(), "cda");
  V->MoveImage(2, 100);  // already last
  EXPECT_EQ(Names(), "cda");
  V->MoveImage(0, 100);  // beyond the end: to the last place
  EXPECT_EQ(Names(), "dac");
  // An inserted record takes its neighbour's encoding options.
  M->ParamsOf(1)->TiffCompression = ietcG4Fax;
  V->InsertImageNoSelect(1);
  EXPECT_EQ(Names(), "dac");  // new record has an empty name
  EXPECT_EQ(M->GetImageCount(), 4);
  EXPECT_EQ(M->ParamsOf(1)->TiffCompression, ietcG4Fax);

  // A component attached later catches up with the entries.
  TFolioMIO Late(nullptr);
  Late.SetAttachedMView(V.get());
  EXPECT_EQ(Late.GetImageCount(), 4);
  // The view going first leaves both components detached and sound.
  V.reset();
  EXPECT_EQ(M->GetAttachedMView(), nullptr);
  EXPECT_EQ(Late.GetAttachedMView(), nullptr);
  EXPECT_EQ(M->GetImageCount(), 4);
}

TEST_F(MultiIOTest, SaveRoundTripReadsRightInPeerTools) {
  if (!HaveTool("convert") || !HaveTool("tiffcp") || !HaveTool("tiffcmp")) GTEST_SKIP() << "tools missing";
  const std::string File = MakeG4(Dir);
  M->LoadTiffFile(File);
  ASSERT_EQ(V->GetImageCount(), 3);
  const std::string Saved = Dir.file("saved.tif");
  M->SaveTiffFile(Saved, false);
  ASSERT_FALSE(M->GetAborting());
  EXPECT_EQ(CountSavingLeftovers(Dir), 0);
  // Page for page through libtiff: copy both to uncompressed and compare.
  ASSERT_EQ(RunCommand("tiffcp -c none " + File + " " + Dir.file("a.tif")), 0);
  ASSERT_EQ(RunCommand("tiffcp -c none " + Saved + " " + Dir.file("b.tif")), 0);
  std::string Out;
  EXPECT_EQ(RunCommand("tiffcmp " + Dir.file("a.tif") + " " + Dir.file("b.tif"), &Out), 0) << Out;

  // And it reads back here the same, with its resolution.
  TFolioMView V2(nullptr);
  TFolioMIO M2(nullptr);
  M2.SetAttachedMView(&V2);
  M2.LoadTiffFile(Saved);
  ASSERT_EQ(V2.GetImageCount(), 3);
  for (int32_t k = 0; k < 3; ++k) {
    ExpectPage(V2, k, k);
    EXPECT_EQ(M2.ParamsOf(k)->DpiX, 200);
    EXPECT_EQ(M2.ParamsOf(k)->DpiY, 100);
  }

  // Selected pages only, in selection order.
  V->SetEnableMultiSelect(true);
  V->SetMultiSelecting(true);
  V->SetSelectedImage(2);
  V->SetSelectedImage(0);
  V->SetMultiSelecting(false);
  ASSERT_EQ(V->GetMultiSelectedCount(), 2);
  M->SaveTiffFile(Saved, true);
  ASSERT_FALSE(M->GetAborting());
  TFolioMView V3(nullptr);
  TFolioMIO M3(nullptr);
  M3.SetAttachedMView(&V3);
  M3.LoadTiffFile(Saved);
  ASSERT_EQ(V3.GetImageCount(), 2);
  ExpectPage(V3, 0, 2);
  ExpectPage(V3, 1, 0);
  EXPECT_EQ(M->ParamsOf(2)->ImageIndex, 0);
  EXPECT_EQ(M->ParamsOf(0)->ImageIndex, 1);
}

TEST_F(MultiIOTest, FailedSaveLeavesTheOldFileUntouched) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string File = MakeG4(Dir);
  M->LoadTiffFile(File);
  const std::vector<uint8_t> Before = ReadFileBytes(File);
  // An entry without an image cannot be written.
  V->InsertImageNoSelect(3);
  M->SaveTiffFile(File, false);
  EXPECT_TRUE(M->GetAborting());
  EXPECT_EQ(ReadFileBytes(File), Before);
  EXPECT_EQ(CountSavingLeftovers(Dir), 0);

  // A complete save replaces the file but keeps its permissions.
  V->DeleteImage(3);
  ASSERT_EQ(::chmod(File.c_str(), 0640), 0);
  M->SaveTiffFile(File, false);
  EXPECT_FALSE(M->GetAborting());
  struct stat St;
  ASSERT_EQ(::stat(File.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0640u);
  EXPECT_NE(ReadFileBytes(File), Before);
  EXPECT_EQ(CountSavingLeftovers(Dir), 0);

  // Saved through a symbolic link: the file it names gets the document, the
  // link stays a link.
  const std::string Link = Dir.file("link.tif");
  std::filesystem::create_symlink(File, Link);
  V->DeleteImage(2);
  M->SaveTiffFile(Link, false);
  EXPECT_FALSE(M->GetAborting());
  EXPECT_TRUE(std::filesystem::is_symlink(Link));
  EXPECT_EQ(IETiffFileImageCount(File), 2);
  EXPECT_EQ(CountSavingLeftovers(Dir), 0);

  // A read-only document is not replaced (unless we are the superuser, who
  // may write it anyway).
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(File.c_str(), 0440), 0);
    const std::vector<uint8_t> Kept = ReadFileBytes(File);
    EXPECT_THROW(M->SaveTiffFile(File, false), EFCreateError);
    EXPECT_TRUE(M->GetAborting());
    EXPECT_EQ(ReadFileBytes(File), Kept);
  }

  // A folder that cannot take the file: the file system's reason, and no
  // stray files.
  EXPECT_THROW(M->SaveTiffFile(Dir.file("no/such/folder/x.tif"), false), EFCreateError);
}

TEST_F(MultiIOTest, DcxRoundTripReadsRightInPillow) {
  if (!HaveTool("convert") || !HaveTool("/usr/bin/python3")) GTEST_SKIP() << "ImageMagick or Python missing";
  M->LoadTiffFile(MakeG4(Dir));
  ASSERT_EQ(V->GetImageCount(), 3);
  const std::string Dcx = Dir.file("doc.dcx");
  M->SaveDcxFile(Dcx);
  ASSERT_FALSE(M->GetAborting());
  EXPECT_EQ(CountSavingLeftovers(Dir), 0);
  // The peer sees three pages, each the source page.  (Pillow: this
  // ImageMagick reads every 1-bit PCX page black, whoever wrote it.)
  std::string Out;
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"from PIL import Image\n"
                       "im = Image.open('" + Dcx + "')\n"
                       "print(im.n_frames)\n"
                       "for k in range(im.n_frames):\n"
                       "  im.seek(k)\n"
                       "  ref = Image.open('" + Dir.path() + "/p%d.pbm' % k).convert('1')\n"
                       "  print(sum(a != b for a, b in zip(im.convert('1').getdata(), ref.getdata())))\n\"",
                       &Out),
            0);
  EXPECT_EQ(Out, "3\n0\n0\n0\n");
  // And back here through the name, after a page that was already there.
  V->Clear();
  ASSERT_EQ(M->GetImageCount(), 0);
  V->InsertImage(0);
  V->Deselect();
  M->LoadFile(Dcx);
  ASSERT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), 4);
  ASSERT_EQ(M->GetImageCount(), 4);
  for (int32_t k = 0; k < 3; ++k) {
    ExpectPage(*V, k + 1, k);
    EXPECT_EQ(M->ParamsOf(k + 1)->FileFormat, ioDCX);
    EXPECT_EQ(M->ParamsOf(k + 1)->ImageIndex, k + 1);
    EXPECT_EQ(M->ParamsOf(k + 1)->FileName, Dcx);
  }
  // Not a DCX: nothing inserted, the failure reported.
  WriteFileBytes(Dir.file("bad.dcx"), std::vector<uint8_t>(64, 0x11));
  M->LoadDcxFile(Dir.file("bad.dcx"));
  EXPECT_TRUE(M->GetAborting());
  EXPECT_EQ(V->GetImageCount(), 4);
  EXPECT_EQ(M->GetImageCount(), 4);
}

TEST_F(MultiIOTest, LoadFileChoosesTheLoaderByName) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string G4 = MakeG4(Dir);
  // The same document under the other fax extensions, a one-page PCX and
  // GIF, and names whose formats this build cannot read.
  ASSERT_EQ(RunCommand("cp " + G4 + " " + Dir.file("doc.fax")), 0);
  ASSERT_EQ(RunCommand("convert " + Dir.file("p1.pbm") + " " + Dir.file("one.pcx")), 0);
  ASSERT_EQ(RunCommand("convert " + Dir.file("p1.pbm") + " " + Dir.file("one.gif")), 0);
  WriteFileBytes(Dir.file("clip.mpg"), std::vector<uint8_t>(32, 0));
  WriteFileBytes(Dir.file("broken.pcx"), std::vector<uint8_t>(40, 0x0A));
  struct Case {
    std::string Name;
    bool Aborting;
    int32_t Added;
    int32_t Format;
    int32_t Finished;
  } Cases[] = {
      {G4, false, 3, ioTIFF, 1},
      {Dir.file("doc.fax"), false, 3, ioTIFF, 1},
      {Dir.file("one.pcx"), false, 1, ioPCX, 1},
      {Dir.file("broken.pcx"), true, 0, 0, 1},
      {Dir.file("one.gif"), false, 1, ioGIF, 1},
      {Dir.file("clip.mpg"), true, 0, 0, 1},
      {"HTTP://127.0.0.1:" + std::to_string(testsupport::HttpTestServer::UnusedPort()) + "/doc.tif", true, 0, 0, 1},
      {"   ", true, 0, 0, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TFolioMView View(nullptr);
    TFolioMIO Mio(nullptr);
    Mio.SetAttachedMView(&View);
    int32_t Finished = 0;
    Mio.OnFinishWork = [&](TObject*) { ++Finished; };
    Mio.LoadFile(C.Name);
    EXPECT_EQ(Mio.GetAborting(), C.Aborting);
    EXPECT_EQ(Finished, C.Finished);
    ASSERT_EQ(View.GetImageCount(), C.Added);
    ASSERT_EQ(Mio.GetImageCount(), C.Added);
    if (C.Added > 0) {
      EXPECT_EQ(Mio.ParamsOf(0)->FileFormat, C.Format);
    }
    if (C.Format == ioPCX || C.Format == ioGIF) ExpectPage(View, 0, 1);
  }
  // A missing file is the file system's error, after the work finished.
  EXPECT_THROW(M->LoadFile(Dir.file("missing.tif")), EFOpenError);
  EXPECT_EQ(V->GetImageCount(), 0);
}

TEST_F(MultiIOTest, ClearAndTheViewsOwnComponentStayInStep) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string File = MakeG4(Dir);
  M->LoadTiffFile(File);
  ASSERT_EQ(M->GetImageCount(), 3);
  // The view's own component catches up, and hears every later change.
  TFolioMIO* Own = V->GetMIO();
  ASSERT_NE(Own, nullptr);
  EXPECT_EQ(V->GetMIO(), Own);
  EXPECT_EQ(Own->GetAttachedMView(), V.get());
  EXPECT_EQ(Own->GetImageCount(), 3);
  V->Clear();
  EXPECT_EQ(M->GetImageCount(), 0);
  EXPECT_EQ(Own->GetImageCount(), 0);
  M->LoadTiffFile(File);
  EXPECT_EQ(M->GetImageCount(), 3);
  EXPECT_EQ(Own->GetImageCount(), 3);
  // One page read into an existing entry through the view: its record in the
  // view's own component describes it.
  ASSERT_TRUE(V->SetImageFromFile(1, File, 2));
  ExpectPage(*V, 1, 2);
  EXPECT_EQ(Own->ParamsOf(1)->TiffCompression, ietcG4Fax);
  // An unreadable file leaves the placeholder and answers false.
  EXPECT_FALSE(V->SetImageFromFile(0, Dir.file("missing.tif"), 0));
  EXPECT_TRUE(V->HasImage(0));
  EXPECT_FALSE(V->SetImageFromFile(7, File, 0));
  // The view takes its component with it (the sanitizer build checks).
}

}  // namespace

namespace {

TEST_F(MultiIOTest, AcquiredImagesGoInAtTheAcquirePosition) {
  for (int32_t i = 0; i < 2; ++i) V->InsertImage(i);
  std::vector<int32_t> After;
  M->OnAfterAcquireBitmap = [&](TObject*, int32_t Index) { After.push_back(Index); };
  auto Page = [](int32_t k) {
    auto B = TIEBitmap::CreateSized(kW, kH, ie1g);
    B->Fill(1);
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x)
        if (FixtureBlack(k, x, y)) B->GetScanline(y)[x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
    return B;
  };
  // A position beyond the end is clamped; each image goes after the last.
  M->SetAcquirePosition(10);
  for (int32_t k = 0; k < 2; ++k) {
    auto B = Page(k);
    TIOParamsVals* Rec = nullptr;
    M->ReceiveAcquiredBitmap(B.get(), Rec);
    ASSERT_EQ(Rec, M->ParamsOf(2 + k));
    Rec->SetDpiX(200);
  }
  EXPECT_EQ(After, (std::vector<int32_t>{2, 3}));
  ASSERT_EQ(V->GetImageCount(), 4);
  ASSERT_EQ(M->GetImageCount(), 4);
  ExpectPage(*V, 2, 0);
  ExpectPage(*V, 3, 1);
  EXPECT_EQ(V->GetImageDelayTime(3), 100);
  // A handler that keeps the image out of the view.
  M->OnAcquireBitmap = [](TObject*, TIEBitmap*, bool& Handled) { Handled = true; };
  auto B = Page(2);
  TIOParamsVals* Rec = nullptr;
  M->ReceiveAcquiredBitmap(B.get(), Rec);
  EXPECT_EQ(Rec, nullptr);
  EXPECT_EQ(V->GetImageCount(), 4);
  // No scanner interface here: nothing acquired, nothing changed.
  EXPECT_FALSE(M->AcquirePages(0));
  EXPECT_FALSE(M->AcquirePages(7));
  EXPECT_EQ(V->GetImageCount(), 4);
}

TEST_F(MultiIOTest, ParamsDialogForAllPagesSpreadsPageZerosOptions) {
  for (int32_t i = 0; i < 3; ++i) V->InsertImage(i);
  auto B = TIEBitmap::CreateSized(8, 8, ie24RGB);
  for (int32_t i = 0; i < 3; ++i) V->SetIEBitmap(i, B.get());
  M->ParamsOf(0)->TiffCompression = ietcG4Fax;
  M->ParamsOf(2)->TiffCompression = ietcLZW;
  M->ParamsOf(2)->FileName = "kept";
  // Answered as cancelled, yet page 0's options reach every page (and
  // nothing else of a record changes).
  EXPECT_FALSE(M->ShowParamsPreviews(-1, 0));
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(M->ParamsOf(i)->TiffCompression, ietcG4Fax);
  EXPECT_EQ(M->ParamsOf(2)->FileName, "kept");
  // For one page nothing spreads.
  M->ParamsOf(1)->TiffCompression = ietcLZW;
  EXPECT_FALSE(M->ShowParamsPreviews(1, 0));
  EXPECT_EQ(M->ParamsOf(2)->TiffCompression, ietcG4Fax);
  // A handler takes the dialog's place.
  M->OnDoPreviews = [](TObject*, bool& Handled) { Handled = true; };
  EXPECT_TRUE(M->ShowParamsPreviews(0, 0));
}

TEST(MultiIOForm, ReadsFromAFormResourceAndFollowsItsView) {
  TForm Form(nullptr);
  int32_t Finished = 0;
  Form.BindHandlerFn("Done", TNotifyEvent([&](TObject*) { ++Finished; }));
  Form.ReadFormResourceText(
      "object F: TForm\n"
      "  object FolioMIO1: TFolioMIO\n"
      "    AttachedMView = FolioMView1\n"
      "    AutoAdjustDPI = True\n"
      "    SimplifiedParamsDialogs = False\n"
      "    DialogsMeasureUnit = ieduCm\n"
      "    PreviewsParams = [ioppApplyButton]\n"
      "    PreviewFont.Name = 'DejaVu Sans'\n"
      "    OnFinishWork = Done\n"
      "  end\n"
      "  object FolioMView1: TFolioMView\n"
      "  end\n"
      "end\n");
  auto* M = dynamic_cast<TFolioMIO*>(Form.FindComponent("FolioMIO1"));
  auto* V = dynamic_cast<TFolioMView*>(Form.FindComponent("FolioMView1"));
  ASSERT_NE(M, nullptr);
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(M->GetAttachedMView(), V);
  EXPECT_TRUE(M->GetAutoAdjustDPI());
  EXPECT_FALSE(M->GetSimplifiedParamsDialogs());
  EXPECT_EQ(M->GetDialogsMeasureUnit(), ieduCm);
  EXPECT_EQ(M->GetPreviewsParams(), ioppApplyButton);
  EXPECT_EQ(M->GetPreviewFont()->GetName(), "DejaVu Sans");
  V->InsertImage(0);
  EXPECT_EQ(M->GetImageCount(), 1);
  M->DoFinishWork();
  EXPECT_EQ(Finished, 1);
}

}  // namespace

namespace {

// Every pixel of entry Entry equals frame k of Frames.
void ExpectFrame(TFolioMView& V, int32_t Entry, const TVideoFrames& Frames, int32_t k) {
  TIEBitmap B;
  V.CopyToIEBitmap(Entry, &B);
  ASSERT_EQ(B.GetWidth(), Frames.Width);
  ASSERT_EQ(B.GetHeight(), Frames.Height);
  int32_t Wrong = 0;
  for (int32_t y = 0; y < Frames.Height; ++y)
    for (int32_t x = 0; x < Frames.Width; ++x) {
      const uint8_t* p = &Frames.Pixels[size_t(k)][(size_t(y) * Frames.Width + x) * 3];
      const TRGB c = B.GetPixel24(x, y);
      Wrong += c.b != p[0] || c.g != p[1] || c.r != p[2];
    }
  EXPECT_EQ(Wrong, 0) << "entry " << Entry << " frame " << k;
}

TEST_F(MultiIOTest, VideoFramesBecomePagesWithTheirTiming) {
  const TVideoFrames Frames = MakeTestFrames(16, 12, 5);
  WriteFileBytes(Dir.file("clip.avi"), MakeAvi(Frames, 25, 1));
  // An existing page stays in front: nothing is selected.
  V->InsertImage(0);
  V->Deselect();
  int32_t Finished = 0;
  M->OnFinishWork = [&](TObject*) { ++Finished; };
  M->LoadFile(Dir.file("clip.avi"));
  EXPECT_FALSE(M->GetAborting());
  EXPECT_EQ(Finished, 1);
  ASSERT_EQ(V->GetImageCount(), 6);
  ASSERT_EQ(M->GetImageCount(), 6);
  for (int32_t k = 0; k < 5; ++k) {
    ExpectFrame(*V, k + 1, Frames, k);
    EXPECT_EQ(V->GetImageDelayTime(k + 1), 40);
    const TIOParamsVals* P = M->ParamsOf(k + 1);
    EXPECT_EQ(P->FileFormat, ioAVI);
    EXPECT_EQ(P->ImageIndex, k + 1);
    EXPECT_EQ(P->FileName, Dir.file("clip.avi"));
    EXPECT_EQ(P->DpiX, 300);
    EXPECT_EQ(P->Width, 16);
    EXPECT_EQ(P->BitsPerSample * P->SamplesPerPixel, 24);
    EXPECT_EQ(P->AviFrameDuration, 40);
  }

  // A header that states a rate of 0: the frames still come, at a default
  // pace instead of a division by zero.
  WriteFileBytes(Dir.file("zero.avi"), MakeAvi(Frames, 0, 1));
  V->Clear();
  M->LoadAviFile(Dir.file("zero.avi"));
  EXPECT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), 5);
  ExpectFrame(*V, 4, Frames, 4);
  EXPECT_GT(V->GetImageDelayTime(0), 0);
}

TEST_F(MultiIOTest, OtherMediaGoThroughTheMediaObject) {
  // Three gray frames at 10 per second.
  std::vector<std::vector<uint8_t>> Gray;
  for (int32_t k = 0; k < 3; ++k) {
    std::vector<uint8_t> F(8 * 6, static_cast<uint8_t>(40 + 60 * k));
    F[static_cast<size_t>(k)] = 255;
    Gray.push_back(F);
  }
  WriteFileBytes(Dir.file("clip.y4m"), MakeY4mGray(8, 6, 10, 1, Gray));
  M->LoadFile(Dir.file("clip.y4m"));
  EXPECT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), 3);
  ASSERT_EQ(M->GetImageCount(), 3);
  for (int32_t k = 0; k < 3; ++k) {
    TIEBitmap B;
    V->CopyToIEBitmap(k, &B);
    ASSERT_EQ(B.GetWidth(), 8);
    EXPECT_EQ(B.GetPixel24(4, 3).g, 40 + 60 * k);
    EXPECT_EQ(B.GetPixel24(k, 0).g, 255);
    EXPECT_EQ(V->GetImageDelayTime(k), 100);
    EXPECT_EQ(M->ParamsOf(k)->FileFormat, 0);
    EXPECT_EQ(M->ParamsOf(k)->FileName, Dir.file("clip.y4m"));
  }
  // Damaged videos add nothing and say so, under either name.
  std::vector<uint8_t> Junk(300);
  for (size_t i = 0; i < Junk.size(); ++i) Junk[i] = static_cast<uint8_t>(i * 37 + 11);
  for (const char* Name : {"junk.avi", "junk.mkv"}) {
    SCOPED_TRACE(Name);
    WriteFileBytes(Dir.file(Name), Junk);
    int32_t Finished = 0;
    M->OnFinishWork = [&](TObject*) { ++Finished; };
    M->LoadFile(Dir.file(Name));
    EXPECT_TRUE(M->GetAborting());
    EXPECT_EQ(Finished, 1);
    EXPECT_EQ(V->GetImageCount(), 3);
    EXPECT_EQ(M->GetImageCount(), 3);
  }
}

}  // namespace

namespace {

TEST_F(MultiIOTest, DocumentsLoadFromUrls) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::vector<uint8_t> G4 = ReadFileBytes(MakeG4(Dir));
  ASSERT_EQ(RunCommand("convert " + Dir.file("p2.pbm") + " " + Dir.file("one.pcx")), 0);
  const std::vector<uint8_t> Pcx = ReadFileBytes(Dir.file("one.pcx"));
  testsupport::HttpTestServer Server({
      {"/doc", {200, "image/tiff", std::string(G4.begin(), G4.end())}},
      {"/page", {200, "application/octet-stream", std::string(Pcx.begin(), Pcx.end()), testsupport::HttpReply::Close}},
      {"/gone", {404, "text/html", "<html>no</html>"}},
  });
  // A whole document, every page described as coming from the URL.
  int32_t Finished = 0;
  M->OnFinishWork = [&](TObject*) { ++Finished; };
  M->SetAborting(true);  // left from an earlier failure: must not matter
  M->LoadFile(Server.Url("/doc"));
  EXPECT_FALSE(M->GetAborting());
  EXPECT_EQ(Finished, 1);
  ASSERT_EQ(V->GetImageCount(), 3);
  for (int32_t k = 0; k < 3; ++k) {
    ExpectPage(*V, k, k);
    EXPECT_EQ(M->ParamsOf(k)->FileName, Server.Url("/doc"));
  }
  // A one-page format the stream loaders do not take goes through a scratch
  // copy, yet the page names the URL.
  V->Deselect();
  M->LoadFile(Server.Url("/page"));
  EXPECT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), 4);
  ExpectPage(*V, 3, 2);
  EXPECT_EQ(M->ParamsOf(3)->FileName, Server.Url("/page"));
  EXPECT_EQ(M->ParamsOf(3)->FileFormat, ioPCX);
  // An error page and a server that is not there add nothing and say so.
  for (const std::string& Url :
       {Server.Url("/gone"), "http://127.0.0.1:" + std::to_string(testsupport::HttpTestServer::UnusedPort()) + "/x"}) {
    SCOPED_TRACE(Url);
    Finished = 0;
    M->LoadUrl(Url);
    EXPECT_TRUE(M->GetAborting());
    EXPECT_EQ(Finished, 1);
    EXPECT_EQ(V->GetImageCount(), 4);
    EXPECT_EQ(M->GetImageCount(), 4);
  }
}

}  // namespace
