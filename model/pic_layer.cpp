#include "model/pic_layer.h"

#include <algorithm>
#include <limits>

#include "model/export_collector.h"
#include "model/pic_frame.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicLayer, CPicObj, 1)

namespace {

constexpr uint8_t kLayerRecordVersion = 2;
// Change bits: 1 the layer list changed, 2 the frames changed.
constexpr int16_t kChangeLayers = 1;
constexpr int16_t kChangeFrames = 2;

constexpr uint32_t kOutlineColors[CPicLayer::kColorCount] = {
    0xFF000000, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF00FFFF, 0xFFFF00FF,
};

CPicFrame* AsFrame(CPicObj* obj) {
  return DynamicDowncast<CPicFrame>(obj);
}

}  // namespace

// ---- stored form ----------------------------------------------------------------

void CPicLayer::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kLayerRecordVersion;
    ar.WriteString(m_name);
    ar << static_cast<uint8_t>(m_kind) << static_cast<uint8_t>(m_link);
    ar.WriteObject(m_linked);
    ar << static_cast<uint8_t>(m_colorIndex);
    return;
  }
  uint8_t version, kind, link;
  ar >> version;
  if (version > kLayerRecordVersion) throw CArchiveException(CArchiveException::genericException);
  m_name = ar.ReadString();
  ar >> kind >> link;
  CPicLayer* linked;
  ar >> linked;
  // Values a damaged file may hold become usable ones; the link itself is
  // checked once the whole page is read (RepairLinks).
  m_kind = kind <= kCurrent ? kind : kEditable;
  m_link = link <= kLinkGuided ? link : kLinkNone;
  m_linked = linked;
  if (version >= 2) {
    uint8_t color;
    ar >> color;
    m_colorIndex = color < kColorCount ? color : 0;
  }
  m_totalLength = -1;
}

void CPicLayer::RepairLinks(CPicObj* root) {
  std::vector<CPicLayer*> strays;
  for (CPicObj* child = root->GetFirstChild(); child != nullptr; child = child->GetNext()) {
    auto* layer = DynamicDowncast<CPicLayer>(child);
    if (layer == nullptr || layer->m_linked == nullptr) continue;
    CPicLayer* partner = layer->m_linked;
    if (partner != layer && partner->GetParent() == root && partner->m_linked == layer) continue;
    // Reached only through this link: not part of the page.
    if (partner->GetParent() == nullptr &&
        std::find(strays.begin(), strays.end(), partner) == strays.end()) {
      strays.push_back(partner);
    }
    layer->m_linked = nullptr;
    if (layer->m_link == kLinkGuided) layer->m_link = kLinkNone;
  }
  for (CPicLayer* stray : strays) {
    stray->m_linked = nullptr;
    delete stray;
  }
}

// ---- record -----------------------------------------------------------------------

uint32_t CPicLayer::OutlineColor(int32_t index) {
  // An index from a file may lie outside the table.
  return index >= 0 && index < kColorCount ? kOutlineColors[index] : kOutlineColors[0];
}

uint32_t CPicLayer::GetOutlineColor() const {
  return OutlineColor(m_colorIndex);
}

void CPicLayer::SaveLayerRecord() {
  if (!m_recordSaved.TakeForOpenStep()) return;
  EditGlobals().openStep->AddItem(new CPicLayerEditItem(this));
}

void CPicLayer::SetName(std::string_view name) {
  // A guided layer and its guide carry one name; the guide ends the chain,
  // and a layer that already has the name ends it too.
  for (CPicLayer* layer = this; layer != nullptr;) {
    if (layer->m_name == name) return;
    layer->AddChangeBits(kChangeLayers);
    layer->SaveLayerRecord();
    layer->m_name.assign(name);
    if (layer->m_link == kLinkGuide) return;
    layer = layer->m_linked;
  }
}

