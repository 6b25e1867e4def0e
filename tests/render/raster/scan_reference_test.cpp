// The scan converter against a per-sample reference: random scenes of many
// overlapping shapes (straight and curved edges, every fill rule, two-sided
// edges, shapes cut by the band) are drawn by the converter and, sample by
// sample, by a plain reference that knows nothing of active lists, spans or
// coverage runs. Every pixel must agree exactly.
//
// The reference takes each edge's column at each row from the edge's own
// stepping (set up at its first row, then stepped one row at a time, as the
// coverage model defines it), decides for each sample which fills are inside
// by counting the edges at or left of it, paints the inside fill of greatest
// priority, and blends the 16 samples of a pixel over white.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "render/raster/scan_converter.h"
#include "scan_input.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;

struct RefFill {
  int r, g, b;
  int32_t priority;  // distinct in a scene: no ties to break
};

struct RefEdge {
  CScanEdge edge;
  int fill_a, fill_b;  // indices, -1 for none
};

// Every sample's top fill (-1: none) over rows [0, rows) and columns
// [0, cols) of device units.
std::vector<int> ReferenceSamples(const std::vector<RefEdge>& edges,
                                  const std::vector<RefFill>& fills, int32_t cols, int32_t rows,
                                  bool antiAlias) {
  // Columns of every edge at every row it crosses.
  std::vector<std::vector<std::pair<int32_t, const RefEdge*>>> atRow(rows);
  for (const RefEdge& e : edges) {
    const int32_t y0 = e.edge.curve.p0.y, y1 = e.edge.curve.p2.y;
    if (y1 <= 0 || y0 >= rows || y1 <= y0) continue;
    const int32_t first = std::max(y0, 0);
    CActiveEdge a;
    a.Setup(e.edge, first, antiAlias ? 0 : 1);
    for (int32_t r = first; r < std::min(y1, rows); ++r) {
      atRow[r].emplace_back(a.x, &e);
      if (r + 1 < y1) a.StepTo(r + 1);
    }
  }
  std::vector<int> top(static_cast<size_t>(cols) * rows, -1);
  std::vector<int32_t> state(fills.size());
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < cols; ++c) {
      std::fill(state.begin(), state.end(), 0);
      for (const auto& [x, e] : atRow[r]) {
        if (x > c) continue;  // an edge switches the samples at and right of its column
        if (e->edge.kind == kEdgeAddWinding) {
          state[e->fill_a] += e->edge.direction;
        } else {
          state[e->fill_a] ^= 1;
          if (e->edge.kind == kEdgeToggleTwoFills && e->fill_b >= 0) state[e->fill_b] ^= 1;
        }
      }
      int best = -1;
      for (size_t f = 0; f < fills.size(); ++f)
        if (state[f] != 0 && (best < 0 || fills[f].priority > fills[best].priority))
          best = static_cast<int>(f);
      top[static_cast<size_t>(r) * cols + c] = best;
    }
  }
  return top;
}

// A random scene in device units of a width x height pixel canvas (scale 4
// when anti-aliased). Shapes reach past every side of the canvas.
struct Scene {
  std::vector<RefFill> fills;
  std::vector<RefEdge> edges;
};

Scene RandomScene(std::mt19937& rng, int32_t width, int32_t height, int scale, int shapes,
                  int32_t radius) {
  Scene scene;
  std::vector<int32_t> priorities;
  for (int i = 0; i < 2 * shapes; ++i) priorities.push_back(i + 1);
  std::shuffle(priorities.begin(), priorities.end(), rng);
  auto fill = [&]() {
    const int k = static_cast<int>(scene.fills.size());
    scene.fills.push_back({static_cast<int>(rng() % 256), static_cast<int>(rng() % 256),
                           static_cast<int>(rng() % 256), priorities[k]});
    return k;
  };
  std::uniform_int_distribution<int32_t> cx(-radius, width * scale + radius);
  std::uniform_int_distribution<int32_t> cy(-radius, height * scale + radius);
  for (int s = 0; s < shapes; ++s) {
    const int32_t ox = cx(rng), oy = cy(rng);
    const int32_t size = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(radius));
    std::uniform_int_distribution<int32_t> d(-size, size);
    const int n = 3 + static_cast<int>(rng() % 6);
    std::vector<Point32> points;
    for (int i = 0; i < n; ++i) {
      Point32 p{ox + d(rng), oy + d(rng)};
      if (rng() % 4 == 0) p.y = (p.y / scale) * scale;  // on a pixel boundary
      points.push_back(p);
    }
    const int mode = static_cast<int>(rng() % 3);
    const ScanEdgeKind kind = mode == 0   ? kEdgeToggleOneFill
                              : mode == 1 ? kEdgeAddWinding
                                          : kEdgeToggleTwoFills;
    const int a = fill();
    const int b = kind == kEdgeToggleTwoFills ? fill() : -1;
    const bool curved = rng() % 2 == 0;
    for (int i = 0; i < n; ++i) {
      Point32 p = points[i], q = points[(i + 1) % n];
      if (p.y == q.y) continue;  // horizontal edges switch nothing
      RefEdge e;
      e.fill_a = a;
      e.fill_b = b;
      e.edge.kind = kind;
      e.edge.direction = 1;
      if (q.y < p.y) {
        std::swap(p, q);
        e.edge.direction = -1;
      }
      QuadCurve& c = e.edge.curve;
      c.p0 = p;
      c.p2 = q;
      if (curved) {
        // Monotone in y: the control's y lies between the ends'.
        std::uniform_int_distribution<int32_t> ky(p.y, q.y);
        c.control = {ox + d(rng), ky(rng)};
        c.straight = 0;
      } else {
        c.control = {static_cast<int32_t>((int64_t{p.x} + q.x) >> 1),
                     static_cast<int32_t>((int64_t{p.y} + q.y) >> 1)};
        c.straight = 1;
      }
      scene.edges.push_back(e);
    }
  }
  return scene;
}

