#pragma once
// Ini files and the registry-backed ini files of the program's settings.
//
// The settings the program keeps "in the registry" live in ini files under
// the user's configuration folder: the key "Software\Orvane\Qelvo\2.2.1"
// becomes the file <folder>/Software/Orvane/Qelvo/2.2.1.ini (empty key parts,
// as doubled separators make, are dropped). The folder is FOLIVRA_CONFIG_DIR
// when that is set, else $XDG_CONFIG_HOME/folivra, else ~/.config/folivra.
//
// Every write goes to the file at once (through a temporary file and a
// rename), and every read looks at the file, so two objects on the same key
// see each other's values as registry users do. Section and value names are
// compared without regard to ASCII case. Integers (and Booleans, stored as 0
// and 1) are kept apart from strings, as registry values keep their type:
// reading an integer from a string value converts it, with the default when
// it is not a number.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/sysutils.h"

class TStrings;

// A value could not be stored: "Failed to set data for '%s'".
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "ERegistryException"; }
};

class TCustomIniFile {
 public:
  explicit TCustomIniFile(const std::string& FileName);
  virtual ~TCustomIniFile();
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::string& GetFileName() const { return FFileName; }

  bool SectionExists(const std::string& Section);
  bool ValueExists(const std::string& Section, const std::string& Ident);

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default);
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default);
  void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
  double ReadFloat(const std::string& Section, const std::string& Ident, double Default);
  void WriteFloat(const std::string& Section, const std::string& Ident, double Value);

  // Names of the values of a section, in the order they were first written.
  std::vector<std::string> SectionNames(const std::string& Section);
  std::vector<std::string> SectionList();
  // Fill Strings (cleared first) with value names, section names, or
  // "Name=Value" lines.
  void ReadSection(const std::string& Section, TStrings* Strings);
  void ReadSections(TStrings* Strings);
  void ReadSectionValues(const std::string& Section, TStrings* Strings);

  void EraseSection(const std::string& Section);
  void DeleteKey(const std::string& Section, const std::string& Ident);
  // Writes are immediate; kept for callers that flush.
  void UpdateFile() {}

 protected:
  // The file that holds the values.
  virtual std::string StoragePath() const;

 private:
  struct Value {
    std::string Name;
    bool IsInteger = false;
    std::string Text;  // the string, or the integer's decimal digits
  };
  struct Section {
    std::string Name;
    std::vector<Value> Values;
  };
  std::vector<Section> Load() const;
  void Save(const std::vector<Section>& Data) const;
  static Section* FindSection(std::vector<Section>& Data, const std::string& Name);
  static Value* FindValue(Section& S, const std::string& Name);
  void Put(const std::string& Section, const std::string& Ident, bool IsInteger, const std::string& Text);
  bool Get(const std::string& Section, const std::string& Ident, Value& Out);

  std::string FFileName;
};

// A plain ini file at the given path.
class TIniFile : public TCustomIniFile {
 public:
  using TCustomIniFile::TCustomIniFile;
};

// The settings of a registry key under the current user (see above).
class TRegistryIniFile : public TCustomIniFile {
 public:
  explicit TRegistryIniFile(const std::string& Key);

 protected:
  std::string StoragePath() const override;
};

// The older registry ini class: the same storage.
class TRegIniFile : public TRegistryIniFile {
 public:
  using TRegistryIniFile::TRegistryIniFile;
};

// The folder that holds the registry-backed files (without trailing "/").
std::string VclConfigFolder();
// The file that holds a key's values.
std::string VclRegistryKeyPath(const std::string& Key);
