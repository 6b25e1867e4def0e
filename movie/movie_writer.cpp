// CMovieWriter: buffered bytes, bit fields, record framing, the movie header,
// the compound values and the placement records.
#include "movie/movie_writer.h"

#include <algorithm>
#include <cstring>

#include "platform/core/file.h"

CMovieWriter::CMovieWriter(CFile* file) {
  Bind(file);
}

CMovieWriter::~CMovieWriter() {
  FreeJpeg();
}

void CMovieWriter::Bind(CFile* file) {
  m_file = file;
  m_pending = 0;
  m_bitValue = 0;
  m_bitsFree = 8;
}

// ---- Bytes ------------------------------------------------------------------------

uint64_t CMovieWriter::GetPosition() const {
  return m_file->GetPosition() + m_pending;
}

void CMovieWriter::Seek(uint64_t position) {
  Flush();
  m_file->Seek(static_cast<int64_t>(position), CFile::begin);
}

void CMovieWriter::Flush() {
  if (m_pending == 0) return;
  // Empty the buffer before writing, so that a failed write is not repeated.
  size_t n = m_pending;
  m_pending = 0;
  m_file->Write(m_buffer, n);
}

void CMovieWriter::PutBytesBuffered(const uint8_t* p, size_t n) {
  if (m_pending + n > kBufferSize) Flush();
  std::memcpy(m_buffer + m_pending, p, n);
  m_pending += n;
}

void CMovieWriter::PutByte(uint8_t v) {
  PutBytesBuffered(&v, 1);
}

void CMovieWriter::PutWord(uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  PutBytesBuffered(b, 2);
}

void CMovieWriter::PutLong(uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  PutBytesBuffered(b, 4);
}

void CMovieWriter::PutBlock(const void* data, size_t size) {
  if (m_pending + size >= kBufferSize) {
    Flush();
    m_file->Write(data, size);
    return;
  }
  PutBytesBuffered(static_cast<const uint8_t*>(data), size);
}

// ---- Bits -------------------------------------------------------------------------

void CMovieWriter::WriteBits(uint32_t value, int n) {
  if (n <= 0) return;
  uint32_t v = n < 32 ? value & ((1u << n) - 1) : value;
  while (n > m_bitsFree) {
    n -= m_bitsFree;
    m_bitValue = static_cast<uint8_t>(m_bitValue | (v >> n));
    PutByte(m_bitValue);
    m_bitValue = 0;
    m_bitsFree = 8;
    v &= (1u << n) - 1;
  }
  m_bitValue = static_cast<uint8_t>(m_bitValue | (v << (m_bitsFree - n)));
  m_bitsFree -= n;
  // A completed byte goes out at once, so that aligning never drops it.
  if (m_bitsFree == 0) {
    PutByte(m_bitValue);
    m_bitValue = 0;
    m_bitsFree = 8;
  }
}

void CMovieWriter::AlignBits() {
  m_bitValue = 0;
  m_bitsFree = 8;
}

void CMovieWriter::FlushBits() {
  if (m_bitsFree < 8) PutByte(m_bitValue);
  AlignBits();
}

// ---- Records ----------------------------------------------------------------------

void CMovieWriter::OpenTag(uint16_t code, bool long_form) {
  m_tagCode = code;
  m_tagPosition = GetPosition();
  m_tagLong = long_form;
  PutWord(0);
  if (long_form) PutLong(0);
}

void CMovieWriter::CloseTag() {
  const uint64_t end = GetPosition();
  const uint16_t code_bits = static_cast<uint16_t>(m_tagCode << kRecordCodeShift);
  Seek(m_tagPosition);
  if (m_tagLong) {
    PutWord(code_bits | kRecordLongLength);
    PutLong(static_cast<uint32_t>(end - m_tagPosition - kRecordLongHeaderSize));
  } else {
    // Short-form records are only opened for bodies that cannot reach 63 bytes.
    const uint64_t length = end - m_tagPosition - kRecordShortHeaderSize;
    PutWord(static_cast<uint16_t>(code_bits | (length & kRecordLengthMask)));
  }
  Seek(end);
  m_tagCode = -1;
}

void CMovieWriter::AbandonRecord() noexcept {
  if (m_tagCode < 0) return;
  m_tagCode = -1;
  AlignBits();
  try {
    const uint64_t filed = m_file->GetPosition();
    if (m_tagPosition >= filed && m_tagPosition - filed <= m_pending) {
      m_pending = static_cast<size_t>(m_tagPosition - filed);
      return;
    }
    m_pending = 0;
    m_file->Seek(static_cast<int64_t>(m_tagPosition), CFile::begin);
    m_file->SetLength(m_tagPosition);
  } catch (...) {
    // The file refuses even that: the exception already passing says so.
  }
}

