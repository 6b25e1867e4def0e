// Style records and the style tables of an edge graph.
#include <gtest/gtest.h>

#include "geometry/edge_graph.h"
#include "geometry/pool.h"
#include "graph_invariants.h"
#include "tests/common/edge_styles.h"
#include "tests/common/refuse_memory.h"

namespace {

using graph_test::GraphIsValid;
using graph_test::GraphTest;

FillStyle Gradient(uint32_t colour, uint8_t count) {
  FillStyle f = SolidFill(colour);
  f.kind = kGradientLinear;
  f.gradient.count = count;
  for (int i = 0; i < 8; ++i) {
    f.gradient.ratios[i] = static_cast<uint8_t>(i * 30);
    f.gradient.colours[i] = 0xFF000000u + i;
  }
  return f;
}

TEST(FillStyleEqualTest, ComparesTheFieldsItsKindUses) {
  struct Case {
    const char* name;
    FillStyle a, b;
    bool equal, record_equal;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, auto change, bool equal, bool record_equal, FillStyle base) {
    FillStyle b = base;
    change(b);
    cases.push_back({name, base, b, equal, record_equal});
  };
  const FillStyle solid = SolidFill(0xFF0000FF);
  const FillStyle grad = Gradient(0xFF00FF00, 3);
  FillStyle tex = SolidFill(0xFF112233);
  tex.kind = 0x21;
  tex.texture.background = 0xFFFFFFFF;
  tex.texture.params[2] = 7;

  add(
      "same solid", [](FillStyle&) {}, true, true, solid);
  add(
      "colour", [](FillStyle& f) { f.colour ^= 1; }, false, false, solid);
  add(
      "solid ignores matrix", [](FillStyle& f) { f.matrix.tx = 99; }, true, true, solid);
  add(
      "texture flags", [](FillStyle& f) { f.texture_flags = 1; }, false, true, solid);
  add(
      "pattern kind", [](FillStyle& f) { f.pattern_kind = 2; }, false, true, solid);
  add(
      "kind", [](FillStyle& f) { f.kind = kGradientRadial; }, false, false, grad);
  add(
      "gradient matrix", [](FillStyle& f) { f.matrix.a = 5; }, false, true, grad);
  add(
      "gradient count", [](FillStyle& f) { f.gradient.count = 4; }, false, false, grad);
  add(
      "ratio inside count", [](FillStyle& f) { f.gradient.ratios[2] ^= 1; }, false, false, grad);
  add(
      "colour inside count", [](FillStyle& f) { f.gradient.colours[0] ^= 1; }, false, false, grad);
  add(
      "entries past count",
      [](FillStyle& f) {
        f.gradient.ratios[5] ^= 1;
        f.gradient.colours[7] = 0;
      },
      true, true, grad);
  add(
      "texture background", [](FillStyle& f) { f.texture.background = 0; }, false, false, tex);
  add(
      "texture parameter", [](FillStyle& f) { f.texture.params[3] = 1; }, false, false, tex);
  add(
      "texture ignores gradient part", [](FillStyle& f) { f.gradient.count = 5; }, true, true, tex);
  FillStyle other = SolidFill(0xFF445566);
  other.kind = 0x40;  // drawn as solid, nothing more compared beyond the matrix
  add(
      "other kind ignores parts",
      [](FillStyle& f) {
        f.texture.background = 9;
        f.gradient.count = 2;
      },
      true, true, other);
  add(
      "other kind compares matrix", [](FillStyle& f) { f.matrix.ty = 1; }, false, true, other);

  for (const Case& c : cases) {
    EXPECT_EQ(FillStyleEqual(c.a, c.b), c.equal) << c.name;
    EXPECT_EQ(FillStyleEqual(c.b, c.a), c.equal) << c.name;
    EXPECT_EQ(FillRecordEqual(c.a, c.b), c.record_equal) << c.name;
  }
}

TEST(LineStyleEqualTest, IgnoresPatternAndParametersOfPlainLines) {
  LineStyle a = SolidLine(0xFF000000, 20);
  LineStyle b = a;
  b.pattern_kind = 3;
  b.params[0] = 4;
  EXPECT_TRUE(LineStyleEqual(a, b));
  a.kind = b.kind = 2;
  EXPECT_FALSE(LineStyleEqual(a, b));
  b.params[0] = 0;
  EXPECT_TRUE(LineStyleEqual(a, b));
  b.flags = 2;
  EXPECT_FALSE(LineStyleEqual(a, b));
  b.flags = 0;
  b.width = 21;
  EXPECT_FALSE(LineStyleEqual(a, b));
}

TEST(LineStyleOutsetTest, HalfWidthByKind) {
  struct Case {
    uint8_t kind;
    int16_t width;
    int16_t p1, p2, p4, p6;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 40, 0, 0, 0, 0, 20},
      {0, 41, 0, 0, 0, 0, 20},   // truncates
      {1, 30, 9, 9, 9, 9, 15},   // any other kind: width / 2
      {3, 40, 0, 0, 0, 0, 20},   // T[0] = 1
      {3, 40, 0, 1, 0, 0, 60},   // T[1] = 3
      {3, 40, 0, 6, 0, 0, 100},  // P2 AND 3 = 2: T = 5
      {3, 40, 0, 3, 0, 0, 180},  // T[3] = 9
      // kind 4: a = max(w, 20) / 2; b = (max(a, 40) - 13) * P1 / 2 + 13; a + b*P2/4 + b
      {4, 10, 2, 4, 0, 0, 10 + 40 + 40},   // a = 10, b = 27*2/2 + 13 = 40
      {4, 100, 1, 2, 0, 0, 50 + 15 + 31},  // a = 50, b = 37/2 + 13 = 31
      // kind 5: a = max(w, 20) / 2; a*P4/4 + a*P6/2 + a
      {5, 0, 0, 0, 4, 2, 10 + 10 + 10},
      {5, 60, 0, 0, 3, 1, 22 + 15 + 30},
  };
  for (const Case& c : cases) {
    LineStyle s = SolidLine(1, c.width);
    s.kind = c.kind;
    s.params[0] = c.p1;
    s.params[1] = c.p2;
    s.params[3] = c.p4;
    s.params[5] = c.p6;
    EXPECT_EQ(LineStyleOutset(s), c.expected) << "kind " << int(c.kind) << " width " << c.width;
  }
  // Terms are cut to 16 bits unsigned: a negative product wraps.
  LineStyle s = SolidLine(1, 40);
  s.kind = 5;
  s.params[3] = -4;  // a * P4 / 4 = -20 -> 65516
  EXPECT_EQ(LineStyleOutset(s), 65516 + 0 + 20);
}

