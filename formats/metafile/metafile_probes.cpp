#include "formats/metafile/metafile_probes.h"

#include <cstdint>

#include "formats/codec_table.h"
#include "platform/rtl/streams.h"

namespace {

// Reads exactly N bytes from the position and puts the position back;
// false when the stream holds fewer.
bool Peek(TStream* Stream, uint8_t* Buf, int64_t N) {
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  const bool ok = Stream->Read(Buf, N) == N;
  Stream->Seek(pos, soBeginning);
  return ok;
}
uint32_t Le32(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }
uint16_t Le16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }

}  // namespace

bool IETryEMF(TStream* Stream) {
  uint8_t h[44];
  return Peek(Stream, h, 44) && Le32(h) == 1 && Le32(h + 40) == 0x464D4520;
}

bool IETryWMF(TStream* Stream) {
  uint8_t h[40];
  if (!Peek(Stream, h, 18)) return false;
  int32_t at = 0;
  if (Le32(h) == 0x9AC6CDD7) {
    if (!Peek(Stream, h, 40)) return false;
    at = 22;
  }
  const uint8_t* m = h + at;
  return Le16(m) == 1 && Le16(m + 2) == 9 && Le16(m + 16) == 0;
}

namespace {

// Rows with a probe only: rendering a metafile needs the platform's picture
// support, which lies above the codecs.
TIECodec MakeProbeRow(TIEFileFormat Format, bool (*Probe)(TStream*)) {
  TIECodec C;
  C.Format = Format;
  C.Probe = Probe;
  return C;
}

const bool Registered =
    IERegisterCodec(MakeProbeRow(ioWMF, IETryWMF)) && IERegisterCodec(MakeProbeRow(ioEMF, IETryEMF));

}  // namespace
