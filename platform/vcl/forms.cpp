#include "platform/vcl/forms.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/application.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

TCustomForm* GetParentForm(TControl* Control) {
  if (!Control) return nullptr;
  while (Control->GetParent()) Control = Control->GetParent();
  return dynamic_cast<TCustomForm*>(Control);
}

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FColor = clBtnFace;
  FControlStyle |= csAcceptsControls;
  FWidget->setWindowFlags(Qt::Window);
  FWidget->setAttribute(Qt::WA_DeleteOnClose, false);
  SetBounds(0, 0, 320, 240);
  HandleNeeded();
  if (Screen) Screen->AddForm(this);
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) VclGuardedCall(this, [this] { OnDestroy(this); });
  if (Screen) Screen->RemoveForm(this);
  if (Application && Application->GetMainForm() == this) Application->SetMainForm(nullptr);
  if (FWidget) FWidget->hide();
  Destroying();
}

void TCustomForm::ReadFormResource(const std::string& Name) {
  ReadFormResourceText(LoadFormResourceText(Name), Name);
}

void TCustomForm::ReadFormResourceText(const std::string& Text, const std::string& SourceName) {
  const bool ShowAfter = FVisible;
  FVisible = false;
  ReadComponentResource(this, Text, &FHandlers, SourceName);
  const bool Requested = FVisible;
  FVisible = ShowAfter;
  DoCreate();
  if (Requested) Show();
}

