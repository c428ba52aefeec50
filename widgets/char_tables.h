#pragma once
// Per-byte character classes and case tables built at start-up, the
// character counter of the spin edit, a locale's code page and the
// case-insensitive, locale-aware comparison of wide texts. Bytes are
// classified as the "C" locale does: text here is UTF-8, so a byte of 128 or
// more is no character of its own and has no class.
#include <array>
#include <cstdint>
#include <string>

// Class bits of a byte (the classic CT_CTYPE1 set).
enum : uint16_t {
  C1_UPPER = 0x0001, C1_LOWER = 0x0002, C1_DIGIT = 0x0004, C1_SPACE = 0x0008, C1_PUNCT = 0x0010,
  C1_CNTRL = 0x0020, C1_BLANK = 0x0040, C1_XDIGIT = 0x0080, C1_ALPHA = 0x0100
};

struct TCharTables {
  std::array<uint16_t, 256> CharType{};
  std::array<uint8_t, 256> Lower{};
  std::array<uint8_t, 256> Upper{};
  // Upper case becomes lower, lower case upper, anything else stays.
  std::array<uint8_t, 256> Toggle{};
  bool Built = false;
};
// Fills the tables (once; later calls keep them).
void BuildCharTables(TCharTables& Tables);
// The tables of the string units, built at their start-up.
const TCharTables& CharTables();

// The number of positions of S holding C.
int32_t CharOccurrences(const std::string& S, char C);

// The system's 8-bit code page: 65001, text being UTF-8.
int32_t SystemAnsiCodePage();
// The code page of a locale's character set ("de_DE.ISO-8859-1" gives
// 28591); the system's when the locale has none this knows.
int32_t LocaleAnsiCodePage(const std::string& Locale);

// Case-insensitive comparisons answering -1, 0 or 1.
using TWideTextCompare = int32_t (*)(const std::u16string& A, const std::u16string& B, const std::string& Locale);
int32_t CompareWideNT(const std::u16string& A, const std::u16string& B, const std::string& Locale);
int32_t CompareWideViaAnsi(const std::u16string& A, const std::u16string& B, const std::string& Locale);
// Chosen at start-up: the wide comparison, this system being of the NT kind.
extern TWideTextCompare WideTextCompareProc;
void CharTablesStartup();
