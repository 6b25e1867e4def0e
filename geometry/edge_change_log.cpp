// The change log: the edges an edit removed or altered, kept for undo.
//
// An edge carries two generations. With the direction flag clear (an edit's
// own log) edges are told by their birth stamp: linking stamps the birth with
// the current generation, and saving an older edge records its birth stamp and
// then stamps the birth too, so that after the edit every edge it made or
// altered carries the edit's generation. Replaying deletes those and re-creates
// the saved ones with their old stamps. A log with the direction flag set (the
// redo log recorded while an undo replays) does the same with the change stamp.
#include "geometry/edge_change_log.h"

#include <new>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/pool.h"

namespace {

uint16_t& LogStamp(const EdgeChangeLog& log, Edge& e) {
  return log.direction ? e.change : e.birth;
}

}  // namespace

EdgeChangeLog::~EdgeChangeLog() {
  EdgeChangeLogFree(*this);
}

void EdgeChangeLogAttach(EdgeChangeLog& log, EdgeGraph& graph) {
  log.graph = &graph;
  log.generation = graph.generation;
  graph.change_log = &log;
}

void EdgeChangeLogFree(EdgeChangeLog& log) {
  for (EdgeChangeLogBlock* b = log.first; b;) {
    EdgeChangeLogBlock* next = b->next;
    b->~EdgeChangeLogBlock();
    EdgeGraphChangeLogPool().Free(b);
    b = next;
  }
  log.first = nullptr;
  if (log.graph && log.graph->change_log == &log) log.graph->change_log = nullptr;
}

int EdgeChangeLogSave(EdgeChangeLog& log, Edge& edge) {
  uint16_t& stamp = LogStamp(log, edge);
  if (stamp == log.generation) return 0;  // made or saved in this edit
  EdgeChangeLogBlock* block = log.first;
  if (!block || block->count == kChangeLogBlockEdges) {
    void* memory = EdgeGraphChangeLogPool().Alloc();
    if (!memory) return -1;
    block = new (memory) EdgeChangeLogBlock;
    block->next = log.first;
    log.first = block;
  }
  SavedEdge& saved = block->edges[block->count++];
  saved.curve = edge.curve;
  saved.fill_a = edge.a.fill;
  saved.fill_b = edge.b.fill;
  saved.line = edge.line;
  saved.stamp = stamp;
  saved.unsplit = (edge.flags & kEdgeUnsplit) != 0;
  stamp = log.generation;
  return 0;
}

int EdgeChangeLogReplay(EdgeChangeLog& log) {
  EdgeGraph* graph = log.graph;
  if (!graph) return 0;
  // Begin the change first: its callback attaches the log that records this
  // replay, which then files what it saves under the replayed generation.
  EdgeGraphBeginChange(*graph);
  if (graph->change_log && graph->change_log != &log)
    graph->change_log->generation = log.generation;

  std::vector<Edge*> doomed;
  EdgeGraphForEachEdge(*graph, nullptr, [&](Edge* e) {
    if (LogStamp(log, *e) == log.generation) doomed.push_back(e);
  });
  for (Edge* e : doomed)
    if (int r = EdgeGraphDeleteEdge(*graph, e); r < 0) return r;

  for (EdgeChangeLogBlock* b = log.first; b; b = b->next)
    for (int i = 0; i < b->count; ++i) {
      const SavedEdge& saved = b->edges[i];
      Edge* e = nullptr;
      if (int r = EdgeGraphNewEdge(saved.curve, &e); r < 0) return r;
      e->a.fill = saved.fill_a;
      e->b.fill = saved.fill_b;
      e->line = saved.line;
      if (saved.unsplit) e->flags |= kEdgeUnsplit;
      if (int r = EdgeGraphLinkEdge(*graph, e); r < 0) {
        EdgeGraphFreeEdgeRecord(e);
        return r;
      }
      if (log.direction) {
        e->birth = log.generation;
        e->change = saved.stamp;
      } else {
        e->birth = saved.stamp;
        e->change = log.generation;
      }
    }
  return 0;
}
