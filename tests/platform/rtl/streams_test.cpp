// Streams: seeking, short transfers, file opening errors, memory streams.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

namespace {
std::vector<uint8_t> Bytes(size_t N) {
  std::vector<uint8_t> V(N);
  std::iota(V.begin(), V.end(), uint8_t(0));
  return V;
}

// Seek, read and size behaviour every seekable stream shares, run over a
// stream holding the bytes 0..99.
void CheckSeekable(TStream& S) {
  ASSERT_EQ(S.GetSize(), 100);
  EXPECT_EQ(S.Seek(10, soBeginning), 10);
  EXPECT_EQ(S.Seek(5, soCurrent), 15);
  EXPECT_EQ(S.Seek(-4, soEnd), 96);
  uint8_t B[8] = {};
  EXPECT_EQ(S.Read(B, 8), 4);  // only four left
  EXPECT_EQ(B[0], 96);
  EXPECT_EQ(B[3], 99);
  EXPECT_EQ(S.Read(B, 8), 0);
  EXPECT_EQ(S.GetPosition(), 100);
  S.SetPosition(50);
  EXPECT_EQ(S.Seek(-10, soCurrent), 40);
  S.ReadBuffer(B, 2);
  EXPECT_EQ(B[0], 40);
  EXPECT_EQ(B[1], 41);
  EXPECT_EQ(S.GetSize(), 100);   // asking the size keeps the position
  EXPECT_EQ(S.GetPosition(), 42);
  EXPECT_EQ(S.Seek(-1, soBeginning), -1);  // before the start: refused
  EXPECT_EQ(S.Seek(120, soBeginning), 120);  // beyond the end: allowed
  EXPECT_EQ(S.Read(B, 1), 0);
  S.SetPosition(98);
  try {
    S.ReadBuffer(B, 3);
    FAIL() << "short read accepted";
  } catch (const EReadError& E) {
    EXPECT_EQ(E.Message, "Stream read error");
  }
  EXPECT_EQ(S.Read(B, -5), 0);
}
}  // namespace

TEST(Streams, MemoryAndFileStreamsSeekAndReadAlike) {
  const auto Data = Bytes(100);
  TMemoryStream M;
  M.WriteBuffer(Data.data(), 100);
  CheckSeekable(M);

  testsupport::TempDir Dir;
  testsupport::WriteFileBytes(Dir.file("d.bin"), Data);
  TFileStream F(Dir.file("d.bin"), fmOpenRead | fmShareDenyWrite);
  CheckSeekable(F);

  std::vector<uint8_t> Copy = Data;
  TCustomMemoryStream C(Copy.data(), 100);
  CheckSeekable(C);

  TStringStream S(std::string(Data.begin(), Data.end()));
  CheckSeekable(S);
}

TEST(Streams, FileOpenAndCreateErrorsCarryPathAndSystemText) {
  testsupport::TempDir Dir;
  const std::string Missing = Dir.file("missing.tif");
  struct Case { std::string Name; uint16_t Mode; bool Create; int Err; };
  const Case Cases[] = {
      {Missing, fmOpenRead, false, ENOENT},
      {Missing, fmOpenReadWrite | fmShareExclusive, false, ENOENT},
      {Dir.file("no/such/dir/x.tif"), fmCreate, true, ENOENT},
      {Dir.path(), fmOpenRead, false, EISDIR},  // a folder is not a file to stream
      {Dir.path(), fmCreate, true, EISDIR},
  };
  for (const auto& C : Cases) {
    try {
      TFileStream F(C.Name, C.Mode);
      ADD_FAILURE() << "opened " << C.Name;
    } catch (const EFCreateError& E) {
      EXPECT_TRUE(C.Create) << C.Name;
      EXPECT_EQ(E.Message, "Cannot create file \"" + ExpandFileName(C.Name) + "\". " + SysErrorMessage(C.Err));
    } catch (const EFOpenError& E) {
      EXPECT_FALSE(C.Create) << C.Name;
      EXPECT_EQ(E.Message, "Cannot open file \"" + ExpandFileName(C.Name) + "\". " + SysErrorMessage(C.Err));
    }
  }
  // A relative name shows as its full path; both are stream errors.
  try {
    TFileStream F("./missing-here-too.tif", fmOpenRead);
    FAIL();
  } catch (const EStreamError& E) {
    EXPECT_EQ(E.Message, "Cannot open file \"" + IncludeTrailingPathDelimiter(GetCurrentDir()) +
                             "missing-here-too.tif\". " + SysErrorMessage(ENOENT));
  }
  // Access value 3 is no mode.
  testsupport::WriteFileBytes(Dir.file("x"), {1});
  EXPECT_THROW(TFileStream(Dir.file("x"), 3), EFOpenError);
}

