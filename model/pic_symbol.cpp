#include "model/pic_symbol.h"

#include <algorithm>
#include <vector>

#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/export_collector.h"
#include "model/load_context.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/symbol_dialogs.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicSymbol, CPicObj, 1)
VM_IMPLEMENT_SERIAL(CPicButton, CPicSymbol, 1)

namespace {

// Floor division and modulo (n > 0): frames run down to -16000.
int64_t FloorDiv(int64_t a, int64_t n) {
  return a >= 0 ? a / n : -((-a + n - 1) / n);
}
int64_t FloorMod(int64_t a, int64_t n) {
  return a - FloorDiv(a, n) * n;
}

// The symbols being descended into, outermost first.
std::vector<const CDocumentPage*>& DescentPath() {
  static std::vector<const CDocumentPage*> path;
  return path;
}

// The render context's frame, put back when the scope ends.
struct FrameScope {
  CRenderContext& rc;
  int32_t saved = rc.m_currentFrame;
  ~FrameScope() { rc.m_currentFrame = saved; }
};

}  // namespace

// ---- descents ---------------------------------------------------------------------

CSymbolDescent::CSymbolDescent(const CPicSymbol* inst) {
  CDocumentPage* symbol = inst->GetSymbol();
  if (symbol == nullptr || symbol->GetRoot() == nullptr) return;
  auto& path = DescentPath();
  if (path.size() >= static_cast<size_t>(CPicSymbol::kMaxSymbolDepth) ||
      std::find(path.begin(), path.end(), symbol) != path.end()) {
    return;
  }
  path.push_back(symbol);
  m_entered = true;
  m_root = symbol->GetRoot();
}

CSymbolDescent::~CSymbolDescent() {
  if (m_entered) DescentPath().pop_back();
}

int CSymbolDescent::Depth() {
  return static_cast<int>(DescentPath().size());
}

// ---- registration -----------------------------------------------------------------

CPicSymbol::~CPicSymbol() {
  if (m_symbol == nullptr) return;
  try {
    m_symbol->RemoveInstance(this);
  } catch (...) {
    // Storing the symbol page failed while it was released; the instance is
    // unlinked already and the page keeps its contents.
  }
}

void CPicSymbol::AttachToSymbol(CDocumentPage* symbol) {
  m_symbolId = static_cast<int32_t>(symbol->m_symbolId);
  symbol->AddInstance(this);
  Invalidate(1);
}

void CPicSymbol::OnSymbolChanged(const CExtent& change, const Rect32& newExtent) {
  m_symbolExtent.Reset();
  m_symbolExtent.SetRect(newExtent);
  Invalidate(2);
  CExtent mapped = change;
  if (!change.rect.IsEmpty()) MatrixTransformRect(m_matrix, change.rect, mapped.rect);
  m_change.Add(mapped);
}

int32_t CPicSymbol::SymbolFrameCount() const {
  if (m_symbol == nullptr || m_symbol->GetRoot() == nullptr) return 0;
  return std::max(1, m_symbol->GetRoot()->m_frameCount);
}

int32_t CPicSymbol::LocalFrame(int32_t f) const {
  const int32_t n = SymbolFrameCount();
  if (n == 0) return 0;
  const int64_t g = int64_t{f} + m_firstFrame;
  switch (m_playMode) {
    case kLoop:
      return static_cast<int32_t>(FloorMod(g, n));
    case kPlayOnce:
      return Clamp32(std::min<int64_t>(g, n - 1));
    default:
      return m_firstFrame;
  }
}

// ---- record -----------------------------------------------------------------------

void CPicSymbol::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  SerializeInstance(ar);
}

