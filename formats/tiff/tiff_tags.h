#pragma once
// The numbers of the TIFF format: tags (baseline, extensions, and the EXIF and
// GPS tags the library reads inside TIFF-structured blocks), compression
// schemes, photometric interpretations, fill orders, predictors, sample
// formats and resolution units. Code names them; no bare number stands for one.
#include <cstdint>

namespace TiffTag {
constexpr uint16_t NewSubfileType = 254;
constexpr uint16_t ImageWidth = 256;
constexpr uint16_t ImageLength = 257;
constexpr uint16_t BitsPerSample = 258;
constexpr uint16_t Compression = 259;
constexpr uint16_t Photometric = 262;
constexpr uint16_t FillOrder = 266;
constexpr uint16_t DocumentName = 269;
constexpr uint16_t ImageDescription = 270;
constexpr uint16_t Make = 271;
constexpr uint16_t Model = 272;
constexpr uint16_t StripOffsets = 273;
constexpr uint16_t Orientation = 274;
constexpr uint16_t SamplesPerPixel = 277;
constexpr uint16_t RowsPerStrip = 278;
constexpr uint16_t StripByteCounts = 279;
constexpr uint16_t XResolution = 282;
constexpr uint16_t YResolution = 283;
constexpr uint16_t PlanarConfig = 284;
constexpr uint16_t PageName = 285;
constexpr uint16_t XPosition = 286;
constexpr uint16_t YPosition = 287;
constexpr uint16_t T4Options = 292;
constexpr uint16_t T6Options = 293;
constexpr uint16_t ResolutionUnit = 296;
constexpr uint16_t PageNumber = 297;
constexpr uint16_t Software = 305;
constexpr uint16_t DateTime = 306;
constexpr uint16_t Artist = 315;
constexpr uint16_t Predictor = 317;
constexpr uint16_t WhitePoint = 318;
constexpr uint16_t PrimaryChromaticities = 319;
constexpr uint16_t ColorMap = 320;
constexpr uint16_t TileWidth = 322;
constexpr uint16_t TileLength = 323;
constexpr uint16_t TileOffsets = 324;
constexpr uint16_t TileByteCounts = 325;
constexpr uint16_t CleanFaxData = 327;
constexpr uint16_t SubIfds = 330;
constexpr uint16_t InkSet = 332;
constexpr uint16_t NumberOfInks = 334;
constexpr uint16_t ExtraSamples = 338;
constexpr uint16_t SampleFormat = 339;
constexpr uint16_t JpegTables = 347;
constexpr uint16_t JpegProc = 512;
constexpr uint16_t JpegInterchangeFormat = 513;
constexpr uint16_t JpegInterchangeFormatLength = 514;
constexpr uint16_t JpegRestartInterval = 515;
constexpr uint16_t JpegLosslessPredictors = 517;
constexpr uint16_t JpegPointTransforms = 518;
constexpr uint16_t JpegQTables = 519;
constexpr uint16_t JpegDcTables = 520;
constexpr uint16_t JpegAcTables = 521;
constexpr uint16_t YCbCrCoefficients = 529;
constexpr uint16_t YCbCrSubsampling = 530;
constexpr uint16_t YCbCrPositioning = 531;
constexpr uint16_t ReferenceBlackWhite = 532;
constexpr uint16_t Xmp = 700;
constexpr uint16_t Rating = 18246;
constexpr uint16_t ImagingAnnotations = 32932;
constexpr uint16_t Copyright = 33432;
constexpr uint16_t Iptc = 33723;
constexpr uint16_t ExifIfd = 34665;
constexpr uint16_t IccProfile = 34675;
constexpr uint16_t GpsIfd = 34853;
constexpr uint16_t IsoSpeedRatings = 34855;
constexpr uint16_t ExifVersion = 36864;
constexpr uint16_t DateTimeOriginal = 36867;
constexpr uint16_t DateTimeDigitized = 36868;
constexpr uint16_t TiffEpStandardId = 37398;
constexpr uint16_t MakerNote = 37500;
constexpr uint16_t UserComment = 37510;
constexpr uint16_t SubSecTime = 37520;
constexpr uint16_t SubSecTimeOriginal = 37521;
constexpr uint16_t SubSecTimeDigitized = 37522;
constexpr uint16_t FlashpixVersion = 40960;
constexpr uint16_t RelatedSoundFile = 40964;
constexpr uint16_t FileSource = 41728;
constexpr uint16_t SceneType = 41729;
constexpr uint16_t DigitalZoomRatio = 41988;
constexpr uint16_t ImageUniqueId = 42016;
constexpr uint16_t XpTitle = 40091;
constexpr uint16_t XpComment = 40092;
constexpr uint16_t XpAuthor = 40093;
constexpr uint16_t XpKeywords = 40094;
constexpr uint16_t XpSubject = 40095;
constexpr uint16_t InteroperabilityIfd = 40965;
constexpr uint16_t DngVersion = 50706;
}  // namespace TiffTag

