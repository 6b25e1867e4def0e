// Documents in their files: opening a 40-page document of 200,000 edges up
// to its first page, saving it whole under a new name, and swapping a page of
// 10,000 objects out to its stream and back. The peer of opening and saving
// is `cp` of the same file, timed in the same run; each reports MB/s and
// the ratio to cp.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "geometry/edge_graph.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/model_classes.h"
#include "model/pic_frame.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"

namespace {

constexpr int kPages = 40;
constexpr int kEdgesPerPage = 5000;  // 200,000 in all
constexpr int kObjects = 10000;

// Short separate lines in rows, each with the page's line style.
void AddHatch(EdgeGraph& g, int count, int seed) {
  LineStyle line;
  line.colour = 0xFF000000u | static_cast<uint32_t>(seed);
  line.width = 20;
  const auto style = static_cast<StyleIndex>(EdgeGraphAddLineStyle(g, line));
  for (int i = 0; i < count; ++i) {
    const int32_t x = (i % 50) * 256 * 200, y = (i / 50) * 256 * 100;
    QuadCurve c;
    if (i % 2 == 0) {
      CurveFromLine({x, y}, {x + 256 * 150, y + 256 * 20}, c);
    } else {
      CurveSet({x, y}, {x + 256 * 75, y + 256 * 60}, {x + 256 * 150, y}, c);
    }
    Edge* e;
    EdgeGraphNewEdge(c, &e);
    e->line = style;
    EdgeGraphLinkEdge(g, e);
  }
}

struct Files {
  std::string dir, document, copy, saved;
  Files() {
    RegisterModelClasses();
    dir = std::filesystem::temp_directory_path().string() + "/docbenchXXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) std::abort();
    document = dir + "/big.vmd";
    copy = dir + "/copy.vmd";
    saved = dir + "/saved.vmd";
    CMarlDoc doc;
    doc.OnNewDocument();
    for (int p = 0; p < kPages; ++p) {
      CDocumentPage* page = doc.m_pages;
      if (p > 0) {
        page = new CDocumentPage;
        page->InitForDocument(&doc, false);
        doc.AppendPage(page, false);
      }
      AddHatch(page->GetFirstFrame()->GetGeometry(), kEdgesPerPage, p);
    }
    if (!doc.OnSaveDocument(document)) std::abort();
  }
  ~Files() { std::filesystem::remove_all(dir); }
  double MegaBytes() const {
    return static_cast<double>(std::filesystem::file_size(document)) / 1e6;
  }
  // Seconds of one `cp` of the document.
  double CopySeconds() const {
    const std::string command = "cp '" + document + "' '" + copy + "'";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::abort();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

void Report(benchmark::State& state, double seconds, double copySeconds, int iterations) {
  const Files& f = TheFiles();
  const double ours = f.MegaBytes() * iterations / seconds;
  const double cp = f.MegaBytes() * iterations / copySeconds;
  state.counters["MB_per_s"] = ours;
  state.counters["cp_MB_per_s"] = cp;
  state.counters["cp_ratio"] = cp / ours;
  state.counters["MB"] = f.MegaBytes();
}

void BM_DocumentOpenFirstPage(benchmark::State& state) {
  Files& f = TheFiles();
  double seconds = 0, copySeconds = 0;
  int n = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    CMarlDoc doc;
    if (!doc.OnOpenDocument(f.document)) std::abort();
    doc.m_pages->LockUpdate();
    benchmark::DoNotOptimize(doc.m_pages->GetRoot());
    doc.m_pages->UnlockUpdate();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    copySeconds += f.CopySeconds();
    ++n;
  }
  Report(state, seconds, copySeconds, n);
}
BENCHMARK(BM_DocumentOpenFirstPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DocumentFullSave(benchmark::State& state) {
  Files& f = TheFiles();
  CMarlDoc doc;
  if (!doc.OnOpenDocument(f.document)) std::abort();
  for (CDocumentPage* p = doc.m_pages; p != nullptr; p = p->m_next) p->LockUpdate();
  double seconds = 0, copySeconds = 0;
  int n = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    // Under a new name every page in memory is written.
    if (!doc.OnSaveDocument(f.saved + std::to_string(n % 2))) std::abort();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    copySeconds += f.CopySeconds();
    ++n;
  }
  Report(state, seconds, copySeconds, n);
}
BENCHMARK(BM_DocumentFullSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PageSwapOutAndIn(benchmark::State& state) {
  Files& f = TheFiles();
  CMarlDoc doc;
  doc.OnNewDocument();
  doc.OnSaveDocument(f.dir + "/objects.vmd");
  CDocumentPage* page = doc.m_pages;
  CPicFrame* frame = page->GetFirstFrame();
  for (int i = 0; i < kObjects; ++i) {
    auto* shape = new CPicShape;
    AddHatch(shape->GetGeometry(), 1, i);
    frame->AddChild(shape);
  }
  page->m_dirty = 1;
  doc.m_holdPages = false;
  page->UnlockUpdate();  // the lock of its creation: written to its stream and freed
  for (auto _ : state) {
    page->LockUpdate();  // read back
    page->m_dirty = 1;
    page->UnlockUpdate();  // written and freed
  }
  state.counters["objects"] = kObjects;
}
BENCHMARK(BM_PageSwapOutAndIn)->Unit(benchmark::kMillisecond);

}  // namespace
