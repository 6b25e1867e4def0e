#include "model/pic_symbol.h"

#include "model/document_page.h"

VM_IMPLEMENT_DYNAMIC(CPicSymbol, CPicObj)

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
