#pragma once
// Shared between the files of the control layer; not for other callers.
#include <functional>

#include "platform/vcl/messages.h"

class TComponent;
// Hands every class of the control layer that form resources may name to
// Add, with its factory.
void VclStandardClasses(const std::function<void(const char* Name, std::function<TComponent*(TComponent*)> Factory)>& Add);

// Handle table of windowed controls.
HWND VclRegisterHandle(TWinControl* Control);
void VclUnregisterHandle(HWND Wnd);

// Runs Method in the GUI thread after every message posted before it;
// Wait makes the caller block until it ran.
void VclQueueMethod(std::function<void()> Method, bool Wait);
// Makes sure the posted-message dispatcher exists in the GUI thread and the
// thread class sends its Synchronize and Queue calls through it.
void VclEnsureDispatcher();
// True on a platform without a screen (offscreen, minimal): nothing may wait
// for a person there.
bool VclHeadless();

class QObject;
class QPainter;
class TControl;
struct TPoint;
// Draws the caret when Control owns it (the widget bridge's paint calls it
// after the control's picture). ClientOrigin: the client area in the widget.
void VclPaintCaret(TControl* Control, QPainter& Painter, TPoint ClientOrigin);

// Above zero while one of our handlers runs inside a window-system event.
extern int GVclDeliverDepth;
// Runs our code for a window-system event: an exception goes to the
// application's handler (for Sender), and widgets freed meanwhile are deleted
// only once the event is over.
void VclDeliverCall(TObject* Sender, const std::function<void()>& Fn);
// Deletes a Qt object now, or after the running event when one of our
// handlers is active (the object may be the one sending it).
void VclDisposeQObject(QObject* Object);
