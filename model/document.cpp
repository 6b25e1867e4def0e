#include "model/document.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <unordered_set>

#include "model/app_services.h"
#include "model/document_page.h"
#include "model/edit_step.h"
#include "model/load_context.h"
#include "model/ole_item.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_obj.h"
#include "model/pic_page.h"
#include "platform/core/archive.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"

VM_IMPLEMENT_DYNAMIC(CMarlDoc, CDocumentBase)

namespace {

constexpr size_t kPageArchiveBuffer = 4096;
constexpr int32_t kTrimAllSteps = 32000;
constexpr size_t kMaxBlob = 0xFFFF;
constexpr int32_t kOldFileMargin = 40;  // twips around the drawing of a version-1 file
constexpr Rect32 kNewDocumentStage{0, 10800, 0, 14400};
constexpr Rect32 kDefaultStage{0, 2880, 0, 2880};

ImportFileFunction g_importDispatcher = nullptr;

[[noreturn]] void Damaged() {
  throw CArchiveException(CArchiveException::genericException);
}

void DeleteList(CDocumentPage*& head) {
  while (CDocumentPage* page = head) {
    head = page->m_next;
    page->m_next = nullptr;
    page->m_prev = nullptr;
    page->m_document = nullptr;
    delete page;
  }
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compares names without ASCII case: <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The number of a stream name made from "Page %i" or "Symbol %i"; -1 otherwise.
int32_t StreamNumber(const std::string& name, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (name.compare(0, n, prefix) != 0 || name.size() == n || name.size() > n + 6) return -1;
  int32_t value = 0;
  for (size_t i = n; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    value = value * 10 + (name[i] - '0');
  }
  return value;
}

void WriteBlob(CArchive& ar, const std::vector<uint8_t>& block) {
  // A block too large for the count is written as none rather than cut.
  if (block.size() > kMaxBlob) {
    ar << uint16_t{0};
    return;
  }
  ar.WriteBlob(block);
}

}  // namespace

ImportFileFunction SetImportDispatcher(ImportFileFunction dispatcher) {
  ImportFileFunction old = g_importDispatcher;
  g_importDispatcher = dispatcher;
  return old;
}

CMarlDoc::~CMarlDoc() {
  m_currentPage = nullptr;
  DeleteList(m_pages);
  DeleteList(m_symbols);
  DeleteItems();
}

// ---- embedded items ---------------------------------------------------------------------

void CMarlDoc::DeleteItems() {
  std::vector<CMarlCntrItem*> items;
  items.swap(m_items);
  for (CMarlCntrItem* item : items) delete item;
  m_nextItemNumber = 1;
}

void CMarlDoc::AddItem(CMarlCntrItem* item) {
  item->m_document = this;
  m_items.push_back(item);
}

void CMarlDoc::RemoveItem(CMarlCntrItem* item) {
  auto it = std::find(m_items.begin(), m_items.end(), item);
  if (it == m_items.end()) return;
  m_items.erase(it);
  delete item;
  SetModifiedFlag();
}

CMarlCntrItem* CMarlDoc::FindItem(int16_t number) const {
  if (number == 0) return nullptr;
  for (CMarlCntrItem* item : m_items) {
    if (item->m_itemNumber == number) return item;
  }
  return nullptr;
}

int16_t CMarlDoc::NextItemNumber() {
  // At most 65535 numbers, so a free one exists while fewer items do.
  for (int tries = 0; tries < 0x10000; ++tries) {
    const int16_t n = m_nextItemNumber;
    m_nextItemNumber = static_cast<int16_t>(static_cast<uint16_t>(n) + 1u);
    if (n != 0 && FindItem(n) == nullptr) return n;
  }
  throw CMemoryException();
}

uint32_t CMarlDoc::NextEmbeddingNumber() const {
  uint32_t n = 0;
  for (CMarlCntrItem* item : m_items) n = std::max(n, item->m_embedding);
  if (n == UINT32_MAX) {
    // The largest is taken: the smallest free one.
    for (n = 1;; ++n) {
      if (std::none_of(m_items.begin(), m_items.end(),
                       [n](const CMarlCntrItem* i) { return i->m_embedding == n; })) {
        return n;
      }
    }
  }
  return n + 1;
}

void CMarlDoc::DeleteItemsOfPage(CDocumentPage* page) {
  std::vector<CMarlCntrItem*> gone;
  for (CMarlCntrItem* item : m_items) {
    if (item->m_page == page) gone.push_back(item);
  }
  for (CMarlCntrItem* item : gone) RemoveItem(item);
}

// ---- lists ------------------------------------------------------------------------------------

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

namespace {
void LinkAfter(CDocumentPage*& head, CDocumentPage* page, CDocumentPage* after) {
  if (after == nullptr) {
    page->m_prev = nullptr;
    page->m_next = head;
    if (head != nullptr) head->m_prev = page;
    head = page;
    return;
  }
  page->m_prev = after;
  page->m_next = after->m_next;
  if (after->m_next != nullptr) after->m_next->m_prev = page;
  after->m_next = page;
}
}  // namespace

void CMarlDoc::InsertPage(CDocumentPage* page, CDocumentPage* after) {
  page->m_document = this;
  LinkAfter(m_pages, page, after);
  RefreshPageList();
}

void CMarlDoc::InsertSymbol(CDocumentPage* symbol, CDocumentPage* after) {
  symbol->m_document = this;
  LinkAfter(m_symbols, symbol, after);
  RefreshSymbolList();
}

void CMarlDoc::RefreshPageList() {
  SetModifiedFlag();
  RebuildTabs(false);
}

void CMarlDoc::RefreshSymbolList() {
  // A stable sort by name: a symbol moves behind its successor only when
  // the successor's name compares lower.
  std::vector<CDocumentPage*> symbols;
  for (CDocumentPage* s = m_symbols; s != nullptr; s = s->m_next) symbols.push_back(s);
  std::stable_sort(symbols.begin(), symbols.end(), [](CDocumentPage* a, CDocumentPage* b) {
    return CompareNoCase(a->m_name, b->m_name) < 0;
  });
  m_symbols = nullptr;
  CDocumentPage* prev = nullptr;
  for (CDocumentPage* s : symbols) {
    s->m_prev = prev;
    s->m_next = nullptr;
    if (prev != nullptr) {
      prev->m_next = s;
    } else {
      m_symbols = s;
    }
    prev = s;
  }
  SetModifiedFlag();
  RebuildTabs(true);
}

void CMarlDoc::SetCurrentPage(CDocumentPage* page) {
  m_currentPage = page;
  UpdateAllItems();
  m_serverItemsNeedRefresh = false;
  if (IsInPlaceActive()) SetModifiedFlag();
}

CDocumentPage* CMarlDoc::FindStream(const std::string& streamName) const {
  for (CDocumentPage* list : {m_pages, m_symbols}) {
    for (CDocumentPage* p = list; p != nullptr; p = p->m_next) {
      if (CompareNoCase(p->m_streamName, streamName) == 0) return p;
    }
  }
  return nullptr;
}

void CMarlDoc::UpdateAllPages() {
  for (CDocumentPage* p = m_pages; p != nullptr;) {
    CDocumentPage* next = p->m_next;
    p->Release();
    p = next;
  }
}

void CMarlDoc::UpdateAllSymbols() {
  const bool hold = m_holdPages;
  m_holdPages = false;
  try {
    for (CDocumentPage* p = m_symbols; p != nullptr;) {
      CDocumentPage* next = p->m_next;
      p->Release();
      p = next;
    }
  } catch (...) {
    m_holdPages = hold;
    throw;
  }
  m_holdPages = hold;
}

// ---- settings ---------------------------------------------------------------------------------

void CMarlDoc::SetMovieRect(const Rect32& r) {
  if (r == m_movieRect) return;
  m_movieRect = r;
  SetModifiedFlag();
  UpdateAllViews();
  UpdateAllItems();
  m_serverItemsNeedRefresh = false;
}

void CMarlDoc::SnapToGrid(Point32& p) const {
  auto snap = [this](int32_t v, int32_t origin) {
    const Fixed steps = FixedDiv(WrapSub(v, origin), m_gridSpacing);
    return WrapAdd(origin, FixedMul(steps, m_gridSpacing));
  };
  if (m_gridFlags & 0x1) p.x = snap(p.x, m_movieRect.xmin);
  if (m_gridFlags & 0x2) p.y = snap(p.y, m_movieRect.ymin);
}

void CMarlDoc::CloseIfNoOtherFrame(const void* frame) {
  if (!HasViewInSymbolWindowOutside(frame)) OnCloseDocument();
}

// ---- new, open, close
// ----------------------------------------------------------------------------

void CMarlDoc::ResetSettings() {
  m_nextPageNumber = 1;
  m_reservedCounter = 1;
  m_nextSymbolId = 1;
  m_gridSpacing = 360 << 16;
  m_gridFlags = 0;
  m_movieRect = kDefaultStage;
  m_backgroundColor = 0xFFFFFFFF;
  m_gridColor = 0xFFC0C0C0;
  m_frameRate = 12 << 16;
  m_viewQuality = 1;
  m_rulersShown = 0;
  m_pageTabsShown = 0;
  m_viewOptionBits = 1;
  for (int32_t& m : m_margins) m = 360;
  m_centreHorizontally = m_centreVertically = 1;
  m_disablePostScript = 0;
  m_printScale = 1 << 16;
  m_printLayout = 0;
  m_printAllFrames = m_labelFrames = 0;
  m_framesAcross = 3;
  m_frameMargin = 180;
}

void CMarlDoc::DeleteContents() {
  m_currentPage = nullptr;
  DeleteList(m_pages);
  DeleteList(m_symbols);
  DeleteItems();
  m_nextPageNumber = 1;
  m_reservedCounter = 1;
  m_nextSymbolId = 1;
  m_printerMode.clear();
  m_printerNames.clear();
  m_rootStorage = CStorage();
  CDocumentBase::DeleteContents();
}

bool CMarlDoc::OnNewDocument() {
  if (!CDocumentBase::OnNewDocument()) return false;
  auto* page = new CDocumentPage;
  page->InitForDocument(this, false);
  AppendPage(page, false);
  m_currentPage = page;
  m_movieRect = kNewDocumentStage;
  SetModifiedFlag(false);
  return true;
}

void CMarlDoc::OnNewEmbedding() {
  CDocumentBase::OnNewDocument();
  SetMovieRect(kDefaultStage);
}

bool CMarlDoc::OnOpenDocument(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size == 0) {
    if (!OnNewDocument()) return false;
    return OnSaveDocument(path);
  }
  if (g_importDispatcher != nullptr && g_importDispatcher(path, 0, nullptr, nullptr) != 0) {
    if (!OnNewDocument()) return false;
    int result = 0;
    bool failed = false;
    try {
      CDocumentPage* page = m_pages;
      CPicFrame* frame = page != nullptr ? page->GetFirstFrame() : nullptr;
      if (frame == nullptr) throw CMemoryException();
      result = g_importDispatcher(path, 1, page, frame);
    } catch (const std::exception& e) {
      // The document stays open with what was imported; the failure is told.
      failed = true;
      ReportMessage(kIdsUnknownError, &e);
    }
    if (CPicPage* root = m_pages != nullptr ? m_pages->GetRoot() : nullptr) {
      for (CPicObj* child = root->GetFirstChild(); child != nullptr; child = child->GetNext()) {
        child->SetSelected(false);
      }
      root->RecalcAndNotify(nullptr);
    }
    SetModifiedFlag();
    return failed || result != 0;
  }
  return CDocumentBase::OnOpenDocument(path);
}

