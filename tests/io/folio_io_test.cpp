#include "io/folio_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../support/pnm_image.h"
#include "../support/test_support.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/jpeg_markers.h"
#include "foundations/xmp_dicom_tags.h"
#include "io/format_registry.h"
#include "formats/io_params.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/threads.h"
#include "platform/vcl/application.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/messages.h"
#include "platform/rtl/sysutils.h"
#include "views/view_base.h"

using testsupport::TempDir;

namespace {

// Deterministic content: 1-bit stripes and blocks, byte formats a gradient.
std::unique_ptr<TIEBitmap> MakeImage(int32_t W, int32_t H, TIEPixelFormat F) {
  auto B = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(B->Allocate(W, H, F));
  const int32_t Bpp = B->GetBitCount() / 8;
  const int32_t Bytes = F == ie1g ? (W + 7) / 8 : W * Bpp;
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* R = B->GetScanline(Y);
    for (int32_t X = 0; X < Bytes; ++X)
      R[X] = F == ie1g ? uint8_t(((Y / 7) % 2) ? 0xF0 >> (X % 3) : 0xFF ^ uint8_t(X * 13 + Y))
                       : uint8_t(((X / Bpp) * 2 + Y * 2 + (X % Bpp) * 30) & 0xFF);
    if (F == ie1g && (W % 8)) R[Bytes - 1] &= uint8_t(0xFF << (8 - W % 8));
  }
  return B;
}

// Mean absolute byte difference of the visible pixels (1-bit: count of
// differing pixels); a huge value when the sizes or formats differ.
double Difference(TIEBitmap* A, TIEBitmap* B) {
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight() ||
      A->GetPixelFormat() != B->GetPixelFormat())
    return 1e9;
  const int32_t W = A->GetWidth(), H = A->GetHeight();
  double Sum = 0;
  std::vector<uint8_t> RowA(A->GetRowLen());
  for (int32_t Y = 0; Y < H; ++Y) {
    std::memcpy(RowA.data(), A->GetScanline(Y), RowA.size());
    const uint8_t* RB = B->GetScanline(Y);
    if (A->GetPixelFormat() == ie1g) {
      for (int32_t X = 0; X < W; ++X)
        Sum += ((RowA[X >> 3] ^ RB[X >> 3]) >> (7 - (X & 7))) & 1;
    } else {
      const int32_t N = W * (A->GetBitCount() / 8);
      for (int32_t X = 0; X < N; ++X) Sum += std::abs(int(RowA[X]) - int(RB[X]));
    }
  }
  return A->GetPixelFormat() == ie1g ? Sum : Sum / (double(W) * H);
}

// Counts the events of one component.
struct TEventLog {
  int32_t Finishes = 0;
  std::vector<int32_t> Percents;
  void Hook(TFolioIO& IO) {
    IO.OnFinishWork = [this](TObject*) { ++Finishes; };
    IO.OnProgress = [this](TObject*, int32_t Per) { Percents.push_back(Per); };
  }
};

void SetFaxParams(TIOParamsVals* P, int32_t DpiX, int32_t DpiY) {
  P->BitsPerSample = 1;
  P->SamplesPerPixel = 1;
  P->TiffCompression = ietcG4Fax;
  P->SetDpiX(DpiX);
  P->SetDpiY(DpiY);
}

std::vector<uint8_t> StreamBytes(TMemoryStream& S) {
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  return std::vector<uint8_t>(P, P + S.GetSize());
}

uint32_t LE32(const std::vector<uint8_t>& B, size_t At) {
  return uint32_t(B[At]) | uint32_t(B[At + 1]) << 8 | uint32_t(B[At + 2]) << 16 | uint32_t(B[At + 3]) << 24;
}

std::vector<std::string> FolderEntries(const std::string& Dir) {
  std::vector<std::string> Names;
  for (auto& E : std::filesystem::directory_iterator(Dir)) Names.push_back(E.path().filename().string());
  return Names;
}

// A view that shows a bitmap of the test's and logs what the component does
// to it.
class TShowView : public TIEView {
 public:
  using TIEView::TIEView;
  TIEBitmap* Shown = nullptr;
  int32_t ImageChanges = 0;
  int32_t Locks = 0;
  TIEBitmap* GetViewIEBitmap() override { return Shown; }
  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool GetHasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  void LockPaint() override { ++Locks; }
  int32_t UnlockPaint() override { return --Locks; }
  int32_t UnlockPaintNoUpdate() override { return --Locks; }
  void DoImageChange() override { ++ImageChanges; }
};

}  // namespace

// ---------------------------------------------------------------------------
// Round trips through file name, stream and buffer

TEST(FolioIO, RoundTripsThroughFileStreamAndBuffer) {
  struct TCase {
    const char* Ext;
    TIEFileFormat Format;
    TIEPixelFormat Pixels;
    TIETIFFCompression Compression;
    int32_t Bits, Samples;
    double Tolerance;  // mean byte difference (1-bit: differing pixels)
  };
  const TCase Cases[] = {
      {".tif", ioTIFF, ie1g, ietcG4Fax, 1, 1, 0},
      {".fax", ioTIFF, ie1g, ietcG3Fax2D, 1, 1, 0},
      {".tiff", ioTIFF, ie24RGB, ietcPackBits, 8, 3, 0},
      {".tif", ioTIFF, ie8g, ietcDeflate, 8, 1, 0},
      {".pcx", ioPCX, ie24RGB, ietcNone, 8, 3, 0},
      {".pcx", ioPCX, ie1g, ietcNone, 1, 1, 0},
      {".dcx", ioDCX, ie1g, ietcNone, 1, 1, 0},
      {".jpg", ioJPEG, ie24RGB, ietcNone, 8, 3, 3.0},
  };
  TempDir Dir;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Ext) + " format " + std::to_string(C.Pixels));
    auto Src = MakeImage(61, 37, C.Pixels);
    TFolioIO Writer;
    Writer.AttachBitmap(Src.get());
    TIOParamsVals* P = Writer.GetParams();
    P->TiffCompression = C.Compression;
    P->BitsPerSample = C.Bits;
    P->SamplesPerPixel = C.Samples;
    P->JpegQuality = 95;
    P->SetDpiX(150);
    P->SetDpiY(150);
    const std::string Name = Dir.file(std::string("img") + C.Ext);
    Writer.SaveToFile(Name);
    ASSERT_FALSE(Writer.GetAborting());
    EXPECT_EQ(P->FileName, Name);
    EXPECT_EQ(P->FileFormat, C.Format);

    // file, by extension and by content
    for (bool Auto : {false, true}) {
      TFolioIO Reader;
      Reader.SetNativePixelFormat(true);
      if (Auto)
        Reader.LoadFromFileAuto(Name);
      else
        Reader.LoadFromFile(Name);
      ASSERT_FALSE(Reader.GetAborting());
      EXPECT_LE(Difference(Src.get(), Reader.GetIEBitmap()), C.Tolerance);
      EXPECT_EQ(Reader.GetParams()->FileFormat, C.Format);
      EXPECT_EQ(Reader.GetParams()->FileName, Name);
      EXPECT_EQ(Reader.GetParams()->DpiX, 150);
    }

    // stream and buffer, with and without the format
    TMemoryStream S;
    Writer.SaveToStream(&S, C.Format);
    ASSERT_FALSE(Writer.GetAborting());
    EXPECT_EQ(P->FileName, Name) << "a stream save keeps the name";
    const std::vector<uint8_t> Bytes = StreamBytes(S);
    for (TIEFileFormat F : {C.Format, TIEFileFormat(ioUnknown)}) {
      TFolioIO Reader;
      Reader.SetNativePixelFormat(true);
      Reader.GetParams()->FileName = "old";
      S.SetPosition(0);
      Reader.LoadFromStreamFormat(&S, F);
      ASSERT_FALSE(Reader.GetAborting());
      EXPECT_LE(Difference(Src.get(), Reader.GetIEBitmap()), C.Tolerance);
      EXPECT_EQ(Reader.GetParams()->FileName, "") << "a stream load clears the name";
      TFolioIO FromBuffer;
      FromBuffer.SetNativePixelFormat(true);
      FromBuffer.LoadFromBuffer(Bytes.data(), int64_t(Bytes.size()), F);
      ASSERT_FALSE(FromBuffer.GetAborting());
      EXPECT_LE(Difference(Src.get(), FromBuffer.GetIEBitmap()), C.Tolerance);
    }
  }
}

