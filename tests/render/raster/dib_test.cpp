#include "render/raster/dib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "render/raster/raster_tables.h"
#include "rgb_print.h"

namespace {

ColorTable Colors(std::initializer_list<uint32_t> entries) {
  ColorTable t;
  for (uint32_t c : entries) t.entries[t.count++] = c;
  return t;
}

// A bitmap made from literal row bytes.
CDib MakeDib(uint32_t format, int32_t width, const std::vector<std::vector<uint8_t>>& rows,
             const ColorTable* colors = nullptr) {
  CDib dib;
  EXPECT_TRUE(dib.Create(format, width, static_cast<int32_t>(rows.size()), colors));
  for (size_t y = 0; y < rows.size(); ++y) {
    EXPECT_LE(rows[y].size(), static_cast<size_t>(dib.Stride()));
    std::memcpy(dib.Bits() + y * dib.Stride(), rows[y].data(), rows[y].size());
  }
  return dib;
}

TEST(CDibLayout, BitsAndStrideFollowTheFormatTable) {
  struct Case {
    uint32_t format;
    int32_t width;
    int bits;
    int32_t stride;
  } cases[] = {
      {0, 1, 1, 4},  {0, 32, 1, 4},  {0, 33, 1, 8},  {1, 16, 2, 4},          {1, 17, 2, 8},
      {2, 8, 4, 4},  {2, 9, 4, 8},   {3, 1, 8, 4},   {3, 4, 8, 4},           {3, 5, 8, 8},
      {4, 1, 16, 4}, {4, 2, 16, 4},  {4, 3, 16, 8},  {5, 3, 32, 12},         {0, 0, 1, 0},
      {6, 10, 0, 0}, {99, 10, 0, 0}, {5, -1, 32, 0}, {5, 0x40000000, 32, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " width " << c.width);
    EXPECT_EQ(CDib::BitsPerPixel(c.format), c.bits);
    EXPECT_EQ(CDib::RowStride(c.format, c.width), c.stride);
  }
}

TEST(CDibCreate, CopiesAtMostTheEntriesTheFormatCanIndex) {
  ColorTable big;
  big.count = 1000;  // more than a table holds
  for (uint32_t i = 0; i < 256; ++i) big.entries[i] = i * 0x010101;
  struct Case {
    uint32_t format;
    uint32_t count;
    uint32_t kept;
  } cases[] = {{0, 1000, 2}, {1, 1000, 4}, {2, 1000, 16}, {3, 1000, 256}, {3, 7, 7}, {0, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " count " << c.count);
    big.count = c.count;
    CDib dib;
    ASSERT_TRUE(dib.Create(c.format, 3, 2, &big));
    ASSERT_NE(dib.Colors(), nullptr);
    EXPECT_EQ(dib.Colors()->count, c.kept);
    for (uint32_t i = 0; i < 256; ++i)
      EXPECT_EQ(dib.Colors()->entries[i], i < c.kept ? big.entries[i] : 0u) << i;
  }
  CDib trueColor;
  ASSERT_TRUE(trueColor.Create(kDib32Bit, 3, 2, &big));
  EXPECT_EQ(trueColor.Colors(), nullptr);
}

TEST(CDibCreate, ImpossibleSizesFailAndHoldNothing) {
  struct Case {
    uint32_t format;
    int32_t width;
    int32_t height;
  } cases[] = {
      {5, -1, 10},        {5, 10, -1},           {7, 10, 10},     {5, 0x7FFFFFFF, 0x7FFFFFFF},
      {5, 0x20000000, 2}, {3, 0x7FFFFFFF, 1000}, {5, 8192, 8193}, {0, 0x7FFFFFFF, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.format << " " << c.width << "x" << c.height);
    CDib dib;
    ASSERT_TRUE(dib.Create(kDib8Bit, 2, 2, nullptr));
    EXPECT_FALSE(dib.Create(c.format, c.width, c.height, nullptr));
    EXPECT_EQ(dib.Bits(), nullptr);
    EXPECT_EQ(dib.Colors(), nullptr);
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.GetPixel(0, 0), Rgb{});
    EXPECT_EQ(dib.SampleBilinear(0, 0), Rgb{});
  }
  CDib atCap;
  EXPECT_TRUE(atCap.Create(kDib32Bit, 8192, 8192, nullptr));  // exactly kMaxBytes
}

