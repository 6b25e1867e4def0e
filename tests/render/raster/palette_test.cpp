#include "render/raster/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>

namespace {

ColorTable Table(std::initializer_list<uint32_t> entries) {
  ColorTable t;
  for (uint32_t c : entries) t.entries[t.count++] = c;
  return t;
}

// Distance of a colour cell to a colour, as the map measures it.
int CellDistance(int cell, uint32_t c) {
  auto value = [](int nibble) { return nibble == 15 ? 255 : nibble * 16; };
  const int d = std::abs(value(cell >> 8) - RedOf(c)) +
                std::abs(value(cell >> 4 & 15) - GreenOf(c)) +
                std::abs(value(cell & 15) - BlueOf(c));
  return std::min(d, 254);
}

TEST(InverseColorMap, AgreesWithABruteForceNearestColourSearch) {
  std::mt19937 rng(99);
  auto random = [&](uint32_t n) {
    ColorTable t;
    t.count = n;
    for (uint32_t i = 0; i < n; ++i) t.entries[i] = rng() & 0xFFFFFF;
    return t;
  };
  ColorTable cube;
  BuildColorCube(cube);
  ColorTable greys;
  greys.count = 16;
  for (uint32_t i = 0; i < 16; ++i) greys.entries[i] = PackRgb(i * 17, i * 17, i * 17);
  struct Case {
    const char* name;
    ColorTable table;
    bool exact;  // dense enough that every cell is settled at the smallest radius
  } cases[] = {
      {"colour cube", cube, true},
      {"black and white", Table({0, 0xFFFFFF}), true},
      {"one colour", Table({PackRgb(100, 150, 200)}), true},
      {"sixteen greys", greys, false},
      {"3 random", random(3), false},
      {"20 random", random(20), false},
      {"256 random", random(256), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InverseColorMap map;
    BuildInverseColorMap(c.table, map);
    for (int cell = 0; cell < 4096; ++cell) {
      int best = 255;
      for (uint32_t j = 0; j < c.table.count; ++j)
        best = std::min(best, CellDistance(cell, c.table.entries[j]));
      ASSERT_LT(map[cell], c.table.count) << "cell " << cell;
      const int got = CellDistance(cell, c.table.entries[map[cell]]);
      // Every entry is searched within 3 cells, and an entry farther away is
      // more than 48 off, so up to 48 the map must find the true nearest.
      // Farther cells may settle for a near colour that is not the nearest
      // (on the sixteen greys, by up to 62).
      if (got <= 48 || c.exact) {
        ASSERT_EQ(got, best) << "cell 0x" << std::hex << cell;
      }
    }
  }
}

TEST(InverseColorMap, TiesGoToTheEntryFirstInTheTable) {
  // Cell red nibble 1 (value 16) lies 16 from red 0 and from red 32.
  for (auto [first, second] : {std::pair{PackRgb(0, 0, 0), PackRgb(32, 0, 0)},
                               std::pair{PackRgb(32, 0, 0), PackRgb(0, 0, 0)}}) {
    InverseColorMap map;
    BuildInverseColorMap(Table({first, second}), map);
    EXPECT_EQ(map[InverseMapCell(16, 0, 0)], 0);
  }
}

TEST(ColorTables, EqualityLooksAtCountAndCountedEntriesOnly) {
  ColorTable a = Table({1, 2, 3});
  ColorTable b = a;
  b.entries[5] = 77;  // past the count
  EXPECT_TRUE(ColorTablesEqual(a, b));
  b.entries[2] = 4;
  EXPECT_FALSE(ColorTablesEqual(a, b));
  EXPECT_FALSE(ColorTablesEqual(a, Table({1, 2})));
}

TEST(ColorTables, LogPaletteEntriesLoseTheirFlagsAndStopAt256) {
  std::vector<PaletteEntry> entries(300, PaletteEntry{1, 2, 3, kPaletteNoCollapse});
  entries[0] = {10, 20, 30, 0xFF};
  ColorTable t;
  CopyLogPaletteEntries(entries.data(), 300, t);
  EXPECT_EQ(t.count, 256u);
  EXPECT_EQ(t.entries[0], 0x1E140Au);
  EXPECT_EQ(t.entries[255], 0x030201u);
}

TEST(ColorTables, ColourCubeVariesRedFastest) {
  ColorTable cube;
  BuildColorCube(cube);
  EXPECT_EQ(cube.count, 216u);
  EXPECT_EQ(cube.entries[0], PackRgb(0, 0, 0));
  EXPECT_EQ(cube.entries[1], PackRgb(51, 0, 0));
  EXPECT_EQ(cube.entries[6], PackRgb(0, 51, 0));
  EXPECT_EQ(cube.entries[36], PackRgb(0, 0, 51));
  EXPECT_EQ(cube.entries[215], PackRgb(255, 255, 255));
}

class SharedPaletteTest : public testing::Test {
 protected:
  void SetUp() override { live_ = CSharedPalette::LiveCount(); }
  void TearDown() override { EXPECT_EQ(CSharedPalette::LiveCount(), live_) << "records leaked"; }
  int live_ = 0;
};

TEST_F(SharedPaletteTest, EqualTablesShareOneRecordUntilTheLastRelease) {
  const ColorTable t = Table({PackRgb(1, 2, 3), PackRgb(200, 100, 0)});
  CSharedPalette* a = CSharedPalette::Acquire(t);
  CSharedPalette* b = CSharedPalette::Acquire(t);
  CSharedPalette* other = CSharedPalette::Acquire(Table({PackRgb(1, 2, 3)}));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, other);
  EXPECT_EQ(a->refCount, 2);
  EXPECT_EQ(CSharedPalette::ListHead(), other);  // newest first
  EXPECT_EQ(CSharedPalette::LiveCount(), live_ + 2);
  EXPECT_EQ(a->logPalette.version, 0x300);
  ASSERT_EQ(a->logPalette.entries.size(), 2u);
  EXPECT_EQ(a->logPalette.entries[1], (PaletteEntry{200, 100, 0, kPaletteNoCollapse}));
  EXPECT_EQ(a->inverseMap[InverseMapCell(255, 90, 0)], 1);

  CSharedPalette::Release(a);
  EXPECT_EQ(CSharedPalette::LiveCount(), live_ + 2);
  CSharedPalette::Release(b);
  EXPECT_EQ(CSharedPalette::LiveCount(), live_ + 1);  // freed once, at the last release
  EXPECT_EQ(CSharedPalette::ListHead(), other);
  EXPECT_EQ(other->next, nullptr);
  CSharedPalette::Release(other);
  CSharedPalette::Release(nullptr);
  EXPECT_EQ(CSharedPalette::ListHead(), nullptr);
}

TEST_F(SharedPaletteTest, RecordsMadeDirectlyStayOffTheList) {
  LogPalette log;
  log.entries = {{10, 20, 30, kPaletteNoCollapse}, {0, 0, 0, 0}};
  CSharedPalette* fromLog = CSharedPalette::CreateFromLogPalette(log);
  CSharedPalette* fromTable = CSharedPalette::Create(Table({PackRgb(10, 20, 30), 0}));
  ASSERT_NE(fromLog, nullptr);
  ASSERT_NE(fromTable, nullptr);
  EXPECT_TRUE(ColorTablesEqual(fromLog->table, fromTable->table));
  EXPECT_EQ(fromLog->logPalette.entries, log.entries);  // kept as given
  EXPECT_EQ(CSharedPalette::ListHead(), nullptr);
  // Acquiring the same colours makes a listed record of its own.
  CSharedPalette* listed = CSharedPalette::Acquire(fromTable->table);
  EXPECT_NE(listed, fromTable);
  CSharedPalette::Release(listed);
  CSharedPalette::Release(fromLog);
  CSharedPalette::Release(fromTable);
}

std::vector<PaletteEntry> FakeSystemPalette() {
  std::vector<PaletteEntry> system(256);
  for (int i = 0; i < 256; ++i)
    system[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0x03};
  return system;
}

TEST(AppPalette, TrueColourScreensHaveNone) {
  for (auto [bits, planes] :
       {std::pair{32, 1}, std::pair{24, 1}, std::pair{16, 1}, std::pair{8, 2}}) {
    ScreenPaletteInfo screen{bits, planes, true, 20, FakeSystemPalette()};
    EXPECT_EQ(PlanAppPalette(screen).kind, AppPaletteKind::kNone) << bits << "x" << planes;
  }
}

TEST(AppPalette, SmallScreensWithoutPaletteShareTheSystemColours) {
  std::vector<PaletteEntry> system = FakeSystemPalette();
  system.resize(16);
  const AppPalettePlan plan = PlanAppPalette({4, 1, false, 0, system});
  ASSERT_EQ(plan.kind, AppPaletteKind::kSystem);
  EXPECT_EQ(plan.system_table.count, 16u);
  EXPECT_EQ(plan.system_table.entries[3], PackRgb(3, 252, 7));
}

TEST(AppPalette, PaletteScreensGetTheCubeAndGreysBetweenTheSystemColours) {
  const std::vector<PaletteEntry> system = FakeSystemPalette();
  const AppPalettePlan plan = PlanAppPalette({8, 1, true, 20, system});
  ASSERT_EQ(plan.kind, AppPaletteKind::kIdentity);
  const auto& e = plan.log_palette.entries;
  ASSERT_EQ(e.size(), 256u);
  EXPECT_EQ(plan.log_palette.version, 0x300);
  for (int i : {0, 9, 246, 255})
    EXPECT_EQ(e[i], (PaletteEntry{system[i].red, system[i].green, 7, 0}));
  // Filled from both ends: the first cube colour in front, its mirror at the back.
  EXPECT_EQ(e[10], (PaletteEntry{51, 0, 0, kPaletteNoCollapse}));
  EXPECT_EQ(e[245], (PaletteEntry{204, 255, 255, kPaletteNoCollapse}));
  std::multiset<uint32_t> free;
  for (int i = 10; i < 246; ++i) {
    EXPECT_EQ(e[i].flags, kPaletteNoCollapse) << i;
    free.insert(PackRgb(e[i].red, e[i].green, e[i].blue));
  }
  ColorTable cube;
  BuildColorCube(cube);
  for (uint32_t i = 1; i < 215; ++i) EXPECT_EQ(free.count(cube.entries[i]), 1u) << i;
  EXPECT_EQ(free.count(0), 0u);
  EXPECT_EQ(free.count(0xFFFFFF), 0u);
  // 236 free slots: 214 cube colours, 7 grey pairs, then 4 pairs of 32 and 208.
  for (uint32_t g = 16; g <= 112; g += 16) {
    if (g == 32) continue;  // counted below with the slots left over
    EXPECT_EQ(free.count(PackRgb(g, g, g)), 1u) << g;
    EXPECT_EQ(free.count(PackRgb(240 - g, 240 - g, 240 - g)), 1u) << g;
  }
  EXPECT_EQ(free.count(PackRgb(32, 32, 32)), 5u);
  EXPECT_EQ(free.count(PackRgb(208, 208, 208)), 5u);
  EXPECT_EQ(e[127], (PaletteEntry{32, 32, 32, kPaletteNoCollapse}));
  EXPECT_EQ(e[128], (PaletteEntry{208, 208, 208, kPaletteNoCollapse}));
}

TEST(AppPalette, ManyReservedColoursLeaveNoSlotTwice) {
  // Fewer free slots than the cube needs: it fills them, half from each end.
  const LogPalette log = BuildIdentityPalette(FakeSystemPalette(), 57);
  ASSERT_EQ(log.entries.size(), 256u);
  for (int i = 0; i < 28; ++i) EXPECT_EQ(log.entries[i].flags, 0) << i;
  for (int i = 28; i < 228; ++i) EXPECT_EQ(log.entries[i].flags, kPaletteNoCollapse) << i;
  for (int i = 228; i < 256; ++i) EXPECT_EQ(log.entries[i].flags, 0) << i;
}

}  // namespace