TEST(FolioIO, PeerFaxFileLoadsWithPageCount) {
  if (!testsupport::HaveTool("tiffcp") || !testsupport::HaveTool("convert"))
    GTEST_SKIP() << "libtiff tools or ImageMagick missing";
  TempDir Dir;
  const std::string One = Dir.file("a.tif"), Two = Dir.file("b.tif"), Doc = Dir.file("doc.tif");
  ASSERT_EQ(testsupport::RunCommand("convert -size 200x80 pattern:checkerboard -monochrome -compress Group4 "
                                    "-density 204x196 -units PixelsPerInch " + One),
            0);
  ASSERT_EQ(testsupport::RunCommand("convert -size 120x90 xc:white -fill black -draw 'rectangle 10,10 50,40' "
                                    "-monochrome -compress Group4 " + Two),
            0);
  ASSERT_EQ(testsupport::RunCommand("tiffcp -c g4 " + One + " " + Two + " " + Doc), 0);
  TFolioIO IO;
  IO.GetParams()->TiffPageIndex = 1;
  EXPECT_EQ(IO.LoadTiffFile(Doc), 2);
  ASSERT_FALSE(IO.GetAborting());
  EXPECT_EQ(IO.GetIEBitmap()->GetWidth(), 120);
  EXPECT_EQ(IO.GetIEBitmap()->GetPixelFormat(), ie1g);
  EXPECT_EQ(IETiffFileImageCount(Doc), 2);
  // the ink lies inside the rectangle only
  EXPECT_EQ(IO.GetIEBitmap()->GetScanline(20)[3] & 0x80, 0) << "pixel (24,20) is black";
  EXPECT_NE(IO.GetIEBitmap()->GetScanline(60)[3] & 0x80, 0) << "pixel (24,60) is white";
}

// ---------------------------------------------------------------------------
// The 12-byte stream header

TEST(FolioIO, StreamHeadersCarryLengthAndChainImages) {
  for (TIEFileFormat F : {ioJPEG, ioTIFF, ioPCX}) {
    SCOPED_TRACE(F);
    auto A = MakeImage(40, 30, ie24RGB);
    auto B = MakeImage(25, 50, ie24RGB);
    TFolioIO W;
    W.SetStreamHeaders(true);
    W.GetParams()->JpegQuality = 95;
    TMemoryStream S;
    W.AttachBitmap(A.get());
    W.SaveToStream(&S, F);
    const int64_t First = S.GetSize();
    W.AttachBitmap(B.get());
    W.SaveToStream(&S, F);
    ASSERT_FALSE(W.GetAborting());
    const std::vector<uint8_t> Bytes = StreamBytes(S);
    const char* Magic = F == ioJPEG ? "JFIF" : F == ioTIFF ? "TIFF" : "PCX2";
    EXPECT_EQ(std::string(Bytes.begin(), Bytes.begin() + 4), Magic);
    EXPECT_EQ(LE32(Bytes, 4), 0u);
    EXPECT_EQ(int64_t(LE32(Bytes, 8)), First - 12);
    EXPECT_EQ(std::string(Bytes.begin() + First, Bytes.begin() + First + 4), Magic);

    TFolioIO R;
    R.SetStreamHeaders(true);
    S.SetPosition(0);
    R.LoadFromStream(&S);
    ASSERT_FALSE(R.GetAborting());
    EXPECT_EQ(R.GetIEBitmap()->GetWidth(), 40);
    EXPECT_EQ(S.GetPosition(), First) << "the stream stands after the first image";
    R.LoadFromStream(&S);
    ASSERT_FALSE(R.GetAborting());
    EXPECT_EQ(R.GetIEBitmap()->GetWidth(), 25);
    EXPECT_EQ(S.GetPosition(), S.GetSize());
  }
}

TEST(FolioIO, StreamHeaderMismatchFails) {
  auto A = MakeImage(16, 16, ie1g);
  TFolioIO W;
  W.AttachBitmap(A.get());
  W.GetParams()->BitsPerSample = 1;
  W.GetParams()->SamplesPerPixel = 1;
  TMemoryStream WithHeader, Plain;
  W.SetStreamHeaders(true);
  W.SaveToStream(&WithHeader, ioTIFF);
  W.SetStreamHeaders(false);
  W.SaveToStream(&Plain, ioTIFF);
  ASSERT_FALSE(W.GetAborting());

  struct TCase {
    TMemoryStream* Stream;
    bool Headers;
  };
  // a header read as TIFF data, and TIFF data where a header must stand
  for (TCase C : {TCase{&WithHeader, false}, TCase{&Plain, true}}) {
    TFolioIO R;
    TEventLog Log;
    Log.Hook(R);
    R.SetStreamHeaders(C.Headers);
    C.Stream->SetPosition(0);
    R.LoadTiffStream(C.Stream);
    EXPECT_TRUE(R.GetAborting());
    EXPECT_EQ(Log.Finishes, 1);
  }
}

