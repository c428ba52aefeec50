#pragma once
// Forms: top-level windows with Show, ShowModal, Close and ModalResult, read
// from form resources.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/vcl/controls.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/form_reader.h"

enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
enum TWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };
enum TPosition : uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TFormBorderStyle : uint8_t { bsNoneForm, bsSingleForm, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle : uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TMainMenu;
class QMenuBar;

class TCustomForm : public TWinControl {
 public:
  // A form without a resource (CreateNew).
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Reads the form resource Name (resources/forms/Name.dfm) into this form
  // with the handlers bound so far, then fires OnCreate. A derived form calls
  // it at the end of its constructor.
  void ReadFormResource(const std::string& Name);
  // The same from resource text.
  void ReadFormResourceText(const std::string& Text, const std::string& SourceName = "form");

  // The form's handlers for its resource: BindHandler("Button1Click",
  // &TMyForm::Button1Click).
  template <typename C, typename R, typename... A>
  void BindHandler(const std::string& Name, R (C::*Method)(A...)) {
    FHandlers.Add(Name, VclBind(static_cast<C*>(this), Method));
  }
  template <typename F>
  void BindHandlerFn(const std::string& Name, F Fn) {
    FHandlers.Add(Name, std::move(Fn));
  }
  TFormHandlerTable& Handlers() { return FHandlers; }
  // The owned component Name as a T; EReadError-free lookup: nullptr when
  // missing or of another class.
  template <typename T>
  T* Find(const std::string& Name) const {
    return dynamic_cast<T*>(FindComponent(Name));
  }

  void Show();
  void Hide();
  // Shows the form modally and runs the message loop until ModalResult is
  // set (or the form closes, giving mrCancel); answers ModalResult.
  virtual TModalResult ShowModal();
  // Asks OnCloseQuery, then runs OnClose with the form's close action (hide,
  // or free for a form that is not the main form when it says so) and acts on
  // it. Closing the main form ends the application's loop.
  void Close();
  // Deletes the form once the current message is done.
  void Release();
  virtual bool CloseQuery();
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value);
  bool IsModal() const { return FModal; }

  TControl* GetActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  bool GetKeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }
  TWindowState GetWindowState() const { return FWindowState; }
  void SetWindowState(TWindowState Value);
  TPosition GetPosition() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value) { FBorderStyle = Value; }
  TFormStyle GetFormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value) { FFormStyle = Value; }
  bool GetActive() const;
  // The form's main menu: its shortcuts work anywhere on the form.
  TMainMenu* GetMenu() const { return FMenu; }
  void SetMenu(TMainMenu* Value);
  // Runs the menu command for Key with Shift; false when none has it.
  virtual bool IsShortCut(uint16_t Key, TShiftState Shift);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  TRect GetClientRect() const override;
  // Builds the menu bar again from the menu's items (after items were added
  // or removed; captions, checks and enabled states are read when a menu
  // opens).
  void RebuildMenuBar();
  QMenuBar* GetMenuBar() const { return FMenuBar; }

  void SetVisible(bool Value) override;
  void SetText(const std::string& Value) override;
  void Dispatch(TMessage& Message) override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // For the window bridge: the user asked the window to close.
  void VclCloseRequested();

 protected:
  virtual void DoCreate();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  void CloseModal();
  TPoint ClientOffset() const override;
  void BoundsChanged(bool Moved, bool Sized) override;
  TFormHandlerTable FHandlers;

 private:
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FKeyPreview = false;
  bool FCreated = false;
  bool FReleasing = false;
  TControl* FActiveControl = nullptr;
  TMainMenu* FMenu = nullptr;
  QMenuBar* FMenuBar = nullptr;
  int32_t MenuBarHeight() const;
  TWindowState FWindowState = wsNormal;
  TPosition FPosition = poDesigned;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TFormStyle FFormStyle = fsNormal;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// The parent form of a control (nullptr when it lies on none).
TCustomForm* GetParentForm(TControl* Control);
