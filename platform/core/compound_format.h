// The compound file format as the storage reads and writes it (internal to
// platform/core): a header, sectors chained through an allocation table,
// small streams kept in 64-byte mini sectors inside the root's stream, and a
// directory whose entries form one sibling tree per storage.
//
// The reader checks everything before the tree is built: tables and chains
// in range and free of cycles, every directory link in range, every entry
// reached once, known types, sizes the file can hold, at most
// kMaxStorageDepth levels and kMaxEntries entries. All walks are iterative.
// The writer refuses what the reader would refuse, before writing anything.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"

namespace storage_detail {

// Storage nesting a file may have (the root is level 0).
constexpr int kMaxStorageDepth = 64;
// Directory entries a file may have; far above any real document, low enough
// that a hostile directory cannot make the tree take gigabytes.
constexpr uint32_t kMaxEntries = 1u << 20;
// Streams shorter than this live in mini sectors.
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kMiniSectorShift = 6;

constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;

constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;

// An opened compound file: its descriptor and its checked tables.
struct Source {
  int fd = -1;
  std::string path;
  uint32_t sector_shift = 9;
  uint32_t sector_count = 0;  // sectors present after the header (the last may be short)
  uint64_t file_size = 0;
  std::vector<uint32_t> fat;
  std::vector<uint32_t> mini_fat;
  std::vector<uint32_t> mini_container;  // the sectors of the root's stream
  uint64_t mini_container_size = 0;

  Source() = default;
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source();
};

// One directory entry as read; children of storages are listed in `children`.
struct DirEntry {
  std::string name;  // UTF-8
  uint8_t type = 0;
  std::array<uint8_t, 16> clsid{};
  uint32_t start = kEndOfChain;
  uint64_t size = 0;
  std::vector<uint32_t> children;  // entry indices, for storages and the root
};

// A piece of a stream in the file.
struct Extent {
  uint64_t offset;
  uint32_t length;
};

[[noreturn]] void ThrowDamaged(const std::string& path, const std::string& reason,
                               SCODE code = kStgDocFileCorrupt);

// Opens path (a regular file; anything else is refused before it is opened),
// reads and checks its tables and directory. entries[0] is the root.
std::shared_ptr<Source> OpenCompoundFile(const std::string& path, std::vector<DirEntry>& entries);

// Where the bytes of a stream of `size` bytes starting at `start` lie, in
// order; adjacent pieces are merged. Throws when a chain is broken.
std::vector<Extent> StreamExtents(const Source& source, uint32_t start, uint64_t size);

// A directory to write: entry 0 is the root; children are indices.
struct OutEntry {
  std::u16string name;
  uint8_t type = 0;
  std::array<uint8_t, 16> clsid{};
  uint64_t size = 0;
  std::vector<uint32_t> children;
};

// Where bytes are written to.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Put(const uint8_t* bytes, size_t count) = 0;
};

// Writes a compound file of these entries sequentially from offset 0 through
// Write; WriteStreamContent puts the `size` bytes of stream entry i into sink.
class CompoundWriter {
 public:
  virtual ~CompoundWriter() = default;
  virtual void Write(const uint8_t* bytes, size_t count) = 0;
  virtual void WriteStreamContent(uint32_t entry, uint64_t size, ByteSink& sink) = 0;
};
void WriteCompoundFile(const std::vector<OutEntry>& entries, CompoundWriter& out);

// UTF-8 to UTF-16 and back, as names are kept and stored.
std::u16string ToUtf16(const std::string& s);
std::string ToUtf8(const std::u16string& s);

}  // namespace storage_detail
