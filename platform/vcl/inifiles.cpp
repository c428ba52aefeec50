#include "platform/vcl/inifiles.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"

namespace {
std::recursive_mutex GIniLock;

std::string Escape(const std::string& S) {
  std::string R = "\"";
  for (char C : S) {
    switch (C) {
      case '\\': R += "\\\\"; break;
      case '"': R += "\\\""; break;
      case '\n': R += "\\n"; break;
      case '\r': R += "\\r"; break;
      case '\t': R += "\\t"; break;
      default: R += C; break;
    }
  }
  R += '"';
  return R;
}

std::string Unescape(const std::string& S, size_t From) {
  std::string R;
  for (size_t I = From; I < S.size(); ++I) {
    char C = S[I];
    if (C == '"') break;
    if (C == '\\' && I + 1 < S.size()) {
      char N = S[++I];
      switch (N) {
        case 'n': R += '\n'; break;
        case 'r': R += '\r'; break;
        case 't': R += '\t'; break;
        default: R += N; break;
      }
      continue;
    }
    R += C;
  }
  return R;
}

bool IsIntegerText(const std::string& S) {
  size_t I = (!S.empty() && S[0] == '-') ? 1 : 0;
  if (I >= S.size() || S.size() - I > 10) return false;
  for (; I < S.size(); ++I)
    if (S[I] < '0' || S[I] > '9') return false;
  long long V = std::strtoll(S.c_str(), nullptr, 10);
  return V >= INT32_MIN && V <= INT32_MAX;
}
}  // namespace

std::string VclConfigFolder() {
  std::string Dir;
  if (const char* E = std::getenv("FOLIVRA_CONFIG_DIR"); E && *E) {
    Dir = E;
  } else if (const char* X = std::getenv("XDG_CONFIG_HOME"); X && *X) {
    Dir = std::string(X) + "/folivra";
  } else if (const char* H = std::getenv("HOME"); H && *H) {
    Dir = std::string(H) + "/.config/folivra";
  } else {
    Dir = "/tmp/folivra-config";
  }
  while (Dir.size() > 1 && Dir.back() == '/') Dir.pop_back();
  return Dir;
}

std::string VclRegistryKeyPath(const std::string& Key) {
  std::vector<std::string> Parts;
  std::string Cur;
  auto Flush = [&] {
    // Empty parts (doubled separators) and dot parts would leave the folder.
    if (!Cur.empty() && Cur != "." && Cur != "..") Parts.push_back(Cur);
    Cur.clear();
  };
  for (char C : Key) {
    if (C == '\\' || C == '/') {
      Flush();
    } else {
      Cur += C;
    }
  }
  Flush();
  std::string Path = VclConfigFolder();
  if (Parts.empty()) return Path + "/default.ini";
  for (size_t I = 0; I < Parts.size(); ++I) Path += "/" + Parts[I];
  return Path + ".ini";
}

// ------------------------------------------------------------ TCustomIniFile
TCustomIniFile::TCustomIniFile(const std::string& FileName) : FFileName(FileName) {}
TCustomIniFile::~TCustomIniFile() = default;

std::string TCustomIniFile::StoragePath() const { return FFileName; }

