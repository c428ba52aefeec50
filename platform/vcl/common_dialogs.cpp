#include "platform/vcl/common_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"

namespace {
std::mutex GHookLock;
TCommonDialogHook& Hook() {
  static TCommonDialogHook H;
  return H;
}

// The active form's widget, the parent of a dialog.
QWidget* DialogParent() {
  QWidget* W = QApplication::activeWindow();
  return W;
}
}  // namespace

TCommonDialogHook SetCommonDialogHook(TCommonDialogHook NewHook) {
  std::lock_guard<std::mutex> Lock(GHookLock);
  TCommonDialogHook Old = std::move(Hook());
  Hook() = std::move(NewHook);
  return Old;
}

// ------------------------------------------------------------ base
TCommonDialog::TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
TCommonDialog::~TCommonDialog() = default;

bool TCommonDialog::Execute() {
  TCommonDialogHook H;
  {
    std::lock_guard<std::mutex> Lock(GHookLock);
    H = Hook();
  }
  if (OnShow) OnShow(this);
  bool Ok = false;
  if (H) {
    Ok = H(*this);
  } else if (!VclHeadless() && qobject_cast<QApplication*>(QCoreApplication::instance())) {
    Ok = Run(DialogParent());
  }
  if (OnClose) OnClose(this);
  if (Ok) Confirmed();
  return Ok;
}

