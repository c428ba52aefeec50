#pragma once
// Exceptions, number text, rounding and file-name helpers of the runtime.
// Number text never depends on the process locale: the decimal separator is
// always ".".
#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>

// ---------------------------------------------------------------- exceptions

class Exception : public std::exception {
 public:
  explicit Exception(std::string Msg);
  ~Exception() override;
  std::string Message;
  const char* what() const noexcept override;
  // The class's name without namespace ("EFOpenError").
  virtual std::string ClassName() const;
};

#define FOLIO_RTL_EXCEPTION(Name, Base)      \
  class Name : public Base {                 \
   public:                                   \
    using Base::Base;                        \
    std::string ClassName() const override { return #Name; } \
  };

FOLIO_RTL_EXCEPTION(EAbort, Exception)
FOLIO_RTL_EXCEPTION(EHeapException, Exception)
FOLIO_RTL_EXCEPTION(EOutOfMemory, EHeapException)
FOLIO_RTL_EXCEPTION(EInvalidPointer, EHeapException)
FOLIO_RTL_EXCEPTION(EConvertError, Exception)
FOLIO_RTL_EXCEPTION(EStreamError, Exception)
FOLIO_RTL_EXCEPTION(EFileStreamError, EStreamError)
FOLIO_RTL_EXCEPTION(EFCreateError, EFileStreamError)
FOLIO_RTL_EXCEPTION(EFOpenError, EFileStreamError)
FOLIO_RTL_EXCEPTION(EFilerError, EStreamError)
FOLIO_RTL_EXCEPTION(EReadError, EFilerError)
FOLIO_RTL_EXCEPTION(EWriteError, EFilerError)
FOLIO_RTL_EXCEPTION(EClassNotFound, EFilerError)
FOLIO_RTL_EXCEPTION(EListError, Exception)
FOLIO_RTL_EXCEPTION(EStringListError, Exception)
FOLIO_RTL_EXCEPTION(EThread, Exception)
FOLIO_RTL_EXCEPTION(EInvalidOperation, Exception)
FOLIO_RTL_EXCEPTION(EInvalidCast, Exception)
FOLIO_RTL_EXCEPTION(EIntError, Exception)
FOLIO_RTL_EXCEPTION(EDivByZero, EIntError)
FOLIO_RTL_EXCEPTION(ERangeError, EIntError)
FOLIO_RTL_EXCEPTION(EIntOverflow, EIntError)
FOLIO_RTL_EXCEPTION(EMathError, Exception)
FOLIO_RTL_EXCEPTION(EInvalidOp, EMathError)
FOLIO_RTL_EXCEPTION(EZeroDivide, EMathError)
FOLIO_RTL_EXCEPTION(EOverflow, EMathError)
FOLIO_RTL_EXCEPTION(EUnderflow, EMathError)
FOLIO_RTL_EXCEPTION(EComponentError, Exception)
FOLIO_RTL_EXCEPTION(ENotSupportedException, Exception)
FOLIO_RTL_EXCEPTION(EArgumentException, Exception)

#undef FOLIO_RTL_EXCEPTION

// An input/output failure with the system's error number.
class EInOutError : public Exception {
 public:
  explicit EInOutError(std::string Msg, int Code = 0);
  std::string ClassName() const override { return "EInOutError"; }
  int ErrorCode = 0;
};

// A failed system call; ErrorCode is the errno value.
class EOSError : public Exception {
 public:
  explicit EOSError(std::string Msg, uint32_t Code = 0);
  std::string ClassName() const override { return "EOSError"; }
  uint32_t ErrorCode = 0;
};

// Raises EAbort ("Operation aborted"), the silent exception.
[[noreturn]] void Abort();
// Raises EOSError for the last system error ("System Error.  Code: %d.\n%s").
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(int ErrorCode);

// ---------------------------------------------------------------- text

// printf-style formatting; floating values always use "." whatever the locale.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

std::string IntToStr(int32_t Value);
std::string IntToStr(int64_t Value);
std::string IntToStr(uint32_t Value);
std::string IntToStr(uint64_t Value);
std::string UIntToStr(uint32_t Value);
std::string UIntToStr(uint64_t Value);
// Upper-case hexadecimal, at least Digits digits; negative 32-bit values show
// their 32-bit pattern (IntToHex(-1, 2) = "FFFFFFFF"), 64-bit ones their
// 64-bit pattern.
std::string IntToHex(int32_t Value, int32_t Digits);
std::string IntToHex(uint32_t Value, int32_t Digits);
std::string IntToHex(int64_t Value, int32_t Digits);
std::string IntToHex(uint64_t Value, int32_t Digits);
// Any other integer type (long long, char, short ...): values up to 32 bits
// behave as the 32-bit overloads, wider ones as the 64-bit ones.
template <typename T>
  requires std::is_integral_v<T>
std::string IntToStr(T Value) {
  if constexpr (std::is_signed_v<T>) return IntToStr(static_cast<int64_t>(Value));
  else return IntToStr(static_cast<uint64_t>(Value));
}
template <typename T>
  requires std::is_integral_v<T>
std::string IntToHex(T Value, int32_t Digits) {
  if constexpr (sizeof(T) <= 4)
    return IntToHex(static_cast<uint32_t>(static_cast<std::conditional_t<std::is_signed_v<T>, int32_t, uint32_t>>(Value)), Digits);
  else return IntToHex(static_cast<uint64_t>(Value), Digits);
}
// Decimal or "$"/"0x" hexadecimal with optional sign and surrounding blanks
// (hexadecimal may give the bit pattern: StrToInt("$FFFFFFFF") = -1);
// raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& S);
int64_t StrToInt64(const std::string& S);
int32_t StrToIntDef(const std::string& S, int32_t Default);
int64_t StrToInt64Def(const std::string& S, int64_t Default);
bool TryStrToInt(const std::string& S, int32_t& Value);
bool TryStrToInt64(const std::string& S, int64_t& Value);

// Shortest general form with 15 significant digits ("0.1", "1E20", "-2.5").
std::string FloatToStr(long double Value);
enum TFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// ffFixed: Digits decimals; ffGeneral: Precision significant digits;
// ffExponent: Precision digits, exponent of at least Digits digits;
// ffNumber: like ffFixed with "," thousands separators.
std::string FloatToStrF(long double Value, TFloatFormat Format, int32_t Precision, int32_t Digits);
// Raises EConvertError "'%s' is not a valid floating point value".
long double StrToFloat(const std::string& S);
long double StrToFloatDef(const std::string& S, long double Default);
bool TryStrToFloat(const std::string& S, long double& Value);
bool TryStrToFloat(const std::string& S, double& Value);

std::string UpperCase(const std::string& S);  // ASCII letters only
std::string LowerCase(const std::string& S);
int32_t CompareStr(const std::string& A, const std::string& B);   // <0, 0, >0
int32_t CompareText(const std::string& A, const std::string& B);  // ASCII case ignored
bool SameText(const std::string& A, const std::string& B);
std::string Trim(const std::string& S);  // removes characters <= ' '
std::string TrimLeft(const std::string& S);
std::string TrimRight(const std::string& S);
std::string QuotedStr(const std::string& S);
// 1-based position of Sub in S, 0 when absent.
int32_t Pos(const std::string& Sub, const std::string& S);
// Substring by 1-based start and count, clipped to the text.
std::string Copy(const std::string& S, int32_t Index, int32_t Count);
enum TReplaceFlag : uint8_t { rfReplaceAll = 0x1, rfIgnoreCase = 0x2 };
using TReplaceFlags = uint8_t;
std::string StringReplace(const std::string& S, const std::string& OldPattern,
                          const std::string& NewPattern, TReplaceFlags Flags);

// ---------------------------------------------------------------- numbers

// To nearest, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Values out of
// the result's range saturate; NaN gives 0.
int32_t IERound(long double X);
int32_t IERound(double X);
int32_t IERound(float X);
template <typename T>
  requires std::is_integral_v<T>
int32_t IERound(T X) {
  return IERound(static_cast<long double>(X));
}
int64_t IERound64(long double X);
// Toward zero (saturating like IERound).
int32_t Trunc(long double X);
int64_t Trunc64(long double X);
// Fractional part, with the sign of X.
long double Frac(long double X);
// A * B / C computed in 64 bits, halves rounded away from zero; -1 when C = 0
// or the result does not fit.
int32_t MulDiv(int32_t A, int32_t B, int32_t C);

// ---------------------------------------------------------------- files

// Path separators: "/" and "\\" are both accepted on input.
constexpr char PathDelim = '/';
bool FileExists(const std::string& FileName);       // regular files (and other non-folders)
bool DirectoryExists(const std::string& Directory);
bool ForceDirectories(const std::string& Dir);      // creates every missing level
bool CreateDir(const std::string& Dir);
bool RemoveDir(const std::string& Dir);
bool DeleteFile(const std::string& FileName);
// Never replaces an existing NewName (answers False then).
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Absolute, with "." and ".." folded and "\\" turned into "/".
std::string ExpandFileName(const std::string& FileName);
std::string ExtractFilePath(const std::string& FileName);  // with trailing separator
std::string ExtractFileDir(const std::string& FileName);   // without it
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFileExt(const std::string& FileName);   // ".tif", "" when none
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);
std::string IncludeTrailingPathDelimiter(const std::string& S);
std::string IncludeTrailingBackslash(const std::string& S);
std::string ExcludeTrailingPathDelimiter(const std::string& S);
std::string GetCurrentDir();
// TMPDIR when it names a folder, else /tmp; always ends with "/".
std::string GetTempFolder();
// -1 when the file cannot be read.
int64_t FileSizeByName(const std::string& FileName);
// Bytes of the machine's memory (Available: what is free now); 0 when the
// system does not say.
int64_t GetPhysicalMemorySize(bool Available = false);
// The system's text for an errno value.
std::string SysErrorMessage(int ErrorCode);
int GetLastError();  // errno of this thread
void SetLastError(int ErrorCode);

// ---------------------------------------------------------------- time

// Milliseconds from a monotonic clock, wrapping at 2^32.
uint32_t GetTickCount();
uint64_t GetTickCount64();
void Sleep(uint32_t Milliseconds);

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;
TDateTime Now();        // local time
TDateTime Date();
TDateTime Time();
TDateTime EncodeDate(uint16_t Year, uint16_t Month, uint16_t Day);
TDateTime EncodeTime(uint16_t Hour, uint16_t Min, uint16_t Sec, uint16_t MSec);
void DecodeDate(TDateTime D, uint16_t& Year, uint16_t& Month, uint16_t& Day);
void DecodeTime(TDateTime D, uint16_t& Hour, uint16_t& Min, uint16_t& Sec, uint16_t& MSec);
std::string DateToStr(TDateTime D);      // "yyyy-mm-dd"
std::string TimeToStr(TDateTime D);      // "hh:nn:ss"
std::string DateTimeToStr(TDateTime D);  // "yyyy-mm-dd hh:nn:ss"