namespace TiffCompression {
constexpr uint16_t None = 1;
constexpr uint16_t CcittRle = 2;  // modified Huffman, rows byte-aligned
constexpr uint16_t CcittT4 = 3;   // Group 3
constexpr uint16_t CcittT6 = 4;   // Group 4
constexpr uint16_t Lzw = 5;
constexpr uint16_t OldJpeg = 6;  // the older JPEG form
constexpr uint16_t Jpeg = 7;
constexpr uint16_t AdobeDeflate = 8;
constexpr uint16_t PackBits = 32773;
constexpr uint16_t Deflate = 32946;
}  // namespace TiffCompression

namespace TiffPhotometric {
constexpr uint16_t MinIsWhite = 0;
constexpr uint16_t MinIsBlack = 1;
constexpr uint16_t Rgb = 2;
constexpr uint16_t Palette = 3;
constexpr uint16_t Mask = 4;
constexpr uint16_t Separated = 5;  // CMYK
constexpr uint16_t YCbCr = 6;
constexpr uint16_t CieLab = 8;
constexpr uint16_t Cfa = 32803;        // camera raw colour filter array
constexpr uint16_t LinearRaw = 34892;  // camera raw
}  // namespace TiffPhotometric

namespace TiffFillOrder {
constexpr uint16_t Msb2Lsb = 1;
constexpr uint16_t Lsb2Msb = 2;
}  // namespace TiffFillOrder

namespace TiffPredictor {
constexpr uint16_t None = 1;
constexpr uint16_t Horizontal = 2;
constexpr uint16_t FloatingPoint = 3;
}  // namespace TiffPredictor

namespace TiffSampleFormat {
constexpr uint16_t Uint = 1;
constexpr uint16_t Int = 2;
constexpr uint16_t IeeeFp = 3;
}  // namespace TiffSampleFormat

namespace TiffPlanarConfig {
constexpr uint16_t Contig = 1;
constexpr uint16_t Separate = 2;
}  // namespace TiffPlanarConfig

namespace TiffResolutionUnit {
constexpr uint16_t None = 1;
constexpr uint16_t Inch = 2;
constexpr uint16_t Centimetre = 3;
}  // namespace TiffResolutionUnit

// T4Options bits.
namespace TiffT4Option {
constexpr uint32_t TwoDimensional = 1;
constexpr uint32_t Uncompressed = 2;
constexpr uint32_t FillBits = 4;
}  // namespace TiffT4Option

// Field types of directory entries.
namespace TiffType {
constexpr uint16_t Byte = 1;
constexpr uint16_t Ascii = 2;
constexpr uint16_t Short = 3;
constexpr uint16_t Long = 4;
constexpr uint16_t Rational = 5;
constexpr uint16_t SByte = 6;
constexpr uint16_t Undefined = 7;
constexpr uint16_t SShort = 8;
constexpr uint16_t SLong = 9;
constexpr uint16_t SRational = 10;
constexpr uint16_t Float = 11;
constexpr uint16_t Double = 12;
constexpr uint16_t Ifd = 13;
constexpr uint16_t Long8 = 16;
}  // namespace TiffType
