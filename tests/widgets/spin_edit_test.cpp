#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/spin_edit.h"
#include "widgets/widget_classes.h"

namespace {

TEST(SpinValueRules, TextToValue) {
  struct Case {
    const char* Text;
    TValueType Type;
    const char* Picture;
    long double Min, Value;
  };
  const Case Cases[] = {
      {"42", vtInteger, "", 0, 42},
      {"1,234", vtInteger, "", 0, 1234},
      {"-17", vtInteger, "", 0, -17},
      {"", vtInteger, "", 3, 3},
      {"abc", vtInteger, "", 2.5L, 2},  // the minimum rounded, halves to even
      {"-", vtInteger, "", 0, 0},
      // Beyond 32 bits the text clamps to the 32-bit range.
      {"99999999999", vtInteger, "", 5, 2147483647},
      {"-99999999999999999999999", vtInteger, "", 5, -2147483648.0L},
      {"FF", vtHex, "", 0, 255},
      {"ff", vtHex, "", 0, 255},
      {"-FF", vtHex, "", 0, -255},
      {"FFFFFFFFFF", vtHex, "", 0, 2147483647},
      {"XY", vtHex, "", 7, 7},
      {"1.5", vtFloat, "", 0, 1.5L},
      {"1,234.5", vtFloat, "", 0, 1234.5L},
      {"1e3", vtFloat, "", 0, 1000},
      {"x", vtFloat, "", 0.25L, 0.25L},
      {" 1,234.50 ", vtFloat, ",0.##", 0, 1234.5L},
      {"", vtFloat, ",0.##", 9, 0},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(SpinTextToValue(C.Text, C.Type, C.Picture, C.Min), C.Value) << "'" << C.Text << "'";
}

TEST(SpinValueRules, ValueToTextAndRoundTrip) {
  struct Case {
    long double Value;
    TValueType Type;
    const char* Picture;
    uint8_t Decimal;
    bool Thousands;
    const char* Text;
  };
  const Case Cases[] = {
      {42, vtInteger, "", 2, false, "42"},
      {1234567, vtInteger, "", 2, true, "1,234,567"},
      {-3, vtInteger, "", 2, false, "-3"},
      {255, vtHex, "", 2, false, "FF"},
      {0, vtHex, "", 2, false, "0"},
      {-255, vtHex, "", 2, false, "-FF"},
      {1.5L, vtFloat, "", 2, false, "1.50"},
      {1234.5L, vtFloat, "", 1, true, "1,234.5"},
      {1234.5L, vtFloat, ",0.##", 2, false, "1,234.5"},
      {0.125L, vtFloat, "0.00", 2, false, "0.13"},
      {7, vtFloat, ",0.##", 2, false, "7"},
  };
  for (const Case& C : Cases) {
    const std::string T = SpinValueToText(C.Value, C.Type, C.Picture, C.Decimal, C.Thousands);
    EXPECT_EQ(T, C.Text) << static_cast<double>(C.Value);
    if (std::string(C.Picture) != "0.00") {
      EXPECT_EQ(SpinTextToValue(T, C.Type, C.Picture, 0), C.Value) << "round trip of " << T;
    }
  }
}

struct SpinEditTest : ::testing::Test {
  SpinEditTest() {
    F.SetBounds(0, 0, 300, 200);
    E = new TOxSpinEdit(&F);
    E->SetParent(&F);
    E->SetBounds(10, 10, 80, 21);
    Other = new TEdit(&F);
    Other->SetParent(&F);
    Other->SetBounds(10, 60, 80, 21);
  }
  TForm F{nullptr};
  TOxSpinEdit* E = nullptr;
  TEdit* Other = nullptr;
};

TEST_F(SpinEditTest, RangeFromLimitsClampsTypingAndKeepsTheTypedMinus) {
  EXPECT_EQ(E->GetText(), "0");
  E->SetText("123456");
  EXPECT_EQ(E->GetText(), "123456") << "0 to 0 and no flags: no limits";
  E->SetMaxValue(100);
  EXPECT_TRUE(E->GetCheckMaxValue());
  EXPECT_TRUE(E->GetCheckMinValue());
  EXPECT_EQ(E->GetText(), "100");
  E->SetText("150");
  EXPECT_EQ(E->GetText(), "100");
  E->SetText("");
  EXPECT_EQ(E->GetText(), "0") << "an empty field reads as the minimum";
  E->SetText("-5");
  EXPECT_EQ(E->GetText(), "-0");
  EXPECT_EQ(E->GetValue(), 0);
  E->SetText("99999999999");
  EXPECT_EQ(E->GetText(), "100") << "beyond 32 bits clamps to the range, not to the minimum";
}

TEST_F(SpinEditTest, OnChangeOnlyWhenTheValueChanges) {
  int32_t Changes = 0;
  E->OnChange = [&](TObject*) { ++Changes; };
  E->SetText("5");
  EXPECT_EQ(Changes, 1);
  E->SetText("05");
  EXPECT_EQ(E->GetText(), "5");
  EXPECT_EQ(Changes, 1) << "a leading zero leaves the value as it was";
  E->SetText("-");
  EXPECT_EQ(E->GetText(), "-0");
  EXPECT_EQ(Changes, 2);
}

TEST_F(SpinEditTest, StepsByButtonKeysAndWheel) {
  F.Show();
  F.GetWidget()->activateWindow();
  E->SetFocus();
  QApplication::processEvents();
  int32_t Top = 0, Bottom = 0;
  E->OnTopClick = [&](TObject*) { ++Top; };
  E->OnBottomClick = [&](TObject*) { ++Bottom; };
  E->SetIncrement(5);
  SendKey(E->GetWidget(), Qt::Key_Up, Qt::NoModifier);
  EXPECT_EQ(E->GetText(), "5");
  SendWheel(E->GetWidget(), QPoint(5, 5), -120);
  EXPECT_EQ(E->GetText(), "0");
  ASSERT_TRUE(E->GetSpinButton());
  QWidget* B = E->GetSpinButton()->GetWidget();
  SendClick(B, QPoint(2, 2));
  EXPECT_EQ(E->GetText(), "5");
  EXPECT_EQ(Top, 2);
  EXPECT_EQ(Bottom, 1);
  E->SetArrowKeys(false);
  SendKey(E->GetWidget(), Qt::Key_Up, Qt::NoModifier);
  EXPECT_EQ(E->GetText(), "5");
  E->SetReadOnly(true);
  const int32_t Beeps = TOxExCustomMaskEdit::BeepCount();
  E->StepUp(nullptr);
  EXPECT_EQ(E->GetText(), "5");
  EXPECT_EQ(TOxExCustomMaskEdit::BeepCount(), Beeps + 1);
}

TEST_F(SpinEditTest, TypingFilterAndDisabledEditor) {
  F.Show();
  F.GetWidget()->activateWindow();
  E->SetFocus();
  QApplication::processEvents();
  E->SetText("");
  // The emptied field shows the minimum with the caret where the text was
  // emptied; type behind it.
  E->SetSelStart(1);
  const int32_t Beeps = TOxExCustomMaskEdit::BeepCount();
  SendKey(E->GetWidget(), Qt::Key_X, Qt::NoModifier, "x");
  EXPECT_EQ(TOxExCustomMaskEdit::BeepCount(), Beeps + 1);
  SendKey(E->GetWidget(), Qt::Key_7, Qt::NoModifier, "7");
  EXPECT_EQ(E->GetValue(), 7);
  E->SetValueType(vtHex);
  SendKey(E->GetWidget(), Qt::Key_B, Qt::NoModifier, "b");
  EXPECT_EQ(E->GetValue(), 0x7B);
  E->SetEditorEnabled(false);
  SendKey(E->GetWidget(), Qt::Key_1, Qt::NoModifier, "1");
  EXPECT_EQ(TOxExCustomMaskEdit::BeepCount(), Beeps + 2);
  EXPECT_EQ(E->Perform(WM_PASTE_MSG, 0, LPARAM(0)), 0);
  SendWheel(E->GetWidget(), QPoint(5, 5), 120);
  EXPECT_EQ(E->GetText(), "7C") << "the wheel still steps";
}

TEST_F(SpinEditTest, ValueTypeSwitchRoundsIncrementAndHexShowsNegatives) {
  E->SetValueType(vtFloat);
  E->SetIncrement(0.4L);
  E->SetValue(1.5L);
  EXPECT_EQ(E->GetText(), "1.50");
  E->SetValueType(vtInteger);
  EXPECT_EQ(E->GetIncrement(), 1);
  EXPECT_EQ(E->GetText(), "2") << "1.5 rounds to even";
  E->SetValueType(vtHex);
  E->SetValue(-255);
  EXPECT_EQ(E->GetText(), "-FF");
  EXPECT_EQ(E->GetValue(), -255) << "negative hexadecimal values round-trip";
  E->SetThousands(true);
  EXPECT_FALSE(E->GetThousands());
}

TEST_F(SpinEditTest, HeightSnapsToTheMinimumAndClipboardFilter) {
  E->SetHeight(3);
  EXPECT_EQ(E->GetHeight(), E->MinimumEditHeight());
  E->SetClipboardCommands(caAll & ~caPaste & ~caUndo);
  E->SetText("12");
  EXPECT_EQ(E->Perform(WM_PASTE_MSG, 0, LPARAM(0)), 1);
  EXPECT_EQ(E->Perform(EM_UNDO_MSG, 0, LPARAM(0)), 1);
  EXPECT_EQ(E->Perform(WM_UNDO_MSG, 0, LPARAM(0)), 1);
  EXPECT_EQ(E->GetText(), "12");
  E->SetBeepOnError(false);
  const int32_t Beeps = TOxExCustomMaskEdit::BeepCount();
  E->SetReadOnly(true);
  E->StepUp(nullptr);
  EXPECT_EQ(TOxExCustomMaskEdit::BeepCount(), Beeps) << "silent without BeepOnError";
}

TEST_F(SpinEditTest, LeavingOutOfRangeWithoutCropReportsAndKeepsTheFocus) {
  TRecordingBoxHook Boxes;
  E->SetMaxValue(100);
  E->SetCheckOptions(coCheckOnExit);
  F.Show();
  F.GetWidget()->activateWindow();
  E->SetFocus();
  QApplication::processEvents();
  E->SetText("150");
  EXPECT_EQ(E->GetText(), "150");
  Other->SetFocus();
  QApplication::processEvents();
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_NE(Boxes.Boxes[0].Text.find("Value must be between 0 and 100"), std::string::npos);
}

TEST_F(SpinEditTest, FormResourceSetsRangeTypeAndValue) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Dpi: TOxSpinEdit\n    Width = 60\n    Height = 21\n"
                            "    MaxValue = 2400\n    MinValue = 1\n    Value = 300\n    Increment = 10\n"
                            "    ClipboardCommands = [caCopy, caPaste]\n  end\n"
                            "  object Angle: TOxSpinEdit\n    ValueType = vtFloat\n    Decimal = 1\n"
                            "    Value = 12.25\n    ButtonKind = bkClassic\n  end\n"
                            "end\n",
                            "main");
  auto* Dpi = Main.Find<TOxSpinEdit>("Dpi");
  ASSERT_TRUE(Dpi);
  EXPECT_EQ(Dpi->GetValue(), 300);
  EXPECT_TRUE(Dpi->GetCheckMinValue());
  EXPECT_TRUE(Dpi->GetCheckMaxValue());
  EXPECT_EQ(Dpi->GetClipboardCommands(), caCopy | caPaste);
  Dpi->SetValue(5000);
  EXPECT_EQ(Dpi->GetText(), "2400");
  auto* Angle = Main.Find<TOxSpinEdit>("Angle");
  EXPECT_EQ(Angle->GetText(), "12.2") << "halves to even at one decimal";
  EXPECT_EQ(Angle->GetSpinButton()->GetButtonStyle(), sbsClassic);
}

}  // namespace

