#include "views/cursors.h"

#include <array>

namespace {

// In number order from 1778. Two numbers show the picture of the number
// before them: 1796 that of 1795 ("CROCE2-") and 1806 that of 1805 ("1803").
constexpr std::array<const char*, 37> CursorNames = {
    "ZOOMMENO", "ZOOMPIU", "CROCE", "GOMMA", "MANO", "PENNA", "CROCE1", "CROCE3", "MOVE2", "MOVEY",
    "MOVE1", "MOVEX", "MOVE", "CROCE3+", "CROCE3-", "CROCE2", "CROCE2+", "CROCE2-", "CROCE2-", "1795",
    "1796", "1797", "1798", "1799", "1800", "1801", "1802", "1803", "1803", "1805",
    "1806", "1807", "1808", "ROT1", "ROT2", "ROT3", "ROT4"};

}  // namespace

std::string IEViewCursorName(TCursor Number) {
  if (Number < 1778 || Number > 1814) return std::string();
  return CursorNames[size_t(Number - 1778)];
}

void IELoadViewCursors() {
  if (Screen == nullptr) return;
  // Each name goes to the number of its own position in the table.
  for (TCursor Number = 1778; Number <= 1814; ++Number) {
    if (Screen->GetCursors(Number) != 0) continue;
    const HCURSOR H = LoadCursorResource(IEViewCursorName(Number));
    if (H != 0) Screen->SetCursors(Number, H);
  }
}
