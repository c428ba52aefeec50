// The library's stream classes and stream helpers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundations/ie_streams.h"
#include "foundations/zlib_streams.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t Size) {
  Bytes v(Size);
  for (size_t i = 0; i < Size; ++i) v[i] = static_cast<uint8_t>((i * 7) ^ (i >> 8));
  return v;
}

// A memory stream that counts the reads made on it.
class CountingStream : public TMemoryStream {
 public:
  explicit CountingStream(const Bytes& Data) {
    WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    Seek(0, soBeginning);
  }
  int64_t Read(void* Buffer, int64_t Count) override {
    ++Reads;
    return TMemoryStream::Read(Buffer, Count);
  }
  int Reads = 0;
};

// A memory stream that counts the writes made on it and takes at most Limit
// bytes in all.
class CountingSink : public TMemoryStream {
 public:
  int64_t Write(const void* Buffer, int64_t Count) override {
    ++Writes;
    const int64_t room = std::max<int64_t>(0, Limit - GetPosition());
    return TMemoryStream::Write(Buffer, std::min(Count, room));
  }
  int Writes = 0;
  int64_t Limit = INT64_MAX;
};

TEST(BufferedWriteStream, SmallWritesGoOutInBlocksAndSeeksPatchInPlace) {
  const Bytes data = Pattern(5000);
  CountingSink sink;
  {
    TIEBufferedWriteStream s(&sink, 1024);
    // Many small writes, a position query in between (no flush), then a
    // patch at the start and a return to the end, as a writer links its
    // directory.
    for (size_t i = 0; i < data.size(); i += 10) {
      EXPECT_EQ(s.Write(data.data() + i, 10), 10);
      EXPECT_EQ(s.GetPosition(), int64_t(i + 10));
    }
    EXPECT_LE(sink.Writes, 5) << "blocks, not pieces";
    const uint8_t patch[4] = {1, 2, 3, 4};
    EXPECT_EQ(s.Seek(4, soBeginning), 4);
    EXPECT_EQ(s.Write(patch, 4), 4);
    EXPECT_EQ(s.Seek(0, soEnd), 5000);
    EXPECT_EQ(s.Write(data.data(), 3000), 3000);  // larger than the buffer: straight through
    EXPECT_TRUE(s.Flush());
  }
  Bytes want = data;
  std::memcpy(want.data() + 4, "\x01\x02\x03\x04", 4);
  want.insert(want.end(), data.begin(), data.begin() + 3000);
  const auto* m = static_cast<const uint8_t*>(sink.GetMemory());
  EXPECT_EQ(Bytes(m, m + sink.GetSize()), want);

  // A destination that takes fewer bytes: the flag tells after the flush.
  CountingSink shortSink;
  shortSink.Limit = 100;
  TIEBufferedWriteStream s(&shortSink, 256);
  EXPECT_EQ(s.Write(data.data(), 200), 200);
  EXPECT_FALSE(s.GetFailed());
  EXPECT_FALSE(s.Flush());
  EXPECT_TRUE(s.GetFailed());
}

TEST(BufferedReadStream, RelativeOriginAndEnds) {
  const Bytes data = Pattern(1000);
  CountingStream src(data);
  src.Seek(100, soBeginning);
  TIEBufferedReadStream s(&src, 64, true);
  EXPECT_EQ(s.GetSize(), 900);
  EXPECT_EQ(s.Seek(0, soBeginning), 0);
  uint8_t b = 0;
  ASSERT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, data[100]);
  EXPECT_EQ(s.Seek(0, soEnd), 900);
  EXPECT_TRUE(s.GetEndReached());
  // From the end the offset is added: ten bytes before the end.
  EXPECT_EQ(s.Seek(-10, soEnd), 890);
  EXPECT_FALSE(s.GetEndReached());
  uint8_t ten[10];
  ASSERT_EQ(s.Read(ten, 10), 10);  // exactly to the end
  EXPECT_FALSE(s.GetEndReached());
  EXPECT_EQ(std::memcmp(ten, data.data() + 990, 10), 0);
  s.Seek(-3, soCurrent);
  uint8_t more[10];
  EXPECT_EQ(s.Read(more, 10), 3);  // one byte too many: what was left
  EXPECT_TRUE(s.GetEndReached());
  EXPECT_EQ(s.Read(more, 1), 0);
  EXPECT_EQ(s.Seek(-5000, soCurrent), -100);  // clamped at the start of the source

  // The settings in the other order mean the same.
  src.Seek(100, soBeginning);
  TIEBufferedReadStream t(&src, true, 8192);
  EXPECT_EQ(t.GetSize(), 900);
  ASSERT_EQ(t.Read(&b, 1), 1);
  EXPECT_EQ(b, data[100]);
}

