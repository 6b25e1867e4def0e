#include "render/raster/bitmap_span.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// An image of random bytes whose bounds are `twipsPerPixel` per pixel; the
// table's entry 2 is its first black colour (1-bit images keep two entries,
// neither black).
void MakeImage(CImageRef& img, uint32_t format, int32_t w, int32_t h, int32_t twipsPerPixel,
               std::mt19937& rng, bool random = true) {
  ColorTable t;
  t.count = 16;
  for (uint32_t i = 0; i < t.count; ++i) t.entries[i] = 0xFF000000u | (i == 2 ? 0 : 0x10 + i);
  ASSERT_TRUE(img.Create(format, w, h, &t));
  if (random)
    for (size_t k = 0; k < img.SizeBytes(); ++k) img.Bits()[k] = static_cast<uint8_t>(rng());
  RectSet(img.bounds, 0, 0, w * twipsPerPixel, h * twipsPerPixel);
}

Matrix2x3 Rotation(double degrees, const Rect32& about, double scale = 1.0) {
  const double r = degrees * M_PI / 180, cs = std::cos(r) * scale, sn = std::sin(r) * scale;
  Matrix2x3 m;
  m.a = static_cast<Fixed>(std::lround(cs * 65536));
  m.b = static_cast<Fixed>(std::lround(sn * 65536));
  m.c = -m.b;
  m.d = m.a;
  const double cx = (about.xmin + about.xmax) / 2.0, cy = (about.ymin + about.ymax) / 2.0;
  m.tx = static_cast<int32_t>(std::lround(cx - (m.a * cx + m.c * cy) / 65536.0));
  m.ty = static_cast<int32_t>(std::lround(cy - (m.b * cx + m.d * cy) / 65536.0));
  return m;
}

// The source pixel a destination pixel shows, in double precision; `clear`
// is false near a pixel border, where 16.16 rounding may pick either side.
struct Reference {
  bool inside = false;
  bool clear = true;
  int32_t x = 0, y = 0;
};
Reference Sample(const CImageRef& src, const Matrix2x3& m, const CImageRef& dst, int32_t j,
                 int32_t i) {
  const Rect32 &sb = src.bounds, &db = dst.bounds;
  const double X = db.xmin + j * double(db.xmax - db.xmin) / dst.Width();
  const double Y = db.ymin + i * double(db.ymax - db.ymin) / dst.Height();
  const double a = m.a / 65536.0, b = m.b / 65536.0, c = m.c / 65536.0, d = m.d / 65536.0;
  const double det = a * d - b * c;
  const double u = (d * (X - m.tx) - c * (Y - m.ty)) / det;
  const double v = (-b * (X - m.tx) + a * (Y - m.ty)) / det;
  const double px = (u - sb.xmin) * src.Width() / (sb.xmax - sb.xmin);
  const double py = (v - sb.ymin) * src.Height() / (sb.ymax - sb.ymin);
  Reference r;
  // Exact pixel corners (axis-aligned cases) are clear too: 16.16 holds them.
  auto clear = [](double p) {
    const double off = std::fabs(p - std::round(p));
    return off < 1e-9 || off > 0.01;
  };
  r.clear = clear(px) && clear(py);
  r.inside = px >= 0 && py >= 0 && px < src.Width() && py < src.Height();
  r.x = static_cast<int32_t>(std::floor(px));
  r.y = static_cast<int32_t>(std::floor(py));
  return r;
}

