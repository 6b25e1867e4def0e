#include "model/ole_item.h"

#include <algorithm>
#include <cstring>

#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/load_context.h"
#include "model/pic_ole.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"

VM_IMPLEMENT_SERIAL(CMarlCntrItem, CObject, 1)

namespace {

constexpr Fixed kHimetricToTwips = 37154;  // 1440 / 2540 in 16.16
constexpr size_t kCopyChunk = 64 * 1024;

void Damaged() {
  throw CArchiveException(CArchiveException::genericException);
}

// A stream or storage name as compound files take them: 1 to 31 characters,
// none of / \ : !
bool IsElementName(const std::string& name) {
  if (name.empty() || name.size() > 31 * 3) return false;
  size_t units = 0;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '!') return false;
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units >= 1 && units <= 31;
}

std::string Folded(const std::string& name) {
  std::string key = name;
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

uint32_t Le32(std::span<const uint8_t> b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

// While a drawing object reads the item that follows it inline.
bool g_readingInline = false;

}  // namespace

std::string EmbeddingName(uint32_t n) {
  return "Embedding " + std::to_string(n);
}

// ---- storage trees ----------------------------------------------------------------

namespace {

void ReadTree(const CStorage& from, CStorageTree& out, int depth) {
  if (depth > CStorageTree::kMaxDepth) throw COleException(kStgInvalidName);
  out.classId = from.GetClassId();
  for (const CStorageElement& e : from.EnumElements()) {
    if (e.isStorage) {
      CStorageTree& sub = out.storages.emplace_back();
      sub.name = e.name;
      ReadTree(from.OpenStorage(e.name), sub, depth + 1);
      continue;
    }
    CStorageTree::Stream& s = out.streams.emplace_back();
    s.name = e.name;
    std::unique_ptr<CFile> stream = from.OpenStream(e.name);
    s.bytes.resize(e.size);
    for (size_t at = 0; at < s.bytes.size();) {
      const size_t n = stream->Read(s.bytes.data() + at, std::min(kCopyChunk, s.bytes.size() - at));
      if (n == 0) throw CFileException(CFileException::endOfFile, 0, e.name);
      at += n;
    }
  }
}

void WriteTree(CStorage& to, const CStorageTree& tree) {
  to.SetClassId(tree.classId);
  for (const CStorageTree::Stream& s : tree.streams) {
    std::unique_ptr<CFile> stream = to.CreateStream(s.name);
    for (size_t at = 0; at < s.bytes.size(); at += kCopyChunk) {
      stream->Write(s.bytes.data() + at, std::min(kCopyChunk, s.bytes.size() - at));
    }
    stream->Close();
  }
  for (const CStorageTree& sub : tree.storages) {
    CStorage child = to.CreateStorage(sub.name);
    WriteTree(child, sub);
  }
}

void WriteInline(CArchive& ar, const CStorageTree& tree) {
  ar.WriteString(tree.name);
  ar.Write(tree.classId.data(), tree.classId.size());
  ar << static_cast<uint32_t>(tree.streams.size());
  for (const CStorageTree::Stream& s : tree.streams) {
    ar.WriteString(s.name);
    ar << static_cast<uint32_t>(s.bytes.size());
    ar.Write(s.bytes.data(), s.bytes.size());
  }
  ar << static_cast<uint32_t>(tree.storages.size());
  for (const CStorageTree& sub : tree.storages) WriteInline(ar, sub);
}

// The smallest a stream entry (a one-character name, a size) and a storage
// (a name, the class id, two counts) take.
constexpr uint64_t kMinStream = 2 + 4;
constexpr uint64_t kMinStorage = 2 + 16 + 4 + 4;

void ReadInline(CArchive& ar, CStorageTree& out, int depth, bool root) {
  if (depth > CStorageTree::kMaxDepth) Damaged();
  out.name = ar.ReadString();
  if (!root && !IsElementName(out.name)) Damaged();
  ar.ReadExact(out.classId.data(), out.classId.size());
  std::vector<std::string> names;
  auto unique = [&](const std::string& name) {
    if (!IsElementName(name)) Damaged();
    std::string key = Folded(name);
    if (std::find(names.begin(), names.end(), key) != names.end()) Damaged();
    names.push_back(std::move(key));
  };
  uint32_t count;
  ar >> count;
  if (count > ar.GetRemaining() / kMinStream) Damaged();
  out.streams.resize(count);
  for (CStorageTree::Stream& s : out.streams) {
    s.name = ar.ReadString();
    unique(s.name);
    uint32_t size;
    ar >> size;
    if (size > ar.GetRemaining()) Damaged();
    s.bytes.resize(size);
    ar.ReadExact(s.bytes.data(), size);
  }
  ar >> count;
  if (count > ar.GetRemaining() / kMinStorage) Damaged();
  out.storages.resize(count);
  for (CStorageTree& sub : out.storages) {
    ReadInline(ar, sub, depth + 1, false);
    unique(sub.name);
  }
}

}  // namespace

void ReadStorageTree(const CStorage& from, CStorageTree& out) {
  ReadTree(from, out, 0);
}

void WriteStorageTree(CStorage& to, const CStorageTree& tree) {
  WriteTree(to, tree);
}

void WriteStorageTreeInline(CArchive& ar, const CStorageTree& tree) {
  WriteInline(ar, tree);
}

void ReadStorageTreeInline(CArchive& ar, CStorageTree& out) {
  ReadInline(ar, out, 0, true);
}

// ---- presentation streams ---------------------------------------------------------

bool ReadOlePresentation(std::span<const uint8_t> b, OlePresentation& out) {
  size_t at = 0;
  auto u32 = [&](uint32_t& v) {
    if (b.size() - at < 4) return false;
    v = Le32(b, at);
    at += 4;
    return true;
  };
  uint32_t marker;
  if (!u32(marker)) return false;
  out.format = 0;
  if (marker == 0xFFFFFFFF || marker == 0xFFFFFFFE) {
    if (!u32(out.format)) return false;
  } else if (marker != 0) {
    // A registered format's name.
    if (marker > b.size() - at) return false;
    at += marker;
  }
  uint32_t targetSize;
  if (!u32(targetSize)) return false;
  // The size counts its own four bytes.
  if (targetSize < 4 || targetSize - 4 > b.size() - at) return false;
  at += targetSize - 4;
  uint32_t lindex, advf, reserved, size;
  if (!u32(out.aspect) || !u32(lindex) || !u32(advf) || !u32(reserved) || !u32(out.width) ||
      !u32(out.height) || !u32(size)) {
    return false;
  }
  if (size > b.size() - at) return false;
  out.data = b.subspan(at, size);
  return true;
}

bool LoadPresentationPicture(const CStorageTree& storage, CImageRef& image) {
  std::vector<const CStorageTree::Stream*> pictures;
  for (const CStorageTree::Stream& s : storage.streams) {
    const std::string& n = s.name;
    if (n.size() == 11 && n.compare(0, 8, "\x02OlePres") == 0 &&
        std::all_of(n.begin() + 8, n.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      pictures.push_back(&s);
    }
  }
  std::sort(pictures.begin(), pictures.end(),
            [](const auto* a, const auto* b) { return a->name < b->name; });
  for (const CStorageTree::Stream* s : pictures) {
    OlePresentation p;
    if (!ReadOlePresentation(s->bytes, p)) continue;
    if (p.aspect != OlePresentation::kAspectContent || p.format != OlePresentation::kFormatDib) {
      continue;
    }
    return image.LoadPackedDib(p.data);
  }
  return false;
}

// ---- the item ---------------------------------------------------------------------

CMarlCntrItem::CMarlCntrItem(CMarlDoc* doc, CDocumentPage* page) : m_document(doc), m_page(page) {
  if (doc != nullptr) {
    m_itemNumber = doc->NextItemNumber();
    m_embedding = doc->NextEmbeddingNumber();
  }
}

CMarlCntrItem::~CMarlCntrItem() {
  DetachPicOle();
}

CPicOle* CMarlCntrItem::SetPicOle(CPicOle* obj) {
  if (m_picOle == obj) return obj;
  DetachPicOle();
  if (obj != nullptr) {
    if (obj->m_item != nullptr) obj->m_item->DetachPicOle();
    obj->m_item = this;
  }
  m_picOle = obj;
  return obj;
}

void CMarlCntrItem::DetachPicOle() {
  if (m_picOle == nullptr) return;
  m_picOle->m_item = nullptr;
  m_picOle = nullptr;
}

bool CMarlCntrItem::SyncShapeBounds() {
  if (m_page == nullptr || m_page->m_document == nullptr || m_picOle == nullptr) return true;
  Rect32 old = m_picOle->GetItemRect();
  if (old.IsEmpty()) old = Rect32{0, 0, 0, 0};
  Rect32 bounds = old;
  bounds.xmax = static_cast<int32_t>(int64_t{old.xmin} + FixedMul(m_extent.x, kHimetricToTwips));
  bounds.ymax = static_cast<int32_t>(int64_t{old.ymin} + FixedMul(m_extent.y, kHimetricToTwips));
  if (bounds == m_picOle->GetItemRect()) return false;
  CPicOle* obj = m_picOle;
  CEditTransaction::Run(*m_page, CDocumentPage::kEditNoUndo, [&] { obj->SetItemRect(bounds); });
  return true;
}

CImageRef* CMarlCntrItem::GetPicture() {
  if (!m_pictureRead) {
    m_pictureRead = true;
    auto picture = std::make_unique<CImageRef>();
    if (LoadPresentationPicture(m_storage, *picture)) m_picture = std::move(picture);
  }
  return m_picture.get();
}

void CMarlCntrItem::ForgetPicture() {
  m_picture.reset();
  m_pictureRead = false;
}

void CMarlCntrItem::Serialize(CArchive& ar) {
  auto* doc = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
  CLoadContext* context = CLoadContext::Current();
  if (ar.IsStoring()) {
    ar << kRecordVersion << m_extent.x << m_extent.y;
    if (ar.m_bForceFlat) {
      ar << static_cast<uint8_t>(kFormInline);
      WriteStorageTreeInline(ar, m_storage);
    } else {
      ar << static_cast<uint8_t>(kFormEmbedding) << m_embedding;
      // The storage goes into the file being written.
      if (doc != nullptr && doc->GetSaveStorage().IsValid()) {
        CStorage root = doc->GetSaveStorage();
        CStorage storage = root.CreateStorage(EmbeddingName(m_embedding));
        WriteStorageTree(storage, m_storage);
      }
    }
    ar << uint8_t{0};
    if (context == nullptr) ar << m_itemNumber << static_cast<CObject*>(m_page);
    return;
  }
  uint8_t version, form, ignored;
  ar >> version;
  if (version > kRecordVersion) Damaged();
  ar >> m_extent.x >> m_extent.y >> form;
  if (form == kFormEmbedding) {
    ar >> m_embedding;
    if (doc != nullptr && doc->m_rootStorage.IsValid() &&
        doc->m_rootStorage.HasElement(EmbeddingName(m_embedding))) {
      try {
        ReadStorageTree(doc->m_rootStorage.OpenStorage(EmbeddingName(m_embedding)), m_storage);
      } catch (const COleException&) {
        Damaged();
      } catch (const CFileException&) {
        Damaged();
      }
    }
  } else if (form == kFormInline) {
    ReadStorageTreeInline(ar, m_storage);
  } else {
    Damaged();
  }
  ar >> ignored;
  m_document = doc;
  if (context != nullptr) {
    m_itemNumber = 0;
    m_page = context->m_target;
    return;
  }
  ar >> m_itemNumber;
  const size_t known = ar.GetLoadedCount();
  CObject* page = ar.ReadObject(RUNTIME_CLASS(CDocumentPage));
  if (g_readingInline && ar.GetLoadedCount() != known) {
    // A copy's item names a page that is not in the document it arrives
    // in: the page made for it is dropped.
    ar.ForgetLoadedFrom(known);
    delete page;
    page = nullptr;
  }
  m_page = static_cast<CDocumentPage*>(page);
}

// ---- the drawing object's part of reading -----------------------------------------

CMarlCntrItem* ReadInlineItem(CArchive& ar) {
  const bool outer = g_readingInline;
  g_readingInline = true;
  struct Restore {
    bool value;
    ~Restore() { g_readingInline = value; }
  } restore{outer};
  const size_t known = ar.GetLoadedCount();
  try {
    return static_cast<CMarlCntrItem*>(ar.ReadObject(RUNTIME_CLASS(CMarlCntrItem)));
  } catch (...) {
    // Items are not on the drawing objects' load chain: an item whose
    // record failed is freed here (those read before are the document's).
    auto* doc = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
    for (CObject* obj : ar.GetLoadedObjects()) {
      auto* item = DynamicDowncast<CMarlCntrItem>(obj);
      if (item == nullptr) continue;
      if (doc != nullptr && std::find(doc->GetItems().begin(), doc->GetItems().end(), item) !=
                                doc->GetItems().end()) {
        continue;
      }
      delete item;
    }
    ar.ForgetLoadedFrom(known);
    throw;
  }
}
