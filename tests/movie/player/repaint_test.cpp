// Partial repaints: playing a movie frame by frame, each render touching only
// the dirty area, must give the same pixels as rendering each frame whole.
#include <gtest/gtest.h>

#include <vector>

#include "player_test_util.h"
#include "tests/common/movie_builder.h"

namespace {

using namespace moviebuild;

// The frame rendered whole by a fresh player.
uint64_t WholeFrame(const Bytes& movie, int32_t frame, bool aa, int32_t zoom) {
  TestPlayer p(110 * zoom, 80 * zoom, aa);
  p.Feed(movie);
  EXPECT_EQ(p.Goto(frame), kMovieDone);
  p.Render();
  return p.PixelHash();
}

// Plays every frame in order with partial repaints and compares each with
// the whole frame.
void ExpectPartialEqualsWhole(const Bytes& movie, int32_t frames, int32_t zoom = 1) {
  for (bool aa : {false, true}) {
    SCOPED_TRACE(aa ? "anti-aliased" : "aliased");
    TestPlayer p(110 * zoom, 80 * zoom, aa);
    p.Feed(movie);
    for (int32_t frame = 0; frame < frames; ++frame) {
      ASSERT_EQ(p.Goto(frame), kMovieDone);
      p.Render();
      EXPECT_EQ(p.PixelHash(), WholeFrame(movie, frame, aa, zoom)) << "frame " << frame;
    }
  }
}

Matrix2x3 Squash(Fixed sx, Fixed sy, int32_t tx, int32_t ty) {
  Matrix2x3 m;
  m.a = sx;
  m.d = sy;
  m.tx = tx;
  m.ty = ty;
  return m;
}

// A line is widened by one scalar width in every direction, so squashed 2:1
// it reaches past its squashed bounds; moving and removing it must repaint
// all it covered (600 twips are 24 pixels here).
TEST(PlayerRepaint, SquashedWideLineLeavesNothingBehind) {
  ShapeDef line;
  line.Line(600, Colour(200, 0, 0));
  line.Start({1000, 2000}, 0, 0, 1).LineTo({9000, 2000});
  line.Start({2000, 500}, 0, 0, 1).LineTo({2000, 3500});
  const Matrix2x3 flat = Squash(kFixedOne, kFixedOne / 2, 0, 2000);
  const Matrix2x3 thin = Squash(kFixedOne / 2, kFixedOne, 3000, 1000);
  MovieBuilder b;
  b.StageColor(Colour(255, 255, 255)).Shape(1, {700, 9300, 200, 3800}, line);
  b.Place(1, 1, &flat).Frame();
  b.Remove(1, 1).Place(1, 1, &thin).Frame();
  b.Remove(1, 1).Frame();
  ExpectPartialEqualsWhole(b.Finish(), 3, 4);
}

// Outlines left open (legal bits the writer never makes) paint the same in a
// partial repaint as in a whole one.
TEST(PlayerRepaint, OpenFillOutlinesPaintTheSameInAnyDirtyArea) {
  ShapeDef open;
  open.Fill(Colour(0, 0, 200)).Fill(Colour(0, 160, 0));
  open.Start({1000, 1000}, 1, 0, 0).LineTo({6000, 1500}).LineTo({5000, 6000});
  open.Start({6500, 1000}, 1, 2, 0).CurveTo({9000, 3000}, {7000, 7000}).LineTo({8000, 7500});
  ShapeDef spot;
  spot.Fill(Colour(250, 200, 0)).Rect(0, 0, 600, 600, 1);
  MovieBuilder b;
  b.StageColor(Colour(255, 255, 255))
      .Shape(1, {1000, 9000, 1000, 7500}, open)
      .Shape(2, {0, 600, 0, 600}, spot);
  b.Place(1, 1).Frame();
  const Matrix2x3 low = Squash(kFixedOne, kFixedOne, 4000, 4500);
  b.Place(2, 2, &low).Frame();
  const Matrix2x3 right = Squash(kFixedOne, kFixedOne, 7500, 5500);
  b.Remove(2, 2).Place(2, 2, &right).Frame();
  ExpectPartialEqualsWhole(b.Finish(), 3);
}

}  // namespace
