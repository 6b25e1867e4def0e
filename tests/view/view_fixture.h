// A window for the view state without Qt: a client area with scroll bars
// that appear as the old scroll view shows them, the screen's resolution,
// the scroll position and recorded invalidations; recording rulers, tab
// strip and timeline; and a document with pages to show.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model_fixtures.h"
#include "view/core/view_state.h"

constexpr int32_t kBarSize = 16;

class RecordingRuler : public RulerBar {
 public:
  void SetOrigin(int32_t offset, Fixed scale, uint32_t unit, bool unitsSet) override {
    calls.push_back("origin " + std::to_string(offset) + " " + std::to_string(scale) + " " +
                    std::to_string(unit) + " " + std::to_string(unitsSet));
  }
  void SetMarkers(int32_t low, int32_t high) override {
    calls.push_back("markers " + std::to_string(low) + " " + std::to_string(high));
  }
  int32_t GetOffsetFromView() const override { return offset_from_view; }
  std::vector<std::string> calls;
  int32_t offset_from_view = 0;
};

class RecordingTabs : public PageTabStrip {
 public:
  void Refresh() override { ++refreshes; }
  void ScrollToCurrent() override { ++scrolls; }
  int refreshes = 0;
  int scrolls = 0;
};

class RecordingTimeline : public ChildFrameTimeline {
 public:
  void ShowFrame(int32_t frame) override { calls.push_back("frame " + std::to_string(frame)); }
  void ShowTimeline(bool show) override { shown = show; }
  bool IsTimelineShown() const override { return shown; }
  int32_t GetSplitterPos() const override { return shown ? splitter : 0; }
  void SetSplitterPos(int32_t y) override { splitter = y; }
  void SyncTimeline(int32_t first, int32_t last) override {
    calls.push_back("sync " + std::to_string(first) + " " + std::to_string(last));
  }
  void RefreshTimeline() override { calls.push_back("refresh"); }
  TimelineViewFields GetTrackFields() const override { return fields; }
  void SetCellStyle(int32_t mode, int32_t size) override {
    fields.cell_mode = mode;
    fields.cell_size = size;
  }
  void SetDisplayOption(int32_t value) override { fields.display_option = value; }
  void SetCurrentFrame(int32_t frame, bool) override { fields.current_frame = frame; }
  void SetCurrentLayer(int32_t row) override { fields.current_layer = row; }
  void RedrawCurrentFrame() override { calls.push_back("redraw"); }
  bool shown = false;
  int32_t splitter = 0;
  TimelineViewFields fields;
  std::vector<std::string> calls;
};

// The window: bars of 16 pixels appear when the total exceeds the client,
// in two passes (a bar on one axis can make the other needed).
class FakeHost : public ViewHost {
 public:
  Point32 GetClientSize() const override {
    return {window.x - (vbar ? kBarSize : 0), window.y - (hbar ? kBarSize : 0)};
  }
  int32_t GetLogPixels(bool vertical) const override { return vertical ? dpi_y : dpi_x; }
  void SetScrollSizes(const Point32& t, const Point32& p, const Point32& l) override {
    client_at_set = GetClientSize();
    total = t;
    page = p;
    line = l;
    bool v = total.y > window.y;
    bool h = total.x > window.x;
    if (v && !h) h = total.x > window.x - kBarSize;
    if (h && !v) v = total.y > window.y - kBarSize;
    vbar = v;
    hbar = h;
    ScrollToPosition(scroll);
  }
  Point32 GetScrollPosition() const override { return scroll; }
  void ScrollToPosition(const Point32& p) override {
    Point32 client = GetClientSize();
    scroll.x = hbar ? std::clamp(p.x, 0, std::max(0, total.x - client.x)) : 0;
    scroll.y = vbar ? std::clamp(p.y, 0, std::max(0, total.y - client.y)) : 0;
  }
  void InvalidateClient(const WinRect* r) override {
    if (r == nullptr) {
      ++whole_invalidations;
    } else {
      rects.push_back(*r);
    }
  }
  void ShowRulers(bool show) override {
    view->SetRulers(show ? &hruler : nullptr, show ? &vruler : nullptr);
  }
  void ShowPageTabs(bool show) override { view->SetPageTabStrip(show ? &tabs : nullptr); }
  void EndTextEdit() override { ++text_edit_ends; }
  bool IsClipView() const override { return clip_view; }
  void RefreshPageTabs() override {
    ++tab_refreshes;
    if (view->GetPageTabStrip() != nullptr) view->GetPageTabStrip()->Refresh();
  }

  ViewState* view = nullptr;
  Point32 window{800, 600};
  int32_t dpi_x = 96;
  int32_t dpi_y = 96;
  bool vbar = false;
  bool hbar = false;
  Point32 total, page, line, scroll;
  Point32 client_at_set;  // the client size when the sizes were last set
  int whole_invalidations = 0;
  std::vector<WinRect> rects;
  int text_edit_ends = 0;
  bool clip_view = false;
  int tab_refreshes = 0;
  RecordingRuler hruler, vruler;
  RecordingTabs tabs;
};

// A document that can be shown in place in another program.
class ViewDoc : public CTestDoc {
 public:
  bool IsInPlaceActive() const override { return in_place; }
  bool in_place = false;
};

// The number of steps on an undo or redo list.
inline int StepCount(const CEditStep* list) {
  int n = 0;
  for (; list != nullptr; list = list->m_link) ++n;
  return n;
}

// A document with one page shown in a view (pages and layers are added by
// the tests).
class ViewTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    doc = std::make_unique<ViewDoc>();
    page = NewPage(*doc);
    doc->m_movieRect = Rect32{0, 10800, 0, 14400};
    view = std::make_unique<ViewState>(host);
    host.view = view.get();
    view->SetDocument(doc.get());
    view->SetChildFrame(&timeline);
  }
  void TearDown() override {
    view.reset();
    doc.reset();
    ModelTest::TearDown();
  }
  void Show(CDocumentPage* c) { ASSERT_TRUE(view->SetEditContext(c)); }
  CPicPage* Root() const { return page->GetRoot(); }

  std::unique_ptr<ViewDoc> doc;
  CDocumentPage* page = nullptr;
  FakeHost host;
  RecordingTimeline timeline;
  std::unique_ptr<ViewState> view;
};
