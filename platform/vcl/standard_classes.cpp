// The classes of the control layer that form resources may name.
#include "platform/vcl/buttons.h"
#include "platform/vcl/combo_box.h"
#include "platform/vcl/common_dialogs.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/group_controls.h"
#include "platform/vcl/image_control.h"
#include "platform/vcl/image_list.h"
#include "platform/vcl/list_box.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/page_control.h"
#include "platform/vcl/print_dialogs.h"
#include "platform/vcl/scroll_box.h"
#include "platform/vcl/shapes.h"
#include "platform/vcl/shell_views.h"
#include "platform/vcl/splitter.h"
#include "platform/vcl/status_bar.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/track_bar.h"
#include "platform/vcl/up_down.h"
#include "platform/vcl/vcl_internal.h"

namespace {
template <typename T>
TComponent* Make(TComponent* Owner) {
  return new T(Owner);
}
}  // namespace

void VclStandardClasses(const std::function<void(const char*, std::function<TComponent*(TComponent*)>)>& Add) {
  Add("TBevel", Make<TBevel>);
  Add("TBitBtn", Make<TBitBtn>);
  Add("TButton", Make<TButton>);
  Add("TCheckBox", Make<TCheckBox>);
  Add("TColorDialog", Make<TColorDialog>);
  Add("TComboBox", Make<TComboBox>);
  Add("TDirectoryDialog", Make<TDirectoryDialog>);
  Add("TEdit", Make<TEdit>);
  Add("TFontComboBox", Make<TFontComboBox>);
  Add("TFontDialog", Make<TFontDialog>);
  Add("TForm", Make<TForm>);
  Add("TGroupBox", Make<TGroupBox>);
  Add("TImage", Make<TImage>);
  Add("TImageList", Make<TImageList>);
  Add("TLabel", Make<TLabel>);
  Add("TListBox", Make<TListBox>);
  Add("TMainMenu", Make<TMainMenu>);
  Add("TMenuItem", Make<TMenuItem>);
  Add("TPageControl", Make<TPageControl>);
  Add("TPageSetupDialog", Make<TPageSetupDialog>);
  Add("TPaintBox", Make<TPaintBox>);
  Add("TPanel", Make<TPanel>);
  Add("TPopupMenu", Make<TPopupMenu>);
  Add("TPrintDialog", Make<TPrintDialog>);
  Add("TPrinterSetupDialog", Make<TPrinterSetupDialog>);
  Add("TRadioButton", Make<TRadioButton>);
  Add("TRadioGroup", Make<TRadioGroup>);
  Add("TScrollBox", Make<TScrollBox>);
  Add("TShape", Make<TShape>);
  Add("TShellListView", Make<TShellListView>);
  Add("TShellTreeView", Make<TShellTreeView>);
  Add("TSpeedButton", Make<TSpeedButton>);
  Add("TSplitter", Make<TSplitter>);
  Add("TStatusBar", Make<TStatusBar>);
  Add("TTabSheet", Make<TTabSheet>);
  Add("TTimer", Make<TTimer>);
  Add("TTrackBar", Make<TTrackBar>);
  Add("TUpDown", Make<TUpDown>);
}
