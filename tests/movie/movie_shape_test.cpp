// Shape records: edge graphs are written and read back by the test decoder,
// which rebuilds the edges from the steps; they must be the graph's edges,
// each once, with its fills (in the direction written) and line.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "movie/movie_writer.h"
#include "movie_decoder.h"
#include "platform/core/file.h"
#include "tests/common/edge_styles.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An edge of the graph in twips with its styles.
struct GraphEdge {
  QuadCurve curve;
  int fill_a = 0, fill_b = 0, line = 0;
};

std::string Show(const moviedec::Edge& e) {
  std::ostringstream s;
  s << (e.straight ? "line " : "curve ") << "(" << e.p0.x << "," << e.p0.y << ")";
  if (!e.straight) s << " ctrl (" << e.control.x << "," << e.control.y << ")";
  s << " -> (" << e.p2.x << "," << e.p2.y << ") fills " << e.fill0 << "/" << e.fill1 << " line "
    << e.line;
  return s.str();
}

bool Same(const Point32& p, const moviedec::Point& q) {
  return p.x == q.x && p.y == q.y;
}

class ShapeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EdgeGraphResetGlobals();
    // Room for edges longer than one step can carry.
    const Rect32 bounds = {-0x3000000, 0x3000000, -0x3000000, 0x3000000};
    ASSERT_EQ(EdgeGraphInit(graph_, &bounds), 0);
  }
  void TearDown() override {
    EdgeGraphFreeAll(graph_);
    EXPECT_EQ(EdgeGraphEdgesInUse(), 0);
  }

  // Inserts a curve given in twips.
  void Add(const QuadCurve& twips, StyleIndex line, StyleIndex fill_a, StyleIndex fill_b) {
    QuadCurve c;
    CurveShift(twips, ShiftLeft(8), c);
    Edge* e = nullptr;
    ASSERT_EQ(EdgeGraphNewEdge(c, &e), 0);
    e->line = line;
    e->a.fill = fill_a;
    e->b.fill = fill_b;
    ASSERT_EQ(EdgeGraphInsertEdge(graph_, e, 0, 3), 0);
  }
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, StyleIndex line, StyleIndex a,
            StyleIndex b) {
    QuadCurve c;
    CurveFromLine({x0, y0}, {x1, y1}, c);
    Add(c, line, a, b);
  }
  void Curve(Point32 p0, Point32 ctrl, Point32 p2, StyleIndex line, StyleIndex a, StyleIndex b) {
    QuadCurve c;
    CurveSet(p0, ctrl, p2, c);
    Add(c, line, a, b);
  }
  // A counter-clockwise polygon (y up): the inside is on side A's left.
  void Polygon(std::vector<Point32> pts, StyleIndex line, StyleIndex inside) {
    for (size_t i = 0; i < pts.size(); ++i) {
      const Point32& p = pts[i];
      const Point32& q = pts[(i + 1) % pts.size()];
      Line(p.x, p.y, q.x, q.y, line, inside, 0);
    }
  }

  std::vector<GraphEdge> GraphEdges() {
    std::vector<GraphEdge> out;
    EdgeGraphForEachEdge(graph_, nullptr, [&](Edge* e) {
      GraphEdge g;
      CurveShift(e->curve, ShiftRight(8), g.curve);
      g.fill_a = e->a.fill, g.fill_b = e->b.fill, g.line = e->line;
      out.push_back(g);
    });
    return out;
  }

  // Writes the graph as shape 9 and decodes the record.
  moviedec::Shape WriteAndRead() {
    EXPECT_EQ(EdgeGraphCleanup(graph_), 0);
    CMemFile file;
    CMovieWriter w(&file);
    w.WriteShape(9, graph_);
    w.Flush();
    auto d = file.GetData();
    bytes_.assign(d.begin(), d.end());
    moviedec::Reader in(bytes_);
    const uint16_t head = in.U16();
    EXPECT_EQ(head, (MT_SHAPE_CHARACTER << 6) | 0x3F);
    const uint32_t length = in.U32();
    EXPECT_EQ(length, bytes_.size() - 6);
    moviedec::Shape shape = moviedec::ReadShape(in.Bytes(length));
    EXPECT_EQ(shape.id, 9);
    return shape;
  }

  // Every styled edge of the graph is decoded exactly once with its styles;
  // edges without any style are left out.
  void ExpectSameEdges(const moviedec::Shape& shape) {
    std::vector<GraphEdge> expected = GraphEdges();
    std::vector<bool> used(expected.size(), false);
    size_t styled = 0;
    for (const GraphEdge& g : expected) styled += (g.fill_a || g.fill_b || g.line) ? 1 : 0;
    EXPECT_EQ(shape.steps.edges.size(), styled);
    for (const moviedec::Edge& e : shape.steps.edges) {
      SCOPED_TRACE(Show(e));
      bool found = false;
      for (size_t i = 0; i < expected.size() && !found; ++i) {
        const GraphEdge& g = expected[i];
        const bool forward = Same(g.curve.p0, e.p0) && Same(g.curve.p2, e.p2);
        const bool backward = Same(g.curve.p2, e.p0) && Same(g.curve.p0, e.p2);
        if (used[i] || !(forward || backward)) continue;
        if (g.curve.straight ? !e.straight : e.straight || !Same(g.curve.control, e.control))
          continue;
        found = true;
        used[i] = true;
        EXPECT_EQ(e.fill0, forward ? g.fill_a : g.fill_b);
        EXPECT_EQ(e.fill1, forward ? g.fill_b : g.fill_a);
        EXPECT_EQ(e.line, g.line);
      }
      EXPECT_TRUE(found) << "not an edge of the graph, or written twice";
    }
  }

  EdgeGraph graph_;
  Bytes bytes_;
};

