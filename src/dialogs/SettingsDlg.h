#pragma once

#include <QDialog>

#include "graph/AppOptions.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QSettings;

namespace kurvex {

// "Settings": whether a requested reload redraws X, whether complex results
// read with their phase unwrapped, what a right click on a screen does, and
// which results go through the column cache, its size, and clearing it.
// Shows what the settings store holds; OK sets the options and writes them
// at once; Cancel changes nothing.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CSettingsDlg(AppOptions& options, QSettings& store, QWidget* parent = nullptr);

    void accept() override;

private slots:
    void ClearCacheNow();

private:
    AppOptions& options_;
    QSettings& store_;
    std::int32_t storedAction_;
    QCheckBox* redraw_;
    QCheckBox* unwrap_;
    QRadioButton* actions_[3];
    QSpinBox* cacheAbove_;
    QSpinBox* cacheLimit_;
    QLabel* cacheStatus_;
};

}  // namespace kurvex
