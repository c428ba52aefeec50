#include "platform/vcl/form_reader.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/gdi/colors.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_internal.h"

// ------------------------------------------------------------ TFormValue
namespace {
[[noreturn]] void InvalidValue() { throw EReadError("Invalid property value"); }
}  // namespace

int64_t TFormValue::AsInt64() const {
  if (Kind == vkInteger) return Int;
  InvalidValue();
}

int32_t TFormValue::AsInteger() const {
  if (Kind != vkInteger || Int < INT32_MIN || Int > static_cast<int64_t>(UINT32_MAX)) InvalidValue();
  return static_cast<int32_t>(Int);
}

int32_t TFormValue::AsCoordinate() const {
  if (Kind != vkInteger || Int < INT16_MIN || Int > INT16_MAX) InvalidValue();
  return static_cast<int32_t>(Int);
}

long double TFormValue::AsFloat() const {
  if (Kind == vkFloat) return Float;
  if (Kind == vkInteger) return static_cast<long double>(Int);
  InvalidValue();
}

bool TFormValue::AsBoolean() const {
  if (Kind == vkIdent) {
    if (SameText(Text, "True")) return true;
    if (SameText(Text, "False")) return false;
  }
  InvalidValue();
}

std::string TFormValue::AsString() const {
  if (Kind == vkString) return Text;
  InvalidValue();
}

const std::string& TFormValue::AsIdent() const {
  if (Kind == vkIdent) return Text;
  InvalidValue();
}

int32_t TFormValue::AsColor() const {
  if (Kind == vkInteger) return AsInteger();
  TColor C = 0;
  if (Kind == vkIdent && IdentToColor(Text, C)) return C;
  InvalidValue();
}

int32_t TFormValue::AsEnum(const std::vector<std::string>& Names) const {
  if (Kind == vkIdent) {
    for (size_t I = 0; I < Names.size(); ++I)
      if (SameText(Names[I], Text)) return static_cast<int32_t>(I);
  }
  InvalidValue();
}

uint32_t TFormValue::AsSet(const std::vector<std::string>& Names) const {
  if (Kind != vkSet) InvalidValue();
  uint32_t R = 0;
  for (const std::string& Item : SetItems) {
    size_t I = 0;
    for (; I < Names.size(); ++I)
      if (SameText(Names[I], Item)) break;
    if (I == Names.size() || I >= 32) InvalidValue();
    R |= 1u << I;
  }
  return R;
}

// ------------------------------------------------------------ handlers and fixups
std::string TFormHandlerTable::Key(const std::string& Name) { return LowerCase(Name); }

void TFormHandlerTable::Missing(const std::string& Name) {
  throw EReadError(Format("Handler %s not found", Name.c_str()));
}

void TFormHandlerTable::WrongType(const std::string& Name) {
  throw EReadError(Format("Handler %s does not fit the event", Name.c_str()));
}

void TFormReadContext::AddFixup(const TFormValue& Value, std::function<void(TComponent*)> Apply) {
  FFixups.push_back(Fixup{Value.AsIdent(), Value.Line, std::move(Apply)});
}

void TFormReadContext::ResolveFixups() {
  for (Fixup& F : FFixups) {
    TComponent* C = nullptr;
    if (!SameText(F.Name, "nil")) {
      C = SameText(F.Name, FRoot->GetName()) ? FRoot : FRoot->FindComponent(F.Name);
      if (!C)
        throw EReadError(Format("Invalid reference to %s (%s, line %d)", F.Name.c_str(), FSource.c_str(), F.Line));
    }
    F.Apply(C);
  }
  FFixups.clear();
}

// ------------------------------------------------------------ class registry
namespace {
std::mutex GRegistryLock;
std::map<std::string, TComponentFactory>& Registry() {
  static std::map<std::string, TComponentFactory> R;
  return R;
}

void RegisterStandardClasses() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    auto Add = [](const char* Name, TComponentFactory F) {
      std::lock_guard<std::mutex> Lock(GRegistryLock);
      Registry().emplace(LowerCase(Name), std::move(F));
    };
    VclStandardClasses([&Add](const char* Name, TComponentFactory F) { Add(Name, std::move(F)); });
  });
}
}  // namespace

void RegisterClass(const std::string& ClassName, TComponentFactory Factory) {
  RegisterStandardClasses();
  std::lock_guard<std::mutex> Lock(GRegistryLock);
  Registry()[LowerCase(ClassName)] = std::move(Factory);
}

bool IsClassRegistered(const std::string& ClassName) {
  RegisterStandardClasses();
  std::lock_guard<std::mutex> Lock(GRegistryLock);
  return Registry().count(LowerCase(ClassName)) != 0;
}