// ---------------------------------------------------------------------------
// Parameters only

TEST(FolioIO, ParamsOnlyReadsLeaveTheImageAlone) {
  TempDir Dir;
  auto Fax = MakeImage(300, 120, ie1g);
  TFolioIO W;
  W.AttachBitmap(Fax.get());
  SetFaxParams(W.GetParams(), 204, 98);
  const std::string Name = Dir.file("fax.tif");
  W.SaveToFile(Name);
  ASSERT_FALSE(W.GetAborting());
  TMemoryStream S;
  W.SaveToStream(&S, ioTIFF);
  const std::vector<uint8_t> Bytes = StreamBytes(S);

  for (int Way = 0; Way < 3; ++Way) {
    SCOPED_TRACE(Way);
    TFolioIO R;
    TEventLog Log;
    Log.Hook(R);
    auto Before = MakeImage(5, 5, ie24RGB);
    R.GetIEBitmap()->Assign(Before.get());
    if (Way == 0) R.ReadParamsFromFile(Name);
    if (Way == 1) {
      S.SetPosition(0);
      R.ReadParamsFromStream(&S);
    }
    if (Way == 2) R.ReadParamsFromBuffer(Bytes.data(), int64_t(Bytes.size()));
    EXPECT_FALSE(R.GetAborting());
    const TIOParamsVals* P = R.GetParams();
    EXPECT_EQ(P->FileFormat, ioTIFF);
    EXPECT_EQ(P->Width, 300);
    EXPECT_EQ(P->Height, 120);
    EXPECT_EQ(P->DpiX, 204);
    EXPECT_EQ(P->DpiY, 98);
    EXPECT_EQ(P->TiffCompression, ietcG4Fax);
    EXPECT_EQ(P->FileName, Way == 0 ? Name : "");
    EXPECT_EQ(R.GetIEBitmap()->GetWidth(), 5) << "no pixels were decoded";
    // silent: only the finish event reports (with 100)
    EXPECT_EQ(Log.Finishes, 1);
    EXPECT_EQ(Log.Percents, std::vector<int32_t>{100});
  }

  // damaged and missing input: FileFormat 0, no exception from the detecting
  // entry points
  std::vector<uint8_t> Broken(Bytes.begin(), Bytes.begin() + 20);
  TFolioIO R;
  R.ReadParamsFromBuffer(Broken.data(), int64_t(Broken.size()), ioTIFF);
  EXPECT_TRUE(R.GetAborting());
  EXPECT_EQ(R.GetParams()->FileFormat, ioUnknown);
  R.ReadParamsFromFile(Dir.file("missing.tif"));
  EXPECT_EQ(R.GetParams()->FileFormat, ioUnknown);
}

// ---------------------------------------------------------------------------
// Resolution equalisation

TEST(FolioIO, AutoAdjustDpiEqualisesResolution) {
  TempDir Dir;
  auto Fax = MakeImage(1728, 1100, ie1g);
  TFolioIO W;
  W.AttachBitmap(Fax.get());
  SetFaxParams(W.GetParams(), 204, 98);
  const std::string Name = Dir.file("fax.tif");
  W.SaveToFile(Name);
  ASSERT_FALSE(W.GetAborting());

  TFolioIO R;
  R.SetAutoAdjustDPI(true);
  R.LoadFromFile(Name);
  ASSERT_FALSE(R.GetAborting());
  TIEBitmap* B = R.GetIEBitmap();
  EXPECT_EQ(B->GetWidth(), 1728);
  EXPECT_EQ(B->GetHeight(), 2289);
  EXPECT_EQ(B->GetPixelFormat(), ie1g);
  const TIOParamsVals* P = R.GetParams();
  EXPECT_EQ(P->DpiX, 204);
  EXPECT_EQ(P->DpiY, 204);
  EXPECT_EQ(P->Width, 1728);
  EXPECT_EQ(P->Height, 2289);
  EXPECT_EQ(P->ExifXResolution, 204);
  EXPECT_EQ(P->ExifYResolution, 204) << "the EXIF resolution follows DpiY";
  // nearest rows: destination row y shows source row y * 1100 / 2289
  for (int32_t Y : {0, 1, 2, 3, 1000, 2288}) {
    const int32_t SY = int32_t(int64_t(Y) * 1100 / 2289);
    EXPECT_EQ(std::memcmp(B->GetScanline(Y), Fax->GetScanline(SY), 1728 / 8), 0) << Y;
  }

  TFolioIO Filtered;
  Filtered.SetAutoAdjustDPI(true);
  Filtered.SetFilteredAdjustDPI(true);
  Filtered.LoadFromFile(Name);
  EXPECT_EQ(Filtered.GetIEBitmap()->GetHeight(), 2289);
  EXPECT_EQ(Filtered.GetIEBitmap()->GetPixelFormat(), ie24RGB);
}

TEST(FolioIO, AdjustDpiCases) {
  struct TCase {
    int32_t W, H, DpiX, DpiY;
    int32_t NewW, NewH, NewDpi;  // NewW 0: nothing to do
  };
  const TCase Cases[] = {
      {1728, 1100, 204, 98, 1728, 2289, 204},  // wider than high: height scaled
      {100, 300, 200, 100, 50, 300, 100},      // higher than wide: width scaled
      {100, 100, 300, 150, 50, 100, 150},      // square image counts as not wider
      {100, 50, 300, 300, 0, 0, 0},            // square resolution
      {100, 50, 0, 300, 0, 0, 0},              // missing resolution
      {100, 50, 1000000000, 2, 0, 0, 0},       // a side beyond the integer range
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.W) + "x" + std::to_string(C.H));
    auto Img = MakeImage(C.W, C.H, ie8g);
    TIOParamsVals P;
    P.Width = C.W;
    P.Height = C.H;
    P.SetDpiX(C.DpiX);
    P.SetDpiY(C.DpiY);
    std::unique_ptr<TIEBitmap> Out = IEAdjustBitmapDpi(Img.get(), P, false);
    if (C.NewW == 0) {
      EXPECT_EQ(Out, nullptr);
      EXPECT_EQ(P.Width, C.W);
      continue;
    }
    ASSERT_NE(Out, nullptr);
    EXPECT_EQ(Out->GetWidth(), C.NewW);
    EXPECT_EQ(Out->GetHeight(), C.NewH);
    EXPECT_EQ(Out->GetPixelFormat(), ie8g);
    EXPECT_EQ(P.DpiX, C.NewDpi);
    EXPECT_EQ(P.DpiY, C.NewDpi);
    EXPECT_EQ(Img->GetWidth(), C.W) << "the given bitmap stays as it was";
    auto Filtered = IEAdjustBitmapDpi(Img.get(), P, true);
    EXPECT_EQ(Filtered, nullptr) << "equal resolutions now";
  }
}

