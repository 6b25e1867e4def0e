#include "platform/core/storage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/core/compound_format.h"
#include "platform/core/exceptions.h"

namespace storage_detail {

constexpr size_t kCopyChunk = 64 * 1024;

// The overlay's spill file: append-only, so every extent stays valid while
// anyone refers to it.
struct Spill {
  int fd = -1;
  uint64_t end = 0;
  ~Spill() {
    if (fd >= 0) ::close(fd);
  }
};

// Where a stream's bytes are: in the source file or in a spill file. Both are
// immutable, so copying a stream copies this descriptor.
struct Content {
  std::shared_ptr<Source> source;
  uint32_t start = kEndOfChain;  // first sector (or mini sector) in the source
  std::shared_ptr<Spill> spill;
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct Node {
  bool is_storage = false;
  bool detached = false;  // destroyed or replaced: handles to it are dead
  std::string name;
  Content content;                                        // streams
  std::map<std::string, std::shared_ptr<Node>> children;  // storages, keyed by folded name
  std::array<uint8_t, 16> clsid{};

  Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  // Releases the subtree without recursing, however deep it is.
  ~Node() {
    std::vector<std::shared_ptr<Node>> pending;
    for (auto& [key, child] : children) pending.push_back(std::move(child));
    children.clear();
    while (!pending.empty()) {
      std::shared_ptr<Node> node = std::move(pending.back());
      pending.pop_back();
      if (node.use_count() == 1) {
        for (auto& [key, child] : node->children) pending.push_back(std::move(child));
        node->children.clear();
      }
    }
  }
};

struct FileState {
  std::string path;
  std::shared_ptr<Source> source;
  std::shared_ptr<Spill> spill;
  std::shared_ptr<Node> root;
  CCompoundFile::WriteHook hook;
};

namespace {

std::string FoldName(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

// Names hold 1 to 31 UTF-16 units and none of / \ : !
void CheckName(std::string_view name) {
  size_t units = 0;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '!') throw COleException(kStgInvalidName);
    if ((c & 0xC0) != 0x80) units += (c >= 0xF0) ? 2 : 1;
  }
  if (units == 0 || units > 31) throw COleException(kStgInvalidName);
}

void Detach(Node& top) {
  std::vector<Node*> pending{&top};
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    node->detached = true;
    for (auto& [key, child] : node->children) pending.push_back(child.get());
  }
}

std::shared_ptr<Node> Clone(const Node& top) {
  auto copyOf = [](const Node& node) {
    auto copy = std::make_shared<Node>();
    copy->is_storage = node.is_storage;
    copy->name = node.name;
    copy->content = node.content;
    copy->clsid = node.clsid;
    return copy;
  };
  auto result = copyOf(top);
  std::vector<std::pair<const Node*, Node*>> pending{{&top, result.get()}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const auto& [key, child] : from->children) {
      auto copy = copyOf(*child);
      pending.emplace_back(child.get(), copy.get());
      to->children.emplace(key, std::move(copy));
    }
  }
  return result;
}

void Insert(Node& parent, std::shared_ptr<Node> child) {
  auto key = FoldName(child->name);
  auto it = parent.children.find(key);
  if (it != parent.children.end()) {
    Detach(*it->second);
    it->second = std::move(child);
  } else {
    parent.children.emplace(std::move(key), std::move(child));
  }
}

[[noreturn]] void ThrowStreamError(SCODE sc, CFileException::Cause cause = CFileException::hardIO) {
  throw CFileException(cause, sc);
}

// ---- streams -----------------------------------------------------------------

// Reads exactly count bytes at offset of fd.
void ReadExactAt(int fd, uint64_t offset, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t r = ::pread(fd, static_cast<char*>(buffer) + done, count - done,
                        static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) ThrowStreamError(kStgReadFault);
    done += static_cast<size_t>(r);
  }
}

// A read-only stream over a Content.
class StreamReader final : public CFile {
 public:
  explicit StreamReader(Content content) : content_(std::move(content)) {
    if (!content_.spill) {
      extents_ = StreamExtents(*content_.source, content_.start, content_.size);
      starts_.reserve(extents_.size());
      uint64_t at = 0;
      for (const Extent& e : extents_) {
        starts_.push_back(at);
        at += e.length;
      }
    }
  }