TComponent* CreateComponentByClassName(const std::string& ClassName, TComponent* Owner) {
  RegisterStandardClasses();
  TComponentFactory F;
  {
    std::lock_guard<std::mutex> Lock(GRegistryLock);
    auto It = Registry().find(LowerCase(ClassName));
    if (It != Registry().end()) F = It->second;
  }
  if (!F) throw EClassNotFound(Format("Class %s not found", ClassName.c_str()));
  return F(Owner);
}

// ------------------------------------------------------------ parser
namespace {

constexpr int kMaxDepth = 200;

class TParser {
 public:
  enum TTok { tEOF, tIdent, tInt, tFloat, tString, tSymbol };

  TParser(const std::string& Text, const std::string& Source) : S(Text), Src(Source) { Next(); }

  TTok Tok = tEOF;
  std::string Text;  // identifier, symbol, or string piece
  int64_t Int = 0;
  long double Float = 0;
  int32_t Line = 1;

  [[noreturn]] void Error(const std::string& Msg) const {
    throw EReadError(Format("%s (%s, line %d)", Msg.c_str(), Src.c_str(), Line));
  }

  bool IsSymbol(char C) const { return Tok == tSymbol && Text.size() == 1 && Text[0] == C; }
  bool IsIdent(const char* Word) const { return Tok == tIdent && SameText(Text, Word); }

  void Expect(char C) {
    if (!IsSymbol(C)) Error(Format("'%c' expected", C));
    Next();
  }

  std::string ExpectIdent() {
    if (Tok != tIdent) Error("Identifier expected");
    std::string R = Text;
    Next();
    return R;
  }

  void Next() {
    SkipBlank();
    Text.clear();
    if (P >= S.size()) {
      Tok = tEOF;
      return;
    }
    const char C = S[P];
    if (std::isalpha(static_cast<unsigned char>(C)) || C == '_') {
      size_t B = P;
      while (P < S.size() && (std::isalnum(static_cast<unsigned char>(S[P])) || S[P] == '_' || S[P] == '.')) ++P;
      Text = S.substr(B, P - B);
      Tok = tIdent;
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(C)) || C == '$' ||
        (C == '-' && P + 1 < S.size() && (std::isdigit(static_cast<unsigned char>(S[P + 1])) || S[P + 1] == '$'))) {
      ReadNumber();
      return;
    }
    if (C == '\'' || C == '#') {
      ReadString();
      return;
    }
    Text = std::string(1, C);
    ++P;
    Tok = tSymbol;
  }

  // The raw text between the braces of binary data (the brace is current).
  std::vector<uint8_t> ReadBinary() {
    std::vector<uint8_t> R;
    int Nibble = -1;
    while (P < S.size() && S[P] != '}') {
      char C = S[P++];
      if (C == '\n') ++Line;
      if (std::isspace(static_cast<unsigned char>(C))) continue;
      int V;
      if (C >= '0' && C <= '9') {
        V = C - '0';
      } else if (C >= 'a' && C <= 'f') {
        V = C - 'a' + 10;
      } else if (C >= 'A' && C <= 'F') {
        V = C - 'A' + 10;
      } else {
        Error("Invalid binary value");
      }
      if (Nibble < 0) {
        Nibble = V;
      } else {
        R.push_back(static_cast<uint8_t>(Nibble * 16 + V));
        Nibble = -1;
      }
    }
    if (P >= S.size()) Error("'}' expected");
    if (Nibble >= 0) Error("Invalid binary value");
    ++P;  // the closing brace
    Next();
    return R;
  }

 private:
  void SkipBlank() {
    while (P < S.size()) {
      char C = S[P];
      if (C == '\n') {
        ++Line;
        ++P;
      } else if (std::isspace(static_cast<unsigned char>(C))) {
        ++P;
      } else if (C == '/' && P + 1 < S.size() && S[P + 1] == '/') {
        while (P < S.size() && S[P] != '\n') ++P;
      } else {
        break;
      }
    }
  }

