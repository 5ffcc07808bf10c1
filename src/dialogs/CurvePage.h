#pragma once

#include <vector>

#include "dialogs/PropertyPage.h"
#include "graph/CurveEdit.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kurvex {

class CColorSwatch;
class CWideListBox;

// "Curves": label, colour, line and marker of each working curve. The
// controls show the selected curve; selecting another stores them first.
class CCurve_2_Page : public CPropertyPage {
    Q_OBJECT
public:
    explicit CCurve_2_Page(std::vector<CurveEditRecord>& working, QWidget* parent = nullptr);

    void Load() override;
    bool Leave() override;
    // True once the user changed something.
    bool Modified() const { return modified_; }
    // Shows curve `row` as a click in the list does.
    void SelectCurve(int row);

private:
    void CurveSelected(int row);
    void StoreControls();
    void LoadControls();
    void ChooseColour();

    std::vector<CurveEditRecord>& working_;
    int current_ = -1;
    bool loading_ = false;
    bool modified_ = false;
    CWideListBox* list_;
    QLineEdit* label_;
    CColorSwatch* colour_;
    QPushButton* choose_;
    QComboBox* thickness_;
    QComboBox* marker_;
};

}  // namespace kurvex
