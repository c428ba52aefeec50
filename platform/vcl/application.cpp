#include "platform/vcl/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "platform/rtl/threads.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_internal.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {
// Worker threads' Synchronize and Queue calls go through the posted-message
// queue from the start, in order with the messages posted before them.
[[maybe_unused]] const bool kDispatcherInstalled = [] {
  TThread::SetMainThreadDispatcher(
      [](std::function<void()> Method, bool Wait) { VclQueueMethod(std::move(Method), Wait); });
  return true;
}();
}  // namespace

bool VclHeadless() {
  if (!QGuiApplication::instance()) return true;
  const QString P = QGuiApplication::platformName();
  return P == "offscreen" || P == "minimal";
}

bool VclGuardedCall(TObject* Sender, const std::function<void()>& Fn) {
  try {
    Fn();
    return true;
  } catch (...) {
    try {
      if (Application) {
        Application->HandleException(Sender);
      } else {
        std::fprintf(stderr, "Unhandled exception at the event loop\n");
      }
    } catch (...) {
      // The handler itself failed: nothing may pass into the window system.
      std::fprintf(stderr, "Exception raised while handling an exception\n");
    }
    return false;
  }
}

// ------------------------------------------------------------ TApplication
TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() = default;

void TApplication::Initialize(int& argc, char** argv) {
  if (!QCoreApplication::instance()) {
    FOwnQtApp = std::make_unique<QApplication>(argc, argv);
  }
  VclEnsureDispatcher();
}

void TApplication::Initialize() {
  if (!QCoreApplication::instance()) {
    FArgStore = {GetExeName().empty() ? std::string("folivra") : GetExeName()};
    FArgv.clear();
    for (auto& S : FArgStore) FArgv.push_back(S.data());
    FArgv.push_back(nullptr);
    FArgc = 1;
    FOwnQtApp = std::make_unique<QApplication>(FArgc, FArgv.data());
  }
  VclEnsureDispatcher();
}

void TApplication::Run() {
  Initialize();
  if (FMainForm) FMainForm->Show();
  while (!FTerminated) {
    HandleMessage();
    if (FMainForm && !FMainForm->GetVisible()) break;
  }
}

void TApplication::ProcessMessages() {
  if (!QCoreApplication::instance() || !IsGuiThread()) return;
  VclEnsureDispatcher();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  DispatchPostedMessages();
}

void TApplication::HandleMessage() {
  if (!QCoreApplication::instance()) return;
  VclEnsureDispatcher();
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  DispatchPostedMessages();
  if (OnIdle && PendingPostedMessages() == 0) {
    bool Done = true;
    VclGuardedCall(this, [&] { OnIdle(this, Done); });
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  // Wake a loop that waits for events.
  if (QCoreApplication* App = QCoreApplication::instance()) QCoreApplication::postEvent(App, new QEvent(QEvent::None));
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr P = std::current_exception();
  if (!P) return;
  ++FHandledExceptions;
  auto Report = [&](Exception& E) {
    if (OnException) {
      OnException(Sender, &E);
    } else {
      ShowException(&E);
    }
  };
  try {
    std::rethrow_exception(P);
  } catch (EAbort&) {
    // A silent exception: it only ends what was running.
  } catch (Exception& E) {
    Report(E);
  } catch (std::exception& E) {
    Exception Wrapped(E.what());
    Report(Wrapped);
  } catch (...) {
    Exception Wrapped("Unknown exception");
    Report(Wrapped);
  }
}

void TApplication::ShowException(Exception* E) {
  std::string Msg = E ? E->Message : std::string();
  // A message that ends in a letter or digit gets its full stop.
  if (!Msg.empty() && static_cast<unsigned char>(Msg.back()) > '.') Msg += '.';
  MessageBox(Msg, GetTitle(), MB_OK | MB_ICONSTOP);
}

int32_t TApplication::MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  return ::MessageBox(0, Text, Caption.empty() ? GetTitle() : Caption, Flags);
}

