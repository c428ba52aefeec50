// The I/O debug log: one dated line per message, appended to the file
// IEDebugLogFileName names; nothing while it names none.
#include <fstream>

#include "foundations/settings.h"
#include "io/folio_io.h"
#include "platform/rtl/sysutils.h"

void IEDebugLog(const std::string& Message) {
  if (IEDebugLogFileName.empty()) return;
  std::ofstream F(IEDebugLogFileName, std::ios::app);
  if (!F) return;
  const TDateTime At = Now();
  F << DateToStr(At) << " " << TimeToStr(At) << " : " << Message << "\n";
  F.flush();
}
