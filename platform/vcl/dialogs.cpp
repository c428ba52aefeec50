#include "platform/vcl/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/vcl/application.h"
#include "platform/vcl/vcl_internal.h"

namespace {
std::mutex GHookLock;
TMessageBoxHook GHook;

const char* ButtonText(TModalResult R) {
  switch (R) {
    case mrOk: return "OK";
    case mrCancel: return "Cancel";
    case mrAbort: return "&Abort";
    case mrRetry: return "&Retry";
    case mrIgnore: return "&Ignore";
    case mrYes: return "&Yes";
    case mrNo: return "&No";
    case mrAll: return "&All";
    case mrNoToAll: return "N&o to All";
    case mrYesToAll: return "Yes to &All";
    default: return "&Help";
  }
}

// The answer a box gives when it is dismissed without a choice.
TModalResult CancelAnswer(const TMessageBoxRequest& R) {
  for (TModalResult Pref : {mrCancel, mrNo}) {
    if (std::find(R.Buttons.begin(), R.Buttons.end(), Pref) != R.Buttons.end()) return Pref;
  }
  return R.Buttons.empty() ? mrOk : R.Buttons.back();
}

TModalResult ShowOnScreen(const TMessageBoxRequest& R) {
  QMessageBox Box;
  Box.setWindowTitle(QString::fromStdString(R.Caption));
  Box.setText(QString::fromStdString(R.Text));
  switch (R.DlgType) {
    case mtWarning: Box.setIcon(QMessageBox::Warning); break;
    case mtError: Box.setIcon(QMessageBox::Critical); break;
    case mtInformation: Box.setIcon(QMessageBox::Information); break;
    case mtConfirmation: Box.setIcon(QMessageBox::Question); break;
    default: Box.setIcon(QMessageBox::NoIcon); break;
  }
  std::vector<std::pair<QAbstractButton*, TModalResult>> Map;
  for (TModalResult B : R.Buttons) {
    QPushButton* PB = Box.addButton(QString::fromUtf8(ButtonText(B)),
                                    B == mrCancel || B == mrNo ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    Map.emplace_back(PB, B);
    if (B == R.DefaultButton) Box.setDefaultButton(PB);
  }
  Box.exec();
  QAbstractButton* Clicked = Box.clickedButton();
  for (auto& [Button, Result] : Map)
    if (Button == Clicked) return Result;
  return CancelAnswer(R);
}
}  // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook Hook) {
  std::lock_guard<std::mutex> Lock(GHookLock);
  TMessageBoxHook Old = std::move(GHook);
  GHook = std::move(Hook);
  return Old;
}

TModalResult ShowMessageBoxRequest(const TMessageBoxRequest& Request) {
  TMessageBoxRequest R = Request;
  if (R.Buttons.empty()) R.Buttons.push_back(mrOk);
  if (R.DefaultButton == mrNone ||
      std::find(R.Buttons.begin(), R.Buttons.end(), R.DefaultButton) == R.Buttons.end())
    R.DefaultButton = R.Buttons.front();
  TMessageBoxHook Hook;
  {
    std::lock_guard<std::mutex> Lock(GHookLock);
    Hook = GHook;
  }
  if (Hook) {
    TModalResult A = Hook(R);
    if (std::find(R.Buttons.begin(), R.Buttons.end(), A) == R.Buttons.end()) A = CancelAnswer(R);
    return A;
  }
  if (VclHeadless() || !IsGuiThread()) {
    std::fprintf(stderr, "[message box] %s: %s\n", R.Caption.c_str(), R.Text.c_str());
    return R.DefaultButton;
  }
  return ShowOnScreen(R);
}

int32_t MessageBox(HWND Wnd, const std::string& Text, const std::string& Caption, uint32_t Type) {
  TMessageBoxRequest R;
  R.Text = Text;
  R.Caption = Caption;
  switch (Type & MB_TYPEMASK) {
    case MB_OKCANCEL: R.Buttons = {mrOk, mrCancel}; break;
    case MB_ABORTRETRYIGNORE: R.Buttons = {mrAbort, mrRetry, mrIgnore}; break;
    case MB_YESNOCANCEL: R.Buttons = {mrYes, mrNo, mrCancel}; break;
    case MB_YESNO: R.Buttons = {mrYes, mrNo}; break;
    case MB_RETRYCANCEL: R.Buttons = {mrRetry, mrCancel}; break;
    default: R.Buttons = {mrOk}; break;
  }
  switch (Type & MB_ICONMASK) {
    case MB_ICONHAND: R.DlgType = mtError; break;
    case MB_ICONQUESTION: R.DlgType = mtConfirmation; break;
    case MB_ICONEXCLAMATION: R.DlgType = mtWarning; break;
    case MB_ICONASTERISK: R.DlgType = mtInformation; break;
    default: R.DlgType = mtCustom; break;
  }
  size_t Def = (Type & MB_DEFMASK) >> 8;
  R.DefaultButton = Def < R.Buttons.size() ? R.Buttons[Def] : R.Buttons.front();
  return ShowMessageBoxRequest(R);
}

TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx) {
  TMessageBoxRequest R;
  R.Text = Msg;
  R.DlgType = DlgType;
  switch (DlgType) {
    case mtWarning: R.Caption = "Warning"; break;
    case mtError: R.Caption = "Error"; break;
    case mtInformation: R.Caption = "Information"; break;
    case mtConfirmation: R.Caption = "Confirm"; break;
    default: R.Caption = Application ? Application->GetTitle() : std::string(); break;
  }
  static const std::pair<TMsgDlgButtons, TModalResult> Order[] = {
      {mbYes, mrYes},     {mbNo, mrNo},         {mbOK, mrOk},          {mbCancel, mrCancel},
      {mbAbort, mrAbort}, {mbRetry, mrRetry},   {mbIgnore, mrIgnore},  {mbAll, mrAll},
      {mbNoToAll, mrNoToAll}, {mbYesToAll, mrYesToAll}};
  for (auto& [Flag, Result] : Order)
    if (Buttons & Flag) R.Buttons.push_back(Result);
  // The default button: OK or Yes when present, else the first.
  R.DefaultButton = R.Buttons.empty() ? mrOk : R.Buttons.front();
  for (TModalResult Pref : {mrOk, mrYes})
    if (std::find(R.Buttons.begin(), R.Buttons.end(), Pref) != R.Buttons.end()) {
      R.DefaultButton = Pref;
      break;
    }
  return ShowMessageBoxRequest(R);
}

void ShowMessage(const std::string& Msg) {
  TMessageBoxRequest R;
  R.Text = Msg;
  R.Caption = Application ? Application->GetTitle() : std::string();
  R.DlgType = mtCustom;
  R.Buttons = {mrOk};
  ShowMessageBoxRequest(R);
}
