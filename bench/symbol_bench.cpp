// One edit of a symbol shown by 2,000 instances on 30 pages: the edit itself
// and the change it passes to every instance (one transaction per page that
// holds some), against the same edit on a plain shape in a page (the peer),
// in the same run.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench_check.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/pic_frame.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"

namespace {

constexpr int kPages = 30;
constexpr int kInstances = 2000;

// A filled and outlined square of 200 twips.
CPicShape* Square() {
  auto* shape = new CPicShape;
  PointList path;
  Must(PathFromRect(path, {0, 200, 0, 200}));
  FillStyle fill;
  fill.colour = 0xFF0000FF;
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 20;
  EdgeGraph& g = shape->GetGeometry();
  // The rectangle's path has its inside on the edges' second side.
  Must(EdgeGraphAddPath(g, path, static_cast<StyleIndex>(Must(EdgeGraphAddLineStyle(g, line))), 0,
                        static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(g, fill)))));
  return shape;
}

Matrix2x3 Nudge(int32_t dx) {
  Matrix2x3 m;
  m.tx = dx;
  return m;
}

struct Document {
  CMarlDoc doc;
  CDocumentPage* symbol = nullptr;
  CPicShape* drawing = nullptr;  // the symbol's square
  CDocumentPage* plain_page = nullptr;
  CPicShape* plain = nullptr;  // a square on a page of its own

  Document() {
    symbol = new CDocumentPage;
    symbol->InitForDocument(&doc, true);
    doc.AppendPage(symbol, true);
    drawing = Square();
    symbol->GetFirstFrame()->AddChild(drawing);
    for (int p = 0; p < kPages; ++p) {
      auto* page = new CDocumentPage;
      page->InitForDocument(&doc, false);
      doc.AppendPage(page, false);
      for (int i = p; i < kInstances; i += kPages) {
        auto* inst = new CPicSymbol;
        inst->m_matrix.tx = 300 * (i % 40);
        inst->m_matrix.ty = 300 * (i / 40);
        page->GetFirstFrame()->AddChild(inst);
        inst->AttachToSymbol(symbol);
      }
      page->GetRoot()->RecalcAndNotify(nullptr);
    }
    plain_page = new CDocumentPage;
    plain_page->InitForDocument(&doc, false);
    doc.AppendPage(plain_page, false);
    plain = Square();
    plain_page->GetFirstFrame()->AddChild(plain);
    symbol->GetRoot()->RecalcAndNotify(nullptr);
    plain_page->GetRoot()->RecalcAndNotify(nullptr);
  }
};

void Edit(CDocumentPage* page, CPicShape* shape, int32_t& dx) {
  dx = -dx;
  MustBeTrue(
      CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { shape->Transform(Nudge(dx)); }));
}

// Outermost transactions run on the pages so far.
int64_t PageEdits(const CMarlDoc& doc) {
  int64_t n = 0;
  for (CDocumentPage* p = doc.m_pages; p != nullptr; p = p->m_next) n += p->GetEditCount();
  return n;
}

void BM_EditSymbolWith2000Instances(benchmark::State& state) {
  Document d;
  int32_t dx = 20;
  const int64_t before = PageEdits(d.doc);
  for (auto _ : state) Edit(d.symbol, d.drawing, dx);
  state.counters["instances"] = kInstances;
  // One transaction per page that holds instances: the change reached them.
  state.counters["page_edits_per_edit"] =
      static_cast<double>(PageEdits(d.doc) - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_EditSymbolWith2000Instances)->Unit(benchmark::kMicrosecond);

void BM_EditPlainShapePeer(benchmark::State& state) {
  Document d;
  int32_t dx = 20;
  for (auto _ : state) Edit(d.plain_page, d.plain, dx);
}
BENCHMARK(BM_EditPlainShapePeer)->Unit(benchmark::kMicrosecond);

}  // namespace
