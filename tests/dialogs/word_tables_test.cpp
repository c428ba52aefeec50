// The dialogs' word table: every language's list, the English fallback and the
// choice of language from the system's locale.
#include "dialogs/word_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Sets the locale variables for one test and puts them back afterwards.
class LocaleEnv {
 public:
  explicit LocaleEnv(const char* Lang) {
    for (const char* Var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* Old = std::getenv(Var);
      Saved_.push_back({Var, Old ? std::string(Old) : std::string(), Old != nullptr});
      ::unsetenv(Var);
    }
    if (Lang) ::setenv("LANG", Lang, 1);
    IEReadSystemLocale();
  }
  ~LocaleEnv() {
    for (const auto& S : Saved_) {
      if (S.Had) ::setenv(S.Var, S.Value.c_str(), 1);
      else ::unsetenv(S.Var);
    }
    IEReadSystemLocale();
  }

 private:
  struct Var {
    const char* Var;
    std::string Value;
    bool Had;
  };
  std::vector<Var> Saved_;
};

}  // namespace

TEST(WordTables, EveryLanguageHasItsWordsAndFirstCaptions) {
  IEWordsInitialize();
  struct Case {
    TMsgLanguage Language;
    const char* Preview;
    const char* Cancel;
  };
  const Case Cases[] = {
      {msEnglish, "Preview", "Cancel"},       {msItalian, "Anteprima", "Annulla"},
      {msGerman, "Vorschau", "Abbrechen"},    {msSpanish, "Vista Previa", "Cancelar"},
      {msFrench, "Prévisualisation", "Annuler"}, {msPortuguese, "Visualizar", "Cancelar"},
      {msGreek, "Προεπισκόπηση", "Άκυρο"},    {msRussian, "Просмотр", "Отмена"},
      {msDutch, "Voorbeeld", "Annuleren"},    {msSwedish, "Granska", "Avbryt"},
      {msPolish, "Podgląd", "Anuluj"},        {msJapanese, "プレビュー", "キャンセル"},
      {msCzech, "Náhled", "Storno"},          {msFinnish, "Esikatselu", "Peruuta"},
      {msFarsi, "پيش نمايش", "انصراف"},       {msChinese, "预览", "取消"},
      {msChineseTraditional, "預覽", "取消"}, {msDanish, "Visning", "Annuller"},
      {msTurkish, "Önizleme", "İptal"},       {msKorean, "미리보기", "취소"},
      {msHungarian, "Előnézet", "Mégsem"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Language));
    EXPECT_EQ(IEWordLookup(0, C.Language), C.Preview);
    EXPECT_EQ(IEWordLookup(4, C.Language), C.Cancel);
    const auto* List = IENationalWordList(C.Language);
    ASSERT_NE(List, nullptr);
    for (int I = 0; I < IEWordCount; ++I) {
      const bool Missing = C.Language == msPolish && I == 123;
      EXPECT_EQ(std::string((*List)[I]).empty(), Missing) << "word " << I;
    }
  }
  EXPECT_EQ(IENationalWordList(msSystem), nullptr);
  EXPECT_EQ(IENationalWordList(msUser), nullptr);
  // Words 11 and 103 are both "Value" in English but separate entries.
  EXPECT_EQ(IEWordLookup(11, msGerman), "Helligkeitswert");
  EXPECT_EQ(IEWordLookup(103, msGerman), "Wert");
  EXPECT_EQ(IEWordLookup(145, msEnglish), "Fit");
}

TEST(WordTables, MissingWordsFallBackToEnglish) {
  IEWordsInitialize();
  EXPECT_EQ(IEWordLookup(4, msUser), "Cancel");
  EXPECT_EQ(IEWordLookup(123, msPolish), "Rate");
  {
    // The system's language falls back the same way (a blank caption helps nobody).
    LocaleEnv Env("pl_PL.UTF-8");
    EXPECT_EQ(IESystemLanguage(), msPolish);
    EXPECT_EQ(IEWordLookup(123, msSystem), "Rate");
    EXPECT_EQ(IEWordLookup(4, msSystem), "Anuluj");
  }
  // A lookup before the start-up fills the table instead of answering blanks.
  IEWordsFinalize();
  EXPECT_EQ(IEWordLookup(0, msItalian), "Anteprima");
}

TEST(WordTables, LocaleIdentifiersChooseTheLanguage) {
  struct Case {
    uint32_t Id;
    TMsgLanguage Language;
  };
  const Case Cases[] = {{0x0804, msChinese}, {0x0404, msChineseTraditional}, {0x0C04, msEnglish},
                        {0x0407, msGerman},  {0x0C07, msGerman},             {0x0415, msPolish},
                        {0x0429, msFarsi},   {0x000D, msEnglish},            {0x0409, msEnglish},
                        {0x0416, msPortuguese}, {0x041F, msTurkish},         {0x0412, msKorean}};
  for (const Case& C : Cases) EXPECT_EQ(IELanguageFromLocaleId(C.Id), C.Language) << std::hex << C.Id;
  struct NameCase {
    const char* Name;
    TMsgLanguage Language;
  };
  const NameCase Names[] = {{"de_DE.UTF-8", msGerman}, {"de_AT", msGerman},       {"zh_CN.UTF-8", msChinese},
                            {"zh_TW.UTF-8", msChineseTraditional}, {"zh_HK", msEnglish}, {"pt_BR@euro", msPortuguese},
                            {"C", msEnglish},          {"POSIX", msEnglish},     {"", msEnglish},
                            {"he_IL.UTF-8", msEnglish}, {"fa_IR", msFarsi},      {"ja", msJapanese}};
  for (const NameCase& N : Names)
    EXPECT_EQ(IELanguageFromLocaleId(IELocaleIdFromName(N.Name)), N.Language) << N.Name;
}

TEST(WordTables, SystemLanguageFollowsTheLocale) {
  IEWordsInitialize();
  {
    LocaleEnv Env("de_DE.UTF-8");
    EXPECT_EQ(IEWordLookup(0, msSystem), "Vorschau");
    EXPECT_EQ(IEWordLookup(119, msSystem), "Schließen");
  }
  {
    LocaleEnv Env("ja_JP.UTF-8");
    EXPECT_EQ(IEWordLookup(4, msSystem), "キャンセル");
  }
  {
    LocaleEnv Env("ru_RU.UTF-8");
    EXPECT_EQ(IEWordLookup(22, msSystem), "Сохранить");
  }
  {
    // LC_ALL wins over LANG.
    LocaleEnv Env("fr_FR.UTF-8");
    ::setenv("LC_ALL", "it_IT.UTF-8", 1);
    IEReadSystemLocale();
    EXPECT_EQ(IEWordLookup(4, msSystem), "Annulla");
  }
  {
    LocaleEnv Env("xx_YY");
    EXPECT_EQ(IEWordLookup(0, msSystem), "Preview");
  }
  // An explicit language never follows the locale.
  LocaleEnv Env("de_DE.UTF-8");
  EXPECT_EQ(IEWordLookup(0, msSpanish), "Vista Previa");
}
