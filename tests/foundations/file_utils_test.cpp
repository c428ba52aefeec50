// File-name and URL tests, locale-free number text and rationals.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "foundations/file_utils.h"
#include "foundations/number_text.h"
#include "foundations/settings.h"
#include "support/test_support.h"

namespace {

TEST(FileNames, ExtensionsPathsAndNames) {
  struct Ext {
    const char* Name;
    const char* NoDot;
    const char* WithDot;
  } exts[] = {
      {"A.TIF", "tif", ".tif"},
      {"noext", "", ""},
      {"/home/me/pages.v2/scan", "", ""},  // the dot is in a folder name
      {"C:\\dir.x\\FAX.Tiff", "tiff", ".tiff"},
      {"archive.tar.GZ", "gz", ".gz"},
      {"trailingdot.", "", "."},
  };
  for (const auto& e : exts) {
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(IEExtractFileExt(e.Name, false), e.NoDot);
    EXPECT_EQ(IEExtractFileExt(e.Name, true), e.WithDot);
    EXPECT_EQ(IEFileExtension(e.Name), e.WithDot);
  }

  struct Split {
    const char* Name;
    const char* Path;
    const char* File;
  } splits[] = {
      {"/tmp/a/b.tif", "/tmp/a/", "b.tif"},
      {"C:\\docs\\fax.tif", "C:\\docs\\", "fax.tif"},
      {"C:fax.tif", "C:", "fax.tif"},
      {"plain.tif", "", "plain.tif"},
      {"/only/folder/", "/only/folder/", ""},
  };
  for (const auto& s : splits) {
    SCOPED_TRACE(s.Name);
    EXPECT_EQ(IEExtractFilePathW(s.Name), s.Path);
    EXPECT_EQ(IEExtractFileNameW(s.Name), s.File);
  }
}

TEST(FileNames, ExistenceAndURLs) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.file("f"), {1});
  for (bool useRtl : {false, true}) {
    IEUseFileExists = useRtl;
    EXPECT_TRUE(IEFileExists(dir.file("f")));
    EXPECT_FALSE(IEFileExists(dir.path()));  // a folder is not a file
    EXPECT_FALSE(IEFileExists(dir.file("missing")));
  }
  IEUseFileExists = false;
  EXPECT_TRUE(IEFileExistsW(dir.file("f")));

  struct Url {
    const char* Name;
    int32_t Type;
  } urls[] = {{"http://x/a.tif", 1}, {"HTTPS://X/A.TIF", 2}, {"ftp://host/f", 3},
              {"http:/single", 0},   {"file:///tmp/x", 0},   {"", 0}};
  for (const auto& u : urls) EXPECT_EQ(IEGetURLType(u.Name), u.Type) << u.Name;
}

TEST(NumberText, FloatsReadAndWrittenWhateverTheLocale) {
  // A locale with a decimal comma, when the system has one.
  const char* saved = std::setlocale(LC_ALL, nullptr);
  std::string keep = saved ? saved : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) std::setlocale(LC_ALL, "fr_FR.UTF-8");
  for (const char* s : {"1.5", "1,5", " 1.5 ", "1.5e0"}) EXPECT_EQ(IEStrToFloatDef(s, -1), 1.5L) << s;
  for (const char* s : {"", "abc", "1,5,5", "--1"}) EXPECT_EQ(IEStrToFloatDef(s, -7), -7.0L) << s;
  EXPECT_EQ(IEParseFloatDef("2,25", 0), 2.25L);
  EXPECT_EQ(IEFloatToStrDot(1.5), "1.5");
  EXPECT_EQ(IEFloatToStrDot(1.0), "1");
  EXPECT_EQ(IEFloatToStrPoint(-0.125), "-0.125");
  std::setlocale(LC_ALL, keep.c_str());
}

TEST(NumberText, RationalsStayInRange) {
  struct Exact {
    double Value;
    int32_t Num, Den;
  } exact[] = {{0.5, 1, 2},      {3.0, 3, 1},        {-0.75, -3, 4},         {0.0, 0, 1},
               {1e20, 999999999, 1}, {-1e-20, -1, 999999999}, {5e9, 2147483647, 1}, {-3e9, -2147483647, 1},
               {2.5, 5, 2}};
  for (const auto& c : exact) {
    int32_t n = 0, d = 0;
    IEFloatToRational(n, d, c.Value, 0.0001);
    EXPECT_EQ(n, c.Num) << c.Value;
    EXPECT_EQ(d, c.Den) << c.Value;
  }
  // Values whose continued fractions run beyond 32 bits: the result is the
  // best convergent that fits, never a wrapped number.
  for (double v : {M_PI, 1234567.891011, 2147483646.5, 1e-12, 3.3e-10, 0.1, 72.0 / 7.0, 1e-9 + 1e-17}) {
    int32_t n = 0, d = 0;
    IEFloatToRational(n, d, v, 5e-9);
    ASSERT_GT(d, 0) << v;
    EXPECT_GE(n, 0) << v;
    const double err = std::fabs(v - static_cast<double>(n) / d);
    EXPECT_LE(err, std::max(5e-9, 1.0 / d)) << v << " -> " << n << "/" << d;
  }
  int32_t n = 1, d = 1;
  IEFloatToRational(n, d, std::numeric_limits<double>::quiet_NaN(), 0.0001);
  EXPECT_EQ(d, 1);
}

TEST(NumberText, SwapsAndThinWrappers) {
  EXPECT_EQ(IESwapWordIf(0x1234, true), 0x3412);
  EXPECT_EQ(IESwapWordIf(0x1234, false), 0x1234);
  EXPECT_EQ(IESwapDWordIf(0x12345678u, true), 0x78563412u);
  EXPECT_EQ(IESwapDWordIf(0x12345678u, false), 0x12345678u);
  EXPECT_EQ(IECopy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(IEPos("cd", "abcdef"), 3);
  EXPECT_EQ(IEPos("x", "abcdef"), 0);
  EXPECT_EQ(IEIntToHex(255, 2), "FF");
  char* dup = IEStrDup("text");
  ASSERT_NE(dup, nullptr);
  EXPECT_STREQ(dup, "text");
  std::free(dup);
  EXPECT_EQ(IEStrDup(nullptr), nullptr);
  char16_t buf[8];
  EXPECT_EQ(IEStrCopyW(buf, u"wide"), buf);
  EXPECT_EQ(std::u16string(buf), u"wide");
}

}  // namespace
