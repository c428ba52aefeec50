#pragma once
// Byte streams: the abstract stream, streams over a file descriptor, named
// files and memory blocks.
#include <cstdint>
#include <string>

#include "platform/rtl/object.h"

enum TSeekOrigin : int32_t {
  soBeginning = 0,
  soCurrent = 1,
  soEnd = 2,
  soFromBeginning = 0,
  soFromCurrent = 1,
  soFromEnd = 2
};

class TStream : public TObject {
 public:
  ~TStream() override;
  // Answer the number of bytes actually moved (0 at the end, never negative).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Answers the new position from the beginning (-1 when the stream cannot
  // seek there).
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  int64_t GetPosition();
  void SetPosition(int64_t Pos);
  virtual int64_t GetSize();
  // The base class cannot change its size: it does nothing.
  virtual void SetSize(int64_t NewSize);
  // Raise EReadError "Stream read error" / EWriteError "Stream write error"
  // when fewer than Count bytes move.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position; Count = 0 copies the whole
  // source from its start. Raises EReadError/EWriteError on short transfers.
  int64_t CopyFrom(TStream* Source, int64_t Count);
};

// A value as its bytes in memory order (the host's little-endian layout):
// written whole, or read whole (ReadBuffer raises at the end of the stream).
template <typename T>
void StreamWriteValue(TStream& S, const T& V) {
  S.WriteBuffer(&V, sizeof(T));
}
template <typename T>
T StreamReadValue(TStream& S) {
  T V{};
  S.ReadBuffer(&V, sizeof(T));
  return V;
}

using PStream = TStream*;

// A stream over a POSIX file descriptor it does not own.
class THandleStream : public TStream {
 public:
  explicit THandleStream(int AHandle);
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Truncates or extends the file and leaves the position at the new end;
  // raises EStreamError on failure.
  void SetSize(int64_t NewSize) override;
  int GetHandle() const { return FHandle; }

 protected:
  int FHandle = -1;
};

// Open modes of TFileStream. fmCreate creates (or truncates) the file and
// opens it for reading and writing. The share bits are accepted and ignored:
// files are not locked against other openers.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// A stream over a named file, which it opens and closes.
// Failures raise EFCreateError "Cannot create file \"%s\". %s" or
// EFOpenError "Cannot open file \"%s\". %s" with the system's error text.
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& AFileName, uint16_t Mode);
  // Rights are the permission bits used when fmCreate makes a new file.
  TFileStream(const std::string& AFileName, uint16_t Mode, uint32_t Rights);
  ~TFileStream() override;
  const std::string& GetFileName() const { return FFileName; }

 private:
  std::string FFileName;
};

// A stream over a block of memory. Reads and seeks work on any block; writes
// answer 0 here (TMemoryStream grows its own block). Seeking beyond the end is
// allowed (reading there answers 0); seeking before the start answers -1 and
// keeps the position.
class TCustomMemoryStream : public TStream {
 public:
  TCustomMemoryStream() = default;
  // Over a foreign block which the stream neither copies nor frees.
  TCustomMemoryStream(void* Ptr, int64_t Size);
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return FSize; }
  void SaveToStream(TStream* Stream);
  void SaveToFile(const std::string& FileName);
  void* GetMemory() const { return FMemory; }
  // Points the stream at a block it does not own; the position is kept.
  void SetPointer(void* Ptr, int64_t Size);

 protected:
  void* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

// A growing stream over its own block. Capacity is a multiple of 8 KB and
// grows by at least a quarter at a time; growing beyond what memory allows
// (or beyond the machine's physical memory) raises EStreamError
// "Out of memory while expanding memory stream", leaving the stream as it was.
// Bytes between the old end and a write beyond it read as zero.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
  void Clear();
  void LoadFromStream(TStream* Stream);  // the whole stream, from its start
  void LoadFromFile(const std::string& FileName);
  int64_t GetCapacity() const { return FCapacity; }
  void SetCapacity(int64_t NewCapacity);

 protected:
  // Answers the block for NewCapacity bytes (may move FMemory).
  virtual void* Realloc(int64_t& NewCapacity);

 private:
  int64_t FCapacity = 0;
  void* FOwned = nullptr;  // the block this stream allocated
};

// A memory stream holding text.
class TStringStream : public TStream {
 public:
  explicit TStringStream(std::string AString = std::string());
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(FDataString.size()); }
  void SetSize(int64_t NewSize) override;
  // Up to Count bytes from the position.
  std::string ReadString(int64_t Count);
  void WriteString(const std::string& S);
  const std::string& GetDataString() const { return FDataString; }

 private:
  std::string FDataString;
  int64_t FPosition = 0;
};