void CMarlDoc::SetPathName(const std::string& path, bool addToRecent) {
  if (path.empty()) {
    CDocumentBase::SetPathName("", false);
    return;
  }
  CDocumentBase::SetPathName(path, m_altMenuDoc != 0 ? false : addToRecent);
}

void CMarlDoc::OnClose(int option) {
  if (option != 1) FlushServerUpdate();
}

void CMarlDoc::OnStorageNotify(bool flag) {
  if (flag && GetFile() != nullptr) m_rootStorage = GetFile()->GetRootStorage();
}

void CMarlDoc::OnRootStorage(const CStorage& storage) {
  m_rootStorage = storage;
}

void CMarlDoc::ReportException(const std::exception* e, bool /*saving*/) {
  const bool memory = dynamic_cast<const CMemoryException*>(e) != nullptr;
  ReportMessage(memory ? kIdsPageLoadMemory : kIdsPageLoadFailed, e);
}

void CMarlDoc::OnSavedToNewStorage() {
  // Every page in memory was written into the new file.
  for (CDocumentPage* list : {m_pages, m_symbols}) {
    for (CDocumentPage* p = list; p != nullptr; p = p->m_next) {
      if (p->GetRoot() != nullptr) p->m_dirty = 0;
    }
  }
}

// ---- the record -----------------------------------------------------------------------------

