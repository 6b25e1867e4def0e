#include "view/core/brush_raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Spans = std::vector<std::pair<int32_t, int32_t>>;

Spans RowSpans(const BrushRaster& raster, int32_t y) {
  Spans out;
  for (const BrushSpan* s = raster.Row(y); s; s = s->next) out.emplace_back(s->x0, s->x1);
  return out;
}

std::string PointsText(const CPointList& list) {
  std::ostringstream os;
  for (int32_t i = 0; i < list.count; ++i)
    os << "(" << list.items[i].x << "," << list.items[i].y << ") ";
  return os.str();
}

int32_t BlockCount(const BrushRaster& raster) {
  int32_t n = 0;
  for (const BrushSpanBlock* b = raster.blocks; b; b = b->link) ++n;
  return n;
}

// Uniform integers in [lo, hi] from a fixed seed.
struct Dice {
  std::mt19937 rng;
  explicit Dice(uint32_t seed) : rng(seed) {}
  int32_t operator()(int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  }
};

struct RecordingTarget : BrushFlushTarget {
  std::vector<std::vector<int32_t>> rects;
  void FillRect(int32_t x, int32_t y, int32_t w, int32_t h) override {
    rects.push_back({x, y, w, h});
  }
};

// ---- Quarter circle and footprints ---------------------------------------------

TEST(BrushCircleTest, TableIsTheFlooredQuarterCircle) {
  for (int k = 0; k <= 16; ++k) {
    const double t = k / 16.0;
    EXPECT_EQ(kBrushQuarterCircle[k],
              static_cast<uint16_t>(std::floor(32768 * std::sqrt(1 - t * t))))
        << "k = " << k;
  }
}

TEST(BrushCircleTest, InterpolatesBetweenTableEntries) {
  EXPECT_EQ(BrushCircle(-5), kFixedOne);
  EXPECT_EQ(BrushCircle(0), kFixedOne);
  EXPECT_EQ(BrushCircle(kFixedOne), 0);
  EXPECT_EQ(BrushCircle(kFixedOne + 1), 0);
  EXPECT_EQ(BrushCircle(0x8000), 2 * kBrushQuarterCircle[8]);
  // Between entries: the chord of the circle, which stays within 0.005 of it
  // up to t = 0.875 (an interpolation weight off by 16 is out by 0.02).
  for (Fixed t = 0x100; t < 0xE000; t += 0x380) {
    const double x = t / 65536.0;
    EXPECT_NEAR(BrushCircle(t) / 65536.0, std::sqrt(1 - x * x), 0.005) << "t = " << x;
  }
}

TEST(BrushFootprintTest, EllipseRowsFollowTheCircle) {
  struct Case {
    int32_t w, h, rows, half;  // rows: last row (first = -last); half: row 0's half width
  };
  const Case cases[] = {{20, 4, 2, 10},   {4, 4, 2, 2},     {3, 40, 20, 2},
                        {80, 80, 40, 40}, {81, 61, 30, 40}, {160, 30, 15, 80}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    BrushPolygon p;
    ASSERT_EQ(EllipseFootprint(p, c.w, c.h), 0);
    EXPECT_EQ(p.first, -c.rows);
    EXPECT_EQ(p.last, c.rows);
    EXPECT_EQ(p.Right(0), c.half);
    EXPECT_EQ(p.Right(c.rows), 0);
    for (int32_t r = -c.rows; r <= c.rows; ++r) {
      EXPECT_EQ(p.Left(r), -p.Right(r)) << "row " << r;
      EXPECT_EQ(p.Right(r), p.Right(-r)) << "row " << r;
      const double y = static_cast<double>(r) / c.rows;
      // Rounding, plus the chord's error near the ends (below 0.09 of the width).
      const double tolerance = (c.rows > 4 ? 1.0 : 0.5) + (std::abs(y) > 0.875 ? 0.09 * c.half : 0);
      EXPECT_NEAR(p.Right(r), c.half * std::sqrt(1 - y * y), tolerance) << "row " << r;
    }
  }
}