TEST(FolioIO, MissingResolutionGetsTheDefaultAndIsNotResampled) {
  auto Img = MakeImage(64, 32, ie24RGB);
  TFolioIO W;
  W.AttachBitmap(Img.get());
  W.GetParams()->SetDpiX(0);
  W.GetParams()->SetDpiY(0);
  TMemoryStream S;
  W.SaveToStream(&S, ioPCX);
  // PCX stores the resolution; zero comes back as the default on both axes
  TFolioIO R;
  R.SetAutoAdjustDPI(true);
  S.SetPosition(0);
  R.LoadFromStream(&S);
  ASSERT_FALSE(R.GetAborting());
  EXPECT_EQ(R.GetParams()->DpiX, IEDefaultDpiX);
  EXPECT_EQ(R.GetParams()->DpiY, IEDefaultDpiY);
  EXPECT_EQ(R.GetIEBitmap()->GetWidth(), 64);
  EXPECT_EQ(R.GetIEBitmap()->GetHeight(), 32);
}

// ---------------------------------------------------------------------------
// Progress, abort and the finish event

TEST(FolioIO, EveryOperationEndsWithOneFinishEvent) {
  TempDir Dir;
  auto Img = MakeImage(30, 20, ie24RGB);
  const std::string Good = Dir.file("good.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    W.SaveToFile(Good);
  }
  const std::vector<uint8_t> Junk(200, 0x42);
  testsupport::WriteFileBytes(Dir.file("junk.tif"), Junk);

  struct TCase {
    const char* Name;
    std::function<void(TFolioIO&)> Run;
    bool Aborting;
    bool Throws;
  };
  const std::vector<TCase> Cases = {
      {"load", [&](TFolioIO& IO) { IO.LoadFromFile(Good); }, false, false},
      {"load junk", [&](TFolioIO& IO) { IO.LoadFromFile(Dir.file("junk.tif")); }, true, false},
      {"load missing", [&](TFolioIO& IO) { IO.LoadFromFile(Dir.file("none.tif")); }, true, true},
      {"load empty name", [&](TFolioIO& IO) { IO.LoadFromFile(""); }, true, false},
      {"load unknown ext", [&](TFolioIO& IO) { IO.LoadFromFile(Dir.file("x.qqq")); }, true, false},
      {"load format not built", [&](TFolioIO& IO) { IO.LoadFromFile(Dir.file("x.wmf")); }, true, false},
      {"load layers without view", [&](TFolioIO& IO) { IO.LoadFromFile(Dir.file("x.lyr")); }, true, false},
      {"buffer without data", [&](TFolioIO& IO) { IO.LoadFromBuffer(nullptr, 0); }, true, false},
      {"save", [&](TFolioIO& IO) { IO.SaveToFile(Dir.file("out.pcx")); }, false, false},
      {"save xif", [&](TFolioIO& IO) { IO.SaveToFile(Dir.file("out.xif")); }, true, false},
      {"save iev", [&](TFolioIO& IO) { IO.SaveToFile(Dir.file("out.iev")); }, true, false},
      {"save to missing folder", [&](TFolioIO& IO) { IO.SaveToFile(Dir.file("no/out.tif")); }, true, true},
      {"save stream unknown",
       [&](TFolioIO& IO) {
         TMemoryStream S;
         IO.SaveToStream(&S, 999);
       },
       true, false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TFolioIO IO;
    IO.GetIEBitmap()->Assign(Img.get());
    TEventLog Log;
    Log.Hook(IO);
    if (C.Throws)
      EXPECT_THROW(C.Run(IO), Exception);
    else
      EXPECT_NO_THROW(C.Run(IO));
    EXPECT_EQ(IO.GetAborting(), C.Aborting);
    EXPECT_EQ(Log.Finishes, 1);
    ASSERT_FALSE(Log.Percents.empty());
    EXPECT_EQ(Log.Percents.back(), 100);
  }
  EXPECT_FALSE(FileExists(Dir.file("out.xif")));
  EXPECT_FALSE(FileExists(Dir.file("out.iev")));
}

TEST(FolioIO, ProgressRisesAndAbortStopsTheLoad) {
  TempDir Dir;
  auto Img = MakeImage(400, 900, ie24RGB);
  const std::string Name = Dir.file("big.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    W.GetParams()->TiffCompression = ietcNone;
    W.SaveToFile(Name);
    ASSERT_FALSE(W.GetAborting());
  }
  TFolioIO IO;
  TEventLog Log;
  Log.Hook(IO);
  IO.LoadFromFile(Name);
  ASSERT_FALSE(IO.GetAborting());
  ASSERT_GE(Log.Percents.size(), 3u);
  for (size_t I = 1; I < Log.Percents.size(); ++I) EXPECT_GE(Log.Percents[I], Log.Percents[I - 1]);

  // the progress handler asks to stop
  TFolioIO Stop;
  int32_t Finishes = 0;
  Stop.OnProgress = [&](TObject*, int32_t Per) {
    if (Per > 0 && Per < 100) Stop.SetAborting(true);
  };
  Stop.OnFinishWork = [&](TObject*) { ++Finishes; };
  Stop.LoadFromFile(Name);
  EXPECT_TRUE(Stop.GetAborting());
  EXPECT_EQ(Finishes, 1);
}

TEST(FolioIO, UndetectedStreamDoesNothingAtAll) {
  std::vector<uint8_t> Junk(64, 0x5A);
  TIEMemStream S(Junk.data(), int64_t(Junk.size()));
  TFolioIO IO;
  TEventLog Log;
  Log.Hook(IO);
  IO.SetAborting(true);
  IO.LoadFromStream(&S);
  IO.LoadFromStreamFormat(&S, 777);
  EXPECT_TRUE(IO.GetAborting()) << "unchanged";
  EXPECT_EQ(Log.Finishes, 0);
  EXPECT_TRUE(Log.Percents.empty());
}

// ---------------------------------------------------------------------------
// Saving never loses the old file

TEST(FolioIO, FailedSaveLeavesTheOldFileAndNoLeftovers) {
  TempDir Dir;
  const std::string Name = Dir.file("doc.tif");
  const std::vector<uint8_t> Old = {'o', 'l', 'd'};
  testsupport::WriteFileBytes(Name, Old);

  // an empty image, and an abort during the encoding
  TFolioIO Empty;
  Empty.SaveToFile(Name);
  EXPECT_TRUE(Empty.GetAborting());

  auto Img = MakeImage(300, 400, ie24RGB);
  TFolioIO Stopped;
  Stopped.AttachBitmap(Img.get());
  Stopped.GetParams()->TiffCompression = ietcNone;
  Stopped.OnProgress = [&](TObject*, int32_t Per) {
    if (Per > 0 && Per < 100) Stopped.SetAborting(true);
  };
  Stopped.SaveToFile(Name);
  EXPECT_TRUE(Stopped.GetAborting());
  EXPECT_NE(Stopped.GetParams()->FileName, Name);
  EXPECT_EQ(testsupport::ReadFileBytes(Name), Old);
  EXPECT_EQ(FolderEntries(Dir.path()), std::vector<std::string>{"doc.tif"});

  // a good save replaces it and keeps its permissions
  ::chmod(Name.c_str(), 0640);
  TFolioIO Good;
  Good.AttachBitmap(Img.get());
  Good.SaveToFile(Name);
  ASSERT_FALSE(Good.GetAborting());
  EXPECT_EQ(FolderEntries(Dir.path()), std::vector<std::string>{"doc.tif"});
  EXPECT_EQ(IETiffFileImageCount(Name), 1);
  EXPECT_EQ(std::filesystem::status(Name).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));

  // a read-only file is not replaced (unless we are the superuser, who may
  // write it anyway)
  if (::geteuid() != 0) {
    ::chmod(Name.c_str(), 0440);
    const std::vector<uint8_t> Before = testsupport::ReadFileBytes(Name);
    TFolioIO ReadOnly;
    ReadOnly.AttachBitmap(Img.get());
    EXPECT_THROW(ReadOnly.SaveToFile(Name), EFCreateError);
    EXPECT_TRUE(ReadOnly.GetAborting());
    EXPECT_EQ(testsupport::ReadFileBytes(Name), Before);
  }
}

