// The I/O parameter set: defaults with and without an owner, the EXIF
// presence bookkeeping, copies (whole and options only), the file-info reset,
// and the one-line description.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundations/icc_profile.h"
#include "foundations/ie_lists.h"
#include "foundations/image_buffer.h"
#include "foundations/imaging_annotations.h"
#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/tag_directory.h"
#include "foundations/xmp_dicom_tags.h"
#include "formats/io_params.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"

namespace {

// A stand-in owner: the parameter set only passes the pointer to the hooks.
TFolioIO* FakeOwner() {
  static int token;
  return reinterpret_cast<TFolioIO*>(&token);
}

struct HookScope {
  TIEParamsOwnerHooks Saved = IEParamsOwnerHooks;
  TIEFormatNameProc SavedName = IEFormatNameHook;
  ~HookScope() {
    IEParamsOwnerHooks = Saved;
    IEFormatNameHook = SavedName;
  }
};

int gViewDpiCalls = 0;
int32_t gViewDpi[2] = {0, 0};

const uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0, 1, 2};

}  // namespace

TEST(IOParams, DefaultsWithoutOwner) {
  TIOParamsVals p;
  EXPECT_EQ(p.Owner, nullptr);
  EXPECT_EQ(p.DpiX, 0);
  EXPECT_EQ(p.DpiY, 0);
  EXPECT_EQ(p.Width, 0);
  EXPECT_EQ(p.Height, 0);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.FileFormat, ioUnknown);
  EXPECT_EQ(p.TiffCompression, ietcNone);
  EXPECT_EQ(p.TiffPhotometric, ietpRGB);
  EXPECT_EQ(p.TiffSubIfdIndex, -1);
  EXPECT_EQ(p.TiffTileIndex, -1);
  EXPECT_EQ(p.TiffPageNumber, -1);
  EXPECT_EQ(p.TiffPageTotal, -1);
  EXPECT_EQ(p.TiffOrientation, 1);
  EXPECT_EQ(p.ExifOrientation, 0);
  EXPECT_EQ(p.TiffLzwDecoder, TiffLzwDecodeHook);
  EXPECT_EQ(p.TiffLzwEncoder, TiffLzwEncodeHook);
  EXPECT_EQ(p.GifLzwDecoder, GifLzwDecodeHook);
  EXPECT_EQ(p.TiffFillOrder, 1);
  EXPECT_TRUE(p.TiffLittleEndian);
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.GifDisposalMethod, 2);
  EXPECT_EQ(p.JpegQuality, 80);
  EXPECT_EQ(p.JpegColorSpace, 2);
  EXPECT_EQ(p.JpegReduceMode, 1);
  EXPECT_EQ(p.JpegChromaSubsampling, 1);
  EXPECT_EQ(p.J2kRate, 1.0);
  EXPECT_EQ(p.PcxVersion, 5);
  EXPECT_EQ(p.BmpHeaderKind, 1);
  EXPECT_EQ(p.IcoFillColor, (TRGB{255, 255, 255}));
  EXPECT_EQ(p.IcoWriteSizes[0], (TSize{64, 64}));
  EXPECT_EQ(p.IcoWriteSizes[1], (TSize{0, 0}));
  EXPECT_EQ(p.IcoWriteBitDepths[0], 8);
  EXPECT_EQ(p.IcoWriteBitDepths[15], 0);
  EXPECT_EQ(p.PngDeflateLevel, 5);
  EXPECT_TRUE(p.TgaCompressed);
  EXPECT_EQ(p.TgaDate, Date());
  EXPECT_EQ(p.TgaGamma, 2.2);
  EXPECT_TRUE(p.PsdClearLayersFirst);
  EXPECT_EQ(p.HdpImageQuality, 0.9);
  EXPECT_EQ(p.PsPageHeight, 842);
  EXPECT_EQ(p.PsDocumentTitle, "No Title");
  EXPECT_EQ(p.PdfImageCompression, 2);
  EXPECT_EQ(p.RawGamma, 0.6);
  EXPECT_TRUE(p.RawQuickInterpolate);
  EXPECT_EQ(p.RawPixelsRowAlignBits, 8);
  EXPECT_EQ(p.ExifBrightnessValue, -1000);
  EXPECT_EQ(p.ExifWhitePoint[1], -1);
  EXPECT_EQ(p.ExifRating, -1);
  // Containers exist; the lazily made objects do not.
  ASSERT_TRUE(p.JpegMarkers && p.IptcRecords && p.PnmComments && p.GifCommentTexts && p.PngTextKeywords &&
              p.PngTexts && p.DicomElements && p.ExifMakerNote && p.ExifTagsPresent);
  EXPECT_EQ(p.ExifTagsPresent->GetCount(), 0);
  EXPECT_EQ(p.ColorMap, nullptr);
  EXPECT_EQ(p.ImagingAnnot, nullptr);
  EXPECT_EQ(p.InputIccProfile, nullptr);
  EXPECT_EQ(p.OutputIccProfile, nullptr);
  EXPECT_EQ(p.ExifThumbnail, nullptr);
  // First use makes them; a new output profile is the built-in sRGB one.
  EXPECT_FALSE(p.GetInputIccProfile()->IsValid());
  EXPECT_TRUE(p.GetOutputIccProfile()->IsValid());
  EXPECT_EQ(p.GetOutputIccProfile(), p.OutputIccProfile.get());
  EXPECT_EQ(p.GetImagingAnnot()->GetOwner(), &p);
}