TEST(Streams, FileModesCreateTruncateAndRestrictAccess) {
  testsupport::TempDir Dir;
  const std::string Name = Dir.file("f.bin");
  {
    TFileStream F(Name, fmCreate);
    F.WriteBuffer("hello world", 11);
    EXPECT_EQ(F.GetFileName(), Name);
    F.SetPosition(0);
    char B[5];
    F.ReadBuffer(B, 5);  // fmCreate opens for reading too
    EXPECT_EQ(std::string(B, 5), "hello");
    F.SetSize(5);
    EXPECT_EQ(F.GetPosition(), 5);
  }
  EXPECT_EQ(FileSizeByName(Name), 5);
  {
    TFileStream F(Name, fmOpenRead);
    EXPECT_EQ(F.Write("x", 1), 0);
    EXPECT_THROW(F.WriteBuffer("x", 1), EWriteError);
  }
  {
    TFileStream F(Name, fmOpenWrite);
    char B;
    EXPECT_EQ(F.Read(&B, 1), 0);
    F.Seek(0, soEnd);
    F.WriteBuffer("!!", 2);
  }
  EXPECT_EQ(FileSizeByName(Name), 7);
  {
    TFileStream F(Name, fmCreate);  // truncates
  }
  EXPECT_EQ(FileSizeByName(Name), 0);
}