// ---------------------------------------------------------------------------
// Codecs of other units, through the registry

TEST(FolioIO, RegisteredReadAndWriteProcedures) {
  TempDir Dir;
  auto Entry = std::make_unique<TIEFileFormatInfo>();
  const TIEFileFormat Id = 4711;
  Entry->FormatId = Id;
  Entry->Description = "Test format";
  Entry->Extensions = "TSTX";
  // a trivial format: width and height bytes, then gray bytes
  Entry->WriteProc = [](TStream* S, TIEBitmap* B, TIOParamsVals&, TIEProgressRec&) {
    uint8_t Head[2] = {uint8_t(B->GetWidth()), uint8_t(B->GetHeight())};
    S->WriteBuffer(Head, 2);
    for (int32_t Y = 0; Y < B->GetHeight(); ++Y)
      for (int32_t X = 0; X < B->GetWidth(); ++X) {
        uint8_t V = B->GetScanline(Y)[X * 3];
        S->WriteBuffer(&V, 1);
      }
  };
  Entry->ReadProc = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Pr, bool ParamsOnly) {
    uint8_t Head[2];
    S->ReadBuffer(Head, 2);  // raises on a short file
    if (Head[0] == 0) {
      Pr.SetAborting();
      return;
    }
    P.Width = Head[0];
    P.Height = Head[1];
    if (ParamsOnly) return;
    B->Allocate(Head[0], Head[1], ie8g);
    for (int32_t Y = 0; Y < Head[1]; ++Y) S->ReadBuffer(B->GetScanline(Y), Head[0]);
  };
  IEAddFileFormat(std::move(Entry));

  auto Img = MakeImage(9, 4, ie24RGB);
  TFolioIO IO;
  TEventLog Log;
  Log.Hook(IO);
  IO.AttachBitmap(Img.get());
  const std::string Name = Dir.file("a.tstx");
  IO.SaveToFile(Name);
  ASSERT_FALSE(IO.GetAborting());
  EXPECT_EQ(IO.GetParams()->FileFormat, Id);
  EXPECT_EQ(testsupport::ReadFileBytes(Name).size(), 2u + 36u);

  TFolioIO R;
  TEventLog RLog;
  RLog.Hook(R);
  R.LoadFromFile(Name);
  ASSERT_FALSE(R.GetAborting());
  EXPECT_EQ(R.GetIEBitmap()->GetWidth(), 9);
  EXPECT_EQ(R.GetIEBitmap()->GetScanline(2)[5], Img->GetScanline(2)[15]);
  R.ReadParamsFromFileFormat(Name, Id);
  EXPECT_EQ(R.GetParams()->FileFormat, Id);
  EXPECT_EQ(R.GetParams()->Width, 9);

  // a short file raises inside the procedure: caught, reported by the flag
  testsupport::WriteFileBytes(Dir.file("b.tstx"), {7});
  EXPECT_NO_THROW(R.LoadFromFile(Dir.file("b.tstx")));
  EXPECT_TRUE(R.GetAborting());
  EXPECT_EQ(RLog.Finishes, 3);
  IERemoveFileFormat(Id);
}

// ---------------------------------------------------------------------------
// Attachment to a view and to a bitmap

TEST(FolioIO, AttachedViewIsUpdatedAndFollowed) {
  TempDir Dir;
  auto Img = MakeImage(50, 40, ie1g);
  const std::string Name = Dir.file("p.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    SetFaxParams(W.GetParams(), 200, 100);
    W.SaveToFile(Name);
  }
  auto View = std::make_unique<TShowView>(nullptr);
  TIEBitmap First, Second;
  View->Shown = &First;
  TFolioIO IO;
  IO.SetAttachedFolio(View.get());
  EXPECT_EQ(IO.GetIEBitmap(), &First);
  EXPECT_EQ(View->GetChangeCallbackCount(), 1);
  IO.LoadFromFile(Name);
  ASSERT_FALSE(IO.GetAborting());
  EXPECT_EQ(First.GetWidth(), 50) << "the view's image received the page";
  EXPECT_EQ(View->GetDpiX(), 200);
  EXPECT_EQ(View->GetDpiY(), 100);
  EXPECT_EQ(View->ImageChanges, 1);
  EXPECT_EQ(View->Locks, 0);

  // Background belongs to the view while attached
  View->SetBackground(clRed);
  IO.SetBackground(clBlue);
  EXPECT_EQ(IO.GetBackground(), clRed);

  // the view replaces its image object and tells its components
  View->Shown = &Second;
  View->SetDpi(72, 72);
  View->CallBitmapChangeEvents();
  EXPECT_EQ(IO.GetIEBitmap(), &Second);
  EXPECT_EQ(IO.GetParams()->DpiX, 72);

  // the view goes: the component forgets it and works on an own image
  View.reset();
  EXPECT_EQ(IO.GetAttachedFolio(), nullptr);
  ASSERT_NE(IO.GetIEBitmap(), nullptr);
  EXPECT_NE(IO.GetIEBitmap(), &Second);
  IO.LoadFromFile(Name);
  EXPECT_FALSE(IO.GetAborting());
  IO.SetBackground(clBlue);
  EXPECT_EQ(IO.GetBackground(), clBlue);
}

