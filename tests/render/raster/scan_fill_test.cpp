// Span fills: gradient ramps and indices, gradient and bitmap fills against
// double-precision references, solid patterns, palette and 16-bit writers,
// dithering and fill priorities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "geometry/edge_style.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/raster_tables.h"
#include "render/raster/scan_converter.h"
#include "scan_input.h"
#include "tests/common/edge_styles.h"

namespace {

uint32_t Colour(int r, int g, int b) {
  return PackRgb(r, g, b) | 0xFF000000u;
}

// A path of the rectangle [x0, x1] x [y0, y1].
void RectPath(PointList& path, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Rect32 r;
  RectSet(r, x0, y0, x1, y1);
  ASSERT_EQ(PathFromRect(path, r), 0);
}

// A gradient fill whose square (-16384..16384 in both axes) is scaled by s
// and centred at (cx, cy) in document units.
FillStyle Gradient(uint8_t kind, double s, double angle, int32_t cx, int32_t cy,
                   std::vector<std::pair<int, uint32_t>> stops) {
  Matrix2x3 m;
  m.a = static_cast<Fixed>(std::lround(s * std::cos(angle) * 65536));
  m.b = static_cast<Fixed>(std::lround(s * std::sin(angle) * 65536));
  m.c = static_cast<Fixed>(std::lround(-s * std::sin(angle) * 65536));
  m.d = static_cast<Fixed>(std::lround(s * std::cos(angle) * 65536));
  m.tx = cx;
  m.ty = cy;
  return GradientFill(static_cast<GradientKind>(kind), stops, m);
}

// Gradient space (8 fraction bits, the square spanning +-0x400000) at
// device point (x, y) for a gradient matrix, in doubles.
void GradientPoint(const Matrix2x3& m, double x, double y, double& gx, double& gy) {
  const double a = m.a / 65536.0, b = m.b / 65536.0, c = m.c / 65536.0, d = m.d / 65536.0;
  const double det = a * d - b * c;
  const double px = x - m.tx, py = y - m.ty;
  gx = 256 * (d * px - c * py) / det;
  gy = 256 * (-b * px + a * py) / det;
}

}  // namespace

// ---- Ramps ----------------------------------------------------------------------

TEST(GradientRamp, InterpolatesBetweenStopsAsTheDoubleFormula) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    const int count = 1 + static_cast<int>(rng() % 8);
    std::vector<uint8_t> pos(count);
    std::vector<uint32_t> colours(count);
    for (int i = 0; i < count; ++i) {
      pos[i] = static_cast<uint8_t>(rng() % 256);
      colours[i] = static_cast<uint32_t>(rng()) & 0xFFFFFF;
    }
    std::sort(pos.begin(), pos.end());
    pos.erase(std::unique(pos.begin(), pos.end()), pos.end());  // hard stops: below
    const int n = static_cast<int>(pos.size());
    uint32_t ramp[kRampEntries];
    BuildGradientRamp(pos.data(), colours.data(), n, ramp);
    for (int j = 0; j <= 256; ++j) {
      // The stops around j, the first colour before the first stop and the
      // last one after the last.
      int k = 0;
      while (k < n && pos[k] < j) ++k;
      for (int shift = 0; shift < 24; shift += 8) {
        double want;
        auto ch = [&](int i) { return static_cast<double>((colours[i] >> shift) & 0xFF); };
        if (k == 0) {
          want = ch(0);
        } else if (k == n) {
          want = ch(n - 1);
        } else {
          const double f = (j - pos[k - 1]) / static_cast<double>(pos[k] - pos[k - 1]);
          want = ch(k - 1) + f * (ch(k) - ch(k - 1));
        }
        const int got = static_cast<int>((ramp[j] >> shift) & 0xFF);
        ASSERT_LE(std::abs(got - want), 1.0) << "trial " << trial << " entry " << j;
      }
    }
  }
}

