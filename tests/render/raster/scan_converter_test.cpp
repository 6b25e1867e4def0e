// The scan converter's edges, fill activation and coverage.
#include "render/raster/scan_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "geometry/pool.h"
#include "render/raster/offscreen_bitmap.h"
#include "scan_input.h"
#include "tests/common/refuse_memory.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;

// The pixel value of a channel with n of 16 sub-samples covered by colour c,
// blended over white.
int OverWhite(int n, int c) {
  return (n * c + (16 - n) * 255) >> 4;
}

// Sub-samples of pixel (px, py) inside [x0, x1) x [y0, y1) (quarter units).
int RectSamples(int px, int py, int x0, int y0, int x1, int y1) {
  const int w = std::max(0, std::min(x1, 4 * px + 4) - std::max(x0, 4 * px));
  const int h = std::max(0, std::min(y1, 4 * py + 4) - std::max(y0, 4 * py));
  return w * h;
}

std::string Where(int x, int y) {
  return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

// Spans written by the recording fill callback.
struct SpanRecord {
  int32_t row, x0, x1;
  const CSpanFill* fill;
};
std::vector<SpanRecord> g_spans;

void RecordSpan(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  g_spans.push_back({cv->rowY, x0, x1, fill});
}

}  // namespace

// ---- Exact coverage -------------------------------------------------------------

TEST(ScanCoverage, RectanglesCoverTheirAreaInSixteenths) {
  // Rectangles in quarter pixels: [x0, x1) x [y0, y1).
  const struct {
    int x0, y0, x1, y1;
  } rects[] = {
      {0, 0, 4, 4},    {1, 1, 7, 6},   {2, 3, 14, 13}, {5, 2, 6, 30},   {3, 5, 40, 6},
      {13, 9, 15, 11}, {0, 0, 48, 48}, {7, 7, 41, 42}, {-9, 10, 3, 60}, {46, -5, 60, 47},
  };
  for (const auto& r : rects) {
    SCOPED_TRACE("rect " + std::to_string(r.x0) + "," + std::to_string(r.y0) + " - " +
                 std::to_string(r.x1) + "," + std::to_string(r.y1));
    Canvas canvas(12, 12);
    CScanConverter cv;
    cv.SetTarget(canvas.Target(), nullptr, 1);
    CSpanFill fill;
    MakeSolid(fill, cv, 200, 100, 40, 1);
    EdgeChain chain;
    chain.Rect(r.x0, r.y0, r.x1, r.y1, &fill);
    Draw(cv, chain);
    for (int py = 0; py < 12; ++py) {
      for (int px = 0; px < 12; ++px) {
        const int n = RectSamples(px, py, r.x0, r.y0, r.x1, r.y1);
        const Rgb8 want = n == 0 ? Rgb8{kUntouched, kUntouched, kUntouched}
                                 : Rgb8{OverWhite(n, 200), OverWhite(n, 100), OverWhite(n, 40)};
        ASSERT_EQ(canvas.At(px, py), want) << Where(px, py) << " n=" << n;
      }
    }
  }
}

TEST(ScanCoverage, PlainModeFillsWholePixelsInside) {
  Canvas canvas(10, 10);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 0);
  CSpanFill fill;
  MakeSolid(fill, cv, 10, 20, 30, 1);
  EdgeChain chain;
  chain.Rect(2, 3, 7, 9, &fill);
  Draw(cv, chain);
  for (int py = 0; py < 10; ++py)
    for (int px = 0; px < 10; ++px) {
      const bool in = px >= 2 && px < 7 && py >= 3 && py < 9;
      const Rgb8 want = in ? Rgb8{10, 20, 30} : Rgb8{kUntouched, kUntouched, kUntouched};
      ASSERT_EQ(canvas.At(px, py), want) << Where(px, py);
    }
}

