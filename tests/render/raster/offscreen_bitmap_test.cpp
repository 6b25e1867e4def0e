#include "render/raster/offscreen_bitmap.h"

#include <gtest/gtest.h>

#include "render/raster/dib.h"

namespace {

class OffscreenTest : public testing::Test {
 protected:
  void SetUp() override {
    live_ = CSharedPalette::LiveCount();
    ResetOffscreenProbe();
  }
  void TearDown() override {
    SetOffscreenScreen(nullptr);
    ResetOffscreenProbe();
    EXPECT_EQ(CSharedPalette::LiveCount(), live_) << "palette records leaked";
  }
  int live_ = 0;
};

uint32_t InfoColor(std::span<const uint8_t> info, size_t i) {
  const uint8_t* q = info.data() + 40 + 4 * i;
  return PackRgb(q[2], q[1], q[0]);
}

TEST_F(OffscreenTest, EachDepthGetsItsFormatStrideHeaderAndDefaultColours) {
  struct Case {
    int bits;
    uint32_t format;
    int32_t stride;         // for width 13
    uint32_t colors;        // entries in the header's table
    uint32_t palette_size;  // colours of the shared palette
  } cases[] = {
      {1, kOffscreen1Bit, 4, 2, 2},      {4, kOffscreen4Bit, 8, 16, 16},
      {8, kOffscreen8Bit, 16, 216, 216}, {16, kOffscreen555, 28, 0, 216},
      {24, kOffscreen24, 40, 0, 216},    {32, kOffscreen32, 52, 0, 216},
  };
  for (const Case& c : cases) {
    for (bool bottomUp : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.bits << " bits, bottom-up " << bottomUp);
      COffscreenBitmap bitmap;
      ASSERT_TRUE(bitmap.CreateDepth(c.bits, nullptr, 13, 5, bottomUp));
      EXPECT_TRUE(bitmap.IsValid());
      EXPECT_EQ(bitmap.Format(), c.format);
      EXPECT_EQ(bitmap.BitsPerPixel(), c.bits);
      EXPECT_EQ(bitmap.Stride(), c.stride);
      EXPECT_EQ(bitmap.SizeBytes(), static_cast<size_t>(c.stride) * 5);
      EXPECT_EQ(bitmap.BottomUp(), bottomUp ? 1u : 0u);
      ASSERT_NE(bitmap.Palette(), nullptr);
      EXPECT_EQ(bitmap.Palette()->table.count, c.palette_size);
      // The info block reads back as the packed bitmap it describes.
      std::vector<uint8_t> packed(bitmap.Info().begin(), bitmap.Info().end());
      packed.insert(packed.end(), bitmap.Bits(), bitmap.Bits() + bitmap.SizeBytes());
      PackedDibHeader h;
      ASSERT_TRUE(ParsePackedDibHeader(packed, h));
      EXPECT_EQ(h.width, 13);
      EXPECT_EQ(h.height, bottomUp ? 5 : -5);
      EXPECT_EQ(h.bit_count, c.bits);
      EXPECT_EQ(h.compression, kBiRgb);
      EXPECT_EQ(h.size_image, bitmap.SizeBytes());
      EXPECT_EQ(h.clr_used, c.colors);
      EXPECT_EQ(h.clr_important, c.colors);
      EXPECT_EQ(h.bits_offset, bitmap.Info().size());
      EXPECT_EQ(h.row_stride, c.stride);
      for (uint32_t i = 0; i < c.colors; ++i)
        EXPECT_EQ(InfoColor(bitmap.Info(), i), bitmap.Palette()->table.entries[i]) << i;
    }
  }
}

