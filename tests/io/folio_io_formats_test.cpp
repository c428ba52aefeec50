// What single formats do beyond the common load: GIF frames composed over
// the frames before them, video frames by index and through the media
// object, the further per-format entry points, and the count of images in a
// file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/settings.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "support/avi_writer.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

struct TLoader {
  TIEBitmap Image;
  std::unique_ptr<TFolioIO> IO = TFolioIO::CreateFromBitmap(&Image);
  std::vector<int32_t> Progress;
  int32_t Finished = 0;
  TLoader() {
    IO->OnProgress = [this](TObject*, int32_t per) { Progress.push_back(per); };
    IO->OnFinishWork = [this](TObject*) { ++Finished; };
  }
};

bool SameFramePixels(TIEBitmap& B, const TVideoFrames& V, int32_t k) {
  if (B.GetWidth() != V.Width || B.GetHeight() != V.Height) return false;
  for (int32_t y = 0; y < V.Height; ++y)
    for (int32_t x = 0; x < V.Width; ++x) {
      const uint8_t* p = &V.Pixels[size_t(k)][(size_t(y) * V.Width + x) * 3];
      const TRGB c = B.GetPixelRGB(x, y);
      if (c.b != p[0] || c.g != p[1] || c.r != p[2]) return false;
    }
  return true;
}

class FormatsTest : public ::testing::Test {
 protected:
  TempDir Dir;
};

// An ImageMagick animation: a 30 x 30 blue screen, a red 10 x 10 frame at
// (10, 10) that asks to be cleared afterwards, then a transparent frame with
// one green pixel at (0, 0) (and as many further copies of it as asked).
std::string PeerAnimation(TempDir& Dir, int32_t Frames) {
  const std::string File = Dir.file("anim" + std::to_string(Frames) + ".gif");
  std::string Cmd = "convert -dispose none -size 30x30 xc:'#0000FF' -dispose background "
                    "\\( -size 10x10 xc:'#FF0000' -repage 30x30+10+10 \\) -dispose none";
  for (int32_t i = 2; i < Frames; ++i)
    Cmd += " \\( -size 30x30 xc:none -fill '#00FF00' -draw 'point 0,0' -repage 30x30+0+0 \\)";
  Cmd += " '" + File + "'";
  return RunCommand(Cmd) == 0 ? File : std::string();
}

TEST_F(FormatsTest, GifFramesAreComposedOverTheFramesBeforeThem) {
  if (!HaveTool("convert")) GTEST_SKIP();
  const std::string File = PeerAnimation(Dir, 3);
  ASSERT_FALSE(File.empty());
  TLoader L;
  L.IO->GetParams()->GifImageIndex = 2;
  EXPECT_EQ(L.IO->LoadGifFile(File), 3);
  ASSERT_FALSE(L.IO->GetAborting());
  const TIOParamsVals* P = L.IO->GetParams();
  EXPECT_EQ(P->GifImageIndex, 2);
  EXPECT_EQ(P->GifDisposalMethod, 2);
  EXPECT_EQ(P->GifFrameLeft, 0);
  EXPECT_EQ(P->GifFrameTop, 0);
  EXPECT_EQ(P->FileFormat, ioGIF);
  EXPECT_EQ(P->FileName, File);
  ASSERT_EQ(L.Image.GetWidth(), 30);
  ASSERT_EQ(L.Image.GetHeight(), 30);
  // Frame 0 shows where nothing covered it, the cleared rectangle shows the
  // background and is transparent, frame 2's pixel lies on top.
  EXPECT_EQ(IERGBToColor(L.Image.GetPixelRGB(5, 5)), TColor(0x00FF0000));
  EXPECT_EQ(L.Image.GetAlpha(5, 5), 255);
  EXPECT_EQ(IERGBToColor(L.Image.GetPixelRGB(15, 15)), IERGBToColor(P->GifBackgroundColor));
  EXPECT_EQ(L.Image.GetAlpha(15, 15), 0);
  const TRGB Green = L.Image.GetPixelRGB(0, 0);  // the peer's palette may round it
  EXPECT_GE(Green.g, 250);
  EXPECT_EQ(Green.r + Green.b, 0);
  EXPECT_EQ(L.Finished, 1);

  // Frame 1 alone: the red square on the blue screen, before its clearing.
  L.IO->GetParams()->GifImageIndex = 1;
  EXPECT_EQ(L.IO->LoadGifFile(File), 3);
  EXPECT_EQ(IERGBToColor(L.Image.GetPixelRGB(15, 15)), TColor(0x000000FF));
  EXPECT_EQ(IERGBToColor(L.Image.GetPixelRGB(5, 5)), TColor(0x00FF0000));
}

