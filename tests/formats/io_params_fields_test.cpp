// Every field of the I/O parameter set, one row each: a fresh set is changed
// in every row, copied into another fresh set, compared row by row, and then
// put back to its defaults and compared with a fresh set again.  The rows
// name the few fields a copy or a reset deliberately leaves alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "formats/io_params.h"
#include "foundations/icc_profile.h"
#include "foundations/ie_lists.h"
#include "foundations/image_buffer.h"
#include "foundations/imaging_annotations.h"
#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/tag_directory.h"
#include "foundations/xmp_dicom_tags.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"

namespace {

using P = TIOParamsVals;

// How a field behaves in a copy and in a reset.
enum TCopyRule : uint8_t {
  kCopied,       // Assign copies it, SetDefaults restores it
  kNotCopied,    // Assign leaves the target's value, SetDefaults restores it
  kNeverTouched  // neither Assign nor SetDefaults changes it
};

struct TFieldRow {
  const char* Name;
  std::function<void(P&)> Set;                // a value no fresh set has
  std::function<std::string(const P&)> Show;  // the field's value as text
  TCopyRule Rule = kCopied;
};

template <typename T>
std::string Text(const T& Value) {
  std::ostringstream s;
  if constexpr (std::is_same_v<T, std::string>)
    s << '"' << Value << '"';
  else if constexpr (std::is_same_v<T, TRGB>)
    s << int(Value.r) << ',' << int(Value.g) << ',' << int(Value.b);
  else if constexpr (std::is_same_v<T, TSize>)
    s << Value.cx << 'x' << Value.cy;
  else if constexpr (std::is_pointer_v<T>)
    s << reinterpret_cast<const void*>(Value);
  else if constexpr (std::is_enum_v<T> || std::is_same_v<T, uint8_t> || std::is_same_v<T, bool>)
    s << int(Value);
  else {
    s.precision(17);
    s << Value;
  }
  return s.str();
}

template <typename T, size_t N>
std::string Text(const T (&Values)[N]) {
  std::string s = "[";
  for (size_t i = 0; i < N; ++i) s += (i ? " " : "") + Text(Values[i]);
  return s + "]";
}

std::string ListText(const TStrings* List) {
  if (List == nullptr) return "null";
  return "{" + List->GetCommaText() + "}";
}

// Fills an array with values no default has: Base, Base + 1 ...
template <typename T, size_t N>
void Fill(T (&Values)[N], T Base) {
  for (size_t i = 0; i < N; ++i) Values[i] = T(Base + T(i));
}

uint8_t* FakeTiffLzwDecode(const uint8_t*, int64_t, int32_t, void*&, int32_t) { return nullptr; }
void FakeTiffLzwEncode(const uint8_t*, int32_t, TStream*, void*&) {}
void FakeGifLzwDecode(TStream*, int32_t, int32_t, bool, uint8_t*) {}
void FakeGifLzwEncode(TStream*, int32_t, int32_t, bool, const uint8_t*, int32_t) {}

// A maker note with one entry (tag 1, SHORT, value 7), written the way a
// reader leaves it before rebuilding the table.
void LoadOneEntryMakerNote(TIETagsHandler& Handler) {
  const uint8_t dir[] = {1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0};
  Handler.GetData()->Write(dir, sizeof(dir));
  Handler.LoadEntryTable();
}

#define ROW(F, V)                                                    \
  TFieldRow {                                                        \
#F, [](P & p) { p.F = V; }, [](const P& p) { return Text(p.F); } \
  }
#define ROW_RULE(F, V, R)                                               \
  TFieldRow {                                                           \
#F, [](P & p) { p.F = V; }, [](const P& p) { return Text(p.F); }, R \
  }
#define ARRAY_ROW(F, BASE)                                                   \
  TFieldRow {                                                                \
#F, [](P & p) { Fill(p.F, BASE); }, [](const P& p) { return Text(p.F); } \
  }
#define LIST_ROW(F, ...)                                                                              \
  TFieldRow {                                                                                         \
#F, [](P & p) { p.F->SetCommaText(__VA_ARGS__); }, [](const P& p) { return ListText(p.F.get()); } \
  }

std::vector<TFieldRow> FieldRows() {
  std::vector<TFieldRow> rows = {
      // General.
      ROW(BitsPerSample, 1),
      ROW(FileName, "/tmp/fax.tif"),
      ROW(SamplesPerPixel, 1),
      ROW(Width, 1728),
      ROW(Height, 2287),
      {"DpiX", [](P& p) { p.SetDpiX(204); }, [](const P& p) { return Text(p.DpiX); }},
      {"DpiY", [](P& p) { p.SetDpiY(196); }, [](const P& p) { return Text(p.DpiY); }},
      ROW(FileFormat, ioTIFF),
      // The six page indices move together; the copy ends with the cursor's.
      {"image indices", [](P& p) { p.SetImageIndex(6); },
       [](const P& p) {
         return Text(p.ImageIndex) + Text(p.TiffPageIndex) + Text(p.DcxPageIndex) + Text(p.GifImageIndex) +
                Text(p.IcoImageIndex) + Text(p.CurImageIndex);
       }},
      {"image counts", [](P& p) { p.SetImageCount(9); },
       [](const P& p) {
         return Text(p.ImageCount) + Text(p.TiffPagesInFile) + Text(p.GifFrameCount) + Text(p.AviFrameCount);
       }},
      {"EXIF thumbnail request", [](P& p) { p.SetLoadExifThumbnail(true); },
       [](const P& p) { return Text(p.LoadExifThumbnail) + Text(p.JpegLoadExifThumbnail); }},
      ROW(FromResource, true),
      ROW(ApplyOrientation, true),
      ROW(StoredWidth, 3456),
      ROW(StoredHeight, 4574),
      ROW(NativePixelFormat, true),
      {"ColorMap",
       [](P& p) {
         p.ColorMap.reset(new TRGB[3]);
         p.ColorMapCount = 3;
         for (uint8_t i = 0; i < 3; ++i) p.ColorMap[i] = TRGB{i, uint8_t(i + 10), uint8_t(i + 20)};
       },
       [](const P& p) {
         std::string s = Text(p.ColorMapCount) + ":";
         if (!p.ColorMap) return s + "null";
         for (int32_t i = 0; i < p.ColorMapCount; ++i) s += " " + Text(p.ColorMap[i]);
         return s;
       }},

      // TIFF.
      ROW(TiffCompression, ietcG4Fax),
      ROW(TiffSubIfdIndex, 2),
      ROW(TiffPhotometric, ietpWhiteIsZero),
      ROW(TiffPlanarConfig, 2),
      ROW(TiffXPosition, 11),
      ROW(TiffYPosition, 12),
      ROW(TiffTileIndex, 3),
      ROW(TiffDocumentName, "document"),
      ROW(TiffImageDescription, "description"),
      ROW(TiffPageName, "page"),
      ROW(TiffPageNumber, 4),
      ROW(TiffPageTotal, 10),
      ROW(TiffOrientation, 5),
      ROW(TiffLzwDecoder, &FakeTiffLzwDecode),
      ROW(TiffLzwEncoder, &FakeTiffLzwEncode),
      ROW(TiffApplyOrientation, true),
      ROW(TiffJpegQuality, 55),
      ROW(TiffJpegColorSpace, ioJPEG_GRAYLEV),
      ROW(TiffDeflateLevel, 2),
      ROW(TiffFillOrder, 2),
      ROW(TiffLittleEndian, false),

      // GIF.
      ROW(GifVersion, "GIF87a"),
      ROW(GifFrameLeft, 13),
      ROW(GifFrameTop, 14),
      ROW(GifDelay, 15),
      ROW(GifTransparent, true),
      ROW(GifTransparentColor, (TRGB{1, 2, 3})),
      ROW(GifInterlaced, true),
      ROW(GifScreenWidth, 640),
      ROW(GifScreenHeight, 480),
      ROW(GifBackgroundColor, (TRGB{4, 5, 6})),
      ROW(GifPixelAspect, 49),
      LIST_ROW(GifCommentTexts, "first,second"),
      ROW(GifDisposalMethod, 3),
      ROW(GifLzwDecoder, &FakeGifLzwDecode),
      ROW(GifLzwEncoder, &FakeGifLzwEncode),

      // JPEG.
      ROW(JpegColorSpace, ioJPEG_CMYK),
      ROW(JpegQuality, 33),
      ROW(JpegDctMethod, ioJPEG_FLOAT),
      ROW(JpegChromaSubsampling, 2),
      ROW(JpegOptimizeCoding, true),
      ROW(JpegSmoothingFactor, 20),
      ROW(JpegProgressive, true),
      ROW(JpegReduceMode, ioJPEG_QUARTER),
      {"JpegMarkers", [](P& p) { p.JpegMarkers->AddMarker(0xFE, "note", 4); },
       [](const P& p) {
         const TIEMarkerList& m = *p.JpegMarkers;
         std::string s = Text(m.GetCount());
         for (int32_t i = 0; i < m.GetCount(); ++i)
           s += " " + Text(m.GetMarkerType(i)) + ":" +
                std::string(reinterpret_cast<const char*>(m.GetMarkerData(i)), size_t(m.GetMarkerLength(i)));
         return s;
       }},
      ROW(JpegScaleDenominator, 4),
      ROW_RULE(JpegWarningCount, 3, kNeverTouched),
      ROW_RULE(JpegLastWarningCode, 125, kNeverTouched),
      ROW(JpegApplyOrientation, true),

      // JPEG 2000, PCX, BMP, icons, cursors, PNG, DICOM.
      ROW(J2kColorSpace, ioJ2K_YCbCr),
      ROW(J2kRate, 0.25),
      ROW(J2kProgression, ioJ2KPO_RLCP),
      ROW(PcxVersion, 3),
      ROW(PcxCompression, ioPCX_UNCOMPRESSED),
      ROW(BmpHeaderKind, ioBMP_BMOS2V2),
      ROW(BmpCompression, ioBMP_RLE),
      ROW(BmpAlphaChannel, true),
      ROW(IcoFillColor, (TRGB{7, 8, 9})),
      {"IcoWriteSizes",
       [](P& p) {
         for (int i = 0; i < 16; ++i) p.IcoWriteSizes[i] = TSize{i + 1, i + 2};
       },
       [](const P& p) { return Text(p.IcoWriteSizes); }},
      ARRAY_ROW(IcoWriteBitDepths, 1),
      ROW(CurHotSpotX, 16),
      ROW(CurHotSpotY, 17),
      ROW(CurFillColor, (TRGB{10, 11, 12})),
      ROW(PngInterlaced, true),
      ROW(PngBackgroundColor, (TRGB{13, 14, 15})),
      ROW(PngFilter, ioPNG_FILTER_PAETH),
      ROW(PngDeflateLevel, 9),
      LIST_ROW(PngTextKeywords, "Title,Author"),
      LIST_ROW(PngTexts, "MyTitle,MyAuthor"),
      {"DicomElements", [](P& p) { p.DicomElements->AddTag(0x10, 0x20, "LO", nullptr, -1); },
       [](const P& p) {
         std::string s = Text(p.DicomElements->GetCount());
         for (int32_t i = 0; i < p.DicomElements->GetCount(); ++i)
           s += " " + Text(p.DicomElements->GetTag(i)->Group) + "/" +
                Text(p.DicomElements->GetTag(i)->Element);
         return s;
       }},

      // Targa, Photoshop, HD Photo, AVI, media.
      ROW(TgaXOrigin, 18),
      ROW(TgaYOrigin, 19),
      ROW(TgaCompressed, false),
      ROW(TgaImageId, "id"),
      ROW(TgaAuthor, "author"),
      ROW(TgaDate, 12345.0),
      ROW(TgaJobName, "job"),
      ROW(TgaKeyColor, (TRGB{16, 17, 18})),
      ROW(TgaAspectRatio, 1.5),
      ROW(TgaGamma, 1.8),
      ROW(TgaGray, true),
      ROW(PsdWithLayers, true),
      ROW(PsdClearLayersFirst, false),
      ROW(HdpImageQuality, 0.5),
      ROW(HdpLossless, true),
      ROW(AviFrameDuration, 40),
      // The media frame fields belong to the set they were read into.
      ROW_RULE(MediaFrameCount, 21, kNotCopied),
      ROW_RULE(MediaFrameDuration, 33, kNotCopied),

      // PostScript, PDF.
      ROW(PsPageWidth, 612),
      ROW(PsPageHeight, 792),
      ROW(PsImageCompression, ioPS_JPEG),
      ROW(PsDocumentTitle, "ps title"),
      ROW(PdfPageWidth, 612),
      ROW(PdfPageHeight, 792),
      ROW(PdfImageCompression, ioPDF_LZW),
      ROW(PdfTitle, "title"),
      ROW(PdfAuthor, "pdf author"),
      ROW(PdfSubject, "subject"),
      ROW(PdfKeywords, "keywords"),
      ROW(PdfCreator, "creator"),
      ROW(PdfProducer, "producer"),

      // Camera raw, raw pixels.
      ROW(RawHalfSize, true),
      ROW(RawGamma, 0.45),
      ROW(RawBrightness, 1.25),
      ROW(RawRedScale, 1.125),
      ROW(RawBlueScale, 0.875),
      ROW(RawQuickInterpolate, false),
      ROW(RawUseAutoWB, true),
      ROW(RawUseCameraWB, true),
      ROW(RawFourColorRGB, true),
      ROW(RawCamera, "camera"),
      ROW(RawLoadThumbnail, true),
      ROW(RawMatchPreviewLevels, true),
      ROW(RawPixelsRgbOrder, true),
      ROW(RawPixelsPlanar, ioRAW_PLANAR),
      ROW(RawPixelsRowAlignBits, 32),
      ROW(RawPixelsSkipBytes, 100),
      ROW(RawPixelsEncoding, ioRAW_HEX_TEXT),

      // Metadata.
      {"IptcRecords", [](P& p) { p.IptcRecords->AddData(2, 120, 3, "cap"); },
       [](const P& p) {
         std::string s = Text(p.IptcRecords->GetCount());
         for (int32_t i = 0; i < p.IptcRecords->GetCount(); ++i)
           s += " " + Text(p.IptcRecords->GetDataSet(i)) + ":" + Text(p.IptcRecords->GetDataLength(i));
         return s;
       }},
      {"ImagingAnnot", [](P& p) { p.GetImagingAnnot()->AddObject()->SetAnnotType(ieaHollowRect); },
       [](const P& p) {
         if (!p.ImagingAnnot) return std::string("null");
         // The annotations always belong to the set that holds them.
         return Text(p.ImagingAnnot->GetCount()) + (p.ImagingAnnot->GetOwner() == &p ? " own" : " foreign");
       }},
      LIST_ROW(PnmComments, "first-comment,second-comment"),
      ROW(XmpPacket, "<x:xmpmeta/>"),
      {"ICC profiles",
       [](P& p) {
         p.GetInputIccProfile()->LoadSRGB();
         p.GetOutputIccProfile();
         p.GetDefaultIccProfile();
       },
       [](const P& p) {
         auto one = [](const TIEICC* icc) {
           return icc == nullptr ? "null" : icc->IsValid() ? "valid" : "empty";
         };
         return std::string(one(p.InputIccProfile.get())) + " " + one(p.OutputIccProfile.get()) + " " +
                one(p.DefaultIccProfile.get());
       }},
      {"ExifTagsPresent", [](P& p) { p.MarkExifTagPresent(41990), p.MarkExifTagPresent(270); },
       [](const P& p) {
         std::string s = Text(p.ExifTagsPresent->GetCount());
         for (int32_t i = 0; i < p.ExifTagsPresent->GetCount(); ++i)
           s += " " + Text(p.ExifTagsPresent->GetValue(i));
         return s;
       }},
      ROW(ExifPresent, true),
      {"ExifThumbnail", [](P& p) { p.ExifThumbnail = std::make_unique<TIEBitmap>(5, 3, ie8g); },
       [](const P& p) {
         if (!p.ExifThumbnail) return std::string("null");
         return Text(p.ExifThumbnail->GetWidth()) + "x" + Text(p.ExifThumbnail->GetHeight());
       }},
      {"ExifMakerNote", [](P& p) { LoadOneEntryMakerNote(*p.ExifMakerNote); },
       [](const P& p) {
         return Text(p.ExifMakerNote->GetEntriesCount()) + " " + Text(p.ExifMakerNote->GetData()->GetSize());
       }},
      ROW(ExifUserComment, "user comment"),
      ROW(ExifUserCommentCharset, "ASCII"),

      // EXIF strings.
      ROW(ExifImageDescription, "s270"),
      ROW(ExifMake, "s271"),
      ROW(ExifModel, "s272"),
      ROW(ExifSoftware, "s305"),
      ROW(ExifArtist, "s315"),
      ROW(ExifDateTime, "s306"),
      ROW(ExifCopyright, "s33432"),
      ROW(ExifVersion, "0220"),
      ROW(ExifDateTimeOriginal, "s36867"),
      ROW(ExifDateTimeDigitized, "s36868"),
      ROW(ExifSubsecTime, "s37520"),
      ROW(ExifSubsecTimeOriginal, "s37521"),
      ROW(ExifSubsecTimeDigitized, "s37522"),
      ROW(ExifFlashPixVersion, "0100"),
      ROW(ExifRelatedSoundFile, "s40964"),
      ROW(ExifImageUniqueID, "s42016"),
      ROW(ExifXPTitle, "s40091"),
      ROW(ExifXPComment, "s40092"),
      ROW(ExifXPAuthor, "s40093"),
      ROW(ExifXPKeywords, "s40094"),
      ROW(ExifXPSubject, "s40095"),
      // EXIF doubles.
      ROW(ExifExposureTime, 0.125),
      ROW(ExifFNumber, 2.8),
      ROW(ExifShutterSpeedValue, 3.0),
      ROW(ExifApertureValue, 2.97),
      ROW(ExifSubjectDistance, 1.5),
      ROW(ExifFocalLength, 35.0),
      ROW(ExifFocalPlaneXResolution, 2000.0),
      ROW(ExifFocalPlaneYResolution, 2001.0),
      ROW(ExifExposureIndex, 100.0),
      ROW(ExifDigitalZoomRatio, 2.0),
      ROW(ExifBrightnessValue, 1.0),
      ROW(ExifExposureBiasValue, -0.5),
      ROW(ExifMaxApertureValue, 2.5),
      ROW(ExifCompressedBitsPerPixel, 4.0),
      // After the resolution setters, which store their own copies.
      ROW(ExifXResolution, 204.5),
      ROW(ExifYResolution, 196.5),
      ARRAY_ROW(ExifWhitePoint, 0.25),
      ARRAY_ROW(ExifPrimaryChromaticities, 0.5),
      ARRAY_ROW(ExifYCbCrCoefficients, 0.75),
      ARRAY_ROW(ExifReferenceBlackWhite, 16.0),
      // EXIF integers.
      ROW(ExifYCbCrPositioning, 2),
      ROW(ExifExposureProgram, 3),
      ROW(ExifMeteringMode, 4),
      ROW(ExifLightSource, 5),
      ROW(ExifFlash, 6),
      ROW(ExifColorSpace, 7),
      ROW(ExifFocalPlaneResolutionUnit, 8),
      ROW(ExifSensingMethod, 9),
      ROW(ExifFileSource, 10),
      ROW(ExifSceneType, 11),
      ROW(ExifRating, 12),
      ROW(ExifExposureMode, 13),
      ROW(ExifWhiteBalance, 14),
      ROW(ExifFocalLengthIn35mmFilm, 15),
      ROW(ExifSceneCaptureType, 16),
      ROW(ExifGainControl, 17),
      ROW(ExifContrast, 18),
      ROW(ExifSaturation, 19),
      ROW(ExifSharpness, 20),
      ROW(ExifSubjectDistanceRange, 21),
      ROW(ExifResolutionUnit, 2),
      ROW(ExifPixelXDimension, 1728),
      ROW(ExifPixelYDimension, 2287),
      // After TiffOrientation, whose setters write both.
      ROW(ExifOrientation, 7),
      ARRAY_ROW(ExifIsoSpeedRatings, 100),

      // GPS.
      ROW(GpsVersionID, "2.2.0.0"),
      ROW(GpsLatitudeRef, "N"),
      ROW(GpsLongitudeRef, "E"),
      ROW(GpsAltitudeRef, "1"),
      ROW(GpsSatellites, "sats"),
      ROW(GpsStatus, "A"),
      ROW(GpsMeasureMode, "3"),
      ROW(GpsSpeedRef, "K"),
      ROW(GpsTrackRef, "T"),
      ROW(GpsImgDirectionRef, "M"),
      ROW(GpsMapDatum, "WGS-84"),
      ROW(GpsDestLatitudeRef, "S"),
      ROW(GpsDestLongitudeRef, "W"),
      ROW(GpsDestBearingRef, "T"),
      ROW(GpsDestDistanceRef, "K"),
      ROW(GpsDateStamp, "2026:12:11"),
      ROW(GpsAltitude, 120.5),
      ROW(GpsDOP, 1.5),
      ROW(GpsSpeed, 50.0),
      ROW(GpsTrack, 90.0),
      ROW(GpsImgDirection, 180.0),
      ROW(GpsDestBearing, 270.0),
      ROW(GpsDestDistance, 3.5),
      ARRAY_ROW(GpsLatitude, 45.0),
      ARRAY_ROW(GpsLongitude, 7.0),
      ARRAY_ROW(GpsTimeStamp, 12.0),
      ARRAY_ROW(GpsDestLatitude, 44.0),
      ARRAY_ROW(GpsDestLongitude, 8.0),
  };
  return rows;
}

#undef ROW
#undef ROW_RULE
#undef ARRAY_ROW
#undef LIST_ROW

// The rows above must name every field.  When one of these sizes changes, a
// field was added to (or taken from) the parameter set: give it a row above
// with a value no fresh set has (and the rule it follows), then put the new
// sizes here.  Fields copied with the rest belong to TIOParamsFields or its
// groups; only fields that must not travel with a copy belong to
// TIOParamsVals itself.
static_assert(sizeof(TIOParamsExifFields) == 1112, "EXIF fields changed: update the rows above");
static_assert(sizeof(TIOParamsGpsFields) == 688, "GPS fields changed: update the rows above");
static_assert(sizeof(TIOParamsFields) == 3144, "parameter fields changed: update the rows above");
static_assert(sizeof(TIOParamsVals) == sizeof(TIOParamsFields) + 24,
              "fields outside the copied values changed: update the rows above");

std::vector<std::string> ShowAll(const std::vector<TFieldRow>& Rows, const P& Params) {
  std::vector<std::string> values;
  for (const TFieldRow& row : Rows) values.push_back(row.Show(Params));
  return values;
}

}  // namespace