TEST_F(OffscreenTest, DefaultPalettesHoldBlackWhiteGreysOrTheCube) {
  COffscreenBitmap one, four, eight, deep;
  ASSERT_TRUE(one.CreateDepth(1, nullptr, 2, 2, true));
  ASSERT_TRUE(four.CreateDepth(4, nullptr, 2, 2, true));
  ASSERT_TRUE(eight.CreateDepth(8, nullptr, 2, 2, true));
  ASSERT_TRUE(deep.CreateDepth(32, nullptr, 2, 2, true));
  EXPECT_EQ(one.Palette()->table.entries[0], 0u);
  EXPECT_EQ(one.Palette()->table.entries[1], 0xFFFFFFu);
  const ColorTable& greys = four.Palette()->table;
  for (uint32_t i = 0; i < 15; ++i)
    EXPECT_EQ(greys.entries[i], PackRgb(16 * i, 16 * i, 16 * i)) << i;
  EXPECT_EQ(greys.entries[15], 0xFFFFFFu);
  ColorTable cube;
  BuildColorCube(cube);
  EXPECT_TRUE(ColorTablesEqual(eight.Palette()->table, cube));
  // One shared record serves every bitmap with the cube.
  EXPECT_EQ(eight.Palette(), deep.Palette());
  EXPECT_EQ(eight.Palette()->refCount, 2);
}

TEST_F(OffscreenTest, GivenPalettesGainAReferenceAndLoseItOnFree) {
  ColorTable grey;
  grey.count = 256;
  for (uint32_t i = 0; i < 256; ++i) grey.entries[i] = PackRgb(i, i, i);
  CSharedPalette* palette = CSharedPalette::Create(grey);
  ASSERT_NE(palette, nullptr);
  {
    COffscreenBitmap a, b;
    ASSERT_TRUE(a.CreateDepth(8, palette, 4, 4, false));
    ASSERT_TRUE(b.CreateDepth(4, palette, 4, 4, false));
    EXPECT_EQ(palette->refCount, 3);
    // A 4-bit header lists only the 16 colours its pixels can index.
    PackedDibHeader h;
    std::vector<uint8_t> packed(b.Info().begin(), b.Info().end());
    packed.resize(packed.size() + b.SizeBytes());
    ASSERT_TRUE(ParsePackedDibHeader(packed, h));
    EXPECT_EQ(h.clr_used, 16u);
    b.Free();
    EXPECT_FALSE(b.IsValid());
    EXPECT_EQ(b.Palette(), nullptr);
    EXPECT_EQ(palette->refCount, 2);
    // Creating again frees what was held first.
    ASSERT_TRUE(a.CreateDepth(8, palette, 4, 4, false));
    EXPECT_EQ(palette->refCount, 2);
  }
  EXPECT_EQ(palette->refCount, 1);
  CSharedPalette::Release(palette);
}

TEST_F(OffscreenTest, ImpossibleRequestsFailAndKeepNothing) {
  struct Case {
    int bits;
    int32_t width, height;
  } cases[] = {{2, 4, 4},
               {3, 4, 4},
               {0, 4, 4},
               {32, 0, 4},
               {32, 4, 0},
               {32, -4, 4},
               {32, 0x7FFFFFFF, 0x7FFFFFFF},
               {24, 20000, 20000}};
  for (const Case& c : cases) {
    COffscreenBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateDepth(8, nullptr, 3, 3, true));
    EXPECT_FALSE(bitmap.CreateDepth(c.bits, nullptr, c.width, c.height, true))
        << c.bits << " bits " << c.width << "x" << c.height;
    EXPECT_FALSE(bitmap.IsValid());
    EXPECT_EQ(bitmap.Palette(), nullptr);
    EXPECT_TRUE(bitmap.Info().empty());
  }
}

TEST_F(OffscreenTest, RowsAreOneBlockInEitherOrder) {
  for (bool bottomUp : {true, false}) {
    COffscreenBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateDepth(24, nullptr, 5, 3, bottomUp));
    EXPECT_EQ(bitmap.Row(0), bitmap.Bits() + (bottomUp ? 2 * bitmap.Stride() : 0));
    EXPECT_EQ(bitmap.Row(2), bitmap.Bits() + (bottomUp ? 0 : 2 * bitmap.Stride()));
    for (size_t i = 0; i < bitmap.SizeBytes(); ++i) ASSERT_EQ(bitmap.Bits()[i], 0) << i;
  }
}

