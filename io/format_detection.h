#pragma once
// Content probes of the formats that format detection asks about.
//
// Each probe looks at the bytes from the stream's position, answers whether
// they begin a file of its format and puts the position back where it was,
// whatever happens (short streams, read errors and exceptions answer false).
// They are plain byte tests, so they live here rather than with the codecs:
// a codec that joins the build uses these instead of writing its own.
//
// The probes of the TIFF family (TiffIsStream, TiffIsRawStream, HdpIsStream),
// of DCX (DcxIsStream) and of JPEG (JpegIsStream) belong to their codecs.
#include <cstdint>
#include <string>

class TStream;

// The first four bytes of the PNG signature (0x89 "PNG").
bool PngIsStream(TStream* Stream);
// "DICM" 128 bytes after the position (files with the preamble only).
bool DicomIsStream(TStream* Stream);
// An icon (type 1) or cursor (type 2) directory: at least 23 bytes, reserved
// 0, a non-zero count, and every entry with reserved byte 0, a non-zero size
// and an image offset at or after the end of that entry.
bool IcoIsStream(TStream* Stream);
bool CurIsStream(TStream* Stream);
// A Targa header: image type 1, 2, 3, 9, 10 or 11, colour-map type 0 or 1,
// non-zero width and height, pixel depth 1, 4, 8, 16, 24 or 32.
bool TgaIsStream(TStream* Stream);
// "P1".."P6" (comments skipped), then a positive width and height.
bool PnmIsStream(TStream* Stream);
// The next token of a PBM/PGM/PPM header: a run of letters and digits (other
// bytes are skipped; the byte that ends the token is consumed), or "#" and the
// trimmed text of a comment up to the end of its line; "" at the end of the
// stream.
std::string PnmReadToken(TStream* Stream);
// The JP2 signature box (12, "jP  ", 0x0D0A870A, big-endian).
bool Jp2IsStream(TStream* Stream);
// A JPEG 2000 code stream: 0xFF4F then 0xFF51.
bool J2kIsStream(TStream* Stream);
// A Windows metafile, with or without the 22-byte placeable header: type 1,
// header size 9 (in words), no parameters.
bool WmfIsStream(TStream* Stream);
// An enhanced metafile: first record type 1 with the signature " EMF" at 40.
bool EmfIsStream(TStream* Stream);
// A Photoshop header: "8BPS", version 1, 1..24 channels, depth 1..16,
// colour mode 0..9.
bool PsdIsStream(TStream* Stream);
// A vector-object stream: "IEV" and a version character from '1' to 'R'.
bool IEIsObjectStream(TStream* Stream);
// A layer stream: "FOLIOLAYERS" and a version above 0 (25-byte header).
bool IEIsLayersStream(TStream* Stream);
// A layers-and-objects stream: an Int32 offset (absolute, not beyond the
// stream size), a layer stream after it and an object stream at the offset.
bool IEIsLayersAndObjectsStream(TStream* Stream);
