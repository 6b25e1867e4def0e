// Scopes of a tool's modal gesture in the drawing view: the mouse capture
// and the XOR drag feedback end however the gesture is left, also by an
// exception.
#pragma once

#include "view/marl_view.h"

class CaptureScope {
 public:
  explicit CaptureScope(CMarlView& view) { view.SetCapture(); }
  ~CaptureScope() { ReleaseCapture(); }
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;
};

class FeedbackScope {
 public:
  explicit FeedbackScope(CMarlView& view) : view_(view) { view_.BeginFeedback(); }
  ~FeedbackScope() { view_.EndFeedback(); }
  FeedbackScope(const FeedbackScope&) = delete;
  FeedbackScope& operator=(const FeedbackScope&) = delete;

 private:
  CMarlView& view_;
};
