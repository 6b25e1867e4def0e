// What the drawing view uses of the windows around it: the rulers, the page
// tab strip and the child frame's timeline. The timeline's windows implement
// these; the view only calls them, and holds none of them while they are
// hidden.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

// A ruler marker position that hides the marker.
constexpr int32_t kRulerMarkerHidden = INT32_MIN;

// One ruler window (horizontal or vertical).
class RulerBar {
 public:
  virtual ~RulerBar() = default;
  // When only the offset changed the ruler scrolls by the difference;
  // otherwise it stores everything and repaints.
  virtual void SetOrigin(int32_t offset, Fixed scale, uint32_t unit, bool unitsSet) = 0;
  // Erases the two markers, stores the new positions (kRulerMarkerHidden:
  // hidden) and draws them.
  virtual void SetMarkers(int32_t low, int32_t high) = 0;
  // The ruler's offset from the view along its axis, in client pixels.
  virtual int32_t GetOffsetFromView() const = 0;
};

// The page (or symbol) tab strip.
class PageTabStrip {
 public:
  virtual ~PageTabStrip() = default;
  // Invalidates and rebuilds the tabs.
  virtual void Refresh() = 0;
  // Scrolls the current tab into sight.
  virtual void ScrollToCurrent() = 0;
};

// The track control's part of a saved view state.
struct TimelineViewFields {
  int32_t cell_mode = 0;
  int32_t cell_size = 0;
  int32_t display_option = 0;
  int32_t current_frame = 0;
  int32_t current_layer = 0;
  friend bool operator==(const TimelineViewFields&, const TimelineViewFields&) = default;
};

// The document window's child frame with its timeline.
class ChildFrameTimeline {
 public:
  virtual ~ChildFrameTimeline() = default;
  // Passes the view's new current frame to the track control and the frame
  // counter, updating both at once.
  virtual void ShowFrame(int32_t frame) = 0;
  // Shows or hides the timeline windows; nothing when already so.
  virtual void ShowTimeline(bool show) = 0;
  virtual bool IsTimelineShown() const = 0;
  // The splitter's top in the frame's client coordinates (0 without a
  // timeline), and moving it.
  virtual int32_t GetSplitterPos() const = 0;
  virtual void SetSplitterPos(int32_t y) = 0;
  // Rebuilds the rows from the view's edit context and refreshes frames
  // first..last (both 0: the whole width); nothing without a timeline.
  virtual void SyncTimeline(int32_t first, int32_t last) = 0;
  virtual void RefreshTimeline() = 0;
  // The track control's view fields, read for a saved view state and
  // restored from it.
  virtual TimelineViewFields GetTrackFields() const = 0;
  virtual void SetCellStyle(int32_t mode, int32_t size) = 0;
  virtual void SetDisplayOption(int32_t value) = 0;
  virtual void SetCurrentFrame(int32_t frame, bool notify) = 0;
  virtual void SetCurrentLayer(int32_t row) = 0;
  // Redraws the current-frame marker.
  virtual void RedrawCurrentFrame() = 0;
};
