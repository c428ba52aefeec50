#pragma once
// Numbers as text whatever the user's locale, byte swapping, and thin text
// wrappers with the runtime's meaning.
#include <cstdint>
#include <string>

#include "platform/rtl/sysutils.h"

// Converts S (surrounding blanks allowed) with "." as decimal separator; when
// that fails, with the first "," taken as the separator; Default otherwise.
long double IEStrToFloatDef(const std::string& S, long double Default);
long double IEParseFloatDef(const std::string& S, long double Default);
// The shortest general text of Value with "." as decimal separator.
std::string IEFloatToStrDot(long double Value);
std::string IEFloatToStrPoint(long double Value);

// Numerator / Denominator approximating Value within Precision by continued
// fractions, both kept within the 32-bit range (the closest convergent that
// fits is taken when the precision cannot be reached).
void IEFloatToRational(int32_t& Numerator, int32_t& Denominator, double Value, double Precision);

inline uint16_t IESwapWordIf(uint16_t Value, bool Swap) {
  return Swap ? static_cast<uint16_t>((Value >> 8) | (Value << 8)) : Value;
}
inline uint32_t IESwapDWordIf(uint32_t Value, bool Swap) {
  return Swap ? __builtin_bswap32(Value) : Value;
}

// Unsigned 16- and 32-bit numbers stored in either byte order (the file
// formats' fields), read from or written to P.
inline uint16_t IEGetWord(const uint8_t* P, bool BigEndian) {
  return BigEndian ? static_cast<uint16_t>((P[0] << 8) | P[1]) : static_cast<uint16_t>(P[0] | (P[1] << 8));
}
inline uint32_t IEGetDWord(const uint8_t* P, bool BigEndian) {
  return BigEndian ? (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3]
                   : P[0] | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}
inline void IEPutWord(uint8_t* P, uint32_t V, bool BigEndian) {
  P[BigEndian ? 0 : 1] = uint8_t(V >> 8);
  P[BigEndian ? 1 : 0] = uint8_t(V);
}
inline void IEPutDWord(uint8_t* P, uint32_t V, bool BigEndian) {
  for (int i = 0; i < 4; ++i) P[BigEndian ? i : 3 - i] = uint8_t(V >> (24 - 8 * i));
}

inline std::string IETrim(const std::string& S) { return Trim(S); }
inline std::string IEUpperCase(const std::string& S) { return UpperCase(S); }
inline std::string IELowerCase(const std::string& S) { return LowerCase(S); }
inline std::string IEIntToStr(int32_t Value) { return IntToStr(Value); }
inline std::string IEIntToStr(int64_t Value) { return IntToStr(Value); }
inline int32_t IEStrToIntDef(const std::string& S, int32_t Default) { return StrToIntDef(S, Default); }
// Substring by 1-based start and count, clipped to the text.
inline std::string IECopy(const std::string& S, int32_t Index, int32_t Count) { return Copy(S, Index, Count); }
inline std::string IEFloatToStrF(long double Value, TFloatFormat Format, int32_t Precision, int32_t Digits) {
  return FloatToStrF(Value, Format, Precision, Digits);
}
inline std::string IEIntToHex(int64_t Value, int32_t Digits) { return IntToHex(Value, Digits); }
// 1-based position of Sub in S, 0 when absent.
inline int32_t IEPos(const std::string& Sub, const std::string& S) { return Pos(Sub, S); }
// A heap copy (malloc; release with free) of a zero-terminated string;
// nullptr for nullptr.
char* IEStrDup(const char* S);
// Copies the zero-terminated 16-bit string Source into Dest; answers Dest.
char16_t* IEStrCopyW(char16_t* Dest, const char16_t* Source);