std::string TApplication::GetExeName() const {
  if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath().toStdString();
  return std::string();
}

std::string TApplication::GetTitle() const {
  if (!FTitle.empty()) return FTitle;
  std::string Exe = GetExeName();
  size_t Slash = Exe.find_last_of('/');
  if (Slash != std::string::npos) Exe = Exe.substr(Slash + 1);
  size_t Dot = Exe.find_last_of('.');
  if (Dot != std::string::npos && Dot > 0) Exe = Exe.substr(0, Dot);
  return Exe;
}

// ------------------------------------------------------------ cursors
namespace {
std::mutex GCursorLock;
std::unordered_map<HCURSOR, QCursor> GCursorStore;
HCURSOR GNextCursor = 0x100;

QCursor SystemCursor(TCursor Index) {
  switch (Index) {
    case crNone: return QCursor(Qt::BlankCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS: return QCursor(Qt::SizeVerCursor);
    case crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE: return QCursor(Qt::SizeHorCursor);
    case crUpArrow: return QCursor(Qt::UpArrowCursor);
    case crHourGlass:
    case crSQLWait: return QCursor(Qt::WaitCursor);
    case crDrag:
    case crMultiDrag: return QCursor(Qt::DragCopyCursor);
    case crNoDrop:
    case crNo: return QCursor(Qt::ForbiddenCursor);
    case crHSplit: return QCursor(Qt::SplitHCursor);
    case crVSplit: return QCursor(Qt::SplitVCursor);
    case crAppStart: return QCursor(Qt::BusyCursor);
    case crHelp: return QCursor(Qt::WhatsThisCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: return QCursor(Qt::ArrowCursor);
  }
}

// The hot spot of a .cur file: the first image's directory entry.
bool CurHotSpot(const QString& FileName, int& X, int& Y) {
  QFile F(FileName);
  if (!F.open(QIODevice::ReadOnly)) return false;
  QByteArray H = F.read(22);
  if (H.size() < 22) return false;
  auto U16 = [&](int O) { return int(uint8_t(H[O])) | (int(uint8_t(H[O + 1])) << 8); };
  if (U16(0) != 0 || U16(2) != 2 || U16(4) < 1) return false;
  X = U16(6 + 4);
  Y = U16(6 + 6);
  return true;
}
}  // namespace

HCURSOR CreateCursorFromQCursor(const QCursor& Cursor) {
  std::lock_guard<std::mutex> Lock(GCursorLock);
  HCURSOR H = GNextCursor++;
  GCursorStore.emplace(H, Cursor);
  return H;
}

HCURSOR LoadCursorFromFile(const std::string& FileName, int32_t HotX, int32_t HotY) {
  if (!QGuiApplication::instance()) return 0;
  QString Name = QString::fromStdString(FileName);
  QImage Img(Name);
  if (Img.isNull()) {
    // Qt may not read .cur files: their images are icon images, so read the
    // file again as an icon.
    QImage Ico(Name, "ICO");
    if (Ico.isNull()) return 0;
    Img = Ico;
  }
  int X = HotX, Y = HotY;
  if (Name.endsWith(".cur", Qt::CaseInsensitive)) CurHotSpot(Name, X, Y);
  return CreateCursorFromQCursor(QCursor(QPixmap::fromImage(Img), X, Y));
}

HCURSOR LoadCursorResource(const std::string& Name) {
  std::string Forms = FormResourceFolder();
  if (Forms.empty()) return 0;
  std::string Base = Forms.substr(0, Forms.find_last_of('/')) + "/cursors/" + Name;
  for (const char* Ext : {".cur", ".png", ".xpm"}) {
    if (QFile::exists(QString::fromStdString(Base + Ext))) return LoadCursorFromFile(Base + Ext);
  }
  return 0;
}

bool DestroyCursor(HCURSOR Cursor) {
  std::lock_guard<std::mutex> Lock(GCursorLock);
  return GCursorStore.erase(Cursor) != 0;
}

// ------------------------------------------------------------ TScreen
TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() = default;

HCURSOR TScreen::GetCursors(TCursor Index) const {
  auto It = FCursors.find(Index);
  return It == FCursors.end() ? 0 : It->second;
}

void TScreen::SetCursors(TCursor Index, HCURSOR Handle) {
  if (Handle == 0) {
    FCursors.erase(Index);
  } else {
    FCursors[Index] = Handle;
  }
}

QCursor TScreen::GetQCursor(TCursor Index) const {
  auto It = FCursors.find(Index);
  if (It != FCursors.end()) {
    std::lock_guard<std::mutex> Lock(GCursorLock);
    auto C = GCursorStore.find(It->second);
    if (C != GCursorStore.end()) return C->second;
  }
  return SystemCursor(Index);
}

void TScreen::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  bool HadOverride = FCursor != crDefault;
  FCursor = Value;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  if (HadOverride) QGuiApplication::restoreOverrideCursor();
  if (Value != crDefault) QGuiApplication::setOverrideCursor(GetQCursor(Value));
}

int32_t TScreen::GetWidth() const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->geometry().width() : 0;
}

