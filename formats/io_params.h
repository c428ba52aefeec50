#pragma once
// TIOParamsVals: everything a file format knows about one image besides its
// pixels.  Every codec receives one by reference: readers fill it, writers
// take their options from it.  The single-image I/O component owns one, the
// multi-image component one per page; dialogs and the batch converter edit the
// fields directly.  It is plain data with public fields; only the operations
// below have behaviour.
//
// Strings are UTF-8 (the fields that files keep as 16-bit text too).  Object
// fields are owned: the lists and handlers exist from construction, the ICC
// profiles, the annotation set and the EXIF thumbnail are made on first use.
#include <cstdint>
#include <memory>
#include <string>

#include "foundations/deep_copy.h"
#include "foundations/pixel_types.h"
#include "foundations/settings.h"
#include "platform/rtl/object.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

class TFolioIO;
class TStringList;
class TIEMarkerList;
class TIEIPTCInfoList;
class TIEDICOMTags;
class TIETagsHandler;
class TIEIntegerList;
class TIEICC;
class TIEImagingAnnot;
class TIEBitmap;

// ---------------------------------------------------------------------------
// File format ids (0 = not recognised).
using TIEFileFormat = int32_t;
enum : TIEFileFormat {
  ioUnknown = 0,
  ioTIFF = 1,
  ioGIF = 2,
  ioJPEG = 3,
  ioPCX = 4,
  ioBMP = 5,
  ioICO = 6,
  ioCUR = 7,
  ioPNG = 8,
  ioWMF = 9,
  ioEMF = 10,
  ioTGA = 11,
  ioPXM = 12,
  ioJP2 = 13,
  ioJ2K = 14,
  ioAVI = 15,
  ioWBMP = 16,
  ioPS = 17,
  ioPDF = 18,
  ioDCX = 19,
  ioRAW = 20,
  ioBMPRAW = 21,
  ioPSD = 24,
  ioIEV = 25,
  ioLYR = 26,
  ioALL = 27,
  ioDICOM = 28,
  ioHDP = 29,
};

// TIFF compression of a page.
enum TIETIFFCompression : uint8_t {
  ietcNone = 0,
  ietcHuffman = 1,
  ietcG3Fax1D = 2,
  ietcG3Fax2D = 3,
  ietcG4Fax = 4,
  ietcLZW = 5,
  ietcOldJPEG = 6,
  ietcJPEG = 7,
  ietcPackBits = 8,
  ietcZIP = 9,
  ietcDeflate = 10,
  ietcUnknown = 11,
};

// TIFF photometric interpretation.
enum TIETIFFPhotometric : uint8_t {
  ietpWhiteIsZero = 0,
  ietpBlackIsZero = 1,
  ietpRGB = 2,
  ietpRGBPalette = 3,
  ietpTransparentMask = 4,
  ietpCMYK = 5,
  ietpYCbCr = 6,
  ietpCIELab = 7,
};

