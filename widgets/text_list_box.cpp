#include "widgets/text_list_box.h"

#include <algorithm>
#include <cmath>

#include "platform/vcl/messages.h"

TOxTextListBox::TOxTextListBox(TComponent* AOwner) : TOxExCustomListBox(AOwner), FCanvas(std::make_unique<TCanvas>()) {
  FCanvas->SetFont(GetFont());
}

TOxTextListBox::~TOxTextListBox() = default;

// Tab stops every round(width of "0" x TabWidth / 4) pixels: TabWidth counts
// dialog units, a quarter of an average character each.
int32_t TOxTextListBox::MeasureText(const std::string& Text) {
  if (GetTabWidth() <= 0) return FCanvas->TextWidth(Text);
  const double Stop = double(FCanvas->TextWidth("0")) * GetTabWidth() * 0.25;
  const auto TabStop = int32_t(std::nearbyint(Stop));
  int32_t X = 0;
  size_t Start = 0;
  for (;;) {
    const size_t Tab = Text.find('\t', Start);
    X += FCanvas->TextWidth(Text.substr(Start, Tab == std::string::npos ? std::string::npos : Tab - Start));
    if (Tab == std::string::npos) break;
    X = TabStop > 0 ? (X / TabStop + 1) * TabStop : X;
    Start = Tab + 1;
  }
  // The classic extent call answers the width in 16 bits.
  return X & 0xFFFF;
}

int32_t TOxTextListBox::ItemTextWidth(int32_t Index) {
  if (Index < 0 || Index >= GetItems()->GetCount()) return 0;
  return MeasureText(GetItems()->Get(Index) + "x");
}

void TOxTextListBox::RecalcHorizontalExtent() {
  FMaxItemWidth = 0;
  const int32_t Count = GetItems()->GetCount();
  for (int32_t I = 0; I < Count; ++I) FMaxItemWidth = std::max(FMaxItemWidth, ItemTextWidth(I));
  ApplyHorizontalExtent();
}

void TOxTextListBox::ApplyHorizontalExtent() { Perform(LB_SETHORIZONTALEXTENT, WPARAM(FMaxItemWidth), 0); }

void TOxTextListBox::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETFONT:
      TOxExCustomListBox::WndProc(Message);
      FCanvas->SetFont(GetFont());
      RecalcHorizontalExtent();
      return;
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
      TOxExCustomListBox::WndProc(Message);
      // A rejected line (negative result) measures nothing.
      if (Message.Result >= 0) {
        FMaxItemWidth = std::max(FMaxItemWidth, ItemTextWidth(int32_t(Message.Result)));
        ApplyHorizontalExtent();
      }
      return;
    case LB_DELETESTRING:
      if (ItemTextWidth(int32_t(int64_t(Message.WParam))) >= FMaxItemWidth) {
        Perform(WM_HSCROLL, SB_LEFT, 0);
        TOxExCustomListBox::WndProc(Message);
        RecalcHorizontalExtent();
      } else {
        TOxExCustomListBox::WndProc(Message);
      }
      return;
    case LB_RESETCONTENT:
      FMaxItemWidth = 0;
      ApplyHorizontalExtent();
      Perform(WM_HSCROLL, SB_LEFT, 0);
      TOxExCustomListBox::WndProc(Message);
      return;
    default:
      TOxExCustomListBox::WndProc(Message);
  }
}
