#include "dialogs/CurvePropertiesDlg.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/CurvePage.h"
#include "dialogs/DisplayPage.h"
#include "dialogs/SelectCurvesPage.h"

namespace kurvex {

CCurvePropertiesDlg::CCurvePropertiesDlg(const CGraphCurve& screen, QWidget* parent)
    : QDialog(parent),
      curves_(CurveEditRecordsOf(screen)),
      display_(SharedDisplayOf(screen)),
      tabs_(new QTabWidget(this)) {
    setWindowTitle(tr("Properties"));
    tabs_->setAccessibleName(tr("Properties"));
    pages_.push_back(new CSelectCurvesPage(screen, curves_, tabs_));
    pages_.push_back(new CCurve_2_Page(curves_, tabs_));
    pages_.push_back(new CDisplay_2_Page(display_, tabs_));
    tabs_->addTab(pages_[0], tr("Select Curves"));
    tabs_->addTab(pages_[1], tr("Curves"));
    tabs_->addTab(pages_[2], tr("Screen"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCurvePropertiesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCurvePropertiesDlg::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &CCurvePropertiesDlg::TabChanged);

    pages_[0]->Load();
    pages_[0]->setFocus(Qt::OtherFocusReason);
}

CCurvePropertiesDlg::~CCurvePropertiesDlg() = default;

int CCurvePropertiesDlg::CurrentPage() const {
    return shown_;
}

bool CCurvePropertiesDlg::ShowPage(int index) {
    tabs_->setCurrentIndex(index);
    return shown_ == index;
}

void CCurvePropertiesDlg::TabChanged(int index) {
    if (switching_ || index == shown_ || index < 0) return;
    if (!pages_[static_cast<std::size_t>(shown_)]->Leave()) {
        // The page refused its data: the user stays on it.
        switching_ = true;
        tabs_->setCurrentIndex(shown_);
        switching_ = false;
        return;
    }
    shown_ = index;
    pages_[static_cast<std::size_t>(index)]->Load();
}

void CCurvePropertiesDlg::accept() {
    if (!pages_[static_cast<std::size_t>(shown_)]->Leave()) return;
    QDialog::accept();
}

}  // namespace kurvex
