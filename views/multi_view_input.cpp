// Selection by mouse and keyboard in the multi-image view, its scroll
// messages and its playback timer.
#include <algorithm>

#include "platform/vcl/keys.h"
#include "platform/vcl/messages.h"
#include "views/multi_view.h"

int32_t TFolioMView::IndexOfCell(int32_t Row, int32_t Column) const { return Row * GetColumnCount() + Column; }

int32_t TFolioMView::HitTestImage(int32_t X, int32_t Y) const {
  const int32_t Count = GetImageCount();
  if (FDisplayMode == mdSingle) return Count > 0 ? std::clamp(FFrameIndex, 0, Count - 1) : -1;
  const int32_t cx = X + FViewX, cy = Y + FViewY;
  if (cx < 0 || cy < 0) return -1;
  const int32_t Row = cy / std::max(1, FVertBorder + FThumbHeight);
  const int32_t Column = cx / std::max(1, FHorizBorder + FThumbWidth);
  const int32_t Index = IndexOfCell(Row, Column);
  if (Index < 0 || Index >= Count) return -1;
  const TIEMViewEntry* E = Entry(Index);
  const int32_t l = E->CellLeft - FViewX, t = E->CellTop - FViewY;
  if (X < l || X > l + FThumbWidth - 1 || Y < t || Y > t + FThumbHeight) return -1;
  return Index;
}

bool TFolioMView::SelectAtPos(int32_t X, int32_t Y, TShiftState Shift) {
  const bool Was = FMultiSelecting;
  if (Shift & (ssShift | ssCtrl)) FMultiSelecting = true;
  const int32_t Index = HitTestImage(X, Y);
  if (Index >= 0) {
    const int32_t s = FSelectedIndex;
    if (FEnableMultiSelect && (Shift & ssShift) && s >= 0 && (Index != s || FMultiSelecting)) {
      auto InMulti = [&](int32_t i) { return std::find(FMultiSelected.begin(), FMultiSelected.end(), i) != FMultiSelected.end(); };
      if (FMultiSelectionOptions & iemoRegion) {
        const int32_t r0 = std::min(GetImageGridRow(s), GetImageGridRow(Index));
        const int32_t r1 = std::max(GetImageGridRow(s), GetImageGridRow(Index));
        const int32_t c0 = std::min(GetImageGridColumn(s), GetImageGridColumn(Index));
        const int32_t c1 = std::max(GetImageGridColumn(s), GetImageGridColumn(Index));
        for (int32_t r = r0; r <= r1; ++r)
          for (int32_t c = c0; c <= c1; ++c) {
            const int32_t i = IndexOfCell(r, c);
            if (i >= 0 && i < GetImageCount() && i != FSelectedIndex && i != Index && !InMulti(i)) SelectImageInternal(i);
          }
      } else {
        const int32_t Step = Index > s ? 1 : -1;
        for (int32_t i = s + Step; i != Index; i += Step)
          if (!InMulti(i)) SelectImageInternal(i);
      }
    }
    SelectImageInternal(Index);
    if (FVisibleSelection) UpdateLayout();
    CallBitmapChangeEvents();
  }
  FMultiSelecting = Was;
  return Was;
}

// The anchor alone, then the range from it to the point, keeping what the
// range passes over.
void TFolioMView::SelectRangeTo(int32_t X, int32_t Y) {
  const bool Keep = FKeepSelection, Multi = FMultiSelecting;
  FKeepSelection = true;
  FMultiSelecting = false;
  DeselectInternal();
  SelectImageInternal(FAnchor >= 0 && FAnchor < GetImageCount() ? FAnchor : 0);
  FMultiSelecting = Multi;
  SelectAtPos(X, Y, ssShift);
  FKeepSelection = Keep;
}

void TFolioMView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TIEView::MouseDown(Button, Shift, X, Y);
  AsUser([&] {
    if (FDoubleClickPending) {
      FDoubleClickPending = false;
      return;
    }
    if (CanFocus()) SetFocus();
    FDownPos = TPoint{X, Y};
    FDownViewX = FViewX;
    FDownViewY = FViewY;
    FDownIndex = FLastIndex = HitTestImage(X, Y);
    FRangeDone = false;
    FMousePressed = true;
    FSelectionChanged = false;
    if ((FMultiSelectionOptions & iemoSelectOnMouseUp) || Button != mbLeft || !(FMouseInteract & mmiSelect)) return;
    if ((Shift & ssShift) && FEnableMultiSelect) {
      SelectRangeTo(X, Y);
      FRangeDone = true;
    } else {
      const int32_t Index = FDownIndex;
      FAnchor = Index;
      if (!(Index >= 0 && IsSelected(Index))) SelectAtPos(X, Y, Shift);
    }
  });
}

void TFolioMView::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TIEView::MouseMove(Shift, X, Y);
  if (!FMousePressed) return;
  AsUser([&] {
    if ((FMouseInteract & mmiSelect) && FEnableMultiSelect) {
      const int32_t Index = HitTestImage(X, Y);
      if (Index != -1 && Index != FLastIndex) {
        FLastIndex = Index;
        const int32_t Saved = FAnchor;
        FAnchor = FDownIndex >= 0 ? FDownIndex : 0;
        SelectRangeTo(X, Y);
        FAnchor = Saved;
        FRangeDone = true;
      }
    }
    if ((FMouseInteract & mmiScroll) && (X != FDownPos.X || Y != FDownPos.Y)) {
      SetScrollXY(FDownViewX + FDownPos.X - X, FDownViewY + FDownPos.Y - Y);
      DoViewChange(0);
    }
  });
}

