// A brush stroke of 2,000 samples with a 40-pixel round brush at 4x
// sub-pixels (a 160 sub-pixel footprint) along a wave across a 1600 x 1000
// pixel window at 100 %, merged into a drawing of 10,000 edges (2,500 filled
// squares) under the stroke.
//
// Per sample: the sweep from the last sample and the flush of the new spans
// (what the gesture does between two polls), in ms per sample against the
// 1 ms a sample may take, beside the peer: stamping the footprint at each
// sample into a plain coverage bitmap of a byte per sub-pixel.
// At release: tracing the coverage, fitting the outlines and merging the
// stroke into the drawing, against 100 ms, beside the peer: merging the
// finished stroke graph alone. The table after the runs gives both pairs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "view/core/brush_raster.h"
#include "view/core/brush_stroke.h"

namespace {

constexpr int kSamples = 2000;
constexpr int kClientWidth = 1600;
constexpr int kClientHeight = 1000;
constexpr int kSub = 4;
constexpr int kMargin = 40;
constexpr int kSquares = 50;  // per side: 2,500 squares, 10,000 edges
constexpr double kSampleBudgetMs = 1.0;
constexpr double kReleaseBudgetMs = 100.0;

class NullTarget : public BrushFlushTarget {
 public:
  void FillRect(int32_t, int32_t, int32_t w, int32_t) override { drawn += w; }
  int64_t drawn = 0;
};

struct StrokeSetup {
  std::vector<Point32> samples;  // sub-pixels
  BrushPolygon polygon;
  Matrix2x3 sub_to_doc;  // 15 twips a pixel: 3.75 twips a sub-pixel
  int32_t fit_scale = 30 * 256;
  EdgeGraph drawing;

  StrokeSetup() {
    for (int i = 0; i < kSamples; ++i) {
      const double t = static_cast<double>(i) / (kSamples - 1);
      const double x = 100 + t * (kClientWidth - 200);
      const double y = kClientHeight / 2.0 + 300 * std::sin(t * 6 * M_PI);
      samples.push_back({static_cast<int32_t>(x * kSub), static_cast<int32_t>(y * kSub)});
    }
    BrushShape shape;
    shape.width = 40;
    shape.height = 40;
    Must(BuildBrushPolygon(polygon, shape, kSub * kFixedOne));
    sub_to_doc.a = sub_to_doc.d = 0x3C000;
    Must(EdgeGraphInit(drawing));
    FillStyle grey;
    grey.colour = 0xFF808080;
    const auto fill = static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(drawing, grey)));
    const int32_t step = kClientWidth * 15 / kSquares;
    PointList path;
    for (int i = 0; i < kSquares; ++i) {
      for (int j = 0; j < kSquares; ++j) {
        const int32_t x = i * step, y = j * step * kClientHeight / kClientWidth;
        Must(PathFromRect(path, {x, x + step / 2, y, y + step / 3}));
        Must(EdgeGraphAddPath(drawing, path, 0, 0, fill));
      }
    }
    Must(EdgeGraphUpdate(drawing));
  }
  // The stroke graph of the swept raster, in red.
  StyleIndex TraceStroke(BrushRaster& raster, EdgeGraph& stroke) const {
    Must(EdgeGraphInit(stroke));
    FillStyle red;
    red.colour = 0xFF0000FF;
    const auto fill = static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(stroke, red)));
    Must(BrushStrokeToGraph(raster, sub_to_doc, fit_scale, fill, stroke));
    return fill;
  }
  void Sweep(BrushRaster& raster) const {
    MustBeTrue(BrushRasterInit(raster, -kMargin, kClientHeight * kSub + kMargin, -kMargin,
                               kClientWidth * kSub + kMargin) == 0);
    Point32 last = samples[0];
    for (const Point32& p : samples) {
      Must(BrushSweep(raster, polygon, last, p));
      last = p;
    }
  }
};

StrokeSetup& Setup() {
  static StrokeSetup s;
  return s;
}

void PerSample(benchmark::State& state) {
  const StrokeSetup& s = Setup();
  NullTarget target;
  for (auto _ : state) {
    BrushRaster raster;
    MustBeTrue(BrushRasterInit(raster, -kMargin, kClientHeight * kSub + kMargin, -kMargin,
                               kClientWidth * kSub + kMargin) == 0);
    Point32 last = s.samples[0];
    for (const Point32& p : s.samples) {
      Must(BrushSweep(raster, s.polygon, last, p));
      BrushRasterFlush(raster, target, kSub, kSub, true);
      last = p;
    }
  }
  benchmark::DoNotOptimize(target.drawn);
}
BENCHMARK(PerSample)->Unit(benchmark::kMillisecond);

