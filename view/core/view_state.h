// The drawing view's state and everything it does without a window: the
// edit context and the state saved per side (page side, symbol side), the
// view matrix with zoom and scrolling, the two view lengths (pixel size P and
// pick unit U), the layout modes and the work area, the object walk, the hit
// test, the selection operations and the handle rectangles.
//
// The view's window owns one ViewState and gives it a ViewHost: the client
// size, the screen's resolution, the scroll bars and invalidation. Document
// units are twips (1440 to the inch); the view matrix maps them to unscrolled
// device pixels, and y grows downwards on the screen.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "geometry/fixed.h"
#include "model/pic_obj.h"
#include "view/core/frame_change.h"
#include "view/core/view_services.h"

class CDocumentPage;
class CMarlDoc;
class CPicFrame;
class CPicLayer;
class CPicShape;
class CRenderContext;
struct Edge;
struct EdgeGraph;
struct PointList;
struct Region;
struct Vertex;

// Layout modes.
constexpr int32_t kLayoutPage = 0;      // the page alone
constexpr int32_t kLayoutWorkArea = 1;  // the page inside the work area
constexpr int32_t kLayoutFit = 2;       // the drawing fitted to the window, no scrolling

// Handle modes.
constexpr int32_t kHandleNone = 0;
constexpr int32_t kHandleRotate = 1;  // rotate-and-slant handles
constexpr int32_t kHandleScale = 2;
constexpr int32_t kHandleFill = 3;  // the transform of a gradient or texture fill
constexpr int32_t kHandleCenter = 4;

// View qualities.
constexpr int32_t kQualityOutlines = 0;
constexpr int32_t kQualityFast = 1;
constexpr int32_t kQualitySmooth = 2;
constexpr int32_t kQualitySmoothText = 3;

// The zoom scale's range, pixels per twip in 16.16.
constexpr Fixed kZoomMin = 256;
constexpr Fixed kZoomMax = 0x10000;

// Scroll sizes: the margin a page step keeps and the line step, in pixels.
constexpr int32_t kScrollPageMargin = 30;
constexpr int32_t kScrollLine = 30;
// Ten inches: the symbol side's extent and the work area's margin.
constexpr int32_t kWorkAreaMargin = 14400;
// Client pixels an invalidated document rectangle grows by (left and top;
// right and bottom).
constexpr int32_t kInvalidateGrowLow = 5;
constexpr int32_t kInvalidateGrowHigh = 6;

// The view's state of one side, kept while the other side is shown.
struct SavedViewState {
  std::string name;  // of the page or symbol, to find it again
  int32_t current_frame = 0;
  int32_t layout_mode = kLayoutPage;
  Matrix2x3 matrix;
  Point32 scroll;
  uint8_t page_tabs_shown = 0;
  uint8_t rulers_shown = 0;
  uint8_t view_settings = 0;  // the view-settings nibble
  uint8_t timeline_shown = 0;
  int32_t splitter_pos = 0;  // with the timeline shown
  TimelineViewFields timeline;
};

// What the view's window gives its state.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  // The client size in pixels (without the scroll bars shown now).
  virtual Point32 GetClientSize() const = 0;
  // LOGPIXELSX (false) or LOGPIXELSY (true) of a client device context.
  virtual int32_t GetLogPixels(bool vertical) const = 0;
  // The scroll view's sizes; its bars follow, which may change the client
  // size.
  virtual void SetScrollSizes(const Point32& total, const Point32& page, const Point32& line) = 0;
  virtual Point32 GetScrollPosition() const = 0;
  // Clamped to the scroll limits.
  virtual void ScrollToPosition(const Point32& position) = 0;
  // Invalidates client pixels (null: the whole client area).
  virtual void InvalidateClient(const WinRect* r) = 0;
  // The current frame is about to change: the window redraws what differs
  // (by default: everything).
  virtual void OnFrameChange(int32_t /*oldFrame*/, int32_t /*newFrame*/) {
    InvalidateClient(nullptr);
  }
  // The main tool bar's zoom box shows the active view's zoom again.
  virtual void RefreshZoomBox() {}
  // Create or destroy the rulers and the page tab strip; the window tells the
  // state through SetRulers and SetPageTabStrip.
  virtual void ShowRulers(bool /*show*/) {}
  virtual void ShowPageTabs(bool /*show*/) {}
  // Parts of an edit-context switch that belong to the window: text editing
  // ends, the hover of the test-buttons mode stops, an in-place item closes.
  virtual void EndTextEdit() {}
  virtual void StopButtonHover() {}
  virtual void CloseInPlaceItem() {}
  // A floating symbol window's view (keeps its own layout on the symbol side).
  virtual bool IsClipView() const { return false; }
  // The page tab strip (and a symbol window's list) shows the document's
  // pages or symbols again.
  virtual void RefreshPageTabs() {}
};