TEST(IOParams, DefaultsWithOwnerTakeImageSizeAndDefaultResolution) {
  HookScope scope;
  gViewDpiCalls = 0;
  IEParamsOwnerHooks.SetViewDpi = [](TFolioIO*, bool Horizontal, int32_t Value) {
    ++gViewDpiCalls;
    gViewDpi[Horizontal ? 0 : 1] = Value;
  };
  // No image: size 0 x 0, default resolution.
  IEParamsOwnerHooks.GetImageSize = [](TFolioIO*, int32_t&, int32_t&) { return false; };
  TIOParamsVals a(FakeOwner());
  EXPECT_EQ(a.Width, 0);
  EXPECT_EQ(a.DpiX, IEDefaultDpiX);
  EXPECT_EQ(a.DpiY, IEDefaultDpiY);
  EXPECT_EQ(gViewDpiCalls, 2);
  EXPECT_EQ(gViewDpi[0], IEDefaultDpiX);
  // With an image: its size.
  IEParamsOwnerHooks.GetImageSize = [](TFolioIO*, int32_t& W, int32_t& H) {
    W = 1728;
    H = 2200;
    return true;
  };
  TIOParamsVals b(FakeOwner());
  EXPECT_EQ(b.Width, 1728);
  EXPECT_EQ(b.Height, 2200);
  // Resolution setters keep the EXIF copies and pass the value on.
  b.SetExifXResolution(203.9);
  EXPECT_EQ(b.DpiX, 203);
  EXPECT_EQ(b.ExifXResolution, 203.9);
  EXPECT_EQ(gViewDpi[0], 203);
  b.SetDpiY(98);
  EXPECT_EQ(b.ExifYResolution, 98);
  EXPECT_EQ(gViewDpi[1], 98);
  // Without an owner nothing is passed on.
  const int calls = gViewDpiCalls;
  TIOParamsVals c;
  c.SetDpiX(72);
  EXPECT_EQ(gViewDpiCalls, calls);
}

