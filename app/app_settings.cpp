#include "app/app_settings.h"

#include "platform/vcl/inifiles.h"

bool ReadStateMax() {
  TRegistryIniFile Ini(KMainWindowKey);
  return Ini.ReadBool(KOptionsSection, KStateMax, false);
}

void WriteStateMax(bool Maximized) {
  TRegistryIniFile Ini(KMainWindowKey);
  Ini.WriteBool(KOptionsSection, KStateMax, Maximized);
}