std::vector<TCustomIniFile::Section> TCustomIniFile::Load() const {
  std::vector<Section> Data;
  std::ifstream F(StoragePath(), std::ios::binary);
  if (!F) return Data;
  std::string Line;
  Section* Cur = nullptr;
  while (std::getline(F, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    std::string T = Trim(Line);
    if (T.empty() || T[0] == ';' || T[0] == '#') continue;
    if (T[0] == '[') {
      size_t End = T.find(']');
      std::string Name = T.substr(1, End == std::string::npos ? std::string::npos : End - 1);
      Cur = FindSection(Data, Name);
      if (!Cur) {
        Data.push_back(Section{Name, {}});
        Cur = &Data.back();
      }
      continue;
    }
    size_t Eq = T.find('=');
    if (Eq == std::string::npos || !Cur) continue;
    Value V;
    V.Name = Trim(T.substr(0, Eq));
    if (V.Name.empty()) continue;  // no name to read it by
    std::string Raw = TrimLeft(T.substr(Eq + 1));
    if (!Raw.empty() && Raw[0] == '"') {
      V.Text = Unescape(Raw, 1);
    } else if (IsIntegerText(Raw)) {
      V.IsInteger = true;
      V.Text = Raw;
    } else {
      V.Text = Raw;
    }
    if (Value* Old = FindValue(*Cur, V.Name)) {
      *Old = V;
    } else {
      Cur->Values.push_back(V);
    }
  }
  return Data;
}

void TCustomIniFile::Save(const std::vector<Section>& Data) const {
  namespace fs = std::filesystem;
  const std::string Path = StoragePath();
  std::error_code Ec;
  fs::path Parent = fs::path(Path).parent_path();
  if (!Parent.empty()) fs::create_directories(Parent, Ec);
  std::ostringstream Out;
  for (const Section& S : Data) {
    Out << '[' << S.Name << "]\n";
    for (const Value& V : S.Values) Out << V.Name << '=' << (V.IsInteger ? V.Text : Escape(V.Text)) << '\n';
    Out << '\n';
  }
  const std::string Tmp = Path + ".tmp" + std::to_string(static_cast<long>(getpid()));
  {
    std::ofstream F(Tmp, std::ios::binary | std::ios::trunc);
    F << Out.str();
    F.flush();
    if (!F) {
      std::remove(Tmp.c_str());
      throw ERegistryException(Format("Failed to set data for '%s'", Path.c_str()));
    }
  }
  fs::rename(Tmp, Path, Ec);
  if (Ec) {
    std::remove(Tmp.c_str());
    throw ERegistryException(Format("Failed to set data for '%s'", Path.c_str()));
  }
}

TCustomIniFile::Section* TCustomIniFile::FindSection(std::vector<Section>& Data, const std::string& Name) {
  for (Section& S : Data)
    if (SameText(S.Name, Name)) return &S;
  return nullptr;
}

TCustomIniFile::Value* TCustomIniFile::FindValue(Section& S, const std::string& Name) {
  for (Value& V : S.Values)
    if (SameText(V.Name, Name)) return &V;
  return nullptr;
}

void TCustomIniFile::Put(const std::string& SectionName, const std::string& Ident, bool IsInteger,
                         const std::string& Text) {
  // A name the file could not give back is refused rather than lost: an
  // ident that starts like a comment or a section header would read as one.
  if (SectionName.find_first_of("[]\r\n") != std::string::npos || Ident.empty() ||
      Ident.find_first_of("=\r\n") != std::string::npos || Trim(Ident) != Ident ||
      Ident[0] == ';' || Ident[0] == '#' || Ident[0] == '[')
    throw ERegistryException(Format("Failed to set data for '%s'", Ident.c_str()));
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  Section* S = FindSection(Data, SectionName);
  if (!S) {
    Data.push_back(Section{SectionName, {}});
    S = &Data.back();
  }
  Value* V = FindValue(*S, Ident);
  if (!V) {
    S->Values.push_back(Value{Ident, IsInteger, Text});
  } else {
    V->IsInteger = IsInteger;
    V->Text = Text;
  }
  Save(Data);
}

bool TCustomIniFile::Get(const std::string& SectionName, const std::string& Ident, Value& Out) {
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  Section* S = FindSection(Data, SectionName);
  if (!S) return false;
  Value* V = FindValue(*S, Ident);
  if (!V) return false;
  Out = *V;
  return true;
}

bool TCustomIniFile::SectionExists(const std::string& SectionName) {
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  return FindSection(Data, SectionName) != nullptr;
}

bool TCustomIniFile::ValueExists(const std::string& SectionName, const std::string& Ident) {
  Value V;
  return Get(SectionName, Ident, V);
}

std::string TCustomIniFile::ReadString(const std::string& SectionName, const std::string& Ident,
                                       const std::string& Default) {
  Value V;
  return Get(SectionName, Ident, V) ? V.Text : Default;
}

void TCustomIniFile::WriteString(const std::string& SectionName, const std::string& Ident, const std::string& Value) {
  Put(SectionName, Ident, false, Value);
}

int32_t TCustomIniFile::ReadInteger(const std::string& SectionName, const std::string& Ident, int32_t Default) {
  Value V;
  if (!Get(SectionName, Ident, V)) return Default;
  return StrToIntDef(V.Text, Default);
}

void TCustomIniFile::WriteInteger(const std::string& SectionName, const std::string& Ident, int32_t Value) {
  Put(SectionName, Ident, true, std::to_string(Value));
}

bool TCustomIniFile::ReadBool(const std::string& SectionName, const std::string& Ident, bool Default) {
  return ReadInteger(SectionName, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& SectionName, const std::string& Ident, bool Value) {
  WriteInteger(SectionName, Ident, Value ? 1 : 0);
}

double TCustomIniFile::ReadFloat(const std::string& SectionName, const std::string& Ident, double Default) {
  Value V;
  if (!Get(SectionName, Ident, V)) return Default;
  return static_cast<double>(StrToFloatDef(V.Text, Default));
}

void TCustomIniFile::WriteFloat(const std::string& SectionName, const std::string& Ident, double Value) {
  Put(SectionName, Ident, false, FloatToStr(Value));
}

std::vector<std::string> TCustomIniFile::SectionNames(const std::string& SectionName) {
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  std::vector<std::string> R;
  if (Section* S = FindSection(Data, SectionName))
    for (const Value& V : S->Values) R.push_back(V.Name);
  return R;
}

std::vector<std::string> TCustomIniFile::SectionList() {
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<std::string> R;
  for (const Section& S : Load()) R.push_back(S.Name);
  return R;
}

void TCustomIniFile::ReadSection(const std::string& SectionName, TStrings* Strings) {
  if (!Strings) return;
  Strings->Clear();
  for (const std::string& N : SectionNames(SectionName)) Strings->Add(N);
}

void TCustomIniFile::ReadSections(TStrings* Strings) {
  if (!Strings) return;
  Strings->Clear();
  for (const std::string& N : SectionList()) Strings->Add(N);
}

void TCustomIniFile::ReadSectionValues(const std::string& SectionName, TStrings* Strings) {
  if (!Strings) return;
  Strings->Clear();
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  if (Section* S = FindSection(Data, SectionName))
    for (const Value& V : S->Values) Strings->Add(V.Name + "=" + V.Text);
}

void TCustomIniFile::EraseSection(const std::string& SectionName) {
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  for (auto It = Data.begin(); It != Data.end(); ++It) {
    if (SameText(It->Name, SectionName)) {
      Data.erase(It);
      Save(Data);
      return;
    }
  }
}

void TCustomIniFile::DeleteKey(const std::string& SectionName, const std::string& Ident) {
  std::lock_guard<std::recursive_mutex> Lock(GIniLock);
  std::vector<Section> Data = Load();
  Section* S = FindSection(Data, SectionName);
  if (!S) return;
  for (auto It = S->Values.begin(); It != S->Values.end(); ++It) {
    if (SameText(It->Name, Ident)) {
      S->Values.erase(It);
      Save(Data);
      return;
    }
  }
}

// ------------------------------------------------------------ TRegistryIniFile
TRegistryIniFile::TRegistryIniFile(const std::string& Key) : TCustomIniFile(Key) {}

std::string TRegistryIniFile::StoragePath() const { return VclRegistryKeyPath(GetFileName()); }
