#include "model/pic_frame.h"

#include <algorithm>

#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/export_collector.h"
#include "model/geometry_result.h"
#include "model/motion_path.h"
#include "model/pic_layer.h"
#include "model/symbol_dialogs.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicFrame, CPicShape, 1)

namespace {

constexpr uint8_t kFrameRecordVersion = 4;
constexpr int16_t kChangeFrames = 2;

int32_t ClampEasing(int32_t e) {
  return std::clamp(e, CPicFrame::kEasingMin, CPicFrame::kEasingMax);
}

// x + h (y - x), the shorter way round: a turn of more than 180 degrees
// goes the other way.
Fixed AngleLerp(Fixed h, Fixed x, Fixed y) {
  Fixed d = WrapSub(y, x);
  if (d > kAngle180) d = WrapSub(d, kAngle360);
  if (d < -kAngle180) d = WrapAdd(d, kAngle360);
  return WrapAdd(x, FixedMul(h, d));
}

Fixed Lerp(Fixed h, Fixed a, Fixed b) {
  return WrapAdd(a, FixedMul(h, WrapSub(b, a)));
}

// m = m x f (f applies after m).
void Then(Matrix2x3& m, const Matrix2x3& f) {
  MatrixConcat(m, f, m);
}

Matrix2x3 Translation(int32_t x, int32_t y) {
  Matrix2x3 t;
  MatrixSetTranslation(t, x, y);
  return t;
}

Matrix2x3 Rotation(Fixed angle) {
  Matrix2x3 r;
  MatrixSetRotation(r, angle);
  return r;
}

// Scales and angle of a matrix.
struct Decomposed {
  Fixed sx, sy, angle;
};

Decomposed Decompose(const Matrix2x3& m) {
  return {VectorLength({m.a, m.b}), VectorLength({m.c, m.d}), FixedAtan2(m.b, m.a)};
}

}  // namespace

// ---- stored form ---------------------------------------------------------------------

void CPicFrame::Serialize(CArchive& ar) {
  CPicShape::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kFrameRecordVersion << static_cast<uint16_t>(m_length) << static_cast<uint16_t>(m_tween)
       << static_cast<int16_t>(m_easing);
    m_action.Serialize(ar);
    return;
  }
  uint8_t version;
  uint16_t length;
  ar >> version;
  if (version > kFrameRecordVersion) throw CArchiveException(CArchiveException::genericException);
  ar >> length;
  m_length = length;
  if (version <= 2) {
    uint8_t kind;
    ar >> kind;
    m_tween = kind;
  } else {
    uint16_t tween;
    ar >> tween;
    m_tween = tween;
  }
  if (version >= 2) {
    int16_t easing;
    ar >> easing;
    m_easing = ClampEasing(easing);
  }
  if (version >= 4) m_action.Serialize(ar);
  m_tweenCount = -1;
}

// ---- links and time --------------------------------------------------------------------

CPicLayer* CPicFrame::GetLayer() const {
  return DynamicDowncast<CPicLayer>(m_parent);
}

CPicFrame* CPicFrame::GetNextKeyFrame() const {
  return DynamicDowncast<CPicFrame>(m_next);
}

CPicFrame* CPicFrame::GetPrevKeyFrame() const {
  return DynamicDowncast<CPicFrame>(m_prev);
}

int32_t CPicFrame::GetStartFrame() {
  CPicLayer* layer = GetLayer();
  if (layer == nullptr) return 0;
  layer->TotalLength();
  return static_cast<int32_t>(m_start);
}

int32_t CPicFrame::MapFrame(int32_t frame) {
  int32_t parentFrame = m_parent != nullptr ? m_parent->MapFrame(frame) : frame;
  return WrapSub(parentFrame, GetStartFrame());
}

