// Styled strokes and non-solid fills: dash lengths against a double-precision
// arc length, lengths at or below zero, the gradient band count, gradient
// bands covering their region with the ramp colour of their centres, and
// textures and chalk that draw the same pixels whole and through a clip.
#include <geos_c.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/context/render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "tests/common/edge_styles.h"
#include "tests/common/image32.h"
#include "tests/render/context/graph_fixture.h"

namespace {

// A path's length by fine flattening, in double precision.
double ArcLength(const PointList& path) {
  double total = 0;
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c)) {
    double px = c.p0.x, py = c.p0.y;
    for (int i = 1; i <= 512; ++i) {
      const double t = i / 512.0, u = 1 - t;
      const double x = u * u * c.p0.x + 2 * u * t * c.control.x + t * t * c.p2.x;
      const double y = u * u * c.p0.y + 2 * u * t * c.control.y + t * t * c.p2.y;
      total += std::hypot(x - px, y - py);
      px = x;
      py = y;
    }
  }
  return total;
}

// The signed area of a path's flattened outline.
double Area(const PointList& path, double* cx = nullptr, double* cy = nullptr) {
  std::vector<std::pair<double, double>> pts;
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c))
    for (int i = 0; i < 64; ++i) {
      const double t = i / 64.0, u = 1 - t;
      pts.push_back({u * u * c.p0.x + 2 * u * t * c.control.x + t * t * c.p2.x,
                     u * u * c.p0.y + 2 * u * t * c.control.y + t * t * c.p2.y});
    }
  double a = 0, x = 0, y = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const auto& p = pts[i];
    const auto& q = pts[(i + 1) % pts.size()];
    const double cross = p.first * q.second - q.first * p.second;
    a += cross;
    x += (p.first + q.first) * cross;
    y += (p.second + q.second) * cross;
  }
  if (cx) *cx = x / (3 * a);
  if (cy) *cy = y / (3 * a);
  return a / 2;
}

// Records every path drawn with its styles.
class CPathLog : public CRenderContext {
 public:
  CPathLog() { m_flags |= kFlagFills; }
  void FillPolygon(const PointList& path, const LineStyle* line, const FillStyle* fill) override {
    Entry e;
    EXPECT_EQ(PointListCopy(path, e.path), 0);
    e.has_fill = fill != nullptr;
    if (fill) e.fill = *fill;
    if (line) e.line = *line;
    entries.push_back(std::move(e));
  }
  struct Entry {
    Entry() = default;
    Entry(Entry&& o) noexcept : fill(o.fill), line(o.line), has_fill(o.has_fill) {
      EXPECT_EQ(PointListCopy(o.path, path), 0);
    }
    PointList path;
    FillStyle fill;
    LineStyle line;
    bool has_fill = false;
  };
  std::vector<Entry> entries;
};

TEST(Dashes, LengthsAgainstArcLength) {
  PointList path;
  ASSERT_EQ(PointListAppend(path, {0, 0}, 0), 0);
  ASSERT_EQ(PointListAppend(path, {4000, 3000}, 1), 0);  // a curve, then a line
  ASSERT_EQ(PointListAppend(path, {8000, 0}, 0), 0);
  ASSERT_EQ(PointListAppend(path, {8000, 5000}, 0), 0);
  const double total = ArcLength(path);
  for (int16_t on : {100, 333, 1000}) {
    const int16_t off = 150;
    LineStyle dashed = SolidLine(0xFF000000, 20);
    dashed.kind = 1;
    dashed.params[0] = on;
    dashed.params[1] = off;
    CPathLog rc;
    rc.DrawPath(path, &dashed, nullptr);
    ASSERT_FALSE(rc.entries.empty());
    double drawn = 0;
    for (size_t i = 0; i < rc.entries.size(); ++i) {
      const double l = ArcLength(rc.entries[i].path);
      drawn += l;
      EXPECT_EQ(rc.entries[i].line.kind, 0);  // drawn as plain pieces
      if (i + 1 < rc.entries.size()) {
        EXPECT_NEAR(l, on, on * 0.03 + 3) << "dash " << i;
      }
    }
    const int cycles = static_cast<int>(total / (on + off));
    const double expected = cycles * on + std::min<double>(on, total - cycles * (on + off));
    EXPECT_NEAR(drawn, expected, expected * 0.03) << "on " << on;
  }
}

