#include "view/pointer_input.h"

#include <algorithm>

#include "platform/qt/input.h"
#include "platform/qt/tablet.h"
#include "view/marl_view.h"

bool ViewPointerInput::Poll() {
  return view_.IsButtonStillDown();
}

bool ViewPointerInput::GestureEnded() const {
  return GetInputSource().HasGestureEnded();
}

Point32 ViewPointerInput::CursorDocPoint() const {
  return view_.GetCursorDocPoint();
}

uint32_t ViewPointerInput::Now() {
  return GetTickCount();
}

bool ViewPointerInput::HasTablet() const {
  return view_.GetTabletContext() != nullptr;
}

void ViewPointerInput::GetTabletToDoc(Matrix2x3& out) const {
  view_.GetTabletToDocMatrix(out);
}

int ViewPointerInput::TakePackets(PenPacket* out, int max) {
  PACKET packets[kPenBatch];
  const int n = WTPacketsGet(view_.GetTabletContext(), std::min(max, kPenBatch), packets);
  for (int i = 0; i < n; ++i) {
    const PACKET& p = packets[i];
    out[i].time = p.pkTime;
    out[i].at = Point32{p.pkX, p.pkY};
    out[i].pressure = p.pkNormalPressure;
    out[i].down = buttons_.IsDown(p);
    out[i].out = (p.pkStatus & TPS_PROXIMITY) != 0;
  }
  return n;
}

bool ViewPointerInput::GetPressureAxis(int32_t& base, int32_t& range) {
  LOGCONTEXTA lc{};
  AXIS axis{};
  if (WTInfoA(WTI_DEFSYSCTX, 0, &lc) == 0 ||
      WTInfoA(WTI_DEVICES + lc.lcDevice, DVC_NPRESSURE, &axis) == 0)
    return false;
  base = axis.axMin;
  range = std::max(axis.axMax - axis.axMin, 1);
  return true;
}