TEST(BrushFootprintTest, SlantAndSquareRows) {
  struct Case {
    int32_t w, h, s;
    int32_t first;
    std::vector<int16_t> left, right;
  };
  const Case cases[] = {
      // Square: every row the same.
      {10, 6, 0, -3, {-5, -5, -5, -5, -5, -5, -5}, {5, 5, 5, 5, 5, 5, 5}},
      // Sizes below 2 grow to 2.
      {0, 1, 0, -1, {-1, -1, -1}, {1, 1, 1}},
      // Centres move by 2 a row from -8 to 8.
      {4, 8, 16, -4, {-10, -8, -6, -4, -2, 0, 2, 4, 6}, {-6, -4, -2, 0, 2, 4, 6, 8, 10}},
      // A shift of 10 a row on a width of 2: rows widen to 11 so that they touch.
      {2, 4, 40, -2, {-25, -15, -5, 5, 15}, {-15, -5, 5, 15, 25}},
      // The same slant leaning the other way.
      {2, 4, -40, -2, {15, 5, -5, -15, -25}, {25, 15, 5, -5, -15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " slant " << c.s);
    BrushPolygon p;
    ASSERT_EQ(SlantFootprint(p, c.w, c.h, c.s), 0);
    EXPECT_EQ(p.first, c.first);
    EXPECT_EQ(p.last, -c.first);
    EXPECT_EQ(p.left, c.left);
    EXPECT_EQ(p.right, c.right);
  }
}

TEST(BrushFootprintTest, BuildScalesTheShape) {
  struct Case {
    BrushShape shape;
    Fixed scale;
    int32_t last;
    int16_t right0;      // right offset of row 0
    int16_t right_last;  // right offset of the last row
  };
  const Case cases[] = {
      {{BrushShape::kRound, 0, kFixedOne, 20, 20, 0}, 4 * kFixedOne, 40, 40, 0},
      {{BrushShape::kRound, 0, kFixedOne / 2, 20, 10, 0}, 4 * kFixedOne, 10, 20, 0},
      {{BrushShape::kSquare, 0, kFixedOne / 2, 20, 20, 0}, 4 * kFixedOne, 20, 20, 20},
      // 2 x 16 with slant 8, at 4.0: 8 x 64, slant 32, half a unit a row.
      {{BrushShape::kSlanted, 0, kFixedOne, 2, 16, 8}, 4 * kFixedOne, 32, 4, 20},
      {{BrushShape::kRound, 1, 2 * kFixedOne, 8, 8, 0}, kFixedOne, 8, 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << c.shape.type << " " << c.shape.width << " x " << c.shape.height);
    BrushPolygon p;
    ASSERT_EQ(BuildBrushPolygon(p, c.shape, c.scale), 0);
    EXPECT_EQ(p.first, -c.last);
    EXPECT_EQ(p.last, c.last);
    EXPECT_EQ(p.Right(0), c.right0);
    EXPECT_EQ(p.Right(c.last), c.right_last);
  }
}

// ---- Adding spans ----------------------------------------------------------------

TEST(BrushRasterTest, AddSpanKeepsRowsSortedAndMerged) {
  struct Case {
    const char* name;
    Spans added;
    Spans expected;
  };
  const Case cases[] = {
      {"overlap joins neighbours", {{0, 10}, {12, 20}, {5, 15}}, {{0, 20}}},
      {"touching stays two", {{0, 10}, {11, 20}}, {{0, 10}, {11, 20}}},
      {"one column shared merges", {{0, 10}, {10, 20}}, {{0, 20}}},
      {"inserted in front", {{50, 60}, {0, 10}}, {{0, 10}, {50, 60}}},
      {"inserted between", {{0, 10}, {50, 60}, {20, 30}}, {{0, 10}, {20, 30}, {50, 60}}},
      {"absorbs several", {{0, 2}, {4, 6}, {8, 10}, {20, 30}, {1, 9}}, {{0, 10}, {20, 30}}},
      {"covers all", {{5, 6}, {8, 9}, {0, 100}}, {{0, 100}}},
      {"inside an existing one", {{0, 100}, {10, 20}}, {{0, 100}}},
      {"extends to the left", {{10, 20}, {5, 12}}, {{5, 20}}},
      {"clipped to the columns", {{-500, -5}, {290, 900}}, {{-100, -5}, {290, 300}}},
      {"outside the columns", {{-500, -101}, {301, 400}}, {}},
      {"reversed ends ignored", {{10, 5}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BrushRaster raster;
    ASSERT_EQ(BrushRasterInit(raster, -4, 4, -100, 300), 0);
    for (const auto& [x0, x1] : c.added) EXPECT_EQ(BrushRasterAddSpan(raster, 2, x0, x1), 0);
    EXPECT_EQ(RowSpans(raster, 2), c.expected);
    for (int32_t y : {-4, 1, 3, 4}) EXPECT_TRUE(RowSpans(raster, y).empty());
  }
}

TEST(BrushRasterTest, SpanInsideAnExistingOneMarksNothingNew) {
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, 0, 10), 0);
  ASSERT_EQ(BrushRasterAddSpan(raster, 3, 0, 100), 0);
  EXPECT_EQ(raster.new_bounds, (Rect32{0, 100, 3, 3}));
  RecordingTarget target;
  BrushRasterFlush(raster, target, 1, 1, true);
  ASSERT_EQ(target.rects.size(), 1u);
  ASSERT_EQ(BrushRasterAddSpan(raster, 3, 10, 20), 0);
  EXPECT_TRUE(raster.new_bounds.IsEmpty());
  EXPECT_EQ(raster.Row(3)->is_new, 0);
  target.rects.clear();
  BrushRasterFlush(raster, target, 1, 1, true);
  EXPECT_TRUE(target.rects.empty());
}

TEST(BrushRasterTest, RowsOutsideAreIgnored) {
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, 0, 10), 0);
  EXPECT_EQ(BrushRasterAddSpan(raster, -1, 0, 5), 0);
  EXPECT_EQ(BrushRasterAddSpan(raster, 11, 0, 5), 0);
  EXPECT_TRUE(raster.new_bounds.IsEmpty());
  EXPECT_EQ(raster.blocks, nullptr);
}