TEST(ScanCoverage, PartialPixelsBlendOverWhiteOrOverTheTarget) {
  Canvas canvas(4, 1);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 1);
  CSpanFill fill;
  MakeSolid(fill, cv, 0, 0, 0, 1);
  EdgeChain chain;
  chain.Rect(2, 0, 6, 4, &fill);  // half of pixel 0, half of pixel 1

  // A fresh converter has no valid background: halfway to white.
  Draw(cv, chain);
  EXPECT_EQ(canvas.At(0, 0), (Rgb8{127, 127, 127}));
  EXPECT_EQ(canvas.At(1, 0), (Rgb8{127, 127, 127}));

  // After a clear the partial pixels blend over what is there.
  cv.Clear(0x204080);  // red 0x80, green 0x40, blue 0x20
  EXPECT_EQ(cv.backgroundValid, 1);
  CSpanFill light;
  MakeSolid(light, cv, 200, 100, 0, 1);
  EdgeChain chain2;
  chain2.Rect(2, 0, 6, 4, &light);
  Draw(cv, chain2);
  const Rgb8 half{(0x80 * 8 + 8 * 200) >> 4, (0x40 * 8 + 8 * 100) >> 4, (0x20 * 8 + 0) >> 4};
  EXPECT_EQ(canvas.At(0, 0), half);
  EXPECT_EQ(canvas.At(1, 0), half);
  EXPECT_EQ(canvas.At(2, 0), (Rgb8{0x80, 0x40, 0x20}));
}

// Every fill of a fan of triangles around one point, against the outline of
// the whole fan: sub-sample counts agree in every pixel, so shared edges leave
// no seam and cover nothing twice. Green is 0 in every fill, so a pixel's
// green value gives its coverage.
TEST(ScanCoverage, SharedEdgesLeaveNoSeamAndNoDoubleCoverage) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 30; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const bool aa = trial % 3 != 2;
    const int scale = aa ? 4 : 1;
    const int size = 40;
    std::uniform_int_distribution<int> coord(-5 * scale, (size + 5) * scale);
    const Point32 centre{size * scale / 2 + coord(rng) / 8, size * scale / 2 + coord(rng) / 8};
    // Points around the centre, sorted by angle.
    const int count = 3 + trial % 6;
    std::vector<Point32> ring;
    for (int i = 0; i < count; ++i) {
      const double angle = 2 * 3.14159265358979 * (i + 0.8 * (rng() % 1000) / 1000.0) / count;
      const double radius = (6 + rng() % 20) * scale;
      ring.push_back({centre.x + static_cast<int32_t>(radius * std::cos(angle)),
                      centre.y + static_cast<int32_t>(radius * std::sin(angle))});
    }
    const bool twoSided = trial % 2 == 1;

    Canvas fan(size, size), whole(size, size);
    {
      CScanConverter cv;
      cv.SetTarget(fan.Target(), nullptr, aa);
      std::vector<CSpanFill> fills(count);
      for (int i = 0; i < count; ++i) MakeSolid(fills[i], cv, 20 * i, 0, 255 - 20 * i, 5 + i);
      EdgeChain chain;
      for (int i = 0; i < count; ++i) {
        const int j = (i + 1) % count;
        chain.Line(ring[i], ring[j], &fills[i]);
        if (twoSided) {
          // One edge toggles both triangles it separates.
          chain.Line(centre, ring[j], &fills[i], kEdgeToggleTwoFills, &fills[j]);
        } else {
          chain.Line(centre, ring[i], &fills[i]);
          chain.Line(centre, ring[j], &fills[i]);
        }
      }
      Draw(cv, chain);
    }
    {
      CScanConverter cv;
      cv.SetTarget(whole.Target(), nullptr, aa);
      CSpanFill fill;
      MakeSolid(fill, cv, 0, 0, 0, 1);
      EdgeChain chain;
      chain.Polygon(ring, &fill);
      Draw(cv, chain);
    }
    for (int py = 0; py < size; ++py)
      for (int px = 0; px < size; ++px)
        ASSERT_EQ(fan.At(px, py).g, whole.At(px, py).g) << Where(px, py);
  }
}