int32_t TScreen::GetHeight() const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->geometry().height() : 0;
}

int32_t TScreen::GetPixelsPerInch() const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 96;
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? static_cast<int32_t>(S->logicalDotsPerInchY() + 0.5) : 96;
}

TRect TScreen::GetWorkAreaRect() const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return TRect{};
  QScreen* S = QGuiApplication::primaryScreen();
  if (!S) return TRect{};
  QRect R = S->availableGeometry();
  return Bounds(R.x(), R.y(), R.width(), R.height());
}

TRect TScreen::GetMonitorWorkAreaAt(TPoint P) const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return TRect{};
  const QPoint Q(P.X, P.Y);
  QScreen* Best = QGuiApplication::screenAt(Q);
  if (!Best) {
    // Nearest monitor by distance to its geometry.
    int64_t BestDistance = INT64_MAX;
    for (QScreen* S : QGuiApplication::screens()) {
      const QRect G = S->geometry();
      const int64_t Dx = Q.x() < G.left() ? G.left() - Q.x() : Q.x() > G.right() ? Q.x() - G.right() : 0;
      const int64_t Dy = Q.y() < G.top() ? G.top() - Q.y() : Q.y() > G.bottom() ? Q.y() - G.bottom() : 0;
      if (Dx * Dx + Dy * Dy < BestDistance) {
        BestDistance = Dx * Dx + Dy * Dy;
        Best = S;
      }
    }
  }
  if (!Best) return TRect{};
  const QRect R = Best->availableGeometry();
  return Bounds(R.x(), R.y(), R.width(), R.height());
}

TCustomForm* TScreen::GetActiveForm() const {
  QWidget* W = QApplication::activeWindow();
  for (TCustomForm* F : FForms)
    if (F->GetWidget() == W) return F;
  return nullptr;
}

TControl* TScreen::GetActiveControl() const {
  QWidget* W = QApplication::focusWidget();
  while (W) {
    if (TControl* C = TControl::FromWidget(W)) return C;
    W = W->parentWidget();
  }
  return nullptr;
}

TCustomForm* TScreen::GetForms(int32_t Index) const {
  if (Index < 0 || Index >= GetFormCount()) return nullptr;
  return FForms[static_cast<size_t>(Index)];
}

void TScreen::AddForm(TCustomForm* Form) { FForms.push_back(Form); }

void TScreen::RemoveForm(TCustomForm* Form) {
  for (auto It = FForms.begin(); It != FForms.end(); ++It) {
    if (*It == Form) {
      FForms.erase(It);
      return;
    }
  }
}