TEST(BrushRasterTest, NodesComeInBlocksOf64AndAreReused) {
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, 0, 0), 0);
  for (int32_t i = 0; i < 64; ++i) ASSERT_EQ(BrushRasterAddSpan(raster, 0, 4 * i, 4 * i + 1), 0);
  EXPECT_EQ(BlockCount(raster), 1);
  ASSERT_EQ(BrushRasterAddSpan(raster, 0, 1000, 1001), 0);
  EXPECT_EQ(BlockCount(raster), 2);
  // One span absorbs all 65; the freed nodes serve the next 120 spans.
  ASSERT_EQ(BrushRasterAddSpan(raster, 0, 0, 2000), 0);
  EXPECT_EQ(RowSpans(raster, 0), (Spans{{0, 2000}}));
  for (int32_t i = 0; i < 120; ++i)
    ASSERT_EQ(BrushRasterAddSpan(raster, 0, 3000 + 4 * i, 3001 + 4 * i), 0);
  EXPECT_EQ(BlockCount(raster), 2);
  EXPECT_EQ(RowSpans(raster, 0).size(), 121u);
  BrushRasterFree(raster);
  EXPECT_EQ(raster.blocks, nullptr);
  EXPECT_EQ(raster.rows, nullptr);
}

// ---- Sweeping --------------------------------------------------------------------

std::vector<BrushPolygon> SomeFootprints() {
  std::vector<BrushPolygon> out(5);
  EXPECT_EQ(EllipseFootprint(out[0], 4, 4), 0);
  EXPECT_EQ(EllipseFootprint(out[1], 21, 13), 0);
  EXPECT_EQ(SlantFootprint(out[2], 10, 6, 0), 0);
  EXPECT_EQ(SlantFootprint(out[3], 4, 8, 16), 0);
  EXPECT_EQ(SlantFootprint(out[4], 2, 10, -60), 0);
  return out;
}

TEST(BrushSweepTest, SweepWithoutMovingIsTheFootprint) {
  for (const BrushPolygon& p : SomeFootprints()) {
    SCOPED_TRACE(testing::Message() << "rows " << p.first << ".." << p.last);
    BrushRaster raster;
    ASSERT_EQ(BrushRasterInit(raster, -100, 100), 0);
    ASSERT_EQ(BrushSweep(raster, p, {37, -5}, {37, -5}), 0);
    for (int32_t y = -100; y <= 100; ++y) {
      const int32_t r = y + 5;
      const Spans expected =
          r < p.first || r > p.last ? Spans{} : Spans{{37 + p.Left(r), 37 + p.Right(r)}};
      EXPECT_EQ(RowSpans(raster, y), expected) << "row " << y;
    }
  }
}