// JPEG colour spaces (JpegColorSpace, TiffJpegColorSpace).
enum : uint8_t { ioJPEG_RGB = 0, ioJPEG_GRAYLEV = 1, ioJPEG_YCbCr = 2, ioJPEG_CMYK = 3, ioJPEG_YCbCrK = 4 };
// JPEG DCT methods.
enum : uint8_t { ioJPEG_ISLOW = 0, ioJPEG_IFAST = 1, ioJPEG_FLOAT = 2 };
// JPEG decoding scale (JpegReduceMode).
enum : uint8_t {
  ioJPEG_AUTOCALC = 0,
  ioJPEG_FULLSIZE = 1,
  ioJPEG_HALF = 2,
  ioJPEG_QUARTER = 3,
  ioJPEG_EIGHTH = 4
};
// JPEG 2000 colour spaces and progressions.
enum : uint8_t { ioJ2K_GRAYLEV = 0, ioJ2K_RGB = 1, ioJ2K_YCbCr = 2 };
enum : uint8_t { ioJ2KPO_LRCP = 0, ioJ2KPO_RLCP = 1 };
// PCX and BMP compression, BMP header kinds.
enum : uint8_t { ioPCX_UNCOMPRESSED = 0, ioPCX_RLE = 1 };
enum : uint8_t { ioBMP_UNCOMPRESSED = 0, ioBMP_RLE = 1 };
enum : uint8_t { ioBMP_BM = 0, ioBMP_BM3 = 1, ioBMP_BMOS2V1 = 2, ioBMP_BMOS2V2 = 3 };
// PNG row filters.
enum : uint8_t { ioPNG_FILTER_NONE = 0, ioPNG_FILTER_SUB = 1, ioPNG_FILTER_PAETH = 2 };
// PostScript and PDF image compression.
enum : uint8_t { ioPS_RLE = 0, ioPS_G4FAX = 1, ioPS_G3FAX2D = 2, ioPS_JPEG = 3 };
enum : uint8_t {
  ioPDF_UNCOMPRESSED = 0,
  ioPDF_RLE = 1,
  ioPDF_G4FAX = 2,
  ioPDF_G3FAX2D = 3,
  ioPDF_JPEG = 4,
  ioPDF_LZW = 5,
};
// Raw pixel layouts.
enum : uint8_t { ioRAW_INTERLEAVED = 0, ioRAW_PLANAR = 1 };
enum : uint8_t { ioRAW_BINARY = 0, ioRAW_DECIMAL_TEXT = 1, ioRAW_HEX_TEXT = 2 };

// What a parameter set asks of its owning I/O component.  The component's unit
// installs them; while one is null a set with an owner behaves as if the owner
// had no image (size 0 x 0) or no view attached.
struct TIEParamsOwnerHooks {
  // The owner's current image size as a GUI bitmap; false when it has none.
  bool (*GetImageSize)(TFolioIO* Owner, int32_t& Width, int32_t& Height) = nullptr;
  // Passes a resolution to the view attached to the owner, between the view's
  // update lock and its release, so that it does not repaint.
  void (*SetViewDpi)(TFolioIO* Owner, bool Horizontal, int32_t Value) = nullptr;
};
extern TIEParamsOwnerHooks IEParamsOwnerHooks;

// The format registry's name and first extension of a format id; false for an
// id that is not registered.  The registry installs it; while it is null every
// id counts as unregistered.
using TIEFormatNameProc = bool (*)(TIEFileFormat Format, std::string& FullName, std::string& FirstExtension);
extern TIEFormatNameProc IEFormatNameHook;

// ---------------------------------------------------------------------------
// The values of a parameter set, grouped so that each group is copied and
// reset as a whole: a default-constructed group holds every default (the
// initialisers below), copy assignment copies every field.  A new field gets
// its default here as an initialiser and is then copied by Assign and reset
// by SetDefaults without further code; fields that must not travel with a
// copy belong to TIOParamsVals itself.  Owned objects are TDeepCopy members,
// so a copy of a group owns copies of them.

// EXIF values of the image (absent values as initialisers; ResetExif restores
// the whole group).
struct TIOParamsExifFields {
  bool ExifPresent = false;
  std::string ExifUserComment;
  std::string ExifUserCommentCharset;