TEST_F(OffscreenTest, TheBuiltInScreenGivesTopDownBlueGreenRedSurfaces) {
  COffscreenBitmap bitmap;
  Rect32 r;
  RectSet(r, 100, 50, 740, 530);
  ASSERT_TRUE(bitmap.Create(r));
  EXPECT_EQ(bitmap.Format(), kOffscreen32);
  EXPECT_EQ(bitmap.BitsPerPixel(), 32);
  EXPECT_EQ(bitmap.BottomUp(), 0u);
  EXPECT_EQ(bitmap.Width(), 640);
  EXPECT_EQ(bitmap.Height(), 480);
  EXPECT_EQ(bitmap.Stride(), 640 * 4);
  EXPECT_EQ(bitmap.Palette(), nullptr);
  EXPECT_FALSE(bitmap.Create(Rect32{}));  // the empty rectangle
  EXPECT_FALSE(bitmap.IsValid());
}

// A screen whose depth and answers a test sets.
class FakeScreen : public CScreen {
 public:
  int Depth() override { return depth; }
  BlitFormat ProbeBlitFormat(int d) override {
    ++probes;
    probed_depth = d;
    return answer;
  }
  CSharedPalette* AppPalette() override { return palette; }

  int depth = 16;
  BlitFormat answer{kOffscreen565, 1};
  CSharedPalette* palette = nullptr;
  int probes = 0;
  int probed_depth = 0;
};

TEST_F(OffscreenTest, CreateProbesOnceAndAgainWhenTheDepthChanges) {
  FakeScreen screen;
  SetOffscreenScreen(&screen);
  Rect32 r;
  RectSet(r, 0, 0, 10, 10);
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.Create(r));
  ASSERT_TRUE(bitmap.Create(r));
  EXPECT_EQ(screen.probes, 1);
  EXPECT_EQ(screen.probed_depth, 16);
  EXPECT_EQ(bitmap.Format(), kOffscreen565);
  EXPECT_EQ(bitmap.BottomUp(), 1u);
  EXPECT_EQ(bitmap.Palette(), nullptr);
  // 5-6-5 pixels carry their masks after the header.
  std::vector<uint8_t> packed(bitmap.Info().begin(), bitmap.Info().end());
  packed.resize(packed.size() + bitmap.SizeBytes());
  PackedDibHeader h;
  ASSERT_TRUE(ParsePackedDibHeader(packed, h));
  EXPECT_EQ(h.compression, kBiBitfields);
  EXPECT_EQ(h.masks, (std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F}));

  screen.depth = 24;
  screen.answer = {kOffscreen24, 0};
  ASSERT_TRUE(bitmap.Create(r));
  EXPECT_EQ(screen.probes, 2);
  EXPECT_EQ(bitmap.Format(), kOffscreen24);
  EXPECT_EQ(bitmap.Stride(), 32);
}

TEST_F(OffscreenTest, PaletteScreensLendTheApplicationPalette) {
  ColorTable colors;
  BuildColorCube(colors);
  CSharedPalette* app = CSharedPalette::Create(colors);
  FakeScreen screen;
  screen.depth = 8;
  screen.answer = {kOffscreen8Bit, 1};
  screen.palette = app;
  SetOffscreenScreen(&screen);
  Rect32 r;
  RectSet(r, 0, 0, 3, 3);
  {
    COffscreenBitmap bitmap;
    ASSERT_TRUE(bitmap.Create(r));
    EXPECT_EQ(bitmap.Palette(), app);
    EXPECT_EQ(app->refCount, 2);
    EXPECT_EQ(InfoColor(bitmap.Info(), 215), 0xFFFFFFu);
  }
  EXPECT_EQ(app->refCount, 1);
  // Without an application palette a palette format cannot be made.
  screen.palette = nullptr;
  COffscreenBitmap none;
  EXPECT_FALSE(none.Create(r));
  CSharedPalette::Release(app);
}

}  // namespace
