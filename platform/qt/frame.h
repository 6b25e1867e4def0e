// Frames, views and the application object: command routing and the
// command-update protocol.
//
// A command reaches, in this order, the active view, the view's document
// target, the frame and the application. Menu items are brought up to date
// before their menu opens, tool-bar buttons when the application is idle;
// with the frame's "disable when no handler" setting an item without any
// handler is disabled. Accelerator tables turn key-downs into commands
// before the window with the focus sees them.
#pragma once

#include <exception>
#include <vector>

#include "platform/qt/resources.h"
#include "platform/qt/wnd.h"

class CFrameWnd;

// Something a frame updates at idle time (tool bars).
class CControlBarBase {
 public:
  virtual ~CControlBarBase() = default;
  virtual void OnUpdateCmdUI(CFrameWnd* target, bool disableIfNoHandler) = 0;
};

class CView : public CWnd {
  VM_DECLARE_DYNAMIC(CView)

 public:
  // The document's command target (commands the view does not handle go there).
  CCmdTarget* GetDocumentTarget() const { return m_document; }
  void SetDocumentTarget(CCmdTarget* doc) { m_document = doc; }
  CFrameWnd* GetParentFrame() const;

  bool OnCmdMsg(uint32_t id, CCmdUI* ui, bool probe = false) override;
  // The frame made this view active or inactive.
  virtual void OnActivateView(bool activate, CView* activateView, CView* deactiveView);
  // The view's first update, once its window and document are there; by
  // default an update with no hint.
  virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
  // The document changed (hint and hint object say what; sender is the view
  // that made the change, if any). By default the window is redrawn.
  virtual void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject);

 private:
  CCmdTarget* m_document = nullptr;
};

class CFrameWnd : public CWnd {
  VM_DECLARE_DYNAMIC(CFrameWnd)

 public:
  CFrameWnd();
  ~CFrameWnd() override;

  CView* GetActiveView() const;
  void SetActiveView(CView* view);

  // View, document, frame, application.
  bool OnCmdMsg(uint32_t id, CCmdUI* ui, bool probe = false) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  // Disable menu items and buttons that no target handles (on by default).
  bool m_bAutoMenuEnable = true;

  // Tool bars updated at idle time.
  void AddControlBar(CControlBarBase* bar);
  void RemoveControlBar(CControlBarBase* bar);
  virtual void OnIdleUpdateCmdUI();

  // Lays out bars and the client area; DelayRecalcLayout asks for it at the
  // next idle moment (a frame's request to recalculate its layout).
  virtual void RecalcLayout();
  void DelayRecalcLayout() { m_recalcPending = true; }
  bool IsRecalcPending() const { return m_recalcPending; }

  // Accelerators: a table from the resource store, translated before the
  // window with the focus sees the key.
  bool LoadAccelTable(UINT id);
  void SetAccelerators(std::vector<AcceleratorDef> table) { m_accel = std::move(table); }
  bool PreTranslateMessage(MSG* msg) override;

  // The idle update of every live frame (menus are updated when they open).
  static void IdleUpdateAll();

 private:
  HWND m_activeView = nullptr;
  std::vector<CControlBarBase*> m_bars;
  std::vector<AcceleratorDef> m_accel;
  bool m_recalcPending = false;
};

// The application object: last in every command routing; its idle hook
// runs the frames' idle updates; its exception hook reports what escaped a
// handler. One per process, set up by its constructor.
class CWinApp : public CCmdTarget {
  VM_DECLARE_DYNAMIC(CWinApp)

 public:
  CWinApp();
  ~CWinApp() override;

  // Runs when the event queue has drained; returns true to be called again.
  virtual bool OnIdle(long count);
  virtual void ProcessWndProcException(std::exception_ptr e, UINT message);

  CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// Runs the idle processing at once (tests; the event loop runs it by itself
// after each burst of events).
void RunIdleNow();
