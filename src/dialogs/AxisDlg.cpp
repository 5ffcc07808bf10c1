#include "dialogs/AxisDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "controls/ExEditCtrl.h"
#include "dialogs/BoxMessages.h"
#include "dialogs/DialogSupport.h"
#include "interaction/ControlRules.h"

namespace kurvex {

AxisDialog::AxisDialog(CGraphCurve& record, Axis axis, QWidget* parent)
    : QDialog(parent),
      record_(record),
      axis_(axis),
      shown_(AxisFieldsOf(record, axis)),
      linear_(new QRadioButton(tr("&Linear"), this)),
      log_(new QRadioButton(tr("L&og"), this)),
      from_(new CExEditCtrl(kEditNumberMask, this)),
      to_(new CExEditCtrl(kEditNumberMask, this)),
      autoGrid_(new QCheckBox(tr("Auto-&Grid"), this)),
      divisions_(new CExEditCtrl(kEditCountMask, this)) {
    const bool y = axis == Axis::Y;
    setWindowTitle(y ? tr("Y-Axis") : tr("X-Axis"));
    linear_->setObjectName("linear");
    log_->setObjectName("log");
    from_->setObjectName("from");
    to_->setObjectName("to");
    autoGrid_->setObjectName("autoGrid");
    divisions_->setObjectName("divisions");

    auto* scale = new QGroupBox(tr("Scale"), this);
    auto* scaleLayout = new QHBoxLayout(scale);
    scaleLayout->addWidget(linear_);
    scaleLayout->addWidget(log_);
    scaleLayout->addStretch(1);

    auto* range = new QGroupBox(tr("Range"), this);
    auto* rangeLayout = new QFormLayout(range);
    if (y) {
        autoScale_ = new QCheckBox(tr("Auto-&Scale"), this);
        autoScale_->setObjectName("autoScale");
        rangeLayout->addRow(autoScale_);
    }
    rangeLayout->addRow(FieldLabel(tr("&From"), from_, this), from_);
    rangeLayout->addRow(FieldLabel(tr("&To"), to_, this), to_);

    auto* grid = new QGroupBox(tr("Grid Division"), this);
    auto* gridLayout = new QFormLayout(grid);
    gridLayout->addRow(autoGrid_);
    gridLayout->addRow(FieldLabel(tr("&No. of division"), divisions_, this), divisions_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scale);
    layout->addWidget(range);
    layout->addWidget(grid);
    layout->addStretch(1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AxisDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AxisDialog::reject);

    QWidget* order[] = {linear_, log_, autoScale_, from_, to_, autoGrid_, divisions_};
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (!w) continue;
        if (previous) setTabOrder(previous, w);
        previous = w;
    }

    (shown_.log ? log_ : linear_)->setChecked(true);
    from_->setText(QString::fromStdString(shown_.from));
    to_->setText(QString::fromStdString(shown_.to));
    autoGrid_->setChecked(shown_.autoGrid);
    divisions_->setText(QString::fromStdString(shown_.divisions));
    if (autoScale_) autoScale_->setChecked(shown_.autoScale);
    Enable();

    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(linear_), static_cast<QAbstractButton*>(log_),
          static_cast<QAbstractButton*>(autoGrid_)})
        connect(b, &QAbstractButton::toggled, this, &AxisDialog::Enable);
    if (autoScale_) connect(autoScale_, &QAbstractButton::toggled, this, &AxisDialog::Enable);
    (autoScale_ && autoScale_->isChecked() ? static_cast<QWidget*>(autoScale_) : from_)
        ->setFocus(Qt::OtherFocusReason);
}

AxisFields AxisDialog::Chosen() const {
    AxisFields f;
    f.log = log_->isChecked();
    f.autoGrid = autoGrid_->isChecked();
    f.autoScale = autoScale_ && autoScale_->isChecked();
    f.from = from_->text().toStdString();
    f.to = to_->text().toStdString();
    f.divisions = divisions_->text().toStdString();
    return f;
}

void AxisDialog::Enable() {
    const AxisFields f = Chosen();
    const AxisEnables e = AxisEnablesFor(f.log, f.autoGrid, f.autoScale);
    from_->setEnabled(e.range);
    to_->setEnabled(e.range);
    autoGrid_->setEnabled(e.autoGrid);
    divisions_->setEnabled(e.divisions);
}

void AxisDialog::accept() {
    const AxisStoreResult r = StoreAxisFields(record_, axis_, shown_, Chosen());
    if (r.rewrite) {
        from_->setText(QString::fromStdString(r.from));
        to_->setText(QString::fromStdString(r.to));
    }
    if (r.outcome == AxisStoreResult::Refused) {
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(), ShownText(r.message));
        CExEditCtrl* field = r.refusedField == 1 ? to_ : from_;
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        return;
    }
    changed_ = r.outcome == AxisStoreResult::Changed;
    // The caller warns of invalid points once, with what its own steps meet.
    invalidPoints_ = r.invalidPoints;
    QDialog::accept();
}

}  // namespace kurvex
