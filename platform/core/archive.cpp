#include "platform/core/archive.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/core/exceptions.h"

namespace {

constexpr uint8_t kLongStringByte = 0xFF;
constexpr uint16_t kLongerStringWord = 0xFFFF;
constexpr uint16_t kBigCountWord = 0xFFFF;

// Restores a counter on every way out of a scope.
class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }

 private:
  int& depth_;
};

}  // namespace

CObject* ReadObjectOfClass(CArchive& ar, const CRuntimeClass* cls) {
  return ar.ReadObject(cls);
}

CArchive& operator>>(CArchive& ar, CObject*& obj) {
  obj = ar.ReadObject(nullptr);
  return ar;
}

CArchive::CArchive(CFile* file, Mode mode, size_t bufferSize)
    : m_file(file), m_mode(mode), m_buffer(std::max<size_t>(bufferSize, 16)) {
  if (m_mode == load) m_loadArray.emplace_back();  // index 0: null
}

CArchive::~CArchive() {
  Abort();
}

void CArchive::CheckLoading() const {
  if (m_file == nullptr) throw CArchiveException(CArchiveException::genericException);
  if (m_mode != load) throw CArchiveException(CArchiveException::writeOnly);
}

void CArchive::CheckStoring() const {
  if (m_file == nullptr) throw CArchiveException(CArchiveException::genericException);
  if (m_mode != store) throw CArchiveException(CArchiveException::readOnly);
}

// ---- buffer ------------------------------------------------------------------

void CArchive::FillBuffer() {
  m_bufPos = 0;
  m_bufEnd = m_file->Read(m_buffer.data(), m_buffer.size());
}

void CArchive::FlushBuffer() {
  if (m_bufPos == 0) return;
  size_t n = m_bufPos;
  m_bufPos = 0;  // a failed write drops the bytes rather than writing them twice
  m_file->Write(m_buffer.data(), n);
}

void CArchive::Flush() {
  if (m_file == nullptr) return;
  if (m_mode == store) {
    FlushBuffer();
  } else if (m_bufEnd > m_bufPos) {
    m_file->Seek(-static_cast<int64_t>(m_bufEnd - m_bufPos), CFile::current);
    m_bufPos = m_bufEnd = 0;
  }
}

void CArchive::Close() {
  Flush();
  m_file = nullptr;
}

void CArchive::Abort() noexcept {
  m_file = nullptr;
  m_bufPos = m_bufEnd = 0;
}

// ---- raw bytes ---------------------------------------------------------------

size_t CArchive::Read(void* buffer, size_t count) {
  CheckLoading();
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (m_bufPos == m_bufEnd) {
      // Large reads bypass the buffer.
      if (count - done >= m_buffer.size()) {
        size_t n = m_file->Read(out + done, count - done);
        done += n;
        break;
      }
      FillBuffer();
      if (m_bufEnd == 0) break;
    }
    size_t n = std::min(count - done, m_bufEnd - m_bufPos);
    std::memcpy(out + done, m_buffer.data() + m_bufPos, n);
    m_bufPos += n;
    done += n;
  }
  return done;
}

void CArchive::ReadExact(void* buffer, size_t count) {
  if (Read(buffer, count) != count) throw CArchiveException(CArchiveException::endOfFile);
}

void CArchive::Write(const void* buffer, size_t count) {
  CheckStoring();
  if (count == 0) return;
  const auto* in = static_cast<const uint8_t*>(buffer);
  if (count >= m_buffer.size()) {
    FlushBuffer();
    m_file->Write(in, count);
    return;
  }
  if (count > m_buffer.size() - m_bufPos) FlushBuffer();
  std::memcpy(m_buffer.data() + m_bufPos, in, count);
  m_bufPos += count;
}

uint64_t CArchive::GetRemaining() const {
  CheckLoading();
  return (m_bufEnd - m_bufPos) + m_file->GetRemaining();
}

