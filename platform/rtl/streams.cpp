#include "platform/rtl/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/rtl/sysutils.h"

namespace {
// New position for Seek, or -1 when it would be negative, overflow or the
// origin is unknown.
int64_t SeekTarget(int64_t Offset, TSeekOrigin Origin, int64_t Current, int64_t Size) {
  int64_t Base;
  switch (Origin) {
    case soBeginning: Base = 0; break;
    case soCurrent: Base = Current; break;
    case soEnd: Base = Size; break;
    default: return -1;
  }
  int64_t Target;
  if (__builtin_add_overflow(Base, Offset, &Target) || Target < 0) return -1;
  return Target;
}

constexpr int64_t kMaxChunk = int64_t(1) << 30;  // per system call
constexpr int64_t kMemoryDelta = 8192;           // memory stream growth step
}  // namespace

// ---------------------------------------------------------------- TStream

TStream::~TStream() = default;

int64_t TStream::GetPosition() { return Seek(0, soCurrent); }

void TStream::SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }

int64_t TStream::GetSize() {
  const int64_t Pos = Seek(0, soCurrent);
  const int64_t Size = Seek(0, soEnd);
  Seek(Pos, soBeginning);
  return Size;
}

void TStream::SetSize(int64_t NewSize) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Source == nullptr || Count < 0) throw EReadError("Stream read error");
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->GetSize();
    if (Count < 0) throw EReadError("Stream read error");
  }
  constexpr int64_t kMaxBufSize = 0xF000;
  std::vector<uint8_t> Buffer(static_cast<size_t>(std::min(Count, kMaxBufSize)));
  int64_t Left = Count;
  while (Left != 0) {
    const int64_t N = std::min(Left, kMaxBufSize);
    Source->ReadBuffer(Buffer.data(), N);
    WriteBuffer(Buffer.data(), N);
    Left -= N;
  }
  return Count;
}

// ---------------------------------------------------------------- THandleStream

THandleStream::THandleStream(int AHandle) : FHandle(AHandle) {}

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FHandle < 0) return 0;
  auto* P = static_cast<uint8_t*>(Buffer);
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N = ::read(FHandle, P + Done, static_cast<size_t>(std::min(Count - Done, kMaxChunk)));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FHandle < 0) return 0;
  const auto* P = static_cast<const uint8_t*>(Buffer);
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N = ::write(FHandle, P + Done, static_cast<size_t>(std::min(Count - Done, kMaxChunk)));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int Whence;
  switch (Origin) {
    case soBeginning: Whence = SEEK_SET; break;
    case soCurrent: Whence = SEEK_CUR; break;
    case soEnd: Whence = SEEK_END; break;
    default: return -1;
  }
  return static_cast<int64_t>(::lseek(FHandle, static_cast<off_t>(Offset), Whence));
}

void THandleStream::SetSize(int64_t NewSize) {
  if (NewSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
    throw EStreamError(SysErrorMessage(NewSize < 0 ? EINVAL : errno));
  // The class library leaves the position at the new end.
  Seek(NewSize, soBeginning);
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string& AFileName, uint16_t Mode)
    : TFileStream(AFileName, Mode, 0666) {}

TFileStream::TFileStream(const std::string& AFileName, uint16_t Mode, uint32_t Rights)
    : THandleStream(-1), FFileName(AFileName) {
  std::string Path = AFileName;
  for (char& C : Path)
    if (C == '\\') C = '/';
  int Err = 0;
  if (Mode == fmCreate) {
    FHandle = ::open(Path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(Rights));
    if (FHandle < 0) Err = errno;
    if (FHandle < 0 || Path.empty())
      throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(AFileName).c_str(),
                                 SysErrorMessage(Err != 0 ? Err : ENOENT).c_str()));
    return;
  }
  const int Access = Mode & 3;
  const int Share = (Mode >> 4) & 0xF;
  if (Access == 3 || Share > 4) {
    Err = EINVAL;
  } else {
    const int Flags = (Access == 0 ? O_RDONLY : Access == 1 ? O_WRONLY : O_RDWR) | O_CLOEXEC;
    FHandle = ::open(Path.c_str(), Flags);
    if (FHandle < 0) {
      Err = errno;
    } else {
      // A folder opens on this system but is no file to stream.
      struct stat St;
      if (::fstat(FHandle, &St) != 0 || S_ISDIR(St.st_mode)) {
        Err = S_ISDIR(St.st_mode) ? EISDIR : errno;
        ::close(FHandle);
        FHandle = -1;
      }
    }
  }
  if (FHandle < 0)
    throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(AFileName).c_str(),
                             SysErrorMessage(Err != 0 ? Err : ENOENT).c_str()));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// ---------------------------------------------------------------- TCustomMemoryStream

TCustomMemoryStream::TCustomMemoryStream(void* Ptr, int64_t Size) { SetPointer(Ptr, Size); }

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  FMemory = Ptr;
  FSize = (Ptr != nullptr && Size > 0) ? Size : 0;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const int64_t N = std::min(Count, FSize - FPosition);
  std::memcpy(Buffer, static_cast<uint8_t*>(FMemory) + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TCustomMemoryStream::Write(const void* Buffer, int64_t Count) { return 0; }

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t Target = SeekTarget(Offset, Origin, FPosition, FSize);
  if (Target < 0) return -1;
  FPosition = Target;
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
  if (FSize != 0) Stream->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream F(FileName, fmCreate);
  SaveToStream(&F);
}