  size_t Read(void* buffer, size_t count) override {
    if (position_ >= content_.size) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, content_.size - position_));
    auto* out = static_cast<uint8_t*>(buffer);
    if (content_.spill) {
      ReadExactAt(content_.spill->fd, content_.offset + position_, out, n);
    } else {
      // The piece holding position_, then the following ones.
      size_t k = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), position_) -
                                     starts_.begin()) -
                 1;
      for (size_t done = 0; done < n; ++k) {
        uint64_t within = position_ + done - starts_[k];
        size_t take =
            static_cast<size_t>(std::min<uint64_t>(n - done, extents_[k].length - within));
        ReadExactAt(content_.source->fd, extents_[k].offset + within, out + done, take);
        done += take;
      }
    }
    position_ += n;
    return n;
  }
  void Write(const void*, size_t) override {
    ThrowStreamError(kStgAccessDenied, CFileException::accessDenied);
  }
  uint64_t Seek(int64_t offset, SeekPosition from) override {
    int64_t base = from == begin     ? 0
                   : from == current ? static_cast<int64_t>(position_)
                                     : static_cast<int64_t>(content_.size);
    if (offset < -base) throw CFileException(CFileException::badSeek);
    position_ = static_cast<uint64_t>(base + offset);
    return position_;
  }
  uint64_t GetPosition() const override { return position_; }
  uint64_t GetLength() const override { return content_.size; }
  void SetLength(uint64_t) override {
    ThrowStreamError(kStgAccessDenied, CFileException::accessDenied);
  }

 private:
  Content content_;
  std::vector<Extent> extents_;
  std::vector<uint64_t> starts_;  // stream position of each extent
  uint64_t position_ = 0;
};

std::shared_ptr<Spill> NewSpill() {
  auto spill = std::make_shared<Spill>();
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec) dir = "/tmp";
  spill->fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (spill->fd < 0) {
    std::string name = dir + "/vmanim-spill-XXXXXX";
    spill->fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (spill->fd < 0) throw CFileException(CFileException::OsErrorToCause(errno), errno);
    ::unlink(name.c_str());
  }
  return spill;
}

