#pragma once
// The application object (event loop, pending-message pump, default
// exception handler, title) and the screen object (cursor table, screen
// size, forms).
#include <QCursor>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/components.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/messages.h"

class TCustomForm;
class TForm;
class TControl;

using TExceptionEvent = std::function<void(TObject* Sender, Exception* E)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Makes sure a Qt application object exists (creating one with the given
  // arguments when none does).
  void Initialize(int& argc, char** argv);
  void Initialize();

  // Creates a form of class T owned by the application; the first form
  // created this way becomes the main form.
  template <typename T>
  void CreateForm(T*& Reference) {
    Reference = new T(this);
    if (!FMainForm) FMainForm = Reference;
  }
  TForm* GetMainForm() const { return FMainForm; }
  void SetMainForm(TForm* Value) { FMainForm = Value; }

  // Shows the main form and runs the message loop until Terminate is called
  // or the main form closes.
  void Run();
  // Lets every pending event and posted message run, then returns.
  void ProcessMessages();
  // Waits for the next event and handles it (and whatever else is pending).
  void HandleMessage();
  void Terminate();
  bool GetTerminated() const { return FTerminated; }
  // Clears the terminated flag (a finished Run can be followed by another).
  void ResetTerminated() { FTerminated = false; }

  // The default handler for an exception caught at the event loop's edge.
  // Call it inside a catch block: it takes the exception in flight. EAbort is
  // silent; with OnException set that handler gets it; otherwise it is shown
  // in a message box with the exception's text.
  void HandleException(TObject* Sender);
  void ShowException(Exception* E);

  // A message box captioned Caption (the title when empty) with MB_ flags;
  // answers IDOK, IDCANCEL, IDYES ... (see dialogs.h for the test hook).
  int32_t MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags);

  std::string GetTitle() const;
  void SetTitle(const std::string& Value) { FTitle = Value; }
  std::string GetExeName() const;
  std::string GetHint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool GetShowHint() const { return FShowHint; }
  void SetShowHint(bool Value) { FShowHint = Value; }
  int32_t GetHintColor() const { return FHintColor; }
  void SetHintColor(int32_t Value) { FHintColor = Value; }
  // How many exceptions reached HandleException so far (diagnostics).
  int32_t GetHandledExceptionCount() const { return FHandledExceptions; }

  TExceptionEvent OnException;
  TIdleEvent OnIdle;
  TNotifyEvent OnHint;

 private:
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  std::string FTitle;
  std::string FHint;
  bool FShowHint = true;
  int32_t FHintColor = static_cast<int32_t>(0x80000000u | 24);  // clInfoBk
  int32_t FHandledExceptions = 0;
  std::unique_ptr<class QApplication> FOwnQtApp;
  std::vector<std::string> FArgStore;
  std::vector<char*> FArgv;
  int FArgc = 0;
};

// Cursor ids of the screen's cursor table.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSize = -22;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// A cursor handle: an id in the process's cursor store, 0 for none.
using HCURSOR = uintptr_t;
// Loads a cursor picture (.cur, .ico, .png, .xpm ...). The hot spot of a
// .cur file is read from the file; other pictures use (HotX, HotY). Answers 0
// when the file cannot be read.
HCURSOR LoadCursorFromFile(const std::string& FileName, int32_t HotX = 0, int32_t HotY = 0);
// Loads the cursor named Name from the program's cursor resources
// (resources/cursors/NAME.cur or .png); 0 when there is none.
HCURSOR LoadCursorResource(const std::string& Name);
HCURSOR CreateCursorFromQCursor(const QCursor& Cursor);
bool DestroyCursor(HCURSOR Cursor);

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  // The cursor table: predefined ids (crDefault ... crSizeAll) map to the
  // system shapes; other ids are set by the program. An unknown id gives the
  // default cursor.
  HCURSOR GetCursors(TCursor Index) const;
  void SetCursors(TCursor Index, HCURSOR Handle);
  QCursor GetQCursor(TCursor Index) const;

  // The cursor shown over the whole program; crDefault lets each control show
  // its own.
  TCursor GetCursor() const { return FCursor; }
  void SetCursor(TCursor Value);

  int32_t GetWidth() const;
  int32_t GetHeight() const;
  int32_t GetPixelsPerInch() const;
  TRect GetWorkAreaRect() const;
  // The work area of the monitor that holds the point (screen coordinates);
  // a point on no monitor gets the nearest monitor's.
  TRect GetMonitorWorkAreaAt(TPoint P) const;

  TCustomForm* GetActiveForm() const;
  TControl* GetActiveControl() const;
  int32_t GetFormCount() const { return static_cast<int32_t>(FForms.size()); }
  TCustomForm* GetForms(int32_t Index) const;

  // For forms: enter and leave the screen's list.
  void AddForm(TCustomForm* Form);
  void RemoveForm(TCustomForm* Form);

 private:
  std::map<TCursor, HCURSOR> FCursors;
  TCursor FCursor = crDefault;
  std::vector<TCustomForm*> FForms;
};

extern TApplication* Application;
extern TScreen* Screen;

// Runs Fn; an exception it raises is handed to Application->HandleException
// (Sender) and goes no further. Every place where the window system calls
// into our code goes through here. Answers false when an exception was caught.
bool VclGuardedCall(TObject* Sender, const std::function<void()>& Fn);