void CPicSymbol::SerializeInstance(CArchive& ar) {
  CLoadContext* context = CLoadContext::Current();
  if (ar.IsStoring()) {
    ar << kRecordVersion << m_matrix << static_cast<uint16_t>(m_firstFrame)
       << static_cast<uint16_t>(m_playMode);
    if (context != nullptr) {
      context->WriteSymbol(ar, m_symbol);
    } else {
      ar << static_cast<uint32_t>(m_symbol != nullptr ? m_symbol->m_symbolId : m_symbolId);
    }
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kRecordVersion) throw CArchiveException(CArchiveException::genericException);
  uint16_t first, mode = kLoop;
  ar >> m_matrix >> first;
  if (version >= 2) ar >> mode;
  m_firstFrame = first;
  m_playMode = mode;
  if (context != nullptr) {
    if (CDocumentPage* symbol = context->ReadSymbol(ar)) {
      struct Unlock {
        CDocumentPage* page;
        ~Unlock() { page->UnlockUpdate(); }
      } unlock{symbol};
      AttachToSymbol(symbol);
    }
    return;
  }
  uint32_t id;
  ar >> id;
  m_symbolId = static_cast<int32_t>(id);
  auto* doc = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
  if (doc == nullptr || id == 0) return;
  for (CDocumentPage* s = doc->m_symbols; s != nullptr; s = s->m_next) {
    if (s->m_symbolId != id) continue;
    // A symbol whose own contents are being read (it contains itself), or
    // one reached through too many nested page loads, counts as missing.
    if (s->IsLoading() ||
        (s->GetRoot() == nullptr && EditGlobals().loadNesting >= CPicSymbol::kMaxSymbolDepth)) {
      return;
    }
    AttachToSymbol(s);
    return;
  }
}

void CPicButton::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  SerializeInstance(ar);
  if (ar.IsStoring()) {
    ar << kButtonRecordVersion;
    m_action.Serialize(ar);
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kButtonRecordVersion) throw CArchiveException(CArchiveException::genericException);
  if (version >= 2) {
    m_action.Serialize(ar);
    return;
  }
  // Versions 0 and 1: the action's fields without its own version byte,
  // then two bytes that are skipped.
  uint8_t type;
  ar >> type;
  m_action.type = type;
  m_action.url = ar.ReadString();
  if (version == 1) {
    m_action.target = ar.ReadString();
    m_action.page = ar.ReadString();
  }
  uint16_t frame, skipped;
  ar >> frame >> skipped;
  m_action.frame = frame;
}

// ---- drawing ----------------------------------------------------------------------

void CPicSymbol::Draw(CRenderContext& rc) {
  DrawInstance(rc, -1);
}

void CPicSymbol::DrawInstance(CRenderContext& rc, int32_t state) {
  if (rc.m_skipObject == this) return;
  if ((rc.m_flags & CRenderContext::kFlagChangedOnly) != 0 && (m_flags & kOldBounds) == 0) return;
  const bool marked = IsSelected() && m_parent != nullptr && m_parent == rc.m_currentKeyFrame;
  CRenderState state0;
  rc.SaveState(state0);
  FrameScope frame{rc};
  rc.SetMatrix(m_matrix);
  CSymbolDescent descent(this);
  if (CPicPage* root = descent.Root()) {
    const int32_t local = state >= 0 ? StateFrame(state) : LocalFrame(frame.saved);
    rc.m_currentFrame = local;
    root->Draw(rc);
    if (marked) {
      CExtentQuery q;
      q.Init();
      q.full = 0;
      q.windowFirst = q.windowLast = local;
      root->CollectExtent(q);
      if (!q.rect.IsEmpty()) rc.FrameRect(q.rect);
    }
    rc.RestoreState(state0);
    if (marked) {
      Point32 centre;
      GetCenter(centre);
      rc.DrawHandle(centre, CRenderContext::kHandleCross);
    }
    return;
  }
  // A missing symbol shows a handle at its origin.
  rc.DrawHandle(Point32{0, 0}, marked
                                   ? CRenderContext::kHandleSquare
                                   : CRenderContext::kHandleSquare | CRenderContext::kHandleWhite);
  rc.RestoreState(state0);
}

void CPicButton::Draw(CRenderContext& rc) {
  DrawInstance(rc, m_state);
}

