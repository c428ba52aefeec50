#pragma once
// Start-up and shutdown of the widget library's support units, in module
// order: each unit registers its version record; the system information,
// the character tables and the alpha blending do their start-up work. The
// program calls OxSupportUnitsStartup once before its first window and
// OxSupportUnitsShutdown at its end; nested calls are counted.
#include <array>

#include "widgets/version_registry.h"

constexpr int kSupportUnitCount = 28;
// The version records of the support units.
const std::array<TUnitVersionInfo, kSupportUnitCount>& SupportUnitRecords();
void OxSupportUnitsStartup();
void OxSupportUnitsShutdown();
