#include "foundations/ie_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "foundations/zlib_streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// Positions are computed from caller-supplied offsets: saturate instead of
// overflowing.
int64_t SatAdd(int64_t A, int64_t B) {
  int64_t r;
  if (__builtin_add_overflow(A, B, &r)) return B > 0 ? std::numeric_limits<int64_t>::max()
                                                     : std::numeric_limits<int64_t>::min();
  return r;
}

[[noreturn]] void RaiseFileError(bool Create, const std::string& FileName, int Err) {
  std::string msg = Format(Create ? "Cannot create file \"%s\". %s" : "Cannot open file \"%s\". %s",
                           ExpandFileName(FileName).c_str(), SysErrorMessage(Err).c_str());
  if (Create) throw EFCreateError(msg);
  throw EFOpenError(msg);
}

int OpenWideFile(const std::string& FileName, uint16_t Mode) {
  if (Mode == 0xFFFF) {
    int fd = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) RaiseFileError(true, FileName, errno);
    return fd;
  }
  unsigned access = Mode & 3u;
  unsigned share = (Mode >> 4) & 0xFu;
  if (access == 3 || share > 4) RaiseFileError(false, FileName, EINVAL);
  int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
  int fd = ::open(FileName.c_str(), flags | O_CLOEXEC);
  if (fd < 0) RaiseFileError(false, FileName, errno);
  struct stat st;
  const bool statFailed = ::fstat(fd, &st) != 0;
  if (statFailed || S_ISDIR(st.st_mode)) {
    // st holds nothing when fstat failed.
    const int err = statFailed ? errno : EISDIR;
    ::close(fd);
    RaiseFileError(false, FileName, err);
  }
  return fd;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIEWideFileStream

TIEWideFileStream::TIEWideFileStream(const std::string& FileName, uint16_t Mode)
    : THandleStream(OpenWideFile(FileName, Mode)), FFileName(FileName) {}

TIEWideFileStream::~TIEWideFileStream() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

// ---------------------------------------------------------------------------
// TIEBufferedReadStream

TIEBufferedReadStream::TIEBufferedReadStream(TStream* Source, int32_t BufferSize, bool Relative)
    : FSource(Source), FBufferSize(std::max<int32_t>(BufferSize, 1)) {
  FBuffer.reset(new uint8_t[static_cast<size_t>(FBufferSize)]);
  FPosition = std::max<int64_t>(FSource->GetPosition(), 0);
  FOrigin = Relative ? FPosition : 0;
  FSourceSize = std::max<int64_t>(FSource->GetSize(), 0);
  FBufferIndex = 0;
  Refill();
}

TIEBufferedReadStream::~TIEBufferedReadStream() = default;

void TIEBufferedReadStream::Refill() {
  FBufferIndex = 0;
  FValid = 0;
  FSource->Seek(FPosition, soBeginning);
  int64_t got = FSource->Read(FBuffer.get(), FBufferSize);
  FValid = static_cast<int32_t>(std::clamp<int64_t>(got, 0, FBufferSize));
}

int64_t TIEBufferedReadStream::Read(void* Buffer, int64_t Count) {
  FEndReached = false;
  int64_t left = FSourceSize - FPosition;
  if (Count > left) {
    FEndReached = true;
    Count = left;
  }
  if (Count < 1) return 0;
  uint8_t* out = static_cast<uint8_t*>(Buffer);
  int64_t total = 0;
  for (;;) {
    int64_t avail = std::max<int64_t>(FValid - FBufferIndex, 0);
    int64_t n = std::min(Count, avail);
    if (n > 0) {
      std::memcpy(out + total, FBuffer.get() + FBufferIndex, static_cast<size_t>(n));
      FBufferIndex += static_cast<int32_t>(n);
      FPosition += n;
      total += n;
      Count -= n;
    }
    if (Count == 0) return total;
    if (Count >= FBufferSize) {
      // A block at least as large as the buffer goes straight to the
      // caller: one read instead of a copy through the buffer per refill.
      FBufferIndex = 0;
      FValid = 0;
      FSource->Seek(FPosition, soBeginning);
      const int64_t got = std::max<int64_t>(FSource->Read(out + total, Count), 0);
      FPosition += got;
      total += got;
      if (got < Count) FEndReached = true;
      return total;
    }
    Refill();
    if (FValid == 0) {
      // The source holds less than it claimed.
      FEndReached = true;
      return total;
    }
  }
}

int64_t TIEBufferedReadStream::Write(const void* Buffer, int64_t Count) {
  throw Exception("TIEBufferedReadStream cannot write!");
}

int64_t TIEBufferedReadStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  FEndReached = false;
  int64_t np;
  switch (Origin) {
    case soBeginning: np = SatAdd(FOrigin, Offset); break;
    case soCurrent: np = SatAdd(FPosition, Offset); break;
    case soEnd: np = SatAdd(FSourceSize, Offset); break;
    default: np = FPosition; break;
  }
  if (np < 0) np = 0;
  if (np >= FSourceSize) {
    np = FSourceSize;
    FEndReached = true;
  }
  int64_t start = FPosition - FBufferIndex;
  int64_t rel = np - start;
  if (rel >= 0 && rel < FValid) {
    FBufferIndex = static_cast<int32_t>(rel);
    FPosition = np;
  } else {
    FPosition = np;
    Refill();
  }
  return FPosition - FOrigin;
}

// ---------------------------------------------------------------------------
// TIEMemStream

TIEMemStream::TIEMemStream(void* Block, int64_t Size) : TCustomMemoryStream(Block, Size) {}

int64_t TIEMemStream::Write(const void* Buffer, int64_t Count) { return 0; }

