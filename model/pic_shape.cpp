#include "model/pic_shape.h"

#include "geometry/edge_change_log.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "model/export_collector.h"
#include "model/geometry_result.h"
#include "model/shape_record.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicShape, CPicObj, 1)

namespace {
constexpr uint8_t kShapeRecordVersion = 1;
// Merging many small pieces one by one into a large drawing is slow: they are
// gathered in a batch first.
constexpr uint32_t kBatchLargePiece = 35;    // a larger piece flushes the batch first
constexpr uint32_t kBatchFull = 150;         // so does a batch of more edges
constexpr uint32_t kBatchSmallPiece = 20;    // smaller pieces start a batch
constexpr uint32_t kBatchLargeTarget = 150;  // when the drawing has more edges
constexpr int kMergeMode = kMergeLinesWin | kMergeFillsWin;
}  // namespace

// ---- construction --------------------------------------------------------------

namespace {
void GeometryChanging(EdgeGraph&, void* arg) {
  static_cast<CPicShape*>(arg)->PrepareGeometryChange();
}
}  // namespace

CPicShape::CPicShape() {
  CheckGeometry(EdgeGraphInit(m_geometry));
  m_geometry.change_callback = &GeometryChanging;
  m_geometry.change_arg = this;
}

CPicShape::~CPicShape() {
  DetachLog();
  EdgeGraphFreeAll(m_geometry);
}

// ---- stored form ------------------------------------------------------------

void CPicShape::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kShapeRecordVersion << m_matrix;
    ShapeGeometryWrite(ar, m_geometry);
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kShapeRecordVersion) throw CArchiveException(CArchiveException::genericException);
  ar >> m_matrix;
  m_boundsValid = 0;
  ShapeGeometryRead(ar, m_geometry);
}

// ---- bounds -----------------------------------------------------------------------

void CPicShape::UpdateBounds() {
  if (m_boundsValid != 0) return;
  RectSetEmpty(m_shapeBounds);
  RectSetEmpty(m_strokeBounds);
  EdgeGraphForEachEdge(m_geometry, nullptr, [&](Edge* e) {
    QuadCurve c;
    CurveShift(e->curve, ShiftRight(8), c);  // graph units to twips
    CurveTransform(c, m_matrix, c);
    Rect32 r;
    CurveGetBounds(c, r);
    RectUnion(m_shapeBounds, r, m_shapeBounds);
    if (StyleIndexOf(e->line) != 0) {
      LineStyle style;
      EdgeGraphGetLineStyle(m_geometry, e->line, style);
      RectInset(r, -(style.width / 2));
    }
    RectUnion(m_strokeBounds, r, m_strokeBounds);
  });
  // While the graph is being edited its edges may still move.
  m_boundsValid = (m_geometry.flags & kGraphChanging) ? 0 : 1;
}

void CPicShape::CollectExtent(CExtentQuery& q) {
  UpdateBounds();
  q.AddRect(q.full != 0 ? m_strokeBounds : m_shapeBounds);
  CPicObj::CollectExtent(q);
}

// ---- drawing ----------------------------------------------------------------------

void CPicShape::Draw(CRenderContext& rc) {
  if (rc.m_skipObject == this) return;
  bool marks = (rc.m_flags & CRenderContext::kFlagExportMarks) != 0;
  if (marks) rc.MarkGroup(1);
  DrawContent(rc);
  if (marks) rc.MarkGroup(0);
}

void CPicShape::DrawContent(CRenderContext& rc) {
  if (m_boundsValid == 0 || RectsOverlap(m_strokeBounds, rc.m_docClip)) {
    CRenderState state;
    rc.SaveState(state);
    rc.ConcatMatrix(m_matrix);
    // The whole shape is being redrawn, not only its changed edges.
    if (m_flags & kOldBounds) rc.m_flags &= ~CRenderContext::kFlagChangedOnly;
    if (rc.m_currentKeyFrame != nullptr) {
      if (!IsPlainDrawing()) {
        if (rc.m_currentKeyFrame == this) {
          rc.m_flags |= CRenderContext::kFlagHighlightSelected;
        } else {
          rc.m_flags &= ~CRenderContext::kFlagHighlightSelected;
        }
      } else if (IsSelected() && m_parent == rc.m_currentKeyFrame) {
        rc.m_flags |= CRenderContext::kFlagHighlightAll;
      } else {
        rc.m_flags &= ~CRenderContext::kFlagHighlightAll;
      }
    }
    DrawGeometry(rc);
    rc.RestoreState(state);
  }
  CPicObj::Draw(rc);
}

