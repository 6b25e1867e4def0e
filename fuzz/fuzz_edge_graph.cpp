// Inserts a batch of curves into an edge graph, checking the invariants
// after each insertion, after the clean-up pass and after undoing the batch.
//
// Input: one header byte (bits 0-3: coordinate scale shift 2..11), then
// records of 13 bytes: an operation byte (bits 0-1 precedence, bit 2 straight,
// bits 3-4 line, bits 5-6 fill, bit 7 clean up after this curve) and six
// little-endian 16-bit coordinates p0, control, p2.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_check.h"

namespace {

constexpr size_t kRecord = 13;
constexpr size_t kMaxCurves = 16;

void Fail(const EdgeGraph& graph, const char* when, const EdgeGraphCheckOptions& options) {
  const auto problems = EdgeGraphCheck(graph, options);
  if (problems.empty()) return;
  std::fprintf(stderr, "edge graph invalid %s:\n", when);
  for (const auto& p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
  std::abort();
}

EdgeGraphCheckOptions Options(bool sorted, bool crossings = true) {
  EdgeGraphCheckOptions options;
  options.crossings = crossings && EdgeGraphUnsplitCount() == 0;  // the guard leaves crossings
  options.require_sorted = sorted;
  return options;
}

int16_t Read16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  EdgeGraphResetGlobals();
  // Coordinates within 2^26 units, a few hundred times the default page: the
  // 16.16 parameters of the intersection search resolve no farther.
  const int shift = std::min(2 + (data[0] & 15), 11);
  EdgeGraph graph;
  if (EdgeGraphInit(graph) < 0) return 0;
  for (int i = 1; i <= 3; ++i) {
    FillStyle f;
    f.colour = 0xFF000000u + i;
    EdgeGraphAddFillStyle(graph, f);
    LineStyle l;
    l.colour = 0xFF000000u + i;
    l.width = static_cast<int16_t>(20 * i);
    EdgeGraphAddLineStyle(graph, l);
  }
  EdgeChangeLog log;
  EdgeChangeLogAttach(log, graph);

  size_t curves = 0;
  for (size_t at = 1; at + kRecord <= size && curves < kMaxCurves; at += kRecord, ++curves) {
    const uint8_t op = data[at];
    Point32 p[3];
    for (int k = 0; k < 3; ++k)
      p[k] = {Read16(data + at + 1 + 4 * k) * (1 << shift), Read16(data + at + 3 + 4 * k) * (1 << shift)};
    QuadCurve c;
    if (op & 4)
      CurveFromLine(p[0], p[2], c);
    else
      CurveSet(p[0], p[1], p[2], c);
    Edge* e = nullptr;
    if (EdgeGraphNewEdge(c, &e) < 0) break;
    e->line = (op >> 3) & 3;
    e->a.fill = (op >> 5) & 3;
    e->b.fill = ((op >> 5) + 1) & 3;
    if (EdgeGraphInsertEdge(graph, e, 0, op & 3) < 0) break;
    // Crossings, the costly part of the check, are looked for after the
    // clean-ups and at the end.
    Fail(graph, "after an insertion", Options(false, false));
    if (op & 0x80) {
      if (EdgeGraphCleanup(graph) < 0) break;
      Fail(graph, "after a clean-up", Options(true));
    }
  }
  if (EdgeGraphCleanup(graph) == 0) Fail(graph, "after the final clean-up", Options(true));

  // Everything was made in the first change: undoing it empties the graph.
  Rect32 out;
  EdgeGraphEndChange(graph, out);
  if (EdgeChangeLogReplay(log) == 0 && graph.edge_count != 0) {
    std::fprintf(stderr, "undo left %u edges\n", graph.edge_count);
    std::abort();
  }
  return 0;
}