Content AppendToSpill(FileState& file, std::span<const uint8_t> bytes) {
  if (!file.spill) file.spill = NewSpill();
  Spill& spill = *file.spill;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(spill.fd, bytes.data() + done, bytes.size() - done,
                         static_cast<off_t>(spill.end + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw CFileException(CFileException::OsErrorToCause(errno), errno);
    done += static_cast<size_t>(n);
  }
  Content content;
  content.spill = file.spill;
  content.offset = spill.end;
  content.size = bytes.size();
  spill.end += bytes.size();
  return content;
}

// A writable stream: its bytes are kept in memory and enter the storage,
// through the spill file, when it is closed.
class StreamWriter final : public CMemFile {
 public:
  StreamWriter(std::shared_ptr<FileState> file, std::shared_ptr<Node> parent, std::string name)
      : CMemFile(4096),
        file_(std::move(file)),
        parent_(std::move(parent)),
        name_(std::move(name)) {}

  void Close() override {
    if (!parent_) return;
    if (parent_->detached) throw COleException(kStgReverted);
    auto node = std::make_shared<Node>();
    node->name = name_;
    node->content = AppendToSpill(*file_, GetData());
    Insert(*parent_, std::move(node));
    Abort();
  }
  void Abort() noexcept override {
    parent_.reset();
    file_.reset();
    Detach();
  }

 private:
  std::shared_ptr<FileState> file_;
  std::shared_ptr<Node> parent_;
  std::string name_;
};

// ---- reading a file's directory -------------------------------------------------

// Opens path and builds its tree under root (iteratively; the directory has
// been checked).
std::shared_ptr<Source> ReadFileTree(const std::string& path, Node& root) {
  std::vector<DirEntry> entries;
  auto source = OpenCompoundFile(path, entries);
  root.clsid = entries[0].clsid;
  std::vector<std::pair<uint32_t, Node*>> pending{{0, &root}};
  while (!pending.empty()) {
    auto [index, node] = pending.back();
    pending.pop_back();
    for (uint32_t id : entries[index].children) {
      DirEntry& e = entries[id];
      auto child = std::make_shared<Node>();
      child->name = std::move(e.name);
      child->clsid = e.clsid;
      if (e.type == kTypeStorage) {
        child->is_storage = true;
        pending.emplace_back(id, child.get());
      } else {
        child->content.source = source;
        child->content.start = e.start;
        child->content.size = e.size;
      }
      // A second element whose name differs only in case is not reachable; keep the first.
      node->children.emplace(FoldName(child->name), std::move(child));
    }
  }
  return source;
}

// After a save: every stream of the tree reads from the new file, whose tree
// (read into fresh) has the same shape. Nothing changes unless every stream
// is matched.
void Rebase(Node& root, const Node& fresh) {
  std::vector<std::pair<Node*, const Node*>> streams;
  std::vector<std::pair<Node*, const Node*>> pending{{&root, &fresh}};
  while (!pending.empty()) {
    auto [node, now] = pending.back();
    pending.pop_back();
    if (node->children.size() != now->children.size()) return;
    for (auto& [key, child] : node->children) {
      auto it = now->children.find(key);
      if (it == now->children.end() || it->second->is_storage != child->is_storage) return;
      (child->is_storage ? pending : streams).emplace_back(child.get(), it->second.get());
    }
  }
  for (auto& [node, now] : streams) node->content = now->content;
}

// ---- writing a file ------------------------------------------------------------

class SaveFailed {};

// The tree as the entries the file will hold; refuses what a reader would
// refuse (nesting, entry count) before anything is written.
struct Flattened {
  std::vector<OutEntry> entries;
  std::vector<const Content*> contents;
};

Flattened Flatten(const Node& root, const std::string& path) {
  Flattened out;
  out.entries.emplace_back();
  out.entries[0].type = kTypeRoot;
  out.entries[0].clsid = root.clsid;
  out.contents.push_back(nullptr);
  struct Pending {
    const Node* node;
    uint32_t index;
    int depth;
  };
  std::vector<Pending> pending{{&root, 0, 0}};
  auto refuse = [&path](const char* reason) {
    CFileException e(CFileException::genericException, kStgDocFileTooLarge, path);
    e.m_strDetail = reason;
    throw e;
  };
  while (!pending.empty()) {
    Pending at = pending.back();
    pending.pop_back();
    for (const auto& [key, child] : at.node->children) {
      if (out.entries.size() >= kMaxEntries) refuse("more elements than a file may hold");
      auto index = static_cast<uint32_t>(out.entries.size());
      OutEntry e;
      e.name = ToUtf16(child->name);
      e.type = child->is_storage ? kTypeStorage : kTypeStream;
      e.clsid = child->clsid;
      e.size = child->is_storage ? 0 : child->content.size;
      out.entries.push_back(std::move(e));
      out.contents.push_back(child->is_storage ? nullptr : &child->content);
      out.entries[at.index].children.push_back(index);
      if (child->is_storage) {
        if (at.depth + 1 > kMaxStorageDepth) refuse("storages nested deeper than a file may hold");
        pending.push_back({child.get(), index, at.depth + 1});
      }
    }
  }
  return out;
}

// Writes the new file to a descriptor, with the test hook in front of each write.
class SaveWriter final : public CompoundWriter {
 public:
  SaveWriter(int fd, const CCompoundFile::WriteHook& hook, const Flattened& tree)
      : fd_(fd), hook_(hook), tree_(tree) {}

  void Write(const uint8_t* bytes, size_t count) override {
    if (hook_ && !hook_(offset_, count)) Fail(ENOSPC);
    size_t done = 0;
    while (done < count) {
      ssize_t n = ::pwrite(fd_, bytes + done, count - done, static_cast<off_t>(offset_ + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail(n < 0 ? errno : EIO);
      done += static_cast<size_t>(n);
    }
    offset_ += count;
  }
  void WriteStreamContent(uint32_t entry, uint64_t size, ByteSink& sink) override {
    StreamReader reader(*tree_.contents[entry]);
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(size, kCopyChunk)));
    for (uint64_t left = size; left > 0;) {
      size_t n =
          reader.Read(chunk.data(), static_cast<size_t>(std::min<uint64_t>(left, chunk.size())));
      if (n == 0) ThrowStreamError(kStgReadFault);
      sink.Put(chunk.data(), n);
      left -= n;
    }
  }
  int Error() const { return error_; }

 private:
  [[noreturn]] void Fail(int err) {
    error_ = err;
    throw SaveFailed();
  }
  int fd_;
  const CCompoundFile::WriteHook& hook_;
  const Flattened& tree_;
  uint64_t offset_ = 0;
  int error_ = 0;
};

[[noreturn]] void ThrowOsError(int err, const std::string& path, const char* detail = nullptr) {
  CFileException e(CFileException::OsErrorToCause(err), err, path);
  if (detail != nullptr) e.m_strDetail = detail;
  throw e;
}

// The file a save of path writes: symbolic links are followed (a dangling
// one to where it points), so the link stays a link.
std::string ResolveLinks(const std::string& path) {
  std::filesystem::path p(path);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p.string();
    std::error_code ec;
    std::filesystem::path target = std::filesystem::read_symlink(p, ec);
    if (ec) ThrowOsError(ec.value(), path);
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  ThrowOsError(ELOOP, path);
}

// The temporary files of saves of `name` are "." + name + ".vmsave-" and six
// characters; a name too long for that is shortened and told apart by a hash,
// so the temporary name fits wherever the document's name does.
std::string TempPrefix(const std::string& name) {
  constexpr size_t kNameMax = 255, kSuffix = 8 + 6;  // ".vmsave-" and XXXXXX
  if (1 + name.size() + kSuffix <= kNameMax) return "." + name + ".vmsave-";
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return "." + name.substr(0, kNameMax - kSuffix - 1 - 1 - 16) + "~" + hex + ".vmsave-";
}

// Removes temporary files that earlier saves of the same document left (a
// killed save). A save in progress holds a lock on its file; those are kept.
void RemoveLeftovers(const std::string& dir, const std::string& prefix) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(entry.path().c_str());
    ::close(fd);
  }
}

