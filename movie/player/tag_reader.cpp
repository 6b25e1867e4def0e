#include "movie/player/tag_reader.h"

#include <cstring>

#include "movie/movie_format.h"

uint8_t CTagReader::GetByte() {
  bitsLeft = 0;
  if (pos >= end) {
    overrun = true;
    return 0;
  }
  return data[pos++];
}

uint16_t CTagReader::GetWord() {
  bitsLeft = 0;
  if (pos > end || end - pos < 2) {
    overrun = true;
    pos = end > pos ? end : pos;
    return 0;
  }
  const uint16_t v = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
  pos += 2;
  return v;
}

uint32_t CTagReader::GetDWord() {
  const uint32_t lo = GetWord();
  const uint32_t hi = GetWord();
  return lo | hi << 16;
}

void CTagReader::GetColor(uint8_t rgb[3]) {
  rgb[0] = GetByte();
  rgb[1] = GetByte();
  rgb[2] = GetByte();
}

uint32_t CTagReader::GetPackedColor() {
  uint8_t rgb[3];
  GetColor(rgb);
  return 0xFF000000u | uint32_t{rgb[2]} << 16 | uint32_t{rgb[1]} << 8 | rgb[0];
}

uint32_t CTagReader::GetBlock(uint8_t* out, uint32_t n) {
  bitsLeft = 0;
  const uint32_t have = Remaining();
  if (n > have) {
    overrun = true;
    n = have;
  }
  if (n) std::memcpy(out, data + pos, n);
  pos += n;
  return n;
}

void CTagReader::Skip(uint32_t n) {
  bitsLeft = 0;
  const uint32_t have = Remaining();
  if (n > have) {
    overrun = true;
    n = have;
  }
  pos += n;
}

uint32_t CTagReader::GetBits(int n) {
  uint64_t v = 0;
  while (n > 0) {
    if (bitsLeft == 0) {
      if (pos >= end) {
        overrun = true;
        return 0;
      }
      bitBuffer = data[pos++];
      bitsLeft = 8;
    }
    const int take = n < bitsLeft ? n : bitsLeft;
    const uint32_t part = (bitBuffer >> (bitsLeft - take)) & ((1u << take) - 1);
    v = v << take | part;
    bitsLeft -= take;
    n -= take;
  }
  return static_cast<uint32_t>(v);
}

int32_t CTagReader::GetSBits(int n) {
  if (n <= 0) return 0;
  uint32_t v = GetBits(n);
  if (n < 32 && (v >> (n - 1)) & 1) v |= ~0u << n;
  return static_cast<int32_t>(v);
}

void CTagReader::GetRect(Rect32& r) {
  Align();
  const int n = static_cast<int>(GetBits(kStepCoordWidthBits));
  r.xmin = GetSBits(n);
  r.xmax = GetSBits(n);
  r.ymin = GetSBits(n);
  r.ymax = GetSBits(n);
  Align();
}

void CTagReader::ReadMatrix(Matrix2x3& m) {
  Align();
  m = Matrix2x3{};
  if (GetBits(1)) {
    const int n = static_cast<int>(GetBits(5));
    m.a = GetSBits(n);
    m.d = GetSBits(n);
  }
  if (GetBits(1)) {
    const int n = static_cast<int>(GetBits(5));
    m.b = GetSBits(n);
    m.c = GetSBits(n);
  }
  const int n = static_cast<int>(GetBits(5));
  m.tx = GetSBits(n);
  m.ty = GetSBits(n);
  Align();
}

bool NextAction(CTagReader& in, ActionRecord& out) {
  out = ActionRecord{};
  out.code = in.GetByte();
  if (in.overrun || out.code == ACT_END) return false;
  if (out.code >= kActionHasPayload) {
    const uint16_t length = in.GetWord();
    if (in.overrun || length > in.Remaining()) {
      in.Skip(length);
      return false;
    }
    out.payload = in.pos;
    out.payload_length = length;
    in.Skip(length);
  }
  return true;
}

void SkipButtonParts(CTagReader& in) {
  Matrix2x3 m;
  while (!in.overrun) {
    if (in.GetByte() == 0) break;
    in.GetWord();
    in.GetWord();
    in.ReadMatrix(m);
  }
}

size_t CopyActionUrl(const uint8_t* data, const ActionRecord& action, char* out, size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  const uint8_t* p = data + action.payload;
  while (n < action.payload_length && p[n] != 0 && n + 1 < size) {
    out[n] = static_cast<char>(p[n]);
    ++n;
  }
  out[n] = 0;
  return n;
}
