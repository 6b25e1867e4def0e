// The QWidget behind every CWnd: turns Qt's events into messages.
// Internal to the window layer.
#pragma once

#include <QWidget>
#include <functional>

#include "platform/qt/win_types.h"

class CWnd;
class QScrollBar;

// Qt's buttons as MK_LBUTTON, MK_RBUTTON, MK_MBUTTON; its modifiers as
// MK_SHIFT, MK_CONTROL and kInputAlt.
UINT MouseButtonFlags(Qt::MouseButtons buttons);
UINT ModifierFlags(Qt::KeyboardModifiers mods);

class CWndWidget : public QWidget {
 public:
  CWndWidget(CWnd* owner, QWidget* parent);
  ~CWndWidget() override;

  CWnd* Owner() const { return m_owner; }
  void Detach() { m_owner = nullptr; }
  bool InEvent() const { return m_eventDepth > 0; }
  // Window scroll bars, made on first use.
  QScrollBar* ScrollBar(int bar);
  void LayoutScrollBars();
  // The paint procedure a backing surface installs (draws the widget's
  // pixels in its paint event); none: the widget paints nothing of its own.
  void SetPaintHook(std::function<void(const QRegion&)> hook) { m_paintHook = std::move(hook); }

  // The event type of posted messages.
  static int PostedMessageType();

 protected:
  bool event(QEvent* e) override;

 private:
  bool Translate(QEvent* e);
  void MouseMessage(QEvent* e);
  void KeyMessage(QEvent* e);

  CWnd* m_owner;
  int m_eventDepth = 0;
  QScrollBar* m_bars[2] = {nullptr, nullptr};
  std::function<void(const QRegion&)> m_paintHook;
};
