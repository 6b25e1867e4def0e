#include "view/core/pointer_stream.h"

#include <algorithm>

PointerStream::PointerStream(PointerInput& input, Device device, const Matrix2x3* docToOut)
    : input_(input) {
  if (docToOut != nullptr) doc_to_out_ = *docToOut;
  if (device != Device::kPenFirst || !input_.HasTablet()) return;
  Matrix2x3 tabletToDoc;
  input_.GetTabletToDoc(tabletToDoc);
  if (docToOut != nullptr)
    MatrixConcat(tabletToDoc, *docToOut, tablet_to_out_);
  else
    tablet_to_out_ = tabletToDoc;
  state_ = State::kPen;
  began_ = input_.Now();
  last_down_ = began_;
}

bool PointerStream::UsePressure() {
  int32_t base = 0;
  int32_t range = 1;
  if (state_ != State::kPen || !input_.GetPressureAxis(base, range)) return false;
  pressure_ = true;
  base_ = base;
  range_ = std::max(range, 1);
  return true;
}

Point32 PointerStream::Map(const Matrix2x3& m, const Point32& p) const {
  Point32 out;
  MatrixTransformPoint(m, p, out);
  return out;
}

Point32 PointerStream::CursorPoint() const {
  const Point32 p = input_.CursorDocPoint();
  return doc_to_out_ ? Map(*doc_to_out_, p) : p;
}

bool PointerStream::Next(PointerEvent& e) {
  e = PointerEvent{};
  switch (state_) {
    case State::kPen:
      return NextPen(e);
    case State::kMouseStart:
      state_ = State::kMouse;
      e.kind = PointerEventKind::kMouse;
      return true;
    case State::kMouse:
      if (!input_.Poll()) {
        state_ = State::kDone;
        return false;
      }
      e.point = CursorPoint();
      e.pressure = range_;
      return true;
    case State::kDone:
      break;
  }
  return false;
}

bool PointerStream::NextPen(PointerEvent& e) {
  for (;;) {
    while (index_ < count_ && !out_) {
      const PenPacket& p = batch_[index_++];
      // Packets queued before the stream began belong to an earlier gesture.
      if (static_cast<int32_t>(p.time - began_) < 0) continue;
      if (!p.down) {
        lifted_ = true;
        out_ = p.out;
        continue;
      }
      any_down_ = true;
      last_down_ = input_.Now();
      const Point32 at = Map(tablet_to_out_, p.at);
      if (!lifted_ && have_last_ && at == last_) continue;
      e.new_segment = lifted_;
      lifted_ = false;
      have_last_ = true;
      last_ = at;
      e.point = at;
      e.pen = true;
      e.pressure = pressure_ ? static_cast<int32_t>(std::clamp<int64_t>(
                                   int64_t{static_cast<int32_t>(p.pressure)} - base_, 0, range_))
                             : range_;
      return true;
    }
    if (batch_open_) {
      batch_open_ = false;
      e.kind = PointerEventKind::kBatch;
      e.packets = count_;
      return true;
    }
    if (out_ || input_.GestureEnded()) break;
    const uint32_t now = input_.Now();
    if (!any_down_ && now - began_ > kPenStartWaitMs) {
      // The pen gave nothing in time: the mouse takes over.
      state_ = State::kMouse;
      e.kind = PointerEventKind::kMouse;
      return true;
    }
    if (any_down_ && now - last_down_ > kPenEndWaitMs) break;
    (void)input_.Poll();  // drains queued input
    count_ = std::clamp(input_.TakePackets(batch_, kPenBatch), 0, kPenBatch);
    index_ = 0;
    batch_open_ = true;
  }
  state_ = State::kDone;
  return false;
}
