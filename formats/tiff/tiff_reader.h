#pragma once
// TIFF reader: walks the chain of image file directories, counts the pages,
// reads one page's tags into TTIFFVars and the caller's TIOParamsVals, chooses
// the output pixel format and hands the pixels to the strip and tile decoder
// (tiff_strips.h).
//
// Every offset, count and block read from the file is checked against the
// stream's size before it is used: a damaged file gives a clean failure (the
// abort flag) or, where the format allows, the part of the page that its data
// holds, never a read outside the file or an allocation the file cannot
// justify.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundations/settings.h"

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;
struct TIEProgressRec;

// Type sizes in bytes of the TIFF field types 1..13 (0 for unknown types).
int32_t TiffTypeSize(uint16_t Type);

// One 12-byte directory entry.  Raw holds the value field exactly as it stands
// in the file (file byte order); Count and Tag/Type are in host order.
struct TiffEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Raw[4] = {0, 0, 0, 0};
};

// The reader's view of one loaded directory.
class TiffDirectory {
 public:
  TStream* Stream = nullptr;
  bool LittleEndian = true;
  // Added to every offset of the file before seeking.
  int64_t Base = 0;
  // Size of the stream (fixed when the directory is bound to it).
  int64_t StreamSize = 0;
  std::vector<TiffEntry> Entries;

  void Bind(TStream* AStream, bool ALittleEndian, int64_t ABase);

  // Index of the first entry with Tag, -1 when absent.
  int32_t FindTag(uint16_t Tag) const;
  bool HasTag(uint16_t Tag) const { return FindTag(Tag) >= 0; }

  // The whole value field as a 32-bit value in the file's byte order.
  uint32_t ValueField(const TiffEntry& E) const;
  // Absent -> Default; BYTE -> first byte; SHORT -> first 16-bit value; other
  // types -> the whole value field.
  int64_t GetInteger(uint16_t Tag, int64_t Default) const;
  // The Index-th SHORT or LONG value; Default for an absent tag, another
  // type, an index beyond the count or data outside the file.
  int64_t GetIntegerAt(uint16_t Tag, int32_t Index, int64_t Default) const;
  // Index-th RATIONAL (or SRATIONAL); a zero denominator counts as 1.
  double GetRationalAt(uint16_t Tag, int32_t Index, double Default) const;
  double GetRational(uint16_t Tag, double Default) const { return GetRationalAt(Tag, 0, Default); }
  // All values of a SHORT, LONG or BYTE tag; 0 and an empty array when the tag is
  // absent, of another type, or its data does not lie inside the file.
  int32_t ReadArray(uint16_t Tag, std::vector<uint32_t>& Values) const;
  // The bytes of an ASCII/BYTE/UNDEFINED tag (count x type size bytes); false
  // when absent, longer than MaxBytes or outside the file.
  bool ReadBlock(uint16_t Tag, std::vector<uint8_t>& Data, int64_t MaxBytes = 64 << 20) const;
  // Text of Tag (empty when absent; longer than 0xFFFFF bytes: empty);
  // CutAtNul cuts before the first 0 byte.
  std::string ReadString(uint16_t Tag, bool CutAtNul) const;
  // UTF-16 text (little-endian, as Windows writes it, whatever the file's
  // byte order) up to its first 0, converted to UTF-8; empty when absent or
  // longer than 0xFFFFF values.
  std::string ReadWideString(uint16_t Tag) const;

  // Reads Count bytes at file offset Offset (Base added); false when they do
  // not all lie inside the stream.
  bool ReadAt(int64_t Offset, void* Buffer, int64_t Count) const;
  uint16_t Get16(const uint8_t* P) const;
  uint32_t Get32(const uint8_t* P) const;
  // File offset and byte size of an entry's data; false when the data does not
  // fit in the file (inline data always fits).
  bool DataLocation(const TiffEntry& E, int64_t& Offset, int64_t& Size, bool& Inline) const;
};

// UTF-16 code units up to the first 0 as UTF-8; a lone surrogate becomes
// U+FFFD.
std::string TiffUtf16ToUtf8(const std::vector<uint16_t>& Units);

// Walks the chain from FirstOffset: counts the directories into Count and
// loads the entries of directory PageIndex.  Offsets that point at themselves,
// below the header, beyond the stream, or at a directory already visited end
// the chain; a directory whose entry table reaches the end of the stream ends
// it uncounted.  When Offsets is given it receives the offset of every
// directory counted; Cut, when given, tells whether the chain ended because
// it pointed past the end of the stream.  False when nothing was loaded.
bool TiffReadIfd(int32_t PageIndex, int64_t FirstOffset, TiffDirectory& Directory, int32_t& Count,
                 std::vector<int64_t>* Offsets = nullptr, bool* Cut = nullptr);
// Loads the directory at Offset (a sub-directory: EXIF, GPS, SubIFD).
bool TiffLoadIfdAt(int64_t Offset, TiffDirectory& Directory);

// The directory offsets of a file, found by one walk of its chain.  A caller
// that reads many pages of one stream gives it to every TiffReadStream call, so
// that opening page N does not walk the chain again (a 1000-page file opens in
// linear time).
struct TTiffChain {
  TStream* Stream = nullptr;
  int64_t Base = 0;
  int64_t StreamSize = 0;
  bool LittleEndian = true;
  bool Valid = false;
  // The chain points past the end of the stream (a file cut off): pages
  // beyond the last offset are lost.
  bool Cut = false;
  std::vector<int64_t> Offsets;
};
// Walks the chain of Stream from its position (RelativeOffsets) or from 0;
// the stream position is restored.  False for a stream that is not TIFF.
bool TiffScanChain(TStream* Stream, bool RelativeOffsets, TTiffChain& Chain);