TEST_F(ShapeTest, ClosedSquareIsOneSetupStepAndFourAxisSteps) {
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF0000FF)), 1);
  Polygon({{500, 500}, {1500, 500}, {1500, 1500}, {500, 1500}}, 0, 1);
  moviedec::Shape shape = WriteAndRead();

  EXPECT_EQ(shape.steps.fill_bits, 1);
  EXPECT_EQ(shape.steps.line_bits, 0);
  EXPECT_EQ(shape.steps.setup_steps, 1);
  EXPECT_EQ(shape.steps.move_tos, 1);
  ASSERT_EQ(shape.steps.edges.size(), 4u);
  std::string kinds = shape.steps.kinds;
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(kinds, "hhvv");
  for (const moviedec::Edge& e : shape.steps.edges) {
    EXPECT_EQ(e.fill0 + e.fill1, 1) << Show(e);  // the fill on one side only
    EXPECT_EQ(e.fill0 * e.fill1, 0);
    EXPECT_EQ(e.line, 0);
    EXPECT_EQ(e.delta_width, 11);  // NumBits(1000) + 1
  }
  // The edges form one closed chain.
  const auto& edges = shape.steps.edges;
  for (size_t i = 1; i < edges.size(); ++i) EXPECT_EQ(edges[i].p0, edges[i - 1].p2);
  EXPECT_EQ(edges.back().p2, edges.front().p0);
  ExpectSameEdges(shape);

  EXPECT_EQ(shape.fills.size(), 1u);
  EXPECT_EQ(shape.fills[0].kind, 0);
  EXPECT_EQ(shape.fills[0].color, (moviedec::Rgb{0xFF, 0, 0}));
  EXPECT_TRUE(shape.lines.empty());
  EXPECT_EQ(shape.bounds.xmin, 500);
  EXPECT_EQ(shape.bounds.xmax, 1500);
  EXPECT_EQ(shape.bounds.ymin, 500);
  EXPECT_EQ(shape.bounds.ymax, 1500);
}

TEST_F(ShapeTest, OpenPolylinesAreWrittenAsWholeChainsFromTheirStart) {
  // Whatever edge the walk meets first, it backs up to the start of its chain
  // and writes the polyline in one run: one setup step per polyline.
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF0000FF, 40)), 2);
  const Point32 zig[] = {{100, 100},  {1100, 900}, {2100, 100}, {3100, 900},
                         {4100, 100}, {5100, 900}, {6100, 100}};
  for (int i : {3, 1, 5, 0, 4, 2}) Line(zig[i].x, zig[i].y, zig[i + 1].x, zig[i + 1].y, 1, 0, 0);
  auto y = [](int i) { return i % 2 ? 3700 : 3000; };
  for (int i : {2, 0, 1}) Line(200 + 1500 * i, y(i), 200 + 1500 * (i + 1), y(i + 1), 2, 0, 0);
  moviedec::Shape shape = WriteAndRead();
  ExpectSameEdges(shape);
  EXPECT_EQ(shape.steps.setup_steps, 2);
  EXPECT_EQ(shape.steps.move_tos, 2);
}

