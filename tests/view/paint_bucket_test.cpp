// The bucket's geometry without a window: which points lie inside filled
// edges, and gap closing (open outlines closed by straight edges, places
// near along the boundary never bridged, the deadline, long boundaries and
// many regions).
#include "view/core/paint_bucket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "tests/common/edge_styles.h"
#include "tests/geometry/region_util.h"

namespace {

using graph_test::AddPolygon;
using graph_test::AddSquare;
using graph_test::G;
using graph_test::P;

class PaintBucketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    line = static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, SolidLine(0xFF000000, 20)));
    fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph, SolidFill(0xFF0000FF)));
  }
  // An open outline of lines (twips).
  void AddOpen(const std::vector<P>& points) {
    ASSERT_EQ(AddPolygon(graph, points, line, 0, 0, false), 0);
  }
  int Close(int32_t gapTwips, GapClosingResult* result = nullptr) {
    EXPECT_EQ(EdgeGraphUpdate(graph), 0);
    GapClosingResult local;
    GapClosingResult& r = result != nullptr ? *result : local;
    EXPECT_EQ(CloseFillGaps(
                  graph, nullptr, G(gapTwips), everywhere, [&] { return clock; }, &r),
              0);
    return r.segments;
  }
  Region* RegionAt(int32_t x, int32_t y) { return EdgeGraphFindRegion(graph, {G(x), G(y)}); }

  EdgeGraph graph;
  StyleIndex line = 0;
  StyleIndex fill = 0;
  // The visible rectangle (graph units): wide enough for the longest outline.
  Rect32 everywhere{-0x1FFFFFFF, 0x1FFFFFFF, -0x1FFFFFFF, 0x1FFFFFFF};
  uint32_t clock = 5000;
};

TEST_F(PaintBucketTest, PointInsideFilledEdges) {
  ASSERT_EQ(AddSquare(graph, 0, 0, 1000, 1000, 0, fill), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
  Region* any = RegionAt(500, 500);
  ASSERT_NE(any, nullptr);
  struct Case {
    P point;
    bool with_region;
    bool inside;
  } cases[] = {
      // Without a region, the count starts at one: outside the fills is inside.
      {{500, 500}, false, false}, {{1500, 500}, false, true}, {{500, 500}, true, true},
      {{1500, 500}, true, false}, {{-500, 500}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y << " " << c.with_region);
    EXPECT_EQ(
        PointInsideFilledEdges(graph, {G(c.point.x), G(c.point.y)}, c.with_region ? any : nullptr),
        c.inside);
  }
}

// A square outline open by 60 twips at the bottom: a gap of 50 leaves it
// open, 100 closes it with one straight edge, which makes a region.
TEST_F(PaintBucketTest, OpenOutlinesCloseAtTheirGapOnly) {
  const std::vector<P> outline{{400, 0}, {0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}, {460, 0}};
  AddOpen(outline);
  EXPECT_EQ(Close(50), 0);
  EXPECT_EQ(RegionAt(500, 500), nullptr);
  EXPECT_EQ(Close(100), 1);
  EXPECT_NE(RegionAt(500, 500), nullptr);
}

// A U whose arms lean in to tips 35 twips apart, with a gap of 80 (places
// in units of 10 twips; each edge counts its whole units): arms 355 long put
// the arms' middles 39 units apart along the outline, never bridged; arms
// 365 long put them 40 apart, and the tips are joined.
TEST_F(PaintBucketTest, PlacesUnder40ApartAlongTheBoundaryAreNeverBridged) {
  for (const auto& [arm, segments] : {std::pair{355, 0}, std::pair{365, 1}}) {
    SCOPED_TRACE(arm);
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    line = static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, SolidLine(0xFF000000, 20)));
    AddOpen({{5, arm}, {0, 0}, {45, 0}, {40, arm}});
    EXPECT_EQ(Close(80), segments);
  }
}

// Three open outlines far apart; the clock passes the deadline while the
// first is examined: the others are left as they are.
TEST_F(PaintBucketTest, TheDeadlineStopsBeforeTheNextRegion) {
  for (int i = 0; i < 3; ++i)
    AddOpen({{400 + 3000 * i, 0},
             {3000 * i, 0},
             {3000 * i, 1000},
             {1000 + 3000 * i, 1000},
             {1000 + 3000 * i, 0},
             {460 + 3000 * i, 0}});
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
  int calls = 0;
  GapClosingResult r;
  ASSERT_EQ(CloseFillGaps(
                graph, nullptr, G(100), everywhere,
                [&] { return 1000u + 13000u * static_cast<uint32_t>(calls++); }, &r),
            0);
  EXPECT_TRUE(r.deadline_hit);
  EXPECT_EQ(r.examined, 1);
  EXPECT_EQ(r.skipped, 2);
  EXPECT_EQ(r.segments, 1);
  // Within the time every outline is closed (the update before it dropped
  // the first segment, which bounds no fill).
  EXPECT_EQ(Close(100, &r), 3);
  EXPECT_FALSE(r.deadline_hit);
}

