#include "platform/qt/resources.h"

std::string CResourceStore::LoadString(UINT id) const {
  auto it = strings_.find(id);
  return it != strings_.end() ? it->second : std::string();
}

const std::vector<uint8_t>* CResourceStore::FindData(std::string_view type, UINT id) const {
  auto it = data_.find({std::string(type), id});
  return it != data_.end() ? &it->second : nullptr;
}

void CResourceStore::Clear() {
  *this = CResourceStore();
}

CResourceStore& Resources() {
  static CResourceStore store;
  return store;
}
