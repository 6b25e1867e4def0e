#include "model/document_page.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "model/app_services.h"
#include "model/document.h"
#include "model/edit_transaction.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"
#include "platform/core/exceptions.h"

VM_IMPLEMENT_SERIAL(CDocumentPage, CObject, 1)

namespace {

constexpr uint8_t kPageRecordVersion = 3;
constexpr size_t kStreamNameMax = 31;  // the stored field holds 31 bytes and a terminator
// Above this count, trimming stops before the first heavy step.
constexpr int32_t kHeavyTrimLimit = 16000;

std::string Numbered(const char* format, int number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, number);
  return buffer;
}

bool IsMemoryFailure(const std::exception* e) {
  return dynamic_cast<const CMemoryException*>(e) != nullptr ||
         dynamic_cast<const std::bad_alloc*>(e) != nullptr;
}

void DeleteStepChain(CEditStep* step) {
  while (step != nullptr) {
    CEditStep* older = step->m_link;
    delete step;
    step = older;
  }
}

// Clears the open step, and whether its base records own their objects, for
// a scope.
struct SavedEditGlobals {
  CEditGlobals& g = EditGlobals();
  CEditStep* open_step = g.openStep;
  CDocumentPage* edit_page = g.editPage;
  CLoadContext* load_context = g.loadContext;
  SavedEditGlobals() {
    g.openStep = nullptr;
    g.editPage = nullptr;
    g.loadContext = nullptr;
  }
  ~SavedEditGlobals() {
    g.openStep = open_step;
    g.editPage = edit_page;
    g.loadContext = load_context;
  }
};

}  // namespace

CDocumentPage::CDocumentPage() = default;

CDocumentPage::~CDocumentPage() {
  FreeContents();
  while (CPicSymbol* inst = m_instances) {
    m_instances = inst->m_nextInstance;
    inst->m_symbol = nullptr;
    inst->m_nextInstance = nullptr;
  }
}

// ---- stored form ----------------------------------------------------------------

void CDocumentPage::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << kPageRecordVersion;
    ar.WriteShortString(m_streamName.substr(0, kStreamNameMax));
    ar.WriteString(m_name);
    ar << m_symbolId << m_attribute;
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kPageRecordVersion) throw CArchiveException(CArchiveException::genericException);
  m_streamName = ar.ReadShortString();
  if (m_streamName.size() > kStreamNameMax) m_streamName.resize(kStreamNameMax);
  m_name = ar.ReadString();
  if (version >= 2) ar >> m_symbolId;
  if (version >= 3) ar >> m_attribute;
  m_document = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
}

void CDocumentPage::SerializeContents(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << uint8_t{1};
    ar.WriteObject(m_root);
    return;
  }
  uint8_t form;
  ar >> form;
  CPicPage* root;
  if (form != 0) {
    ar >> root;
    if (root == nullptr) throw CArchiveException(CArchiveException::badClass);
  } else {
    root = ReadSingleFramePage(ar);
  }
  root->m_documentPage = this;
  m_root = root;
  FinishRead(root);
}

void CDocumentPage::FinishRead(CPicPage* root) {
  CPicLayer::RepairLinks(root);
  root->RecalcAndNotify(nullptr);
}

CPicPage* CDocumentPage::ReadSingleFramePage(CArchive& ar) {
  CPicShape* old;
  ar >> old;
  if (old == nullptr) throw CArchiveException(CArchiveException::badClass);
  // The old drawing becomes the "Normal" layer; its background objects go to
  // a "Background" layer below it.
  auto root = std::make_unique<CPicPage>();
  CPicLayer* normal = root->AddLayer();
  normal->SetName("Normal");
  CPicFrame* frame = normal->GetFirstFrame();
  if (EdgeGraphUpdate(old->GetGeometry()) < 0 ||
      EdgeGraphMerge(old->GetGeometry(), frame->GetGeometry(), kMergeLinesWin | kMergeFillsWin) <
          0) {
    throw CMemoryException();
  }
  frame->InvalidateBounds();
  CPicFrame* background = nullptr;
  while (CPicObj* child = old->GetFirstChild()) {
    child->RemoveFromParent();
    if ((child->GetFlags() & CPicObj::kBackground) == 0) {
      frame->AddChild(child, CPicObj::kAddLast);
      continue;
    }
    if (background == nullptr) {
      CPicLayer* layer = root->AddLayer();
      layer->SetName("Background");
      background = layer->GetFirstFrame();
    }
    child->SetAttributeFlags(false, false);
    background->AddChild(child, CPicObj::kAddLast);
  }
  delete old;
  return root.release();
}

