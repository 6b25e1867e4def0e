// Every tool's gesture reads the same pointer stream: one scripted gesture
// (the mouse, and with a tablet the pen moving along with it) reaches the
// same places whichever tool reads it. A place counts as reached when the
// tool's result lies there: the Brush's and the Pencil's new edges, the
// Lasso's selection of a small square, the Paint Bucket's radial gradient
// centred where its drag ended.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "geometry/edge_graph_region.h"
#include "tests/common/edge_styles.h"
#include "tool_fixture.h"
#include "view/brush_tool.h"
#include "view/core/assistant_settings.h"
#include "view/pencil_tool.h"

namespace {

// A place the gesture may reach: a loop drawn round its centre.
struct Place {
  int x, y;
};
constexpr Place kA{80, 80};    // traced while the gesture runs
constexpr Place kB{200, 160};  // traced after the gesture should have ended
constexpr Place kC{230, 60};   // traced by pen packets queued before the press
constexpr int kLoop = 25;      // half the loop's side
constexpr int kReach = 35;     // half the side of the place's square

// Round the place clockwise from its top left corner, ending at the middle
// of the left side (an end away from the start, so that the bucket's drag
// ends inside the place).
std::vector<CPoint> Loop(Place p) {
  const std::vector<CPoint> corners{{p.x - kLoop, p.y - kLoop},
                                    {p.x + kLoop, p.y - kLoop},
                                    {p.x + kLoop, p.y + kLoop},
                                    {p.x - kLoop, p.y + kLoop},
                                    {p.x - kLoop, p.y}};
  std::vector<CPoint> points{corners[0]};
  for (size_t i = 1; i < corners.size(); ++i) {
    const CPoint a = corners[i - 1], b = corners[i];
    for (int k = 1; k <= 4; ++k)
      points.emplace_back(a.x + (b.x - a.x) * k / 4, a.y + (b.y - a.y) * k / 4);
  }
  return points;
}

Rect32 Square(Place p) {
  return {p.x - kReach, p.x + kReach, p.y - kReach, p.y + kReach};
}

bool EdgesIn(EdgeGraph& g, const Rect32& twips) {
  Rect32 probe;
  RectShift(twips, ShiftLeft(8), probe);
  bool found = false;
  EdgeGraphForEachEdge(g, &probe, [&](Edge* e) {
    Rect32 b;
    CurveGetBounds(e->curve, b);
    if (RectsOverlap(b, probe)) found = true;
  });
  return found;
}

// The scripted source, noting a gesture that reads the clock without end (a
// loop that missed the end of its gesture would never stop under the fake
// clock): the clock then jumps a minute, which ends every wait.
class CBoundedSource : public CScriptedInputSource {
 public:
  uint32_t GetTickCount() override {
    if (++reads_ > kMostReads) {
      overran_ = true;
      SetTime(CScriptedInputSource::GetTickCount() + 60000);
    }
    return CScriptedInputSource::GetTickCount();
  }
  // A new gesture; whether the one before overran.
  bool Reset() {
    const bool overran = overran_;
    reads_ = 0;
    overran_ = false;
    return overran;
  }

 private:
  static constexpr int kMostReads = 100000;
  int reads_ = 0;
  bool overran_ = false;
};

// What the script does between the two loops.
enum class Stop { kRelease, kFocusLoss };

class PointerStreamToolsTest : public ToolViewTest {
 protected:
  void SetUp() override {
    ToolViewTest::SetUp();
    SetInputSource(&input);
    ResetAssistantSettings();
    pencil.SetDrawMode(kPencilInk);
    bucket.SetMode(kBrushModeAlternate);
    bucket.SetGapSize(0);
  }
  void TearDown() override {
    ResetAssistantSettings();
    ToolViewTest::TearDown();
  }

