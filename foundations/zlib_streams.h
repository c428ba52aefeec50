#pragma once
// Deflate and inflate through streams, over the system zlib, and a one-call
// inflater for a whole memory block.
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/rtl/object.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

class EZLibError : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EZLibError"; }
};
class EZCompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
  std::string ClassName() const override { return "EZCompressionError"; }
};
class EZDecompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
  std::string ClassName() const override { return "EZDecompressionError"; }
};

// Compression level index: zlib levels 0 (store), 1 (fastest), the zlib
// default (-1) and 9 (best).
enum TZCompressionLevel : uint8_t { zcNone = 0, zcFastest = 1, zcDefault = 2, zcMax = 3 };

// The message of a zlib result code ("data error", "need dictionary", ...).
std::string ZErrorMessage(int Code);
// Answer Code when it is >= 0, else raise EZCompressionError with its message.
int ZCheckCompress(int Code);
// Answer Code when it is 0 or 1 (stream end), else raise EZDecompressionError
// with its message. A stream that asks for a preset dictionary ("need
// dictionary") cannot be decoded here and is an error too.
int ZCheckDecompress(int Code);

class TCustomZStream : public TStream {
 public:
  explicit TCustomZStream(TStream* Stream);
  ~TCustomZStream() override;
  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;

  // Fired once per 64 KB work buffer moved to or from the wrapped stream.
  TNotifyEvent OnProgress;

 protected:
  static constexpr int64_t BufferSize = 65536;
  virtual void DoProgress();
  // Moves the wrapped stream back to where this object left it, in case
  // another user moved it.
  void SyncStreamPosition();

  TStream* FStrm;     // wrapped, not owned
  int64_t FStrmPos;   // its position as last seen here
  z_stream FZRec;
  std::unique_ptr<uint8_t[]> FBuffer;
};

// Deflates everything written into it to Dest (not owned), starting at Dest's
// position at creation.
class TZCompressionStream : public TCustomZStream {
 public:
  TZCompressionStream(TStream* Dest, int32_t Level = zcDefault);
  // Finishes the stream when Finish was not called; errors are swallowed
  // there, so callers that need to know call Finish.
  ~TZCompressionStream() override;

  int64_t Write(const void* Buffer, int64_t Count) override;
  // Raises EZCompressionError "Invalid ZStream operation!".
  int64_t Read(void* Buffer, int64_t Count) override;
  // Answers the number of bytes written so far; nothing moves.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  // Writes the rest of the compressed data and the stream's trailer to Dest.
  // Further writes raise. Calling it again does nothing.
  void Finish();

 private:
  bool FFinished = false;
};

// Inflates from Source (not owned), starting at Source's position at
// creation. After the end of the compressed data, Source stands just after
// it.
class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream* Source);
  ~TZDecompressionStream() override;

  // Answers fewer bytes than asked when the data (or Source) ends.
  int64_t Read(void* Buffer, int64_t Count) override;
  // Raises EZDecompressionError "Invalid ZStream operation!".
  int64_t Write(const void* Buffer, int64_t Count) override;
  // (0, beginning) restarts at Source's position at creation; forward moves
  // (current, or beginning beyond the bytes delivered) read and discard;
  // (0, end) reads to the end. Anything else raises "Invalid ZStream
  // operation!". Answers the bytes delivered so far.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

 private:
  int64_t FStartPos;
  bool FEnded = false;
};

// Inflates a whole zlib stream of InSize bytes. OutBuf receives a block from
// malloc (release it with free) holding exactly OutSize decompressed bytes.
// OutEstimate, when above 0, is the first guess at the output size. Corrupt
// data raises EZDecompressionError "data error", truncated data "buffer
// error"; nothing is allocated then.
void ZInflateBuffer(const void* InBuf, int64_t InSize, void*& OutBuf, int64_t& OutSize,
                    int64_t OutEstimate);
