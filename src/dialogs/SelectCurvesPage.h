#pragma once

#include <vector>

#include "dialogs/PropertyPage.h"
#include "graph/CurveEdit.h"
#include "graph/GraphCurve.h"

class QLineEdit;
class QPushButton;
class QToolButton;

namespace kurvex {

class CWideListBox;

// "Select Curves": which variables and formulas a screen shows. Edits the
// dialog's working curve list; the screen is not touched.
class CSelectCurvesPage : public CPropertyPage {
    Q_OBJECT
public:
    CSelectCurvesPage(const CGraphCurve& screen, std::vector<CurveEditRecord>& working,
                      QWidget* parent = nullptr);

    void Load() override;
    // Runs Add first when nothing is shown yet; false when that refused a formula.
    bool Leave() override;
    // True once a curve was added or removed.
    bool Modified() const { return modified_; }

    // "&Add ->": the typed formula, else the selected variables; false when
    // the formula was refused.
    bool Add();
    // "<- &Remove": the selected curves.
    void Remove();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddVariableRows(const QList<int>& rows);
    void RemoveRows(const QList<int>& rows);
    void InsertVariable();
    void ShowKeywordMenu();
    void AppendToFormulaEdit(const std::string& piece);
    void FillDisplayList();

    const CGraphCurve& screen_;
    std::vector<CurveEditRecord>& working_;
    bool modified_ = false;
    CWideListBox* available_;
    CWideListBox* display_;
    QPushButton* add_;
    QPushButton* remove_;
    QLineEdit* formula_;
    QToolButton* arrow_;
    QToolButton* keywords_;
};

}  // namespace kurvex
