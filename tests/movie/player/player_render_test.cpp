// Player rendering: shapes, glyphs and strokes drawn through the display list
// against the same outlines drawn straight through the scan converter, the
// stroker's outlines by their winding numbers, and the pixel rules of lines.
#include <gtest/gtest.h>

#include <deque>
#include <utility>
#include <vector>

#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "movie/player/player_render.h"
#include "player_test_util.h"
#include "render/raster/dib.h"
#include "tests/common/edge_chain.h"
#include "tests/common/movie_builder.h"

namespace {

using namespace moviebuild;

// The scan converter fed directly: solid fills and edges in device units.
class DirectRender {
 public:
  CSpanFill* Fill(uint32_t colour, uint32_t priority) {
    CSpanFill& f = fills_.emplace_back();
    f.Init(&converter_);
    SetSolidFill(f, colour, priority);
    return &f;
  }
  void Line(const Matrix2x3& m, Point32 a, Point32 b, CSpanFill* fill) {
    Point32 p0, p2;
    MatrixTransformPoint(m, a, p0);
    MatrixTransformPoint(m, b, p2);
    chain_.Line(p0, p2, fill);
  }
  void Curve(const Matrix2x3& m, Point32 a, Point32 control, Point32 b, CSpanFill* fill) {
    Point32 p0, c, p2;
    MatrixTransformPoint(m, a, p0);
    MatrixTransformPoint(m, control, c);
    MatrixTransformPoint(m, b, p2);
    chain_.Curve(p0, c, p2, fill);
  }
  void Render(COffscreenBitmap& bitmap, bool aa, uint32_t background) {
    CSpanFill* bg = Fill(background, 0);
    const int32_t s = aa ? 4 : 1;
    Line(Matrix2x3{}, {0, 0}, {0, bitmap.Height() * s}, bg);
    Line(Matrix2x3{}, {bitmap.Width() * s, 0}, {bitmap.Width() * s, bitmap.Height() * s}, bg);
    for (CSpanFill& f : fills_) f.Prepare();
    converter_.SetTarget(&bitmap, nullptr, aa ? 1 : 0);
    converter_.ditherMode = aa ? 2 : 1;
    converter_.smoothBitmaps = aa;
    converter_.AllocBuckets();
    converter_.AddEdgeList(chain_.Head());
    converter_.RenderAll();
  }

 private:
  CScanConverter converter_;
  std::deque<CSpanFill> fills_;
  EdgeChain chain_;
};

TEST(PlayerRender, ShapesMatchTheirOutlinesDrawnDirectly) {
  // A square with a curved side, a triangle above it at a greater depth, a
  // rotated placement; plain and anti-aliased.
  ShapeDef a;
  a.Fill(Colour(200, 30, 30));
  a.Start({0, 0}, 1, 0, 0)
      .LineTo({2000, 0})
      .CurveTo({2600, 1000}, {2000, 2000})
      .LineTo({0, 2000})
      .LineTo({0, 0});
  ShapeDef t;
  t.Fill(Colour(20, 40, 220)).Polygon({{0, 0}, {2500, 300}, {900, 2200}}, 1);
  Matrix2x3 ma;
  ma.tx = 1200, ma.ty = 900;
  Matrix2x3 mt;
  mt.a = 58000, mt.b = 20000, mt.c = -20000, mt.d = 58000, mt.tx = 3000, mt.ty = 2500;
  MovieBuilder b;
  b.StageColor(Colour(250, 250, 240));
  b.Shape(1, {0, 2600, 0, 2000}, a).Shape(2, {0, 2500, 0, 2200}, t);
  b.Place(1, 1, &ma).Place(2, 2, &mt).Frame();
  const Bytes movie = b.Finish();
  for (bool aa : {false, true}) {
    TestPlayer p(110, 80, aa);
    p.Feed(movie);
    ASSERT_EQ(p.Goto(0), kMovieDone);
    p.Render();

    COffscreenBitmap ref;
    ASSERT_TRUE(ref.CreateDepth(32, nullptr, 110, 80, false));
    DirectRender d;
    Matrix2x3 m1, m2;
    MatrixConcat(ma, p.list.ViewTransform(), m1);
    MatrixConcat(mt, p.list.ViewTransform(), m2);
    CSpanFill* f1 = d.Fill(Colour(200, 30, 30), 1 << 16 | 1);
    d.Line(m1, {0, 0}, {2000, 0}, f1);
    d.Curve(m1, {2000, 0}, {2600, 1000}, {2000, 2000}, f1);
    d.Line(m1, {2000, 2000}, {0, 2000}, f1);
    d.Line(m1, {0, 2000}, {0, 0}, f1);
    CSpanFill* f2 = d.Fill(Colour(20, 40, 220), 2 << 16 | 1);
    d.Line(m2, {0, 0}, {2500, 300}, f2);
    d.Line(m2, {2500, 300}, {900, 2200}, f2);
    d.Line(m2, {900, 2200}, {0, 0}, f2);
    d.Render(ref, aa, Colour(250, 250, 240));

    int differ = 0;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 110; ++x) {
        const uint8_t* q = ref.Row(y) + 4 * x;
        const uint32_t want = uint32_t{q[2]} << 16 | uint32_t{q[1]} << 8 | q[0];
        if (p.Pixel(x, y) != want && differ++ < 5)
          ADD_FAILURE() << "aa " << aa << " pixel " << x << "," << y << ": " << std::hex
                        << p.Pixel(x, y) << " want " << want;
      }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(p.Pixel(14, 12), 0xC81E1Eu);
    EXPECT_EQ(p.Pixel(2, 2), 0xFAFAF0u);
  }
}

