#include "pictures/png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "pictures/png_picture.h"
#include "platform/rtl/streams.h"

// ------------------------------------------------------------ helpers
std::string PngZlibResultText(int Code) {
  static const char* const kTexts[] = {"incompatible version (-6)", "buffer error (-5)",
                                       "insufficient memory (-4)",  "data error (-3)",
                                       "stream error (-2)",         "file error (-1)",
                                       "(0)",                       "stream end (1)",
                                       "need dictionary (2)"};
  if (Code < -6 || Code > 2) return "";
  return kTexts[Code + 6];
}

namespace {

// Eight tables so the CRC runs over eight bytes per step: the image data of a
// large picture passes through here once while it is read.
struct CrcTables {
  uint32_t T[8][256];
  CrcTables() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      T[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
      for (int k = 1; k < 8; ++k) T[k][n] = (T[k - 1][n] >> 8) ^ T[0][T[k - 1][n] & 0xFF];
  }
};

const CrcTables& Tables() {
  static const CrcTables tables;
  return tables;
}

}  // namespace

uint32_t PngCrc(uint32_t Crc, const uint8_t* Buffer, size_t Length) {
  const CrcTables& t = Tables();
  uint32_t c = Crc;
  while (Length >= 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, Buffer, 4);
    std::memcpy(&hi, Buffer + 4, 4);
    lo ^= c;
    c = t.T[7][lo & 0xFF] ^ t.T[6][(lo >> 8) & 0xFF] ^ t.T[5][(lo >> 16) & 0xFF] ^ t.T[4][lo >> 24] ^
        t.T[3][hi & 0xFF] ^ t.T[2][(hi >> 8) & 0xFF] ^ t.T[1][(hi >> 16) & 0xFF] ^ t.T[0][hi >> 24];
    Buffer += 8;
    Length -= 8;
  }
  while (Length--) c = t.T[0][(c ^ *Buffer++) & 0xFF] ^ (c >> 8);
  return c;
}

void PngReadExact(TStream* Stream, void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  if (Stream->Read(Buffer, Count) != Count) throw EPngUnexpectedEnd();
}

bool InflateBuffer(const uint8_t* Input, size_t InputSize, std::vector<uint8_t>& Output,
                   std::string& ErrorText, size_t Limit) {
  Output.clear();
  z_stream z{};
  int r = inflateInit(&z);
  if (r != Z_OK) {
    ErrorText = PngZlibResultText(r);
    return false;
  }
  z.next_in = const_cast<Bytef*>(Input);
  z.avail_in = uInt(std::min<size_t>(InputSize, UINT32_MAX));
  std::vector<uint8_t> workBuffer(16384);
  uint8_t* work = workBuffer.data();
  bool ok = true;
  for (;;) {
    z.next_out = work;
    z.avail_out = workBuffer.size();
    r = inflate(&z, Z_NO_FLUSH);
    const size_t produced = workBuffer.size() - z.avail_out;
    if (Output.size() + produced > Limit) {
      ErrorText = "output limit";
      ok = false;
      break;
    }
    Output.insert(Output.end(), work, work + produced);
    if (r == Z_STREAM_END) break;
    if (r < 0 && r != Z_BUF_ERROR) {
      ErrorText = z.msg ? z.msg : PngZlibResultText(r);
      ok = false;
      break;
    }
    // No progress possible: the compressed text is cut short.
    if (produced == 0 && z.avail_in == 0) {
      ErrorText = PngZlibResultText(Z_BUF_ERROR);
      ok = false;
      break;
    }
  }
  inflateEnd(&z);
  if (!ok) Output.clear();
  return ok;
}

bool DeflateBuffer(const uint8_t* Input, size_t InputSize, int Level, std::string& ErrorText,
                   std::vector<uint8_t>& Output) {
  Output.clear();
  z_stream z{};
  int r = deflateInit(&z, Level);
  if (r != Z_OK) {
    ErrorText = PngZlibResultText(r);
    return false;
  }
  z.next_in = const_cast<Bytef*>(Input);
  z.avail_in = uInt(InputSize);
  uint8_t work[256];
  do {
    z.next_out = work;
    z.avail_out = sizeof(work);
    r = deflate(&z, Z_FINISH);
    if (r < 0 && r != Z_BUF_ERROR) {
      ErrorText = z.msg ? z.msg : PngZlibResultText(r);
      deflateEnd(&z);
      return false;
    }
    Output.insert(Output.end(), work, work + (sizeof(work) - z.avail_out));
  } while (r != Z_STREAM_END);
  deflateEnd(&z);
  return true;
}

