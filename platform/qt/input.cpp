#include "platform/qt/input.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTabletEvent>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/qt/messages.h"
#include "platform/qt/wnd_widget.h"

namespace {

bool g_swapped = false;

// A key that types a character (a printable one or carriage return), not a
// shortcut.
bool IsTyping(const QKeyEvent& e) {
  if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  const QString text = e.text();
  return !text.isEmpty() && (text[0].unicode() >= 32 || text[0] == QChar('\r'));
}
std::vector<std::function<void()>> g_afterGesture;

// The input source over Qt's event loop.
class CQtInputSource : public CInputSource, public QObject {
 public:
  uint32_t GetTickCount() override {
    if (!m_clock.isValid()) m_clock.start();
    return static_cast<uint32_t>(m_clock.elapsed());
  }

 protected:
  void Pump() override {
    // Input of the gesture is recorded by the filter; timers and sockets wait.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::X11ExcludeTimers);
  }
  void Idle() override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
  void StartRecording() override {
    if (!m_recording && qApp != nullptr) {
      qApp->installEventFilter(this);
      m_recording = true;
    }
  }
  void StopRecording() override {
    if (m_recording && qApp != nullptr) qApp->removeEventFilter(this);
    m_recording = false;
  }

  bool eventFilter(QObject* obj, QEvent* e) override {
    if (!obj->isWidgetType()) return false;
    InputSample s = m_current;
    s.packets.clear();
    s.time = GetTickCount();
    switch (e->type()) {
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(e);
        QPoint g = me->globalPosition().toPoint();
        s.screen = {g.x(), g.y()};
        s.buttons = MouseButtonFlags(me->buttons());
        s.keys = ModifierFlags(me->modifiers());
        Record(s);
        return true;
      }
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* ke = static_cast<QKeyEvent*>(e);
        s.keys = ModifierFlags(ke->modifiers());
        // The modifiers of a key event are those before it; a modifier key
        // itself changes them.
        UINT bit = 0;
        if (ke->key() == Qt::Key_Shift) bit = MK_SHIFT;
        if (ke->key() == Qt::Key_Control) bit = MK_CONTROL;
        if (ke->key() == Qt::Key_Alt) bit = kInputAlt;
        if (bit != 0) s.keys = e->type() == QEvent::KeyPress ? (s.keys | bit) : (s.keys & ~bit);
        // Typing is not the gesture's: it reaches its window once the
        // gesture is over, in the order it came.
        if (e->type() == QEvent::KeyPress && IsTyping(*ke)) {
          QPointer<QObject> target(obj);
          std::shared_ptr<QEvent> copy(e->clone());
          RunAfterGesture([target, copy] {
            if (target != nullptr) QCoreApplication::sendEvent(target, copy.get());
          });
        }
        Record(s);
        return true;
      }
      case QEvent::TabletPress:
      case QEvent::TabletMove:
      case QEvent::TabletRelease:
        // Its packet is queued by the window; the mouse event Qt makes
        // from it is recorded above.
        return false;
      case QEvent::Wheel:
        return true;
      case QEvent::FocusOut:
      case QEvent::WindowDeactivate:
      case QEvent::UngrabMouse: {
        s.ends_gesture = true;
        Record(s);
        return false;
      }
      default:
        return false;
    }
  }

 private:
  QElapsedTimer m_clock;
  bool m_recording = false;
};

CQtInputSource& QtSource() {
  static CQtInputSource source;
  return source;
}

CInputSource* g_source = nullptr;

}  // namespace

bool CInputSource::IsButtonStillDown(HWND) {
  if (!m_gesture) {
    m_gesture = true;
    m_ended = false;
    StartRecording();
  }
  if (m_queue.empty() && !m_ended) Pump();
  if (!m_queue.empty()) {
    InputSample next = std::move(m_queue.front());
    m_queue.pop_front();
    for (const PACKET& p : next.packets) TabletQueuePacket(p);
    if (next.ends_gesture) m_ended = true;
    m_current = std::move(next);
  } else if (!m_ended) {
    Idle();
  }
  if (m_ended) m_current.buttons = 0;
  UINT primary = g_swapped ? MK_RBUTTON : MK_LBUTTON;
  return (m_current.buttons & primary) != 0;
}