void TFolioMView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TIEView::MouseUp(Button, Shift, X, Y);
  if (!FMousePressed) return;
  FMousePressed = false;
  if (FPlaying || Button != mbLeft) return;
  AsUser([&] {
    if (FMultiSelectionOptions & iemoSelectOnMouseUp) {
      if (!FRangeDone && (FMouseInteract & mmiSelect)) SelectAtPos(X, Y, Shift);
    } else if (!FSelectionChanged && (FMouseInteract & mmiSelect)) {
      SelectAtPos(X, Y, Shift);
    }
    if (FMouseInteract & mmiScroll) {
      SetScrollXY(FDownViewX + FDownPos.X - X, FDownViewY + FDownPos.Y - Y);
      DoViewChange(0);
    }
  });
}

void TFolioMView::KeyDown(uint16_t& Key, TShiftState Shift) {
  TIEView::KeyDown(Key, Shift);
  if (FPlaying || !(FKeyInteract & mkiMoveSelected)) return;
  AsUser([&] {
    const bool Multi = FMultiSelecting, Keep = FKeepSelection;
    if (FEnableMultiSelect && (Shift & (ssShift | ssCtrl))) FMultiSelecting = FKeepSelection = true;
    int32_t Direction = -1;
    switch (Key) {
      case VK_PRIOR: Direction = 7; break;
      case VK_NEXT: Direction = 6; break;
      case VK_END: Direction = 5; break;
      case VK_HOME: Direction = 4; break;
      case VK_LEFT: Direction = 0; break;
      case VK_UP: Direction = 2; break;
      case VK_RIGHT: Direction = 1; break;
      case VK_DOWN: Direction = 3; break;
      default: break;
    }
    if (Direction < 0) {
      FMultiSelecting = Multi;
      FKeepSelection = Keep;
      return;
    }
    MoveSelection(Direction);
    DoViewChange(0);
    FMultiSelecting = Multi;
    FKeepSelection = Keep;
    if (FEnableMultiSelect && !(Shift & ssShift)) FAnchor = FSelectedIndex;
    UpdateLayout();
  });
}

int32_t TFolioMView::ClientRowsPerPage() const {
  return (GetClientHeight() - FVertBorder) / std::max(1, FVertBorder + FThumbHeight);
}

void TFolioMView::MoveSelection(int32_t Direction) {
  const int32_t Count = GetImageCount();
  if (Count == 0) return;
  const int32_t Columns = GetColumnCount();
  const int32_t Page = Columns * ClientRowsPerPage();
  const int32_t s = FSelectedIndex;
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  auto Cell = [&](int32_t i) { return GetCellRect(i); };
  // Scrolling that brings the newly selected cell in from above / below.
  auto RevealUp = [&](int32_t i) {
    SetScrollY(Cell(i).Top - FVertBorder);
    if (ImageVisibility(i) != 2) SetScrollX(Cell(i).Left - FHorizBorder);
  };
  auto RevealDown = [&](int32_t i) {
    SetScrollY(Cell(i).Top + FThumbHeight + FVertBorder - ch);
    if (ImageVisibility(i) != 2) SetScrollX(Cell(i).Left + FThumbWidth + FHorizBorder - cw);
  };
  int32_t Target = -1;
  switch (Direction) {
    case 0: Target = s < 0 ? -1 : s - 1; break;
    case 1: Target = s + 1; break;
    case 2:
      if (s < 0) break;
      Target = FGridWidth == 0 ? s - 1 : (s - Columns >= 0 ? s - Columns : -1);
      break;
    case 3: Target = FGridWidth == 0 ? s + 1 : (s + Columns < Count ? s + Columns : -1); break;
    case 4: Target = 0; break;
    case 5: Target = Count - 1; break;
    case 6: Target = std::min(s + Page, Count - 1); break;
    case 7: Target = s < 0 ? -1 : std::max(s - Page, 0); break;
    default: return;
  }
  if (Target < 0 || Target >= Count) return;
  SetSelectedImage(Target);
  if (ImageVisibility(Target) == 2) return;
  const TRect R = Cell(Target);
  switch (Direction) {
    case 0: SetScrollXY(R.Left - FHorizBorder, R.Top - FVertBorder); break;
    case 1: SetScrollXY(R.Left + FThumbWidth + FHorizBorder - cw, R.Top + FThumbHeight + FVertBorder - ch); break;
    case 2:
    case 7: RevealUp(Target); break;
    case 4: SetScrollXY(0, 0); break;
    default: RevealDown(Target); break;
  }
}

void TFolioMView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_VSCROLL:
    case WM_HSCROLL:
      AsUser([&] {
        HandleScroll(Message.Msg == WM_VSCROLL, int32_t(LOWORD(Message.WParam)), int32_t(HIWORD(Message.WParam)));
      });
      return;
    case WM_MOUSEWHEEL: {
      TIEView::Dispatch(Message);
      const int16_t Delta = static_cast<int16_t>(HIWORD(Message.WParam));
      AsUser([&] {
        const int32_t Step = FThumbHeight + FVertBorder;
        SetScrollY(Delta > 0 ? FViewY - Step : FViewY + Step);
        DoViewChange(0);
      });
      return;
    }
    case WM_LBUTTONDBLCLK:
      FDoubleClickPending = true;
      TIEView::Dispatch(Message);
      return;
    case CM_WANTSPECIALKEY:
      if (Message.WParam >= 33 && Message.WParam <= 40) {
        Message.Result = 1;
        return;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      Invalidate();
      break;
    case IEM_MVIEWLOADED:
      CollectLoadJobs();
      return;
    case WM_TIMER:
      if (Message.WParam == 1) {
        PlayNextFrame();
        return;
      }
      break;
    case WM_SIZE:
      TIEView::Dispatch(Message);
      UpdateLayout();
      return;
    default: break;
  }
  TIEView::Dispatch(Message);
}
