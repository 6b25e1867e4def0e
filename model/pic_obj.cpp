#include "model/pic_obj.h"

#include <algorithm>

#include "model/app_services.h"
#include "model/export_collector.h"
#include "model/pic_page.h"
#include "model/pic_symbol.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicObj, CObject, 1)

// ---- weak references ----------------------------------------------------------

void CPicObjRef::Init(CPicObjRefOwner* owner, int32_t wantsChanges) {
  Release();
  m_owner = owner;
  m_wantsChanges = wantsChanges;
}

void CPicObjRef::Set(CPicObj* target) {
  Release();
  if (target == nullptr) return;
  m_target = target;
  m_next = target->m_refs;
  target->m_refs = this;
}

void CPicObjRef::Release() {
  if (m_target != nullptr) {
    for (CPicObjRef** link = &m_target->m_refs; *link != nullptr; link = &(*link)->m_next) {
      if (*link == this) {
        *link = m_next;
        break;
      }
    }
  }
  m_target = nullptr;
  m_next = nullptr;
}

// ---- construction ---------------------------------------------------------------

CPicObj::CPicObj() {
  SaveState(kInserted);
}

CPicObj::CPicObj(LoadChainEnd) {
  m_loadNext = this;
  m_loadPrev = this;
}

CPicObj::~CPicObj() {
  while (m_refs != nullptr) m_refs->Release();
  Unlink();
  while (CPicObj* child = m_lastChild) {
    delete child;
    if (m_lastChild == child) break;  // a child that was not linked back to us
  }
  TakeOffLoadChain();
}

void CPicObj::Unlink() {
  if (m_prev != nullptr) {
    m_prev->m_next = m_next;
  } else if (m_parent != nullptr && m_parent->m_firstChild == this) {
    m_parent->m_firstChild = m_next;
  }
  if (m_next != nullptr) {
    m_next->m_prev = m_prev;
  } else if (m_parent != nullptr && m_parent->m_lastChild == this) {
    m_parent->m_lastChild = m_prev;
  }
  m_parent = nullptr;
  m_next = nullptr;
  m_prev = nullptr;
}

// ---- load chain -----------------------------------------------------------------

CPicObj& CPicObj::LoadChainHead() {
  // Never destroyed: objects may still be on the chain when the process ends.
  static CPicObj* head = new CPicObj(LoadChainEnd{});
  return *head;
}

void CPicObj::PushOnLoadChain() {
  if (m_loadNext != nullptr) return;
  CPicObj& head = LoadChainHead();
  m_loadNext = head.m_loadNext;
  m_loadPrev = &head;
  head.m_loadNext->m_loadPrev = this;
  head.m_loadNext = this;
}

void CPicObj::TakeOffLoadChain() {
  if (m_loadNext == nullptr || m_loadNext == this) return;  // not on it, or the end marker
  m_loadPrev->m_loadNext = m_loadNext;
  m_loadNext->m_loadPrev = m_loadPrev;
  m_loadNext = nullptr;
  m_loadPrev = nullptr;
}

void CPicObj::ReleaseLoadChain(bool discard) {
  CPicObj& head = LoadChainHead();
  if (discard) {
    // The newest first: children are read after their parents, so each
    // object goes before the parent it may be linked to.
    while (head.m_loadNext != &head) delete head.m_loadNext;
    return;
  }
  CPicObj* obj = head.m_loadNext;
  while (obj != &head) {
    CPicObj* next = obj->m_loadNext;
    obj->m_loadNext = nullptr;
    obj->m_loadPrev = nullptr;
    obj = next;
  }
  head.m_loadNext = &head;
  head.m_loadPrev = &head;
}

CPicObj::LoadChainScope::LoadChainScope() : saved_(new CPicObj(LoadChainEnd{})) {
  CPicObj& head = LoadChainHead();
  if (head.m_loadNext == &head) return;
  saved_->m_loadNext = head.m_loadNext;
  saved_->m_loadPrev = head.m_loadPrev;
  saved_->m_loadNext->m_loadPrev = saved_;
  saved_->m_loadPrev->m_loadNext = saved_;
  head.m_loadNext = &head;
  head.m_loadPrev = &head;
}