TEST(Dashes, LengthsAtOrBelowZeroDrawNothing) {
  PointList path;
  ASSERT_EQ(PathFromRect(path, {0, 1000, 0, 1000}), 0);
  const int16_t cases[][2] = {{0, 100}, {100, 0}, {-5, 100}, {100, -5}, {0, 0}};
  for (const auto& c : cases) {
    LineStyle dashed;
    dashed.kind = 1;
    dashed.colour = 0xFF000000;
    dashed.params[0] = c[0];
    dashed.params[1] = c[1];
    CPathLog rc;
    rc.DrawPath(path, &dashed, nullptr);
    EXPECT_TRUE(rc.entries.empty()) << c[0] << " " << c[1];
  }
}

TEST(GradientBands, CountStaysWithinTheLimitAndTheSizeTerm) {
  FillStyle g = GradientFill(kGradientLinear, {{0, 0xFF000000}, {255, 0xFFFFFFFF}});
  struct Case {
    int quality;
    Fixed scale;  // the fill matrix's
    uint8_t kind;
    int32_t expected;
  };
  const Case cases[] = {
      {3, kFixedOne, kGradientLinear, 51},        // colour term 255 / 5, size 32768 / 2
      {1, kFixedOne, kGradientLinear, 6},         // the limit
      {0, kFixedOne, kGradientLinear, 1},         // limit 1
      {3, kFixedOne / 4096, kGradientLinear, 8},  // tiny: the size term's floor of 8
      {2, kFixedOne / 256, kGradientLinear, 32}, {3, kFixedOne / 4096, kGradientRadial, 8},
  };
  for (const Case& c : cases) {
    CRenderContext rc;
    rc.SetQuality(c.quality);
    g.kind = c.kind;
    MatrixSetScale(g.matrix, c.scale, c.scale);
    const int32_t n = rc.GradientBandCount(g);
    EXPECT_EQ(n, c.expected) << c.quality << " " << c.scale;
    EXPECT_LE(n, rc.m_bandLimit);
  }
  // Equal colours: the colour term is 1 whatever the size.
  g.kind = kGradientLinear;
  g.gradient.colours[1] = g.gradient.colours[0];
  MatrixSetScale(g.matrix, kFixedOne, kFixedOne);
  CRenderContext rc;
  EXPECT_EQ(rc.GradientBandCount(g), 1);
}

using GradientGraphTest = GraphFixture;

TEST_F(GradientGraphTest, BandsCoverTheRegionWithTheirCentresColours) {
  const FillStyle g = GreyGradient(4000, 4000);  // across 0..8000 twips
  const StyleIndex fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, g));
  // A square with a square hole, clockwise on the screen.
  AddPolyline({{500, 500}, {7500, 500}, {7500, 7500}, {500, 7500}, {500, 500}}, 0, 0, fill);
  AddPolyline({{3000, 3000}, {5000, 3000}, {5000, 5000}, {3000, 5000}, {3000, 3000}}, 0, fill, 0);
  CPathLog rc;
  rc.SetQuality(2);
  rc.DrawEdgeGraph(graph_);
  ASSERT_GT(rc.entries.size(), 4u);
  double area = 0;
  for (const auto& e : rc.entries) {
    ASSERT_TRUE(e.has_fill);
    double cx, cy;
    const double a = Area(e.path, &cx, &cy);
    area += std::fabs(a);
    // The band's colour is the ramp's at the band holding its centre (for
    // bands cut by the hole the centre can fall in the hole: test the
    // others).
    if (cx > 3000 && cx < 5000 && cy > 2500 && cy < 5500) continue;
    const double position = (cx - 4000) / 4000 * 128 + 128;
    const double red = (e.fill.colour & 0xFF) / 255.0,
                 green = ((e.fill.colour >> 8) & 0xFF) / 255.0;
    EXPECT_NEAR(red * 256, position, 64.0 / rc.GradientBandCount(g) + 1.5) << cx;
    EXPECT_NEAR(green, red, 0.05);
  }
  EXPECT_NEAR(area, 7000.0 * 7000 - 2000.0 * 2000, 7000.0 * 7000 * 0.002);
}

