#pragma once
// TIEView: the windowed control every image view descends from.
//
// It holds what all views share: the background colour, the border (a
// sunken client edge with Ctl3D, else a one-pixel frame), mouse enter and
// leave events, the shown image's resolution, and the change callbacks
// through which components attached to a view (the I/O and processing
// components) hear that the view's image object was replaced (code 0) or
// that the view is going away (code 1). Those components reach the view's
// image only through the virtual operations declared here, without knowing
// the view's class.
//
// The view draws nothing itself: its descendants paint the background and
// the image into the front buffer of the custom control.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/rtl/object.h"
#include "platform/vcl/controls.h"

class TBitmap;
class TCanvas;
class TIEBitmap;
class TIEMask;
class TIEView;
class TStream;

// A change callback: Sender is the view, Code 0 when the view's image object
// changed, 1 when the view is being destroyed.
using TIEViewChangeEvent = std::function<void(TIEView* Sender, int32_t Code)>;

// One registered change callback. Its address is the handle that
// registration answers and unregistration takes; the view allocates and
// frees it, the registrant keeps only the handle.
struct TIEChangeCallbackRec {
  TIEViewChangeEvent Procedure;
  // The object the callback belongs to (the registering component).
  TObject* Owner = nullptr;
};
using TIEChangeCallbackHandle = TIEChangeCallbackRec*;

class TIEView : public TCustomControl {
 public:
  explicit TIEView(TComponent* AOwner);
  // Calls every change callback with code 1, first to last, each once, and
  // frees the records, before the control itself goes.
  ~TIEView() override;

  // -- change callbacks
  // Adds a callback and answers its handle. No test for duplicates: the same
  // callback registered twice is called twice. An empty Procedure, or a view
  // that is already being destroyed, takes no callback and answers nullptr.
  TIEChangeCallbackHandle RegisterChangeCallback(TIEViewChangeEvent Procedure, TObject* Owner = nullptr);
  // Removes and frees the callback; nothing when Handle is nullptr or not
  // registered with this view.
  void UnregisterChangeCallback(TIEChangeCallbackHandle Handle);
  // Removes every callback registered with Owner; answers how many.
  int32_t UnregisterChangeCallbacksOf(TObject* Owner);
  int32_t GetChangeCallbackCount() const { return static_cast<int32_t>(FChangeCallbacks.size()); }

  // -- properties
  TColor GetBackground() const { return FBackground; }
  virtual void SetBackground(TColor Value);
  TBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  int32_t GetDpiX() const { return FDpiX; }
  int32_t GetDpiY() const { return FDpiY; }

  // -- what attached components call on any view
  // The view's image as a platform bitmap; nullptr here.
  virtual TBitmap* GetViewBitmap();
  // The view's image as a TIEBitmap; nullptr here.
  virtual TIEBitmap* GetViewIEBitmap();
  // The shown image's alpha plane (created on demand).
  virtual TIEBitmap* GetAlphaChannel() = 0;
  virtual bool GetHasAlphaChannel() = 0;
  // Drops the alpha plane, blending against Background when Merge is true.
  virtual void RemoveAlphaChannel(bool Merge) = 0;
  // The paint lock: LockPaint increments it; UnlockPaint decrements it and
  // repaints at zero; UnlockPaintNoUpdate only decrements. Both answer the
  // new count.
  virtual void LockPaint() = 0;
  virtual int32_t UnlockPaint() = 0;
  virtual int32_t UnlockPaintNoUpdate() = 0;
  // Store the resolution; 0 leaves it as it is, any other value (negative
  // too) is stored.
  virtual void SetDpiX(int32_t Value);
  virtual void SetDpiY(int32_t Value);
  // SetDpiX(X), then SetDpiY(Y), through the descendant's overrides.
  virtual void SetDpi(int32_t X, int32_t Y);
  // Called after the image content changed; nothing here.
  virtual void DoImageChange();
  // Calls every change callback with code 0, from the first to the last
  // registered when the walk starts. A callback may unregister itself or any
  // other during the walk: a removed callback is not called any more, and
  // one registered during the walk is called from the next walk on.
  virtual void CallBitmapChangeEvents();

  // -- what the processing component's selection and undo call.  A view
  // without selections, layers or objects keeps these defaults, and the
  // processing component then treats it as such.
  // The selection mask; nullptr for a view that has no selections.
  virtual TIEMask* GetSelectionMask() { return nullptr; }
  // Whether a selection is in force (the mask may be empty all the same).
  virtual bool GetHasSelection() { return false; }
  // The selection written to / read from a stream; Save answers false for a
  // view that has no selections.  Mode 1 shifts a selection that no longer
  // fits back inside the image.
  virtual bool SaveSelectionToStream(TStream& Stream) { return false; }
  virtual void LoadSelectionFromStream(TStream& Stream, int32_t Mode) {}
  // Layers: their number (0 for a view without layers), the current one (-1
  // without layers) and each one's bitmap.
  virtual int32_t GetLayerCount() { return 0; }
  virtual int32_t GetCurrentLayerIndex() { return -1; }
  virtual TIEBitmap* GetLayerBitmap(int32_t Index) { return nullptr; }
  // One layer's record: a 4-byte length of the whole record, the layer's
  // 16-byte identifier, then the layer's state (its bitmap when WithBitmap).
  virtual void SaveLayerRecord(int32_t Index, TStream& Stream, bool WithBitmap) {}
  // Reads a whole record at the stream's position into layer Index.
  virtual void LoadLayerRecord(int32_t Index, TStream& Stream) {}
  // The first layer with that identifier; -1 when none.
  virtual int32_t FindLayerById(const uint8_t* Id16) { return -1; }
  // Vector objects, and objects with layers together; Save answers false for
  // a view that has none of that kind.
  virtual bool SaveObjectsToStream(TStream& Stream) { return false; }
  virtual void LoadObjectsFromStream(TStream& Stream) {}
  virtual bool SaveLayersAndObjectsToStream(TStream& Stream) { return false; }
  virtual void LoadLayersAndObjectsFromStream(TStream& Stream) {}

  void Dispatch(TMessage& Message) override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  // bsSingle adds the client edge (new-style controls with Ctl3D) or a plain
  // border; resizing never invalidates the whole window.
  void CreateParams(TCreateParams& Params) override;

  // Removes the record from the list; it is freed at once, or once the
  // outermost walk over the callbacks is over when one is running.
  void RemoveCallbackAt(size_t Index);

  TBorderStyle FBorderStyle = bsSingle;
  std::vector<std::unique_ptr<TIEChangeCallbackRec>> FChangeCallbacks;
  TColor FBackground = clBtnFace;
  int32_t FDpiX = 0;
  int32_t FDpiY = 0;

 private:
  // Depth of running walks over the callbacks, and records unregistered
  // during one: they stay allocated until the walk is over, so no address is
  // reused while a walk still compares handles.
  int32_t FCallDepth = 0;
  std::vector<std::unique_ptr<TIEChangeCallbackRec>> FRetiredCallbacks;
  bool FDestroyingCallbacks = false;
};
