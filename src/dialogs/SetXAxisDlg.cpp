#include "dialogs/SetXAxisDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/DialogSupport.h"
#include "interaction/AxisDialogRules.h"

namespace kurvex {

CSet_XAxis_2_Page::CSet_XAxis_2_Page(const CGraphCurve& record, QWidget* parent)
    : QDialog(parent), list_(new QComboBox(this)) {
    setWindowTitle(tr("Set X-Axis"));
    list_->setObjectName("xVariable");
    const XVariableChoices choices = XVariableChoicesOf(record);
    current_ = selected_ = choices.selected;
    QStringList names;
    names.reserve(static_cast<qsizetype>(choices.names.size()));
    for (const std::string& n : choices.names) names.append(ShownText(n));
    list_->addItems(names);  // item i is variable i
    list_->setCurrentIndex(names.isEmpty() ? -1 : std::clamp<int>(current_, 0, names.size() - 1));
    list_->setEnabled(choices.enabled);
    list_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list_->setMinimumContentsLength(24);

    auto* form = new QFormLayout;
    form->addRow(FieldLabel(tr("&X Axis"), list_, this), list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSet_XAxis_2_Page::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSet_XAxis_2_Page::reject);
}

void CSet_XAxis_2_Page::accept() {
    if (list_->isEnabled() && list_->currentIndex() >= 0) selected_ = list_->currentIndex();
    changed_ = selected_ != current_;
    QDialog::accept();
}

}  // namespace kurvex