TEST_F(FormatsTest, GifProgressCountsFramesOnlyBeyondTheFirst) {
  if (!HaveTool("convert")) GTEST_SKIP();
  const std::string File = PeerAnimation(Dir, 4);
  ASSERT_FALSE(File.empty());
  TLoader L;
  L.IO->GetParams()->GifImageIndex = 2;
  EXPECT_EQ(L.IO->LoadGifFile(File), 4);
  EXPECT_EQ(L.Progress, (std::vector<int32_t>{0, 25, 50, 100}));
  // Frame 0: the codec reports its own progress before the frame's 0.
  L.Progress.clear();
  L.IO->GetParams()->GifImageIndex = 0;
  L.IO->LoadFromFile(File);
  ASSERT_GE(L.Progress.size(), 2u);
  EXPECT_EQ(L.Progress.back(), 100);
  EXPECT_EQ(L.Image.GetWidth(), 30);
}

TEST_F(FormatsTest, BrokenGifFailsCleanly) {
  const std::string File = Dir.file("bad.gif");
  WriteFileBytes(File, {'G', 'I', 'F', '8', '9', 'a', 200, 0, 200, 0, 0x80, 0, 0});
  TLoader L;
  L.IO->LoadGifFile(File);
  EXPECT_TRUE(L.IO->GetAborting());
  EXPECT_EQ(L.Finished, 1);
}

