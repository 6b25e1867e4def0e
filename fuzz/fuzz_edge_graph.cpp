// Inserts a batch of curves into an edge graph, then edits it as the tools
// do (tidy-up, lasso, transform, merge, delete, copy, hit test, clipping to a
// region or a selection, style application, filling from a curve work list),
// checking the invariants after each insertion, after each clean-up and edit,
// and after undoing the whole batch. Where no edges cross and every region's
// kind follows the way its cycle runs, copies of the graph get their regions
// built from guessed starts and from the top, and the two trees must agree.
//
// Input: one header byte (bits 0-3: coordinate scale shift 2..11), then
// records of 13 bytes: an operation byte (bits 0-1 precedence, bit 2 straight,
// bits 3-4 line, bits 5-6 fill, bit 7 clean up after this curve) and six
// little-endian 16-bit coordinates p0, control, p2. The bytes after the last
// whole record (or after 16 of them) are edits: an operation byte (bits 0-2
// the edit, bits 3-7 its options; edit 0 with options 1-4 is one of the
// outline and flood queries) and the edit's arguments (below); at most six
// of them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "geometry/edge_change_log.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_check.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_outline.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "tests/geometry/cycle_area.h"

namespace {

constexpr size_t kRecord = 13;
constexpr size_t kMaxCurves = 16;
constexpr int kMaxEdits = 6;

void Fail(const EdgeGraph& graph, const char* when, const EdgeGraphCheckOptions& options) {
  const auto problems = EdgeGraphCheck(graph, options);
  if (problems.empty()) return;
  std::fprintf(stderr, "edge graph invalid %s:\n", when);
  for (const auto& p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
  std::abort();
}

EdgeGraphCheckOptions Options(bool sorted, bool crossings = true) {
  EdgeGraphCheckOptions options;
  // Pieces linked unsplit at the guard may cross: the check leaves them out.
  options.crossings = crossings;
  options.require_sorted = sorted;
  return options;
}

int16_t Read16(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | (p[1] << 8));
}

// Every half-edge has a region whose boundary walk meets it, the tree holds
// every region once, and every region links to the region it hangs under.
void CheckRegions(EdgeGraph& graph, const char* when) {
  auto fail = [when](const char* what) {
    std::fprintf(stderr, "regions invalid %s: %s\n", when, what);
    std::abort();
  };
  RegionIter it;
  if (RegionIterInit(it, graph) < 0) return;
  uint64_t boundary = 0;
  Region* parent = nullptr;
  while (Region* r = RegionIterNext(it, &parent)) {
    if (RegionGetParent(r) != parent) fail("a parent link");
    const HalfEdge* h = r->boundary;
    uint64_t n = 0;
    do {
      if (h->region != r) fail("a boundary half-edge names another region");
      if (++n > 2ull * graph.edge_count) fail("a boundary walk does not return");
      h = HalfEdgeNextOnBoundary(h);
    } while (h != r->boundary);
    if (r->boundary_length != std::min<uint64_t>(n, 0xFFFF)) fail("boundary length");
    boundary += n;
  }
  if (boundary != 2ull * graph.edge_count) fail("half-edges outside every region");
}

// The region tree in walk order: depth, kind, fill, bounds and where each
// boundary starts.
std::string DescribeTree(EdgeGraph& graph) {
  std::string out;
  RegionIter it;
  if (RegionIterInit(it, graph) < 0) return "out of memory";
  while (true) {
    const size_t depth = it.stack.size();
    const Region* r = RegionIterNext(it);
    if (!r) break;
    const QuadCurve& c = r->boundary->edge->curve;
    char line[160];
    std::snprintf(line, sizeof line, "%zu %x %x %d %d %d %d %d %d %d %d %d\n", depth, r->flags,
                  r->fill, r->bounds.xmin, r->bounds.xmax, r->bounds.ymin, r->bounds.ymax, c.p0.x,
                  c.p0.y, c.p2.x, c.p2.y, HalfEdgeIsSideB(r->boundary));
    out += line;
  }
  return out;
}

// Whether every region's kind agrees with the way its cycle runs. Edges that
// pass within a unit of a vertex without meeting it are not crossings to the
// graph, but around that vertex the walk may then take a face for its
// neighbour: the regions no longer nest as the plane does.
bool KindsFollowCycles(EdgeGraph& graph) {
  RegionIter it;
  if (RegionIterInit(it, graph) < 0) return false;
  while (const Region* r = RegionIterNext(it))
    if (!RegionIsEmpty(*r) && (graph_test::CycleArea(r) < 0) != RegionIsOuter(*r)) return false;
  return true;
}

bool HasUnsplitEdges(const EdgeGraph& graph) {
  bool found = false;
  EdgeGraphForEachEdge(graph, nullptr,
                       [&](const Edge* e) { found |= (e->flags & kEdgeUnsplit) != 0; });
  return found;
}

// Where no edges cross and the regions nest as the plane does, regions built
// from guessed starts come out as the plain build from the top makes them:
// two copies of the graph are built, one each way.
//
// `checked` says the graph has just passed the check with crossings (pieces
// linked unsplit left out): without such pieces that is this check already.
void CompareBuilds(EdgeGraph& graph, const char* when, bool checked) {
  EdgeGraphCheckOptions options;
  options.include_unsplit = true;
  if ((!checked || HasUnsplitEdges(graph)) && !EdgeGraphCheck(graph, options).empty()) return;
  std::string trees[2];
  for (int pass = 0; pass < 2; ++pass) {
    const int mode = EdgeGraphSetRegionStartMode(pass ? kRegionStartGuessed : kRegionStartFromTop);
    EdgeGraph copy;
    bool nested = true;
    if (EdgeGraphInit(copy) == 0 && EdgeGraphMerge(graph, copy, 3) == 0 &&
        EdgeGraphBuildRegions(copy) == 0) {
      nested = pass || KindsFollowCycles(copy);
      trees[pass] = DescribeTree(copy);
    }
    EdgeGraphSetRegionStartMode(mode);
    if (!nested) return;
  }
  if (trees[0] != trees[1]) {
    std::fprintf(stderr, "regions built from guesses differ %s:\n%s---\n%s", when, trees[0].c_str(),
                 trees[1].c_str());
    std::abort();
  }
}

// Reads the edits after the curve records; each ends with a tidy-up and the
// checks.
class Edits {
 public:
  Edits(EdgeGraph& graph, int shift, const uint8_t* data, size_t size)
      : graph_(graph), shift_(shift), data_(data), size_(size) {}

