// File-name helpers and file-system queries.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

TEST(Files, NameParts) {
  struct Case { const char* In; const char* Path; const char* Dir; const char* Name; const char* Ext; };
  const Case Cases[] = {
      {"/a/b/c.tif", "/a/b/", "/a/b", "c.tif", ".tif"},
      {"a\\b\\c.tar.gz", "a\\b\\", "a\\b", "c.tar.gz", ".gz"},
      {"/a.d/file", "/a.d/", "/a.d", "file", ""},
      {"c:\\x\\y.", "c:\\x\\", "c:\\x", "y.", "."},
      {"name.jpg", "", "", "name.jpg", ".jpg"},
      {"/root.txt", "/", "/", "root.txt", ".txt"},
      {"/dir/", "/dir/", "/dir", "", ""},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(ExtractFilePath(C.In), C.Path) << C.In;
    EXPECT_EQ(ExtractFileDir(C.In), C.Dir) << C.In;
    EXPECT_EQ(ExtractFileName(C.In), C.Name) << C.In;
    EXPECT_EQ(ExtractFileExt(C.In), C.Ext) << C.In;
  }
  EXPECT_EQ(ChangeFileExt("/a.b/c.tif", ".png"), "/a.b/c.png");
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".png"), "/a.b/c.png");
  EXPECT_EQ(ChangeFileExt("x\\y.tif", ""), "x\\y");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("c:\\tmp\\"), "c:\\tmp\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp/"), "/tmp");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("a\\"), "a");
}

TEST(Files, ExpandFileNameFoldsDotsAndSeparators) {
  EXPECT_EQ(ExpandFileName("/a/./b/../c"), "/a/c");
  EXPECT_EQ(ExpandFileName("\\a\\b\\..\\c.tif"), "/a/c.tif");
  EXPECT_EQ(ExpandFileName("/../.."), "/");
  EXPECT_EQ(ExpandFileName("/a//b/"), "/a/b/");
  EXPECT_EQ(ExpandFileName("rel/x.tif"), IncludeTrailingPathDelimiter(GetCurrentDir()) + "rel/x.tif");
  EXPECT_EQ(ExpandFileName(""), "");
}

TEST(Files, ExistsDeleteRenameAndSizes) {
  testsupport::TempDir Dir;
  const std::string A = Dir.file("a.bin"), B = Dir.file("b.bin");
  testsupport::WriteFileBytes(A, {1, 2, 3, 4, 5});
  EXPECT_TRUE(FileExists(A));
  EXPECT_FALSE(FileExists(Dir.path()));  // a folder is not a file
  EXPECT_TRUE(DirectoryExists(Dir.path()));
  EXPECT_FALSE(DirectoryExists(A));
  EXPECT_EQ(FileSizeByName(A), 5);
  EXPECT_EQ(FileSizeByName(Dir.file("none")), -1);

  // Renaming never overwrites an existing file.
  testsupport::WriteFileBytes(B, {9});
  EXPECT_FALSE(RenameFile(A, B));
  EXPECT_EQ(testsupport::ReadFileBytes(B), std::vector<uint8_t>{9});
  EXPECT_TRUE(DeleteFile(B));
  EXPECT_FALSE(DeleteFile(B));
  EXPECT_TRUE(RenameFile(A, B));
  EXPECT_FALSE(FileExists(A));
  EXPECT_EQ(FileSizeByName(B), 5);
  EXPECT_FALSE(DeleteFile(Dir.path()));

  const std::string Deep = Dir.path() + "/x/y\\z";
  EXPECT_TRUE(ForceDirectories(Deep));
  EXPECT_TRUE(DirectoryExists(Dir.path() + "/x/y/z"));
  EXPECT_TRUE(ForceDirectories(Deep + "/"));
  EXPECT_FALSE(ForceDirectories(B + "/sub"));  // a file in the way
  EXPECT_FALSE(ForceDirectories(""));
}

TEST(Files, TempFolderAndSystemTexts) {
  const char* Old = getenv("TMPDIR");
  const std::string Saved = Old ? Old : "";
  testsupport::TempDir Dir;
  setenv("TMPDIR", Dir.path().c_str(), 1);
  EXPECT_EQ(GetTempFolder(), Dir.path() + "/");
  setenv("TMPDIR", (Dir.path() + "/").c_str(), 1);
  EXPECT_EQ(GetTempFolder(), Dir.path() + "/");
  setenv("TMPDIR", Dir.file("missing").c_str(), 1);
  EXPECT_EQ(GetTempFolder(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempFolder(), "/tmp/");
  if (Old) setenv("TMPDIR", Saved.c_str(), 1);

  EXPECT_EQ(SysErrorMessage(ENOENT), std::strerror(ENOENT));
  EXPECT_FALSE(SysErrorMessage(123456).empty());
  errno = 0;
  EXPECT_FALSE(FileExists("/definitely/not/here"));
  EXPECT_EQ(GetLastError(), ENOENT);
}
