#include "dialogs/word_tables.h"

#include <cctype>
#include <cstdlib>


const std::array<TIELANGUAGECHARINFO, IELanguageCount> IELanguageCharInfo = {{
    {1, "", 0},        // msSystem
    {1, "", 1252},     // msEnglish
    {1, "", 1252},     // msItalian
    {1, "", 1252},     // msGerman
    {1, "", 1252},     // msSpanish
    {1, "", 1252},     // msFrench
    {1, "", 1252},     // msPortuguese
    {161, "", 1253},   // msGreek
    {204, "", 1251},   // msRussian
    {1, "", 1252},     // msDutch
    {1, "", 1252},     // msSwedish
    {1, "", 1250},     // msPolish
    {1, "", 932},      // msJapanese
    {1, "", 1250},     // msCzech
    {1, "", 1252},     // msFinnish
    {178, "Tahoma", 1256},  // msFarsi
    {1, "", 936},      // msChinese
    {1, "", 950},      // msChineseTraditional
    {1, "", 1252},     // msDanish
    {1, "", 1254},     // msTurkish
    {1, "", 949},      // msKorean
    {1, "", 1250},     // msHungarian
    {1, "", 1252},     // msUser
}};

const char* const IELibraryVersion = "3.1.2";

namespace {

std::array<std::array<std::string, IEWordCount>, IELanguageCount>& Words() {
  static std::array<std::array<std::string, IEWordCount>, IELanguageCount> Table;
  return Table;
}

bool gFilled = false;

struct TSystemLocale {
  bool Read = false;
  TMsgLanguage Language = msEnglish;
};
TSystemLocale gSystemLocale;

bool ValidLanguage(TMsgLanguage Language) { return Language < IELanguageCount; }

}  // namespace

void IEWordStore(TMsgLanguage Language, uint8_t Index, const std::string& Text) {
  if (!ValidLanguage(Language) || Index >= IEWordCount) return;
  Words()[Language][Index] = Text;
}

void IEWordsInitialize() {
  for (int32_t L = msEnglish; L <= msHungarian; ++L) {
    const auto Language = static_cast<TMsgLanguage>(L);
    const auto* List = IENationalWordList(Language);
    for (int32_t I = 0; I < IEWordCount; ++I)
      if (List && *(*List)[I]) IEWordStore(Language, static_cast<uint8_t>(I), (*List)[I]);
  }
  gFilled = true;
}

void IEWordsFinalize() {
  for (auto& Row : Words())
    for (auto& Word : Row) Word.clear();
  gFilled = false;
}

void IEDefsInitialize() {
  IEGrayWeightRed = 21;
  IEGrayWeightGreen = 71;
  IEGrayWeightBlue = 8;
  IEPreviewBackgroundStyle = 0;
}

void IEDefsFinalize() {}

void IEWordLookup(uint8_t Index, TMsgLanguage Language, std::string& Result) {
  Result.clear();
  if (Index >= IEWordCount) return;
  if (!gFilled) IEWordsInitialize();
  // The system's language shows English too where its list has no word: a
  // blank caption helps nobody.
  if (Language == msSystem) Language = IESystemLanguage();
  if (ValidLanguage(Language)) Result = Words()[Language][Index];
  if (Result.empty()) Result = Words()[msEnglish][Index];
}

std::string IEWordLookup(uint8_t Index, TMsgLanguage Language) {
  std::string Result;
  IEWordLookup(Index, Language, Result);
  return Result;
}

TMsgLanguage IELanguageFromLocaleId(uint32_t LocaleId) {
  const uint32_t Primary = LocaleId & 0x3FF;
  const uint32_t Sub = (LocaleId >> 10) & 0x3F;
  switch (Primary) {
    case 0x04:
      return Sub == 1 ? msChineseTraditional : Sub == 2 ? msChinese : msEnglish;
    case 0x05: return msCzech;
    case 0x06: return msDanish;
    case 0x07: return msGerman;
    case 0x08: return msGreek;
    case 0x09: return msEnglish;
    case 0x0A: return msSpanish;
    case 0x0B: return msFinnish;
    case 0x0C: return msFrench;
    case 0x0E: return msHungarian;
    case 0x10: return msItalian;
    case 0x11: return msJapanese;
    case 0x12: return msKorean;
    case 0x13: return msDutch;
    case 0x15: return msPolish;
    case 0x16: return msPortuguese;
    case 0x19: return msRussian;
    case 0x1D: return msSwedish;
    case 0x1F: return msTurkish;
    case 0x29: return msFarsi;
    default: return msEnglish;
  }
}

uint32_t IELocaleIdFromName(const std::string& Name) {
  // "language[_TERRITORY][.codeset][@modifier]"
  std::string Lang, Territory;
  size_t I = 0;
  while (I < Name.size() && Name[I] != '_' && Name[I] != '.' && Name[I] != '@') Lang += char(std::tolower(Name[I++]));
  if (I < Name.size() && Name[I] == '_') {
    ++I;
    while (I < Name.size() && Name[I] != '.' && Name[I] != '@') Territory += char(std::toupper(Name[I++]));
  }
  struct TEntry {
    const char* Code;
    uint32_t Primary;
  };
  static const TEntry Languages[] = {
      {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A},
      {"fi", 0x0B}, {"fr", 0x0C}, {"hu", 0x0E}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
      {"nl", 0x13}, {"pl", 0x15}, {"pt", 0x16}, {"ru", 0x19}, {"sv", 0x1D}, {"tr", 0x1F},
      {"fa", 0x29}, {"zh", 0x04}};
  for (const TEntry& E : Languages) {
    if (Lang != E.Code) continue;
    uint32_t Sub = 1;
    if (E.Primary == 0x04) {
      // Taiwan 1, People's Republic 2, Hong Kong 3, Singapore 4, Macao 5.
      if (Territory == "TW") Sub = 1;
      else if (Territory == "CN" || Territory.empty()) Sub = 2;
      else if (Territory == "HK") Sub = 3;
      else if (Territory == "SG") Sub = 4;
      else if (Territory == "MO") Sub = 5;
      else Sub = 0;
    }
    return (Sub << 10) | E.Primary;
  }
  return 0x0409;
}

void IEReadSystemLocale() {
  std::string Name;
  for (const char* Var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* Value = std::getenv(Var);
    if (Value && *Value) {
      Name = Value;
      break;
    }
  }
  gSystemLocale.Language = IELanguageFromLocaleId(IELocaleIdFromName(Name));
  gSystemLocale.Read = true;
}

TMsgLanguage IESystemLanguage() {
  if (!gSystemLocale.Read) IEReadSystemLocale();
  return gSystemLocale.Language;
}
