// The scan converter filling many polygons into a 1920 x 1080 bitmap, against
// Cairo drawing the same outlines into an image surface of the same size.
// Fixed seeds; compare each Scan/<scene> with Cairo/<scene> of the same run.
// The closing table gives each scene against Cairo, and 200,000 small
// triangles against 20,000 (the cost per shape must not grow with their
// number).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "render/raster/scan_converter.h"
#include "tests/render/raster/scan_input.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Shape {
  std::vector<Point32> points;    // pixels * 4 (quarter pixels)
  std::vector<Point32> controls;  // curves when not empty
  int r, g, b;
};

enum Scene { kSmallTriangles, kLargePolygons, kCurvedShapes, kStars, kManySmallTriangles };

// The shapes of a scene, in quarter pixels.
std::vector<Shape> MakeScene(Scene scene) {
  std::mt19937 rng(static_cast<unsigned>(scene) + 1);
  std::vector<Shape> shapes;
  auto colour = [&](Shape& s) {
    s.r = static_cast<int>(rng() % 256);
    s.g = static_cast<int>(rng() % 256);
    s.b = static_cast<int>(rng() % 256);
  };
  auto point = [&](int cx, int cy, int spread) {
    return Point32{cx + static_cast<int>(rng() % (2 * spread + 1)) - spread,
                   cy + static_cast<int>(rng() % (2 * spread + 1)) - spread};
  };
  switch (scene) {
    case kSmallTriangles:      // 20000 triangles about 20 pixels across
    case kManySmallTriangles:  // 200000 of them
      for (int i = 0; i < (scene == kSmallTriangles ? 20000 : 200000); ++i) {
        Shape s;
        const int cx = static_cast<int>(rng() % (kWidth * 4)),
                  cy = static_cast<int>(rng() % (kHeight * 4));
        for (int k = 0; k < 3; ++k) s.points.push_back(point(cx, cy, 40));
        colour(s);
        shapes.push_back(s);
      }
      break;
    case kLargePolygons:  // 500 overlapping polygons of 8 vertices, about 600 pixels across
      for (int i = 0; i < 500; ++i) {
        Shape s;
        const int cx = static_cast<int>(rng() % (kWidth * 4)),
                  cy = static_cast<int>(rng() % (kHeight * 4));
        for (int k = 0; k < 8; ++k) s.points.push_back(point(cx, cy, 1200));
        colour(s);
        shapes.push_back(s);
      }
      break;
    case kCurvedShapes:  // 2000 closed outlines of 6 quadratic curves, about 80 pixels across
      for (int i = 0; i < 2000; ++i) {
        Shape s;
        const int cx = static_cast<int>(rng() % (kWidth * 4)),
                  cy = static_cast<int>(rng() % (kHeight * 4));
        for (int k = 0; k < 6; ++k) s.points.push_back(point(cx, cy, 160));
        for (int k = 0; k < 6; ++k) {
          const Point32 a = s.points[k], b = s.points[(k + 1) % 6];
          const int lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
          s.controls.push_back({(a.x + b.x) / 2 + static_cast<int>(rng() % 161) - 80,
                                lo + static_cast<int>(rng() % (hi - lo + 1))});
        }
        colour(s);
        shapes.push_back(s);
      }
      break;
    case kStars:  // 300 self-crossing stars of 25 points, about 400 pixels across
      for (int i = 0; i < 300; ++i) {
        Shape s;
        const int cx = static_cast<int>(rng() % (kWidth * 4)),
                  cy = static_cast<int>(rng() % (kHeight * 4));
        for (int k = 0; k < 25; ++k) s.points.push_back(point(cx, cy, 800));
        colour(s);
        shapes.push_back(s);
      }
      break;
  }
  return shapes;
}

