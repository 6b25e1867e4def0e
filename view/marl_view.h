// The drawing view's window: an offscreen view over the view state
// (view/core/view_state.h), which it serves as its host (client size, scroll
// bars, invalidation). It draws the edit context at the current frame into
// its offscreen bitmap and changes frames by redrawing only what differs
// between them.
//
// Painting: the background (page and work-area colours), the grid, the page
// border, the layers with the onion skin and the selection, the handles and
// the symbol origin; on the window, the text selection and the focus
// rectangle. Tools draw their previews through the XOR feedback buffers from
// inside their gesture loops.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "platform/qt/dc.h"
#include "platform/qt/region.h"
#include "platform/qt/tablet.h"
#include "view/core/view_input.h"
#include "view/core/view_state.h"
#include "view/offscreen_view.h"

class CGdiRenderContext;
class CPicButton;
class CPicText;
class CRenderContext;
class ViewTools;

// The timer that blinks the caret of the edited text.
constexpr UINT_PTR kCaretTimerId = 14;
// The colours the view paints without a page: no edit context (also outside
// the scroll extent), and the work area around the page.
constexpr COLORREF kViewGrey = 0xC0C0C0;
constexpr uint32_t kWorkAreaColour = 0xFFD0D0D0;

class CMarlView : public COffscreenView {
  VM_DECLARE_DYNAMIC(CMarlView)

 public:
  CMarlView();
  ~CMarlView() override;

  ViewState& State() { return m_state; }
  const ViewState& State() const { return m_state; }

  // Shows a page or symbol (its contents locked while shown).
  [[nodiscard]] bool SetEditContext(CDocumentPage* c);
  CDocumentPage* GetEditContext() const { return m_state.GetEditContext(); }
  int32_t GetCurrentFrame() const { return m_state.GetCurrentFrame(); }
  // Goes to a frame of the edit context (clamped to its frames; nothing for
  // the current one). Immediate: what differs is drawn and shown before the
  // call returns; otherwise it is invalidated. The child frame's timeline is
  // told the new frame.
  void GoToFrame(int32_t frame, bool immediate);
  void GetDocToClientMatrix(Matrix2x3& out) const { m_state.GetDocToClientMatrix(out); }
  // Null: the whole work area; an empty rectangle does nothing.
  void InvalidateDocRect(const Rect32* r) { m_state.InvalidateDocRect(r); }

  // ---- input (marl_view_input.cpp) ----
  // The application's tools that presses and tool keys go to (null: none).
  void SetTools(ViewTools* tools) { m_tools = tools; }
  // The polling step of a modal mouse loop: whether the primary button is
  // still down (a release lost to another window counts as a release).
  bool IsButtonStillDown();
  // After a press at start (document units): 2 once the cursor moved more
  // than four pick units, 1 after 500 ms held still, 0 on release.
  int32_t WaitDragOrHold(const Point32& start);
  // The work area in client pixels, cut to the client area, holds p.
  bool IsInWorkArea(CPoint p) const;
  // Inserts what was typed so far into the text being edited, in batches.
  void FlushTyping();
  // Tablet packet coordinates to document units, from the view's tablet
  // context (the identity's inverse without one).
  void GetTabletToDocMatrix(Matrix2x3& out) const;
  // The cursor in document units.
  Point32 GetCursorDocPoint() const;
  static void SetViewCursor(ViewCursor cursor);
  // The handle of the handle mode at point (document units): 0 when there
  // is none; else its cursor is set, 1 is returned and, unless testOnly,
  // the handle is dragged (marl_view_handles.cpp).
  int32_t TrackHandles(const Point32& point, bool testOnly);
  // The cursor for where the mouse is: the special tool's, the test
  // button's or the current tool's; false when the view declined (outside
  // the work area; with checkWindow, when the mouse is not over the view).
  bool UpdateCursor(bool checkWindow);
  // The button under the mouse in test-buttons mode goes back up.
  void ClearButtonHover();
  // The timeline's playback of the view (null: none).
  void SetPlayback(ViewPlayback* playback) { m_playback = playback; }
  void StartPlaying();
  void StopPlaying();
  // Escape: stops playing; ends text editing, else deselects everything.
  void EndTextEditOrDeselect();
  // The text selection moves with the picture; the rulers follow.
  bool OnScrollBy(CSize delta, bool doScroll = true) override;