int32_t CPicFrame::NextChange(int32_t f) {
  int64_t start = GetStartFrame();
  int64_t last = start + m_length - 1;
  if (f < start) return static_cast<int32_t>(start);
  if (f > last) return kFrameNever;
  if (GetTweenKind() != kTweenNone) return f + 1;
  int64_t e = start + CPicShape::NextChange(static_cast<int32_t>(f - start));
  return static_cast<int32_t>(e > last ? last + 1 : e);
}

// ---- record ------------------------------------------------------------------------------

void CPicFrame::SaveFrameRecord() {
  if (!m_saved.TakeForOpenStep()) return;
  EditGlobals().openStep->AddItem(new CPicFrameEditItem(this));
}

void CPicFrame::SetLength(int32_t n) {
  if (n == m_length) return;
  Invalidate(1);
  ClearTweenCache();
  CPicLayer* layer = GetLayer();
  if (layer != nullptr) layer->InvalidateFrames();
  SaveFrameRecord();
  m_length = n;
  // After the store: the layer's starts were just read for the old bounds.
  if (layer != nullptr) layer->MarkLengthStale();
}

void CPicFrame::SetFrameMode(int32_t easing) {
  easing = ClampEasing(easing);
  if (easing == m_easing) return;
  SaveFrameRecord();
  ClearTweenCache();
  m_easing = easing;
}

void CPicFrame::SetFrameStyle(int32_t tween) {
  if (tween == m_tween) return;
  Invalidate(1);
  AddChangeBits(kChangeFrames);
  SaveFrameRecord();
  m_tween = tween;
}

void CPicFrame::SetAction(const CFrameAction& action) {
  if (action == m_action) return;
  SaveFrameRecord();
  Invalidate(1);
  AddChangeBits(kChangeFrames);
  m_action = action;
}

void CPicFrame::EditAction(CPropertiesHost& view) {
  CDocumentPage* page = GetDocumentPage();
  CMarlDoc* doc = page != nullptr ? page->m_document : nullptr;
  CActionDialogModel model(CActionDialogModel::kFrameAction, m_action,
                           PageNames(doc != nullptr ? doc->m_pages : nullptr));
  if (view.RunActionDialog(model) != kDialogOk || page == nullptr) return;
  CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { SetAction(model.Stored()); });
}

CPicFrameEditItem::CPicFrameEditItem(CPicFrame* frame)
    : m_frame(frame),
      m_length(frame->m_length),
      m_easing(frame->m_easing),
      m_tween(frame->m_tween),
      m_action(frame->m_action) {}

void CPicFrameEditItem::Restore() {
  CPicFrame* frame = m_frame;
  frame->SaveFrameRecord();
  frame->SetLength(m_length);
  frame->SetFrameMode(m_easing);
  frame->SetFrameStyle(m_tween);
  frame->SetAction(m_action);
}

// ---- tween cache ---------------------------------------------------------------------------

void CPicFrame::Invalidate(int32_t kind) {
  ClearTweenCache();
  if (CPicFrame* prev = GetPrevKeyFrame()) prev->ClearTweenCache();
  // Placed or changing in place (an undo may reorder key frames without
  // taking them out of their layer): the layer's starts are recomputed.
  if (kind == 1 || kind == 3) {
    if (CPicLayer* layer = GetLayer()) layer->MarkLengthStale();
  }
  CPicShape::Invalidate(kind);
}

void CPicFrame::AddCachedRects() {
  for (int32_t i = 1; i < m_tweenCount; ++i) m_change.AddRectSpan(m_tweenCache[i].bounds, i, i);
}

void CPicFrame::ClearTweenCache() {
  if (GetTweenKind() != kTweenNone || m_tweenCount >= 0) {
    CPicObj::Invalidate(2);
    if (m_tweenCount >= 0) {
      AddCachedRects();
      m_tweenCache.clear();
      m_tweenCache.shrink_to_fit();
      m_tweenCount = -1;
    }
  }
  m_tweenBroken = 0;
}

