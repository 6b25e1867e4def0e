#include "model/edit_transaction.h"

CEditTransaction::CEditTransaction(CDocumentPage& page, uint32_t kind) : m_page(page) {
  page.BeginEdit(kind);
}

CEditTransaction::~CEditTransaction() {
  if (!m_open) return;
  try {
    m_page.RevertEdit();
  } catch (...) {
    // A refresh that fails while the edit is taken back leaves the model
    // reverted; an exception may already be passing, so none leaves here.
  }
}

int32_t CEditTransaction::Commit() {
  m_open = false;
  return m_page.EndEdit();
}
