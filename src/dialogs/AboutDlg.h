#pragma once

#include <QDialog>

namespace kurvex {

// "About Kurvex": the icon, the product version, what Kurvex is, its
// licence and Qt's, and where the manual is.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The version line the box shows ("0.1").
    static QString VersionText();
};

}  // namespace kurvex