TEST(IOParams, ExifSettersMarkTagsPresentUnlessAbsentValue) {
  TIOParamsVals p;
  struct Case {
    const char* Name;
    void (*Set)(TIOParamsVals&, bool Absent);
    int32_t Tag;
  } cases[] = {
      {"brightness", [](TIOParamsVals& P, bool A) { P.SetExifBrightnessValue(A ? -1000 : -1); }, 37379},
      {"exposure bias", [](TIOParamsVals& P, bool A) { P.SetExifExposureBiasValue(A ? -1000 : 0.5); }, 37380},
      {"compressed bits", [](TIOParamsVals& P, bool A) { P.SetExifCompressedBitsPerPixel(A ? 0 : -1); }, 37122},
      {"exposure time", [](TIOParamsVals& P, bool A) { P.SetExifExposureTime(A ? -1 : 0); }, 33434},
      {"pixel x", [](TIOParamsVals& P, bool A) { P.SetExifPixelXDimension(A ? 0 : -1); }, 40962},
      {"flash", [](TIOParamsVals& P, bool A) { P.SetExifFlash(A ? -1 : 0); }, 37385},
      {"scene type", [](TIOParamsVals& P, bool A) { P.SetExifSceneType(A ? -1 : 1); }, 41729},
      {"focal plane unit", [](TIOParamsVals& P, bool A) { P.SetExifFocalPlaneResolutionUnit(A ? -1 : 2); }, 41488},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Set(p, false);
    EXPECT_TRUE(p.IsExifTagPresent(c.Tag));
    c.Set(p, false);  // marked once only
    c.Set(p, true);
    EXPECT_FALSE(p.IsExifTagPresent(c.Tag));
  }
  EXPECT_EQ(p.ExifTagsPresent->GetCount(), 0);
  p.SetExifFNumber(2.8);
  EXPECT_EQ(p.ExifFNumber, 2.8);
  // Array accessors leave the presence list alone.
  p.SetExifWhitePoint(1, 0.3127);
  p.SetExifIsoSpeed(1, 400);
  EXPECT_EQ(p.GetExifWhitePoint(1), 0.3127);
  EXPECT_EQ(p.GetExifIsoSpeed(1), 400);
  EXPECT_EQ(p.ExifTagsPresent->GetCount(), 1);
  // Orientation setters keep both copies equal.
  p.SetOrientation(6);
  EXPECT_EQ(p.TiffOrientation, 6);
  EXPECT_EQ(p.ExifOrientation, 6);
}

TEST(IOParams, ResetExifRemovesOnlyTheFirstExifMarker) {
  TIOParamsVals p;
  const uint8_t xmp[] = {'h', 't', 't', 'p', 0};
  p.JpegMarkers->AddMarker(IEJPEG_APP1, xmp, sizeof(xmp));
  p.JpegMarkers->AddMarker(IEJPEG_APP2, kExif, sizeof(kExif));  // not APP1
  p.JpegMarkers->AddMarker(IEJPEG_APP1, kExif, sizeof(kExif));
  p.JpegMarkers->AddMarker(IEJPEG_APP1, kExif, 6);
  p.SetExifFlash(1);
  p.ExifMake = "Maker";
  p.GpsLatitude[0] = 45;
  p.ExifThumbnail = std::make_unique<TIEBitmap>(4, 4, ie24RGB);
  p.ExifPresent = true;
  p.ResetExif();
  ASSERT_EQ(p.JpegMarkers->GetCount(), 3);
  EXPECT_EQ(p.JpegMarkers->GetMarkerType(0), IEJPEG_APP1);
  EXPECT_EQ(p.JpegMarkers->GetMarkerLength(0), int32_t(sizeof(xmp)));
  EXPECT_EQ(p.JpegMarkers->GetMarkerType(1), IEJPEG_APP2);
  EXPECT_EQ(p.JpegMarkers->GetMarkerLength(2), 6);
  EXPECT_EQ(p.ExifFlash, -1);
  EXPECT_EQ(p.ExifMake, "");
  EXPECT_EQ(p.GpsLatitude[0], 0);
  EXPECT_EQ(p.ExifThumbnail, nullptr);
  EXPECT_FALSE(p.ExifPresent);
  EXPECT_EQ(p.ExifTagsPresent->GetCount(), 0);
}

