#include "platform/rtl/sysutils.h"

#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <thread>
#include <vector>

// ---------------------------------------------------------------- exceptions

Exception::Exception(std::string Msg) : Message(std::move(Msg)) {}
Exception::~Exception() = default;
const char* Exception::what() const noexcept { return Message.c_str(); }
std::string Exception::ClassName() const { return "Exception"; }

EInOutError::EInOutError(std::string Msg, int Code) : Exception(std::move(Msg)), ErrorCode(Code) {}
EOSError::EOSError(std::string Msg, uint32_t Code) : Exception(std::move(Msg)), ErrorCode(Code) {}

void Abort() { throw EAbort("Operation aborted"); }

void RaiseLastOSError() { RaiseLastOSError(errno); }

void RaiseLastOSError(int ErrorCode) {
  if (ErrorCode != 0)
    throw EOSError(Format("System Error.  Code: %d.\n%s", ErrorCode, SysErrorMessage(ErrorCode).c_str()),
                   static_cast<uint32_t>(ErrorCode));
  throw EOSError("A call to an OS function failed", 0);
}

// ---------------------------------------------------------------- text

namespace {

// The "C" locale, for number text that must not follow the process locale.
locale_t CLocale() {
  static locale_t L = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return L;
}

// Switches this thread to the "C" locale for its lifetime.
class TCLocaleScope {
 public:
  TCLocaleScope() : FOld(uselocale(CLocale())) {}
  ~TCLocaleScope() { uselocale(FOld); }
  TCLocaleScope(const TCLocaleScope&) = delete;
  TCLocaleScope& operator=(const TCLocaleScope&) = delete;

