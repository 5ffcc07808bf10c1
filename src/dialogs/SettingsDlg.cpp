#include "dialogs/SettingsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace kurvex {

namespace {

constexpr const char* kRedrawKey = "Options/RedawXOnReload";
constexpr const char* kRightMouseKey = "Options/RMouseAction";
constexpr const char* kUnwrapKey = "Options/UnwrapPhase";

}  // namespace

CSettingsDlg::CSettingsDlg(AppOptions& options, QSettings& store, QWidget* parent)
    : QDialog(parent),
      options_(options),
      store_(store),
      storedAction_(store.value(kRightMouseKey, options.rightMouseAction).toInt()),
      redraw_(new QCheckBox(tr("&Redraw x-axis when loading new data"), this)),
      unwrap_(new QCheckBox(tr("&Unwrap phase"), this)) {
    setWindowTitle(tr("Settings"));
    redraw_->setObjectName("redrawX");
    unwrap_->setObjectName("unwrapPhase");
    unwrap_->setToolTip(
        tr("Read the phase of complex results continuous along frequency "
           "instead of within -180..180 degrees (from the next load)"));
    auto* group = new QGroupBox(tr("Right mouse action"), this);
    auto* groupLayout = new QVBoxLayout(group);
    const char* labels[] = {"Show &menu", "&Pan", "&Zoom"};
    const char* names[] = {"showMenu", "pan", "zoom"};
    auto* exclusive = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        actions_[i] = new QRadioButton(tr(labels[i]), group);
        actions_[i]->setObjectName(names[i]);
        exclusive->addButton(actions_[i], i);
        groupLayout->addWidget(actions_[i]);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(redraw_);
    layout->addWidget(unwrap_);
    layout->addWidget(group);
    layout->addStretch(1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDlg::reject);

    // What is stored wins over what this process holds.
    redraw_->setChecked(store.value(kRedrawKey, options.redrawXOnReload).toInt() != 0);
    unwrap_->setChecked(store.value(kUnwrapKey, options.unwrapPhase).toInt() != 0);
    if (storedAction_ >= 0 && storedAction_ < 3) actions_[storedAction_]->setChecked(true);
    redraw_->setFocus(Qt::OtherFocusReason);
}

void CSettingsDlg::accept() {
    std::int32_t action = storedAction_;  // a stored value no button stands for stays
    for (int i = 0; i < 3; ++i)
        if (actions_[i]->isChecked()) action = i;
    options_.redrawXOnReload = redraw_->isChecked() ? 1 : 0;
    options_.rightMouseAction = action;
    options_.unwrapPhase = unwrap_->isChecked() ? 1 : 0;
    store_.setValue(kRedrawKey, options_.redrawXOnReload);
    store_.setValue(kUnwrapKey, options_.unwrapPhase);
    store_.setValue(kRightMouseKey, options_.rightMouseAction);
    store_.sync();
    QDialog::accept();
}

}  // namespace kurvex
