#pragma once
// Content probes of the two metafile formats.  Rendering them belongs to the
// I/O component; these only say what a stream holds.  Both restore the
// position and answer false for streams shorter than the header they test.
class TStream;

// Enhanced metafile: first record type 1 and " EMF" at offset 40.
bool IETryEMF(TStream* Stream);
// Windows metafile, with or without the 22-byte placeable header: type 1,
// header size 9 words and a last header word of 0.
bool IETryWMF(TStream* Stream);
