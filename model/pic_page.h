// CPicPage: the root of a page's or symbol's drawing tree. Its children are
// the layers; it knows the document page that owns it and the page length.
#pragma once

#include <cstdint>

#include "model/pic_obj.h"

class CDocumentPage;
class CPicLayer;

class CPicPage : public CPicObj {
 public:
  CPicPage() = default;

  // Base record, u8 version, u16 nextLayerNumber.
  void Serialize(CArchive& ar) override;

  // Every layer but the guide layers.
  void Draw(CRenderContext& rc) override;
  void EnumShapes(CExportCollector& collector) override;
  // Recomputes the page length from the layers.
  void UpdateExtent() override;
  void OnChildAdded(CPicObj* child) override;
  void OnChildRemoved(CPicObj* child) override;

  // A new current drawing layer at the front, named "Layer %i" with the next
  // layer number, with one key frame as long as the page.
  CPicLayer* AddLayer();
  CPicLayer* GetFirstLayer() const;

  int32_t m_frameCount = 1;                 // page length in frames, at least 1
  int32_t m_nextLayerNumber = 1;            // number for the next new layer's name
  CDocumentPage* m_documentPage = nullptr;  // owner; null while detached

  VM_DECLARE_SERIAL(CPicPage)
};