// ---- extents ----------------------------------------------------------------------

void CPicSymbol::AddSymbolExtent(CExtentQuery& q, int32_t a, int32_t b, int32_t spanFirst,
                                 int32_t spanLast) {
  Rect32 local{0, 0, 0, 0};  // the origin of a missing symbol
  CSymbolDescent descent(this);
  if (CPicPage* root = descent.Root()) {
    CExtentQuery inner;
    inner.Init();
    inner.full = q.full;
    inner.windowFirst = a;
    inner.windowLast = b;
    root->CollectExtent(inner);
    local = inner.rect;
  }
  if (local.IsEmpty()) return;
  Rect32 r;
  MatrixTransformRect(m_matrix, local, r);
  q.AddRectSpan(r, spanFirst, spanLast);
}

void CPicSymbol::CollectExtent(CExtentQuery& q) {
  int32_t a = LocalFrame(q.windowFirst);
  int32_t b = LocalFrame(q.windowLast);
  if (m_playMode == kLoop && int64_t{b} - a != int64_t{q.windowLast} - q.windowFirst) {
    // The window wraps around the symbol's end: every frame of it.
    a = 0;
    b = SymbolFrameCount();
  }
  AddSymbolExtent(q, std::min(a, b), std::max(a, b), q.windowFirst, q.windowLast);
  CPicObj::CollectExtent(q);
}

void CPicButton::CollectExtent(CExtentQuery& q) {
  // Up, Over and Down for the visual bounds; the Up frame alone otherwise.
  const int32_t last = q.full != 0 ? StateFrame(kDown) : 0;
  AddSymbolExtent(q, 0, last, 0, kFrameNever);
  CPicObj::CollectExtent(q);
}

// ---- export -----------------------------------------------------------------------

void CPicSymbol::EnumShapes(CExportCollector& collector) {
  CSymbolDescent descent(this);
  CPicPage* root = descent.Root();
  if (root == nullptr) return;
  CSavedTransform saved;
  saved.Save(collector);
  struct Restore {
    CSavedTransform& s;
    CExportCollector& c;
    ~Restore() { s.Restore(c); }
  } restore{saved, collector};
  ApplyMatrix(collector, m_matrix);
  collector.m_frame = LocalFrame(collector.m_frame);
  root->EnumShapes(collector);
}

void CPicButton::EnumShapes(CExportCollector& collector) {
  CSavedTransform saved;
  saved.Save(collector);
  ApplyMatrix(collector, m_matrix);
  NewExportNode(collector, this);
  saved.Restore(collector);
}

// ---- transformation and breaking apart --------------------------------------------

void CPicSymbol::Transform(const Matrix2x3& m) {
  Invalidate(1);
  SaveInstanceRecord();
  MatrixConcat(m_matrix, m, m_matrix);
  CPicObj::Transform(m);
}

int32_t CPicSymbol::BreakApart(int32_t arg) {
  if (arg == kBreakApartQuery) return 1;
  CSymbolDescent descent(this);
  CPicPage* root = descent.Root();
  if (root == nullptr) return 1;
  const int32_t local = LocalFrame(arg);
  auto* shape = new CPicShape;
  if (m_parent != nullptr) m_parent->AddChild(shape, kAddAfter, this);
  for (CPicObj* l = root->GetFirstChild(); l != nullptr; l = l->GetNext()) {
    auto* layer = DynamicDowncast<CPicLayer>(l);
    if (layer == nullptr) continue;
    if (CPicFrame* key = layer->FrameAt(local)) key->CopyContentTo(local, shape);
  }
  shape->Transform(m_matrix);
  shape->BreakApart(0);
  DeleteFromParent();
  return 1;
}

// ---- centre, matrix, time ---------------------------------------------------------

void CPicSymbol::GetCenter(Point32& out) {
  if (HasCenter()) {
    out = m_center;
    return;
  }
  out = Point32{m_matrix.tx, m_matrix.ty};
}