// ---------------------------------------------------------------- TMemoryStream

TMemoryStream::~TMemoryStream() {
  std::free(FOwned);
  FOwned = nullptr;
}

void* TMemoryStream::Realloc(int64_t& NewCapacity) {
  if (NewCapacity < 0) throw EStreamError("Out of memory while expanding memory stream");
  if (NewCapacity > 0 && NewCapacity != FSize)
    NewCapacity = (NewCapacity + (kMemoryDelta - 1)) & ~(kMemoryDelta - 1);
  if (NewCapacity == 0) {
    std::free(FOwned);
    FOwned = nullptr;
    return nullptr;
  }
  // A block larger than the machine's memory cannot be worked with; refuse it
  // before asking the allocator.
  static const uint64_t PhysicalMemory = [] {
    const int64_t Size = GetPhysicalMemorySize();
    return Size > 0 ? static_cast<uint64_t>(Size) : static_cast<uint64_t>(SIZE_MAX / 2);
  }();
  if (static_cast<uint64_t>(NewCapacity) > PhysicalMemory)
    throw EStreamError("Out of memory while expanding memory stream");
  void* P = std::realloc(FOwned, static_cast<size_t>(NewCapacity));
  if (P == nullptr) throw EStreamError("Out of memory while expanding memory stream");
  FOwned = P;
  return P;
}

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
  if (FMemory != FOwned) {
    // The stream was pointed at a foreign block: take a copy of its bytes
    // before owning memory again.
    void* Foreign = FMemory;
    const int64_t Keep = std::min(FSize, NewCapacity);
    FMemory = Realloc(NewCapacity);
    if (Keep > 0) std::memmove(FMemory, Foreign, static_cast<size_t>(Keep));
  } else {
    FMemory = Realloc(NewCapacity);
  }
  FCapacity = NewCapacity;
  if (FSize > FCapacity) FSize = FCapacity;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Out of memory while expanding memory stream");
  const int64_t OldPosition = FPosition;
  const int64_t OldSize = FSize;
  SetCapacity(NewSize);
  if (NewSize > OldSize) std::memset(static_cast<uint8_t*>(FMemory) + OldSize, 0, static_cast<size_t>(NewSize - OldSize));
  FSize = NewSize;
  if (OldPosition > NewSize) FPosition = NewSize;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (FPosition < 0 || Count <= 0) return 0;
  int64_t Pos;
  if (__builtin_add_overflow(FPosition, Count, &Pos)) return 0;
  if (Pos > FSize) {
    if (Pos > FCapacity || FMemory != FOwned) {
      // Grow by a quarter at least, so that many small writes stay linear.
      int64_t NewCapacity = std::max(Pos, FCapacity + FCapacity / 4);
      SetCapacity(NewCapacity);
    }
    // Bytes between the old end and a position set beyond it read as zero.
    if (FPosition > FSize)
      std::memset(static_cast<uint8_t*>(FMemory) + FSize, 0, static_cast<size_t>(FPosition - FSize));
    FSize = Pos;
  }
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = Pos;
  return Count;
}

void TMemoryStream::Clear() {
  if (FMemory != FOwned) FMemory = nullptr;
  SetCapacity(0);
  FSize = 0;
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  const int64_t Count = Stream->GetSize();
  if (Count < 0) throw EReadError("Stream read error");
  SetSize(Count);
  if (Count != 0) Stream->ReadBuffer(FMemory, Count);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&F);
}

// ---------------------------------------------------------------- TStringStream

TStringStream::TStringStream(std::string AString) : FDataString(std::move(AString)) {}

int64_t TStringStream::Read(void* Buffer, int64_t Count) {
  const int64_t Size = GetSize();
  if (Count <= 0 || FPosition >= Size) return 0;
  const int64_t N = std::min(Count, Size - FPosition);
  std::memcpy(Buffer, FDataString.data() + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TStringStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  int64_t End;
  if (__builtin_add_overflow(FPosition, Count, &End)) return 0;
  if (End > GetSize()) FDataString.resize(static_cast<size_t>(End), '\0');
  std::memcpy(FDataString.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
  return Count;
}

int64_t TStringStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t Target = SeekTarget(Offset, Origin, FPosition, GetSize());
  if (Target < 0) return -1;
  FPosition = Target;
  return FPosition;
}

void TStringStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Stream write error");
  FDataString.resize(static_cast<size_t>(NewSize), '\0');
  if (FPosition > NewSize) FPosition = NewSize;
}

std::string TStringStream::ReadString(int64_t Count) {
  const int64_t Size = GetSize();
  if (Count <= 0 || FPosition >= Size) return std::string();
  const int64_t N = std::min(Count, Size - FPosition);
  std::string R = FDataString.substr(static_cast<size_t>(FPosition), static_cast<size_t>(N));
  FPosition += N;
  return R;
}

void TStringStream::WriteString(const std::string& S) { Write(S.data(), static_cast<int64_t>(S.size())); }
