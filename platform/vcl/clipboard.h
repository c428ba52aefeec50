#pragma once
// The clipboard over Qt's: opening and closing it (one owner at a time),
// emptying it, and blocks of data under registered format names, each of
// which becomes a private MIME type, with plain text alongside.
//
// The clipboard is opened by one thread at a time.  A thread that has it open
// may open it again (that is not counted: one CloseClipboard closes it); any
// other thread is refused until it is closed.  Data set while it is open is
// gathered and handed to Qt's clipboard when it closes.  Reading and writing
// data belong to the GUI thread; opening and closing may happen anywhere.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/vcl/messages.h"

// Standard formats this layer knows.
enum : uint32_t { CF_TEXT = 1, CF_UNICODETEXT = 13 };
// A packed DIB (header, colour table, rows) travels as a BMP file under
// "image/bmp", which other programs read; the bytes handed in and out are the
// packed DIB without the 14-byte file header.  A registered format named
// "PNG" travels as "image/png".
enum : uint32_t { CF_DIB = 8 };

// Opens the clipboard for NewOwner (0 = no window).  False while another
// thread has it open, or while another program holds it (see
// VclSetClipboardBusy).
bool OpenClipboard(HWND NewOwner);
// Closes the clipboard the calling thread opened and publishes the data set
// since; false when the calling thread has not opened it.
bool CloseClipboard();
// The window that opened the clipboard (0 when none did or it is not open).
HWND GetOpenClipboardWindow();
// True while any thread has the clipboard open.
bool VclClipboardIsOpen();
// Empties the clipboard; only while the calling thread has it open.
bool EmptyClipboard();

// The format id of a name (case ignored), from 0xC000 on; the same name always
// gets the same id.  0 for an empty name.
uint32_t RegisterClipboardFormat(const std::string& Name);
// The registered name of a format id ("" for none).
std::string GetClipboardFormatName(uint32_t Format);
// The MIME type a format is carried under on Qt's clipboard ("" for none).
std::string VclClipboardMimeType(uint32_t Format);

// Data of a format on the clipboard (or set since it was opened).
bool IsClipboardFormatAvailable(uint32_t Format);
// Sets the bytes of a registered format, or the text of CF_TEXT /
// CF_UNICODETEXT (UTF-8 here; a trailing zero byte is dropped).  Only while
// the calling thread has the clipboard open, and only in the GUI thread.
bool SetClipboardData(uint32_t Format, const std::vector<uint8_t>& Data);
// The bytes of a format (text as UTF-8 without a trailing zero); false when
// there are none.  GUI thread only.
bool GetClipboardData(uint32_t Format, std::vector<uint8_t>& Data);

// For tests and for the bridge to other programs: the next Attempts calls of
// OpenClipboard fail as if another program held the clipboard (0 ends it).
void VclSetClipboardBusy(int32_t Attempts);
// How many refusals of VclSetClipboardBusy are left.
int32_t VclClipboardBusyLeft();
