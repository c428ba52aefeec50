#pragma once
// A list box whose sideways scroll range is always the width of its widest
// line, so long lines (file names with their paths) can be scrolled into
// view. Adding a line measures only that line; the whole list is measured
// again only when the font changes or the widest line goes.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/canvas.h"
#include "platform/vcl/list_box.h"
#include "widgets/control_base.h"

using TOxExCustomListBox = TOxExControl<TCustomListBox>;

class TOxTextListBox : public TOxExCustomListBox {
 public:
  explicit TOxTextListBox(TComponent* AOwner);
  ~TOxTextListBox() override;

  // The widest measured line (0 for an empty list).
  int32_t GetMaxItemWidth() const { return FMaxItemWidth; }
  // The width of line Index with one "x" after it as a right margin.
  int32_t ItemTextWidth(int32_t Index);
  void RecalcHorizontalExtent();
  void ApplyHorizontalExtent();

  void WndProc(TMessage& Message) override;

 private:
  int32_t MeasureText(const std::string& Text);

  std::unique_ptr<TCanvas> FCanvas;
  int32_t FMaxItemWidth = 0;
};