 private:
  locale_t FOld;
};

std::string VFormat(const char* Fmt, va_list Args) {
  TCLocaleScope Scope;
  char Small[256];
  va_list Copy;
  va_copy(Copy, Args);
  int N = vsnprintf(Small, sizeof Small, Fmt, Copy);
  va_end(Copy);
  if (N < 0) return std::string();
  if (static_cast<size_t>(N) < sizeof Small) return std::string(Small, static_cast<size_t>(N));
  std::string Out(static_cast<size_t>(N) + 1, '\0');
  vsnprintf(Out.data(), Out.size(), Fmt, Args);
  Out.resize(static_cast<size_t>(N));
  return Out;
}

bool IsBlank(char C) { return static_cast<unsigned char>(C) <= ' '; }

char UpChar(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; }
char LowChar(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; }

// Parses an integer text into Value within [Min, Max]; blanks around it are
// allowed, "$", "0x" or "0X" introduce hexadecimal.
bool ParseInt(const std::string& Text, int64_t Min, int64_t Max, int64_t& Value) {
  size_t I = 0, E = Text.size();
  while (I < E && IsBlank(Text[I])) ++I;
  while (E > I && IsBlank(Text[E - 1])) --E;
  if (I == E) return false;
  bool Neg = false;
  if (Text[I] == '-' || Text[I] == '+') {
    Neg = Text[I] == '-';
    ++I;
  }
  int Base = 10;
  if (I < E && Text[I] == '$') {
    Base = 16;
    ++I;
  } else if (I + 1 < E && Text[I] == '0' && (Text[I + 1] == 'x' || Text[I + 1] == 'X')) {
    Base = 16;
    I += 2;
  }
  if (I == E) return false;
  // Accumulate the magnitude as unsigned; hexadecimal texts may name the bit
  // pattern of a negative value (as "$FFFFFFFF" for -1 in 32 bits).
  uint64_t Acc = 0;
  const uint64_t Limit = Base == 16 ? (Max == INT32_MAX ? 0xFFFFFFFFull : ~0ull)
                                    : (Neg ? static_cast<uint64_t>(-(Min + 1)) + 1
                                           : static_cast<uint64_t>(Max));
  for (; I < E; ++I) {
    const char C = Text[I];
    int D;
    if (C >= '0' && C <= '9') D = C - '0';
    else if (Base == 16 && C >= 'a' && C <= 'f') D = C - 'a' + 10;
    else if (Base == 16 && C >= 'A' && C <= 'F') D = C - 'A' + 10;
    else return false;
    if (Acc > (Limit - static_cast<uint64_t>(D)) / static_cast<uint64_t>(Base)) return false;
    Acc = Acc * static_cast<uint64_t>(Base) + static_cast<uint64_t>(D);
  }
  int64_t V;
  if (Base == 16) {
    if (Max == INT32_MAX) V = static_cast<int32_t>(static_cast<uint32_t>(Acc));
    else V = static_cast<int64_t>(Acc);
    if (Neg) {
      if (V == Min) return false;
      V = -V;
    }
  } else {
    V = Neg ? static_cast<int64_t>(0 - Acc) : static_cast<int64_t>(Acc);
  }
  if (V < Min || V > Max) return false;
  Value = V;
  return true;
}

// Checks the shape [blanks][sign]digits[.digits][(e|E)[sign]digits][blanks]
// and answers the trimmed text.
bool FloatShape(const std::string& S, std::string& Trimmed) {
  size_t I = 0, E = S.size();
  while (I < E && IsBlank(S[I])) ++I;
  while (E > I && IsBlank(S[E - 1])) --E;
  Trimmed = S.substr(I, E - I);
  size_t P = 0, N = Trimmed.size();
  if (P < N && (Trimmed[P] == '+' || Trimmed[P] == '-')) ++P;
  size_t Digits = 0;
  while (P < N && Trimmed[P] >= '0' && Trimmed[P] <= '9') ++P, ++Digits;
  if (P < N && Trimmed[P] == '.') {
    ++P;
    while (P < N && Trimmed[P] >= '0' && Trimmed[P] <= '9') ++P, ++Digits;
  }
  if (Digits == 0) return false;
  if (P < N && (Trimmed[P] == 'e' || Trimmed[P] == 'E')) {
    ++P;
    if (P < N && (Trimmed[P] == '+' || Trimmed[P] == '-')) ++P;
    size_t ExpDigits = 0;
    while (P < N && Trimmed[P] >= '0' && Trimmed[P] <= '9') ++P, ++ExpDigits;
    if (ExpDigits == 0) return false;
  }
  return P == N;
}

// Rewrites printf's exponent ("e+05") in the class library's way: upper-case
// "E", sign only when negative (or always with ForceSign), at least MinDigits
// digits.
std::string FixExponent(const std::string& S, bool ForceSign, int MinDigits) {
  size_t E = S.find_first_of("eE");
  if (E == std::string::npos) return S;
  std::string Mant = S.substr(0, E);
  size_t P = E + 1;
  char Sign = '+';
  if (P < S.size() && (S[P] == '+' || S[P] == '-')) Sign = S[P++];
  std::string Digits = S.substr(P);
  size_t Z = 0;
  while (Z + 1 < Digits.size() && Digits[Z] == '0') ++Z;
  Digits.erase(0, Z);
  // Leading zeros by concatenation: GCC 12 warns falsely (-Wrestrict) about
  // std::string::insert at a fixed position when optimising.
  if (static_cast<int>(Digits.size()) < MinDigits)
    Digits = std::string(static_cast<size_t>(MinDigits) - Digits.size(), '0') + Digits;
  std::string Out = Mant + "E";
  if (Sign == '-' || ForceSign) Out += Sign;
  return Out + Digits;
}

std::string NonFinite(long double V) {
  if (std::isnan(V)) return "NAN";
  return V < 0 ? "-INF" : "INF";
}

}  // namespace

std::string Format(const char* Fmt, ...) {
  va_list Args;
  va_start(Args, Fmt);
  std::string S = VFormat(Fmt, Args);
  va_end(Args);
  return S;
}

std::string IntToStr(int32_t Value) { return std::to_string(Value); }
std::string IntToStr(int64_t Value) { return std::to_string(Value); }
std::string IntToStr(uint32_t Value) { return std::to_string(Value); }
std::string IntToStr(uint64_t Value) { return std::to_string(Value); }
std::string UIntToStr(uint32_t Value) { return std::to_string(Value); }
std::string UIntToStr(uint64_t Value) { return std::to_string(Value); }

