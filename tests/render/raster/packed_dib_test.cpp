// Packed bitmaps made by an outside producer (ImageMagick's convert) are
// loaded and compared pixel by pixel with the image that was given to it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "render/raster/bitmap_span.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/raster_tables.h"
#include "rgb_print.h"

namespace {

namespace fs = std::filesystem;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;  // top row first
  Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// A BMP file split into the packed DIB (everything after the 14-byte file
// header) and the pixel rows at the file's pixel offset.
struct BmpFile {
  std::vector<uint8_t> bytes;
  std::span<const uint8_t> Block() const { return std::span(bytes).subspan(14); }
  size_t PixelOffset() const {
    return bytes[10] | bytes[11] << 8 | bytes[12] << 16 | size_t{bytes[13]} << 24;
  }
  std::span<const uint8_t> Pixels() const { return std::span(bytes).subspan(PixelOffset()); }
  uint16_t BitCount() const { return static_cast<uint16_t>(bytes[28] | bytes[29] << 8); }
};

class ConvertTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / ("packed_dib_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs convert on the image (given as a binary PPM) with the options and
  // output format, and reads the result.
  BmpFile Convert(const Image& image, const std::string& options) {
    const fs::path in = dir_ / "in.ppm";
    const fs::path out = dir_ / "out.bmp";
    {
      std::ofstream f(in, std::ios::binary);
      f << "P6\n" << image.width << " " << image.height << "\n255\n";
      for (const Rgb& c : image.pixels) f << c.red << c.green << c.blue;
    }
    const std::string cmd =
        "convert '" + in.string() + "' -compress None " + options + ":'" + out.string() + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(out, std::ios::binary);
    BmpFile bmp;
    bmp.bytes.assign(std::istreambuf_iterator<char>(f), {});
    EXPECT_GT(bmp.bytes.size(), 54u) << cmd;
    return bmp;
  }

  fs::path dir_;
};

Image RandomImage(int width, int height, uint32_t seed, const std::vector<Rgb>& palette = {}) {
  std::mt19937 rng(seed);
  Image image{width, height, {}};
  for (int i = 0; i < width * height; ++i) {
    if (palette.empty())
      image.pixels.push_back(
          {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())});
    else
      image.pixels.push_back(palette[rng() % palette.size()]);
  }
  // Every palette colour appears, so the producer keeps them all.
  for (size_t i = 0; i < palette.size() && i < image.pixels.size(); ++i)
    image.pixels[i] = palette[i];
  return image;
}

void ExpectSamePixels(const CDib& dib, const Image& image) {
  ASSERT_EQ(dib.Width(), image.width);
  ASSERT_EQ(dib.Height(), image.height);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      ASSERT_EQ(dib.GetPixel(x, y), image.At(x, y)) << "pixel " << x << "," << y;
}

// n colours on a coarse grid, so that no producer merges two of them.
std::vector<Rgb> GridPalette(int n) {
  std::vector<Rgb> out;
  for (int i = 0; i < n; ++i)
    out.push_back({static_cast<uint8_t>(i % 4 * 80 + 7), static_cast<uint8_t>(i / 4 % 4 * 80 + 3),
                   static_cast<uint8_t>(i / 16 * 80 + 11)});
  return out;
}

TEST_F(ConvertTest, PaletteAndTrueColourFilesLoadPixelForPixel) {
  struct Case {
    const char* options;
    Image image;
    uint16_t bits;
    uint32_t format;
  } cases[] = {
      {"-type Palette BMP3", RandomImage(37, 5, 1, GridPalette(2)), 1, kDib1Bit},
      {"-type Palette BMP3", RandomImage(7, 5, 2, GridPalette(6)), 4, kDib4Bit},
      {"-type Palette BMP3", RandomImage(13, 6, 3, GridPalette(40)), 8, kDib8Bit},
      {"-type TrueColor BMP3", RandomImage(7, 5, 4), 24, kDib32Bit},
      {"-type TrueColor BMP3", RandomImage(1, 1, 5), 24, kDib32Bit},
      {"-type TrueColorAlpha BMP", RandomImage(9, 3, 6), 32, kDib32Bit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.options << " " << c.image.width << "x" << c.image.height);
    const BmpFile bmp = Convert(c.image, c.options);
    ASSERT_EQ(bmp.BitCount(), c.bits);
    // The rows follow the colour table directly, so both ways of finding them agree.
    for (std::span<const uint8_t> pixels : {bmp.Pixels(), std::span<const uint8_t>()}) {
      CDib dib;
      PackedDibHeader header;
      const char* error = nullptr;
      ASSERT_TRUE(dib.LoadPackedDib(bmp.Block(), pixels, nullptr, &header, &error)) << error;
      EXPECT_EQ(header.bits_offset + 14, bmp.PixelOffset());
      EXPECT_EQ(dib.Format(), c.format);
      ExpectSamePixels(dib, c.image);
    }
  }
}

