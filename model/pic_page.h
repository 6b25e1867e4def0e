// CPicPage: the root of a page's or symbol's drawing tree. Its children are
// the layers; it knows the document page that owns it.
#pragma once

#include <cstdint>

#include "model/pic_obj.h"

class CDocumentPage;

class CPicPage : public CPicObj {
 public:
  CPicPage() = default;

  // Base record, u8 version, u16 nextLayerNumber.
  void Serialize(CArchive& ar) override;

  int32_t m_frameCount = 1;       // page length in frames, at least 1
  int32_t m_nextLayerNumber = 1;  // number for the next new layer's name
  CDocumentPage* m_documentPage = nullptr;  // owner; null while detached

  VM_DECLARE_SERIAL(CPicPage)
};