const TFormPropertyTable& TCommonDialog::FormProperties() const {
  using D = TCommonDialog;
  static const TFormPropertyTable Table = TFormProperties<D>("", &ComponentFormProperties())
                                              .Bool("Ctl3D", &D::GetCtl3D, &D::SetCtl3D)
                                              .Integer("HelpContext", &D::GetHelpContext, &D::SetHelpContext)
                                              .Event("OnClose", &D::OnClose)
                                              .Event("OnShow", &D::OnShow)
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ colour
namespace {
QColor ToQColor(TColor C) {
  const TColor R = ColorToRGB(C);
  return QColor(R & 0xFF, (R >> 8) & 0xFF, (R >> 16) & 0xFF);
}
TColor FromQColor(const QColor& Q) { return RGB(uint8_t(Q.red()), uint8_t(Q.green()), uint8_t(Q.blue())); }
std::string CustomName(int32_t Index) { return std::string("Color") + char('A' + Index); }
}  // namespace

TColorDialog::TColorDialog(TComponent* AOwner) : TCommonDialog(AOwner), FCustomColors(std::make_unique<TStringList>()) {}
TColorDialog::~TColorDialog() = default;

TStrings* TColorDialog::GetCustomColors() const { return FCustomColors.get(); }
void TColorDialog::SetCustomColors(TStrings* Value) { FCustomColors->Assign(Value); }

TColor TColorDialog::GetCustomColor(int32_t Index) const {
  if (Index < 0 || Index > 15) return clNone;
  const std::string V = FCustomColors->GetValue(CustomName(Index));
  unsigned long N = 0;
  if (V.empty() || std::sscanf(V.c_str(), "%lx", &N) != 1) return clNone;
  return static_cast<TColor>(N & 0xFFFFFF);
}

void TColorDialog::SetCustomColor(int32_t Index, TColor Color) {
  if (Index < 0 || Index > 15) return;
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%06X", static_cast<unsigned>(ColorToRGB(Color) & 0xFFFFFF));
  FCustomColors->SetValue(CustomName(Index), Buf);
}

bool TColorDialog::Run(QWidget* Parent) {
  for (int32_t I = 0; I < 16; ++I)
    if (const TColor C = GetCustomColor(I); C != clNone) QColorDialog::setCustomColor(I, ToQColor(C));
  QColorDialog D(ToQColor(FColor), Parent);
  D.setOption(QColorDialog::DontUseNativeDialog, true);
  const bool Ok = D.exec() == QDialog::Accepted;
  // The custom colours are kept whatever the answer, as the user left them.
  for (int32_t I = 0; I < 16; ++I) {
    const QColor Q = QColorDialog::customColor(I);
    if (Q.isValid() && !(Q == QColor(Qt::white) && GetCustomColor(I) == clNone)) SetCustomColor(I, FromQColor(Q));
  }
  if (Ok) FColor = FromQColor(D.selectedColor());
  return Ok;
}

const TFormPropertyTable& TColorDialog::FormProperties() const {
  static const TFormEnumNames OptionNames = {"cdFullOpen", "cdPreventFullOpen", "cdShowHelp", "cdSolidColor",
                                             "cdAnyColor"};
  using D = TColorDialog;
  static const TFormPropertyTable Table = TFormProperties<D>("TColorDialog", &TCommonDialog::FormProperties())
                                              .Color("Color", &D::GetColor, &D::SetColor)
                                              .Strings("CustomColors.Strings", &D::GetCustomColors)
                                              .Set("Options", OptionNames, &D::GetOptions, &D::SetOptions)
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ font
TFontDialog::TFontDialog(TComponent* AOwner) : TCommonDialog(AOwner), FFont(std::make_unique<TFont>()) {}
TFontDialog::~TFontDialog() = default;

void TFontDialog::SetFont(TFont* Value) { FFont->Assign(Value); }

bool TFontDialog::Run(QWidget* Parent) {
  QFontDialog D(VclQFont(FFont.get()), Parent);
  D.setOption(QFontDialog::DontUseNativeDialog, true);
  if (FOptions & fdFixedPitchOnly) D.setOption(QFontDialog::MonospacedFonts, true);
  if (FOptions & fdScalableOnly) D.setOption(QFontDialog::ScalableFonts, true);
  if (D.exec() != QDialog::Accepted) return false;
  const QFont Q = D.selectedFont();
  FFont->SetName(Q.family().toStdString());
  if (Q.pixelSize() > 0) {
    FFont->SetHeight(-Q.pixelSize());
  } else {
    FFont->SetSize(static_cast<int32_t>(Q.pointSize()));
  }
  TFontStyles S = 0;
  if (Q.bold()) S |= FontStyleBit(fsBold);
  if (Q.italic()) S |= FontStyleBit(fsItalic);
  if (Q.underline()) S |= FontStyleBit(fsUnderline);
  if (Q.strikeOut()) S |= FontStyleBit(fsStrikeOut);
  FFont->SetStyle(S);
  return true;
}

const TFormPropertyTable& TFontDialog::FormProperties() const {
  static const TFormEnumNames OptionNames = {
      "fdAnsiOnly",  "fdTrueTypeOnly", "fdEffects",         "fdFixedPitchOnly", "fdForceFontExist", "fdNoFaceSel",
      "fdNoOEMFonts", "fdNoSimulations", "fdNoSizeSel",     "fdNoStyleSel",     "fdNoVectorFonts",  "fdShowHelp",
      "fdWysiwyg",   "fdLimitSize",    "fdScalableOnly",    "fdApplyButton"};
  static const TFormEnumNames DeviceNames = {"fdScreen", "fdPrinter", "fdBoth"};
  using D = TFontDialog;
  static const TFormPropertyTable Table = TFormProperties<D>("TFontDialog", &TCommonDialog::FormProperties())
                                              .Enum("Device", DeviceNames, &D::GetDevice, &D::SetDevice)
                                              .Font("Font", [](const D& Dialog) { return Dialog.GetFont(); })
                                              .Integer("MaxFontSize", &D::GetMaxFontSize, &D::SetMaxFontSize)
                                              .Integer("MinFontSize", &D::GetMinFontSize, &D::SetMinFontSize)
                                              .Set("Options", OptionNames, &D::GetOptions, &D::SetOptions)
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ folder
bool TDirectoryDialog::Run(QWidget* Parent) {
  QFileDialog D(Parent, QString::fromStdString(FTitle),
                QString::fromStdString(FDirectory.empty() ? FRoot : FDirectory));
  D.setFileMode(QFileDialog::Directory);
  D.setOption(QFileDialog::ShowDirsOnly, true);
  D.setOption(QFileDialog::DontUseNativeDialog, true);
  if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return false;
  FDirectory = D.selectedFiles().first().toStdString();
  return true;
}

const TFormPropertyTable& TDirectoryDialog::FormProperties() const {
  using D = TDirectoryDialog;
  static const TFormPropertyTable Table = TFormProperties<D>("TDirectoryDialog", &TCommonDialog::FormProperties())
                                              .String("Directory", &D::GetDirectory, &D::SetDirectory)
                                              .String("Root", &D::GetRoot, &D::SetRoot)
                                              .String("Title", &D::GetTitle, &D::SetTitle)
                                              .Build();
  return Table;
}

bool SelectDirectory(const std::string& Caption, const std::string& Root, std::string& Directory) {
  TDirectoryDialog D(nullptr);
  D.SetTitle(Caption);
  D.SetRoot(Root);
  D.SetDirectory(Directory);
  if (!D.Execute()) return false;
  Directory = D.GetDirectory();
  return true;
}
