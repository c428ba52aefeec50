#include "foundations/system_info.h"

#include <cstdlib>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

uint8_t IEGetOSVersion() { return 9; }

bool IEHasMMX() {
#if defined(__x86_64__) || defined(__i386__)
  // __get_cpuid answers 0 when the processor has no CPUID or not function 1.
  unsigned int Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
  if (!__get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx)) return false;
  return (Edx & (1u << 23)) != 0;
#else
  return false;
#endif
}

namespace {

bool EnvSet(const char* Name) {
  const char* V = std::getenv(Name);
  return V && *V;
}

}  // namespace

bool IEIsRemoteSession() {
  if (EnvSet("SSH_CONNECTION") || EnvSet("SSH_CLIENT") || EnvSet("SSH_TTY")) return true;
  const char* Display = std::getenv("DISPLAY");
  if (!Display) return false;
  const std::string D(Display);
  const size_t Colon = D.rfind(':');
  if (Colon == std::string::npos || Colon == 0) return false;
  const std::string Host = D.substr(0, Colon);
  // "unix:0" is a local socket; a leading "/" is a socket path (some systems
  // give "/private/tmp/...:0").
  return Host != "unix" && Host[0] != '/';
}
