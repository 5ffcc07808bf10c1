#include "app/SettingsStore.h"

namespace kurvex {

namespace {

QString KeyOf(const std::string& group, const std::string& key) {
    return QString::fromStdString(group) + '/' + QString::fromStdString(key);
}

}  // namespace

SettingsStore::SettingsStore() : settings_(QStringLiteral("QUELLON"), QStringLiteral("Kurvex")) {}

std::optional<std::string> SettingsStore::Read(const std::string& group,
                                               const std::string& key) const {
    const QVariant v = settings_.value(KeyOf(group, key));
    if (!v.isValid() || !v.canConvert<QString>()) return std::nullopt;
    return v.toString().toStdString();
}

void SettingsStore::Write(const std::string& group, const std::string& key,
                          const std::string& value) {
    settings_.setValue(KeyOf(group, key), QString::fromStdString(value));
}

void SettingsStore::Remove(const std::string& group, const std::string& key) {
    settings_.remove(KeyOf(group, key));
}

std::optional<std::string> ConfiguredHelpPath() {
    QSettings ohmix(QStringLiteral("QUELLON"), QStringLiteral("OHMIX"));
    const QVariant v = ohmix.value(QStringLiteral("Advanced Options/HelpPath"));
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString().toStdString();
}

}  // namespace kurvex
