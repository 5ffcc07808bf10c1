#pragma once

#include <QSettings>

#include "graph/StoredOptions.h"

namespace kurvex {

// The per-user settings of the viewer: QSettings("QUELLON", "Kurvex").
class SettingsStore : public OptionStore {
public:
    SettingsStore();
    std::optional<std::string> Read(const std::string& group,
                                    const std::string& key) const override;
    void Write(const std::string& group, const std::string& key, const std::string& value) override;
    void Remove(const std::string& group, const std::string& key) override;
    // The QSettings behind it, for the tool-bar state and the dialogs.
    QSettings& Settings() { return settings_; }

private:
    mutable QSettings settings_;
};

// The help path the simulator configures for its programs, if any.
std::optional<std::string> ConfiguredHelpPath();

}  // namespace kurvex
