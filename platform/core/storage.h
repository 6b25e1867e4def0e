// Compound files (the container of native documents), read and written by
// the platform itself.
//
// CCompoundFile opens a file read-only and keeps every change in an overlay:
// created or replaced streams are kept in a temporary spill file (so storing
// a swapped-out page frees its memory), destroyed elements are dropped from
// the in-memory directory tree. Save()/SaveAs() write a complete new file
// beside the target, copying untouched streams from the old one, and rename
// it over the target only when everything was written: a failed save never
// damages the file the user had. After a save the overlay is empty and the
// new file is the source.
//
// Opening checks the whole directory first (entry count, links, cycles,
// types, sizes, nesting) and refuses a damaged file rather than showing part
// of it; only regular files are opened. Saving follows symbolic links (the
// link stays a link), refuses a file without write permission, keeps the
// file's owner, group and mode where it may, and removes temporary files an
// interrupted earlier save of the same document left behind. Saving gives
// the document a new file: other hard links keep the old contents.
//
// CStorage is a handle to one storage (directory) of the tree, the root or a
// sub-storage; handles stay valid across saves. Element names are matched
// without regard to ASCII case, as compound files do.
//
// Failures: opening a missing, unreadable or damaged file throws
// CFileException (m_strDetail says what was wrong with a damaged one);
// a missing stream on OpenStream throws CFileException::fileNotFound; stream
// reads that fail throw CFileException (m_lOsError holds the storage code);
// other storage calls throw COleException with the storage result code;
// save failures throw CFileException with the cause of the failing write
// (readOnly for a file the user may not write).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/file.h"

namespace storage_detail {
struct FileState;
struct Node;
}  // namespace storage_detail

struct CStorageElement {
  std::string name;
  bool isStorage = false;
  uint64_t size = 0;  // bytes of a stream; 0 for a storage
};

class CStorage {
 public:
  CStorage() = default;
  bool IsValid() const { return m_node != nullptr; }

  // A read-only stream positioned at its start.
  std::unique_ptr<CFile> OpenStream(std::string_view name) const;
  // A new, empty, writable stream. Its contents replace any element of that
  // name when the stream is closed (Close); Abort or destruction discards them.
  std::unique_ptr<CFile> CreateStream(std::string_view name);
  // A sub-storage; changes through it are changes of this file.
  CStorage OpenStorage(std::string_view name) const;
  // A new, empty sub-storage, replacing any element of that name.
  CStorage CreateStorage(std::string_view name);
  void DestroyElement(std::string_view name);
  bool HasElement(std::string_view name) const;
  // The elements, in the file's name order.
  std::vector<CStorageElement> EnumElements() const;
  // The storage's class identifier (16 bytes as stored; zero when none).
  std::array<uint8_t, 16> GetClassId() const;
  void SetClassId(const std::array<uint8_t, 16>& id);
  // Copies a stream, or a sub-storage with everything in it, into dest (of
  // this or another compound file) under newName (the same name when empty),
  // replacing any element of that name there.
  void CopyElementTo(std::string_view name, CStorage& dest, std::string_view newName = {}) const;

 private:
  friend class CCompoundFile;
  CStorage(std::shared_ptr<storage_detail::FileState> file,
           std::shared_ptr<storage_detail::Node> node)
      : m_file(std::move(file)), m_node(std::move(node)) {}
  storage_detail::Node& Live() const;

  std::shared_ptr<storage_detail::FileState> m_file;
  std::shared_ptr<storage_detail::Node> m_node;
};

class CCompoundFile {
 public:
  // Called before every write to a file being saved, with the file offset
  // and the byte count; returning false fails that write as a full disk would.
  using WriteHook = std::function<bool(uint64_t offset, size_t count)>;

  ~CCompoundFile();
  CCompoundFile(const CCompoundFile&) = delete;
  CCompoundFile& operator=(const CCompoundFile&) = delete;

  // Opens an existing compound file for reading; changes stay in the overlay
  // until saved.
  static std::unique_ptr<CCompoundFile> Open(const std::string& path);
  // An empty compound file with no path (untitled documents).
  static std::unique_ptr<CCompoundFile> CreateTemporary();

  CStorage GetRootStorage() const;
  const std::string& GetPath() const;  // empty while temporary
  bool IsTemporary() const { return GetPath().empty(); }

  // Writes the file to its path (CNotSupportedException while temporary).
  void Save();
  // Writes the file to path; on success path becomes the file's path.
  void SaveAs(const std::string& path);

  void SetWriteHook(WriteHook hook);

 private:
  CCompoundFile();
  std::shared_ptr<storage_detail::FileState> m_state;
};