// The page or symbol the next view of a document opens with (null: none);
// whoever opens that view clears it afterwards.
void SetPendingEditContext(CDocumentPage* c);
CDocumentPage* GetPendingEditContext();

// The result of a hit test. The caller fills point and use_tolerance; the
// rest is cleared by the test and tells what was hit.
struct ViewHitRecord {
  Point32 point;              // document units
  int32_t use_tolerance = 1;  // 0: the point must lie on the object itself
  CPicObj* object = nullptr;
  int32_t frame = 0;  // the frame number of the hit
  CPicShape* key_frame = nullptr;
  EdgeGraph* graph = nullptr;
  Edge* edge = nullptr;
  Region* region = nullptr;
  Vertex* vertex = nullptr;
};

class ViewState;

// The walk over the editable key frames of a view, a value on the caller's
// stack. Flags: kWalkFrontToBack walks the layers from the root's last
// child (the front: drawn last, as the page draws itself for printing) to
// the first; without it from the first to the last (the drawing order). kWalkLocked takes locked
// layers too, and walks even while the view is playing.
class CViewObjIter {
 public:
  static constexpr uint32_t kWalkFrontToBack = 0x1;
  static constexpr uint32_t kWalkLocked = 0x2;

  CViewObjIter(const ViewState& view, uint32_t flags);
  // The next key frame (or the focused object), null when done.
  CPicShape* Next();
  // The frame number of the object Next returned.
  int32_t GetFrame() const { return m_frame; }

 private:
  enum State : int32_t { kDone = 0, kNextLayer = 1, kAdvanceLayer = 2, kNextFrame = 3, kFocus = 4 };
  const ViewState& m_view;
  uint32_t m_flags;
  int32_t m_state = kDone;
  CPicShape* m_focus = nullptr;
  CPicObj* m_layer = nullptr;
  int32_t m_frame = 0;      // of the object returned
  int32_t m_nextFrame = 0;  // where the layer's frame scan goes on
  int32_t m_first = 0;      // the range walked
  int32_t m_last = 0;
};

class ViewState : public CPicObjRefOwner {
 public:
  explicit ViewState(ViewHost& host);
  // Releases the edit context's lock.
  ~ViewState() override;
  ViewState(const ViewState&) = delete;
  ViewState& operator=(const ViewState&) = delete;

  // ---- document and edit context ----
  void SetDocument(CMarlDoc* doc) { document_ = doc; }
  CMarlDoc* GetDocument() const { return document_; }
  // Shows c (a page or a symbol). The old side's state is saved when the
  // side changes and the new side's saved state restored. When the new
  // context cannot be locked (its contents cannot be read) the view keeps
  // its old context and state, and the exception passes on.
  [[nodiscard]] bool SetEditContext(CDocumentPage* c);
  // The document's current symbol or page, or the one of the side's saved name.
  [[nodiscard]] bool SelectEditContext(bool symbolSide);
  // A new view's first showing: the pending context, else (a symbol view)
  // the first symbol, else the current page, else the first page; the view
  // quality, layout and frame windows as the document says; then the zoom
  // of the layout (100 %, the page, or fitted). A symbol view fits its
  // contents to the window and leaves the frame windows alone.
  void InitialUpdate(bool symbolView);
  // Null also when the context was deleted under the view.
  CDocumentPage* GetEditContext() const;
  CPicObj* GetContextRoot() const { return root_.GetTarget(); }
  bool IsSymbolSide() const { return symbol_side_ != 0; }
  const SavedViewState* GetSavedState(bool symbolSide) const {
    return (symbolSide ? saved_symbol_ : saved_page_).get();
  }

  // ---- the frame being edited ----
  // The key frame (or focused object) that commands edit; null when none.
  CPicShape* GetEditFrame() const;
  EdgeGraph* GetEditDrawing() const;
  // The root's first layer of state 3.
  CPicLayer* FindEditLayer() const;
  // Ends text editing, deselects all, bakes o's matrix into its edges (in a
  // transaction) and makes o the focused object.
  void SetFocusObject(CPicShape* o);
  void ClearFocusObject();
  CPicObj* GetFocusObject() const { return focus_.GetTarget(); }
  // The text object typed into (the text tool sets it).
  void SetTextEditTarget(CPicObj* text) { text_edit_.Set(text); }
  CPicObj* GetTextEditObject() const { return text_edit_.GetTarget(); }

