#pragma once
// The up-down control: two arrow buttons that step a position within
// Min .. Max by Increment (round the ends with Wrap). With an associated
// control (usually an edit) the position shows as its text, typed text is
// taken up before the next step, and the arrow keys in it step too.
// A step asks OnChanging first (which may refuse), then fires OnClick with
// the button pressed; setting the position by program fires neither.
// Holding a button repeats the step.
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/vcl/controls.h"

class QObject;
class QTimer;

enum TUDBtnType : uint8_t { btNext, btPrev };
enum TUDOrientation : uint8_t { udHorizontal, udVertical };
enum TUDAlignButton : uint8_t { udLeft, udRight };

using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

class TUpDown : public TCustomControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  ~TUpDown() override;

  int32_t GetMin() const { return FMin; }
  void SetMin(int32_t Value);
  int32_t GetMax() const { return FMax; }
  void SetMax(int32_t Value);
  int32_t GetPosition() const { return FPosition; }
  // Kept within Min .. Max; shown in the associated control.
  void SetPosition(int32_t Value);
  int32_t GetIncrement() const { return FIncrement; }
  void SetIncrement(int32_t Value) { FIncrement = Value; }
  bool GetWrap() const { return FWrap; }
  void SetWrap(bool Value) { FWrap = Value; }
  bool GetArrowKeys() const { return FArrowKeys; }
  void SetArrowKeys(bool Value) { FArrowKeys = Value; }
  // Thousands separators in the associated control's text.
  bool GetThousands() const { return FThousands; }
  void SetThousands(bool Value);
  TUDOrientation GetOrientation() const { return FOrientation; }
  void SetOrientation(TUDOrientation Value);
  TUDAlignButton GetAlignButton() const { return FAlignButton; }
  void SetAlignButton(TUDAlignButton Value) { FAlignButton = Value; }
  TWinControl* GetAssociate() const { return FAssociate; }
  void SetAssociate(TWinControl* Value);

  // One step as a press of Button does (the associate's text taken up
  // first); false when OnChanging refused.
  bool Step(TUDBtnType Button);
  // The button under the client point (X, Y).
  TUDBtnType ButtonAt(int32_t X, int32_t Y) const;

  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Loaded() override;
  const TFormPropertyTable& FormProperties() const override;

  TUDClickEvent OnClick;
  TUDChangingEvent OnChanging;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  virtual bool CanChange();
  virtual void DoClick(TUDBtnType Button);

 private:
  void ShowPosition();
  void TakeAssociateText();
  void Repeat();
  int32_t FMin = 0, FMax = 100, FPosition = 0, FIncrement = 1;
  bool FWrap = false, FArrowKeys = true, FThousands = true;
  TUDOrientation FOrientation = udVertical;
  TUDAlignButton FAlignButton = udRight;
  TWinControl* FAssociate = nullptr;
  QPointer<QObject> FKeyFilter;
  std::unique_ptr<QTimer> FRepeat;
  int32_t FPressed = -1;  // the button held down (-1: none)
};