// GEOS geometries of the tests, freed with their owner.
class Geos {
 public:
  Geos() : h(GEOS_init_r()) {}
  ~Geos() {
    for (GEOSGeometry* g : owned_) GEOSGeom_destroy_r(h, g);
    GEOS_finish_r(h);
  }
  GEOSGeometry* Keep(GEOSGeometry* g) {
    owned_.push_back(g);
    return g;
  }
  // The path's contours (a contour ends where the next curve does not start
  // at its end), flattened, combined even-odd.
  GEOSGeometry* FromPath(const PointList& path) {
    std::vector<std::vector<std::pair<double, double>>> contours;
    PointListIter it;
    PointListIterInit(path, it);
    QuadCurve c;
    Point32 last{INT32_MIN, INT32_MIN};
    while (PointListIterNext(it, c)) {
      if (contours.empty() || !(c.p0 == last)) contours.emplace_back();
      const int steps = c.straight ? 1 : 16;
      for (int i = 0; i < steps; ++i) {
        const double t = static_cast<double>(i) / steps, u = 1 - t;
        contours.back().push_back({u * u * c.p0.x + 2 * u * t * c.control.x + t * t * c.p2.x,
                                   u * u * c.p0.y + 2 * u * t * c.control.y + t * t * c.p2.y});
      }
      last = c.p2;
    }
    GEOSGeometry* result = nullptr;
    for (const auto& contour : contours) {
      GEOSGeometry* ring = Polygon(contour);
      result = result ? Keep(GEOSSymDifference_r(h, result, ring)) : ring;
    }
    return result;
  }
  GEOSGeometry* Polygon(const std::vector<std::pair<double, double>>& points) {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, static_cast<unsigned>(points.size() + 1), 2);
    for (size_t i = 0; i <= points.size(); ++i) {
      const auto& p = points[i % points.size()];
      GEOSCoordSeq_setXY_r(h, seq, static_cast<unsigned>(i), p.first, p.second);
    }
    // A self-touching ring is made valid by a zero buffer.
    GEOSGeometry* poly =
        GEOSGeom_createPolygon_r(h, GEOSGeom_createLinearRing_r(h, seq), nullptr, 0);
    GEOSGeometry* valid = GEOSBuffer_r(h, poly, 0, 8);
    GEOSGeom_destroy_r(h, poly);
    return Keep(valid);
  }
  double Area(const GEOSGeometry* g) {
    double a = 0;
    GEOSArea_r(h, g, &a);
    return a;
  }
  GEOSContextHandle_t h;

 private:
  std::vector<GEOSGeometry*> owned_;
};

TEST_F(GradientGraphTest, BandsTileTheRegionExactlyAsGeosSeesIt) {
  struct Case {
    uint8_t kind;
    bool concave;
  } cases[] = {{kGradientLinear, false},
               {kGradientRadial, false},
               {kGradientLinear, true},
               {kGradientRadial, true}};
  for (const Case& c : cases) {
    Reset();
    FillStyle g = GreyGradient(4000, 4000);
    g.kind = c.kind;
    const StyleIndex fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, g));
    std::vector<std::pair<double, double>> outer;
    if (c.concave) {
      // An arrow head with a notch, no hole.
      const std::vector<Point32> p = {{600, 700},   {7400, 1500}, {3000, 4200},
                                      {7000, 7300}, {800, 6900},  {600, 700}};
      AddPolyline(p, 0, 0, fill);
      for (const Point32& q : p) outer.push_back({double(q.x), double(q.y)});
    } else {
      AddPolyline({{500, 500}, {7500, 500}, {7500, 7500}, {500, 7500}, {500, 500}}, 0, 0, fill);
      AddPolyline({{3000, 3000}, {5000, 3000}, {5000, 5000}, {3000, 5000}, {3000, 3000}}, 0, fill,
                  0);
      outer = {{500, 500}, {7500, 500}, {7500, 7500}, {500, 7500}};
    }
    Geos geos;
    GEOSGeometry* expected = geos.Polygon(outer);
    if (!c.concave)
      expected = geos.Keep(
          GEOSDifference_r(geos.h, expected,
                           geos.Polygon({{3000, 3000}, {5000, 3000}, {5000, 5000}, {3000, 5000}})));
    CPathLog rc;
    rc.SetQuality(2);
    rc.DrawEdgeGraph(graph_);
    SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << " concave " << c.concave);
    ASSERT_GT(rc.entries.size(), 4u);
    GEOSGeometry* all = nullptr;
    double sum = 0;
    for (const auto& e : rc.entries) {
      GEOSGeometry* band = geos.FromPath(e.path);
      ASSERT_NE(band, nullptr);
      sum += geos.Area(band);
      all = all ? geos.Keep(GEOSUnion_r(geos.h, all, band)) : band;
      if (c.kind != kGradientLinear) continue;
      // The band's colour is the ramp's at a point inside it, within one
      // band's step.
      GEOSGeometry* inside = geos.Keep(GEOSPointOnSurface_r(geos.h, band));
      double x = 0;
      GEOSGeomGetX_r(geos.h, inside, &x);
      const double position = (x - 4000) / 4000 * 128 + 128;
      EXPECT_NEAR((e.fill.colour & 0xFF) / 255.0 * 256, position,
                  256.0 / rc.GradientBandCount(g) + 1.5)
          << x;
    }
    const double area = geos.Area(expected);
    // The bands overlap nowhere and cover the region and nothing else.
    EXPECT_NEAR(sum, geos.Area(all), area * 0.001);
    EXPECT_LT(geos.Area(geos.Keep(GEOSSymDifference_r(geos.h, all, expected))), area * 0.001);
  }
}

