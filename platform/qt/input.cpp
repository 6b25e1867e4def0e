#include "platform/qt/input.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabletEvent>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/qt/messages.h"
#include "platform/qt/wnd_widget.h"

namespace {

bool g_swapped = false;
std::vector<std::function<void()>> g_afterGesture;

// The input source over Qt's event loop.
class CQtInputSource : public CInputSource, public QObject {
 public:
  uint32_t GetTickCount() override {
    if (!clock_.isValid()) clock_.start();
    return static_cast<uint32_t>(clock_.elapsed());
  }

 protected:
  void Pump() override {
    // Input of the gesture is recorded by the filter; timers and sockets wait.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::X11ExcludeTimers);
  }
  void Idle() override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
  void StartRecording() override {
    if (!recording_ && qApp != nullptr) {
      qApp->installEventFilter(this);
      recording_ = true;
    }
  }
  void StopRecording() override {
    if (recording_ && qApp != nullptr) qApp->removeEventFilter(this);
    recording_ = false;
  }

  bool eventFilter(QObject* obj, QEvent* e) override {
    if (!obj->isWidgetType()) return false;
    InputSample s = current_;
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
        s.endsGesture = true;
        Record(s);
        return false;
      }
      default:
        return false;
    }
  }

 private:
  QElapsedTimer clock_;
  bool recording_ = false;
};

CQtInputSource& QtSource() {
  static CQtInputSource source;
  return source;
}

CInputSource* g_source = nullptr;

}  // namespace

bool CInputSource::IsButtonStillDown(HWND) {
  if (!gesture_) {
    gesture_ = true;
    ended_ = false;
    StartRecording();
  }
  if (queue_.empty() && !ended_) Pump();
  if (!queue_.empty()) {
    InputSample next = std::move(queue_.front());
    queue_.pop_front();
    for (const PACKET& p : next.packets) TabletQueuePacket(p);
    if (next.endsGesture) ended_ = true;
    current_ = std::move(next);
  } else if (!ended_) {
    Idle();
  }
  if (ended_) current_.buttons = 0;
  UINT primary = g_swapped ? MK_RBUTTON : MK_LBUTTON;
  return (current_.buttons & primary) != 0;
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
  bool down = key ? (current_.keys & bit) != 0 : (current_.buttons & bit) != 0;
  return down ? static_cast<int16_t>(0x8000) : 0;
}

void CInputSource::NoteInput(const InputSample& sample) {
  if (!gesture_) current_ = sample;
}

void CInputSource::BeginPress(HWND hwnd, const InputSample& sample) {
  if (pressDepth_++ == 0) {
    pressWnd_ = hwnd;
    current_ = sample;
    current_.packets.clear();
  }
}

void CInputSource::EndPress() {
  if (pressDepth_ == 0 || --pressDepth_ > 0) return;
  pressWnd_ = nullptr;
  if (!gesture_) return;
  StopRecording();
  gesture_ = false;
  ended_ = false;
  // What the loop did not take was meant for it; nobody else gets it.
  queue_.clear();
  std::vector<std::function<void()>> pending;
  pending.swap(g_afterGesture);
  for (auto& fn : pending) fn();
}

void CScriptedInputSource::Pump() {
  if (script_.empty()) {
    // The script is over: the button counts as released.
    InputSample s = current_;
    s.packets.clear();
    s.buttons = 0;
    s.time = clock_;
    Record(s);
    return;
  }
  InputSample s = std::move(script_.front());
  script_.pop_front();
  clock_ = std::max(clock_, s.time);
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
