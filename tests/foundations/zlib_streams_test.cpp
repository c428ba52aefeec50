// Compression streams and the whole-buffer inflater, checked against zlib's
// own one-call coders and against Python's zlib as an independent peer.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundations/zlib_streams.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
const char* const kPython = "/usr/bin/python3";

// Runs of repeated bytes mixed with noise: compresses, but not trivially, and
// spans several 64 KB work buffers.
Bytes SampleData(size_t Size, uint32_t Seed = 7) {
  std::mt19937 gen(Seed);
  Bytes d;
  d.reserve(Size);
  while (d.size() < Size) {
    size_t len = 1 + gen() % 300;
    if (gen() % 2) {
      d.insert(d.end(), len, static_cast<uint8_t>(gen()));
    } else {
      for (size_t i = 0; i < len; ++i) d.push_back(static_cast<uint8_t>(gen()));
    }
  }
  d.resize(Size);
  return d;
}

Bytes StreamBytes(TMemoryStream& S) {
  const uint8_t* p = static_cast<const uint8_t*>(S.GetMemory());
  return Bytes(p, p + S.GetSize());
}

Bytes CompressWithStream(const Bytes& Data, int Level) {
  TMemoryStream dest;
  {
    TZCompressionStream z(&dest, Level);
    // Odd-sized writes exercise the input bookkeeping.
    size_t pos = 0, piece = 1;
    while (pos < Data.size()) {
      size_t n = std::min(piece, Data.size() - pos);
      EXPECT_EQ(z.Write(Data.data() + pos, static_cast<int64_t>(n)), static_cast<int64_t>(n));
      pos += n;
      piece = piece * 3 + 1;
    }
    EXPECT_EQ(z.Seek(0, soCurrent), static_cast<int64_t>(Data.size()));
    z.Finish();
  }
  return StreamBytes(dest);
}

Bytes ZlibCompress(const Bytes& Data, int ZLevel) {
  uLongf len = compressBound(Data.size());
  Bytes out(len);
  EXPECT_EQ(compress2(out.data(), &len, Data.data(), Data.size(), ZLevel), Z_OK);
  out.resize(len);
  return out;
}

Bytes ZlibUncompress(const Bytes& Comp, size_t Expected) {
  uLongf len = Expected + 1;
  Bytes out(len);
  EXPECT_EQ(uncompress(out.data(), &len, Comp.data(), Comp.size()), Z_OK);
  out.resize(len);
  return out;
}

