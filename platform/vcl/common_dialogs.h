#pragma once
// The common dialogs of the platform: colour, font and folder choice (and,
// in print_dialogs.h, printing and page set-up). Each is a non-visual
// component with Execute, which shows Qt's own (non-native) dialog modally
// and answers true when the user confirmed; the dialog's values are then
// those chosen.
//
// A hook (SetCommonDialogHook) answers every common dialog without a
// person: it gets the dialog component, sets the values a user would choose
// and answers true for OK or false for Cancel. On a platform without a
// screen a dialog without hook is cancelled at once, so nothing waits.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"
#include "platform/vcl/form_reader.h"

class TFont;
class TStrings;
class TStringList;
class QWidget;

class TCommonDialog : public TComponent, public IFormPropertyTarget {
 public:
  explicit TCommonDialog(TComponent* AOwner);
  ~TCommonDialog() override;

  // Shows the dialog; true when the user confirmed.
  bool Execute();
  bool GetCtl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value) { FCtl3D = Value; }
  int32_t GetHelpContext() const { return FHelpContext; }
  void SetHelpContext(int32_t Value) { FHelpContext = Value; }

  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  // Runs the platform's dialog over Parent; true on OK.
  virtual bool Run(QWidget* Parent) = 0;
  // Called after a confirmed run (by the user or the hook): the values are
  // taken over where they belong (the printer's settings).
  virtual void Confirmed() {}

 private:
  bool FCtl3D = true;
  int32_t FHelpContext = 0;
};

using TCommonDialogHook = std::function<bool(TCommonDialog& Dialog)>;
// Installs the hook that answers the common dialogs; answers the previous one.
TCommonDialogHook SetCommonDialogHook(TCommonDialogHook Hook);

// ------------------------------------------------------------ colour
using TColorDialogOptions = uint8_t;
constexpr TColorDialogOptions cdFullOpen = 0x01;
constexpr TColorDialogOptions cdPreventFullOpen = 0x02;
constexpr TColorDialogOptions cdShowHelp = 0x04;
constexpr TColorDialogOptions cdSolidColor = 0x08;
constexpr TColorDialogOptions cdAnyColor = 0x10;

// The colour dialog. CustomColors holds up to sixteen lines "ColorA=BBGGRR"
// .. "ColorP=BBGGRR" (hexadecimal colour values); they fill the dialog's
// custom colours and the colours the user leaves there come back into it,
// so they are kept from one run to the next.
class TColorDialog : public TCommonDialog {
 public:
  explicit TColorDialog(TComponent* AOwner);
  ~TColorDialog() override;
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }
  TStrings* GetCustomColors() const;
  void SetCustomColors(TStrings* Value);
  TColorDialogOptions GetOptions() const { return FOptions; }
  void SetOptions(TColorDialogOptions Value) { FOptions = Value; }
  // The custom colour Index (0 .. 15) of the list; clNone when it has none.
  TColor GetCustomColor(int32_t Index) const;
  void SetCustomColor(int32_t Index, TColor Color);

  const TFormPropertyTable& FormProperties() const override;

 protected:
  bool Run(QWidget* Parent) override;

 private:
  TColor FColor = clBlack;
  std::unique_ptr<TStringList> FCustomColors;
  TColorDialogOptions FOptions = 0;
};

// ------------------------------------------------------------ font
using TFontDialogOptions = uint32_t;
constexpr TFontDialogOptions fdAnsiOnly = 0x0001;
constexpr TFontDialogOptions fdTrueTypeOnly = 0x0002;
constexpr TFontDialogOptions fdEffects = 0x0004;
constexpr TFontDialogOptions fdFixedPitchOnly = 0x0008;
constexpr TFontDialogOptions fdForceFontExist = 0x0010;
constexpr TFontDialogOptions fdNoFaceSel = 0x0020;
constexpr TFontDialogOptions fdNoOEMFonts = 0x0040;
constexpr TFontDialogOptions fdNoSimulations = 0x0080;
constexpr TFontDialogOptions fdNoSizeSel = 0x0100;
constexpr TFontDialogOptions fdNoStyleSel = 0x0200;
constexpr TFontDialogOptions fdNoVectorFonts = 0x0400;
constexpr TFontDialogOptions fdShowHelp = 0x0800;
constexpr TFontDialogOptions fdWysiwyg = 0x1000;
constexpr TFontDialogOptions fdLimitSize = 0x2000;
constexpr TFontDialogOptions fdScalableOnly = 0x4000;
constexpr TFontDialogOptions fdApplyButton = 0x8000;

enum TFontDialogDevice : uint8_t { fdScreen, fdPrinter, fdBoth };

// The font dialog: face, size and styles of Font (its colour stays).
class TFontDialog : public TCommonDialog {
 public:
  explicit TFontDialog(TComponent* AOwner);
  ~TFontDialog() override;
  TFont* GetFont() const { return FFont.get(); }
  void SetFont(TFont* Value);
  TFontDialogOptions GetOptions() const { return FOptions; }
  void SetOptions(TFontDialogOptions Value) { FOptions = Value; }
  TFontDialogDevice GetDevice() const { return FDevice; }
  void SetDevice(TFontDialogDevice Value) { FDevice = Value; }
  // Size limits in points, used with fdLimitSize (0: none).
  int32_t GetMinFontSize() const { return FMinFontSize; }
  void SetMinFontSize(int32_t Value) { FMinFontSize = Value; }
  int32_t GetMaxFontSize() const { return FMaxFontSize; }
  void SetMaxFontSize(int32_t Value) { FMaxFontSize = Value; }

  const TFormPropertyTable& FormProperties() const override;

 protected:
  bool Run(QWidget* Parent) override;

 private:
  std::unique_ptr<TFont> FFont;
  TFontDialogOptions FOptions = fdEffects;
  TFontDialogDevice FDevice = fdScreen;
  int32_t FMinFontSize = 0, FMaxFontSize = 0;
};

// ------------------------------------------------------------ folder
// The folder-choice dialog: Directory is the folder shown first and, after
// OK, the folder chosen; Root (when set) is the folder it starts from when
// Directory is empty.
class TDirectoryDialog : public TCommonDialog {
 public:
  explicit TDirectoryDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  const std::string& GetTitle() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& GetRoot() const { return FRoot; }
  void SetRoot(const std::string& Value) { FRoot = Value; }
  const std::string& GetDirectory() const { return FDirectory; }
  void SetDirectory(const std::string& Value) { FDirectory = Value; }

  const TFormPropertyTable& FormProperties() const override;

 protected:
  bool Run(QWidget* Parent) override;

 private:
  std::string FTitle, FRoot, FDirectory;
};

// Lets the user choose a folder (through TDirectoryDialog): Directory is
// the folder shown first and, on true, the one chosen.
bool SelectDirectory(const std::string& Caption, const std::string& Root, std::string& Directory);
