// Test support for edge graphs: the invariant check as a GoogleTest
// assertion, builders for curves and edges in twips, and the edge multiset
// that tests compare.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_check.h"
#include "geometry/edge_graph_insert.h"
#include "tests/common/edge_styles.h"

namespace graph_test {

// Twips to graph units.
constexpr int32_t G(int32_t twips) {
  return twips * 256;
}

inline QuadCurve Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  QuadCurve c;
  CurveFromLine({G(x0), G(y0)}, {G(x1), G(y1)}, c);
  return c;
}

inline QuadCurve Quad(int32_t x0, int32_t y0, int32_t cx, int32_t cy, int32_t x1, int32_t y1) {
  QuadCurve c;
  CurveSet({G(x0), G(y0)}, {G(cx), G(cy)}, {G(x1), G(y1)}, c);
  return c;
}

// One edge as the tests see it: curve and styles, oriented so that p0 is the
// smaller end (a reversed edge swaps its fills).
struct EdgeRecord {
  QuadCurve curve;
  StyleIndex line = 0, fill_a = 0, fill_b = 0;
  auto Key() const {
    return std::make_tuple(curve.p0.x, curve.p0.y, curve.p2.x, curve.p2.y, curve.control.x,
                           curve.control.y, curve.straight, line, fill_a, fill_b);
  }
  friend bool operator<(const EdgeRecord& a, const EdgeRecord& b) { return a.Key() < b.Key(); }
  friend bool operator==(const EdgeRecord& a, const EdgeRecord& b) { return a.Key() == b.Key(); }
  friend std::ostream& operator<<(std::ostream& os, const EdgeRecord& e) {
    const QuadCurve& c = e.curve;
    os << "(" << c.p0.x / 256.0 << "," << c.p0.y / 256.0 << ")";
    if (!c.straight) os << "~(" << c.control.x / 256.0 << "," << c.control.y / 256.0 << ")";
    return os << "-(" << c.p2.x / 256.0 << "," << c.p2.y / 256.0 << ") line " << e.line << " fills "
              << e.fill_a << "/" << e.fill_b;
  }
};

inline EdgeRecord Normalised(const QuadCurve& c, StyleIndex line, StyleIndex a, StyleIndex b) {
  EdgeRecord r{c, line, a, b};
  if (std::make_pair(c.p2.x, c.p2.y) < std::make_pair(c.p0.x, c.p0.y)) {
    CurveReverse(c, r.curve);
    std::swap(r.fill_a, r.fill_b);
  }
  return r;
}

inline std::vector<EdgeRecord> Edges(const EdgeGraph& g) {
  std::vector<EdgeRecord> out;
  EdgeGraphForEachEdge(g, nullptr, [&](const Edge* e) {
    out.push_back(Normalised(e->curve, e->line, e->a.fill, e->b.fill));
  });
  std::sort(out.begin(), out.end());
  return out;
}

inline std::string Describe(const std::vector<EdgeRecord>& edges) {
  std::string s;
  for (const EdgeRecord& e : edges) {
    std::ostringstream os;
    os << "  " << e << "\n";
    s += os.str();
  }
  return s;
}

// The invariant check; crossings are looked for between every two edges but
// those linked unsplit at the splitting guard.
inline ::testing::AssertionResult GraphIsValid(const EdgeGraph& g,
                                               EdgeGraphCheckOptions options = {}) {
  const std::vector<std::string> problems = EdgeGraphCheck(g, options);
  if (problems.empty()) return ::testing::AssertionSuccess();
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  for (const std::string& p : problems) failure << p << "\n";
  return failure << "edges:\n" << Describe(Edges(g));
}

inline ::testing::AssertionResult GraphIsClean(const EdgeGraph& g) {
  EdgeGraphCheckOptions options;
  options.require_sorted = true;
  return GraphIsValid(g, options);
}

// Makes an edge with styles and inserts it.
inline int Insert(EdgeGraph& g, const QuadCurve& c, StyleIndex line = 0, StyleIndex fill_a = 0,
                  StyleIndex fill_b = 0, uint32_t stamp = 0, int precedence = 3) {
  Edge* e = nullptr;
  if (int r = EdgeGraphNewEdge(c, &e); r < 0) return r;
  e->line = line;
  e->a.fill = fill_a;
  e->b.fill = fill_b;
  return EdgeGraphInsertEdge(g, e, stamp, precedence);
}

inline Vertex* FindVertexAt(const EdgeGraph& g, const Point32& p) {
  Vertex* found = nullptr;
  EdgeGraphForEachVertex(g, nullptr, [&](Vertex* v) {
    if (v->position == p) found = v;
  });
  return found;
}

inline int RingSize(const Vertex* v) {
  int n = 0;
  for (const HalfEdge* h = v ? v->ring : nullptr; h; h = h->ring_next) ++n;
  return n;
}

// Fills 1..n and lines 1..n of distinct colours (line i is i twips wide).
inline void AddStyles(EdgeGraph& g, int n = 4) {
  for (int i = 1; i <= n; ++i) {
    const uint32_t colour = 0xFF000000u + static_cast<uint32_t>(i);
    EXPECT_EQ(EdgeGraphAddFillStyle(g, SolidFill(colour)), i);
    EXPECT_EQ(EdgeGraphAddLineStyle(g, SolidLine(colour, i)), i);
  }
}

// A graph over the default bounds, with the process-global state reset first
// and four fills and lines in its tables.
class GraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EdgeGraphResetGlobals();
    Reinit();
  }
  void Reinit() {
    ASSERT_EQ(EdgeGraphInit(graph_), 0);
    AddStyles(graph_);
  }
  void TearDown() override {
    EdgeGraphFreeAll(graph_);
    EXPECT_EQ(EdgeGraphEdgesInUse(), 0);
    EXPECT_EQ(EdgeGraphVerticesInUse(), 0);
  }
  EdgeGraph graph_;
};

}  // namespace graph_test