void CMarlDoc::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    WriteRecord(ar);
    return;
  }
  try {
    ReadRecord(ar);
  } catch (...) {
    // Pages the archive made that no list took are freed here; drawing
    // objects are freed from the load chain; the document is left empty.
    std::unordered_set<const CObject*> owned;
    for (CDocumentPage* list : {m_pages, m_symbols}) {
      for (CDocumentPage* p = list; p != nullptr; p = p->m_next) owned.insert(p);
    }
    for (const CMarlCntrItem* item : m_items) owned.insert(item);
    for (CObject* obj : ar.GetLoadedObjects()) {
      if (owned.contains(obj)) continue;
      if (auto* page = DynamicDowncast<CDocumentPage>(obj)) {
        delete page;
      } else if (auto* item = DynamicDowncast<CMarlCntrItem>(obj)) {
        delete item;
      }
    }
    CPicObj::ReleaseLoadChain(true);
    DeleteContents();
    ResetSettings();
    throw;
  }
}

void TrimAllSteps(CDocumentPage* first) {
  for (CDocumentPage* p = first; p != nullptr; p = p->m_next) p->TrimUndo(kTrimAllSteps);
}

void WritePageList(CArchive& ar, CDocumentPage* first) {
  auto* doc = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
  CStorage target = doc != nullptr ? doc->GetSaveStorage() : CStorage();
  const bool sameAsLoad = doc == nullptr || doc->IsSavingToLoadStorage();
  for (CDocumentPage* page = first; page != nullptr; page = page->m_next) {
    ar.WriteObject(page);
    if (doc == nullptr || !target.IsValid()) continue;
    if (sameAsLoad) {
      if (page->GetRoot() != nullptr && page->m_dirty != 0) doc->StorePage(page);
    } else if (page->GetRoot() != nullptr) {
      doc->StorePage(page, &target);
    } else if (doc->m_rootStorage.IsValid() && doc->m_rootStorage.HasElement(page->m_streamName)) {
      doc->m_rootStorage.CopyElementTo(page->m_streamName, target);
    }
  }
  ar.WriteObject(nullptr);
}