TEST(BrushSweepTest, EllipseOfHeightFourCoversFiveRows) {
  BrushPolygon p;
  ASSERT_EQ(EllipseFootprint(p, 8, 4), 0);
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, -10, 10), 0);
  ASSERT_EQ(BrushSweep(raster, p, {0, 0}, {0, 0}), 0);
  Rect32 bounds;
  BrushRasterGetBounds(raster, bounds);
  EXPECT_EQ(bounds, (Rect32{-4, 4, -2, 2}));
}

TEST(BrushSweepTest, HorizontalSweepJoinsBothEnds) {
  BrushPolygon p;
  ASSERT_EQ(SlantFootprint(p, 4, 2, 0), 0);  // rows -1..1, -2..2
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, -10, 10), 0);
  ASSERT_EQ(BrushSweep(raster, p, {50, 0}, {-30, 0}), 0);
  for (int32_t y = -1; y <= 1; ++y) EXPECT_EQ(RowSpans(raster, y), (Spans{{-32, 52}}));
  EXPECT_TRUE(RowSpans(raster, 2).empty());
}

TEST(BrushSweepTest, SlopeOfWideSegmentsIsNotTruncated) {
  // 60000 << 16 does not fit in 32 bits: the centre of row 11 is x = 0.
  BrushPolygon p;
  ASSERT_EQ(EllipseFootprint(p, 4, 4), 0);
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, 0, 20), 0);
  ASSERT_EQ(BrushSweep(raster, p, {30000, 12}, {-30000, 10}), 0);
  EXPECT_EQ(RowSpans(raster, 11), (Spans{{-30002, 30002}}));
  EXPECT_EQ(RowSpans(raster, 8), (Spans{{-30000, -30000}}));
  EXPECT_EQ(RowSpans(raster, 14), (Spans{{30000, 30000}}));
}

TEST(BrushSweepTest, FarSamplesAreClampedNeverWrapped) {
  BrushPolygon p;
  ASSERT_EQ(EllipseFootprint(p, 4, 4), 0);  // rows -2..2, half width 2
  struct Case {
    Point32 far;
    Spans row50;  // coverage of the sample's row 50 (from (200, 50))
    int32_t first_row, last_row;
  };
  const Case cases[] = {
      // 4 x 17000 client pixels would wrap to 2464 as a 16-bit end.
      {{68000, 50}, {{198, 400}}, 48, 52},
      {{-70000, 50}, {{0, 202}}, 48, 52},
      {{INT32_MAX, 50}, {{198, 400}}, 48, 52},
      // Far below: the sweep runs to the last row, not for a billion rows.
      {{200, 1 << 30}, {{198, 202}}, 48, 100},
      {{200, INT32_MIN}, {{198, 202}}, 0, 52},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "far (" << c.far.x << ", " << c.far.y << ")");
    BrushRaster raster;
    ASSERT_EQ(BrushRasterInit(raster, 0, 100, 0, 400), 0);
    ASSERT_EQ(BrushSweep(raster, p, {200, 50}, c.far), 0);
    EXPECT_EQ(RowSpans(raster, 50), c.row50);
    Rect32 bounds;
    BrushRasterGetBounds(raster, bounds);
    EXPECT_EQ(bounds.ymin, c.first_row);
    EXPECT_EQ(bounds.ymax, c.last_row);
    EXPECT_GE(bounds.xmin, 0);
    EXPECT_LE(bounds.xmax, 400);
  }
}