// What a scene's drawing adds left of the canvas, where it changes no pixel.
enum class Extra {
  kNone,
  // Two clip edges switch a clip that no fill uses on and off again: every
  // row takes the converter's walk by sub-scanline.
  kClip,
  // Two edges switch two fills of one priority on and off again: the
  // converter keeps the order of edges at equal columns that ties need.
  kSharedPriority,
};

// Draws a scene with the converter into a fresh canvas.
void DrawScene(const Scene& scene, Canvas& canvas, bool antiAlias, Extra extra = Extra::kNone) {
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, antiAlias);
  std::vector<CSpanFill> fills(scene.fills.size());
  for (size_t f = 0; f < fills.size(); ++f) {
    const RefFill& rf = scene.fills[f];
    MakeSolid(fills[f], cv, rf.r, rf.g, rf.b, rf.priority);
  }
  CSpanFill clip, tiedA, tiedB;
  MakeSolid(clip, cv, 0, 0, 0, 0);
  clip.clipId = 99;
  MakeSolid(tiedA, cv, 0, 0, 0, 0);
  MakeSolid(tiedB, cv, 0, 0, 0, 0);
  std::vector<CScanEdge> edges(scene.edges.size() + (extra != Extra::kNone ? 2 : 0));
  for (size_t i = 0; i < edges.size(); ++i) {
    if (i < scene.edges.size()) {
      edges[i] = scene.edges[i].edge;
      edges[i].fillA = &fills[scene.edges[i].fill_a];
      edges[i].fillB = scene.edges[i].fill_b >= 0 ? &fills[scene.edges[i].fill_b] : nullptr;
    } else {
      const int32_t x = -8 - static_cast<int32_t>(i - scene.edges.size());
      edges[i].curve = {{x, -8}, {x, 0}, {x, canvas.Height() * 4 + 8}, 1};
      if (extra == Extra::kClip) {
        edges[i].kind = kEdgeToggleClip;
        edges[i].fillA = &clip;
      } else {
        edges[i].kind = kEdgeToggleTwoFills;
        edges[i].fillA = &tiedA;
        edges[i].fillB = &tiedB;
      }
    }
    edges[i].next = i + 1 < edges.size() ? &edges[i + 1] : nullptr;
  }
  cv.AllocBuckets();
  cv.AddEdgeList(edges.empty() ? nullptr : edges.data());
  cv.RenderAll();
  cv.AllocBuckets();
  // Every fill leaves the render outside, ready for the next one.
  for (const CSpanFill* f : {&clip, &tiedA, &tiedB}) {
    ASSERT_EQ(f->inside, 0);
    ASSERT_EQ(f->onInsideList, 0);
  }
  for (const CSpanFill& f : fills) {
    ASSERT_EQ(f.inside, 0);
    ASSERT_EQ(f.onInsideList, 0);
  }
}

