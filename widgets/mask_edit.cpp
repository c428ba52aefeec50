#include "widgets/mask_edit.h"

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"

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

const TFormPropertyTable& TOxExCustomMaskEdit::FormProperties() const {
  using E = TOxExCustomMaskEdit;
  static const TFormPropertyTable Table =
      TFormProperties<E>("", &TOxExControl<TEdit>::FormProperties())
          .Bool("BeepOnError", &E::GetBeepOnError, &E::SetBeepOnError)
          .Set("ClipboardCommands", ClipboardCommandNames(), &E::GetClipboardCommands, &E::SetClipboardCommands)
          // The spin edit keeps no mask; older resources may still name one.
          .Ignored({"EditMask", "PasswordChar"})
          .Build();
  return Table;
}