int16_t CInputSource::GetAsyncKeyState(int vk) const {
  UINT bit = 0;
  bool key = false;
  switch (vk) {
    case VK_LBUTTON:
      bit = MK_LBUTTON;
      break;
    case VK_RBUTTON:
      bit = MK_RBUTTON;
      break;
    case VK_MBUTTON:
      bit = MK_MBUTTON;
      break;
    case VK_SHIFT:
      bit = MK_SHIFT;
      key = true;
      break;
    case VK_CONTROL:
      bit = MK_CONTROL;
      key = true;
      break;
    case VK_MENU:
      bit = kInputAlt;
      key = true;
      break;
    default:
      return 0;
  }
  bool down = key ? (m_current.keys & bit) != 0 : (m_current.buttons & bit) != 0;
  return down ? static_cast<int16_t>(0x8000) : 0;
}

void CInputSource::NoteInput(const InputSample& sample) {
  if (!m_gesture) m_current = sample;
}

void CInputSource::BeginPress(HWND hwnd, const InputSample& sample) {
  if (m_pressDepth++ == 0) {
    m_pressWnd = hwnd;
    m_current = sample;
    m_current.packets.clear();
  }
}

void CInputSource::EndPress() {
  if (m_pressDepth == 0 || --m_pressDepth > 0) return;
  m_pressWnd = nullptr;
  if (!m_gesture) return;
  StopRecording();
  m_gesture = false;
  m_ended = false;
  // What the loop did not take was meant for it; nobody else gets it.
  m_queue.clear();
  std::vector<std::function<void()>> pending;
  pending.swap(g_afterGesture);
  for (auto& fn : pending) fn();
}

void CScriptedInputSource::Pump() {
  if (m_script.empty()) {
    // The script is over: the button counts as released and the clock
    // steps, so that loops waiting for time to pass end.
    InputSample s = m_current;
    s.packets.clear();
    s.buttons = 0;
    s.time = ++m_clock;
    Record(s);
    return;
  }
  InputSample s = std::move(m_script.front());
  m_script.pop_front();
  m_clock = std::max(m_clock, s.time);
  Record(std::move(s));
}

CInputSource& GetInputSource() {
  return g_source != nullptr ? *g_source : QtSource();
}

void SetInputSource(CInputSource* source) {
  g_source = source;
}

void SetMouseButtonsSwapped(bool swapped) {
  g_swapped = swapped;
}
bool AreMouseButtonsSwapped() {
  return g_swapped;
}

bool IsButtonStillDown(HWND hwnd) {
  return GetInputSource().IsButtonStillDown(hwnd);
}
CPoint GetCursorPos() {
  return GetInputSource().GetCursorPos();
}
int16_t GetAsyncKeyState(int vk) {
  return GetInputSource().GetAsyncKeyState(vk);
}
uint32_t GetTickCount() {
  return GetInputSource().GetTickCount();
}
bool IsGestureActive() {
  return GetInputSource().IsGestureActive();
}

void RunAfterGesture(std::function<void()> fn) {
  if (!IsGestureActive()) {
    fn();
    return;
  }
  g_afterGesture.push_back(std::move(fn));
}

UINT MouseButtonFlags(Qt::MouseButtons buttons) {
  UINT flags = 0;
  if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
  if (buttons & Qt::RightButton) flags |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) flags |= MK_MBUTTON;
  return flags;
}

UINT ModifierFlags(Qt::KeyboardModifiers mods) {
  UINT keys = 0;
  if (mods & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (mods & Qt::ControlModifier) keys |= MK_CONTROL;
  if (mods & Qt::AltModifier) keys |= kInputAlt;
  return keys;
}
