#include "model/pic_page.h"

VM_IMPLEMENT_SERIAL(CPicPage, CPicObj, 1)

void CPicPage::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << uint8_t{1} << static_cast<uint16_t>(m_nextLayerNumber);
  } else {
    uint8_t version;
    uint16_t next;
    ar >> version >> next;
    m_nextLayerNumber = next;
  }
}
