// Writes the seed corpus of the movie fuzz target: small movies made with the
// movie writer, each behind the target's control byte. Run it after a change
// to the movie format and commit what it writes:
//   build-fuzz/fuzz/write_movie_seeds            (into fuzz/corpus/fuzz_movie/)
//   build-fuzz/fuzz/write_movie_seeds DIRECTORY  (anywhere else)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "render/raster/dib.h"
#include "tests/common/edge_styles.h"
#include "tests/common/movie_builder.h"

namespace {

using namespace moviebuild;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "write_movie_seeds: could not make %s\n", what);
  std::exit(1);
}

void Save(const std::string& dir, const std::string& name, uint8_t control, const Bytes& movie) {
  const std::string path = dir + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out.put(static_cast<char>(control));
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "write_movie_seeds: could not write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("%s: %zu bytes\n", path.c_str(), movie.size() + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: write_movie_seeds [DIRECTORY]\n");
    return 2;
  }
  const std::string dir =
      argc == 2 ? std::string(argv[1]) : std::string(VM_SOURCE_DIR) + "/fuzz/corpus/fuzz_movie";

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
    Save(dir, "shapes", 0x00, movie);
    Save(dir, "shapes_aa_chunks", 0x32, movie);
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
    Save(dir, "button", 0x06, b.Finish());
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
    Save(dir, "text", 0x01, b.Finish());
  }
  {
    MovieBuilder b({0, 6400, 0, 4800});
    CDib dib;
    Check(dib.Create(kDib32Bit, 8, 8, nullptr), "an 8 x 8 image");
    for (int i = 0; i < 8 * 8 * 4; ++i) dib.Bits()[i] = static_cast<uint8_t>(i * 7);
    b.Writer().SetJpegQuality(20);
    b.Writer().WriteJpegImage(2, dib);
    b.BitmapShape(1, 2, 20 << 16, 160, 160).Place(1, 1).Frame();
    Save(dir, "jpeg", 0x04, b.Finish());
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
    Save(dir, "gradients", 0x02, b.Finish());
  }
  {
    // A shape written from an edge graph by the writer's own shape output.
    EdgeGraphResetGlobals();
    EdgeGraph graph;
    Check(EdgeGraphInit(graph) == 0, "the edge graph");
    Check(EdgeGraphAddFillStyle(graph, SolidFill(0xFF30A0E0)) == 1, "the fill style");
    Check(EdgeGraphAddLineStyle(graph, SolidLine(0xFF000000, 60)) == 1, "the line style");
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
      Check(EdgeGraphNewEdge(c, &e) == 0, "an edge");
      e->a.fill = 1;
      e->line = 1;
      Check(EdgeGraphInsertEdge(graph, e, 0, 3) == 0, "an edge's insertion");
    }
    Check(EdgeGraphCleanup(graph) == 0, "the clean-up");
    MovieBuilder b({0, 6400, 0, 4800});
    b.Writer().WriteShape(1, graph);
    EdgeGraphFreeAll(graph);
    Matrix2x3 m;
    m.a = m.d = 0x14000;
    b.Place(1, 3, &m).Frame().Remove(1, 3).Place(1, 3).Frame();
    Save(dir, "edge_graph", 0x00, b.Finish());
  }
  {
    MovieBuilder b({0, 200, 0, 200});
    b.Frame();
    Save(dir, "tiny", 0x00, b.Finish());
  }
  return 0;
}
