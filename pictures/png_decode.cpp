#include "pictures/png_decode.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "pictures/png_chunks.h"
#include "pictures/png_picture.h"
#include "platform/rtl/streams.h"

// ------------------------------------------------------------ layout
bool PngValidColorTypeAndDepth(uint8_t ColorType, uint8_t BitDepth) {
  switch (ColorType) {
    case 0:
      return BitDepth == 1 || BitDepth == 2 || BitDepth == 4 || BitDepth == 8 || BitDepth == 16;
    case 3:
      return BitDepth == 1 || BitDepth == 2 || BitDepth == 4 || BitDepth == 8;
    case 2:
    case 4:
    case 6:
      return BitDepth == 8 || BitDepth == 16;
    default:
      return false;
  }
}

int32_t PngDibBitCount(uint8_t ColorType, uint8_t BitDepth) {
  if (ColorType == 2 || ColorType == 6) return 24;
  switch (BitDepth) {
    case 1:
      return 1;
    case 2:
    case 4:
      return 4;
    default:
      return 8;
  }
}

// ------------------------------------------------------------ filters
void UnfilterRow(uint8_t* Row, const uint8_t* Previous, int64_t RowBytes, int32_t Distance) {
  uint8_t* r = Row + 1;
  const uint8_t* q = Previous + 1;
  const int64_t d = Distance;
  switch (Row[0]) {
    case 0:
      return;
    case 1:
      for (int64_t j = d; j < RowBytes; ++j) r[j] = uint8_t(r[j] + r[j - d]);
      return;
    case 2:
      for (int64_t j = 0; j < RowBytes; ++j) r[j] = uint8_t(r[j] + q[j]);
      return;
    case 3: {
      const int64_t head = std::min<int64_t>(d, RowBytes);
      for (int64_t j = 0; j < head; ++j) r[j] = uint8_t(r[j] + (q[j] >> 1));
      for (int64_t j = d; j < RowBytes; ++j) r[j] = uint8_t(r[j] + ((unsigned(q[j]) + r[j - d]) >> 1));
      return;
    }
    case 4: {
      const int64_t head = std::min<int64_t>(d, RowBytes);
      // Left and upper left are zero here, so the prediction is the byte above.
      for (int64_t j = 0; j < head; ++j) r[j] = uint8_t(r[j] + q[j]);
      for (int64_t j = d; j < RowBytes; ++j) {
        const int a = r[j - d], b = q[j], c = q[j - d];
        const int p = b - c, pc0 = a - c;
        const int pa = p < 0 ? -p : p;
        const int pb = pc0 < 0 ? -pc0 : pc0;
        const int pcs = p + pc0;
        const int pc = pcs < 0 ? -pcs : pcs;
        const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        r[j] = uint8_t(r[j] + pred);
      }
      return;
    }
    default:
      throw EPNGUnknownCompression();
  }
}

// ------------------------------------------------------------ header
TChunkIHDR::TChunkIHDR(TPNGObject* AOwner) : TChunk(AOwner) {}
TChunkIHDR::~TChunkIHDR() { FreeImageData(); }

std::unique_ptr<TChunk> TChunkIHDR::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkIHDR>(AOwner);
}

void TChunkIHDR::FreeImageData() {
  std::vector<uint8_t>().swap(ImageData);
  std::vector<uint8_t>().swap(ExtraImageData);
  std::vector<uint8_t>().swap(ImageAlpha);
  std::vector<uint8_t>().swap(ExtraImageAlpha);
}

