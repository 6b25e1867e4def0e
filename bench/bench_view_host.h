// A view host for benchmarks that drive the view's state without a window:
// a fixed 1920 x 1080 client at 96 dots per inch that ignores scrolling and
// invalidation.
#pragma once

#include "view/core/view_state.h"

class BenchViewHost : public ViewHost {
 public:
  Point32 GetClientSize() const override { return {1920, 1080}; }
  int32_t GetLogPixels(bool) const override { return 96; }
  void SetScrollSizes(const Point32&, const Point32&, const Point32&) override {}
  Point32 GetScrollPosition() const override { return {}; }
  void ScrollToPosition(const Point32&) override {}
  void InvalidateClient(const WinRect*) override {}
};
