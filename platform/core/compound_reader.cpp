// Reading compound files: the header, the allocation tables and the
// directory, all checked before anything is built from them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/compound_format.h"

namespace storage_detail {

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads exactly count bytes at offset; false at the end of the file.
bool ReadAt(const Source& source, uint64_t offset, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(source.fd, static_cast<char*>(buffer) + done, count - done,
                        static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw CFileException(CFileException::OsErrorToCause(errno), errno, source.path);
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

uint64_t SectorOffset(const Source& source, uint32_t sector) {
  return (static_cast<uint64_t>(sector) + 1) << source.sector_shift;
}

std::vector<uint8_t> ReadSector(const Source& source, uint32_t sector) {
  std::vector<uint8_t> bytes(size_t{1} << source.sector_shift);
  if (!ReadAt(source, SectorOffset(source, sector), bytes.data(), bytes.size()))
    ThrowDamaged(source.path, "a table sector lies beyond the end of the file");
  return bytes;
}

// Follows a chain of unknown length through the allocation table to its end,
// refusing indices outside the file and chains that meet themselves.
std::vector<uint32_t> WalkChain(const Source& source, uint32_t start, const char* what) {
  std::vector<uint32_t> chain;
  std::vector<bool> seen(source.sector_count, false);
  for (uint32_t s = start; s != kEndOfChain;) {
    if (s >= source.sector_count || s >= source.fat.size())
      ThrowDamaged(source.path, std::string("the ") + what + " chain leaves the file");
    if (seen[s]) ThrowDamaged(source.path, std::string("the ") + what + " chain has a cycle");
    seen[s] = true;
    chain.push_back(s);
    s = source.fat[s];
  }
  return chain;
}

// Follows `count` links of a chain from start; the table and the number of
// units it may address are given (sectors or mini sectors). Stopping after
// count links bounds every walk, cycles included.
bool FollowChain(const std::vector<uint32_t>& table, uint64_t units, uint32_t start, uint64_t count,
                 std::vector<uint32_t>* out) {
  if (count > units) return false;  // more links than distinct units: never a valid chain
  uint32_t s = start;
  for (uint64_t i = 0; i < count; ++i) {
    if (s >= units || s >= table.size()) return false;
    if (out != nullptr) out->push_back(s);
    s = table[s];
  }
  return true;
}

std::string NameFromEntry(const uint8_t* e) {
  uint16_t bytes = Get16(e + 64);
  std::u16string name;
  for (uint16_t i = 0; i + 2 < bytes; i += 2) name.push_back(static_cast<char16_t>(Get16(e + i)));
  return ToUtf8(name);
}

void ReadHeaderAndTables(Source& source, uint32_t& firstDirSector, uint32_t& firstMiniFat) {
  uint8_t h[kHeaderSize];
  if (!ReadAt(source, 0, h, sizeof h) || std::memcmp(h, kSignature, 8) != 0)
    ThrowDamaged(source.path, "not a compound file", kStgFileAlreadyExists);
  uint16_t major = Get16(h + 26);
  uint16_t shift = Get16(h + 30);
  if (Get16(h + 28) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12)))
    ThrowDamaged(source.path, "unknown version or sector size");
  if (Get16(h + 32) != kMiniSectorShift || Get32(h + 56) != kMiniStreamCutoff)
    ThrowDamaged(source.path, "unknown mini sector size");
  source.sector_shift = shift;
  uint64_t sectorSize = uint64_t{1} << shift;
  if (source.file_size < sectorSize + kHeaderSize)
    ThrowDamaged(source.path, "the file ends inside its first sector");
  uint64_t sectors = (source.file_size - sectorSize + sectorSize - 1) >> shift;
  source.sector_count = static_cast<uint32_t>(std::min<uint64_t>(sectors, kMaxRegularSector));

  uint32_t fatCount = Get32(h + 44);
  firstDirSector = Get32(h + 48);
  firstMiniFat = Get32(h + 60);
  uint32_t difatSector = Get32(h + 68);
  uint32_t difatCount = Get32(h + 72);
  if (fatCount == 0 || fatCount > source.sector_count)
    ThrowDamaged(source.path, "impossible allocation table size");

  // The table's sectors: 109 in the header, the rest in a chain of table-index
  // sectors, each ending with the link to the next.
  std::vector<uint32_t> fatSectors;
  fatSectors.reserve(fatCount);
  for (size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatCount; ++i)
    fatSectors.push_back(Get32(h + 76 + 4 * i));
  const size_t perSector = sectorSize / 4 - 1;
  std::vector<bool> seen(source.sector_count, false);
  for (uint32_t n = 0; fatSectors.size() < fatCount; ++n) {
    if (n >= difatCount || difatSector >= source.sector_count || seen[difatSector])
      ThrowDamaged(source.path, "the allocation table index is broken");
    seen[difatSector] = true;
    std::vector<uint8_t> bytes = ReadSector(source, difatSector);
    for (size_t i = 0; i < perSector && fatSectors.size() < fatCount; ++i)
      fatSectors.push_back(Get32(bytes.data() + 4 * i));
    difatSector = Get32(bytes.data() + 4 * perSector);
  }
  source.fat.resize(static_cast<size_t>(fatCount) * (sectorSize / 4));
  for (size_t i = 0; i < fatSectors.size(); ++i) {
    if (fatSectors[i] >= source.sector_count)
      ThrowDamaged(source.path, "an allocation table sector lies outside the file");
    std::vector<uint8_t> bytes = ReadSector(source, fatSectors[i]);
    for (size_t k = 0; k < sectorSize / 4; ++k)
      source.fat[i * (sectorSize / 4) + k] = Get32(bytes.data() + 4 * k);
  }
  if (source.fat.size() > source.sector_count) source.fat.resize(source.sector_count);
}

// Reads the directory's entries and checks the tree they form, iteratively:
// links in range, each entry reached once, known types, plausible sizes.
void ReadDirectory(Source& source, uint32_t firstDirSector, uint32_t firstMiniFat,
                   std::vector<DirEntry>& entries) {
  std::vector<uint32_t> dirChain = WalkChain(source, firstDirSector, "directory");
  const uint64_t perSector = (uint64_t{1} << source.sector_shift) / kEntrySize;
  if (dirChain.size() * perSector > kMaxEntries)
    ThrowDamaged(source.path, "more directory entries than a file may have", kStgDocFileTooLarge);
  const uint32_t count = static_cast<uint32_t>(dirChain.size() * perSector);
  if (count == 0) ThrowDamaged(source.path, "the directory is empty");

  // The raw entries; links are kept aside until the tree is checked.
  struct Links {
    uint32_t left, right, child;
  };
  std::vector<Links> links(count);
  entries.assign(count, DirEntry());
  const bool v3 = source.sector_shift == 9;
  for (size_t c = 0; c < dirChain.size(); ++c) {
    std::vector<uint8_t> bytes = ReadSector(source, dirChain[c]);
    for (uint64_t k = 0; k < perSector; ++k) {
      const uint8_t* e = bytes.data() + k * kEntrySize;
      size_t index = c * perSector + k;
      DirEntry& entry = entries[index];
      entry.type = e[66];
      if (entry.type == 0) continue;
      uint16_t nameBytes = Get16(e + 64);
      if (nameBytes < 2 || nameBytes > 64 || (nameBytes & 1) != 0)
        entry.type = 0xFF;  // refused below if the tree reaches it
      else
        entry.name = NameFromEntry(e);
      links[index] = {Get32(e + 68), Get32(e + 72), Get32(e + 76)};
      std::memcpy(entry.clsid.data(), e + 80, 16);
      entry.start = Get32(e + 116);
      // Version 3 files keep 32-bit sizes; the high half may hold anything.
      entry.size = v3 ? Get32(e + 120) : Get32(e + 120) | (uint64_t{Get32(e + 124)} << 32);
    }
  }

  DirEntry& root = entries[0];
  if (root.type != kTypeRoot) ThrowDamaged(source.path, "the first entry is not the root");
  if (links[0].left != kNoStream || links[0].right != kNoStream)
    ThrowDamaged(source.path, "the root has siblings");

  // The mini stream's container is the root's stream.
  const uint64_t sectorSize = uint64_t{1} << source.sector_shift;
  if (root.size > 0) {
    if (root.size > source.file_size ||
        !FollowChain(source.fat, source.sector_count, root.start,
                     (root.size + sectorSize - 1) / sectorSize, &source.mini_container))
      ThrowDamaged(source.path, "the mini stream's chain is broken");
    source.mini_container_size = root.size;
  }
  const uint64_t miniSectors = (source.mini_container_size + 63) >> kMiniSectorShift;
  if (miniSectors > 0 && firstMiniFat != kEndOfChain) {
    std::vector<uint32_t> chain = WalkChain(source, firstMiniFat, "mini table");
    source.mini_fat.reserve(chain.size() * (sectorSize / 4));
    for (uint32_t s : chain) {
      std::vector<uint8_t> bytes = ReadSector(source, s);
      for (size_t k = 0; k < sectorSize / 4; ++k)
        source.mini_fat.push_back(Get32(bytes.data() + 4 * k));
    }
  }

  // Walk: every storage's sibling tree, depth first over storages.
  std::vector<bool> reached(count, false);
  reached[0] = true;
  struct Pending {
    uint32_t storage;
    int depth;
  };
  std::vector<Pending> storages{{0, 0}};
  std::vector<uint32_t> siblings;
  // Streams share no sectors, so together they claim no more than the file
  // holds; this also bounds the work of checking their chains.
  uint64_t sectorsClaimed = 0, miniSectorsClaimed = 0;
  while (!storages.empty()) {
    Pending at = storages.back();
    storages.pop_back();
    siblings.assign(1, links[at.storage].child);
    while (!siblings.empty()) {
      uint32_t id = siblings.back();
      siblings.pop_back();
      if (id == kNoStream) continue;
      if (id >= count) ThrowDamaged(source.path, "a directory link points outside the directory");
      if (reached[id]) ThrowDamaged(source.path, "a directory entry is reached twice (a cycle)");
      reached[id] = true;
      DirEntry& entry = entries[id];
      if (entry.type == kTypeStorage) {
        if (at.depth + 1 > kMaxStorageDepth)
          ThrowDamaged(source.path, "storages are nested too deep");
        storages.push_back({id, at.depth + 1});
        entry.size = 0;
      } else if (entry.type == kTypeStream) {
        bool ok = entry.size <= source.file_size;
        if (entry.size < kMiniStreamCutoff) {
          uint64_t n = (entry.size + 63) >> kMiniSectorShift;
          miniSectorsClaimed += n;
          ok = ok && miniSectorsClaimed <= miniSectors &&
               FollowChain(source.mini_fat, miniSectors, entry.start, n, nullptr);
        } else {
          uint64_t n = (entry.size + sectorSize - 1) / sectorSize;
          sectorsClaimed += n;
          ok = ok && sectorsClaimed <= source.sector_count &&
               FollowChain(source.fat, source.sector_count, entry.start, n, nullptr);
        }
        if (!ok) ThrowDamaged(source.path, "a stream's size or chain does not fit the file");
      } else {
        ThrowDamaged(source.path, "a directory entry has an unknown type or name");
      }
      entries[at.storage].children.push_back(id);
      siblings.push_back(links[id].right);
      siblings.push_back(links[id].left);
    }
  }
}

}  // namespace