// ---- creation and naming ------------------------------------------------------------

CPicFrame* CDocumentPage::GetFirstFrame() const {
  if (m_root == nullptr) return nullptr;
  CPicLayer* layer = m_root->GetFirstLayer();
  return layer != nullptr ? layer->GetFirstFrame() : nullptr;
}

void CDocumentPage::InitForDocument(CMarlDoc* doc, bool isSymbol) {
  m_document = doc;
  // A number whose stream is taken (the 16-bit counters of old files may
  // have wrapped) is passed over, so a new page never overwrites a stream.
  const char* format = isSymbol ? "Symbol %i" : "Page %i";
  for (int tries = 0; tries <= 0x10000; ++tries) {
    int number;
    if (isSymbol) {
      number = doc->m_nextSymbolId;
      doc->m_nextSymbolId = doc->m_nextSymbolId >= 0x7FFF ? 1 : doc->m_nextSymbolId + 1;
    } else {
      number = doc->m_nextPageNumber;
      doc->m_nextPageNumber =
          static_cast<int16_t>(doc->m_nextPageNumber >= 0x7FFF ? 1 : doc->m_nextPageNumber + 1);
    }
    m_streamName = Numbered(format, number);
    m_name = m_streamName;
    if (isSymbol) m_symbolId = static_cast<uint32_t>(number);
    if (doc->FindStream(m_streamName) == nullptr) break;
  }
  ++m_lockCount;
  m_cachedIndex = -1;
  {
    // A new page's tree belongs to no transaction of another page.
    SavedEditGlobals outside;
    m_root = new CPicPage;
    m_root->m_documentPage = this;
    m_root->AddLayer();
  }
  m_dirty = 1;
}

void CDocumentPage::SetName(std::string_view name) {
  m_name = name;
  m_cachedIndex = -1;
  RefreshList();
}

void CDocumentPage::RefreshList() {
  if (m_document == nullptr) return;
  if (IsSymbol()) {
    m_document->RefreshSymbolList();
  } else {
    m_document->RefreshPageList();
  }
}

void CDocumentPage::AdoptRoot(CPicPage* root) {
  root->m_documentPage = this;
  FinishRead(root);
  m_root = root;
}

void CDocumentPage::RemoveFromDocument() {
  if (m_document != nullptr) {
    if (m_document->m_pages == this) {
      m_document->m_pages = m_next;
    } else if (m_document->m_symbols == this) {
      m_document->m_symbols = m_next;
    }
  }
  if (m_prev != nullptr) m_prev->m_next = m_next;
  if (m_next != nullptr) m_next->m_prev = m_prev;
  m_next = nullptr;
  m_prev = nullptr;
}

void CDocumentPage::DeletePage() {
  CMarlDoc* doc = m_document;
  if (doc != nullptr) {
    doc->DeleteItemsOfPage(this);
    doc->SetModifiedFlag();
  }
  if (m_instances != nullptr) {
    // The instances redraw as symbol-less ones: the symbol's whole contents
    // go away and its extent becomes the point at its origin.
    CExtent change;
    if (m_root != nullptr) {
      CExtentQuery q;
      m_root->CollectExtent(q);
      change.AddQuery(q);
    }
    NotifyInstances(change, Rect32{0, 0, 0, 0}, true);
  }
  if (doc != nullptr && doc->m_rootStorage.IsValid() &&
      doc->m_rootStorage.HasElement(m_streamName)) {
    doc->m_rootStorage.DestroyElement(m_streamName);
  }
  FreeContents();
  RemoveFromDocument();
  if (doc != nullptr) {
    if (doc->m_currentPage == this) doc->m_currentPage = nullptr;
    doc->RebuildTabs(IsSymbol());
  }
  m_document = nullptr;
  delete this;
}

