// The font service against fontTools reading the same files, fontconfig's
// own matcher, and Python's codecs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "platform/core/code_page.h"
#include "platform/core/font.h"
#include "tests/common/test_fonts.h"

namespace {

using test_fonts::Oracle;

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

const char kSerif[] = "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf";
const char kSans[] = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kNimbus[] = "/usr/share/fonts/opentype/urw-base35/NimbusRoman-Regular.otf";

class FontTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test_fonts::InstallTestFonts(); }
  static std::shared_ptr<CFontFace> Font(const char* face, int32_t size, bool bold = false,
                                         bool italic = false, uint8_t charSet = 0) {
    LogFont lf;
    lf.height = -size;
    lf.weight = bold ? 700 : 400;
    lf.italic = italic ? 1 : 0;
    lf.char_set = charSet;
    SetFaceName(lf.face_name, face);
    return FontService().CreateFont(lf);
  }
};

TEST_F(FontTest, MetricsAndAdvancesMatchFontTools) {
  struct Case {
    const char* face;
    const char* file;
  } cases[] = {{"Times New Roman", kSerif}, {"Arial", kSans}, {"DejaVu Sans", kDejaVu}};
  const int sizes[] = {100, 240, 333, 2048};
  for (const auto& c : cases) {
    std::istringstream in(Oracle(std::string("metrics ") + c.file + " 100 240 333 2048"));
    for (int size : sizes) {
      SCOPED_TRACE(std::string(c.face) + " " + std::to_string(size));
      auto font = Font(c.face, size);
      EXPECT_EQ(FileName(font->GetFaceFile()), FileName(c.file));
      TextMetrics tm;
      font->GetTextMetrics(tm);
      int32_t ascent = 0, descent = 0, avg = 0;
      in >> ascent >> descent >> avg;
      EXPECT_EQ(tm.ascent, ascent);
      EXPECT_EQ(tm.descent, descent);
      EXPECT_EQ(tm.avg_char_width, avg);
      EXPECT_EQ(tm.height, ascent + descent);
      int32_t widths[256];
      font->GetCharWidths(widths);
      for (int b = 0; b < 256; ++b) {
        int32_t expected = 0;
        in >> expected;
        EXPECT_EQ(widths[b], expected) << "code " << b;
        uint8_t byte = static_cast<uint8_t>(b);
        int32_t cx = -1;
        ASSERT_TRUE(font->GetTextExtent(&byte, 1, cx));
        EXPECT_EQ(cx, expected) << "extent of code " << b;
      }
    }
  }
}