  // ---- drag feedback ----
  // A tool's gesture: BeginFeedback, then per mouse step BeginFeedbackFrame,
  // the preview drawn through GetFeedbackContext, EndFeedbackFrame; last
  // EndFeedback, which takes the last preview off the window. The preview
  // is XORed onto the window, so the picture under it is never drawn again.
  void BeginFeedback();
  void BeginFeedbackFrame();
  // Document units through the view's matrix; null outside a frame.
  CRenderContext* GetFeedbackContext();
  void EndFeedbackFrame();
  void EndFeedback();
  bool IsFeedbackActive() const { return m_feedbackActive; }
  // Prepares a client context for a tool drawing straight onto the window
  // (clipped to the scroll extent, the brush origin aligned with the picture).
  void PrepareToolDC(CDC* dc) { OnPrepareDC(dc); }
  // Frees the two buffers (their preview taken off the window first).
  void ReleaseXorBuffers();

  // ---- text editing ----
  // Makes t the text typed into (null: none). The text edited so far is
  // deleted when it holds only blanks, else (when nothing follows it)
  // selected as an object. One edit transaction.
  void SetTextEditObject(CPicText* t);
  CPicText* GetTextEditObject() const;
  // While set, deactivating the view keeps text editing on.
  bool m_keepTextEdit = false;