  void Run() {
    for (int edits = 0; at_ < size_ && edits < kMaxEdits; ++edits) {
      const uint8_t op = data_[at_++];
      const int options = op >> 3;
      switch (op & 7) {
        case 0:
          Query(options);  // or a tidy-up only
          break;
        case 1: {
          PointList lasso;
          if (PathFromRect(lasso, Rect()) == 0)
            static_cast<void>(EdgeGraphLassoSelect(graph_, lasso));
          PointListFree(lasso);
          break;
        }
        case 2: {
          Matrix2x3 m;
          if (options & 1) {
            m.a = -kFixedOne;  // a plain mirror
          } else {
            // Entries below one half: points stay within the coordinate range.
            m.a = Byte() * 256;
            m.b = Byte() * 256;
            m.c = Byte() * 256;
            m.d = Byte() * 256;
            // A (nearly) singular matrix folds the shape onto a line, where
            // reinsertion would meet long stretches of overlapping edges
            // that insertion does not promise to resolve; such matrices are
            // left out.
            const int64_t det = int64_t{m.a} * m.d - int64_t{m.b} * m.c;
            const int64_t big =
                std::max({std::abs(m.a), std::abs(m.b), std::abs(m.c), std::abs(m.d), 1});
            if (std::abs(det) * 4 < big * big) m = Matrix2x3{};
          }
          m.tx = Coordinate() >> 8;
          m.ty = Coordinate() >> 8;
          static_cast<void>(EdgeGraphTransform(graph_, m));
          break;
        }
        case 3: {
          EdgeGraph source;
          if (FilledSquare(source, 0xFF0000FFu))
            static_cast<void>(EdgeGraphMerge(source, graph_, options & 3));
          break;
        }
        case 4:
          static_cast<void>(EdgeGraphDeleteSelected(graph_));
          break;
        case 5: {
          EdgeGraph copy;
          if (EdgeGraphInit(copy) < 0) break;
          static_cast<void>(EdgeGraphCopySelected(graph_, copy));
          if (EdgeGraphUpdate(copy) == 0) {
            Fail(copy, "in a copy of the selection", Options(true));
            CheckRegions(copy, "in a copy of the selection");
          }
          break;
        }
        case 6: {
          EdgeHitRecord hit;
          hit.point = {Coordinate() >> 8, Coordinate() >> 8};
          hit.radius = options;
          hit.ignore_widths = options & 1;
          static_cast<void>(EdgeGraphHitTest(graph_, hit));
          break;
        }
        case 7:
          static_cast<void>(EdgeGraphSetSelected(graph_, options & 1));
          break;
      }
      if (EdgeGraphUpdate(graph_) < 0) return;
      // Crossings, the costly part of the check, are looked for after the
      // last edit. A transform moves every edge at once (and rounds its ends
      // anew): pieces that ran side by side may come back nearly tangent,
      // where insertion can miss a shallow crossing, so after a transform
      // only the structure is checked.
      const bool last = at_ >= size_ || edits + 1 == kMaxEdits;
      const bool crossings = last && (op & 7) != 2;
      Fail(graph_, "after an edit", Options(true, crossings));
      CheckRegions(graph_, "after an edit");
      if (last) CompareBuilds(graph_, "after the last edit", crossings);
    }
  }

