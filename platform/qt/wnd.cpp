#include "platform/qt/wnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTabletEvent>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "platform/qt/cursors.h"
#include "platform/qt/dc.h"
#include "platform/qt/guard.h"
#include "platform/qt/input.h"
#include "platform/qt/message_box.h"
#include "platform/qt/window_surface.h"
#include "platform/qt/wnd_widget.h"

// The record behind a window handle. Records are kept for the life of the
// process, so a handle of a destroyed window is still a valid value (it is
// dead: wnd is null).
struct WindowHandle {
  CWnd* wnd = nullptr;
  WNDPROC proc = nullptr;
};

namespace {

std::deque<std::unique_ptr<WindowHandle>>& Handles() {
  static std::deque<std::unique_ptr<WindowHandle>> handles;
  return handles;
}

int g_liveWindows = 0;
HWND g_capture = nullptr;
HWND g_activeView = nullptr;

std::vector<WindowClass>& Classes() {
  static std::vector<WindowClass> classes = {{"PL_Default", 0}};
  return classes;
}

// The window's own procedure: the bottom of every subclassing chain.
LRESULT BaseWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  return wnd != nullptr ? wnd->WindowProc(message, wParam, lParam) : 0;
}

CWnd* WndOf(WPARAM handle) {
  return CWnd::FromHandle(reinterpret_cast<HWND>(handle));
}

// A message posted to a window.
class PostedMessageEvent : public QEvent {
 public:
  PostedMessageEvent(HWND hwnd, UINT message, WPARAM w, LPARAM l)
      : QEvent(static_cast<QEvent::Type>(CWndWidget::PostedMessageType())),
        hwnd_(hwnd),
        message_(message),
        w_(w),
        l_(l) {}
  HWND hwnd_;
  UINT message_;
  WPARAM w_;
  LPARAM l_;
};

// Sends a message from an event of Qt: through the trampoline.
LRESULT GuardedSend(HWND hwnd, UINT message, WPARAM w = 0, LPARAM l = 0) {
  LRESULT result = 0;
  RunGuarded(message, [&] { result = SendMessage(hwnd, message, w, l); });
  return result;
}

// Offers the message to the window and its parents before dispatch.
bool PreTranslate(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  bool taken = false;
  RunGuarded(message, [&] {
    MSG msg{hwnd, message, w, l};
    for (CWnd* wnd = CWnd::FromHandle(hwnd); wnd != nullptr && !taken; wnd = wnd->GetParent())
      taken = wnd->PreTranslateMessage(&msg);
  });
  return taken;
}

// Shift and Control as the mouse messages' key flags.
UINT KeyFlags(Qt::KeyboardModifiers mods) {
  return ModifierFlags(mods) & (MK_SHIFT | MK_CONTROL);
}

int VirtualKey(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return VK_F1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      return VK_OEM_COMMA;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      return VK_OEM_PERIOD;
    default:
      return 0;
  }
}

// The character a key sends when Qt gives no text for it.
int ControlCharacter(int vk) {
  switch (vk) {
    case VK_BACK:
      return 8;
    case VK_TAB:
      return 9;
    case VK_RETURN:
      return 13;
    case VK_ESCAPE:
      return 27;
    default:
      return 0;
  }
}

constexpr int kScrollBarSize = 16;

}  // namespace

// ---------------------------------------------------------------------------
// Window classes

void RegisterWindowClass(std::string_view name, UINT style) {
  for (WindowClass& c : Classes()) {
    if (c.name == name) {
      c.style = style;
      return;
    }
  }
  Classes().push_back({std::string(name), style});
}

