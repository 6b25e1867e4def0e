#include "model/edit_transaction.h"

CEditTransaction::CEditTransaction(CDocumentPage& page, uint32_t kind) : page_(page) {
  page.BeginEdit(kind);
}

CEditTransaction::~CEditTransaction() {
  if (!open_) return;
  try {
    page_.RevertEdit();
  } catch (...) {
    // A refresh that fails while the edit is taken back leaves the model
    // reverted; an exception may already be passing, so none leaves here.
  }
}

int32_t CEditTransaction::Commit() {
  open_ = false;
  return page_.EndEdit();
}