// A context drawing through a scan converter into a 64 x 64 bitmap (20 twips a pixel).
struct Canvas {
  explicit Canvas(const Rect32& clip) {
    EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, 64, 64, false));
    scan = std::make_unique<CScanConverter>(&bitmap, nullptr, nullptr, 0);
    rc.m_scan = scan.get();
    rc.m_flags |= CRenderContext::kFlagFills;
    rc.FillRectColor(0xFFFFFF);
    Matrix2x3 m;
    MatrixSetScale(m, kFixedOne / 20, kFixedOne / 20);
    rc.SetMatrix(m);
    rc.SetClip(clip);
  }
  uint32_t At(int x, int y) { return RgbAt(bitmap, x, y); }
  COffscreenBitmap bitmap;
  std::unique_ptr<CScanConverter> scan;
  CRenderContext rc;
};

using DeterminismTest = GraphFixture;

TEST_F(DeterminismTest, TexturesAndStrokesMatchInsideASmallClip) {
  for (uint8_t kind : {0x20, 0x21, 0x22, 0x23}) {
    Reset();
    FillStyle t = SolidFill(0xFF0000FF);
    t.kind = kind;
    t.texture.background = 0xFFFFFF00;
    const StyleIndex fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, t));
    AddPolyline({{60, 60}, {1200, 100}, {1220, 1220}, {80, 1200}, {60, 60}}, 0, 0, fill);
    Canvas whole({0, 1280, 0, 1280});
    whole.rc.DrawEdgeGraph(graph_);
    whole.rc.Flush();
    const Rect32 small = {500, 800, 400, 700};
    Canvas part(small);
    part.rc.DrawEdgeGraph(graph_);
    part.rc.Flush();
    int inked = 0;
    for (int y = 21; y < 34; ++y)
      for (int x = 26; x < 39; ++x) {
        EXPECT_EQ(whole.At(x, y), part.At(x, y)) << "kind " << int{kind} << " at " << x << "," << y;
        inked += whole.At(x, y) == 0xFF0000u;
      }
    EXPECT_GT(inked, 0) << "kind " << int{kind} << " drew no texture there";
  }
  for (uint8_t kind : {3, 4, 5}) {
    LineStyle line = SolidLine(0xFF0000FF, 60);
    line.kind = kind;
    line.params[0] = 3;
    line.params[1] = 2;
    line.params[2] = 1;
    line.params[3] = 2;
    line.params[4] = 2;
    line.params[5] = 2;
    PointList path;
    ASSERT_EQ(PointListAppend(path, {100, 640}, 0), 0);
    ASSERT_EQ(PointListAppend(path, {640, 100}, 1), 0);
    ASSERT_EQ(PointListAppend(path, {1180, 640}, 0), 0);
    Canvas whole({0, 1280, 0, 1280});
    whole.rc.DrawPath(path, &line, nullptr);
    whole.rc.Flush();
    const Rect32 small = {500, 800, 300, 600};
    Canvas part(small);
    part.rc.DrawPath(path, &line, nullptr);
    part.rc.Flush();
    int inked = 0;
    for (int y = 16; y < 29; ++y)
      for (int x = 26; x < 39; ++x) {
        EXPECT_EQ(whole.At(x, y), part.At(x, y))
            << "line kind " << int{kind} << " at " << x << "," << y;
        inked += whole.At(x, y) != 0xFFFFFFu;
      }
    EXPECT_GT(inked, 0) << "line kind " << int{kind};
  }
}

}  // namespace