// Every destination pixel against the reference: inside pixels show their
// source pixel, outside ones the background (with a mask) or the row's edge
// pixel (without), and the mask marks exactly the covered pixels.
void Check(const CImageRef& src, const Matrix2x3& m, const CImageRef& dst, const CDib* mask,
           uint32_t background) {
  int checked = 0;
  for (int32_t i = 0; i < dst.Height(); ++i) {
    int32_t first = -1, last = -1;
    for (int32_t j = 0; j < dst.Width(); ++j) {
      if (Sample(src, m, dst, j, i).inside) {
        if (first < 0) first = j;
        last = j;
      }
    }
    for (int32_t j = 0; j < dst.Width(); ++j) {
      const Reference r = Sample(src, m, dst, j, i);
      if (!r.clear) continue;
      ++checked;
      if (mask) {
        ASSERT_EQ(ReadRawPixel(*mask, j, i), r.inside ? 0u : 1u) << j << "," << i;
      }
      if (r.inside) {
        ASSERT_EQ(ReadRawPixel(dst, j, i), ReadRawPixel(src, r.x, r.y)) << j << "," << i;
      } else if (mask || first < 0) {
        ASSERT_EQ(ReadRawPixel(dst, j, i), background) << j << "," << i;
      }
    }
    if (!mask && first >= 0) {
      for (int32_t j = 0; j + 1 < first; ++j)
        ASSERT_EQ(ReadRawPixel(dst, j, i), ReadRawPixel(dst, first, i));
      for (int32_t j = last + 2; j < dst.Width(); ++j)
        ASSERT_EQ(ReadRawPixel(dst, j, i), ReadRawPixel(dst, last, i));
    }
  }
  EXPECT_GT(checked, dst.Width() * dst.Height() / 2);
}

TEST(TransformBitmapSpan, MatchesADoublePrecisionSamplerInEveryFormat) {
  struct Case {
    const char* name;
    double degrees;
    double scale;
  } cases[] = {
      {"identity", 0, 1},         {"quarter turn", 90, 1},         {"half turn", 180, 1},
      {"three quarters", 270, 1}, {"scaled up", 0, 2.5},           {"scaled down", 0, 0.4},
      {"30 degrees", 30, 1},      {"45 degrees, larger", 45, 1.3}, {"-123 degrees", -123, 0.8},
  };
  std::mt19937 rng(7);
  for (uint32_t format : {kDib1Bit, kDib2Bit, kDib4Bit, kDib8Bit, kDib16Bit, kDib32Bit}) {
    for (const Case& c : cases) {
      for (bool withMask : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.name << " format " << format << " mask " << withMask);
        CImageRef src, dst;
        MakeImage(src, format, 37, 23, 15, rng);
        MakeImage(dst, format, 41, 29, 15, rng);
        const Matrix2x3 m = Rotation(c.degrees, src.bounds, c.scale);
        CDib mask;
        if (withMask) {
          ASSERT_TRUE(mask.Create(format == kDib8Bit ? kDib8Bit : kDib1Bit, 41, 29, nullptr));
        }
        ASSERT_TRUE(TransformBitmapSpan(src, m, dst, withMask ? &mask : nullptr));
        Check(src, m, dst, withMask ? &mask : nullptr,
              format == kDib1Bit   ? 0
              : format <= kDib8Bit ? 2
                                   : 0);
      }
    }
  }
}

TEST(TransformBitmapSpan, RotationWithMaskLeavesCornersUncoveredAtBackground) {
  std::mt19937 rng(1);
  CImageRef src, dst;
  MakeImage(src, kDib8Bit, 40, 40, 20, rng);
  for (size_t k = 0; k < src.SizeBytes(); ++k) src.Bits()[k] = 9;
  MakeImage(dst, kDib8Bit, 40, 40, 20, rng);
  CDib mask;
  ASSERT_TRUE(mask.Create(kDib1Bit, 40, 40, nullptr));
  ASSERT_TRUE(TransformBitmapSpan(src, Rotation(45, src.bounds), dst, &mask));
  for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 39}, {39, 39}}) {
    EXPECT_EQ(ReadRawPixel(dst, x, y), 2u);
    EXPECT_EQ(ReadRawPixel(mask, x, y), 1u);
  }
  EXPECT_EQ(ReadRawPixel(dst, 20, 20), 9u);
  EXPECT_EQ(ReadRawPixel(mask, 20, 20), 0u);
}

