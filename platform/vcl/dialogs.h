#pragma once
// Message boxes (MessageBox, MessageDlg, ShowMessage) and the hook through
// which tests answer them without a person.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/vcl/messages.h"

// Modal results (also the answers of message boxes).
using TModalResult = int32_t;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;

// MessageBox answers: the same numbers as the modal results.
enum : int32_t { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// MessageBox flags.
enum : uint32_t {
  MB_OK = 0x0000,
  MB_OKCANCEL = 0x0001,
  MB_ABORTRETRYIGNORE = 0x0002,
  MB_YESNOCANCEL = 0x0003,
  MB_YESNO = 0x0004,
  MB_RETRYCANCEL = 0x0005,
  MB_TYPEMASK = 0x000F,
  MB_ICONHAND = 0x0010,
  MB_ICONSTOP = 0x0010,
  MB_ICONERROR = 0x0010,
  MB_ICONQUESTION = 0x0020,
  MB_ICONEXCLAMATION = 0x0030,
  MB_ICONWARNING = 0x0030,
  MB_ICONASTERISK = 0x0040,
  MB_ICONINFORMATION = 0x0040,
  MB_ICONMASK = 0x00F0,
  MB_DEFBUTTON1 = 0x0000,
  MB_DEFBUTTON2 = 0x0100,
  MB_DEFBUTTON3 = 0x0200,
  MB_DEFMASK = 0x0F00,
  MB_APPLMODAL = 0x0000,
  MB_SYSTEMMODAL = 0x1000,
  MB_TASKMODAL = 0x2000,
};

enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons of MessageDlg, a set of flags.
using TMsgDlgButtons = uint16_t;
constexpr TMsgDlgButtons mbYes = 0x001;
constexpr TMsgDlgButtons mbNo = 0x002;
constexpr TMsgDlgButtons mbOK = 0x004;
constexpr TMsgDlgButtons mbCancel = 0x008;
constexpr TMsgDlgButtons mbAbort = 0x010;
constexpr TMsgDlgButtons mbRetry = 0x020;
constexpr TMsgDlgButtons mbIgnore = 0x040;
constexpr TMsgDlgButtons mbAll = 0x080;
constexpr TMsgDlgButtons mbNoToAll = 0x100;
constexpr TMsgDlgButtons mbYesToAll = 0x200;
constexpr TMsgDlgButtons mbHelp = 0x400;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;
constexpr TMsgDlgButtons mbAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;

// What a message box asks: its caption and text, its kind (icon), its buttons
// as modal results in the order shown, and the default one.
struct TMessageBoxRequest {
  std::string Caption;
  std::string Text;
  TMsgDlgType DlgType = mtCustom;
  std::vector<TModalResult> Buttons;
  TModalResult DefaultButton = mrNone;
};

// A hook answers a box with one of its buttons (a modal result). An answer
// that is not among the box's buttons counts as the box's cancel answer
// (Cancel, else No, else its last button).
using TMessageBoxHook = std::function<TModalResult(const TMessageBoxRequest& Request)>;

// Installs the hook that answers every message box; answers the previous one.
// With no hook, the boxes show on the screen; on a platform without a screen
// (offscreen, minimal) a box without hook takes its default button and writes
// its text to the standard error, so nothing waits forever.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook Hook);

// Shows the box (through the hook when one is installed) and answers the
// chosen button; the common entry of the functions below.
TModalResult ShowMessageBoxRequest(const TMessageBoxRequest& Request);

// Window-style message box; Wnd is the owner (0 for none). Answers IDOK ...
int32_t MessageBox(HWND Wnd, const std::string& Text, const std::string& Caption, uint32_t Type);
// Captioned "Warning", "Error", "Information", "Confirm" by type, or the
// application title for mtCustom.
TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int32_t HelpCtx);
// An information box with one OK button captioned with the application title.
void ShowMessage(const std::string& Msg);
