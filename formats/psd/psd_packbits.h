#pragma once
// PackBits rows as Photoshop files store them: header byte n, then n + 1
// literal bytes (n = 0..127) or one byte repeated 1 - n times (n = -127..-1);
// -128 is a no-op.
#include <cstdint>
#include <vector>

// Unpacks Source (SourceLen bytes) into Dest (exactly DestLen bytes). A packet
// that would run past the row is cut at its end and a source that ends early
// leaves the rest of the row zero, so a damaged row never writes outside Dest.
// Answers false when the data did not fill the row exactly (too short, or
// packets or bytes beyond it).
bool PsdUnpackBitsRow(const uint8_t* Source, int64_t SourceLen, uint8_t* Dest, int64_t DestLen);

// Appends the PackBits form of Row (Count bytes) to Out: runs of four or more
// equal bytes become run packets, everything else literal packets of at most
// 128 bytes.
void PsdPackBitsRow(const uint8_t* Row, int64_t Count, std::vector<uint8_t>& Out);

// The fewest packed bytes that can unpack to Count bytes (each packet gives at
// most 128 bytes for 2 bytes); bounds what a file must hold for a row.
inline int64_t PsdPackBitsMinimum(int64_t Count) { return (Count + 127) / 128 * 2; }
