// The font service: fonts described by the classic logical-font fields,
// their metrics, character widths, kerning pairs, glyph outlines and raw
// sfnt tables. The FreeType and fontconfig implementation is the default;
// tests install a double with SetFontService.
//
// Units: every measure is in logical units of the font's em height (a
// negative LogFont height is the em height; a positive one the cell height,
// ascent plus descent). Outlines are in 16.16 fixed point of the same units
// with y running up, as lines and quadratic splines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry/fixed.h"

struct LogFont {
  int32_t height = 0;  // < 0: em height; > 0: cell height; 0: a default of 16
  int32_t width = 0;   // 0: the face's own proportions
  int32_t escapement = 0;
  int32_t orientation = 0;
  int32_t weight = 400;  // 600 and above ask for bold
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strike_out = 0;
  uint8_t char_set = 0;
  uint8_t out_precision = 0;
  uint8_t clip_precision = 0;
  uint8_t quality = 0;
  uint8_t pitch_and_family = 0;
  char face_name[32] = {};  // NUL-terminated
};

// Copies a face name into a LogFont-sized field, cut at 31 bytes.
void SetFaceName(char (&field)[32], const char* name);

struct TextMetrics {
  int32_t height = 0;  // ascent + descent
  int32_t ascent = 0;
  int32_t descent = 0;
  int32_t avg_char_width = 0;
  int32_t weight = 400;
  uint8_t italic = 0;
  uint8_t pitch_and_family = 0;
  uint8_t char_set = 0;
};

// A kerning pair in character codes of the font's code page.
struct KerningPair {
  uint16_t first = 0;
  uint16_t second = 0;
  int32_t amount = 0;
};

// One record of a native outline: lines (every point ends a straight piece)
// or a quadratic spline (off-curve points whose midpoints are implied, the
// last point on the curve).
struct OutlineRecord {
  static constexpr uint16_t kLine = 1;
  static constexpr uint16_t kQSpline = 2;
  uint16_t type = kLine;
  std::vector<Point32> points;  // 16.16, y up
};

struct OutlineContour {
  Point32 start;  // 16.16, y up
  std::vector<OutlineRecord> records;
};

struct GlyphOutline {
  std::vector<OutlineContour> contours;
};

class CFontFace {
 public:
  virtual ~CFontFace() = default;
  virtual const LogFont& GetLogFont() const = 0;
  virtual void GetTextMetrics(TextMetrics& out) const = 0;
  // True for outline (TrueType or CFF) fonts.
  virtual bool HasOutlineMetrics() const = 0;
  // Advances of the codes 0 to 255 (a lead byte alone has the width of its
  // default glyph).
  virtual void GetCharWidths(int32_t widths[256]) const = 0;
  // The advance of one character of one or two bytes (no kerning); false
  // when the bytes make no character.
  virtual bool GetTextExtent(const uint8_t* bytes, int n, int32_t& cx) const = 0;
  virtual std::vector<KerningPair> GetKerningPairs() const = 0;
  // The outline of one character code; false when the font has none.
  virtual bool GetGlyphOutline(uint16_t code, GlyphOutline& out) const = 0;
  // A raw sfnt table by its tag ('head' = 0x68656164); false when absent.
  virtual bool GetFontData(uint32_t tag, std::vector<uint8_t>& out) const = 0;
  // The file the face was resolved to, and the face's index in it.
  virtual std::string GetFaceFile() const = 0;
  virtual int32_t GetFaceIndex() const = 0;
};

// A family as the font enumeration lists it.
struct FontFamily {
  std::string name;
  uint8_t pitch_and_family = 0;  // 1 fixed pitch, 2 variable pitch
  uint8_t char_set = 0;
};

class CFontService {
 public:
  virtual ~CFontService() = default;
  // Never null: a request that finds nothing gets a fallback face.
  virtual std::shared_ptr<CFontFace> CreateFont(const LogFont& lf) = 0;
  // The scalable families, sorted by name.
  virtual std::vector<FontFamily> EnumScalableFamilies() = 0;
};

// The current service (FreeType and fontconfig unless replaced).
CFontService& FontService();
// Replaces the service; null brings back the default. The caller keeps
// ownership.
void SetFontService(CFontService* service);
// The FreeType and fontconfig service (created on first use).
CFontService& DefaultFontService();

// A double for tests: every outline-less face has ascent 4/5 and descent
// 1/5 of the em, each character half the em wide, no kerning.
class CFixedFontService : public CFontService {
 public:
  std::shared_ptr<CFontFace> CreateFont(const LogFont& lf) override;
  std::vector<FontFamily> EnumScalableFamilies() override { return {}; }
};
