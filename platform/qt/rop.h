// Raster operations. A ternary raster operation combines, bit by bit, the
// pattern (the brush) P, the source S and the destination D; its code's
// bits 16-23 are the truth table: bit (p << 2 | s << 1 | d) is the result for
// those input bits. Binary operations (pens and brushes) combine P and D.
#pragma once

#include <cstdint>

// The ternary codes the drawing code names.
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t NOTSRCERASE = 0x001100A6;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t MERGEPAINT = 0x00BB0226;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATPAINT = 0x00FB0A09;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

// Binary operations (SetROP2).
enum : int {
  R2_BLACK = 1,
  R2_NOTMERGEPEN = 2,
  R2_MASKNOTPEN = 3,
  R2_NOTCOPYPEN = 4,
  R2_MASKPENNOT = 5,
  R2_NOT = 6,
  R2_XORPEN = 7,
  R2_NOTMASKPEN = 8,
  R2_MASKPEN = 9,
  R2_NOTXORPEN = 10,
  R2_NOP = 11,
  R2_MERGENOTPEN = 12,
  R2_COPYPEN = 13,
  R2_MERGEPENNOT = 14,
  R2_MERGEPEN = 15,
  R2_WHITE = 16,
};

// The truth-table byte of a ternary code.
constexpr uint8_t Rop3Index(uint32_t rop) {
  return static_cast<uint8_t>(rop >> 16);
}
// The ternary truth table of a binary operation (the source is ignored).
constexpr uint8_t Rop2ToRop3Index(int rop2) {
  const unsigned table = static_cast<unsigned>(rop2 - 1) & 15;  // bit (p << 1 | d)
  uint8_t out = 0;
  for (int i = 0; i < 8; ++i) {
    const int p = i >> 2 & 1, d = i & 1;
    if (table >> (p << 1 | d) & 1) out |= static_cast<uint8_t>(1 << i);
  }
  return out;
}
// Whether an operation reads the source, the pattern or the destination.
constexpr bool RopUsesSource(uint8_t index) {
  return ((index >> 2 ^ index) & 0x33) != 0;
}
constexpr bool RopUsesPattern(uint8_t index) {
  return ((index >> 4 ^ index) & 0x0F) != 0;
}
constexpr bool RopUsesDest(uint8_t index) {
  return ((index >> 1 ^ index) & 0x55) != 0;
}

// The slow reference: each of the 32 bits looked up in the truth table.
uint32_t Rop3Reference(uint8_t index, uint32_t p, uint32_t s, uint32_t d);

// The fast evaluator: the truth table split by P, then S, into four
// functions of D (0, D, ~D or all ones), each a mask expression.
struct Rop3Eval {
  uint32_t m[4][2];  // for (p, s): masks selecting ~D and D
  explicit constexpr Rop3Eval(uint8_t index) : m{} {
    for (int ps = 0; ps < 4; ++ps) {
      const int bits = index >> (ps * 2) & 3;  // bit 0: d = 0, bit 1: d = 1
      m[ps][0] = (bits & 1) ? 0xFFFFFFFFu : 0;
      m[ps][1] = (bits & 2) ? 0xFFFFFFFFu : 0;
    }
  }
  constexpr uint32_t operator()(uint32_t p, uint32_t s, uint32_t d) const {
    const uint32_t nd = ~d;
    const uint32_t f00 = (m[0][0] & nd) | (m[0][1] & d);
    const uint32_t f01 = (m[1][0] & nd) | (m[1][1] & d);
    const uint32_t f10 = (m[2][0] & nd) | (m[2][1] & d);
    const uint32_t f11 = (m[3][0] & nd) | (m[3][1] & d);
    const uint32_t f0 = (s & f01) | (~s & f00);
    const uint32_t f1 = (s & f11) | (~s & f10);
    return (p & f1) | (~p & f0);
  }
};

// One row: dst[i] = rop(pat[i], src[i], dst[i]); a null src or pat reads 0.
// The common operations take loops of their own.
void Rop3Row(uint8_t index, uint32_t* dst, const uint32_t* src, const uint32_t* pat, int count);
