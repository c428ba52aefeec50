#pragma once
// Temporary-file backing store of the image buffers and the image store, and
// the naming of every temporary file of the library.
//
// A TIEFileBuffer owns one stream, a private temporary file or a memory
// stream, and hands out private copies ("mappings") of stretches of it: a
// mapping reads its stretch when it is made (read bit) and writes it back when
// it is released (write bit). Nothing is memory-mapped by the system.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/object.h"
#include "platform/rtl/streams.h"

// Access bits of a mapping (the same values as the image buffer's access mode).
constexpr uint8_t IEFB_READ = 1;
constexpr uint8_t IEFB_WRITE = 2;

// A temporary file opened for reading and writing and removed from its folder
// at once, so it vanishes with its handle even when the process is killed.
// The file is created exclusively (an existing file or a planted symbolic link
// under the name is refused), readable and writable by its owner only.
// Failure raises EInOutError "Unable to create " + FileName.
class TIETemporaryFileStream : public THandleStream {
 public:
  explicit TIETemporaryFileStream(const std::string& FileName);
  ~TIETemporaryFileStream() override;
  TIETemporaryFileStream(const TIETemporaryFileStream&) = delete;
  TIETemporaryFileStream& operator=(const TIETemporaryFileStream&) = delete;
  // The name the file was created under (no longer present in its folder).
  const std::string& GetFileName() const { return FFileName; }

 private:
  std::string FFileName;
};

// One handed-out block.
struct TIEFileBufferMapping {
  int64_t Position = 0;  // offset in the stream
  int64_t Size = 0;      // bytes in Block
  void* Block = nullptr; // the private copy (heap)
  uint8_t Mode = 0;      // IEFB_READ / IEFB_WRITE bits
};

class TIEFileBuffer : public TObject {
 public:
  TIEFileBuffer();
  ~TIEFileBuffer() override;
  TIEFileBuffer(const TIEFileBuffer&) = delete;
  TIEFileBuffer& operator=(const TIEFileBuffer&) = delete;

  // Closes an existing buffer, then creates a temporary file (UseFile) or a
  // memory stream of Size bytes, named by IEMakeTempFileName(Prefix, the
  // library's temporary folder). Answers False, with no stream left, when
  // anything fails.
  bool AllocateFile(const std::string& Prefix, bool UseFile, int64_t Size);
  // Releases every mapping (writing back what may be written), frees the
  // stream; the temporary file goes with it.
  void Close();
  bool IsAllocated() const { return FStream != nullptr; }
  // Sets the stream size (stream errors propagate).
  void SetSize(int64_t Size);
  // A private heap copy of Size bytes at Position. With the read bit the copy
  // is filled from the stream (bytes beyond the stream's end read as zero);
  // without it the contents are undefined. Size 0 answers nullptr and records
  // nothing. Raises EOutOfMemory when the block cannot be had, and the
  // stream's errors.
  void* Map(uint8_t Mode, int64_t Position, int64_t Size);
  // Writes the block back when its mapping has the write bit (and a stream
  // exists), then frees it. A pointer that is not mapped raises EListError.
  void UnMap(void* Block);
  // Releases every mapping, newest first (only when a stream exists).
  void UnMapAll();
  // Index of the mapping of Block, -1 when absent.
  int32_t IndexOfMapped(void* Block) const;
  int32_t MappedCount() const { return static_cast<int32_t>(FMapped.size()); }
  // Copies Size bytes from Position of this stream to Position of Dest's
  // stream in chunks of at most 1 MB, after releasing every mapping of both.
  // Does nothing unless both buffers are allocated.
  void CopyTo(TIEFileBuffer* Dest, int64_t Size, int64_t Position);

  // The name built at allocation (also for a memory stream); empty before.
  const std::string& GetFileName() const { return FFileName; }
  // The owned stream, nullptr while not allocated. Its size is only changed
  // through this buffer (which keeps it, to spare a query per mapping).
  TStream* GetStream() const { return FStream.get(); }

 private:
  std::unique_ptr<TStream> FStream;
  int64_t FStreamSize = 0;
  std::string FFileName;
  std::vector<TIEFileBufferMapping> FMapped;
};

// The library's temporary folder: IETempFolder when set, else the system's
// (always with a trailing separator).
std::string IEGetTempFolder();

// Folder + Prefix + "-" + 8 upper-case hexadecimal digits + ".tmp", drawn
// again while an entry of that name exists. Folder is used unchanged and must
// end with a separator.
std::string IEMakeTempFileName(const std::string& Prefix, const std::string& Folder);

// IEMakeTempFileName("ietemp", the library's temporary folder).
std::string IEGetTempFileName();
