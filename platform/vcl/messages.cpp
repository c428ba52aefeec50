#include "platform/vcl/messages.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/rtl/threads.h"
#include "platform/vcl/application.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/vcl_internal.h"

// ------------------------------------------------------------ handle table
namespace {
std::mutex GHandleLock;
std::unordered_map<HWND, TWinControl*> GHandles;
std::atomic<HWND> GNextHandle{0x1000};
}  // namespace

HWND VclRegisterHandle(TWinControl* Control) {
  std::lock_guard<std::mutex> Lock(GHandleLock);
  HWND H = GNextHandle.fetch_add(4);
  GHandles[H] = Control;
  return H;
}

void VclUnregisterHandle(HWND Wnd) {
  std::lock_guard<std::mutex> Lock(GHandleLock);
  GHandles.erase(Wnd);
}

TWinControl* FindControl(HWND Wnd) {
  if (Wnd == 0) return nullptr;
  std::lock_guard<std::mutex> Lock(GHandleLock);
  auto It = GHandles.find(Wnd);
  return It == GHandles.end() ? nullptr : It->second;
}

bool IsWindow(HWND Wnd) { return FindControl(Wnd) != nullptr; }

bool IsWindowVisible(HWND Wnd) {
  TWinControl* C = FindControl(Wnd);
  return C && C->GetShowing();
}

bool IsWindowEnabled(HWND Wnd) {
  TWinControl* C = FindControl(Wnd);
  return C && C->GetEnabled();
}

bool IsGuiThread() {
  QCoreApplication* App = QCoreApplication::instance();
  if (App) return QThread::currentThread() == App->thread();
  return TThread::IsMainThread();
}

// ------------------------------------------------------------ posted messages
namespace {

struct TPosted {
  HWND Wnd = 0;
  TMessage Message;
  std::function<void()> Method;
};

constexpr QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::User + 0x2A1);

class TPostedQueue : public QObject {
 public:
  bool event(QEvent* E) override {
    // The drain event is made under FLock by the posting thread and read here
    // under it: the hand-off does not rest on Qt's own (internal) locking.
    bool IsDrain;
    {
      std::lock_guard<std::mutex> Lock(FLock);
      IsDrain = E->type() == kDrainEvent;
      if (IsDrain) FEventPending = false;
    }
    if (IsDrain) {
      Drain();
      return true;
    }
    return QObject::event(E);
  }

  void Push(TPosted P) {
    QEvent* Wake = nullptr;
    {
      std::lock_guard<std::mutex> Lock(FLock);
      FQueue.push_back(std::move(P));
      if (!FEventPending) {
        FEventPending = true;
        Wake = new QEvent(kDrainEvent);
      }
    }
    if (Wake) QCoreApplication::postEvent(this, Wake);
  }

  // Delivers one message at a time so that a handler that pumps messages
  // (ProcessMessages) continues the same queue in order.
  void Drain() {
    for (;;) {
      TPosted P;
      {
        std::lock_guard<std::mutex> Lock(FLock);
        if (FQueue.empty()) return;
        P = std::move(FQueue.front());
        FQueue.pop_front();
      }
      Deliver(P);
    }
  }

  int32_t Pending() {
    std::lock_guard<std::mutex> Lock(FLock);
    return static_cast<int32_t>(FQueue.size());
  }

  static void Deliver(TPosted& P) {
    if (P.Method) {
      VclGuardedCall(nullptr, P.Method);
      return;
    }
    TWinControl* C = FindControl(P.Wnd);
    if (!C) return;  // the window went away: the message is dropped
    VclGuardedCall(C, [&] { C->WndProc(P.Message); });
  }

 private:
  std::mutex FLock;
  std::deque<TPosted> FQueue;
  bool FEventPending = false;
};

std::mutex GQueueCreateLock;
TPostedQueue* GQueue = nullptr;

TPostedQueue* Queue() {
  std::lock_guard<std::mutex> Lock(GQueueCreateLock);
  if (!GQueue) {
    QCoreApplication* App = QCoreApplication::instance();
    if (!App) return nullptr;
    GQueue = new TPostedQueue();
    if (GQueue->thread() != App->thread()) GQueue->moveToThread(App->thread());
    // The queue lives until the application object goes.
    QObject::connect(App, &QObject::destroyed, [] {
      std::lock_guard<std::mutex> L(GQueueCreateLock);
      GQueue = nullptr;
    });
    GQueue->setParent(App);
  }
  return GQueue;
}

}  // namespace