  // ---- frames and onion skin ----
  int32_t GetCurrentFrame() const { return current_frame_; }
  // Clamps to the root's frames; ends text editing and the focused object;
  // tells the window, the timeline and the highlight.
  void GoToFrame(int32_t frame);
  // The first and last frame of the onion range.
  int32_t GetOnionFirstFrame() const;
  int32_t GetOnionLastFrame() const;
  OnionSettings GetOnion() const {
    return {onion_flags, onion_relative, onion_before, onion_after};
  }
  uint32_t onion_flags = 0;
  int32_t onion_relative = 1;
  int32_t onion_before = -2;
  int32_t onion_after = 2;
  int32_t playing = 0;
  int32_t test_buttons = 0;

  // ---- coordinates ----
  const Matrix2x3& GetViewMatrix() const { return view_matrix_; }
  // The view matrix followed by the scroll offset.
  void GetDocToClientMatrix(Matrix2x3& out) const;
  void GetDrawMatrix(Matrix2x3& out) const { GetDocToClientMatrix(out); }
  void GetClientToDocMatrix(Matrix2x3& out) const;
  // The client area in document units; in layout mode 0 cut to the page.
  void GetVisibleDocRect(Rect32& out) const;
  // Null: the whole work area; an empty rectangle does nothing; else the
  // rectangle in client pixels grown by 5 left and top, 6 right and bottom.
  void InvalidateDocRect(const Rect32* r);
  // 100 %: FixedDiv(LOGPIXELSX, 1440).
  Fixed GetScreenPixelsPerTwip() const;
  // The zoom the zoom box shows: 1.0 is 100 %.
  Fixed GetZoomFactor() const { return FixedDiv(view_matrix_.a, GetScreenPixelsPerTwip()); }

  // ---- zoom and scrolling ----
  // s (and v) are clamped to 256..0x10000; v <= 0 follows the screen's
  // aspect. With a centre the view scrolls it to the middle of the client
  // area, else to the origin.
  void SetZoom(Fixed s, const Point32* centre, Fixed v);
  // Zooms so that r fills the client area, in two passes (the first may add
  // or remove scroll bars); an empty or one-point rectangle keeps the zoom.
  void ZoomToRect(const Rect32& r, bool uniform);
  // The page (the symbol side: 100 % about the origin).
  void ShowPage();
  // Everything drawn (grown by 10 pixels), else the page; in layout mode 0
  // cut to the page.
  void ShowAll();
  void SetLayoutMode(int32_t mode);
  int32_t GetLayoutMode() const { return layout_mode_; }
  // The scroll extent, zoom class and view lengths.
  void UpdateScrollSizes();
  const Rect32& GetWorkArea() const { return work_area_; }
  int32_t GetZoomClass() const { return zoom_class_; }
  // P: the document length of one screen pixel.
  int32_t GetPixelSize() const { return pixel_size_; }
  // U: the document length of one hundredth of an inch on screen, at least P.
  int32_t GetPickUnit() const { return pick_unit_; }
  int32_t view_quality = kQualityFast;
  int32_t render_switch = 0;
  uint8_t view_settings = 0;  // the view-settings nibble

  // ---- rulers, tabs and timeline ----
  void SetRulers(RulerBar* horizontal, RulerBar* vertical);
  bool AreRulersShown() const { return rulers_[0] != nullptr; }
  void SetPageTabStrip(PageTabStrip* strip) { tab_strip_ = strip; }
  bool ArePageTabsShown() const { return tab_strip_ != nullptr; }
  PageTabStrip* GetPageTabStrip() const { return tab_strip_; }
  void SetChildFrame(ChildFrameTimeline* frame) { child_frame_ = frame; }
  ChildFrameTimeline* GetChildFrame() const { return child_frame_; }
  // Origins and scales of the rulers from the matrix and scroll position.
  void UpdateRulers();
  // The markers at r's ranges, hidden for null.
  void SetRulerMarkers(const Rect32* r);
  void MarkPointOnRulers(const Point32& p);
  // After an edit of the page: the hint's area is redrawn when it meets
  // the onion range, and the current frame is kept inside the page.
  void OnFramesChanged(const CExtent& hint) override;
  // Passes an edit's frame span to the timeline (hint bit 1).
  void ForwardFrameRange(const CExtent& hint);
  void OnObjectRemoved(CPicObj* obj) override;