void TIEMemStream::SetSize(int64_t NewSize) {}

// ---------------------------------------------------------------------------
// TNulStream

int64_t TNulStream::Read(void* Buffer, int64_t Count) {
  if (Count < 0) Count = 0;
  FPosition = SatAdd(FPosition, Count);
  FSize = std::max(FSize, FPosition);
  return Count;
}

int64_t TNulStream::Write(const void* Buffer, int64_t Count) { return Read(nullptr, Count); }

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning:
      FPosition = Offset;
      FSize = std::max(FSize, FPosition);
      break;
    case soCurrent:
      FPosition = SatAdd(FPosition, Offset);
      FSize = std::max(FSize, FPosition);
      break;
    case soEnd: FPosition = SatAdd(FSize, Offset); break;
    default: break;
  }
  return FPosition;
}

// ---------------------------------------------------------------------------
// Helpers

int64_t IECopyFromStream(TStream* Dest, TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->Seek(0, soBeginning);
    Count = Source->GetSize();
  }
  if (!dynamic_cast<TCustomZStream*>(Source))
    Count = std::clamp<int64_t>(Count, 0, std::max<int64_t>(Source->GetSize() - Source->GetPosition(), 0));
  if (Count <= 0) return 0;
  const int64_t bufSize = std::min<int64_t>(Count, 0x2FFFF);
  std::vector<uint8_t> buf(static_cast<size_t>(bufSize));
  int64_t left = Count;
  while (left > 0) {
    int64_t n = std::min(left, bufSize);
    Source->ReadBuffer(buf.data(), n);
    Dest->WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

void IEStreamWriteAnsiString(TStream* Stream, const std::string& S) {
  if (S.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EWriteError("Stream write error");
  uint32_t len = static_cast<uint32_t>(S.size());
  uint8_t hdr[4] = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                    static_cast<uint8_t>(len >> 16), static_cast<uint8_t>(len >> 24)};
  Stream->WriteBuffer(hdr, 4);
  if (len) Stream->WriteBuffer(S.data(), len);
}

void IEStreamReadAnsiString(TStream* Stream, std::string& S) {
  uint8_t hdr[4];
  Stream->ReadBuffer(hdr, 4);
  int32_t len = static_cast<int32_t>(static_cast<uint32_t>(hdr[0]) | (static_cast<uint32_t>(hdr[1]) << 8) |
                                     (static_cast<uint32_t>(hdr[2]) << 16) |
                                     (static_cast<uint32_t>(hdr[3]) << 24));
  if (len < 0) throw EReadError("Stream read error");
  // A compression stream cannot tell what it holds; there the string grows
  // chunk by chunk as bytes arrive, so a bogus length fails when the data runs
  // out instead of allocating for it.
  if (!dynamic_cast<TCustomZStream*>(Stream) && len > Stream->GetSize() - Stream->GetPosition())
    throw EReadError("Stream read error");
  std::string out;
  constexpr int32_t Chunk = 65536;
  int32_t done = 0;
  while (done < len) {
    int32_t n = std::min(Chunk, len - done);
    out.resize(static_cast<size_t>(done + n));
    Stream->ReadBuffer(out.data() + done, n);
    done += n;
  }
  S = std::move(out);
}

void IEWriteLineCRLF(TStream* Stream, const std::string& S) {
  std::string line = S + "\r\n";
  Stream->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
}

// ---------------------------------------------------------------------------
// TIEBufferedWriteStream

TIEBufferedWriteStream::TIEBufferedWriteStream(TStream* Dest, int32_t BufferSize)
    : FDest(Dest),
      FBuffer(new uint8_t[size_t(std::max(BufferSize, 1))]),
      FCapacity(std::max(BufferSize, 1)),
      FStart(Dest ? Dest->GetPosition() : 0) {}

TIEBufferedWriteStream::~TIEBufferedWriteStream() { Flush(); }

bool TIEBufferedWriteStream::Flush() {
  if (FLength > 0) {
    if (!FDest || FDest->Write(FBuffer.get(), FLength) != FLength) FFailed = true;
    FStart += FLength;
    FLength = 0;
  }
  return !FFailed;
}

int64_t TIEBufferedWriteStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (FLength + Count > FCapacity) {
    Flush();
    if (Count >= FCapacity) {
      // A large block goes straight through.
      const int64_t put = FDest ? FDest->Write(Buffer, Count) : 0;
      if (put != Count) FFailed = true;
      FStart += std::max<int64_t>(put, 0);
      return put;
    }
  }
  std::memcpy(FBuffer.get() + FLength, Buffer, size_t(Count));
  FLength += Count;
  return Count;
}

int64_t TIEBufferedWriteStream::Read(void* Buffer, int64_t Count) {
  Flush();
  if (!FDest) return 0;
  const int64_t got = FDest->Read(Buffer, Count);
  FStart = FDest->GetPosition();
  return got;
}

int64_t TIEBufferedWriteStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  // Asking for the position does not flush.
  if (Origin == soCurrent && Offset == 0) return FStart + FLength;
  if (Origin == soBeginning && Offset == FStart + FLength) return Offset;
  Flush();
  if (!FDest) return -1;
  const int64_t at = FDest->Seek(Offset, Origin);
  if (at >= 0) FStart = at;
  return at;
}

int64_t TIEBufferedWriteStream::GetSize() {
  Flush();
  return FDest ? FDest->GetSize() : 0;
}

void TIEBufferedWriteStream::SetSize(int64_t NewSize) {
  Flush();
  if (FDest) {
    FDest->SetSize(NewSize);
    FStart = FDest->GetPosition();
  }
}
