#pragma once
// The spin edit: a one-line numeric edit with stepping buttons at its right
// edge. Its text always shows a normalised number (integer, float or
// hexadecimal), optionally limited to a range; the buttons, the Up and Down
// keys and the wheel step it; typing is filtered to what a number allows.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/vcl/extctrls.h"
#include "widgets/mask_edit.h"
#include "widgets/spin_button.h"

enum TValueType : uint8_t { vtInteger, vtFloat, vtHex };
enum TSpinButtonKind : uint8_t { bkStandard, bkDiagonal, bkClassic };
using TOxCheckOptions = uint8_t;
constexpr TOxCheckOptions coCheckOnChange = 1 << 0;
constexpr TOxCheckOptions coCheckOnExit = 1 << 1;
constexpr TOxCheckOptions coCropBeyondLimit = 1 << 2;

// The number separators of the program.
constexpr char kSpinDecimalSeparator = '.';
constexpr char kSpinThousandSeparator = ',';

// Text to number: never fails; unparsable text gives MinValue (rounded for
// the integer kinds). Integer and hexadecimal text beyond 32 bits is clamped
// to the 32-bit range; hexadecimal text may carry a leading minus.
long double SpinTextToValue(const std::string& Text, TValueType Type, const std::string& DisplayFormat,
                            long double MinValue);
// Number to text in the form the edit shows; negative hexadecimal values are
// written with a minus before the digits of their magnitude.
std::string SpinValueToText(long double Value, TValueType Type, const std::string& DisplayFormat, uint8_t Decimal,
                            bool Thousands);
// A float picture: "0" digit, "#" optional digit, "." decimal point, ","
// thousand grouping.
std::string FormatFloatPicture(long double Value, const std::string& Picture);

class TOxCustomSpinEdit : public TOxExCustomMaskEdit {
 public:
  explicit TOxCustomSpinEdit(TComponent* AOwner);
  ~TOxCustomSpinEdit() override;

  virtual long double GetValue() const = 0;
  virtual void SetValue(long double NewValue) = 0;
  long double GetMinValue() const { return FMinValue; }
  void SetMinValue(long double Value);
  long double GetMaxValue() const { return FMaxValue; }
  void SetMaxValue(long double Value);
  bool GetCheckMinValue() const { return FCheckMinValue; }
  void SetCheckMinValue(bool Value);
  bool GetCheckMaxValue() const { return FCheckMaxValue; }
  void SetCheckMaxValue(bool Value);
  TOxCheckOptions GetCheckOptions() const { return FCheckOptions; }
  void SetCheckOptions(TOxCheckOptions Value) { FCheckOptions = Value; }
  long double GetIncrement() const { return FIncrement; }
  void SetIncrement(long double Value) { FIncrement = Value; }
  TValueType GetValueType() const { return FValueType; }
  virtual void SetValueType(TValueType NewType);
  uint8_t GetDecimal() const { return FDecimal; }
  void SetDecimal(uint8_t Value);
  std::string GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value);
  virtual std::string DefaultDisplayFormat() const { return ",0.##"; }
  bool GetThousands() const { return FThousands; }
  void SetThousands(bool Value);
  bool GetEditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool Value) { FEditorEnabled = Value; }
  bool GetArrowKeys() const { return FArrowKeys; }
  void SetArrowKeys(bool Value) { FArrowKeys = Value; }
  bool GetShowButton() const { return FShowButton; }
  void SetShowButton(bool Value);
  TSpinButtonKind GetButtonKind() const { return FButtonKind; }
  void SetButtonKind(TSpinButtonKind Value);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value) { FAlignment = Value; }
  bool GetEditingFocus() const { return FEditingFocus; }
  TOxSpinButton* GetSpinButton() const { return FButton; }

  long double ClampToRange(long double X) const;
  // Raises ERangeError when Raise is set, a check is on and X lies outside.
  long double ClampToRangeOrRaise(long double X, bool Raise) const;
  bool RangeIsSet() const { return FMinValue != 0 || FMaxValue != 0; }
  int32_t MinimumEditHeight() const;

  virtual void StepUp(TObject* Sender);
  virtual void StepDown(TObject* Sender);
  void Loaded() override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  const TFormPropertyTable& FormProperties() const override;
  void WndProc(TMessage& Message) override;

  TNotifyEvent OnTopClick;
  TNotifyEvent OnBottomClick;

 protected:
  virtual void ApplyEditFormat();
  virtual bool IsAllowedChar(char16_t Key) const;
  void Change() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char16_t& Key) override;
  void DoEnter() override;
  void DoExit() override;
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void DoEnabledChange() override;
  void DoFocusLost(HWND NextWnd) override;
  void SetEditingFocus(bool Value);
  void RebuildButtons();
  void LayoutButtons();
  void WriteText(const std::string& Text);

  bool FNegativeTyped = false;
  bool FInChange = false;

 private:
  void Step(bool Up);

  long double FMinValue = 0, FMaxValue = 0;
  bool FCheckMinValue = false, FCheckMaxValue = false;
  TOxCheckOptions FCheckOptions = coCheckOnChange | coCheckOnExit | coCropBeyondLimit;
  long double FIncrement = 1;
  TValueType FValueType = vtInteger;
  uint8_t FDecimal = 2;
  std::string FDisplayFormat;
  bool FThousands = false;
  bool FEditorEnabled = true;
  bool FArrowKeys = true;
  bool FShowButton = true;
  TSpinButtonKind FButtonKind = bkDiagonal;
  TAlignment FAlignment = taLeftJustify;
  bool FEditingFocus = false;
  bool FAutoCheckMax = true, FAutoCheckMin = true;
  long double FLastValue = 0;
  TPanel* FHolder = nullptr;        // owned by the edit as a component
  TOxSpinButton* FButton = nullptr;  // owned by the edit as a component
};

class TOxSpinEdit : public TOxCustomSpinEdit {
 public:
  explicit TOxSpinEdit(TComponent* AOwner);
  long double GetValue() const override;
  void SetValue(long double NewValue) override;
};