// The coverage of every pixel equals what the plain mode draws at four times
// the resolution (one pixel per sub-sample) for the same edges: same fills at
// the same sub-samples, blended by the counts. Equal priorities make the
// order of edges at one column matter; the crowded scenes put many edges,
// crossing ones and ones starting inside a pixel row, on the same columns.
TEST(ScanCoverage, PixelsAreTheBlendOfTheirSubSamples) {
  std::mt19937 rng(11);
  const struct { int size, trials, max_shapes; } kScenes[] = {{24, 40, 5}, {6, 300, 12}};
  for (const auto& scene : kScenes) {
    const int size = scene.size;
    for (int trial = 0; trial < scene.trials; ++trial) {
      SCOPED_TRACE("size " + std::to_string(size) + " trial " + std::to_string(trial));
      const int shapes = 1 + trial % scene.max_shapes;
      std::uniform_int_distribution<int> coord(-8, size * 4 + 8);
      struct Shape {
        std::vector<Point32> points;
        ScanEdgeKind kind;
        int r, g, b;
        int32_t priority;
      };
      std::vector<Shape> list;
      for (int s = 0; s < shapes; ++s) {
        Shape shape;
        const int n = 3 + rng() % 6;
        for (int i = 0; i < n; ++i) shape.points.push_back({coord(rng), coord(rng)});
        shape.kind = rng() % 2 ? kEdgeToggleOneFill : kEdgeAddWinding;
        shape.r = rng() % 256;
        shape.g = rng() % 256;
        shape.b = rng() % 256;
        shape.priority = static_cast<int32_t>(rng() % 4);  // ties on purpose
        list.push_back(shape);
      }
      auto draw = [&](Canvas& canvas, bool aa, SpanProc proc) {
        CScanConverter cv;
        cv.SetTarget(canvas.Target(), nullptr, aa);
        std::vector<CSpanFill> fills(list.size());
        EdgeChain chain;
        for (size_t s = 0; s < list.size(); ++s) {
          MakeSolid(fills[s], cv, list[s].r, list[s].g, list[s].b, list[s].priority);
          if (proc) fills[s].spanProc = proc;
          chain.Polygon(list[s].points, &fills[s], list[s].kind);
        }
        Draw(cv, chain);
      };
      Canvas aa(size, size), fine(4 * size, 4 * size);
      draw(aa, true, nullptr);
      draw(fine, false, nullptr);
      for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
          int sums[3] = {0, 0, 0}, n = 0;
          for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
              const uint8_t* p = fine.Pixel(4 * px + i, 4 * py + j);
              if (p[3] == kUntouched) continue;  // the plain writer sets the fourth byte to 0
              sums[0] += p[2];
              sums[1] += p[1];
              sums[2] += p[0];
              ++n;
            }
          const Rgb8 want =
              n == 0 ? Rgb8{kUntouched, kUntouched, kUntouched}
                     : Rgb8{(sums[0] + (16 - n) * 255) >> 4, (sums[1] + (16 - n) * 255) >> 4,
                            (sums[2] + (16 - n) * 255) >> 4};
          ASSERT_EQ(aa.At(px, py), want) << Where(px, py) << " n=" << n;
        }
      }
    }
  }
}

// ---- Fill priorities --------------------------------------------------------------