void CPicLayer::SetType(int32_t kind) {
  if (kind == m_kind) return;
  AddChangeBits(kChangeLayers);
  SaveLayerRecord();
  Invalidate(1);
  if (kind == kCurrent && m_parent != nullptr) {
    for (CPicObj* sibling = m_parent->GetFirstChild(); sibling != nullptr;
         sibling = sibling->GetNext()) {
      auto* layer = DynamicDowncast<CPicLayer>(sibling);
      if (layer != nullptr && layer != this && layer->m_kind == kCurrent) layer->SetType(kEditable);
    }
  }
  m_kind = kind;
}

void CPicLayer::SetColorIndex(int32_t index) {
  if (index == m_colorIndex) return;
  AddChangeBits(kChangeLayers);
  SaveLayerRecord();
  Invalidate(1);
  m_colorIndex = index;
}

void CPicLayer::SetLinkFields(int32_t link, CPicLayer* linked) {
  if (link == m_link && linked == m_linked) return;
  AddChangeBits(kChangeLayers);
  SaveLayerRecord();
  m_link = link;
  m_linked = linked;
}

void CPicLayer::SetLinkState(bool guide) {
  Unlink();
  SetLinkFields(guide ? kLinkGuide : kLinkNone, m_linked);
}

void CPicLayer::LinkTo(CPicLayer* guide) {
  Unlink();
  if (guide == nullptr || guide == this) return;
  guide->Unlink();
  guide->SetLinkFields(kLinkGuide, this);
  ClearAllTweenCaches();
  SetLinkFields(kLinkGuided, guide);
}

void CPicLayer::Unlink() {
  CPicLayer* partner = m_linked;
  if (partner == nullptr) return;
  partner->SaveLayerRecord();
  if (partner->m_linked == this) partner->SetLinkFields(kLinkNone, nullptr);
  partner->ClearAllTweenCaches();
  ClearAllTweenCaches();
  SetLinkFields(kLinkNone, nullptr);
}

void CPicLayer::ClearAllTweenCaches() {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
    if (CPicFrame* frame = AsFrame(child)) frame->ClearTweenCache();
  }
}

CPicLayerEditItem::CPicLayerEditItem(CPicLayer* layer)
    : m_layer(layer),
      m_name(layer->m_name),
      m_kind(layer->m_kind),
      m_link(layer->m_link),
      m_linked(layer->m_linked),
      m_colorIndex(layer->m_colorIndex) {}

void CPicLayerEditItem::Restore() {
  CPicLayer* layer = m_layer;
  layer->SaveLayerRecord();
  layer->SetName(m_name);
  if (layer->m_kind != m_kind || layer->m_colorIndex != m_colorIndex) {
    // Hidden, locked and the outline colour change what is drawn.
    layer->AddChangeBits(kChangeLayers);
    layer->Invalidate(1);
    layer->m_kind = m_kind;
    layer->m_colorIndex = m_colorIndex;
  }
  if (layer->m_link != m_link || layer->m_linked != m_linked) {
    layer->AddChangeBits(kChangeLayers);
    layer->ClearAllTweenCaches();
    layer->m_link = m_link;
    layer->m_linked = m_linked;
  }
}

// ---- time -------------------------------------------------------------------------

void CPicLayer::EnsureIndex() {
  if (m_totalLength >= 0 && m_indexFirst == m_firstChild && m_indexLast == m_lastChild) return;
  m_index.clear();
  m_indexSorted = true;
  int64_t sum = 0;
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
    CPicFrame* frame = AsFrame(child);
    if (frame == nullptr) continue;  // only key frames take time
    frame->m_start = static_cast<uint32_t>(sum);
    if (frame->m_length < 0) m_indexSorted = false;
    sum += frame->m_length;
    m_index.push_back({frame, sum});
  }
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  m_totalLength = static_cast<int32_t>(std::clamp<int64_t>(sum, 0, kMax));
  m_indexFirst = m_firstChild;
  m_indexLast = m_lastChild;
}