TEST(FolioIO, DetachingAndBitmaps) {
  auto View = std::make_unique<TShowView>(nullptr);
  TIEBitmap Shown;
  View->Shown = &Shown;
  {
    TFolioIO IO;
    IO.SetAttachedFolio(View.get());
    IO.SetAttachedFolio(nullptr);
    IO.SetAttachedFolio(nullptr);
    EXPECT_EQ(View->GetChangeCallbackCount(), 0);
    ASSERT_NE(IO.GetIEBitmap(), nullptr);
    EXPECT_NE(IO.GetIEBitmap(), &Shown);
    EXPECT_TRUE(IO.GetIEBitmap()->IsEmpty());

    // AttachBitmap(nil) while a view is attached only unregisters
    IO.SetAttachedFolio(View.get());
    IO.AttachBitmap(nullptr);
    EXPECT_EQ(IO.GetAttachedFolio(), View.get());
    EXPECT_EQ(View->GetChangeCallbackCount(), 0);
    TIEBitmap Mine;
    IO.AttachBitmap(&Mine);
    EXPECT_EQ(IO.GetAttachedFolio(), nullptr);
    EXPECT_EQ(IO.GetIEBitmap(), &Mine);
  }
  // the component went first: the view holds no callback of it
  {
    TFolioIO IO;
    IO.SetAttachedFolio(View.get());
  }
  EXPECT_EQ(View->GetChangeCallbackCount(), 0);

  // without a current image every operation fails cleanly
  auto IO = TFolioIO::CreateFromBitmap(nullptr);
  EXPECT_EQ(IO->GetIEBitmap(), nullptr);
  IO->LoadFromFile("x.tif");
  EXPECT_TRUE(IO->GetAborting());
  TMemoryStream S;
  IO->SaveToStream(&S, ioTIFF);
  EXPECT_TRUE(IO->GetAborting());
  EXPECT_EQ(S.GetSize(), 0);
}

TEST(FolioIO, ParamsReachTheOwnersImageAndView) {
  auto View = std::make_unique<TShowView>(nullptr);
  auto Img = MakeImage(12, 7, ie8g);
  View->Shown = Img.get();
  TFolioIO IO;
  IO.SetAttachedFolio(View.get());
  int32_t W = 0, H = 0;
  ASSERT_NE(IEParamsOwnerHooks.GetImageSize, nullptr);
  EXPECT_TRUE(IEParamsOwnerHooks.GetImageSize(&IO, W, H));
  EXPECT_EQ(W, 12);
  EXPECT_EQ(H, 7);
  IO.GetParams()->SetDpiX(96);
  EXPECT_EQ(View->GetDpiX(), 96);
  EXPECT_EQ(View->Locks, 0);
}

// ---------------------------------------------------------------------------
// JPEG metadata markers follow the parameters

TEST(FolioIO, JpegMarkersAreRebuiltNotDuplicated) {
  auto CountApp1 = [](TIOParamsVals* P, bool Exif) {
    int32_t N = 0;
    TIEMarkerList* M = P->JpegMarkers.get();
    for (int32_t I = 0; I < M->GetCount(); ++I) {
      if (M->GetMarkerType(I) != 0xE1) continue;
      if (Exif ? IEIsExifHeader(M->GetMarkerData(I), M->GetMarkerLength(I))
               : IEFindXMPPacket(M->GetMarkerData(I), M->GetMarkerLength(I)) != nullptr)
        ++N;
    }
    return N;
  };
  auto Img = MakeImage(32, 24, ie24RGB);
  TFolioIO IO;
  IO.AttachBitmap(Img.get());
  IO.GetParams()->ExifPresent = true;
  IO.GetParams()->ExifMake = "Folivra test camera";
  IO.GetParams()->XmpPacket = "<x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>";
  TMemoryStream First;
  IO.SaveToStream(&First, ioJPEG);
  ASSERT_FALSE(IO.GetAborting());

  TFolioIO Again;
  First.SetPosition(0);
  Again.LoadFromStream(&First);
  ASSERT_FALSE(Again.GetAborting());
  EXPECT_EQ(Again.GetParams()->ExifMake, "Folivra test camera");
  EXPECT_EQ(CountApp1(Again.GetParams(), true), 1);
  EXPECT_EQ(CountApp1(Again.GetParams(), false), 1);
  Again.GetParams()->ExifMake = "Changed";
  Again.GetParams()->XmpPacket.clear();
  TMemoryStream Second;
  Again.SaveToStream(&Second, ioJPEG);
  ASSERT_FALSE(Again.GetAborting());

  TFolioIO Third;
  Second.SetPosition(0);
  Third.LoadFromStream(&Second);
  EXPECT_EQ(Third.GetParams()->ExifMake, "Changed");
  EXPECT_EQ(CountApp1(Third.GetParams(), true), 1) << "one EXIF block after two saves";
  EXPECT_EQ(CountApp1(Third.GetParams(), false), 0) << "the emptied XMP packet is gone";
}

// ---------------------------------------------------------------------------
// Asynchronous mode

namespace {
// A view that records the messages a worker posts to it.
class TMessageView : public TShowView {
 public:
  using TShowView::TShowView;
  std::vector<uint32_t> Messages;
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == IEM_PROGRESS || Message.Msg == IEM_FINISHWORK || Message.Msg == IEM_UPDATE)
      Messages.push_back(Message.Msg);
    TShowView::Dispatch(Message);
  }
};
}  // namespace

