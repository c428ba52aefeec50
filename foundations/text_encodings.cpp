#include "foundations/text_encodings.h"

#include <algorithm>
#include <string>

#include "platform/rtl/streams.h"

void IEWriteBase64Lines(TStream* Source, TStream* Output, int32_t LineLength) {
  static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const int32_t groupsPerLine = std::max<int32_t>(LineLength / 4, 1);
  uint8_t in[3 * 1024];
  uint8_t carry[3];
  int carried = 0;
  int32_t groupsOnLine = 0;
  std::string out;
  auto emit = [&](const uint8_t* g, int n) {
    uint32_t v = (uint32_t(g[0]) << 16) | (n > 1 ? uint32_t(g[1]) << 8 : 0) | (n > 2 ? uint32_t(g[2]) : 0);
    out += Alphabet[(v >> 18) & 63];
    out += Alphabet[(v >> 12) & 63];
    out += n > 1 ? Alphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? Alphabet[v & 63] : '=';
    if (++groupsOnLine == groupsPerLine) {
      out += "\r\n";
      groupsOnLine = 0;
    }
  };
  for (;;) {
    int64_t got = Source->Read(in, sizeof in);
    if (got <= 0) break;
    for (int64_t i = 0; i < got; ++i) {
      carry[carried++] = in[i];
      if (carried == 3) {
        emit(carry, 3);
        carried = 0;
      }
    }
    if (out.size() >= 8192) {
      Output->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
      out.clear();
    }
  }
  if (carried) emit(carry, carried);
  if (groupsOnLine > 0) out += "\r\n";
  if (!out.empty()) Output->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

int64_t IEEncodeASCII85Bound(int32_t Length) {
  int64_t groups = (std::max<int32_t>(Length, 0) + 3) / 4;
  // Five characters per group, a line break at most every 15 groups, the end
  // marker with its line break.
  return groups * 5 + (groups / 15 + 1) * 2 + 4;
}

int32_t IEEncodeASCII85(const uint8_t*& Input, int32_t Length, uint8_t*& Output, int32_t& Counter) {
  uint8_t* const start = Output;
  int32_t line = 0;
  int32_t remaining = Length;
  while (remaining > 0) {
    const int n = std::min<int32_t>(remaining, 4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | (i < n ? Input[i] : 0);
    Input += n;
    remaining -= 4;
    int written;
    if (n == 4 && v == 0) {
      *Output++ = 'z';
      written = 1;
    } else {
      char digits[5];
      for (int i = 4; i >= 0; --i) {
        digits[i] = static_cast<char>(v % 85 + 33);
        v /= 85;
      }
      for (int i = 0; i <= n; ++i) *Output++ = static_cast<uint8_t>(digits[i]);
      written = n + 1;
    }
    Counter += written;
    line += written;
    if (line > 74) {
      *Output++ = '\r';
      *Output++ = '\n';
      line = 0;
    }
  }
  *Output++ = '~';
  *Output++ = '>';
  *Output++ = '\r';
  *Output++ = '\n';
  return static_cast<int32_t>(Output - start);
}

int64_t IERunLengthEncodeBound(int32_t Length) {
  Length = std::max<int32_t>(Length, 0);
  return int64_t(Length) + Length / 128 + 2;
}

int32_t IERunLengthEncode(const uint8_t* Input, int32_t Length, uint8_t* Output) {
  int32_t j = 0, o = 0;
  while (j < Length) {
    int32_t run = 1;
    while (j + run < Length && run < 128 && Input[j + run] == Input[j]) ++run;
    if (run >= 2) {
      Output[o++] = static_cast<uint8_t>(257 - run);
      Output[o++] = Input[j];
      j += run;
      continue;
    }
    // A literal stops where three equal bytes begin: breaking it for a mere
    // pair would cost a packet header and could outgrow the output bound.
    int32_t n = 1;
    while (j + n < Length && n < 128 &&
           !(n + 2 < Length - j && Input[j + n] == Input[j + n + 1] && Input[j + n] == Input[j + n + 2]))
      ++n;
    Output[o++] = static_cast<uint8_t>(n - 1);
    for (int32_t i = 0; i < n; ++i) Output[o++] = Input[j + i];
    j += n;
  }
  Output[o++] = 128;
  return o;
}
