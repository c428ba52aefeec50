#pragma once
// Standard controls: label and push button.
#include <cstdint>
#include <string>

#include "platform/vcl/controls.h"
#include "platform/vcl/dialogs.h"

enum TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

// A text on its parent, painted into its own buffer. With AutoSize it takes
// the size of its text.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);

  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TTextLayout GetLayout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool GetWordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  TWinControl* GetFocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value) { FFocusControl = Value; }

  void SetText(const std::string& Value) override;
  const TFormPropertyTable& FormProperties() const override;
  void Loaded() override;

 protected:
  void Paint() override;
  void AdjustBounds();

 private:
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FTransparent = false;
  bool FWordWrap = false;
  TWinControl* FFocusControl = nullptr;
};

// A push button. A click sets the form's ModalResult to the button's own
// (when not mrNone) before OnClick runs.
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner);

  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  bool GetDefault() const { return FDefault; }
  void SetDefault(bool Value);
  bool GetCancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }

  void SetText(const std::string& Value) override;
  void Click() override;
  const TFormPropertyTable& FormProperties() const override;

 private:
  TModalResult FModalResult = mrNone;
  bool FDefault = false;
  bool FCancel = false;
};

// A one-line text editor. OnChange fires whenever the text changes, by the
// user or by the program.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);

  std::string GetText() const override;
  void SetText(const std::string& Value) override;
  bool GetReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  int32_t GetMaxLength() const { return FMaxLength; }
  void SetMaxLength(int32_t Value);
  void SelectAll();
  // The caret and the selection, in characters from the start of the text.
  // The caret stands at the end of the selection the user made last;
  // SetSelStart clears the selection, SetSelLength selects from SelStart.
  int32_t GetSelStart() const;
  void SetSelStart(int32_t Value);
  int32_t GetSelLength() const;
  void SetSelLength(int32_t Value);

  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnChange;

 protected:
  virtual void Change();

 private:
  bool FReadOnly = false;
  int32_t FMaxLength = 0;
};

enum TCheckBoxState : uint8_t { cbUnchecked, cbChecked, cbGrayed };

// A check box. Changing Checked (by the user or the program) fires OnClick.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);

  bool GetChecked() const { return FState == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState GetState() const { return FState; }
  void SetState(TCheckBoxState Value);
  bool GetAllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value);

  void SetText(const std::string& Value) override;
  const TFormPropertyTable& FormProperties() const override;

 private:
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  bool FSyncing = false;
};