 private:
  // A graph holding a square from the input, filled with fill 1 of the
  // colour; false when it could not be made.
  bool FilledSquare(EdgeGraph& g, uint32_t colour) {
    if (EdgeGraphInit(g) < 0) return false;
    PointList square;
    if (PathFromRect(square, Rect()) == 0) static_cast<void>(EdgeGraphAddPath(g, square, 0, 0, 0));
    PointListFree(square);
    FillStyle f;
    f.colour = colour;
    const int fill = EdgeGraphAddFillStyle(g, f);
    if (fill > 0) static_cast<void>(EdgeGraphPaintRegions(g, static_cast<StyleIndex>(fill), false));
    return true;
  }

  // A mask graph: a filled square, selected.
  bool MakeMask(EdgeGraph& mask) {
    return FilledSquare(mask, 0xFF00FF00u) && EdgeGraphUpdate(mask) == 0 &&
           EdgeGraphSetSelected(mask, true) == 0;
  }

  // The outline and flood queries.
  void Query(int which) {
    switch (which) {
      case 1: {  // clip to the filled region of a mask
        EdgeGraph mask;
        if (!MakeMask(mask)) break;
        RegionIter it;
        if (RegionIterInit(it, mask) < 0) break;
        while (Region* r = RegionIterNext(it)) {
          if (StyleIndexOf(r->fill) == 0) continue;
          static_cast<void>(EdgeGraphOutlineRegion(graph_, r));
          break;
        }
        break;
      }
      case 2: {  // clip to the selection of a mask
        EdgeGraph mask;
        if (MakeMask(mask)) static_cast<void>(EdgeGraphOutlineGraph(graph_, mask));
        break;
      }
      case 3: {  // apply or read a line and a fill style
        const uint8_t flags = static_cast<uint8_t>(Byte());
        LineStyle line;
        line.colour = 0xFF000000u | static_cast<uint8_t>(Byte());
        line.width = Byte();
        static_cast<void>(EdgeGraphApplyLineStyle(graph_, flags & 3, line));
        FillStyle fill;
        fill.colour = 0xFF000000u | static_cast<uint8_t>(Byte());
        static_cast<void>(EdgeGraphApplyFillStyle(graph_, (flags >> 2) & 3, fill));
        break;
      }
      case 4: {  // fill the regions inside a curve work list
        CurveWorkList list;
        list.fill_rule = static_cast<FillRule>(static_cast<uint8_t>(Byte()) % 3);
        for (int i = Byte() & 3; i >= 0; --i) {
          QuadCurve c;
          const Point32 p0{Coordinate(), Coordinate()}, control{Coordinate(), Coordinate()};
          CurveSet(p0, control, {Coordinate(), Coordinate()}, c);
          if (!list.Add(c)) break;
        }
        static_cast<void>(list.FillCoveredRegions(
            graph_, static_cast<StyleIndex>(1 + (static_cast<uint8_t>(Byte()) % 3))));
        break;
      }
      default:
        break;
    }
  }

