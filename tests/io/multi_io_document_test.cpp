// Whole-document checks of the page list road: a long Group 4 fax made by
// peer tools goes into the page list, is edited page by page and written
// back, and libtiff (through Pillow and tiffinfo) sees every page as it
// should; a long colour document loads with only a few pages in memory.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "formats/io_params.h"
#include "io/multi_io.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_writer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/bitmap_bytes.h"
#include "support/test_support.h"
#include "views/multi_view.h"

namespace {

using namespace testsupport;

constexpr int32_t kFaxWidth = 1728;
constexpr int32_t kFaxRowBytes = kFaxWidth / 8;
constexpr int32_t kFaxPages = 100;
const char* const kPython = "/usr/bin/python3";

// Page k of the fax: 204 x 98 dpi and 1100 rows, every third page (k % 3 == 1)
// fine mode, 204 x 196 dpi and 2200 rows.  Each page carries its number as
// text, lines and a block placed by k, so no two pages are alike.
bool IsFine(int32_t k) { return k % 3 == 1; }

// Draws the pages with Pillow, one Group 4 file each (Pillow writes them
// min-is-black, in several strips), dumps the pixels Pillow drew (rows of
// packed bits, 1 = white) into src.raw, and joins the pages with tiffcp.
const char* const kMakeFax = R"PY(
import sys
from PIL import Image, ImageDraw
out, n = sys.argv[1], int(sys.argv[2])
raw = open(out + "/src.raw", "wb")
names = []
for k in range(n):
    fine = k % 3 == 1
    h = 2200 if fine else 1100
    im = Image.new("1", (1728, h), 1)
    d = ImageDraw.Draw(im)
    d.text((100 + 7 * k, 60), "PAGE %03d" % k, fill=0)
    for j in range(12):
        y = 150 + j * (h - 200) // 12 + (k * 5) % 37
        d.line((40 + (k * 13 + j * 31) % 400, y, 1700 - (k * 7) % 300, y + j * k % 50), fill=0, width=1 + (k + j) % 4)
    d.rectangle((1728 - 20 - k * 10, 20, 1728 - k * 10, 40 + k), fill=0)
    name = out + "/p%03d.tif" % k
    im.save(name, compression="group4", dpi=(204, 196 if fine else 98))
    raw.write(im.tobytes())
    names.append(name)
open(out + "/pages.txt", "w").write(" ".join(names))
)PY";

// Reads every page of a TIFF through Pillow (libtiff underneath): one line
// per page "width height dpix dpiy compression description", and the pixels
// as 1-bit rows (1 = white) appended to the raw file.
const char* const kDumpTiff = R"PY(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
raw = open(sys.argv[2], "wb")
n = 0
while True:
    try:
        im.seek(n)
    except EOFError:
        break
    dpi = im.info.get("dpi", (0, 0))
    desc = im.tag_v2.get(270, "-") or "-"
    print(im.size[0], im.size[1], int(round(dpi[0])), int(round(dpi[1])), im.info.get("compression", "?"), desc)
    raw.write(im.convert("1").tobytes())
    n += 1
)PY";

struct PeerPage {
  int32_t Width = 0, Height = 0, DpiX = 0, DpiY = 0;
  std::string Compression, Description;
  int64_t RawOffset = 0;  // of its rows in the dump
};

bool HavePillow() {
  return HaveTool(kPython) && RunCommand(std::string(kPython) + " -c 'import PIL' 2>/dev/null") == 0;
}

std::vector<PeerPage> PeerDump(const TempDir& Dir, const std::string& File, const std::string& RawFile) {
  const std::string Script = Dir.file("dump.py");
  std::vector<uint8_t> Text(kDumpTiff, kDumpTiff + std::strlen(kDumpTiff));
  WriteFileBytes(Script, Text);
  std::string Out;
  EXPECT_EQ(RunCommand(std::string(kPython) + " " + Script + " " + File + " " + RawFile, &Out), 0);
  std::vector<PeerPage> Pages;
  std::istringstream In(Out);
  int64_t Offset = 0;
  PeerPage P;
  while (In >> P.Width >> P.Height >> P.DpiX >> P.DpiY >> P.Compression >> P.Description) {
    P.RawOffset = Offset;
    Offset += int64_t((P.Width + 7) / 8) * P.Height;
    Pages.push_back(P);
  }
  return Pages;
}