void ExpectSceneMatchesReference(const Scene& scene, int32_t width, int32_t height,
                                 bool antiAlias) {
  const int scale = antiAlias ? 4 : 1;
  Canvas canvas(width, height, 2);
  DrawScene(scene, canvas, antiAlias);
  const std::vector<int> top =
      ReferenceSamples(scene.edges, scene.fills, width * scale, height * scale, antiAlias);
  const int32_t cols = width * scale;
  for (int py = 0; py < height; ++py)
    for (int px = 0; px < width; ++px) {
      int sums[3] = {0, 0, 0}, n = 0;
      for (int j = 0; j < scale; ++j)
        for (int i = 0; i < scale; ++i) {
          const int f = top[static_cast<size_t>(py * scale + j) * cols + px * scale + i];
          if (f < 0) continue;
          sums[0] += scene.fills[f].r;
          sums[1] += scene.fills[f].g;
          sums[2] += scene.fills[f].b;
          ++n;
        }
      Rgb8 want{kUntouched, kUntouched, kUntouched};
      if (n > 0 && !antiAlias) {
        want = {sums[0], sums[1], sums[2]};
      } else if (n > 0) {
        want = {(sums[0] + (16 - n) * 255) >> 4, (sums[1] + (16 - n) * 255) >> 4,
                (sums[2] + (16 - n) * 255) >> 4};
      }
      ASSERT_EQ(canvas.At(px, py), want)
          << "pixel (" << px << ", " << py << "), " << n << " samples covered";
    }
  // Nothing outside the canvas.
  for (int py = -2; py < height + 2; ++py)
    for (int px = -2; px < width + 2; ++px)
      if (px < 0 || py < 0 || px >= width || py >= height) {
        ASSERT_EQ(canvas.At(px, py), (Rgb8{kUntouched, kUntouched, kUntouched}))
            << "guard pixel (" << px << ", " << py << ")";
      }
}

// A trial's canvas and scene for the walk tests: more and larger shapes as
// trials go on, and on odd trials a few outlines left open (missing an edge).
struct Trial {
  int32_t width, height;
  Scene scene;
};

Trial RandomTrial(std::mt19937& rng, int trial) {
  Trial t;
  t.width = 40 + static_cast<int32_t>(rng() % 30);
  t.height = 30 + static_cast<int32_t>(rng() % 30);
  t.scene = RandomScene(rng, t.width, t.height, 4, 10 + trial * 8, 24 + 8 * (trial % 4));
  std::vector<RefEdge>& edges = t.scene.edges;
  if (trial % 2 == 1) {
    for (int k = 0; k < 3 && !edges.empty(); ++k)
      edges.erase(edges.begin() + static_cast<std::ptrdiff_t>(rng() % edges.size()));
  }
  return t;
}

}  // namespace

TEST(ScanReference, RandomScenesMatchThePerSampleReference) {
  // Few large shapes, many medium ones, a crowd of small ones: the
  // converter's paths for long and short edges, many edges starting in one
  // row, deep stacks of fills.
  const struct {
    int shapes;
    int32_t radius;  // device units
  } kinds[] = {{6, 160}, {40, 40}, {150, 10}, {300, 4}};
  std::mt19937 rng(19);
  for (const bool antiAlias : {true, false}) {
    for (int trial = 0; trial < 12; ++trial) {
      const auto& k = kinds[trial % 4];
      const int scale = antiAlias ? 4 : 1;
      const int32_t width = 48 + static_cast<int32_t>(rng() % 40);
      const int32_t height = 32 + static_cast<int32_t>(rng() % 40);
      SCOPED_TRACE(std::string(antiAlias ? "anti-aliased" : "plain") + " trial " +
                   std::to_string(trial));
      const Scene scene = RandomScene(rng, width, height, scale, k.shapes, k.radius * scale / 4);
      ExpectSceneMatchesReference(scene, width, height, antiAlias);
    }
  }
}

TEST(ScanReference, TheRowWalkAgreesWithTheWalkBySubScanline) {
  // The anti-aliased rows are walked once per sub-scanline with the state
  // kept per row; input that leaves a fill inside at a row's end (shapes
  // missing an edge) hands its state on and takes the walk by sub-scanline
  // from there. Either way the pixels are those of the walk by sub-scanline
  // throughout.
  std::mt19937 rng(1919);
  for (int trial = 0; trial < 16; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const Trial t = RandomTrial(rng, trial);
    Canvas once(t.width, t.height, 2), bySubScanline(t.width, t.height, 2);
    DrawScene(t.scene, once, true);
    DrawScene(t.scene, bySubScanline, true, Extra::kClip);
    ASSERT_EQ(once.Memory(), bySubScanline.Memory());
    if (trial % 2 == 0) ExpectSceneMatchesReference(t.scene, t.width, t.height, true);
  }
}

TEST(ScanReference, EdgesOfOneColumnInAnyOrderDrawAsInTheTieOrder) {
  // With no two fills sharing a priority the converter orders the edges of
  // one column as it likes; a pair of fills sharing one makes it keep the
  // order that ties need. Scenes drawn both ways, with closed outlines and
  // with open ones (whose state the rows hand on), must agree byte for byte.
  std::mt19937 rng(2019);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const Trial t = RandomTrial(rng, trial);
    Canvas anyOrder(t.width, t.height, 2), tieOrder(t.width, t.height, 2);
    DrawScene(t.scene, anyOrder, true);
    DrawScene(t.scene, tieOrder, true, Extra::kSharedPriority);
    ASSERT_EQ(anyOrder.Memory(), tieOrder.Memory());
  }
}
