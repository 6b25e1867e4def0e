// Adding a path (twips) to an edge graph.
#include "geometry/edge_graph.h"
#include "geometry/point_list.h"

int EdgeGraphAddPath(EdgeGraph& graph, const PointList& path, StyleIndex line, StyleIndex fill_a,
                     StyleIndex fill_b) {
  PointListIter iter;
  PointListIterInit(path, iter);
  QuadCurve c;
  while (PointListIterNext(iter, c)) {
    CurveShift(c, ShiftLeft(8), c);
    Edge* e = nullptr;
    if (int r = EdgeGraphNewEdge(c, &e); r < 0) return r;
    e->line = line;
    e->a.fill = fill_a;
    e->b.fill = fill_b;
    if (int r = EdgeGraphInsertEdge(graph, e, 0, kPrecedenceLine | kPrecedenceFill); r < 0) return r;
  }
  return 0;
}