TEST(Streams, HandleStreamDoesNotOwnItsDescriptor) {
  testsupport::TempDir Dir;
  const int Fd = ::open(Dir.file("h").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(Fd, 0);
  {
    THandleStream H(Fd);
    EXPECT_EQ(H.GetHandle(), Fd);
    H.WriteBuffer("abc", 3);
    EXPECT_EQ(H.GetSize(), 3);
  }
  EXPECT_EQ(::lseek(Fd, 0, SEEK_CUR), 3);  // still open
  ::close(Fd);
  THandleStream Bad(-1);
  char B;
  EXPECT_EQ(Bad.Read(&B, 1), 0);
  EXPECT_EQ(Bad.Seek(0, soBeginning), -1);
}

TEST(Streams, MemoryStreamGrowsAndResizes) {
  TMemoryStream M;
  EXPECT_EQ(M.GetCapacity(), 0);
  std::vector<uint8_t> Data = Bytes(250);
  // Many small writes: the capacity stays a multiple of 8 KB above the size.
  for (int I = 0; I < 1000; ++I) M.WriteBuffer(Data.data(), 250);
  EXPECT_EQ(M.GetSize(), 250000);
  EXPECT_EQ(M.GetCapacity() % 8192, 0);
  EXPECT_GE(M.GetCapacity(), 250000);
  EXPECT_EQ(static_cast<uint8_t*>(M.GetMemory())[250 * 999 + 7], 7);

  // Writing past the end leaves zeros in the gap.
  TMemoryStream G;
  G.Seek(10, soBeginning);
  G.WriteBuffer("Z", 1);
  EXPECT_EQ(G.GetSize(), 11);
  for (int I = 0; I < 10; ++I) EXPECT_EQ(static_cast<uint8_t*>(G.GetMemory())[I], 0);

  // SetSize keeps the position unless it falls beyond the new end.
  G.SetPosition(4);
  G.SetSize(100);
  EXPECT_EQ(G.GetPosition(), 4);
  EXPECT_EQ(static_cast<uint8_t*>(G.GetMemory())[50], 0);
  G.SetSize(2);
  EXPECT_EQ(G.GetPosition(), 2);
  EXPECT_EQ(G.GetSize(), 2);
  EXPECT_THROW(G.SetSize(-1), EStreamError);

  // A size no machine holds fails cleanly and leaves the stream usable.
  G.SetSize(3);
  try {
    G.SetSize(int64_t(1) << 60);
    FAIL();
  } catch (const EStreamError& E) {
    EXPECT_EQ(E.Message, "Out of memory while expanding memory stream");
  }
  EXPECT_EQ(G.GetSize(), 3);
  G.Seek(int64_t(1) << 60, soBeginning);
  EXPECT_THROW(G.WriteBuffer("x", 1), EStreamError);
  EXPECT_EQ(G.GetSize(), 3);

  G.Clear();
  EXPECT_EQ(G.GetSize(), 0);
  EXPECT_EQ(G.GetCapacity(), 0);
  EXPECT_EQ(G.GetPosition(), 0);
}

TEST(Streams, MemoryStreamLoadsSavesAndCopies) {
  testsupport::TempDir Dir;
  const auto Data = Bytes(200);
  testsupport::WriteFileBytes(Dir.file("in"), Data);
  TMemoryStream M;
  M.LoadFromFile(Dir.file("in"));
  EXPECT_EQ(M.GetSize(), 200);
  M.SaveToFile(Dir.file("out"));
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.file("out")), Data);

  // CopyFrom(0) copies the whole source from its start, whatever its position.
  TMemoryStream Dst;
  M.SetPosition(150);
  EXPECT_EQ(Dst.CopyFrom(&M, 0), 200);
  EXPECT_EQ(Dst.GetSize(), 200);
  EXPECT_EQ(std::memcmp(Dst.GetMemory(), Data.data(), 200), 0);
  // A count copies from the current position and fails when the source is short.
  M.SetPosition(190);
  TMemoryStream Part;
  EXPECT_EQ(Part.CopyFrom(&M, 10), 10);
  EXPECT_EQ(static_cast<uint8_t*>(Part.GetMemory())[0], 190);
  M.SetPosition(195);
  EXPECT_THROW(Part.CopyFrom(&M, 10), EReadError);
  EXPECT_THROW(Part.CopyFrom(&M, -1), EReadError);

  TMemoryStream Other;
  M.SetPosition(77);
  Other.LoadFromStream(&M);
  EXPECT_EQ(Other.GetSize(), 200);
}

TEST(Streams, ForeignBlockIsReadButNeverWrittenOrFreed) {
  uint8_t Block[16];
  for (int I = 0; I < 16; ++I) Block[I] = static_cast<uint8_t>(I * 3);
  {
    TCustomMemoryStream S(Block, 16);
    EXPECT_EQ(S.GetMemory(), Block);
    EXPECT_EQ(S.Write("x", 1), 0);
    EXPECT_THROW(S.WriteBuffer("x", 1), EWriteError);
    uint8_t B[4];
    S.Seek(-4, soEnd);
    S.ReadBuffer(B, 4);
    EXPECT_EQ(B[3], 45);
    TMemoryStream Out;
    S.SaveToStream(&Out);
    EXPECT_EQ(Out.GetSize(), 16);
    S.SetPointer(nullptr, 5);  // no block: nothing to read
    EXPECT_EQ(S.GetSize(), 0);
  }
  // A memory stream pointed at a foreign block copies it before growing.
  {
    TMemoryStream M;
    M.SetPointer(Block, 16);
    M.Seek(0, soEnd);
    M.WriteBuffer("!", 1);
    EXPECT_NE(M.GetMemory(), static_cast<void*>(Block));
    EXPECT_EQ(M.GetSize(), 17);
    EXPECT_EQ(static_cast<uint8_t*>(M.GetMemory())[15], 45);
  }
  EXPECT_EQ(Block[15], 45);  // untouched, and not freed (ASan would tell)
}