// Positions past 2^20 units and region numbers past 2047 still compare as
// near: notches and hairpins (15 deep, their walls 4 or 6 apart, their ends
// under 40 units apart round them) never get a segment, wherever they lie
// along a boundary of over a million units or in whichever region. A
// notch's walls end long edges whose middles lie far apart: the walls' own
// places keep it open.
TEST_F(PaintBucketTest, LongBoundariesAndManyRegionsKeepTheirPlaces) {
  // One unit is a twip (gap 8 twips); the square's outline runs 1.2 million
  // units round both of its sides, with a notch in three sides.
  const int32_t s = 150000;
  std::vector<P> outline{{s / 2 - 3, 0}, {0, 0}};
  auto notch = [&](P at, P along, P out) {
    outline.push_back(at);
    outline.push_back({at.x + out.x * 15, at.y + out.y * 15});
    outline.push_back({at.x + out.x * 15 + along.x * 4, at.y + out.y * 15 + along.y * 4});
    outline.push_back({at.x + along.x * 4, at.y + along.y * 4});
  };
  notch({0, s / 2}, {0, 1}, {-1, 0});
  outline.push_back({0, s});
  notch({s / 2, s}, {1, 0}, {0, 1});
  outline.push_back({s, s});
  notch({s, s / 2}, {0, -1}, {1, 0});
  outline.push_back({s, 0});
  outline.push_back({s / 2 + 3, 0});
  AddOpen(outline);
  EXPECT_EQ(Close(8), 1);  // the square's mouth only

  ASSERT_EQ(EdgeGraphInit(graph), 0);
  line = static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, SolidLine(0xFF000000, 20)));
  for (int i = 0; i < 2100; ++i) {
    const int32_t x = (i % 50) * 100, y = (i / 50) * 100;
    AddOpen({{x, y + 15}, {x, y}, {x + 6, y}, {x + 6, y + 15}});
  }
  AddOpen({{100, 6000}, {0, 6000}, {0, 7000}, {1000, 7000}, {1000, 6000}, {106, 6000}});
  GapClosingResult r;
  EXPECT_EQ(Close(8, &r), 1);
  EXPECT_EQ(r.examined, 2101);
}

// The angle of a placed matrix in degrees, less want, in -180..180.
double AngleOff(const Matrix2x3& m, double want) {
  return std::remainder(FixedAtan2(m.b, m.a) / 65536.0 - want, 360.0);
}

// Placement by the colour's kind, with and without a drag: a linear
// gradient lies across the drag (the drag's angle less 90 degrees) or keeps
// its angle, fitted to the curves' bounds either way; a texture becomes the
// pure rotation by the drag's direction or by its own angle; solid colours
// and the last texture kind are left alone.
TEST_F(PaintBucketTest, PlacementFollowsTheKindAndTheDrag) {
  ASSERT_EQ(AddSquare(graph, 0, 0, 1000, 1000, 0, fill), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
  struct Case {
    uint8_t kind;
    int drag;  // degrees; -1 for none
    int placed;
    double degrees;
  } cases[] = {
      {kGradientLinear, -1, 1, 30},       {kGradientLinear, 30, 1, -60},
      {kFillTextureFirst, -1, 1, 30},     {kFillTextureFirst + 2, 45, 1, 45},
      {kFillTextureFirst + 3, 45, 0, 30}, {kFillSolid, 45, 0, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.kind} << " drag " << c.drag);
    FillStyle colour = SolidFill(0xFF0000FF);
    colour.kind = c.kind;
    MatrixSetRotation(colour.matrix, 30 * kFixedOne);
    const FillDragFn drag = [&](bool) {
      const double a = c.drag * M_PI / 180;
      return FillDrag{c.drag >= 0,
                      {500, 500},
                      {500 + static_cast<int32_t>(std::lround(400 * std::cos(a))),
                       500 + static_cast<int32_t>(std::lround(400 * std::sin(a)))}};
    };
    EXPECT_EQ(PlaceFillGradient(graph, nullptr, false, colour, &drag), c.placed);
    EXPECT_NEAR(AngleOff(colour.matrix, c.degrees), 0, 0.5);
    if (c.kind >= kFillTextureFirst) {
      EXPECT_NEAR(std::hypot(colour.matrix.a, colour.matrix.b), kFixedOne, 64);
    }
    if (c.kind == kGradientLinear) {
      // The square's corners reach the gradient square's sides.
      EXPECT_NEAR(GradientSquareReach(colour.matrix, {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}}),
                  0x4000, 0x4000 / 50);
    }
  }
}

}  // namespace
