#pragma once

#include <QDialog>
#include <cstdint>

#include "graph/GraphCurve.h"

class QComboBox;

namespace kurvex {

// "Set X-Axis": picks the variable a screen shows along X. Lists nothing,
// and keeps the current variable, while the screen shows an FFT.
class CSet_XAxis_2_Page : public QDialog {
    Q_OBJECT
public:
    explicit CSet_XAxis_2_Page(const CGraphCurve& record, QWidget* parent = nullptr);

    // The variable chosen (the current one until OK, or while an FFT shows).
    std::int32_t SelectedIndex() const { return selected_; }
    // True after OK chose another variable than the current one.
    bool Changed() const { return changed_; }

    void accept() override;

private:
    std::int32_t current_;
    std::int32_t selected_;
    bool changed_ = false;
    QComboBox* list_;
};

}  // namespace kurvex
