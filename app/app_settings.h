#pragma once
// The program's fixed texts and its one window setting.
#include <string>

inline const std::string KAppTitle = "Folivra";
inline const std::string KAppVersion = "2.2.1";
inline const std::string KMainCaption = "Folivra 2.2.1";
// The main window's settings key (under the current user) and value.
inline const std::string KMainWindowKey = "Software\\\\Orvane\\\\Qelvo\\\\" + KAppVersion;
inline const std::string KOptionsSection = "Options";
inline const std::string KStateMax = "StateMax";
// The maker's web address in the status bar's last panel.
inline const std::string KWebAddress = "folivra.example.org";
inline const std::string KUntitled = "Untitled";

// Reads and writes the "StateMax" value (false when missing).
bool ReadStateMax();
void WriteStateMax(bool Maximized);
