#include "foundations/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "foundations/settings.h"
#include "platform/rtl/sysutils.h"

// ---------------------------------------------------------------------------
// TIETemporaryFileStream

namespace {

// Creates the file exclusively and privately, then removes its name at once:
// from here on only the descriptor keeps it alive.
int CreateUnlinkedFile(const std::string& FileName) {
  int fd = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (::unlink(FileName.c_str()) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

}  // namespace

TIETemporaryFileStream::TIETemporaryFileStream(const std::string& FileName)
    : THandleStream(CreateUnlinkedFile(FileName)), FFileName(FileName) {
  if (FHandle < 0) throw EInOutError("Unable to create " + FileName, errno);
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

// ---------------------------------------------------------------------------
// TIEFileBuffer

TIEFileBuffer::TIEFileBuffer() = default;

TIEFileBuffer::~TIEFileBuffer() {
  // Writing back pending blocks may fail; a destructor cannot report it, and
  // the data dies with the buffer anyway.
  try {
    Close();
  } catch (...) {
  }
  for (auto& m : FMapped) std::free(m.Block);
  FMapped.clear();
}

bool TIEFileBuffer::AllocateFile(const std::string& Prefix, bool UseFile, int64_t Size) {
  Close();
  if (Size < 0) return false;
  try {
    FFileName = IEMakeTempFileName(Prefix, IEGetTempFolder());
    std::unique_ptr<TStream> stream;
    if (UseFile)
      stream = std::make_unique<TIETemporaryFileStream>(FFileName);
    else
      stream = std::make_unique<TMemoryStream>();
    stream->SetSize(Size);
    if (stream->GetSize() != Size) return false;
    FStream = std::move(stream);
    FStreamSize = Size;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TIEFileBuffer::Close() {
  if (!FStream) return;
  UnMapAll();
  // The file has no name any more (it was removed when it was opened), so
  // freeing the stream deletes it; nothing is deleted by name, which could
  // only hit someone else's file that took the name later.
  FStream.reset();
  FStreamSize = 0;
}

void TIEFileBuffer::SetSize(int64_t Size) {
  if (!FStream) return;
  FStream->SetSize(Size);
  FStreamSize = FStream->GetSize();
}

void* TIEFileBuffer::Map(uint8_t Mode, int64_t Position, int64_t Size) {
  if (Size < 0 || Position < 0) throw EStreamError("Invalid file buffer mapping");
  if (Size == 0) return nullptr;
  if (static_cast<uint64_t>(Size) > SIZE_MAX) throw EOutOfMemory("Out of memory");
  void* block = std::malloc(static_cast<size_t>(Size));
  if (!block) throw EOutOfMemory("Out of memory");
  try {
    if (FStream && (Mode & IEFB_READ)) {
      int64_t avail = std::clamp<int64_t>(FStreamSize - Position, 0, Size);
      if (avail > 0) {
        FStream->Seek(Position, soBeginning);
        FStream->ReadBuffer(block, avail);
      }
      if (avail < Size) std::memset(static_cast<uint8_t*>(block) + avail, 0, static_cast<size_t>(Size - avail));
    }
    FMapped.push_back(TIEFileBufferMapping{Position, Size, block, Mode});
  } catch (...) {
    std::free(block);
    throw;
  }
  return block;
}

int32_t TIEFileBuffer::IndexOfMapped(void* Block) const {
  for (size_t i = 0; i < FMapped.size(); ++i)
    if (FMapped[i].Block == Block) return static_cast<int32_t>(i);
  return -1;
}

void TIEFileBuffer::UnMap(void* Block) {
  int32_t idx = IndexOfMapped(Block);
  if (idx < 0) throw EListError("List index out of bounds (-1)");
  TIEFileBufferMapping m = FMapped[static_cast<size_t>(idx)];
  // The record goes whatever happens to the write-back, so a failed write
  // does not leave a dangling block behind.
  FMapped.erase(FMapped.begin() + idx);
  struct Freer {
    void* p;
    ~Freer() { std::free(p); }
  } freer{m.Block};
  if (FStream && (m.Mode & IEFB_WRITE)) {
    FStream->Seek(m.Position, soBeginning);
    FStream->WriteBuffer(m.Block, m.Size);
    FStreamSize = std::max(FStreamSize, m.Position + m.Size);
  }
}

void TIEFileBuffer::UnMapAll() {
  if (!FStream) return;
  while (!FMapped.empty()) UnMap(FMapped.back().Block);
}

void TIEFileBuffer::CopyTo(TIEFileBuffer* Dest, int64_t Size, int64_t Position) {
  if (!Dest || !FStream || !Dest->FStream) return;
  UnMapAll();
  Dest->UnMapAll();
  FStream->Seek(Position, soBeginning);
  Dest->FStream->Seek(Position, soBeginning);
  if (Size <= 0) return;
  constexpr int64_t Chunk = 1048576;
  std::unique_ptr<uint8_t[]> buf(new uint8_t[Chunk]);
  int64_t left = Size;
  while (left > 0) {
    int64_t n = std::min(left, Chunk);
    FStream->ReadBuffer(buf.get(), n);
    Dest->FStream->WriteBuffer(buf.get(), n);
    left -= n;
  }
  Dest->FStreamSize = std::max(Dest->FStreamSize, Position + Size);
}

// ---------------------------------------------------------------------------
// Names

std::string IEGetTempFolder() {
  if (!IETempFolder.empty()) return IncludeTrailingPathDelimiter(IETempFolder);
  return GetTempFolder();
}

namespace {

uint32_t NextTempNumber() {
  static std::mutex lock;
  static std::mt19937 gen{std::random_device{}()};
  static std::uniform_int_distribution<uint32_t> dist(0, 2147483646u);
  std::lock_guard<std::mutex> guard(lock);
  return dist(gen);
}

// Any directory entry counts, dangling symbolic links included.
bool EntryExists(const std::string& Name) {
  struct stat st;
  return ::lstat(Name.c_str(), &st) == 0;
}

}  // namespace

std::string IEMakeTempFileName(const std::string& Prefix, const std::string& Folder) {
  std::string name;
  do {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", NextTempNumber());
    name = Folder + Prefix + "-" + hex + ".tmp";
  } while (EntryExists(name));
  return name;
}

std::string IEGetTempFileName() { return IEMakeTempFileName("ietemp", IEGetTempFolder()); }