TEST_F(ShapeTest, FillsGradientsBitmapFillsAndLinesDecodeToTheGraph) {
  FillStyle linear = SolidFill(0xFF123456);
  linear.kind = 0x10;
  linear.matrix = {0x8000, 0x100, -0x200, 0x9000, 1000, -2000};
  linear.gradient.count = 3;
  const uint8_t ratios[3] = {0, 128, 255};
  const uint32_t colours[3] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000};
  for (int i = 0; i < 3; ++i)
    linear.gradient.ratios[i] = ratios[i], linear.gradient.colours[i] = colours[i];
  FillStyle radial = linear;
  radial.kind = 0x12;
  radial.gradient.count = 2;
  radial.matrix = {0x20000, 0, 0, 0x20000, 1000, 3300};
  FillStyle bitmap = SolidFill(7);  // the bitmap character
  bitmap.kind = kMovieFillBitmap;
  bitmap.matrix = {20 << 16, 0, 0, 20 << 16, -3000, -3000};
  FillStyle texture = SolidFill(0xFF445566);
  texture.kind = 0x21;

  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF332211)), 1);
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, linear), 2);
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, radial), 3);
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, bitmap), 4);
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, texture), 5);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFFCC0000, 60)), 2);

  // Two squares sharing an edge: solid on the left, gradient on the right.
  //   +----+----+
  //   | 1  | 2  |
  //   +----+----+
  Polygon({{0, 0}, {2000, 0}, {2000, 2000}, {0, 2000}}, 1, 1);
  Line(2000, 0, 4000, 0, 1, 2, 0);
  Line(4000, 0, 4000, 2000, 1, 2, 0);
  Line(4000, 2000, 2000, 2000, 1, 2, 0);
  // The shared edge now has the gradient on its other side.
  EdgeGraphForEachEdge(graph_, nullptr, [](Edge* e) {
    QuadCurve c;
    CurveShift(e->curve, ShiftRight(8), c);
    if (c.p0.x == 2000 && c.p2.x == 2000) (c.p0.y == 0 ? e->b : e->a).fill = 2;
  });
  // A lens with the radial gradient, a curve over a straight base.
  Curve({0, 3000}, {1000, 4000}, {2000, 3000}, 2, 0, 3);
  Line(0, 3000, 2000, 3000, 2, 3, 0);
  // A bitmap-filled square without lines, and a texture triangle.
  Polygon({{-3000, -3000}, {-1000, -3000}, {-1000, -1000}, {-3000, -1000}}, 0, 4);
  Polygon({{-3000, 1000}, {-1000, 1000}, {-2000, 2000}}, 0, 5);
  // A dangling line with a bend, and an edge that carries nothing.
  Line(5000, 0, 6000, 500, 2, 0, 0);
  Line(6000, 500, 7000, 0, 2, 0, 0);
  Line(100, 2500, 900, 2500, 0, 0, 0);

  moviedec::Shape shape = WriteAndRead();
  ExpectSameEdges(shape);
  EXPECT_EQ(shape.steps.fill_bits, 3);
  EXPECT_EQ(shape.steps.line_bits, 2);
  EXPECT_LT(shape.steps.setup_steps, static_cast<int>(shape.steps.edges.size()));

  // The bounds take in the lines' half widths.
  EXPECT_EQ(shape.bounds.xmin, -3000);
  EXPECT_EQ(shape.bounds.xmax, 7030);
  EXPECT_EQ(shape.bounds.ymin, -3000);
  EXPECT_EQ(shape.bounds.ymax, 3530);

  ASSERT_EQ(shape.fills.size(), 5u);
  EXPECT_EQ(shape.fills[0].kind, 0);
  EXPECT_EQ(shape.fills[0].color, (moviedec::Rgb{0x11, 0x22, 0x33}));
  for (int k : {1, 2}) {
    SCOPED_TRACE(k);
    const FillStyle& src = k == 1 ? linear : radial;
    const moviedec::Fill& f = shape.fills[k];
    EXPECT_EQ(f.kind, src.kind);
    EXPECT_EQ(f.matrix, (moviedec::Matrix{src.matrix.a, src.matrix.b, src.matrix.c, src.matrix.d,
                                          src.matrix.tx, src.matrix.ty}));
    ASSERT_EQ(f.ratios.size(), src.gradient.count);
    for (int i = 0; i < src.gradient.count; ++i) {
      EXPECT_EQ(f.ratios[i], ratios[i]);
      const uint32_t c = colours[i];
      EXPECT_EQ(f.colors[i], (moviedec::Rgb{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                            static_cast<uint8_t>(c >> 16)}));
    }
  }
  EXPECT_EQ(shape.fills[3].kind, 0x41);
  EXPECT_EQ(shape.fills[3].bitmap_id, 7);
  EXPECT_EQ(shape.fills[3].matrix, (moviedec::Matrix{20 << 16, 0, 0, 20 << 16, -3000, -3000}));
  EXPECT_EQ(shape.fills[4].kind, 0);  // textures play as their colour
  EXPECT_EQ(shape.fills[4].color, (moviedec::Rgb{0x66, 0x55, 0x44}));

  ASSERT_EQ(shape.lines.size(), 2u);
  EXPECT_EQ(shape.lines[0].width, 20);
  EXPECT_EQ(shape.lines[0].color, (moviedec::Rgb{0, 0, 0}));
  EXPECT_EQ(shape.lines[1].width, 60);
  EXPECT_EQ(shape.lines[1].color, (moviedec::Rgb{0, 0, 0xCC}));
}

