#include "platform/core/profile.h"

namespace {

std::pair<std::string, std::string> Key(std::string_view section, std::string_view entry) {
  return {std::string(section), std::string(entry)};
}

}  // namespace

int CMemoryProfileSettings::GetProfileInt(std::string_view section, std::string_view entry,
                                          int defaultValue) {
  auto it = m_values.find(Key(section, entry));
  if (it == m_values.end()) return defaultValue;
  const auto* text = std::get_if<std::string>(&it->second);
  if (text == nullptr) return defaultValue;
  return ParseProfileInt(*text).value_or(defaultValue);
}

bool CMemoryProfileSettings::WriteProfileInt(std::string_view section, std::string_view entry,
                                             int value) {
  m_values[Key(section, entry)] = std::to_string(value);
  return true;
}

std::string CMemoryProfileSettings::GetProfileString(std::string_view section,
                                                     std::string_view entry,
                                                     std::string_view defaultValue) {
  auto it = m_values.find(Key(section, entry));
  if (it != m_values.end()) {
    if (const auto* text = std::get_if<std::string>(&it->second)) return *text;
  }
  return std::string(defaultValue);
}

bool CMemoryProfileSettings::WriteProfileString(std::string_view section, std::string_view entry,
                                                std::string_view value) {
  m_values[Key(section, entry)] = std::string(value);
  return true;
}

std::optional<std::vector<uint8_t>> CMemoryProfileSettings::GetProfileBinary(
    std::string_view section, std::string_view entry) {
  auto it = m_values.find(Key(section, entry));
  if (it == m_values.end()) return std::nullopt;
  if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&it->second)) return *bytes;
  const auto& text = std::get<std::string>(it->second);
  return std::vector<uint8_t>(text.begin(), text.end());
}

bool CMemoryProfileSettings::WriteProfileBinary(std::string_view section, std::string_view entry,
                                                std::span<const uint8_t> value) {
  m_values[Key(section, entry)] = std::vector<uint8_t>(value.begin(), value.end());
  return true;
}

namespace {

CMemoryProfileSettings& BuiltInSettings() {
  static CMemoryProfileSettings settings;
  return settings;
}

CProfileSettings* g_settings = nullptr;

}  // namespace

CProfileSettings* SetProfileSettings(CProfileSettings* settings) {
  CProfileSettings* previous = g_settings;
  g_settings = settings;
  return previous;
}

void ResetProfileSettings() {
  g_settings = nullptr;
  BuiltInSettings().Clear();
}

CProfileSettings& ProfileSettings() {
  return g_settings != nullptr ? *g_settings : BuiltInSettings();
}
