// The font service over FreeType (faces, outlines, tables) and fontconfig
// (matching a face name with the system's substitutions).
//
// Only scalable sfnt faces (TrueType or CFF) are matched. Metrics follow
// the face's Windows values: ascent usWinAscent, descent usWinDescent,
// average width xAvgCharWidth, each times ppem / unitsPerEm rounded to the
// nearest; advances are unhinted and rounded alike; kerning comes from the
// 'kern' table only. Bold and oblique are synthesised when the face lacks
// them, in metrics and outlines alike.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

#include "platform/core/code_page.h"
#include "platform/core/font.h"

namespace {

// v * num / den rounded to the nearest, halves away from zero.
int32_t ScaleRound(int64_t v, int64_t num, int64_t den) {
  int64_t p = v * num;
  int64_t q = (p >= 0 ? p + den / 2 : p - den / 2) / den;
  return static_cast<int32_t>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

uint32_t ReadU16(const std::vector<uint8_t>& b, size_t at) {
  return at + 2 <= b.size() ? static_cast<uint32_t>(b[at] << 8 | b[at + 1]) : 0;
}
uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at) {
  return at + 4 <= b.size() ? ReadU16(b, at) << 16 | ReadU16(b, at + 2) : 0;
}

// One opened face file, shared by every font made on it.
struct FaceData {
  FT_Face face = nullptr;
  std::string file;
  int32_t index = 0;
  int32_t units_per_em = 2048;
  int32_t win_ascent = 0;
  int32_t win_descent = 0;
  int32_t avg_char_width = 0;
  bool bold = false;
  bool italic = false;
  bool symbol_cmap = false;
  // Kerning pairs of the 'kern' table, by glyph ids, in font units.
  std::map<std::pair<uint32_t, uint32_t>, int32_t> kern;
  // Outlines already built, by glyph, size and synthesis (bounded).
  std::unordered_map<uint64_t, GlyphOutline> outlines;

  ~FaceData() {
    if (face != nullptr) FT_Done_Face(face);
  }
};

void ReadKernTable(FaceData& d) {
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(d.face, TTAG_kern, 0, nullptr, &length) != 0 || length < 4) return;
  std::vector<uint8_t> t(length);
  if (FT_Load_Sfnt_Table(d.face, TTAG_kern, 0, t.data(), &length) != 0) return;
  // The Windows header (u16 version 0, u16 count) or the newer one (u32
  // version 0x00010000, u32 count), then subtables of which format 0 holds
  // plain horizontal pairs.
  size_t at;
  uint32_t count;
  bool apple = ReadU16(t, 0) == 1;
  if (apple) {
    count = ReadU32(t, 4);
    at = 8;
  } else {
    count = ReadU16(t, 2);
    at = 4;
  }
  for (uint32_t s = 0; s < count && at < t.size(); ++s) {
    uint32_t subLength, format, coverage;
    size_t body;
    if (apple) {
      subLength = ReadU32(t, at);
      coverage = ReadU16(t, at + 4);
      format = coverage & 0xFF;
      bool horizontal = (coverage & 0xE000) == 0;
      body = at + 8;
      if (!horizontal) format = 0xFF;
    } else {
      subLength = ReadU16(t, at + 2);
      coverage = ReadU16(t, at + 4);
      format = coverage >> 8;
      // Horizontal, not minimum, not cross-stream.
      if ((coverage & 0x7) != 0x1) format = 0xFF;
      body = at + 6;
    }
    if (format == 0) {
      uint32_t pairs = ReadU16(t, body);
      size_t p = body + 8;
      for (uint32_t i = 0; i < pairs && p + 6 <= t.size(); ++i, p += 6) {
        auto amount = static_cast<int16_t>(ReadU16(t, p + 4));
        d.kern[{ReadU16(t, p), ReadU16(t, p + 2)}] += amount;
      }
    }
    if (subLength < 6) break;
    at += subLength;
  }
}