// Starts with empty style tables.
class StyleTableTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    ASSERT_EQ(EdgeGraphInit(graph_), 0);
  }
};

TEST_F(StyleTableTest, FindsOrAppendsEachStyleOnce) {
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0)), 0);  // no fill
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF0000FF)), 1);
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, Gradient(0xFF0000FF, 2)), 2);
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF00FF00)), 3);
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF0000FF)), 1);
  EXPECT_EQ(graph_.last_fill_hit, 1);
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, Gradient(0xFF0000FF, 2)), 2);
  EXPECT_EQ(graph_.fill_count, 3);
  FillStyle transparent = SolidFill(0);
  transparent.kind = kGradientLinear;  // colour 0 with a gradient is a fill
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, transparent), 4);

  EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 0)), 0);  // width 0: no line
  EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0, 20)), 0);          // colour 0: no line
  EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);
  EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 40)), 2);
  LineStyle highlighted = SolidLine(0xFF000000, 20);
  highlighted.pattern_kind = 3;
  EXPECT_EQ(EdgeGraphAddLineStyle(graph_, highlighted), 1);
  EXPECT_EQ(graph_.line_count, 2);
  EXPECT_TRUE(GraphIsValid(graph_));
}

TEST_F(StyleTableTest, LookupMasksSelectionAndRejectsOutOfRange) {
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF0000FF)), 1);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);
  FillStyle f;
  EdgeGraphGetFillStyle(graph_, 0x8001, f);
  EXPECT_EQ(f.colour, 0xFF0000FFu);
  for (StyleIndex index : {StyleIndex{0}, StyleIndex{2}, StyleIndex{0x8000}, kFillTagOutside}) {
    EdgeGraphGetFillStyle(graph_, index, f);
    EXPECT_TRUE(FillStyleEqual(f, FillStyle{})) << index;
  }
  LineStyle l;
  EdgeGraphGetLineStyle(graph_, 0x8001, l);
  EXPECT_EQ(l.width, 20);
  EdgeGraphGetLineStyle(graph_, 7, l);
  EXPECT_EQ(l.width, 0);
}