namespace {

TEST_F(SpinEditTest, HeldButtonStopsWhenTheFieldLosesTheFocus) {
  F.Show();
  F.GetWidget()->activateWindow();
  QApplication::processEvents();
  TOxSpinButton* Button = E->GetSpinButton();
  Button->SetInitRepeatPause(20);
  Button->SetRepeatPause(10);
  SendMouse(Button->GetWidget(), QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_TRUE(E->Focused()) << "the button hands the focus to its field";
  EXPECT_EQ(E->GetText(), "1");
  Other->SetFocus();
  QApplication::processEvents();
  EXPECT_FALSE(Button->GetRepeatTimer()->GetEnabled());
  const std::string After = E->GetText();
  for (int I = 0; I < 10; ++I) QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(E->GetText(), After);
  SendMouse(Button->GetWidget(), QEvent::MouseButtonRelease, QPoint(2, 2), Qt::LeftButton, Qt::NoButton);
}

}  // namespace

// The caret rules of typing: the typed minus keeps the caret behind it, a
// second separator jumps behind the first, Delete and Backspace step over
// the separator, and thousand separators do not move the caret off its digit.
TEST_F(SpinEditTest, CaretFollowsTheTypedDigits) {
  F.Show();
  F.GetWidget()->activateWindow();
  E->SetFocus();
  QApplication::processEvents();
  E->SetText("");
  SendKey(E->GetWidget(), Qt::Key_Minus, Qt::NoModifier, "-");
  EXPECT_EQ(E->GetText(), "-0");
  EXPECT_EQ(E->GetSelStart(), 1) << "the caret stays behind the typed minus";

  E->SetValueType(vtFloat);
  E->SetDecimal(2);
  E->SetValue(1.5);
  EXPECT_EQ(E->GetText(), "1.50");
  E->SetSelStart(0);
  const int32_t Beeps = TOxExCustomMaskEdit::BeepCount();
  SendKey(E->GetWidget(), Qt::Key_Period, Qt::NoModifier, ".");
  EXPECT_EQ(E->GetText(), "1.50");
  EXPECT_EQ(E->GetSelStart(), 2) << "a second separator moves the caret behind the first";
  EXPECT_EQ(E->GetSelLength(), 0);
  EXPECT_EQ(TOxExCustomMaskEdit::BeepCount(), Beeps);
  SendKey(E->GetWidget(), Qt::Key_Backspace, Qt::NoModifier, "\b");
  EXPECT_EQ(E->GetText(), "1.50");
  EXPECT_EQ(E->GetSelStart(), 1) << "Backspace steps over the separator";
  SendKey(E->GetWidget(), Qt::Key_Delete, Qt::NoModifier);
  EXPECT_EQ(E->GetText(), "1.50");
  EXPECT_EQ(E->GetSelStart(), 2) << "Delete steps over the separator";

  E->SetValueType(vtInteger);
  E->SetThousands(true);
  E->SetValue(999);
  EXPECT_EQ(E->GetText(), "999");
  E->SetSelStart(3);
  SendKey(E->GetWidget(), Qt::Key_9, Qt::NoModifier, "9");
  EXPECT_EQ(E->GetText(), "9,999");
  EXPECT_EQ(E->GetSelStart(), 5) << "the caret stays behind the digit just typed";
}
