#pragma once
// The view cursors: 37 pictures loaded by resource name into the screen's
// cursor table as numbers 1778 to 1814, shared by every view.
#include <cstdint>
#include <string>

#include "platform/vcl/application.h"

// The resource name of cursor Number (1778..1814); empty outside the range.
std::string IEViewCursorName(TCursor Number);
// Loads every view cursor into the screen's table, each name into its own
// number; a picture that cannot be found leaves its number unset (the
// default shape). Safe to call again: numbers already set are kept.
void IELoadViewCursors();