int32_t CPicLayer::TotalLength() {
  EnsureIndex();
  return m_totalLength;
}

CPicFrame* CPicLayer::FrameAt(int32_t f, int32_t* offset) {
  EnsureIndex();
  const FrameSlot* found = nullptr;
  if (m_indexSorted) {
    // The first key frame whose end lies after f.
    auto it =
        std::upper_bound(m_index.begin(), m_index.end(), int64_t{f},
                         [](int64_t value, const FrameSlot& slot) { return value < slot.end; });
    if (it != m_index.end()) found = &*it;
  } else {
    for (const FrameSlot& slot : m_index) {
      if (slot.end > f) {
        found = &slot;
        break;
      }
    }
  }
  if (found == nullptr) return nullptr;
  if (offset != nullptr) {
    *offset = static_cast<int32_t>(int64_t{f} - (found->end - found->frame->m_length));
  }
  return found->frame;
}

CPicFrame* CPicLayer::GetFirstFrame() const {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
    if (CPicFrame* frame = AsFrame(child)) return frame;
  }
  return nullptr;
}

CPicFrame* CPicLayer::GetLastFrame() const {
  for (CPicObj* child = m_lastChild; child != nullptr; child = child->GetPrev()) {
    if (CPicFrame* frame = AsFrame(child)) return frame;
  }
  return nullptr;
}

// ---- frames -----------------------------------------------------------------------

CPicFrame* CPicLayer::AddKeyFrame() {
  auto* frame = new CPicFrame;
  AddChild(frame, kAddLast);
  return frame;
}

void CPicLayer::InsertFrames(int32_t f, int32_t n) {
  if (CPicFrame* frame = FrameAt(f)) {
    if (n > 0) frame->SetLength(frame->m_length + n);
    return;
  }
  int64_t end = int64_t{f} + n;  // the last key frame is to end at f + n - 1
  if (CPicFrame* last = GetLastFrame()) {
    int64_t length = end - last->GetStartFrame();
    if (length > last->m_length && length <= std::numeric_limits<int32_t>::max()) {
      last->SetLength(static_cast<int32_t>(length));
    }
    return;
  }
  if (end > 0 && end <= std::numeric_limits<int32_t>::max()) {
    AddKeyFrame()->SetLength(static_cast<int32_t>(end));
  }
}

void CPicLayer::InsertKeyFrameObject(CPicFrame* frame, int32_t f) {
  if (f <= 0) {
    AddChild(frame, kAddFirst);
    return;
  }
  SplitFrameAt(f, false);
  CPicFrame* before = FrameAt(f - 1);
  if (before != nullptr) {
    AddChild(frame, kAddAfter, before);
  } else {
    AddChild(frame, kAddLast);
  }
}

int32_t CPicLayer::SplitFrameAt(int32_t f, bool add) {
  int32_t offset = 0;
  CPicFrame* frame = FrameAt(f, &offset);
  if (frame != nullptr) {
    // Frame 0 and frames before it are no place to split.
    if (offset <= 0) return 0;
    int32_t start = f - offset;
    int32_t length = frame->m_length;
    CExtentQuery q;
    q.windowFirst = f;
    q.windowLast = start + length - 1;
    frame->CollectExtent(q);
    m_change.AddQuery(q);
    auto* rest = new CPicFrame;
    rest->SetFrameStyle(frame->m_tween);
    rest->SetLength(length - offset);
    AddChild(rest, kAddAfter, frame);
    frame->SetLength(offset);
    return 1;
  }
  CPicFrame* last = GetLastFrame();
  int32_t tween = 0;
  if (last != nullptr) {
    tween = last->m_tween;
    int64_t length = int64_t{f} - last->GetStartFrame();
    if (length > last->m_length && length <= std::numeric_limits<int32_t>::max()) {
      last->SetLength(static_cast<int32_t>(length));
    }
  } else if (f > 0) {
    // No key frame yet: the first one covers the frames before f.
    AddKeyFrame()->SetLength(f);
  }
  if (add) AddKeyFrame()->SetFrameStyle(tween);
  return 1;
}