TEST_F(FontTest, KerningPairsMatchTheKernTable) {
  for (int size : {240, 1000}) {
    SCOPED_TRACE(size);
    auto font = Font("Times New Roman", size);
    std::vector<KerningPair> pairs = font->GetKerningPairs();
    std::istringstream in(Oracle(std::string("kern ") + kSerif + " " + std::to_string(size)));
    std::vector<KerningPair> expected;
    int a, b, v;
    while (in >> a >> b >> v) {
      expected.push_back({static_cast<uint16_t>(a), static_cast<uint16_t>(b), v});
    }
    ASSERT_EQ(pairs.size(), expected.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
      EXPECT_EQ(pairs[i].first, expected[i].first);
      EXPECT_EQ(pairs[i].second, expected[i].second);
      EXPECT_EQ(pairs[i].amount, expected[i].amount);
    }
  }
  // A before V at 240 twips: advance 173, kerning -31.
  auto font = Font("Times New Roman", 240);
  int32_t widths[256];
  font->GetCharWidths(widths);
  EXPECT_EQ(widths['A'], 173);
  bool found = false;
  for (const auto& p : font->GetKerningPairs()) {
    if (p.first == 'A' && p.second == 'V') {
      EXPECT_EQ(p.amount, -31);
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

// The points of a native outline as on/off lists per contour, in font units.
struct OutlinePoint {
  int32_t x, y;
  int on;
  bool operator==(const OutlinePoint&) const = default;
};
std::vector<std::vector<OutlinePoint>> OutlinePoints(const GlyphOutline& g) {
  std::vector<std::vector<OutlinePoint>> out;
  for (const auto& c : g.contours) {
    auto& pts = out.emplace_back();
    auto add = [&](const Point32& p, int on) { pts.push_back({p.x >> 16, p.y >> 16, on}); };
    add(c.start, 1);
    for (const auto& r : c.records) {
      for (size_t i = 0; i < r.points.size(); ++i) {
        bool on = r.type == OutlineRecord::kLine || i + 1 == r.points.size();
        add(r.points[i], on ? 1 : 0);
      }
    }
    if (pts.size() > 1 && pts.back() == pts.front()) pts.pop_back();
  }
  return out;
}

TEST_F(FontTest, TrueTypeOutlinesAreTheGlyfPoints) {
  auto font = Font("Times New Roman", 2048);
  for (const char* ch : {"L", "O", "g"}) {
    SCOPED_TRACE(ch);
    std::istringstream in(Oracle(std::string("glyf ") + kSerif + " " + ch));
    std::vector<std::vector<OutlinePoint>> expected;
    std::string tok;
    while (in >> tok) {
      if (tok == "C") {
        expected.emplace_back();
        continue;
      }
      OutlinePoint p{std::stoi(tok), 0, 0};
      in >> p.y >> p.on;
      expected.back().push_back(p);
    }
    // Each contour starts at its first on-curve point.
    for (auto& c : expected) {
      size_t s = 0;
      while (s < c.size() && !c[s].on) ++s;
      std::rotate(c.begin(), c.begin() + static_cast<long>(s), c.end());
    }
    GlyphOutline g;
    ASSERT_TRUE(font->GetGlyphOutline(static_cast<uint8_t>(ch[0]), g));
    for (const auto& c : g.contours) {
      EXPECT_EQ(c.start.x & 0xFFFF, 0);  // whole units at 2048 units per em
    }
    EXPECT_EQ(OutlinePoints(g), expected);
  }
  // A space has no contours; a character the face lacks gives .notdef.
  GlyphOutline g;
  ASSERT_TRUE(font->GetGlyphOutline(' ', g));
  EXPECT_TRUE(g.contours.empty());
  GlyphOutline missing, notdef;
  ASSERT_TRUE(Font("Times New Roman", 2048, false, false, 128)->GetGlyphOutline(0x88A0, missing));
  EXPECT_FALSE(missing.contours.empty());
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double len = dx * dx + dy * dy;
  double t = len > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len, 0.0, 1.0) : 0.0;
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

TEST_F(FontTest, CffCubicsBecomeQuadraticsWithinOneUnit) {
  LogFont lf;
  lf.height = -2048;
  SetFaceName(lf.face_name, "Nimbus Roman");
  auto font = FontService().CreateFont(lf);
  ASSERT_EQ(FileName(font->GetFaceFile()), FileName(kNimbus));
  GlyphOutline g;
  ASSERT_TRUE(font->GetGlyphOutline('O', g));
  // Our quadratics, densely sampled, in font units.
  std::vector<std::pair<double, double>> ours;
  for (const auto& c : g.contours) {
    double cx = c.start.x / 65536.0, cy = c.start.y / 65536.0;
    for (const auto& r : c.records) {
      for (size_t i = 0; i < r.points.size(); ++i) {
        double x = r.points[i].x / 65536.0, y = r.points[i].y / 65536.0;
        if (r.type == OutlineRecord::kLine) {
          ours.emplace_back(x, y);
          cx = x, cy = y;
          continue;
        }
        ASSERT_EQ(r.points.size(), 2u);  // one control, one end per cubic piece
        double ex = r.points[1].x / 65536.0, ey = r.points[1].y / 65536.0;
        for (int k = 0; k <= 64; ++k) {
          double t = k / 64.0, u = 1 - t;
          ours.emplace_back(u * u * cx + 2 * u * t * x + t * t * ex,
                            u * u * cy + 2 * u * t * y + t * t * ey);
        }
        cx = ex, cy = ey;
        break;
      }
    }
  }
  std::istringstream in(Oracle(std::string("cubic ") + kNimbus + " O 64"));
  double x, y, worst = 0;
  int samples = 0;
  while (in >> x >> y) {
    double best = 1e9;
    for (size_t i = 0; i + 1 < ours.size(); ++i) {
      best = std::min(best, SegmentDistance(x, y, ours[i].first, ours[i].second, ours[i + 1].first,
                                            ours[i + 1].second));
    }
    worst = std::max(worst, best);
    ++samples;
  }
  EXPECT_GT(samples, 100);
  EXPECT_LE(worst, 1.0);
}

TEST_F(FontTest, SubstitutionAgreesWithFcMatch) {
  struct Case {
    const char* name;
    bool bold;
    bool italic;
  } cases[] = {{"Times New Roman", false, false}, {"Times New Roman", true, false},
               {"Times New Roman", false, true},  {"Arial", false, false},
               {"Helvetica", true, false},        {"DejaVu Sans", false, false},
               {"Nimbus Roman", false, false},    {"No Such Face", false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string pattern = std::string(c.name) + ":outline=true:scalable=true" +
                          (c.bold ? ":weight=bold" : "") + (c.italic ? ":slant=italic" : "");
    std::string file = test_fonts::RunCommand("FONTCONFIG_FILE=" + test_fonts::ConfigFile() +
                                              " fc-match -f '%{file}' '" + pattern + "'");
    auto font = Font(c.name, 240, c.bold, c.italic);
    std::string resolved = std::filesystem::path(font->GetFaceFile()).filename().string();
    EXPECT_EQ(resolved, std::filesystem::path(file).filename().string());
  }
}

TEST_F(FontTest, MissingBoldAndObliqueAreSynthesised) {
  auto plain = Font("DejaVu Sans", 2048);
  auto bold = Font("DejaVu Sans", 2048, true);
  auto oblique = Font("DejaVu Sans", 2048, false, true);
  EXPECT_EQ(FileName(bold->GetFaceFile()), FileName(kDejaVu));
  TextMetrics a, b, o;
  plain->GetTextMetrics(a);
  bold->GetTextMetrics(b);
  oblique->GetTextMetrics(o);
  EXPECT_EQ(a.weight, 400);
  EXPECT_EQ(b.weight, 700);
  EXPECT_EQ(o.italic, 1);
  int32_t wa[256], wb[256];
  plain->GetCharWidths(wa);
  bold->GetCharWidths(wb);
  EXPECT_EQ(wb['l'], wa['l'] + 2048 / 32);
  // The bold stem is wider; the oblique top leans right.
  auto bounds = [](const GlyphOutline& g) {
    int32_t minX = INT32_MAX, maxX = INT32_MIN;
    for (const auto& c : g.contours) {
      for (const auto& r : c.records) {
        for (const auto& p : r.points) minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
      }
    }
    return std::make_pair(minX, maxX);
  };
  GlyphOutline ga, gb, go;
  plain->GetGlyphOutline('l', ga);
  bold->GetGlyphOutline('l', gb);
  oblique->GetGlyphOutline('l', go);
  auto [a0, a1] = bounds(ga);
  auto [b0, b1] = bounds(gb);
  auto [o0, o1] = bounds(go);
  EXPECT_EQ((b1 - b0) - (a1 - a0), (2048 / 32) << 16);
  EXPECT_GT(o1 - o0, a1 - a0);
}

TEST_F(FontTest, TablesFilesAndFamilies) {
  auto font = Font("Arial", 240);
  std::vector<uint8_t> head;
  ASSERT_TRUE(font->GetFontData(0x68656164, head));  // 'head'
  ASSERT_GE(head.size(), 54u);
  EXPECT_EQ(head[12] << 24 | head[13] << 16 | head[14] << 8 | head[15], 0x5F0F3CF5);  // magic
  std::vector<uint8_t> none;
  EXPECT_FALSE(font->GetFontData(0x7A7A7A7A, none));
  EXPECT_TRUE(font->HasOutlineMetrics());

  std::vector<FontFamily> families = FontService().EnumScalableFamilies();
  auto find = [&](const char* name) -> const FontFamily* {
    for (const auto& f : families) {
      if (f.name == name) return &f;
    }
    return nullptr;
  };
  ASSERT_NE(find("Liberation Serif"), nullptr);
  EXPECT_EQ(find("Liberation Serif")->char_set, 0);
  EXPECT_EQ(find("Liberation Serif")->pitch_and_family, 2);
  ASSERT_NE(find("Droid Sans Fallback"), nullptr);
  EXPECT_NE(find("Droid Sans Fallback")->char_set, 0);
  ASSERT_NE(find("Nimbus Roman"), nullptr);

  // A face name of more than 31 bytes is cut.
  LogFont lf;
  SetFaceName(lf.face_name, "A face name that is far longer than thirty-one bytes");
  EXPECT_EQ(std::strlen(lf.face_name), 31u);
}

TEST_F(FontTest, DoubleByteFaceMeasuresOneCharacterOfTwoBytes) {
  auto font = Font("Droid Sans Fallback", 240, false, false, 128);
  EXPECT_EQ(std::filesystem::path(font->GetFaceFile()).filename(), "DroidSansFallbackFull.ttf");
  const uint8_t nihon[] = {0x93, 0xFA};  // U+65E5 in code page 932
  int32_t cx = 0;
  ASSERT_TRUE(font->GetTextExtent(nihon, 2, cx));
  EXPECT_EQ(cx, 240);
  GlyphOutline g;
  ASSERT_TRUE(font->GetGlyphOutline(0x93FA, g));
  EXPECT_FALSE(g.contours.empty());
}

TEST(CodePageTest, CharSetsMapToTheirPages) {
  const std::pair<int, int> table[] = {
      {0, 1252},   {1, 1252},   {2, kCodePageSymbol}, {77, 1252},  {128, 932},  {129, 949},
      {134, 936},  {136, 950},  {161, 1253},          {162, 1254}, {177, 1255}, {178, 1256},
      {186, 1257}, {204, 1251}, {222, 874},           {238, 1250}, {255, 437}};
  for (auto [charSet, page] : table) {
    EXPECT_EQ(CodePageForCharSet(static_cast<uint8_t>(charSet)), page) << charSet;
  }
}

TEST(CodePageTest, SingleBytePagesMatchPythonCodecs) {
  for (int page : {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 874, 437}) {
    SCOPED_TRACE(page);
    std::istringstream in(Oracle("codepage " + std::to_string(page)));
    for (int b = 0; b < 256; ++b) {
      int expected = -2;
      in >> expected;
      uint32_t got = CodeToUnicode(page, static_cast<uint16_t>(b));
      if (expected < 0) {
        // Python leaves some bytes unmapped that iconv maps to controls.
        EXPECT_TRUE(got == 0 || (got >= 0x80 && got < 0xA0)) << b;
      } else {
        EXPECT_EQ(got, static_cast<uint32_t>(expected)) << b;
      }
      EXPECT_FALSE(IsLeadByteInCodePage(page, static_cast<uint8_t>(b)));
    }
  }
}

TEST(CodePageTest, DoubleBytePagesLeadBytesAndKnownCharacters) {
  struct Range {
    int page;
    int lo1, hi1, lo2, hi2;
  } ranges[] = {{932, 0x81, 0x9F, 0xE0, 0xFC},
                {936, 0x81, 0xFE, 0x81, 0xFE},
                {949, 0x81, 0xFE, 0x81, 0xFE},
                {950, 0x81, 0xFE, 0x81, 0xFE}};
  for (const auto& r : ranges) {
    for (int b = 0; b < 256; ++b) {
      bool lead = (b >= r.lo1 && b <= r.hi1) || (b >= r.lo2 && b <= r.hi2);
      EXPECT_EQ(IsLeadByteInCodePage(r.page, static_cast<uint8_t>(b)), lead) << r.page << " " << b;
    }
  }
  struct Known {
    int page;
    std::vector<uint8_t> bytes;
    std::u32string text;
  } known[] = {{932, {0x93, 0xFA, 0x96, 0x7B, 0x41}, U"\u65E5\u672CA"},
               {932, {0xB1}, U"\uFF71"},  // half-width katakana is one byte
               {936, {0xD6, 0xD0, 0xCE, 0xC4}, U"\u4E2D\u6587"},
               {949, {0xC7, 0xD1, 0xB1, 0xDB}, U"\uD55C\uAE00"},
               {950, {0xA4, 0xA4, 0xA4, 0xE5}, U"\u4E2D\u6587"}};
  for (const auto& k : known) {
    EXPECT_EQ(BytesToUnicode(k.page, k.bytes.data(), k.bytes.size()), k.text) << k.page;
    EXPECT_EQ(UnicodeToBytes(k.page, k.text), k.bytes) << k.page;
  }
  // A lead byte at the end stands alone; the symbol page is 0xF000 + byte.
  const uint8_t cut[] = {0x41, 0x93};
  EXPECT_EQ(BytesToUnicode(932, cut, 2), U"A\uFFFD");
  EXPECT_EQ(CodeToUnicode(kCodePageSymbol, 0x41), 0xF041u);
  EXPECT_EQ(UnicodeToBytes(1252, U"\u20AC\u4E2D"), (std::vector<uint8_t>{0x80, '?'}));
}

}  // namespace