Source::~Source() {
  if (fd >= 0) ::close(fd);
}

void ThrowDamaged(const std::string& path, const std::string& reason, SCODE code) {
  CFileException e(CFileException::invalidFile, code, path);
  e.m_strDetail = reason;
  throw e;
}

std::shared_ptr<Source> OpenCompoundFile(const std::string& path, std::vector<DirEntry>& entries) {
  // Only regular files are opened: opening a pipe would wait for a writer,
  // and opening a device may act on it.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    throw CFileException(CFileException::OsErrorToCause(errno), errno, path);
  auto refuseKind = [&path](mode_t mode) {
    if (S_ISDIR(mode)) {
      CFileException e(CFileException::OsErrorToCause(EISDIR), EISDIR, path);
      e.m_strDetail = "a directory";
      throw e;
    }
    CFileException e(CFileException::invalidFile, ENODEV, path);
    e.m_strDetail = S_ISFIFO(mode) ? "a named pipe" : S_ISSOCK(mode) ? "a socket" : "a device";
    throw e;
  };
  if (!S_ISREG(st.st_mode)) refuseKind(st.st_mode);
  auto source = std::make_shared<Source>();
  source->path = path;
  // Non-blocking, so a file swapped for a pipe since the check cannot hang the open.
  source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (source->fd < 0) throw CFileException(CFileException::OsErrorToCause(errno), errno, path);
  if (::fstat(source->fd, &st) != 0)
    throw CFileException(CFileException::OsErrorToCause(errno), errno, path);
  if (!S_ISREG(st.st_mode)) refuseKind(st.st_mode);
  source->file_size = static_cast<uint64_t>(st.st_size);
  uint32_t firstDirSector = 0, firstMiniFat = 0;
  ReadHeaderAndTables(*source, firstDirSector, firstMiniFat);
  ReadDirectory(*source, firstDirSector, firstMiniFat, entries);
  return source;
}

