#include "model/edit_step.h"

namespace {
CEditGlobals g_edit;
}

CEditGlobals& EditGlobals() {
  return g_edit;
}

void ResetEditGlobals() {
  g_edit = CEditGlobals{};
}

void CEditStep::Revert() {
  if (g_edit.openStep != nullptr && m_heavy != 0) g_edit.openStep->m_heavy = 1;
  RevertObjectRecords(m_items);
  for (CEditItem* item = m_items; item != nullptr; item = item->m_next) {
    if (item->AsObjectRecord() == nullptr) item->Restore();
  }
}

void CEditStep::DeleteItems() {
  while (CEditItem* item = m_items) {
    m_items = item->m_next;
    delete item;
  }
}
