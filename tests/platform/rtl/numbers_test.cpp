// Rounding, integer arithmetic and number text of the runtime layer.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

TEST(Numbers, IERoundHalvesGoToEven) {
  struct Case { long double In; int32_t Out; };
  const Case Cases[] = {
      {0.5L, 0},   {1.5L, 2},   {2.5L, 2},    {3.5L, 4},   {-0.5L, 0},  {-1.5L, -2},
      {-2.5L, -2}, {0.49L, 0},  {0.51L, 1},   {-0.51L, -1}, {2.4999L, 2}, {1e9L + 0.5L, 1000000000},
      {0, 0},      {7, 7},      {-7, -7},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IERound(C.In), C.Out) << static_cast<double>(C.In);
    EXPECT_EQ(IERound(static_cast<double>(C.In)), C.Out) << static_cast<double>(C.In);
  }
  EXPECT_EQ(IERound(2.5f), 2);
  EXPECT_EQ(IERound64(4294967296.5L), 4294967296LL);
  EXPECT_EQ(IERound64(-4294967297.5L), -4294967298LL);
}

TEST(Numbers, RoundingAndTruncOutOfRangeSaturate) {
  const long double NaN = std::numeric_limits<long double>::quiet_NaN();
  EXPECT_EQ(IERound(1e20L), INT32_MAX);
  EXPECT_EQ(IERound(-1e20L), INT32_MIN);
  EXPECT_EQ(IERound(NaN), 0);
  EXPECT_EQ(Trunc(1e20L), INT32_MAX);
  EXPECT_EQ(Trunc64(-1e30L), INT64_MIN);
  EXPECT_EQ(Trunc(NaN), 0);
}

TEST(Numbers, TruncCutsTowardZero) {
  EXPECT_EQ(Trunc(2.9L), 2);
  EXPECT_EQ(Trunc(-2.9L), -2);
  EXPECT_EQ(Trunc64(-5000000000.7L), -5000000000LL);
  EXPECT_NEAR(static_cast<double>(Frac(-2.25L)), -0.25, 1e-12);
}

TEST(Numbers, MulDivRoundsHalvesAwayFromZero) {
  struct Case { int32_t A, B, C, Out; };
  const Case Cases[] = {
      {5, 1, 2, 3},     {-5, 1, 2, -3},    {5, -1, 2, -3},   {-5, -1, 2, 3},
      {7, 1, 3, 2},     {8, 1, 3, 3},      {-8, 1, 3, -3},   {5, 1, -2, -3},
      {100, 96, 72, 133},                   // 133.33
      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},  // needs the 64-bit product
      {1, 2, 0, -1},                        // zero divisor
      {INT32_MAX, 2, 1, -1},                // result does not fit
  };
  for (const auto& C : Cases) EXPECT_EQ(MulDiv(C.A, C.B, C.C), C.Out) << C.A << "*" << C.B << "/" << C.C;
}

TEST(Numbers, IntegerText) {
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToStr(int64_t(1) << 40), "1099511627776");
  EXPECT_EQ(IntToStr(uint32_t(4000000000u)), "4000000000");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(uint8_t(0xAB), 2), "AB");
  EXPECT_EQ(IntToHex(int64_t(-1), 1), "FFFFFFFFFFFFFFFF");
  // Other integer types pick the matching width.
  EXPECT_EQ(IntToStr(static_cast<long long>(-5000000000LL)), "-5000000000");
  EXPECT_EQ(IntToStr(static_cast<unsigned short>(65535)), "65535");
  EXPECT_EQ(IntToHex(static_cast<int16_t>(-1), 4), "FFFFFFFF");
  EXPECT_EQ(IntToHex(static_cast<long long>(-2), 4), "FFFFFFFFFFFFFFFE");
  EXPECT_EQ(IERound(7LL), 7);

  struct Case { const char* In; bool Ok; int32_t Out; };
  const Case Cases[] = {
      {"12", true, 12},          {" -7 ", true, -7},        {"+3", true, 3},
      {"$1F", true, 31},         {"0x10", true, 16},        {"$FFFFFFFF", true, -1},
      {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},  {"", false, 0},            {"1.5", false, 0},
      {"12abc", false, 0},       {"-", false, 0},           {"$", false, 0},
      {"99999999999999999999999", false, 0},
  };
  for (const auto& C : Cases) {
    int32_t V = 0;
    EXPECT_EQ(TryStrToInt(C.In, V), C.Ok) << C.In;
    if (C.Ok) {
      EXPECT_EQ(V, C.Out) << C.In;
    }
    EXPECT_EQ(StrToIntDef(C.In, -99), C.Ok ? C.Out : -99) << C.In;
  }
  try {
    StrToInt("x1");
    FAIL() << "no exception";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message, "'x1' is not a valid integer value");
  }
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 5), 5);
}