std::string IntToHex(uint64_t Value, int32_t Digits) {
  char Buf[32];
  snprintf(Buf, sizeof Buf, "%llX", static_cast<unsigned long long>(Value));
  std::string S = Buf;
  if (Digits > 32) Digits = 32;
  if (static_cast<int32_t>(S.size()) < Digits) S = std::string(static_cast<size_t>(Digits) - S.size(), '0') + S;
  return S;
}
std::string IntToHex(int64_t Value, int32_t Digits) { return IntToHex(static_cast<uint64_t>(Value), Digits); }
std::string IntToHex(uint32_t Value, int32_t Digits) { return IntToHex(static_cast<uint64_t>(Value), Digits); }
std::string IntToHex(int32_t Value, int32_t Digits) {
  return IntToHex(static_cast<uint64_t>(static_cast<uint32_t>(Value)), Digits);
}

bool TryStrToInt(const std::string& S, int32_t& Value) {
  int64_t V;
  if (!ParseInt(S, INT32_MIN, INT32_MAX, V)) return false;
  Value = static_cast<int32_t>(V);
  return true;
}

bool TryStrToInt64(const std::string& S, int64_t& Value) {
  return ParseInt(S, INT64_MIN, INT64_MAX, Value);
}

int32_t StrToInt(const std::string& S) {
  int32_t V;
  if (!TryStrToInt(S, V)) throw EConvertError(Format("'%s' is not a valid integer value", S.c_str()));
  return V;
}

int64_t StrToInt64(const std::string& S) {
  int64_t V;
  if (!TryStrToInt64(S, V)) throw EConvertError(Format("'%s' is not a valid integer value", S.c_str()));
  return V;
}

int32_t StrToIntDef(const std::string& S, int32_t Default) {
  int32_t V;
  return TryStrToInt(S, V) ? V : Default;
}

int64_t StrToInt64Def(const std::string& S, int64_t Default) {
  int64_t V;
  return TryStrToInt64(S, V) ? V : Default;
}

std::string FloatToStr(long double Value) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  if (Value == 0) return "0";  // no "-0"
  // 15 significant digits, as the class library's general format; %Lg also
  // switches to the exponent form at the same places (exponent < -4 or >= 15).
  return FixExponent(Format("%.15Lg", Value), false, 1);
}

std::string FloatToStrF(long double Value, TFloatFormat Fmt, int32_t Precision, int32_t Digits) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  if (Precision < 1) Precision = 1;
  if (Precision > 18) Precision = 18;
  if (Digits < 0) Digits = 0;
  if (Digits > 18) Digits = 18;
  std::string S;
  switch (Fmt) {
    case ffGeneral:
      if (Value == 0) return "0";
      return FixExponent(Format("%.*Lg", Precision, Value), false, 1);
    case ffExponent:
      return FixExponent(Format("%.*LE", Precision - 1, Value), true, Digits);
    case ffFixed:
      S = Format("%.*Lf", Digits, Value);
      break;
    case ffNumber:
    case ffCurrency: {
      S = Format("%.*Lf", Digits, Value);
      size_t Start = (S[0] == '-') ? 1 : 0;
      size_t Dot = S.find('.');
      if (Dot == std::string::npos) Dot = S.size();
      // Thousands separators, built into a new string (see the exponent's
      // leading zeros above).
      std::string Grouped = S.substr(0, Start);
      for (size_t I = Start; I < Dot; ++I) {
        if (I > Start && (Dot - I) % 3 == 0) Grouped += ',';
        Grouped += S[I];
      }
      S = Grouped + S.substr(Dot);
      break;
    }
  }
  // "-0.00" reads as zero: drop the sign like the class library does.
  if (S.size() > 1 && S[0] == '-' && S.find_first_of("123456789") == std::string::npos) S.erase(0, 1);
  return S;
}

bool TryStrToFloat(const std::string& S, long double& Value) {
  std::string T;
  if (!FloatShape(S, T)) return false;
  errno = 0;
  char* End = nullptr;
  long double V = strtold_l(T.c_str(), &End, CLocale());
  if (End != T.c_str() + T.size()) return false;
  if (!std::isfinite(V)) return false;
  Value = V;
  return true;
}

