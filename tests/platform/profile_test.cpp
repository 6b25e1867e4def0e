#include "platform/core/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/qt/settings.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The same contract for the in-memory store and the QSettings one.
template <class T>
class ProfileContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (std::is_same_v<T, CQtProfileSettings>) {
      dir_ = std::make_unique<TempDir>("profile");
      settings_ = std::make_unique<CQtProfileSettings>(dir_->Path("settings.ini"));
    } else {
      settings_ = std::make_unique<T>();
    }
  }
  void TearDown() override {
    settings_.reset();
    dir_.reset();
  }
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<CProfileSettings> settings_;
};

using Implementations = ::testing::Types<CMemoryProfileSettings, CQtProfileSettings>;
TYPED_TEST_SUITE(ProfileContract, Implementations);

TYPED_TEST(ProfileContract, ValuesRoundTripAndMissingOnesReadAsDefaults) {
  CProfileSettings& s = *this->settings_;
  EXPECT_EQ(s.GetProfileInt("Settings", "Undo Levels", 20), 20);
  EXPECT_EQ(s.GetProfileString("Settings", "Window", "none"), "none");
  EXPECT_FALSE(s.GetProfileBinary("Settings", "Blob").has_value());

  EXPECT_TRUE(s.WriteProfileInt("Settings", "Undo Levels", 35));
  EXPECT_TRUE(s.WriteProfileInt("Clipboard", "Bitmap DPI", -0x480000));
  EXPECT_TRUE(s.WriteProfileString("Settings", "Window", "10 20 630 470"));
  EXPECT_TRUE(s.WriteProfileString("Recent File List", "File1", "/home/u/a, b; c.vmd"));
  EXPECT_TRUE(s.WriteProfileString("Settings", "Empty", ""));
  const Bytes blob{0, 1, 0xFF, 0x80, '\n', 0};
  EXPECT_TRUE(s.WriteProfileBinary("Settings", "Blob", blob));

  EXPECT_EQ(s.GetProfileInt("Settings", "Undo Levels", 20), 35);
  EXPECT_EQ(s.GetProfileInt("Clipboard", "Bitmap DPI", 0), -0x480000);
  EXPECT_EQ(s.GetProfileInt("Clipboard", "Undo Levels", 7), 7);  // sections are separate
  EXPECT_EQ(s.GetProfileString("Settings", "Window"), "10 20 630 470");
  EXPECT_EQ(s.GetProfileString("Recent File List", "File1"), "/home/u/a, b; c.vmd");
  EXPECT_EQ(s.GetProfileString("Settings", "Empty", "x"), "");
  EXPECT_EQ(s.GetProfileBinary("Settings", "Blob"), blob);
  EXPECT_EQ(s.GetProfileString("Settings", "Undo Levels"), "35");  // integers read as text

  // A string that does not parse as an integer reads as the default.
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {{"12", 12}, {" -3 ", -3}, {"+4", 4},          {"12abc", 99},
                        {"", 99},   {"abc", 99},  {"99999999999", 99}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    s.WriteProfileString("Settings", "Number", c.text);
    EXPECT_EQ(s.GetProfileInt("Settings", "Number", 99), c.expected);
  }
}

TEST(QtProfileSettings, ValuesPersistInTheFile) {
  TempDir dir("profile");
  std::string path = dir.Path("settings.ini");
  {
    CQtProfileSettings s(path);
    s.WriteProfileInt("Assistant", "Enabled", 1);
    s.WriteProfileString("Settings", "Toolbar settings", "1 0 1 1 ");
    s.WriteProfileBinary("Settings", "Blob", Bytes{9, 8, 7});
    s.WriteProfileString("Recent File List", "File1", "/home/u/a, b; c.vmd");
  }
  CQtProfileSettings s(path);
  EXPECT_EQ(s.GetProfileInt("Assistant", "Enabled", 2), 1);
  EXPECT_EQ(s.GetProfileString("Settings", "Toolbar settings"), "1 0 1 1 ");
  EXPECT_EQ(s.GetProfileBinary("Settings", "Blob"), (Bytes{9, 8, 7}));
  EXPECT_EQ(s.GetProfileString("Recent File List", "File1"), "/home/u/a, b; c.vmd");
}

TEST(QtProfileSettings, DefaultStoreIsTheApplicationsUserSettings) {
  TempDir dir("profile");
  ::setenv("XDG_CONFIG_HOME", dir.Dir().c_str(), 1);
  {
    CQtProfileSettings s;
    s.WriteProfileInt("Settings", "QuickStart", 1);
  }
  EXPECT_TRUE(std::filesystem::exists(dir.Path("Quorrin Software/vmanim.conf")));
}

TEST(ProcessProfile, InstalledStoreServesTheFreeFunctionsUntilReset) {
  ResetProfileSettings();
  WriteProfileInt("Settings", "ToolTips", 0);
  EXPECT_EQ(GetProfileInt("Settings", "ToolTips", 1), 0);

  CMemoryProfileSettings installed;
  EXPECT_EQ(SetProfileSettings(&installed), nullptr);
  EXPECT_EQ(GetProfileInt("Settings", "ToolTips", 1), 1);
  WriteProfileString("Settings", "CmdLine", "vmanim a.vmd");
  EXPECT_EQ(installed.GetProfileString("Settings", "CmdLine"), "vmanim a.vmd");

  ResetProfileSettings();
  EXPECT_EQ(GetProfileInt("Settings", "ToolTips", 1), 1);  // the built-in store was emptied
  EXPECT_EQ(GetProfileString("Settings", "CmdLine"), "");
}

}  // namespace
