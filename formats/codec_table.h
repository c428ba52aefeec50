#pragma once
// The codec table: the one way a file format reaches its codec.
//
// Each format's row holds its probe, its read and write procedures, and, where
// the format has pages, its page count and the page procedures the
// multi-image component loads and saves documents through. The I/O components
// dispatch through the table for every format; the per-format entry points
// (LoadTiffFile, SaveDcxStream, ...) are thin calls into it.
//
// Adding a codec is its folder under formats/ plus one registration: a file of
// the folder registers the row when the program starts,
//
//   namespace {
//   const bool Registered = IERegisterCodec(MakeGifCodec());
//   }
//
// (the formats layer is linked whole, so every registration runs). A later
// registration of the same format replaces the earlier row.
#include <cstdint>
#include <functional>
#include <memory>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;
class TIEMask;

// What one read is asked to do.
struct TIECodecReadRequest {
  // The image starts at the stream's position.
  TStream* Stream = nullptr;
  TIEBitmap* Bitmap = nullptr;
  TIOParamsVals* Params = nullptr;
  TIEProgressRec* Progress = nullptr;
  // Fill Params only, no pixels.
  bool ParamsOnly = false;
  // Bytes of image data from the position: what a stream header states
  // (never beyond the stream), otherwise the rest of the stream.
  int64_t DataSize = 0;
};

// What one read hands back besides the image and its parameters.
struct TIECodecReadResult {
  // Pages of the file, for formats with pages (0 otherwise).
  int32_t PageCount = 0;
  // The transparency the format keeps apart from the pixels, when it has one.
  std::unique_ptr<TIEMask> AlphaMask;
};

// The pages of one document being read, one after another.
class TIECodecPageReader {
 public:
  virtual ~TIECodecPageReader() = default;
  // Pages the document holds; -1 when they are known only as they are read
  // (each read then answers the count in its result).
  virtual int32_t PageCount() = 0;
  // Reads page Index (Request.Params->ImageIndex says the same).
  virtual void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) = 0;
  // True when pages were lost behind the last readable one (a file cut off).
  virtual bool PagesLost() { return false; }
};

// The pages of one document being written, one after another.
class TIECodecPageWriter {
 public:
  virtual ~TIECodecPageWriter() = default;
  // Adds the next page; false when nothing was written.
  virtual bool AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) = 0;
  // Completes the document after the last page.
  virtual void Finish() {}
};

// The 12-byte header the single-image component puts before an image it
// writes into a stream while stream headers are on: 4 bytes of magic, 4 zero
// bytes, the length of the image data (32 bits, little-endian).
struct TIECodecStreamHeader {
  // No header when the magic is empty.
  char Magic[4] = {0, 0, 0, 0};
  // Loads need the header while stream headers are on; without Required a
  // header is skipped wherever one is found.
  bool Required = false;
  // An older 4-byte form (magic only), after which the image runs to the end
  // of the stream; empty when the format has none.
  char ShortMagic[4] = {0, 0, 0, 0};

  bool HasHeader() const { return Magic[0] != 0; }
};

// One format's row.
struct TIECodec {
  TIEFileFormat Format = ioUnknown;
  // True when the stream (at its position) holds this format; the position
  // is restored.
  std::function<bool(TStream* Stream)> Probe;
  // Reads one image. Failures set the abort flag of the progress record or
  // raise; empty = the format cannot be read.
  std::function<void(const TIECodecReadRequest& Request, TIECodecReadResult& Result)> Read;
  // Writes Bitmap with the options of Params from the stream's position;
  // false (or the abort flag) when nothing usable was written. Empty = the
  // format cannot be written.
  std::function<bool(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress)> Write;
  // Pages of the file at the stream's position (formats with pages).
  std::function<int32_t(TStream* Stream)> PageCount;
  // Page procedures for the multi-image component (formats with pages).
  std::function<std::unique_ptr<TIECodecPageReader>(TStream* Stream)> OpenPages;
  std::function<std::unique_ptr<TIECodecPageWriter>(TStream* Stream, int32_t PageCount,
                                                    TIEProgressRec& Progress)>
      CreatePages;

  // How the single-image component calls the row.
  TIECodecStreamHeader StreamHeader;
  // Reads go through a read buffer over the stream.
  bool BufferedRead = false;
  // The writer takes 24-bit and 1-bit images only: others are converted to
  // 24-bit first.
  bool SaveAs24 = false;
  // A load fills in a missing resolution and hands the resolution to the view.
  bool FixDpi = true;
  bool SyncDpi = true;
};

// Registers Codec (replacing an earlier row of its format); answers true so a
// registration can initialise a constant.
bool IERegisterCodec(TIECodec Codec);
// Removes the row of Format (nothing when it has none).
void IEUnregisterCodec(TIEFileFormat Format);
// The row of Format; null when no codec of this build handles it.
const TIECodec* IEFindCodec(TIEFileFormat Format);
