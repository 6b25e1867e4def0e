#include "platform/core/storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include "platform/core/exceptions.h"

namespace storage_detail {

// Directory depth accepted when reading a file (a hostile file cannot recurse deeper).
constexpr int kMaxStorageDepth = 64;
constexpr size_t kCopyChunk = 64 * 1024;

void InitGsf() {
  static const bool done = [] {
    gsf_init();
    return true;
  }();
  (void)done;
}

// A GObject reference released on scope exit.
template <class T>
class GRef {
 public:
  GRef() = default;
  explicit GRef(T* p) : p_(p) {}
  ~GRef() { reset(); }
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  GRef(GRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  T* get() const { return p_; }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void reset(T* p = nullptr) {
    if (p_ != nullptr) g_object_unref(p_);
    p_ = p;
  }

 private:
  T* p_ = nullptr;
};

// An opened compound file that original streams are read from.
struct Source {
  GsfInfile* root = nullptr;
  std::string path;
  ~Source() {
    if (root != nullptr) g_object_unref(root);
  }
};

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
  std::vector<std::string> path;  // names from the source's root
  std::shared_ptr<Spill> spill;
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct Node {
  bool isStorage = false;
  bool detached = false;  // destroyed or replaced: handles to it are dead
  std::string name;
  Content content;                                        // streams
  std::map<std::string, std::shared_ptr<Node>> children;  // storages, keyed by folded name
  std::array<uint8_t, 16> clsid{};
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

void Detach(Node& node) {
  node.detached = true;
  for (auto& [key, child] : node.children) Detach(*child);
}

std::shared_ptr<Node> Clone(const Node& node) {
  auto copy = std::make_shared<Node>();
  copy->isStorage = node.isStorage;
  copy->name = node.name;
  copy->content = node.content;
  copy->clsid = node.clsid;
  for (const auto& [key, child] : node.children) copy->children.emplace(key, Clone(*child));
  return copy;
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

// Opens the source stream at path (a new reference).
GsfInput* OpenSourceInput(const Source& source, const std::vector<std::string>& path) {
  GRef<GsfInput> current(reinterpret_cast<GsfInput*>(g_object_ref(source.root)));
  for (const auto& name : path) {
    if (!GSF_IS_INFILE(current.get())) ThrowStreamError(kStgReadFault, CFileException::invalidFile);
    GsfInput* child = gsf_infile_child_by_name(GSF_INFILE(current.get()), name.c_str());
    if (child == nullptr) ThrowStreamError(kStgReadFault, CFileException::invalidFile);
    current.reset(child);
  }
  return current.release();
}

// ---- streams -----------------------------------------------------------------

// A read-only stream over a Content.
class StreamReader final : public CFile {
 public:
  explicit StreamReader(Content content) : content_(std::move(content)) {
    if (!content_.spill) {
      input_.reset(OpenSourceInput(*content_.source, content_.path));
      if (static_cast<uint64_t>(gsf_input_size(input_.get())) < content_.size) {
        ThrowStreamError(kStgReadFault, CFileException::invalidFile);
      }
    }
  }

  size_t Read(void* buffer, size_t count) override {
    if (position_ >= content_.size) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, content_.size - position_));
    if (content_.spill) {
      size_t done = 0;
      while (done < n) {
        ssize_t r = ::pread(content_.spill->fd, static_cast<char*>(buffer) + done, n - done,
                            static_cast<off_t>(content_.offset + position_ + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) ThrowStreamError(kStgReadFault);
        done += static_cast<size_t>(r);
      }
    } else {
      if (gsf_input_tell(input_.get()) != static_cast<gsf_off_t>(position_) &&
          gsf_input_seek(input_.get(), static_cast<gsf_off_t>(position_), G_SEEK_SET)) {
        ThrowStreamError(kStgReadFault);
      }
      if (n > 0 && gsf_input_read(input_.get(), n, static_cast<guint8*>(buffer)) == nullptr) {
        ThrowStreamError(kStgReadFault);
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
  GRef<GsfInput> input_;
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

void ReadDirectory(const std::shared_ptr<Source>& source, GsfInfile* dir,
                   std::vector<std::string>& path, Node& node, int depth) {
  if (depth > kMaxStorageDepth)
    throw CFileException(CFileException::invalidFile, kStgReadFault, source->path);
  if (GSF_IS_INFILE_MSOLE(dir))
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(dir), node.clsid.data());
  int count = gsf_infile_num_children(dir);
  for (int i = 0; i < count; ++i) {
    const char* name = gsf_infile_name_by_index(dir, i);
    GRef<GsfInput> child(gsf_infile_child_by_index(dir, i));
    if (name == nullptr || child.get() == nullptr) {
      throw CFileException(CFileException::invalidFile, kStgReadFault, source->path);
    }
    auto entry = std::make_shared<Node>();
    entry->name = name;
    path.push_back(entry->name);
    if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
      entry->isStorage = true;
      ReadDirectory(source, GSF_INFILE(child.get()), path, *entry, depth + 1);
    } else {
      entry->content.source = source;
      entry->content.path = path;
      gsf_off_t size = gsf_input_size(child.get());
      entry->content.size = size > 0 ? static_cast<uint64_t>(size) : 0;
    }
    path.pop_back();
    // A second element whose name differs only in case is not reachable; keep the first.
    node.children.emplace(FoldName(entry->name), std::move(entry));
  }
}

std::shared_ptr<Source> OpenSource(const std::string& path) {
  InitGsf();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw CFileException(CFileException::OsErrorToCause(errno), errno, path);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw CFileException(CFileException::accessDenied, EISDIR, path);
  }
  FILE* fp = ::fdopen(fd, "rb");
  if (fp == nullptr) {
    int err = errno;
    ::close(fd);
    throw CFileException(CFileException::OsErrorToCause(err), err, path);
  }
  GRef<GsfInput> input(gsf_input_stdio_new_FILE(path.c_str(), fp, FALSE));
  if (input.get() == nullptr) {
    std::fclose(fp);
    throw CFileException(CFileException::invalidFile, kStgReadFault, path);
  }
  GError* error = nullptr;
  GsfInfile* root = gsf_infile_msole_new(input.get(), &error);
  if (error != nullptr) g_error_free(error);
  if (root == nullptr)
    throw CFileException(CFileException::invalidFile, kStgFileAlreadyExists, path);
  auto source = std::make_shared<Source>();
  source->root = root;
  source->path = path;
  return source;
}

// After a save: every stream of the tree now reads from the new file.
void Rebase(const std::shared_ptr<Source>& source, std::vector<std::string>& path, Node& node) {
  for (auto& [key, child] : node.children) {
    path.push_back(child->name);
    if (child->isStorage) {
      Rebase(source, path, *child);
    } else {
      Content content;
      content.source = source;
      content.path = path;
      content.size = child->content.size;
      child->content = std::move(content);
    }
    path.pop_back();
  }
}

// ---- writing a file ------------------------------------------------------------

// The FILE that libgsf writes the new file through: plain writes to a
// descriptor, with the test hook in front of each.
struct SaveSink {
  int fd = -1;
  uint64_t offset = 0;
  int error = 0;  // first errno met
  const CCompoundFile::WriteHook* hook = nullptr;

  static ssize_t WriteFn(void* cookie, const char* buf, size_t size) {
    auto* s = static_cast<SaveSink*>(cookie);
    if (s->error != 0) {
      errno = s->error;
      return 0;
    }
    if (s->hook != nullptr && *s->hook && !(*s->hook)(s->offset, size)) {
      s->error = ENOSPC;
      errno = ENOSPC;
      return 0;
    }
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::pwrite(s->fd, buf + done, size - done, static_cast<off_t>(s->offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        s->error = n < 0 ? errno : EIO;
        errno = s->error;
        return 0;
      }
      done += static_cast<size_t>(n);
    }
    s->offset += size;
    return static_cast<ssize_t>(size);
  }

  static int SeekFn(void* cookie, off64_t* pos, int whence) {
    auto* s = static_cast<SaveSink*>(cookie);
    int64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<int64_t>(s->offset)
                                        : -1;
    if (whence == SEEK_END) {
      struct stat st;
      if (::fstat(s->fd, &st) != 0) return -1;
      base = st.st_size;
    }
    if (base < 0 || base + *pos < 0) {
      errno = EINVAL;
      return -1;
    }
    s->offset = static_cast<uint64_t>(base + *pos);
    *pos = static_cast<off64_t>(s->offset);
    return 0;
  }
};

class SaveFailed {};

void CheckOutput(GsfOutput* out, const SaveSink& sink, gboolean ok) {
  if (!ok || sink.error != 0 || gsf_output_error(out) != nullptr) throw SaveFailed();
}

void WriteStream(GsfOutput* out, const SaveSink& sink, const Content& content) {
  StreamReader reader(content);
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(content.size, kCopyChunk)));
  uint64_t left = content.size;
  while (left > 0) {
    size_t n =
        reader.Read(chunk.data(), static_cast<size_t>(std::min<uint64_t>(left, chunk.size())));
    if (n == 0) ThrowStreamError(kStgReadFault);
    CheckOutput(out, sink, gsf_output_write(out, n, chunk.data()));
    left -= n;
  }
}

void WriteDirectory(GsfOutfile* dir, const SaveSink& sink, const Node& node) {
  gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(dir), node.clsid.data());
  for (const auto& [key, child] : node.children) {
    GRef<GsfOutput> out(gsf_outfile_new_child(dir, child->name.c_str(), child->isStorage));
    if (out.get() == nullptr) throw SaveFailed();
    try {
      if (child->isStorage) {
        WriteDirectory(GSF_OUTFILE(out.get()), sink, *child);
      } else {
        WriteStream(out.get(), sink, child->content);
      }
    } catch (...) {
      gsf_output_close(out.get());
      throw;
    }
    CheckOutput(out.get(), sink, gsf_output_close(out.get()));
  }
}

mode_t NewFileMode(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Writes the whole tree to a temporary file beside path and renames it over path.
void WriteFile(const FileState& state, const std::string& path) {
  InitGsf();
  std::filesystem::path target(path);
  std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
  std::string temp = dir + "/." + target.filename().string() + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw CFileException(CFileException::OsErrorToCause(errno), errno, path);

  SaveSink sink;
  sink.fd = fd;
  sink.hook = &state.hook;
  FILE* fp = nullptr;
  auto fail = [&](int err) {
    if (fp != nullptr) std::fclose(fp);
    ::close(fd);
    ::unlink(temp.c_str());
    if (err == 0) err = EIO;
    throw CFileException(CFileException::OsErrorToCause(err), err, path);
  };

  if (::fchmod(fd, NewFileMode(path)) != 0) fail(errno);
  cookie_io_functions_t io{};
  io.write = &SaveSink::WriteFn;
  io.seek = &SaveSink::SeekFn;
  fp = ::fopencookie(&sink, "w", io);
  if (fp == nullptr) fail(errno);
  try {
    GRef<GsfOutput> output(gsf_output_stdio_new_FILE(temp.c_str(), fp, TRUE));
    if (output.get() == nullptr) throw SaveFailed();
    GRef<GsfOutfile> outfile(gsf_outfile_msole_new(output.get()));
    if (outfile.get() == nullptr) throw SaveFailed();
    try {
      WriteDirectory(outfile.get(), sink, *state.root);
    } catch (...) {
      gsf_output_close(GSF_OUTPUT(outfile.get()));
      if (!gsf_output_is_closed(output.get())) gsf_output_close(output.get());
      throw;
    }
    // Closing the compound file writes its tables and closes the sink.
    CheckOutput(GSF_OUTPUT(outfile.get()), sink, gsf_output_close(GSF_OUTPUT(outfile.get())));
    if (!gsf_output_is_closed(output.get())) {
      CheckOutput(output.get(), sink, gsf_output_close(output.get()));
    }
    CheckOutput(output.get(), sink, TRUE);
  } catch (const SaveFailed&) {
    fail(sink.error);
  } catch (...) {
    std::fclose(fp);
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  int flushed = std::fclose(fp);
  fp = nullptr;
  if (flushed != 0 || sink.error != 0) fail(sink.error != 0 ? sink.error : errno);
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    fd = -1;
    int err = errno;
    ::unlink(temp.c_str());
    throw CFileException(CFileException::OsErrorToCause(err), err, path);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    throw CFileException(CFileException::OsErrorToCause(err), err, path);
  }
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
  if (!node_ || node_->detached) throw COleException(kStgReverted);
  return *node_;
}

static std::shared_ptr<Node> FindChild(const Node& node, std::string_view name) {
  auto it = node.children.find(FoldName(name));
  return it == node.children.end() ? nullptr : it->second;
}

std::unique_ptr<CFile> CStorage::OpenStream(std::string_view name) const {
  auto child = FindChild(Live(), name);
  if (!child || child->isStorage) {
    throw CFileException(CFileException::fileNotFound, kStgFileNotFound, std::string(name));
  }
  return std::make_unique<StreamReader>(child->content);
}

std::unique_ptr<CFile> CStorage::CreateStream(std::string_view name) {
  Live();
  CheckName(name);
  return std::make_unique<StreamWriter>(file_, node_, std::string(name));
}

CStorage CStorage::OpenStorage(std::string_view name) const {
  auto child = FindChild(Live(), name);
  if (!child || !child->isStorage) throw COleException(kStgFileNotFound);
  return CStorage(file_, child);
}

CStorage CStorage::CreateStorage(std::string_view name) {
  Node& node = Live();
  CheckName(name);
  auto child = std::make_shared<Node>();
  child->isStorage = true;
  child->name = std::string(name);
  Insert(node, child);
  return CStorage(file_, child);
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
    out.push_back({child->name, child->isStorage, child->isStorage ? 0 : child->content.size});
  }
  return out;
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

CCompoundFile::CCompoundFile() : state_(std::make_shared<FileState>()) {
  state_->root = std::make_shared<Node>();
  state_->root->isStorage = true;
}

CCompoundFile::~CCompoundFile() = default;

std::unique_ptr<CCompoundFile> CCompoundFile::Open(const std::string& path) {
  std::unique_ptr<CCompoundFile> file(new CCompoundFile());
  auto source = OpenSource(path);
  std::vector<std::string> names;
  ReadDirectory(source, source->root, names, *file->state_->root, 0);
  file->state_->source = std::move(source);
  file->state_->path = path;
  return file;
}

std::unique_ptr<CCompoundFile> CCompoundFile::CreateTemporary() {
  return std::unique_ptr<CCompoundFile>(new CCompoundFile());
}

CStorage CCompoundFile::GetRootStorage() const {
  return CStorage(state_, state_->root);
}

const std::string& CCompoundFile::GetPath() const {
  return state_->path;
}

void CCompoundFile::Save() {
  if (state_->path.empty()) throw CNotSupportedException();
  SaveAs(state_->path);
}

void CCompoundFile::SaveAs(const std::string& path) {
  WriteFile(*state_, path);
  state_->path = path;
  // The new file becomes the source and the overlay is emptied. Should it not
  // open, the tree keeps reading from the old source and spill, which still hold
  // the same bytes.
  try {
    auto source = OpenSource(path);
    std::vector<std::string> names;
    Rebase(source, names, *state_->root);
    state_->source = std::move(source);
    state_->spill.reset();
  } catch (const CException&) {
  }
}

void CCompoundFile::SetWriteHook(WriteHook hook) {
  state_->hook = std::move(hook);
}
