// The drawing view's window: an offscreen view over the view state
// (view/core/view_state.h), which it serves as its host (client size, scroll
// bars, invalidation). It draws the edit context at the current frame into
// its offscreen bitmap and changes frames by redrawing only what differs
// between them.
//
// Built so far: the edit context, frames (GoToFrame, immediate or not), the
// onion settings and the drawing of the layers; the rest of the drawing
// view (input, handles, text editing, onion drawing, rulers and tabs) comes
// as the view grows, through the hooks below.
#pragma once

#include <cstdint>

#include "view/core/view_state.h"
#include "view/offscreen_view.h"

class CRenderContext;

class CMarlView : public COffscreenView {
  VM_DECLARE_DYNAMIC(CMarlView)

 public:
  CMarlView();
  ~CMarlView() override;

  ViewState& State() { return state_; }
  const ViewState& State() const { return state_; }

  // Shows a page or symbol (its contents locked while shown).
  [[nodiscard]] bool SetEditContext(CDocumentPage* c);
  CDocumentPage* GetEditContext() const { return state_.GetEditContext(); }
  int32_t GetCurrentFrame() const { return state_.GetCurrentFrame(); }
  // Goes to a frame of the edit context (clamped to its frames; nothing for
  // the current one). Immediate: what differs is drawn and shown before the
  // call returns; otherwise it is invalidated. The child frame's timeline is
  // told the new frame.
  void GoToFrame(int32_t frame, bool immediate);
  void GetDocToClientMatrix(Matrix2x3& out) const { state_.GetDocToClientMatrix(out); }
  // Null: the whole work area; an empty rectangle does nothing.
  void InvalidateDocRect(const Rect32* r) { state_.InvalidateDocRect(r); }

 protected:
  // Draws the edit context at the current frame into the bitmap: false
  // without an edit context or when the drawing failed.
  bool DrawPage(COffscreenBitmap& bitmap, const CRect& rect) override;
  // The page's contents through the context: white, then the layers at the
  // current frame from the back one to the front one (hidden layers left
  // out). rc's clip is the part drawn.
  virtual void DrawContents(CRenderContext& rc);
  // Without an edit context, or when the bitmap cannot be shown: light grey.
  void OnDraw(CDC* dc) override;
  int OnCreate() override;
  // Ends text editing (the text tool's view part comes later).
  virtual void EndTextEdit() {}

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

   private:
    CMarlView& view_;
  };
  // The child frame (with its timeline) is the parent window, when it is one.
  void FindChildFrame();

  Host host_;
  ViewState state_;
  bool immediate_ = false;  // a frame change marks what differs without invalidating it
};
