#pragma once
// Window messages: the message record, the message numbers the library uses,
// sending (at once, to the control's WndProc) and posting (queued, in order,
// from any thread, delivered in the GUI thread), window timers by id and the
// window scroll bars with their range/page/position rules.
#include <cstdint>

#include "platform/rtl/types.h"

class TWinControl;

// A window handle: the id of a live windowed control, 0 for none. Ids are
// never reused, so a message posted to a control that has gone since is
// dropped rather than delivered to a stranger.
using HWND = uintptr_t;
using WPARAM = intptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct TMessage {
  uint32_t Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

inline uint16_t LOWORD(intptr_t V) { return static_cast<uint16_t>(static_cast<uintptr_t>(V) & 0xFFFF); }
inline uint16_t HIWORD(intptr_t V) { return static_cast<uint16_t>((static_cast<uintptr_t>(V) >> 16) & 0xFFFF); }
inline intptr_t MAKELONG(uint16_t Lo, uint16_t Hi) {
  return static_cast<intptr_t>(static_cast<uint32_t>(Lo) | (static_cast<uint32_t>(Hi) << 16));
}
inline LPARAM MAKELPARAM(int32_t Lo, int32_t Hi) {
  return MAKELONG(static_cast<uint16_t>(Lo), static_cast<uint16_t>(Hi));
}
inline WPARAM MAKEWPARAM(int32_t Lo, int32_t Hi) {
  return MAKELONG(static_cast<uint16_t>(Lo), static_cast<uint16_t>(Hi));
}
// Signed 16-bit coordinates packed in an LPARAM.
inline int32_t GET_X_LPARAM(LPARAM L) { return static_cast<int16_t>(LOWORD(L)); }
inline int32_t GET_Y_LPARAM(LPARAM L) { return static_cast<int16_t>(HIWORD(L)); }
inline int32_t GET_WHEEL_DELTA_WPARAM(WPARAM W) { return static_cast<int16_t>(HIWORD(W)); }
inline uint16_t GET_KEYSTATE_WPARAM(WPARAM W) { return LOWORD(W); }

// ------------------------------------------------------------ message numbers
enum : uint32_t {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_SYSCOLORCHANGE = 0x0015,
  WM_SHOWWINDOW = 0x0018,
  WM_CANCELMODE = 0x001F,
  WM_SETCURSOR = 0x0020,
  WM_MOUSEACTIVATE = 0x0021,
  WM_WINDOWPOSCHANGED = 0x0047,
  WM_CONTEXTMENU = 0x007B,
  WM_NCCALCSIZE = 0x0083,
  WM_NCHITTEST = 0x0084,
  WM_NCPAINT = 0x0085,
  WM_GETDLGCODE = 0x0087,
  WM_KEYFIRST = 0x0100,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106,
  WM_KEYLAST = 0x0108,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_CHANGEUISTATE = 0x0127,
  WM_MOUSEFIRST = 0x0200,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
  WM_MOUSEHWHEEL = 0x020E,
  WM_MOUSELAST = 0x020E,
  WM_CAPTURECHANGED = 0x0215,
  WM_DROPFILES = 0x0233,
  WM_MOUSELEAVE = 0x02A3,
  WM_QUERYNEWPALETTE = 0x030F,
  WM_PALETTECHANGED = 0x0311,
  WM_PRINT = 0x0317,
  WM_PRINTCLIENT = 0x0318,
  WM_USER = 0x0400,
  WM_APP = 0x8000,
};

// Notifications of the control layer itself.
enum : uint32_t {
  CM_BASE = 0xB000,
  CM_ACTIVATE = CM_BASE + 0,
  CM_DEACTIVATE = CM_BASE + 1,
  CM_GOTFOCUS = CM_BASE + 2,
  CM_LOSTFOCUS = CM_BASE + 3,
  CM_CANCELMODE = CM_BASE + 4,
  CM_DIALOGKEY = CM_BASE + 5,
  CM_DIALOGCHAR = CM_BASE + 6,
  CM_FOCUSCHANGED = CM_BASE + 7,
  CM_PARENTFONTCHANGED = CM_BASE + 8,
  CM_PARENTCOLORCHANGED = CM_BASE + 9,
  CM_HITTEST = CM_BASE + 10,
  CM_VISIBLECHANGED = CM_BASE + 11,
  CM_ENABLEDCHANGED = CM_BASE + 12,
  CM_COLORCHANGED = CM_BASE + 13,
  CM_FONTCHANGED = CM_BASE + 14,
  CM_CURSORCHANGED = CM_BASE + 15,
  CM_CTL3DCHANGED = CM_BASE + 16,
  CM_PARENTCTL3DCHANGED = CM_BASE + 17,
  CM_TEXTCHANGED = CM_BASE + 18,
  CM_MOUSEENTER = CM_BASE + 19,
  CM_MOUSELEAVE = CM_BASE + 20,
  CM_MENUCHANGED = CM_BASE + 21,
  CM_APPKEYDOWN = CM_BASE + 22,
  CM_APPSYSCOMMAND = CM_BASE + 23,
  CM_BUTTONPRESSED = CM_BASE + 24,
  CM_SHOWINGCHANGED = CM_BASE + 25,
  CM_ENTER = CM_BASE + 26,
  CM_EXIT = CM_BASE + 27,
  CM_DESIGNHITTEST = CM_BASE + 28,
  CM_ICONCHANGED = CM_BASE + 29,
  CM_WANTSPECIALKEY = CM_BASE + 30,
  CM_INVOKEHELP = CM_BASE + 31,
  CM_WINDOWHOOK = CM_BASE + 32,
  CM_RELEASE = CM_BASE + 33,
  CM_SHOWHINTCHANGED = CM_BASE + 34,
  CM_PARENTSHOWHINTCHANGED = CM_BASE + 35,
  CM_SYSCOLORCHANGE = CM_BASE + 36,
  CM_WININICHANGE = CM_BASE + 37,
  CM_FONTCHANGE = CM_BASE + 38,
  CM_TIMECHANGE = CM_BASE + 39,
  CM_TABSTOPCHANGED = CM_BASE + 40,
  CM_UIACTIVATE = CM_BASE + 41,
  CM_UIDEACTIVATE = CM_BASE + 42,
  CM_DOCWINDOWACTIVATE = CM_BASE + 43,
  CM_CONTROLLISTCHANGE = CM_BASE + 44,
  CM_GETDATALINK = CM_BASE + 45,
  CM_CHILDKEY = CM_BASE + 46,
  CM_DRAG = CM_BASE + 47,
  CM_HINTSHOW = CM_BASE + 48,
  CM_DIALOGHANDLE = CM_BASE + 49,
  CM_ISTOOLCONTROL = CM_BASE + 50,
  CM_RECREATEWND = CM_BASE + 51,
  CM_INVALIDATE = CM_BASE + 52,
  CM_SYSFONTCHANGED = CM_BASE + 53,
  CM_CONTROLCHANGE = CM_BASE + 54,
  CM_CHANGED = CM_BASE + 55,
};

// Mouse-key flags in the WParam of mouse messages.
enum : uint32_t { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10 };
constexpr int32_t WHEEL_DELTA = 120;

// WM_SIZE kinds.
enum : uint32_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// Window styles read from CreateParams.
enum : uint32_t {
  WS_BORDER = 0x00800000,
  WS_VSCROLL = 0x00200000,
  WS_HSCROLL = 0x00100000,
  WS_CHILD = 0x40000000,
  WS_VISIBLE = 0x10000000,
  WS_CLIPCHILDREN = 0x02000000,
  WS_CLIPSIBLINGS = 0x04000000,
  WS_TABSTOP = 0x00010000,
};
enum : uint32_t { WS_EX_CLIENTEDGE = 0x00000200, WS_EX_STATICEDGE = 0x00020000 };
enum : uint32_t { CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008 };

// Dialog codes (WM_GETDLGCODE).
enum : uint32_t {
  DLGC_WANTARROWS = 0x0001,
  DLGC_WANTTAB = 0x0002,
  DLGC_WANTALLKEYS = 0x0004,
  DLGC_HASSETSEL = 0x0008,
  DLGC_WANTCHARS = 0x0080,
  DLGC_BUTTON = 0x2000,
};

// ------------------------------------------------------------ scroll bars
enum : int32_t { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };
enum : int32_t {
  SB_LINEUP = 0,
  SB_LINELEFT = 0,
  SB_LINEDOWN = 1,
  SB_LINERIGHT = 1,
  SB_PAGEUP = 2,
  SB_PAGELEFT = 2,
  SB_PAGEDOWN = 3,
  SB_PAGERIGHT = 3,
  SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5,
  SB_TOP = 6,
  SB_LEFT = 6,
  SB_BOTTOM = 7,
  SB_RIGHT = 7,
  SB_ENDSCROLL = 8,
};
enum : uint32_t {
  SIF_RANGE = 0x01,
  SIF_PAGE = 0x02,
  SIF_POS = 0x04,
  SIF_DISABLENOSCROLL = 0x08,
  SIF_TRACKPOS = 0x10,
  SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS,
};
enum : uint32_t { ESB_ENABLE_BOTH = 0, ESB_DISABLE_LTUP = 1, ESB_DISABLE_RTDN = 2, ESB_DISABLE_BOTH = 3 };

struct TScrollInfo {
  uint32_t cbSize = sizeof(TScrollInfo);
  uint32_t fMask = 0;
  int32_t nMin = 0;
  int32_t nMax = 0;
  uint32_t nPage = 0;
  int32_t nPos = 0;
  int32_t nTrackPos = 0;
};
using SCROLLINFO = TScrollInfo;

// The thickness of a window scroll bar in pixels.
constexpr int32_t VclScrollBarSize = 17;

// ------------------------------------------------------------ sending and posting
// Dispatches at once to the windowed control's WndProc and answers the
// message's Result; 0 for an unknown handle. Called from another thread it
// waits while the GUI thread handles the message.
LRESULT SendMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
// Queues the message for the control; any thread may call it. Messages are
// delivered in the GUI thread in the order they were posted, and a message
// whose control is gone by then is dropped. False for handle 0.
bool PostMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
// Delivers every message posted so far (the message loop does it by itself;
// ProcessMessages calls it too). GUI thread only.
void DispatchPostedMessages();
// The number of posted messages not yet delivered.
int32_t PendingPostedMessages();
// True in the thread that runs the event loop.
bool IsGuiThread();

// The control behind a handle, nullptr when none lives.
TWinControl* FindControl(HWND Wnd);
bool IsWindow(HWND Wnd);
bool IsWindowVisible(HWND Wnd);
bool IsWindowEnabled(HWND Wnd);

// ------------------------------------------------------------ timers
// Window timers of the GUI thread: every Elapse milliseconds the control's
// WndProc gets WM_TIMER with WParam = IDEvent. Setting an id again restarts
// it with the new interval. Answers IDEvent, or 0 for an unknown handle.
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Elapse);
bool KillTimer(HWND Wnd, uintptr_t IDEvent);