CArchive& CArchive::PutLE(uint32_t v, int bytes) {
  uint8_t b[4];
  for (int i = 0; i < bytes; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  Write(b, static_cast<size_t>(bytes));
  return *this;
}

uint32_t CArchive::GetLE(int bytes) {
  uint8_t b[4];
  ReadExact(b, static_cast<size_t>(bytes));
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}

// ---- strings, blobs, counts ----------------------------------------------------

void CArchive::WriteString(std::string_view s) {
  size_t n = s.size();
  if (n > UINT32_MAX) throw CArchiveException(CArchiveException::genericException);
  if (n < kLongStringByte) {
    *this << static_cast<uint8_t>(n);
  } else if (n < 0xFFFE) {
    *this << kLongStringByte << static_cast<uint16_t>(n);
  } else {
    *this << kLongStringByte << kLongerStringWord << static_cast<uint32_t>(n);
  }
  Write(s.data(), n);
}

std::string CArchive::ReadString() {
  uint8_t b;
  *this >> b;
  uint64_t n = b;
  if (b == kLongStringByte) {
    uint16_t w;
    *this >> w;
    n = w;
    if (w == kLongerStringWord) {
      uint32_t d;
      *this >> d;
      n = d;
    } else if (w == 0xFFFE) {
      // Never written: the wide-character marker of other writers.
      throw CArchiveException(CArchiveException::genericException);
    }
  }
  if (n > GetRemaining()) throw CArchiveException(CArchiveException::endOfFile);
  std::string s(static_cast<size_t>(n), '\0');
  ReadExact(s.data(), s.size());
  return s;
}

void CArchive::WriteShortString(std::string_view s) {
  if (s.size() > 255) throw CArchiveException(CArchiveException::genericException);
  *this << static_cast<uint8_t>(s.size());
  Write(s.data(), s.size());
}

std::string CArchive::ReadShortString() {
  uint8_t n;
  *this >> n;
  if (n > GetRemaining()) throw CArchiveException(CArchiveException::endOfFile);
  std::string s(n, '\0');
  ReadExact(s.data(), s.size());
  return s;
}

void CArchive::WriteBlob(std::span<const uint8_t> bytes) {
  auto n = static_cast<uint16_t>(bytes.size());
  *this << n;
  Write(bytes.data(), n);
}

std::vector<uint8_t> CArchive::ReadBlob() {
  uint16_t n;
  *this >> n;
  if (n > GetRemaining()) throw CArchiveException(CArchiveException::endOfFile);
  std::vector<uint8_t> out(n);
  ReadExact(out.data(), out.size());
  return out;
}

void CArchive::WriteCount(uint32_t count) {
  if (count < kBigCountWord) {
    *this << static_cast<uint16_t>(count);
  } else {
    *this << kBigCountWord << count;
  }
}

uint32_t CArchive::ReadCount() {
  uint16_t w;
  *this >> w;
  if (w != kBigCountWord) return w;
  uint32_t d;
  *this >> d;
  return d;
}

// ---- objects -----------------------------------------------------------------

void CArchive::CheckMapCount() const {
  if (m_mapCount >= kMaxMapCount) throw CArchiveException(CArchiveException::badIndex);
}

void CArchive::WriteIndex(uint32_t index, bool isClass) {
  if (index < kBigObjectTag) {
    *this << static_cast<uint16_t>(isClass ? (kClassTag | index) : index);
  } else {
    *this << kBigObjectTag << (isClass ? (kBigClassTag | index) : index);
  }
}

void CArchive::WriteObject(const CObject* obj) {
  CheckStoring();
  if (obj == nullptr) {
    *this << kNullTag;
    return;
  }
  if (auto it = m_storeMap.find(obj); it != m_storeMap.end()) {
    WriteIndex(it->second, false);
    return;
  }
  const CRuntimeClass* cls = obj->GetRuntimeClass();
  if (cls->m_wSchema == CRuntimeClass::kNoSchema) {
    throw CArchiveException(CArchiveException::badClass);
  }
  if (auto it = m_storeMap.find(cls); it != m_storeMap.end()) {
    WriteIndex(it->second, true);
  } else {
    CheckMapCount();
    std::string_view name = cls->m_lpszClassName;
    if (name.size() > kMaxClassNameLength) throw CArchiveException(CArchiveException::badClass);
    *this << kNewClassTag << cls->m_wSchema << static_cast<uint16_t>(name.size());
    Write(name.data(), name.size());
    m_storeMap.emplace(cls, m_mapCount++);
  }
  CheckMapCount();
  // Mapped before its record, so references to it from inside are back references.
  m_storeMap.emplace(obj, m_mapCount++);
  const_cast<CObject*>(obj)->Serialize(*this);
}

const CRuntimeClass* CArchive::ReadNewClass() {
  uint16_t schema, length;
  *this >> schema >> length;
  if (length > kMaxClassNameLength) throw CArchiveException(CArchiveException::badClass);
  char name[kMaxClassNameLength];
  ReadExact(name, length);
  const CRuntimeClass* cls = CRuntimeClass::FromName(std::string_view(name, length));
  if (cls == nullptr || cls->m_pfnCreateObject == nullptr ||
      cls->m_wSchema == CRuntimeClass::kNoSchema) {
    throw CArchiveException(CArchiveException::badClass);
  }
  if (cls->m_wSchema != schema) throw CArchiveException(CArchiveException::badSchema);
  CheckMapCount();
  m_loadArray.push_back({cls, nullptr});
  ++m_mapCount;
  return cls;
}

std::vector<CObject*> CArchive::GetLoadedObjects() const {
  std::vector<CObject*> objects;
  for (const LoadEntry& entry : m_loadArray) {
    if (entry.obj != nullptr) objects.push_back(entry.obj);
  }
  return objects;
}

void CArchive::ForgetLoadedFrom(size_t count) {
  for (size_t i = count; i < m_loadArray.size(); ++i) m_loadArray[i].obj = nullptr;
}

CObject* CArchive::ReadObject(const CRuntimeClass* requested) {
  CheckLoading();
  uint16_t tag;
  *this >> tag;
  const CRuntimeClass* cls = nullptr;
  if (tag == kNewClassTag) {
    cls = ReadNewClass();
  } else {
    uint32_t obTag;
    if (tag == kBigObjectTag) {
      *this >> obTag;
    } else {
      obTag = (static_cast<uint32_t>(tag & kClassTag) << 16) | (tag & ~kClassTag);
    }
    if (obTag & kBigClassTag) {
      uint32_t index = obTag & ~kBigClassTag;
      if (index == 0 || index >= m_loadArray.size() || m_loadArray[index].cls == nullptr) {
        throw CArchiveException(CArchiveException::badIndex);
      }
      cls = m_loadArray[index].cls;
    } else {
      if (obTag == 0) return nullptr;
      if (obTag >= m_loadArray.size() || m_loadArray[obTag].obj == nullptr) {
        throw CArchiveException(CArchiveException::badIndex);
      }
      CObject* obj = m_loadArray[obTag].obj;
      if (requested != nullptr && !obj->IsKindOf(requested)) {
        throw CArchiveException(CArchiveException::badClass);
      }
      return obj;
    }
  }
  if (requested != nullptr && !cls->IsDerivedFrom(requested)) {
    throw CArchiveException(CArchiveException::badClass);
  }
  if (m_loadDepth >= kMaxLoadDepth) throw CArchiveException(CArchiveException::genericException);
  CheckMapCount();
  CObject* obj = cls->CreateObject();
  try {
    m_loadArray.push_back({nullptr, obj});
  } catch (const std::bad_alloc&) {
    delete obj;
    throw CMemoryException();
  }
  ++m_mapCount;
  DepthGuard guard(m_loadDepth);
  obj->Serialize(*this);
  return obj;
}
