#include "platform/qt/settings.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace {

QString Key(std::string_view section, std::string_view entry) {
  return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + u'/' +
         QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
}

QString ToQString(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CQtProfileSettings::CQtProfileSettings()
    : m_settings(std::make_unique<QSettings>(QStringLiteral("Quorrin Software"),
                                             QStringLiteral("vmanim"))) {}

CQtProfileSettings::CQtProfileSettings(const std::string& iniPath)
    : m_settings(
          std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

CQtProfileSettings::~CQtProfileSettings() = default;

bool CQtProfileSettings::Written() {
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
}

int CQtProfileSettings::GetProfileInt(std::string_view section, std::string_view entry,
                                      int defaultValue) {
  QVariant v = m_settings->value(Key(section, entry));
  if (!v.isValid() || v.typeId() == QMetaType::QByteArray) return defaultValue;
  // Values read from the file are text; values written in this run may still be ints.
  QByteArray text = v.toString().toUtf8();
  return ParseProfileInt(std::string_view(text.constData(), static_cast<size_t>(text.size())))
      .value_or(defaultValue);
}

bool CQtProfileSettings::WriteProfileInt(std::string_view section, std::string_view entry,
                                         int value) {
  m_settings->setValue(Key(section, entry), value);
  return Written();
}

std::string CQtProfileSettings::GetProfileString(std::string_view section, std::string_view entry,
                                                 std::string_view defaultValue) {
  QVariant v = m_settings->value(Key(section, entry));
  if (!v.isValid() || v.typeId() == QMetaType::QByteArray) return std::string(defaultValue);
  return v.toString().toStdString();
}

bool CQtProfileSettings::WriteProfileString(std::string_view section, std::string_view entry,
                                            std::string_view value) {
  m_settings->setValue(Key(section, entry), ToQString(value));
  return Written();
}

std::optional<std::vector<uint8_t>> CQtProfileSettings::GetProfileBinary(std::string_view section,
                                                                         std::string_view entry) {
  QVariant v = m_settings->value(Key(section, entry));
  if (!v.isValid()) return std::nullopt;
  QByteArray bytes = v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool CQtProfileSettings::WriteProfileBinary(std::string_view section, std::string_view entry,
                                            std::span<const uint8_t> value) {
  m_settings->setValue(Key(section, entry), QByteArray(reinterpret_cast<const char*>(value.data()),
                                                       static_cast<qsizetype>(value.size())));
  return Written();
}