const WindowClass* FindWindowClass(std::string_view name) {
  for (const WindowClass& c : Classes()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

HWND FindWindowOfClass(std::string_view className) {
  for (const auto& h : Handles()) {
    if (h->wnd != nullptr && h->wnd->GetClassName() == className && h->wnd->GetParent() == nullptr)
      return h.get();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The widget

int CWndWidget::PostedMessageType() {
  static const int type = QEvent::registerEventType();
  return type;
}

CWndWidget::CWndWidget(CWnd* owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  InstallTabletProximityFilter();
}

CWndWidget::~CWndWidget() {
  if (m_owner != nullptr) m_owner->OnWidgetGone();
}

QScrollBar* CWndWidget::ScrollBar(int bar) {
  int i = bar == SB_VERT ? 1 : 0;
  if (m_bars[i] == nullptr) {
    auto* sb = new QScrollBar(i == 1 ? Qt::Vertical : Qt::Horizontal, this);
    sb->hide();
    UINT message = i == 1 ? WM_VSCROLL : WM_HSCROLL;
    QObject::connect(sb, &QAbstractSlider::actionTriggered, sb, [this, sb, message](int action) {
      if (m_owner == nullptr) return;
      UINT code = SB_ENDSCROLL;
      switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
          code = SB_LINEUP;
          break;
        case QAbstractSlider::SliderSingleStepAdd:
          code = SB_LINEDOWN;
          break;
        case QAbstractSlider::SliderPageStepSub:
          code = SB_PAGEUP;
          break;
        case QAbstractSlider::SliderPageStepAdd:
          code = SB_PAGEDOWN;
          break;
        case QAbstractSlider::SliderToMinimum:
          code = SB_TOP;
          break;
        case QAbstractSlider::SliderToMaximum:
          code = SB_BOTTOM;
          break;
        case QAbstractSlider::SliderMove:
          code = SB_THUMBTRACK;
          break;
        default:
          return;
      }
      // The bar itself does not move: the handler sets the position. The
      // message carries 16 bits of it; the whole is the bar's track position.
      int pos = sb->sliderPosition();
      sb->setSliderPosition(sb->value());
      m_owner->Bar(message == WM_VSCROLL ? SB_VERT : SB_HORZ).info.nTrackPos = pos;
      GuardedSend(m_owner->GetSafeHwnd(), message, MAKELPARAM(static_cast<int>(code), pos), 0);
    });
    QObject::connect(sb, &QAbstractSlider::sliderReleased, sb, [this, sb, message] {
      if (m_owner == nullptr) return;
      HWND hwnd = m_owner->GetSafeHwnd();
      m_owner->Bar(message == WM_VSCROLL ? SB_VERT : SB_HORZ).info.nTrackPos = sb->sliderPosition();
      GuardedSend(hwnd, message,
                  MAKELPARAM(static_cast<int>(SB_THUMBPOSITION), sb->sliderPosition()), 0);
      GuardedSend(hwnd, message, MAKELPARAM(static_cast<int>(SB_ENDSCROLL), 0), 0);
    });
    m_bars[i] = sb;
  }
  return m_bars[i];
}

void CWndWidget::LayoutScrollBars() {
  bool h = m_bars[0] != nullptr && !m_bars[0]->isHidden();
  bool v = m_bars[1] != nullptr && !m_bars[1]->isHidden();
  if (h)
    m_bars[0]->setGeometry(0, height() - kScrollBarSize, width() - (v ? kScrollBarSize : 0),
                           kScrollBarSize);
  if (v)
    m_bars[1]->setGeometry(width() - kScrollBarSize, 0, kScrollBarSize,
                           height() - (h ? kScrollBarSize : 0));
}

bool CWndWidget::event(QEvent* e) {
  if (m_owner == nullptr) {
    // A destroyed window: nothing reaches the system's code any more.
    if (e->type() == PostedMessageType()) return true;
    return QWidget::event(e);
  }
  ++m_eventDepth;
  QPointer<CWndWidget> self(this);
  bool handled = Translate(e);
  if (self.isNull()) return true;
  --m_eventDepth;
  if (handled) return true;
  return QWidget::event(e);
}

bool CWndWidget::Translate(QEvent* e) {
  HWND hwnd = m_owner->GetSafeHwnd();
  if (e->type() == PostedMessageType()) {
    auto* pm = static_cast<PostedMessageEvent*>(e);
    if (IsGestureActive()) {
      // Held back: the modal loop does not dispatch messages.
      HWND target = pm->hwnd_;
      UINT m = pm->message_;
      WPARAM w = pm->w_;
      LPARAM l = pm->l_;
      RunAfterGesture([target, m, w, l] { PostMessage(target, m, w, l); });
      return true;
    }
    GuardedSend(pm->hwnd_, pm->message_, pm->w_, pm->l_);
    return true;
  }
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      MouseMessage(e);
      return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      KeyMessage(e);
      return true;
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: {
      TabletNoteEvent(*static_cast<QTabletEvent*>(e), screen());
      return false;  // Qt then makes the mouse events from it
    }
    case QEvent::FocusIn:
      GuardedSend(hwnd, WM_SETFOCUS);
      return true;
    case QEvent::FocusOut:
      GuardedSend(hwnd, WM_KILLFOCUS);
      return true;
    case QEvent::Resize: {
      m_owner->NoteInvalidate(true);  // the new area is erased
      LayoutScrollBars();
      CRect client = m_owner->GetClientRect();
      // Where the scroll bars were may now be client area: the surface there
      // holds no picture of the window.
      const QSize old = static_cast<QResizeEvent*>(e)->oldSize();
      if (old.isValid()) {
        const int barW = m_owner->Bar(SB_VERT).shown ? kScrollBarSize : 0;
        const int barH = m_owner->Bar(SB_HORZ).shown ? kScrollBarSize : 0;
        const CRect strips[] = {CRect(old.width() - barW, 0, old.width(), old.height()),
                                CRect(0, old.height() - barH, old.width(), old.height())};
        for (const CRect& strip : strips) {
          CRect fresh;
          if (fresh.IntersectRect(strip, client)) m_owner->InvalidateRect(&fresh, true);
        }
      }
      UINT type = isWindow() && isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
      GuardedSend(hwnd, WM_SIZE, type, MAKELPARAM(client.Width(), client.Height()));
      return true;
    }
    case QEvent::Move:
      GuardedSend(hwnd, WM_MOVE, 0, MAKELPARAM(x(), y()));
      return true;
    case QEvent::Show:
      GuardedSend(hwnd, WM_SHOWWINDOW, 1, 0);
      return false;
    case QEvent::Hide:
      GuardedSend(hwnd, WM_SHOWWINDOW, 0, 0);
      return false;
    case QEvent::WindowActivate:
      if (isWindow()) GuardedSend(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
      return false;
    case QEvent::WindowDeactivate:
      if (isWindow()) GuardedSend(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
      return false;
    case QEvent::Close:
      // The handler decides (the default destroys the window).
      e->ignore();
      GuardedSend(hwnd, WM_CLOSE);
      return true;
    case QEvent::Timer: {
      int qtId = static_cast<QTimerEvent*>(e)->timerId();
      for (const auto& [id, tid] : m_owner->m_timers) {
        if (tid != qtId) continue;
        UINT_PTR programId = id;
        if (IsGestureActive()) {
          // Ticks during a gesture are held back and delivered once.
          static std::vector<std::pair<HWND, UINT_PTR>> pending;
          auto key = std::make_pair(hwnd, programId);
          if (std::find(pending.begin(), pending.end(), key) == pending.end()) {
            pending.push_back(key);
            RunAfterGesture([key] {
              std::erase(pending, key);
              CWnd* w = CWnd::FromHandle(key.first);
              if (w != nullptr && w->HasTimer(key.second)) w->PostMessage(WM_TIMER, key.second);
            });
          }
          return true;
        }
        GuardedSend(hwnd, WM_TIMER, programId, 0);
        return true;
      }
      return false;
    }
    case QEvent::Paint: {
      auto* pe = static_cast<QPaintEvent*>(e);
      if (m_paintHook) {
        QRegion r = pe->region();
        RunGuarded(WM_PAINT, [&] { m_paintHook(r); });
      } else {
        GuardedSend(hwnd, WM_PAINT);
      }
      return true;
    }
    case QEvent::ContextMenu:
      return true;  // made from the right button's release instead
    case QEvent::Leave:
      // The cursor a window set stays inside it (and with the wait cursor or
      // a capture); elsewhere the widgets show their own.
      if (WaitCursorCount() == 0 && g_capture == nullptr) ReleaseCursorOverride();
      return false;
    default:
      return false;
  }
}

void CWndWidget::MouseMessage(QEvent* e) {
  auto* me = static_cast<QMouseEvent*>(e);
  HWND hwnd = m_owner->GetSafeHwnd();
  QPoint local = me->position().toPoint();
  QPoint global = me->globalPosition().toPoint();
  UINT flags = MouseButtonFlags(me->buttons()) | KeyFlags(me->modifiers());
  LPARAM l = MAKELPARAM(local.x(), local.y());

  InputSample sample;
  sample.time = GetInputSource().GetTickCount();
  sample.screen = {global.x(), global.y()};
  sample.buttons = MouseButtonFlags(me->buttons());
  sample.keys = ModifierFlags(me->modifiers());

  // The captured window receives the mouse wherever it is.
  HWND target = hwnd;
  if (g_capture != nullptr && g_capture != hwnd && CWnd::FromHandle(g_capture) != nullptr) {
    CWnd* cap = CWnd::FromHandle(g_capture);
    CPoint p = cap->ScreenToClient({global.x(), global.y()});
    l = MAKELPARAM(p.x, p.y);
    target = g_capture;
  }

  UINT message = WM_MOUSEMOVE;
  bool press = false;
  Qt::MouseButton b = me->button();
  bool dblclk = e->type() == QEvent::MouseButtonDblClick;
  if (dblclk) {
    const WindowClass* cls = FindWindowClass(CWnd::FromHandle(target)->GetClassName());
    if (cls == nullptr || (cls->style & CS_DBLCLKS) == 0) dblclk = false;  // a second press
  }
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      press = true;
      if (b == Qt::LeftButton) message = dblclk ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
      if (b == Qt::RightButton) message = dblclk ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
      if (b == Qt::MiddleButton) message = dblclk ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN;
      break;
    case QEvent::MouseButtonRelease:
      if (b == Qt::LeftButton) message = WM_LBUTTONUP;
      if (b == Qt::RightButton) message = WM_RBUTTONUP;
      if (b == Qt::MiddleButton) message = WM_MBUTTONUP;
      break;
    default:
      break;
  }
  CInputSource& input = GetInputSource();
  if (PreTranslate(target, message, flags, l)) return;
  if (press) {
    input.BeginPress(target, sample);
    GuardedSend(target, message, flags, l);
    input.EndPress();
    return;
  }
  input.NoteInput(sample);
  // While the wait cursor shows, no window is asked for its cursor.
  if (message == WM_MOUSEMOVE && WaitCursorCount() == 0)
    GuardedSend(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                MAKELPARAM(static_cast<int>(HTCLIENT), static_cast<int>(WM_MOUSEMOVE)));
  GuardedSend(target, message, flags, l);
}

void CWndWidget::KeyMessage(QEvent* e) {
  auto* ke = static_cast<QKeyEvent*>(e);
  HWND hwnd = m_owner->GetSafeHwnd();
  int vk = VirtualKey(ke->key());
  InputSample sample = GetInputSource().Current();
  sample.time = GetInputSource().GetTickCount();
  sample.keys = ModifierFlags(ke->modifiers());
  GetInputSource().NoteInput(sample);
  if (e->type() == QEvent::KeyRelease) {
    // Auto-repeat sends key-downs only; the key-up comes once at the end.
    if (ke->isAutoRepeat()) return;
    if (vk != 0) GuardedSend(hwnd, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    return;
  }
  LPARAM l = 1 | (ke->isAutoRepeat() ? (1 << 30) : 0);
  if (vk != 0 && PreTranslate(hwnd, WM_KEYDOWN, vk, l)) return;
  if (vk != 0) GuardedSend(hwnd, WM_KEYDOWN, vk, l);
  if (m_owner == nullptr) return;
  QString text = ke->text();
  bool control = ke->modifiers() & Qt::ControlModifier;
  if (control && vk >= 'A' && vk <= 'Z') {
    GuardedSend(hwnd, WM_CHAR, static_cast<WPARAM>(vk & 0x1F), l);
  } else if (!text.isEmpty()) {
    for (QChar c : text) GuardedSend(hwnd, WM_CHAR, c.unicode(), l);
  } else if (int c = ControlCharacter(vk); c != 0) {
    GuardedSend(hwnd, WM_CHAR, static_cast<WPARAM>(c), l);
  }
}

// ---------------------------------------------------------------------------
// CWnd

VM_IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_hwnd != nullptr && m_hwnd->wnd == this) DestroyWindow();
}

bool CWnd::Create(std::string_view className, std::string_view title, DWORD style,
                  const CRect& rect, CWnd* parent, UINT id) {
  if (m_hwnd != nullptr && m_hwnd->wnd == this) return false;
  if (FindWindowClass(className) == nullptr) return false;
  Handles().push_back(std::make_unique<WindowHandle>());
  m_hwnd = Handles().back().get();
  m_hwnd->wnd = this;
  m_hwnd->proc = &BaseWindowProc;
  ++g_liveWindows;
  m_className = className;
  m_style = style;
  m_id = id;
  m_widget = new CWndWidget(this, parent != nullptr ? parent->GetWidget() : nullptr);
  m_widget->setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
  m_widget->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
  m_surface = std::make_unique<CWindowSurface>(m_widget);
  m_widget->SetPaintHook([this](const QRegion& region) { PaintFromSurface(region); });
  if (style & WS_HSCROLL) ShowScrollBar(SB_HORZ, true);
  if (style & WS_VSCROLL) ShowScrollBar(SB_VERT, true);
  HWND self = m_hwnd;
  LRESULT created = -1;
  RunGuarded(WM_CREATE, [&] { created = ::SendMessage(self, WM_CREATE); });
  if (created == -1) {
    if (FromHandle(self) == this) DestroyWindow();
    return false;
  }
  if (FromHandle(self) != this) return false;
  CRect client = GetClientRect();
  SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.Width(), client.Height()));
  if (style & WS_VISIBLE) m_widget->show();
  return true;
}