// ------------------------------------------------------------ TChunk
TChunk::TChunk(TPNGObject* AOwner) : FOwner(AOwner) {}
TChunk::~TChunk() = default;

void TChunk::SetTypeCode(const std::string& Type) {
  FTypeCode.fill(0);
  std::memcpy(FTypeCode.data(), Type.data(), std::min<size_t>(Type.size(), 4));
}

std::unique_ptr<TChunk> TChunk::NewOfSameClass(TPNGObject* AOwner) const {
  return std::make_unique<TChunk>(AOwner);
}

void TChunk::CopyChunk(TChunk* Source) {
  FTypeCode = Source->FTypeCode;
  FPayload = Source->FPayload;
}

bool TChunk::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  FPayload.resize(Size);
  PngReadExact(Stream, FPayload.data(), Size);
  uint8_t stored[4];
  PngReadExact(Stream, stored, 4);
  uint32_t crc = PngCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(ChunkName.data()), 4);
  crc = PngCrc(crc, FPayload.data(), FPayload.size()) ^ 0xFFFFFFFFu;
  if (crc != PngLoad32(stored)) throw EPngInvalidCRC();
  return true;
}

bool TChunk::WritePayload(TStream* Stream) {
  uint8_t head[8];
  PngStore32(head, uint32_t(FPayload.size()));
  std::memcpy(head + 4, FTypeCode.data(), 4);
  Stream->WriteBuffer(head, 8);
  if (!FPayload.empty()) Stream->WriteBuffer(FPayload.data(), int64_t(FPayload.size()));
  uint32_t crc = PngCrc(0xFFFFFFFFu, head + 4, 4);
  crc = PngCrc(crc, FPayload.data(), FPayload.size()) ^ 0xFFFFFFFFu;
  uint8_t tail[4];
  PngStore32(tail, crc);
  Stream->WriteBuffer(tail, 4);
  return true;
}

bool TChunk::WriteChunk(TStream* Stream) { return WritePayload(Stream); }

// ------------------------------------------------------------ PLTE
std::unique_ptr<TChunk> TChunkPLTE::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkPLTE>(AOwner);
}

void TChunkPLTE::CopyChunk(TChunk* Source) {
  auto* s = dynamic_cast<TChunkPLTE*>(Source);
  if (!s) throw EPngError();
  TChunk::CopyChunk(Source);
  Count = s->Count;
}

bool TChunkPLTE::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size % 3 != 0 || Size / 3 > 256) throw EPNGInvalidPalette();
  Count = int32_t(Size / 3);
  // A palette needs the header before it; the chunk loop guarantees that.
  TChunkIHDR* h = FOwner->HeaderChunk();
  const auto& lut = FOwner->GammaLut();
  std::vector<TRGBQuad> pal(static_cast<size_t>(Count));
  for (int32_t i = 0; i < Count; ++i) {
    pal[size_t(i)].rgbRed = lut[FPayload[size_t(i) * 3]];
    pal[size_t(i)].rgbGreen = lut[FPayload[size_t(i) * 3 + 1]];
    pal[size_t(i)].rgbBlue = lut[FPayload[size_t(i) * 3 + 2]];
  }
  if (h->ColorType == 3) FOwner->AdoptPalette(pal, true);
  return result;
}

bool TChunkPLTE::WriteChunk(TStream* Stream) {
  TChunkIHDR* h = FOwner->HeaderChunk();
  // Only palette images keep their palette in the colour table; the
  // suggested palette of another image is written back as it was read.
  if (h->ColorType != 3) return WritePayload(Stream);
  if (Count == 0) Count = int32_t(std::min<uint32_t>(h->BitmapInfo.bmiHeader.biClrUsed, 256));
  FPayload.resize(size_t(Count) * 3);
  const auto& inv = FOwner->InverseGammaLut();
  for (int32_t i = 0; i < Count; ++i) {
    const TRGBQuad& q = h->BitmapInfo.bmiColors[i];
    FPayload[size_t(i) * 3] = inv[q.rgbRed];
    FPayload[size_t(i) * 3 + 1] = inv[q.rgbGreen];
    FPayload[size_t(i) * 3 + 2] = inv[q.rgbBlue];
  }
  return WritePayload(Stream);
}