bool TryStrToFloat(const std::string& S, double& Value) {
  long double V;
  if (!TryStrToFloat(S, V)) return false;
  if (std::fabs(V) > std::numeric_limits<double>::max()) return false;
  Value = static_cast<double>(V);
  return true;
}

long double StrToFloat(const std::string& S) {
  long double V;
  if (!TryStrToFloat(S, V)) throw EConvertError(Format("'%s' is not a valid floating point value", S.c_str()));
  return V;
}

long double StrToFloatDef(const std::string& S, long double Default) {
  long double V;
  return TryStrToFloat(S, V) ? V : Default;
}

std::string UpperCase(const std::string& S) {
  std::string R = S;
  for (char& C : R) C = UpChar(C);
  return R;
}

std::string LowerCase(const std::string& S) {
  std::string R = S;
  for (char& C : R) C = LowChar(C);
  return R;
}

int32_t CompareStr(const std::string& A, const std::string& B) {
  const size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    const int D = static_cast<unsigned char>(A[I]) - static_cast<unsigned char>(B[I]);
    if (D != 0) return D;
  }
  return static_cast<int32_t>(A.size() > B.size()) - static_cast<int32_t>(A.size() < B.size());
}

int32_t CompareText(const std::string& A, const std::string& B) {
  const size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    const int D = static_cast<unsigned char>(UpChar(A[I])) - static_cast<unsigned char>(UpChar(B[I]));
    if (D != 0) return D;
  }
  return static_cast<int32_t>(A.size() > B.size()) - static_cast<int32_t>(A.size() < B.size());
}

bool SameText(const std::string& A, const std::string& B) {
  return A.size() == B.size() && CompareText(A, B) == 0;
}

std::string Trim(const std::string& S) {
  size_t I = 0, E = S.size();
  while (I < E && IsBlank(S[I])) ++I;
  while (E > I && IsBlank(S[E - 1])) --E;
  return S.substr(I, E - I);
}

std::string TrimLeft(const std::string& S) {
  size_t I = 0;
  while (I < S.size() && IsBlank(S[I])) ++I;
  return S.substr(I);
}

std::string TrimRight(const std::string& S) {
  size_t E = S.size();
  while (E > 0 && IsBlank(S[E - 1])) --E;
  return S.substr(0, E);
}

std::string QuotedStr(const std::string& S) {
  std::string R = "'";
  for (char C : S) {
    R += C;
    if (C == '\'') R += C;
  }
  return R + "'";
}

int32_t Pos(const std::string& Sub, const std::string& S) {
  if (Sub.empty()) return 0;
  const size_t P = S.find(Sub);
  return P == std::string::npos ? 0 : static_cast<int32_t>(P) + 1;
}

std::string Copy(const std::string& S, int32_t Index, int32_t Count) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || static_cast<size_t>(Index) > S.size()) return std::string();
  return S.substr(static_cast<size_t>(Index) - 1, static_cast<size_t>(Count));
}

std::string StringReplace(const std::string& S, const std::string& OldPattern,
                          const std::string& NewPattern, TReplaceFlags Flags) {
  if (OldPattern.empty()) return S;
  const bool IgnoreCase = (Flags & rfIgnoreCase) != 0;
  const std::string Hay = IgnoreCase ? UpperCase(S) : S;
  const std::string Needle = IgnoreCase ? UpperCase(OldPattern) : OldPattern;
  std::string R;
  size_t From = 0;
  for (;;) {
    const size_t P = Hay.find(Needle, From);
    if (P == std::string::npos) break;
    R.append(S, From, P - From);
    R += NewPattern;
    From = P + OldPattern.size();
    if (!(Flags & rfReplaceAll)) break;
  }
  R.append(S, From, std::string::npos);
  return R;
}

// ---------------------------------------------------------------- numbers