bool CWnd::DestroyWindow() {
  if (m_hwnd == nullptr || m_hwnd->wnd != this) return false;
  // Children first, as they go with their parent.
  for (QObject* child : m_widget->children()) {
    auto* cw = dynamic_cast<CWndWidget*>(child);
    if (cw != nullptr && cw->Owner() != nullptr) cw->Owner()->DestroyWindow();
  }
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) m_widget->killTimer(it->second);
  m_timers.clear();
  HWND self = m_hwnd;
  RunGuarded(WM_DESTROY, [&] { ::SendMessage(self, WM_DESTROY); });
  if (g_capture == self) g_capture = nullptr;
  if (g_activeView == self) g_activeView = nullptr;
  CWndWidget* w = m_widget;
  m_surface.reset();
  OnWidgetGone();
  if (w != nullptr) {
    w->Detach();
    w->hide();
    if (w->InEvent()) {
      w->deleteLater();
    } else {
      delete w;
    }
  }
  return true;
}

void CWnd::PaintFromSurface(const QRegion& region) {
  CWindowSurface* s = m_surface.get();
  if (s == nullptr) return;
  if (s->NeedsPaint() && !s->Flushing()) {
    HWND self = m_hwnd;
    if (!std::exchange(m_noErase, false)) {
      CDC erase;
      erase.AttachImage(&s->Image());
      QRect b = s->InvalidRegion().boundingRect();
      erase.IntersectClipRect(b.left(), b.top(), b.right() + 1, b.bottom() + 1);
      ::SendMessage(self, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&erase), 0);
    }
    if (FromHandle(self) != this) return;
    ::SendMessage(self, WM_PAINT);
    if (FromHandle(self) != this) return;
    // A handler that painted nothing leaves nothing to paint (the default).
    s->ValidateAll();
  }
  s->CopyToScreen(region);
}

