// Snapping on a busy page: a key frame whose own drawing holds 20,000 edges
// (200 rows of 100-edge zigzags) and 1,000 objects on it (small shapes,
// every fourth with a centre point), the grid on in both axes, at 100 %
// with the drag radius of the default "Connect" level (10 U).
//
// SnapSearchObjects (the grid, the walk, graph candidates through each
// graph's spatial grid) for 1,000 query points at random places, in ms per
// call against the 2 ms a call may take (budget_ratio below 1), beside the
// same walk with every graph scanned whole (the peer; it offers no
// alignment crossings, so it does a little less per edge it looks at).
// The table after the runs gives both and their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "bench/bench_view_host.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "tests/common/snap_scan.h"
#include "view/core/assistant_settings.h"
#include "view/core/snap.h"
#include "view/core/view_state.h"

namespace {

constexpr int kRows = 200;
constexpr int kEdgesPerRow = 100;
constexpr int kObjects = 1000;
constexpr int kQueries = 1000;
constexpr double kBudgetMs = 2.0;

StyleIndex Hairline(EdgeGraph& g) {
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 20;
  return static_cast<StyleIndex>(Must(EdgeGraphAddLineStyle(g, line)));
}

struct SnapPage {
  CMarlDoc doc;
  CDocumentPage* page = new CDocumentPage;
  BenchViewHost host;
  std::unique_ptr<ViewState> view;
  std::vector<Point32> queries;
  int64_t edges = 0;
  int32_t radius = 0;

  SnapPage() {
    page->InitForDocument(&doc, false);
    doc.AppendPage(page, false);
    doc.m_movieRect = Rect32{0, 10800, 0, 14400};
    doc.m_gridFlags = 0x3;
    CPicFrame* frame = page->GetRoot()->GetFirstLayer()->GetFirstFrame();
    // The frame's own drawing: rows 70 twips apart, zigzags 20 twips high.
    EdgeGraph& g = frame->GetGeometry();
    const StyleIndex line = Hairline(g);
    for (int row = 0; row < kRows; ++row) {
      PointList path;
      for (int i = 0; i <= kEdgesPerRow; ++i)
        Must(PointListAppend(path, {i * 108, 35 + row * 70 + (i % 2) * 20}, 0));
      Must(EdgeGraphAddPath(g, path, line, 0, 0));
    }
    Must(EdgeGraphUpdate(g));
    edges = g.edge_count;
    std::mt19937 random(31);
    std::uniform_int_distribution<int32_t> x(0, 10800), y(0, 14400), r(50, 300);
    for (int i = 0; i < kObjects; ++i) {
      auto* shape = new CPicShape;
      EdgeGraph& s = shape->GetGeometry();
      const int32_t half = r(random);
      PointList square;
      for (Point32 p : {Point32{-half, -half}, Point32{half, -half}, Point32{half, half},
                        Point32{-half, half}, Point32{-half, -half}})
        Must(PointListAppend(square, p, 0));
      Must(EdgeGraphAddPath(s, square, Hairline(s), 0, 0));
      Must(EdgeGraphUpdate(s));
      Matrix2x3 place;
      MatrixSetTranslation(place, x(random), y(random));
      shape->SetShapeMatrix(place);
      if (i % 4 == 0) {
        const Point32 centre{place.tx, place.ty};
        shape->SetCenter(&centre);
      }
      edges += s.edge_count;
      frame->AddChild(shape);
    }
    page->GetRoot()->RecalcAndNotify(nullptr);
    for (int i = 0; i < kQueries; ++i) queries.push_back({x(random), y(random)});
    view = std::make_unique<ViewState>(host);
    view->SetDocument(&doc);
    MustBeTrue(view->SetEditContext(page));
    view->SetZoom(view->GetScreenPixelsPerTwip(), nullptr, 0);
    radius = view->GetPickUnit() * AssistantSettings().connect_tolerance_b;
  }
  ~SnapPage() { view.reset(); }
};

SnapPage& Page() {
  static SnapPage page;
  return page;
}

// The peer: SnapSearchObjects' walk with every graph scanned whole.
void ScanObjects(SnapSearch& s, const ViewState& view) {
  SnapSearchGrid(s, view);
  CViewObjIter it(view, 0);
  while (CPicShape* frame = it.Next()) {
    for (CPicObj* child = frame->GetFirstChild(); child != nullptr; child = child->GetNext()) {
      if (child->HasCenter()) SnapSearchTryPoint(s, kSnapCentre, child->GetStoredCenter());
      if (auto* shape = dynamic_cast<CPicShape*>(child))
        SnapScanGraph(s, shape->GetGeometry(), &shape->GetShapeMatrix());
    }
    SnapScanGraph(s, frame->GetGeometry(), &frame->GetShapeMatrix());
  }
}

int64_t g_found[2];

template <bool kGrid>
void BM_Snap(benchmark::State& state) {
  SnapPage& p = Page();
  int64_t found = 0, calls = 0;
  for (auto _ : state) {
    for (const Point32& q : p.queries) {
      SnapSearch s;
      SnapSearchInit(s, q, p.radius);
      if (kGrid) {
        SnapSearchObjects(s, *p.view);
      } else {
        ScanObjects(s, *p.view);
      }
      found += s.best_priority < kSnapNothing ? 1 : 0;
      ++calls;
    }
  }
  g_found[kGrid ? 0 : 1] = found;
  state.counters["edges"] = static_cast<double>(p.edges);
  state.counters["objects"] = kObjects;
  state.counters["radius"] = p.radius;
  state.counters["found_share"] = static_cast<double>(found) / static_cast<double>(calls);
}
BENCHMARK(BM_Snap<true>)->Name("SnapSearchObjects")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Snap<false>)->Name("ScanEverything")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  const double ours = reporter.Ms("SnapSearchObjects") / kQueries;
  const double peer = reporter.Ms("ScanEverything") / kQueries;
  std::printf("\n| search | ms per call | against 2 ms | peer ratio |\n|---|---|---|---|\n");
  std::printf("| SnapSearchObjects (grid lookup) | %.4f | %.3f | %.4f |\n", ours, ours / kBudgetMs,
              peer > 0 ? ours / peer : 0.0);
  std::printf("| every graph scanned whole | %.4f | %.3f | 1 |\n", peer, peer / kBudgetMs);
  return 0;
}