Bytes ReadAllThroughStream(TStream* Source, size_t Piece = 5000) {
  TZDecompressionStream z(Source);
  Bytes out;
  Bytes buf(Piece);
  for (;;) {
    int64_t n = z.Read(buf.data(), static_cast<int64_t>(buf.size()));
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

Bytes MakeDictionaryStream(const Bytes& Data) {
  static const char dict[] = "a preset dictionary that the reader does not have";
  z_stream s{};
  EXPECT_EQ(deflateInit(&s, 6), Z_OK);
  EXPECT_EQ(deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dict), sizeof dict - 1), Z_OK);
  Bytes out(deflateBound(&s, Data.size()) + 64);
  s.next_in = const_cast<Bytef*>(Data.data());
  s.avail_in = static_cast<uInt>(Data.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string Hex(const Bytes& B) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (uint8_t b : B) {
    s += d[b >> 4];
    s += d[b & 15];
  }
  return s;
}

struct LevelCase {
  int Level;
  int ZLevel;     // the zlib level it stands for
  int HeaderLev;  // the level bits zlib puts in the stream header
};
const LevelCase kLevels[] = {{zcNone, 0, 0}, {zcFastest, 1, 0}, {zcDefault, 6, 2}, {zcMax, 9, 3}};

TEST(ZlibStreams, LevelsMatchZlibAndRoundTripBothWays) {
  const Bytes data = SampleData(300000);
  for (const auto& c : kLevels) {
    SCOPED_TRACE(c.Level);
    Bytes ours = CompressWithStream(data, c.Level);
    // Same level, same library: the very same bytes as zlib's one-call coder
    // (stored blocks follow the sizes of the writes, so level 0 only
    // compares its size).
    if (c.Level == zcNone) {
      EXPECT_LT(ours.size(), data.size() + data.size() / 1000 + 64);
    } else {
      EXPECT_EQ(ours, ZlibCompress(data, c.ZLevel));
    }
    ASSERT_GE(ours.size(), 2u);
    EXPECT_EQ(ours[1] >> 6, c.HeaderLev);
    EXPECT_EQ(ZlibUncompress(ours, data.size()), data);

    // zlib's output reads back through the stream and the buffer inflater.
    Bytes theirs = ZlibCompress(data, c.ZLevel);
    TMemoryStream src;
    src.WriteBuffer(theirs.data(), static_cast<int64_t>(theirs.size()));
    src.Seek(0, soBeginning);
    EXPECT_EQ(ReadAllThroughStream(&src), data);
    void* out = nullptr;
    int64_t outSize = 0;
    ZInflateBuffer(theirs.data(), static_cast<int64_t>(theirs.size()), out, outSize, 0);
    ASSERT_EQ(outSize, static_cast<int64_t>(data.size()));
    EXPECT_EQ(std::memcmp(out, data.data(), data.size()), 0);
    std::free(out);
  }
}

TEST(ZlibStreams, PythonZlibReadsOursAndWeReadPythons) {
  if (!testsupport::HaveTool(kPython)) GTEST_SKIP() << "no python3";
  testsupport::TempDir dir;
  const Bytes data = SampleData(150000, 11);
  testsupport::WriteFileBytes(dir.file("plain"), data);
  for (const auto& c : kLevels) {
    SCOPED_TRACE(c.Level);
    testsupport::WriteFileBytes(dir.file("ours.z"), CompressWithStream(data, c.Level));
    std::string out;
    ASSERT_EQ(testsupport::RunCommand(std::string(kPython) +
                                          " -c \"import zlib,sys; d=zlib.decompress(open(sys.argv[1],'rb').read());"
                                          " print('ok' if d==open(sys.argv[2],'rb').read() else 'differ')\" " +
                                          dir.file("ours.z") + " " + dir.file("plain"),
                                      &out),
              0);
    EXPECT_EQ(out, "ok\n");

    ASSERT_EQ(testsupport::RunCommand(std::string(kPython) +
                                      " -c \"import zlib,sys; open(sys.argv[2],'wb').write(zlib.compress("
                                      "open(sys.argv[1],'rb').read(), " +
                                      std::to_string(c.ZLevel) + "))\" " + dir.file("plain") + " " +
                                      dir.file("theirs.z")),
              0);
    TFileStream src(dir.file("theirs.z"), fmOpenRead);
    EXPECT_EQ(ReadAllThroughStream(&src, 65536 * 2 + 3), data);
  }
}

TEST(ZlibStreams, EmptyStreamIsHeaderAndTrailer) {
  TMemoryStream dest;
  {
    TZCompressionStream z(&dest, zcDefault);
    z.Write("", 0);
  }  // finished by the destructor
  EXPECT_EQ(Hex(StreamBytes(dest)), "789c030000000001");
  dest.Seek(0, soBeginning);
  EXPECT_TRUE(ReadAllThroughStream(&dest).empty());
}

TEST(ZlibStreams, CompressionWritesAtItsOwnPositionAndRefusesMisuse) {
  TMemoryStream dest;
  dest.WriteBuffer("HEAD", 4);
  const Bytes data = SampleData(200000, 3);
  int progress = 0;
  {
    TZCompressionStream z(&dest, zcNone);
    z.OnProgress = [&](TObject*) { ++progress; };
    dest.Seek(0, soBeginning);  // someone else moves the stream
    z.Write(data.data(), static_cast<int64_t>(data.size()));
    uint8_t b;
    EXPECT_THROW(z.Read(&b, 1), EZCompressionError);
    z.Finish();
    z.Finish();  // a second call changes nothing
    EXPECT_THROW(z.Write(&b, 1), EZCompressionError);
  }
  Bytes all = StreamBytes(dest);
  ASSERT_GT(all.size(), 4u);
  EXPECT_EQ(std::string(all.begin(), all.begin() + 4), "HEAD");
  EXPECT_EQ(ZlibUncompress(Bytes(all.begin() + 4, all.end()), data.size()), data);
  // Stored data: the 64 KB buffer filled three times during the writes.
  EXPECT_EQ(progress, 3);

  try {
    TZCompressionStream bad(&dest, 4);
    ADD_FAILURE() << "level 4 accepted";
  } catch (const EZCompressionError& e) {
    EXPECT_EQ(e.Message, "stream error");
  }
}

TEST(ZlibStreams, FinishReportsAFullDestination) {
  uint8_t tiny[4];
  TCustomMemoryStream dest(tiny, sizeof tiny);  // cannot be written
  TZCompressionStream z(&dest, zcDefault);
  z.Write("abc", 3);
  EXPECT_THROW(z.Finish(), EWriteError);
}

TEST(ZlibStreams, DecompressionLeavesSourceAfterTheBlockAndRestartsAtItsStart) {
  const Bytes data = SampleData(100000, 5);
  const Bytes comp = ZlibCompress(data, 6);
  TMemoryStream src;
  const std::string prefix(100, 'P'), suffix = "TRAILER";
  src.WriteBuffer(prefix.data(), 100);
  src.WriteBuffer(comp.data(), static_cast<int64_t>(comp.size()));
  src.WriteBuffer(suffix.data(), static_cast<int64_t>(suffix.size()));
  src.Seek(100, soBeginning);

  int progress = 0;
  TZDecompressionStream z(&src);
  z.OnProgress = [&](TObject*) { ++progress; };
  Bytes out(data.size() + 50);
  EXPECT_EQ(z.Read(out.data(), static_cast<int64_t>(out.size())), static_cast<int64_t>(data.size()));
  out.resize(data.size());
  EXPECT_EQ(out, data);
  EXPECT_EQ(progress, static_cast<int>((comp.size() + suffix.size() + 65535) / 65536));
  EXPECT_EQ(src.GetPosition(), static_cast<int64_t>(100 + comp.size()));
  uint8_t b;
  EXPECT_EQ(z.Read(&b, 1), 0);  // the data has ended

  // Restart: decoding begins again where the source stood at creation.
  EXPECT_EQ(z.Seek(0, soBeginning), 0);
  EXPECT_EQ(src.GetPosition(), 100);
  Bytes again(1000);
  EXPECT_EQ(z.Read(again.data(), 1000), 1000);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), data.begin()));
}