  void ReadNumber() {
    size_t B = P;
    bool Neg = false;
    if (S[P] == '-') {
      Neg = true;
      ++P;
    }
    if (P < S.size() && S[P] == '$') {
      ++P;
      size_t H = P;
      uint64_t V = 0;
      while (P < S.size() && std::isxdigit(static_cast<unsigned char>(S[P]))) {
        if (P - H >= 16) Error("Number too large");
        V = V * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(S[P]))
                                               ? S[P] - '0'
                                               : (std::tolower(static_cast<unsigned char>(S[P])) - 'a' + 10));
        ++P;
      }
      if (P == H) Error("Invalid number");
      // Beyond 63 bits the value (or its negation) has no 64-bit form.
      if (V > static_cast<uint64_t>(INT64_MAX)) Error("Number too large");
      // Hexadecimal values are 32-bit patterns ($FF000000 is a negative colour).
      const int64_t I = V <= UINT32_MAX ? static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(V)))
                                        : static_cast<int64_t>(V);
      Int = Neg ? -I : I;
      Tok = tInt;
      return;
    }
    while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P]))) ++P;
    bool IsFloat = false;
    if (P < S.size() && S[P] == '.' && P + 1 < S.size() && std::isdigit(static_cast<unsigned char>(S[P + 1]))) {
      IsFloat = true;
      ++P;
      while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P]))) ++P;
    }
    if (P < S.size() && (S[P] == 'e' || S[P] == 'E')) {
      size_t E = P + 1;
      if (E < S.size() && (S[E] == '+' || S[E] == '-')) ++E;
      if (E < S.size() && std::isdigit(static_cast<unsigned char>(S[E]))) {
        IsFloat = true;
        P = E;
        while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P]))) ++P;
      }
    }
    std::string N = S.substr(B, P - B);
    if (IsFloat) {
      long double V = 0;
      if (!TryStrToFloat(N, V)) Error("Invalid number");
      Float = V;
      Tok = tFloat;
    } else {
      if (!TryStrToInt64(N, Int)) Error("Number too large");
      Tok = tInt;
    }
  }

  static void AppendUtf8(std::string& Out, uint32_t Cp) {
    if (Cp < 0x80) {
      Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
      Out += static_cast<char>(0xC0 | (Cp >> 6));
      Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
      Out += static_cast<char>(0xE0 | (Cp >> 12));
      Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
      Out += static_cast<char>(0xF0 | (Cp >> 18));
      Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
      Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
  }

  // 'quoted' pieces and #nnn characters, side by side.
  void ReadString() {
    std::string R;
    for (;;) {
      if (P < S.size() && S[P] == '\'') {
        ++P;
        for (;;) {
          if (P >= S.size() || S[P] == '\n') Error("Unterminated string");
          if (S[P] == '\'') {
            if (P + 1 < S.size() && S[P + 1] == '\'') {
              R += '\'';
              P += 2;
              continue;
            }
            ++P;
            break;
          }
          R += S[P++];
        }
      } else if (P < S.size() && S[P] == '#') {
        ++P;
        uint32_t Cp = 0;
        size_t B = P;
        if (P < S.size() && S[P] == '$') {
          ++P;
          B = P;
          while (P < S.size() && std::isxdigit(static_cast<unsigned char>(S[P])) && P - B < 6) {
            char D = static_cast<char>(std::tolower(static_cast<unsigned char>(S[P++])));
            Cp = Cp * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(D)) ? D - '0' : D - 'a' + 10);
          }
        } else {
          while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P])) && P - B < 7)
            Cp = Cp * 10 + static_cast<uint32_t>(S[P++] - '0');
        }
        if (P == B || Cp > 0x10FFFF) Error("Invalid character code");
        AppendUtf8(R, Cp);
      } else {
        break;
      }
    }
    Text = R;
    Tok = tString;
  }

  const std::string& S;
  std::string Src;
  size_t P = 0;
};

class TReader {
 public:
  TReader(TComponent* Root, const std::string& Text, const TFormHandlerTable* Handlers, const std::string& Source)
      : FRoot(Root), FParser(Text, Source), FContext(Root, Handlers, Source) {}

  void Read() {
    if (!(FParser.IsIdent("object") || FParser.IsIdent("inherited") || FParser.IsIdent("inline")))
      FParser.Error("'object' expected");
    FParser.Next();
    std::string Name = FParser.ExpectIdent();
    if (FParser.IsSymbol(':')) {
      FParser.Next();
      FParser.ExpectIdent();
    }
    FRoot->SetLoading(true);
    try {
      if (FRoot->GetName().empty()) FRoot->SetName(Name);
      ReadBody(FRoot, 0);
      if (FParser.Tok != TParser::tEOF) FParser.Error("End of resource expected");
      FContext.ResolveFixups();
    } catch (...) {
      for (TComponent* C : FCreated) C->SetComponentStateFlags(csLoading | csReading, false);
      FRoot->SetComponentStateFlags(csLoading | csReading, false);
      throw;
    }
    for (TComponent* C : FCreated) C->SetLoading(false);
    FRoot->SetLoading(false);
  }

