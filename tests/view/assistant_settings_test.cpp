#include "view/core/assistant_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/core/profile.h"
#include "platform/qt/settings.h"
#include "tests/common/temp_dir.h"

namespace {

struct Expected {
  uint8_t levels[5];
  uint8_t tap;
  uint8_t enabled;
  int32_t connect_a, connect_b, grid;
  PackedTolerance curve, line, shape;
  int32_t tap_values[3];
};

void ExpectSettings(const CAssistantSettings& s, const Expected& e) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.levels[i], e.levels[i]) << "level " << i;
  EXPECT_EQ(s.tap, e.tap);
  EXPECT_EQ(s.enabled, e.enabled);
  EXPECT_EQ(s.connect_tolerance_a, e.connect_a);
  EXPECT_EQ(s.connect_tolerance_b, e.connect_b);
  EXPECT_EQ(s.angle_snap_arc, 10);
  EXPECT_EQ(s.second_constant, 5);
  EXPECT_EQ(s.grid_tolerance, e.grid);
  EXPECT_EQ(s.curve_tolerance, e.curve);
  EXPECT_EQ(s.line_tolerance, e.line);
  EXPECT_EQ(s.shape_tolerance, e.shape);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s.tap_tolerances[i], e.tap_values[i]) << "tap " << i;
}

const Expected kDefaults{{2, 2, 2, 2, 2}, 2,          1,          6,        10, 10,
                         0x0300FF00,      0x0A002010, 0x14004010, {2, 4, 7}};

// Installs a QSettings store on an INI file in a fresh directory.
class AssistantSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("settings.ini");
    Open();
  }
  void TearDown() override {
    SetProfileSettings(nullptr);
    store_.reset();
    ResetProfileSettings();
  }
  // (Re)opens the store, so values come from the file.
  void Open() {
    SetProfileSettings(nullptr);
    store_.reset();
    store_ = std::make_unique<CQtProfileSettings>(path_);
    SetProfileSettings(store_.get());
  }
  void WriteFile(const std::string& text) {
    SetProfileSettings(nullptr);
    store_.reset();
    std::ofstream(path_) << text;
    Open();
  }
  std::string ReadFile() const {
    std::ifstream in(path_);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  TempDir dir_{"assistant"};
  std::string path_;
  std::unique_ptr<CQtProfileSettings> store_;
};

TEST_F(AssistantSettingsFile, MissingKeysLoadAsLevelTwoAndEnabled) {
  CAssistantSettings s;
  s.levels[kAssistantGrid] = 0;
  s.enabled = 0;
  s.Load();
  ExpectSettings(s, kDefaults);
  // A file holding only some keys: the others still default.
  WriteFile("[Assistant]\nGrid=0\n");
  s.Load();
  Expected e = kDefaults;
  e.levels[kAssistantGrid] = 0;
  e.grid = 0;
  ExpectSettings(s, e);
}

TEST_F(AssistantSettingsFile, SavedLevelsLoadBackFromTheFile) {
  CAssistantSettings saved;
  saved.levels[kAssistantConnect] = 0;
  saved.levels[kAssistantGrid] = 4;
  saved.levels[kAssistantCurve] = 1;
  saved.levels[kAssistantLine] = 3;
  saved.levels[kAssistantShape] = 1;
  saved.tap = 3;
  saved.enabled = 0;
  saved.Save();
  Open();
  const std::string text = ReadFile();
  EXPECT_NE(text.find("[Assistant]"), std::string::npos) << text;
  EXPECT_NE(text.find("Grid=4"), std::string::npos) << text;
  EXPECT_NE(text.find("Enabled=0"), std::string::npos) << text;

  CAssistantSettings loaded;
  loaded.Load();
  ExpectSettings(
      loaded, {{0, 4, 1, 3, 1}, 3, 0, 1, 0, 100, 0x0100FF00, 0x0F004020, 0x0800200A, {4, 8, 10}});
}

TEST_F(AssistantSettingsFile, OutOfRangeLevelsClampToTheirOwnTables) {
  // Only "Grid" has a fifth entry: a stored 4 elsewhere reads as 3.
  WriteFile("[Assistant]\nConnect=4\nGrid=9\nCurve=-3\nLine=4\nShape=7\nTap=4\nEnabled=-1\n");
  CAssistantSettings s;
  s.Load();
  ExpectSettings(
      s, {{3, 4, 0, 3, 3}, 3, 0, 10, 16, 100, 0x0080FF00, 0x0F004020, 0x1E004020, {4, 8, 10}});
  // Any stored non-zero "Enabled" turns the assistant on; text that is no
  // number reads as the default.
  WriteFile("[Assistant]\nEnabled=9\nGrid=x\nTap=-5\n");
  s.Load();
  Expected e = kDefaults;
  e.tap = 0;
  e.tap_values[0] = 1;
  e.tap_values[1] = 2;
  e.tap_values[2] = 4;
  ExpectSettings(s, e);
}

TEST(AssistantSettings, LevelsBeyondATableTakeItsLastEntry) {
  // Levels set directly (by a command) are bounded too.
  CAssistantSettings s;
  for (uint8_t& level : s.levels) level = 200;
  s.tap = 4;
  UpdateAssistantTolerances(s);
  ExpectSettings(s, {{200, 200, 200, 200, 200},
                     4,
                     1,
                     10,
                     16,
                     100,
                     0x0600FF00,
                     0x0F004020,
                     0x1E004020,
                     {4, 8, 10}});
}

TEST(AssistantSettings, ProcessWideSettingsResetToTheDefaults) {
  AssistantSettings().levels[kAssistantShape] = 0;
  UpdateAssistantTolerances(AssistantSettings());
  EXPECT_EQ(AssistantSettings().shape_tolerance, 0u);
  ResetAssistantSettings();
  ExpectSettings(AssistantSettings(), kDefaults);
}

}  // namespace
