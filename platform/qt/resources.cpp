#include "platform/qt/resources.h"

std::string CResourceStore::LoadString(UINT id) const {
  auto it = m_strings.find(id);
  return it != m_strings.end() ? it->second : std::string();
}

const std::vector<uint8_t>* CResourceStore::FindData(std::string_view type, UINT id) const {
  auto it = m_data.find({std::string(type), id});
  return it != m_data.end() ? &it->second : nullptr;
}

void CResourceStore::Clear() {
  *this = CResourceStore();
}

CResourceStore& Resources() {
  static CResourceStore store;
  return store;
}