TEST(IOParams, AssignCopiesEverythingButOwnerMediaAndWarnings) {
  HookScope scope;
  IEParamsOwnerHooks = TIEParamsOwnerHooks{};
  TIOParamsVals s;
  s.FileName = "/tmp/page.tif";
  s.FileFormat = ioTIFF;
  s.BitsPerSample = 1;
  s.SamplesPerPixel = 1;
  s.Width = 1728;
  s.Height = 2200;
  s.SetDpiX(204);
  s.SetDpiY(196);
  s.ColorMap.reset(new TRGB[256]);
  s.ColorMapCount = 256;
  for (int i = 0; i < 256; ++i) s.ColorMap[i] = TRGB{uint8_t(i), 0, uint8_t(255 - i)};
  s.TiffCompression = ietcG4Fax;
  s.TiffPhotometric = ietpWhiteIsZero;
  s.TiffDocumentName = "doc";
  s.SetTiffOrientation(3);
  s.SetImageIndex(4);
  s.CurImageIndex = 7;  // written directly: after Assign all six follow it
  s.SetImageCount(9);
  s.GifCommentTexts->Add("hello");
  s.JpegMarkers->AddMarker(IEJPEG_COM, "x", 1);
  s.JpegLoadExifThumbnail = true;
  s.LoadExifThumbnail = false;
  s.IcoWriteSizes[3] = TSize{16, 16};
  s.PngTexts->Add("t");
  s.DicomElements->AddTag(0x10, 0x10, "PN", nullptr, -1);
  s.TgaAuthor = "me";
  s.AviFrameDuration = 40;
  s.SetExifFNumber(4);
  s.ExifPresent = true;
  s.ExifThumbnail = std::make_unique<TIEBitmap>(2, 3, ie8g);
  s.GpsMapDatum = "WGS-84";
  s.GpsTimeStamp[2] = 12.5;
  s.SetExifIsoSpeed(0, 100);
  s.ExifPrimaryChromaticities[5] = 0.06;
  s.IptcRecords->AddData(2, 5, 3, "abc");
  s.GetImagingAnnot()->AddObject()->SetAnnotType(ieaHollowRect);
  s.GetOutputIccProfile();
  s.PdfAuthor = "author";
  s.RawCamera = "cam";
  s.XmpPacket = "<x/>";
  s.MediaFrameCount = 5;
  s.MediaFrameDuration = 33;
  s.JpegWarningCount = 3;

  TIOParamsVals t;
  t.Assign(&s);
  EXPECT_EQ(t.Owner, nullptr);
  EXPECT_EQ(t.FileName, s.FileName);
  EXPECT_EQ(t.DpiX, 204);
  EXPECT_EQ(t.ExifXResolution, 204);
  EXPECT_EQ(t.DpiY, 196);
  ASSERT_NE(t.ColorMap, nullptr);
  ASSERT_EQ(t.ColorMapCount, 256);
  EXPECT_NE(t.ColorMap.get(), s.ColorMap.get());
  EXPECT_EQ(0, std::memcmp(t.ColorMap.get(), s.ColorMap.get(), 256 * 3));
  EXPECT_EQ(t.TiffCompression, ietcG4Fax);
  EXPECT_EQ(t.TiffPhotometric, ietpWhiteIsZero);
  EXPECT_EQ(t.TiffDocumentName, "doc");
  EXPECT_EQ(t.TiffOrientation, 3);
  EXPECT_EQ(t.ExifOrientation, 3);
  for (int32_t idx : {t.ImageIndex, t.TiffPageIndex, t.DcxPageIndex, t.GifImageIndex, t.IcoImageIndex,
                      t.CurImageIndex})
    EXPECT_EQ(idx, 7);
  for (int32_t n : {t.ImageCount, t.TiffPagesInFile, t.GifFrameCount, t.AviFrameCount}) EXPECT_EQ(n, 9);
  EXPECT_EQ(t.MediaFrameCount, 0);
  EXPECT_EQ(t.MediaFrameDuration, 0);
  EXPECT_EQ(t.JpegWarningCount, 0);
  EXPECT_TRUE(t.LoadExifThumbnail) << "follows the JPEG copy of the request";
  EXPECT_EQ(t.GifCommentTexts->GetCount(), 1);
  EXPECT_EQ(t.JpegMarkers->GetCount(), 1);
  EXPECT_EQ(t.IcoWriteSizes[3], (TSize{16, 16}));
  EXPECT_EQ(t.PngTexts->Get(0), "t");
  EXPECT_EQ(t.DicomElements->GetCount(), 1);
  EXPECT_EQ(t.TgaAuthor, "me");
  EXPECT_EQ(t.AviFrameDuration, 40);
  EXPECT_EQ(t.ExifFNumber, 4);
  EXPECT_TRUE(t.IsExifTagPresent(33437));
  EXPECT_TRUE(t.ExifPresent);
  ASSERT_NE(t.ExifThumbnail, nullptr);
  EXPECT_EQ(t.ExifThumbnail->GetHeight(), 3);
  EXPECT_EQ(t.GpsMapDatum, "WGS-84");
  EXPECT_EQ(t.GpsTimeStamp[2], 12.5);
  EXPECT_EQ(t.GetExifIsoSpeed(0), 100);
  EXPECT_EQ(t.ExifPrimaryChromaticities[5], 0.06);
  EXPECT_EQ(t.IptcRecords->GetCount(), 1);
  ASSERT_NE(t.ImagingAnnot, nullptr);
  EXPECT_EQ(t.ImagingAnnot->GetCount(), 1);
  EXPECT_EQ(t.ImagingAnnot->GetOwner(), &t);
  EXPECT_EQ(t.InputIccProfile, nullptr);
  ASSERT_NE(t.OutputIccProfile, nullptr);
  EXPECT_TRUE(t.OutputIccProfile->IsValid()) << "the built-in sRGB output profile survives the copy";
  EXPECT_EQ(t.PdfAuthor, "author");
  EXPECT_EQ(t.RawCamera, "cam");
  EXPECT_EQ(t.XmpPacket, "<x/>");

  // The copy is deep.
  s.ColorMap[0].b = 99;
  s.GetImagingAnnot()->Clear();
  EXPECT_EQ(t.ColorMap[0].b, 0);
  EXPECT_EQ(t.ImagingAnnot->GetCount(), 1);

  // A source without colour map, annotations, profiles or thumbnail: the first
  // three go, the thumbnail stays.
  TIOParamsVals bare;
  t.Assign(&bare);
  EXPECT_EQ(t.ColorMap, nullptr);
  EXPECT_EQ(t.ColorMapCount, 0);
  EXPECT_EQ(t.ImagingAnnot, nullptr);
  EXPECT_EQ(t.OutputIccProfile, nullptr);
  EXPECT_NE(t.ExifThumbnail, nullptr);
  EXPECT_EQ(t.GifCommentTexts->GetCount(), 0);
  EXPECT_EQ(t.ExifTagsPresent->GetCount(), 0);
  t.Assign(nullptr);
  t.Assign(&t);
  EXPECT_EQ(t.TiffCompression, ietcNone);
}

