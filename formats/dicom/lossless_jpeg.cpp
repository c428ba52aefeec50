#include "formats/dicom/lossless_jpeg.h"

#include <cstring>

namespace {

struct THuffTable {
  bool Defined = false;
  int32_t MinCode[17] = {};
  int32_t MaxCode[18] = {};
  int32_t ValPtr[17] = {};
  uint8_t Values[256] = {};
};

// Bits of the entropy-coded segment; stuffed zero bytes are dropped and a
// marker stops the bits (zeros follow, and Hit says a marker was met).
class TBitReader {
 public:
  TBitReader(const uint8_t* D, int64_t N, int64_t P) : FData(D), FLen(N), FPos(P) {}
  int32_t Bit() {
    if (FCount == 0) {
      FByte = NextByte();
      FCount = 8;
    }
    --FCount;
    return (FByte >> FCount) & 1;
  }
  int32_t Bits(int32_t N) {
    int32_t v = 0;
    for (int32_t i = 0; i < N; ++i) v = v << 1 | Bit();
    return v;
  }
  // Drops the rest of the byte and expects a restart marker.
  bool Restart() {
    FCount = 0;
    if (FMarker >= 0) {
      const bool rst = FMarker >= 0xD0 && FMarker <= 0xD7;
      FMarker = -1;
      return rst;
    }
    while (FPos + 1 < FLen && FData[FPos] == 0xFF && FData[FPos + 1] == 0xFF) ++FPos;
    if (FPos + 1 < FLen && FData[FPos] == 0xFF && FData[FPos + 1] >= 0xD0 && FData[FPos + 1] <= 0xD7) {
      FPos += 2;
      return true;
    }
    return false;
  }
  bool Ended() const { return FEnded; }

 private:
  uint8_t NextByte() {
    if (FMarker >= 0 || FPos >= FLen) {
      FEnded = FPos >= FLen && FMarker < 0;
      return 0;
    }
    const uint8_t b = FData[FPos++];
    if (b != 0xFF) return b;
    while (FPos < FLen && FData[FPos] == 0xFF) ++FPos;
    if (FPos < FLen && FData[FPos] == 0) {
      ++FPos;
      return 0xFF;
    }
    FMarker = FPos < FLen ? FData[FPos++] : 0xD9;
    return 0;
  }
  const uint8_t* FData;
  int64_t FLen;
  int64_t FPos;
  uint8_t FByte = 0;
  int32_t FCount = 0;
  int32_t FMarker = -1;
  bool FEnded = false;
};

int32_t DecodeSymbol(TBitReader& R, const THuffTable& T) {
  int32_t code = R.Bit();
  for (int32_t l = 1; l <= 16; ++l) {
    if (T.MaxCode[l] >= 0 && code <= T.MaxCode[l] && code >= T.MinCode[l])
      return T.Values[T.ValPtr[l] + code - T.MinCode[l]];
    code = code << 1 | R.Bit();
  }
  return -1;
}

}  // namespace

