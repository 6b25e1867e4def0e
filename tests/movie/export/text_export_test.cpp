// Texts and glyph sets in exported movies: runs against the text's own
// layout, the font's 256-glyph limit, carriage returns, whole-text bounds,
// glyph outlines against fontTools, and glyph sets cut at 16-bit offsets.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "export_fixtures.h"
#include "model/pic_text.h"
#include "model/text_style.h"
#include "movie/export/export_driver.h"
#include "movie/export/export_strings.h"
#include "movie/export/movie_exporter.h"
#include "platform/core/font.h"
#include "tests/common/test_fonts.h"

namespace {

using moviedec::Reader;

struct TextRun {
  uint8_t flags = 0;
  int font = 0, x = 0, y = 0, height = 0;
  moviedec::Rgb color;
  std::vector<std::pair<uint32_t, int32_t>> glyphs;  // index, advance
};

struct TextRecord {
  uint16_t id = 0;
  moviedec::Rect bounds{};
  moviedec::Matrix matrix;
  int glyph_bits = 0, advance_bits = 0;
  std::vector<TextRun> runs;
};

TextRecord ReadText(std::span<const uint8_t> body) {
  Reader in(body);
  TextRecord t;
  t.id = in.U16();
  t.bounds = moviedec::ReadRect(in);
  t.matrix = moviedec::ReadMatrix(in);
  t.glyph_bits = in.U8();
  t.advance_bits = in.U8();
  for (;;) {
    TextRun r;
    r.flags = in.U8();
    if (r.flags == 0) break;
    if (r.flags & 0x08) r.font = in.U16();
    if (r.flags & 0x04) r.color = moviedec::ReadRgb(in);
    if (r.flags & 0x01) r.x = static_cast<int16_t>(in.U16());
    if (r.flags & 0x02) r.y = static_cast<int16_t>(in.U16());
    if (r.flags & 0x08) r.height = in.U16();
    int count = in.U8();
    for (int i = 0; i < count; ++i) {
      uint32_t index = in.Bits(t.glyph_bits);
      int32_t advance = in.SignedBits(t.advance_bits);
      r.glyphs.emplace_back(index, advance);
    }
    in.Align();
    t.runs.push_back(r);
  }
  EXPECT_EQ(in.Remaining(), 0u);
  return t;
}

struct Face {
  uint16_t id = 0;
  std::string name;
  uint8_t flags = 0;
  std::vector<uint16_t> codes;
};

Face ReadFace(std::span<const uint8_t> body) {
  Reader in(body);
  Face f;
  f.id = in.U16();
  int n = in.U8();
  auto name = in.Bytes(static_cast<size_t>(n));
  f.name.assign(name.begin(), name.end());
  f.flags = in.U8();
  while (in.Remaining() > 0) f.codes.push_back((f.flags & 1) ? in.U16() : in.U8());
  return f;
}

// The glyphs of a glyph-set record, each as its decoded steps.
std::vector<moviedec::Steps> ReadGlyphs(std::span<const uint8_t> body, uint16_t* id) {
  Reader head(body);
  *id = head.U16();
  auto table = body.subspan(2);
  Reader offsets(table);
  uint16_t first = offsets.U16();
  const size_t count = first / 2;
  std::vector<uint16_t> starts = {first};
  for (size_t i = 1; i < count; ++i) starts.push_back(offsets.U16());
  std::vector<moviedec::Steps> glyphs;
  for (size_t i = 0; i < count; ++i) {
    Reader in(table.subspan(starts[i]));
    glyphs.push_back(moviedec::ReadSteps(in));
  }
  return glyphs;
}

class TextExportTest : public ExportTest {
 protected:
  static void SetUpTestSuite() { test_fonts::InstallTestFonts(); }