  // EXIF strings (absent = empty).
  std::string ExifImageDescription;     // 270
  std::string ExifMake;                 // 271
  std::string ExifModel;                // 272
  std::string ExifSoftware;             // 305
  std::string ExifArtist;               // 315
  std::string ExifDateTime;             // 306
  std::string ExifCopyright;            // 33432
  std::string ExifVersion;              // 36864
  std::string ExifDateTimeOriginal;     // 36867
  std::string ExifDateTimeDigitized;    // 36868
  std::string ExifSubsecTime;           // 37520
  std::string ExifSubsecTimeOriginal;   // 37521
  std::string ExifSubsecTimeDigitized;  // 37522
  std::string ExifFlashPixVersion;      // 40960
  std::string ExifRelatedSoundFile;     // 40964
  std::string ExifImageUniqueID;        // 42016
  std::string ExifXPTitle;              // 40091
  std::string ExifXPComment;            // 40092
  std::string ExifXPAuthor;             // 40093
  std::string ExifXPKeywords;           // 40094
  std::string ExifXPSubject;            // 40095
  // EXIF doubles.
  double ExifExposureTime = -1;           // 33434
  double ExifFNumber = -1;                // 33437
  double ExifShutterSpeedValue = -1;      // 37377
  double ExifApertureValue = -1;          // 37378
  double ExifSubjectDistance = -1;        // 37382
  double ExifFocalLength = -1;            // 37386
  double ExifFocalPlaneXResolution = -1;  // 41486
  double ExifFocalPlaneYResolution = -1;  // 41487
  double ExifExposureIndex = -1;          // 41493
  double ExifDigitalZoomRatio = -1;       // 41988
  double ExifBrightnessValue = -1000;     // 37379
  double ExifExposureBiasValue = -1000;   // 37380
  double ExifMaxApertureValue = -1000;    // 37381
  double ExifCompressedBitsPerPixel = 0;  // 37122
  double ExifXResolution = 0;             // 282, kept by SetDpiX
  double ExifYResolution = 0;             // 283, kept by SetDpiY
  // EXIF arrays of doubles (absent = -1 in every element).
  double ExifWhitePoint[2] = {-1, -1};                             // 318
  double ExifPrimaryChromaticities[6] = {-1, -1, -1, -1, -1, -1};  // 319
  double ExifYCbCrCoefficients[3] = {-1, -1, -1};                  // 529
  double ExifReferenceBlackWhite[6] = {-1, -1, -1, -1, -1, -1};    // 532
  // EXIF integers.
  int32_t ExifYCbCrPositioning = -1;          // 531
  int32_t ExifExposureProgram = -1;           // 34850
  int32_t ExifMeteringMode = -1;              // 37383
  int32_t ExifLightSource = -1;               // 37384
  int32_t ExifFlash = -1;                     // 37385
  int32_t ExifColorSpace = -1;                // 40961
  int32_t ExifFocalPlaneResolutionUnit = -1;  // 41488
  int32_t ExifSensingMethod = -1;             // 41495
  int32_t ExifFileSource = -1;                // 41728
  int32_t ExifSceneType = -1;                 // 41729
  int32_t ExifRating = -1;                    // 18246
  int32_t ExifExposureMode = -1;              // 41986
  int32_t ExifWhiteBalance = -1;              // 41987
  int32_t ExifFocalLengthIn35mmFilm = -1;     // 41989
  int32_t ExifSceneCaptureType = -1;          // 41990
  int32_t ExifGainControl = -1;               // 41991
  int32_t ExifContrast = -1;                  // 41992
  int32_t ExifSaturation = -1;                // 41993
  int32_t ExifSharpness = -1;                 // 41994
  int32_t ExifSubjectDistanceRange = -1;      // 41996
  int32_t ExifResolutionUnit = 0;             // 296
  int32_t ExifPixelXDimension = 0;            // 40962
  int32_t ExifPixelYDimension = 0;            // 40963
  int32_t ExifOrientation = 0;                // 274, follows TiffOrientation
  int32_t ExifIsoSpeedRatings[2] = {0, 0};    // 34855
};

// GPS values of the image (absent = empty or 0); AssignGpsFields copies the
// group, ResetExif restores it.
struct TIOParamsGpsFields {
  std::string GpsVersionID;                // 0
  std::string GpsLatitudeRef;              // 1
  std::string GpsLongitudeRef;             // 3
  std::string GpsAltitudeRef;              // 5
  std::string GpsSatellites;               // 8
  std::string GpsStatus;                   // 9
  std::string GpsMeasureMode;              // 10
  std::string GpsSpeedRef;                 // 12
  std::string GpsTrackRef;                 // 14
  std::string GpsImgDirectionRef;          // 16
  std::string GpsMapDatum;                 // 18
  std::string GpsDestLatitudeRef;          // 19
  std::string GpsDestLongitudeRef;         // 21
  std::string GpsDestBearingRef;           // 23
  std::string GpsDestDistanceRef;          // 25
  std::string GpsDateStamp;                // 29
  double GpsAltitude = 0;                  // 6
  double GpsDOP = 0;                       // 11
  double GpsSpeed = 0;                     // 13
  double GpsTrack = 0;                     // 15
  double GpsImgDirection = 0;              // 17
  double GpsDestBearing = 0;               // 24
  double GpsDestDistance = 0;              // 26
  double GpsLatitude[3] = {0, 0, 0};       // 2
  double GpsLongitude[3] = {0, 0, 0};      // 4
  double GpsTimeStamp[3] = {0, 0, 0};      // 7
  double GpsDestLatitude[3] = {0, 0, 0};   // 20
  double GpsDestLongitude[3] = {0, 0, 0};  // 22
};

