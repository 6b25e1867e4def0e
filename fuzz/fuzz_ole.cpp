// Embedded objects arrive in documents and flat copies from anywhere: the
// first byte picks what the rest is read as: 0 a presentation stream (its
// picture loaded when it is a DIB), otherwise a drawing object's record
// whose item may follow inline. A failed read must free all it made and
// leave the document's items as they were; a good one must write again,
// by number and inline.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "model/document.h"
#include "model/model_classes.h"
#include "model/ole_item.h"
#include "model/pic_obj.h"
#include "model/pic_ole.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void ReadPresentation(std::span<const uint8_t> bytes) {
  OlePresentation p;
  if (!ReadOlePresentation(bytes, p)) return;
  Require(p.data.data() >= bytes.data() &&
          p.data.data() + p.data.size() <= bytes.data() + bytes.size());
  CStorageTree tree;
  tree.streams.push_back({"\x02OlePres000", std::vector<uint8_t>(bytes.begin(), bytes.end())});
  CImageRef image;
  if (LoadPresentationPicture(tree, image)) (void)image.GetPixel(0, 0);
}

void WriteAgain(CMarlDoc& doc, CObject* obj, bool flat) {
  CMemFile out;
  CArchive ar(&out, CArchive::store);
  ar.m_pDocument = &doc;
  ar.m_bForceFlat = flat;
  ar.WriteObject(obj);
  ar.Close();
}

void ReadObject(std::span<const uint8_t> bytes) {
  CMarlDoc doc;
  CMemFile file(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  CArchive ar(&file, CArchive::load);
  ar.m_pDocument = &doc;
  std::unique_ptr<CObject> obj;
  try {
    obj.reset(ar.ReadObject(RUNTIME_CLASS(CPicOle)));
  } catch (const CException&) {
    CPicObj::ReleaseLoadChain(true);
    Require(CPicObj::IsLoadChainEmpty());
    return;
  }
  CPicObj::ReleaseLoadChain(false);
  if (auto* ole = DynamicDowncast<CPicOle>(obj.get())) {
    Require(ole->GetItem() == nullptr || ole->GetItem()->GetPicOle() == ole);
    if (ole->GetItem() != nullptr) (void)ole->GetItem()->GetPicture();
  }
  WriteAgain(doc, obj.get(), false);
  WriteAgain(doc, obj.get(), true);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterModelClasses();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::span<const uint8_t> rest(data + 1, size - 1);
  if (data[0] == 0) {
    ReadPresentation(rest);
  } else {
    ReadObject(rest);
  }
  return 0;
}