TEST(TransformBitmapSpan, RowsOutsideTheImageGetTheBackgroundEvenWithoutMask) {
  std::mt19937 rng(2);
  CImageRef src, dst;
  MakeImage(src, kDib4Bit, 10, 10, 20, rng);
  MakeImage(dst, kDib4Bit, 10, 30, 20, rng);  // three times as tall
  Matrix2x3 m;                                // identity: rows 10..29 lie below the image
  ASSERT_TRUE(TransformBitmapSpan(src, m, dst));
  for (int32_t y = 10; y < 30; ++y)
    for (int32_t x = 0; x < 10; ++x) ASSERT_EQ(ReadRawPixel(dst, x, y), 2u) << x << "," << y;
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) ASSERT_EQ(ReadRawPixel(dst, x, y), ReadRawPixel(src, x, y));
}

TEST(TransformBitmapSpan, WithoutMaskRowsRepeatTheirEdgePixels) {
  std::mt19937 rng(3);
  CImageRef src, dst;
  MakeImage(src, kDib32Bit, 10, 10, 20, rng);
  MakeImage(dst, kDib32Bit, 30, 10, 20, rng);
  Matrix2x3 m;
  m.tx = 200;  // ten pixels right
  ASSERT_TRUE(TransformBitmapSpan(src, m, dst));
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(ReadRawPixel(dst, x, y), ReadRawPixel(src, 0, y));
    for (int32_t x = 10; x < 20; ++x)
      EXPECT_EQ(ReadRawPixel(dst, x, y), ReadRawPixel(src, x - 10, y));
    for (int32_t x = 20; x < 30; ++x) EXPECT_EQ(ReadRawPixel(dst, x, y), ReadRawPixel(src, 9, y));
  }
}

// 3,000 pixels at 15 twips span 45,000 twips: past what 16.16 holds.
TEST(TransformBitmapSpan, LargeImagesKeepTheirPosition) {
  std::mt19937 rng(4);
  for (double degrees : {0.0, 90.0, 30.0}) {
    SCOPED_TRACE(degrees);
    CImageRef src, dst;
    MakeImage(src, kDib8Bit, 3000, 40, 15, rng);
    MakeImage(dst, kDib8Bit, 3000, 40, 15, rng);
    const Matrix2x3 m = Rotation(degrees, src.bounds);
    CDib mask;
    ASSERT_TRUE(mask.Create(kDib8Bit, 3000, 40, nullptr));
    ASSERT_TRUE(TransformBitmapSpan(src, m, dst, &mask));
    Check(src, m, dst, &mask, 2);
  }
}

TEST(TransformBitmapSpan, RefusesImagesThatDoNotFit) {
  std::mt19937 rng(5);
  CImageRef src, dst8, dst32, noBounds;
  MakeImage(src, kDib8Bit, 8, 8, 20, rng);
  MakeImage(dst8, kDib8Bit, 8, 8, 20, rng);
  MakeImage(dst32, kDib32Bit, 8, 8, 20, rng);
  MakeImage(noBounds, kDib8Bit, 8, 8, 20, rng);
  RectSetEmpty(noBounds.bounds);
  CDib smallMask, wrongMask;
  ASSERT_TRUE(smallMask.Create(kDib1Bit, 7, 8, nullptr));
  ASSERT_TRUE(wrongMask.Create(kDib32Bit, 8, 8, nullptr));
  const Matrix2x3 m;
  EXPECT_FALSE(TransformBitmapSpan(src, m, dst32));
  EXPECT_FALSE(TransformBitmapSpan(src, m, noBounds));
  EXPECT_FALSE(TransformBitmapSpan(noBounds, m, dst8));
  EXPECT_FALSE(TransformBitmapSpan(src, m, dst8, &smallMask));
  EXPECT_FALSE(TransformBitmapSpan(src, m, dst8, &wrongMask));
  // A flattening matrix is no failure: nothing of the image shows.
  Matrix2x3 flat;
  flat.d = 0;
  ASSERT_TRUE(TransformBitmapSpan(src, flat, dst8));
  for (size_t k = 0; k < 8; ++k) EXPECT_EQ(ReadRawPixel(dst8, static_cast<int32_t>(k), 3), 2u);
}

}  // namespace