TEST_F(FormatsTest, VideoFramesByIndex) {
  const TVideoFrames Video = MakeTestFrames(16, 12, 5);
  const std::string File = Dir.file("v.avi");
  WriteFileBytes(File, MakeAvi(Video, 30000, 1001));
  TLoader L;
  EXPECT_EQ(L.IO->OpenAviFile(File), 5);
  EXPECT_EQ(L.IO->GetParams()->AviFrameCount, 5);
  EXPECT_EQ(L.IO->GetParams()->AviFrameDuration, 33);
  L.IO->LoadAviFrame(3);
  EXPECT_FALSE(L.IO->GetAborting());
  EXPECT_TRUE(SameFramePixels(L.Image, Video, 3));
  EXPECT_EQ(L.IO->GetParams()->DpiX, 300);
  // Beyond the last frame: nothing but the finish event.
  const int32_t Before = L.Finished;
  L.IO->LoadAviFrame(5);
  EXPECT_FALSE(L.IO->GetAborting());
  EXPECT_EQ(L.Finished, Before + 1);
  EXPECT_TRUE(SameFramePixels(L.Image, Video, 3));
  L.IO->CloseAviFile();
  EXPECT_FALSE(L.IO->IsAviFileOpen());

  // The generic load reads the frame ImageIndex names and closes the file.
  L.IO->GetParams()->SetImageIndex(1);
  L.IO->LoadFromFile(File);
  EXPECT_FALSE(L.IO->GetAborting());
  EXPECT_TRUE(SameFramePixels(L.Image, Video, 1));
  EXPECT_EQ(L.IO->GetParams()->FileFormat, ioAVI);
  EXPECT_FALSE(L.IO->IsAviFileOpen());

  // Not a video: a clean failure.
  const std::string Bad = Dir.file("bad.avi");
  WriteFileBytes(Bad, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '});
  EXPECT_EQ(L.IO->OpenAviFile(Bad), 0);
  EXPECT_TRUE(L.IO->GetAborting());
  L.IO->LoadFromFile(Bad);
  EXPECT_TRUE(L.IO->GetAborting());
}

TEST_F(FormatsTest, MediaFilesFrameByFrameAndImageCounts) {
  const TVideoFrames Video = MakeTestFrames(16, 12, 5);
  const std::string File = Dir.file("m.avi");
  WriteFileBytes(File, MakeAvi(Video, 30000, 1001));
  TLoader L;
  EXPECT_EQ(L.IO->OpenMediaFile(File), 5);
  EXPECT_TRUE(L.IO->IsMediaFileOpen());
  EXPECT_EQ(L.IO->GetParams()->MediaFrameCount, 5);
  EXPECT_EQ(L.IO->GetParams()->Width, 16);
  for (const int32_t k : {4, 0, 2}) {
    L.IO->LoadMediaFrame(k);
    EXPECT_FALSE(L.IO->GetAborting());
    EXPECT_TRUE(SameFramePixels(L.Image, Video, k)) << k;
  }
  EXPECT_EQ(L.IO->GetParams()->MediaFrameDuration, 33);
  L.IO->CloseMediaFile();
  EXPECT_FALSE(L.IO->IsMediaFileOpen());

  // Counts by extension: pages, one image, video frames, nothing.
  const std::string Png = Dir.file("one.png");
  {
    TIEBitmap B(4, 4, ie24RGB);
    auto IO = TFolioIO::CreateFromBitmap(&B);
    IO->SaveToFile(Png);
    ASSERT_FALSE(IO->GetAborting());
  }
  EXPECT_EQ(IEFileImageCount(Png), 1);
  EXPECT_EQ(IEFileImageCount(File), 5);
  const std::string Junk = Dir.file("x.unknownext");
  WriteFileBytes(Junk, {1, 2, 3});
  EXPECT_EQ(IEFileImageCount(Junk), 0);
  if (HaveTool("convert")) {
    const std::string Gif = PeerAnimation(Dir, 4);
    EXPECT_EQ(IEFileImageCount(Gif), 4);
  }
}

// The further entry points write what the common loads read back.
TEST_F(FormatsTest, FurtherEntryPointsRoundTrip) {
  TIEBitmap Source(9, 7, ie24RGB);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 9; ++x) Source.SetPixel24(x, y, TRGB{uint8_t(x * 20), uint8_t(y * 30), 77});
  struct TCase {
    const char* Name;
    void (TFolioIO::*Save)(const std::string&);
    void (TFolioIO::*Load)(const std::string&);
    TIEFileFormat Format;
  };
  const TCase Cases[] = {
      {"a.png", &TFolioIO::SavePngFile, &TFolioIO::LoadPngFile, ioPNG},
      {"a.tga", &TFolioIO::SaveTgaFile, &TFolioIO::LoadTgaFile, ioTGA},
      {"a.bmp", &TFolioIO::SaveBmpFile, &TFolioIO::LoadBmpFile, ioBMP},
  };
  for (const TCase& C : Cases) {
    const std::string File = Dir.file(C.Name);
    TIEBitmap Copy;
    Copy.Assign(&Source);
    auto Writer = TFolioIO::CreateFromBitmap(&Copy);
    (Writer.get()->*C.Save)(File);
    ASSERT_FALSE(Writer->GetAborting()) << C.Name;
    EXPECT_EQ(Writer->GetParams()->FileFormat, C.Format) << C.Name;
    TLoader L;
    (L.IO.get()->*C.Load)(File);
    ASSERT_FALSE(L.IO->GetAborting()) << C.Name;
    ASSERT_EQ(L.Image.GetWidth(), 9) << C.Name;
    EXPECT_EQ(L.Image.GetPixelRGB(8, 6).r, 77) << C.Name;
    EXPECT_EQ(L.Image.GetPixelRGB(8, 6).b, 160) << C.Name;
    EXPECT_EQ(L.Finished, 1) << C.Name;
  }
  // One-page documents.
  for (const auto& [Name, Save, Magic] :
       {std::tuple{"a.ps", &TFolioIO::SavePsFile, std::string("%!PS")},
        std::tuple{"a.pdf", &TFolioIO::SavePdfFile, std::string("%PDF")}}) {
    const std::string File = Dir.file(Name);
    TIEBitmap Copy;
    Copy.Assign(&Source);
    auto Writer = TFolioIO::CreateFromBitmap(&Copy);
    (Writer.get()->*Save)(File);
    ASSERT_FALSE(Writer->GetAborting()) << Name;
    const std::vector<uint8_t> Bytes = ReadFileBytes(File);
    EXPECT_EQ(std::string(Bytes.begin(), Bytes.begin() + 4), Magic) << Name;
  }
}

TEST_F(FormatsTest, PngLoadsExchangeTheBackgroundColour) {
  // A 1 x 1 RGB file without background chunk.
  const std::string Plain = Dir.file("nobkgd.png");
  WriteFileBytes(Plain, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
                         0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00,
                         0x00, 0x90, 0x77, 0x53, 0xDE, 0x00, 0x00, 0x00, 0x0C, 0x49, 0x44, 0x41, 0x54, 0x78,
                         0x9C, 0x63, 0x10, 0x50, 0x30, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x61, 0x34, 0x66, 0x7D,
                         0x72, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82});
  TLoader L;
  L.IO->SetBackground(TColor(0x00123456));
  L.IO->LoadPngFile(Plain);
  ASSERT_FALSE(L.IO->GetAborting());
  EXPECT_EQ(L.IO->GetBackground(), TColor(0x00123456));
  // A file with one gives its colour.
  const std::string Marked = Dir.file("bkgd.png");
  {
    TIEBitmap B(4, 4, ie24RGB);
    auto IO = TFolioIO::CreateFromBitmap(&B);
    IO->GetParams()->PngBackgroundColor = TRGB{0x30, 0x20, 0x10};
    IO->SavePngFile(Marked);
    ASSERT_FALSE(IO->GetAborting());
  }
  L.IO->LoadPngFile(Marked);
  EXPECT_EQ(L.IO->GetBackground(), TColor(0x00302010));
}