TEST(ScanFills, TheGreatestPriorityWinsAndOthersAreNotWrittenUnderIt) {
  // Priorities compare as unsigned: 0x80000000 is the greatest.
  const struct {
    int x0, y0, x1, y1;
    int32_t priority;
  } rects[] = {
      {1, 1, 12, 12, 3},
      {4, 0, 20, 6, 1},
      {6, 4, 9, 18, static_cast<int32_t>(0x80000000)},
      {0, 8, 16, 10, 2},
      {10, 2, 14, 14, 0x7FFFFFFF},
  };
  Canvas canvas(20, 20);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 0);
  std::vector<CSpanFill> fills(std::size(rects));
  EdgeChain chain;
  for (size_t i = 0; i < fills.size(); ++i) {
    MakeSolid(fills[i], cv, 0, 0, 0, rects[i].priority);
    fills[i].spanProc = RecordSpan;
    chain.Rect(rects[i].x0, rects[i].y0, rects[i].x1, rects[i].y1, &fills[i]);
  }
  g_spans.clear();
  Draw(cv, chain);

  std::vector<int> writes(400, 0);
  std::vector<const CSpanFill*> written(400, nullptr);
  for (const SpanRecord& s : g_spans)
    for (int x = s.x0; x < s.x1; ++x) {
      ++writes[s.row * 20 + x];
      written[s.row * 20 + x] = s.fill;
    }
  for (int py = 0; py < 20; ++py)
    for (int px = 0; px < 20; ++px) {
      const CSpanFill* want = nullptr;
      for (size_t i = 0; i < fills.size(); ++i) {
        const auto& r = rects[i];
        if (px >= r.x0 && px < r.x1 && py >= r.y0 && py < r.y1 &&
            (!want ||
             static_cast<uint32_t>(fills[i].priority) > static_cast<uint32_t>(want->priority)))
          want = &fills[i];
      }
      EXPECT_EQ(writes[py * 20 + px], want ? 1 : 0) << Where(px, py);
      EXPECT_EQ(written[py * 20 + px], want) << Where(px, py);
    }
}

TEST(ScanFills, WindingAndEvenOddRules) {
  // A five-pointed star drawn in one stroke: its centre is inside twice.
  const std::vector<Point32> star = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  for (const ScanEdgeKind kind : {kEdgeToggleOneFill, kEdgeAddWinding}) {
    Canvas canvas(40, 40);
    CScanConverter cv;
    cv.SetTarget(canvas.Target(), nullptr, 0);
    CSpanFill fill;
    MakeSolid(fill, cv, 0, 0, 0, 1);
    EdgeChain chain;
    chain.Polygon(star, &fill, kind);
    Draw(cv, chain);
    EXPECT_EQ(canvas.At(20, 20), kind == kEdgeAddWinding
                                     ? (Rgb8{0, 0, 0})
                                     : (Rgb8{kUntouched, kUntouched, kUntouched}));
    EXPECT_EQ(canvas.At(20, 6), (Rgb8{0, 0, 0}));  // a point: inside once
    EXPECT_EQ(fill.inside, 0);
  }
}

TEST(ScanFills, AFillOnAndOffAgainAtOneColumnLeavesPatternedPixelsWhole) {
  // A fill above a patterned one that goes inside and outside again at one
  // quarter column covers no sample: the pixel holding that column stays a
  // whole pixel of the pattern (not the pattern's colour blended over the
  // pixel's parts).
  for (const int32_t x : {21, 22, 23}) {
    Canvas want(12, 4), got(12, 4);
    for (Canvas* canvas : {&want, &got}) {
      CScanConverter cv;
      cv.SetTarget(canvas->Target(), nullptr, 1);
      CSpanFill checker, above;
      checker.Init(&cv);
      checker.red = 10;
      checker.green = 20;
      checker.blue = 30;
      checker.patternKind = 1;  // checker with white
      checker.priority = 1;
      checker.Prepare();
      MakeSolid(above, cv, 200, 0, 0, 2);
      EdgeChain chain;
      chain.Rect(0, 0, 48, 16, &checker);
      if (canvas == &got) {
        chain.Line({x, 0}, {x, 16}, &above);
        chain.Line({x, 0}, {x, 16}, &above);
      }
      Draw(cv, chain);
    }
    EXPECT_EQ(got.Memory(), want.Memory()) << "column " << x;
  }
}

