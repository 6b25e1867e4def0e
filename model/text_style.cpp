#include "model/text_style.h"

#include <cstring>
#include <string>

#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/font.h"

namespace {
constexpr uint8_t kStyleVersion = 3;
constexpr Fixed kScriptScale = 42598;  // 0.649994
}  // namespace

void CTextStyle::SetDefault() {
  size = 240;
  SetFaceName(faceName, "Times New Roman");
  color = 0xFF000000;
  pitchAndFamily = 0;
  charSet = 0;
  bold = 0;
  italic = 0;
  fontFlag = 0;
  kerning = 1;
  position = 0;
  alignment = 0;
  lineSpacing = 40;
  indent = 0;
  leftMargin = 0;
  rightMargin = 0;
  letterSpacing = 0;
  flags = 0;
  avgCharWidth = 0;
  ascent = 0;
  descent = 0;
}

uint32_t CTextStyle::Compare(const CTextStyle& o) const {
  uint32_t m = 0;
  if (size == o.size) m |= kMaskSize;
  if (std::strncmp(faceName, o.faceName, sizeof faceName) == 0) m |= kMaskFace;
  if (color == o.color) m |= kMaskColor;
  if (bold == o.bold) m |= kMaskBold;
  if (italic == o.italic) m |= kMaskItalic;
  if (letterSpacing == o.letterSpacing) m |= kMaskLetterSpacing;
  if (kerning == o.kerning) m |= kMaskKerning;
  if (position == o.position) m |= kMaskPosition;
  if (fontFlag == o.fontFlag) m |= kMaskFontFlag;
  if (alignment == o.alignment) m |= kMaskAlignment;
  if (indent == o.indent) m |= kMaskIndent;
  if (leftMargin == o.leftMargin) m |= kMaskLeftMargin;
  if (rightMargin == o.rightMargin) m |= kMaskRightMargin;
  if (lineSpacing == o.lineSpacing) m |= kMaskLineSpacing;
  return m;
}

void CTextStyle::Apply(const CTextStyle& s, uint32_t mask) {
  bool relative = (mask & kMaskRelative) != 0;
  if (mask & kMaskSize) size = relative ? static_cast<uint16_t>(size + s.size) : s.size;
  if (mask & kMaskFace) {
    std::memcpy(faceName, s.faceName, sizeof faceName);
    faceName[31] = 0;
    pitchAndFamily = s.pitchAndFamily;
    charSet = s.charSet;
  }
  if (mask & kMaskColor) color = s.color;
  if (mask & kMaskBold) bold = s.bold;
  if (mask & kMaskItalic) italic = s.italic;
  if (mask & kMaskLetterSpacing) {
    letterSpacing =
        relative ? static_cast<int16_t>(letterSpacing + s.letterSpacing) : s.letterSpacing;
  }
  if (mask & kMaskKerning) kerning = s.kerning;
  if (mask & kMaskPosition) position = s.position;
  if (mask & kMaskFontFlag) fontFlag = s.fontFlag;
  if (mask & kMaskAlignment) alignment = s.alignment;
  if (mask & kMaskIndent) indent = s.indent;
  if (mask & kMaskLeftMargin) leftMargin = s.leftMargin;
  if (mask & kMaskRightMargin) rightMargin = s.rightMargin;
  if (mask & kMaskLineSpacing) lineSpacing = s.lineSpacing;
}

std::shared_ptr<CFontFace> CTextStyle::CreateFont(int32_t height, int32_t width) const {
  return FontService().CreateFont(GetLogFont(height, width));
}

LogFont CTextStyle::GetLogFont(int32_t height, int32_t width) const {
  LogFont lf;
  lf.height = -height;
  lf.width = width;
  lf.weight = bold ? 700 : 400;
  lf.italic = italic;
  lf.char_set = charSet;
  lf.out_precision = 3;
  lf.clip_precision = 2;
  lf.quality = 2;
  lf.pitch_and_family = pitchAndFamily;
  std::memcpy(lf.face_name, faceName, sizeof lf.face_name);
  lf.face_name[31] = 0;
  return lf;
}

int32_t CTextStyle::GetEffectiveSize(int32_t& sizeOut, int32_t& shiftOut) const {
  if (position == kNormal) {
    sizeOut = size;
    shiftOut = 0;
    return 0;
  }
  sizeOut = FixedMul(kScriptScale, size);
  if (position == kSuperscript) {
    shiftOut = FixedMul(kScriptScale, ascent) - ascent;
  } else {
    shiftOut = descent - FixedMul(kScriptScale, descent);
  }
  return 1;
}

void CTextStyle::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << kStyleVersion << size;
    ar.WriteShortString(std::string(faceName, strnlen(faceName, sizeof faceName)));
    ar << color << pitchAndFamily << charSet << bold << italic << fontFlag << kerning << position
       << alignment << lineSpacing << indent << leftMargin << rightMargin << letterSpacing;
    return;
  }
  uint8_t version;
  ar >> version;
  if (version < 2) return;
  ar >> size;
  std::string face = ar.ReadShortString();
  // A stored name longer than the field is cut at 31 bytes.
  SetFaceName(faceName, face.c_str());
  ar >> color >> pitchAndFamily >> charSet >> bold;
  if (version >= 3) {
    ar >> italic >> fontFlag >> kerning >> position;
  } else {
    uint8_t packed;
    ar >> packed;
    italic = packed & 1;
    fontFlag = (packed >> 1) & 1;
    kerning = (packed & 4) ? 0 : 1;
    position = (packed >> 3) & 3;
  }
  ar >> alignment >> lineSpacing >> indent >> leftMargin >> rightMargin >> letterSpacing;
  flags &= kFlagInUse;
}