void CDocumentPage::AddInstance(CPicSymbol* inst) {
  LockUpdate();
  // Instances in one page stay together, so that a change of the symbol
  // opens one transaction per page.
  CPicSymbol* after = nullptr;
  if (CDocumentPage* holder = inst->GetDocumentPage()) {
    for (CPicSymbol* p = m_instances; p != nullptr; p = p->m_nextInstance) {
      if (p->GetDocumentPage() == holder) {
        after = p;
        break;
      }
    }
  }
  if (after != nullptr) {
    inst->m_nextInstance = after->m_nextInstance;
    after->m_nextInstance = inst;
  } else {
    inst->m_nextInstance = m_instances;
    m_instances = inst;
  }
  inst->m_symbol = this;
}

void CDocumentPage::RemoveInstance(CPicSymbol* inst) {
  for (CPicSymbol** link = &m_instances; *link != nullptr; link = &(*link)->m_nextInstance) {
    if (*link != inst) continue;
    *link = inst->m_nextInstance;
    inst->m_symbol = nullptr;
    inst->m_nextInstance = nullptr;
    UnlockUpdate();
    return;
  }
}

void CDocumentPage::NotifyInstances(const CExtent& change, const Rect32& newExtent, bool detach) {
  // A change reaches the symbols that show this one, and theirs in turn; a
  // symbol that (in a damaged file) contains itself would pass it on for
  // ever, so the propagation stops at a symbol it already passes through
  // and past the depth of descents through instances.
  static std::vector<const CDocumentPage*> passing;
  if (!detach && (passing.size() >= static_cast<size_t>(CPicSymbol::kMaxSymbolDepth) ||
                  std::find(passing.begin(), passing.end(), this) != passing.end())) {
    return;
  }
  passing.push_back(this);
  struct Passed {
    ~Passed() { passing.pop_back(); }
  } passed;
  // Consecutive instances in one page share one transaction of that page.
  CDocumentPage* open = nullptr;
  std::optional<CEditTransaction> edit;
  CPicSymbol* inst = m_instances;
  while (inst != nullptr) {
    CPicSymbol* next = inst->m_nextInstance;
    if (detach) {
      m_instances = next;
      inst->m_symbol = nullptr;
      inst->m_nextInstance = nullptr;
    }
    CDocumentPage* holder = inst->GetDocumentPage();
    if (holder != open) {
      if (edit) edit->Commit();
      edit.reset();
      open = holder;
      if (holder != nullptr) edit.emplace(*holder, kEditNoUndo);
    }
    inst->OnSymbolChanged(change, newExtent);
    inst = next;
  }
  if (edit) edit->Commit();
}

// ---- locking and swapping -------------------------------------------------------------

void CDocumentPage::LockUpdate() {
  ++m_lockCount;
  if (m_root != nullptr) return;
  CEditGlobals& g = EditGlobals();
  {
    // Reading a page records nothing and disturbs no open transaction.
    SavedEditGlobals outside;
    CPicObj::LoadChainScope chain;
    ++g.loadNesting;
    struct Loading {
      bool& flag;
      ~Loading() { flag = false; }
    } loading{m_loading = true};
    uint32_t failure = TryLoad();
    if (failure == kIdsPageLoadMemory) {
      if (g.pendingLoadMessage == 0) {
        AppServices().PurgeDocuments();
        if (TryLoad() != 0) g.pendingLoadMessage = kIdsPageLoadMemory;
      }
    } else if (failure != 0 && g.pendingLoadMessage == 0) {
      g.pendingLoadMessage = kIdsPageLoadFailed;
    }
    if (--g.loadNesting == 0 && g.pendingLoadMessage != 0) {
      uint32_t message = g.pendingLoadMessage;
      g.pendingLoadMessage = 0;
      AppServices().MessageBox(message, kMbOk);
    }
  }
}

