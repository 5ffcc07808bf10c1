#pragma once

#include "dialogs/AxisDlg.h"

namespace kurvex {

// "Y-Axis": the Y scale, range, auto-scale and grid of a screen.
class CYAxis_2_Page : public AxisDialog {
    Q_OBJECT
public:
    explicit CYAxis_2_Page(CGraphCurve& record, QWidget* parent = nullptr)
        : AxisDialog(record, Axis::Y, parent) {}
};

}  // namespace kurvex
