#pragma once
// Window and clipboard lookups of the views and writers.
#include <cstdint>
#include <string>

#include "platform/vcl/messages.h"

class TComponent;

// The window handle of the first windowed control on Component's owner
// chain (Component included) when it has one, else 0.
HWND IEFindWindowHandle(TComponent* Component);
// The identifier of the clipboard format of that name when data of it is on
// the clipboard, else 0.
uint32_t IEFindClipboardFormat(const std::string& Name);
