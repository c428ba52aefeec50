#pragma once
// PDF 1.4 documents of one raster image per page, placed at the top-left
// corner and scaled to fit the paper keeping its proportions.  A document is
// begun, given pages one at a time and ended; each page's objects reach the
// stream as soon as the page is added and are then released, so a long
// document never sits in memory.  Objects 1, 2 and 3 are the catalog, the
// resources shared by all pages and the page tree, written at the end.
//
// Page kinds: 1-bit pages (uncompressed, run-length, CCITT Group 4 or Group 3,
// LZW, else Deflate), gray and palette pages as such (DeviceGray, Indexed),
// colour pages (JPEG, LZW, uncompressed with compression 0, else Deflate);
// other pixel formats are converted to colour first.
#include <cstdint>
#include <memory>

#include "foundations/pdf_objects.h"
#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// The open document: the object list (pages already written are kept only as
// number and offset), the shared objects written at the end, the page count.
struct TIEPdfDocState {
  TStream* Stream = nullptr;
  TIEPDFObjectList Objects;
  TIEPDFDictionaryObject* Catalog = nullptr;
  TIEPDFDictionaryObject* Resources = nullptr;
  TIEPDFDictionaryObject* XObjects = nullptr;
  TIEPDFDictionaryObject* Pages = nullptr;
  // The page tree's kids until the end step hands them to the tree.
  std::unique_ptr<TIEPDFArrayObject> Kids;
  int32_t PageCount = 0;
};

// Writes the header at the stream's position and answers the document state.
std::unique_ptr<TIEPdfDocState> PdfBeginDocument(TStream* Stream);
// Encodes and writes one page with the options of its own parameters.  A page
// that cannot be coded sets the abort flag and adds nothing.
void PdfAddPage(TIEPdfDocState* State, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
// Writes the catalog, resources, page tree, the Info dictionary (from Params),
// the cross-reference table and the trailer, and frees the state.  Nothing
// for a null state.
void PdfEndDocument(std::unique_ptr<TIEPdfDocState>& State, TIOParamsVals& Params);
// Number of pages added so far.
int32_t PdfPageCount(const TIEPdfDocState* State);

// Begin, one page, end; the common writer shape.
void PdfWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
inline void IEWritePdfStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                             TIEProgressRec& Progress) {
  PdfWriteStream(Stream, Bitmap, Params, Progress);
}