TEST(IOParams, AssignCompressionInfoCopiesOnlyTheEncodingOptions) {
  TIOParamsVals s;
  s.BitsPerSample = 1;
  s.SamplesPerPixel = 1;
  s.TiffCompression = ietcG3Fax2D;
  s.SetTiffOrientation(8);
  s.TiffFillOrder = 2;
  s.JpegQuality = 33;
  s.PdfImageCompression = 5;
  s.PcxCompression = 0;
  s.FileName = "x";
  s.Width = 10;
  s.SetImageIndex(3);
  s.TiffDocumentName = "d";
  TIOParamsVals t;
  t.AssignCompressionInfo(&s);
  EXPECT_EQ(t.BitsPerSample, 1);
  EXPECT_EQ(t.SamplesPerPixel, 1);
  EXPECT_EQ(t.TiffCompression, ietcG3Fax2D);
  EXPECT_EQ(t.TiffOrientation, 8);
  EXPECT_EQ(t.ExifOrientation, 8);
  EXPECT_EQ(t.TiffFillOrder, 2);
  EXPECT_EQ(t.JpegQuality, 33);
  EXPECT_EQ(t.PdfImageCompression, 5);
  EXPECT_EQ(t.PcxCompression, 0);
  EXPECT_EQ(t.FileName, "");
  EXPECT_EQ(t.Width, 0);
  EXPECT_EQ(t.ImageIndex, 0);
  EXPECT_EQ(t.TiffDocumentName, "");
}

