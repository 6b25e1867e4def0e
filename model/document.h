// CMarlDoc: what the pages need of their document: the page and symbol
// lists, the numbering counters, the hold flag, the modified and refresh
// flags, the compound storage the pages are swapped to, and the page loader
// and writer. The views and the embedded items are reached through the
// virtual hooks, which the application's document overrides.
#pragma once

#include <cstdint>

#include "platform/core/object.h"
#include "platform/core/storage.h"

class CDocumentPage;

class CMarlDoc : public CObject {
 public:
  CMarlDoc() = default;
  // Deletes every page and symbol.
  ~CMarlDoc() override;
  CMarlDoc(const CMarlDoc&) = delete;
  CMarlDoc& operator=(const CMarlDoc&) = delete;

  // Appends a page to the end of the page list or the symbol list.
  void AppendPage(CDocumentPage* page, bool isSymbol);
  void SetModifiedFlag(bool modified = true) { m_modified = modified; }
  bool IsModified() const { return m_modified; }

  // Reads a page's contents from its stream (the page's previous contents are
  // freed first). On failure the page is left without contents and every
  // object read is freed; the exception is passed on.
  void LoadPage(CDocumentPage* page);
  // Writes a page's contents to its stream, replacing it.
  void StorePage(CDocumentPage* page);
  // Refreshes the embedded representations when they are out of date.
  void FlushServerUpdate();

  // ---- hooks ----
  // Every view whose current page is page recomputes its highlight.
  virtual void UpdatePageViews(CDocumentPage* /*page*/) {}
  // The symbol list (symbols) or page list changed; views refresh it.
  virtual void RefreshPageList(bool /*symbols*/) {}
  // Updates all server items (the representations of the document embedded
  // in other programs).
  virtual void UpdateAllItems() {}
  // Deletes the embedded items that belong to page.
  virtual void DeleteItemsOfPage(CDocumentPage* /*page*/) {}

  CDocumentPage* m_pages = nullptr;
  CDocumentPage* m_symbols = nullptr;
  CDocumentPage* m_currentPage = nullptr;
  int16_t m_nextPageNumber = 1;
  int16_t m_nextSymbolId = 1;
  bool m_holdPages = true;  // keep every page in memory (cleared for a moment to purge)
  bool m_modified = false;
  bool m_serverItemsNeedRefresh = false;
  CStorage m_rootStorage;         // the storage the page streams live in
  bool m_rememberStorage = true;  // the storage is the document's own file

  VM_DECLARE_DYNAMIC(CMarlDoc)
};

// The deferred refresh of embedded representations after edits.
// Restarts the refresh timer (3000 ms); flushes at once when none can be set.
void RestartRefreshTimer();
// Every document refreshes its representations; the timer is stopped.
void FlushServerUpdates();
// The refresh timer's handler: flushes when no edit step is open.
void CheckEditState();