// ------------------------------------------------------------ window calls
bool InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase);
bool UpdateWindow(HWND Wnd);
bool GetClientRect(HWND Wnd, TRect& Rect);
bool GetWindowRect(HWND Wnd, TRect& Rect);
bool ClientToScreen(HWND Wnd, TPoint& P);
bool ScreenToClient(HWND Wnd, TPoint& P);
HWND SetCapture(HWND Wnd);
bool ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND Wnd);
HWND GetFocus();
bool GetCursorPos(TPoint& P);

// ------------------------------------------------------------ system metrics
enum : int32_t {
  SM_CXSCREEN = 0,
  SM_CYSCREEN = 1,
  SM_CXVSCROLL = 2,
  SM_CYHSCROLL = 3,
  SM_CYCAPTION = 4,
  SM_CXBORDER = 5,
  SM_CYBORDER = 6,
  SM_CXDLGFRAME = 7,
  SM_CYDLGFRAME = 8,
  SM_CYVTHUMB = 9,
  SM_CXHTHUMB = 10,
  SM_CXICON = 11,
  SM_CYICON = 12,
  SM_CXCURSOR = 13,
  SM_CYCURSOR = 14,
  SM_CYMENU = 15,
  SM_CXFULLSCREEN = 16,
  SM_CYFULLSCREEN = 17,
  SM_CYVSCROLL = 20,
  SM_CXHSCROLL = 21,
  SM_SWAPBUTTON = 23,
  SM_CXFRAME = 32,
  SM_CYFRAME = 33,
  SM_CXDOUBLECLK = 36,
  SM_CYDOUBLECLK = 37,
  SM_CXEDGE = 45,
  SM_CYEDGE = 46,
  SM_CXSMICON = 49,
  SM_CYSMICON = 50,
  SM_CXDRAG = 68,
  SM_CYDRAG = 69,
  SM_MOUSEWHEELPRESENT = 75,
  SM_CMONITORS = 80,
  SM_REMOTESESSION = 0x1000,
};
// Sizes of the window parts as this layer draws them (scroll bars
// VclScrollBarSize, client edge 2, thin border 1), the screen size, and the
// facts of the input devices; 0 for an unknown index.
int32_t GetSystemMetrics(int32_t Index);
uint32_t GetDoubleClickTime();

