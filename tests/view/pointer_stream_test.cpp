// The pointer stream's rules under a fake clock: what each poll of a
// scripted input gives a tool, written as one line per gesture.
#include "view/core/pointer_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace {

// One poll of the modal loop: the clock, the mouse and the packets that
// came with it.
struct Poll {
  uint32_t time = 0;
  bool down = true;
  Point32 cursor;
  std::vector<PenPacket> packets;
  bool ends = false;  // focus loss
};

// The mouse at a point, down or up.
Poll Mouse(uint32_t time, int32_t x, int32_t y, bool down = true) {
  Poll p;
  p.time = time;
  p.down = down;
  p.cursor = Point32{x, y};
  return p;
}
// The pen's packets that came with a poll (the mouse held down).
Poll Packets(uint32_t time, std::vector<PenPacket> packets, Point32 cursor = {}) {
  Poll p;
  p.time = time;
  p.cursor = cursor;
  p.packets = std::move(packets);
  return p;
}
Poll FocusLoss(uint32_t time) {
  Poll p;
  p.time = time;
  p.ends = true;
  return p;
}

PenPacket Pen(int32_t x, int32_t y, uint32_t time, bool down = true, uint32_t pressure = 1023,
              bool out = false) {
  PenPacket p;
  p.time = time;
  p.at = Point32{x, y};
  p.pressure = pressure;
  p.down = down;
  p.out = out;
  return p;
}

// Each poll takes the next scripted one; with none left the button is up
// and the clock steps 1 ms, as the platform's scripted source does. After
// focus loss the button counts as released and nothing more comes.
class ScriptedPointerInput : public PointerInput {
 public:
  bool Poll() override {
    ++polls;
    if (ended || script.empty()) {
      down = false;
      if (!ended) ++clock;
      return false;
    }
    ::Poll p = script.front();
    script.pop_front();
    clock = std::max(clock, p.time);
    down = p.down && !p.ends;
    cursor = p.cursor;
    queue.insert(queue.end(), p.packets.begin(), p.packets.end());
    ended = p.ends;
    return down;
  }
  bool GestureEnded() const override { return ended; }
  Point32 CursorDocPoint() const override { return cursor; }
  uint32_t Now() override { return clock; }
  bool HasTablet() const override { return tablet; }
  void GetTabletToDoc(Matrix2x3& out) const override { out = Matrix2x3{}; }
  int TakePackets(PenPacket* out, int max) override {
    int n = 0;
    while (n < max && !queue.empty()) {
      out[n++] = queue.front();
      queue.pop_front();
    }
    return n;
  }
  bool GetPressureAxis(int32_t& b, int32_t& r) override {
    b = base;
    r = range;
    return axis;
  }

  std::deque<::Poll> script;
  std::deque<PenPacket> queue;
  uint32_t clock = 1000;
  bool down = true;
  bool ended = false;
  Point32 cursor;
  bool tablet = true;
  bool axis = true;
  int32_t base = 0;
  int32_t range = 1023;
  int polls = 0;
};

// The events of a whole gesture: "mouse" when the mouse path begins, a
// point as x,y@pressure (after "|" when it starts a segment), "/n" after a
// poll's n packets.
std::string Events(PointerStream& stream) {
  std::string out;
  PointerEvent e;
  int guard = 0;
  while (stream.Next(e) && ++guard < 10000) {
    if (!out.empty()) out += ' ';
    switch (e.kind) {
      case PointerEventKind::kMouse:
        out += "mouse";
        break;
      case PointerEventKind::kPoint:
        if (e.new_segment) out += "| ";
        out += std::to_string(e.point.x) + "," + std::to_string(e.point.y) + "@" +
               std::to_string(e.pressure);
        break;
      case PointerEventKind::kBatch:
        out += "/" + std::to_string(e.packets);
        break;
    }
  }
  return out;
}

