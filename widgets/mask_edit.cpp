#include "widgets/mask_edit.h"

#include "platform/rtl/sysutils.h"

template class TOxExControl<TEdit>;

namespace {
int32_t GBeeps = 0;
}

int32_t TOxExCustomMaskEdit::BeepCount() { return GBeeps; }

void TOxExCustomMaskEdit::DoBeepOnError() {
  if (FBeepOnError) ++GBeeps;
}

void TOxExCustomMaskEdit::WndProc(TMessage& Message) {
  TOxClipboardCommands Needed = 0;
  switch (Message.Msg) {
    case WM_COPY_MSG: Needed = caCopy; break;
    case WM_CUT_MSG: Needed = caCut; break;
    case WM_PASTE_MSG: Needed = caPaste; break;
    case WM_CLEAR_MSG: Needed = caClear; break;
    case WM_UNDO_MSG:
    case EM_UNDO_MSG: Needed = caUndo; break;
    default: break;
  }
  if (Needed != 0 && !(FClipboardCommands & Needed)) {
    Message.Result = 1;
    return;
  }
  TOxExControl<TEdit>::WndProc(Message);
}

const std::vector<std::string>& ClipboardCommandNames() {
  static const std::vector<std::string> Names = {"caCopy", "caCut", "caPaste", "caClear", "caUndo"};
  return Names;
}

bool TOxExCustomMaskEdit::SetFormProperty(const std::string& Name, const TFormValue& Value,
                                          TFormReadContext& Context) {
  if (SameText(Name, "ClipboardCommands")) {
    SetClipboardCommands(static_cast<TOxClipboardCommands>(Value.AsSet(ClipboardCommandNames())));
  } else if (SameText(Name, "BeepOnError")) {
    SetBeepOnError(Value.AsBoolean());
  } else if (SameText(Name, "EditMask") || SameText(Name, "PasswordChar")) {
    // The spin edit keeps no mask; older resources may still name one.
  } else {
    return TOxExControl<TEdit>::SetFormProperty(Name, Value, Context);
  }
  return true;
}
