#pragma once
// The library's edit base: the notification operations of the control base
// over the platform's one-line edit, a per-control filter of the clipboard
// commands the edit accepts, and the error beep descendants sound when they
// refuse input.
#include <cstdint>

#include "platform/vcl/stdctrls.h"
#include "widgets/control_base.h"

// Clipboard messages an edit answers.
enum : uint32_t {
  WM_CUT_MSG = 0x0300,
  WM_COPY_MSG = 0x0301,
  WM_PASTE_MSG = 0x0302,
  WM_CLEAR_MSG = 0x0303,
  WM_UNDO_MSG = 0x0304,
  EM_UNDO_MSG = 0x00C7,
};

using TOxClipboardCommands = uint8_t;
constexpr TOxClipboardCommands caCopy = 1 << 0;
constexpr TOxClipboardCommands caCut = 1 << 1;
constexpr TOxClipboardCommands caPaste = 1 << 2;
constexpr TOxClipboardCommands caClear = 1 << 3;
constexpr TOxClipboardCommands caUndo = 1 << 4;
constexpr TOxClipboardCommands caAll = 31;

class TOxExCustomMaskEdit : public TOxExControl<TEdit> {
 public:
  explicit TOxExCustomMaskEdit(TComponent* AOwner) : TOxExControl<TEdit>(AOwner) {}

  TOxClipboardCommands GetClipboardCommands() const { return FClipboardCommands; }
  virtual void SetClipboardCommands(TOxClipboardCommands Value) { FClipboardCommands = Value; }
  bool GetBeepOnError() const { return FBeepOnError; }
  virtual void SetBeepOnError(bool Value) { FBeepOnError = Value; }
  // Beeps sounded so far by all edits (the platform has no sound; tests and
  // the program's status line read this).
  static int32_t BeepCount();

  void WndProc(TMessage& Message) override;
  const TFormPropertyTable& FormProperties() const override;

 protected:
  virtual void DoBeepOnError();

 private:
  TOxClipboardCommands FClipboardCommands = caAll;
  bool FBeepOnError = true;
};

// The names of the clipboard commands in bit order.
const std::vector<std::string>& ClipboardCommandNames();
