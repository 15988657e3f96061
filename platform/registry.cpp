#include "platform/registry.h"

#include <QSettings>

#include <cstring>

namespace strevana {

namespace {

constexpr char kStringPrefix[] = "sz:";
constexpr char kNumberPrefix[] = "dword:";

// INI keys treat '/' and '\' as group separators; value names here never
// contain them, but a name that did would otherwise land in a sub-group.
QString keyName(const char* name) {
  QString key = QString::fromUtf8(name);
  key.replace(QLatin1Char('/'), QLatin1Char('_'));
  key.replace(QLatin1Char('\\'), QLatin1Char('_'));
  return key;
}

}  // namespace

RegistryKey::RegistryKey(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

RegistryKey::~RegistryKey() {
  if (settings_) settings_->sync();
}

std::unique_ptr<RegistryKey> RegistryKey::open() {
  auto settings =
      std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                  QStringLiteral("Korvello"), QStringLiteral("strevana Player"));
  if (settings->status() == QSettings::AccessError) return nullptr;
  return std::unique_ptr<RegistryKey>(new RegistryKey(std::move(settings)));
}

bool RegistryKey::queryString(const char* name, char* buffer, size_t bufferBytes) const {
  if (name == nullptr || buffer == nullptr || bufferBytes == 0) return false;
  QVariant v = settings_->value(keyName(name));
  if (!v.isValid()) return false;
  QByteArray stored = v.toString().toUtf8();
  if (!stored.startsWith(kStringPrefix)) return false;
  QByteArray text = stored.mid(static_cast<qsizetype>(std::strlen(kStringPrefix)));
  if (static_cast<size_t>(text.size()) + 1 > bufferBytes) return false;
  std::memcpy(buffer, text.constData(), static_cast<size_t>(text.size()));
  buffer[text.size()] = '\0';
  return true;
}

std::optional<std::string> RegistryKey::queryString(const char* name) const {
  char buffer[kStringBufferBytes];
  if (!queryString(name, buffer, sizeof buffer)) return std::nullopt;
  return std::string(buffer);
}

bool RegistryKey::queryNumber(const char* name, uint32_t& value) const {
  if (name == nullptr) return false;
  QVariant v = settings_->value(keyName(name));
  if (!v.isValid()) return false;
  QString stored = v.toString();
  if (!stored.startsWith(QLatin1String(kNumberPrefix))) return false;
  QString digits = stored.mid(static_cast<qsizetype>(std::strlen(kNumberPrefix)));
  if (digits.isEmpty() || digits.size() > 8) return false;
  bool ok = false;
  uint32_t parsed = digits.toUInt(&ok, 16);
  if (!ok) return false;
  value = parsed;
  return true;
}

bool RegistryKey::setString(const char* name, const std::string& text) {
  if (name == nullptr) return false;
  settings_->setValue(keyName(name),
                      QString::fromUtf8(kStringPrefix) + QString::fromStdString(text));
  return settings_->status() == QSettings::NoError;
}

bool RegistryKey::setNumber(const char* name, uint32_t value) {
  if (name == nullptr) return false;
  settings_->setValue(keyName(name), QString::fromLatin1(kNumberPrefix) +
                                         QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')));
  return settings_->status() == QSettings::NoError;
}

bool RegistryKey::deleteValue(const char* name) {
  if (name == nullptr) return false;
  QString key = keyName(name);
  if (!settings_->contains(key)) return false;
  settings_->remove(key);
  return true;
}

}  // namespace strevana
