#include "movie_decoder.h"

namespace moviedec {

uint32_t Reader::Bits(int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    if (pos_ >= data_.size()) throw DecodeError("bit field past the end");
    const int bit = (data_[pos_] >> (7 - bit_)) & 1;
    v = (v << 1) | static_cast<uint32_t>(bit);
    bit_pending_ = true;
    if (++bit_ == 8) bit_ = 0, ++pos_, bit_pending_ = false;
  }
  return v;
}

int32_t Reader::SignedBits(int n) {
  if (n == 0) return 0;
  const uint32_t v = Bits(n);
  if (n < 32 && (v >> (n - 1)) & 1) return static_cast<int32_t>(v | ~((1u << n) - 1));
  return static_cast<int32_t>(v);
}

uint8_t Reader::U8() {
  if (bit_pending_) throw DecodeError("byte read inside a bit block");
  if (pos_ >= data_.size()) throw DecodeError("byte past the end");
  return data_[pos_++];
}

uint16_t Reader::U16() {
  const uint16_t lo = U8();
  return static_cast<uint16_t>(lo | U8() << 8);
}

uint32_t Reader::U32() {
  const uint32_t lo = U16();
  return lo | static_cast<uint32_t>(U16()) << 16;
}

std::span<const uint8_t> Reader::Bytes(size_t n) {
  if (bit_pending_) throw DecodeError("bytes read inside a bit block");
  if (n > Remaining()) throw DecodeError("block past the end");
  auto s = data_.subspan(pos_, n);
  pos_ += n;
  return s;
}

Rect ReadRect(Reader& in) {
  Rect r{};
  r.width = static_cast<int>(in.Bits(5));
  r.xmin = in.SignedBits(r.width);
  r.xmax = in.SignedBits(r.width);
  r.ymin = in.SignedBits(r.width);
  r.ymax = in.SignedBits(r.width);
  in.Align();
  return r;
}

Matrix ReadMatrix(Reader& in) {
  Matrix m;
  if (in.Bits(1)) {
    const int n = static_cast<int>(in.Bits(5));
    m.a = in.SignedBits(n);
    m.d = in.SignedBits(n);
  }
  if (in.Bits(1)) {
    const int n = static_cast<int>(in.Bits(5));
    m.b = in.SignedBits(n);
    m.c = in.SignedBits(n);
  }
  const int n = static_cast<int>(in.Bits(5));
  m.tx = in.SignedBits(n);
  m.ty = in.SignedBits(n);
  in.Align();
  return m;
}

Rgb ReadRgb(Reader& in) {
  Rgb c;
  c.r = in.U8();
  c.g = in.U8();
  c.b = in.U8();
  return c;
}

Movie ReadMovie(std::span<const uint8_t> file) {
  Reader in(file);
  Movie m;
  auto magic = in.Bytes(3);
  if (magic[0] != 'Q' || magic[1] != 'V' || magic[2] != 'X') throw DecodeError("bad magic");
  m.version = in.U8();
  m.file_length = in.U32();
  if (m.file_length != file.size()) throw DecodeError("file length field differs from the size");
  m.stage = ReadRect(in);
  m.rate = in.U16();
  m.frame_count = in.U16();
  for (;;) {
    Record r;
    const uint16_t head = in.U16();
    r.code = head >> 6;
    uint32_t length = head & 0x3F;
    if (length == 0x3F) {
      r.long_form = true;
      length = in.U32();
    }
    r.body = in.Bytes(length);
    m.records.push_back(r);
    if (r.code == 0) break;
  }
  if (in.Remaining() != 0) throw DecodeError("bytes after the end record");
  return m;
}

Steps ReadSteps(Reader& in) {
  Steps s;
  s.fill_bits = static_cast<int>(in.Bits(4));
  s.line_bits = static_cast<int>(in.Bits(4));
  Point pen;
  int fill0 = 0, fill1 = 0, line = 0;
  for (;;) {
    if (in.Bits(1) == 0) {
      const uint32_t flags = in.Bits(5);
      if (flags == 0) break;
      ++s.setup_steps;
      if (flags & 0x01) {
        const int n = static_cast<int>(in.Bits(5));
        pen.x = in.SignedBits(n);
        pen.y = in.SignedBits(n);
        ++s.move_tos;
      }
      if (flags & 0x02) fill0 = static_cast<int>(in.Bits(s.fill_bits));
      if (flags & 0x04) fill1 = static_cast<int>(in.Bits(s.fill_bits));
      if (flags & 0x08) line = static_cast<int>(in.Bits(s.line_bits));
      if (flags & 0x10) throw DecodeError("setup flag 0x10");
      continue;
    }
    Edge e;
    e.fill0 = fill0, e.fill1 = fill1, e.line = line;
    e.p0 = pen;
    if (in.Bits(1)) {
      const int n = static_cast<int>(in.Bits(4)) + 2;
      int32_t dx = 0, dy = 0;
      if (in.Bits(1)) {
        dx = in.SignedBits(n);
        dy = in.SignedBits(n);
        s.kinds += 'g';
      } else if (in.Bits(1)) {
        dy = in.SignedBits(n);
        s.kinds += 'v';
      } else {
        dx = in.SignedBits(n);
        s.kinds += 'h';
      }
      e.straight = true;
      e.delta_width = n;
      e.p2 = {pen.x + dx, pen.y + dy};
      e.control = {(e.p0.x + e.p2.x) >> 1, (e.p0.y + e.p2.y) >> 1};
    } else {
      const int n = static_cast<int>(in.Bits(4)) + 2;
      const int32_t cx = in.SignedBits(n), cy = in.SignedBits(n);
      const int32_t ax = in.SignedBits(n), ay = in.SignedBits(n);
      e.control = {pen.x + cx, pen.y + cy};
      e.p2 = {e.control.x + ax, e.control.y + ay};
      e.delta_width = n;
      s.kinds += 'c';
    }
    pen = e.p2;
    s.edges.push_back(e);
  }
  in.Align();
  return s;
}

Shape ReadShape(std::span<const uint8_t> body) {
  Reader in(body);
  Shape shape;
  shape.id = in.U16();
  shape.bounds = ReadRect(in);
  const int fills = in.U8();
  for (int i = 0; i < fills; ++i) {
    Fill f;
    f.kind = in.U8();
    if (f.kind & 0x10) {
      f.matrix = ReadMatrix(in);
      const int n = in.U8();
      for (int k = 0; k < n; ++k) {
        f.ratios.push_back(in.U8());
        f.colors.push_back(ReadRgb(in));
      }
    } else if (f.kind & 0x40) {
      f.bitmap_id = in.U16();
      f.matrix = ReadMatrix(in);
    } else {
      f.color = ReadRgb(in);
    }
    shape.fills.push_back(f);
  }
  const int lines = in.U8();
  for (int i = 0; i < lines; ++i) {
    Line l;
    l.width = in.U16();
    l.color = ReadRgb(in);
    shape.lines.push_back(l);
  }
  shape.steps = ReadSteps(in);
  if (in.Remaining() != 0) throw DecodeError("bytes after the steps");
  return shape;
}

}  // namespace moviedec
