// Temporary files and the file buffer: private, exclusive, never left behind,
// and mappings that copy in and write back at 64-bit offsets.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "foundations/settings.h"
#include "foundations/temp_file.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

size_t EntriesIn(const std::string& Dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()));
}

// Points the library's temporary folder at a test folder for one test.
struct TempFolderOverride {
  std::string Saved = IETempFolder;
  explicit TempFolderOverride(const std::string& Folder) { IETempFolder = Folder; }
  ~TempFolderOverride() { IETempFolder = Saved; }
};

std::vector<uint8_t> Pattern(size_t Size, uint8_t Seed) {
  std::vector<uint8_t> v(Size);
  for (size_t i = 0; i < Size; ++i) v[i] = static_cast<uint8_t>(i * 31 + Seed + (i >> 11));
  return v;
}

TEST(TempFile, StreamIsPrivateAndHasNoNameInTheFolder) {
  testsupport::TempDir dir;
  const std::string name = dir.file("x-00000001.tmp");
  {
    TIETemporaryFileStream s(name);
    EXPECT_EQ(s.GetFileName(), name);
    EXPECT_EQ(EntriesIn(dir.path()), 0u);  // nothing to find, nothing to leave behind
    struct stat st;
    ASSERT_EQ(fstat(s.GetHandle(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = "hello temp";
    s.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    s.Seek(0, soBeginning);
    std::string back(text.size(), '\0');
    s.ReadBuffer(back.data(), static_cast<int64_t>(back.size()));
    EXPECT_EQ(back, text);
  }
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST(TempFile, RefusesExistingFilesAndPlantedLinks) {
  testsupport::TempDir dir;
  const std::string victim = dir.file("victim");
  testsupport::WriteFileBytes(victim, {1, 2, 3});
  const std::string existing = dir.file("taken.tmp");
  testsupport::WriteFileBytes(existing, {9, 9});
  const std::string linkToFile = dir.file("link1.tmp");
  ASSERT_EQ(symlink(victim.c_str(), linkToFile.c_str()), 0);
  const std::string dangling = dir.file("link2.tmp");
  ASSERT_EQ(symlink(dir.file("would-be-created").c_str(), dangling.c_str()), 0);

  for (const std::string& name : {existing, linkToFile, dangling, dir.file("no/such/folder.tmp")}) {
    SCOPED_TRACE(name);
    try {
      TIETemporaryFileStream s(name);
      ADD_FAILURE() << "created";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message, "Unable to create " + name);
    }
  }
  EXPECT_EQ(testsupport::ReadFileBytes(victim), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(testsupport::ReadFileBytes(existing), (std::vector<uint8_t>{9, 9}));
  EXPECT_FALSE(fs::exists(dir.file("would-be-created")));
  EXPECT_TRUE(fs::is_symlink(dangling));
}

TEST(TempFile, NothingRemainsWhenTheProcessIsKilled) {
  testsupport::TempDir dir;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    IETempFolder = dir.path() + "/";
    TIEFileBuffer buf;
    char ok = buf.AllocateFile("IMG", true, 1 << 20) ? 'y' : 'n';
    if (write(fds[1], &ok, 1) != 1) _exit(2);
    for (;;) pause();
  }
  close(fds[1]);
  char ok = 0;
  ASSERT_EQ(read(fds[0], &ok, 1), 1);
  close(fds[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(ok, 'y');
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST(TempFile, NamesFollowTheLibraryRule) {
  testsupport::TempDir dir;
  const std::string folder = dir.path() + "/";
  // Folder + "IMG-" + 8 upper-case hexadecimal digits + ".tmp".
  auto follows = [&](const std::string& n) {
    if (n.size() != folder.size() + 16 || n.rfind(folder + "IMG-", 0) != 0 || n.substr(n.size() - 4) != ".tmp")
      return false;
    for (size_t i = folder.size() + 4; i < n.size() - 4; ++i)
      if (!std::isdigit(static_cast<unsigned char>(n[i])) && !(n[i] >= 'A' && n[i] <= 'F')) return false;
    return true;
  };
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string n = IEMakeTempFileName("IMG", folder);
    EXPECT_TRUE(follows(n)) << n;
    seen.insert(n);
  }
  EXPECT_GT(seen.size(), 45u);

  {
    TempFolderOverride none("");
    std::string n = IEGetTempFileName();
    EXPECT_EQ(n.rfind(GetTempFolder() + "ietemp-", 0), 0u) << n;
  }
  {
    TempFolderOverride own(dir.path());  // without the trailing separator
    EXPECT_EQ(IEGetTempFileName().rfind(folder + "ietemp-", 0), 0u);
    TIEFileBuffer a, b;
    ASSERT_TRUE(a.AllocateFile("IMG", true, 10));
    ASSERT_TRUE(b.AllocateFile("IMG", true, 10));
    EXPECT_NE(a.GetFileName(), b.GetFileName());
    EXPECT_EQ(a.GetFileName().rfind(folder + "IMG-", 0), 0u);
    EXPECT_EQ(EntriesIn(dir.path()), 0u);
  }
}

TEST(TempFile, FailedAllocationLeavesNoStream) {
  testsupport::TempDir dir;
  TIEFileBuffer buf;
  {
    TempFolderOverride missing(dir.file("missing") + "/");
    EXPECT_FALSE(buf.AllocateFile("IMG", true, 100));
    EXPECT_FALSE(buf.IsAllocated());
    EXPECT_EQ(buf.GetStream(), nullptr);
  }
  EXPECT_FALSE(buf.AllocateFile("IMG", false, -1));
  EXPECT_FALSE(buf.IsAllocated());
  // Without a stream, maps are plain memory and nothing is read or written.
  void* p = buf.Map(IEFB_READ | IEFB_WRITE, 0, 16);
  ASSERT_NE(p, nullptr);
  buf.UnMap(p);
  // A working allocation afterwards, in memory this time.
  ASSERT_TRUE(buf.AllocateFile("IMG", false, 100));
  EXPECT_NE(dynamic_cast<TMemoryStream*>(buf.GetStream()), nullptr);
  EXPECT_EQ(buf.GetStream()->GetSize(), 100);
}

// Map, UnMap and their copy-in/copy-out rules on both kinds of stream.
TEST(TempFile, MappingsCopyInAndWriteBack) {
  testsupport::TempDir dir;
  TempFolderOverride own(dir.path() + "/");
  for (bool useFile : {true, false}) {
    SCOPED_TRACE(useFile);
    TIEFileBuffer buf;
    ASSERT_TRUE(buf.AllocateFile("IMG", useFile, 4096));
    TStream* s = buf.GetStream();
    const auto base = Pattern(4096, 5);
    s->Seek(0, soBeginning);
    s->WriteBuffer(base.data(), 4096);

    // Read mapping sees the stream; changes to a read-only block are dropped.
    auto* r = static_cast<uint8_t*>(buf.Map(IEFB_READ, 1000, 100));
    EXPECT_EQ(std::memcmp(r, base.data() + 1000, 100), 0);
    std::memset(r, 0xEE, 100);
    buf.UnMap(r);
    // Write-only mapping: the whole block goes back.
    auto* w = static_cast<uint8_t*>(buf.Map(IEFB_WRITE, 2000, 50));
    std::memset(w, 0x11, 50);
    // Two writable blocks over one stretch: the later release wins.
    auto* a = static_cast<uint8_t*>(buf.Map(IEFB_READ | IEFB_WRITE, 3000, 8));
    auto* b = static_cast<uint8_t*>(buf.Map(IEFB_READ | IEFB_WRITE, 3000, 8));
    std::memset(a, 0xAA, 8);
    std::memset(b, 0xBB, 8);
    EXPECT_EQ(buf.MappedCount(), 3);
    EXPECT_EQ(buf.IndexOfMapped(b), 2);
    buf.UnMap(w);
    buf.UnMap(b);
    buf.UnMap(a);
    EXPECT_EQ(buf.MappedCount(), 0);
    // Beyond the end of the stream the copy reads as zeros.
    auto* tail = static_cast<uint8_t*>(buf.Map(IEFB_READ, 4090, 10));
    EXPECT_EQ(std::memcmp(tail, base.data() + 4090, 6), 0);
    EXPECT_EQ(std::vector<uint8_t>(tail + 6, tail + 10), std::vector<uint8_t>(4, 0));
    buf.UnMap(tail);
    EXPECT_EQ(buf.Map(IEFB_READ, 0, 0), nullptr);

    std::vector<uint8_t> now(4096);
    s->Seek(0, soBeginning);
    s->ReadBuffer(now.data(), 4096);
    auto expect = base;
    std::memset(expect.data() + 2000, 0x11, 50);
    std::memset(expect.data() + 3000, 0xAA, 8);
    EXPECT_EQ(now, expect);

    int dummy;
    EXPECT_THROW(buf.UnMap(&dummy), EListError);
    // Close writes back what is still mapped, then drops the stream.
    auto* last = static_cast<uint8_t*>(buf.Map(IEFB_WRITE, 0, 4));
    std::memset(last, 0x77, 4);
    buf.UnMapAll();
    s->Seek(0, soBeginning);
    uint8_t four[4];
    s->ReadBuffer(four, 4);
    EXPECT_EQ(four[0], 0x77);
    buf.Map(IEFB_WRITE, 0, 4);
    buf.Close();
    EXPECT_FALSE(buf.IsAllocated());
    EXPECT_EQ(buf.MappedCount(), 0);
  }
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST(TempFile, MappingsBeyondFourGigabytes) {
  testsupport::TempDir dir;
  TempFolderOverride own(dir.path() + "/");
  TIEFileBuffer buf;
  const int64_t size = (int64_t(5) << 30) + 12345;  // sparse: no disk space used
  if (!buf.AllocateFile("IMG", true, size)) GTEST_SKIP() << "no sparse 5 GiB temp file here";
  EXPECT_EQ(buf.GetStream()->GetSize(), size);
  const int64_t at = (int64_t(4) << 30) + 4093;  // straddles the 4 GiB line plus a bit
  auto* w = static_cast<uint8_t*>(buf.Map(IEFB_WRITE, at, 5000));
  const auto data = Pattern(5000, 99);
  std::memcpy(w, data.data(), 5000);
  buf.UnMap(w);
  // The bytes sit at the 64-bit offset in the file itself...
  auto* fs = dynamic_cast<TIETemporaryFileStream*>(buf.GetStream());
  ASSERT_NE(fs, nullptr);
  std::vector<uint8_t> raw(5000);
  ASSERT_EQ(pread(fs->GetHandle(), raw.data(), raw.size(), at), 5000);
  EXPECT_EQ(raw, data);
  // ...not at their 32-bit truncation.
  ASSERT_EQ(pread(fs->GetHandle(), raw.data(), raw.size(), at & 0xFFFFFFFF), 5000);
  EXPECT_EQ(raw, std::vector<uint8_t>(5000, 0));
  auto* r = static_cast<uint8_t*>(buf.Map(IEFB_READ, at + 1, 10));
  EXPECT_EQ(std::memcmp(r, data.data() + 1, 10), 0);
  buf.UnMap(r);
}

TEST(TempFile, CopyToCopiesStreamToStream) {
  testsupport::TempDir dir;
  TempFolderOverride own(dir.path() + "/");
  const int64_t size = 2621440;  // 2.5 MB: chunks of 1 MB, 1 MB, 0.5 MB
  TIEFileBuffer src, dst, none;
  ASSERT_TRUE(src.AllocateFile("IMG", true, size));
  ASSERT_TRUE(dst.AllocateFile("IMG", false, size));
  const auto data = Pattern(static_cast<size_t>(size), 1);
  src.GetStream()->Seek(0, soBeginning);
  src.GetStream()->WriteBuffer(data.data(), size);
  // A pending write in the source reaches the copy.
  auto* w = static_cast<uint8_t*>(src.Map(IEFB_WRITE, size - 3, 3));
  std::memset(w, 0xFE, 3);

  dst.CopyTo(&src, 0, 0);  // 0 bytes: nothing moves
  src.CopyTo(&dst, size, 0);
  EXPECT_EQ(src.MappedCount(), 0);
  std::vector<uint8_t> got(static_cast<size_t>(size));
  dst.GetStream()->Seek(0, soBeginning);
  dst.GetStream()->ReadBuffer(got.data(), size);
  auto expect = data;
  std::memset(expect.data() + size - 3, 0xFE, 3);
  EXPECT_EQ(got, expect);

  src.CopyTo(&none, size, 0);  // no stream on one side: nothing happens
  EXPECT_THROW(src.CopyTo(&dst, size, 1), EReadError);  // runs past the source's end
}

}  // namespace