const TweenEntry* CPicFrame::GetTweenEntry(int32_t offset) const {
  if (offset < 0 || offset >= m_tweenCount) return nullptr;
  return &m_tweenCache[static_cast<size_t>(offset)];
}

void CPicFrame::ComputeTween() {
  if (GetTweenKind() == kTweenNone || m_tweenCount != -1) return;
  m_tweenCount = 0;
  m_tweenCache.clear();
  CPicFrame* next = GetNextKeyFrame();
  CPicObj* first = m_firstChild;
  CPicObj* target = next != nullptr ? next->m_firstChild : nullptr;
  if (first == nullptr || target == nullptr) {
    m_tweenBroken = 1;
    return;
  }
  Point32 startCentre, endCentre;
  first->GetCenter(startCentre);
  target->GetCenter(endCentre);

  // The motion path, in graph units.
  Point32 from, to;
  PointShift(startCentre, ShiftLeft(8), from);
  PointShift(endCentre, ShiftLeft(8), to);
  CMotionPath path;
  path.Build(GuideGeometry(), from, to);

  int32_t length = std::max(m_length, 0);
  m_tweenCache.resize(static_cast<size_t>(length));
  m_tweenCount = length;
  Fixed b = FixedDiv(m_easing, 100);
  bool orient = (m_tween & kTweenOrient) != 0;
  bool scale = (m_tween & kTweenScale) != 0;
  bool rotate = (m_tween & kTweenRotate) != 0;
  Fixed startDir = 0, endDir = 0;
  if (orient) {
    startDir = path.StartDirection();
    endDir = path.EndDirection();
  }
  Matrix2x3 m0, m1;
  bool interpolate = (scale || rotate) && first->GetMatrix(m0) != 0 && target->GetMatrix(m1) != 0;
  Decomposed d0{}, d1{};
  Matrix2x3 toLocal;  // the start matrix undone, the start centre at the origin
  if (interpolate) {
    d0 = Decompose(m0);
    d1 = Decompose(m1);
    MatrixInvert(m0, toLocal);
    Point32 k;
    MatrixTransformPoint(toLocal, startCentre, k);
    Then(toLocal, Translation(WrapNeg(k.x), WrapNeg(k.y)));
  }
  for (int32_t i = 0; i < length; ++i) {
    Fixed t = FixedDiv(i, length);
    Fixed h = WrapAdd(FixedMul(b, FixedMul(t, t)), FixedMul(WrapSub(kFixedOne, b), t));
    Point32 onPath;
    Fixed dir;
    path.PointAt(FixedMul(h, path.GetLength()), onPath, dir);
    Point32 p;
    PointShift(onPath, ShiftRight(8), p);
    Matrix2x3 m;
    if (interpolate) {
      m = toLocal;
      Matrix2x3 s;
      if (scale) {
        MatrixSetScale(s, Lerp(h, d0.sx, d1.sx), Lerp(h, d0.sy, d1.sy));
      } else {
        MatrixSetScale(s, d0.sx, d0.sy);
      }
      Then(m, s);
      Fixed angle;
      if (rotate) {
        angle =
            orient
                ? WrapAdd(AngleLerp(h, WrapSub(d0.angle, startDir), WrapSub(d1.angle, endDir)), dir)
                : AngleLerp(h, d0.angle, d1.angle);
      } else {
        angle = orient ? WrapAdd(dir, WrapSub(d0.angle, startDir)) : d0.angle;
      }
      Then(m, Rotation(angle));
      Then(m, Translation(p.x, p.y));
    } else if (orient) {
      m = Translation(WrapNeg(startCentre.x), WrapNeg(startCentre.y));
      Then(m, Rotation(WrapSub(dir, startDir)));
      Then(m, Translation(p.x, p.y));
    } else {
      m = Translation(WrapSub(p.x, startCentre.x), WrapSub(p.y, startCentre.y));
    }
    TweenEntry& entry = m_tweenCache[static_cast<size_t>(i)];
    entry.matrix = m;
    CExtentQuery q;
    q.windowFirst = i;
    q.windowLast = i;
    first->CollectExtent(q);
    MatrixTransformRect(m, q.rect, entry.bounds);
  }
  AddCachedRects();
}