CPicObj::LoadChainScope::~LoadChainScope() {
  ReleaseLoadChain(false);
  CPicObj& head = LoadChainHead();
  if (saved_->m_loadNext != saved_) {
    head.m_loadNext = saved_->m_loadNext;
    head.m_loadPrev = saved_->m_loadPrev;
    head.m_loadNext->m_loadPrev = &head;
    head.m_loadPrev->m_loadNext = &head;
  }
  saved_->m_loadNext = nullptr;  // an end marker is never on a chain itself
  saved_->m_loadPrev = nullptr;
  delete saved_;
}

bool CPicObj::IsLoadChainEmpty() {
  CPicObj& head = LoadChainHead();
  return head.m_loadNext == &head;
}

// ---- stored form ------------------------------------------------------------------

namespace {

constexpr uint8_t kBaseRecordVersion = 1;

// The flag bits as the base record packs them.
struct PackedFlag {
  uint8_t stored;
  uint8_t flag;
};
constexpr PackedFlag kPackedFlags[] = {
    {0x1, CPicObj::kPlainDrawing},
    {0x2, CPicObj::kSelected},
    {0x4, CPicObj::kLocked},
    {0x8, CPicObj::kBackground},
};

struct ReadingGuard {
  bool& flag;
  explicit ReadingGuard(bool& f) : flag(f) { flag = true; }
  ~ReadingGuard() { flag = false; }
};

}  // namespace

void CPicObj::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    uint8_t packed = 0;
    for (const auto& p : kPackedFlags) {
      if (m_flags & p.flag) packed |= p.stored;
    }
    ar << kBaseRecordVersion << packed;
    for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) ar << child;
    ar.WriteObject(nullptr);
    ar << m_center;
    return;
  }
  PushOnLoadChain();
  ReadingGuard guard(m_reading);
  uint8_t version, packed;
  ar >> version >> packed;
  if (version > kBaseRecordVersion) throw CArchiveException(CArchiveException::genericException);
  uint8_t flags = m_flags & static_cast<uint8_t>(~kRestoredFlags);
  for (const auto& p : kPackedFlags) {
    if (packed & p.stored) flags |= p.flag;
  }
  m_flags = flags;
  for (;;) {
    const size_t known = ar.GetLoadedCount();
    CPicObj* child;
    ar >> child;
    if (child == nullptr) break;
    // A back reference to an object still being read (this one or an
    // ancestor) or already placed would make the tree a graph.
    if (child->m_reading || child->m_parent != nullptr) {
      throw CArchiveException(CArchiveException::badIndex);
    }
    // An instance whose symbol was not found is dropped; what its record
    // made can no longer be referred to.
    if (auto* inst = DynamicDowncast<CPicSymbol>(child);
        inst != nullptr && inst->GetSymbol() == nullptr) {
      ar.ForgetLoadedFrom(known);
      delete inst;
      continue;
    }
    AddChild(child, kAddLast);
  }
  if (version != 0) ar >> m_center;
}

// ---- tree -------------------------------------------------------------------------

void CPicObj::AddChild(CPicObj* child, int mode, CPicObj* sibling) {
  if (child == nullptr || child == this) return;
  if (child->m_parent != nullptr) child->RemoveFromParent();
  if ((mode == kAddAfter || mode == kAddBefore) &&
      (sibling == nullptr || sibling->m_parent != this || sibling == child)) {
    mode = kAddLast;
  }
  CPicObj* prev = nullptr;
  CPicObj* next = nullptr;
  switch (mode) {
    case kAddFirst:
      next = m_firstChild;
      break;
    case kAddAfter:
      prev = sibling;
      next = sibling->m_next;
      break;
    case kAddBefore:
      prev = sibling->m_prev;
      next = sibling;
      break;
    default:
      prev = m_lastChild;
      break;
  }
  // Every state is saved before any link changes, so a failed save leaves
  // the tree as it was.
  child->SaveState();
  if (prev != nullptr) prev->SaveState();
  if (next != nullptr) next->SaveState();
  if (prev == nullptr || next == nullptr) SaveState();
  child->m_parent = this;
  child->m_prev = prev;
  child->m_next = next;
  if (prev != nullptr) {
    prev->m_next = child;
  } else {
    m_firstChild = child;
  }
  if (next != nullptr) {
    next->m_prev = child;
  } else {
    m_lastChild = child;
  }
  OnChildAdded(child);
}

