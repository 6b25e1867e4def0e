// Outlines of regions: the contour of a boundary, and the path of an outer
// region that runs into each of its holes over a bridge.
#include "geometry/edge_graph_path.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "geometry/edge_graph_region.h"
#include "geometry/point_list.h"

namespace {

constexpr int kBridgeGridDepth = 3;
constexpr int64_t kNoBridge = 0x7FFFFFFF;  // farther than any two points of a graph

Point32 ToTwips(const Point32& p) {
  Point32 out;
  PointShift(p, ShiftRight(8), out);
  return out;
}

int AppendPoint(PointList& path, const Point32& p, bool off_curve) {
  return PointListAppend(path, ToTwips(p), off_curve ? 1 : 0);
}

// Appends the curve of a half-edge after its start point.
int AppendCurveTail(PointList& path, const HalfEdge* h) {
  QuadCurve c;
  EdgeGetCurve(h, c);
  if (!c.straight)
    if (int r = AppendPoint(path, c.control, true); r < 0) return r;
  return AppendPoint(path, c.p2, false);
}

// The half-edges of one contour that can take a bridge, filed by their start
// vertex in a small grid over the contour's bounds.
class ContourIndex {
 public:
  struct Node {
    Node* next;
    HalfEdge* h;
  };

  int Build(const Region* contour) {
    if (SpatialGridInit(grid_, contour->bounds, kBridgeGridDepth) < 0) return -2;
    nodes_.reserve(contour->boundary_length);
    HalfEdge* start = contour->boundary;
    HalfEdge* h = start;
    do {
      if (!h->bridge) nodes_.push_back({nullptr, h});
      h = HalfEdgeNextOnBoundary(h);
    } while (h && h != start);
    for (Node& n : nodes_) {
      const Point32 p = n.h->vertex->position;
      GridCell* cell = SpatialGridFindCell(grid_, {p.x, p.x, p.y, p.y}, true);
      if (!cell) return -2;
      n.next = static_cast<Node*>(cell->chain[0]);
      cell->chain[0] = &n;
    }
    return 0;
  }

  // The contour half-edge whose start lies nearest to p, if nearer than best.
  void Nearest(const Point32& p, int64_t& best, HalfEdge*& found) const {
    auto clamp = [](int64_t v) {
      return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN + 1, INT32_MAX));
    };
    const Rect32 query = {clamp(int64_t{p.x} - best), clamp(int64_t{p.x} + best),
                          clamp(int64_t{p.y} - best), clamp(int64_t{p.y} + best)};
    EdgeIter it;
    EdgeIterInit(it, grid_, 0, &query);
    while (void* head = GridIterAdvance(it))
      for (const Node* n = static_cast<const Node*>(head); n; n = n->next) {
        const int64_t d = PointDistance(n->h->vertex->position, p);
        if (d < best) {
          best = d;
          found = n->h;
        }
      }
  }

 private:
  SpatialGrid grid_;
  std::vector<Node> nodes_;
};

struct Hole {
  Region* region;
  int64_t distance = kNoBridge;
  HalfEdge* from = nullptr;  // on the contour that gave the distance
  HalfEdge* to = nullptr;    // on the hole
  bool bridged = false;
};

int Measure(const Region* contour, std::vector<Hole>& holes) {
  ContourIndex index;
  bool built = false;
  for (Hole& hole : holes) {
    if (hole.bridged || RectDistance(contour->bounds, hole.region->bounds) >= hole.distance)
      continue;
    if (!built) {
      if (int r = index.Build(contour); r < 0) return r;
      built = true;
    }
    HalfEdge* start = hole.region->boundary;
    HalfEdge* h = start;
    do {
      HalfEdge* found = nullptr;
      if (!h->bridge) index.Nearest(h->vertex->position, hole.distance, found);
      if (found) {
        hole.from = found;
        hole.to = h;
      }
      h = HalfEdgeNextOnBoundary(h);
    } while (h && h != start);
  }
  return 0;
}

int Bridge(Region* region, std::vector<Hole>& holes) {
  for (Region* c = region->first_child; c; c = c->next)
    if (!RegionIsEmpty(*c)) holes.push_back({c});
  if (int r = Measure(region, holes); r < 0) return r;
  for (size_t done = 0; done < holes.size(); ++done) {
    Hole* nearest = nullptr;
    for (Hole& hole : holes)
      if (!hole.bridged && (!nearest || hole.distance < nearest->distance)) nearest = &hole;
    nearest->bridged = true;
    if (!nearest->from) continue;  // every vertex of the contours already carries a bridge
    nearest->from->bridge = nearest->to;
    nearest->to->bridge = nearest->from;
    nearest->to->flags |= kHalfBridgeEnd;
    if (int r = Measure(nearest->region, holes); r < 0) return r;
  }
  return 0;
}

// Bridges every hole that is not empty to the contour nearest to it: the
// region's own boundary or a hole bridged before. A failure leaves no bridge.
int BridgeHoles(Region* region) {
  std::vector<Hole> holes;
  int result;
  try {
    result = Bridge(region, holes);
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  if (result < 0) {
    RegionClearBridges(region);
    return result;
  }
  region->flags |= kRegionBridged;
  return 0;
}

// Appends the cycle from start; with follow_bridges, each bridge met leads
// into a hole, round it and back before the walk goes on.
int AppendCycle(PointList& path, HalfEdge* start, bool follow_bridges) {
  struct Frame {
    HalfEdge* start;
    HalfEdge* at;
    bool returned;  // back from the hole at `at`
  };
  std::vector<Frame> frames;
  frames.push_back({start, start, false});
  if (int r = AppendPoint(path, start->vertex->position, false); r < 0) return r;
  while (!frames.empty()) {
    Frame& f = frames.back();
    HalfEdge* h = f.at;
    if (follow_bridges && h->bridge && !(h->flags & kHalfBridgeEnd) && !f.returned) {
      f.returned = true;
      if (int r = AppendPoint(path, h->bridge->vertex->position, false); r < 0) return r;
      frames.push_back({h->bridge, h->bridge, false});
      continue;
    }
    if (int r = AppendCurveTail(path, h); r < 0) return r;
    f.at = HalfEdgeNextOnBoundary(h);
    f.returned = false;
    if (f.at && f.at != f.start) continue;
    frames.pop_back();
    if (!frames.empty())  // back over the bridge
      if (int r = AppendPoint(path, frames.back().at->vertex->position, false); r < 0) return r;
  }
  return 0;
}

}  // namespace

int RegionGetContour(const Region* region, PointList& path) {
  HalfEdge* start = region->boundary;
  if (int r = AppendPoint(path, start->vertex->position, false); r < 0) return r;
  const HalfEdge* h = start;
  do {
    if (int r = AppendCurveTail(path, h); r < 0) return r;
    h = HalfEdgeNextOnBoundary(h);
  } while (h && h != start);
  return 0;
}

int RegionGetPath(Region* region, PointList& path) {
  const bool bridged = RegionIsOuter(*region) && StyleIndexOf(region->fill) != 0;
  try {
    if (bridged && !(region->flags & kRegionBridged))
      if (int r = BridgeHoles(region); r < 0) return r;
    return AppendCycle(path, region->boundary, bridged);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
