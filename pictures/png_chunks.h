#pragma once
// The chunks of a PNG stream as objects: the common chunk with its payload
// and CRC, the header chunk that owns the decoded image, the palette,
// transparency, gamma, resolution, time and text chunks, the image-data
// chunk, the chunk list, the chunk-class registry, the exceptions of the PNG
// picture class and the zlib helpers for compressed text.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/dib.h"
#include "platform/rtl/object.h"
#include "platform/rtl/sysutils.h"

class TStream;
class TPNGObject;

// ------------------------------------------------------------ exceptions
// Every failure of the PNG picture class; each class carries its fixed
// message unless one is given.
#define FOLIO_PNG_EXCEPTION(Name, Text)                                    \
  class Name : public Exception {                                          \
   public:                                                                 \
    Name() : Exception(Text) {}                                            \
    explicit Name(std::string Msg) : Exception(std::move(Msg)) {}          \
    std::string ClassName() const override { return #Name; }               \
  };

FOLIO_PNG_EXCEPTION(EPNGInvalidFileHeader,
                    "The file being readed is not a valid \"Portable Network Graphics\" image because it "
                    "contains an invalid header. This file may be corruped, try obtaining it again.")
FOLIO_PNG_EXCEPTION(EPngUnexpectedEnd,
                    "This \"Portable Network Graphics\" image is invalid because the decoder found an "
                    "unexpected end of the file.")
FOLIO_PNG_EXCEPTION(EPNGIHDRNotFirst,
                    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
                    "(IHDR chunk is not the first)")
FOLIO_PNG_EXCEPTION(EPNGUnknownCriticalChunk,
                    "This \"Portable Network Graphics\" image contains an unknown critical part which could "
                    "not be decoded.")
FOLIO_PNG_EXCEPTION(EPngInvalidCRC,
                    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces "
                    "of data (crc error)")
FOLIO_PNG_EXCEPTION(EPngInvalidIHDR,
                    "The \"Portable Network Graphics\" image could not be loaded because one of its main piece "
                    "of data (ihdr) might be corrupted")
FOLIO_PNG_EXCEPTION(EPNGSizeExceeds,
                    "This \"Portable Network Graphics\" image is not supported because either it's width or "
                    "height exceeds the maximum size, which is 65535 pixels length.")
FOLIO_PNG_EXCEPTION(EPNGUnknownCompression,
                    "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme "
                    "which could not be decoded.")
FOLIO_PNG_EXCEPTION(EPNGUnknownInterlace,
                    "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not "
                    "be decoded.")
FOLIO_PNG_EXCEPTION(EPNGInvalidPalette, "The \"Portable Network Graphics\" image contains an invalid palette.")
FOLIO_PNG_EXCEPTION(EPNGMissingMultipleIDAT,
                    "This \"Portable Network Graphics\" image is invalid because it has missing image parts.")
FOLIO_PNG_EXCEPTION(EPNGZLIBError,
                    "Could not decompress the image because it contains invalid compressed data.\r\n"
                    " Description: ")
FOLIO_PNG_EXCEPTION(EPNGNoImageData, "This \"Portable Network Graphics\" image contains no data.")
FOLIO_PNG_EXCEPTION(EPNGHeaderNotPresent,
                    "This operation is not valid because the current image contains no valid header.")
FOLIO_PNG_EXCEPTION(EPngError, "The chunks must be compatible to be assigned.")
FOLIO_PNG_EXCEPTION(EPNGOutMemory,
                    "Some operation could not be performed because the system is out of resources. Close some "
                    "windows and try again.")
FOLIO_PNG_EXCEPTION(EPNGInvalidNewSize, "The new size provided for image resizing is invalid.")

constexpr const char* kPngNoPaletteEntry = "There is no such palette entry.";

// The zlib result text for a result code (-6 to 2); "" for other codes.
std::string PngZlibResultText(int Code);

// ------------------------------------------------------------ CRC
// Updates the CRC-32 of the PNG standard (reflected polynomial EDB88320)
// with Length bytes. A chunk's CRC starts at 0xFFFFFFFF over the type and
// the payload and is stored inverted.
uint32_t PngCrc(uint32_t Crc, const uint8_t* Buffer, size_t Length);

// ------------------------------------------------------------ zlib helpers
// Inflates Input into Output. False with the zlib message in ErrorText when
// zlib reports an error, when the stream is cut short, or when the output
// would exceed Limit bytes (so a tiny chunk cannot ask for gigabytes).
bool InflateBuffer(const uint8_t* Input, size_t InputSize, std::vector<uint8_t>& Output,
                   std::string& ErrorText, size_t Limit);
// Deflates Input at Level into Output.
bool DeflateBuffer(const uint8_t* Input, size_t InputSize, int Level, std::string& ErrorText,
                   std::vector<uint8_t>& Output);

// Big-endian helpers.
inline uint32_t PngLoad32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline void PngStore32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Reads exactly Count bytes; a stream that ends first raises
// EPngUnexpectedEnd.
void PngReadExact(TStream* Stream, void* Buffer, int64_t Count);

// ------------------------------------------------------------ chunks
class TChunk : public TObject {
 public:
  explicit TChunk(TPNGObject* AOwner);
  ~TChunk() override;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  // The chunk type this class stands for ("" for the plain chunk).
  virtual std::string ChunkType() const { return ""; }
  // A new chunk of the same class for another owner.
  virtual std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const;
  // Copies type and payload (subclasses copy their own fields).
  virtual void CopyChunk(TChunk* Source);
  // Reads Size bytes of payload and the CRC after them; raises
  // EPngInvalidCRC on a mismatch. Answers false to end the chunk loop.
  virtual bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size);
  // Writes length, type, payload and CRC.
  virtual bool WriteChunk(TStream* Stream);

  const std::vector<uint8_t>& GetPayload() const { return FPayload; }
  uint32_t GetPayloadSize() const { return uint32_t(FPayload.size()); }
  void ResizePayload(uint32_t Size) { FPayload.resize(Size); }
  uint8_t* PayloadData() { return FPayload.data(); }
  std::string GetTypeCode() const { return std::string(FTypeCode.data(), 4); }
  void SetTypeCode(const std::string& Type);
  TPNGObject* GetOwner() const { return FOwner; }

 protected:
  // Writes the held payload as a chunk.
  bool WritePayload(TStream* Stream);

  std::vector<uint8_t> FPayload;
  TPNGObject* FOwner;
  std::array<char, 4> FTypeCode{};
};