void CPicObj::RemoveFromParent() {
  CPicObj* parent = m_parent;
  if (parent == nullptr) return;
  SaveState();
  parent->OnChildRemoved(this);
  if (m_prev != nullptr) {
    m_prev->SaveState();
  } else {
    parent->SaveState();
  }
  if (m_next != nullptr) {
    m_next->SaveState();
  } else {
    parent->SaveState();
  }
  Unlink();
}

CDocumentPage* CPicObj::GetDocumentPage() const {
  const CPicObj* root = this;
  while (root->m_parent != nullptr) root = root->m_parent;
  const auto* page = dynamic_cast<const CPicPage*>(root);
  return page != nullptr ? page->m_documentPage : nullptr;
}

CDocumentPage* CPicObj::FindDocumentPage() const {
  for (const CPicObj* obj = this; obj != nullptr; obj = obj->m_parent) {
    if (const auto* page = dynamic_cast<const CPicPage*>(obj)) return page->m_documentPage;
  }
  return nullptr;
}

void CPicObj::DeleteChildrenFromParent() {
  // From the last child to the first. Deleting a child may free it, so the
  // links are read again after each call; a child that stays (it refused to
  // leave) is stepped over.
  CPicObj* kept = nullptr;
  for (;;) {
    CPicObj* child = kept != nullptr ? kept->m_prev : m_lastChild;
    if (child == nullptr) break;
    child->DeleteFromParent();
    CPicObj* now = kept != nullptr ? kept->m_prev : m_lastChild;
    if (now == child) kept = child;
  }
}

// ---- flags and centre -------------------------------------------------------------

void CPicObj::SetSelected(bool selected) {
  if (selected && IsLocked()) return;
  if (IsSelected() == selected) return;
  SaveState();
  Invalidate(1);
  m_flags = static_cast<uint8_t>(selected ? m_flags | kSelected : m_flags & ~kSelected);
}

void CPicObj::SetAttributeFlags(bool locked, bool background) {
  bool isBackground = (m_flags & kBackground) != 0;
  if (IsLocked() == locked && isBackground == background) return;
  SaveState();
  Invalidate(1);
  uint8_t flags = m_flags & static_cast<uint8_t>(~(kLocked | kBackground));
  if (locked) flags = static_cast<uint8_t>((flags | kLocked) & ~kSelected);
  if (background) flags |= kBackground;
  m_flags = flags;
}

void CPicObj::SetPlainDrawing(bool plain) {
  if (IsPlainDrawing() == plain) return;
  SaveState();
  Invalidate(1);
  m_flags = static_cast<uint8_t>(plain ? m_flags | kPlainDrawing : m_flags & ~kPlainDrawing);
}

void CPicObj::SetCenter(const Point32* center) {
  Point32 value = center != nullptr ? *center : Point32{kCenterUnset, kCenterUnset};
  if (value == m_center) return;
  Invalidate(1);
  SaveState();
  m_center = value;
}

// ---- bounds and time ----------------------------------------------------------------

void CPicObj::GetBounds(Rect32& out) {
  CExtentQuery q;
  q.full = 1;
  CollectExtent(q);
  out = q.rect;
}

void CPicObj::GetExactBounds(Rect32& out) {
  CExtentQuery q;
  q.full = 0;
  CollectExtent(q);
  out = q.rect;
}

bool CPicObj::IsStaticBetween(int32_t a, int32_t b) {
  return NextChange(std::min(a, b)) > std::max(a, b);
}

// ---- virtual operations -------------------------------------------------------------

void CPicObj::OnDiscard() {}

