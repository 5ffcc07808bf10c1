#pragma once

#include "dialogs/AxisDlg.h"

namespace kurvex {

// "X-Axis": the X scale, range and grid of a screen. A new range also fits
// Y to the data inside it.
class CXAxis_2_Page : public AxisDialog {
    Q_OBJECT
public:
    explicit CXAxis_2_Page(CGraphCurve& record, QWidget* parent = nullptr)
        : AxisDialog(record, Axis::X, parent) {}
};

}  // namespace kurvex
