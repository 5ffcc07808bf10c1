#pragma once

#include <QDialog>
#include <functional>
#include <utility>
#include <vector>

#include "analysis/Cycles.h"

class QComboBox;

namespace kurvex {

class COhmixGraphView;

// The power-measurement commands a graph view carries out, by id: the
// Cycles, Edges and Harmonics windows, the cycle average and the FFT windows.
std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> PowerCommandHandlers();

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