int32_t CPicSymbol::GetMatrix(Matrix2x3& out) {
  out = m_matrix;
  return 1;
}

int32_t CPicSymbol::NextChange(int32_t f) {
  const int32_t n = SymbolFrameCount();
  if (n <= 1) return kFrameNever;
  CSymbolDescent descent(this);
  CPicPage* root = descent.Root();
  if (root == nullptr) return kFrameNever;
  const int64_t g = int64_t{f} + m_firstFrame;
  switch (m_playMode) {
    case kLoop: {
      const int64_t inner = root->NextChange(static_cast<int32_t>(FloorMod(g, n)));
      return Clamp32(std::min<int64_t>(n, inner) + n * FloorDiv(g, n) - m_firstFrame);
    }
    case kPlayOnce: {
      // The symbol's "never" stays never once shifted by the first frame.
      const int64_t r = int64_t{root->NextChange(Clamp32(g))} - m_firstFrame;
      return r >= int64_t{kFrameNever} - m_firstFrame ? kFrameNever : Clamp32(r);
    }
    default:
      return kFrameNever;
  }
}

int32_t CPicButton::NextChange(int32_t) {
  return kFrameNever;
}

// ---- hit testing and the lasso ----------------------------------------------------

int32_t CPicSymbol::HitInstance(const CHitTest& probe, int32_t state) {
  CHitTest local = probe;
  local.MapToObject(m_matrix);
  CSymbolDescent descent(this);
  if (CPicPage* root = descent.Root()) {
    local.frame = state >= 0 ? StateFrame(state) : LocalFrame(probe.frame);
    return root->HitTest(local);
  }
  const int64_t dx = local.point.x, dy = local.point.y, d = local.distance2;
  return dx * dx + dy * dy < d * d ? 1 : 0;
}

int32_t CPicSymbol::HitTest(const CHitTest& probe) {
  return HitInstance(probe, -1);
}

int32_t CPicButton::HitTest(const CHitTest& probe) {
  return HitInstance(probe, m_state);
}

int32_t CPicButton::HitTestHitArea(const CHitTest& probe) {
  return HitInstance(probe, kHit);
}

int32_t CPicSymbol::ClassifyAt(const PointList& lasso, int32_t localFrame) {
  CSymbolDescent descent(this);
  if (CPicPage* root = descent.Root()) {
    PointList mapped;
    if (PointListCopy(lasso, mapped) < 0) throw CMemoryException();
    Matrix2x3 inverse;
    MatrixInvert(m_matrix, inverse);
    PointListTransform(mapped, inverse);
    return root->ClassifyInRect(mapped, localFrame);
  }
  return ShapeContainsPoint(lasso, Point32{m_matrix.tx, m_matrix.ty}) ? kShapeInside
                                                                      : kShapeOutside;
}

int32_t CPicSymbol::ClassifyInRect(const PointList& lasso, int32_t frame) {
  return ClassifyAt(lasso, LocalFrame(frame));
}

int32_t CPicButton::ClassifyInRect(const PointList& lasso, int32_t) {
  return ClassifyAt(lasso, 0);
}

// ---- properties and undo ----------------------------------------------------------

void CPicSymbol::SaveInstanceRecord() {
  if (m_saved.TakeForOpenStep()) EditGlobals().openStep->AddItem(new CPicSymbolEditItem(this));
}

void CPicSymbol::SetFirstFrame(int32_t first) {
  if (first == m_firstFrame) return;
  Invalidate(1);
  SaveInstanceRecord();
  m_firstFrame = first;
}

void CPicSymbol::SetPlayMode(int32_t mode) {
  if (mode == m_playMode) return;
  Invalidate(1);
  SaveInstanceRecord();
  m_playMode = mode;
}

CPicSymbolEditItem::CPicSymbolEditItem(CPicSymbol* inst)
    : m_inst(inst),
      m_matrix(inst->m_matrix),
      m_firstFrame(inst->m_firstFrame),
      m_playMode(inst->m_playMode) {}