// ------------------------------------------------------------ tRNS
std::unique_ptr<TChunk> TChunktRNS::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunktRNS>(AOwner);
}

void TChunktRNS::CopyChunk(TChunk* Source) {
  TChunk::CopyChunk(Source);
  if (auto* s = dynamic_cast<TChunktRNS*>(Source)) {
    AlphaTable = s->AlphaTable;
    ColorKeyOnly = s->ColorKeyOnly;
  }
}

bool TChunktRNS::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size > 256) throw EPNGInvalidPalette();
  AlphaTable.fill(255);
  std::memcpy(AlphaTable.data(), FPayload.data(), Size);
  const TChunkIHDR* h = FOwner->HeaderChunk();
  switch (h->ColorType) {
    case 0:
    case 2:
      ColorKeyOnly = true;
      break;
    case 3: {
      // A colour key needs exactly one entry that is fully transparent;
      // a partly transparent entry has to be blended.
      int32_t differing = 0, clear = 0;
      for (uint32_t i = 0; i < Size; ++i) {
        if (AlphaTable[i] != 255) ++differing;
        if (AlphaTable[i] == 0) ++clear;
      }
      ColorKeyOnly = differing == 1 && clear == 1;
      break;
    }
    default:
      break;
  }
  return result;
}

bool TChunktRNS::WriteChunk(TStream* Stream) {
  if (FPayload.size() <= 256) std::memcpy(FPayload.data(), AlphaTable.data(), FPayload.size());
  return WritePayload(Stream);
}

void TChunktRNS::SetTransparentColor(TColor Color) {
  const uint32_t rgb = ColorToRGB(Color);
  ColorKeyOnly = true;
  AlphaTable.fill(0);
  const TChunkIHDR* h = FOwner->HeaderChunk();
  switch (h->ColorType) {
    case 0:
      FPayload.assign(2, 0);
      AlphaTable[1] = GetRValue(rgb);
      break;
    case 2:
      FPayload.assign(6, 0);
      AlphaTable[1] = GetRValue(rgb);
      AlphaTable[3] = GetGValue(rgb);
      AlphaTable[5] = GetBValue(rgb);
      break;
    case 3: {
      const uint32_t count = std::min<uint32_t>(h->BitmapInfo.bmiHeader.biClrUsed, 256);
      for (uint32_t i = 0; i < count; ++i) {
        const TRGBQuad& q = h->BitmapInfo.bmiColors[i];
        if (q.rgbRed == GetRValue(rgb) && q.rgbGreen == GetGValue(rgb) && q.rgbBlue == GetBValue(rgb)) {
          std::fill(AlphaTable.begin(), AlphaTable.begin() + i, uint8_t(255));
          FPayload.assign(i + 1, 0);
          return;
        }
      }
      // No entry has the colour: nothing becomes transparent.
      FPayload.clear();
      ColorKeyOnly = false;
      break;
    }
    default:
      break;
  }
}

// ------------------------------------------------------------ gAMA
TChunkgAMA::TChunkgAMA(TPNGObject* AOwner) : TChunk(AOwner) { SetGamma(1); }

std::unique_ptr<TChunk> TChunkgAMA::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkgAMA>(AOwner);
}

void TChunkgAMA::CopyChunk(TChunk* Source) {
  auto* s = dynamic_cast<TChunkgAMA*>(Source);
  if (!s) throw EPngError();
  FTypeCode = s->FTypeCode;
  SetGamma(s->GetGamma());
}

uint32_t TChunkgAMA::GetGamma() {
  if (FPayload.size() == 4) return PngLoad32(FPayload.data());
  FPayload.assign(4, 0);
  return 1;
}

void TChunkgAMA::SetGamma(uint32_t Value) {
  FPayload.resize(4);
  PngStore32(FPayload.data(), Value);
}