TEST(ScanFills, ClipEdgesLimitTheFillsOfTheirClip) {
  // Plain and anti-aliased (whole pixels, so every pixel is all in or out).
  for (const uint32_t antiAlias : {0u, 1u}) {
    SCOPED_TRACE(antiAlias ? "anti-aliased" : "plain");
    const int32_t u = antiAlias ? 4 : 1;
    Canvas canvas(20, 20);
    CScanConverter cv;
    cv.SetTarget(canvas.Target(), nullptr, antiAlias);
    CSpanFill clip, clipped, free;
    MakeSolid(clip, cv, 0, 0, 0, 0);
    clip.clipId = 7;
    MakeSolid(clipped, cv, 255, 0, 0, 2);
    clipped.clipId = 7;
    MakeSolid(free, cv, 0, 0, 255, 1);
    EdgeChain chain;
    // The clip region [5, 15) x [5, 15) by clip edges; a clipped fill over
    // everything; an unclipped one at a lower priority on the left half.
    chain.Line({5 * u, 5 * u}, {5 * u, 15 * u}, &clip, kEdgeToggleClip);
    chain.Line({15 * u, 5 * u}, {15 * u, 15 * u}, &clip, kEdgeToggleClip);
    chain.Rect(0, 0, 20 * u, 20 * u, &clipped);
    chain.Rect(0, 0, 10 * u, 20 * u, &free);
    Draw(cv, chain);
    for (int py = 0; py < 20; ++py)
      for (int px = 0; px < 20; ++px) {
        Rgb8 want{kUntouched, kUntouched, kUntouched};
        if (px >= 5 && px < 15 && py >= 5 && py < 15) {
          want = {255, 0, 0};
        } else if (px < 10) {
          want = {0, 0, 255};
        }
        ASSERT_EQ(canvas.At(px, py), want) << Where(px, py);
      }
  }
}

// ---- Bounds --------------------------------------------------------------------------

TEST(ScanBounds, ShapesOutsideTheBandTouchNothing) {
  const int size = 16;
  const int32_t far = 1 << 29;
  // In pixels; each lies wholly outside [0, 16) x [0, 16) or its clip.
  const std::vector<std::vector<Point32>> shapes = {
      {{-10, 2}, {-1, 3}, {-4, 12}},        {{16, 0}, {30, 5}, {17, 16}},
      {{0, -9}, {16, -1}, {8, -5}},         {{0, 16}, {16, 20}, {3, 30}},
      {{-far, -far}, {-far, far}, {-1, 0}}, {{far, -far}, {far, far}, {16, 3}},
      {{-far, -far}, {far, -far}, {0, -1}}, {{-far, far}, {far, far}, {5, 16}},
  };
  for (const int aa : {0, 1}) {
    for (size_t s = 0; s < shapes.size(); ++s) {
      SCOPED_TRACE("shape " + std::to_string(s) + (aa ? " anti-aliased" : " plain"));
      Canvas canvas(size, size, 8);
      const std::vector<uint8_t> before = canvas.Memory();
      CScanConverter cv;
      cv.SetTarget(canvas.Target(), nullptr, aa);
      CSpanFill fill;
      MakeSolid(fill, cv, 1, 2, 3, 1);
      EdgeChain chain;
      std::vector<Point32> pts = shapes[s];
      if (aa)
        for (Point32& p : pts) {
          p.x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{p.x} * 4, INT32_MIN, INT32_MAX));
          p.y = static_cast<int32_t>(std::clamp<int64_t>(int64_t{p.y} * 4, INT32_MIN, INT32_MAX));
        }
      chain.Polygon(pts, &fill);
      Draw(cv, chain);
      EXPECT_EQ(canvas.Memory(), before);
    }
  }
}

TEST(ScanBounds, OnlyTheClippedBandIsWritten) {
  for (const int aa : {0, 1}) {
    Canvas canvas(16, 16, 4);
    CScanConverter cv;
    const Rect32 clip{3, 11, 2, 30};  // x 3..10, y 2..15
    cv.SetTarget(canvas.Target(), &clip, aa);
    CSpanFill fill;
    MakeSolid(fill, cv, 9, 8, 7, 1);
    EdgeChain chain;
    const int s = aa ? 4 : 1;
    chain.Rect(-1000 * s, -1000 * s, 1000 * s, 1000 * s, &fill);
    Draw(cv, chain);
    for (int py = -4; py < 20; ++py)
      for (int px = -4; px < 20; ++px) {
        const uint8_t* p = canvas.Pixel(px, py);
        const bool in = px >= 3 && px < 11 && py >= 2 && py < 16;
        ASSERT_EQ(p[0], in ? 7 : kUntouched) << Where(px, py);
      }
  }
}

