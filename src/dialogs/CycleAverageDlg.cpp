#include "dialogs/CycleAverageDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

#include "data/platform/NameText.h"
#include "graph/ViewCommands.h"

namespace kurvex {

CCycleAverageDlg::CCycleAverageDlg(const std::vector<const CGraphCurve*>& screens, CurvePlace curve,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Cycle Average"));
    auto* form = new QFormLayout(this);
    const CGraphCurve* s = curve.screen >= 0 && curve.screen < static_cast<int>(screens.size())
                               ? screens[static_cast<size_t>(curve.screen)]
                               : nullptr;
    const QString label = s && curve.curve >= 0 && curve.curve < s->CurveCount()
                              ? QString::fromStdString(DisplayName(s->Curve(curve.curve).label))
                              : QString();
    auto* averaged = new QLabel(label, this);
    averaged->setAccessibleName(QStringLiteral("Curve"));
    form->addRow(QStringLiteral("Curve:"), averaged);
    reference_ = new QComboBox(this);
    reference_->setAccessibleName(QStringLiteral("Reference"));
    for (const CurveListEntry& e : CurveListEntries(screens))
        reference_->addItem(QString::fromStdString(DisplayName(e.text)), static_cast<int>(e.data));
    reference_->setCurrentIndex(
        std::max(0, reference_->findData(CurveSelectionParam(curve.screen, curve.curve))));
    form->addRow(QStringLiteral("&Reference:"), reference_);
    auto* note = new QLabel(
        QStringLiteral("The curve is averaged over each cycle of the reference, from one rising "
                       "crossing of its mid level to the next."),
        this);
    note->setWordWrap(true);
    form->addRow(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

CurvePlace CCycleAverageDlg::Reference() const {
    const int param = reference_->currentData().toInt();
    return CurvePlace{ScreenOfParam(param), CurveOfParam(param)};
}

}  // namespace kurvex
