#pragma once
// PCX images and multi-page DCX files (a table of page offsets followed by
// PCX pages).
//
// Readers never raise for bad data: they set the abort flag of the progress
// record and return.  Every size read from a file is checked against the data
// before anything is allocated for it.
#include <cstdint>
#include <vector>

class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIEProgressRec;

// The DCX signature (little-endian at offset 0).
inline constexpr uint32_t DcxSignature = 0x3ADE68B1;
// Entries of the DCX page table, the terminating 0 included.
inline constexpr int32_t DcxMaxTableEntries = 1024;

// Decoder of PCX scan lines over a block of coded data.  A run that crosses
// the end of a scan line continues at the start of the next one.
class TPcxLineDecoder {
 public:
  TPcxLineDecoder(const uint8_t* Data, int64_t Size, uint8_t Encoding)
      : FData(Data), FSize(Size), FEncoding(Encoding) {}
  // Fills BytesPerLine bytes of Line; false when the data ended first (the
  // rest of the line is then 0).
  bool PcxDecodeScanLine(uint8_t* Line, int32_t BytesPerLine);

 private:
  const uint8_t* FData;
  int64_t FSize;
  int64_t FPos = 0;
  uint8_t FEncoding;
  int32_t FPendingCount = 0;
  uint8_t FPendingValue = 0;
};

// Run-length codes Count bytes taken at Source[Offset + Stride x i] into Dest
// (room for 2 x Count + 1 bytes); a 0 byte is added when Count is odd.
// Answers the coded length.
int32_t PcxEncodeRle(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t Stride,
                     int32_t Offset);

// Reads one PCX image of Size bytes starting at the stream's position.
void PcxReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int64_t Size,
                   TIEProgressRec& Progress, bool ParamsOnly);
// Writes one PCX image at the stream's position (depth from BitsPerSample x
// SamplesPerPixel: 1, 4, 8 or 24 bits).
void PcxWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TIEProgressRec& Progress);

// The signature matches and every page offset lies inside the stream;
// position restored.
bool DcxIsStream(TStream* Stream);
// Number of page offsets; position restored.
int32_t DcxPageCount(TStream* Stream);
// The page offsets (at most 1023); position restored.
std::vector<uint32_t> DcxReadOffsets(TStream* Stream, int32_t& Count);
// Each page's size: the distance to the next larger offset, or to the end of
// the stream.
std::vector<int64_t> DcxPageSizes(TStream* Stream, const std::vector<uint32_t>& Offsets,
                                  int32_t Count);
// Reads page DcxPageIndex (clamped to the pages there are and stored back).
void DcxReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool ParamsOnly);
// Inserts Bitmap as a new page at DcxPageIndex (appends when the index is at
// or past the page count) and rewrites the stream once.
void DcxInsertPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   TIEProgressRec& Progress);
// Writes a whole DCX from the stream's position in one pass: one page per
// bitmap, each with its own parameters.
void DcxWriteStream(TStream* Stream, const std::vector<TIEBitmap*>& Pages,
                    const std::vector<TIOParamsVals*>& Params, TIEProgressRec& Progress);

// Writes a DCX of a known number of pages one page at a time, so that only
// the page being written needs to be in memory: the table is reserved first
// and filled in by Finish.  A failure sets the abort flag of Progress; pages
// added after it are ignored.
class TDcxPageWriter {
 public:
  TDcxPageWriter(TStream* Stream, int32_t PageCount, TIEProgressRec& Progress);
  void AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params);
  // Writes the table (pages not added keep the terminating 0 after the last
  // one written) and leaves the stream after the last page.
  void Finish();

 private:
  TStream* FStream;
  TIEProgressRec& FProgress;
  int64_t FStart = 0;
  int32_t FPageCount = 0;
  int32_t FWritten = 0;
  std::vector<uint8_t> FHead;
};
