// CTagReader: the byte and bit reader of movie data.
//
// Reads little-endian integers, most-significant-first bit fields and the
// format's compound values (rectangles, matrices, colours) from a byte buffer
// between a position and an end. The end is always a real bound: the end of
// the record being read, never beyond the bytes buffered. A read that would
// pass the end yields zeros and sets the sticky `overrun` flag, so a decoder
// may read a whole structure and check once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/fixed.h"

class CTagReader {
 public:
  CTagReader() = default;
  CTagReader(const uint8_t* data, uint32_t position, uint32_t end)
      : data(data), pos(position), end(end) {}

  // ---- Bytes (each starts at the next byte boundary) ----
  uint8_t GetByte();
  uint16_t GetWord();
  uint32_t GetDWord();
  // Red, green, blue bytes.
  void GetColor(uint8_t rgb[3]);
  // A colour as alpha 255 with blue, green, red: 0xFF000000 | B << 16 | G << 8 | R.
  uint32_t GetPackedColor();
  // Copies up to n bytes (fewer when the end comes first); returns the count.
  uint32_t GetBlock(uint8_t* out, uint32_t n);
  // Skips n bytes; past the end it stops there and sets the overrun flag.
  void Skip(uint32_t n);

  // ---- Bits ----
  // Drops the unused bits of the current byte: the next bit field starts on a
  // byte boundary.
  void Align() { bitsLeft = 0; }
  // An unsigned field of n bits (0 to 32); 0 bits read as 0.
  uint32_t GetBits(int n);
  // A signed field of n bits, sign-extended from bit n - 1.
  int32_t GetSBits(int n);

  // ---- Compound values (each is a byte-aligned bit block) ----
  void GetRect(Rect32& r);  // xmin, xmax, ymin, ymax
  void ReadMatrix(Matrix2x3& m);

  uint32_t Remaining() const { return pos < end ? end - pos : 0; }
  bool AtEnd() const { return pos >= end; }

  // Fields.
  const uint8_t* data = nullptr;
  uint32_t pos = 0;
  uint32_t end = 0;
  uint32_t bitBuffer = 0;  // the byte being read bit by bit
  int32_t bitsLeft = 0;    // bits of it not yet read
  bool overrun = false;
};

// One action of an action list (frame scripts and buttons).
struct ActionRecord {
  uint8_t code = 0;
  uint32_t payload = 0;         // offset of the payload in the buffer (codes >= 0x80)
  uint32_t payload_length = 0;  // bytes of it inside the record
};

// Reads the next action of a list; false at the end code 0, at the end of the
// data or when a payload runs past it. The reader is left after the action.
bool NextAction(CTagReader& in, ActionRecord& out);

// Skips a button's parts (mask, id, depth, matrix ...; a zero mask ends them),
// leaving the reader at the button's action list.
void SkipButtonParts(CTagReader& in);

// Copies the URL of an ACT_OPEN_URL payload (its bytes up to the first 0)
// into a buffer of `size` bytes, always terminated, truncated to size - 1
// characters. Returns the length copied.
size_t CopyActionUrl(const uint8_t* data, const ActionRecord& action, char* out, size_t size);