  // ---- hit test ----
  // The edited text object, else front to back through the walk: each key
  // frame's children (locked ones skipped, a selected child's centre point
  // first), then its own drawing. True when something was hit.
  bool HitTest(ViewHitRecord& hit) const;

  // ---- selection (each change an edit transaction of kind 256) ----
  // Selects (f true) or deselects everything in the walked frames;
  // deselecting merges the loose plain-drawing pieces back first. False when
  // there is nothing to edit or the edit failed.
  bool SelectAll(bool f);
  bool MergePlainDrawings();
  // Adds what the closed polygon holds.
  bool LassoSelect(const PointList& polygon);
  // Empty when nothing is selected.
  void GetSelectionBounds(Rect32& out) const;
  // Mask bit 0: selected edges or a selected plain drawing; bit 1: any
  // selected child. 0 while text is edited.
  uint32_t HasSelection(uint32_t mask) const;
  // The one selected child of the walked frames, null when none or several.
  CPicObj* GetSingleSelected() const;
  bool DeleteSelection();
  // The selected edges of each frame become a new selected plain drawing at
  // the front of its children.
  bool DetachSelectedEdges();
  // m applied to the selection; aboutCentre keeps its pivot in place.
  bool TransformSelection(const Matrix2x3& m, bool aboutCentre);
  // Clears the scratch mark of every walked object (not an edit).
  void ClearMarks();
  // Runs body in one edit transaction of kind 256 (see Edit below).
  bool RunEdit(const std::function<void()>& body) { return Edit(body); }

  // ---- handles ----
  void SetHandleMode(int32_t mode);
  int32_t GetHandleMode() const { return handle_mode_; }
  // Deselects all and edits the transform of obj's fill (a gradient or
  // texture), else clears the handles.
  void EditFillOf(CPicShape* obj, uint16_t fill);
  // The handle rectangle from the mode; redrawn when it changed.
  void UpdateHighlight();
  const Rect32& GetHandleRect() const { return handle_rect_; }
  uint16_t GetEditedFill() const { return edited_fill_; }
  CPicObj* GetFillOwner() const { return fill_owner_.GetTarget(); }
  // The fill's matrix and its rectangle in fill space (mode 3).
  const Rect32& GetFillBounds() const { return fill_bounds_; }
  // The handles of the mode (nothing in mode 0 or without a rectangle):
  // eight on the rectangle (modes 1 and 2), the centre point (mode 4), or
  // the fill's frame with its handles, all in fill space (mode 3).
  void DrawHandles(CRenderContext& ctx) const;

  // The focus rectangle (document units; empty when none).
  Rect32 focus_rect;

 private:
  friend class CViewObjIter;
  // The scroll extent of layout modes 0 and 1.
  void PageExtent(Rect32& out) const;
  // Runs body in an edit transaction of kind 256 of the context; false
  // without a context or when it failed (the failure is reverted, and
  // reported at the outermost level).
  bool Edit(const std::function<void()>& body);
  // Each walked key frame (front to back) with its frame number.
  void ForEachFrame(const std::function<void(CPicShape*, int32_t)>& fn) const;
  void SaveSide(std::unique_ptr<SavedViewState>& saved);
  void RestoreSide(const SavedViewState& saved, CDocumentPage* c);
  // Forgets a context whose tree went away (the page was deleted).
  void DropContext();

  ViewHost& host_;
  CMarlDoc* document_ = nullptr;
  CDocumentPage* context_ = nullptr;
  CPicObjRef root_;
  CPicObjRef focus_;
  CPicObjRef text_edit_;
  CPicObjRef fill_owner_;
  Matrix2x3 view_matrix_;
  int32_t pixel_size_ = 1;
  int32_t pick_unit_ = 1;
  int32_t zoom_class_ = 0;
  int32_t symbol_side_ = 0;
  int32_t layout_mode_ = kLayoutPage;
  Rect32 work_area_{0, 1440, 0, 1440};
  int32_t current_frame_ = 0;
  int32_t handle_mode_ = kHandleNone;
  Rect32 handle_rect_;
  uint16_t edited_fill_ = 0;
  Rect32 fill_bounds_;
  RulerBar* rulers_[2] = {nullptr, nullptr};
  PageTabStrip* tab_strip_ = nullptr;
  ChildFrameTimeline* child_frame_ = nullptr;
  std::unique_ptr<SavedViewState> saved_page_;
  std::unique_ptr<SavedViewState> saved_symbol_;
};