// The diagonal y = x of a huge triangle crosses the bitmap; its ends lie near
// the limits of 32-bit coordinates. Inside: sub-samples left of the diagonal.
TEST(ScanBounds, EdgesFarOutsideStillCutTheBitmapExactly) {
  const int32_t limits[] = {1 << 20, 1 << 30, INT32_MAX - 8};
  for (const int32_t big : limits) {
    for (const int shift : {0, 5, -7}) {
      SCOPED_TRACE("extent " + std::to_string(big) + " shift " + std::to_string(shift));
      Canvas canvas(16, 16);
      CScanConverter cv;
      cv.SetTarget(canvas.Target(), nullptr, 1);
      CSpanFill fill;
      MakeSolid(fill, cv, 0, 0, 0, 1);
      EdgeChain chain;
      // The diagonal from (-big + shift, -big) to (big + shift, big).
      chain.Polygon({{-big + shift, -big}, {big + shift, big}, {-big, big}}, &fill);
      Draw(cv, chain);
      for (int py = 0; py < 16; ++py)
        for (int px = 0; px < 16; ++px) {
          int n = 0;
          for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) n += 4 * px + i < 4 * py + j + shift;
          const int v = n == 0 ? kUntouched : OverWhite(n, 0);
          ASSERT_EQ(canvas.At(px, py).r, v) << Where(px, py) << " n=" << n;
        }
    }
  }
}

// A band between a far vertical line and a curve far to the right: every
// sub-sample of the rows the curve spans is inside.
TEST(ScanBounds, CurvesFarOutsideStepWithoutOverflow) {
  // (1 << 27) - 1 keeps every point of the curve within 2^28 (columns are
  // rounded without clamping); the larger ones step with clamping, the last
  // with its control point near the end of 32 bits.
  for (const int32_t far : {1 << 14, 1 << 18, 1 << 24, (1 << 27) - 1, 1 << 28, INT32_MAX / 2}) {
    SCOPED_TRACE("far " + std::to_string(far));
    Canvas canvas(8, 16);
    CScanConverter cv;
    cv.SetTarget(canvas.Target(), nullptr, 1);
    CSpanFill fill;
    MakeSolid(fill, cv, 0, 0, 0, 1);
    EdgeChain chain;
    chain.Line({-far, 4}, {-far, 60}, &fill);
    chain.Curve({far, 4}, {2 * far, 32}, {far, 60}, &fill);
    Draw(cv, chain);
    for (int py = 0; py < 16; ++py) {
      const int rows = RectSamples(0, py, 0, 4, 4, 60) / 4;  // sub-rows of this row inside
      for (int px = 0; px < 8; ++px)
        ASSERT_EQ(canvas.At(px, py).r, rows ? OverWhite(4 * rows, 0) : kUntouched) << Where(px, py);
    }
  }
}

// ---- Curves -----------------------------------------------------------------------------

TEST(ScanCurves, NearlyStraightCurvesStepAsLines) {
  for (const int aa : {0, 1}) {
    Canvas curved(20, 20), straight(20, 20);
    for (Canvas* canvas : {&curved, &straight}) {
      CScanConverter cv;
      cv.SetTarget(canvas->Target(), nullptr, aa);
      CSpanFill fill;
      MakeSolid(fill, cv, 0, 0, 0, 1);
      EdgeChain chain;
      chain.Line({1, 1}, {2, 70}, &fill);
      if (canvas == &curved) {
        chain.Curve({10, 1}, {36, 35}, {60, 70}, &fill);  // one unit off the chord's middle
      } else {
        chain.Line({10, 1}, {60, 70}, &fill);
      }
      Draw(cv, chain);
    }
    EXPECT_EQ(curved.Memory(), straight.Memory()) << (aa ? "anti-aliased" : "plain");
  }
}

