#include "render/raster/blit_probe.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// A screen that takes a scripted time for each trial and records what it got.
class FakeTarget : public CBlitProbeTarget {
 public:
  struct Seen {
    uint32_t format;
    uint32_t bottom_up;
    friend bool operator==(const Seen&, const Seen&) = default;
  };

  bool BlitTest(std::span<const uint8_t> info, std::span<const uint8_t> pixels) override {
    auto u32 = [&](size_t at) {
      return uint32_t{info[at]} | info[at + 1] << 8 | info[at + 2] << 16 |
             uint32_t{info[at + 3]} << 24;
    };
    EXPECT_EQ(u32(0), 40u);
    EXPECT_EQ(u32(4), 200u);
    const auto height = static_cast<int32_t>(u32(8));
    EXPECT_TRUE(height == 200 || height == -200);
    const uint32_t bitCount = info[14], compression = u32(16);
    EXPECT_EQ(pixels.size(), 160000u);
    uint32_t format = 0;
    switch (bitCount) {
      case 1:
        format = 0;
        break;
      case 2:
        format = 1;
        break;
      case 4:
        format = 2;
        break;
      case 8:
        format = 3;
        break;
      case 16:
        format = compression == 3 ? 5 : 4;
        break;
      case 24:
        format = 6;
        break;
      default:
        format = 7;
        break;
    }
    if (format == 5) {
      EXPECT_EQ(info.size(), 52u);
      EXPECT_EQ(u32(40), 0xF800u);
      EXPECT_EQ(u32(44), 0x07E0u);
      EXPECT_EQ(u32(48), 0x001Fu);
    } else if (format <= 3) {
      // Black at even indexes, white at odd ones.
      EXPECT_EQ(info.size(), 40u + 4 * (1u << bitCount));
      for (uint32_t i = 0; i < 1u << bitCount; ++i)
        EXPECT_EQ(u32(40 + 4 * i), i % 2 ? 0xFFFFFFu : 0u) << i;
    } else {
      EXPECT_EQ(info.size(), 40u);
    }
    // Descending 16-bit values from 79999 (kept to 16 bits) down to 0.
    EXPECT_EQ(pixels[0] | pixels[1] << 8, 79999 & 0xFFFF);
    EXPECT_EQ(pixels[2] | pixels[3] << 8, 79998 & 0xFFFF);
    EXPECT_EQ(pixels[159998] | pixels[159999] << 8, 0);
    seen.push_back({format, height > 0 ? 1u : 0u});
    const size_t n = seen.size() - 1;
    clock += n < times.size() ? times[n] : 0x7FFF;
    return !failing.count(n);
  }
  void Flush() override { ++flushes; }
  int64_t Now() override { return clock; }

  std::vector<int64_t> times;  // elapsed time of trial i (negative: the clock runs back)
  std::map<size_t, bool> failing;
  std::vector<Seen> seen;
  int64_t clock = 1000000;
  int flushes = 0;
};

using Seen = FakeTarget::Seen;

TEST(BlitProbe, TrialsFollowTheScreenDepth) {
  struct Case {
    int depth;
    std::vector<int64_t> times;
    std::vector<Seen> trials;
  } cases[] = {
      {16, {10, 10, 10, 10, 10, 10}, {{4, 1}, {4, 1}, {4, 0}, {5, 1}, {5, 0}, {5, 0}}},
      // Every 16-bit trial slower than 0x7000 adds a 24-bit one.
      {16,
       {0x7001, 0x7001, 0x7002, 0x7003, 0x7004, 0x100, 0x50},
       {{4, 1}, {4, 1}, {4, 0}, {5, 1}, {5, 0}, {6, 1}, {5, 0}}},
      {24, {}, {{6, 1}, {6, 1}, {6, 0}, {7, 1}, {7, 0}}},
      {32, {}, {{7, 1}, {7, 1}, {7, 0}}},
      {8, {}, {{3, 1}, {3, 1}, {3, 0}}},
      {15, {}, {{3, 1}, {3, 1}, {3, 0}}},
      {1, {}, {{0, 1}, {0, 1}, {0, 0}}},
      {2, {}, {{1, 1}, {1, 1}, {1, 0}}},
      {4, {}, {{2, 1}, {2, 1}, {2, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.depth);
    FakeTarget target;
    target.times = c.times;
    RunBlitProbe(c.depth, target);
    EXPECT_EQ(target.seen, c.trials);
    EXPECT_EQ(target.flushes, 2 * static_cast<int>(c.trials.size()));
  }
}

TEST(BlitProbe, TheFastestSuccessfulTrialWins) {
  struct Case {
    const char* name;
    int depth;
    std::vector<int64_t> times;
    std::map<size_t, bool> failing;
    BlitFormat want;
  } cases[] = {
      {"fastest", 24, {50, 40, 30, 20, 25}, {}, {7, 1}},
      {"first of equal times", 24, {50, 20, 30, 20, 20}, {}, {6, 1}},
      {"a failed blit never wins", 24, {50, 40, 1, 45, 60}, {{2, true}}, {6, 1}},
      {"clock running back counts its size", 24, {50, 40, -5, 45, 60}, {}, {6, 0}},
      {"16 bits: 5-6-5 top-down", 16, {90, 80, 70, 60, 50, 55}, {}, {5, 0}},
      {"16 bits: the late 24-bit trial",
       16,
       {0x7100, 0x7100, 0x7100, 0x7100, 0x7100, 0x7050, 0x7060},
       {},
       {6, 1}},
      {"nothing beats the start time", 32, {0x7FF0, 0x7FF0, 0x9000}, {}, {7, 1}},
      {"every blit fails",
       24,
       {1, 1, 1, 1, 1},
       {{0, true}, {1, true}, {2, true}, {3, true}, {4, true}},
       {6, 1}},
  };
  for (const Case& c : cases) {
    FakeTarget target;
    target.times = c.times;
    target.failing = c.failing;
    EXPECT_EQ(RunBlitProbe(c.depth, target), c.want) << c.name;
  }
}

}  // namespace
