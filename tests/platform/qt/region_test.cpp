// Regions against a per-pixel reference.
#include "platform/qt/region.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

constexpr int kSize = 24;

// The pixel set of a region over a small grid.
std::vector<bool> Pixels(const CRgn& r) {
  std::vector<bool> out(kSize * kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) out[y * kSize + x] = r.PtInRegion(x - 2, y - 2);
  return out;
}

CRgn RandomRegion(std::mt19937& rng) {
  CRgn r;
  r.CreateRectRgn(0, 0, 0, 0);
  const int n = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < n; ++i) {
    CRgn piece;
    const int l = static_cast<int>(rng() % 18), t = static_cast<int>(rng() % 18);
    if (rng() % 2) {
      piece.CreateRectRgn(l, t, l + 1 + static_cast<int>(rng() % 8),
                          t + 1 + static_cast<int>(rng() % 8));
    } else {
      piece.CreateEllipticRgn(l, t, l + 2 + static_cast<int>(rng() % 8),
                              t + 2 + static_cast<int>(rng() % 8));
    }
    r.CombineRgn(&r, &piece, RGN_OR);
  }
  return r;
}

TEST(Region, CombineMatchesPerPixelReference) {
  std::mt19937 rng(3);
  const std::pair<int, std::function<bool(bool, bool)>> modes[] = {
      {RGN_AND, [](bool a, bool b) { return a && b; }},
      {RGN_OR, [](bool a, bool b) { return a || b; }},
      {RGN_XOR, [](bool a, bool b) { return a != b; }},
      {RGN_DIFF, [](bool a, bool b) { return a && !b; }},
      {RGN_COPY, [](bool a, bool) { return a; }},
  };
  for (int trial = 0; trial < 200; ++trial) {
    const CRgn a = RandomRegion(rng), b = RandomRegion(rng);
    const auto pa = Pixels(a), pb = Pixels(b);
    for (const auto& [mode, op] : modes) {
      CRgn c;
      c.CombineRgn(&a, &b, mode);
      const auto pc = Pixels(c);
      for (int i = 0; i < kSize * kSize; ++i)
        ASSERT_EQ(pc[i], op(pa[i], pb[i]))
            << "trial " << trial << " mode " << mode << " pixel " << i;
      // The result is canonical: rebuilt from its own rectangles it is equal.
      CRgn again;
      again.CreateRectRgn(0, 0, 0, 0);
      for (const CRect& r : c.Rects()) {
        CRgn piece;
        piece.CreateRectRgnIndirect(&r);
        again.CombineRgn(&again, &piece, RGN_OR);
      }
      ASSERT_TRUE(again.EqualRgn(&c));
    }
  }
}

TEST(Region, KindsBoxesOffsetsAndQueries) {
  CRgn r;
  EXPECT_EQ(r.CombineRgn(&r, &r, RGN_OR), RGN_ERROR);  // not created
  r.CreateRectRgn(5, 5, 5, 9);
  EXPECT_EQ(r.Kind(), NULLREGION);
  r.CreateRectRgn(1, 2, 4, 6);
  EXPECT_EQ(r.Kind(), SIMPLEREGION);
  EXPECT_TRUE(r.PtInRegion(1, 2));
  EXPECT_FALSE(r.PtInRegion(4, 2));  // right edge left out
  EXPECT_FALSE(r.PtInRegion(1, 6));
  CRgn other;
  other.CreateRectRgn(10, 0, 12, 3);
  EXPECT_EQ(r.CombineRgn(&r, &other, RGN_OR), COMPLEXREGION);
  CRect box;
  r.GetRgnBox(&box);
  EXPECT_EQ(box, CRect(1, 0, 12, 6));
  r.OffsetRgn(-1, 10);
  EXPECT_TRUE(r.PtInRegion(9, 10));
  EXPECT_TRUE(r.PtInRegion(0, 12));
  CRect probe(4, 14, 9, 20);
  EXPECT_FALSE(r.RectInRegion(&probe));
  probe.left = 2;
  EXPECT_TRUE(r.RectInRegion(&probe));
}

TEST(Region, PolygonRegionsInBothFillModes) {
  // A five-pointed star: its centre is inside with WINDING only.
  const CPoint star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  CRgn alt, wind;
  alt.CreatePolygonRgn(star, 5, ALTERNATE);
  wind.CreatePolygonRgn(star, 5, WINDING);
  EXPECT_FALSE(alt.PtInRegion(10, 10));
  EXPECT_TRUE(wind.PtInRegion(10, 10));
  EXPECT_TRUE(alt.PtInRegion(10, 3));
  EXPECT_TRUE(wind.PtInRegion(10, 3));
  EXPECT_FALSE(wind.PtInRegion(1, 18));
  // A polygon region of a rectangle equals the rectangle region.
  const CPoint rect[] = {{2, 3}, {9, 3}, {9, 8}, {2, 8}};
  CRgn p, q;
  p.CreatePolygonRgn(rect, 4, ALTERNATE);
  q.CreateRectRgn(2, 3, 9, 8);
  EXPECT_TRUE(p.EqualRgn(&q));
}

}  // namespace
