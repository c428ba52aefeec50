#include "platform/gdi/colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <QThread>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/rtl/sysutils.h"

namespace {

constexpr int kSysColorCount = COLOR_ENDCOLORS + 1;

// The scheme used when no application palette can be read (no GUI
// application, or a call from a worker thread before the GUI thread drew).
constexpr std::array<uint32_t, kSysColorCount> kDefaultScheme = {
    RGB(200, 200, 200),  // scroll bar
    RGB(0, 0, 0),        // desktop background
    RGB(153, 180, 209),  // active caption
    RGB(191, 205, 219),  // inactive caption
    RGB(240, 240, 240),  // menu
    RGB(255, 255, 255),  // window
    RGB(100, 100, 100),  // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(0, 0, 0),        // caption text
    RGB(180, 180, 180),  // active border
    RGB(244, 247, 252),  // inactive border
    RGB(171, 171, 171),  // application workspace
    RGB(0, 120, 215),    // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(240, 240, 240),  // button face
    RGB(160, 160, 160),  // button shadow
    RGB(109, 109, 109),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(67, 78, 84),     // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(105, 105, 105),  // 3D dark shadow
    RGB(227, 227, 227),  // 3D light
    RGB(0, 0, 0),        // info text
    RGB(255, 255, 225),  // info background
    RGB(0, 0, 0),        // (unused index 25)
    RGB(0, 102, 204),    // hot light
    RGB(185, 209, 234),  // gradient active caption
    RGB(215, 228, 242),  // gradient inactive caption
    RGB(51, 153, 255),   // menu highlight
    RGB(240, 240, 240),  // menu bar
};

std::mutex gSchemeMutex;
std::array<uint32_t, kSysColorCount> gScheme = kDefaultScheme;

uint32_t FromQColor(const QColor& c) {
  return RGB(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
             static_cast<uint8_t>(c.blue()));
}

// Refreshes the scheme from the application palette. Only the GUI thread
// reads the palette; other threads use what it read last.
void RefreshSchemeFromPalette() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return;
  const QPalette pal = QGuiApplication::palette();
  std::array<uint32_t, kSysColorCount> s = kDefaultScheme;
  auto set = [&](int index, QPalette::ColorRole role) {
    s[static_cast<size_t>(index)] = FromQColor(pal.color(QPalette::Active, role));
  };
  set(COLOR_MENU, QPalette::Window);
  set(COLOR_MENUBAR, QPalette::Window);
  set(COLOR_MENUTEXT, QPalette::WindowText);
  set(COLOR_WINDOW, QPalette::Base);
  set(COLOR_WINDOWTEXT, QPalette::Text);
  set(COLOR_HIGHLIGHT, QPalette::Highlight);
  set(COLOR_MENUHILIGHT, QPalette::Highlight);
  set(COLOR_HIGHLIGHTTEXT, QPalette::HighlightedText);
  set(COLOR_BTNFACE, QPalette::Button);
  set(COLOR_BTNTEXT, QPalette::ButtonText);
  set(COLOR_BTNSHADOW, QPalette::Dark);
  set(COLOR_BTNHIGHLIGHT, QPalette::Light);
  set(COLOR_3DDKSHADOW, QPalette::Shadow);
  set(COLOR_3DLIGHT, QPalette::Midlight);
  set(COLOR_INFOTEXT, QPalette::ToolTipText);
  set(COLOR_INFOBK, QPalette::ToolTipBase);
  set(COLOR_HOTLIGHT, QPalette::Link);
  s[COLOR_GRAYTEXT] = FromQColor(pal.color(QPalette::Disabled, QPalette::Text));
  std::lock_guard<std::mutex> lock(gSchemeMutex);
  gScheme = s;
}

struct ColorName {
  TColor Color;
  const char* Name;
};

constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clHotLight, "clHotLight"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuBar, "clMenuBar"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
};

}  // namespace

uint32_t GetSysColor(int32_t Index) {
  if (Index < 0 || Index >= kSysColorCount) return 0;
  RefreshSchemeFromPalette();
  std::lock_guard<std::mutex> lock(gSchemeMutex);
  return gScheme[static_cast<size_t>(Index)];
}

uint32_t ColorToRGB(TColor Color) {
  if (IsSystemColor(Color)) return GetSysColor(Color & 0xFF);
  return static_cast<uint32_t>(Color);
}

bool ColorToIdent(TColor Color, std::string& Ident) {
  for (const auto& n : kColorNames)
    if (n.Color == Color) {
      Ident = n.Name;
      return true;
    }
  return false;
}

bool IdentToColor(const std::string& Ident, TColor& Color) {
  for (const auto& n : kColorNames)
    if (SameText(Ident, n.Name)) {
      Color = n.Color;
      return true;
    }
  return false;
}

std::string ColorToString(TColor Color) {
  std::string ident;
  if (ColorToIdent(Color, ident)) return ident;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(static_cast<uint32_t>(Color)));
  return buf;
}

bool TryStringToColor(const std::string& S, TColor& Color) {
  if (IdentToColor(S, Color)) return true;
  if (S.empty()) return false;
  std::string digits;
  int base = 10;
  bool negative = false;
  size_t start = 0;
  if (S[0] == '-') {
    negative = true;
    start = 1;
  }
  if (S.compare(start, 1, "$") == 0) {
    base = 16;
    start += 1;
  } else if (S.compare(start, 2, "0x") == 0 || S.compare(start, 2, "0X") == 0) {
    base = 16;
    start += 2;
  }
  digits = S.substr(start);
  if (digits.empty() || digits.size() > 10) return false;
  for (char c : digits)
    if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(c))
                     : std::isdigit(static_cast<unsigned char>(c))))
      return false;
  const unsigned long long v = std::strtoull(digits.c_str(), nullptr, base);
  if (v > 0xFFFFFFFFull) return false;
  uint32_t u = static_cast<uint32_t>(v);
  if (negative) u = 0u - u;
  Color = static_cast<TColor>(u);
  return true;
}