  int8_t Byte() { return at_ < size_ ? static_cast<int8_t>(data_[at_++]) : 0; }
  // A coordinate in graph units, as the curves have them.
  int32_t Coordinate() {
    if (at_ + 2 > size_) {
      at_ = size_;
      return 0;
    }
    const int32_t v = Read16(data_ + at_) * (1 << shift_);
    at_ += 2;
    return v;
  }
  // A rectangle in twips, from two corners.
  Rect32 Rect() {
    const int32_t x0 = Coordinate() >> 8, y0 = Coordinate() >> 8;
    const int32_t x1 = Coordinate() >> 8, y1 = Coordinate() >> 8;
    return {std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1)};
  }

  EdgeGraph& graph_;
  int shift_;
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  EdgeGraphResetGlobals();
  // Coordinates within 2^26 units, a few hundred times the default page: the
  // 16.16 parameters of the intersection search resolve no farther.
  const int shift = std::min(2 + (data[0] & 15), 11);
  EdgeGraph graph;
  if (EdgeGraphInit(graph) < 0) return 0;
  for (int i = 1; i <= 3; ++i) {
    FillStyle f;
    f.colour = 0xFF000000u + i;
    static_cast<void>(EdgeGraphAddFillStyle(graph, f));
    LineStyle l;
    l.colour = 0xFF000000u + i;
    l.width = static_cast<int16_t>(20 * i);
    static_cast<void>(EdgeGraphAddLineStyle(graph, l));
  }
  EdgeChangeLog log;
  EdgeChangeLogAttach(log, graph);

  size_t curves = 0;
  size_t at = 1;
  for (; at + kRecord <= size && curves < kMaxCurves; at += kRecord, ++curves) {
    const uint8_t op = data[at];
    Point32 p[3];
    for (int k = 0; k < 3; ++k)
      p[k] = {Read16(data + at + 1 + 4 * k) * (1 << shift),
              Read16(data + at + 3 + 4 * k) * (1 << shift)};
    QuadCurve c;
    if (op & 4)
      CurveFromLine(p[0], p[2], c);
    else
      CurveSet(p[0], p[1], p[2], c);
    Edge* e = nullptr;
    if (EdgeGraphNewEdge(c, &e) < 0) break;
    e->line = (op >> 3) & 3;
    e->a.fill = (op >> 5) & 3;
    e->b.fill = ((op >> 5) + 1) & 3;
    if (EdgeGraphInsertEdge(graph, e, 0, op & 3) < 0) break;
    // Crossings, the costly part of the check, are looked for after the
    // clean-ups and at the end.
    Fail(graph, "after an insertion", Options(false, false));
    if (op & 0x80) {
      if (EdgeGraphCleanup(graph) < 0) break;
      Fail(graph, "after a clean-up", Options(true));
    }
  }
  if (EdgeGraphCleanup(graph) == 0) {
    Fail(graph, "after the final clean-up", Options(true));
    CompareBuilds(graph, "after the insertions", true);
  }
  Edits(graph, shift, data + at, at < size ? size - at : 0).Run();

  // Everything was made in the first change: undoing it empties the graph.
  Rect32 out;
  EdgeGraphEndChange(graph, out);
  if (EdgeChangeLogReplay(log) == 0 && graph.edge_count != 0) {
    std::fprintf(stderr, "undo left %u edges\n", graph.edge_count);
    std::abort();
  }
  return 0;
}
