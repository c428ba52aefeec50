#pragma once
// Helpers of the control-layer tests: a message-box hook that records the
// boxes, and input events sent the way the window system sends them.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/vcl/dialogs.h"

// Answers every message box with Answer and keeps what was asked.
class TRecordingBoxHook {
 public:
  explicit TRecordingBoxHook(TModalResult Answer = mrOk) : FAnswer(Answer) {
    FPrevious = SetMessageBoxHook([this](const TMessageBoxRequest& R) {
      Boxes.push_back(R);
      return FAnswer;
    });
  }
  ~TRecordingBoxHook() { SetMessageBoxHook(FPrevious); }
  void SetAnswer(TModalResult A) { FAnswer = A; }
  std::vector<TMessageBoxRequest> Boxes;

 private:
  TModalResult FAnswer;
  TMessageBoxHook FPrevious;
};

inline void SendMouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                      Qt::KeyboardModifiers Mods = Qt::NoModifier) {
  QMouseEvent E(Type, QPointF(P), QPointF(W->mapToGlobal(P)), Button, Buttons, Mods);
  QApplication::sendEvent(W, &E);
}

// Press and release of the left button at P.
inline void SendClick(QWidget* W, QPoint P, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
  SendMouse(W, QEvent::MouseButtonPress, P, Qt::LeftButton, Qt::LeftButton, Mods);
  SendMouse(W, QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton, Mods);
}

// The sequence of a double click: press, release, double-click press, release.
inline void SendDoubleClick(QWidget* W, QPoint P) {
  SendClick(W, P);
  SendMouse(W, QEvent::MouseButtonDblClick, P, Qt::LeftButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton);
}

inline void SendKey(QWidget* W, int Key, Qt::KeyboardModifiers Mods, const QString& Text = QString()) {
  QKeyEvent Down(QEvent::KeyPress, Key, Mods, Text);
  QApplication::sendEvent(W, &Down);
  QKeyEvent Up(QEvent::KeyRelease, Key, Mods, Text);
  QApplication::sendEvent(W, &Up);
}

// Wheel movement of Delta eighths of a degree (120 = one notch).
inline bool SendWheel(QWidget* W, QPoint P, int Delta, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
  QWheelEvent E(QPointF(P), QPointF(W->mapToGlobal(P)), QPoint(), QPoint(0, Delta), Qt::NoButton, Mods,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(W, &E);
  return E.isAccepted();
}