// Whether this user may replace the file: its write permission, as editors
// honour it (also for the superuser, for whom a file without any write bit is
// read-only).
bool MayWrite(const std::string& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & 0222) != 0;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes the whole tree to a temporary file beside the target and renames it
// over the target.
void WriteFile(const FileState& state, const std::string& path) {
  const std::string target = ResolveLinks(path);
  struct stat old;
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode))
    ThrowOsError(S_ISDIR(old.st_mode) ? EISDIR : EACCES, path, "not a regular file");
  if (exists && !MayWrite(target, old)) {
    CFileException e(CFileException::readOnly, EACCES, path);
    e.m_strDetail = "the file is read-only";
    throw e;
  }
  Flattened tree = Flatten(*state.root, path);

  std::filesystem::path targetPath(target);
  std::string dir = targetPath.has_parent_path() ? targetPath.parent_path().string() : ".";
  std::string prefix = TempPrefix(targetPath.filename().string());
  RemoveLeftovers(dir, prefix);
  std::string temp = dir + "/" + prefix + "XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) ThrowOsError(errno, path);
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    ThrowOsError(err != 0 ? err : EIO, path);
  };
  ::flock(fd, LOCK_EX);
  mode_t mode;
  if (exists) {
    // Keep the owner and group where this process may set them.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
      (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd, mode) != 0) fail(errno);

  SaveWriter writer(fd, state.hook, tree);
  try {
    WriteCompoundFile(tree.entries, writer);
  } catch (const SaveFailed&) {
    fail(writer.Error());
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::fsync(fd) != 0) fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) fail(errno);
  ::close(fd);
  int dirfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd >= 0) {
    ::fsync(dirfd);
    ::close(dirfd);
  }
}

}  // namespace
}  // namespace storage_detail

using namespace storage_detail;

// ---- CStorage ------------------------------------------------------------------

Node& CStorage::Live() const {
  if (!m_node || m_node->detached) throw COleException(kStgReverted);
  return *m_node;
}