std::vector<Extent> StreamExtents(const Source& source, uint32_t start, uint64_t size) {
  std::vector<Extent> extents;
  if (size == 0) return extents;
  auto add = [&extents](uint64_t offset, uint32_t length) {
    if (!extents.empty() && extents.back().offset + extents.back().length == offset &&
        extents.back().length <= UINT32_MAX - length) {
      extents.back().length += length;
    } else {
      extents.push_back({offset, length});
    }
  };
  std::vector<uint32_t> chain;
  if (size < kMiniStreamCutoff) {
    const uint64_t miniSectors = (source.mini_container_size + 63) >> kMiniSectorShift;
    if (!FollowChain(source.mini_fat, miniSectors, start, (size + 63) >> kMiniSectorShift, &chain))
      ThrowDamaged(source.path, "a stream's chain is broken");
    uint64_t left = size;
    for (uint32_t m : chain) {
      uint64_t at = uint64_t{m} << kMiniSectorShift;  // within the container
      uint32_t sector = source.mini_container[at >> source.sector_shift];
      uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(left, 64));
      add(SectorOffset(source, sector) + (at & ((uint64_t{1} << source.sector_shift) - 1)), length);
      left -= length;
    }
  } else {
    const uint64_t sectorSize = uint64_t{1} << source.sector_shift;
    if (!FollowChain(source.fat, source.sector_count, start, (size + sectorSize - 1) / sectorSize,
                     &chain))
      ThrowDamaged(source.path, "a stream's chain is broken");
    uint64_t left = size;
    for (uint32_t s : chain) {
      uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(left, sectorSize));
      add(SectorOffset(source, s), length);
      left -= length;
    }
  }
  return extents;
}

std::u16string ToUtf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (len == 1) {
      cp = c < 0x80 ? c : 0xFFFD;
    } else if (i + len <= s.size()) {
      cp = c & (0x7F >> len);
      for (size_t k = 1; k < len; ++k) {
        auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) {
          cp = 0xFFFD;
          len = k;
          break;
        }
        cp = (cp << 6) | (d & 0x3F);
      }
    } else {
      len = 1;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

std::string ToUtf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace storage_detail