// Procedure variable of the LZW decoder (the hook's type).
using TTiffLzwDecoder = TTiffLzwDecodeProc;

// The working record of one page.
struct TTIFFVars {
  int32_t ImageWidth = 0;
  int32_t ImageHeight = 0;
  int32_t SamplesPerPixel = 1;
  int32_t BitsPerSample = 1;
  int32_t RowsPerStrip = 0;
  int32_t TileWidth = 0;
  int32_t TileLength = 0;
  uint16_t Photometric = 2;
  uint16_t PlanarConfig = 1;
  uint16_t Orientation = 1;
  uint16_t Compression = 1;
  std::vector<uint32_t> StripOffsets;
  std::vector<uint32_t> StripByteCounts;
  std::vector<uint32_t> TileOffsets;
  std::vector<uint32_t> TileByteCounts;
  // Colour map: blue, green, red triples, 2^bits entries (at most 256).
  std::vector<uint8_t> ColorMap;
  int32_t ColorMapCount = 0;
  int32_t ResolutionUnit = 2;
  double XResolution = 0;
  double YResolution = 0;
  int32_t Predictor = 1;
  std::vector<uint8_t> JpegTables;
  uint32_t T4Options = 0;
  uint32_t T6Options = 0;
  int32_t FillOrder = 1;
  double XPosition = 0;
  double YPosition = 0;
  std::string DocumentName, ImageDescription, PageName, Software, Artist;
  int32_t PageNumber = 0;
  int32_t PageTotal = 0;
  int32_t InkSet = 1;
  int32_t NumberOfInks = 4;
  int32_t YCbCrSubsampling[2] = {2, 2};
  int32_t JpegProc = 0;
  int64_t JpegInterchangeFormat = 0;
  int64_t JpegInterchangeFormatLength = 0;
  int32_t JpegRestartInterval = 0;
  TTiffLzwDecoder LzwDecoder = nullptr;
  bool LittleEndian = true;
  TIOParamsVals* Params = nullptr;
  TIEMask* AlphaMask = nullptr;  // the caller's mask, filled while decoding
  bool IgnoreAlpha = false;
  int32_t ExtraSamples = 0;  // first ExtraSamples value
  int32_t ExtraSamplesCount = 0;
  int32_t ExtraSamplesValues[10] = {0};
  // The Software tag begins with "Look@Molli v1.1" (16-bit samples hold 12 bits).
  bool TwelveBitSoftware = false;
  int32_t TileIndex = -1;
};

struct TTiffPageInfo;

// How pages are read, for TiffReadPage and TiffReadStream alike.
struct TTiffReadOptions {
  // Tags and parameters only: no pixels are decoded.
  bool ParamsOnly = false;
  // Offsets in the file count from the stream's position (else from 0).
  bool RelativeOffsets = true;
  // No alpha mask is made or filled.
  bool IgnoreAlpha = false;
  // Thumbnails: a page without a size is no failure, a page beyond 400
  // pixels a side is.
  bool SmallOnly = false;
  // The walked chain of directories, when the caller has one for this stream.
  const TTiffChain* Chain = nullptr;
};

// What to read of a file (TiffReadStream takes it from the parameter set).
struct TTiffPageRequest : TTiffReadOptions {
  int32_t PageIndex = 0;     // -1: only count the pages
  int32_t SubIfdIndex = -1;  // read this SubIFD image of the page instead
  int32_t TileIndex = -1;    // decode only this tile
  bool NativePixelFormat = false;
  TTiffLzwDecoder LzwDecoder = nullptr;
  // Called once the page's tags are read (before any check of the page's
  // size and before decoding).
  std::function<void(TTiffPageInfo&)> OnParams;
};

// What one page read found: the working record, the directories (the page's,
// its EXIF and its GPS directory) and the metadata blocks.
struct TTiffPageInfo {
  TTIFFVars Vars;
  TiffDirectory Page;
  TiffDirectory Exif;
  TiffDirectory Gps;
  bool PageFound = false;
  bool ExifPresent = false;
  bool GpsPresent = false;
  int32_t PageCount = 0;
  // Resolution in dots per inch (0 when the file gives none) and the exact
  // values.
  int32_t DpiX = 0;
  int32_t DpiY = 0;
  double ExactDpiX = 0;
  double ExactDpiY = 0;
  int32_t PixelXPosition = 0;
  int32_t PixelYPosition = 0;
};

// The page reader without a parameter set: reads Request.PageIndex into
// Bitmap and Info.  Failures set the abort flag of Progress.  AlphaMask is
// made when the page has alpha and none was given.
void TiffReadPage(TIEBitmap* Bitmap, TStream* Stream, const TTiffPageRequest& Request,
                  TTiffPageInfo& Info, TIEProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask);

// Largest decoded page (bytes) accepted for a file whose compressed data holds
// DataBytes bytes: a page the data could never fill is refused before any
// allocation.
int64_t TiffDecodedSizeLimit(int64_t DataBytes);

// Reads page Params->TiffPageIndex (-1 without Params: only counts).  See the
// header comment for the failure rules; failures set the abort flag of
// Progress.  AlphaMask is made when the page has alpha and none was given.
// Options.Chain, when given and valid for this stream, replaces the walk of
// the directory chain.
void TiffReadStream(TIEBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals* Params,
                    TIEProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask,
                    const TTiffReadOptions& Options = {});

// Number of directories of the file (relative offsets).
int32_t TiffPageCount(TStream* Stream);
// Format probes; the stream position is restored.
bool TiffIsStream(TStream* Stream);
bool TiffIsRawStream(TStream* Stream);
bool HdpIsStream(TStream* Stream);