bool TChunkgAMA::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  const uint32_t v = GetGamma();
  if (v != 0) {
    auto& lut = FOwner->GammaLut();
    auto& inv = FOwner->InverseGammaLut();
    const double exponent = 1.0 / (double(v) / 100000.0 * 2.2);
    for (int i = 0; i < 256; ++i) {
      const double base = i / 255.0;
      const double p = base == 0.0 ? 0.0 : std::pow(base, exponent);
      const double g = std::clamp(std::nearbyint(p * 255.0), 0.0, 255.0);
      lut[size_t(i)] = uint8_t(g);
      inv[size_t(g)] = uint8_t(i);
    }
  }
  return result;
}

// ------------------------------------------------------------ pHYs
std::unique_ptr<TChunk> TChunkpHYs::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkpHYs>(AOwner);
}

void TChunkpHYs::CopyChunk(TChunk* Source) {
  TChunk::CopyChunk(Source);
  if (auto* s = dynamic_cast<TChunkpHYs*>(Source)) {
    PixelsPerUnitX = s->PixelsPerUnitX;
    PixelsPerUnitY = s->PixelsPerUnitY;
    UnitSpecifier = s->UnitSpecifier;
  }
}

bool TChunkpHYs::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size == 9) {
    PixelsPerUnitX = PngLoad32(FPayload.data());
    PixelsPerUnitY = PngLoad32(FPayload.data() + 4);
    UnitSpecifier = FPayload[8];
  }
  return result;
}

bool TChunkpHYs::WriteChunk(TStream* Stream) {
  FPayload.resize(9);
  PngStore32(FPayload.data(), PixelsPerUnitX);
  PngStore32(FPayload.data() + 4, PixelsPerUnitY);
  FPayload[8] = UnitSpecifier;
  return WritePayload(Stream);
}

// ------------------------------------------------------------ tIME
std::unique_ptr<TChunk> TChunktIME::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunktIME>(AOwner);
}

void TChunktIME::CopyChunk(TChunk* Source) {
  TChunk::CopyChunk(Source);
  if (auto* s = dynamic_cast<TChunktIME*>(Source)) {
    Year = s->Year;
    Month = s->Month;
    Day = s->Day;
    Hour = s->Hour;
    Minute = s->Minute;
    Second = s->Second;
  }
}

bool TChunktIME::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size == 7) {
    Year = uint16_t((FPayload[0] << 8) | FPayload[1]);
    Month = FPayload[2];
    Day = FPayload[3];
    Hour = FPayload[4];
    Minute = FPayload[5];
    Second = FPayload[6];
  }
  return result;
}

bool TChunktIME::WriteChunk(TStream* Stream) {
  FPayload = {uint8_t(Year >> 8), uint8_t(Year), Month, Day, Hour, Minute, Second};
  return WritePayload(Stream);
}

// ------------------------------------------------------------ tEXt, zTXt
std::unique_ptr<TChunk> TChunktEXt::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunktEXt>(AOwner);
}

void TChunktEXt::CopyChunk(TChunk* Source) {
  TChunk::CopyChunk(Source);
  if (auto* s = dynamic_cast<TChunktEXt*>(Source)) {
    Keyword = s->Keyword;
    Text = s->Text;
  }
}

bool TChunktEXt::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size >= 3) {
    const auto zero = std::find(FPayload.begin(), FPayload.end(), uint8_t(0));
    Keyword.assign(FPayload.begin(), zero);
    Text = zero == FPayload.end() ? std::string() : std::string(zero + 1, FPayload.end());
  }
  return result;
}

bool TChunktEXt::WriteChunk(TStream* Stream) {
  FPayload.assign(Keyword.begin(), Keyword.end());
  FPayload.push_back(0);
  FPayload.insert(FPayload.end(), Text.begin(), Text.end());
  return WritePayload(Stream);
}

std::unique_ptr<TChunk> TChunkzTXt::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkzTXt>(AOwner);
}