TEST(Numbers, FloatText) {
  struct Case { long double In; const char* Out; };
  const Case Cases[] = {
      {0.1L, "0.1"},       {-2.5L, "-2.5"},    {100, "100"},     {1e20L, "1E20"},
      {1e15L, "1E15"},     {123456789012345.0L, "123456789012345"},
      {0.0001L, "0.0001"}, {0.00001L, "1E-5"}, {-0.0L, "0"},     {1.0L / 3, "0.333333333333333"},
  };
  for (const auto& C : Cases) EXPECT_EQ(FloatToStr(C.In), C.Out);
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::infinity()), "INF");
  EXPECT_EQ(FloatToStrF(3.14159L, ffFixed, 15, 2), "3.14");
  EXPECT_EQ(FloatToStrF(-0.001L, ffFixed, 15, 2), "0.00");
  EXPECT_EQ(FloatToStrF(1234567.891L, ffNumber, 15, 1), "1,234,567.9");
  EXPECT_EQ(FloatToStrF(123.0L, ffExponent, 4, 2), "1.230E+02");
  EXPECT_EQ(FloatToStrF(2.0L / 3, ffGeneral, 4, 0), "0.6667");

  struct Parse { const char* In; bool Ok; double Out; };
  const Parse Parses[] = {
      {"2.5", true, 2.5},  {" -1e3 ", true, -1000}, {".5", true, 0.5}, {"5.", true, 5},
      {"2,5", false, 0},   {"", false, 0},          {"1e", false, 0},  {"inf", false, 0},
      {"nan", false, 0},   {"0x10", false, 0},      {"1e99999", false, 0},
  };
  for (const auto& P : Parses) {
    long double V = 0;
    EXPECT_EQ(TryStrToFloat(P.In, V), P.Ok) << P.In;
    if (P.Ok) {
      EXPECT_DOUBLE_EQ(static_cast<double>(V), P.Out) << P.In;
    }
  }
  EXPECT_EQ(static_cast<double>(StrToFloatDef("junk", 7)), 7.0);
  double D = 0;
  EXPECT_FALSE(TryStrToFloat("1e400", D));  // beyond double
  try {
    StrToFloat("1,5");
    FAIL() << "no exception";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message, "'1,5' is not a valid floating point value");
  }
}

