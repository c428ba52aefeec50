#pragma once
// The word table of the library's dialogs: 146 numbered words (captions,
// labels, hints, list texts) in each of 21 languages, and the lookup the
// dialogs use whenever they are prepared.
//
// Words are stored and answered as UTF-8 text. The table is filled by the
// library start-up (IEWordsInitialize) and only read afterwards, in the GUI
// thread, without locks.
#include <array>
#include <cstdint>
#include <string>

#include "foundations/settings.h"

inline constexpr int32_t IEWordCount = 146;

// Font facts of a language, read by the effects dialog.
struct TIELANGUAGECHARINFO {
  uint8_t CharSet;       // 1 default, 161 Greek, 178 Arabic, 204 Russian
  const char* FontName;  // "" = keep the font's face
  int32_t CodePage;      // the language's traditional code page (informative)
};
extern const std::array<TIELANGUAGECHARINFO, IELanguageCount> IELanguageCharInfo;

// The library's version text ("3.1.2").
extern const char* const IELibraryVersion;

// Makes the entry of Language and Index hold Text.
void IEWordStore(TMsgLanguage Language, uint8_t Index, const std::string& Text);
// The word to show: the Language entry, or the English one where that language
// has none (also for msUser, whose row is never filled). msSystem stands for
// the language of the system's locale.
void IEWordLookup(uint8_t Index, TMsgLanguage Language, std::string& Result);
std::string IEWordLookup(uint8_t Index, TMsgLanguage Language);
// Fills the rows of the 21 languages. The lookup fills them itself when the
// start-up has not.
void IEWordsInitialize();
// Empties every row (the table's state before the start-up).
void IEWordsFinalize();
// Start-up and shutdown of the library-wide defaults kept beside the table
// (gray weights, background style of the preview dialogs).
void IEDefsInitialize();
void IEDefsFinalize();

// The national list of a language (null for msSystem and msUser); entries are
// "" where the language has no word.
const std::array<const char*, IEWordCount>* IENationalWordList(TMsgLanguage Language);

// The language of a Windows-style locale identifier: the primary language in
// the low 10 bits, the sub-language above them (0x0407 German, 0x0804
// simplified Chinese, 0x0404 traditional Chinese); English for any other.
TMsgLanguage IELanguageFromLocaleId(uint32_t LocaleId);
// The locale identifier of a POSIX locale name ("de_DE.UTF-8", "zh_TW",
// "pt_BR@euro"); 0x0409 (English) for "C", "POSIX", "" and names it does not
// know.
uint32_t IELocaleIdFromName(const std::string& Name);
// The language msSystem stands for: read from the environment (LC_ALL, then
// LC_MESSAGES, then LANG) the first time it is needed; IEReadSystemLocale reads
// it again (after the locale changed).
TMsgLanguage IESystemLanguage();
void IEReadSystemLocale();