void TChunkIHDR::PrepareImageData() {
  FreeImageData();
  BitmapInfo = TBitmapInfo{};
  const int32_t bits = PngDibBitCount(ColorType, BitDepth);
  HasPalette = bits <= 8;
  TBitmapInfoHeader& bh = BitmapInfo.bmiHeader;
  bh.biSize = 40;
  bh.biWidth = int32_t(Width);
  bh.biHeight = int32_t(Height);
  bh.biPlanes = 1;
  bh.biBitCount = uint16_t(bits);
  bh.biCompression = BI_RGB;
  BytesPerRow = ((int64_t(bits) * Width + 31) / 32) * 4;
  const int64_t pixels = int64_t(Width) * Height;
  try {
    ImageData.assign(size_t(BytesPerRow * Height), 0);
    if (ColorType == 4 || ColorType == 6) {
      ImageAlpha.assign(size_t(pixels), 0);
      if (BitDepth == 16) ExtraImageAlpha.assign(size_t(pixels), 0);
    }
    if (BitDepth == 16) ExtraImageData.assign(size_t(BytesPerRow * Height), 0);
  } catch (const std::bad_alloc&) {
    FreeImageData();
    throw EPNGOutMemory();
  }
  if (HasPalette) {
    const int32_t entries = 1 << bits;
    bh.biClrUsed = uint32_t(entries);
    if (ColorType != 3) {
      // A gray ramp over the whole colour table of the DIB, through the
      // gamma table; a 2-bit image held at 4 bits gets 16 levels.
      const auto& lut = FOwner->GammaLut();
      for (int32_t k = 0; k < entries; ++k) {
        const uint8_t v = lut[size_t((k * 255 + (entries - 1) / 2) / (entries - 1))];
        BitmapInfo.bmiColors[k] = TRGBQuad{v, v, v, 0};
      }
    }
    // Palette images: entries stay black until the palette arrives, so an
    // index beyond the palette draws black.
  }
}

void TChunkIHDR::CopyChunk(TChunk* Source) {
  auto* s = dynamic_cast<TChunkIHDR*>(Source);
  if (!s) throw EPngError();
  FTypeCode = s->FTypeCode;
  FPayload = s->FPayload;
  Width = s->Width;
  Height = s->Height;
  BitDepth = s->BitDepth;
  ColorType = s->ColorType;
  CompressionMethod = s->CompressionMethod;
  FilterMethod = s->FilterMethod;
  InterlaceMethod = s->InterlaceMethod;
  PrepareImageData();
  ImageData = s->ImageData;
  ExtraImageData = s->ExtraImageData;
  ImageAlpha = s->ImageAlpha;
  ExtraImageAlpha = s->ExtraImageAlpha;
  BytesPerRow = s->BytesPerRow;
  BitmapInfo = s->BitmapInfo;
  HasPalette = s->HasPalette;
}

bool TChunkIHDR::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size < 13) throw EPngInvalidIHDR();
  const uint8_t* p = FPayload.data();
  Width = PngLoad32(p);
  Height = PngLoad32(p + 4);
  BitDepth = p[8];
  ColorType = p[9];
  CompressionMethod = p[10];
  FilterMethod = p[11];
  InterlaceMethod = p[12];
  if (Width > 65535 || Height > 65535) throw EPNGSizeExceeds();
  if (Width == 0 || Height == 0) throw EPngInvalidIHDR();
  if (CompressionMethod != 0) throw EPNGUnknownCompression();
  if (InterlaceMethod > 1) throw EPNGUnknownInterlace();
  if (!PngValidColorTypeAndDepth(ColorType, BitDepth)) throw EPngInvalidIHDR();
  FOwner->SetInterlacing(InterlaceMethod);
  // The rest of the stream must be able to hold the compressed image before
  // the image is allocated: deflate never packs more than 1032 bytes into one.
  const int64_t rawBytes = (TPNGObject::RowBytesFor(Width, ColorType, BitDepth) + 1) * int64_t(Height);
  const int64_t remaining = Stream->GetSize() - Stream->GetPosition();
  if (remaining < 0 || remaining * 1032 + 4096 < rawBytes) throw EPngUnexpectedEnd();
  PrepareImageData();
  return result;
}

