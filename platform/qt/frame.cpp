#include "platform/qt/frame.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>

#include "platform/qt/guard.h"
#include "platform/qt/input.h"
#include "platform/qt/message_box.h"
#include "platform/qt/wnd_widget.h"

VM_IMPLEMENT_DYNAMIC(CView, CWnd)
VM_IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)
VM_IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

namespace {

CWinApp* g_app = nullptr;
std::vector<CFrameWnd*> g_frames;

// Schedules the idle processing after each burst of events.
class IdleWatcher : public QObject {
 public:
  IdleWatcher() {
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [] { RunIdleNow(); });
    if (qApp != nullptr) qApp->installEventFilter(this);
  }
  ~IdleWatcher() override {
    if (qApp != nullptr) qApp->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj == &timer_ || timer_.isActive()) return false;
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseMove:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Timer:
        timer_.start();
        break;
      default:
        if (e->type() == CWndWidget::PostedMessageType()) timer_.start();
        break;
    }
    return false;
  }

 private:
  QTimer timer_;
};

std::unique_ptr<IdleWatcher> g_idle;

}  // namespace

// ---------------------------------------------------------------------------
// CView

CFrameWnd* CView::GetParentFrame() const {
  for (CWnd* w = GetParent(); w != nullptr; w = w->GetParent()) {
    if (auto* f = DynamicDowncast<CFrameWnd>(w)) return f;
  }
  return nullptr;
}

bool CView::OnCmdMsg(uint32_t id, CCmdUI* ui, bool probe) {
  if (CWnd::OnCmdMsg(id, ui, probe)) return true;
  return m_document != nullptr && m_document->OnCmdMsg(id, ui, probe);
}

void CView::OnActivateView(bool, CView*, CView*) {}

void CView::OnUpdate(CView*, LPARAM, CObject*) {
  if (GetSafeHwnd() != nullptr) Invalidate();
}

// ---------------------------------------------------------------------------
// CFrameWnd

CFrameWnd::CFrameWnd() {
  g_frames.push_back(this);
}

CFrameWnd::~CFrameWnd() {
  std::erase(g_frames, this);
}

CView* CFrameWnd::GetActiveView() const {
  return DynamicDowncast<CView>(CWnd::FromHandle(m_activeView));
}

void CFrameWnd::SetActiveView(CView* view) {
  CView* old = GetActiveView();
  if (old == view) return;
  m_activeView = view != nullptr ? view->GetSafeHwnd() : nullptr;
  if (old != nullptr) old->OnActivateView(false, view, old);
  if (view != nullptr) view->OnActivateView(true, view, old);
}

bool CFrameWnd::OnCmdMsg(uint32_t id, CCmdUI* ui, bool probe) {
  if (CView* view = GetActiveView(); view != nullptr && view->OnCmdMsg(id, ui, probe)) return true;
  if (CWnd::OnCmdMsg(id, ui, probe)) return true;
  CCmdTarget* app = GetAppCommandTarget();
  return app != nullptr && app->OnCmdMsg(id, ui, probe);
}

BOOL CFrameWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (IsGestureActive()) return 0;
  // A command with a disabled menu item or button is not carried out.
  CCmdUI state;
  state.m_nID = LOWORD(wParam);
  state.DoUpdate(this, m_bAutoMenuEnable);
  if (!state.m_enabled) return 0;
  return CWnd::OnCommand(wParam, lParam);
}

void CFrameWnd::AddControlBar(CControlBarBase* bar) {
  m_bars.push_back(bar);
}

void CFrameWnd::RemoveControlBar(CControlBarBase* bar) {
  std::erase(m_bars, bar);
}

void CFrameWnd::OnIdleUpdateCmdUI() {
  if (m_recalcPending) {
    m_recalcPending = false;
    RecalcLayout();
  }
  for (CControlBarBase* bar : m_bars) bar->OnUpdateCmdUI(this, m_bAutoMenuEnable);
}

void CFrameWnd::RecalcLayout() {}

bool CFrameWnd::LoadAccelTable(UINT id) {
  const std::vector<AcceleratorDef>* table = Resources().FindAccelerators(id);
  if (table == nullptr) return false;
  m_accel = *table;
  return true;
}

bool CFrameWnd::PreTranslateMessage(MSG* msg) {
  if (msg->message != WM_KEYDOWN || m_accel.empty()) return false;
  UINT mods = 0;
  if (GetAsyncKeyState(VK_SHIFT) < 0) mods |= kAccelShift;
  if (GetAsyncKeyState(VK_CONTROL) < 0) mods |= kAccelControl;
  if (GetAsyncKeyState(VK_MENU) < 0) mods |= kAccelAlt;
  for (const AcceleratorDef& a : m_accel) {
    if (a.vk == static_cast<int>(msg->wParam) && a.modifiers == mods) {
      SendMessage(WM_COMMAND, a.id, 0);
      return true;
    }
  }
  return false;
}

void CFrameWnd::IdleUpdateAll() {
  std::vector<HWND> frames;
  for (CFrameWnd* f : g_frames) {
    if (f->GetSafeHwnd() != nullptr && IsWindow(f->GetSafeHwnd()))
      frames.push_back(f->GetSafeHwnd());
  }
  for (HWND h : frames) {
    if (auto* f = DynamicDowncast<CFrameWnd>(CWnd::FromHandle(h))) f->OnIdleUpdateCmdUI();
  }
}

// ---------------------------------------------------------------------------
// CWinApp

CWinApp::CWinApp() {
  g_app = this;
  SetAppCommandTarget(this);
  SetWndProcExceptionHandler(
      [](std::exception_ptr e, UINT message) { g_app->ProcessWndProcException(e, message); });
  g_idle = std::make_unique<IdleWatcher>();
}

CWinApp::~CWinApp() {
  g_idle.reset();
  if (g_app == this) {
    g_app = nullptr;
    SetAppCommandTarget(nullptr);
    SetWndProcExceptionHandler(nullptr);
  }
}

bool CWinApp::OnIdle(long) {
  CFrameWnd::IdleUpdateAll();
  return false;
}

void CWinApp::ProcessWndProcException(std::exception_ptr e, UINT message) {
  DefaultWndProcException(e, message);
}

CWinApp* AfxGetApp() {
  return g_app;
}

void RunIdleNow() {
  if (IsGestureActive()) return;
  RunGuarded(0, [] {
    if (g_app == nullptr) {
      CFrameWnd::IdleUpdateAll();
      return;
    }
    for (long count = 0; count < 16 && g_app->OnIdle(count); ++count) {
    }
  });
}
