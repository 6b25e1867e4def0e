// The exception hierarchy of the platform layer.
//
// Everything above the geometry core reports failures by throwing one of these
// (by value; catch by reference). Each carries the cause its catcher needs to
// pick a message: the file and archive exceptions a cause code, the OLE
// exception its result code.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class CException : public std::exception {
 public:
  const char* what() const noexcept override;
};

// Memory could not be had (also thrown for std::bad_alloc met inside the platform).
class CMemoryException : public CException {
 public:
  const char* what() const noexcept override;
};

class CNotSupportedException : public CException {
 public:
  const char* what() const noexcept override;
};

class CResourceException : public CException {
 public:
  const char* what() const noexcept override;
};

// The user cancelled an operation; callers end it quietly.
class CUserException : public CException {
 public:
  const char* what() const noexcept override;
};

class CFileException : public CException {
 public:
  enum Cause {
    none,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
    readOnly,  // the file may not be written by this user
  };

  explicit CFileException(Cause cause = genericException, int32_t osError = 0,
                          std::string fileName = {});
  const char* what() const noexcept override;

  // Maps an errno value to its cause.
  static Cause OsErrorToCause(int errnum);

  Cause m_cause;
  int32_t m_lOsError;  // errno, or the storage result code for stream failures
  std::string m_strFileName;
  std::string m_strDetail;  // what was wrong, for damaged files and refused saves
};

class CArchiveException : public CException {
 public:
  enum Cause {
    none,
    genericException,
    readOnly,   // storing into a loading archive
    endOfFile,  // the data ended inside a record
    writeOnly,  // loading from a storing archive
    badIndex,   // a reference to an index not (or not yet) read, or of the wrong kind
    badClass,   // an unknown class, or an object of an unexpected class
    badSchema,  // a known class stored with another schema
  };

  explicit CArchiveException(Cause cause = genericException, std::string fileName = {});
  const char* what() const noexcept override;

  Cause m_cause;
  std::string m_strFileName;
};

// Storage result codes (the compound-file subset that the platform reports).
using SCODE = int32_t;
constexpr SCODE kStgInvalidFunction = static_cast<SCODE>(0x80030001);
constexpr SCODE kStgFileNotFound = static_cast<SCODE>(0x80030002);
constexpr SCODE kStgAccessDenied = static_cast<SCODE>(0x80030005);
constexpr SCODE kStgInsufficientMemory = static_cast<SCODE>(0x80030008);
constexpr SCODE kStgWriteFault = static_cast<SCODE>(0x8003001D);
constexpr SCODE kStgReadFault = static_cast<SCODE>(0x8003001E);
constexpr SCODE kStgFileAlreadyExists = static_cast<SCODE>(0x80030050);  // not a compound file
constexpr SCODE kStgMediumFull = static_cast<SCODE>(0x80030070);
constexpr SCODE kStgInvalidName = static_cast<SCODE>(0x800300FC);
constexpr SCODE kStgReverted = static_cast<SCODE>(0x80030102);  // the element was destroyed
constexpr SCODE kStgDocFileCorrupt = static_cast<SCODE>(0x80030109);
constexpr SCODE kStgDocFileTooLarge = static_cast<SCODE>(0x80030111);

class COleException : public CException {
 public:
  explicit COleException(SCODE sc) : m_sc(sc) {}
  const char* what() const noexcept override;

  SCODE m_sc;
};