uint32_t CDocumentPage::TryLoad() {
  try {
    if (m_document == nullptr) return kIdsPageLoadFailed;
    m_document->LoadPage(this);
    return 0;
  } catch (const std::exception& e) {
    return IsMemoryFailure(&e) ? kIdsPageLoadMemory : kIdsPageLoadFailed;
  } catch (...) {
    return kIdsPageLoadFailed;
  }
}

void CDocumentPage::UnlockUpdate() {
  --m_lockCount;
  if (m_document != nullptr && !m_document->m_holdPages) Release();
}

void CDocumentPage::Release() {
  // The contents of a page in use, or inside an open transaction, stay.
  if (m_lockCount != 0 || m_editDepth > 0) return;
  if (m_dirty != 0 && m_root != nullptr) {
    // Without a document there is no stream to keep the contents in.
    if (m_document == nullptr) return;
    m_document->StorePage(this);
  }
  FreeContents();
}

void CDocumentPage::FreeContents() {
  TrimUndo(0);
  delete m_root;
  m_root = nullptr;
}

void CDocumentPage::TrimUndo(int32_t n) {
  TrimStepList(m_undoList, n);
  TrimStepList(m_redoList, 0);
}

void CDocumentPage::TrimStepList(CEditStep*& list, int32_t n) {
  int32_t count = n;
  for (CEditStep** link = &list; *link != nullptr; link = &(*link)->m_link) {
    CEditStep* step = *link;
    if (count > kHeavyTrimLimit && step->m_heavy != 0) count = 0;
    if (count <= 0) {
      *link = nullptr;
      DeleteStepChain(step);
      return;
    }
    --count;
  }
}

// ---- edit transaction -------------------------------------------------------------------

void CDocumentPage::BeginEdit(uint32_t kind) {
  if (m_root == nullptr) throw CMemoryException();
  if (m_editDepth++ > 0) return;
  CEditGlobals& g = EditGlobals();
  ++m_editCount;
  g.editPage = this;
  AppServices().BeginWaitCursor();
  CPicObj::ReleaseLoadChain(false);
  if (kind == kEditNoUndo) return;
  bool coalescing = (kind & kEditUser) != 0 && (kind & 0xFF) != 0;
  if (coalescing && m_undoList != nullptr && m_redoList == nullptr && m_undoList->m_kind == kind) {
    // The run goes on in the newest step, under that step's own serial, so
    // content records taken earlier in the run are not taken again.
    g.openStep = m_undoList;
    g.stepSerial = m_undoList->m_serial;
    return;
  }
  auto* step = new CEditStep;
  step->m_serial = ++m_stepSerial;
  step->m_kind = kind;
  g.stepSerial = step->m_serial;
  g.openStep = step;
  CEditStep*& list = kind == kEditUndo ? m_redoList : m_undoList;
  step->m_link = list;
  list = step;
  if (kind & kEditUser) {
    // At most "Undo Levels" steps, the new one included (and no redo steps).
    TrimUndo(std::max(AppServices().GetUndoLevels(), 1));
  }
}