// The 8-bit value that an n-bit level k stands for, chosen so that a
// producer's scaling gives k back whether it rounds, truncates or shifts.
uint8_t Replicated(uint32_t k, int bits) {
  const uint32_t top = (1u << bits) - 1;
  return static_cast<uint8_t>((k * 255 + top - 1) / top);
}

TEST_F(ConvertTest, SixteenBitFilesKeepEveryBitOfTheirMasks) {
  std::mt19937 rng(7);
  std::vector<std::array<uint32_t, 3>> levels;  // 5-bit red, 6-bit green, 5-bit blue
  for (int i = 0; i < 24; ++i)
    levels.push_back({unsigned(rng() % 32), unsigned(rng() % 64), unsigned(rng() % 32)});
  // 5-5-5 stays 16 bits; 5-6-5 (bit fields) becomes format 5 with its sixth
  // green bit, each channel widened by repeating its top bits.
  for (const char* subtype : {"RGB555", "RGB565"}) {
    SCOPED_TRACE(subtype);
    const bool sixBitGreen = std::string(subtype) == "RGB565";
    Image image{6, 4, {}};
    for (const auto& l : levels)
      image.pixels.push_back({Replicated(l[0], 5),
                              sixBitGreen ? Replicated(l[1], 6) : Replicated(l[1] >> 1, 5),
                              Replicated(l[2], 5)});
    const BmpFile bmp = Convert(image, std::string("-define bmp:subtype=") + subtype + " BMP");
    ASSERT_EQ(bmp.BitCount(), 16);
    CDib dib;
    const char* error = nullptr;
    ASSERT_TRUE(dib.LoadPackedDib(bmp.Block(), {}, nullptr, nullptr, &error)) << error;
    ASSERT_EQ(dib.Format(), sixBitGreen ? kDib32Bit : kDib16Bit);
    for (int i = 0; i < 24; ++i) {
      const uint32_t r = levels[i][0], g = levels[i][1], b = levels[i][2];
      const Rgb want = sixBitGreen ? Rgb{static_cast<uint8_t>(r << 3 | r >> 2),
                                         static_cast<uint8_t>(g << 2 | g >> 4),
                                         static_cast<uint8_t>(b << 3 | b >> 2)}
                                   : Rgb{kExpand5To8[r], kExpand5To8[g >> 1], kExpand5To8[b]};
      EXPECT_EQ(dib.GetPixel(i % 6, i / 6), want) << "pixel " << i;
    }
  }
}

TEST_F(ConvertTest, RunLengthAndCoreHeaderFilesLoadPixelForPixel) {
  // Runs of one colour and stretches of noise, so both kinds of run occur.
  Image runs = RandomImage(29, 7, 21, GridPalette(30));
  for (int i = 0; i < 29 * 7; i += 3)
    if (i % 29 < 17) runs.pixels[i] = runs.pixels[i - i % 29];
  struct Case {
    const char* options;
    Image image;
    uint16_t bits;
    uint32_t header_size;
    uint32_t compression;
  } cases[] = {
      {"-compress RLE -type Palette BMP3", runs, 8, 40, kBiRle8},
      {"-compress RLE -type Palette BMP3", RandomImage(64, 3, 22, GridPalette(3)), 8, 40, kBiRle8},
      {"-type Palette BMP2", RandomImage(37, 5, 23, GridPalette(2)), 1, 12, kBiRgb},
      {"-type Palette BMP2", RandomImage(9, 4, 24, GridPalette(12)), 4, 12, kBiRgb},
      {"-type Palette BMP2", RandomImage(13, 6, 25, GridPalette(40)), 8, 12, kBiRgb},
      {"-type TrueColor BMP2", RandomImage(7, 5, 26), 24, 12, kBiRgb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.options << " " << c.image.width << "x" << c.image.height);
    const BmpFile bmp = Convert(c.image, c.options);
    CDib dib;
    PackedDibHeader header;
    const char* error = nullptr;
    ASSERT_TRUE(dib.LoadPackedDib(bmp.Block(), {}, nullptr, &header, &error)) << error;
    EXPECT_EQ(header.header_size, c.header_size);
    EXPECT_EQ(header.bit_count, c.bits);
    EXPECT_EQ(header.compression, c.compression);
    EXPECT_EQ(header.bits_offset + 14, bmp.PixelOffset());
    ExpectSamePixels(dib, c.image);
  }
}