bool TChunkIHDR::WriteChunk(TStream* Stream) {
  // The image holds 2-bit samples at 4 bits, so it is written as 4-bit; a
  // gray key colour scales with its samples.
  if (BitDepth == 2) {
    BitDepth = 4;
    if (ColorType == 0)
      if (auto* t = FOwner->GetChunkList().FindChunk<TChunktRNS>(); t && t->GetPayloadSize() >= 2) {
        const uint16_t key = uint16_t(((t->AlphaTable[0] << 8) | t->AlphaTable[1]) * 5);
        t->AlphaTable[0] = uint8_t(key >> 8);
        t->AlphaTable[1] = uint8_t(key);
      }
  }
  FPayload.resize(13);
  uint8_t* p = FPayload.data();
  PngStore32(p, Width);
  PngStore32(p + 4, Height);
  p[8] = BitDepth;
  p[9] = ColorType;
  p[10] = CompressionMethod;
  p[11] = FilterMethod;
  InterlaceMethod = FOwner->GetInterlacing();
  p[12] = InterlaceMethod;
  return WritePayload(Stream);
}

// ------------------------------------------------------------ image data
namespace {

constexpr int64_t kInputBufferSize = 65535;

// Delivers inflated image data across consecutive IDAT chunks, checking the
// CRC of each chunk it leaves.
class IdatReader {
 public:
  IdatReader(TStream* Stream, uint32_t Size) : FStream(Stream), FInput(size_t(kInputBufferSize)) {
    FCrc = PngCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>("IDAT"), 4);
    FEnd = Stream->GetPosition() + Size;
    const int r = inflateInit(&FZ);
    if (r != Z_OK) Fail(r);
  }
  ~IdatReader() { inflateEnd(&FZ); }
  IdatReader(const IdatReader&) = delete;
  IdatReader& operator=(const IdatReader&) = delete;

  // Fills Count bytes of Out; answers fewer only when the compressed stream
  // has ended.
  int64_t Read(uint8_t* Out, int64_t Count) {
    FZ.next_out = Out;
    FZ.avail_out = uInt(Count);
    while (FZ.avail_out > 0) {
      if (FStreamEnded) break;
      if (FZ.avail_in == 0) {
        if (FStream->GetPosition() >= FEnd) NextChunk();
        const int64_t want = std::min<int64_t>(kInputBufferSize, FEnd - FStream->GetPosition());
        PngReadExact(FStream, FInput.data(), want);
        FCrc = PngCrc(FCrc, FInput.data(), size_t(want));
        FZ.next_in = FInput.data();
        FZ.avail_in = uInt(want);
        if (want == 0) continue;
      }
      const int r = inflate(&FZ, Z_NO_FLUSH);
      if (r == Z_STREAM_END) {
        FStreamEnded = true;
      } else if (r == Z_NEED_DICT || (r < 0 && r != Z_BUF_ERROR)) {
        Fail(r);
      }
    }
    return Count - FZ.avail_out;
  }

  // Consumes the rest of the current chunk and checks its CRC.
  void Finish() {
    while (FStream->GetPosition() < FEnd) {
      const int64_t want = std::min<int64_t>(kInputBufferSize, FEnd - FStream->GetPosition());
      PngReadExact(FStream, FInput.data(), want);
      FCrc = PngCrc(FCrc, FInput.data(), size_t(want));
    }
    CheckCrc();
  }

 private:
  [[noreturn]] void Fail(int r) {
    throw EPNGZLIBError(std::string(EPNGZLIBError().Message) + PngZlibResultText(r));
  }
  void CheckCrc() {
    uint8_t stored[4];
    PngReadExact(FStream, stored, 4);
    if ((FCrc ^ 0xFFFFFFFFu) != PngLoad32(stored)) throw EPngInvalidCRC();
  }
  // The payload of this chunk is used up: the data goes on in the next one,
  // which must be IDAT too.
  void NextChunk() {
    CheckCrc();
    uint8_t head[8];
    PngReadExact(FStream, head, 8);
    if (std::memcmp(head + 4, "IDAT", 4) != 0) throw EPNGMissingMultipleIDAT();
    const uint32_t length = PngLoad32(head);
    const int64_t remaining = FStream->GetSize() - FStream->GetPosition();
    if (length > 0x7FFFFFFFu || int64_t(length) + 4 > remaining) throw EPngUnexpectedEnd();
    FCrc = PngCrc(0xFFFFFFFFu, head + 4, 4);
    FEnd = FStream->GetPosition() + length;
  }