void BM_Scan(benchmark::State& state) {
  const std::vector<Shape> shapes = MakeScene(static_cast<Scene>(state.range(0)));
  const bool aa = state.range(1) != 0;
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
  ScanTarget target;
  target.bits = pixels.data();
  target.stride = kWidth * 4;
  target.width = kWidth;
  target.height = kHeight;
  CScanConverter cv;
  cv.SetTarget(target, nullptr, aa);
  std::vector<CSpanFill> fills(shapes.size());
  EdgeChain chain;
  for (size_t i = 0; i < shapes.size(); ++i) {
    const Shape& s = shapes[i];
    MakeSolid(fills[i], cv, s.r, s.g, s.b, static_cast<int32_t>(i + 1));
    const size_t n = s.points.size();
    for (size_t k = 0; k < n; ++k) {
      Point32 a = s.points[k], b = s.points[(k + 1) % n];
      Point32 c = s.controls.empty() ? Point32{} : s.controls[k];
      if (!aa) {  // plain mode works in pixels
        a = {a.x / 4, a.y / 4};
        b = {b.x / 4, b.y / 4};
        c = {c.x / 4, c.y / 4};
      }
      if (s.controls.empty()) {
        chain.Line(a, b, &fills[i], kEdgeAddWinding);
      } else {
        chain.Curve(a, c, b, &fills[i], kEdgeAddWinding);
      }
    }
  }
  for (auto _ : state) {
    cv.Clear(0xFFFFFF);
    Draw(cv, chain);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(shapes.size()));
}

void BM_Cairo(benchmark::State& state) {
  const std::vector<Shape> shapes = MakeScene(static_cast<Scene>(state.range(0)));
  const bool aa = state.range(1) != 0;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, aa ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  for (auto _ : state) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (const Shape& s : shapes) {
      const size_t n = s.points.size();
      cairo_move_to(cr, s.points[0].x / 4.0, s.points[0].y / 4.0);
      for (size_t k = 0; k < n; ++k) {
        const Point32 a = s.points[k], b = s.points[(k + 1) % n];
        if (s.controls.empty()) {
          cairo_line_to(cr, b.x / 4.0, b.y / 4.0);
        } else {
          const Point32 c = s.controls[k];
          cairo_curve_to(cr, (a.x + 2.0 * (c.x - a.x) / 3) / 4, (a.y + 2.0 * (c.y - a.y) / 3) / 4,
                         (b.x + 2.0 * (c.x - b.x) / 3) / 4, (b.y + 2.0 * (c.y - b.y) / 3) / 4,
                         b.x / 4.0, b.y / 4.0);
        }
      }
      cairo_close_path(cr);
      cairo_set_source_rgb(cr, s.r / 255.0, s.g / 255.0, s.b / 255.0);
      cairo_fill(cr);
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(shapes.size()));
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// Arguments: scene, anti-aliasing.
void Scenes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"scene", "aa"});
  for (int scene : {kSmallTriangles, kLargePolygons, kCurvedShapes, kStars}) b->Args({scene, 1});
  b->Args({kManySmallTriangles, 1});
  b->Args({kSmallTriangles, 0});
  b->Args({kLargePolygons, 0});
  b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_Scan)->Apply(Scenes);
BENCHMARK(BM_Cairo)->Apply(Scenes);

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  std::printf("\n%-32s %10s %10s %10s\n", "scene (ms)", "scan", "cairo", "x cairo");
  const char* names[] = {"20k small triangles", "500 large polygons", "2k curved shapes",
                         "300 stars", "200k small triangles"};
  for (const char* args : {"scene:0/aa:1", "scene:1/aa:1", "scene:2/aa:1", "scene:3/aa:1",
                           "scene:4/aa:1", "scene:0/aa:0", "scene:1/aa:0"}) {
    const double scan = reporter.Ms(std::string("BM_Scan/") + args);
    const double cairo = reporter.Ms(std::string("BM_Cairo/") + args);
    if (scan == 0) continue;
    const std::string name = std::string(names[args[6] - '0']) + (args[11] == '0' ? ", plain" : "");
    std::printf("%-32s %10.2f %10.2f %10.2f\n", name.c_str(), scan, cairo,
                cairo > 0 ? scan / cairo : 0.0);
  }
  const double few = reporter.Ms("BM_Scan/scene:0/aa:1"),
               many = reporter.Ms("BM_Scan/scene:4/aa:1");
  const double fewPeer = reporter.Ms("BM_Cairo/scene:0/aa:1"),
               manyPeer = reporter.Ms("BM_Cairo/scene:4/aa:1");
  if (few > 0 && many > 0) {
    std::printf("\n%-32s %10s %10s %10s\n", "200k against 20k shapes", "scan", "cairo", "goal");
    std::printf("%-32s %10.2f %10.2f %10s\n", "time ratio", many / few,
                fewPeer > 0 ? manyPeer / fewPeer : 0.0, "<= 11");
  }
  return 0;
}