void CPicShape::EnumShapes(CExportCollector& collector) {
  if (HasEdges()) NewExportNode(collector, this);
  CPicObj::EnumShapes(collector);
}

// ---- editing ----------------------------------------------------------------------

void CPicShape::Transform(const Matrix2x3& m) {
  Invalidate(1);
  SaveGeometry();
  MatrixConcat(m_matrix, m, m_matrix);
  m_boundsValid = 0;
  CPicObj::Transform(m);
}

void CPicShape::SetShapeMatrix(const Matrix2x3& m) {
  if (m == m_matrix) return;
  Invalidate(1);
  SaveGeometry();
  m_matrix = m;
  m_boundsValid = 0;
}

int32_t CPicShape::BreakApart(int32_t arg) {
  if (IsPlainDrawing()) return 0;
  if (arg == kBreakApartQuery) return 1;
  if (m_parent == nullptr) return 0;
  // From the last child: each goes directly after this shape, so they keep
  // their order.
  while (CPicObj* child = m_lastChild) {
    m_parent->AddChild(child, kAddAfter, this);
    child->SetSelected(true);
  }
  SetPlainDrawing(true);
  SetSelected(true);
  return 1;
}

int32_t CPicShape::HitTest(const CHitTest& probe) {
  if (int32_t hit = CPicObj::HitTest(probe)) return hit;
  return HitTestGeometry(probe);
}

int32_t CPicShape::ClassifyInRect(const PointList& lasso, int32_t frame) {
  int32_t answer = CPicObj::ClassifyInRect(lasso, frame);
  if (answer == 3) return 3;
  return ClassifyGeometry(lasso, answer);
}

int32_t CPicShape::GetMatrix(Matrix2x3& out) {
  out = m_matrix;
  return 1;
}

void CPicShape::UpdateExtent() {
  CPicObj::UpdateExtent();
  // The tidy-up after an edit; outside a transaction nothing has changed. A
  // failure fails the edit, which takes the geometry back.
  if (EditGlobals().openStep != nullptr) CheckGeometry(EdgeGraphUpdate(m_geometry));
  EndGeometryChange();
}

void CPicShape::ApplyMatrix() {
  if (MatrixIsIdentity(m_matrix)) return;
  SaveGeometry();
  CheckGeometry(EdgeGraphTransform(m_geometry, m_matrix));
  CheckGeometry(EdgeGraphUpdate(m_geometry));
  MatrixSetIdentity(m_matrix);
  m_boundsValid = 0;
}

void CPicShape::CollectChildShapes() {
  struct Batch {
    EdgeGraph* graph = nullptr;
    ~Batch() { delete graph; }
  } batch;
  auto flush = [&] {
    if (batch.graph == nullptr) return;
    CheckGeometry(EdgeGraphUpdate(*batch.graph));
    CheckGeometry(EdgeGraphMerge(*batch.graph, m_geometry, kMergeMode));
    delete batch.graph;
    batch.graph = nullptr;
    CheckGeometry(EdgeGraphUpdate(m_geometry));
  };
  for (CPicObj* child = m_firstChild; child != nullptr;) {
    CPicObj* next = child->GetNext();
    auto* piece = DynamicDowncast<CPicShape>(child);
    if (piece != nullptr && piece->IsPlainDrawing()) {
      piece->ApplyMatrix();
      EdgeGraph& g = piece->m_geometry;
      CheckGeometry(EdgeGraphSetSelected(g, piece->IsSelected()));
      if (batch.graph != nullptr &&
          (g.edge_count > kBatchLargePiece || batch.graph->edge_count > kBatchFull)) {
        flush();
      }
      if (batch.graph == nullptr && g.edge_count < kBatchSmallPiece &&
          m_geometry.edge_count > kBatchLargeTarget) {
        batch.graph = new EdgeGraph;
        CheckGeometry(EdgeGraphInit(*batch.graph));
      }
      if (batch.graph == nullptr) {
        CheckGeometry(EdgeGraphMerge(g, m_geometry, kMergeMode));
        CheckGeometry(EdgeGraphUpdate(m_geometry));
      } else {
        CheckGeometry(EdgeGraphMerge(g, *batch.graph, kMergeMode));
      }
      piece->DeleteFromParent();
    }
    child = next;
  }
  flush();
}

