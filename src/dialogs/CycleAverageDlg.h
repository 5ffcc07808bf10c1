#pragma once

#include <QDialog>
#include <vector>

#include "analysis/Cycles.h"

class QComboBox;

namespace kurvex {

// "Cycle Average": names the curve averaged and lets the user pick the
// reference whose cycles it is averaged over (the curve itself at first).
class CCycleAverageDlg : public QDialog {
public:
    CCycleAverageDlg(const std::vector<const CGraphCurve*>& screens, CurvePlace curve,
                     QWidget* parent = nullptr);
    // The chosen reference (valid after exec() == Accepted).
    CurvePlace Reference() const;
    QComboBox* ReferenceBox() const { return reference_; }

private:
    QComboBox* reference_ = nullptr;
};

}  // namespace kurvex
