#pragma once
// TIFF writer: stores one image as one page of a little-endian TIFF file, as a
// new file at the stream's position or inserted into an existing file
// (appended when the page index lies beyond its last page).  1-bit pages with
// a fax compression are stored inverted with photometric interpretation 0;
// other pages uncompressed, LZW, PackBits or Deflate, in strips of about
// 512 KB of the image's rows.
#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIEProgressRec;

// Where the last page a caller wrote ends its chain: the stream position of
// that page's next-directory field.  A page writer that appends page after
// page keeps one, so that appending does not walk the chain again.
struct TTiffAppendPoint {
  bool Known = false;
  int64_t Base = 0;   // stream position of the file's header
  int64_t Field = 0;  // stream position of the last page's next-directory field
  int32_t Pages = 0;  // pages the file has
};

// One page to write.
struct TTiffWriteRequest {
  TStream* Stream = nullptr;
  // Into the file that starts at the stream's position (else a new file there).
  bool Append = false;
  TIEBitmap* Bitmap = nullptr;
  TIOParamsVals* Params = nullptr;
  TIEProgressRec* Progress = nullptr;
  // Read and updated when given (see TTiffAppendPoint).
  TTiffAppendPoint* AppendPoint = nullptr;
};

// Writes one page in stages: the stored layout is chosen once from the image
// and the parameters, the tags are collected, a row source feeds the strip
// encoder of the page's compression, and everything goes to the stream
// through one write buffer; the directory is linked in last.  A compression
// the page's pixels cannot take is replaced by the stored fallback
// (uncompressed) and Params say so afterwards.
int32_t TiffWritePage(const TTiffWriteRequest& Request);

// Writes one page; answers the number of pages the file has afterwards (1 for
// a new file, 0 when nothing was written).  Params are normalised to what is
// written (bits, samples, photometric, compression).  Failures set the abort
// flag; the file then keeps its previous chain of pages.
int32_t TiffWriteStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& Params,
                        TIEProgressRec& Progress);

// Rows per strip and strip count for a page of Height rows of RowLength bytes
// (about 512 KB of rows per strip; every row is covered).
void TiffStripLayout(int32_t Height, int64_t RowLength, int32_t& RowsPerStrip, int32_t& StripCount);

// PackBits coding of one row: runs of 4 to 128 equal bytes as runs, everything
// else as literals of at most 128 bytes.
void TiffPackBitsRow(const uint8_t* Row, int64_t Count, std::vector<uint8_t>& Out);

// Copies the camera tags and the EXIF and GPS directories of Params' EXIF
// block into page PageIndex of an existing TIFF (SourceStream from its
// position, or the file SourceFileName) and writes the whole file to
// TargetStream (rewound to the source's start when it is the same stream) or
// the file TargetFileName.  A big-endian file gets no tags.  Always true;
// stream and file errors raise.
bool TiffInjectExif(TStream* SourceStream, TStream* TargetStream, const std::string& SourceFileName,
                    TIOParamsVals* Params, int32_t PageIndex, const std::string& TargetFileName);
