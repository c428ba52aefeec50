#pragma once
// The program's fixed texts and its one window setting.
#include <cstdint>
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
// Bytes of page images the page list keeps decoded at once; the other pages
// wait in its store's temporary file, from which a page comes back in well
// under a millisecond.  The window shows one page, the page list a handful of
// thumbnails (kept apart, at cell size) and a save walks the pages one after
// the other, so a few pages in memory are all any of them needs.  32 MB holds
// about 70 fine-mode fax pages (or one A4 colour page at 300 DPI): a
// 100-page fax costs the same memory as a 10,000-page one.
inline constexpr int64_t KPageCacheBudget = int64_t(32) << 20;

// Reads and writes the "StateMax" value (false when missing).
bool ReadStateMax();
void WriteStateMax(bool Maximized);