TEST(IOParamsFields, AssignCopiesAndSetDefaultsRestoresEveryField) {
  const std::vector<TFieldRow> rows = FieldRows();
  P source;
  const std::vector<std::string> defaults = ShowAll(rows, source);
  for (const TFieldRow& row : rows) row.Set(source);
  const std::vector<std::string> changed = ShowAll(rows, source);
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_NE(changed[i], defaults[i]) << rows[i].Name << ": the row's value is the default";

  P target;
  target.Assign(&source);
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string copied = rows[i].Show(target);
    if (rows[i].Rule == kCopied)
      EXPECT_EQ(copied, changed[i]) << rows[i].Name << " is not copied";
    else
      EXPECT_EQ(copied, defaults[i]) << rows[i].Name << " must keep the target's value";
  }

  source.SetDefaults();
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string reset = rows[i].Show(source);
    if (rows[i].Rule == kNeverTouched)
      EXPECT_EQ(reset, changed[i]) << rows[i].Name << " must survive SetDefaults";
    else
      EXPECT_EQ(reset, defaults[i]) << rows[i].Name << " is not reset";
  }
}

TEST(IOParamsFields, CopiesAreDeepAndContainersKeepTheirIdentity) {
  P source;
  for (const TFieldRow& row : FieldRows()) row.Set(source);
  P target;
  const void* containers[] = {
      target.GifCommentTexts.get(), target.JpegMarkers.get(),     target.PngTextKeywords.get(),
      target.PngTexts.get(),        target.DicomElements.get(),   target.IptcRecords.get(),
      target.PnmComments.get(),     target.ExifTagsPresent.get(), target.ExifMakerNote.get()};
  auto same = [&](const P& p) {
    const void* now[] = {p.GifCommentTexts.get(), p.JpegMarkers.get(),     p.PngTextKeywords.get(),
                         p.PngTexts.get(),        p.DicomElements.get(),   p.IptcRecords.get(),
                         p.PnmComments.get(),     p.ExifTagsPresent.get(), p.ExifMakerNote.get()};
    return std::equal(std::begin(now), std::end(now), std::begin(containers));
  };
  // Code that holds one of the lists keeps holding the set's list.
  target.Assign(&source);
  EXPECT_TRUE(same(target));
  target.SetDefaults();
  EXPECT_TRUE(same(target));
  target.Assign(&source);

  // Nothing is shared with the source.
  const void* mine[] = {target.ColorMap.get(),          target.ImagingAnnot.get(),
                        target.InputIccProfile.get(),   target.OutputIccProfile.get(),
                        target.DefaultIccProfile.get(), target.ExifThumbnail.get()};
  const void* theirs[] = {source.ColorMap.get(),          source.ImagingAnnot.get(),
                          source.InputIccProfile.get(),   source.OutputIccProfile.get(),
                          source.DefaultIccProfile.get(), source.ExifThumbnail.get()};
  for (size_t i = 0; i < std::size(mine); ++i) {
    EXPECT_NE(mine[i], nullptr) << i;
    EXPECT_NE(mine[i], theirs[i]) << i;
  }
  EXPECT_EQ(target.ImagingAnnot->GetOwner(), &target);
  source.ColorMap[0] = TRGB{99, 99, 99};
  source.ExifThumbnail->Allocate(1, 1, ie1g);
  source.IptcRecords->Clear();
  source.PngTexts->Clear();
  EXPECT_EQ(target.ColorMap[0], (TRGB{0, 10, 20}));
  EXPECT_EQ(target.ExifThumbnail->GetWidth(), 5);
  EXPECT_EQ(target.IptcRecords->GetCount(), 1);
  EXPECT_EQ(target.PngTexts->GetCount(), 2);
}