// The file's palette and its entry count, which travel together: a copy takes
// ColorMapCount entries of a source that has a map, and no map (count 0) from
// one that has none.
struct TIOParamsColorMap {
  std::unique_ptr<TRGB[]> ColorMap;  // ColorMapCount entries, null when none
  int32_t ColorMapCount = 0;

  TIOParamsColorMap() = default;
  TIOParamsColorMap(const TIOParamsColorMap& Source);
  TIOParamsColorMap& operator=(const TIOParamsColorMap& Source);
  ~TIOParamsColorMap() = default;
};

// Every other value of a parameter set.  The special members are defined
// (defaulted) beside the owned types' definitions.
struct TIOParamsFields : TIOParamsColorMap, TIOParamsExifFields, TIOParamsGpsFields {
  TIOParamsFields();
  TIOParamsFields(const TIOParamsFields& Source);
  TIOParamsFields& operator=(const TIOParamsFields& Source);
  ~TIOParamsFields();

  // ---- general ----
  int32_t BitsPerSample = 8;
  std::string FileName;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;  // an owner's image size, see SetDefaults
  int32_t Height = 0;
  int32_t DpiX = 0;  // set through SetDpiX; an owner's default, see SetDefaults
  int32_t DpiY = 0;  // set through SetDpiY
  TIEFileFormat FileFormat = ioUnknown;
  int32_t ImageIndex = 0;
  int32_t ImageCount = 0;
  bool LoadExifThumbnail = false;
  bool FromResource = false;
  bool ApplyOrientation = false;
  int32_t StoredWidth = 0;
  int32_t StoredHeight = 0;
  bool NativePixelFormat = false;

  // ---- TIFF ----
  TIETIFFCompression TiffCompression = ietcNone;
  int32_t TiffPageIndex = 0;
  int32_t TiffSubIfdIndex = -1;
  TIETIFFPhotometric TiffPhotometric = ietpRGB;
  int32_t TiffPlanarConfig = 1;
  int32_t TiffXPosition = 0;
  int32_t TiffYPosition = 0;
  int32_t TiffTileIndex = -1;
  std::string TiffDocumentName;
  std::string TiffImageDescription;
  std::string TiffPageName;
  int32_t TiffPageNumber = -1;
  int32_t TiffPageTotal = -1;
  int32_t TiffOrientation = 1;
  TTiffLzwDecodeProc TiffLzwDecoder = TiffLzwDecodeHook;  // the codecs installed when the set is made
  TTiffLzwEncodeProc TiffLzwEncoder = TiffLzwEncodeHook;
  bool TiffApplyOrientation = false;
  int32_t TiffJpegQuality = 80;
  uint8_t TiffJpegColorSpace = ioJPEG_YCbCr;
  int32_t TiffDeflateLevel = 1;
  int32_t TiffPagesInFile = 0;
  int32_t TiffFillOrder = 1;
  bool TiffLittleEndian = true;
  int32_t DcxPageIndex = 0;

  // ---- GIF ----
  std::string GifVersion = "GIF89a";
  int32_t GifImageIndex = 0;
  int32_t GifFrameLeft = 0;
  int32_t GifFrameTop = 0;
  int32_t GifDelay = 0;
  bool GifTransparent = false;
  TRGB GifTransparentColor;
  bool GifInterlaced = false;
  int32_t GifScreenWidth = 0;
  int32_t GifScreenHeight = 0;
  TRGB GifBackgroundColor;
  int32_t GifPixelAspect = 0;
  TDeepCopy<TStringList, dcMade> GifCommentTexts;
  uint8_t GifDisposalMethod = 2;
  TGifLzwDecodeProc GifLzwDecoder = GifLzwDecodeHook;
  TGifLzwEncodeProc GifLzwEncoder = GifLzwEncodeHook;
  int32_t GifFrameCount = 0;

