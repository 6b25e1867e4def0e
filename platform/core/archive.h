// CArchive: the binary form of the native format, in load or store mode
// over any CFile.
//
// Encodings (all little-endian, no padding):
//   u8, u16, i16, u32, i32    plain
//   string        length below 255: u8; below 65534: 0xFF, u16;
//                 otherwise 0xFF, u16 0xFFFF, u32; then the bytes
//   short string  u8 length, the bytes
//   blob          u16 count, the bytes
//   count         u16, or u16 0xFFFF and u32 when 65535 or more
//   object        u16 0x0000 null
//                 u16 0xFFFF, u16 schema, u16 name length, name: a new class,
//                     followed by the object's record
//                 u16 0x8000|n: an object of the class with index n, then its record
//                 u16 n (n < 0x7FFF): a back reference to the object with index n
//                 u16 0x7FFF, u32: the same for indices of 0x7FFF and above
//                     (a class index carries the top bit 0x80000000)
//                 Classes and objects share one index sequence from 1 per archive.
//
// Loading never reads past the data and never allocates more than the bytes
// still in the file could fill: a short or malformed archive throws
// CArchiveException (endOfFile, badIndex, badClass, badSchema, genericException).
// Objects made by ReadObject belong to the caller, also when a later read
// fails: the model tracks them on its load chain.
//
// A storing archive writes through a buffer: call Close() (or Flush()) to
// commit it. The destructor never writes (an archive abandoned by an
// exception leaves the file as it was last flushed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/core/file.h"
#include "platform/core/object.h"

class CArchive {
 public:
  enum Mode { store = 0, load = 1 };

  static constexpr uint16_t kNullTag = 0x0000;
  static constexpr uint16_t kNewClassTag = 0xFFFF;
  static constexpr uint16_t kClassTag = 0x8000;
  static constexpr uint16_t kBigObjectTag = 0x7FFF;
  static constexpr uint32_t kBigClassTag = 0x80000000;
  static constexpr uint32_t kMaxMapCount = 0x3FFFFFFE;
  static constexpr size_t kMaxClassNameLength = 63;
  // Objects nested deeper than this while loading are refused, so a hostile
  // file cannot exhaust the stack.
  static constexpr int kMaxLoadDepth = 512;

  CArchive(CFile* file, Mode mode, size_t bufferSize = 4096);
  ~CArchive();
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

  bool IsLoading() const { return m_mode == load; }
  bool IsStoring() const { return m_mode == store; }
  CFile* GetFile() const { return m_file; }

  // Storing: writes the buffered bytes to the file. Loading: moves the file
  // back to the archive's logical position (unread buffered bytes).
  void Flush();
  // Flushes, then detaches the file (the file itself stays open).
  void Close();
  // Detaches the file without writing; never throws.
  void Abort() noexcept;

  // The document the records belong to, the force-flat flag, and a context
  // pointer for the caller's own use (the copy's load context).
  CObject* m_pDocument = nullptr;
  bool m_bForceFlat = false;
  void* m_pContext = nullptr;

  // ---- raw bytes ----
  // Reads up to count bytes; returns how many (fewer only at the end).
  size_t Read(void* buffer, size_t count);
  // Reads exactly count bytes or throws CArchiveException::endOfFile.
  void ReadExact(void* buffer, size_t count);
  void Write(const void* buffer, size_t count);
  // Loading: bytes left to read (buffered and in the file).
  uint64_t GetRemaining() const;

  // ---- primitives ----
  CArchive& operator<<(uint8_t v) { return PutLE(v, 1); }
  CArchive& operator<<(uint16_t v) { return PutLE(v, 2); }
  CArchive& operator<<(int16_t v) { return PutLE(static_cast<uint16_t>(v), 2); }
  CArchive& operator<<(uint32_t v) { return PutLE(v, 4); }
  CArchive& operator<<(int32_t v) { return PutLE(static_cast<uint32_t>(v), 4); }
  CArchive& operator>>(uint8_t& v) {
    v = static_cast<uint8_t>(GetLE(1));
    return *this;
  }
  CArchive& operator>>(uint16_t& v) {
    v = static_cast<uint16_t>(GetLE(2));
    return *this;
  }
  CArchive& operator>>(int16_t& v) {
    v = static_cast<int16_t>(GetLE(2));
    return *this;
  }
  CArchive& operator>>(uint32_t& v) {
    v = GetLE(4);
    return *this;
  }
  CArchive& operator>>(int32_t& v) {
    v = static_cast<int32_t>(GetLE(4));
    return *this;
  }

  void WriteString(std::string_view s);
  std::string ReadString();
  // Short string: a length above 255 throws CArchiveException::genericException.
  void WriteShortString(std::string_view s);
  std::string ReadShortString();
  // Blob: a block longer than 65535 bytes keeps its size cut to 16 bits, and
  // exactly that many of its bytes are written, so the data stays in step.
  void WriteBlob(std::span<const uint8_t> bytes);
  std::vector<uint8_t> ReadBlob();
  // Element count of a list record.
  void WriteCount(uint32_t count);
  uint32_t ReadCount();

  // ---- objects ----
  void WriteObject(const CObject* obj);
  // Reads an object reference; with cls given, the object must be of that
  // class or derived from it (CArchiveException::badClass otherwise).
  CObject* ReadObject(const CRuntimeClass* cls);

  // Loading: every object this archive has created so far, in order. After
  // a failed read, a caller whose objects are not tracked elsewhere frees
  // them from this list.
  std::vector<CObject*> GetLoadedObjects() const;
  // Loading: the number of index entries so far; ForgetLoadedFrom makes the
  // objects entered from that count on unknown, so that a later reference
  // to one (an object the reader has deleted) is refused as a bad index.
  size_t GetLoadedCount() const { return m_loadArray.size(); }
  void ForgetLoadedFrom(size_t count);

  CArchive& operator<<(const CObject* obj) {
    WriteObject(obj);
    return *this;
  }

 private:
  struct LoadEntry {
    const CRuntimeClass* cls = nullptr;  // set for a class entry
    CObject* obj = nullptr;              // set for an object entry
  };

  CArchive& PutLE(uint32_t v, int bytes);
  uint32_t GetLE(int bytes);
  void CheckLoading() const;
  void CheckStoring() const;
  void CheckMapCount() const;
  void WriteIndex(uint32_t index, bool isClass);
  const CRuntimeClass* ReadNewClass();
  void FillBuffer();
  void FlushBuffer();

  CFile* m_file;
  Mode m_mode;
  std::vector<uint8_t> m_buffer;
  size_t m_bufPos = 0;  // load: next byte to read; store: bytes buffered
  size_t m_bufEnd = 0;  // load: end of valid bytes

  uint32_t m_mapCount = 1;  // next index; 0 is null
  std::unordered_map<const void*, uint32_t> m_storeMap;
  std::vector<LoadEntry> m_loadArray;
  int m_loadDepth = 0;
};

CArchive& operator>>(CArchive& ar, CObject*& obj);
