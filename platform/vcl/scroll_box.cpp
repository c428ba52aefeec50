#include "platform/vcl/scroll_box.h"

#include <algorithm>

#include "platform/vcl/form_properties.h"

// ------------------------------------------------------------ scroll bar
void TControlScrollBar::SetRange(int32_t Value) {
  FRange = std::max(0, Value);
  FOwner->UpdateScrollBars();
}

void TControlScrollBar::SetPosition(int32_t Value) { FOwner->ScrollTo(*this, Value); }

void TControlScrollBar::SetVisible(bool Value) {
  FVisible = Value;
  FOwner->UpdateScrollBars();
}

// ------------------------------------------------------------ scroll box
TScrollBox::TScrollBox(TComponent* AOwner)
    : TCustomControl(AOwner),
      FHorz(std::make_unique<TControlScrollBar>(this, SB_HORZ)),
      FVert(std::make_unique<TControlScrollBar>(this, SB_VERT)) {
  FControlStyle |= csAcceptsControls;
  FColor = clBtnFace;
  SetBounds(0, 0, 185, 41);
}

TScrollBox::~TScrollBox() = default;

void TScrollBox::SetAutoScroll(bool Value) {
  FAutoScroll = Value;
  UpdateScrollBars();
}

void TScrollBox::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TScrollBox::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) Params.ExStyle |= WS_EX_CLIENTEDGE;
}

int32_t TScrollBox::ContentExtent(int32_t Kind) const {
  const TControlScrollBar& Bar = Kind == SB_HORZ ? *FHorz : *FVert;
  if (!FAutoScroll) return Bar.FRange;
  int32_t Extent = 0;
  for (int32_t I = 0; I < GetControlCount(); ++I) {
    TControl* C = GetControls(I);
    if (!C->GetVisible() || C->GetAlign() != alNone) continue;
    const int32_t Far = Kind == SB_HORZ ? C->GetLeft() + C->GetWidth() : C->GetTop() + C->GetHeight();
    Extent = std::max(Extent, Far + Bar.FPosition);
  }
  return Extent;
}

void TScrollBox::UpdateScrollBars() {
  if (FUpdating || (GetComponentState() & (csLoading | csDestroying))) return;
  FUpdating = true;
  // Two rounds: a bar that comes narrows the room of the other.
  for (int Round = 0; Round < 2; ++Round) {
    for (TControlScrollBar* Bar : {FHorz.get(), FVert.get()}) {
      const int32_t Kind = Bar->FKind;
      const TRect Client = GetClientRect();
      const int32_t Room = Kind == SB_HORZ ? Client.Width() : Client.Height();
      const int32_t Extent = ContentExtent(Kind);
      if (FAutoScroll) Bar->FRange = Extent;
      const bool Needed = Bar->FVisible && Extent > Room;
      if (!Needed && Bar->FPosition != 0) ScrollTo(*Bar, 0);
      TScrollInfo Info;
      Info.fMask = SIF_ALL;
      Info.nMin = 0;
      Info.nMax = Needed ? Extent - 1 : 0;
      Info.nPage = Needed ? static_cast<uint32_t>(std::max(0, Room)) : 0;
      Info.nPos = Bar->FPosition;
      VclSetScrollInfo(Kind, Info);
      VclShowScrollBar(Kind, Needed);
      if (Needed && Bar->FPosition > Extent - Room) ScrollTo(*Bar, Extent - Room);
    }
  }
  FUpdating = false;
}

void TScrollBox::ScrollBy(int32_t DeltaX, int32_t DeltaY) {
  if (DeltaX == 0 && DeltaY == 0) return;
  // Moving the children changes no range: no realignment meanwhile.
  ++FAlignLevel;
  for (int32_t I = 0; I < GetControlCount(); ++I) {
    TControl* C = GetControls(I);
    if (C->GetAlign() != alNone) continue;
    C->SetBounds(C->GetLeft() + DeltaX, C->GetTop() + DeltaY, C->GetWidth(), C->GetHeight());
  }
  --FAlignLevel;
}

void TScrollBox::ScrollTo(TControlScrollBar& Bar, int32_t Position) {
  const TRect Client = GetClientRect();
  const int32_t Room = Bar.FKind == SB_HORZ ? Client.Width() : Client.Height();
  const int32_t Range = FAutoScroll ? ContentExtent(Bar.FKind) : Bar.FRange;
  Position = std::clamp(Position, 0, std::max(0, Range - Room));
  const int32_t Delta = Bar.FPosition - Position;
  if (Delta == 0) return;
  Bar.FPosition = Position;
  if (Bar.FKind == SB_HORZ) {
    ScrollBy(Delta, 0);
  } else {
    ScrollBy(0, Delta);
  }
  TScrollInfo Info;
  Info.fMask = SIF_POS;
  Info.nPos = Position;
  VclSetScrollInfo(Bar.FKind, Info);
  Invalidate();
}