TEST(PlayerRender, AnEdgeWithTwoFillsSeparatesThemAndMissingBitmapsAreRed) {
  ShapeDef s;
  s.Fill(Colour(255, 255, 0)).Fill(Colour(0, 255, 255));
  FillDef bitmap;
  bitmap.kind = kMovieFillBitmap;
  bitmap.bitmap_id = 99;
  s.fills.push_back(bitmap);
  s.Start({1000, 0}, 1, 2, 0).LineTo({1000, 1000});
  s.Start({1000, 1000}, 1, 0, 0).LineTo({0, 1000}).LineTo({0, 0}).LineTo({1000, 0});
  s.Start({1000, 0}, 2, 0, 0).LineTo({2000, 0}).LineTo({2000, 1000}).LineTo({1000, 1000});
  s.Rect(3000, 0, 4000, 1000, 3);
  MovieBuilder b;
  b.Shape(1, {0, 4000, 0, 1000}, s).Place(1, 1).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  p.Render();
  EXPECT_EQ(p.Pixel(5, 5), 0xFFFF00u);
  EXPECT_EQ(p.Pixel(15, 5), 0x00FFFFu);
  EXPECT_EQ(p.Pixel(25, 5), 0xFFFFFFu);
  EXPECT_EQ(p.Pixel(35, 5), 0xFF0000u);
}

TEST(PlayerRender, GlyphsFillByWindingAndBadGlyphIndicesDrawNothing) {
  // Glyph 0: two overlapping squares (an even-odd fill would leave a hole).
  ShapeDef g;
  g.Rect(0, -1000, 600, -400, 1).Rect(300, -700, 900, -100, 1);
  MovieBuilder b;
  b.GlyphSet(3, {g});
  MovieBuilder::Run run;
  run.flags = kRunMark | kRunHasFont | kRunHasColor | kRunHasX | kRunHasY;
  run.font = 3;
  run.colour = Colour(0, 0, 160);
  run.x = 1000;
  run.y = 2000;
  run.height = 1024;
  // Index 5 is past the set's one glyph.
  run.glyphs = {{0, 1500}, {5, 1500}, {0, 0}};
  // Font 6 claims one glyph whose steps would start past its record.
  b.Raw(MT_GLYPH_SET_CHARACTER, Bytes{6, 0, 2, 1}, true);
  MovieBuilder::Run bad = run;
  bad.font = 6;
  bad.y = 6000;
  bad.glyphs = {{0, 1500}};
  b.Text(4, {0, 5000, 0, 7000}, Matrix2x3{}, {run, bad}).Place(4, 1).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  p.Render();
  EXPECT_EQ(p.Pixel(14, 14), 0x0000A0u);  // the overlap
  EXPECT_EQ(p.Pixel(11, 11), 0x0000A0u);
  EXPECT_EQ(p.Pixel(29, 14), 0xFFFFFFu);  // glyph 5: nothing
  EXPECT_EQ(p.Pixel(44, 14), 0x0000A0u);  // the second glyph 0
  EXPECT_EQ(p.Pixel(18, 11), 0xFFFFFFu);  // outside both squares
  EXPECT_EQ(p.Pixel(14, 54), 0xFFFFFFu);  // font 6 draws nothing
}

