#include "foundations/zlib_streams.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char* const InvalidOperation = "Invalid ZStream operation!";

// The largest slice handed to zlib at once (its counters are 32-bit).
constexpr int64_t MaxSlice = int64_t(1) << 30;

int MapLevel(int32_t Level) {
  switch (Level) {
    case zcNone: return Z_NO_COMPRESSION;
    case zcFastest: return Z_BEST_SPEED;
    case zcDefault: return Z_DEFAULT_COMPRESSION;
    case zcMax: return Z_BEST_COMPRESSION;
    default: return INT_MIN;
  }
}

}  // namespace

std::string ZErrorMessage(int Code) {
  switch (Code) {
    case 2: return "need dictionary";
    case 1: return "stream end";
    case 0: return "";
    case -1: return "file error";
    case -2: return "stream error";
    case -3: return "data error";
    case -4: return "insufficient memory";
    case -5: return "buffer error";
    case -6: return "incompatible version";
    default: return "";
  }
}

int ZCheckCompress(int Code) {
  if (Code < 0) throw EZCompressionError(ZErrorMessage(Code));
  return Code;
}

int ZCheckDecompress(int Code) {
  if (Code < 0 || Code == Z_NEED_DICT) throw EZDecompressionError(ZErrorMessage(Code));
  return Code;
}

// ---------------------------------------------------------------------------
// TCustomZStream

TCustomZStream::TCustomZStream(TStream* Stream)
    : FStrm(Stream), FStrmPos(Stream->GetPosition()), FBuffer(new uint8_t[BufferSize]) {
  std::memset(&FZRec, 0, sizeof FZRec);
}

TCustomZStream::~TCustomZStream() = default;

void TCustomZStream::DoProgress() {
  if (OnProgress) OnProgress(this);
}

void TCustomZStream::SyncStreamPosition() {
  if (FStrm->GetPosition() != FStrmPos) FStrm->Seek(FStrmPos, soBeginning);
}

// ---------------------------------------------------------------------------
// TZCompressionStream

TZCompressionStream::TZCompressionStream(TStream* Dest, int32_t Level) : TCustomZStream(Dest) {
  FZRec.next_out = FBuffer.get();
  FZRec.avail_out = BufferSize;
  int zl = MapLevel(Level);
  if (zl == INT_MIN) throw EZCompressionError(ZErrorMessage(Z_STREAM_ERROR));
  ZCheckCompress(deflateInit(&FZRec, zl));
}

TZCompressionStream::~TZCompressionStream() {
  try {
    Finish();
  } catch (...) {
  }
  deflateEnd(&FZRec);
}

int64_t TZCompressionStream::Write(const void* Buffer, int64_t Count) {
  if (FFinished) throw EZCompressionError(InvalidOperation);
  if (Count <= 0) return 0;
  SyncStreamPosition();
  const uint8_t* in = static_cast<const uint8_t*>(Buffer);
  int64_t left = Count;
  while (left > 0 || FZRec.avail_in > 0) {
    if (FZRec.avail_in == 0) {
      int64_t n = std::min(left, MaxSlice);
      FZRec.next_in = const_cast<Bytef*>(in);
      FZRec.avail_in = static_cast<uInt>(n);
      in += n;
      left -= n;
    }
    ZCheckCompress(deflate(&FZRec, Z_NO_FLUSH));
    if (FZRec.avail_out == 0) {
      FStrm->WriteBuffer(FBuffer.get(), BufferSize);
      FZRec.next_out = FBuffer.get();
      FZRec.avail_out = BufferSize;
      FStrmPos = FStrm->GetPosition();
      DoProgress();
    }
  }
  FZRec.next_in = nullptr;
  return Count;
}

void TZCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  FZRec.next_in = nullptr;
  FZRec.avail_in = 0;
  SyncStreamPosition();
  for (;;) {
    int r = ZCheckCompress(deflate(&FZRec, Z_FINISH));
    if (r == Z_STREAM_END) break;
    FStrm->WriteBuffer(FBuffer.get(), BufferSize - FZRec.avail_out);
    FZRec.next_out = FBuffer.get();
    FZRec.avail_out = BufferSize;
  }
  int64_t used = BufferSize - FZRec.avail_out;
  if (used > 0) FStrm->WriteBuffer(FBuffer.get(), used);
  FZRec.next_out = FBuffer.get();
  FZRec.avail_out = BufferSize;
  FStrmPos = FStrm->GetPosition();
}

int64_t TZCompressionStream::Read(void* Buffer, int64_t Count) {
  throw EZCompressionError(InvalidOperation);
}

int64_t TZCompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return static_cast<int64_t>(FZRec.total_in);
}

// ---------------------------------------------------------------------------
// TZDecompressionStream

TZDecompressionStream::TZDecompressionStream(TStream* Source)
    : TCustomZStream(Source), FStartPos(FStrmPos) {
  FZRec.next_in = FBuffer.get();
  FZRec.avail_in = 0;
  ZCheckDecompress(inflateInit(&FZRec));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&FZRec); }