void VclEnsureDispatcher() {
  Queue();
  static std::once_flag Once;
  std::call_once(Once, [] {
    TThread::SetMainThreadDispatcher([](std::function<void()> Method, bool Wait) {
      VclQueueMethod(std::move(Method), Wait);
    });
  });
}

void VclQueueMethod(std::function<void()> Method, bool Wait) {
  TPostedQueue* Q = Queue();
  if (!Q || IsGuiThread()) {
    // No loop to hand it to, or already in the GUI thread: run it here.
    if (Wait || !Q) {
      VclGuardedCall(nullptr, Method);
      return;
    }
  }
  if (!Wait) {
    TPosted P;
    P.Method = std::move(Method);
    Q->Push(std::move(P));
    return;
  }
  std::mutex M;
  std::condition_variable CV;
  bool Done = false;
  TPosted P;
  P.Method = [&] {
    struct Signal {
      std::mutex& M;
      std::condition_variable& CV;
      bool& Done;
      ~Signal() {
        std::lock_guard<std::mutex> L(M);
        Done = true;
        CV.notify_all();
      }
    } S{M, CV, Done};
    Method();
  };
  Q->Push(std::move(P));
  std::unique_lock<std::mutex> L(M);
  CV.wait(L, [&] { return Done; });
}

LRESULT SendMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (!IsGuiThread()) {
    LRESULT Result = 0;
    VclQueueMethod(
        [&] {
          if (TWinControl* C = FindControl(Wnd)) Result = C->Perform(Msg, WParam, LParam);
        },
        true);
    return Result;
  }
  TWinControl* C = FindControl(Wnd);
  if (!C) return 0;
  return C->Perform(Msg, WParam, LParam);
}

bool PostMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (Wnd == 0) return false;
  TPostedQueue* Q = Queue();
  if (!Q) return false;
  TPosted P;
  P.Wnd = Wnd;
  P.Message.Msg = Msg;
  P.Message.WParam = WParam;
  P.Message.LParam = LParam;
  Q->Push(std::move(P));
  return true;
}

void DispatchPostedMessages() {
  if (!IsGuiThread()) return;
  if (TPostedQueue* Q = Queue()) Q->Drain();
}

int32_t PendingPostedMessages() {
  TPostedQueue* Q = Queue();
  return Q ? Q->Pending() : 0;
}

// ------------------------------------------------------------ timers
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Elapse) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return 0;
  C->StartWindowTimer(IDEvent, Elapse);
  return IDEvent;
}

bool KillTimer(HWND Wnd, uintptr_t IDEvent) {
  TWinControl* C = FindControl(Wnd);
  return C && C->StopWindowTimer(IDEvent);
}

// ------------------------------------------------------------ window calls
bool InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  C->Invalidate();
  return true;
}

bool UpdateWindow(HWND Wnd) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  C->Update();
  return true;
}

bool GetClientRect(HWND Wnd, TRect& Rect) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  Rect = C->GetClientRect();
  return true;
}

bool GetWindowRect(HWND Wnd, TRect& Rect) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  TPoint P = C->GetParent() ? C->GetParent()->ClientToScreen(TPoint{C->GetLeft(), C->GetTop()})
                            : TPoint{C->GetLeft(), C->GetTop()};
  Rect = Bounds(P.X, P.Y, C->GetWidth(), C->GetHeight());
  return true;
}

bool ClientToScreen(HWND Wnd, TPoint& P) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  P = C->ClientToScreen(P);
  return true;
}

bool ScreenToClient(HWND Wnd, TPoint& P) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  P = C->ScreenToClient(P);
  return true;
}

namespace {
HWND GCapture = 0;
}

HWND SetCapture(HWND Wnd) {
  HWND Old = GCapture;
  if (TWinControl* C = FindControl(Wnd)) C->SetMouseCapture(true);
  GCapture = Wnd;
  return Old;
}

bool ReleaseCapture() {
  if (TWinControl* C = FindControl(GCapture)) C->SetMouseCapture(false);
  GCapture = 0;
  return true;
}

HWND GetCapture() {
  if (GCapture && !FindControl(GCapture)) GCapture = 0;
  return GCapture;
}

HWND SetFocus(HWND Wnd) {
  HWND Old = GetFocus();
  if (TWinControl* C = FindControl(Wnd)) C->SetFocus();
  return Old;
}

HWND GetFocus() {
  QWidget* W = QApplication::focusWidget();
  while (W) {
    if (auto* C = dynamic_cast<TWinControl*>(TControl::FromWidget(W))) return C->HandleAllocated() ? C->GetHandle() : 0;
    W = W->parentWidget();
  }
  return 0;
}

