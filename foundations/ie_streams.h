#pragma once
// The library's stream classes and stream helpers: a file stream opened by a
// (Unicode) name, a read-only buffering stream the readers put in front of
// their source, a stream over a foreign memory block, a stream that only
// counts, a chunked stream copy and length-prefixed strings.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/rtl/streams.h"

// A file stream opened by a UTF-8 name. Mode 0xFFFF (fmCreate) creates or
// truncates the file for reading and writing; any other mode opens an existing
// file: the low two bits choose the access (0 read, 1 write, 2 both; 3 is
// invalid), bits 4..7 the sharing (0..4; above 4 invalid; accepted and not
// enforced). Failure raises EFCreateError "Cannot create file \"%s\". %s" or
// EFOpenError "Cannot open file \"%s\". %s" (full path, system's error text);
// nothing stays open. A folder cannot be opened.
class TIEWideFileStream : public THandleStream {
 public:
  TIEWideFileStream(const std::string& FileName, uint16_t Mode);
  ~TIEWideFileStream() override;
  TIEWideFileStream(const TIEWideFileStream&) = delete;
  TIEWideFileStream& operator=(const TIEWideFileStream&) = delete;
  const std::string& GetFileName() const { return FFileName; }

 private:
  std::string FFileName;
};

// A read-only buffer in front of Source (not owned). Positions are those of
// Source, or relative to Source's position at creation when Relative is set.
// Reads past the end answer fewer bytes and set EndReached; writing raises
// Exception "TIEBufferedReadStream cannot write!".
class TIEBufferedReadStream : public TStream {
 public:
  TIEBufferedReadStream(TStream* Source, int32_t BufferSize, bool Relative);
  // The same with the two settings the other way round (some readers name
  // them in this order; without it the call would convert silently).
  TIEBufferedReadStream(TStream* Source, bool Relative, int32_t BufferSize)
      : TIEBufferedReadStream(Source, BufferSize, Relative) {}
  ~TIEBufferedReadStream() override;
  TIEBufferedReadStream(const TIEBufferedReadStream&) = delete;
  TIEBufferedReadStream& operator=(const TIEBufferedReadStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // From the end, the (usually negative) offset is added to the size.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return FSourceSize - FOrigin; }

  // Set when the last read or seek hit the end of the source.
  bool GetEndReached() const { return FEndReached; }
  TStream* GetSource() const { return FSource; }
  // The Source position that counts as position 0.
  int64_t GetOrigin() const { return FOrigin; }

 private:
  void Refill();

  TStream* FSource;
  int32_t FBufferSize;
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FPosition;     // absolute position in Source of the next byte
  int32_t FBufferIndex;  // bytes of the buffer already delivered
  int32_t FValid = 0;    // bytes the last refill actually got
  int64_t FSourceSize;   // Source's size at creation
  int64_t FOrigin;       // the Source position that counts as 0
  bool FEndReached = false;
};

// A write buffer in front of Dest (not owned): writes collect in a block of
// BufferSize bytes that goes to Dest in one write when it is full, before any
// seek or read, on Flush and at destruction, so that writers emitting many
// small pieces make few large writes.  A short write to Dest sets the failed
// flag (the caller checks it after Flush: a buffered write cannot report it).
class TIEBufferedWriteStream : public TStream {
 public:
  explicit TIEBufferedWriteStream(TStream* Dest, int32_t BufferSize = 1 << 18);
  ~TIEBufferedWriteStream() override;
  TIEBufferedWriteStream(const TIEBufferedWriteStream&) = delete;
  TIEBufferedWriteStream& operator=(const TIEBufferedWriteStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override;
  void SetSize(int64_t NewSize) override;

  // Writes the buffered bytes to Dest; false when Dest took fewer.
  bool Flush();
  // Set once any write to Dest came up short.
  bool GetFailed() const { return FFailed; }
  TStream* GetDest() const { return FDest; }

 private:
  TStream* FDest;
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FCapacity;
  int64_t FLength = 0;  // bytes buffered
  int64_t FStart;       // Dest position of the first buffered byte
  bool FFailed = false;
};

// A stream over a caller's block, which it neither copies nor frees. Reads and
// seeks are the memory stream's; writing writes nothing and answers 0;
// SetSize does nothing.
class TIEMemStream : public TCustomMemoryStream {
 public:
  TIEMemStream(void* Block, int64_t Size);
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
};

// A stream that stores nothing: reads and writes move the position and raise
// the size to the highest position reached, so after an encoder has written
// into it its size is the number of bytes produced.
class TNulStream : public TStream {
 public:
  TNulStream() = default;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // From the end, the (usually negative) offset is added to the size, which
  // stays as it is.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return FSize; }

 private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// Copies Count bytes from Source's position to Dest in chunks (at most
// 196607 bytes). Count 0 copies the whole of Source from its start. Count is
// limited to what Source still holds, except for compression streams, whose
// size is unknown. Short transfers raise EReadError/EWriteError. Answers Count.
int64_t IECopyFromStream(TStream* Dest, TStream* Source, int64_t Count);

// The length as a 4-byte little-endian integer, then the bytes.
void IEStreamWriteAnsiString(TStream* Stream, const std::string& S);
// Reads a string written by IEStreamWriteAnsiString. A negative length, or one
// beyond what the stream holds, raises EReadError without allocating for it.
void IEStreamReadAnsiString(TStream* Stream, std::string& S);
// S followed by CR LF.
void IEWriteLineCRLF(TStream* Stream, const std::string& S);
