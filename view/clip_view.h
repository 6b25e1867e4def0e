// The views of the floating windows. A clip window shows a whole document
// (its pages or its symbols) in a small window of its own; the symbol window
// shows the document's symbols beside a list of them. Both draw the page
// whole and are not drawn into: the tools never see their clicks, a double
// click switches smoothing (the symbol window opens the symbol for editing
// instead), and they never become the active drawing view.
#pragma once

#include "platform/qt/cursors.h"
#include "view/marl_view.h"

// What a floating view asks of its frame window (the clip or symbol
// window's frame implements it).
class FloatingViewFrame {
 public:
  virtual ~FloatingViewFrame() = default;
  // A collapsed clip window shows only its caption.
  virtual bool IsCollapsed() const { return false; }
  // Set while the frame handles a click on its caption or border.
  virtual bool IsActivating() const = 0;
  virtual void ClearActivating() = 0;
  // The window's number among the document's windows (0: its only one).
  virtual int GetWindowNumber() const = 0;
  // The symbol window's list shows the document's symbols (or pages) again.
  virtual void RefreshSymbolList() {}
  // Opens the shown symbol for editing in a drawing window.
  virtual void EditShownSymbol() {}
};

// Lets the floating views take the keyboard focus however it comes to them
// (otherwise only while their frame handles a click on its caption).
void SetFloatingFocusAllowed(bool allowed);
bool IsFloatingFocusAllowed();

// The cursor resource shown over an object in a floating view.
constexpr int kDragObjectCursor = 1208;

class CClipView : public CMarlView {
  VM_DECLARE_DYNAMIC(CClipView)

 public:
  // The view's own first showing, then the whole page; the frame takes the
  // view's size (only ever smaller while symbols are shown).
  void OnInitialUpdate() override;
  // A floating view never becomes the active drawing view.
  void OnActivateView(bool, CView*, CView*) override {}
  // The cursor for a client point: the drag cursor over an object, else
  // the arrow.
  HCURSOR CursorAt(CPoint client) const;

 protected:
  bool IsClipView() const override { return true; }
  // The root drawn whole, as it prints.
  void DrawLayers(CRenderContext& rc) override;
  // Collapsed: the button face only.
  void OnDraw(CDC* dc) override;
  // The picture fits the new size (nothing while collapsed).
  void OnSize(UINT type, int cx, int cy) override;
  // Fits the picture to the window: the whole page.
  virtual void FitToWindow();
  // The tools never draw here; dragging objects out waits for the drag
  // source of the clipboard commands.
  void OnLButtonDown(UINT flags, CPoint point) override;
  // Switches between fast and smoothed drawing.
  void OnLButtonDblClk(UINT flags, CPoint point) override;
  void OnRButtonUp(UINT, CPoint) override {}
  BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
  // Taken only while the frame handles a click on its caption, or when
  // allowed for every floating view.
  void OnSetFocus(CWnd* oldWnd) override;
  bool MayTakeFocus() const;
  FloatingViewFrame* GetFloatingFrame() const;
};

class CSymbolView : public CClipView {
  VM_DECLARE_DYNAMIC(CSymbolView)

 public:
  // The tab strip, then the frame's symbol list.
  void RefreshPageTabs() override;

 protected:
  bool IsSymbolView() const override { return true; }
  // Everything drawn, in sight.
  void FitToWindow() override;
  // Opens the shown symbol for editing when the document has other windows.
  void OnLButtonDblClk(UINT flags, CPoint point) override;
  void OnSetFocus(CWnd* oldWnd) override;
};