  // ---- JPEG ----
  uint8_t JpegColorSpace = ioJPEG_YCbCr;
  int32_t JpegQuality = 80;
  uint8_t JpegDctMethod = ioJPEG_ISLOW;
  uint8_t JpegChromaSubsampling = 1;
  bool JpegOptimizeCoding = false;
  int32_t JpegSmoothingFactor = 0;
  bool JpegProgressive = false;
  uint8_t JpegReduceMode = ioJPEG_FULLSIZE;
  TDeepCopy<TIEMarkerList, dcMade> JpegMarkers;
  int32_t JpegScaleDenominator = 1;
  bool JpegApplyOrientation = false;
  bool JpegLoadExifThumbnail = false;

  // ---- JPEG 2000, PCX, BMP, icons, cursors, PNG, DICOM ----
  uint8_t J2kColorSpace = ioJ2K_RGB;
  double J2kRate = 1.0;
  uint8_t J2kProgression = ioJ2KPO_LRCP;
  int32_t PcxVersion = 5;
  uint8_t PcxCompression = ioPCX_RLE;
  uint8_t BmpHeaderKind = ioBMP_BM3;
  uint8_t BmpCompression = ioBMP_UNCOMPRESSED;
  bool BmpAlphaChannel = false;
  int32_t IcoImageIndex = 0;
  TRGB IcoFillColor{255, 255, 255};
  TSize IcoWriteSizes[16] = {{64, 64}};  // the rest 0 x 0
  int32_t IcoWriteBitDepths[16] = {8};   // the rest 0
  int32_t CurImageIndex = 0;
  int32_t CurHotSpotX = 0;
  int32_t CurHotSpotY = 0;
  TRGB CurFillColor{255, 255, 255};
  bool PngInterlaced = false;
  TRGB PngBackgroundColor;
  uint8_t PngFilter = ioPNG_FILTER_NONE;
  int32_t PngDeflateLevel = 5;
  TDeepCopy<TStringList, dcMade> PngTextKeywords;
  TDeepCopy<TStringList, dcMade> PngTexts;
  TDeepCopy<TIEDICOMTags, dcMade> DicomElements;

  // ---- Targa, Photoshop, HD Photo, AVI, media ----
  int32_t TgaXOrigin = 0;
  int32_t TgaYOrigin = 0;
  bool TgaCompressed = true;
  std::string TgaImageId;
  std::string TgaAuthor;
  double TgaDate = Date();  // the day the set is made (or reset), time 0
  std::string TgaJobName;
  TRGB TgaKeyColor;
  double TgaAspectRatio = 1.0;
  double TgaGamma = 2.2;
  bool TgaGray = false;
  bool PsdWithLayers = false;
  bool PsdClearLayersFirst = true;
  double HdpImageQuality = 0.9;
  bool HdpLossless = false;
  int32_t AviFrameCount = 0;
  int32_t AviFrameDuration = 0;
  int32_t MediaFrameCount = 0;     // not copied by Assign
  int32_t MediaFrameDuration = 0;  // likewise

  // ---- PostScript, PDF ----
  int32_t PsPageWidth = 595;
  int32_t PsPageHeight = 842;
  uint8_t PsImageCompression = ioPS_G4FAX;
  std::string PsDocumentTitle = "No Title";
  int32_t PdfPageWidth = 595;
  int32_t PdfPageHeight = 842;
  uint8_t PdfImageCompression = ioPDF_G4FAX;
  std::string PdfTitle;
  std::string PdfAuthor;
  std::string PdfSubject;
  std::string PdfKeywords;
  std::string PdfCreator;
  std::string PdfProducer;