 private:
  void ReadBody(TComponent* Instance, int Depth) {
    if (Depth > kMaxDepth) FParser.Error("Objects nested too deeply");
    for (;;) {
      if (FParser.Tok == TParser::tEOF) FParser.Error("'end' expected");
      if (FParser.IsIdent("end")) {
        FParser.Next();
        return;
      }
      if (FParser.IsIdent("object") || FParser.IsIdent("inherited") || FParser.IsIdent("inline")) {
        ReadChild(Instance, Depth + 1);
        continue;
      }
      const int32_t Line = FParser.Line;
      std::string Prop = FParser.ExpectIdent();
      FParser.Expect('=');
      TFormValue V = ReadValue(0);
      V.Line = Line;
      Apply(Instance, Prop, V);
    }
  }

  void ReadChild(TComponent* Parent, int Depth) {
    const bool Inherited = FParser.IsIdent("inherited");
    FParser.Next();
    const int32_t Line = FParser.Line;
    std::string Name = FParser.ExpectIdent();
    std::string ClassName;
    if (FParser.IsSymbol(':')) {
      FParser.Next();
      ClassName = FParser.ExpectIdent();
    }
    if (FParser.IsSymbol('[')) {
      // The position of an inherited component: not needed here.
      FParser.Next();
      if (FParser.Tok != TParser::tInt) FParser.Error("Number expected");
      FParser.Next();
      FParser.Expect(']');
    }
    TComponent* C = nullptr;
    if (Inherited) {
      C = FRoot->FindComponent(Name);
      if (!C) FParser.Error(Format("Ancestor for '%s' not found", Name.c_str()));
    } else {
      if (ClassName.empty()) FParser.Error("':' expected");
      try {
        C = CreateComponentByClassName(ClassName, FRoot);
      } catch (Exception& E) {
        FParser.Error(E.Message);
      }
      FCreated.push_back(C);
      C->SetLoading(true);
      try {
        C->SetName(Name);
      } catch (Exception& E) {
        FParser.Error(E.Message);
      }
    }
    (void)Line;
    auto* Control = dynamic_cast<TControl*>(C);
    if (auto* ParentControl = dynamic_cast<TWinControl*>(Parent); Control && ParentControl) {
      try {
        Control->SetParent(ParentControl);
      } catch (Exception& E) {
        FParser.Error(E.Message);
      }
    } else if (auto* Target = dynamic_cast<IFormPropertyTarget*>(Parent)) {
      Target->AddFormChild(C);
    }
    ReadBody(C, Depth);
  }

  TFormValue ReadValue(int Depth) {
    if (Depth > kMaxDepth) FParser.Error("Values nested too deeply");
    TFormValue V;
    V.Line = FParser.Line;
    switch (FParser.Tok) {
      case TParser::tInt:
        V.Kind = TFormValue::vkInteger;
        V.Int = FParser.Int;
        FParser.Next();
        return V;
      case TParser::tFloat:
        V.Kind = TFormValue::vkFloat;
        V.Float = FParser.Float;
        FParser.Next();
        return V;
      case TParser::tString:
        V.Kind = TFormValue::vkString;
        V.Text = FParser.Text;
        FParser.Next();
        while (FParser.IsSymbol('+')) {
          FParser.Next();
          if (FParser.Tok != TParser::tString) FParser.Error("String expected");
          V.Text += FParser.Text;
          FParser.Next();
        }
        return V;
      case TParser::tIdent:
        V.Kind = TFormValue::vkIdent;
        V.Text = FParser.Text;
        FParser.Next();
        return V;
      case TParser::tSymbol:
        break;
      default:
        FParser.Error("Property value expected");
    }
    if (FParser.IsSymbol('[')) {
      V.Kind = TFormValue::vkSet;
      FParser.Next();
      while (!FParser.IsSymbol(']')) {
        if (FParser.Tok == TParser::tIdent) {
          V.SetItems.push_back(FParser.Text);
        } else if (FParser.Tok == TParser::tInt) {
          V.SetItems.push_back(std::to_string(FParser.Int));
        } else {
          FParser.Error("Set element expected");
        }
        FParser.Next();
        if (FParser.IsSymbol(',')) {
          FParser.Next();
        } else if (!FParser.IsSymbol(']')) {
          FParser.Error("']' expected");
        }
      }
      FParser.Next();
      return V;
    }
    if (FParser.IsSymbol('(')) {
      V.Kind = TFormValue::vkList;
      FParser.Next();
      while (!FParser.IsSymbol(')')) {
        if (FParser.Tok == TParser::tEOF) FParser.Error("')' expected");
        V.List.push_back(ReadValue(Depth + 1));
      }
      FParser.Next();
      return V;
    }
    if (FParser.IsSymbol('<')) {
      V.Kind = TFormValue::vkCollection;
      FParser.Next();
      while (!FParser.IsSymbol('>')) {
        if (!FParser.IsIdent("item")) FParser.Error("'item' expected");
        FParser.Next();
        if (FParser.IsSymbol('[')) {
          FParser.Next();
          FParser.Next();
          FParser.Expect(']');
        }
        TFormValue::TItem Item;
        while (!FParser.IsIdent("end")) {
          if (FParser.Tok == TParser::tEOF) FParser.Error("'end' expected");
          std::string Prop = FParser.ExpectIdent();
          FParser.Expect('=');
          Item.Properties.emplace_back(Prop, ReadValue(Depth + 1));
        }
        FParser.Next();
        V.Items.push_back(std::move(Item));
      }
      FParser.Next();
      return V;
    }
    if (FParser.IsSymbol('{')) {
      V.Kind = TFormValue::vkBinary;
      V.Binary = FParser.ReadBinary();
      return V;
    }
    FParser.Error("Property value expected");
  }

