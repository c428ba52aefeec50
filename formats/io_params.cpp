#include "formats/io_params.h"

#include <algorithm>
#include <cstring>

#include "foundations/icc_profile.h"
#include "foundations/ie_lists.h"
#include "foundations/image_buffer.h"
#include "foundations/imaging_annotations.h"
#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/tag_directory.h"
#include "foundations/xmp_dicom_tags.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"

TIEParamsOwnerHooks IEParamsOwnerHooks;
TIEFormatNameProc IEFormatNameHook = nullptr;

namespace {

constexpr TRGB kBlack{0, 0, 0};
constexpr TRGB kWhite{255, 255, 255};

template <typename T, size_t N>
void CopyArray(T (&Dst)[N], const T (&Src)[N]) {
  std::copy(Src, Src + N, Dst);
}

template <typename T, size_t N>
void FillArray(T (&Dst)[N], T Value) {
  std::fill(Dst, Dst + N, Value);
}

using P = TIOParamsVals;

// The per-format fields that mirror a general one: each group's setter writes
// the general field (first) and every per-format copy, so a format that keeps
// its own copy adds it to its group here and nowhere else.
constexpr int32_t P::*kImageIndexFields[] = {&P::ImageIndex,    &P::TiffPageIndex, &P::DcxPageIndex,
                                              &P::GifImageIndex, &P::IcoImageIndex, &P::CurImageIndex};
constexpr int32_t P::*kImageCountFields[] = {&P::ImageCount, &P::TiffPagesInFile, &P::GifFrameCount,
                                              &P::AviFrameCount, &P::MediaFrameCount};
constexpr int32_t P::*kOrientationFields[] = {&P::TiffOrientation, &P::ExifOrientation};
constexpr bool P::*kApplyOrientationFields[] = {&P::ApplyOrientation, &P::TiffApplyOrientation,
                                                 &P::JpegApplyOrientation};
constexpr bool P::*kLoadExifThumbnailFields[] = {&P::LoadExifThumbnail, &P::JpegLoadExifThumbnail};

template <typename T, size_t N>
void SetMirrored(TIOParamsVals& Params, T P::*const (&Fields)[N], T Value) {
  for (T P::*Field : Fields) Params.*Field = Value;
}

}  // namespace