class FreeTypeFace : public CFontFace {
 public:
  FreeTypeFace(std::shared_ptr<FaceData> data, const LogFont& lf, bool synthBold, bool synthOblique)
      : data_(std::move(data)),
        lf_(lf),
        synth_bold_(synthBold),
        synth_oblique_(synthOblique),
        code_page_(CodePageForCharSet(lf.char_set)) {
    const FaceData& d = *data_;
    if (lf.height < 0) {
      ppem_ = -static_cast<int64_t>(lf.height);
    } else if (lf.height > 0) {
      int32_t cell = std::max(1, d.win_ascent + d.win_descent);
      ppem_ = std::max<int64_t>(1, ScaleRound(lf.height, d.units_per_em, cell));
    } else {
      ppem_ = 16;
    }
    bold_strength_ = synthBold ? std::max(1, d.units_per_em / 32) : 0;
  }

  const LogFont& GetLogFont() const override { return lf_; }

  void GetTextMetrics(TextMetrics& m) const override {
    const FaceData& d = *data_;
    m.ascent = Scale(d.win_ascent);
    m.descent = Scale(d.win_descent);
    m.height = m.ascent + m.descent;
    m.avg_char_width = Scale(d.avg_char_width + bold_strength_);
    m.weight = (d.bold || synth_bold_) ? 700 : 400;
    m.italic = (d.italic || synth_oblique_) ? 1 : 0;
    m.pitch_and_family = FT_IS_FIXED_WIDTH(d.face) ? 1 : 2;
    m.char_set = lf_.char_set;
  }

  bool HasOutlineMetrics() const override { return true; }

  void GetCharWidths(int32_t widths[256]) const override {
    for (int c = 0; c < 256; ++c)
      widths[c] = Scale(AdvanceUnits(GlyphOf(static_cast<uint16_t>(c))));
  }

  bool GetTextExtent(const uint8_t* bytes, int n, int32_t& cx) const override {
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) {
      uint16_t code = bytes[i];
      if (IsLeadByteInCodePage(code_page_, bytes[i]) && i + 1 < n) {
        code = static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]);
        ++i;
      }
      sum += AdvanceUnits(GlyphOf(code));
    }
    cx = Scale(sum);
    return n > 0;
  }

  std::vector<KerningPair> GetKerningPairs() const override {
    std::vector<KerningPair> out;
    const FaceData& d = *data_;
    if (d.kern.empty()) return out;
    // The codes of the font's code page that reach each glyph.
    std::multimap<uint32_t, uint16_t> codesOfGlyph;
    uint32_t last = IsLeadByteInCodePage(code_page_, 0x81) ? 0xFFFF : 0xFF;
    for (uint32_t code = 0; code <= last; ++code) {
      if (code > 0xFF && !IsLeadByteInCodePage(code_page_, static_cast<uint8_t>(code >> 8))) {
        continue;
      }
      if (code <= 0xFF && IsLeadByteInCodePage(code_page_, static_cast<uint8_t>(code))) continue;
      uint32_t g = GlyphOf(static_cast<uint16_t>(code));
      if (g != 0) codesOfGlyph.emplace(g, static_cast<uint16_t>(code));
    }
    for (const auto& [pair, amount] : d.kern) {
      int32_t scaled = Scale(amount);
      if (scaled == 0) continue;
      auto [a0, a1] = codesOfGlyph.equal_range(pair.first);
      for (auto a = a0; a != a1; ++a) {
        auto [b0, b1] = codesOfGlyph.equal_range(pair.second);
        for (auto b = b0; b != b1; ++b) out.push_back({a->second, b->second, scaled});
      }
    }
    std::sort(out.begin(), out.end(), [](const KerningPair& x, const KerningPair& y) {
      return std::tie(x.first, x.second) < std::tie(y.first, y.second);
    });
    return out;
  }

  bool GetGlyphOutline(uint16_t code, GlyphOutline& out) const override;
  bool BuildOutline(uint32_t glyph, GlyphOutline& out) const;

  bool GetFontData(uint32_t tag, std::vector<uint8_t>& out) const override {
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(data_->face, tag, 0, nullptr, &length) != 0) return false;
    out.resize(length);
    return FT_Load_Sfnt_Table(data_->face, tag, 0, out.data(), &length) == 0;
  }

  std::string GetFaceFile() const override { return data_->file; }
  int32_t GetFaceIndex() const override { return data_->index; }

 private:
  int32_t Scale(int64_t units) const { return ScaleRound(units, ppem_, data_->units_per_em); }

  uint32_t GlyphOf(uint16_t code) const {
    FT_Face face = data_->face;
    if (code_page_ == kCodePageSymbol || (data_->symbol_cmap && code < 256)) {
      if (data_->symbol_cmap) {
        FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
        uint32_t g = FT_Get_Char_Index(face, 0xF000u + (code & 0xFF));
        if (g == 0) g = FT_Get_Char_Index(face, code & 0xFF);
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        if (g != 0 || code_page_ == kCodePageSymbol) return g;
      }
    }
    uint32_t u = CodeToUnicode(code_page_ == kCodePageSymbol ? 1252 : code_page_, code);
    return u != 0 ? FT_Get_Char_Index(face, u) : 0;
  }

  int64_t AdvanceUnits(uint32_t glyph) const {
    FT_Fixed adv = 0;
    if (FT_Get_Advance(data_->face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING, &adv) != 0) {
      return 0;
    }
    return adv + bold_strength_;
  }

  std::shared_ptr<FaceData> data_;
  LogFont lf_;
  bool synth_bold_;
  bool synth_oblique_;
  int code_page_;
  int64_t ppem_ = 16;
  int32_t bold_strength_ = 0;  // font units added by synthetic bold
};

