#include "platform/vcl/inifiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/rtl/lists.h"
#include "support/test_support.h"

namespace {

// Points the configuration folder at a fresh temporary folder for one test.
class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* Old = std::getenv("FOLIVRA_CONFIG_DIR");
    FOld = Old ? Old : "";
    FHadOld = Old != nullptr;
    setenv("FOLIVRA_CONFIG_DIR", FDir.path().c_str(), 1);
  }
  void TearDown() override {
    if (FHadOld) {
      setenv("FOLIVRA_CONFIG_DIR", FOld.c_str(), 1);
    } else {
      unsetenv("FOLIVRA_CONFIG_DIR");
    }
  }
  testsupport::TempDir FDir;
  std::string FOld;
  bool FHadOld = false;
};

const char* kKey = "Software\\\\Orvane\\\\Qelvo\\\\2.2.1";

TEST_F(IniFileTest, KeyBecomesAFileUnderTheConfigFolder) {
  // Doubled separators and dot parts never leave the folder.
  EXPECT_EQ(VclRegistryKeyPath(kKey), FDir.path() + "/Software/Orvane/Qelvo/2.2.1.ini");
  EXPECT_EQ(VclRegistryKeyPath("Software\\..\\..\\etc\\passwd"), FDir.path() + "/Software/etc/passwd.ini");
  EXPECT_EQ(VclRegistryKeyPath("\\\\"), FDir.path() + "/default.ini");
  {
    TRegistryIniFile Ini(kKey);
    Ini.WriteBool("Options", "StateMax", true);
  }
  EXPECT_TRUE(std::filesystem::exists(FDir.path() + "/Software/Orvane/Qelvo/2.2.1.ini"));
}

TEST_F(IniFileTest, ValuesPersistAcrossObjectsWithTheirTypes) {
  {
    TRegistryIniFile Ini(kKey);
    Ini.WriteString("Options", "BatchOutDir", "C:\\out \"new\"\nline");
    Ini.WriteInteger("Options", "BatchAdvOpt", -7);
    Ini.WriteBool("Options", "BatchAdvanced", true);
    Ini.WriteFloat("Other", "Ratio", 1.25);
    Ini.WriteString("Options", "Digits", "123");
  }
  TRegIniFile Ini(kKey);
  EXPECT_EQ(Ini.ReadString("options", "batchoutdir", "bla-bla"), "C:\\out \"new\"\nline");
  EXPECT_EQ(Ini.ReadInteger("Options", "BatchAdvOpt", 0), -7);
  EXPECT_TRUE(Ini.ReadBool("Options", "BatchAdvanced", false));
  EXPECT_DOUBLE_EQ(Ini.ReadFloat("Other", "Ratio", 0), 1.25);
  // A string that looks like a number stays a string; reading it as an
  // integer converts it, as registry values do.
  EXPECT_EQ(Ini.ReadString("Options", "Digits", ""), "123");
  EXPECT_EQ(Ini.ReadInteger("Options", "Digits", 0), 123);
  // An integer read as a string gives its digits.
  EXPECT_EQ(Ini.ReadString("Options", "BatchAdvOpt", ""), "-7");
}

TEST_F(IniFileTest, DefaultsForMissingOrUnconvertibleValues) {
  TRegistryIniFile Ini(kKey);
  EXPECT_EQ(Ini.ReadString("Options", "BatchOutDir", "bla-bla"), "bla-bla");
  EXPECT_EQ(Ini.ReadInteger("Options", "NewDelay", 50), 50);
  EXPECT_FALSE(Ini.ReadBool("Options", "StateMax", false));
  EXPECT_TRUE(Ini.ReadBool("Nowhere", "StateMax", true));
  Ini.WriteString("Options", "ImEdDir", "mspaint.exe");
  EXPECT_EQ(Ini.ReadInteger("Options", "ImEdDir", 50), 50);
  EXPECT_FALSE(Ini.SectionExists("Nowhere"));
  EXPECT_TRUE(Ini.ValueExists("Options", "ImEdDir"));
}

