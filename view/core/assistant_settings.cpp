#include "view/core/assistant_settings.h"

#include <algorithm>
#include <array>

#include "platform/core/profile.h"

namespace {

constexpr const char* kSection = "Assistant";

constexpr int32_t kConnectA[] = {1, 3, 6, 10};
constexpr int32_t kConnectB[] = {0, 4, 10, 16};
constexpr int32_t kGrid[] = {0, 4, 10, 16, 100};  // 4: "Always Snap"
constexpr PackedTolerance kCurve[] = {0x0080FF00, 0x0100FF00, 0x0300FF00, 0x0600FF00};
constexpr PackedTolerance kLine[] = {0, 0x0400100A, 0x0A002010, 0x0F004020};
constexpr PackedTolerance kShape[] = {0, 0x0800200A, 0x14004010, 0x1E004020};
constexpr std::array<int32_t, 3> kTap[] = {{1, 2, 4}, {1, 2, 4}, {2, 4, 7}, {4, 8, 10}};

// The highest level each key may hold: the last entry of its table.
struct Key {
  const char* name;
  int top;
};
constexpr Key kLevelKeys[5] = {
    {"Connect", 3}, {"Grid", 4}, {"Curve", 3}, {"Line", 3}, {"Shape", 3}};
constexpr Key kTapKey{"Tap", 3};
constexpr Key kEnabledKey{"Enabled", 4};

uint8_t ReadLevel(const Key& key) {
  return static_cast<uint8_t>(std::clamp(GetProfileInt(kSection, key.name, 2), 0, key.top));
}

template <class T, std::size_t N>
const T& Entry(const T (&table)[N], uint8_t level) {
  return table[std::min<std::size_t>(level, N - 1)];
}

CAssistantSettings g_settings;

}  // namespace

CAssistantSettings::CAssistantSettings() {
  UpdateAssistantTolerances(*this);
}

void CAssistantSettings::Load() {
  for (int i = 0; i < 5; ++i) levels[i] = ReadLevel(kLevelKeys[i]);
  tap = ReadLevel(kTapKey);
  enabled = ReadLevel(kEnabledKey) != 0 ? 1 : 0;
  UpdateAssistantTolerances(*this);
}

void CAssistantSettings::Save() const {
  for (int i = 0; i < 5; ++i) WriteProfileInt(kSection, kLevelKeys[i].name, levels[i]);
  WriteProfileInt(kSection, kTapKey.name, tap);
  WriteProfileInt(kSection, kEnabledKey.name, enabled);
}

void UpdateAssistantTolerances(CAssistantSettings& s) {
  s.connect_tolerance_a = Entry(kConnectA, s.levels[kAssistantConnect]);
  s.connect_tolerance_b = Entry(kConnectB, s.levels[kAssistantConnect]);
  s.angle_snap_arc = 10;
  s.second_constant = 5;
  s.grid_tolerance = Entry(kGrid, s.levels[kAssistantGrid]);
  s.curve_tolerance = Entry(kCurve, s.levels[kAssistantCurve]);
  s.line_tolerance = Entry(kLine, s.levels[kAssistantLine]);
  s.shape_tolerance = Entry(kShape, s.levels[kAssistantShape]);
  const std::array<int32_t, 3>& tap = Entry(kTap, s.tap);
  std::copy(tap.begin(), tap.end(), s.tap_tolerances);
}

CAssistantSettings& AssistantSettings() {
  return g_settings;
}

void ResetAssistantSettings() {
  g_settings = CAssistantSettings();
}
