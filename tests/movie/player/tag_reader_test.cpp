// The tag reader at the end of its data: every read that fits exactly leaves
// it at the end with no overrun; one byte less and the same read overruns
// without passing the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "movie/player/tag_reader.h"

namespace {

struct Case {
  const char* name;
  std::vector<uint8_t> data;  // exactly what the read takes
  std::function<int64_t(CTagReader&)> read;
  int64_t want;  // the value read when it fits
};

int64_t RectSum(CTagReader& in) {
  Rect32 r;
  in.GetRect(r);
  return r.xmin * 1000 + r.xmax * 100 + r.ymin * 10 + r.ymax;
}

int64_t MatrixSum(CTagReader& in) {
  Matrix2x3 m;
  in.ReadMatrix(m);
  return int64_t{m.a} * 100000 + m.b * 10000 + m.c * 1000 + m.d * 100 + m.tx * 10 + m.ty;
}

TEST(TagReader, ExactlyAtTheEndAndOneBytePast) {
  const std::vector<uint8_t> bytes = {0x12, 0x34, 0x56, 0x78};
  auto first = [&](size_t n) { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + n); };
  const Case cases[] = {
      {"byte", first(1), [](CTagReader& in) { return int64_t{in.GetByte()}; }, 0x12},
      {"word", first(2), [](CTagReader& in) { return int64_t{in.GetWord()}; }, 0x3412},
      {"double word", first(4), [](CTagReader& in) { return int64_t{in.GetDWord()}; }, 0x78563412},
      {"packed colour", first(3), [](CTagReader& in) { return int64_t{in.GetPackedColor()}; },
       0xFF563412},
      {"12 bits", first(2), [](CTagReader& in) { return int64_t{in.GetBits(12)}; }, 0x123},
      {"signed 32 bits", first(4), [](CTagReader& in) { return int64_t{in.GetSBits(32)}; },
       0x12345678},
      {"block", first(4),
       [](CTagReader& in) {
         uint8_t out[4];
         return int64_t{in.GetBlock(out, 4)} * 1000 + out[3];
       },
       4000 + 0x78},
      {"skip", first(3),
       [](CTagReader& in) {
         in.Skip(3);
         return int64_t{in.pos};
       },
       3},
      // Width 3, then 1, 2, 3 and -4 in three bits each: 17 bits.
      {"rectangle", {0x19, 0x4E, 0x00}, RectSum, 1000 + 200 + 30 - 4},
      // Scale of width 2 (1, -1), no rotation, translation of width 3 (1, -1):
      // 22 bits.
      {"matrix", {0x89, 0xC3, 0x3C}, MatrixSum, 100000 - 100 + 10 - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t n = static_cast<uint32_t>(c.data.size());
    CTagReader exact(c.data.data(), 0, n);
    EXPECT_EQ(c.read(exact), c.want);
    EXPECT_FALSE(exact.overrun);
    EXPECT_TRUE(exact.AtEnd());
    EXPECT_EQ(exact.pos, n);

    CTagReader shorter(c.data.data(), 0, n - 1);
    c.read(shorter);
    EXPECT_TRUE(shorter.overrun);
    EXPECT_LE(shorter.pos, n - 1);
    // Sticky: a further read overruns as well and yields 0.
    EXPECT_EQ(shorter.GetByte(), 0);
    EXPECT_TRUE(shorter.overrun);
  }
}

}  // namespace
