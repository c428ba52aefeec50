#include "widgets/support_units.h"

#include "widgets/alpha_blend.h"
#include "widgets/char_tables.h"
#include "widgets/draw_helpers.h"
#include "widgets/system_info.h"
#include "widgets/type_info_list.h"

namespace {
struct TRow {
  const char* Path;
  int Revision;
  const char* Stamp;
  const char* Folder;
};
constexpr TRow kRows[kSupportUnitCount] = {
    {"osl/source/common/OslResources", 3072, "2009-11-05 18:19:08 +0100", "OSL\\source\\common"},
    {"osl/source/common/OslBase", 3078, "2009-11-05 20:11:46 +0100", "OSL\\source\\common"},
    {"osl/source/windows/OslWin32", 3007, "2009-09-12 22:52:07 +0200", "OSL\\source\\windows"},
    {"osl/source/common/OslLogic", 2921, "2009-08-09 15:08:29 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslStringConversions", 2921, "2009-08-09 15:08:29 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslCharsets", 2892, "2009-07-30 12:08:05 +0200", "OSL\\source\\common"},
    {"osl/source/common/Osl8087", 2921, "2009-08-09 15:08:29 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslIniFiles", 2892, "2009-07-30 12:08:05 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslSysInfo", 3007, "2009-09-12 22:52:07 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslUnicode", 2930, "2009-08-09 19:06:40 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslWideStrings", 2944, "2009-08-12 20:31:19 +0200", "OSL\\source\\common"},
    {"osl/source/windows/OslRegistry", 3067, "2009-11-05 17:03:26 +0100", "OSL\\source\\windows"},
    {"osl/source/common/OslSynch", 2984, "2009-09-02 13:56:05 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslMath", 3070, "2009-11-05 17:51:58 +0100", "OSL\\source\\common"},
    {"osl/source/common/OslStreams", 3019, "2009-09-22 23:44:42 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslAnsiStrings", 3066, "2009-11-05 09:17:06 +0100", "OSL\\source\\common"},
    {"osl/source/common/OslStrings", 2993, "2009-09-12 12:57:33 +0200", "OSL\\source\\common"},
    {"osl/source/windows/OslShell", 2907, "2009-08-02 11:02:42 +0200", "OSL\\source\\windows"},
    {"osl/source/windows/OslSecurity", 2921, "2009-08-09 15:08:29 +0200", "OSL\\source\\windows"},
    {"osl/source/common/OslDateTime", 2921, "2009-08-09 15:08:29 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslFileUtils", 3059, "2009-10-27 06:39:27 +0100", "OSL\\source\\common"},
    {"osl/source/windows/OslConsole", 2993, "2009-09-12 12:57:33 +0200", "OSL\\source\\windows"},
    {"osl/source/common/OslUnitVersioning", 2969, "2009-08-25 20:22:46 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslSysUtils", 3034, "2009-10-03 11:34:58 +0200", "OSL\\source\\common"},
    {"osl/source/common/OslRTTI", 3071, "2009-11-05 18:00:22 +0100", "OSL\\source\\common"},
    {"osl/source/common/OslMime", 2921, "2009-08-09 15:08:29 +0200", "OSL\\source\\common"},
    {"osl/source/vcl/OslVclResources", 3020, "2009-09-23 00:01:46 +0200", "OSL\\source\\vcl"},
    {"osl/source/vcl/OslGraphUtils", 3007, "2009-09-12 22:52:07 +0200", "OSL\\source\\vcl"},
};

int GStartCount = 0;
}  // namespace

const std::array<TUnitVersionInfo, kSupportUnitCount>& SupportUnitRecords() {
  static const std::array<TUnitVersionInfo, kSupportUnitCount> Records = [] {
    std::array<TUnitVersionInfo, kSupportUnitCount> R;
    for (int I = 0; I < kSupportUnitCount; ++I) {
      R[I].SourceLocation = std::string("$URL: ") + kRows[I].Path + ".pas $";
      R[I].RevisionText = "$Revision: " + std::to_string(kRows[I].Revision) + " $";
      R[I].DateText = std::string("$Date: ") + kRows[I].Stamp + " $";
      R[I].LogFolder = kRows[I].Folder;
    }
    return R;
  }();
  return Records;
}

void OxSupportUnitsStartup() {
  if (GStartCount++ > 0) return;
  const HMODULE Self = OxThisModule();
  const auto& Records = SupportUnitRecords();
  for (int I = 0; I < kSupportUnitCount; ++I) {
    // The units with start-up work of their own do it before registering.
    const std::string Path = kRows[I].Path;
    if (Path.ends_with("OslSysInfo")) SystemInfoStartup();
    if (Path.ends_with("OslUnicode") || Path.ends_with("OslStrings")) CharTablesStartup();
    if (Path.ends_with("OslGraphUtils")) AlphaBlendStartup();
    RegisterUnitRecord(Self, &Records[I]);
  }
  RegisterOxCursors();
}

void OxSupportUnitsShutdown() {
  if (GStartCount == 0 || --GStartCount > 0) return;
  UnregisterUnitRecords(OxThisModule());
  ClearTypeInfoList();
  AlphaBlendShutdown();
  ShutDownUnitRegistry();
}