// Count of rows of Bitmap (1-bit, 1728 wide) differing from the packed rows
// at Rows; a bitmap of another size or format counts every row.
int32_t WrongRows(TIEBitmap& Bitmap, const uint8_t* Rows, int32_t Height) {
  if (Bitmap.GetPixelFormat() != ie1g || Bitmap.GetWidth() != kFaxWidth || Bitmap.GetHeight() != Height)
    return Height;
  int32_t Wrong = 0;
  for (int32_t y = 0; y < Height; ++y)
    Wrong += std::memcmp(Bitmap.GetScanline(y), Rows + int64_t(y) * kFaxRowBytes, kFaxRowBytes) != 0;
  return Wrong;
}

// The page an edit inserts: white with a black band placed by Seed.
std::unique_ptr<TIEBitmap> MakeInsertedPage(int32_t Seed) {
  auto B = std::make_unique<TIEBitmap>(kFaxWidth, 500, ie1g);
  B->Fill(1);
  B->FillRect(100 + Seed * 40, 100, 900 + Seed * 40, 140 + Seed * 20, 0);
  return B;
}

struct MultiDocumentTest : ::testing::Test {
  void SetUp() override {
    V = std::make_unique<TFolioMView>(nullptr);
    M = std::make_unique<TFolioMIO>(nullptr);
    M->SetAttachedMView(V.get());
  }
  void TearDown() override {
    M.reset();
    V.reset();
  }
  std::unique_ptr<TFolioMView> V;
  std::unique_ptr<TFolioMIO> M;
  TempDir Dir;
};

