// Profile settings kept with QSettings: organisation "Quorrin Software",
// application "vmanim" (sections are groups, entries keys), or an INI file
// of the caller's choosing (tests).
#pragma once

#include <memory>
#include <string>

#include "platform/core/profile.h"

class QSettings;

class CQtProfileSettings : public CProfileSettings {
 public:
  // The user's settings of the application.
  CQtProfileSettings();
  // Settings kept in the INI file at path.
  explicit CQtProfileSettings(const std::string& iniPath);
  ~CQtProfileSettings() override;

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

 private:
  bool Written();

  std::unique_ptr<QSettings> m_settings;
};