TEST(PlayerRender, AntiAliasedOneAndTwoPixelLinesSitOnTheGrid) {
  // A one-pixel line on a pixel boundary moves to the pixel centre; a
  // two-pixel line off the grid moves to a pixel edge.
  ShapeDef s;
  s.Line(100, Colour(0, 0, 0)).Line(200, Colour(0, 0, 0));
  s.Start({4000, 1000}, 0, 0, 1).LineTo({4000, 6000});
  s.Start({7050, 1000}, 0, 0, 2).LineTo({7050, 6000});
  MovieBuilder b;
  b.Shape(1, {3900, 7200, 900, 6100}, s).Place(1, 1).Frame();
  TestPlayer p(110, 80, true);
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  p.Render();
  EXPECT_EQ(p.Pixel(39, 30), 0xFFFFFFu);
  EXPECT_EQ(p.Pixel(40, 30), 0x000000u);
  EXPECT_EQ(p.Pixel(41, 30), 0xFFFFFFu);
  EXPECT_EQ(p.Pixel(69, 30), 0xFFFFFFu);
  EXPECT_EQ(p.Pixel(70, 30), 0x000000u);
  EXPECT_EQ(p.Pixel(71, 30), 0x000000u);
  EXPECT_EQ(p.Pixel(72, 30), 0xFFFFFFu);
}

// The winding number of an edge chain at a point (rays towards +x).
int Winding(const CScanEdge* chain, Point32 p) {
  int w = 0;
  for (const CScanEdge* e = chain; e; e = e->next)
    if (p.y >= e->curve.p0.y && p.y < e->curve.p2.y && (CurveRayCrossings(e->curve, p, 0) & 1))
      w += e->direction;
  return w;
}

QuadCurve Seg(Point32 a, Point32 b) {
  QuadCurve c;
  c.p0 = a, c.p2 = b, c.control = {(a.x + b.x) / 2, (a.y + b.y) / 2}, c.straight = 1;
  return c;
}

struct StrokeCase {
  const char* name;
  int32_t width;
  bool closed;
  std::vector<std::pair<Point32, bool>> probes;  // point, inside the stroke
};

TEST(PlayerStroker, OutlinesAreConsistentlyOrientedWithJoinsAndCaps) {
  const std::vector<Point32> path{{400, 400}, {1400, 400}, {1400, 1200}};
  const StrokeCase cases[] = {
      // Wide open: round caps reach back from the ends, not past the corners.
      {"wide open",
       80,
       false,
       {{{400, 400}, true},
        {{370, 400}, true},
        {{365, 365}, false},
        {{1400, 1235}, true},
        {{1000, 440}, false},
        {{1000, 430}, true},
        {{1425, 375}, true},
        {{1435, 360}, false},
        {{900, 800}, false}}},
      // Wide closed: a ring around the triangle, its middle empty.
      {"wide closed",
       80,
       true,
       {{{900, 400}, true},
        {{1400, 800}, true},
        {{900, 800}, true},
        {{1100, 600}, false},
        {{300, 300}, false},
        {{370, 400}, true}}},
      // Thin: a band one or three units wide with butt ends.
      {"thin open",
       3,
       false,
       {{{900, 400}, true}, {{900, 398}, true}, {{900, 403}, false}, {{398, 400}, false}}},
      {"thin closed", 2, true, {{{900, 400}, true}, {{1100, 600}, false}, {{1400, 800}, true}}},
  };
  for (const StrokeCase& c : cases) {
    CDisplayList list;
    CScanEdge* chain = nullptr;
    EdgeSink sink(list, &chain);
    PlayerFill* fill = list.NewFill();
    Stroker stroker(sink, false);
    stroker.SetLineStyle(c.width, &fill->fill);
    for (size_t i = 1; i < path.size(); ++i) stroker.AddCurve(Seg(path[i - 1], path[i]));
    if (c.closed) stroker.AddCurve(Seg(path.back(), path.front()));
    stroker.Finish();
    for (auto [point, inside] : c.probes)
      EXPECT_EQ(Winding(chain, point) != 0, inside)
          << c.name << " at " << point.x << "," << point.y << " winding " << Winding(chain, point);
    // Every outline closes: the winding far away is 0 on every row.
    for (int y = 300; y < 1300; y += 7) EXPECT_EQ(Winding(chain, {-5000, y}), 0) << c.name << y;
    while (CScanEdge* e = chain) {
      chain = e->next;
      list.FreeEdge(e);
    }
    list.FreeFill(fill);
  }
}

