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

TIOParamsColorMap::TIOParamsColorMap(const TIOParamsColorMap& Source) { *this = Source; }

TIOParamsColorMap& TIOParamsColorMap::operator=(const TIOParamsColorMap& Source) {
  if (this == &Source) return *this;
  ColorMap.reset();
  ColorMapCount = 0;
  if (Source.ColorMap) {
    const int32_t n = std::max(Source.ColorMapCount, 0);
    ColorMap.reset(new TRGB[size_t(n)]);
    std::copy(Source.ColorMap.get(), Source.ColorMap.get() + n, ColorMap.get());
    ColorMapCount = n;
  }
  return *this;
}

// Defined here, where the owned types are complete.
TIOParamsFields::TIOParamsFields() = default;
TIOParamsFields::TIOParamsFields(const TIOParamsFields&) = default;
TIOParamsFields& TIOParamsFields::operator=(const TIOParamsFields&) = default;
TIOParamsFields::~TIOParamsFields() = default;

TIOParamsVals::TIOParamsVals(TFolioIO* AOwner) : Owner(AOwner) {
  // The value groups start at their defaults; only the owner's part is left.
  ApplyOwnerDefaults();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetDefaults() {
  // Copying (not moving) a fresh value block empties our lists in place and
  // frees the lazily made objects; the defaults that depend on the moment
  // (today's date, the installed LZW codecs) are taken now.
  const TIOParamsFields defaults;
  static_cast<TIOParamsFields&>(*this) = defaults;
  ApplyOwnerDefaults();
}

void TIOParamsVals::ApplyOwnerDefaults() {
  if (Owner == nullptr) return;
  int32_t w = 0, h = 0;
  if (IEParamsOwnerHooks.GetImageSize && IEParamsOwnerHooks.GetImageSize(Owner, w, h)) {
    Width = w;
    Height = h;
  }
  SetDpiX(IEDefaultDpiX);
  SetDpiY(IEDefaultDpiY);
  // A default resolution is no file's EXIF data: the EXIF copies stay absent,
  // so that the EXIF writer leaves the resolution tags out.
  ExifXResolution = 0;
  ExifYResolution = 0;
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
  static_cast<TIOParamsExifFields&>(*this) = TIOParamsExifFields();
  static_cast<TIOParamsGpsFields&>(*this) = TIOParamsGpsFields();
  ExifTagsPresent->Clear();
  ExifThumbnail.reset();
  ExifMakerNote->Clear();
  // The EXIF block goes with its fields; only the first one is taken out.
  const int32_t Exif = JpegMarkers->IndexOfExif();
  if (Exif >= 0) JpegMarkers->DeleteMarker(Exif);
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
  if (Source == nullptr || Source == this) return;
  const TIOParamsVals& s = *Source;
  // What a copy leaves alone: the media frame fields belong to the set they
  // were read into, and a source without an EXIF thumbnail keeps ours.
  const int32_t keptMediaFrameCount = MediaFrameCount;
  const int32_t keptMediaFrameDuration = MediaFrameDuration;
  std::unique_ptr<TIEBitmap> keptThumbnail;
  if (!s.ExifThumbnail) keptThumbnail.reset(ExifThumbnail.release());
  // The annotation set points back at the parameter set holding it: make ours
  // first, so the copy lands in it instead of in a new, ownerless one.
  if (s.ImagingAnnot) GetImagingAnnot();

  static_cast<TIOParamsFields&>(*this) = s;

  MediaFrameCount = keptMediaFrameCount;
  MediaFrameDuration = keptMediaFrameDuration;
  if (keptThumbnail) ExifThumbnail = std::move(keptThumbnail);
  // One image index for every format: the cursor's copy, the last one taken.
  SetImageIndex(s.CurImageIndex);
  // The general thumbnail request follows the JPEG copy of it.
  SetLoadExifThumbnail(s.JpegLoadExifThumbnail);
  // An attached view follows the resolution; the setters overwrite the exact
  // EXIF resolutions with the whole numbers, so those are copied again.
  SetDpiX(s.DpiX);
  SetDpiY(s.DpiY);
  ExifXResolution = s.ExifXResolution;
  ExifYResolution = s.ExifYResolution;
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

void TIOParamsVals::AssignGpsFields(const TIOParamsVals& s) { static_cast<TIOParamsGpsFields&>(*this) = s; }

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
  if (Value == Absent)
    MarkExifTagAbsent(Tag);
  else
    MarkExifTagPresent(Tag);
}

void TIOParamsVals::SetExifInt(int32_t& Field, int32_t Value, int32_t Absent, int32_t Tag) {
  Field = Value;
  if (Value == Absent)
    MarkExifTagAbsent(Tag);
  else
    MarkExifTagPresent(Tag);
}

void TIOParamsVals::SetExifExposureTime(double Value) { SetExifDouble(ExifExposureTime, Value, -1, 33434); }
void TIOParamsVals::SetExifFNumber(double Value) { SetExifDouble(ExifFNumber, Value, -1, 33437); }
void TIOParamsVals::SetExifExposureProgram(int32_t Value) {
  SetExifInt(ExifExposureProgram, Value, -1, 34850);
}
void TIOParamsVals::SetExifCompressedBitsPerPixel(double Value) {
  SetExifDouble(ExifCompressedBitsPerPixel, Value, 0, 37122);
}
void TIOParamsVals::SetExifShutterSpeedValue(double Value) {
  SetExifDouble(ExifShutterSpeedValue, Value, -1, 37377);
}
void TIOParamsVals::SetExifApertureValue(double Value) { SetExifDouble(ExifApertureValue, Value, -1, 37378); }
void TIOParamsVals::SetExifBrightnessValue(double Value) {
  SetExifDouble(ExifBrightnessValue, Value, -1000, 37379);
}
void TIOParamsVals::SetExifExposureBiasValue(double Value) {
  SetExifDouble(ExifExposureBiasValue, Value, -1000, 37380);
}
void TIOParamsVals::SetExifMaxApertureValue(double Value) {
  SetExifDouble(ExifMaxApertureValue, Value, -1000, 37381);
}
void TIOParamsVals::SetExifSubjectDistance(double Value) {
  SetExifDouble(ExifSubjectDistance, Value, -1, 37382);
}
void TIOParamsVals::SetExifMeteringMode(int32_t Value) { SetExifInt(ExifMeteringMode, Value, -1, 37383); }
void TIOParamsVals::SetExifLightSource(int32_t Value) { SetExifInt(ExifLightSource, Value, -1, 37384); }
void TIOParamsVals::SetExifFlash(int32_t Value) { SetExifInt(ExifFlash, Value, -1, 37385); }
void TIOParamsVals::SetExifFocalLength(double Value) { SetExifDouble(ExifFocalLength, Value, -1, 37386); }
void TIOParamsVals::SetExifColorSpace(int32_t Value) { SetExifInt(ExifColorSpace, Value, -1, 40961); }
void TIOParamsVals::SetExifPixelXDimension(int32_t Value) {
  SetExifInt(ExifPixelXDimension, Value, 0, 40962);
}
void TIOParamsVals::SetExifPixelYDimension(int32_t Value) {
  SetExifInt(ExifPixelYDimension, Value, 0, 40963);
}
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
      static const char* const kCompression[] = {
          " Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D",
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
    case ioTGA:
      result += Params->TgaCompressed ? " Compressed" : " Uncompressed";
      break;
    case ioJP2:
    case ioJ2K: {
      static const char* const kSpaces[] = {" Gray level", " RGB", " YCbCr"};
      if (Params->J2kColorSpace <= ioJ2K_YCbCr) result += kSpaces[Params->J2kColorSpace];
      break;
    }
    case ioRAW:
      result += " (" + Params->RawCamera + ")";
      break;
    default:
      break;
  }
  return result;
}