// Curve edges follow their curve to the end point: the forward differences
// start with half the second difference in the first step, or a wide curve
// would drift off by (p0 - 2c + p2) / n, here up to 5 units. (Rounding the
// column and the 24-bit step size leave up to 1.5 units.)
TEST(ScanCurves, CurveColumnsFollowTheCurveToItsEnd) {
  const struct {
    Point32 p0, c, p2;
  } curves[] = {
      {{0, 0}, {400, 40}, {0, 80}},
      {{300, 10}, {-100, 60}, {300, 110}},
      {{0, 0}, {200, 50}, {400, 200}},
      {{50, -20}, {-150, 20}, {20, 60}},
      {{-70000, 0}, {90000, 128}, {-70000, 256}},
  };
  for (const auto& k : curves) {
    CScanEdge edge;
    edge.curve = {k.p0, k.c, k.p2, 0};
    CActiveEdge a;
    a.Setup(edge, k.p0.y, 1);
    ASSERT_EQ(a.isLine, 0u);
    for (int32_t r = k.p0.y; r < k.p2.y; ++r) {
      if (r > k.p0.y) a.StepTo(r);
      // The curve's point at row r (y is monotone: solve y(t) = r).
      const double ay = k.p0.y - 2.0 * k.c.y + k.p2.y, by = 2.0 * (k.c.y - k.p0.y),
                   cy = k.p0.y - double(r);
      const double t =
          std::fabs(ay) < 1e-12 ? -cy / by : (-by + std::sqrt(by * by - 4 * ay * cy)) / (2 * ay);
      const double x = (1 - t) * (1 - t) * k.p0.x + 2 * t * (1 - t) * k.c.x + t * t * k.p2.x;
      ASSERT_LE(std::fabs(a.x - x), 1.5) << "row " << r << " of the curve from " << k.p0.x << ","
                                         << k.p0.y << " (exact x " << x << ")";
    }
  }
}

TEST(ScanCurves, ACurveRetiresBeforeItsEndRow) {
  Canvas canvas(20, 12);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 0);
  CSpanFill fill;
  MakeSolid(fill, cv, 0, 0, 0, 1);
  EdgeChain chain;
  chain.Line({0, 2}, {0, 8}, &fill);
  chain.Curve({4, 2}, {18, 5}, {4, 8}, &fill);
  Draw(cv, chain);
  for (int py = 0; py < 12; ++py) {
    const bool drawn = canvas.At(0, py).r == 0;
    EXPECT_EQ(drawn, py >= 2 && py < 8) << "row " << py;
  }
  // The bulge: row 5 reaches the control point's side, about x = 11.
  EXPECT_EQ(canvas.At(10, 5).r, 0);
  EXPECT_EQ(canvas.At(13, 5).r, kUntouched);
}

// ---- Offscreen bitmaps ----------------------------------------------------------------

TEST(ScanTargets, OffscreenBitmapsOfEitherRowOrder) {
  for (const bool bottomUp : {false, true}) {
    for (const int bits : {24, 32}) {
      SCOPED_TRACE(std::to_string(bits) + (bottomUp ? " bits, bottom-up" : " bits, top-down"));
      COffscreenBitmap bitmap;
      ASSERT_TRUE(bitmap.CreateDepth(bits, nullptr, 6, 5, bottomUp));
      CScanConverter cv;
      cv.SetTarget(&bitmap, nullptr, 1);
      EXPECT_EQ(cv.target, &bitmap);
      cv.Clear(0xFFFFFF);
      CSpanFill fill;
      MakeSolid(fill, cv, 10, 20, 30, 1);
      EdgeChain chain;
      chain.Rect(4, 4, 14, 8, &fill);  // row 1, columns 1 and 2 whole, 3 half
      Draw(cv, chain);
      const int bpp = bits / 8;
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
          const uint8_t* p = bitmap.Row(y) + bpp * x;
          const int n = RectSamples(x, y, 4, 4, 14, 8);
          const Rgb8 want = n == 0 ? Rgb8{255, 255, 255}
                                   : Rgb8{OverWhite(n, 10), OverWhite(n, 20), OverWhite(n, 30)};
          ASSERT_EQ((Rgb8{p[2], p[1], p[0]}), want) << Where(x, y);
        }
    }
  }
}