  // ---- updates ----
  // The first showing: an update, then the context, quality, layout and
  // frame windows as the document says (see ViewState::InitialUpdate).
  void OnInitialUpdate() override;
  // Every hint alike: everything redrawn, the scroll extent and the rulers
  // follow the document.
  void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject) override;
  // Refreshes the page tab strip when there is one.
  virtual void RefreshPageTabs();

  // ---- activation ----
  void OnActivateView(bool activate, CView* activateView, CView* deactiveView) override;
  HCTX GetTabletContext() const { return m_tablet; }
  bool TabletHasPressure() const { return m_tabletPressure; }
  bool TabletHasOrientation() const { return m_tabletOrientation; }

 protected:
  // Draws the edit context at the current frame into the bitmap: false
  // without an edit context or when the drawing failed.
  bool DrawPage(COffscreenBitmap& bitmap, const CRect& rect) override;
  // The picture through the context, in order: background, grid, page
  // border, layers (onion skin, selection), handles, the symbol origin.
  // rc's clip is the part drawn.
  virtual void DrawContents(CRenderContext& rc);
  // Without an edit context, or when the bitmap cannot be shown: light grey.
  // Then the text selection (inverted) and the focus rectangle.
  void OnDraw(CDC* dc) override;
  // Grey beyond the scroll extent, with a black line along its edges.
  BOOL OnEraseBkgnd(CDC* dc) override;
  // Clips to the scroll extent and aligns the brush with the scrolled picture.
  void OnPrepareDC(CDC* dc) override;
  int OnCreate() override;
  // Input: presses go to the current tool; keys select tools, nudge and
  // edit text; typed characters are gathered and inserted in batches.
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnLButtonDblClk(UINT flags, CPoint point) override;
  void OnKeyDown(UINT ch, UINT repCnt, UINT flags) override;
  void OnKeyUp(UINT ch, UINT repCnt, UINT flags) override;
  void OnChar(UINT ch, UINT repCnt, UINT flags) override;
  void OnLButtonUp(UINT flags, CPoint point) override;
  // Hover in test-buttons mode, the pen's hover.
  void OnMouseMove(UINT flags, CPoint point) override;
  // The context menu of what is selected, its items brought up to date.
  void OnRButtonUp(UINT flags, CPoint point) override;
  BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
  // 14 blinks the caret, 15 is the playback tick.
  void OnTimer(UINT_PTR id) override;
  void OnSetFocus(CWnd* oldWnd) override;
  void OnKillFocus(CWnd* newWnd) override;
  // Claims Control+1 and Control+2 for the text being edited.
  bool PreTranslateMessage(MSG* msg) override;
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;
  void OnDestroy() override;
  void OnSize(UINT type, int cx, int cy) override;
  // The screen's resolution changed: the rulers and the zoom box follow.
  void OnDisplayChange(UINT bitsPerPixel, int cx, int cy) override;
  // Ends text editing (the region and its caret timer as well).
  virtual void EndTextEdit();
  // The layers as the view edits them (onion skin, selection, focus).
  virtual void DrawLayers(CRenderContext& rc);
  // A floating clip or symbol window's view.
  virtual bool IsClipView() const { return false; }
  // A symbol window's view (its first showing fits the first symbol).
  virtual bool IsSymbolView() const { return false; }

 private:
  // What the view state asks of the window.
  class Host : public ViewHost {
   public:
    explicit Host(CMarlView& view) : view_(view) {}
    Point32 GetClientSize() const override;
    int32_t GetLogPixels(bool vertical) const override;
    void SetScrollSizes(const Point32& total, const Point32& page, const Point32& line) override;
    Point32 GetScrollPosition() const override;
    void ScrollToPosition(const Point32& position) override;
    void InvalidateClient(const WinRect* r) override;
    void OnFrameChange(int32_t oldFrame, int32_t newFrame) override;
    void EndTextEdit() override { view_.EndTextEdit(); }
    void StopButtonHover() override { view_.ClearButtonHover(); }
    bool IsClipView() const override { return view_.IsClipView(); }
    void RefreshPageTabs() override { view_.RefreshPageTabs(); }

   private:
    CMarlView& view_;
  };
  // The child frame (with its timeline) is the parent window, when it is one.
  void FindChildFrame();
  // Input: the text typed into, the pen's other end, a text key.
  CPicText* TypingTarget() const;
  bool IsSpecialToolActive();
  bool TextKey(CPicText& text, const TextKeyAction& a);
  void AddInputCommands();
  // The pen's tablet: a packet whose pressed button asks for the special
  // tool, the queue emptied, the pen's hover.
  static bool TabletButtonMatches(const PACKET& packet);
  void FlushTabletQueue();
  void TabletHover();
  // Test-buttons mode: a press on a button tracked until release.
  bool IsTestingButtons() const;
  CPicButton* ButtonAt(CPoint client) const;
  void TrackButton(CPicButton* button);
  void ShowButtonStates();
  // The caret of the edited text: the text region while the selection is
  // empty, shown or hidden by inverting it on the window.
  bool BuildTextRegion(CPicText& text);
  void InvertTextRegion(CDC& dc);
  void ToggleCaret();
  void HideCaret();
  // After a change of the text: the caret is drawn where it now is.
  void ShowCaretAgain();
  // Handle drags: a fill's handle (the fill's matrix follows) and the
  // selected object's centre point.
  void DragFillHandle(const Point32& start, const Point32& handle, const Point32& centre,
                      FillHandle kind);
  void DragCenterPoint(const Point32& start, const Point32& centre);
  // The steps of DrawContents.
  void DrawBackground(CRenderContext& rc);
  // The scroll extent in client pixels.
  CRect ExtentClientRect() const;

  // Feedback: the buffers at the client size (made again when it changed,
  // the preview on the window taken off first); false when they cannot be made.
  bool EnsureXorBuffers();
  void ClearBuffer(int index);
  // into ^= from, every pixel.
  void XorBuffers(int from, int into);
  // XORs the given buffer over the area of the window.
  void XorOntoWindow(int index, const CRect& area);
  // Takes the preview now on the window off it.
  void RemovePreview();

  void OpenTabletContext();
  void CloseTabletContext();
  void DropTextRegion();

  Host m_host;
  ViewState m_state;
  bool m_immediate = false;  // a frame change marks what differs without invalidating it
  ViewTools* m_tools = nullptr;
  SpringLoadedTool m_spring;
  ViewPlayback* m_playback = nullptr;
  ButtonHover m_hover;
  std::deque<uint16_t> m_typed;  // typed characters not yet inserted
  bool m_typingPosted = false;

  // Feedback buffers: 1-bit pictures of the client area, white where
  // nothing is drawn. The current one receives the preview being drawn; the
  // other holds the preview on the window.
  struct XorBuffer {
    CDC dc;
    CBitmap bitmap;
    CBitmap* old = nullptr;
  };
  std::unique_ptr<XorBuffer> m_buffers[2];
  CSize m_bufferSize;
  bool m_feedbackActive = false;
  int m_current = 0;
  CRect m_feedbackBounds;  // client pixels of the preview on the window
  std::unique_ptr<CGdiRenderContext> m_feedbackContext;

  // Text editing: the selection's region (client pixels), rebuilt when dirty.
  CRgn m_textRegion;
  bool m_textRegionValid = false;
  bool m_textRegionDirty = false;

  HCTX m_tablet = nullptr;
  bool m_tabletPressure = false;
  bool m_tabletOrientation = false;
};
