#include "model/pic_page.h"

#include <algorithm>
#include <cstdio>

#include "model/app_services.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicPage, CPicObj, 1)

namespace {
constexpr int16_t kChangeLayers = 1;

// Guide layers are neither drawn nor exported by the page.
bool IsGuide(CPicObj* obj) {
  auto* layer = DynamicDowncast<CPicLayer>(obj);
  return layer != nullptr && layer->GetLinkState() == CPicLayer::kLinkGuide;
}
}  // namespace

void CPicPage::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << uint8_t{1} << static_cast<uint16_t>(m_nextLayerNumber);
  } else {
    uint8_t version;
    uint16_t next;
    ar >> version;
    if (version > 1) throw CArchiveException(CArchiveException::genericException);
    ar >> next;
    m_nextLayerNumber = next;
  }
}

void CPicPage::Draw(CRenderContext& rc) {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
    if (IsGuide(child)) continue;
    child->Draw(rc);
    if ((rc.m_flags & CRenderContext::kFlagAbortTest) != 0 && AppServices().IsUserAbort()) return;
  }
}

void CPicPage::EnumShapes(CExportCollector& collector) {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
    if (!IsGuide(child)) child->EnumShapes(collector);
  }
}

void CPicPage::UpdateExtent() {
  if (m_flags & kChildChanged) {
    int32_t count = 1;
    for (CPicObj* child = m_lastChild; child != nullptr; child = child->GetPrev()) {
      child->RecalcAndNotify(&m_change);
    }
    for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
      if (auto* layer = DynamicDowncast<CPicLayer>(child))
        count = std::max(count, layer->TotalLength());
    }
    m_frameCount = count;
    m_flags &= static_cast<uint8_t>(~kChildChanged);
  }
  m_flags &= static_cast<uint8_t>(~kOldBounds);
}

void CPicPage::OnChildAdded(CPicObj* child) {
  AddChangeBits(kChangeLayers);
  CPicObj::OnChildAdded(child);
}

void CPicPage::OnChildRemoved(CPicObj* child) {
  AddChangeBits(kChangeLayers);
  CPicObj::OnChildRemoved(child);
}

CPicLayer* CPicPage::AddLayer() {
  auto* layer = new CPicLayer;
  AddChild(layer, kAddFirst);
  char name[32];
  std::snprintf(name, sizeof name, "Layer %i", m_nextLayerNumber);
  ++m_nextLayerNumber;
  layer->SetName(name);
  layer->AddKeyFrame()->SetLength(m_frameCount);
  layer->SetType(CPicLayer::kCurrent);
  return layer;
}

CPicLayer* CPicPage::GetFirstLayer() const {
  for (CPicObj* child = m_firstChild; child != nullptr; child = child->GetNext()) {
    if (auto* layer = DynamicDowncast<CPicLayer>(child)) return layer;
  }
  return nullptr;
}
