// The change log of an edge graph: the edges an edit changed, kept for undo.
// Results follow the edge graph's convention.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

struct SavedEdge {
  QuadCurve curve;
  StyleIndex fill_a = 0;
  StyleIndex fill_b = 0;
  StyleIndex line = 0;
  uint16_t stamp = 0;    // the birth stamp (direction clear) or change stamp (set) it had
  bool unsplit = false;  // it was linked unsplit (kEdgeUnsplit)
};

constexpr int kChangeLogBlockEdges = 32;

struct EdgeChangeLogBlock {
  EdgeChangeLogBlock* next = nullptr;
  int32_t count = 0;
  SavedEdge edges[kChangeLogBlockEdges];
};

// The edge changes of one edit, kept by the shape's undo item. Replaying it
// restores the edges as they were before the edit (and records the reverse in
// the graph's active log, so the replay can be undone in turn).
struct EdgeChangeLog {
  EdgeGraph* graph = nullptr;
  EdgeChangeLogBlock* first = nullptr;
  uint16_t generation = 0;
  uint16_t direction = 0;  // 0: edges are told by birth stamp; 1: by change stamp

  EdgeChangeLog() = default;
  EdgeChangeLog(const EdgeChangeLog&) = delete;
  EdgeChangeLog& operator=(const EdgeChangeLog&) = delete;
  ~EdgeChangeLog();
};

// The log takes the graph's generation and becomes its active log.
void EdgeChangeLogAttach(EdgeChangeLog& log, EdgeGraph& graph);
// Returns the blocks to their pool (and detaches the log from its graph).
void EdgeChangeLogFree(EdgeChangeLog& log);
// Saves an edge into the log unless it was born or saved in the log's
// generation; then stamps it with that generation.
[[nodiscard]] int EdgeChangeLogSave(EdgeChangeLog& log, Edge& edge);
// Deletes the edges made or changed in the log's edit and re-creates the saved
// ones.
[[nodiscard]] int EdgeChangeLogReplay(EdgeChangeLog& log);
