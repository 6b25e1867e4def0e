#include "startup_movie.h"

#include <algorithm>

#include "tests/common/movie_builder.h"

using namespace moviebuild;

namespace {

constexpr int32_t kUnit = 180;  // twips per unit of the letters' grid
constexpr int kFrames = 24;

struct Letter {
  std::vector<std::vector<Point32>> parts;  // polygons in units, y down
  int width;                                // in units
};

// Block letters of five units' height (the i's dot above them).
std::vector<Letter> Name() {
  const Letter v{{{{0, 0}, {1, 0}, {2, 3}, {3, 3}, {4, 0}, {5, 0}, {3, 5}, {2, 5}}}, 5};
  const Letter m{{{{0, 0},
                   {5, 0},
                   {5, 5},
                   {4, 5},
                   {4, 1},
                   {3, 1},
                   {3, 5},
                   {2, 5},
                   {2, 1},
                   {1, 1},
                   {1, 5},
                   {0, 5}}},
                 5};
  const Letter a{{{{0, 0}, {4, 0}, {4, 5}, {0, 5}, {0, 2}, {3, 2}, {3, 1}, {0, 1}}}, 4};
  const Letter n{{{{0, 0}, {4, 0}, {4, 5}, {3, 5}, {3, 1}, {1, 1}, {1, 5}, {0, 5}}}, 4};
  const Letter i{{{{0, 0}, {1, 0}, {1, 5}, {0, 5}}, {{{0, -2}, {1, -2}, {1, -1}, {0, -1}}}}, 1};
  return {v, m, a, n, i, m};
}

}  // namespace

std::vector<uint8_t> StartupMovie() {
  MovieBuilder b({0, 7900, 0, 5960}, 12 << 16);
  b.StageColor(Colour(250, 248, 240));
  const std::vector<Letter> name = Name();
  int total = -1;
  for (const Letter& l : name) total += l.width + 1;
  const int32_t left = (7900 - total * kUnit) / 2, top = 2000;
  // One shape per letter, drawn at its place; each rises from below.
  int32_t x = left;
  for (size_t k = 0; k < name.size(); ++k) {
    ShapeDef s;
    s.Fill(Colour(30, 50, 120));
    for (const auto& part : name[k].parts) {
      std::vector<Point32> pts;
      for (const Point32& p : part) pts.push_back({x + p.x * kUnit, top + p.y * kUnit});
      s.Polygon(pts, 1);
    }
    b.Shape(static_cast<uint16_t>(1 + k),
            {x, x + name[k].width * kUnit, top - 2 * kUnit, top + 5 * kUnit}, s);
    x += (name[k].width + 1) * kUnit;
  }
  // The a's counter, in the stage colour above it.
  const int32_t ax = left + 12 * kUnit;
  ShapeDef counter;
  counter.Fill(Colour(250, 248, 240))
      .Rect(ax + kUnit, top + 3 * kUnit, ax + 3 * kUnit, top + 4 * kUnit, 1);
  b.Shape(7, {ax + kUnit, ax + 3 * kUnit, top + 3 * kUnit, top + 4 * kUnit}, counter);
  // The swoosh: a curved band under the name, grown from its left end.
  ShapeDef swoosh;
  swoosh.Fill(Colour(230, 120, 30))
      .Start({0, 0}, 1, 0, 0)
      .CurveTo({2600, 400}, {5600, -100})
      .CurveTo({2600, 700}, {0, 0});
  b.Shape(8, {0, 5600, -100, 700}, swoosh);

  for (int f = 0; f < kFrames; ++f) {
    for (size_t k = 0; k < name.size(); ++k) {
      // Letter k shows from frame 2k, rising for five frames.
      const int since = f - 2 * static_cast<int>(k);
      if (since < 0 || since > 5) continue;
      const auto id = static_cast<uint16_t>(1 + k);
      const auto depth = static_cast<uint16_t>(10 + k);
      Matrix2x3 m;
      m.ty = (5 - since) * 240;
      if (since > 0) b.Remove(id, depth);
      b.Place(id, depth, &m);
      if (k == 2 && since == 5) b.Place(7, 20);  // the counter once the a has settled
    }
    if (f >= 12) {
      Matrix2x3 m;
      m.a = (f - 11) * (kFixedOne / 12);
      m.tx = left;
      m.ty = top + 6 * kUnit;
      if (f > 12) b.Remove(8, 30);
      b.Place(8, 30, &m);
    }
    b.Frame();
  }
  return b.Finish();
}
