#pragma once
// Window-bound helpers of the views and dialogs: the parameter objects of a
// view's scroll bars and mouse wheel, the primary mouse button, clipboard
// opening with retries, dialog placement on a monitor, scroll-bar calls for
// plain and flat bars, text measures, a 3-D frame, dimming around a rectangle
// and the colour tables of 8-bit platform bitmaps.
#include <cstdint>
#include <string>

#include "platform/gdi/colors.h"
#include "platform/rtl/object.h"
#include "platform/rtl/types.h"
#include "platform/vcl/messages.h"

class QWidget;
class TBitmap;
class TCanvas;
class TIEBitmap;

// How one scroll bar of a view steps.  The view multiplies its one-line
// scroll unit by LineStep for a line step (-1 = one unit) and by PageStep for
// a page step (-1 = the visible client extent); Tracking: dragging the thumb
// scrolls at once.
class TIEScrollBarParams : public TObject {
 public:
  int32_t LineStep = -1;
  int32_t PageStep = -1;
  bool Tracking = true;
};

// What the mouse wheel does in a single-image view.
class TIEMouseWheelParams : public TObject {
 public:
  bool InvertDirection = false;
  // 0 nothing, 1 scroll, 2 zoom.
  uint8_t Action = 2;
  // 0 Value is an absolute amount, 1 Value is per cent of the current zoom or
  // view extent.
  uint8_t Variation = 1;
  int32_t Value = 8;
  // Zoom about the mouse position instead of the view's usual zoom centre.
  bool ZoomAtCursor = false;
};

// True while the primary mouse button is down: the left one, or the right one
// when the buttons are swapped.
bool IEIsPrimaryMouseButtonDown();

// Opens the clipboard for no window; on failure waits 20 ms and tries again,
// 10 tries at most.  False when all fail.  The caller closes it
// (CloseClipboard) after a success.
bool IEOpenClipboard();

// Places a dialog window on the monitor of the active form (the main form when
// no form is active) when the application has a main form, else on the first
// monitor, keeping its size: centred horizontally and one third down
// (IEDialogPlacement).  When IEPlaceDialogHook is set, the hook is called
// instead and its answer returned; the window is not touched.  False for a null
// window or when there is no monitor.
bool IEPlaceDialogOnMonitor(QWidget* Window);
// The same for a windowed control's handle.
bool IEPlaceDialogOnMonitor(HWND Window);
// The top-left corner a window of WindowSize gets on Monitor:
// X = Left + (monitor width - window width) / 2,
// Y = Top + (monitor height - window height) / 3, both truncated toward zero.
TPoint IEDialogPlacement(const TRect& Monitor, const TSize& WindowSize);

// Scroll bars of a window, through the flat variant when Flat is set.
// IESetScrollInfo sets range, page and position; IESetScrollRange the range
// only; IESetScrollPos the position only.
void IESetScrollInfo(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw,
                     bool Flat);
void IESetScrollRange(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat);
void IESetScrollPos(HWND Handle, int32_t Bar, int32_t Pos, bool Redraw, bool Flat);
void IEEnableScrollBar(HWND Handle, int32_t Bar, uint32_t Arrows, bool Flat);
void IEShowScrollBar(HWND Handle, int32_t Bar, bool Show, bool Flat);

// Width and height of a 16-bit text in the canvas's font (0 for a null
// canvas).
int32_t IETextWidthW(TCanvas* Canvas, const std::u16string& Text);
int32_t IETextHeightW(TCanvas* Canvas, const std::u16string& Text);

// A 1-pixel 3-D frame with a solid copy pen: the left edge from (X1, Y2) up to
// (X1, Y1) and the top edge on to (X2, Y1) in TopLeftColor, then the bottom
// edge from (X1, Y2) to (X2, Y2) and the right edge up to (X2, Y1) in
// BottomRightColor.  Lines leave out their last pixel, so (X2, Y1) stays
// untouched.
void IEDraw3DFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                   TColor BottomRightColor);

// Darkens the four bands between Inner and Outer (above, below, left, right of
// Inner, kept inside Outer) as black at opacity 150 of 255 laid over them:
// every channel c becomes c x 105 / 255 (rounded).  Nothing when Inner is
// empty.  Works on any canvas target; on 1- and 8-bit images the result is
// mapped to the nearest colour of the table.
void IEDimOutsideRect(TCanvas* Canvas, const TRect& Outer, const TRect& Inner);

// Sets the colour table of an 8-bit bitmap to the gray ramp (i, i, i); other
// bitmaps are left alone.
void IESetGrayColorTable(TBitmap* Bitmap);
// True when the bitmap has a colour table and every entry i is (i, i, i).
bool IEIsGrayColorTable(TBitmap* Bitmap);
// For an 8-bit bitmap and an ie8p image: copies the colour table into the
// image's palette entry by entry (as far as both reach).
void IECopyColorTableToPalette(TBitmap* Bitmap, TIEBitmap* Image);