TEST(BufferedReadStream, SeeksInsideTheWindowDoNotTouchTheSource) {
  const Bytes data = Pattern(10000);
  CountingStream src(data);
  TIEBufferedReadStream s(&src, 256, false);
  uint8_t buf[100];
  s.Seek(1000, soBeginning);
  s.Read(buf, 100);
  const int reads = src.Reads;
  s.Seek(1010, soBeginning);
  ASSERT_EQ(s.Read(buf, 50), 50);
  EXPECT_EQ(std::memcmp(buf, data.data() + 1010, 50), 0);
  s.Seek(-40, soCurrent);
  s.Read(buf, 1);
  EXPECT_EQ(buf[0], data[1020]);
  EXPECT_EQ(src.Reads, reads);
}

TEST(BufferedReadStream, RandomAccessMatchesTheSource) {
  const Bytes data = Pattern(50000);
  std::mt19937 gen(3);
  for (int32_t bufSize : {1, 7, 1024, 8192, 100000}) {
    SCOPED_TRACE(bufSize);
    TMemoryStream src;
    src.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    src.Seek(0, soBeginning);
    TIEBufferedReadStream s(&src, bufSize, false);
    int64_t pos = 0;
    Bytes got(20000);
    for (int i = 0; i < 300; ++i) {
      const int64_t off = static_cast<int64_t>(gen() % 52000);
      switch (gen() % 3) {
        case 0:
          EXPECT_EQ(s.Seek(off, soBeginning), std::min<int64_t>(off, 50000));
          break;
        case 1:
          EXPECT_EQ(s.Seek(off / 10 - 2600, soCurrent), std::clamp<int64_t>(pos + off / 10 - 2600, 0, 50000));
          break;
        default:
          EXPECT_EQ(s.Seek(-off / 40, soEnd), 50000 - off / 40);
          break;
      }
      pos = s.GetPosition();
      int64_t want = gen() % 2 ? 1 : static_cast<int64_t>(gen() % got.size());
      int64_t n = s.Read(got.data(), want);
      ASSERT_EQ(n, std::min<int64_t>(want, 50000 - pos));
      ASSERT_EQ(std::memcmp(got.data(), data.data() + pos, static_cast<size_t>(n)), 0);
      ASSERT_EQ(s.GetPosition(), pos + n);
      pos += n;
    }
  }
}

TEST(BufferedReadStream, RefusesWrites) {
  TMemoryStream src;
  TIEBufferedReadStream s(&src, 16, false);
  try {
    s.Write("x", 1);
    ADD_FAILURE() << "written";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TIEBufferedReadStream cannot write!");
  }
}

TEST(WideFileStream, CreatesOpensAndFailsWithTheLibraryTexts) {
  testsupport::TempDir dir;
  const std::string name = dir.file("f\xC3\xBCr.bin");  // a non-ASCII name
  {
    TIEWideFileStream w(name, fmCreate);
    w.WriteBuffer("abcdef", 6);
  }
  {
    TIEWideFileStream r(name, fmOpenRead | fmShareDenyWrite);
    char buf[6];
    r.ReadBuffer(buf, 6);
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    EXPECT_EQ(r.Write("x", 1), 0);  // opened for reading only
  }
  {
    TIEWideFileStream c(name, fmCreate);  // truncates
    EXPECT_EQ(c.GetSize(), 0);
  }

  struct Case {
    std::string Name;
    uint16_t Mode;
    bool Create;
    std::string Reason;
  } cases[] = {
      {dir.file("missing"), fmOpenRead, false, SysErrorMessage(ENOENT)},
      {dir.file("no/such/file"), fmCreate, true, SysErrorMessage(ENOENT)},
      {dir.path(), fmOpenRead, false, SysErrorMessage(EISDIR)},
      {name, 3, false, SysErrorMessage(EINVAL)},
      {name, fmOpenRead | 0x50, false, SysErrorMessage(EINVAL)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name + " " + std::to_string(c.Mode));
    try {
      TIEWideFileStream s(c.Name, c.Mode);
      ADD_FAILURE() << "opened";
    } catch (const EFCreateError& e) {
      EXPECT_TRUE(c.Create);
      EXPECT_EQ(e.Message, "Cannot create file \"" + ExpandFileName(c.Name) + "\". " + c.Reason);
    } catch (const EFOpenError& e) {
      EXPECT_FALSE(c.Create);
      EXPECT_EQ(e.Message, "Cannot open file \"" + ExpandFileName(c.Name) + "\". " + c.Reason);
    }
  }
}