// Builds the native records of one contour, scaling font units to 16.16.
class OutlineBuilder {
 public:
  OutlineBuilder(int64_t ppem, int32_t unitsPerEm) : ppem_(ppem), upem_(unitsPerEm) {
    // One unit at 2048 units per em, in 16.16 of the output.
    tolerance_ = static_cast<double>(ppem) * 65536.0 / 2048.0;
  }
  Point32 Map(const FT_Vector& v) const {
    return {ScaleRound(v.x, ppem_ * 65536, upem_), ScaleRound(v.y, ppem_ * 65536, upem_)};
  }
  void Start(OutlineContour& c, const Point32& p) {
    c.start = p;
    contour_ = &c;
    current_ = p;
  }
  void Line(const Point32& p) {
    Record(OutlineRecord::kLine).points.push_back(p);
    current_ = p;
  }
  // Off-curve points within a spline; On ends it.
  void Off(const Point32& p) { Record(OutlineRecord::kQSpline).points.push_back(p); }
  void OnAfterOff(const Point32& p) {
    contour_->records.back().points.push_back(p);
    closed_ = true;  // the spline ends here
    current_ = p;
  }
  // A cubic piece from the current point, split into quadratics within one
  // unit at 2048 units per em.
  void Cubic(const Point32& c1, const Point32& c2, const Point32& p3) {
    double p[8] = {double(current_.x), double(current_.y), double(c1.x), double(c1.y),
                   double(c2.x),       double(c2.y),       double(p3.x), double(p3.y)};
    CubicPiece(p, 0);
    current_ = p3;
  }

 private:
  OutlineRecord& Record(uint16_t type) {
    auto& recs = contour_->records;
    if (recs.empty() || recs.back().type != type || closed_) {
      recs.push_back(OutlineRecord{type, {}});
      closed_ = false;
    }
    return recs.back();
  }
  void CubicPiece(const double* p, int depth) {
    // The quadratic through both ends with control (3(c1 + c2) - (p0 + p3)) / 4
    // is within sqrt(3) / 36 * |p3 - 3 c2 + 3 c1 - p0| of the cubic.
    double dx = p[6] - 3 * p[4] + 3 * p[2] - p[0];
    double dy = p[7] - 3 * p[5] + 3 * p[3] - p[1];
    double err = std::sqrt(3.0) / 36.0 * std::hypot(dx, dy);
    if (err > tolerance_ * 0.5 && depth < 16) {
      double m01x = (p[0] + p[2]) / 2, m01y = (p[1] + p[3]) / 2;
      double m12x = (p[2] + p[4]) / 2, m12y = (p[3] + p[5]) / 2;
      double m23x = (p[4] + p[6]) / 2, m23y = (p[5] + p[7]) / 2;
      double ax = (m01x + m12x) / 2, ay = (m01y + m12y) / 2;
      double bx = (m12x + m23x) / 2, by = (m12y + m23y) / 2;
      double mx = (ax + bx) / 2, my = (ay + by) / 2;
      double left[8] = {p[0], p[1], m01x, m01y, ax, ay, mx, my};
      double right[8] = {mx, my, bx, by, m23x, m23y, p[6], p[7]};
      CubicPiece(left, depth + 1);
      CubicPiece(right, depth + 1);
      return;
    }
    // Rounding the points to 16.16 adds well under half of the tolerance.
    Point32 control{static_cast<int32_t>(std::lround((3 * (p[2] + p[4]) - (p[0] + p[6])) / 4)),
                    static_cast<int32_t>(std::lround((3 * (p[3] + p[5]) - (p[1] + p[7])) / 4))};
    Point32 end{static_cast<int32_t>(std::lround(p[6])), static_cast<int32_t>(std::lround(p[7]))};
    auto& rec = contour_->records;
    rec.push_back(OutlineRecord{OutlineRecord::kQSpline, {control, end}});
    closed_ = true;
  }