namespace {
template <typename T>
T ToIntSaturated(long double R) {
  // Out-of-range values saturate and NaN gives 0 rather than an undefined
  // conversion.
  if (std::isnan(R)) return 0;
  if (R <= static_cast<long double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (R >= static_cast<long double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(R);
}
}  // namespace

int32_t IERound(long double X) { return ToIntSaturated<int32_t>(std::nearbyint(X)); }
int32_t IERound(double X) { return ToIntSaturated<int32_t>(std::nearbyint(static_cast<long double>(X))); }
int32_t IERound(float X) { return ToIntSaturated<int32_t>(std::nearbyint(static_cast<long double>(X))); }
int64_t IERound64(long double X) { return ToIntSaturated<int64_t>(std::nearbyint(X)); }
int32_t Trunc(long double X) { return ToIntSaturated<int32_t>(std::trunc(X)); }
int64_t Trunc64(long double X) { return ToIntSaturated<int64_t>(std::trunc(X)); }
long double Frac(long double X) { return X - std::trunc(X); }

int32_t MulDiv(int32_t A, int32_t B, int32_t C) {
  if (C == 0) return -1;
  const int64_t P = static_cast<int64_t>(A) * B;
  int64_t Q = P / C;
  const int64_t R = P % C;
  // Halves go away from zero.
  const int64_t AbsR = R < 0 ? -R : R;
  const int64_t AbsC = C < 0 ? -static_cast<int64_t>(C) : C;
  if (2 * AbsR >= AbsC && R != 0) Q += ((P < 0) != (C < 0)) ? -1 : 1;
  if (Q > INT32_MAX || Q < INT32_MIN) return -1;
  return static_cast<int32_t>(Q);
}

// ---------------------------------------------------------------- files

namespace {
bool IsDelim(char C) { return C == '/' || C == '\\'; }

std::string Slashes(const std::string& S) {
  std::string R = S;
  for (char& C : R)
    if (C == '\\') C = '/';
  return R;
}

size_t LastDelim(const std::string& S) {
  for (size_t I = S.size(); I > 0; --I)
    if (IsDelim(S[I - 1])) return I - 1;
  return std::string::npos;
}
}  // namespace

bool FileExists(const std::string& FileName) {
  struct stat St;
  return !FileName.empty() && stat(Slashes(FileName).c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool DirectoryExists(const std::string& Directory) {
  struct stat St;
  return !Directory.empty() && stat(Slashes(Directory).c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool CreateDir(const std::string& Dir) { return !Dir.empty() && mkdir(Slashes(Dir).c_str(), 0777) == 0; }

bool RemoveDir(const std::string& Dir) { return !Dir.empty() && rmdir(Slashes(Dir).c_str()) == 0; }

bool ForceDirectories(const std::string& Dir) {
  std::string D = ExcludeTrailingPathDelimiter(Slashes(Dir));
  if (D.empty()) return DirectoryExists("/") && !Dir.empty();
  if (DirectoryExists(D)) return true;
  const std::string Parent = ExtractFileDir(D);
  if (!Parent.empty() && Parent != D && !ForceDirectories(Parent)) return false;
  return mkdir(D.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(D));
}

bool DeleteFile(const std::string& FileName) {
  if (FileName.empty() || DirectoryExists(FileName)) return false;
  return unlink(Slashes(FileName).c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
  // Like the class library on its home platform, renaming never replaces an
  // existing file.
  const std::string From = Slashes(OldName), To = Slashes(NewName);
  if (From.empty() || To.empty()) return false;
  if (renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat St;
  if (lstat(To.c_str(), &St) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(From.c_str(), To.c_str()) == 0;
}

std::string GetCurrentDir() {
  std::vector<char> Buf(4096);
  for (;;) {
    if (getcwd(Buf.data(), Buf.size()) != nullptr) return Buf.data();
    if (errno != ERANGE || Buf.size() > (1u << 20)) return std::string();
    Buf.resize(Buf.size() * 2);
  }
}

std::string ExpandFileName(const std::string& FileName) {
  if (FileName.empty()) return std::string();
  std::string S = Slashes(FileName);
  if (S[0] != '/') S = IncludeTrailingPathDelimiter(GetCurrentDir()) + S;
  const bool Trailing = S.back() == '/';
  std::vector<std::string> Parts;
  size_t I = 0;
  while (I <= S.size()) {
    size_t J = S.find('/', I);
    if (J == std::string::npos) J = S.size();
    const std::string Part = S.substr(I, J - I);
    if (Part == "..") {
      if (!Parts.empty()) Parts.pop_back();
    } else if (!Part.empty() && Part != ".") {
      Parts.push_back(Part);
    }
    I = J + 1;
  }
  std::string R;
  for (const auto& P : Parts) R += "/" + P;
  if (R.empty()) return "/";
  if (Trailing) R += "/";
  return R;
}

std::string ExtractFilePath(const std::string& FileName) {
  const size_t P = LastDelim(FileName);
  return P == std::string::npos ? std::string() : FileName.substr(0, P + 1);
}

std::string ExtractFileDir(const std::string& FileName) {
  const size_t P = LastDelim(FileName);
  if (P == std::string::npos) return std::string();
  if (P == 0) return FileName.substr(0, 1);  // the root keeps its separator
  return FileName.substr(0, P);
}

std::string ExtractFileName(const std::string& FileName) {
  const size_t P = LastDelim(FileName);
  return P == std::string::npos ? FileName : FileName.substr(P + 1);
}

std::string ExtractFileExt(const std::string& FileName) {
  const size_t D = LastDelim(FileName);
  const size_t Dot = FileName.rfind('.');
  if (Dot == std::string::npos || (D != std::string::npos && Dot < D)) return std::string();
  return FileName.substr(Dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  const std::string Ext = ExtractFileExt(FileName);
  return FileName.substr(0, FileName.size() - Ext.size()) + Extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& S) {
  if (!S.empty() && IsDelim(S.back())) return S;
  return S + "/";
}

std::string IncludeTrailingBackslash(const std::string& S) { return IncludeTrailingPathDelimiter(S); }

std::string ExcludeTrailingPathDelimiter(const std::string& S) {
  if (!S.empty() && IsDelim(S.back())) return S.substr(0, S.size() - 1);
  return S;
}

std::string GetTempFolder() {
  const char* Env = getenv("TMPDIR");
  if (Env != nullptr && *Env != '\0' && DirectoryExists(Env)) return IncludeTrailingPathDelimiter(Env);
  return "/tmp/";
}

int64_t FileSizeByName(const std::string& FileName) {
  struct stat St;
  if (FileName.empty() || stat(Slashes(FileName).c_str(), &St) != 0 || S_ISDIR(St.st_mode)) return -1;
  return static_cast<int64_t>(St.st_size);
}

int64_t GetPhysicalMemorySize(bool Available) {
  const long Pages = ::sysconf(Available ? _SC_AVPHYS_PAGES : _SC_PHYS_PAGES);
  const long PageSize = ::sysconf(_SC_PAGESIZE);
  if (Pages <= 0 || PageSize <= 0) return 0;
  if (int64_t(Pages) > INT64_MAX / int64_t(PageSize)) return INT64_MAX;
  return int64_t(Pages) * int64_t(PageSize);
}

std::string SysErrorMessage(int ErrorCode) {
  char Buf[256];
  // The GNU variant answers a pointer to the text (maybe not Buf).
  const char* P = strerror_r(ErrorCode, Buf, sizeof Buf);
  return P != nullptr ? std::string(P) : Format("Unknown error %d", ErrorCode);
}

int GetLastError() { return errno; }
void SetLastError(int ErrorCode) { errno = ErrorCode; }

// ---------------------------------------------------------------- time

uint64_t GetTickCount64() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

void Sleep(uint32_t Milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds)); }

namespace {
// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t Y, unsigned M, unsigned D) {
  Y -= M <= 2;
  const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
  const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
  const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + static_cast<int64_t>(Doe) - 719468;
}

void CivilFromDays(int64_t Z, int64_t& Y, unsigned& M, unsigned& D) {
  Z += 719468;
  const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const unsigned Doe = static_cast<unsigned>(Z - Era * 146097);
  const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  Y = static_cast<int64_t>(Yoe) + Era * 400;
  const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const unsigned Mp = (5 * Doy + 2) / 153;
  D = Doy - (153 * Mp + 2) / 5 + 1;
  M = Mp < 10 ? Mp + 3 : Mp - 9;
  Y += M <= 2;
}

constexpr int64_t kDelta1970 = 25569;  // days from 1899-12-30 to 1970-01-01
}  // namespace

TDateTime EncodeDate(uint16_t Year, uint16_t Month, uint16_t Day) {
  if (Month < 1 || Month > 12 || Day < 1 || Day > 31 || Year < 1)
    throw EConvertError("Invalid argument to date encode");
  int64_t Y;
  unsigned M, D;
  const int64_t Days = DaysFromCivil(Year, Month, Day);
  CivilFromDays(Days, Y, M, D);
  if (M != Month || D != Day) throw EConvertError("Invalid argument to date encode");
  return static_cast<TDateTime>(Days + kDelta1970);
}

TDateTime EncodeTime(uint16_t Hour, uint16_t Min, uint16_t Sec, uint16_t MSec) {
  if (Hour > 23 || Min > 59 || Sec > 59 || MSec > 999) throw EConvertError("Invalid argument to time encode");
  return ((Hour * 3600000.0) + (Min * 60000.0) + (Sec * 1000.0) + MSec) / 86400000.0;
}

namespace {
// A value a date may stand for: years 1 to 9999; NaN and infinities (a
// damaged time stamp) read as day 0.  Keeps the conversions to integers
// below defined for every input.
TDateTime SaneDateTime(TDateTime Dt) {
  if (!std::isfinite(Dt)) return 0;
  return std::clamp(Dt, -693593.0, 2958465.99999999);
}
}  // namespace

void DecodeDate(TDateTime Dt, uint16_t& Year, uint16_t& Month, uint16_t& Day) {
  Dt = SaneDateTime(Dt);
  int64_t Y;
  unsigned M, D;
  CivilFromDays(static_cast<int64_t>(std::floor(Dt)) - kDelta1970, Y, M, D);
  Year = static_cast<uint16_t>(Y);
  Month = static_cast<uint16_t>(M);
  Day = static_cast<uint16_t>(D);
}

void DecodeTime(TDateTime Dt, uint16_t& Hour, uint16_t& Min, uint16_t& Sec, uint16_t& MSec) {
  Dt = SaneDateTime(Dt);
  int64_t Ms = static_cast<int64_t>(std::llround((Dt - std::floor(Dt)) * 86400000.0));
  if (Ms >= 86400000) Ms = 86399999;
  Hour = static_cast<uint16_t>(Ms / 3600000);
  Min = static_cast<uint16_t>(Ms / 60000 % 60);
  Sec = static_cast<uint16_t>(Ms / 1000 % 60);
  MSec = static_cast<uint16_t>(Ms % 1000);
}

TDateTime Now() {
  timespec Ts;
  clock_gettime(CLOCK_REALTIME, &Ts);
  std::tm Tm;
  const time_t T = Ts.tv_sec;
  localtime_r(&T, &Tm);
  const int64_t Days = DaysFromCivil(Tm.tm_year + 1900, static_cast<unsigned>(Tm.tm_mon + 1),
                                     static_cast<unsigned>(Tm.tm_mday));
  const double Ms = Tm.tm_hour * 3600000.0 + Tm.tm_min * 60000.0 + Tm.tm_sec * 1000.0 +
                    static_cast<double>(Ts.tv_nsec / 1000000);
  return static_cast<double>(Days + kDelta1970) + Ms / 86400000.0;
}

TDateTime Date() { return std::floor(Now()); }
TDateTime Time() {
  const TDateTime N = Now();
  return N - std::floor(N);
}

std::string DateToStr(TDateTime D) {
  uint16_t Y, M, Dd;
  DecodeDate(D, Y, M, Dd);
  return Format("%04u-%02u-%02u", Y, M, Dd);
}

std::string TimeToStr(TDateTime D) {
  uint16_t H, M, S, Ms;
  DecodeTime(D, H, M, S, Ms);
  return Format("%02u:%02u:%02u", H, M, S);
}

std::string DateTimeToStr(TDateTime D) { return DateToStr(D) + " " + TimeToStr(D); }