// The peer: the footprint stamped into a byte per sub-pixel at each sample.
void PerSampleBitmap(benchmark::State& state) {
  const StrokeSetup& s = Setup();
  const int width = kClientWidth * kSub;
  std::vector<uint8_t> coverage(static_cast<size_t>(width) * kClientHeight * kSub);
  for (auto _ : state) {
    std::memset(coverage.data(), 0, coverage.size());
    for (const Point32& p : s.samples) {
      for (int32_t r = s.polygon.first; r <= s.polygon.last; ++r) {
        const int32_t y = p.y + r;
        const int32_t x0 = std::max(p.x + s.polygon.Left(r), 0);
        const int32_t x1 = std::min(p.x + s.polygon.Right(r), width - 1);
        if (y < 0 || y >= kClientHeight * kSub || x1 < x0) continue;
        std::memset(&coverage[static_cast<size_t>(y) * width + x0], 1,
                    static_cast<size_t>(x1 - x0 + 1));
      }
    }
    benchmark::DoNotOptimize(coverage.data());
  }
}
BENCHMARK(PerSampleBitmap)->Unit(benchmark::kMillisecond);

// A copy of the drawing to merge into.
void CopyDrawing(const StrokeSetup& s, EdgeGraph& out) {
  Must(EdgeGraphInit(out));
  Must(EdgeGraphMerge(const_cast<EdgeGraph&>(s.drawing), out, 0));
}

void AtRelease(benchmark::State& state) {
  const StrokeSetup& s = Setup();
  for (auto _ : state) {
    state.PauseTiming();
    BrushRaster raster;
    s.Sweep(raster);
    EdgeGraph target;
    CopyDrawing(s, target);
    state.ResumeTiming();
    EdgeGraph stroke;
    const StyleIndex fill = s.TraceStroke(raster, stroke);
    Must(ApplyBrushStroke(stroke, target, {0, 0}, fill, BrushApplyOptions{}));
    state.PauseTiming();
    EdgeGraphFreeAll(stroke);
    EdgeGraphFreeAll(target);
    state.ResumeTiming();
  }
}
BENCHMARK(AtRelease)->Unit(benchmark::kMillisecond);

// The peer: the finished stroke graph merged alone.
void MergeOnly(benchmark::State& state) {
  const StrokeSetup& s = Setup();
  BrushRaster raster;
  s.Sweep(raster);
  EdgeGraph stroke;
  const StyleIndex fill = s.TraceStroke(raster, stroke);
  state.counters["stroke_edges"] = static_cast<double>(stroke.edge_count);
  for (auto _ : state) {
    state.PauseTiming();
    EdgeGraph target;
    CopyDrawing(s, target);
    state.ResumeTiming();
    Must(ApplyBrushStroke(stroke, target, {0, 0}, fill, BrushApplyOptions{}));
    state.PauseTiming();
    EdgeGraphFreeAll(target);
    state.ResumeTiming();
  }
}
BENCHMARK(MergeOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  const double sample = reporter.Ms("PerSample") / kSamples;
  const double bitmap = reporter.Ms("PerSampleBitmap") / kSamples;
  const double release = reporter.Ms("AtRelease");
  const double merge = reporter.Ms("MergeOnly");
  std::printf("\n| step | ms | against budget | peer ratio |\n|---|---|---|---|\n");
  std::printf("| sweep and flush, per sample | %.5f | %.4f of 1 ms | %.2f |\n", sample,
              sample / kSampleBudgetMs, bitmap > 0 ? sample / bitmap : 0.0);
  std::printf("| peer: footprint stamped into a bitmap, per sample | %.5f | %.4f of 1 ms | 1 |\n",
              bitmap, bitmap / kSampleBudgetMs);
  std::printf("| release: trace, fit, merge | %.3f | %.3f of 100 ms | %.2f |\n", release,
              release / kReleaseBudgetMs, merge > 0 ? release / merge : 0.0);
  std::printf("| peer: the stroke graph merged alone | %.3f | %.3f of 100 ms | 1 |\n", merge,
              merge / kReleaseBudgetMs);
  return 0;
}