  TStream* FStream;
  z_stream FZ{};
  std::vector<uint8_t> FInput;
  uint32_t FCrc = 0;
  int64_t FEnd = 0;
  bool FStreamEnded = false;
};

// Puts the samples of one unfiltered row into image row Y at columns
// StartColumn + k x ColumnStep for k below Pixels.
struct RowTarget {
  TChunkIHDR* H;
  const uint8_t* Lut;
  uint8_t* Dib;
  uint8_t* Low;
  uint8_t* Alpha;
  uint8_t* AlphaLow;
};

RowTarget TargetFor(TChunkIHDR* H, const uint8_t* Lut, uint32_t Y) {
  RowTarget t{H, Lut, nullptr, nullptr, nullptr, nullptr};
  const int64_t dibOffset = H->BytesPerRow * (int64_t(H->Height) - 1 - Y);
  t.Dib = H->ImageData.data() + dibOffset;
  if (!H->ExtraImageData.empty()) t.Low = H->ExtraImageData.data() + dibOffset;
  if (!H->ImageAlpha.empty()) t.Alpha = H->ImageAlpha.data() + int64_t(H->Width) * Y;
  if (!H->ExtraImageAlpha.empty()) t.AlphaLow = H->ExtraImageAlpha.data() + int64_t(H->Width) * Y;
  return t;
}

void ConvertRow(const RowTarget& t, const uint8_t* Src, int64_t RowBytes, int32_t StartColumn,
                int32_t ColumnStep, int64_t Pixels) {
  TChunkIHDR* h = t.H;
  const uint8_t depth = h->BitDepth;
  const uint8_t* lut = t.Lut;
  switch (h->ColorType) {
    case 0:
    case 3:
      if (depth == 16) {
        for (int64_t k = 0; k < Pixels; ++k) {
          const int64_t x = StartColumn + k * ColumnStep;
          t.Dib[x] = Src[2 * k];
          t.Low[x] = Src[2 * k + 1];
        }
      } else if (depth == 2) {
        const int mul = h->ColorType == 0 ? 5 : 1;
        for (int64_t k = 0; k < Pixels; ++k) {
          const int64_t x = StartColumn + k * ColumnStep;
          const int s = (Src[k >> 2] >> (6 - 2 * (k & 3))) & 3;
          const int shift = (x & 1) ? 0 : 4;
          t.Dib[x >> 1] = uint8_t((t.Dib[x >> 1] & ~(0xF << shift)) | ((s * mul) << shift));
        }
      } else if (ColumnStep == 1) {
        std::memcpy(t.Dib, Src, size_t(RowBytes));
      } else {
        const int perByte = 8 / depth;
        const int mask = (1 << depth) - 1;
        for (int64_t k = 0; k < Pixels; ++k) {
          const int64_t x = StartColumn + k * ColumnStep;
          const int s = (Src[k / perByte] >> (8 - depth - depth * (k % perByte))) & mask;
          const int64_t bit = x * depth;
          t.Dib[bit >> 3] = uint8_t(t.Dib[bit >> 3] | (s << (8 - depth - (bit & 7))));
        }
      }
      return;
    case 2:
      if (depth == 8) {
        uint8_t* d = t.Dib + 3 * int64_t(StartColumn);
        const int64_t step = 3 * int64_t(ColumnStep);
        for (int64_t k = 0; k < Pixels; ++k, Src += 3, d += step) {
          d[0] = lut[Src[2]];
          d[1] = lut[Src[1]];
          d[2] = lut[Src[0]];
        }
      } else {
        for (int64_t k = 0; k < Pixels; ++k, Src += 6) {
          const int64_t x = 3 * (StartColumn + k * ColumnStep);
          t.Dib[x] = lut[Src[4]];
          t.Dib[x + 1] = lut[Src[2]];
          t.Dib[x + 2] = lut[Src[0]];
          t.Low[x] = lut[Src[5]];
          t.Low[x + 1] = lut[Src[3]];
          t.Low[x + 2] = lut[Src[1]];
        }
      }
      return;
    case 4:
      for (int64_t k = 0; k < Pixels; ++k) {
        const int64_t x = StartColumn + k * ColumnStep;
        if (depth == 8) {
          t.Dib[x] = Src[2 * k];
          t.Alpha[x] = Src[2 * k + 1];
        } else {
          t.Dib[x] = Src[4 * k];
          t.Low[x] = Src[4 * k + 1];
          t.Alpha[x] = Src[4 * k + 2];
          t.AlphaLow[x] = Src[4 * k + 3];
        }
      }
      return;
    case 6:
      if (depth == 8) {
        uint8_t* d = t.Dib + 3 * int64_t(StartColumn);
        uint8_t* a = t.Alpha + StartColumn;
        const int64_t step = 3 * int64_t(ColumnStep);
        for (int64_t k = 0; k < Pixels; ++k, Src += 4, d += step, a += ColumnStep) {
          d[0] = lut[Src[2]];
          d[1] = lut[Src[1]];
          d[2] = lut[Src[0]];
          *a = Src[3];
        }
      } else {
        for (int64_t k = 0; k < Pixels; ++k, Src += 8) {
          const int64_t c = StartColumn + k * ColumnStep;
          const int64_t x = 3 * c;
          t.Dib[x] = lut[Src[4]];
          t.Dib[x + 1] = lut[Src[2]];
          t.Dib[x + 2] = lut[Src[0]];
          t.Low[x] = lut[Src[5]];
          t.Low[x + 1] = lut[Src[3]];
          t.Low[x + 2] = lut[Src[1]];
          t.Alpha[c] = Src[6];
          t.AlphaLow[c] = Src[7];
        }
      }
      return;
    default:
      return;
  }
}

}  // namespace