TEST_F(MultiDocumentTest, HundredPageFaxLoadsEditsAndSavesPageForPage) {
  if (!HavePillow() || !HaveTool("tiffcp") || !HaveTool("tiffinfo")) GTEST_SKIP() << "Pillow or libtiff tools missing";
  std::vector<uint8_t> Script(kMakeFax, kMakeFax + std::strlen(kMakeFax));
  WriteFileBytes(Dir.file("make.py"), Script);
  ASSERT_EQ(RunCommand(std::string(kPython) + " " + Dir.file("make.py") + " " + Dir.path() + " " +
                       std::to_string(kFaxPages)),
            0);
  const std::string Source = Dir.file("fax.tif");
  const std::vector<uint8_t> List = ReadFileBytes(Dir.file("pages.txt"));
  ASSERT_EQ(RunCommand("tiffcp -c g4 " + std::string(List.begin(), List.end()) + " " + Source), 0);
  const std::vector<uint8_t> SourceRaw = ReadFileBytes(Dir.file("src.raw"));
  std::vector<int64_t> RawOffset;
  int64_t Offset = 0;
  for (int32_t k = 0; k < kFaxPages; ++k) {
    RawOffset.push_back(Offset);
    Offset += int64_t(kFaxRowBytes) * (IsFine(k) ? 2200 : 1100);
  }
  ASSERT_EQ(int64_t(SourceRaw.size()), Offset);
  auto SourceHeight = [](int32_t k) { return IsFine(k) ? 2200 : 1100; };

  // ---- load: every page with its pixels and its own parameters
  M->LoadTiffFile(Source);
  ASSERT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), kFaxPages);
  ASSERT_EQ(M->GetImageCount(), kFaxPages);
  for (int32_t k = 0; k < kFaxPages; ++k) {
    TIEBitmap B;
    V->CopyToIEBitmap(k, &B);
    EXPECT_EQ(WrongRows(B, SourceRaw.data() + RawOffset[size_t(k)], SourceHeight(k)), 0) << "page " << k;
    const TIOParamsVals* P = M->ParamsOf(k);
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(P->ImageIndex, k);
    EXPECT_EQ(P->DpiX, 204) << "page " << k;
    EXPECT_EQ(P->DpiY, IsFine(k) ? 196 : 98) << "page " << k;
    EXPECT_EQ(P->TiffCompression, ietcG4Fax) << "page " << k;
  }

  // ---- save as it is: libtiff reads the same pages, still Group 4
  const std::string Saved = Dir.file("saved.tif");
  M->SaveTiffFile(Saved, false);
  ASSERT_FALSE(M->GetAborting());
  {
    std::vector<PeerPage> Peer = PeerDump(Dir, Saved, Dir.file("saved.raw"));
    const std::vector<uint8_t> Raw = ReadFileBytes(Dir.file("saved.raw"));
    ASSERT_EQ(int32_t(Peer.size()), kFaxPages);
    ASSERT_EQ(Raw.size(), SourceRaw.size());
    for (int32_t k = 0; k < kFaxPages; ++k) {
      const PeerPage& P = Peer[size_t(k)];
      EXPECT_EQ(P.Width, kFaxWidth);
      EXPECT_EQ(P.Height, SourceHeight(k));
      EXPECT_EQ(P.DpiX, 204);
      EXPECT_EQ(P.DpiY, IsFine(k) ? 196 : 98) << "page " << k;
      EXPECT_EQ(P.Compression, "group4") << "page " << k;
    }
    EXPECT_TRUE(Raw == SourceRaw) << "pixels differ as libtiff reads them";
    std::string Info;
    RunCommand("tiffinfo " + Saved + " 2>/dev/null | grep -c 'Compression Scheme: CCITT Group 4'", &Info);
    EXPECT_EQ(std::atoi(Info.c_str()), kFaxPages);
  }

  // ---- edits: every record marked with its source page, then a mix of
  // deletes, moves and inserts; after each the records must follow their
  // pages.  Model holds, per entry, the marker it must carry.
  std::vector<std::string> Model;
  for (int32_t k = 0; k < kFaxPages; ++k) {
    M->ParamsOf(k)->TiffImageDescription = "src" + std::to_string(k);
    Model.push_back("src" + std::to_string(k));
  }
  std::vector<std::unique_ptr<TIEBitmap>> Inserted;
  auto Check = [&](const std::string& Step) {
    ASSERT_EQ(V->GetImageCount(), int32_t(Model.size())) << Step;
    ASSERT_EQ(M->GetImageCount(), int32_t(Model.size())) << Step;
    for (int32_t e = 0; e < int32_t(Model.size()); ++e)
      ASSERT_EQ(M->ParamsOf(e)->TiffImageDescription, Model[size_t(e)]) << Step << ", entry " << e;
  };
  auto Delete = [&](int32_t Index) {
    V->DeleteImage(Index);
    Model.erase(Model.begin() + Index);
    Check("delete " + std::to_string(Index));
  };
  auto Move = [&](int32_t Index, int32_t NewIndex) {
    V->MoveImage(Index, NewIndex);
    const std::string Name = Model[size_t(Index)];
    Model.erase(Model.begin() + Index);
    Model.insert(Model.begin() + std::min<int32_t>(NewIndex, int32_t(Model.size())), Name);
    Check("move " + std::to_string(Index) + " to " + std::to_string(NewIndex));
  };
  auto Insert = [&](int32_t Index) {
    V->InsertImage(Index);
    const int32_t At = std::min<int32_t>(Index, int32_t(Model.size()));
    Model.insert(Model.begin() + At, "");
    Check("insert " + std::to_string(Index));
    // The new page's record takes its neighbour's encoding: still Group 4.
    TIOParamsVals* P = M->ParamsOf(At);
    EXPECT_EQ(P->TiffCompression, ietcG4Fax);
    const int32_t Seed = int32_t(Inserted.size());
    Inserted.push_back(MakeInsertedPage(Seed));
    V->SetIEBitmap(At, Inserted.back().get());
    P->TiffImageDescription = Model[size_t(At)] = "new" + std::to_string(Seed);
    P->SetDpiX(204);
    P->SetDpiY(391);
    Check("fill " + std::to_string(At));
  };
  Delete(0);
  Delete(50);
  Delete(int32_t(Model.size()) - 1);
  Move(0, 10);
  Move(90, 3);
  Move(5, 1000);  // beyond the end: to the last place
  Move(96, 0);
  Insert(20);
  Insert(0);
  Insert(int32_t(Model.size()));
  Delete(21);  // the page inserted at 20, now at 21
  Move(0, 40);
  Insert(500);  // beyond the end: appended

  const std::string Edited = Dir.file("edited.tif");
  M->SaveTiffFile(Edited, false);
  ASSERT_FALSE(M->GetAborting());
  std::vector<PeerPage> Peer = PeerDump(Dir, Edited, Dir.file("edited.raw"));
  const std::vector<uint8_t> Raw = ReadFileBytes(Dir.file("edited.raw"));
  ASSERT_EQ(Peer.size(), Model.size());
  for (size_t e = 0; e < Model.size(); ++e) {
    const PeerPage& P = Peer[e];
    EXPECT_EQ(P.Description, Model[e]) << "page " << e;
    EXPECT_EQ(P.Compression, "group4") << "page " << e;
    EXPECT_EQ(P.DpiX, 204) << "page " << e;
    ASSERT_LE(P.RawOffset + int64_t(kFaxRowBytes) * P.Height, int64_t(Raw.size()));
    const uint8_t* Got = Raw.data() + P.RawOffset;
    if (Model[e].rfind("src", 0) == 0) {
      const int32_t k = std::atoi(Model[e].c_str() + 3);
      EXPECT_EQ(P.DpiY, IsFine(k) ? 196 : 98) << "page " << e;
      ASSERT_EQ(P.Height, SourceHeight(k)) << "page " << e;
      EXPECT_EQ(std::memcmp(Got, SourceRaw.data() + RawOffset[size_t(k)], size_t(kFaxRowBytes) * P.Height), 0)
          << "page " << e << " (" << Model[e] << ")";
    } else {
      const int32_t Seed = std::atoi(Model[e].c_str() + 3);
      EXPECT_EQ(P.DpiY, 391) << "page " << e;
      const std::vector<uint8_t> Want = testsupport::CanonicalPixels(Inserted[size_t(Seed)].get());
      ASSERT_EQ(int64_t(Want.size()), int64_t(kFaxRowBytes) * P.Height) << "page " << e;
      EXPECT_EQ(std::memcmp(Got, Want.data(), Want.size()), 0) << "page " << e << " (" << Model[e] << ")";
    }
  }
  std::string Info;
  RunCommand("tiffinfo " + Edited + " 2>/dev/null | grep -c 'Compression Scheme: CCITT Group 4'", &Info);
  EXPECT_EQ(std::atoi(Info.c_str()), int32_t(Model.size()));

  // ---- the same document cut short: the pages before the cut load intact,
  // the failure is reported, nothing more is kept.
  {
    std::vector<uint8_t> Cut = ReadFileBytes(Source);
    Cut.resize(Cut.size() * 6 / 10);
    WriteFileBytes(Dir.file("cut.tif"), Cut);
    TFolioMView V2(nullptr);
    TFolioMIO M2(nullptr);
    M2.SetAttachedMView(&V2);
    M2.LoadTiffFile(Dir.file("cut.tif"));
    EXPECT_TRUE(M2.GetAborting());
    EXPECT_GT(V2.GetImageCount(), 0);
    EXPECT_LT(V2.GetImageCount(), kFaxPages);
    EXPECT_EQ(M2.GetImageCount(), V2.GetImageCount());
    for (int32_t k = 0; k < V2.GetImageCount(); ++k) {
      TIEBitmap B;
      V2.CopyToIEBitmap(k, &B);
      EXPECT_EQ(WrongRows(B, SourceRaw.data() + RawOffset[size_t(k)], SourceHeight(k)), 0) << "cut, page " << k;
    }
  }
}

