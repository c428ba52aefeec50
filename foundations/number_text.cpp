#include "foundations/number_text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

long double IEStrToFloatDef(const std::string& S, long double Default) {
  long double v;
  if (TryStrToFloat(S, v)) return v;
  // The text may use the other decimal separator.
  size_t comma = S.find(',');
  if (comma != std::string::npos) {
    std::string t = S;
    t[comma] = '.';
    if (TryStrToFloat(t, v)) return v;
  }
  return Default;
}

long double IEParseFloatDef(const std::string& S, long double Default) { return IEStrToFloatDef(S, Default); }

std::string IEFloatToStrDot(long double Value) {
  std::string s = FloatToStr(Value);
  for (char& c : s)
    if (c == ',') c = '.';
  return s;
}

std::string IEFloatToStrPoint(long double Value) { return IEFloatToStrDot(Value); }

void IEFloatToRational(int32_t& Numerator, int32_t& Denominator, double Value, double Precision) {
  constexpr double Max = std::numeric_limits<int32_t>::max();
  if (std::isnan(Value)) {
    Numerator = 0;
    Denominator = 1;
    return;
  }
  const int32_t sign = Value < 0 ? -1 : 1;
  const double a = std::fabs(Value);
  if (a > 1e19) {
    Numerator = sign * 999999999;
    Denominator = 1;
    return;
  }
  if (a >= Max) {
    // Beyond what a 32-bit numerator holds: the nearest that fits.
    Numerator = sign * std::numeric_limits<int32_t>::max();
    Denominator = 1;
    return;
  }
  if (a == std::trunc(a)) {
    Numerator = static_cast<int32_t>(std::trunc(Value));
    Denominator = 1;
    return;
  }
  if (a < 1e-19) {
    Numerator = sign;
    Denominator = 999999999;
    return;
  }
  // Continued fractions; each convergent is checked against the 32-bit range
  // before it is taken, so the result is the last one that fits.
  double num = std::floor(a + 0.5), den = 1, prevDen = 0;
  double x = a;
  for (int guard = 0; guard < 64; ++guard) {
    double f = x - std::trunc(x);
    if (f == 0) break;
    x = 1 / f;
    if (!(x < Max)) break;
    double d = prevDen + std::trunc(x) * den;
    if (d > Max) break;
    double n = std::trunc(a * d + 0.5);
    if (n > Max) break;
    prevDen = den;
    den = d;
    num = n;
    if (std::fabs(a - num / den) < Precision || x == std::trunc(x)) break;
  }
  Numerator = sign * static_cast<int32_t>(num);
  Denominator = static_cast<int32_t>(den);
}

char* IEStrDup(const char* S) {
  if (!S) return nullptr;
  size_t n = std::strlen(S) + 1;
  char* r = static_cast<char*>(std::malloc(n));
  if (r) std::memcpy(r, S, n);
  return r;
}

char16_t* IEStrCopyW(char16_t* Dest, const char16_t* Source) {
  char16_t* d = Dest;
  while ((*d++ = *Source++) != 0) {
  }
  return Dest;
}
