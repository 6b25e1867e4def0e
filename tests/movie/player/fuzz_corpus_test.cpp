// Writes the seed corpus of the movie fuzz target: small movies made with the
// movie writer, each behind the target's control byte. Run on demand:
//   movie_player_tests --gtest_also_run_disabled_tests --gtest_filter='*FuzzCorpus*'
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_style.h"
#include "movie_builder.h"
#include "render/raster/dib.h"

namespace {

using namespace moviebuild;

void Save(const std::string& name, uint8_t control, const Bytes& movie) {
  std::ofstream out(std::string(VM_SOURCE_DIR) + "/fuzz/corpus/fuzz_movie/" + name,
                    std::ios::binary);
  out.put(static_cast<char>(control));
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
}

TEST(DISABLED_FuzzCorpus, Write) {
  {
    MovieBuilder b({0, 6400, 0, 4800});
    b.StageColor(Colour(30, 60, 90));
    ShapeDef s;
    s.Fill(Colour(200, 0, 0)).Line(60, Colour(0, 0, 0));
    s.Start({0, 0}, 1, 0, 1)
        .LineTo({1500, 0})
        .CurveTo({2200, 800}, {1500, 1500})
        .LineTo({0, 1500})
        .LineTo({0, 0});
    b.Shape(1, {-30, 2230, -30, 1530}, s);
    for (int f = 0; f < 4; ++f) {
      Matrix2x3 m;
      m.tx = 600 * f, m.ty = 300 * f;
      if (f) b.Remove(1, 1);
      b.Place(1, 1, &m).Frame();
    }
    const Bytes movie = b.Finish();
    Save("shapes", 0x00, movie);
    Save("shapes_aa_chunks", 0x32, movie);
  }
  {
    MovieBuilder b({0, 6400, 0, 4800});
    ShapeDef up, hit;
    up.Fill(Colour(0, 200, 0)).Rect(0, 0, 2000, 2000, 1);
    hit.Fill(Colour(0, 0, 0)).Rect(0, 0, 2000, 2000, 1);
    b.Shape(10, {0, 2000, 0, 2000}, up).Shape(13, {0, 2000, 0, 2000}, hit);
    b.Button(20,
             {{kButtonUp | kButtonOver, 10, 1, {}},
              {kButtonHitArea, 13, 1, {}},
              {kButtonDown, 20, 2, {}}},
             OpenUrlAction("http://x/", "_top"));
    Matrix2x3 m;
    m.tx = 2000, m.ty = 1500;
    b.Place(20, 5, &m).Frame().Script(Actions({ACT_HALT})).Frame();
    Save("button", 0x06, b.Finish());
  }
  {
    MovieBuilder b({0, 6400, 0, 4800});
    ShapeDef g;
    g.Rect(0, -700, 500, 0, 1).Rect(200, -500, 700, -100, 1);
    b.GlyphSet(3, {g, g}).Face(3, "Sans", {'a', 'b'});
    MovieBuilder::Run run;
    run.flags = kRunMark | kRunHasFont | kRunHasColor | kRunHasX | kRunHasY;
    run.font = 3, run.colour = Colour(0, 0, 160), run.x = 500, run.y = 2000, run.height = 1200;
    run.glyphs = {{0, 800}, {1, 800}};
    b.Text(4, {0, 3000, 0, 3000}, Matrix2x3{}, {run}).Place(4, 1).Frame();
    Save("text", 0x01, b.Finish());
  }
  {
    MovieBuilder b({0, 6400, 0, 4800});
    CDib dib;
    ASSERT_TRUE(dib.Create(kDib32Bit, 8, 8, nullptr));
    for (int i = 0; i < 8 * 8 * 4; ++i) dib.Bits()[i] = static_cast<uint8_t>(i * 7);
    b.Writer().SetJpegQuality(20);
    b.Writer().WriteJpegImage(2, dib);
    ShapeDef s;
    FillDef f;
    f.kind = kMovieFillBitmap;
    f.bitmapId = 2;
    f.matrix.a = f.matrix.d = 20 << 16;
    s.fills.push_back(f);
    s.Rect(0, 0, 160, 160, 1);
    b.Shape(1, {0, 160, 0, 160}, s).Place(1, 1).Frame();
    Save("jpeg", 0x04, b.Finish());
  }
  {
    MovieBuilder b({0, 6400, 0, 4800});
    ShapeDef s;
    FillDef linear;
    linear.kind = kGradientLinear;
    linear.matrix.a = linear.matrix.d = 4000;
    linear.matrix.tx = linear.matrix.ty = 1000;
    linear.ramp = {{0, Colour(255, 0, 0)}, {128, Colour(0, 255, 0)}, {255, Colour(0, 0, 255)}};
    FillDef radial = linear;
    radial.kind = kGradientRadial;
    s.fills = {linear, radial};
    s.Rect(0, 0, 2000, 2000, 1).Rect(2500, 0, 4500, 2000, 2);
    b.Shape(1, {0, 4500, 0, 2000}, s).Place(1, 1).Frame();
    Save("gradients", 0x02, b.Finish());
  }
  {
    // A shape written from an edge graph by the writer's own shape output.
    EdgeGraphResetGlobals();
    EdgeGraph graph;
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    FillStyle fill;
    fill.colour = 0xFF30A0E0;
    LineStyle line;
    line.colour = 0xFF000000;
    line.width = 60;
    ASSERT_EQ(EdgeGraphAddFillStyle(graph, fill), 1);
    ASSERT_EQ(EdgeGraphAddLineStyle(graph, line), 1);
    const Point32 pts[] = {{200, 200}, {2400, 300}, {2000, 1800}, {400, 1500}};
    for (int i = 0; i < 4; ++i) {
      QuadCurve c;
      const Point32 p = pts[i], q = pts[(i + 1) % 4];
      if (i == 1) {
        CurveSet({p.x << 8, p.y << 8}, {2900 << 8, 1200 << 8}, {q.x << 8, q.y << 8}, c);
      } else {
        CurveFromLine({p.x << 8, p.y << 8}, {q.x << 8, q.y << 8}, c);
      }
      Edge* e = nullptr;
      ASSERT_EQ(EdgeGraphNewEdge(c, &e), 0);
      e->a.fill = 1;
      e->line = 1;
      ASSERT_EQ(EdgeGraphInsertEdge(graph, e, 0, 3), 0);
    }
    ASSERT_EQ(EdgeGraphCleanup(graph), 0);
    MovieBuilder b({0, 6400, 0, 4800});
    b.Writer().WriteShape(1, graph);
    EdgeGraphFreeAll(graph);
    Matrix2x3 m;
    m.a = m.d = 0x14000;
    b.Place(1, 3, &m).Frame().Remove(1, 3).Place(1, 3).Frame();
    Save("edge_graph", 0x00, b.Finish());
  }
  {
    MovieBuilder b({0, 200, 0, 200});
    b.Frame();
    Save("tiny", 0x00, b.Finish());
  }
}

}  // namespace