  // ---- camera raw, raw pixels ----
  bool RawHalfSize = false;
  double RawGamma = 0.6;
  double RawBrightness = 1.0;
  double RawRedScale = 1.0;
  double RawBlueScale = 1.0;
  bool RawQuickInterpolate = true;
  bool RawUseAutoWB = false;
  bool RawUseCameraWB = false;
  bool RawFourColorRGB = false;
  std::string RawCamera;
  bool RawLoadThumbnail = false;
  bool RawMatchPreviewLevels = false;
  bool RawPixelsRgbOrder = false;
  uint8_t RawPixelsPlanar = ioRAW_INTERLEAVED;
  int32_t RawPixelsRowAlignBits = 8;
  int32_t RawPixelsSkipBytes = 0;
  uint8_t RawPixelsEncoding = ioRAW_BINARY;

  // ---- metadata ----
  TDeepCopy<TIEIPTCInfoList, dcMade> IptcRecords;
  TDeepCopy<TIEImagingAnnot> ImagingAnnot;  // made by GetImagingAnnot
  TDeepCopy<TStringList, dcMade> PnmComments;
  std::string XmpPacket;
  TDeepCopy<TIEICC> InputIccProfile;    // made by GetInputIccProfile
  TDeepCopy<TIEICC> OutputIccProfile;   // made by GetOutputIccProfile
  TDeepCopy<TIEICC> DefaultIccProfile;  // made by GetDefaultIccProfile
  TDeepCopy<TIEIntegerList, dcMade> ExifTagsPresent;
  TDeepCopy<TIEBitmap> ExifThumbnail;  // null when none
  TDeepCopy<TIETagsHandler, dcMade> ExifMakerNote;
};

class TIOParamsVals : public TObject, public TIOParamsFields {
 public:
  explicit TIOParamsVals(TFolioIO* AOwner = nullptr);
  ~TIOParamsVals() override;
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  // ---- operations ----
  // Every value to its default (a default-constructed TIOParamsFields); frees
  // the colour map, the annotations, the ICC profiles and the thumbnail and
  // empties every list, which keep their identity.  A set with an owner then
  // takes the owner's image size and the default resolution, as a new one
  // does.  The JPEG warning counters stay.
  void SetDefaults();
  // Forgets what the previous file left behind (metadata, texts, the input
  // profile); options and image indices stay.  Every load calls it first.
  void ClearFileInfo();
  // Every EXIF and GPS field to its absent value, the thumbnail freed, the
  // maker note cleared, and the first EXIF APP1 marker removed.
  void ResetExif();
  // Copies every field but Owner, MediaFrameCount, MediaFrameDuration and the
  // JPEG warning counters, deeply (lists in place, other objects as new
  // copies).  A source without an EXIF thumbnail leaves ours; every image
  // index ends equal to the source's CurImageIndex and LoadExifThumbnail to
  // its JpegLoadExifThumbnail; an attached view follows the resolution.
  // Nothing for a null Source or Source == this.
  void Assign(const TIOParamsVals* Source);
  // Copies the GPS group only (part of Assign; also used when EXIF fields
  // move between parameter sets).
  void AssignGpsFields(const TIOParamsVals& Source);
  // Copies only the encoding options (compression, quality, depth ...).
  void AssignCompressionInfo(const TIOParamsVals* Source);
  void FreeColorMap();

  void SetDpiX(int32_t Value);
  void SetDpiY(int32_t Value);
  void SetExifXResolution(double Value);
  void SetExifYResolution(double Value);
  void SetImageIndex(int32_t Value);
  void SetImageCount(int32_t Value);
  void SetApplyOrientation(bool Value);
  void SetLoadExifThumbnail(bool Value);
  void SetRawLoadThumbnail(bool Value);
  void SetOrientation(int32_t Value);
  void SetTiffOrientation(int32_t Value);

  // The profiles and the annotation set, created on first use (a new output
  // profile is the built-in sRGB one).
  TIEICC* GetInputIccProfile();
  TIEICC* GetOutputIccProfile();
  TIEICC* GetDefaultIccProfile();
  TIEImagingAnnot* GetImagingAnnot();