  // One sample per point, 10 ms apart, Shift held (no snapping, the lasso
  // adds); with the pen its down packet at the same point.
  void PushLoop(Place p, uint32_t& t, bool pen) {
    for (const CPoint& c : Loop(p)) {
      InputSample s;
      s.time = t += 10;
      s.screen = Screen(c.x, c.y);
      s.buttons = MK_LBUTTON;
      s.keys = MK_SHIFT;
      if (pen) s.packets.push_back(Packet({c.x, c.y, true}, s.time));
      input.Push(s);
    }
  }
  // Presses at A's first point and runs the whole script; then whatever the
  // gesture left unread is taken.
  void Gesture(bool pen, bool stale, Stop stop) {
    if (stale) {
      uint32_t t = 900;
      for (const CPoint& c : Loop(kC)) TabletQueuePacket(Packet({c.x, c.y, true}, t += 1));
    }
    uint32_t t = 1000;
    input.SetTime(t);
    (void)input.Reset();
    PushLoop(kA, t, pen);
    InputSample s;
    s.time = t += 10;
    s.screen = Screen(kA.x - kLoop, kA.y);
    s.keys = MK_SHIFT;
    if (stop == Stop::kRelease) {
      if (pen) s.packets.push_back(Packet({kA.x - kLoop, kA.y, false, 0, true}, s.time));
    } else {
      s.buttons = MK_LBUTTON;
      s.ends_gesture = true;
    }
    input.Push(s);
    PushLoop(kB, t, pen);
    const CPoint start = Loop(kA).front();
    Press(start, MK_SHIFT);
    while (input.Remaining() > 0) (void)::IsButtonStillDown(nullptr);
    if (view->GetTabletContext() != nullptr) {
      PACKET rest[kTabletQueueSize];
      (void)WTPacketsGet(view->GetTabletContext(), static_cast<int>(kTabletQueueSize), rest);
    }
  }

  CBoundedSource input;
  CBrushTool brush;
  CPencilTool pencil;
  CLassoTool lasso;
  CBrushTool bucket;
};

TEST_F(PointerStreamToolsTest, EveryToolEndsWhereTheStreamEnds) {
  const FillStyle radial = [] {
    FillStyle f = GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}});
    f.kind = kGradientRadial;
    return f;
  }();
  struct Tool {
    const char* name;
    CDrawTool* tool;
    std::function<void()> setup;
    std::function<bool(Place)> reached;
  } toolCases[] = {
      {"brush", &brush, [] {}, [&](Place p) { return EdgesIn(Drawing(), Square(p)); }},
      {"pencil", &pencil, [] {}, [&](Place p) { return EdgesIn(Drawing(), Square(p)); }},
      {"lasso", &lasso,
       [&] {
         for (Place p : {kA, kB, kC}) AddSquare(layer, {p.x - 5, p.x + 5, p.y - 5, p.y + 5});
       },
       [&](Place p) {
         Region* r = EdgeGraphFindRegion(Drawing(), Point32{p.x << 8, p.y << 8});
         return r != nullptr && StyleIndexOf(r->fill) != 0 && StyleIsSelected(r->fill);
       }},
      {"bucket", &bucket,
       [&] {
         AddSquare(layer, {10, 290, 10, 230}, 0xFF00FF00);
         bucket.SetColorDef(radial);
       },
       [&](Place p) {
         Point32 centre;
         MatrixTransformPoint(bucket.GetColorDef().matrix, Point32{0, 0}, centre);
         return RectContainsPoint(Square(p), centre);
       }},
  };
  struct Case {
    const char* what;
    bool pen;
    bool stale;  // pen packets queued before the press trace C
    Stop stop;
  } cases[] = {
      {"the mouse: the release ends the gesture", false, false, Stop::kRelease},
      {"the mouse: focus loss ends the gesture", false, false, Stop::kFocusLoss},
      {"the pen: leaving proximity (and the release) ends the gesture", true, false,
       Stop::kRelease},
      {"the pen: focus loss ends the gesture", true, false, Stop::kFocusLoss},
      {"the pen: packets queued before the press are dropped", true, true, Stop::kRelease},
  };
  bool tablet = false;
  for (const Case& c : cases) {
    if (c.pen && !tablet) {
      AttachTablet();
      tablet = true;
    }
    for (const Tool& tool : toolCases) {
      SCOPED_TRACE(std::string(tool.name) + ": " + c.what);
      const std::vector<uint8_t> before = PageBytes();
      const int steps = UndoSteps();
      tool.setup();
      const int setupSteps = UndoSteps();
      tools.current = tool.tool;
      Gesture(c.pen, c.stale, c.stop);
      EXPECT_FALSE(input.Reset()) << "the gesture did not end";
      EXPECT_EQ(UndoSteps(), setupSteps + 1);
      EXPECT_TRUE(tool.reached(kA));
      EXPECT_FALSE(tool.reached(kB));
      EXPECT_FALSE(tool.reached(kC));
      while (UndoSteps() > steps) page->Undo();
      EXPECT_EQ(PageBytes(), before);
    }
  }
}

}  // namespace