TEST(CDibGetPixel, ReadsEveryFormatFromHandMadeRows) {
  const ColorTable four = Colors(
      {PackRgb(1, 2, 3), PackRgb(10, 20, 30), PackRgb(100, 110, 120), PackRgb(200, 210, 220)});
  ColorTable sixteen;
  sixteen.count = 16;
  for (uint32_t i = 0; i < 16; ++i) sixteen.entries[i] = PackRgb(i * 16, 255 - i, i);
  ColorTable full;
  full.count = 256;
  for (uint32_t i = 0; i < 256; ++i) full.entries[i] = PackRgb(i, i ^ 0x55, 255 - i);

  struct Probe {
    int32_t x, y;
    Rgb want;
  };
  struct Case {
    const char* name;
    uint32_t format;
    int32_t width;
    std::vector<std::vector<uint8_t>> rows;
    const ColorTable* colors;
    std::vector<Probe> probes;
  };
  auto entry = [](const ColorTable& t, uint32_t i) {
    return Rgb{RedOf(t.entries[i]), GreenOf(t.entries[i]), BlueOf(t.entries[i])};
  };
  const std::vector<Case> cases = {
      // 1 bit: pixel 0 is bit 7 of byte 0; width 33 reaches into byte 4.
      {"1 bit",
       kDib1Bit,
       33,
       {{0xA0, 0x00, 0x00, 0x01, 0x80}, {0x01, 0, 0, 0, 0}},
       &four,
       {{0, 0, entry(four, 1)},
        {1, 0, entry(four, 0)},
        {2, 0, entry(four, 1)},
        {31, 0, entry(four, 1)},
        {32, 0, entry(four, 1)},
        {30, 0, entry(four, 0)},
        {7, 1, entry(four, 1)},
        {6, 1, entry(four, 0)}}},
      // 2 bits: shifts 6, 4, 2, 0.
      {"2 bits",
       kDib2Bit,
       5,
       {{0x1B, 0xC0}},
       &four,
       {{0, 0, entry(four, 0)},
        {1, 0, entry(four, 1)},
        {2, 0, entry(four, 2)},
        {3, 0, entry(four, 3)},
        {4, 0, entry(four, 3)}}},
      // 4 bits: high nibble first.
      {"4 bits",
       kDib4Bit,
       3,
       {{0x5A, 0xF0}},
       &sixteen,
       {{0, 0, entry(sixteen, 5)}, {1, 0, entry(sixteen, 10)}, {2, 0, entry(sixteen, 15)}}},
      {"8 bits",
       kDib8Bit,
       3,
       {{7, 200, 255}, {0, 1, 2}},
       &full,
       {{0, 0, entry(full, 7)},
        {1, 0, entry(full, 200)},
        {2, 0, entry(full, 255)},
        {2, 1, entry(full, 2)}}},
      // 16 bits, little-endian words, 5-5-5 through the expansion table
      // (5-bit 12 expands to 95, 28 to 223, 31 to 255).
      {"16 bits",
       kDib16Bit,
       2,
       {{0x1F, 0x7C, 0x9C, 0x33}},  // 0x7C1F: r31 g0 b31; 0x339C: r12 g28 b28
       nullptr,
       {{0, 0, {255, 0, 255}}, {1, 0, {95, 223, 223}}}},
      // 32 bits: red in bits 16-23, the top byte ignored.
      {"32 bits",
       kDib32Bit,
       2,
       {{0x30, 0x20, 0x10, 0xFF, 0x03, 0x02, 0x01, 0x00}},
       nullptr,
       {{0, 0, {0x10, 0x20, 0x30}}, {1, 0, {1, 2, 3}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CDib dib = MakeDib(c.format, c.width, c.rows, c.colors);
    for (const Probe& p : c.probes) EXPECT_EQ(dib.GetPixel(p.x, p.y), p.want) << p.x << "," << p.y;
  }
}

TEST(CDibGetPixel, IndexPastTheColourCountReadsTheZeroedTable) {
  const ColorTable two = Colors({PackRgb(9, 9, 9), PackRgb(8, 8, 8)});
  const CDib dib = MakeDib(kDib8Bit, 1, {{200}}, &two);
  EXPECT_EQ(dib.GetPixel(0, 0), Rgb{});
}

TEST(CDibGetPixel, ClampsCoordinatesIntoTheImage) {
  CDib dib;
  ASSERT_TRUE(dib.Create(kDib32Bit, 3, 4, nullptr));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t* p = dib.Bits() + y * dib.Stride() + 4 * x;
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
    }
  struct Case {
    int32_t x, y, want_x, want_y;
  } cases[] = {
      {-5, 4 + 3, 0, 3}, {INT32_MIN, INT32_MIN, 0, 0}, {INT32_MAX, 1, 2, 1}, {1, -1, 1, 0}};
  for (const Case& c : cases) {
    const Rgb got = dib.GetPixel(c.x, c.y);
    EXPECT_EQ(got.blue, c.want_x) << c.x << "," << c.y;
    EXPECT_EQ(got.green, c.want_y) << c.x << "," << c.y;
  }
}

// Rounding each weight and giving the remainder to the first largest keeps
// every weight within 1.5 eighths of the exact one (fx = 4, fy = 7: exact
// 0.5, 0.5, 3.5, 3.5 round to 1, 1, 4, 4, and the surplus 2 leaves 1, 1, 2, 4).
TEST(BilinearWeights, EveryEntrySumsToEightAndStaysNearTheExactWeight) {
  for (int fx = 0; fx < 8; ++fx)
    for (int fy = 0; fy < 8; ++fy) {
      const auto& w = kBilinearWeights[fx * 8 + fy].w;
      const double exact[4] = {(8 - fx) * (8 - fy) / 8.0, fx * (8 - fy) / 8.0, (8 - fx) * fy / 8.0,
                               fx * fy / 8.0};
      EXPECT_EQ(w[0] + w[1] + w[2] + w[3], 8) << fx << "," << fy;
      for (int i = 0; i < 4; ++i) EXPECT_LE(std::fabs(w[i] - exact[i]), 1.5) << fx << "," << fy;
    }
  // The corner entries give one pixel the whole weight.
  EXPECT_EQ(kBilinearWeights[0].w, (std::array<uint8_t, 4>{8, 0, 0, 0}));
  EXPECT_EQ(kBilinearWeights[4 * 8 + 7].w, (std::array<uint8_t, 4>{1, 1, 2, 4}));
}

// Reference bilinear sample in doubles: the four neighbours clamped into the
// image, weighted by the table's eighths; blue is blended without its lowest
// bit and keeps seven bits.
Rgb ReferenceBilinear(const CDib& dib, Fixed x, Fixed y) {
  const double px = std::floor(x / 65536.0), py = std::floor(y / 65536.0);
  int fx = static_cast<int>(std::floor((x / 65536.0 - px) * 8));
  int fy = static_cast<int>(std::floor((y / 65536.0 - py) * 8));
  auto axis = [](double p, int size, int& f, int& a, int& b) {
    if (p < 0 || p >= size - 1) {
      a = b = p < 0 ? 0 : size - 1;
      f = 0;
    } else {
      a = static_cast<int>(p);
      b = a + 1;
    }
  };
  int x0, x1, y0, y1;
  axis(px, dib.Width(), fx, x0, x1);
  axis(py, dib.Height(), fy, y0, y1);
  const auto& w = kBilinearWeights[fx * 8 + fy].w;
  const Rgb p[4] = {dib.GetPixel(x0, y0), dib.GetPixel(x1, y0), dib.GetPixel(x0, y1),
                    dib.GetPixel(x1, y1)};
  double r = 0, g = 0, b = 0;
  for (int i = 0; i < 4; ++i) {
    r += w[i] / 8.0 * p[i].red;
    g += w[i] / 8.0 * p[i].green;
    b += w[i] / 8.0 * (p[i].blue >> 1);
  }
  return {static_cast<uint8_t>(std::floor(r + 1e-9)), static_cast<uint8_t>(std::floor(g + 1e-9)),
          static_cast<uint8_t>(std::floor(2 * b + 1e-9))};
}

TEST(CDibSampleBilinear, MatchesTheDoubleReferenceInEveryFormat) {
  std::mt19937 rng(12345);
  ColorTable colors;
  colors.count = 256;
  for (uint32_t& e : colors.entries) e = rng() & 0xFFFFFF;
  for (uint32_t format = 0; format <= kDib32Bit; ++format) {
    for (auto [w, h] : {std::pair{7, 5}, std::pair{1, 4}, std::pair{3, 1}, std::pair{1, 1}}) {
      SCOPED_TRACE(testing::Message() << "format " << format << " " << w << "x" << h);
      CDib dib;
      ASSERT_TRUE(dib.Create(format, w, h, &colors));
      for (size_t i = 0; i < dib.SizeBytes(); ++i) dib.Bits()[i] = static_cast<uint8_t>(rng());
      for (int i = 0; i < 2000; ++i) {
        const Fixed x =
            static_cast<Fixed>(rng() % (static_cast<uint32_t>(w + 4) << 16)) - (2 << 16);
        const Fixed y =
            static_cast<Fixed>(rng() % (static_cast<uint32_t>(h + 4) << 16)) - (2 << 16);
        ASSERT_EQ(dib.SampleBilinear(x, y), ReferenceBilinear(dib, x, y))
            << "x=0x" << std::hex << x << " y=0x" << y;
      }
    }
  }
}

TEST(CDibSampleBilinear, CentresEdgesAndOutsideTakeOnePixelUnblended) {
  CDib dib;
  ASSERT_TRUE(dib.Create(kDib32Bit, 3, 2, nullptr));
  const uint32_t px[2][3] = {{0x0A0B0C, 0xF0F1F3, 0x808080}, {0x112233, 0x445566, 0xFFFFFF}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int k = 0; k < 4; ++k)
        dib.Bits()[y * dib.Stride() + 4 * x + k] = static_cast<uint8_t>(px[y][x] >> (8 * k));
  auto lowBitOff = [](uint32_t v) {
    return Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
               static_cast<uint8_t>(v & 0xFE)};
  };
  // Exact pixel positions: the pixel itself, but for the lowest bit of blue.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(dib.SampleBilinear(x << 16, y << 16), lowBitOff(px[y][x])) << x << "," << y;
  // Just left of the image, with any fraction: the first column, unblended.
  EXPECT_EQ(dib.SampleBilinear(-1, 0), lowBitOff(px[0][0]));
  EXPECT_EQ(dib.SampleBilinear(-0x8000, 0x10000), lowBitOff(px[1][0]));
  // On the last column with a fraction, and far beyond: the last column.
  EXPECT_EQ(dib.SampleBilinear((2 << 16) + 0xF000, 0), lowBitOff(px[0][2]));
  EXPECT_EQ(dib.SampleBilinear(INT32_MAX, INT32_MAX), lowBitOff(px[1][2]));
  EXPECT_EQ(dib.SampleBilinear(INT32_MIN, INT32_MIN), lowBitOff(px[0][0]));
  // Halfway between two columns: the average, blue from its top seven bits.
  EXPECT_EQ(dib.SampleBilinear(0x8000, 0), (Rgb{0x7D, 0x7E, 0x7F}));
}

}  // namespace