  // EXIF arrays; the caller keeps the index in range.  They leave
  // ExifTagsPresent alone.
  int32_t GetExifIsoSpeed(int32_t Index) const { return ExifIsoSpeedRatings[Index]; }
  void SetExifIsoSpeed(int32_t Index, int32_t Value) { ExifIsoSpeedRatings[Index] = Value; }
  double GetExifWhitePoint(int32_t Index) const { return ExifWhitePoint[Index]; }
  void SetExifWhitePoint(int32_t Index, double Value) { ExifWhitePoint[Index] = Value; }
  double GetExifPrimaryChromaticities(int32_t Index) const { return ExifPrimaryChromaticities[Index]; }
  void SetExifPrimaryChromaticities(int32_t Index, double Value) { ExifPrimaryChromaticities[Index] = Value; }
  double GetExifYCbCrCoefficients(int32_t Index) const { return ExifYCbCrCoefficients[Index]; }
  void SetExifYCbCrCoefficients(int32_t Index, double Value) { ExifYCbCrCoefficients[Index] = Value; }
  double GetExifReferenceBlackWhite(int32_t Index) const { return ExifReferenceBlackWhite[Index]; }
  void SetExifReferenceBlackWhite(int32_t Index, double Value) { ExifReferenceBlackWhite[Index] = Value; }

  void MarkExifTagPresent(int32_t Tag);
  void MarkExifTagAbsent(int32_t Tag);
  bool IsExifTagPresent(int32_t Tag) const;

  // EXIF scalar setters: store the value, then mark the tag absent when it
  // equals the field's absent value (compared exactly) and present otherwise.
  void SetExifExposureTime(double Value);               // 33434
  void SetExifFNumber(double Value);                    // 33437
  void SetExifExposureProgram(int32_t Value);           // 34850
  void SetExifCompressedBitsPerPixel(double Value);     // 37122, absent 0
  void SetExifShutterSpeedValue(double Value);          // 37377
  void SetExifApertureValue(double Value);              // 37378
  void SetExifBrightnessValue(double Value);            // 37379, absent -1000
  void SetExifExposureBiasValue(double Value);          // 37380, absent -1000
  void SetExifMaxApertureValue(double Value);           // 37381, absent -1000
  void SetExifSubjectDistance(double Value);            // 37382
  void SetExifMeteringMode(int32_t Value);              // 37383
  void SetExifLightSource(int32_t Value);               // 37384
  void SetExifFlash(int32_t Value);                     // 37385
  void SetExifFocalLength(double Value);                // 37386
  void SetExifColorSpace(int32_t Value);                // 40961
  void SetExifPixelXDimension(int32_t Value);           // 40962, absent 0
  void SetExifPixelYDimension(int32_t Value);           // 40963, absent 0
  void SetExifFocalPlaneXResolution(double Value);      // 41486
  void SetExifFocalPlaneYResolution(double Value);      // 41487
  void SetExifFocalPlaneResolutionUnit(int32_t Value);  // 41488
  void SetExifExposureIndex(double Value);              // 41493
  void SetExifSensingMethod(int32_t Value);             // 41495
  void SetExifFileSource(int32_t Value);                // 41728
  void SetExifSceneType(int32_t Value);                 // 41729

  // ---- not part of the copied values ----
  TFolioIO* Owner = nullptr;        // not owned
  int32_t JpegWarningCount = 0;     // never reset by SetDefaults nor copied
  int32_t JpegLastWarningCode = 0;  // likewise

 private:
  // With an owner: the owner's image size and the default resolution.
  void ApplyOwnerDefaults();
  void SetExifDouble(double& Field, double Value, double Absent, int32_t Tag);
  void SetExifInt(int32_t& Field, int32_t Value, int32_t Absent, int32_t Tag);
};

// One-line description of a loaded file for the open dialog: the registry's
// name of FileFormat, its first extension in upper case in parentheses, then
// the format's main option (" Group 4 Fax", " Interlaced" ...).
std::string IEDescribeFileParams(const TIOParamsVals* Params);