// Number text stays with "." when the process runs under a locale whose
// decimal separator is a comma. No such locale may be installed: then one is
// compiled into a scratch folder.
TEST(Numbers, NumberTextIgnoresTheProcessLocale) {
  const char* Names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
  bool Have = false;
  for (const char* N : Names)
    if (std::setlocale(LC_ALL, N) != nullptr) {
      Have = true;
      break;
    }
  testsupport::TempDir Dir;
  if (!Have && testsupport::HaveTool("localedef")) {
    testsupport::RunCommand("localedef -i de_DE -f UTF-8 " + Dir.path() + "/de_DE.UTF-8 >/dev/null 2>&1");
    setenv("LOCPATH", Dir.path().c_str(), 1);
    Have = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  if (!Have) {
    unsetenv("LOCPATH");
    GTEST_SKIP() << "no locale with a comma decimal separator";
  }
  char Probe[32];
  std::snprintf(Probe, sizeof Probe, "%.1f", 2.5);
  const bool Comma = std::string(Probe) == "2,5";

  const std::string F1 = FloatToStr(2.5L);
  const std::string F2 = Format("%.2f|%g", 1.25, 0.5);
  const std::string F3 = FloatToStrF(1234.5L, ffNumber, 15, 1);
  long double V = 0;
  const bool Parsed = TryStrToFloat("3.75", V);

  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  ASSERT_TRUE(Comma) << "locale did not switch the separator: " << Probe;
  EXPECT_EQ(F1, "2.5");
  EXPECT_EQ(F2, "1.25|0.5");
  EXPECT_EQ(F3, "1,234.5");
  EXPECT_TRUE(Parsed);
  EXPECT_EQ(static_cast<double>(V), 3.75);
}

TEST(Numbers, TextHelpers) {
  EXPECT_EQ(Format("%s=%d %5.2f %%", "x", 3, 2.0), "x=3  2.00 %");
  const std::string Long(1000, 'a');
  EXPECT_EQ(Format("%s!", Long.c_str()), Long + "!");
  EXPECT_EQ(UpperCase("abz_é"), "ABZ_é");
  EXPECT_EQ(LowerCase("ABZ"), "abz");
  EXPECT_TRUE(SameText("Hello", "hELLO"));
  EXPECT_FALSE(SameText("Hello", "Hell"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareStr("abc", "ABC"), 0);
  EXPECT_EQ(CompareStr("ab", "ab"), 0);
  EXPECT_LT(CompareStr("ab", "abc"), 0);
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(Pos("lo", "hello"), 4);
  EXPECT_EQ(Pos("x", "hello"), 0);
  EXPECT_EQ(Copy("hello", 2, 3), "ell");
  EXPECT_EQ(Copy("hello", 4, 100), "lo");
  EXPECT_EQ(Copy("hello", 9, 1), "");
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(StringReplace("aAaA", "a", "x", rfReplaceAll), "xAxA");
  EXPECT_EQ(StringReplace("aAaA", "a", "x", rfReplaceAll | rfIgnoreCase), "xxxx");
  EXPECT_EQ(StringReplace("aAaA", "A", "yy", 0), "ayyaA");
}

TEST(Numbers, ExceptionsCarryTheirMessage) {
  try {
    Abort();
  } catch (const Exception& E) {
    EXPECT_NE(dynamic_cast<const EAbort*>(&E), nullptr);
    EXPECT_EQ(E.Message, "Operation aborted");
    EXPECT_STREQ(E.what(), "Operation aborted");
    EXPECT_EQ(E.ClassName(), "EAbort");
  }
  EInOutError Io("disk", 5);
  EXPECT_EQ(Io.ErrorCode, 5);
  try {
    RaiseLastOSError(2);
  } catch (const EOSError& E) {
    EXPECT_EQ(E.ErrorCode, 2u);
    EXPECT_EQ(E.Message, "System Error.  Code: 2.\n" + SysErrorMessage(2));
  }
}

TEST(Numbers, DatesCountDaysFrom1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  const TDateTime D = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 250);
  EXPECT_EQ(DateTimeToStr(D), "2024-02-29 13:05:09");
  uint16_t H, M, S, Ms;
  DecodeTime(D, H, M, S, Ms);
  EXPECT_EQ(Ms, 250);
  // Damaged stamps (NaN, infinities, far outside the years 1..9999) decode
  // to dates that exist instead of undefined conversions.
  uint16_t Y, Mo, Dd;
  for (TDateTime Bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300}) {
    DecodeDate(Bad, Y, Mo, Dd);
    DecodeTime(Bad, H, M, S, Ms);
    EXPECT_TRUE(Y >= 1 && Y <= 9999 && Mo >= 1 && Mo <= 12 && Dd >= 1 && Dd <= 31) << Bad;
    EXPECT_LT(H, 24);
  }
  // Now is today's local date.
  const TDateTime N = Now();
  EXPECT_GT(N, EncodeDate(2020, 1, 1));
  EXPECT_EQ(DateToStr(N), DateToStr(Date()));
  const uint32_t T0 = GetTickCount();
  Sleep(2);
  EXPECT_GE(static_cast<uint32_t>(GetTickCount() - T0), 1u);
}
