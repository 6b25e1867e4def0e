// The stored image record: exact bytes, round trips of every format, a
// writer failing midway, and damaged records.
#include "render/raster/dib_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

class VectorWriter final : public CDibRecordWriter {
 public:
  // Throws once more than `limit` bytes would have been written.
  explicit VectorWriter(size_t limit = SIZE_MAX) : limit_(limit) {}
  void Write(const void* bytes, size_t count) override {
    if (count > limit_ - bytes_.size()) throw std::runtime_error("disk full");
    const auto* p = static_cast<const uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), p, p + count);
  }
  std::vector<uint8_t> bytes_;

 private:
  size_t limit_;
};

class SpanReader final : public CDibRecordReader {
 public:
  explicit SpanReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  void Read(void* out, size_t count) override {
    if (count > bytes_.size()) throw std::runtime_error("end of record");
    std::memcpy(out, bytes_.data(), count);
    bytes_ = bytes_.subspan(count);
  }
  uint64_t Remaining() const override { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

// An image of the format filled with random bytes (and colours for palette
// formats).
CImageRef RandomImage(uint32_t format, int32_t width, int32_t height, uint32_t colors,
                      uint32_t seed) {
  std::mt19937 rng(seed);
  ColorTable table;
  table.count = colors;
  for (uint32_t i = 0; i < colors; ++i) table.entries[i] = (rng() & 0xFFFFFF) | 0xFF000000u;
  CImageRef image;
  EXPECT_TRUE(image.Create(format, width, height, &table));
  for (size_t i = 0; i < image.SizeBytes(); ++i) image.Bits()[i] = static_cast<uint8_t>(rng());
  image.bounds = {0, width * 15, 0, height * 15};
  return image;
}

std::vector<uint8_t> Bytes(const CDib& dib) {
  return {dib.Bits(), dib.Bits() + dib.SizeBytes()};
}

TEST(DibRecord, GoldenBytes) {
  // 16 bits, 2 x 1: 0x1234 is stored 0x12, 0x34.
  CImageRef image;
  ASSERT_TRUE(image.Create(kDib16Bit, 2, 1, nullptr));
  const uint8_t pixels[] = {0x34, 0x12, 0xCD, 0xAB};
  std::memcpy(image.Bits(), pixels, 4);
  image.bounds = {0, 30, -1, 15};
  VectorWriter out;
  ASSERT_TRUE(WriteDibRecord(image, out));
  const std::vector<uint8_t> want16 = {
      0,    4,    4,    0,    2,  0, 1, 0,  // version, format, stride, width, height
      0,    0,    0,    0,    30, 0, 0, 0,  // xmin, xmax
      0xFF, 0xFF, 0xFF, 0xFF, 15, 0, 0, 0,  // ymin, ymax
      0x12, 0x34, 0xAB, 0xCD};
  EXPECT_EQ(out.bytes_, want16);
  EXPECT_EQ(Bytes(image), std::vector<uint8_t>(pixels, pixels + 4));

  // 1 bit with two colours: components stored times 256 plus 255, 0 as 0.
  ColorTable two;
  two.count = 2;
  two.entries[0] = PackRgb(0, 0x80, 0xFF);
  two.entries[1] = PackRgb(1, 0, 0);
  CImageRef mono;
  ASSERT_TRUE(mono.Create(kDib1Bit, 3, 1, &two));
  mono.Bits()[0] = 0xA0;
  mono.bounds = {0, 45, 0, 15};
  VectorWriter monoOut;
  ASSERT_TRUE(WriteDibRecord(mono, monoOut));
  const std::vector<uint8_t> want1 = {
      0,    0,    4,    0,    3,    0,    1, 0,  0, 0, 0, 0, 45,
      0,    0,    0,    0,    0,    0,    0, 15, 0, 0, 0, 2, 0,  // colour count
      0,    0,    0xFF, 0x80, 0xFF, 0xFF,                        // 0, 0x80, 0xFF
      0xFF, 0x01, 0,    0,    0,    0,                           // 1, 0, 0
      0xA0, 0,    0,    0};
  EXPECT_EQ(monoOut.bytes_, want1);

  // 32 bits: the four bytes reversed.
  CImageRef wide;
  ASSERT_TRUE(wide.Create(kDib32Bit, 1, 1, nullptr));
  const uint8_t bgrx[] = {1, 2, 3, 4};
  std::memcpy(wide.Bits(), bgrx, 4);
  VectorWriter wideOut;
  ASSERT_TRUE(WriteDibRecord(wide, wideOut));
  EXPECT_EQ(std::vector<uint8_t>(wideOut.bytes_.end() - 4, wideOut.bytes_.end()),
            (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST(DibRecord, EveryFormatRoundTrips) {
  struct Case {
    uint32_t format;
    int32_t width, height;
    uint32_t colors;
  } cases[] = {{kDib1Bit, 37, 5, 2},   {kDib2Bit, 9, 4, 4},  {kDib4Bit, 7, 3, 16},
               {kDib8Bit, 13, 6, 200}, {kDib16Bit, 5, 7, 0}, {kDib32Bit, 3, 9, 0},
               {kDib8Bit, 1, 1, 0}};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format);
    const CImageRef image = RandomImage(c.format, c.width, c.height, c.colors, seed++);
    VectorWriter out;
    ASSERT_TRUE(WriteDibRecord(image, out));
    SpanReader in(out.bytes_);
    CImageRef back;
    const char* error = nullptr;
    ASSERT_TRUE(ReadDibRecord(in, back, &error)) << error;
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(back.Format(), c.format);
    EXPECT_EQ(back.Width(), c.width);
    EXPECT_EQ(back.Height(), c.height);
    EXPECT_EQ(back.bounds, image.bounds);
    EXPECT_EQ(Bytes(back), Bytes(image));
    if (c.format <= kDib8Bit) {
      EXPECT_TRUE(ColorTablesEqual(*back.Colors(), *image.Colors()));
    }
  }
}

TEST(DibRecord, AWriteFailingMidwayLeavesTheImageAsItWas) {
  for (uint32_t format : {kDib16Bit, kDib32Bit}) {
    const CImageRef image = RandomImage(format, 11, 6, 0, format);
    const std::vector<uint8_t> before = Bytes(image);
    for (size_t limit : {size_t{0}, size_t{24}, size_t{24 + 44 * 3 + 7}}) {
      VectorWriter out(limit);
      EXPECT_THROW(static_cast<void>(WriteDibRecord(image, out)), std::runtime_error) << limit;
      EXPECT_EQ(Bytes(image), before) << limit;
    }
  }
}

TEST(DibRecord, DamagedRecordsAreRefused) {
  const CImageRef image = RandomImage(kDib8Bit, 5, 3, 4, 9);
  VectorWriter out;
  ASSERT_TRUE(WriteDibRecord(image, out));
  const std::vector<uint8_t> good = out.bytes_;
  auto with = [&](size_t at, uint8_t v) {
    std::vector<uint8_t> b = good;
    b[at] = v;
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"version 1", with(0, 1)},
      {"format 6", with(1, 6)},
      {"width 0", with(4, 0)},
      {"rows past the end", with(6, 200)},
  };
  for (const Case& c : cases) {
    SpanReader in(c.bytes);
    CImageRef back;
    const char* error = nullptr;
    EXPECT_FALSE(ReadDibRecord(in, back, &error)) << c.name;
    EXPECT_NE(error, nullptr) << c.name;
    EXPECT_EQ(back.Bits(), nullptr) << c.name;
  }
  // Every cut short record throws the reader's error or is refused.
  for (size_t n = 0; n < good.size(); ++n) {
    SpanReader in(std::span<const uint8_t>(good).first(n));
    CImageRef back;
    bool ok = true;
    try {
      ok = ReadDibRecord(in, back);
    } catch (const std::runtime_error&) {
      ok = false;
    }
    EXPECT_FALSE(ok) << n;
    EXPECT_EQ(back.Bits(), nullptr) << n;
  }
  // 300 stored colours: all are read, the 256 an 8-bit image indexes kept.
  std::vector<uint8_t> many(good.begin(), good.begin() + 24);
  many.push_back(300 & 0xFF);
  many.push_back(300 >> 8);
  for (int i = 0; i < 300; ++i)
    for (int k = 0; k < 3; ++k) {
      many.push_back(0xFF);
      many.push_back(static_cast<uint8_t>(i + k));
    }
  many.insert(many.end(), good.end() - 24, good.end());
  SpanReader in(many);
  CImageRef back;
  ASSERT_TRUE(ReadDibRecord(in, back));
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_EQ(back.Colors()->count, 256u);
  EXPECT_EQ(back.Colors()->entries[255], PackRgb(255, 0, 1) | 0xFF000000u);
}

}  // namespace
