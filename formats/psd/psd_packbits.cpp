#include "formats/psd/psd_packbits.h"

#include <algorithm>
#include <cstring>

bool PsdUnpackBitsRow(const uint8_t* Source, int64_t SourceLen, uint8_t* Dest, int64_t DestLen) {
  int64_t s = 0;
  int64_t d = 0;
  bool overrun = false;
  while (s < SourceLen && d < DestLen) {
    const int32_t n = static_cast<int8_t>(Source[s++]);
    if (n >= 0) {
      const int64_t take = std::min<int64_t>({n + 1, SourceLen - s, DestLen - d});
      overrun |= take < n + 1;
      std::memcpy(Dest + d, Source + s, static_cast<size_t>(take));
      s += n + 1;
      d += take;
    } else if (n != -128) {
      if (s >= SourceLen) break;
      const int64_t take = std::min<int64_t>(1 - n, DestLen - d);
      overrun |= take < 1 - n;
      std::memset(Dest + d, Source[s++], static_cast<size_t>(take));
      d += take;
    }
  }
  const bool exact = d == DestLen && s == SourceLen && !overrun;
  if (d < DestLen) std::memset(Dest + d, 0, static_cast<size_t>(DestLen - d));
  return exact;
}

void PsdPackBitsRow(const uint8_t* Row, int64_t Count, std::vector<uint8_t>& Out) {
  int64_t p = 0;
  int64_t s = 0;
  auto flush = [&](int64_t End) {
    const int64_t m = End - s;
    if (m <= 0) return;
    Out.push_back(static_cast<uint8_t>(m - 1));
    Out.insert(Out.end(), Row + s, Row + End);
  };
  while (p < Count) {
    int64_t k = 1;
    while (p + k < Count && k < 128 && Row[p + k] == Row[p]) ++k;
    if (k >= 4) {
      flush(p);
      Out.push_back(static_cast<uint8_t>(1 - k));
      Out.push_back(Row[p]);
      p += k;
      s = p;
    } else if (p - s == 128) {
      flush(p);
      s = p;
    } else {
      ++p;
    }
  }
  flush(p);
}