TEST(ZlibStreams, DecompressionSeeks) {
  const Bytes data = SampleData(50000, 9);
  const Bytes comp = ZlibCompress(data, 9);
  TMemoryStream src;
  src.WriteBuffer(comp.data(), static_cast<int64_t>(comp.size()));
  src.Seek(0, soBeginning);
  TZDecompressionStream z(&src);
  uint8_t b = 0;

  EXPECT_EQ(z.Seek(20000, soCurrent), 20000);
  ASSERT_EQ(z.Read(&b, 1), 1);
  EXPECT_EQ(b, data[20000]);
  EXPECT_EQ(z.Seek(30000, soBeginning), 30000);  // beyond what was delivered: forward
  ASSERT_EQ(z.Read(&b, 1), 1);
  EXPECT_EQ(b, data[30000]);
  EXPECT_EQ(z.Seek(0, soEnd), static_cast<int64_t>(data.size()));

  struct Bad {
    int64_t Offset;
    TSeekOrigin Origin;
  } bad[] = {{-1, soCurrent}, {10, soBeginning}, {-5, soEnd}, {5, soEnd}};
  for (auto c : bad) {
    try {
      z.Seek(c.Offset, c.Origin);
      ADD_FAILURE() << c.Offset << "/" << c.Origin;
    } catch (const EZDecompressionError& e) {
      EXPECT_EQ(e.Message, "Invalid ZStream operation!");
    }
  }
  EXPECT_EQ(z.Seek(0, soBeginning), 0);
  EXPECT_THROW(z.Seek(int64_t(1) << 40, soCurrent), EReadError);  // beyond the data
  EXPECT_THROW(z.Write(&b, 1), EZDecompressionError);
}

