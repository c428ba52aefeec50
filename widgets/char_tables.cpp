#include "widgets/char_tables.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <cctype>

#include "platform/rtl/sysutils.h"

TWideTextCompare WideTextCompareProc = nullptr;

void BuildCharTables(TCharTables& T) {
  for (int C = 0; C < 256; ++C) {
    uint16_t Bits = 0;
    if (C < 128) {
      if (std::isupper(C)) Bits |= C1_UPPER;
      if (std::islower(C)) Bits |= C1_LOWER;
      if (std::isdigit(C)) Bits |= C1_DIGIT;
      if (std::isspace(C)) Bits |= C1_SPACE;
      if (std::ispunct(C)) Bits |= C1_PUNCT;
      if (std::iscntrl(C)) Bits |= C1_CNTRL;
      if (C == ' ' || C == '\t') Bits |= C1_BLANK;
      if (std::isxdigit(C)) Bits |= C1_XDIGIT;
      if (std::isalpha(C)) Bits |= C1_ALPHA;
    }
    T.CharType[C] = Bits;
  }
  if (T.Built) return;
  for (int C = 0; C < 256; ++C) {
    T.Lower[C] = static_cast<uint8_t>(C < 128 ? std::tolower(C) : C);
    T.Upper[C] = static_cast<uint8_t>(C < 128 ? std::toupper(C) : C);
    if (T.CharType[C] & C1_UPPER) {
      T.Toggle[C] = T.Lower[C];
    } else if (T.CharType[C] & C1_LOWER) {
      T.Toggle[C] = T.Upper[C];
    } else {
      T.Toggle[C] = static_cast<uint8_t>(C);
    }
  }
  T.Built = true;
}

namespace {
TCharTables& Tables() {
  static TCharTables T;
  return T;
}
}  // namespace

const TCharTables& CharTables() {
  if (!Tables().Built) BuildCharTables(Tables());
  return Tables();
}

int32_t CharOccurrences(const std::string& S, char C) {
  int32_t N = 0;
  for (char X : S) N += X == C;
  return N;
}

int32_t SystemAnsiCodePage() { return 65001; }

int32_t LocaleAnsiCodePage(const std::string& Locale) {
  const size_t Dot = Locale.find('.');
  if (Dot == std::string::npos) return SystemAnsiCodePage();
  std::string Set = Locale.substr(Dot + 1);
  const size_t At = Set.find('@');
  if (At != std::string::npos) Set.resize(At);
  static const std::pair<const char*, int32_t> Known[] = {
      {"UTF-8", 65001},       {"UTF8", 65001},        {"ISO-8859-1", 28591}, {"ISO8859-1", 28591},
      {"ISO-8859-2", 28592},  {"ISO8859-2", 28592},   {"ISO-8859-15", 28605}, {"ISO8859-15", 28605},
      {"KOI8-R", 20866},      {"CP1252", 1252},       {"CP1251", 1251},      {"CP1250", 1250},
      {"EUC-JP", 20932},      {"SJIS", 932},          {"GB2312", 936},       {"BIG5", 950},
      {"ANSI_X3.4-1968", 20127}, {"ASCII", 20127},
  };
  for (auto& [Name, Page] : Known)
    if (SameText(Set, Name)) return Page;
  return SystemAnsiCodePage();
}

namespace {
int32_t Sign(int V) { return V < 0 ? -1 : (V > 0 ? 1 : 0); }
QLocale LocaleOf(const std::string& Locale) {
  return Locale.empty() ? QLocale() : QLocale(QString::fromStdString(Locale));
}
}  // namespace

int32_t CompareWideNT(const std::u16string& A, const std::u16string& B, const std::string& Locale) {
  QCollator Collator(LocaleOf(Locale));
  Collator.setCaseSensitivity(Qt::CaseInsensitive);
  return Sign(Collator.compare(QString::fromStdU16String(A), QString::fromStdU16String(B)));
}

int32_t CompareWideViaAnsi(const std::u16string& A, const std::u16string& B, const std::string& Locale) {
  // Through 8-bit text: what the code page cannot hold compares as "?".
  auto Narrow = [](const std::u16string& S) {
    QString Q = QString::fromStdU16String(S);
    return QString::fromLocal8Bit(Q.toLocal8Bit());
  };
  QCollator Collator(LocaleOf(Locale));
  Collator.setCaseSensitivity(Qt::CaseInsensitive);
  return Sign(Collator.compare(Narrow(A), Narrow(B)));
}

void CharTablesStartup() {
  BuildCharTables(Tables());
  WideTextCompareProc = &CompareWideNT;
}