// The header: the image's layout and the decoded image itself, held as a
// bottom-up device-independent bitmap with its colour table, a top-down
// alpha plane and planes for the low bytes of 16-bit samples.
class TChunkIHDR : public TChunk {
 public:
  struct TBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    TRGBQuad bmiColors[256];
  };

  explicit TChunkIHDR(TPNGObject* AOwner);
  ~TChunkIHDR() override;
  std::string ChunkType() const override { return "IHDR"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;

  // Builds the DIB, colour table and planes for the header fields; raises
  // EPNGOutMemory when they cannot be allocated.
  void PrepareImageData();
  // Releases the DIB and the planes.
  void FreeImageData();

  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t BitDepth = 0;
  uint8_t ColorType = 0;
  uint8_t CompressionMethod = 0;
  uint8_t FilterMethod = 0;
  uint8_t InterlaceMethod = 0;

  bool HasPalette = false;
  TBitmapInfo BitmapInfo{};
  // Rows of the DIB, bottom row first; BytesPerRow apart.
  std::vector<uint8_t> ImageData;
  // Low bytes of 16-bit samples, laid out like the DIB rows.
  std::vector<uint8_t> ExtraImageData;
  // Alpha of colour types 4 and 6, Width bytes per row, top row first.
  std::vector<uint8_t> ImageAlpha;
  // Low bytes of 16-bit alpha, laid out like ImageAlpha.
  std::vector<uint8_t> ExtraImageAlpha;
  int64_t BytesPerRow = 0;
};

