// A small, independent decoder of movie files for the tests: it reads what
// the writer produces straight from the format's definition, sharing no code
// with the writer (not even movie_format.h), so that a misreading of the
// format on one side shows up as a mismatch. Every read is bounded; running
// past the data throws DecodeError.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace moviedec {

struct DecodeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Bytes and most-significant-first bit fields over a byte span.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  uint32_t Bits(int n);
  int32_t SignedBits(int n);
  // Skips the unused bits of a partly read byte.
  void Align() { bit_ = 0, pos_ += bit_pending_ ? 1 : 0, bit_pending_ = false; }
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  std::span<const uint8_t> Bytes(size_t n);
  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  int bit_ = 0;  // bits used of data_[pos_]
  bool bit_pending_ = false;
};

struct Rect {
  int32_t xmin, xmax, ymin, ymax;
  int width;  // the width field as stored
};

struct Matrix {
  int32_t a = 0x10000, b = 0, c = 0, d = 0x10000, tx = 0, ty = 0;
  bool operator==(const Matrix&) const = default;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

Rect ReadRect(Reader& in);
Matrix ReadMatrix(Reader& in);
Rgb ReadRgb(Reader& in);

struct Record {
  uint16_t code = 0;
  bool long_form = false;
  std::span<const uint8_t> body;
};

struct Movie {
  uint8_t version = 0;
  uint32_t file_length = 0;
  Rect stage{};
  uint16_t rate = 0;
  uint16_t frame_count = 0;
  std::vector<Record> records;  // up to and including the end record
};

// Parses prefix, header and record framing; checks the magic and the length.
Movie ReadMovie(std::span<const uint8_t> file);

struct Fill {
  uint8_t kind = 0;
  Rgb color;                    // solid
  Matrix matrix;                // gradient or bitmap
  std::vector<uint8_t> ratios;  // gradient
  std::vector<Rgb> colors;      // gradient
  uint16_t bitmap_id = 0;       // bitmap
};

struct Line {
  uint16_t width = 0;
  Rgb color;
};

struct Point {
  int32_t x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// One edge as drawn: from p0 (through control unless straight) to p2, with the
// styles in force (1-based, 0 none).
struct Edge {
  Point p0, control, p2;
  bool straight = false;
  int fill0 = 0, fill1 = 0, line = 0;
  int delta_width = 0;  // the delta field width used
};

struct Steps {
  int fill_bits = 0, line_bits = 0;
  int setup_steps = 0;  // not counting the end step
  int move_tos = 0;
  std::vector<Edge> edges;
  // Per straight step: 'g' general, 'h' horizontal, 'v' vertical; 'c' curved.
  std::string kinds;
};

Steps ReadSteps(Reader& in);

struct Shape {
  uint16_t id = 0;
  Rect bounds{};
  std::vector<Fill> fills;
  std::vector<Line> lines;
  Steps steps;
};

Shape ReadShape(std::span<const uint8_t> body);

}  // namespace moviedec
