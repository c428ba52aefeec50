#include "platform/rtl/object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

TObject::~TObject() = default;

std::string TObject::ClassName() const {
  const char* Mangled = typeid(*this).name();
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Demangled(
      abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), std::free);
  std::string Name = (Status == 0 && Demangled) ? Demangled.get() : Mangled;
  // Drop template arguments, then any namespace or enclosing class.
  if (auto Lt = Name.find('<'); Lt != std::string::npos) Name.erase(Lt);
  if (auto Colon = Name.rfind("::"); Colon != std::string::npos) Name.erase(0, Colon + 2);
  return Name;
}

bool TObject::ClassNameIs(const std::string& Name) const {
  const std::string Mine = ClassName();
  if (Mine.size() != Name.size()) return false;
  for (size_t I = 0; I < Mine.size(); ++I) {
    char A = Mine[I], B = Name[I];
    if (A >= 'a' && A <= 'z') A = static_cast<char>(A - 32);
    if (B >= 'a' && B <= 'z') B = static_cast<char>(B - 32);
    if (A != B) return false;
  }
  return true;
}