class TChunkPLTE : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "PLTE"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
  int32_t Count = 0;
};

class TChunktRNS : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "tRNS"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
  // Makes Color (resolved to RGB) the one transparent colour.
  void SetTransparentColor(TColor Color);
  bool ColorKeyOnly = false;
  std::array<uint8_t, 256> AlphaTable{};
};

class TChunkgAMA : public TChunk {
 public:
  explicit TChunkgAMA(TPNGObject* AOwner);
  std::string ChunkType() const override { return "gAMA"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  // Gamma x 100000; 1 when the payload is not 4 bytes long.
  uint32_t GetGamma();
  void SetGamma(uint32_t Value);
};

class TChunkpHYs : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "pHYs"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
  uint32_t PixelsPerUnitX = 0;
  uint32_t PixelsPerUnitY = 0;
  uint8_t UnitSpecifier = 0;
};

class TChunktIME : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "tIME"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
  uint16_t Year = 0;
  uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

class TChunktEXt : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "tEXt"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  void CopyChunk(TChunk* Source) override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
  std::string Keyword;
  std::string Text;
};

class TChunkzTXt : public TChunktEXt {
 public:
  using TChunktEXt::TChunktEXt;
  // The most text one compressed chunk may inflate to.
  static constexpr size_t kMaxInflatedText = 16u << 20;
  std::string ChunkType() const override { return "zTXt"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
};

// The image data: reading decodes the whole image across consecutive IDAT
// chunks into the header's DIB; writing encodes it as IDAT chunks.
class TChunkIDAT : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "IDAT"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  bool ReadChunk(TStream* Stream, const std::string& ChunkName, uint32_t Size) override;
  bool WriteChunk(TStream* Stream) override;
};

class TChunkIEND : public TChunk {
 public:
  using TChunk::TChunk;
  std::string ChunkType() const override { return "IEND"; }
  std::unique_ptr<TChunk> NewOfSameClass(TPNGObject* AOwner) const override;
  bool WriteChunk(TStream* Stream) override;
};

// The chunks of one image in file order; owns them.
class TPNGList {
 public:
  int32_t GetCount() const { return int32_t(FItems.size()); }
  // nullptr beyond the last chunk.
  TChunk* GetItem(int32_t Index) const;
  void Add(std::unique_ptr<TChunk> Chunk) { FItems.push_back(std::move(Chunk)); }
  void Clear() { FItems.clear(); }
  // The first chunk of class C or a class derived from it, else nullptr
  // (asking for tEXt also finds zTXt).
  template <typename C>
  C* FindChunk() const {
    for (const auto& c : FItems)
      if (auto* p = dynamic_cast<C*>(c.get())) return p;
    return nullptr;
  }
  // Inserts before Index (appends beyond the end).
  void Insert(int32_t Index, std::unique_ptr<TChunk> Chunk);

 private:
  std::vector<std::unique_ptr<TChunk>> FItems;
};

// A new chunk of class C for Owner with C's type code.
template <typename C>
std::unique_ptr<C> MakeChunk(TPNGObject* Owner) {
  auto c = std::make_unique<C>(Owner);
  c->SetTypeCode(c->ChunkType());
  return c;
}

// ------------------------------------------------------------ chunk registry
using TChunkFactory = std::function<std::unique_ptr<TChunk>(TPNGObject* Owner)>;
// Registers a chunk class for its type (the ten standard classes are
// registered on first use).
void RegisterChunk(const std::string& Type, TChunkFactory Factory);
// A chunk of the class registered for Type (exact, case-sensitive), or a
// plain TChunk; its type code is Type.
std::unique_ptr<TChunk> NewChunkForType(TPNGObject* Owner, const std::string& Type);