void CPicLayer::DeleteFrames(int32_t f, int32_t n) {
  while (n > 0) {
    int32_t offset = 0;
    CPicFrame* frame = FrameAt(f, &offset);
    if (frame == nullptr || offset < 0) return;
    int32_t length = frame->m_length;
    if (offset > 0) {
      int32_t cut = std::min(n, length - offset);
      frame->SetLength(length - cut);
      n -= cut;
    } else if (length <= n) {
      frame->DeleteFromParent();
      n -= length;
    } else {
      frame->SetLength(length - n);
      n = 0;
    }
  }
}

void CPicLayer::InvalidateFrames() {
  Invalidate(1);
  m_change.AddFrameSpan(0, kFrameNever);
  m_change.changeBits = static_cast<int16_t>(m_change.changeBits | kChangeFrames);
  ClearLinkedTweenCaches(0, kFrameNever);
}

void CPicLayer::ClearLinkedTweenCaches(int32_t a, int32_t b) {
  if (m_link != kLinkGuide || m_linked == nullptr) return;
  CPicLayer* guided = m_linked;
  for (CPicObj* obj = guided->FrameAt(a); obj != nullptr; obj = obj->GetNext()) {
    CPicFrame* frame = AsFrame(obj);
    if (frame == nullptr) continue;
    frame->ClearTweenCache();
    if (int64_t{frame->GetStartFrame()} + frame->m_length - 1 > b) return;
  }
}

// ---- virtual operations -------------------------------------------------------------

void CPicLayer::CollectExtent(CExtentQuery& q) {
  for (CPicObj* obj = FrameAt(q.windowFirst); obj != nullptr; obj = obj->GetNext()) {
    CPicFrame* frame = AsFrame(obj);
    if (frame == nullptr) continue;
    if (frame->GetStartFrame() > q.windowLast) return;
    frame->CollectExtent(q);
  }
}

void CPicLayer::Draw(CRenderContext& rc) {
  bool marks = (rc.m_flags & CRenderContext::kFlagExportMarks) != 0;
  if (marks) rc.BeginLayer(m_name);
  if (CPicFrame* frame = FrameAt(rc.m_currentFrame)) frame->Draw(rc);
  if (marks) rc.EndLayer();
}

void CPicLayer::EnumShapes(CExportCollector& collector) {
  if (CPicFrame* frame = FrameAt(collector.m_frame)) frame->EnumShapes(collector);
}

int32_t CPicLayer::HitTest(const CHitTest& probe) {
  CPicFrame* frame = FrameAt(probe.frame);
  return frame != nullptr ? frame->HitTest(probe) : 0;
}

int32_t CPicLayer::ClassifyInRect(const PointList& lasso, int32_t frame) {
  CPicFrame* key = FrameAt(frame);
  return key != nullptr ? key->ClassifyInRect(lasso, frame) : 1;
}

int32_t CPicLayer::NextChange(int32_t f) {
  CPicFrame* frame = FrameAt(f);
  return frame != nullptr ? frame->NextChange(f) : kFrameNever;
}

void CPicLayer::DeleteFromParent() {
  // Unlinked first: without an open step the base deletes the layer.
  Unlink();
  CPicObj::DeleteFromParent();
}

void CPicLayer::OnChildAdded(CPicObj* child) {
  // The starts are stale before anything asks for the extent.
  m_totalLength = -1;
  if (CPicFrame* before = AsFrame(child->GetPrev())) before->ClearTweenCache();
  InvalidateFrames();
  CPicObj::OnChildAdded(child);
}

void CPicLayer::OnChildRemoved(CPicObj* child) {
  InvalidateFrames();
  CPicObj::OnChildRemoved(child);
  m_totalLength = -1;
}