// ---- Movie header and end -----------------------------------------------------------

void CMovieWriter::WriteHeader(const Rect32& frame, Fixed rate) {
  PutBlock(kMovieMagic, sizeof kMovieMagic);
  PutByte(kMovieVersion);
  m_lengthPosition = GetPosition();
  PutLong(0);
  WritePackedRect(frame);
  PutWord(static_cast<uint16_t>(static_cast<uint32_t>(rate) >> 8));
  m_countPosition = GetPosition();
  PutWord(0);
  m_frameCount = 0;
}

void CMovieWriter::Finish() {
  PutWord(MT_END_OF_MOVIE);
  const uint64_t length = GetPosition();
  Seek(m_lengthPosition);
  PutLong(static_cast<uint32_t>(length));
  Seek(m_countPosition);
  PutWord(static_cast<uint16_t>(m_frameCount));
  Flush();
  FreeJpeg();
}

void CMovieWriter::ShowFrame() {
  OpenTag(MT_FRAME_BREAK, false);
  CloseTag();
  ++m_frameCount;
}

void CMovieWriter::WriteStageColor(uint32_t colour) {
  OpenTag(MT_STAGE_COLOR, false);
  WriteColorRGB(colour);
  CloseTag();
}

// ---- Compound values -------------------------------------------------------------------

// A 5-bit width and count values of that width. A value past what a 31-bit
// field holds is saturated: a wider field cannot be described by the width.
void CMovieWriter::WriteSignedGroup(const int32_t* values, int count, bool zero_width_if_zero) {
  uint32_t largest = 0;
  for (int i = 0; i < count; ++i) largest = std::max(largest, Magnitude(values[i]));
  int width = largest == 0 && zero_width_if_zero ? 0 : SignedFieldWidth(largest);
  const bool saturate = width > kMaxFieldWidth;
  if (saturate) width = kMaxFieldWidth;
  WriteBits(static_cast<uint32_t>(width), kStepCoordWidthBits);
  for (int i = 0; i < count; ++i) {
    int32_t v = values[i];
    if (saturate) v = std::clamp(v, -kMaxFieldMagnitude, kMaxFieldMagnitude);
    WriteBits(static_cast<uint32_t>(v), width);
  }
}

void CMovieWriter::WritePackedRect(const Rect32& r) {
  AlignBits();
  const int32_t v[4] = {r.xmin, r.xmax, r.ymin, r.ymax};
  WriteSignedGroup(v, 4, false);
  FlushBits();
}

void CMovieWriter::WritePackedMatrix(const Matrix2x3* m) {
  AlignBits();
  Matrix2x3 identity;
  const Matrix2x3& mat = m ? *m : identity;
  if (mat.a == kFixedOne && mat.d == kFixedOne) {
    WriteBits(0, 1);
  } else {
    WriteBits(1, 1);
    const int32_t scale[2] = {mat.a, mat.d};
    WriteSignedGroup(scale, 2, false);
  }
  if (mat.b == 0 && mat.c == 0) {
    WriteBits(0, 1);
  } else {
    WriteBits(1, 1);
    const int32_t rotate[2] = {mat.b, mat.c};
    WriteSignedGroup(rotate, 2, false);
  }
  const int32_t translate[2] = {mat.tx, mat.ty};
  WriteSignedGroup(translate, 2, true);
  FlushBits();
}

void CMovieWriter::WriteColorRGB(uint32_t colour) {
  const uint8_t rgb[3] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                          static_cast<uint8_t>(colour >> 16)};
  PutBytesBuffered(rgb, 3);
}

// ---- Stage -----------------------------------------------------------------------------

void CMovieWriter::PlaceCharacter(uint16_t id, uint16_t depth, const Matrix2x3* m) {
  OpenTag(MT_PUT_ON_STAGE, false);
  PutWord(id);
  PutWord(depth);
  WritePackedMatrix(m);
  CloseTag();
}

void CMovieWriter::RemoveCharacter(uint16_t id, uint16_t depth) {
  OpenTag(MT_TAKE_OFF_STAGE, false);
  PutWord(id);
  PutWord(depth);
  CloseTag();
}

// ---- Text field widths -------------------------------------------------------------------

int TextGlyphBits(std::span<const uint16_t> glyph_indices) {
  uint16_t highest = 0;
  for (uint16_t g : glyph_indices) highest = std::max(highest, g);
  return NumBits(highest);
}

int TextAdvanceBits(std::span<const int32_t> advances) {
  uint32_t largest = 0;
  for (int32_t a : advances) largest = std::max(largest, Magnitude(a));
  return SignedFieldWidth(largest);
}