TEST(GradientRamp, EveryEntryIsTheTruncatedIntegerInterpolation) {
  // Sorted, repeated and unsorted positions (movies may hold any order): each
  // entry's channels are (q (j - a) + p (b - j)) / (b - a) of the stops a and
  // b around it, truncated, and the earlier colour where b <= a.
  std::mt19937 rng(23);
  for (int trial = 0; trial < 600; ++trial) {
    const int count = 1 + static_cast<int>(rng() % 8);
    uint8_t pos[kRampPoints];
    uint32_t colours[kRampPoints];
    for (int i = 0; i < count; ++i) {
      pos[i] = static_cast<uint8_t>(rng() % 256);
      colours[i] = static_cast<uint32_t>(rng()) & 0xFFFFFF;
    }
    if (trial % 3 != 2) std::sort(pos, pos + count);
    if (trial % 3 == 1 && count > 1) pos[1] = pos[0];  // a hard stop
    uint32_t ramp[kRampEntries];
    BuildGradientRamp(pos, colours, count, ramp);
    int32_t a = 0, b = pos[0];
    uint32_t p = colours[0], q = colours[0];
    int k = 1;
    for (int32_t j = 0; j < kRampEntries; ++j) {
      while (j > b) {
        a = b;
        p = q;
        b = k < count ? pos[k] : 256;
        if (k < count) q = colours[k++];
      }
      uint32_t want = p & 0xFFFFFF;
      if (b > a) {
        want = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const int32_t cp = (p >> shift) & 0xFF, cq = (q >> shift) & 0xFF;
          want |= static_cast<uint32_t>((cq * (j - a) + cp * (b - j)) / (b - a)) << shift;
        }
      }
      ASSERT_EQ(ramp[j], want) << "trial " << trial << " entry " << j;
    }
  }
}

TEST(GradientRamp, ReciprocalsDivideEveryRampNumeratorExactly) {
  // Numerators of the interpolation stay below 255 * 256 * 2.
  for (uint64_t d = 1; d <= 256; ++d)
    for (uint64_t n = 0; n < 2 * 255 * 256; ++n)
      ASSERT_EQ((n * kRampReciprocal[d]) >> 32, n / d) << n << " / " << d;
}

TEST(GradientRamp, ShortReciprocalsDivideEveryRampNumeratorWithin32Bits) {
  // A segment of span d has numerators up to 255 * d.
  for (int32_t d = 1; d <= 256; ++d) {
    const uint64_t inverse = RampReciprocal24(d);
    for (uint64_t n = 0; n <= 255 * static_cast<uint64_t>(d); ++n) {
      ASSERT_LT(n * inverse, uint64_t{1} << 32) << n << " / " << d;
      ASSERT_EQ((n * inverse) >> 24, n / static_cast<uint64_t>(d)) << n << " / " << d;
    }
  }
}

TEST(GradientRamp, OnePointIsConstantAndHardStopsSwitchAtTheirPosition) {
  uint32_t ramp[kRampEntries];
  const uint8_t one[] = {90};
  const uint32_t red[] = {0x0000FF};
  BuildGradientRamp(one, red, 1, ramp);
  for (uint32_t c : ramp) EXPECT_EQ(c, 0x0000FFu);

  // Red up to 100, blue from 101 on: no entry of either colour on the wrong
  // side, none of the other between.
  const uint8_t pos[] = {0, 100, 100, 255};
  const uint32_t colours[] = {0x0000FF, 0x0000FF, 0xFF0000, 0xFF0000};
  BuildGradientRamp(pos, colours, 4, ramp);
  for (int j = 0; j <= 256; ++j) EXPECT_EQ(ramp[j], j <= 100 ? 0x0000FFu : 0xFF0000u) << j;
}

// ---- Gradient indices -------------------------------------------------------------

TEST(GradientIndex, RadialWalkStaysWithinOneStepOfTheSquareRoot) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t x = static_cast<int32_t>(rng() % 0x1000000) - 0x800000;
    const int32_t y = static_cast<int32_t>(rng() % 0x1000000) - 0x800000;
    const int32_t sx = static_cast<int32_t>(rng() % 0x20000) - 0x10000;
    const int32_t sy = static_cast<int32_t>(rng() % 0x8000) - 0x4000;
    uint16_t got[300];
    RadialGradientWalk walk;
    walk.Start(x, y, sx, sy);
    walk.Next(300, got);
    for (int i = 1; i < 300; ++i) {
      const int64_t gx = (int64_t{x} + int64_t{sx} * i) >> 14,
                    gy = (int64_t{y} + int64_t{sy} * i) >> 14;
      const int64_t t = gx * gx + gy * gy;
      const int64_t root = static_cast<int64_t>(std::floor(std::sqrt(static_cast<double>(t))));
      const int64_t want = std::min<int64_t>(root, 256);
      // On a perfect square the index may be one lower (the walk's prediction
      // decides); never anywhere else.
      if (root * root == t && root <= 256) {
        ASSERT_TRUE(got[i] == want || got[i] == want - 1) << trial << " pixel " << i;
      } else {
        ASSERT_EQ(got[i], want) << trial << " pixel " << i;
      }
    }
  }
}