EdgeGraph* CPicFrame::GuideGeometry() {
  CPicLayer* layer = GetLayer();
  if (layer == nullptr || layer->GetLinkState() != CPicLayer::kLinkGuided) return nullptr;
  CPicLayer* guide = layer->GetLinked();
  if (guide == nullptr || guide->GetLinkState() != CPicLayer::kLinkGuide) return nullptr;
  CPicFrame* key = guide->FrameAt(GetStartFrame());
  if (key == nullptr) return nullptr;
  CheckGeometry(EdgeGraphUpdate(key->GetGeometry()));  // the guide is read as it is drawn
  return &key->GetGeometry();
}

bool CPicFrame::IsTweening(int32_t offset) const {
  return GetTweenKind() == kTweenMotion && offset != 0 && m_tweenBroken == 0;
}

// ---- virtual operations ----------------------------------------------------------------------

bool CPicFrame::LocalWindow(const CExtentQuery& q, int32_t start, int32_t& first,
                            int32_t& last) const {
  int64_t a = std::max<int64_t>(int64_t{q.windowFirst} - start, 0);
  int64_t b = std::min<int64_t>(int64_t{q.windowLast} - start, int64_t{m_length} - 1);
  if (a > b) return false;
  first = static_cast<int32_t>(a);
  last = static_cast<int32_t>(b);
  return true;
}

void CPicFrame::CollectExtent(CExtentQuery& q) {
  int32_t start = GetStartFrame();
  int32_t first, last;
  if (!LocalWindow(q, start, first, last)) return;
  CExtentQuery local;
  local.full = q.full;
  local.windowFirst = first;
  local.windowLast = last;
  int32_t kind = GetTweenKind();
  if (kind == kTweenNone || ((kind == 1 || kind == 2) && m_tweenBroken != 0)) {
    // Static content: its extent over the whole window at once.
    CPicShape::CollectExtent(local);
  } else if (kind == 1 || kind == 2) {
    if (first == 0) {
      CExtentQuery atStart;
      atStart.full = q.full;
      atStart.windowFirst = 0;
      atStart.windowLast = 0;
      CPicShape::CollectExtent(atStart);
      local.AddRectSpan(atStart.rect, 0, 0);
    }
    for (int32_t i = std::max(first, 1); i <= last && i < m_tweenCount; ++i) {
      local.AddRectSpan(m_tweenCache[static_cast<size_t>(i)].bounds, i, i);
    }
  }
  if (local.rect.IsEmpty()) return;
  q.AddRectSpan(local.rect, WrapAdd(local.foundFirst, start), WrapAdd(local.foundLast, start));
}

void CPicFrame::Draw(CRenderContext& rc) {
  int32_t frame = rc.m_currentFrame;
  int32_t offset = WrapSub(frame, GetStartFrame());
  rc.m_currentFrame = offset;
  if (IsTweening(offset)) ComputeTween();
  if (IsTweening(offset)) {
    if (m_firstChild != nullptr && offset > 0 && offset < m_tweenCount) {
      CRenderState state;
      rc.SaveState(state);
      rc.SetMatrix(m_tweenCache[static_cast<size_t>(offset)].matrix);
      m_firstChild->Draw(rc);
      rc.RestoreState(state);
    }
  } else {
    DrawContent(rc);
  }
  rc.m_currentFrame = frame;
}

void CPicFrame::EnumShapes(CExportCollector& collector) {
  CSavedTransform saved;
  saved.Save(collector);
  int32_t offset = WrapSub(collector.m_frame, GetStartFrame());
  collector.m_frame = offset;
  if (IsTweening(offset)) ComputeTween();
  if (IsTweening(offset)) {
    if (m_firstChild != nullptr && offset > 0 && offset < m_tweenCount) {
      ApplyMatrix(collector, m_tweenCache[static_cast<size_t>(offset)].matrix);
      m_firstChild->EnumShapes(collector);
    }
  } else {
    CPicShape::EnumShapes(collector);
  }
  saved.Restore(collector);
}