  int64_t ppem_;
  int32_t upem_;
  double tolerance_;
  OutlineContour* contour_ = nullptr;
  Point32 current_;
  bool closed_ = false;
};

bool FreeTypeFace::GetGlyphOutline(uint16_t code, GlyphOutline& out) const {
  uint32_t glyph = GlyphOf(code);
  const uint64_t key = uint64_t{glyph} | static_cast<uint64_t>(ppem_ & 0x3FFFFFFF) << 32 |
                       (synth_bold_ ? 1ull << 62 : 0) | (synth_oblique_ ? 1ull << 63 : 0);
  auto& cache = data_->outlines;
  if (auto it = cache.find(key); it != cache.end()) {
    out = it->second;
    return true;
  }
  if (!BuildOutline(glyph, out)) return false;
  if (cache.size() >= 8192) cache.clear();
  cache.emplace(key, out);
  return true;
}

bool FreeTypeFace::BuildOutline(uint32_t glyph, GlyphOutline& out) const {
  out.contours.clear();
  FT_Face face = data_->face;
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
      face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
    // A glyph that cannot be read stands in as .notdef.
    if (glyph == 0 || FT_Load_Glyph(face, 0, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) {
      return false;
    }
  }
  FT_Outline& o = face->glyph->outline;
  if (synth_bold_) FT_Outline_EmboldenXY(&o, bold_strength_, 0);
  if (synth_oblique_) {
    FT_Matrix shear{0x10000, 0x366A, 0, 0x10000};  // x += y * tan(12 degrees)
    FT_Outline_Transform(&o, &shear);
  }
  OutlineBuilder b(ppem_, data_->units_per_em);
  int first = 0;
  for (int ci = 0; ci < o.n_contours; ++ci) {
    int last = o.contours[ci];
    int n = last - first + 1;
    if (n <= 0) {
      first = last + 1;
      continue;
    }
    auto tag = [&](int i) { return FT_CURVE_TAG(o.tags[first + (i % n)]); };
    auto pt = [&](int i) { return b.Map(o.points[first + (i % n)]); };
    // Start at an on-curve point; a contour of off-curve points only starts
    // at the midpoint of its first two.
    int s = -1;
    for (int i = 0; i < n; ++i) {
      if (tag(i) == FT_CURVE_TAG_ON) {
        s = i;
        break;
      }
    }
    OutlineContour& c = out.contours.emplace_back();
    Point32 start;
    int count = n;
    if (s < 0) {
      Point32 a = pt(0), bb = pt(1);
      start = {static_cast<int32_t>((int64_t{a.x} + bb.x) / 2),
               static_cast<int32_t>((int64_t{a.y} + bb.y) / 2)};
      s = 0;
    } else {
      start = pt(s);
      count = n - 1;
    }
    b.Start(c, start);
    bool inSpline = false;
    for (int k = 1; k <= count; ++k) {
      int i = s + k;
      Point32 p = pt(i);
      int t = tag(i);
      if (t == FT_CURVE_TAG_CUBIC) {
        // Two cubic controls, then the end (the start when the contour wraps).
        Point32 c2 = pt(i + 1);
        Point32 end = k + 2 > count ? start : pt(i + 2);
        b.Cubic(p, c2, end);
        k += 2;
        inSpline = false;
      } else if (t == FT_CURVE_TAG_CONIC) {
        b.Off(p);
        inSpline = true;
      } else if (inSpline) {
        b.OnAfterOff(p);
        inSpline = false;
      } else {
        b.Line(p);
      }
    }
    // Off-curve points at the end of the contour close on the start.
    if (inSpline) b.OnAfterOff(start);
    // A closing on-curve point equal to the start is dropped by the sink's
    // close, which always adds the straight piece back to the start.
    first = last + 1;
  }
  return true;
}

