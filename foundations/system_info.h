#pragma once
// Process-level facts the library keeps at start-up: the operating-system
// version code, the processor's MMX support and whether the display is a
// remote one.
#include <cstdint>

// The operating-system version code of the library settings (IEOSVersion):
// 0..8 name versions of another platform family; this system always answers 9,
// "anything else".
uint8_t IEGetOSVersion();

// True when the processor offers MMX (CPUID function 1, EDX bit 23); false on
// processors without CPUID or outside the x86 family.
bool IEHasMMX();

// True when the program's display is remote, so drawing should avoid costly
// screen transfers: the program runs inside an SSH session (SSH_CONNECTION,
// SSH_CLIENT or SSH_TTY set) or its X display names a host (DISPLAY of the
// form "host:n", as SSH forwarding and network displays give; "unix:n" and
// ":n" are local).
bool IEIsRemoteSession();