TEST(MemAndNulStreams, ForeignBlockAndCounting) {
  uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  TIEMemStream m(block, sizeof block);
  uint8_t buf[4];
  m.Seek(2, soBeginning);
  ASSERT_EQ(m.Read(buf, 4), 4);
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(m.Write("zz", 2), 0);
  m.SetSize(100);
  EXPECT_EQ(m.GetSize(), 8);
  EXPECT_EQ(block[6], 7);

  TNulStream n;
  EXPECT_EQ(n.Write(nullptr, 1000), 1000);
  EXPECT_EQ(n.Read(nullptr, 24), 24);
  EXPECT_EQ(n.GetSize(), 1024);
  EXPECT_EQ(n.Seek(10, soBeginning), 10);
  EXPECT_EQ(n.GetSize(), 1024);
  EXPECT_EQ(n.Seek(-24, soEnd), 1000);  // the offset is added to the size
  EXPECT_EQ(n.Seek(2000, soCurrent), 3000);
  EXPECT_EQ(n.GetSize(), 3000);
}

TEST(CopyFromStream, WholeSourcePartsAndShortSources) {
  const Bytes data = Pattern(500000);  // more than two copy buffers
  TMemoryStream src;
  src.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));

  TMemoryStream all;
  src.Seek(12345, soBeginning);
  EXPECT_EQ(IECopyFromStream(&all, &src, 0), 500000);  // 0: everything, from the start
  EXPECT_EQ(0, std::memcmp(all.GetMemory(), data.data(), data.size()));

  TMemoryStream part;
  src.Seek(499990, soBeginning);
  EXPECT_EQ(IECopyFromStream(&part, &src, 100), 10);  // limited to what is left
  EXPECT_EQ(part.GetSize(), 10);

  // A decompression stream cannot tell its size: a count beyond the data is
  // a read error.
  uLongf clen = compressBound(1000);
  Bytes comp(clen);
  ASSERT_EQ(compress2(comp.data(), &clen, data.data(), 1000, 6), Z_OK);
  TMemoryStream zsrc;
  zsrc.WriteBuffer(comp.data(), static_cast<int64_t>(clen));
  zsrc.Seek(0, soBeginning);
  TZDecompressionStream z(&zsrc);
  TMemoryStream out;
  EXPECT_EQ(IECopyFromStream(&out, &z, 600), 600);
  EXPECT_EQ(0, std::memcmp(out.GetMemory(), data.data(), 600));
  EXPECT_THROW(IECopyFromStream(&out, &z, 600), EReadError);
}

TEST(AnsiStrings, RoundTripAndBadLengths) {
  TMemoryStream s;
  const std::string text("layer name \0 with a zero", 24);
  IEStreamWriteAnsiString(&s, text);
  IEStreamWriteAnsiString(&s, "");
  IEWriteLineCRLF(&s, "line");
  EXPECT_EQ(s.GetSize(), 4 + 24 + 4 + 6);
  s.Seek(0, soBeginning);
  std::string back = "x";
  IEStreamReadAnsiString(&s, back);
  EXPECT_EQ(back, text);
  IEStreamReadAnsiString(&s, back);
  EXPECT_EQ(back, "");
  std::string crlf(6, '\0');
  s.ReadBuffer(crlf.data(), 6);
  EXPECT_EQ(crlf, "line\r\n");

  struct Case {
    const char* Name;
    Bytes Data;
  } cases[] = {
      {"longer than the stream", {5, 0, 0, 0, 'a', 'b'}},
      {"huge", {0xFF, 0xFF, 0xFF, 0x7F, 'a'}},
      {"negative", {0, 0, 0, 0x80}},
      {"short length", {1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream m;
    m.WriteBuffer(c.Data.data(), static_cast<int64_t>(c.Data.size()));
    m.Seek(0, soBeginning);
    std::string s2;
    EXPECT_THROW(IEStreamReadAnsiString(&m, s2), EReadError);

    // The same through a decompression stream, which cannot tell its size.
    uLongf clen = compressBound(c.Data.size());
    Bytes comp(clen);
    ASSERT_EQ(compress2(comp.data(), &clen, c.Data.data(), c.Data.size(), 6), Z_OK);
    TMemoryStream zsrc;
    zsrc.WriteBuffer(comp.data(), static_cast<int64_t>(clen));
    zsrc.Seek(0, soBeginning);
    TZDecompressionStream z(&zsrc);
    EXPECT_THROW(IEStreamReadAnsiString(&z, s2), EReadError);
  }
}

}  // namespace