// ---- matching ------------------------------------------------------------------------

struct ResolveKey {
  std::string face;
  bool bold;
  bool italic;
  uint8_t char_set;
  bool operator<(const ResolveKey& o) const {
    return std::tie(face, bold, italic, char_set) < std::tie(o.face, o.bold, o.italic, o.char_set);
  }
};

struct Resolved {
  std::shared_ptr<FaceData> data;
  bool synth_bold = false;
  bool synth_oblique = false;
};

const char* LangOfCharSet(uint8_t charSet) {
  switch (charSet) {
    case 128:
      return "ja";
    case 129:
      return "ko";
    case 134:
      return "zh-cn";
    case 136:
      return "zh-tw";
    default:
      return nullptr;
  }
}

bool IsSfntFormat(FcPattern* p) {
  FcChar8* format = nullptr;
  if (FcPatternGetString(p, FC_FONTFORMAT, 0, &format) != FcResultMatch) return false;
  const char* f = reinterpret_cast<const char*>(format);
  return std::strcmp(f, "TrueType") == 0 || std::strcmp(f, "CFF") == 0;
}

class FreeTypeFontService : public CFontService {
 public:
  FreeTypeFontService() {
    FT_Init_FreeType(&library_);
    config_ = FcInitLoadConfigAndFonts();
  }
  ~FreeTypeFontService() override {
    resolved_.clear();
    faces_.clear();
    if (config_ != nullptr) FcConfigDestroy(config_);
    FT_Done_FreeType(library_);
  }

  std::shared_ptr<CFontFace> CreateFont(const LogFont& lfIn) override {
    LogFont lf = lfIn;
    lf.face_name[31] = 0;
    ResolveKey key{lf.face_name, lf.weight >= 600, lf.italic != 0, lf.char_set};
    auto it = resolved_.find(key);
    if (it == resolved_.end()) it = resolved_.emplace(key, Resolve(key)).first;
    const Resolved& r = it->second;
    if (!r.data) return CFixedFontService().CreateFont(lf);
    return std::make_shared<FreeTypeFace>(r.data, lf, r.synth_bold, r.synth_oblique);
  }

  std::vector<FontFamily> EnumScalableFamilies() override;

 private:
  Resolved Resolve(const ResolveKey& key) {
    Resolved r;
    FcPattern* pat = FcPatternCreate();
    if (!key.face.empty()) {
      FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(key.face.c_str()));
    }
    FcPatternAddInteger(pat, FC_WEIGHT, key.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, key.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    if (const char* lang = LangOfCharSet(key.char_set)) {
      FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    }
    FcConfigSubstitute(config_, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcFontSet* set = FcFontSort(config_, pat, FcFalse, nullptr, &result);
    FcPatternDestroy(pat);
    if (set == nullptr) return r;
    for (int i = 0; i < set->nfont && !r.data; ++i) {
      FcPattern* f = set->fonts[i];
      if (!IsSfntFormat(f)) continue;
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetString(f, FC_FILE, 0, &file) != FcResultMatch) continue;
      FcPatternGetInteger(f, FC_INDEX, 0, &index);
      r.data = OpenFace(reinterpret_cast<const char*>(file), index);
    }
    FcFontSetDestroy(set);
    if (r.data) {
      r.synth_bold = key.bold && !r.data->bold;
      r.synth_oblique = key.italic && !r.data->italic;
    }
    return r;
  }