void CMarlDoc::WriteRecord(CArchive& ar) {
  TrimAllSteps(m_pages);
  TrimAllSteps(m_symbols);
  ar << kRecordVersion;
  WriteItems(ar);
  WritePageList(ar, m_pages);
  ar << m_nextPageNumber << m_reservedCounter;
  // Only one of the pages can be the current one.
  CDocumentPage* current = nullptr;
  for (CDocumentPage* p = m_pages; p != nullptr; p = p->m_next) {
    if (p == m_currentPage) current = p;
  }
  ar.WriteObject(current);
  WritePageList(ar, m_symbols);
  ar << static_cast<int16_t>(m_nextSymbolId);
  ar << static_cast<uint8_t>(m_gridFlags) << m_movieRect << m_gridSpacing;
  ar << m_viewQuality << m_rulersShown << m_pageTabsShown << m_viewOptionBits << uint8_t{0};
  for (int32_t m : m_margins) ar << m;
  ar << m_centreHorizontally << m_centreVertically << m_printLayout << m_disablePostScript
     << m_printScale;
  WriteBlob(ar, m_printerMode);
  WriteBlob(ar, m_printerNames);
  ar << m_backgroundColor << m_gridColor << m_frameRate;
  ar << m_printAllFrames << m_labelFrames << m_framesAcross << m_frameMargin;
}