// The raster against a plain bit map: random spans and sweeps (sweeps worked
// out footprint row by footprint row at every centre row of the segment).
TEST(BrushSweepTest, MatchesABitmapUnderRandomSpansAndSweeps) {
  constexpr int32_t kTop = -10, kBottom = 90, kLeft = -20, kRight = 300;
  Dice uniform(31);
  const std::vector<BrushPolygon> footprints = SomeFootprints();
  for (int round = 0; round < 40; ++round) {
    BrushRaster raster;
    ASSERT_EQ(BrushRasterInit(raster, kTop, kBottom, kLeft, kRight), 0);
    std::vector<std::vector<bool>> bits(kBottom - kTop + 1,
                                        std::vector<bool>(kRight - kLeft + 1, false));
    auto set = [&](int32_t y, int64_t x0, int64_t x1) {
      if (y < kTop || y > kBottom) return;
      for (int64_t x = std::max<int64_t>(x0, kLeft); x <= std::min<int64_t>(x1, kRight); ++x)
        bits[y - kTop][x - kLeft] = true;
    };
    std::ostringstream log;
    for (int op = 0; op < 30; ++op) {
      if (uniform(0, 2) == 0) {
        const int32_t y = uniform(kTop - 3, kBottom + 3), x0 = uniform(-40, 320);
        const int32_t x1 = x0 + uniform(-2, 60);
        log << "span " << y << ": " << x0 << ".." << x1 << "\n";
        ASSERT_EQ(BrushRasterAddSpan(raster, y, x0, x1), 0);
        if (x0 <= x1) set(y, x0, x1);
      } else {
        const BrushPolygon& p = footprints[static_cast<size_t>(uniform(0, 4))];
        Point32 a{uniform(-60, 360), uniform(-30, 110)};
        Point32 b = uniform(0, 3) == 0 ? a : Point32{uniform(-60, 360), uniform(-30, 110)};
        log << "sweep rows " << p.first << ": (" << a.x << "," << a.y << ") (" << b.x << "," << b.y
            << ")\n";
        ASSERT_EQ(BrushSweep(raster, p, a, b), 0);
        for (Point32* q : {&a, &b}) {
          q->x = std::clamp(q->x, kLeft, kRight);
          q->y = std::clamp(q->y, kTop, kBottom);
        }
        if (a.y > b.y) std::swap(a, b);
        const int64_t f = a.y == b.y ? 0 : (int64_t{b.x - a.x} << 16) / (b.y - a.y);
        std::vector<std::pair<int64_t, int64_t>> rows(kBottom - kTop + 1, {INT64_MAX, INT64_MIN});
        for (int32_t c = a.y; c <= b.y; ++c) {
          for (int32_t r = p.first; r <= p.last; ++r) {
            const int32_t j = c + r;
            if (j < kTop || j > kBottom) continue;
            int64_t lo =
                ((int64_t{a.x} << 16) + f * (c - a.y) + (int64_t{p.Left(r)} << 16) + 0x8000) >> 16;
            int64_t hi =
                ((int64_t{a.x} << 16) + f * (c - a.y) + (int64_t{p.Right(r)} << 16) + 0x8000) >> 16;
            if (a.y == b.y) {
              lo = std::min(a.x, b.x) + p.Left(r);
              hi = std::max(a.x, b.x) + p.Right(r);
            }
            auto& row = rows[static_cast<size_t>(j - kTop)];
            row = {std::min(row.first, lo), std::max(row.second, hi)};
          }
        }
        for (int32_t j = kTop; j <= kBottom; ++j) {
          const auto& row = rows[static_cast<size_t>(j - kTop)];
          if (row.first <= row.second) set(j, row.first, row.second);
        }
      }
      if (uniform(0, 5) == 0) {
        RecordingTarget target;
        BrushRasterFlush(raster, target, 4, 4, uniform(0, 1) == 0);
      }
    }
    Rect32 expected_bounds;
    for (int32_t y = kTop; y <= kBottom; ++y) {
      std::vector<bool> row(kRight - kLeft + 1, false);
      int32_t previous_end = INT32_MIN;
      for (const auto& [x0, x1] : RowSpans(raster, y)) {
        ASSERT_GT(x0, previous_end) << "row " << y << " unsorted or overlapping\n" << log.str();
        ASSERT_LE(x0, x1);
        previous_end = x1;
        for (int32_t x = x0; x <= x1; ++x) row[x - kLeft] = true;
      }
      ASSERT_EQ(row, bits[y - kTop]) << "row " << y << "\n" << log.str();
      for (int32_t x = kLeft; x <= kRight; ++x) {
        if (row[x - kLeft]) RectAddPoint(expected_bounds, {x, y});
      }
    }
    Rect32 bounds;
    BrushRasterGetBounds(raster, bounds);
    EXPECT_EQ(bounds, expected_bounds) << log.str();
  }
}

// ---- Flushing --------------------------------------------------------------------