TEST(IOParams, ClearFileInfoForgetsMetadataButKeepsOptions) {
  TIOParamsVals p;
  p.TiffCompression = ietcLZW;
  p.JpegQuality = 50;
  p.SetImageIndex(2);
  p.IptcRecords->AddData(2, 5, 1, "a");
  p.GetImagingAnnot();
  p.GetInputIccProfile();
  p.GetOutputIccProfile();
  p.JpegMarkers->AddMarker(IEJPEG_COM, "c", 1);
  p.SetExifFlash(0);
  p.GifCommentTexts->Add("g");
  p.DicomElements->AddTag(1, 1, "CS", nullptr, -1);
  p.PngTexts->Add("p");
  p.TiffPageName = "n";
  p.TgaJobName = "j";
  p.PnmComments->Add("c");
  p.XmpPacket = "x";
  p.ClearFileInfo();
  EXPECT_EQ(p.IptcRecords->GetCount(), 0);
  EXPECT_EQ(p.ImagingAnnot, nullptr);
  EXPECT_EQ(p.InputIccProfile, nullptr);
  EXPECT_NE(p.OutputIccProfile, nullptr);
  EXPECT_EQ(p.JpegMarkers->GetCount(), 0);
  EXPECT_EQ(p.ExifFlash, -1);
  EXPECT_EQ(p.ExifTagsPresent->GetCount(), 0);
  EXPECT_EQ(p.GifCommentTexts->GetCount(), 0);
  EXPECT_EQ(p.DicomElements->GetCount(), 0);
  EXPECT_EQ(p.PngTexts->GetCount(), 0);
  EXPECT_EQ(p.TiffPageName, "");
  EXPECT_EQ(p.TgaJobName, "");
  EXPECT_EQ(p.PnmComments->GetCount(), 0);
  EXPECT_EQ(p.XmpPacket, "");
  EXPECT_EQ(p.TiffCompression, ietcLZW);
  EXPECT_EQ(p.JpegQuality, 50);
  EXPECT_EQ(p.GifImageIndex, 2);
  // Lazily made objects come back on request.
  EXPECT_NE(p.GetImagingAnnot(), nullptr);
}

TEST(IOParams, DescribeFileParams) {
  HookScope scope;
  IEFormatNameHook = [](TIEFileFormat F, std::string& Name, std::string& Ext) {
    switch (F) {
      case ioTIFF: Name = "TIFF Bitmap", Ext = "tif"; return true;
      case ioJPEG: Name = "JPEG Bitmap", Ext = "jpg"; return true;
      case ioBMPRAW: Name = "Raw Bitmap", Ext = ""; return true;
      case ioRAW: Name = "Camera RAW", Ext = "crw"; return true;
      case ioTGA: Name = "Targa Bitmap", Ext = "tga"; return true;
      default: return false;
    }
  };
  struct Case {
    void (*Setup)(TIOParamsVals&);
    const char* Expected;
  } cases[] = {
      {[](TIOParamsVals& P) { P.FileFormat = ioTIFF, P.TiffCompression = ietcG4Fax; }, "TIFF Bitmap (TIF) Group 4 Fax"},
      {[](TIOParamsVals& P) { P.FileFormat = ioTIFF, P.TiffCompression = ietcDeflate; }, "TIFF Bitmap (TIF) Deflate"},
      {[](TIOParamsVals& P) { P.FileFormat = ioTIFF, P.TiffCompression = ietcUnknown; }, "TIFF Bitmap (TIF)"},
      {[](TIOParamsVals& P) { P.FileFormat = ioJPEG, P.JpegColorSpace = 0; }, "JPEG Bitmap (JPG)"},
      {[](TIOParamsVals& P) { P.FileFormat = ioJPEG, P.JpegColorSpace = 3; }, "JPEG Bitmap (JPG) CMYK"},
      {[](TIOParamsVals& P) { P.FileFormat = ioBMPRAW; }, "Raw Bitmap ()"},
      {[](TIOParamsVals& P) { P.FileFormat = ioRAW, P.RawCamera = "Canon"; }, "Camera RAW (CRW) (Canon)"},
      {[](TIOParamsVals& P) { P.FileFormat = ioTGA, P.TgaCompressed = false; }, "Targa Bitmap (TGA) Uncompressed"},
      // Not registered: only the option text.
      {[](TIOParamsVals& P) { P.FileFormat = ioGIF, P.GifInterlaced = true; }, " Interlaced"},
      {[](TIOParamsVals& P) { P.FileFormat = ioBMP, P.BmpHeaderKind = 2; }, " OS/2 v.1"},
      {[](TIOParamsVals& P) { P.FileFormat = ioPCX, P.PcxCompression = 0; }, " Uncompressed"},
      {[](TIOParamsVals& P) { P.FileFormat = ioJ2K, P.J2kColorSpace = 2; }, " YCbCr"},
      {[](TIOParamsVals& P) { P.FileFormat = 999; }, ""},
  };
  for (const Case& c : cases) {
    TIOParamsVals p;
    c.Setup(p);
    EXPECT_EQ(IEDescribeFileParams(&p), c.Expected);
  }
  EXPECT_EQ(IEDescribeFileParams(nullptr), "");
}
