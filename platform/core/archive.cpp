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
    : file_(file), mode_(mode), buffer_(std::max<size_t>(bufferSize, 16)) {
  if (mode_ == load) loadArray_.emplace_back();  // index 0: null
}

CArchive::~CArchive() {
  Abort();
}

void CArchive::CheckLoading() const {
  if (file_ == nullptr) throw CArchiveException(CArchiveException::genericException);
  if (mode_ != load) throw CArchiveException(CArchiveException::writeOnly);
}

void CArchive::CheckStoring() const {
  if (file_ == nullptr) throw CArchiveException(CArchiveException::genericException);
  if (mode_ != store) throw CArchiveException(CArchiveException::readOnly);
}

// ---- buffer ------------------------------------------------------------------

void CArchive::FillBuffer() {
  bufPos_ = 0;
  bufEnd_ = file_->Read(buffer_.data(), buffer_.size());
}

void CArchive::FlushBuffer() {
  if (bufPos_ == 0) return;
  size_t n = bufPos_;
  bufPos_ = 0;  // a failed write drops the bytes rather than writing them twice
  file_->Write(buffer_.data(), n);
}

void CArchive::Flush() {
  if (file_ == nullptr) return;
  if (mode_ == store) {
    FlushBuffer();
  } else if (bufEnd_ > bufPos_) {
    file_->Seek(-static_cast<int64_t>(bufEnd_ - bufPos_), CFile::current);
    bufPos_ = bufEnd_ = 0;
  }
}

void CArchive::Close() {
  Flush();
  file_ = nullptr;
}

void CArchive::Abort() noexcept {
  file_ = nullptr;
  bufPos_ = bufEnd_ = 0;
}

// ---- raw bytes ---------------------------------------------------------------

size_t CArchive::Read(void* buffer, size_t count) {
  CheckLoading();
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (bufPos_ == bufEnd_) {
      // Large reads bypass the buffer.
      if (count - done >= buffer_.size()) {
        size_t n = file_->Read(out + done, count - done);
        done += n;
        break;
      }
      FillBuffer();
      if (bufEnd_ == 0) break;
    }
    size_t n = std::min(count - done, bufEnd_ - bufPos_);
    std::memcpy(out + done, buffer_.data() + bufPos_, n);
    bufPos_ += n;
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
  if (count >= buffer_.size()) {
    FlushBuffer();
    file_->Write(in, count);
    return;
  }
  if (count > buffer_.size() - bufPos_) FlushBuffer();
  std::memcpy(buffer_.data() + bufPos_, in, count);
  bufPos_ += count;
}

uint64_t CArchive::GetRemaining() const {
  CheckLoading();
  return (bufEnd_ - bufPos_) + file_->GetRemaining();
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
  if (mapCount_ >= kMaxMapCount) throw CArchiveException(CArchiveException::badIndex);
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
  if (auto it = storeMap_.find(obj); it != storeMap_.end()) {
    WriteIndex(it->second, false);
    return;
  }
  const CRuntimeClass* cls = obj->GetRuntimeClass();
  if (cls->m_wSchema == CRuntimeClass::kNoSchema) {
    throw CArchiveException(CArchiveException::badClass);
  }
  if (auto it = storeMap_.find(cls); it != storeMap_.end()) {
    WriteIndex(it->second, true);
  } else {
    CheckMapCount();
    std::string_view name = cls->m_lpszClassName;
    if (name.size() > kMaxClassNameLength) throw CArchiveException(CArchiveException::badClass);
    *this << kNewClassTag << cls->m_wSchema << static_cast<uint16_t>(name.size());
    Write(name.data(), name.size());
    storeMap_.emplace(cls, mapCount_++);
  }
  CheckMapCount();
  // Mapped before its record, so references to it from inside are back references.
  storeMap_.emplace(obj, mapCount_++);
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
  loadArray_.push_back({cls, nullptr});
  ++mapCount_;
  return cls;
}

std::vector<CObject*> CArchive::GetLoadedObjects() const {
  std::vector<CObject*> objects;
  for (const LoadEntry& entry : loadArray_) {
    if (entry.obj != nullptr) objects.push_back(entry.obj);
  }
  return objects;
}

void CArchive::ForgetLoadedFrom(size_t count) {
  for (size_t i = count; i < loadArray_.size(); ++i) loadArray_[i].obj = nullptr;
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
      if (index == 0 || index >= loadArray_.size() || loadArray_[index].cls == nullptr) {
        throw CArchiveException(CArchiveException::badIndex);
      }
      cls = loadArray_[index].cls;
    } else {
      if (obTag == 0) return nullptr;
      if (obTag >= loadArray_.size() || loadArray_[obTag].obj == nullptr) {
        throw CArchiveException(CArchiveException::badIndex);
      }
      CObject* obj = loadArray_[obTag].obj;
      if (requested != nullptr && !obj->IsKindOf(requested)) {
        throw CArchiveException(CArchiveException::badClass);
      }
      return obj;
    }
  }
  if (requested != nullptr && !cls->IsDerivedFrom(requested)) {
    throw CArchiveException(CArchiveException::badClass);
  }
  if (loadDepth_ >= kMaxLoadDepth) throw CArchiveException(CArchiveException::genericException);
  CheckMapCount();
  CObject* obj = cls->CreateObject();
  try {
    loadArray_.push_back({nullptr, obj});
  } catch (const std::bad_alloc&) {
    delete obj;
    throw CMemoryException();
  }
  ++mapCount_;
  DepthGuard guard(loadDepth_);
  obj->Serialize(*this);
  return obj;
}
