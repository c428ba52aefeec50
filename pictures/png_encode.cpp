#include "pictures/png_encode.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "pictures/png_chunks.h"
#include "pictures/png_decode.h"
#include "pictures/png_picture.h"
#include "platform/rtl/streams.h"

int ChooseRowFilter(const uint8_t* Raw, uint8_t* Previous, int64_t RowBytes, int32_t Distance, uint8_t Set,
                    std::vector<uint8_t> (&Candidates)[5]) {
  const uint8_t* r = Raw;
  const uint8_t* q = Previous;
  const int64_t d = Distance;
  for (int t = 1; t <= 4; ++t) {
    if (!(Set & (1u << t))) continue;
    std::vector<uint8_t>& c = Candidates[t];
    c.resize(size_t(RowBytes));
    for (int64_t i = 0; i < RowBytes; ++i) {
      const uint8_t left = i >= d ? r[i - d] : 0;
      const uint8_t upperLeft = i >= d ? q[i - d] : 0;
      uint8_t pred = 0;
      switch (t) {
        case 1:
          pred = left;
          break;
        case 2:
          pred = q[i];
          break;
        case 3:
          pred = uint8_t((unsigned(q[i]) + left) >> 1);
          break;
        default:
          pred = PaethPredict(left, q[i], upperLeft);
          break;
      }
      c[size_t(i)] = uint8_t(r[i] - pred);
    }
  }
  std::memcpy(Previous, Raw, size_t(RowBytes));
  if ((Set & 0x1F) == 0 || (Set & 0x1F) == 1) return 0;
  int choice = 0;
  int64_t best = 0;
  for (int t = 0; t <= 4; ++t) {
    if (!(Set & (1u << t))) continue;
    if ((Set & 0x1F) == (1u << t)) return t;
    const uint8_t* c = t == 0 ? Previous : Candidates[t].data();
    int64_t score = 0;
    for (int64_t j = 2; j < RowBytes; ++j)
      if (c[j] == c[j - 1] || c[j] == c[j - 2]) ++score;
    if (score > best) {
      best = score;
      choice = t;
    }
  }
  return choice;
}

namespace {

// Streams deflated image data into IDAT chunks of at most Limit bytes.
class IdatWriter {
 public:
  IdatWriter(TStream* Stream, int Level, int32_t Limit) : FStream(Stream), FOut(size_t(Limit)) {
    if (deflateInit(&FZ, Level) != Z_OK) throw EPNGOutMemory();
    FZ.next_out = FOut.data();
    FZ.avail_out = uInt(FOut.size());
  }
  ~IdatWriter() { deflateEnd(&FZ); }
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;

  void Write(const uint8_t* Data, int64_t Length) {
    FZ.next_in = const_cast<Bytef*>(Data);
    FZ.avail_in = uInt(Length);
    while (FZ.avail_in > 0) {
      deflate(&FZ, Z_NO_FLUSH);
      if (FZ.avail_out == 0) Flush();
    }
  }

  void Finish() {
    for (;;) {
      const int r = deflate(&FZ, Z_FINISH);
      if (r == Z_STREAM_END) break;
      Flush();
    }
    Flush();
  }

 private:
  void Flush() {
    const size_t filled = FOut.size() - FZ.avail_out;
    if (filled > 0) {
      uint8_t head[8];
      PngStore32(head, uint32_t(filled));
      std::memcpy(head + 4, "IDAT", 4);
      FStream->WriteBuffer(head, 8);
      FStream->WriteBuffer(FOut.data(), int64_t(filled));
      uint8_t tail[4];
      PngStore32(tail, PngCrc(PngCrc(0xFFFFFFFFu, head + 4, 4), FOut.data(), filled) ^ 0xFFFFFFFFu);
      FStream->WriteBuffer(tail, 4);
    }
    FZ.next_out = FOut.data();
    FZ.avail_out = uInt(FOut.size());
  }

