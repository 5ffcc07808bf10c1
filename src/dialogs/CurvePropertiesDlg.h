#pragma once

#include <QDialog>
#include <vector>

#include "graph/CurveEdit.h"
#include "graph/GraphCurve.h"

class QTabWidget;

namespace kurvex {

class CPropertyPage;

// "Properties" of one screen: which curves it shows ("Select Curves"), how
// each is drawn ("Curves") and the display every screen shares ("Screen").
// Works on copies; the caller applies Curves() and Display() after OK.
class CCurvePropertiesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCurvePropertiesDlg(const CGraphCurve& screen, QWidget* parent = nullptr);
    ~CCurvePropertiesDlg() override;

    // The working curve list; valid after exec() == Accepted.
    const std::vector<CurveEditRecord>& Curves() const { return curves_; }
    // The working display values; valid after exec() == Accepted.
    const SharedDisplay& Display() const { return display_; }

    // The page the user sees.
    int CurrentPage() const;
    // Switches pages as a click on a tab does; false when the page left refused.
    bool ShowPage(int index);

    // OK: the visible page must take its data first.
    void accept() override;

private:
    void TabChanged(int index);

    std::vector<CurveEditRecord> curves_;
    SharedDisplay display_;
    QTabWidget* tabs_;
    std::vector<CPropertyPage*> pages_;
    int shown_ = 0;
    bool switching_ = false;
};

}  // namespace kurvex
