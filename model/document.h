// CMarlDoc: the editor's document. It owns the page list and the symbol list
// (each a CDocumentPage), the current page, the movie (stage) rectangle, the
// grid, colour, frame-rate, view and print settings, and the deferred
// refresh of its embedded representations. Its record is the "Contents"
// stream of the document file; every page and symbol keeps its drawing tree
// in a stream of its own, read and written one at a time (LoadPage,
// StorePage).
//
// What needs the application (views and their tabs, frames, the embedded
// items) is reached through the virtual hooks, which the application's
// document overrides; the defaults do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "geometry/fixed.h"
#include "platform/core/document_base.h"
#include "platform/core/storage.h"

class CArchive;
class CDocumentPage;
class CMarlCntrItem;
class CPicFrame;

class CMarlDoc : public CDocumentBase {
 public:
  // The version the document record is written with.
  static constexpr uint8_t kRecordVersion = 16;

  CMarlDoc() = default;
  // Deletes every page and symbol.
  ~CMarlDoc() override;

  // ---- the record ----
  // The document record (reads versions 1 to 16, writes 16). Reading fails
  // with the archive's exceptions and leaves the document empty, with the
  // new-document settings.
  void Serialize(CArchive& ar) override;

  // ---- new, open, close ----
  // Deletes every page and symbol, resets the counters and the current page,
  // frees the printer blocks and forgets the storage.
  void DeleteContents() override;
  // One page numbered 1, a 10800 x 14400 stage.
  bool OnNewDocument() override;
  // An empty existing file becomes a new document saved under its name; a
  // file the import dispatcher takes is imported into a new document's first
  // key frame; anything else is read as a document file.
  bool OnOpenDocument(const std::string& path) override;
  // A null path empties the path name; otherwise addToRecent is forced off
  // while the alternative menu was in at creation.
  void SetPathName(const std::string& path, bool addToRecent = true) override;
  // A new embedded document: a 2880 x 2880 stage.
  void OnNewEmbedding();
  // Closing: unless the option is 1 (close without saving) pending updates of
  // the embedded representations are flushed first.
  void OnClose(int option);
  // The storage notification: with flag set the document's storage becomes
  // the current root storage.
  void OnStorageNotify(bool flag);

  // ---- pages and symbols ----
  // Links page after after (first when after is null), then refreshes the list.
  void InsertPage(CDocumentPage* page, CDocumentPage* after);
  void InsertSymbol(CDocumentPage* symbol, CDocumentPage* after);
  // Appends a page to the end of the page list or the symbol list.
  void AppendPage(CDocumentPage* page, bool isSymbol);
  // Marks the document modified; views rebuild their page tabs.
  void RefreshPageList();
  // Sorts the symbols by name (ignoring ASCII case; equal names keep their
  // order), marks the document modified; views rebuild their symbol tabs.
  void RefreshSymbolList();
  void SetCurrentPage(CDocumentPage* page);
  // The page or symbol whose stream has that name (ASCII case ignored).
  CDocumentPage* FindStream(const std::string& streamName) const;
  // Runs the page release step on every page (on every symbol, with the hold
  // flag cleared for the time).
  void UpdateAllPages();
  void UpdateAllSymbols();

  // ---- embedded items ----
  // Takes an item into the document's list (it keeps the item's number).
  void AddItem(CMarlCntrItem* item);
  // Takes an item out of the list and deletes it; its storage is no longer
  // saved.
  void RemoveItem(CMarlCntrItem* item);
  // The item of that number, or null.
  CMarlCntrItem* FindItem(int16_t number) const;
  const std::vector<CMarlCntrItem*>& GetItems() const { return m_items; }
  // The next item number from the document's 16-bit counter: never 0 and
  // never one in use.
  int16_t NextItemNumber();
  // The n for a new item's "Embedding n" that no item uses.
  uint32_t NextEmbeddingNumber() const;

  // ---- settings ----
  void GetMovieRect(Rect32& out) const { out = m_movieRect; }
  // Nothing when equal; else marks modified, updates the views and the
  // embedded representations at once.
  void SetMovieRect(const Rect32& r);
  // Moves p to the nearest grid line on each axis whose grid flag is set
  // (the grid's origin is the stage's corner; halfway goes away from it).
  void SnapToGrid(Point32& p) const;
  // The document is closed unless one of its views lies in a floating
  // symbol window whose parent is not frame.
  void CloseIfNoOtherFrame(const void* frame);

  // ---- pages in their streams ----
  // Reads a page's contents from its stream (the page's previous contents are
  // freed first). On failure the page is left without contents and every
  // object read is freed; the exception is passed on.
  void LoadPage(CDocumentPage* page);
  // Writes a page's contents to its stream in the document's storage (or in
  // into when given), replacing it.
  void StorePage(CDocumentPage* page, CStorage* into = nullptr);
  // Refreshes the embedded representations when they are out of date.
  void FlushServerUpdate();

