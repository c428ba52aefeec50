#include "widgets/widget_classes.h"

#include "platform/vcl/form_reader.h"
#include "widgets/office_color_button.h"
#include "widgets/office_color_panel.h"
#include "widgets/panels.h"
#include "widgets/progress_bar.h"
#include "widgets/spin_button.h"
#include "widgets/spin_edit.h"
#include "widgets/text_list_box.h"
#include "widgets/tracker.h"
#include "widgets/xp_check_box.h"
#include "widgets/speed_button.h"
#include "widgets/xp_button.h"
#include "widgets/xp_core.h"

void OxRegisterWidgetClasses() {
  RegisterComponentClass<TOxXPButton>("TOxXPButton");
  RegisterComponentClass<TOxXPStyleManager>("TOxXPStyleManager");
  RegisterComponentClass<TOxXPProgressBar>("TOxXPProgressBar");
  RegisterComponentClass<TOxSpeedButton>("TOxSpeedButton");
  RegisterComponentClass<TOxPanel>("TOxPanel");
  RegisterComponentClass<TOxOfficeColorPanel>("TOxOfficeColorPanel");
  RegisterComponentClass<TOxOfficeColorButton>("TOxOfficeColorButton");
  RegisterComponentClass<TOxTracker>("TOxTracker");
  RegisterComponentClass<TOxTextListBox>("TOxTextListBox");
  RegisterComponentClass<TOxSpinButton>("TOxSpinButton");
  RegisterComponentClass<TOxSpinEdit>("TOxSpinEdit");
  RegisterComponentClass<TOxXPCheckbox>("TOxXPCheckbox");
}
