#pragma once
// LZW codec of TIFF compression 5: codes of 9 to 12 bits, most significant bit
// first, Clear 256, EndOfInformation 257, first free code 258, with the early
// change of the code width.  The TIFF reader and writer reach it only through
// the hooks TiffLzwDecodeHook and TiffLzwEncodeHook of the library settings.
#include <cstdint>

class TStream;

// Decodes a strip row by row.  With State null: creates the decoder over Data
// (DataSize bytes of coded data, read no further) and decodes the first row.
// With State set and Data not null: decodes the next row (Data and DataSize
// are not used again).  With Data null: frees the state and answers null.
// Answers RowLength decoded bytes, valid until the next call, or null when the
// data is corrupt (a Clear followed by a code beyond the table, a first code
// beyond the table, or a table that would exceed 4096 entries).  Rows past the
// end of the data or past EndOfInformation, and the rest of a row cut short by
// a code beyond the table, read as 0 bytes.  FillOrder 2 reverses the bits of
// every coded byte before the codes are read.
uint8_t* TiffLzwDecode(const uint8_t* Data, int64_t DataSize, int32_t RowLength, void*& State,
                       int32_t FillOrder);
// True when a decoder state made by TiffLzwDecode has met the end of its data
// or EndOfInformation and holds no decoded byte for a further row: every
// further row would only be 0 bytes.  False for a null state.
bool TiffLzwDecodeFinished(const void* State);

// Encodes a strip one row per call.  With State null: creates the state, writes
// Clear and compresses the Count bytes of Row.  With State set and a Row:
// compresses the next Count bytes as a continuation of the same stream.  With
// Row null: writes the last pending code and EndOfInformation, flushes and
// frees the state; when any part of the strip could not be written it then
// raises EWriteError ("Stream write error").
void TiffLzwEncode(const uint8_t* Row, int32_t Count, TStream* Stream, void*& State);