// The walk against the search it stands for: from the prediction (the last
// change again), down the squares while t is below the index's square, up
// while the next square is below t.
TEST(GradientIndex, RadialWalkFindsWhatTheSquareSearchFinds) {
  auto search = [](int32_t h, int64_t t) {
    while (t < kSquares[h]) --h;
    while (h <= 255 && kSquares[h + 1] < t) ++h;
    return h;
  };
  // Every prediction against every t = a^2 + b^2 of a grid past the end of
  // the table: one step from a start whose index is the prediction.
  for (int32_t p = 0; p <= 256; ++p) {
    const int32_t x0 = p * 16384 + 8192;  // its length's index is p
    for (int32_t a = 0; a <= 260; ++a)
      for (int32_t b = 0; b <= 260; b += (a + b) % 7 + 1) {
        RadialGradientWalk walk;
        walk.Start(x0, 0, (a << 14) - x0, b << 14);
        uint16_t out[2];
        walk.Next(2, out);
        ASSERT_EQ(out[0], p);
        ASSERT_EQ(out[1], search(p, int64_t{a} * a + int64_t{b} * b)) << p << " " << a << " " << b;
      }
  }
  // Long walks, predictions carried, positions wrapping.
  std::mt19937 rng(17);
  for (int trial = 0; trial < 2000; ++trial) {
    const int32_t x = static_cast<int32_t>(rng()), y = static_cast<int32_t>(rng());
    const int shift = static_cast<int>(rng() % 24);
    const int32_t sx = static_cast<int32_t>(rng()) >> shift,
                  sy = static_cast<int32_t>(rng()) >> shift;
    RadialGradientWalk walk;
    walk.Start(x, y, sx, sy);
    uint16_t got[64];
    walk.Next(64, got);
    int32_t h = got[0], change = 0;
    uint32_t px = static_cast<uint32_t>(x), py = static_cast<uint32_t>(y);
    for (int i = 1; i < 64; ++i) {
      px += static_cast<uint32_t>(sx);
      py += static_cast<uint32_t>(sy);
      const int64_t gx = static_cast<int32_t>(px) >> 14, gy = static_cast<int32_t>(py) >> 14;
      const int32_t next = search(std::clamp(h + change, 0, 256), gx * gx + gy * gy);
      change = next - h;
      h = next;
      ASSERT_EQ(got[i], h) << trial << " pixel " << i;
    }
  }
}

TEST(GradientIndex, RadialIndexOnAPerfectSquareDependsOnTheDirectionOfTravel) {
  // Along the x axis in steps of one index: t = 81 at x = 9 << 14.
  uint16_t out[12];
  RadialGradientWalk outward;
  outward.Start(0, 0, 1 << 14, 0);
  outward.Next(12, out);
  EXPECT_EQ(out[9], 8);  // predicted from below: the square does not lift it
  EXPECT_EQ(out[10], 9);
  EXPECT_EQ(out[11], 10);

  RadialGradientWalk inward;
  inward.Start(12 << 14, 0, -(1 << 14), 0);
  inward.Next(4, out);
  EXPECT_EQ(out[2], 10);  // t = 100, reached from above
  EXPECT_EQ(out[3], 9);   // t = 81
}

TEST(GradientIndex, LinearIndexClampsBeyondTheSquare) {
  uint16_t out[6];
  LinearGradientIndices(-0x400001, 1, 2, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  LinearGradientIndices(0x407FFF, 1, 2, out);
  EXPECT_EQ(out[0], 256);
  EXPECT_EQ(out[1], 256);
  LinearGradientIndices(0x3FFFFF, 0x8000, 1, out);
  EXPECT_EQ(out[0], 255);
}

// ---- Gradient and bitmap fills in the converter ------------------------------------

// Rectangles filled with a black-to-red ramp: the red channel is the
// gradient index (capped at 255), compared with the index of the double
// reference at each pixel's top-left corner.
TEST(GradientFill, PixelsFollowTheDoubleReference) {
  for (uint8_t kind : {uint8_t{kGradientLinear}, uint8_t{kGradientRadial}}) {
    for (int trial = 0; trial < 6; ++trial) {
      Image32 image(96, 80);
      CScanConverter cv(&image.bitmap, nullptr, nullptr, 0);
      Matrix2x3 identity;
      cv.SetMatrix(identity, nullptr);
      const double scale = 0.002 + 0.001 * trial;
      const FillStyle fill = Gradient(kind, scale, 0.4 * trial, 20 + 7 * trial, 30 + 3 * trial,
                                      {{0, 0x000000}, {255, 0x0000FF}});
      PointList path;
      RectPath(path, 0, 0, 96, 80);
      cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
      cv.Render();
      int mismatches = 0;
      for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 96; ++x) {
          double gx, gy;
          GradientPoint(fill.matrix, x, y, gx, gy);
          double want;
          if (kind == kGradientLinear) {
            want = gx >= 0x408000 ? 256 : gx < -0x400000 ? 0 : std::floor(gx / 32768) + 128;
          } else {
            // The first pixel of a row takes the length of its position; the
            // rest are tracked on coordinates cut to whole index units.
            const double qx = std::floor(gx / 16384), qy = std::floor(gy / 16384);
            want = std::min(256.0, x == 0 ? std::floor(std::hypot(gx, gy) / 16384)
                                          : std::floor(std::sqrt(qx * qx + qy * qy)));
          }
          const int got = image.At(x, y).r;
          const double diff = std::abs(got - std::min(want, 255.0));
          ASSERT_LE(diff, 1.0) << "kind " << int{kind} << " trial " << trial << " at " << x << ", "
                               << y;
          mismatches += diff > 0;
        }
      // Off by one only where rounding of the inverse matrix meets a boundary.
      EXPECT_LT(mismatches, 96 * 80 / 8) << "kind " << int{kind} << " trial " << trial;
    }
  }
}

