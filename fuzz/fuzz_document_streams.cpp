// Reads random bytes as one of the streams of a document file; the first
// byte picks which: 0 the document record, 1 a page's contents (with
// symbols for its instances to find), 2 a symbol carried by a copy, 3 the
// colour-list file. A failed read must leave the load chain empty and the
// document as new; a good one must give valid graphs and write again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "geometry/edge_graph_check.h"
#include "model/color_def.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/load_context.h"
#include "model/model_classes.h"
#include "model/pic_obj.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Every shape of the tree has a valid graph (crossings are not looked for:
// the reader links edges as stored).
void CheckTree(CPicObj* root) {
  std::vector<CPicObj*> stack{root};
  while (!stack.empty()) {
    CPicObj* obj = stack.back();
    stack.pop_back();
    if (auto* shape = DynamicDowncast<CPicShape>(obj)) {
      EdgeGraphCheckOptions options;
      options.crossings = false;
      Require(EdgeGraphCheck(shape->GetGeometry(), options).empty());
    }
    for (CPicObj* c = obj->GetFirstChild(); c != nullptr; c = c->GetNext()) stack.push_back(c);
  }
}

void WriteAgain(CObject* obj) {
  CMemFile out;
  CArchive ar(&out, CArchive::store);
  ar.WriteObject(obj);
  ar.Close();
}

bool IsNew(const CMarlDoc& doc) {
  return doc.m_pages == nullptr && doc.m_symbols == nullptr && doc.m_nextPageNumber == 1 &&
         doc.m_nextSymbolId == 1 && doc.m_printerMode.empty() && doc.m_frameRate == (12 << 16);
}

void ReadDocument(CMemFile& file) {
  CMarlDoc doc;
  CArchive ar(&file, CArchive::load);
  ar.m_pDocument = &doc;
  try {
    doc.Serialize(ar);
  } catch (const CException&) {
    Require(CPicObj::IsLoadChainEmpty());
    Require(IsNew(doc));
    return;
  }
  CPicObj::ReleaseLoadChain(false);
  if (doc.m_pages != nullptr && doc.m_pages->GetRoot() != nullptr)
    CheckTree(doc.m_pages->GetRoot());
  CMemFile out;
  CArchive store(&out, CArchive::store);
  store.m_pDocument = &doc;
  doc.Serialize(store);
  store.Close();
}

void ReadPage(CMemFile& file) {
  CMarlDoc doc;
  // Symbols 1 to 3 for the instances and buttons of the page to find.
  for (int i = 0; i < 3; ++i) {
    auto* symbol = new CDocumentPage;
    symbol->InitForDocument(&doc, true);
    doc.AppendPage(symbol, true);
  }
  auto* page = new CDocumentPage;
  doc.AppendPage(page, false);
  CArchive ar(&file, CArchive::load);
  ar.m_pDocument = &doc;
  try {
    page->SerializeContents(ar);
  } catch (const CException&) {
    CPicObj::ReleaseLoadChain(true);
    Require(page->GetRoot() == nullptr);
    return;
  }
  CPicObj::ReleaseLoadChain(false);
  CheckTree(page->GetRoot());
  // Bounds and changes descend through the instances.
  Rect32 bounds;
  page->GetRoot()->GetBounds(bounds);
  Require(page->GetRoot()->NextChange(0) > 0);
  WriteAgain(page->GetRoot());
}

void ReadCarriedSymbol(CMemFile& file) {
  CMarlDoc doc;
  auto* target = new CDocumentPage;
  target->InitForDocument(&doc, false);
  doc.AppendPage(target, false);
  CArchive ar(&file, CArchive::load);
  ar.m_pDocument = &doc;
  CLoadContext context(&ar, target);
  try {
    CDocumentPage* symbol = context.ReadSymbol(ar);
    Require(CPicObj::IsLoadChainEmpty());
    if (symbol == nullptr) return;
    CheckTree(symbol->GetRoot());
    WriteAgain(symbol->GetRoot());
    symbol->UnlockUpdate();
  } catch (const CException&) {
    Require(CPicObj::IsLoadChainEmpty());
    Require(doc.m_symbols == nullptr);
  }
}

void ReadColors(CMemFile& file) {
  CArchive ar(&file, CArchive::load);
  std::unique_ptr<CColorList> solids, gradients;
  try {
    ReadColorLists(ar, solids, gradients);
  } catch (const CException&) {
    return;
  }
  WriteAgain(solids.get());
  if (gradients) WriteAgain(gradients.get());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterModelClasses();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  CMemFile file(std::vector<uint8_t>(data + 1, data + size));
  switch (data[0] & 3) {
    case 0:
      ReadDocument(file);
      break;
    case 1:
      ReadPage(file);
      break;
    case 2:
      ReadCarriedSymbol(file);
      break;
    default:
      ReadColors(file);
      break;
  }
  return 0;
}
