// A page of 500 shapes (100 edges each, 50,000 edges; a third with linear
// gradients, a third of the lines dashed) drawn at 1920 x 1080 on one core:
//   BitmapContext      through the bitmap render context (anti-aliased), whole
//   BitmapContextDirty the same in a 200 x 200 dirty rectangle
//   ScanDirect         the same graphs fed straight to the scan converter
//                      (AddEdgeGraph, plain lines only)
//   GdiContext         through the GDI back end on a device context (device
//                      paths, no anti-aliasing)
//   QPainterPolygons   QPainter filling the same flattened polygons (no
//                      anti-aliasing), the GDI back end's peer
// The table after the runs gives each in ms per frame, against the 16.7 ms of
// a 60 Hz repaint, and the ratios to their peers.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_path.h"
#include "geometry/edge_graph_region.h"
#include "geometry/point_list.h"
#include "platform/qt/dc.h"
#include "render/context/polygon_builder.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/gdi/gdi_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kTwips = 20;  // twips per pixel
constexpr int kShapes = 500;
constexpr int kEdges = 100;

// The page: one graph per shape, built once.
struct Page {
  Page() {
    std::mt19937 rng(24);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int s = 0; s < kShapes; ++s) {
      EdgeGraph& g = graphs[s];
      if (EdgeGraphInit(g) < 0) std::abort();
      const double cx = unit(rng) * kWidth, cy = unit(rng) * kHeight;
      const double r = 30 + unit(rng) * 120;
      FillStyle fill;
      fill.colour = 0xFF000000u | (static_cast<uint32_t>(rng()) & 0xFFFFFF);
      if (s % 3 == 0) {
        fill.kind = kGradientLinear;
        fill.gradient.count = 2;
        fill.gradient.ratios[1] = 255;
        fill.gradient.colours[0] = fill.colour;
        fill.gradient.colours[1] = 0xFFFFFFFFu;
        const Fixed k = static_cast<Fixed>(r * kTwips * 65536 / 16384);
        MatrixSetScale(fill.matrix, k, k);
        fill.matrix.tx = static_cast<int32_t>(cx * kTwips);
        fill.matrix.ty = static_cast<int32_t>(cy * kTwips);
      }
      LineStyle line;
      line.colour = 0xFF000000;
      line.width = 2 * kTwips;
      if (s % 3 == 1) {
        line.kind = 1;
        line.params[0] = 6 * kTwips;
        line.params[1] = 3 * kTwips;
      }
      const int f = EdgeGraphAddFillStyle(g, fill), l = EdgeGraphAddLineStyle(g, line);
      PointList path;
      for (int i = 0; i <= kEdges; ++i) {
        const double a = 2 * M_PI * (i % kEdges) / kEdges;
        const double rr = r * (0.8 + 0.2 * std::sin(7 * a));
        if (PointListAppend(path,
                            {static_cast<int32_t>((cx + rr * std::cos(a)) * kTwips),
                             static_cast<int32_t>((cy + rr * std::sin(a)) * kTwips)},
                            0) < 0)
          std::abort();
      }
      // Clockwise on the screen (y down): the inside is side B.
      if (EdgeGraphAddPath(g, path, static_cast<StyleIndex>(l), 0, static_cast<StyleIndex>(f)) < 0)
        std::abort();
      edges += g.edge_count;
      // The flattened outline for the QPainter peer.
      QPolygon polygon;
      for (int i = 0; i < path.length; ++i)
        polygon << QPoint(path.buffer[i].x / kTwips, path.buffer[i].y / kTwips);
      polygons.push_back(polygon);
      colours.push_back(fill.colour);
    }
  }
  ~Page() {
    for (EdgeGraph& g : graphs) EdgeGraphFreeAll(g);
  }
  EdgeGraph graphs[kShapes];
  std::vector<QPolygon> polygons;
  std::vector<uint32_t> colours;
  uint64_t edges = 0;
};

Page& ThePage() {
  static Page page;
  return page;
}

void UsePixels(CRenderContext& rc) {
  Matrix2x3 m;
  MatrixSetScale(m, kFixedOne / kTwips, kFixedOne / kTwips);
  rc.SetMatrix(m);
}

