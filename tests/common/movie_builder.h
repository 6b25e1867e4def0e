// Builds small movies for tests, benchmarks and the fuzz seeds with the movie
// writer's own primitives (records, bits, compound values), over a memory file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/fixed.h"
#include "movie/movie_format.h"
#include "movie/movie_writer.h"
#include "platform/core/file.h"

namespace moviebuild {

using Bytes = std::vector<uint8_t>;

// Colours are words with red in the low byte.
constexpr uint32_t Colour(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
}

// One step of a shape, in twips.
struct Step {
  enum Kind { kSetup, kLine, kCurve } kind = kSetup;
  // Setup: which fields are given.
  bool move_to = false, set_fill0 = false, set_fill1 = false, set_line = false;
  Point32 to;       // move-to point; edge end (absolute)
  Point32 control;  // curve control point (absolute)
  uint32_t fill0 = 0, fill1 = 0, line = 0;
};

struct FillDef {
  uint8_t kind = kMovieFillSolid;
  uint32_t colour = 0;
  uint16_t bitmap_id = 0;                          // bitmap fills
  Matrix2x3 matrix;                                // gradient and bitmap fills
  std::vector<std::pair<uint8_t, uint32_t>> ramp;  // gradient entries
};

struct LineDef {
  uint16_t width = 20;
  uint32_t colour = 0;
};

// A shape built step by step (absolute points; the builder writes deltas).
struct ShapeDef {
  std::vector<FillDef> fills;
  std::vector<LineDef> lines;
  std::vector<Step> steps;

  ShapeDef& Fill(uint32_t colour) {
    FillDef f;
    f.colour = colour;
    fills.push_back(f);
    return *this;
  }
  ShapeDef& Line(uint16_t width, uint32_t colour) {
    lines.push_back({width, colour});
    return *this;
  }
  // Starts a sub-path at p with the given styles (0 = none).
  ShapeDef& Start(Point32 p, uint32_t fill0, uint32_t fill1, uint32_t line) {
    Step s;
    s.move_to = s.set_fill0 = s.set_fill1 = s.set_line = true;
    s.to = p;
    s.fill0 = fill0, s.fill1 = fill1, s.line = line;
    steps.push_back(s);
    return *this;
  }
  ShapeDef& LineTo(Point32 p) {
    Step s;
    s.kind = Step::kLine;
    s.to = p;
    steps.push_back(s);
    return *this;
  }
  ShapeDef& CurveTo(Point32 c, Point32 p) {
    Step s;
    s.kind = Step::kCurve;
    s.control = c;
    s.to = p;
    steps.push_back(s);
    return *this;
  }
  // A closed polygon with fill0 on its left.
  ShapeDef& Polygon(const std::vector<Point32>& pts, uint32_t fill, uint32_t line = 0) {
    Start(pts[0], fill, 0, line);
    for (size_t i = 1; i < pts.size(); ++i) LineTo(pts[i]);
    LineTo(pts[0]);
    return *this;
  }
  ShapeDef& Rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t fill, uint32_t line = 0) {
    return Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, fill, line);
  }
};

// Writes a shape's steps (4-bit index widths, then the steps and the end).
void WriteSteps(CMovieWriter& w, const std::vector<Step>& steps, int fillCount, int lineCount);

struct ButtonPart {
  uint8_t states = 0;
  uint16_t id = 0;
  uint16_t depth = 0;
  Matrix2x3 matrix;
};

class MovieBuilder {
 public:
  MovieBuilder(Rect32 stage = {0, 11000, 0, 8000}, Fixed rate = 12 << 16);
  CMovieWriter& Writer() { return writer_; }

  MovieBuilder& StageColor(uint32_t colour);
  MovieBuilder& Shape(uint16_t id, const Rect32& bounds, const ShapeDef& shape,
                      bool longForm = true);
  // Shape `id`: the rectangle (0, 0)-(width, height) filled with image
  // `bitmapId`, `scale` twips (16.16) to the image pixel.
  MovieBuilder& BitmapShape(uint16_t id, uint16_t bitmapId, Fixed scale, int32_t width,
                            int32_t height);
  MovieBuilder& Place(uint16_t id, uint16_t depth, const Matrix2x3* m = nullptr);
  MovieBuilder& Remove(uint16_t id, uint16_t depth);
  MovieBuilder& Frame();
  MovieBuilder& Drop(uint16_t id);
  MovieBuilder& Script(const Bytes& actions);
  MovieBuilder& Button(uint16_t id, const std::vector<ButtonPart>& parts, const Bytes& actions);
  // A glyph set: each glyph a shape of fill 1 only.
  MovieBuilder& GlyphSet(uint16_t id, const std::vector<ShapeDef>& glyphs);
  MovieBuilder& Face(uint16_t fontId, const std::string& name, const std::vector<uint8_t>& codes);
  struct Run {
    uint8_t flags = kRunMark;
    uint16_t font = 0;
    uint32_t colour = 0;
    int16_t x = 0, y = 0;
    uint16_t height = 0;
    std::vector<std::pair<uint32_t, int32_t>> glyphs;  // index, advance
  };
  MovieBuilder& Text(uint16_t id, const Rect32& bounds, const Matrix2x3& m,
                     const std::vector<Run>& runs);
  // Any record with a raw body.
  MovieBuilder& Raw(uint16_t code, const Bytes& body, bool longForm);
  Bytes Finish();

 private:
  CMemFile file_;
  CMovieWriter writer_;
};

// A movie of `frames` frames at 24 per second on a 550 x 400 stage where
// `shapes` filled and outlined curved shapes (sides of `minSide` plus up to
// `sideRange` twips) move a little every frame (benchmarks).
Bytes MovingShapesMovie(int frames, int shapes, int32_t minSide, int32_t sideRange);

// Action list bytes.
Bytes Actions(std::initializer_list<uint8_t> simple);

// Shapes 10 (up, green), 11 (over, yellow), 12 (down, red) and 13 (hit area,
// black), each filling `box` (twips), and button 20 made of them with the
// actions; the down state is drawn at depth `downDepth`, the others at 1.
void AddStateButton(MovieBuilder& b, const Rect32& box, uint16_t downDepth, const Bytes& actions);
Bytes OpenUrlAction(const std::string& url, const std::string& target);

// A movie kept in a file: its bytes, empty when it cannot be read. When the environment variable is
// set, `made` is written there first (to keep a movie again after its maker changed).
Bytes KeptMovie(const std::string& path, const char* rewriteVariable, const Bytes& made);

}  // namespace moviebuild