TEST_F(IniFileTest, TwoObjectsOnOneKeySeeEachOthersWrites) {
  TRegistryIniFile A(kKey);
  TRegistryIniFile B(kKey);
  A.WriteInteger("Options", "NewDelay", 10);
  EXPECT_EQ(B.ReadInteger("Options", "NewDelay", 50), 10);
  B.WriteInteger("Options", "NewDelay", 20);
  EXPECT_EQ(A.ReadInteger("Options", "NewDelay", 50), 20);
  // Other keys are other files.
  TRegistryIniFile C("Software\\Orvane\\Qelv\\2.2.1");
  EXPECT_EQ(C.ReadInteger("Options", "NewDelay", 50), 50);
}

TEST_F(IniFileTest, SectionsListsAndRemoval) {
  TRegistryIniFile Ini(kKey);
  Ini.WriteInteger("B", "Two", 2);
  Ini.WriteInteger("A", "One", 1);
  Ini.WriteInteger("B", "Three", 3);
  Ini.WriteInteger("b", "TWO", 22);  // same value, other case
  TStringList L;
  Ini.ReadSections(&L);
  ASSERT_EQ(L.GetCount(), 2);
  EXPECT_EQ(L[0], "B");
  EXPECT_EQ(L[1], "A");
  Ini.ReadSection("B", &L);
  ASSERT_EQ(L.GetCount(), 2);
  EXPECT_EQ(L[0], "Two");
  EXPECT_EQ(L[1], "Three");
  Ini.ReadSectionValues("B", &L);
  EXPECT_EQ(L[0], "Two=22");
  Ini.DeleteKey("B", "two");
  EXPECT_FALSE(Ini.ValueExists("B", "Two"));
  EXPECT_TRUE(Ini.ValueExists("B", "Three"));
  Ini.EraseSection("b");
  EXPECT_FALSE(Ini.SectionExists("B"));
  EXPECT_TRUE(Ini.SectionExists("A"));
}

TEST_F(IniFileTest, NamesThatWouldBreakTheFileAreRefused) {
  TRegistryIniFile Ini(kKey);
  EXPECT_THROW(Ini.WriteString("Options", "A=B", "x"), ERegistryException);
  EXPECT_THROW(Ini.WriteString("Options", "", "x"), ERegistryException);
  EXPECT_THROW(Ini.WriteString("Sec]tion", "Name", "x"), ERegistryException);
  EXPECT_THROW(Ini.WriteString("Options", "Line\nBreak", "x"), ERegistryException);
  // Names the file would read back as a comment or a section header.
  for (const char* Name : {";Note", "#Note", "[Note"})
    EXPECT_THROW(Ini.WriteInteger("Options", Name, 1), ERegistryException);
  // Nothing was written.
  EXPECT_FALSE(Ini.SectionExists("Options"));
}

TEST_F(IniFileTest, PlainIniFileAndHandEditedText) {
  const std::string Path = FDir.file("plain.ini");
  testsupport::WriteFileBytes(Path, std::vector<uint8_t>{});
  {
    std::string Text = "; comment\r\n[Main]\r\nWidth = 640\r\nTitle=Hello world\r\nbroken line\r\n = nameless\r\n[Empty]\r\n";
    testsupport::WriteFileBytes(Path, std::vector<uint8_t>(Text.begin(), Text.end()));
  }
  TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadInteger("Main", "Width", 0), 640);
  EXPECT_EQ(Ini.ReadString("Main", "Title", ""), "Hello world");
  EXPECT_TRUE(Ini.SectionExists("Empty"));
  EXPECT_EQ(Ini.SectionNames("Main"), (std::vector<std::string>{"Width", "Title"}));
  Ini.WriteString("Main", "Title", "Changed");
  TIniFile Again(Path);
  EXPECT_EQ(Again.ReadString("Main", "Title", ""), "Changed");
  EXPECT_EQ(Again.ReadInteger("Main", "Width", 0), 640);
}

TEST_F(IniFileTest, UnwritableFolderFailsCleanly) {
  const std::string Blocker = FDir.file("blocker");
  testsupport::WriteFileBytes(Blocker, {1, 2, 3});
  // A file where the folder should be.
  setenv("FOLIVRA_CONFIG_DIR", Blocker.c_str(), 1);
  TRegistryIniFile Ini("Software\\X");
  EXPECT_THROW(Ini.WriteInteger("S", "V", 1), ERegistryException);
  EXPECT_EQ(Ini.ReadInteger("S", "V", 5), 5);
}

}  // namespace
