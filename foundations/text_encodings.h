#pragma once
// The three text encodings of the exporters: Base64 lines, ASCII85 and the
// run-length code that PostScript and PDF decode with RunLengthDecode.
#include <cstdint>

class TStream;

// Base64 (standard alphabet, "=" padding) of every byte of Source from its
// position to its end, written to Output with CR LF after every
// LineLength / 4 groups of four characters and after the last, shorter line.
// An empty source writes nothing.
void IEWriteBase64Lines(TStream* Source, TStream* Output, int32_t LineLength);

// ASCII85 of Length bytes at Input ("z" for a full group of zeros, CR LF once
// a line holds more than 74 characters), then "~>" and CR LF. Input and
// Output advance past what was read and written; Counter grows by the
// characters of the groups. Answers the characters written, line breaks and
// end marker included; Output must hold IEEncodeASCII85Bound(Length) bytes.
int32_t IEEncodeASCII85(const uint8_t*& Input, int32_t Length, uint8_t*& Output, int32_t& Counter);
int64_t IEEncodeASCII85Bound(int32_t Length);

// Run-length code of Length bytes: runs of 2..128 equal bytes as 257 - N and
// the byte, literals of 1..128 bytes as N - 1 and the bytes, and the end code
// 128. Answers the output length, which never exceeds
// IERunLengthEncodeBound(Length) = Length + Length / 128 + 2.
int32_t IERunLengthEncode(const uint8_t* Input, int32_t Length, uint8_t* Output);
int64_t IERunLengthEncodeBound(int32_t Length);