  // Point text: its lines break only at carriage returns.
  CPicText* AddText(CDocumentPage* page, const std::string& text) {
    auto* t = new CPicText;
    Edit(page, [&] {
      Layer(page)->FrameAt(0)->AddChild(t);
      t->SetTextFlags(1);
      t->SetText(text);
    });
    return t;
  }
  std::vector<uint8_t> Export(const std::string& name) {
    CMovieExporter exporter;
    exporter.SetTarget(OutputPath(name), &doc_, CExporter::kOptionMovie);
    EXPECT_EQ(exporter.ExportSequence(), 1);
    return ReadFile(OutputPath(name));
  }
  static std::vector<const moviedec::Record*> OfCode(const moviedec::Movie& m, int code) {
    std::vector<const moviedec::Record*> out;
    for (const auto& r : m.records)
      if (r.code == code) out.push_back(&r);
    return out;
  }
};

TEST_F(TextExportTest, TwoStylesMakeTwoFontsAndRunsThatFollowTheLayout) {
  CDocumentPage* page = AddPage("Page 1", 1);
  CPicText* text = AddText(page, "Abc\rAd");
  Edit(page, [&] {
    CTextStyle bold;
    bold.bold = 1;
    bold.color = 0xFF0000FF;  // red
    text->ApplyStyleToRange(bold, CTextStyle::kMaskBold | CTextStyle::kMaskColor, 1, 3);
    Matrix2x3 m;
    MatrixSetTranslation(m, 500, 300);
    text->Transform(m);
  });
  std::vector<uint8_t> bytes = Export("two_styles.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  std::vector<std::string> want = {"color",  "glyphs 1",  "face 1", "glyphs 2", "face 2",
                                   "text 3", "place 3@1", "break",  "end"};
  EXPECT_EQ(RecordSummary(movie), want);

  // The faces: the plain font holds A and d, the bold one b and c; codes ascend.
  auto faces = OfCode(movie, 13);
  ASSERT_EQ(faces.size(), 2u);
  Face plain = ReadFace(faces[0]->body), bold = ReadFace(faces[1]->body);
  EXPECT_EQ(plain.codes, (std::vector<uint16_t>{'A', 'd'}));
  EXPECT_EQ(bold.codes, (std::vector<uint16_t>{'b', 'c'}));
  EXPECT_EQ(plain.name, "Times New Roman");
  EXPECT_EQ(plain.flags, 0x10);        // ANSI
  EXPECT_EQ(bold.flags, 0x10 | 0x02);  // ANSI, bold
  uint16_t id = 0;
  EXPECT_EQ(ReadGlyphs(OfCode(movie, 10)[0]->body, &id).size(), 2u);
  EXPECT_EQ(id, 1);

  // The runs against the text's own lines and advances.
  TextRecord t = ReadText(OfCode(movie, 11)[0]->body);
  const auto& lines = text->Lines();
  const auto& chars = text->Chars();
  ASSERT_EQ(lines.size(), 2u);
  auto adv = [&](int i) { return chars[static_cast<size_t>(i)].layoutAdvance; };
  EXPECT_EQ(t.matrix.tx, 500);
  EXPECT_EQ(t.matrix.ty, 300);
  EXPECT_EQ(t.glyph_bits, 1);  // glyph indices 0 and 1
  ASSERT_EQ(t.runs.size(), 3u);
  // "A": font 1, black, at the first line's start.
  EXPECT_EQ(t.runs[0].flags, 0x80 | 0x08 | (lines[0].x != 0 ? 0x01 : 0) | 0x02);
  EXPECT_EQ(t.runs[0].font, 1);
  EXPECT_EQ(t.runs[0].height, 240);
  EXPECT_EQ(t.runs[0].y, lines[0].baseline);
  EXPECT_EQ(t.runs[0].glyphs, (std::vector<std::pair<uint32_t, int32_t>>{{0, adv(0)}}));
  // "bc": font 2 in red; x follows on from the run before, so it is not given.
  EXPECT_EQ(t.runs[1].flags, 0x80 | 0x08 | 0x04);
  EXPECT_EQ(t.runs[1].font, 2);
  EXPECT_EQ(t.runs[1].color, (moviedec::Rgb{255, 0, 0}));
  EXPECT_EQ(t.runs[1].glyphs,
            (std::vector<std::pair<uint32_t, int32_t>>{{0, adv(1)}, {1, adv(2)}}));
  // The carriage return is no glyph; "Ad" starts the second line in font 1.
  EXPECT_EQ(t.runs[2].flags & 0x0F,
            0x08 | 0x04 | (lines[1].x != lines[0].x + adv(0) + adv(1) + adv(2) ? 0x01 : 0) | 0x02);
  EXPECT_EQ(t.runs[2].y, lines[1].baseline);
  EXPECT_EQ(t.runs[2].glyphs,
            (std::vector<std::pair<uint32_t, int32_t>>{{0, adv(4)}, {1, adv(5)}}));
  // Bounds: every character, through the matrix.
  Rect32 r;
  text->GetRangeRect(0, text->GetCharCount(), r);
  EXPECT_EQ(t.bounds.xmin, r.xmin + 500);
  EXPECT_EQ(t.bounds.ymax, r.ymax + 300);

  // The player reads it and places it.
  EXPECT_EQ(StageByFrame(bytes)[0], std::vector<std::string>{"3@1"});
}

TEST_F(TextExportTest, CodesPastTheFontsTwoHundredFiftySixthDrawGlyphZero) {
  CDocumentPage* page = AddPage("Page 1", 1);
  auto* text = new CPicText;
  std::vector<uint16_t> codes;
  for (int i = 0; i < 300; ++i) codes.push_back(static_cast<uint16_t>(0x8140 + 299 - i));
  Edit(page, [&] {
    Layer(page)->FrameAt(0)->AddChild(text);
    CTextStyle jp;
    std::snprintf(jp.faceName, sizeof jp.faceName, "%s", "Droid Sans Fallback");
    jp.charSet = 128;
    text->SetText("");
    EXPECT_EQ(text->InsertCodes(codes.data(), 300, text->AddStyle(jp)), 0);
  });
  std::vector<uint8_t> bytes = Export("past_256.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  auto faces = OfCode(movie, 13);
  ASSERT_EQ(faces.size(), 1u);
  Face face = ReadFace(faces[0]->body);
  EXPECT_EQ(face.flags & 0x21, 0x21);  // wide codes, Shift-JIS
  ASSERT_EQ(face.codes.size(), 256u);
  // The first 256 codes met, in ascending order.
  std::vector<uint16_t> kept(codes.begin(), codes.begin() + 256);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(face.codes, kept);
  TextRecord t = ReadText(OfCode(movie, 11)[0]->body);
  std::vector<uint32_t> indices;
  for (const TextRun& r : t.runs)
    for (auto [index, advance] : r.glyphs) indices.push_back(index);
  ASSERT_EQ(indices.size(), 300u);
  for (int i = 0; i < 300; ++i) {
    uint32_t want = i < 256 ? static_cast<uint32_t>(255 - i) : 0;
    EXPECT_EQ(indices[static_cast<size_t>(i)], want) << i;
  }
  EXPECT_EQ(t.glyph_bits, 8);
  for (const TextRun& r : t.runs) EXPECT_LE(r.glyphs.size(), 250u);
}

TEST_F(TextExportTest, GlyphOutlinesMatchFontTools) {
  CDocumentPage* page = AddPage("Page 1", 1);
  AddText(page, "O");
  std::vector<uint8_t> bytes = Export("glyph_o.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  uint16_t id = 0;
  auto glyphs = ReadGlyphs(OfCode(movie, 10)[0]->body, &id);
  ASSERT_EQ(glyphs.size(), 1u);
  const moviedec::Steps& steps = glyphs[0];
  EXPECT_EQ(steps.fill_bits, 1);
  EXPECT_EQ(steps.line_bits, 0);

  // The font's on-curve points (and the implied midpoints of two control
  // points in a row) at 1024 twips: y grows downward in the movie.
  std::istringstream in(test_fonts::Oracle(
      "glyf /usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf O"));
  std::vector<std::array<double, 2>> oracle;
  std::vector<std::array<double, 3>> contour;
  auto endContour = [&] {
    for (size_t i = 0; i < contour.size(); ++i) {
      const auto& a = contour[i];
      const auto& b = contour[(i + 1) % contour.size()];
      if (a[2] != 0) oracle.push_back({a[0], a[1]});
      if (a[2] == 0 && b[2] == 0) oracle.push_back({(a[0] + b[0]) / 2, (a[1] + b[1]) / 2});
    }
    contour.clear();
  };
  std::string token;
  while (in >> token) {
    if (token == "C") {
      endContour();
      continue;
    }
    double x = std::stod(token), y = 0, on = 0;
    in >> y >> on;
    contour.push_back({x * 1024 / 2048, -y * 1024 / 2048, on});
  }
  endContour();
  ASSERT_GT(oracle.size(), 8u);
  auto near = [](double x, double y, const moviedec::Point& p) {
    return std::fabs(x - p.x) <= 1.0 && std::fabs(y - p.y) <= 1.0;
  };
  for (const auto& o : oracle) {
    bool found = false;
    for (const auto& e : steps.edges)
      found = found || near(o[0], o[1], e.p0) || near(o[0], o[1], e.p2);
    EXPECT_TRUE(found) << "font point " << o[0] << "," << o[1] << " has no edge end";
  }
  for (const auto& e : steps.edges) {
    bool found = false;
    for (const auto& o : oracle) found = found || near(o[0], o[1], e.p2);
    EXPECT_TRUE(found) << "edge end " << e.p2.x << "," << e.p2.y << " is no font point";
    EXPECT_EQ(e.fill0 + e.fill1, 1);  // one side filled with style 1
    EXPECT_EQ(e.line, 0);
  }
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(TextExportTest, AFontWithoutOutlinesLeavesEmptyGlyphsAndTellsSo) {
  CFixedFontService fixed;
  SetFontService(&fixed);
  CDocumentPage* page = AddPage("Page 1", 1);
  AddText(page, "Hi");
  std::vector<uint8_t> bytes = Export("no_outlines.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  SetFontService(nullptr);
  uint16_t id = 0;
  auto glyphs = ReadGlyphs(OfCode(movie, 10)[0]->body, &id);
  ASSERT_EQ(glyphs.size(), 2u);
  EXPECT_TRUE(glyphs[0].edges.empty());
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{kIdsMissingOutlines});
}

TEST_F(TextExportTest, BoundsCoverTheWholeText) {
  CDocumentPage* page = AddPage("Page 1", 1);
  // Past 16000 characters, the last line lies far below the first ones.
  std::string s(16100, 'i');
  for (size_t i = 200; i < s.size(); i += 200) s[i] = '\r';
  CPicText* text = AddText(page, s);
  std::vector<uint8_t> bytes = Export("long_text.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  TextRecord t = ReadText(OfCode(movie, 11)[0]->body);
  Rect32 all, head;
  text->GetRangeRect(0, text->GetCharCount(), all);
  text->GetRangeRect(0, 16000, head);
  ASSERT_GT(all.ymax, head.ymax);
  EXPECT_EQ(t.bounds.ymax, all.ymax);
  EXPECT_EQ(t.bounds.ymin, all.ymin);
  size_t glyphs = 0;
  for (const TextRun& r : t.runs) glyphs += r.glyphs.size();
  EXPECT_EQ(glyphs, s.size() - 80);  // every character but the carriage returns
}

// Faces of the default service whose every glyph is a 480-point star, so
// that a few dozen glyphs fill a glyph set's 16-bit offsets.
class CHeavyGlyphFace final : public CFontFace {
 public:
  explicit CHeavyGlyphFace(std::shared_ptr<CFontFace> face) : m_face(std::move(face)) {}
  const LogFont& GetLogFont() const override { return m_face->GetLogFont(); }
  void GetTextMetrics(TextMetrics& out) const override { m_face->GetTextMetrics(out); }
  bool HasOutlineMetrics() const override { return true; }
  void GetCharWidths(int32_t widths[256]) const override { m_face->GetCharWidths(widths); }
  bool GetTextExtent(const uint8_t* bytes, int n, int32_t& cx) const override {
    return m_face->GetTextExtent(bytes, n, cx);
  }
  std::vector<KerningPair> GetKerningPairs() const override { return {}; }
  bool GetGlyphOutline(uint16_t, GlyphOutline& out) const override {
    const double em = std::max(std::abs(GetLogFont().height), 16);
    constexpr int kPoints = 480;
    OutlineContour contour;
    OutlineRecord lines;
    for (int i = 0; i <= kPoints; ++i) {
      const double angle = 2 * M_PI * (i % kPoints) / kPoints;
      const double r = em * (i % 2 == 0 ? 0.45 : 0.25);
      const Point32 p{static_cast<int32_t>((0.5 * em + r * std::cos(angle)) * 65536),
                      static_cast<int32_t>((0.4 * em + r * std::sin(angle)) * 65536)};
      if (i == 0) {
        contour.start = p;
      } else {
        lines.points.push_back(p);
      }
    }
    contour.records.push_back(lines);
    out.contours = {contour};
    return true;
  }
  bool GetFontData(uint32_t tag, std::vector<uint8_t>& out) const override {
    return m_face->GetFontData(tag, out);
  }
  std::string GetFaceFile() const override { return m_face->GetFaceFile(); }
  int32_t GetFaceIndex() const override { return m_face->GetFaceIndex(); }

 private:
  std::shared_ptr<CFontFace> m_face;
};

class CHeavyGlyphService final : public CFontService {
 public:
  std::shared_ptr<CFontFace> CreateFont(const LogFont& lf) override {
    return std::make_shared<CHeavyGlyphFace>(DefaultFontService().CreateFont(lf));
  }
  std::vector<FontFamily> EnumScalableFamilies() override {
    return DefaultFontService().EnumScalableFamilies();
  }
};

TEST_F(TextExportTest, AFontPastSixteenBitOffsetsGoesOnInFurtherSetsAndTheRunsBreakThere) {
  CHeavyGlyphService heavy;
  SetFontService(&heavy);
  CDocumentPage* page = AddPage("Page 1", 1);
  std::string line;
  for (char c = 'A'; c < 'A' + 60; ++c) line += c;
  AddText(page, line);
  std::vector<uint8_t> bytes = Export("glyph_sets.vmp");
  SetFontService(nullptr);
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  auto sets = OfCode(movie, 10);
  auto faces = OfCode(movie, 13);
  ASSERT_GE(sets.size(), 2u) << "the glyphs fit one set: make them heavier";
  ASSERT_EQ(faces.size(), sets.size());
  // Each set has its own id and face record; together they hold the codes
  // in ascending order, each set's glyphs within its own 16-bit offsets.
  std::vector<uint16_t> ids, codes;
  std::vector<size_t> counts;
  for (size_t i = 0; i < sets.size(); ++i) {
    uint16_t id = 0;
    const size_t count = ReadGlyphs(sets[i]->body, &id).size();
    const Face face = ReadFace(faces[i]->body);
    EXPECT_EQ(face.id, id);
    EXPECT_EQ(face.name, ReadFace(faces[0]->body).name);
    EXPECT_EQ(face.codes.size(), count);
    EXPECT_TRUE(std::find(ids.begin(), ids.end(), id) == ids.end()) << "id " << id;
    ids.push_back(id);
    counts.push_back(count);
    codes.insert(codes.end(), face.codes.begin(), face.codes.end());
  }
  EXPECT_EQ(codes, std::vector<uint16_t>(line.begin(), line.end()));
  // One run per set, in the set's own glyph numbers.
  TextRecord t = ReadText(OfCode(movie, 11)[0]->body);
  ASSERT_EQ(t.runs.size(), sets.size());
  for (size_t i = 0; i < t.runs.size(); ++i) {
    EXPECT_TRUE(t.runs[i].flags & 0x08) << "run " << i;
    EXPECT_EQ(t.runs[i].font, ids[i]) << "run " << i;
    ASSERT_EQ(t.runs[i].glyphs.size(), counts[i]) << "run " << i;
    for (size_t g = 0; g < counts[i]; ++g) EXPECT_EQ(t.runs[i].glyphs[g].first, g);
  }
}

TEST(GlyphSetCuts, EveryGlyphStartsWithinSixteenBits) {
  struct Case {
    std::vector<size_t> sizes;
    std::vector<int32_t> counts;
  } cases[] = {
      {{10, 20, 30}, {3}},
      {{}, {}},
      // The third glyph would start at 6 + 40000 + 25530 = 65536.
      {{40000, 25530, 5}, {2, 1}},
      {{40000, 25529, 5}, {3}},
      // A glyph larger than the offsets reach still starts its own set.
      {{70000, 70000, 1}, {1, 1, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CMovieExportDriver::CutGlyphSets(c.sizes), c.counts)
        << ::testing::PrintToString(c.sizes);
  }
  // 256 glyphs of 300 bytes: two sets, the first as long as the offsets allow.
  std::vector<size_t> many(256, 300);
  std::vector<int32_t> counts = CMovieExportDriver::CutGlyphSets(many);
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts[0], 217);  // glyph 216 starts at 434 + 216 * 300 = 65234
  EXPECT_EQ(counts[0] + counts[1], 256);
}

}  // namespace