void CPicObj::CollectExtent(CExtentQuery& q) {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) {
    child->CollectExtent(q);
  }
  if (q.full != 0 && HasCenter()) {
    Rect32 r;
    RectFromPoint(r, m_center);
    q.AddRect(r);
  }
}

void CPicObj::Draw(CRenderContext& rc) {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) {
    child->Draw(rc);
    if ((rc.m_flags & CRenderContext::kFlagAbortTest) != 0 && AppServices().IsUserAbort()) return;
  }
  if (IsSelected() && m_parent != nullptr && m_parent == rc.m_currentKeyFrame &&
      !IsPlainDrawing()) {
    Rect32 bounds;
    GetExactBounds(bounds);
    rc.FrameRect(bounds);
    if (HasCenter()) rc.DrawHandle(m_center, CRenderContext::kHandleCross);
  }
}

void CPicObj::EnumShapes(CExportCollector& collector) {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) {
    child->EnumShapes(collector);
  }
}

void CPicObj::Transform(const Matrix2x3& m) {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) child->Transform(m);
  if (HasCenter()) {
    SaveState();
    MatrixTransformPoint(m, m_center, m_center);
  }
}

int32_t CPicObj::BreakApart(int32_t) {
  return 0;
}

void CPicObj::GetCenter(Point32& out) {
  if (HasCenter()) {
    out = m_center;
    return;
  }
  Rect32 b;
  GetExactBounds(b);
  if (b.IsEmpty()) {
    out = Point32{0, 0};
    return;
  }
  out.x = static_cast<int32_t>((int64_t{b.xmin} + b.xmax) >> 1);
  out.y = static_cast<int32_t>((int64_t{b.ymin} + b.ymax) >> 1);
}

int32_t CPicObj::MapFrame(int32_t frame) {
  return m_parent != nullptr ? m_parent->MapFrame(frame) : frame;
}

int32_t CPicObj::NextChange(int32_t f) {
  int32_t best = kFrameNever;
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) {
    int32_t n = child->NextChange(f);
    if (int64_t{n} <= int64_t{f} + 1) return n;
    best = std::min(best, n);
  }
  return best;
}

void CPicObj::DeleteFromParent() {
  DeleteChildrenFromParent();
  NotifyRemoved();
  SaveState(kTakenOut);
  RemoveFromParent();
  Invalidate(1);
  if (EditGlobals().openStep == nullptr) delete this;
}

void CPicObj::Invalidate(int32_t kind) {
  switch (kind) {
    case 1: {
      if (m_flags & kOldBounds) return;
      Rect32 bounds;
      GetBounds(bounds);
      m_change.SetRect(bounds);
      m_flags |= kOldBounds;
      if (m_parent != nullptr) m_parent->Invalidate(2);
      m_flags |= kChildChanged;
      return;
    }
    case 2:
      if (m_flags & kChildChanged) return;
      if (IsSelected() && m_firstChild != nullptr) {
        // The frame marker of a selected group moves with its contents. The
        // descendant's change must still be collected, also when the old
        // bounds were recorded already (a group just placed).
        Invalidate(1);
        m_flags |= kChildChanged;
        return;
      }
      if (m_parent != nullptr) m_parent->Invalidate(2);
      m_flags |= kChildChanged;
      return;
    case 3:
      m_flags |= kOldBounds;
      m_change.Reset();
      if (m_parent != nullptr) m_parent->Invalidate(2);
      return;
    default:
      return;
  }
}

int32_t CPicObj::HitTest(const CHitTest& probe) {
  for (CPicObj* child = m_lastChild; child != nullptr; child = child->m_prev) {
    if (int32_t hit = child->HitTest(probe)) return hit;
  }
  return 0;
}

void CPicObj::UpdateExtent() {
  if (m_flags & kChildChanged) {
    for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) {
      child->RecalcAndNotify(&m_change);
    }
    m_flags &= static_cast<uint8_t>(~kChildChanged);
  }
  if (m_flags & kOldBounds) {
    Rect32 bounds;
    GetBounds(bounds);
    m_change.SetRect(bounds);
    m_flags &= static_cast<uint8_t>(~kOldBounds);
  }
}

