#include "platform/core/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "platform/core/exceptions.h"

// ---- CDiskFile ---------------------------------------------------------------

CDiskFile::~CDiskFile() {
  Abort();
}

void CDiskFile::ThrowOsError(int errnum) const {
  throw CFileException(CFileException::OsErrorToCause(errnum), errnum, path_);
}

void CDiskFile::Open(const std::string& path, unsigned flags) {
  Abort();
  path_ = path;
  int oflags = O_CLOEXEC;
  switch (flags & 3) {
    case modeWrite:
      oflags |= O_WRONLY;
      break;
    case modeReadWrite:
      oflags |= O_RDWR;
      break;
    default:
      oflags |= O_RDONLY;
      break;
  }
  if (flags & modeCreate) {
    oflags |= O_CREAT;
    if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
  }
  int fd = ::open(path.c_str(), oflags, 0666);
  if (fd < 0) ThrowOsError(errno);
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    ThrowOsError(EISDIR);
  }
  fd_ = fd;
}

size_t CDiskFile::Read(void* buffer, size_t count) {
  if (fd_ < 0) ThrowOsError(EBADF);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowOsError(errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void CDiskFile::Write(const void* buffer, size_t count) {
  if (fd_ < 0) ThrowOsError(EBADF);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowOsError(errno);
    }
    done += static_cast<size_t>(n);
  }
}

uint64_t CDiskFile::Seek(int64_t offset, SeekPosition from) {
  if (fd_ < 0) ThrowOsError(EBADF);
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (pos < 0) ThrowOsError(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CDiskFile::GetPosition() const {
  if (fd_ < 0) ThrowOsError(EBADF);
  off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) ThrowOsError(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CDiskFile::GetLength() const {
  if (fd_ < 0) ThrowOsError(EBADF);
  struct stat st;
  if (::fstat(fd_, &st) != 0) ThrowOsError(errno);
  return static_cast<uint64_t>(st.st_size);
}

void CDiskFile::SetLength(uint64_t length) {
  if (fd_ < 0) ThrowOsError(EBADF);
  if (length > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) ThrowOsError(EFBIG);
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) ThrowOsError(errno);
}

void CDiskFile::Flush() {
  if (fd_ >= 0 && ::fsync(fd_) != 0 && errno != EINVAL) ThrowOsError(errno);
}

void CDiskFile::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) ThrowOsError(errno);
}

void CDiskFile::Abort() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// ---- CMemFile ----------------------------------------------------------------

CMemFile::CMemFile(size_t growBytes) : growBytes_(std::max<size_t>(growBytes, 1)) {}

CMemFile::CMemFile(std::span<const uint8_t> bytes, size_t growBytes) : CMemFile(growBytes) {
  Reserve(bytes.size());
  data_.assign(bytes.begin(), bytes.end());
}

void CMemFile::Reserve(uint64_t size) {
  if (size <= data_.capacity()) return;
  // Grow by whole steps, and at least geometrically so that appends stay linear.
  uint64_t steps = (size + growBytes_ - 1) / growBytes_;
  uint64_t wanted = std::max<uint64_t>(steps * growBytes_, data_.capacity() + data_.capacity() / 2);
  if (wanted > data_.max_size()) throw CMemoryException();
  try {
    data_.reserve(static_cast<size_t>(wanted));
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  } catch (const std::length_error&) {
    throw CMemoryException();
  }
}

size_t CMemFile::Read(void* buffer, size_t count) {
  if (position_ >= data_.size() || count == 0) return 0;
  size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

void CMemFile::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (count > data_.max_size() - position_) throw CMemoryException();
  size_t end = position_ + count;
  if (end > data_.size()) {
    Reserve(end);
    data_.resize(end);
  }
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = end;
}

uint64_t CMemFile::Seek(int64_t offset, SeekPosition from) {
  int64_t base = from == begin     ? 0
                 : from == current ? static_cast<int64_t>(position_)
                                   : static_cast<int64_t>(data_.size());
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && offset > std::numeric_limits<int64_t>::max() - base)) {
    throw CFileException(CFileException::badSeek);
  }
  uint64_t target = static_cast<uint64_t>(base + offset);
  if (target > data_.max_size()) throw CFileException(CFileException::badSeek);
  // Seeking past the end is allowed; the gap is zero-filled by the next write.
  position_ = static_cast<size_t>(target);
  return position_;
}

void CMemFile::SetLength(uint64_t length) {
  if (length > data_.max_size()) throw CMemoryException();
  Reserve(length);
  data_.resize(static_cast<size_t>(length));
  position_ = std::min(position_, data_.size());
}

std::vector<uint8_t> CMemFile::Detach() {
  std::vector<uint8_t> out;
  out.swap(data_);
  position_ = 0;
  return out;
}
