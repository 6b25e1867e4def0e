// A memory file for tests of write failures: it records the size of every
// write and refuses writes (a full disk) after a number of writes or past a
// byte budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/exceptions.h"
#include "platform/core/file.h"

class FailingFile : public CMemFile {
 public:
  std::vector<size_t> writes;  // the size of each write that succeeded
  int fail_after = -1;         // writes that succeed before one throws; -1 never
  size_t budget = SIZE_MAX;    // bytes that may still be written

  void Write(const void* buffer, size_t count) override {
    if (fail_after == 0 || count > budget) throw CFileException(CFileException::diskFull);
    if (fail_after > 0) --fail_after;
    budget -= count;
    writes.push_back(count);
    CMemFile::Write(buffer, count);
  }
};