int32_t CPicObj::ClassifyInRect(const PointList& lasso, int32_t frame) {
  int32_t answer = 0;
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->m_next) {
    int32_t r = child->ClassifyInRect(lasso, frame);
    if (r == 3) return 3;
    if (r == 0) continue;
    if (answer == 0) {
      answer = r;
    } else if (answer != r) {
      return 3;
    }
  }
  return answer;
}

int32_t CPicObj::GetMatrix(Matrix2x3& out) {
  MatrixSetIdentity(out);
  return 0;
}

void CPicObj::OnChildAdded(CPicObj* child) {
  child->Invalidate(3);
}

void CPicObj::OnChildRemoved(CPicObj* child) {
  child->Invalidate(1);
  child->RecalcAndNotify(&m_change);
}

// ---- change bookkeeping ------------------------------------------------------------

void CPicObj::AddChangeBits(int16_t bits) {
  if (!(m_flags & kChildChanged)) Invalidate(2);
  m_change.changeBits = static_cast<int16_t>(m_change.changeBits | bits);
}

void CPicObj::RecalcAndNotify(CExtent* into) {
  UpdateExtent();
  for (CPicObjRef* ref = m_refs; ref != nullptr;) {
    CPicObjRef* next = ref->m_next;
    if (ref->m_wantsChanges != 0 && ref->m_owner != nullptr)
      ref->m_owner->OnFramesChanged(m_change);
    ref = next;
  }
  if (into != nullptr) into->Add(m_change);
  m_change.Reset();
  m_flags &= static_cast<uint8_t>(~kSavedInStep);
}

void CPicObj::SaveState(int kind) {
  CEditStep* step = EditGlobals().openStep;
  if (step == nullptr) return;
  if (kind == kChanged && (m_flags & kSavedInStep)) return;
  Invalidate(2);
  auto* item = new CPicObjEditItem(this, kind);
  m_flags |= kSavedInStep;
  step->AddItem(item);
}

void CPicObj::NotifyRemoved() {
  for (CPicObjRef* ref = m_refs; ref != nullptr;) {
    CPicObjRef* next = ref->m_next;  // the owner usually releases its reference
    if (ref->m_owner != nullptr) ref->m_owner->OnObjectRemoved(this);
    ref = next;
  }
}

// ---- export collector services --------------------------------------------------------

void CPicObj::ApplyMatrix(CExportCollector& collector, const Matrix2x3& m) {
  MatrixConcat(m, collector.m_matrix, collector.m_matrix);
}

CExportNode* CPicObj::NewExportNode(CExportCollector& collector, CPicObj* obj) {
  return collector.NewNode(obj);
}

namespace {

CExportCollector& TopCollector(CExportCollector& collector) {
  CExportCollector* top = &collector;
  while (top->m_parent != nullptr) top = top->m_parent;
  return *top;
}

}  // namespace

void CPicObj::AddToRootList(CExportCollector& collector, CPicObj* obj, const CPicObj* source) {
  CExportCollector& top = TopCollector(collector);
  if (top.m_rootList == nullptr) top.m_rootList = new CPicObj;
  top.m_rootList->AddChild(obj, kAddLast);
  if (source != nullptr) top.m_conversions[source] = obj;
}

CPicObj* CPicObj::FindExportConversion(CExportCollector& collector, const CPicObj* source) {
  CExportCollector& top = TopCollector(collector);
  auto it = top.m_conversions.find(source);
  return it != top.m_conversions.end() ? it->second : nullptr;
}

// ---- saved state ---------------------------------------------------------------------

CPicObjEditItem::CPicObjEditItem(CPicObj* obj, int kind)
    : m_obj(obj),
      m_parent(obj->m_parent),
      m_nextLink(obj->m_next),
      m_prev(obj->m_prev),
      m_lastChild(obj->m_lastChild),
      m_firstChild(obj->m_firstChild),
      m_flagBits(obj->m_flags & CPicObj::kRestoredFlags),
      m_kind(static_cast<uint8_t>(kind)),
      m_center(obj->m_center) {}

