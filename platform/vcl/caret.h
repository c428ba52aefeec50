#pragma once
// The caret: one text cursor for the application, owned by one window at a
// time. The owning control draws it: its widget inverts the caret's
// rectangle over the control's picture (the front buffer itself stays as
// painted), in the on half of every blink period. A new caret is hidden
// until ShowCaret; hiding nests (as many ShowCaret as HideCaret show it
// again). Moving the caret shows it at once in its on half. GUI thread only.
#include <cstdint>

#include "platform/rtl/types.h"
#include "platform/vcl/messages.h"

// Makes the caret Width x Height (0 width: one border's width) for Wnd,
// replacing any other; Bitmap 1 makes it grey (half the pixels). False for a
// window that is no control.
bool CreateCaret(HWND Wnd, uintptr_t Bitmap, int32_t Width, int32_t Height);
bool DestroyCaret();
// The caret's top-left corner in the owner's client coordinates.
bool SetCaretPos(int32_t X, int32_t Y);
bool GetCaretPos(TPoint& Point);
// Wnd 0 means the owner; false for another window or without caret.
bool ShowCaret(HWND Wnd);
bool HideCaret(HWND Wnd);
// The blink period's half, in milliseconds (530 by default).
uint32_t GetCaretBlinkTime();
bool SetCaretBlinkTime(uint32_t Milliseconds);

// For tests: whether the caret is drawn now (shown and in its on half), and
// its rectangle in the owner's client coordinates.
bool VclCaretDrawn();
TRect VclCaretRect();