TEST(BrushFlushTest, DrawsEveryStepthRowScaledDown) {
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, -12, 40), 0);
  for (int32_t y = -6; y <= 9; ++y) ASSERT_EQ(BrushRasterAddSpan(raster, y, -8, 17), 0);
  ASSERT_EQ(BrushRasterAddSpan(raster, 4, 40, 47), 0);
  RecordingTarget target;
  BrushRasterFlush(raster, target, 4, 4, true);
  // Rows -4, 0, 4 and 8 (from -6 rounded down to -8, which is empty).
  const std::vector<std::vector<int32_t>> expected = {
      {-2, -1, 6, 1}, {-2, 0, 6, 1}, {-2, 1, 6, 1}, {10, 1, 1, 1}, {-2, 2, 6, 1}};
  EXPECT_EQ(target.rects, expected);
  EXPECT_TRUE(raster.new_bounds.IsEmpty());
  EXPECT_EQ(raster.total_bounds, (Rect32{-8, 47, -6, 9}));

  // Only what is new since: one span on row 8 grows, row 12 is new.
  ASSERT_EQ(BrushRasterAddSpan(raster, 8, 10, 30), 0);
  ASSERT_EQ(BrushRasterAddSpan(raster, 12, 0, 3), 0);
  target.rects.clear();
  BrushRasterFlush(raster, target, 4, 4, true);
  EXPECT_EQ(target.rects, (std::vector<std::vector<int32_t>>{{-2, 2, 9, 1}, {0, 3, 0, 1}}));
  target.rects.clear();
  BrushRasterFlush(raster, target, 4, 4, true);
  EXPECT_TRUE(target.rects.empty());

  // Everything, at full scale.
  BrushRasterFlush(raster, target, 1, 1, false);
  EXPECT_EQ(target.rects.size(), 18u);
  Rect32 bounds;
  BrushRasterGetBounds(raster, bounds);
  EXPECT_EQ(bounds, (Rect32{-8, 47, -6, 12}));
}

// ---- Tracing ---------------------------------------------------------------------

// Rows of '#' become spans, row i of the sketch at row y0 + i, column j at x0 + j.
void Paint(BrushRaster& raster, const std::vector<std::string>& sketch, int32_t x0 = 0,
           int32_t y0 = 0) {
  for (size_t i = 0; i < sketch.size(); ++i) {
    const std::string& s = sketch[i];
    for (size_t j = 0; j < s.size();) {
      if (s[j] != '#') {
        ++j;
        continue;
      }
      size_t k = j;
      while (k + 1 < s.size() && s[k + 1] == '#') ++k;
      ASSERT_EQ(BrushRasterAddSpan(raster, y0 + static_cast<int32_t>(i),
                                   x0 + static_cast<int32_t>(j), x0 + static_cast<int32_t>(k)),
                0);
      j = k + 1;
    }
  }
}

std::vector<std::vector<Point32>> TraceAll(BrushRaster& raster) {
  std::vector<std::vector<Point32>> out;
  BrushTracer tracer;
  TraceCoverageInit(tracer, raster);
  CPointList list;
  while (TraceCoverageNext(tracer, list) == 0) {
    out.emplace_back(list.items, list.items + list.count);
    if (out.size() > 1000) break;
  }
  return out;
}

