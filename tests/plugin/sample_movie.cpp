#include "sample_movie.h"

#include "tests/common/movie_builder.h"

using namespace moviebuild;

namespace {

void AddButton(MovieBuilder& b, uint16_t id, uint16_t firstShape, int32_t x0, uint32_t colour,
               uint8_t action, uint16_t depth) {
  const Rect32 bounds{x0, x0 + 1000, 7000, 7800};
  const uint32_t over = colour | 0x404040, down = Colour(40, 40, 40);
  ShapeDef up, lit, pressed;
  up.Fill(colour).Line(40, Colour(0, 0, 0)).Rect(x0, 7000, x0 + 1000, 7800, 1, 1);
  lit.Fill(over).Line(40, Colour(0, 0, 0)).Rect(x0, 7000, x0 + 1000, 7800, 1, 1);
  pressed.Fill(down).Line(40, Colour(0, 0, 0)).Rect(x0, 7000, x0 + 1000, 7800, 1, 1);
  b.Shape(firstShape, bounds, up)
      .Shape(static_cast<uint16_t>(firstShape + 1), bounds, lit)
      .Shape(static_cast<uint16_t>(firstShape + 2), bounds, pressed);
  b.Button(id,
           {{kButtonUp, firstShape, 1, {}},
            {kButtonOver, static_cast<uint16_t>(firstShape + 1), 1, {}},
            {kButtonDown, static_cast<uint16_t>(firstShape + 2), 1, {}},
            {kButtonHitArea, firstShape, 1, {}}},
           Actions({action}));
  b.Place(id, depth);
}

}  // namespace

std::vector<uint8_t> SampleMovie() {
  MovieBuilder b({0, 11000, 0, 8000}, 12 << 16);
  b.StageColor(Colour(225, 236, 255));
  ShapeDef ground;
  ground.Fill(Colour(70, 160, 60)).Rect(0, 6800, 11000, 8000, 1);
  b.Shape(1, {0, 11000, 6800, 8000}, ground).Place(1, 1);
  ShapeDef sun;
  sun.Fill(Colour(250, 210, 40))
      .Line(60, Colour(220, 150, 0))
      .Polygon({{9000, 600},
                {9600, 800},
                {9900, 1400},
                {9600, 2000},
                {9000, 2200},
                {8400, 2000},
                {8100, 1400},
                {8400, 800}},
               1, 1);
  b.Shape(2, {8070, 9930, 570, 2230}, sun).Place(2, 2);
  ShapeDef square;
  square.Fill(Colour(210, 40, 40)).Line(40, Colour(90, 0, 0)).Rect(-600, -600, 600, 600, 1, 1);
  b.Shape(3, {-620, 620, -620, 620}, square);
  AddButton(b, 20, 10, 200, Colour(40, 170, 40), ACT_RESUME, 10);
  AddButton(b, 21, 13, 1400, Colour(200, 40, 40), ACT_HALT, 11);
  for (int n = 0; n < 24; ++n) {
    Matrix2x3 m;
    m.tx = 1200 + n * 370;
    const int bounce = n % 12 < 6 ? n % 12 : 12 - n % 12;
    m.ty = 6200 - bounce * 500;
    if (n > 0) b.Remove(3, 5);
    b.Place(3, 5, &m).Frame();
  }
  return b.Finish();
}