bool TChunkzTXt::ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) {
  const bool result = TChunk::ReadChunk(Stream, ChunkName, Size);
  if (Size >= 4) {
    const auto zero = std::find(FPayload.begin(), FPayload.end(), uint8_t(0));
    Keyword.assign(FPayload.begin(), zero);
    Text.clear();
    if (zero != FPayload.end() && zero + 1 != FPayload.end() && zero[1] == 0) {
      const size_t start = size_t(zero - FPayload.begin()) + 2;
      std::vector<uint8_t> out;
      std::string error;
      // Text that cannot be inflated, or would grow beyond the limit, stays
      // empty; the picture still loads.
      if (InflateBuffer(FPayload.data() + start, FPayload.size() - start, out, error, kMaxInflatedText))
        Text.assign(out.begin(), out.end());
    }
  }
  return result;
}

bool TChunkzTXt::WriteChunk(TStream* Stream) {
  if (Text.empty()) Text = " ";
  std::vector<uint8_t> packed;
  std::string error;
  DeflateBuffer(reinterpret_cast<const uint8_t*>(Text.data()), Text.size(), FOwner->GetDeflateLevel(), error,
                packed);
  FPayload.assign(Keyword.begin(), Keyword.end());
  FPayload.push_back(0);
  FPayload.push_back(0);
  FPayload.insert(FPayload.end(), packed.begin(), packed.end());
  return WritePayload(Stream);
}

// ------------------------------------------------------------ IDAT, IEND
std::unique_ptr<TChunk> TChunkIDAT::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkIDAT>(AOwner);
}

std::unique_ptr<TChunk> TChunkIEND::NewOfSameClass(TPNGObject* AOwner) const {
  return MakeChunk<TChunkIEND>(AOwner);
}

bool TChunkIEND::WriteChunk(TStream* Stream) {
  FPayload.clear();
  return WritePayload(Stream);
}

// ------------------------------------------------------------ list
TChunk* TPNGList::GetItem(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) return nullptr;
  return FItems[size_t(Index)].get();
}

void TPNGList::Insert(int32_t Index, std::unique_ptr<TChunk> Chunk) {
  if (Index < 0 || Index >= GetCount())
    FItems.push_back(std::move(Chunk));
  else
    FItems.insert(FItems.begin() + Index, std::move(Chunk));
}

// ------------------------------------------------------------ registry
namespace {

struct RegistryEntry {
  std::string Type;
  TChunkFactory Factory;
};

std::mutex gChunkMutex;

std::vector<RegistryEntry>& ChunkRegistry() {
  static std::vector<RegistryEntry> registry = [] {
    std::vector<RegistryEntry> r;
    auto add = [&r](const char* type, TChunkFactory f) { r.push_back({type, std::move(f)}); };
    add("IEND", [](TPNGObject* o) { return std::make_unique<TChunkIEND>(o); });
    add("IHDR", [](TPNGObject* o) { return std::make_unique<TChunkIHDR>(o); });
    add("IDAT", [](TPNGObject* o) { return std::make_unique<TChunkIDAT>(o); });
    add("PLTE", [](TPNGObject* o) { return std::make_unique<TChunkPLTE>(o); });
    add("gAMA", [](TPNGObject* o) { return std::make_unique<TChunkgAMA>(o); });
    add("tRNS", [](TPNGObject* o) { return std::make_unique<TChunktRNS>(o); });
    add("pHYs", [](TPNGObject* o) { return std::make_unique<TChunkpHYs>(o); });
    add("tIME", [](TPNGObject* o) { return std::make_unique<TChunktIME>(o); });
    add("tEXt", [](TPNGObject* o) { return std::make_unique<TChunktEXt>(o); });
    add("zTXt", [](TPNGObject* o) { return std::make_unique<TChunkzTXt>(o); });
    return r;
  }();
  return registry;
}

}  // namespace

void RegisterChunk(const std::string& Type, TChunkFactory Factory) {
  std::lock_guard<std::mutex> lock(gChunkMutex);
  ChunkRegistry().push_back({Type, std::move(Factory)});
}

std::unique_ptr<TChunk> NewChunkForType(TPNGObject* Owner, const std::string& Type) {
  TChunkFactory factory;
  {
    std::lock_guard<std::mutex> lock(gChunkMutex);
    for (const auto& e : ChunkRegistry())
      if (e.Type == Type) {
        factory = e.Factory;
        break;
      }
  }
  std::unique_ptr<TChunk> chunk = factory ? factory(Owner) : std::make_unique<TChunk>(Owner);
  chunk->SetTypeCode(Type);
  return chunk;
}
