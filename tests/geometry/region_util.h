// Test support for regions: building shapes from polygons in twips, areas of
// regions, and a readable dump of the region tree.
#pragma once

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/edge_graph_region.h"
#include "graph_invariants.h"
#include "tests/geometry/cycle_area.h"

namespace graph_test {

struct P {
  int32_t x, y;
};

// A closed polygon of straight edges (twips). Each edge's fill A lies on the
// right of its direction: a clockwise polygon (y up) has fill_right inside.
inline int AddPolygon(EdgeGraph& g, const std::vector<P>& points, StyleIndex line,
                      StyleIndex fill_right, StyleIndex fill_left, bool closed = true) {
  const size_t n = points.size();
  for (size_t i = 0; i + 1 < n || (closed && i < n); ++i) {
    const P& a = points[i];
    const P& b = points[(i + 1) % n];
    if (int r = Insert(g, Line(a.x, a.y, b.x, b.y), line, fill_right, fill_left); r < 0) return r;
  }
  return 0;
}

// Square from (x0, y0) to (x1, y1), clockwise, with `inside` as the fill of its
// inner sides.
inline int AddSquare(EdgeGraph& g, int32_t x0, int32_t y0, int32_t x1, int32_t y1, StyleIndex line,
                     StyleIndex inside, StyleIndex outside = 0) {
  return AddPolygon(g, {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}, line, inside, outside);
}

// The area of a face: an outer region's cycle less its holes.
inline double FaceArea(const Region* r) {
  double area = std::fabs(CycleArea(r));
  for (const Region* c = r->first_child; c; c = c->next)
    if (!RegionIsEmpty(*c)) area -= std::fabs(CycleArea(c));
  return area;
}

inline std::vector<Region*> AllRegions(EdgeGraph& g) {
  std::vector<Region*> out;
  RegionIter it;
  EXPECT_EQ(RegionIterInit(it, g), 0);
  while (Region* r = RegionIterNext(it)) out.push_back(r);
  return out;
}

inline std::vector<Region*> OuterRegions(EdgeGraph& g) {
  std::vector<Region*> out;
  for (Region* r : AllRegions(g))
    if (RegionIsOuter(*r)) out.push_back(r);
  return out;
}

// The tree, one region a line: depth, kind, fill, bounds in twips.
inline std::string DescribeRegions(EdgeGraph& g) {
  std::ostringstream os;
  RegionIter it;
  EXPECT_EQ(RegionIterInit(it, g), 0);
  while (true) {
    const size_t depth = it.stack.size();
    Region* r = RegionIterNext(it);
    if (!r) break;
    os << std::string(2 * depth, ' ')
       << (RegionIsEmpty(*r)   ? "empty"
           : RegionIsOuter(*r) ? "outer"
                               : "hole")
       << " fill " << std::hex << r->fill << std::dec << " [" << r->bounds.xmin / 256 << ","
       << r->bounds.xmax / 256 << "]x[" << r->bounds.ymin / 256 << "," << r->bounds.ymax / 256
       << "] len " << r->boundary_length << "\n";
  }
  return os.str();
}

// The fill of the face under a point (twips): 0 outside every filled face.
inline StyleIndex FillAt(EdgeGraph& g, int32_t x, int32_t y) {
  Region* r = EdgeGraphFindRegion(g, {G(x), G(y)});
  return r ? r->fill : 0;
}

}  // namespace graph_test
