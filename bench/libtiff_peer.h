#pragma once
// libtiff as the peer of the TIFF benchmarks, linked into the same process:
// the same files read and written by both, the peer's pixels checked against
// ours before anything is timed.
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace libtiffpeer {

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point Start) {
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

// Silences libtiff's warnings (unknown tags and the like) for the whole run.
inline void Quiet() {
  static const bool Done = [] {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    return true;
  }();
  (void)Done;
}

// One decoded page as libtiff's strips hold it (no conversion).
struct Page {
  uint32_t Width = 0, Height = 0;
  uint16_t Samples = 1, Bits = 1;
  std::vector<uint8_t> Pixels;  // rows of Stride bytes, first row first
  size_t Stride = 0;
};

// Decodes the current directory of T into P (every strip, predictor undone
// by libtiff); false on any error.
inline bool ReadCurrent(TIFF* T, Page& P) {
  TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &P.Width);
  TIFFGetField(T, TIFFTAG_IMAGELENGTH, &P.Height);
  TIFFGetFieldDefaulted(T, TIFFTAG_SAMPLESPERPIXEL, &P.Samples);
  TIFFGetFieldDefaulted(T, TIFFTAG_BITSPERSAMPLE, &P.Bits);
  P.Stride = size_t(TIFFScanlineSize(T));
  const size_t Size = P.Stride * P.Height;
  if (P.Pixels.size() < Size) P.Pixels.resize(Size);
  const tstrip_t Strips = TIFFNumberOfStrips(T);
  size_t At = 0;
  for (tstrip_t S = 0; S < Strips; ++S) {
    const tmsize_t Got = TIFFReadEncodedStrip(T, S, P.Pixels.data() + At, tmsize_t(Size - At));
    if (Got < 0) return false;
    At += size_t(Got);
  }
  return At == Size;
}

// Reads every page of the file in order; answers the page count (-1 on error).
inline int ReadAll(const std::string& Name, Page& Scratch, std::vector<Page>* Keep = nullptr) {
  TIFF* T = TIFFOpen(Name.c_str(), "r");
  if (!T) return -1;
  int N = 0;
  do {
    if (!ReadCurrent(T, Scratch)) {
      TIFFClose(T);
      return -1;
    }
    if (Keep) Keep->push_back(Scratch);
    ++N;
  } while (TIFFReadDirectory(T));
  TIFFClose(T);
  return N;
}

// Opens the file, goes to page Index, decodes it and counts the pages, as a
// viewer opening one page of a document does; answers the page count.
inline int OpenPage(const std::string& Name, int Index, Page& P) {
  TIFF* T = TIFFOpen(Name.c_str(), "r");
  if (!T) return -1;
  int Count = -1;
  if (TIFFSetDirectory(T, tdir_t(Index)) && ReadCurrent(T, P)) Count = int(TIFFNumberOfDirectories(T));
  TIFFClose(T);
  return Count;
}

// Row source of the writer benchmarks: the page's rows in the file's layout.
struct WritePage {
  uint32_t Width = 0, Height = 0;
  uint16_t Samples = 1, Bits = 1, Photometric = PHOTOMETRIC_MINISWHITE, Compression = COMPRESSION_CCITTFAX4;
  uint16_t Predictor = 1;
  uint32_t RowsPerStrip = 0;
  std::vector<uint8_t> Pixels;  // rows of Stride bytes
  size_t Stride = 0;
};

// Writes the pages as one file, strip by strip; false on any error.
inline bool WriteAll(const std::string& Name, const std::vector<const WritePage*>& Pages) {
  TIFF* T = TIFFOpen(Name.c_str(), "w");
  if (!T) return false;
  bool Ok = true;
  for (const WritePage* P : Pages) {
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, P->Width);
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, P->Height);
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, P->Samples);
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, P->Bits);
    TIFFSetField(T, TIFFTAG_PHOTOMETRIC, P->Photometric);
    TIFFSetField(T, TIFFTAG_COMPRESSION, P->Compression);
    TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(T, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(T, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(T, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (P->Predictor > 1) TIFFSetField(T, TIFFTAG_PREDICTOR, P->Predictor);
    if (P->Compression == COMPRESSION_CCITTFAX4) TIFFSetField(T, TIFFTAG_GROUP4OPTIONS, 0);
    const uint32_t Rps = P->RowsPerStrip ? P->RowsPerStrip : P->Height;
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, Rps);
    for (uint32_t Y = 0, S = 0; Y < P->Height && Ok; Y += Rps, ++S) {
      const uint32_t Rows = std::min(Rps, P->Height - Y);
      // The encoder may work in place (predictor), so it gets a copy, as a
      // caller that keeps its image would hand it.
      static thread_local std::vector<uint8_t> Copy;
      Copy.assign(P->Pixels.data() + size_t(Y) * P->Stride, P->Pixels.data() + size_t(Y + Rows) * P->Stride);
      Ok = TIFFWriteEncodedStrip(T, S, Copy.data(), tmsize_t(Copy.size())) >= 0;
    }
    Ok = Ok && TIFFWriteDirectory(T);
  }
  TIFFClose(T);
  return Ok;
}

}  // namespace libtiffpeer