void CMarlDoc::WriteItems(CArchive& ar) {
  // Sub-storages of items no longer in the document leave the file.
  CStorage target = GetSaveStorage();
  if (target.IsValid()) {
    for (const CStorageElement& e : target.EnumElements()) {
      if (!e.isStorage || e.name.rfind("Embedding ", 0) != 0) continue;
      if (std::none_of(m_items.begin(), m_items.end(), [&](const CMarlCntrItem* i) {
            return CompareNoCase(EmbeddingName(i->m_embedding), e.name) == 0;
          })) {
        target.DestroyElement(e.name);
      }
    }
  }
  ar.WriteCount(static_cast<uint32_t>(m_items.size()));
  for (CMarlCntrItem* item : m_items) ar.WriteObject(item);
}

void CMarlDoc::ReadPageList(CArchive& ar, bool symbols, ReadState& state) {
  for (;;) {
    CDocumentPage* page;
    ar >> page;
    if (page == nullptr) return;
    // A page already in a list, or a second stream of one name, is damage.
    if (!state.placed.insert(page).second) Damaged();
    std::string key = page->m_streamName;
    for (char& c : key) c = Lower(c);
    if (!state.names.insert(key).second) Damaged();
    AppendPage(page, symbols);
  }
}

void CMarlDoc::ReadRecord(CArchive& ar) {
  uint8_t version;
  ar >> version;
  if (version == 0 || version > kRecordVersion) Damaged();
  if (version == 1) {
    ReadSingleStream(ar);
    return;
  }
  // The embedded items: an object list of container items.
  const uint32_t items = ar.ReadCount();
  if (items > ar.GetRemaining() / 2) Damaged();
  for (uint32_t i = 0; i < items; ++i) {
    CObject* obj = ar.ReadObject(RUNTIME_CLASS(CMarlCntrItem));
    if (obj == nullptr) Damaged();
    auto* item = static_cast<CMarlCntrItem*>(obj);
    // Each item once, with a number of its own.
    if (std::find(m_items.begin(), m_items.end(), item) != m_items.end()) Damaged();
    if (item->m_itemNumber == 0 || FindItem(item->m_itemNumber) != nullptr) Damaged();
    AddItem(item);
  }
  ReadState state;
  ReadPageList(ar, false, state);
  ar >> m_nextPageNumber >> m_reservedCounter;
  CDocumentPage* current;
  ar >> current;
  // The current page is one of the pages read.
  if (current != nullptr && !state.placed.contains(current)) Damaged();
  m_currentPage = current;
  if (version >= 14) {
    ReadPageList(ar, true, state);
    int16_t next;
    ar >> next;
    m_nextSymbolId = next;
  }
  // Every item's page is one of the document's.
  for (const CMarlCntrItem* item : m_items) {
    if (item->m_page != nullptr && !state.placed.contains(item->m_page)) Damaged();
  }
  uint8_t gridFlags;
  ar >> gridFlags >> m_movieRect >> m_gridSpacing;
  m_gridFlags = gridFlags;
  ar >> m_viewQuality >> m_rulersShown >> m_pageTabsShown;
  uint8_t discardPrinter = 0;
  if (version >= 15) ar >> m_viewOptionBits >> discardPrinter;
  for (int32_t& m : m_margins) ar >> m;
  ar >> m_centreHorizontally >> m_centreVertically >> m_printLayout >> m_disablePostScript >>
      m_printScale;
  m_printerMode = ar.ReadBlob();
  m_printerNames = ar.ReadBlob();
  if (discardPrinter != 0) {
    m_printerMode.clear();
    m_printerNames.clear();
  }
  if (version >= 11) ar >> m_backgroundColor >> m_gridColor;
  if (version >= 13) ar >> m_frameRate;
  if (version >= 16) ar >> m_printAllFrames >> m_labelFrames >> m_framesAcross >> m_frameMargin;
  RaiseCounters();
}