void CPicShape::PrepareGeometryChange() {
  SaveGeometry();
  m_boundsValid = 0;
}

// ---- undo ---------------------------------------------------------------------------

void CPicShape::SaveGeometry() {
  if (EditGlobals().openStep == nullptr) {
    // Changes made outside a transaction are not recorded.
    DetachLog();
    return;
  }
  if (!m_geometrySaved.TakeForOpenStep()) return;
  auto* item = new CPicShapeEditItem(this);
  EditGlobals().openStep->AddItem(item);
  DetachLog();
  EdgeChangeLogAttach(item->m_log, m_geometry);
  // Building a redo step: the edges are told apart by their change stamps.
  item->m_log.direction = item->m_undoStep ? 1 : 0;
  m_logItem = item;
  // The update at the end of the transaction must reach this shape: it
  // closes the graph's change and detaches the log.
  Invalidate(2);
}

CPicShapeEditItem::CPicShapeEditItem(CPicShape* shape)
    : m_shape(shape),
      m_matrix(shape->m_matrix),
      m_undoStep(EditGlobals().openStep != nullptr && EditGlobals().openStep->m_kind == 1) {}

void CPicShape::DetachLog() {
  // A log keeps its graph only while attached, so that freeing it later
  // never reads a graph that has gone.
  if (m_logItem != nullptr) {
    m_logItem->m_log.graph = nullptr;
    m_logItem = nullptr;
  }
  m_geometry.change_log = nullptr;
}

CPicShapeEditItem::~CPicShapeEditItem() {
  if (m_log.graph != nullptr) m_shape->m_logItem = nullptr;  // attached: the shape lives
  EdgeChangeLogFree(m_log);
}

void CPicShapeEditItem::Restore() {
  CPicShape* shape = m_shape;
  shape->SaveGeometry();
  if (!(shape->m_matrix == m_matrix)) {
    shape->Invalidate(1);
    shape->m_matrix = m_matrix;
    shape->m_boundsValid = 0;
  }
  m_log.graph = &shape->m_geometry;
  int result = EdgeChangeLogReplay(m_log);
  m_log.graph = nullptr;
  shape->m_boundsValid = 0;
  if (result < 0) throw CMemoryException();
}

// ---- geometry -------------------------------------------------------------------------

void CPicShape::DrawGeometry(CRenderContext& rc) {
  rc.DrawEdgeGraph(m_geometry);
}

bool CPicShape::HasEdges() const {
  return m_geometry.edge_count != 0;
}

int32_t CPicShape::HitTestGeometry(const CHitTest& probe) {
  EdgeHitRecord record;
  MatrixInvert(m_matrix, record.matrix);
  record.point = probe.point;
  record.radius = probe.distance1;
  if (EdgeGraphHitTest(m_geometry, record) < 0) return 0;
  return record.edge != nullptr || record.region != nullptr ? 1 : 0;
}

int32_t CPicShape::ClassifyGeometry(const PointList& lasso, int32_t answer) {
  // Every edge in the parent's coordinates: crossing the lasso, or lying on
  // both sides of it, is partly inside.
  bool done = false;
  EdgeGraphForEachEdge(m_geometry, nullptr, [&](Edge* e) {
    if (done) return;
    QuadCurve c;
    CurveShift(e->curve, ShiftRight(8), c);
    CurveTransform(c, m_matrix, c);
    int32_t r = ClassifyEdgeAgainstShape(lasso, c);
    if (r == 3 || (answer != 0 && r != answer)) {
      answer = 3;
      done = true;
      return;
    }
    answer = r;
  });
  return answer;
}

void CPicShape::EndGeometryChange() {
  Rect32 redraw;
  EdgeGraphEndChange(m_geometry, redraw);
  DetachLog();
  m_geometrySaved = CContentRecordMark{};
  if (redraw.IsEmpty()) return;
  m_boundsValid = 0;
  Rect32 mapped;
  MatrixTransformRect(m_matrix, redraw, mapped);
  m_change.SetRect(mapped);
}