void TScrollBox::ScrollInView(TControl* Control) {
  if (!Control || Control->GetParent() != this) return;
  const TRect Client = GetClientRect();
  if (Control->GetLeft() < 0) {
    ScrollTo(*FHorz, FHorz->FPosition + Control->GetLeft());
  } else if (Control->GetLeft() + Control->GetWidth() > Client.Width()) {
    ScrollTo(*FHorz, FHorz->FPosition + Control->GetLeft() + Control->GetWidth() - Client.Width());
  }
  if (Control->GetTop() < 0) {
    ScrollTo(*FVert, FVert->FPosition + Control->GetTop());
  } else if (Control->GetTop() + Control->GetHeight() > Client.Height()) {
    ScrollTo(*FVert, FVert->FPosition + Control->GetTop() + Control->GetHeight() - Client.Height());
  }
}

void TScrollBox::AlignControls(TControl* AControl, TRect& Rect) {
  TCustomControl::AlignControls(AControl, Rect);
  UpdateScrollBars();
}

void TScrollBox::Loaded() {
  TCustomControl::Loaded();
  UpdateScrollBars();
}

void TScrollBox::Dispatch(TMessage& Message) {
  if (Message.Msg != WM_HSCROLL && Message.Msg != WM_VSCROLL) {
    TCustomControl::Dispatch(Message);
    return;
  }
  TControlScrollBar& Bar = Message.Msg == WM_HSCROLL ? *FHorz : *FVert;
  const TRect Client = GetClientRect();
  const int32_t Page = Bar.FKind == SB_HORZ ? Client.Width() : Client.Height();
  const int32_t Code = static_cast<int32_t>(Message.WParam & 0xFFFF);
  const int32_t Thumb = static_cast<int16_t>((Message.WParam >> 16) & 0xFFFF);
  int32_t Pos = Bar.FPosition;
  switch (Code) {
    case SB_LINEUP: Pos -= Bar.FIncrement; break;
    case SB_LINEDOWN: Pos += Bar.FIncrement; break;
    case SB_PAGEUP: Pos -= Page; break;
    case SB_PAGEDOWN: Pos += Page; break;
    case SB_THUMBTRACK:
      if (!Bar.FTracking) return;
      Pos = Thumb;
      break;
    case SB_THUMBPOSITION: Pos = Thumb; break;
    case SB_TOP: Pos = 0; break;
    case SB_BOTTOM: Pos = Bar.FRange; break;
    default: return;
  }
  ScrollTo(Bar, Pos);
}

namespace {
const TFormPropertyTable& ScrollBarProperties() {
  using B = TControlScrollBar;
  static const TFormPropertyTable Table = TFormProperties<B>("", nullptr)
                                              .Integer("Increment", &B::GetIncrement, &B::SetIncrement)
                                              .Bool("Tracking", &B::GetTracking, &B::SetTracking)
                                              .Bool("Visible", &B::GetVisible, &B::SetVisible)
                                              // Where the box is scrolled to is not kept; the
                                              // controls' places are stored as shown.
                                              .Ignored({"Position", "ButtonSize", "Color", "Margin", "ParentColor", "Size",
                                                        "Smooth", "Style", "ThumbSize"})
                                              .Build();
  return Table;
}
}  // namespace

const TFormPropertyTable& TScrollBox::FormProperties() const {
  using S = TScrollBox;
  static const TFormPropertyTable Table =
      TFormProperties<S>("TScrollBox", &TCustomControl::FormProperties())
          .Bool("AutoScroll", &S::GetAutoScroll, &S::SetAutoScroll)
          .Enum("BorderStyle", BorderStyleNames(), &S::GetBorderStyle, &S::SetBorderStyle)
          .Nested("HorzScrollBar", [](const S& Box) { return Box.GetHorzScrollBar(); }, ScrollBarProperties())
          .Nested("VertScrollBar", [](const S& Box) { return Box.GetVertScrollBar(); }, ScrollBarProperties())
          // The ranges are the controls' own with AutoScroll.
          .Integer("HorzScrollBar.Range", [](const S& Box) { return Box.GetHorzScrollBar()->GetRange(); },
                   [](S& Box, int32_t V) { Box.GetHorzScrollBar()->SetRange(V); })
          .StoredWhen([](const S& Box) { return !Box.GetAutoScroll(); })
          .Integer("VertScrollBar.Range", [](const S& Box) { return Box.GetVertScrollBar()->GetRange(); },
                   [](S& Box, int32_t V) { Box.GetVertScrollBar()->SetRange(V); })
          .StoredWhen([](const S& Box) { return !Box.GetAutoScroll(); })
          .Build();
  return Table;
}
