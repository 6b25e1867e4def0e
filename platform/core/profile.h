// Profile settings: integer, string and binary values by section and key.
//
// CProfileSettings is the interface every layer reads and writes its
// settings through; the application installs the persistent implementation
// (platform/qt's QSettings one) with SetProfileSettings at start-up. Until
// then, and in tests of other layers, an in-memory store serves.
// A missing value, or a string that does not parse as an integer, reads as
// the default.
#pragma once

#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

class CProfileSettings {
 public:
  virtual ~CProfileSettings() = default;

  virtual int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) = 0;
  virtual bool WriteProfileInt(std::string_view section, std::string_view entry, int value) = 0;
  virtual std::string GetProfileString(std::string_view section, std::string_view entry,
                                       std::string_view defaultValue = {}) = 0;
  virtual bool WriteProfileString(std::string_view section, std::string_view entry,
                                  std::string_view value) = 0;
  // The stored bytes, or nothing when the value is missing.
  virtual std::optional<std::vector<uint8_t>> GetProfileBinary(std::string_view section,
                                                               std::string_view entry) = 0;
  virtual bool WriteProfileBinary(std::string_view section, std::string_view entry,
                                  std::span<const uint8_t> value) = 0;
};

// Parses a whole decimal integer (optional sign, surrounding blanks allowed)
// that fits an int; every implementation reads integers through it so they
// agree. Inline, so implementations in other libraries need only this header.
inline std::optional<int> ParseProfileInt(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Settings held in memory only (tests, and the store before start-up ends).
class CMemoryProfileSettings : public CProfileSettings {
 public:
  int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) override;
  bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view defaultValue = {}) override;
  bool WriteProfileString(std::string_view section, std::string_view entry,
                          std::string_view value) override;
  std::optional<std::vector<uint8_t>> GetProfileBinary(std::string_view section,
                                                       std::string_view entry) override;
  bool WriteProfileBinary(std::string_view section, std::string_view entry,
                          std::span<const uint8_t> value) override;

  void Clear() { m_values.clear(); }

 private:
  using Value = std::variant<std::string, std::vector<uint8_t>>;
  std::map<std::pair<std::string, std::string>, Value, std::less<>> m_values;
};

// The settings of the process. SetProfileSettings returns the previous store
// (null stands for the built-in in-memory one). ResetProfileSettings (the
// test hook) goes back to the built-in store and empties it.
CProfileSettings* SetProfileSettings(CProfileSettings* settings);
void ResetProfileSettings();
CProfileSettings& ProfileSettings();

// The calls in the form the application object offers them.
inline int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) {
  return ProfileSettings().GetProfileInt(section, entry, defaultValue);
}
inline bool WriteProfileInt(std::string_view section, std::string_view entry, int value) {
  return ProfileSettings().WriteProfileInt(section, entry, value);
}
inline std::string GetProfileString(std::string_view section, std::string_view entry,
                                    std::string_view defaultValue = {}) {
  return ProfileSettings().GetProfileString(section, entry, defaultValue);
}
inline bool WriteProfileString(std::string_view section, std::string_view entry,
                               std::string_view value) {
  return ProfileSettings().WriteProfileString(section, entry, value);
}