TEST(FolioIO, AsyncCallsRunInWorkers) {
  TempDir Dir;
  auto Img = MakeImage(50, 40, ie1g);
  const std::string Name = Dir.file("p.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    SetFaxParams(W.GetParams(), 200, 200);
    W.SaveToFile(Name);
  }
  const std::vector<uint8_t> Bytes = testsupport::ReadFileBytes(Name);
  auto View = std::make_unique<TShowView>(nullptr);
  TIEBitmap Shown;
  View->Shown = &Shown;
  TFolioIO IO;
  IO.SetAttachedFolio(View.get());
  IO.SetAsyncMode(true);
  std::atomic<int32_t> Finishes{0};
  std::atomic<uint64_t> FinishThread{0};
  IO.OnFinishWork = [&](TObject*) {
    FinishThread = TThread::CurrentThreadID();
    ++Finishes;
  };

  EXPECT_EQ(IO.LoadTiffFile(Name), -1) << "a count is not known yet";
  IO.WaitThreads(false);
  EXPECT_EQ(Finishes, 1);
  EXPECT_NE(FinishThread, TThread::CurrentThreadID()) << "no parent window: called in the worker";
  EXPECT_EQ(Shown.GetWidth(), 50);
  EXPECT_FALSE(IO.GetAborting());

  // an exception inside the worker becomes the abort flag
  IO.LoadFromFile(Dir.file("missing.tif"));
  IO.WaitThreads(false);
  EXPECT_TRUE(IO.GetAborting());
  EXPECT_EQ(Finishes, 2);

  // a buffer load runs at once: its stream lives on the caller's stack
  IO.LoadFromBuffer(Bytes.data(), int64_t(Bytes.size()));
  EXPECT_EQ(Finishes, 3);
  EXPECT_EQ(FinishThread, TThread::CurrentThreadID());

  // an owned image never goes to a worker
  TFolioIO Own;
  Own.SetAsyncMode(true);
  int32_t OwnFinishes = 0;
  Own.OnFinishWork = [&](TObject*) { ++OwnFinishes; };
  Own.LoadFromFile(Name);
  EXPECT_EQ(OwnFinishes, 1);

  // destroying the component waits for its worker
  {
    TFolioIO Quick;
    Quick.SetAttachedFolio(View.get());
    Quick.SetAsyncMode(true);
    Quick.SaveToFile(Dir.file("q.tif"));
  }
  EXPECT_EQ(IETiffFileImageCount(Dir.file("q.tif")), 1);
}

// Waiting for a component means its worker threads have ended, not only their
// calls: every thread a call ran in is gone from the process afterwards.
TEST(FolioIO, AfterWaitThreadsNoWorkerThreadIsAlive) {
  TempDir Dir;
  auto Img = MakeImage(40, 30, ie24RGB);
  const std::string Name = Dir.file("w.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    W.SaveToFile(Name);
  }
  auto View = std::make_unique<TShowView>(nullptr);
  TIEBitmap Shown;
  View->Shown = &Shown;
  // A joined thread has ended, but the kernel removes its /proc entry a moment
  // after the join returns: allow it that moment (a thread that still runs
  // its code would also have to end within it to pass, which the component's
  // thread count below rules out anyway).
  auto ThreadAlive = [](uint64_t Tid) {
    const std::string Path = "/proc/self/task/" + std::to_string(Tid);
    for (int Try = 0; Try < 2000; ++Try) {
      struct stat St;
      if (::stat(Path.c_str(), &St) != 0) return false;
      ::usleep(1000);
    }
    return true;
  };
  std::vector<uint64_t> Tids;
  {
    TFolioIO IO;
    IO.SetAttachedFolio(View.get());
    IO.SetAsyncMode(true);
    std::atomic<uint64_t> Tid{0};
    IO.OnFinishWork = [&](TObject*) { Tid = TThread::CurrentThreadID(); };
    for (int I = 0; I < 5; ++I) {
      IO.LoadFromFile(Name);
      IO.WaitThreads(false);
      ASSERT_NE(Tid.load(), TThread::CurrentThreadID()) << "the call ran in a worker";
      Tids.push_back(Tid.load());
      EXPECT_EQ(IO.WorkerThreadCount(), 0u);
      EXPECT_FALSE(ThreadAlive(Tid.load())) << "worker " << I << " still runs after WaitThreads";
    }
    // A call still running when the component goes: the destructor joins it.
    IO.LoadFromFile(Name);
  }
  EXPECT_EQ(Shown.GetWidth(), 40);
}

TEST(FolioIO, AsyncEventsReachAParentedViewAsMessages) {
  TempDir Dir;
  auto Img = MakeImage(120, 300, ie24RGB);
  const std::string Name = Dir.file("p.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    W.GetParams()->TiffCompression = ietcNone;
    W.SaveToFile(Name);
  }
  TForm Form(nullptr);
  auto* View = new TMessageView(&Form);
  View->SetParent(&Form);
  TIEBitmap Shown;
  View->Shown = &Shown;
  TFolioIO IO;
  IO.SetAttachedFolio(View);
  IO.SetAsyncMode(true);
  int32_t Direct = 0;
  IO.OnProgress = [&](TObject*, int32_t) { ++Direct; };
  IO.OnFinishWork = [&](TObject*) { ++Direct; };
  IO.LoadFromFile(Name);
  IO.WaitThreads(false);
  Application->ProcessMessages();
  EXPECT_EQ(Direct, 0) << "the view's handlers report in the GUI thread";
  ASSERT_GE(View->Messages.size(), 3u);
  EXPECT_EQ(View->Messages.back(), IEM_FINISHWORK);
  EXPECT_NE(std::find(View->Messages.begin(), View->Messages.end(), IEM_UPDATE), View->Messages.end());
  EXPECT_EQ(Shown.GetHeight(), 300);
}

TEST(FolioIO, SavedFilesReadRightInPeers) {
  if (!testsupport::HaveTool("convert") || !testsupport::HaveTool("pcxtoppm"))
    GTEST_SKIP() << "ImageMagick or netpbm missing";
  struct TCase {
    const char* Name;
    TIEPixelFormat Pixels;
    const char* Command;  // writes a P4 or P6 image of the file
  };
  const TCase Cases[] = {
      {"fax.tif", ie1g, "convert '%s[0]' pbm:-"},
      {"page.pcx", ie1g, "pcxtoppm '%s'"},
      {"colour.pcx", ie24RGB, "pcxtoppm '%s'"},
      {"doc.dcx", ie24RGB, "convert '%s[0]' ppm:-"},
  };
  TempDir Dir;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Img = MakeImage(77, 45, C.Pixels);
    TFolioIO IO;
    IO.AttachBitmap(Img.get());
    if (C.Pixels == ie1g) SetFaxParams(IO.GetParams(), 204, 98);
    const std::string Name = Dir.file(C.Name);
    IO.SaveToFile(Name);
    ASSERT_FALSE(IO.GetAborting());
    std::string Out;
    ASSERT_EQ(testsupport::RunCommand(Format(C.Command, Name.c_str()) + " 2>/dev/null", &Out), 0);
    const testsupport::PnmImage P = testsupport::ParsePnm(std::vector<uint8_t>(Out.begin(), Out.end()));
    ASSERT_EQ(P.Width, 77);
    ASSERT_EQ(P.Height, 45);
    int32_t Wrong = 0;
    for (int32_t Y = 0; Y < 45; ++Y) {
      const uint8_t* Row = Img->GetScanline(Y);
      const uint8_t* Peer = P.Data.data() + size_t(Y) * P.RowBytes();
      for (int32_t X = 0; X < 77; ++X) {
        if (C.Pixels == ie1g) {
          const bool OurWhite = (Row[X >> 3] >> (7 - (X & 7))) & 1;
          const bool PeerWhite = P.Kind == '4' ? !((Peer[X >> 3] >> (7 - (X & 7))) & 1) : Peer[X * 3] == 255;
          Wrong += OurWhite != PeerWhite;
        } else {
          for (int32_t Ch = 0; Ch < 3; ++Ch) Wrong += Row[X * 3 + Ch] != Peer[X * 3 + 2 - Ch];
        }
      }
    }
    EXPECT_EQ(Wrong, 0);
  }
}

