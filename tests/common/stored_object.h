// An object stored through an archive into bytes, and read back from them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/archive.h"
#include "platform/core/file.h"

inline std::vector<uint8_t> StoreObjectBytes(const CObject* obj) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  ar << obj;
  ar.Close();
  auto d = file.GetData();
  return {d.begin(), d.end()};
}

// The caller owns the object read; a damaged record throws.
inline CObject* LoadObjectBytes(const std::vector<uint8_t>& bytes) {
  CMemFile file(bytes);
  CArchive ar(&file, CArchive::load);
  CObject* obj;
  ar >> obj;
  return obj;
}