// A radial gradient a fraction of a pixel across, drawn far from its centre:
// positions whose length reaches 2^31 (and wraps) take the last colour, as
// the first pixel of each row and as samples of partly covered pixels. They
// indexed far outside the ramp.
TEST(GradientFill, RadialPositionsBeyondTheLengthRangeTakeTheLastColour) {
  for (uint32_t antiAlias : {0u, 1u}) {
    Image32 image(260, 260);
    CScanConverter cv(&image.bitmap, nullptr, nullptr, antiAlias);
    cv.Clear(0xFFFFFF);
    Matrix2x3 identity;
    cv.SetMatrix(identity, nullptr);
    // A pixel is 2^23 of gradient space (the inverse saturates): lengths
    // reach 2^31 from about 181 pixels out on both axes, the positions
    // themselves wrap at 256.
    const FillStyle fill =
        Gradient(kGradientRadial, 1.0 / 65536, 0, 0, 0, {{0, 0x000000}, {255, 0xFF0000}});
    PointList path;
    RectPath(path, 190, 190, 240, 240);
    // A slanted right edge leaves partly covered pixels.
    for (int i = 0; i < path.length; ++i)
      if (path.buffer[i].x == 240 && path.buffer[i].y == 190) path.buffer[i].x = 232;
    cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
    cv.Render();
    int drawn = 0;
    for (int y = 188; y < 242; ++y)
      for (int x = 188; x < 242; ++x) {
        const Rgb8 p = image.At(x, y);
        // Blue over white in any proportion.
        ASSERT_EQ(p.b, 255) << "aa " << antiAlias << " at " << x << ", " << y;
        ASSERT_EQ(p.r, p.g) << "aa " << antiAlias << " at " << x << ", " << y;
        drawn += p.r == 0;
      }
    EXPECT_GT(drawn, 2000) << "aa " << antiAlias;
  }
}

// Ramps live in blocks that fills the rows have left hand on to the next
// ones. A column of gradient bars, with one fill drawn both above and below
// them (its ramp is taken over in between and made again), drawn twice by one
// converter, must match each shape drawn alone by a converter of its own.
TEST(GradientFill, RampsHandedOnBetweenFillsKeepEveryPixel) {
  struct Shape {
    PointList path;
    FillStyle fill;
  };
  std::vector<Shape> shapes(21);
  // Quarter pixels: edges fall inside pixels.
  auto chain = [](PointList& path, std::initializer_list<Point32> points) {
    for (const Point32& p : points) ASSERT_EQ(PointListAppend(path, p, 0), 0);
  };
  // Rows 0 to 4 and 100 to 104, joined by a line drawn down and back up.
  chain(shapes[0].path, {{41, 2},
                         {201, 2},
                         {201, 18},
                         {41, 18},
                         {41, 401},
                         {201, 401},
                         {201, 417},
                         {41, 417},
                         {41, 2}});
  shapes[0].fill =
      Gradient(kGradientRadial, 0.004, 0.3, 120, 200, {{0, 0x2040F0}, {255, 0xF04020}});
  for (int i = 1; i < 21; ++i) {
    const int32_t y = 30 + 17 * i;
    chain(shapes[i].path, {{61, y}, {181 + 3 * i, y}, {171, y + 13}, {63, y + 11}, {61, y}});
    shapes[i].fill = Gradient(i % 2 ? kGradientLinear : kGradientRadial, 0.003, 0.2 * i, 100 + i, y,
                              {{0, 0x010203u * i}, {128, 0x00FF00}, {255, 0x3020F0}});
  }
  Matrix2x3 quarter;
  MatrixSetScale(quarter, 0x4000, 0x4000);
  for (uint32_t antiAlias : {0u, 1u}) {
    Image32 alone(64, 110);
    CScanConverter clear(&alone.bitmap, nullptr, nullptr, antiAlias);
    clear.Clear(0xFFFFFF);
    for (Shape& shape : shapes) {
      CScanConverter cv(&alone.bitmap, nullptr, nullptr, antiAlias);
      cv.SetMatrix(quarter, nullptr);
      cv.AddPath(shape.path, nullptr, &shape.fill, FillRule::kEvenOdd);
      cv.Render();
    }
    Image32 together(64, 110);
    CScanConverter cv(&together.bitmap, nullptr, nullptr, antiAlias);
    for (int batch = 0; batch < 2; ++batch) {
      cv.Clear(0xFFFFFF);
      cv.SetMatrix(quarter, nullptr);
      for (Shape& shape : shapes) cv.AddPath(shape.path, nullptr, &shape.fill, FillRule::kEvenOdd);
      cv.Render();
      cv.ResetInput();
      for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 64; ++x)
          ASSERT_EQ(together.At(x, y), alone.At(x, y))
              << "aa " << antiAlias << " batch " << batch << " at " << x << ", " << y;
    }
    // The fill drawn at both ends is drawn at both ends.
    EXPECT_NE(together.At(30, 2), (Rgb8{255, 255, 255}));
    EXPECT_NE(together.At(30, 102), (Rgb8{255, 255, 255}));
  }
}