void CMarlDoc::RaiseCounters() {
  int32_t page = m_nextPageNumber, symbol = m_nextSymbolId;
  for (CDocumentPage* p = m_pages; p != nullptr; p = p->m_next) {
    page = std::max(page, StreamNumber(p->m_streamName, "Page ") + 1);
  }
  for (CDocumentPage* s = m_symbols; s != nullptr; s = s->m_next) {
    symbol = std::max(symbol, StreamNumber(s->m_streamName, "Symbol ") + 1);
    if (s->m_symbolId < 0x8000) symbol = std::max(symbol, static_cast<int32_t>(s->m_symbolId) + 1);
  }
  // The counters are 16-bit in the file; past that, new pages find a free
  // number themselves (CDocumentPage::InitForDocument).
  m_nextPageNumber = static_cast<int16_t>(std::min(page, 0x7FFF));
  m_nextSymbolId = std::min(symbol, 0x7FFF);
}

void CMarlDoc::ReadSingleStream(CArchive& ar) {
  auto* page = new CDocumentPage;
  page->InitForDocument(this, false);
  AppendPage(page, false);
  m_currentPage = page;
  CPicFrame* frame = page->GetFirstFrame();
  {
    CLoadContext context(&ar, page);
    const bool forceFlat = ar.m_bForceFlat;
    ar.m_bForceFlat = true;
    struct Restore {
      CArchive& ar;
      bool flat;
      ~Restore() { ar.m_bForceFlat = flat; }
    } restore{ar, forceFlat};
    for (;;) {
      CPicObj* obj;
      ar >> obj;
      if (obj == nullptr) break;
      // Drawing objects only, each placed once.
      if (obj->GetParent() != nullptr || obj->IsKindOf(RUNTIME_CLASS(CPicPage)) ||
          obj->IsKindOf(RUNTIME_CLASS(CPicLayer)) || obj->IsKindOf(RUNTIME_CLASS(CPicFrame))) {
        Damaged();
      }
      frame->AddChild(obj, CPicObj::kAddLast);
    }
  }
  CPicPage* root = page->GetRoot();
  root->RecalcAndNotify(nullptr);
  Rect32 bounds;
  root->GetBounds(bounds);
  if (bounds.IsEmpty()) {
    m_movieRect = kDefaultStage;
  } else {
    RectInset(bounds, -kOldFileMargin);
    Matrix2x3 shift;
    shift.tx = WrapNeg(bounds.xmin);
    shift.ty = WrapNeg(bounds.ymin);
    for (CPicObj* obj = frame->GetFirstChild(); obj != nullptr; obj = obj->GetNext()) {
      obj->Transform(shift);
    }
    m_movieRect = {0, WrapSub(bounds.xmax, bounds.xmin), 0, WrapSub(bounds.ymax, bounds.ymin)};
  }
  CPicObj::ReleaseLoadChain(false);
  root->RecalcAndNotify(nullptr);
}

// ---- pages in their streams -------------------------------------------------------------------

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

void CMarlDoc::StorePage(CDocumentPage* page, CStorage* into) {
  CStorage& storage = into != nullptr ? *into : m_rootStorage;
  if (!storage.IsValid()) {
    throw CFileException(CFileException::genericException, 0, page->m_streamName);
  }
  std::unique_ptr<CFile> stream = storage.CreateStream(page->m_streamName);
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
  if (into == nullptr && m_rememberStorage) page->m_dirty = 0;
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

CDocumentPage* FindPageByName(const CMarlDoc& doc, std::string_view name) {
  for (CDocumentPage* p = doc.m_pages; p != nullptr; p = p->m_next) {
    if (p->m_name == name) return p;
  }
  return nullptr;
}
