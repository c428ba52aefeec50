#include "io/format_detection.h"

#include <cstring>
#include <functional>

#include "foundations/number_text.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// Puts the stream back at the position it had on construction, whatever the
// probe did (a failing seek is ignored: the probe has already answered).
class TPositionGuard {
 public:
  explicit TPositionGuard(TStream* Stream) : FStream(Stream), FPosition(Stream->GetPosition()) {}
  ~TPositionGuard() {
    try {
      FStream->Seek(FPosition, soBeginning);
    } catch (...) {
    }
  }
  TPositionGuard(const TPositionGuard&) = delete;
  TPositionGuard& operator=(const TPositionGuard&) = delete;
  int64_t Position() const { return FPosition; }

 private:
  TStream* FStream;
  int64_t FPosition;
};

// Runs Test with the position restored afterwards; a null stream or any
// exception answers false.
template <typename F>
bool Probe(TStream* Stream, F&& Test) {
  if (Stream == nullptr) return false;
  try {
    TPositionGuard guard(Stream);
    return Test(guard.Position());
  } catch (...) {
    return false;
  }
}

// Reads exactly Count bytes from Offset; false on a short read.
bool ReadAt(TStream* Stream, int64_t Offset, void* Buffer, int64_t Count) {
  if (Offset < 0) return false;
  if (Stream->Seek(Offset, soBeginning) != Offset) return false;
  return Stream->Read(Buffer, Count) == Count;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }

bool IcoOrCurIsStream(TStream* Stream, uint16_t Type) {
  return Probe(Stream, [&](int64_t p) {
    if (Stream->GetSize() - p < 23) return false;
    uint8_t h[6];
    if (!ReadAt(Stream, p, h, 6)) return false;
    if (Le16(h) != 0 || Le16(h + 2) != Type) return false;
    const uint16_t count = Le16(h + 4);
    if (count == 0) return false;
    // Every entry must exist in full; a count the stream cannot hold fails at
    // the first short read, so the loop never runs past the data.
    int64_t after = p + 6;
    for (uint16_t i = 0; i < count; ++i) {
      uint8_t e[16];
      if (Stream->Read(e, 16) != 16) return false;
      after += 16;
      if (e[3] != 0) return false;
      if (Le32(e + 8) == 0) return false;
      if (int64_t(Le32(e + 12)) < after) return false;
    }
    return true;
  });
}

bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// How far the PBM/PGM/PPM probe looks: a header is never this long, and
// junk that skips as separators (zero bytes, say) must not make the probe
// read a whole large file.
constexpr int64_t kProbeLimit = 1 << 20;

// Reads bytes from a stream through a small buffer (the probe may look at a
// comment of any length without one read call per byte); the buffered source
// ends after kProbeLimit bytes.
class TByteSource {
 public:
  explicit TByteSource(TStream* Stream, bool Buffered) : FStream(Stream), FBuffered(Buffered) {}
  // False at the end of the stream.
  bool Next(uint8_t& b) {
    if (!FBuffered) return FStream->Read(&b, 1) == 1;
    if (FPos == FLen) {
      if (FConsumed >= kProbeLimit) return false;
      const int64_t n = FStream->Read(FBuffer, sizeof(FBuffer));
      FConsumed += n > 0 ? n : 0;
      if (n <= 0) return false;
      FLen = size_t(n);
      FPos = 0;
    }
    b = FBuffer[FPos++];
    return true;
  }

 private:
  TStream* FStream;
  bool FBuffered;
  uint8_t FBuffer[4096];
  size_t FPos = 0, FLen = 0;
  int64_t FConsumed = 0;
};

// The token reader of the PBM/PGM/PPM header.  MaxLen > 0 stops a token once
// it is longer than MaxLen (Overlong is then set): the probe needs no more of
// it to answer.
std::string ReadToken(TByteSource& Source, size_t MaxLen, bool& Overlong) {
  Overlong = false;
  uint8_t c = 0;
  for (;;) {
    if (!Source.Next(c)) return std::string();
    if (c == '#') {
      std::string text;
      while (Source.Next(c) && c != '\n' && c != '\r') text.push_back(char(c));
      return "#" + IETrim(text);
    }
    if (IsAlnum(c)) break;
  }
  std::string token(1, char(c));
  while (Source.Next(c) && IsAlnum(c)) {
    token.push_back(char(c));
    if (MaxLen > 0 && token.size() > MaxLen) {
      Overlong = true;
      return token;
    }
  }
  return token;
}

}  // namespace

bool PngIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[8];
    if (!ReadAt(Stream, p, b, 8)) return false;
    return b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G';
  });
}

