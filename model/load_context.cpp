#include "model/load_context.h"

#include <memory>
#include <unordered_set>
#include <vector>

#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_step.h"
#include "model/pic_obj.h"
#include "model/pic_page.h"
#include "model/pic_symbol.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"

namespace {

constexpr size_t kNestedBuffer = 4096;

// True when the tree below root holds an instance of target, also through
// the symbols of nested instances.
bool ContainsInstanceOf(CPicObj* root, const CDocumentPage* target,
                        std::unordered_set<const CDocumentPage*>& seen) {
  std::vector<CPicObj*> stack{root};
  while (!stack.empty()) {
    CPicObj* obj = stack.back();
    stack.pop_back();
    if (auto* inst = DynamicDowncast<CPicSymbol>(obj)) {
      CDocumentPage* symbol = inst->GetSymbol();
      if (symbol == target) return true;
      if (symbol != nullptr && symbol->GetRoot() != nullptr && seen.insert(symbol).second) {
        stack.push_back(symbol->GetRoot());
      }
    }
    for (CPicObj* child = obj->GetFirstChild(); child != nullptr; child = child->GetNext()) {
      stack.push_back(child);
    }
  }
  return false;
}

// The open step and edit page of the process set aside for a scope.
struct OutsideEdit {
  CEditGlobals& g = EditGlobals();
  CEditStep* open_step = g.openStep;
  CDocumentPage* edit_page = g.editPage;
  OutsideEdit() {
    g.openStep = nullptr;
    g.editPage = nullptr;
  }
  ~OutsideEdit() {
    g.openStep = open_step;
    g.editPage = edit_page;
  }
};

}  // namespace

CLoadContext::CLoadContext(CArchive* archive, CDocumentPage* target)
    : m_archive(archive), m_target(target), m_previous(EditGlobals().loadContext) {
  EditGlobals().loadContext = this;
}

CLoadContext::~CLoadContext() {
  EditGlobals().loadContext = m_previous;
}

CLoadContext* CLoadContext::Current() {
  return EditGlobals().loadContext;
}

CDocumentPage* CLoadContext::FindSymbol(const std::string& name) const {
  auto it = m_symbols.find(name);
  return it != m_symbols.end() ? it->second : nullptr;
}

void CLoadContext::WriteSymbol(CArchive& ar, CDocumentPage* symbol) {
  if (symbol == nullptr) {
    ar.WriteString("");
    ar << uint32_t{0};
    return;
  }
  ar.WriteString(symbol->m_name);
  if (m_symbols.contains(symbol->m_name) || m_nesting >= kMaxNesting) {
    ar << uint32_t{0};
    return;
  }
  m_symbols.emplace(symbol->m_name, symbol);
  // A swapped-out symbol is read in: carried by name alone it would be lost
  // to another document.
  symbol->LockUpdate();
  struct Unlock {
    CDocumentPage* page;
    ~Unlock() { page->UnlockUpdate(); }
  } unlock{symbol};
  if (symbol->GetRoot() == nullptr) {
    ar << uint32_t{0};
    return;
  }
  CMemFile file(kNestedBuffer);
  {
    ++m_nesting;
    struct Nest {
      int& n;
      ~Nest() { --n; }
    } nest{m_nesting};
    CArchive nested(&file, CArchive::store, kNestedBuffer);
    nested.m_pDocument = ar.m_pDocument;
    nested << symbol->m_attribute;
    nested.WriteObject(symbol->GetRoot());
    nested.Close();
  }
  const auto bytes = file.GetData();
  ar << static_cast<uint32_t>(bytes.size());
  for (size_t at = 0; at < bytes.size(); at += kNestedBuffer) {
    ar.Write(bytes.data() + at, std::min(kNestedBuffer, bytes.size() - at));
  }
}

CDocumentPage* CLoadContext::ReadSymbol(CArchive& ar) {
  const std::string name = ar.ReadString();
  uint32_t length;
  ar >> length;
  if (length > ar.GetRemaining()) throw CArchiveException(CArchiveException::endOfFile);
  std::vector<uint8_t> bytes(length);
  ar.ReadExact(bytes.data(), length);

  auto* doc = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
  CDocumentPage* symbol = FindSymbol(name);
  if (symbol == nullptr && doc != nullptr) {
    for (CDocumentPage* s = doc->m_symbols; s != nullptr; s = s->m_next) {
      if (s->m_name == name) {
        symbol = s;
        break;
      }
    }
  }
  if (symbol != nullptr) {
    symbol->LockUpdate();
  } else if (length != 0 && doc != nullptr) {
    if (m_nesting >= kMaxNesting) throw CArchiveException(CArchiveException::genericException);
    OutsideEdit outside;
    symbol = new CDocumentPage;
    symbol->InitForDocument(doc, true);
    symbol->m_name = name;
    symbol->FreeContents();
    doc->AppendPage(symbol, true);
    try {
      CMemFile file(bytes);
      CArchive nested(&file, CArchive::load, kNestedBuffer);
      nested.m_pDocument = ar.m_pDocument;
      ++m_nesting;
      struct Nest {
        int& n;
        ~Nest() { --n; }
      } nest{m_nesting};
      // The symbol's objects are its own, whatever happens to the copy that
      // carried it.
      CPicObj::LoadChainScope chain;
      try {
        nested >> symbol->m_attribute;
        CPicPage* root;
        nested >> root;
        if (root == nullptr) throw CArchiveException(CArchiveException::badClass);
        symbol->AdoptRoot(root);
      } catch (...) {
        CPicObj::ReleaseLoadChain(true);
        throw;
      }
    } catch (...) {
      symbol->DeletePage();
      throw;
    }
    doc->RefreshSymbolList();
  }
  if (symbol == nullptr) return nullptr;
  m_symbols.emplace(name, symbol);
  // A symbol can never contain itself.
  std::unordered_set<const CDocumentPage*> seen{symbol};
  if (symbol == m_target ||
      (symbol->GetRoot() != nullptr && ContainsInstanceOf(symbol->GetRoot(), m_target, seen))) {
    symbol->UnlockUpdate();
    return nullptr;
  }
  return symbol;
}
