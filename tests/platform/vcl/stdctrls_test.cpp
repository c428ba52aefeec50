#include "platform/vcl/stdctrls.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"

namespace {

const char* kDialog =
    "object Dlg: TForm\n"
    "  object Edit1: TEdit\n    Text = '128'\n    OnChange = Edit1Change\n  end\n"
    "  object Check1: TCheckBox\n    Caption = 'Antialiasing'\n    Checked = True\n    OnClick = Check1Click\n"
    "  end\n"
    "  object Box: TPaintBox\n    Width = 20\n    Height = 10\n    OnPaint = BoxPaint\n  end\n"
    "end\n";

struct StdCtrlsTest : ::testing::Test {
  StdCtrlsTest() {
    F.BindHandlerFn("Edit1Change", TNotifyEvent([this](TObject*) { Log.push_back("change " + Edit->GetText()); }));
    F.BindHandlerFn("Check1Click",
                    TNotifyEvent([this](TObject*) { Log.push_back("click " + std::to_string(Check->GetChecked())); }));
    F.BindHandlerFn("BoxPaint", TNotifyEvent([this](TObject*) {
                      Box->GetCanvas()->GetBrush()->SetColor(clRed);
                      Box->GetCanvas()->FillRect(Rect(0, 0, 20, 10));
                    }));
    F.ReadFormResourceText(kDialog, "dialog");
    Edit = F.Find<TEdit>("Edit1");
    Check = F.Find<TCheckBox>("Check1");
    Box = F.Find<TPaintBox>("Box");
  }
  TForm F{nullptr};
  TEdit* Edit = nullptr;
  TCheckBox* Check = nullptr;
  TPaintBox* Box = nullptr;
  std::vector<std::string> Log;
};

TEST_F(StdCtrlsTest, StoredValuesAndChangeEvents) {
  ASSERT_TRUE(Edit && Check && Box);
  EXPECT_EQ(Edit->GetText(), "128");
  EXPECT_TRUE(Check->GetChecked());
  Log.clear();
  Edit->SetText("200");
  Check->SetChecked(false);
  Check->SetChecked(false);  // no change, no event
  EXPECT_EQ(Log, (std::vector<std::string>{"change 200", "click 0"}));
  // The user's actions fire the same events.
  Log.clear();
  F.Show();
  static_cast<QCheckBox*>(Check->GetWidget())->click();
  SendKey(Edit->GetWidget(), Qt::Key_5, Qt::NoModifier, "5");
  EXPECT_EQ(Log, (std::vector<std::string>{"click 1", "change 2005"}));
}

TEST_F(StdCtrlsTest, KeyPressHandlerCanSwallowAKey) {
  F.Show();
  Edit->OnKeyPress = [](TObject*, char16_t& Key) {
    if (Key < u'0' || Key > u'9') Key = 0;
  };
  Edit->SetText("");
  SendKey(Edit->GetWidget(), Qt::Key_A, Qt::NoModifier, "a");
  SendKey(Edit->GetWidget(), Qt::Key_7, Qt::NoModifier, "7");
  EXPECT_EQ(Edit->GetText(), "7");
}

TEST_F(StdCtrlsTest, PaintBoxPaintsThroughItsCanvas) {
  Box->Repaint();
  EXPECT_EQ(Box->GetFrontBuffer()->GetPixelColor(5, 5), clRed);
}

}  // namespace