TEST(PointerStreamTest, TheRulesOfAGesture) {
  struct Case {
    const char* what;
    bool pen;           // the tool reads the pen first
    bool use_pressure;  // the tool asks for the pressure axis
    std::vector<Poll> polls;
    std::string events;
  } cases[] = {
      {"the mouse: the cursor of every poll while the button is down; the release ends",
       false,
       false,
       {Mouse(1010, 10, 20), Mouse(1020, 10, 20), Mouse(1030, 30, 20, false), Mouse(1040, 50, 20)},
       "mouse 10,20@1 10,20@1"},
      {"the mouse: focus loss ends the gesture",
       false,
       false,
       {Mouse(1010, 10, 20), FocusLoss(1020), Mouse(1030, 50, 20)},
       "mouse 10,20@1"},
      {"the pen: packets queued before the press are skipped",
       true,
       false,
       {Packets(1010, {Pen(900, 900, 990), Pen(10, 20, 1010), Pen(30, 20, 1010)}),
        Packets(1020, {Pen(30, 20, 1020, false, 0, true)})},
       "10,20@1 30,20@1 /3 /1"},
      {"the pen: a lift starts a new segment, a repeated point is dropped",
       true,
       false,
       {Packets(1010, {Pen(10, 20, 1010), Pen(10, 20, 1010), Pen(30, 20, 1010)}),
        Packets(1020, {Pen(40, 20, 1020, false), Pen(30, 20, 1020), Pen(60, 20, 1020)}),
        Packets(1030, {Pen(60, 20, 1030, false, 0, true)})},
       "10,20@1 30,20@1 /3 | 30,20@1 60,20@1 /3 /1"},
      {"the pen: leaving proximity ends the gesture after its batch, the rest unread",
       true,
       false,
       {Packets(1010, {Pen(10, 20, 1010), Pen(10, 20, 1010, false, 0, true), Pen(50, 20, 1010)}),
        Packets(1020, {Pen(70, 20, 1020)})},
       "10,20@1 /3"},
      {"the pen: focus loss ends the gesture",
       true,
       false,
       {Packets(1010, {Pen(10, 20, 1010)}), FocusLoss(1020), Packets(1030, {Pen(70, 20, 1030)})},
       "10,20@1 /1 /0"},
      {"the pen: more than 600 ms without a down packet end the gesture",
       true,
       false,
       {Packets(1010, {Pen(10, 20, 1010)}), Packets(1610, {}), Packets(1611, {}),
        Packets(1620, {Pen(70, 20, 1620)})},
       "10,20@1 /1 /0 /0"},
      {"the pen: nothing down for more than 100 ms hands the gesture to the mouse",
       true,
       false,
       {Packets(1050, {Pen(10, 20, 1050, false)}, {5, 5}), Mouse(1101, 6, 6),
        Packets(1110, {Pen(10, 20, 1110)}, {7, 7}), Mouse(1120, 8, 8, false)},
       "/1 /0 mouse 7,7@1"},
      {"pressure: the pen's over the axis, clamped to it; the mouse presses fully",
       true,
       true,
       {Packets(1010, {Pen(10, 20, 1010, true, 612), Pen(20, 20, 1010, true, 50),
                       Pen(30, 20, 1010, true, 2000)}),
        Packets(1020, {Pen(30, 20, 1020, false, 0, true)})},
       "10,20@512 20,20@0 30,20@800 /3 /1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedPointerInput input;
    input.base = 100;
    input.range = 800;
    input.script.assign(c.polls.begin(), c.polls.end());
    PointerStream stream(input,
                         c.pen ? PointerStream::Device::kPenFirst : PointerStream::Device::kMouse);
    EXPECT_EQ(stream.OnPen(), c.pen);
    if (c.use_pressure) {
      ASSERT_TRUE(stream.UsePressure());
      EXPECT_EQ(stream.PressureRange(), 800);
    }
    EXPECT_EQ(Events(stream), c.events);
    PointerEvent e;
    EXPECT_FALSE(stream.Next(e));  // over for good
  }
}

// Without a tablet the pen-first stream reads the mouse; without an axis
// the pen presses fully.
TEST(PointerStreamTest, WithoutATabletOrAnAxis) {
  ScriptedPointerInput input;
  input.tablet = false;
  input.script = {Mouse(1010, 10, 20)};
  PointerStream mouse(input, PointerStream::Device::kPenFirst);
  EXPECT_FALSE(mouse.OnPen());
  EXPECT_FALSE(mouse.UsePressure());
  EXPECT_EQ(Events(mouse), "mouse 10,20@1");

  ScriptedPointerInput noAxis;
  noAxis.axis = false;
  noAxis.script = {Packets(1010, {Pen(10, 20, 1010, true, 5), Pen(10, 20, 1010, false, 0, true)})};
  PointerStream pen(noAxis, PointerStream::Device::kPenFirst);
  EXPECT_FALSE(pen.UsePressure());
  EXPECT_EQ(Events(pen), "10,20@1 /2");
}

// Points go through the tool's matrix: the mouse's from document units, the
// pen's through the tablet matrix combined with it; a first pen point on the
// press point repeats it.
TEST(PointerStreamTest, PointsInTheToolsSpace) {
  Matrix2x3 quad;
  MatrixSetScale(quad, 4 * kFixedOne, 4 * kFixedOne);
  ScriptedPointerInput input;
  input.script = {Packets(1010, {Pen(10, 20, 1010), Pen(11, 20, 1010)}),
                  Packets(1020, {Pen(11, 20, 1020, false, 0, true)})};
  PointerStream pen(input, PointerStream::Device::kPenFirst, &quad);
  pen.StartAt(Point32{40, 80});
  EXPECT_EQ(Events(pen), "44,80@1 /2 /1");

  ScriptedPointerInput mouseInput;
  mouseInput.script = {Mouse(1010, 3, 5)};
  PointerStream mouse(mouseInput, PointerStream::Device::kMouse, &quad);
  EXPECT_EQ(mouse.CursorPoint(), (Point32{0, 0}));
  EXPECT_EQ(Events(mouse), "mouse 12,20@1");
}

}  // namespace