bool GetCursorPos(TPoint& P) {
  QPoint Q = QCursor::pos();
  P = TPoint{Q.x(), Q.y()};
  return true;
}

// ------------------------------------------------------------ system metrics
int32_t GetSystemMetrics(int32_t Index) {
  switch (Index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN: return Screen ? Screen->GetWidth() : 0;
    case SM_CYSCREEN:
    case SM_CYFULLSCREEN: return Screen ? Screen->GetHeight() : 0;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return VclScrollBarSize;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_MOUSEWHEELPRESENT: return 1;
    case SM_CMONITORS:
      return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                 ? static_cast<int32_t>(QGuiApplication::screens().size())
                 : 0;
    case SM_SWAPBUTTON:
    case SM_REMOTESESSION:
    default: return 0;
  }
}

uint32_t GetDoubleClickTime() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return static_cast<uint32_t>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
  return 500;
}

// ------------------------------------------------------------ scroll bars
int32_t SetScrollInfo(HWND Wnd, int32_t Bar, const TScrollInfo& Info, bool Redraw) {
  TWinControl* C = FindControl(Wnd);
  return C ? C->VclSetScrollInfo(Bar, Info) : 0;
}

bool GetScrollInfo(HWND Wnd, int32_t Bar, TScrollInfo& Info) {
  TWinControl* C = FindControl(Wnd);
  return C && C->VclGetScrollInfo(Bar, Info);
}

int32_t SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw) {
  TWinControl* C = FindControl(Wnd);
  if (!C || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  int32_t Old = C->ScrollBarState(Bar).Pos;
  TScrollInfo I;
  I.fMask = SIF_POS;
  I.nPos = Pos;
  C->VclSetScrollInfo(Bar, I);
  return Old;
}

int32_t GetScrollPos(HWND Wnd, int32_t Bar) {
  TWinControl* C = FindControl(Wnd);
  if (!C || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  return C->ScrollBarState(Bar).Pos;
}

bool SetScrollRange(HWND Wnd, int32_t Bar, int32_t MinPos, int32_t MaxPos, bool Redraw) {
  TWinControl* C = FindControl(Wnd);
  if (!C) return false;
  TScrollInfo I;
  I.fMask = SIF_RANGE;
  I.nMin = MinPos;
  I.nMax = MaxPos;
  C->VclSetScrollInfo(Bar, I);
  return true;
}

bool GetScrollRange(HWND Wnd, int32_t Bar, int32_t& MinPos, int32_t& MaxPos) {
  TWinControl* C = FindControl(Wnd);
  if (!C || (Bar != SB_HORZ && Bar != SB_VERT)) return false;
  MinPos = C->ScrollBarState(Bar).Min;
  MaxPos = C->ScrollBarState(Bar).Max;
  return true;
}

bool ShowScrollBar(HWND Wnd, int32_t Bar, bool Show) {
  TWinControl* C = FindControl(Wnd);
  return C && C->VclShowScrollBar(Bar, Show);
}

bool EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows) {
  TWinControl* C = FindControl(Wnd);
  return C && C->VclEnableScrollBar(Bar, Arrows);
}

bool InitializeFlatSB(HWND Wnd) { return IsWindow(Wnd); }
void UninitializeFlatSB(HWND) {}
int32_t FlatSB_SetScrollInfo(HWND Wnd, int32_t Bar, const TScrollInfo& Info, bool Redraw) {
  return SetScrollInfo(Wnd, Bar, Info, Redraw);
}
bool FlatSB_GetScrollInfo(HWND Wnd, int32_t Bar, TScrollInfo& Info) { return GetScrollInfo(Wnd, Bar, Info); }
int32_t FlatSB_SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw) {
  return SetScrollPos(Wnd, Bar, Pos, Redraw);
}
int32_t FlatSB_GetScrollPos(HWND Wnd, int32_t Bar) { return GetScrollPos(Wnd, Bar); }
bool FlatSB_SetScrollRange(HWND Wnd, int32_t Bar, int32_t MinPos, int32_t MaxPos, bool Redraw) {
  return SetScrollRange(Wnd, Bar, MinPos, MaxPos, Redraw);
}
bool FlatSB_ShowScrollBar(HWND Wnd, int32_t Bar, bool Show) { return ShowScrollBar(Wnd, Bar, Show); }
bool FlatSB_EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows) { return EnableScrollBar(Wnd, Bar, Arrows); }