TEST(GradientFill, AntiAliasedEdgesSampleTheGradient) {
  // A linear gradient over a rectangle with fractional edges: inner pixels
  // come from the span writer, edge pixels from the sampler; both agree with
  // the reference colour at the pixel.
  Image32 image(64, 16);
  CScanConverter cv(&image.bitmap, nullptr, nullptr, 1);
  cv.Clear(0xFFFFFF);
  Matrix2x3 identity;
  cv.SetMatrix(identity, nullptr);
  const FillStyle fill =
      Gradient(kGradientLinear, 64.0 / 32768, 0, 32, 0, {{0, 0x000000}, {255, 0x0000FF}});
  PointList path;
  RectPath(path, 0, 0, 64, 16);
  for (int i = 0; i < path.length; ++i) {
    // Move the right edge to x = 40.5.
    if (path.buffer[i].x == 64) path.buffer[i].x = 40;
  }
  Matrix2x3 m;
  MatrixSetIdentity(m);
  cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
  cv.Render();
  for (int x = 0; x < 40; ++x) {
    double gx, gy;
    GradientPoint(fill.matrix, x, 0, gx, gy);
    const int want = static_cast<int>(std::floor(gx / 32768)) + 128;
    EXPECT_NEAR(image.At(x, 5).r, std::clamp(want, 0, 255), 1) << x;
    EXPECT_EQ(image.At(x, 5).g, 0);
  }
  EXPECT_EQ(image.At(41, 5).r, 255);  // white beyond
}

TEST(BitmapFill, NearestAndBilinearSamplesFollowTheDoubleReference) {
  std::mt19937 rng(3);
  CDib dib;
  ASSERT_TRUE(dib.Create(kDib32Bit, 9, 7, nullptr));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) {
      const uint32_t v = static_cast<uint32_t>(rng()) & 0xFFFFFF;
      std::memcpy(dib.Bits() + y * dib.Stride() + 4 * x, &v, 4);
    }
  for (int smooth = 0; smooth < 2; ++smooth) {
    Image32 image(60, 50);
    CScanConverter cv(&image.bitmap, nullptr, nullptr, 0);
    cv.smoothBitmaps = smooth;
    Matrix2x3 identity;
    cv.SetMatrix(identity, nullptr);
    // Scale 5.5 and 6.25, moved by (3.5, 2.25) pixels (the image matrix
    // carries document units; the translation is whole, the rest comes from
    // the object matrix below).
    Matrix2x3 imageMatrix;
    MatrixSetScale(imageMatrix, 5 * 65536 + 32768, 6 * 65536 + 16384);
    imageMatrix.tx = 3;
    imageMatrix.ty = 2;
    ASSERT_TRUE(cv.AddBitmap(dib, imageMatrix));
    cv.Render();
    int mismatches = 0;
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 60; ++x) {
        const double u = (x - 3) / 5.5, v = (y - 2) / 6.25;
        const bool inside = u >= 0 && v >= 0 && u < 9 && v < 7;
        const Rgb8 got = image.At(x, y);
        if (!inside) continue;
        Rgb want;
        if (!smooth) {
          want = dib.GetPixel(static_cast<int>(std::floor(u)), static_cast<int>(std::floor(v)));
        } else {
          want = dib.SampleBilinear(static_cast<Fixed>(std::floor(u * 65536 - 32768)),
                                    static_cast<Fixed>(std::floor(v * 65536 - 32768)));
        }
        const int diff = std::max({std::abs(got.r - want.red), std::abs(got.g - want.green),
                                   std::abs(got.b - want.blue)});
        mismatches += diff > 0;
        ASSERT_LE(mismatches, 2 * (60 + 50)) << "smooth " << smooth << " at " << x << ", " << y;
      }
  }
}

