#pragma once

#include <QDialog>

#include "graph/AppOptions.h"

class QCheckBox;
class QRadioButton;
class QSettings;

namespace kurvex {

// "Settings": whether a requested reload redraws X, and what a right click
// on a screen does. Shows what the settings store holds; OK sets both
// options and writes both at once; Cancel changes nothing.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CSettingsDlg(AppOptions& options, QSettings& store, QWidget* parent = nullptr);

    void accept() override;

private:
    AppOptions& options_;
    QSettings& store_;
    std::int32_t storedAction_;
    QCheckBox* redraw_;
    QRadioButton* actions_[3];
};

}  // namespace kurvex