static std::shared_ptr<Node> FindChild(const Node& node, std::string_view name) {
  auto it = node.children.find(FoldName(name));
  return it == node.children.end() ? nullptr : it->second;
}

std::unique_ptr<CFile> CStorage::OpenStream(std::string_view name) const {
  auto child = FindChild(Live(), name);
  if (!child || child->is_storage) {
    throw CFileException(CFileException::fileNotFound, kStgFileNotFound, std::string(name));
  }
  return std::make_unique<StreamReader>(child->content);
}

std::unique_ptr<CFile> CStorage::CreateStream(std::string_view name) {
  Live();
  CheckName(name);
  return std::make_unique<StreamWriter>(m_file, m_node, std::string(name));
}

CStorage CStorage::OpenStorage(std::string_view name) const {
  auto child = FindChild(Live(), name);
  if (!child || !child->is_storage) throw COleException(kStgFileNotFound);
  return CStorage(m_file, child);
}

CStorage CStorage::CreateStorage(std::string_view name) {
  Node& node = Live();
  CheckName(name);
  auto child = std::make_shared<Node>();
  child->is_storage = true;
  child->name = std::string(name);
  Insert(node, child);
  return CStorage(m_file, child);
}

void CStorage::DestroyElement(std::string_view name) {
  Node& node = Live();
  auto it = node.children.find(FoldName(name));
  if (it == node.children.end()) throw COleException(kStgFileNotFound);
  Detach(*it->second);
  node.children.erase(it);
}

bool CStorage::HasElement(std::string_view name) const {
  return FindChild(Live(), name) != nullptr;
}

std::vector<CStorageElement> CStorage::EnumElements() const {
  std::vector<CStorageElement> out;
  for (const auto& [key, child] : Live().children) {
    out.push_back({child->name, child->is_storage, child->is_storage ? 0 : child->content.size});
  }
  return out;
}

std::array<uint8_t, 16> CStorage::GetClassId() const {
  return Live().clsid;
}

void CStorage::SetClassId(const std::array<uint8_t, 16>& id) {
  Live().clsid = id;
}

void CStorage::CopyElementTo(std::string_view name, CStorage& dest,
                             std::string_view newName) const {
  auto child = FindChild(Live(), name);
  if (!child) throw COleException(kStgFileNotFound);
  Node& target = dest.Live();
  if (!newName.empty()) CheckName(newName);
  auto copy = Clone(*child);  // a snapshot, so copying a storage into itself ends
  if (!newName.empty()) copy->name = std::string(newName);
  Insert(target, std::move(copy));
}

// ---- CCompoundFile --------------------------------------------------------------

CCompoundFile::CCompoundFile() : m_state(std::make_shared<FileState>()) {
  m_state->root = std::make_shared<Node>();
  m_state->root->is_storage = true;
}

CCompoundFile::~CCompoundFile() = default;

std::unique_ptr<CCompoundFile> CCompoundFile::Open(const std::string& path) {
  std::unique_ptr<CCompoundFile> file(new CCompoundFile());
  file->m_state->source = ReadFileTree(path, *file->m_state->root);
  file->m_state->path = path;
  return file;
}

std::unique_ptr<CCompoundFile> CCompoundFile::CreateTemporary() {
  return std::unique_ptr<CCompoundFile>(new CCompoundFile());
}

CStorage CCompoundFile::GetRootStorage() const {
  return CStorage(m_state, m_state->root);
}

const std::string& CCompoundFile::GetPath() const {
  return m_state->path;
}

void CCompoundFile::Save() {
  if (m_state->path.empty()) throw CNotSupportedException();
  SaveAs(m_state->path);
}

void CCompoundFile::SaveAs(const std::string& path) {
  WriteFile(*m_state, path);
  m_state->path = path;
  // The new file becomes the source and the overlay is emptied. Should it not
  // open, the tree keeps reading from the old source and spill, which still hold
  // the same bytes.
  try {
    Node fresh;
    auto source = ReadFileTree(path, fresh);
    Rebase(*m_state->root, fresh);
    m_state->source = std::move(source);
    m_state->spill.reset();
  } catch (const CException&) {
  }
}

void CCompoundFile::SetWriteHook(WriteHook hook) {
  m_state->hook = std::move(hook);
}