TIOParamsVals::TIOParamsVals(TFolioIO* AOwner) : Owner(AOwner) {
  JpegMarkers = std::make_unique<TIEMarkerList>();
  IptcRecords = std::make_unique<TIEIPTCInfoList>();
  PnmComments = std::make_unique<TStringList>();
  GifCommentTexts = std::make_unique<TStringList>();
  PngTextKeywords = std::make_unique<TStringList>();
  PngTexts = std::make_unique<TStringList>();
  DicomElements = std::make_unique<TIEDICOMTags>();
  ExifMakerNote = std::make_unique<TIETagsHandler>();
  ExifTagsPresent = std::make_unique<TIEIntegerList>();
  SetDefaults();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetDefaults() {
  FreeColorMap();
  FileName.clear();
  FileFormat = ioUnknown;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  NativePixelFormat = false;
  Width = 0;
  Height = 0;
  if (Owner) {
    int32_t w = 0, h = 0;
    if (IEParamsOwnerHooks.GetImageSize && IEParamsOwnerHooks.GetImageSize(Owner, w, h)) {
      Width = w;
      Height = h;
    }
    SetDpiX(IEDefaultDpiX);
    SetDpiY(IEDefaultDpiY);
  }

  // General.
  SetImageIndex(0);
  SetImageCount(0);
  SetLoadExifThumbnail(false);
  SetApplyOrientation(false);
  FromResource = false;
  StoredWidth = 0;
  StoredHeight = 0;

  // TIFF.
  TiffCompression = ietcNone;
  TiffSubIfdIndex = -1;
  TiffPhotometric = ietpRGB;
  TiffPlanarConfig = 1;
  TiffXPosition = 0;
  TiffYPosition = 0;
  TiffTileIndex = -1;
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TiffPageNumber = -1;
  TiffPageTotal = -1;
  SetTiffOrientation(1);
  TiffLzwDecoder = TiffLzwDecodeHook;
  TiffLzwEncoder = TiffLzwEncodeHook;
  TiffJpegQuality = 80;
  TiffJpegColorSpace = ioJPEG_YCbCr;
  TiffDeflateLevel = 1;
  TiffFillOrder = 1;
  TiffLittleEndian = true;

  // GIF.
  GifVersion = "GIF89a";
  GifFrameLeft = 0;
  GifFrameTop = 0;
  GifDelay = 0;
  GifTransparent = false;
  GifTransparentColor = kBlack;
  GifInterlaced = false;
  GifScreenWidth = 0;
  GifScreenHeight = 0;
  GifBackgroundColor = kBlack;
  GifPixelAspect = 0;
  GifCommentTexts->Clear();
  GifDisposalMethod = 2;
  GifLzwDecoder = GifLzwDecodeHook;
  GifLzwEncoder = GifLzwEncodeHook;

  // JPEG.
  JpegColorSpace = ioJPEG_YCbCr;
  JpegQuality = 80;
  JpegDctMethod = ioJPEG_ISLOW;
  JpegChromaSubsampling = 1;
  JpegOptimizeCoding = false;
  JpegSmoothingFactor = 0;
  JpegProgressive = false;
  JpegReduceMode = ioJPEG_FULLSIZE;
  JpegMarkers->Clear();
  JpegScaleDenominator = 1;

  // JPEG 2000, PCX, BMP, icons, cursors, PNG, DICOM.
  J2kColorSpace = ioJ2K_RGB;
  J2kRate = 1.0;
  J2kProgression = ioJ2KPO_LRCP;
  PcxVersion = 5;
  PcxCompression = ioPCX_RLE;
  BmpHeaderKind = ioBMP_BM3;
  BmpCompression = ioBMP_UNCOMPRESSED;
  BmpAlphaChannel = false;
  IcoFillColor = kWhite;
  FillArray(IcoWriteSizes, TSize{0, 0});
  IcoWriteSizes[0] = TSize{64, 64};
  FillArray(IcoWriteBitDepths, 0);
  IcoWriteBitDepths[0] = 8;
  CurHotSpotX = 0;
  CurHotSpotY = 0;
  CurFillColor = kWhite;
  PngInterlaced = false;
  PngBackgroundColor = kBlack;
  PngFilter = ioPNG_FILTER_NONE;
  PngDeflateLevel = 5;
  PngTextKeywords->Clear();
  PngTexts->Clear();
  DicomElements->Clear();

  // Targa, Photoshop, HD Photo, AVI, media.
  TgaXOrigin = 0;
  TgaYOrigin = 0;
  TgaCompressed = true;
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaDate = Date();
  TgaJobName.clear();
  TgaKeyColor = kBlack;
  TgaAspectRatio = 1.0;
  TgaGamma = 2.2;
  TgaGray = false;
  PsdWithLayers = false;
  PsdClearLayersFirst = true;
  HdpImageQuality = 0.9;
  HdpLossless = false;
  MediaFrameDuration = 0;
  AviFrameDuration = 0;

  // Metadata lists.
  IptcRecords->Clear();
  PnmComments->Clear();
  ResetExif();

  // PostScript and PDF.
  PsPageWidth = 595;
  PsPageHeight = 842;
  PsImageCompression = ioPS_G4FAX;
  PsDocumentTitle = "No Title";
  PdfPageWidth = 595;
  PdfPageHeight = 842;
  PdfImageCompression = ioPDF_G4FAX;
  PdfTitle.clear();
  PdfAuthor.clear();
  PdfSubject.clear();
  PdfKeywords.clear();
  PdfCreator.clear();
  PdfProducer.clear();

  ImagingAnnot.reset();
  InputIccProfile.reset();
  OutputIccProfile.reset();
  DefaultIccProfile.reset();

  // Camera raw and raw pixels.
  RawHalfSize = false;
  RawGamma = 0.6;
  RawBrightness = 1.0;
  RawRedScale = 1.0;
  RawBlueScale = 1.0;
  RawQuickInterpolate = true;
  RawUseAutoWB = false;
  RawUseCameraWB = false;
  RawFourColorRGB = false;
  RawCamera.clear();
  SetRawLoadThumbnail(false);
  RawMatchPreviewLevels = false;
  RawPixelsRgbOrder = false;
  RawPixelsPlanar = ioRAW_INTERLEAVED;
  RawPixelsRowAlignBits = 8;
  RawPixelsSkipBytes = 0;
  RawPixelsEncoding = ioRAW_BINARY;

  XmpPacket.clear();
}

void TIOParamsVals::ClearFileInfo() {
  IptcRecords->Clear();
  ImagingAnnot.reset();
  JpegMarkers->Clear();
  ResetExif();
  GifCommentTexts->Clear();
  DicomElements->Clear();
  PngTextKeywords->Clear();
  PngTexts->Clear();
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaJobName.clear();
  PnmComments->Clear();
  XmpPacket.clear();
  InputIccProfile.reset();
}

void TIOParamsVals::ResetExif() {
  ExifTagsPresent->Clear();
  ExifPresent = false;
  ExifThumbnail.reset();
  ExifUserComment.clear();
  ExifUserCommentCharset.clear();
  for (std::string* s :
       {&ExifImageDescription, &ExifMake, &ExifModel, &ExifSoftware, &ExifArtist, &ExifDateTime,
        &ExifCopyright, &ExifVersion, &ExifDateTimeOriginal, &ExifDateTimeDigitized, &ExifSubsecTime,
        &ExifSubsecTimeOriginal, &ExifSubsecTimeDigitized, &ExifFlashPixVersion, &ExifRelatedSoundFile,
        &ExifImageUniqueID, &ExifXPTitle, &ExifXPComment, &ExifXPAuthor, &ExifXPKeywords, &ExifXPSubject})
    s->clear();
  for (double* d : {&ExifExposureTime, &ExifFNumber, &ExifShutterSpeedValue, &ExifApertureValue,
                    &ExifSubjectDistance, &ExifFocalLength, &ExifFocalPlaneXResolution,
                    &ExifFocalPlaneYResolution, &ExifExposureIndex, &ExifDigitalZoomRatio})
    *d = -1;
  ExifBrightnessValue = -1000;
  ExifExposureBiasValue = -1000;
  ExifMaxApertureValue = -1000;
  ExifCompressedBitsPerPixel = 0;
  ExifXResolution = 0;
  ExifYResolution = 0;
  FillArray(ExifWhitePoint, -1.0);
  FillArray(ExifPrimaryChromaticities, -1.0);
  FillArray(ExifYCbCrCoefficients, -1.0);
  FillArray(ExifReferenceBlackWhite, -1.0);
  for (int32_t* i : {&ExifYCbCrPositioning, &ExifExposureProgram, &ExifMeteringMode, &ExifLightSource,
                     &ExifFlash, &ExifColorSpace, &ExifFocalPlaneResolutionUnit, &ExifSensingMethod,
                     &ExifFileSource, &ExifSceneType, &ExifRating, &ExifExposureMode, &ExifWhiteBalance,
                     &ExifFocalLengthIn35mmFilm, &ExifSceneCaptureType, &ExifGainControl, &ExifContrast,
                     &ExifSaturation, &ExifSharpness, &ExifSubjectDistanceRange})
    *i = -1;
  ExifResolutionUnit = 0;
  ExifPixelXDimension = 0;
  ExifPixelYDimension = 0;
  ExifOrientation = 0;
  FillArray(ExifIsoSpeedRatings, 0);
  for (std::string* s : {&GpsVersionID, &GpsLatitudeRef, &GpsLongitudeRef, &GpsAltitudeRef, &GpsSatellites,
                         &GpsStatus, &GpsMeasureMode, &GpsSpeedRef, &GpsTrackRef, &GpsImgDirectionRef,
                         &GpsMapDatum, &GpsDestLatitudeRef, &GpsDestLongitudeRef, &GpsDestBearingRef,
                         &GpsDestDistanceRef, &GpsDateStamp})
    s->clear();
  for (double* d : {&GpsAltitude, &GpsDOP, &GpsSpeed, &GpsTrack, &GpsImgDirection, &GpsDestBearing,
                    &GpsDestDistance})
    *d = 0;
  FillArray(GpsLatitude, 0.0);
  FillArray(GpsLongitude, 0.0);
  FillArray(GpsTimeStamp, 0.0);
  FillArray(GpsDestLatitude, 0.0);
  FillArray(GpsDestLongitude, 0.0);
  ExifMakerNote->Clear();
  // The EXIF block goes with its fields; only the first one is taken out.
  const int32_t Exif = JpegMarkers->IndexOfExif();
  if (Exif >= 0) JpegMarkers->DeleteMarker(Exif);
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
  if (Source == nullptr || Source == this) return;
  const TIOParamsVals& s = *Source;
  // File, size and resolution (an attached view follows the resolution).
  FileName = s.FileName;
  FileFormat = s.FileFormat;
  BitsPerSample = s.BitsPerSample;
  SamplesPerPixel = s.SamplesPerPixel;
  Width = s.Width;
  Height = s.Height;
  SetDpiX(s.DpiX);
  SetDpiY(s.DpiY);
  // Pixel format and colour map.
  NativePixelFormat = s.NativePixelFormat;
  FreeColorMap();
  if (s.ColorMap) {
    const int32_t n = std::max(s.ColorMapCount, 0);
    ColorMap.reset(new TRGB[size_t(n)]);
    std::copy(s.ColorMap.get(), s.ColorMap.get() + n, ColorMap.get());
    ColorMapCount = n;
  }
  // General and per-format fields.
  ImageCount = s.ImageCount;
  FromResource = s.FromResource;
  ApplyOrientation = s.ApplyOrientation;
  StoredWidth = s.StoredWidth;
  StoredHeight = s.StoredHeight;
  TiffCompression = s.TiffCompression;
  SetImageIndex(s.TiffPageIndex);
  TiffSubIfdIndex = s.TiffSubIfdIndex;
  TiffPhotometric = s.TiffPhotometric;
  TiffPlanarConfig = s.TiffPlanarConfig;
  TiffXPosition = s.TiffXPosition;
  TiffYPosition = s.TiffYPosition;
  TiffTileIndex = s.TiffTileIndex;
  TiffDocumentName = s.TiffDocumentName;
  TiffImageDescription = s.TiffImageDescription;
  TiffPageName = s.TiffPageName;
  TiffPageNumber = s.TiffPageNumber;
  TiffPageTotal = s.TiffPageTotal;
  SetTiffOrientation(s.TiffOrientation);
  TiffLzwDecoder = s.TiffLzwDecoder;
  TiffLzwEncoder = s.TiffLzwEncoder;
  TiffApplyOrientation = s.TiffApplyOrientation;
  TiffJpegQuality = s.TiffJpegQuality;
  TiffJpegColorSpace = s.TiffJpegColorSpace;
  TiffDeflateLevel = s.TiffDeflateLevel;
  TiffPagesInFile = s.TiffPagesInFile;
  TiffFillOrder = s.TiffFillOrder;
  TiffLittleEndian = s.TiffLittleEndian;

  GifVersion = s.GifVersion;
  GifFrameLeft = s.GifFrameLeft;
  GifFrameTop = s.GifFrameTop;
  GifDelay = s.GifDelay;
  GifTransparent = s.GifTransparent;
  GifTransparentColor = s.GifTransparentColor;
  GifInterlaced = s.GifInterlaced;
  GifScreenWidth = s.GifScreenWidth;
  GifScreenHeight = s.GifScreenHeight;
  GifBackgroundColor = s.GifBackgroundColor;
  GifPixelAspect = s.GifPixelAspect;
  GifCommentTexts->Clear();
  for (int32_t i = 0; i < s.GifCommentTexts->GetCount(); ++i) GifCommentTexts->Add(s.GifCommentTexts->Get(i));
  GifDisposalMethod = s.GifDisposalMethod;
  GifLzwDecoder = s.GifLzwDecoder;
  GifLzwEncoder = s.GifLzwEncoder;
  GifFrameCount = s.GifFrameCount;
  SetImageIndex(s.GifImageIndex);
  SetImageIndex(s.DcxPageIndex);

  JpegColorSpace = s.JpegColorSpace;
  JpegQuality = s.JpegQuality;
  JpegDctMethod = s.JpegDctMethod;
  JpegChromaSubsampling = s.JpegChromaSubsampling;
  JpegOptimizeCoding = s.JpegOptimizeCoding;
  JpegSmoothingFactor = s.JpegSmoothingFactor;
  JpegProgressive = s.JpegProgressive;
  JpegReduceMode = s.JpegReduceMode;
  JpegMarkers->Assign(s.JpegMarkers.get());
  JpegScaleDenominator = s.JpegScaleDenominator;
  JpegApplyOrientation = s.JpegApplyOrientation;
  SetLoadExifThumbnail(s.JpegLoadExifThumbnail);

  J2kColorSpace = s.J2kColorSpace;
  J2kRate = s.J2kRate;
  J2kProgression = s.J2kProgression;
  PcxVersion = s.PcxVersion;
  PcxCompression = s.PcxCompression;
  BmpHeaderKind = s.BmpHeaderKind;
  BmpCompression = s.BmpCompression;
  BmpAlphaChannel = s.BmpAlphaChannel;
  SetImageIndex(s.IcoImageIndex);
  IcoFillColor = s.IcoFillColor;
  CopyArray(IcoWriteSizes, s.IcoWriteSizes);
  CopyArray(IcoWriteBitDepths, s.IcoWriteBitDepths);
  SetImageIndex(s.CurImageIndex);
  CurHotSpotX = s.CurHotSpotX;
  CurHotSpotY = s.CurHotSpotY;
  CurFillColor = s.CurFillColor;
  PngInterlaced = s.PngInterlaced;
  PngBackgroundColor = s.PngBackgroundColor;
  PngFilter = s.PngFilter;
  PngDeflateLevel = s.PngDeflateLevel;
  PngTextKeywords->Assign(s.PngTextKeywords.get());
  PngTexts->Assign(s.PngTexts.get());
  DicomElements->Assign(s.DicomElements.get());
  PsdWithLayers = s.PsdWithLayers;
  PsdClearLayersFirst = s.PsdClearLayersFirst;
  HdpImageQuality = s.HdpImageQuality;
  HdpLossless = s.HdpLossless;
  TgaXOrigin = s.TgaXOrigin;
  TgaYOrigin = s.TgaYOrigin;
  TgaCompressed = s.TgaCompressed;
  TgaImageId = s.TgaImageId;
  TgaAuthor = s.TgaAuthor;
  TgaDate = s.TgaDate;
  TgaJobName = s.TgaJobName;
  TgaKeyColor = s.TgaKeyColor;
  TgaAspectRatio = s.TgaAspectRatio;
  TgaGamma = s.TgaGamma;
  TgaGray = s.TgaGray;
  AviFrameCount = s.AviFrameCount;
  AviFrameDuration = s.AviFrameDuration;

  // IPTC, annotations and profiles: copied when the source has them,
  // freed when it has not.
  IptcRecords->Assign(s.IptcRecords.get());
  if (s.ImagingAnnot) GetImagingAnnot()->Assign(s.ImagingAnnot.get());
  else ImagingAnnot.reset();
  if (s.InputIccProfile) GetInputIccProfile()->Assign(s.InputIccProfile.get());
  else InputIccProfile.reset();
  if (s.OutputIccProfile) GetOutputIccProfile()->Assign(s.OutputIccProfile.get());
  else OutputIccProfile.reset();
  if (s.DefaultIccProfile) GetDefaultIccProfile()->Assign(s.DefaultIccProfile.get());
  else DefaultIccProfile.reset();

  // PNM comments and the EXIF block; a source without a thumbnail leaves
  // ours as it is.
  PnmComments->Assign(s.PnmComments.get());
  ExifTagsPresent->Assign(s.ExifTagsPresent.get());
  ExifPresent = s.ExifPresent;
  if (s.ExifThumbnail) {
    if (!ExifThumbnail) ExifThumbnail = std::make_unique<TIEBitmap>();
    ExifThumbnail->Assign(s.ExifThumbnail.get());
  }

  // EXIF and GPS fields, then PostScript, PDF, raw and XMP.
  ExifUserComment = s.ExifUserComment;
  ExifUserCommentCharset = s.ExifUserCommentCharset;
  ExifImageDescription = s.ExifImageDescription;
  ExifMake = s.ExifMake;
  ExifModel = s.ExifModel;
  ExifSoftware = s.ExifSoftware;
  ExifArtist = s.ExifArtist;
  ExifDateTime = s.ExifDateTime;
  ExifCopyright = s.ExifCopyright;
  ExifVersion = s.ExifVersion;
  ExifDateTimeOriginal = s.ExifDateTimeOriginal;
  ExifDateTimeDigitized = s.ExifDateTimeDigitized;
  ExifSubsecTime = s.ExifSubsecTime;
  ExifSubsecTimeOriginal = s.ExifSubsecTimeOriginal;
  ExifSubsecTimeDigitized = s.ExifSubsecTimeDigitized;
  ExifFlashPixVersion = s.ExifFlashPixVersion;
  ExifRelatedSoundFile = s.ExifRelatedSoundFile;
  ExifImageUniqueID = s.ExifImageUniqueID;
  ExifXPTitle = s.ExifXPTitle;
  ExifXPComment = s.ExifXPComment;
  ExifXPAuthor = s.ExifXPAuthor;
  ExifXPKeywords = s.ExifXPKeywords;
  ExifXPSubject = s.ExifXPSubject;
  ExifExposureTime = s.ExifExposureTime;
  ExifFNumber = s.ExifFNumber;
  ExifShutterSpeedValue = s.ExifShutterSpeedValue;
  ExifApertureValue = s.ExifApertureValue;
  ExifSubjectDistance = s.ExifSubjectDistance;
  ExifFocalLength = s.ExifFocalLength;
  ExifFocalPlaneXResolution = s.ExifFocalPlaneXResolution;
  ExifFocalPlaneYResolution = s.ExifFocalPlaneYResolution;
  ExifExposureIndex = s.ExifExposureIndex;
  ExifDigitalZoomRatio = s.ExifDigitalZoomRatio;
  ExifBrightnessValue = s.ExifBrightnessValue;
  ExifExposureBiasValue = s.ExifExposureBiasValue;
  ExifMaxApertureValue = s.ExifMaxApertureValue;
  ExifCompressedBitsPerPixel = s.ExifCompressedBitsPerPixel;
  ExifXResolution = s.ExifXResolution;
  ExifYResolution = s.ExifYResolution;
  CopyArray(ExifWhitePoint, s.ExifWhitePoint);
  CopyArray(ExifPrimaryChromaticities, s.ExifPrimaryChromaticities);
  CopyArray(ExifYCbCrCoefficients, s.ExifYCbCrCoefficients);
  CopyArray(ExifReferenceBlackWhite, s.ExifReferenceBlackWhite);
  ExifYCbCrPositioning = s.ExifYCbCrPositioning;
  ExifExposureProgram = s.ExifExposureProgram;
  ExifMeteringMode = s.ExifMeteringMode;
  ExifLightSource = s.ExifLightSource;
  ExifFlash = s.ExifFlash;
  ExifColorSpace = s.ExifColorSpace;
  ExifFocalPlaneResolutionUnit = s.ExifFocalPlaneResolutionUnit;
  ExifSensingMethod = s.ExifSensingMethod;
  ExifFileSource = s.ExifFileSource;
  ExifSceneType = s.ExifSceneType;
  ExifRating = s.ExifRating;
  ExifExposureMode = s.ExifExposureMode;
  ExifWhiteBalance = s.ExifWhiteBalance;
  ExifFocalLengthIn35mmFilm = s.ExifFocalLengthIn35mmFilm;
  ExifSceneCaptureType = s.ExifSceneCaptureType;
  ExifGainControl = s.ExifGainControl;
  ExifContrast = s.ExifContrast;
  ExifSaturation = s.ExifSaturation;
  ExifSharpness = s.ExifSharpness;
  ExifSubjectDistanceRange = s.ExifSubjectDistanceRange;
  ExifResolutionUnit = s.ExifResolutionUnit;
  ExifPixelXDimension = s.ExifPixelXDimension;
  ExifPixelYDimension = s.ExifPixelYDimension;
  ExifOrientation = s.ExifOrientation;
  SetExifIsoSpeed(0, s.GetExifIsoSpeed(0));
  SetExifIsoSpeed(1, s.GetExifIsoSpeed(1));
  ExifMakerNote->Assign(s.ExifMakerNote.get());
  AssignGpsFields(s);

  PsPageWidth = s.PsPageWidth;
  PsPageHeight = s.PsPageHeight;
  PsImageCompression = s.PsImageCompression;
  PsDocumentTitle = s.PsDocumentTitle;
  PdfPageWidth = s.PdfPageWidth;
  PdfPageHeight = s.PdfPageHeight;
  PdfImageCompression = s.PdfImageCompression;
  PdfTitle = s.PdfTitle;
  PdfAuthor = s.PdfAuthor;
  PdfSubject = s.PdfSubject;
  PdfKeywords = s.PdfKeywords;
  PdfCreator = s.PdfCreator;
  PdfProducer = s.PdfProducer;
  RawHalfSize = s.RawHalfSize;
  RawGamma = s.RawGamma;
  RawBrightness = s.RawBrightness;
  RawRedScale = s.RawRedScale;
  RawBlueScale = s.RawBlueScale;
  RawQuickInterpolate = s.RawQuickInterpolate;
  RawUseAutoWB = s.RawUseAutoWB;
  RawUseCameraWB = s.RawUseCameraWB;
  RawFourColorRGB = s.RawFourColorRGB;
  RawCamera = s.RawCamera;
  RawLoadThumbnail = s.RawLoadThumbnail;
  RawMatchPreviewLevels = s.RawMatchPreviewLevels;
  RawPixelsRgbOrder = s.RawPixelsRgbOrder;
  RawPixelsPlanar = s.RawPixelsPlanar;
  RawPixelsRowAlignBits = s.RawPixelsRowAlignBits;
  RawPixelsSkipBytes = s.RawPixelsSkipBytes;
  RawPixelsEncoding = s.RawPixelsEncoding;
  XmpPacket = s.XmpPacket;
}

void TIOParamsVals::AssignCompressionInfo(const TIOParamsVals* Source) {
  if (Source == nullptr || Source == this) return;
  const TIOParamsVals& s = *Source;
  BitsPerSample = s.BitsPerSample;
  SamplesPerPixel = s.SamplesPerPixel;
  TiffCompression = s.TiffCompression;
  TiffPhotometric = s.TiffPhotometric;
  TiffPlanarConfig = s.TiffPlanarConfig;
  SetTiffOrientation(s.TiffOrientation);
  TiffLzwDecoder = s.TiffLzwDecoder;
  TiffLzwEncoder = s.TiffLzwEncoder;
  TiffApplyOrientation = s.TiffApplyOrientation;
  TiffJpegQuality = s.TiffJpegQuality;
  TiffJpegColorSpace = s.TiffJpegColorSpace;
  TiffFillOrder = s.TiffFillOrder;
  TiffDeflateLevel = s.TiffDeflateLevel;
  GifInterlaced = s.GifInterlaced;
  GifLzwDecoder = s.GifLzwDecoder;
  GifLzwEncoder = s.GifLzwEncoder;
  JpegColorSpace = s.JpegColorSpace;
  JpegQuality = s.JpegQuality;
  JpegDctMethod = s.JpegDctMethod;
  JpegChromaSubsampling = s.JpegChromaSubsampling;
  JpegOptimizeCoding = s.JpegOptimizeCoding;
  JpegSmoothingFactor = s.JpegSmoothingFactor;
  JpegProgressive = s.JpegProgressive;
  J2kColorSpace = s.J2kColorSpace;
  J2kRate = s.J2kRate;
  J2kProgression = s.J2kProgression;
  PcxVersion = s.PcxVersion;
  PcxCompression = s.PcxCompression;
  BmpHeaderKind = s.BmpHeaderKind;
  BmpCompression = s.BmpCompression;
  BmpAlphaChannel = s.BmpAlphaChannel;
  PngInterlaced = s.PngInterlaced;
  PngFilter = s.PngFilter;
  PngDeflateLevel = s.PngDeflateLevel;
  TgaCompressed = s.TgaCompressed;
  TgaGray = s.TgaGray;
  PsImageCompression = s.PsImageCompression;
  PdfImageCompression = s.PdfImageCompression;
}

void TIOParamsVals::FreeColorMap() {
  ColorMap.reset();
  ColorMapCount = 0;
}

void TIOParamsVals::SetDpiX(int32_t Value) {
  DpiX = Value;
  ExifXResolution = Value;
  if (Owner && IEParamsOwnerHooks.SetViewDpi) IEParamsOwnerHooks.SetViewDpi(Owner, true, Value);
}

void TIOParamsVals::SetDpiY(int32_t Value) {
  DpiY = Value;
  ExifYResolution = Value;
  if (Owner && IEParamsOwnerHooks.SetViewDpi) IEParamsOwnerHooks.SetViewDpi(Owner, false, Value);
}

void TIOParamsVals::SetExifXResolution(double Value) {
  SetDpiX(Trunc(Value));
  ExifXResolution = Value;
}

void TIOParamsVals::SetExifYResolution(double Value) {
  SetDpiY(Trunc(Value));
  ExifYResolution = Value;
}

void TIOParamsVals::AssignGpsFields(const TIOParamsVals& s) {
  GpsVersionID = s.GpsVersionID;
  GpsLatitudeRef = s.GpsLatitudeRef;
  GpsLongitudeRef = s.GpsLongitudeRef;
  GpsAltitudeRef = s.GpsAltitudeRef;
  GpsSatellites = s.GpsSatellites;
  GpsStatus = s.GpsStatus;
  GpsMeasureMode = s.GpsMeasureMode;
  GpsSpeedRef = s.GpsSpeedRef;
  GpsTrackRef = s.GpsTrackRef;
  GpsImgDirectionRef = s.GpsImgDirectionRef;
  GpsMapDatum = s.GpsMapDatum;
  GpsDestLatitudeRef = s.GpsDestLatitudeRef;
  GpsDestLongitudeRef = s.GpsDestLongitudeRef;
  GpsDestBearingRef = s.GpsDestBearingRef;
  GpsDestDistanceRef = s.GpsDestDistanceRef;
  GpsDateStamp = s.GpsDateStamp;
  GpsAltitude = s.GpsAltitude;
  GpsDOP = s.GpsDOP;
  GpsSpeed = s.GpsSpeed;
  GpsTrack = s.GpsTrack;
  GpsImgDirection = s.GpsImgDirection;
  GpsDestBearing = s.GpsDestBearing;
  GpsDestDistance = s.GpsDestDistance;
  CopyArray(GpsLatitude, s.GpsLatitude);
  CopyArray(GpsLongitude, s.GpsLongitude);
  CopyArray(GpsTimeStamp, s.GpsTimeStamp);
  CopyArray(GpsDestLatitude, s.GpsDestLatitude);
  CopyArray(GpsDestLongitude, s.GpsDestLongitude);
}

void TIOParamsVals::SetImageIndex(int32_t Value) { SetMirrored(*this, kImageIndexFields, Value); }

void TIOParamsVals::SetImageCount(int32_t Value) { SetMirrored(*this, kImageCountFields, Value); }

void TIOParamsVals::SetApplyOrientation(bool Value) { SetMirrored(*this, kApplyOrientationFields, Value); }

void TIOParamsVals::SetLoadExifThumbnail(bool Value) { SetMirrored(*this, kLoadExifThumbnailFields, Value); }

void TIOParamsVals::SetRawLoadThumbnail(bool Value) { RawLoadThumbnail = Value; }

void TIOParamsVals::SetOrientation(int32_t Value) { SetMirrored(*this, kOrientationFields, Value); }

void TIOParamsVals::SetTiffOrientation(int32_t Value) { SetMirrored(*this, kOrientationFields, Value); }

TIEICC* TIOParamsVals::GetInputIccProfile() {
  if (!InputIccProfile) InputIccProfile = std::make_unique<TIEICC>();
  return InputIccProfile.get();
}

TIEICC* TIOParamsVals::GetOutputIccProfile() {
  if (!OutputIccProfile) {
    OutputIccProfile = std::make_unique<TIEICC>();
    OutputIccProfile->LoadSRGB();
  }
  return OutputIccProfile.get();
}

TIEICC* TIOParamsVals::GetDefaultIccProfile() {
  if (!DefaultIccProfile) DefaultIccProfile = std::make_unique<TIEICC>();
  return DefaultIccProfile.get();
}

TIEImagingAnnot* TIOParamsVals::GetImagingAnnot() {
  if (!ImagingAnnot) ImagingAnnot = std::make_unique<TIEImagingAnnot>(this);
  return ImagingAnnot.get();
}

void TIOParamsVals::MarkExifTagPresent(int32_t Tag) {
  if (ExifTagsPresent->IndexOf(Tag) < 0) ExifTagsPresent->AddValue(Tag);
}

void TIOParamsVals::MarkExifTagAbsent(int32_t Tag) {
  const int32_t i = ExifTagsPresent->IndexOf(Tag);
  if (i >= 0) ExifTagsPresent->Delete(i);
}

bool TIOParamsVals::IsExifTagPresent(int32_t Tag) const { return ExifTagsPresent->IndexOf(Tag) >= 0; }

void TIOParamsVals::SetExifDouble(double& Field, double Value, double Absent, int32_t Tag) {
  Field = Value;
  if (Value == Absent) MarkExifTagAbsent(Tag);
  else MarkExifTagPresent(Tag);
}

void TIOParamsVals::SetExifInt(int32_t& Field, int32_t Value, int32_t Absent, int32_t Tag) {
  Field = Value;
  if (Value == Absent) MarkExifTagAbsent(Tag);
  else MarkExifTagPresent(Tag);
}

void TIOParamsVals::SetExifExposureTime(double Value) { SetExifDouble(ExifExposureTime, Value, -1, 33434); }
void TIOParamsVals::SetExifFNumber(double Value) { SetExifDouble(ExifFNumber, Value, -1, 33437); }
void TIOParamsVals::SetExifExposureProgram(int32_t Value) { SetExifInt(ExifExposureProgram, Value, -1, 34850); }
void TIOParamsVals::SetExifCompressedBitsPerPixel(double Value) {
  SetExifDouble(ExifCompressedBitsPerPixel, Value, 0, 37122);
}
void TIOParamsVals::SetExifShutterSpeedValue(double Value) { SetExifDouble(ExifShutterSpeedValue, Value, -1, 37377); }
void TIOParamsVals::SetExifApertureValue(double Value) { SetExifDouble(ExifApertureValue, Value, -1, 37378); }
void TIOParamsVals::SetExifBrightnessValue(double Value) { SetExifDouble(ExifBrightnessValue, Value, -1000, 37379); }
void TIOParamsVals::SetExifExposureBiasValue(double Value) {
  SetExifDouble(ExifExposureBiasValue, Value, -1000, 37380);
}
void TIOParamsVals::SetExifMaxApertureValue(double Value) { SetExifDouble(ExifMaxApertureValue, Value, -1000, 37381); }
void TIOParamsVals::SetExifSubjectDistance(double Value) { SetExifDouble(ExifSubjectDistance, Value, -1, 37382); }
void TIOParamsVals::SetExifMeteringMode(int32_t Value) { SetExifInt(ExifMeteringMode, Value, -1, 37383); }
void TIOParamsVals::SetExifLightSource(int32_t Value) { SetExifInt(ExifLightSource, Value, -1, 37384); }
void TIOParamsVals::SetExifFlash(int32_t Value) { SetExifInt(ExifFlash, Value, -1, 37385); }
void TIOParamsVals::SetExifFocalLength(double Value) { SetExifDouble(ExifFocalLength, Value, -1, 37386); }
void TIOParamsVals::SetExifColorSpace(int32_t Value) { SetExifInt(ExifColorSpace, Value, -1, 40961); }
void TIOParamsVals::SetExifPixelXDimension(int32_t Value) { SetExifInt(ExifPixelXDimension, Value, 0, 40962); }
void TIOParamsVals::SetExifPixelYDimension(int32_t Value) { SetExifInt(ExifPixelYDimension, Value, 0, 40963); }
void TIOParamsVals::SetExifFocalPlaneXResolution(double Value) {
  SetExifDouble(ExifFocalPlaneXResolution, Value, -1, 41486);
}
void TIOParamsVals::SetExifFocalPlaneYResolution(double Value) {
  SetExifDouble(ExifFocalPlaneYResolution, Value, -1, 41487);
}
void TIOParamsVals::SetExifFocalPlaneResolutionUnit(int32_t Value) {
  SetExifInt(ExifFocalPlaneResolutionUnit, Value, -1, 41488);
}
void TIOParamsVals::SetExifExposureIndex(double Value) { SetExifDouble(ExifExposureIndex, Value, -1, 41493); }
void TIOParamsVals::SetExifSensingMethod(int32_t Value) { SetExifInt(ExifSensingMethod, Value, -1, 41495); }
void TIOParamsVals::SetExifFileSource(int32_t Value) { SetExifInt(ExifFileSource, Value, -1, 41728); }
void TIOParamsVals::SetExifSceneType(int32_t Value) { SetExifInt(ExifSceneType, Value, -1, 41729); }

std::string IEDescribeFileParams(const TIOParamsVals* Params) {
  if (Params == nullptr) return std::string();
  std::string result;
  std::string name, ext;
  if (IEFormatNameHook && IEFormatNameHook(Params->FileFormat, name, ext))
    result = name + " (" + UpperCase(ext) + ")";
  switch (Params->FileFormat) {
    case ioTIFF: {
      static const char* const kCompression[] = {" Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D",
                                                 " Group 4 Fax",  " LZW",     " Jpeg v.5",    " Jpeg",
                                                 " PackBits RLE", " ZIP",     " Deflate"};
      if (Params->TiffCompression <= ietcDeflate) result += kCompression[Params->TiffCompression];
      break;
    }
    case ioGIF:
      if (Params->GifInterlaced) result += " Interlaced";
      break;
    case ioJPEG: {
      static const char* const kSpaces[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
      if (Params->JpegColorSpace <= ioJPEG_YCbCrK) result += kSpaces[Params->JpegColorSpace];
      break;
    }
    case ioPCX:
      if (Params->PcxCompression == ioPCX_UNCOMPRESSED) result += " Uncompressed";
      break;
    case ioBMP: {
      static const char* const kKinds[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      if (Params->BmpHeaderKind <= ioBMP_BMOS2V2) result += kKinds[Params->BmpHeaderKind];
      break;
    }
    case ioPNG:
      if (Params->PngInterlaced) result += " Interlaced";
      break;
    case ioTGA: result += Params->TgaCompressed ? " Compressed" : " Uncompressed"; break;
    case ioJP2:
    case ioJ2K: {
      static const char* const kSpaces[] = {" Gray level", " RGB", " YCbCr"};
      if (Params->J2kColorSpace <= ioJ2K_YCbCr) result += kSpaces[Params->J2kColorSpace];
      break;
    }
    case ioRAW: result += " (" + Params->RawCamera + ")"; break;
    default: break;
  }
  return result;
}
