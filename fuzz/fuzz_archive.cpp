// Reads random bytes as an archive of a few persistent classes. Every object
// made is tracked (as the model's load chain does) and freed afterwards, so
// the leak checker sees what a failed load leaves behind.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/core/archive.h"
#include "platform/core/exceptions.h"

class CFuzzTracked : public CObject {
 public:
  CFuzzTracked() { Live().insert(this); }
  ~CFuzzTracked() override { Live().erase(this); }
  static std::set<CFuzzTracked*>& Live() {
    static std::set<CFuzzTracked*> live;
    return live;
  }
  VM_DECLARE_DYNAMIC(CFuzzTracked)
};

// Strings, blobs and a short string.
class CFuzzLeaf : public CFuzzTracked {
 public:
  std::string name, tag;
  std::vector<uint8_t> blob;
  uint32_t value = 0;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << value;
      ar.WriteString(name);
      ar.WriteShortString(tag);
      ar.WriteBlob(blob);
    } else {
      ar >> value;
      name = ar.ReadString();
      tag = ar.ReadShortString();
      blob = ar.ReadBlob();
    }
  }
  VM_DECLARE_SERIAL(CFuzzLeaf)
};

// A counted list of references to other nodes or leaves.
class CFuzzNode : public CFuzzTracked {
 public:
  std::vector<CFuzzTracked*> children;
  uint16_t flags = 0;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << flags;
      ar.WriteCount(static_cast<uint32_t>(children.size()));
      for (auto* c : children) ar << c;
    } else {
      ar >> flags;
      uint32_t count = ar.ReadCount();
      // Each element takes at least two bytes, so the count is bounded by the data.
      for (uint32_t i = 0; i < count; ++i) {
        CObject* child = ar.ReadObject(RUNTIME_CLASS(CFuzzTracked));
        children.push_back(static_cast<CFuzzTracked*>(child));
      }
    }
  }
  VM_DECLARE_SERIAL(CFuzzNode)
};

// A node with one more field and a schema of 3.
class CFuzzGroup : public CFuzzNode {
 public:
  CFuzzLeaf* label = nullptr;
  void Serialize(CArchive& ar) override {
    CFuzzNode::Serialize(ar);
    if (ar.IsStoring()) {
      ar << label;
    } else {
      ar >> label;
    }
  }
  VM_DECLARE_SERIAL(CFuzzGroup)
};

VM_IMPLEMENT_DYNAMIC(CFuzzTracked, CObject)
VM_IMPLEMENT_SERIAL(CFuzzLeaf, CFuzzTracked, 1)
VM_IMPLEMENT_SERIAL(CFuzzNode, CFuzzTracked, 2)
VM_IMPLEMENT_SERIAL(CFuzzGroup, CFuzzNode, 3)

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const CRuntimeClass* cls :
       {RUNTIME_CLASS(CFuzzLeaf), RUNTIME_CLASS(CFuzzNode), RUNTIME_CLASS(CFuzzGroup)})
    CRuntimeClass::Register(cls);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the class asked for; the rest is the archive.
  const CRuntimeClass* asked[] = {nullptr, RUNTIME_CLASS(CFuzzTracked), RUNTIME_CLASS(CFuzzNode),
                                  RUNTIME_CLASS(CFuzzGroup), RUNTIME_CLASS(CFuzzLeaf)};
  const CRuntimeClass* cls = asked[data[0] % 5];
  CMemFile file(std::span<const uint8_t>(data + 1, size - 1));
  try {
    CArchive ar(&file, CArchive::load, 64 + data[0]);
    for (int i = 0; i < 16 && ar.GetRemaining() > 0; ++i) ar.ReadObject(cls);
  } catch (const CArchiveException&) {
  } catch (const CMemoryException&) {
  }
  while (!CFuzzTracked::Live().empty()) delete *CFuzzTracked::Live().begin();
  return 0;
}
