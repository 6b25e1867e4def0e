// Files: the byte streams an archive reads and writes.
//   CFile      the interface (read, write, seek, length, close, abort)
//   CDiskFile  a file of the file system
//   CMemFile   a growable file in memory (undo records, copies between
//              documents, symbols carried by value)
// Compound-file streams (storage.h) are CFiles too.
// Failures throw CFileException (CMemoryException when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CFile {
 public:
  enum SeekPosition { begin, current, end };

  virtual ~CFile() = default;

  // Reads up to count bytes; returns how many were read (fewer only at the end).
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all count bytes or throws.
  virtual void Write(const void* buffer, size_t count) = 0;
  // Moves the position; returns the new one. A position before the start
  // throws CFileException::badSeek.
  virtual uint64_t Seek(int64_t offset, SeekPosition from) = 0;
  virtual uint64_t GetPosition() const = 0;
  virtual uint64_t GetLength() const = 0;
  virtual void SetLength(uint64_t length) = 0;
  virtual void Flush() {}
  // Ends the use of the file; a writable file commits what was written.
  virtual void Close() {}
  // Ends the use of the file, discarding what is not committed; never throws.
  virtual void Abort() noexcept {}

  uint64_t SeekToBegin() { return Seek(0, begin); }
  uint64_t SeekToEnd() { return Seek(0, end); }
  // Bytes between the position and the end (0 when positioned past the end).
  uint64_t GetRemaining() const {
    uint64_t length = GetLength(), position = GetPosition();
    return position < length ? length - position : 0;
  }
};

class CDiskFile : public CFile {
 public:
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,      // create, or truncate an existing file
    modeNoTruncate = 0x2000,  // with modeCreate: keep an existing file's contents
  };

  CDiskFile() = default;
  CDiskFile(const std::string& path, unsigned flags) { Open(path, flags); }
  ~CDiskFile() override;
  CDiskFile(const CDiskFile&) = delete;
  CDiskFile& operator=(const CDiskFile&) = delete;

  void Open(const std::string& path, unsigned flags);
  bool IsOpen() const { return m_fd >= 0; }
  const std::string& GetFilePath() const { return m_path; }

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  uint64_t Seek(int64_t offset, SeekPosition from) override;
  uint64_t GetPosition() const override;
  uint64_t GetLength() const override;
  void SetLength(uint64_t length) override;
  void Flush() override;
  void Close() override;
  void Abort() noexcept override;

 private:
  [[noreturn]] void ThrowOsError(int errnum) const;

  int m_fd = -1;
  std::string m_path;
};

class CMemFile : public CFile {
 public:
  // The buffer grows in steps of growBytes.
  explicit CMemFile(size_t growBytes = 1024);
  // A file holding a copy of bytes, positioned at its start.
  explicit CMemFile(std::span<const uint8_t> bytes, size_t growBytes = 1024);

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  uint64_t Seek(int64_t offset, SeekPosition from) override;
  uint64_t GetPosition() const override { return m_position; }
  uint64_t GetLength() const override { return m_data.size(); }
  void SetLength(uint64_t length) override;

  // The contents (valid until the next write).
  std::span<const uint8_t> GetData() const { return m_data; }
  // Takes the contents out, leaving the file empty.
  std::vector<uint8_t> Detach();

 private:
  void Reserve(uint64_t size);

  std::vector<uint8_t> m_data;
  size_t m_position = 0;
  size_t m_growBytes;
};