// ------------------------------------------------------------ scroll bar calls
// Windows semantics: the range is nMin..nMax, the page is clamped to
// 0..nMax-nMin+1, the largest position is nMax - page + 1 (nMax when the page
// is 0). Setting a range that leaves nothing to scroll hides the bar (or
// disables it with SIF_DISABLENOSCROLL); a range that can scroll shows it.
// Showing or hiding a bar changes the client size at once (WM_SIZE is sent).
int32_t SetScrollInfo(HWND Wnd, int32_t Bar, const TScrollInfo& Info, bool Redraw);
bool GetScrollInfo(HWND Wnd, int32_t Bar, TScrollInfo& Info);
int32_t SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw);
int32_t GetScrollPos(HWND Wnd, int32_t Bar);
bool SetScrollRange(HWND Wnd, int32_t Bar, int32_t MinPos, int32_t MaxPos, bool Redraw);
bool GetScrollRange(HWND Wnd, int32_t Bar, int32_t& MinPos, int32_t& MaxPos);
bool ShowScrollBar(HWND Wnd, int32_t Bar, bool Show);
bool EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows);

// Flat scroll bars look like the plain ones here; the calls are the same.
bool InitializeFlatSB(HWND Wnd);
void UninitializeFlatSB(HWND Wnd);
int32_t FlatSB_SetScrollInfo(HWND Wnd, int32_t Bar, const TScrollInfo& Info, bool Redraw);
bool FlatSB_GetScrollInfo(HWND Wnd, int32_t Bar, TScrollInfo& Info);
int32_t FlatSB_SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw);
int32_t FlatSB_GetScrollPos(HWND Wnd, int32_t Bar);
bool FlatSB_SetScrollRange(HWND Wnd, int32_t Bar, int32_t MinPos, int32_t MaxPos, bool Redraw);
bool FlatSB_ShowScrollBar(HWND Wnd, int32_t Bar, bool Show);
bool FlatSB_EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows);
