#pragma once
// The widgets that show controls: every Qt event they get becomes a window
// message for their control (through VclDeliver, which keeps exceptions out
// of Qt). Internal to the control layer.
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QHideEvent>
#include <QWheelEvent>
#include <QWidget>

#include "platform/vcl/messages.h"

class TControl;

class TVclWidgetLink {
 public:
  virtual ~TVclWidgetLink() = default;
  TControl* Control = nullptr;
  bool InPaint = false;
  // The widget paints itself (a native button): the bridge leaves it alone.
  bool NativePaint = false;
  int32_t WheelAccumulator = 0;
  int32_t HWheelAccumulator = 0;
};

// Event translation, shared by all widget kinds. Each answers true when the
// event was taken (a native widget then skips its own handling only where
// stated).
namespace VclBridge {
void MousePress(TVclWidgetLink* L, QWidget* W, QMouseEvent* E, bool Double);
void MouseRelease(TVclWidgetLink* L, QWidget* W, QMouseEvent* E);
void MouseMove(TVclWidgetLink* L, QWidget* W, QMouseEvent* E);
void Wheel(TVclWidgetLink* L, QWidget* W, QWheelEvent* E);
// Answers true when a handler took the key (set it to 0): a native widget
// then does not see it.
bool Key(TVclWidgetLink* L, QWidget* W, QKeyEvent* E, bool Down);
void Focus(TVclWidgetLink* L, bool In);
void EnterLeave(TVclWidgetLink* L, bool Enter);
void ContextMenu(TVclWidgetLink* L, QWidget* W, QContextMenuEvent* E);
void Paint(TVclWidgetLink* L, QWidget* W, QPaintEvent* E);
void Resize(TVclWidgetLink* L, QWidget* W);
bool Close(TVclWidgetLink* L);
// True when the control takes Tab itself rather than moving the focus.
bool WantsTab(TVclWidgetLink* L, QKeyEvent* E);
void ShowingChanged(TVclWidgetLink* L);
// Virtual-key code of a Qt key event (0 when it has none).
uint16_t VirtualKeyOf(int QtKey, Qt::KeyboardModifiers Mods);
}  // namespace VclBridge

template <typename Base>
class TVclWidgetT : public Base, public TVclWidgetLink {
 public:
  explicit TVclWidgetT(bool Native = false) {
    NativePaint = Native;
    this->setMouseTracking(true);
    this->setAttribute(Qt::WA_OpaquePaintEvent, !Native);
  }

 protected:
  void mousePressEvent(QMouseEvent* E) override {
    VclBridge::MousePress(this, this, E, false);
    if (NativePaint && Control) Base::mousePressEvent(E);
  }
  void mouseDoubleClickEvent(QMouseEvent* E) override {
    VclBridge::MousePress(this, this, E, true);
    if (NativePaint && Control) Base::mouseDoubleClickEvent(E);
  }
  void mouseReleaseEvent(QMouseEvent* E) override {
    VclBridge::MouseRelease(this, this, E);
    if (NativePaint && Control) Base::mouseReleaseEvent(E);
  }
  void mouseMoveEvent(QMouseEvent* E) override {
    VclBridge::MouseMove(this, this, E);
    if (NativePaint && Control) Base::mouseMoveEvent(E);
  }
  void wheelEvent(QWheelEvent* E) override { VclBridge::Wheel(this, this, E); }
  void keyPressEvent(QKeyEvent* E) override {
    const bool Taken = VclBridge::Key(this, this, E, true);
    if (NativePaint && Control && !Taken) Base::keyPressEvent(E);
  }
  void keyReleaseEvent(QKeyEvent* E) override {
    const bool Taken = VclBridge::Key(this, this, E, false);
    if (NativePaint && Control && !Taken) Base::keyReleaseEvent(E);
  }
  void focusInEvent(QFocusEvent* E) override {
    Base::focusInEvent(E);
    VclBridge::Focus(this, true);
  }
  void focusOutEvent(QFocusEvent* E) override {
    Base::focusOutEvent(E);
    VclBridge::Focus(this, false);
  }
  void enterEvent(QEnterEvent* E) override {
    Base::enterEvent(E);
    VclBridge::EnterLeave(this, true);
  }
  void leaveEvent(QEvent* E) override {
    Base::leaveEvent(E);
    VclBridge::EnterLeave(this, false);
  }
  void contextMenuEvent(QContextMenuEvent* E) override { VclBridge::ContextMenu(this, this, E); }
  void paintEvent(QPaintEvent* E) override {
    if (NativePaint) {
      Base::paintEvent(E);
      return;
    }
    VclBridge::Paint(this, this, E);
  }
  void resizeEvent(QResizeEvent* E) override {
    Base::resizeEvent(E);
    VclBridge::Resize(this, this);
  }
  bool event(QEvent* E) override {
    if (E->type() == QEvent::KeyPress) {
      auto* K = static_cast<QKeyEvent*>(E);
      if ((K->key() == Qt::Key_Tab || K->key() == Qt::Key_Backtab) && VclBridge::WantsTab(this, K)) {
        keyPressEvent(K);
        return true;
      }
    }
    return Base::event(E);
  }
  void showEvent(QShowEvent* E) override {
    Base::showEvent(E);
    VclBridge::ShowingChanged(this);
  }
  void hideEvent(QHideEvent* E) override {
    Base::hideEvent(E);
    VclBridge::ShowingChanged(this);
  }
  void closeEvent(QCloseEvent* E) override {
    if (VclBridge::Close(this)) {
      E->accept();
    } else {
      E->ignore();
    }
  }
};

using TVclWidget = TVclWidgetT<QWidget>;