int32_t CDocumentPage::EndEdit() {
  if (m_editDepth <= 0) return 0;
  if (m_editDepth > 1) return --m_editDepth;
  // The tidy-up of the changed objects (a shape's geometry among them) is
  // part of the edit: when it fails, the edit is taken back.
  CExtent change;
  try {
    if (m_root != nullptr) m_root->RecalcAndNotify(&change);
  } catch (...) {
    RevertEdit();
    throw;
  }
  m_editDepth = 0;
  CEditGlobals& g = EditGlobals();
  // The transaction is over also when a view's refresh fails.
  struct Closing {
    CEditGlobals& g;
    ~Closing() {
      g.openStep = nullptr;
      g.editPage = nullptr;
      AppServices().EndWaitCursor();
    }
  } closing{g};
  if (m_document != nullptr) m_document->UpdatePageViews(this);
  if (m_document != nullptr) m_document->SetModifiedFlag();
  m_dirty = 1;
  g.openStep = nullptr;
  g.editPage = nullptr;
  CPicObj::ReleaseLoadChain(false);
  if (m_document != nullptr) m_document->m_serverItemsNeedRefresh = true;
  RestartRefreshTimer();
  if (!change.IsEmpty() && m_instances != nullptr) {
    Rect32 extent;
    if (m_root != nullptr) m_root->GetBounds(extent);
    NotifyInstances(change, extent, false);
  }
  return 0;
}

void CDocumentPage::AbortEdit(const std::exception* e) {
  if (m_editDepth > 1) {
    // An inner level: the enclosing level reverts.
    --m_editDepth;
    if (std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
    if (IsMemoryFailure(e)) throw CMemoryException();
    throw CException();
  }
  RevertEdit();
  if (e != nullptr) ReportEditFailure(e);
}

void CDocumentPage::ReportEditFailure(const std::exception* e) {
  AppServices().MessageBox(IsMemoryFailure(e) ? kIdsEditMemory : kIdsUnknownError,
                           kMbIconExclamation);
}

void CDocumentPage::RevertEdit() {
  if (m_editDepth <= 0) return;
  if (--m_editDepth > 0) return;
  CEditGlobals& g = EditGlobals();
  if (CEditStep* step = g.openStep) {
    g.openStep = nullptr;
    g.editPage = nullptr;
    if (m_root != nullptr) m_root->RecalcAndNotify(nullptr);
    CEditStep** list = m_undoList == step   ? &m_undoList
                       : m_redoList == step ? &m_redoList
                                            : nullptr;
    if (list != nullptr) *list = step->m_link;
    step->m_link = nullptr;
    // Objects that a user step created leave the tree with no step to take
    // them; their records free them. An undo or redo step creates none.
    g.adoptOrphans = step->m_kind != kEditUndo && step->m_kind != kEditRedo;
    try {
      step->Revert();
    } catch (...) {
      // What could be reverted is; the rest stays as it is.
    }
    g.adoptOrphans = false;
    if (list != nullptr) delete step;
  } else {
    // A transaction without undo cannot revert: what it changed stays,
    // and the page must be written with it.
    m_dirty = 1;
    if (m_document != nullptr) m_document->SetModifiedFlag();
  }
  CPicObj::ReleaseLoadChain(true);
  g.openStep = nullptr;
  g.editPage = nullptr;
  if (m_root != nullptr) m_root->RecalcAndNotify(nullptr);
  if (m_document != nullptr) m_document->UpdatePageViews(this);
  AppServices().EndWaitCursor();
}

void CDocumentPage::Undo() {
  if (m_undoList != nullptr) RevertHistoryStep(m_undoList, kEditUndo);
}

void CDocumentPage::Redo() {
  if (m_redoList != nullptr) RevertHistoryStep(m_redoList, kEditRedo);
}

void CDocumentPage::RevertHistoryStep(CEditStep*& list, uint32_t kind) {
  CEditStep* step = list;
  list = step->m_link;
  step->m_link = nullptr;
  for (CEditItem* item = step->m_items; item != nullptr; item = item->m_next) {
    if (auto* base = item->AsObjectRecord()) base->m_kindBeforeRevert = base->m_kind;
  }
  bool reverted = false;
  CEditTransaction::Run(*this, kind, [&] {
    step->Revert();
    reverted = true;
  });
  if (!reverted) {
    // The failed step's partial work was taken back: the step is kept whole.
    for (CEditItem* item = step->m_items; item != nullptr; item = item->m_next) {
      if (auto* base = item->AsObjectRecord()) base->m_kind = base->m_kindBeforeRevert;
    }
    step->m_link = list;
    list = step;
    return;
  }
  delete step;
}