TEST_F(FormatsTest, EntryPointsThatDoNothingOrFailCleanly) {
  TLoader L;
  L.IO->LoadRawBitmapFile("");
  EXPECT_EQ(L.Finished, 0);
  L.IO->LoadMetafileFile(Dir.file("none.wmf"), -1, -1, true);
  EXPECT_TRUE(L.IO->GetAborting());
  EXPECT_EQ(L.Finished, 1);
  // The extension lookup ignores case and the dot.
  EXPECT_EQ(IEFormatOfExtension("TIF"), ioTIFF);
  EXPECT_EQ(IEFormatOfExtension(".gif"), ioGIF);
  EXPECT_EQ(IEFormatOfExtension("nosuchext"), ioUnknown);
  // The debug log writes only when it names a file.
  const std::string Log = Dir.file("io.log");
  IEDebugLog("not written");
  IEDebugLogFileName = Log;
  IEDebugLog("first");
  IEDebugLog("second");
  IEDebugLogFileName.clear();
  const std::vector<uint8_t> Bytes = ReadFileBytes(Log);
  const std::string Text(Bytes.begin(), Bytes.end());
  EXPECT_EQ(Text.find("not written"), std::string::npos);
  ASSERT_NE(Text.find(" : first\n"), std::string::npos);
  EXPECT_LT(Text.find(" : first\n"), Text.find(" : second\n"));
}

TEST_F(FormatsTest, AcquiredImagesGoToTheCurrentImageUnlessHandled) {
  TLoader L;
  TIEBitmap Scan(8, 6, ie1g);
  bool Refuse = true;
  L.IO->OnAcquireBitmap = [&](TObject*, TIEBitmap*, bool& Handled) { Handled = Refuse; };
  TIOParamsVals* Params = nullptr;
  L.IO->ReceiveAcquiredBitmap(&Scan, Params);
  EXPECT_EQ(Params, nullptr);
  EXPECT_EQ(L.Image.GetWidth(), 0);
  Refuse = false;
  L.IO->ReceiveAcquiredBitmap(&Scan, Params);
  EXPECT_EQ(Params, L.IO->GetParams());
  EXPECT_EQ(L.Image.GetWidth(), 8);
  EXPECT_EQ(L.Image.GetPixelFormat(), ie1g);
  L.IO->SetMonoConversion(0);
  EXPECT_EQ(L.Image.GetMonoConversion(), 0);
}

}  // namespace

// A component working on an image it does not own runs these loads in its
// workers too: the call answers at once, the image arrives with the finish.
TEST(FolioIO, AsyncFrameLoadsRunInWorkers) {
  TempDir Dir;
  const TVideoFrames Video = MakeTestFrames(16, 12, 5);
  const std::string Avi = Dir.file("v.avi");
  WriteFileBytes(Avi, MakeAvi(Video, 25, 1));
  TLoader L;
  L.IO->SetAsyncMode(true);
  EXPECT_EQ(L.IO->OpenAviFile(Avi), 5);
  L.IO->LoadAviFrame(2);
  L.IO->WaitThreads(false);
  EXPECT_EQ(L.Finished, 1);
  EXPECT_TRUE(SameFramePixels(L.Image, Video, 2));
  EXPECT_EQ(L.IO->GetParams()->AviFrameDuration, 40);

  const std::string Gif = Dir.file("one.gif");
  {
    TIEBitmap B(5, 4, ie24RGB);
    auto W = TFolioIO::CreateFromBitmap(&B);
    W->SaveToFile(Gif);
    ASSERT_FALSE(W->GetAborting());
  }
  EXPECT_EQ(L.IO->LoadGifFile(Gif), -1) << "the count is not known yet";
  L.IO->WaitThreads(false);
  EXPECT_EQ(L.Finished, 2);
  EXPECT_FALSE(L.IO->GetAborting());
  EXPECT_EQ(L.Image.GetWidth(), 5);
}
