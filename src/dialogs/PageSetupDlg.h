#pragma once

#include <QDialog>
#include <QSizeF>
#include <array>
#include <string>

#include "graph/PageGeometry.h"

class QCheckBox;
class QLineEdit;
class QSettings;

namespace kurvex {

struct AppOptions;

// "Print Page Setup": the four margins of the printed graph in inches and
// the document's print title. OK checks the margins against the printable
// area and keeps the dialog open on the first field that does not fit.
class CPageSetupDlg : public QDialog {
    Q_OBJECT
public:
    // `printable` is the printer's printable area in inches; the title field
    // shows the print title, or `documentName` when there is none.
    CPageSetupDlg(const PageMargins& margins, const PrintTitle& title,
                  const std::string& documentName, QSizeF printable, QWidget* parent = nullptr);

    // Valid after the dialog was accepted.
    const PageMargins& Margins() const { return margins_; }
    const PrintTitle& Title() const { return title_; }

    // The margin field of a MarginField.
    QLineEdit* MarginEdit(int field) const { return margins_edits_[static_cast<size_t>(field)]; }
    QLineEdit* TitleEdit() const { return titleEdit_; }
    QCheckBox* NoTitleBox() const { return noTitle_; }

public slots:
    void accept() override;

private:
    PageMargins margins_;
    PrintTitle title_;
    std::string shownTitle_;
    QSizeF printable_;
    std::array<QLineEdit*, 4> margins_edits_{};
    QLineEdit* titleEdit_ = nullptr;
    QCheckBox* noTitle_ = nullptr;
};

// Runs the dialog on the options' margins and a document's print title; on
// OK stores both, and writes the margins to `store` (group "PRINTPAGESETUP")
// when given. True when accepted.
bool EditPageSetup(QWidget* parent, AppOptions& options, QSettings* store, std::string& printTitle,
                   std::int32_t& noTitle, const std::string& documentName, QSizeF printable);

}  // namespace kurvex
