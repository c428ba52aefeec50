#include "platform/vcl/keys.h"

#include <atomic>

namespace {
// The state as of the input event being handled; written and read in the GUI
// thread, atomics only so that a worker reading it sees whole values.
std::atomic<uint16_t> GModifiers{0};
std::atomic<uint16_t> GButtons{0};
std::atomic<uint16_t> GLastKey{0};
std::atomic<bool> GLastKeyDown{false};

bool IsDown(int32_t VirtKey) {
  const uint16_t Mods = GModifiers.load();
  const uint16_t Buttons = GButtons.load();
  switch (VirtKey) {
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT:
      return (Mods & ssShift) != 0;
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
      return (Mods & ssCtrl) != 0;
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
      return (Mods & ssAlt) != 0;
    case VK_LBUTTON:
      return (Buttons & ssLeft) != 0;
    case VK_RBUTTON:
      return (Buttons & ssRight) != 0;
    case VK_MBUTTON:
      return (Buttons & ssMiddle) != 0;
    default:
      return GLastKeyDown.load() && GLastKey.load() == VirtKey;
  }
}
}  // namespace

int16_t GetKeyState(int32_t VirtKey) { return IsDown(VirtKey) ? static_cast<int16_t>(0x8000) : 0; }
int16_t GetAsyncKeyState(int32_t VirtKey) { return GetKeyState(VirtKey); }

TShiftState KeyDataToShiftState(intptr_t KeyData) {
  TShiftState S = 0;
  if (IsDown(VK_SHIFT)) S |= ssShift;
  if (IsDown(VK_CONTROL)) S |= ssCtrl;
  if (static_cast<uint32_t>(KeyData) & KF_ALTDOWN_BIT) S |= ssAlt;
  return S;
}

TShiftState KeysToShiftState(uint32_t Keys) {
  TShiftState S = 0;
  if (Keys & 0x04) S |= ssShift;
  if (Keys & 0x08) S |= ssCtrl;
  if (Keys & 0x01) S |= ssLeft;
  if (Keys & 0x02) S |= ssRight;
  if (Keys & 0x10) S |= ssMiddle;
  if (IsDown(VK_MENU)) S |= ssAlt;
  return S;
}

uint32_t ShiftStateToKeys(TShiftState Shift) {
  uint32_t K = 0;
  if (Shift & ssShift) K |= 0x04;
  if (Shift & ssCtrl) K |= 0x08;
  if (Shift & ssLeft) K |= 0x01;
  if (Shift & ssRight) K |= 0x02;
  if (Shift & ssMiddle) K |= 0x10;
  return K;
}

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
  if (Key & 0xFF00) return scNone;
  TShortCut R = Key;
  if (Shift & ssShift) R |= scShift;
  if (Shift & ssCtrl) R |= scCtrl;
  if (Shift & ssAlt) R |= scAlt;
  return R;
}

void ShortCutToKey(TShortCut SC, uint16_t& Key, TShiftState& Shift) {
  Key = SC & 0xFF;
  Shift = 0;
  if (SC & scShift) Shift |= ssShift;
  if (SC & scCtrl) Shift |= ssCtrl;
  if (SC & scAlt) Shift |= ssAlt;
}

void VclSetInputState(TShiftState Modifiers, TShiftState Buttons) {
  GModifiers = Modifiers & (ssShift | ssAlt | ssCtrl);
  GButtons = Buttons & (ssLeft | ssRight | ssMiddle);
}

void VclSetKeyDown(uint16_t VirtKey, bool Down) {
  GLastKey = VirtKey;
  GLastKeyDown = Down;
}