TEST(BrushTraceTest, RectangleGivesItsOutline) {
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, 0, 100), 0);
  for (int32_t y = 10; y <= 30; ++y) ASSERT_EQ(BrushRasterAddSpan(raster, y, 100, 140), 0);
  BrushTracer tracer;
  TraceCoverageInit(tracer, raster);
  CPointList list;
  ASSERT_EQ(TraceCoverageNext(tracer, list), 0);
  const std::string text = PointsText(list);
  ASSERT_GE(list.count, 5) << text;
  EXPECT_EQ(list.items[0], list.items[list.count - 1]) << text;
  for (int32_t i = 0; i < list.count; ++i) {
    const Point32& q = list.items[i];
    EXPECT_TRUE(q.x == 100 || q.x == 140) << text;
    EXPECT_TRUE(q.y >= 10 && q.y <= 30) << text;
  }
  // Each corner is kept, or moved by at most one unit by the averaging.
  for (Point32 corner : {Point32{100, 10}, {100, 30}, {140, 30}, {140, 10}}) {
    bool found = false;
    for (int32_t i = 0; i < list.count; ++i) found |= PointsNear(list.items[i], corner, 1);
    EXPECT_TRUE(found) << corner.x << "," << corner.y << ": " << text;
  }
  // Down the left side, up the right side, closed by the starting end.
  EXPECT_EQ(list.items[1].x, 100) << text;
  EXPECT_EQ(list.items[list.count - 3].x, 140) << text;
  EXPECT_EQ(list.items[list.count - 2], (Point32{100, 10})) << text;
  // Averaged: far fewer points than the 42 span ends.
  EXPECT_LT(list.count, 25) << text;
  Rect32 bounds;
  TraceCoverageGetBounds(tracer, bounds);
  EXPECT_GE(bounds.ymin, 10);
  EXPECT_LE(bounds.ymin, 11);
  EXPECT_EQ(bounds.xmin, 100);
  EXPECT_EQ(bounds.xmax, 140);
  EXPECT_EQ(TraceCoverageNext(tracer, list), kTraceEnd);
  EXPECT_EQ(TraceCoverageNext(tracer, list), kTraceEnd);
}

TEST(BrushTraceTest, OneOutlinePerBoundary) {
  struct Case {
    const char* name;
    std::vector<std::string> sketch;
    size_t outlines;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"single span", {"  ####"}, 1},
      {"two blobs", {"##   ##", "##   ##"}, 2},
      {"diagonal cells do not touch", {"##   ", "  ## "}, 2},
      {"ring", {"#######", "##   ##", "##   ##", "#######"}, 2},
      {"U", {"##   ##", "##   ##", "#######"}, 1},
      {"n", {"#######", "##   ##", "##   ##"}, 1},
      {"three holes", {"#########", "#  ## # #", "#########"}, 4},
      {"comb", {"# # # #", "#######", "# # # #"}, 1},
      {"staircase", {"####     ", " ####    ", "  ####   ", "   ####  "}, 1},
      {"ring in a ring",
       {"###########", "#         #", "#  #####  #", "#  #   #  #", "#  #####  #", "#         #",
        "###########"},
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BrushRaster raster;
    ASSERT_EQ(BrushRasterInit(raster, -5, 20), 0);
    Paint(raster, c.sketch, 10, 2);
    const auto outlines = TraceAll(raster);
    EXPECT_EQ(outlines.size(), c.outlines);
    for (const auto& o : outlines) {
      ASSERT_FALSE(o.empty());
      EXPECT_EQ(o.front(), o.back());
    }
    for (int32_t y = -5; y <= 20; ++y) {
      for (const BrushSpan* s = raster.Row(y); s; s = s->next) {
        EXPECT_TRUE(s->left_visited && s->right_visited) << "row " << y;
      }
    }
  }
}

// Random sweeps: every end is visited and every outline closes on its start,
// with each point inside the coverage's bounds.
TEST(BrushTraceTest, RandomStrokesTraceEveryEnd) {
  Dice uniform(3113);
  const std::vector<BrushPolygon> footprints = SomeFootprints();
  for (int round = 0; round < 30; ++round) {
    BrushRaster raster;
    ASSERT_EQ(BrushRasterInit(raster, 0, 120, 0, 200), 0);
    Point32 last{uniform(0, 200), uniform(0, 120)};
    const BrushPolygon& p = footprints[static_cast<size_t>(uniform(0, 4))];
    for (int i = 0; i < 12; ++i) {
      const Point32 next{last.x + uniform(-40, 40), last.y + uniform(-30, 30)};
      ASSERT_EQ(BrushSweep(raster, p, last, next), 0);
      last = next;
    }
    Rect32 bounds;
    BrushRasterGetBounds(raster, bounds);
    const auto outlines = TraceAll(raster);
    ASSERT_FALSE(outlines.empty());
    for (const auto& o : outlines) {
      EXPECT_EQ(o.front(), o.back());
      for (const Point32& q : o) EXPECT_TRUE(RectContainsPoint(bounds, q));
    }
    for (int32_t y = 0; y <= 120; ++y) {
      for (const BrushSpan* s = raster.Row(y); s; s = s->next) {
        ASSERT_TRUE(s->left_visited && s->right_visited) << "round " << round << " row " << y;
      }
    }
  }
}

}  // namespace