// ---- Clearing and failures --------------------------------------------------------------

TEST(ScanClear, FillsTheBandAndSetsTheBackground) {
  for (const int aa : {0, 1}) {
    Canvas canvas(9, 7, 2);
    CScanConverter cv;
    const Rect32 clip{1, 8, 0, 7};
    cv.SetTarget(canvas.Target(), &clip, aa);
    cv.Clear(0x00336699);
    EXPECT_EQ(cv.backgroundValid, 1);
    for (int py = -2; py < 9; ++py)
      for (int px = -2; px < 11; ++px) {
        const bool in = px >= 1 && px < 8 && py >= 0 && py < 7;
        ASSERT_EQ(canvas.At(px, py),
                  in ? (Rgb8{0x99, 0x66, 0x33}) : (Rgb8{kUntouched, kUntouched, kUntouched}))
            << Where(px, py);
      }
    cv.Clear(-1);
    EXPECT_EQ(cv.backgroundValid, 0);
    EXPECT_EQ(canvas.At(4, 4), (Rgb8{255, 255, 255}));
  }
}

TEST(ScanClear, AlphaTargetsClearAsPlainThirtyTwoBits) {
  Canvas canvas(4, 4);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(kScan32BitAlpha), nullptr, 1);
  cv.Clear(0x010203);
  EXPECT_EQ(canvas.Pixel(2, 2)[3], 0);
  EXPECT_EQ(cv.pixelFormat, kScan32BitAlpha);
  CSpanFill fill;
  MakeSolid(fill, cv, 0, 0, 0, 1);
  EdgeChain chain;
  chain.Rect(0, 0, 16, 8, &fill);  // the top two rows, fully
  Draw(cv, chain);
  EXPECT_EQ(canvas.Pixel(1, 1)[3], 0xFF);
  EXPECT_EQ(canvas.Pixel(1, 2)[3], 0);
}

TEST(ScanFailures, RefusedBucketsSkipEdgesAndDrawNothing) {
  Canvas canvas(8, 8);
  const std::vector<uint8_t> before = canvas.Memory();
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 1);
  CSpanFill fill;
  MakeSolid(fill, cv, 0, 0, 0, 1);
  EdgeChain chain;
  chain.Rect(0, 0, 32, 32, &fill);
  {
    RefuseMemory refuse(RefuseMemory::Heap);
    cv.AllocBuckets();
  }
  EXPECT_EQ(cv.bucketCapacity, 0);
  EXPECT_EQ(cv.buckets, nullptr);
  cv.AddEdgeList(chain.Head());
  cv.Finish();
  EXPECT_EQ(canvas.Memory(), before);

  // Memory back: the next round draws.
  cv.AllocBuckets();
  cv.AddEdgeList(chain.Head());
  cv.Finish();
  EXPECT_EQ(canvas.At(3, 3), (Rgb8{0, 0, 0}));
}

TEST(ScanFailures, RefusedActiveEdgesSkipTheirRows) {
  Canvas canvas(8, 8);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 0);
  CSpanFill fill;
  MakeSolid(fill, cv, 0, 0, 0, 1);
  EdgeChain chain;
  chain.Rect(1, 1, 7, 7, &fill);
  cv.AllocBuckets();
  cv.AddEdgeList(chain.Head());
  {
    RefuseMemory refuse(RefuseMemory::Only(&cv.edgePool));
    cv.RenderAll();
  }
  for (int py = 0; py < 8; ++py)
    for (int px = 0; px < 8; ++px) ASSERT_EQ(canvas.At(px, py).r, kUntouched) << Where(px, py);
}