TEST(ZlibStreams, DictionaryStreamFailsCleanly) {
  const Bytes data = SampleData(5000);
  const Bytes comp = MakeDictionaryStream(data);
  TMemoryStream src;
  src.WriteBuffer(comp.data(), static_cast<int64_t>(comp.size()));
  src.Seek(0, soBeginning);
  TZDecompressionStream z(&src);
  Bytes out(data.size());
  try {
    z.Read(out.data(), static_cast<int64_t>(out.size()));
    ADD_FAILURE() << "dictionary stream read";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message, "need dictionary");
  }
  void* buf = reinterpret_cast<void*>(1);
  int64_t size = -1;
  try {
    ZInflateBuffer(comp.data(), static_cast<int64_t>(comp.size()), buf, size, 0);
    ADD_FAILURE() << "dictionary stream inflated";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message, "need dictionary");
  }
  EXPECT_EQ(buf, nullptr);
}

TEST(ZlibStreams, CorruptAndTruncatedInputFailsCleanly) {
  const Bytes data = SampleData(40000, 13);
  const Bytes comp = ZlibCompress(data, 6);

  struct Case {
    const char* Name;
    Bytes Input;
    const char* BufferMessage;  // ZInflateBuffer's error
  };
  Bytes badHeader = comp;
  badHeader[0] = 0x00;
  Bytes badChecksum = comp;
  badChecksum.back() ^= 0xFF;
  Bytes badBlockType = comp;
  badBlockType[2] = 0xFF;  // first block header: reserved block type
  const Case cases[] = {
      {"header", badHeader, "data error"},
      {"checksum", badChecksum, "data error"},
      {"block type", badBlockType, "data error"},
      {"truncated", Bytes(comp.begin(), comp.begin() + comp.size() / 2), "buffer error"},
      {"header only", Bytes(comp.begin(), comp.begin() + 2), "buffer error"},
      {"empty", Bytes(), "buffer error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    void* out = nullptr;
    int64_t outSize = 0;
    try {
      ZInflateBuffer(c.Input.data(), static_cast<int64_t>(c.Input.size()), out, outSize, 0);
      ADD_FAILURE() << "accepted";
    } catch (const EZDecompressionError& e) {
      EXPECT_EQ(e.Message, c.BufferMessage);
    }
    // The stream either raises or delivers fewer bytes; it never hangs.
    TMemoryStream src;
    if (!c.Input.empty()) src.WriteBuffer(c.Input.data(), static_cast<int64_t>(c.Input.size()));
    src.Seek(0, soBeginning);
    TZDecompressionStream z(&src);
    Bytes buf(data.size() + 10);
    try {
      int64_t n = z.Read(buf.data(), static_cast<int64_t>(buf.size()));
      EXPECT_LT(n, static_cast<int64_t>(data.size()));
      EXPECT_EQ(z.Read(buf.data(), 10), 0);
    } catch (const EZDecompressionError& e) {
      EXPECT_EQ(e.Message, "data error");
    }
  }

  // Random damage anywhere: a clean error or a short read, never a crash.
  std::mt19937 gen(1);
  for (int i = 0; i < 200; ++i) {
    Bytes broken = comp;
    for (int k = 0; k < 3; ++k) broken[gen() % broken.size()] ^= static_cast<uint8_t>(1 + gen() % 255);
    void* out = nullptr;
    int64_t outSize = 0;
    try {
      ZInflateBuffer(broken.data(), static_cast<int64_t>(broken.size()), out, outSize, 0);
      std::free(out);
    } catch (const EZDecompressionError&) {
    }
  }
}

TEST(ZlibStreams, InflateBufferSizesItsOutputExactly) {
  // 1000 compressed bytes, no estimate: starts at 1024 and must end exact.
  const Bytes noisy = SampleData(990, 21);
  Bytes comp = ZlibCompress(noisy, 0);
  ASSERT_GT(comp.size(), 990u);
  struct Case {
    Bytes Data;
    int64_t Estimate;
  } cases[] = {
      {noisy, 0},
      {noisy, 1},
      {noisy, 100000},
      {Bytes(20u << 20, 0xAB), 0},  // 20 MB from a few KB: geometric growth
      {Bytes(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Data.size());
    Bytes z = ZlibCompress(c.Data, 6);
    void* out = nullptr;
    int64_t outSize = -1;
    ZInflateBuffer(z.data(), static_cast<int64_t>(z.size()), out, outSize, c.Estimate);
    ASSERT_EQ(outSize, static_cast<int64_t>(c.Data.size()));
    if (outSize) {
      EXPECT_EQ(std::memcmp(out, c.Data.data(), c.Data.size()), 0);
    }
    std::free(out);
  }
}

}  // namespace
