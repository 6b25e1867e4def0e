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
  throw CFileException(CFileException::OsErrorToCause(errnum), errnum, m_path);
}

void CDiskFile::Open(const std::string& path, unsigned flags) {
  Abort();
  m_path = path;
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
  m_fd = fd;
}

size_t CDiskFile::Read(void* buffer, size_t count) {
  if (m_fd < 0) ThrowOsError(EBADF);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(m_fd, static_cast<char*>(buffer) + done, count - done);
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
  if (m_fd < 0) ThrowOsError(EBADF);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(m_fd, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowOsError(errno);
    }
    done += static_cast<size_t>(n);
  }
}

uint64_t CDiskFile::Seek(int64_t offset, SeekPosition from) {
  if (m_fd < 0) ThrowOsError(EBADF);
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
  if (pos < 0) ThrowOsError(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CDiskFile::GetPosition() const {
  if (m_fd < 0) ThrowOsError(EBADF);
  off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
  if (pos < 0) ThrowOsError(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CDiskFile::GetLength() const {
  if (m_fd < 0) ThrowOsError(EBADF);
  struct stat st;
  if (::fstat(m_fd, &st) != 0) ThrowOsError(errno);
  return static_cast<uint64_t>(st.st_size);
}

void CDiskFile::SetLength(uint64_t length) {
  if (m_fd < 0) ThrowOsError(EBADF);
  if (length > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) ThrowOsError(EFBIG);
  if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) ThrowOsError(errno);
}

void CDiskFile::Flush() {
  if (m_fd >= 0 && ::fsync(m_fd) != 0 && errno != EINVAL) ThrowOsError(errno);
}

void CDiskFile::Close() {
  if (m_fd < 0) return;
  int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0 && errno != EINTR) ThrowOsError(errno);
}

void CDiskFile::Abort() noexcept {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

// ---- CMemFile ----------------------------------------------------------------

CMemFile::CMemFile(size_t growBytes) : m_growBytes(std::max<size_t>(growBytes, 1)) {}

CMemFile::CMemFile(std::span<const uint8_t> bytes, size_t growBytes) : CMemFile(growBytes) {
  Reserve(bytes.size());
  m_data.assign(bytes.begin(), bytes.end());
}

void CMemFile::Reserve(uint64_t size) {
  if (size <= m_data.capacity()) return;
  // Grow by whole steps, and at least geometrically so that appends stay linear.
  uint64_t steps = (size + m_growBytes - 1) / m_growBytes;
  uint64_t wanted =
      std::max<uint64_t>(steps * m_growBytes, m_data.capacity() + m_data.capacity() / 2);
  if (wanted > m_data.max_size()) throw CMemoryException();
  try {
    m_data.reserve(static_cast<size_t>(wanted));
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  } catch (const std::length_error&) {
    throw CMemoryException();
  }
}

size_t CMemFile::Read(void* buffer, size_t count) {
  if (m_position >= m_data.size() || count == 0) return 0;
  size_t n = std::min(count, m_data.size() - m_position);
  std::memcpy(buffer, m_data.data() + m_position, n);
  m_position += n;
  return n;
}

void CMemFile::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (count > m_data.max_size() - m_position) throw CMemoryException();
  size_t end = m_position + count;
  if (end > m_data.size()) {
    Reserve(end);
    m_data.resize(end);
  }
  std::memcpy(m_data.data() + m_position, buffer, count);
  m_position = end;
}

uint64_t CMemFile::Seek(int64_t offset, SeekPosition from) {
  int64_t base = from == begin     ? 0
                 : from == current ? static_cast<int64_t>(m_position)
                                   : static_cast<int64_t>(m_data.size());
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && offset > std::numeric_limits<int64_t>::max() - base)) {
    throw CFileException(CFileException::badSeek);
  }
  uint64_t target = static_cast<uint64_t>(base + offset);
  if (target > m_data.max_size()) throw CFileException(CFileException::badSeek);
  // Seeking past the end is allowed; the gap is zero-filled by the next write.
  m_position = static_cast<size_t>(target);
  return m_position;
}

void CMemFile::SetLength(uint64_t length) {
  if (length > m_data.max_size()) throw CMemoryException();
  Reserve(length);
  m_data.resize(static_cast<size_t>(length));
  m_position = std::min(m_position, m_data.size());
}

std::vector<uint8_t> CMemFile::Detach() {
  std::vector<uint8_t> out;
  out.swap(m_data);
  m_position = 0;
  return out;
}