TEST_F(StyleTableTest, AppendStopsBeforeTheReservedTags) {
  // A full table, made directly: appending 32751 styles one by one would
  // search the table each time.
  const int full = kStyleLastIndex;
  ASSERT_EQ(BlockRealloc(sizeof(FillStyle) * full, &graph_.fills), 0);
  for (int i = 0; i < full; ++i) graph_.fills[i] = SolidFill(0xFF000000u + i + 1);
  graph_.fill_count = full;
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF000000u + 100)),
            100);  // found, not appended
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF000000u + full)), full);
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFFABCDEF)), -1);
  EXPECT_EQ(graph_.fill_count, full);
  EXPECT_EQ(graph_.last_fill_hit, full);

  graph_.fill_count = full - 1;  // one slot left: the last real index is usable
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFFABCDEF)), full);
  EXPECT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFFABCDEE)), -1);
}

TEST_F(StyleTableTest, RefusedGrowthLeavesTheTable) {
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);
  {
    RefuseMemory refuse(RefuseMemory::Heap);
    EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 30)), -1);
    EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)),
              1);  // found without growing
  }
  EXPECT_EQ(graph_.line_count, 1);
  EXPECT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 30)), 2);
}

TEST_F(StyleTableTest, ReindexingKeepsSelectionAndTags) {
  EdgeGraph target;
  ASSERT_EQ(EdgeGraphInit(target), 0);
  ASSERT_EQ(EdgeGraphAddFillStyle(target, SolidFill(0xFF00FF00)), 1);
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF0000FF)), 1);
  ASSERT_EQ(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF00FF00)), 2);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000, 20)), 1);

  EXPECT_EQ(EdgeGraphReindexFill(graph_, target, 2), 1);
  EXPECT_EQ(EdgeGraphReindexFill(graph_, target, 0x8001), 0x8002);  // appended, still selected
  EXPECT_EQ(EdgeGraphReindexFill(graph_, target, 0), 0);
  EXPECT_EQ(EdgeGraphReindexFill(graph_, target, 0x8000), 0x8000);
  EXPECT_EQ(EdgeGraphReindexFill(graph_, target, kFillTagOutside), kFillTagOutside);
  EXPECT_EQ(EdgeGraphReindexFill(graph_, target, kFillTagOutside | kStyleSelected),
            kFillTagOutside | kStyleSelected);
  EXPECT_EQ(target.fill_count, 2);

  Edge from;
  from.line = 0x8001;
  from.a.fill = 1;
  from.b.fill = kFillTagOutside;
  Edge to;
  ASSERT_EQ(EdgeCopyStylesReindexed(graph_, from, target, to), 0);
  EXPECT_EQ(to.line, 0x8001);
  EXPECT_EQ(to.a.fill, 2);
  EXPECT_EQ(to.b.fill, kFillTagOutside);
  EXPECT_TRUE(GraphIsValid(target));
}

}  // namespace