void CWnd::OnWidgetGone() {
  if (m_hwnd != nullptr && m_hwnd->wnd == this) {
    m_hwnd->wnd = nullptr;
    --g_liveWindows;
  }
  m_widget = nullptr;
}

QWidget* CWnd::GetWidget() const {
  return m_widget;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  return hwnd != nullptr ? hwnd->wnd : nullptr;
}

CWnd* CWnd::GetParent() const {
  if (m_widget == nullptr) return nullptr;
  auto* p = dynamic_cast<CWndWidget*>(m_widget->parentWidget());
  return p != nullptr ? p->Owner() : nullptr;
}

void CWnd::ModifyStyle(DWORD remove, DWORD add) {
  m_style = (m_style & ~remove) | add;
  if ((remove | add) & WS_HSCROLL) ShowScrollBar(SB_HORZ, (m_style & WS_HSCROLL) != 0);
  if ((remove | add) & WS_VSCROLL) ShowScrollBar(SB_VERT, (m_style & WS_VSCROLL) != 0);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hwnd, message, wParam, lParam);
}

bool CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hwnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_hwnd, m_curMsg, m_curW, m_curL);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM w, LPARAM l) {
  struct Saved {
    CWnd* wnd;
    UINT m;
    WPARAM w;
    LPARAM l;
    ~Saved() {
      wnd->m_curMsg = m;
      wnd->m_curW = w;
      wnd->m_curL = l;
    }
  } saved{this, m_curMsg, m_curW, m_curL};
  m_curMsg = message;
  m_curW = w;
  m_curL = l;
  CPoint pt(GET_X_LPARAM(l), GET_Y_LPARAM(l));
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(reinterpret_cast<CDC*>(w));
    case WM_SIZE:
      OnSize(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
      return 0;
    case WM_MOVE:
      OnMove(pt.x, pt.y);
      return 0;
    case WM_SHOWWINDOW:
      OnShowWindow(static_cast<BOOL>(w), static_cast<UINT>(l));
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(w), WndOf(static_cast<WPARAM>(l)), HIWORD(w));
      return 0;
    case WM_SETFOCUS:
      OnSetFocus(WndOf(w));
      return 0;
    case WM_KILLFOCUS:
      OnKillFocus(WndOf(w));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_TIMER:
      OnTimer(w);
      return 0;
    case WM_KEYDOWN:
      OnKeyDown(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
      return 0;
    case WM_KEYUP:
      OnKeyUp(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
      return 0;
    case WM_CHAR:
      OnChar(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(w), pt);
      return 0;
    case WM_LBUTTONDOWN:
      OnLButtonDown(static_cast<UINT>(w), pt);
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp(static_cast<UINT>(w), pt);
      return 0;
    case WM_LBUTTONDBLCLK:
      OnLButtonDblClk(static_cast<UINT>(w), pt);
      return 0;
    case WM_RBUTTONDOWN:
      OnRButtonDown(static_cast<UINT>(w), pt);
      return 0;
    case WM_RBUTTONUP:
      OnRButtonUp(static_cast<UINT>(w), pt);
      return 0;
    case WM_RBUTTONDBLCLK:
      OnRButtonDblClk(static_cast<UINT>(w), pt);
      return 0;
    case WM_HSCROLL:
      OnHScroll(LOWORD(w), static_cast<UINT>(static_cast<int16_t>(HIWORD(w))),
                WndOf(static_cast<WPARAM>(l)));
      return 0;
    case WM_VSCROLL:
      OnVScroll(LOWORD(w), static_cast<UINT>(static_cast<int16_t>(HIWORD(w))),
                WndOf(static_cast<WPARAM>(l)));
      return 0;
    case WM_SETCURSOR:
      return OnSetCursor(WndOf(w), LOWORD(l), HIWORD(l));
    case WM_CONTEXTMENU:
      OnContextMenu(WndOf(w), pt);
      return 0;
    case WM_COMMAND:
      return OnCommand(w, l);
    case WM_SYSCOLORCHANGE:
      OnSysColorChange();
      return 0;
    case WM_DISPLAYCHANGE:
      OnDisplayChange(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
      return 0;
    case WM_CANCELMODE:
      OnCancelMode();
      return 0;
    case WM_CAPTURECHANGED:
      OnCaptureChanged(WndOf(static_cast<WPARAM>(l)));
      return 0;
    case WM_DRAWITEM:
      OnDrawItem(static_cast<int>(w), reinterpret_cast<DRAWITEMSTRUCT*>(l));
      return 1;
    case WM_MEASUREITEM:
      OnMeasureItem(static_cast<int>(w), reinterpret_cast<MEASUREITEMSTRUCT*>(l));
      return 1;
    default:
      return DefWindowProc(m_hwnd, message, w, l);
  }
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
  // Commands wait for no gesture: a modal loop does not dispatch them.
  if (IsGestureActive()) return 0;
  return OnCmdMsg(LOWORD(wParam), nullptr) ? 1 : 0;
}

int CWnd::OnCreate() {
  return static_cast<int>(Default());
}
void CWnd::OnDestroy() {
  Default();
}
void CWnd::OnPaint() {
  Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
  return static_cast<BOOL>(Default());
}
void CWnd::OnSize(UINT, int, int) {
  Default();
}
void CWnd::OnMove(int, int) {
  Default();
}
void CWnd::OnShowWindow(BOOL, UINT) {
  Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL) {
  Default();
}
void CWnd::OnSetFocus(CWnd*) {
  Default();
}
void CWnd::OnKillFocus(CWnd*) {
  Default();
}
void CWnd::OnClose() {
  Default();
}
void CWnd::OnTimer(UINT_PTR) {
  Default();
}
void CWnd::OnKeyDown(UINT, UINT, UINT) {
  Default();
}
void CWnd::OnKeyUp(UINT, UINT, UINT) {
  Default();
}
void CWnd::OnChar(UINT, UINT, UINT) {
  Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
  Default();
}
void CWnd::OnRButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnRButtonUp(UINT, CPoint) {
  Default();
}
void CWnd::OnRButtonDblClk(UINT, CPoint) {
  Default();
}
void CWnd::OnHScroll(UINT, UINT, CWnd*) {
  Default();
}
void CWnd::OnVScroll(UINT, UINT, CWnd*) {
  Default();
}
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) {
  return static_cast<BOOL>(Default());
}
void CWnd::OnContextMenu(CWnd*, CPoint) {
  Default();
}
void CWnd::OnSysColorChange() {
  Default();
}
void CWnd::OnDisplayChange(UINT, int, int) {
  Default();
}
void CWnd::OnCancelMode() {
  Default();
}
void CWnd::OnDrawItem(int, DRAWITEMSTRUCT*) {
  Default();
}
void CWnd::OnMeasureItem(int, MEASUREITEMSTRUCT*) {
  Default();
}
void CWnd::OnCaptureChanged(CWnd*) {
  Default();
}

// Geometry -------------------------------------------------------------------

CRect CWnd::GetClientRect() const {
  if (m_widget == nullptr) return {};
  int w = m_widget->width() - (Bar(SB_VERT).shown ? kScrollBarSize : 0);
  int h = m_widget->height() - (Bar(SB_HORZ).shown ? kScrollBarSize : 0);
  return {0, 0, std::max(w, 0), std::max(h, 0)};
}

CRect CWnd::GetWindowRect() const {
  if (m_widget == nullptr) return {};
  QPoint tl = m_widget->mapToGlobal(QPoint(0, 0));
  return {tl.x(), tl.y(), tl.x() + m_widget->width(), tl.y() + m_widget->height()};
}

CPoint CWnd::ClientToScreen(CPoint p) const {
  if (m_widget == nullptr) return p;
  QPoint g = m_widget->mapToGlobal(QPoint(p.x, p.y));
  return {g.x(), g.y()};
}

CPoint CWnd::ScreenToClient(CPoint p) const {
  if (m_widget == nullptr) return p;
  QPoint l = m_widget->mapFromGlobal(QPoint(p.x, p.y));
  return {l.x(), l.y()};
}

void CWnd::MoveWindow(const CRect& rect, bool repaint) {
  if (m_widget == nullptr) return;
  m_widget->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
  if (repaint) m_widget->update();
}

bool CWnd::ShowWindow(int cmd) {
  if (m_widget == nullptr) return false;
  bool was = m_widget->isVisible();
  switch (cmd) {
    case SW_HIDE:
      m_widget->hide();
      m_style &= ~WS_VISIBLE;
      break;
    case SW_SHOWMAXIMIZED:
      m_widget->showMaximized();
      m_style |= WS_VISIBLE;
      break;
    default:
      m_widget->show();
      m_style |= WS_VISIBLE;
      break;
  }
  return was;
}

bool CWnd::IsWindowVisible() const {
  return m_widget != nullptr && m_widget->isVisible();
}

void CWnd::SetWindowText(std::string_view text) {
  if (m_widget != nullptr)
    m_widget->setWindowTitle(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string CWnd::GetWindowText() const {
  return m_widget != nullptr ? m_widget->windowTitle().toStdString() : std::string();
}

void CWnd::EnableWindow(bool enable) {
  if (m_widget != nullptr) m_widget->setEnabled(enable);
}

bool CWnd::IsWindowEnabled() const {
  return m_widget != nullptr && m_widget->isEnabled();
}

void CWnd::NoteInvalidate(bool erase) {
  if (m_surface == nullptr) return;
  m_noErase = erase ? false : (m_noErase || !m_surface->NeedsPaint());
}

void CWnd::Invalidate(bool erase) {
  if (m_surface == nullptr) return;
  NoteInvalidate(erase);
  m_surface->InvalidateAll();
}

void CWnd::InvalidateRect(const CRect* rect, bool erase) {
  if (m_widget == nullptr) return;
  if (rect == nullptr) {
    Invalidate(erase);
    return;
  }
  if (m_surface == nullptr) return;
  NoteInvalidate(erase);
  m_surface->Invalidate(*rect);
}

void CWnd::ValidateRect(const CRect* rect) {
  if (m_surface == nullptr) return;
  if (rect == nullptr) {
    m_surface->ValidateAll();
  } else {
    m_surface->Validate(*rect);
  }
}

void CWnd::UpdateWindow() {
  if (m_surface != nullptr) m_surface->UpdateNow();
}

// Timers ---------------------------------------------------------------------

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) {
  if (m_widget == nullptr) return 0;
  KillTimer(id);
  int tid = m_widget->startTimer(static_cast<int>(elapseMs), Qt::PreciseTimer);
  if (tid == 0) return 0;
  m_timers[id] = tid;
  return id;
}

bool CWnd::KillTimer(UINT_PTR id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return false;
  if (m_widget != nullptr) m_widget->killTimer(it->second);
  m_timers.erase(it);
  return true;
}

bool CWnd::HasTimer(UINT_PTR id) const {
  return m_timers.count(id) != 0;
}

// Capture, focus, activation ------------------------------------------------------

CWnd* CWnd::SetCapture() {
  return FromHandle(::SetCapture(m_hwnd));
}

CWnd* CWnd::SetFocus() {
  return FromHandle(::SetFocus(m_hwnd));
}

void CWnd::SetActiveWindow() {
  if (m_widget != nullptr) m_widget->window()->activateWindow();
}

CWnd* CWnd::GetTopLevelParent() {
  CWnd* w = this;
  while (w->GetParent() != nullptr) w = w->GetParent();
  return w;
}

// Scroll bars ------------------------------------------------------------------------

namespace {
void ClampScroll(SCROLLINFO& si) {
  int maxPos = si.nMax - std::max(static_cast<int>(si.nPage) - 1, 0);
  si.nPos = std::clamp(si.nPos, si.nMin, std::max(si.nMin, maxPos));
}
}  // namespace

bool CWnd::SetScrollInfo(int bar, const SCROLLINFO& info, bool) {
  ScrollBarState& s = Bar(bar);
  if (info.fMask & SIF_RANGE) {
    s.info.nMin = info.nMin;
    s.info.nMax = info.nMax;
  }
  if (info.fMask & SIF_PAGE) {
    s.info.nPage =
        std::min<UINT>(info.nPage, static_cast<UINT>(std::max(s.info.nMax - s.info.nMin + 1, 0)));
  }
  if (info.fMask & SIF_POS) s.info.nPos = info.nPos;
  ClampScroll(s.info);
  if (m_widget != nullptr && s.shown) {
    QScrollBar* sb = m_widget->ScrollBar(bar);
    sb->setRange(s.info.nMin, std::max(s.info.nMin, GetScrollLimit(bar)));
    sb->setPageStep(static_cast<int>(s.info.nPage));
    sb->setValue(s.info.nPos);
  }
  return true;
}

bool CWnd::GetScrollInfo(int bar, SCROLLINFO* info, UINT mask) const {
  *info = Bar(bar).info;
  info->fMask = mask;
  return true;
}

int CWnd::SetScrollPos(int bar, int pos, bool redraw) {
  int old = Bar(bar).info.nPos;
  SCROLLINFO si;
  si.fMask = SIF_POS;
  si.nPos = pos;
  SetScrollInfo(bar, si, redraw);
  return old;
}

int CWnd::GetScrollPos(int bar) const {
  return Bar(bar).info.nPos;
}

void CWnd::SetScrollRange(int bar, int minPos, int maxPos, bool redraw) {
  SCROLLINFO si;
  si.fMask = SIF_RANGE;
  si.nMin = minPos;
  si.nMax = maxPos;
  SetScrollInfo(bar, si, redraw);
}

void CWnd::GetScrollRange(int bar, int* minPos, int* maxPos) const {
  *minPos = Bar(bar).info.nMin;
  *maxPos = Bar(bar).info.nMax;
}

int CWnd::GetScrollLimit(int bar) const {
  const SCROLLINFO& si = Bar(bar).info;
  return std::max(si.nMax - std::max(static_cast<int>(si.nPage) - 1, 0), si.nMin);
}

void CWnd::ShowScrollBar(int bar, bool show) {
  if (bar == SB_BOTH) {
    ShowScrollBar(SB_HORZ, show);
    ShowScrollBar(SB_VERT, show);
    return;
  }
  ScrollBarState& s = Bar(bar);
  if (s.shown == show) return;
  const CRect before = GetClientRect();
  s.shown = show;
  DWORD bit = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
  m_style = show ? (m_style | bit) : (m_style & ~bit);
  if (m_widget == nullptr) return;
  QScrollBar* sb = m_widget->ScrollBar(bar);
  sb->setVisible(show);
  m_widget->LayoutScrollBars();
  if (show) SetScrollInfo(bar, s.info);
  // The client area changed size; where a hidden bar was is to be painted.
  CRect client = GetClientRect();
  if (!show) {
    const CRect fresh = bar == SB_VERT ? CRect(before.right, 0, client.right, client.bottom)
                                       : CRect(0, before.bottom, client.right, client.bottom);
    if (!fresh.IsRectEmpty()) InvalidateRect(&fresh, true);
  }
  SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.Width(), client.Height()));
}