TEST(PlayerStroker, AZeroLengthSegmentProducesNothing) {
  CDisplayList list;
  CScanEdge* chain = nullptr;
  EdgeSink sink(list, &chain);
  PlayerFill* fill = list.NewFill();
  for (int32_t width : {2, 40}) {
    Stroker stroker(sink, false);
    stroker.SetLineStyle(width, &fill->fill);
    QuadCurve dot;
    dot.p0 = dot.control = dot.p2 = {500, 500};
    stroker.AddCurve(dot);
    stroker.AddCurve(Seg({600, 600}, {600, 600}));
    stroker.Finish();
    EXPECT_EQ(chain, nullptr) << width;
  }
  list.FreeFill(fill);
}

}  // namespace

namespace {

TEST(PlayerRender, GradientFillsRunAcrossTheirSquare) {
  // A linear gradient from red to blue across a 4000-twip square (the
  // gradient square is 32768 units wide), and a radial one from white at the
  // centre to black at the rim.
  ShapeDef s;
  FillDef linear;
  linear.kind = kGradientLinear;
  linear.matrix.a = linear.matrix.d = 4000 * 2;  // 4000 / 32768 in 16.16
  linear.matrix.tx = 2000, linear.matrix.ty = 2000;
  linear.ramp = {{0, Colour(255, 0, 0)}, {255, Colour(0, 0, 255)}};
  FillDef radial = linear;
  radial.kind = kGradientRadial;
  radial.matrix.tx = 7000;
  radial.ramp = {{0, Colour(255, 255, 255)}, {255, Colour(0, 0, 0)}};
  s.fills = {linear, radial};
  s.Rect(0, 0, 4000, 4000, 1).Rect(5000, 0, 9000, 4000, 2);
  MovieBuilder b;
  b.Shape(1, {0, 9000, 0, 4000}, s).Place(1, 1).Frame();
  const Bytes movie = b.Finish();
  for (bool aa : {false, true}) {
    TestPlayer p(110, 80, aa);
    p.Feed(movie);
    ASSERT_EQ(p.Goto(0), kMovieDone);
    p.Render();
    const uint32_t left = p.Pixel(1, 20), mid = p.Pixel(20, 20), right = p.Pixel(38, 20);
    EXPECT_GT(left >> 16, 0xE0u) << std::hex << left;
    EXPECT_LT(left & 0xFF, 0x20u) << std::hex << left;
    EXPECT_LT(right >> 16, 0x20u) << std::hex << right;
    EXPECT_GT(right & 0xFF, 0xE0u) << std::hex << right;
    EXPECT_NEAR(static_cast<int>(mid >> 16), 128, 20) << std::hex << mid;
    // Red falls steadily from left to right.
    for (int x = 2; x < 39; ++x) EXPECT_LE(p.Pixel(x, 20) >> 16, p.Pixel(x - 1, 20) >> 16) << x;
    const uint32_t centre = p.Pixel(70, 20), rim = p.Pixel(89, 20);
    EXPECT_GT(centre & 0xFF, 0xE0u) << std::hex << centre;
    EXPECT_LT(rim & 0xFF, 0x40u) << std::hex << rim;
  }
}

TEST(PlayerRender, BitmapFillsShowTheirJpegImage) {
  // An 8 x 4 image, red on the left half and green on the right, shown at
  // 500 twips (5 player pixels) to the image pixel.
  CDib image;
  ASSERT_TRUE(image.Create(kDib32Bit, 8, 4, nullptr));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      uint8_t* px = image.Bits() + y * image.Stride() + 4 * x;
      px[0] = 0, px[1] = x < 4 ? 0 : 255, px[2] = x < 4 ? 255 : 0;
    }
  MovieBuilder b;
  b.Writer().SetJpegQuality(90);
  b.Writer().WriteJpegImage(2, image);
  b.BitmapShape(1, 2, 500 << 16, 4000, 2000).Place(1, 1).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  p.Render();
  const uint32_t left = p.Pixel(8, 10), right = p.Pixel(32, 10);
  EXPECT_GT(left >> 16, 0xD0u) << std::hex << left;
  EXPECT_LT((left >> 8) & 0xFF, 0x30u) << std::hex << left;
  EXPECT_LT(right >> 16, 0x30u) << std::hex << right;
  EXPECT_GT((right >> 8) & 0xFF, 0xD0u) << std::hex << right;
  EXPECT_EQ(p.Pixel(45, 10), 0xFFFFFFu);
}

}  // namespace