int64_t TZDecompressionStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FEnded) return 0;
  SyncStreamPosition();
  uint8_t* out = static_cast<uint8_t*>(Buffer);
  int64_t left = Count;  // output space not yet handed to zlib
  int result = Z_OK;
  FZRec.avail_out = 0;
  while ((left > 0 || FZRec.avail_out > 0) && result != Z_STREAM_END) {
    if (FZRec.avail_out == 0) {
      int64_t n = std::min(left, MaxSlice);
      FZRec.next_out = out;
      FZRec.avail_out = static_cast<uInt>(n);
      out += n;
      left -= n;
    }
    if (FZRec.avail_in == 0) {
      int64_t got = FStrm->Read(FBuffer.get(), BufferSize);
      if (got <= 0) break;
      FZRec.next_in = FBuffer.get();
      FZRec.avail_in = static_cast<uInt>(got);
      FStrmPos = FStrm->GetPosition();
      DoProgress();
    }
    result = ZCheckDecompress(inflate(&FZRec, Z_NO_FLUSH));
  }
  if (result == Z_STREAM_END) {
    FEnded = true;
    if (FZRec.avail_in > 0) {
      // Leave Source just after the compressed data.
      FStrm->Seek(-static_cast<int64_t>(FZRec.avail_in), soCurrent);
      FStrmPos = FStrm->GetPosition();
      FZRec.avail_in = 0;
    }
  }
  int64_t delivered = Count - left - FZRec.avail_out;
  FZRec.next_out = nullptr;
  FZRec.avail_out = 0;
  return delivered;
}

int64_t TZDecompressionStream::Write(const void* Buffer, int64_t Count) {
  throw EZDecompressionError(InvalidOperation);
}

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t delivered = static_cast<int64_t>(FZRec.total_out);
  if (Offset == 0 && Origin == soBeginning) {
    ZCheckDecompress(inflateReset(&FZRec));
    FZRec.next_in = FBuffer.get();
    FZRec.avail_in = 0;
    FEnded = false;
    FStrm->Seek(FStartPos, soBeginning);
    FStrmPos = FStartPos;
  } else if ((Origin == soCurrent && Offset >= 0) || (Origin == soBeginning && Offset > delivered)) {
    if (Origin == soBeginning) Offset -= delivered;
    uint8_t skip[8192];
    while (Offset > 0) {
      int64_t n = std::min<int64_t>(Offset, sizeof skip);
      ReadBuffer(skip, n);
      Offset -= n;
    }
  } else if (Origin == soEnd && Offset == 0) {
    uint8_t skip[8192];
    while (Read(skip, sizeof skip) > 0) {
    }
  } else {
    throw EZDecompressionError(InvalidOperation);
  }
  return static_cast<int64_t>(FZRec.total_out);
}

// ---------------------------------------------------------------------------
// ZInflateBuffer

void ZInflateBuffer(const void* InBuf, int64_t InSize, void*& OutBuf, int64_t& OutSize,
                    int64_t OutEstimate) {
  OutBuf = nullptr;
  OutSize = 0;
  if (InSize < 0) InSize = 0;
  int64_t step = (InSize + 255) & ~int64_t(255);
  if (step == 0) step = 256;
  int64_t cap = OutEstimate > 0 ? OutEstimate : step;
  uint8_t* out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(cap)));
  if (!out) throw EOutOfMemory("Out of memory");

  z_stream z;
  std::memset(&z, 0, sizeof z);
  int initResult = inflateInit(&z);
  if (initResult != Z_OK) {
    std::free(out);
    ZCheckDecompress(initResult < 0 ? initResult : Z_STREAM_ERROR);
  }
  const uint8_t* in = static_cast<const uint8_t*>(InBuf);
  int64_t inLeft = InSize;
  try {
    for (;;) {
      if (z.avail_in == 0 && inLeft > 0) {
        int64_t n = std::min(inLeft, MaxSlice);
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(n);
        in += n;
        inLeft -= n;
      }
      if (z.avail_out == 0) {
        int64_t used = static_cast<int64_t>(z.total_out);
        if (used >= cap) {
          // Geometric growth keeps large outputs linear in time.
          int64_t grow = std::max(step, cap);
          if (cap > INT64_MAX - grow) throw EOutOfMemory("Out of memory");
          int64_t newCap = cap + grow;
          void* p = std::realloc(out, static_cast<size_t>(newCap));
          if (!p) throw EOutOfMemory("Out of memory");
          out = static_cast<uint8_t*>(p);
          cap = newCap;
        }
        z.next_out = out + used;
        z.avail_out = static_cast<uInt>(std::min(cap - used, MaxSlice));
      }
      if (ZCheckDecompress(inflate(&z, Z_NO_FLUSH)) == Z_STREAM_END) break;
    }
    ZCheckDecompress(inflateEnd(&z));
  } catch (...) {
    inflateEnd(&z);
    std::free(out);
    throw;
  }
  int64_t total = static_cast<int64_t>(z.total_out);
  if (total > 0 && total < cap) {
    void* p = std::realloc(out, static_cast<size_t>(total));
    if (p) out = static_cast<uint8_t*>(p);
  }
  OutBuf = out;
  OutSize = total;
}
