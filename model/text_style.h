// The text style record: font, colour, character attributes, paragraph
// attributes, and a cache of measured font metrics. A 14-bit field mask
// selects fields for comparing and applying styles.
#pragma once

#include <cstdint>
#include <memory>

#include "geometry/fixed.h"

class CArchive;
class CFontFace;
struct LogFont;

class CTextStyle {
 public:
  // Field mask bits.
  static constexpr uint32_t kMaskSize = 0x0001;
  static constexpr uint32_t kMaskFace = 0x0002;  // apply also copies pitchAndFamily and charSet
  static constexpr uint32_t kMaskColor = 0x0004;
  static constexpr uint32_t kMaskBold = 0x0008;
  static constexpr uint32_t kMaskItalic = 0x0010;
  static constexpr uint32_t kMaskLetterSpacing = 0x0020;
  static constexpr uint32_t kMaskKerning = 0x0040;
  static constexpr uint32_t kMaskPosition = 0x0080;
  static constexpr uint32_t kMaskFontFlag = 0x0100;
  static constexpr uint32_t kMaskAlignment = 0x0200;
  static constexpr uint32_t kMaskIndent = 0x0400;
  static constexpr uint32_t kMaskLeftMargin = 0x0800;
  static constexpr uint32_t kMaskRightMargin = 0x1000;
  static constexpr uint32_t kMaskLineSpacing = 0x2000;
  static constexpr uint32_t kMaskAll = 0x3FFF;
  static constexpr uint32_t kMaskRelative = 0x4000;     // apply: size and letter spacing are added
  static constexpr uint32_t kMaskParagraph = 0x3E00;    // alignment, indent, margins, spacing
  static constexpr uint32_t kMaskFontIdentity = 0x1DB;  // styles equal here share metrics
  static constexpr uint32_t kMaskKerningPair = 0xC3;    // styles equal here kern together

  // flags bits.
  static constexpr uint32_t kFlagInUse = 0x1;
  static constexpr uint32_t kFlagOutline = 0x2;  // the font has outline metrics
  static constexpr uint32_t kFlagSmall = 0x4;    // outline at height 1 instead of 2048

  // Alignments and positions.
  enum Alignment : uint8_t { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2, kAlignJustify = 3 };
  enum Position : uint8_t { kNormal = 0, kSuperscript = 1, kSubscript = 2 };

  CTextStyle() { SetDefault(); }

  // Size 240, "Times New Roman", opaque black, kerning on, line spacing 40,
  // every other field 0.
  void SetDefault();
  // The mask of the fields that are equal (face names byte by byte).
  uint32_t Compare(const CTextStyle& other) const;
  // Copies the masked fields of source.
  void Apply(const CTextStyle& source, uint32_t mask);
  // The style's font at character height `height` (em height), the given
  // width, weight 700 or 400, italic, charSet, pitch and face name.
  std::shared_ptr<CFontFace> CreateFont(int32_t height, int32_t width = 0) const;
  // The font description CreateFont asks the font service for.
  LogFont GetLogFont(int32_t height, int32_t width = 0) const;
  // For normal text 0, with size = size and shift 0. Otherwise 1, with size
  // 0.65 of it and the baseline shift (up for superscript, down for
  // subscript) from the measured ascent or descent.
  int32_t GetEffectiveSize(int32_t& sizeOut, int32_t& shiftOut) const;
  // Version 3: size, face, colour, pitch, charSet, bold, italic, fontFlag,
  // kerning, position, alignment and the five spacings; reads versions 0-3.
  void Serialize(CArchive& ar);

  uint16_t size;
  char faceName[32];
  uint32_t color;
  uint8_t pitchAndFamily;
  uint8_t charSet;
  uint8_t bold;
  uint8_t italic;
  uint8_t fontFlag;
  uint8_t kerning;
  uint8_t position;
  uint8_t alignment;
  int16_t lineSpacing;
  int16_t indent;
  int16_t leftMargin;
  int16_t rightMargin;
  int16_t letterSpacing;
  // Measured cache.
  uint32_t flags;
  int32_t avgCharWidth;
  int16_t ascent;
  int16_t descent;
};
