// The pointer stream of a tool's modal gesture: one reader of the mouse and
// the pen for every tool, so that the tools share the rules of a gesture.
//
// Mouse: each poll of the view's input gives the cursor while the primary
// button is down; the release (or focus loss, deactivation, a lost grab,
// which count as a release) ends the gesture.
//
// Pen: each poll takes up to kPenBatch packets from the tablet queue.
// Packets queued before the stream began belong to an earlier gesture and
// are skipped. A packet with the pen down gives its point (a repeated point
// is dropped); the first down point after a pen-up packet starts a new
// segment. A pen-up packet out of proximity ends the gesture after its
// batch, and so does the end of the gesture by focus loss. When no down
// packet came within kPenStartWaitMs the mouse takes over; once one came,
// the gesture ends kPenEndWaitMs after the last.
//
// Every point carries a pressure from 0 to PressureRange(): the pen's
// normal pressure over the driver's axis once UsePressure() found one, a
// full press otherwise (the mouse always presses fully).
#pragma once

#include <cstdint>
#include <optional>

#include "geometry/fixed.h"

// One tablet packet as the stream reads it.
struct PenPacket {
  uint32_t time = 0;  // the input source's clock, milliseconds
  Point32 at;         // tablet units
  uint32_t pressure = 0;
  bool down = false;  // a button mapped to a left click is pressed
  bool out = false;   // out of the tablet's proximity
};

// What the stream reads: the view's modal input and its tablet context.
class PointerInput {
 public:
  virtual ~PointerInput() = default;
  // One poll step of the modal loop (drains queued input): whether the
  // primary button is down.
  virtual bool Poll() = 0;
  // Focus loss, deactivation or a lost grab ended the gesture.
  virtual bool GestureEnded() const = 0;
  virtual Point32 CursorDocPoint() const = 0;
  // The input source's clock, milliseconds.
  virtual uint32_t Now() = 0;
  // A tablet context is open; its packets' coordinates to document units.
  virtual bool HasTablet() const = 0;
  virtual void GetTabletToDoc(Matrix2x3& out) const = 0;
  // Takes up to max packets from the tablet queue; the number taken.
  virtual int TakePackets(PenPacket* out, int max) = 0;
  // The normal-pressure axis: its minimum and range (at least 1); false
  // when the tablet reports none.
  virtual bool GetPressureAxis(int32_t& base, int32_t& range) = 0;
};

enum class PointerEventKind {
  kMouse,  // the mouse path begins (no pen, or the pen gave nothing in time)
  kPoint,  // a point of the gesture
  kBatch,  // a poll's packets were all given (pen only)
};

struct PointerEvent {
  PointerEventKind kind = PointerEventKind::kPoint;
  Point32 point;             // kPoint: in the stream's output space
  int32_t pressure = 0;      // kPoint: 0 .. PressureRange()
  bool new_segment = false;  // kPoint: the first pen point after a lift
  bool pen = false;          // kPoint: from the pen, else the mouse
  int packets = 0;           // kBatch: the packets the poll took
};

constexpr int kPenBatch = 32;
constexpr uint32_t kPenStartWaitMs = 100;
constexpr uint32_t kPenEndWaitMs = 600;

class PointerStream {
 public:
  enum class Device { kMouse, kPenFirst };
  // Points are given in document units, or through docToOut when set (the
  // pen's through the tablet matrix combined with it, so that each point is
  // rounded once). kPenFirst reads the pen while the input has a tablet.
  PointerStream(PointerInput& input, Device device, const Matrix2x3* docToOut = nullptr);

  // The pen is being read (until the mouse takes over).
  bool OnPen() const { return state_ == State::kPen; }
  // Pen only: reads the pressure axis; false when there is none (points
  // then carry a full press).
  bool UsePressure();
  int32_t PressureRange() const { return range_; }
  // The press point in the output space: a first pen point there repeats it.
  void StartAt(const Point32& point) {
    last_ = point;
    have_last_ = true;
  }
  // The cursor now, in the output space.
  Point32 CursorPoint() const;

  // The next event; false once the gesture is over.
  bool Next(PointerEvent& e);

 private:
  enum class State { kPen, kMouseStart, kMouse, kDone };
  Point32 Map(const Matrix2x3& m, const Point32& p) const;
  bool NextPen(PointerEvent& e);

  PointerInput& input_;
  std::optional<Matrix2x3> doc_to_out_;
  Matrix2x3 tablet_to_out_;
  State state_ = State::kMouseStart;
  // The pen's batch and where it stands.
  PenPacket batch_[kPenBatch];
  int count_ = 0;
  int index_ = 0;
  bool batch_open_ = false;
  bool out_ = false;
  uint32_t began_ = 0;
  uint32_t last_down_ = 0;
  bool any_down_ = false;
  bool lifted_ = false;
  bool have_last_ = false;
  Point32 last_;
  bool pressure_ = false;
  int32_t base_ = 0;
  int32_t range_ = 1;
};