TEST(IOParamsFields, SetDefaultsWithOwnerTakesTheOwnersSizeAndDefaultResolutionAgain) {
  static int token;
  static int dpiCalls;
  TFolioIO* owner = reinterpret_cast<TFolioIO*>(&token);
  const TIEParamsOwnerHooks saved = IEParamsOwnerHooks;
  IEParamsOwnerHooks.GetImageSize = [](TFolioIO*, int32_t& W, int32_t& H) {
    W = 1728;
    H = 1145;
    return true;
  };
  IEParamsOwnerHooks.SetViewDpi = [](TFolioIO*, bool, int32_t) { ++dpiCalls; };
  P p(owner);
  for (const TFieldRow& row : FieldRows()) row.Set(p);
  dpiCalls = 0;
  p.SetDefaults();
  EXPECT_EQ(p.Owner, owner);
  EXPECT_EQ(p.Width, 1728);
  EXPECT_EQ(p.Height, 1145);
  EXPECT_EQ(p.DpiX, IEDefaultDpiX);
  EXPECT_EQ(p.DpiY, IEDefaultDpiY);
  EXPECT_EQ(dpiCalls, 2) << "the attached view follows the default resolution";
  // The default resolution is not EXIF data of a file.
  EXPECT_EQ(p.ExifXResolution, 0);
  EXPECT_EQ(p.ExifYResolution, 0);
  EXPECT_EQ(p.TiffOrientation, 1);
  EXPECT_EQ(p.ExifOrientation, 0);
  IEParamsOwnerHooks = saved;
}
