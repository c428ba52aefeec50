#include "views/window_lookup.h"

#include "platform/vcl/clipboard.h"
#include "platform/vcl/controls.h"

HWND IEFindWindowHandle(TComponent* Component) {
  for (TComponent* C = Component; C != nullptr; C = C->GetOwner()) {
    if (auto* W = dynamic_cast<TWinControl*>(C)) return W->HandleAllocated() ? W->GetHandle() : 0;
  }
  return 0;
}

uint32_t IEFindClipboardFormat(const std::string& Name) {
  if (Name.empty()) return 0;
  uint32_t Format = RegisterClipboardFormat(Name);
  return Format != 0 && IsClipboardFormatAvailable(Format) ? Format : 0;
}