  void Apply(TComponent* Instance, const std::string& Prop, const TFormValue& V) {
    const std::string Who = Instance->GetName().empty() ? Instance->ClassName() : Instance->GetName();
    bool Done = false;
    try {
      if (auto* Target = dynamic_cast<IFormPropertyTarget*>(Instance)) Done = Target->SetFormProperty(Prop, V, FContext);
      if (!Done && SameText(Prop, "Tag")) {
        Instance->SetTag(static_cast<intptr_t>(V.AsInt64()));
        Done = true;
      }
      // Where a non-visual component sat in the form designer.
      if (!Done && !dynamic_cast<TControl*>(Instance) && (SameText(Prop, "Left") || SameText(Prop, "Top"))) {
        V.AsInteger();
        Done = true;
      }
    } catch (Exception& E) {
      throw EReadError(Format("Error reading %s.%s: %s (%s, line %d)", Who.c_str(), Prop.c_str(), E.Message.c_str(),
                              FContext.Source().c_str(), V.Line));
    }
    if (!Done)
      throw EReadError(Format("Error reading %s.%s: Property %s does not exist (%s, line %d)", Who.c_str(),
                              Prop.c_str(), Prop.c_str(), FContext.Source().c_str(), V.Line));
  }

  TComponent* FRoot;
  TParser FParser;
  TFormReadContext FContext;
  std::vector<TComponent*> FCreated;
};

std::mutex GFolderLock;
std::string GFolderOverride;

}  // namespace

void ReadComponentResource(TComponent* Root, const std::string& Text, const TFormHandlerTable* Handlers,
                           const std::string& SourceName) {
  TReader R(Root, Text, Handlers, SourceName);
  R.Read();
}

void SetFormResourceFolder(const std::string& Folder) {
  std::lock_guard<std::mutex> Lock(GFolderLock);
  GFolderOverride = Folder;
}

std::string FormResourceFolder() {
  namespace fs = std::filesystem;
  {
    std::lock_guard<std::mutex> Lock(GFolderLock);
    if (!GFolderOverride.empty()) return GFolderOverride;
  }
  if (const char* E = std::getenv("FOLIVRA_RESOURCE_DIR"); E && *E) return std::string(E) + "/forms";
  std::error_code Ec;
  std::vector<fs::path> Starts;
  fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
  if (!Ec) Starts.push_back(Exe.parent_path());
  Starts.push_back(fs::current_path(Ec));
  for (fs::path Dir : Starts) {
    for (int I = 0; I < 12 && !Dir.empty(); ++I) {
      fs::path Candidate = Dir / "resources" / "forms";
      if (fs::is_directory(Candidate, Ec)) return Candidate.string();
      if (Dir == Dir.parent_path()) break;
      Dir = Dir.parent_path();
    }
  }
  return std::string();
}

std::string LoadFormResourceText(const std::string& Name) {
  std::string File = Name;
  if (File.size() < 4 || !SameText(File.substr(File.size() - 4), ".dfm")) File += ".dfm";
  const std::string Folder = FormResourceFolder();
  if (Name.empty() || Name.find('/') != std::string::npos || Name.find("..") != std::string::npos || Folder.empty())
    throw EResNotFound(Format("Resource %s not found", Name.c_str()));
  std::ifstream F(Folder + "/" + File, std::ios::binary);
  if (!F) throw EResNotFound(Format("Resource %s not found", Name.c_str()));
  std::ostringstream S;
  S << F.rdbuf();
  return S.str();
}
