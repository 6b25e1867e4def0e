#include "model/document.h"

#include <memory>

#include "model/app_services.h"
#include "model/document_page.h"
#include "model/edit_step.h"
#include "model/pic_obj.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"

VM_IMPLEMENT_DYNAMIC(CMarlDoc, CObject)

namespace {

constexpr size_t kPageArchiveBuffer = 4096;

void DeleteList(CDocumentPage*& head) {
  while (CDocumentPage* page = head) {
    head = page->m_next;
    page->m_next = nullptr;
    page->m_prev = nullptr;
    page->m_document = nullptr;
    delete page;
  }
}

}  // namespace

CMarlDoc::~CMarlDoc() {
  m_currentPage = nullptr;
  DeleteList(m_pages);
  DeleteList(m_symbols);
}

void CMarlDoc::AppendPage(CDocumentPage* page, bool isSymbol) {
  CDocumentPage*& head = isSymbol ? m_symbols : m_pages;
  page->m_document = this;
  page->m_next = nullptr;
  if (head == nullptr) {
    page->m_prev = nullptr;
    head = page;
    return;
  }
  CDocumentPage* last = head;
  while (last->m_next != nullptr) last = last->m_next;
  last->m_next = page;
  page->m_prev = last;
}

void CMarlDoc::LoadPage(CDocumentPage* page) {
  page->FreeContents();
  if (!m_rootStorage.IsValid()) {
    throw CFileException(CFileException::fileNotFound, 0, page->m_streamName);
  }
  std::unique_ptr<CFile> stream = m_rootStorage.OpenStream(page->m_streamName);
  CArchive ar(stream.get(), CArchive::load, kPageArchiveBuffer);
  ar.m_pDocument = this;
  ar.m_bForceFlat = false;
  CPicObj::ReleaseLoadChain(false);
  CWaitCursorScope wait;
  try {
    page->SerializeContents(ar);
    page->m_dirty = 0;
    ar.Close();
    stream->Close();
  } catch (...) {
    ar.Abort();
    stream->Abort();
    page->FreeContents();
    CPicObj::ReleaseLoadChain(true);
    throw;
  }
}

void CMarlDoc::StorePage(CDocumentPage* page) {
  if (!m_rootStorage.IsValid()) {
    throw CFileException(CFileException::genericException, 0, page->m_streamName);
  }
  std::unique_ptr<CFile> stream = m_rootStorage.CreateStream(page->m_streamName);
  CArchive ar(stream.get(), CArchive::store, kPageArchiveBuffer);
  ar.m_pDocument = this;
  ar.m_bForceFlat = false;
  try {
    page->SerializeContents(ar);
    ar.Close();
    stream->Close();
  } catch (...) {
    ar.Abort();
    stream->Abort();
    throw;
  }
  // Only a write into the document's own file makes the page clean.
  if (m_rememberStorage) page->m_dirty = 0;
}

void CMarlDoc::FlushServerUpdate() {
  if (!m_serverItemsNeedRefresh) return;
  UpdateAllItems();
  m_serverItemsNeedRefresh = false;
}

void RestartRefreshTimer() {
  CEditGlobals& g = EditGlobals();
  CAppServices& app = AppServices();
  if (g.refreshTimer != 0) {
    app.KillTimer(g.refreshTimer);
    g.refreshTimer = 0;
  }
  g.refreshTimer = app.SetTimer(kRefreshTimerId, kRefreshTimerDelay);
  if (g.refreshTimer == 0) FlushServerUpdates();
}

void FlushServerUpdates() {
  CEditGlobals& g = EditGlobals();
  CAppServices& app = AppServices();
  {
    CWaitCursorScope wait;
    for (CMarlDoc* doc : app.GetDocuments()) doc->FlushServerUpdate();
  }
  if (g.refreshTimer != 0) {
    app.KillTimer(g.refreshTimer);
    g.refreshTimer = 0;
  }
}

void CheckEditState() {
  if (EditGlobals().openStep == nullptr) FlushServerUpdates();
}