CPicObjEditItem::~CPicObjEditItem() {
  if (m_kind == CPicObj::kTakenOut) {
    m_obj->OnDiscard();
    delete m_obj;
  }
}

void CPicObjEditItem::Restore() {
  CEditItem* next = m_next;
  m_next = nullptr;  // this record alone
  try {
    RevertObjectRecords(this);
  } catch (...) {
    m_next = next;
    throw;
  }
  m_next = next;
}

void CPicObjEditItem::Prepare() {
  CPicObj* obj = m_obj;
  int recordKind = CPicObj::kChanged;
  if (m_kind == CPicObj::kTakenOut) {
    recordKind = CPicObj::kInserted;
  } else if (m_kind == CPicObj::kInserted) {
    recordKind = CPicObj::kTakenOut;
    obj->NotifyRemoved();
  }
  obj->SaveState(recordKind);
  m_parentBefore = obj->m_parent;
  if (!m_oldest) return;
  // The object ends in the state of its oldest record: it leaves its parent
  // when that record names another one.
  if (m_parentBefore != nullptr && m_parentBefore != m_parent) {
    m_parentBefore->OnChildRemoved(obj);
  } else {
    obj->Invalidate(1);
  }
}

void CPicObjEditItem::WriteBack() {
  CPicObj* obj = m_obj;
  obj->m_flags = static_cast<uint8_t>((obj->m_flags & ~CPicObj::kRestoredFlags) | m_flagBits);
  obj->m_parent = m_parent;
  obj->m_next = m_nextLink;
  obj->m_prev = m_prev;
  obj->m_lastChild = m_lastChild;
  obj->m_firstChild = m_firstChild;
  obj->m_center = m_center;
}

void CPicObjEditItem::Finish() {
  CPicObj* obj = m_obj;
  if (m_oldest) {
    if (m_parent != m_parentBefore && m_parent != nullptr) {
      m_parent->OnChildAdded(obj);
    } else {
      obj->Invalidate(1);
    }
  }
  // A restored record no longer owns its object: the tree or the step being
  // built does. An object created inside an aborted transaction leaves the
  // tree with no step to take it, so its record keeps it and frees it.
  const CEditGlobals& g = EditGlobals();
  bool orphaned = m_kind == CPicObj::kInserted && g.openStep == nullptr && g.adoptOrphans &&
                  obj->m_parent == nullptr;
  m_kind = orphaned ? CPicObj::kTakenOut : CPicObj::kChanged;
}

// Restoring the records one at a time would let the bookkeeping of one
// object walk links that others have put back while the rest still hold
// the edited state: such a mixed tree can hold cycles. So every record first
// marks the change on the tree as it is, then all links are written, then
// every object is placed in the tree as it was.
void RevertObjectRecords(CEditItem* items) {
  struct Marks {
    CEditItem* items;
    ~Marks() {
      for (CEditItem* item = items; item != nullptr; item = item->m_next) {
        if (CPicObjEditItem* rec = item->AsObjectRecord()) rec->m_obj->m_revertItem = nullptr;
      }
    }
  } marks{items};
  for (CEditItem* item = items; item != nullptr; item = item->m_next) {
    if (CPicObjEditItem* rec = item->AsObjectRecord()) {
      rec->m_oldest = true;
      if (rec->m_obj->m_revertItem != nullptr) rec->m_obj->m_revertItem->m_oldest = false;
      rec->m_obj->m_revertItem = rec;
    }
  }
  for (CEditItem* item = items; item != nullptr; item = item->m_next) {
    if (CPicObjEditItem* rec = item->AsObjectRecord()) rec->Prepare();
  }
  for (CEditItem* item = items; item != nullptr; item = item->m_next) {
    if (CPicObjEditItem* rec = item->AsObjectRecord()) rec->WriteBack();
  }
  for (CEditItem* item = items; item != nullptr; item = item->m_next) {
    if (CPicObjEditItem* rec = item->AsObjectRecord()) rec->Finish();
  }
}
