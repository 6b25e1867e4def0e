#include "model/export_collector.h"

#include "model/pic_obj.h"

CExportCollector::~CExportCollector() {
  delete m_rootList;
}

bool CExportCollector::IsInsideSymbol(const CDocumentPage* symbol) const {
  for (const CExportCollector* c = this; c != nullptr; c = c->m_parent) {
    for (const CDocumentPage* p : c->m_symbolPages) {
      if (p == symbol) return true;
    }
  }
  return false;
}

bool CExportCollector::EnterSymbol(const CDocumentPage* symbol) {
  if (IsInsideSymbol(symbol)) return false;
  m_symbolPages.push_back(symbol);
  return true;
}

void CExportCollector::LeaveSymbol(const CDocumentPage* symbol) {
  if (!m_symbolPages.empty() && m_symbolPages.back() == symbol) m_symbolPages.pop_back();
}
