#pragma once

#include <QDialog>

#include "graph/GraphCurve.h"
#include "interaction/AxisDialogRules.h"

class QCheckBox;
class QRadioButton;

namespace kurvex {

class CExEditCtrl;

// The dialog of one axis of a screen: scale, range and grid (and, for Y,
// auto-scale). OK stores into the record in place; Changed() tells whether
// the view must redraw.
class AxisDialog : public QDialog {
    Q_OBJECT
public:
    AxisDialog(CGraphCurve& record, Axis axis, QWidget* parent);

    // True after OK altered the record.
    bool Changed() const { return changed_; }
    // True after OK when a new log scale met points it cannot show (the
    // dialog has told the user).
    bool InvalidPoints() const { return invalidPoints_; }

    void accept() override;

private:
    AxisFields Chosen() const;
    void Enable();

    CGraphCurve& record_;
    Axis axis_;
    AxisFields shown_;
    bool changed_ = false;
    bool invalidPoints_ = false;
    QRadioButton* linear_;
    QRadioButton* log_;
    CExEditCtrl* from_;
    CExEditCtrl* to_;
    QCheckBox* autoScale_ = nullptr;
    QCheckBox* autoGrid_;
    CExEditCtrl* divisions_;
};

}  // namespace kurvex