void TCustomForm::DoCreate() {
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

namespace {
const TFormEnumNames& PositionNames() {
  static const TFormEnumNames Names = {"poDesigned",     "poDefault",       "poDefaultPosOnly", "poDefaultSizeOnly",
                                       "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"};
  return Names;
}
const TFormEnumNames& FormBorderStyleNames() {
  static const TFormEnumNames Names = {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"};
  return Names;
}
const TFormEnumNames& FormStyleNames() {
  static const TFormEnumNames Names = {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"};
  return Names;
}
const TFormEnumNames& WindowStateNames() {
  static const TFormEnumNames Names = {"wsNormal", "wsMinimized", "wsMaximized"};
  return Names;
}
}  // namespace

const TFormPropertyTable& TCustomForm::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TCustomForm>("TForm", &TWinControl::FormProperties())
          .Reference<TWinControl>("ActiveControl", [](const TCustomForm& F) { return F.GetActiveControl(); },
                                  [](TCustomForm& F, TWinControl* W) { F.SetActiveControl(W); })
          .Enum("BorderStyle", FormBorderStyleNames(), &TCustomForm::GetBorderStyle, &TCustomForm::SetBorderStyle)
          .Enum("FormStyle", FormStyleNames(), &TCustomForm::GetFormStyle, &TCustomForm::SetFormStyle)
          .Bool("KeyPreview", &TCustomForm::GetKeyPreview, &TCustomForm::SetKeyPreview)
          .Reference<TMainMenu>("Menu", &TCustomForm::GetMenu, &TCustomForm::SetMenu)
          .Enum("Position", PositionNames(), &TCustomForm::GetPosition, &TCustomForm::SetPosition)
          // Shown once the whole resource is read.
          .Bool("Visible", &TCustomForm::GetVisible, &TCustomForm::FVisible)
          .Enum("WindowState", WindowStateNames(), &TCustomForm::GetWindowState, &TCustomForm::SetWindowState)
          .Event("OnActivate", &TCustomForm::OnActivate)
          .Event("OnClose", &TCustomForm::OnClose)
          .Event("OnCloseQuery", &TCustomForm::OnCloseQuery)
          .Event("OnCreate", &TCustomForm::OnCreate)
          .Event("OnDeactivate", &TCustomForm::OnDeactivate)
          .Event("OnDestroy", &TCustomForm::OnDestroy)
          .Event("OnHide", &TCustomForm::OnHide)
          .Event("OnPaint", &TCustomForm::OnPaint)
          .Event("OnShow", &TCustomForm::OnShow)
          // Window-system details the platform decides itself.
          .Ignored({"OldCreateOrder", "PixelsPerInch", "TextHeight", "Scaled", "BorderIcons", "AutoScroll",
                    "Icon.Data", "DefaultMonitor", "HorzScrollBar.*", "VertScrollBar.*"})
          .Build();
  return Table;
}

void TCustomForm::SetText(const std::string& Value) {
  TWinControl::SetText(Value);
  if (FWidget) FWidget->setWindowTitle(QString::fromStdString(Value));
}

void TCustomForm::SetVisible(bool Value) {
  if (Value == FVisible && FWidget && FWidget->isVisible() == Value) return;
  FVisible = Value;
  if (GetComponentState() & csLoading) return;
  if (Value) {
    if (FPosition == poScreenCenter || FPosition == poDesktopCenter || FPosition == poMainFormCenter ||
        FPosition == poOwnerFormCenter) {
      if (QScreen* S = QGuiApplication::primaryScreen()) {
        QRect G = S->availableGeometry();
        SetBounds(G.x() + (G.width() - FWidth) / 2, G.y() + (G.height() - FHeight) / 2, FWidth, FHeight);
      }
    }
    Realign();
    if (FWidget) {
      if (FWindowState == wsMaximized) {
        FWidget->showMaximized();
      } else if (FWindowState == wsMinimized) {
        FWidget->showMinimized();
      } else {
        FWidget->show();
      }
    }
    DoShow();
    if (FActiveControl && FWidget) {
      if (auto* W = dynamic_cast<TWinControl*>(FActiveControl)) {
        if (W->CanFocus()) W->SetFocus();
      }
    }
  } else {
    if (FWidget) FWidget->hide();
    DoHide();
  }
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
}

void TCustomForm::Show() {
  SetVisible(true);
  if (FWidget) {
    FWidget->raise();
    FWidget->activateWindow();
  }
}

void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TCustomForm::CloseQuery() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  return CanClose;
}

void TCustomForm::SetModalResult(TModalResult Value) { FModalResult = Value; }

void TCustomForm::CloseModal() {
  TCloseAction Action = caNone;
  if (CloseQuery()) {
    Action = caHide;
    DoClose(Action);
  }
  if (Action == caNone) FModalResult = mrNone;
}

TModalResult TCustomForm::ShowModal() {
  if (FModal || FVisible || (FWidget && FWidget->isVisible()))
    throw EInvalidOperation("Cannot make a visible window modal");
  FModalResult = mrNone;
  FModal = true;
  if (FWidget) FWidget->setWindowModality(Qt::ApplicationModal);
  struct Restore {
    TCustomForm* F;
    ~Restore() {
      F->FModal = false;
      if (F->FWidget) {
        F->FWidget->hide();
        F->FWidget->setWindowModality(Qt::NonModal);
      }
      F->FVisible = false;
    }
  } R{this};
  Show();
  while (FModalResult == mrNone) {
    if (Application->GetTerminated()) {
      FModalResult = mrCancel;
      break;
    }
    Application->HandleMessage();
    if (FModalResult != mrNone) CloseModal();
  }
  DoHide();
  return FModalResult;
}

void TCustomForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction Action = caHide;
  DoClose(Action);
  if (Action == caNone) return;
  if (Application && Application->GetMainForm() == this) {
    Hide();
    Application->Terminate();
  } else if (Action == caHide) {
    Hide();
  } else if (Action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TCustomForm::VclCloseRequested() { Close(); }

void TCustomForm::Release() {
  if (FReleasing) return;
  FReleasing = true;
  PostMessage(GetHandle(), CM_RELEASE, 0, 0);
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (Control == FActiveControl) return;
  if (FActiveControl) FActiveControl->RemoveFreeNotification(this);
  FActiveControl = Control;
  if (Control) Control->FreeNotification(this);
}

void TCustomForm::SetMenu(TMainMenu* Value) {
  if (FMenu) FMenu->RemoveFreeNotification(this);
  FMenu = Value;
  if (Value) Value->FreeNotification(this);
  RebuildMenuBar();
}

int32_t TCustomForm::MenuBarHeight() const { return FMenuBar ? FMenuBar->sizeHint().height() : 0; }

void TCustomForm::RebuildMenuBar() {
  const int32_t OldHeight = MenuBarHeight();
  if (!FMenu || !FWidget) {
    if (FMenuBar) {
      VclDisposeQObject(FMenuBar);
      FMenuBar = nullptr;
    }
  } else {
    if (!FMenuBar) FMenuBar = new QMenuBar(FWidget.data());
    VclFillMenuBar(FMenuBar, FMenu->GetItems());
    FMenuBar->setGeometry(0, 0, FWidth, FMenuBar->sizeHint().height());
    FMenuBar->show();
  }
  if (MenuBarHeight() != OldHeight) {
    // The menu bar takes its height from the client area.
    for (TControl* C : FControls) C->UpdateWidgetGeometry();
    ClientSizeChanged();
  }
}

TPoint TCustomForm::ClientOffset() const {
  TPoint O = TWinControl::ClientOffset();
  O.Y += MenuBarHeight();
  return O;
}

TRect TCustomForm::GetClientRect() const {
  TRect R = TWinControl::GetClientRect();
  R.Bottom = std::max(0, R.Bottom - MenuBarHeight());
  return R;
}

void TCustomForm::BoundsChanged(bool Moved, bool Sized) {
  if (Sized && FMenuBar) FMenuBar->setGeometry(0, 0, FWidth, FMenuBar->sizeHint().height());
  TWinControl::BoundsChanged(Moved, Sized);
}

bool TCustomForm::IsShortCut(uint16_t Key, TShiftState Shift) { return FMenu && FMenu->IsShortCut(Key, Shift); }

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove) {
    if (AComponent == FMenu) {
      FMenu = nullptr;
      RebuildMenuBar();
    }
    if (AComponent == FActiveControl) FActiveControl = nullptr;
  }
}

void TCustomForm::SetWindowState(TWindowState Value) {
  FWindowState = Value;
  if (!FWidget || !FWidget->isVisible()) return;
  if (Value == wsMaximized) {
    FWidget->showMaximized();
  } else if (Value == wsMinimized) {
    FWidget->showMinimized();
  } else {
    FWidget->showNormal();
  }
}

bool TCustomForm::GetActive() const { return FWidget && FWidget->isActiveWindow(); }

void TCustomForm::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_RELEASE) {
    delete this;
    return;
  }
  TWinControl::Dispatch(Message);
}
