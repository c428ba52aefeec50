#include "foundations/file_utils.h"

#include <sys/stat.h>

#include "foundations/settings.h"
#include "platform/rtl/sysutils.h"

namespace {

size_t LastSeparator(const std::string& Name) { return Name.find_last_of("/\\:"); }

bool StartsWithNoCase(const std::string& S, const char* Prefix) {
  size_t n = std::char_traits<char>::length(Prefix);
  return S.size() >= n && LowerCase(S.substr(0, n)) == Prefix;
}

}  // namespace

std::string IEExtractFileExt(const std::string& Name, bool IncludeDot) {
  size_t sep = LastSeparator(Name);
  size_t dot = Name.rfind('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
  return LowerCase(Name.substr(IncludeDot ? dot : dot + 1));
}

std::string IEFileExtension(const std::string& Name, bool IncludeDot) {
  return IEExtractFileExt(Name, IncludeDot);
}

std::string IEFileExtensionW(const std::string& Name, bool IncludeDot) {
  return IEExtractFileExt(Name, IncludeDot);
}

std::string IEExtractFilePathW(const std::string& Name) {
  size_t sep = LastSeparator(Name);
  return sep == std::string::npos ? std::string() : Name.substr(0, sep + 1);
}

std::string IEExtractFileNameW(const std::string& Name) {
  size_t sep = LastSeparator(Name);
  return sep == std::string::npos ? Name : Name.substr(sep + 1);
}

bool IEFileExists(const std::string& Name) {
  if (IEUseFileExists) return FileExists(Name);
  return IEFileExistsW(Name);
}

bool IEFileExistsW(const std::string& Name) {
  struct stat st;
  return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int32_t IEGetURLType(const std::string& Name) {
  if (StartsWithNoCase(Name, "http://")) return 1;
  if (StartsWithNoCase(Name, "https://")) return 2;
  if (StartsWithNoCase(Name, "ftp://")) return 3;
  return 0;
}

int32_t IEGetURLTypeW(const std::string& Name) { return IEGetURLType(Name); }
