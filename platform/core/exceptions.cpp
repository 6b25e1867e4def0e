#include "platform/core/exceptions.h"

#include <cerrno>
#include <utility>

const char* CException::what() const noexcept {
  return "platform exception";
}
const char* CMemoryException::what() const noexcept {
  return "out of memory";
}
const char* CNotSupportedException::what() const noexcept {
  return "operation not supported";
}
const char* CResourceException::what() const noexcept {
  return "resource unavailable";
}
const char* CUserException::what() const noexcept {
  return "cancelled by the user";
}

CFileException::CFileException(Cause cause, int32_t osError, std::string fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

const char* CFileException::what() const noexcept {
  switch (m_cause) {
    case none:
      return "file: no error";
    case fileNotFound:
      return "file: not found";
    case badPath:
      return "file: bad path";
    case tooManyOpenFiles:
      return "file: too many open files";
    case accessDenied:
      return "file: access denied";
    case invalidFile:
      return "file: invalid file";
    case removeCurrentDir:
      return "file: cannot remove the current directory";
    case directoryFull:
      return "file: directory full";
    case badSeek:
      return "file: bad seek";
    case hardIO:
      return "file: input/output error";
    case sharingViolation:
      return "file: sharing violation";
    case lockViolation:
      return "file: lock violation";
    case diskFull:
      return "file: disk full";
    case endOfFile:
      return "file: end of file";
    case readOnly:
      return "file: read-only";
    case genericException:
      break;
  }
  return "file: error";
}

CFileException::Cause CFileException::OsErrorToCause(int errnum) {
  switch (errnum) {
    case 0:
      return none;
    case ENOENT:
      return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return badPath;
    case EMFILE:
    case ENFILE:
      return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return accessDenied;
    case ESPIPE:
    case EINVAL:
      return badSeek;
    case EIO:
      return hardIO;
    case EBUSY:
    case ETXTBSY:
      return sharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return diskFull;
    default:
      return genericException;
  }
}

CArchiveException::CArchiveException(Cause cause, std::string fileName)
    : m_cause(cause), m_strFileName(std::move(fileName)) {}

const char* CArchiveException::what() const noexcept {
  switch (m_cause) {
    case none:
      return "archive: no error";
    case readOnly:
      return "archive: store into a loading archive";
    case endOfFile:
      return "archive: unexpected end of data";
    case writeOnly:
      return "archive: load from a storing archive";
    case badIndex:
      return "archive: bad object reference";
    case badClass:
      return "archive: unknown or unexpected class";
    case badSchema:
      return "archive: class stored with another schema";
    case genericException:
      break;
  }
  return "archive: error";
}

const char* COleException::what() const noexcept {
  return "storage error";
}