// ---- bounded memory: a long colour document with a small view cache

constexpr int32_t kColourPages = 60;
constexpr int32_t kColourWidth = 400, kColourHeight = 560;

// Page k: a gradient whose slopes and offsets depend on k, and a square.
std::unique_ptr<TIEBitmap> MakeColourPage(int32_t k) {
  auto B = std::make_unique<TIEBitmap>(kColourWidth, kColourHeight, ie24RGB);
  for (int32_t y = 0; y < kColourHeight; ++y) {
    uint8_t* R = B->GetScanline(y);
    for (int32_t x = 0; x < kColourWidth; ++x) {
      const bool Square = x >= 10 + 5 * k && x < 40 + 5 * k && y >= 20 + 8 * k && y < 50 + 8 * k;
      R[3 * x] = uint8_t(Square ? 0 : (x + 3 * k) & 0xFF);
      R[3 * x + 1] = uint8_t((y / 2 + 7 * k) & 0xFF);
      R[3 * x + 2] = uint8_t(Square ? 255 : (x * y / 64 + k) & 0xFF);
    }
  }
  return B;
}

TEST_F(MultiDocumentTest, LongColourDocumentLoadsWithinTheViewCache) {
  // The document, written once by our writer, LZW.
  const std::string File = Dir.file("colour.tif");
  {
    TFileStream S(File, fmCreate);
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    for (int32_t k = 0; k < kColourPages; ++k) {
      auto Page = MakeColourPage(k);
      TIOParamsVals Params(nullptr);
      Params.TiffCompression = ietcLZW;
      Params.SetDpiX(150);
      Params.SetDpiY(150);
      Params.SetImageIndex(k);
      S.SetPosition(0);
      ASSERT_EQ(TiffWriteStream(&S, k > 0, Page.get(), Params, Progress), k + 1);
      ASSERT_FALSE(Aborting);
    }
  }

  constexpr int32_t kCache = 4;
  V->SetImageCacheSize(kCache);
  TIEVirtualImageList* Store = V->GetImageList();
  ASSERT_NE(Store, nullptr);
  int32_t MostMapped = 0, Calls = 0;
  M->OnProgress = [&](TObject*, int32_t) {
    ++Calls;
    MostMapped = std::max(MostMapped, Store->GetMappedCount());
  };
  M->LoadTiffFile(File);
  ASSERT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), kColourPages);
  ASSERT_EQ(M->GetImageCount(), kColourPages);
  EXPECT_GE(Calls, kColourPages);
  EXPECT_LE(MostMapped, kCache + 1);
  EXPECT_LE(Store->GetMappedCount(), kCache + 1);
  EXPECT_TRUE(Store->IsFileBacked());
  // The store holds every page (the file grows with the pages, not memory).
  const int64_t PageBytes = int64_t(kColourWidth) * 3 * kColourHeight;
  EXPECT_GE(Store->GetCapacity(), PageBytes * kColourPages);

  // Reading every page back cycles the store's cache: the bound holds
  // throughout and each page is the one written.
  MostMapped = 0;
  for (int32_t k = 0; k < kColourPages; ++k) {
    TIEBitmap Got;
    V->CopyToIEBitmap(k, &Got);
    MostMapped = std::max(MostMapped, Store->GetMappedCount());
    ASSERT_EQ(Got.GetPixelFormat(), ie24RGB) << "page " << k;
    ASSERT_EQ(Got.GetWidth(), kColourWidth);
    ASSERT_EQ(Got.GetHeight(), kColourHeight);
    auto Want = MakeColourPage(k);
    int32_t Wrong = 0;
    for (int32_t y = 0; y < kColourHeight; ++y) {
      const uint8_t* G = Got.GetScanline(y);
      std::vector<uint8_t> Row(G, G + kColourWidth * 3);
      Wrong += std::memcmp(Row.data(), Want->GetScanline(y), Row.size()) != 0;
    }
    EXPECT_EQ(Wrong, 0) << "page " << k;
    EXPECT_EQ(M->ParamsOf(k)->DpiX, 150);
    EXPECT_EQ(M->ParamsOf(k)->TiffCompression, ietcLZW);
  }
  EXPECT_LE(MostMapped, kCache + 1);
  EXPECT_GE(MostMapped, 2);  // the walk did go through the cache

  // Saving reads every page out of the store again, within the same bound;
  // libtiff (through Pillow) reads the pages as they were made.
  MostMapped = 0;
  const std::string Saved = Dir.file("colour-saved.tif");
  M->SaveTiffFile(Saved, false);
  ASSERT_FALSE(M->GetAborting());
  EXPECT_LE(MostMapped, kCache + 1);
  if (!HavePillow()) return;
  const std::vector<int32_t> Checked = {0, kColourPages / 2, kColourPages - 1};
  std::string Script =
      "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\nraw = open(sys.argv[2], 'wb')\n"
      "print(im.n_frames)\nfor k in map(int, sys.argv[3:]):\n    im.seek(k)\n"
      "    print(im.info.get('compression'), im.size[0], im.size[1])\n    raw.write(im.convert('RGB').tobytes())\n";
  WriteFileBytes(Dir.file("rgb.py"), std::vector<uint8_t>(Script.begin(), Script.end()));
  std::string Out;
  ASSERT_EQ(RunCommand(std::string(kPython) + " " + Dir.file("rgb.py") + " " + Saved + " " + Dir.file("rgb.raw") +
                           " 0 " + std::to_string(kColourPages / 2) + " " + std::to_string(kColourPages - 1),
                       &Out),
            0);
  std::istringstream In(Out);
  int32_t Frames = 0;
  In >> Frames;
  EXPECT_EQ(Frames, kColourPages);
  const std::vector<uint8_t> Raw = ReadFileBytes(Dir.file("rgb.raw"));
  const int64_t RowBytes = int64_t(kColourWidth) * 3;
  ASSERT_EQ(int64_t(Raw.size()), RowBytes * kColourHeight * int64_t(Checked.size()));
  for (size_t n = 0; n < Checked.size(); ++n) {
    std::string Compression;
    int32_t W = 0, H = 0;
    In >> Compression >> W >> H;
    EXPECT_EQ(Compression, "tiff_lzw");
    EXPECT_EQ(W, kColourWidth);
    EXPECT_EQ(H, kColourHeight);
    auto Want = MakeColourPage(Checked[n]);
    int32_t Wrong = 0;
    for (int32_t y = 0; y < kColourHeight; ++y) {
      const uint8_t* Peer = Raw.data() + (int64_t(n) * kColourHeight + y) * RowBytes;
      const uint8_t* Ours = Want->GetScanline(y);
      for (int32_t x = 0; x < kColourWidth; ++x)  // ours blue, green, red; Pillow red, green, blue
        Wrong += Peer[3 * x] != Ours[3 * x + 2] || Peer[3 * x + 1] != Ours[3 * x + 1] || Peer[3 * x + 2] != Ours[3 * x];
    }
    EXPECT_EQ(Wrong, 0) << "page " << Checked[n];
  }
}

}  // namespace
