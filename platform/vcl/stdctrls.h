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
  bool SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) override;
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
  bool SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) override;

 private:
  TModalResult FModalResult = mrNone;
  bool FDefault = false;
  bool FCancel = false;
};