void CPicSymbolEditItem::Restore() {
  m_inst->SaveInstanceRecord();
  m_inst->Invalidate(1);
  m_inst->m_matrix = m_matrix;
  m_inst->m_firstFrame = m_firstFrame;
  m_inst->m_playMode = m_playMode;
}

void CPicButton::SetState(int32_t state) {
  if (state == m_state) return;
  Invalidate(1);
  m_state = state;
}

int32_t CPicSymbol::StateFrame(int32_t state) const {
  const int32_t n = SymbolFrameCount();
  if (n == 0) return 0;
  return std::min(state, n - 1);
}

int32_t CPicButton::ClampFrame(int32_t state) const {
  return StateFrame(state);
}

void CPicButton::SaveButtonRecord() {
  if (m_buttonSaved.TakeForOpenStep()) {
    EditGlobals().openStep->AddItem(new CPicButtonEditItem(this));
  }
}

void CPicButton::SetAction(const CFrameAction& action) {
  if (action == m_action) return;
  SaveButtonRecord();
  m_action = action;
}

void CPicButtonEditItem::Restore() {
  m_button->SaveButtonRecord();
  m_button->m_action = m_action;
}

// ---- property dialogs -------------------------------------------------------------

void CPicSymbol::RunEditResult(int result, CPropertiesHost& view,
                               CPicSymbol* (*make)(const CPicSymbol&)) {
  CDocumentPage* symbol = m_symbol;
  if (symbol == nullptr) return;
  if (result == kDialogEdit) {
    view.EditSymbolInView(symbol);
    return;
  }
  if (result != kDialogEditCopy) return;
  CDocumentPage* copy = view.DuplicateSymbol(symbol);
  CDocumentPage* page = GetDocumentPage();
  if (copy == nullptr || page == nullptr) return;
  const bool done = CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    CPicSymbol* inst = make(*this);
    m_parent->AddChild(inst, kAddBefore, this);
    inst->AttachToSymbol(copy);
    DeleteFromParent();
  });
  if (done) view.EditSymbolInView(copy);
}

void CPicSymbol::EditProperties(CPropertiesHost& view) {
  if (m_symbol == nullptr) return;
  CSymbolPropertiesModel model(m_playMode, m_firstFrame, SymbolFrameCount(), !view.IsInPlace());
  const int result = view.RunSymbolProperties(model);
  if (result == kDialogOk) {
    CDocumentPage* page = GetDocumentPage();
    if (page == nullptr) return;
    CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
      if (model.FirstFrameToStore() >= 0) SetFirstFrame(model.FirstFrameToStore());
      if (model.PlayModeToStore() >= 0) SetPlayMode(model.PlayModeToStore());
    });
    return;
  }
  RunEditResult(result, view, [](const CPicSymbol& from) -> CPicSymbol* {
    auto* inst = new CPicSymbol;
    inst->m_matrix = from.m_matrix;
    inst->m_firstFrame = from.m_firstFrame;
    inst->m_playMode = from.m_playMode;
    if (from.HasCenter()) inst->SetCenter(&from.GetStoredCenter());
    return inst;
  });
}

void CPicButton::EditProperties(CPropertiesHost& view) {
  if (GetSymbol() == nullptr) return;
  CDocumentPage* page = GetDocumentPage();
  CMarlDoc* doc = page != nullptr ? page->m_document : nullptr;
  CActionDialogModel model(CActionDialogModel::kButtonProperties, m_action,
                           PageNames(doc != nullptr ? doc->m_pages : nullptr), !view.IsInPlace());
  const int result = view.RunActionDialog(model);
  if (result == kDialogOk) {
    if (page == nullptr) return;
    CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { SetAction(model.Stored()); });
    return;
  }
  RunEditResult(result, view, [](const CPicSymbol& from) -> CPicSymbol* {
    auto* button = new CPicButton;
    button->m_matrix = from.m_matrix;
    button->m_action = static_cast<const CPicButton&>(from).m_action;
    return button;
  });
}
