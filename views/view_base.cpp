#include "views/view_base.h"

#include <algorithm>

#include "platform/vcl/application.h"
#include "platform/vcl/form_properties.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/messages.h"

TIEView::TIEView(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle |= csAcceptsControls | csOpaque | csReplicatable | csNeedsBorderPaint;
  if (!NewStyleControls) FControlStyle |= csFramed;
  SetCtl3D(true);
}

TIEView::~TIEView() {
  Destroying();
  FDestroyingCallbacks = true;
  // Each record leaves the list before its callback runs, so a callback that
  // unregisters itself (or another) while it hears code 1 finds the list as
  // it should be, and every callback is called exactly once.
  while (!FChangeCallbacks.empty()) {
    std::unique_ptr<TIEChangeCallbackRec> Rec = std::move(FChangeCallbacks.front());
    FChangeCallbacks.erase(FChangeCallbacks.begin());
    // Nothing may leave a destructor: a failing callback is reported like any
    // other exception at the event loop's edge, and the others still run.
    VclGuardedCall(this, [&] { Rec->Procedure(this, 1); });
  }
  FRetiredCallbacks.clear();
}

// ------------------------------------------------------------ change callbacks
TIEChangeCallbackHandle TIEView::RegisterChangeCallback(TIEViewChangeEvent Procedure, TObject* Owner) {
  if (!Procedure || FDestroyingCallbacks) return nullptr;
  auto Rec = std::make_unique<TIEChangeCallbackRec>();
  Rec->Procedure = std::move(Procedure);
  Rec->Owner = Owner;
  TIEChangeCallbackHandle Handle = Rec.get();
  FChangeCallbacks.push_back(std::move(Rec));
  return Handle;
}

void TIEView::RemoveCallbackAt(size_t Index) {
  std::unique_ptr<TIEChangeCallbackRec> Rec = std::move(FChangeCallbacks[Index]);
  FChangeCallbacks.erase(FChangeCallbacks.begin() + static_cast<std::ptrdiff_t>(Index));
  // The callback being called may be this very record: keep it alive until
  // the walk is over.
  if (FCallDepth > 0) FRetiredCallbacks.push_back(std::move(Rec));
}

void TIEView::UnregisterChangeCallback(TIEChangeCallbackHandle Handle) {
  if (!Handle) return;
  for (size_t i = 0; i < FChangeCallbacks.size(); ++i) {
    if (FChangeCallbacks[i].get() == Handle) {
      RemoveCallbackAt(i);
      return;
    }
  }
}

int32_t TIEView::UnregisterChangeCallbacksOf(TObject* Owner) {
  int32_t Removed = 0;
  for (size_t i = FChangeCallbacks.size(); i-- > 0;) {
    if (FChangeCallbacks[i]->Owner == Owner) {
      RemoveCallbackAt(i);
      ++Removed;
    }
  }
  return Removed;
}

void TIEView::CallBitmapChangeEvents() {
  // The callbacks registered when the walk starts, in order. Each one is
  // looked up again before its call: a callback may unregister itself or
  // others. Unregistered records are not freed while any walk runs, so a
  // handle seen here never comes back as a new registration.
  std::vector<TIEChangeCallbackRec*> Snapshot;
  Snapshot.reserve(FChangeCallbacks.size());
  for (const auto& Rec : FChangeCallbacks) Snapshot.push_back(Rec.get());
  struct DepthGuard {
    TIEView* View;
    explicit DepthGuard(TIEView* V) : View(V) { ++View->FCallDepth; }
    ~DepthGuard() {
      if (--View->FCallDepth == 0) View->FRetiredCallbacks.clear();
    }
  } Guard(this);
  for (TIEChangeCallbackRec* Rec : Snapshot) {
    const bool Registered = std::any_of(FChangeCallbacks.begin(), FChangeCallbacks.end(),
                                        [Rec](const auto& R) { return R.get() == Rec; });
    if (Registered) Rec->Procedure(this, 0);
  }
}

// ------------------------------------------------------------ properties
void TIEView::SetBackground(TColor Value) { FBackground = Value; }

void TIEView::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
}

TBitmap* TIEView::GetViewBitmap() { return nullptr; }

TIEBitmap* TIEView::GetViewIEBitmap() { return nullptr; }

void TIEView::SetDpiX(int32_t Value) {
  if (Value != 0) FDpiX = Value;
}

void TIEView::SetDpiY(int32_t Value) {
  if (Value != 0) FDpiY = Value;
}

void TIEView::SetDpi(int32_t X, int32_t Y) {
  SetDpiX(X);
  SetDpiY(Y);
}

void TIEView::DoImageChange() {}

// ------------------------------------------------------------ window
void TIEView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) {
    if (NewStyleControls && GetCtl3D()) {
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    } else {
      Params.Style |= WS_BORDER;
    }
  }
  Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TIEView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_CTL3DCHANGED:
      // The edge depends on Ctl3D: the window takes its new border.
      TCustomControl::Dispatch(Message);
      RecreateWnd();
      return;
    case CM_MOUSEENTER:
      TCustomControl::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      TCustomControl::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    default:
      TCustomControl::Dispatch(Message);
  }
}

const TFormPropertyTable& TIEView::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TIEView>("", &TCustomControl::FormProperties())
          .Color("Background", &TIEView::GetBackground, &TIEView::SetBackground)
          .Enum("BorderStyle", BorderStyleNames(), &TIEView::GetBorderStyle, &TIEView::SetBorderStyle)
          .Event("OnMouseEnter", &TIEView::OnMouseEnter)
          .Event("OnMouseLeave", &TIEView::OnMouseLeave)
          .Build();
  return Table;
}