  std::shared_ptr<FaceData> OpenFace(const std::string& file, int index) {
    auto k = std::make_pair(file, index);
    auto it = faces_.find(k);
    if (it != faces_.end()) return it->second;
    auto d = std::make_shared<FaceData>();
    if (FT_New_Face(library_, file.c_str(), index, &d->face) != 0 || !FT_IS_SFNT(d->face) ||
        !FT_IS_SCALABLE(d->face)) {
      return nullptr;
    }
    d->file = file;
    d->index = index;
    d->units_per_em = std::max<int32_t>(1, d->face->units_per_EM);
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(d->face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF) {
      d->win_ascent = os2->usWinAscent;
      d->win_descent = os2->usWinDescent;
      d->avg_char_width = os2->xAvgCharWidth;
      d->bold = os2->usWeightClass >= 600;
    } else {
      d->win_ascent = d->face->ascender;
      d->win_descent = -d->face->descender;
      d->avg_char_width = d->units_per_em / 2;
      d->bold = (d->face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    }
    d->italic = (d->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    for (int i = 0; i < d->face->num_charmaps; ++i) {
      if (d->face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) d->symbol_cmap = true;
    }
    FT_Select_Charmap(d->face, FT_ENCODING_UNICODE);
    ReadKernTable(*d);
    faces_.emplace(k, d);
    return d;
  }

  FT_Library library_ = nullptr;
  FcConfig* config_ = nullptr;
  std::map<std::pair<std::string, int>, std::shared_ptr<FaceData>> faces_;
  std::map<ResolveKey, Resolved> resolved_;
};

std::vector<FontFamily> FreeTypeFontService::EnumScalableFamilies() {
  std::map<std::string, FontFamily> families;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_FONTFORMAT, FC_SPACING, FC_CHARSET, FC_LANG,
                                     static_cast<char*>(nullptr));
  FcFontSet* set = FcFontList(config_, pat, os);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  if (set == nullptr) return {};
  // The characters of Windows-1252.
  FcCharSet* latin = FcCharSetCreate();
  for (uint16_t c = 0x20; c < 0x100; ++c) {
    if (uint32_t u = CodeToUnicode(1252, c)) FcCharSetAddChar(latin, u);
  }
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* f = set->fonts[i];
    if (!IsSfntFormat(f)) continue;
    FcChar8* family = nullptr;
    if (FcPatternGetString(f, FC_FAMILY, 0, &family) != FcResultMatch) continue;
    std::string name(reinterpret_cast<const char*>(family));
    if (families.count(name)) continue;
    FontFamily fam;
    fam.name = name;
    int spacing = FC_PROPORTIONAL;
    FcPatternGetInteger(f, FC_SPACING, 0, &spacing);
    fam.pitch_and_family = spacing == FC_MONO || spacing == FC_CHARCELL ? 1 : 2;
    FcCharSet* cs = nullptr;
    FcLangSet* langs = nullptr;
    fam.char_set = 0;
    if (FcPatternGetCharSet(f, FC_CHARSET, 0, &cs) == FcResultMatch &&
        FcCharSetIsSubset(latin, cs)) {
      fam.char_set = 0;
    } else if (FcPatternGetLangSet(f, FC_LANG, 0, &langs) == FcResultMatch) {
      for (uint8_t candidate : {128, 134, 136, 129}) {
        const char* lang = LangOfCharSet(candidate);
        if (FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>(lang)) == FcLangEqual) {
          fam.char_set = candidate;
          break;
        }
      }
    }
    families.emplace(name, fam);
  }
  FcCharSetDestroy(latin);
  FcFontSetDestroy(set);
  std::vector<FontFamily> out;
  for (auto& [name, fam] : families) out.push_back(fam);
  return out;
}

CFontService* g_service = nullptr;

}  // namespace

CFontService& DefaultFontService() {
  // Never destroyed: faces shared with fonts that outlive it (in caches of
  // static lifetime) need the library to the end.
  static FreeTypeFontService* service = new FreeTypeFontService;
  return *service;
}

CFontService& FontService() {
  return g_service != nullptr ? *g_service : DefaultFontService();
}

void SetFontService(CFontService* service) {
  g_service = service;
}
