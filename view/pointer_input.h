// The drawing view's input as the pointer stream reads it: the modal polls
// of the platform's input source, the cursor in document units and the
// packets of the view's tablet context. One per gesture: the pen's button
// maps are read once per gesture, when first needed.
#pragma once

#include "view/core/pointer_stream.h"
#include "view/pen_buttons.h"

class CMarlView;

class ViewPointerInput : public PointerInput {
 public:
  explicit ViewPointerInput(CMarlView& view) : view_(view) {}
  bool Poll() override;
  bool GestureEnded() const override;
  Point32 CursorDocPoint() const override;
  uint32_t Now() override;
  bool HasTablet() const override;
  void GetTabletToDoc(Matrix2x3& out) const override;
  int TakePackets(PenPacket* out, int max) override;
  bool GetPressureAxis(int32_t& base, int32_t& range) override;

 private:
  CMarlView& view_;
  PenButtons buttons_;
};