TEST_F(ShapeTest, EdgesLongerThanAStepAreSplitIntoPiecesThatFit) {
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);
  struct Original {
    QuadCurve curve;
  };
  std::vector<QuadCurve> originals(3);
  CurveFromLine({0, 0}, {100000, 0}, originals[0]);
  CurveFromLine({0, 20000}, {-70000, 160000}, originals[1]);
  CurveSet({0, -1000}, {60000, -90000}, {120000, -1000}, originals[2]);
  for (const QuadCurve& c : originals) Add(c, 1, 0, 0);

  moviedec::Shape shape = WriteAndRead();
  ASSERT_GT(shape.steps.edges.size(), 3u);
  for (const moviedec::Edge& e : shape.steps.edges) {
    SCOPED_TRACE(Show(e));
    EXPECT_LE(e.delta_width, 17);  // magnitudes up to 65535
    EXPECT_EQ(e.line, 1);
    // Every piece lies on one of the original edges.
    bool on_some = false;
    for (const QuadCurve& c : originals) {
      Point32 near;
      const bool p0 = CurveNearestPoint(c, {e.p0.x, e.p0.y}, 3, &near) != kNoParam;
      const bool p2 = CurveNearestPoint(c, {e.p2.x, e.p2.y}, 3, &near) != kNoParam;
      on_some = on_some || (p0 && p2 && e.straight == (c.straight != 0));
    }
    EXPECT_TRUE(on_some);
  }
  // The pieces of each edge join up from one end to the other.
  for (const QuadCurve& c : originals) {
    const Point32 a = c.p0, b = c.p2;
    bool from_a = false, to_b = false;
    for (const moviedec::Edge& e : shape.steps.edges) {
      from_a = from_a || (Same(a, e.p0) || Same(a, e.p2));
      to_b = to_b || (Same(b, e.p0) || Same(b, e.p2));
    }
    EXPECT_TRUE(from_a && to_b) << "an end of an original edge is missing";
  }
  const auto& edges = shape.steps.edges;
  int jumps = 0;
  for (size_t i = 1; i < edges.size(); ++i) jumps += edges[i].p0 == edges[i - 1].p2 ? 0 : 1;
  EXPECT_LE(jumps, 2);  // three chains at most
  EXPECT_EQ(shape.steps.move_tos, jumps + 1);
}

}  // namespace