// ---- Solid fills -------------------------------------------------------------------

TEST(SolidFill, PatternKindsTileFourByFourWithThePhase) {
  // Anti-aliased too, where whole pixels of one fill keep the pattern: a
  // wide rectangle, and one a pixel wide (each row one whole pixel).
  struct Case {
    uint16_t pattern_kind;
    uint16_t pattern;
    int second;  // grey level of the clear bits
  };
  const Case cases[] = {{1, 0xA5A5, 255}, {2, 0x33CC, 255}, {3, 0x39C6, 255}};
  for (const Case& k : cases) {
    for (uint32_t aa : {0u, 1u}) {
      for (int width : {16, 1}) {
        for (Point32 origin : {Point32{0, 0}, Point32{1, 2}, Point32{3, 3}}) {
          Image32 image(16, 12);
          const Rect32 clip = {origin.x, origin.x + 16, origin.y, origin.y + 12};
          CScanConverter cv(&image.bitmap, &clip, &origin, aa);
          Matrix2x3 identity;
          cv.SetMatrix(identity, nullptr);
          FillStyle fill = SolidFill(Colour(10, 20, 30));
          fill.pattern_kind = k.pattern_kind;
          PointList path;
          RectPath(path, origin.x, origin.y, origin.x + width, origin.y + 12);
          cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
          cv.Render();
          for (int y = 0; y < 12; ++y)
            for (int x = 0; x < width; ++x) {
              const int bit = 15 - (((y + origin.y) & 3) * 4 + ((x + origin.x) & 3));
              const bool set = (k.pattern >> bit) & 1;
              const Rgb8 want = set ? Rgb8{10, 20, 30} : Rgb8{k.second, k.second, k.second};
              ASSERT_EQ(image.At(x, y), want) << "kind " << k.pattern_kind << " aa " << aa
                                              << " width " << width << " at " << x << ", " << y;
            }
        }
      }
    }
  }
}

TEST(SolidFill, PaletteColoursWithinSevenAreOneIndexOthersMixTwo) {
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(8, nullptr, 8, 8, false));  // the colour cube
  const ColorTable& table = bitmap.Palette()->table;
  auto render = [&](uint32_t colour) {
    CScanConverter cv(&bitmap, nullptr, nullptr, 0);
    Matrix2x3 identity;
    cv.SetMatrix(identity, nullptr);
    FillStyle fill = SolidFill(colour);
    PointList path;
    RectPath(path, 0, 0, 8, 8);
    cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
    cv.Render();
  };
  auto rgbOf = [&](int index) { return table.entries[index]; };
  // (51, 102, 153) + (2, 2, 3): within 7 of a cube entry.
  render(Colour(53, 104, 156));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(rgbOf(bitmap.Row(y)[x]), PackRgb(51, 102, 153));
  // Halfway between two grey cube levels: two indices, about half each, in
  // the 4 x 4 mask layout.
  render(Colour(76, 76, 76));
  std::vector<int> seen;
  int first = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint32_t c = rgbOf(bitmap.Row(y)[x]);
      EXPECT_TRUE(c == PackRgb(51, 51, 51) || c == PackRgb(102, 102, 102)) << x << ", " << y;
      first += c == PackRgb(51, 51, 51);
    }
  EXPECT_GE(first, 24);
  EXPECT_LE(first, 40);
}

// ---- Dithering and target formats ----------------------------------------------------

// A fixed-seed image drawn as a bitmap fill into a 4-bit grey target with
// each dither mode: every mode keeps the mean grey; ordered dither and error
// diffusion give the same pixels on every run.
TEST(Dithering, ModesKeepTheMeanAndRepeatExactly) {
  std::mt19937 rng(42);
  CDib dib;
  ASSERT_TRUE(dib.Create(kDib32Bit, 32, 32, nullptr));
  double mean = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint32_t g = 64 + rng() % 128;
      const uint32_t v = g << 16 | g << 8 | g;
      std::memcpy(dib.Bits() + y * dib.Stride() + 4 * x, &v, 4);
      mean += g;
    }
  mean /= 32 * 32;
  std::vector<uint8_t> first[3];
  for (int round = 0; round < 2; ++round)
    for (int mode = 0; mode < 3; ++mode) {
      COffscreenBitmap bitmap;
      ASSERT_TRUE(bitmap.CreateDepth(4, nullptr, 32, 32, false));
      CScanConverter cv(&bitmap, nullptr, nullptr, 0);
      cv.ditherMode = mode;
      Matrix2x3 identity;
      cv.SetMatrix(identity, nullptr);
      ASSERT_TRUE(cv.AddBitmap(dib, identity));
      cv.Render();
      const ColorTable& table = bitmap.Palette()->table;
      double out = 0;
      std::vector<uint8_t> pixels;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          const int index = (bitmap.Row(y)[x / 2] >> (x & 1 ? 0 : 4)) & 15;
          pixels.push_back(static_cast<uint8_t>(index));
          out += RedOf(table.entries[index]);
        }
      out /= 32 * 32;
      if (round == 0) {
        first[mode] = pixels;
      } else {
        EXPECT_EQ(pixels, first[mode]) << "mode " << mode;
      }
      // Nearest colours may shift the mean by up to a level; dithering keeps it.
      EXPECT_NEAR(out, mean, mode == 0 ? 16.0 : 3.0) << "mode " << mode;
    }
}