bool TChunkIDAT::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  TChunkIHDR* h = FOwner->HeaderChunk();
  int64_t rowBytes = 0;
  int32_t distance = 0;
  FOwner->RowLayout(rowBytes, distance);
  const uint8_t* lut = FOwner->GammaLut().data();
  IdatReader reader(Stream, Size);
  std::vector<uint8_t> rows[2];
  rows[0].assign(size_t(rowBytes + 1), 0);
  rows[1].assign(size_t(rowBytes + 1), 0);
  int current = 1;
  if (FOwner->GetInterlacing() == 0) {
    for (uint32_t y = 0; y < h->Height; ++y) {
      uint8_t* row = rows[current].data();
      if (reader.Read(row, rowBytes + 1) != rowBytes + 1) throw EPNGMissingMultipleIDAT();
      UnfilterRow(row, rows[current ^ 1].data(), rowBytes, distance);
      ConvertRow(TargetFor(h, lut, y), row + 1, rowBytes, 0, 1, h->Width);
      current ^= 1;
    }
  } else {
    for (const TAdam7Pass& pass : kAdam7Passes) {
      if (uint32_t(pass.StartColumn) >= h->Width) continue;
      const int64_t pixels = (int64_t(h->Width) + pass.ColumnStep - pass.StartColumn - 1) / pass.ColumnStep;
      const int64_t passBytes = TPNGObject::RowBytesFor(pixels, h->ColorType, h->BitDepth);
      if (passBytes == 0) continue;
      std::fill(rows[current ^ 1].begin(), rows[current ^ 1].end(), uint8_t(0));
      for (uint32_t y = uint32_t(pass.StartRow); y < h->Height; y += uint32_t(pass.RowStep)) {
        uint8_t* row = rows[current].data();
        if (reader.Read(row, passBytes + 1) != passBytes + 1) throw EPNGMissingMultipleIDAT();
        UnfilterRow(row, rows[current ^ 1].data(), passBytes, distance);
        ConvertRow(TargetFor(h, lut, y), row + 1, passBytes, pass.StartColumn, pass.ColumnStep, pixels);
        current ^= 1;
      }
    }
  }
  reader.Finish();
  return true;
}