int32_t CPicFrame::HitTest(const CHitTest& probe) {
  CHitTest local = probe;
  local.frame = WrapSub(probe.frame, GetStartFrame());
  int32_t offset = local.frame;
  if (IsTweening(offset)) ComputeTween();
  if (!IsTweening(offset)) return CPicShape::HitTest(local);
  if (m_firstChild == nullptr || offset <= 0 || offset >= m_tweenCount) return 0;
  local.MapToObject(m_tweenCache[static_cast<size_t>(offset)].matrix);
  return m_firstChild->HitTest(local);
}

int32_t CPicFrame::ClassifyInRect(const PointList& lasso, int32_t frame) {
  return CPicShape::ClassifyInRect(lasso, WrapSub(frame, GetStartFrame()));
}

void CPicFrame::UpdateExtent() {
  CPicShape::UpdateExtent();
  ComputeTween();
  if (m_change.empty == 0) {
    int32_t first = std::max(m_change.firstFrame, 0);
    int32_t last = std::min(m_change.lastFrame, m_length - 1);
    if (first > last) {
      m_change.Reset();
    } else {
      m_change.firstFrame = first;
      m_change.lastFrame = last;
    }
  }
  if (!m_change.IsEmpty()) {
    Rect32 bounds;
    GetBounds(bounds);
    uint8_t empty = bounds.IsEmpty() ? 1 : 0;
    if (empty != m_empty) {
      m_empty = empty;
      m_change.changeBits = static_cast<int16_t>(m_change.changeBits | kChangeFrames);
      m_change.AddFrameSpan(0, 0);
    }
  }
  if (m_change.empty == 0) {
    int32_t start = GetStartFrame();
    m_change.firstFrame = WrapAdd(m_change.firstFrame, start);
    m_change.lastFrame = WrapAdd(m_change.lastFrame, start);
  }
}

void CPicFrame::PrepareGeometryChange() {
  CPicShape::PrepareGeometryChange();
  if (CPicLayer* layer = GetLayer()) {
    int32_t start = GetStartFrame();
    layer->ClearLinkedTweenCaches(start, WrapAdd(start, m_length - 1));
  }
}

// ---- copying ---------------------------------------------------------------------------------

void CPicFrame::CopyContentTo(int32_t f, CPicShape* target) {
  int32_t offset = WrapSub(f, GetStartFrame());
  int32_t kind = GetTweenKind();
  CMemFile file(4096);
  CPicObj* copy = nullptr;
  if (kind == kTweenNone) {
    {
      CArchive out(&file, CArchive::store, 4096);
      CPicShape::Serialize(out);
      out.Close();
    }
    file.SeekToBegin();
    CArchive in(&file, CArchive::load, 4096);
    auto* shape = new CPicShape;
    shape->Serialize(in);
    target->AddChild(shape, kAddLast);
    shape->BreakApart(0);
    copy = shape;
  } else if (kind == kTweenMotion && m_firstChild != nullptr) {
    {
      CArchive out(&file, CArchive::store, 4096);
      out.WriteObject(m_firstChild);
      out.Close();
    }
    file.SeekToBegin();
    CArchive in(&file, CArchive::load, 4096);
    copy = DynamicDowncast<CPicObj>(in.ReadObject(RUNTIME_CLASS(CPicObj)));
    if (copy == nullptr) return;
    target->AddChild(copy, kAddLast);
    if (IsTweening(offset)) ComputeTween();
    if (offset > 0 && offset < m_tweenCount)
      copy->Transform(m_tweenCache[static_cast<size_t>(offset)].matrix);
  }
}
