// CDocumentPage: one page or symbol of a document. It owns the drawing tree
// (a CPicPage root), the page's undo and redo history and the edit
// transaction through which every change of the model passes; its contents
// can be written to the page's stream of the document file and read back on
// demand, and a lock count says who needs them in memory.
//
// Every editing command and gesture runs its work through one scope,
// CEditTransaction (model/edit_transaction.h):
//
//   page->LockUpdate();
//   CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
//     ... change objects (each saves its state before it changes) ...
//   });  // a failure reverts exactly what the transaction recorded
//   page->UnlockUpdate();
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "model/edit_step.h"
#include "model/extent.h"
#include "platform/core/archive.h"

class CMarlDoc;
class CPicFrame;
class CPicPage;
class CPicSymbol;

class CDocumentPage : public CObject {
 public:
  // Kinds of BeginEdit.
  static constexpr uint32_t kEditUndo = 1;      // the new step goes onto the redo list
  static constexpr uint32_t kEditRedo = 2;      // onto the undo list, without trimming
  static constexpr uint32_t kEditNoUndo = 3;    // changes applied and refreshed, not recorded
  static constexpr uint32_t kEditUser = 0x100;  // a user edit; a nonzero low byte coalesces
  static constexpr uint32_t kEditTyping = 0x101;
  static constexpr uint32_t kEditCaret = 0x102;
  static constexpr uint32_t kEditLetterSpacing = 0x103;
  static constexpr uint32_t kEditNudge = 0x104;

  CDocumentPage();
  // Frees the contents and forgets every instance still listed.
  ~CDocumentPage() override;
  CDocumentPage(const CDocumentPage&) = delete;
  CDocumentPage& operator=(const CDocumentPage&) = delete;

  // The page record: version, stream name, name, symbol id, attribute.
  void Serialize(CArchive& ar) override;
  // The page-contents record of the page's stream: u8 form, the root.
  void SerializeContents(CArchive& ar);
  // After a root is read: layer links are checked and the extent computed.
  static void FinishRead(CPicPage* root);

  // ---- creation and naming ----
  // Numbers and names the page (or symbol) from the document's counters,
  // makes a new root and holds the first lock.
  void InitForDocument(CMarlDoc* doc, bool isSymbol);
  void SetName(std::string_view name);
  // The document's list of this page is refreshed (sorted, for symbols).
  void RefreshList();
  // Takes a root read elsewhere (a carried symbol) as the page's contents.
  void AdoptRoot(CPicPage* root);
  bool IsSymbol() const { return m_symbolId != 0; }
  // Unlinks the page from the document's page or symbol list.
  void RemoveFromDocument();
  // Deletes the page from its document (and the page object itself).
  void DeletePage();
  // Registers a symbol instance (keeping this symbol in memory meanwhile).
  void AddInstance(CPicSymbol* inst);
  void RemoveInstance(CPicSymbol* inst);
  CPicSymbol* GetFirstInstance() const { return m_instances; }
  // True while the contents are being read from the page's stream (an
  // instance inside them that refers to this symbol finds it missing).
  bool IsLoading() const { return m_loading; }

  // ---- locking and swapping ----
  // One more user of the contents; reads them back when swapped out.
  void LockUpdate();
  // One user less; without the document's hold flag, releases the page.
  void UnlockUpdate();
  // Unused (lock count 0, no open transaction): writes the page when dirty,
  // then frees the contents.
  void Release();
  // Drops the history and the tree.
  void FreeContents();
  // Trims the undo list with n and empties the redo list.
  void TrimUndo(int32_t n);
  // Keeps the newest n steps of a list (the heavy-step rule for n > 16000).
  static void TrimStepList(CEditStep*& list, int32_t n);

  // ---- edit transaction ----
  // Opens a level (throws CMemoryException when the contents are not in memory).
  void BeginEdit(uint32_t kind);
  // Closes a level; returns the depth that remains (0 when none was open).
  // The outermost level tidies the changed objects up first; when that fails
  // the edit is reverted as by AbortEdit and the exception passes on.
  int32_t EndEdit();
  // In the catch block of a failed transaction: an inner level passes the
  // exception on to the enclosing one; the outermost reverts what was
  // recorded and reports e (when given) in a message box.
  void AbortEdit(const std::exception* e);
  // Closes a level without committing: an inner level only counts down (the
  // enclosing level reverts), the outermost reverts what was recorded; only a
  // failing refresh of views throws. Nothing when no level is open.
  void RevertEdit();
  // The message box of a failed edit: memory failures as such, anything else
  // (also no exception at all) as an unknown error.
  static void ReportEditFailure(const std::exception* e);
  void Undo();
  void Redo();

  CPicPage* GetRoot() const { return m_root; }
  // The first key frame of the root's first layer; null when there is none.
  CPicFrame* GetFirstFrame() const;
  int32_t GetLockCount() const { return m_lockCount; }
  int32_t GetEditDepth() const { return m_editDepth; }
  int32_t GetEditCount() const { return m_editCount; }
  int32_t GetStepSerial() const { return m_stepSerial; }
  CEditStep* GetUndoList() const { return m_undoList; }
  CEditStep* GetRedoList() const { return m_redoList; }

  CDocumentPage* m_next = nullptr;  // in the document's page or symbol list
  CDocumentPage* m_prev = nullptr;
  std::string m_streamName;  // "Page %i" or "Symbol %i"; never changes
  std::string m_name;        // shown to the user
  int32_t m_cachedIndex = -1;
  CMarlDoc* m_document = nullptr;
  uint8_t m_dirty = 0;      // contents changed since last written to the stream
  uint8_t m_attribute = 0;  // one stored byte of page state
  uint32_t m_symbolId = 0;  // 0 for a page

  VM_DECLARE_SERIAL(CDocumentPage)

 private:
  friend class CMarlDoc;
  // Reads the contents; 0 on success, else the message that reports the failure.
  uint32_t TryLoad();
  // Form 0 of the page contents: one shape of an old single-frame page,
  // rebuilt into a root with a "Normal" layer (and "Background" when needed).
  static CPicPage* ReadSingleFramePage(CArchive& ar);
  // Every instance is told of a change of this symbol, inside a kind-3
  // transaction of the page that holds it; detach also unregisters them.
  void NotifyInstances(const CExtent& change, const Rect32& newExtent, bool detach);
  // Undo and Redo: reverts the newest step of list under a transaction of kind.
  void RevertHistoryStep(CEditStep*& list, uint32_t kind);

  CPicPage* m_root = nullptr;  // null while the contents are swapped out
  int32_t m_lockCount = 0;
  CPicSymbol* m_instances = nullptr;
  int32_t m_editDepth = 0;
  CEditStep* m_undoList = nullptr;
  CEditStep* m_redoList = nullptr;
  int32_t m_editCount = 0;
  int32_t m_stepSerial = 1;
  bool m_loading = false;
};
