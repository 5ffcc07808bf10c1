#pragma once

#include <QDialog>

#include "graph/AppOptions.h"

class QCheckBox;
class QRadioButton;
class QSettings;

namespace kurvex {

// "Settings": whether a requested reload redraws X, whether complex results
// read with their phase unwrapped, and what a right click on a screen does.
// Shows what the settings store holds; OK sets the options and writes them
// at once; Cancel changes nothing.
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
    QCheckBox* unwrap_;
    QRadioButton* actions_[3];
};

}  // namespace kurvex