void CWnd::EnableScrollBarCtrl(int bar, bool enable) {
  if (bar == SB_BOTH) {
    EnableScrollBarCtrl(SB_HORZ, enable);
    EnableScrollBarCtrl(SB_VERT, enable);
    return;
  }
  Bar(bar).enabled = enable;
  ShowScrollBar(bar, enable);
}

void CWnd::ScrollWindow(int dx, int dy, const CRect* scroll, const CRect* clip) {
  if (m_widget == nullptr) return;
  CRect client = GetClientRect();
  NoteInvalidate(true);  // the uncovered area is erased
  m_surface->ScrollWindow(dx, dy, scroll != nullptr ? scroll : &client, clip);
}

// ---------------------------------------------------------------------------
// Free functions

int GetSystemMetrics(int index) {
  return index == SM_CXVSCROLL || index == SM_CYHSCROLL ? kScrollBarSize : 0;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd == nullptr || hwnd->wnd == nullptr) return 0;
  return hwnd->proc(hwnd, message, wParam, lParam);
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (wnd == nullptr || wnd->GetWidget() == nullptr) return false;
  QCoreApplication::postEvent(wnd->GetWidget(),
                              new PostedMessageEvent(hwnd, message, wParam, lParam));
  return true;
}

namespace {
// The child windows of wnd, in creation order, then theirs.
void CollectDescendants(CWnd* wnd, std::vector<HWND>& out) {
  if (wnd->GetWidget() == nullptr) return;
  for (QObject* child : wnd->GetWidget()->children()) {
    auto* cw = dynamic_cast<CWndWidget*>(child);
    if (cw == nullptr || cw->Owner() == nullptr) continue;
    out.push_back(cw->Owner()->GetSafeHwnd());
    CollectDescendants(cw->Owner(), out);
  }
}
}  // namespace

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (wnd == nullptr) return 0;
  switch (message) {
    case WM_DISPLAYCHANGE:
      // A top-level window passes the screen-mode notice on to every window
      // inside it (the views redraw with the new palette).
      if (wnd->GetParent() == nullptr) {
        std::vector<HWND> children;
        CollectDescendants(wnd, children);
        for (HWND child : children) SendMessage(child, message, wParam, lParam);
      }
      return 0;
    case WM_CLOSE:
      wnd->DestroyWindow();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_RBUTTONUP: {
      CPoint screen = wnd->ClientToScreen({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return SendMessage(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd),
                         MAKELPARAM(screen.x, screen.y));
    }
    case WM_SETCURSOR:
    case WM_CONTEXTMENU:
      // A child lets its parent decide first.
      if (CWnd* parent = wnd->GetParent(); parent != nullptr)
        return SendMessage(parent->GetSafeHwnd(), message, wParam, lParam);
      // Nobody set a cursor for the client area: the class cursor, which is
      // the arrow (the widgets' own cursor).
      if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT) ReleaseCursorOverride();
      return 0;
    default:
      return 0;
  }
}

WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc) {
  if (hwnd == nullptr || hwnd->wnd == nullptr || proc == nullptr) return nullptr;
  WNDPROC old = hwnd->proc;
  hwnd->proc = proc;
  return old;
}

WNDPROC GetWindowProc(HWND hwnd) {
  return hwnd != nullptr && hwnd->wnd != nullptr ? hwnd->proc : nullptr;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (proc == nullptr || hwnd == nullptr || hwnd->wnd == nullptr) return 0;
  return proc(hwnd, message, wParam, lParam);
}

bool IsWindow(HWND hwnd) {
  return CWnd::FromHandle(hwnd) != nullptr;
}

HWND SetCapture(HWND hwnd) {
  HWND old = g_capture;
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (wnd == nullptr) return old;
  g_capture = hwnd;
  if (old != nullptr && old != hwnd)
    SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

bool ReleaseCapture() {
  HWND old = g_capture;
  g_capture = nullptr;
  if (old != nullptr) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() {
  return CWnd::FromHandle(g_capture) != nullptr ? g_capture : nullptr;
}

HWND SetFocus(HWND hwnd) {
  HWND old = GetFocus();
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (wnd != nullptr && wnd->GetWidget() != nullptr)
    wnd->GetWidget()->setFocus(Qt::OtherFocusReason);
  return old;
}

HWND GetFocus() {
  auto* w = dynamic_cast<CWndWidget*>(QApplication::focusWidget());
  return w != nullptr && w->Owner() != nullptr ? w->Owner()->GetSafeHwnd() : nullptr;
}

HWND GetActiveWindow() {
  auto* w = dynamic_cast<CWndWidget*>(QApplication::activeWindow());
  return w != nullptr && w->Owner() != nullptr ? w->Owner()->GetSafeHwnd() : nullptr;
}

void SetActiveViewWindow(HWND hwnd) {
  g_activeView = hwnd;
}

HWND GetActiveViewWindow() {
  return IsWindow(g_activeView) ? g_activeView : nullptr;
}

void ReturnActivationToView() {
  CWnd* view = CWnd::FromHandle(GetActiveViewWindow());
  if (view == nullptr) return;
  view->GetTopLevelParent()->SetActiveWindow();
  view->SetFocus();
}

namespace {
void Broadcast(UINT message, WPARAM w, LPARAM l) {
  std::vector<HWND> tops;
  for (const auto& h : Handles()) {
    if (h->wnd != nullptr && h->wnd->GetParent() == nullptr) tops.push_back(h.get());
  }
  for (HWND h : tops) RunGuarded(message, [&] { SendMessage(h, message, w, l); });
}
}  // namespace

void BroadcastDisplayChange(UINT bitsPerPixel, int cx, int cy) {
  Broadcast(WM_DISPLAYCHANGE, bitsPerPixel, MAKELPARAM(cx, cy));
}

void BroadcastSysColorChange() {
  Broadcast(WM_SYSCOLORCHANGE, 0, 0);
}

int LiveWindowCount() {
  return g_liveWindows;
}