TEST(Dithering, ErrorDiffusionOfMidGreyAlternatesIndices) {
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(4, nullptr, 16, 4, false));
  CScanConverter cv(&bitmap, nullptr, nullptr, 1);  // high quality: error diffusion
  EXPECT_EQ(cv.ditherMode, 2);
  cv.solidMode = 2;  // through the colour writer
  Matrix2x3 identity;
  cv.SetMatrix(identity, nullptr);
  FillStyle fill = SolidFill(Colour(136, 136, 136));  // between the greys 128 and 144
  PointList path;
  RectPath(path, 0, 0, 16, 4);
  cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
  cv.Render();
  const ColorTable& table = bitmap.Palette()->table;
  std::vector<int> levels;
  for (int x = 0; x < 16; ++x)
    levels.push_back(RedOf(table.entries[(bitmap.Row(1)[x / 2] >> (x & 1 ? 0 : 4)) & 15]));
  const auto [lo, hi] = std::minmax_element(levels.begin(), levels.end());
  EXPECT_EQ(*lo, 128);
  EXPECT_EQ(*hi, 144);
  int changes = 0;
  for (int x = 1; x < 16; ++x) changes += levels[x] != levels[x - 1];
  EXPECT_GE(changes, 8);
}

TEST(SixteenBits, DitherAndBlendFollowTheChannelFormulas) {
  // 5-6-5 memory with the 4 x 4 dither, then a half-covered pixel blended
  // over what is there.
  std::vector<uint8_t> memory(8 * 4 * 2, 0);
  ScanTarget t;
  t.bits = memory.data();
  t.stride = 16;
  t.width = 8;
  t.height = 4;
  t.pixel_format = kScan565;
  CScanConverter cv;
  cv.SetTarget(t, nullptr, 0);
  cv.AllocBuckets();
  const uint8_t colour[3] = {100, 150, 250};
  for (int y = 0; y < 4; ++y) {
    cv.SetRow(y);
    for (int x = 0; x < 8; ++x) cv.WriteColorSpan(x, x + 1, colour);
  }
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint32_t d = kDither16[(y & 3) * 4 + (x & 3)];
      const uint32_t r = std::min(100 + d, 255u), g = std::min(150 + d / 2, 255u),
                     b = std::min(250 + d, 255u);
      const uint32_t want = (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
      EXPECT_EQ(memory[y * 16 + 2 * x] | memory[y * 16 + 2 * x + 1] << 8, want) << x << ", " << y;
    }
  // Blend 8 of 16 samples of black over the pixel at (0, 0).
  cv.backgroundValid = 1;
  cv.SetRow(0);
  const int32_t sums[3] = {0, 0, 0};
  const uint32_t before = memory[0] | memory[1] << 8;
  cv.WriteBlendedPixel(0, sums, 8);
  const uint32_t r5 = (before >> 11) & 31, g6 = (before >> 5) & 63, b5 = before & 31;
  const uint32_t r = kExpand5To8[r5] / 2, g = (g6 ? (g6 << 2 | 3) : 0) / 2, b = kExpand5To8[b5] / 2;
  EXPECT_EQ(memory[0] | memory[1] << 8, (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
}

// ---- Priorities -------------------------------------------------------------------------

TEST(FillPriority, LaterObjectsStayOnTopPastFourteenBitsAndIdsRestartEachBatch) {
  Image32 image(4, 4);
  CScanConverter cv(&image.bitmap, nullptr, nullptr, 0);
  Matrix2x3 identity;
  cv.SetMatrix(identity, nullptr);
  PointList path;
  RectPath(path, 0, 0, 4, 4);
  // Object 1 in red, then (after 16383 objects elsewhere) object 16385 in
  // dark blue over the left half: a 14-bit key would wrap to 1 and its
  // darker colour would sink it below the red.
  FillStyle fill = SolidFill(Colour(255, 0, 0));
  cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
  cv.objectId += 16383;
  RectPath(path, 0, 0, 2, 4);
  fill.colour = Colour(0, 0, 8);
  cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
  EXPECT_EQ(cv.objectId, 16385u);
  cv.Render();
  EXPECT_EQ(image.At(1, 2), (Rgb8{0, 0, 8}));
  EXPECT_EQ(image.At(3, 2), (Rgb8{255, 0, 0}));
  cv.ResetInput();
  EXPECT_EQ(cv.objectId, 0u);
  fill.colour = Colour(1, 2, 3);
  cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
  EXPECT_EQ(cv.objectId, 1u);
  cv.Render();
  EXPECT_EQ(image.At(1, 2), (Rgb8{1, 2, 3}));
}

TEST(FillPriority, FillsOfOneObjectAreSharedAndOfTwoObjectsAreNot) {
  Image32 image(4, 4);
  CScanConverter cv(&image.bitmap, nullptr, nullptr, 0);
  FillStyle fill = SolidFill(Colour(9, 9, 9));
  CSpanFill* a = cv.FindOrAddFill(fill);
  EXPECT_EQ(cv.FindOrAddFill(fill), a);
  FillStyle none;
  EXPECT_EQ(cv.FindOrAddFill(none), nullptr);
  cv.objectId += 1;
  CSpanFill* b = cv.FindOrAddFill(fill);
  EXPECT_NE(b, a);
  EXPECT_GT(b->priority, a->priority);
  const FillStyle g1 = Gradient(kGradientLinear, 0.01, 0, 0, 0, {{0, 1}, {255, 2}});
  FillStyle g2 = g1;
  g2.gradient.colours[1] = 3;
  CSpanFill* ga = cv.FindOrAddFill(g1);
  EXPECT_EQ(ga->kind, kSpanGradient);
  EXPECT_EQ(cv.FindOrAddFill(g1), ga);
  EXPECT_NE(cv.FindOrAddFill(g2), ga);
  // A highlighted gradient draws as a patterned solid fill.
  FillStyle g3 = g1;
  g3.pattern_kind = 2;
  EXPECT_EQ(cv.FindOrAddFill(g3)->kind, kSpanSolid);
}

// ---- Dithered brushes ----------------------------------------------------------------

TEST(DitheredBrush, NearColoursAreSolidOthersMixTheNearestAndTheMirroredEntry) {
  ColorTable cube;
  BuildColorCube(cube);
  CSharedPalette* palette = CSharedPalette::Create(cube);
  ASSERT_NE(palette, nullptr);
  const InverseColorMap* maps[] = {&palette->inverseMap, nullptr};
  for (const InverseColorMap* map : maps) {
    // Within 7 of (51, 102, 153): solid, the colour itself.
    DitheredBrush near = CreateDitheredBrush(palette, map, PackRgb(53, 104, 156));
    EXPECT_TRUE(near.solid);
    EXPECT_EQ(near.colour, PackRgb(53, 104, 156));
    // Grey 80 between the cube's 51 and 102: nearest 102 (d1 = 66), the
    // mirrored grey 58 gives 51 (d2 = 87); t = 66 * 16 / 153 = 6, so mask 6
    // (10 of 16 bits set) puts 51 on 6 pixels of every 4 x 4 tile.
    DitheredBrush mix = CreateDitheredBrush(palette, map, PackRgb(80, 80, 80));
    ASSERT_FALSE(mix.solid);
    EXPECT_EQ(cube.entries[mix.indices[0]], PackRgb(102, 102, 102));
    EXPECT_EQ(cube.entries[mix.indices[1]], PackRgb(51, 51, 51));
    int second = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const int bit = 15 - ((y & 3) * 4 + (x & 3));
        EXPECT_EQ(mix.pattern[y * 8 + x], (kPatternMasks[6] >> bit) & 1 ? 0 : 1) << x << ", " << y;
        second += mix.pattern[y * 8 + x];
      }
    EXPECT_EQ(second, 4 * 6);
  }
  CSharedPalette::Release(palette);
}

TEST(SolidFill, OneBitTargetsMixBlackAndWhiteByBrightness) {
  // Grey 128: (3 * 128 + 3) / 48 = 8, the mask 0x5A5A of eight set (black)
  // bits in every 4 x 4 tile.
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(1, nullptr, 16, 8, false));
  CScanConverter cv(&bitmap, nullptr, nullptr, 0);
  Matrix2x3 identity;
  cv.SetMatrix(identity, nullptr);
  FillStyle fill = SolidFill(Colour(128, 128, 128));
  PointList path;
  RectPath(path, 0, 0, 16, 8);
  cv.AddPath(path, nullptr, &fill, FillRule::kEvenOdd);
  cv.Render();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      const int index = (bitmap.Row(y)[x / 8] >> (7 - x % 8)) & 1;
      const bool set = (0x5A5A >> (15 - ((y & 3) * 4 + (x & 3)))) & 1;
      EXPECT_EQ(index, set ? 0 : 1) << x << ", " << y;  // black is entry 0
    }
}