  TStream* FStream;
  z_stream FZ{};
  std::vector<uint8_t> FOut;
};

// Builds the PNG row of the pixels StartColumn + k x ColumnStep of image
// row Y into Raw (RowBytes bytes, zeroed by the caller for packed rows).
void BuildRow(const TPNGObject& Png, const TChunkIHDR* H, int32_t Y, int32_t StartColumn, int32_t ColumnStep,
              int64_t Pixels, int64_t RowBytes, uint8_t* Raw) {
  const auto& inv = Png.InverseGammaLut();
  const int64_t dibOffset = H->BytesPerRow * (int64_t(H->Height) - 1 - Y);
  const uint8_t* dib = H->ImageData.data() + dibOffset;
  const uint8_t* low = H->ExtraImageData.empty() ? nullptr : H->ExtraImageData.data() + dibOffset;
  const uint8_t* alpha = H->ImageAlpha.empty() ? nullptr : H->ImageAlpha.data() + int64_t(H->Width) * Y;
  const uint8_t* alphaLow =
      H->ExtraImageAlpha.empty() ? nullptr : H->ExtraImageAlpha.data() + int64_t(H->Width) * Y;
  auto lowAt = [](const uint8_t* p, int64_t i) -> uint8_t { return p ? p[i] : 0; };
  const uint8_t depth = H->BitDepth;
  uint8_t* o = Raw;
  switch (H->ColorType) {
    case 0:
    case 3:
      if (depth == 16) {
        for (int64_t k = 0; k < Pixels; ++k) {
          const int64_t x = StartColumn + k * ColumnStep;
          *o++ = dib[x];
          *o++ = lowAt(low, x);
        }
      } else if (ColumnStep == 1) {
        std::memcpy(Raw, dib, size_t(RowBytes));
      } else {
        std::memset(Raw, 0, size_t(RowBytes));
        const int bits = depth;
        const int mask = (1 << bits) - 1;
        for (int64_t k = 0; k < Pixels; ++k) {
          const int64_t x = StartColumn + k * ColumnStep;
          const int64_t sb = x * bits;
          const int s = (dib[sb >> 3] >> (8 - bits - (sb & 7))) & mask;
          const int64_t db = k * bits;
          Raw[db >> 3] = uint8_t(Raw[db >> 3] | (s << (8 - bits - (db & 7))));
        }
      }
      return;
    case 2:
    case 6:
      for (int64_t k = 0; k < Pixels; ++k) {
        const int64_t c = StartColumn + k * ColumnStep;
        const int64_t x = 3 * c;
        if (depth == 8) {
          *o++ = inv[dib[x + 2]];
          *o++ = inv[dib[x + 1]];
          *o++ = inv[dib[x]];
          if (alpha) *o++ = alpha[c];
        } else {
          *o++ = inv[dib[x + 2]];
          *o++ = inv[lowAt(low, x + 2)];
          *o++ = inv[dib[x + 1]];
          *o++ = inv[lowAt(low, x + 1)];
          *o++ = inv[dib[x]];
          *o++ = inv[lowAt(low, x)];
          if (alpha) {
            *o++ = alpha[c];
            *o++ = lowAt(alphaLow, c);
          }
        }
      }
      return;
    case 4:
      for (int64_t k = 0; k < Pixels; ++k) {
        const int64_t x = StartColumn + k * ColumnStep;
        *o++ = dib[x];
        if (depth == 16) *o++ = lowAt(low, x);
        *o++ = alpha[x];
        if (depth == 16) *o++ = lowAt(alphaLow, x);
      }
      return;
    default:
      return;
  }
}

}  // namespace

bool TChunkIDAT::WriteChunk(TStream* Stream) {
  const TChunkIHDR* h = FOwner->HeaderChunk();
  int64_t rowBytes = 0;
  int32_t distance = 0;
  FOwner->RowLayout(rowBytes, distance);
  const uint8_t set = FOwner->GetFilterSet();
  std::vector<uint8_t> raw(size_t(rowBytes), 0), previous(size_t(rowBytes), 0);
  std::vector<uint8_t> candidates[5];
  IdatWriter writer(Stream, FOwner->GetDeflateLevel(), FOwner->GetIdatLimit());
  auto emitRow = [&](int64_t bytes) {
    const uint8_t type = uint8_t(ChooseRowFilter(raw.data(), previous.data(), bytes, distance, set, candidates));
    writer.Write(&type, 1);
    writer.Write(type == 0 ? previous.data() : candidates[type].data(), bytes);
  };
  if (FOwner->GetInterlacing() == 0) {
    for (uint32_t y = 0; y < h->Height; ++y) {
      BuildRow(*FOwner, h, int32_t(y), 0, 1, h->Width, rowBytes, raw.data());
      emitRow(rowBytes);
    }
  } else {
    for (const TAdam7Pass& pass : kAdam7Passes) {
      if (uint32_t(pass.StartColumn) >= h->Width) continue;
      const int64_t pixels = (int64_t(h->Width) + pass.ColumnStep - pass.StartColumn - 1) / pass.ColumnStep;
      const int64_t passBytes = TPNGObject::RowBytesFor(pixels, h->ColorType, h->BitDepth);
      if (passBytes == 0) continue;
      std::fill(previous.begin(), previous.end(), uint8_t(0));
      for (uint32_t y = uint32_t(pass.StartRow); y < h->Height; y += uint32_t(pass.RowStep)) {
        BuildRow(*FOwner, h, int32_t(y), pass.StartColumn, pass.ColumnStep, pixels, passBytes, raw.data());
        emitRow(passBytes);
      }
    }
  }
  writer.Finish();
  return true;
}
