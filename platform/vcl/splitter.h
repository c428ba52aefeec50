#pragma once
// The splitter: a thin bar aligned to a side of its parent, right after the
// control aligned to the same side; dragging it resizes that control (never
// below MinSize, and leaving MinSize to the rest of the parent). OnCanResize
// may change or refuse a new size; OnMoved fires when the drag ends.
#include <cstdint>
#include <functional>

#include "platform/vcl/controls.h"

enum TResizeStyle : uint8_t { rsNone, rsLine, rsUpdate, rsPattern };

using TCanResizeEvent = std::function<void(TObject* Sender, int32_t& NewSize, bool& Accept)>;

class TSplitter : public TGraphicControl {
 public:
  explicit TSplitter(TComponent* AOwner);

  int32_t GetMinSize() const { return FMinSize; }
  void SetMinSize(int32_t Value) { FMinSize = Value < 1 ? 1 : Value; }
  bool GetBeveled() const { return FBeveled; }
  void SetBeveled(bool Value);
  bool GetAutoSnap() const { return FAutoSnap; }
  void SetAutoSnap(bool Value) { FAutoSnap = Value; }
  TResizeStyle GetResizeStyle() const { return FResizeStyle; }
  void SetResizeStyle(TResizeStyle Value) { FResizeStyle = Value; }
  // The control the splitter resizes (nullptr when none lies beside it).
  TControl* FindResizeControl() const;

  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnMoved;
  TCanResizeEvent OnCanResize;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

 private:
  void UpdateCursor();
  int32_t FMinSize = 30;
  bool FBeveled = false;
  bool FAutoSnap = true;
  TResizeStyle FResizeStyle = rsPattern;
  TControl* FControl = nullptr;  // while dragging
  TPoint FDownAt;                // in the parent's client coordinates
  int32_t FStartSize = 0;
};