bool LosslessJpegDecode(const uint8_t* Data, int64_t Length, int32_t Width, int32_t Height, int32_t Components,
                        std::vector<uint16_t>& Samples, int32_t& Precision) {
  if (!Data || Length < 32 || Data[0] != 0xFF || Data[1] != 0xD8) return false;
  THuffTable tables[4];
  int32_t restartInterval = 0;
  int32_t frameW = -1, frameH = -1, frameN = 0;
  uint8_t compIds[4] = {};
  int64_t p = 2;
  auto word = [&](int64_t At) { return int32_t(Data[At] << 8 | Data[At + 1]); };
  while (p + 4 <= Length) {
    if (Data[p] != 0xFF) return false;
    while (p < Length && Data[p] == 0xFF) ++p;
    if (p + 3 > Length) return false;
    const int32_t marker = Data[p++];
    if (marker == 0xD9) return false;  // end of image before any scan
    const int64_t len = word(p);
    if (len < 2 || p + len > Length) return false;
    const uint8_t* s = Data + p + 2;
    const int64_t n = len - 2;
    if (marker == 0xC3) {
      if (n < 6) return false;
      Precision = s[0];
      frameH = s[1] << 8 | s[2];
      frameW = s[3] << 8 | s[4];
      frameN = s[5];
      if (Precision < 2 || Precision > 16 || frameN < 1 || frameN > 4 || n < 6 + 3 * frameN) return false;
      // The frame must be the one the file's description announced: the
      // samples go into a buffer sized from that.
      if (frameW != Width || frameH != Height || frameN != Components) return false;
      for (int32_t i = 0; i < frameN; ++i) {
        compIds[i] = s[6 + 3 * i];
        if (s[7 + 3 * i] != 0x11) return false;
      }
    } else if ((marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      return false;  // another coding process
    } else if (marker == 0xC4) {
      int64_t q = 0;
      while (q < n) {
        if (q + 17 > n) return false;
        const int32_t th = s[q] & 0x0F;
        if (th > 3 || (s[q] >> 4) != 0) return false;
        THuffTable& t = tables[th];
        int32_t total = 0;
        for (int32_t l = 1; l <= 16; ++l) total += s[q + l];
        if (total > 17 || q + 17 + total > n) return false;
        std::memcpy(t.Values, s + q + 17, size_t(total));
        for (int32_t i = 0; i < total; ++i)
          if (t.Values[i] > 16) return false;
        int32_t code = 0, k = 0;
        for (int32_t l = 1; l <= 16; ++l) {
          const int32_t cnt = s[q + l];
          t.ValPtr[l] = k;
          t.MinCode[l] = code;
          code += cnt;
          k += cnt;
          t.MaxCode[l] = cnt ? code - 1 : -1;
          code <<= 1;
        }
        t.Defined = true;
        q += 17 + total;
      }
    } else if (marker == 0xDD) {
      if (n < 2) return false;
      restartInterval = s[0] << 8 | s[1];
    } else if (marker == 0xDA) {
      if (frameW < 0 || n < 1) return false;
      const int32_t ns = s[0];
      if (ns != frameN || n < 1 + 2 * ns + 3) return false;
      int32_t table[4];
      for (int32_t i = 0; i < ns; ++i) {
        if (s[1 + 2 * i] != compIds[i]) return false;
        table[i] = s[2 + 2 * i] >> 4;
        if (table[i] > 3 || !tables[table[i]].Defined) return false;
      }
      const int32_t predictor = s[1 + 2 * ns];
      const int32_t pt = s[3 + 2 * ns] & 0x0F;
      if (predictor < 1 || predictor > 7 || pt >= Precision) return false;

      const int64_t count = int64_t(frameW) * frameH * frameN;
      // Every sample takes at least one bit of coded data.
      if (count > (Length - p) * 8) return false;
      Samples.assign(size_t(count), 0);
      std::vector<int32_t> prev(size_t(frameW) * frameN), cur(size_t(frameW) * frameN);
      TBitReader r(Data, Length, p + len);
      const int32_t mask = (1 << 16) - 1;
      const int32_t initial = 1 << (Precision - pt - 1);
      int64_t mcu = 0;
      bool firstRowOfInterval = true;
      for (int32_t y = 0; y < frameH; ++y) {
        for (int32_t x = 0; x < frameW; ++x) {
          if (restartInterval && mcu && mcu % restartInterval == 0) {
            if (!r.Restart()) return false;
            firstRowOfInterval = true;
          }
          for (int32_t c = 0; c < frameN; ++c) {
            const size_t i = size_t(x) * frameN + size_t(c);
            int32_t pred;
            if (firstRowOfInterval && x == 0)
              pred = initial;
            else if (firstRowOfInterval)
              pred = cur[i - size_t(frameN)];
            else if (x == 0)
              pred = prev[i];
            else {
              const int32_t ra = cur[i - size_t(frameN)], rb = prev[i], rc = prev[i - size_t(frameN)];
              switch (predictor) {
                case 1: pred = ra; break;
                case 2: pred = rb; break;
                case 3: pred = rc; break;
                case 4: pred = ra + rb - rc; break;
                case 5: pred = ra + ((rb - rc) >> 1); break;
                case 6: pred = rb + ((ra - rc) >> 1); break;
                default: pred = (ra + rb) >> 1; break;
              }
            }
            const int32_t ssss = DecodeSymbol(r, tables[table[c]]);
            if (ssss < 0) return false;
            int32_t diff = 0;
            if (ssss == 16) {
              diff = 32768;
            } else if (ssss > 0) {
              diff = r.Bits(ssss);
              if (diff < (1 << (ssss - 1))) diff -= (1 << ssss) - 1;
            }
            cur[i] = (pred + diff) & mask;
            Samples[size_t(y) * frameW * frameN + i] = uint16_t(cur[i] << pt);
          }
          ++mcu;
        }
        if (r.Ended()) return false;
        std::swap(prev, cur);
        firstRowOfInterval = false;
      }
      return true;
    }
    p += len;
  }
  return false;
}