TEST_F(ConvertTest, TopDownRowsAndSourceRectangles) {
  const Image image = RandomImage(7, 5, 11, GridPalette(18));
  const BmpFile bmp = Convert(image, "-type Palette BMP3");
  ASSERT_EQ(bmp.BitCount(), 8);

  // The same rows stored top-down with a negative height.
  std::vector<uint8_t> flipped(bmp.Block().begin(), bmp.Block().end());
  const size_t bits = bmp.PixelOffset() - 14, stride = 8;
  for (int y = 0; y < 5; ++y)
    std::copy_n(bmp.Pixels().begin() + (4 - y) * stride, stride,
                flipped.begin() + bits + y * stride);
  const int32_t negative = -5;
  std::memcpy(flipped.data() + 8, &negative, 4);
  CDib topDown;
  ASSERT_TRUE(topDown.LoadPackedDib(flipped));
  ExpectSamePixels(topDown, image);

  // A part of the image, and a part reaching past it (the rest stays index 0).
  CDib part;
  const WinRect inside{2, 1, 6, 4};
  ASSERT_TRUE(part.LoadPackedDib(bmp.Block(), {}, &inside));
  ASSERT_EQ(part.Width(), 4);
  ASSERT_EQ(part.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(part.GetPixel(x, y), image.At(x + 2, y + 1));
  CDib over;
  const WinRect across{5, -1, 9, 2};
  ASSERT_TRUE(over.LoadPackedDib(bmp.Block(), {}, &across));
  const uint32_t c0 = over.Colors()->entries[0];
  const Rgb zero{RedOf(c0), GreenOf(c0), BlueOf(c0)};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(over.GetPixel(x, y), x < 2 && y > 0 ? image.At(x + 5, y - 1) : zero)
          << x << "," << y;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A 40-byte info header of one plane.
void PutInfoHeader(std::vector<uint8_t>& b, int32_t width, int32_t height, uint8_t bits,
                   uint32_t compression) {
  Put32(b, 0, 40);
  Put32(b, 4, static_cast<uint32_t>(width));
  Put32(b, 8, static_cast<uint32_t>(height));
  b[12] = 1;
  b[14] = bits;
  Put32(b, 16, compression);
}

// A hand-made 8-bit packed DIB: 40-byte header, a table of `colors` entries
// (clrUsed = `clrUsed`), then 3 x 2 pixels in rows of 4 bytes.
std::vector<uint8_t> SmallDib(uint32_t clrUsed, uint32_t colors) {
  std::vector<uint8_t> b(40 + 4 * colors + 8);
  PutInfoHeader(b, 3, 2, 8, 0);
  Put32(b, 32, clrUsed);
  for (uint32_t i = 0; i < colors; ++i) Put32(b, 40 + 4 * i, i * 0x010203);
  for (size_t i = 40 + 4 * colors; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

TEST(PackedDib, EveryTruncationFailsAndTheExactSizeLoads) {
  const std::vector<uint8_t> full = SmallDib(5, 5);
  for (size_t n = 0; n < full.size(); ++n) {
    CDib dib;
    EXPECT_FALSE(dib.LoadPackedDib(std::span(full).first(n))) << n << " bytes";
    EXPECT_EQ(dib.Bits(), nullptr);
  }
  CDib dib;
  ASSERT_TRUE(dib.LoadPackedDib(full));
  EXPECT_EQ(dib.Colors()->count, 5u);
  EXPECT_EQ(dib.Colors()->entries[4], 0xFF0C0804u);  // 0x040812 read as blue, green, red
}

TEST(PackedDib, MalformedHeadersAreRefused) {
  auto with32 = [](uint32_t clrUsed, size_t at, uint32_t v) {
    std::vector<uint8_t> b = SmallDib(clrUsed, clrUsed);
    Put32(b, at, v);
    return b;
  };
  auto with16 = [](size_t at, uint16_t v) {
    std::vector<uint8_t> b = SmallDib(2, 2);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> block;
  } cases[] = {
      {"header between core and info sizes", with32(2, 0, 24)},
      {"header longer than the block", with32(2, 0, 4000)},
      {"zero width", with32(2, 4, 0)},
      {"negative width", with32(2, 4, 0xFFFFFFFF)},
      {"zero height", with32(2, 8, 0)},
      {"most negative height", with32(2, 8, 0x80000000)},
      {"huge width", with32(2, 4, 0x7FFFFFFF)},
      {"huge height", with32(2, 8, 0x7FFFFFFF)},
      {"two planes", with16(12, 2)},
      {"2 bits per pixel", with16(14, 2)},
      {"0 bits per pixel", with16(14, 0)},
      {"JPEG compression", with32(2, 16, 4)},
      {"RLE4 on 8 bits", with32(2, 16, kBiRle4)},
      {"bit fields on 8 bits", with32(2, 16, 3)},
      {"colour count past the end", with32(2, 32, 0xFFFFFFFF)},
  };
  for (const Case& c : cases) {
    CDib dib;
    const char* error = nullptr;
    EXPECT_FALSE(dib.LoadPackedDib(c.block, {}, nullptr, nullptr, &error)) << c.name;
    EXPECT_NE(error, nullptr) << c.name;
  }
}

TEST(PackedDib, BitFieldMasksMustBeContiguous) {
  // 2 x 1, 32 bits, masks after the 40-byte header.
  for (auto [masks, ok] : {std::pair{std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}, true},
                           std::pair{std::array<uint32_t, 3>{0xFF0000, 0, 0xFF}, false},
                           std::pair{std::array<uint32_t, 3>{0xF0F000, 0xFF00, 0xFF}, false},
                           std::pair{std::array<uint32_t, 3>{0xFFC00000, 0x3FF000, 0xFFF}, true}}) {
    std::vector<uint8_t> b(40 + 12 + 8);
    PutInfoHeader(b, 2, 1, 32, kBiBitfields);
    for (int i = 0; i < 3; ++i) Put32(b, 40 + 4 * i, masks[i]);
    Put32(b, 52, masks[0] | masks[2]);  // red and blue full, green 0
    CDib dib;
    EXPECT_EQ(dib.LoadPackedDib(b), ok) << std::hex << masks[0] << " " << masks[1];
    if (ok) {
      EXPECT_EQ(dib.GetPixel(0, 0), (Rgb{255, 0, 255}));
    }
  }
}

TEST(PackedDib, OversizedColourCountKeepsWhatTheFormatIndexes) {
  const std::vector<uint8_t> b = SmallDib(300, 300);
  CDib dib;
  ASSERT_TRUE(dib.LoadPackedDib(b));
  EXPECT_EQ(dib.Colors()->count, 256u);
  // Pixels are the bytes after all 300 entries.
  const size_t bits = 40 + 4 * 300;
  const uint32_t first = dib.Colors()->entries[b[bits]];  // bottom-up: stored row 0 is y = 1
  EXPECT_EQ(dib.GetPixel(0, 1), (Rgb{RedOf(first), GreenOf(first), BlueOf(first)}));
}

// A hand-made run-length coded DIB: 40-byte header, 16 grey entries, codes.
std::vector<uint8_t> RunLengthDib(uint8_t bits, int32_t width, int32_t height,
                                  const std::vector<uint8_t>& codes) {
  std::vector<uint8_t> b(40 + 16 * 4);
  PutInfoHeader(b, width, height, bits, bits == 8 ? kBiRle8 : kBiRle4);
  Put32(b, 32, 16);
  for (uint32_t i = 0; i < 16; ++i) Put32(b, 40 + 4 * i, i * 0x111111);
  b.insert(b.end(), codes.begin(), codes.end());
  return b;
}

TEST(PackedDib, RunLengthCodesDecodeToTheirIndices) {
  struct Case {
    const char* name;
    uint8_t bits;
    int32_t width, height;
    std::vector<uint8_t> codes;
    const char* rows;  // top row first, one hex digit per index; null: refused
  } cases[] = {
      {"runs, literal past the width, end of line, delta, end of bitmap",
       8,
       5,
       3,
       {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1},
       "00990 00000 77712"},
      {"no end-of-bitmap mark after the last row", 8, 3, 2, {3, 4, 0, 0, 3, 5, 0, 0}, "555 444"},
      {"end of bitmap leaves the rest at 0", 8, 2, 2, {1, 6, 0, 1}, "00 60"},
      {"a run past the width is cut", 8, 2, 1, {200, 3, 0, 1}, "33"},
      {"RLE4 runs alternate nibbles",
       4,
       5,
       2,
       {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1},
       "34500 12121"},
      {"RLE4 odd literal padded", 4, 5, 1, {0, 5, 0xAB, 0xCD, 0xE0, 0x00, 0, 1}, "abcde"},
      {"codes end early", 8, 3, 2, {3, 4, 0, 0}, nullptr},
      {"literal cut short", 8, 4, 1, {0, 4, 1, 2}, nullptr},
      {"delta cut short", 8, 4, 1, {0, 2, 1}, nullptr},
      {"no codes", 4, 4, 1, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> block = RunLengthDib(c.bits, c.width, c.height, c.codes);
    CDib dib;
    const char* error = nullptr;
    const bool ok = dib.LoadPackedDib(block, {}, nullptr, nullptr, &error);
    ASSERT_EQ(ok, c.rows != nullptr) << (error ? error : "");
    if (!ok) continue;
    EXPECT_EQ(dib.Format(), c.bits == 8 ? kDib8Bit : kDib4Bit);
    std::string got;
    for (int y = 0; y < c.height; ++y) {
      if (y) got += ' ';
      for (int x = 0; x < c.width; ++x) got += "0123456789abcdef"[ReadRawPixel(dib, x, y) & 15];
    }
    EXPECT_EQ(got, c.rows);
  }
  // Run-length rows must run bottom-up.
  std::vector<uint8_t> topDown = RunLengthDib(8, 2, 1, {2, 1, 0, 1});
  Put32(topDown, 8, static_cast<uint32_t>(-1));
  CDib dib;
  EXPECT_FALSE(dib.LoadPackedDib(topDown));
}

// A screen double of a given resolution.
class DpiScreen final : public CScreen {
 public:
  explicit DpiScreen(int32_t dpi) : dpi_(dpi) {}
  int Depth() override { return 32; }
  BlitFormat ProbeBlitFormat(int) override { return {}; }
  CSharedPalette* AppPalette() override { return nullptr; }
  int32_t LogPixels() override { return dpi_; }

 private:
  int32_t dpi_;
};

TEST(PackedDib, BoundsInTwipsFollowTheResolutionOrTheScreen) {
  struct Case {
    int32_t ppm;
    int32_t dpi;
    int32_t twips;  // for 100 pixels
  } cases[] = {
      {0, 96, 1499},     {2835, 96, 1999}, {786, 96, 1499}, {787, 96, 7203},   {56692, 96, 100},
      {56693, 96, 1499}, {-5, 96, 1499},   {0, 72, 1999},   {3780, 120, 1499}, {0, 120, 1200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ppm << " ppm, " << c.dpi << " dpi");
    EXPECT_EQ(TwipsFromPixels(100, c.ppm, c.dpi), c.twips);
    DpiScreen screen(c.dpi);
    SetOffscreenScreen(&screen);
    std::vector<uint8_t> b = SmallDib(2, 2);
    Put32(b, 4, 100);
    Put32(b, 8, 1);
    Put32(b, 24, static_cast<uint32_t>(c.ppm));
    Put32(b, 28, static_cast<uint32_t>(c.ppm));
    b.resize(40 + 8 + 100);
    CImageRef image;
    const bool ok = image.LoadPackedDib(b);
    SetOffscreenScreen(nullptr);
    ASSERT_TRUE(ok);
    EXPECT_EQ(image.bounds, (Rect32{0, c.twips, 0, TwipsFromPixels(1, c.ppm, c.dpi)}));
  }
  EXPECT_EQ(TwipsFromPixels(INT32_MAX, 787, 96), INT32_MAX);
  // A core header has no resolution: the screen's.
  std::vector<uint8_t> core(12 + 6 + 16);
  Put32(core, 0, 12);
  core[4] = 100;
  core[6] = 1;
  core[8] = 1;
  core[10] = 1;
  CImageRef image;
  ASSERT_TRUE(image.LoadPackedDib(core));
  EXPECT_EQ(image.bounds.xmax, 1499);
  EXPECT_EQ(image.bounds.ymax, 14);
}

}  // namespace