TEST(FolioIO, ParametersDialogIsHandledOrNotAvailable) {
  TFolioIO IO;
  EXPECT_FALSE(IO.DoPreviews(ppTIFF)) << "no dialog in this build";
  int32_t Calls = 0;
  IO.OnDoPreviews = [&](TObject* Sender, bool& Handled) {
    ++Calls;
    EXPECT_EQ(Sender, &IO);
    Handled = true;
  };
  EXPECT_TRUE(IO.DoPreviews(ppTIFF));
  EXPECT_EQ(Calls, 1);
}

TEST(FolioIO, DamagedDataFailsCleanly) {
  auto Img = MakeImage(90, 70, ie24RGB);
  auto Fax = MakeImage(90, 70, ie1g);
  for (TIEFileFormat F : {ioTIFF, ioJPEG, ioPCX, ioDCX}) {
    SCOPED_TRACE(F);
    for (bool Headers : {false, true}) {
      if (Headers && F == ioDCX) continue;
      TFolioIO W;
      W.SetStreamHeaders(Headers);
      W.AttachBitmap(F == ioTIFF ? Fax.get() : Img.get());
      if (F == ioTIFF) SetFaxParams(W.GetParams(), 200, 200);
      TMemoryStream S;
      W.SaveToStream(&S, F);
      ASSERT_FALSE(W.GetAborting());
      const std::vector<uint8_t> Good = StreamBytes(S);
      std::vector<std::vector<uint8_t>> Bad;
      for (size_t Cut : {size_t(1), size_t(11), size_t(13), size_t(40), Good.size() / 2, Good.size() - 1})
        Bad.emplace_back(Good.begin(), Good.begin() + Cut);
      for (size_t At = 0; At < Good.size(); At += 7) {
        std::vector<uint8_t> Flipped = Good;
        Flipped[At] ^= 0xA5;
        Bad.push_back(Flipped);
      }
      if (Headers) {
        // a stored length far beyond the data
        std::vector<uint8_t> Long = Good;
        Long[11] = 0x7F;
        Bad.push_back(Long);
      }
      for (const auto& Data : Bad) {
        TFolioIO R;
        R.SetStreamHeaders(Headers);
        int32_t Finishes = 0;
        R.OnFinishWork = [&](TObject*) { ++Finishes; };
        try {
          R.LoadFromBuffer(Data.data(), int64_t(Data.size()), F);
        } catch (const Exception&) {
          // a codec may raise; the finish event has run all the same
        }
        EXPECT_EQ(Finishes, 1);
        R.ReadParamsFromBuffer(Data.data(), int64_t(Data.size()), F);
        EXPECT_EQ(Finishes, 2);
      }
    }
  }
}

TEST(FolioIO, ReadFromAFormResource) {
  RegisterComponentClass<TShowView>("TShowView");
  TForm Form(nullptr);
  Form.ReadFormResourceText(
      "object F: TForm\n"
      "  object IEnIO: TFolioIO\n"
      "    AttachedFolio = IEn\n"
      "    AutoAdjustDPI = True\n"
      "    StreamHeaders = True\n"
      "    DialogsMeasureUnit = ieduCm\n"
      "    PreviewsParams = [ioppApplyButton]\n"
      "    PreviewFont.Name = 'Tahoma'\n"
      "    SimplifiedParamsDialogs = False\n"
      "  end\n"
      "  object IEn: TShowView\n"
      "    Left = 0\n"
      "  end\n"
      "end\n");
  auto* IO = dynamic_cast<TFolioIO*>(Form.FindComponent("IEnIO"));
  auto* View = dynamic_cast<TShowView*>(Form.FindComponent("IEn"));
  ASSERT_NE(IO, nullptr);
  ASSERT_NE(View, nullptr);
  EXPECT_EQ(IO->GetAttachedFolio(), View);
  EXPECT_EQ(View->GetChangeCallbackCount(), 1);
  EXPECT_TRUE(IO->GetAutoAdjustDPI());
  EXPECT_TRUE(IO->GetStreamHeaders());
  EXPECT_EQ(IO->GetDialogsMeasureUnit(), ieduCm);
  EXPECT_EQ(IO->GetPreviewsParams(), ioppApplyButton);
  EXPECT_FALSE(IO->GetSimplifiedParamsDialogs());
}

TEST(FolioIO, ViewWithOnlyAGuiBitmapIsLinked) {
  // a view that shows a platform bitmap and has no image buffer
  class TGuiView : public TShowView {
   public:
    using TShowView::TShowView;
    TBitmap Picture;
    TBitmap* GetViewBitmap() override { return &Picture; }
  };
  TempDir Dir;
  auto Img = MakeImage(33, 21, ie24RGB);
  const std::string Name = Dir.file("c.tif");
  {
    TFolioIO W;
    W.AttachBitmap(Img.get());
    W.SaveToFile(Name);
  }
  auto View = std::make_unique<TGuiView>(nullptr);
  TFolioIO IO;
  IO.SetAttachedFolio(View.get());
  EXPECT_EQ(IO.GetTBitmap(), &View->Picture);
  IO.LoadFromFile(Name);
  ASSERT_FALSE(IO.GetAborting());
  EXPECT_EQ(View->Picture.GetWidth(), 33);
  EXPECT_EQ(View->Picture.GetHeight(), 21);
  ASSERT_EQ(View->Picture.GetPixelFormat(), pf24bit);
  EXPECT_EQ(std::memcmp(View->Picture.GetScanLine(3), Img->GetScanline(3), 33 * 3), 0);

  // a save takes the platform bitmap's pixels first
  View->Picture.SetSize(7, 5);
  TMemoryStream S;
  IO.SaveToStream(&S, ioTIFF);
  ASSERT_FALSE(IO.GetAborting());
  TFolioIO R;
  S.SetPosition(0);
  R.LoadFromStream(&S);
  EXPECT_EQ(R.GetIEBitmap()->GetWidth(), 7);
  EXPECT_EQ(R.GetIEBitmap()->GetHeight(), 5);
}