void BM_BitmapContext(benchmark::State& state) {
  Page& page = ThePage();
  COffscreenBitmap bitmap;
  bitmap.CreateDepth(32, nullptr, kWidth, kHeight, false);
  const bool dirty = state.range(0) != 0;
  const Rect32 rect = {860, 1060, 440, 640};
  // One context for every frame, as the scan converter below keeps its
  // pools warm across frames.
  CBitmapRenderContext rc(&bitmap, 1);
  if (dirty) {
    rc.m_scanConverter.SetTarget(&bitmap, &rect, 1);
    rc.m_scanConverter.AllocBuckets();
    rc.SetClip({rect.xmin, rect.xmax, rect.ymin, rect.ymax});
  }
  UsePixels(rc);
  for (auto _ : state) {
    rc.FillRectColor(0xFFFFFF);
    for (EdgeGraph& g : page.graphs) rc.DrawEdgeGraph(g);
    rc.Flush();
  }
  state.counters["edges"] = static_cast<double>(page.edges);
}
BENCHMARK(BM_BitmapContext)->Name("BitmapContext")->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BitmapContext)->Name("BitmapContextDirty")->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ScanDirect(benchmark::State& state) {
  Page& page = ThePage();
  COffscreenBitmap bitmap;
  bitmap.CreateDepth(32, nullptr, kWidth, kHeight, false);
  CScanConverter scan(&bitmap, nullptr, nullptr, 1);
  Matrix2x3 m;
  MatrixSetScale(m, kFixedOne / kTwips, kFixedOne / kTwips);
  for (auto _ : state) {
    scan.Clear(0xFFFFFF);
    scan.SetMatrix(m, nullptr);
    for (EdgeGraph& g : page.graphs) scan.AddEdgeGraph(g);
    scan.Render();
    scan.ResetInput();
  }
}
BENCHMARK(BM_ScanDirect)->Name("ScanDirect")->Unit(benchmark::kMillisecond);

void EnsureGui() {
  // Made once and kept to the end of the process.
  static QGuiApplication* app = nullptr;
  if (app) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "render_context_bench";
  static char* argv[] = {name, nullptr};
  app = new QGuiApplication(argc, argv);
}

void BM_GdiContext(benchmark::State& state) {
  EnsureGui();
  Page& page = ThePage();
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  dc.AttachImage(&image);
  for (auto _ : state) {
    image.fill(Qt::white);
    CGdiRenderContext rc(&dc);
    rc.m_flags |= CRenderContext::kFlagFills;
    UsePixels(rc);
    for (EdgeGraph& g : page.graphs) rc.DrawEdgeGraph(g);
  }
}
BENCHMARK(BM_GdiContext)->Name("GdiContext")->Unit(benchmark::kMillisecond);

void BM_QPainterPolygons(benchmark::State& state) {
  EnsureGui();
  Page& page = ThePage();
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 2));
    for (size_t i = 0; i < page.polygons.size(); ++i) {
      const uint32_t c = page.colours[i];
      p.setBrush(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
      p.drawPolygon(page.polygons[i], Qt::OddEvenFill);
    }
  }
}
BENCHMARK(BM_QPainterPolygons)->Name("QPainterPolygons")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  auto at = [&](const char* name) { return reporter.Ms(name); };
  const double frame = 1000.0 / 60;
  std::printf("\n%-20s %10s %12s\n", "ms per frame", "ms", "vs 60 Hz");
  for (const char* name :
       {"BitmapContext", "BitmapContextDirty", "ScanDirect", "GdiContext", "QPainterPolygons"})
    if (at(name) > 0) std::printf("%-20s %10.2f %11.2fx\n", name, at(name), at(name) / frame);
  if (at("BitmapContext") > 0 && at("ScanDirect") > 0)
    std::printf("bitmap context / scan converter direct: %.2f\n",
                at("BitmapContext") / at("ScanDirect"));
  if (at("GdiContext") > 0 && at("QPainterPolygons") > 0)
    std::printf("GDI back end / QPainter: %.2f\n", at("GdiContext") / at("QPainterPolygons"));
  std::fflush(stdout);
  return 0;
}
