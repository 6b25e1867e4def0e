#include "platform/core/object.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "platform/core/exceptions.h"

namespace {

std::unordered_map<std::string_view, const CRuntimeClass*>& Registry() {
  static std::unordered_map<std::string_view, const CRuntimeClass*> registry;
  return registry;
}

}  // namespace

const CRuntimeClass CObject::s_runtimeClass = {"CObject", CRuntimeClass::kNoSchema, nullptr,
                                               nullptr};

CObject* CRuntimeClass::CreateObject() const {
  if (m_pfnCreateObject == nullptr) throw CNotSupportedException();
  try {
    return m_pfnCreateObject();
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass) {
    if (c == base) return true;
  }
  return false;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view name) {
  auto& registry = Registry();
  auto it = registry.find(name);
  return it == registry.end() ? nullptr : it->second;
}

void CRuntimeClass::Register(const CRuntimeClass* cls) {
  auto [it, inserted] = Registry().emplace(cls->m_lpszClassName, cls);
  if (!inserted && it->second != cls) {
    std::fprintf(stderr, "run-time class \"%s\" registered twice\n", cls->m_lpszClassName);
    std::abort();
  }
}