  // ---- hooks ----
  // Every view whose current page is page recomputes its highlight.
  virtual void UpdatePageViews(CDocumentPage* /*page*/) {}
  // Views rebuild their symbol tabs (symbols) or page tabs.
  virtual void RebuildTabs(bool /*symbols*/) {}
  // Every view is updated.
  virtual void UpdateAllViews() {}
  // Updates all server items (the representations of the document embedded
  // in other programs).
  virtual void UpdateAllItems() {}
  // Deletes the embedded items that belong to page.
  virtual void DeleteItemsOfPage(CDocumentPage* page);
  // True while the document is in-place active in a container.
  virtual bool IsInPlaceActive() const { return false; }
  // The first view zooms to the stage (after the container set the item's place).
  virtual void ZoomFirstViewToMovieRect() {}
  // True when a view of the document lies in a floating symbol window whose
  // parent window is not frame.
  virtual bool HasViewInSymbolWindowOutside(const void* /*frame*/) const { return false; }
  // Closes the document (the class library's close).
  virtual void OnCloseDocument() {}
  // Reports a failure: the cause's own message when it has one, else the
  // string of that id (565 an import failed, 568 a file could not be read).
  virtual void ReportMessage(uint32_t /*stringId*/, const std::exception* /*cause*/ = nullptr) {}

  // ---- fields ----
  CDocumentPage* m_pages = nullptr;
  CDocumentPage* m_symbols = nullptr;
  CDocumentPage* m_currentPage = nullptr;
  int16_t m_nextPageNumber = 1;
  int16_t m_reservedCounter = 1;  // stored with the document, unchanged
  int32_t m_nextSymbolId = 1;     // stored as 16 bits
  Fixed m_gridSpacing = 360 << 16;
  uint32_t m_gridFlags = 0;  // 0x1 grid in x, 0x2 in y
  Rect32 m_movieRect{0, 2880, 0, 2880};
  uint32_t m_rulerUnits = 0;  // not stored
  uint32_t m_backgroundColor = 0xFFFFFFFF;
  uint32_t m_gridColor = 0xFFC0C0C0;
  Fixed m_frameRate = 12 << 16;
  uint8_t m_viewQuality = 1;
  uint8_t m_rulersShown = 0;
  uint8_t m_pageTabsShown = 0;
  uint8_t m_viewOptionBits = 1;
  bool m_serverItemsNeedRefresh = false;
  bool m_holdPages = true;        // keep every page in memory (cleared for a moment to purge)
  CStorage m_rootStorage;         // the storage the page streams live in
  bool m_rememberStorage = true;  // the storage is the document's own file
  uint32_t m_altMenuDoc = 0;      // created while the alternative menu was in
  int32_t m_margins[4] = {360, 360, 360, 360};  // left, right, top, bottom
  uint8_t m_centreHorizontally = 1;
  uint8_t m_centreVertically = 1;
  uint8_t m_disablePostScript = 0;
  Fixed m_printScale = 1 << 16;
  uint8_t m_printLayout = 0;
  uint8_t m_printAllFrames = 0;
  uint8_t m_labelFrames = 0;
  uint8_t m_framesAcross = 3;
  int32_t m_frameMargin = 180;
  int16_t m_nextItemNumber = 1;  // not stored; raised above the numbers read
  // The printer's device-mode and device-names blocks, kept as they are.
  std::vector<uint8_t> m_printerMode;
  std::vector<uint8_t> m_printerNames;

  VM_DECLARE_DYNAMIC(CMarlDoc)

 protected:
  void OnRootStorage(const CStorage& storage) override;
  void ReportException(const std::exception* e, bool saving) override;
  void OnSavedToNewStorage() override;

 private:
  // The settings of a new document (the constructor's values).
  void ResetSettings();
  void ReadRecord(CArchive& ar);
  void WriteRecord(CArchive& ar);
  // The embedded items (their sub-storages go into the storage being written).
  void WriteItems(CArchive& ar);
  // Version 1: drawing objects straight after the version byte.
  void ReadSingleStream(CArchive& ar);
  struct ReadState {
    std::unordered_set<const CDocumentPage*> placed;  // pages read into a list
    std::unordered_set<std::string> names;            // their stream names, lower case
  };
  // Reads object references to pages until a null one into a list.
  void ReadPageList(CArchive& ar, bool symbols, ReadState& state);
  // After reading: the counters rise above every number in use.
  void RaiseCounters();
  // The embedded items, in their stored order (owned).
  std::vector<CMarlCntrItem*> m_items;
  void DeleteItems();
};

// Writes the pages of a list as object references, then a null one; the
// pages' contents go into their streams of the storage being written: when
// it is the document's own, only dirty pages in memory are stored; else
// pages in memory are stored and swapped-out ones copied whole.
void WritePageList(CArchive& ar, CDocumentPage* first);
// Trims every page's undo and redo lists (to 32000 steps).
void TrimAllSteps(CDocumentPage* first);
// The first page of the document's page list whose name is name (compared
// case-sensitively); null when none.
CDocumentPage* FindPageByName(const CMarlDoc& doc, std::string_view name);

// The import dispatcher of the file interchange: mode 0 only answers
// whether the path's extension is one it handles; mode 1 imports the file
// into frame of page (nonzero on success; a failure throws or answers 0).
using ImportFileFunction = int (*)(const std::string& path, int mode, CDocumentPage* page,
                                   CPicFrame* frame);
// Installs the dispatcher (null: none, nothing is imported); returns the old one.
ImportFileFunction SetImportDispatcher(ImportFileFunction dispatcher);

// The deferred refresh of embedded representations after edits.
// Restarts the refresh timer (3000 ms); flushes at once when none can be set.
void RestartRefreshTimer();
// Every document refreshes its representations; the timer is stopped.
void FlushServerUpdates();
// The refresh timer's handler: flushes when no edit step is open.
void CheckEditState();