bool DicomIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    char b[4];
    return ReadAt(Stream, p + 128, b, 4) && std::memcmp(b, "DICM", 4) == 0;
  });
}

bool IcoIsStream(TStream* Stream) { return IcoOrCurIsStream(Stream, 1); }
bool CurIsStream(TStream* Stream) { return IcoOrCurIsStream(Stream, 2); }

bool TgaIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t h[18];
    if (!ReadAt(Stream, p, h, 18)) return false;
    const uint8_t mapType = h[1], imageType = h[2], depth = h[16];
    if (mapType > 1) return false;
    if (!(imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 || imageType == 10 || imageType == 11))
      return false;
    if (Le16(h + 12) == 0 || Le16(h + 14) == 0) return false;
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
  });
}

std::string PnmReadToken(TStream* Stream) {
  TByteSource source(Stream, false);
  bool overlong = false;
  return ReadToken(source, 0, overlong);
}

bool PnmIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    TByteSource source(Stream, true);
    bool overlong = false;
    // Magic, width, height: comments between them count against the limit.
    int32_t tokens = 0;
    auto next = [&](size_t maxLen, std::string& token) {
      while (tokens < 501) {
        ++tokens;
        token = ReadToken(source, maxLen, overlong);
        if (token.empty() || token[0] != '#') return true;
      }
      return false;
    };
    std::string magic;
    if (!next(2, magic) || overlong) return false;
    if (magic.size() != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') return false;
    std::string w, h;
    // A number of more than 11 characters cannot be a valid 32-bit width.
    if (!next(11, w) || overlong) return false;
    if (!next(11, h) || overlong) return false;
    // The other kinds have a maxval next: it must be there within the token
    // limit, but its value is not checked (nor read past a few characters).
    std::string maxval;
    if (magic[1] != '1' && magic[1] != '4' && !next(1, maxval)) return false;
    return IEStrToIntDef(w, -1) > 0 && IEStrToIntDef(h, -1) > 0;
  });
}

bool Jp2IsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[12];
    if (!ReadAt(Stream, p, b, 12)) return false;
    return Be32(b) == 12 && Be32(b + 4) == 0x6A502020u && Be32(b + 8) == 0x0D0A870Au;
  });
}

bool J2kIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[4];
    if (!ReadAt(Stream, p, b, 4)) return false;
    return Be16(b) == 0xFF4F && Be16(b + 2) == 0xFF51;
  });
}

bool WmfIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[20];
    if (!ReadAt(Stream, p, b, 20)) return false;
    const int64_t header = Le32(b) == 0x9AC6CDD7u ? p + 22 : p;
    uint8_t h[18];
    if (!ReadAt(Stream, header, h, 18)) return false;
    return Le16(h) == 1 && Le16(h + 2) == 9 && Le16(h + 16) == 0;
  });
}

bool EmfIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[100];
    // The header record of any real file is longer than 100 bytes; the test
    // itself needs the first 44.
    if (Stream->Seek(p, soBeginning) != p) return false;
    if (Stream->Read(b, sizeof(b)) < 44) return false;
    return Le32(b) == 1 && Le32(b + 40) == 0x464D4520u;
  });
}

bool PsdIsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t h[26];
    if (!ReadAt(Stream, p, h, 26)) return false;
    if (std::memcmp(h, "8BPS", 4) != 0 || Be16(h + 4) != 1) return false;
    const uint16_t channels = Be16(h + 12), depth = Be16(h + 22), mode = Be16(h + 24);
    return channels >= 1 && channels <= 24 && depth >= 1 && depth <= 16 && mode <= 9;
  });
}

bool IEIsObjectStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    char b[4];
    if (!ReadAt(Stream, p, b, 4)) return false;
    return std::memcmp(b, "IEV", 3) == 0 && b[3] >= '1' && b[3] <= 'R';
  });
}

bool IEIsLayersStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[25];
    if (!ReadAt(Stream, p, b, 25)) return false;
    return std::memcmp(b, "FOLIOLAYERS", 11) == 0 && int32_t(Le32(b + 13)) > 0;
  });
}

bool IEIsLayersAndObjectsStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t p) {
    uint8_t b[4];
    if (!ReadAt(Stream, p, b, 4)) return false;
    const int64_t offset = int32_t(Le32(b));
    if (offset < 0 || offset > Stream->GetSize()) return false;
    if (!IEIsLayersStream(Stream)) return false;  // reads from p + 4
    if (Stream->Seek(offset, soBeginning) != offset) return false;
    return IEIsObjectStream(Stream);
  });
}
